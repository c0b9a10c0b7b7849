#include "setup/Tables.h"

#include "setup/TextFormat.h"

namespace ksr {

// Texts are exact, trailing blanks included; the setup file writes them unchanged.
// The only bytes above 127 are 0xB5 (micro sign) here and 0xB0 (degree sign) in the file writer.
const Array1<std::string_view, 2> OffOnNames{{"OFF", "ON "}};
const Array1<std::string_view, 2> RecordModeNames{{"CONTI ", "TIMED "}};
const Array1<std::string_view, 4> DataTypeNames{
    {"MiniSEED lt", "ASCII      ", "Legacy     ", "MiniSeed bg"}};
const Array1<std::string_view, 2> DiskModeNames{{"WRITE ONCE ", "RING BUFF."}};
const Array1<std::string_view, 3> GainNames{{"  1", " 10", "0.4"}};
const Array1<std::string_view, 8> GpsModeNames{{"CONTI ", "CYCLE  1 h", "CYCLE  2 h", "CYCLE  4 h",
                                                "CYCLE  6 h", "CYCLE  8 h", "CYCLE  12 h",
                                                "CYCLE  24 h"}};
const Array1<int, 8> GpsCycleHours{{0, 1, 2, 4, 6, 8, 12, 24}};

std::string GpsModeText(int mode, int hoursWidth) {
    const int hours = GpsCycleHours.at(mode, "GpsMode");
    return mode == code::GpsContinuous ? "GPS CONTI"
                                       : "CYCLE " + fmt::Width(hours, hoursWidth) + " h";
}
const Array1<std::string_view, 2> ClockModeNames{{"2D/3D Lock", "1-Sat Lock"}};
const Array1<std::string_view, 4> LogModeNames{
    {"GPS string", "PLL data  ", "PLL change", "PLL > 10 \xB5s"}};
const Array1<std::string_view, 12> MonthNames{
    {"JAN", "FEB", "MAR", "APR", "MAY", "JUN", "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"}};
const Array1<std::string_view, 5> WindowTypeNames{
    {"Off    ", "CONTI  ", "PowerON", "BURST  ", "TRIGGER"}};
const Array1<std::string_view, 2> NoYesNames{{"NO ", "YES"}};
const Array1<std::string_view, 3> SignalTypeNames{{"STEP ", "SIN  ", "SWEEP"}};

const Array1<int, RateCount> PrimaryRates{
    {0, 1, 2, 5, 10, 20, 25, 50, 75, 100, 125, 150, 200, 250, 300, 500, 600, 750, 1000, 3000}};

// Row 3 is kept exactly as the recorder defines it (nine entries up to 200).
const Array1<Array1<int, SecondaryColumns>, RateCount> SecondaryRates{{{
    {{0, 0, 0, 0, 0, 0, 0, 0, 0}},
    {{0, 0, 0, 0, 0, 0, 0, 0, 0}},
    {{0, 1, 2, 5, 10, 20, 50, 100, 200}},
    {{0, 0, 0, 0, 0, 0, 0, 0, 0}},
    {{0, 0, 0, 0, 0, 0, 0, 0, 0}},
    {{0, 0, 0, 0, 0, 0, 0, 0, 0}},
    {{0, 1, 5, 0, 0, 0, 0, 0, 0}},
    {{0, 1, 2, 5, 10, 25, 0, 0, 0}},
    {{0, 0, 0, 0, 0, 0, 0, 0, 0}},
    {{0, 1, 2, 4, 5, 10, 20, 25, 50}},
    {{0, 25, 0, 0, 0, 0, 0, 0, 0}},
    {{0, 75, 0, 0, 0, 0, 0, 0, 0}},
    {{0, 2, 4, 10, 20, 40, 50, 100, 0}},
    {{0, 5, 10, 25, 50, 125, 0, 0, 0}},
    {{0, 75, 150, 0, 0, 0, 0, 0, 0}},
    {{0, 5, 10, 20, 25, 50, 100, 125, 250}},
    {{0, 120, 150, 300, 0, 0, 0, 0, 0}},
    {{0, 75, 150, 375, 0, 0, 0, 0, 0}},
    {{0, 10, 20, 40, 50, 100, 200, 250, 500}},
    {{0, 300, 600, 750, 0, 0, 0, 0, 0}},
}}};

const Array1<int, RateCount> SecondaryRateCount{
    {1, 1, 9, 1, 1, 1, 3, 6, 1, 9, 2, 2, 8, 6, 3, 9, 4, 4, 9, 4}};

const Array1<int, RateCount> MaxFileLength{{1440, 1440, 1440, 1440, 1440, 1440, 1200,
                                            600,  400,  300,  240,  200,  150,  120,
                                            100,  60,   30,   30,   30,   10}};

const Array1<int, 15> OutputWindowDefaults{{1, 1, 1, 2013, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 1}};
const Array1<int, RecWindowFieldCount> RecWindowDefaults{
    {1, 1, 1, 2005, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0}};

}  // namespace ksr
