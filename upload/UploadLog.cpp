#include "upload/UploadLog.h"

#include <ctime>

#include "setup/FileIo.h"
#include "setup/Json.h"
#include "setup/TextFormat.h"
#include "upload/Checksums.h"

namespace ksr::upload {
namespace {

// The recorder's texts and the port names are Latin-1; the log is UTF-8.
std::string Str(const std::string& text) {
    return json::Str(fmt::Latin1ToUtf8(text));
}

std::string OrNull(const std::string& text) {
    return json::StrOrNull(fmt::Latin1ToUtf8(text));
}

}  // namespace

std::string NowUtcIso8601() {
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
#ifdef _WIN32
    gmtime_s(&utc, &now);
#else
    gmtime_r(&now, &utc);
#endif
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

std::optional<std::string> SetupNameOf(const std::vector<SentFile>& files) {
    for (const SentFile& f : files) {
        if (fmt::UpperAscii(f.name) != "RECORDER.INI") continue;
        const auto names = KeyValues(SplitLines(f.bytes), "setup_name");
        if (!names.empty()) return names.front();
    }
    return std::nullopt;
}

const char* OutcomeText(Outcome outcome) {
    switch (outcome) {
        case Outcome::Success:
            return "success";
        case Outcome::Aborted:
            return "aborted";
        case Outcome::Escaped:
            return "escaped";
        case Outcome::WrongRecorder:
            return "wrong recorder";
        case Outcome::Failed:
            break;
    }
    return "failed";
}

std::string UploadLogLine(const UploadRecord& r) {
    std::vector<std::string> files;
    for (const SentFile& f : r.files)
        files.push_back(json::Object({{"name", Str(f.name)},
                                      {"size", std::to_string(f.bytes.size())},
                                      {"sha256", Str(Sha256Hex(f.bytes))}}));
    const auto name = SetupNameOf(r.files);
    std::vector<std::pair<std::string, std::string>> members{
        {"time", Str(r.timeUtc)},
        {"program", Str(r.program)},
        {"port", OrNull(r.port)},
        {"adapter_serial", OrNull(r.adapterSerial)},
        {"setup_name", name ? Str(*name) : "null"},
        {"files", json::Array(files)},
        {"result", Str(r.resultText())},
        {"error", OrNull(r.error)},
        {"new_data_file", OrNull(r.newDataFile)}};
    if (!r.step.empty()) members.emplace_back("step", Str(r.step));
    if (!r.verify.empty()) members.emplace_back("verify", Str(r.verify));
    if (!r.recorderStationCode.empty() || !r.recorderSerialNumber.empty()) {
        members.emplace_back("recorder_station_code", Str(r.recorderStationCode));
        members.emplace_back("recorder_serial_number", Str(r.recorderSerialNumber));
    }
    return json::Object(members) + "\n";
}

void AppendUploadLog(const std::filesystem::path& folder, const UploadRecord& record) {
    AppendToFile(folder / UploadLogFileName, UploadLogLine(record));
}

std::string LogUpload(const std::filesystem::path& folder, UploadRecord record) {
    record.timeUtc = NowUtcIso8601();
    try {
        AppendUploadLog(folder, record);
    } catch (const KsrError& e) {
        return "warning: the upload log was not written: " + e.locatedEscaped();
    }
    return {};
}

}  // namespace ksr::upload
