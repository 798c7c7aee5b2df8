// Job control: the start-up dialogue, the six files of the run, the run
// header with its workspace check, and the division of the workspace.
//
// The dialogue and the run header are driven through the real executable
// with a piped console.  The expected .SOR/.ORS/console texts of the run
// header cases (tests/data/main/<case>.{SOR,ORS,console}) were worked out by
// hand from the record layouts and the size formulas; those of "fit" are the
// beginning of a run that goes on into the analysis.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <climits>
#include <cstdint>
#include <limits>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "main/job.h"
#include "records/records.h"
#include "support.h"

namespace seqord::test {
namespace {

namespace fs = std::filesystem;

const std::string kQuestion = " Do you wish default file names (Y or N)? - ";
const std::string kJobLine = " Enter job name (ie. name for files without extension\n";
const std::array<std::string, 6> kPrompts = {
    " Enter name of input file  (*.EMA) - ", " Enter name of input file  (*.NAQ) - ",
    " Enter name of output file (*.SOR) - ", " Enter name of output file (*.ORS) - ",
    " Enter name of output file (*.POR) - ", " Enter name of output file (*.ORP) - ",
};
const std::array<std::string, 6> kExt = {".EMA", ".NAQ", ".SOR", ".ORS", ".POR", ".ORP"};

// The question and the six per-file prompts, as they stand on one line.
std::string all_prompts() {
    std::string s = kQuestion;
    for (const auto& p : kPrompts) s += p;
    return s;
}

std::set<std::string> listing(const fs::path& dir) {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.insert(e.path().filename().string());
    return names;
}

std::set<std::string> stem_files(const std::string& stem) {
    std::set<std::string> names;
    for (const auto& e : kExt) names.insert(stem + e);
    return names;
}

// The console answers of the per-file dialogue.
std::string per_file(const std::string& answer, const std::array<std::string, 6>& names) {
    std::string s = answer + "\n";
    for (const auto& n : names) s += n + "\n";
    return s;
}

// A name input with `years` year names and `locations` location names.
std::string name_input(int years, int locations) {
    std::string s = "Names of the test\n";
    s.append(std::to_string(years)).append(" ").append(std::to_string(locations)).append(" 1\n");
    for (int k = 1; k <= years; ++k) s.append("Y").append(std::to_string(k)).append("\n");
    for (int j = 1; j <= locations; ++j) s.append("L").append(std::to_string(j)).append("\n");
    return s;
}

// A main input with a run header, a title, an option line and no year
// block: the run goes straight from the options to the alignment step.
std::string main_input(const std::string& header, const std::string& title = "Job control test") {
    return header + "\n" + title + "\n     U     S     C     N\n";
}

// A small data set that runs to the end: 2 years, 2 locations, IYS 1, IYF 2.
void write_small_set(const fs::path& ema, const fs::path& naq) {
    write_file(ema, main_input("2 2 1 1 2"));
    write_file(naq, name_input(2, 2));
}

std::string pad(const std::string& s, std::size_t n) { return s + std::string(n - s.size(), ' '); }

Text<50> text50(const std::string& s) {
    Text<50> t;
    for (std::size_t i = 0; i < s.size() && i < 50; ++i) t.c[i] = s[i];
    return t;
}

// A stem of n characters that is not all one letter, so that a cut in the
// wrong place shows.
std::string stem_of(std::size_t n) {
    std::string s;
    for (std::size_t i = 0; i < n; ++i) s.push_back(static_cast<char>('a' + i % 26));
    return s;
}

// ------------------------------------------------------------ dialogue ---

TEST(Dialogue, JobNameFormsTheSixNamesAndOpensThem) {
    TempDir dir;
    write_small_set(dir / "TRIAL.EMA", dir / "TRIAL.NAQ");
    const RunResult r = run_program(dir.path(), "y\nTRIAL\n");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_TRUE(starts_with(r.out, kQuestion + kJobLine + "\n DIMENSIONS OF ARRAYS:\n")) << r.out;
    EXPECT_EQ(listing(dir.path()), stem_files("TRIAL"));
    // Each output was written by the run, not merely created.
    for (const char* e : {".SOR", ".ORS", ".POR", ".ORP"})
        EXPECT_FALSE(read_file(dir / ("TRIAL" + std::string(e))).empty()) << e;
    EXPECT_TRUE(starts_with(read_file(dir / "TRIAL.SOR"), " Maximum number of years in data set"));
}

class YesAnswer : public ::testing::TestWithParam<std::string> {};

TEST_P(YesAnswer, AsksForTheJobName) {
    TempDir dir;
    write_small_set(dir / "TRIAL.EMA", dir / "TRIAL.NAQ");
    const RunResult r = run_program(dir.path(), GetParam() + "\nTRIAL\n");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(starts_with(r.out, kQuestion + kJobLine)) << r.out;
    EXPECT_FALSE(contains(r.out, kPrompts[0]));
    EXPECT_EQ(listing(dir.path()), stem_files("TRIAL"));
}

// Only the first character counts, and only Y or y.
INSTANTIATE_TEST_SUITE_P(FirstCharacter, YesAnswer, ::testing::Values("y", "Y", "yes", "Yes, please"));

class NoAnswer : public ::testing::TestWithParam<std::string> {};

TEST_P(NoAnswer, AsksForEachFileOnOneLine) {
    TempDir dir;
    write_small_set(dir / "A.EMA", dir / "A.NAQ");
    const RunResult r = run_program(dir.path(), per_file(GetParam(), {"A.EMA", "A.NAQ", "A.SOR", "A.ORS", "A.POR", "A.ORP"}));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    // The prompts leave their line open; the report's leading empty record ends it.
    EXPECT_TRUE(starts_with(r.out, all_prompts() + "\n DIMENSIONS OF ARRAYS:\n")) << r.out;
    EXPECT_FALSE(contains(r.out, kJobLine));
    EXPECT_EQ(listing(dir.path()), stem_files("A"));
}

INSTANTIATE_TEST_SUITE_P(AnythingElse, NoAnswer, ::testing::Values(" y", "n", "N", "x", "", "no", " Y"));

TEST(Dialogue, TrailingBlanksOfTheJobNameDoNotCount) {
    TempDir dir;
    write_small_set(dir / "TRIAL.EMA", dir / "TRIAL.NAQ");
    const RunResult r = run_program(dir.path(), "y\nTRIAL      \n");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(listing(dir.path()), stem_files("TRIAL"));
}

TEST(Dialogue, InteriorBlankOfTheJobNameIsKept) {
    TempDir dir;
    write_small_set(dir / "MY JOB.EMA", dir / "MY JOB.NAQ");
    const RunResult r = run_program(dir.path(), "y\nMY JOB  \n");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(listing(dir.path()), stem_files("MY JOB"));
}

TEST(Dialogue, LeadingBlanksAreDroppedFromTheNameOpened) {
    TempDir dir;
    write_small_set(dir / "TRIAL.EMA", dir / "TRIAL.NAQ");
    const RunResult r = run_program(dir.path(), "y\n  TRIAL\n");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(listing(dir.path()), stem_files("TRIAL"));
}

TEST(Dialogue, LastAnswerWithoutLineEndIsRead) {
    TempDir dir;
    write_small_set(dir / "TRIAL.EMA", dir / "TRIAL.NAQ");
    const RunResult r = run_program(dir.path(), "y\nTRIAL");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(listing(dir.path()), stem_files("TRIAL"));
}

TEST(Dialogue, JobNameOf46CharactersKeepsTheWholeExtension) {
    TempDir dir;
    const std::string stem = stem_of(46);
    write_small_set(dir / (stem + ".EMA"), dir / (stem + ".NAQ"));
    const RunResult r = run_program(dir.path(), "y\n" + stem + "\n");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(listing(dir.path()), stem_files(stem));
    for (const auto& n : listing(dir.path())) EXPECT_EQ(n.size(), 50u) << n;
}

TEST(Dialogue, PerFileNamesAreUsedAsTyped) {
    TempDir dir;
    write_small_set(dir / "main", dir / "names");
    const RunResult r = run_program(dir.path(), per_file("n", {"main", "names", "report", "summary", "pairs", "years"}));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(listing(dir.path()), (std::set<std::string>{"main", "names", "report", "summary", "pairs", "years"}));
    EXPECT_TRUE(starts_with(read_file(dir / "report"), " Maximum number of years in data set"));
    EXPECT_TRUE(starts_with(read_file(dir / "summary"), crlf("     2     2     1     1     2     2     3\n")));
}

TEST(Dialogue, PerFileNameIsCutAtFiftyCharacters) {
    TempDir dir;
    write_small_set(dir / "A.EMA", dir / "A.NAQ");
    const std::string fifty = "report-" + stem_of(43);
    const RunResult r = run_program(dir.path(), per_file("n", {"A.EMA", "A.NAQ", fifty + "IGNORED", "A.ORS", "A.POR", "A.ORP"}));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::exists(dir / fifty));
    EXPECT_FALSE(fs::exists(dir / (fifty + "IGNORED")));
}

TEST(Dialogue, MissingMainInputIsReportedAfterAllSixNames) {
    TempDir dir;
    write_file(dir / "A.NAQ", name_input(2, 2));
    const RunResult r = run_program(dir.path(), per_file("n", {"nothere.EMA", "A.NAQ", "A.SOR", "A.ORS", "A.POR", "A.ORP"}));
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(starts_with(r.err, "seqord: severe (")) << r.err;
    EXPECT_TRUE(contains(r.err, "file not found, unit 20, file nothere.EMA")) << r.err;
    // All six prompts came before the report; nothing else went to the console.
    EXPECT_TRUE(starts_with(r.out, all_prompts())) << r.out;
    EXPECT_EQ(r.out.find_first_not_of('\n', all_prompts().size()), std::string::npos) << r.out;
    EXPECT_EQ(listing(dir.path()), std::set<std::string>{"A.NAQ"});
}

TEST(Dialogue, MissingMainInputAfterTheJobName) {
    TempDir dir;
    write_file(dir / "NOPE.NAQ", name_input(2, 2));
    const RunResult r = run_program(dir.path(), "y\nNOPE\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.err, "file not found, unit 20, file NOPE.EMA")) << r.err;
    EXPECT_TRUE(starts_with(r.out, kQuestion + kJobLine));
    EXPECT_EQ(r.out.find_first_not_of('\n', (kQuestion + kJobLine).size()), std::string::npos) << r.out;
    EXPECT_EQ(listing(dir.path()), std::set<std::string>{"NOPE.NAQ"});
}

TEST(Dialogue, MissingNameInputIsReportedBeforeAnyOutputIsCreated) {
    TempDir dir;
    write_file(dir / "TRIAL.EMA", main_input("2 2 1 1 2"));
    const RunResult r = run_program(dir.path(), "y\nTRIAL\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.err, "file not found, unit 21, file TRIAL.NAQ")) << r.err;
    EXPECT_EQ(listing(dir.path()), std::set<std::string>{"TRIAL.EMA"});
}

class ConsoleEnds : public ::testing::TestWithParam<std::string> {};

TEST_P(ConsoleEnds, AtAPromptIsAFatalEndOfFile) {
    TempDir dir;
    write_small_set(dir / "A.EMA", dir / "A.NAQ");
    const RunResult r = run_program(dir.path(), GetParam());
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(starts_with(r.err, "seqord: severe (")) << r.err;
    EXPECT_TRUE(contains(r.err, "end-of-file during read")) << r.err;
    EXPECT_EQ(listing(dir.path()), (std::set<std::string>{"A.EMA", "A.NAQ"}));
}

// At the question, at the job name, at the third and at the sixth file name.
INSTANTIATE_TEST_SUITE_P(Prompts, ConsoleEnds,
                         ::testing::Values("", "y\n", "n\nA.EMA\nA.NAQ\n", "n\nA.EMA\nA.NAQ\nA.SOR\nA.ORS\nA.POR\n"));

// ------------------------------------------------- names that coincide ---

struct Clash {
    const char* label;
    std::string input;
    const char* first;   // the roles named in the refusal
    const char* second;
    std::string file;    // a name the refusal quotes
};

std::ostream& operator<<(std::ostream& os, const Clash& c) { return os << c.label; }

class Coinciding : public ::testing::TestWithParam<Clash> {};

TEST_P(Coinciding, AreRefusedBeforeAnythingIsOpened) {
    const Clash& c = GetParam();
    TempDir dir;
    write_small_set(dir / "A.EMA", dir / "A.NAQ");
    fs::create_directory(dir / "sub");
    fs::create_symlink("A.EMA", dir / "LINK.SOR");
    const std::string ema_before = read_file(dir / "A.EMA");
    const std::string naq_before = read_file(dir / "A.NAQ");
    const auto before = listing(dir.path());

    const RunResult r = run_program(dir.path(), c.input);
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_TRUE(starts_with(r.err, "seqord: error: ")) << r.err;
    EXPECT_TRUE(contains(r.err, std::string("(") + c.first + ")")) << r.err;
    EXPECT_TRUE(contains(r.err, std::string("(") + c.second + ")")) << r.err;
    EXPECT_TRUE(contains(r.err, c.file)) << r.err;
    EXPECT_EQ(listing(dir.path()), before);
    EXPECT_EQ(read_file(dir / "A.EMA"), ema_before);
    EXPECT_EQ(read_file(dir / "A.NAQ"), naq_before);
    EXPECT_FALSE(contains(r.out, "DIMENSIONS"));
}

INSTANTIATE_TEST_SUITE_P(
    Names, Coinciding,
    ::testing::Values(
        Clash{"ReportOverMainInput", per_file("n", {"A.EMA", "A.NAQ", "A.EMA", "A.ORS", "A.POR", "A.ORP"}), ".EMA",
              ".SOR", "A.EMA"},
        Clash{"YearFileOverNameInput", per_file("n", {"A.EMA", "A.NAQ", "A.SOR", "A.ORS", "A.POR", "A.NAQ"}),
              ".NAQ", ".ORP", "A.NAQ"},
        Clash{"TwoInputsOneFile", per_file("n", {"A.EMA", "A.EMA", "A.SOR", "A.ORS", "A.POR", "A.ORP"}), ".EMA",
              ".NAQ", "A.EMA"},
        Clash{"TwoOutputsOneName", per_file("n", {"A.EMA", "A.NAQ", "out", "A.ORS", "out", "A.ORP"}), ".SOR", ".POR",
              "out"},
        Clash{"TrailingBlanksDoNotMakeANameDiffer",
              per_file("n", {"A.EMA", "A.NAQ", "A.SOR", "A.SOR   ", "A.POR", "A.ORP"}), ".SOR", ".ORS", "A.SOR"},
        Clash{"DotSpellingOfTheMainInput", per_file("n", {"./A.EMA", "A.NAQ", "A.SOR", "A.ORS", "A.POR", "A.EMA"}),
              ".EMA", ".ORP", "A.EMA"},
        Clash{"DotSpellingOfAMissingOutput", per_file("n", {"A.EMA", "A.NAQ", "r.txt", "./r.txt", "A.POR", "A.ORP"}),
              ".SOR", ".ORS", "r.txt"},
        Clash{"PathThroughAFolder", per_file("n", {"A.EMA", "A.NAQ", "A.SOR", "A.ORS", "sub/../A.NAQ", "A.ORP"}),
              ".NAQ", ".POR", "A.NAQ"},
        Clash{"SymbolicLinkToTheMainInput",
              per_file("n", {"A.EMA", "A.NAQ", "LINK.SOR", "A.ORS", "A.POR", "A.ORP"}), ".EMA", ".SOR", "LINK.SOR"},
        // From 47 characters on the extensions are cut at the 50th position.
        Clash{"JobNameOf47", "y\n" + stem_of(47) + "\n", ".ORS", ".ORP", stem_of(47) + ".OR"},
        Clash{"JobNameOf47WithLeadingBlanks", "y\n  " + stem_of(45) + "\n", ".ORS", ".ORP", stem_of(45) + ".OR"},
        Clash{"JobNameOf48", "y\n" + stem_of(48) + "\n", ".ORS", ".ORP", stem_of(48) + ".O"},
        Clash{"JobNameOf49", "y\n" + stem_of(49) + "\n", ".EMA", ".NAQ", stem_of(49) + "."},
        Clash{"JobNameOf50", "y\n" + stem_of(50) + "\n", ".EMA", ".NAQ", stem_of(50)},
        Clash{"JobNameBeyond50", "y\n" + stem_of(50) + ".EMA\n", ".EMA", ".NAQ", stem_of(50)}),
    [](const ::testing::TestParamInfo<Clash>& info) { return std::string(info.param.label); });

// ----------------------------------------------------------- run header ---

// A run header whose run ends in the header step: a workspace shortfall
// (status 0) or a refusal (status 2).  The main input holds nothing but the
// header and the name input is empty, so any read beyond the header would
// end the run with an end-of-file report instead.
struct HeaderCase {
    const char* label;
    const char* expected;  // tests/data/main/<expected>.{SOR,ORS,console}
    std::string ema;
    int status;
    int line;  // the line of the refusal (status 2)
};

std::ostream& operator<<(std::ostream& os, const HeaderCase& c) { return os << c.label; }

class HeaderStops : public ::testing::TestWithParam<HeaderCase> {};

TEST_P(HeaderStops, WritesTheEchoAndTheReportOnly) {
    const HeaderCase& c = GetParam();
    const fs::path expected = data_dir() / "main" / c.expected;
    TempDir dir;
    write_file(dir / "JOB.EMA", c.ema);
    write_file(dir / "JOB.NAQ", "");
    // Outputs left by an earlier run: the two written ones are cut back,
    // the two untouched ones keep what they held.
    std::string old;
    for (int i = 0; i < 40; ++i) old += "a record of an earlier run, longer than anything written now\r\n";
    write_file(dir / "JOB.SOR", old);
    write_file(dir / "JOB.ORS", old);
    write_file(dir / "JOB.POR", "earlier pairs\r\n");
    write_file(dir / "JOB.ORP", "earlier years\r\n");

    const RunResult r = run_job(dir.path());
    EXPECT_EQ(r.status, c.status) << r.err;
    if (c.status == 0) {
        EXPECT_EQ(r.err, "");
    } else {
        const std::string where = "seqord: error: JOB.EMA, line " + std::to_string(c.line) + ": ";
        EXPECT_TRUE(starts_with(r.err, where)) << r.err;
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;  // one line
    }
    EXPECT_EQ(r.out, read_file(fs::path(expected) += ".console"));
    EXPECT_EQ(read_file(dir / "JOB.SOR"), read_file(fs::path(expected) += ".SOR"));
    EXPECT_EQ(read_file(dir / "JOB.ORS"), read_file(fs::path(expected) += ".ORS"));
    EXPECT_EQ(read_file(dir / "JOB.POR"), "earlier pairs\r\n");
    EXPECT_EQ(read_file(dir / "JOB.ORP"), "earlier years\r\n");
}

INSTANTIATE_TEST_SUITE_P(
    Shortfalls, HeaderStops,
    ::testing::Values(
        // MZ needs 10201 of 10000; Z (221533) and AZ (634) fit.
        HeaderCase{"MZShort", "mz_short", "33 300 5 1 33\n", 0, 0},
        // AZ needs 1001 of 1000.
        HeaderCase{"AZShortByOne", "az_short", "980 10 0 1 1\n", 0, 0},
        // Z (370521) and MZ (12401): two lines, Z first.
        HeaderCase{"ZAndMZShort", "z_and_mz_short", "30 400 10 1 30\n", 0, 0},
        // Z needs 2046041: in full in its 8-column line, asterisks in the report.
        HeaderCase{"SevenDigitSize", "three_short", "10 1000 50 1 10\n", 0, 0},
        // Z needs 50050005, which fills the 8 columns exactly.
        HeaderCase{"EightDigitSize", "eight_digits", "1 5000 0 1 1\n", 0, 0},
        // 2*L*L = 2^31 for L = 32768: Z must not come out negative.
        HeaderCase{"ZBeyond32Bits", "wrap_trap", "1 32768 0 1 1\n", 0, 0},
        // Every echoed value and every size beyond its field; NYA = 2^32.
        HeaderCase{"ExtremeValues", "limits", "2147483647 1 -2147483648 -2147483648 2147483647\n", 0, 0},
        // Z = 2^32 - 3 exactly, reached through terms near +-2^63 that cancel.
        HeaderCase{"CancellingTerms", "cancelling", "-1073741824 2147483647 0 1 1\n", 0, 0}),
    [](const ::testing::TestParamInfo<HeaderCase>& info) { return std::string(info.param.label); });

INSTANTIATE_TEST_SUITE_P(
    Refusals, HeaderStops,
    ::testing::Values(
        // Sizes that fit but describe no data set: Z -3, MZ -5, AZ 4.
        HeaderCase{"NegativeMAXL", "maxl_negative", "5 -1 3 1 5\n", 2, 1},
        HeaderCase{"ZeroMAXY", "maxy_zero", "0 5 0 1 1\n", 2, 1},
        // All three sizes far below zero: no shortfall, asterisks in the report.
        HeaderCase{"SmallestMAXY", "maxy_min", "-2147483648 5 0 1 1\n", 2, 1},
        // The sequence must lie within 1..MAXY.
        HeaderCase{"IYSBelowOne", "iys_zero", "5 4 0 0 3\n", 2, 1},
        HeaderCase{"IYFBeyondMAXY", "iyf_beyond", "5 4 0 2 6\n", 2, 1},
        // The line named is the one that held the fifth value.
        HeaderCase{"HeaderOnFiveLines", "iyf_beyond", "5\n4\n0\n2\n6 and the rest of the line\n", 2, 5}),
    [](const ::testing::TestParamInfo<HeaderCase>& info) { return std::string(info.param.label); });

// A header that fits: the echo and the report, then the analysis.
void expect_fit_run(const RunResult& r, const fs::path& dir, const std::string& title) {
    const fs::path expected = data_dir() / "main";
    const std::string sor_head = read_file(expected / "fit.SOR");
    const std::string ors_head = read_file(expected / "fit.ORS");
    const std::string con_head = read_file(expected / "fit.console");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    // The title line (S3, S4 / R2) comes right after the header records.
    EXPECT_TRUE(starts_with(read_file(dir / "JOB.SOR"), sor_head + "\r\n Job is " + pad(title, 50) + "\r\n"));
    EXPECT_TRUE(starts_with(read_file(dir / "JOB.ORS"), ors_head + pad(title, 50) + "\r\n"));
    EXPECT_TRUE(starts_with(r.out, con_head + " Job is " + pad(title, 50) + "\n")) << r.out;
    EXPECT_FALSE(contains(r.out, "INCREASE"));
}

TEST(RunHeader, TenYearsTwentyLocationsFit) {
    TempDir dir;
    write_file(dir / "JOB.EMA", main_input("10 20 50 1 10", "Ten years, twenty locations"));
    write_file(dir / "JOB.NAQ", name_input(10, 20));
    const RunResult r = run_job(dir.path());
    expect_fit_run(r, dir.path(), "Ten years, twenty locations");
}

TEST(RunHeader, ValuesSpreadOverSeveralLines) {
    TempDir dir;
    write_file(dir / "JOB.EMA", main_input("10\n  20   50\n\n 1\n10 77 not read", "Spread header"));
    write_file(dir / "JOB.NAQ", name_input(10, 20));
    const RunResult r = run_job(dir.path());
    expect_fit_run(r, dir.path(), "Spread header");
}

struct Fit {
    int maxy, maxl;
    const char* required;  // the DIMENSIONS REQUIRED line
};

std::ostream& operator<<(std::ostream& os, const Fit& f) { return os << "MAXY " << f.maxy << " MAXL " << f.maxl; }

class AtCapacity : public ::testing::TestWithParam<Fit> {};

TEST_P(AtCapacity, RunsTheAnalysis) {
    const Fit& f = GetParam();
    TempDir dir;
    write_file(dir / "JOB.EMA", main_input(std::to_string(f.maxy) + " " + std::to_string(f.maxl) + " 0 1 1"));
    write_file(dir / "JOB.NAQ", name_input(f.maxy, f.maxl));
    const RunResult r = run_job(dir.path());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_FALSE(contains(r.out, "INCREASE"));
    EXPECT_TRUE(contains(r.out, std::string("\n") + f.required + "\n")) << r.out;
    EXPECT_TRUE(contains(read_file(dir / "JOB.SOR"), "\r\n Rotate axes if -ve correlated\r\n"));
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, AtCapacity,
    ::testing::Values(Fit{30, 300, " DIMENSIONS REQUIRED: DZ=     1 Z=217921 MZ=  9301 AZ=   631"},
                      Fit{979, 10, " DIMENSIONS REQUIRED: DZ=     1 Z= 43337 MZ=  9801 AZ=  1000"},
                      Fit{1, 1, " DIMENSIONS REQUIRED: DZ=     1 Z=    17 MZ=     3 AZ=     4"}));

struct Sequence {
    const char* header;
    bool empty_plots;  // IYF below IYS: no alignment pair and no year
};

std::ostream& operator<<(std::ostream& os, const Sequence& q) { return os << "header " << q.header; }

class SequenceAccepted : public ::testing::TestWithParam<Sequence> {};

TEST_P(SequenceAccepted, RunsToTheEnd) {
    TempDir dir;
    write_file(dir / "JOB.EMA", main_input(GetParam().header));
    write_file(dir / "JOB.NAQ", name_input(5, 4));
    const RunResult r = run_job(dir.path());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    if (GetParam().empty_plots) {
        EXPECT_EQ(read_file(dir / "JOB.POR"), "");
        EXPECT_EQ(read_file(dir / "JOB.ORP"), "");
        const std::string sor = read_file(dir / "JOB.SOR");
        const std::string last = " Rotate axes if -ve correlated\r\n";
        ASSERT_GE(sor.size(), last.size());
        EXPECT_EQ(sor.substr(sor.size() - last.size()), last);
    } else {
        EXPECT_NE(read_file(dir / "JOB.ORP"), "");
    }
}

INSTANTIATE_TEST_SUITE_P(Bounds, SequenceAccepted,
                         ::testing::Values(Sequence{"5 4 0 4 2", true}, Sequence{"5 4 0 -3 -7", true},
                                           Sequence{"5 4 0 9 6", true}, Sequence{"5 4 0 1 5", false},
                                           Sequence{"5 4 0 5 5", false}));

// ------------------------------------------------------- required sizes ---

__extension__ typedef __int128 Wide;

// The exact size, brought into 64 bits only when it does not fit them.
std::int64_t clamped(Wide v) {
    constexpr Wide hi = std::numeric_limits<std::int64_t>::max();
    constexpr Wide lo = std::numeric_limits<std::int64_t>::min();
    return static_cast<std::int64_t>(v > hi ? hi : (v < lo ? lo : v));
}

struct Exact {
    std::int64_t z, mz, az;
};

Exact exact_sizes(std::int64_t y, std::int64_t l) {
    const Wide Y = y, L = l;
    return {clamped(2 * L * L + 6 * L + 4 * Y * L + 4 * Y + 1), clamped(Y * L + L + 1), clamped(Y + 2 * L + 1)};
}

TEST(RequiredSizes, SmallHeaders) {
    struct Row {
        std::int64_t y, l, z, mz, az;
    };
    for (const Row& row : {Row{10, 20, 1761, 221, 51}, Row{33, 300, 221533, 10201, 634},
                           Row{30, 300, 217921, 9301, 631}, Row{979, 10, 43337, 9801, 1000},
                           Row{980, 10, 43381, 9811, 1001}, Row{1, 1, 17, 3, 4}, Row{0, 0, 1, 1, 1},
                           Row{5, -1, -3, -5, 4}, Row{0, 5, 81, 6, 11}}) {
        const job::Required r = job::required_sizes(row.y, row.l);
        EXPECT_EQ(r.dz, 1) << row.y << " " << row.l;
        EXPECT_EQ(r.z, row.z) << row.y << " " << row.l;
        EXPECT_EQ(r.mz, row.mz) << row.y << " " << row.l;
        EXPECT_EQ(r.az, row.az) << row.y << " " << row.l;
    }
}

TEST(RequiredSizes, BeyondThirtyTwoBitsInFull) {
    // 2*L*L alone is 2^31 here; in 32 bits the sum would come out negative.
    const job::Required r = job::required_sizes(1, 32768);
    EXPECT_EQ(r.z, 2147811333);
    EXPECT_EQ(r.mz, 65537);
    EXPECT_EQ(r.az, 65538);
    const job::Required big = job::required_sizes(INT32_MAX, 1);
    EXPECT_EQ(big.z, 17179869185);
    EXPECT_EQ(big.mz, 2147483649);
    EXPECT_EQ(big.az, 2147483650);
}

TEST(RequiredSizes, BeyondSixtyFourBitsSaturates) {
    const job::Required r = job::required_sizes(INT32_MAX, INT32_MAX);
    EXPECT_EQ(r.z, std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(r.mz, 4611686016279904257);
    EXPECT_EQ(r.az, 6442450942);
}

TEST(RequiredSizes, CancellingTermsGiveTheExactSize) {
    // 2*L*L + 6*L lies just above 2^63 and 4*Y*L + 4*Y is -2^63: the size is
    // 2^32 - 3, far more than Z holds.
    const job::Required r = job::required_sizes(-1073741824, INT32_MAX);
    EXPECT_EQ(r.z, 4294967293);
    EXPECT_GT(r.z, job::Workspace::kZ);
}

// Over a grid of header values around the 32-bit limits and the points where
// the products leave 32 and 64 bits, what the run shows of a size must be
// what the exact size would show: the same shortfall decision, and the same
// I8/I6 fields (the number itself whenever it fits eight columns).
TEST(RequiredSizes, AgreeWithTheExactSizesWhereverItShows) {
    const std::vector<std::int64_t> values = {INT32_MIN, INT32_MIN + 1, -1073741824, -46341, -32768, -1, 0,
                                              1,         2,             979,         5000,   32768,  46340, 46341,
                                              65536,     1073741824,    INT32_MAX - 1, INT32_MAX};
    for (const std::int64_t y : values) {
        for (const std::int64_t l : values) {
            const job::Required got = job::required_sizes(y, l);
            const Exact want = exact_sizes(y, l);
            const auto same = [&](std::int64_t g, std::int64_t w, std::int64_t capacity, const char* area) {
                EXPECT_EQ(g > capacity, w > capacity) << area << " short, MAXY " << y << " MAXL " << l;
                EXPECT_EQ(format_int(g, 8), format_int(w, 8)) << area << ", MAXY " << y << " MAXL " << l;
                EXPECT_EQ(format_int(g, 6), format_int(w, 6)) << area << ", MAXY " << y << " MAXL " << l;
            };
            same(got.z, want.z, job::Workspace::kZ, "Z");
            same(got.mz, want.mz, job::Workspace::kMZ, "MZ");
            same(got.az, want.az, job::Workspace::kAZ, "AZ");
            EXPECT_EQ(got.dz, 1);
        }
    }
}

// ------------------------------------------------------------ partition ---

struct Carved {
    std::int64_t start, size, e1, e2;
};

template <class T>
Carved carved(const Table<T>& t, const T* area) {
    return {t.p - area, t.size, t.e1, t.e2};
}

bool operator==(const Carved& a, const Carved& b) {
    return a.start == b.start && a.size == b.size && a.e1 == b.e1 && a.e2 == b.e2;
}

std::ostream& operator<<(std::ostream& os, const Carved& c) {
    return os << "{start " << c.start << ", size " << c.size << ", extents " << c.e1 << " x " << c.e2 << "}";
}

TEST(Partition, TablesLieWhereTheLayoutPutsThem) {
    auto ws = std::make_unique<job::Workspace>();
    // Y = 3, L = 5: Z holds A 25, V 25, EV 5, CUM 5, PTS 60, PCT 12, RESV 20.
    const Tables t = job::partition(*ws, 3, 5);
    EXPECT_EQ(carved(t.A, ws->Z), (Carved{0, 25, 5, 5}));
    EXPECT_EQ(carved(t.V, ws->Z), (Carved{25, 25, 5, 5}));
    EXPECT_EQ(carved(t.EV, ws->Z), (Carved{50, 5, 5, 1}));
    EXPECT_EQ(carved(t.CUM, ws->Z), (Carved{55, 5, 5, 1}));
    EXPECT_EQ(carved(t.PTS, ws->Z), (Carved{60, 60, 3, 5}));
    EXPECT_EQ(carved(t.PCT, ws->Z), (Carved{120, 12, 3, 4}));
    EXPECT_EQ(carved(t.RESV, ws->Z), (Carved{132, 20, 20, 1}));
    EXPECT_EQ(carved(t.ELIM, ws->MZ), (Carved{0, 15, 3, 5}));
    EXPECT_EQ(carved(t.IWK, ws->MZ), (Carved{15, 5, 5, 1}));
    EXPECT_EQ(carved(t.YEARNAME, ws->AZ), (Carved{0, 3, 3, 1}));
    EXPECT_EQ(carved(t.LOCNAME, ws->AZ), (Carved{3, 5, 5, 1}));
    EXPECT_EQ(carved(t.RNAMES, ws->AZ), (Carved{8, 5, 5, 1}));
}

TEST(Partition, ElementsAreStoredFirstIndexFastest) {
    auto ws = std::make_unique<job::Workspace>();
    const Tables t = job::partition(*ws, 3, 5);
    // A(i, j) at (j-1)*L + (i-1); PTS(year, location, axis) at
    // (axis-1)*Y*L + (location-1)*Y + (year-1); PCT(year, axis) at
    // (axis-1)*Y + (year-1); ELIM(year, location) at (location-1)*Y + (year-1).
    EXPECT_EQ(&t.A(2, 3), ws->Z + 11);
    EXPECT_EQ(&t.V(5, 5), ws->Z + 25 + 24);
    EXPECT_EQ(&t.PTS(2, 3, 4), ws->Z + 60 + 45 + 6 + 1);
    EXPECT_EQ(&t.PTS(3, 5, 1), ws->Z + 60 + 14);
    EXPECT_EQ(&t.PCT(3, 4), ws->Z + 120 + 9 + 2);
    EXPECT_EQ(&t.ELIM(2, 4), ws->MZ + 9 + 1);
    EXPECT_EQ(&t.LOCNAME[5], ws->AZ + 7);
    // Nothing reaches past a table's end into the next one.
    EXPECT_THROW(t.A(1, 6), std::out_of_range);
    EXPECT_THROW(t.PTS(1, 1, 5), std::out_of_range);
    EXPECT_THROW(t.PCT(1, 5), std::out_of_range);
    EXPECT_THROW(t.ELIM(1, 6), std::out_of_range);
    EXPECT_THROW(t.IWK[6], std::out_of_range);
    EXPECT_THROW(t.YEARNAME[4], std::out_of_range);
}

// For headers that pass the capacity check, the tables follow one another
// without gap or overlap and the last one ends just before the required size.
TEST(Partition, TablesFillExactlyTheRequiredSize) {
    auto ws = std::make_unique<job::Workspace>();
    for (const auto& [y, l] : {std::pair{1, 1}, std::pair{10, 20}, std::pair{30, 300}, std::pair{979, 10},
                              std::pair{2, 414}, std::pair{49, 199}}) {
        const job::Required req = job::required_sizes(y, l);
        ASSERT_LE(req.z, job::Workspace::kZ);
        ASSERT_LE(req.mz, job::Workspace::kMZ);
        ASSERT_LE(req.az, job::Workspace::kAZ);
        const Tables t = job::partition(*ws, y, l);
        const std::int64_t Y = y, L = l;
        const std::vector<std::pair<const Table<float>*, std::int64_t>> z = {
            {&t.A, L * L}, {&t.V, L * L}, {&t.EV, L}, {&t.CUM, L}, {&t.PTS, 4 * Y * L}, {&t.PCT, 4 * Y}, {&t.RESV, 4 * L}};
        const float* next = ws->Z;
        for (const auto& [tab, n] : z) {
            EXPECT_EQ(tab->p, next) << "MAXY " << y << " MAXL " << l;
            EXPECT_EQ(tab->size, n) << "MAXY " << y << " MAXL " << l;
            next = tab->p + tab->size;
        }
        EXPECT_EQ(next - ws->Z, req.z - 1);
        EXPECT_EQ(t.ELIM.p, ws->MZ);
        EXPECT_EQ(t.ELIM.size, Y * L);
        EXPECT_EQ(t.IWK.p, ws->MZ + Y * L);
        EXPECT_EQ(t.IWK.p + t.IWK.size - ws->MZ, req.mz - 1);
        EXPECT_EQ(t.YEARNAME.size, Y);
        EXPECT_EQ(t.LOCNAME.p, ws->AZ + Y);
        EXPECT_EQ(t.RNAMES.p, ws->AZ + Y + L);
        EXPECT_EQ(t.RNAMES.p + t.RNAMES.size - ws->AZ, req.az - 1);
    }
}

// ------------------------------------------------------- names from job ---

std::array<std::string, 6> names_of(const std::string& job) {
    const job::FileNames n = job::names_from_job(text50(job));
    std::array<std::string, 6> s;
    for (std::size_t k = 0; k < 6; ++k) s[k] = std::string(n[k].view());
    return s;
}

std::array<std::string, 6> padded(const std::array<std::string, 6>& names) {
    std::array<std::string, 6> s;
    for (std::size_t k = 0; k < 6; ++k) s[k] = pad(names[k], 50);
    return s;
}

std::array<std::string, 6> with_ext(const std::string& stem, std::size_t keep) {
    std::array<std::string, 6> s;
    for (std::size_t k = 0; k < 6; ++k) s[k] = stem + kExt[k].substr(0, keep);
    return s;
}

TEST(NamesFromJob, ExtensionFollowsTheLastNonBlank) {
    EXPECT_EQ(names_of("TRIAL"), padded(with_ext("TRIAL", 4)));
    EXPECT_EQ(names_of("TRIAL        "), padded(with_ext("TRIAL", 4)));
    EXPECT_EQ(names_of("MY JOB"), padded(with_ext("MY JOB", 4)));
    EXPECT_EQ(names_of(""), padded(with_ext("", 4)));
}

TEST(NamesFromJob, LeadingBlanksAreKeptAndCounted) {
    EXPECT_EQ(names_of("   AB"), padded(with_ext("   AB", 4)));
    // 2 blanks and 44 characters: 46 positions, room for the whole extension.
    const std::string s46 = "  " + stem_of(44);
    EXPECT_EQ(names_of(s46), with_ext(s46, 4));
    // 2 blanks and 45 characters: 47 positions, the extension is cut.
    const std::string s47 = "  " + stem_of(45);
    EXPECT_EQ(names_of(s47), with_ext(s47, 3));
}

TEST(NamesFromJob, ExtensionIsCutAtTheFiftiethPosition) {
    EXPECT_EQ(names_of(stem_of(46)), with_ext(stem_of(46), 4));
    const auto n47 = names_of(stem_of(47));
    EXPECT_EQ(n47, with_ext(stem_of(47), 3));
    EXPECT_EQ(n47[3], n47[5]);  // .OR for both .ORS and .ORP
    EXPECT_EQ(names_of(stem_of(48)), with_ext(stem_of(48), 2));
    const auto n49 = names_of(stem_of(49));
    for (const auto& n : n49) EXPECT_EQ(n, stem_of(49) + ".");
    const auto n50 = names_of(stem_of(50));
    for (const auto& n : n50) EXPECT_EQ(n, stem_of(50));
}

// -------------------------------------------------------- command line ---

using job::CommandLine;
using job::parse_command_line;

struct Parsed {
    std::vector<std::string> args;
    CommandLine::Action action;
    std::string job;      // for Action::job
    std::string problem;  // a part of the problem text, for Action::usage_error
};

std::ostream& operator<<(std::ostream& os, const Parsed& p) {
    os << "seqord";
    for (const auto& a : p.args) os << " [" << a << "]";
    return os;
}

class CommandLines : public ::testing::TestWithParam<Parsed> {};

TEST_P(CommandLines, AreReadAsIntended) {
    const Parsed& p = GetParam();
    std::vector<const char*> argv = {"seqord"};
    for (const auto& a : p.args) argv.push_back(a.c_str());
    const CommandLine cl = parse_command_line(static_cast<int>(argv.size()), argv.data());
    EXPECT_EQ(cl.action, p.action);
    if (p.action == CommandLine::Action::job) {
        EXPECT_EQ(cl.job, p.job);
    }
    if (p.action == CommandLine::Action::usage_error) {
        EXPECT_TRUE(contains(cl.problem, p.problem)) << cl.problem;
    }
}

using A = CommandLine::Action;
INSTANTIATE_TEST_SUITE_P(
    Forms, CommandLines,
    ::testing::Values(Parsed{{}, A::dialogue, "", ""}, Parsed{{"TRIAL"}, A::job, "TRIAL", ""},
                      Parsed{{"dir/my job "}, A::job, "dir/my job ", ""}, Parsed{{""}, A::job, "", ""},
                      Parsed{{"-"}, A::job, "-", ""}, Parsed{{"--", "-odd"}, A::job, "-odd", ""},
                      Parsed{{"--", "--help"}, A::job, "--help", ""}, Parsed{{"--help"}, A::help, "", ""},
                      Parsed{{"-h"}, A::help, "", ""}, Parsed{{"TRIAL", "--help"}, A::help, "", ""},
                      Parsed{{"--version"}, A::version, "", ""}, Parsed{{"-V"}, A::version, "", ""},
                      Parsed{{"--frobnicate"}, A::usage_error, "", "unknown option '--frobnicate'"},
                      Parsed{{"-y"}, A::usage_error, "", "'-y'"},
                      Parsed{{"TRIAL", "-x"}, A::usage_error, "", "'-x'"},
                      Parsed{{"A", "B"}, A::usage_error, "", "'A' and 'B'"},
                      Parsed{{"--", "A", "B"}, A::usage_error, "", "more than one"},
                      Parsed{{"JOB\nX"}, A::usage_error, "", "line break"}));

// The job name on the command line gives the run that the dialogue gives,
// file for file, with the console log the same but for the prompts.
TEST(CommandLine, JobNameRunsAsIfItHadBeenTyped) {
    const fs::path input = data_dir() / "golden" / "small_001" / "input";
    TempDir typed, given;
    for (const TempDir* d : {&typed, &given})
        for (const char* e : {"JOB.EMA", "JOB.NAQ"}) fs::copy_file(input / e, d->path() / e);
    const RunResult t = run_program(typed.path(), "y\nJOB\n");
    // Nothing on the console input: the dialogue would stop at its first read.
    const RunResult g = run_program(given.path(), "", {"JOB"});
    ASSERT_EQ(t.status, 0) << t.err;
    EXPECT_EQ(g.status, 0) << g.err;
    EXPECT_EQ(g.err, "");
    ASSERT_TRUE(starts_with(t.out, kQuestion + kJobLine));
    EXPECT_EQ(g.out, t.out.substr(kQuestion.size() + kJobLine.size()));
    EXPECT_EQ(listing(given.path()), stem_files("JOB"));
    for (const char* e : {".SOR", ".ORS", ".POR", ".ORP"}) {
        const std::string f = "JOB" + std::string(e);
        EXPECT_EQ(read_file(given / f), read_file(typed / f)) << f;
    }
}

TEST(CommandLine, JobNameAfterDoubleDashMayBeginWithADash) {
    TempDir dir;
    write_small_set(dir / "-T.EMA", dir / "-T.NAQ");
    const RunResult r = run_program(dir.path(), "", {"--", "-T"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(listing(dir.path()), stem_files("-T"));
}

TEST(CommandLine, MissingMainInputIsReportedAsInTheDialogue) {
    TempDir dir;
    const RunResult typed = run_program(dir.path(), "y\nNOPE\n");
    const RunResult given = run_program(dir.path(), "", {"NOPE"});
    EXPECT_EQ(given.status, 1);
    EXPECT_EQ(given.status, typed.status);
    EXPECT_EQ(given.err, typed.err);
    EXPECT_TRUE(contains(given.err, "NOPE.EMA")) << given.err;
    EXPECT_TRUE(listing(dir.path()).empty());
}

// The main input named instead of the job runs the job, unless a job of the
// whole name exists; with neither there, the whole name is the job.
TEST(CommandLine, TheMainInputNamedForItsJobRunsThatJob) {
    const struct Case {
        std::vector<std::string> sets;  // jobs whose .EMA and .NAQ are there
        std::string arg;
        std::string job;  // the job run ("" : none, the main input is missing)
    } cases[] = {
        {{"JOB"}, "JOB.EMA", "JOB"},
        {{"JOB", "JOB.EMA"}, "JOB.EMA", "JOB.EMA"},
        {{"sub/JOB"}, "sub/JOB.EMA", "sub/JOB"},
        {{}, "NOPE.EMA", ""},
        {{"JOB"}, "JOB.ema", ""},
    };
    for (const Case& c : cases) {
        TempDir dir;
        fs::create_directory(dir / "sub");
        for (const std::string& j : c.sets) write_small_set(dir / (j + ".EMA"), dir / (j + ".NAQ"));
        const RunResult r = run_program(dir.path(), "", {c.arg});
        if (c.job.empty()) {
            EXPECT_EQ(r.status, 1) << c.arg;
            EXPECT_TRUE(contains(r.err, c.arg + ".EMA")) << c.arg << ": " << r.err;
            continue;
        }
        EXPECT_EQ(r.status, 0) << c.arg << ": " << r.err;
        for (const char* e : {".SOR", ".ORS", ".POR", ".ORP"})
            EXPECT_TRUE(test::exists(dir / (c.job + e))) << c.arg << ": " << c.job << e;
    }
}

// A year whose dissimilarities no set of points has (one pair of locations
// far apart, both close to the rest) is not Euclidean: seqord says so on
// standard error, naming the year; its files and console are those of the
// same run without the warning.  The known runs, Euclidean, give none.
TEST(YearLoop, ANonEuclideanYearIsWarnedOnStandardErrorOnly) {
    const fs::path input = data_dir() / "golden" / "small_001" / "input";
    std::string ema = read_file(input / "JOB.EMA");
    const std::string row = "     2 YANKATER       74592273+0  0.00000000E+00";
    ASSERT_NE(ema.find(row), std::string::npos);
    ema.replace(ema.find(row), row.size(), "     2 YANKATER   0.80000000E+02  0.00000000E+00");
    TempDir dir;
    write_file(dir / "JOB.EMA", ema);
    fs::copy_file(input / "JOB.NAQ", dir / "JOB.NAQ");
    const RunResult r = run_program(dir.path(), "", {"JOB"});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string want = "seqord: warning: year 1 (1997): its matrix is not Euclidean: 1 negative eigenvalue, the "
                             "most negative -29.32, 73.28% of the largest (40.01); its scores show only";
    ASSERT_TRUE(starts_with(r.err, want)) << r.err;
    EXPECT_EQ(lines(r.err).size(), 1u) << r.err;  // the other years are as they were
    EXPECT_FALSE(contains(r.out, "Euclidean"));
    EXPECT_FALSE(contains(read_file(dir / "JOB.SOR"), "Euclidean"));

    for (const char* name : {"small_001", "small_002", "small_003", "edge_base", "edge_axes_gt_10", "edge_nl_10_11_12",
                             "edge_year_missing"}) {
        TempDir d;
        for (const char* e : {"JOB.EMA", "JOB.NAQ"}) fs::copy_file(data_dir() / "golden" / name / "input" / e, d / e);
        const RunResult k = run_program(d.path(), "", {"JOB"});
        EXPECT_EQ(k.status, 0) << name;
        EXPECT_EQ(k.err, "") << name;
    }
}

// A job name whose file names could not hold it whole is refused: from 47
// characters on the extensions would be cut into one another, and past 50
// the name itself would be cut into another job's name.
TEST(CommandLine, LongJobNamesAreRefusedBeforeAnythingIsOpened) {
    for (const std::string& stem : {stem_of(47), stem_of(60), "JOB" + std::string(45, ' ') + "X"}) {
        TempDir dir;
        const std::size_t n = stem.size();
        write_small_set(dir / (stem.substr(0, 46) + ".EMA"), dir / (stem.substr(0, 46) + ".NAQ"));
        // The job that the name cut at 50 characters would run.
        write_small_set(dir / "JOB.EMA", dir / "JOB.NAQ");
        const auto before = listing(dir.path());
        const RunResult r = run_program(dir.path(), "", {stem});
        EXPECT_EQ(r.status, 2) << n << ": " << r.err;
        EXPECT_TRUE(starts_with(r.err, "seqord: error: ")) << r.err;
        EXPECT_TRUE(contains(r.err, "has " + std::to_string(n) + " characters; a job name has at most 46")) << r.err;
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(listing(dir.path()), before);
    }
}

TEST(CommandLine, UsageErrorsSayWhatIsWrongAndRunNothing) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--frobnicate"}, {"JOB", "OTHER"}, {"-q", "JOB"}}) {
        TempDir dir;
        write_small_set(dir / "JOB.EMA", dir / "JOB.NAQ");
        const RunResult r = run_program(dir.path(), "y\nJOB\n", args);
        EXPECT_EQ(r.status, 2) << args[0];
        EXPECT_EQ(r.out, "");
        EXPECT_TRUE(starts_with(r.err, "seqord: error: ")) << r.err;
        EXPECT_TRUE(contains(r.err, "\nusage: seqord [JOB]")) << r.err;
        EXPECT_TRUE(contains(r.err, "--help")) << r.err;
        EXPECT_EQ(listing(dir.path()), (std::set<std::string>{"JOB.EMA", "JOB.NAQ"}));
    }
}

TEST(CommandLine, HelpAndVersionAnswerAndEnd) {
    TempDir dir;
    const RunResult help = run_program(dir.path(), "y\nJOB\n", {"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.err, "");
    EXPECT_TRUE(starts_with(help.out, "usage: seqord [JOB]\n")) << help.out;
    for (const char* part : {"JOB.EMA", "JOB.NAQ", "JOB.SOR", "JOB.ORS", "JOB.POR", "JOB.ORP", "--version",
                             "Exit status"})
        EXPECT_TRUE(contains(help.out, part)) << part;
    EXPECT_EQ(help.out.back(), '\n');

    const RunResult version = run_program(dir.path(), "", {"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.err, "");
    ASSERT_TRUE(starts_with(version.out, "seqord ")) << version.out;
    const std::string number = version.out.substr(7);
    EXPECT_TRUE(number.size() >= 4 && number.back() == '\n' && number.find_first_not_of("0123456789.\n") ==
                                                                   std::string::npos)
        << version.out;
    EXPECT_TRUE(listing(dir.path()).empty());
}

TEST(CommandLine, HelpThatCannotBeWrittenIsAFailure) {
    const int full = ::open("/dev/full", O_WRONLY);
    ASSERT_GE(full, 0);
    const char* argv[] = {"seqord", "--help"};
    EXPECT_EQ(job::main(2, argv, 0, full, 2), 1);
    ::close(full);
}

}  // namespace
}  // namespace seqord::test
