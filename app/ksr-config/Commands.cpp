#include "Commands.h"

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <ostream>
#include <tuple>

#include "Args.h"
#include "Summary.h"
#include "Upload.h"
#include "power/PowerEstimator.h"
#include "recorder_ini/RecorderIni.h"
#include "setup/Errors.h"
#include "setup/FileIo.h"
#include "setup/RateRules.h"
#include "setup/SetupFile.h"
#include "setup/TextFormat.h"

namespace ksr::cli {

const char* const Version = KSR_VERSION;

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
    "  power [OPTIONS]                    power load, battery life and disk capacity estimate\n"
    "  upload (--port DEVICE | --com N)   upload the *.ini files to the recorder\n"
    "\n"
    "'ksr-config help COMMAND' (or 'ksr-config COMMAND --help') describes a command.\n"
    "Options take their value as '--name value' or '--name=value'; '--' ends the options.\n"
    "'ksr-config --version' prints the version.\n"
    "Exit status: 0 success, 1 a bad or unreadable file, 2 bad usage.\n";

const char* const kCheckHelp =
    "Usage: ksr-config check FILE.set\n"
    "\n"
    "Reads the set-up, applies the sampling-rate rules (gain groups, max. PC cycle, file-length\n"
    "cap) and prints a summary: channels with rates and gains, modes, file length, max. PC cycle\n"
    "and the active windows. Changes the rules make are listed; no file is written.\n";

const char* const kFormatHelp =
    "Usage: ksr-config format FILE.set [-o|--output OUT.set]\n"
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

const char* const kPowerHelp =
    "Usage: ksr-config power [OPTIONS]\n"
    "\n"
    "Estimates the mean load, the battery's true capacity and life, and the days the disk can\n"
    "record, as the PowerEstimation page does. Options, with the page's start values:\n"
    "  --prim-rate SPS             primary sampling rate, a rate of the table      (100)\n"
    "  --prim-channels N           primary channels, 1..6                          (3)\n"
    "  --sec-rate SPS              secondary sampling rate, a rate of the table    (0)\n"
    "  --sec-channels N            secondary channels, 0..6                        (3)\n"
    "  --burst INTERVAL,DURATION   burst mode; minutes 10..360 and 5..60, step 5   (off)\n"
    "  --gps INTERVAL,DURATION     cycled GPS; minutes 60..360 step 5, and 5..60   (off)\n"
    "  --ascii                     ASCII format instead of Steim compression\n"
    "  --temperature C             -40..40 in steps of 5; gel from -25             (20)\n"
    "  --battery AH                nominal battery size                            (38)\n"
    "  --gel                       gel battery instead of AGM\n"
    "  --add-load MW               additional load in milliwatts                   (0)\n"
    "  --disk GB                   disk size, 10..120 in steps of 10               (40)\n"
    "  --mt                        magnetotellurics profile\n";

std::string OneFile(const Options& parsed) {
    if (parsed.positional.size() != 1)
        throw UsageError(parsed.positional.empty() ? "a setup file is needed"
                                                   : "only one setup file is taken");
    return parsed.positional.front();
}

SetupRecord ReadSetup(const std::string& file) {
    SetupRecord record;
    SetDefaults(record);
    ReadSetupFile(record, file);
    return record;
}

int Check(const std::vector<std::string>& args, std::ostream& out, std::ostream&) {
    const std::string file = OneFile(ParseOptions(args, {}));
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
    const Options parsed = ParseOptions(args, {"-o", "--output"});
    const std::string file = OneFile(parsed);
    SetupRecord record = ReadSetup(file);
    const std::string bytes = FormatSetupFile(record);
    std::optional<std::string> output = parsed.value("-o");
    if (parsed.value("--output")) output = parsed.value("--output");
    if (output)
        WriteFileAtomically(*output, bytes);
    else
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return Success;
}

int LowestTemperature(const Options& parsed) {
    const auto t = parsed.value("--lowest-temp");
    if (!t) return -10;
    int value = 0;
    if (!fmt::ParseInt(*t, value) || value < -30 || value > -10 || value % 5 != 0)
        throw UsageError("--lowest-temp takes -30, -25, -20, -15 or -10, not \"" + fmt::Echo(*t) +
                         "\"");
    return value;
}

int Build(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    const Options parsed = ParseOptions(args, {"--lowest-temp"});
    const std::string file = OneFile(parsed);
    const int lowest = LowestTemperature(parsed);
    SetupRecord record = ReadSetup(file);
    record.SetupName = SetupNameForBuild(file);
    const SetupRecord before = record;
    CheckSampleRates(record);
    for (const auto& change : RateRuleChanges(before, record))
        err << "note: rate rules: " << change << "\n";
    RecorderIni ini(".");
    ini.BuildRecorderIniWithShortTmp(record, LowestTemperatureText(lowest));
    out << "recorder.ini built for set-up " << record.SetupName.str() << " (" << ini.IniLineCount
        << " lines)\n";
    return Success;
}

// A whole number within [min, max] on a grid of `step` from `min`.
int Whole(const std::string& option, const std::string& text, int min, int max, int step) {
    int value = 0;
    if (!fmt::ParseInt(text, value) || value < min || value > max || (value - min) % step != 0)
        throw UsageError(option + " takes " + std::to_string(min) + ".." + std::to_string(max) +
                         (step > 1 ? " in steps of " + std::to_string(step) : "") + ", not \"" +
                         fmt::Echo(text) + "\"");
    return value;
}

double Decimal(const std::string& option, const std::string& text) {
    const double value = power::ParseDecimal(text);
    if (value == 0 && text.find_first_not_of("0.,+- ") != std::string::npos)
        throw UsageError(option + " takes a number, not \"" + fmt::Echo(text) + "\"");
    return value;
}

std::pair<int, int> Pair(const std::string& option, const std::string& text, int minA, int maxA,
                         int stepA, int minB, int maxB, int stepB) {
    const auto comma = text.find(',');
    if (comma == std::string::npos)
        throw UsageError(option + " takes INTERVAL,DURATION in minutes");
    return {Whole(option + " INTERVAL", text.substr(0, comma), minA, maxA, stepA),
            Whole(option + " DURATION", text.substr(comma + 1), minB, maxB, stepB)};
}

int Power(const std::vector<std::string>& args, std::ostream& out, std::ostream&) {
    const Options parsed =
        ParseOptions(args,
                     {"--prim-rate", "--sec-rate", "--prim-channels", "--sec-channels", "--burst",
                      "--gps", "--temperature", "--battery", "--add-load", "--disk"},
                     {"--ascii", "--gel", "--mt"});
    if (!parsed.positional.empty())
        throw UsageError("power takes no file: \"" + fmt::Echo(parsed.positional.front()) + "\"");
    power::PowerSettings s;
    bool temperatureGiven = false;
    for (const auto& [a, value] : parsed.given) {
        if (a == "--prim-rate") {
            s.primRate = Whole(a, value, 0, 3000, 1);
            if (std::find(PrimaryRates.begin(), PrimaryRates.end(), s.primRate) ==
                PrimaryRates.end())
                throw UsageError(
                    "--prim-rate takes a rate of the table: 0 1 2 5 10 20 25 50 75 100 125 150 "
                    "200 250 300 500 600 750 1000 3000");
        } else if (a == "--sec-rate") {
            s.secRate = Whole(a, value, 0, 750, 1);
            bool known = false;
            for (const auto& row : SecondaryRates)
                for (int rate : row) known = known || rate == s.secRate;
            if (!known)
                throw UsageError(
                    "--sec-rate takes a rate of the table: 0 1 2 4 5 10 20 25 40 50 75 100 120 "
                    "125 150 200 250 300 375 500 600 750");
        } else if (a == "--prim-channels") {
            s.primChannels = Whole(a, value, 1, 6, 1);
        } else if (a == "--sec-channels") {
            s.secChannels = Whole(a, value, 0, 6, 1);
        } else if (a == "--burst") {
            s.burst = true;
            std::tie(s.burstInterval, s.burstDuration) = Pair(a, value, 10, 360, 5, 5, 60, 5);
        } else if (a == "--gps") {
            s.cycledGps = true;
            std::tie(s.gpsInterval, s.gpsDuration) = Pair(a, value, 60, 360, 5, 5, 60, 1);
        } else if (a == "--ascii") {
            s.ascii = true;
        } else if (a == "--temperature") {
            s.temperature = Whole(a, value, -40, 40, 5);
            temperatureGiven = true;
        } else if (a == "--battery") {
            s.battSizeAh = Decimal(a, power::BatterySizeText(value));
        } else if (a == "--gel") {
            s.gel = true;
        } else if (a == "--add-load") {
            s.addLoadW = Decimal(a, value) / 1000;
        } else if (a == "--disk") {
            s.diskGB = Whole(a, value, 10, 120, 10);
        } else if (a == "--mt") {
            s.mt = true;
        }
    }
    if (temperatureGiven && s.temperature < power::LowestTemperature(s.gel))
        throw UsageError("--temperature takes -25..40 for a gel battery");
    const auto load = power::EstimateLoad(s);
    const auto disk = power::EstimateDisk(s, load);
    const auto battery = power::EstimateBattery(s, load.totalLoad);
    auto trimmed = [](std::string text) {
        const auto first = text.find_first_not_of(' ');
        const auto last = text.find_last_not_of(' ');
        return first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
    };
    out << "Mean Load [W]: " << power::LoadText(load.totalLoad) << "\n";
    out << "True Capacity [Wh]: " << trimmed(battery.capacityLabel) << "\n";
    out << "Battery Life [days]: " << trimmed(battery.lifeLabel) << "\n";
    out << "Record Capacity [days]: " << trimmed(disk.label) << "\n";
    out << trimmed(battery.note) << "\n";
    if (battery.gelTooCold) out << trimmed(std::string(power::GelWarning).substr(1)) << "\n";
    return Success;
}

}  // namespace

int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    using Command =
        std::function<int(const std::vector<std::string>&, std::ostream&, std::ostream&)>;
    const std::map<std::string, std::pair<Command, const char*>> commands{
        {"check", {Check, kCheckHelp}},   {"format", {Format, kFormatHelp}},
        {"build", {Build, kBuildHelp}},   {"power", {Power, kPowerHelp}},
        {"upload", {Upload, UploadHelp}},
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
        err << e.located() << "\n";
        return BadFile;
    } catch (const std::exception& e) {
        err << "ksr-config " << args[0] << ": " << e.what() << "\n";
        return BadFile;
    }
}

}  // namespace ksr::cli
