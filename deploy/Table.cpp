#include "deploy/Table.h"

#include <algorithm>
#include <charconv>
#include <iterator>

#include "power/PowerEstimator.h"
#include "setup/Errors.h"
#include "setup/FileIo.h"
#include "setup/SetupFile.h"
#include "setup/TextFormat.h"

namespace ksr::deploy {
namespace {

bool Known(const std::string& column) {
    return std::find_if(std::begin(Columns), std::end(Columns),
                        [&](const char* c) { return column == c; }) != std::end(Columns);
}

std::string Trimmed(std::string text) {
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.pop_back();
    std::size_t from = 0;
    while (from < text.size() && (text[from] == ' ' || text[from] == '\t')) ++from;
    return text.substr(from);
}

std::optional<double> Number(const std::string& text) {
    double value = 0;
    const char* end = text.data() + text.size();
    const auto [at, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc() || at != end) return std::nullopt;
    return value;
}

}  // namespace

std::vector<CsvRecord> ParseCsv(const std::string& text, const std::string& fileName) {
    std::vector<CsvRecord> records;
    CsvRecord record;
    std::string field;
    bool quoted = false, wasQuoted = false, any = false;
    int line = 1, quoteLine = 0;
    record.line = 1;
    auto endField = [&] {
        record.fields.push_back(wasQuoted ? field : Trimmed(field));
        field.clear();
        wasQuoted = false;
    };
    auto endRecord = [&] {
        endField();
        // A line with nothing on it is no row.
        if (!(record.fields.size() == 1 && record.fields[0].empty() && !any))
            records.push_back(record);
        record = CsvRecord{};
        any = false;
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
                field += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                if (c == '\n') ++line;
                field += c;
            }
            continue;
        }
        if (c == '"' && Trimmed(field).empty()) {
            quoted = wasQuoted = any = true;
            quoteLine = line;
            field.clear();
        } else if (c == ',') {
            any = true;
            endField();
        } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            continue;  // CR LF ends the line at the LF
        } else if (c == '\n') {
            endRecord();
            record.line = ++line;
        } else if (wasQuoted) {
            if (c != ' ' && c != '\t')
                throw FormatError("text after a quoted field's closing quote", fileName, line);
        } else {
            field += c;
        }
    }
    if (quoted) throw FormatError("a quote is not closed", fileName, quoteLine);
    if (!field.empty() || !record.fields.empty() || any) endRecord();
    return records;
}

std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string out = "\"";
    for (char c : text) out += c == '"' ? std::string("\"\"") : std::string(1, c);
    return out + "\"";
}

Table ReadTable(const std::filesystem::path& file) {
    std::string text = ReadFileBytes(file);
    if (text.rfind("\xEF\xBB\xBF", 0) == 0) text.erase(0, 3);  // a spreadsheet's byte-order mark
    const std::string name = file.string();
    const std::vector<CsvRecord> records = ParseCsv(text, name);
    if (records.empty()) throw FormatError("the table is empty: a header row is needed", name, 1);
    const std::vector<std::string>& header = records.front().fields;
    std::vector<std::string> columns;
    for (const std::string& raw : header) {
        const std::string column = fmt::LowerAscii(raw);
        if (!Known(column)) {
            std::string known;
            for (const char* c : Columns) known += std::string(known.empty() ? "" : ", ") + c;
            throw FormatError(
                "unknown column \"" + fmt::Echo(raw) + "\" (the columns are " + known + ")", name,
                records.front().line);
        }
        if (std::find(columns.begin(), columns.end(), column) != columns.end())
            throw FormatError("the column " + column + " stands twice", name, records.front().line);
        columns.push_back(column);
    }
    for (const char* needed : {"station", "template", "setup"})
        if (std::find(columns.begin(), columns.end(), needed) == columns.end())
            throw FormatError(std::string("the column ") + needed + " is missing", name,
                              records.front().line);

    Table table;
    table.file = file;
    const std::filesystem::path folder = file.parent_path();
    for (std::size_t r = 1; r < records.size(); ++r) {
        const CsvRecord& record = records[r];
        Row row;
        row.line = record.line;
        if (record.fields.size() != columns.size())
            throw FormatError("the row has " + std::to_string(record.fields.size()) +
                                  " fields, the header " + std::to_string(columns.size()),
                              name, record.line);
        for (std::size_t c = 0; c < columns.size(); ++c) {
            const std::string& column = columns[c];
            const std::string& value = record.fields[c];
            auto bad = [&](const std::string& why) {
                return FormatError(column + ": " + why + ", not \"" + fmt::Echo(value) + "\"", name,
                                   record.line);
            };
            if (column == "station") {
                row.station = value;
            } else if (column == "template") {
                if (!value.empty()) row.templatePath = folder / PathOf(value);
            } else if (column == "setup") {
                row.setupText = value;
                if (!value.empty()) row.setupPath = folder / PathOf(value);
            } else if (column == "port") {
                row.port = value;
            } else if (value.empty()) {
                continue;  // the defaults
            } else if (column == "battery_ah") {
                row.batteryAh = Number(value);
                if (!row.batteryAh || *row.batteryAh < power::MinBatteryAh ||
                    *row.batteryAh > power::MaxBatteryAh)
                    throw bad("a battery of 1 to 10000 Ah");
            } else if (column == "add_load_mw") {
                row.addLoadMw = Number(value);
                if (!row.addLoadMw || *row.addLoadMw < power::MinAddLoadMw ||
                    *row.addLoadMw > power::MaxAddLoadMw)
                    throw bad(
                        "milliwatts from -100000 to 100000 (a solar panel's mean gain "
                        "below zero)");
            } else if (column == "lowest_temp") {
                int t = 0;
                if (!fmt::ParseInt(value, t) || !IsLowestTemperature(t))
                    throw bad(LowestTemperatureChoices);
                row.lowestTemp = t;
            }
        }
        for (const auto& [column, value] :
             {std::pair<const char*, bool>{"station", row.station.empty()},
              {"template", row.templatePath.empty()},
              {"setup", row.setupPath.empty()}})
            if (value) throw FormatError(std::string(column) + ": empty", name, record.line);
        table.rows.push_back(std::move(row));
    }
    return table;
}

}  // namespace ksr::deploy
