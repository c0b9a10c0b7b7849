#include "Line.h"

#include <ostream>

#include "serial/Ports.h"
#include "serial/SessionRunner.h"
#include "serial/StopSignals.h"
#include "setup/TableText.h"
#include "setup/TextFormat.h"

namespace ksr::cli {
namespace {

// What the upload says on standard output: each status once, without its blanks.
class StatusPrinter {
  public:
    explicit StatusPrinter(std::ostream& out) : out_(out) {}
    void operator()(const std::string& text) {
        const std::string trimmed = Trim(text);
        if (trimmed == last_) return;
        last_ = trimmed;
        out_ << "\n[" << trimmed << "]\n" << std::flush;
    }

  private:
    std::ostream& out_;
    std::string last_;
};

}  // namespace

const std::set<std::string> LineOptionNames{"--port", "--com", "--answer-timeout",
                                            "--login-timeout"};

void ParseTimeouts(const Options& parsed, LineChoice& c) {
    for (const auto& [name, value] : parsed.given) {
        if (name == "--answer-timeout") {
            if (!fmt::ParseInt(value, c.answerSeconds) || c.answerSeconds < 1 ||
                c.answerSeconds > 600)
                throw UsageError("--answer-timeout takes 1 to 600 seconds");
        } else if (name == "--login-timeout") {
            if (!fmt::ParseInt(value, c.loginSeconds) || c.loginSeconds < 1 ||
                c.loginSeconds > 86400)
                throw UsageError("--login-timeout takes 1 to 86400 seconds");
        }
    }
}

LineChoice ParseLineChoice(const Options& parsed) {
    LineChoice c;
    for (const auto& [name, value] : parsed.given) {
        if (name == "--port") {
            c.device = value;
        } else if (name == "--com") {
            if (!fmt::ParseInt(value, c.com) || c.com < 1 || c.com > 50)
                throw UsageError("--com takes a port number from 1 to 50");
        }
    }
    ParseTimeouts(parsed, c);
    if (c.device.empty() == (c.com < 0)) throw UsageError("give either --port DEVICE or --com N");
    c.portText = c.device.empty() ? serial::ComDevice(c.com) : c.device;
    return c;
}

upload::SessionOptions LineChoice::sessionOptions() const {
    upload::SessionOptions options;
    options.loginLimitMs = loginSeconds * 1000LL;
    if (answerSeconds > 0)
        options.answerTicks = answerSeconds * 1000 / kermit::KermitSender::TickMs;
    return options;
}

void RunOnRecorder(const LineChoice& choice, upload::UploadSession& session, std::ostream& show,
                   std::ostream& err, const std::function<std::string()>& progress) {
    const serial::StopSignals stopSignals;
    StatusPrinter print(show);
    print(upload::WaitingText);
    if (choice.portText.empty())
        throw serial::SerialError("No serial port is COM" + std::to_string(choice.com) +
                                  " here: 'ksr-config ports' lists them");
    serial::SerialLine line;
    // A /dev/serial/by-id name, too.
    line.open(choice.device.empty() ? choice.portText : serial::DeviceBehind(choice.portText));
    serial::SessionHooks hooks;
    hooks.console = [&show](const std::string& bytes) { show << bytes << std::flush; };
    hooks.status = [&print](upload::StatusKind, const std::string& text) { print(text); };
    hooks.progress = [&] {
        if (progress)
            if (const std::string text = progress(); !text.empty()) print(text);
    };
    hooks.stopRequested = [] { return serial::StopSignals::received() != 0; };
    serial::RunSession(line, session, hooks);
    line.close();
    if (session.loginTimedOut())
        err << "ksr-config: no login on " << choice.portText << " within " << choice.loginSeconds
            << " s: is the recorder attached, switched on and its console free?\n";
}

}  // namespace ksr::cli
