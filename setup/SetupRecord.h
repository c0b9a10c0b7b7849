#pragma once
// The setup record: every setting of one recorder set-up. The program holds one instance and
// hands it by reference to the editors, the setup file, the rate rules and the builder.

#include <cstdint>
#include <optional>
#include <string>

#include "setup/Array1.h"
#include "setup/ShortText.h"
#include "setup/Tables.h"

namespace ksr {

inline constexpr int ChannelCount = 6;
inline constexpr int OutputWindowCount = 3;
inline constexpr int RecWindowCapacity = 96;
inline constexpr int AuxFlagCount = 8;

// Positions in RecordParams.
enum RecordParam : int { RecordMode = 1, DataType, FileLength, DiskMode, MaxPcCycle };
// Positions in GpsParams.
enum GpsParam : int { GpsMode = 1, GpsLat, GpsLon, ClockMode, LogMode };
// Positions in AuxFlags.
enum AuxChannel : int { Aux1 = 1, Aux2, Aux3, Aux4, TRec, TDisk, UBatt, IBatt };
// Positions in OutputWindows.
enum OutputWindowId : int { CalOut = 1, TTLOut, OPCOut };

extern const Array1<std::string_view, AuxFlagCount> AuxChannelNames;
extern const Array1<std::string_view, OutputWindowCount> OutputWindowNames;

struct OutputWindow {
    int OnOff = 0, StartDay = 0, StartMonth = 0, StartYear = 0, StartHour = 0, StartMinute = 0;
    int DurDays = 0, DurHours = 0, DurMinutes = 0, DurSeconds = 0;
    int Repeat = 0, IntDays = 0, IntHours = 0, IntMinutes = 0;
    int SignalType = 0, MilliVolt = 0;

    // Field i (1..16) in the stored order.
    int& field(int i);
    int field(int i) const;
    static const char* fieldName(int i);

    friend bool operator==(const OutputWindow&, const OutputWindow&) = default;
};

struct RecWindow {
    int WinType = 0, StartDay = 0, StartMonth = 0, StartYear = 0, StartHour = 0, StartMinute = 0;
    int DurDays = 0, DurHours = 0, DurMinutes = 0, DurSeconds = 0;
    int Repeat = 0, IntDays = 0, IntHours = 0, IntMinutes = 0;
    // Carried in the record only: no editor, file or recorder.ini reads or writes them.
    Array1<int, 10> TriggerFields{};

    // A window of a kind that records (above Off): the file's numbers, the summary and the
    // settings list hold only these.
    bool active() const { return WinType > code::WinOff; }

    // Field i (1..14) in the stored order.
    int& field(int i);
    int field(int i) const;
    static const char* fieldName(int i);

    friend bool operator==(const RecWindow&, const RecWindow&) = default;
};

struct SetupRecord {
    std::uint8_t SetupSaved = 1;
    ShortText<8> SetupName{"noname"};
    std::uint16_t CurrentYear = 0;
    std::string SetupDate;
    std::string SetupTime;
    Array1<int, 5> RecordParams{};
    Array1<int, ChannelCount> PrimRateIndex{};
    Array1<int, ChannelCount> SecRateIndex{};
    Array1<int, ChannelCount> GainIndex{};
    Array1<int, 5> GpsParams{};
    Array1<int, AuxFlagCount> AuxFlags{};
    Array1<OutputWindow, OutputWindowCount> OutputWindows{};
    Array1<RecWindow, RecWindowCapacity> RecWindows{};
    Array1<int, ChannelCount> SecRateValue{};

    friend bool operator==(const SetupRecord&, const SetupRecord&) = default;
};

// Overwrites every field that has a default; SetupDate, SetupTime, CurrentYear and MaxPcCycle
// keep their values. Windows start on 1 January of CurrentYear.
void SetDefaults(SetupRecord& record);

// The secondary rate of a channel, looked up in the row of its own primary-rate index.
// Throws RangeError for indexes outside the tables.
int LookUpSecondaryRate(int primRateIndex, int secRateIndex);
// A channel's secondary rate by its column of the primary rate's row: the index and the rate it
// gives (`SecRateValue` follows from the two indexes and is set nowhere else).
void SetSecondaryRate(SetupRecord& record, int channel, int secRateIndex);

// Cycled GPS: on for `onSeconds` every `everySeconds` (a twelfth of the cycle, at least a
// minute). Continuous GPS, or a mode outside the table, has none.
struct GpsCycle {
    int everySeconds = 0;
    int onSeconds = 0;
};
std::optional<GpsCycle> GpsCycleOf(const SetupRecord& record);

}  // namespace ksr
