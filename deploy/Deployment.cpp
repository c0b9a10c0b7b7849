#include "deploy/Deployment.h"

#include <algorithm>
#include <map>
#include <memory>

#include "power/PowerEstimator.h"
#include "power/PowerOfSetup.h"
#include "recorder_ini/IniCompare.h"
#include "recorder_ini/RecorderIni.h"
#include "setup/Errors.h"
#include "setup/FileIo.h"
#include "setup/Json.h"
#include "setup/RateRules.h"
#include "setup/SetupFile.h"
#include "setup/TextFormat.h"
#include "upload/Checksums.h"

namespace ksr::deploy {
namespace {

constexpr const char* kReportColumns[] = {"station",
                                          "serial",
                                          "port",
                                          "adapter_serial",
                                          "setup_name",
                                          "sha256",
                                          "identity_before",
                                          "lines_differed",
                                          "result",
                                          "new_data_file",
                                          "battery_days",
                                          "disk_days",
                                          "time"};

std::vector<std::string> Fields(const ReportRow& r) {
    return {r.station,     r.serial,         r.port,          r.adapterSerial, r.setupName,
            r.sha256,      r.identityBefore, r.linesDiffered, r.result,        r.newDataFile,
            r.batteryDays, r.diskDays,       r.time};
}

ReportRow FromFields(const std::vector<std::string>& f) {
    ReportRow r;
    std::string* into[] = {&r.station,   &r.serial,      &r.port,           &r.adapterSerial,
                           &r.setupName, &r.sha256,      &r.identityBefore, &r.linesDiffered,
                           &r.result,    &r.newDataFile, &r.batteryDays,    &r.diskDays,
                           &r.time};
    for (std::size_t i = 0; i < f.size() && i < std::size(into); ++i) *into[i] = f[i];
    return r;
}

std::string Decimal(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", value);
    return text;
}

// The power estimate of a station: its set-up, its battery, its additional load and its lowest
// temperature (the page's 20 degrees when the row gives none).
void EstimatePower(const SetupRecord& record, const Row& row, Station& s) {
    power::PowerSettings settings;
    power::PowerSettingsFromSetup(record, settings);
    if (row.batteryAh) settings.battSizeAh = *row.batteryAh;
    if (row.addLoadMw) settings.addLoadW = *row.addLoadMw / 1000;
    if (row.lowestTemp) settings.temperature = *row.lowestTemp;
    const auto load = power::EstimateLoad(settings);
    const auto battery = power::EstimateBattery(settings, load.totalLoad);
    s.batteryDays = battery.lifeDefined ? Decimal(battery.batteryDays) : "unlimited";
    s.diskDays = std::to_string(power::EstimateDisk(settings, load).recordDays);
}

std::string Now() {
    return upload::NowUtcIso8601();
}

}  // namespace

std::vector<Station> PrepareStations(const Table& table) {
    std::vector<Station> stations;
    std::map<std::string, std::size_t> byCode, bySerial;
    const std::string file = table.file.string();
    for (const Row& row : table.rows) {
        Station s;
        s.row = row;
        auto fail = [&](const std::string& column, const std::string& why) {
            if (s.error.empty()) s.error = KsrError(column + ": " + why, file, row.line).located();
        };
        std::string templateBytes;
        try {
            templateBytes = ReadFileBytes(row.templatePath);
            s.identity = upload::IdentityOf(templateBytes);
            if (!s.identity.complete())
                fail("template", fmt::EchoName(row.templatePath.string()) + " names " +
                                     upload::IdentityText(s.identity));
            else if (s.identity.stationCode != row.station)
                fail("template",
                     fmt::EchoName(row.templatePath.string()) + " is the template of station " +
                         fmt::Echo(s.identity.stationCode) + ", not " + fmt::Echo(row.station));
        } catch (const KsrError& e) {
            fail("template", e.locatedEscaped());
        }
        try {
            SetupRecord record;
            SetDefaults(record);
            ReadSetupFile(record, row.setupPath);
            s.setupBytes = ReadFileBytes(row.setupPath);
            record.SetupName = SetupNameForBuild(row.setupPath.string());
            s.setupName = record.SetupName.str();
            CheckSampleRates(record);
            EstimatePower(record, row, s);
            if (s.error.empty()) {
                const RecorderIniFiles built = BuildRecorderIniFilesFor(
                    record, templateBytes, row.templatePath.string(),
                    LowestTemperatureText(row.lowestTemp.value_or(LowestTemperatureDefault)));
                s.recorderIni = built.recorderIni;
                s.shortTmp = built.shortTmp;
                s.lines = built.lines;
            }
        } catch (const KsrError& e) {
            fail("setup", e.locatedEscaped());
        }
        // One station code and one serial number per recorder.
        if (const auto [it, fresh] = byCode.emplace(row.station, stations.size()); !fresh)
            fail("station", "station " + fmt::Echo(row.station) + " stands already in row " +
                                std::to_string(stations[it->second].row.line));
        if (s.identity.complete())
            if (const auto [it, fresh] = bySerial.emplace(s.identity.serialNumber, stations.size());
                !fresh)
                fail("template", "serial number " + fmt::Echo(s.identity.serialNumber) +
                                     " is also row " +
                                     std::to_string(stations[it->second].row.line) + "'s");
        stations.push_back(std::move(s));
    }
    return stations;
}

std::vector<std::string> WriteStations(const std::vector<Station>& stations,
                                       const std::filesystem::path& outDir) {
    std::vector<std::string> errors(stations.size());
    std::vector<std::size_t> writing;
    std::vector<std::vector<FileWrite>> groups;
    std::vector<std::unique_ptr<FolderLock>> locks;
    auto flush = [&] {
        const auto failed = WriteFileGroups(groups);
        for (std::size_t k = 0; k < writing.size(); ++k)
            if (failed[k]) errors[writing[k]] = failed[k]->locatedEscaped();
        writing.clear();
        groups.clear();
        locks.clear();
    };
    for (std::size_t i = 0; i < stations.size(); ++i) {
        const Station& s = stations[i];
        if (!s.ok()) {
            errors[i] = s.error;
            continue;
        }
        try {
            const std::filesystem::path folder = outDir / PathOf(s.row.station);
            std::error_code ec;
            std::filesystem::create_directories(folder, ec);
            if (ec) throw IoError("cannot create folder", folder, ec.message());
            locks.push_back(std::make_unique<FolderLock>(folder));
            writing.push_back(i);
            groups.push_back({{folder / ShortTmpFileName, s.shortTmp},
                              {folder / RecorderIniFileName, s.recorderIni},
                              {folder / s.row.setupPath.filename(), s.setupBytes}});
        } catch (const KsrError& e) {
            errors[i] = e.locatedEscaped();
        }
        // A batch holds its folders' locks (an open file each) and syncs the disk twice.
        if (groups.size() == 64) flush();
    }
    flush();
    return errors;
}

std::vector<ReportRow> ReadReport(const std::filesystem::path& outDir) {
    const std::filesystem::path file = outDir / (std::string(ReportFileName) + ".csv");
    std::error_code ec;
    if (!std::filesystem::exists(file, ec)) return {};
    std::vector<ReportRow> rows;
    const auto records = ParseCsv(ReadFileBytes(file), file.string());
    for (std::size_t i = 1; i < records.size(); ++i) rows.push_back(FromFields(records[i].fields));
    return rows;
}

void WriteReport(const std::filesystem::path& outDir, const std::vector<ReportRow>& rows) {
    std::string csv;
    for (const char* c : kReportColumns) csv += std::string(csv.empty() ? "" : ",") + c;
    csv += "\r\n";
    std::vector<std::string> items;
    for (const ReportRow& r : rows) {
        const std::vector<std::string> fields = Fields(r);
        std::vector<std::pair<std::string, std::string>> members;
        for (std::size_t i = 0; i < fields.size(); ++i) {
            csv += (i ? "," : "") + CsvField(fields[i]);
            members.emplace_back(kReportColumns[i], json::StrOrNull(fields[i]));
        }
        csv += "\r\n";
        std::vector<std::string> differences;
        for (const auto& d : r.differences) differences.push_back(json::Str(d));
        members.emplace_back("differences", json::Array(differences));
        items.push_back(json::Object(members));
    }
    WriteFileAtomically(outDir / (std::string(ReportFileName) + ".csv"), csv);
    WriteFileAtomically(outDir / (std::string(ReportFileName) + ".json"),
                        json::Object({{"stations", json::Array(items)}}) + "\n");
}

bool Port::named(const std::string& text) const {
    if (text.empty()) return false;
    if (text == device || (!adapterSerial.empty() && text == adapterSerial)) return true;
    const std::string upper = fmt::UpperAscii(text);
    int n = 0;
    return com > 0 && upper.rfind("COM", 0) == 0 && fmt::ParseInt(upper.substr(3), n) && n == com;
}

Deployment::Deployment(std::vector<Station> stations, const std::vector<ReportRow>& previous,
                       bool again)
    : stations_(std::move(stations)), busy_(stations_.size(), false) {
    for (const Station& s : stations_) {
        ReportRow row;
        row.station = s.row.station;
        row.serial = s.identity.serialNumber;
        row.port = s.row.port;
        row.setupName = s.setupName;
        row.batteryDays = s.batteryDays;
        row.diskDays = s.diskDays;
        row.result = s.ok() ? NotReached : "failed: " + s.error;
        if (s.ok() && !again)
            for (const ReportRow& before : previous)
                if (before.station == s.row.station && before.result == Deployed &&
                    before.sha256 == upload::Sha256Hex(s.recorderIni))
                    row = before;
        rows_.push_back(row);
    }
}

// A recorder met that is no station: once in the report, however often a cable finds it.
void Deployment::noteOther(const ReportRow& row) {
    for (ReportRow& known : others_)
        if (known.station == row.station && known.serial == row.serial && known.port == row.port) {
            known = row;
            return;
        }
    others_.push_back(row);
}

int Deployment::stationOf(const upload::Identity& identity) const {
    for (std::size_t i = 0; i < stations_.size(); ++i)
        if (stations_[i].ok() && stations_[i].identity == identity) return static_cast<int>(i);
    return -1;
}

int Deployment::pinnedTo(const Port& port) const {
    for (std::size_t i = 0; i < stations_.size(); ++i)
        if (stations_[i].ok() && port.named(stations_[i].row.port)) return static_cast<int>(i);
    return -1;
}

upload::SendChoice Deployment::choose(const Port& port, const upload::ReadFound& found,
                                      Chosen& chosen) {
    std::lock_guard lock(mutex_);
    upload::SendChoice choice;
    const upload::Identity id =
        found.read ? upload::IdentityOf(*found.recorderIni) : upload::Identity{};
    const bool identified = found.read && id.complete();
    const std::string why = found.read ? "its recorder.ini names " + upload::IdentityText(id)
                            : found.noRecorderIni ? "it has no recorder.ini (a new recorder)"
                                                  : found.error;
    int index = identified ? stationOf(id) : pinnedTo(port);
    std::string identityBefore = "read";
    if (identified && index < 0) {
        choice.reason = "the recorder is " + upload::IdentityText(id) +
                        ", no station of the table: nothing sent";
        ReportRow other;
        other.station = id.stationCode;
        other.serial = id.serialNumber;
        other.port = port.device;
        other.adapterSerial = port.adapterSerial;
        other.identityBefore = "read";
        other.result = "wrong recorder: not in the table, nothing sent";
        other.time = Now();
        noteOther(other);
        // A cable pinned to a station that found another recorder: the station says so.
        if (const int pinned = pinnedTo(port); pinned >= 0 && rows_[pinned].result != Deployed)
            rows_[pinned].result = "wrong recorder: " + port.device + " found " +
                                   upload::IdentityText(id) + ", nothing sent";
        chosen.event = choice.reason;
        return choice;
    }
    if (!identified) {
        if (index < 0) {
            choice.outcome = upload::Outcome::Failed;
            choice.reason =
                "identity not read (" + why + ") and no row pins " + port.device + ": nothing sent";
            ReportRow other;
            other.port = port.device;
            other.adapterSerial = port.adapterSerial;
            other.identityBefore = "not read";
            other.result = "failed: " + choice.reason;
            other.time = Now();
            noteOther(other);
            chosen.event = choice.reason;
            return choice;
        }
        identityBefore = "identity not read: pinned to " + port.device;
    }
    ReportRow& row = rows_[index];
    if (row.result == Deployed || busy_[index]) {
        chosen.alreadyDone = true;
        choice.reason =
            "station " + stations_[index].row.station +
            (busy_[index] ? " is being sent on another cable" : " is deployed already") +
            ": nothing sent";
        chosen.event = choice.reason;
        return choice;
    }
    const Station& s = stations_[index];
    busy_[index] = true;
    chosen.station = index;
    row.identityBefore = identityBefore;
    row.port = port.device;
    row.adapterSerial = port.adapterSerial;
    row.sha256 = upload::Sha256Hex(s.recorderIni);
    row.differences.clear();
    row.linesDiffered.clear();
    if (found.read) {
        const IniComparison c = CompareRecorderIni(*found.recorderIni, s.recorderIni);
        for (const KeyDifference& d : c.keys)
            row.differences.push_back(
                fmt::Latin1ToUtf8((d.label.empty() ? d.key : d.label + " (" + d.key + ")") +
                                  ": recorder " + d.recorder + ", file " + d.file));
        for (const auto& line : c.timerOnlyOnRecorder)
            row.differences.push_back("timer, recorder only: " + fmt::Latin1ToUtf8(line));
        for (const auto& line : c.timerOnlyInFile)
            row.differences.push_back("timer, file only: " + fmt::Latin1ToUtf8(line));
        row.linesDiffered = std::to_string(row.differences.size());
    }
    choice.files = {{"RECORDER.INI", s.recorderIni}};
    chosen.event =
        "station " + s.row.station + ", serial " + s.identity.serialNumber + " (" +
        (identified ? "identity read" : identityBefore) + ", " +
        (row.linesDiffered.empty() ? "nothing to compare" : row.linesDiffered + " lines differ") +
        "): sending " + s.setupName;
    return choice;
}

std::string Deployment::ended(const Port& port, const Chosen& chosen,
                              const upload::UploadRecord& record, upload::Verdict verdict) {
    std::lock_guard lock(mutex_);
    if (chosen.station < 0) return port.device + ": " + chosen.event + " " + countLocked();
    ReportRow& row = rows_[chosen.station];
    busy_[chosen.station] = false;
    row.time = Now();
    row.newDataFile = record.newDataFile;
    if (record.succeeded() && verdict == upload::Verdict::Verified)
        row.result = Deployed;
    else
        row.result =
            "failed: " + (record.error.empty() ? std::string(record.resultText()) : record.error);
    return port.device + ": station " + row.station + ": " + row.result +
           (row.newDataFile.empty() ? "" : ", " + row.newDataFile) + " " + countLocked();
}

int Deployment::left() const {
    std::lock_guard lock(mutex_);
    int left = 0;
    for (std::size_t i = 0; i < stations_.size(); ++i)
        left += stations_[i].ok() && rows_[i].result != Deployed;
    return left;
}

std::string Deployment::countLocked() const {
    int done = 0, left = 0;
    for (std::size_t i = 0; i < stations_.size(); ++i) {
        done += rows_[i].result == Deployed;
        left += stations_[i].ok() && rows_[i].result != Deployed;
    }
    return "(" + std::to_string(done) + " done, " + std::to_string(left) + " left)";
}

std::string Deployment::count() const {
    std::lock_guard lock(mutex_);
    return countLocked();
}

std::vector<ReportRow> Deployment::report() const {
    std::lock_guard lock(mutex_);
    std::vector<ReportRow> all = rows_;
    all.insert(all.end(), others_.begin(), others_.end());
    return all;
}

}  // namespace ksr::deploy
