#include "Summary.h"

#include "setup/SetupFile.h"
#include "setup/TableText.h"
#include "setup/TextFormat.h"

namespace ksr::cli {
namespace {

using fmt::Free;
using fmt::Width;
using fmt::Zeros;

std::string Span(int days, int hours, int minutes, int seconds) {
    return Free(days) + "d " + Zeros(hours, 2) + ":" + Zeros(minutes, 2) + ":" + Zeros(seconds, 2);
}

std::string Every(int repeat, int days, int hours, int minutes) {
    if (repeat != code::Yes) return "once";
    return "every " + Free(days) + "d " + Zeros(hours, 2) + ":" + Zeros(minutes, 2);
}

}  // namespace

std::vector<std::string> RateRuleChanges(const SetupRecord& before, const SetupRecord& after) {
    std::vector<std::string> changes;
    for (int c = 1; c <= ChannelCount; ++c)
        if (before.GainIndex[c] != after.GainIndex[c])
            changes.push_back("gain of channel " + Free(c) + " raised to " +
                              NameOf(GainNames, after.GainIndex[c]) + " (its gain group)");
    if (before.RecordParams[FileLength] != after.RecordParams[FileLength])
        changes.push_back("file length capped from " + Free(before.RecordParams[FileLength]) +
                          " to " + Free(after.RecordParams[FileLength]) + " min");
    if (before.RecordParams[MaxPcCycle] != after.RecordParams[MaxPcCycle])
        changes.push_back("max. PC cycle " + Free(before.RecordParams[MaxPcCycle]) + " -> " +
                          Free(after.RecordParams[MaxPcCycle]) + " min");
    return changes;
}

std::string Summary(const SetupRecord& r) {
    std::string s;
    auto line = [&](const std::string& text) { s += fmt::Latin1ToUtf8(text) + "\n"; };
    line("Set-up:         " + r.SetupName.str() + "   (" + r.SetupDate + " " + r.SetupTime + ")");
    line("Channel  prim [sps]  sec [sps]  gain");
    for (int c = 1; c <= ChannelCount; ++c) {
        const int prim =
            PrimaryRates.contains(r.PrimRateIndex[c]) ? PrimaryRates[r.PrimRateIndex[c]] : -1;
        line(Width(c, 7) + Width(prim, 12) + Width(r.SecRateValue[c], 11) + "  " +
             NameOf(GainNames, r.GainIndex[c]) + (prim == 0 ? "   (off)" : ""));
    }
    line("Record mode:    " + NameOf(RecordModeNames, r.RecordParams[RecordMode]));
    line("Data type:      " + NameOf(DataTypeNames, r.RecordParams[DataType]));
    line("File length:    " + Free(r.RecordParams[FileLength]) + " min");
    line("Disk mode:      " + NameOf(DiskModeNames, r.RecordParams[DiskMode]));
    line("Max. PC cycle:  " + Free(r.RecordParams[MaxPcCycle]) + " min");
    line("GPS:            " + NameOf(GpsModeNames, r.GpsParams[GpsMode]) + ", position " +
         PositionText(r.GpsParams[GpsLat], 'S', 'N') + " " +
         PositionText(r.GpsParams[GpsLon], 'W', 'E') + ", " +
         NameOf(ClockModeNames, r.GpsParams[ClockMode]) + ", log " +
         NameOf(LogModeNames, r.GpsParams[LogMode]));
    std::string aux;
    for (int i = 1; i <= AuxFlagCount; ++i)
        if (r.AuxFlags[i] == code::On)
            aux += (aux.empty() ? "" : " ") + std::string(AuxChannelNames[i]);
    line("Aux channels:   " + (aux.empty() ? std::string("none") : aux));

    line("Output windows:");
    bool anyOutput = false;
    for (int id = 1; id <= OutputWindowCount; ++id) {
        const OutputWindow& w = r.OutputWindows[id];
        if (w.OnOff != code::On) continue;
        anyOutput = true;
        std::string text =
            "  " + std::string(OutputWindowNames[id]) + "  from " +
            WindowStartText(w.StartDay, w.StartMonth, w.StartYear, w.StartHour, w.StartMinute) +
            " for " + Span(w.DurDays, w.DurHours, w.DurMinutes, w.DurSeconds) + ", " +
            Every(w.Repeat, w.IntDays, w.IntHours, w.IntMinutes);
        if (id == CalOut)
            text += ", " + NameOf(SignalTypeNames, w.SignalType) + " " + Free(w.MilliVolt) + " mV";
        line(text);
    }
    if (!anyOutput) line("  none");

    line(std::string("Record windows:") +
         (r.RecordParams[RecordMode] == code::Conti ? " (not used: continuous recording)" : ""));
    bool anyWindow = false;
    for (int n = 1; n <= RecWindowCapacity; ++n) {
        const RecWindow& w = r.RecWindows[n];
        if (!w.active()) continue;
        anyWindow = true;
        std::string text =
            "  " + Width(n, 2) + "  " + NameOf(WindowTypeNames, w.WinType) + "  from " +
            WindowStartText(w.StartDay, w.StartMonth, w.StartYear, w.StartHour, w.StartMinute);
        if (w.WinType != code::WinConti)
            text += " for " + Span(w.DurDays, w.DurHours, w.DurMinutes, w.DurSeconds) + ", " +
                    Every(w.Repeat, w.IntDays, w.IntHours, w.IntMinutes);
        line(text);
    }
    if (!anyWindow) line("  none");
    return s;
}

}  // namespace ksr::cli
