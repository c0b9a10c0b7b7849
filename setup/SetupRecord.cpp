#include "setup/SetupRecord.h"

#include <algorithm>
#include <array>

#include "setup/Tables.h"

namespace ksr {

const Array1<std::string_view, AuxFlagCount> AuxChannelNames{
    {"Aux1", "Aux2", "Aux3", "Aux4", "TRec", "TDisk", "UBatt", "IBatt"}};
const Array1<std::string_view, OutputWindowCount> OutputWindowNames{{"CalOut", "TTLOut", "OPCOut"}};

namespace {

constexpr std::array<int OutputWindow::*, OutputWindowFieldCount> kOutputFields{
    &OutputWindow::OnOff,      &OutputWindow::StartDay,   &OutputWindow::StartMonth,
    &OutputWindow::StartYear,  &OutputWindow::StartHour,  &OutputWindow::StartMinute,
    &OutputWindow::DurDays,    &OutputWindow::DurHours,   &OutputWindow::DurMinutes,
    &OutputWindow::DurSeconds, &OutputWindow::Repeat,     &OutputWindow::IntDays,
    &OutputWindow::IntHours,   &OutputWindow::IntMinutes, &OutputWindow::SignalType,
    &OutputWindow::MilliVolt};

constexpr std::array<int RecWindow::*, RecWindowFieldCount> kRecFields{
    &RecWindow::WinType,    &RecWindow::StartDay,    &RecWindow::StartMonth, &RecWindow::StartYear,
    &RecWindow::StartHour,  &RecWindow::StartMinute, &RecWindow::DurDays,    &RecWindow::DurHours,
    &RecWindow::DurMinutes, &RecWindow::DurSeconds,  &RecWindow::Repeat,     &RecWindow::IntDays,
    &RecWindow::IntHours,   &RecWindow::IntMinutes};

constexpr std::array<const char*, OutputWindowFieldCount> kFieldNames{
    "OnOff",    "StartDay",   "StartMonth", "StartYear",  "StartHour", "StartMinute",
    "DurDays",  "DurHours",   "DurMinutes", "DurSeconds", "Repeat",    "IntDays",
    "IntHours", "IntMinutes", "SignalType", "MilliVolt"};

}  // namespace

int& OutputWindow::field(int i) {
    return this->*kOutputFields.at(static_cast<std::size_t>(i - 1));
}
int OutputWindow::field(int i) const {
    return this->*kOutputFields.at(static_cast<std::size_t>(i - 1));
}
const char* OutputWindow::fieldName(int i) {
    return kFieldNames.at(static_cast<std::size_t>(i - 1));
}

int& RecWindow::field(int i) {
    return this->*kRecFields.at(static_cast<std::size_t>(i - 1));
}
int RecWindow::field(int i) const {
    return this->*kRecFields.at(static_cast<std::size_t>(i - 1));
}
const char* RecWindow::fieldName(int i) {
    if (i == 1) return "WinType";
    return kFieldNames.at(static_cast<std::size_t>(i - 1));
}

void SetDefaults(SetupRecord& r) {
    r.SetupName = "noname";
    r.SetupSaved = 1;
    r.RecordParams[RecordMode] = code::Conti;
    r.RecordParams[DataType] = code::MiniSeedLittle;
    r.RecordParams[FileLength] = 60;
    r.RecordParams[DiskMode] = code::WriteOnce;
    for (int c = 1; c <= 3; ++c) r.PrimRateIndex[c] = 10;
    for (int c = 4; c <= ChannelCount; ++c) r.PrimRateIndex[c] = 1;
    for (int c = 1; c <= ChannelCount; ++c) {
        SetSecondaryRate(r, c, 1);
        r.GainIndex[c] = code::Gain1;
    }
    r.GpsParams[GpsMode] = code::GpsContinuous;
    r.GpsParams[GpsLat] = 0;
    r.GpsParams[GpsLon] = 0;
    r.GpsParams[ClockMode] = code::Lock2D3D;
    r.GpsParams[LogMode] = code::LogPllAbove10us;
    for (int& flag : r.AuxFlags) flag = code::Off;
    for (OutputWindow& w : r.OutputWindows) {
        for (int i = 1; i <= 15; ++i) w.field(i) = OutputWindowDefaults[i];
        w.StartYear = r.CurrentYear;
        w.DurSeconds = 10;
        w.IntDays = 1;
    }
    // MilliVolt is not part of the copied defaults; only the calibration output uses it.
    r.OutputWindows[CalOut].MilliVolt = CalOutDefaultMilliVolt;
    for (RecWindow& w : r.RecWindows) {
        for (int i = 1; i <= RecWindowFieldCount; ++i) w.field(i) = RecWindowDefaults[i];
        w.StartYear = r.CurrentYear;
        w.DurDays = 1;
        w.IntDays = 1;
        for (int& t : w.TriggerFields) t = 0;
    }
}

int LookUpSecondaryRate(int primRateIndex, int secRateIndex) {
    const auto& row = SecondaryRates.at(primRateIndex, "PrimRateIndex");
    return row.at(secRateIndex, "SecRateIndex");
}

void SetSecondaryRate(SetupRecord& r, int channel, int secRateIndex) {
    r.SecRateIndex[channel] = secRateIndex;
    r.SecRateValue[channel] = LookUpSecondaryRate(r.PrimRateIndex[channel], secRateIndex);
}

std::optional<GpsCycle> GpsCycleOf(const SetupRecord& r) {
    const int mode = r.GpsParams[GpsMode];
    if (mode == code::GpsContinuous || !GpsCycleHours.contains(mode)) return std::nullopt;
    const int every = GpsCycleHours[mode] * 3600;
    return GpsCycle{every, std::max(every / 12, 60)};
}

}  // namespace ksr
