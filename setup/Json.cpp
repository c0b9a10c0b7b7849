#include "setup/Json.h"

#include <cmath>
#include <cstdio>

#include "setup/TextFormat.h"

namespace ksr::json {

std::string Str(const std::string& text) {
    return fmt::JsonString(text);
}

std::string StrOrNull(const std::string& text) {
    return text.empty() ? "null" : Str(text);
}

std::string Num(double value, int decimals) {
    if (!std::isfinite(value)) return "null";
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    std::string s = text;
    if (s.find('.') != std::string::npos) {
        while (s.back() == '0') s.pop_back();
        if (s.back() == '.') s.pop_back();
    }
    return s == "-0" ? "0" : s;
}

std::string Object(const std::vector<std::pair<std::string, std::string>>& members) {
    std::string out = "{";
    for (std::size_t i = 0; i < members.size(); ++i)
        out += (i ? ", " : "") + Str(members[i].first) + ": " + members[i].second;
    return out + "}";
}

std::string Array(const std::vector<std::string>& items) {
    std::string out = "[";
    for (std::size_t i = 0; i < items.size(); ++i) out += (i ? ", " : "") + items[i];
    return out + "]";
}

}  // namespace ksr::json
