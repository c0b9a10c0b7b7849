// The upload session on a fake clock against a scripted recorder: the bytes on the line with
// their times, the login's rules, the transfer's end, the read-back, Escape and stops.

#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <map>

#include "kermit/KermitSender.h"
#include "kermit/KermitTestReceiver.h"
#include "upload/Checksums.h"
#include "upload/SessionHost.h"
#include "upload/UploadSession.h"

namespace ksr::upload {
namespace {

using kermit::KermitSender;

// A console command as the session sends it.
std::string Line(const char* command) {
    return std::string(command) + console::Enter;
}

const char* const kShell = "root@ksr:/usr/local/wexo# ";

// A session run by the hosts' one host, on a fake clock, against a recorder that answers at once
// unless a test tells it otherwise.
struct Upload : HostLine {
    UploadSession session;
    SessionHost host;
    long long now = 0;
    bool cts = true;
    std::vector<std::pair<long long, std::string>> sent;  // "<flush>" for a flush
    std::vector<std::string> statuses;
    std::multimap<long long, std::string> arrivals;  // what the recorder prints, and when

    // The recorder.
    int loginFromAttempt = 1;  // the login prompt answers this wake-up and those after it
    int attempts = 0;
    std::string loginAnswer = "\r\nWelcome\r\nroot@ksr:~# ";
    long long exitMs = 400;  // from the receiver's last answer to the shell's prompt
    std::string cksumFor;    // the recorder's answer for every file, when set
    bool receiving = false;
    test::TestReceiver receiver;
    // What the recorder's "kermit -s recorder.ini" sends; none: "?File not found".
    std::string current = "station_code=KSR01\r\nserial_number=0001\r\nx=\xB0\r\n";
    KermitSender recorderKermit;
    // A test's own answers; true when the recorder says nothing more to these bytes.
    std::function<bool(Upload&, const std::string&)> also;

    explicit Upload(SessionOptions options = {},
                    std::vector<kermit::SendFile> files = {{"RECORDER.INI", "a=1\r\nb=2\r\n"}})
        : session(std::move(files), options),
          host(session, *this,
               {nullptr, [this](StatusKind, const std::string& text) { statuses.push_back(text); },
                nullptr, nullptr, nullptr}) {}

    void write(const std::string& bytes) override {
        sent.emplace_back(now, bytes);
        answer(bytes);
    }
    void flushInput() override { sent.emplace_back(now, "<flush>"); }
    bool clearToSend() override { return cts; }

    void at(long long t, const std::string& bytes) { arrivals.emplace(t, bytes); }

    void start() { host.start(now); }
    // Until the session is done or the clock reaches `until`.
    void runTo(long long until = 120000) {
        while (!session.done()) {
            long long next = session.wakeAt() < 0 ? LLONG_MAX : session.wakeAt();
            if (!arrivals.empty()) next = std::min(next, arrivals.begin()->first);
            if (next > until) {
                now = until;
                return;
            }
            now = std::max(now, next);
            if (!arrivals.empty() && arrivals.begin()->first <= now) {
                const std::string bytes = arrivals.begin()->second;
                arrivals.erase(arrivals.begin());
                host.received(bytes, now);
            } else {
                host.wake(now);
            }
        }
    }
    void go() {
        start();
        runTo();
    }

    void answer(const std::string& b) {
        if (also && also(*this, b)) return;
        if (recorderKermit.InProgress()) {
            recorderKermit.receive(b);
            if (const std::string out = recorderKermit.takeOutput(); !out.empty())
                at(now + 10, out);
            if (!recorderKermit.InProgress()) at(now + 10 + exitMs, std::string("\r\n") + kShell);
            return;
        }
        if (receiving) {
            const std::string reply = receiver.answer(b);
            if (!reply.empty()) at(now + 10, reply);
            if (receiver.done) {
                receiving = false;
                at(now + 10 + exitMs, std::string("\r\n") + kShell);
            }
            return;
        }
        if (b == "\x03") {
            if (++attempts >= loginFromAttempt) at(now, "\r\nksr login: ");
        } else if (b == Line(console::Logout)) {
            if (++attempts >= loginFromAttempt) at(now, "\r\nksr login: ");
        } else if (b == Line(console::User)) {
            at(now, "Password: ");
        } else if (b == Line(console::Password)) {
            if (!loginAnswer.empty()) at(now + 300, loginAnswer);
        } else if (b == Line(console::ChangeDirectory)) {
            at(now + 5, kShell);
        } else if (b == Line(console::StartReceiver)) {
            receiving = true;
        } else if (b == Line(console::SendRecorderIni)) {
            if (current.empty()) {
                at(now + 5, "\r\n?File not found - recorder.ini\r\n" + std::string(kShell));
            } else {
                recorderKermit.StartTransmit({{"RECORDER.INI", current}});
                at(now + 1000, b + "\n" + recorderKermit.takeOutput());  // after its echo
            }
        } else if (b == "\r") {
            at(now + 5, std::string("\r\n") + kShell);
        } else if (b == Line(console::Reconfigure)) {
            at(now + 200, "reconfiguring...\r\nNew Data File /data/x.dat\r\n# ");
        } else if (b.rfind(std::string(console::Cksum) + " '", 0) == 0) {
            const std::string path = b.substr(7, b.size() - 9);
            const std::string& data = receiver.files["RECORDER.INI"];
            const std::string sum = cksumFor.empty() ? std::to_string(PosixCksum(data)) + " " +
                                                           std::to_string(data.size())
                                                     : cksumFor;
            if (cksumFor != "none") at(now + 50, b + "\n" + sum + " " + path + "\r\n# ");
        }
    }

    std::vector<long long> times(const std::string& bytes) const {
        std::vector<long long> t;
        for (const auto& [when, what] : sent)
            if (what == bytes) t.push_back(when);
        return t;
    }
    long long firstPacket() const {
        for (const auto& [when, what] : sent)
            if (!what.empty() && what[0] == '\x01') return when;
        return -1;
    }
    const UploadRecord& record() const { return session.record(); }
};

TEST(UploadSession, RecorderThatAnswersAtOnce) {
    Upload run;
    run.go();
    // ETX 200 ms after the port opens, "root" 1000 ms after "login:", the password 100 ms after
    // "Password:", "cd" 2000 ms later, "kermit -r" 1000 ms after that, and the first packet
    // another 1000 ms later.
    const std::vector<std::pair<long long, std::string>> dialogue{{200, "<flush>"},
                                                                  {200, "\x03"},
                                                                  {1400, "root\r"},
                                                                  {1500, "kelp\r"},
                                                                  {3500, "cd /usr/local/wexo\r"},
                                                                  {4500, "kermit -r\r"}};
    ASSERT_GT(run.sent.size(), dialogue.size());
    EXPECT_EQ(std::vector(run.sent.begin(), run.sent.begin() + 6), dialogue);
    EXPECT_EQ(run.firstPacket(), 5500);
    EXPECT_EQ(run.receiver.files["RECORDER.INI"], "a=1\r\nb=2\r\n");
    EXPECT_EQ(run.times("\r").size(), 1u);
    EXPECT_EQ(run.times("/usr/local/wexo/reconfig\r").size(), 1u);
    EXPECT_EQ(run.statuses.front(), ConnectedText);
    EXPECT_EQ(run.statuses[1], TransmittingText);
    EXPECT_EQ(run.statuses.back(), SuccessText);
    EXPECT_EQ(run.record().resultText(), "success");
    EXPECT_EQ(run.record().newDataFile, "New Data File /data/x.dat");
    EXPECT_EQ(run.record().files.front().bytes, "a=1\r\nb=2\r\n");  // what was sent, once read
}

TEST(UploadSession, MissingPromptsEndEachAttemptWithLogout) {
    Upload run;
    run.loginFromAttempt = 3;
    run.go();
    EXPECT_EQ(run.times("logout\r").size(), 2u);
    // "no answer" after every wait that ran out, "connected" once the prompt came.
    EXPECT_EQ(
        std::vector(run.statuses.begin(), run.statuses.begin() + 4),
        (std::vector<std::string>{NoAnswerText, NoAnswerText, ConnectedText, TransmittingText}));
    EXPECT_TRUE(run.session.consoleAnswered());
    // Before each new attempt a receiver left waiting by an earlier upload is told to end: the
    // error packet and Ctrl-C, then the logout. Each attempt waits 40 ticks for "login:", then
    // 1000 ms, then 200 ms with RTS off, then 100 ms after the logout.
    const std::string release = UploadSession::ReleaseBytes(0) + "\x03";
    std::vector<std::pair<long long, std::string>> order;
    for (const auto& s : run.sent)
        if (s.second == release || s.second == "\x03" || s.second == "logout\r") order.push_back(s);
    const long long attempt = 40 * 55 + 1000 + 200 + 100;
    EXPECT_EQ(order,
              (std::vector<std::pair<long long, std::string>>{{200, "\x03"},
                                                              {400 + 2200 + 1000, release},
                                                              {400 + 2200 + 1200, "logout\r"},
                                                              {400 + attempt + 3200, release},
                                                              {400 + attempt + 3400, "logout\r"}}));
    EXPECT_EQ(run.times("root\r"), (std::vector<long long>{400 + 2 * attempt + 1000}));
}

// What came before the port's flush is not a prompt; a prompt is found whatever its case and
// however the line splits it, and acted on when it has come.
TEST(UploadSession, PromptsAreFoundCaseBlindAcrossReadsAfterTheFlush) {
    Upload run;
    run.loginFromAttempt = 99;
    run.start();
    run.at(100, "ksr login: ");  // before the flush
    run.at(1000, "\r\nKSR LOG");
    run.at(1300, "IN: ");
    run.runTo(1300);
    EXPECT_TRUE(run.times("root\r").empty());
    run.runTo(2400);
    EXPECT_EQ(run.times("root\r"), (std::vector<long long>{2300}));
    EXPECT_EQ(run.times("kelp\r"), (std::vector<long long>{2400}));
}

// A receiver in the middle of a file repeats its last answer while it waits: the error packet
// carries the sequence number it waits for, or it would be taken as a stray packet.
TEST(UploadSession, TheReleaseGoesWithTheSequenceTheReceiverWaitsFor) {
    EXPECT_EQ(UploadSession::ExpectedSequence(""), -1);
    EXPECT_EQ(UploadSession::ExpectedSequence("ksr login: "), -1);
    EXPECT_EQ(UploadSession::ExpectedSequence(kermit::Packet(3, 'Y', "")), 4);
    EXPECT_EQ(
        UploadSession::ExpectedSequence(kermit::Packet(3, 'Y', "") + kermit::Packet(9, 'N', "")),
        9);
    EXPECT_EQ(UploadSession::ExpectedSequence(kermit::Packet(63, 'Y', "")), 0);
    // A sender left over from a read waits for the answer to the packet it sends again.
    EXPECT_EQ(UploadSession::ExpectedSequence(kermit::Packet(7, 'D', "a=1")), 7);

    Upload run;
    run.loginFromAttempt = 2;
    run.at(1000, kermit::Packet(17, 'Y', ""));  // while "login:" is awaited
    run.go();
    EXPECT_EQ(run.times(UploadSession::ReleaseBytes(18) + "\x03").size(), 1u);

    // A receiver that said nothing while the prompt was awaited answers the first release (sent
    // for sequence 0) with its last ACK: a second release goes with the number that follows.
    Upload quiet;
    quiet.loginFromAttempt = 2;
    quiet.also = [](Upload& r, const std::string& b) {
        if (b == UploadSession::ReleaseBytes(0) + "\x03")
            r.at(r.now + 20, kermit::Packet(4, 'Y', ""));
        return false;
    };
    quiet.go();
    EXPECT_EQ(quiet.times(UploadSession::ReleaseBytes(0) + "\x03").size(), 1u);
    EXPECT_EQ(quiet.times(UploadSession::ReleaseBytes(5) + "\x03").size(), 1u);
}

// The release may reach a shell instead of a receiver: whatever the sequence number, the shell
// reads one comment line, and the receiver finds a whole error packet after the '#'.
TEST(UploadSession, TheReleaseIsACommentToAShellThatGetsItInstead) {
    for (int seq = 0; seq < 64; ++seq) {
        const std::string bytes = UploadSession::ReleaseBytes(seq);
        // With either block check: a left-over receiver's, a left-over sender's (the CRC).
        const std::string one = "#" + kermit::Packet(seq, 'E', ReleaseText, 1);
        const std::string crc = "#" + kermit::Packet(seq, 'E', ReleaseText, 3);
        EXPECT_EQ(bytes, one + crc) << seq;
        for (const std::string& line : {one, crc})  // each a comment line of its own
            EXPECT_EQ(line.find_first_of("\r\n"), line.size() - 1) << seq;
    }
}

TEST(UploadSession, ARefusedLoginEndsTheUploadWithNothingTypedAfterIt) {
    Upload run;
    run.loginAnswer = "\r\nLogin incorrect\r\nksr login: ";
    run.go();
    EXPECT_TRUE(run.session.loginRefused());
    const std::string& error = run.record().error;
    EXPECT_NE(error.find("login as root"), std::string::npos) << error;
    EXPECT_NE(error.find("\"Login incorrect\""), std::string::npos) << error;
    EXPECT_EQ(run.sent.back(), (std::pair<long long, std::string>{1500, "kelp\r"}));
    EXPECT_EQ(run.now, 3500);
    EXPECT_EQ(run.statuses.back(), FailureText);
    EXPECT_EQ(run.record().resultText(), "failed");

    // A recorder that says nothing but asks for the login again refuses it too.
    Upload again;
    again.loginAnswer = "\r\n\r\nksr login: ";
    again.go();
    EXPECT_NE(again.record().error.find("\"ksr login:\""), std::string::npos);
    EXPECT_TRUE(again.times("cd /usr/local/wexo\r").empty());
}

TEST(UploadSession, NoShellPromptAfterThePasswordIsARefusalTooAfterAGrace) {
    Upload run;
    run.loginAnswer.clear();
    run.go();
    EXPECT_TRUE(run.session.loginRefused());
    EXPECT_NE(run.record().error.find("no shell prompt"), std::string::npos);
    EXPECT_EQ(run.now, 3500 + ShellPromptLimitMs);
    EXPECT_TRUE(run.times("cd /usr/local/wexo\r").empty());
}

TEST(UploadSession, ALateShellPromptAndALastLoginLineAreNoRefusalAndActedOnAtOnce) {
    Upload run;
    run.loginAnswer.clear();
    // A slow recorder: its greeting names the last login, the prompt comes 3 s after the pause.
    run.at(2000, "\r\nLast login: Mon Dec  7 10:00:00 on ttyS0\r\n");
    run.at(6530, "root@ksr:~# ");
    run.go();
    EXPECT_FALSE(run.session.loginRefused());
    EXPECT_EQ(run.times("cd /usr/local/wexo\r"), (std::vector<long long>{6530}));

    // A banner's "incorrect", and "Last login:" whose line is still coming, are no refusal.
    for (const auto& pieces :
         {std::vector<std::string>{"\r\nWarning: system clock incorrect\r\n", "root@ksr:~# "},
          std::vector<std::string>{"\r\nLast login:", " Mon Dec  7 10:00:00\r\nroot@ksr:~# "}}) {
        Upload slow;
        slow.loginAnswer.clear();
        slow.at(1900, pieces[0]);
        slow.at(3900, pieces[1]);
        slow.go();
        EXPECT_FALSE(slow.session.loginRefused()) << pieces[0] << slow.record().error;
        EXPECT_EQ(slow.times("cd /usr/local/wexo\r"), (std::vector<long long>{3900})) << pieces[0];
    }
}

// A shell still logged in (an upload leaves it so) answers the wake-up with its prompt: it is
// logged out, and no release packet is typed into it.
TEST(UploadSession, AShellStillLoggedInIsLoggedOutWithoutARelease) {
    Upload run;
    run.loginFromAttempt = 2;
    run.also = [](Upload& r, const std::string& b) {
        if (b != "\x03" || r.attempts > 0) return false;
        ++r.attempts;
        r.at(r.now, "^C\r\nroot@ksr:/usr/local/wexo# ");
        return true;
    };
    run.go();
    EXPECT_EQ(run.record().resultText(), "success") << run.record().error;
    for (const auto& [when, what] : run.sent)
        EXPECT_EQ(what.find(ReleaseText), std::string::npos) << when << " " << what;
    EXPECT_EQ(run.times("logout\r").size(), 1u);
}

TEST(UploadSession, AbsentClearToSendIsAskedAgainEvery2200Ms) {
    Upload run;
    run.cts = false;
    run.start();
    run.runTo(5000);
    ASSERT_EQ(run.sent.size(), 2u);  // the flush and ETX only
    EXPECT_TRUE(run.statuses.empty());
    // Passes at 400, 2600, 4800, 7000: the first with CTS on starts the login.
    run.cts = true;
    run.runTo(8000);
    EXPECT_EQ(run.times("root\r"), (std::vector<long long>{7000 + 1000}));
}

TEST(UploadSession, ALoginLimitEndsADialogueThatGetsNowhere) {
    SessionOptions options;
    options.loginLimitMs = 10000;
    Upload run(options);
    run.loginFromAttempt = 99;
    run.go();
    EXPECT_TRUE(run.session.loginTimedOut());
    EXPECT_EQ(run.now, 10000);
    EXPECT_EQ(run.record().resultText(), "aborted");
    EXPECT_EQ(run.record().error, "no login within 10 s");
}

TEST(UploadSession, SuccessSendsOneReturnAndTheReconfigureCommandFailureNothing) {
    Upload failed;
    failed.receiver.initAnswer = "";
    failed.also = [](Upload& r, const std::string& b) {
        if (!r.receiving || b[0] != '\x01') return false;
        r.receiving = false;
        r.at(r.now + 10, kermit::Packet(0, 'E', "disk full"));
        return true;
    };
    failed.go();
    EXPECT_EQ(failed.statuses.back(), FailureText);
    EXPECT_EQ(failed.record().resultText(), "failed");
    EXPECT_TRUE(failed.times("\r").empty());
    EXPECT_TRUE(failed.times("/usr/local/wexo/reconfig\r").empty());

    // A recorder that prints nothing after its last answer: the return after a quiet line,
    // the command after a second for an answer that does not come.
    Upload silent;
    silent.exitMs = 1000000;
    silent.also = [](Upload&, const std::string& b) { return b == "\r"; };  // nor to the return
    silent.go();
    const long long end = silent.times("\r").at(0) - QuietBeforeReturnMs;
    EXPECT_EQ(silent.times("/usr/local/wexo/reconfig\r"),
              (std::vector<long long>{end + QuietBeforeReturnMs + ShellAnswerLimitMs}));
    EXPECT_EQ(silent.statuses.back(), SuccessText);
}

// C-Kermit takes about half a second to give the terminal back and drops what comes meanwhile;
// the shell's prompt follows. The return must come with the prompt, the command 100 ms after it
// once the shell has answered.
TEST(UploadSession, ReturnWaitsUntilTheReceiverHasLetGoOfTheLine) {
    Upload run;
    run.exitMs = 520;
    run.go();
    const long long end = run.times("\r").at(0) - 520;  // the receiver's last answer
    EXPECT_EQ(run.sent[run.sent.size() - 2].second, "\r");
    EXPECT_EQ(run.times("/usr/local/wexo/reconfig\r"), (std::vector<long long>{end + 520 + 100}));
}

// The window takes the transfer's end at its one-second tick: a prompt that came before the tick
// is acted on at the tick, with no quiet wait after it.
TEST(UploadSession, AtTheHostsPollAPromptAlreadyThereSendsTheReturnAtOnce) {
    SessionOptions options;
    options.endOnPoll = true;
    Upload run(options);
    run.start();
    run.runTo(7000);
    ASSERT_TRUE(run.session.awaitingPoll());
    EXPECT_TRUE(run.times("\r").empty());
    run.now = 7000;
    run.host.transferPolled(run.now);
    EXPECT_EQ(run.times("\r"), (std::vector<long long>{run.now}));
    run.runTo();
    EXPECT_EQ(run.record().resultText(), "success");
}

TEST(UploadSession, ALineThatKeepsTalkingIsGivenAtMostTheSettleLimit) {
    Upload run;
    run.exitMs = 1000000;
    long long lastAnswer = -1;
    run.also = [&lastAnswer](Upload& r, const std::string& b) {
        if (r.receiving && b.size() > 3 && b[3] == 'B') {  // the break: its answer ends it all
            lastAnswer = r.now + 10;
            for (int t = 100; t < 20000; t += 100) r.at(r.now + t, "x");
        }
        return false;
    };
    run.go();
    const auto ret = run.times("\r");
    ASSERT_EQ(ret.size(), 1u);
    EXPECT_EQ(run.times("/usr/local/wexo/reconfig\r").size(), 1u);
    EXPECT_EQ(ret[0], lastAnswer + SettleLimitMs);
}

TEST(UploadSession, TheRecordersNewDataFileLineIsPickedUpNotAnEarlierOne) {
    Upload run;
    run.also = [](Upload& r, const std::string& b) {
        if (b == "\r") r.at(r.now + 5, "New Data File /data/old.dat\r\n# ");
        return false;
    };
    run.go();
    EXPECT_EQ(run.record().newDataFile, "New Data File /data/x.dat");

    Upload none;
    none.also = [](Upload&, const std::string& b) { return b == "/usr/local/wexo/reconfig\r"; };
    none.go();
    EXPECT_EQ(none.record().resultText(), "success");
    EXPECT_EQ(none.record().newDataFile, "");
    EXPECT_EQ(none.now - none.times("/usr/local/wexo/reconfig\r").at(0), NewDataFileLimitMs);
}

TEST(UploadSession, TheReadBackComesBeforeTheReconfigureCommandWhichFollowsOnlyAMatch) {
    SessionOptions options;
    options.verify = true;
    Upload good(options);
    good.go();
    ASSERT_EQ(good.times("cksum '/usr/local/wexo/recorder.ini'\r").size(), 1u);
    EXPECT_GT(good.times("/usr/local/wexo/reconfig\r").at(0),
              good.times("cksum '/usr/local/wexo/recorder.ini'\r").at(0));
    EXPECT_EQ(good.session.verdict(), Verdict::Verified);
    EXPECT_EQ(good.record().resultText(), "success");

    for (const char* answer : {"123 4", "none"}) {
        Upload bad(options);
        bad.cksumFor = answer;
        bad.go();
        EXPECT_EQ(bad.session.verdict(),
                  std::string(answer) == "none" ? Verdict::NoAnswer : Verdict::Differs);
        EXPECT_TRUE(bad.times("/usr/local/wexo/reconfig\r").empty());
        EXPECT_EQ(bad.record().resultText(), "failed");
        EXPECT_NE(bad.record().error.find("the reconfigure command was not sent"),
                  std::string::npos);
        EXPECT_EQ(bad.statuses.back().rfind("  NOT verified: recorder.ini", 0), 0u);
    }
}

// Escape while "login:" is awaited: nothing more goes out, and the next session runs whole.
TEST(UploadSession, AnEscapedDialogueNeverSendsAnotherByte) {
    Upload run;
    run.loginFromAttempt = 99;
    run.start();
    run.runTo(1500);
    const std::size_t before = run.sent.size();
    run.host.escape(run.now);
    run.runTo();
    EXPECT_TRUE(run.session.done());
    EXPECT_EQ(run.sent.size(), before);
    EXPECT_EQ(run.record().resultText(), "escaped");

    // A transfer that has started runs on and reports.
    Upload started;
    started.start();
    started.runTo(5520);  // between packets
    started.host.escape(started.now);
    started.runTo();
    EXPECT_EQ(started.record().resultText(), "success");
}

// Ctrl-C or a kill of the command line: the receiver is told, the console woken, and nothing
// applied.
TEST(UploadSession, AStopTellsTheReceiverWakesTheConsoleAndAppliesNothing) {
    struct Case {
        long long at;
        std::string error;
        std::string last;  // the last bytes sent
    };
    for (const Case& c :
         {Case{1000, "stopped before the transfer", "\x03"},
          Case{4800, "stopped before the transfer", UploadSession::ReleaseBytes(0) + "\x03"},
          Case{5520, "transfer aborted", "\x03"}}) {
        Upload run;
        run.start();
        run.runTo(c.at);
        run.host.stop(run.now);
        run.runTo();
        EXPECT_EQ(run.record().resultText(), "aborted") << c.at;
        EXPECT_EQ(run.record().error, c.error) << c.at;
        EXPECT_EQ(run.sent.back().second, c.last) << c.at;
        EXPECT_EQ(run.now - run.sent.back().first, ReleasePauseMs) << c.at;
        EXPECT_TRUE(run.times("/usr/local/wexo/reconfig\r").empty()) << c.at;
        if (c.at == 5520) {  // the engine's error packet before the Ctrl-C
            const auto& packet = run.sent[run.sent.size() - 2].second;
            EXPECT_EQ(test::SplitPackets(packet).back().type, 'E');
        }
    }
}

// A line that fails (the far end gone, a hang-up) ends the session at once, at any step, as a
// failure that names the step; after the transfer the reconfigure command never follows.
TEST(UploadSession, ALineThatFailsEndsTheSessionAtOnceAndNamesTheStep) {
    Upload early;
    early.start();
    early.runTo(300);
    early.host.lineFailed("the serial line /dev/x failed: gone", early.now);
    EXPECT_TRUE(early.session.done());
    EXPECT_EQ(early.record().resultText(), "failed");
    EXPECT_EQ(early.record().step, "wake-up");
    EXPECT_EQ(early.record().error.find("the serial line /dev/x failed: gone"), 0u);
    EXPECT_EQ(early.statuses.back(), FailureText);

    Upload late;
    late.start();
    while ((!late.session.transferStarted() || late.session.sender().InProgress()) &&
           late.now < 60000)
        late.runTo(late.now + 5);
    ASSERT_TRUE(late.receiver.done);
    late.host.lineFailed("the serial line /dev/x failed: gone", late.now);
    late.runTo();
    EXPECT_EQ(late.record().resultText(), "failed");
    EXPECT_EQ(late.record().step, "return to the shell");
    EXPECT_NE(late.record().error.find("the reconfigure command was not sent"), std::string::npos);
    EXPECT_TRUE(late.times("\r").empty());
    EXPECT_TRUE(late.times("/usr/local/wexo/reconfig\r").empty());
}

// The console commands sent, in order, without the packets and the login.
std::vector<std::string> Commands(const Upload& run) {
    std::vector<std::string> commands;
    for (const auto& [when, what] : run.sent)
        if (what.find('\x01') == std::string::npos && what.size() > 2 && what != "<flush>" &&
            what != "root\r" && what != "kelp\r")
            commands.push_back(what);
    return commands;
}

TEST(UploadSessionRead, AsksTheRecordersKermitForRecorderIniAndLogsOut) {
    SessionOptions options;
    options.job = Job::Read;
    Upload run(options, {});
    run.go();
    EXPECT_EQ(run.record().resultText(), "success") << run.record().error;
    EXPECT_TRUE(run.session.readSucceeded());
    EXPECT_EQ(run.session.recorderIni(), run.current);
    EXPECT_EQ(Commands(run), (std::vector<std::string>{"cd /usr/local/wexo\r",
                                                       "kermit -s recorder.ini\r", "logout\r"}));
}

TEST(UploadSessionRead, ARecorderWithoutTheFileFailsWithItsWordsAndNothingElseIsSent) {
    SessionOptions options;
    options.job = Job::Read;
    Upload run(options, {});
    run.current.clear();
    run.go();
    EXPECT_FALSE(run.session.readSucceeded());
    EXPECT_EQ(run.record().resultText(), "failed");
    EXPECT_NE(run.record().error.find("?File not found - recorder.ini"), std::string::npos)
        << run.record().error;
    EXPECT_EQ(Commands(run).back(), "logout\r");
    EXPECT_EQ(Commands(run).size(), 3u);
}

// A stopped read: the recorder's Kermit gets the error packet as the answer to its next packet
// (it drops what arrives while it sends), then the console is woken.
TEST(UploadSessionRead, AStopAnswersTheRecordersNextPacketWithTheErrorPacket) {
    SessionOptions options;
    options.job = Job::Read;
    Upload run(options, {});
    for (int i = 0; i < 200; ++i) run.current += "line_" + std::to_string(i) + "=value\r\n";
    run.start();
    while (run.recorderKermit.bytesDone() < 2000 && run.now < 60000) run.runTo(run.now + 5);
    ASSERT_TRUE(run.recorderKermit.InProgress());
    const long long stopAt = run.now;
    run.host.stop(run.now);
    run.runTo();
    EXPECT_EQ(run.record().resultText(), "aborted");
    EXPECT_EQ(run.record().error, "stopped while reading recorder.ini");
    EXPECT_EQ(run.recorderKermit.ProtocolStatus(), kermit::ReceiverError);
    std::size_t errorAt = 0;
    for (std::size_t i = 0; i < run.sent.size(); ++i)
        if (run.sent[i].first >= stopAt && run.sent[i].second.find("E") != std::string::npos &&
            run.sent[i].second[0] == '\x01')
            errorAt = i;
    ASSERT_GT(errorAt, 0u);
    EXPECT_GT(run.sent[errorAt].first, stopAt);  // not at once: at the sender's next packet
    EXPECT_EQ(run.sent.back().second, "\x03");
}

TEST(UploadSessionRead, TheGuardUploadsOnlyToTheRecorderTheFileIsFor) {
    SessionOptions options;
    options.guard = true;
    for (const std::string serial : {"0001", "0002"}) {
        Upload run(options,
                   {{"RECORDER.INI", "station_code=KSR01\r\nserial_number=" + serial + "\r\n"}});
        run.go();
        const bool right = serial == "0001";
        EXPECT_EQ(run.session.wrongRecorder(), !right);
        EXPECT_EQ(run.record().resultText(), right ? "success" : "wrong recorder")
            << run.record().error;
        EXPECT_EQ(run.record().recorderSerialNumber, "0001");
        EXPECT_EQ(run.times("kermit -r\r").size(), right ? 1u : 0u);
        EXPECT_EQ(run.receiver.files.count("RECORDER.INI"), right ? 1u : 0u);
        if (!right) {
            EXPECT_EQ(Commands(run).back(), "logout\r");
            EXPECT_NE(run.record().error.find("station KSR01, serial 0001"), std::string::npos);
            EXPECT_NE(run.record().error.find("station KSR01, serial 0002"), std::string::npos);
        }
    }
    // A deployment chooses what to send from what was read, in the same login, and logs out.
    SessionOptions deploying;
    deploying.verify = true;
    deploying.logoutAtEnd = true;
    const std::string chosen = "station_code=KSR01\r\nserial_number=0001\r\nx=2\r\n";
    for (const bool known : {true, false}) {
        deploying.choose = [known, chosen](const ReadFound& found) {
            SendChoice choice;
            EXPECT_TRUE(found.read);
            if (known && IdentityOf(*found.recorderIni).serialNumber == "0001")
                choice.files = {{"RECORDER.INI", chosen}};
            else
                choice.reason = "no station of the table";
            return choice;
        };
        Upload run(deploying, {});
        run.go();
        EXPECT_EQ(run.record().resultText(), known ? "success" : "wrong recorder");
        EXPECT_EQ(run.times("kermit -r\r").size(), known ? 1u : 0u);
        EXPECT_EQ(run.receiver.files["RECORDER.INI"], known ? chosen : "");
        EXPECT_EQ(run.times("root\r").size(), 1u);  // one login
        EXPECT_EQ(Commands(run).back(), "logout\r");
        if (!known) {
            EXPECT_EQ(run.record().error, "no station of the table");
        }
    }
    // A recorder.ini that names two recorders names none: nothing is sent.
    for (const std::string twice :
         {"station_code=KSR01\r\nstation_code=KSR02\r\nserial_number=0001\r\n",
          "station_code=KSR01\r\nserial_number=0001\r\nserial_number=0001\r\n"}) {
        Upload run(options, {{"RECORDER.INI", "station_code=KSR01\r\nserial_number=0001\r\n"}});
        run.current = twice;
        run.go();
        EXPECT_EQ(run.record().resultText(), "failed") << twice;
        EXPECT_TRUE(run.times("kermit -r\r").empty()) << twice;
        EXPECT_NE(run.record().error.find("given 2 times"), std::string::npos)
            << run.record().error << run.record().resultText();
    }
}

}  // namespace
}  // namespace ksr::upload
