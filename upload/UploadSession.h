#pragma once
// One upload to the recorder (or one read of its recorder.ini), from the opened port to the record
// for uploads.log, as a state machine without I/O, like the Kermit engines it drives. The host
// gives it the bytes received, the time (milliseconds on a steady clock) and the operator's
// requests; it gives back the bytes to send, when it wants to be woken, the status texts and, once
// done, the record. The window and the command line run the same session, each through its own
// event-driven host.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "kermit/KermitReceiver.h"
#include "kermit/KermitSender.h"
#include "upload/Identity.h"
#include "upload/RecorderConsole.h"
#include "upload/UploadLog.h"

namespace ksr::upload {

enum class StatusKind { Waiting, Connected, Transmitting, Success, Failure };

inline constexpr const char* WaitingText = "  waiting fo KSR...";
inline constexpr const char* ConnectedText = "  connected to KSR... ";
// A wait for the login prompt that ran out: nothing answered on the line (yet).
inline constexpr const char* NoAnswerText =
    "  no answer from KSR: is the cable in and the KSR switched on? trying again... ";
inline constexpr const char* TransmittingText = "  transmitting recorder.ini... ";
inline constexpr const char* SuccessText =
    "  recorder.ini transmitted, check for message \"New Data File /data/... \" ";
inline constexpr const char* FailureText = "  recorder.ini : Transfer failed ";
inline constexpr const char* BusyText = "  previous transfer still running, wait for its end ";
inline constexpr const char* ReadingText = "  reading recorder.ini from KSR... ";
inline constexpr const char* ReadText = "  recorder.ini read from KSR ";
inline constexpr const char* ReadFailedText = "  recorder.ini : reading failed ";
inline constexpr const char* WrongRecorderText = "  wrong KSR: nothing sent ";

inline constexpr const char* LoginPrompt = console::LoginPrompt;
inline constexpr const char* PasswordPrompt = console::PasswordPrompt;
inline constexpr int TickMs = kermit::KermitSender::TickMs;  // the serial layer's tick
inline constexpr int LoginTicks = 40;
inline constexpr int PasswordTicks = 60;
inline constexpr const char* LoginUser = console::User;

// The login's answer: a shell prompt within the 2000 ms pause after the password, or at most
// this much later.
inline constexpr int ShellPromptLimitMs = 5000;
// After a transfer the recorder's receiver needs a moment to give the line back to the shell
// (C-Kermit restores its terminal for up to about half a second and drops what arrives meanwhile):
// its shell prompt, or no byte for this long, says the line is free.
inline constexpr int QuietBeforeReturnMs = 700;
inline constexpr int SettleLimitMs = 5000;       // at most this long in all
inline constexpr int ShellAnswerLimitMs = 1000;  // waiting for the shell to answer the "\r"
inline constexpr int CksumAnswerLimitMs = 5000;  // for each file's cksum line
inline constexpr int NewDataFileLimitMs = 5000;  // for the recorder's answer to reconfig
inline constexpr int ReleasePauseMs = 300;       // after a stop, for the recorder to settle
inline constexpr const char* NewDataFileText = console::NewDataFile;
// The text of the error packet that releases a receiver.
inline constexpr const char* ReleaseText = "Upload cancelled";

struct StatusChange {
    StatusKind kind;
    std::string text;
};

// What a host does for the session, in order.
struct LineAction {
    bool flushInput = false;  // discard what the port holds unread; else send `bytes`
    std::string bytes;
};

// What a session does once logged in: send the files (and reconfigure), or only read the
// recorder's recorder.ini back, which changes nothing on the recorder.
enum class Job { Upload, Read };

// The record of an upload that failed before or outside a session: the files it was to send,
// and why.
UploadRecord FailedUpload(const std::vector<kermit::SendFile>& files, const std::string& error);

// What a session found when it read the recorder's recorder.ini before an upload.
struct ReadFound {
    bool read = false;           // the file came
    bool noRecorderIni = false;  // the recorder's Kermit said it has none (a new recorder)
    const std::string* recorderIni = nullptr;  // the bytes, when read
    std::string error;                         // why it did not come
};
// What to send after that read: the files, or none with the outcome and why.
struct SendChoice {
    std::vector<kermit::SendFile> files;
    Outcome outcome = Outcome::WrongRecorder;
    std::string reason;
};

struct SessionOptions {
    Job job = Job::Upload;
    // Before an upload, read the recorder's recorder.ini; when its identity is not that of the
    // recorder.ini about to be sent, log out and send nothing.
    bool guard = false;
    // Read the recorder's recorder.ini first and let this choose what to send from what came
    // (one login for reading, identifying and sending); the files given to the session are not
    // used then.
    std::function<SendChoice(const ReadFound&)> choose;
    // Log out once done (the next recorder on the cable finds a login prompt).
    bool logoutAtEnd = false;
    // Ask the recorder's shell for cksum of every file sent and compare, before the reconfigure
    // command; the command follows only when all match.
    bool verify = false;
    // The end of the transfer is taken at the host's poll (the window's KermitTimer) instead of
    // at once.
    bool endOnPoll = false;
    // Give up when no login got through within this time; 0 keeps trying.
    long long loginLimitMs = 0;
    int answerTicks = kermit::KermitSender::AnswerTicks;
};

// What the cksum read-back found; the values are the exit statuses of `upload --verify`.
enum class Verdict : int { NotAsked = -1, Verified = 0, Differs = 1, NoAnswer = 3 };

class UploadSession {
  public:
    UploadSession(std::vector<kermit::SendFile> files, SessionOptions options = {});

    // The port has just been opened.
    void start(long long now);
    // Bytes from the line. Ask inTransfer() before: bytes of the transfer are not the console's.
    void received(const std::string& bytes, long long now);
    // Time has passed (at least to wakeAt()); `clearToSend` is the line's CTS input now.
    void advance(long long now, bool clearToSend);
    // The operator's Escape: ends a dialogue at once with nothing more sent; a transfer that has
    // started runs on and reports.
    void escape();
    // Ctrl-C or a kill of the command line: whatever runs ends, the receiver is told, and the
    // console is woken so that the next upload finds a login prompt; no reconfigure command after.
    void stop(long long now);
    // The line failed (a write or read error, a hang-up, the device gone): whatever runs ends at
    // once as failed, naming `why` and the step it was in.
    void lineFailed(const std::string& why, long long now);
    // The host's poll of the transfer's end (with SessionOptions::endOnPoll).
    void transferPolled(long long now);

    std::vector<LineAction> takeActions();
    std::vector<StatusChange> takeStatuses();
    // When to call advance() next; -1 while only received bytes or a request can move it.
    long long wakeAt() const { return wakeAt_; }

    bool done() const { return phase_ == Phase::Done; }
    // Waking the console, logging in, starting the recorder's Kermit: what Escape ends.
    bool inDialogue() const { return dialogue(); }
    bool inTransfer() const {
        return phase_ == Phase::Transfer ||
               ((phase_ == Phase::Reading || phase_ == Phase::StopRead) && receiver_.started());
    }
    bool transferStarted() const { return transferStarted_; }
    // The transfer has ended and waits for the host's poll.
    bool awaitingPoll() const { return phase_ == Phase::TransferOver; }
    bool loginRefused() const { return refused_; }
    // A login prompt came at least once: something answers on the line.
    bool consoleAnswered() const { return consoleAnswered_; }
    // The line failed under the session (the record's error says how and at which step).
    bool lineLost() const { return lineLost_; }
    bool loginTimedOut() const { return loginTimedOut_; }
    // The recorder's Kermit said it has no recorder.ini (a new recorder).
    bool noRecorderIni() const { return noRecorderIni_; }
    Verdict verdict() const { return verdict_; }
    const kermit::KermitSender& sender() const { return sender_; }
    const kermit::KermitReceiver& receiver() const { return receiver_; }
    // The recorder's recorder.ini as read (Job::Read, or the guard's read); empty when none was.
    const std::string& recorderIni() const { return recorderIni_; }
    bool readSucceeded() const { return readSucceeded_; }
    // The guard found another recorder than the file is for.
    bool wrongRecorder() const { return wrongRecorder_; }
    // Files, result, error, the recorder's answer and the read-back; the host adds who, where
    // and when.
    const UploadRecord& record() const { return record_; }

    // The error packet that releases a Kermit left waiting (with each block check), each after a
    // '#': a Kermit skips what comes before a packet's mark, and a shell or a login prompt that
    // gets it instead reads comments. `seq` is the sequence number that Kermit waits for.
    static std::string ReleaseBytes(int seq);
    // The sequence number a receiver waits for, judged from the last packet it sent in `text`
    // (an ACK of n: n + 1; a NAK of n: n); -1 when `text` holds none.
    static int ExpectedSequence(const std::string& text);

  private:
    enum class Phase {
        Idle,
        Opened,         // 200 ms, then ETX
        EtxSent,        // 200 ms, then the first pass
        CtsOff,         // 200 ms with RTS off
        CtsAgain,       // 2000 ms, then the next pass
        WaitLogin,      // "login:" or 40 ticks
        AfterLogin,     // 1000 ms after that wait
        WaitPassword,   // "Password:" or 60 ticks
        PasswordPause,  // 100 ms, then the password
        AfterPassword,  // 2000 ms
        LoginAnswer,    // the shell's prompt, a refusal, or the limit
        RtsPause,       // 200 ms after a missed prompt, then "logout"
        LogoutPause,    // 100 ms, then the next attempt
        ChangeDir,      // 1000 ms after "cd"
        ReceiverStart,  // 1000 ms after "kermit -r"
        Reading,        // the recorder's Kermit sends its recorder.ini
        Transfer,
        TransferOver,  // waiting for the host's poll
        Settle,        // until the receiver has let go of the line
        ReturnSent,    // until the shell answers the "\r"
        Verify,        // one file's cksum
        NewDataFile,   // the recorder's answer to reconfig
        StopRead,      // a stopped read: the recorder's Kermit is told at its next packet
        Releasing,     // a pause after a stop
        Done,
    };

    void enter(Phase phase, long long now, long long forMs = -1);
    void run(long long now, bool cts);
    bool dialogue() const;
    void put(const std::string& bytes);
    void status(StatusKind kind, const std::string& text);
    void mark() { since_.clear(); }
    bool awaitPrompt(const std::string& prompt);
    void pass(long long now, bool cts);
    void loginAttempt(long long now);
    void missedPrompt(long long now);
    void loginAnswer(long long now);
    void startTransfer(long long now);
    void startRead(long long now);
    void pumpRead(long long now);
    void readEnded(long long now);
    void sendChosen(long long now);
    void startReceiver(long long now);
    void pumpTransfer(long long now);
    void transferEnded(long long now);
    void returnToShell(long long now);
    void afterReturn(long long now);
    void askCksum(long long now);
    void cksumAnswer(long long now, bool final);
    void reconfigure(long long now);
    void logout();
    bool readFirst() const {
        return options_.job == Job::Read || options_.guard || options_.choose;
    }
    void finish(Outcome outcome, const std::string& error, long long now);
    const char* step() const;
    void stopRead(long long now);

    std::vector<kermit::SendFile> files_;
    SessionOptions options_;
    kermit::KermitSender sender_;
    kermit::KermitReceiver receiver_;
    std::string recorderIni_;
    bool reading_ = false;  // the settle after a read
    bool readSucceeded_ = false;
    bool wrongRecorder_ = false;
    UploadRecord record_;
    Phase phase_ = Phase::Idle;
    long long wakeAt_ = -1;
    long long startedAt_ = 0;
    long long phaseAt_ = 0;  // when the phase began
    std::string pending_;    // console bytes not yet used by a prompt's wait
    std::string since_;      // console bytes since the last mark
    std::string console_;    // the console's last bytes, whatever the marks
    bool loginPromptCame_ = false;
    bool consoleAnswered_ = false;
    bool receiverStarted_ = false;
    bool transferStarted_ = false;
    bool stopped_ = false;
    bool refused_ = false;
    bool lineLost_ = false;
    bool loginTimedOut_ = false;
    bool noRecorderIni_ = false;
    bool loggedIn_ = false;
    bool loggedOut_ = false;
    long long ticksGiven_ = 0;
    std::size_t verifyIndex_ = 0;
    Verdict verdict_ = Verdict::NotAsked;
    std::vector<LineAction> actions_;
    std::vector<StatusChange> statuses_;
};

// The status text while the transfer runs: "... 1234 of 5678 bytes".
std::string ProgressText(const kermit::KermitSender& sender);

}  // namespace ksr::upload
