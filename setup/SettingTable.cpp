#include "setup/SettingTable.h"

#include "setup/SetupFile.h"
#include "setup/TableText.h"
#include "setup/Tables.h"

namespace ksr {
namespace {

using fmt::Free;

std::string Number(int value) {
    return Free(value);
}

std::string GpsModeText(int mode) {
    if (mode == code::GpsContinuous) return "GPS CONTI";
    return GpsCycleHours.contains(mode) ? "CYCLE " + Free(GpsCycleHours[mode]) + " h" : Free(mode);
}

template <int Index>
int RecordGet(const SetupRecord& r) {
    return r.RecordParams[Index];
}
template <int Index>
void RecordSet(SetupRecord& r, int value) {
    r.RecordParams[Index] = value;
}
template <int Index>
int GpsGet(const SetupRecord& r) {
    return r.GpsParams[Index];
}
template <int Index>
void GpsSet(SetupRecord& r, int value) {
    r.GpsParams[Index] = value;
}

}  // namespace

const std::array<Setting, 5> RecordSettings{{
    {"record_mode", "Record Mode", "RecordMode", RecordGet<RecordMode>, RecordSet<RecordMode>,
     static_cast<int>(RecordModeNames.size()), [](int v) { return NameOf(RecordModeNames, v); }},
    {"data_type", "Data Type", "DataType", RecordGet<DataType>, RecordSet<DataType>,
     static_cast<int>(DataTypeNames.size()), [](int v) { return NameOf(DataTypeNames, v); }},
    {"file_length_min", "File Length [min]", "FileLength", RecordGet<FileLength>,
     RecordSet<FileLength>, 0, Number},
    {"disk_mode", "Disk Mode", "DiskMode", RecordGet<DiskMode>, RecordSet<DiskMode>,
     static_cast<int>(DiskModeNames.size()), [](int v) { return NameOf(DiskModeNames, v); }},
    {"max_pc_cycle_min", "Max. PC Cycle [min]", "MaxPcCycle", RecordGet<MaxPcCycle>,
     RecordSet<MaxPcCycle>, 0, Number},
}};

const std::array<Setting, 5> GpsSettings{{
    {"gps_mode", "GPS Mode", "GpsMode", GpsGet<GpsMode>, GpsSet<GpsMode>,
     static_cast<int>(GpsModeNames.size()), GpsModeText},
    {"gps_latitude", "GPS Latitude", "GpsLat", GpsGet<GpsLat>, GpsSet<GpsLat>, 0,
     [](int v) { return PositionText(v, 'S', 'N'); }},
    {"gps_longitude", "GPS Longitude", "GpsLon", GpsGet<GpsLon>, GpsSet<GpsLon>, 0,
     [](int v) { return PositionText(v, 'W', 'E'); }},
    {"clock_mode", "Clock Mode", "ClockMode", GpsGet<ClockMode>, GpsSet<ClockMode>,
     static_cast<int>(ClockModeNames.size()), [](int v) { return NameOf(ClockModeNames, v); }},
    {"log_mode", "Log Mode", "LogMode", GpsGet<LogMode>, GpsSet<LogMode>,
     static_cast<int>(LogModeNames.size()), [](int v) { return NameOf(LogModeNames, v); }},
}};

}  // namespace ksr
