#include "setup/Errors.h"

#include "setup/TextFormat.h"

namespace ksr {

KsrError::KsrError(std::string message, std::string file, int line)
    : std::runtime_error(message),
      message_(std::move(message)),
      file_(std::move(file)),
      line_(line) {}

void KsrError::locate(const std::string& file, int line) {
    if (file_.empty()) file_ = file;
    if (line_ == 0) line_ = line;
}

std::string KsrError::located() const {
    if (file_.empty()) return message_;
    if (line_ > 0) return file_ + ":" + std::to_string(line_) + ": " + message_;
    return file_ + ": " + message_;
}

std::string KsrError::locatedEscaped() const {
    if (file_.empty()) return message_;
    const std::string file = fmt::EchoName(file_);
    if (line_ > 0) return file + ":" + std::to_string(line_) + ": " + message_;
    return file + ": " + message_;
}

IoError::IoError(const std::string& what, const std::filesystem::path& file,
                 const std::string& systemText)
    : KsrError(what + ": " + systemText, file.string()) {}

InvalidNumberError::InvalidNumberError(const std::string& token, const std::string& file, int line)
    : KsrError("\"" + fmt::Echo(token) + "\" is not a valid whole number", file, line) {}

RangeError::RangeError(const std::string& field, long long value, const std::string& allowed)
    : KsrError(field + " " + std::to_string(value) + " is out of range (" + allowed + ")") {}

RangeError::RangeError(const std::string& message) : KsrError(message) {}

FormatError::FormatError(const std::string& message, const std::string& file, int line)
    : KsrError(message, file, line) {}

}  // namespace ksr
