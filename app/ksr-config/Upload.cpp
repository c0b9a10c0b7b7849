#include "Upload.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <atomic>
#include <csignal>
#include <filesystem>
#include <ostream>
#include <stdexcept>

#include "Args.h"
#include "serial/KermitTransfer.h"
#include "serial/SerialPort.h"
#include "setup/TextFormat.h"
#include "upload/UploadDialogue.h"

namespace ksr::cli {

const char* const UploadHelp =
    "Usage: ksr-config upload (--port DEVICE | --com N) [--answer-timeout SECONDS]\n"
    "                         [--login-timeout SECONDS]\n"
    "\n"
    "Uploads the \"*.ini\" files of the working directory to the recorder as the window does:\n"
    "wakes the console with Ctrl-C, logs in, starts the recorder's Kermit receiver, sends the\n"
    "files and, on success, sends the reconfigure command. Status texts and the recorder's\n"
    "console output are printed. Ctrl-C stops the dialogue (or aborts a running transfer).\n"
    "  --port DEVICE            the serial device, e.g. /dev/ttyUSB0 or the simulator's path\n"
    "  --com N                  COM n, numbered as the window numbers ports\n"
    "  --answer-timeout SECONDS how long to wait for each Kermit answer (default 60)\n"
    "  --login-timeout SECONDS  give up when no login got through within this time\n"
    "                           (default: keep trying until Ctrl-C)\n"
    "After the reconfigure command the recorder's \"New Data File ...\" answer is printed, or a\n"
    "warning when none comes within 5 s.\n"
    "Exit status: 0 when the transfer succeeded and the reconfigure command was sent.\n";

namespace {

std::atomic<bool> interrupted{false};

void OnInterrupt(int) {
    interrupted = true;
}

// Waits while processing events; true when Ctrl-C came.
bool Wait(int milliseconds) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < milliseconds) {
        if (interrupted) return true;
        QEventLoop loop;
        QTimer::singleShot(static_cast<int>(std::min<qint64>(20, milliseconds - clock.elapsed())),
                           &loop, &QEventLoop::quit);
        loop.exec();
    }
    return interrupted;
}

class CliLine : public upload::UploadLine {
  public:
    CliLine(serial::SerialPort& port, upload::UploadDialogue*& dialogue)
        : port_(port), dialogue_(dialogue) {}
    // Ends the login dialogue once `seconds` have passed (0: never).
    void setLoginLimit(int seconds) {
        loginLimitMs_ = seconds * 1000LL;
        loginClock_.start();
    }
    void loginDone() { loginLimitMs_ = 0; }
    bool loginTimedOut() const { return loginTimedOut_; }
    bool isOpen() override { return port_.isOpen(); }
    void open() override { port_.open(); }
    void flushIn() override { port_.FlushInBuffer(); }
    void put(const std::string& text) override { port_.PutString(QByteArray::fromStdString(text)); }
    bool waitFor(const std::string& text, int ticks) override {
        const bool found = port_.WaitForString(QByteArray::fromStdString(text), ticks);
        escapeIfInterrupted();
        return found;
    }
    bool clearToSend() override { return port_.ClearToSend(); }
    void setRts(bool on) override { port_.SetRts(on); }
    void sleep(int ms) override {
        Wait(ms);
        escapeIfInterrupted();
    }
    void responsiveWait(int ms) override { sleep(ms); }
    std::uint64_t receivedCount() override { return port_.receivedCount(); }
    std::string receivedTail() override { return port_.receivedTail(); }

  private:
    void escapeIfInterrupted() {
        if (loginLimitMs_ > 0 && loginClock_.elapsed() >= loginLimitMs_) loginTimedOut_ = true;
        if ((interrupted || loginTimedOut_) && dialogue_) dialogue_->requestEscape();
    }
    serial::SerialPort& port_;
    upload::UploadDialogue*& dialogue_;
    long long loginLimitMs_ = 0;
    QElapsedTimer loginClock_;
    bool loginTimedOut_ = false;
};

class CliView : public upload::UploadView {
  public:
    explicit CliView(std::ostream& out) : out_(out) {}
    void status(upload::StatusKind, const std::string& text) override {
        std::string trimmed = text;
        while (!trimmed.empty() && trimmed.front() == ' ') trimmed.erase(0, 1);
        while (!trimmed.empty() && trimmed.back() == ' ') trimmed.pop_back();
        if (trimmed == last_) return;
        last_ = trimmed;
        out_ << "\n[" << trimmed << "]\n" << std::flush;
    }

  private:
    std::ostream& out_;
    std::string last_;
};

}  // namespace

int Upload(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    QString device;
    int com = -1;
    int answerSeconds = 0;  // 0: the written 1092 ticks
    int loginSeconds = 0;
    const Options parsed =
        ParseOptions(args, {"--port", "--com", "--answer-timeout", "--login-timeout"});
    if (!parsed.positional.empty())
        throw UsageError("upload takes no file: it sends the *.ini files of the working directory");
    for (const auto& [name, value] : parsed.given) {
        if (name == "--port") {
            device = QString::fromStdString(value);
        } else if (name == "--com") {
            if (!fmt::ParseInt(value, com) || com < 1 || com > 50)
                throw UsageError("--com takes a port number from 1 to 50");
        } else if (name == "--answer-timeout") {
            if (!fmt::ParseInt(value, answerSeconds) || answerSeconds < 1 || answerSeconds > 600)
                throw UsageError("--answer-timeout takes 1 to 600 seconds");
        } else if (name == "--login-timeout") {
            if (!fmt::ParseInt(value, loginSeconds) || loginSeconds < 1 || loginSeconds > 86400)
                throw UsageError("--login-timeout takes 1 to 86400 seconds");
        }
    }
    if (device.isEmpty() == (com < 0))
        throw std::invalid_argument("give either --port DEVICE or --com N");

    int argc = 1;
    char name[] = "ksr-config";
    char* argv[] = {name, nullptr};
    std::unique_ptr<QCoreApplication> app;
    if (!QCoreApplication::instance()) app = std::make_unique<QCoreApplication>(argc, argv);
    interrupted = false;
    auto previous = std::signal(SIGINT, OnInterrupt);

    serial::SerialPort port;
    if (!device.isEmpty())
        port.setDevice(device);
    else
        port.setPortNumber(com);
    QObject::connect(&port, &serial::SerialPort::received, [&out](const QByteArray& bytes) {
        out.write(bytes.constData(), bytes.size());
        out.flush();
    });
    upload::UploadDialogue* current = nullptr;
    CliLine line(port, current);
    CliView view(out);
    upload::UploadDialogue dialogue(line, view);
    current = &dialogue;

    int code = 1;
    try {
        view.status(upload::StatusKind::Waiting, upload::WaitingText);
        line.setLoginLimit(loginSeconds);
        const bool loggedIn = dialogue.CONNECT2KSR();
        line.loginDone();
        if (!loggedIn) {
            if (line.loginTimedOut())
                err << "ksr-config upload: no login on "
                    << (device.isEmpty() ? "COM" + std::to_string(com) : device.toStdString())
                    << " within " << loginSeconds
                    << " s: is the recorder attached, switched on and its console free?\n";
            else
                err << "ksr-config upload: stopped before the transfer\n";
        } else {
            serial::KermitTransfer transfer(port);
            if (answerSeconds > 0)
                transfer.setAnswerTicks(answerSeconds * 1000 / kermit::KermitSender::TickMs);
            int shownQuarter = -1;
            QObject::connect(&transfer, &serial::KermitTransfer::progress, [&] {
                const auto total = std::max<std::uint64_t>(1, transfer.engine().bytesTotal());
                const int quarter = static_cast<int>(transfer.engine().bytesDone() * 4 / total);
                if (quarter == shownQuarter) return;
                shownQuarter = quarter;
                out << "\n["
                    << "transmitting recorder.ini... " << transfer.progressText().toStdString()
                    << "]\n"
                    << std::flush;
            });
            bool aborted = false;
            try {
                transfer.StartTransmit(std::filesystem::current_path());
            } catch (const KsrError&) {
                dialogue.transferEnded(transfer.ProtocolStatus());
                throw;
            }
            while (transfer.InProgress()) {
                if (Wait(100)) {
                    interrupted = false;
                    aborted = true;
                    transfer.cancel("transfer aborted by the operator");  // tells the receiver
                }
            }
            const auto status = transfer.ProtocolStatus();
            dialogue.transferEnded(status);
            if (status == 0) {
                code = 0;
                const std::string answer = dialogue.awaitNewDataFile(5000);
                if (!answer.empty())
                    out << "\n[" << answer << "]\n";
                else
                    err << "ksr-config upload: warning: no \"New Data File ...\" answer from the "
                           "recorder within 5 s; check its console\n";
            } else if (aborted) {
                err << "ksr-config upload: transfer aborted\n";
            } else {
                err << "ksr-config upload: " << transfer.engine().errorText() << "\n";
            }
        }
    } catch (const KsrError& e) {
        err << "ksr-config upload: " << e.located() << "\n";
    }
    port.close();
    std::signal(SIGINT, previous);
    return code;
}

}  // namespace ksr::cli
