// Tables: the CSV writer of the companion programs and the table reader of
// seqord-prep (separators, quoting, line ends, line numbers, bounds).
#include <gtest/gtest.h>

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
    // A quoted field spanning lines counts as one long row.
    EXPECT_EQ(read_all("a\n\"" + std::string(csv::kMaxRowBytes / 2, '\n') + std::string(csv::kMaxRowBytes / 2, 'y') + "\"\n")
                  .error,
              "line 2: the line is longer than 1 MiB");
}

TEST(CsvReader, Numbers) {
    struct Num {
        const char* text;
        bool comma;
        bool ok;
        double value;
    };
    for (const Num& n : {Num{"41.5", false, true, 41.5}, Num{" -2 ", false, true, -2}, Num{"+3.", false, true, 3},
                         Num{".25", false, true, 0.25}, Num{"1e3", false, true, 1000}, Num{"2.5E-1", false, true, 0.25},
                         Num{"41,5", true, true, 41.5}, Num{"41.5", true, true, 41.5}, Num{"41,5", false, false, 0},
                         Num{"1,2,3", true, false, 0}, Num{"inf", false, false, 0}, Num{"nan", false, false, 0},
                         Num{"0x10", false, false, 0}, Num{"1e999", false, false, 0}, Num{"", false, false, 0},
                         Num{"-", false, false, 0}, Num{"1e", false, false, 0}, Num{"12 kg", false, false, 0},
                         Num{"--1", false, false, 0}}) {
        double v = -99;
        EXPECT_EQ(csv::parse_number(n.text, n.comma, v), n.ok) << n.text;
        if (n.ok) {
            EXPECT_EQ(v, n.value) << n.text;
        }
    }
}

}  // namespace
}  // namespace seqord::test
