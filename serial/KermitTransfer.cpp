#include "serial/KermitTransfer.h"

#include "kermit/KermitFiles.h"

namespace ksr::serial {

KermitTransfer::KermitTransfer(SerialPort& port, QObject* parent) : QObject(parent), port_(port) {
    timer_.setInterval(kermit::KermitSender::TickMs);
    connect(&timer_, &QTimer::timeout, this, &KermitTransfer::onTick);
    connect(&port_, &SerialPort::lineError, this, [this](const QString& text) {
        if (!engine_.InProgress()) return;
        engine_.cancel("line failed: " + text.toStdString());
        end();
    });
}

QString KermitTransfer::progressText() const {
    return QStringLiteral("%1 of %2 bytes").arg(engine_.bytesDone()).arg(engine_.bytesTotal());
}

void KermitTransfer::StartTransmit(const std::filesystem::path& directory) {
    std::vector<kermit::SendFile> files;
    try {
        files = kermit::IniFilesOf(directory);
    } catch (const KsrError& e) {
        // The result of an earlier transfer must not stand for this one.
        engine_.startFailed(e.located());
        emit finished(engine_.ProtocolStatus());
        throw;
    }
    StartTransmit(std::move(files));
}

void KermitTransfer::StartTransmit(std::vector<kermit::SendFile> files) {
    engine_.StartTransmit(std::move(files));
    if (!engine_.InProgress()) {
        emit finished(engine_.ProtocolStatus());
        return;
    }
    port_.setReceiver([this](const QByteArray& bytes) {
        engine_.receive(bytes.constData(), static_cast<std::size_t>(bytes.size()));
        pump();
    });
    clock_.start();
    ticksGiven_ = 0;
    timer_.start();
    pump();
}

void KermitTransfer::cancel(const std::string& reason) {
    if (!engine_.InProgress()) return;
    engine_.cancel(reason);
    end();  // puts the error packet on the line
}

void KermitTransfer::pump() {
    const std::string out = engine_.takeOutput();
    if (!out.empty()) port_.PutString(QByteArray(out.data(), static_cast<qsizetype>(out.size())));
    emit progress();
    if (!engine_.InProgress()) end();
}

void KermitTransfer::onTick() {
    // Ticks follow the clock, not the timer's count: a busy window may deliver fewer timer events.
    const qint64 due = clock_.elapsed() / kermit::KermitSender::TickMs;
    for (; ticksGiven_ < due && engine_.InProgress(); ++ticksGiven_) engine_.tick();
    pump();
}

void KermitTransfer::end() {
    if (!timer_.isActive()) return;
    timer_.stop();
    const std::string tail = engine_.takeOutput();
    if (!tail.empty())
        port_.PutString(QByteArray(tail.data(), static_cast<qsizetype>(tail.size())));
    port_.setReceiver(nullptr);
    emit finished(engine_.ProtocolStatus());
}

}  // namespace ksr::serial
