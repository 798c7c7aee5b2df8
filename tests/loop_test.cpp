// Whole runs of the year loop through the real executable: the order of the
// per-year records in .SOR and .ORS, the console log, the name tables, the
// matrix input, and the loop's own refusals and warnings.
//
// Each case lives in tests/data/loop/<case>: its JOB.EMA and JOB.NAQ, and
// under expected/ the files worked out by hand from the record layouts (LF
// line ends there; the output files carry CR LF, the console LF).  In an
// expected file a line "~~~~" stands for any number of records: it covers
// the stretches whose numbers would take the whole eigen-decomposition to
// work out (rotation counts and residual off-diagonals, and the eigenvalues
// and scores of the twelve-location year).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support.h"

namespace seqord::test {
namespace {

namespace fs = std::filesystem;

constexpr const char* kSkip = "~~~~";

fs::path case_dir(const std::string& name) { return data_dir() / "loop" / name; }

std::string expected(const std::string& name, const std::string& file) {
    return read_file(case_dir(name) / "expected" / file);
}

// A temporary folder holding the case's two input files.
struct Job {
    explicit Job(const std::string& name) : name_(name) {
        for (const char* f : {"JOB.EMA", "JOB.NAQ"})
            if (seqord::test::exists(case_dir(name) / f)) fs::copy_file(case_dir(name) / f, dir / f);
    }
    RunResult run() const { return run_job(dir.path()); }
    std::string output(const std::string& file) const { return read_file(dir / file); }
    // An output file compared byte for byte with the expected one.
    void expect_file(const std::string& file) const {
        EXPECT_EQ(output(file), crlf(expected(name_, file))) << name_ << ": " << file;
    }
    // The same for an expected file that holds kSkip lines.
    void expect_records(const std::string& file) const;
    void expect_console(const RunResult& r) const { EXPECT_EQ(r.out, expected(name_, "console.txt")) << name_; }

    TempDir dir;

private:
    std::string name_;
};

// Whether the records match the pattern lines, a kSkip line matching any run
// of records (backtracking over the last skip, as in file-name globbing).
bool matches(const std::vector<std::string>& rec, const std::vector<std::string>& pat) {
    std::size_t r = 0, p = 0, star = std::string::npos, resume = 0;
    while (r < rec.size()) {
        if (p < pat.size() && pat[p] == kSkip) {
            star = p++;
            resume = r;
        } else if (p < pat.size() && pat[p] == rec[r]) {
            ++p;
            ++r;
        } else if (star != std::string::npos) {
            p = star + 1;
            r = ++resume;
        } else {
            return false;
        }
    }
    while (p < pat.size() && pat[p] == kSkip) ++p;
    return p == pat.size();
}

void Job::expect_records(const std::string& file) const {
    const std::string actual = output(file);
    SCOPED_TRACE(name_ + ": " + file);
    const auto rec = records(actual);
    EXPECT_TRUE(matches(rec, lines(expected(name_, file)))) << name_ << ": " << file << " is\n" << actual;
}

// Whether `text` holds `n` as a number of its own (not part of a longer one).
bool mentions(const std::string& text, long n) {
    const std::string num = std::to_string(n);
    auto digit = [](char c) { return c >= '0' && c <= '9'; };
    for (std::size_t at = text.find(num); at != std::string::npos; at = text.find(num, at + 1)) {
        const bool starts = at == 0 || !(digit(text[at - 1]) || text[at - 1] == '-');
        const bool ends = at + num.size() == text.size() || !digit(text[at + num.size()]);
        if (starts && ends) return true;
    }
    return false;
}

constexpr const char* kOldPor = "pair file of an earlier run\r\n";
constexpr const char* kOldOrp = "year file of an earlier run\n";

void plant_old_plot_files(const Job& job) {
    write_file(job.dir / "JOB.POR", kOldPor);
    write_file(job.dir / "JOB.ORP", kOldOrp);
}

void expect_old_plot_files(const Job& job) {
    EXPECT_EQ(job.output("JOB.POR"), kOldPor);
    EXPECT_EQ(job.output("JOB.ORP"), kOldOrp);
}

// ---------------------------------------------------------------------------
// Year blocks in file order, whatever their index.

TEST(YearLoop, ThreeYearsInFileOrderWithTheirRecordsAndLog) {
    // Years 1, 3, 2 in that order; year 3 lies outside the sequence 1..2, so
    // the plotting files hold years 1 and 2 only.
    Job job("three_years");
    const RunResult r = job.run();
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    job.expect_console(r);
    job.expect_records("JOB.SOR");
    job.expect_file("JOB.ORS");
    job.expect_file("JOB.POR");
    job.expect_file("JOB.ORP");
}

TEST(YearLoop, InputEndingAfterTheOptionLineStillAlignsTheZeroRows) {
    // No year block: " For each year" is followed by " Rotate axes ...",
    // and the alignment walks the zero-filled rows of years 1..3.  The run
    // header is spread over three lines, the title is cut at 50 columns and
    // the third option letter is a blank, echoed as it stands.
    Job job("ends_after_options");
    const RunResult r = job.run();
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    job.expect_console(r);
    for (const char* f : {"JOB.SOR", "JOB.ORS", "JOB.POR", "JOB.ORP"}) job.expect_file(f);
}

TEST(YearLoop, EmptyLineAfterTheLastBlockIsAYearRecordThenEndOfFile) {
    Job job("empty_line_after_last_block");
    plant_old_plot_files(job);
    const RunResult r = job.run();
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("end-of-file during read, unit 20, file JOB.EMA"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.rfind("seqord: severe (", 0), 0u) << r.err;
    job.expect_console(r);
    job.expect_file("JOB.SOR");
    job.expect_file("JOB.ORS");
    expect_old_plot_files(job);
}

// ---------------------------------------------------------------------------
// Matrix and elimination-vector shapes.

TEST(MatrixInput, TwelveLocationsAmongThirtyOneAndASingleOne) {
    // Year 2 retains 12 of 31 locations (elimination vector over three lines,
    // with a repeat count), its matrix rows 11 and 12 run onto continuation
    // lines and every diagonal value is 99 (dropped).  Year 1 retains only
    // location 31, the last value of the second R7 line.
    Job job("wide_year");
    const RunResult r = job.run();
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    job.expect_console(r);
    job.expect_records("JOB.SOR");
    job.expect_records("JOB.ORS");
    job.expect_file("JOB.POR");
    job.expect_file("JOB.ORP");
}

TEST(MatrixInput, ZeroLocationsReadNoMatrixRow) {
    // Year 1 has NL = 0: the line after its elimination vector is already the
    // next year record; its blocks are all headings without values.
    Job job("nl_zero");
    const RunResult r = job.run();
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    job.expect_console(r);
    for (const char* f : {"JOB.SOR", "JOB.ORS", "JOB.POR", "JOB.ORP"}) job.expect_file(f);
}

// ---------------------------------------------------------------------------
// The loop's own checks.  A refused block stops the run after its year
// heading, its R5 and R6 records and the NL message, before the elimination
// vector is read: each input ends right after its NL line, so reading on
// would have been an end-of-file report (status 1) instead.

struct Refusal {
    const char* name;
    std::vector<std::string> words;  // what the report must name
    std::vector<long> numbers;       // and which values
};

class Refused : public ::testing::TestWithParam<Refusal> {};

TEST_P(Refused, StopsWithStatus2AfterTheBlocksFirstRecords) {
    const Refusal& c = GetParam();
    const std::string name = std::string("refuse/") + c.name;
    Job job(name);
    plant_old_plot_files(job);
    const RunResult r = job.run();
    EXPECT_EQ(r.status, 2);
    const auto err = lines(r.err);
    ASSERT_EQ(err.size(), 1u) << r.err;
    EXPECT_EQ(err[0].rfind("seqord: error: ", 0), 0u) << err[0];
    EXPECT_NE(err[0].find("JOB.EMA"), std::string::npos) << err[0];
    for (const auto& w : c.words) EXPECT_NE(err[0].find(w), std::string::npos) << w << " in " << err[0];
    for (long n : c.numbers) EXPECT_TRUE(mentions(err[0], n)) << n << " in " << err[0];
    job.expect_console(r);
    job.expect_file("JOB.SOR");
    job.expect_file("JOB.ORS");
    expect_old_plot_files(job);
}

INSTANTIATE_TEST_SUITE_P(
    Loop, Refused,
    ::testing::Values(
        // year record on line 4 with the index 0, the years being 1..3
        Refusal{"year_zero", {"line 4:", "1..3"}, {0}},
        // a good year first; the year record of index 4 = MAXY + 1 is line 8
        Refusal{"year_above", {"line 8:", "1..3"}, {4}},
        // NL = 3 with MAXL = 2
        Refusal{"nl_above", {"NL", "MAXL"}, {3, 2}},
        Refusal{"nl_negative", {"NL"}, {-1}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LoopChecks, NLDifferentFromTheFlaggedCountOnlyWarns) {
    // Year 3 flags one location for NL = 2 (only row 1 of its scores is
    // filed, under location 3); year 4 flags three for NL = 2 (location 3
    // receives the untouched row 3, all zero).  The files are what they are
    // without any check; the two warnings go to stderr only.
    Job job("nl_mismatch");
    const RunResult r = job.run();
    EXPECT_EQ(r.status, 0);
    const auto err = lines(r.err);
    ASSERT_EQ(err.size(), 2u) << r.err;
    for (const auto& w : err) EXPECT_EQ(w.rfind("seqord: warning: ", 0), 0u) << w;
    // year 3 or its name; NL = 2; one flagged (the 1 itself is hard to miss)
    EXPECT_TRUE((mentions(err[0], 3) || err[0].find("FEW") != std::string::npos) && mentions(err[0], 2) &&
                mentions(err[0], 1))
        << err[0];
    EXPECT_TRUE((mentions(err[1], 4) || err[1].find("MANY") != std::string::npos) && mentions(err[1], 2) &&
                mentions(err[1], 3))
        << err[1];
    job.expect_console(r);
    for (const char* f : {"JOB.SOR", "JOB.ORS", "JOB.POR", "JOB.ORP"}) job.expect_file(f);
}

TEST(LoopChecks, YearIndexMetTwiceWarnsAndTheLaterBlockReplacesItsRows) {
    // Both blocks carry index 2.  The second replaces the elimination row
    // (location 1 now flagged 2, listed in .ORP but not filed) and the points
    // of locations 2 and 3; location 1 keeps the first block's point.
    Job job("year_twice");
    const RunResult r = job.run();
    EXPECT_EQ(r.status, 0);
    const auto err = lines(r.err);
    ASSERT_EQ(err.size(), 1u) << r.err;
    EXPECT_EQ(err[0].rfind("seqord: warning: ", 0), 0u) << err[0];
    EXPECT_TRUE(mentions(err[0], 2)) << err[0];
    job.expect_console(r);
    for (const char* f : {"JOB.SOR", "JOB.ORS", "JOB.POR", "JOB.ORP"}) job.expect_file(f);
}

// ---------------------------------------------------------------------------
// The name tables, seen through the plotting files that print them.

TEST(NameInput, NamesAreCutToEightPaddedAndKeepLeadingBlanks) {
    // Heading longer than 50 columns, the three counts on three lines (and
    // unrelated to the data set), names of 12, 4 with two leading blanks, 10,
    // 2 and 0 characters, then two extra lines that are never read.
    Job job("names");
    const RunResult r = job.run();
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    job.expect_file("JOB.POR");
    job.expect_file("JOB.ORP");
}

class ShortNameInput : public ::testing::TestWithParam<const char*> {};

TEST_P(ShortNameInput, IsAnEndOfFileReportForUnit21) {
    Job job("naq_short");
    fs::copy_file(case_dir("naq_short") / GetParam(), job.dir / "JOB.NAQ");
    plant_old_plot_files(job);
    const RunResult r = job.run();
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("end-of-file during read, unit 21, file JOB.NAQ"), std::string::npos) << r.err;
    job.expect_console(r);
    job.expect_file("JOB.SOR");
    job.expect_file("JOB.ORS");
    expect_old_plot_files(job);
}

INSTANTIATE_TEST_SUITE_P(Loop, ShortNameInput, ::testing::Values("ends_in_locations.NAQ", "ends_in_counts.NAQ"),
                         [](const auto& info) {
                             std::string n = info.param;
                             return n.substr(0, n.find('.'));
                         });

}  // namespace
}  // namespace seqord::test

namespace seqord::test {
namespace {

// ---------------------------------------------------------------------------
// Free-form records that give no value leave their variables alone: a year
// whose NL record is a slash or a null value keeps the previous block's NL,
// and an elimination vector read into a repeated year's row keeps the entries
// it does not reach.  Each case is run twice, once as written and once with
// every value spelt out; all four files, the console and the reports must be
// the same.  The two inputs have the same lines, so that reports naming a
// line agree too.

const char* const kRows3 =
    "     1 Alpha      0.00000000E+00\n"
    "     2 Beta       0.10000000E+01  0.00000000E+00\n"
    "     3 Delta      0.40000000E+01  0.20000000E+01  0.00000000E+00\n";
const char* const kRows4 =
    "     1 Alpha      0.00000000E+00\n"
    "     2 Beta       0.10000000E+01  0.00000000E+00\n"
    "     3 Gamma      0.30000000E+01  0.25000000E+01  0.00000000E+00\n"
    "     4 Delta      0.40000000E+01  0.20000000E+01  0.50000000E+00  0.00000000E+00\n";

std::string block(const char* year_record, const char* nl, const char* elim, const char* rows) {
    return std::string(year_record) + "\n" + nl + "\n" + elim + "\n" + rows;
}

std::string job_input(const std::string& blocks) {
    return "     3     4     5     1     3\nFree-form reads that give no value\n     U     S     C     N\n" + blocks;
}

struct QuietRead {
    const char* name;
    std::string as_written, spelt_out;
    bool warns;  // whether the run warns (both ways alike)
};

void PrintTo(const QuietRead& c, std::ostream* os) { *os << c.name; }

class FreeFormRead : public ::testing::TestWithParam<QuietRead> {};

TEST_P(FreeFormRead, LeavesWhatTheVariableHeld) {
    const QuietRead& c = GetParam();
    const char* const naq = "Names\n3 4 5\nSEASON1\nSEASON2\nSEASON3\nALPHA\nBETA\nGAMMA\nDELTA\n";
    TempDir a, b;
    write_file(a / "JOB.EMA", c.as_written);
    write_file(b / "JOB.EMA", c.spelt_out);
    write_file(a / "JOB.NAQ", naq);
    write_file(b / "JOB.NAQ", naq);
    const RunResult ra = run_job(a.path()), rb = run_job(b.path());
    EXPECT_EQ(rb.status, 0) << rb.err;
    EXPECT_EQ(ra.status, rb.status) << ra.err;
    EXPECT_EQ(ra.out, rb.out);
    EXPECT_EQ(ra.err, rb.err);
    // (Hand-made matrices need not be Euclidean; that warning is not the one looked for.)
    std::string other;
    for (const std::string& l : lines(rb.err))
        if (l.find("its matrix is not Euclidean") == std::string::npos) other += l + "\n";
    EXPECT_EQ(!other.empty(), c.warns) << rb.err;
    for (const char* f : {"JOB.SOR", "JOB.ORS", "JOB.POR", "JOB.ORP"}) EXPECT_EQ(read_file(a / f), read_file(b / f)) << f;
    // Every year of the input was analysed: the run reached the alignment.
    EXPECT_NE(read_file(a / "JOB.SOR").find(" Rotate axes if -ve correlated"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Loop, FreeFormRead,
    ::testing::Values(
        QuietRead{"nl_slash",
                  job_input(block("     1    2001", "3", "1 1 0 1", kRows3) + block("     2    2002", " /", "1 1 0 1", kRows3)),
                  job_input(block("     1    2001", "3", "1 1 0 1", kRows3) + block("     2    2002", "3", "1 1 0 1", kRows3)),
                  false},
        QuietRead{"nl_null_comma",
                  job_input(block("     1    2001", "3", "1 1 0 1", kRows3) + block("     2    2002", ",", "0 1 1 1", kRows3)),
                  job_input(block("     1    2001", "3", "1 1 0 1", kRows3) + block("     2    2002", "3", "0 1 1 1", kRows3)),
                  false},
        QuietRead{"nl_null_repeat",
                  job_input(block("     1    2001", "4", "1 1 1 1", kRows4) + block("     3    2003", " 1* ", "1 1 1 1", kRows4)),
                  job_input(block("     1    2001", "4", "1 1 1 1", kRows4) + block("     3    2003", "4", "1 1 1 1", kRows4)),
                  false},
        // The first NL itself ends its record with a slash.
        QuietRead{"slash_after_slash",
                  job_input(block("     1    2001", "3/", "1 1 0 1", kRows3) + block("     2    2002", "/", "1 1 0 1", kRows3) +
                            block("     3    2003", "4", "1 1 1 1", kRows4)),
                  job_input(block("     1    2001", "3", "1 1 0 1", kRows3) + block("     2    2002", "3", "1 1 0 1", kRows3) +
                            block("     3    2003", "4", "1 1 1 1", kRows4)),
                  false},
        // Before the first block NL is 0: such a block holds no locations.
        QuietRead{"first_nl_slash",
                  job_input(block("     1    2001", "/", "0 0 0 0", "") + block("     2    2002", "3", "1 1 0 1", kRows3)),
                  job_input(block("     1    2001", "0", "0 0 0 0", "") + block("     2    2002", "3", "1 1 0 1", kRows3)),
                  false},
        // The check of NL against the flags sees the NL in force (3, two flags).
        QuietRead{"nl_kept_warns_against_flags",
                  job_input(block("     1    2001", "3", "1 1 0 1", kRows3) + block("     2    2002", "/", "1 0 0 1", kRows3)),
                  job_input(block("     1    2001", "3", "1 1 0 1", kRows3) + block("     2    2002", "3", "1 0 0 1", kRows3)),
                  true},
        // A repeated year's vector: a null value and an early slash keep the
        // earlier block's entries 1 and 4.
        QuietRead{"repeated_year_elimination",
                  job_input(block("     2    2002", "3", "1 1 0 1", kRows3) + block("     2    2002", "4", ",1,1 /", kRows4)),
                  job_input(block("     2    2002", "3", "1 1 0 1", kRows3) + block("     2    2002", "4", "1 1 1 1", kRows4)),
                  true},
        QuietRead{"repeated_year_elimination_repeat_null",
                  job_input(block("     2    2002", "4", "1 1 1 1", kRows4) + block("     2    2002", "3", "2*,0 /", kRows3)),
                  job_input(block("     2    2002", "4", "1 1 1 1", kRows4) + block("     2    2002", "3", "1 1 0 1", kRows3)),
                  true}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace seqord::test
