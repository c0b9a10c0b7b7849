#pragma once
// The upload log: one JSON line for every upload, from the window and the command line, appended
// to uploads.log in the folder the files were sent from.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace ksr::upload {

inline constexpr const char* UploadLogFileName = "uploads.log";

struct SentFile {
    std::string name;  // as sent (capitals)
    std::string bytes;
};

// How an upload (or a read) ended.
enum class Outcome {
    Success,
    Failed,
    Aborted,        // stopped by the operator (Ctrl-C, a signal)
    Escaped,        // Escape before the transfer
    WrongRecorder,  // the recorder's identity was not the file's: nothing sent
};
// As the log writes it: "success", "failed", "aborted", "escaped", "wrong recorder".
const char* OutcomeText(Outcome outcome);

struct UploadRecord {
    std::string timeUtc;        // ISO 8601, e.g. 2026-12-08T01:23:45Z
    std::string program;        // "ksr-setup" or "ksr-config"
    std::string port;           // the device
    std::string adapterSerial;  // empty when unknown
    std::vector<SentFile> files;
    Outcome outcome = Outcome::Failed;
    std::string error;        // empty when none
    std::string step;         // the step that failed (login, transfer, reconfigure, ...), if any
    std::string newDataFile;  // the recorder's answer, empty when none came
    std::string verify;       // the --verify outcome, empty when not asked
    // The recorder's own station_code and serial_number, when its recorder.ini was read first.
    std::string recorderStationCode;
    std::string recorderSerialNumber;

    std::string resultText() const { return OutcomeText(outcome); }
    bool succeeded() const { return outcome == Outcome::Success; }
};

// The time now as ISO 8601 UTC.
std::string NowUtcIso8601();

// The set-up name from the setup_name= line of the sent recorder.ini, if any.
std::optional<std::string> SetupNameOf(const std::vector<SentFile>& files);

// The record as one JSON line (with its line end).
std::string UploadLogLine(const UploadRecord& record);

// Appends the record's line to `folder`/uploads.log; throws IoError when it cannot.
void AppendUploadLog(const std::filesystem::path& folder, const UploadRecord& record);

// The same with the time now: empty, or the warning to give when the log could not be written
// (never the reason an upload fails).
std::string LogUpload(const std::filesystem::path& folder, UploadRecord record);

}  // namespace ksr::upload
