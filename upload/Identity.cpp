#include "upload/Identity.h"

#include "setup/TextFormat.h"

namespace ksr::upload {

Identity IdentityOf(const std::string& recorderIni) {
    const std::vector<std::string> lines = SplitLines(recorderIni);
    const std::vector<std::string> stations = KeyValues(lines, "station_code");
    const std::vector<std::string> serials = KeyValues(lines, "serial_number");
    Identity id;
    // A key missing, empty or given more than once names no one recorder: a file that says
    // two things must not pass for either.
    auto judge = [&id](const char* key, const std::vector<std::string>& values, std::string& into) {
        std::string problem;
        if (values.empty()) {
            problem = std::string("no ") + key;
        } else if (values.size() > 1) {
            problem = std::string(key) + " given " + std::to_string(values.size()) + " times (";
            for (std::size_t i = 0; i < values.size(); ++i)
                problem += (i ? ", " : "") + fmt::Echo(values[i]);
            problem += ")";
        } else if (values.front().empty()) {
            problem = std::string(key) + " empty";
        } else {
            into = values.front();
        }
        if (!problem.empty()) id.problem += (id.problem.empty() ? "" : ", ") + problem;
    };
    judge("station_code", stations, id.stationCode);
    judge("serial_number", serials, id.serialNumber);
    return id;
}

Identity IdentityToSend(const std::vector<kermit::SendFile>& files) {
    for (const auto& f : files)
        if (f.name == "RECORDER.INI") return IdentityOf(f.data);
    return {};
}

std::string IdentityText(const Identity& id) {
    if (!id.problem.empty()) return "no one recorder: " + id.problem;
    return "station " + fmt::Echo(id.stationCode) + ", serial " + fmt::Echo(id.serialNumber);
}

}  // namespace ksr::upload
