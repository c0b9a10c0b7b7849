#include "serial/StopSignals.h"

#include <array>
#include <atomic>
#include <csignal>

#ifndef _WIN32
#include <signal.h>
#endif

namespace ksr::serial {
namespace {

std::atomic<int> stopSignal{0};

extern "C" void OnStopSignal(int signalNumber) {
    stopSignal = signalNumber;
#ifdef _WIN32
    std::signal(signalNumber, OnStopSignal);  // the CRT resets a handler once it has run
#endif
}

#ifdef _WIN32
constexpr std::array<int, 3> kSignals{SIGINT, SIGTERM, SIGBREAK};
std::array<void (*)(int), 3> previous{};
#else
constexpr std::array<int, 3> kSignals{SIGINT, SIGTERM, SIGHUP};
std::array<struct sigaction, 3> previous{};
struct sigaction previousPipe {};
#endif

}  // namespace

StopSignals::StopSignals() {
    stopSignal = 0;
#ifdef _WIN32
    for (std::size_t i = 0; i < kSignals.size(); ++i)
        previous[i] = std::signal(kSignals[i], OnStopSignal);
#else
    struct sigaction stop {};
    stop.sa_handler = OnStopSignal;
    sigemptyset(&stop.sa_mask);
    for (std::size_t i = 0; i < kSignals.size(); ++i) sigaction(kSignals[i], &stop, &previous[i]);
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGPIPE, &ignore, &previousPipe);
#endif
}

StopSignals::~StopSignals() {
#ifdef _WIN32
    for (std::size_t i = 0; i < kSignals.size(); ++i) std::signal(kSignals[i], previous[i]);
#else
    for (std::size_t i = 0; i < kSignals.size(); ++i) sigaction(kSignals[i], &previous[i], nullptr);
    sigaction(SIGPIPE, &previousPipe, nullptr);
#endif
}

int StopSignals::received() {
    return stopSignal;
}

}  // namespace ksr::serial
