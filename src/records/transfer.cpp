// Moving value lists through record descriptions, and free-form reads.
#include <cstring>
#include <limits>

#include "records/transfer.h"

#include "records/fields.h"

namespace seqord {

namespace {

// ---------------------------------------------------- format walking ---

// Walks a format's items in the order the matching rules give: groups are
// repeated, and when the final parenthesis is met the caller decides whether
// to start a new record at the reversion point.
class Walker {
public:
    explicit Walker(const Format& f) : f_(f) {}

    bool at_end() const { return i_ >= f_.count; }
    const FormatItem& item() const { return f_.items[i_]; }
    int index() const { return i_; }

    // Moves past the current (non-group) item.
    void next() { ++i_; settle(); }
    // Continues at the reversion point after the final parenthesis.
    void revert() { i_ = f_.reversion; depth_ = 0; settle(); }
    void start() { i_ = 0; depth_ = 0; settle(); }

private:
    // Handles group parentheses so that item() is always an edit item or the end.
    void settle() {
        while (i_ < f_.count) {
            const FormatItem& it = f_.items[i_];
            if (it.kind == Item::Open) {
                stack_[depth_].open = i_;
                stack_[depth_].left = it.rep;
                ++depth_;
                ++i_;
            } else if (it.kind == Item::Close) {
                Frame& fr = stack_[depth_ - 1];
                if (--fr.left > 0) {
                    i_ = fr.open + 1;
                } else {
                    --depth_;
                    ++i_;
                }
            } else {
                return;
            }
        }
    }

    struct Frame {
        int open = 0;
        int left = 0;
    };
    const Format& f_;
    int i_ = 0;
    int depth_ = 0;
    Frame stack_[16];
};

bool is_data(Item k) { return k == Item::A || k == Item::I || k == Item::F || k == Item::E; }

// The matching rules shared by reads and writes: data items take the list's
// elements in turn; when the list is used up, processing stops at the next
// data item or at the final parenthesis; when the final parenthesis is met
// with elements left, a new record begins at the reversion point.
// `data(item)` moves one element, `new_record()` starts the next record,
// `edit(item)` carries out a literal, positioning, '/' or '$'.
template <class Cur, class Data, class NewRecord, class Edit>
void match(const Format& f, Cur& cur, Data data, NewRecord new_record, Edit edit) {
    Walker w(f);
    w.start();
    for (;;) {
        if (w.at_end()) {
            if (cur.done()) return;
            new_record();
            w.revert();
            continue;
        }
        const FormatItem& it = w.item();
        if (is_data(it.kind)) {
            for (int r = 0; r < it.rep; ++r) {
                if (cur.done()) return;
                data(it);
                cur.advance();
            }
        } else {
            edit(it);
        }
        w.next();
    }
}

// ---------------------------------------------------------- writing ---

// Walks a value or variable list element by element, runs included.
template <class Entry>
class Cursor {
public:
    Cursor(const Entry* b, const Entry* e) : it_(b), end_(e) { skip_empty(); }
    bool done() const { return it_ == end_; }
    const Entry& entry() const { return *it_; }
    std::size_t k() const { return k_; }
    void advance() {
        if (++k_ >= it_->count) {
            ++it_;
            k_ = 0;
            skip_empty();
        }
    }

private:
    void skip_empty() {
        while (it_ != end_ && it_->count == 0) ++it_;
    }
    const Entry* it_;
    const Entry* end_;
    std::size_t k_ = 0;
};

// Builds one record at a time in a buffer that the stream keeps, so that
// writing a record allocates nothing once the buffer has grown to the
// longest record.
class RecordBuilder {
public:
    explicit RecordBuilder(std::string& buf) : rec_(buf) { rec_.clear(); }

    // Room for n characters at the current column (the columns passed over
    // before it are blanks); the column moves past them.
    char* take(std::size_t n) {
        const std::size_t end = pos_ + n;
        if (rec_.size() < end) rec_.resize(end, ' ');
        char* p = rec_.data() + pos_;
        pos_ = end;
        return p;
    }
    void put(std::string_view s) {
        if (!s.empty()) std::memcpy(take(s.size()), s.data(), s.size());
    }
    void move_to(std::size_t col0) { pos_ = col0; }
    void skip(std::size_t n) { pos_ += n; }
    std::string_view text() const { return rec_; }
    void clear() {
        rec_.clear();
        pos_ = 0;
    }

private:
    std::string& rec_;
    std::size_t pos_ = 0;
};

// A literal's text, a doubled quote standing for one.
void put_literal(RecordBuilder& rec, const FormatItem& it) {
    const std::string_view t = it.text;
    std::size_t from = 0;
    for (std::size_t i = 0; i < t.size(); ++i) {
        if (t[i] == it.quote && i + 1 < t.size() && t[i + 1] == it.quote) {
            rec.put(t.substr(from, i + 1 - from));
            from = i + 2;
            ++i;
        }
    }
    rec.put(t.substr(from));
}

[[noreturn]] void mismatch(const Format& f, const char* what) {
    throw std::logic_error(std::string("value does not suit its field (") + what + ") in " +
                           std::string(f.source));
}

// Converts element k of v through the data item into the record.
void put_value(RecordBuilder& rec, const Format& f, const FormatItem& it, const Out& v, std::size_t k) {
    const auto at_real = [&]() -> float {
        if (v.type == Out::T::Real) return v.rval;
        if (v.type == Out::T::RealRun)
            return static_cast<const float*>(v.p)[static_cast<std::ptrdiff_t>(k) * v.stride];
        mismatch(f, "a real is needed");
    };
    const auto w = static_cast<std::size_t>(it.w);
    switch (it.kind) {
    case Item::I: {
        std::int64_t x = 0;
        if (v.type == Out::T::Int) x = v.ival;
        else if (v.type == Out::T::IntSeq) x = v.ival + static_cast<std::int64_t>(k);
        else if (v.type == Out::T::IntRun)
            x = static_cast<const std::int32_t*>(v.p)[static_cast<std::ptrdiff_t>(k) * v.stride];
        else mismatch(f, "an integer is needed");
        if (w == 0) {
            char digits[24];
            rec.put(std::string_view(digits, put_int(digits, x, 0)));
        } else {
            put_int(rec.take(w), x, it.w);
        }
        return;
    }
    case Item::F: put_f(rec.take(w), at_real(), it.w, it.d); return;
    case Item::E: put_e(rec.take(w), at_real(), it.w, it.d); return;
    case Item::A: {
        std::string_view s;
        if (v.type == Out::T::Text) s = v.text;
        else if (v.type == Out::T::NameRun)
            s = static_cast<const Name*>(v.p)[static_cast<std::ptrdiff_t>(k) * v.stride].view();
        else mismatch(f, "a text is needed");
        if (!it.has_w) {
            rec.put(s);
        } else if (s.size() >= w) {
            rec.put(s.substr(0, w));
        } else {
            char* p = rec.take(w);
            std::memset(p, ' ', w - s.size());
            std::memcpy(p + (w - s.size()), s.data(), s.size());
        }
        return;
    }
    default: break;
    }
    mismatch(f, "not a data item");
}

}  // namespace

void report_line(OutStream& err, std::string_view text) {
    static constexpr Format line = layout("(A)");
    write(err, line, {std::string_view(printable(text))});
}

void write(OutStream& s, const Format& f, std::initializer_list<Out> values) {
    Cursor<Out> cur(values.begin(), values.end());
    if (!cur.done() && !f.has_data) mismatch(f, "the layout takes no values");
    RecordBuilder rec(s.record_buffer());
    bool keep_open = false;
    auto end_record = [&] {
        s.put_record(rec.text(), false);
        rec.clear();
        keep_open = false;
    };
    match(
        f, cur, [&](const FormatItem& it) { put_value(rec, f, it, cur.entry(), cur.k()); }, end_record,
        [&](const FormatItem& it) {
            switch (it.kind) {
            case Item::Lit: put_literal(rec, it); break;
            case Item::X: rec.skip(static_cast<std::size_t>(it.w)); break;
            case Item::T: rec.move_to(static_cast<std::size_t>(it.w - 1)); break;
            case Item::Slash: end_record(); break;
            case Item::Dollar: keep_open = true; break;
            default: break;
            }
        });
    s.put_record(rec.text(), keep_open);
}

// ---------------------------------------------------------- reading ---

namespace {

std::string columns(std::size_t from0, std::size_t w) {
    if (w == 1) return "column " + std::to_string(from0 + 1);
    return "columns " + std::to_string(from0 + 1) + "-" + std::to_string(from0 + w);
}

void store_in(InStream& s, const Format& f, const FormatItem& it, const In& v, std::size_t k,
              std::string_view field, std::size_t col0) {
    auto bad = [&]() {
        std::string where = "line " + std::to_string(s.line_number()) + ", " +
                            columns(col0, field.size()) + " \"" + excerpt(field) + "\"";
        s.fail(Condition::InputConversion, where);
    };
    const std::ptrdiff_t off = static_cast<std::ptrdiff_t>(k) * v.stride;
    switch (it.kind) {
    case Item::I: {
        std::int32_t x = 0;
        if (!parse_int_field(field, x)) bad();
        if (v.type == In::T::Int) *static_cast<std::int32_t*>(v.p) = x;
        else if (v.type == In::T::IntRun) static_cast<std::int32_t*>(v.p)[off] = x;
        else mismatch(f, "an integer variable is needed");
        return;
    }
    case Item::F:
    case Item::E: {
        float x = 0.0f;
        if (!parse_real_field(field, it.d, x)) bad();
        if (v.type == In::T::Real) *static_cast<float*>(v.p) = x;
        else if (v.type == In::T::RealRun) static_cast<float*>(v.p)[off] = x;
        else mismatch(f, "a real variable is needed");
        return;
    }
    case Item::A: {
        if (v.type != In::T::Chars) mismatch(f, "a character variable is needed");
        char* dst = static_cast<char*>(v.p);
        std::size_t len = v.len;
        if (field.size() >= len) {
            // A wider field gives its rightmost characters.
            field.copy(dst, len, field.size() - len);
        } else {
            field.copy(dst, field.size());
            for (std::size_t i = field.size(); i < len; ++i) dst[i] = ' ';
        }
        return;
    }
    default: break;
    }
    mismatch(f, "not a data item");
}

bool read_impl(InStream& s, const Format& f, std::initializer_list<In> vars, bool eof_branch) {
    std::string& line = s.record_buffer();
    if (!s.next_record(line)) {
        if (eof_branch) return false;
        s.fail(Condition::EndOfFile, s.position());
    }
    Cursor<In> cur(vars.begin(), vars.end());
    if (!cur.done() && !f.has_data) mismatch(f, "the layout takes no variables");
    std::size_t pos = 0;
    auto next_line = [&]() {
        if (!s.next_record(line))
            s.fail(Condition::EndOfFile, s.position());
        pos = 0;
    };
    match(
        f, cur,
        [&](const FormatItem& it) {
            const std::size_t width =
                it.has_w || it.kind != Item::A ? static_cast<std::size_t>(it.w) : cur.entry().len;
            if (pos + width <= line.size()) {
                store_in(s, f, it, cur.entry(), cur.k(), std::string_view(line).substr(pos, width), pos);
            } else {
                // A short record reads as if padded with blanks.
                char small[256];
                std::string large;
                char* field = small;
                if (width > sizeof small) {
                    large.resize(width);
                    field = large.data();
                }
                const std::size_t have = pos < line.size() ? line.size() - pos : 0;
                if (have > 0) std::memcpy(field, line.data() + pos, have);
                std::memset(field + have, ' ', width - have);
                store_in(s, f, it, cur.entry(), cur.k(), std::string_view(field, width), pos);
            }
            pos += width;
        },
        next_line,
        [&](const FormatItem& it) {
            switch (it.kind) {
            case Item::X: pos += static_cast<std::size_t>(it.w); break;
            case Item::T: pos = static_cast<std::size_t>(it.w - 1); break;
            case Item::Slash: next_line(); break;
            default: break;
            }
        });
    return true;
}

}  // namespace

void read(InStream& s, const Format& f, std::initializer_list<In> vars) { read_impl(s, f, vars, false); }

bool read_or_eof(InStream& s, const Format& f, std::initializer_list<In> vars) {
    return read_impl(s, f, vars, true);
}

// ------------------------------------------------------ free-form read ---

void read_list(InStream& s, std::initializer_list<In> vars) {
    Cursor<In> cur(vars.begin(), vars.end());
    std::string& line = s.record_buffer();
    std::size_t pos = 0;
    bool have_line = false;
    // A value has been taken since the last comma (so a comma that follows
    // is only its separator, not a null value).
    bool after_value = false;
    auto store = [&](std::int32_t v) {
        const In& e = cur.entry();
        if (e.type == In::T::Int) *static_cast<std::int32_t*>(e.p) = v;
        else if (e.type == In::T::IntRun)
            static_cast<std::int32_t*>(e.p)[static_cast<std::ptrdiff_t>(cur.k()) * e.stride] = v;
        else throw std::logic_error("free-form reads take integers only");
        cur.advance();
    };
    auto where = [&](std::size_t from, std::size_t to) {
        std::string w = "line " + std::to_string(s.line_number()) + ", " + columns(from, to - from);
        w += " \"" + excerpt(std::string_view(line).substr(from, to - from)) + "\"";
        return w;
    };
    while (!cur.done()) {
        if (!have_line || pos >= line.size()) {
            if (!s.next_record(line))
                s.fail(Condition::EndOfFile, s.position());
            have_line = true;
            pos = 0;
            continue;  // the end of a line separates values like a blank
        }
        char ch = line[pos];
        if (ch == ' ' || ch == '\t') { ++pos; continue; }
        if (ch == ',') {
            if (!after_value) cur.advance();  // a null value leaves its variable as it was
            after_value = false;
            ++pos;
            continue;
        }
        if (ch == '/') { ++pos; break; }
        // A value: [r*][v] with v an optionally signed integer.
        std::size_t start = pos;
        while (pos < line.size() && line[pos] != ' ' && line[pos] != '\t' && line[pos] != ',' &&
               line[pos] != '/')
            ++pos;
        std::string_view tok(line.data() + start, pos - start);
        auto to_int = [&](std::string_view t, std::int64_t& out, bool allow_sign) {
            std::size_t i = 0;
            bool neg = false;
            if (allow_sign && i < t.size() && (t[i] == '+' || t[i] == '-')) {
                neg = t[i] == '-';
                ++i;
            }
            if (i == t.size()) return false;
            // Past the 32-bit range the value saturates, but every character
            // of the token is still checked: a token that is not an integer
            // at all is a syntax error however many digits it starts with.
            std::int64_t v = 0;
            bool too_big = false;
            for (; i < t.size(); ++i) {
                if (t[i] < '0' || t[i] > '9') return false;
                if (too_big) continue;
                v = v * 10 + (t[i] - '0');
                if (v > static_cast<std::int64_t>(std::numeric_limits<std::int32_t>::max()) + 1) too_big = true;
            }
            out = too_big ? std::numeric_limits<std::int64_t>::max() : neg ? -v : v;
            return true;
        };
        std::size_t star = tok.find('*');
        std::int64_t repeat = 1;
        std::string_view value = tok;
        if (star != std::string_view::npos) {
            if (!to_int(tok.substr(0, star), repeat, false) || repeat < 1)
                s.fail(Condition::ListSyntax, where(start, pos));
            value = tok.substr(star + 1);
        }
        if (value.empty() && star != std::string_view::npos) {
            for (std::int64_t r = 0; r < repeat && !cur.done(); ++r) cur.advance();
        } else {
            std::int64_t v = 0;
            if (!to_int(value, v, true)) s.fail(Condition::ListSyntax, where(start, pos));
            if (v > std::numeric_limits<std::int32_t>::max() || v < std::numeric_limits<std::int32_t>::min())
                s.fail(Condition::InputConversion, where(start, pos));
            for (std::int64_t r = 0; r < repeat && !cur.done(); ++r) store(static_cast<std::int32_t>(v));
        }
        after_value = true;
    }
    // The rest of the line on which the read ended is skipped.
}

}  // namespace seqord
