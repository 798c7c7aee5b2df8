// The readers of the result files: the report and the summary of runs with
// gaps, a year that kept no axis and more than ten axes, values as printed,
// malformed files named by file and line, the bound on a line's length, and
// the quotes of bad text in messages.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <tuple>
#include <functional>
#include <sstream>

#include "results/results.h"
#include "seqord-export/export.h"
#include "seqord-plot/plot.h"
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

// ------------------------------------------------------- one run? ---

// A value changed to what `text` prints ("" for a field of asterisks).
void set(Printed& p, const std::string& text) {
    p.text = text;
    p.value = text.empty() ? 0.0f : std::stof(text);
}

struct RunFilesRead {
    Report report;
    Summary summary;
    std::vector<Year> years;
};

RunFilesRead run_of(const std::filesystem::path& dir) {
    RunFilesRead r{read_report((dir / "JOB.SOR").string()), read_summary((dir / "JOB.ORS").string()), {}};
    if (r.report.iyf >= r.report.iys) r.years = read_years((dir / "JOB.ORP").string());
    return r;
}

// The message of the check ("" when the files are of one run), and its warnings.
std::string check_of(const RunFilesRead& r, std::vector<std::string>& warnings) {
    try {
        check_one_run(r.report, r.summary, r.years, {"JOB.SOR", "JOB.ORS", "JOB.ORP"}, warnings);
    } catch (const InputError& e) {
        return e.what();
    }
    return "";
}

TEST(ResultsRunCheck, TheFilesOfEveryKnownRunAreOfOneRun) {
    for (const char* name : {"small_001", "small_002", "small_003", "edge_base", "edge_axes_gt_10", "edge_nl_10_11_12",
                             "edge_year_missing"}) {
        std::vector<std::string> w;
        EXPECT_EQ(check_of(run_of(golden(name)), w), "") << name;
        EXPECT_TRUE(w.empty()) << name << ": " << w.front();
    }
    // A run whose name file and main input name the years differently.
    std::vector<std::string> w;
    EXPECT_EQ(check_of(run_of(sequence_run()), w), "");
    ASSERT_EQ(w.size(), 1u);
    EXPECT_EQ(w[0].rfind("JOB.ORP: 5 years are named otherwise than by their year records in JOB.ORS", 0), 0u) << w[0];
}

// Year 1997 (index 1) of small_001 is the first of the sequence; of 1998
// (index 2), axes 2-4 were reversed: HORYAN scores 0.358 -0.215 0.140 -0.123
// (.ORS line 23) and stands at 0.358 0.215 -0.140 0.123 (.ORP line 13).
TEST(ResultsRunCheck, PointsAreTheScoresUpToPrintRoundingAndTheRecordedReversals) {
    using Edit = std::function<void(RunFilesRead&)>;
    auto point = [](std::size_t year, std::size_t at, std::size_t axis, const std::string& text) {
        return [=](RunFilesRead& r) { set(r.years[year].points[at].axis[axis], text); };
    };
    auto both = [](Edit a, Edit b) { return [=](RunFilesRead& r) { a(r), b(r); }; };
    auto correlation = [](std::size_t axis, const std::string& text) {
        return [=](RunFilesRead& r) { set(r.report.correlations[0].r[axis], text); };
    };
    auto score = [](std::size_t year, std::size_t row, std::size_t axis, const std::string& text) {
        return [=](RunFilesRead& r) { set(r.summary.years[year].scores[row][axis], text); };
    };
    const std::string same = "; are the files from the same run?";
    const struct Case {
        const char* what;
        Edit edit;
        std::string message;  // empty: accepted
    } cases[] = {
        {"as the run wrote them", [](RunFilesRead&) {}, ""},
        {"one unit of the last decimal off", point(0, 0, 0, "0.419"), ""},
        {"two units of the last decimal off", point(0, 0, 0, "0.420"),
         "JOB.ORP, line 3: the point of location 1 (HORYAN) of year 1 (1997) on axis 1 is 0.420, but JOB.ORS, line 10 "
         "scores it 0.418, to be taken as it is, as the first year of the sequence" + same},
        {"an axis turned that the run kept", point(1, 0, 0, "-0.358"),
         "JOB.ORP, line 13: the point of location 1 (HORYAN) of year 2 (1998) on axis 1 is -0.358, but JOB.ORS, line "
         "23 scores it 0.358, to be taken as it is, as the correlation table of JOB.SOR (line 400) has it" + same},
        {"an axis kept that the run turned", point(1, 0, 1, "-0.215"),
         "on axis 2 is -0.215, but JOB.ORS, line 23 scores it -0.215, to be taken reversed, as the correlation table of "
         "JOB.SOR (line 400) has it" + same},
        {"a correlation printed 0.000 leaves the sign open", both(correlation(1, "0.000"), point(1, 0, 1, "-0.215")), ""},
        {"a correlation of asterisks leaves the sign open", both(correlation(1, ""), point(1, 0, 1, "-0.215")), ""},
        {"a location left out", [](RunFilesRead& r) { r.years[1].points.erase(r.years[1].points.begin() + 1); },
         "JOB.ORP, line 11: year 2 (1998) has 7 point records, but its year record (JOB.ORS, line 18) retains 8 "
         "locations; no point for location 3" + same},
        {"a location the year does not retain",
         [](RunFilesRead& r) {
             auto& p = r.years[1].points;
             p.insert(p.begin() + 1, p[0]);
             p[1].location = 2;
         },
         "a point for location 2, which it does not retain" + same},
        {"a year short", [](RunFilesRead& r) { r.years.pop_back(); },
         "JOB.ORP: holds the years 1 to 5, but the run's sequence is 1 to 6 (JOB.SOR); are both from the same run?"},
        {"asterisks for a score that fits", point(0, 0, 0, ""), "on axis 1 is asterisks, but JOB.ORS, line 10 scores it 0.418"},
        {"a score of asterisks and a point that fits", score(0, 0, 0, ""), "on axis 1 is 0.418, but JOB.ORS, line 10 scores it asterisks"},
        {"asterisks in both", both(point(0, 0, 0, ""), score(0, 0, 0, "")), ""},
        {"asterisks for a negative score too wide for the point", both(point(0, 0, 0, ""), score(0, 0, 0, "-1234.567")), ""},
        {"asterisks for a score that fits, with its sign", both(point(0, 0, 0, ""), score(0, 0, 0, "1234.567")),
         "is asterisks, but JOB.ORS, line 10 scores it 1234.567"},
        {"axes the year did not keep are not compared",
         [](RunFilesRead& r) {
             for (auto* kept : {&r.summary.years[0].kept, &r.report.years[0].kept}) *kept = 2;
             r.summary.years[0].eigenvalues.resize(2);
             r.report.years[0].axes.resize(2);
             set(r.years[0].points[0].axis[2], "9.999");
         },
         ""},
        {"a year named otherwise", [](RunFilesRead& r) { r.years[2].head.name = Name::of("crop99"); }, ""},
    };
    const RunFilesRead known = run_of(golden("small_001"));
    ASSERT_EQ(known.years[1].points[0].axis[1].text, "0.215");
    for (const Case& c : cases) {
        RunFilesRead r = known;
        c.edit(r);
        std::vector<std::string> w;
        const std::string m = check_of(r, w);
        if (c.message.empty()) {
            EXPECT_EQ(m, "") << c.what;
        } else {
            EXPECT_NE(m.find(c.message), std::string::npos) << c.what << ": " << m;
        }
    }
}

// ---------------------------------------- both companion programs ---

// The barley example run twice, as the README's first command runs it and
// year by year (--per-year): two runs of one table with as many years.
class CompanionRunCheck : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new TempDir;
        const auto csv = data_dir() / ".." / ".." / "examples" / "barley.csv";
        for (const char* sub : {"whole", "per_year"}) {
            const auto d = dir_->path() / sub;
            std::filesystem::create_directory(d);
            std::filesystem::copy_file(csv, d / "barley.csv");
            std::vector<std::string> args = {"--force", "--value", "value", "barley.csv", "BARLEY"};
            if (std::string(sub) == "per_year") args.insert(args.begin(), "--per-year");
            RunResult r = run_command(d, SEQORD_PREP_EXE, args);
            ASSERT_EQ(r.status, 0) << r.err;
            r = run_command(d, SEQORD_EXE, {"BARLEY"});
            ASSERT_EQ(r.status, 0) << r.err;
        }
    }
    static void TearDownTestSuite() { delete dir_; }
    static std::string file(const char* run, const char* ext) { return read_file(dir_->path() / run / ("BARLEY" + std::string(ext))); }

    // The four result files in a fresh folder `d`, `orp` and `por` given.
    static void lay_out(const TempDir& d, const std::string& orp, const std::string& por) {
        write_file(d / "BARLEY.SOR", file("whole", ".SOR"));
        write_file(d / "BARLEY.ORS", file("whole", ".ORS"));
        write_file(d / "BARLEY.ORP", orp);
        write_file(d / "BARLEY.POR", por);
    }
    // Runs both programs in-process on the job in `d`: their statuses and messages.
    struct Outcome {
        int exported = -1, plotted = -1, paged = -1;
        std::string export_err, plot_err, page_err;
    };
    static Outcome run_both(const TempDir& d) {
        const std::string job = (d / "BARLEY").string();
        const char* argv[] = {"prog", job.c_str()};
        Outcome o;
        std::string out;
        o.exported = tables::run(2, argv, out, o.export_err);
        o.plotted = plot::run(2, argv, out, o.plot_err);
        const char* html_argv[] = {"prog", "--html", job.c_str()};
        o.paged = plot::run(3, html_argv, out, o.page_err);
        return o;
    }

    // A message without the folder of the files it names.
    static std::string plain(std::string text, const TempDir& d) {
        const std::string folder = (d / "").string();
        for (std::size_t at; (at = text.find(folder)) != std::string::npos;) text.erase(at, folder.size());
        return text;
    }

    static TempDir* dir_;
};
TempDir* CompanionRunCheck::dir_ = nullptr;

TEST_F(CompanionRunCheck, PlottingFilesOfAnotherRunAreRefusedByBoth) {
    const struct Case {
        const char* what;
        std::string orp, por;
        std::string message;  // what both say
    } cases[] = {
        {"the run itself", file("whole", ".ORP"), file("whole", ".POR"), ""},
        {"the per-year run of the same table", file("per_year", ".ORP"), file("per_year", ".POR"),
         "BARLEY.ORP, line 11: the point of location 1 (Crooksto) of year 2 (1927) on axis 1 is 0.485, but BARLEY.ORS, "
         "line 21 scores it 0.563"},
        {"another trial of as many years", read_file(golden("small_001") / "JOB.ORP"), read_file(golden("small_001") / "JOB.POR"),
         "BARLEY.ORP: holds the years 1 to 6, but the run's sequence is 1 to 12"},
    };
    for (const Case& c : cases) {
        TempDir d;
        lay_out(d, c.orp, c.por);
        const Outcome o = run_both(d);
        const int want = c.message.empty() ? 0 : 2;
        EXPECT_EQ(o.exported, want) << c.what << ": " << o.export_err;
        EXPECT_EQ(o.plotted, want) << c.what << ": " << o.plot_err;
        EXPECT_EQ(o.paged, want) << c.what << ": " << o.page_err;
        if (c.message.empty()) continue;
        EXPECT_NE(plain(o.export_err, d).find("seqord-export: error: " + c.message), std::string::npos)
            << c.what << ": " << o.export_err;
        EXPECT_NE(plain(o.plot_err, d).find("seqord-plot: error: " + c.message), std::string::npos)
            << c.what << ": " << o.plot_err;
        EXPECT_NE(plain(o.page_err, d).find("seqord-plot: error: " + c.message), std::string::npos)
            << c.what << ": " << o.page_err;
    }
}

// Every cut of either plotting file after a whole line, and a byte into and
// a byte short of each line, is refused by both programs (seqord-export
// reads no pair file) and nothing is written.  A cut that takes off no more
// than the last line end leaves every record whole, and is no cut.
TEST_F(CompanionRunCheck, EveryCutOfAPlottingFileIsRefusedByBoth) {
    const std::string orp = file("whole", ".ORP"), por = file("whole", ".POR");
    ASSERT_EQ(std::count(orp.begin(), orp.end(), '\n'), 93);
    TempDir d;
    lay_out(d, orp, por);
    const std::string job = (d / "BARLEY").string();
    const char* argv[] = {"prog", job.c_str()};
    std::size_t cuts = 0, accepted = 0;
    for (const char* ext : {".ORP", ".POR"}) {
        const bool in_orp = std::string(ext) == ".ORP";
        const std::string& whole = in_orp ? orp : por;
        std::vector<std::size_t> at;
        for (std::size_t b = 0, e; b < whole.size(); b = e + 1) {
            e = whole.find('\n', b);
            at.insert(at.end(), {b, b + 1, e - 1});  // after the line before, a byte into this one, short of its CR
        }
        std::sort(at.begin(), at.end());
        at.erase(std::unique(at.begin(), at.end()), at.end());
        for (std::size_t c : at) {
            if (c + 2 >= whole.size()) continue;  // only the last line end off
            ++cuts;
            write_file(d / ("BARLEY" + std::string(ext)), whole.substr(0, c));
            std::string out, export_err, plot_err;
            const int exported = in_orp ? tables::run(2, argv, out, export_err) : 2;
            const int plotted = plot::run(2, argv, out, plot_err);
            if (exported != 2 || plotted != 2) {
                ADD_FAILURE() << ext << " cut after byte " << c << " (line " << std::count(whole.begin(), whole.begin() + long(c), '\n')
                              << "): export " << exported << ", plot " << plotted << "\n" << export_err << plot_err;
                if (++accepted > 5) return;
            }
        }
        write_file(d / ("BARLEY" + std::string(ext)), whole);
    }
    EXPECT_GT(cuts, 900u);
    EXPECT_FALSE(test::exists(d / "BARLEY.svg"));
    EXPECT_FALSE(test::exists(d / "BARLEY.points.csv"));
}

// What stops the record layer reaches a breeder in the program's own words:
// the program, the file and line, and the system's reason, never the
// layer's condition number, unit or its "seqord:" prefix.
TEST_F(CompanionRunCheck, MessagesNameTheProgramAndTheFileNotTheRecordLayer) {
    const std::string long_line(std::size_t(1) << 21, 'x');
    // The first point of the year file moved, and its location named "\x1b[2J" (clear the screen).
    auto escaped_point = [&] {
        std::string text = file("whole", ".ORP");
        const std::size_t at = text.find('\n', text.find('\n') + 1) + 1;  // line 3
        text.replace(at + 14, 8, "\x1b[2J\x07  ");
        text.replace(at + 23, 8, "  99.999");
        return text;
    };
    auto with_long_line = [&](const char* run, const char* ext) {
        std::string text = file(run, ext);
        return text.insert(text.find('\n') + 1, long_line + "\r\n");
    };
    const struct Case {
        const char* what;
        const char* ext;  // the file replaced
        std::string text;
        bool plot;  // seqord-plot reads it too
        std::string message;
    } cases[] = {
        {"a report line over the bound", ".SOR", with_long_line("whole", ".SOR"), true,
         "BARLEY.SOR, line 2: cannot be read (the line is longer than 1048576 characters)"},
        {"a year file line over the bound", ".ORP", with_long_line("whole", ".ORP"), true,
         "BARLEY.ORP, line 2: cannot be read (the line is longer than 1048576 characters)"},
        {"a pair file line over the bound", ".POR", with_long_line("whole", ".POR"), true,
         "BARLEY.POR, line 2: cannot be read (the line is longer than 1048576 characters)"},
        {"a point of another place, named with control characters", ".ORP", escaped_point(), true, "BARLEY.", },
    };
    for (const Case& c : cases) {
        TempDir d;
        lay_out(d, file("whole", ".ORP"), file("whole", ".POR"));
        write_file(d / ("BARLEY" + std::string(c.ext)), c.text);
        const Outcome o = run_both(d);
        for (const auto& [program, status, err] : {std::tuple{"seqord-export", o.exported, plain(o.export_err, d)},
                                                   std::tuple{"seqord-plot", o.plotted, plain(o.plot_err, d)}}) {
            if (std::string(program) == "seqord-export" && std::string(c.ext) == ".POR") continue;  // not read
            EXPECT_EQ(status, 2) << c.what << ", " << program;
            EXPECT_EQ(err.rfind(std::string(program) + ": error: " + c.message, 0), 0u) << c.what << ": " << err;
            for (const char* internal : {"severe", "unit ", "seqord: "})
                EXPECT_EQ(err.find(internal), std::string::npos) << c.what << ", " << program << ": " << err;
            // Nothing that would move the cursor or clear the terminal.
            EXPECT_EQ(std::count_if(err.begin(), err.end(), [](char ch) { return (ch >= 0 && ch < 0x20 && ch != '\n'); }), 0)
                << c.what << ", " << program << ": " << printable(err);
        }
    }
    // A table that the record layer cannot write: the file and the system's reason.
    TempDir d;
    lay_out(d, file("whole", ".ORP"), file("whole", ".POR"));
    const std::string job = (d / "BARLEY").string();
    const char* argv[] = {"seqord-export", job.c_str()};
    std::string out, err;
    rlimit before{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &before), 0);
    const auto xfsz = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = before;
    small.rlim_cur = 1000;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const int status = tables::run(2, argv, out, err);
    ::setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, xfsz);
    EXPECT_EQ(status, 1);
    EXPECT_EQ(plain(err, d), "seqord-export: error: cannot write BARLEY.points.csv (" + std::string(std::strerror(EFBIG)) +
                                 "); no table is written\n");
    EXPECT_FALSE(test::exists(d / "BARLEY.points.csv"));
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
