// fuzz_format_out: every output layout written from arbitrary values and
// compared with the model of the matching rules (models.h), and the field
// conversions checked one by one against what their text must be.
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz.h"
#include "models.h"
#include "output/output.h"

namespace seqord::fuzz {

namespace detail {

namespace {

Slot slot_of(Item k) { return k == Item::I ? Slot::Int : k == Item::A ? Slot::Text : Slot::Real; }

// Walks a layout as the matching rules say: items left to right, a group
// n(...) n times, a data item with repeat r taking r values; the walk stops
// at the first data item that finds the list used up, or at the final
// parenthesis once it is; with values left there, the record ends and the
// walk resumes at the reversion point (the last outermost group, or the
// start).  `want()` says whether a value is left, `data(item)` takes one,
// `other(item)` carries out a literal, X, T, / or $, `next_record()` ends the
// record at a reversion.  Returns false if a pass takes no value at all
// (the list could never be used up).
template <class Want, class Data, class Other, class Next>
bool walk(const Format& f, Want want, Data data, Other other, Next next_record) {
    bool stopped = false;
    std::size_t taken = 0;
    auto range = [&](auto& self, int from, int to) -> void {
        for (int i = from; i < to && !stopped; ++i) {
            const FormatItem& it = f.items[static_cast<std::size_t>(i)];
            if (it.kind == Item::Open) {
                for (int rep = 0; rep < it.rep && !stopped; ++rep) self(self, i + 1, it.match);
                i = it.match;
                continue;
            }
            if (it.kind == Item::A || it.kind == Item::I || it.kind == Item::F || it.kind == Item::E) {
                for (int rep = 0; rep < it.rep; ++rep) {
                    if (!want()) {
                        stopped = true;
                        return;
                    }
                    data(it);
                    ++taken;
                }
                continue;
            }
            other(it);
        }
    };
    range(range, 0, f.count);
    while (!stopped && want()) {
        const std::size_t before = taken;
        next_record();
        range(range, f.reversion, f.count);
        if (taken == before) return false;
    }
    return true;
}

}  // namespace

// The kinds of the first n values a layout takes.
std::vector<Slot> slots(const Format& f, std::size_t n) {
    std::vector<Slot> out;
    if (!f.has_data) return out;
    walk(
        f, [&] { return out.size() < n; }, [&](const FormatItem& it) { out.push_back(slot_of(it.kind)); },
        [](const FormatItem&) {}, [] {});
    return out;
}

// The text that a write of `values` through `f` must produce, each record
// closed by `eol` unless the layout's "$" leaves the last one open.
std::string model_write(const Format& f, const std::vector<Value>& values, std::string_view eol, bool& ok) {
    std::string out, rec;
    std::size_t pos = 0, len = 0, next = 0;
    bool keep_open = false;
    auto end_record = [&] {
        out.append(rec, 0, len);
        out.append(eol);
        rec.clear();
        pos = len = 0;
        keep_open = false;
    };
    auto put = [&](std::string_view s) {
        if (rec.size() < pos + s.size()) rec.resize(pos + s.size(), ' ');
        rec.replace(pos, s.size(), s);
        pos += s.size();
        len = std::max(len, pos);
    };
    ok = walk(
        f, [&] { return next < values.size(); },
        [&](const FormatItem& it) {
            const Value& v = values[next++];
            switch (it.kind) {
            case Item::I: put(format_int(v.i, it.w)); break;
            case Item::F: put(format_f(v.f, it.w, it.d)); break;
            case Item::E: put(format_e(v.f, it.w, it.d)); break;
            default: {
                if (!it.has_w) put(v.t);
                else if (v.t.size() >= static_cast<std::size_t>(it.w)) put(std::string_view(v.t).substr(0, static_cast<std::size_t>(it.w)));
                else put(std::string(static_cast<std::size_t>(it.w) - v.t.size(), ' ') + v.t);
            }
            }
        },
        [&](const FormatItem& it) {
            switch (it.kind) {
            case Item::Lit: {
                std::string lit;
                for (std::size_t i = 0; i < it.text.size(); ++i) {
                    lit.push_back(it.text[i]);
                    if (it.text[i] == it.quote && i + 1 < it.text.size() && it.text[i + 1] == it.quote) ++i;
                }
                put(lit);
                break;
            }
            case Item::X: pos += static_cast<std::size_t>(it.w); break;
            case Item::T: pos = static_cast<std::size_t>(it.w) - 1; break;
            case Item::Slash: end_record(); break;
            case Item::Dollar: keep_open = true; break;
            default: break;
            }
        },
        end_record);
    out.append(rec, 0, len);
    if (!keep_open) out.append(eol);
    return out;
}

}  // namespace detail

namespace {

struct NamedLayout {
    const char* label;
    const Format* f;
};

// Every layout of the output catalogue.
const std::vector<NamedLayout>& catalogue() {
    namespace L = seqord::layouts;
    static const std::vector<NamedLayout> all = {
        {"S1", &L::S1},   {"S2", &L::S2},   {"S3", &L::S3},   {"S4", &L::S4},   {"S5", &L::S5},
        {"S6", &L::S6},   {"S7", &L::S7},   {"S8", &L::S8},   {"S9", &L::S9},   {"S10", &L::S10},
        {"S11", &L::S11}, {"S12_empty", &L::S12_empty},     {"S12_count", &L::S12_count},
        {"S13", &L::S13}, {"S14", &L::S14}, {"S15", &L::S15}, {"S16", &L::S16}, {"S17", &L::S17},
        {"S18", &L::S18}, {"S19_text", &L::S19_text},       {"S19_axes", &L::S19_axes},
        {"S20", &L::S20}, {"S21", &L::S21}, {"S22", &L::S22}, {"R1", &L::R1},   {"R2", &L::R2},
        {"R3", &L::R3},   {"R4", &L::R4},   {"R5", &L::R5},   {"R6", &L::R6},   {"R7", &L::R7},
        {"R8", &L::R8},   {"R9", &L::R9},   {"R10", &L::R10}, {"P1", &L::P1},   {"P2", &L::P2},
        {"P3", &L::P3},   {"P4", &L::P4},   {"O1", &L::O1},   {"O2", &L::O2},   {"O3", &L::O3},
        {"C1_prompt", &L::C1_prompt},       {"C1_line", &L::C1_line},           {"C2_DZ", &L::C2_DZ},
        {"C2_Z", &L::C2_Z},                 {"C2_MZ", &L::C2_MZ},               {"C2_AZ", &L::C2_AZ},
        {"C2_report", &L::C2_report},
    };
    return all;
}

// Text from the input: any bytes but the line feed, which no record can hold.
std::string some_text(Bytes& in, std::size_t max) {
    std::string t = in.take(in.byte() % (max + 1));
    for (char& c : t)
        if (c == '\n') c = ' ';
    return t;
}

Name some_name(Bytes& in) {
    Name n;
    for (char& c : n.c) {
        c = static_cast<char>(in.byte());
        if (c == '\n') c = ' ';
    }
    return n;
}

// Storage for the runs of one write; each run has storage of exactly its
// extent, so a step outside it is the address sanitizer's to see.
struct RunStore {
    std::vector<std::vector<std::int32_t>> ints;
    std::vector<std::vector<float>> reals;
    std::vector<std::vector<Name>> names;
    std::vector<std::string> texts;
};

// Builds a value list of up to 8 entries for `f` (scalars and runs of the
// kinds its items take), and the flat list of values the model walks.
void value_list(Bytes& in, const Format& f, RunStore& st, std::vector<Out>& outs, std::vector<detail::Value>& flat) {
    if (!f.has_data) return;
    const int entries = in.byte() % 9;
    st.texts.reserve(16);
    for (int e = 0; e < entries; ++e) {
        const std::vector<detail::Slot> kinds = detail::slots(f, flat.size() + 64);
        const detail::Slot kind = kinds[flat.size()];
        std::size_t streak = 0;  // how many values of this kind come next
        while (flat.size() + streak < kinds.size() && kinds[flat.size() + streak] == kind) ++streak;
        const std::uint8_t form = in.byte();
        const std::size_t count = (form >> 2) % (streak + 1);
        const std::ptrdiff_t stride = 1 + (form >> 5) % 3;
        const std::size_t extent = count == 0 ? 1 : (count - 1) * static_cast<std::size_t>(stride) + 1;
        switch (kind) {
        case detail::Slot::Int:
            switch (form & 3u) {
            case 0: {
                const std::int32_t v = in.raw<std::int32_t>();
                outs.emplace_back(v);
                flat.push_back({detail::Value::K::Int, v, 0.0f, {}});
                break;
            }
            case 1: {
                const std::int64_t v = in.raw<std::int64_t>();
                outs.emplace_back(v);
                flat.push_back({detail::Value::K::Int, v, 0.0f, {}});
                break;
            }
            case 2: {
                std::vector<std::int32_t>& run = st.ints.emplace_back(extent);
                for (auto& x : run) x = in.raw<std::int32_t>();
                outs.push_back(Out::ints(run.data(), count, stride));
                for (std::size_t k = 0; k < count; ++k)
                    flat.push_back({detail::Value::K::Int, run[k * static_cast<std::size_t>(stride)], 0.0f, {}});
                break;
            }
            default: {
                // The program numbers from small positive starts; any 32-bit start is fair.
                const std::int64_t first = in.raw<std::int32_t>();
                outs.push_back(Out::sequence(first, count));
                for (std::size_t k = 0; k < count; ++k)
                    flat.push_back({detail::Value::K::Int, first + static_cast<std::int64_t>(k), 0.0f, {}});
            }
            }
            break;
        case detail::Slot::Real:
            if ((form & 1u) == 0) {
                const float v = in.raw<float>();
                outs.emplace_back(v);
                flat.push_back({detail::Value::K::Real, 0, v, {}});
            } else {
                std::vector<float>& run = st.reals.emplace_back(extent);
                for (auto& x : run) x = in.raw<float>();
                outs.push_back(Out::reals(run.data(), count, stride));
                for (std::size_t k = 0; k < count; ++k)
                    flat.push_back({detail::Value::K::Real, 0, run[k * static_cast<std::size_t>(stride)], {}});
            }
            break;
        case detail::Slot::Text:
            if ((form & 1u) == 0 && st.texts.size() < st.texts.capacity()) {
                const std::string& t = st.texts.emplace_back(some_text(in, 60));
                outs.emplace_back(std::string_view(t));
                flat.push_back({detail::Value::K::Text, 0, 0.0f, t});
            } else {
                std::vector<Name>& run = st.names.emplace_back(extent);
                for (auto& x : run) x = some_name(in);
                outs.push_back(Out::names(run.data(), count, stride));
                for (std::size_t k = 0; k < count; ++k)
                    flat.push_back({detail::Value::K::Text, 0, 0.0f, std::string(run[k * static_cast<std::size_t>(stride)].view())});
            }
            break;
        }
    }
}

// Writes through `f` on a file stream and on a console stream and compares
// both with the model.
void check_layout_write(Result& r, const char* label, const Format& f, const std::vector<Out>& outs,
                        const std::vector<detail::Value>& flat) {
    for (const bool console : {false, true}) {
        MemFile file;
        {
            OutStream s;
            s.bind(console ? 6 : 22, "fuzz", file.fd(), console);
            as_list(outs, [&](std::initializer_list<Out> l) { write(s, f, l); });
            s.flush();
        }
        bool ok = true;
        const std::string want = detail::model_write(f, flat, console ? "\n" : "\r\n", ok);
        if (!ok) {
            r.fail(std::string(label) + ": the model cannot use up the list");
            return;
        }
        const std::string got = file.contents();
        if (got != want) {
            r.fail(std::string(label) + (console ? " (console)" : " (file)") + ": wrote \"" + got +
                   "\" where the layout gives \"" + want + "\"");
            return;
        }
        if (!console) {
            // On a file every record ends in CR LF, unless "$" left the last one open.
            for (std::size_t i = 0; i < got.size(); ++i)
                if (got[i] == '\n' && (i == 0 || got[i - 1] != '\r')) r.fail(std::string(label) + ": a bare line feed");
            const bool open_end = f.count > 0 && f.items[static_cast<std::size_t>(f.count - 1)].kind == Item::Dollar;
            if (!open_end && (got.size() < 2 || got.compare(got.size() - 2, 2, "\r\n") != 0))
                r.fail(std::string(label) + ": the last record does not end in CR LF");
        }
    }
}

bool all_stars(const std::string& s) {
    return !s.empty() && s.find_first_not_of('*') == std::string::npos;
}

// A numeric field: leading blanks, then the text without blanks.
bool right_aligned(const std::string& s) {
    const std::size_t b = s.find_first_not_of(' ');
    return b != std::string::npos && s.find(' ', b) == std::string::npos;
}

// Iw: the digits with "-" in front, right-aligned; asterisks when too wide.
void check_int_field(Result& r, std::int64_t v, int w) {
    const std::string got = format_int(v, w);
    const std::string digits = std::to_string(v);
    std::string want;
    if (w == 0) want = digits;
    else if (digits.size() > static_cast<std::size_t>(w)) want.assign(static_cast<std::size_t>(w), '*');
    else want = std::string(static_cast<std::size_t>(w) - digits.size(), ' ') + digits;
    if (got != want)
        r.fail("format_int(" + digits + ", " + std::to_string(w) + ") gave \"" + got + "\", not \"" + want + "\"");
}

// Fw.d: exactly w columns; when not asterisks, an optional "-", the integer
// digits (the "0" may be missing), the point and d decimals, which read back
// to within half a unit of the last decimal; asterisks only when even the
// shortest form does not fit.
void check_f_field(Result& r, float v, int w, int d) {
    const std::string got = format_f(v, w, d);
    const std::string what = "format_f(" + hex_bits(v) + ", " + std::to_string(w) + ", " + std::to_string(d) + ")";
    if (got.size() != static_cast<std::size_t>(w)) {
        r.fail(what + " is " + std::to_string(got.size()) + " columns wide");
        return;
    }
    if (!std::isfinite(v)) return;
    char buf[512];
    std::snprintf(buf, sizeof buf, "%.*f", d, std::fabs(static_cast<double>(v)));
    std::string shortest = buf;  // rounded digits, point, decimals
    if (d == 0) shortest += '.';
    if (shortest.rfind("0.", 0) == 0 && d > 0) shortest.erase(0, 1);
    const bool negative = std::signbit(v) && v != 0.0f;
    const std::size_t need = shortest.size() + (negative ? 1 : 0);
    if (all_stars(got)) {
        if (need <= static_cast<std::size_t>(w)) r.fail(what + " gave asterisks but \"" + shortest + "\" fits");
        return;
    }
    if (need > static_cast<std::size_t>(w)) {
        r.fail(what + " gave \"" + got + "\" in too few columns");
        return;
    }
    if (!right_aligned(got)) r.fail(what + " gave \"" + got + "\": not right-aligned");
    const std::size_t point = got.find('.');
    if (point == std::string::npos || got.size() - point - 1 != static_cast<std::size_t>(d))
        r.fail(what + " gave \"" + got + "\": not d decimals");
    const bool zero_digits = got.find_first_of("123456789") == std::string::npos;
    if (zero_digits && got.find('-') != std::string::npos) r.fail(what + " gave \"" + got + "\": a minus on zero");
    if (!zero_digits && negative != (got.find('-') != std::string::npos))
        r.fail(what + " gave \"" + got + "\": wrong sign");
    float back = 0.0f;
    if (!parse_real_field(got, d, back)) {
        r.fail(what + " gave \"" + got + "\", which does not read back");
        return;
    }
    const double err = std::fabs(static_cast<double>(back) - static_cast<double>(v));
    if (err > 0.5 * std::pow(10.0, -d) * 1.000001 + float_gap(v) + float_gap(back))
        r.fail(what + " gave \"" + got + "\", which reads back as " + hex_bits(back));
}

// Ew.d: exactly w columns; otherwise an optional "-", an optional "0", the
// point, d digits (the first not 0 unless the value is 0), and the exponent
// as E+xx or +xxx; asterisks exactly when even the form without "0" is too
// wide.
template <class Real>
void check_e_field(Result& r, Real v, int w, int d) {
    const std::string got = format_e(v, w, d);
    char vb[64];
    std::snprintf(vb, sizeof vb, "%a", static_cast<double>(v));
    const std::string what = "format_e(" + std::string(vb) + ", " + std::to_string(w) + ", " + std::to_string(d) + ")";
    if (got.size() != static_cast<std::size_t>(w)) {
        r.fail(what + " is " + std::to_string(got.size()) + " columns wide");
        return;
    }
    if (!std::isfinite(v)) return;
    const bool negative = std::signbit(v) && v != Real(0);
    const std::size_t need = (negative ? 1u : 0u) + 1u + static_cast<std::size_t>(d) + 4u;
    if (all_stars(got)) {
        if (need <= static_cast<std::size_t>(w)) r.fail(what + " gave asterisks in a field wide enough");
        return;
    }
    if (need > static_cast<std::size_t>(w)) {
        r.fail(what + " gave \"" + got + "\" in too few columns");
        return;
    }
    if (!right_aligned(got)) r.fail(what + " gave \"" + got + "\": not right-aligned");
    std::string body = got.substr(got.find_first_not_of(' '));
    if (negative != (body[0] == '-')) r.fail(what + " gave \"" + got + "\": wrong sign");
    if (body[0] == '-') body.erase(0, 1);
    const bool lead_zero = body[0] == '0';
    if (lead_zero != (need + 1 <= static_cast<std::size_t>(w)))
        r.fail(what + " gave \"" + got + "\": the 0 before the point is wrongly present or missing");
    if (lead_zero) body.erase(0, 1);
    if (body.size() != 1 + static_cast<std::size_t>(d) + 4 || body[0] != '.') {
        r.fail(what + " gave \"" + got + "\": not of the form .d...E+xx");
        return;
    }
    const std::string mant = body.substr(1, static_cast<std::size_t>(d));
    const std::string expo = body.substr(1 + static_cast<std::size_t>(d));
    const bool two = expo[0] == 'E' && (expo[1] == '+' || expo[1] == '-') && std::isdigit(static_cast<unsigned char>(expo[2])) &&
                     std::isdigit(static_cast<unsigned char>(expo[3]));
    const bool three = (expo[0] == '+' || expo[0] == '-') && std::isdigit(static_cast<unsigned char>(expo[1])) &&
                       std::isdigit(static_cast<unsigned char>(expo[2])) && std::isdigit(static_cast<unsigned char>(expo[3]));
    if (!two && !three) {
        r.fail(what + " gave \"" + got + "\": bad exponent");
        return;
    }
    if (mant.find_first_not_of("0123456789") != std::string::npos) r.fail(what + " gave \"" + got + "\": bad digits");
    const int e = std::atoi(expo.c_str() + (two ? 1 : 0));
    if (three && e > -100 && e < 100) r.fail(what + " gave \"" + got + "\": three exponent digits for |exponent| < 100");
    if (v == Real(0)) {
        if (mant.find_first_not_of('0') != std::string::npos || e != 0) r.fail(what + " gave \"" + got + "\" for zero");
        return;
    }
    if (mant[0] == '0') r.fail(what + " gave \"" + got + "\": mantissa below 0.1");
    // The digits, read back exactly, must lie within half a unit of the last
    // digit of the value.
    const long double m = std::strtold(("0." + mant).c_str(), nullptr);
    const long double back = m * std::pow(10.0L, e);
    const long double err = std::fabs(back - std::fabs(static_cast<long double>(v)));
    const long double half = 0.5L * std::pow(10.0L, e - d);
    // (long double carries some 19 digits: beyond that the check is only as
    // fine as its own arithmetic)
    if (err > half * 1.0000001L + std::fabs(static_cast<long double>(v)) * 1e-17L) r.fail(what + " gave \"" + got + "\": more than half a unit off");
}

}  // namespace

// Byte 0 picks what to do: below 192, one write through a layout of the
// catalogue (byte 0 modulo its size), whose value list is built from the
// bytes that follow and whose text is compared with the model; otherwise
// direct field conversions with widths and decimals from the input.
Result format_out(const std::uint8_t* data, std::size_t size) {
    Result r;
    Bytes in(data, size);
    try {
        const std::uint8_t what = in.byte();
        if (what < 192) {
            const auto& cat = catalogue();
            const NamedLayout& nl = cat[what % cat.size()];
            RunStore st;
            std::vector<Out> outs;
            std::vector<detail::Value> flat;
            value_list(in, *nl.f, st, outs, flat);
            check_layout_write(r, nl.label, *nl.f, outs, flat);
            return r;
        }
        // Field conversions, as often as the input allows.
        while (in.left() > 0 && r.verdict.empty()) {
            const std::uint8_t op = in.byte();
            const int w = in.byte();                        // 0..255 (0 only means something to I)
            const int d = (op & 0x80) ? in.byte() : in.byte() % 12;  // mostly the decimals the program uses
            switch (op % 4) {
            case 0: check_int_field(r, in.raw<std::int64_t>(), w); break;
            case 1:
                if (w >= 1) check_f_field(r, in.raw<float>(), w, d);
                break;
            case 2:
                if (w >= 1 && d >= 1) check_e_field(r, in.raw<float>(), w, d);
                break;
            default:
                if (w >= 1 && d >= 1) check_e_field(r, in.raw<double>(), w, d);
                break;
            }
        }
    } catch (const RunStop& stop) {
        r.fail(std::string("a write stopped the run: ") + stop.what());
    } catch (const std::exception& e) {
        r.fail(std::string("exception escaped a write: ") + e.what());
    }
    return r;
}

}  // namespace seqord::fuzz
