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

// Reading and writing one number of one of the record's parameter lists.
template <auto List, int Index>
int Get(const SetupRecord& r) {
    return (r.*List)[Index];
}
template <auto List, int Index>
void Set(SetupRecord& r, int value) {
    (r.*List)[Index] = value;
}

}  // namespace

const std::array<Setting, 5> RecordSettings{{
    {"record_mode", "Record Mode", "RecordMode", Get<&SetupRecord::RecordParams, RecordMode>,
     Set<&SetupRecord::RecordParams, RecordMode>, static_cast<int>(RecordModeNames.size()),
     [](int v) { return NameOf(RecordModeNames, v); }},
    {"data_type", "Data Type", "DataType", Get<&SetupRecord::RecordParams, DataType>,
     Set<&SetupRecord::RecordParams, DataType>, static_cast<int>(DataTypeNames.size()),
     [](int v) { return NameOf(DataTypeNames, v); }},
    {"file_length_min", "File Length [min]", "FileLength",
     Get<&SetupRecord::RecordParams, FileLength>, Set<&SetupRecord::RecordParams, FileLength>, 0,
     Number},
    {"disk_mode", "Disk Mode", "DiskMode", Get<&SetupRecord::RecordParams, DiskMode>,
     Set<&SetupRecord::RecordParams, DiskMode>, static_cast<int>(DiskModeNames.size()),
     [](int v) { return NameOf(DiskModeNames, v); }},
    {"max_pc_cycle_min", "Max. PC Cycle [min]", "MaxPcCycle",
     Get<&SetupRecord::RecordParams, MaxPcCycle>, Set<&SetupRecord::RecordParams, MaxPcCycle>, 0,
     Number},
}};

const std::array<Setting, 5> GpsSettings{{
    {"gps_mode", "GPS Mode", "GpsMode", Get<&SetupRecord::GpsParams, GpsMode>,
     Set<&SetupRecord::GpsParams, GpsMode>, static_cast<int>(GpsModeNames.size()), GpsModeText},
    {"gps_latitude", "GPS Latitude", "GpsLat", Get<&SetupRecord::GpsParams, GpsLat>,
     Set<&SetupRecord::GpsParams, GpsLat>, 0, [](int v) { return PositionText(v, 'S', 'N'); }},
    {"gps_longitude", "GPS Longitude", "GpsLon", Get<&SetupRecord::GpsParams, GpsLon>,
     Set<&SetupRecord::GpsParams, GpsLon>, 0, [](int v) { return PositionText(v, 'W', 'E'); }},
    {"clock_mode", "Clock Mode", "ClockMode", Get<&SetupRecord::GpsParams, ClockMode>,
     Set<&SetupRecord::GpsParams, ClockMode>, static_cast<int>(ClockModeNames.size()),
     [](int v) { return NameOf(ClockModeNames, v); }},
    {"log_mode", "Log Mode", "LogMode", Get<&SetupRecord::GpsParams, LogMode>,
     Set<&SetupRecord::GpsParams, LogMode>, static_cast<int>(LogModeNames.size()),
     [](int v) { return NameOf(LogModeNames, v); }},
}};

}  // namespace ksr
