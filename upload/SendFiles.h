#pragma once
// The files an upload sends: every "*.ini" file of the working directory.

#include <filesystem>
#include <vector>

#include "kermit/KermitSender.h"

namespace ksr::upload {

// The files an upload sends: those matching "*.ini" in `directory`, sorted by name, each named in
// capitals without directory. Throws IoError for a file that cannot be read, and KsrError,
// naming the file, for a name the recorder cannot be given safely (see CheckSendNames) and when
// there is none at all.
std::vector<kermit::SendFile> IniFilesToSend(const std::filesystem::path& directory);

// A name that may go to the recorder: letters, digits, '.', '_' and '-' only, not starting with
// '-' or '.'. The recorder's shell sees these names, so nothing else is ever sent.
bool IsSafeSendName(const std::string& name);

// Throws KsrError for the first name that is not safe and for two names that are one after
// upper-casing (the recorder would keep only one of them).
void CheckSendNames(const std::vector<std::string>& localNames);

}  // namespace ksr::upload
