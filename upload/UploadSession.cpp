#include "upload/UploadSession.h"

#include <algorithm>
#include <utility>

#include "setup/TextFormat.h"
#include "upload/Checksums.h"
#include "upload/ConsoleText.h"

namespace ksr::upload {
namespace {

constexpr std::size_t kKept = 4096;  // console bytes kept for the prompts and answers

}  // namespace

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
        if (!receiver_.started()) console::Keep(since_, bytes, kKept);
        receiver_.receive(bytes);
        phase_ == Phase::StopRead ? stopRead(now) : pumpRead(now);
        return;
    }
    console::Keep(pending_, bytes, kKept);
    console::Keep(since_, bytes, kKept);
    console::Keep(console_, bytes, kKept);
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
            if (console::EndsWithShellPrompt(since_))
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
            put(ReleaseBytes(0) + std::string(1, console::Etx));
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
            put(std::string(1, console::Etx));
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
            put(console::Command(console::User));
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
            put(console::Command(console::Password));
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
            if (!loginPromptCame_ && !console::ShellAnswered(console_)) {
                // gkermit answers a release with the wrong sequence number by its last ACK,
                // which names the right one.
                const int seq = ExpectedSequence(since_);
                if (seq >= 0) put(ReleaseBytes(seq) + std::string(1, console::Etx));
            }
            put(console::Command(console::Logout));
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
    if (!loginPromptCame_ && !console::ShellAnswered(console_))
        put(ReleaseBytes(std::max(0, ExpectedSequence(since_))) + std::string(1, console::Etx));
    mark();
    enter(Phase::RtsPause, now, 200);
}

// After the password: the shell's prompt is the sign of a login that got through; a refusal ends
// the upload here, before anything is typed into a login prompt.
void UploadSession::loginAnswer(long long now) {
    const std::string end = console::TrimmedEnd(since_);
    // Only the login program's own refusal counts: a banner's words and a line still coming
    // do not.
    const std::string refusal = console::RefusalLine(since_);
    if (!refusal.empty() || console::EndsWithLoginPrompt(since_)) {
        // The refusal's own words where it gave some, else the prompt that came back.
        const std::string said = refusal.empty() ? console::LastLine(since_) : refusal;
        refused_ = true;
        status(StatusKind::Failure, FailureText);
        finish(Outcome::Failed,
               std::string("the recorder refused the login as ") + LoginUser + " (it answered \"" +
                   fmt::Echo(said) + "\"); nothing more was sent",
               now);
        return;
    }
    if (end.empty() || (end.back() != '#' && end.back() != '$' && end.back() != '>')) return;
    status(StatusKind::Transmitting, readFirst() ? ReadingText : TransmittingText);
    loggedIn_ = true;
    put(console::Command(console::ChangeDirectory));
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
    put(console::Command(console::SendRecorderIni));
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
    if (receiver_.InProgress() && !receiver_.started() && console::EndsWithShellPrompt(since_)) {
        // The shell's prompt is back: no Kermit is sending ("?File not found", no kermit).
        receiver_.cancel("nothing came");
        const std::size_t promptLine = since_.find_last_of("\r\n");
        const std::string said = console::LastLine(
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
    put(console::Command(console::StartReceiver));
    enter(Phase::ReceiverStart, now, 1000);
}

void UploadSession::logout() {
    if (loggedOut_) return;
    loggedOut_ = true;
    put(console::Command(console::Logout));
}

}  // namespace ksr::upload
