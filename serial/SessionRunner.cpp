#include "serial/SessionRunner.h"

#include <algorithm>
#include <chrono>

#include "upload/SessionHost.h"

namespace ksr::serial {

void LineForSession::write(const std::string& bytes) {
    line_.write(bytes);
}

void LineForSession::flushInput() {
    line_.flushInput();
}

bool LineForSession::clearToSend() {
    return line_.clearToSend();
}

void RunSession(SerialLine& line, upload::UploadSession& session, const SessionHooks& hooks) {
    const auto start = std::chrono::steady_clock::now();
    auto now = [&] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now() - start)
            .count();
    };
    LineForSession port(line);
    upload::SessionHost host(session, port,
                             {hooks.console, hooks.status, nullptr, hooks.progress, nullptr});
    bool stopped = false;
    host.start(now());
    while (!host.done()) {
        if (!stopped && hooks.stopRequested()) {
            stopped = true;
            host.stop(now());
            continue;
        }
        const long long wake = host.wakeAt();
        const int wait =
            static_cast<int>(std::clamp<long long>(wake < 0 ? 20 : wake - now(), 0, 20));
        std::string bytes;
        try {
            bytes = line.read(wait);
        } catch (const SerialError& e) {
            // A line that has failed ends the session at once, whatever step it is in.
            host.lineFailed(e.message(), now());
            continue;
        }
        if (!bytes.empty())
            host.received(bytes, now());
        else
            host.wake(now());
    }
}

}  // namespace ksr::serial
