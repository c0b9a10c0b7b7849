#include "upload/UploadSession.h"

#include <algorithm>
#include <utility>

#include "setup/FileIo.h"
#include "setup/TextFormat.h"
#include "upload/Checksums.h"
#include "upload/RecorderConsole.h"

namespace ksr::upload {
namespace {

constexpr char kEtx = console::Etx;
// Each command as it goes on the line.
const std::string kUser = std::string(console::User) + console::Enter;
const std::string kPassword = std::string(console::Password) + console::Enter;
const std::string kLogout = std::string(console::Logout) + console::Enter;
const std::string kChangeDirectory = std::string(console::ChangeDirectory) + console::Enter;
const std::string kStartReceiver = std::string(console::StartReceiver) + console::Enter;
const std::string kSendRecorderIni = std::string(console::SendRecorderIni) + console::Enter;
const std::string kReturn(1, console::Enter);
const std::string kReconfigure = std::string(console::Reconfigure) + console::Enter;
const std::string kFolder = std::string(console::Folder) + "/";
constexpr std::size_t kKept = 4096;  // console bytes kept for the prompts and answers

// The received text without the blanks and line ends at its end.
std::string TrimmedEnd(std::string text) {
    while (!text.empty() && (text.back() == ' ' || text.back() == '\r' || text.back() == '\n'))
        text.pop_back();
    return text;
}

// The last line of what the recorder printed, for a message.
std::string LastLine(const std::string& text) {
    std::string lines = TrimmedEnd(text);
    std::string last;
    std::size_t end = lines.size();
    while (last.empty() && end > 0) {
        const std::size_t start = lines.find_last_of("\r\n", end - 1);
        const std::size_t from = start == std::string::npos ? 0 : start + 1;
        last = lines.substr(from, end - from);
        end = start == std::string::npos ? 0 : start;
    }
    return last;
}

// The shell's prompt ends what came: the receiver has exited and the shell reads the line.
bool EndsWithShellPrompt(const std::string& text) {
    return text.size() >= 2 && text.back() == ' ' &&
           (text[text.size() - 2] == '#' || text[text.size() - 2] == '$');
}

// The line being printed: what came after the last line end, blanks at its end taken off.
std::string OpenLine(const std::string& text) {
    const std::size_t end = text.find_last_of("\r\n");
    std::string line = end == std::string::npos ? text : text.substr(end + 1);
    while (!line.empty() && line.back() == ' ') line.pop_back();
    return line;
}

// A new login prompt stands on the open line; a banner's "Last login:" does not count, even
// while the rest of its line has not come.
bool EndsWithLoginPrompt(const std::string& text) {
    const std::string line = fmt::LowerAscii(OpenLine(text));
    return line.size() >= 6 && line.compare(line.size() - 6, 6, "login:") == 0 &&
           line.rfind("last login", 0) != 0;
}

// The login program's refusal: "Login incorrect" on a whole line of its own.
std::string RefusalLine(const std::string& text) {
    std::size_t from = 0;
    for (std::size_t end = text.find_first_of("\r\n"); end != std::string::npos;
         from = end + 1, end = text.find_first_of("\r\n", from)) {
        std::string line = text.substr(from, end - from);
        while (!line.empty() && line.back() == ' ') line.pop_back();
        while (!line.empty() && line.front() == ' ') line.erase(0, 1);
        if (fmt::LowerAscii(line) == fmt::LowerAscii(console::Refusal)) return line;
    }
    return {};
}

// A shell answered: its prompt stands on the open line.
bool ShellAnswered(const std::string& text) {
    const std::string line = OpenLine(text);
    return !line.empty() && (line.back() == '#' || line.back() == '$');
}

void Keep(std::string& buffer, const std::string& bytes) {
    buffer += bytes;
    if (buffer.size() > kKept) buffer.erase(0, buffer.size() - kKept);
}

}  // namespace

Identity IdentityOf(const std::string& recorderIni) {
    const std::vector<std::string> lines = SplitLines(recorderIni);
    const std::vector<std::string> stations = KeyValues(lines, "station_code");
    const std::vector<std::string> serials = KeyValues(lines, "serial_number");
    Identity id;
    // A key missing, empty or given more than once names no one recorder: a file that says
    // two things must not pass for either.
    auto judge = [&id](const char* key, const std::vector<std::string>& values, std::string& into) {
        std::string problem;
        if (values.empty()) {
            problem = std::string("no ") + key;
        } else if (values.size() > 1) {
            problem = std::string(key) + " given " + std::to_string(values.size()) + " times (";
            for (std::size_t i = 0; i < values.size(); ++i)
                problem += (i ? ", " : "") + fmt::Echo(values[i]);
            problem += ")";
        } else if (values.front().empty()) {
            problem = std::string(key) + " empty";
        } else {
            into = values.front();
        }
        if (!problem.empty()) id.problem += (id.problem.empty() ? "" : ", ") + problem;
    };
    judge("station_code", stations, id.stationCode);
    judge("serial_number", serials, id.serialNumber);
    return id;
}

Identity IdentityToSend(const std::vector<kermit::SendFile>& files) {
    for (const auto& f : files)
        if (f.name == "RECORDER.INI") return IdentityOf(f.data);
    return {};
}

std::string IdentityText(const Identity& id) {
    if (!id.problem.empty()) return "no one recorder: " + id.problem;
    return "station " + fmt::Echo(id.stationCode) + ", serial " + fmt::Echo(id.serialNumber);
}

std::string ProgressText(const kermit::KermitSender& sender) {
    return std::string(TransmittingText) + std::to_string(sender.bytesDone()) + " of " +
           std::to_string(sender.bytesTotal()) + " bytes";
}

std::string UploadSession::ReleaseBytes(int seq) {
    // Once with each block check: a receiver left by an upload checks with one character, a
    // sender left by a read with the CRC it agreed; each takes its own and drops the other.
    return "#" + kermit::Packet(seq, 'E', ReleaseText, 1) + "#" +
           kermit::Packet(seq, 'E', ReleaseText, 3);
}

int UploadSession::ExpectedSequence(const std::string& text) {
    for (std::size_t at = text.rfind('\x01'); at != std::string::npos;
         at = at == 0 ? std::string::npos : text.rfind('\x01', at - 1)) {
        if (at + 3 >= text.size()) continue;
        const int seq = kermit::UnChar(text[at + 2]);
        const char type = text[at + 3];
        if (seq < 0 || seq > 63) continue;
        if (type == 'N') return seq;
        if (type == 'Y') return (seq + 1) % 64;
        // A sender left over from a read sends its packet again and waits for the answer to it.
        if (std::string("SFDZBA").find(type) != std::string::npos) return seq;
    }
    return -1;
}

UploadRecord FailedUpload(const std::vector<kermit::SendFile>& files, const std::string& error) {
    UploadRecord record;
    for (const auto& f : files) record.files.push_back({f.name, f.data});
    record.outcome = Outcome::Failed;
    record.error = error;
    return record;
}

UploadSession::UploadSession(std::vector<kermit::SendFile> files, SessionOptions options)
    : files_(std::move(files)), options_(std::move(options)), record_(FailedUpload(files_, "")) {}

std::vector<LineAction> UploadSession::takeActions() {
    return std::exchange(actions_, {});
}

std::vector<StatusChange> UploadSession::takeStatuses() {
    return std::exchange(statuses_, {});
}

void UploadSession::put(const std::string& bytes) {
    actions_.push_back({false, bytes});
}

void UploadSession::status(StatusKind kind, const std::string& text) {
    statuses_.push_back({kind, text});
}

bool UploadSession::dialogue() const {
    return phase_ >= Phase::Opened && phase_ <= Phase::ReceiverStart;
}

void UploadSession::enter(Phase phase, long long now, long long forMs) {
    phase_ = phase;
    phaseAt_ = now;
    wakeAt_ = forMs < 0 ? -1 : now + forMs;
    if (dialogue() && options_.loginLimitMs > 0) {
        const long long limit = startedAt_ + options_.loginLimitMs;
        wakeAt_ = wakeAt_ < 0 ? limit : std::min(wakeAt_, limit);
    }
}

void UploadSession::start(long long now) {
    startedAt_ = now;
    enter(Phase::Opened, now, 200);
}

void UploadSession::received(const std::string& bytes, long long now) {
    if (bytes.empty() || phase_ == Phase::Done) return;
    if (phase_ == Phase::Transfer) {
        sender_.receive(bytes);
        pumpTransfer(now);
        return;
    }
    if (phase_ == Phase::Reading || phase_ == Phase::StopRead) {
        if (!receiver_.started()) Keep(since_, bytes);
        receiver_.receive(bytes);
        phase_ == Phase::StopRead ? stopRead(now) : pumpRead(now);
        return;
    }
    Keep(pending_, bytes);
    Keep(since_, bytes);
    Keep(console_, bytes);
    switch (phase_) {
        case Phase::WaitLogin:
            if (awaitPrompt(LoginPrompt)) {
                loginPromptCame_ = consoleAnswered_ = true;
                status(StatusKind::Connected, ConnectedText);
                enter(Phase::AfterLogin, now, 1000);
            }
            break;
        case Phase::WaitPassword:
            if (awaitPrompt(PasswordPrompt)) enter(Phase::PasswordPause, now, 100);
            break;
        case Phase::LoginAnswer:
            loginAnswer(now);
            break;
        case Phase::Settle:
            if (EndsWithShellPrompt(since_))
                reading_ ? readEnded(now) : returnToShell(now);
            else
                wakeAt_ = std::min(now + QuietBeforeReturnMs, phaseAt_ + SettleLimitMs);
            break;
        case Phase::ReturnSent:
            if (now - phaseAt_ >= 100) afterReturn(now);
            break;
        case Phase::Verify:
            cksumAnswer(now, false);
            break;
        case Phase::NewDataFile: {
            const std::size_t at = since_.rfind(NewDataFileText);
            const std::size_t end = at == std::string::npos ? at : since_.find_first_of("\r\n", at);
            if (end != std::string::npos) {
                record_.newDataFile = since_.substr(at, end - at);
                finish(Outcome::Success, "", now);
            }
            break;
        }
        default:
            break;
    }
}

// Whether `prompt` has come (case ignored); what it ends is used up. Nothing more is used while
// it has not: the wait's end leaves the last bytes, which may begin the prompt.
bool UploadSession::awaitPrompt(const std::string& prompt) {
    const std::size_t at = fmt::LowerAscii(pending_).find(fmt::LowerAscii(prompt));
    if (at == std::string::npos) return false;
    pending_.erase(0, at + prompt.size());
    return true;
}

void UploadSession::advance(long long now, bool clearToSend) {
    if (wakeAt_ < 0 || now < wakeAt_ || phase_ == Phase::Done) return;
    if (dialogue() && options_.loginLimitMs > 0 && now - startedAt_ >= options_.loginLimitMs) {
        loginTimedOut_ = true;
        const std::string error =
            "no login within " + std::to_string(options_.loginLimitMs / 1000) + " s";
        if (receiverStarted_) {
            record_.outcome = Outcome::Aborted;
            record_.error = error;
            put(ReleaseBytes(0) + std::string(1, kEtx));
            enter(Phase::Releasing, now, ReleasePauseMs);
        } else {
            finish(Outcome::Aborted, error, now);
        }
        return;
    }
    run(now, clearToSend);
}

void UploadSession::run(long long now, bool cts) {
    switch (phase_) {
        case Phase::Opened:
            actions_.push_back({true, {}});
            pending_.clear();
            console_.clear();
            mark();
            put(std::string(1, kEtx));
            enter(Phase::EtxSent, now, 200);
            break;
        case Phase::EtxSent:
        case Phase::CtsAgain:
            pass(now, cts);
            break;
        case Phase::CtsOff:
            // RTS back on: with hardware flow control RTS is the receive handshake, and the
            // port keeps it so; only the pauses of the requests show on the line.
            enter(Phase::CtsAgain, now, 2000);
            break;
        case Phase::WaitLogin:
            // The wait uses up what came, but for bytes that may begin the prompt.
            if (pending_.size() >= std::string(LoginPrompt).size())
                pending_.erase(0, pending_.size() - std::string(LoginPrompt).size() + 1);
            loginPromptCame_ = false;
            status(StatusKind::Waiting, NoAnswerText);
            enter(Phase::AfterLogin, now, 1000);
            break;
        case Phase::AfterLogin:
            if (!loginPromptCame_) {
                missedPrompt(now);
                break;
            }
            put(kUser);
            enter(Phase::WaitPassword, now, PasswordTicks * TickMs);
            if (awaitPrompt(PasswordPrompt)) enter(Phase::PasswordPause, now, 100);
            break;
        case Phase::WaitPassword:
            if (pending_.size() >= std::string(PasswordPrompt).size())
                pending_.erase(0, pending_.size() - std::string(PasswordPrompt).size() + 1);
            missedPrompt(now);
            break;
        case Phase::PasswordPause:
            mark();
            put(kPassword);
            enter(Phase::AfterPassword, now, 2000);
            break;
        case Phase::AfterPassword:
            enter(Phase::LoginAnswer, now, ShellPromptLimitMs);
            loginAnswer(now);
            break;
        case Phase::LoginAnswer:
            refused_ = true;
            status(StatusKind::Failure, FailureText);
            finish(Outcome::Failed,
                   std::string("no shell prompt came after the login as ") + LoginUser +
                       " (is the password right?); nothing more was sent",
                   now);
            break;
        case Phase::RtsPause:
            if (!loginPromptCame_ && !ShellAnswered(console_)) {
                // gkermit answers a release with the wrong sequence number by its last ACK,
                // which names the right one.
                const int seq = ExpectedSequence(since_);
                if (seq >= 0) put(ReleaseBytes(seq) + std::string(1, kEtx));
            }
            put(kLogout);
            enter(Phase::LogoutPause, now, 100);
            break;
        case Phase::LogoutPause:
            loginAttempt(now);
            break;
        case Phase::ChangeDir:
            if (readFirst()) {
                startRead(now);
                break;
            }
            startReceiver(now);
            break;
        case Phase::ReceiverStart:
            startTransfer(now);
            break;
        case Phase::Transfer: {
            const long long due = (now - phaseAt_) / TickMs;
            for (; ticksGiven_ < due && sender_.InProgress(); ++ticksGiven_) sender_.tick();
            pumpTransfer(now);
            break;
        }
        case Phase::Reading:
        case Phase::StopRead: {
            const long long due = (now - phaseAt_) / TickMs;
            for (; ticksGiven_ < due && receiver_.InProgress(); ++ticksGiven_) receiver_.tick();
            phase_ == Phase::StopRead ? stopRead(now) : pumpRead(now);
            break;
        }
        case Phase::Settle:
            reading_ ? readEnded(now) : returnToShell(now);
            break;
        case Phase::ReturnSent:
            afterReturn(now);
            break;
        case Phase::Verify:
            cksumAnswer(now, true);
            break;
        case Phase::NewDataFile:
            finish(Outcome::Success, "", now);
            break;
        case Phase::Releasing:
            enter(Phase::Done, now);
            break;
        default:
            break;
    }
}

// One pass of the attempt loop: without CTS the recorder is asked again in a while; with it,
// login attempts until one gets through.
void UploadSession::pass(long long now, bool cts) {
    if (cts) {
        loginAttempt(now);
        return;
    }
    enter(Phase::CtsOff, now, 200);  // RTS off for 200 ms, then on
}

void UploadSession::loginAttempt(long long now) {
    mark();
    enter(Phase::WaitLogin, now, LoginTicks * TickMs);
    if (awaitPrompt(LoginPrompt)) {
        loginPromptCame_ = consoleAnswered_ = true;
        status(StatusKind::Connected, ConnectedText);
        enter(Phase::AfterLogin, now, 1000);
    }
}

// No login prompt, or no password prompt after it: the attempt ends with "logout". When neither
// a login prompt nor a shell's prompt answered, a Kermit left over from an earlier upload or read
// may hold the console: it is told to end with an error packet and Ctrl-C. C-Kermit takes the
// packet whatever its sequence number; gkermit only with the one it waits for. A shell still
// logged in is only logged out.
void UploadSession::missedPrompt(long long now) {
    if (!loginPromptCame_ && !ShellAnswered(console_))
        put(ReleaseBytes(std::max(0, ExpectedSequence(since_))) + std::string(1, kEtx));
    mark();
    enter(Phase::RtsPause, now, 200);
}

// After the password: the shell's prompt is the sign of a login that got through; a refusal ends
// the upload here, before anything is typed into a login prompt.
void UploadSession::loginAnswer(long long now) {
    const std::string end = TrimmedEnd(since_);
    // Only the login program's own refusal counts: a banner's words and a line still coming
    // do not.
    const std::string refusal = RefusalLine(since_);
    if (!refusal.empty() || EndsWithLoginPrompt(since_)) {
        // The refusal's own words where it gave some, else the prompt that came back.
        const std::string said = refusal.empty() ? LastLine(since_) : refusal;
        refused_ = true;
        status(StatusKind::Failure, FailureText);
        finish(Outcome::Failed,
               std::string("the recorder refused the login as ") + LoginUser + " (it answered \"" +
                   fmt::Echo(said) + "\"); nothing more was sent",
               now);
        return;
    }
    if (end.empty() || (end.back() != '#' && end.back() != '$' && end.back() != '>')) return;
    status(StatusKind::Transmitting,
           readFirst() ? ReadingText : TransmittingText);
    loggedIn_ = true;
    put(kChangeDirectory);
    enter(Phase::ChangeDir, now, 1000);
}

void UploadSession::startTransfer(long long now) {
    transferStarted_ = true;
    sender_.setAnswerTicks(options_.answerTicks);
    sender_.StartTransmit(files_);
    ticksGiven_ = 0;
    enter(Phase::Transfer, now);
    pumpTransfer(now);
}

void UploadSession::startRead(long long now) {
    mark();
    put(kSendRecorderIni);
    receiver_.start();
    ticksGiven_ = 0;
    enter(Phase::Reading, now);
    pumpRead(now);
}

void UploadSession::pumpRead(long long now) {
    std::string out = receiver_.takeOutput();
    // Until the recorder's Kermit has started, the shell may read what we send: a '#' before a
    // packet makes it a comment there, and Kermit skips what comes before a packet's mark.
    if (!out.empty()) put(receiver_.started() ? out : "#" + out);
    if (receiver_.InProgress() && !receiver_.started() && EndsWithShellPrompt(since_)) {
        // The shell's prompt is back: no Kermit is sending ("?File not found", no kermit).
        receiver_.cancel("nothing came");
        const std::size_t promptLine = since_.find_last_of("\r\n");
        const std::string said = LastLine(
            promptLine == std::string::npos ? std::string() : since_.substr(0, promptLine));
        noRecorderIni_ = said.find(console::FileNotFound) != std::string::npos;
        record_.error =
            noRecorderIni_
                ? "the recorder has no recorder.ini yet (it answered \"" + fmt::Echo(said) + "\")"
                : "the recorder's Kermit sent nothing (it answered \"" + fmt::Echo(said) + "\")";
        receiver_.takeOutput();
    }
    if (receiver_.InProgress()) {
        wakeAt_ = phaseAt_ + (ticksGiven_ + 1) * TickMs;
        return;
    }
    if (receiver_.ProtocolStatus() == kermit::Success && receiver_.files().size() == 1) {
        readSucceeded_ = true;
        recorderIni_ = receiver_.files().front().data;
        const Identity id = IdentityOf(recorderIni_);
        record_.recorderStationCode = id.stationCode;
        record_.recorderSerialNumber = id.serialNumber;
    } else if (record_.error.empty()) {
        record_.error = receiver_.ProtocolStatus() == kermit::Success
                            ? "the recorder's Kermit sent " +
                                  std::to_string(receiver_.files().size()) + " files"
                            : "reading recorder.ini: " + receiver_.errorText();
    }
    // After a transfer, the shell's prompt (or a quiet line) says the recorder's Kermit has
    // let go; without one the shell is there already.
    mark();
    pending_.clear();
    reading_ = true;
    enter(Phase::Settle, now, QuietBeforeReturnMs);
    if (!receiver_.started()) readEnded(now);
}

// After the read, with the shell's prompt back: a read ends with "logout"; a guarded upload
// starts the receiver when the identities match, or logs out.
void UploadSession::readEnded(long long now) {
    reading_ = false;
    if (options_.choose && options_.job == Job::Upload) {
        sendChosen(now);
        return;
    }
    if (!readSucceeded_) {
        status(StatusKind::Failure, ReadFailedText);
        logout();
        finish(Outcome::Failed,
               options_.job == Job::Read
                   ? record_.error
                   : record_.error +
                         "; without it --guard cannot tell which recorder this "
                         "is, so nothing was sent",
               now);
        return;
    }
    if (options_.job == Job::Read) {
        status(StatusKind::Success, ReadText);
        logout();
        finish(Outcome::Success, "", now);
        return;
    }
    const Identity expected = IdentityToSend(files_);
    const Identity found = IdentityOf(recorderIni_);
    if (!found.complete()) {
        status(StatusKind::Failure, WrongRecorderText);
        logout();
        record_.step = "identify";
        finish(Outcome::Failed,
               "the recorder's recorder.ini names " + IdentityText(found) +
                   "; --guard cannot tell which recorder this is, so nothing was sent",
               now);
        return;
    }
    if (!(found == expected)) {
        record_.step = "identify";
        wrongRecorder_ = true;
        status(StatusKind::Failure, WrongRecorderText);
        logout();
        finish(Outcome::WrongRecorder,
               "the recorder is " + IdentityText(found) + ", the file is for " +
                   IdentityText(expected) + "; nothing was sent",
               now);
        return;
    }
    startReceiver(now);
}

// A deployment's choice once the recorder's file has been read (or found missing): the files
// for this recorder, or nothing and why.
void UploadSession::sendChosen(long long now) {
    ReadFound found;
    found.read = readSucceeded_;
    found.noRecorderIni = noRecorderIni_;
    found.recorderIni = &recorderIni_;
    found.error = record_.error;
    SendChoice choice = options_.choose(found);
    record_.step = "identify";
    if (choice.files.empty()) {
        status(StatusKind::Failure, WrongRecorderText);
        finish(choice.outcome, choice.reason, now);
        return;
    }
    record_.step.clear();
    record_.error.clear();
    files_ = std::move(choice.files);
    record_.files = FailedUpload(files_, "").files;
    startReceiver(now);
}

void UploadSession::startReceiver(long long now) {
    status(StatusKind::Transmitting, TransmittingText);
    receiverStarted_ = true;
    put(kStartReceiver);
    enter(Phase::ReceiverStart, now, 1000);
}

void UploadSession::logout() {
    if (loggedOut_) return;
    loggedOut_ = true;
    put(kLogout);
}

void UploadSession::pumpTransfer(long long now) {
    std::string out = sender_.takeOutput();
    if (!out.empty()) put(out);
    if (sender_.InProgress()) {
        wakeAt_ = phaseAt_ + (ticksGiven_ + 1) * TickMs;
        return;
    }
    // What comes from now on is the console's again.
    mark();
    pending_.clear();
    enter(Phase::TransferOver, now);
    if (!options_.endOnPoll || stopped_) transferEnded(now);
}

void UploadSession::transferPolled(long long now) {
    if (phase_ == Phase::TransferOver) transferEnded(now);
}

void UploadSession::transferEnded(long long now) {
    if (sender_.ProtocolStatus() != kermit::Success) {
        status(StatusKind::Failure, FailureText);
        if (stopped_) {
            record_.outcome = Outcome::Aborted;
            record_.error = "transfer aborted";
            put(std::string(1, kEtx));
            enter(Phase::Releasing, now, ReleasePauseMs);
        } else {
            finish(Outcome::Failed, sender_.errorText(), now);
        }
        return;
    }
    status(StatusKind::Success, SuccessText);
    if (stopped_) {
        enter(Phase::Settle, now);
        stop(now);  // the file is there, but not applied
        return;
    }
    enter(Phase::Settle, now, QuietBeforeReturnMs);
    // The shell's prompt may have come while the transfer's end was being taken.
    if (EndsWithShellPrompt(since_)) returnToShell(now);
}

void UploadSession::returnToShell(long long now) {
    mark();
    put(kReturn);
    enter(Phase::ReturnSent, now, 100);
}

// The reconfigure command once the shell has answered the return (when it does): at least
// 100 ms after it, at most ShellAnswerLimitMs.
void UploadSession::afterReturn(long long now) {
    if (since_.empty() && now - phaseAt_ < ShellAnswerLimitMs) {
        wakeAt_ = phaseAt_ + ShellAnswerLimitMs;
        return;
    }
    if (!options_.verify) {
        reconfigure(now);
        return;
    }
    verifyIndex_ = 0;
    verdict_ = Verdict::Verified;
    askCksum(now);
}

void UploadSession::askCksum(long long now) {
    // The names are safe ones (letters, digits, "._-"), and quoted all the same.
    const std::string name =
        fmt::LowerAscii(files_[verifyIndex_].name);  // as the receiver stored it
    mark();
    put(std::string(console::Cksum) + " '" + kFolder + name + "'" + console::Enter);
    enter(Phase::Verify, now, CksumAnswerLimitMs);
}

// The answer "CRC SIZE /usr/local/wexo/NAME" after the echo of the command; `final` at the
// limit, when no answer counts as none.
void UploadSession::cksumAnswer(long long now, bool final) {
    const kermit::SendFile& f = files_[verifyIndex_];
    const std::string name = fmt::LowerAscii(f.name);
    std::string answer;
    const std::size_t at = since_.rfind(" " + kFolder + name + console::Enter);
    if (at != std::string::npos) {
        const std::size_t start = since_.find_last_of('\n', at);
        const std::size_t from = start == std::string::npos ? 0 : start + 1;
        const std::string numbers = since_.substr(from, at - from);
        // Two whole numbers, nothing else (not the echo of the command).
        if (numbers.find_first_not_of("0123456789 ") == std::string::npos &&
            numbers.find(' ') != std::string::npos)
            answer = numbers;
    }
    if (answer.empty() && !final) return;
    const std::string expected =
        std::to_string(PosixCksum(f.data)) + " " + std::to_string(f.data.size());
    std::string& text = record_.verify;
    if (!text.empty()) text += "; ";
    if (answer.empty()) {
        text += name + ": no usable answer";
        verdict_ = Verdict::NoAnswer;
    } else if (answer != expected) {
        text += name + ": recorder " + answer + ", here " + expected;
        if (verdict_ != Verdict::NoAnswer) verdict_ = Verdict::Differs;
    } else {
        text += name + ": " + answer + " verified";
    }
    if (++verifyIndex_ < files_.size()) {
        askCksum(now);
        return;
    }
    // Checked before the reconfigure command: a file damaged on its way is never applied.
    if (verdict_ == Verdict::Verified) {
        const std::string sent = files_.size() == 1 ? fmt::LowerAscii(files_.front().name)
                                                    : std::to_string(files_.size()) + " files";
        status(StatusKind::Success,
               "  " + sent + " transmitted and verified (cksum matches), check for New Data File ");
        reconfigure(now);
        return;
    }
    status(StatusKind::Failure, "  NOT verified: " + text);
    finish(Outcome::Failed,
           std::string(verdict_ == Verdict::Differs ? "a file differs on the recorder"
                                                    : "the recorder gave no usable cksum") +
               ": the reconfigure command was not sent",
           now);
}

void UploadSession::reconfigure(long long now) {
    mark();
    put(kReconfigure);
    enter(Phase::NewDataFile, now, NewDataFileLimitMs);
}

void UploadSession::finish(Outcome outcome, const std::string& error, long long now) {
    record_.outcome = outcome;
    record_.error = error;
    if (outcome != Outcome::Success && record_.step.empty()) record_.step = step();
    // Not into a transfer that failed: the recorder's Kermit may still read the line.
    const bool shellReads = phase_ != Phase::Transfer && phase_ != Phase::TransferOver;
    if (options_.logoutAtEnd && loggedIn_ && shellReads && !lineLost_ && !stopped_) logout();
    enter(Phase::Done, now);
}

const char* UploadSession::step() const {
    switch (phase_) {
        case Phase::Idle:
        case Phase::Opened:
        case Phase::EtxSent:
        case Phase::CtsOff:
        case Phase::CtsAgain:
            return "wake-up";
        case Phase::WaitLogin:
        case Phase::AfterLogin:
        case Phase::WaitPassword:
        case Phase::PasswordPause:
        case Phase::AfterPassword:
        case Phase::LoginAnswer:
        case Phase::RtsPause:
        case Phase::LogoutPause:
            return "login";
        case Phase::ChangeDir:
            return "change directory";
        case Phase::ReceiverStart:
            return "receiver start";
        case Phase::Reading:
        case Phase::StopRead:
            return "read";
        case Phase::Transfer:
        case Phase::TransferOver:
            return "transfer";
        case Phase::Settle:
        case Phase::ReturnSent:
            return reading_ ? "read" : "return to the shell";
        case Phase::Verify:
            return "verify";
        case Phase::NewDataFile:
            return "reconfigure";
        case Phase::Releasing:
        case Phase::Done:
            break;
    }
    return "release";
}

void UploadSession::escape() {
    if (!dialogue()) return;
    record_.outcome = Outcome::Escaped;
    record_.error = "escaped before the transfer";
    phase_ = Phase::Done;
    wakeAt_ = -1;
}

void UploadSession::stop(long long now) {
    stopped_ = true;
    std::string error;
    if (dialogue()) {
        error = "stopped before the transfer";
    } else if (phase_ == Phase::Transfer) {
        sender_.cancel("transfer aborted by the operator");  // tells the receiver
        pumpTransfer(now);
        return;
    } else if (phase_ == Phase::TransferOver) {
        transferEnded(now);
        return;
    } else if (phase_ == Phase::Reading) {
        // The recorder's Kermit is told at its next packet, when it reads the line.
        record_.outcome = Outcome::Aborted;
        record_.error = "stopped while reading recorder.ini";
        record_.step = step();
        receiver_.cancelAtNextPacket("stopped by the operator");
        ticksGiven_ = 0;
        enter(Phase::StopRead, now);
        stopRead(now);
        return;
    } else if (phase_ == Phase::StopRead) {
        return;
    } else if (reading_) {
        error = "stopped while reading recorder.ini";
    } else if (phase_ == Phase::NewDataFile) {
        error = "stopped after the reconfigure command";
    } else if (phase_ >= Phase::Settle && phase_ <= Phase::Verify) {
        error = "stopped after the transfer: the reconfigure command was not sent";
    } else {
        return;
    }
    record_.outcome = Outcome::Aborted;
    record_.error = error;
    record_.step = step();
    // A receiver that may still wait for packets is told to end; either way the console is
    // woken, so that the next upload finds a login prompt.
    put((receiverStarted_ && !transferStarted_ ? ReleaseBytes(0) : std::string()) +
        std::string(1, kEtx));
    enter(Phase::Releasing, now, ReleasePauseMs);
}

// Until the reconfigure command has gone out whole nothing is done on the recorder, and after
// it its answer cannot be seen: either way the upload has failed, at the step it was in.
void UploadSession::lineFailed(const std::string& why, long long now) {
    if (phase_ == Phase::Idle || phase_ == Phase::Done) return;
    lineLost_ = true;
    const std::string at = step();
    receiver_.cancel("line failed");
    sender_.cancel("line failed");
    receiver_.takeOutput();
    sender_.takeOutput();
    actions_.clear();
    status(StatusKind::Failure,
           options_.job == Job::Read || at == "read" ? ReadFailedText : FailureText);
    std::string error = why + " (at the " + at + ")";
    if (phase_ == Phase::NewDataFile)
        error +=
            ": whether the recorder took the reconfigure command is not known; look for "
            "\"New Data File\" on its console";
    else if (phase_ > Phase::TransferOver && phase_ < Phase::NewDataFile)
        error += ": the reconfigure command was not sent";
    record_.step = at;
    finish(stopped_ ? Outcome::Aborted : Outcome::Failed, error, now);
}

// A stopped read: once the receiver has answered the recorder's Kermit with its error packet
// (or given up waiting for a packet), the console is woken.
void UploadSession::stopRead(long long now) {
    const std::string out = receiver_.takeOutput();
    if (!out.empty()) put(receiver_.started() ? out : "#" + out);
    if (receiver_.InProgress()) {
        wakeAt_ = phaseAt_ + (ticksGiven_ + 1) * TickMs;
        return;
    }
    put(std::string(1, kEtx));
    enter(Phase::Releasing, now, ReleasePauseMs);
}

}  // namespace ksr::upload
