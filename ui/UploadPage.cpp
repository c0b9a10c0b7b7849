#include "ui/UploadPage.h"

#include <QCoreApplication>
#include <QEventLoop>

#include "ui/ComSelectForm.h"
#include "ui/TKSR_SetUp.h"

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
    terminal_ = new serial::CPortTerminal(page);
    terminal_->setGeometry(295, 40, 409, 673);

    port_.setChooser([page]() { return serial::TComSelectForm::Ask(page->window()); });
    connect(&port_, &serial::SerialPort::received, terminal_, &serial::CPortTerminal::feed);
    connect(terminal_, &serial::CPortTerminal::sendToDevice, &port_,
            &serial::SerialPort::PutString);
    kermitTimer_.setInterval(1000);
    connect(&kermitTimer_, &QTimer::timeout, this,
            [this] { host_.guarded([this] { KermitTimerTimer(); }); });
    connect(&transfer_, &serial::KermitTransfer::progress, this, [this] {
        if (transfer_.InProgress())
            host_.setStatus(colour::Magenta, QString::fromLatin1(upload::TransmittingText) +
                                                 transfer_.progressText());
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
    host_.setStatus(c, QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())));
}

void UploadPage::UpLoadPanelClick() {
    if (transfer_.InProgress()) {
        // A transfer left running by Escape still owns the line.
        host_.setStatus(colour::Red, QString::fromLatin1(upload::BusyText));
        return;
    }
    upLoadPanel_->setEnabled(false);
    comSpinEdit_->setEnabled(false);
    // A typed digit is used as it stands; text that is not a number counts as 1.
    bool ok = false;
    const int number = comSpinEdit_->text().trimmed().toInt(&ok);
    try {
        port_.setPortNumber(ok ? number : 1);
    } catch (...) {
        comSpinEdit_->setEnabled(true);
        UPLOAD_END();
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

void UploadPage::CONNECT2KSR() {
    terminal_->ReverseScreen(true);
    terminal_->setFocus();
    terminal_->setActive(true);
    bool loggedIn = false;
    try {
        loggedIn = dialogue_.CONNECT2KSR();
    } catch (...) {
        // A port that will not open: its message is shown, the page goes back to idle.
        comSpinEdit_->setEnabled(true);
        UPLOAD_END();
        throw;
    }
    if (!loggedIn) return;  // Escape has put the buttons back already
    // What the console printed during the pauses belongs to the terminal view, not the transfer.
    QCoreApplication::processEvents();
    kermitTimer_.start();
    transfer_.StartTransmit(workDir_);
}

void UploadPage::KermitTimerTimer() {
    if (transfer_.InProgress()) return;
    dialogue_.transferEnded(transfer_.ProtocolStatus());
    comSpinEdit_->setEnabled(true);
    host_.repaint();
    UPLOAD_END();
    kermitTimer_.stop();
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
