#pragma once
// A deployment: every station of the table read, checked and built, and the choice, for each
// recorder met on a cable, of what it gets: its own station's recorder.ini when its identity (the
// station_code and serial_number of the recorder.ini it runs) is a station's of the table, or the
// pinned station's for a recorder without an identity on a cable the table pins; nothing
// otherwise. The report says per station what happened.

#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "deploy/Table.h"
#include "upload/UploadSession.h"

namespace ksr::deploy {

// One station of the table, read, checked and built in memory.
struct Station {
    Row row;
    upload::Identity identity;  // of its template
    std::string setupName;
    std::string recorderIni, shortTmp, setupBytes;
    int lines = 0;
    std::string batteryDays;  // "123.4", or "unlimited" without a net load
    std::string diskDays;
    std::string error;  // "FILE:LINE: column: why" when the row cannot be deployed
    bool ok() const { return error.empty(); }
};

// Every row read, checked and built: each file exists and parses, the template's station_code
// is the row's station, no station code or serial number stands twice, the set-up builds.
std::vector<Station> PrepareStations(const Table& table);

// Each good station into DIR/STATION/: recorder.ini, SHORTTMP.DAT and a copy of its setup file,
// both-or-neither per folder under the folder's lock. Returns each station's error (empty when
// written; a station that was not ok keeps its own).
std::vector<std::string> WriteStations(const std::vector<Station>& stations,
                                       const std::filesystem::path& outDir);

inline constexpr const char* ReportFileName = "deployment";  // .csv and .json
inline constexpr const char* Deployed = "deployed and verified";
inline constexpr const char* NotReached = "not reached";

// One row of the report: a station, or a recorder met that is no station of the table.
struct ReportRow {
    std::string station, serial, port, adapterSerial, setupName, sha256;
    std::string identityBefore;  // "read", "identity not read: pinned to PORT", "not read"
    std::string linesDiffered;   // how many keys and timer lines differed; empty when not read
    std::string result;          // Deployed, NotReached, "wrong recorder: ...", "failed: ..."
    std::string newDataFile, batteryDays, diskDays, time;
    std::vector<std::string> differences;  // the lines that differed (JSON only)
};

// The report of an earlier run in `outDir`, if any (its CSV file).
std::vector<ReportRow> ReadReport(const std::filesystem::path& outDir);
// DIR/deployment.csv and DIR/deployment.json, each written whole or not at all.
void WriteReport(const std::filesystem::path& outDir, const std::vector<ReportRow>& rows);

// A cable: the device, its COM number and the adapter's serial number where known.
struct Port {
    std::string device;
    int com = 0;
    std::string adapterSerial;
    // Whether a table's port column names this cable.
    bool named(const std::string& text) const;
};

// What a deployment chose for one recorder, for the worker to act on and say.
struct Chosen {
    int station = -1;          // the station sent, -1 for none
    std::string event;         // one line for the terminal
    bool alreadyDone = false;  // the recorder's station was deployed already (--wait: same one)
};

class Deployment {
  public:
    // `previous`: the report of an earlier run; its stations deployed and verified are skipped
    // unless `again`.
    Deployment(std::vector<Station> stations, const std::vector<ReportRow>& previous, bool again);

    // What the recorder on `port` gets, from the recorder.ini the session read (or not): claims
    // the station chosen, so that no other cable sends it too. Safe from any worker thread.
    upload::SendChoice choose(const Port& port, const upload::ReadFound& found, Chosen& chosen);
    // The session on `port` has ended; returns the line for the terminal.
    std::string ended(const Port& port, const Chosen& chosen, const upload::UploadRecord& record,
                      upload::Verdict verdict);

    int left() const;  // good stations not yet deployed and verified
    bool allDone() const { return left() == 0; }
    std::vector<ReportRow> report() const;
    const std::vector<Station>& stations() const { return stations_; }
    std::string count() const;  // "(3 done, 9 left)"

  private:
    int pinnedTo(const Port& port) const;
    int stationOf(const upload::Identity& identity) const;
    std::string countLocked() const;
    void noteOther(const ReportRow& row);

    mutable std::mutex mutex_;
    std::vector<Station> stations_;
    std::vector<ReportRow> rows_;    // one per station, in the table's order
    std::vector<ReportRow> others_;  // recorders met that are no station of the table
    std::vector<bool> busy_;         // a cable is sending the station now
};

}  // namespace ksr::deploy
