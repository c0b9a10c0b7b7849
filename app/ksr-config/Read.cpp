// ksr-config read and compare: the recorder's recorder.ini back over the line, alone or against
// a file of this computer. Neither sends anything that changes the recorder.

#include <algorithm>
#include <filesystem>
#include <optional>
#include <ostream>

#include "Args.h"
#include "Commands.h"
#include "Line.h"
#include "recorder_ini/IniCompare.h"
#include "recorder_ini/RecorderIni.h"
#include "serial/StopSignals.h"
#include "setup/Errors.h"
#include "setup/FileIo.h"
#include "setup/Json.h"
#include "setup/TextFormat.h"

namespace ksr::cli {

const char* const ReadHelp =
    "Usage: ksr-config read (--port DEVICE | --com N) [--out FILE]\n"
    "                       [--answer-timeout SECONDS] [--login-timeout SECONDS]\n"
    "\n"
    "Reads the recorder.ini the recorder runs: logs in as an upload does, changes to the\n"
    "recorder's software folder, starts its Kermit with \"kermit -s recorder.ini\", receives the\n"
    "file and logs out. Nothing is sent that changes the recorder. The recorder's console and\n"
    "the status texts go to standard error.\n"
    "  --out FILE  write the file to FILE (whole or not at all) instead of standard output;\n"
    "              a *.ini file in the working directory is refused: the next upload would\n"
    "              send it\n"
    "  --port, --com, --answer-timeout, --login-timeout  as for upload\n"
    "Exit status: 0 read; 1 the file could not be read from the recorder; 2 bad usage;\n"
    "130, 143 or 129 after INT, TERM or HUP.\n";

const char* const CompareHelp =
    "Usage: ksr-config compare (--port DEVICE | --com N) [--json] [--lowest-temp N] [FILE]\n"
    "\n"
    "Reads the recorder's recorder.ini as 'read' does and compares it with FILE: a recorder.ini\n"
    "(default: ./recorder.ini) or a set-up FILE.set, built in memory against ./recorder.000 as\n"
    "'build' would (with --lowest-temp as there). Prints each key whose value differs, e.g.\n"
    "\"Primary Rate Ch1 (channel_0_samplerate): recorder 100, file 200\", with the set-up's name\n"
    "for the keys the set-up sets; \"-\" stands for a key one side lacks. The recorder's identity\n"
    "(station_code, network_code, location_code, serial_number) comes first, each line marked\n"
    "\"IDENTITY\": another value there is another recorder. The timer section\n"
    "(output windows, burst, tm lines) compares as lines: \"timer, recorder only: ...\",\n"
    "\"timer, file only: ...\". The recorder's console goes to standard error.\n"
    "  --json  the differences as JSON\n"
    "Exit status as diff(1): 0 equal, 1 different, 2 trouble (bad usage, a file that cannot be\n"
    "read, or the recorder's file could not be read).\n";

namespace {

// The recorder's recorder.ini over the line; none, and why on `err` for `command`, when it
// could not be read.
std::optional<std::string> ReadFromRecorder(const LineChoice& choice, const char* command,
                                            std::ostream& err) {
    try {
        upload::SessionOptions options = choice.sessionOptions();
        options.job = upload::Job::Read;
        upload::UploadSession session({}, options);
        RunOnRecorder(choice, session, err, err);
        err << "\n";
        if (session.readSucceeded()) return session.recorderIni();
        throw KsrError(
            "the recorder's recorder.ini could not be read: " +
            (session.record().error.empty() ? std::string("no login") : session.record().error));
    } catch (const KsrError& e) {
        err << "ksr-config " << command << ": " << e.locatedEscaped() << "\n";
        return std::nullopt;
    }
}

// A *.ini file of the working directory: the next upload would send it to the recorder. Both
// the name given and the file a write to it would change (through links) are looked at.
bool NextUploadWouldSend(const std::filesystem::path& file) {
    auto sent = [](const std::filesystem::path& f) {
        if (fmt::LowerAscii(f.extension().string()) != ".ini") return false;
        const std::filesystem::path folder = f.parent_path();
        std::error_code ec;
        return folder.empty() || std::filesystem::equivalent(folder, ".", ec);
    };
    return sent(file) || sent(ResolveLinks(file));
}

bool IsIdentityKey(const std::string& key) {
    for (const char* k : {"station_code", "network_code", "location_code", "serial_number"})
        if (key == k || key.rfind(std::string(k) + " (", 0) == 0) return true;
    return false;
}

int StopStatus(int code) {
    const int signal = serial::StopSignals::received();
    return signal != 0 ? 128 + signal : code;
}

}  // namespace

int Read(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::set<std::string> withValue = LineOptionNames;
    withValue.insert("--out");
    const Options parsed = ParseOptions(args, withValue);
    if (!parsed.positional.empty()) throw UsageError("read takes no file: --out FILE names one");
    const LineChoice choice = ParseLineChoice(parsed);
    const auto outName = parsed.value("--out");
    if (outName && NextUploadWouldSend(PathOf(*outName)))
        throw UsageError("--out " + fmt::EchoName(*outName) +
                         " is a *.ini file of the working directory, which the next upload "
                         "would send to the recorder; write it elsewhere");
    const auto read = ReadFromRecorder(choice, "read", err);
    if (!read) return StopStatus(BadFile);
    const std::string& bytes = *read;
    if (outName) {
        WriteFileAtomically(PathOf(*outName), bytes);
        err << "ksr-config read: the recorder's recorder.ini (" << bytes.size()
            << " bytes) written to " << fmt::EchoName(*outName) << "\n";
    } else {
        out << bytes << std::flush;
    }
    return Success;
}

int Compare(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::set<std::string> withValue = LineOptionNames;
    withValue.insert("--lowest-temp");
    const Options parsed = ParseOptions(args, withValue, {"--json"});
    if (parsed.positional.size() > 1) throw UsageError("one file is compared");
    const LineChoice choice = ParseLineChoice(parsed);
    const std::string file =
        parsed.positional.empty() ? std::string("./") + RecorderIniFileName : parsed.positional[0];
    // The local side first: a file that cannot be read or built ends it before the line.
    std::string local;
    try {
        const bool setup = fmt::LowerAscii(PathOf(file).extension().string()) == ".set";
        local = setup ? RecorderIniOfSetup(file, parsed, err) : ReadFileBytes(PathOf(file));
    } catch (const KsrError& e) {
        err << "ksr-config compare: " << e.locatedEscaped() << "\n";
        return BadUsage;  // trouble, as diff(1) says it
    }
    const auto recorder = ReadFromRecorder(choice, "compare", err);
    if (!recorder) return StopStatus(BadUsage);
    IniComparison c = CompareRecorderIni(*recorder, local);
    // The recorder's identity first: a difference there is another recorder, not another set-up.
    std::stable_partition(c.keys.begin(), c.keys.end(),
                          [](const KeyDifference& d) { return IsIdentityKey(d.key); });
    if (parsed.has("--json")) {
        std::vector<std::string> keys, onRecorder, inFile;
        const auto str = [](const std::string& t) { return json::Str(fmt::Latin1ToUtf8(t)); };
        for (const KeyDifference& d : c.keys)
            keys.push_back(json::Object({{"key", str(d.key)},
                                         {"label", d.label.empty() ? "null" : str(d.label)},
                                         {"recorder", d.recorder == "-" ? "null" : str(d.recorder)},
                                         {"file", d.file == "-" ? "null" : str(d.file)},
                                         {"identity", IsIdentityKey(d.key) ? "true" : "false"}}));
        for (const auto& line : c.timerOnlyOnRecorder) onRecorder.push_back(str(line));
        for (const auto& line : c.timerOnlyInFile) inFile.push_back(str(line));
        out << json::Object({{"file", str(file)},
                             {"equal", c.equal() ? "true" : "false"},
                             {"keys", json::Array(keys)},
                             {"timer_recorder_only", json::Array(onRecorder)},
                             {"timer_file_only", json::Array(inFile)},
                             {"timer_order_differs", c.timerOrderDiffers ? "true" : "false"}})
            << "\n";
    } else {
        for (const KeyDifference& d : c.keys)
            out << fmt::Latin1ToUtf8(std::string(IsIdentityKey(d.key) ? "IDENTITY " : "") +
                                     (d.label.empty() ? d.key : d.label + " (" + d.key + ")") +
                                     ": recorder " + d.recorder + ", file " + d.file)
                << "\n";
        for (const auto& line : c.timerOnlyOnRecorder)
            out << "timer, recorder only: " << fmt::Latin1ToUtf8(line) << "\n";
        for (const auto& line : c.timerOnlyInFile)
            out << "timer, file only: " << fmt::Latin1ToUtf8(line) << "\n";
        if (c.timerOrderDiffers) out << "timer: the same lines in another order\n";
        if (c.equal()) err << "The recorder runs " << fmt::EchoName(file) << ".\n";
    }
    return c.equal() ? Success : BadFile;
}

}  // namespace ksr::cli
