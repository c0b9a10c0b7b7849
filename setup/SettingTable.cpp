#include "setup/SettingTable.h"

#include "setup/SetupFile.h"
#include "setup/TableText.h"
#include "setup/Tables.h"

namespace ksr {
namespace {

using fmt::Free;

// A row for one number of one of the record's lists.
template <class List>
Setting Row(std::string json, std::string label, std::string field, NumbersLine line,
            List SetupRecord::*list, int index, int codes, std::function<std::string(int)> text) {
    Setting s{std::move(json),
              std::move(label),
              std::move(field),
              line,
              codes,
              [list, index](const SetupRecord& r) { return (r.*list)[index]; },
              [list, index](SetupRecord& r, int value) { (r.*list)[index] = value; },
              text,
              nullptr};
    if (text) s.shown = [get = s.get, text](const SetupRecord& r) { return text(get(r)); };
    return s;
}

template <class Table>
std::function<std::string(int)> Names(const Table& table) {
    return [&table](int code) { return NameOf(table, code); };
}

std::vector<Setting> MakeSettings() {
    using L = NumbersLine;
    const auto number = [](int v) { return Free(v); };
    std::vector<Setting> rows;
    const auto record = [&](const char* json, const char* label, const char* field, int index,
                            int codes, std::function<std::string(int)> text) {
        rows.push_back(Row(json, label, field, L::RecMode, &SetupRecord::RecordParams, index, codes,
                           std::move(text)));
    };
    record("record_mode", "Record Mode", "RecordMode", RecordMode, RecordModeNames.size(),
           Names(RecordModeNames));
    record("data_type", "Data Type", "DataType", DataType, DataTypeNames.size(),
           Names(DataTypeNames));
    record("file_length_min", "File Length [min]", "FileLength", FileLength, 0, number);
    record("disk_mode", "Disk Mode", "DiskMode", DiskMode, DiskModeNames.size(),
           Names(DiskModeNames));
    record("max_pc_cycle_min", "Max. PC Cycle [min]", "MaxPcCycle", MaxPcCycle, 0, number);

    for (int c = 1; c <= ChannelCount; ++c) {
        const std::string ch = Free(c), index = "[" + ch + "]";
        rows.push_back(Row("primary_rate_ch" + ch, "Primary Rate Ch" + ch, "PrimRateIndex" + index,
                           L::SRates, &SetupRecord::PrimRateIndex, c, RateCount, [](int i) {
                               return PrimaryRates.contains(i) ? Free(PrimaryRates[i]) : Free(i);
                           }));
        Setting secondary =
            Row("secondary_rate_ch" + ch, "Secondary Rate Ch" + ch, "SecRateIndex" + index,
                L::SRates, &SetupRecord::SecRateIndex, c, SecondaryColumns, nullptr);
        secondary.set = [c](SetupRecord& r, int i) { SetSecondaryRate(r, c, i); };
        secondary.shown = [c](const SetupRecord& r) { return Free(r.SecRateValue[c]); };
        rows.push_back(std::move(secondary));
        rows.push_back(Row("gain_ch" + ch, "Gain Ch" + ch, "GainIndex" + index, L::SRates,
                           &SetupRecord::GainIndex, c, GainNames.size(), Names(GainNames)));
    }

    const auto gps = [&](const char* json, const char* label, const char* field, int index,
                         int codes, std::function<std::string(int)> text) {
        rows.push_back(Row(json, label, field, L::GpsMode, &SetupRecord::GpsParams, index, codes,
                           std::move(text)));
    };
    gps("gps_mode", "GPS Mode", "GpsMode", GpsMode, GpsModeNames.size(),
        [](int mode) { return GpsCycleHours.contains(mode) ? GpsModeText(mode, 1) : Free(mode); });
    gps("gps_latitude", "GPS Latitude", "GpsLat", GpsLat, 0,
        [](int v) { return PositionText(v, 'S', 'N'); });
    gps("gps_longitude", "GPS Longitude", "GpsLon", GpsLon, 0,
        [](int v) { return PositionText(v, 'W', 'E'); });
    gps("clock_mode", "Clock Mode", "ClockMode", ClockMode, ClockModeNames.size(),
        Names(ClockModeNames));
    gps("log_mode", "Log Mode", "LogMode", LogMode, LogModeNames.size(), Names(LogModeNames));

    for (int i = 1; i <= AuxFlagCount; ++i) {
        const std::string name(AuxChannelNames[i]);
        rows.push_back(Row(fmt::LowerAscii(name), name, name, L::AuxMode, &SetupRecord::AuxFlags, i,
                           OffOnNames.size(), Names(OffOnNames)));
    }
    return rows;
}

}  // namespace

const std::vector<Setting>& Settings() {
    static const std::vector<Setting> rows = MakeSettings();
    return rows;
}

const Setting* FindSetting(const std::string& json) {
    for (const Setting& s : Settings())
        if (s.json == json) return &s;
    return nullptr;
}

}  // namespace ksr
