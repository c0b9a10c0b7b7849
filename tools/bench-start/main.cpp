// The window's start-up against a minimal Qt window's, each a fresh process on the same display:
// from the spawn to the first frame painted (the programs report it, see ui/FirstFrame.h). Runs
// both in turn and prints the medians and `start ours/minimal R`.
// Usage: bench-start [RUNS] KSR-SETUP FOLDER     (under a display, e.g. xvfb-run)
//        bench-start --minimal                   (the minimal window itself)

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QStyleFactory>
#include <QWidget>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "ui/FirstFrame.h"

namespace {

long long NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Milliseconds from the spawn of `argv` to its first frame; -1 when it reported none.
double TimeToFirstFrame(const std::vector<std::string>& argv) {
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
    for (ssize_t n; (n = read(pipeFds[0], buffer, sizeof buffer)) > 0;)
        text.append(buffer, static_cast<std::size_t>(n));
    close(pipeFds[0]);
    waitpid(child, nullptr, 0);
    kill(watchdog, SIGKILL);
    waitpid(watchdog, nullptr, 0);
    const auto at = text.find("first-frame ");
    if (at == std::string::npos) return -1;
    return static_cast<double>(std::atoll(text.c_str() + at + 12) - start) / 1e6;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::string(argv[1]) == "--minimal") {
        // As plain as a Qt window gets, with the window's style and size.
        QApplication app(argc, argv);
        QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
        QWidget window;
        window.resize(712, 794);
        ksr::ui::ReportFirstFrameIfAsked(&window);
        window.show();
        return app.exec();
    }
    if (argc < 3) {
        std::fprintf(stderr, "usage: bench-start [RUNS] KSR-SETUP FOLDER\n");
        return 2;
    }
    const int runs = argc > 3 ? std::atoi(argv[1]) : 15;
    const std::string ours = argv[argc - 2], folder = argv[argc - 1];
    char self[4096] = {};
    if (readlink("/proc/self/exe", self, sizeof self - 1) <= 0) return 1;
    std::vector<double> minimal, window;
    // One of each first, not counted: the files are then in the page cache for both.
    TimeToFirstFrame({self, "--minimal"});
    TimeToFirstFrame({ours, folder});
    for (int i = 0; i < runs; ++i) {
        const double m = TimeToFirstFrame({self, "--minimal"});
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
