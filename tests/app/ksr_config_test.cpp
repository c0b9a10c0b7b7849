#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <sstream>
#include <thread>

#include "Commands.h"
#include "ConfigRun.h"
#include "TestSupport.h"
#include "setup/FileIo.h"
#include "setup/SetupFile.h"
#include "setup/TextFormat.h"

#ifndef _WIN32
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "SimulatorProcess.h"
#endif

namespace ksr {
namespace {

using test::Result;
using test::RunHere;

std::string Quote(const std::string& s) {
#ifdef _WIN32
    return "\"" + s + "\"";
#else
    return "'" + s + "'";
#endif
}

// Runs the real ksr-config executable in `dir`.
Result RunExe(const test::TempDir& dir, const std::string& args, const std::string& wrapper = "") {
#ifdef _WIN32
    const std::string command = "cd /d " + Quote(dir.path().string()) + " && " + wrapper +
                                Quote(KSR_CONFIG_EXE) + " " + args + " > .out 2> .err";
#else
    const std::string command = "cd " + Quote(dir.path().string()) + " && " + wrapper +
                                Quote(KSR_CONFIG_EXE) + " " + args + " > .out 2> .err";
#endif
    const int status = std::system(command.c_str());
#ifdef _WIN32
    const int code = status;
#else
    const int code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
    Result r{code, test::ReadBytes(dir / ".out"), test::ReadBytes(dir / ".err")};
    std::filesystem::remove(dir / ".out");
    std::filesystem::remove(dir / ".err");
    return r;
}

void CopyIn(const test::TempDir& dir, const std::filesystem::path& from, const std::string& name) {
    test::WriteBytes(dir / name, test::ReadBytes(from));
}

TEST(KsrConfigExecutable, CheckPrintsTheSummary) {
    test::TempDir dir;
    CopyIn(dir, test::ShippedData("examples/timed.set"), "timed.set");
    const Result r = RunExe(dir, "check timed.set");
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("Set-up:         TIMED"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("      1         100         10  1"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Max. PC cycle:  186 min"), std::string::npos);
    EXPECT_NE(r.out.find("File length:    120 min"), std::string::npos);
    // The position as the setup file's report, diff and JSON show it: one format.
    EXPECT_NE(r.out.find("position -33\xC2\xB0 S -70\xC2\xB0 W"), std::string::npos) << r.out;
    const Result json = RunExe(dir, "check --json timed.set");
    EXPECT_NE(json.out.find("\"gps_latitude\": \"-33\xC2\xB0 S\""), std::string::npos);
    EXPECT_NE(test::ReadBytes(dir / "timed.set").find("-33\xB0 S"), std::string::npos);
    EXPECT_NE(r.out.find("BURST  from 15-DEC-2026 00:00 for 0d 01:30:00, every 0d 06:00"),
              std::string::npos);
    EXPECT_NE(r.out.find("CONTI  from immediately"), std::string::npos);
    EXPECT_NE(r.out.find("Rate rules:     no change"), std::string::npos);
}

TEST(KsrConfigExecutable, FormatOfTheDocumentedExampleIsByteIdentical) {
    test::TempDir dir;
    CopyIn(dir, test::TestData("example_test.set"), "test.set");
    const Result r = RunExe(dir, "format test.set");
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, test::ReadBytes(test::TestData("example_test.set")));
}

TEST(KsrConfigExecutable, FormatBringsTheReportUpToDateInPlace) {
    test::TempDir dir;
    std::string bytes = test::ReadBytes(test::TestData("example_test.set"));
    bytes.replace(bytes.find(";;rec_mode 1  1  60"), 19, ";;rec_mode 2  1  45");
    test::WriteBytes(dir / "test.set", bytes);
    const Result r = RunExe(dir, "format test.set -o test.set");
    EXPECT_EQ(r.code, 0) << r.err;
    const std::string now = test::ReadBytes(dir / "test.set");
    EXPECT_NE(now.find(" TIMED        MiniSEED lt      45 min"), std::string::npos) << now;
    EXPECT_NE(now.find(";;rec_mode 2  1  45  1  204  "), std::string::npos);
}

TEST(KsrConfigExecutable, BuildWritesShortTmpAndTheGoldenRecorderIni) {
    test::TempDir dir;
    CopyIn(dir, test::ShippedData("recorder.000"), "recorder.000");
    CopyIn(dir, test::ShippedData("examples/timed.set"), "timed.set");
    const Result r = RunExe(dir, "build timed.set");
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(test::ReadBytes(dir / "recorder.ini"),
              test::ReadBytes(test::TestData("golden/timed.recorder.ini")));
    EXPECT_EQ(test::ReadBytes(dir / "SHORTTMP.DAT").substr(0, 5), "-10\r\n");
}

TEST(KsrConfigExecutable, BadFileExitsOneWithFileAndLineAndTouchesNothing) {
    test::TempDir dir;
    CopyIn(dir, test::ShippedData("recorder.000"), "recorder.000");
    std::string bytes = test::ReadBytes(test::ShippedData("examples/timed.set"));
    bytes.replace(bytes.find(";;gps_mode 2"), 12, ";;gps_mode Q");
    test::WriteBytes(dir / "bad.set", bytes);
    test::WriteBytes(dir / "recorder.ini", "previous\r\n");
    const Result r = RunExe(dir, "build bad.set");
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "bad.set:39: \"Q\" is not a valid whole number\n");
    EXPECT_EQ(test::ReadBytes(dir / "recorder.ini"), "previous\r\n");
    EXPECT_EQ(test::ReadBytes(dir / "bad.set"), bytes);
    EXPECT_FALSE(std::filesystem::exists(dir / "SHORTTMP.DAT"));
}

TEST(KsrConfigExecutable, BadUsageExitsTwo) {
    test::TempDir dir;
    EXPECT_EQ(RunExe(dir, "").code, 2);
    EXPECT_EQ(RunExe(dir, "frobnicate").code, 2);
    const Result r = RunExe(dir, "build x.set --lowest-temp -12");
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("--lowest-temp takes -30, -25, -20, -15 or -10"), std::string::npos)
        << r.err;
}

TEST(KsrConfigCommands, HelpForEachCommand) {
    test::TempDir dir;
    for (const char* command : {"check", "format", "build"}) {
        const Result r = RunHere(dir, {command, "--help"});
        EXPECT_EQ(r.code, 0);
        EXPECT_EQ(r.out.rfind(std::string("Usage: ksr-config ") + command, 0), 0u) << r.out;
    }
    EXPECT_EQ(RunHere(dir, {"--help"}).code, 0);
}

TEST(KsrConfigConventions, VersionHelpCommandAndOptionForms) {
    test::TempDir dir;
    Result r = RunHere(dir, {"--version"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out.rfind("ksr-config ", 0), 0u);
    EXPECT_EQ(r.out.back(), '\n');
    r = RunHere(dir, {"help", "build"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out.rfind("Usage: ksr-config build", 0), 0u) << r.out;
    EXPECT_EQ(RunHere(dir, {"help", "nope"}).code, 2);
    EXPECT_EQ(RunHere(dir, {"help"}).out.rfind("Usage: ksr-config COMMAND", 0), 0u);

    // "--name=value" is "--name value", in every subcommand.
    EXPECT_EQ(RunHere(dir, {"power", "--prim-rate=200", "--temperature=-10"}).out,
              RunHere(dir, {"power", "--prim-rate", "200", "--temperature", "-10"}).out);
    EXPECT_EQ(RunHere(dir, {"power", "--gel=yes"}).code, 2);  // a flag takes no value
    CopyIn(dir, test::ShippedData("recorder.000"), "recorder.000");
    CopyIn(dir, test::ShippedData("examples/timed.set"), "timed.set");
    r = RunHere(dir, {"build", "timed.set", "--lowest-temp=-25"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(test::ReadBytes(dir / "SHORTTMP.DAT").substr(0, 5), "-25\r\n");
    EXPECT_EQ(RunHere(dir, {"format", "timed.set", "--output=copy.set"}).code, 0);
    EXPECT_EQ(test::ReadBytes(dir / "copy.set"), test::ReadBytes(dir / "timed.set"));

    // "--" ends the options: a file whose name starts with "-".
    CopyIn(dir, test::ShippedData("examples/timed.set"), "-odd.set");
    EXPECT_EQ(RunHere(dir, {"check", "-odd.set"}).code, 2);
    r = RunHere(dir, {"check", "--", "-odd.set"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(RunHere(dir, {"check", "--", "--help"}).code, 1);  // a file called "--help"
}

TEST(KsrConfigCommands, BuildTakesTheNameFromTheFileNameInCapitals) {
    test::TempDir dir;
    CopyIn(dir, test::ShippedData("recorder.000"), "recorder.000");
    CopyIn(dir, test::ShippedData("examples/timed.set"), "deployment7.set");
    const Result r = RunHere(dir, {"build", "deployment7.set", "--lowest-temp", "-25"});
    ASSERT_EQ(r.code, 0) << r.err;
    const std::string ini = test::ReadBytes(dir / "recorder.ini");
    EXPECT_NE(ini.find("setup_name=LOYMENT7\r\n"), std::string::npos);
    EXPECT_NE(ini.find("pc_off_time_shorten=25\r\n"), std::string::npos);
    EXPECT_EQ(test::ReadBytes(dir / "SHORTTMP.DAT").substr(0, 5), "-25\r\n");
}

TEST(KsrConfigCommands, BuildReportsWhatTheRateRulesChanged) {
    test::TempDir dir;
    CopyIn(dir, test::ShippedData("recorder.000"), "recorder.000");
    std::string bytes = test::ReadBytes(test::TestData("example_test.set"));
    bytes.replace(bytes.find(";;s_rates  10  1  1"), 19, ";;s_rates  19  1  3");
    test::WriteBytes(dir / "fast.set", bytes);
    const Result r = RunHere(dir, {"build", "fast.set"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.err.find("gain of channel 2 raised to 0.4"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("file length capped from 60 to 30 min"), std::string::npos) << r.err;
    const std::string ini = test::ReadBytes(dir / "recorder.ini");
    EXPECT_NE(ini.find("mseed_filesize=30\r\n"), std::string::npos);
    EXPECT_NE(ini.find("channel_0_samplerate=1000\r\n"), std::string::npos);
}

TEST(KsrConfigExecutable, PowerAtTheStartValues) {
    test::TempDir dir;
    const Result r = RunExe(dir, "power");
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out,
              "Mean Load [W]: 2.169\nTrue Capacity [Wh]: 438\nBattery Life [days]: 8.4\n"
              "Record Capacity [days]: 758\nBatt. self-discharge neglected\n");
}

TEST(KsrConfigCommands, PowerWithAColdGelBatteryAndBurst) {
    test::TempDir dir;
    Result r = RunHere(dir, {"power", "--battery", "200", "--gel", "--temperature", "-25"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out,
              "Mean Load [W]: 2.628\nTrue Capacity [Wh]: 1282\nBattery Life [days]: 21\n"
              "Record Capacity [days]: 758\nBatt. self-discharge considered\n"
              "Temperature too low for Gel Batteries\n");
    r = RunHere(dir, {"power", "--burst", "60,10", "--ascii", "--mt", "--disk", "10", "--add-load",
                      "250,5"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("Mean Load [W]: 4.163\n"), std::string::npos) << r.out;
}

TEST(KsrConfigCommands, PowerRejectsWhatThePageCannotHold) {
    test::TempDir dir;
    const std::vector<std::vector<std::string>> bad{{"power", "--prim-rate", "99"},
                                                    {"power", "--sec-rate", "7"},
                                                    {"power", "--prim-channels", "0"},
                                                    {"power", "--burst", "62,10"},
                                                    {"power", "--gps", "60"},
                                                    {"power", "--temperature", "-45"},
                                                    {"power", "--gel", "--temperature", "-30"},
                                                    {"power", "--disk", "15"},
                                                    {"power", "--battery", "lots"},
                                                    {"power", "--battery", "-5"},
                                                    {"power", "--battery", "0"},
                                                    {"power", "--add-load", "-100001"},
                                                    {"power", "--add-load", "100001"},
                                                    {"power", "--frequency", "3"}};
    for (const auto& args : bad) {
        const Result r = RunHere(dir, args);
        EXPECT_EQ(r.code, 2) << args[1];
        EXPECT_NE(r.err.find(args[1]), std::string::npos) << r.err;
    }
    EXPECT_NE(RunHere(dir, {"power", "--add-load", "-100001"}).err.find("from -100000 to 100000"),
              std::string::npos);
    EXPECT_EQ(RunHere(dir, {"power", "--add-load", "2100", "--battery", "10000"}).code, 0);
}

#ifndef _WIN32
// The simulator on its pseudo-terminal, for the duration of a test.
class Simulator : public test::SimulatorProcess {
  public:
    Simulator(const test::TempDir& dir, const std::string& options)
        : test::SimulatorProcess(dir.path(), options) {}
};

// Processes whose working folder is `folder` (a receiver the simulator started there).
int ProcessesIn(const std::filesystem::path& folder) {
    int count = 0;
    std::error_code ec;
    const auto wanted = std::filesystem::weakly_canonical(folder, ec);
    for (const auto& entry : std::filesystem::directory_iterator("/proc", ec)) {
        std::error_code ignored;
        const auto cwd = std::filesystem::read_symlink(entry.path() / "cwd", ignored);
        if (!ignored && cwd == wanted) ++count;
    }
    return count;
}

// The whole upload against both receivers a recorder may run as "kermit -r". C-Kermit needs
// about half a second to give its terminal back after the transfer and drops what arrives
// meanwhile: the reconfigure command must still reach the shell.
// The time of the first line of a simulator log going in (or out) that holds `text` (or is
// `text`, when `whole`), from `after` on; -1 when there is none.
long long Logged(const std::string& log, bool in, const std::string& text, long long after = 0,
                 bool whole = false) {
    std::istringstream lines(log);
    long long ms = 0;
    std::string dir, rest;
    while (lines >> ms >> dir && std::getline(lines, rest))
        if ((dir == "IN") == in && ms >= after &&
            (whole ? rest == " " + text : rest.find(text) != std::string::npos))
            return ms;
    return -1;
}

TEST(KsrConfigExecutable, UploadToTheSimulatorWithEitherReceiver) {
    for (const std::string receiver : {"gkermit", "ckermit"}) {
        test::TempDir dir;
        test::WriteBytes(dir / "recorder.ini",
                         test::ReadBytes(test::TestData("golden/timed.recorder.ini")));
        Simulator sim(dir, "--receiver " + receiver + " --log sim.log");
        ASSERT_FALSE(sim.device().empty());
        const Result r = RunExe(dir, "upload --port " + sim.device());
        EXPECT_EQ(r.code, 0) << receiver << ": " << r.err;
        EXPECT_EQ(r.err, "") << receiver;
        EXPECT_NE(r.out.find("[transmitting recorder.ini... 3057 of 3057 bytes]"),
                  std::string::npos)
            << r.out;
        EXPECT_NE(r.out.find("[recorder.ini transmitted, check for message \"New Data File "
                             "/data/... \"]"),
                  std::string::npos);
        // The recorder's own answer, which only a reconfigure command that reached the shell
        // brings.
        EXPECT_NE(r.out.find("\n[New Data File /data/2"), std::string::npos)
            << receiver << ": " << r.out;
        EXPECT_EQ(test::ReadBytes(dir / "rec" / "recorder.ini"),
                  test::ReadBytes(dir / "recorder.ini"))
            << receiver;
        // The bytes on the line and their timing, as the window's.
        const std::string log = test::ReadBytes(dir / "sim.log");
        const long long login = Logged(log, false, "login:"), root = Logged(log, true, "root\\x0D");
        const long long password = Logged(log, false, "Password:");
        const long long kelp = Logged(log, true, "kelp\\x0D");
        const long long cd = Logged(log, true, "cd /usr/local/wexo\\x0D");
        const long long kermit = Logged(log, true, "kermit -r\\x0D");
        const long long packet = Logged(log, true, "\\x01", kermit);
        auto within = [](long long d, long long lo, long long hi) { return d >= lo && d <= hi; };
        // "login:" is looked for 200 ms after Ctrl-C, "root" follows 1000 ms after that.
        const long long seen = std::max(login, Logged(log, true, "\\x03") + 200);
        EXPECT_TRUE(within(root - seen, 990, 1100)) << receiver << " " << root - seen;
        EXPECT_TRUE(within(kelp - password, 95, 200)) << receiver << " " << kelp - password;
        EXPECT_TRUE(within(cd - kelp, 1990, 2100)) << receiver << " " << cd - kelp;
        EXPECT_TRUE(within(kermit - cd, 990, 1100)) << receiver << " " << kermit - cd;
        EXPECT_TRUE(within(packet - kermit, 990, 1100)) << receiver << " " << packet - kermit;
        // One return once the receiver's shell prompt is back, the command 100 ms after it.
        const long long back = Logged(log, true, "\\x0D", packet, true);
        const long long reconfig = Logged(log, true, "/usr/local/wexo/reconfig\\x0D");
        EXPECT_TRUE(within(reconfig - back, 95, 200)) << receiver << " " << reconfig - back;
        EXPECT_EQ(Logged(log, true, "\\x0D", back + 1, true), -1) << receiver;
        EXPECT_LE(Logged(log, false, "wexo# ", packet), back) << receiver;
    }
}

TEST(KsrConfigExecutable, UploadToAReceiverThatNeverAnswersFails) {
    test::TempDir dir;
    test::WriteBytes(dir / "recorder.ini", "a=1\r\n");
    Simulator sim(dir, "--dead-receiver");
    const Result r = RunExe(dir, "upload --port " + sim.device() + " --answer-timeout 1");
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.out.find("[recorder.ini : Transfer failed]"), std::string::npos) << r.out;
    EXPECT_NE(r.err.find("no answer after 10 tries"), std::string::npos) << r.err;
    EXPECT_EQ(r.out.find("reconfig"), std::string::npos);
}

// Runs ksr-config upload in the background; returns its pid.
// ksr-config COMMAND ARGS in the background, its output in .out.
pid_t StartKsrConfig(const test::TempDir& dir, const std::string& commandAndArgs) {
    const pid_t child = fork();
    if (child == 0) {
        if (chdir(dir.path().c_str()) != 0) _exit(126);
        const int out = open((dir / ".out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(out, 1);
        dup2(out, 2);
        execl("/bin/sh", "sh", "-c",
              (std::string("exec ") + Quote(KSR_CONFIG_EXE) + " " + commandAndArgs).c_str(),
              static_cast<char*>(nullptr));
        _exit(127);
    }
    return child;
}

pid_t StartUpload(const test::TempDir& dir, const std::string& args) {
    return StartKsrConfig(dir, "upload " + args);
}

int Finish(pid_t child, int seconds) {
    for (int i = 0; i < seconds * 10; ++i) {
        int status = 0;
        if (waitpid(child, &status, WNOHANG) == child)
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    return -1;
}

// A line that is gone ends the upload at once as a failure naming the port and the step: in the
// middle of the login, and right after the transfer, before the return and the reconfigure
// command could reach the recorder.
TEST(KsrConfigFaults, ALineThatIsGoneEndsTheUploadAtOnceNamingThePortAndTheStep) {
    test::TempDir dir;
    test::WriteBytes(dir / "recorder.ini", "a=1\r\n");
    auto sim = std::make_unique<Simulator>(dir, "--no-login");
    const std::string device = sim->device();
    const pid_t upload = StartUpload(dir, "--port " + device);
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    sim.reset();                       // the line is gone in the middle of the login
    EXPECT_EQ(Finish(upload, 20), 1);  // without the fix: still waiting, killed (-1)
    std::string out = test::ReadBytes(dir / ".out");
    EXPECT_NE(out.find("the serial line " + device + " failed"), std::string::npos) << out;
    std::string log = test::ReadBytes(dir / "uploads.log");
    EXPECT_NE(log.find("\"result\": \"failed\""), std::string::npos) << log;
    EXPECT_NE(log.find("\"step\": \"login\""), std::string::npos) << log;

    for (const std::string kermit : {"gkermit", "ckermit"}) {
        test::TempDir after;
        test::WriteBytes(after / "recorder.ini", "a=1\r\n");
        Simulator hangUp(after, "--hang-up-after-transfer --receiver " + kermit);
        const Result r = RunExe(after, "upload --port " + hangUp.device());
        EXPECT_EQ(r.code, 1) << kermit << r.out << r.err;
        EXPECT_EQ(test::ReadBytes(after / "rec" / "recorder.ini"), "a=1\r\n") << kermit;
        log = test::ReadBytes(after / "uploads.log");
        EXPECT_NE(log.find("\"result\": \"failed\""), std::string::npos) << kermit << log;
        EXPECT_NE(log.find("the reconfigure command was not sent"), std::string::npos) << log;
        EXPECT_EQ(log.find("\"step\": \"wake-up\""), std::string::npos) << log;
    }
}

TEST(KsrConfigFaults, LineClosedDuringTheTransferFailsAtOnce) {
    test::TempDir dir;
    test::WriteBytes(dir / "recorder.ini", "a=1\r\n");
    auto sim = std::make_unique<Simulator>(dir, "--dead-receiver");
    const auto started = std::chrono::steady_clock::now();
    const pid_t upload = StartUpload(dir, "--port " + sim->device());
    std::this_thread::sleep_for(std::chrono::milliseconds(8000));  // the dialogue takes about 5.5 s
    sim.reset();
    EXPECT_EQ(Finish(upload, 30), 1);
    // Well within one answer's wait of 60 s: the closed line ends the transfer, not the time-outs.
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(25));
    const std::string out = test::ReadBytes(dir / ".out");
    EXPECT_NE(out.find("[recorder.ini : Transfer failed]"), std::string::npos) << out;
}

// Ended or killed outright, the simulator never leaves its receiver behind.
TEST(KsrConfigFaults, TheSimulatorEndsItsReceiverWhenItEnds) {
    for (const int signal : {SIGTERM, SIGKILL}) {
        test::TempDir dir;
        std::mt19937 rng(3);
        std::string noise(900000, ' ');
        for (char& c : noise)
            c = static_cast<char>(std::uniform_int_distribution<int>(33, 126)(rng));
        test::WriteBytes(dir / "recorder.ini", noise);
        auto sim = std::make_unique<Simulator>(dir, "");
        const pid_t upload = StartUpload(dir, "--port " + sim->device());
        int receivers = 0;
        for (int i = 0; i < 1500 && receivers == 0; ++i) {  // the receiver starts after about 5 s
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            receivers = ProcessesIn(dir / "rec");
        }
        ASSERT_GE(receivers, 1);  // the receiver (and, for a moment, the fork that starts it)
        if (signal == SIGKILL) kill(sim->pid(), SIGKILL);
        sim.reset();
        std::this_thread::sleep_for(std::chrono::milliseconds(1000));
        EXPECT_EQ(ProcessesIn(dir / "rec"), 0) << signal;
        kill(upload, SIGKILL);
        waitpid(upload, nullptr, 0);
    }
}

TEST(KsrConfigFaults, TheSimulatorRefusesAFolderThatIsNotThere) {
    test::TempDir dir;
    const std::string command = "'" + std::string(KSR_SIMULATOR) + "' --dir '" +
                                (dir / "missing").string() + "' > '" + (dir / "out").string() +
                                "' 2>&1";
    const int status = std::system(command.c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2) << status;
    EXPECT_NE(test::ReadBytes(dir / "out").find("missing is no folder"), std::string::npos);
}

// Ctrl-C, a kill and a closed terminal alike: the receiver is told with an error packet, the
// console is woken with Ctrl-C, the log says "aborted", and the exit status names the signal.
TEST(KsrConfigFaults, AStopSignalDuringTheTransferTellsTheReceiverAndSaysSo) {
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        test::TempDir dir;
        test::WriteBytes(dir / "recorder.ini", "a=1\r\n");
        Simulator sim(dir, "--dead-receiver --log sim.log");
        const pid_t upload = StartUpload(dir, "--port " + sim.device());
        std::this_thread::sleep_for(std::chrono::milliseconds(7000));  // the transfer has started
        kill(upload, signal);
        EXPECT_EQ(Finish(upload, 15), 128 + signal) << signal;
        const std::string out = test::ReadBytes(dir / ".out");
        EXPECT_NE(out.find("ksr-config upload: transfer aborted\n"), std::string::npos) << out;
        EXPECT_NE(out.find("[recorder.ini : Transfer failed]"), std::string::npos) << out;
        // An error packet went to the recorder: SOH, LEN, SEQ, "E"; then Ctrl-C.
        const std::string log = test::ReadBytes(dir / "sim.log");
        std::size_t errorPacket = std::string::npos;
        for (std::size_t at = log.find("\\x01"); at != std::string::npos;
             at = log.find("\\x01", at + 1))
            if (log.size() > at + 6 && log[at + 6] == 'E') errorPacket = at;
        ASSERT_NE(errorPacket, std::string::npos)
            << signal << log.substr(log.size() > 2000 ? log.size() - 2000 : 0);
        EXPECT_NE(log.find("\\x03", errorPacket), std::string::npos) << signal;
        const std::string uploads = test::ReadBytes(dir / "uploads.log");
        EXPECT_NE(uploads.find("\"result\": \"aborted\""), std::string::npos) << uploads;
    }
}

// An upload killed outright leaves the recorder's receiver waiting for packets; the next upload
// finds no login prompt, releases the receiver and gets through, with either receiver.
TEST(KsrConfigFaults, AnUploadAfterOneKilledOutrightReleasesTheLeftOverReceiver) {
    for (const std::string receiver : {"gkermit", "ckermit"}) {
        test::TempDir dir;
        std::mt19937 rng(7);
        std::string noise(900000, ' ');  // bytes that no repeat count shortens
        for (char& c : noise)
            c = static_cast<char>(std::uniform_int_distribution<int>(33, 126)(rng));
        test::WriteBytes(dir / "recorder.ini", noise);
        Simulator sim(dir, "--receiver " + receiver + " --log sim.log");
        const pid_t first = StartUpload(dir, "--port " + sim.device());
        bool transferring = false;
        for (int i = 0; i < 1500 && !transferring; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            transferring = test::ReadBytes(dir / "sim.log").find("IN \\x01") != std::string::npos;
        }
        ASSERT_TRUE(transferring) << receiver;
        kill(first, SIGKILL);
        waitpid(first, nullptr, 0);
        ASSERT_GE(ProcessesIn(dir / "rec"), 1) << receiver << ": the receiver still waits";
        test::WriteBytes(dir / "recorder.ini", "a=1\r\n");
        const auto started = std::chrono::steady_clock::now();
        const pid_t second = StartUpload(dir, "--port " + sim.device() + " --login-timeout 40");
        EXPECT_EQ(Finish(second, 60), 0) << receiver << ": " << test::ReadBytes(dir / ".out");
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(30)) << receiver;
        EXPECT_EQ(test::ReadBytes(dir / "rec" / "recorder.ini"), "a=1\r\n") << receiver;
    }
}

TEST(KsrConfigFaults, ALoginTimeoutEndsADialogueWithNothingAttached) {
    test::TempDir dir;
    test::WriteBytes(dir / "recorder.ini", "a=1\r\n");
    Simulator sim(dir, "--no-login");
    const auto started = std::chrono::steady_clock::now();
    const pid_t upload = StartUpload(dir, "--port " + sim.device() + " --login-timeout 3");
    EXPECT_EQ(Finish(upload, 20), 1);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(12));
    const std::string out = test::ReadBytes(dir / ".out");
    EXPECT_NE(out.find("no login on " + sim.device() + " within 3 s"), std::string::npos) << out;
}

TEST(KsrConfigFaults, AFileThatCannotBeReadIsAFailureNamingIt) {
    test::TempDir dir;
    std::filesystem::create_symlink(dir / "gone.ini", dir / "recorder.ini");
    Simulator sim(dir, "--log sim.log");
    const Result r = RunExe(dir, "upload --port " + sim.device());
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("recorder.ini: cannot open file"), std::string::npos) << r.err;
    // Found before anything went on the line: no login, no transfer, no reconfigure command.
    const std::string log = test::ReadBytes(dir / "sim.log");
    EXPECT_EQ(log.find("root"), std::string::npos) << log;
    EXPECT_EQ(log.find("reconfig"), std::string::npos);
    EXPECT_NE(test::ReadBytes(dir / "uploads.log").find("\"result\": \"failed\""),
              std::string::npos);
}

// What a folder holds decides nothing on the recorder's side: a name the recorder's shell would
// read as a command, a line end in a name, two names that are one on the recorder, and no file
// at all are refused before the line is touched, naming the file.
TEST(KsrConfigFaults, FilesThatCannotGoSafelyAreRefusedBeforeAnythingIsSent) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases{
        {{"x;reboot;$(halt).ini"}, "x;reboot;$(halt).ini is not sent"},
        {{"a\rb.ini"}, "a\\x0Db.ini is not sent"},
        {{"s\xC3\xBC"
          "d.ini"},
         "s\\xC3\\xBCd.ini is not sent"},
        {{"a.ini", "A.ini"}, "would both reach the recorder as A.INI"},
        {{"recorder.000"}, "no \"*.ini\" file to send"},
    };
    for (const auto& [names, said] : cases) {
        test::TempDir dir;
        for (const auto& name : names) test::WriteBytes(dir / name, "a=1\r\n");
        Simulator sim(dir, "--log sim.log");
        const Result r = RunExe(dir, "upload --port " + sim.device());
        EXPECT_EQ(r.code, 1) << names[0];
        EXPECT_NE(r.err.find(said), std::string::npos) << r.err;
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        EXPECT_EQ(test::ReadBytes(dir / "sim.log").find("IN"), std::string::npos) << names[0];
        const std::string log = test::ReadBytes(dir / "uploads.log");
        EXPECT_NE(log.find("\"result\": \"failed\""), std::string::npos) << log;
        for (unsigned char c : log) EXPECT_LT(c, 0x80) << log;  // names escaped, ASCII only
    }
}

// A wrong password: the recorder's refusal ends the upload at once, naming the login, and
// nothing is typed into the login prompt that follows.
TEST(KsrConfigFaults, ARefusedLoginEndsTheUploadNamingIt) {
    test::TempDir dir;
    test::WriteBytes(dir / "recorder.ini", "a=1\r\n");
    Simulator sim(dir, "--wrong-password --log sim.log");
    const auto started = std::chrono::steady_clock::now();
    const Result r = RunExe(dir, "upload --port " + sim.device());
    EXPECT_EQ(r.code, 1);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(15));
    EXPECT_NE(r.err.find("the recorder refused the login as root"), std::string::npos) << r.err;
    EXPECT_NE(r.out.find("[recorder.ini : Transfer failed]"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("transmitting"), std::string::npos) << r.out;
    const std::string log = test::ReadBytes(dir / "sim.log");
    EXPECT_EQ(log.find("IN cd"), std::string::npos) << log;
    EXPECT_EQ(log.find("IN kermit"), std::string::npos) << log;
    EXPECT_NE(test::ReadBytes(dir / "uploads.log").find("refused the login as root"),
              std::string::npos);
}

// Only the login program's own refusal counts: a clock warning and a "Last login:" line that
// comes in two pieces are not one. The shell the first upload leaves logged in is logged out by
// the second, with no release packet typed into it.
TEST(KsrConfigFaults, BannersAndAShellStillLoggedInAreNoRefusal) {
    test::TempDir dir;
    test::WriteBytes(dir / "recorder.ini", "a=1\r\n");
    Simulator sim(dir, "--slow-banner --log sim.log");
    for (int i = 0; i < 2; ++i) {
        const Result r = RunExe(dir, "upload --port " + sim.device());
        EXPECT_EQ(r.code, 0) << i << r.err;
        EXPECT_EQ(r.err.find("refused"), std::string::npos) << r.err;
    }
    const std::string log = test::ReadBytes(dir / "sim.log");
    EXPECT_EQ(log.find("Upload cancelled"), std::string::npos) << log;
    EXPECT_NE(log.find("IN logout"), std::string::npos) << log;
}

// A read stopped by a signal, or killed outright, leaves the recorder's Kermit sending: the
// stop tells it, and the next session's wake-up releases what a kill left. The next read gets
// in well within its login limit (without the release it waits about 48 s).
TEST(KsrConfigFaults, AStoppedOrKilledReadLeavesTheConsoleFreeForTheNextRead) {
    std::string big;
    for (int i = 0; big.size() < 300000; ++i) big += "key_" + std::to_string(i) + "=\xB0\r\n";
    for (const std::string kermit : {"gkermit", "ckermit"}) {
        for (const int signal : {SIGTERM, SIGKILL}) {
            test::TempDir dir;
            test::WriteBytes(dir / "running.ini", big);
            Simulator sim(dir, "--receiver " + kermit + " --current running.ini --log sim.log");
            const pid_t read = StartKsrConfig(dir, "read --port " + sim.device() + " --out got");
            // In the middle of the transfer: after 20 of our answers (it takes about 5,000).
            auto answers = [&] {
                const std::string log = test::ReadBytes(dir / "sim.log");
                int n = 0;
                for (std::size_t at = log.find(" IN \\x01"); at != std::string::npos;
                     at = log.find(" IN \\x01", at + 1))
                    ++n;
                return n;
            };
            for (int i = 0; i < 1000 && answers() < 20; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            ASSERT_GE(answers(), 20) << kermit;
            kill(read, signal);
            Finish(read, 15);
            const Result r =
                RunExe(dir, "read --login-timeout 20 --port " + sim.device() + " --out again");
            EXPECT_EQ(r.code, 0) << kermit << " " << signal << r.err;
            EXPECT_TRUE(test::ReadBytes(dir / "again") == big) << kermit << " " << signal;
        }
    }
}

TEST(KsrConfigCommands, UploadNeedsOnePort) {
    test::TempDir dir;
    EXPECT_EQ(RunHere(dir, {"upload"}).code, 2);
    EXPECT_EQ(RunHere(dir, {"upload", "--port", "/dev/x", "--com", "2"}).code, 2);
    EXPECT_EQ(RunHere(dir, {"upload", "--com", "99"}).code, 2);
}
#endif

// Names beyond ASCII (and beyond Windows' ANSI code page) go in and come out as given.
TEST(KsrConfigCommands, NonAsciiFileAndFolderNamesAreKept) {
    test::TempDir dir;
    CopyIn(dir, test::ShippedData("recorder.000"), "recorder.000");
    CopyIn(dir, test::ShippedData("examples/timed.set"), "timed.set");
    const std::string in = "\xC3\xA4-in.set", out = "\xCE\xA9-out.set",
                      folder =
                          "\xC3\x9C"
                          "bersicht";
    WriteFileAtomically(dir.path() / PathOf(in),
                        test::ReadBytes(test::TestData("example_test.set")));
    const Result r = RunHere(dir, {"format", in, "-o", out});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(ReadFileBytes(dir.path() / PathOf(out)),
              test::ReadBytes(test::TestData("example_test.set")));
    const Result b = RunHere(dir, {"build", "--out-dir", folder, "timed.set"});
    EXPECT_EQ(b.code, 0) << b.err;
    EXPECT_TRUE(std::filesystem::exists(dir.path() / PathOf(folder) / "TIMED" / "recorder.ini"));
}

TEST(KsrConfigCommands, MissingTemplateIsABadFile) {
    test::TempDir dir;
    CopyIn(dir, test::ShippedData("examples/timed.set"), "timed.set");
    const Result r = RunHere(dir, {"build", "timed.set"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("recorder.000: cannot open file"), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(dir / "recorder.ini"));
    EXPECT_FALSE(std::filesystem::exists(dir / "SHORTTMP.DAT"));  // both or neither
    // An empty template, and one without keys, in a single build and in a folder build.
    for (const std::string bytes : {"", "# notes\r\n"}) {
        test::WriteBytes(dir / "recorder.000", bytes);
        const Result one = RunHere(dir, {"build", "timed.set"});
        EXPECT_EQ(one.code, 1);
        EXPECT_NE(one.err.find("recorder.000: the template "), std::string::npos) << one.err;
        EXPECT_FALSE(std::filesystem::exists(dir / "recorder.ini"));
        const Result many = RunHere(dir, {"build", "--out-dir", "out", "timed.set"});
        EXPECT_EQ(many.code, 1);
        EXPECT_NE(many.out.find("FAILED: recorder.000: the template "), std::string::npos)
            << many.out;
    }
}

// The set-up name as the window takes it from the file name; a name recorder.ini cannot carry
// (a line feed, bytes above 127) is refused by build and check with exit 1, nothing written.
TEST(KsrConfigCommands, BuildNamesTheSetUpAsTheWindowDoesAndRefusesNamesRecorderIniCannotCarry) {
    test::TempDir dir;
    CopyIn(dir, test::ShippedData("recorder.000"), "recorder.000");
    const std::string timed = test::ReadBytes(test::ShippedData("examples/timed.set"));
    for (auto [file, name] : {std::pair{"FIELDS~1.set", "FIELDS~1"}, std::pair{"st-1.set", "ST-1"},
                              std::pair{"my_set.set", "MY_SET"}, std::pair{"a.b.set", "A.B"},
                              std::pair{"~~.set", "~~"}}) {
        test::WriteBytes(dir / file, timed);
        const Result r = RunHere(dir, {"build", file});
        ASSERT_EQ(r.code, 0) << r.err;
        EXPECT_EQ(r.err, "") << file;  // the name is the file's: no note
        const std::string ini = test::ReadBytes(dir / "recorder.ini");
        EXPECT_NE(ini.find(std::string("setup_name=") + name + "\r\n"), std::string::npos) << name;
        EXPECT_EQ(SplitLines(ini).size(),
                  SplitLines(test::ReadBytes(test::TestData("golden/timed.recorder.ini"))).size());
        const Result json = RunHere(dir, {"check", "--json", file});
        EXPECT_NE(json.out.find(std::string("\"setup_name\": \"") + name + "\""), std::string::npos)
            << json.out;
    }
    std::filesystem::remove(dir / "recorder.ini");
    std::filesystem::remove(dir / "SHORTTMP.DAT");
#ifdef _WIN32
    const std::vector<std::string> refused{"st\xC3\xA4tion.set"};  // no control byte in a name
#else
    const std::vector<std::string> refused{"a\nb.set", "st\xC3\xA4tion.set"};
#endif
    for (const std::string& file : refused) {
        WriteFileAtomically(dir.path() / PathOf(file), timed);
        for (const std::vector<std::string>& args :
             {std::vector<std::string>{"build", file}, std::vector<std::string>{"check", file},
              std::vector<std::string>{"build", "--out-dir", "out", file}}) {
            const Result r = RunHere(dir, args);
            EXPECT_EQ(r.code, 1) << args[0];
            EXPECT_NE((r.out + r.err).find("which recorder.ini cannot carry"), std::string::npos)
                << r.out << r.err;
        }
        EXPECT_FALSE(std::filesystem::exists(dir / "recorder.ini"));
        EXPECT_FALSE(std::filesystem::exists(dir / "SHORTTMP.DAT"));
        EXPECT_FALSE(std::filesystem::exists(dir / "out"));
    }
    // A name that is not the file's own is said on standard error.
    test::WriteBytes(dir / "ridge-s01.set", timed);
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"build", "ridge-s01.set"},
          std::vector<std::string>{"check", "ridge-s01.set"},
          std::vector<std::string>{"build", "--out-dir", "out", "ridge-s01.set"}}) {
        const Result r = RunHere(dir, args);
        EXPECT_EQ(r.code, 0) << r.err;
        EXPECT_NE(r.err.find("ridge-s01.set: note: the set-up is called IDGE-S01, not ridge-s01"),
                  std::string::npos)
            << r.err;
    }
}

}  // namespace
}  // namespace ksr

#if defined(__linux__)
#include <sys/stat.h>

#include <atomic>

namespace ksr {
namespace {

namespace fs = std::filesystem;

// What a single build of `setFile` with `temperature` writes in a folder of its own.
std::pair<std::string, std::string> SingleBuild(const std::string& setFile, int temperature) {
    test::TempDir alone;
    CopyIn(alone, test::ShippedData("recorder.000"), "recorder.000");
    CopyIn(alone, test::ShippedData("examples/" + setFile), setFile);
    const Result r =
        RunHere(alone, {"build", setFile, "--lowest-temp", std::to_string(temperature)});
    EXPECT_EQ(r.code, 0) << r.err;
    return {test::ReadBytes(alone / "SHORTTMP.DAT"), test::ReadBytes(alone / "recorder.ini")};
}

TEST(KsrConfigFiles, TwoBuildsAtOnceNeverMixTheirFiles) {
    const auto [shortA, iniA] = SingleBuild("station1.set", -10);
    const auto [shortB, iniB] = SingleBuild("timed.set", -30);
    // A build that read the other's SHORTTMP.DAT would differ from both.
    ASSERT_NE(SingleBuild("station1.set", -30).second, iniA);

    test::TempDir dir;
    CopyIn(dir, test::ShippedData("recorder.000"), "recorder.000");
    CopyIn(dir, test::ShippedData("examples/station1.set"), "station1.set");
    CopyIn(dir, test::ShippedData("examples/timed.set"), "timed.set");
    test::WriteBytes(dir / "recorder.ini", iniA);
    test::WriteBytes(dir / "SHORTTMP.DAT", shortA);
    pid_t builders[2];
    for (int b = 0; b < 2; ++b) {
        builders[b] = fork();
        if (builders[b] == 0) {
            std::ostringstream out, err;
            fs::current_path(dir.path());
            for (int i = 0; i < 150; ++i) {
                const int code =
                    b == 0 ? cli::Run({"build", "station1.set"}, out, err)
                           : cli::Run({"build", "timed.set", "--lowest-temp", "-30"}, out, err);
                if (code != 0) _exit(10 + code);
            }
            _exit(0);
        }
    }
    // Meanwhile recorder.ini is always one build's complete file, never a mix, and under the
    // folder's lock SHORTTMP.DAT and recorder.ini always come from the same build.
    int seen = 0;
    int status[2] = {-1, -1};
    for (int running = 2; running > 0;) {
        {
            FolderLock lock(dir.path());
            const std::string ini = test::ReadBytes(dir / "recorder.ini");
            const std::string shortTmp = test::ReadBytes(dir / "SHORTTMP.DAT");
            ASSERT_TRUE(ini == iniA || ini == iniB)
                << "a mixed recorder.ini of " << ini.size() << " bytes";
            ASSERT_TRUE((ini == iniA && shortTmp == shortA) || (ini == iniB && shortTmp == shortB))
                << "recorder.ini and SHORTTMP.DAT of different builds";
        }
        ++seen;
        std::this_thread::sleep_for(std::chrono::microseconds(300));
        running = 0;
        for (int b = 0; b < 2; ++b)
            if (status[b] == -1 && waitpid(builders[b], &status[b], WNOHANG) == 0) {
                status[b] = -1;
                ++running;
            }
    }
    for (int s : status) EXPECT_TRUE(WIFEXITED(s) && WEXITSTATUS(s) == 0) << s;  // every build
    // The last build's two files belong together.
    const std::string ini = test::ReadBytes(dir / "recorder.ini");
    const std::string shortTmp = test::ReadBytes(dir / "SHORTTMP.DAT");
    EXPECT_TRUE((ini == iniA && shortTmp == shortA) || (ini == iniB && shortTmp == shortB));
    EXPECT_TRUE(test::TemporaryFiles(dir.path()).empty());
    EXPECT_GT(seen, 0);
}

TEST(KsrConfigFiles, ABuildWaitsForTheFolderLockThenFailsAndTouchesNothing) {
    test::TempDir dir;
    CopyIn(dir, test::ShippedData("recorder.000"), "recorder.000");
    CopyIn(dir, test::ShippedData("examples/timed.set"), "timed.set");
    test::WriteBytes(dir / "recorder.ini", "previous\r\n");
    FolderLock held(dir.path());  // as the window holds it while it saves
    const auto start = std::chrono::steady_clock::now();
    const Result r = RunExe(dir, "build timed.set");
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("another program is writing set-up files in this folder"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(test::ReadBytes(dir / "recorder.ini"), "previous\r\n");
    EXPECT_FALSE(fs::exists(dir / "SHORTTMP.DAT"));
}

TEST(KsrConfigFiles, BuildChangesShortTmpAndRecorderIniBothOrNeither) {
    test::TempDir dir;
    CopyIn(dir, test::ShippedData("examples/timed.set"), "timed.set");
    const std::string oldShort = ShortTmpBytes("-20");
    test::WriteBytes(dir / "SHORTTMP.DAT", oldShort);
    // No template: nothing is written.
    EXPECT_EQ(RunHere(dir, {"build", "timed.set", "--lowest-temp", "-30"}).code, 1);
    EXPECT_EQ(test::ReadBytes(dir / "SHORTTMP.DAT"), oldShort);
    // recorder.ini cannot be replaced: SHORTTMP.DAT stays as it was.
    CopyIn(dir, test::ShippedData("recorder.000"), "recorder.000");
    ASSERT_EQ(::mkfifo((dir / "recorder.ini").c_str(), 0644), 0);
    const Result r = RunHere(dir, {"build", "timed.set", "--lowest-temp", "-30"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("recorder.ini: cannot replace file: not a regular file"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(test::ReadBytes(dir / "SHORTTMP.DAT"), oldShort);
    EXPECT_TRUE(fs::is_fifo(dir / "recorder.ini"));
}

TEST(KsrConfigFiles, FifosAndDevicesAreRefusedAtOnceNamingThem) {
    test::TempDir dir;
    CopyIn(dir, test::ShippedData("examples/timed.set"), "timed.set");
    ASSERT_EQ(::mkfifo((dir / "recorder.000").c_str(), 0644), 0);
    ASSERT_EQ(::mkfifo((dir / "pipe.set").c_str(), 0644), 0);
    ASSERT_EQ(::mkfifo((dir / "out.set").c_str(), 0644), 0);
    struct Case {
        std::string args, message;
    } cases[] = {
        {"build timed.set", "recorder.000: cannot read file: not a regular file"},
        {"check pipe.set", "pipe.set: cannot read file: not a regular file"},
        {"check /dev/zero", "/dev/zero: cannot read file: not a regular file"},
        {"format timed.set -o out.set", "out.set: cannot replace file: not a regular file"},
        {"format timed.set -o /dev/null", "/dev/null: cannot replace file: not a regular file"},
    };
    for (const Case& c : cases) {
        // "timeout" turns a hang into exit 124 instead of a stuck suite.
        const Result r = RunExe(dir, c.args, "timeout 10 ");
        EXPECT_EQ(r.code, 1) << c.args << ": " << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << c.args << ": " << r.err;
    }
    EXPECT_TRUE(fs::is_fifo(dir / "out.set"));
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
}

TEST(KsrConfigOutput, AFullStandardOutputOrErrorIsAFailure) {
    test::TempDir dir;
    CopyIn(dir, test::ShippedData("examples/timed.set"), "timed.set");
    const std::string exe = Quote(KSR_CONFIG_EXE);
    const std::string in = "cd " + Quote(dir.path().string()) + " && ";
    auto status = [&](const std::string& tail) {
        const int s = std::system((in + exe + " " + tail).c_str());
        return WIFEXITED(s) ? WEXITSTATUS(s) : -1;
    };
    EXPECT_EQ(status("format timed.set > /dev/full 2> err.txt"), 1);
    EXPECT_NE(test::ReadBytes(dir / "err.txt").find("ksr-config: cannot write standard output"),
              std::string::npos);
    EXPECT_EQ(status("check timed.set > /dev/full 2> /dev/null"), 1);
    EXPECT_EQ(status("--help > /dev/full 2> /dev/null"), 1);
    EXPECT_EQ(status("frobnicate 2> /dev/full"), 2);  // the usage error keeps its code
    EXPECT_EQ(status("format timed.set > ok.set"), 0);
    EXPECT_EQ(test::ReadBytes(dir / "ok.set"), test::ReadBytes(dir / "timed.set"));
}

// File names are the operator's, not ours: whatever bytes they hold, what is printed, what JSON
// carries and what errors say is plain ASCII, with control bytes and the rest as \xNN.
TEST(KsrConfigOutput, FileNamesAreEscapedInTextJsonAndErrors) {
    test::TempDir dir;
    const std::vector<std::pair<std::string, std::string>> names{
        {"a\x1B[2J\nb.set", "a\\x1B[2J\\x0Ab.set"},
        {"s\xFC"
         "d.set",
         "s\\xFCd.set"},
        {"s\xC3\xBC"
         "d.set",
         "s\\xC3\\xBCd.set"},
    };
    // No control byte but the line end, and valid UTF-8 (what a terminal and JSON need).
    auto plain = [](const std::string& text) {
        for (std::size_t i = 0; i < text.size(); ++i) {
            const auto c = static_cast<unsigned char>(text[i]);
            if ((c < 0x20 && c != '\n') || c == 0x7F) return false;
            if (c < 0x80) continue;
            const int more = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC2 ? 1 : -1;
            if (more < 0 || i + static_cast<std::size_t>(more) >= text.size()) return false;
            for (int k = 1; k <= more; ++k)
                if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
            i += static_cast<std::size_t>(more);
        }
        return true;
    };
    test::WriteBytes(dir / "recorder.000", test::ReadBytes(test::ShippedData("recorder.000")));
    for (const auto& [name, shown] : names) {
        CopyIn(dir, test::ShippedData("examples/timed.set"), name);
        for (const std::vector<std::string>& args :
             {std::vector<std::string>{"check", "--json", name},
              std::vector<std::string>{"build", "--json", "--out-dir", "out", name},
              std::vector<std::string>{"build", "--out-dir", "out2", name},
              std::vector<std::string>{"check", name + ".gone"}}) {
            const Result r = RunHere(dir, args);
            EXPECT_TRUE(plain(r.out)) << args[0] << " " << r.out;
            EXPECT_TRUE(plain(r.err)) << args[0] << " " << r.err;
            // In JSON the escape's backslash is itself escaped.
            const std::string json = fmt::JsonString(shown);
            const std::string all = r.out + r.err;
            EXPECT_TRUE(all.find(json.substr(1, json.size() - 2)) != std::string::npos ||
                        all.find(shown) != std::string::npos)
                << args[0] << " " << r.out << r.err;
        }
    }
}

}  // namespace
}  // namespace ksr
#endif
