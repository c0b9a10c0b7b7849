#pragma once
// The setup file: a readable report of the set-up followed by the same settings as plain
// numbers after a ";;params" line, which alone is read back. Also the hand-over file
// SHORTTMP.DAT that passes the lowest-temperature setting to the recorder.ini builder.

#include <filesystem>
#include <string>

#include "setup/SetupRecord.h"

namespace ksr {

inline constexpr const char* ShortTmpFileName = "SHORTTMP.DAT";
inline constexpr const char* ShortTmpSecondLine =
    "Value above sets Minutes to shorten the PC cycle of the KSR";
inline constexpr std::size_t SetupFileNameCapacity = 12;

// The file's bytes for the record. Upper-cases the letters of SetupName in the record first.
// Throws RangeError for a code outside its table.
std::string FormatSetupFile(SetupRecord& record);

// Writes the record to `path`, replacing the whole file; on any error the old file is kept.
// Upper-cases the letters of SetupName in the record once the file is written (a failed write
// leaves the record as it was). Errors name the file, and the line for a code out of range.
void WriteSetupFile(SetupRecord& record, const std::filesystem::path& path);

// Saves a set-up as the window does: the setup file and SHORTTMP.DAT beside it with the given
// text, both or neither, under the folder's lock. The record changes as with WriteSetupFile.
void SaveSetupFiles(SetupRecord& record, const std::filesystem::path& setupFile,
                    const std::string& shortTmpText);

// Reads a setup file into the record. All or nothing: on any error (IoError,
// InvalidNumberError, RangeError, FormatError, each naming file and line) the record is left as
// it was. Windows after the last one in the file, the trigger fields and SetupSaved keep their
// previous contents.
void ReadSetupFile(SetupRecord& record, const std::filesystem::path& path);

// Parses setup-file bytes into the record, all or nothing; `fileName` is used in errors.
void ParseSetupFile(SetupRecord& record, const std::string& bytes, const std::string& fileName);

// SHORTTMP.DAT's bytes: the text, then the explanatory line.
std::string ShortTmpBytes(const std::string& text);

// Creates or replaces SHORTTMP.DAT in `directory`: the text, then the explanatory line.
void WriteShortTmp(const std::string& text, const std::filesystem::path& directory = ".");

// The lowest-temperature setting (whole degrees Celsius): -30 to -10 in steps of 5.
inline constexpr int LowestTemperatureMin = -30;
inline constexpr int LowestTemperatureMax = -10;
inline constexpr int LowestTemperatureStep = 5;
inline constexpr int LowestTemperatureDefault = -10;
inline constexpr const char* LowestTemperatureChoices = "-30, -25, -20, -15 or -10";
constexpr bool IsLowestTemperature(int degrees) {
    return degrees >= LowestTemperatureMin && degrees <= LowestTemperatureMax &&
           (degrees - LowestTemperatureMin) % LowestTemperatureStep == 0;
}
// The lowest-temperature setting as SHORTTMP.DAT's first line: the number, at least 2 wide.
std::string LowestTemperatureText(int degrees);

// A window's start as a line of text shows it: "05-DEC-2026 03:00", or "immediately" for day 0
// (a month outside the table as its number).
std::string WindowStartText(int day, int month, int year, int hour, int minute);
// A window's duration, "ddd:hh:mm:ss", and its interval, "dd:hh:mm", as the report shows them.
std::string DurationText(int days, int hours, int minutes, int seconds);
std::string IntervalText(int days, int hours, int minutes);

// A GPS position as the setup file's report shows it: "-33° S", "130° E" (Latin-1 degree sign).
std::string PositionText(int degrees, char negative, char positive);

// The set-up name an opened file gives: the base name's last 12 characters, without the last 4
// (the ".set"), of which the first 8 are kept. A base name of up to 8 characters is taken whole.
std::string SetupNameFromPath(const std::string& path);

// What a typed set-up name keeps: the ASCII letters and digits of its first 8 characters
// (possibly nothing).
std::string SetupNameCharacters(const std::string& typed);

// The set-up name a build gives a file, as the window takes it on opening the file: the name
// from the path, a..z in capitals as the writer writes it. Throws KsrError, naming the file, for
// a name part that holds a control byte or a byte above 127 (recorder.ini cannot carry them), and
// for one that gives no name or "." or "..".
std::string SetupNameForBuild(const std::string& path);

// The file name without its ".set", when that is not what the set-up is called (a long file
// name loses its front part, a name of more than 8 characters its end); empty when it is.
std::string RenamedStem(const std::string& path, const std::string& setupName);

}  // namespace ksr
