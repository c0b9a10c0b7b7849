// ksr-setup: the set-up window.
//   ksr-setup [FOLDER]        the working folder (default: the current folder)
//   ksr-setup --user-folder   the per-user folder ~/KSR, made on first use with the installed
//                             template and sample set-ups (what the desktop entry starts)

#include <QApplication>
#include <QStyleFactory>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "setup/Errors.h"
#include "setup/FileIo.h"
#include "setup/SetupRecord.h"
#include "ui/DataFolders.h"
#include "ui/FirstFrame.h"
#include "ui/TKSR_SetUp.h"
#include "ui/WindowServices.h"

namespace {

const char* const kUsage =
    "Usage: ksr-setup [FOLDER]\n"
    "       ksr-setup --user-folder\n"
    "Opens the KSR SetUp window in FOLDER (default: the current folder), which holds the setup\n"
    "files, the recorder's template recorder.000 and what the program writes.\n"
    "  --user-folder   work in ~/KSR, created on first use with the installed recorder.000\n"
    "                  and sample set-ups copied in where missing\n"
    "  --version       print the version and exit\n"
    "  --help          print this help and exit\n";

}  // namespace

int main(int argc, char** argv) {
    // Answered before any display is needed.
    std::string folder;
    bool userFolder = false;
    // UTF-8, also on Windows beyond its ANSI code page.
    const std::vector<std::string> args = ksr::ProgramArguments(argc, argv);
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--version") {
            std::printf("ksr-setup %s\n", KSR_VERSION);
            return 0;
        }
        if (a == "--help" || a == "-h") {
            std::printf("%s", kUsage);
            return 0;
        }
        if (a == "--user-folder") {
            userFolder = true;
        } else if (a.size() > 1 && a[0] == '-' && a != "--") {
            std::fprintf(stderr, "ksr-setup: unknown option %s\n\n%s", a.c_str(), kUsage);
            return 2;
        } else if (a != "--" && folder.empty()) {
            folder = a;
        } else if (a != "--") {
            std::fprintf(stderr, "ksr-setup: only one folder is taken\n\n%s", kUsage);
            return 2;
        }
    }

    QApplication app(argc, argv);
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    app.setQuitOnLastWindowClosed(false);  // the window's own close question decides
    std::filesystem::path workDir =
        folder.empty() ? std::filesystem::current_path() : ksr::PathOf(folder);
    try {
        if (userFolder) {
            workDir = ksr::ui::UserFolder();
            ksr::ui::PrepareUserFolder(workDir);
        }
    } catch (const ksr::KsrError& e) {
        std::fprintf(stderr, "ksr-setup: %s\n", e.located().c_str());
        return 1;
    }
    std::error_code ec;
    if (!std::filesystem::is_directory(workDir, ec)) {
        std::fprintf(stderr, "ksr-setup: %s: no such folder\n", workDir.string().c_str());
        return 2;
    }
    ksr::SetupRecord record;
    ksr::SetDefaults(record);
    ksr::ui::WindowServices services;
    ksr::ui::TKSR_SetUp window(record, services, workDir);
    ksr::ui::ReportFirstFrameIfAsked(&window);
    window.show();
    return app.exec();
}
