// ksr-config build: recorder.ini and SHORTTMP.DAT of one set-up, or of many each in its folder.

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <ostream>

#include "Args.h"
#include "Commands.h"
#include "Summary.h"
#include "recorder_ini/RecorderIni.h"
#include "setup/Errors.h"
#include "setup/FileIo.h"
#include "setup/Json.h"
#include "setup/RateRules.h"
#include "setup/SetupFile.h"
#include "setup/TextFormat.h"
#include "upload/Identity.h"
#include "upload/UploadLog.h"

namespace ksr::cli {

const char* const BuildHelp =
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

namespace {

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
                       upper == fmt::UpperAscii(ShortTmpFileName) ||
                       upper == fmt::UpperAscii(upload::UploadLogFileName) ||
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

}  // namespace

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

}  // namespace ksr::cli
