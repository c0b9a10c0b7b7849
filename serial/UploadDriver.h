#pragma once
// Runs an upload session in the window's event loop: the port's bytes and one single-shot timer
// move it through the session's one host (upload/SessionHost), nothing that blocks.

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <memory>

#include "serial/SerialPort.h"
#include "upload/SessionHost.h"
#include "upload/UploadSession.h"

namespace ksr::serial {

class UploadDriver : public QObject {
    Q_OBJECT
  public:
    explicit UploadDriver(SerialPort& port, QObject* parent = nullptr);
    ~UploadDriver() override;

    // Opens the port when it is not open (throws SerialError when it will not) and runs the
    // session from there on the event loop.
    void start(std::unique_ptr<upload::UploadSession> session);
    bool running() const { return session_ && !session_->done(); }
    // The session last started, or none.
    const upload::UploadSession* session() const { return session_.get(); }

    void escape();
    void stop();
    void transferPolled();

  signals:
    void status(upload::StatusKind kind, const QString& text);
    void transferStarted();
    void progress();
    void finished();

  private:
    long long now() const { return clock_.elapsed(); }
    // The timer set to the session's next wake-up.
    void schedule();

    SerialPort& port_;
    std::unique_ptr<upload::UploadSession> session_;
    std::unique_ptr<upload::SessionHost> host_;
    // The session before, kept until the next start: its end may start a new one from inside
    // its own host.
    std::unique_ptr<upload::UploadSession> lastSession_;
    std::unique_ptr<upload::SessionHost> lastHost_;
    QTimer timer_;
    QElapsedTimer clock_;
};

}  // namespace ksr::serial
