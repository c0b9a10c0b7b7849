#include "ui/UploadPage.h"

#include <QCoreApplication>
#include <QEventLoop>

#include "kermit/KermitFiles.h"
#include "serial/PortList.h"
#include "ui/ComSelectForm.h"
#include "ui/Look.h"
#include "upload/UploadLog.h"

namespace ksr::ui {

UploadPage::UploadPage(QWidget* page, Host host, std::filesystem::path workDir)
    : QObject(page),
      host_(std::move(host)),
      workDir_(std::move(workDir)),
      transfer_(port_),
      dialogue_(static_cast<upload::UploadLine&>(*this), static_cast<upload::UploadView&>(*this)) {
    upLoadPanel_ = new ClickPanel(QStringLiteral("UpLoadPanel"), QStringLiteral("UpLoad to KSR"),
                                  colour::Green, page);
    upLoadPanel_->setGeometry(8, 8, 145, 25);
    escapePanel_ = new ClickPanel(QStringLiteral("EscapeUpLoadPanel"), QStringLiteral("Escape"),
                                  colour::Red, page);
    escapePanel_->setGeometry(160, 8, 97, 25);
    escapePanel_->hide();
    auto* comLabel = new QLabel(QStringLiteral("COM"), page);
    comLabel->setObjectName(QStringLiteral("ComLabel"));
    comLabel->setGeometry(276, 10, 34, 22);
    comSpinEdit_ = new SpinEdit(QStringLiteral("ComSpinEdit"), 1, 8, 1, page);
    comSpinEdit_->setGeometry(312, 8, 44, 26);
    comSpinEdit_->setMaxLength(1);
    comSpinEdit_->setValue(1);
    terminal_ = new ui::CPortTerminal(page);
    terminal_->setGeometry(295, 40, 409, 673);

    port_.setChooser([page]() { return ui::TComSelectForm::Ask(page->window()); });
    connect(&port_, &serial::SerialPort::received, terminal_, &ui::CPortTerminal::feed);
    connect(terminal_, &ui::CPortTerminal::sendToDevice, &port_,
            &serial::SerialPort::PutString);
    kermitTimer_.setInterval(1000);
    connect(&kermitTimer_, &QTimer::timeout, this,
            [this] { host_.guarded([this] { KermitTimerTimer(); }); });
    connect(&transfer_, &serial::KermitTransfer::progress, this, [this] {
        // Progress only while the status bar still shows the transfer's own text: what another
        // part of the window wrote there stays until the transfer ends.
        if (!transfer_.InProgress() || host_.statusText() != ownStatus_) return;
        status(upload::StatusKind::Transmitting,
               upload::TransmittingText + transfer_.progressText().toStdString());
    });
    connect(upLoadPanel_, &ClickPanel::clicked, this,
            [this] { host_.guarded([this] { UpLoadPanelClick(); }); });
    connect(escapePanel_, &ClickPanel::clicked, this,
            [this] { host_.guarded([this] { EscapeUpLoadPanelClick(); }); });
}

UploadPage::~UploadPage() = default;

void UploadPage::responsiveWait(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

void UploadPage::status(upload::StatusKind kind, const std::string& text) {
    QColor c;
    switch (kind) {
        case upload::StatusKind::Waiting:
        case upload::StatusKind::Failure:
            c = colour::Red;
            break;
        case upload::StatusKind::Connected:
            c = colour::Yellow;
            break;
        case upload::StatusKind::Transmitting:
            c = colour::Magenta;
            break;
        case upload::StatusKind::Success:
            c = colour::Lime;
            break;
        case upload::StatusKind::Neutral:
            break;
    }
    ownStatus_ = QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
    host_.setStatus(c, ownStatus_);
}

void UploadPage::UpLoadPanelClick() {
    if (transfer_.InProgress()) {
        // A transfer left running by Escape still owns the line.
        host_.setStatus(colour::Red, QString::fromLatin1(upload::BusyText));
        return;
    }
    // The number as typed, read before disabling the field: a focused spin edit that loses the
    // focus clamps its text into 1..8. A typed digit is used as it stands (0 asks for the port);
    // text that is not a number counts as 1.
    bool ok = false;
    const int number = comSpinEdit_->text().trimmed().toInt(&ok);
    // The files are looked at before the line is touched: none to send, one that cannot be
    // read or a name the recorder cannot be given end the upload here, with nothing sent.
    try {
        (void)kermit::IniFilesToSend(workDir_);
    } catch (const KsrError&) {
        status(upload::StatusKind::Failure, upload::FailureText);
        throw;
    }
    upLoadPanel_->setEnabled(false);
    comSpinEdit_->setEnabled(false);
    try {
        port_.setPortNumber(ok ? number : 1);
    } catch (...) {
        notConnected();
        throw;
    }
    terminal_->ClearAll();
    upLoadPanel_->setColour(colour::Silver);
    upLoadPanel_->setText(QStringLiteral("Connecting ..."));
    host_.showClosePanel(false);
    escapePanel_->show();
    host_.setStatus(colour::Red, QString::fromLatin1(upload::WaitingText));
    host_.repaint();
    CONNECT2KSR();
}

void UploadPage::notConnected() {
    // The port would not open: its message is shown, and the page no longer claims to wait.
    host_.setStatus(QColor(), QString());
    comSpinEdit_->setEnabled(true);
    UPLOAD_END();
}

void UploadPage::CONNECT2KSR() {
    terminal_->ReverseScreen(true);
    terminal_->setFocus();
    terminal_->setActive(true);
    bool loggedIn = false;
    try {
        loggedIn = dialogue_.CONNECT2KSR();
    } catch (...) {
        notConnected();
        throw;
    }
    if (!loggedIn && dialogue_.loginRefused()) {
        // The status shows the failure already; nothing more goes to the recorder.
        comSpinEdit_->setEnabled(true);
        UPLOAD_END();
        upload::UploadRecord log;
        log.result = "failed";
        log.error = dialogue_.refusalText();
        std::string text = dialogue_.refusalText();
        try {
            appendLog(log);
        } catch (const KsrError& e) {
            text += "\n" + e.message();
        }
        throw KsrError(text);
    }
    if (!loggedIn) return;  // Escape has put the buttons back already
    // What the console printed during the pauses belongs to the terminal view, not the transfer.
    QCoreApplication::processEvents();
    try {
        transfer_.StartTransmit(workDir_);
    } catch (...) {
        // A file that cannot be read: a failed transfer, and nothing sent after it.
        transferOver();
        throw;
    }
    if (!transfer_.InProgress()) {
        transferOver();
        return;
    }
    kermitTimer_.start();
}

void UploadPage::KermitTimerTimer() {
    if (transfer_.InProgress()) return;
    kermitTimer_.stop();  // the end below waits for the recorder: no second tick meanwhile
    transferOver();
}

void UploadPage::transferOver() {
    const std::uint16_t status = transfer_.ProtocolStatus();
    dialogue_.transferEnded(status);
    upload::UploadRecord log;
    for (const auto& f : transfer_.engine().files()) log.files.push_back({f.name, f.data});
    const bool sent = status == kermit::Success;
    log.result = sent ? "success" : "failed";
    log.error = sent ? std::string() : transfer_.engine().errorText();
    if (sent) log.newDataFile = dialogue_.awaitNewDataFile(3000);
    comSpinEdit_->setEnabled(true);
    host_.repaint();
    UPLOAD_END();
    appendLog(log);
}

void UploadPage::appendLog(upload::UploadRecord log) {
    log.program = "ksr-setup";
    log.port = port_.openedDevice().toStdString();
    const QString resolved = serial::ResolvedDevice(port_.openedDevice());
    for (const auto& p : serial::PresentPorts())
        if (p.device == resolved) log.adapterSerial = p.serialNumber.toStdString();
    log.timeUtc = upload::NowUtcIso8601();
    try {
        upload::AppendUploadLog(workDir_, log);
    } catch (const KsrError& e) {
        // Never the reason an upload fails: the result stays in the status bar.
        throw KsrError("warning: the upload log was not written: " + e.located());
    }
}

void UploadPage::UPLOAD_END() {
    escapePanel_->hide();
    host_.showClosePanel(true);
    upLoadPanel_->setText(QStringLiteral("UpLoad to KSR"));
    upLoadPanel_->setColour(colour::Lime);
    upLoadPanel_->setEnabled(true);
    host_.repaint();
}

void UploadPage::EscapeUpLoadPanelClick() {
    dialogue_.requestEscape();
    comSpinEdit_->setEnabled(true);
    UPLOAD_END();
}

}  // namespace ksr::ui
