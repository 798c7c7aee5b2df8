// Field conversions: numbers to fixed-width text and back.
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "records.h"

namespace seqord {

namespace {

std::string stars(int w) { return std::string(static_cast<std::size_t>(w), '*'); }

std::string right(std::string_view body, int w) {
    if (static_cast<int>(body.size()) > w) return stars(w);
    std::string out(static_cast<std::size_t>(w) - body.size(), ' ');
    out.append(body);
    return out;
}

// Infinities and not-a-numbers have no digits; they are shown by name, as
// wide as the field allows.
std::string special(float v, int w) {
    if (std::isnan(v)) return w >= 3 ? right("NaN", w) : stars(w);
    bool neg = std::signbit(v);
    if (neg) return w >= 9 ? right("-Infinity", w) : w >= 4 ? right("-Inf", w) : stars(w);
    return w >= 8 ? right("Infinity", w) : w >= 3 ? right("Inf", w) : stars(w);
}

}  // namespace

std::string format_int(std::int64_t v, int w) {
    // Digits of the magnitude, built by hand so that the most negative value works.
    char digits[24];
    int n = 0;
    std::uint64_t m = v < 0 ? (~static_cast<std::uint64_t>(v) + 1) : static_cast<std::uint64_t>(v);
    do {
        digits[n++] = static_cast<char>('0' + m % 10);
        m /= 10;
    } while (m != 0);
    std::string body;
    if (v < 0) body.push_back('-');
    while (n > 0) body.push_back(digits[--n]);
    if (w == 0) return body;
    return right(body, w);
}

std::string format_f(float v, int w, int d) {
    if (!std::isfinite(v)) return special(v, w);
    // The exact binary value is rounded once, to nearest with ties to even.
    char buf[400];
    std::snprintf(buf, sizeof buf, "%.*f", d, std::fabs(static_cast<double>(v)));
    std::string s(buf);
    if (d == 0) s.push_back('.');
    // A negative value needs room for its sign even when it rounds to zero,
    // but nothing that prints as zero shows a minus.
    const bool negative = std::signbit(v) && v != 0.0f;
    bool all_zero = true;
    for (char ch : s)
        if (ch >= '1' && ch <= '9') all_zero = false;
    const std::size_t sign = negative ? 1 : 0;
    std::string_view digits(s);
    if (s.size() + sign > static_cast<std::size_t>(w) && s.size() >= 2 && s[0] == '0' && s[1] == '.' && d > 0) {
        // The optional zero before the point goes first when room is short.
        digits.remove_prefix(1);
    }
    if (digits.size() + sign > static_cast<std::size_t>(w)) return stars(w);
    std::string body;
    if (negative && !all_zero) body.push_back('-');
    body.append(digits);
    return right(body, w);
}

std::string format_e(float v, int w, int d) { return format_e(static_cast<double>(v), w, d); }

std::string format_e(double v, int w, int d) {
    if (!std::isfinite(v)) return special(static_cast<float>(v), w);
    std::string digits;
    int exp10 = 0;
    if (v == 0.0) {
        digits.assign(static_cast<std::size_t>(d), '0');
    } else {
        char buf[400];
        std::snprintf(buf, sizeof buf, "%.*e", d - 1, std::fabs(v));
        // buf: D.DDDDe+XX
        const char* p = buf;
        for (; *p && *p != 'e'; ++p)
            if (*p != '.') digits.push_back(*p);
        exp10 = std::atoi(p + 1) + 1;
    }
    bool neg = std::signbit(v) && v != 0.0;
    std::string expo;
    int mag = exp10 < 0 ? -exp10 : exp10;
    char sign = exp10 < 0 ? '-' : '+';
    if (mag <= 99) {
        expo = std::string("E") + sign + char('0' + mag / 10) + char('0' + mag % 10);
    } else if (mag <= 999) {
        expo = std::string(1, sign) + char('0' + mag / 100) + char('0' + mag / 10 % 10) + char('0' + mag % 10);
    } else {
        return stars(w);
    }
    std::string body = std::string(neg ? "-" : "") + "0." + digits + expo;
    if (static_cast<int>(body.size()) > w) body = std::string(neg ? "-" : "") + "." + digits + expo;
    return right(body, w);
}

bool parse_int_field(std::string_view field, std::int32_t& out) {
    // Blanks anywhere are ignored; a sign must not stand alone in a field
    // that has no room after it.
    std::size_t i = 0, n = field.size();
    while (i < n && field[i] == ' ') ++i;
    if (i == n) { out = 0; return true; }
    bool neg = false;
    if (field[i] == '+' || field[i] == '-') {
        neg = field[i] == '-';
        ++i;
        if (i == n) return false;
    }
    std::int64_t v = 0;
    for (; i < n; ++i) {
        char ch = field[i];
        if (ch == ' ') continue;
        if (ch < '0' || ch > '9') return false;
        v = v * 10 + (ch - '0');
        if (v > static_cast<std::int64_t>(std::numeric_limits<std::int32_t>::max()) + 1) return false;
    }
    if (neg) v = -v;
    if (v > std::numeric_limits<std::int32_t>::max() || v < std::numeric_limits<std::int32_t>::min())
        return false;
    out = static_cast<std::int32_t>(v);
    return true;
}

bool parse_real_field(std::string_view field, int d, float& out) {
    std::size_t lead = 0;
    while (lead < field.size() && field[lead] == ' ') ++lead;
    if (lead == field.size()) { out = 0.0f; return true; }
    // As for integers, a sign needs at least one column after it.
    if ((field[lead] == '+' || field[lead] == '-') && lead + 1 == field.size()) return false;
    std::string s;  // the field without blanks
    for (char ch : field)
        if (ch != ' ') s.push_back(ch);
    std::size_t i = 0, n = s.size();
    bool neg = false;
    if (s[i] == '+' || s[i] == '-') {
        neg = s[i] == '-';
        ++i;
        if (i == n) { out = neg ? -0.0f : 0.0f; return true; }
    }
    std::string mant;       // the digits of the mantissa, point removed
    int point_at = -1;      // digits before the point, when there is one
    for (; i < n; ++i) {
        char ch = s[i];
        if (ch >= '0' && ch <= '9') {
            mant.push_back(ch);
        } else if (ch == '.') {
            if (point_at >= 0) return false;
            point_at = static_cast<int>(mant.size());
        } else {
            break;
        }
    }
    long long expo = 0;
    if (i < n) {
        char ch = s[i];
        bool letter = ch == 'E' || ch == 'e' || ch == 'D' || ch == 'd' || ch == 'Q' || ch == 'q';
        if (!letter && ch != '+' && ch != '-') return false;
        if (letter) ++i;
        bool eneg = false;
        if (i < n && (s[i] == '+' || s[i] == '-')) {
            eneg = s[i] == '-';
            ++i;
        }
        if (i == n) return false;  // an exponent needs digits
        for (; i < n; ++i) {
            if (s[i] < '0' || s[i] > '9') return false;
            if (expo < 100000) expo = expo * 10 + (s[i] - '0');
        }
        if (eneg) expo = -expo;
    }
    if (mant.empty()) {
        if (point_at < 0) return false;  // an exponent with no mantissa
        mant.push_back('0');
    }
    // Without a point the last d digits are the decimals.
    long long scale = expo - (point_at >= 0 ? static_cast<long long>(mant.size()) - point_at : d);
    std::string text;
    if (neg) text.push_back('-');
    text.append(mant);
    text.push_back('e');
    text.append(std::to_string(scale));
    errno = 0;
    char* end = nullptr;
    float v = std::strtof(text.c_str(), &end);
    if (end == nullptr || *end != '\0') return false;
    if (std::isinf(v)) return false;  // too large for a single-precision real
    out = v;
    return true;
}

}  // namespace seqord
