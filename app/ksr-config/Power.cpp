// ksr-config power: the mean load, the battery's life and the disk's days as the PowerEstimation
// page computes them, from options or from a set-up.

#include <algorithm>
#include <ostream>
#include <tuple>

#include "Args.h"
#include "Commands.h"
#include "power/PowerEstimator.h"
#include "power/PowerOfSetup.h"
#include "setup/Json.h"
#include "setup/SetupRecord.h"
#include "setup/Tables.h"
#include "setup/TextFormat.h"

namespace ksr::cli {

const char* const PowerHelp =
    "Usage: ksr-config power [FILE.set] [OPTIONS] [--json]\n"
    "\n"
    "Estimates the mean load, the battery's true capacity and life, and the days the disk can\n"
    "record, as the PowerEstimation page does. With FILE.set the rates and channels in use (the\n"
    "highest primary and secondary rate, and how many channels use each), the burst window,\n"
    "cycled GPS and the ASCII format come from the set-up; options given still apply.\n"
    "--json prints every figure of the page as JSON. Options, with the page's start values:\n"
    "  --prim-rate SPS             primary sampling rate, a rate of the table      (100)\n"
    "  --prim-channels N           primary channels, 1..6                          (3)\n"
    "  --sec-rate SPS              secondary sampling rate, a rate of the table    (0)\n"
    "  --sec-channels N            secondary channels, 0..6                        (3)\n"
    "  --burst INTERVAL,DURATION   burst mode; minutes 10..360 and 5..60, step 5   (off)\n"
    "  --gps INTERVAL,DURATION     cycled GPS; minutes 60..360 step 5, and 5..60   (off)\n"
    "  --ascii                     ASCII format instead of Steim compression\n"
    "  --temperature C             -40..40 in steps of 5; gel from -25             (20)\n"
    "  --battery AH                nominal battery size, 1..10000                  (38)\n"
    "  --gel                       gel battery instead of AGM\n"
    "  --add-load MW               additional load in milliwatts, -100000..100000  (0)\n"
    "                              (below zero: a solar panel's mean gain; a net load at or\n"
    "                              below zero gives an unlimited battery life)\n"
    "  --disk GB                   disk size, 10..120 in steps of 10               (40)\n"
    "  --mt                        magnetotellurics profile\n";

namespace {

// " 0 1 2 5 ...": the rates of a table, each once, in order.
std::string RateList(std::vector<int> rates) {
    std::sort(rates.begin(), rates.end());
    rates.erase(std::unique(rates.begin(), rates.end()), rates.end());
    std::string text;
    for (int rate : rates) text += " " + std::to_string(rate);
    return text;
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

// A decimal number within [min, max].
double Decimal(const std::string& option, const std::string& text, double min, double max) {
    const double value = power::ParseDecimal(text);
    const bool number = !(value == 0 && text.find_first_not_of("0.,+- ") != std::string::npos) &&
                        text.find_first_not_of(" \t") != std::string::npos;
    if (!number || !(value >= min && value <= max))
        throw UsageError(option + " takes a number from " + fmt::Free(static_cast<long long>(min)) +
                         " to " + fmt::Free(static_cast<long long>(max)) + ", not \"" +
                         fmt::Echo(text) + "\"");
    return value;
}

int Whole(const std::string& option, const std::string& text, const power::InputRange& r) {
    return Whole(option, text, r.min, r.max, r.step);
}

std::pair<int, int> Pair(const std::string& option, const std::string& text,
                         const power::InputRange& a, const power::InputRange& b) {
    const auto comma = text.find(',');
    if (comma == std::string::npos)
        throw UsageError(option + " takes INTERVAL,DURATION in minutes");
    return {Whole(option + " INTERVAL", text.substr(0, comma), a),
            Whole(option + " DURATION", text.substr(comma + 1), b)};
}

}  // namespace

int Power(const std::vector<std::string>& args, std::ostream& out, std::ostream&) {
    const Options parsed =
        ParseOptions(args,
                     {"--prim-rate", "--sec-rate", "--prim-channels", "--sec-channels", "--burst",
                      "--gps", "--temperature", "--battery", "--add-load", "--disk"},
                     {"--ascii", "--gel", "--mt", "--json"});
    if (parsed.positional.size() > 1) throw UsageError("only one setup file is taken");
    power::PowerSettings s;
    std::vector<std::string> fromFile;
    if (!parsed.positional.empty())
        fromFile = power::PowerSettingsFromSetup(ReadSetup(parsed.positional[0]), s);
    bool temperatureGiven = false;
    for (const auto& [a, value] : parsed.given) {
        if (a == "--prim-rate") {
            s.primRate = Whole(a, value, 0, 3000, 1);
            if (std::find(PrimaryRates.begin(), PrimaryRates.end(), s.primRate) ==
                PrimaryRates.end())
                throw UsageError("--prim-rate takes a rate of the table:" +
                                 RateList({PrimaryRates.begin(), PrimaryRates.end()}));
        } else if (a == "--sec-rate") {
            s.secRate = Whole(a, value, 0, 750, 1);
            std::vector<int> secondary;
            for (const auto& row : SecondaryRates)
                secondary.insert(secondary.end(), row.begin(), row.end());
            if (std::find(secondary.begin(), secondary.end(), s.secRate) == secondary.end())
                throw UsageError("--sec-rate takes a rate of the table:" + RateList(secondary));
        } else if (a == "--prim-channels") {
            s.primChannels = Whole(a, value, power::PrimChannelsRange);
        } else if (a == "--sec-channels") {
            s.secChannels = Whole(a, value, power::SecChannelsRange);
        } else if (a == "--burst") {
            s.burst = true;
            std::tie(s.burstInterval, s.burstDuration) =
                Pair(a, value, power::BurstIntervalRange, power::BurstDurationRange);
        } else if (a == "--gps") {
            s.cycledGps = true;
            std::tie(s.gpsInterval, s.gpsDuration) =
                Pair(a, value, power::GpsIntervalRange, power::GpsDurationRange);
        } else if (a == "--ascii") {
            s.ascii = true;
        } else if (a == "--temperature") {
            s.temperature = Whole(a, value, power::TemperatureRange);
            temperatureGiven = true;
        } else if (a == "--battery") {
            s.battSizeAh = Decimal(a, value, power::MinBatteryAh, power::MaxBatteryAh);
        } else if (a == "--gel") {
            s.gel = true;
        } else if (a == "--add-load") {
            s.addLoadW = Decimal(a, value, power::MinAddLoadMw, power::MaxAddLoadMw) / 1000;
        } else if (a == "--disk") {
            s.diskGB = Whole(a, value, power::DiskGbRange);
        } else if (a == "--mt") {
            s.mt = true;
        }
    }
    if (temperatureGiven && s.temperature < power::LowestTemperature(s.gel))
        throw UsageError("--temperature takes -25..40 for a gel battery");
    const auto load = power::EstimateLoad(s);
    const auto disk = power::EstimateDisk(s, load);
    auto battery = power::EstimateBattery(s, load.totalLoad);
    // Without a net load the battery is not used up: the page's "----" says so.
    if (!battery.lifeDefined) {
        battery.lifeLabel = "unlimited";
        battery.note = "No net load above 0 W: the battery is not used up";
    }
    auto trimmed = [](std::string text) {
        const auto first = text.find_first_not_of(' ');
        const auto last = text.find_last_not_of(' ');
        return first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
    };
    if (parsed.has("--json")) {
        std::vector<std::string> notes;
        for (const auto& n : fromFile) notes.push_back(json::Str(n));
        out << json::Object({
                   {"mean_load_w", json::Num(load.totalLoad, 3)},
                   {"mean_load_text", json::Str(power::LoadText(load.totalLoad))},
                   {"true_capacity_wh", json::Num(battery.trueCapacity, 3)},
                   {"true_capacity_text", json::Str(trimmed(battery.capacityLabel))},
                   {"battery_life_days",
                    battery.lifeDefined ? json::Num(battery.batteryDays, 3) : "null"},
                   {"battery_life_text", json::Str(trimmed(battery.lifeLabel))},
                   {"record_capacity_days", std::to_string(disk.recordDays)},
                   {"record_capacity_text", json::Str(trimmed(disk.label))},
                   {"self_discharge_considered", battery.selfDischarge ? "true" : "false"},
                   {"note", json::Str(trimmed(battery.note))},
                   {"gel_too_cold", battery.gelTooCold ? "true" : "false"},
                   {"heater_load_w", json::Num(load.heaterLoad, 3)},
                   {"disk_load_w", json::Num(load.diskLoad, 3)},
                   {"gps_load_w", json::Num(load.gpsLoad, 3)},
                   {"from_setup", json::Array(notes)},
                   {"settings",
                    json::Object(
                        {{"prim_rate", std::to_string(s.primRate)},
                         {"prim_channels", std::to_string(s.primChannels)},
                         {"sec_rate", std::to_string(s.secRate)},
                         {"sec_channels", std::to_string(s.secChannels)},
                         {"burst", s.burst ? json::Array({std::to_string(s.burstInterval),
                                                          std::to_string(s.burstDuration)})
                                           : "null"},
                         {"gps_cycle", s.cycledGps ? json::Array({std::to_string(s.gpsInterval),
                                                                  std::to_string(s.gpsDuration)})
                                                   : "null"},
                         {"ascii", s.ascii ? "true" : "false"},
                         {"temperature_c", std::to_string(s.temperature)},
                         {"battery_ah", json::Num(s.battSizeAh, 3)},
                         {"gel", s.gel ? "true" : "false"},
                         {"add_load_w", json::Num(s.addLoadW, 3)},
                         {"disk_gb", std::to_string(s.diskGB)},
                         {"mt", s.mt ? "true" : "false"}})},
               })
            << "\n";
        return Success;
    }
    for (const auto& n : fromFile) out << "From the set-up: " << n << "\n";
    out << "Mean Load [W]: " << power::LoadText(load.totalLoad) << "\n";
    out << "True Capacity [Wh]: " << trimmed(battery.capacityLabel) << "\n";
    out << "Battery Life [days]: " << trimmed(battery.lifeLabel) << "\n";
    out << "Record Capacity [days]: " << trimmed(disk.label) << "\n";
    out << trimmed(battery.note) << "\n";
    if (battery.gelTooCold) out << trimmed(std::string(power::GelWarning).substr(1)) << "\n";
    return Success;
}

}  // namespace ksr::cli
