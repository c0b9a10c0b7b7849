#include "Commands.h"

#include <functional>
#include <map>
#include <ostream>

#include "Args.h"
#include "setup/Errors.h"
#include "setup/FileIo.h"
#include "setup/SetupFile.h"
#include "setup/TextFormat.h"

namespace ksr::cli {

const char* const Version = KSR_VERSION;

SetupRecord ReadSetup(const std::string& file) {
    SetupRecord record;
    SetDefaults(record);
    ReadSetupFile(record, PathOf(file));
    return record;
}

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
    "  build --out-dir DIR A.set B.set    build many set-ups, each in DIR/NAME\n"
    "  diff A.set B.set                   the settings that differ\n"
    "  set FILE.set NAME=VALUE ...        change settings by their names, with the rate rules\n"
    "  ports [--json]                     the serial ports present\n"
    "  power [OPTIONS]                    power load, battery life and disk capacity estimate\n"
    "  upload (--port DEVICE | --com N)   upload the *.ini files to the recorder\n"
    "  read (--port DEVICE | --com N)     read the recorder's recorder.ini back\n"
    "  compare (--port DEVICE | --com N) [FILE]\n"
    "                                     the recorder's recorder.ini against FILE\n"
    "  deploy check|build|upload TABLE    a whole deployment from a table of stations\n"
    "\n"
    "'ksr-config help COMMAND' (or 'ksr-config COMMAND --help') describes a command.\n"
    "Options take their value as '--name value' or '--name=value'; '--' ends the options.\n"
    "'ksr-config --version' prints the version.\n"
    "Exit status: 0 success, 1 a bad or unreadable file, 2 bad usage.\n";

}  // namespace

std::string OneFile(const Options& parsed) {
    if (parsed.positional.size() != 1)
        throw UsageError(parsed.positional.empty() ? "a setup file is needed"
                                                   : "only one setup file is taken");
    return parsed.positional.front();
}

std::string SetupNameNoted(const std::string& file, std::ostream& err) {
    const std::string name = SetupNameForBuild(file);
    const std::string stem = RenamedStem(file, name);
    if (!stem.empty())
        err << fmt::EchoName(file) << ": note: the set-up is called " << name << ", not "
            << fmt::EchoName(stem) << " (a set-up name is at most 8 characters of the last 12 of "
            << "the file name)\n";
    return name;
}

int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    using Command = std::function<int(const CommandArgs&, std::ostream&, std::ostream&)>;
    const std::map<std::string, std::pair<Command, const char*>> commands{
        {"check", {Check, CheckHelp}},
        {"format", {Format, FormatHelp}},
        {"build", {Build, BuildHelp}},
        {"power", {Power, PowerHelp}},
        {"upload", {Upload, UploadHelp}},
        {"diff", {Diff, DiffHelp}},
        {"ports", {Ports, PortsHelp}},
        {"read", {Read, ReadHelp}},
        {"compare", {Compare, CompareHelp}},
        {"deploy", {Deploy, DeployHelp}},
        {"set", {Set, SetHelp}},
    };
    if (args.empty()) {
        err << kUsage;
        return BadUsage;
    }
    if (args[0] == "--version") {
        out << "ksr-config " << Version << "\n";
        return Success;
    }
    if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        if (args[0] == "help" && args.size() > 1) {  // "ksr-config help build"
            const auto command = commands.find(args[1]);
            if (command == commands.end()) {
                err << "ksr-config: unknown command \"" << fmt::Echo(args[1]) << "\"\n\n" << kUsage;
                return BadUsage;
            }
            out << command->second.second;
            return Success;
        }
        out << kUsage;
        return Success;
    }
    const auto command = commands.find(args[0]);
    if (command == commands.end()) {
        err << "ksr-config: unknown command \"" << fmt::Echo(args[0]) << "\"\n\n" << kUsage;
        return BadUsage;
    }
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    if (AsksForHelp(rest)) {
        out << command->second.second;
        return Success;
    }
    try {
        return command->second.first(rest, out, err);
    } catch (const std::invalid_argument& e) {  // UsageError, and the upload's own
        err << "ksr-config " << args[0] << ": " << e.what() << "\n\n" << command->second.second;
        return BadUsage;
    } catch (const KsrError& e) {
        err << e.locatedEscaped() << "\n";
        return BadFile;
    } catch (const std::exception& e) {
        err << "ksr-config " << args[0] << ": " << e.what() << "\n";
        return BadFile;
    }
}

}  // namespace ksr::cli
