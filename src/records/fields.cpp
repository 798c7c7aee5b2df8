// Field conversions: numbers to fixed-width text and back.
#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "records/fields.h"

namespace seqord {

namespace {

// A field too narrow for its value: w asterisks.  Returns w.
std::size_t stars_into(char* out, int w) {
    std::memset(out, '*', static_cast<std::size_t>(w));
    return static_cast<std::size_t>(w);
}

// Writes `body` right-aligned in w columns at out, or w asterisks when it
// does not fit; returns w.
std::size_t right(char* out, std::string_view body, int w) {
    const std::size_t width = static_cast<std::size_t>(w);
    if (body.size() > width) {
        stars_into(out, w);
    } else {
        std::memset(out, ' ', width - body.size());
        std::memcpy(out + (width - body.size()), body.data(), body.size());
    }
    return width;
}

// Infinities and not-a-numbers have no digits; they are shown by name, as
// wide as the field allows.
std::size_t special(char* out, double v, int w) {
    if (std::isnan(v)) return w >= 3 ? right(out, "NaN", w) : stars_into(out, w);
    const bool neg = std::signbit(v);
    if (neg) return w >= 9 ? right(out, "-Infinity", w) : w >= 4 ? right(out, "-Inf", w) : stars_into(out, w);
    return w >= 8 ? right(out, "Infinity", w) : w >= 3 ? right(out, "Inf", w) : stars_into(out, w);
}

// Decimal digits of m, at least `min_digits` of them (zeros in front), at
// the end of the buffer that ends at `end`; returns where they start.
char* digits_before(char* end, std::uint64_t m, int min_digits) {
    char* p = end;
    do {
        *--p = static_cast<char>('0' + m % 10);
        m /= 10;
        --min_digits;
    } while (m != 0 || min_digits > 0);
    return p;
}

constexpr double kPow10[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8};
constexpr std::uint64_t kPow10i[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000};

// The magnitude of v rounded to d decimals, as "I.F" (at least one integer
// digit; with d = 0, "I" alone), into buf; returns its length.  The exact
// binary value is rounded once, to nearest with ties to even.
std::size_t fixed_digits(char* buf, std::size_t size, double a, int d) {
    // With up to 8 decimals the scaled value a * 10^d is exact in double
    // precision (a float's 24 bits times at most 19 bits of 5^8), so rounding
    // it to an integer is the one rounding of the exact value.
    if (d <= 8 && a < 0x1.0p52 / kPow10[d]) {
        const auto n = static_cast<std::uint64_t>(std::nearbyint(a * kPow10[d]));
        char tmp[48];
        char* const end = tmp + sizeof tmp;
        char* p = end;
        if (d > 0) {
            p = digits_before(end, n % kPow10i[d], d);
            *--p = '.';
        }
        p = digits_before(p, n / kPow10i[d], 1);
        const auto len = static_cast<std::size_t>(end - p);
        std::memcpy(buf, p, len);
        return len;
    }
    const std::to_chars_result r = std::to_chars(buf, buf + size, a, std::chars_format::fixed, d);
    return static_cast<std::size_t>(r.ptr - buf);
}

}  // namespace

std::size_t put_int(char* out, std::int64_t v, int w) {
    // Digits of the magnitude, built by hand so that the most negative value works.
    char tmp[24];
    char* const end = tmp + sizeof tmp;
    const std::uint64_t m = v < 0 ? (~static_cast<std::uint64_t>(v) + 1) : static_cast<std::uint64_t>(v);
    char* p = digits_before(end, m, 1);
    if (v < 0) *--p = '-';
    const std::string_view body(p, static_cast<std::size_t>(end - p));
    if (w == 0) {
        std::memcpy(out, body.data(), body.size());
        return body.size();
    }
    return right(out, body, w);
}

std::size_t put_f(char* out, float v, int w, int d) {
    if (!std::isfinite(v)) return special(out, v, w);
    char buf[400];
    std::size_t len = fixed_digits(buf + 1, sizeof buf - 2, std::fabs(static_cast<double>(v)), d);
    if (d == 0) buf[1 + len++] = '.';
    // A negative value needs room for its sign even when it rounds to zero,
    // but nothing that prints as zero shows a minus.
    const bool negative = std::signbit(v) && v != 0.0f;
    bool all_zero = true;
    for (std::size_t i = 1; i <= len; ++i)
        if (buf[i] >= '1' && buf[i] <= '9') all_zero = false;
    const std::size_t sign = negative ? 1 : 0;
    char* digits = buf + 1;
    if (len + sign > static_cast<std::size_t>(w) && len >= 2 && digits[0] == '0' && digits[1] == '.' && d > 0) {
        // The optional zero before the point goes first when room is short.
        ++digits;
        --len;
    }
    if (len + sign > static_cast<std::size_t>(w)) return stars_into(out, w);
    if (negative && !all_zero) {
        *--digits = '-';
        ++len;
    }
    return right(out, std::string_view(digits, len), w);
}

std::size_t put_e(char* out, double v, int w, int d) {
    if (!std::isfinite(v)) return special(out, v, w);
    // body: [-]0.DDDD...E+XX, built in buf after one column left for the sign
    char buf[400];
    char* const digits = buf + 3;  // after "-0."
    int exp10 = 0;
    if (v == 0.0) {
        std::memset(digits, '0', static_cast<std::size_t>(d));
    } else {
        // D.DDDDe+XX with d significant digits; the exact value rounded once.
        char sci[400];
        const std::to_chars_result r =
            std::to_chars(sci, sci + sizeof sci, std::fabs(v), std::chars_format::scientific, d - 1);
        const char* p = sci;
        char* q = digits;
        for (; p < r.ptr && *p != 'e'; ++p)
            if (*p != '.') *q++ = *p;
        ++p;  // past the 'e'
        const bool eneg = *p == '-';
        int e = 0;
        for (++p; p < r.ptr; ++p) e = e * 10 + (*p - '0');
        exp10 = (eneg ? -e : e) + 1;
    }
    const bool neg = std::signbit(v) && v != 0.0;
    char* q = digits + d;
    const int mag = exp10 < 0 ? -exp10 : exp10;
    const char sign = exp10 < 0 ? '-' : '+';
    if (mag <= 99) {
        *q++ = 'E';
        *q++ = sign;
        *q++ = static_cast<char>('0' + mag / 10);
        *q++ = static_cast<char>('0' + mag % 10);
    } else if (mag <= 999) {
        *q++ = sign;
        *q++ = static_cast<char>('0' + mag / 100);
        *q++ = static_cast<char>('0' + mag / 10 % 10);
        *q++ = static_cast<char>('0' + mag % 10);
    } else {
        return stars_into(out, w);
    }
    char* body = digits - 2;
    body[0] = '0';
    body[1] = '.';
    if (neg) *--body = '-';
    auto len = static_cast<std::size_t>(q - body);
    if (len > static_cast<std::size_t>(w)) {
        // Without the zero before the point.
        body = digits - 1;
        if (neg) *--body = '-';
        len = static_cast<std::size_t>(q - body);
    }
    return right(out, std::string_view(body, len), w);
}

std::string format_int(std::int64_t v, int w) {
    std::string s(std::max<std::size_t>(static_cast<std::size_t>(w), 24), ' ');
    s.resize(put_int(s.data(), v, w));
    return s;
}

std::string format_f(float v, int w, int d) {
    std::string s(static_cast<std::size_t>(w), ' ');
    put_f(s.data(), v, w, d);
    return s;
}

std::string format_e(float v, int w, int d) { return format_e(static_cast<double>(v), w, d); }

std::string format_e(double v, int w, int d) {
    std::string s(static_cast<std::size_t>(w), ' ');
    put_e(s.data(), v, w, d);
    return s;
}

bool parse_int_field(std::string_view field, std::int32_t& out) {
    // Blanks anywhere are ignored.  What is left is nothing (the field reads
    // as 0) or an optional sign and at least one digit: a sign alone holds
    // no number, wherever the blanks stand.
    std::size_t i = 0, n = field.size();
    while (i < n && field[i] == ' ') ++i;
    if (i == n) { out = 0; return true; }
    bool neg = false;
    if (field[i] == '+' || field[i] == '-') {
        neg = field[i] == '-';
        ++i;
    }
    bool digits = false;
    std::int64_t v = 0;
    for (; i < n; ++i) {
        char ch = field[i];
        if (ch == ' ') continue;
        if (ch < '0' || ch > '9') return false;
        digits = true;
        v = v * 10 + (ch - '0');
        if (v > static_cast<std::int64_t>(std::numeric_limits<std::int32_t>::max()) + 1) return false;
    }
    if (!digits) return false;
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
    // The number is rebuilt as "[-]digits" "e" "scale" for strtof, in a buffer
    // on the stack for any field a record description can have.
    char small[600];
    std::string large;
    char* text = small;
    if (field.size() + 32 > sizeof small) {
        large.resize(field.size() + 32);
        text = large.data();
    }
    // The field without blanks, at the end of the same buffer's room: it is
    // read from the front while the text is written behind it.
    char* const s = text + 32;
    std::size_t n = 0;
    for (char ch : field)
        if (ch != ' ') s[n++] = ch;
    std::size_t i = 0;
    bool neg = false;
    if (s[i] == '+' || s[i] == '-') {
        neg = s[i] == '-';
        ++i;
    }
    char* t = text;
    if (neg) *t++ = '-';
    std::size_t mant = 0;   // the digits of the mantissa, point removed
    int point_at = -1;      // digits before the point, when there is one
    for (; i < n; ++i) {
        const char ch = s[i];
        if (ch >= '0' && ch <= '9') {
            *t++ = ch;  // never overtakes s[i]: the text is at most 1 + i characters long here
            ++mant;
        } else if (ch == '.') {
            if (point_at >= 0) return false;
            point_at = static_cast<int>(mant);
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
    // A sign, a point or an exponent without a digit in front holds no
    // number, wherever the blanks of the field stand.
    if (mant == 0) return false;
    // Without a point the last d digits are the decimals.
    const long long scale = expo - (point_at >= 0 ? static_cast<long long>(mant) - point_at : d);
    *t++ = 'e';
    t = std::to_chars(t, t + 24, scale).ptr;
    *t = '\0';
    errno = 0;
    char* end = nullptr;
    float v = std::strtof(text, &end);
    if (end != t) return false;
    if (std::isinf(v)) return false;  // too large for a single-precision real
    out = v;
    return true;
}

}  // namespace seqord
