#include <iostream>
#include <string>
#include <vector>

#include "Commands.h"

int main(int argc, char** argv) {
    // Set-up files are byte-exact: standard output must not translate line ends.
    std::ios::sync_with_stdio(true);
    std::vector<std::string> args(argv + 1, argv + argc);
    return ksr::cli::Run(args, std::cout, std::cerr);
}
