#include "serial/SessionRunner.h"

#include <algorithm>
#include <chrono>

namespace ksr::serial {

void RunSession(SerialLine& line, upload::UploadSession& session, const SessionHooks& hooks) {
    const auto start = std::chrono::steady_clock::now();
    auto now = [&] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now() - start)
            .count();
    };
    std::uint64_t doneShown = 0;
    bool stopped = false;
    session.start(now());
    // A line that has failed ends the session at once, whatever step it is in.
    auto failed = [&](const SerialError& e) { session.lineFailed(e.message(), now()); };
    for (;;) {
        for (const upload::LineAction& a : session.takeActions()) {
            try {
                if (a.flushInput)
                    line.flushInput();
                else
                    line.write(a.bytes);
            } catch (const SerialError& e) {
                failed(e);
            }
        }
        for (const upload::StatusChange& s : session.takeStatuses()) hooks.status(s.kind, s.text);
        if (session.sender().bytesDone() != doneShown) {
            doneShown = session.sender().bytesDone();
            hooks.progress();
        }
        if (session.done()) return;
        if (!stopped && hooks.stopRequested()) {
            stopped = true;
            session.stop(now());
            continue;
        }
        const long long wake = session.wakeAt();
        const int wait =
            static_cast<int>(std::clamp<long long>(wake < 0 ? 20 : wake - now(), 0, 20));
        std::string bytes;
        try {
            bytes = line.read(wait);
        } catch (const SerialError& e) {
            failed(e);
            continue;
        }
        if (!bytes.empty()) {
            const bool console = !session.inTransfer();
            session.received(bytes, now());
            if (console) hooks.console(bytes);
        }
        session.advance(now(), line.clearToSend());
    }
}

}  // namespace ksr::serial
