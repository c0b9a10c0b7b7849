#include <gtest/gtest.h>

#include "TestSupport.h"
#include "setup/FileIo.h"
#include "setup/SetupFile.h"
#include "setup/TextFormat.h"

namespace ksr {
namespace {

std::vector<std::string> Lines(SetupRecord r) {
    return SplitLines(FormatSetupFile(r));
}

// The first-half line of record window n's report (the lines after ";w_type").
std::string WindowReportLine(const SetupRecord& r, std::size_t k) {
    const auto lines = Lines(r);
    return lines.at(28 + k - 1);
}

std::string ParamsLine(const SetupRecord& r, const std::string& marker, int occurrence = 1) {
    for (const auto& line : Lines(r))
        if (line.rfind(marker, 0) == 0 && --occurrence == 0) return line;
    return "<missing " + marker + ">";
}

TEST(SetupFileWrite, DocumentedExampleByteForByte) {
    SetupRecord r = test::ExampleRecord();
    EXPECT_EQ(FormatSetupFile(r), test::ReadBytes(test::TestData("example_test.set")));
}

TEST(SetupFileWrite, WritesToTheNamedFileAndUpperCasesTheRecordName) {
    test::TempDir dir;
    SetupRecord r = test::ExampleRecord();
    WriteSetupFile(r, dir / "test.set");
    EXPECT_EQ(r.SetupName, "TEST");
    EXPECT_EQ(test::ReadBytes(dir / "test.set"),
              test::ReadBytes(test::TestData("example_test.set")));
    EXPECT_TRUE(std::filesystem::exists(dir / "test.set"));
    EXPECT_TRUE(test::TemporaryFiles(dir.path()).empty());
}

TEST(SetupFileWrite, OnlyAsciiLettersAreUpperCased) {
    SetupRecord r = test::ExampleRecord();
    r.SetupName = "ab\xE9z09_";
    FormatSetupFile(r);
    EXPECT_EQ(r.SetupName, "AB\xE9Z09_");
}

TEST(SetupFileWrite, YearZeroIsThreeBlanksAndZero) {
    SetupRecord r = test::DefaultRecord(0);
    r.OutputWindows[TTLOut].OnOff = code::On;
    const auto lines = Lines(r);
    EXPECT_EQ(lines[24], " TTLOut ON      01-JAN-   0  00:00  000:00:00:10  NO    01:00:00");
    EXPECT_EQ(ParamsLine(r, ";;TTLOut"), ";;TTLOut   2  1  1  0  0  0  0  0  0  10  1  1  0  0");
}

TEST(SetupFileWrite, ContiWindowHasNoDurationInTheReportButAllValuesBelow) {
    SetupRecord r = test::DefaultRecord(2013);
    RecWindow& w = r.RecWindows[1];
    w.WinType = code::WinConti;
    w.StartDay = 3;
    w.StartMonth = 10;
    w.StartHour = 8;
    EXPECT_EQ(WindowReportLine(r, 1), " CONTI    03-OCT-2013  08:00");
    EXPECT_EQ(ParamsLine(r, ";;window"), ";;window   2  3  10  2013  8  0  1  0  0  0  1  1  0  0");
}

TEST(SetupFileWrite, ImmediateStartKeepsMonthAndYearOnlyInTheNumbers) {
    SetupRecord r = test::DefaultRecord(2013);
    RecWindow& w = r.RecWindows[1];
    w.WinType = code::WinBurst;
    w.StartDay = 0;
    w.StartMonth = 9;
    w.DurHours = 1;
    w.DurDays = 0;
    EXPECT_EQ(WindowReportLine(r, 1), " BURST     immediately 000:01:00:00  NO    01:00:00");
    EXPECT_EQ(ParamsLine(r, ";;window"), ";;window   4  0  9  2013  0  0  0  1  0  0  1  1  0  0");
}

TEST(SetupFileWrite, OffWindowsHaveNoLinesAndActiveOnesKeepTheirOrder) {
    SetupRecord r = test::DefaultRecord(2013);
    r.RecWindows[2].WinType = code::WinTrigger;
    r.RecWindows[7].WinType = code::WinPowerOn;
    const auto lines = Lines(r);
    EXPECT_EQ(lines[28].substr(0, 8), " TRIGGER");
    EXPECT_EQ(lines[29].substr(0, 8), " PowerON");
    EXPECT_EQ(lines[30], "");
    EXPECT_EQ(ParamsLine(r, ";;window", 1).substr(0, 12), ";;window   5");
    EXPECT_EQ(ParamsLine(r, ";;window", 2).substr(0, 12), ";;window   3");
    EXPECT_EQ(ParamsLine(r, ";;window", 3), "<missing ;;window>");
}

TEST(SetupFileWrite, OffWindowWithAMonthOutsideTheTableIsNotFormatted) {
    SetupRecord r = test::DefaultRecord(2013);
    r.RecWindows[4].StartMonth = 13;  // never shown: the window is Off
    r.OutputWindows[OPCOut].StartMonth = 0;
    EXPECT_NO_THROW(FormatSetupFile(r));
}

TEST(SetupFileWrite, OffOutputWindowEndsAfterThreeBlanksButKeepsItsNumbers) {
    SetupRecord r = test::DefaultRecord(2020);
    r.OutputWindows[CalOut].DurHours = 5;
    r.OutputWindows[CalOut].MilliVolt = -42;
    const auto lines = Lines(r);
    EXPECT_EQ(lines[23], " CalOut OFF   ");
    EXPECT_EQ(ParamsLine(r, ";;CalOut"),
              ";;CalOut   1  1  1  2020  0  0  0  5  0  10  1  1  0  0  1  -42");
}

TEST(SetupFileWrite, LongFieldsAreCutInTheReportOnly) {
    SetupRecord r = test::DefaultRecord(2013);
    OutputWindow& w = r.OutputWindows[OPCOut];
    w.OnOff = code::On;
    w.DurDays = 1234;
    w.DurHours = 100;
    w.StartYear = 12345;
    w.IntDays = 150;
    EXPECT_EQ(Lines(r)[25], " OPCOut ON      01-JAN-1234  00:00  123:10:00:10  NO    15:00:00");
    EXPECT_EQ(ParamsLine(r, ";;OPCOut"),
              ";;OPCOut   2  1  1  12345  0  0  1234  100  0  10  1  150  0  0");
}

TEST(SetupFileWrite, ARecordWindowsYearTakesTheRoomItNeeds) {
    SetupRecord r = test::DefaultRecord(2013);
    r.RecWindows[1].WinType = code::WinPowerOn;
    r.RecWindows[1].StartYear = 12026;
    r.RecWindows[2].WinType = code::WinConti;
    r.RecWindows[2].StartYear = 926;
    EXPECT_EQ(WindowReportLine(r, 1), " PowerON  01-JAN-12026  00:00 001:00:00:00  NO    01:00:00");
    EXPECT_EQ(WindowReportLine(r, 2), " CONTI    01-JAN- 926  00:00");
}

TEST(SetupFileWrite, GpsCycleAndSouthWestPosition) {
    SetupRecord r = test::DefaultRecord(2013);
    r.GpsParams[GpsMode] = 7;
    r.GpsParams[GpsLat] = -5;
    r.GpsParams[GpsLon] = -170;
    r.GpsParams[ClockMode] = 2;
    r.GpsParams[LogMode] = 1;
    EXPECT_EQ(Lines(r)[16], " CYCLE 12 h   -5\xB0 S     -170\xB0 W     1-Sat Lock    GPS string");
    r.GpsParams[GpsMode] = 2;
    r.GpsParams[GpsLat] = 0;
    r.GpsParams[GpsLon] = 0;
    EXPECT_EQ(Lines(r)[16], " CYCLE  1 h    0\xB0 N        0\xB0 E     1-Sat Lock    GPS string");
}

TEST(SetupFileWrite, ChannelLinesShowSecondaryRateWhileNumbersHoldItsColumn) {
    SetupRecord r = test::DefaultRecord(2013);
    r.PrimRateIndex[4] = 20;
    r.SecRateIndex[4] = 4;
    r.SecRateValue[4] = 750;
    r.GainIndex[4] = code::Gain04;
    const auto lines = Lines(r);
    EXPECT_EQ(lines[11], " 3000          750        0.4");
    EXPECT_EQ(ParamsLine(r, ";;s_rates"),
              ";;s_rates  10  1  1  10  1  1  10  1  1  20  4  3  1  1  1  1  1  1  ");
}

TEST(SetupFileWrite, AuxLineEndsWithFourBlanks) {
    SetupRecord r = test::DefaultRecord(2013);
    r.AuxFlags[UBatt] = code::On;
    EXPECT_EQ(Lines(r)[19], " OFF     OFF     OFF     OFF     OFF     OFF     ON      OFF    ");
}

TEST(SetupFileWrite, CodeOutsideItsTableIsARangeErrorAndTheOldFileStays) {
    test::TempDir dir;
    const std::string old = "previous contents\r\n";
    test::WriteBytes(dir / "x.set", old);
    struct Case {
        const char* field;
        void (*spoil)(SetupRecord&);
    } cases[] = {
        {"DataType 5", [](SetupRecord& r) { r.RecordParams[DataType] = 5; }},
        {"RecordMode 0", [](SetupRecord& r) { r.RecordParams[RecordMode] = 0; }},
        {"window 3 WinType 0", [](SetupRecord& r) { r.RecWindows[3].WinType = 0; }},
        {"window 1 WinType 6", [](SetupRecord& r) { r.RecWindows[1].WinType = 6; }},
        {"GainIndex[2] 4", [](SetupRecord& r) { r.GainIndex[2] = 4; }},
        {"PrimRateIndex[6] 21", [](SetupRecord& r) { r.PrimRateIndex[6] = 21; }},
        {"GpsMode 9", [](SetupRecord& r) { r.GpsParams[GpsMode] = 9; }},
        {"LogMode 0", [](SetupRecord& r) { r.GpsParams[LogMode] = 0; }},
        {"TDisk 3", [](SetupRecord& r) { r.AuxFlags[TDisk] = 3; }},
        {"CalOut SignalType 4",
         [](SetupRecord& r) {
             r.OutputWindows[CalOut].OnOff = 2;
             r.OutputWindows[CalOut].SignalType = 4;
         }},
        {"TTLOut StartMonth 13",
         [](SetupRecord& r) {
             r.OutputWindows[TTLOut].OnOff = 2;
             r.OutputWindows[TTLOut].StartMonth = 13;
         }},
    };
    for (const Case& c : cases) {
        SetupRecord r = test::DefaultRecord(2013);
        c.spoil(r);
        try {
            WriteSetupFile(r, dir / "x.set");
            ADD_FAILURE() << "no error for " << c.field;
        } catch (const RangeError& e) {
            EXPECT_NE(e.message().find(c.field), std::string::npos) << e.message();
        }
        EXPECT_EQ(test::ReadBytes(dir / "x.set"), old) << c.field;
    }
}

TEST(SetupFileWrite, ARangeErrorNamesTheFileAndTheLineThatShowsTheCode) {
    test::TempDir dir;
    SetupRecord r = test::DefaultRecord(2013);
    r.RecordParams[DataType] = 5;
    try {
        WriteSetupFile(r, dir / "x.set");
        FAIL() << "no error";
    } catch (const RangeError& e) {
        EXPECT_EQ(e.located(), (dir / "x.set").string() + ":6: DataType 5 is out of range (1..4)");
    }
    r = test::DefaultRecord(2013);
    r.RecWindows[2].WinType = 7;  // window 1 is Off: no line of its own
    try {
        WriteSetupFile(r, dir / "x.set");
        FAIL() << "no error";
    } catch (const RangeError& e) {
        EXPECT_EQ(e.line(), 29) << e.located();
    }
}

TEST(SetupFileWrite, AFailedSaveLeavesTheNameAsTypedForTheRetry) {
    test::TempDir dir;
    SetupRecord r = test::ExampleRecord();
    r.SetupName = "station1";
    EXPECT_THROW(WriteSetupFile(r, dir / "gone" / "station1.set"), IoError);
    EXPECT_EQ(r.SetupName, "station1");  // a retry names its file as the first try did
    EXPECT_THROW(SaveSetupFiles(r, dir / "gone" / "station1.set", "-10"), IoError);
    EXPECT_EQ(r.SetupName, "station1");
    SaveSetupFiles(r, dir / "station1.set", "-10");
    EXPECT_EQ(r.SetupName, "STATION1");
}

TEST(SetupFileWrite, SavingWritesTheSetupFileAndShortTmpBothOrNeither) {
    test::TempDir dir;
    std::filesystem::create_directory(dir / "SHORTTMP.DAT");  // cannot be replaced
    SetupRecord r = test::ExampleRecord();
    EXPECT_THROW(SaveSetupFiles(r, dir / "test.set", "-20"), IoError);
    EXPECT_FALSE(std::filesystem::exists(dir / "test.set"));
    std::filesystem::remove(dir / "SHORTTMP.DAT");
    SaveSetupFiles(r, dir / "test.set", "-20");
    EXPECT_EQ(test::ReadBytes(dir / "test.set"),
              test::ReadBytes(test::TestData("example_test.set")));
    EXPECT_EQ(test::ReadBytes(dir / "SHORTTMP.DAT"), ShortTmpBytes("-20"));
}

TEST(ShortTmp, TwoLinesWithTheLowestTemperature) {
    test::TempDir dir;
    WriteShortTmp(LowestTemperatureText(-15), dir.path());
    EXPECT_EQ(test::ReadBytes(dir / "SHORTTMP.DAT"),
              "-15\r\nValue above sets Minutes to shorten the PC cycle of the KSR\r\n");
    EXPECT_EQ(LowestTemperatureText(-30), "-30");
    EXPECT_EQ(LowestTemperatureText(5), " 5");
}

TEST(ShortTmp, ReplacesAnOlderFileWhole) {
    test::TempDir dir;
    test::WriteBytes(dir / "SHORTTMP.DAT", std::string(500, 'x'));
    WriteShortTmp("-10", dir.path());
    EXPECT_EQ(test::ReadBytes(dir / "SHORTTMP.DAT").size(), 5u + 61u);
}

TEST(SetupName, TakenFromTheFileName) {
    EXPECT_EQ(SetupNameFromPath("/home/op/abcdefghij.set"), "cdefghij");
    EXPECT_EQ(SetupNameFromPath("C:\\a.set"), "a");
    EXPECT_EQ(SetupNameFromPath("C:\\field\\2026\\station1.set"), "station1");
    EXPECT_EQ(SetupNameFromPath("timed.set"), "timed");
    EXPECT_EQ(SetupNameFromPath("dir/.set"), "");
}

// A build names the set-up as the window does on opening the file; a name that recorder.ini
// cannot carry is refused, never renamed.
TEST(SetupName, ABuildTakesTheNameAsTheWindowDoesAndRefusesWhatRecorderIniCannotCarry) {
    EXPECT_EQ(SetupNameForBuild("station1.set"), "STATION1");
    EXPECT_EQ(SetupNameForBuild("FIELDS~1.set"), "FIELDS~1");
    EXPECT_EQ(SetupNameForBuild("dir/st-1 x.set"), "ST-1 X");
    EXPECT_EQ(SetupNameForBuild("my_set.set"), "MY_SET");
    EXPECT_EQ(SetupNameForBuild("a.b.set"), "A.B");
    EXPECT_EQ(SetupNameForBuild("~~.set"), "~~");
    EXPECT_EQ(SetupNameForBuild("ridge-s01.set"), "IDGE-S01");  // the last 12 characters
    for (const std::string bad : {"a\nb.set", "st\xC3\xA4tion.set", "a\x7F.set", ".set", "...set"})
        EXPECT_THROW(SetupNameForBuild(bad), KsrError) << bad;
    try {
        SetupNameForBuild("dir/a\nb.set");
    } catch (const KsrError& e) {
        EXPECT_EQ(e.locatedEscaped().rfind("dir/a\\x0Ab.set: ", 0), 0u);
        EXPECT_NE(e.message().find("\"a\\x0Ab\""), std::string::npos) << e.message();
    }
    EXPECT_EQ(RenamedStem("dir/station1.set", "STATION1"), "");
    EXPECT_EQ(RenamedStem("ridge-s01.set", "IDGE-S01"), "ridge-s01");
    EXPECT_EQ(SetupNameCharacters("ab_cd-ef-gh"), "abcdef");  // only the first 8 characters count
}

}  // namespace
}  // namespace ksr
