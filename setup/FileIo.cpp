#include "setup/FileIo.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <random>
#include <system_error>
#include <thread>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace ksr {
namespace fs = std::filesystem;

namespace {

std::string SystemText(int error) {
    return std::generic_category().message(error);
}

constexpr const char* kNotRegular = "not a regular file";
constexpr const char* kTooLarge = "larger than 1 MB, not a file of this program";
constexpr const char* kTemporarySuffix = ".tmp";
// A temporary file older than this belongs to nobody any more, whoever made it.
constexpr auto kAbandoned = std::chrono::hours(1);

}  // namespace

// Follows symbolic links to the file they finally name (which need not exist yet).
fs::path ResolveLinks(const fs::path& target) {
    fs::path p = target;
    for (int hops = 0; hops < 40; ++hops) {
        std::error_code ec;
        if (!fs::is_symlink(fs::symlink_status(p, ec))) return p;
        const fs::path link = fs::read_symlink(p, ec);
        if (ec) throw IoError("cannot write file", target, ec.message());
        p = link.is_absolute() ? link : p.parent_path() / link;
    }
    throw IoError("cannot write file", target, SystemText(ELOOP));
}

namespace {

fs::path FolderOf(const fs::path& file) {
    return file.has_parent_path() ? file.parent_path() : fs::path(".");
}

// ".NAME." + owner + "-" + unique part + ".tmp"; the owner lets a later run tell whether the
// process that made it is still alive.
std::string TemporaryPrefix(const fs::path& file) {
    return "." + file.filename().string() + ".";
}

std::string UniquePart() {
    static std::atomic<unsigned> counter{0};
    static const unsigned seed = std::random_device{}();
    return std::to_string(counter++) + "-" + std::to_string(seed % 1000000u);
}

// What a temporary name says of its maker: its process id, or 0 when it says nothing.
long OwnerOf(const std::string& name, const std::string& prefix) {
    const std::size_t start = prefix.size();
    const std::size_t dash = name.find('-', start);
    if (dash == std::string::npos || dash == start) return 0;
    long pid = 0;
    for (std::size_t i = start; i < dash; ++i) {
        if (name[i] < '0' || name[i] > '9' || pid > 100000000) return 0;
        pid = pid * 10 + (name[i] - '0');
    }
    return pid;
}

bool ProcessIsGone(long pid);
long OwnProcessId();

// Removes temporary files for `file` whose maker is gone or that were abandoned long ago.
void RemoveStaleTemporaries(const fs::path& file) {
    const std::string prefix = TemporaryPrefix(file);
    std::error_code ec;
    fs::directory_iterator it(FolderOf(file), ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.size() <= prefix.size() + 4 || name.compare(0, prefix.size(), prefix) != 0 ||
            !IsTemporaryName(name))
            continue;
        std::error_code ignored;
        if (!it->is_regular_file(ignored) || it->is_symlink(ignored)) continue;
        const long owner = OwnerOf(name, prefix);
        const auto age = fs::file_time_type::clock::now() - it->last_write_time(ignored);
        if ((owner > 0 && owner != OwnProcessId() && ProcessIsGone(owner)) || age > kAbandoned)
            fs::remove(it->path(), ignored);
    }
}

#ifdef _WIN32

bool ProcessIsGone(long pid) {
    HANDLE h = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE,
                           static_cast<DWORD>(pid));
    if (!h) return GetLastError() == ERROR_INVALID_PARAMETER;  // no such process
    const bool ended = WaitForSingleObject(h, 0) == WAIT_OBJECT_0;
    CloseHandle(h);
    return ended;
}
long OwnProcessId() {
    return static_cast<long>(GetCurrentProcessId());
}

std::string ReadAll(const fs::path& path) {
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (ec) throw IoError("cannot open file", path, ec.message());
    if (!fs::is_regular_file(status)) throw IoError("cannot read file", path, kNotRegular);
    FILE* f = _wfopen(path.c_str(), L"rb");
    if (!f) throw IoError("cannot open file", path, SystemText(errno ? errno : ENOENT));
    std::string bytes;
    char buffer[16384];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, f)) > 0) {
        bytes.append(buffer, got);
        if (bytes.size() > MaxFileSize) break;
    }
    const bool failed = std::ferror(f) != 0;
    std::fclose(f);
    if (failed) throw IoError("cannot read file", path, SystemText(EIO));
    if (bytes.size() > MaxFileSize) throw IoError("cannot read file", path, kTooLarge);
    return bytes;
}

// Checks that the final file may be replaced; true when it exists.
bool CheckReplaceable(const fs::path& file, const fs::path& target) {
    std::error_code ec;
    const fs::file_status status = fs::status(file, ec);
    if (!fs::exists(status)) return false;
    if (!fs::is_regular_file(status)) throw IoError("cannot replace file", target, kNotRegular);
    if ((status.permissions() & fs::perms::owner_write) == fs::perms::none)
        throw IoError("cannot write file", target, SystemText(EACCES));
    return true;
}

void WriteReplacing(const fs::path& file, const fs::path& target, const std::string& bytes) {
    CheckReplaceable(file, target);
    RemoveStaleTemporaries(file);
    const fs::path folder = FolderOf(file);
    fs::path temp;
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        temp = folder / (TemporaryPrefix(file) + std::to_string(OwnProcessId()) + "-" +
                         UniquePart() + kTemporarySuffix);
        fd = _wopen(temp.c_str(), _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY, _S_IREAD | _S_IWRITE);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0)
        throw IoError("cannot create a temporary file in \"" + folder.string() + "\"", target,
                      SystemText(errno));
    auto fail = [&](int error) {
        if (fd >= 0) _close(fd);
        std::error_code ignored;
        fs::remove(temp, ignored);
        throw IoError("cannot write file", target, SystemText(error ? error : EIO));
    };
    std::size_t done = 0;
    while (done < bytes.size()) {
        const int n = _write(fd, bytes.data() + done, static_cast<unsigned>(bytes.size() - done));
        if (n <= 0) fail(errno);
        done += static_cast<std::size_t>(n);
    }
    if (_commit(fd) != 0) fail(errno);
    const int closed = _close(fd);
    fd = -1;
    if (closed != 0) fail(errno);
    // A virus scanner or an indexer may hold the old file for a moment: tried again for about a
    // second; after that the old file stays.
    for (int attempt = 0;; ++attempt) {
        if (MoveFileExW(temp.c_str(), file.c_str(),
                        MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            break;
        const DWORD error = GetLastError();
        const bool held = error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED ||
                          error == ERROR_LOCK_VIOLATION;
        if (held && attempt < 20) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            continue;
        }
        std::error_code ignored;
        fs::remove(temp, ignored);
        throw IoError("cannot replace file", target,
                      std::system_category().message(static_cast<int>(error)));
    }
}

#else

// A file descriptor closed when it goes.
class Fd {
  public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() { reset(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    void reset(int fd = -1) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = fd;
    }
    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    // Closes and reports the close's own error (0 when none).
    int close() {
        const int result = ::close(fd_);
        fd_ = -1;
        return result == 0 ? 0 : errno;
    }

  private:
    int fd_;
};

bool ProcessIsGone(long pid) {
    return ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
}
long OwnProcessId() {
    return static_cast<long>(::getpid());
}

std::string ReadAll(const fs::path& path) {
    // Without blocking: opening a FIFO for reading would wait for a writer forever.
    Fd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!fd) throw IoError("cannot open file", path, SystemText(errno));
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) throw IoError("cannot read file", path, SystemText(errno));
    if (!S_ISREG(st.st_mode)) throw IoError("cannot read file", path, kNotRegular);
    if (static_cast<std::uintmax_t>(st.st_size) > MaxFileSize)
        throw IoError("cannot read file", path, kTooLarge);
    std::string bytes;
    char buffer[16384];
    for (;;) {
        const ssize_t got = ::read(fd.get(), buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) throw IoError("cannot read file", path, SystemText(errno));
        if (got == 0) break;
        bytes.append(buffer, static_cast<std::size_t>(got));
        if (bytes.size() > MaxFileSize) throw IoError("cannot read file", path, kTooLarge);
    }
    return bytes;
}

// Checks that the final file may be replaced and returns its status; st_mode 0 when it does
// not exist yet.
struct stat CheckReplaceable(const fs::path& file, const fs::path& target) {
    struct stat st {};
    if (::lstat(file.c_str(), &st) != 0) {
        if (errno != ENOENT) throw IoError("cannot write file", target, SystemText(errno));
        st.st_mode = 0;
        return st;
    }
    if (!S_ISREG(st.st_mode)) throw IoError("cannot replace file", target, kNotRegular);
    // What the user could not open for writing is not replaced behind their back either.
    Fd probe(::open(file.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!probe) throw IoError("cannot write file", target, SystemText(errno));
    return st;
}

void SyncFolder(const fs::path& folder) {
    Fd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir) ::fsync(dir.get());  // some file systems cannot; the rename itself has happened
}

// The bytes in a new temporary file beside `file`, with the old file's permission bits; synced
// when `sync` is set. Returns the temporary's path.
fs::path WriteTemporary(const fs::path& file, const fs::path& target, const std::string& bytes,
                        bool sync) {
    const struct stat old = CheckReplaceable(file, target);
    RemoveStaleTemporaries(file);
    const fs::path folder = FolderOf(file);
    fs::path temp;
    Fd fd;
    for (int attempt = 0; !fd && attempt < 100; ++attempt) {
        temp = folder / (TemporaryPrefix(file) + std::to_string(OwnProcessId()) + "-" +
                         UniquePart() + kTemporarySuffix);
        fd.reset(::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
        if (!fd && errno != EEXIST) break;
    }
    if (!fd)
        throw IoError("cannot create a temporary file in \"" + folder.string() + "\"", target,
                      SystemText(errno));
    auto fail = [&](int error) {
        fd.reset();
        ::unlink(temp.c_str());
        throw IoError("cannot write file", target, SystemText(error ? error : EIO));
    };
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd.get(), bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) fail(n < 0 ? errno : EIO);
        done += static_cast<std::size_t>(n);
    }
    if (old.st_mode != 0) {
        if (::fchmod(fd.get(), old.st_mode & 07777) != 0) fail(errno);
        // Keeps the owner where we may (as root); otherwise the file becomes ours.
        if (old.st_uid != ::geteuid() || old.st_gid != ::getegid())
            (void)!::fchown(fd.get(), old.st_uid, old.st_gid);
    }
    if (sync && ::fsync(fd.get()) != 0) fail(errno);
    if (const int error = fd.close()) fail(error);
    return temp;
}

void RenameInto(const fs::path& temp, const fs::path& file, const fs::path& target) {
    if (::rename(temp.c_str(), file.c_str()) != 0) {
        const int error = errno;
        ::unlink(temp.c_str());
        throw IoError("cannot replace file", target, SystemText(error));
    }
}

void WriteReplacing(const fs::path& file, const fs::path& target, const std::string& bytes) {
    RenameInto(WriteTemporary(file, target, bytes, true), file, target);
    SyncFolder(FolderOf(file));
}

// Everything written to the file systems of these folders so far reaches the disk: one call
// for each file system rather than one for each file.
void SyncFileSystems(const std::vector<fs::path>& folders) {
    std::vector<dev_t> done;
    for (const fs::path& folder : folders) {
        struct stat st {};
        if (::stat(folder.c_str(), &st) != 0) continue;
        if (std::find(done.begin(), done.end(), st.st_dev) != done.end()) continue;
        done.push_back(st.st_dev);
#ifdef __linux__
        Fd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!dir || ::syncfs(dir.get()) != 0) ::sync();
#else
        ::sync();
#endif
    }
}

#endif

}  // namespace

std::string ReadFileBytes(const fs::path& path) {
    return ReadAll(path);
}

void WriteFileAtomically(const fs::path& path, const std::string& bytes) {
    WriteReplacing(ResolveLinks(path), path, bytes);
}

void AppendToFile(const fs::path& path, const std::string& bytes) {
#ifdef _WIN32
    FILE* f = _wfopen(path.c_str(), L"ab+");
    if (!f) throw IoError("cannot open file", path, SystemText(errno));
    std::fseek(f, 0, SEEK_END);
    const long before = std::ftell(f);
    std::string record = bytes;
    if (before > 0 && std::fseek(f, before - 1, SEEK_SET) == 0 && std::fgetc(f) != '\n')
        record.insert(0, "\n");
    std::fseek(f, 0, SEEK_END);
    bool ok = std::fwrite(record.data(), 1, record.size(), f) == record.size();
    ok = std::fflush(f) == 0 && ok;
    if (!ok && before >= 0) (void)_chsize(_fileno(f), before);  // no half record stays
    const bool closed = std::fclose(f) == 0;
    if (!ok || !closed) throw IoError("cannot write file", path, SystemText(EIO));
#else
    Fd fd(::open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC,
                 0666));
    if (!fd) throw IoError("cannot open file", path, SystemText(errno));
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
        throw IoError("cannot write file", path, kNotRegular);
    // A record starts on a line of its own, also after a file that ends in the middle of one.
    std::string record = bytes;
    char last = '\n';
    if (st.st_size > 0 && ::pread(fd.get(), &last, 1, st.st_size - 1) == 1 && last != '\n')
        record.insert(0, "\n");
    const ssize_t n =
        ::write(fd.get(), record.data(), record.size());  // one write: lines stay whole
    if (n != static_cast<ssize_t>(record.size())) {
        const int error = n < 0 ? errno : ENOSPC;
        if (n > 0) {
            // A full disk took part of the record: take it back, so that no torn line stays.
            const off_t end = ::lseek(fd.get(), 0, SEEK_CUR);
            if (end >= n) (void)!::ftruncate(fd.get(), end - n);
        }
        throw IoError("cannot write file", path, SystemText(error));
    }
    if (::fsync(fd.get()) != 0) throw IoError("cannot write file", path, SystemText(errno));
    if (const int error = fd.close()) throw IoError("cannot write file", path, SystemText(error));
#endif
}

bool IsTemporaryName(const std::string& name) {
    const std::size_t n = std::char_traits<char>::length(kTemporarySuffix);
    return name.size() > n + 1 && name[0] == '.' &&
           name.compare(name.size() - n, n, kTemporarySuffix) == 0;
}

namespace {

// A file as it stood before a group's write, so that a failed group can be put back.
struct Previous {
    fs::path file;  // the final file, links followed
    bool existed = false;
    bool readable = true;  // a file we may write but not read cannot be put back
    std::string bytes;
};

Previous Capture(const fs::path& path) {
    Previous p;
    p.file = ResolveLinks(path);
    p.existed = fs::exists(fs::symlink_status(p.file));
    if (p.existed) {
        try {
            p.bytes = ReadFileBytes(p.file);
        } catch (const KsrError&) {
            p.readable = false;
        }
    }
    return p;
}

// The first `count` files of a group back as they were; the first error is the one to report,
// so a failure here is passed over.
void PutBack(const std::vector<Previous>& before, const std::vector<FileWrite>& writes,
             std::size_t count) {
    for (std::size_t j = 0; j < count; ++j) {
        std::error_code ignored;
        try {
            if (before[j].existed && before[j].readable)
                WriteReplacing(before[j].file, writes[j].path, before[j].bytes);
            else if (!before[j].existed)
                fs::remove(before[j].file, ignored);
        } catch (const KsrError&) {
        }
    }
}

}  // namespace

void WriteFilesTogether(const std::vector<FileWrite>& writes) {
    std::vector<Previous> before;
    for (const FileWrite& w : writes) {
        before.push_back(Capture(w.path));
        (void)CheckReplaceable(before.back().file, w.path);
    }
    for (std::size_t i = 0; i < writes.size(); ++i) {
        try {
            WriteFileAtomically(writes[i].path, writes[i].bytes);
        } catch (const KsrError&) {
            PutBack(before, writes, i);
            throw;
        }
    }
}

std::vector<std::optional<KsrError>> WriteFileGroups(
    const std::vector<std::vector<FileWrite>>& groups) {
    std::vector<std::optional<KsrError>> errors(groups.size());
#ifdef _WIN32
    for (std::size_t g = 0; g < groups.size(); ++g) {
        try {
            WriteFilesTogether(groups[g]);
        } catch (const KsrError& e) {
            errors[g] = e;
        }
    }
#else
    std::vector<std::vector<Previous>> before(groups.size());
    std::vector<std::vector<fs::path>> temps(groups.size());
    std::vector<fs::path> folders;
    auto drop = [&](std::size_t g, std::size_t from) {
        for (std::size_t i = from; i < temps[g].size(); ++i) ::unlink(temps[g][i].c_str());
        temps[g].clear();
    };
    // Every file to a temporary beside it, unsynced; a group with a failure is dropped.
    for (std::size_t g = 0; g < groups.size(); ++g) {
        try {
            for (const FileWrite& w : groups[g]) {
                before[g].push_back(Capture(w.path));
                const fs::path& file = before[g].back().file;
                temps[g].push_back(WriteTemporary(file, w.path, w.bytes, false));
                if (folders.empty() || folders.back() != FolderOf(file))
                    folders.push_back(FolderOf(file));
            }
        } catch (const KsrError& e) {
            errors[g] = e;
            drop(g, 0);
        }
    }
    // The temporaries on the disk before any takes an old file's place: a crash leaves old files.
    SyncFileSystems(folders);
    for (std::size_t g = 0; g < groups.size(); ++g) {
        for (std::size_t i = 0; i < temps[g].size(); ++i) {
            try {
                RenameInto(temps[g][i], before[g][i].file, groups[g][i].path);
            } catch (const KsrError& e) {
                errors[g] = e;
                PutBack(before[g], groups[g], i);
                drop(g, i + 1);
                break;
            }
        }
    }
    SyncFileSystems(folders);  // the renames too
#endif
    return errors;
}

FolderBusyError::FolderBusyError(const fs::path& folder, std::chrono::milliseconds waited)
    : KsrError("another program is writing set-up files in this folder (still busy after " +
                   std::to_string((waited.count() + 999) / 1000) +
                   " s); try again when it has finished",
               folder.string()) {}

#ifdef _WIN32

FolderLock::FolderLock(const fs::path& folder, std::chrono::milliseconds wait) {
    const fs::path file = folder / FolderLockFileName;
    HANDLE h = CreateFileW(file.c_str(), GENERIC_READ | GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_ALWAYS, FILE_ATTRIBUTE_HIDDEN, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        throw IoError("cannot lock the folder for writing", folder,
                      std::system_category().message(static_cast<int>(GetLastError())));
    const auto deadline = std::chrono::steady_clock::now() + wait;
    for (;;) {
        OVERLAPPED at{};
        if (LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) break;
        if (std::chrono::steady_clock::now() >= deadline) {
            CloseHandle(h);
            throw FolderBusyError(folder, wait);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    handle_ = reinterpret_cast<std::intptr_t>(h);
}

FolderLock::~FolderLock() {
    HANDLE h = reinterpret_cast<HANDLE>(handle_);
    OVERLAPPED at{};
    UnlockFileEx(h, 0, 1, 0, &at);
    CloseHandle(h);
}

#else

FolderLock::FolderLock(const fs::path& folder, std::chrono::milliseconds wait) {
    const fs::path file = folder / FolderLockFileName;
    const int fd = ::open(file.c_str(),
                          O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
    if (fd < 0) throw IoError("cannot lock the folder for writing", folder, SystemText(errno));
    Fd guard(fd);
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        throw IoError("cannot lock the folder for writing", folder,
                      std::string(FolderLockFileName) + " is " + kNotRegular);
    const auto deadline = std::chrono::steady_clock::now() + wait;
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK && errno != EINTR)
            throw IoError("cannot lock the folder for writing", folder, SystemText(errno));
        if (std::chrono::steady_clock::now() >= deadline) throw FolderBusyError(folder, wait);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    handle_ = guard.release();
}

FolderLock::~FolderLock() {
    ::close(static_cast<int>(handle_));  // closing the descriptor releases the lock
}

#endif

}  // namespace ksr
