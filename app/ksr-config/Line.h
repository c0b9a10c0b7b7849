#pragma once
// The line to the recorder for the commands that use one: the options that choose it, and one
// session run on it from the opened line to the closed one.

#include <functional>
#include <iosfwd>
#include <set>
#include <string>
#include <vector>

#include "Args.h"
#include "upload/UploadSession.h"

namespace ksr::cli {

// The exit status of `upload --guard` on another recorder than the file is for.
inline constexpr int WrongRecorder = 4;
// The exit status of `upload --guard` on a recorder without a recorder.ini (a new one): it
// cannot tell which recorder it is.
inline constexpr int NoRecorderIni = 5;

// The line to the recorder as --port/--com choose it, and how long to wait on it; for upload,
// read and compare.
extern const std::set<std::string> LineOptionNames;
struct LineChoice {
    std::string device;     // --port
    int com = -1;           // --com
    std::string portText;   // the device, or COM n's device; empty for a COM n not present
    int answerSeconds = 0;  // 0: the Kermit engine's 60 s
    int loginSeconds = 0;   // 0: keep trying
    upload::SessionOptions sessionOptions() const;
};
// Throws UsageError for bad values and unless exactly one of --port and --com is given.
LineChoice ParseLineChoice(const Options& parsed);
// Only --answer-timeout and --login-timeout, into `choice`.
void ParseTimeouts(const Options& parsed, LineChoice& choice);
// Opens the line, runs the session to its end and closes the line; the recorder's console and
// the status texts go to `show`, and `progress`'s text when it gives one. Ctrl-C, TERM and HUP stop
// the session. Throws SerialError when the port cannot be opened.
void RunOnRecorder(const LineChoice& choice, upload::UploadSession& session, std::ostream& show,
                   std::ostream& err, const std::function<std::string()>& progress = {});

}  // namespace ksr::cli
