#include <gtest/gtest.h>

#include "IniTestSupport.h"
#include "setup/FileIo.h"
#include "setup/RateRules.h"
#include "setup/SetupFile.h"
#include "setup/TextFormat.h"

namespace ksr {
namespace {

class BuildTest : public ::testing::Test {
  protected:
    test::TempDir dir;
    RecorderIni ini{dir.path()};
    SetupRecord record = test::ExampleRecord();

    void Put(const std::string& name, const std::string& bytes) {
        test::WriteBytes(dir / name, bytes);
    }
    std::string Get(const std::string& name) { return test::ReadBytes(dir / name); }
    void PutTemplate() { Put("recorder.000", test::ReadBytes(test::ShippedData("recorder.000"))); }
};

TEST_F(BuildTest, PcCycleLimitIsTheAbsoluteFirstNumber) {
    Put("SHORTTMP.DAT", "-25\r\nValue above sets Minutes to shorten the PC cycle of the KSR\r\n");
    ini.IniLineCount = 7;
    ini.ReadPcCycleLimit();
    EXPECT_EQ(ini.PcCycleLimit, 25);
    EXPECT_EQ(ini.IniLineCount, 0);
    Put("SHORTTMP.DAT", "  \r\n 12 and more\r\n");
    ini.ReadPcCycleLimit();
    EXPECT_EQ(ini.PcCycleLimit, 12);
}

TEST_F(BuildTest, PcCycleLimitFromWhatTheSaveWrote) {
    WriteShortTmp(LowestTemperatureText(-30), dir.path());
    ini.ReadPcCycleLimit();
    EXPECT_EQ(ini.PcCycleLimit, 30);
}

TEST_F(BuildTest, BadShortTmpStopsTheBuildAndKeepsRecorderIni) {
    PutTemplate();
    Put("recorder.ini", "old\r\n");
    for (const char* bad : {"abc\r\n", "", "-10x\r\n", "-2147483648\r\n"}) {
        Put("SHORTTMP.DAT", bad);
        EXPECT_THROW(ini.BuildRecorderIni(record), KsrError) << bad;
        EXPECT_EQ(Get("recorder.ini"), "old\r\n");
    }
    std::filesystem::remove(dir / "SHORTTMP.DAT");
    EXPECT_THROW(ini.BuildRecorderIni(record), IoError);
    EXPECT_EQ(Get("recorder.ini"), "old\r\n");
}

TEST_F(BuildTest, MissingTemplateStopsTheBuildAndKeepsRecorderIni) {
    WriteShortTmp("-10", dir.path());
    Put("recorder.ini", "old\r\n");
    try {
        ini.BuildRecorderIni(record);
        FAIL() << "no error";
    } catch (const IoError& e) {
        EXPECT_NE(e.file().find("recorder.000"), std::string::npos);
    }
    EXPECT_EQ(Get("recorder.ini"), "old\r\n");
}

TEST_F(BuildTest, TemplateOfMoreThan400LinesIsARangeError) {
    WriteShortTmp("-10", dir.path());
    const std::string shipped = test::ReadBytes(test::ShippedData("recorder.000"));
    std::string big;
    for (std::size_t i = SplitLines(shipped).size(); i < 401; ++i) big += "k=v\r\n";
    Put("recorder.000", big + shipped);
    EXPECT_THROW(ini.BuildRecorderIni(record), RangeError);
    EXPECT_FALSE(std::filesystem::exists(dir / "recorder.ini"));
    Put("recorder.000", big.substr(5) + shipped);
    ini.LoadIniTemplate();
    EXPECT_EQ(ini.IniLineCount, 400);
}

// A template with less than the builder sets gives a recorder.ini that lacks settings: an empty
// one, one without keys, one without "[timer]" or one without a single key is refused, naming
// what is missing, and recorder.ini stays as it was.
TEST_F(BuildTest, ATemplateLackingKeysOrTheTimerLineIsRefusedNamingThem) {
    WriteShortTmp("-10", dir.path());
    Put("recorder.ini", "old\r\n");
    const std::string shipped = test::ReadBytes(test::ShippedData("recorder.000"));
    auto without = [&](const std::string& line) {
        std::string bytes;
        for (const auto& l : SplitLines(shipped))
            if (l.rfind(line, 0) != 0) bytes += l + "\r\n";
        return bytes;
    };
    const std::vector<std::pair<std::string, std::string>> cases{
        {"", "the template is empty"},
        {"# comments only\r\nplain=1\r\n", "lacks setup_name, setup_date, setup_time"},
        {without("[timer]"), "lacks [timer]:"},
        {without("gps_string="), "lacks gps_string:"},
    };
    for (const auto& [bytes, said] : cases) {
        Put("recorder.000", bytes);
        try {
            ini.BuildRecorderIni(record);
            ADD_FAILURE() << "built from a template that " << said;
        } catch (const FormatError& e) {
            EXPECT_NE(e.located().find(said), std::string::npos) << e.located();
            EXPECT_NE(e.file().find("recorder.000"), std::string::npos);
        }
        EXPECT_EQ(Get("recorder.ini"), "old\r\n");
    }
}

TEST_F(BuildTest, RecorderIniThatCannotBeCreatedIsAnError) {
    WriteShortTmp("-10", dir.path());
    PutTemplate();
    std::filesystem::create_directory(dir / "recorder.ini");
    try {
        ini.BuildRecorderIni(record);
        FAIL() << "no error";
    } catch (const IoError& e) {
        EXPECT_NE(e.file().find("recorder.ini"), std::string::npos);
    }
    EXPECT_TRUE(std::filesystem::is_directory(dir / "recorder.ini"));
}

TEST_F(BuildTest, RangeErrorDuringMergeKeepsRecorderIni) {
    WriteShortTmp("-10", dir.path());
    PutTemplate();
    Put("recorder.ini", "old\r\n");
    record.GpsParams[GpsMode] = 12;
    EXPECT_THROW(ini.BuildRecorderIni(record), RangeError);
    EXPECT_EQ(Get("recorder.ini"), "old\r\n");
}

TEST_F(BuildTest, TemplateLinesAreCutToSeventyAndLineEndsBecomeCrLf) {
    WriteShortTmp("-10", dir.path());
    Put("recorder.000", "# " + std::string(100, 'c') + "\nplain=1\r\nlast=\xB0\n" +
                            test::ReadBytes(test::ShippedData("recorder.000")));
    ini.BuildRecorderIni(record);
    EXPECT_EQ(
        Get("recorder.ini").rfind("# " + std::string(68, 'c') + "\r\nplain=1\r\nlast=\xB0\r\n", 0),
        0u);
}

TEST_F(BuildTest, ShippedTemplateHoldsEveryKeyOneTwiceAndEndsWithTimer) {
    const auto lines = SplitLines(test::ReadBytes(test::ShippedData("recorder.000")));
    ASSERT_LE(lines.size(), 400u);
    EXPECT_EQ(lines.back(), "[timer]");
    int twice = 0;
    for (int key = 1; key <= IniKeyCount; ++key) {
        if (key == PlaceholderKeyX || key == PlaceholderKeyY) continue;
        const auto count = std::count_if(lines.begin(), lines.end(), [&](const std::string& l) {
            return l.compare(0, IniKeys[key].key.size(), IniKeys[key].key) == 0;
        });
        EXPECT_GE(count, 1) << IniKeys[key].key;
        if (count == 2) ++twice;
    }
    EXPECT_GE(twice, 1);
    const auto one = std::find(lines.begin(), lines.end(), "channel_1_samplerate=100");
    ASSERT_NE(one, lines.end());
    EXPECT_EQ(one[1].rfind("channel_10_samplerate=", 0), 0u);
}

// The sample set-ups through the whole build, as saving and building in the window does.
void BuildSample(const test::TempDir& dir, const char* setFile, const char* name) {
    SetupRecord r = test::DefaultRecord(0);
    ReadSetupFile(r, test::ShippedData(std::string("examples/") + setFile));
    r.SetupName = name;
    CheckSampleRates(r);
    WriteShortTmp(LowestTemperatureText(-10), dir.path());
    test::WriteBytes(dir / "recorder.000", test::ReadBytes(test::ShippedData("recorder.000")));
    RecorderIni ini(dir.path());
    ini.BuildRecorderIni(r);
}

TEST(BuildGolden, ShippedSamplesGiveTheGoldenRecorderIni) {
    for (auto [file, name, golden] :
         {std::tuple{"timed.set", "TIMED", "golden/timed.recorder.ini"},
          std::tuple{"station1.set", "STATION1", "golden/station1.recorder.ini"}}) {
        test::TempDir dir;
        BuildSample(dir, file, name);
        EXPECT_EQ(test::ReadBytes(dir / "recorder.ini"), test::ReadBytes(test::TestData(golden)))
            << file;
    }
}

TEST_F(BuildTest, LoadRecorderIniForShowing) {
    Put("recorder.ini", "a=1\r\n" + std::string(90, 'z') + "\r\nlast");
    ini.LoadRecorderIni();
    EXPECT_EQ(ini.lines(), (std::vector<std::string>{"a=1", std::string(70, 'z'), "last"}));
    Put("recorder.ini", "");
    ini.LoadRecorderIni();
    EXPECT_EQ(ini.IniLineCount, 0);
    ini.ClearLines();
    EXPECT_EQ(ini.IniLines[2], "");
    std::filesystem::remove(dir / "recorder.ini");
    EXPECT_THROW(ini.LoadRecorderIni(), IoError);
}

}  // namespace
}  // namespace ksr
