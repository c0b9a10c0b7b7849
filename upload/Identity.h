#pragma once
// Which recorder a recorder.ini is for: the recorder's identity, read from the file it runs or
// from the one to be sent.

#include <string>
#include <vector>

#include "kermit/KermitSender.h"

namespace ksr::upload {

// Which recorder a recorder.ini is for: its station_code and serial_number values.
struct Identity {
    std::string stationCode;
    std::string serialNumber;
    // Why the file names no one recorder (a key missing, or given more than once); empty when
    // it does.
    std::string problem;
    bool complete() const { return problem.empty(); }
    bool operator==(const Identity&) const = default;
};
// The station_code= and serial_number= lines of a recorder.ini's bytes: each must stand once.
Identity IdentityOf(const std::string& recorderIni);
// The identity of the RECORDER.INI among files to send; empty when there is none.
Identity IdentityToSend(const std::vector<kermit::SendFile>& files);
// "station KSR01, serial 0000"
std::string IdentityText(const Identity& identity);

}  // namespace ksr::upload
