#include <gtest/gtest.h>

#include <algorithm>

#include "IniTestSupport.h"
#include "setup/SettingTable.h"
#include "setup/SetupFile.h"

namespace ksr {
namespace {

using test::Merge;
using test::MergedLine;
using Lines = std::vector<std::string>;

TEST(IniKeys, SixtyKeysWithTheRecorderChannelNumbers) {
    EXPECT_EQ(IniKeys[1].key, "setup_name=");
    EXPECT_EQ(IniKeys[4].key, "channel_0_samplerate=");
    EXPECT_EQ(IniKeys[15].key, "channel_11_samplerate=");
    EXPECT_EQ(IniKeys[33].key, "channel_11_format=");
    EXPECT_EQ(IniKeys[37].key, "xxxxxxxx");
    EXPECT_EQ(IniKeys[45].key, "channel_15_samplerate=");
    EXPECT_EQ(IniKeys[46].key, "channel_17_samplerate=");
    EXPECT_EQ(IniKeys[53].key, "[timer]");
    EXPECT_EQ(IniKeys[60].key, "channel_5_very_low_gain=");
}

// Every setting row through the setup file and into recorder.ini: each of its values comes back
// from the file with every other setting as it was, and it changes only keys that name it (whose
// labels `compare` shows), at least one of them where any does.
TEST(IniKeys, EverySettingRowSurvivesTheFileAndReachesOnlyKeysThatNameIt) {
    SetupRecord base = test::ExampleRecord();
    for (int c = 1; c <= ChannelCount; ++c) base.PrimRateIndex[c] = 10;  // nine secondary rates
    const auto names = [](const IniKey& k, const std::string& json) {
        return (", " + std::string(k.from) + ", ").find(", " + json + ", ") != std::string::npos;
    };
    const auto valuesOf = [](const SetupRecord& r) {
        std::vector<std::string> values;
        for (const IniKey& k : IniKeys) values.push_back(k.value ? k.value(r, 10) : "");
        return values;
    };
    const std::vector<std::string> baseValues = valuesOf(base);
    for (const Setting& s : Settings()) {
        bool named = false, changed = false;
        for (const IniKey& k : IniKeys) named = named || names(k, s.json);
        std::vector<int> tried;
        for (int v = 1; v <= s.codes; ++v) tried.push_back(v);
        if (s.codes == 0) tried = {0, 17, 33};
        for (int v : tried) {
            SetupRecord r = base;
            s.set(r, v);
            const std::vector<std::string> values = valuesOf(r);
            SetupRecord back = test::ExampleRecord();
            ParseSetupFile(back, FormatSetupFile(r), "row.set");
            for (const Setting& t : Settings())
                EXPECT_EQ(t.get(back), t.get(r)) << s.json << "=" << v << ": " << t.json;
            for (int key = 1; key <= IniKeyCount; ++key) {
                if (values[key - 1] == baseValues[key - 1]) continue;
                changed = true;
                EXPECT_TRUE(names(IniKeys[key], s.json))
                    << s.json << "=" << v << " changes " << IniKeys[key].key << " (from "
                    << IniKeys[key].from << ")";
            }
        }
        EXPECT_EQ(changed, named) << s.json;
    }
}

TEST(IniMergeIdentity, NameDateAndTime) {
    SetupRecord r = test::ExampleRecord();
    r.SetupName = "TEST";
    EXPECT_EQ(Merge({"setup_name=old", "setup_date=x", "setup_time=y"}, r),
              (Lines{"setup_name=TEST", "setup_date=05-JUL-2013", "setup_time=14:07"}));
}

TEST(IniMergeRates, PrimaryAndSecondaryPerChannel) {
    SetupRecord r = test::DefaultRecord(2013);
    r.PrimRateIndex[2] = 10;
    r.PrimRateIndex[5] = 20;
    r.SecRateIndex[5] = 4;
    r.SecRateValue[5] = 750;
    EXPECT_EQ(MergedLine("channel_1_samplerate=125", r), "channel_1_samplerate=100");
    EXPECT_EQ(MergedLine("channel_4_samplerate=0", r), "channel_4_samplerate=3000");
    EXPECT_EQ(MergedLine("channel_10_samplerate=1", r), "channel_10_samplerate=750");
    EXPECT_EQ(MergedLine("channel_3_samplerate=7", r), "channel_3_samplerate=0");
}

TEST(IniMergeRates, ChannelOneKeyLeavesChannelTenAlone) {
    SetupRecord r = test::DefaultRecord(2013);
    r.SecRateValue[5] = 25;
    const Lines out = Merge({"channel_1_samplerate=125", "channel_10_samplerate=999"}, r);
    EXPECT_EQ(out, (Lines{"channel_1_samplerate=100", "channel_10_samplerate=25"}));
}

TEST(IniMergeGains, HighAndVeryLowGainFlags) {
    SetupRecord r = test::DefaultRecord(2013);
    r.GainIndex[1] = code::Gain10;
    r.GainIndex[6] = code::Gain04;
    EXPECT_EQ(MergedLine("channel_0_high_gain=0", r), "channel_0_high_gain=1");
    EXPECT_EQ(MergedLine("channel_5_high_gain=1", r), "channel_5_high_gain=0");
    EXPECT_EQ(MergedLine("channel_5_very_low_gain=0", r), "channel_5_very_low_gain=1");
    EXPECT_EQ(MergedLine("channel_0_very_low_gain=1", r), "channel_0_very_low_gain=0");
}

TEST(IniMergeFormats, DataTypeGivesFormatAndEndian) {
    SetupRecord r = test::DefaultRecord(2013);
    const char* formats[] = {"", "mini_seed", "ASCII", "legacy", "mini_seed"};
    const char* endians[] = {"", "little", "little", "little", "big"};
    for (int type = 1; type <= 4; ++type) {
        r.RecordParams[DataType] = type;
        EXPECT_EQ(MergedLine("channel_0_format=x", r),
                  std::string("channel_0_format=") + formats[type]);
        EXPECT_EQ(MergedLine("channel_11_format=x", r),
                  std::string("channel_11_format=") + formats[type]);
        EXPECT_EQ(MergedLine("endian=x", r), std::string("endian=") + endians[type]);
    }
    r.RecordParams[DataType] = 5;
    EXPECT_THROW(MergedLine("channel_3_format=x", r), RangeError);
}

TEST(IniMergeFormats, GpsLogFormatFollowsTheLogMode) {
    SetupRecord r = test::DefaultRecord(2013);
    const char* expected[] = {"", "gps", "gps2", "gps3", "gps4"};
    for (int mode = 1; mode <= 4; ++mode) {
        r.GpsParams[LogMode] = mode;
        EXPECT_EQ(MergedLine("channel_12_format=gps", r),
                  std::string("channel_12_format=") + expected[mode]);
    }
}

TEST(IniMergeStorage, FileSizeAndRingBuffer) {
    SetupRecord r = test::DefaultRecord(2013);
    r.RecordParams[FileLength] = 45;
    r.RecordParams[DiskMode] = code::RingBuffer;
    EXPECT_EQ(Merge({"mseed_filesize=60", "delete_old_data=0"}, r),
              (Lines{"mseed_filesize=45", "delete_old_data=1"}));
    r.RecordParams[DiskMode] = code::WriteOnce;
    EXPECT_EQ(MergedLine("delete_old_data=1", r), "delete_old_data=0");
}

TEST(IniMergeAux, EachFlagToItsRecorderChannelAndUBattToTwo) {
    const struct {
        int flag;
        std::vector<std::string> keys;
    } cases[] = {
        {Aux1, {"channel_18_samplerate="}},
        {Aux2, {"channel_19_samplerate="}},
        {Aux3, {"channel_20_samplerate="}},
        {Aux4, {"channel_21_samplerate="}},
        {TRec, {"channel_13_samplerate="}},
        {TDisk, {"channel_14_samplerate="}},
        {UBatt, {"channel_16_samplerate=", "channel_17_samplerate="}},
        {IBatt, {"channel_15_samplerate="}},
    };
    Lines templ;
    for (int k = 13; k <= 21; ++k)
        templ.push_back("channel_" + std::to_string(k) + "_samplerate=9");
    for (const auto& c : cases) {
        SetupRecord r = test::DefaultRecord(2013);
        r.AuxFlags[c.flag] = code::On;
        for (const std::string& line : Merge(templ, r)) {
            const bool on = std::find(c.keys.begin(), c.keys.end(),
                                      line.substr(0, line.size() - 1)) != c.keys.end();
            EXPECT_EQ(line.back(), on ? '1' : '0') << AuxChannelNames[c.flag] << " " << line;
        }
    }
}

TEST(IniMergePcCycle, ShortenFollowsTheLimit) {
    SetupRecord r = test::DefaultRecord(2013);
    const std::pair<int, const char*> cases[] = {
        {20, "9"}, {15, "0"}, {50, "10"}, {21, "10"}, {16, "5"}};
    for (auto [cycle, expected] : cases) {
        r.RecordParams[MaxPcCycle] = cycle;
        EXPECT_EQ(MergedLine("pc_off_time_shorten=3", r, 10),
                  std::string("pc_off_time_shorten=") + expected)
            << cycle;
    }
    r.RecordParams[MaxPcCycle] = 204;
    EXPECT_EQ(MergedLine("pc_off_time_shorten=3", r, 25), "pc_off_time_shorten=25");
    EXPECT_EQ(MergedLine("pc_off_time_shorten=3", r, 2147483647), "pc_off_time_shorten=193");
}

TEST(IniMergePcCycle, OverrideOnlyAbove360) {
    SetupRecord r = test::DefaultRecord(2013);
    r.RecordParams[MaxPcCycle] = 361;
    EXPECT_EQ(MergedLine("pc_off_time_override=100", r), "pc_off_time_override=360");
    r.RecordParams[MaxPcCycle] = 360;
    EXPECT_EQ(MergedLine("pc_off_time_override=100", r), "pc_off_time_override=100");
}

TEST(IniMergeGps, LowPowerCycle) {
    SetupRecord r = test::DefaultRecord(2013);
    const char* expected[] = {"",           "0,0",        "3600,300",   "7200,600",  "14400,1200",
                              "21600,1800", "28800,2400", "43200,3600", "86400,7200"};
    for (int mode = 1; mode <= 8; ++mode) {
        r.GpsParams[GpsMode] = mode;
        EXPECT_EQ(MergedLine("gps_low_power=1,1", r),
                  std::string("gps_low_power=") + expected[mode]);
    }
    r.GpsParams[GpsMode] = 9;
    EXPECT_THROW(MergedLine("gps_low_power=1,1", r), RangeError);
}

TEST(IniMergeGps, PositionStringWithSignsAndPadding) {
    SetupRecord r = test::DefaultRecord(2013);
    const struct {
        int lat, lon;
        const char* text;
    } cases[] = {{52, 13, ">SIP+52+013+0000<"},
                 {-5, -70, ">SIP-05-070+0000<"},
                 {0, 0, ">SIP+00+000+0000<"},
                 {-90, 180, ">SIP-90+180+0000<"},
                 {7, -179, ">SIP+07-179+0000<"}};
    for (const auto& c : cases) {
        r.GpsParams[GpsLat] = c.lat;
        r.GpsParams[GpsLon] = c.lon;
        EXPECT_EQ(MergedLine("gps_string=", r), std::string("gps_string=") + c.text);
    }
}

TEST(IniMergeGps, SingleSatelliteClock) {
    SetupRecord r = test::DefaultRecord(2013);
    EXPECT_EQ(MergedLine("single_satellite=1", r), "single_satellite=0");
    r.GpsParams[ClockMode] = code::LockOneSatellite;
    EXPECT_EQ(MergedLine("single_satellite=0", r), "single_satellite=1");
}

TEST(IniMergeLines, EveryMatchingLineIsReplacedOthersStay) {
    SetupRecord r = test::DefaultRecord(2013);
    r.RecordParams[FileLength] = 30;
    const Lines templ{"# mseed_filesize=60 in a comment",
                      "mseed_filesize=60",
                      "unknown_key=5",
                      "mseed_filesize=",
                      "Mseed_filesize=60",
                      " mseed_filesize=60"};
    EXPECT_EQ(Merge(templ, r),
              (Lines{"# mseed_filesize=60 in a comment", "mseed_filesize=30", "unknown_key=5",
                     "mseed_filesize=30", "Mseed_filesize=60", " mseed_filesize=60"}));
}

TEST(IniMergeLines, PlaceholderLinesAreLeftAsTheyStand) {
    SetupRecord r = test::DefaultRecord(2013);
    const Lines templ{"xxxxxxxx", "xxxxxxxx=abc", "yyyyyyyy", "yyyyyyyy old"};
    EXPECT_EQ(Merge(templ, r), templ);
}

TEST(IniMergeLines, ValuesAreCutToSeventyCharacters) {
    SetupRecord r = test::DefaultRecord(2013);
    r.SetupDate = std::string(80, 'd');
    const std::string line = MergedLine("setup_date=", r);
    EXPECT_EQ(line.size(), 70u);
    EXPECT_EQ(line, "setup_date=" + std::string(59, 'd'));
}

}  // namespace
}  // namespace ksr
