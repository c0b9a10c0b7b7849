#pragma once
// The upload controls of the "UpLoad old SetUp" page: "UpLoad to KSR", "Escape", the COM port
// number, the read-back check, "Read from KSR" and the terminal view of the recorder's console,
// with the serial port, the upload's driver and the one-second timer that ends an upload.

#include <QCheckBox>
#include <QLabel>
#include <QStringList>
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
        // The memo shows these lines, those flagged marked as differing.
        std::function<void(const QStringList&, const std::vector<bool>&)> showLines;
    };

    UploadPage(QWidget* page, Host host, std::filesystem::path workDir);
    ~UploadPage() override;

    void UpLoadPanelClick();
    void CONNECT2KSR();
    void KermitTimerTimer();
    void UPLOAD_END();
    void EscapeUpLoadPanelClick();
    // Reads the recorder's recorder.ini and shows it against the local one; changes nothing,
    // on the recorder or here.
    void ReadFromKsrPanelClick();

    void enablePortNumber() { comSpinEdit_->setEnabled(true); }
    serial::SerialPort& port() { return port_; }
    const serial::UploadDriver& driver() const { return driver_; }
    // The terms of the next upload (the read-back comes from the check box).
    upload::SessionOptions& sessionOptions() { return options_; }
    ui::CPortTerminal* terminal() const { return terminal_; }
    QTimer& kermitTimer() { return kermitTimer_; }

  private:
    // The port of the COM field opened and the session started; `caption` on the panel.
    void connectPort(ClickPanel* panel, const QString& caption);
    void readEnded(const upload::UploadSession& session);
    void notConnected();
    void status(upload::StatusKind kind, const QString& text);
    void uploadEnded();
    // Called while handling `e`: an upload that never reached the line is logged as failed with
    // its reason, and `e` goes on (with a warning when the log could not be written).
    [[noreturn]] void failedBeforeTheLine(const KsrError& e,
                                          const std::vector<kermit::SendFile>& files);
    // One record of uploads.log; one that cannot be written is a warning.
    void log(upload::UploadRecord record);

    Host host_;
    QString ownStatus_;  // the text the upload last put in the status bar
    std::filesystem::path workDir_;
    std::vector<kermit::SendFile> files_;  // read once, before the line is touched
    upload::SessionOptions options_;
    bool reading_ = false;  // the session running reads recorder.ini back
    serial::SerialPort port_;
    serial::UploadDriver driver_;
    QTimer kermitTimer_;
    ClickPanel* upLoadPanel_;
    ClickPanel* escapePanel_;
    ClickPanel* readPanel_;
    SpinEdit* comSpinEdit_;
    QCheckBox* verifyCheckBox_;
    QLabel* comDeviceLabel_;  // the device the COM field reached last
    QString lastChosen_;      // COM 0: the device chosen last, offered first next time
    ui::CPortTerminal* terminal_;
};

}  // namespace ksr::ui
