#pragma once
// ksr-config power: the power page's estimate from the command line.

#include <iosfwd>
#include <string>
#include <vector>

namespace ksr::cli {

extern const char* const PowerHelp;
int Power(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace ksr::cli
