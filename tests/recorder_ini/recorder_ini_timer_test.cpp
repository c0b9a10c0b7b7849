#include <gtest/gtest.h>

#include <filesystem>

#include "IniTestSupport.h"

namespace ksr {
namespace {

using test::Merge;
using Lines = std::vector<std::string>;

RecWindow& Window(SetupRecord& r, int n, int type, int day, int month, int year, int hour,
                  int minute) {
    RecWindow& w = r.RecWindows[n];
    w.WinType = type;
    w.StartDay = day;
    w.StartMonth = month;
    w.StartYear = year;
    w.StartHour = hour;
    w.StartMinute = minute;
    w.DurDays = 0;
    return w;
}

// The documented examples: CalOut step, PowerON repeated weekly, BURST once, CONTI.
SetupRecord TimedExample() {
    SetupRecord r = test::DefaultRecord(2013);
    r.RecordParams[RecordMode] = code::Timed;
    OutputWindow& cal = r.OutputWindows[CalOut];
    cal.OnOff = code::On;
    cal.StartMonth = 8;
    cal.StartHour = 12;
    cal.DurMinutes = 10;
    cal.DurSeconds = 0;
    RecWindow& p = Window(r, 1, code::WinPowerOn, 15, 8, 2013, 6, 30);
    p.DurDays = 2;
    p.Repeat = code::Yes;
    p.IntDays = 7;
    Window(r, 2, code::WinBurst, 1, 9, 2013, 0, 0).DurHours = 1;
    Window(r, 3, code::WinConti, 3, 10, 2013, 8, 0);
    return r;
}

TEST(TimerSection, DocumentedExampleLines) {
    EXPECT_EQ(Merge({"a=1", "[timer]"}, TimedExample()),
              (Lines{"a=1", "cala=01082013 120000 600 33333333 0 10000 0 0",
                     "burst=01092013 000000 60 33333333", "", "[timer]",
                     "tm=15082013 0630 2880 10080", "tm=03102013 0800 13333333 33333333"}));
}

TEST(TimerSection, ReplacesTheTimerLineAndDropsWhatFollowed) {
    SetupRecord r = test::DefaultRecord(2013);
    EXPECT_EQ(Merge({"a=1", "[timer]", "tm=old", "old=2"}, r), (Lines{"a=1", "", "[timer]"}));
}

TEST(TimerSection, TemplateWithoutTimerLineKeepsItsLineCount) {
    SetupRecord r = TimedExample();
    EXPECT_EQ(Merge({"a=1", "b=2", "timer=3"}, r), (Lines{"a=1", "b=2", "timer=3"}));
}

TEST(TimerSection, ContinuousRecordingPlacesOnlyOutputWindows) {
    SetupRecord r = TimedExample();
    r.RecordParams[RecordMode] = code::Conti;
    EXPECT_EQ(Merge({"[timer]"}, r),
              (Lines{"cala=01082013 120000 600 33333333 0 10000 0 0", "", "[timer]"}));
}

TEST(TimerSection, ImmediateContiAloneGivesNoLinesButWithABurstBothAppear) {
    SetupRecord r = test::DefaultRecord(2013);
    r.RecordParams[RecordMode] = code::Timed;
    Window(r, 1, code::WinConti, 0, 5, 2013, 0, 0);
    EXPECT_EQ(Merge({"[timer]"}, r), (Lines{"", "[timer]"}));

    Window(r, 2, code::WinBurst, 2, 5, 2013, 1, 2).DurMinutes = 15;
    EXPECT_EQ(Merge({"[timer]"}, r), (Lines{"burst=02052013 010200 15 33333333", "", "[timer]",
                                            "tm=00052013 0000 13333333 33333333"}));
}

TEST(TimerSection, ImmediatePowerOnCountsOnlyWithAnotherWindow) {
    SetupRecord r = test::DefaultRecord(2013);
    r.RecordParams[RecordMode] = code::Timed;
    Window(r, 1, code::WinPowerOn, 0, 5, 2013, 0, 0).DurHours = 2;
    EXPECT_EQ(Merge({"[timer]"}, r), (Lines{"", "[timer]"}));
    Window(r, 2, code::WinPowerOn, 9, 5, 2013, 0, 0).DurHours = 3;
    EXPECT_EQ(Merge({"[timer]"}, r), (Lines{"", "[timer]", "tm=00052013 0000 120 33333333",
                                            "tm=09052013 0000 180 33333333"}));
}

TEST(TimerSection, TriggerWindowsProduceNoLine) {
    SetupRecord r = test::DefaultRecord(2013);
    r.RecordParams[RecordMode] = code::Timed;
    Window(r, 1, code::WinTrigger, 1, 1, 2013, 0, 0);
    Window(r, 2, code::WinBurst, 1, 1, 2013, 0, 0).DurMinutes = 5;
    EXPECT_EQ(Merge({"[timer]"}, r), (Lines{"burst=01012013 000000 5 33333333", "", "[timer]"}));
}

TEST(TimerSection, OutputLinesForEachSignalAndOutput) {
    SetupRecord r = test::DefaultRecord(2026);
    OutputWindow& cal = r.OutputWindows[CalOut];
    cal.OnOff = code::On;
    cal.MilliVolt = -5000;
    cal.SignalType = code::Sine;
    cal.Repeat = code::Yes;
    cal.IntHours = 6;
    cal.IntDays = 0;
    EXPECT_EQ(Merge({"[timer]"}, r).at(0), "cala=01012026 000000 10 360 1 5000 1 0");
    cal.SignalType = code::Sweep;
    EXPECT_EQ(Merge({"[timer]"}, r).at(0), "cala=01012026 000000 10 360 2 5000 0.1 10");
    cal.SignalType = code::Step;
    EXPECT_EQ(Merge({"[timer]"}, r).at(0), "cala=01012026 000000 10 360 0 -5000 0 0");

    cal.OnOff = code::Off;
    r.OutputWindows[TTLOut].OnOff = code::On;
    r.OutputWindows[OPCOut].OnOff = code::On;
    r.OutputWindows[OPCOut].DurDays = 1;
    r.OutputWindows[OPCOut].StartHour = 23;
    EXPECT_EQ(Merge({"[timer]"}, r),
              (Lines{"cald1=01012026 000000 10 33333333 0",
                     "cald0=01012026 230000 86410 33333333 0", "", "[timer]"}));
}

TEST(TimerSection, RecordWindowDurationIgnoresSecondsAndContiIgnoresRepeat) {
    SetupRecord r = test::DefaultRecord(2013);
    r.RecordParams[RecordMode] = code::Timed;
    RecWindow& p = Window(r, 1, code::WinPowerOn, 1, 2, 2013, 3, 4);
    p.DurDays = 1;
    p.DurHours = 2;
    p.DurMinutes = 3;
    p.DurSeconds = 59;
    RecWindow& c = Window(r, 2, code::WinConti, 5, 6, 2013, 7, 8);
    c.Repeat = code::Yes;
    c.IntHours = 1;
    EXPECT_EQ(Merge({"[timer]"}, r), (Lines{"", "[timer]", "tm=01022013 0304 1563 33333333",
                                            "tm=05062013 0708 13333333 33333333"}));
}

TEST(TimerSection, GeneratedOnceAtTheFirstTimerLine) {
    SetupRecord r = TimedExample();
    const Lines out = Merge({"a=1", "[timer]", "x=1", "[timer]", "y=2", "z=3", "w=4"}, r);
    EXPECT_EQ(std::count(out.begin(), out.end(), "[timer]"), 1);
    EXPECT_EQ(out.size(), 7u);
    EXPECT_EQ(out.back(), "tm=03102013 0800 13333333 33333333");
}

TEST(TimerSection, KeysAfterTheTimerKeyStillApplyBeforeIt) {
    SetupRecord r = TimedExample();
    r.GainIndex[1] = code::Gain04;
    EXPECT_EQ(Merge({"channel_0_very_low_gain=0", "[timer]"}, r).at(0),
              "channel_0_very_low_gain=1");
}

TEST(TimerSection, SectionEndingBeyondLine400IsARangeError) {
    SetupRecord r = TimedExample();
    Lines templ(397, "k=v");
    templ.push_back("[timer]");  // line 398: six lines would end at 403
    try {
        Merge(templ, r);
        ADD_FAILURE() << "no error";
    } catch (const RangeError& e) {  // names the template and its "[timer]" line
        // The template in the working folder, as the system writes such a path.
        const std::string file = (std::filesystem::path(".") / "recorder.000").string();
        EXPECT_EQ(e.located(),
                  file + ":398: the timer section would end at line 403, beyond line 400");
    }
    templ.erase(templ.begin(), templ.begin() + 3);  // line 395: ends at 400
    EXPECT_EQ(Merge(templ, r).size(), 400u);
}

TEST(TimerSection, AllNinetySixWindowsFitBelowTheLimit) {
    SetupRecord r = test::DefaultRecord(2013);
    r.RecordParams[RecordMode] = code::Timed;
    for (int n = 1; n <= 96; ++n)
        Window(r, n, n % 2 ? code::WinBurst : code::WinPowerOn, 1, 1, 2013, 0, 0);
    const Lines out = Merge({"[timer]"}, r);
    EXPECT_EQ(out.size(), 98u);
    EXPECT_EQ(out[48], "");
    EXPECT_EQ(out[49], "[timer]");
}

}  // namespace
}  // namespace ksr
