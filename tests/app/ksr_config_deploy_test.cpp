// A deployment from the command line: the table checked row by row, set-ups made from values,
// and many recorders on many cables, each identified and sent its own station's file in one
// login, with the report, and a second run that goes on where the first stopped.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <map>
#include <memory>
#include <sstream>

#include "Commands.h"
#include "ConfigRun.h"
#include "SimulatorProcess.h"
#include "TestSupport.h"
#include "deploy/Table.h"
#include "setup/Errors.h"
#include "upload/Checksums.h"
#include "upload/UploadSession.h"

namespace ksr {
namespace {

namespace fs = std::filesystem;

using test::Result;
using test::RunIn;

// Every file under `dir`, recursively.
std::vector<std::string> FilesUnder(const fs::path& dir) {
    std::vector<std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(dir)) files.push_back(e.path().string());
    std::sort(files.begin(), files.end());
    return files;
}

// A recorder's template: the shipped recorder.000 with its own identity.
std::string Template(const std::string& station, const std::string& serial) {
    std::string text = test::ReadBytes(fs::path(KSR_SHIPPED_DATA) / "recorder.000");
    for (const auto& [key, value] : {std::pair<std::string, std::string>{"station_code=", station},
                                     {"serial_number=", serial}}) {
        const auto at = text.find("\n" + key);
        const auto end = text.find('\r', at + 1);
        text.replace(at + 1 + key.size(), end - at - 1 - key.size(), value);
    }
    return text;
}

// A table folder: templates, one set-up and deploy.csv with `rows` after the header.
void WriteTable(const fs::path& dir, const std::string& header,
                const std::vector<std::string>& rows) {
    fs::create_directories(dir / "t");
    test::WriteBytes(dir / "field7.set",
                     test::ReadBytes(fs::path(KSR_TEST_DATA) / "golden" / "field7.set"));
    std::string csv = header + "\n";
    for (const auto& r : rows) csv += r + "\n";
    test::WriteBytes(dir / "deploy.csv", csv);
}

TEST(DeployTable, CsvFieldsWithQuotesCommasAndLineEnds) {
    const auto records = deploy::ParseCsv("a,\"b,\"\"c\"\"\"\r\n\r\n \"x\ny\" , z\n", "t.csv");
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].fields, (std::vector<std::string>{"a", "b,\"c\""}));
    EXPECT_EQ(records[1].line, 3);
    EXPECT_EQ(records[1].fields, (std::vector<std::string>{"x\ny", "z"}));
    EXPECT_THROW(deploy::ParseCsv("a,\"b\n", "t.csv"), KsrError);
    EXPECT_EQ(deploy::CsvField("New Data File /data/x, y"), "\"New Data File /data/x, y\"");
}

TEST(DeployTable, CheckNamesRowAndColumnOfEveryFaultAndWritesNothing) {
    test::TempDir dir;
    WriteTable(
        dir.path(), "station,template,setup,battery_ah",
        {"KSR01,t/a.000,field7.set,38", "KSR02,t/b.000,field7.set,", "KSR03,t/c.000,field7.set,",
         "KSR01,t/d.000,field7.set,", "KSR05,t/e.000,missing.set,"});
    test::WriteBytes(dir / "t/a.000", Template("KSR01", "0001"));
    test::WriteBytes(dir / "t/b.000", Template("KSR09", "0002"));  // another station's
    test::WriteBytes(dir / "t/c.000", Template("KSR03", "0001"));  // a serial twice
    test::WriteBytes(dir / "t/d.000", Template("KSR01", "0004"));  // a station twice
    test::WriteBytes(dir / "t/e.000", Template("KSR05", "0005"));
    const auto before = FilesUnder(dir.path());
    const Result r = RunIn(dir.path(), {"deploy", "check", "deploy.csv"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("deploy.csv:3: template: t/b.000 is the template of station KSR09, "
                         "not KSR02"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("deploy.csv:4: template: serial number 0001 is also row 2's"),
              std::string::npos);
    EXPECT_NE(r.err.find("deploy.csv:5: station: station KSR01 stands already in row 2"),
              std::string::npos);
    EXPECT_NE(r.err.find("deploy.csv:6: setup: "), std::string::npos);
    EXPECT_NE(r.out.find("KSR01: serial 0001, set-up FIELD7"), std::string::npos) << r.out;
    EXPECT_EQ(FilesUnder(dir.path()), before);

    // A typo in a column is no column quietly left out.
    WriteTable(dir.path(), "station,template,setup,batery_ah", {"KSR01,t/a.000,field7.set,38"});
    const Result typo = RunIn(dir.path(), {"deploy", "check", "deploy.csv"});
    EXPECT_EQ(typo.code, 1);
    EXPECT_NE(typo.err.find("deploy.csv:1: unknown column \"batery_ah\""), std::string::npos)
        << typo.err;
}

TEST(DeploySet, ValuesByTheirNamesWithTheRateRulesAndNothingWrittenOnAFault) {
    test::TempDir dir;
    WriteTable(dir.path(), "station", {});
    const Result r = RunIn(dir.path(), {"set", "field7.set", "primary_rate_ch1=1000", "gain_ch2=10",
                                        "record_mode=CONTI", "aux1=ON"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("the rate rules changed:"), std::string::npos) << r.out;
    const Result check = RunIn(dir.path(), {"check", "--json", "field7.set"});
    for (const char* setting : {"\"primary_rate_ch1\": \"1000\"", "\"gain_ch2\": \"10\"",
                                "\"record_mode\": \"CONTI\"", "\"aux1\": \"ON\""})
        EXPECT_NE(check.out.find(setting), std::string::npos) << setting << check.out;
    // 1000 sps caps the file length, as Finish does.
    EXPECT_NE(r.out.find("file length capped from 45 to 30 min"), std::string::npos) << r.out;
    EXPECT_NE(check.out.find("\"file_length_min\": \"30\""), std::string::npos);

    const std::string written = test::ReadBytes(dir / "field7.set");
    const Result bad = RunIn(dir.path(), {"set", "field7.set", "gain_ch1=1", "gain_ch2=7"});
    EXPECT_EQ(bad.code, 2);
    EXPECT_NE(bad.err.find("gain_ch2 takes 1, 10, 0.4, not \"7\""), std::string::npos) << bad.err;
    EXPECT_EQ(test::ReadBytes(dir / "field7.set"), written);
}

// One cable: a simulator playing its recorders one after the other, each with its own folder
// (the first is rec/, the others rec1/, rec2/ ...).
struct Cable {
    fs::path dir;
    std::unique_ptr<test::SimulatorProcess> sim;
};

std::string IdentityIn(const fs::path& recorderIni) {
    if (!fs::exists(recorderIni)) return "none";
    const upload::Identity id = upload::IdentityOf(test::ReadBytes(recorderIni));
    return id.stationCode + "/" + id.serialNumber;
}

std::map<std::string, std::vector<std::string>> ReportByStation(const fs::path& file, int& others) {
    std::map<std::string, std::vector<std::string>> rows;
    others = 0;
    const auto records = deploy::ParseCsv(test::ReadBytes(file), file.string());
    for (std::size_t i = 1; i < records.size(); ++i) {
        const auto& f = records[i].fields;
        if (rows.count(f[0]) || f[0].empty() || f[8].rfind("wrong recorder: not in", 0) == 0)
            ++others;
        else
            rows[f[0]] = f;
    }
    return rows;
}

TEST(DeployUpload, EachRecorderOnAnyCableGetsItsOwnStationOrTheRightRefusal) {
    test::TempDir dir;
    const fs::path table = dir / "table";
    // Per cable, in the order the operator plugs them: "new" has no recorder.ini yet.
    const std::vector<std::vector<std::string>> recorders{
        {"new", "S01", "S02"},   // A: the new one is pinned to A
        {"new", "S03", "X99"},   // B: a new one nobody pinned; X99 is in no row
        {"S04", "S05", "new"},   // C: S04 is pinned to D in the table (a crossed cable)
        {"S06", "S07", "S09"}};  // D: S07's row names S08's template
    std::vector<Cable> cables;
    for (std::size_t c = 0; c < recorders.size(); ++c) {
        Cable cable{dir / ("cable" + std::to_string(c)), nullptr};
        std::string options = c % 2 ? "--receiver ckermit" : "--receiver gkermit";
        for (std::size_t k = 0; k < recorders[c].size(); ++k) {
            const std::string folder = k == 0 ? "rec" : "rec" + std::to_string(k);
            fs::create_directories(cable.dir / folder);
            if (k > 0) options += " --then " + folder;
            const std::string& r = recorders[c][k];
            if (r != "new")
                test::WriteBytes(cable.dir / folder / "recorder.ini",
                                 Template(r, "50" + r.substr(1)));
        }
        cable.sim = std::make_unique<test::SimulatorProcess>(cable.dir, options);
        ASSERT_FALSE(cable.sim->device().empty());
        cables.push_back(std::move(cable));
    }
    const std::string a = cables[0].sim->device(), d = cables[3].sim->device();
    WriteTable(
        table, "station,template,setup,port",
        {"N01,t/N01.000,field7.set," + a, "S01,t/S01.000,field7.set,", "S02,t/S02.000,field7.set,",
         "S03,t/S03.000,field7.set,", "S04,t/S04.000,field7.set," + d, "S05,t/S05.000,field7.set,",
         "S06,t/S06.000,field7.set,", "S07,t/S07.000,field7.set,", "S09,t/S09.000,field7.set,"});
    test::WriteBytes(table / "t/N01.000", Template("N01", "6001"));
    for (const char* s : {"S01", "S02", "S03", "S04", "S05", "S06", "S09"})
        test::WriteBytes(table / "t" / (std::string(s) + ".000"),
                         Template(s, "50" + std::string(s).substr(1)));
    test::WriteBytes(table / "t/S07.000", Template("S08", "5008"));

    std::vector<std::string> args{"deploy", "upload", "table/deploy.csv", "--out-dir",
                                  "out",    "--wait", "--login-timeout",  "20"};
    for (const Cable& c : cables) {
        args.push_back("--port");
        args.push_back(c.sim->device());
    }
    const Result r = RunIn(dir.path(), args);
    EXPECT_EQ(r.code, 1) << r.out << r.err;  // S07's row cannot be deployed
    EXPECT_NE(r.out.find("(8 done, 0 left)"), std::string::npos) << r.out;

    // Each recorder runs its own station's file, or what it ran, or nothing.
    const std::map<std::string, std::string> expected{
        {"cable0/rec", "N01/6001"}, {"cable0/rec1", "S01/5001"}, {"cable0/rec2", "S02/5002"},
        {"cable1/rec", "none"},     {"cable1/rec1", "S03/5003"}, {"cable1/rec2", "X99/5099"},
        {"cable2/rec", "S04/5004"}, {"cable2/rec1", "S05/5005"}, {"cable2/rec2", "none"},
        {"cable3/rec", "S06/5006"}, {"cable3/rec1", "S07/5007"}, {"cable3/rec2", "S09/5009"}};
    for (const auto& [folder, identity] : expected)
        EXPECT_EQ(IdentityIn(dir / folder / "recorder.ini"), identity) << folder;
    for (const char* sent : {"cable0/rec1", "cable2/rec", "cable3/rec2"}) {
        const std::string station = IdentityIn(dir / sent / "recorder.ini").substr(0, 3);
        EXPECT_EQ(test::ReadBytes(dir / sent / "recorder.ini"),
                  test::ReadBytes(dir / "out" / station / "recorder.ini"))
            << sent;
    }

    int others = 0;
    auto report = ReportByStation(dir / "out" / "deployment.csv", others);
    for (const char* s : {"N01", "S01", "S02", "S03", "S04", "S05", "S06", "S09"}) {
        EXPECT_EQ(report[s][8], "deployed and verified") << s;
        EXPECT_EQ(report[s][5],
                  upload::Sha256Hex(test::ReadBytes(dir / "out" / s / "recorder.ini")));
        EXPECT_EQ(report[s][9].rfind("New Data File /data/", 0), 0u) << s;
    }
    EXPECT_EQ(report["N01"][6], "identity not read: pinned to " + a);
    EXPECT_EQ(report["N01"][7], "");
    EXPECT_EQ(report["S01"][6], "read");
    EXPECT_NE(report["S01"][7], "0");
    EXPECT_EQ(report["S04"][2], cables[2].sim->device());  // where it was, not where it was pinned
    EXPECT_EQ(report["S07"][8].rfind("failed: ", 0), 0u);
    EXPECT_NE(report["S07"][8].find("template of station S08, not S07"), std::string::npos);
    EXPECT_GE(others, 4);  // X99, S07's recorder and the two new ones nobody pinned
    const std::string json = test::ReadBytes(dir / "out" / "deployment.json");
    EXPECT_NE(json.find("\"result\": \"wrong recorder: not in the table, nothing sent\""),
              std::string::npos);
    EXPECT_NE(json.find("no row pins " + cables[1].sim->device()), std::string::npos);

    // Run again: what is done is skipped, and no cable is touched.
    std::map<std::string, std::uintmax_t> sizes;
    const std::string reportBefore = test::ReadBytes(dir / "out" / "deployment.csv");
    const Result again = RunIn(dir.path(), args);
    EXPECT_EQ(again.code, 1);
    EXPECT_NE(again.out.find("Deploying 9 stations on 4 cables (8 done, 0 left)"),
              std::string::npos)
        << again.out;
    EXPECT_EQ(again.out.find("sending"), std::string::npos) << again.out;
    auto second = ReportByStation(dir / "out" / "deployment.csv", others);
    for (const char* s : {"N01", "S01", "S09"}) EXPECT_EQ(second[s], report[s]) << s;
}

}  // namespace
}  // namespace ksr
