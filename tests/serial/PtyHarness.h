#pragma once
// Runs a Kermit engine over a pseudo-terminal against a real Kermit program from Debian (gkermit
// or C-Kermit), the way a host drives it: bytes out, bytes in, a tick every 55 ms.

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

#include "kermit/KermitReceiver.h"
#include "kermit/KermitSender.h"

namespace ksr::test {

class PtyPeer {
  public:
    // Starts `argv` (the Kermit program) in `directory` with the slave side of a new pseudo-terminal:
    // as its standard input and output (remote mode, like gkermit on the recorder), or, when
    // `lineArgument` is true, with the slave's path appended to argv as the line to open.
    PtyPeer(std::vector<std::string> argv, const std::filesystem::path& directory,
                bool lineArgument = false);
    ~PtyPeer();
    PtyPeer(const PtyPeer&) = delete;
    PtyPeer& operator=(const PtyPeer&) = delete;

    int master() const { return master_; }
    const std::string& slavePath() const { return slavePath_; }
    // Waits for the receiver to end; its exit status, or -1 if it had to be killed.
    int wait(int seconds);
    void closeMaster();

  private:
    int master_ = -1;
    int slave_ = -1;
    std::string slavePath_;
    pid_t child_ = -1;
};

struct DriveResult {
    std::uint16_t status = 0;
    bool finished = false;  // the engine ended by itself within the time allowed
    double seconds = 0;
    std::uint64_t bytesOut = 0, bytesIn = 0;
};

// Drives the engine (sender or receiver) over the file descriptor until it ends or `seconds`
// pass. `ticksPerTick` > 1 advances the engine's clock faster than the wall clock (for time-out
// tests).
template <class Engine>
DriveResult Drive(Engine& engine, int fd, double seconds, int ticksPerTick = 1);

}  // namespace ksr::test
