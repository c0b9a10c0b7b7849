#include <gtest/gtest.h>

#include "TestSupport.h"
#include "setup/RateRules.h"

namespace ksr {
namespace {

void SetChannel(SetupRecord& r, int c, int prim, int sec, int gain = code::Gain1) {
    r.PrimRateIndex[c] = prim;
    r.SecRateIndex[c] = sec;
    r.SecRateValue[c] = SecondaryRates[prim][sec];
    r.GainIndex[c] = gain;
}

TEST(RateRulesGainGroups, OneChannelAtPointFourTakesItsWholeGroup) {
    SetupRecord r = test::DefaultRecord();
    r.GainIndex[1] = code::Gain04;
    r.GainIndex[2] = code::Gain1;
    r.GainIndex[3] = code::Gain10;
    r.GainIndex[5] = code::Gain10;
    CheckSampleRates(r);
    EXPECT_EQ(r.GainIndex, (Array1<int, 6>{{3, 3, 3, 1, 2, 1}}));
}

TEST(RateRulesGainGroups, SecondGroupIsIndependent) {
    SetupRecord r = test::DefaultRecord();
    r.GainIndex[6] = code::Gain04;
    r.GainIndex[2] = code::Gain10;
    CheckSampleRates(r);
    EXPECT_EQ(r.GainIndex, (Array1<int, 6>{{1, 2, 1, 3, 3, 3}}));
}

TEST(RateRulesGainGroups, NoPointFourNoChange) {
    SetupRecord r = test::DefaultRecord();
    r.GainIndex[1] = code::Gain10;
    r.GainIndex[4] = code::Gain10;
    CheckSampleRates(r);
    EXPECT_EQ(r.GainIndex, (Array1<int, 6>{{2, 1, 1, 2, 1, 1}}));
}

TEST(RateRulesMaxPcCycle, DocumentedExamples) {
    SetupRecord r = test::DefaultRecord();
    CheckSampleRates(r);  // three channels at 100 sps, stream 2 off
    EXPECT_EQ(r.RecordParams[MaxPcCycle], 204);

    for (int c = 1; c <= 6; ++c) SetChannel(r, c, 1, 1);
    CheckSampleRates(r);
    EXPECT_EQ(r.RecordParams[MaxPcCycle], 3994);

    for (int c = 1; c <= 6; ++c) SetChannel(r, c, 20, 4);  // 3000 + 750 each
    CheckSampleRates(r);
    EXPECT_EQ(r.RecordParams[MaxPcCycle], -4);  // stored as computed
}

TEST(RateRulesMaxPcCycle, CountsBothStreams) {
    SetupRecord r = test::DefaultRecord();
    SetChannel(r, 1, 10, 9);  // 100 + 50
    CheckSampleRates(r);
    // S = 350: 16000000 div (350*240 + 4000) = 181, minus 6
    EXPECT_EQ(r.RecordParams[MaxPcCycle], 175);
}

TEST(RateRulesFileLength, CappedByTheHighestPrimaryRate) {
    SetupRecord r = test::DefaultRecord();
    SetChannel(r, 5, 19, 1);  // 1000 sps
    r.RecordParams[FileLength] = 60;
    CheckSampleRates(r);
    EXPECT_EQ(r.RecordParams[FileLength], 30);

    r.RecordParams[FileLength] = 20;
    CheckSampleRates(r);
    EXPECT_EQ(r.RecordParams[FileLength], 20);
}

TEST(RateRulesFileLength, AllChannelsOffCapsAtOneDay) {
    SetupRecord r = test::DefaultRecord();
    for (int c = 1; c <= 6; ++c) SetChannel(r, c, 1, 1);
    r.RecordParams[FileLength] = 5000;
    CheckSampleRates(r);
    EXPECT_EQ(r.RecordParams[FileLength], 1440);
}

TEST(RateRulesFileLength, RatesAreNeverChanged) {
    SetupRecord r = test::DefaultRecord();
    SetChannel(r, 2, 20, 3);
    const auto prim = r.PrimRateIndex;
    const auto sec = r.SecRateIndex;
    const auto value = r.SecRateValue;
    CheckSampleRates(r);
    EXPECT_EQ(r.PrimRateIndex, prim);
    EXPECT_EQ(r.SecRateIndex, sec);
    EXPECT_EQ(r.SecRateValue, value);
    EXPECT_EQ(r.RecordParams[FileLength], 10);
}

TEST(RateRulesErrors, PrimaryIndexOutsideTheTable) {
    SetupRecord r = test::DefaultRecord();
    r.PrimRateIndex[3] = 21;
    EXPECT_THROW(CheckSampleRates(r), RangeError);
    r.PrimRateIndex[3] = 0;
    EXPECT_THROW(CheckSampleRates(r), RangeError);
}

}  // namespace
}  // namespace ksr
