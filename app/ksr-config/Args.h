#pragma once
// One way to read a subcommand's arguments: "--name value", "--name=value", "-o value", flags
// without a value, and "--" ending the options (what follows is taken as it stands).

#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace ksr::cli {

// Bad usage: exit status 2 with the command's help.
struct UsageError : std::invalid_argument {
    using std::invalid_argument::invalid_argument;
};

struct Options {
    std::vector<std::string> positional;
    // In the order given: the option's name and its value ("" for a flag).
    std::vector<std::pair<std::string, std::string>> given;

    bool has(const std::string& name) const;
    // The value given last for `name`, if any.
    std::optional<std::string> value(const std::string& name) const;
};

// Throws UsageError for an unknown option, a missing value or a value given to a flag.
Options ParseOptions(const std::vector<std::string>& args, const std::set<std::string>& withValue,
                     const std::set<std::string>& flags = {});

// Whether the arguments ask for help ("--help" or "-h" before any "--").
bool AsksForHelp(const std::vector<std::string>& args);

}  // namespace ksr::cli
