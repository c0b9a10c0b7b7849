#include "upload/ConsoleText.h"

#include "setup/TextFormat.h"

namespace ksr::upload::console {
namespace {

// The line being printed: what came after the last line end, blanks at its end taken off.
std::string OpenLine(const std::string& text) {
    const std::size_t end = text.find_last_of("\r\n");
    std::string line = end == std::string::npos ? text : text.substr(end + 1);
    while (!line.empty() && line.back() == ' ') line.pop_back();
    return line;
}

}  // namespace

std::string TrimmedEnd(std::string text) {
    while (!text.empty() && (text.back() == ' ' || text.back() == '\r' || text.back() == '\n'))
        text.pop_back();
    return text;
}

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

bool EndsWithShellPrompt(const std::string& text) {
    return text.size() >= 2 && text.back() == ' ' &&
           (text[text.size() - 2] == '#' || text[text.size() - 2] == '$');
}

bool EndsWithLoginPrompt(const std::string& text) {
    const std::string line = fmt::LowerAscii(OpenLine(text));
    return line.size() >= 6 && line.compare(line.size() - 6, 6, "login:") == 0 &&
           line.rfind("last login", 0) != 0;
}

std::string RefusalLine(const std::string& text) {
    std::size_t from = 0;
    for (std::size_t end = text.find_first_of("\r\n"); end != std::string::npos;
         from = end + 1, end = text.find_first_of("\r\n", from)) {
        std::string line = text.substr(from, end - from);
        while (!line.empty() && line.back() == ' ') line.pop_back();
        while (!line.empty() && line.front() == ' ') line.erase(0, 1);
        if (fmt::LowerAscii(line) == fmt::LowerAscii(Refusal)) return line;
    }
    return {};
}

bool ShellAnswered(const std::string& text) {
    const std::string line = OpenLine(text);
    return !line.empty() && (line.back() == '#' || line.back() == '$');
}

void Keep(std::string& buffer, const std::string& bytes, std::size_t kept) {
    buffer += bytes;
    if (buffer.size() > kept) buffer.erase(0, buffer.size() - kept);
}

}  // namespace ksr::upload::console
