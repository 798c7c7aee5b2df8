// The readers of the result files: the report and the summary of runs with
// gaps, a year that kept no axis and more than ten axes, values as printed,
// malformed files named by file and line, the bound on a line's length, and
// the quotes of bad text in messages.
#include <gtest/gtest.h>

#include <sstream>

#include "results/results.h"
#include "support.h"

namespace seqord::test {
namespace {

using namespace seqord::results;

std::filesystem::path sequence_run() { return data_dir() / "export" / "sequence"; }
std::filesystem::path golden(const std::string& name) { return data_dir() / "golden" / name / "expected"; }

std::vector<std::string> lines_in(const std::filesystem::path& p) {
    std::vector<std::string> out;
    std::istringstream in(read_file(p));
    for (std::string l; std::getline(in, l);) {
        if (!l.empty() && l.back() == '\r') l.pop_back();
        out.push_back(l);
    }
    return out;
}

// The message of reading `lines` (as a file named `name`) with `read`;
// empty when it reads.
template <class Read>
std::string error_of(const std::string& name, const std::vector<std::string>& lines, Read read) {
    TempDir d;
    std::string text;
    for (const auto& l : lines) text += l + "\r\n";
    write_file(d / name, text);
    try {
        read((d / name).string());
    } catch (const InputError& e) {
        const std::string m = e.what();
        return m.substr(m.find(name));
    }
    return {};
}

// In the run "sequence" the years 2 to 7 are aligned; the year record of
// index 1 (crop91) keeps no axis; names in the years' headings differ from
// those of the name table.
TEST(ResultsReport, TheYearsOfARunAndTheirAxesAsPrinted) {
    const Report r = read_report((sequence_run() / "JOB.SOR").string());
    EXPECT_EQ(r.iys, 2);
    EXPECT_EQ(r.iyf, 7);
    ASSERT_EQ(r.years.size(), 6u);
    const char* names[] = {"crop92  ", "crop93  ", "crop91  ", "crop94  ", "crop95  ", "crop96  "};
    const std::int32_t kept[] = {1, 1, 0, 1, 1, 1};
    for (std::size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(r.years[i].name.view(), names[i]);
        EXPECT_EQ(r.years[i].kept, kept[i]);
        EXPECT_EQ(r.years[i].axes.size(), std::size_t(kept[i]));
    }
    EXPECT_EQ(r.years[0].line, 22);
    const EigenRow& a = r.years[4].axes[0];
    EXPECT_EQ(a.number, 1);
    EXPECT_EQ(a.eigenvalue.text, "9.000");
    EXPECT_FLOAT_EQ(a.eigenvalue.value, 9.0f);
    EXPECT_EQ(a.percent.text, "100.000");
    EXPECT_EQ(a.cumulative.text, "100.000");
    EXPECT_EQ(a.eigenvalue.line, 187);
    ASSERT_EQ(r.correlations.size(), 5u);
    EXPECT_EQ(r.correlations[0].year, 2);
    EXPECT_EQ(r.correlations[0].next_year, 3);
    EXPECT_EQ(r.correlations[0].r[0].text, "-1.000");
    EXPECT_FLOAT_EQ(r.correlations[0].r[0].value, -1.0f);
    EXPECT_EQ(r.correlations[0].r[1].text, "0.000");
    EXPECT_EQ(r.correlations[4].year, 6);
    EXPECT_EQ(r.correlations[4].line, 242);
}

TEST(ResultsSummary, TheYearRecordsOfARunWithTheirIndices) {
    const Summary s = read_summary((sequence_run() / "JOB.ORS").string());
    EXPECT_EQ(s.maxl, 4);
    EXPECT_EQ(s.iys, 2);
    EXPECT_EQ(s.iyf, 7);
    ASSERT_EQ(s.years.size(), 6u);
    const std::int32_t index[] = {2, 3, 1, 4, 5, 6};
    const std::int32_t locations[] = {4, 2, 1, 2, 2, 2};
    for (std::size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(s.years[i].index, index[i]);
        EXPECT_EQ(s.years[i].locations, locations[i]);
    }
    EXPECT_EQ(trimmed(s.years[2].name), "crop91");
    EXPECT_EQ(s.years[2].kept, 0);
    EXPECT_TRUE(s.years[2].eigenvalues.empty());
    EXPECT_EQ(s.years[1].line, 14);
    EXPECT_EQ(s.years[1].eigenvalues.at(0).text, "4.000");
}

TEST(ResultsReport, MoreThanTenAxesRepeatTheHeadingsAndAreReadWhole) {
    const Report r = read_report((golden("edge_axes_gt_10") / "JOB.SOR").string());
    ASSERT_EQ(r.years.size(), 2u);
    EXPECT_EQ(r.years[0].kept, 17);
    EXPECT_EQ(r.years[1].kept, 15);
    ASSERT_EQ(r.years[0].axes.size(), 17u);
    EXPECT_EQ(r.years[0].axes[9].eigenvalue.text, "0.430");
    EXPECT_EQ(r.years[0].axes[10].number, 11);
    EXPECT_EQ(r.years[0].axes[10].eigenvalue.text, "0.394");
    EXPECT_EQ(r.years[0].axes[10].eigenvalue.line, 156);
    EXPECT_EQ(r.years[0].axes[10].percent.text, "3.845");
    EXPECT_EQ(r.years[0].axes[16].cumulative.text, "100.000");
    const Summary s = read_summary((golden("edge_axes_gt_10") / "JOB.ORS").string());
    ASSERT_EQ(s.years.size(), 2u);
    ASSERT_EQ(s.years[0].eigenvalues.size(), 17u);
    EXPECT_EQ(s.years[0].eigenvalues[10].text, "0.394");
}

TEST(ResultsReport, MalformedReportsNameTheFileAndLine) {
    const auto good = lines_in(golden("small_001") / "JOB.SOR");
    auto with = [&](std::size_t at, const std::string& l) {
        auto v = good;
        v[at] = l;
        return v;
    };
    const std::vector<std::string> first_lines(good.begin(), good.begin() + 11);
    struct Case {
        const char* what;
        std::vector<std::string> lines;
        const char* message;
    } cases[] = {
        {"not a report", {"hello"}, "JOB.SOR, line 1: \"hello\" where the run header's line ' Maximum number of years"},
        {"sequence not a number", with(3, good[3].substr(0, 58) + "    x1"),
         "JOB.SOR, line 4: a line of the run header with a field that is not a number (columns 59-64 \"    x1\")"},
        {"stopped at the workspace check", first_lines,
         "JOB.SOR, after line 11: the report ends after the workspace report"},
        {"heading without its literal", with(21, "  For year 1998    "),
         "JOB.SOR, line 22: \"  For year 1998    \" where a year heading ('   For year ' and a name) belongs"},
        {"eigenvalues numbered wrong", with(66, "         1         3         3         4         5         6         7"),
         "JOB.SOR, line 67: eigenvalue number 3 where 2 belongs"},
        {"a list heading misspelt", with(69, " % of variation explained by eigenvectors"),
         "JOB.SOR, line 70: \" % of variation explained by eigenvector...\" where the heading ' % of variation "
         "explained by eigenvector' belongs"},
        {"a value with a blank inside", with(70, "    58.906    22.667     7.110     5.996     2.876     1.471     0. 73"),
         "JOB.SOR, line 71: a '% of variation' line with a field that is not a number (columns 61-70 \"     0. 73\")"},
        {"a score row that is no row", with(80, "  HORYAN  0.1"),
         "JOB.SOR, line 81: a row of the score table with a field that is not a number (columns 1-6 \"  HORY\")"},
        {"a correlation row cut short", with(good.size() - 1, good.back().substr(0, 50)),
         "JOB.SOR, line 404: \"      5         6       0.998     0.986 ...\" where the row of years 5 and 6 of "
         "the correlation table belongs"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(error_of("JOB.SOR", c.lines, read_report).rfind(c.message, 0), 0u)
            << c.what << ": " << error_of("JOB.SOR", c.lines, read_report);
}

TEST(ResultsSummary, MalformedSummariesNameTheFileAndLine) {
    const auto good = lines_in(golden("small_001") / "JOB.ORS");
    auto with = [&](std::size_t at, const std::string& l) {
        auto v = good;
        v[at] = l;
        return v;
    };
    struct Case {
        const char* what;
        std::vector<std::string> lines;
        const char* message;
    } cases[] = {
        {"dimensions cut", with(0, good[0].substr(0, 36)),
         "JOB.ORS, line 1: \"     6     9    22     1     6     6\" where the line of the run's dimensions (seven "
         "numbers) belongs"},
        {"stopped at the workspace check", {good[0]}, "JOB.ORS, after line 1: the summary ends after the dimensions"},
        {"year record too long", with(4, good[4] + "X"),
         "JOB.ORS, line 5: \"     1    1997    X\" where a year record (index and name) belongs"},
        {"elimination vector short", with(6, good[6].substr(0, 21)),
         "JOB.ORS, line 7: \"  1  1  1  1  1  1  1\" where the elimination vector of year 1 (1997) belongs"},
        {"eigenvalues short", with(8, good[8].substr(0, 56)),
         "JOB.ORS, line 9: \"                     2.338     0.900    ...\" where a line of the eigenvalues of year 1 "
         "(1997) belongs"},
        {"score rows numbered wrong", with(10, "     3" + good[10].substr(6)),
         "JOB.ORS, line 11: \"     3 YANKATER     -0.126     0.512    ...\" where score row 2 of year 1 (1997) "
         "belongs"},
        {"a negative number of locations", with(5, "    -8"), "JOB.ORS, line 6: a negative number of locations"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(error_of("JOB.ORS", c.lines, read_summary).rfind(c.message, 0), 0u)
            << c.what << ": " << error_of("JOB.ORS", c.lines, read_summary);
}

TEST(ResultsLines, ALineOverTheBoundIsRefusedByFileAndLine) {
    const std::vector<std::string> head = {"   1 1996    ", " ev as % of SS  50.000  30.000  10.000   5.000"};
    auto with_line = [&](std::size_t length) {
        auto v = head;
        v.push_back(std::string(length, 'A'));
        return v;
    };
    // At the bound the line is read (and is no record); beyond it reading stops.
    EXPECT_EQ(error_of("JOB.ORP", with_line(kMaxRecordLength), read_years)
                  .rfind("JOB.ORP, line 3: a record of no known kind (\"" + std::string(40, 'A') + "...\")", 0),
              0u);
    const std::string e = error_of("JOB.ORP", with_line(kMaxRecordLength + 1), read_years);
    EXPECT_EQ(e.rfind("JOB.ORP, line 3: cannot be read (", 0), 0u) << e;
    EXPECT_NE(e.find("longer than 1048576 characters"), std::string::npos) << e;
    EXPECT_LT(e.size(), 300u);
}

TEST(ResultsText, QuotesAreShortAndPrintable) {
    EXPECT_EQ(quote("plain"), "plain");
    EXPECT_EQ(quote(std::string(40, 'x')), std::string(40, 'x'));
    EXPECT_EQ(quote(std::string(41, 'x')), std::string(40, 'x') + "...");
    EXPECT_EQ(quote("a\tb\x01\x7f"), "a\\x09b\\x01\\x7f");
    EXPECT_EQ(quote(std::string_view("\0z", 2)), "\\x00z");
    EXPECT_EQ(quote(std::string(39, 'x') + "\n\n"), std::string(39, 'x') + "\\x0a...");
    EXPECT_EQ(trimmed(Name::of(" AB  ")), " AB");
    EXPECT_EQ(shown(Name::of(" AB  ")), "AB");
}

}  // namespace
}  // namespace seqord::test
