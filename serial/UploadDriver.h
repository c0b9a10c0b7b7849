#pragma once
// Runs an upload session on the serial port and a timer: received bytes and the time in, bytes
// out, nothing that blocks. The window and the command line drive their uploads with it.

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <memory>

#include "serial/SerialPort.h"
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
    void step();

    SerialPort& port_;
    std::unique_ptr<upload::UploadSession> session_;
    QTimer timer_;
    QElapsedTimer clock_;
    bool transferShown_ = false;
    std::uint64_t doneShown_ = 0;
};

}  // namespace ksr::serial
