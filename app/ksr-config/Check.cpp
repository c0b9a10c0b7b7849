// ksr-config check: a set-up read, the rate rules applied, a summary or every setting as JSON.

#include <ostream>

#include "Args.h"
#include "Commands.h"
#include "Settings.h"
#include "Summary.h"
#include "setup/Json.h"
#include "setup/RateRules.h"
#include "setup/TextFormat.h"

namespace ksr::cli {

const char* const CheckHelp =
    "Usage: ksr-config check [--json] FILE.set\n"
    "\n"
    "Reads the set-up, applies the sampling-rate rules (gain groups, max. PC cycle, file-length\n"
    "cap) and prints a summary: channels with rates and gains, modes, file length, max. PC cycle\n"
    "and the active windows. Changes the rules make are listed; no file is written.\n"
    "  --json   every setting by its key with the value as the setup file shows it\n";

int Check(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    const Options parsed = ParseOptions(args, {}, {"--json"});
    const std::string file = OneFile(parsed);
    SetupRecord record = ReadSetup(file);
    const std::string setupName = SetupNameNoted(file, err);
    const SetupRecord before = record;
    CheckSampleRates(record);
    if (parsed.has("--json")) {
        std::vector<std::pair<std::string, std::string>> settings;
        for (const NamedSetting& n : NamedSettings(record))
            settings.emplace_back(n.key, json::Str(n.value));
        std::vector<std::string> changes;
        for (const auto& c : RateRuleChanges(before, record)) changes.push_back(json::Str(c));
        out << json::Object({{"file", json::Str(fmt::EchoName(file))},
                             {"setup_name", json::Str(setupName)},
                             {"settings", json::Object(settings)},
                             {"rate_rule_changes", json::Array(changes)}})
            << "\n";
        return Success;
    }
    out << Summary(record);
    const auto changes = RateRuleChanges(before, record);
    out << "Rate rules:     " << (changes.empty() ? "no change" : "") << "\n";
    for (const auto& change : changes) out << "  " << change << "\n";
    return Success;
}

}  // namespace ksr::cli
