#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "Commands.h"
#include "setup/FileIo.h"

int main(int argc, char** argv) {
    // Set-up files are byte-exact: standard output must not translate line ends.
    std::ios::sync_with_stdio(true);
    ksr::UseBinaryStandardStreams();
    const std::vector<std::string> args = ksr::ProgramArguments(argc, argv);
    int code = ksr::cli::Run(args, std::cout, std::cerr);

    // Output that did not arrive is a failure: "format a.set > b.set && mv b.set a.set" must not
    // replace a set-up by an empty file on a full disk.
    std::cout.flush();
    errno = 0;
    if (std::fflush(stdout) != 0 || std::ferror(stdout) || !std::cout) {
        const int error = errno;
        std::fprintf(stderr, "ksr-config: cannot write standard output: %s\n",
                     error ? std::strerror(error) : "write error");
        if (code == ksr::cli::Success) code = ksr::cli::BadFile;
    }
    std::cerr.flush();
    if (std::fflush(stderr) != 0 || std::ferror(stderr) || !std::cerr) {
        if (code == ksr::cli::Success) code = ksr::cli::BadFile;
    }
    return code;
}
