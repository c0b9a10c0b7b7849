#include "serial/SerialLine.h"

#include <cstring>

#ifdef _WIN32
#include <windows.h>
#else
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#endif

namespace ksr::serial {

std::string OpenFailureText(OpenFailure failure, const std::string& systemText,
                            const std::string& device) {
    switch (failure) {
        case OpenFailure::NotFound:
            return "Serial port " + device + " not found: check the cable and the port number";
        case OpenFailure::NoPermission:
            return "No permission to open serial port " + device +
                   ": add your user to the group that owns it (usually dialout), then log in "
                   "again";
        case OpenFailure::InUse:
            return "Serial port " + device + " is in use by another program";
        case OpenFailure::Other:
            break;
    }
    return "Serial port " + device + " cannot be opened: " + systemText;
}

SerialLine::~SerialLine() {
    close();
}

#ifdef _WIN32

namespace {

HANDLE H(std::intptr_t h) {
    return reinterpret_cast<HANDLE>(h);
}

std::string SystemText(DWORD error) {
    return std::system_category().message(static_cast<int>(error));
}

std::wstring Wide(const std::string& utf8) {
    const int n =
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring w(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), w.data(), n);
    return w;
}

}  // namespace

bool SerialLine::isOpen() const {
    return handle_ != -1;
}

void SerialLine::open(const std::string& device) {
    close();
    // "COM10" and above open only by their device name; "\\.\COM7" works for every number.
    const std::string name = device.rfind("\\\\.\\", 0) == 0 ? device : "\\\\.\\" + device;
    HANDLE h = CreateFileW(Wide(name).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD e = GetLastError();
        const OpenFailure f = e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND
                                  ? OpenFailure::NotFound
                              : e == ERROR_ACCESS_DENIED ? OpenFailure::InUse
                                                         : OpenFailure::Other;
        throw SerialError(OpenFailureText(f, SystemText(e), device));
    }
    SetupComm(h, 4096, 4096);
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    GetCommState(h, &dcb);
    dcb.BaudRate = CBR_9600;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fBinary = TRUE;
    dcb.fParity = FALSE;
    dcb.fOutxCtsFlow = TRUE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDtrControl = DTR_CONTROL_DISABLE;
    dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fNull = FALSE;
    dcb.fAbortOnError = FALSE;
    if (!SetCommState(h, &dcb)) {
        const DWORD e = GetLastError();
        CloseHandle(h);
        throw SerialError(OpenFailureText(OpenFailure::Other, SystemText(e), device));
    }
    handle_ = reinterpret_cast<std::intptr_t>(h);
    device_ = device;
    flushInput();
}

void SerialLine::close() {
    if (handle_ == -1) return;
    CloseHandle(H(handle_));
    handle_ = -1;
    outbox_.clear();
}

std::string SerialLine::read(int ms) {
    if (handle_ == -1) return {};
    pump();
    // Back at once with what has come; else at the first byte, or after `ms`.
    COMMTIMEOUTS t{};
    t.ReadIntervalTimeout = MAXDWORD;
    t.ReadTotalTimeoutMultiplier = MAXDWORD;
    t.ReadTotalTimeoutConstant = static_cast<DWORD>(ms > 0 ? ms : 1);
    t.WriteTotalTimeoutConstant = 2000;
    SetCommTimeouts(H(handle_), &t);
    char buffer[4096];
    DWORD got = 0;
    if (!ReadFile(H(handle_), buffer, sizeof buffer, &got, nullptr))
        throw failure(SystemText(GetLastError()));
    return std::string(buffer, got);
}

void SerialLine::pump() {
    while (!outbox_.empty()) {
        DWORD put = 0;
        if (!WriteFile(H(handle_), outbox_.data(), static_cast<DWORD>(outbox_.size()), &put,
                       nullptr))
            throw failure(SystemText(GetLastError()));
        if (put == 0) return;  // flow control holds it back: later
        outbox_.erase(0, put);
    }
}

void SerialLine::flushInput() {
    if (handle_ != -1) PurgeComm(H(handle_), PURGE_RXCLEAR);
}

bool SerialLine::clearToSend() {
    if (handle_ == -1) return false;
    DWORD status = 0;
    if (!GetCommModemStatus(H(handle_), &status)) return true;
    return (status & MS_CTS_ON) != 0;
}

#else

namespace {

std::string SystemText(int error) {
    return std::strerror(error);
}

}  // namespace

bool SerialLine::isOpen() const {
    return handle_ >= 0;
}

void SerialLine::open(const std::string& device) {
    close();
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int e = errno;
        const OpenFailure f = e == ENOENT   ? OpenFailure::NotFound
                              : e == EACCES ? OpenFailure::NoPermission
                              : e == EBUSY  ? OpenFailure::InUse
                                            : OpenFailure::Other;
        throw SerialError(OpenFailureText(f, SystemText(e), device));
    }
    // One program at a time on the line, as the window's port takes it.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        throw SerialError(OpenFailureText(OpenFailure::InUse, SystemText(EWOULDBLOCK), device));
    }
    termios t{};
    if (::tcgetattr(fd, &t) != 0) {
        const int e = errno;
        ::close(fd);
        throw SerialError(OpenFailureText(OpenFailure::Other, SystemText(e), device));
    }
    ::cfmakeraw(&t);
    ::cfsetispeed(&t, B9600);
    ::cfsetospeed(&t, B9600);
    t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB);
    t.c_cflag |= CS8 | CREAD | CLOCAL | CRTSCTS;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    ::tcsetattr(fd, TCSANOW, &t);
    // A line without modem-control lines cannot drop DTR: that is no error.
    int dtr = TIOCM_DTR;
    ::ioctl(fd, TIOCMBIC, &dtr);
    handle_ = fd;
    device_ = device;
}

void SerialLine::close() {
    if (handle_ < 0) return;
    ::close(static_cast<int>(handle_));
    handle_ = -1;
    outbox_.clear();
}

std::string SerialLine::read(int ms) {
    if (handle_ < 0) return {};
    const int fd = static_cast<int>(handle_);
    pollfd p{fd, static_cast<short>(POLLIN | (outbox_.empty() ? 0 : POLLOUT)), 0};
    const int ready = ::poll(&p, 1, ms);
    if (ready < 0 && errno != EINTR) throw failure(SystemText(errno));
    if (ready <= 0) return {};
    if (p.revents & POLLOUT) pump();
    if (p.revents & (POLLHUP | POLLERR | POLLNVAL))
        throw failure("the far end closed it, or the device is gone");
    if (!(p.revents & POLLIN)) return {};
    char buffer[4096];
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return {};
    if (n <= 0) throw failure(n < 0 ? SystemText(errno) : "the far end closed it");
    return std::string(buffer, static_cast<std::size_t>(n));
}

void SerialLine::pump() {
    while (!outbox_.empty()) {
        const ssize_t n = ::write(static_cast<int>(handle_), outbox_.data(), outbox_.size());
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) return;  // the line takes it later
        if (n < 0) throw failure(SystemText(errno));
        outbox_.erase(0, static_cast<std::size_t>(n));
    }
}

void SerialLine::flushInput() {
    if (handle_ >= 0) ::tcflush(static_cast<int>(handle_), TCIFLUSH);
}

bool SerialLine::clearToSend() {
    if (handle_ < 0) return false;
    int status = 0;
    if (::ioctl(static_cast<int>(handle_), TIOCMGET, &status) != 0) return true;
    return (status & TIOCM_CTS) != 0;
}

#endif

SerialError SerialLine::failure(const std::string& why) const {
    return SerialError("the serial line " + device_ + " failed: " + why);
}

void SerialLine::write(const std::string& bytes) {
    if (!isOpen()) return;
    outbox_ += bytes;
    pump();
}

}  // namespace ksr::serial
