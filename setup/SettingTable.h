#pragma once
// One row per setting the setup file stores as a number: its JSON name, readable name, the name
// errors give, the ";;" line that carries it, its code table and how it is read, written and
// shown. The setup file's reader and writer, recorder.ini's labels, check, diff, JSON and `set`
// all read these rows.

#include <functional>
#include <string>
#include <vector>

#include "setup/SetupRecord.h"

namespace ksr {

// The line of the setup file's numbers that carries a setting, in the file's order.
enum class NumbersLine { RecMode, SRates, GpsMode, AuxMode };

struct Setting {
    std::string json;   // "disk_mode", "primary_rate_ch2"
    std::string label;  // "Disk Mode", "Primary Rate Ch2"
    std::string field;  // "DiskMode", "PrimRateIndex[2]"
    NumbersLine line;
    int codes = 0;  // the size of its code table; 0 for a plain number
    std::function<int(const SetupRecord&)> get;   // the number the file holds
    std::function<void(SetupRecord&, int)> set;   // from that number
    // A number as check, diff and JSON show it (Latin-1); empty where the text depends on
    // another setting (the secondary rate, whose row is its channel's primary rate).
    std::function<std::string(int)> codeText;
    // The setting's value in the record as shown.
    std::function<std::string(const SetupRecord&)> shown;
};

// Every row, in the order of the file's numbers: record, channels (primary rate, secondary rate,
// gain), GPS, aux channels.
const std::vector<Setting>& Settings();

// The row of a JSON name; nullptr for none.
const Setting* FindSetting(const std::string& json);

}  // namespace ksr
