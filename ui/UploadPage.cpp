#include "ui/UploadPage.h"

#include "recorder_ini/IniCompare.h"
#include "recorder_ini/RecorderIni.h"
#include "serial/Ports.h"
#include "setup/FileIo.h"
#include "setup/TextFormat.h"
#include "ui/ComSelectForm.h"
#include "ui/Look.h"
#include "upload/SendFiles.h"

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
    // A typed 0 (the port selection) or 9 stays until an upload or read uses it.
    comSpinEdit_->setKeepsTypedValue(true);
    // Off by default: an upload is the plain dialogue unless the operator asks for the check.
    verifyCheckBox_ = new QCheckBox(QStringLiteral("check with cksum"), page);
    verifyCheckBox_->setObjectName(QStringLiteral("VerifyCheckBox"));
    verifyCheckBox_->setGeometry(370, 10, 136, 22);
    verifyCheckBox_->setToolTip(QStringLiteral(
        "After the transfer, ask the recorder for the cksum of each file sent and send the "
        "reconfigure command only when all match"));
    readPanel_ = new ClickPanel(QStringLiteral("ReadFromKsrPanel"), QStringLiteral("Read from KSR"),
                                colour::Aqua, page);
    readPanel_->setGeometry(508, 8, 108, 25);
    readPanel_->setToolTip(QStringLiteral(
        "Read the recorder.ini the KSR runs and show it here, the lines that differ from the "
        "local recorder.ini marked; nothing is changed on the KSR or here"));
    comDeviceLabel_ = new QLabel(QStringLiteral("port: not opened yet"), page);
    comDeviceLabel_->setObjectName(QStringLiteral("ComDeviceLabel"));
    comDeviceLabel_->setGeometry(295, 38, 409, 18);
    comDeviceLabel_->setToolTip(QStringLiteral(
        "The serial device the last upload or read used; COM 0 asks for the port each time"));
    terminal_ = new ui::CPortTerminal(page);
    terminal_->setGeometry(295, 56, 409, 657);

    options_.endOnPoll = true;  // the transfer's end is taken at a KermitTimer tick
    port_.setChooser([this, page]() {
        auto chosen = ui::TComSelectForm::Ask(page->window(), lastChosen_);
        if (chosen) lastChosen_ = *chosen;
        return chosen;
    });
    connect(&port_, &serial::SerialPort::received, terminal_, &ui::CPortTerminal::feed);
    connect(terminal_, &ui::CPortTerminal::sendToDevice, &port_, &serial::SerialPort::PutString);
    kermitTimer_.setInterval(1000);
    connect(&kermitTimer_, &QTimer::timeout, this,
            [this] { host_.guarded([this] { KermitTimerTimer(); }); });
    connect(&driver_, &serial::UploadDriver::status, this, &UploadPage::status);
    connect(&driver_, &serial::UploadDriver::transferStarted, this,
            [this] { kermitTimer_.start(); });
    connect(&driver_, &serial::UploadDriver::progress, this, [this] {
        // Progress only while the status bar still shows the transfer's own text: what another
        // part of the window wrote there stays until the transfer ends.
        const auto* session = driver_.session();
        if (!session->inTransfer() || host_.statusText() != ownStatus_) return;
        status(upload::StatusKind::Transmitting,
               Latin1Text(upload::ProgressText(session->sender())));
    });
    connect(&driver_, &serial::UploadDriver::finished, this,
            [this] { host_.guarded([this] { uploadEnded(); }); });
    connect(upLoadPanel_, &ClickPanel::clicked, this,
            [this] { host_.guarded([this] { UpLoadPanelClick(); }); });
    connect(escapePanel_, &ClickPanel::clicked, this,
            [this] { host_.guarded([this] { EscapeUpLoadPanelClick(); }); });
    connect(readPanel_, &ClickPanel::clicked, this,
            [this] { host_.guarded([this] { ReadFromKsrPanelClick(); }); });
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
    // The files are read once, before the line is touched: none to send, one that cannot be
    // read or a name the recorder cannot be given end the upload here, with nothing sent.
    try {
        files_ = upload::IniFilesToSend(workDir_);
    } catch (const KsrError& e) {
        status(upload::StatusKind::Failure, Latin1Text(upload::FailureText));
        failedBeforeTheLine(e, {});
    }
    reading_ = false;
    connectPort(upLoadPanel_, QStringLiteral("Connecting ..."));
}

void UploadPage::ReadFromKsrPanelClick() {
    if (driver_.running()) {
        host_.setStatus(colour::Red, Latin1Text(upload::BusyText));
        return;
    }
    files_.clear();
    reading_ = true;
    connectPort(readPanel_, QStringLiteral("Reading ..."));
}

void UploadPage::connectPort(ClickPanel* panel, const QString& caption) {
    // The number as typed: a typed digit is used as it stands (0 asks for the port); text that
    // is not a number counts as 1.
    bool ok = false;
    const int number = comSpinEdit_->text().trimmed().toInt(&ok);
    // Everything that does nothing while the session runs looks so: silver and disabled.
    for (ClickPanel* p : {upLoadPanel_, readPanel_}) {
        p->setEnabled(false);
        p->setColour(colour::Silver);
    }
    verifyCheckBox_->setEnabled(false);
    comSpinEdit_->setEnabled(false);
    try {
        port_.setPortNumber(ok ? number : 1);
        // COM 0 asks each time (the last choice offered first): the cable may have moved.
        if (ok && number == 0) port_.close();
    } catch (...) {
        notConnected();
        throw;
    }
    terminal_->ClearAll();
    panel->setText(caption);
    host_.showClosePanel(false);
    escapePanel_->show();
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
    upload::SessionOptions options = options_;
    options.verify = !reading_ && verifyCheckBox_->isChecked();
    options.job = reading_ ? upload::Job::Read : upload::Job::Upload;
    try {
        driver_.start(std::make_unique<upload::UploadSession>(files_, options));
        // The port is open now: the device this session reaches, here and in the status.
        comDeviceLabel_->setText(QStringLiteral("port: ") + port_.openedDevice());
        host_.setStatus(colour::Red, Latin1Text(upload::WaitingText) + QStringLiteral(" on ") +
                                         port_.openedDevice() + QLatin1Char(' '));
        host_.repaint();
    } catch (const KsrError& e) {
        notConnected();
        if (reading_) throw;
        failedBeforeTheLine(e, files_);  // with the port's reason
    } catch (...) {
        notConnected();
        throw;
    }
}

void UploadPage::failedBeforeTheLine(const KsrError& e,
                                     const std::vector<kermit::SendFile>& files) {
    const upload::UploadRecord record = upload::FailedUpload(files, e.located());
    try {
        log(record);
    } catch (const KsrError& warning) {
        throw KsrError(e.located() + "\n" + warning.message());
    }
    throw;  // the reason itself, as it came
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
    if (reading_) {
        reading_ = false;
        readEnded(session);
        return;
    }
    std::string message =
        session.loginRefused() || session.lineLost() ? session.record().error : std::string();
    try {
        log(session.record());
    } catch (const KsrError& e) {
        message += (message.empty() ? "" : "\n") + e.message();
    }
    if (!message.empty()) throw KsrError(message);
}

// The recorder's file in the memo, its lines that differ from the local recorder.ini marked, and
// the count in the status bar. Nothing is written.
void UploadPage::readEnded(const upload::UploadSession& session) {
    if (session.record().outcome == upload::Outcome::Escaped) return;
    if (!session.readSucceeded()) throw KsrError(session.record().error);
    const std::string& recorder = session.recorderIni();
    const std::filesystem::path local = workDir_ / RecorderIniFileName;
    std::error_code ec;
    const bool haveLocal = std::filesystem::is_regular_file(local, ec);
    const IniComparison c = CompareRecorderIni(recorder, haveLocal ? ReadFileBytes(local) : "");
    QStringList lines;
    for (const std::string& line : SplitLines(recorder)) lines << Latin1Text(line);
    std::vector<bool> marked = c.recorderLineDiffers;
    if (!haveLocal) marked.assign(marked.size(), false);
    host_.showLines(lines, marked);
    if (!haveLocal) {
        host_.setStatus(colour::Yellow,
                        QStringLiteral("  recorder.ini read from KSR; there is no local "
                                       "recorder.ini to compare it with "));
    } else if (c.equal()) {
        host_.setStatus(colour::Lime, QStringLiteral("  KSR runs the local recorder.ini "));
    } else {
        const int n = c.differingLines();
        host_.setStatus(
            colour::Yellow,
            QStringLiteral("  recorder.ini of KSR: %1 %2 from the local recorder.ini ")
                .arg(n)
                .arg(n == 1 ? QStringLiteral("line differs") : QStringLiteral("lines differ")));
    }
}

void UploadPage::log(upload::UploadRecord record) {
    record.program = "ksr-setup";
    record.port = port_.openedDevice().toStdString();
    const std::string warning =
        upload::LogUpload(workDir_, serial::WithAdapterSerial(std::move(record)));
    if (!warning.empty()) throw KsrError(warning);
}

void UploadPage::UPLOAD_END() {
    escapePanel_->hide();
    host_.showClosePanel(true);
    upLoadPanel_->setText(QStringLiteral("UpLoad to KSR"));
    upLoadPanel_->setColour(colour::Lime);
    upLoadPanel_->setEnabled(true);
    readPanel_->setText(QStringLiteral("Read from KSR"));
    readPanel_->setColour(colour::Aqua);
    readPanel_->setEnabled(true);
    verifyCheckBox_->setEnabled(true);
    host_.repaint();
}

void UploadPage::EscapeUpLoadPanelClick() {
    const upload::UploadSession* session = driver_.session();
    const bool dialogue = session && session->inDialogue();
    driver_.escape();
    comSpinEdit_->setEnabled(true);
    UPLOAD_END();
    if (!dialogue) return;  // a transfer runs on and reports
    // What is true now: nothing was sent, and whether anything answered at all.
    if (session->consoleAnswered())
        host_.setStatus(QColor(), QStringLiteral("  Escape: nothing sent "));
    else
        host_.setStatus(colour::Red, QStringLiteral("  no answer from KSR on ") +
                                         port_.openedDevice() + QStringLiteral(": nothing sent "));
}

}  // namespace ksr::ui
