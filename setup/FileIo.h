#pragma once
// Byte-exact file access for the core. Files are single-byte text; nothing here converts a byte.

#include <filesystem>
#include <string>
#include <vector>

namespace ksr {

// Reads the whole file; throws IoError naming the file when it cannot be opened or read.
std::string ReadFileBytes(const std::filesystem::path& path);

// Replaces the file with the given bytes so that it is never left half written: the bytes go to
// a temporary file in the same folder, which is flushed, closed and then renamed over the old
// file. On any failure the old file stays as it was and IoError is thrown.
void WriteFileAtomically(const std::filesystem::path& path, const std::string& bytes);

// The temporary name WriteFileAtomically uses beside the target.
std::filesystem::path TemporaryPathFor(const std::filesystem::path& path);

// Splits text into lines. A line ends at LF; a CR right before it belongs to the line end.
// An empty text has no lines; a last line without line end still counts.
std::vector<std::string> SplitLines(const std::string& bytes);

// Joins lines, each followed by CR LF.
std::string JoinCrLf(const std::vector<std::string>& lines);

}  // namespace ksr
