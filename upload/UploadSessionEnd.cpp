// The upload session after the transfer: its end, the return to the shell, the cksum check,
// the reconfigure command, and the ways a session ends early (Escape, a stop, a failed line).

#include "setup/TextFormat.h"
#include "upload/Checksums.h"
#include "upload/ConsoleText.h"
#include "upload/UploadSession.h"

namespace ksr::upload {

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
            put(std::string(1, console::Etx));
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
    if (console::EndsWithShellPrompt(since_)) returnToShell(now);
}

void UploadSession::returnToShell(long long now) {
    mark();
    put(std::string(1, console::Enter));
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
    put(std::string(console::Cksum) + " '" + console::InFolder(name) + "'" + console::Enter);
    enter(Phase::Verify, now, CksumAnswerLimitMs);
}

// The answer "CRC SIZE /usr/local/wexo/NAME" after the echo of the command; `final` at the
// limit, when no answer counts as none.
void UploadSession::cksumAnswer(long long now, bool final) {
    const kermit::SendFile& f = files_[verifyIndex_];
    const std::string name = fmt::LowerAscii(f.name);
    std::string answer;
    const std::size_t at = since_.rfind(" " + console::InFolder(name) + console::Enter);
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
    put(console::Command(console::Reconfigure));
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
        std::string(1, console::Etx));
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
    put(std::string(1, console::Etx));
    enter(Phase::Releasing, now, ReleasePauseMs);
}

}  // namespace ksr::upload
