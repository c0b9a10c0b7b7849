#pragma once
// Typed errors of the core. Every error may name the file and line it arose at, so that
// the command line can print "FILE:LINE: message" and the window can show the same text.

#include <filesystem>
#include <stdexcept>
#include <string>

namespace ksr {

class KsrError : public std::runtime_error {
  public:
    KsrError(std::string message, std::string file = {}, int line = 0);

    const std::string& message() const { return message_; }
    const std::string& file() const { return file_; }
    int line() const { return line_; }

    // Attaches a file and line to an error raised where they were not known.
    void locate(const std::string& file, int line);

    // "FILE:LINE: message", "FILE: message" or the bare message, by what is known.
    std::string located() const;
    // The same with the file name as a terminal, a log or JSON may show it (fmt::EchoName).
    std::string locatedEscaped() const;

  private:
    std::string message_;
    std::string file_;
    int line_;
};

// A file that cannot be opened, created, read or written; the message carries the system's text.
class IoError : public KsrError {
  public:
    IoError(const std::string& what, const std::filesystem::path& file,
            const std::string& systemText);
};

// Text standing where a number must be read.
class InvalidNumberError : public KsrError {
  public:
    InvalidNumberError(const std::string& token, const std::string& file, int line);
};

// A value outside the range its field allows, or a structure that does not fit its limits.
class RangeError : public KsrError {
  public:
    RangeError(const std::string& field, long long value, const std::string& allowed);
    explicit RangeError(const std::string& message);
};

// A file that ends before its content is complete.
class FormatError : public KsrError {
  public:
    FormatError(const std::string& message, const std::string& file, int line);
};

}  // namespace ksr
