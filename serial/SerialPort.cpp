#include "serial/SerialPort.h"

#include "serial/PortList.h"

namespace ksr::serial {

QString OpenErrorText(QSerialPort::SerialPortError error, const QString& systemText,
                      const QString& device) {
    OpenFailure f = OpenFailure::Other;
    if (error == QSerialPort::DeviceNotFoundError) f = OpenFailure::NotFound;
    if (error == QSerialPort::PermissionError)
        f = systemText.contains(QLatin1String("lock"), Qt::CaseInsensitive)
                ? OpenFailure::InUse
                : OpenFailure::NoPermission;
    return QString::fromStdString(
        OpenFailureText(f, systemText.toStdString(), device.toStdString()));
}

SerialPort::SerialPort(QObject* parent) : QObject(parent) {
    connect(&port_, &QSerialPort::readyRead, this, &SerialPort::readAvailable);
    connect(&port_, &QSerialPort::errorOccurred, this, [this](QSerialPort::SerialPortError e) {
        if (port_.isOpen() && (e == QSerialPort::ReadError || e == QSerialPort::ResourceError ||
                               e == QSerialPort::WriteError)) {
            emit lineError(QStringLiteral("the serial line %1 failed: %2")
                               .arg(openedDevice_, port_.errorString()));
            // A dead line is let go, so that the next upload opens the port anew.
            QMetaObject::invokeMethod(
                this, [this] { close(); }, Qt::QueuedConnection);
        }
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
}

void SerialPort::close() {
    if (port_.isOpen()) port_.close();
}

void SerialPort::readAvailable() {
    const QByteArray bytes = port_.readAll();
    if (bytes.isEmpty()) return;
    if (!receiver_ || receiver_(bytes)) emit received(bytes);
}

void SerialPort::FlushInBuffer() {
    if (port_.isOpen()) {
        port_.clear(QSerialPort::Input);
        port_.readAll();
    }
}

void SerialPort::PutString(const QByteArray& text) {
    if (!port_.isOpen()) return;
    port_.write(text);
    port_.flush();  // as much as the driver takes now, without waiting
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

}  // namespace ksr::serial
