#include "Args.h"

#include "setup/TextFormat.h"

namespace ksr::cli {

bool Options::has(const std::string& name) const {
    for (const auto& [n, v] : given)
        if (n == name) return true;
    return false;
}

std::optional<std::string> Options::value(const std::string& name) const {
    std::optional<std::string> found;
    for (const auto& [n, v] : given)
        if (n == name) found = v;
    return found;
}

Options ParseOptions(const std::vector<std::string>& args, const std::set<std::string>& withValue,
                     const std::set<std::string>& flags) {
    Options o;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--") {
            o.positional.insert(o.positional.end(), args.begin() + static_cast<long>(i) + 1,
                                args.end());
            break;
        }
        if (a.size() < 2 || a[0] != '-') {
            o.positional.push_back(a);  // also "-" alone
            continue;
        }
        const std::size_t eq = a.rfind("--", 0) == 0 ? a.find('=') : std::string::npos;
        const std::string name = a.substr(0, eq);
        if (withValue.count(name)) {
            if (eq != std::string::npos) {
                o.given.emplace_back(name, a.substr(eq + 1));
            } else {
                if (i + 1 >= args.size()) throw UsageError("option " + name + " needs a value");
                o.given.emplace_back(name, args[++i]);
            }
        } else if (flags.count(name)) {
            if (eq != std::string::npos) throw UsageError("option " + name + " takes no value");
            o.given.emplace_back(name, std::string());
        } else {
            throw UsageError("unknown option " + fmt::Echo(name));
        }
    }
    return o;
}

bool AsksForHelp(const std::vector<std::string>& args) {
    for (const auto& a : args) {
        if (a == "--") return false;
        if (a == "--help" || a == "-h") return true;
    }
    return false;
}

}  // namespace ksr::cli
