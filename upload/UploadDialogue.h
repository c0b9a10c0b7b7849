#pragma once
// The console dialogue of an upload, written once for the window and the command line: wake the
// recorder's console, log in, start its Kermit receiver; after the transfer, report and start the
// reconfiguration. The caller gives it the line, the status display and the waits.

#include <cstdint>
#include <memory>
#include <string>

namespace ksr::upload {

enum class StatusKind { Waiting, Connected, Transmitting, Success, Failure, Neutral };

inline constexpr const char* WaitingText = "  waiting fo KSR...";
inline constexpr const char* ConnectedText = "  connected to KSR... ";
inline constexpr const char* TransmittingText = "  transmitting recorder.ini... ";
inline constexpr const char* SuccessText =
    "  recorder.ini transmitted, check for message \"New Data File /data/... \" ";
inline constexpr const char* FailureText = "  recorder.ini : Transfer failed ";
inline constexpr const char* BusyText = "  previous transfer still running, wait for its end ";

inline constexpr const char* LoginPrompt = "login:";
inline constexpr const char* PasswordPrompt = "Password:";
inline constexpr int LoginTicks = 40;
inline constexpr int PasswordTicks = 60;

// What the dialogue needs of the line and of the world around it.
class UploadLine {
  public:
    virtual ~UploadLine() = default;
    virtual bool isOpen() = 0;
    virtual void open() = 0;  // throws with a clear text when the port will not open
    virtual void flushIn() = 0;
    virtual void put(const std::string& text) = 0;
    virtual bool waitFor(const std::string& text, int ticks) = 0;
    virtual bool clearToSend() = 0;
    virtual void setRts(bool on) = 0;
    // A fixed pause that blocks.
    virtual void sleep(int milliseconds) = 0;
    // A pause during which other events (Escape) are handled.
    virtual void responsiveWait(int milliseconds) = 0;
    // How many bytes have arrived on the line so far, and the last of them (for the recorder's
    // answers after the transfer).
    virtual std::uint64_t receivedCount() = 0;
    virtual std::string receivedTail() = 0;
};

class UploadView {
  public:
    virtual ~UploadView() = default;
    virtual void status(StatusKind kind, const std::string& text) = 0;
    virtual void repaint() {}
};

// After a transfer the recorder's receiver needs a moment to give the line back to the shell
// (C-Kermit restores its terminal for up to about half a second and drops what arrives meanwhile).
inline constexpr int QuietBeforeReturnMs = 700;  // no byte for this long: the line is free
inline constexpr int SettleLimitMs = 5000;       // at most this long in all
inline constexpr int ShellAnswerLimitMs = 1000;  // waiting for the shell to answer the "\r"
inline constexpr const char* NewDataFileText = "New Data File";
// The login's answer: a shell prompt within the 2000 ms pause after the password, or at most
// this much later.
inline constexpr int ShellPromptLimitMs = 5000;
inline constexpr const char* LoginUser = "root";
// The text of the error packet that releases a receiver.
inline constexpr const char* ReleaseText = "Upload cancelled";

class UploadDialogue {
  public:
    UploadDialogue(UploadLine& line, UploadView& view) : line_(line), view_(view) {}

    // The login dialogue. True when logged in and the recorder's receiver was started (the
    // caller then starts the transfer); false when an escape request ended it.
    // False too when the recorder refused the login (loginRefused()): nothing more is sent then.
    bool CONNECT2KSR();
    // Whether the last dialogue ended because the recorder refused the login, and what it said.
    bool loginRefused() const { return run_ && !run_->refusal.empty(); }
    const std::string& refusalText() const;
    // Whether the last dialogue has typed the receiver's start command: from then on a receiver
    // may hold the recorder's console until it is released.
    bool receiverStarted() const { return run_ && run_->receiverStarted; }
    // A Kermit error packet and Ctrl-C: a receiver still waiting on the console (one left by an
    // upload that was killed) gives up and the shell or the login prompt comes back.
    // `seq` is the sequence number the receiver waits for (0 before the first packet).
    void releaseReceiver(int seq = 0);
    // The error packet of a release, after a '#': a receiver skips what comes before a packet's
    // mark, and a shell or a login prompt that gets it instead reads a comment.
    static std::string ReleaseBytes(int seq);
    // The sequence number a receiver waits for, judged from the last packet it sent in `text`
    // (an ACK of n: n + 1; a NAK of n: n); -1 when `text` holds none.
    static int ExpectedSequence(const std::string& text);
    // The operator's escape request. It stops only the dialogue running when it is made, which
    // then sends nothing more; a later dialogue starts without it.
    void requestEscape();
    bool escapeRequested() const { return run_ && run_->escaped; }
    // After the transfer: the result in the status, and on success, once the receiver has let go
    // of the line, a return and the reconfigure command.
    // With `reconfigure` false the shell is left at its prompt (for a check before the command);
    // reconfigure() then sends it.
    void transferEnded(std::uint16_t protocolStatus, bool reconfigureNow = true);
    void reconfigure();
    // Waits up to `maxMs` for the recorder's "New Data File ..." line after the reconfigure
    // command; the line without its line end, or empty when none came.
    std::string awaitNewDataFile(int maxMs);

  private:
    // The state of one dialogue: a dialogue started while an escaped one still unwinds (its
    // wait is where the new click was handled) has its own.
    struct Run {
        bool promptSeen = false;
        bool escaped = false;
        bool receiverStarted = false;
        std::string refusal;  // what the recorder answered to a refused login
    };

    bool loginAttempts(Run& run);
    void waitForQuietLine();
    // What arrived since the count was `before` (as far as the tail still holds it).
    std::string receivedSince(std::uint64_t before);
    // After the password: empty when a shell prompt came, else why the login counts as refused.
    std::string loginAnswer(Run& run, std::uint64_t before);

    UploadLine& line_;
    UploadView& view_;
    std::shared_ptr<Run> run_;
    std::uint64_t reconfigureAt_ = 0;
};

}  // namespace ksr::upload
