#include "upload/UploadDialogue.h"

#include <algorithm>

#include "kermit/KermitSender.h"
#include "setup/TextFormat.h"

namespace ksr::upload {
namespace {

constexpr char kEtx = 0x03;
const char* const kUser = "root\r";
const char* const kPassword = "kelp";
const char* const kChangeDirectory = "cd /usr/local/wexo\r";
const char* const kStartReceiver = "kermit -r\r";
const char* const kReconfigure = "/usr/local/wexo/reconfig\r";

bool ContainsNoCase(const std::string& text, const std::string& word) {
    return fmt::LowerAscii(text).find(fmt::LowerAscii(word)) != std::string::npos;
}

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

}  // namespace

const std::string& UploadDialogue::refusalText() const {
    static const std::string none;
    return run_ ? run_->refusal : none;
}

std::string UploadDialogue::ReleaseBytes(int seq) {
    return "#" + kermit::KermitSender::Packet(seq, 'E', ReleaseText);
}

void UploadDialogue::releaseReceiver(int seq) {
    line_.put(ReleaseBytes(seq));
    line_.put(std::string(1, kEtx));
}

int UploadDialogue::ExpectedSequence(const std::string& text) {
    for (std::size_t at = text.rfind('\x01'); at != std::string::npos;
         at = at == 0 ? std::string::npos : text.rfind('\x01', at - 1)) {
        if (at + 3 >= text.size()) continue;
        const int seq = kermit::KermitSender::UnChar(text[at + 2]);
        const char type = text[at + 3];
        if (seq < 0 || seq > 63) continue;
        if (type == 'N') return seq;
        if (type == 'Y') return (seq + 1) % 64;
    }
    return -1;
}

std::string UploadDialogue::receivedSince(std::uint64_t before) {
    const std::uint64_t fresh = line_.receivedCount() - before;
    std::string tail = line_.receivedTail();
    if (fresh < tail.size()) tail.erase(0, tail.size() - static_cast<std::size_t>(fresh));
    return tail;
}

std::string UploadDialogue::loginAnswer(Run& run, std::uint64_t before) {
    constexpr int kStep = 100;
    const std::string who = std::string("the login as ") + LoginUser;
    for (int waited = 0;; waited += kStep) {
        const std::string text = receivedSince(before);
        const std::string end = TrimmedEnd(text);
        const bool refused = ContainsNoCase(text, "incorrect") ||
                             (end.size() >= 6 && ContainsNoCase(end.substr(end.size() - 6), "login:"));
        if (!refused && !end.empty() && (end.back() == '#' || end.back() == '$' || end.back() == '>'))
            return {};
        if (refused) {
            // The refusal's own words where it gave some, else the prompt that came back.
            const std::size_t word = fmt::LowerAscii(text).find("incorrect");
            const std::string said =
                word == std::string::npos ? LastLine(text) : LastLine(text.substr(0, word + 9));
            return "the recorder refused " + who + " (it answered \"" + fmt::Echo(said) +
                   "\"); nothing more was sent";
        }
        if (waited >= ShellPromptLimitMs)
            return "no shell prompt came after " + who +
                   " (is the password right?); nothing more was sent";
        line_.responsiveWait(kStep);
        if (run.escaped) return {};
    }
}

void UploadDialogue::requestEscape() {
    if (run_) run_->escaped = true;
}

bool UploadDialogue::CONNECT2KSR() {
    const auto run = std::make_shared<Run>();
    run_ = run;
    if (!line_.isOpen()) line_.open();
    line_.sleep(200);
    if (run->escaped) return false;
    line_.flushIn();
    line_.put(std::string(1, kEtx));
    line_.sleep(200);
    while (!run->promptSeen && !run->escaped) {
        if (!line_.clearToSend()) {
            // The recorder does not signal clear-to-send: ask again in a while.
            line_.setRts(false);
            line_.responsiveWait(200);
            if (run->escaped) break;
            line_.setRts(true);
            line_.responsiveWait(2000);
            continue;
        }
        if (!loginAttempts(*run)) break;
    }
    if (run->escaped) return false;
    if (!run->refusal.empty()) return false;
    view_.status(StatusKind::Transmitting, TransmittingText);
    line_.put(kChangeDirectory);
    line_.sleep(1000);
    if (run->escaped) return false;
    run->receiverStarted = true;
    line_.put(kStartReceiver);
    line_.sleep(1000);
    return !run->escaped;
}

// Login attempts until one gets through; false when the dialogue was escaped, after which
// nothing more is sent or shown.
bool UploadDialogue::loginAttempts(Run& run) {
    while (!run.promptSeen) {
        const std::uint64_t beforeWait = line_.receivedCount();
        run.promptSeen = line_.waitFor(LoginPrompt, LoginTicks);
        const bool loginPromptCame = run.promptSeen;
        if (run.escaped) return false;
        view_.status(StatusKind::Connected, ConnectedText);
        line_.sleep(1000);
        if (run.escaped) return false;
        view_.repaint();
        if (run.promptSeen) {
            line_.put(kUser);
            run.promptSeen = line_.waitFor(PasswordPrompt, PasswordTicks);
            if (run.escaped) return false;
        }
        if (run.promptSeen) {
            // No shell prompt is awaited: the login counts as done.
            line_.sleep(100);
            if (run.escaped) return false;
            const std::uint64_t before = line_.receivedCount();
            line_.put(std::string(kPassword) + "\r");
            line_.sleep(2000);
            if (run.escaped) return false;
            // The shell's prompt is the sign of a login that got through; a refusal ends the
            // dialogue here, before anything is typed into a login prompt.
            run.refusal = loginAnswer(run, before);
            if (run.escaped) return false;
            if (!run.refusal.empty()) {
                view_.status(StatusKind::Failure, FailureText);
                return false;
            }
        } else {
            // No login prompt: a receiver left over from an earlier upload may hold the console.
            // C-Kermit takes the error packet whatever its sequence number; gkermit only with the
            // one it waits for, and answers any other with its last ACK, which names it.
            const std::uint64_t beforeRelease = line_.receivedCount();
            if (!loginPromptCame)
                releaseReceiver(std::max(0, ExpectedSequence(receivedSince(beforeWait))));
            line_.setRts(false);
            line_.responsiveWait(200);
            if (run.escaped) return false;
            line_.setRts(true);
            if (!loginPromptCame) {
                const int seq = ExpectedSequence(receivedSince(beforeRelease));
                if (seq >= 0) releaseReceiver(seq);
            }
            line_.put("logout\r");
            line_.sleep(100);
        }
        if (run.escaped) return false;
    }
    return true;
}

void UploadDialogue::waitForQuietLine() {
    constexpr int kStep = 20;
    std::uint64_t seen = line_.receivedCount();
    int quiet = 0;
    for (int waited = 0; waited < SettleLimitMs && quiet < QuietBeforeReturnMs; waited += kStep) {
        line_.responsiveWait(kStep);
        const std::uint64_t now = line_.receivedCount();
        if (now == seen) {
            quiet += kStep;
            continue;
        }
        seen = now;
        quiet = 0;
        // The shell's prompt after what the receiver printed: the receiver has exited.
        const std::string tail = line_.receivedTail();
        if (tail.size() >= 2 && tail.back() == ' ' &&
            (tail[tail.size() - 2] == '#' || tail[tail.size() - 2] == '$'))
            return;
    }
}

void UploadDialogue::transferEnded(std::uint16_t protocolStatus, bool reconfigureNow) {
    if (protocolStatus != kermit::Success) {
        view_.status(StatusKind::Failure, FailureText);
        return;
    }
    view_.status(StatusKind::Success, SuccessText);
    waitForQuietLine();
    const std::uint64_t before = line_.receivedCount();
    line_.put("\r");
    line_.sleep(100);
    // The reconfigure command once the shell has answered the return (when it does).
    for (int waited = 100; waited < ShellAnswerLimitMs && line_.receivedCount() == before;
         waited += 20)
        line_.responsiveWait(20);
    if (reconfigureNow) reconfigure();
}

void UploadDialogue::reconfigure() {
    reconfigureAt_ = line_.receivedCount();
    line_.put(kReconfigure);
}

std::string UploadDialogue::awaitNewDataFile(int maxMs) {
    constexpr int kStep = 50;
    for (int waited = 0;; waited += kStep) {
        std::string tail = line_.receivedTail();
        // Only what came after the reconfigure command.
        const std::uint64_t fresh = line_.receivedCount() - reconfigureAt_;
        if (fresh < tail.size()) tail.erase(0, tail.size() - static_cast<std::size_t>(fresh));
        const std::size_t at = tail.rfind(NewDataFileText);
        if (at != std::string::npos) {
            const std::size_t end = tail.find_first_of("\r\n", at);
            if (end != std::string::npos) return tail.substr(at, end - at);
        }
        if (waited >= maxMs) return {};
        line_.responsiveWait(kStep);
    }
}

}  // namespace ksr::upload
