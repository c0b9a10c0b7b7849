#pragma once
// The console dialogue of an upload, written once for the window and the command line: wake the
// recorder's console, log in, start its Kermit receiver; after the transfer, report and start the
// reconfiguration. The caller gives it the line, the status display and the waits.

#include <cstdint>
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
};

class UploadView {
  public:
    virtual ~UploadView() = default;
    virtual void status(StatusKind kind, const std::string& text) = 0;
    virtual void repaint() {}
};

class UploadDialogue {
  public:
    UploadDialogue(UploadLine& line, UploadView& view) : line_(line), view_(view) {}

    // The login dialogue. True when logged in and the recorder's receiver was started (the
    // caller then starts the transfer); false when an escape request ended it.
    bool CONNECT2KSR();
    // The operator's escape request; the running dialogue notices it at the end of its attempt.
    void requestEscape() { escapeRequested_ = true; }
    bool escapeRequested() const { return escapeRequested_; }
    bool promptSeen() const { return promptSeen_; }
    // After the transfer: the result in the status, and on success the reconfigure command.
    void transferEnded(std::uint16_t protocolStatus);

  private:
    void loginAttempts();

    UploadLine& line_;
    UploadView& view_;
    bool promptSeen_ = false;
    bool escapeRequested_ = false;
};

}  // namespace ksr::upload
