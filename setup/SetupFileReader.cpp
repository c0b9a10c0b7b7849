// Reading a setup file: the first three lines, then whitespace-separated whole numbers after the
// ";;params" line. The reader works on a copy and commits it only when the whole file was read.

#include <string>

#include "setup/FileIo.h"
#include "setup/SettingTable.h"
#include "setup/SetupFile.h"
#include "setup/Tables.h"
#include "setup/TextFormat.h"

namespace ksr {
namespace {

class Scanner {
  public:
    Scanner(const std::string& bytes, const std::string& fileName)
        : bytes_(bytes), fileName_(fileName) {}

    bool atEnd() const { return pos_ >= bytes_.size(); }
    int line() const { return line_; }
    const std::string& fileName() const { return fileName_; }

    // The rest of the current line without its line end; moves to the next line.
    std::string readLine() {
        std::string text;
        while (!atEnd() && bytes_[pos_] != '\n') text += bytes_[pos_++];
        if (!text.empty() && text.back() == '\r') text.pop_back();
        skipLineEnd();
        return text;
    }

    // Up to `count` characters of the current line, stopping early at its end.
    std::string readMarker(std::size_t count) {
        if (atEnd()) throw endOfFile();
        std::string text;
        while (!atEnd() && text.size() < count && !isLineEnd(bytes_[pos_])) text += bytes_[pos_++];
        return text;
    }

    // Skips the rest of the current line and its line end.
    void skipLine() {
        while (!atEnd() && bytes_[pos_] != '\n') ++pos_;
        skipLineEnd();
    }

    // The next whole number, after any blanks, tabs and line ends.
    int readInt() {
        while (!atEnd() && isSpace(bytes_[pos_])) {
            if (bytes_[pos_] == '\n') ++line_;
            ++pos_;
        }
        if (atEnd()) throw endOfFile();
        std::string token;
        while (!atEnd() && !isSpace(bytes_[pos_])) token += bytes_[pos_++];
        int value = 0;
        if (!fmt::ParseInt(token, value)) throw InvalidNumberError(token, fileName_, line_);
        return value;
    }

    FormatError endOfFile() const {
        return FormatError("the file ends before \";;end\"", fileName_, lastLine());
    }

    // The line the reader stands on; at the end of the file, the file's last line.
    int lastLine() const {
        if (atEnd() && line_ > 1 && !bytes_.empty() && bytes_.back() == '\n') return line_ - 1;
        return line_;
    }

  private:
    static bool isLineEnd(char c) { return c == '\r' || c == '\n'; }
    static bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
    void skipLineEnd() {
        if (!atEnd() && bytes_[pos_] == '\n') {
            ++pos_;
            ++line_;
        }
    }

    const std::string& bytes_;
    std::string fileName_;
    std::size_t pos_ = 0;
    int line_ = 1;
};

// Reads a value that must lie within min..max.
int ReadRanged(Scanner& in, int min, int max, const std::string& field) {
    const int value = in.readInt();
    if (value < min || value > max)
        throw RangeError(field, value, std::to_string(min) + ".." + std::to_string(max));
    return value;
}

// Reads one coded value and checks it against its table's size.
// A whole number of 1 to `digits` digits, nothing else.
bool Digits(const std::string& text, std::size_t digits, int& value) {
    if (text.empty() || text.size() > digits ||
        text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    value = std::stoi(text);
    return true;
}

// "dd-MON-yyyy" as the set-up's date is written: a day, a month's name, a year.
bool IsSetupDate(const std::string& text) {
    const std::size_t a = text.find('-');
    const std::size_t b = a == std::string::npos ? a : text.find('-', a + 1);
    if (b == std::string::npos) return false;
    int day = 0, year = 0;
    const std::string month = fmt::UpperAscii(text.substr(a + 1, b - a - 1));
    bool known = false;
    for (int m = 1; m <= 12; ++m) known = known || month == MonthNames[m];
    return known && Digits(text.substr(0, a), 2, day) && day >= 1 && day <= 31 &&
           Digits(text.substr(b + 1), 4, year);
}

// "hh:mm", as the set-up's time is written (a one-digit hour is taken too).
bool IsSetupTime(const std::string& text) {
    const std::size_t colon = text.find(':');
    int hour = 0, minute = 0;
    return colon != std::string::npos && Digits(text.substr(0, colon), 2, hour) && hour < 24 &&
           text.size() == colon + 3 && Digits(text.substr(colon + 1), 2, minute) && minute < 60;
}

int ReadCode(Scanner& in, int max, const std::string& field) {
    return ReadRanged(in, 1, max, field);
}

// A window's start, fields 2..6: what the file shows as a date and the builder writes as a time
// stamp must be one. Day 0 (start immediately) only where the window kind knows it.
void ReadStart(Scanner& in, int& day, int& month, int& year, int& hour, int& minute, int lowestDay,
               const std::string& who) {
    day = ReadRanged(in, lowestDay, 31, who + " StartDay");
    month = ReadRanged(in, 1, 12, who + " StartMonth");
    year = in.readInt();
    hour = ReadRanged(in, 0, 23, who + " StartHour");
    minute = ReadRanged(in, 0, 59, who + " StartMinute");
}

// A duration or interval part: never below 0 (a negative one is no time at all).
int ReadTimePart(Scanner& in, const std::string& field) {
    const int value = in.readInt();
    if (value < 0) throw RangeError(field, value, "0 or more");
    return value;
}

// Fields 2..14 of either window kind: the start, the duration, the repeat and the interval.
template <class Window>
void ReadWindowTimes(Scanner& in, Window& w, int lowestDay, const std::string& who) {
    ReadStart(in, w.StartDay, w.StartMonth, w.StartYear, w.StartHour, w.StartMinute, lowestDay,
              who);
    for (int i = 7; i <= 10; ++i) w.field(i) = ReadTimePart(in, who + " " + w.fieldName(i));
    w.Repeat = ReadCode(in, NoYesNames.size(), who + " Repeat");
    for (int i = 12; i <= 14; ++i) w.field(i) = ReadTimePart(in, who + " " + w.fieldName(i));
}

void ReadOutputWindow(Scanner& in, OutputWindow& w, int id) {
    const std::string who(OutputWindowNames[id]);
    w.OnOff = ReadCode(in, OffOnNames.size(), who + " OnOff");
    ReadWindowTimes(in, w, 1, who);
    if (id == CalOut) {
        w.SignalType = ReadCode(in, SignalTypeNames.size(), who + " SignalType");
        w.MilliVolt = in.readInt();
    }
}

void ReadRecWindow(Scanner& in, RecWindow& w, int n) {
    const std::string who = "window " + std::to_string(n);
    w.WinType = ReadCode(in, WindowTypeNames.size(), who + " WinType");
    ReadWindowTimes(in, w, 0, who);
}

bool IsEndMarker(const std::string& marker) {
    // Trailing blanks after ";;end" (a hand-edited file) do not hide the end.
    std::size_t end = marker.find_last_not_of(" \t");
    return marker.substr(0, end == std::string::npos ? 0 : end + 1) == ";;end";
}

void ParseInto(SetupRecord& r, Scanner& in) {
    r.SetupName = in.readLine();
    // The date and time go into recorder.ini as they stand: a file without them, or with
    // something else in their place, would stamp the recorder with it.
    r.SetupDate = in.readLine();
    if (!IsSetupDate(r.SetupDate))
        throw FormatError(
            "line 2 must be the set-up's date (dd-MON-yyyy), not " + fmt::Echo(r.SetupDate),
            in.fileName(), 2);
    r.SetupTime = in.readLine();
    if (!IsSetupTime(r.SetupTime))
        throw FormatError("line 3 must be the set-up's time (hh:mm), not " + fmt::Echo(r.SetupTime),
                          in.fileName(), 3);

    for (;;) {
        if (in.atEnd())
            throw FormatError("no \";;params\" line: the file holds no settings", in.fileName(),
                              in.lastLine());
        if (in.readLine().compare(0, 8, ";;params") == 0) break;
    }

    constexpr std::size_t kMarker = 10;
    // ;;rec_mode, ;;s_rates, ;;gps_mode, ;;aux_mode: each its settings' numbers, a coded one
    // within its table, a plain one as it stands.
    for (NumbersLine line : {NumbersLine::RecMode, NumbersLine::SRates, NumbersLine::GpsMode,
                             NumbersLine::AuxMode}) {
        in.readMarker(kMarker);
        for (const Setting& s : Settings())
            if (s.line == line) s.set(r, s.codes > 0 ? ReadCode(in, s.codes, s.field) : in.readInt());
        in.skipLine();
    }

    for (int id = 1; id <= OutputWindowCount; ++id) {
        in.readMarker(kMarker);  // ;;CalOut, ;;TTLOut, ;;OPCOut
        ReadOutputWindow(in, r.OutputWindows[id], id);
        in.skipLine();
    }

    int n = 0;
    for (;;) {
        if (IsEndMarker(in.readMarker(kMarker))) break;
        if (++n > RecWindowCapacity)
            throw RangeError("more than " + std::to_string(RecWindowCapacity) +
                             " record windows before \";;end\"");
        ReadRecWindow(in, r.RecWindows[n], n);
        in.skipLine();
    }
}

}  // namespace

void ParseSetupFile(SetupRecord& record, const std::string& bytes, const std::string& fileName) {
    SetupRecord copy = record;
    Scanner in(bytes, fileName);
    try {
        ParseInto(copy, in);
    } catch (KsrError& error) {
        error.locate(fileName, in.line());
        throw;
    }
    record = std::move(copy);
}

void ReadSetupFile(SetupRecord& record, const std::filesystem::path& path) {
    ParseSetupFile(record, ReadFileBytes(path), path.string());
}

}  // namespace ksr
