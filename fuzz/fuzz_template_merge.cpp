// The template loader and key merge on arbitrary templates and random valid records: at most 400
// lines of at most 70 characters come out, or a typed error.

#include <cstdint>
#include <random>
#include <string>

#include "FuzzCheck.h"
#include "recorder_ini/RecorderIni.h"

using namespace ksr;

static SetupRecord RandomValidRecord(std::uint32_t seed) {
    std::mt19937 rng(seed);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    SetupRecord r;
    r.CurrentYear = 2026;
    SetDefaults(r);
    r.SetupDate = std::string(static_cast<std::size_t>(pick(0, 90)), 'd');
    r.RecordParams[RecordMode] = pick(1, 2);
    r.RecordParams[DataType] = pick(1, 4);
    r.RecordParams[FileLength] = pick(-100000, 100000);
    r.RecordParams[MaxPcCycle] = pick(-2147483647, 2147483647);
    for (int c = 1; c <= ChannelCount; ++c) {
        r.PrimRateIndex[c] = pick(1, 20);
        r.SecRateIndex[c] = pick(1, 9);
        r.SecRateValue[c] = SecondaryRates[r.PrimRateIndex[c]][r.SecRateIndex[c]];
        r.GainIndex[c] = pick(1, 3);
    }
    r.GpsParams[GpsMode] = pick(1, 8);
    r.GpsParams[GpsLat] = pick(-2147483647, 2147483647);
    r.GpsParams[GpsLon] = pick(-2147483647, 2147483647);
    r.GpsParams[LogMode] = pick(1, 4);
    for (OutputWindow& w : r.OutputWindows) {
        for (int i = 2; i <= 14; ++i) w.field(i) = pick(-2147483647, 2147483647);
        w.OnOff = pick(1, 2);
        w.Repeat = pick(1, 2);
        w.SignalType = pick(1, 3);
        w.MilliVolt = pick(-2147483647, 2147483647);
    }
    for (int n = 1; n <= pick(0, 96); ++n) {
        RecWindow& w = r.RecWindows[n];
        for (int i = 2; i <= 14; ++i) w.field(i) = pick(-2147483647, 2147483647);
        w.WinType = pick(1, 5);
        w.Repeat = pick(1, 2);
    }
    return r;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4) return 0;
    const std::uint32_t seed =
        data[0] | (data[1] << 8) | (data[2] << 16) | (static_cast<std::uint32_t>(data[3]) << 24);
    const std::string bytes(reinterpret_cast<const char*>(data + 4), size - 4);
    const SetupRecord record = RandomValidRecord(seed);
    RecorderIni ini;
    ini.PcCycleLimit = static_cast<int>(seed % 100);
    try {
        ini.loadLinesFrom(bytes, "recorder.000");
        ini.MergeIniKeys(record);
    } catch (const KsrError&) {
        return 0;
    }
    FUZZ_CHECK(ini.IniLineCount <= IniLineCapacity);
    for (int i = 1; i <= ini.IniLineCount; ++i) FUZZ_CHECK(ini.IniLines[i].size() <= IniLineWidth);
    for (const auto& line : ini.WindowLines) FUZZ_CHECK(line.size() <= TimerLineWidth);
    for (const auto& line : ini.OutputLines) FUZZ_CHECK(line.size() <= TimerLineWidth);
    return 0;
}
