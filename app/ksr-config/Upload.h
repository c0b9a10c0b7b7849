#pragma once
// ksr-config upload: the upload dialogue and Kermit transfer without a window.

#include <iosfwd>
#include <string>
#include <vector>

namespace ksr::cli {

extern const char* const UploadHelp;
// Throws a usage error text (std::invalid_argument) for bad options.
int Upload(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace ksr::cli
