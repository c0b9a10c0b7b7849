#include <gtest/gtest.h>

#include <functional>
#include <thread>

#include "TestSupport.h"
#include "setup/FileIo.h"

namespace ksr {
namespace {

using Lines = std::vector<std::string>;

TEST(SplitLines, CrLfLfAndALastLineWithoutEnd) {
    EXPECT_EQ(SplitLines(""), Lines{});
    EXPECT_EQ(SplitLines("a\r\nb\r\n"), (Lines{"a", "b"}));
    EXPECT_EQ(SplitLines("a\nb"), (Lines{"a", "b"}));
    EXPECT_EQ(SplitLines("\r\n\r\n"), (Lines{"", ""}));
    EXPECT_EQ(SplitLines("x\ry\r\n"), (Lines{"x\ry"}));  // a lone CR is part of the line
    EXPECT_EQ(SplitLines("\xB0\xB5\r\n"), (Lines{"\xB0\xB5"}));
}

TEST(AtomicWrite, ReplacesTheWholeFileByteForByte) {
    test::TempDir dir;
    test::WriteBytes(dir / "f", std::string(1000, 'o'));
    const std::string bytes = std::string("a\r\n\0\xFF\xB0", 7);
    WriteFileAtomically(dir / "f", bytes);
    EXPECT_EQ(test::ReadBytes(dir / "f"), bytes);
    EXPECT_TRUE(test::TemporaryFiles(dir.path()).empty());
}

TEST(AtomicWrite, FailureKeepsTheOldFileAndLeavesNoTemporary) {
    test::TempDir dir;
    std::filesystem::create_directory(dir / "taken");  // a folder where the file should go
    try {
        WriteFileAtomically(dir / "taken", "new");
        FAIL() << "no error";
    } catch (const IoError& e) {
        EXPECT_NE(e.file().find("taken"), std::string::npos);
    }
    EXPECT_TRUE(std::filesystem::is_directory(dir / "taken"));
    EXPECT_TRUE(test::TemporaryFiles(dir.path()).empty());
}

TEST(AtomicWrite, MissingFolderIsAnIoError) {
    test::TempDir dir;
    EXPECT_THROW(WriteFileAtomically(dir / "no" / "such" / "f.set", "x"), IoError);
}

TEST(ErrorText, LocatedMessagesForTheCommandLine) {
    EXPECT_EQ(InvalidNumberError("x", "a.set", 3).located(),
              "a.set:3: \"x\" is not a valid whole number");
    RangeError range("DataType", 5, "1..4");
    EXPECT_EQ(range.located(), "DataType 5 is out of range (1..4)");
    range.locate("b.set", 9);
    EXPECT_EQ(range.located(), "b.set:9: DataType 5 is out of range (1..4)");
    EXPECT_EQ(IoError("cannot open file", "c.set", "No such file or directory").located(),
              "c.set: cannot open file: No such file or directory");
}

}  // namespace
}  // namespace ksr

#if defined(__linux__)
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "recorder_ini/RecorderIni.h"
#include "setup/SetupFile.h"

namespace ksr {
namespace {

// Runs `write` in a child process whose files may not grow beyond `limit` bytes, as on a full
// disk; returns 0 when the write raised IoError, 1 when it succeeded, 2 on anything else.
int WriteUnderSizeLimit(rlim_t limit, const std::function<void()>& write) {
    const pid_t child = fork();
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);
        rlimit small{limit, limit};
        setrlimit(RLIMIT_FSIZE, &small);
        try {
            write();
            _exit(1);
        } catch (const IoError&) {
            _exit(0);
        } catch (...) {
            _exit(2);
        }
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 3;
}

TEST(AtomicWriteDiskFull, SetupFileShortTmpAndRecorderIniStayWholeWhenAWriteFailsPartWay) {
    test::TempDir dir;
    const std::string oldSet = test::ReadBytes(test::TestData("example_test.set"));
    const std::string oldShort =
        "-20\r\nValue above sets Minutes to shorten the PC cycle of the KSR\r\n";
    const std::string oldIni = "old=1\r\n[timer]\r\n";
    test::WriteBytes(dir / "test.set", oldSet);
    test::WriteBytes(dir / "SHORTTMP.DAT", oldShort);
    test::WriteBytes(dir / "recorder.ini", oldIni);
    test::WriteBytes(dir / "recorder.000", test::ReadBytes(test::ShippedData("recorder.000")));

    EXPECT_EQ(WriteUnderSizeLimit(100,
                                  [&] {
                                      SetupRecord r = test::ExampleRecord();
                                      WriteSetupFile(r, dir / "test.set");
                                  }),
              0);
    EXPECT_EQ(WriteUnderSizeLimit(10, [&] { WriteShortTmp("-10", dir.path()); }), 0);
    EXPECT_EQ(WriteUnderSizeLimit(200,
                                  [&] {
                                      RecorderIni ini(dir.path());
                                      ini.LoadIniTemplate();
                                      ini.MergeIniKeys(test::ExampleRecord());
                                      ini.WriteRecorderIni();
                                  }),
              0);

    EXPECT_EQ(test::ReadBytes(dir / "test.set"), oldSet);
    EXPECT_EQ(test::ReadBytes(dir / "SHORTTMP.DAT"), oldShort);
    EXPECT_EQ(test::ReadBytes(dir / "recorder.ini"), oldIni);
    EXPECT_TRUE(test::TemporaryFiles(dir.path()).empty());

    // The same writes without the limit succeed: the failures above came from the limit.
    EXPECT_EQ(WriteUnderSizeLimit(RLIM_INFINITY, [&] { WriteShortTmp("-10", dir.path()); }), 1);
    EXPECT_EQ(test::ReadBytes(dir / "SHORTTMP.DAT").substr(0, 5), "-10\r\n");
}

}  // namespace
}  // namespace ksr
#endif

#if defined(__linux__)
#include <random>

namespace ksr {
namespace {

// A child process saves two set-ups in turn, with SHORTTMP.DAT and recorder.ini, as fast as it
// can; it is killed at a random moment. Every file must then be one of the two complete versions.
TEST(AtomicWriteKilled, EveryFileIsTheOldOrTheNewCompleteVersion) {
    test::TempDir dir;
    test::WriteBytes(dir / "recorder.000", test::ReadBytes(test::ShippedData("recorder.000")));
    SetupRecord a = test::ExampleRecord();
    SetupRecord b = test::ExampleRecord();
    b.SetupName = "OTHER";
    for (int n = 1; n <= 40; ++n) b.RecWindows[n].WinType = code::WinBurst;  // a longer file
    const std::string setA = FormatSetupFile(a), setB = FormatSetupFile(b);
    std::string iniA, iniB;
    for (auto [record, out] : {std::pair{&a, &iniA}, std::pair{&b, &iniB}}) {
        RecorderIni ini(dir.path());
        ini.LoadIniTemplate();
        ini.MergeIniKeys(*record);
        *out = JoinCrLf(ini.lines());
    }
    const std::string shortA =
        "-10\r\nValue above sets Minutes to shorten the PC cycle of the KSR\r\n";
    const std::string shortB =
        "-30\r\nValue above sets Minutes to shorten the PC cycle of the KSR\r\n";
    test::WriteBytes(dir / "x.set", setA);
    test::WriteBytes(dir / "SHORTTMP.DAT", shortA);
    test::WriteBytes(dir / "recorder.ini", iniA);

    std::mt19937 rng(5);
    for (int round = 0; round < 40; ++round) {
        const pid_t child = fork();
        if (child == 0) {
            for (int i = 0;; ++i) {
                SetupRecord r = i % 2 ? a : b;
                WriteSetupFile(r, dir / "x.set");
                WriteShortTmp(i % 2 ? "-10" : "-30", dir.path());
                RecorderIni ini(dir.path());
                ini.LoadIniTemplate();
                ini.MergeIniKeys(r);
                ini.WriteRecorderIni();
            }
        }
        std::this_thread::sleep_for(
            std::chrono::microseconds(std::uniform_int_distribution<int>(200, 20000)(rng)));
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
        const std::string set = test::ReadBytes(dir / "x.set");
        const std::string shortTmp = test::ReadBytes(dir / "SHORTTMP.DAT");
        const std::string ini = test::ReadBytes(dir / "recorder.ini");
        ASSERT_TRUE(set == setA || set == setB) << "round " << round;
        ASSERT_TRUE(shortTmp == shortA || shortTmp == shortB) << "round " << round;
        ASSERT_TRUE(ini == iniA || ini == iniB) << "round " << round;
    }
}

}  // namespace
}  // namespace ksr
#endif
