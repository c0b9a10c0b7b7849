#include "upload/SendFiles.h"

#include <algorithm>
#include <map>

#include "setup/Errors.h"
#include "setup/FileIo.h"
#include "setup/TextFormat.h"

namespace ksr::upload {

bool IsSafeSendName(const std::string& name) {
    if (name.empty() || name.front() == '-' || name.front() == '.') return false;
    return std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
               c == '.' || c == '_' || c == '-';
    });
}

void CheckSendNames(const std::vector<std::string>& localNames) {
    std::map<std::string, std::string> byUpper;
    for (const std::string& name : localNames) {
        if (!IsSafeSendName(name))
            throw KsrError("the file " + fmt::EchoName(name) +
                           " is not sent: a name for the recorder holds only letters, digits, "
                           "'.', '_' and '-'; rename it or move it out of the folder");
        const auto [it, fresh] = byUpper.emplace(fmt::UpperAscii(name), name);
        if (!fresh)
            throw KsrError("the files " + fmt::EchoName(it->second) + " and " +
                           fmt::EchoName(name) + " would both reach the recorder as " + it->first +
                           ": keep one of them in the folder");
    }
}

std::vector<kermit::SendFile> IniFilesToSend(const std::filesystem::path& directory) {
    std::vector<std::filesystem::path> paths;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(directory, ec)) {
        // A link that leads nowhere is listed too: reading it names the file that is missing.
        if (!entry.is_regular_file(ec) && !entry.is_symlink(ec)) continue;
        const std::string ext = fmt::UpperAscii(entry.path().extension().string());
        if (ext == ".INI") paths.push_back(entry.path());
    }
    std::sort(paths.begin(), paths.end());
    std::vector<std::string> names;
    for (const auto& p : paths) names.push_back(p.filename().string());
    CheckSendNames(names);
    if (paths.empty())
        throw KsrError("no \"*.ini\" file to send in " + fmt::EchoName(directory.string()) +
                       ": build recorder.ini first");
    std::vector<kermit::SendFile> files;
    for (const auto& p : paths)
        files.push_back({fmt::UpperAscii(p.filename().string()), ReadFileBytes(p)});
    return files;
}

}  // namespace ksr::upload
