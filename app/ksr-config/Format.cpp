// ksr-config format: a set-up written again in the setup-file layout.

#include <optional>
#include <ostream>

#include "Args.h"
#include "Commands.h"
#include "setup/FileIo.h"
#include "setup/SetupFile.h"

namespace ksr::cli {

const char* const FormatHelp =
    "Usage: ksr-config format FILE.set [-o|--output OUT.set]\n"
    "\n"
    "Reads the set-up and writes it again in the setup-file layout, nothing recomputed, to\n"
    "standard output or to OUT.set (which may be FILE.set itself). After hand-editing the\n"
    "numbers after ';;params', this brings the readable first half up to date.\n";

int Format(const std::vector<std::string>& args, std::ostream& out, std::ostream&) {
    const Options parsed = ParseOptions(args, {"-o", "--output"});
    const std::string file = OneFile(parsed);
    SetupRecord record = ReadSetup(file);
    const std::string bytes = FormatSetupFile(record);
    std::optional<std::string> output = parsed.value("-o");
    if (parsed.value("--output")) output = parsed.value("--output");
    if (output)
        WriteFileAtomically(PathOf(*output), bytes);
    else
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return Success;
}

}  // namespace ksr::cli
