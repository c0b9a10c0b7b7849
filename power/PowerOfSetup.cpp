#include "power/PowerOfSetup.h"

#include <algorithm>

#include "setup/Tables.h"

namespace ksr::power {
namespace {

// Within min..max on the grid of `step` from min: the nearest value the page can hold.
int OnPageGrid(long long value, const InputRange& range) {
    const int min = range.min, max = range.max, step = range.step;
    const long long clamped = std::clamp<long long>(value, min, max);
    return static_cast<int>(min + (clamped - min + step / 2) / step * step);
}

}  // namespace

std::vector<std::string> PowerSettingsFromSetup(const SetupRecord& r, PowerSettings& s) {
    std::vector<std::string> taken;
    int primChannels = 0, secChannels = 0, primRate = 0, secRate = 0;
    for (int c = 1; c <= ChannelCount; ++c) {
        const int prim =
            PrimaryRates.contains(r.PrimRateIndex[c]) ? PrimaryRates[r.PrimRateIndex[c]] : 0;
        if (prim > 0) {
            ++primChannels;
            primRate = std::max(primRate, prim);
        }
        if (r.SecRateValue[c] > 0) {
            ++secChannels;
            secRate = std::max(secRate, r.SecRateValue[c]);
        }
    }
    s.primRate = primRate;
    s.primChannels = std::max(primChannels, 1);
    s.secRate = secRate;
    s.secChannels = secChannels;
    taken.push_back(std::to_string(s.primChannels) + " channels at " + std::to_string(primRate) +
                    " sps, " + std::to_string(secChannels) + " at " + std::to_string(secRate) +
                    " sps (the highest rates in use)");
    s.ascii = r.RecordParams[DataType] == code::Ascii;
    if (s.ascii) taken.push_back("ASCII format");
    if (r.RecordParams[RecordMode] == code::Timed)
        for (const RecWindow& w : r.RecWindows)
            if (w.WinType == code::WinBurst) {
                const long long every =
                    static_cast<long long>(w.IntDays) * 1440 + w.IntHours * 60LL + w.IntMinutes;
                const long long length =
                    static_cast<long long>(w.DurDays) * 1440 + w.DurHours * 60LL + w.DurMinutes;
                s.burst = true;
                s.burstInterval =
                    OnPageGrid(w.Repeat == code::Yes ? every : 360, BurstIntervalRange);
                s.burstDuration = OnPageGrid(length, BurstDurationRange);
                taken.push_back("burst every " + std::to_string(s.burstInterval) + " min for " +
                                std::to_string(s.burstDuration) + " min (the page's nearest)");
                break;
            }
    if (const auto cycle = GpsCycleOf(r)) {
        s.cycledGps = true;
        s.gpsInterval = OnPageGrid(cycle->everySeconds / 60, GpsIntervalRange);
        s.gpsDuration = OnPageGrid(cycle->onSeconds / 60, GpsDurationRange);
        taken.push_back("GPS on " + std::to_string(s.gpsDuration) + " min every " +
                        std::to_string(s.gpsInterval) + " min (the page's nearest)");
    }
    return taken;
}

}  // namespace ksr::power
