// Tables: the CSV writer of the companion programs and the table reader of
// seqord-prep (separators, quoting, line ends, line numbers, bounds).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "csv/csv.h"
#include "support.h"

namespace seqord::test {
namespace {

TEST(Csv, FieldsAreQuotedOnlyWhereTheyMustBe) {
    const std::pair<const char*, const char*> cases[] = {
        {"", ""},
        {"Waseca", "Waseca"},
        {" lead blank", " lead blank"},
        {"a,b", "\"a,b\""},
        {"say \"hi\"", "\"say \"\"hi\"\"\""},
        {"two\nlines", "\"two\nlines\""},
        {"cr\r", "\"cr\r\""},
        {"-0.123", "-0.123"},
    };
    for (const auto& [in, out] : cases) EXPECT_EQ(csv::field(in), out) << in;

    TempFile file;
    OutStream s;
    s.bind(30, "table.csv", file.fd(), false);
    csv::write_row(s, {"year", "location,name", "x"});
    const std::string fields[] = {"1", "Grand \"Rapids\"", ""};
    csv::write_row(s, fields);
    s.flush();
    EXPECT_EQ(file.contents(), "year,\"location,name\",x\r\n1,\"Grand \"\"Rapids\"\"\",\r\n");
}

// The rows of `text`, each as its fields joined by '|' and its line number.
struct Read {
    std::string rows;
    char sep = 0;
    std::string error;  // "line N: what"
};

Read read_all(const std::string& text) {
    TempFile file;
    file.preset(text);
    csv::Reader r(file.fd());
    Read out;
    std::vector<std::string> fields;
    try {
        while (r.next(fields)) {
            out.rows += std::to_string(r.line()) + ":";
            for (std::size_t i = 0; i < fields.size(); ++i) out.rows += (i ? "|" : "") + fields[i];
            out.rows += ";";
        }
    } catch (const csv::TableError& e) {
        out.error = "line " + std::to_string(e.line()) + ": " + e.what();
    }
    out.sep = r.separator();
    return out;
}

TEST(CsvReader, SeparatorsQuotesLineEndsAndLineNumbers) {
    struct Case {
        const char* name;
        std::string text;
        const char* rows;
        char sep;
    };
    const Case cases[] = {
        {"plain", "a,b\n1,2\n", "1:a|b;2:1|2;", ','},
        {"crlf and no last line end", "a,b\r\n1,2\r\n3,4", "1:a|b;2:1|2;3:3|4;", ','},
        {"byte-order mark", "\xEF\xBB\xBFyear,x\n1,2\n", "1:year|x;2:1|2;", ','},
        {"quoted separators, quotes and line breaks", "a,b\n\"x,y\",\"say \"\"hi\"\"\"\n\"two\r\nlines\",z\n4,5\n",
         "1:a|b;2:x,y|say \"hi\";3:two\r\nlines|z;5:4|5;", ','},
        {"empty fields kept", "a,b,c\n,,\n", "1:a|b|c;2:||;", ','},
        {"blank lines skipped", "a\n\n   \r\n\"\"\nb\n", "1:a;4:;5:b;", ','},
        {"blanks around a quoted field", "a,b\n  \"q\"  ,1\n", "1:a|b;2:q|1;", ','},
        {"tab in the header", "year\tsite;x\n1\t2,5\n", "1:year|site;x;2:1|2,5;", '\t'},
        {"semicolons and no comma", "year;yield\n1926;41,5\n", "1:year|yield;2:1926|41,5;", ';'},
        {"semicolons and a comma", "year;\"a,b\"\n1;2\n", "1:year;\"a|b\";2:1;2;", ','},
        {"a quote inside an unquoted field", "a\nsay\"hi\n", "1:a;2:say\"hi;", ','},
        {"nothing at all", "", "", ','},
        {"a quoted line break after plain rows", "y\tl\n1\tA\n2\t\"two\nlines\"\tg\n3\tB\n",
         "1:y|l;2:1|A;3:2|two\nlines|g;5:3|B;", '\t'},
        {"tabs around quoted fields in a tab table", "y\tl\tg\n\t\"x\" \t \"z\"\n", "1:y|l|g;2:|x|z;", '\t'},
    };
    for (const Case& c : cases) {
        const Read r = read_all(c.text);
        EXPECT_EQ(r.error, "") << c.name;
        EXPECT_EQ(r.rows, c.rows) << c.name;
        EXPECT_EQ(r.sep, c.sep) << c.name;
    }
}

TEST(CsvReader, RefusesBrokenQuotesAndOverlongLines) {
    EXPECT_EQ(read_all("a\n1\n\"open\n2\n").error, "line 3: a quoted field is not closed before the end of the file");
    EXPECT_EQ(read_all("a,b\n1,2\n\"x\"y,3\n").error, "line 3: text after the closing quote of a field");
    const std::string longest(csv::kMaxRowBytes - 1, 'x');  // with its LF, exactly the limit
    EXPECT_EQ(read_all("a\n" + longest + "\n").error, "");
    EXPECT_EQ(read_all("a\n" + longest + "xy\n").error, "line 2: the line is longer than 1 MiB");
    EXPECT_EQ(read_all(longest + "xyz\n").error, "line 1: the line is longer than 1 MiB");
    // A quoted field spanning lines is named as a field, at the line where
    // it begins.
    EXPECT_EQ(read_all("a\nb,\"" + std::string(csv::kMaxRowBytes / 2, '\n') + std::string(csv::kMaxRowBytes / 2, 'y') + "\"\n")
                  .error,
              "line 2: a quoted field runs on past 1 MiB (is its closing quote missing?)");
    EXPECT_EQ(read_all("a\r1,2\r").error,
              "line 1: a carriage return alone ends a line (old Mac line ends); save the table with LF or CR LF line ends");
    EXPECT_EQ(read_all("a\n1\r2\n").error,
              "line 2: a carriage return alone ends a line (old Mac line ends); save the table with LF or CR LF line ends");
}

TEST(CsvReader, Numbers) {
    using csv::Number;
    struct Num {
        std::string text;
        bool comma;
        Number result;
        double value;
    };
    const Num nums[] = {
        {"41.5", false, Number::ok, 41.5},        {" -2 ", false, Number::ok, -2},
        {"+3.", false, Number::ok, 3},            {".25", false, Number::ok, 0.25},
        {"1e3", false, Number::ok, 1000},         {"2.5E-1", false, Number::ok, 0.25},
        {"41,5", true, Number::ok, 41.5},         {"41.5", true, Number::ok, 41.5},
        {"4.9e-324", false, Number::ok, 4.9e-324}, {"41,5", false, Number::not_a_number, 0},
        {"1,2,3", true, Number::not_a_number, 0}, {"inf", false, Number::not_a_number, 0},
        {"nan", false, Number::not_a_number, 0},  {"0x10", false, Number::not_a_number, 0},
        {"", false, Number::not_a_number, 0},     {"-", false, Number::not_a_number, 0},
        {"1e", false, Number::not_a_number, 0},   {"12 kg", false, Number::not_a_number, 0},
        {"--1", false, Number::not_a_number, 0},  {"+-5", false, Number::not_a_number, 0},
        {"-+5", false, Number::not_a_number, 0},  {"1e999", false, Number::out_of_range, 0},
        {"-1e999", false, Number::out_of_range, 0}, {"1e-400", false, Number::out_of_range, 0},
        {"2e-324", false, Number::out_of_range, 0}, {std::string(400, '9'), false, Number::out_of_range, 0},
    };
    for (const Num& n : nums) {
        double v = -99;
        EXPECT_EQ(csv::parse_number(n.text, n.comma, v), n.result) << n.text;
        if (n.result == Number::ok) {
            EXPECT_EQ(v, n.value) << n.text;
        }
    }
}

// Packed short decimals give back the very bits that parse_number reads,
// over random digits, points and signs, and every form too long to pack is
// left to parse_number.
TEST(CsvReader, PackedDecimalsAreTheNumbersReadBitForBit) {
    std::mt19937_64 rng(2024);
    long packed = 0;
    for (int k = 0; k < 300000; ++k) {
        const int digits = 1 + static_cast<int>(rng() % 12);
        std::string text;
        if (rng() % 4 == 0) text += '-';
        const int point = static_cast<int>(rng() % (digits + 2)) - 1;  // -1: no point
        for (int d = 0; d < digits; ++d) {
            if (d == point) text += (k % 3 == 0 ? ',' : '.');
            text += static_cast<char>('0' + rng() % 10);
        }
        if (point == digits) text += '.';
        const bool comma = k % 3 == 0;
        double want = 0;
        const bool ok = csv::parse_number(text, comma, want) == csv::Number::ok;
        std::uint32_t code = 0;
        if (!csv::pack_decimal(text, comma, code)) continue;
        ASSERT_TRUE(ok) << text;
        ASSERT_EQ(code >> 31, 0u) << text;
        const double got = csv::unpack_decimal(code);
        ASSERT_EQ(std::memcmp(&got, &want, sizeof got), 0) << text << ": " << got << " " << want;
        ++packed;
    }
    EXPECT_GT(packed, 150000);
    std::uint32_t code = 0;
    for (const char* no : {"1e3", "+5", "1.5 kg", "", " ", "-", ".", "123456789", "0.1234567890123456", "inf"})
        EXPECT_FALSE(csv::pack_decimal(no, false, code)) << no;
    EXPECT_FALSE(csv::pack_decimal("41,5", false, code));
    ASSERT_TRUE(csv::pack_decimal(" 41,50 ", true, code));
    EXPECT_EQ(csv::unpack_decimal(code), 41.5);
    ASSERT_TRUE(csv::pack_decimal("-0.00", false, code));
    EXPECT_TRUE(std::signbit(csv::unpack_decimal(code)));
    ASSERT_TRUE(csv::pack_decimal("67108863", false, code));  // the largest mantissa
    EXPECT_EQ(csv::unpack_decimal(code), 67108863.0);
}

}  // namespace
}  // namespace seqord::test
