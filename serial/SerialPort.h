#pragma once
// The window's serial port to the recorder: the same SerialLine as the command line's (9600 baud,
// 8N1, RTS/CTS hardware flow control, DTR off), watched by the window's event loop (a socket
// notifier on POSIX, a short timer on Windows). Received bytes go to the terminal view, and while
// an upload runs to the upload first, which keeps the Kermit transfer's packets to itself.

#include <QByteArray>
#include <QObject>
#include <QSocketNotifier>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "serial/SerialLine.h"
#include "upload/SessionHost.h"

namespace ksr::serial {

class SerialPort : public QObject, public upload::HostLine {
    Q_OBJECT
  public:
    explicit SerialPort(QObject* parent = nullptr);
    ~SerialPort() override;

    // COM n as numbered by PortList; 0 asks the operator through `chooser`. An open port on
    // another number is closed and opened again on the new one.
    void setPortNumber(int number);
    int portNumber() const { return number_; }
    // A device path to use instead of the numbered port (a port the list cannot show, such as
    // the recorder simulator's pseudo-terminal).
    void setDevice(const QString& device);
    // The device path the port was last opened on, as it was given or chosen.
    QString openedDevice() const { return openedDevice_; }
    // Asked when the port number does not name a present port: the device to use, or none to
    // cancel the open.
    void setChooser(std::function<std::optional<QString>()> chooser) {
        chooser_ = std::move(chooser);
    }

    bool isOpen() const { return line_.isOpen(); }
    // Throws SerialError with a clear text when the port cannot be opened.
    void open();
    void close();

    void FlushInBuffer();
    // Queues the bytes for sending and returns at once; a line that has failed says so with
    // lineError().
    void PutString(const QByteArray& text);
    // RTS is the receive handshake, which the port keeps: there is no request to drive it.
    bool ClearToSend();

    // The line as an upload session's host uses it: a write that fails throws.
    void write(const std::string& bytes) override;
    void flushInput() override { FlushInBuffer(); }
    bool clearToSend() override { return ClearToSend(); }

    // While set, received bytes go to `receiver` first; they are the console's too (and go on
    // to received()) when it says so.
    void setReceiver(std::function<bool(const QByteArray&)> receiver) {
        receiver_ = std::move(receiver);
    }

  signals:
    // The console's bytes.
    void received(const QByteArray& bytes);
    // The line failed (the far end closed, the adapter was pulled); the port is closed.
    void lineError(const QString& text);

  private:
    void readAvailable();
    void watchSending();
    void failed(const SerialError& e);
    QString resolveDevice();

    SerialLine line_;
    std::unique_ptr<QSocketNotifier> readable_;
    std::unique_ptr<QSocketNotifier> writable_;
    QTimer poll_;  // where there is no descriptor to watch
    int number_ = 1;
    QString explicitDevice_;
    QString openedDevice_;
    std::function<bool(const QByteArray&)> receiver_;
    std::function<std::optional<QString>()> chooser_;
};

}  // namespace ksr::serial
