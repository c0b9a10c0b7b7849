#pragma once
// A single-byte text of fixed capacity: a longer assignment is cut to the capacity.

#include <cstddef>
#include <ostream>
#include <string>
#include <string_view>

namespace ksr {

template <std::size_t N>
class ShortText {
  public:
    static constexpr std::size_t capacity = N;

    ShortText() = default;
    ShortText(std::string_view text) : text_(text.substr(0, N)) {}  // NOLINT: cut on purpose
    ShortText(const char* text) : ShortText(std::string_view(text)) {}
    ShortText& operator=(std::string_view text) {
        text_.assign(text.substr(0, N));
        return *this;
    }
    ShortText& operator=(const char* text) { return *this = std::string_view(text); }

    const std::string& str() const { return text_; }
    operator const std::string&() const { return text_; }  // NOLINT: reads like a string
    std::size_t size() const { return text_.size(); }
    bool empty() const { return text_.empty(); }

    friend bool operator==(const ShortText&, const ShortText&) = default;
    friend bool operator==(const ShortText& a, std::string_view b) { return a.text_ == b; }
    friend bool operator==(const ShortText& a, const char* b) { return a.text_ == b; }
    friend bool operator==(const ShortText& a, const std::string& b) { return a.text_ == b; }
    friend std::ostream& operator<<(std::ostream& out, const ShortText& t) {
        return out << t.text_;
    }

  private:
    std::string text_;
};

}  // namespace ksr
