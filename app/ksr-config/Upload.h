#pragma once
// ksr-config upload: the upload dialogue and Kermit transfer without a window.

#include <iosfwd>
#include <string>
#include <vector>

namespace ksr::cli {

extern const char* const UploadHelp;
// Throws a usage error text (std::invalid_argument) for bad options.
int Upload(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

extern const char* const PortsHelp;
// ksr-config ports: the serial ports present, numbered as the window numbers them.
int Ports(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace ksr::cli
