#pragma once
// The deployment table: a CSV file (UTF-8, a header row), one row per station, naming that
// recorder's template, its set-up and what the power estimate needs. Paths in it are relative to
// the table's folder.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace ksr::deploy {

// The columns a table may have; the first three are needed.
inline constexpr const char* Columns[] = {"station",    "template",    "setup",      "port",
                                          "battery_ah", "add_load_mw", "lowest_temp"};

struct Row {
    int line = 0;  // of the table file (the header is line 1)
    std::string station;
    std::filesystem::path templatePath;  // the recorder's recorder.000
    std::filesystem::path setupPath;     // its .set file
    std::string setupText;               // as the table gives it
    std::string port;  // a device, COMn or an adapter's serial number; may be empty
    std::optional<double> batteryAh;
    std::optional<double> addLoadMw;
    std::optional<int> lowestTemp;
};

struct Table {
    std::filesystem::path file;
    std::vector<Row> rows;
};

// Reads the table. Throws KsrError naming the file, the line and the column for a header with an
// unknown or missing column, a row with too many or too few fields, a bad quote or a value out of
// its range.
Table ReadTable(const std::filesystem::path& file);

// RFC 4180 fields of CSV text: quotes around a field, "" for a quote in it, line breaks inside
// quotes. Each record with the line it starts on. Throws KsrError on an unclosed quote.
struct CsvRecord {
    int line = 0;
    std::vector<std::string> fields;
};
std::vector<CsvRecord> ParseCsv(const std::string& text, const std::string& fileName);

// One field as CSV writes it: quoted when it holds a comma, a quote or a line break.
std::string CsvField(const std::string& text);

}  // namespace ksr::deploy
