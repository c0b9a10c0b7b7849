#pragma once
// Runs an upload session on a SerialLine without Qt: each turn waits on the line until bytes come
// or the session wants to be woken, so a prompt is acted on when it arrives. The command line
// uploads with it.

#include <functional>
#include <string>

#include "serial/SerialLine.h"
#include "upload/SessionHost.h"
#include "upload/UploadSession.h"

namespace ksr::serial {

struct SessionHooks {
    std::function<void(const std::string&)> console;  // the recorder's console output
    std::function<void(upload::StatusKind, const std::string&)> status;
    std::function<void()> progress;       // more of the files acknowledged
    std::function<bool()> stopRequested;  // looked at every 20 ms at least
};

// A SerialLine as the session's host sees it.
class LineForSession : public upload::HostLine {
  public:
    explicit LineForSession(SerialLine& line) : line_(line) {}
    void write(const std::string& bytes) override;
    void flushInput() override;
    bool clearToSend() override;

  private:
    SerialLine& line_;
};

// The line must be open. Returns when the session is done.
void RunSession(SerialLine& line, upload::UploadSession& session, const SessionHooks& hooks);

}  // namespace ksr::serial
