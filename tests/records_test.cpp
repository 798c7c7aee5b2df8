// The record layer: layouts, conversions, matching and reversion, streams,
// free-form reads; plus some 2,100 published input/output pairs.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <variant>
#include <vector>

#include "records/records.h"
#include "records/utf8.h"
#include "support.h"

namespace seqord {
namespace {

// ------------------------------------------------------------ helpers ---

// An output stream writing into a temporary file, read back as text.
class Capture {
public:
    explicit Capture(bool console = false) { s.bind(22, "capture", file_.fd(), console); }
    std::string text() {
        s.flush();
        return file_.contents();
    }

private:
    test::TempFile file_;  // declared first: outlives the stream

public:
    OutStream s;
};

// An input stream reading the given text from a temporary file.
class Source {
public:
    explicit Source(const std::string& text) {
        file_.preset(text);
        s.bind(20, "T.EMA", file_.fd());
    }

private:
    test::TempFile file_;

public:
    InStream s;
};

std::string written(const char* layout_text, std::initializer_list<Out> values) {
    Capture c(true);
    write(c.s, Format(layout_text), values);
    return c.text();
}

// Runs `f` and returns the report of the RunStop it throws ("" if none).
template <class F>
std::string stop_report(F f) {
    try {
        f();
    } catch (const RunStop& e) {
        return e.what();
    }
    return "";
}

// ----------------------------------------------------- layout parsing ---

TEST(Layout, ParsesTheProgramsNotation) {
    constexpr Format f = layout("(I6,1X,A8,1X,1(T17,10E16.8))");
    static_assert(f.count == 8);
    EXPECT_EQ(f.items[0].kind, Item::I);
    EXPECT_EQ(f.items[0].w, 6);
    EXPECT_EQ(f.items[4].kind, Item::Open);
    EXPECT_EQ(f.reversion, 4);
    EXPECT_EQ(f.items[6].kind, Item::E);
    EXPECT_EQ(f.items[6].rep, 10);
    EXPECT_EQ(f.items[6].w, 16);
    EXPECT_EQ(f.items[6].d, 8);
}

TEST(Layout, RejectsMalformedDescriptions) {
    for (const char* bad : {"I6", "(I6", "(Z3)", "(F8)", "(E10.0)", "('open)", "(I6))", "(T)", "(0I3)"})
        EXPECT_THROW(Format{bad}, FormatError) << bad;
}

// ------------------------------------------------- output conversions ---

TEST(OutputConversion, E16_8) {
    EXPECT_EQ(format_e(12.5f, 16, 8), "  0.12500000E+02");
    EXPECT_EQ(format_e(-12.5f, 16, 8), " -0.12500000E+02");
    EXPECT_EQ(format_e(0.0f, 16, 8), "  0.00000000E+00");
    EXPECT_EQ(format_e(-0.0f, 16, 8), "  0.00000000E+00");
    EXPECT_EQ(format_e(1.0e-20f, 16, 8), "  0.99999997E-20");
    EXPECT_EQ(format_e(3.0e38f, 16, 8), "  0.30000000E+39");
    EXPECT_EQ(format_e(1.0e-40f, 16, 8), "  0.99999461E-40");
    EXPECT_EQ(format_e(0.99999999f, 16, 8), "  0.10000000E+01");
    // Room is short: the leading zero goes first, then the field is starred.
    EXPECT_EQ(format_e(-3.0f, 10, 4), "-.3000E+01");
    EXPECT_EQ(format_e(-3.0f, 9, 4), "*********");
}

TEST(OutputConversion, ExponentExtremes) {
    EXPECT_EQ(format_e(std::numeric_limits<float>::max(), 16, 8), "  0.34028235E+39");
    EXPECT_EQ(format_e(std::numeric_limits<float>::denorm_min(), 16, 8), "  0.14012985E-44");
    // Single-precision values never reach a decimal exponent of 100; the
    // three-digit form, without its E, is checked through the wide overload.
    EXPECT_EQ(format_e(1.0e100, 16, 8), "  0.10000000+101");
    EXPECT_EQ(format_e(-2.5e-120, 16, 8), " -0.25000000-119");
    EXPECT_EQ(format_e(1.0e300, 16, 8), "  0.10000000+301");
}

TEST(OutputConversion, FixedPoint) {
    EXPECT_EQ(format_f(-0.0004f, 8, 3), "   0.000");
    EXPECT_EQ(format_f(-0.0004f, 7, 3), "  0.000");
    // The sign of a value that rounds to zero is not shown, but needs its room.
    EXPECT_EQ(format_f(-0.0004f, 5, 3), " .000");
    EXPECT_EQ(format_f(-0.0004f, 4, 3), "****");
    EXPECT_EQ(format_f(0.0004f, 4, 3), ".000");
    EXPECT_EQ(format_f(12345.6f, 8, 3), "********");
    EXPECT_EQ(format_f(-0.5f, 5, 3), "-.500");
    EXPECT_EQ(format_f(-0.5f, 6, 3), "-0.500");
    EXPECT_EQ(format_f(0.9996f, 5, 3), "1.000");
    EXPECT_EQ(format_f(58.906f, 10, 3), "    58.906");
    EXPECT_EQ(format_f(0.0625f, 7, 3), "  0.062");  // an exact tie rounds to even
    EXPECT_EQ(format_f(std::nanf(""), 8, 3), "     NaN");
    EXPECT_EQ(format_f(-INFINITY, 7, 3), "   -Inf");
}

TEST(OutputConversion, Integers) {
    EXPECT_EQ(format_int(12345, 4), "****");
    EXPECT_EQ(format_int(-999, 4), "-999");
    EXPECT_EQ(format_int(0, 6), "     0");
    EXPECT_EQ(format_int(1234567, 6), "******");
    EXPECT_EQ(format_int(1234567, 8), " 1234567");
    EXPECT_EQ(format_int(INT64_MIN, 0), "-9223372036854775808");
}

// ------------------------------------------------- matching and reversion ---

TEST(Matching, StopsAtTheNextDataItemWhenValuesRunOut) {
    EXPECT_EQ(written("(2(I4,1X,A8,1X))", {7, "ABCDEFGH"}), "   7 ABCDEFGH\n");
    EXPECT_EQ(written("(' Eigenvalue                             ',/,10F10.3)", {}),
              " Eigenvalue                             \n\n");
    EXPECT_EQ(written("(16X,10F10.3)", {}), "\n");
    EXPECT_EQ(written("()", {}), "\n");
    EXPECT_EQ(written("('a',/,'b')", {}), "a\nb\n");
}

TEST(Matching, TenValuesALineAndReversion) {
    std::vector<float> v(25);
    for (int i = 0; i < 25; ++i) v[static_cast<std::size_t>(i)] = static_cast<float>(i + 1);
    std::string t = written("(10F8.3)", {Out::reals(v.data(), 25)});
    int lines = 0;
    for (char c : t) lines += c == '\n';
    EXPECT_EQ(lines, 3);
    EXPECT_EQ(t.substr(t.rfind('\n', t.size() - 2) + 1), "  21.000  22.000  23.000  24.000  25.000\n");
    EXPECT_EQ(written("(10F8.3)", {Out::reals(v.data(), 0)}), "\n");
    // The literal at the start of a layout without inner group is written again.
    std::string h = written("(' H',/,10I10)", {Out::sequence(1, 11)});
    EXPECT_EQ(h, " H\n         1         2         3         4         5         6         7         8         9        10\n"
                 " H\n        11\n");
}

TEST(Matching, MatrixRowWrittenAndReadBack) {
    std::vector<float> v(25);
    for (int i = 0; i < 25; ++i) v[static_cast<std::size_t>(i)] = 0.5f * static_cast<float>(i) - 3.0f;
    Capture c;
    write(c.s, Format("(I6,1X,A8,1X,1(T17,10E16.8))"), {12, Name::of("KESRA"), Out::reals(v.data(), 25)});
    const std::string t = c.text();
    std::vector<std::string> lines;
    for (std::size_t p = 0; p < t.size();) {
        std::size_t e = t.find("\r\n", p);
        lines.push_back(t.substr(p, e - p));
        p = e + 2;
    }
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].size(), 176u);
    EXPECT_EQ(lines[0].substr(0, 16), "    12 KESRA    ");
    EXPECT_EQ(lines[1].substr(0, 16), std::string(16, ' '));
    EXPECT_EQ(lines[2].size(), 16u + 5 * 16);

    Source src(t);
    std::int32_t row = 0;
    Name name;
    std::vector<float> back(25, 99.0f);
    read(src.s, Format("(I6,1X,A8,1X,1(T17,10E16.8))"), {row, name, In::reals(back.data(), 25)});
    EXPECT_EQ(row, 12);
    EXPECT_EQ(name, Name::of("KESRA"));
    EXPECT_EQ(back, v);
}

TEST(Matching, TabsMoveBothWays) {
    EXPECT_EQ(written("(T20,A3,  T1,A4,  T5,A2,  T7,A2,  T9,A4, T17,A2)", {"a", "b", "c", "d", "e", "f"}),
              "   b c d   e     f   a\n");
}

TEST(Matching, DollarLeavesTheConsoleLineOpen) {
    Capture c(true);
    write(c.s, Format("(A,$)"), {" Prompt - "});
    EXPECT_TRUE(c.s.line_open());
    write(c.s, Format("(A)"), {"next"});
    EXPECT_EQ(c.text(), " Prompt - next\n");
}

// ------------------------------------------- value lists against layouts ---

TEST(Suits, AListsShapeIsCheckedAgainstTheLayout) {
    constexpr Kind I = Kind::Int, R = Kind::Real, T = Kind::Text, Rs = Kind::Reals, Ts = Kind::Texts;
    struct Case {
        const char* layout;
        std::vector<Entry> kinds;
        bool ok;
    };
    const Case cases[] = {
        {"(I6,4X,A8)", {I, T}, true},
        {"(I6,4X,A8)", {T, I}, false},
        {"(I6,4X,A8)", {I, T, I}, true},  // the layout starts over: I6 takes it
        {"(I6,4X,A8)", {I, T, R}, false},
        {"(I6,1X,A8,1X,1(T17,10E16.8))", {I, T, Rs, R}, true},
        {"(I6,1X,A8,1X,1(T17,10E16.8))", {I, T, Rs, I}, false},  // the reals' group takes whatever follows them
        {"(2(I4,1X,A8,1X))", {I, T, I, T, I}, true},            // the group is the point it resumes from
        {"(2(I4,1X,A8,1X))", {I, I}, false},
        {"(' ev as % of SS',4F8.3)", {Rs}, true},
        {"(' ev as % of SS',4F8.3)", {Ts}, false},
        {"(A8,1X,I4,1X,A8,1X,4F8.3)", {T, I, T, at_most(Rs, 4)}, true},
        {"(A8,1X,I4,1X,A8,1X,4F8.3)", {T, I, T, at_most(Rs, 5)}, false},  // a fifth value starts over at A8
        {"(A8,1X,I4,1X,A8,1X,4F8.3)", {T, I, T, Rs}, false},              // so does any longer run
        {"(A8,1X,I4,1X,A8,1X,4F8.3)", {T, I, T, at_most(Rs, 2), R}, true},
        {"(A8,1X,I4,1X,A8,1X,4F8.3)", {T, I, T, at_most(Rs, 4), R}, false},  // the fifth may meet A8
        {"(I6,1X,A8,1X,10F10.3)", {I, T, at_most(Rs, 7)}, true},
        {"()", {}, true},
        {"()", {I}, false},
        {"('text')", {T}, false},
    };
    for (const Case& c : cases) {
        const Format f(c.layout);
        bool ok = false;
        switch (c.kinds.size()) {
        case 0: ok = suits(f, {}); break;
        case 1: ok = suits(f, {c.kinds[0]}); break;
        case 2: ok = suits(f, {c.kinds[0], c.kinds[1]}); break;
        case 3: ok = suits(f, {c.kinds[0], c.kinds[1], c.kinds[2]}); break;
        case 4: ok = suits(f, {c.kinds[0], c.kinds[1], c.kinds[2], c.kinds[3]}); break;
        case 5: ok = suits(f, {c.kinds[0], c.kinds[1], c.kinds[2], c.kinds[3], c.kinds[4]}); break;
        }
        EXPECT_EQ(ok, c.ok) << c.layout << " with " << c.kinds.size() << " kinds";
    }
}

// ------------------------------------------------------ input conversions ---

TEST(InputConversion, RealFields) {
    float x = 0;
    ASSERT_TRUE(parse_real_field("        12345678", 8, x));
    EXPECT_EQ(x, 0.12345678f);
    ASSERT_TRUE(parse_real_field("     17820835D+1", 8, x));
    EXPECT_EQ(x, 1.7820835f);
    ASSERT_TRUE(parse_real_field("      74592273+0", 8, x));
    EXPECT_EQ(x, 0.74592273f);
    ASSERT_TRUE(parse_real_field("       1.5Q-2   ", 8, x));
    EXPECT_EQ(x, 0.015f);
    ASSERT_TRUE(parse_real_field("  -2.5e1        ", 8, x));
    EXPECT_EQ(x, -25.0f);
    ASSERT_TRUE(parse_real_field(" 1 2 . 5        ", 8, x));  // blanks are ignored
    EXPECT_EQ(x, 12.5f);
    ASSERT_TRUE(parse_real_field("                ", 8, x));
    EXPECT_EQ(x, 0.0f);
    ASSERT_TRUE(parse_real_field("       5-3      ", 8, x));  // a bare signed exponent
    EXPECT_EQ(x, 5e-11f);
    for (const char* bad : {"     1.2.3      ", "      abc       ", "    1.0E        ", "     1.0E+x     ",
                            "       1.0e39   ", "       NaN      "})
        EXPECT_FALSE(parse_real_field(bad, 8, x)) << bad;
}

TEST(InputConversion, IntegerFields) {
    std::int32_t v = 0;
    ASSERT_TRUE(parse_int_field("      ", v));
    EXPECT_EQ(v, 0);
    ASSERT_TRUE(parse_int_field(" -1 2 ", v));
    EXPECT_EQ(v, -12);
    EXPECT_FALSE(parse_int_field("-", v));
    EXPECT_FALSE(parse_int_field("  1x  ", v));
    EXPECT_FALSE(parse_int_field("9999999999", v));
    ASSERT_TRUE(parse_int_field("-2147483648", v));
    EXPECT_EQ(v, INT32_MIN);
}

// A numeric field reads the same wherever its blanks stand.  A sign, a point
// or an exponent with no digit before it holds no number under I, F or E and
// is a conversion error; the same forms with a digit still read, and a field
// of blanks reads as 0.  Each content is tried at the left of its field, at
// the right, and spread out with blanks between its characters.
TEST(InputConversion, ASignOrAPointNeedsADigitWhereverTheBlanksStand) {
    struct Form {
        const char* content;
        bool i_ok;
        std::int32_t i_value;
        bool real_ok;
        float f_value, e_value;  // under F8.3 and E16.8 (without a point, the last d digits are decimals)
    };
    const Form forms[] = {
        {"+", false, 0, false, 0, 0},        {"-", false, 0, false, 0, 0},
        {".", false, 0, false, 0, 0},        {"+.", false, 0, false, 0, 0},
        {"-.", false, 0, false, 0, 0},       {".E2", false, 0, false, 0, 0},
        {".D-3", false, 0, false, 0, 0},     {".+2", false, 0, false, 0, 0},
        {"-E2", false, 0, false, 0, 0},      {"E2", false, 0, false, 0, 0},
        {"+7", true, 7, true, 0.007f, 7e-8f}, {"-7", true, -7, true, -0.007f, -7e-8f},
        {"+0", true, 0, true, 0.0f, 0.0f},   {"0.", false, 0, true, 0.0f, 0.0f},
        {"-.5", false, 0, true, -0.5f, -0.5f}, {".5E2", false, 0, true, 50.0f, 50.0f},
        {"5.D-3", false, 0, true, 0.005f, 0.005f}, {"-1.+2", false, 0, true, -100.0f, -100.0f},
        {"", true, 0, true, 0.0f, 0.0f},
    };
    struct Item {
        const char* layout;
        std::size_t width;
    };
    for (const Form& form : forms) {
        for (const Item item : {Item{"(I6)", 6}, Item{"(F8.3)", 8}, Item{"(E16.8)", 16}}) {
            const std::string c = form.content;
            // " + . 5 " : a blank before, between and after the characters.
            std::string spread = " ";
            for (char ch : c) spread += std::string(1, ch) + " ";
            std::vector<std::string> fields = {c + std::string(item.width - c.size(), ' '),
                                               std::string(item.width - c.size(), ' ') + c};
            if (spread.size() <= item.width) fields.push_back(spread + std::string(item.width - spread.size(), ' '));
            for (const std::string& field : fields) {
                Source src(field + "\n");
                std::int32_t iv = -99;
                float rv = -99.0f;
                const bool integer = item.layout[1] == 'I';
                const std::string report = stop_report([&] {
                    if (integer) read(src.s, Format(item.layout), {iv});
                    else read(src.s, Format(item.layout), {rv});
                });
                const bool ok = integer ? form.i_ok : form.real_ok;
                const std::string what = std::string(item.layout) + " \"" + field + "\"";
                if (!ok) {
                    EXPECT_NE(report.find("input conversion error, unit 20, file T.EMA, line 1, columns 1-" +
                                          std::to_string(item.width)),
                              std::string::npos)
                        << what << ": " << report;
                } else if (integer) {
                    EXPECT_EQ(report, "") << what;
                    EXPECT_EQ(iv, form.i_value) << what;
                } else {
                    EXPECT_EQ(report, "") << what;
                    EXPECT_EQ(rv, item.width == 8 ? form.f_value : form.e_value) << what;
                }
            }
        }
    }
    // The free-form counterpart: a sign alone is not a value.
    for (const char* text : {"+\n", " - 3\n", "2*-\n"}) {
        Source src(text);
        std::int32_t a = 0, b = 0;
        EXPECT_NE(stop_report([&] { read_list(src.s, {a, b}); }).find("list-directed I/O syntax error"), std::string::npos)
            << text;
    }
}

TEST(InputConversion, RoundTripOfE16_8) {
    // Eight significant digits do not single out every single-precision
    // value (that takes nine), so the round trip that holds is: the text
    // reads back as the value nearest to it, which writes the same text, and
    // lies within half a unit of the eighth digit of the original.
    std::mt19937 rng(20261208);
    std::uniform_int_distribution<std::uint32_t> any;
    int checked = 0, exact = 0;
    while (checked < 200000) {
        const float v = std::bit_cast<float>(any(rng));
        if (!std::isfinite(v)) continue;
        float back = 0;
        const std::string field = format_e(v, 16, 8);
        ASSERT_TRUE(parse_real_field(field, 8, back)) << field;
        ASSERT_EQ(format_e(back, 16, 8), field);
        ASSERT_EQ(back, static_cast<float>(std::strtod(field.c_str(), nullptr))) << field;
        if (v != 0.0f) {
            const double rel = std::fabs((static_cast<double>(back) - v) / v);
            ASSERT_LE(rel, 5.0e-8 / 0.1 + 1e-7) << field;
        }
        exact += std::bit_cast<std::uint32_t>(back) == std::bit_cast<std::uint32_t>(v) || v == 0.0f;
        ++checked;
    }
    // Most values do come back bit for bit.
    EXPECT_GT(exact, checked * 8 / 10);
}

TEST(InputConversion, RoundTripOfDataValuesIsExact) {
    // Values with at most eight significant digits, like those of the input
    // files, come back bit for bit.
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> mant(10000000, 99999999), ex(-30, 30);
    for (int i = 0; i < 100000; ++i) {
        const std::string text = "0." + std::to_string(mant(rng)) + "E" + std::to_string(ex(rng));
        float v = 0, back = 0;
        ASSERT_TRUE(parse_real_field(text, 8, v));
        const std::string field = format_e(v, 16, 8);
        ASSERT_TRUE(parse_real_field(field, 8, back));
        ASSERT_EQ(std::bit_cast<std::uint32_t>(back), std::bit_cast<std::uint32_t>(v)) << text << " " << field;
    }
}

TEST(Reading, ConsoleLineIntoFixedText) {
    Source src("abc\nabcdefghijkl\n\n");
    Name n;
    read(src.s, Format("(A)"), {n});
    EXPECT_EQ(n, Name::of("abc"));
    read(src.s, Format("(A)"), {n});
    EXPECT_EQ(n, Name::of("abcdefgh"));
    std::int32_t v = 7;
    read(src.s, Format("(I6)"), {v});
    EXPECT_EQ(v, 0);
    EXPECT_TRUE(stop_report([&] { read(src.s, Format("(I6)"), {v}); }).find("end-of-file during read, unit 20, file T.EMA") !=
                std::string::npos);
}

TEST(Reading, CrLfAndLastLineWithoutLineEnd) {
    Source src("one\r\ntwo\rthree\r\nlast");
    std::string line;
    ASSERT_TRUE(src.s.next_record(line));
    EXPECT_EQ(line, "one");
    ASSERT_TRUE(src.s.next_record(line));
    EXPECT_EQ(line, "two\rthree");
    ASSERT_TRUE(src.s.next_record(line));
    EXPECT_EQ(line, "last");
    EXPECT_FALSE(src.s.next_record(line));
    EXPECT_EQ(src.s.line_number(), 3);
}

TEST(Reading, YearRecordEndOfFileBranch) {
    Source src("     3    2001\n");
    std::int32_t iy = 0;
    Name y;
    EXPECT_TRUE(read_or_eof(src.s, Format("(I6,4X,A8)"), {iy, y}));
    EXPECT_EQ(iy, 3);
    EXPECT_EQ(y, Name::of("2001"));
    EXPECT_FALSE(read_or_eof(src.s, Format("(I6,4X,A8)"), {iy, y}));
}

TEST(Reading, ConversionErrorNamesLineAndColumns) {
    Source src("ok\n     1 NAME       0.10000000E+01  0.2000000xE+01\n");
    std::string line;
    src.s.next_record(line);
    std::int32_t row = 0;
    Name n;
    float d = 0, e = 0;
    const std::string r =
        stop_report([&] { read(src.s, Format("(I6,1X,A8,1X,1(T17,10E16.8))"), {row, n, In::reals(&d, 1), e}); });
    EXPECT_EQ(d, 1.0f);
    EXPECT_NE(r.find("input conversion error, unit 20, file T.EMA, line 2, columns 33-48"), std::string::npos) << r;
}

// ---------------------------------------------------------- free-form ---

TEST(FreeForm, Examples) {
    {
        Source src("5\n7 9 11\n42\n");
        std::int32_t a = 0, b = 0, c = 0, d = 0;
        read_list(src.s, {a, b, c});
        EXPECT_EQ(a, 5);
        EXPECT_EQ(b, 7);
        EXPECT_EQ(c, 9);
        read_list(src.s, {d});
        EXPECT_EQ(d, 42);
    }
    {
        Source src("5,,9\n");
        std::int32_t a = 0, b = -1, c = 0;
        read_list(src.s, {a, b, c});
        EXPECT_EQ(a, 5);
        EXPECT_EQ(b, -1);
        EXPECT_EQ(c, 9);
    }
    {
        Source src("2*4 /\n");
        std::int32_t a = 0, b = 0, c = -1;
        read_list(src.s, {a, b, c});
        EXPECT_EQ(a, 4);
        EXPECT_EQ(b, 4);
        EXPECT_EQ(c, -1);
    }
    {
        Source src("  1\t-2 ,+3, 3* ,\n\n 2*7\n");
        std::int32_t v[8] = {0, 0, 0, -1, -1, -1, 0, 0};
        read_list(src.s, {In::ints(v, 8)});
        EXPECT_EQ(std::vector<int>(v, v + 8), (std::vector<int>{1, -2, 3, -1, -1, -1, 7, 7}));
    }
}

TEST(FreeForm, Failures) {
    std::int32_t a = 0, b = 0;
    {
        Source src("5\n");
        EXPECT_NE(stop_report([&] { read_list(src.s, {a, b}); }).find("end-of-file during read, unit 20"),
                  std::string::npos);
    }
    {
        Source src("5 x7\n");
        EXPECT_NE(stop_report([&] { read_list(src.s, {a, b}); })
                      .find("list-directed I/O syntax error, unit 20, file T.EMA, line 1, columns 3-4 \"x7\""),
                  std::string::npos);
    }
    {
        Source src("1.5\n");
        EXPECT_NE(stop_report([&] { read_list(src.s, {a}); }).find("list-directed I/O syntax error"), std::string::npos);
    }
    {
        Source src("99999999999\n");
        EXPECT_NE(stop_report([&] { read_list(src.s, {a}); }).find("input conversion error"), std::string::npos);
    }
}

// --------------------------------------------------------- file streams ---

TEST(Files, OutputIsCutBackOnlyWhenWritten) {
    test::TempDir dir;
    test::write_file(dir / "kept", "old contents\n");
    test::write_file(dir / "cut", "a much longer old content that must go\n");
    {
        OutStream kept, cut;
        kept.open_file(24, (dir / "kept").string());
        cut.open_file(25, (dir / "cut").string());
        write(cut, Format("(A)"), {"new"});
        kept.close();
        cut.close();
    }
    EXPECT_EQ(test::read_file(dir / "kept"), "old contents\n");
    EXPECT_EQ(test::read_file(dir / "cut"), "new\r\n");
}

TEST(Files, OpenFailuresAreReported) {
    test::TempDir dir;
    InStream in;
    EXPECT_NE(stop_report([&] { in.open_file(20, (dir / "missing.EMA").string()); }).find("file not found, unit 20"),
              std::string::npos);
    EXPECT_NE(stop_report([&] { in.open_file(21, dir.path().string()); }).find("open failure, unit 21"),
              std::string::npos);
    OutStream out;
    EXPECT_NE(stop_report([&] { out.open_file(22, (dir / "no" / "such.SOR").string()); }).find("open failure, unit 22"),
              std::string::npos);
}

TEST(Files, FullDeviceIsAWriteFailure) {
    OutStream out;
    out.open_file(22, "/dev/full");
    write(out, Format("(A)"), {"x"});
    EXPECT_NE(stop_report([&] { out.close(); }).find("error during write, unit 22, file /dev/full"), std::string::npos);
}

// ------------------------------------------------- published vectors ---

// A minimal JSON reader for the vector file.
struct Json {
    enum class K { Null, Num, Str, Arr, Obj } k = K::Null;
    double num = 0;
    std::string str;
    std::vector<Json> arr;
    std::map<std::string, Json> obj;
};

class JsonParser {
public:
    explicit JsonParser(const std::string& s) : s_(s) {}
    Json parse() {
        ws();
        Json j;
        char c = s_.at(p_);
        if (c == 'n') { p_ += 4; return j; }
        if (c == '"') { j.k = Json::K::Str; j.str = string(); return j; }
        if (c == '[') {
            j.k = Json::K::Arr;
            ++p_;
            ws();
            if (s_[p_] == ']') { ++p_; return j; }
            for (;;) {
                j.arr.push_back(parse());
                ws();
                if (s_[p_++] == ']') return j;
            }
        }
        if (c == '{') {
            j.k = Json::K::Obj;
            ++p_;
            for (;;) {
                ws();
                std::string key = string();
                ws();
                ++p_;  // ':'
                j.obj[key] = parse();
                ws();
                if (s_[p_++] == '}') return j;
            }
        }
        j.k = Json::K::Num;
        std::size_t used = 0;
        j.num = std::stod(s_.substr(p_), &used);
        p_ += used;
        return j;
    }

private:
    void ws() { while (p_ < s_.size() && (s_[p_] == ' ')) ++p_; }
    std::string string() {
        std::string out;
        ++p_;
        while (s_[p_] != '"') {
            char c = s_[p_++];
            if (c == '\\') {
                char e = s_[p_++];
                if (e == 'n') out.push_back('\n');
                else if (e == 't') out.push_back('\t');
                else if (e == 'u') { out.push_back(static_cast<char>(std::stoi(s_.substr(p_, 4), nullptr, 16))); p_ += 4; }
                else out.push_back(e);
            } else {
                out.push_back(c);
            }
        }
        ++p_;
        return out;
    }
    const std::string& s_;
    std::size_t p_ = 0;
};

std::vector<std::string> split(const std::string& s, char sep) {
    std::vector<std::string> out;
    std::size_t p = 0;
    for (;;) {
        std::size_t e = s.find(sep, p);
        out.push_back(s.substr(p, e == std::string::npos ? std::string::npos : e - p));
        if (e == std::string::npos) return out;
        p = e + 1;
    }
}

// Whether an input vector reads one Iw field that holds a sign and no digit
// ("- " under I2).  The runtimes behind the vectors read such a field as 0
// when the sign comes first and refuse it when the blanks do; this program
// reads a field the same wherever its blanks stand, and a sign alone holds
// no number, so it refuses both.
bool sign_without_digit(const std::string& kind, const std::string& layout_text, const Json& values) {
    if (kind != "input" || values.arr.size() != 1) return false;
    const Format f(layout_text);
    if (f.count != 1 || f.items[0].kind != Item::I) return false;
    std::string field = values.arr[0].str.substr(0, static_cast<std::size_t>(f.items[0].w));
    std::erase(field, ' ');
    return field == "+" || field == "-";
}

// Runs one vector; returns "" when it passes, else what went wrong.
std::string check_vector(const std::string& kind, const std::string& layout_text, const Json& values,
                         const Json& expected, const std::string& precision) {
    std::vector<std::string> types = split(precision, ',');
    auto type_of = [&](std::size_t i) { return types.size() == 1 ? types[0] : types.at(i); };
    if (kind == "output") {
        std::vector<std::string> layouts;
        std::vector<std::vector<Json>> writes;
        if (layout_text.find(" ++ ") != std::string::npos) {
            std::size_t at = layout_text.find(" ++ ");
            layouts = {layout_text.substr(0, at), layout_text.substr(at + 4)};
            for (const Json& w : values.arr) writes.push_back(w.arr);
        } else {
            layouts = {layout_text};
            writes = {values.arr};
        }
        Capture c(true);
        std::size_t item = 0;
        for (std::size_t w = 0; w < layouts.size(); ++w) {
            std::vector<Out> outs;
            for (const Json& v : writes[w]) {
                std::string t = type_of(item++);
                if (t == "int") outs.emplace_back(static_cast<std::int64_t>(v.num));
                else if (t == "real4") outs.emplace_back(std::strtof(v.str.c_str(), nullptr));
                else outs.emplace_back(std::string_view(v.str));
            }
            const Format f(layouts[w]);
            switch (outs.size()) {
            case 0: write(c.s, f); break;
            case 1: write(c.s, f, {outs[0]}); break;
            case 2: write(c.s, f, {outs[0], outs[1]}); break;
            case 3: write(c.s, f, {outs[0], outs[1], outs[2]}); break;
            case 5: write(c.s, f, {outs[0], outs[1], outs[2], outs[3], outs[4]}); break;
            case 6: write(c.s, f, {outs[0], outs[1], outs[2], outs[3], outs[4], outs[5]}); break;
            case 8: write(c.s, f, {outs[0], outs[1], outs[2], outs[3], outs[4], outs[5], outs[6], outs[7]}); break;
            default: return "unsupported value count";
            }
        }
        std::string got = c.text();
        return got == expected.str ? "" : "wrote [" + got + "] expected [" + expected.str + "]";
    }
    std::string text;
    for (const Json& r : values.arr) text += r.str + "\n";
    Source src(text);
    const bool want_error = expected.k == Json::K::Obj && expected.obj.at("status").str == "error";
    const bool want_end = expected.k == Json::K::Obj && expected.obj.at("status").str == "end";
    const Json& want = expected.k == Json::K::Obj ? (want_end ? expected.obj.at("values") : Json{}) : expected;
    const std::size_t n = want_error ? 1 : want.arr.size();
    constexpr std::int32_t kUnset = -987654;
    std::vector<std::int32_t> ints(n, kUnset);
    std::vector<std::array<char, 132>> chars(n);
    for (auto& ch : chars) ch.fill('?');
    std::string report = stop_report([&] {
        if (kind == "listread") {
            read_list(src.s, {In::ints(ints.data(), n)});
        } else if (type_of(0).rfind("char", 0) == 0) {
            const std::size_t len = std::stoul(type_of(0).substr(5));
            if (n == 2) read(src.s, Format(layout_text), {In::chars(chars[0].data(), len), In::chars(chars[1].data(), len)});
            else read(src.s, Format(layout_text), {In::chars(chars[0].data(), len)});
        } else {
            read(src.s, Format(layout_text), {In::ints(ints.data(), n)});
        }
    });
    if (want_error) return report.find("conversion") != std::string::npos ? "" : "no conversion error";
    if (want_end && report.find("end-of-file") == std::string::npos) return "no end of file";
    if (!want_end && !report.empty()) return "stopped: " + report;
    for (std::size_t i = 0; i < n; ++i) {
        const Json& w = want.arr[i];
        if (w.k == Json::K::Null) {
            if (ints[i] != kUnset) return "value " + std::to_string(i) + " should be unchanged";
        } else if (w.k == Json::K::Str) {
            std::string got(chars[i].data(), std::stoul(type_of(0).substr(5)));
            while (!got.empty() && got.back() == ' ') got.pop_back();
            if (got != w.str) return "read [" + got + "]";
        } else if (ints[i] != static_cast<std::int32_t>(w.num)) {
            return "value " + std::to_string(i) + " read as " + std::to_string(ints[i]);
        }
    }
    return "";
}

TEST(PublishedVectors, AllPairsAgree) {
    const std::string all = test::read_file(test::data_dir() / "vectors" / "record_vectors.tsv");
    std::vector<std::string> lines = split(all, '\n');
    int run = 0, failed = 0, refused_signs = 0;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        if (lines[i].empty()) continue;
        std::vector<std::string> col = split(lines[i], '\t');
        ASSERT_EQ(col.size(), 6u) << lines[i];
        Json values = JsonParser(col[3]).parse();
        Json expected = JsonParser(col[4]).parse();
        if (sign_without_digit(col[1], col[2], values) && expected.k != Json::K::Obj) {
            ++refused_signs;
            expected = JsonParser(R"({"status": "error"})").parse();
        }
        std::string why = check_vector(col[1], col[2], values, expected, col[5]);
        ++run;
        if (!why.empty()) {
            ++failed;
            if (failed <= 20) ADD_FAILURE() << col[1] << " " << col[2] << " " << col[3] << ": " << why;
        }
    }
    EXPECT_EQ(failed, 0) << "of " << run;
    EXPECT_GT(run, 2000);
    // The field "- " under I2 (two records) and 1I2, "-  " under I3, "-   " under I4.
    EXPECT_EQ(refused_signs, 5);
}


// One reading of UTF-8 for every program: names in tables, pages and CSV.
TEST(Utf8, WellFormedSequencesAndLatin1Fallback) {
    const struct {
        std::string text;
        bool valid;
        std::string as_utf8;
    } cases[] = {
        {"GrandRapids", true, "GrandRapids"},
        {"M\xC3\xBCnchen", true, "M\xC3\xBCnchen"},                       // U+00FC
        {"\xE2\x82\xAC \xF0\x9F\x8C\xBE", true, "\xE2\x82\xAC \xF0\x9F\x8C\xBE"},  // 3 and 4 bytes
        {"M\xFCnchen", false, "M\xC3\xBCnchen"},                          // Latin-1
        {"\xC0\x80", false, "\xC3\x80\xEF\xBF\xBD"},                      // overlong NUL
        {"\xED\xA0\x80", false, "\xC3\xAD\xC2\xA0\xEF\xBF\xBD"},          // a surrogate
        {"\xF4\x90\x80\x80", false, "\xC3\xB4\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},  // beyond U+10FFFF
        {"ab\xE2\x82", false, "ab\xC3\xA2\xEF\xBF\xBD"},                  // cut short
        {"\x85", false, "\xEF\xBF\xBD"},                                  // a C1 control of Latin-1
        {"\xEF\xBF\xBE", true, "\xC3\xAF\xC2\xBF\xC2\xBE"},              // U+FFFE: valid, not for XML
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.text));
        EXPECT_EQ(records::valid_utf8(c.text), c.valid);
        EXPECT_EQ(records::as_utf8(c.text), c.as_utf8);
        if (c.text != "\xEF\xBF\xBE") {
            EXPECT_TRUE(records::valid_utf8(records::as_utf8(c.text)));
        }
    }
}

}  // namespace
}  // namespace seqord
