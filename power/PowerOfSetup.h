#pragma once
// What a set-up says about the power estimate: rates and channels in use, burst, cycled GPS and
// the ASCII format, as the page would hold them.

#include <string>
#include <vector>

#include "power/PowerEstimator.h"
#include "setup/SetupRecord.h"

namespace ksr::power {

// Sets those settings of `s` from the set-up; returns what was taken, one sentence each.
std::vector<std::string> PowerSettingsFromSetup(const SetupRecord& record, PowerSettings& s);

}  // namespace ksr::power
