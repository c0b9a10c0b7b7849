#include <gtest/gtest.h>

#include <functional>

#include "upload/UploadDialogue.h"

namespace ksr::upload {
namespace {

// A scripted line: records every action with the time of a fake clock.
class FakeLine : public UploadLine {
  public:
    std::vector<std::string> actions;
    long long clock = 0;
    bool cts = true;
    std::function<bool(const std::string&)> prompt = [](const std::string&) { return true; };
    std::function<void(FakeLine&)> onWait;

    bool isOpen() override { return opened; }
    void open() override {
        opened = true;
        log("open");
    }
    void flushIn() override { log("flush"); }
    void put(const std::string& text) override { log("put " + text); }
    bool waitFor(const std::string& text, int ticks) override {
        const bool found = prompt(text);
        log("wait " + text + (found ? " found" : " missed"));
        clock += found ? 0 : ticks * 55;
        return found;
    }
    bool clearToSend() override {
        log(cts ? "cts on" : "cts off");
        return cts;
    }
    void setRts(bool on) override { log(on ? "rts on" : "rts off"); }
    void sleep(int ms) override {
        log("sleep " + std::to_string(ms));
        clock += ms;
    }
    void responsiveWait(int ms) override {
        log("wait " + std::to_string(ms));
        clock += ms;
        if (onWait) onWait(*this);
    }
    bool opened = false;

  private:
    void log(const std::string& what) { actions.push_back(std::to_string(clock) + " " + what); }
};

class FakeView : public UploadView {
  public:
    std::vector<std::string> texts;
    void status(StatusKind, const std::string& text) override { texts.push_back(text); }
};

TEST(UploadDialogue, RecorderThatAnswersAtOnce) {
    FakeLine line;
    FakeView view;
    UploadDialogue d(line, view);
    EXPECT_TRUE(d.CONNECT2KSR());
    // Each action at the time it starts: ETX 200 ms after the port opens, "root" 1000 ms after
    // "login:", the password 100 ms after "Password:", "cd" 2000 ms later, "kermit -r" 1000 ms
    // after that, and the caller's first packet another 1000 ms later.
    const std::vector<std::string> expected{"0 open",
                                            "0 sleep 200",
                                            "200 flush",
                                            "200 put \x03",
                                            "200 sleep 200",
                                            "400 cts on",
                                            "400 wait login: found",
                                            "400 sleep 1000",
                                            "1400 put root\r",
                                            "1400 wait Password: found",
                                            "1400 sleep 100",
                                            "1500 put kelp\r",
                                            "1500 sleep 2000",
                                            "3500 put cd /usr/local/wexo\r",
                                            "3500 sleep 1000",
                                            "4500 put kermit -r\r",
                                            "4500 sleep 1000"};
    EXPECT_EQ(line.actions, expected);
    EXPECT_EQ(line.clock, 5500);
    EXPECT_EQ(view.texts, (std::vector<std::string>{ConnectedText, TransmittingText}));
}

TEST(UploadDialogue, MissingPromptsEndEachAttemptWithLogout) {
    FakeLine line;
    FakeView view;
    int attempts = 0;
    line.prompt = [&](const std::string& text) {
        return text == LoginPrompt ? ++attempts >= 3 : true;
    };
    UploadDialogue d(line, view);
    EXPECT_TRUE(d.CONNECT2KSR());
    int logouts = 0;
    for (const auto& a : line.actions) logouts += a.find("put logout\r") != std::string::npos;
    EXPECT_EQ(logouts, 2);
    EXPECT_EQ(view.texts.size(), 4u);  // "connected" after every wait, then "transmitting"
}

TEST(UploadDialogue, AbsentClearToSendIsAskedAgainEvery2200MsUntilEscape) {
    FakeLine line;
    FakeView view;
    line.cts = false;
    UploadDialogue d(line, view);
    int waits = 0;
    line.onWait = [&](FakeLine&) {
        if (++waits == 7) d.requestEscape();  // during the fourth pass
    };
    EXPECT_FALSE(d.CONNECT2KSR());
    std::vector<long long> asked;
    for (const auto& a : line.actions)
        if (a.find("cts off") != std::string::npos) asked.push_back(std::stoll(a));
    ASSERT_EQ(asked.size(), 4u);
    for (std::size_t i = 1; i < asked.size(); ++i) EXPECT_EQ(asked[i] - asked[i - 1], 2200);
    for (const auto& a : line.actions) EXPECT_EQ(a.find("put root"), std::string::npos);
    EXPECT_TRUE(view.texts.empty());
}

TEST(UploadDialogue, EveryDialogueStartsWithoutAnEscapeRequest) {
    FakeLine line;
    FakeView view;
    UploadDialogue d(line, view);
    d.requestEscape();
    EXPECT_TRUE(d.CONNECT2KSR());
}

TEST(UploadDialogue, SuccessSendsOneReturnAndTheReconfigureCommandFailureNothing) {
    FakeLine line;
    FakeView view;
    UploadDialogue d(line, view);
    d.transferEnded(2);
    EXPECT_TRUE(line.actions.empty());
    EXPECT_EQ(view.texts.back(), FailureText);
    d.transferEnded(0);
    ASSERT_EQ(line.actions.size(), 3u);
    EXPECT_EQ(line.actions, (std::vector<std::string>{"0 put \r", "0 sleep 100",
                                                      "100 put /usr/local/wexo/reconfig\r"}));
    EXPECT_EQ(view.texts.back(),
              "  recorder.ini transmitted, check for message \"New Data File /data/... \" ");
}

}  // namespace
}  // namespace ksr::upload
