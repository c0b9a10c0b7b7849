#include <gtest/gtest.h>

#include <cmath>

#include "power/PowerEstimator.h"

namespace ksr::power {
namespace {

PowerSettings Start() {
    return PowerSettings{};
}

struct All {
    LoadEstimate load;
    DiskEstimate disk;
    BatteryEstimate battery;
};

All Estimate(const PowerSettings& s) {
    All a;
    a.load = EstimateLoad(s);
    a.disk = EstimateDisk(s, a.load);
    a.battery = EstimateBattery(s, a.load.totalLoad);
    return a;
}

TEST(PowerLoad, StartValues) {
    const LoadEstimate e = EstimateLoad(Start());
    EXPECT_NEAR(e.bufferTime, 13281.96, 0.005);
    EXPECT_NEAR(e.correction, 1176.07, 0.005);
    EXPECT_EQ(e.diskCycleBeforeTemperature, 11806);
    EXPECT_EQ(e.diskCycle, 11206);
    EXPECT_NEAR(e.diskLoad, 0.149, 0.0005);
    EXPECT_EQ(LoadText(e.totalLoad), "2.169");
}

TEST(PowerLoad, ColdRunsTheDiskHeaterWithoutShortening) {
    PowerSettings s = Start();
    s.temperature = -20;
    const LoadEstimate e = EstimateLoad(s);
    EXPECT_EQ(e.diskCycle, 11806);
    EXPECT_EQ(e.heaterMinutes, 23);
    EXPECT_NEAR(e.heaterLoad, 0.383, 0.0005);
    EXPECT_NEAR(e.diskLoad, 0.141, 0.0005);
    EXPECT_EQ(LoadText(e.totalLoad), "2.545");
}

TEST(PowerLoad, LowRatesUseTheLongestCycleAndAShortOnTime) {
    PowerSettings s = Start();
    s.primRate = 10;
    s.primChannels = 1;
    s.secChannels = 0;
    const LoadEstimate e = EstimateLoad(s);
    EXPECT_EQ(e.diskCycleBeforeTemperature, 21600);
    EXPECT_NEAR(e.diskOnTime, 21600.0 / -103549 * 180 + 70, 1e-9);
    EXPECT_NEAR(e.diskOnTime, 32.45, 0.005);
}

TEST(PowerLoad, HighRatesKeepTheDiskAlwaysOn) {
    PowerSettings s = Start();
    s.primRate = 1000;
    s.primChannels = 6;
    s.secChannels = 0;
    const LoadEstimate e = EstimateLoad(s);
    EXPECT_EQ(e.diskCycleBeforeTemperature, 361);
    EXPECT_EQ(e.diskCycle, -239);
    EXPECT_EQ(e.diskLoad, 6.68);
    EXPECT_EQ(LoadText(e.totalLoad), "8.730");
}

TEST(PowerLoad, NoRateCountsAsFourSamplesPerSecond) {
    PowerSettings s = Start();
    s.primRate = 0;
    EXPECT_EQ(EstimateLoad(s).totalRate, 4);
}

TEST(PowerLoad, BurstAndCycledGps) {
    PowerSettings s = Start();
    s.burst = true;
    s.cycledGps = true;
    s.gpsInterval = 120;
    s.gpsDuration = 6;
    const LoadEstimate e = EstimateLoad(s);
    EXPECT_EQ(e.diskCycle, 3600 - 600);
    EXPECT_EQ(e.diskOnTime, 850);
    EXPECT_NEAR(e.gpsLoad, 0.19 * 0.05, 1e-12);
    EXPECT_NEAR(e.totalLoad, 1.83 + 6.68 * 850 / 3000 + 0.0095, 1e-12);
}

TEST(PowerLoad, CyclesOfOneMinuteOrZeroGiveNoHeaterAndNoNaN) {
    PowerSettings s = Start();
    s.burst = true;
    s.burstInterval = 1;  // a one-minute cycle, beyond the page's range: the formula's ln 1 = 0
    s.temperature = -10;
    LoadEstimate e = EstimateLoad(s);
    EXPECT_EQ(e.diskCycle, 60);
    EXPECT_EQ(e.heaterLoad, 0);
    EXPECT_TRUE(std::isfinite(e.totalLoad));
    s.burstInterval = 0;
    e = EstimateLoad(s);
    EXPECT_EQ(e.heaterLoad, 0);
    EXPECT_EQ(e.diskLoad, 6.68);
    EXPECT_TRUE(std::isfinite(e.totalLoad));
}

TEST(PowerLoad, ADiskCycleUnderAMinuteHasNoHeaterLoad) {
    PowerSettings s = Start();
    s.primRate = 3000;
    s.primChannels = 4;
    s.secChannels = 0;
    for (int t = 0; t >= -40; t -= 5) {
        s.temperature = t;
        const LoadEstimate e = EstimateLoad(s);
        ASSERT_GT(e.diskCycleBeforeTemperature, 0);
        ASSERT_LT(e.diskCycleBeforeTemperature, 60);  // 0 < M < 1: ln M is negative
        EXPECT_EQ(e.heaterLoad, 0) << t;
        EXPECT_LT(e.totalLoad, 10) << t;  // not the 85 W (0 C) to 1108 W (-40 C) of ln M < 0
    }
}

TEST(PowerLoad, EveryPageSettingGivesFiniteNumbers) {
    PowerSettings s = Start();
    for (int rate :
         {0, 1, 2, 5, 10, 20, 25, 50, 75, 100, 125, 150, 200, 250, 300, 500, 600, 750, 1000, 3000})
        for (int channels = 1; channels <= 6; ++channels)
            for (int t = -40; t <= 40; t += 5) {
                s.primRate = rate;
                s.primChannels = channels;
                s.temperature = t;
                const All a = Estimate(s);
                ASSERT_TRUE(std::isfinite(a.load.totalLoad)) << rate << " " << channels << " " << t;
                ASSERT_GT(a.load.totalLoad, 0);
                ASSERT_GE(a.battery.batteryDays, 0);
            }
}

TEST(PowerDisk, StartValuesAndFormats) {
    PowerSettings s = Start();
    All a = Estimate(s);
    EXPECT_EQ(a.disk.usableBytes, 39300000000LL);
    EXPECT_EQ(a.disk.bytesPerSecond, 600);
    EXPECT_EQ(a.disk.recordSeconds, 65500000);
    EXPECT_EQ(a.disk.label, " 758");
    s.ascii = true;
    a = Estimate(s);
    EXPECT_EQ(a.disk.bytesPerSecond, 1800);
    EXPECT_EQ(a.disk.label, " 252");
    s.ascii = false;
    s.mt = true;
    a = Estimate(s);
    EXPECT_EQ(a.disk.recordSeconds, 52400000);
    EXPECT_EQ(a.disk.label, " 606");
}

TEST(PowerDisk, BurstScalesOnlyThePrimaryStreamAndRepeatsExactly) {
    PowerSettings s = Start();
    s.burst = true;
    All a = Estimate(s);
    EXPECT_EQ(a.disk.primPerSecond, 50);
    EXPECT_EQ(a.disk.bytesPerSecond, 100);
    EXPECT_EQ(a.disk.label, "4548");
    EXPECT_EQ(a.load.primTotal, 300);  // unchanged by the disk estimate
    EXPECT_EQ(EstimateDisk(s, a.load).label, "4548");
}

TEST(PowerDisk, LargeAndSmall) {
    PowerSettings s = Start();
    s.diskGB = 120;
    s.primRate = 3000;
    s.primChannels = 6;
    s.secRate = 750;
    s.secChannels = 6;
    All a = Estimate(s);
    EXPECT_EQ(a.disk.bytesPerSecond, 45000);
    EXPECT_EQ(a.disk.label, "  30");
    s = Start();
    s.primRate = 0;
    s.diskGB = 10;
    a = Estimate(s);
    EXPECT_EQ(a.disk.bytesPerSecond, 4);
    EXPECT_EQ(a.disk.label, "26909");
}

TEST(PowerBattery, StartValues) {
    const All a = Estimate(Start());
    EXPECT_NEAR(a.battery.nominalWh, 433.2, 1e-9);
    EXPECT_NEAR(a.battery.temperatureFactor, 101.2384, 1e-9);
    EXPECT_NEAR(a.battery.trueCapacity, 438.56, 0.005);
    EXPECT_EQ(a.battery.capacityLabel, "438");
    EXPECT_NEAR(a.battery.batteryDays, 8.42, 0.005);
    EXPECT_EQ(a.battery.lifeLabel, " 8.4");
    EXPECT_EQ(a.battery.note, " Batt. self-discharge neglected ");
    EXPECT_FALSE(a.battery.gelTooCold);
}

TEST(PowerBattery, ColdAgm) {
    PowerSettings s = Start();
    s.temperature = -20;
    All a = Estimate(s);
    EXPECT_NEAR(a.battery.temperatureFactor, 63.2224, 1e-9);
    EXPECT_EQ(a.battery.capacityLabel, "273");
    EXPECT_EQ(a.battery.lifeLabel, " 4.5");
    s.temperature = -40;
    a = Estimate(s);
    EXPECT_EQ(LoadText(a.load.totalLoad), "2.878");
    EXPECT_EQ(a.battery.capacityLabel, "140");
    EXPECT_EQ(a.battery.lifeLabel, " 2.0");
    EXPECT_EQ(a.battery.temperatureMinimum, -40);
}

TEST(PowerBattery, GelWarningBelowMinusTwenty) {
    PowerSettings s = Start();
    s.gel = true;
    s.temperature = -25;
    EXPECT_TRUE(Estimate(s).battery.gelTooCold);
    EXPECT_EQ(Estimate(s).battery.temperatureMinimum, -25);
    s.temperature = -20;
    EXPECT_FALSE(Estimate(s).battery.gelTooCold);
}

TEST(PowerBattery, SmallBatteryShowsOneDecimal) {
    PowerSettings s = Start();
    s.battSizeAh = 3;
    const All a = Estimate(s);
    EXPECT_NEAR(a.battery.trueCapacity, 34.62, 0.005);
    EXPECT_EQ(a.battery.capacityLabel, "34.6");
}

TEST(PowerBattery, TwentyDayThreshold) {
    PowerSettings s = Start();
    s.battSizeAh = 90;
    All a = Estimate(s);
    EXPECT_NEAR(a.battery.batteryDays, 19.95, 0.005);
    EXPECT_FALSE(a.battery.selfDischarge);
    EXPECT_EQ(a.battery.lifeLabel, "20.0");
    s.battSizeAh = 91;
    a = Estimate(s);
    EXPECT_TRUE(a.battery.selfDischarge);
    EXPECT_EQ(a.battery.batteryDays, 20);
    EXPECT_EQ(a.battery.lifeLabel, "20.0");
    EXPECT_EQ(a.battery.note, " Batt. self-discharge considered ");
}

TEST(PowerBattery, SelfDischargeOfLargeBatteries) {
    PowerSettings s = Start();
    s.battSizeAh = 100;
    All a = Estimate(s);
    EXPECT_NEAR(a.battery.trueCapacity / a.load.totalLoad / 24, 22.17, 0.005);
    EXPECT_NEAR(a.battery.dailyUse, 54.92, 0.005);
    EXPECT_EQ(a.battery.lifeLabel, "22");
    s.battSizeAh = 200;
    a = Estimate(s);
    EXPECT_EQ(a.battery.capacityLabel, "2308");
    EXPECT_EQ(a.battery.lifeLabel, "40");
    s.gel = true;
    EXPECT_EQ(Estimate(s).battery.lifeLabel, "43");
}

TEST(PowerBattery, NoLoadOrNegativeSizeNeverGivesInfiniteOrNegativeLife) {
    PowerSettings s = Start();
    s.addLoadW = -5;
    All a = Estimate(s);
    EXPECT_FALSE(a.battery.lifeDefined);
    EXPECT_EQ(a.battery.lifeLabel, "----");
    EXPECT_EQ(a.battery.note, NoNetLoad);
    s = Start();
    s.battSizeAh = -10;
    a = Estimate(s);
    EXPECT_EQ(a.battery.trueCapacity, 0);
    EXPECT_EQ(a.battery.lifeLabel, " 0.0");
}

TEST(PowerBattery, AnAbsurdlyLargeBatteryStillGivesFiniteNonNegativeFigures) {
    PowerSettings s = Start();
    for (double size : {9.3e18, 1e30, 1e300}) {
        s.battSizeAh = size;
        const All a = Estimate(s);
        EXPECT_TRUE(std::isfinite(a.battery.trueCapacity)) << size;
        EXPECT_GT(a.battery.trueCapacity, 0) << size;
        EXPECT_TRUE(std::isfinite(a.battery.batteryDays)) << size;
        EXPECT_GT(a.battery.batteryDays, 0) << size;
        EXPECT_EQ(a.battery.capacityLabel.find('-'), std::string::npos) << a.battery.capacityLabel;
        EXPECT_EQ(a.battery.lifeLabel.find('-'), std::string::npos) << a.battery.lifeLabel;
    }
}

TEST(PowerText, DecimalFieldsAcceptDotAndComma) {
    EXPECT_EQ(ParseDecimal("250"), 250);
    EXPECT_EQ(ParseDecimal("1,5"), 1.5);
    EXPECT_EQ(ParseDecimal(" 2.25 "), 2.25);
    EXPECT_EQ(ParseDecimal("-40"), -40);
    EXPECT_EQ(ParseDecimal("abc"), 0);
    EXPECT_EQ(ParseDecimal("1.2.3"), 0);
    EXPECT_EQ(ParseDecimal("-"), 0);
    EXPECT_EQ(ParseDecimal(""), 0);
    EXPECT_EQ(ParseDecimal("1e400"), 0);
    EXPECT_EQ(BatterySizeText(""), "5");
    EXPECT_EQ(BatterySizeText("0"), "5");
    EXPECT_EQ(BatterySizeText("00"), "00");
}

TEST(PowerText, HalvesRoundToEven) {
    EXPECT_EQ(RoundHalfEven(2.5), 2);
    EXPECT_EQ(RoundHalfEven(3.5), 4);
    EXPECT_EQ(RoundHalfEven(-0.5), 0);
}

}  // namespace
}  // namespace ksr::power
