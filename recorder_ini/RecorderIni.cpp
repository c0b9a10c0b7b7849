#include "recorder_ini/RecorderIni.h"

#include <algorithm>
#include <climits>

#include "setup/Errors.h"
#include "setup/FileIo.h"
#include "setup/SettingTable.h"
#include "setup/SetupFile.h"
#include "setup/TextFormat.h"

namespace ksr {

namespace {

using fmt::Free;
using fmt::Zeros;

const Array1<std::string_view, 4> kFormatNames{{"mini_seed", "ASCII", "legacy", "mini_seed"}};

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

// How each key's value is written from the record (and the PC-cycle limit of SHORTTMP.DAT).
std::string SetupName(const SetupRecord& r, int) {
    return r.SetupName;
}
std::string SetupDate(const SetupRecord& r, int) {
    return r.SetupDate;
}
std::string SetupTime(const SetupRecord& r, int) {
    return r.SetupTime;
}
template <int C>
std::string PrimaryRate(const SetupRecord& r, int) {
    return Free(PrimaryRates.at(r.PrimRateIndex[C], "PrimRateIndex[" + Free(C) + "]"));
}
template <int C>
std::string SecondaryRate(const SetupRecord& r, int) {
    return Free(r.SecRateValue[C]);
}
template <int C>
std::string HighGain(const SetupRecord& r, int) {
    return Flag(r.GainIndex[C] == code::Gain10);
}
template <int C>
std::string VeryLowGain(const SetupRecord& r, int) {
    return Flag(r.GainIndex[C] == code::Gain04);
}
std::string Format(const SetupRecord& r, int) {
    return std::string(kFormatNames.at(r.RecordParams[DataType], "DataType"));
}
std::string GpsString(const SetupRecord& r, int) {
    const int log = r.GpsParams[LogMode];
    return log <= 1 ? "gps" : "gps" + Free(log);
}
std::string FileSize(const SetupRecord& r, int) {
    return Free(r.RecordParams[FileLength]);
}
std::string DeleteOldData(const SetupRecord& r, int) {
    return Free(static_cast<long long>(r.RecordParams[DiskMode]) - 1);
}
template <int A>
std::string AuxOn(const SetupRecord& r, int) {
    return Flag(r.AuxFlags[A] != code::Off);
}
std::string PcOffTimeShorten(const SetupRecord& r, int pcCycleLimit) {
    const long long cycle = r.RecordParams[MaxPcCycle];
    const long long x = cycle < pcCycleLimit + 11LL ? cycle - 11 : pcCycleLimit;
    return Free(x < 5 ? 0 : x);
}
std::string Endian(const SetupRecord& r, int) {
    return r.RecordParams[DataType] == code::MiniSeedBig ? "big" : "little";
}
std::string PcOffTimeOverride(const SetupRecord&, int) {
    return Free(kLongestOverride);
}
std::string GpsLowPower(const SetupRecord& r, int) {
    const int mode = r.GpsParams[GpsMode];
    if (mode == code::GpsContinuous) return "0,0";
    (void)GpsCycleHours.at(mode, "GpsMode");  // a mode outside the table is an error here
    const GpsCycle cycle = *GpsCycleOf(r);
    return Free(cycle.everySeconds) + "," + Free(cycle.onSeconds);
}
std::string Position(const SetupRecord& r, int) {
    return ">SIP" + SignedPadded(r.GpsParams[GpsLat], 2) + SignedPadded(r.GpsParams[GpsLon], 3) +
           "+0000<";
}
std::string SingleSatellite(const SetupRecord& r, int) {
    return r.GpsParams[ClockMode] == code::Lock2D3D ? "0" : "1";
}

}  // namespace

const Array1<IniKey, IniKeyCount> IniKeys{{{
    {"setup_name=", "Setup Name", SetupName},
    {"setup_date=", "Setup Date", SetupDate},
    {"setup_time=", "Setup Time", SetupTime},
    {"channel_0_samplerate=", "primary_rate_ch1", PrimaryRate<1>},
    {"channel_1_samplerate=", "primary_rate_ch2", PrimaryRate<2>},
    {"channel_2_samplerate=", "primary_rate_ch3", PrimaryRate<3>},
    {"channel_3_samplerate=", "primary_rate_ch4", PrimaryRate<4>},
    {"channel_4_samplerate=", "primary_rate_ch5", PrimaryRate<5>},
    {"channel_5_samplerate=", "primary_rate_ch6", PrimaryRate<6>},
    {"channel_6_samplerate=", "secondary_rate_ch1", SecondaryRate<1>},
    {"channel_7_samplerate=", "secondary_rate_ch2", SecondaryRate<2>},
    {"channel_8_samplerate=", "secondary_rate_ch3", SecondaryRate<3>},
    {"channel_9_samplerate=", "secondary_rate_ch4", SecondaryRate<4>},
    {"channel_10_samplerate=", "secondary_rate_ch5", SecondaryRate<5>},
    {"channel_11_samplerate=", "secondary_rate_ch6", SecondaryRate<6>},
    {"channel_0_high_gain=", "gain_ch1", HighGain<1>},
    {"channel_1_high_gain=", "gain_ch2", HighGain<2>},
    {"channel_2_high_gain=", "gain_ch3", HighGain<3>},
    {"channel_3_high_gain=", "gain_ch4", HighGain<4>},
    {"channel_4_high_gain=", "gain_ch5", HighGain<5>},
    {"channel_5_high_gain=", "gain_ch6", HighGain<6>},
    {"channel_0_format=", "data_type", Format},
    {"channel_1_format=", "data_type", Format},
    {"channel_2_format=", "data_type", Format},
    {"channel_3_format=", "data_type", Format},
    {"channel_4_format=", "data_type", Format},
    {"channel_5_format=", "data_type", Format},
    {"channel_6_format=", "data_type", Format},
    {"channel_7_format=", "data_type", Format},
    {"channel_8_format=", "data_type", Format},
    {"channel_9_format=", "data_type", Format},
    {"channel_10_format=", "data_type", Format},
    {"channel_11_format=", "data_type", Format},
    {"channel_12_format=", "log_mode", GpsString},
    {"mseed_filesize=", "file_length_min", FileSize},
    {"delete_old_data=", "disk_mode", DeleteOldData},
    {"xxxxxxxx", "", nullptr},
    {"channel_18_samplerate=", "aux1", AuxOn<Aux1>},
    {"channel_19_samplerate=", "aux2", AuxOn<Aux2>},
    {"channel_20_samplerate=", "aux3", AuxOn<Aux3>},
    {"channel_21_samplerate=", "aux4", AuxOn<Aux4>},
    {"channel_13_samplerate=", "trec", AuxOn<TRec>},
    {"channel_14_samplerate=", "tdisk", AuxOn<TDisk>},
    {"channel_16_samplerate=", "ubatt", AuxOn<UBatt>},
    {"channel_15_samplerate=", "ibatt", AuxOn<IBatt>},
    {"channel_17_samplerate=", "ubatt", AuxOn<UBatt>},  // UBatt feeds two channels
    {"pc_off_time_shorten=", "max_pc_cycle_min", PcOffTimeShorten},
    {"endian=", "data_type", Endian},
    {"pc_off_time_override=", "max_pc_cycle_min", PcOffTimeOverride},
    {"gps_low_power=", "gps_mode", GpsLowPower},
    {"gps_string=", "gps_latitude, gps_longitude", Position},
    {"single_satellite=", "clock_mode", SingleSatellite},
    {"[timer]", "", nullptr},
    {"yyyyyyyy", "", nullptr},
    {"channel_0_very_low_gain=", "gain_ch1", VeryLowGain<1>},
    {"channel_1_very_low_gain=", "gain_ch2", VeryLowGain<2>},
    {"channel_2_very_low_gain=", "gain_ch3", VeryLowGain<3>},
    {"channel_3_very_low_gain=", "gain_ch4", VeryLowGain<4>},
    {"channel_4_very_low_gain=", "gain_ch5", VeryLowGain<5>},
    {"channel_5_very_low_gain=", "gain_ch6", VeryLowGain<6>},
}}};

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
        const std::string_view k = IniKeys[key].key;
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

std::string IniKeyLabel(int key) {
    // The labels of the settings the key comes from; the set-up's name, date and time have
    // no row of their own and are named as they stand.
    std::string label;
    std::string_view from = IniKeys[key].from;
    while (!from.empty()) {
        const std::size_t comma = from.find(", ");
        const std::string name(from.substr(0, comma));
        const Setting* setting = FindSetting(name);
        label += (label.empty() ? "" : ", ") + (setting ? setting->label : name);
        from = comma == std::string_view::npos ? std::string_view() : from.substr(comma + 2);
    }
    return label;
}

std::string RecorderIni::KeyValue(int key, const SetupRecord& record) const {
    const IniKey& k = IniKeys[key];
    return k.value ? k.value(record, PcCycleLimit) : std::string();
}

void RecorderIni::MergeIniKeys(const SetupRecord& r) {
    bool timerDone = false;
    for (int key = 1; key <= IniKeyCount; ++key) {
        const std::string_view k = IniKeys[key].key;
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

namespace {

// The record windows the timer section looks at: as many from the first as are not empty.
int WindowCount(const SetupRecord& r) {
    return static_cast<int>(std::count_if(r.RecWindows.begin(), r.RecWindows.end(),
                                          [](const RecWindow& w) { return w.WinType != 0; }));
}

// Timed recording with a window that starts later or a burst: the section gets window lines.
bool HasTimerWindows(const SetupRecord& r) {
    if (r.RecordParams[RecordMode] == code::Conti) return false;
    for (int n = 1, count = WindowCount(r); n <= count; ++n) {
        const RecWindow& w = r.RecWindows[n];
        const bool startsLater =
            (w.WinType == code::WinConti || w.WinType == code::WinPowerOn) && w.StartDay != 0;
        if (startsLater || w.WinType == code::WinBurst) return true;
    }
    return false;
}

}  // namespace

void RecorderIni::timerSection(const SetupRecord& r, int lineIndex) {
    TimerLineIndex = static_cast<std::uint16_t>(lineIndex);
    if (HasTimerWindows(r)) BuildWindowLines(r);
    if (std::any_of(r.OutputWindows.begin(), r.OutputWindows.end(),
                    [](const OutputWindow& w) { return w.OnOff != code::Off; }))
        BuildOutputLines(r);
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
    for (int n = 1, count = WindowCount(r); n <= count; ++n) {
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
    const bool timerWindows = HasTimerWindows(r);
    auto windowsStartingWith = [&](std::string_view prefix) {
        if (!timerWindows) return;
        for (int n = 1, count = WindowCount(r); n <= count; ++n)
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
