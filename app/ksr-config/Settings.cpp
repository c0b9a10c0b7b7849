#include "Settings.h"

#include <map>

#include "setup/SettingTable.h"
#include "setup/SetupFile.h"
#include "setup/TableText.h"
#include "setup/TextFormat.h"

namespace ksr::cli {

using fmt::Free;

std::vector<NamedSetting> NamedSettings(const SetupRecord& r) {
    std::vector<NamedSetting> s;
    // Values are shown in the tables' Latin-1; the output is UTF-8.
    auto add = [&](const std::string& key, const std::string& label, const std::string& value) {
        s.push_back({key, label, fmt::Latin1ToUtf8(value)});
    };
    // A window's start, and unless it runs on without end its duration, repeat and interval.
    auto addTimes = [&](const std::string& key, const std::string& label, const auto& w,
                        bool ends) {
        add(key + "_start", label + " Start",
            WindowStartText(w.StartDay, w.StartMonth, w.StartYear, w.StartHour, w.StartMinute));
        if (!ends) return;
        add(key + "_duration", label + " Duration",
            DurationText(w.DurDays, w.DurHours, w.DurMinutes, w.DurSeconds));
        add(key + "_repeat", label + " Repeat", NameOf(NoYesNames, w.Repeat));
        add(key + "_interval", label + " Interval",
            IntervalText(w.IntDays, w.IntHours, w.IntMinutes));
    };
    for (const Setting& d : Settings()) add(d.json, d.label, d.shown(r));
    for (int id = 1; id <= OutputWindowCount; ++id) {
        const OutputWindow& w = r.OutputWindows[id];
        const std::string label(OutputWindowNames[id]), key = fmt::LowerAscii(label);
        add(key, label, NameOf(OffOnNames, w.OnOff));
        if (w.OnOff == code::Off) continue;
        addTimes(key, label, w, true);
        if (id == CalOut) {
            add(key + "_signal", label + " Signal", NameOf(SignalTypeNames, w.SignalType));
            add(key + "_millivolt", label + " mVolt", Free(w.MilliVolt));
        }
    }
    int n = 0;
    for (const RecWindow& w : r.RecWindows) {
        if (!w.active()) continue;
        const std::string key = "window" + Free(++n), label = "Window " + Free(n);
        add(key + "_type", label + " Type", NameOf(WindowTypeNames, w.WinType));
        addTimes(key, label, w, w.WinType != code::WinConti);
    }
    return s;
}

std::vector<std::string> SettingDifferences(const SetupRecord& a, const SetupRecord& b) {
    const auto left = NamedSettings(a), right = NamedSettings(b);
    std::map<std::string, const NamedSetting*> rightByKey;
    for (const auto& s : right) rightByKey[s.key] = &s;
    std::vector<std::string> out;
    std::map<std::string, bool> seen;
    for (const auto& s : left) {
        seen[s.key] = true;
        const auto it = rightByKey.find(s.key);
        const std::string other = it == rightByKey.end() ? "-" : it->second->value;
        if (other != s.value) out.push_back(s.label + ": " + s.value + " -> " + other);
    }
    for (const auto& s : right)
        if (!seen.count(s.key)) out.push_back(s.label + ": - -> " + s.value);
    return out;
}

}  // namespace ksr::cli
