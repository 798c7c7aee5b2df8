// Inside the result readers: where the fields of a layout stand, and a
// result file read line by line with its fields taken from those columns.
#pragma once

#include <algorithm>
#include <array>
#include <initializer_list>
#include <string>
#include <string_view>

#include "records/records.h"
#include "results/results.h"

namespace seqord::results::detail {

// A literal or a data field of a record, as the layout writes it: its first
// column (from 0) and its width.
struct Column {
    Item kind = Item::Lit;
    std::size_t at = 0;
    std::size_t w = 0;
    int d = 0;
    std::string_view text;  // a literal's text
};

// The literals and data fields of one record of a layout, in order.
struct Columns {
    static constexpr std::size_t kMax = 40;
    std::array<Column, kMax> c{};
    std::size_t n = 0;
    constexpr const Column& operator[](std::size_t i) const { return c[i]; }
};

// Walks items [from, to) of `f`, groups as often as their repeat count, and
// keeps what stands on record `line`; false once that record is passed.
constexpr bool walk(const Format& f, int from, int to, int line, int& at_line, std::size_t& col, Columns& out) {
    for (int i = from; i < to; ++i) {
        const FormatItem& it = f.items[std::size_t(i)];
        switch (it.kind) {
        case Item::Open:
            for (int r = 0; r < it.rep; ++r)
                if (!walk(f, i + 1, it.match, line, at_line, col, out)) return false;
            i = it.match;
            break;
        case Item::Slash:
            if (at_line == line) return false;
            ++at_line;
            col = 0;
            break;
        case Item::Lit:
            if (at_line == line) out.c[out.n++] = {Item::Lit, col, it.text.size(), 0, it.text};
            col += it.text.size();
            break;
        case Item::X: col += std::size_t(it.w); break;
        case Item::T: col = std::size_t(it.w - 1); break;
        case Item::A:
        case Item::I:
        case Item::F:
        case Item::E:
            for (int r = 0; r < it.rep; ++r) {
                if (at_line == line) out.c[out.n++] = {it.kind, col, std::size_t(it.w), it.d, {}};
                col += std::size_t(it.w);
            }
            break;
        default: break;
        }
    }
    return true;
}

// The columns of record `line` (from 0) of a layout, once through it.
consteval Columns columns(const Format& f, int line = 0) {
    Columns out;
    int at_line = 0;
    std::size_t col = 0;
    walk(f, 0, f.count, line, at_line, col, out);
    return out;
}

// Where the column after field `c` begins.
constexpr std::size_t end_of(const Column& c) { return c.at + c.w; }

// A result file read line by line through the record layer.
class LineFile {
public:
    // Opens `path` (unit `unit`); a missing file, a folder or a file that
    // cannot be opened is an InputError saying so.
    LineFile(const std::string& path, int unit);

    // Moves to the next line; false at the end of the file.  A line that
    // cannot be read (one longer than the record layer takes, say) is an
    // InputError naming it.
    bool next();
    const std::string& raw() const { return raw_; }
    long line() const { return in_.line_number(); }
    const std::string& path() const { return path_; }
    std::string where() const { return path_ + ", line " + std::to_string(line()); }

    [[noreturn]] void fail(const std::string& what) const { throw InputError(where() + ": " + what); }
    // The next line, which `wanted` describes: the end of the file there
    // is the file of a run that did not end normally.
    void need(const std::string& wanted);
    // The next line, which must be `text`, hold the literal `c`, or hold
    // `n` values of the repeated field `c[0..]` as the layout writes them
    // (none at all: an empty line).
    void need_text(std::string_view text, const std::string& wanted);
    void need_literal(const Column& c, const std::string& wanted);
    void need_values(const Columns& c, std::size_t n, const std::string& wanted);
    // Passes over lines up to the one that is `text`.
    void skip_to(std::string_view text, const std::string& wanted);
    [[noreturn]] void misplaced(const std::string& wanted) const { fail(found() + " where " + wanted + " belongs"); }
    // The current line for a message: "an empty line", or an excerpt in quotes.
    std::string found() const;

    // The fields of the current line at the columns of `c`; `record` names
    // the record in messages ("a point record").
    std::int32_t integer(const Column& c, std::string_view record) const;
    Printed real(const Column& c, std::string_view record) const;
    Name name(const Column& c) const;
    // Whether the literal `c` stands at its columns.
    bool has(const Column& c) const;
    // Whether the line, trailing blanks aside, ends where field `c` ends.
    bool ends_at(const Column& c) const;
    // The line without its trailing blanks.
    std::string_view text() const;

private:
    std::string_view field(const Column& c) const;
    [[noreturn]] void not_a_number(const Column& c, std::string_view record) const;

    std::string path_;
    InStream in_;
    std::string raw_;
};

}  // namespace seqord::results::detail
