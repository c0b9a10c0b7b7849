#pragma once
// ksr-config deploy: a table of stations checked, built and uploaded, one worker per cable.

#include <iosfwd>
#include <string>
#include <vector>

namespace ksr::cli {

extern const char* const DeployHelp;
int Deploy(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace ksr::cli
