#include <gtest/gtest.h>

#include <functional>
#include <thread>

#include "TestSupport.h"
#include "setup/FileIo.h"
#include "setup/TextFormat.h"

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

using test::WriteUnderSizeLimit;

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
// A log line that does not fit on the disk is taken back whole, and the next line starts on a
// line of its own, also after a file that a crash left ending in the middle of a line.
TEST(AtomicWriteDiskFull, AnAppendedLogLineIsWholeOrAbsent) {
    test::TempDir dir;
    const std::string first = "{\"n\": 1}\n";
    test::WriteBytes(dir / "uploads.log", first);
    const std::string second = "{\"n\": 2, \"pad\": \"" + std::string(200, 'p') + "\"}\n";
    EXPECT_EQ(WriteUnderSizeLimit(100, [&] { AppendToFile(dir / "uploads.log", second); }), 0);
    EXPECT_EQ(test::ReadBytes(dir / "uploads.log"), first);

    test::WriteBytes(dir / "uploads.log", first + "{\"n\": 2, \"tor");
    AppendToFile(dir / "uploads.log", "{\"n\": 3}\n");
    EXPECT_EQ(test::ReadBytes(dir / "uploads.log"), first + "{\"n\": 2, \"tor\n{\"n\": 3}\n");
    AppendToFile(dir / "empty.log", "{}\n");
    EXPECT_EQ(test::ReadBytes(dir / "empty.log"), "{}\n");
}

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
        for (const std::string& name : test::TemporaryFiles(dir.path()))
            ASSERT_TRUE(IsTemporaryName(name)) << name;  // hidden: no list or mask takes it
    }
    // What the killed runs left behind goes with the next write of each file.
    SetupRecord r = a;
    WriteSetupFile(r, dir / "x.set");
    WriteShortTmp("-10", dir.path());
    RecorderIni ini(dir.path());
    ini.LoadIniTemplate();
    ini.MergeIniKeys(r);
    ini.WriteRecorderIni();
    EXPECT_TRUE(test::TemporaryFiles(dir.path()).empty());
}

}  // namespace
}  // namespace ksr
#endif

#if defined(__linux__)
#include <fcntl.h>
#include <sys/stat.h>

#include <chrono>

namespace ksr {
namespace {

namespace fs = std::filesystem;

mode_t ModeOf(const fs::path& p) {
    struct stat st {};
    EXPECT_EQ(::lstat(p.c_str(), &st), 0) << p;
    return st.st_mode & 07777;
}

// Runs `body` in a child process as an unprivileged user (nobody when we are root), so that
// permissions are enforced; returns the child's exit code (0 = every check held).
int AsUnprivilegedUser(const std::function<int()>& body) {
    const pid_t child = fork();
    if (child == 0) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) _exit(90);
        _exit(body());
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 99;
}

TEST(SafeWrite, ALinkPlantedAtTheOldTemporaryNameIsNeverFollowed) {
    test::TempDir dir;
    test::WriteBytes(dir / "victim", "precious");
    fs::create_symlink(dir / "victim", dir / "recorder.ini.tmp");
    WriteFileAtomically(dir / "recorder.ini", "a=1\r\n");
    EXPECT_EQ(test::ReadBytes(dir / "victim"), "precious");
    EXPECT_EQ(test::ReadBytes(dir / "recorder.ini"), "a=1\r\n");
}

TEST(SafeWrite, ALinkedTargetReplacesItsFinalFileAndStaysALink) {
    test::TempDir dir;
    fs::create_directory(dir / "store");
    test::WriteBytes(dir / "store" / "real.ini", "old\r\n");
    fs::create_symlink("store/real.ini", dir / "middle.ini");  // relative, then a chain
    fs::create_symlink(dir / "middle.ini", dir / "recorder.ini");
    WriteFileAtomically(dir / "recorder.ini", "new\r\n");
    EXPECT_TRUE(fs::is_symlink(dir / "recorder.ini"));
    EXPECT_TRUE(fs::is_symlink(dir / "middle.ini"));
    EXPECT_EQ(test::ReadBytes(dir / "store" / "real.ini"), "new\r\n");
    EXPECT_TRUE(test::TemporaryFiles(dir / "store").empty());

    fs::create_symlink("store/later.ini", dir / "dangling.ini");  // a link to a file to come
    WriteFileAtomically(dir / "dangling.ini", "x");
    EXPECT_TRUE(fs::is_symlink(dir / "dangling.ini"));
    EXPECT_EQ(test::ReadBytes(dir / "store" / "later.ini"), "x");

    fs::create_symlink("loop.ini", dir / "loop.ini");
    EXPECT_THROW(WriteFileAtomically(dir / "loop.ini", "x"), IoError);
}

TEST(SafeWrite, PermissionBitsOfTheOldFileAreKept) {
    test::TempDir dir;
    test::WriteBytes(dir / "x.set", "old");
    ::chmod((dir / "x.set").c_str(), 0640);
    WriteFileAtomically(dir / "x.set", "new");
    EXPECT_EQ(ModeOf(dir / "x.set"), 0640u);
    ::chmod((dir / "x.set").c_str(), 0604);
    WriteFileAtomically(dir / "x.set", "newer");
    EXPECT_EQ(ModeOf(dir / "x.set"), 0604u);
    EXPECT_EQ(test::ReadBytes(dir / "x.set"), "newer");
}

TEST(SafeWrite, WhatIsNotARegularFileIsRefusedNamedAndLeftAsItIs) {
    test::TempDir dir;
    ASSERT_EQ(::mkfifo((dir / "out.set").c_str(), 0644), 0);
    try {
        WriteFileAtomically(dir / "out.set", "x");
        FAIL() << "no error";
    } catch (const IoError& e) {
        EXPECT_EQ(e.located(),
                  (dir / "out.set").string() + ": cannot replace file: not a regular file");
    }
    EXPECT_TRUE(fs::is_fifo(dir / "out.set"));
    EXPECT_TRUE(test::TemporaryFiles(dir.path()).empty());
}

TEST(SafeWrite, AFileTheUserCannotWriteIsRefusedAndKept) {
    test::TempDir dir;
    ::chmod(dir.path().c_str(), 0777);  // the folder itself is writable for everybody
    test::WriteBytes(dir / "mine.ini", "read-only");
    test::WriteBytes(dir / "theirs.ini", "someone else's");
    ::chmod((dir / "theirs.ini").c_str(), 0644);
    EXPECT_EQ(AsUnprivilegedUser([&] {
                  if (::geteuid() == 0) return 91;
                  // What an unprivileged user makes and then protects.
                  test::WriteBytes(dir / "own.ini", "own");
                  ::chmod((dir / "own.ini").c_str(), 0444);
                  for (const char* name : {"own.ini", "theirs.ini"}) {
                      try {
                          WriteFileAtomically(dir / name, "replaced");
                          return 1;
                      } catch (const IoError& e) {
                          if (e.file() != (dir / name).string()) return 2;
                          if (e.message().find("Permission denied") == std::string::npos) return 3;
                      }
                  }
                  if (test::ReadBytes(dir / "own.ini") != "own") return 4;
                  if (ModeOf(dir / "own.ini") != 0444) return 5;
                  if (test::ReadBytes(dir / "theirs.ini") != "someone else's") return 6;
                  return test::TemporaryFiles(dir.path()).empty() ? 0 : 7;
              }),
              0);
}

TEST(SafeWrite, TemporariesOfAKilledRunAreRemovedAndNeverLookLikeRealFiles) {
    test::TempDir dir;
    const pid_t gone = fork();
    if (gone == 0) _exit(0);
    waitpid(gone, nullptr, 0);
    const std::string stale = ".recorder.ini." + std::to_string(gone) + "-0-1.tmp";
    const std::string living = ".recorder.ini.1-0-1.tmp";  // process 1 is always alive
    test::WriteBytes(dir / stale, "half");
    test::WriteBytes(dir / living, "busy");
    EXPECT_TRUE(IsTemporaryName(stale));
    EXPECT_FALSE(IsTemporaryName("recorder.ini"));
    EXPECT_FALSE(IsTemporaryName("x.set"));

    WriteFileAtomically(dir / "recorder.ini", "a=1\r\n");
    EXPECT_FALSE(fs::exists(dir / stale));
    EXPECT_TRUE(fs::exists(dir / living));  // another program may be writing it right now
}

TEST(SafeWrite, FilesThatBelongTogetherAreWrittenBothOrNeither) {
    test::TempDir dir;
    test::WriteBytes(dir / "a.set", "old a");
    ASSERT_EQ(::mkfifo((dir / "SHORTTMP.DAT").c_str(), 0644), 0);
    EXPECT_THROW(WriteFilesTogether({{dir / "a.set", "new a"}, {dir / "SHORTTMP.DAT", "t"}}),
                 IoError);
    EXPECT_EQ(test::ReadBytes(dir / "a.set"), "old a");  // checked before anything was written
    fs::remove(dir / "SHORTTMP.DAT");

    // The second write fails part way (a full disk): the first file gets its old bytes back, and
    // a first file that did not exist before is gone again.
    EXPECT_EQ(
        WriteUnderSizeLimit(100,
                            [&] {
                                WriteFilesTogether({{dir / "a.set", "new a"},
                                                    {dir / "fresh.ini", "x"},
                                                    {dir / "big.ini", std::string(500, 'b')}});
                            }),
        0);
    EXPECT_EQ(test::ReadBytes(dir / "a.set"), "old a");
    EXPECT_FALSE(fs::exists(dir / "fresh.ini"));
    EXPECT_FALSE(fs::exists(dir / "big.ini"));
}

// Many groups with two syncs in all: each group is still both or neither, a failing group
// leaves its files as they were, the others are written, and no temporary stays.
TEST(SafeWrite, ManyGroupsAtOnceEachBothOrNeither) {
    test::TempDir dir;
    for (const char* d : {"one", "two", "three"}) fs::create_directory(dir / d);
    test::WriteBytes(dir / "two" / "a.set", "old a");
    fs::create_directory(dir / "two" / "recorder.ini");  // no file can take its place
    const auto errors = WriteFileGroups({
        {{dir / "one" / "a.set", "1a"}, {dir / "one" / "recorder.ini", "1i"}},
        {{dir / "two" / "a.set", "2a"}, {dir / "two" / "recorder.ini", "2i"}},
        {{dir / "three" / "a.set", "3a"}, {dir / "three" / "recorder.ini", "3i"}},
    });
    ASSERT_EQ(errors.size(), 3u);
    EXPECT_FALSE(errors[0]);
    ASSERT_TRUE(errors[1]);
    EXPECT_NE(errors[1]->located().find("recorder.ini"), std::string::npos);
    EXPECT_FALSE(errors[2]);
    EXPECT_EQ(test::ReadBytes(dir / "one" / "recorder.ini"), "1i");
    EXPECT_EQ(test::ReadBytes(dir / "two" / "a.set"), "old a");
    EXPECT_EQ(test::ReadBytes(dir / "three" / "a.set"), "3a");
    for (const char* d : {"one", "two", "three"})
        EXPECT_TRUE(test::TemporaryFiles(dir / d).empty()) << d;

    // A full disk part way: the files of a group that did not fit stay old, none is half.
    test::WriteBytes(dir / "one" / "a.set", "old 1a");
    EXPECT_EQ(WriteUnderSizeLimit(100,
                                  [&] {
                                      const auto e = WriteFileGroups(
                                          {{{dir / "one" / "a.set", "new 1a"},
                                            {dir / "one" / "big.ini", std::string(500, 'b')}}});
                                      if (e[0]) throw IoError("full", "one", e[0]->message());
                                  }),
              0);
    EXPECT_EQ(test::ReadBytes(dir / "one" / "a.set"), "old 1a");
    EXPECT_FALSE(fs::exists(dir / "one" / "big.ini"));
    EXPECT_TRUE(test::TemporaryFiles(dir / "one").empty());
}

TEST(ReadRegularFiles, FifoDeviceAndOversizedFilesAreRefusedAtOnce) {
    test::TempDir dir;
    ASSERT_EQ(::mkfifo((dir / "recorder.000").c_str(), 0644), 0);
    test::WriteBytes(dir / "huge.set", std::string(MaxFileSize + 1, 'x'));
    test::WriteBytes(dir / "largest.set", std::string(MaxFileSize, 'x'));
    // In a child with an alarm: a read that blocks on the FIFO must not hang the suite.
    const pid_t child = fork();
    if (child == 0) {
        alarm(5);
        auto refused = [](const fs::path& p, const std::string& why) {
            try {
                ReadFileBytes(p);
            } catch (const IoError& e) {
                return e.file() == p.string() && e.message().find(why) != std::string::npos;
            }
            return false;
        };
        if (!refused(dir / "recorder.000", "not a regular file")) _exit(1);
        if (!refused("/dev/zero", "not a regular file")) _exit(2);
        if (!refused(dir.path(), "not a regular file")) _exit(3);
        if (!refused(dir / "huge.set", "larger than 1 MB")) _exit(4);
        if (ReadFileBytes(dir / "largest.set").size() != MaxFileSize) _exit(5);
        _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status)) << "the read blocked (killed by the alarm)";
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(FolderLockBetweenPrograms, ASecondProgramWaitsThenFailsWithAClearMessage) {
    test::TempDir dir;
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t holder = fork();
    if (holder == 0) {
        FolderLock lock(dir.path());
        (void)!write(ready[1], "x", 1);
        pause();
        _exit(0);
    }
    char c;
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    const auto start = std::chrono::steady_clock::now();
    try {
        FolderLock second(dir.path(), std::chrono::milliseconds(400));
        ADD_FAILURE() << "the lock was taken twice";
    } catch (const FolderBusyError& e) {
        EXPECT_EQ(e.file(), dir.path().string());
        EXPECT_NE(e.message().find("another program is writing"), std::string::npos);
    }
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(400));
    kill(holder, SIGKILL);
    waitpid(holder, nullptr, 0);
    FolderLock afterwards(dir.path(), std::chrono::milliseconds(0));  // a dead holder holds nothing
    close(ready[0]);
    close(ready[1]);
}

TEST(FolderLockBetweenPrograms, ALockReleasedWithinTheWaitLetsTheSecondIn) {
    test::TempDir dir;
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t holder = fork();
    if (holder == 0) {
        {
            FolderLock lock(dir.path());
            (void)!write(ready[1], "x", 1);
            usleep(300000);
        }
        pause();
        _exit(0);
    }
    char c;
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    EXPECT_NO_THROW(FolderLock(dir.path(), std::chrono::milliseconds(3000)));
    kill(holder, SIGKILL);
    waitpid(holder, nullptr, 0);
    close(ready[0]);
    close(ready[1]);
}

TEST(SafeWriteMessages, AFolderWhereNoTemporaryCanBeMadeIsNamed) {
    // Even root cannot create files in /proc.
    try {
        WriteFileAtomically("/proc/ksr-no-such.ini", "x");
        FAIL() << "no error";
    } catch (const IoError& e) {
        EXPECT_EQ(e.file(), "/proc/ksr-no-such.ini");
        EXPECT_NE(e.message().find("cannot create a temporary file in \"/proc\""),
                  std::string::npos)
            << e.located();
    }
}

}  // namespace
}  // namespace ksr
#endif

#ifdef _WIN32
#include <windows.h>

namespace ksr {
namespace {

namespace fs = std::filesystem;

TEST(SafeWrite, TemporariesOfAKilledRunAreRemovedAndNeverLookLikeRealFiles) {
    test::TempDir dir;
    // A process that lives through the write, and one that has ended: this program, held
    // before it starts, without a console (which would outlive it holding the test's output).
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    STARTUPINFOW start{};
    start.cb = sizeof start;
    PROCESS_INFORMATION alive{}, ended{};
    const DWORD held = CREATE_SUSPENDED | DETACHED_PROCESS;
    ASSERT_TRUE(CreateProcessW(self, nullptr, nullptr, nullptr, FALSE, held, nullptr, nullptr,
                               &start, &alive));
    ASSERT_TRUE(CreateProcessW(self, nullptr, nullptr, nullptr, FALSE, held, nullptr, nullptr,
                               &start, &ended));
    TerminateProcess(ended.hProcess, 0);
    WaitForSingleObject(ended.hProcess, 5000);
    CloseHandle(ended.hProcess);  // gone for good
    CloseHandle(ended.hThread);
    const std::string stale = ".recorder.ini." + std::to_string(ended.dwProcessId) + "-0-1.tmp";
    const std::string living = ".recorder.ini." + std::to_string(alive.dwProcessId) + "-0-1.tmp";
    test::WriteBytes(dir / stale, "half");
    test::WriteBytes(dir / living, "busy");
    EXPECT_TRUE(IsTemporaryName(stale));

    WriteFileAtomically(dir / "recorder.ini", "a=1\r\n");
    EXPECT_FALSE(fs::exists(dir / stale));
    EXPECT_TRUE(fs::exists(dir / living));  // its writer may be writing it right now
    TerminateProcess(alive.hProcess, 0);
    CloseHandle(alive.hProcess);
    CloseHandle(alive.hThread);
}

// A virus scanner holds the old file for a moment: the replace waits for it; held longer than
// about a second, the write fails and the old file stays, with no temporary left.
TEST(SafeWrite, AFileHeldOpenForAMomentIsReplacedOnceLetGo) {
    test::TempDir dir;
    test::WriteBytes(dir / "recorder.ini", "old");
    auto hold = [&](int ms) {
        HANDLE h = CreateFileW((dir / "recorder.ini").c_str(), GENERIC_READ, FILE_SHARE_READ,
                               nullptr, OPEN_EXISTING, 0, nullptr);
        EXPECT_NE(h, INVALID_HANDLE_VALUE);
        return std::thread([h, ms] {
            Sleep(static_cast<DWORD>(ms));
            CloseHandle(h);
        });
    };
    std::thread brief = hold(300);
    WriteFileAtomically(dir / "recorder.ini", "new");
    brief.join();
    EXPECT_EQ(test::ReadBytes(dir / "recorder.ini"), "new");

    std::thread long_ = hold(3000);
    EXPECT_THROW(WriteFileAtomically(dir / "recorder.ini", "newer"), IoError);
    long_.join();
    EXPECT_EQ(test::ReadBytes(dir / "recorder.ini"), "new");
    EXPECT_TRUE(test::TemporaryFiles(dir.path()).empty());
}

// The folder lock of another writer (a handle of its own, as another program has): a second
// writer waits, then fails naming the folder; one let go within the wait lets it in.
TEST(FolderLockBetweenPrograms, ASecondWriterWaitsThenFailsOrGetsInWhenLetGo) {
    test::TempDir dir;
    auto first = std::make_unique<FolderLock>(dir.path());
    const auto start = std::chrono::steady_clock::now();
    try {
        FolderLock second(dir.path(), std::chrono::milliseconds(400));
        ADD_FAILURE() << "the lock was taken twice";
    } catch (const FolderBusyError& e) {
        EXPECT_EQ(e.file(), dir.path().string());
        EXPECT_NE(e.message().find("another program is writing"), std::string::npos);
    }
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(400));
    std::thread letGo([&] {
        Sleep(300);
        first.reset();
    });
    EXPECT_NO_THROW(FolderLock(dir.path(), std::chrono::milliseconds(3000)));
    letGo.join();
}

// Names beyond the ANSI code page go through the file layer and back unchanged.
TEST(SafeWrite, ANonAsciiNameRoundTrips) {
    test::TempDir dir;
    const std::string name = "st\xC3\xA4tion-\xCE\xA9.set";  // a-umlaut and a Greek omega
    WriteFileAtomically(dir.path() / PathOf(name), "x");
    EXPECT_EQ(ReadFileBytes(dir.path() / PathOf(name)), "x");
    bool listed = false;
    for (const auto& entry : fs::directory_iterator(dir.path()))
        listed = listed || entry.path().filename().string() == name;
    EXPECT_TRUE(listed);
}

}  // namespace
}  // namespace ksr
#endif
