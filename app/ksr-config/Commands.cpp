#include "Commands.h"

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <ostream>

#include "Args.h"
#include "Deploy.h"
#include "PowerCommand.h"
#include "SetCommand.h"
#include "Settings.h"
#include "Summary.h"
#include "Upload.h"
#include "recorder_ini/RecorderIni.h"
#include "setup/Errors.h"
#include "setup/FileIo.h"
#include "setup/Json.h"
#include "setup/RateRules.h"
#include "setup/SetupFile.h"
#include "setup/TextFormat.h"
#include "upload/UploadSession.h"

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

const char* const kCheckHelp =
    "Usage: ksr-config check [--json] FILE.set\n"
    "\n"
    "Reads the set-up, applies the sampling-rate rules (gain groups, max. PC cycle, file-length\n"
    "cap) and prints a summary: channels with rates and gains, modes, file length, max. PC cycle\n"
    "and the active windows. Changes the rules make are listed; no file is written.\n"
    "  --json   every setting by its key with the value as the setup file shows it\n";

const char* const kFormatHelp =
    "Usage: ksr-config format FILE.set [-o|--output OUT.set]\n"
    "\n"
    "Reads the set-up and writes it again in the setup-file layout, nothing recomputed, to\n"
    "standard output or to OUT.set (which may be FILE.set itself). After hand-editing the\n"
    "numbers after ';;params', this brings the readable first half up to date.\n";

const char* const kBuildHelp =
    "Usage: ksr-config build [--lowest-temp N] [--json] FILE.set\n"
    "       ksr-config build --out-dir DIR [--force] [--lowest-temp N] [--json] A.set ...\n"
    "\n"
    "Does what saving and building in the window does for FILE.set: takes the set-up name from\n"
    "the file name as the window does (of its last 12 characters the first 8 before \".set\",\n"
    "a..z in capitals; a name with a control byte or a byte above 127 is refused, and a note\n"
    "says when the name is not the file's), applies the sampling-rate rules,\n"
    "writes SHORTTMP.DAT with the lowest temperature N (-30, -25, -20, -15 or -10; default -10)\n"
    "and builds recorder.ini from the template recorder.000 of the working directory.\n"
    "SHORTTMP.DAT and recorder.ini change both or neither; on failure both stay as they were.\n"
    "With --out-dir each set-up gets a folder DIR/NAME holding its recorder.ini, SHORTTMP.DAT\n"
    "and a copy of its setup file, byte for byte what a single build writes; one failure does\n"
    "not stop the others; one line per set-up; exit status 1 when any failed. A setup file\n"
    "named like the files of the folder (recorder.ini, SHORTTMP.DAT, uploads.log, *.ini) is\n"
    "refused, and so is a folder that holds another setup file from an earlier build.\n"
    "  --force  replace a folder's earlier set-up of the same NAME\n"
    "  --json   the result per set-up as JSON\n";

const char* const kDiffHelp =
    "Usage: ksr-config diff A.set B.set\n"
    "\n"
    "Lists the settings that differ, one a line, with the readable names of the setup file's\n"
    "first half, e.g. \"Primary Rate Ch2: 100 -> 200\". Exit status as diff(1): 0 and no\n"
    "output when equal, 1 when different, 2 on error.\n";

std::string OneFile(const Options& parsed) {
    if (parsed.positional.size() != 1)
        throw UsageError(parsed.positional.empty() ? "a setup file is needed"
                                                   : "only one setup file is taken");
    return parsed.positional.front();
}

// The set-up name that a file name gives, and a note on standard error when it is not the file
// name without ".set".
std::string SetupNameNoted(const std::string& file, std::ostream& err) {
    const std::string name = SetupNameForBuild(file);
    const std::string stem = RenamedStem(file, name);
    if (!stem.empty())
        err << fmt::EchoName(file) << ": note: the set-up is called " << name << ", not "
            << fmt::EchoName(stem) << " (a set-up name is at most 8 characters of the last 12 of "
            << "the file name)\n";
    return name;
}

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

int LowestTemperature(const Options& parsed) {
    const auto t = parsed.value("--lowest-temp");
    if (!t) return LowestTemperatureDefault;
    int value = 0;
    if (!fmt::ParseInt(*t, value) || !IsLowestTemperature(value))
        throw UsageError(std::string("--lowest-temp takes ") + LowestTemperatureChoices +
                         ", not \"" + fmt::Echo(*t) + "\"");
    return value;
}

// One set-up built: where, its name, what the rate rules changed, and the lines of recorder.ini.
struct BuildResult {
    std::string file, name, folder, error;
    std::vector<std::string> changes;
    int lines = 0;
};

// Reads and checks the set-up and applies the rate rules; the name from the file name.
SetupRecord PreparedForBuild(const std::string& file, BuildResult& result, std::ostream& err) {
    SetupRecord record = ReadSetup(file);
    record.SetupName = SetupNameNoted(file, err);
    result.name = record.SetupName;
    const SetupRecord before = record;
    CheckSampleRates(record);
    result.changes = RateRuleChanges(before, record);
    return record;
}

}  // namespace

std::string RecorderIniOfSetup(const std::string& file, const Options& parsed, std::ostream& err) {
    BuildResult result;
    const SetupRecord record = PreparedForBuild(file, result, err);
    for (const auto& change : result.changes) err << "note: rate rules: " << change << "\n";
    return BuildRecorderIniFilesFor(record, ReadFileBytes(TemplateFileName), TemplateFileName,
                                    LowestTemperatureText(LowestTemperature(parsed)))
        .recorderIni;
}

namespace {

std::string BuildJson(const std::vector<BuildResult>& results) {
    std::vector<std::string> items;
    for (const BuildResult& r : results) {
        std::vector<std::string> changes;
        for (const auto& c : r.changes) changes.push_back(json::Str(c));
        items.push_back(json::Object({
            {"file", json::Str(fmt::EchoName(r.file))},
            {"setup_name", r.name.empty() ? "null" : json::Str(r.name)},
            {"folder", json::Str(fmt::EchoName(r.folder))},
            {"ok", r.error.empty() ? "true" : "false"},
            {"recorder_ini_lines", r.error.empty() ? std::to_string(r.lines) : "null"},
            {"rate_rule_changes", json::Array(changes)},
            {"error", r.error.empty() ? "null" : json::Str(r.error)},
        }));
    }
    return json::Object({{"results", json::Array(items)}}) + "\n";
}

// The name of the setup file's copy in its build folder; refused when it is the name of a file
// the folder holds for the recorder (the upload sends every "*.ini" there).
std::string CopyNameInFolder(const std::string& file) {
    const std::string name = PathOf(file).filename().string();
    const std::string upper = fmt::UpperAscii(name);
    const bool taken = upper == fmt::UpperAscii(RecorderIniFileName) ||
                       upper == fmt::UpperAscii(ShortTmpFileName) || upper == "UPLOADS.LOG" ||
                       (upper.size() > 4 && upper.compare(upper.size() - 4, 4, ".INI") == 0);
    if (taken)
        throw KsrError("the setup file " + fmt::EchoName(name) +
                       " would take the place of a file of its build folder: rename it NAME.set");
    return name;
}

// Setup files of an earlier build in `folder` under other names than `name`.
std::vector<std::filesystem::path> EarlierSetups(const std::filesystem::path& folder,
                                                 const std::string& name) {
    std::vector<std::filesystem::path> found;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec))
        if (fmt::UpperAscii(entry.path().extension().string()) == ".SET" &&
            entry.path().filename() != PathOf(name))
            found.push_back(entry.path());
    std::sort(found.begin(), found.end());
    return found;
}

// Each set-up into DIR/NAME: recorder.ini, SHORTTMP.DAT and a copy of the setup file.
int BuildMany(const Options& parsed, const std::string& outDir, int lowest, std::ostream& out,
              std::ostream& err) {
    if (parsed.positional.empty()) throw UsageError("a setup file is needed");
    const std::string templateBytes = ReadFileBytes(TemplateFileName);
    std::vector<BuildResult> results;
    std::map<std::string, std::string> builtFrom;  // folder name -> the file built there
    // What each set-up writes; the writes go in batches, each folder under its lock.
    struct Pending {
        std::size_t result;
        std::filesystem::path folder;
        std::vector<FileWrite> files;
        std::vector<std::filesystem::path> earlier;  // replaced with --force
    };
    std::vector<Pending> pending;
    for (const std::string& file : parsed.positional) {
        BuildResult result;
        result.file = file;
        try {
            SetupRecord record = PreparedForBuild(file, result, err);
            const std::filesystem::path folder = PathOf(outDir) / result.name;
            result.folder = folder.string();
            if (auto it = builtFrom.find(result.name); it != builtFrom.end())
                throw KsrError("set-up name " + result.name + " taken already by " + it->second +
                               " in this run");
            builtFrom[result.name] = file;
            const std::string setupName = CopyNameInFolder(file);
            std::vector<std::filesystem::path> earlier = EarlierSetups(folder, setupName);
            if (!earlier.empty() && !parsed.has("--force"))
                throw KsrError("the folder " + fmt::EchoName(folder.string()) +
                               " holds the set-up " +
                               fmt::EchoName(earlier.front().filename().string()) +
                               " from an earlier build: give --force to replace it");
            const std::string setupBytes = ReadFileBytes(PathOf(file));
            const RecorderIniFiles built = BuildRecorderIniFilesFor(
                record, templateBytes, TemplateFileName, LowestTemperatureText(lowest));
            std::error_code ec;
            std::filesystem::create_directories(folder, ec);
            if (ec) throw IoError("cannot create folder", folder, ec.message());
            result.lines = built.lines;
            pending.push_back({results.size(),
                               folder,
                               {{folder / ShortTmpFileName, built.shortTmp},
                                {folder / RecorderIniFileName, built.recorderIni},
                                {folder / PathOf(setupName), setupBytes}},
                               std::move(earlier)});
        } catch (const KsrError& e) {
            result.error = e.locatedEscaped();
        }
        results.push_back(result);
    }
    // A batch holds its folders' locks (one open file each) and syncs the disk twice.
    constexpr std::size_t kBatch = 64;
    for (std::size_t from = 0; from < pending.size(); from += kBatch) {
        const std::size_t to = std::min(pending.size(), from + kBatch);
        std::vector<std::unique_ptr<FolderLock>> locks;
        std::vector<std::size_t> locked;
        std::vector<std::vector<FileWrite>> groups;
        for (std::size_t i = from; i < to; ++i) {
            try {
                locks.push_back(std::make_unique<FolderLock>(pending[i].folder));
                locked.push_back(i);
                groups.push_back(pending[i].files);
            } catch (const KsrError& e) {
                results[pending[i].result].error = e.locatedEscaped();
            }
        }
        const auto errors = WriteFileGroups(groups);
        for (std::size_t k = 0; k < locked.size(); ++k) {
            const Pending& p = pending[locked[k]];
            if (errors[k]) {
                results[p.result].error = errors[k]->locatedEscaped();
                continue;
            }
            std::error_code ec;
            for (const auto& other : p.earlier) std::filesystem::remove(other, ec);  // --force
        }
    }
    bool failed = false;
    for (const BuildResult& r : results) failed = failed || !r.error.empty();
    if (parsed.has("--json")) {
        out << BuildJson(results);
    } else {
        for (const BuildResult& r : results)
            if (r.error.empty())
                out << fmt::EchoName(r.file) << ": " << fmt::EchoName(r.folder)
                    << "/recorder.ini built for set-up " << r.name << " (" << r.lines
                    << " lines)\n";
            else
                out << fmt::EchoName(r.file) << ": FAILED: " << r.error << "\n";
    }
    for (const BuildResult& r : results)
        for (const auto& change : r.changes)
            err << fmt::EchoName(r.file) << ": note: rate rules: " << change << "\n";
    // One template gives every folder the same recorder: say so before it is uploaded to many.
    if (results.size() > 1)
        err << "note: every recorder.ini built carries the identity of ./" << TemplateFileName
            << " (" << upload::IdentityText(upload::IdentityOf(templateBytes))
            << "); for recorders of their own, each with its template, see 'ksr-config deploy'\n";
    return failed ? BadFile : Success;
}

int Build(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    const Options parsed =
        ParseOptions(args, {"--lowest-temp", "--out-dir"}, {"--json", "--force"});
    if (parsed.has("--force") && !parsed.value("--out-dir"))
        throw UsageError("--force goes with --out-dir");
    const int lowest = LowestTemperature(parsed);
    if (const auto dir = parsed.value("--out-dir"))
        return BuildMany(parsed, *dir, lowest, out, err);
    const std::string file = OneFile(parsed);
    BuildResult result;
    result.file = file;
    result.folder = ".";
    SetupRecord record = PreparedForBuild(file, result, err);
    for (const auto& change : result.changes) err << "note: rate rules: " << change << "\n";
    const RecorderIniFiles built = BuildRecorderIniFilesFor(
        record, ReadFileBytes(TemplateFileName), TemplateFileName, LowestTemperatureText(lowest));
    {
        FolderLock lock(".");
        WriteFilesTogether(
            {{ShortTmpFileName, built.shortTmp}, {RecorderIniFileName, built.recorderIni}});
    }
    result.lines = built.lines;
    if (parsed.has("--json"))
        out << BuildJson({result});
    else
        out << "recorder.ini built for set-up " << record.SetupName.str() << " (" << built.lines
            << " lines)\n";
    return Success;
}

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

}  // namespace

int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    using Command =
        std::function<int(const std::vector<std::string>&, std::ostream&, std::ostream&)>;
    const std::map<std::string, std::pair<Command, const char*>> commands{
        {"check", {Check, kCheckHelp}},
        {"format", {Format, kFormatHelp}},
        {"build", {Build, kBuildHelp}},
        {"power", {Power, PowerHelp}},
        {"upload", {Upload, UploadHelp}},
        {"diff", {Diff, kDiffHelp}},
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
