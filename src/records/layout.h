// Record descriptions ("layouts") such as "(I6,4X,A8)", parsed into a Format.
// Parsing is constexpr: the program's own layouts are constants parsed, and
// so checked, when the program is compiled (`layout("...")`).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <stdexcept>
#include <string_view>

namespace seqord {

enum class Item : std::uint8_t { Lit, A, I, F, E, X, T, Slash, Dollar, Open, Close };

struct FormatItem {
    Item kind = Item::Lit;
    int rep = 1;       // repeat count of a data item or group
    int w = 0;         // field width; X: columns; T: column
    int d = 0;         // decimals of F and E
    bool has_w = false;  // A with an explicit width
    std::string_view text;  // literal text (between the quotes)
    char quote = '\'';      // the quote of a literal; doubled inside it stands for one
    int match = -1;         // index of the matching Open/Close
};

class FormatError : public std::invalid_argument {
public:
    using std::invalid_argument::invalid_argument;
};

// A parsed record description: its items in order, groups as matching
// Open/Close items, and the point where processing resumes when a value
// list outlives the description (the last group at the outermost level).
struct Format {
    static constexpr int kMaxItems = 48;
    std::array<FormatItem, kMaxItems> items{};
    int count = 0;
    int reversion = 0;    // where processing resumes when the list outlives the layout
    bool has_data = false;
    std::string_view source;

    constexpr explicit Format(std::string_view s) : source(s) {
        Parser p{*this, s};
        p.description();
    }

private:
    // Reads a description from left to right, one step per kind of item.
    struct Parser {
        Format& f;
        std::string_view s;
        std::size_t p = 0;
        int open_groups[16] = {};
        int depth = 0;
        int last_outer_open = -1;

        static constexpr bool is_digit(char ch) { return ch >= '0' && ch <= '9'; }
        static constexpr char upper(char ch) { return (ch >= 'a' && ch <= 'z') ? char(ch - 32) : ch; }

        constexpr void push(const FormatItem& it) {
            if (f.count >= kMaxItems) throw FormatError("record description has too many items");
            f.items[f.count++] = it;
        }
        constexpr void skip_blanks() {
            while (p < s.size() && (s[p] == ' ' || s[p] == '\t')) ++p;
        }
        constexpr char next_char() {
            skip_blanks();
            if (p >= s.size()) throw FormatError("record description is not closed");
            return s[p];
        }
        // An unsigned decimal number, if one stands here.
        constexpr bool number(int& out) {
            if (p >= s.size() || !is_digit(s[p])) return false;
            long v = 0;
            while (p < s.size() && is_digit(s[p])) {
                v = v * 10 + (s[p] - '0');
                if (v > 100000) throw FormatError("number too large in record description");
                ++p;
            }
            out = int(v);
            return true;
        }

        // "(" items ")" and nothing after it but blanks.
        constexpr void description() {
            skip_blanks();
            if (p >= s.size() || s[p] != '(') throw FormatError("record description must start with '('");
            ++p;
            while (item_or_end()) {
            }
            if (depth != 0) throw FormatError("group is not closed");
            skip_blanks();
            if (p != s.size()) throw FormatError("text after the closing parenthesis");
            f.reversion = last_outer_open < 0 ? 0 : last_outer_open;
        }

        // One item, a separating comma or a closing parenthesis; false once
        // the description's own closing parenthesis has been read.
        constexpr bool item_or_end() {
            const char ch = next_char();
            if (ch == ',') {
                ++p;
                return true;
            }
            if (ch == ')') {
                ++p;
                if (depth == 0) return false;
                group_close();
                return true;
            }
            if (ch == '\'' || ch == '"') {
                literal();
                return true;
            }
            if (ch == '/' || ch == '$') {
                ++p;
                FormatItem it;
                it.kind = ch == '/' ? Item::Slash : Item::Dollar;
                push(it);
                return true;
            }
            int n = 1;
            const bool has_n = number(n);
            if (upper(next_char()) == '(') group_open(n);
            else edit_item(n, has_n);
            return true;
        }

        // 'text' or "text": the quote doubled inside stands for itself.
        constexpr void literal() {
            const char q = s[p];
            const std::size_t start = ++p;
            for (;;) {
                if (p >= s.size()) throw FormatError("literal is not closed");
                if (s[p] == q) {
                    if (p + 1 < s.size() && s[p + 1] == q) {
                        p += 2;
                        continue;
                    }
                    break;
                }
                ++p;
            }
            FormatItem it;
            it.kind = Item::Lit;
            it.text = s.substr(start, p - start);
            it.quote = q;
            ++p;
            push(it);
        }

        // n( opens a group repeated n times (n at least 1, 16 levels deep).
        constexpr void group_open(int n) {
            ++p;
            if (depth >= 16) throw FormatError("groups nested too deeply");
            if (n < 1) throw FormatError("group repeat count must be positive");
            FormatItem it;
            it.kind = Item::Open;
            it.rep = n;
            if (depth == 0) last_outer_open = f.count;
            open_groups[depth++] = f.count;
            push(it);
        }

        // ) closes the innermost group and ties the two ends together.
        constexpr void group_close() {
            const int open = open_groups[--depth];
            FormatItem it;
            it.kind = Item::Close;
            it.match = open;
            f.items[open].match = f.count;
            push(it);
        }

        // nX, Tc, and the data items rA, rAw, rIw, rFw.d, rEw.d (r, w at
        // least 1; E with at least one decimal; w and d up to 255).
        constexpr void edit_item(int n, bool has_n) {
            const char k = upper(s[p]);
            ++p;
            FormatItem it;
            switch (k) {
            case 'X':
                it.kind = Item::X;
                it.w = n;
                break;
            case 'T':
                if (has_n) throw FormatError("T takes its column after the letter");
                it.kind = Item::T;
                if (!number(it.w) || it.w < 1) throw FormatError("T needs a column of 1 or more");
                break;
            case 'A':
                it.kind = Item::A;
                it.rep = n;
                it.has_w = number(it.w);
                if (it.has_w && it.w < 1) throw FormatError("A width must be positive");
                f.has_data = true;
                break;
            case 'I':
                it.kind = Item::I;
                it.rep = n;
                if (!number(it.w)) throw FormatError("I needs a width");
                f.has_data = true;
                break;
            case 'F':
            case 'E':
                it.kind = (k == 'F') ? Item::F : Item::E;
                it.rep = n;
                if (!number(it.w) || it.w < 1) throw FormatError("F and E need a width");
                if (p >= s.size() || s[p] != '.') throw FormatError("F and E need decimals");
                ++p;
                if (!number(it.d)) throw FormatError("F and E need decimals");
                if (k == 'E' && it.d < 1) throw FormatError("E needs at least one decimal");
                if (it.w > 255 || it.d > 255) throw FormatError("field too wide");
                f.has_data = true;
                break;
            default:
                throw FormatError("unknown edit item in record description");
            }
            if (it.rep < 1) throw FormatError("repeat count must be positive");
            push(it);
        }
    };
};

// A layout fixed in the program: parsed (and checked) at compile time.
consteval Format layout(std::string_view s) { return Format(s); }

// ------------------------------------------------ value lists, checked ---
// What a value list holds, entry by entry, for a check made when the
// program is compiled: the program's own writes pass lists of a fixed shape
// to layouts fixed in the program, so a layout and its list can be checked
// against each other before anything runs.
enum class Kind : std::uint8_t { Int, Real, Text, Ints, Reals, Texts };

// One entry of a list's shape: a scalar, or a run of at most `most` values
// (-1: of any length).
struct Entry {
    Kind kind;
    int most;
    constexpr Entry(Kind k) : kind(k), most(k == Kind::Ints || k == Kind::Reals || k == Kind::Texts ? -1 : 1) {}
    constexpr Entry(Kind k, int n) : kind(k), most(n) {}
};
// A run of at most n values of kind k.
constexpr Entry at_most(Kind k, int n) { return Entry(k, n); }

// Whether every value of a list of this shape meets a data item that can
// take it, in the order the matching rules give: the values take the data
// items one after another, groups repeated, the description resumed at its
// reversion point whenever it runs out.  A run may be shorter than its
// bound, so what follows it may meet any of the items the run could reach.
constexpr bool suits(const Format& f, std::initializer_list<Entry> entries) {
    auto takes = [](Item item, Kind k) {
        switch (k) {
        case Kind::Int:
        case Kind::Ints: return item == Item::I;
        case Kind::Real:
        case Kind::Reals: return item == Item::F || item == Item::E;
        case Kind::Text:
        case Kind::Texts: return item == Item::A;
        }
        return false;
    };
    auto is_data = [](Item k) { return k == Item::A || k == Item::I || k == Item::F || k == Item::E; };
    if (entries.size() > 0 && !f.has_data) return false;
    // The data items in the order the first values meet them, then those of
    // the part that is taken again and again (from the reversion point).
    Item order[256] = {};
    int n = 0;
    bool too_many = false;
    auto unroll = [&](auto&& self, int from, int to) -> void {
        for (int i = from; i < to; ++i) {
            const FormatItem& it = f.items[i];
            if (it.kind == Item::Open) {
                for (int r = 0; r < it.rep; ++r) self(self, i + 1, it.match);
                i = it.match;
            } else if (is_data(it.kind)) {
                for (int r = 0; r < it.rep; ++r) {
                    if (n == 256) too_many = true;
                    else order[n++] = it.kind;
                }
            }
        }
    };
    unroll(unroll, 0, f.count);
    const int first_pass = n;
    unroll(unroll, f.reversion, f.count);
    const int cycle = n - first_pass;  // order[first_pass..n): the part taken again
    if (too_many) return false;        // more items than a check can follow
    // The item that the p-th value meets (from 0), and whether every value
    // p in lo..hi (hi -1: any from lo on) meets an item that takes kind k.
    auto item_at = [&](long p) { return p < first_pass ? order[p] : order[first_pass + (p - first_pass) % cycle]; };
    auto all_take = [&](long lo, long hi, Kind k) {
        if (cycle == 0 && (hi < 0 || hi >= first_pass)) return false;  // values left with no item to take them
        if (hi < 0 || hi - lo >= n) hi = (lo < first_pass ? first_pass : lo) + cycle - 1;
        for (long p = lo; p <= hi; ++p)
            if (!takes(item_at(p), k)) return false;
        return true;
    };
    long lo = 0, hi = 0;  // the values the next entry may start at; hi -1: any from lo on
    for (const Entry& e : entries) {
        if (e.most == 0) continue;
        const long last = e.most < 0 || hi < 0 ? -1 : hi + e.most - 1;
        if (!all_take(lo, last, e.kind)) return false;
        if (e.most == 1) {
            ++lo;
            if (hi >= 0) ++hi;
        } else {
            hi = last < 0 ? -1 : last + 1;  // an empty run leaves lo where it was
        }
    }
    return true;
}

}  // namespace seqord
