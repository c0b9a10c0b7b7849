#include "setup/TextFormat.h"

#include <charconv>
#include <climits>

namespace ksr::fmt {

std::string Free(long long value) {
    return std::to_string(value);
}

std::string Width(long long value, int width) {
    std::string digits = Free(value);
    if (static_cast<int>(digits.size()) < width)
        digits.insert(0, static_cast<std::size_t>(width) - digits.size(), ' ');
    return digits;
}

std::string Zeros(long long value, int digits) {
    std::string text = Free(value);
    long long power = 10;
    for (int k = 1; k < digits; ++k, power *= 10)
        if (value < power) text.insert(0, 1, '0');
    return Cut(text, static_cast<std::size_t>(digits));
}

std::string Cut(const std::string& text, std::size_t count) {
    return text.size() <= count ? text : text.substr(0, count);
}

std::string UpperAscii(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return text;
}

bool ParseInt(const std::string& token, int& value) {
    if (token.empty()) return false;
    const char* first = token.data();
    const char* last = token.data() + token.size();
    if (*first == '+') ++first;
    if (first == last || *first == '+') return false;
    long long wide = 0;
    auto [end, error] = std::from_chars(first, last, wide);
    if (error != std::errc() || end != last) return false;
    if (wide < INT_MIN || wide > INT_MAX) return false;
    value = static_cast<int>(wide);
    return true;
}

std::string Latin1ToUtf8(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (unsigned char c : text) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::string LowerAscii(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

namespace {

bool IsControlByte(unsigned char c) {
    return c < 0x20 || c == 0x7F;
}

// The byte as two hex digits after `prefix` ("\\x1B", "\\u001b").
std::string Escaped(unsigned char c, const char* prefix, const char* digits) {
    return std::string(prefix) + digits[c >> 4] + digits[c & 15];
}

}  // namespace

std::string Echo(const std::string& text) {
    constexpr std::size_t kMost = 40;
    std::string out;
    for (std::size_t i = 0; i < text.size() && i < kMost; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        out += IsControlByte(c) ? Escaped(c, "\\x", "0123456789ABCDEF") : std::string(1, text[i]);
    }
    if (text.size() > kMost) out += "...";
    return out;
}

std::string EchoName(const std::string& name) {
    std::string out;
    for (unsigned char c : name)
        out += IsControlByte(c) || c >= 0x80 || c == '\\' ? Escaped(c, "\\x", "0123456789ABCDEF")
                                                          : std::string(1, static_cast<char>(c));
    return out;
}

std::string JsonString(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (IsControlByte(c)) {
            out += Escaped(c, "\\u00", "0123456789abcdef");
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

}  // namespace ksr::fmt

namespace ksr {

std::vector<std::string> SplitLines(const std::string& bytes) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < bytes.size()) {
        std::size_t end = bytes.find('\n', start);
        std::size_t next = end == std::string::npos ? bytes.size() : end + 1;
        if (end == std::string::npos) end = bytes.size();
        std::size_t stop = end;
        if (stop > start && bytes[stop - 1] == '\r') --stop;
        lines.emplace_back(bytes, start, stop - start);
        start = next;
    }
    return lines;
}

std::string JoinCrLf(const std::vector<std::string>& lines) {
    std::string out;
    for (const auto& line : lines) {
        out += line;
        out += "\r\n";
    }
    return out;
}

std::vector<std::string> KeyValues(const std::vector<std::string>& lines, std::string_view key) {
    std::vector<std::string> values;
    for (const std::string& line : lines)
        if (line.size() > key.size() && line.compare(0, key.size(), key) == 0 &&
            line[key.size()] == '=')
            values.push_back(line.substr(key.size() + 1));
    return values;
}

}  // namespace ksr
