#include "Commands.h"

#include <filesystem>
#include <functional>
#include <map>
#include <ostream>

#include "Summary.h"
#include "recorder_ini/RecorderIni.h"
#include "setup/Errors.h"
#include "setup/FileIo.h"
#include "setup/RateRules.h"
#include "setup/SetupFile.h"
#include "setup/TextFormat.h"

namespace ksr::cli {
namespace {

const char* const kUsage =
    "Usage: ksr-config COMMAND [ARGUMENTS]\n"
    "\n"
    "Prepares KSR recorder set-ups without the window.\n"
    "\n"
    "Commands:\n"
    "  check FILE.set                     read a set-up, apply the rate rules, print a summary\n"
    "  format FILE.set [-o OUT.set]       write a set-up again in the setup-file layout\n"
    "  build FILE.set [--lowest-temp N]   build recorder.ini in the working directory\n"
    "\n"
    "'ksr-config COMMAND --help' describes a command.\n"
    "Exit status: 0 success, 1 a bad or unreadable file, 2 bad usage.\n";

const char* const kCheckHelp =
    "Usage: ksr-config check FILE.set\n"
    "\n"
    "Reads the set-up, applies the sampling-rate rules (gain groups, max. PC cycle, file-length\n"
    "cap) and prints a summary: channels with rates and gains, modes, file length, max. PC cycle\n"
    "and the active windows. Changes the rules make are listed; no file is written.\n";

const char* const kFormatHelp =
    "Usage: ksr-config format FILE.set [-o OUT.set]\n"
    "\n"
    "Reads the set-up and writes it again in the setup-file layout, nothing recomputed, to\n"
    "standard output or to OUT.set (which may be FILE.set itself). After hand-editing the\n"
    "numbers after ';;params', this brings the readable first half up to date.\n";

const char* const kBuildHelp =
    "Usage: ksr-config build FILE.set [--lowest-temp N]\n"
    "\n"
    "Does in the working directory what saving and building in the window does for FILE.set:\n"
    "takes the set-up name from the file name (in capitals), applies the sampling-rate rules,\n"
    "writes SHORTTMP.DAT with the lowest temperature N (-30, -25, -20, -15 or -10; default -10)\n"
    "and builds recorder.ini from the template recorder.000. On failure recorder.ini is left\n"
    "exactly as it was.\n";

struct UsageError {
    std::string message;
};

bool IsHelp(const std::vector<std::string>& args) {
    for (const auto& a : args)
        if (a == "--help" || a == "-h") return true;
    return false;
}

// Splits arguments into positional ones and the values of the given options.
struct ParsedArgs {
    std::vector<std::string> positional;
    std::map<std::string, std::string> options;
};

ParsedArgs Parse(const std::vector<std::string>& args,
                 const std::vector<std::string>& valueOptions) {
    ParsedArgs parsed;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a.size() > 1 && a[0] == '-') {
            bool known = false;
            for (const auto& o : valueOptions) known = known || o == a;
            if (!known) throw UsageError{"unknown option " + a};
            if (i + 1 >= args.size()) throw UsageError{"option " + a + " needs a value"};
            parsed.options[a] = args[++i];
        } else {
            parsed.positional.push_back(a);
        }
    }
    return parsed;
}

std::string OneFile(const ParsedArgs& parsed) {
    if (parsed.positional.size() != 1)
        throw UsageError{parsed.positional.empty() ? "a setup file is needed"
                                                   : "only one setup file is taken"};
    return parsed.positional.front();
}

SetupRecord ReadSetup(const std::string& file) {
    SetupRecord record;
    SetDefaults(record);
    ReadSetupFile(record, file);
    return record;
}

int Check(const std::vector<std::string>& args, std::ostream& out, std::ostream&) {
    const std::string file = OneFile(Parse(args, {}));
    SetupRecord record = ReadSetup(file);
    const SetupRecord before = record;
    CheckSampleRates(record);
    out << Summary(record);
    const auto changes = RateRuleChanges(before, record);
    out << "Rate rules:     " << (changes.empty() ? "no change" : "") << "\n";
    for (const auto& change : changes) out << "  " << change << "\n";
    return Success;
}

int Format(const std::vector<std::string>& args, std::ostream& out, std::ostream&) {
    const ParsedArgs parsed = Parse(args, {"-o"});
    const std::string file = OneFile(parsed);
    SetupRecord record = ReadSetup(file);
    const std::string bytes = FormatSetupFile(record);
    if (auto o = parsed.options.find("-o"); o != parsed.options.end())
        WriteFileAtomically(o->second, bytes);
    else
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return Success;
}

int LowestTemperature(const ParsedArgs& parsed) {
    auto t = parsed.options.find("--lowest-temp");
    if (t == parsed.options.end()) return -10;
    int value = 0;
    if (!fmt::ParseInt(t->second, value) || value < -30 || value > -10 || value % 5 != 0)
        throw UsageError{"--lowest-temp takes -30, -25, -20, -15 or -10, not \"" + t->second +
                         "\""};
    return value;
}

int Build(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    const ParsedArgs parsed = Parse(args, {"--lowest-temp"});
    const std::string file = OneFile(parsed);
    const int lowest = LowestTemperature(parsed);
    SetupRecord record = ReadSetup(file);
    record.SetupName = fmt::UpperAscii(SetupNameFromPath(file));
    const SetupRecord before = record;
    CheckSampleRates(record);
    for (const auto& change : RateRuleChanges(before, record))
        err << "note: rate rules: " << change << "\n";
    WriteShortTmp(LowestTemperatureText(lowest));
    RecorderIni ini(".");
    ini.BuildRecorderIni(record);
    out << "recorder.ini built for set-up " << record.SetupName.str() << " (" << ini.IniLineCount
        << " lines)\n";
    return Success;
}

}  // namespace

int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    using Command =
        std::function<int(const std::vector<std::string>&, std::ostream&, std::ostream&)>;
    const std::map<std::string, std::pair<Command, const char*>> commands{
        {"check", {Check, kCheckHelp}},
        {"format", {Format, kFormatHelp}},
        {"build", {Build, kBuildHelp}},
    };
    if (args.empty()) {
        err << kUsage;
        return BadUsage;
    }
    if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        out << kUsage;
        return Success;
    }
    const auto command = commands.find(args[0]);
    if (command == commands.end()) {
        err << "ksr-config: unknown command \"" << args[0] << "\"\n\n" << kUsage;
        return BadUsage;
    }
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    if (IsHelp(rest)) {
        out << command->second.second;
        return Success;
    }
    try {
        return command->second.first(rest, out, err);
    } catch (const UsageError& e) {
        err << "ksr-config " << args[0] << ": " << e.message << "\n\n" << command->second.second;
        return BadUsage;
    } catch (const KsrError& e) {
        err << e.located() << "\n";
        return BadFile;
    } catch (const std::exception& e) {
        err << "ksr-config " << args[0] << ": " << e.what() << "\n";
        return BadFile;
    }
}

}  // namespace ksr::cli
