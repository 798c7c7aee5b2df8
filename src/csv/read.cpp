// The table reader: rows of fields from a descriptor, read in chunks so that
// only the row in hand is kept, however long the file.
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>

#include "csv/csv.h"

namespace seqord::csv {

namespace {

constexpr std::size_t kChunk = 64 * 1024;
constexpr int kEnd = -1;

bool blank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

bool Reader::fill() {
    if (eof_) return false;
    if (pos_ > 0) {
        buf_.erase(0, pos_);
        pos_ = 0;
    }
    const std::size_t had = buf_.size();
    buf_.resize(had + kChunk);
    for (;;) {
        const ssize_t k = ::read(fd_, buf_.data() + had, kChunk);
        if (k < 0 && errno == EINTR) continue;
        if (k < 0) {
            const int err = errno;
            buf_.resize(had);
            throw ReadError(std::strerror(err));
        }
        buf_.resize(had + static_cast<std::size_t>(k));
        if (k == 0) eof_ = true;
        return k > 0;
    }
}

int Reader::peek() {
    if (pos_ >= buf_.size() && !fill()) return kEnd;
    return static_cast<unsigned char>(buf_[pos_]);
}

int Reader::get() {
    const int c = peek();
    if (c != kEnd) ++pos_;
    return c;
}

bool Reader::next(std::vector<std::string>& fields) {
    if (!started_) {
        started_ = true;
        while (buf_.size() - pos_ < 3 && fill()) {
        }
        if (buf_.compare(pos_, 3, "\xEF\xBB\xBF") == 0) pos_ += 3;
        // The separator is the header's: look at the whole first line.
        std::size_t nl;
        while ((nl = buf_.find('\n', pos_)) == std::string::npos && buf_.size() - pos_ <= kMaxRowBytes && fill()) {
        }
        if (nl == std::string::npos) nl = buf_.size();
        if (nl - pos_ > kMaxRowBytes) throw TableError(1, "the line is longer than 1 MiB");
        const std::string_view first(buf_.data() + pos_, nl - pos_);
        if (first.find('\t') != std::string_view::npos) sep_ = '\t';
        else if (first.find(';') != std::string_view::npos && first.find(',') == std::string_view::npos) sep_ = ';';
        else sep_ = ',';
    }
    for (;;) {
        fields.clear();
        if (peek() == kEnd) return false;
        row_line_ = line_;
        std::string field;
        bool quoted = false;       // inside quotes
        bool after_quote = false;  // the field's closing quote has been met
        bool was_quoted = false;   // some field of the row was quoted
        std::size_t bytes = 0;
        for (;;) {
            const int c = get();
            if (c == kEnd) {
                if (quoted) throw TableError(row_line_, "a quoted field is not closed before the end of the file");
                fields.push_back(std::move(field));
                break;
            }
            if (++bytes > kMaxRowBytes) throw TableError(row_line_, "the line is longer than 1 MiB");
            const char ch = static_cast<char>(c);
            if (quoted) {
                if (ch == '"') {
                    if (peek() == '"') {
                        get();
                        field.push_back('"');
                    } else {
                        quoted = false;
                        after_quote = true;
                    }
                } else {
                    if (ch == '\n') ++line_;
                    field.push_back(ch);
                }
                continue;
            }
            if (ch == '\r' && peek() == '\n') continue;
            if (ch == sep_ || ch == '\n') {
                fields.push_back(std::move(field));
                field.clear();
                after_quote = false;
                if (ch == '\n') {
                    ++line_;
                    break;
                }
                continue;
            }
            if (after_quote) {
                if (blank(ch)) continue;
                throw TableError(line_, "text after the closing quote of a field");
            }
            if (ch == '"' && field.find_first_not_of(" \t") == std::string::npos) {
                field.clear();  // blanks before an opening quote do not belong to the field
                quoted = true;
                was_quoted = true;
                continue;
            }
            field.push_back(ch);
        }
        const bool empty_line =
            !was_quoted && fields.size() == 1 && fields[0].find_first_not_of(" \t") == std::string::npos;
        if (!empty_line) return true;
    }
}

bool parse_number(std::string_view text, bool decimal_comma, double& out) {
    std::size_t b = 0, e = text.size();
    while (b < e && blank(text[b])) ++b;
    while (e > b && blank(text[e - 1])) --e;
    text = text.substr(b, e - b);
    if (!text.empty() && text[0] == '+') text.remove_prefix(1);
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
    if (digits == 0) return false;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
        std::size_t exp_digits = 0;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i, ++exp_digits;
        if (exp_digits == 0) return false;
    }
    if (i != s.size()) return false;
    double v = 0;
    const auto r = std::from_chars(s.data(), s.data() + s.size(), v);
    if (r.ec != std::errc() || r.ptr != s.data() + s.size() || !std::isfinite(v)) return false;
    out = v;
    return true;
}

}  // namespace seqord::csv
