// The window's start-up against a minimal Qt window's (bench-start-minimal), each a fresh process
// on the same display: from the spawn to the first frame painted (the programs report it, see
// ui/FirstFrame.h). Runs both in turn and prints the medians and `start ours/minimal R`.
// Usage: bench-start [RUNS] MINIMAL KSR-SETUP FOLDER        (under a display, e.g. xvfb-run)
//        bench-start --wine [RUNS] MINIMAL.exe KSR-SETUP.exe FOLDER
// With --wine both run under Wine, with Qt's windows platform, and the frame counts when its
// report arrives (a Windows program's clock is not this one's).

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

long long NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

bool underWine = false;

// Milliseconds from the spawn of `argv` to its first frame; -1 when it reported none.
double TimeToFirstFrame(std::vector<std::string> argv) {
    if (underWine) {
        // Wine hands no QT_* variable on: the platform goes through the Windows environment.
        // Paths as Windows writes them, without blanks (cmd would take quotes literally here).
        std::string command = "set QT_QPA_PLATFORM=windows&&";
        for (std::string a : argv) {
            std::replace(a.begin(), a.end(), '/', '\\');
            command += " " + a;
        }
        argv = {"/usr/bin/wine", "cmd", "/c", command};
    }
    int pipeFds[2];
    if (pipe(pipeFds) != 0) return -1;
    const long long start = NowNs();
    const pid_t child = fork();
    if (child == 0) {
        dup2(pipeFds[1], 2);
        close(pipeFds[0]);
        setenv("KSR_REPORT_FIRST_FRAME", "1", 1);
        std::vector<char*> args;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    close(pipeFds[1]);
    // A program that reports no frame within 30 s is ended.
    const pid_t watchdog = fork();
    if (watchdog == 0) {
        sleep(30);
        kill(child, SIGKILL);
        _exit(0);
    }
    std::string text;
    char buffer[512];
    long long arrived = 0;
    for (ssize_t n; (n = read(pipeFds[0], buffer, sizeof buffer)) > 0;) {
        text.append(buffer, static_cast<std::size_t>(n));
        if (!arrived && text.find("first-frame ") != std::string::npos) arrived = NowNs();
    }
    close(pipeFds[0]);
    waitpid(child, nullptr, 0);
    kill(watchdog, SIGKILL);
    waitpid(watchdog, nullptr, 0);
    const auto at = text.find("first-frame ");
    if (at == std::string::npos) return -1;
    const long long frame = underWine ? arrived : std::atoll(text.c_str() + at + 12);
    return static_cast<double>(frame - start) / 1e6;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (!args.empty() && args.front() == "--wine") {
        underWine = true;
        args.erase(args.begin());
    }
    if (args.size() < 3) {
        std::fprintf(stderr, "usage: bench-start [--wine] [RUNS] MINIMAL KSR-SETUP FOLDER\n");
        return 2;
    }
    const int runs = args.size() > 3 ? std::atoi(args[0].c_str()) : 15;
    const std::string minimalProgram = args[args.size() - 3], ours = args[args.size() - 2],
                      folder = args[args.size() - 1];
    std::vector<double> minimal, window;
    // One of each first, not counted: the files are then in the page cache for both.
    TimeToFirstFrame({minimalProgram});
    TimeToFirstFrame({ours, folder});
    for (int i = 0; i < runs; ++i) {
        const double m = TimeToFirstFrame({minimalProgram});
        const double w = TimeToFirstFrame({ours, folder});
        if (m < 0 || w < 0) {
            std::fprintf(stderr, "no first frame reported (is there a display?)\n");
            return 1;
        }
        minimal.push_back(m);
        window.push_back(w);
    }
    std::printf("minimal window: median %.1f ms (%.1f..%.1f) over %d starts\n", Median(minimal),
                *std::min_element(minimal.begin(), minimal.end()),
                *std::max_element(minimal.begin(), minimal.end()), runs);
    std::printf("ksr-setup:      median %.1f ms (%.1f..%.1f) over %d starts\n", Median(window),
                *std::min_element(window.begin(), window.end()),
                *std::max_element(window.begin(), window.end()), runs);
    std::printf("start ours/minimal %.2f\n", Median(window) / Median(minimal));
    return 0;
}
