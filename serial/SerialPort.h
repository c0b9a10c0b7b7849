#pragma once
// The serial port to the recorder: 9600 baud, 8N1, RTS/CTS hardware flow control, DTR off.
// Received bytes go to the terminal view, and while an upload runs to the upload first, which
// keeps the Kermit transfer's packets to itself.

#include <QByteArray>
#include <QObject>
#include <QSerialPort>
#include <functional>
#include <optional>
#include <string>

#include "serial/SerialLine.h"

namespace ksr::serial {

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
    // Queues the bytes for sending and returns at once.
    void PutString(const QByteArray& text);
    // RTS is the receive handshake, which the port keeps: there is no request to drive it.
    bool ClearToSend();

    // While set, received bytes go to `receiver` first; they are the console's too (and go on
    // to received()) when it says so.
    void setReceiver(std::function<bool(const QByteArray&)> receiver) {
        receiver_ = std::move(receiver);
    }

  signals:
    // The console's bytes.
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
    std::function<bool(const QByteArray&)> receiver_;
    std::function<std::optional<QString>()> chooser_;
};

}  // namespace ksr::serial
