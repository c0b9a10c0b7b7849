// Preparing many recorders from the command line: ports, builds into folders, diff, JSON,
// power from a set-up, uploads from a folder with their log, verification on the recorder, and
// reading back what a recorder runs, before an upload too.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <optional>
#include <sstream>
#include <thread>

#include "Commands.h"
#include "ConfigRun.h"
#include "SimulatorProcess.h"
#include "TestSupport.h"
#include "setup/FileIo.h"
#include "setup/SetupFile.h"
#include "setup/TextFormat.h"
#include "upload/Checksums.h"
#include "upload/UploadLog.h"

namespace ksr {
namespace {

namespace fs = std::filesystem;

using test::Result;
using test::RunHere;

std::string Quote(const std::string& s) {
    return "'" + s + "'";
}

Result RunExe(const fs::path& dir, const std::string& args) {
    const std::string command = "cd " + Quote(dir.string()) + " && timeout 120 " +
                                Quote(KSR_CONFIG_EXE) + " " + args + " > .out 2> .err";
    const int status = std::system(command.c_str());
    Result r{WIFEXITED(status) ? WEXITSTATUS(status) : -1, test::ReadBytes(dir / ".out"),
             test::ReadBytes(dir / ".err")};
    fs::remove(dir / ".out");
    fs::remove(dir / ".err");
    return r;
}

void CopyIn(const fs::path& dir, const fs::path& from, const std::string& name) {
    test::WriteBytes(dir / name, test::ReadBytes(from));
}

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
    const auto at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

TEST(FleetPorts, ListsWhatIsPresentAndExitsZero) {
    test::TempDir dir;
    const Result plain = RunHere(dir, {"ports"});
    EXPECT_EQ(plain.code, 0) << plain.err;
    for (std::size_t at = 0; at < plain.out.size(); at = plain.out.find('\n', at) + 1)
        EXPECT_EQ(plain.out.compare(at, 3, "COM"), 0) << plain.out;  // one port a line
    const Result json = RunHere(dir, {"ports", "--json"});
    EXPECT_EQ(json.code, 0);
    EXPECT_EQ(json.out.rfind("{\"ports\": [", 0), 0u) << json.out;
    EXPECT_EQ(RunHere(dir, {"ports", "extra"}).code, 2);
}

TEST(FleetBuild, EachSetUpInItsOwnFolderAsASingleBuildWritesIt) {
    test::TempDir dir;
    CopyIn(dir.path(), test::ShippedData("recorder.000"), "recorder.000");
    CopyIn(dir.path(), test::ShippedData("examples/station1.set"), "station1.set");
    CopyIn(dir.path(), test::ShippedData("examples/timed.set"), "timed.set");
    test::WriteBytes(dir / "broken.set",
                     "X\r\n01-JAN-2026\r\n10:00\r\n;;params\r\n;;rec_mode 1 1 x\r\n");
    fs::create_directory(dir / "again");
    CopyIn(dir.path(), test::ShippedData("examples/timed.set"), "again/timed.set");
    const Result r = RunHere(dir, {"build", "--out-dir", "fleet", "--lowest-temp=-20",
                                   "station1.set", "broken.set", "timed.set", "again/timed.set"});
    EXPECT_EQ(r.code, 1);  // one failed, the others are built
    EXPECT_NE(r.out.find("station1.set: fleet/STATION1/recorder.ini built for set-up STATION1"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("broken.set: FAILED: broken.set:5:"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("again/timed.set: FAILED:"), std::string::npos) << r.out;  // name taken
    // One template: every folder is the same recorder, and the output says so.
    EXPECT_NE(r.err.find("carries the identity of ./recorder.000 (station KSR01, serial 0000)"),
              std::string::npos)
        << r.err;
    for (const std::string name : {"station1", "timed"}) {
        test::TempDir alone;
        CopyIn(alone.path(), test::ShippedData("recorder.000"), "recorder.000");
        CopyIn(alone.path(), test::ShippedData("examples/" + name + ".set"), name + ".set");
        ASSERT_EQ(RunHere(alone, {"build", name + ".set", "--lowest-temp", "-20"}).code, 0);
        const fs::path folder = dir / "fleet" / fmt::UpperAscii(name);
        for (const std::string& file :
             std::vector<std::string>{"recorder.ini", "SHORTTMP.DAT", name + ".set"})
            EXPECT_EQ(test::ReadBytes(folder / file), test::ReadBytes(alone / file)) << file;
    }
    EXPECT_FALSE(fs::exists(dir / "fleet" / "BROKEN"));
    EXPECT_TRUE(test::TemporaryFiles(dir / "fleet" / "TIMED").empty());

    const Result json =
        RunHere(dir, {"build", "--out-dir", "fleet", "--json", "timed.set", "broken.set"});
    EXPECT_EQ(json.code, 1);
    EXPECT_NE(json.out.find("{\"file\": \"timed.set\", \"setup_name\": \"TIMED\", \"folder\": "
                            "\"fleet/TIMED\", \"ok\": true, \"recorder_ini_lines\": "),
              std::string::npos)
        << json.out;
    EXPECT_NE(json.out.find("\"ok\": false"), std::string::npos);
}

// A setup file named like a file of its build folder would replace what was built (and a
// "*.ini" would be uploaded); another file that gives a NAME built earlier would replace that
// recorder's files without a word. Both are refused; --force replaces a folder on purpose.
TEST(FleetBuild, NamesThatWouldReplaceBuiltFilesOrAnotherSetUpAreRefused) {
    test::TempDir dir;
    CopyIn(dir.path(), test::ShippedData("recorder.000"), "recorder.000");
    const auto timed = test::ReadBytes(test::ShippedData("examples/timed.set"));
    for (const std::string name : {"recorder.ini", "x.ini", "SHORTTMP.DAT", "uploads.log"}) {
        test::WriteBytes(dir / name, timed);
        const Result r = RunHere(dir, {"build", "--out-dir", "fleet", name});
        EXPECT_EQ(r.code, 1) << name;
        EXPECT_NE(r.out.find("would take the place of a file of its build folder"),
                  std::string::npos)
            << r.out;
        fs::remove(dir / name);
    }
    EXPECT_FALSE(fs::exists(dir / "fleet" / "RECORDERINI" / "recorder.ini"));

    test::WriteBytes(dir / "timed.set", timed);
    fs::create_directory(dir / "other");
    test::WriteBytes(dir / "other" / "Timed.set", timed);
    ASSERT_EQ(RunHere(dir, {"build", "--out-dir", "fleet", "timed.set"}).code, 0);
    EXPECT_EQ(RunHere(dir, {"build", "--out-dir", "fleet", "timed.set"}).code, 0);  // again
    const Result other = RunHere(dir, {"build", "--out-dir", "fleet", "other/Timed.set"});
    EXPECT_EQ(other.code, 1);
    EXPECT_NE(other.out.find("holds the set-up timed.set from an earlier build"), std::string::npos)
        << other.out;
    EXPECT_FALSE(fs::exists(dir / "fleet" / "TIMED" / "Timed.set"));
    const Result forced =
        RunHere(dir, {"build", "--out-dir", "fleet", "--force", "other/Timed.set"});
    EXPECT_EQ(forced.code, 0) << forced.out;
    EXPECT_TRUE(fs::exists(dir / "fleet" / "TIMED" / "Timed.set"));
    EXPECT_FALSE(fs::exists(dir / "fleet" / "TIMED" / "timed.set"));
    EXPECT_EQ(RunHere(dir, {"build", "--force", "timed.set"}).code, 2);  // --force needs --out-dir
}

TEST(FleetDiff, SettingsThatDifferByTheirReadableNames) {
    test::TempDir dir;
    const std::string timed = test::ReadBytes(test::ShippedData("examples/timed.set"));
    test::WriteBytes(dir / "a.set", timed);
    test::WriteBytes(dir / "same.set", timed);
    // Channel 2 at 200 sps (index 13), and a GPS cycle of 2 h instead of 1 h.
    std::string other =
        Replaced(timed, ";;s_rates  10  6  1  10  6  1", ";;s_rates  10  6  1  13  6  1");
    other = Replaced(other, ";;gps_mode 2  ", ";;gps_mode 3  ");
    test::WriteBytes(dir / "b.set", other);
    Result r = RunHere(dir, {"diff", "a.set", "same.set"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "");
    r = RunHere(dir, {"diff", "a.set", "b.set"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.out.find("Primary Rate Ch2: 100 -> 200\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("GPS Mode: CYCLE 1 h -> CYCLE 2 h\n"), std::string::npos) << r.out;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 3) << r.out;  // + its secondary rate
    r = RunHere(dir, {"diff", "a.set", "missing.set"});
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("missing.set"), std::string::npos);
    EXPECT_EQ(RunHere(dir, {"diff", "a.set"}).code, 2);
}

TEST(FleetJson, CheckNamesEverySettingWithItsShownValue) {
    test::TempDir dir;
    CopyIn(dir.path(), test::ShippedData("examples/timed.set"), "timed.set");
    const Result r = RunHere(dir, {"check", "--json", "timed.set"});
    ASSERT_EQ(r.code, 0) << r.err;
    for (const char* member : {"\"setup_name\": \"TIMED\"", "\"record_mode\": \"TIMED\"",
                               "\"primary_rate_ch1\": \"100\"", "\"gain_ch1\": \"1\"",
                               "\"gps_mode\": \"CYCLE 1 h\"", "\"gps_latitude\": \"-33\xC2\xB0 S\"",
                               "\"calout\": \"ON\"", "\"window1_type\": \"PowerON\"",
                               "\"window2_start\": \"immediately\"", "\"rate_rule_changes\": ["})
        EXPECT_NE(r.out.find(member), std::string::npos) << member << "\n" << r.out;
}

TEST(FleetPower, EstimatesForASetUpAndAsJson) {
    test::TempDir dir;
    CopyIn(dir.path(), test::ShippedData("examples/station1.set"), "station1.set");
    const Result fromFile = RunHere(dir, {"power", "station1.set", "--temperature", "-10"});
    ASSERT_EQ(fromFile.code, 0) << fromFile.err;
    // Six channels at 200 sps and three at 20, GPS cycled every 4 hours: as given by hand.
    const Result byHand =
        RunHere(dir, {"power", "--prim-rate", "200", "--prim-channels", "6", "--sec-rate", "20",
                      "--sec-channels", "3", "--gps", "240,20", "--temperature", "-10"});
    EXPECT_EQ(fromFile.out.substr(fromFile.out.find("Mean Load")),
              byHand.out.substr(byHand.out.find("Mean Load")));
    const Result json = RunHere(dir, {"power", "station1.set", "--json"});
    for (const char* key : {"\"mean_load_w\": ", "\"true_capacity_wh\": ",
                            "\"battery_life_days\": ", "\"record_capacity_days\": ", "\"note\": ",
                            "\"gel_too_cold\": false", "\"prim_channels\": 6"})
        EXPECT_NE(json.out.find(key), std::string::npos) << key << "\n" << json.out;
    // A solar panel's gain above the load: the battery is not used up.
    const Result solar = RunHere(dir, {"power", "--add-load", "-5000"});
    ASSERT_EQ(solar.code, 0) << solar.err;
    EXPECT_NE(solar.out.find("Battery Life [days]: unlimited\n"), std::string::npos) << solar.out;
}

using Simulator = test::SimulatorProcess;

TEST(FleetUpload, FromAFolderListsTheFilesLogsAndVerifies) {
    test::TempDir dir;
    fs::create_directory(dir / "unit7");
    const std::string ini = test::ReadBytes(test::TestData("golden/timed.recorder.ini"));
    test::WriteBytes(dir / "unit7" / "recorder.ini", ini);
    test::WriteBytes(dir / "unit7" / "extra.ini", "extra=1\r\n");
    Simulator sim(dir.path(), "--receiver ckermit");
    // A stable name for the port, as /dev/serial/by-id gives one.
    fs::create_symlink(sim.device(), dir / "usb-FTDI_serial-if00-port0");
    const Result r =
        RunExe(dir.path(), "upload --port " + (dir / "usb-FTDI_serial-if00-port0").string() +
                               " --dir unit7 --verify");
    EXPECT_EQ(r.code, 0) << r.err << r.out;
    EXPECT_EQ(
        r.out.rfind(
            "Files to send from unit7:\n  EXTRA.INI (9 bytes)\n  RECORDER.INI (3057 bytes)\n", 0),
        0u)
        << r.out;
    EXPECT_EQ(test::ReadBytes(dir / "rec" / "recorder.ini"), ini);
    EXPECT_EQ(test::ReadBytes(dir / "rec" / "extra.ini"), "extra=1\r\n");
    EXPECT_NE(r.out.find("[verified: "), std::string::npos) << r.out;
    const auto lines = SplitLines(test::ReadBytes(dir / "unit7" / "uploads.log"));
    ASSERT_EQ(lines.size(), 1u);
    const std::string& log = lines[0];
    for (const std::string& member : std::vector<std::string>{
             "\"program\": \"ksr-config\"", "\"setup_name\": \"TIMED\"", "\"result\": \"success\"",
             "\"error\": null", "\"new_data_file\": \"New Data File /data/",
             "{\"name\": \"RECORDER.INI\", \"size\": 3057, \"sha256\": \"" +
                 upload::Sha256Hex(ini) + "\"}",
             "\"verify\": \"extra.ini: "})
        EXPECT_NE(log.find(member), std::string::npos) << member << "\n" << log;
    EXPECT_EQ(log.find("\"time\": \"20"), 1u) << log;
    EXPECT_EQ(log.back(), '}');
}

// A file damaged on the recorder, or a recorder without cksum: the check comes before the
// reconfigure command, which is then not sent, and the log's result is a failure too.
TEST(FleetUpload, VerificationFindsADamagedFileOrNoAnswer) {
    test::TempDir dir;
    test::WriteBytes(dir / "recorder.ini", "a=1\r\n");
    {
        Simulator sim(dir.path(), "--damage-received --log sim.log");
        const Result r = RunExe(dir.path(), "upload --port " + sim.device() + " --verify");
        EXPECT_EQ(r.code, 1) << r.out << r.err;
        EXPECT_NE(r.out.find("[NOT verified: recorder.ini: recorder "), std::string::npos) << r.out;
        EXPECT_NE(r.err.find("the reconfigure command was not sent"), std::string::npos) << r.err;
        EXPECT_EQ(test::ReadBytes(dir / "sim.log").find("IN /usr/local/wexo/reconfig"),
                  std::string::npos);
    }
    {
        Simulator sim(dir.path(), "--no-cksum --log sim.log");
        const Result r = RunExe(dir.path(), "upload --port " + sim.device() + " --verify");
        EXPECT_EQ(r.code, 3) << r.out << r.err;
        EXPECT_NE(r.out.find("no usable answer"), std::string::npos);
        EXPECT_EQ(test::ReadBytes(dir / "sim.log").find("IN /usr/local/wexo/reconfig"),
                  std::string::npos);
    }
    const auto lines = SplitLines(test::ReadBytes(dir / "uploads.log"));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[0].find("\"verify\": \"recorder.ini: recorder "), std::string::npos);
    for (const auto& line : lines) {
        EXPECT_NE(line.find("\"result\": \"failed\""), std::string::npos) << line;
        EXPECT_NE(line.find("the reconfigure command was not sent"), std::string::npos) << line;
    }
}

// The check compares with the bytes that went on the line: a file rebuilt or removed here while
// the transfer runs changes nothing of what the recorder got, and is no reason for a verdict.
TEST(FleetUpload, VerificationComparesWithTheBytesSentNotTheFileAsItIsNow) {
    for (const bool removed : {false, true}) {
        test::TempDir dir;
        const std::string sent(300000, 's');
        test::WriteBytes(dir / "recorder.ini", sent);
        Simulator sim(dir.path(), "--log sim.log");
        std::optional<Result> r;
        std::thread upload(
            [&] { r = RunExe(dir.path(), "upload --port " + sim.device() + " --verify"); });
        bool transferring = false;
        for (int i = 0; i < 1500 && !transferring; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            transferring = test::ReadBytes(dir / "sim.log").find("IN \\x01") != std::string::npos;
        }
        if (removed)
            fs::remove(dir / "recorder.ini");
        else
            test::WriteBytes(dir / "recorder.ini", "rebuilt=1\r\n");
        upload.join();
        ASSERT_TRUE(transferring);
        EXPECT_EQ(r->code, 0) << removed << r->out << r->err;
        EXPECT_NE(r->out.find("[verified: recorder.ini: "), std::string::npos) << r->out;
        EXPECT_EQ(test::ReadBytes(dir / "rec" / "recorder.ini"), sent);
        EXPECT_NE(test::ReadBytes(dir / "sim.log").find("IN /usr/local/wexo/reconfig"),
                  std::string::npos);
    }
}

TEST(FleetUpload, ALogThatCannotBeWrittenIsOnlyAWarning) {
    test::TempDir dir;
    test::WriteBytes(dir / "recorder.ini", "a=1\r\n");
    fs::create_directory(dir / "uploads.log");
    Simulator sim(dir.path(), "");
    const Result r = RunExe(dir.path(), "upload --port " + sim.device());
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.err.find("warning: the upload log was not written"), std::string::npos) << r.err;
}

TEST(FleetUpload, AFailedUploadIsLoggedWithItsError) {
    test::TempDir dir;
    test::WriteBytes(dir / "recorder.ini", "a=1\r\n");
    Simulator sim(dir.path(), "--dead-receiver");
    const Result r = RunExe(dir.path(), "upload --port " + sim.device() + " --answer-timeout 1");
    EXPECT_EQ(r.code, 1);
    const std::string log = test::ReadBytes(dir / "uploads.log");
    EXPECT_NE(log.find("\"result\": \"failed\", \"error\": \"no answer after 10 tries"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("\"new_data_file\": null"), std::string::npos);
}

// What a recorder runs, read back with the recorder's own Kermit as the sender: either program.
TEST(FleetReadBack, ReadAndCompareWithEitherKermitOnTheRecorder) {
    for (const std::string kermit : {"gkermit", "ckermit"}) {
        test::TempDir dir;
        const std::string ini = test::ReadBytes(test::TestData("golden/timed.recorder.ini"));
        test::WriteBytes(dir / "running.ini", ini);
        Simulator sim(dir.path(), "--receiver " + kermit + " --current running.ini --log sim.log");
        Result r = RunExe(dir.path(), "read --port " + sim.device());
        EXPECT_EQ(r.code, 0) << kermit << r.err;
        EXPECT_TRUE(r.out == ini) << kermit;
        EXPECT_NE(r.err.find("[recorder.ini read from KSR]"), std::string::npos) << r.err;
        // Nothing that changes the recorder went to it.
        const std::string log = test::ReadBytes(dir / "sim.log");
        for (const char* command : {"kermit -r", "reconfig", "cksum"})
            EXPECT_EQ(log.find(command), std::string::npos) << kermit << ": " << command;

        r = RunExe(dir.path(), "compare --port " + sim.device() + " running.ini");
        EXPECT_EQ(r.code, 0) << kermit << r.err << r.out;
        EXPECT_EQ(r.out, "");
        // Another recorder's file: its identity comes first and is marked, whatever the order.
        test::WriteBytes(dir / "other.ini",
                         Replaced(Replaced(ini, "serial_number=0000", "serial_number=0417"),
                                  "channel_0_samplerate=", "channel_0_samplerate=1"));
        r = RunExe(dir.path(), "compare --port " + sim.device() + " other.ini");
        EXPECT_EQ(r.code, 1) << kermit << r.err;
        EXPECT_EQ(r.out.rfind("IDENTITY serial_number: recorder 0000, file 0417\n", 0), 0u)
            << r.out;
        // A set-up built in memory against the template: its differences by the set-up's names.
        CopyIn(dir.path(), test::ShippedData("recorder.000"), "recorder.000");
        CopyIn(dir.path(), test::ShippedData("examples/station1.set"), "station1.set");
        r = RunExe(dir.path(), "compare --port " + sim.device() + " --json station1.set");
        EXPECT_EQ(r.code, 1) << kermit << r.err << r.out;
        EXPECT_NE(
            r.out.find("{\"key\": \"setup_name\", \"label\": \"Setup Name\", "
                       "\"recorder\": \"TIMED\", \"file\": \"STATION1\", \"identity\": false}"),
            std::string::npos)
            << r.out;
        EXPECT_FALSE(fs::exists(dir / "recorder.ini"));  // nothing built on disk
    }
}

// Noise on the line (one flipped bit, a burst of bytes) costs a packet sent again, never a
// wrong byte in the file read; a sender that sends empty data packets for ever ends the read.
TEST(FleetReadBack, ADamagedLineNeverGivesAWrongFileAndAReadWithoutProgressEnds) {
    const std::string ini = test::ReadBytes(test::TestData("golden/timed.recorder.ini")) +
                            "units=\xB0"
                            "C \xB5s\r\n";
    for (const std::string kermit : {"gkermit", "ckermit"}) {
        test::TempDir dir;
        test::WriteBytes(dir / "running.ini", ini);
        Simulator sim(dir.path(), "--receiver " + kermit + " --current running.ini --line-noise");
        const Result r = RunExe(dir.path(), "read --port " + sim.device());
        EXPECT_EQ(r.code, 0) << kermit << r.err;
        EXPECT_TRUE(r.out == ini) << kermit;
    }
    test::TempDir dir;
    Simulator sim(dir.path(), "--endless-sender");
    const Result r = RunExe(dir.path(), "read --port " + sim.device());
    EXPECT_EQ(r.code, 1) << r.err;
    EXPECT_NE(r.err.find("packets in a row without data"), std::string::npos) << r.err;
}

TEST(FleetReadBack, ReadRefusesANameTheNextUploadWouldSendAndFailsWithoutTheFile) {
    test::TempDir dir;
    Simulator sim(dir.path(), "--log sim.log");
    Result r = RunExe(dir.path(), "read --port " + sim.device() + " --out Backup.INI");
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("the next upload would send"), std::string::npos) << r.err;
    EXPECT_EQ(test::ReadBytes(dir / "sim.log"), "");  // refused before the line
    // Whatever path leads there: a link, or a link to a link, to the recorder.ini to be sent.
    test::WriteBytes(dir / "recorder.ini", "station_code=KSR01\r\n");
    fs::create_directory(dir / "elsewhere");
    fs::create_symlink("../recorder.ini", dir / "elsewhere" / "x");
    fs::create_symlink("elsewhere/x", dir / "backup");
    fs::create_symlink("new.ini", dir / "dangling");
    for (const char* name : {"backup", "elsewhere/x", "dangling", "elsewhere/../backup"}) {
        r = RunExe(dir.path(), "read --port " + sim.device() + " --out " + name);
        EXPECT_EQ(r.code, 2) << name;
        EXPECT_NE(r.err.find("the next upload would send"), std::string::npos) << r.err;
    }
    EXPECT_EQ(test::ReadBytes(dir / "recorder.ini"), "station_code=KSR01\r\n");
    EXPECT_FALSE(fs::exists(dir / "new.ini"));
    EXPECT_EQ(test::ReadBytes(dir / "sim.log"), "");
    r = RunExe(dir.path(), "read --port " + sim.device() + " --out saved/recorder.ini");
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("?File not found - recorder.ini"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir / "saved"));
    r = RunExe(dir.path(), "compare --port " + sim.device() + " missing.ini");
    EXPECT_EQ(r.code, 2);
}

// Recorder A's file never goes into recorder B: only "logout" follows the read.
TEST(FleetReadBack, TheGuardUploadsOnlyToTheRecorderTheFileIsFor) {
    for (const std::string kermit : {"gkermit", "ckermit"}) {
        test::TempDir dir;
        const std::string ini = test::ReadBytes(test::TestData("golden/timed.recorder.ini"));
        const std::string other = Replaced(ini, "serial_number=0000", "serial_number=0417");
        test::WriteBytes(dir / "recorder.ini", ini);
        Simulator sim(dir.path(), "--receiver " + kermit + " --current running.ini --log sim.log");
        // A new recorder (no recorder.ini yet) cannot be told apart: a status of its own.
        Result r = RunExe(dir.path(), "upload --guard --port " + sim.device());
        EXPECT_EQ(r.code, 5) << kermit << r.err;
        EXPECT_NE(r.err.find("the recorder has no recorder.ini yet"), std::string::npos) << r.err;
        EXPECT_EQ(test::ReadBytes(dir / "sim.log").find("kermit -r"), std::string::npos);

        test::WriteBytes(dir / "running.ini", other);
        r = RunExe(dir.path(), "upload --guard --port " + sim.device());
        EXPECT_EQ(r.code, 4) << kermit << r.err;
        EXPECT_NE(r.err.find("the recorder is station KSR01, serial 0417, the file is for "
                             "station KSR01, serial 0000; nothing was sent"),
                  std::string::npos)
            << r.err;
        EXPECT_EQ(test::ReadBytes(dir / "sim.log").find("kermit -r"), std::string::npos);
        EXPECT_FALSE(fs::exists(dir / "rec" / "recorder.ini"));
        EXPECT_NE(test::ReadBytes(dir / "uploads.log").find("\"result\": \"wrong recorder\""),
                  std::string::npos);

        test::WriteBytes(dir / "running.ini", ini);
        r = RunExe(dir.path(), "upload --guard --port " + sim.device());
        EXPECT_EQ(r.code, 0) << kermit << r.err;
        EXPECT_TRUE(test::ReadBytes(dir / "rec" / "recorder.ini") == ini) << kermit;
        EXPECT_NE(test::ReadBytes(dir / "uploads.log")
                      .find("\"recorder_station_code\": \"KSR01\", "
                            "\"recorder_serial_number\": \"0000\""),
                  std::string::npos);
    }
}

}  // namespace
}  // namespace ksr
