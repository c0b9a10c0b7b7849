#include "power/PowerEstimator.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

namespace ksr::power {
namespace {

// The load model of a recorder that buffers samples and switches its disk on once per cycle.
constexpr double kBufferBytes = 15938355.2;
constexpr double kBytesPerBufferedSample = 4;
constexpr double kBaseLoad = 1.83;
constexpr double kDiskLoad = 6.68;
constexpr double kHeaterLoad = 3.28;
constexpr double kLargestBatteryAh = 1e12;
constexpr double kGpsLoad = 0.19;
constexpr double kManyChannelsLoad = 0.03;
constexpr double kLongestDiskCycle = 21600;
constexpr double kStandardDiskOnTime = 250;

constexpr double kBatteryVolts = 12;
constexpr double kUsableShare = 0.95;
constexpr double kSelfDischargeGel = 0.00000095714;
constexpr double kSelfDischargeAgm = 0.000002;
constexpr double kSelfDischargeBase = 0.0000384255;
constexpr double kSelfDischargeFromDays = 20;
constexpr long long kFirstCountedDay = 19;

// Fixed-point text, right-aligned in `width`; independent of the locale's decimal mark.
std::string Fixed(double value, int decimals, std::size_t width) {
    char text[64];
    const auto result =
        std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
    std::string out(text, result.ptr);
    if (out.size() < width) out.insert(0, width - out.size(), ' ');
    return out;
}

// Below `limit` one decimal, four characters wide; otherwise the whole part.
std::string OneDecimalOrWhole(double value, double limit) {
    if (value < limit) return Fixed(value, 1, 4);
    char whole[400];  // any finite double's whole part, without a conversion that can overflow
    std::snprintf(whole, sizeof whole, "%.0f", std::trunc(value));
    return whole;
}

}  // namespace

long long RoundHalfEven(double value) {
    return static_cast<long long>(std::nearbyint(value));
}

LoadEstimate EstimateLoad(const PowerSettings& s) {
    LoadEstimate e;
    e.primTotal = static_cast<long long>(s.primRate) * s.primChannels;
    e.secTotal = static_cast<long long>(s.secRate) * s.secChannels;
    e.totalRate = static_cast<double>(e.primTotal + e.secTotal);
    if (e.totalRate < 4) e.totalRate = 4;

    const double b = kBufferBytes / (e.totalRate * kBytesPerBufferedSample);
    e.bufferTime = b;
    e.correction = e.totalRate > 149 ? b * b / 150000 : std::pow(b, 1.7) / 6610;
    double cycle = static_cast<double>(RoundHalfEven(b - e.correction - 300));
    if (cycle > kLongestDiskCycle) cycle = kLongestDiskCycle;
    double onTime = kStandardDiskOnTime;
    if (e.totalRate < 12) {
        onTime = kLongestDiskCycle / cycle * 180 + 70;
        cycle = kLongestDiskCycle;
    }
    e.dataFormat = s.ascii ? 2 : 1;
    if (s.burst) {
        cycle = s.burstInterval * 60.0;
        onTime = s.burstDuration * 60.0 + 250;
    }
    e.diskCycleBeforeTemperature = cycle;

    const double t = s.temperature;
    if (t >= 5) {
        cycle -= 600;
    } else {
        double h = 3 - t;
        if (cycle < 7200) {
            const double minutes = cycle / 60;
            // At one minute ln M = 0: the correction's limit from above, minus infinity, is
            // clamped to no heating like every cycle just above it. Below one minute ln M < 0
            // would turn the correction into a heater load of hundreds of watts: the same limit.
            if (minutes > 1)
                h = h - 2 * h / std::log(minutes);
            else
                h = 0;
        }
        if (h < 0) h = 0;
        e.heaterMinutes = h;
        // A cycle of zero has no heater minutes: no load rather than 0 / 0.
        e.heaterLoad = h == 0 ? 0 : kHeaterLoad * h / cycle * 60;
    }
    e.diskCycle = cycle;
    e.diskOnTime = onTime;
    e.diskLoad = cycle > onTime ? kDiskLoad * onTime / cycle : kDiskLoad;
    e.gpsLoad =
        s.cycledGps ? kGpsLoad * (static_cast<double>(s.gpsDuration) / s.gpsInterval) : kGpsLoad;
    e.totalLoad = kBaseLoad + e.heaterLoad + e.diskLoad + e.gpsLoad + s.addLoadW;
    if (s.primChannels > 3 || s.secChannels > 3) e.totalLoad += kManyChannelsLoad;
    return e;
}

DiskEstimate EstimateDisk(const PowerSettings& s, const LoadEstimate& load) {
    DiskEstimate d;
    d.usableBytes = static_cast<long long>(s.diskGB) * 1000000000LL - 700000000LL;
    d.primPerSecond = load.primTotal;
    if (s.burst)
        d.primPerSecond = RoundHalfEven(static_cast<double>(s.burstDuration) *
                                        static_cast<double>(load.primTotal) / s.burstInterval);
    const double bytesPerSample = load.dataFormat == 2 ? 6.0 : 2.0;
    d.bytesPerSecond = static_cast<double>(d.primPerSecond + load.secTotal) * bytesPerSample;
    if (d.bytesPerSecond < 4) d.bytesPerSecond = 4;
    d.recordSeconds = d.usableBytes / RoundHalfEven(d.bytesPerSecond);
    if (s.mt) d.recordSeconds = RoundHalfEven(static_cast<double>(d.recordSeconds) * 0.8);
    d.recordDays = d.recordSeconds / 86400;
    d.label = std::to_string(d.recordDays);
    if (d.label.size() < 4) d.label.insert(0, 4 - d.label.size(), ' ');
    return d;
}

std::string LoadText(double watts) {
    return Fixed(watts, 3, 0);
}

int LowestTemperature(bool gel) {
    return gel ? -25 : -40;
}

BatteryEstimate EstimateBattery(const PowerSettings& s, double totalLoad) {
    BatteryEstimate e;
    const double t = s.temperature;
    // A negative size has no capacity: it counts as an empty battery. Sizes beyond any battery
    // are held where every figure stays finite and exact enough to show.
    const double size = s.battSizeAh > 0 ? std::min(s.battSizeAh, kLargestBatteryAh) : 0;
    e.nominalWh = kBatteryVolts * size * kUsableShare;
    e.temperatureMinimum = LowestTemperature(s.gel);
    e.gelTooCold = s.gel && t < -20;
    e.temperatureFactor = (t - 48) * (-0.0099) * (t - 48) + 109;
    e.trueCapacity = e.nominalWh * e.temperatureFactor / 100;
    e.capacityLabel = OneDecimalOrWhole(e.trueCapacity, 38);
    e.note = SelfDischargeNeglected;
    if (!(totalLoad > 0)) {
        e.lifeDefined = false;
        e.note = NoNetLoad;
        e.lifeLabel = "----";
        return e;
    }
    e.batteryDays = e.trueCapacity / totalLoad / 24;
    if (e.batteryDays > kSelfDischargeFromDays) {
        e.selfDischarge = true;
        e.note = SelfDischargeConsidered;
        const double t0 = t < 0 ? 0 : t;
        const double c = s.gel ? kSelfDischargeGel : kSelfDischargeAgm;
        const double share = (14.9158 + t0) * c * (14.9158 + t0) + kSelfDischargeBase;
        e.dailyUse = e.trueCapacity * share + totalLoad * 24;
        // The first day at or after day 19 by which the battery is used up; start the search
        // just below the quotient so the comparison decides exactly as counting would.
        const double quotient = std::floor(e.trueCapacity / e.dailyUse);
        long long n = static_cast<long long>(std::min(quotient, 1e15)) - 1;
        if (n < kFirstCountedDay) n = kFirstCountedDay;
        while (!(e.trueCapacity - static_cast<double>(n) * e.dailyUse < 0)) ++n;
        e.batteryDays = static_cast<double>(n);
    }
    e.lifeLabel = OneDecimalOrWhole(e.batteryDays, 21);
    return e;
}

double ParseDecimal(const std::string& text) {
    std::string s;
    for (char c : text) s += c == ',' ? '.' : c;
    const std::size_t first = s.find_first_not_of(" \t");
    if (first == std::string::npos) return 0;
    const std::size_t last = s.find_last_not_of(" \t");
    s = s.substr(first, last - first + 1);
    // Only a plain decimal number counts: sign, digits, one mark.
    bool digit = false, mark = false;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const char c = s[i];
        if ((c == '-' || c == '+') && i == 0) continue;
        if (c >= '0' && c <= '9') {
            digit = true;
            continue;
        }
        if (c == '.' && !mark) {
            mark = true;
            continue;
        }
        return 0;
    }
    if (!digit) return 0;
    double value = 0;
    const char* begin = s.c_str() + (s[0] == '+' ? 1 : 0);
    const auto result = std::from_chars(begin, s.c_str() + s.size(), value);
    return result.ec == std::errc() && std::isfinite(value) ? value : 0;
}

std::string BatterySizeText(const std::string& text) {
    return text.empty() || text == "0" ? "5" : text;
}

}  // namespace ksr::power
