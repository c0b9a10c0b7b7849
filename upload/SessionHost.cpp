#include "upload/SessionHost.h"

#include <utility>

#include "setup/Errors.h"

namespace ksr::upload {

SessionHost::SessionHost(UploadSession& session, HostLine& line, HostHooks hooks)
    : session_(session), line_(line), hooks_(std::move(hooks)) {}

void SessionHost::start(long long now) {
    session_.start(now);
    pump(now);
}

void SessionHost::received(const std::string& bytes, long long now) {
    if (bytes.empty()) return;
    const bool console = !session_.inTransfer();
    session_.received(bytes, now);
    if (console && hooks_.console) hooks_.console(bytes);
    wake(now);
}

void SessionHost::wake(long long now) {
    session_.advance(now, line_.clearToSend());
    pump(now);
}

void SessionHost::lineFailed(const std::string& why, long long now) {
    session_.lineFailed(why, now);
    pump(now);
}

void SessionHost::escape(long long now) {
    session_.escape();
    pump(now);
}

void SessionHost::stop(long long now) {
    session_.stop(now);
    pump(now);
}

void SessionHost::transferPolled(long long now) {
    session_.transferPolled(now);
    wake(now);
}

void SessionHost::pump(long long now) {
    for (bool more = true; more;) {
        more = false;
        for (const LineAction& a : session_.takeActions()) {
            try {
                if (a.flushInput)
                    line_.flushInput();
                else
                    line_.write(a.bytes);
            } catch (const KsrError& e) {
                // The session ends; its failure's status comes with the next round.
                session_.lineFailed(e.message(), now);
                session_.takeActions();
                more = true;
                break;
            }
        }
        for (const StatusChange& s : session_.takeStatuses())
            if (hooks_.status) hooks_.status(s.kind, s.text);
    }
    if (session_.transferStarted() && !transferShown_) {
        transferShown_ = true;
        if (hooks_.transferStarted) hooks_.transferStarted();
    }
    if (session_.sender().bytesDone() != doneShown_) {
        doneShown_ = session_.sender().bytesDone();
        if (hooks_.progress) hooks_.progress();
    }
    if (session_.done() && !finishedShown_) {
        finishedShown_ = true;
        if (hooks_.finished) hooks_.finished();
    }
}

}  // namespace ksr::upload
