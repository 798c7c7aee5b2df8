#include "records/json.h"

#include "records/utf8.h"

#include <charconv>
#include <cmath>
#include <stdexcept>

namespace seqord::json {

namespace {

void hex4(std::string& out, unsigned v) {
    static constexpr char digits[] = "0123456789abcdef";
    out += "\\u";
    for (int shift = 12; shift >= 0; shift -= 4) out.push_back(digits[(v >> shift) & 0xF]);
}

}  // namespace

std::string quoted(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 2);
    out.push_back('"');
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    for (std::size_t i = 0; i < n;) {
        const unsigned char c = s[i];
        if (c < 0x80) {
            switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            case '<': case '>': case '&': hex4(out, c); break;
            default:
                if (c < 0x20 || c == 0x7F) hex4(out, 0xFFFD);
                else out.push_back(char(c));
            }
            ++i;
            continue;
        }
        if (const std::size_t len = records::utf8_length(text, i)) {
            if (len == 3 && c == 0xE2 && s[i + 1] == 0x80 && (s[i + 2] == 0xA8 || s[i + 2] == 0xA9))
                hex4(out, 0x2000u + (s[i + 2] - 0x80u));  // line and paragraph separators
            else
                out.append(text.substr(i, len));
            i += len;
            continue;
        }
        if (c < 0xA0) {
            hex4(out, 0xFFFD);  // a C1 control character of Latin-1
        } else {
            out.push_back(char(0xC0 | (c >> 6)));
            out.push_back(char(0x80 | (c & 0x3F)));
        }
        ++i;
    }
    out.push_back('"');
    return out;
}

std::string number(double v, int decimals) {
    if (!std::isfinite(v)) return "null";
    char buf[400];
    const auto r = decimals < 0 ? std::to_chars(buf, buf + sizeof buf, v)
                                : std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, decimals);
    std::string s(buf, r.ec == std::errc() ? r.ptr : buf);
    if (s.empty()) return "null";
    if (s[0] == '-' && s.find_first_not_of("-0.") == std::string::npos) s.erase(0, 1);
    return s;
}

void Writer::before_value() {
    if (!open_.empty() && open_.back() == '{') {
        if (!keyed_) throw std::logic_error("json::Writer: a value in an object needs a key");
        keyed_ = false;
        return;
    }
    if (open_.empty() && !out_.empty()) throw std::logic_error("json::Writer: a second value at the top");
    if (!first_) out_.push_back(',');
    first_ = false;
}

Writer& Writer::begin_object() {
    before_value();
    out_.push_back('{');
    open_.push_back('{');
    first_ = true;
    return *this;
}

Writer& Writer::begin_array() {
    before_value();
    out_.push_back('[');
    open_.push_back('[');
    first_ = true;
    return *this;
}

Writer& Writer::end_object() {
    if (open_.empty() || open_.back() != '{' || keyed_) throw std::logic_error("json::Writer: no object to close");
    open_.pop_back();
    out_.push_back('}');
    first_ = false;
    return *this;
}

Writer& Writer::end_array() {
    if (open_.empty() || open_.back() != '[') throw std::logic_error("json::Writer: no array to close");
    open_.pop_back();
    out_.push_back(']');
    first_ = false;
    return *this;
}

Writer& Writer::key(std::string_view name) {
    if (open_.empty() || open_.back() != '{' || keyed_) throw std::logic_error("json::Writer: a key outside an object");
    if (!first_) out_.push_back(',');
    first_ = false;
    out_ += quoted(name);
    out_.push_back(':');
    keyed_ = true;
    return *this;
}

Writer& Writer::string(std::string_view text) {
    before_value();
    out_ += quoted(text);
    return *this;
}

Writer& Writer::integer(std::int64_t v) {
    before_value();
    out_ += std::to_string(v);
    return *this;
}

Writer& Writer::real(double v, int decimals) {
    before_value();
    out_ += number(v, decimals);
    return *this;
}

Writer& Writer::boolean(bool v) {
    before_value();
    out_ += v ? "true" : "false";
    return *this;
}

Writer& Writer::null() {
    before_value();
    out_ += "null";
    return *this;
}

const std::string& Writer::text() const {
    if (!open_.empty() || out_.empty()) throw std::logic_error("json::Writer: the text is not complete");
    return out_;
}

}  // namespace seqord::json
