#pragma once
// Byte-exact file access for the core and the one way every program here writes a file.
// Files are single-byte text; nothing here converts a byte. The platform's file calls live in
// FileIo.cpp and nowhere else.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "setup/Errors.h"

namespace ksr {

// The files of this program are a few KB; anything larger is not one of them.
inline constexpr std::uintmax_t MaxFileSize = 1024 * 1024;

// Reads a whole regular file of at most MaxFileSize bytes. Never blocks on a FIFO or a device:
// anything that is not a regular file, or is too large, is an IoError naming the file.
std::string ReadFileBytes(const std::filesystem::path& path);

// Follows symbolic links to the file they finally name (which need not exist yet): the file a
// write to `path` changes.
std::filesystem::path ResolveLinks(const std::filesystem::path& path);

// Replaces the file with the given bytes so that it is never left half written and never mixed
// with another program's write:
// - a symbolic link is followed to its final file, which is replaced (the link stays a link);
// - a target that is not a regular file, or that this user could not open for writing, is an
//   IoError naming it, and nothing changes;
// - the bytes go to a temporary file created exclusively beside the final file (unique name,
//   never through a link), which is flushed and synced, given the old file's permission bits,
//   renamed over the old file; then the folder is synced.
// Temporary files that a killed run left for this target are removed on the way.
void WriteFileAtomically(const std::filesystem::path& path, const std::string& bytes);

// The user's home folder: HOME (USERPROFILE on Windows), else the user database's entry; empty
// when neither is known.
std::filesystem::path HomeFolder();

// A path from a UTF-8 name (what the programs take and print). Windows' C++ library reads a plain
// string byte by byte, as Latin-1, but writes names back as UTF-8: a name from a string goes
// through here.
std::filesystem::path PathOf(const std::string& utf8);

// The program's arguments as UTF-8 (on Windows from the wide command line: the narrow one is in
// the ANSI code page and loses what that cannot hold).
std::vector<std::string> ProgramArguments(int argc, char** argv);

// Standard output and error byte for byte: on Windows they would turn LF into CR LF, so a setup
// file written to standard output would end its lines CR CR LF.
void UseBinaryStandardStreams();

// Appends the bytes to the end of a file (created when missing) in one write, never through a
// link, and syncs it: for logs that several programs add lines to. A file that does not end with
// a line end gets one first, so the bytes start a line. A write that fails part-way (a full disk)
// is taken back: the file keeps no part of them. Throws IoError.
void AppendToFile(const std::filesystem::path& path, const std::string& bytes);

// One file of a group that belongs together.
struct FileWrite {
    std::filesystem::path path;
    std::string bytes;
};

// Writes a group of files, both or neither: every target is checked first, and when one write
// fails, the files already replaced get their old content back (or are removed again when they
// did not exist before). Throws the first write's error.
void WriteFilesTogether(const std::vector<FileWrite>& writes);

// Many groups at once, each both or neither as WriteFilesTogether writes one, with the same
// promise (a crash leaves every file old or new), but with one sync of the disk before the
// files take their places and one after, instead of two for each file: every file goes to its
// temporary, the disk is synced, the temporaries are renamed group by group, the disk is synced
// again. A group that fails leaves its files as they were; the others are written. Returns each
// group's error, empty for a group written.
std::vector<std::optional<KsrError>> WriteFileGroups(
    const std::vector<std::vector<FileWrite>>& groups);

// Whether a file name is one of WriteFileAtomically's temporary names: hidden, ".tmp" at the
// end, so that no file list or "*.ini" mask ever takes it for a real file.
bool IsTemporaryName(const std::string& fileName);

// The lock file FolderLock keeps in a working folder.
inline constexpr const char* FolderLockFileName = ".ksr-setup.lock";

// Another program held the folder's lock for longer than we would wait.
class FolderBusyError : public KsrError {
  public:
    FolderBusyError(const std::filesystem::path& folder, std::chrono::milliseconds waited);
};

// The advisory lock of one working folder, held around every sequence that writes files that
// belong together (setup file and SHORTTMP.DAT; SHORTTMP.DAT and recorder.ini). A second program
// waits up to `wait` for it, then gets FolderBusyError. Released when the object goes.
class FolderLock {
  public:
    static constexpr std::chrono::milliseconds DefaultWait{5000};

    explicit FolderLock(const std::filesystem::path& folder,
                        std::chrono::milliseconds wait = DefaultWait);
    ~FolderLock();
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

  private:
    std::intptr_t handle_;
};

}  // namespace ksr
