#include "kermit/KermitFiles.h"

#include <algorithm>

#include "setup/FileIo.h"
#include "setup/TextFormat.h"

namespace ksr::kermit {

std::vector<SendFile> IniFilesOf(const std::filesystem::path& directory) {
    std::vector<std::filesystem::path> paths;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(directory, ec)) {
        // A link that leads nowhere is listed too: reading it names the file that is missing.
        if (!entry.is_regular_file(ec) && !entry.is_symlink(ec)) continue;
        const std::string ext = fmt::UpperAscii(entry.path().extension().string());
        if (ext == ".INI") paths.push_back(entry.path());
    }
    std::sort(paths.begin(), paths.end());
    std::vector<SendFile> files;
    for (const auto& p : paths)
        files.push_back({fmt::UpperAscii(p.filename().string()), ReadFileBytes(p)});
    return files;
}

}  // namespace ksr::kermit
