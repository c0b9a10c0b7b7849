#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

#include "TestSupport.h"
#include "setup/FileIo.h"
#include "setup/SetupFile.h"
#include "setup/TextFormat.h"

namespace ksr {
namespace {

// A random record whose every coded setting lies in its table; other numbers range widely.
SetupRecord RandomRecord(std::mt19937& rng) {
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    auto number = [&]() {
        switch (pick(0, 3)) {
            case 0:
                return pick(0, 9);
            case 1:
                return pick(0, 99);
            case 2:
                return pick(-100000, 100000);
            default:
                return pick(-2147483647 - 1, 2147483647);
        }
    };
    SetupRecord r = test::DefaultRecord(pick(0, 1) ? 0 : pick(1990, 2099));
    static const char kNameChars[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::string name;
    for (int i = pick(1, 8); i > 0; --i) name += kNameChars[pick(0, 61)];
    r.SetupName = name;
    r.SetupDate = std::to_string(pick(1, 31)) + "-" + std::string(MonthNames[pick(1, 12)]) + "-" +
                  std::to_string(pick(0, 9999));
    r.SetupTime = std::to_string(pick(0, 23)) + ":" + std::to_string(pick(10, 59));
    r.RecordParams[RecordMode] = pick(1, 2);
    r.RecordParams[DataType] = pick(1, 4);
    r.RecordParams[FileLength] = number();
    r.RecordParams[DiskMode] = pick(1, 2);
    r.RecordParams[MaxPcCycle] = number();
    for (int c = 1; c <= ChannelCount; ++c) {
        r.PrimRateIndex[c] = pick(1, RateCount);
        r.SecRateIndex[c] = pick(1, SecondaryColumns);
        r.SecRateValue[c] = SecondaryRates[r.PrimRateIndex[c]][r.SecRateIndex[c]];
        r.GainIndex[c] = pick(1, 3);
    }
    r.GpsParams[GpsMode] = pick(1, 8);
    r.GpsParams[GpsLat] = number();
    r.GpsParams[GpsLon] = number();
    r.GpsParams[ClockMode] = pick(1, 2);
    r.GpsParams[LogMode] = pick(1, 4);
    for (int& flag : r.AuxFlags) flag = pick(1, 2);
    for (int id = 1; id <= OutputWindowCount; ++id) {
        OutputWindow& w = r.OutputWindows[id];
        for (int i = 1; i <= OutputWindowFieldCount; ++i) w.field(i) = number();
        w.OnOff = pick(1, 2);
        w.StartDay = pick(1, 31);
        w.StartMonth = pick(1, 12);
        w.StartHour = pick(0, 23);
        w.StartMinute = pick(0, 59);
        w.Repeat = pick(1, 2);
        for (int i : {7, 8, 9, 10, 12, 13, 14}) w.field(i) = std::abs(w.field(i) / 2);
        w.SignalType = id == CalOut ? pick(1, 3) : 1;
        if (id != CalOut) w.MilliVolt = 0;  // not stored for TTLOut and OPCOut
    }
    const int active = pick(0, 4) == 0 ? pick(0, RecWindowCapacity) : pick(0, 8);
    for (int n = 1; n <= active; ++n) {
        RecWindow& w = r.RecWindows[pick(1, RecWindowCapacity)];
        for (int i = 1; i <= RecWindowFieldCount; ++i) w.field(i) = number();
        w.WinType = pick(1, 5);
        w.StartDay = pick(1, 31);
        w.StartMonth = pick(1, 12);
        w.StartHour = pick(0, 23);
        w.StartMinute = pick(0, 59);
        w.Repeat = pick(1, 2);
        for (int i : {7, 8, 9, 10, 12, 13, 14}) w.field(i) = std::abs(w.field(i) / 2);
        if (pick(0, 3) == 0) w.StartDay = 0;
    }
    return r;
}

// What a read of the record's file gives on top of the defaults: the active windows packed.
SetupRecord Packed(const SetupRecord& r) {
    SetupRecord p = r;
    p.SetupName = fmt::UpperAscii(r.SetupName);
    int n = 0;
    SetupRecord defaults = test::DefaultRecord(r.CurrentYear);
    p.RecWindows = defaults.RecWindows;
    for (const RecWindow& w : r.RecWindows)
        if (w.WinType > code::WinOff) {
            p.RecWindows[++n] = w;
            p.RecWindows[n].TriggerFields = defaults.RecWindows[n].TriggerFields;
        }
    return p;
}

TEST(SetupFileRoundTrip, WriteReadWriteIsByteIdenticalForRandomRecords) {
    std::mt19937 rng(20261207);
    for (int i = 0; i < 3000; ++i) {
        SetupRecord original = RandomRecord(rng);
        const std::string first = FormatSetupFile(original);
        SetupRecord read = test::DefaultRecord(original.CurrentYear);
        ParseSetupFile(read, first, "random.set");
        ASSERT_EQ(read, Packed(original)) << "record " << i;
        ASSERT_EQ(FormatSetupFile(read), first) << "record " << i;
    }
}

TEST(SetupFileRoundTrip, ThroughTheFileSystem) {
    test::TempDir dir;
    std::mt19937 rng(7);
    for (int i = 0; i < 50; ++i) {
        SetupRecord r = RandomRecord(rng);
        WriteSetupFile(r, dir / "r.set");
        SetupRecord read = test::DefaultRecord(r.CurrentYear);
        ReadSetupFile(read, dir / "r.set");
        WriteSetupFile(read, dir / "again.set");
        ASSERT_EQ(test::ReadBytes(dir / "r.set"), test::ReadBytes(dir / "again.set"));
    }
}

TEST(SetupFileRoundTrip, GoldenFileWrittenEarlierStillReadsAndRewritesIdentically) {
    const std::string golden = test::ReadBytes(test::TestData("golden/edge01.set"));
    SetupRecord r = test::DefaultRecord(2026);
    ParseSetupFile(r, golden, "edge01.set");
    EXPECT_EQ(r.SetupName, "EDGE01");
    EXPECT_EQ(r.SetupDate, "31-DEC-2025");
    EXPECT_EQ(r.RecordParams[MaxPcCycle], -4);
    EXPECT_EQ(r.SecRateValue[6], 750);
    EXPECT_EQ(r.GainIndex[4], code::Gain10);
    EXPECT_EQ(r.GpsParams[GpsMode], 8);
    EXPECT_EQ(r.OutputWindows[CalOut].DurDays, 1000);
    EXPECT_EQ(r.OutputWindows[CalOut].StartYear, 0);
    EXPECT_EQ(r.OutputWindows[CalOut].MilliVolt, -10000);
    EXPECT_EQ(r.RecWindows[2].WinType, code::WinPowerOn);
    EXPECT_EQ(r.RecWindows[2].StartDay, 0);
    EXPECT_EQ(r.RecWindows[5].StartYear, 9999);
    EXPECT_EQ(r.RecWindows[6].WinType, code::WinOff);
    EXPECT_EQ(FormatSetupFile(r), golden);
}

TEST(SetupFileRoundTrip, ShippedExamplesAreInTheirOwnLayout) {
    for (const char* name : {"examples/station1.set", "examples/timed.set"}) {
        const std::string bytes = test::ReadBytes(test::ShippedData(name));
        SetupRecord r = test::DefaultRecord(2026);
        ParseSetupFile(r, bytes, name);
        EXPECT_EQ(FormatSetupFile(r), bytes) << name;
    }
}

}  // namespace
}  // namespace ksr
