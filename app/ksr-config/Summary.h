#pragma once
// The readable summary `ksr-config check` prints for a set-up.

#include <string>
#include <vector>

#include "setup/SetupRecord.h"

namespace ksr::cli {

// What the rate rules changed between `before` and `after`, one sentence each.
std::vector<std::string> RateRuleChanges(const SetupRecord& before, const SetupRecord& after);

// The summary as UTF-8 text, one item a line.
std::string Summary(const SetupRecord& record);

}  // namespace ksr::cli
