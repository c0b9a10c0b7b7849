// bench-kermit: sends a typical recorder.ini over a pseudo-terminal link paced like a 9600 baud
// 8N1 line (10 bits a byte, both directions) to gkermit, first with our sender, then with
// C-Kermit as the sender under the same terms, and prints the figures. Both senders are timed on
// the wire, at the same clock points: from the first packet mark the sender puts on the line to
// the last byte of the receiver's final acknowledgement. The programs' own start and exit (C-Kermit
// pauses before its first packet and after the last) are not in that figure.
//
//   bench-kermit [FILE]    (default: a recorder.ini built from the shipped sample)

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "kermit/KermitSender.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr double kBytesPerSecond = 9600.0 / 10;

struct Pair {
    int master = -1, slave = -1;
    std::string path;
    Pair() {
        termios raw{};
        cfmakeraw(&raw);
        char name[256] = {};
        if (openpty(&master, &slave, name, &raw, nullptr) != 0) throw std::runtime_error("openpty");
        path = name;
    }
    ~Pair() {
        close(master);
        close(slave);
    }
};

// Copies bytes between the two masters, each direction paced to 960 bytes a second.
class Relay {
  public:
    Relay(int a, int b) : a_(a), b_(b), thread_([this] { run(); }) {}
    ~Relay() {
        stop_ = true;
        thread_.join();
    }
    std::uint64_t aToB() const { return counts_[0]; }
    std::uint64_t bToA() const { return counts_[1]; }
    // Seconds from the moment the first packet mark from a started on the line to the moment
    // the last byte from b had crossed it; 0 when there was none.
    double wireSeconds() const {
        if (!sawMark_ || lastFromB_ <= firstMark_) return 0;
        return std::chrono::duration<double>(lastFromB_ - firstMark_).count();
    }

  private:
    void run() {
        std::deque<char> queue[2];
        Clock::time_point free[2] = {Clock::now(), Clock::now()};
        const int from[2] = {a_, b_}, to[2] = {b_, a_};
        const auto slot = std::chrono::duration_cast<Clock::duration>(
            std::chrono::duration<double>(1 / kBytesPerSecond));
        while (!stop_) {
            pollfd p[2] = {{a_, POLLIN, 0}, {b_, POLLIN, 0}};
            poll(p, 2, 1);
            const auto now = Clock::now();
            for (int d = 0; d < 2; ++d)
                if (p[d].revents & POLLIN) {
                    // A byte arriving on an idle line starts at once, not in a slot of the past.
                    if (queue[d].empty() && free[d] < now) free[d] = now;
                    char buffer[4096];
                    const ssize_t n = read(from[d], buffer, sizeof buffer);
                    for (ssize_t i = 0; i < n; ++i) queue[d].push_back(buffer[i]);
                }
            for (int d = 0; d < 2; ++d) {
                // A byte is delivered when its last bit has crossed the line: a slot after it
                // started.
                while (!queue[d].empty() && free[d] + slot <= now) {
                    const char c = queue[d].front();
                    if (write(to[d], &c, 1) == 1) {
                        queue[d].pop_front();
                        ++counts_[d];
                        if (c == 0x01) ++marks_[d];
                        if (d == 0 && c == 0x01 && !sawMark_) {
                            firstMark_ = free[d];  // when this byte started to cross
                            sawMark_ = true;
                        }
                        if (d == 1) lastFromB_ = free[d] + slot;  // when it had crossed
                        free[d] += slot;  // the next byte may start when this one has left
                    } else {
                        break;
                    }
                }
            }
        }
    }
    int a_, b_;
    std::atomic<bool> stop_{false};
    // Written by the relay's thread, read after it has stopped.
    Clock::time_point firstMark_{}, lastFromB_{};
    bool sawMark_ = false;
  public:
    std::atomic<std::uint64_t> marks_[2] = {0, 0};
    std::atomic<std::uint64_t> counts_[2] = {0, 0};
    std::thread thread_;
};

pid_t Spawn(std::vector<std::string> argv, const fs::path& dir, int stdio) {
    const pid_t child = fork();
    if (child == 0) {
        setsid();
        if (stdio >= 0) {
            ioctl(stdio, TIOCSCTTY, 0);
            dup2(stdio, 0);
            dup2(stdio, 1);
        }
        const int null = open("/dev/null", O_RDWR);
        if (stdio < 0) {
            dup2(null, 0);
            dup2(null, 1);
        }
        dup2(null, 2);
        if (chdir(dir.c_str()) != 0) _exit(126);
        std::vector<char*> args;
        for (auto& a : argv) args.push_back(a.data());
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    return child;
}

int Reap(pid_t child, int seconds) {
    for (int i = 0; i < seconds * 100; ++i) {
        int status = 0;
        if (waitpid(child, &status, WNOHANG) == child)
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    return -1;
}

std::string ReadAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

struct Run {
    double seconds = 0;
    double wire = 0;
    std::uint64_t packetsOut = 0, packetsIn = 0;
    std::uint64_t out = 0, in = 0;
    bool ok = false;
};

// Our engine on the sender's side of the link.
Run Ours(const std::string& data, const fs::path& work) {
    Pair sender, receiver;
    const fs::path dest = work / "ours";
    fs::create_directories(dest);
    Relay relay(sender.master, receiver.master);
    const pid_t peer = Spawn({"gkermit", "-r", "-i", "-w"}, dest, receiver.slave);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ksr::kermit::KermitSender engine;
    const auto start = Clock::now();
    engine.StartTransmit({{"RECORDER.INI", data}});
    auto nextTick = start + std::chrono::milliseconds(ksr::kermit::KermitSender::TickMs);
    char buffer[4096];
    while (engine.InProgress() && Clock::now() - start < std::chrono::seconds(120)) {
        const std::string out = engine.takeOutput();
        if (!out.empty() && write(sender.slave, out.data(), out.size()) < 0) break;
        pollfd p{sender.slave, POLLIN, 0};
        const auto wait =
            std::chrono::duration_cast<std::chrono::milliseconds>(nextTick - Clock::now()).count();
        if (poll(&p, 1, static_cast<int>(std::max<long long>(0, wait))) > 0) {
            const ssize_t n = read(sender.slave, buffer, sizeof buffer);
            if (n > 0) engine.receive(buffer, static_cast<std::size_t>(n));
        }
        while (Clock::now() >= nextTick) {
            engine.tick();
            nextTick += std::chrono::milliseconds(ksr::kermit::KermitSender::TickMs);
        }
    }
    Run r;
    r.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    Reap(peer, 10);
    r.out = relay.aToB();
    r.in = relay.bToA();
    r.wire = relay.wireSeconds();
    r.packetsOut = relay.marks_[0];
    r.packetsIn = relay.marks_[1];
    r.ok = engine.ProtocolStatus() == 0 && ReadAll(dest / "recorder.ini") == data;
    return r;
}

// C-Kermit as the sender, local mode on the sender's side, with the same terms.
Run CKermit(const fs::path& file, const std::string& data, const fs::path& work) {
    Pair sender, receiver;
    const fs::path dest = work / "ckermit";
    fs::create_directories(dest);
    const fs::path script = work / "send.ksc";
    std::ofstream(script) << "set line \\%1\nset carrier-watch off\nset flow none\nset speed 9600\n"
                             "set file type binary\nset send packet-length 80\nset window 1\n"
                             "set block-check 1\nset repeat prefix 126\nset attributes off\n"
                             "set streaming off\nset reliable off\nsend "
                          << file.string() << "\nexit \\v(status)\n";
    Relay relay(sender.master, receiver.master);
    const pid_t peer = Spawn({"gkermit", "-r", "-i", "-w"}, dest, receiver.slave);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const auto start = Clock::now();
    const pid_t ck =
        Spawn({"kermit", script.string(), "-Y", "-H", "-B", "=", sender.path}, work, -1);
    const int status = Reap(ck, 120);
    Run r;
    r.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    Reap(peer, 10);
    r.out = relay.aToB();
    r.in = relay.bToA();
    r.wire = relay.wireSeconds();
    r.packetsOut = relay.marks_[0];
    r.packetsIn = relay.marks_[1];
    r.ok = status == 0 && ReadAll(dest / "recorder.ini") == data;
    return r;
}

void Print(const char* who, const Run& r) {
    const double ideal = static_cast<double>(r.out + r.in) / kBytesPerSecond;
    std::printf(
        "%-8s %s  on the wire %.3f s  (program %.2f s)  %llu bytes out + %llu in  ideal %.3f s"
        "  wire/ideal %.3f  packets %llu/%llu\n",
        who, r.ok ? "ok    " : "FAILED", r.wire, r.seconds, static_cast<unsigned long long>(r.out),
        static_cast<unsigned long long>(r.in), ideal, ideal > 0 ? r.wire / ideal : 0.0,
        static_cast<unsigned long long>(r.packetsOut), static_cast<unsigned long long>(r.packetsIn));
}

const char* const kUsage =
    "Usage: bench-kermit [FILE]\n"
    "Sends FILE (default: a sample recorder.ini) over a pseudo-terminal link paced like a\n"
    "9600 baud 8N1 line to gkermit, with our sender and with C-Kermit as the sender, and prints\n"
    "each one's time on the wire (first packet mark to the end of the final acknowledgement).\n"
    "The last line is \"wire ours/ckermit R\". Needs gkermit and ckermit installed.\n";

int Bench(const fs::path& source) {
    if (!fs::is_regular_file(source)) throw std::runtime_error("no file " + source.string());
    const fs::path work = fs::temp_directory_path() / ("bench-kermit-" + std::to_string(getpid()));
    fs::create_directories(work);
    const fs::path file = work / "recorder.ini";
    fs::copy_file(source, file);
    const std::string data = ReadAll(file);
    std::printf("file: %zu bytes, link: 9600 baud 8N1 both ways (960 bytes/s), receiver: gkermit\n",
                data.size());
    const Run ours = Ours(data, work);
    Print("ours", ours);
    const Run theirs = CKermit(file, data, work);
    Print("ckermit", theirs);
    fs::remove_all(work);
    if (!ours.ok || !theirs.ok || ours.wire <= 0 || theirs.wire <= 0) {
        std::printf("a transfer failed: no ratio\n");
        return 1;
    }
    std::printf("wire ours/ckermit %.3f\n", ours.wire / theirs.wire);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 2 ||
        (argc == 2 && (std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h"))) {
        std::printf("%s", kUsage);
        return argc > 2 ? 2 : 0;
    }
    try {
        return Bench(argc == 2 ? fs::path(argv[1]) : fs::path(KSR_SAMPLE_INI));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench-kermit: %s\n", e.what());
        return 1;
    }
}
