#pragma once
// The serial line to the recorder without Qt, for the command line: 9600 baud, 8N1, RTS/CTS
// hardware flow control, DTR off; POSIX termios, or Win32 with "\\.\COMn". Reads wait at most
// the time given; writes are queued and go out as the line takes them.

#include <cstdint>
#include <string>

#include "setup/Errors.h"

namespace ksr::serial {

class SerialError : public KsrError {
  public:
    explicit SerialError(const std::string& message) : KsrError(message) {}
};

enum class OpenFailure { NotFound, NoPermission, InUse, Other };

// The message for a port that would not open: names the device, says what to do.
std::string OpenFailureText(OpenFailure failure, const std::string& systemText,
                            const std::string& device);

class SerialLine {
  public:
    SerialLine() = default;
    ~SerialLine();
    SerialLine(const SerialLine&) = delete;
    SerialLine& operator=(const SerialLine&) = delete;

    // Throws SerialError with a clear text when the port cannot be opened.
    void open(const std::string& device);
    void close();
    bool isOpen() const;

    // Waits up to `ms` for bytes (and for queued bytes to go out); what came, possibly nothing.
    // Throws SerialError when the line has failed (the far end gone, the adapter pulled).
    std::string read(int ms);
    void write(const std::string& bytes);
    void flushInput();
    // A line without modem-control lines (a pseudo-terminal, Wine's COM ports) is clear to send.
    bool clearToSend();
    // Bytes written but held back by the line (flow control); sendPending() moves on what it
    // takes now.
    bool sending() const { return !outbox_.empty(); }
    void sendPending() { pump(); }
    // The line's descriptor (POSIX) or handle (Windows), for an event loop to watch.
    std::intptr_t nativeHandle() const { return handle_; }

  private:
    void pump();

    // "the serial line DEVICE failed: ..."
    SerialError failure(const std::string& why) const;

    std::intptr_t handle_ = -1;
    std::string device_;
    std::string outbox_;
};

}  // namespace ksr::serial
