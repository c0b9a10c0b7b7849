// ksr-config deploy: a table of stations checked, built, and uploaded to the recorders on the
// cables given, each recorder identified, compared, sent its own file and verified in one login.

#include <chrono>
#include <filesystem>
#include <mutex>
#include <ostream>
#include <thread>

#include "Args.h"
#include "Commands.h"
#include "Line.h"
#include "deploy/Deployment.h"
#include "serial/Ports.h"
#include "serial/SessionRunner.h"
#include "serial/StopSignals.h"
#include "setup/Errors.h"
#include "setup/FileIo.h"
#include "setup/TextFormat.h"
#include "upload/UploadLog.h"

namespace ksr::cli {

const char* const DeployHelp =
    "Usage: ksr-config deploy check TABLE.csv\n"
    "       ksr-config deploy build TABLE.csv --out-dir DIR\n"
    "       ksr-config deploy upload TABLE.csv --out-dir DIR (--port P ... | --ports all)\n"
    "                            [--wait] [--again] [--answer-timeout S] [--login-timeout S]\n"
    "\n"
    "Prepares and uploads a whole deployment from a table of stations: a CSV file (UTF-8, a\n"
    "header row, paths relative to the table's folder) with the columns\n"
    "  station      the station code; the template's station_code must be the same\n"
    "  template     that recorder's recorder.000 (it carries station_code and serial_number)\n"
    "  setup        a set-up FILE.set (many stations may share one)\n"
    "  port         optional: the cable of a recorder without a recorder.ini yet (a device,\n"
    "               COMn, or a USB adapter's serial number)\n"
    "  battery_ah   optional: the battery for the estimate (1..10000; default 38)\n"
    "  add_load_mw  optional: additional load in mW, below zero for a solar panel's mean gain\n"
    "  lowest_temp  optional: -30, -25, -20, -15 or -10 (default -10), for SHORTTMP.DAT and\n"
    "               the battery estimate (default there 20)\n"
    "Any other column is an error.\n"
    "\n"
    "check   reads every file and builds every station in memory: each file exists and\n"
    "        parses, each template's station_code is its row's station, no station code or\n"
    "        serial number stands twice. Errors name the row (the table's line) and column.\n"
    "        Nothing is written. Exit status 1 on any error.\n"
    "build   writes each station's recorder.ini, SHORTTMP.DAT and a copy of its setup file to\n"
    "        DIR/STATION/ (both or neither, under the folder's lock), with the power estimate\n"
    "        (battery and disk days). A bad row does not stop the others; exit status 1.\n"
    "upload  builds as 'build' does, then works on every cable at once. On each, in one login:\n"
    "        reads the recorder's recorder.ini and takes its identity (station_code,\n"
    "        serial_number), chooses the station with that identity (any recorder may be on\n"
    "        any cable), compares, sends that station's recorder.ini, checks it with cksum,\n"
    "        then sends the reconfigure command and logs out. A recorder without an identity\n"
    "        (no recorder.ini yet) gets the station the table pins to its cable, or nothing; a\n"
    "        recorder that is no station of the table gets nothing. One line per recorder and\n"
    "        event, with the count of stations done and left.\n"
    "        The report DIR/deployment.csv and DIR/deployment.json has one row per station\n"
    "        (and one per recorder met that is none): station, serial, port, adapter_serial,\n"
    "        setup_name, sha256 of the file sent, identity_before (read, \"identity not read:\n"
    "        pinned to PORT\", not read), lines_differed, result (\"deployed and verified\",\n"
    "        \"not reached\", \"wrong recorder: ...\", \"failed: ...\"), new_data_file,\n"
    "        battery_days, disk_days, time. Each upload also goes to DIR/STATION/uploads.log.\n"
    "        Run again, it goes on where it stopped: stations deployed and verified with the\n"
    "        same file are skipped.\n"
    "  --port P          a cable: a device (or /dev/serial/by-id name), or COMn; give one per "
    "cable\n"
    "  --ports all       every USB serial adapter present\n"
    "  --wait            after each recorder wait on that cable for the next one (move the\n"
    "                    cable), until every station is done or Ctrl-C\n"
    "  --again           send stations deployed by an earlier run again\n"
    "  --answer-timeout S  as for upload\n"
    "  --login-timeout S   give up on a cable without a login within S seconds (default 30;\n"
    "                      with --wait the cable is tried again)\n"
    "Exit status: 0 when every station is deployed and verified; 1 otherwise; 2 bad usage;\n"
    "130, 143 or 129 after INT, TERM or HUP.\n";

namespace {

std::string TableOf(const Options& parsed) {
    if (parsed.positional.size() != 1) throw UsageError("one table is needed: TABLE.csv");
    return parsed.positional.front();
}

std::vector<deploy::Station> Prepared(const std::string& table) {
    return deploy::PrepareStations(deploy::ReadTable(PathOf(table)));
}

int Check(const std::string& table, std::ostream& out, std::ostream& err) {
    const auto stations = Prepared(table);
    int bad = 0;
    for (const deploy::Station& s : stations) {
        if (!s.ok()) {
            err << s.error << "\n";
            ++bad;
            continue;
        }
        out << s.row.station << ": serial " << s.identity.serialNumber << ", set-up " << s.setupName
            << ", battery " << s.batteryDays << " days, disk " << s.diskDays << " days\n";
    }
    out << stations.size() - bad << " of " << stations.size() << " stations ready\n";
    return bad ? BadFile : Success;
}

// Writes every good station; says per station what was written. Returns the count that failed.
int WriteAll(std::vector<deploy::Station>& stations, const std::filesystem::path& dir,
             std::ostream& out, std::ostream& err, bool eachLine = true) {
    const auto errors = deploy::WriteStations(stations, dir);
    int failed = 0;
    for (std::size_t i = 0; i < stations.size(); ++i) {
        deploy::Station& s = stations[i];
        if (!errors[i].empty()) {
            err << s.row.station << ": FAILED: " << errors[i] << "\n";
            if (s.ok()) s.error = errors[i];
            ++failed;
            continue;
        }
        if (!eachLine) continue;
        out << s.row.station << ": " << fmt::EchoName((dir / PathOf(s.row.station)).string())
            << "/recorder.ini built for set-up " << s.setupName << " (" << s.lines
            << " lines); battery " << s.batteryDays << " days, disk " << s.diskDays << " days\n";
    }
    if (!eachLine)
        out << stations.size() - failed << " of " << stations.size() << " stations built in "
            << fmt::EchoName(dir.string()) << "\n";
    return failed;
}

std::filesystem::path OutDir(const Options& parsed) {
    const auto dir = parsed.value("--out-dir");
    if (!dir) throw UsageError("--out-dir DIR is needed");
    return PathOf(*dir);
}

// The cables to work on, each as the report and the table's port column name it.
std::vector<deploy::Port> Cables(const Options& parsed) {
    const auto present = serial::PortsPresent();
    std::vector<deploy::Port> cables;
    auto add = [&](const std::string& device) {
        deploy::Port port;
        port.device = device;
        for (const auto& p : present)
            if (p.device == device) {
                port.com = p.number;
                port.adapterSerial = p.serialNumber;
            }
        for (const auto& c : cables)
            if (c.device == device) throw UsageError("the cable " + device + " is given twice");
        cables.push_back(port);
    };
    for (const auto& [name, value] : parsed.given) {
        if (name == "--port") {
            int com = 0;
            const std::string upper = fmt::UpperAscii(value);
            if (upper.rfind("COM", 0) == 0 && fmt::ParseInt(upper.substr(3), com)) {
                const std::string device = serial::ComDevice(com);
                if (device.empty()) throw UsageError("no serial port is " + value + " here");
                add(device);
            } else {
                add(serial::DeviceBehind(value));
            }
        } else if (name == "--ports") {
            if (value != "all") throw UsageError("--ports takes all");
            const std::size_t before = cables.size();
            for (const auto& p : present)
                if (!p.serialNumber.empty()) add(p.device);
            if (cables.size() == before)
                throw UsageError(
                    "--ports all: no USB serial adapter is present ('ksr-config "
                    "ports' lists the ports)");
        }
    }
    if (cables.empty()) throw UsageError("give --port P for each cable, or --ports all");
    return cables;
}

// One cable's worker: recorder after recorder (with --wait), each in one session.
class Worker {
  public:
    Worker(deploy::Deployment& deployment, deploy::Port port, const LineChoice& choice,
           const std::filesystem::path& dir, bool wait, std::mutex& say, std::ostream& out)
        : d_(deployment),
          port_(std::move(port)),
          choice_(choice),
          dir_(dir),
          wait_(wait),
          sayMutex_(say),
          out_(out) {}

    void run() {
        serial::SerialLine line;
        try {
            line.open(port_.device);
        } catch (const KsrError& e) {
            say(port_.device + ": " + e.message());
            return;
        }
        while (!Stopped()) {
            deploy::Chosen chosen;
            upload::SessionOptions options = choice_.sessionOptions();
            options.verify = true;
            options.logoutAtEnd = true;
            options.choose = [&](const upload::ReadFound& found) {
                upload::SendChoice choice = d_.choose(port_, found, chosen);
                // The same recorder found again while the cable waits is said once.
                if (chosen.event != lastEvent_) say(port_.device + ": " + chosen.event);
                lastEvent_ = chosen.event;
                return choice;
            };
            upload::UploadSession session({}, options);
            serial::SessionHooks hooks;
            // Every station done while this cable still waits for a recorder: nothing to wait for.
            const auto nothingLeft = [&] { return chosen.station < 0 && d_.allDone(); };
            hooks.stopRequested = [&] { return Stopped() || nothingLeft(); };
            try {
                serial::RunSession(line, session, hooks);
            } catch (const KsrError& e) {
                say(port_.device + ": " + e.message());
                break;
            }
            upload::UploadRecord record = session.record();
            if (nothingLeft() && !chosen.alreadyDone && chosen.event.empty()) break;
            if (session.loginTimedOut()) {
                say(port_.device + ": no recorder answered within " +
                    std::to_string(choice_.loginSeconds) + " s");
            } else if (!chosen.alreadyDone) {
                // Ended before a choice: a refused login, a stop, a line that failed.
                if (chosen.event.empty())
                    chosen.event = record.error.empty() ? record.resultText() : record.error;
                say(d_.ended(port_, chosen, record, session.verdict()));
                Log(record, chosen);
            }
            save();
            if (!wait_ || d_.allDone() || session.lineLost()) break;
            // The same recorder is still on the cable, or none: look again in a while.
            if (chosen.station < 0) Pause(3000);
        }
        line.close();
    }

    // The report, whole, after each recorder.
    void save() {
        std::lock_guard lock(sayMutex_);
        try {
            deploy::WriteReport(dir_, d_.report());
        } catch (const KsrError& e) {
            out_ << "warning: the report could not be written: " << e.locatedEscaped() << "\n";
        }
    }

  private:
    static bool Stopped() { return serial::StopSignals::received() != 0; }
    static void Pause(int ms) {
        for (int waited = 0; waited < ms && !Stopped(); waited += 50)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }

    void say(const std::string& text) {
        std::lock_guard lock(sayMutex_);
        out_ << text << "\n" << std::flush;
    }

    // uploads.log of the station's folder; of DIR for a recorder that got nothing.
    void Log(upload::UploadRecord record, const deploy::Chosen& chosen) {
        record.program = "ksr-config";
        record.port = port_.device;
        const std::filesystem::path folder =
            chosen.station >= 0 ? dir_ / PathOf(d_.stations()[chosen.station].row.station) : dir_;
        const std::string warning = upload::LogUpload(folder, serial::WithAdapterSerial(record));
        if (!warning.empty()) say("warning: " + warning);
    }

    deploy::Deployment& d_;
    deploy::Port port_;
    LineChoice choice_;
    std::filesystem::path dir_;
    bool wait_;
    std::mutex& sayMutex_;
    std::ostream& out_;
    std::string lastEvent_;
};

int UploadAll(const Options& parsed, const std::string& table, std::ostream& out,
              std::ostream& err) {
    const std::filesystem::path dir = OutDir(parsed);
    LineChoice choice;
    ParseTimeouts(parsed, choice);
    if (choice.loginSeconds == 0) choice.loginSeconds = 30;
    const std::vector<deploy::Port> cables = Cables(parsed);
    auto stations = Prepared(table);
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec) throw IoError("cannot create folder", dir, ec.message());
    WriteAll(stations, dir, out, err, false);
    deploy::Deployment deployment(std::move(stations), deploy::ReadReport(dir),
                                  parsed.has("--again"));
    out << "Deploying " << deployment.stations().size() << " stations on " << cables.size()
        << (cables.size() == 1 ? " cable " : " cables ") << deployment.count() << "\n"
        << std::flush;
    const serial::StopSignals stopSignals;
    std::mutex say;
    if (!deployment.allDone()) {
        std::vector<std::unique_ptr<Worker>> workers;
        std::vector<std::thread> threads;
        for (const deploy::Port& port : cables)
            workers.push_back(std::make_unique<Worker>(deployment, port, choice, dir,
                                                       parsed.has("--wait"), say, out));
        for (auto& w : workers) threads.emplace_back([&w] { w->run(); });
        for (auto& t : threads) t.join();
    }
    deploy::WriteReport(dir, deployment.report());
    out << "Deployment: " << deployment.count() << "; report in "
        << fmt::EchoName((dir / deploy::ReportFileName).string()) << ".csv and .json\n";
    if (const int signal = serial::StopSignals::received(); signal != 0) return 128 + signal;
    bool everyRow = deployment.allDone();
    for (const deploy::Station& s : deployment.stations()) everyRow = everyRow && s.ok();
    return everyRow ? Success : BadFile;
}

}  // namespace

int Deploy(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.empty()) throw UsageError("deploy takes check, build or upload");
    const std::string what = args.front();
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    if (what == "check") return Check(TableOf(ParseOptions(rest, {})), out, err);
    if (what == "build") {
        const Options parsed = ParseOptions(rest, {"--out-dir"});
        auto stations = Prepared(TableOf(parsed));
        const std::filesystem::path dir = OutDir(parsed);
        return WriteAll(stations, dir, out, err) ? BadFile : Success;
    }
    if (what == "upload") {
        const Options parsed = ParseOptions(
            rest, {"--out-dir", "--port", "--ports", "--answer-timeout", "--login-timeout"},
            {"--wait", "--again"});
        return UploadAll(parsed, TableOf(parsed), out, err);
    }
    throw UsageError("deploy takes check, build or upload, not \"" + fmt::Echo(what) + "\"");
}

}  // namespace ksr::cli
