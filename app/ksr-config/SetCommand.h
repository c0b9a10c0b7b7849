#pragma once
// ksr-config set: settings of a set-up file changed by the names `check --json` prints.

#include <iosfwd>
#include <string>
#include <vector>

namespace ksr::cli {

extern const char* const SetHelp;
int Set(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace ksr::cli
