#include "setup/RateRules.h"

#include <algorithm>
#include <string>

namespace ksr {

long long TotalSampleRate(const SetupRecord& r) {
    long long sum = 0;
    for (int c = 1; c <= ChannelCount; ++c)
        sum += PrimaryRates.at(r.PrimRateIndex[c], "PrimRateIndex[" + std::to_string(c) + "]") +
               static_cast<long long>(r.SecRateValue[c]);
    return sum;
}

void CheckSampleRates(SetupRecord& r) {
    for (int first : {1, 4}) {
        const bool anyLow = std::any_of(&r.GainIndex[first], &r.GainIndex[first] + 3,
                                        [](int g) { return g == code::Gain04; });
        if (anyLow)
            for (int c = first; c < first + 3; ++c) r.GainIndex[c] = code::Gain04;
    }

    // The recorder buffers 16 MB; each sample takes 4 bytes, plus a fixed overhead per minute.
    const long long total = TotalSampleRate(r);
    if (total < 0) throw RangeError("sum of the sampling rates", total, "0 or more");
    const long long perMinute = total * 4 * 60 + 4000;
    r.RecordParams[MaxPcCycle] = static_cast<int>(16000000 / perMinute - 6);

    int highest = 1;
    for (int c = 1; c <= ChannelCount; ++c) highest = std::max(highest, r.PrimRateIndex[c]);
    const int cap = MaxFileLength[highest];
    if (cap < r.RecordParams[FileLength]) r.RecordParams[FileLength] = cap;
}

}  // namespace ksr
