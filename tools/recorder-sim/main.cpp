// ksr-recorder-sim: plays the KSR recorder's console on a pseudo-terminal, so that uploads can be
// tried and tested without a recorder. It prints the device path to open, then answers as the
// recorder does: a login prompt after Ctrl-C or Enter, "Password:", a shell that knows
// "cd /usr/local/wexo", "kermit -r" (a real gkermit or C-Kermit receives into --dir), "kermit -s
// FILE" (the same program sends FILE from there) and the reconfigure command, which answers with
// a "New Data File /data/..." line.

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "kermit/KermitSender.h"
#include "upload/Checksums.h"
#include "upload/RecorderConsole.h"

namespace {

namespace console = ksr::upload::console;

struct Options {
    std::string dir = ".";
    std::string current;  // what "kermit -s recorder.ini" sends until an upload leaves another
    std::string log;
    std::string password = ksr::upload::console::Password;
    bool capitals = false;
    bool noLogin = false;
    int loginDelayMs = 0;
    int ignoreWakeups = 0;
    bool deadReceiver = false;
    bool once = false;
    std::string receiver = "gkermit";
    bool damageReceived = false;
    bool noCksum = false;
    bool hangUpAfterTransfer = false;
    bool slowBanner = false;
    bool endlessSender = false;
    bool lineNoise = false;
    std::vector<std::string> then;  // the recorders that follow on this cable
};

const char* const kUsage =
    "Usage: ksr-recorder-sim [OPTIONS]\n"
    "Plays the recorder's console on a pseudo-terminal and prints its device path.\n"
    "  --dir DIR           the recorder's software folder: where its Kermit receives into and\n"
    "                      sends from (default: .)\n"
    "  --current FILE      \"kermit -s recorder.ini\" sends FILE until an upload leaves one\n"
    "  --log FILE          log every byte in and out with its time (ms since the epoch)\n"
    "  --wrong-password    the recorder expects another password than the one sent\n"
    "  --caps              the login prompt in capitals (KSR LOGIN:)\n"
    "  --login-delay MS    wait before printing the login prompt\n"
    "  --no-login          never print a login prompt\n"
    "  --ignore-wakeups N  no login prompt for the first N wake-ups (Ctrl-C or Enter)\n"
    "  --receiver NAME     the Kermit program \"kermit -r\" and \"kermit -s FILE\" start:\n"
    "                      gkermit (default) or ckermit (C-Kermit on the console's own\n"
    "                      terminal, as a recorder runs it)\n"
    "  --dead-receiver     \"kermit -r\" starts a receiver that never answers\n"
    "  --damage-received   a received file is damaged on the recorder's disk afterwards\n"
    "  --no-cksum          the recorder's shell has no cksum command\n"
    "  --hang-up-after-transfer\n"
    "                      close the line as soon as \"kermit -r\" has received a file\n"
    "  --slow-banner       after the password, a clock warning and a \"Last login:\" line that\n"
    "                      comes in two pieces, then the shell\n"
    "  --endless-sender    \"kermit -s FILE\" sends data packets without data for ever\n"
    "  --line-noise        what \"kermit -s FILE\" sends is damaged on the line: the eighth bit\n"
    "                      of its 300th byte flipped, a burst of 5 bytes after its 700th\n"
    "  --then DIR          after a logout the cable is on the next recorder, whose software\n"
    "                      folder is DIR (as --dir); give one for each recorder that follows\n"
    "  --once              end after the reconfigure command\n";

volatile sig_atomic_t stopRequested = 0;

void OnStop(int) {
    stopRequested = 1;
}

long long NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

class Simulator {
  public:
    explicit Simulator(Options o) : o_(std::move(o)) {
        if (!o_.log.empty()) log_.open(o_.log, std::ios::trunc);
    }
    // The receiver child goes with the simulator, however the simulator ends.
    ~Simulator() { endReceiver(); }

    int run() {
        termios raw{};
        cfmakeraw(&raw);
        char name[256] = {};
        if (openpty(&master_, &slave_, name, &raw, nullptr) != 0) {
            std::perror("openpty");
            return 1;
        }
        std::printf("%s\n", name);
        std::fflush(stdout);
        for (;;) {
            if (stopRequested) return 0;
            pollfd p[2] = {{master_, POLLIN, 0}, {receiverMaster_, POLLIN, 0}};
            const int count = receiverMaster_ >= 0 ? 2 : 1;
            if (poll(p, count, 50) < 0) continue;
            if (p[0].revents & POLLIN) {
                char buffer[4096];
                const ssize_t n = read(master_, buffer, sizeof buffer);
                if (n > 0) input(std::string(buffer, static_cast<std::size_t>(n)));
            }
            if (count == 2 && (p[1].revents & (POLLIN | POLLHUP | POLLERR))) {
                char buffer[4096];
                const ssize_t n = read(receiverMaster_, buffer, sizeof buffer);
                if (n > 0) {
                    relay(std::string(buffer, static_cast<std::size_t>(n)));
                } else {
                    receiverEnded();
                }
            }
            if (receiverPid_ > 0) {
                int status = 0;
                if (waitpid(receiverPid_, &status, WNOHANG) == receiverPid_) {
                    receiverPid_ = -1;
                    drainReceiver();
                    receiverEnded();
                }
            }
            if (hangUp_) return 0;
            if (pendingBannerAt_ && NowMs() >= pendingBannerAt_) {
                pendingBannerAt_ = 0;
                say(" Wed Dec  9 06:00:00 2026 on ttyS0\r\nWelcome to the KSR recorder\r\n" +
                    prompt());
            }
            if (pendingLoginAt_ && NowMs() >= pendingLoginAt_) {
                pendingLoginAt_ = 0;
                say(o_.capitals ? "\r\nKSR LOGIN: "
                                : std::string("\r\nksr ") + console::LoginPrompt + " ");
                state_ = State::User;
            }
            // After the last answer, stay a moment: closing the line at once would drop it.
            if (done_ && doneAt_ == 0) doneAt_ = NowMs();
            if (done_ && NowMs() - doneAt_ > 2000) return 0;
        }
    }

  private:
    enum class State { Console, User, Password, Shell, Receiving, DeadReceiver, EndlessSender };

    void record(const char* what, const std::string& bytes) {
        if (!log_.is_open()) return;
        log_ << NowMs() << ' ' << what << ' ';
        for (unsigned char c : bytes) {
            if (c >= 32 && c < 127 && c != '\\')
                log_ << c;
            else {
                char hex[8];
                std::snprintf(hex, sizeof hex, "\\x%02X", c);
                log_ << hex;
            }
        }
        log_ << '\n' << std::flush;
    }

    void write(const char* bytes, std::size_t n) {
        std::size_t done = 0;
        while (done < n) {
            const ssize_t w = ::write(master_, bytes + done, n - done);
            if (w <= 0) break;
            done += static_cast<std::size_t>(w);
        }
    }

    // The Kermit program's output onto the line, with the noise asked for.
    void relay(std::string bytes) {
        if (o_.lineNoise && sending_) {
            const std::size_t from = relayed_;
            relayed_ += bytes.size();
            if (from <= 300 && 300 < relayed_) bytes[300 - from] ^= static_cast<char>(0x80);
            if (from <= 700 && 700 < relayed_) bytes.insert(700 - from, "\xB0\x81\xC3\xFF\x95");
        }
        write(bytes.data(), bytes.size());
    }

    void say(const std::string& text) {
        record("OUT", text);
        write(text.data(), text.size());
    }

    std::string prompt() const {
        return cwd_ == console::Folder ? std::string("root@ksr:") + console::Folder + "# "
                                       : "root@ksr:~# ";
    }

    void askLogin() {
        if (o_.noLogin) return;
        if (ignoredWakeups_ < o_.ignoreWakeups) {
            ++ignoredWakeups_;
            return;
        }
        pendingLoginAt_ = NowMs() + o_.loginDelayMs;
        if (o_.loginDelayMs == 0) pendingLoginAt_ = NowMs();
    }

    void input(const std::string& bytes) {
        record("IN", bytes);
        if (state_ == State::Receiving) {
            if (::write(receiverMaster_, bytes.data(), bytes.size()) < 0) receiverEnded();
            return;
        }
        if (state_ == State::DeadReceiver) return;
        if (state_ == State::EndlessSender) {
            endlessSender(bytes);
            return;
        }
        for (char c : bytes) {
            if (c == 0x03) {
                line_.clear();
                if (state_ == State::Shell) {
                    say("^C\r\n" + prompt());
                } else {
                    say("^C");
                    askLogin();
                }
                continue;
            }
            if (c == '\r' || c == '\n') {
                if (state_ != State::Password) say("\r\n");
                const std::string entered = line_;
                line_.clear();
                command(entered);
                continue;
            }
            line_ += c;
            if (state_ != State::Password && state_ != State::Console)
                say(std::string(1, c));  // echo
        }
    }

    void command(const std::string& entered) {
        switch (state_) {
            case State::Console:
                askLogin();
                break;
            case State::User:
                say(std::string(console::PasswordPrompt) + " ");
                state_ = State::Password;
                break;
            case State::Password:
                if (entered == o_.password) {
                    state_ = State::Shell;
                    cwd_ = "/root";
                    if (o_.slowBanner) {
                        say("\r\nWarning: system clock incorrect\r\nLast login:");
                        pendingBannerAt_ = NowMs() + 600;
                        break;
                    }
                    say("\r\nWelcome to the KSR recorder\r\n" + prompt());
                } else {
                    say(std::string("\r\n") + console::Refusal + "\r\n");
                    state_ = State::Console;
                    askLogin();
                }
                break;
            case State::Shell:
                shell(entered);
                break;
            default:
                break;
        }
    }

    void shell(const std::string& entered) {
        const std::string sendCommand =
            std::string(console::SendRecorderIni).substr(0, 10);  // "kermit -s "
        if (entered == console::ChangeDirectory) {
            cwd_ = console::Folder;
        } else if (entered == console::StartReceiver) {
            startReceiver();
            return;
        } else if (entered.rfind(sendCommand, 0) == 0 && o_.endlessSender) {
            state_ = State::EndlessSender;
            packets_ = ksr::kermit::PacketReader{};
            lastPacket_ = ksr::kermit::Packet(0, 'S', "~* @-#Y1~");
            say(lastPacket_);
            return;
        } else if (entered.rfind(sendCommand, 0) == 0) {
            if (startSender(entered.substr(sendCommand.size()))) return;
        } else if (entered == console::Reconfigure) {
            char stamp[32];
            const std::time_t now = std::time(nullptr);
            std::strftime(stamp, sizeof stamp, "%Y%m%d_%H%M%S", std::gmtime(&now));
            say(std::string("reconfiguring...\r\n") + console::NewDataFile + " /data/" + stamp +
                ".dat\r\n");
            if (o_.once) done_ = true;
        } else if (entered.rfind(std::string(console::Cksum) + " ", 0) == 0 && !o_.noCksum) {
            say(Cksum(Unquoted(entered.substr(std::string(console::Cksum).size() + 1))));
        } else if (entered == console::Logout || entered == "exit") {
            state_ = State::Console;
            nextRecorder();
            askLogin();
            return;
        } else if (!entered.empty() && entered.front() != '#') {  // '#': a comment
            say("sh: " + entered + ": not found\r\n");
        }
        say(prompt());
    }

    // The operator moves the cable to the next recorder: its own folder, nothing uploaded yet.
    void nextRecorder() {
        if (next_ >= o_.then.size()) return;
        o_.dir = o_.then[next_++];
        o_.current.clear();
        uploaded_ = false;
        cwd_ = "/root";
    }

    // The word as the shell passes it on: one pair of single quotes taken off.
    static std::string Unquoted(const std::string& word) {
        if (word.size() >= 2 && word.front() == '\'' && word.back() == '\'')
            return word.substr(1, word.size() - 2);
        return word;
    }

    // What a Linux shell's cksum prints for a file of the recorder's software folder.
    std::string Cksum(const std::string& path) const {
        std::string name = path;
        const std::string folder = std::string(console::Folder) + "/";
        if (name.rfind(folder, 0) == 0)
            name.erase(0, folder.size());
        else if (cwd_ != console::Folder || name.find('/') != std::string::npos)
            return "cksum: " + path + ": No such file or directory\r\n";
        std::ifstream in(o_.dir + "/" + name, std::ios::binary);
        if (!in) return "cksum: " + path + ": No such file or directory\r\n";
        const std::string bytes((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
        return std::to_string(ksr::upload::PosixCksum(bytes)) + " " + std::to_string(bytes.size()) +
               " " + path + "\r\n";
    }

    // A hostile sender: after the file header, data packets without data, each as the answer
    // to the acknowledgement of the one before; an error packet ends it.
    void endlessSender(const std::string& bytes) {
        using ksr::kermit::KermitSender;
        packets_.add(bytes.data(), bytes.size());
        ksr::kermit::RawPacket p;
        while (packets_.next(p)) {
            if (p.checkOk && p.type == 'E') {
                state_ = State::Shell;
                say("\r\n" + prompt());
                return;
            }
            if (p.checkOk && p.type == 'Y')
                lastPacket_ = ksr::kermit::Packet((p.seq + 1) % 64, p.seq == 0 ? 'F' : 'D',
                                                  p.seq == 0 ? "RECORDER.INI" : "");
            say(lastPacket_);
        }
    }

    void startReceiver() {
        if (o_.deadReceiver) {
            state_ = State::DeadReceiver;
            return;
        }
        sending_ = false;
        if (o_.receiver == "ckermit")
            // C-Kermit as the recorder runs it: "kermit -r" on its own controlling terminal
            // (-Y: no init file of this machine's user).
            startKermit({"kermit", "-Y", "-r"});
        else
            startKermit({"gkermit", "-r", "-i", "-w"});
    }

    // "kermit -s NAME" in the software folder: the file the last upload left there, or
    // --current before any upload; "?File not found" without one.
    bool startSender(const std::string& name) {
        // The Kermit program runs in --dir; --current is an absolute path.
        std::string path = name;
        if (!o_.current.empty() && !uploaded_ && name == "recorder.ini") path = o_.current;
        const std::string there = path == name ? o_.dir + "/" + name : path;
        if (cwd_ != console::Folder || name.find('/') != std::string::npos ||
            access(there.c_str(), R_OK) != 0) {
            say("?File not found - " + name + "\r\n");
            return false;
        }
        sending_ = true;
        if (o_.receiver == "ckermit")
            startKermit({"kermit", "-Y", "-i", "-s", path});
        else
            startKermit({"gkermit", "-i", "-s", path});
        return true;
    }

    void startKermit(std::vector<std::string> argv) {
        endReceiver();  // the Kermit of the transfer before, reaped
        termios raw{};
        cfmakeraw(&raw);
        int slave = -1;
        if (openpty(&receiverMaster_, &slave, nullptr, &raw, nullptr) != 0) return;
        receiverPid_ = fork();
        if (receiverPid_ == 0) {
            prctl(PR_SET_PDEATHSIG, SIGTERM);  // never outlives the simulator
            setsid();
            ioctl(slave, TIOCSCTTY, 0);
            dup2(slave, 0);
            dup2(slave, 1);
            const int null = open("/dev/null", O_WRONLY);
            dup2(null, 2);
            if (chdir(o_.dir.c_str()) != 0) _exit(126);
            std::vector<char*> args;
            for (auto& a : argv) args.push_back(a.data());
            args.push_back(nullptr);
            execvp(args[0], args.data());
            _exit(127);
        }
        close(slave);
        state_ = State::Receiving;
    }

    void endReceiver() {
        if (receiverPid_ <= 0) return;
        kill(receiverPid_, SIGTERM);
        for (int i = 0; i < 50; ++i) {
            if (waitpid(receiverPid_, nullptr, WNOHANG) == receiverPid_) {
                receiverPid_ = -1;
                return;
            }
            usleep(10000);
        }
        kill(receiverPid_, SIGKILL);
        waitpid(receiverPid_, nullptr, 0);
        receiverPid_ = -1;
    }

    void drainReceiver() {
        if (receiverMaster_ < 0) return;
        pollfd p{receiverMaster_, POLLIN, 0};
        char buffer[4096];
        while (poll(&p, 1, 20) > 0) {
            const ssize_t n = read(receiverMaster_, buffer, sizeof buffer);
            if (n <= 0) break;
            relay(std::string(buffer, static_cast<std::size_t>(n)));
        }
    }

    void receiverEnded() {
        if (receiverMaster_ >= 0) close(receiverMaster_);
        receiverMaster_ = -1;
        if (state_ == State::Receiving && !sending_) uploaded_ = true;
        if (state_ == State::Receiving && !sending_ && o_.hangUpAfterTransfer) hangUp_ = true;
        if (state_ == State::Receiving && !sending_ && o_.damageReceived) {
            std::ofstream damaged(o_.dir + "/recorder.ini", std::ios::app | std::ios::binary);
            damaged << "x";
        }
        if (state_ == State::Receiving) {
            state_ = State::Shell;
            say("\r\n" + prompt());
        }
    }

    Options o_;
    std::ofstream log_;
    int master_ = -1, slave_ = -1;
    int receiverMaster_ = -1;
    pid_t receiverPid_ = -1;
    State state_ = State::Console;
    std::string line_;
    std::string cwd_ = "/root";
    long long pendingLoginAt_ = 0;
    int ignoredWakeups_ = 0;
    bool done_ = false;
    long long doneAt_ = 0;
    bool sending_ = false;   // the Kermit program running sends (else it receives)
    bool uploaded_ = false;  // a receive has ended since the start
    bool hangUp_ = false;
    std::size_t relayed_ = 0;  // bytes the sending Kermit put on the line
    std::size_t next_ = 0;     // of --then
    long long pendingBannerAt_ = 0;
    ksr::kermit::PacketReader packets_;
    std::string lastPacket_;
};

}  // namespace

int main(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "%s needs a value\n%s", a.c_str(), kUsage);
                std::exit(2);
            }
            return argv[++i];
        };
        if (a == "--dir")
            o.dir = value();
        else if (a == "--current")
            o.current = std::filesystem::absolute(value()).string();  // the Kermit runs in --dir
        else if (a == "--log")
            o.log = value();
        else if (a == "--wrong-password")
            o.password = "not-the-one-sent";
        else if (a == "--caps")
            o.capitals = true;
        else if (a == "--login-delay")
            o.loginDelayMs = std::atoi(value().c_str());
        else if (a == "--ignore-wakeups")
            o.ignoreWakeups = std::atoi(value().c_str());
        else if (a == "--no-login")
            o.noLogin = true;
        else if (a == "--receiver") {
            o.receiver = value();
            if (o.receiver != "gkermit" && o.receiver != "ckermit") {
                std::fprintf(stderr, "--receiver takes gkermit or ckermit\n%s", kUsage);
                return 2;
            }
        } else if (a == "--damage-received")
            o.damageReceived = true;
        else if (a == "--no-cksum")
            o.noCksum = true;
        else if (a == "--dead-receiver")
            o.deadReceiver = true;
        else if (a == "--then")
            o.then.push_back(value());
        else if (a == "--once")
            o.once = true;
        else if (a == "--hang-up-after-transfer")
            o.hangUpAfterTransfer = true;
        else if (a == "--slow-banner")
            o.slowBanner = true;
        else if (a == "--endless-sender")
            o.endlessSender = true;
        else if (a == "--line-noise")
            o.lineNoise = true;
        else if (a == "--help" || a == "-h") {
            std::printf("%s", kUsage);
            return 0;
        } else {
            std::fprintf(stderr, "unknown option %s\n%s", a.c_str(), kUsage);
            return 2;
        }
    }
    // Every upload into a folder that is not there would fail: say so now.
    std::error_code ec;
    if (!std::filesystem::is_directory(o.dir, ec)) {
        std::fprintf(stderr, "ksr-recorder-sim: --dir %s is no folder\n", o.dir.c_str());
        return 2;
    }
    signal(SIGPIPE, SIG_IGN);
    struct sigaction stop {};
    stop.sa_handler = OnStop;
    sigaction(SIGTERM, &stop, nullptr);
    sigaction(SIGINT, &stop, nullptr);
    sigaction(SIGHUP, &stop, nullptr);
    Simulator sim(o);
    return sim.run();
}
