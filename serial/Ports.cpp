#include "serial/Ports.h"

#include <algorithm>
#include <fstream>

#include "setup/Errors.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <unistd.h>
#endif

namespace ksr::serial {
namespace fs = std::filesystem;
namespace {

int Group(const std::string& device) {
    if (device.find("ttyUSB") != std::string::npos) return 0;
    if (device.find("ttyACM") != std::string::npos) return 1;
    if (device.find("ttyS") != std::string::npos) return 2;
    return 3;
}

int TrailingNumber(const std::string& device) {
    std::size_t start = device.size();
    while (start > 0 && device[start - 1] >= '0' && device[start - 1] <= '9') --start;
    if (start == device.size() || device.size() - start > 6) return -1;
    return std::stoi(device.substr(start));
}

}  // namespace

std::vector<std::string> NumberingOrder(std::vector<std::string> devices) {
    std::sort(devices.begin(), devices.end(), [](const std::string& a, const std::string& b) {
        const int ga = Group(a), gb = Group(b);
        if (ga != gb) return ga < gb;
        const int na = TrailingNumber(a), nb = TrailingNumber(b);
        if (na != nb) return na < nb;
        return a < b;
    });
    return devices;
}

#ifdef _WIN32

namespace {

std::string Utf8(const std::wstring& w) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0,
                                      nullptr, nullptr);
    std::string s(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr,
                        nullptr);
    return s;
}

}  // namespace

std::vector<PortInfo> PortsPresent() {
    std::vector<PortInfo> ports;
    HKEY key = nullptr;
    const bool listed = RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0,
                                      KEY_READ, &key) == ERROR_SUCCESS;
    for (DWORD i = 0; listed; ++i) {
        wchar_t name[256];
        wchar_t data[256];
        DWORD nameSize = 256, dataSize = sizeof data, type = 0;
        if (RegEnumValueW(key, i, name, &nameSize, nullptr, &type, reinterpret_cast<BYTE*>(data),
                          &dataSize) != ERROR_SUCCESS)
            break;
        if (type != REG_SZ) continue;
        PortInfo p;
        p.device = Utf8(std::wstring(data, wcsnlen(data, dataSize / sizeof(wchar_t))));
        p.number = TrailingNumber(p.device);
        p.product = Utf8(std::wstring(name, nameSize));  // the driver's device, e.g. \Device\VCP0
        if (p.number > 0) ports.push_back(p);
    }
    if (listed) RegCloseKey(key);
    std::sort(ports.begin(), ports.end(),
              [](const PortInfo& a, const PortInfo& b) { return a.number < b.number; });
    return ports;
}

std::string DeviceBehind(const std::string& device) {
    return device;
}

std::string StableName(const std::string&) {
    return {};
}

std::string ComDevice(int number) {
    return "COM" + std::to_string(number);
}

#else

namespace {

std::string FirstLine(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

// A legacy 8250 port that the kernel lists whether or not there is a UART behind it.
bool UartPresent(const std::string& device) {
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    serial_struct info{};
    const bool present = ::ioctl(fd, TIOCGSERIAL, &info) == 0 && info.type != PORT_UNKNOWN;
    ::close(fd);
    return present;
}

}  // namespace

std::vector<PortInfo> PortsPresent() {
    std::vector<PortInfo> found;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator("/sys/class/tty", ec)) {
        const fs::path link = entry.path() / "device";
        if (!fs::exists(link, ec)) continue;  // virtual terminals, pseudo-terminals
        const std::string name = entry.path().filename().string();
        const std::string device = "/dev/" + name;
        const std::string driver = fs::canonical(link / "driver", ec).filename().string();
        if (driver == "serial8250" && !UartPresent(device)) continue;
        PortInfo p;
        p.device = device;
        // A USB adapter names itself in the USB device above its interface.
        for (fs::path up = fs::canonical(link, ec); !ec && up.has_relative_path();
             up = up.parent_path()) {
            if (!fs::exists(up / "idVendor", ec)) continue;
            p.product = FirstLine(up / "product");
            p.manufacturer = FirstLine(up / "manufacturer");
            p.serialNumber = FirstLine(up / "serial");
            break;
        }
        found.push_back(p);
    }
    std::vector<std::string> devices;
    for (const auto& p : found) devices.push_back(p.device);
    std::vector<PortInfo> ports;
    for (const std::string& device : NumberingOrder(devices))
        for (const auto& p : found)
            if (p.device == device) {
                ports.push_back(p);
                ports.back().number = static_cast<int>(ports.size());
                ports.back().byId = StableName(device);
            }
    return ports;
}

std::string DeviceBehind(const std::string& device) {
    std::error_code ec;
    if (!fs::is_symlink(device, ec)) return device;
    const fs::path target = fs::canonical(device, ec);
    return ec ? device : target.string();
}

std::string StableName(const std::string& device) {
    std::error_code ec;
    const fs::path target = fs::canonical(device, ec);
    if (ec) return {};
    for (const auto& link : fs::directory_iterator("/dev/serial/by-id", ec)) {
        std::error_code linkError;
        if (fs::canonical(link.path(), linkError) == target && !linkError)
            return link.path().string();
    }
    return {};
}

std::string ComDevice(int number) {
    for (const auto& p : PortsPresent())
        if (p.number == number) return p.device;
    return {};
}

#endif

upload::UploadRecord WithAdapterSerial(upload::UploadRecord record) {
    const std::string device = DeviceBehind(record.port);
    for (const auto& p : PortsPresent())
        if (p.device == device) record.adapterSerial = p.serialNumber;
    return record;
}

}  // namespace ksr::serial
