#include "serial/SerialPort.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include "serial/PortList.h"

namespace ksr::serial {

QString OpenErrorText(QSerialPort::SerialPortError error, const QString& systemText,
                      const QString& device) {
    if (error == QSerialPort::DeviceNotFoundError)
        return QStringLiteral("Serial port %1 not found: check the cable and the port number")
            .arg(device);
    if (error == QSerialPort::PermissionError) {
        if (systemText.contains(QLatin1String("lock"), Qt::CaseInsensitive))
            return QStringLiteral("Serial port %1 is in use by another program").arg(device);
        return QStringLiteral(
                   "No permission to open serial port %1: add your user to the group that owns it "
                   "(usually dialout), then log in again")
            .arg(device);
    }
    return QStringLiteral("Serial port %1 cannot be opened: %2").arg(device, systemText);
}

SerialPort::SerialPort(QObject* parent) : QObject(parent) {
    connect(&port_, &QSerialPort::readyRead, this, &SerialPort::readAvailable);
    connect(&port_, &QSerialPort::errorOccurred, this, [this](QSerialPort::SerialPortError e) {
        if (port_.isOpen() && (e == QSerialPort::ReadError || e == QSerialPort::ResourceError ||
                               e == QSerialPort::WriteError))
            emit lineError(port_.errorString());
    });
}

void SerialPort::setPortNumber(int number) {
    const bool reopen = port_.isOpen() && number != number_;
    number_ = number;
    explicitDevice_.clear();
    if (reopen) {
        close();
        open();
    }
}

void SerialPort::setDevice(const QString& device) {
    const bool reopen = port_.isOpen() && device != port_.portName();
    explicitDevice_ = device;
    if (reopen) {
        close();
        open();
    }
}

QString SerialPort::resolveDevice() {
    if (!explicitDevice_.isEmpty()) return explicitDevice_;
#ifdef _WIN32
    if (number_ > 0) return QStringLiteral("COM%1").arg(number_);
#else
    if (number_ > 0) {
        const QString device = DeviceForCom(number_);
        if (!device.isEmpty()) return device;
    }
#endif
    const auto chosen = chooser_ ? chooser_() : std::nullopt;
    if (!chosen || chosen->isEmpty())
        throw SerialError(
            QStringLiteral("No serial port chosen for COM%1").arg(number_).toStdString());
    return *chosen;
}

void SerialPort::open() {
    if (port_.isOpen()) return;
    const QString device = resolveDevice();
    openedDevice_ = device;
    port_.setPortName(device);
    port_.setBaudRate(QSerialPort::Baud9600);
    port_.setDataBits(QSerialPort::Data8);
    port_.setParity(QSerialPort::NoParity);
    port_.setStopBits(QSerialPort::OneStop);
    port_.setFlowControl(QSerialPort::HardwareControl);
    port_.setReadBufferSize(0);
    if (!port_.open(QIODevice::ReadWrite))
        throw SerialError(OpenErrorText(port_.error(), port_.errorString(), device).toStdString());
    // A line without modem-control lines (a pseudo-terminal) cannot drop DTR: that is no error.
    port_.setDataTerminalReady(false);
    port_.clearError();
    pending_.clear();
}

void SerialPort::close() {
    if (port_.isOpen()) port_.close();
    pending_.clear();
}

void SerialPort::readAvailable() {
    const QByteArray bytes = port_.readAll();
    if (bytes.isEmpty()) return;
    receivedCount_ += static_cast<std::uint64_t>(bytes.size());
    tail_ += bytes;
    constexpr int kTail = 256;
    if (tail_.size() > kTail) tail_.remove(0, tail_.size() - kTail);
    if (receiver_) {
        receiver_(bytes);
        return;
    }
    pending_ += bytes;
    constexpr int kKept = 4096;
    if (pending_.size() > kKept) pending_.remove(0, pending_.size() - kKept);
    emit received(bytes);
}

void SerialPort::FlushInBuffer() {
    if (port_.isOpen()) {
        port_.clear(QSerialPort::Input);
        port_.readAll();
    }
    pending_.clear();
}

void SerialPort::PutString(const QByteArray& text) {
    if (!port_.isOpen()) return;
    port_.write(text);
    // Hand the bytes to the driver now: the dialogue's pauses block the event loop, and bytes
    // left in Qt's buffer would go out only after them.
    port_.flush();
    if (port_.bytesToWrite() > 0) port_.waitForBytesWritten(200);
}

bool SerialPort::WaitForString(const QByteArray& text, int ticks) {
    const QByteArray wanted = text.toLower();
    QElapsedTimer clock;
    clock.start();
    const qint64 limit = static_cast<qint64>(ticks) * TickMs;
    for (;;) {
        const qsizetype at = pending_.toLower().indexOf(wanted);
        if (at >= 0) {
            pending_.remove(0, at + wanted.size());
            return true;
        }
        const qint64 left = limit - clock.elapsed();
        if (left <= 0 || !port_.isOpen()) {
            // What was read while waiting is used up, as characters read from the line are.
            if (pending_.size() >= wanted.size())
                pending_.remove(0, pending_.size() - wanted.size() + 1);
            return false;
        }
        QEventLoop loop;
        QTimer::singleShot(static_cast<int>(std::min<qint64>(left, 50)), &loop, &QEventLoop::quit);
        connect(this, &SerialPort::received, &loop, &QEventLoop::quit);
        loop.exec();
    }
}

bool SerialPort::ClearToSend() {
    if (!port_.isOpen()) return false;
    const auto signals_ = port_.pinoutSignals();
    if (port_.error() == QSerialPort::UnsupportedOperationError) {
        port_.clearError();
        return true;  // no modem-control lines: the line is always clear to send
    }
    return signals_.testFlag(QSerialPort::ClearToSendSignal);
}

void SerialPort::SetRts(bool) {
    // With hardware flow control RTS belongs to the receive handshake.
}

}  // namespace ksr::serial
