// UTF-8: whether bytes are well-formed, and text made so.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace seqord::records {

// The length (2 to 4) of the well-formed UTF-8 sequence that starts at the
// byte text[i] (one of 0x80 or more), or 0 when the bytes there are not one:
// overlong forms, surrogates and code points beyond U+10FFFF are not.
inline std::size_t utf8_length(std::string_view text, std::size_t i) {
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    const unsigned char c = s[i];
    const std::size_t len = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 && c <= 0xEF ? 3 : c >= 0xC2 && c <= 0xDF ? 2 : 0;
    if (len == 0 || i + len > n) return 0;
    for (std::size_t k = 1; k < len; ++k)
        if ((s[i + k] & 0xC0) != 0x80) return 0;
    const unsigned c1 = s[i + 1];
    if (len == 3 && ((c == 0xE0 && c1 < 0xA0) || (c == 0xED && c1 >= 0xA0))) return 0;  // overlong, surrogates
    if (len == 4 && ((c == 0xF0 && c1 < 0x90) || (c == 0xF4 && c1 >= 0x90))) return 0;  // overlong, beyond U+10FFFF
    return len;
}

// Whether the whole text is well-formed UTF-8.
inline bool valid_utf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        if (static_cast<unsigned char>(text[i]) < 0x80) {
            ++i;
        } else if (const std::size_t len = utf8_length(text, i)) {
            i += len;
        } else {
            return false;
        }
    }
    return true;
}

// The text as UTF-8: well-formed sequences stand as they are (but for the
// noncharacters U+FFFE and U+FFFF, which XML has no place for); any other
// byte is read as Latin-1, the likeliest encoding of an older data file,
// and its C1 control characters, which have no place in text, become
// U+FFFD.
inline std::string as_utf8(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 8);
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            out.push_back(char(c));
            ++i;
            continue;
        }
        std::size_t len = utf8_length(text, i);
        if (len == 3 && c == 0xEF && static_cast<unsigned char>(text[i + 1]) == 0xBF &&
            static_cast<unsigned char>(text[i + 2]) >= 0xBE)
            len = 0;
        if (len) {
            out.append(text.substr(i, len));
            i += len;
            continue;
        }
        if (c < 0xA0) {
            out += "\xEF\xBF\xBD";
        } else {
            out.push_back(char(0xC0 | (c >> 6)));
            out.push_back(char(0x80 | (c & 0x3F)));
        }
        ++i;
    }
    return out;
}

}  // namespace seqord::records
