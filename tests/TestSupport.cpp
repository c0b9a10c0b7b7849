#include "TestSupport.h"

#ifndef _WIN32
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <atomic>
#include <chrono>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "setup/Errors.h"

namespace ksr::test {

TempDir::TempDir() {
    static std::atomic<int> counter{0};
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    path_ = std::filesystem::temp_directory_path() /
            ("ksr-test-" + std::to_string(stamp) + "-" + std::to_string(counter++));
    std::filesystem::create_directories(path_);
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string ReadBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("test cannot open " + path.string());
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteBytes(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("test cannot write " + path.string());
}

std::vector<std::string> TemporaryFiles(const std::filesystem::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        const std::string name = entry.path().filename().string();
        if (name.size() >= 4 && name.compare(name.size() - 4, 4, ".tmp") == 0) names.push_back(name);
    }
    return names;
}

std::filesystem::path TestData(const std::string& name) {
    return std::filesystem::path(KSR_TEST_DATA) / name;
}

std::filesystem::path ShippedData(const std::string& name) {
    return std::filesystem::path(KSR_SHIPPED_DATA) / name;
}

SetupRecord DefaultRecord(int currentYear) {
    SetupRecord r;
    r.CurrentYear = static_cast<std::uint16_t>(currentYear);
    SetDefaults(r);
    return r;
}

SetupRecord ExampleRecord() {
    SetupRecord r = DefaultRecord(2013);
    r.SetupName = "test";
    r.SetupDate = "05-JUL-2013";
    r.SetupTime = "14:07";
    r.RecordParams[MaxPcCycle] = 204;
    r.GpsParams[GpsLat] = 52;
    r.GpsParams[GpsLon] = 13;
    OutputWindow& cal = r.OutputWindows[CalOut];
    cal.OnOff = 2;
    cal.StartMonth = 8;
    cal.StartHour = 12;
    cal.DurMinutes = 10;
    cal.DurSeconds = 0;
    RecWindow& w = r.RecWindows[1];
    w.WinType = 3;
    w.StartDay = 15;
    w.StartMonth = 8;
    w.StartHour = 6;
    w.StartMinute = 30;
    w.DurDays = 2;
    w.Repeat = 2;
    w.IntDays = 7;
    return r;
}

#ifndef _WIN32
int WriteUnderSizeLimit(unsigned long long limit, const std::function<void()>& write) {
    const pid_t child = fork();
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);
        rlimit small{static_cast<rlim_t>(limit), static_cast<rlim_t>(limit)};
        setrlimit(RLIMIT_FSIZE, &small);
        try {
            write();
            _exit(1);
        } catch (const IoError&) {
            _exit(0);
        } catch (...) {
            _exit(2);
        }
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 3;
}
#endif

}  // namespace ksr::test
