// The values that records carry besides numbers: 8-character names and
// fixed-length texts, blank-padded, as every file of the system holds them.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

namespace seqord {

// An 8-character blank-padded name (year, location, matrix row).
struct Name {
    std::array<char, 8> c{' ', ' ', ' ', ' ', ' ', ' ', ' ', ' '};
    static Name of(std::string_view s) {
        Name n;
        for (std::size_t i = 0; i < 8 && i < s.size(); ++i) n.c[i] = s[i];
        return n;
    }
    std::string_view view() const { return {c.data(), c.size()}; }
    bool operator==(const Name&) const = default;
};

// A fixed-length blank-padded text (title, file names, answers).
template <std::size_t N>
struct Text {
    std::array<char, N> c{};
    Text() { c.fill(' '); }
    std::string_view view() const { return {c.data(), N}; }
    // Length without trailing blanks.
    std::size_t trimmed_length() const {
        std::size_t n = N;
        while (n > 0 && c[n - 1] == ' ') --n;
        return n;
    }
    std::string_view trimmed() const { return {c.data(), trimmed_length()}; }
};

}  // namespace seqord
