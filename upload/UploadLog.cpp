#include "upload/UploadLog.h"

#include <ctime>

#include "setup/FileIo.h"
#include "setup/TextFormat.h"
#include "upload/Checksums.h"

namespace ksr::upload {
namespace {

std::string Str(const std::string& text) {
    return fmt::JsonString(fmt::Latin1ToUtf8(text));
}

std::string OrNull(const std::string& text) {
    return text.empty() ? "null" : Str(text);
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
        for (const std::string& line : SplitLines(f.bytes))
            if (line.rfind("setup_name=", 0) == 0) return line.substr(11);
    }
    return std::nullopt;
}

std::string UploadLogLine(const UploadRecord& r) {
    std::string files = "[";
    for (std::size_t i = 0; i < r.files.size(); ++i)
        files += std::string(i ? ", " : "") + "{\"name\": " + Str(r.files[i].name) +
                 ", \"size\": " + std::to_string(r.files[i].bytes.size()) + ", \"sha256\": \"" +
                 Sha256Hex(r.files[i].bytes) + "\"}";
    files += "]";
    const auto name = SetupNameOf(r.files);
    return "{\"time\": " + Str(r.timeUtc) + ", \"program\": " + Str(r.program) +
           ", \"port\": " + OrNull(r.port) + ", \"adapter_serial\": " + OrNull(r.adapterSerial) +
           ", \"setup_name\": " + (name ? Str(*name) : "null") + ", \"files\": " + files +
           ", \"result\": " + Str(r.result) + ", \"error\": " + OrNull(r.error) +
           ", \"new_data_file\": " + OrNull(r.newDataFile) +
           (r.verify.empty() ? "" : ", \"verify\": " + Str(r.verify)) + "}\n";
}

void AppendUploadLog(const std::filesystem::path& folder, const UploadRecord& record) {
    AppendToFile(folder / UploadLogFileName, UploadLogLine(record));
}

}  // namespace ksr::upload
