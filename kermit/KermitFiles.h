#pragma once
// The files an upload sends: every "*.ini" file of the working directory.

#include <filesystem>
#include <vector>

#include "kermit/KermitSender.h"

namespace ksr::kermit {

// The files matching "*.ini" in `directory`, sorted by name, each named in capitals without
// directory. Throws IoError for a file that cannot be read.
std::vector<SendFile> IniFilesOf(const std::filesystem::path& directory);

}  // namespace ksr::kermit
