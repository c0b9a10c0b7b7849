// Comparing the recorder's recorder.ini with a local one: keys by value, repeated keys by their
// place, the timer section as lines, and the lines of the recorder's file that differ.

#include <gtest/gtest.h>

#include "recorder_ini/IniCompare.h"

namespace ksr {
namespace {

TEST(IniCompare, KeysByValueWithTheSetUpsNamesAndTheTimerSectionAsLines) {
    const std::string recorder =
        "[station]\r\nstation_code=KSR01\r\nmseed_filesize=60\r\nchannel_0_samplerate=100\r\n"
        "channel_18_samplerate=0\r\n# comment\r\nmseed_filesize=60\r\nold=1\r\n"
        "cala=05122026 030000 330 10080 1 5000 1 0\r\n\r\n[timer]\r\ntm=1\r\ntm=2\r\n";
    EXPECT_TRUE(CompareRecorderIni(recorder, recorder).equal());
    const std::string file =
        "[station]\r\nstation_code=KSR02\r\nmseed_filesize=60\r\nchannel_0_samplerate=200\r\n"
        "channel_18_samplerate=0\r\nmseed_filesize=120\r\nnew=1\r\n"
        "cala=05122026 030000 330 10080 1 5000 1 0\r\n\r\n[timer]\r\ntm=2\r\ntm=3\r\n";
    const IniComparison c = CompareRecorderIni(recorder, file);
    ASSERT_EQ(c.keys.size(), 5u);
    EXPECT_EQ(c.keys[0].key, "station_code");
    EXPECT_EQ(c.keys[0].label, "");  // passed on untouched by the builder
    EXPECT_EQ(c.keys[1].label, "Primary Rate Ch1");
    EXPECT_EQ(c.keys[1].recorder + "/" + c.keys[1].file, "100/200");
    EXPECT_EQ(c.keys[2].key, "mseed_filesize (2)");
    EXPECT_EQ(c.keys[2].label, "File Length [min]");
    EXPECT_EQ(c.keys[3].key + c.keys[3].file, "old-");
    EXPECT_EQ(c.keys[4].key + c.keys[4].recorder, "new-");
    EXPECT_EQ(c.timerOnlyOnRecorder, std::vector<std::string>{"tm=1"});
    EXPECT_EQ(c.timerOnlyInFile, std::vector<std::string>{"tm=3"});
    // The recorder's lines marked: station_code, channel_0, the second mseed_filesize, old, tm=1.
    std::vector<int> marked;
    for (std::size_t i = 0; i < c.recorderLineDiffers.size(); ++i)
        if (c.recorderLineDiffers[i]) marked.push_back(static_cast<int>(i));
    EXPECT_EQ(marked, (std::vector<int>{1, 3, 6, 7, 11}));
    EXPECT_EQ(c.differingLines(), 5);
    const IniComparison reordered = CompareRecorderIni(
        recorder, recorder.substr(0, recorder.find("tm=1")) + "tm=2\r\ntm=1\r\n");
    EXPECT_TRUE(reordered.timerOrderDiffers);
    EXPECT_FALSE(reordered.equal());
    EXPECT_EQ(IniKeyLabel("channel_19_samplerate"), "Aux2");
    EXPECT_EQ(IniKeyLabel("channel_5_very_low_gain"), "Gain Ch6");
}

}  // namespace
}  // namespace ksr
