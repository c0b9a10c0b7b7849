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
    auto addSetting = [&](const Setting& d) {
        add(std::string(d.json), std::string(d.label), d.text(d.get(r)));
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
    for (const Setting& d : RecordSettings) addSetting(d);
    for (int c = 1; c <= ChannelCount; ++c) {
        const std::string ch = Free(c);
        add("primary_rate_ch" + ch, "Primary Rate Ch" + ch,
            PrimaryRates.contains(r.PrimRateIndex[c]) ? Free(PrimaryRates[r.PrimRateIndex[c]])
                                                      : Free(r.PrimRateIndex[c]));
        add("secondary_rate_ch" + ch, "Secondary Rate Ch" + ch, Free(r.SecRateValue[c]));
        add("gain_ch" + ch, "Gain Ch" + ch, NameOf(GainNames, r.GainIndex[c]));
    }
    for (const Setting& d : GpsSettings) addSetting(d);
    static const char* const kAux[] = {"aux1", "aux2",  "aux3",  "aux4",
                                       "trec", "tdisk", "ubatt", "ibatt"};
    for (int i = 1; i <= AuxFlagCount; ++i)
        add(kAux[i - 1], std::string(AuxChannelNames[i]), NameOf(OffOnNames, r.AuxFlags[i]));
    static const char* const kOut[] = {"calout", "ttlout", "opcout"};
    for (int id = 1; id <= OutputWindowCount; ++id) {
        const OutputWindow& w = r.OutputWindows[id];
        const std::string key = kOut[id - 1], label(OutputWindowNames[id]);
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
        if (w.WinType <= code::WinOff) continue;
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
