#pragma once
// Power and memory estimates for a planned deployment: the recorder's mean load, the battery's
// true capacity and life, and the days its disk can record. Plain arithmetic on the settings of
// the power page; nothing here knows the window.

#include <string>

namespace ksr::power {

struct PowerSettings {
    int primRate = 100;  // samples per second, as the page shows it
    int primChannels = 3;
    int secRate = 0;
    int secChannels = 3;
    bool burst = false;
    int burstInterval = 60;  // minutes
    int burstDuration = 10;
    bool cycledGps = false;
    int gpsInterval = 60;  // minutes
    int gpsDuration = 5;
    bool ascii = false;
    int temperature = 20;  // degrees Celsius
    double battSizeAh = 38;
    bool gel = false;
    double addLoadW = 0;  // the page's milliwatts divided by 1000
    int diskGB = 40;
    bool mt = false;
};

struct LoadEstimate {
    long long primTotal = 0;
    long long secTotal = 0;
    double totalRate = 0;
    double bufferTime = 0;
    double correction = 0;
    double diskCycleBeforeTemperature = 0;
    double diskCycle = 0;
    double diskOnTime = 0;
    double heaterMinutes = 0;
    double heaterLoad = 0;
    double diskLoad = 0;
    double gpsLoad = 0;
    int dataFormat = 1;  // 1 compressed (Steim), 2 ASCII
    double totalLoad = 0;
};

struct DiskEstimate {
    long long usableBytes = 0;
    long long primPerSecond = 0;
    double bytesPerSecond = 0;
    long long recordSeconds = 0;
    long long recordDays = 0;
    std::string label;  // right-aligned in at least four characters
};

struct BatteryEstimate {
    double nominalWh = 0;
    double temperatureFactor = 0;  // percent
    double trueCapacity = 0;       // Wh
    // False when the total load is zero or below: the recorder then draws nothing from the
    // battery and no life can be given.
    bool lifeDefined = true;
    double batteryDays = 0;
    bool selfDischarge = false;
    double dailyUse = 0;  // Wh per day, when self-discharge is considered
    bool gelTooCold = false;
    int temperatureMinimum = -40;
    std::string capacityLabel;
    std::string lifeLabel;
    std::string note;  // the self-discharge note, with its blanks
};

inline constexpr const char* GelWarning = "; Temperature too low for Gel Batteries";
inline constexpr const char* SelfDischargeConsidered = " Batt. self-discharge considered ";
inline constexpr const char* SelfDischargeNeglected = " Batt. self-discharge neglected ";
inline constexpr const char* NoNetLoad = " No load above 0 W: no battery life ";
inline constexpr const char* CommentSteim = "Estimated for Steim Compression";
inline constexpr const char* CommentAscii = "Estimated for ASCII uncompressed";

LoadEstimate EstimateLoad(const PowerSettings& settings);
DiskEstimate EstimateDisk(const PowerSettings& settings, const LoadEstimate& load);
BatteryEstimate EstimateBattery(const PowerSettings& settings, double totalLoad);

// The lowest temperature the battery type allows: -25 for gel, -40 for AGM.
int LowestTemperature(bool gel);

// A number typed into one of the page's text fields: "." or "," as decimal mark; text that is
// not a number reads as 0.
double ParseDecimal(const std::string& text);

// What the battery-size field becomes: an empty field or exactly "0" becomes "5".
std::string BatterySizeText(const std::string& text);

// The power page's inputs: what each field takes (minimum, maximum, step) and starts with; the
// command line's options take the same.
struct InputRange {
    int min, max, step, start;
};
inline constexpr InputRange PrimChannelsRange{1, 6, 1, 3};
inline constexpr InputRange SecChannelsRange{0, 6, 1, 3};
inline constexpr InputRange BurstIntervalRange{10, 360, 5, 60};
inline constexpr InputRange BurstDurationRange{5, 60, 5, 10};
inline constexpr InputRange GpsIntervalRange{60, 360, 5, 60};
inline constexpr InputRange GpsDurationRange{5, 60, 1, 5};
inline constexpr InputRange TemperatureRange{-40, 40, 5, 20};
inline constexpr InputRange DiskGbRange{10, 120, 10, 40};

// What an estimate is made for: a battery of some size, a load that adds to the recorder's.
inline constexpr double MinBatteryAh = 1;
inline constexpr double MaxBatteryAh = 10000;
// Below zero: a solar panel's mean gain.
inline constexpr double MinAddLoadMw = -100000;
inline constexpr double MaxAddLoadMw = 100000;

// Rounding to a whole number with halves to even.
long long RoundHalfEven(double value);

// The mean load as the command line shows it: three decimals.
std::string LoadText(double watts);

}  // namespace ksr::power
