#include "ui/UploadPage.h"

#include "kermit/KermitFiles.h"
#include "ui/ComSelectForm.h"
#include "serial/Ports.h"
#include "ui/Look.h"

namespace ksr::ui {

UploadPage::UploadPage(QWidget* page, Host host, std::filesystem::path workDir)
    : QObject(page), host_(std::move(host)), workDir_(std::move(workDir)), driver_(port_) {
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
    // Off by default: an upload is the plain dialogue unless the operator asks for the check.
    verifyCheckBox_ = new QCheckBox(QStringLiteral("check with cksum"), page);
    verifyCheckBox_->setObjectName(QStringLiteral("VerifyCheckBox"));
    verifyCheckBox_->setGeometry(372, 10, 180, 22);
    verifyCheckBox_->setToolTip(QStringLiteral(
        "After the transfer, ask the recorder for the cksum of each file sent and send the "
        "reconfigure command only when all match"));
    terminal_ = new ui::CPortTerminal(page);
    terminal_->setGeometry(295, 40, 409, 673);

    options_.endOnPoll = true;  // the transfer's end is taken at a KermitTimer tick
    port_.setChooser([page]() { return ui::TComSelectForm::Ask(page->window()); });
    connect(&port_, &serial::SerialPort::received, terminal_, &ui::CPortTerminal::feed);
    connect(terminal_, &ui::CPortTerminal::sendToDevice, &port_,
            &serial::SerialPort::PutString);
    kermitTimer_.setInterval(1000);
    connect(&kermitTimer_, &QTimer::timeout, this,
            [this] { host_.guarded([this] { KermitTimerTimer(); }); });
    connect(&driver_, &serial::UploadDriver::status, this, &UploadPage::status);
    connect(&driver_, &serial::UploadDriver::transferStarted, this, [this] { kermitTimer_.start(); });
    connect(&driver_, &serial::UploadDriver::progress, this, [this] {
        // Progress only while the status bar still shows the transfer's own text: what another
        // part of the window wrote there stays until the transfer ends.
        const auto* session = driver_.session();
        if (!session->inTransfer() || host_.statusText() != ownStatus_) return;
        status(upload::StatusKind::Transmitting, Latin1Text(upload::ProgressText(session->sender())));
    });
    connect(&driver_, &serial::UploadDriver::finished, this,
            [this] { host_.guarded([this] { uploadEnded(); }); });
    connect(upLoadPanel_, &ClickPanel::clicked, this,
            [this] { host_.guarded([this] { UpLoadPanelClick(); }); });
    connect(escapePanel_, &ClickPanel::clicked, this,
            [this] { host_.guarded([this] { EscapeUpLoadPanelClick(); }); });
}

UploadPage::~UploadPage() = default;

void UploadPage::status(upload::StatusKind kind, const QString& text) {
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
    }
    ownStatus_ = text;
    host_.setStatus(c, ownStatus_);
}

void UploadPage::UpLoadPanelClick() {
    if (driver_.running()) {
        // A transfer left running by Escape still owns the line.
        host_.setStatus(colour::Red, Latin1Text(upload::BusyText));
        return;
    }
    // The number as typed, read before disabling the field: a focused spin edit that loses the
    // focus clamps its text into 1..8. A typed digit is used as it stands (0 asks for the port);
    // text that is not a number counts as 1.
    bool ok = false;
    const int number = comSpinEdit_->text().trimmed().toInt(&ok);
    // The files are read once, before the line is touched: none to send, one that cannot be
    // read or a name the recorder cannot be given end the upload here, with nothing sent.
    try {
        files_ = kermit::IniFilesToSend(workDir_);
    } catch (const KsrError& e) {
        status(upload::StatusKind::Failure, Latin1Text(upload::FailureText));
        upload::UploadRecord record;
        record.result = "failed";
        record.error = e.located();
        try {
            log(record);
        } catch (const KsrError& warning) {
            throw KsrError(e.located() + "\n" + warning.message());
        }
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
    host_.setStatus(colour::Red, Latin1Text(upload::WaitingText));
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
    options_.verify = verifyCheckBox_->isChecked();
    try {
        driver_.start(std::make_unique<upload::UploadSession>(files_, options_));
    } catch (...) {
        notConnected();
        throw;
    }
}

void UploadPage::KermitTimerTimer() {
    const auto* session = driver_.session();
    if (session && session->inTransfer()) return;
    kermitTimer_.stop();
    driver_.transferPolled();
}

void UploadPage::uploadEnded() {
    kermitTimer_.stop();
    const upload::UploadSession& session = *driver_.session();
    comSpinEdit_->setEnabled(true);
    host_.repaint();
    UPLOAD_END();
    std::string message = session.loginRefused() ? session.record().error : std::string();
    try {
        log(session.record());
    } catch (const KsrError& e) {
        message += (message.empty() ? "" : "\n") + e.message();
    }
    if (!message.empty()) throw KsrError(message);
}

void UploadPage::log(upload::UploadRecord record) {
    record.program = "ksr-setup";
    record.port = port_.openedDevice().toStdString();
    const std::string warning = serial::LogUpload(workDir_, std::move(record));
    if (!warning.empty()) throw KsrError(warning);
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
    driver_.escape();
    comSpinEdit_->setEnabled(true);
    UPLOAD_END();
}

}  // namespace ksr::ui
