#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "kermit/KermitSender.h"
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
    void put(const std::string& text) override {
        log("put " + text);
        // The shell's prompt answers the password, unless a test makes the recorder say more.
        if (text == "kelp\r" && !loginAnswer.empty()) {
            const std::pair<long long, std::string> answer{clock + 300, loginAnswer};
            arrivals.insert(std::upper_bound(arrivals.begin(), arrivals.end(), answer,
                                             [](const auto& a, const auto& b) {
                                                 return a.first < b.first;
                                             }),
                            answer);
        }
    }
    std::string loginAnswer = "\r\nWelcome\r\nroot@ksr:~# ";
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
        if (quietWaits && ms <= 50) {
            clock += ms;  // the short polling waits after a transfer: only their time counts
        } else {
            log("wait " + std::to_string(ms));
            clock += ms;
        }
        if (onWait) onWait(*this);
        deliver();
    }
    std::uint64_t receivedCount() override {
        deliver();
        return count;
    }
    std::string receivedTail() override { return tail; }
    bool opened = false;
    bool quietWaits = false;
    // What the recorder prints, by the time on the fake clock it arrives.
    std::vector<std::pair<long long, std::string>> arrivals;
    std::uint64_t count = 0;
    std::string tail;
    // The clock times at which each text was put on the line.
    std::vector<long long> putTimes(const std::string& text) const {
        std::vector<long long> times;
        for (const auto& a : actions)
            if (a.substr(a.find(' ') + 1) == "put " + text) times.push_back(std::stoll(a));
        return times;
    }

  private:
    void log(const std::string& what) { actions.push_back(std::to_string(clock) + " " + what); }
    void deliver() {
        while (!arrivals.empty() && arrivals.front().first <= clock) {
            count += arrivals.front().second.size();
            tail += arrivals.front().second;
            arrivals.erase(arrivals.begin());
        }
    }
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
    // Before each new attempt a receiver left waiting by an earlier upload is told to end: the
    // error packet, then Ctrl-C, then the logout.
    const std::string release = "put " + UploadDialogue::ReleaseBytes(0);
    std::vector<std::string> order;
    for (const auto& a : line.actions) {
        const std::string what = a.substr(a.find(' ') + 1);
        if (what == release || what == "put \x03" || what == "put logout\r") order.push_back(what);
    }
    EXPECT_EQ(order, (std::vector<std::string>{"put \x03", release, "put \x03", "put logout\r",
                                               release, "put \x03", "put logout\r"}));
}

// A receiver in the middle of a file repeats its last answer while it waits: the error packet
// carries the sequence number it waits for, or it would be taken as a stray packet.
TEST(UploadDialogue, TheReleaseGoesWithTheSequenceTheReceiverWaitsFor) {
    using kermit::KermitSender;
    EXPECT_EQ(UploadDialogue::ExpectedSequence(""), -1);
    EXPECT_EQ(UploadDialogue::ExpectedSequence("ksr login: "), -1);
    EXPECT_EQ(UploadDialogue::ExpectedSequence(KermitSender::Packet(3, 'Y', "")), 4);
    EXPECT_EQ(UploadDialogue::ExpectedSequence(KermitSender::Packet(3, 'Y', "") +
                                               KermitSender::Packet(9, 'N', "")),
              9);
    EXPECT_EQ(UploadDialogue::ExpectedSequence(KermitSender::Packet(63, 'Y', "")), 0);

    FakeLine line;
    FakeView view;
    int attempts = 0;
    line.prompt = [&](const std::string& text) {
        if (text != LoginPrompt) return true;
        if (++attempts == 1) line.arrivals.push_back({line.clock, KermitSender::Packet(17, 'Y', "")});
        return attempts >= 2;
    };
    UploadDialogue d(line, view);
    EXPECT_TRUE(d.CONNECT2KSR());
    EXPECT_EQ(line.putTimes(UploadDialogue::ReleaseBytes(18)).size(), 1u);

    // A receiver that said nothing while the prompt was awaited answers the first release (sent
    // for sequence 0) with its last ACK: a second release goes with the number that follows.
    FakeLine quiet;
    attempts = 0;
    quiet.prompt = [&](const std::string& text) { return text != LoginPrompt || ++attempts >= 2; };
    quiet.onWait = [&](FakeLine& l) {
        if (attempts == 1 && l.actions.size() >= 2 &&
            l.actions[l.actions.size() - 2].find("rts off") != std::string::npos)
            l.arrivals.push_back({l.clock, KermitSender::Packet(4, 'Y', "")});
    };
    UploadDialogue q(quiet, view);
    EXPECT_TRUE(q.CONNECT2KSR());
    EXPECT_EQ(quiet.putTimes(UploadDialogue::ReleaseBytes(0)).size(), 1u);
    EXPECT_EQ(quiet.putTimes(UploadDialogue::ReleaseBytes(5)).size(), 1u);
}

// The release may reach a shell instead of a receiver: whatever the sequence number, the shell
// reads one comment line, and the receiver finds a whole error packet after the '#'.
TEST(UploadDialogue, TheReleaseIsACommentToAShellThatGetsItInstead) {
    for (int seq = 0; seq < 64; ++seq) {
        const std::string bytes = UploadDialogue::ReleaseBytes(seq);
        ASSERT_EQ(bytes.substr(0, 2), "#\x01") << seq;
        EXPECT_EQ(bytes.substr(1), kermit::KermitSender::Packet(seq, 'E', ReleaseText));
        EXPECT_EQ(bytes.find_first_of("\r\n"), bytes.size() - 1) << seq;  // one line
    }
}

TEST(UploadDialogue, ARefusedLoginEndsTheDialogueWithNothingTypedAfterIt) {
    FakeLine line;
    FakeView view;
    line.loginAnswer = "\r\nLogin incorrect\r\nksr login: ";
    UploadDialogue d(line, view);
    EXPECT_FALSE(d.CONNECT2KSR());
    EXPECT_TRUE(d.loginRefused());
    EXPECT_NE(d.refusalText().find("login as root"), std::string::npos) << d.refusalText();
    EXPECT_NE(d.refusalText().find("\"Login incorrect\""), std::string::npos) << d.refusalText();
    EXPECT_EQ(line.actions.back(), "1500 sleep 2000");  // the password was the last byte sent
    EXPECT_FALSE(d.receiverStarted());
    EXPECT_EQ(view.texts.back(), FailureText);

    // A recorder that says nothing but asks for the login again refuses it too.
    FakeLine again;
    again.loginAnswer = "\r\n\r\nksr login: ";
    UploadDialogue a(again, view);
    EXPECT_FALSE(a.CONNECT2KSR());
    EXPECT_NE(a.refusalText().find("\"ksr login:\""), std::string::npos) << a.refusalText();
    EXPECT_TRUE(again.putTimes("cd /usr/local/wexo\r").empty());
}

TEST(UploadDialogue, NoShellPromptAfterThePasswordIsARefusalTooAfterAGrace) {
    FakeLine line;
    FakeView view;
    line.loginAnswer.clear();
    UploadDialogue d(line, view);
    EXPECT_FALSE(d.CONNECT2KSR());
    EXPECT_TRUE(d.loginRefused());
    EXPECT_NE(d.refusalText().find("no shell prompt"), std::string::npos) << d.refusalText();
    EXPECT_EQ(line.clock, 3500 + ShellPromptLimitMs);
    EXPECT_TRUE(line.putTimes("cd /usr/local/wexo\r").empty());
}

TEST(UploadDialogue, ALateShellPromptAndALastLoginLineAreNoRefusal) {
    FakeLine line;
    FakeView view;
    line.loginAnswer.clear();
    // A slow recorder: its greeting names the last login, the prompt comes 3 s after the pause.
    line.arrivals = {{2000, "\r\nLast login: Mon Dec  7 10:00:00 on ttyS0\r\n"},
                     {6500, "root@ksr:~# "}};
    UploadDialogue d(line, view);
    EXPECT_TRUE(d.CONNECT2KSR());
    EXPECT_FALSE(d.loginRefused());
    EXPECT_EQ(line.putTimes("cd /usr/local/wexo\r"), (std::vector<long long>{6500}));
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
    line.quietWaits = true;
    FakeView view;
    UploadDialogue d(line, view);
    d.transferEnded(2);
    EXPECT_TRUE(line.actions.empty());
    EXPECT_EQ(view.texts.back(), FailureText);
    // A recorder that prints nothing: the return after a quiet line, the command after the
    // written 100 ms and a second for an answer that does not come.
    d.transferEnded(0);
    EXPECT_EQ(line.actions, (std::vector<std::string>{"700 put \r", "700 sleep 100",
                                                      "1700 put /usr/local/wexo/reconfig\r"}));
    EXPECT_EQ(view.texts.back(),
              "  recorder.ini transmitted, check for message \"New Data File /data/... \" ");
}

// C-Kermit takes about half a second to give the terminal back and drops what comes meanwhile;
// the shell's prompt follows. The return must come after the prompt, the command after the
// shell's answer to the return.
TEST(UploadDialogue, ReturnWaitsUntilTheReceiverHasLetGoOfTheLine) {
    FakeLine line;
    line.quietWaits = true;
    line.arrivals = {{200, "\r\n"}, {520, "root@ksr:/usr/local/wexo# "}};
    FakeView view;
    UploadDialogue d(line, view);
    line.onWait = [&](FakeLine& l) {
        if (l.putTimes("\r").size() == 1 && l.arrivals.empty() && l.count < 100)
            l.arrivals = {{l.clock + 10, "\r\nroot@ksr:/usr/local/wexo# "}};
    };
    d.transferEnded(0);
    const auto ret = line.putTimes("\r");
    const auto reconfig = line.putTimes("/usr/local/wexo/reconfig\r");
    ASSERT_EQ(ret.size(), 1u);
    ASSERT_EQ(reconfig.size(), 1u);
    EXPECT_GE(ret[0], 520);  // never while the receiver still holds the line
    EXPECT_LE(ret[0], 600);  // but as soon as the prompt is there
    EXPECT_GE(reconfig[0], ret[0] + 100);
    EXPECT_LE(reconfig[0], ret[0] + 140);
}

TEST(UploadDialogue, ALineThatKeepsTalkingIsGivenAtMostTheSettleLimit) {
    FakeLine line;
    line.quietWaits = true;
    for (int t = 0; t < 20000; t += 100) line.arrivals.push_back({t, "x"});
    FakeView view;
    UploadDialogue d(line, view);
    d.transferEnded(0);
    const auto ret = line.putTimes("\r");
    ASSERT_EQ(ret.size(), 1u);
    EXPECT_LE(ret[0], SettleLimitMs + 20);
    EXPECT_EQ(line.putTimes("/usr/local/wexo/reconfig\r").size(), 1u);
}

TEST(UploadDialogue, TheRecordersNewDataFileLineIsPickedUp) {
    FakeLine line;
    line.quietWaits = true;
    FakeView view;
    UploadDialogue d(line, view);
    line.tail = "New Data File /data/old.dat\r\n";  // from an earlier upload: not this one
    line.count = line.tail.size();
    d.transferEnded(0);
    EXPECT_EQ(d.awaitNewDataFile(500), "");
    line.arrivals = {{line.clock + 300, "reconfiguring...\r\nNew Data File /data/x.dat\r\n# "}};
    EXPECT_EQ(d.awaitNewDataFile(3000), "New Data File /data/x.dat");
}

// Escape while the dialogue waits for "login:", then "UpLoad to KSR" again at once: the new
// dialogue runs inside the escaped one's wait. The escaped one must not come back to life.
TEST(UploadDialogue, AnEscapedDialogueNeverSendsAnotherByte) {
    FakeLine line;
    FakeView view;
    UploadDialogue d(line, view);
    bool nested = false;
    line.prompt = [&](const std::string& text) {
        if (text == LoginPrompt && !nested) {
            nested = true;
            d.requestEscape();             // the Escape click
            EXPECT_TRUE(d.CONNECT2KSR());  // the new click, handled inside this wait
            line.actions.push_back("nested dialogue done");
            return false;  // the first wait then times out
        }
        return true;
    };
    EXPECT_FALSE(d.CONNECT2KSR());
    const auto done = std::find(line.actions.begin(), line.actions.end(), "nested dialogue done");
    ASSERT_NE(done, line.actions.end());
    for (auto a = done + 1; a != line.actions.end(); ++a)
        EXPECT_EQ(a->find("put"), std::string::npos) << *a;
    int etx = 0, logins = 0, receivers = 0;
    for (const auto& a : line.actions) {
        etx += a.find("put \x03") != std::string::npos;
        logins += a.find("put root") != std::string::npos;
        receivers += a.find("put kermit -r") != std::string::npos;
    }
    EXPECT_EQ(etx, 2);
    EXPECT_EQ(logins, 1);
    EXPECT_EQ(receivers, 1);
    EXPECT_FALSE(d.escapeRequested());  // the running dialogue is the new one, not escaped
}

}  // namespace
}  // namespace ksr::upload
