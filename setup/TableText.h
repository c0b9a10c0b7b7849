#pragma once
// The texts of coded settings as check, diff, JSON and the summary show them: the table's text
// without its padding blanks (Latin-1, as in the tables), or "code N?" for a code outside it.

#include <string>
#include <string_view>

#include "setup/TextFormat.h"

namespace ksr {

inline std::string Trim(std::string_view text) {
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    const std::size_t last = text.find_last_not_of(' ');
    return std::string(text.substr(first, last - first + 1));
}

template <class Table>
std::string NameOf(const Table& table, int code) {
    return table.contains(code) ? Trim(table[code]) : "code " + fmt::Free(code) + "?";
}

}  // namespace ksr
