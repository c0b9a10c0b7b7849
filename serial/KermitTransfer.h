#pragma once
// Drives the Kermit engine from the serial port and a timer: received bytes in, ticks of 55 ms,
// packets out. The upload page starts it and polls InProgress and ProtocolStatus.

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <filesystem>

#include "kermit/KermitSender.h"
#include "serial/SerialPort.h"

namespace ksr::serial {

class KermitTransfer : public QObject {
    Q_OBJECT
  public:
    KermitTransfer(SerialPort& port, QObject* parent = nullptr);

    // Sends the "*.ini" files of `directory`; returns at once, the transfer runs on events.
    void StartTransmit(const std::filesystem::path& directory);
    // Sends these files, as read before the line was touched.
    void StartTransmit(std::vector<kermit::SendFile> files);
    void setAnswerTicks(int ticks) { engine_.setAnswerTicks(ticks); }
    // Ends a running transfer; the receiver is told with an error packet.
    void cancel(const std::string& reason);
    bool InProgress() const { return engine_.InProgress(); }
    std::uint16_t ProtocolStatus() const { return engine_.ProtocolStatus(); }
    const kermit::KermitSender& engine() const { return engine_; }
    // "1234 of 5678 bytes"
    QString progressText() const;

  signals:
    void progress();
    void finished(std::uint16_t status);

  private:
    void pump();
    void onTick();
    void end();

    SerialPort& port_;
    kermit::KermitSender engine_;
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 ticksGiven_ = 0;
};

}  // namespace ksr::serial
