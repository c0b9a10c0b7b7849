#pragma once
// ksr-config: the core's operations from the command line, for scripts and for preparing many
// recorders at once. Exit codes: 0 success, 1 a bad or unreadable file, 2 bad usage.

#include <iosfwd>
#include <string>
#include <vector>

#include "setup/SetupRecord.h"

namespace ksr::cli {

enum ExitCode : int { Success = 0, BadFile = 1, BadUsage = 2 };

// The program's version, as --version prints it.
extern const char* const Version;

struct Options;
// The set-up of a file, the defaults for what it does not set. Throws KsrError.
SetupRecord ReadSetup(const std::string& file);
// recorder.ini's bytes as `build` would write them for the setup file (the template recorder.000
// of the working directory, --lowest-temp of `parsed`); notes go to `err`. Throws KsrError.
std::string RecorderIniOfSetup(const std::string& file, const Options& parsed, std::ostream& err);

// Runs one command line (without the program name). Normal output goes to `out`, messages to
// `err`; files are read and written relative to the working directory.
int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace ksr::cli
