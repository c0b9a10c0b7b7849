#include "ui/DataFolders.h"

#include <QCoreApplication>

#include "recorder_ini/RecorderIni.h"
#include "setup/Errors.h"
#include "setup/FileIo.h"

namespace ksr::ui {
namespace fs = std::filesystem;

fs::path InstalledDataDir() {
    std::vector<fs::path> candidates;
    if (QCoreApplication::instance()) {
        const fs::path programDir = PathOf(QCoreApplication::applicationDirPath().toStdString());
        // Installed on Windows: the template and the samples beside the program.
        candidates.push_back(programDir);
        candidates.push_back(programDir / ".." / "share" / "ksr-setup");
    }
    candidates.push_back(KSR_INSTALLED_DATA);
    candidates.push_back(KSR_SOURCE_DATA);
    for (const fs::path& c : candidates) {
        std::error_code ec;
        if (fs::is_regular_file(c / TemplateFileName, ec)) return fs::weakly_canonical(c, ec);
    }
    return KSR_INSTALLED_DATA;
}

fs::path UserFolder() {
    const fs::path home = HomeFolder();
    if (home.empty()) throw IoError("no home folder known", "~", "set HOME");
    return home / "KSR";
}

void PrepareUserFolder(const fs::path& folder, const fs::path& dataDir) {
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec || !fs::is_directory(folder))
        throw IoError("cannot create folder", folder, ec.message());
    auto copyMissing = [&](const fs::path& from, const fs::path& to) {
        std::error_code ignored;
        const auto there = fs::symlink_status(to, ignored);
        const bool missing = !fs::exists(there);
        const bool empty = fs::is_regular_file(there) && fs::file_size(to, ignored) == 0;
        if ((missing || empty) && fs::is_regular_file(from, ignored))
            WriteFileAtomically(to, ReadFileBytes(from));
    };
    copyMissing(dataDir / TemplateFileName, folder / TemplateFileName);
    for (const auto& entry : fs::directory_iterator(dataDir / "examples", ec))
        if (entry.path().extension() == ".set")
            copyMissing(entry.path(), folder / entry.path().filename());
}

}  // namespace ksr::ui
