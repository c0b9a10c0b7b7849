#pragma once
// The settings kept in one number of the record each: their JSON key, readable name, the name
// errors give and their code table, written once for the setup file's reader, check, diff and
// JSON.

#include <array>
#include <string>
#include <string_view>

#include "setup/SetupRecord.h"

namespace ksr {

struct Setting {
    std::string_view json;   // "disk_mode"
    std::string_view label;  // "Disk Mode"
    std::string_view field;  // "DiskMode"
    int (*get)(const SetupRecord&);
    void (*set)(SetupRecord&, int);
    int codes;                       // the size of its code table; 0 for a plain number
    std::string (*text)(int value);  // the value as check, diff and JSON show it
};

// The numbers of ";;rec_mode" and of ";;gps_mode", in the file's order.
extern const std::array<Setting, 5> RecordSettings;
extern const std::array<Setting, 5> GpsSettings;

}  // namespace ksr
