#include <gtest/gtest.h>

#include "TestSupport.h"
#include "setup/SetupFile.h"

namespace ksr {
namespace {

// A setup file whose readable half is a stub: only the numbers count.
std::string NumbersFile(const std::vector<std::string>& windows = {},
                        const std::string& recMode = ";;rec_mode 2  3  30  2  99",
                        const std::string& tail = ";;end") {
    std::string f = "FIELD\r\n01-FEB-2026\r\n10:30\r\n\r\nanything at all\r\n;;params pointer\r\n";
    f += recMode + "\r\n";
    f += ";;s_rates  19  9  2  10  3  1  3  9  3  1  5  1  1  1  1  1  1  1\r\n";
    f += ";;gps_mode 3  -12  130  2  2\r\n";
    f += ";;aux_mode 2  1  2  1  2  1  2  1\r\n";
    f += ";;CalOut   2  1  8  2013  12  0  0  0  10  0  1  1  0  0  3  -7000\r\n";
    f += ";;TTLOut   2  2  3  4  5  6  7  8  9  10  2  12  13  14\r\n";
    f += ";;OPCOut   1  1  1  2013  0  0  0  0  0  10  1  1  0  0\r\n";
    for (const auto& w : windows) f += w + "\r\n";
    return f + tail + "\r\n";
}

SetupRecord Parse(const std::string& bytes, SetupRecord start = test::DefaultRecord(2026)) {
    ParseSetupFile(start, bytes, "in.set");
    return start;
}

// Parses a damaged file: it must throw an error of type Error and leave the record untouched.
template <class Error>
KsrError ParseFails(const std::string& bytes) {
    SetupRecord r = test::DefaultRecord(2026);
    r.SetupName = "KEEP";
    const SetupRecord before = r;
    try {
        ParseSetupFile(r, bytes, "in.set");
    } catch (const KsrError& e) {
        EXPECT_NE(dynamic_cast<const Error*>(&e), nullptr) << "wrong error type: " << e.located();
        EXPECT_EQ(r, before) << "a failed read changed the record";
        EXPECT_EQ(e.file(), "in.set");
        return e;
    }
    ADD_FAILURE() << "no error";
    return KsrError("none");
}

TEST(SetupFileRead, DocumentedExampleGivesTheRecordItWasMadeFrom) {
    SetupRecord read = test::DefaultRecord(2013);
    ReadSetupFile(read, test::TestData("example_test.set"));
    SetupRecord expected = test::ExampleRecord();
    expected.SetupName = "TEST";
    EXPECT_EQ(read, expected);
}

TEST(SetupFileRead, EveryNumberGoesToItsField) {
    const SetupRecord r =
        Parse(NumbersFile({";;window   4  0  9  2013  1  2  3  4  5  6  2  7  8  9"}));
    EXPECT_EQ(r.SetupName, "FIELD");
    EXPECT_EQ(r.SetupDate, "01-FEB-2026");
    EXPECT_EQ(r.SetupTime, "10:30");
    EXPECT_EQ(r.RecordParams, (Array1<int, 5>{{2, 3, 30, 2, 99}}));
    EXPECT_EQ(r.PrimRateIndex, (Array1<int, 6>{{19, 10, 3, 1, 1, 1}}));
    EXPECT_EQ(r.SecRateIndex, (Array1<int, 6>{{9, 3, 9, 5, 1, 1}}));
    EXPECT_EQ(r.GainIndex, (Array1<int, 6>{{2, 1, 3, 1, 1, 1}}));
    EXPECT_EQ(r.SecRateValue, (Array1<int, 6>{{500, 2, 200, 0, 0, 0}}));
    EXPECT_EQ(r.GpsParams, (Array1<int, 5>{{3, -12, 130, 2, 2}}));
    EXPECT_EQ(r.AuxFlags, (Array1<int, 8>{{2, 1, 2, 1, 2, 1, 2, 1}}));
    EXPECT_EQ(r.OutputWindows[CalOut].SignalType, 3);
    EXPECT_EQ(r.OutputWindows[CalOut].MilliVolt, -7000);
    const OutputWindow& ttl = r.OutputWindows[TTLOut];
    for (int i = 1; i <= 14; ++i) EXPECT_EQ(ttl.field(i), i == 1 ? 2 : i == 11 ? 2 : i) << i;
    const RecWindow& w = r.RecWindows[1];
    EXPECT_EQ(w.WinType, 4);
    EXPECT_EQ(w.StartDay, 0);
    EXPECT_EQ(w.StartMonth, 9);
    EXPECT_EQ(w.DurSeconds, 6);
    EXPECT_EQ(w.IntMinutes, 9);
}

TEST(SetupFileRead, OnlyTheFirstEightCharactersOfLineOneNameTheSetUp) {
    std::string f = NumbersFile();
    f.replace(0, 5, "ABCDEFGHIJKL");
    EXPECT_EQ(Parse(f).SetupName, "ABCDEFGH");
}

TEST(SetupFileRead, ValuesMayStandOnSeveralLinesAndExtraTextAfterThemIsSkipped) {
    std::string f =
        NumbersFile({}, ";;rec_mode 2\r\n 1\t 45\r\n\r\n  1  7 these words are ignored");
    const SetupRecord r = Parse(f);
    EXPECT_EQ(r.RecordParams, (Array1<int, 5>{{2, 1, 45, 1, 7}}));
    EXPECT_EQ(r.PrimRateIndex[1], 19);
}

TEST(SetupFileRead, LineFeedOnlyFilesReadTheSame) {
    std::string crlf = test::ReadBytes(test::TestData("example_test.set"));
    std::string lf;
    for (char c : crlf)
        if (c != '\r') lf += c;
    SetupRecord a = test::DefaultRecord(2013), b = test::DefaultRecord(2013);
    ParseSetupFile(a, crlf, "a");
    ParseSetupFile(b, lf, "b");
    EXPECT_EQ(a, b);
}

TEST(SetupFileRead, WindowsComeBackPackedAndLaterOnesKeepTheirContents) {
    SetupRecord written = test::DefaultRecord(2013);
    written.SetupDate = "05-JUL-2013";
    written.SetupTime = "14:07";
    written.RecWindows[1].WinType = code::WinPowerOn;
    written.RecWindows[3].WinType = code::WinBurst;
    written.RecWindows[3].StartDay = 17;
    const std::string bytes = FormatSetupFile(written);

    SetupRecord target = test::DefaultRecord(2013);
    target.RecWindows[3].WinType = code::WinTrigger;
    target.RecWindows[3].StartHour = 21;
    target.RecWindows[2].TriggerFields[4] = 55;
    target.SetupSaved = 0;
    ParseSetupFile(target, bytes, "w.set");
    EXPECT_EQ(target.RecWindows[1].WinType, code::WinPowerOn);
    EXPECT_EQ(target.RecWindows[2].WinType, code::WinBurst);
    EXPECT_EQ(target.RecWindows[2].StartDay, 17);
    EXPECT_EQ(target.RecWindows[2].TriggerFields[4], 55);
    EXPECT_EQ(target.RecWindows[3].WinType, code::WinTrigger);
    EXPECT_EQ(target.RecWindows[3].StartHour, 21);
    EXPECT_EQ(target.SetupSaved, 0);
}

TEST(SetupFileRead, EndMarkerWithTrailingBlanksStillEnds) {
    EXPECT_NO_THROW(Parse(NumbersFile({}, ";;rec_mode 2  3  30  2  99", ";;end   ")));
}

TEST(SetupFileRead, YearsAndOtherNumbersAreReadAsTheyStand) {
    const SetupRecord r =
        Parse(NumbersFile({";;window   2  0  12  99999  23  59  0  0  0  0  1  0  0  0"},
                          ";;rec_mode 1  1  0  1  -4"));
    EXPECT_EQ(r.RecWindows[1].StartDay, 0);  // immediately
    EXPECT_EQ(r.RecWindows[1].StartYear, 99999);
    EXPECT_EQ(r.RecWindows[1].StartHour, 23);
    EXPECT_EQ(r.RecordParams[FileLength], 0);
    EXPECT_EQ(r.RecordParams[MaxPcCycle], -4);
}

// A file that reads must also write and build: a start the report cannot show as a date, or the
// builder would stamp as "tm=10132026", is refused where it stands.
TEST(SetupFileReadErrors, StartsThatAreNoDateOrTimeNameFieldFileAndLine) {
    struct Case {
        std::string window, calOut, field;
    } cases[] = {
        {";;window   2  10  13  2026  6  0  0  0  0  0  1  0  0  0", "", "window 1 StartMonth 13"},
        {";;window   2  10  0  2026  6  0  0  0  0  0  1  0  0  0", "", "window 1 StartMonth 0"},
        {";;window   3  32  1  2026  6  0  0  0  0  0  1  0  0  0", "", "window 1 StartDay 32"},
        {";;window   4  1  1  2026  24  0  0  0  0  0  1  0  0  0", "", "window 1 StartHour 24"},
        {";;window   5  1  1  2026  0  60  0  0  0  0  1  0  0  0", "", "window 1 StartMinute 60"},
        {"", ";;CalOut   1  0  8  2013  12  0  0  0  10  0  1  1  0  0  3  -7000",
         "CalOut StartDay 0"},
        {"", ";;CalOut   1  1  8  2013  -1  0  0  0  10  0  1  1  0  0  3  -7000",
         "CalOut StartHour -1"},
        // A negative duration or interval is no time at all.
        {";;window   2  1  1  2026  6  0  -1  0  0  0  1  0  0  0", "", "window 1 DurDays -1"},
        {";;window   2  1  1  2026  6  0  0  0  5  0  2  0  0  -5", "", "window 1 IntMinutes -5"},
        {"", ";;CalOut   1  1  8  2013  12  0  0  -2  10  0  1  1  0  0  3  -7000",
         "CalOut DurHours -2"},
    };
    for (const Case& c : cases) {
        std::string file = NumbersFile(c.window.empty() ? std::vector<std::string>{}
                                                        : std::vector<std::string>{c.window});
        if (!c.calOut.empty()) {
            const auto at = file.find(";;CalOut");
            file.replace(at, file.find("\r\n", at) - at, c.calOut);
        }
        const auto e = ParseFails<RangeError>(file);
        EXPECT_NE(e.message().find(c.field), std::string::npos) << e.located();
        EXPECT_EQ(e.line(), c.window.empty() ? 11 : 14) << e.located();
    }
}

// The date and time lines go into recorder.ini as they stand: without them (or with something
// else there) the file is refused at the line, never built with the time as its date.
TEST(SetupFileReadErrors, ADateOrTimeLineMissingOrMalformedNamesItsLine) {
    const std::string good = NumbersFile({});
    const std::string rest = good.substr(good.find("\r\n\r\n"));
    struct Case {
        std::string start;
        int line;
    };
    for (const Case& c :
         {Case{"FIELD\r\n10:30", 2}, Case{"FIELD\r\n01-FEB-2026", 3},
          Case{"FIELD\r\n01-FEB-2026\r\n10:30 pm", 3}, Case{"FIELD\r\n32-FEB-2026\r\n10:30", 2},
          Case{"FIELD\r\n01-FEX-2026\r\n10:30", 2}, Case{"FIELD\r\n01-FEB-2026\r\n24:00", 3}}) {
        const auto e = ParseFails<FormatError>(c.start + rest);
        EXPECT_EQ(e.line(), c.line) << c.start;
        EXPECT_NE(e.message().find(c.line == 2 ? "date" : "time"), std::string::npos)
            << e.located();
    }
}

TEST(SetupFileReadErrors, TextWhereANumberMustStandNamesItsLine) {
    const auto e = ParseFails<InvalidNumberError>(NumbersFile({}, ";;rec_mode 2  x3  30  2  99"));
    EXPECT_EQ(e.line(), 7);
    EXPECT_NE(e.message().find("\"x3\""), std::string::npos) << e.message();
    EXPECT_EQ(e.located().rfind("in.set:7: ", 0), 0u) << e.located();
}

TEST(SetupFileReadErrors, AHugeOrControlCharacterTokenIsEchoedShortAndHarmless) {
    const std::string token = "7" + std::string(10'000'000, 'x');
    const auto e = ParseFails<InvalidNumberError>(NumbersFile({}, ";;rec_mode 2  " + token));
    EXPECT_EQ(e.located(),
              "in.set:7: \"7" + std::string(39, 'x') + "...\" is not a valid whole number");
    const auto esc = ParseFails<InvalidNumberError>(NumbersFile({}, ";;rec_mode 2  3\x1b[2J"));
    EXPECT_NE(esc.message().find("\"3\\x1B[2J\""), std::string::npos) << esc.message();
}

TEST(SetupFileReadErrors, NumbersBeyondThirtyTwoBitsAreInvalid) {
    ParseFails<InvalidNumberError>(NumbersFile({}, ";;rec_mode 2  3  99999999999  2  99"));
}

TEST(SetupFileReadErrors, CodesOutsideTheirTablesAreRangeErrorsNamingFieldAndValue) {
    struct Case {
        std::string recMode, window, field;
    } cases[] = {
        {";;rec_mode 3  1  30  1  0", "", "RecordMode 3"},
        {";;rec_mode 1  5  30  1  0", "", "DataType 5"},
        {";;rec_mode 1  0  30  1  0", "", "DataType 0"},
        {";;rec_mode 1  1  30  3  0", "", "DiskMode 3"},
        {";;rec_mode 1  1  30  1  0", ";;window   6  1  1  2013  0  0  0  0  0  0  1  0  0  0",
         "window 1 WinType 6"},
        {";;rec_mode 1  1  30  1  0", ";;window   0  1  1  2013  0  0  0  0  0  0  1  0  0  0",
         "window 1 WinType 0"},
        {";;rec_mode 1  1  30  1  0", ";;window   2  1  1  2013  0  0  0  0  0  0  3  0  0  0",
         "window 1 Repeat 3"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> windows;
        if (!c.window.empty()) windows.push_back(c.window);
        const auto e = ParseFails<RangeError>(NumbersFile(windows, c.recMode));
        EXPECT_NE(e.message().find(c.field), std::string::npos) << e.message();
        EXPECT_GT(e.line(), 6);
    }
}

TEST(SetupFileReadErrors, CodesInTheOtherSectionsAreCheckedToo) {
    const std::string good = NumbersFile();
    struct Case {
        std::string from, to, field;
    } cases[] = {
        {";;s_rates  19", ";;s_rates  21", "PrimRateIndex[1] 21"},
        {";;s_rates  19  9", ";;s_rates  19  10", "SecRateIndex[1] 10"},
        {";;s_rates  19  9  2", ";;s_rates  19  9  4", "GainIndex[1] 4"},
        {";;gps_mode 3", ";;gps_mode 9", "GpsMode 9"},
        {"-12  130  2", "-12  130  3", "ClockMode 3"},
        {"130  2  2", "130  2  5", "LogMode 5"},
        {";;aux_mode 2  1  2", ";;aux_mode 2  1  0", "Aux3 0"},
        {";;CalOut   2", ";;CalOut   3", "CalOut OnOff 3"},
        {"0  3  -7000", "0  4  -7000", "CalOut SignalType 4"},
        {";;OPCOut   1", ";;OPCOut   0", "OPCOut OnOff 0"},
    };
    for (const Case& c : cases) {
        std::string f = good;
        const auto at = f.find(c.from);
        ASSERT_NE(at, std::string::npos) << c.from;
        f.replace(at, c.from.size(), c.to);
        const auto e = ParseFails<RangeError>(f);
        EXPECT_NE(e.message().find(c.field), std::string::npos) << e.message();
    }
}

TEST(SetupFileReadErrors, MoreThan96WindowsIsARangeError) {
    std::vector<std::string> windows(97, ";;window   2  1  1  2013  0  0  0  0  0  0  1  0  0  0");
    const auto e = ParseFails<RangeError>(NumbersFile(windows));
    EXPECT_NE(e.message().find("96"), std::string::npos);
    windows.pop_back();
    const SetupRecord r = Parse(NumbersFile(windows));
    EXPECT_EQ(r.RecWindows[96].WinType, code::WinConti);
}

TEST(SetupFileReadErrors, FileEndingBeforeEndMarkerNamesTheLastLine) {
    std::string f = NumbersFile({";;window   2  1  1  2013  0  0  0  0  0  0  1  0  0  0"});
    f.resize(f.find(";;end"));
    const auto e = ParseFails<FormatError>(f);
    EXPECT_NE(e.message().find(";;end"), std::string::npos);
    EXPECT_EQ(e.line(), 14);

    std::string cut = NumbersFile();
    cut.resize(cut.find(";;gps_mode") + 14);  // in the middle of the GPS numbers
    ParseFails<FormatError>(cut);
}

TEST(SetupFileReadErrors, FileWithoutParamsLineIsAnErrorAtItsEnd) {
    const auto e = ParseFails<FormatError>("NAME\r\n01-FEB-2026\r\n10:30\r\n\r\nonly a report\r\n");
    EXPECT_NE(e.message().find(";;params"), std::string::npos);
    EXPECT_EQ(e.line(), 5);
    ParseFails<FormatError>("");
}

TEST(SetupFileReadErrors, MissingFileIsAnIoErrorNamingIt) {
    test::TempDir dir;
    SetupRecord r = test::DefaultRecord(2026);
    try {
        ReadSetupFile(r, dir / "none.set");
        FAIL() << "no error";
    } catch (const IoError& e) {
        EXPECT_NE(e.file().find("none.set"), std::string::npos);
        EXPECT_NE(e.message().find("No such file"), std::string::npos) << e.message();
    }
}

}  // namespace
}  // namespace ksr
