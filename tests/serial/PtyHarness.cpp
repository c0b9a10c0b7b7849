#include "PtyHarness.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>
#include <thread>

namespace ksr::test {

PtyPeer::PtyPeer(std::vector<std::string> argv, const std::filesystem::path& directory,
                         bool lineArgument) {
    termios raw{};
    cfmakeraw(&raw);
    cfsetispeed(&raw, B9600);
    cfsetospeed(&raw, B9600);
    char name[256] = {};
    if (openpty(&master_, &slave_, name, &raw, nullptr) != 0)
        throw std::runtime_error("openpty failed");
    slavePath_ = name;
    if (lineArgument) argv.push_back(slavePath_);
    child_ = fork();
    if (child_ == 0) {
        setsid();
        if (!lineArgument) {
            ioctl(slave_, TIOCSCTTY, 0);
            dup2(slave_, 0);
            dup2(slave_, 1);
            const int null = open("/dev/null", O_WRONLY);
            dup2(null, 2);
        } else {
            const int null = open("/dev/null", O_RDWR);
            dup2(null, 0);
            dup2(null, 1);
            dup2(null, 2);
        }
        close(master_);
        if (chdir(directory.c_str()) != 0) _exit(126);
        std::vector<char*> args;
        for (auto& a : argv) args.push_back(a.data());
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    if (!lineArgument) {
        close(slave_);
        slave_ = -1;
    }
}

PtyPeer::~PtyPeer() {
    if (child_ > 0) {
        kill(child_, SIGKILL);
        waitpid(child_, nullptr, 0);
    }
    closeMaster();
    if (slave_ >= 0) close(slave_);
}

void PtyPeer::closeMaster() {
    if (master_ >= 0) close(master_);
    master_ = -1;
}

int PtyPeer::wait(int seconds) {
    for (int i = 0; i < seconds * 20; ++i) {
        int status = 0;
        if (waitpid(child_, &status, WNOHANG) == child_) {
            child_ = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    kill(child_, SIGKILL);
    waitpid(child_, nullptr, 0);
    child_ = -1;
    return -1;
}

template <class Engine>
DriveResult Drive(Engine& engine, int fd, double seconds, int ticksPerTick) {
    using Clock = std::chrono::steady_clock;
    DriveResult r;
    const auto start = Clock::now();
    auto nextTick = start + std::chrono::milliseconds(kermit::KermitSender::TickMs);
    char buffer[4096];
    while (engine.InProgress()) {
        const std::string out = engine.takeOutput();
        for (std::size_t done = 0; done < out.size();) {
            const ssize_t n = write(fd, out.data() + done, out.size() - done);
            if (n <= 0) {
                engine.cancel("line closed");
                break;
            }
            done += static_cast<std::size_t>(n);
        }
        r.bytesOut += out.size();
        if (!engine.InProgress()) break;
        const auto now = Clock::now();
        if (now - start > std::chrono::duration<double>(seconds)) break;
        const int wait = static_cast<int>(std::max<long long>(
            0, std::chrono::duration_cast<std::chrono::milliseconds>(nextTick - now).count()));
        pollfd p{fd, POLLIN, 0};
        const int ready = poll(&p, 1, wait);
        if (ready > 0 && (p.revents & POLLIN)) {
            const ssize_t n = read(fd, buffer, sizeof buffer);
            if (n > 0) {
                r.bytesIn += static_cast<std::uint64_t>(n);
                engine.receive(buffer, static_cast<std::size_t>(n));
            }
        } else if (ready > 0 && (p.revents & (POLLHUP | POLLERR))) {
            engine.cancel("line closed");
        }
        while (Clock::now() >= nextTick) {
            for (int i = 0; i < ticksPerTick; ++i) engine.tick();
            nextTick += std::chrono::milliseconds(kermit::KermitSender::TickMs);
        }
    }
    const std::string tail = engine.takeOutput();
    if (!tail.empty() && write(fd, tail.data(), tail.size()) > 0) r.bytesOut += tail.size();
    r.finished = !engine.InProgress();
    r.status = engine.ProtocolStatus();
    r.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    return r;
}

template DriveResult Drive(kermit::KermitSender&, int, double, int);
template DriveResult Drive(kermit::KermitReceiver&, int, double, int);

}  // namespace ksr::test
