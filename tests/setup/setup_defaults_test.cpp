#include <gtest/gtest.h>

#include "TestSupport.h"
#include "setup/SetupRecord.h"
#include "setup/Tables.h"

namespace ksr {
namespace {

TEST(SetupDefaults, WindowsStartInYearZeroBeforeAnyYearIsKnown) {
    SetupRecord r = test::DefaultRecord(0);
    for (const OutputWindow& w : r.OutputWindows) EXPECT_EQ(w.StartYear, 0);
    for (const RecWindow& w : r.RecWindows) EXPECT_EQ(w.StartYear, 0);
}

TEST(SetupDefaults, WindowsStartOnFirstOfJanuaryOfTheCurrentYear) {
    SetupRecord r = test::DefaultRecord(2026);
    for (const OutputWindow& w : r.OutputWindows) {
        EXPECT_EQ(w.OnOff, code::Off);
        EXPECT_EQ(w.StartDay, 1);
        EXPECT_EQ(w.StartMonth, 1);
        EXPECT_EQ(w.StartYear, 2026);
        EXPECT_EQ(w.StartHour, 0);
        EXPECT_EQ(w.DurSeconds, 10);
        EXPECT_EQ(w.IntDays, 1);
        EXPECT_EQ(w.Repeat, code::No);
        EXPECT_EQ(w.SignalType, code::Step);
    }
    EXPECT_EQ(r.RecWindows[1], r.RecWindows[96]);
    const RecWindow& w = r.RecWindows[57];
    EXPECT_EQ(w.WinType, code::WinOff);
    EXPECT_EQ(w.StartDay, 1);
    EXPECT_EQ(w.StartMonth, 1);
    EXPECT_EQ(w.StartYear, 2026);
    EXPECT_EQ(w.DurDays, 1);
    EXPECT_EQ(w.DurSeconds, 0);
    EXPECT_EQ(w.IntDays, 1);
}

TEST(SetupDefaults, NewSetUpIsThreeChannelsAt100SpsContinuous) {
    SetupRecord r = test::DefaultRecord(2026);
    EXPECT_EQ(r.SetupName, "noname");
    EXPECT_EQ(r.SetupSaved, 1);
    EXPECT_EQ(r.RecordParams[RecordMode], code::Conti);
    EXPECT_EQ(r.RecordParams[DataType], code::MiniSeedLittle);
    EXPECT_EQ(r.RecordParams[FileLength], 60);
    EXPECT_EQ(r.RecordParams[DiskMode], code::WriteOnce);
    for (int c = 1; c <= 6; ++c) {
        EXPECT_EQ(r.PrimRateIndex[c], c <= 3 ? 10 : 1) << c;
        EXPECT_EQ(r.SecRateIndex[c], 1);
        EXPECT_EQ(r.SecRateValue[c], 0);
        EXPECT_EQ(r.GainIndex[c], code::Gain1);
    }
    EXPECT_EQ(PrimaryRates[r.PrimRateIndex[1]], 100);
    EXPECT_EQ(r.GpsParams[GpsMode], 1);
    EXPECT_EQ(r.GpsParams[GpsLat], 0);
    EXPECT_EQ(r.GpsParams[GpsLon], 0);
    EXPECT_EQ(r.GpsParams[ClockMode], 1);
    EXPECT_EQ(r.GpsParams[LogMode], 4);
    for (int flag : r.AuxFlags) EXPECT_EQ(flag, code::Off);
}

TEST(SetupDefaults, KeepDateTimeYearAndMaxPcCycle) {
    SetupRecord r;
    r.SetupDate = "06-DEC-2026";
    r.SetupTime = "14:07";
    r.CurrentYear = 2026;
    r.RecordParams[MaxPcCycle] = 204;
    r.SetupName = "FIELD";
    r.SetupSaved = 0;
    SetDefaults(r);
    EXPECT_EQ(r.SetupDate, "06-DEC-2026");
    EXPECT_EQ(r.SetupTime, "14:07");
    EXPECT_EQ(r.CurrentYear, 2026);
    EXPECT_EQ(r.RecordParams[MaxPcCycle], 204);
    EXPECT_EQ(r.SetupName, "noname");
    EXPECT_EQ(r.SetupSaved, 1);
}

TEST(SetupDefaults, OnlyCalOutGetsTheDefaultVoltage) {
    SetupRecord r;
    r.OutputWindows[TTLOut].MilliVolt = -123;
    r.OutputWindows[OPCOut].MilliVolt = 77;
    r.OutputWindows[CalOut].MilliVolt = 5;
    SetDefaults(r);
    EXPECT_EQ(r.OutputWindows[CalOut].MilliVolt, 10000);
    EXPECT_EQ(r.OutputWindows[TTLOut].MilliVolt, -123);
    EXPECT_EQ(r.OutputWindows[OPCOut].MilliVolt, 77);
}

TEST(SetupDefaults, ClearTheTriggerFields) {
    SetupRecord r;
    for (RecWindow& w : r.RecWindows)
        for (int& t : w.TriggerFields) t = 9;
    SetDefaults(r);
    for (const RecWindow& w : r.RecWindows)
        for (int t : w.TriggerFields) EXPECT_EQ(t, 0);
}

TEST(ValueTables, TextsKeepTheirExactWidths) {
    for (auto text : DataTypeNames) EXPECT_EQ(text.size(), 11u) << text;
    EXPECT_EQ(DiskModeNames[2], "RING BUFF.");
    EXPECT_EQ(DiskModeNames[2].size(), 10u);
    EXPECT_EQ(GpsModeNames[7].size(), 11u);
    EXPECT_EQ(GpsModeNames[8].size(), 11u);
    for (int i = 2; i <= 6; ++i) EXPECT_EQ(GpsModeNames[i].size(), 10u) << i;
    EXPECT_EQ(LogModeNames[4], "PLL > 10 \xB5s");
    EXPECT_EQ(OffOnNames[2], "ON ");
    EXPECT_EQ(NoYesNames[1], "NO ");
    for (auto text : WindowTypeNames) EXPECT_EQ(text.size(), 7u) << text;
}

TEST(ValueTables, SecondaryRowsHaveZeroInColumnOneAndNothingPastTheirCount) {
    for (int i = 1; i <= RateCount; ++i) {
        EXPECT_EQ(SecondaryRates[i][1], 0) << i;
        for (int j = SecondaryRateCount[i] + 1; j <= SecondaryColumns; ++j)
            EXPECT_EQ(SecondaryRates[i][j], 0) << i << "," << j;
        for (int j = 2; j <= SecondaryRateCount[i]; ++j)
            EXPECT_GT(SecondaryRates[i][j], 0) << i << "," << j;
    }
    EXPECT_EQ(SecondaryRates[3][9], 200);  // row 3 is kept as the recorder defines it
}

TEST(ValueTables, SecondaryRateOfAChannelThatIsOffIsZero) {
    for (int j = 1; j <= SecondaryColumns; ++j) EXPECT_EQ(LookUpSecondaryRate(1, j), 0);
    EXPECT_EQ(LookUpSecondaryRate(19, 9), 500);
    EXPECT_EQ(LookUpSecondaryRate(20, 4), 750);
}

TEST(ValueTables, LookUpOutsideTheTableIsARangeErrorNamingTheField) {
    try {
        LookUpSecondaryRate(21, 1);
        FAIL() << "no error";
    } catch (const RangeError& e) {
        EXPECT_NE(e.message().find("PrimRateIndex 21"), std::string::npos) << e.message();
    }
    EXPECT_THROW(LookUpSecondaryRate(10, 0), RangeError);
    EXPECT_THROW(LookUpSecondaryRate(0, 1), RangeError);
    EXPECT_THROW(DataTypeNames.at(5, "DataType"), RangeError);
}

}  // namespace
}  // namespace ksr
