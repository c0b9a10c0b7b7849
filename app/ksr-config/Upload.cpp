#include "Upload.h"

#include <signal.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <array>
#include <atomic>
#include <csignal>
#include <filesystem>
#include <ostream>
#include <stdexcept>

#include "Args.h"
#include "Commands.h"
#include "kermit/KermitFiles.h"
#include "serial/KermitTransfer.h"
#include "serial/PortList.h"
#include "serial/SerialPort.h"
#include "setup/FileIo.h"
#include "setup/Json.h"
#include "setup/TextFormat.h"
#include "upload/Checksums.h"
#include "upload/UploadDialogue.h"
#include "upload/UploadLog.h"

namespace ksr::cli {

const char* const UploadHelp =
    "Usage: ksr-config upload (--port DEVICE | --com N) [--dir DIR] [--verify]\n"
    "                         [--answer-timeout SECONDS] [--login-timeout SECONDS]\n"
    "\n"
    "Uploads the \"*.ini\" files of the working directory to the recorder as the window does:\n"
    "wakes the console with Ctrl-C, logs in, starts the recorder's Kermit receiver, sends the\n"
    "files and, on success, sends the reconfigure command. Status texts and the recorder's\n"
    "console output are printed. Ctrl-C, a kill (TERM) or a closed terminal (HUP) stops the\n"
    "dialogue, or aborts a running transfer and tells the recorder's receiver.\n"
    "The files are checked before the line is touched: none at all, one that cannot be read,\n"
    "a name with other characters than letters, digits, '.', '_' and '-', or two names that\n"
    "differ only in case end the upload with nothing sent.\n"
    "  --port DEVICE            the serial device, e.g. /dev/ttyUSB0, a /dev/serial/by-id/...\n"
    "                           name, or the simulator's path\n"
    "  --dir DIR                send the *.ini files of DIR (default: the working directory);\n"
    "                           when there is more than recorder.ini they are listed first\n"
    "  --verify                 after the transfer ask the recorder for cksum of each file\n"
    "                           sent and compare with what was sent; the reconfigure command\n"
    "                           follows only when all match (exit 1 on a mismatch, 3 without\n"
    "                           a usable answer, and then no reconfigure command)\n"
    "  --com N                  COM n, numbered as the window numbers ports\n"
    "  --answer-timeout SECONDS how long to wait for each Kermit answer (default 60)\n"
    "  --login-timeout SECONDS  give up when no login got through within this time\n"
    "                           (default: keep trying until Ctrl-C)\n"
    "After the reconfigure command the recorder's \"New Data File ...\" answer is printed, or a\n"
    "warning when none comes within 5 s.\n"
    "Every upload appends one JSON line to uploads.log in DIR.\n"
    "Exit status: 0 when the transfer succeeded and the reconfigure command was sent; 1 when\n"
    "it failed or the login was refused; 130, 143 or 129 after INT, TERM or HUP.\n";

const char* const PortsHelp =
    "Usage: ksr-config ports [--json]\n"
    "\n"
    "Lists the serial ports present, one a line: the COM number as the window numbers it, the\n"
    "device, its stable /dev/serial/by-id name where there is one, and the adapter's\n"
    "description, maker and serial number. Exit status 0, also when there is none.\n";

namespace {

// Ctrl-C, a kill or a closed terminal: the upload ends as the operator's stop would, with the
// receiver told and the log written. The signal's number, 0 while none came.
std::atomic<int> stopSignal{0};
std::atomic<bool> interrupted{false};

extern "C" void OnStopSignal(int signalNumber) {
    stopSignal = signalNumber;
    interrupted = true;
}

// The stop signals handled while an upload runs; the earlier handlers come back afterwards.
class StopSignals {
  public:
    StopSignals() {
        stopSignal = 0;
        interrupted = false;
        struct sigaction stop {};
        stop.sa_handler = OnStopSignal;
        sigemptyset(&stop.sa_mask);
        for (std::size_t i = 0; i < kSignals.size(); ++i)
            sigaction(kSignals[i], &stop, &previous_[i]);
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        sigaction(SIGPIPE, &ignore, &previousPipe_);  // a closed output must not end the upload
    }
    ~StopSignals() {
        for (std::size_t i = 0; i < kSignals.size(); ++i)
            sigaction(kSignals[i], &previous_[i], nullptr);
        sigaction(SIGPIPE, &previousPipe_, nullptr);
    }
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

  private:
    static constexpr std::array<int, 3> kSignals{SIGINT, SIGTERM, SIGHUP};
    std::array<struct sigaction, 3> previous_{};
    struct sigaction previousPipe_ {};
};

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

namespace {

// The adapter's serial number for a device, when the port list knows it.
std::string AdapterSerialOf(const QString& device) {
    const QString resolved = serial::ResolvedDevice(device);
    for (const auto& p : serial::PresentPorts())
        if (p.device == resolved) return p.serialNumber.toStdString();
    return {};
}

// What the read-back found; the values are the exit statuses of `upload --verify`.
enum Verdict : int { Verified = 0, Differs = 1, NoAnswer = 3 };

// Asks the recorder's shell for cksum of each sent file and compares with the bytes that were
// sent; the worst verdict of the files, and in `text` what was found. The names are
// safe ones (letters, digits, "._-"), and quoted all the same.
Verdict VerifyOnRecorder(serial::SerialPort& port, upload::UploadLine& line,
                         const std::vector<kermit::SendFile>& files, std::string& text) {
    Verdict worst = Verified;
    for (const auto& f : files) {
        const std::string name = fmt::LowerAscii(f.name);  // as the receiver stored it
        if (!kermit::IsSafeSendName(name)) throw KsrError("no cksum for " + fmt::EchoName(name));
        const std::string expected =
            std::to_string(upload::PosixCksum(f.data)) + " " + std::to_string(f.data.size());
        const std::uint64_t before = line.receivedCount();
        port.PutString(QByteArray::fromStdString("cksum '/usr/local/wexo/" + name + "'\r"));
        std::string answer;
        for (int waited = 0; waited < 5000 && answer.empty(); waited += 50) {
            line.responsiveWait(50);
            std::string tail = line.receivedTail();
            const std::uint64_t fresh = line.receivedCount() - before;
            if (fresh < tail.size()) tail.erase(0, tail.size() - static_cast<std::size_t>(fresh));
            const std::string path = " /usr/local/wexo/" + name;
            const std::size_t at = tail.rfind(path + "\r");  // the answer comes after the echo
            if (at == std::string::npos) continue;
            const std::size_t start = tail.find_last_of("\n", at);
            const std::string numbers =
                tail.substr(start == std::string::npos ? 0 : start + 1,
                            at - (start == std::string::npos ? 0 : start + 1));
            // "CRC SIZE": two whole numbers, nothing else (not the echo of the command).
            if (numbers.find_first_not_of("0123456789 ") == std::string::npos &&
                numbers.find(' ') != std::string::npos)
                answer = numbers;
        }
        if (answer.empty()) {
            text += name + ": no usable answer; ";
            worst = NoAnswer;
        } else if (answer != expected) {
            text += name + ": recorder " + answer + ", here " + expected + "; ";
            if (worst != NoAnswer) worst = Differs;
        } else {
            text += name + ": " + answer + " verified; ";
        }
    }
    if (text.size() >= 2) text.resize(text.size() - 2);
    return worst;
}

}  // namespace

namespace {

// The recorder's answer to the reconfigure command, printed and logged.
void awaitNewDataFile(upload::UploadDialogue& dialogue, upload::UploadRecord& log,
                      std::ostream& out, std::ostream& err) {
    log.newDataFile = dialogue.awaitNewDataFile(5000);
    if (!log.newDataFile.empty())
        out << "\n[" << log.newDataFile << "]\n";
    else
        err << "ksr-config upload: warning: no \"New Data File ...\" answer from the "
               "recorder within 5 s; check its console\n";
}

}  // namespace

// The upload log is never the reason an upload fails: a log that cannot be written is a warning.
void WriteLogOrWarn(const std::filesystem::path& dir, const upload::UploadRecord& log,
                    std::ostream& err) {
    try {
        upload::AppendUploadLog(dir, log);
    } catch (const KsrError& e) {
        err << "ksr-config upload: warning: the upload log was not written: " << e.locatedEscaped()
            << "\n";
    }
}

int Ports(const std::vector<std::string>& args, std::ostream& out, std::ostream&) {
    const Options parsed = ParseOptions(args, {}, {"--json"});
    if (!parsed.positional.empty()) throw UsageError("ports takes no argument");
    const auto ports = serial::PresentPorts();
    if (parsed.has("--json")) {
        std::vector<std::string> items;
        auto orNull = [](const QString& t) { return json::StrOrNull(t.toStdString()); };
        for (const auto& p : ports)
            items.push_back(json::Object({{"com", std::to_string(p.number)},
                                          {"device", orNull(p.device)},
                                          {"by_id", orNull(p.byId)},
                                          {"description", orNull(p.product)},
                                          {"manufacturer", orNull(p.manufacturer)},
                                          {"serial_number", orNull(p.serialNumber)}}));
        out << json::Object({{"ports", json::Array(items)}}) << "\n";
        return Success;
    }
    for (const auto& p : ports) {
        out << "COM" << p.number << "  " << p.device.toStdString();
        if (!p.byId.isEmpty()) out << "  " << p.byId.toStdString();
        for (const QString& part : {p.product, p.manufacturer, p.serialNumber})
            if (!part.isEmpty()) out << "  " << part.toStdString();
        out << "\n";
    }
    return Success;
}

int Upload(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    QString device;
    int com = -1;
    int answerSeconds = 0;  // 0: the engine's 1092 ticks (60 s)
    int loginSeconds = 0;
    const Options parsed = ParseOptions(
        args, {"--port", "--com", "--answer-timeout", "--login-timeout", "--dir"}, {"--verify"});
    if (!parsed.positional.empty())
        throw UsageError("upload takes no file: it sends the *.ini files of --dir (default: .)");
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
    if (device.isEmpty() == (com < 0)) throw UsageError("give either --port DEVICE or --com N");
    const std::filesystem::path dir = parsed.value("--dir").value_or(".");
    if (!std::filesystem::is_directory(dir))
        throw UsageError("--dir " + fmt::Echo(dir.string()) + " is no folder");
    const bool verify = parsed.has("--verify");

    // What will be sent, read and said before anything goes on the line: a file that cannot be
    // read, a name the recorder cannot be given and an empty folder end the upload here, and
    // more than recorder.ini may be a surprise.
    upload::UploadRecord log;
    log.program = "ksr-config";
    log.port = device.isEmpty() ? serial::DeviceForCom(com).toStdString() : device.toStdString();
    log.adapterSerial = AdapterSerialOf(QString::fromStdString(log.port));
    std::vector<kermit::SendFile> toSend;
    try {
        toSend = kermit::IniFilesToSend(dir);
    } catch (const KsrError& e) {
        err << "ksr-config upload: " << e.locatedEscaped() << "\n";
        log.result = "failed";
        log.error = e.locatedEscaped();
        log.timeUtc = upload::NowUtcIso8601();
        WriteLogOrWarn(dir, log, err);
        return BadFile;
    }
    if (toSend.size() > 1 || (toSend.size() == 1 && toSend.front().name != "RECORDER.INI")) {
        out << "Files to send from " << fmt::EchoName(dir.string()) << ":\n";
        for (const auto& f : toSend) out << "  " << f.name << " (" << f.data.size() << " bytes)\n";
    }

    int argc = 1;
    char name[] = "ksr-config";
    char* argv[] = {name, nullptr};
    std::unique_ptr<QCoreApplication> app;
    if (!QCoreApplication::instance()) app = std::make_unique<QCoreApplication>(argc, argv);
    const StopSignals stopSignals;

    serial::SerialPort port;
    if (!device.isEmpty())
        port.setDevice(serial::ResolvedDevice(device));  // a /dev/serial/by-id name, too
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

    for (const auto& f : toSend) log.files.push_back({f.name, f.data});
    log.result = "failed";

    int code = 1;
    bool receiverMayWait = false;  // a receiver was started and may not have been told to end
    try {
        view.status(upload::StatusKind::Waiting, upload::WaitingText);
        line.setLoginLimit(loginSeconds);
        const bool loggedIn = dialogue.CONNECT2KSR();
        line.loginDone();
        if (!loggedIn) {
            receiverMayWait = dialogue.receiverStarted();
            if (dialogue.loginRefused()) {
                log.error = dialogue.refusalText();
                err << "ksr-config upload: " << dialogue.refusalText() << "\n";
            } else if (line.loginTimedOut()) {
                log.result = "aborted";
                log.error = "no login within " + std::to_string(loginSeconds) + " s";
                err << "ksr-config upload: no login on "
                    << (device.isEmpty() ? "COM" + std::to_string(com) : device.toStdString())
                    << " within " << loginSeconds
                    << " s: is the recorder attached, switched on and its console free?\n";
            } else {
                log.result = "aborted";
                log.error = "stopped before the transfer";
                err << "ksr-config upload: stopped before the transfer\n";
            }
        } else {
            receiverMayWait = true;
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
            transfer.StartTransmit(toSend);  // exactly what was read, listed and logged
            while (transfer.InProgress()) {
                if (Wait(100)) {
                    interrupted = false;
                    aborted = true;
                    transfer.cancel("transfer aborted by the operator");  // tells the receiver
                }
            }
            const auto status = transfer.ProtocolStatus();
            // The receiver has ended the transfer with us: done, or told by the engine's error
            // packet. It lets go of the console by itself.
            receiverMayWait = false;
            // A stop that came with the end of the transfer: the file is there, but not applied.
            const bool stopped = stopSignal != 0;
            dialogue.transferEnded(status, !verify && !stopped);
            const bool sent = status == kermit::Success;
            if (sent && stopped) {
                log.error = "stopped after the transfer: the reconfigure command was not sent";
                err << "ksr-config upload: " << log.error << "\n";
            } else if (sent && !verify) {
                code = 0;
                log.result = "success";
                awaitNewDataFile(dialogue, log, out, err);
            } else if (sent) {
                // Checked before the reconfigure command: a file damaged on its way is never
                // applied.
                const Verdict verdict = VerifyOnRecorder(port, line, toSend, log.verify);
                out << "\n[" << (verdict == Verified ? "verified: " : "NOT verified: ")
                    << log.verify << "]\n";
                if (verdict == Verified && stopSignal != 0) {
                    log.error = "stopped after the check: the reconfigure command was not sent";
                    err << "ksr-config upload: " << log.error << "\n";
                } else if (verdict == Verified) {
                    code = 0;
                    log.result = "success";
                    dialogue.reconfigure();
                    awaitNewDataFile(dialogue, log, out, err);
                } else {
                    code = verdict;
                    log.error =
                        std::string(verdict == Differs ? "a file differs on the recorder"
                                                       : "the recorder gave no usable cksum") +
                        ": the reconfigure command was not sent";
                    err << "ksr-config upload: " << log.error << "\n";
                }
            } else if (aborted) {
                log.result = "aborted";
                log.error = "transfer aborted";
                err << "ksr-config upload: transfer aborted\n";
            } else {
                log.error = transfer.engine().errorText();
                err << "ksr-config upload: " << transfer.engine().errorText() << "\n";
            }
        }
    } catch (const KsrError& e) {
        log.error = e.locatedEscaped();
        err << "ksr-config upload: " << e.locatedEscaped() << "\n";
    }
    if (stopSignal != 0) {
        code = 128 + stopSignal;
        log.result = "aborted";
        if (log.error.empty()) log.error = "stopped by signal " + std::to_string(stopSignal);
    }
    // A stop while a receiver may still wait for packets: it is told to end and the console is
    // woken, so that the next upload finds a login prompt.
    try {
        if (port.isOpen() && (receiverMayWait || stopSignal != 0)) {
            interrupted = false;
            if (receiverMayWait)
                dialogue.releaseReceiver();
            else
                port.PutString(QByteArray(1, '\x03'));
            Wait(300);
        }
    } catch (const KsrError&) {
    }
    log.timeUtc = upload::NowUtcIso8601();
    WriteLogOrWarn(dir, log, err);
    port.close();
    return code;
}

}  // namespace ksr::cli
