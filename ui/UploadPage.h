#pragma once
// The upload controls of the "UpLoad old SetUp" page: "UpLoad to KSR", "Escape", the COM port
// number, the read-back check and the terminal view of the recorder's console, with the serial
// port, the upload's driver and the one-second timer that ends an upload.

#include <QCheckBox>
#include <QLabel>
#include <QTimer>
#include <filesystem>
#include <functional>

#include "serial/SerialPort.h"
#include "serial/UploadDriver.h"
#include "ui/TerminalView.h"
#include "ui/Widgets.h"
#include "upload/UploadSession.h"

namespace ksr::ui {

class UploadPage : public QObject {
    Q_OBJECT
  public:
    struct Host {
        std::function<void(const QColor&, const QString&)> setStatus;
        std::function<QString()> statusText;
        std::function<void()> repaint;
        std::function<void(bool)> showClosePanel;
        std::function<void(const std::function<void()>&)> guarded;
    };

    UploadPage(QWidget* page, Host host, std::filesystem::path workDir);
    ~UploadPage() override;

    void UpLoadPanelClick();
    void CONNECT2KSR();
    void KermitTimerTimer();
    void UPLOAD_END();
    void EscapeUpLoadPanelClick();

    void enablePortNumber() { comSpinEdit_->setEnabled(true); }
    serial::SerialPort& port() { return port_; }
    const serial::UploadDriver& driver() const { return driver_; }
    // The terms of the next upload (the read-back comes from the check box).
    upload::SessionOptions& sessionOptions() { return options_; }
    ui::CPortTerminal* terminal() const { return terminal_; }
    QTimer& kermitTimer() { return kermitTimer_; }

  private:
    void notConnected();
    void status(upload::StatusKind kind, const QString& text);
    void uploadEnded();
    // One record of uploads.log; one that cannot be written is a warning.
    void log(upload::UploadRecord record);

    Host host_;
    QString ownStatus_;  // the text the upload last put in the status bar
    std::filesystem::path workDir_;
    std::vector<kermit::SendFile> files_;  // read once, before the line is touched
    upload::SessionOptions options_;
    serial::SerialPort port_;
    serial::UploadDriver driver_;
    QTimer kermitTimer_;
    ClickPanel* upLoadPanel_;
    ClickPanel* escapePanel_;
    SpinEdit* comSpinEdit_;
    QCheckBox* verifyCheckBox_;
    ui::CPortTerminal* terminal_;
};

}  // namespace ksr::ui
