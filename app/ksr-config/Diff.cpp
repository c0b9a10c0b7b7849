// ksr-config diff: the settings two set-ups differ in.

#include <ostream>

#include "Args.h"
#include "Commands.h"
#include "Settings.h"
#include "setup/Errors.h"

namespace ksr::cli {

const char* const DiffHelp =
    "Usage: ksr-config diff A.set B.set\n"
    "\n"
    "Lists the settings that differ, one a line, with the readable names of the setup file's\n"
    "first half, e.g. \"Primary Rate Ch2: 100 -> 200\". Exit status as diff(1): 0 and no\n"
    "output when equal, 1 when different, 2 on error.\n";

int Diff(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    const Options parsed = ParseOptions(args, {});
    if (parsed.positional.size() != 2) throw UsageError("two setup files are compared");
    std::vector<std::string> differences;
    try {
        differences =
            SettingDifferences(ReadSetup(parsed.positional[0]), ReadSetup(parsed.positional[1]));
    } catch (const KsrError& e) {
        err << e.locatedEscaped() << "\n";
        return BadUsage;  // trouble, as diff(1) says it
    }
    for (const auto& d : differences) out << d << "\n";
    return differences.empty() ? Success : BadFile;
}

}  // namespace ksr::cli
