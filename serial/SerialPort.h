#pragma once
// The serial port to the recorder: 9600 baud, 8N1, RTS/CTS hardware flow control, DTR off.
// Received bytes go to the terminal view and to WaitForString, or, while a Kermit transfer
// runs, to the transfer alone.

#include <QByteArray>
#include <QObject>
#include <QSerialPort>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "setup/Errors.h"

namespace ksr::serial {

class SerialError : public KsrError {
  public:
    explicit SerialError(const std::string& message) : KsrError(message) {}
};

// The message for a port that would not open: names the device, says what to do.
QString OpenErrorText(QSerialPort::SerialPortError error, const QString& systemText,
                      const QString& device);

class SerialPort : public QObject {
    Q_OBJECT
  public:
    static constexpr int TickMs = 55;

    explicit SerialPort(QObject* parent = nullptr);

    // COM n as numbered by PortList; 0 asks the operator through `chooser`. An open port on
    // another number is closed and opened again on the new one.
    void setPortNumber(int number);
    int portNumber() const { return number_; }
    // A device path to use instead of the numbered port (a port the list cannot show, such as
    // the recorder simulator's pseudo-terminal).
    void setDevice(const QString& device);
    QString device() const { return port_.portName(); }
    // The device path the port was last opened on, as it was given or chosen.
    QString openedDevice() const { return openedDevice_; }
    // Asked when the port number does not name a present port: the device to use, or none to
    // cancel the open.
    void setChooser(std::function<std::optional<QString>()> chooser) {
        chooser_ = std::move(chooser);
    }

    bool isOpen() const { return port_.isOpen(); }
    // Throws SerialError with a clear text when the port cannot be opened.
    void open();
    void close();

    void FlushInBuffer();
    void PutString(const QByteArray& text);
    // Reads until `text` has arrived (case ignored) or the ticks have passed, processing the
    // window's events meanwhile.
    bool WaitForString(const QByteArray& text, int ticks);
    bool ClearToSend();
    // RTS is the receive handshake: a request to drive it is ignored.
    void SetRts(bool on);

    // Bytes received since the program started, and the last of them, whoever took them.
    std::uint64_t receivedCount() const { return receivedCount_; }
    std::string receivedTail() const { return tail_.toStdString(); }

    // While set, every received byte goes to `receiver` only.
    void setReceiver(std::function<void(const QByteArray&)> receiver) {
        receiver_ = std::move(receiver);
    }

  signals:
    // Bytes received while no exclusive receiver is set.
    void received(const QByteArray& bytes);
    // The line failed (the far end closed, the adapter was pulled).
    void lineError(const QString& text);

  private:
    void readAvailable();
    QString resolveDevice();

    QSerialPort port_;
    int number_ = 1;
    QString explicitDevice_;
    QString openedDevice_;
    QByteArray pending_;
    QByteArray tail_;
    std::uint64_t receivedCount_ = 0;
    std::function<void(const QByteArray&)> receiver_;
    std::function<std::optional<QString>()> chooser_;
};

}  // namespace ksr::serial
