#include "setup/FileIo.h"

#include <cerrno>
#include <cstdio>
#include <memory>
#include <system_error>

#include "setup/Errors.h"

namespace ksr {
namespace {

std::string SystemText(int error) {
    return std::generic_category().message(error);
}

struct FileCloser {
    void operator()(std::FILE* f) const {
        if (f) std::fclose(f);
    }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

FilePtr OpenFile(const std::filesystem::path& path, const char* mode) {
#ifdef _WIN32
    std::wstring wmode(mode, mode + std::char_traits<char>::length(mode));
    return FilePtr(_wfopen(path.c_str(), wmode.c_str()));
#else
    return FilePtr(std::fopen(path.c_str(), mode));
#endif
}

}  // namespace

std::string ReadFileBytes(const std::filesystem::path& path) {
    errno = 0;
    FilePtr file = OpenFile(path, "rb");
    if (!file) throw IoError("cannot open file", path, SystemText(errno ? errno : ENOENT));
    std::string bytes;
    char buffer[16384];
    for (;;) {
        std::size_t got = std::fread(buffer, 1, sizeof buffer, file.get());
        bytes.append(buffer, got);
        if (got < sizeof buffer) break;
    }
    if (std::ferror(file.get()))
        throw IoError("cannot read file", path, SystemText(errno ? errno : EIO));
    return bytes;
}

std::filesystem::path TemporaryPathFor(const std::filesystem::path& path) {
    std::filesystem::path temp = path;
    temp += ".tmp";
    return temp;
}

void WriteFileAtomically(const std::filesystem::path& path, const std::string& bytes) {
    const std::filesystem::path temp = TemporaryPathFor(path);
    errno = 0;
    FilePtr file = OpenFile(temp, "wb");
    if (!file) throw IoError("cannot create file", path, SystemText(errno ? errno : EACCES));

    auto fail = [&](const char* what, int error) {
        file.reset();
        std::error_code ignored;
        std::filesystem::remove(temp, ignored);
        throw IoError(what, path, SystemText(error ? error : EIO));
    };

    errno = 0;
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file.get()) != bytes.size())
        fail("cannot write file", errno);
    errno = 0;
    if (std::fflush(file.get()) != 0) fail("cannot write file", errno);
    errno = 0;
    if (std::fclose(file.release()) != 0) fail("cannot write file", errno);

    std::error_code ec;
    std::filesystem::rename(temp, path, ec);
    if (ec) {
        std::error_code ignored;
        std::filesystem::remove(temp, ignored);
        throw IoError("cannot replace file", path, ec.message());
    }
}

std::vector<std::string> SplitLines(const std::string& bytes) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < bytes.size()) {
        std::size_t end = bytes.find('\n', start);
        std::size_t next = end == std::string::npos ? bytes.size() : end + 1;
        if (end == std::string::npos) end = bytes.size();
        std::size_t stop = end;
        if (stop > start && bytes[stop - 1] == '\r') --stop;
        lines.emplace_back(bytes, start, stop - start);
        start = next;
    }
    return lines;
}

std::string JoinCrLf(const std::vector<std::string>& lines) {
    std::string out;
    for (const auto& line : lines) {
        out += line;
        out += "\r\n";
    }
    return out;
}

}  // namespace ksr
