// ksr-config ports: the serial ports present, numbered as the window numbers them.

#include "serial/Ports.h"

#include <ostream>

#include "Args.h"
#include "Commands.h"
#include "setup/Json.h"

namespace ksr::cli {

const char* const PortsHelp =
    "Usage: ksr-config ports [--json]\n"
    "\n"
    "Lists the serial ports present, one a line: the COM number as the window numbers it, the\n"
    "device, its stable /dev/serial/by-id name where there is one, and the adapter's\n"
    "description, maker and serial number. Exit status 0, also when there is none.\n";

int Ports(const std::vector<std::string>& args, std::ostream& out, std::ostream&) {
    const Options parsed = ParseOptions(args, {}, {"--json"});
    if (!parsed.positional.empty()) throw UsageError("ports takes no argument");
    const auto ports = serial::PortsPresent();
    if (parsed.has("--json")) {
        std::vector<std::string> items;
        for (const auto& p : ports)
            items.push_back(json::Object({{"com", std::to_string(p.number)},
                                          {"device", json::StrOrNull(p.device)},
                                          {"by_id", json::StrOrNull(p.byId)},
                                          {"description", json::StrOrNull(p.product)},
                                          {"manufacturer", json::StrOrNull(p.manufacturer)},
                                          {"serial_number", json::StrOrNull(p.serialNumber)}}));
        out << json::Object({{"ports", json::Array(items)}}) << "\n";
        return Success;
    }
    for (const auto& p : ports) {
        out << "COM" << p.number << "  " << p.device;
        for (const std::string& part : {p.byId, p.product, p.manufacturer, p.serialNumber})
            if (!part.empty()) out << "  " << part;
        out << "\n";
    }
    return Success;
}

}  // namespace ksr::cli
