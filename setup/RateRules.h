#pragma once
// The rules that tie rates, gains and file length together.

#include "setup/SetupRecord.h"

namespace ksr {

// Gain groups (channels 1-3 and 4-6 go to "0.4" together), the longest time the recorder's
// computer may stay off (MaxPcCycle) and the file-length cap of the highest primary rate.
// Throws RangeError for a PrimRateIndex outside the table.
void CheckSampleRates(SetupRecord& record);

// The sum of both streams' rates over all channels, in samples per second.
long long TotalSampleRate(const SetupRecord& record);

}  // namespace ksr
