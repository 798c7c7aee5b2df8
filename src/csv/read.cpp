// The table reader: rows of fields from a descriptor, read in blocks.
// A row without a double quote (nearly all of them) is split in place, its
// fields views into the block; a row with one takes the RFC 4180 path,
// which unescapes its quoted fields in place as well.
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "csv/csv.h"

namespace seqord::csv {

namespace {

constexpr std::size_t kBlock = std::size_t{1} << 20;

bool blank(char c) { return c == ' ' || c == '\t'; }

bool all_blank(const char* b, const char* e) {
    for (; b < e; ++b)
        if (!blank(*b)) return false;
    return true;
}

[[noreturn]] void too_long(long line) { throw TableError(line, "the line is longer than 1 MiB"); }

}  // namespace

Reader::Reader(int fd) : fd_(fd) {}

bool Reader::fill() {
    if (eof_) return false;
    if (pos_ > 0) {
        std::memmove(buf_.data(), buf_.data() + pos_, end_ - pos_);
        end_ -= pos_;
        pos_ = 0;
    }
    // The block grows from 64 KiB as the file goes on, to hold the longest
    // row with 1 MiB beside it.
    if (buf_.size() < kMaxRowBytes + kBlock + 8) {
        std::vector<char> more(std::min(std::max<std::size_t>(buf_.size() * 2, 64 << 10), kMaxRowBytes + kBlock + 8));
        if (end_ > 0) std::memcpy(more.data(), buf_.data(), end_);
        buf_.swap(more);
    }
    for (;;) {
        const ssize_t k = ::read(fd_, buf_.data() + end_, buf_.size() - end_);
        if (k < 0 && errno == EINTR) continue;
        if (k < 0) throw ReadError(std::strerror(errno));
        if (k == 0) eof_ = true;
        end_ += static_cast<std::size_t>(k);
        return k > 0;
    }
}

void Reader::carriage_return(long line) const {
    throw TableError(line,
                     "a carriage return alone ends a line (old Mac line ends); save the table with LF or CR LF "
                     "line ends");
}

bool Reader::next_line(const char*& b, const char*& e, bool& ended) {
    for (;;) {
        b = buf_.data() + pos_;
        const char* const stop = buf_.data() + end_;
        const std::size_t window = std::min<std::size_t>(end_ - pos_, kMaxRowBytes + 2);
        const void* nl = std::memchr(b, '\n', window);
        if (nl != nullptr) {
            e = static_cast<const char*>(nl);
            ended = true;
            return true;
        }
        if (end_ - pos_ > kMaxRowBytes + 1) {
            // No line end within the longest row: a line too long, unless a
            // quote opens a field that may hold line breaks.
            e = b + kMaxRowBytes + 1;
            ended = false;
            return true;
        }
        if (!eof_) {
            fill();
            continue;
        }
        if (pos_ == end_) return false;
        e = stop;
        ended = false;
        return true;
    }
}

void Reader::start() {
    started_ = true;
    while (end_ - pos_ < 3 && fill()) {
    }
    if (end_ - pos_ >= 3 && std::memcmp(buf_.data() + pos_, "\xEF\xBB\xBF", 3) == 0) pos_ += 3;
    // The header is the first line that is not blank; it decides the
    // separator.
    const char *b, *e;
    bool ended;
    while (next_line(b, e, ended)) {
        std::string_view first(b, static_cast<std::size_t>(e - b));
        if (!first.empty() && first.back() == '\r' && (ended || eof_)) first.remove_suffix(1);
        if (first.find_first_not_of(" \t") == std::string_view::npos) {
            if (!ended) return;  // the end of the file
            pos_ = static_cast<std::size_t>(e - buf_.data()) + 1;
            ++line_;
            continue;
        }
        if (first.find('\t') != std::string_view::npos) sep_ = '\t';
        else if (first.find(';') != std::string_view::npos && first.find(',') == std::string_view::npos) sep_ = ';';
        else sep_ = ',';
        return;
    }
}

bool Reader::next(std::vector<std::string_view>& fields) {
    if (!started_) start();
    for (;;) {
        fields.clear();
        const char *b, *e;
        bool ended;
        if (!next_line(b, e, ended)) return false;
        row_line_ = line_;
        const char* le = e;
        if (le > b && le[-1] == '\r' && (ended || eof_)) --le;
        const char* f = b;
        bool quote = false;
        for (const char* p = b; p < le; ++p) {
            const char c = *p;
            if (c == sep_) {
                fields.emplace_back(f, static_cast<std::size_t>(p - f));
                f = p + 1;
            } else if (c == '"') {
                quote = true;
                break;
            } else if (c == '\r') {
                carriage_return(line_);
            }
        }
        if (quote) {
            fields.clear();
            quoted_row(fields);
            return true;
        }
        if (static_cast<std::size_t>(e - b) > kMaxRowBytes) too_long(line_);
        fields.emplace_back(f, static_cast<std::size_t>(le - f));
        pos_ = static_cast<std::size_t>(e - buf_.data()) + (ended ? 1 : 0);
        ++line_;
        if (fields.size() == 1 && all_blank(fields[0].data(), fields[0].data() + fields[0].size())) continue;
        return true;
    }
}

// A row with a double quote somewhere: first find where it ends (reading on
// when it is longer than the block in hand), then split it, unescaping its
// quoted fields in place.
void Reader::quoted_row(std::vector<std::string_view>& fields) {
    std::size_t stop = 0;  // one past the row's last byte (its line end included)
    long lines = 0;        // line ends inside quotes
    for (;;) {
        const char* const base = buf_.data();
        std::size_t i = pos_;
        bool quoted = false, at_start = true, after_quote = false;
        long field_line = row_line_;
        lines = 0;
        bool done = false;
        for (; i < end_; ++i) {
            if (i - pos_ > kMaxRowBytes) {
                if (quoted)
                    throw TableError(field_line,
                                     "a quoted field runs on past 1 MiB (is its closing quote missing?)");
                too_long(row_line_ + lines);
            }
            const char c = base[i];
            if (quoted) {
                if (c == '"') {
                    if (i + 1 >= end_ && !eof_) break;  // is it doubled? read on
                    if (i + 1 < end_ && base[i + 1] == '"') {
                        ++i;
                    } else {
                        quoted = false;
                        at_start = false;
                        after_quote = true;
                    }
                } else if (c == '\n') {
                    ++lines;
                }
                continue;
            }
            if (c == '\n') {
                done = true;
                stop = i + 1;
                break;
            }
            if (c == '\r') {
                if (i + 1 >= end_ && !eof_) break;
                if (i + 1 < end_ && base[i + 1] != '\n') carriage_return(row_line_ + lines);
                continue;
            }
            if (c == sep_) {
                at_start = true;
                after_quote = false;
                continue;
            }
            if (after_quote) {
                if (blank(c)) continue;
                throw TableError(row_line_ + lines, "text after the closing quote of a field");
            }
            if (c == '"' && at_start) {
                quoted = true;
                field_line = row_line_ + lines;
                continue;
            }
            if (!blank(c)) at_start = false;
        }
        if (done) break;
        if (i >= end_ && eof_) {
            if (quoted) throw TableError(row_line_, "a quoted field is not closed before the end of the file");
            stop = end_;
            break;
        }
        fill();
    }

    // Split [pos_, stop), writing each field's bytes back in place.
    char* const base = buf_.data();
    std::size_t last = stop;
    if (last > pos_ && base[last - 1] == '\n') --last;
    if (last > pos_ && base[last - 1] == '\r') --last;
    std::size_t r = pos_;
    long line = row_line_;
    // Blanks around a quoted field, the separator not among them.
    const auto pad = [this](char c) { return blank(c) && c != sep_; };
    for (;;) {
        const std::size_t w0 = r;
        std::size_t w = r;
        // Blanks before an opening quote do not belong to the field.
        std::size_t k = r;
        while (k < last && pad(base[k])) ++k;
        if (k < last && base[k] == '"') {
            r = k + 1;
            for (;;) {
                // The scan above found the closing quote.
                const char c = base[r];
                if (c == '"') {
                    if (r + 1 < last && base[r + 1] == '"') {
                        base[w++] = '"';
                        r += 2;
                        continue;
                    }
                    ++r;
                    break;
                }
                if (c == '\n') ++line;
                base[w++] = c;
                ++r;
            }
            while (r < last && pad(base[r])) ++r;
            if (r < last && base[r] != sep_) throw TableError(line, "text after the closing quote of a field");
        } else {
            while (r < last && base[r] != sep_) base[w++] = base[r++];
        }
        fields.emplace_back(base + w0, w - w0);
        if (r >= last) break;
        ++r;  // the separator
    }
    line_ = row_line_ + lines + 1;
    pos_ = stop;
}

bool Reader::next(std::vector<std::string>& fields) {
    if (!next(views_)) return false;
    fields.assign(views_.begin(), views_.end());
    return true;
}

Number parse_number(std::string_view text, bool decimal_comma, double& out) {
    std::size_t b = 0, e = text.size();
    while (b < e && blank(text[b])) ++b;
    while (e > b && blank(text[e - 1])) --e;
    text = text.substr(b, e - b);
    if (!text.empty() && text[0] == '+') {
        text.remove_prefix(1);
        if (!text.empty() && text[0] == '-') return Number::not_a_number;
    }
    // Checked by hand: from_chars also takes "inf", "nan" and forms a
    // table should not hold.
    std::string s(text);
    std::size_t i = 0;
    if (i < s.size() && s[i] == '-') ++i;
    std::size_t digits = 0;
    bool point = false;
    for (; i < s.size(); ++i) {
        char& c = s[i];
        if (c >= '0' && c <= '9') ++digits;
        else if ((c == '.' || (decimal_comma && c == ',')) && !point) {
            point = true;
            c = '.';
        } else break;
    }
    if (digits == 0) return Number::not_a_number;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
        std::size_t exp_digits = 0;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i, ++exp_digits;
        if (exp_digits == 0) return Number::not_a_number;
    }
    if (i != s.size()) return Number::not_a_number;
    double v = 0;
    const auto r = std::from_chars(s.data(), s.data() + s.size(), v);
    if (r.ec == std::errc::result_out_of_range) return Number::out_of_range;
    if (r.ec != std::errc() || r.ptr != s.data() + s.size()) return Number::not_a_number;
    if (!std::isfinite(v)) return Number::out_of_range;
    out = v;
    return Number::ok;
}

namespace {

constexpr std::uint32_t kNegative = 0x40000000u;
constexpr int kPowerShift = 26;
constexpr std::uint32_t kMantissa = (1u << kPowerShift) - 1;
constexpr double kPow10[16] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                               1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};

bool digit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

bool pack_decimal(std::string_view text, bool decimal_comma, std::uint32_t& code) {
    const char* p = text.data();
    const char* e = p + text.size();
    while (p < e && blank(*p)) ++p;
    while (e > p && blank(e[-1])) --e;
    const bool negative = p < e && *p == '-';
    if (negative) ++p;
    constexpr std::uint64_t kLimit = 100000000000000000ull;  // m * 10 stays far from overflow
    std::uint64_t m = 0;
    int digits = 0, decimals = 0;
    for (; p < e && digit(*p); ++p, ++digits) {
        if (m >= kLimit) return false;
        m = m * 10 + static_cast<std::uint64_t>(*p - '0');
    }
    if (p < e && (*p == '.' || (decimal_comma && *p == ','))) {
        for (++p; p < e && digit(*p); ++p, ++decimals) {
            if (m >= kLimit) return false;
            m = m * 10 + static_cast<std::uint64_t>(*p - '0');
        }
    }
    if (p != e || digits + decimals == 0) return false;
    while (decimals > 0 && m % 10 == 0) m /= 10, --decimals;
    if (m > kMantissa || decimals > 15) return false;
    code = (negative ? kNegative : 0u) | (static_cast<std::uint32_t>(decimals) << kPowerShift) |
           static_cast<std::uint32_t>(m);
    return true;
}

double unpack_decimal(std::uint32_t code) {
    const double v = static_cast<double>(code & kMantissa) / kPow10[(code >> kPowerShift) & 15];
    return code & kNegative ? -v : v;
}

}  // namespace seqord::csv
