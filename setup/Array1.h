#pragma once
// Fixed arrays indexed from 1, as every table and record array of the set-up is numbered.

#include <array>
#include <cassert>
#include <cstddef>
#include <string>

#include "setup/Errors.h"

namespace ksr {

template <class T, int N>
struct Array1 {
    std::array<T, N> items{};

    static constexpr int size() { return N; }
    static constexpr bool contains(long long i) { return i >= 1 && i <= N; }

    constexpr T& operator[](int i) {
        assert(contains(i));
        return items[static_cast<std::size_t>(i - 1)];
    }
    constexpr const T& operator[](int i) const {
        assert(contains(i));
        return items[static_cast<std::size_t>(i - 1)];
    }

    // Checked look-up of a coded value: a code outside 1..N is a RangeError naming the field.
    const T& at(long long code, const std::string& field) const {
        if (!contains(code)) throw RangeError(field, code, "1.." + std::to_string(N));
        return items[static_cast<std::size_t>(code - 1)];
    }

    constexpr auto begin() { return items.begin(); }
    constexpr auto end() { return items.end(); }
    constexpr auto begin() const { return items.begin(); }
    constexpr auto end() const { return items.end(); }

    friend constexpr bool operator==(const Array1&, const Array1&) = default;
};

}  // namespace ksr
