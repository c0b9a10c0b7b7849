#pragma once
// What every host of an upload session does, once: hands the session the bytes and the time,
// puts its actions on the line, passes its status texts and progress on, and tells when it has
// ended. A write that fails is a failed line. The window's event loop, the command line's wait
// on the line and the tests' fake clock each only decide when to call it.

#include <cstdint>
#include <functional>
#include <string>

#include "upload/UploadSession.h"

namespace ksr::upload {

// The line as the session needs it. A write that fails throws KsrError with the reason.
class HostLine {
  public:
    virtual ~HostLine() = default;
    virtual void write(const std::string& bytes) = 0;
    virtual void flushInput() = 0;
    virtual bool clearToSend() = 0;
};

struct HostHooks {
    std::function<void(const std::string&)> console;  // the recorder's console output
    std::function<void(StatusKind, const std::string&)> status;
    std::function<void()> transferStarted;
    std::function<void()> progress;  // more of the files acknowledged
    std::function<void()> finished;  // once, when the session is done
};

class SessionHost {
  public:
    SessionHost(UploadSession& session, HostLine& line, HostHooks hooks);

    // The port has just been opened.
    void start(long long now);
    // Bytes from the line: the console's go to the console hook, the transfer's do not.
    void received(const std::string& bytes, long long now);
    // Time has passed: the session acts when its wake-up time has come.
    void wake(long long now);
    void lineFailed(const std::string& why, long long now);
    void escape(long long now);
    void stop(long long now);
    void transferPolled(long long now);

    // When to call wake() next; -1 while only bytes or a request can move the session.
    long long wakeAt() const { return session_.wakeAt(); }
    bool done() const { return session_.done(); }

  private:
    // Puts what the session asked for on the line and passes its news on.
    void pump(long long now);

    UploadSession& session_;
    HostLine& line_;
    HostHooks hooks_;
    bool transferShown_ = false;
    bool finishedShown_ = false;
    std::uint64_t doneShown_ = 0;
};

}  // namespace ksr::upload
