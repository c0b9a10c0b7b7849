#include "ui/DataFolders.h"

#include <QCoreApplication>
#include <QDir>

#include "setup/Errors.h"

namespace ksr::ui {
namespace fs = std::filesystem;

fs::path InstalledDataDir() {
    std::vector<fs::path> candidates;
    if (QCoreApplication::instance())
        candidates.push_back(fs::path(QCoreApplication::applicationDirPath().toStdString()) / ".." /
                             "share" / "ksr-setup");
    candidates.push_back(KSR_INSTALLED_DATA);
    candidates.push_back(KSR_SOURCE_DATA);
    for (const fs::path& c : candidates) {
        std::error_code ec;
        if (fs::is_regular_file(c / "recorder.000", ec)) return fs::weakly_canonical(c, ec);
    }
    return KSR_INSTALLED_DATA;
}

fs::path UserFolder() {
    return fs::path(QDir::homePath().toStdString()) / "KSR";
}

void PrepareUserFolder(const fs::path& folder, const fs::path& dataDir) {
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec || !fs::is_directory(folder))
        throw IoError("cannot create folder", folder, ec.message());
    auto copyMissing = [&](const fs::path& from, const fs::path& to) {
        std::error_code ignored;
        if (!fs::exists(fs::symlink_status(to, ignored)) && fs::is_regular_file(from, ignored))
            fs::copy_file(from, to, ignored);
    };
    copyMissing(dataDir / "recorder.000", folder / "recorder.000");
    for (const auto& entry : fs::directory_iterator(dataDir / "examples", ec))
        if (entry.path().extension() == ".set")
            copyMissing(entry.path(), folder / entry.path().filename());
}

}  // namespace ksr::ui
