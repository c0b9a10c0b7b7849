#include "serial/UploadDriver.h"

namespace ksr::serial {

UploadDriver::UploadDriver(SerialPort& port, QObject* parent) : QObject(parent), port_(port) {
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &UploadDriver::step);
    connect(&port_, &SerialPort::lineError, this, [this](const QString& text) {
        // A line that has failed ends the session at once, whatever step it is in.
        if (!running()) return;
        session_->lineFailed(text.toStdString(), clock_.elapsed());
        step();
    });
    clock_.start();
}

UploadDriver::~UploadDriver() {
    if (running()) port_.setReceiver(nullptr);
}

void UploadDriver::start(std::unique_ptr<upload::UploadSession> session) {
    port_.open();
    session_ = std::move(session);
    transferShown_ = false;
    doneShown_ = 0;
    port_.setReceiver([this](const QByteArray& bytes) {
        if (!running()) return true;
        // The transfer's packets are not the console's.
        const bool console = !session_->inTransfer();
        session_->received(bytes.toStdString(), clock_.elapsed());
        step();
        return console;
    });
    session_->start(clock_.elapsed());
    step();
}

void UploadDriver::escape() {
    if (!running()) return;
    session_->escape();
    step();
}

void UploadDriver::stop() {
    if (!running()) return;
    session_->stop(clock_.elapsed());
    step();
}

void UploadDriver::transferPolled() {
    if (!running()) return;
    session_->transferPolled(clock_.elapsed());
    step();
}

void UploadDriver::step() {
    if (!session_) return;
    session_->advance(clock_.elapsed(), port_.ClearToSend());
    for (const upload::LineAction& a : session_->takeActions()) {
        if (a.flushInput)
            port_.FlushInBuffer();
        else
            port_.PutString(QByteArray::fromStdString(a.bytes));
    }
    for (const upload::StatusChange& s : session_->takeStatuses())
        emit status(s.kind,
                    QString::fromLatin1(s.text.data(), static_cast<qsizetype>(s.text.size())));
    if (session_->transferStarted() && !transferShown_) {
        transferShown_ = true;
        emit transferStarted();
    }
    if (session_->sender().bytesDone() != doneShown_) {
        doneShown_ = session_->sender().bytesDone();
        emit progress();
    }
    if (session_->done()) {
        timer_.stop();
        port_.setReceiver(nullptr);
        emit finished();
        return;
    }
    const long long wake = session_->wakeAt();
    if (wake < 0) {
        timer_.stop();
        return;
    }
    timer_.start(static_cast<int>(std::max<long long>(0, wake - clock_.elapsed())));
}

}  // namespace ksr::serial
