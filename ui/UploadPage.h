#pragma once
// The upload controls of the "UpLoad old SetUp" page: "UpLoad to KSR", "Escape", the COM port
// number and the terminal view of the recorder's console, with the serial port, the Kermit
// transfer and the one-second timer that ends an upload.

#include <QLabel>
#include <QTimer>
#include <filesystem>
#include <functional>
#include <memory>

#include "serial/KermitTransfer.h"
#include "serial/SerialPort.h"
#include "ui/TerminalView.h"
#include "ui/Widgets.h"
#include "upload/UploadDialogue.h"
#include "upload/UploadLog.h"

namespace ksr::ui {

class UploadPage : public QObject, private upload::UploadLine, private upload::UploadView {
    Q_OBJECT
  public:
    struct Host {
        std::function<void(const QColor&, const QString&)> setStatus;
        std::function<QString()> statusText;
        std::function<void()> repaint;
        std::function<void(int)> sleepMs;  // a blocking pause
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
    serial::KermitTransfer& transfer() { return transfer_; }
    ui::CPortTerminal* terminal() const { return terminal_; }
    QTimer& kermitTimer() { return kermitTimer_; }

  private:
    void notConnected();
    void transferOver();
    // One record of uploads.log for this upload; a log that cannot be written is a warning.
    void appendLog(upload::UploadRecord log);

    // The line, for the dialogue.
    bool isOpen() override { return port_.isOpen(); }
    void open() override { port_.open(); }
    void flushIn() override { port_.FlushInBuffer(); }
    void put(const std::string& text) override { port_.PutString(QByteArray::fromStdString(text)); }
    bool waitFor(const std::string& text, int ticks) override {
        return port_.WaitForString(QByteArray::fromStdString(text), ticks);
    }
    bool clearToSend() override { return port_.ClearToSend(); }
    void setRts(bool on) override { port_.SetRts(on); }
    void sleep(int ms) override { host_.sleepMs(ms); }
    void responsiveWait(int ms) override;
    std::uint64_t receivedCount() override { return port_.receivedCount(); }
    std::string receivedTail() override { return port_.receivedTail(); }
    // The status bar, for the dialogue.
    void status(upload::StatusKind kind, const std::string& text) override;
    void repaint() override { host_.repaint(); }

    Host host_;
    QString ownStatus_;  // the text the upload last put in the status bar
    std::filesystem::path workDir_;
    serial::SerialPort port_;
    serial::KermitTransfer transfer_;
    upload::UploadDialogue dialogue_;
    QTimer kermitTimer_;
    ClickPanel* upLoadPanel_;
    ClickPanel* escapePanel_;
    SpinEdit* comSpinEdit_;
    ui::CPortTerminal* terminal_;
};

}  // namespace ksr::ui
