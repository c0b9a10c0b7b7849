// ksr-config set: a set-up made from values. Each NAME=VALUE changes one setting by the name
// `check --json` prints, with the value as it prints it; the rate rules follow as the window's
// Finish applies them, and the file is written by the safe write.

#include <functional>
#include <map>
#include <ostream>

#include "Args.h"
#include "Commands.h"
#include "Summary.h"
#include "setup/Errors.h"
#include "setup/FileIo.h"
#include "setup/RateRules.h"
#include "setup/SettingTable.h"
#include "setup/SetupFile.h"
#include "setup/Tables.h"
#include "setup/TextFormat.h"

namespace ksr::cli {

const char* const SetHelp =
    "Usage: ksr-config set FILE.set NAME=VALUE ...\n"
    "\n"
    "Changes settings of the set-up FILE.set by the names 'check --json' prints, with values\n"
    "as it prints them: rates in samples per second (primary_rate_ch1=200,\n"
    "secondary_rate_ch1=50), gains and modes by their texts (gain_ch2=10,\n"
    "record_mode=TIMED), aux channels ON or OFF, plain numbers as numbers. Then applies the\n"
    "sampling-rate rules as the window's Finish does and says what they changed. A primary\n"
    "rate keeps the channel's secondary rate when the new primary allows it, else sets it to\n"
    "0. The file is written whole or not at all; on any error nothing is written.\n"
    "Windows and their times are changed in the window.\n"
    "Exit status: 0 written; 1 a file that cannot be read or written; 2 a name or value that\n"
    "is not allowed (the message lists the allowed values).\n";

namespace {

using Setter = std::function<void(SetupRecord&, const std::string&)>;

int RateIndex(const std::string& name, const std::string& value) {
    std::string allowed;
    for (int i = 1; i <= RateCount; ++i) {
        if (fmt::Free(PrimaryRates[i]) == value) return i;
        allowed += (allowed.empty() ? "" : " ") + fmt::Free(PrimaryRates[i]);
    }
    throw UsageError(name + " takes a rate of the table: " + allowed + ", not \"" +
                     fmt::Echo(value) + "\"");
}

// The secondary rate's index in the row of the channel's primary rate, 0 when it has none.
int SecondaryIndex(int primIndex, int rate) {
    for (int i = 1; i <= SecondaryRateCount[primIndex]; ++i)
        if (LookUpSecondaryRate(primIndex, i) == rate) return i;
    return 0;
}

std::map<std::string, Setter> Setters(std::ostream& err) {
    std::map<std::string, Setter> setters;
    for (int c = 1; c <= ChannelCount; ++c) {
        const std::string ch = fmt::Free(c);
        setters["primary_rate_ch" + ch] = [c, ch, &err](SetupRecord& r, const std::string& v) {
            r.PrimRateIndex[c] = RateIndex("primary_rate_ch" + ch, v);
            const int kept = SecondaryIndex(r.PrimRateIndex[c], r.SecRateValue[c]);
            if (kept == 0 && r.SecRateValue[c] != 0)
                err << "note: secondary_rate_ch" << ch << " " << r.SecRateValue[c]
                    << " is no secondary rate of " << v << " sps: set to 0\n";
            SetSecondaryRate(r, c, kept == 0 ? 1 : kept);
        };
        setters["secondary_rate_ch" + ch] = [c, ch](SetupRecord& r, const std::string& v) {
            int rate = -1;
            const int prim = r.PrimRateIndex[c];
            const int index = fmt::ParseInt(v, rate) ? SecondaryIndex(prim, rate) : 0;
            if (index == 0) {
                std::string allowed;
                for (int i = 1; i <= SecondaryRateCount[prim]; ++i)
                    allowed += (i > 1 ? " " : "") + fmt::Free(LookUpSecondaryRate(prim, i));
                throw UsageError("secondary_rate_ch" + ch + " takes, with a primary rate of " +
                                 fmt::Free(PrimaryRates[prim]) + " sps: " + allowed + ", not \"" +
                                 fmt::Echo(v) + "\"");
            }
            SetSecondaryRate(r, c, index);
        };
    }
    // Every other row by its code texts or as a number (the rates have theirs, above).
    for (const Setting& s : Settings()) {
        setters.emplace(s.json, [&s](SetupRecord& r, const std::string& value) {
            if (s.codes > 0) {
                std::string allowed;
                for (int code = 1; code <= s.codes; ++code) {
                    const std::string text = fmt::Latin1ToUtf8(s.codeText(code));
                    if (fmt::UpperAscii(text) == fmt::UpperAscii(value)) return s.set(r, code);
                    allowed += (code > 1 ? ", " : "") + text;
                }
                throw UsageError(s.json + " takes " + allowed + ", not \"" + fmt::Echo(value) +
                                 "\"");
            }
            int number = 0;
            if (!fmt::ParseInt(value, number) || number < 0)
                throw UsageError(s.json + " takes a whole number, not \"" + fmt::Echo(value) +
                                 "\"");
            s.set(r, number);
        });
    }
    return setters;
}

}  // namespace

int Set(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    const Options parsed = ParseOptions(args, {});
    if (parsed.positional.size() < 2)
        throw UsageError("a setup file and at least one NAME=VALUE are needed");
    const std::string file = parsed.positional.front();
    SetupRecord record = ReadSetup(file);
    const auto setters = Setters(err);
    for (std::size_t i = 1; i < parsed.positional.size(); ++i) {
        const std::string& assignment = parsed.positional[i];
        const auto equals = assignment.find('=');
        if (equals == std::string::npos)
            throw UsageError("NAME=VALUE, not \"" + fmt::Echo(assignment) + "\"");
        const std::string name = assignment.substr(0, equals);
        const auto setter = setters.find(name);
        if (setter == setters.end()) {
            std::string names;
            for (const auto& [known, unused] : setters) names += " " + known;
            throw UsageError("no setting is called \"" + fmt::Echo(name) +
                             "\"; set knows:" + names);
        }
        setter->second(record, assignment.substr(equals + 1));
    }
    const SetupRecord before = record;
    CheckSampleRates(record);
    const auto changes = RateRuleChanges(before, record);
    WriteFileAtomically(PathOf(file), FormatSetupFile(record));
    out << fmt::EchoName(file) << " written";
    out << (changes.empty() ? "; the rate rules changed nothing\n" : "; the rate rules changed:\n");
    for (const auto& change : changes) out << "  " << change << "\n";
    return Success;
}

}  // namespace ksr::cli
