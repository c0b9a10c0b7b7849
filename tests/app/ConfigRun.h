#pragma once
// ksr-config's commands run in-process, in a folder, with their output and exit status.

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "Commands.h"
#include "TestSupport.h"

namespace ksr::test {

struct Result {
    int code;
    std::string out, err;
};

// Runs one command line with `dir` as the working directory.
inline Result RunIn(const std::filesystem::path& dir, const std::vector<std::string>& args) {
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(dir);
    std::ostringstream out, err;
    const int code = cli::Run(args, out, err);
    std::filesystem::current_path(previous);
    return {code, out.str(), err.str()};
}

inline Result RunHere(const TempDir& dir, const std::vector<std::string>& args) {
    return RunIn(dir.path(), args);
}

}  // namespace ksr::test
