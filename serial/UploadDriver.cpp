#include "serial/UploadDriver.h"

namespace ksr::serial {

UploadDriver::UploadDriver(SerialPort& port, QObject* parent) : QObject(parent), port_(port) {
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, [this] {
        if (!running()) return;
        host_->wake(now());
        schedule();
    });
    connect(&port_, &SerialPort::lineError, this, [this](const QString& text) {
        // A line that has failed ends the session at once, whatever step it is in.
        if (!running()) return;
        host_->lineFailed(text.toStdString(), now());
        schedule();
    });
    // While a session runs, the line's bytes are its own first; the console's go on to the
    // terminal.
    port_.setReceiver([this](const QByteArray& bytes) {
        if (!running()) return true;
        const bool console = !session_->inTransfer();  // the transfer's packets are not
        host_->received(bytes.toStdString(), now());
        schedule();
        return console;
    });
    clock_.start();
}

UploadDriver::~UploadDriver() {
    port_.setReceiver(nullptr);
}

void UploadDriver::start(std::unique_ptr<upload::UploadSession> session) {
    port_.open();
    lastSession_ = std::move(session_);
    lastHost_ = std::move(host_);
    session_ = std::move(session);
    upload::HostHooks hooks;
    hooks.status = [this](upload::StatusKind kind, const std::string& text) {
        emit status(kind, QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())));
    };
    hooks.transferStarted = [this] { emit transferStarted(); };
    hooks.progress = [this] { emit progress(); };
    hooks.finished = [this] {
        timer_.stop();
        emit finished();
    };
    host_ = std::make_unique<upload::SessionHost>(*session_, port_, std::move(hooks));
    host_->start(now());
    schedule();
}

void UploadDriver::schedule() {
    if (!running()) return;
    const long long wake = host_->wakeAt();
    if (wake < 0) {
        timer_.stop();
        return;
    }
    timer_.start(static_cast<int>(std::max<long long>(0, wake - now())));
}

void UploadDriver::escape() {
    if (!running()) return;
    host_->escape(now());
    schedule();
}

void UploadDriver::stop() {
    if (!running()) return;
    host_->stop(now());
    schedule();
}

void UploadDriver::transferPolled() {
    if (!running()) return;
    host_->transferPolled(now());
    schedule();
}

}  // namespace ksr::serial
