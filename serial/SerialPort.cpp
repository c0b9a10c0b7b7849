#include "serial/SerialPort.h"

#include "serial/PortList.h"

namespace ksr::serial {
namespace {

#ifdef _WIN32
constexpr int kPollMs = 10;  // how often a Windows port is looked at
#endif

}  // namespace

SerialPort::SerialPort(QObject* parent) : QObject(parent) {
    poll_.setTimerType(Qt::PreciseTimer);
    connect(&poll_, &QTimer::timeout, this, &SerialPort::readAvailable);
}

SerialPort::~SerialPort() {
    close();
}

void SerialPort::setPortNumber(int number) {
    const bool reopen = isOpen() && number != number_;
    number_ = number;
    explicitDevice_.clear();
    if (reopen) {
        close();
        open();
    }
}

void SerialPort::setDevice(const QString& device) {
    const bool reopen = isOpen() && device != openedDevice_;
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
    if (isOpen()) return;
    const QString device = resolveDevice();
    openedDevice_ = device;
    line_.open(device.toStdString());
#ifdef _WIN32
    poll_.start(kPollMs);
#else
    const auto fd = static_cast<qintptr>(line_.nativeHandle());
    readable_ = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    connect(readable_.get(), &QSocketNotifier::activated, this, &SerialPort::readAvailable);
    writable_ = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Write);
    writable_->setEnabled(false);
    connect(writable_.get(), &QSocketNotifier::activated, this, [this] {
        try {
            line_.sendPending();
        } catch (const SerialError& e) {
            failed(e);
            return;
        }
        watchSending();
    });
#endif
}

void SerialPort::close() {
    readable_.reset();
    writable_.reset();
    poll_.stop();
    line_.close();
}

void SerialPort::failed(const SerialError& e) {
    close();  // a dead line is let go, so that the next upload opens the port anew
    emit lineError(QString::fromStdString(e.message()));
}

// What the line holds back for flow control goes on when it can take more.
void SerialPort::watchSending() {
    if (writable_) writable_->setEnabled(line_.sending());
}

void SerialPort::readAvailable() {
    if (!isOpen()) return;
    std::string bytes;
    try {
        bytes = line_.read(0);  // also moves on what waits to be sent
    } catch (const SerialError& e) {
        failed(e);
        return;
    }
    watchSending();
    if (bytes.empty()) return;
    const QByteArray data(bytes.data(), static_cast<qsizetype>(bytes.size()));
    if (!receiver_ || receiver_(data)) emit received(data);
}

void SerialPort::FlushInBuffer() {
    line_.flushInput();
}

void SerialPort::write(const std::string& bytes) {
    line_.write(bytes);
    watchSending();
}

void SerialPort::PutString(const QByteArray& text) {
    if (!isOpen()) return;
    try {
        write(text.toStdString());
    } catch (const SerialError& e) {
        failed(e);
    }
}

bool SerialPort::ClearToSend() {
    return isOpen() && line_.clearToSend();
}

}  // namespace ksr::serial
