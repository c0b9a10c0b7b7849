#pragma once
// The constant value tables: every coded setting's text and every rate and length number.
// They are the single source of these texts and numbers for the whole program.

#include <string>
#include <string_view>

#include "setup/Array1.h"

namespace ksr {

extern const Array1<std::string_view, 2> OffOnNames;
extern const Array1<std::string_view, 2> RecordModeNames;
extern const Array1<std::string_view, 4> DataTypeNames;
extern const Array1<std::string_view, 2> DiskModeNames;
extern const Array1<std::string_view, 3> GainNames;
extern const Array1<std::string_view, 8> GpsModeNames;
extern const Array1<int, 8> GpsCycleHours;
// A GPS mode as the setup file and the command line write it: "GPS CONTI", or "CYCLE " and the
// cycle's hours right-aligned in `hoursWidth` characters and " h". Throws RangeError for a mode
// outside the table.
std::string GpsModeText(int mode, int hoursWidth);
extern const Array1<std::string_view, 2> ClockModeNames;
extern const Array1<std::string_view, 4> LogModeNames;
extern const Array1<std::string_view, 12> MonthNames;
extern const Array1<std::string_view, 5> WindowTypeNames;
extern const Array1<std::string_view, 2> NoYesNames;
extern const Array1<std::string_view, 3> SignalTypeNames;

inline constexpr int RateCount = 20;
inline constexpr int SecondaryColumns = 9;

extern const Array1<int, RateCount> PrimaryRates;
extern const Array1<Array1<int, SecondaryColumns>, RateCount> SecondaryRates;
extern const Array1<int, RateCount> SecondaryRateCount;
extern const Array1<int, RateCount> MaxFileLength;

inline constexpr int OutputWindowFieldCount = 16;
inline constexpr int RecWindowFieldCount = 14;
extern const Array1<int, 15> OutputWindowDefaults;
extern const Array1<int, RecWindowFieldCount> RecWindowDefaults;

// The editor's window-type selector cycles through 2..WindowTypeMax; TRIGGER is never offered.
inline constexpr int WindowTypeMax = 4;
inline constexpr int CalOutDefaultMilliVolt = 10000;

// Codes of the coded settings (all 1-based).
namespace code {
inline constexpr int Off = 1, On = 2;
inline constexpr int No = 1, Yes = 2;
inline constexpr int Conti = 1, Timed = 2;  // RecordMode
inline constexpr int MiniSeedLittle = 1, Ascii = 2, Legacy = 3, MiniSeedBig = 4;
inline constexpr int WriteOnce = 1, RingBuffer = 2;
inline constexpr int Gain1 = 1, Gain10 = 2, Gain04 = 3;
inline constexpr int GpsContinuous = 1;
inline constexpr int Lock2D3D = 1, LockOneSatellite = 2;
inline constexpr int LogGpsString = 1, LogPllData = 2, LogPllChange = 3, LogPllAbove10us = 4;
inline constexpr int WinOff = 1, WinConti = 2, WinPowerOn = 3, WinBurst = 4, WinTrigger = 5;
inline constexpr int Step = 1, Sine = 2, Sweep = 3;
}  // namespace code

}  // namespace ksr
