#pragma once
// The recorder simulator on its pseudo-terminal, started in a folder for the duration of a test
// (its receiver writes into rec/ there).

#include <chrono>
#include <cstdlib>
#include <filesystem>
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
    ~SimulatorProcess() {
        if (!pid_.empty()) (void)!std::system(("kill " + pid_ + " 2>/dev/null").c_str());
    }
    SimulatorProcess(const SimulatorProcess&) = delete;
    SimulatorProcess& operator=(const SimulatorProcess&) = delete;
    const std::string& device() const { return device_; }

  private:
    std::string device_, pid_;
};

}  // namespace ksr::test
