#include "setup/SetupFile.h"

#include <vector>

#include "setup/Errors.h"
#include "setup/FileIo.h"
#include "setup/SettingTable.h"
#include "setup/TextFormat.h"

namespace ksr {
namespace {

using fmt::Free;
using fmt::Width;
using fmt::Zeros;

const std::string kCrLf = "\r\n";

std::string Name(const auto& table, long long code, const std::string& field) {
    return std::string(table.at(code, field));
}

// dd-MON-yyyy  hh:mm, as both window kinds show their start. The output windows' layout keeps
// the year to 4 characters; a record window's year takes the room it needs.
std::string StartText(int day, int month, int year, int hour, int minute, const std::string& who,
                      bool cutYear) {
    const std::string yearText = cutYear ? fmt::Cut(Width(year, 4), 4) : Width(year, 4);
    return Zeros(day, 2) + "-" + Name(MonthNames, month, who + " StartMonth") + "-" + yearText +
           "  " + Zeros(hour, 2) + ":" + Zeros(minute, 2);
}

// ddd:hh:mm:ss  NO    dd:hh:mm
std::string DurationAndInterval(int durDays, int durHours, int durMinutes, int durSeconds,
                                int repeat, int intDays, int intHours, int intMinutes,
                                const std::string& who) {
    return DurationText(durDays, durHours, durMinutes, durSeconds) + "  " +
           Name(NoYesNames, repeat, who + " Repeat") + "   " +
           IntervalText(intDays, intHours, intMinutes);
}

std::string OutputWindowLine(const OutputWindow& w, int id) {
    const std::string who(OutputWindowNames[id]);
    std::string line = " " + who + " " + Name(OffOnNames, w.OnOff, who + " OnOff") + "   ";
    if (w.OnOff == code::Off) return line;
    line += "  " +
            StartText(w.StartDay, w.StartMonth, w.StartYear, w.StartHour, w.StartMinute, who, true);
    line += "  " + DurationAndInterval(w.DurDays, w.DurHours, w.DurMinutes, w.DurSeconds, w.Repeat,
                                       w.IntDays, w.IntHours, w.IntMinutes, who);
    if (id == CalOut)
        line += "  " + Name(SignalTypeNames, w.SignalType, who + " SignalType") + "  " +
                Width(w.MilliVolt, 6);
    return line;
}

// The window's report text, or nothing for a window that is Off (it has no line).
std::string RecWindowText(const RecWindow& w, int n) {
    const std::string who = "window " + std::to_string(n);
    std::string text = Name(WindowTypeNames, w.WinType, who + " WinType");
    if (text.compare(0, 3, "Off") == 0) return {};
    if (w.StartDay != 0)
        text += "  " + StartText(w.StartDay, w.StartMonth, w.StartYear, w.StartHour, w.StartMinute,
                                 who, false);
    else
        text += "   immediately";
    if (w.WinType != code::WinConti)
        text += " " + DurationAndInterval(w.DurDays, w.DurHours, w.DurMinutes, w.DurSeconds,
                                          w.Repeat, w.IntDays, w.IntHours, w.IntMinutes, who);
    return text;
}

std::string Suffix(int value, char negative, char positive) {
    return std::string("\xB0 ") + (value < 0 ? negative : positive);
}

}  // namespace

namespace {

void FormatLines(SetupRecord& r, std::vector<std::string>& lines) {
    r.SetupName = fmt::UpperAscii(r.SetupName);
    lines.push_back(r.SetupName);
    lines.push_back(r.SetupDate);
    lines.push_back(r.SetupTime);
    lines.emplace_back();
    lines.emplace_back(";record_mode ;data_type  ;file_length ;disk_mode   ;max. pc_cycle");
    lines.push_back(" " + Name(RecordModeNames, r.RecordParams[RecordMode], "RecordMode") +
                    "       " + Name(DataTypeNames, r.RecordParams[DataType], "DataType") +
                    "      " + Free(r.RecordParams[FileLength]) + " min     " +
                    Name(DiskModeNames, r.RecordParams[DiskMode], "DiskMode") + "    " +
                    Free(r.RecordParams[MaxPcCycle]) + " min");
    lines.emplace_back();
    lines.emplace_back(";prim_srate  ;sec_srate  ;gain");
    for (int c = 1; c <= ChannelCount; ++c) {
        const std::string ch = "[" + std::to_string(c) + "]";
        lines.push_back(" " + Width(PrimaryRates.at(r.PrimRateIndex[c], "PrimRateIndex" + ch), 4) +
                        "         " + Width(r.SecRateValue[c], 4) + "        " +
                        Name(GainNames, r.GainIndex[c], "GainIndex" + ch));
    }
    lines.emplace_back();
    lines.emplace_back(";gps_mode    ;gps_LAT   ;gps_LON   ;clock_mode   ;log_mode");
    const int gpsMode = r.GpsParams[GpsMode];
    std::string gps = " " + GpsModeText(gpsMode, 2) + (gpsMode == code::GpsContinuous ? " " : "");
    gps += "  " + Width(r.GpsParams[GpsLat], 3) + Suffix(r.GpsParams[GpsLat], 'S', 'N') + "     " +
           Width(r.GpsParams[GpsLon], 4) + Suffix(r.GpsParams[GpsLon], 'W', 'E') + "     " +
           Name(ClockModeNames, r.GpsParams[ClockMode], "ClockMode") + "    " +
           Name(LogModeNames, r.GpsParams[LogMode], "LogMode");
    lines.push_back(gps);
    lines.emplace_back();
    lines.emplace_back(";Aux1   ;Aux2   ;Aux3   ;Aux4   ;TRec   ;TDisk  ;UBatt  ;IBatt");
    std::string aux;
    for (int i = 1; i <= AuxFlagCount; ++i)
        aux += " " + Name(OffOnNames, r.AuxFlags[i], std::string(AuxChannelNames[i])) + "    ";
    lines.push_back(aux);
    lines.emplace_back();
    lines.emplace_back();
    lines.emplace_back(
        ";Cali_Type      START                DURATION    REPEAT INTERVAL  Signal  mVolt");
    for (int id = 1; id <= OutputWindowCount; ++id)
        lines.push_back(OutputWindowLine(r.OutputWindows[id], id));
    lines.emplace_back();
    lines.emplace_back(";w_type   START               DURATION    REPEAT INTERVAL");
    for (int n = 1; n <= RecWindowCapacity; ++n) {
        const std::string text = RecWindowText(r.RecWindows[n], n);
        if (!text.empty()) lines.push_back(" " + text);
    }
    lines.emplace_back();

    lines.push_back(";;" + std::string(66, '-'));
    lines.emplace_back(";;params pointer");
    for (const auto& [numbers, marker] : {std::pair{NumbersLine::RecMode, ";;rec_mode "},
                                          {NumbersLine::SRates, ";;s_rates  "},
                                          {NumbersLine::GpsMode, ";;gps_mode "},
                                          {NumbersLine::AuxMode, ";;aux_mode "}}) {
        std::string line = marker;
        for (const Setting& s : Settings())
            if (s.line == numbers) line += Free(s.get(r)) + "  ";
        lines.push_back(line);
    }
    std::string line;
    for (int id = 1; id <= OutputWindowCount; ++id) {
        const OutputWindow& w = r.OutputWindows[id];
        line = ";;" + std::string(OutputWindowNames[id]) + " ";
        for (int i = 1; i <= 14; ++i) line += "  " + Free(w.field(i));
        if (id == CalOut) line += "  " + Free(w.SignalType) + "  " + Free(w.MilliVolt);
        lines.push_back(line);
    }
    for (const RecWindow& w : r.RecWindows) {
        if (!w.active()) continue;
        line = ";;window ";
        for (int i = 1; i <= RecWindowFieldCount; ++i) line += "  " + Free(w.field(i));
        lines.push_back(line);
    }
    lines.emplace_back(";;end");
}

}  // namespace

std::string FormatSetupFile(SetupRecord& r) {
    std::vector<std::string> lines;
    try {
        FormatLines(r, lines);
    } catch (KsrError& error) {
        error.locate({}, static_cast<int>(lines.size()) + 1);  // the line that names the code
        throw;
    }
    return JoinCrLf(lines);
}

namespace {

// The bytes of `record` for the file `path`, formatted from a copy (which takes the upper-case
// name): the record itself takes it only once the file holds it, so that a retry after a failed
// save names its file as the first try did. Errors name the file.
std::string BytesFor(const SetupRecord& record, SetupRecord& written,
                     const std::filesystem::path& path) {
    written = record;
    try {
        return FormatSetupFile(written);
    } catch (KsrError& error) {
        error.locate(path.string(), 0);
        throw;
    }
}

}  // namespace

void WriteSetupFile(SetupRecord& record, const std::filesystem::path& path) {
    SetupRecord written;
    const std::string bytes = BytesFor(record, written, path);
    WriteFileAtomically(path, bytes);
    record.SetupName = written.SetupName;
}

void SaveSetupFiles(SetupRecord& record, const std::filesystem::path& setupFile,
                    const std::string& shortTmpText) {
    const std::filesystem::path folder =
        setupFile.has_parent_path() ? setupFile.parent_path() : std::filesystem::path(".");
    SetupRecord written;
    const std::string bytes = BytesFor(record, written, setupFile);
    FolderLock lock(folder);
    WriteFilesTogether(
        {{setupFile, bytes}, {folder / ShortTmpFileName, ShortTmpBytes(shortTmpText)}});
    record.SetupName = written.SetupName;
}

std::string ShortTmpBytes(const std::string& text) {
    return JoinCrLf({text, ShortTmpSecondLine});
}

void WriteShortTmp(const std::string& text, const std::filesystem::path& directory) {
    WriteFileAtomically(directory / ShortTmpFileName, ShortTmpBytes(text));
}

std::string SetupNameCharacters(const std::string& typed) {
    std::string kept;
    for (char c : typed.substr(0, 8))
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) kept += c;
    return kept;
}

std::string SetupNameForBuild(const std::string& path) {
    const std::string name = SetupNameFromPath(path);
    for (unsigned char c : name)
        if (c < 0x20 || c >= 0x7F)
            throw KsrError("the file name gives the set-up name \"" + fmt::EchoName(name) +
                               "\", which recorder.ini cannot carry: rename the file",
                           path);
    if (name.empty() || name == "." || name == "..")
        throw KsrError("the file name gives no set-up name: rename the file", path);
    return fmt::UpperAscii(name);
}

std::string RenamedStem(const std::string& path, const std::string& setupName) {
    const std::size_t slash = path.find_last_of("/\\");
    std::string stem = slash == std::string::npos ? path : path.substr(slash + 1);
    if (stem.size() >= 4 && fmt::UpperAscii(stem.substr(stem.size() - 4)) == ".SET")
        stem.resize(stem.size() - 4);
    return fmt::UpperAscii(stem) == setupName ? std::string() : stem;
}

std::string WindowStartText(int day, int month, int year, int hour, int minute) {
    if (day == 0) return "immediately";
    const std::string mon =
        MonthNames.contains(month) ? std::string(MonthNames[month]) : Free(month);
    return Zeros(day, 2) + "-" + mon + "-" + Free(year) + " " + Zeros(hour, 2) + ":" +
           Zeros(minute, 2);
}

std::string DurationText(int days, int hours, int minutes, int seconds) {
    return Zeros(days, 3) + ":" + Zeros(hours, 2) + ":" + Zeros(minutes, 2) + ":" +
           Zeros(seconds, 2);
}

std::string IntervalText(int days, int hours, int minutes) {
    return Zeros(days, 2) + ":" + Zeros(hours, 2) + ":" + Zeros(minutes, 2);
}

std::string PositionText(int degrees, char negative, char positive) {
    return Free(degrees) + Suffix(degrees, negative, positive);
}

std::string LowestTemperatureText(int degrees) {
    return Width(degrees, 2);
}

std::string SetupNameFromPath(const std::string& path) {
    const std::size_t slash = path.find_last_of("/\\");
    std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    if (base.size() > SetupFileNameCapacity) base.erase(0, base.size() - SetupFileNameCapacity);
    base.resize(base.size() >= 4 ? base.size() - 4 : 0);
    return fmt::Cut(base, 8);
}

}  // namespace ksr
