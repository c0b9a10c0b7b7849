#include "recorder_ini/RecorderIni.h"

#include <algorithm>
#include <climits>

#include "setup/Errors.h"
#include "setup/FileIo.h"
#include "setup/SettingTable.h"
#include "setup/SetupFile.h"
#include "setup/TextFormat.h"

namespace ksr {

const Array1<std::string_view, IniKeyCount> IniKeys{{
    "setup_name=",
    "setup_date=",
    "setup_time=",
    "channel_0_samplerate=",
    "channel_1_samplerate=",
    "channel_2_samplerate=",
    "channel_3_samplerate=",
    "channel_4_samplerate=",
    "channel_5_samplerate=",
    "channel_6_samplerate=",
    "channel_7_samplerate=",
    "channel_8_samplerate=",
    "channel_9_samplerate=",
    "channel_10_samplerate=",
    "channel_11_samplerate=",
    "channel_0_high_gain=",
    "channel_1_high_gain=",
    "channel_2_high_gain=",
    "channel_3_high_gain=",
    "channel_4_high_gain=",
    "channel_5_high_gain=",
    "channel_0_format=",
    "channel_1_format=",
    "channel_2_format=",
    "channel_3_format=",
    "channel_4_format=",
    "channel_5_format=",
    "channel_6_format=",
    "channel_7_format=",
    "channel_8_format=",
    "channel_9_format=",
    "channel_10_format=",
    "channel_11_format=",
    "channel_12_format=",
    "mseed_filesize=",
    "delete_old_data=",
    "xxxxxxxx",
    "channel_18_samplerate=",
    "channel_19_samplerate=",
    "channel_20_samplerate=",
    "channel_21_samplerate=",
    "channel_13_samplerate=",
    "channel_14_samplerate=",
    "channel_16_samplerate=",
    "channel_15_samplerate=",
    "channel_17_samplerate=",
    "pc_off_time_shorten=",
    "endian=",
    "pc_off_time_override=",
    "gps_low_power=",
    "gps_string=",
    "single_satellite=",
    "[timer]",
    "yyyyyyyy",
    "channel_0_very_low_gain=",
    "channel_1_very_low_gain=",
    "channel_2_very_low_gain=",
    "channel_3_very_low_gain=",
    "channel_4_very_low_gain=",
    "channel_5_very_low_gain=",
}};

namespace {

using fmt::Free;
using fmt::Zeros;

const Array1<std::string_view, 4> kFormatNames{{"mini_seed", "ASCII", "legacy", "mini_seed"}};
// The aux flag behind keys 38..46, in key order (UBatt feeds two recorder channels).
const Array1<int, 9> kAuxKeyFlags{{Aux1, Aux2, Aux3, Aux4, TRec, TDisk, UBatt, IBatt, UBatt}};

constexpr int kLongestOverride = 360;
const std::string kNotRepeated = "33333333";
const std::string kContinuous = "13333333";

std::string Flag(bool on) {
    return on ? "1" : "0";
}

// "+52", "-05": the sign, then the magnitude with at least `digits` digits.
std::string SignedPadded(long long value, int digits) {
    std::string magnitude = Free(value < 0 ? -value : value);
    if (static_cast<int>(magnitude.size()) < digits)
        magnitude.insert(0, static_cast<std::size_t>(digits) - magnitude.size(), '0');
    return (value < 0 ? "-" : "+") + magnitude;
}

// ddmmyyyy hhnn
std::string StartStamp(int day, int month, int year, int hour, int minute) {
    return Zeros(day, 2) + Zeros(month, 2) + fmt::Cut(Free(year), 4) + " " + Zeros(hour, 2) +
           Zeros(minute, 2);
}

long long IntervalMinutes(long long days, long long hours, long long minutes) {
    return days * 1440 + hours * 60 + minutes;
}

}  // namespace

RecorderIni::RecorderIni(std::filesystem::path directory) : directory_(std::move(directory)) {}

void RecorderIni::BuildRecorderIni(const SetupRecord& record) {
    FolderLock lock(directory_);
    const std::filesystem::path templateFile = directory_ / TemplateFileName;
    const std::string shortTmp = ReadFileBytes(directory_ / ShortTmpFileName);
    const RecorderIniFiles built =
        BuildRecorderIniFiles(record, ReadFileBytes(templateFile), templateFile.string(), shortTmp);
    WriteFileAtomically(directory_ / RecorderIniFileName, built.recorderIni);
    PcCycleLimit = ParsePcCycleLimit(shortTmp, ShortTmpFileName);
    loadLinesFrom(built.recorderIni, RecorderIniFileName);  // the buffer holds what was written
}

RecorderIniFiles BuildRecorderIniFiles(const SetupRecord& record, const std::string& templateBytes,
                                       const std::string& templateName,
                                       const std::string& shortTmpBytes) {
    RecorderIni ini;
    ini.PcCycleLimit = RecorderIni::ParsePcCycleLimit(shortTmpBytes, ShortTmpFileName);
    ini.loadLinesFrom(templateBytes, templateName);
    ini.CheckTemplate(templateName);
    ini.MergeIniKeys(record);
    return {JoinCrLf(ini.lines()), shortTmpBytes, ini.IniLineCount};
}

RecorderIniFiles BuildRecorderIniFilesFor(const SetupRecord& record,
                                          const std::string& templateBytes,
                                          const std::string& templateName,
                                          const std::string& lowestTemperatureText) {
    return BuildRecorderIniFiles(record, templateBytes, templateName,
                                 ShortTmpBytes(lowestTemperatureText));
}

void RecorderIni::ReadPcCycleLimit() {
    const std::filesystem::path path = directory_ / ShortTmpFileName;
    const std::string bytes = ReadFileBytes(path);
    IniLineCount = 0;
    PcCycleLimit = ParsePcCycleLimit(bytes, path.string());
}

int RecorderIni::ParsePcCycleLimit(const std::string& bytes, const std::string& name) {
    std::size_t pos = bytes.find_first_not_of(" \t\r\n");
    const int line =
        1 + static_cast<int>(std::count(
                bytes.begin(),
                bytes.begin() + static_cast<std::ptrdiff_t>(std::min(pos, bytes.size())), '\n'));
    if (pos == std::string::npos) throw FormatError("holds no number of minutes", name, line);
    const std::size_t end = bytes.find_first_of(" \t\r\n", pos);
    const std::string token = bytes.substr(pos, end == std::string::npos ? end : end - pos);
    int value = 0;
    if (!fmt::ParseInt(token, value)) throw InvalidNumberError(token, name, line);
    if (value == INT_MIN) {
        RangeError error("PcCycleLimit", value, "a whole number of minutes");
        error.locate(name, line);
        throw error;
    }
    return value < 0 ? -value : value;
}

void RecorderIni::loadLines(const char* fileName) {
    const std::filesystem::path path = directory_ / fileName;
    IniLineCount = 0;
    loadLinesFrom(ReadFileBytes(path), path.string());
}

void RecorderIni::loadLinesFrom(const std::string& bytes, const std::string& name) {
    IniLineCount = 0;
    const std::vector<std::string> lines = SplitLines(bytes);
    if (lines.size() > static_cast<std::size_t>(IniLineCapacity)) {
        RangeError error("more than " + std::to_string(IniLineCapacity) + " lines");
        error.locate(name, IniLineCapacity + 1);
        throw error;
    }
    for (std::size_t i = 0; i < lines.size(); ++i) IniLines[static_cast<int>(i) + 1] = lines[i];
    IniLineCount = static_cast<std::uint16_t>(lines.size());
}

void RecorderIni::CheckTemplate(const std::string& name) const {
    std::vector<std::string> missing;
    for (int key = 1; key <= IniKeyCount; ++key) {
        if (key == PlaceholderKeyX || key == PlaceholderKeyY) continue;
        const std::string_view k = IniKeys[key];
        bool found = false;
        for (int line = 1; line <= IniLineCount && !found; ++line)
            found = IniLines[line].str().compare(0, k.size(), k) == 0;
        if (!found) missing.emplace_back(key == TimerKey ? k : k.substr(0, k.size() - 1));
    }
    if (missing.empty()) return;
    std::string list;
    for (std::size_t i = 0; i < missing.size() && i < 5; ++i) list += (i ? ", " : "") + missing[i];
    if (missing.size() > 5) list += " and " + std::to_string(missing.size() - 5) + " more";
    throw FormatError(IniLineCount == 0
                          ? std::string("the template is empty: no recorder.ini can be built")
                          : "the template lacks " + list + ": no recorder.ini is built from it",
                      name, 0);
}

void RecorderIni::LoadIniTemplate() {
    loadLines(TemplateFileName);
    CheckTemplate((directory_ / TemplateFileName).string());
}
void RecorderIni::LoadRecorderIni() {
    loadLines(RecorderIniFileName);
}

void RecorderIni::ClearLines() {
    for (auto& line : IniLines) line = "";
}

std::vector<std::string> RecorderIni::lines() const {
    std::vector<std::string> out;
    for (int r = 1; r <= IniLineCount; ++r) out.push_back(IniLines[r]);
    return out;
}

void RecorderIni::WriteRecorderIni() const {
    WriteFileAtomically(directory_ / RecorderIniFileName, JoinCrLf(lines()));
}

namespace {

std::string LabelOf(const std::array<Setting, 5>& table, std::string_view field) {
    for (const Setting& s : table)
        if (s.field == field) return std::string(s.label);
    return {};
}

}  // namespace

std::string IniKeyLabel(int key) {
    const auto ch = [key](int first) { return " Ch" + fmt::Free(key - first + 1); };
    if (key == 1) return "Setup Name";
    if (key == 2) return "Setup Date";
    if (key == 3) return "Setup Time";
    if (key >= 4 && key <= 9) return "Primary Rate" + ch(4);
    if (key >= 10 && key <= 15) return "Secondary Rate" + ch(10);
    if ((key >= 16 && key <= 21) || (key >= 55 && key <= 60))
        return "Gain" + ch(key <= 21 ? 16 : 55);
    if ((key >= 22 && key <= 33) || key == 48) return LabelOf(RecordSettings, "DataType");
    if (key == 34) return LabelOf(GpsSettings, "LogMode");
    if (key == 35) return LabelOf(RecordSettings, "FileLength");
    if (key == 36) return LabelOf(RecordSettings, "DiskMode");
    if (key >= 38 && key <= 46) return std::string(AuxChannelNames[kAuxKeyFlags[key - 37]]);
    if (key == 47 || key == PcOffTimeOverrideKey) return LabelOf(RecordSettings, "MaxPcCycle");
    if (key == 50) return LabelOf(GpsSettings, "GpsMode");
    if (key == 51) return LabelOf(GpsSettings, "GpsLat") + ", " + LabelOf(GpsSettings, "GpsLon");
    if (key == 52) return LabelOf(GpsSettings, "ClockMode");
    return {};
}

std::string RecorderIni::KeyValue(int key, const SetupRecord& r) const {
    const auto channel = [key](int first) { return key - first + 1; };
    if (key == 1) return r.SetupName;
    if (key == 2) return r.SetupDate;
    if (key == 3) return r.SetupTime;
    if (key >= 4 && key <= 9) {
        const int c = channel(4);
        return Free(PrimaryRates.at(r.PrimRateIndex[c], "PrimRateIndex[" + Free(c) + "]"));
    }
    if (key >= 10 && key <= 15) return Free(r.SecRateValue[channel(10)]);
    if (key >= 16 && key <= 21) return Flag(r.GainIndex[channel(16)] == code::Gain10);
    if (key >= 22 && key <= 33)
        return std::string(kFormatNames.at(r.RecordParams[DataType], "DataType"));
    if (key == 34) {
        const int log = r.GpsParams[LogMode];
        return log <= 1 ? "gps" : "gps" + Free(log);
    }
    if (key == 35) return Free(r.RecordParams[FileLength]);
    if (key == 36) return Free(static_cast<long long>(r.RecordParams[DiskMode]) - 1);
    if (key >= 38 && key <= 46) return Flag(r.AuxFlags[kAuxKeyFlags[channel(38)]] != code::Off);
    if (key == 47) {
        const long long cycle = r.RecordParams[MaxPcCycle];
        const long long x = cycle < PcCycleLimit + 11LL ? cycle - 11 : PcCycleLimit;
        return Free(x < 5 ? 0 : x);
    }
    if (key == 48) return r.RecordParams[DataType] == code::MiniSeedBig ? "big" : "little";
    if (key == PcOffTimeOverrideKey) return Free(kLongestOverride);
    if (key == 50) {
        const int mode = r.GpsParams[GpsMode];
        if (mode == code::GpsContinuous) return "0,0";
        (void)GpsCycleHours.at(mode, "GpsMode");  // a mode outside the table is an error here
        const GpsCycle cycle = *GpsCycleOf(r);
        return Free(cycle.everySeconds) + "," + Free(cycle.onSeconds);
    }
    if (key == 51)
        return ">SIP" + SignedPadded(r.GpsParams[GpsLat], 2) +
               SignedPadded(r.GpsParams[GpsLon], 3) + "+0000<";
    if (key == 52) return r.GpsParams[ClockMode] == code::Lock2D3D ? "0" : "1";
    if (key >= 55 && key <= 60) return Flag(r.GainIndex[channel(55)] == code::Gain04);
    return {};  // the placeholders and "[timer]" have no value of their own
}

void RecorderIni::MergeIniKeys(const SetupRecord& r) {
    WindowCount =
        static_cast<int>(std::count_if(r.RecWindows.begin(), r.RecWindows.end(),
                                       [](const RecWindow& w) { return w.WinType != 0; }));
    bool timerDone = false;
    for (int key = 1; key <= IniKeyCount; ++key) {
        const std::string_view k = IniKeys[key];
        const int count = IniLineCount;
        for (int line = 1; line <= count; ++line) {
            if (IniLines[line].str().compare(0, k.size(), k) != 0) continue;
            if (key == PlaceholderKeyX || key == PlaceholderKeyY) continue;
            if (key == PcOffTimeOverrideKey && r.RecordParams[MaxPcCycle] <= kLongestOverride)
                continue;
            if (key == TimerKey) {
                // One timer section, at the first "[timer]": the section ends with a "[timer]"
                // line of its own, which must not start another.
                if (!timerDone) timerSection(r, line);
                timerDone = true;
                continue;
            }
            IniLines[line] = std::string(k) + KeyValue(key, r);
        }
    }
}

void RecorderIni::timerSection(const SetupRecord& r, int lineIndex) {
    TimerLineIndex = static_cast<std::uint16_t>(lineIndex);
    NoTimerWindows = true;
    AnyOutputOn = false;
    if (r.RecordParams[RecordMode] != code::Conti) {
        for (int n = 1; n <= WindowCount; ++n) {
            const RecWindow& w = r.RecWindows[n];
            const bool startsLater =
                (w.WinType == code::WinConti || w.WinType == code::WinPowerOn) && w.StartDay != 0;
            if (startsLater || w.WinType == code::WinBurst) NoTimerWindows = false;
        }
    }
    for (const OutputWindow& w : r.OutputWindows)
        if (w.OnOff != code::Off) AnyOutputOn = true;
    if (!NoTimerWindows) BuildWindowLines(r);
    if (AnyOutputOn) BuildOutputLines(r);
    AppendTimerBlock(r);
}

void RecorderIni::BuildOutputLines(const SetupRecord& r) {
    static const Array1<std::string_view, OutputWindowCount> prefixes{
        {"cala=", "cald1=", "cald0="}};
    for (int id = 1; id <= OutputWindowCount; ++id) {
        const OutputWindow& w = r.OutputWindows[id];
        const long long duration =
            IntervalMinutes(w.DurDays, w.DurHours, w.DurMinutes) * 60 + w.DurSeconds;
        std::string line =
            std::string(prefixes[id]) +
            StartStamp(w.StartDay, w.StartMonth, w.StartYear, w.StartHour, w.StartMinute) + "00 " +
            Free(duration) + " " +
            (w.Repeat == code::Yes ? Free(IntervalMinutes(w.IntDays, w.IntHours, w.IntMinutes))
                                   : kNotRepeated);
        if (id != CalOut) {
            line += " 0";
        } else {
            const long long volt = w.MilliVolt;
            const long long magnitude = volt < 0 ? -volt : volt;
            SignalTypeNames.at(w.SignalType, "CalOut SignalType");
            switch (w.SignalType) {
                case code::Step:
                    line += " 0 " + Free(volt) + " 0 0";
                    break;
                case code::Sine:
                    line += " 1 " + Free(magnitude) + " 1 0";
                    break;
                default:
                    line += " 2 " + Free(magnitude) + " 0.1 10";
                    break;
            }
        }
        OutputLines[id] = line;
    }
}

void RecorderIni::BuildWindowLines(const SetupRecord& r) {
    for (int n = 1; n <= WindowCount; ++n) {
        const RecWindow& w = r.RecWindows[n];
        const bool conti = w.WinType == code::WinConti;
        const bool burst = w.WinType == code::WinBurst;
        if (!conti && !burst && w.WinType != code::WinPowerOn) {
            WindowLines[n] = "";
            continue;
        }
        const std::string duration =
            conti ? kContinuous : Free(IntervalMinutes(w.DurDays, w.DurHours, w.DurMinutes));
        const std::string interval =
            w.Repeat == code::Yes && !conti
                ? Free(IntervalMinutes(w.IntDays, w.IntHours, w.IntMinutes))
                : kNotRepeated;
        WindowLines[n] =
            std::string(burst ? "burst=" : "tm=") +
            StartStamp(w.StartDay, w.StartMonth, w.StartYear, w.StartHour, w.StartMinute) +
            (burst ? "00 " : " ") + duration + " " + interval;
    }
}

void RecorderIni::AppendTimerBlock(const SetupRecord& r) {
    std::vector<std::string> block;
    for (int id = 1; id <= OutputWindowCount; ++id)
        if (r.OutputWindows[id].OnOff != code::Off) block.push_back(OutputLines[id]);
    auto windowsStartingWith = [&](std::string_view prefix) {
        if (NoTimerWindows) return;
        for (int n = 1; n <= WindowCount; ++n)
            if (WindowLines[n].str().compare(0, 2, prefix) == 0) block.push_back(WindowLines[n]);
    };
    windowsStartingWith("bu");
    block.emplace_back();
    block.emplace_back("[timer]");
    windowsStartingWith("tm");

    const std::size_t last = TimerLineIndex - 1 + block.size();
    if (last > static_cast<std::size_t>(IniLineCapacity)) {
        RangeError error("the timer section would end at line " + std::to_string(last) +
                         ", beyond line " + std::to_string(IniLineCapacity));
        error.locate((directory_ / TemplateFileName).string(), TimerLineIndex);
        throw error;
    }
    for (std::size_t i = 0; i < block.size(); ++i)
        IniLines[TimerLineIndex + static_cast<int>(i)] = block[i];
    IniLineCount = static_cast<std::uint16_t>(last);
}

}  // namespace ksr
