#pragma once
// The recorder simulator on its pseudo-terminal, started in a folder for the duration of a test
// (its receiver writes into rec/ there).

#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include "TestSupport.h"

namespace ksr::test {

class SimulatorProcess {
  public:
    SimulatorProcess(const std::filesystem::path& dir, const std::string& options) {
        const std::string command = "cd '" + dir.string() + "' && mkdir -p rec && ('" +
                                    std::string(KSR_SIMULATOR) + "' --dir rec " + options +
                                    " > sim.dev 2>&1 & echo $! > sim.pid)";
        if (std::system(command.c_str()) != 0) return;
        for (int i = 0; i < 50 && device_.empty(); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            if (std::filesystem::exists(dir / "sim.dev")) {
                device_ = ReadBytes(dir / "sim.dev");
                while (!device_.empty() && (device_.back() == '\n' || device_.back() == '\r'))
                    device_.pop_back();
            }
        }
        pid_ = ReadBytes(dir / "sim.pid");
    }
    // Ends the simulator and waits until it is gone (it ends its receiver first).
    ~SimulatorProcess() {
        if (pid_.empty()) return;
        const pid_t pid = static_cast<pid_t>(std::stol(pid_));
        kill(pid, SIGTERM);
        for (int i = 0; i < 300 && Running(pid); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        kill(pid, SIGKILL);
    }
    SimulatorProcess(const SimulatorProcess&) = delete;
    SimulatorProcess& operator=(const SimulatorProcess&) = delete;
    const std::string& device() const { return device_; }
    pid_t pid() const { return pid_.empty() ? -1 : static_cast<pid_t>(std::stol(pid_)); }

  private:
    // Alive and not merely waiting to be reaped.
    static bool Running(pid_t pid) {
        const std::string stat = ReadBytesIfAny("/proc/" + std::to_string(pid) + "/stat");
        const auto close = stat.rfind(')');
        return close != std::string::npos && close + 2 < stat.size() && stat[close + 2] != 'Z';
    }
    static std::string ReadBytesIfAny(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    std::string device_, pid_;
};

}  // namespace ksr::test
