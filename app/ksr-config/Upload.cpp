// ksr-config upload: the *.ini files of a folder sent to the recorder as the window sends them.

#include <filesystem>
#include <ostream>
#include <set>

#include "Args.h"
#include "Commands.h"
#include "Line.h"
#include "serial/Ports.h"
#include "serial/StopSignals.h"
#include "setup/FileIo.h"
#include "setup/TextFormat.h"
#include "upload/SendFiles.h"
#include "upload/UploadLog.h"
#include "upload/UploadSession.h"

namespace ksr::cli {

const char* const UploadHelp =
    "Usage: ksr-config upload (--port DEVICE | --com N) [--dir DIR] [--verify] [--guard]\n"
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
    "  --guard                  after the login read the recorder's recorder.ini first; when\n"
    "                           its station_code or serial_number is not that of the\n"
    "                           recorder.ini to be sent, log out, send nothing and exit 4;\n"
    "                           a recorder without a recorder.ini (a new one) cannot be told\n"
    "                           apart: nothing is sent and the exit status is 5\n"
    "  --com N                  COM n, numbered as the window numbers ports\n"
    "  --answer-timeout SECONDS how long to wait for each Kermit answer (default 60)\n"
    "  --login-timeout SECONDS  give up when no login got through within this time\n"
    "                           (default: keep trying until Ctrl-C)\n"
    "After the reconfigure command the recorder's \"New Data File ...\" answer is printed, or a\n"
    "warning when none comes within 5 s.\n"
    "Every upload appends one JSON line to uploads.log in DIR.\n"
    "Exit status: 0 when the transfer succeeded and the reconfigure command was sent; 1 when\n"
    "it failed or the login was refused; 4 when --guard found another recorder; 5 when --guard\n"
    "found no recorder.ini on the recorder; 130, 143 or 129 after INT, TERM or HUP.\n";

namespace {

// The upload log is never the reason an upload fails: a log that cannot be written is a warning.
void WriteLogOrWarn(const std::filesystem::path& dir, const upload::UploadRecord& log,
                    std::ostream& err) {
    const std::string warning = upload::LogUpload(dir, serial::WithAdapterSerial(log));
    if (!warning.empty()) err << "ksr-config upload: " << warning << "\n";
}

// The record as this program and this line give it.
upload::UploadRecord WithLine(upload::UploadRecord record, const LineChoice& choice) {
    record.program = "ksr-config";
    record.port = choice.portText;
    return record;
}

}  // namespace

int Upload(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::set<std::string> withValue = LineOptionNames;
    withValue.insert("--dir");
    const Options parsed = ParseOptions(args, withValue, {"--verify", "--guard"});
    if (!parsed.positional.empty())
        throw UsageError("upload takes no file: it sends the *.ini files of --dir (default: .)");
    const LineChoice choice = ParseLineChoice(parsed);
    const std::filesystem::path dir = PathOf(parsed.value("--dir").value_or("."));
    if (!std::filesystem::is_directory(dir))
        throw UsageError("--dir " + fmt::Echo(dir.string()) + " is no folder");
    upload::SessionOptions options = choice.sessionOptions();
    options.verify = parsed.has("--verify");
    options.guard = parsed.has("--guard");

    upload::UploadRecord log = WithLine({}, choice);
    // What will be sent, read and said before anything goes on the line: a file that cannot be
    // read, a name the recorder cannot be given and an empty folder end the upload here, and
    // more than recorder.ini may be a surprise.
    std::vector<kermit::SendFile> toSend;
    try {
        toSend = upload::IniFilesToSend(dir);
        if (options.guard) {
            if (!upload::IdentityToSend(toSend).complete())
                throw KsrError(
                    "--guard: the recorder.ini to be sent names no station_code and "
                    "serial_number to compare with the recorder's");
        }
    } catch (const KsrError& e) {
        err << "ksr-config upload: " << e.locatedEscaped() << "\n";
        log = WithLine(upload::FailedUpload(toSend, e.locatedEscaped()), choice);
        WriteLogOrWarn(dir, log, err);
        return BadFile;
    }
    if (toSend.size() > 1 || (toSend.size() == 1 && toSend.front().name != "RECORDER.INI")) {
        out << "Files to send from " << fmt::EchoName(dir.string()) << ":\n";
        for (const auto& f : toSend) out << "  " << f.name << " (" << f.data.size() << " bytes)\n";
    }

    int code = BadFile;
    try {
        upload::UploadSession session(toSend, options);
        int shownQuarter = -1;
        RunOnRecorder(choice, session, out, err, [&] {
            const kermit::KermitSender& sender = session.sender();
            const auto total = std::max<std::uint64_t>(1, sender.bytesTotal());
            const int quarter = static_cast<int>(sender.bytesDone() * 4 / total);
            if (quarter == shownQuarter) return std::string();
            shownQuarter = quarter;
            return upload::ProgressText(sender);
        });
        log = WithLine(session.record(), choice);
        if (!log.error.empty() && !session.loginTimedOut())
            err << "ksr-config upload: " << log.error << "\n";
        if (log.succeeded()) {
            code = Success;
            if (!log.verify.empty()) out << "\n[verified: " << log.verify << "]\n";
            if (!log.newDataFile.empty())
                out << "\n[" << log.newDataFile << "]\n";
            else
                err << "ksr-config upload: warning: no \"New Data File ...\" answer from the "
                       "recorder within 5 s; check its console\n";
        } else if (session.wrongRecorder()) {
            code = WrongRecorder;
        } else if (options.guard && session.noRecorderIni()) {
            code = NoRecorderIni;
        } else if (session.verdict() == upload::Verdict::Differs ||
                   session.verdict() == upload::Verdict::NoAnswer) {
            code = static_cast<int>(session.verdict());
        }
    } catch (const KsrError& e) {
        log = WithLine(upload::FailedUpload(toSend, e.locatedEscaped()), choice);
        err << "ksr-config upload: " << e.locatedEscaped() << "\n";
    }
    if (const int signal = serial::StopSignals::received(); signal != 0) {
        code = 128 + signal;
        log.outcome = upload::Outcome::Aborted;
        if (log.error.empty()) log.error = "stopped by signal " + std::to_string(signal);
    }
    WriteLogOrWarn(dir, log, err);
    return code;
}

}  // namespace ksr::cli
