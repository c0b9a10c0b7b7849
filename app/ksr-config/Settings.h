#pragma once
// A set-up's settings one by one, with the readable names of the setup file's first half and the
// values as that half shows them: for `check --json` and `diff`.

#include <string>
#include <vector>

#include "setup/SetupRecord.h"

namespace ksr::cli {

struct NamedSetting {
    std::string key;    // stable JSON key, e.g. "primary_rate_ch2"
    std::string label;  // readable name, e.g. "Primary Rate Ch2"
    std::string value;  // as shown, UTF-8 (e.g. "100", "MiniSEED lt", "52° N", "immediately")
};

// Every setting of the record: record settings, channels, GPS, aux channels, output windows
// (start, duration, repeat and interval only when ON) and the active record windows in order.
std::vector<NamedSetting> NamedSettings(const SetupRecord& record);

// "Label: a -> b" for every setting that differs; a setting that only one side has shows "-".
std::vector<std::string> SettingDifferences(const SetupRecord& a, const SetupRecord& b);

}  // namespace ksr::cli
