// The program's own surroundings, as the file layer gives them to the rest: its arguments and
// paths in UTF-8, binary standard streams, the user's home folder.

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "setup/FileIo.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
// After <windows.h>, which it builds on.
#include <shellapi.h>
#else
#include <pwd.h>
#include <unistd.h>
#endif

namespace ksr {
namespace fs = std::filesystem;

fs::path PathOf(const std::string& utf8) {
#ifdef _WIN32
    return fs::path(std::u8string(utf8.begin(), utf8.end()));
#else
    return fs::path(utf8);
#endif
}

std::vector<std::string> ProgramArguments(int argc, char** argv) {
#ifdef _WIN32
    (void)argv;
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> args;
    for (int i = 1; wide && i < count; ++i) {
        const std::u8string utf8 = fs::path(wide[i]).u8string();
        args.emplace_back(utf8.begin(), utf8.end());
    }
    if (wide) LocalFree(wide);
    (void)argc;
    return args;
#else
    return std::vector<std::string>(argv + 1, argv + argc);
#endif
}

void UseBinaryStandardStreams() {
#ifdef _WIN32
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
#endif
}

fs::path HomeFolder() {
#ifdef _WIN32
    if (const wchar_t* profile = _wgetenv(L"USERPROFILE"); profile && *profile)
        return fs::path(profile);
    return {};
#else
    if (const char* home = std::getenv("HOME"); home && *home) return fs::path(home);
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
        found->pw_dir && *found->pw_dir)
        return fs::path(found->pw_dir);
    return {};
#endif
}

}  // namespace ksr
