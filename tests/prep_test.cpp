// seqord-prep, run as the user runs it: hand-checked jobs, the order of the
// rows, the real barley tables, every refusal (with nothing written), and
// the chain on to seqord and seqord-plot.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "support.h"

namespace seqord::test {
namespace {

namespace fs = std::filesystem;

const fs::path kExamples = data_dir().parent_path().parent_path() / "examples";

// Writes `table` as t.csv in `dir` and runs seqord-prep with `args`.
RunResult prep(const TempDir& dir, const std::string& table, const std::vector<std::string>& args) {
    write_file(dir / "t.csv", table);
    return run_command(dir.path(), SEQORD_PREP_EXE, args);
}

std::set<std::string> files_in(const fs::path& dir) {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.insert(e.path().filename().string());
    return names;
}

// The E16.8 values of a .EMA's matrix rows, in order.
std::vector<double> matrix_values(const std::string& ema) {
    std::vector<double> v;
    std::istringstream in(ema);
    std::string line;
    for (int k = 0; std::getline(in, line); ++k) {
        if (k < 3 || line.size() < 33) continue;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        for (std::size_t at = 16; at + 16 <= line.size(); at += 16) v.push_back(std::stod(line.substr(at, 16)));
    }
    return v;
}

// Two years by hand (see proximity_test.cpp for the arithmetic): in 2001
// Delta's g1 is the mean of two replicates, 0 and 2, and its g5 is missing;
// the standardised SED of Alpha and Delta is 0.4 in 2001 and 0.8 in 2002.
const std::string kHand =
    "year,location,genotype,yield,plot\n"
    "2001,Alpha,g1,1,1\n2001,Alpha,g2,2,2\n2001,Alpha,g3,3,3\n2001,Alpha,g4,4,4\n"
    "2001,Delta,g1,0,5\n2001,Delta,g1,2,6\n2001,Delta,g2,3,7\n2001,Delta,g3,2,8\n2001,Delta,g4,4,9\n"
    "2001,Delta,g5,NA,10\n"
    "2002,Alpha,g1,1,1\n2002,Alpha,g2,2,2\n2002,Alpha,g3,3,3\n2002,Alpha,g4,4,4\n2002,Alpha,g5,5,5\n"
    "2002,Delta,g1,3,6\n2002,Delta,g2,1,7\n2002,Delta,g3,2,8\n2002,Delta,g4,5,9\n2002,Delta,g5,4,10\n";

std::string hand_ema(const std::string& options, const std::string& second_year) {
    return crlf("     2     2     5     1     2\nHand\n" + options +
                "\n     1    2001    \n     2\n  1  1\n     1 Alpha      0.00000000E+00\n"
                "     2 Delta      0.40000001E+00  0.00000000E+00\n"
                "     2    2002    \n     2\n  1  1\n     1 Alpha      0.00000000E+00\n"
                "     2 Delta      " +
                second_year + "  0.00000000E+00\n");
}

TEST(Prep, AHandCheckedJobCumulativeAndPerYear) {
    TempDir dir;
    RunResult r = prep(dir, kHand, {"--title", "Hand", "t.csv", "JOB"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(read_file(dir / "JOB.EMA"), hand_ema("     U     S     S     N", "0.60000002E+00"));
    EXPECT_EQ(read_file(dir / "JOB.NAQ"), crlf("NAMES: Hand\n     2     2     5\n2001    \n2002    \nAlpha   \nDelta   \n"));
    EXPECT_NE(r.out.find("read t.csv: 20 rows, 1 missing value skipped, 2 rows averaged into 1 mean\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("2 years, 2 locations, 5 genotypes; SED, standardised, cumulative\n"), std::string::npos);
    EXPECT_NE(r.out.find("  year 2002: 2 of 2 locations retained\n"), std::string::npos);
    EXPECT_NE(r.out.find("wrote JOB.EMA, JOB.NAQ and JOB.names.csv\n"), std::string::npos);
    EXPECT_EQ(read_file(dir / "JOB.names.csv"),
              crlf("kind,index,name,value\nyear,1,2001,2001\nyear,2,2002,2002\nlocation,1,Alpha,Alpha\n"
                   "location,2,Delta,Delta\nsetting,,measure,sed\nsetting,,sed,standardised\n"
                   "setting,,cor_average,normal\nsetting,,weighting,equal\nsetting,,years,cumulative\n"
                   "setting,,min_common,3\nsetting,,scale,1\nsetting,,title,Hand\n"));

    r = run_command(dir.path(), SEQORD_PREP_EXE, {"--per-year", "--force", "--title=Hand", "t.csv", "JOB"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(read_file(dir / "JOB.EMA"), hand_ema("     U     S     S     N", "0.80000001E+00"));
    // Weighted by the genotypes in common, 4 and 5: (4 0.4 + 5 0.8) / 9.
    r = run_command(dir.path(), SEQORD_PREP_EXE, {"--weighted", "--force", "--title=Hand", "t.csv", "JOB"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(read_file(dir / "JOB.EMA"), hand_ema("     W     S     S     N", "0.62222224E+00"));
    // The correlations 0.8 and 0.6 averaged through z: 1 - 5/7.
    r = run_command(dir.path(), SEQORD_PREP_EXE,
                    {"--measure", "cor", "--cor-average", "z", "--force", "--title=Hand", "t.csv", "JOB"});
    ASSERT_EQ(r.status, 0) << r.err;
    std::string ema = read_file(dir / "JOB.EMA");
    EXPECT_NE(ema.find("\r\n     U     C     S     Z\r\n"), std::string::npos);
    EXPECT_EQ(matrix_values(ema), (std::vector<double>{0, 0.2, 0, 0, 0.28571430, 0}));
    // Options that do not apply to the measure keep its letters and say so.
    r = run_command(dir.path(), SEQORD_PREP_EXE, {"--measure=cor", "--sed", "centred", "--force", "t.csv", "JOB"});
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "seqord-prep: note: --sed has no effect with --measure cor\n");
    ema = read_file(dir / "JOB.EMA");
    EXPECT_NE(ema.find("\r\nt.csv: COR, normal average, cumulative\r\n     U     C     S     N\r\n"), std::string::npos);
    r = run_command(dir.path(), SEQORD_PREP_EXE, {"--sed", "centered", "--force", "t.csv", "JOB"});
    ASSERT_EQ(r.status, 0);
    EXPECT_NE(read_file(dir / "JOB.EMA").find("\r\n     U     S     C     N\r\n"), std::string::npos);
}

TEST(Prep, OtherSeparatorsColumnNamesAndLineEndsGiveTheSameJob) {
    TempDir dir;
    ASSERT_EQ(prep(dir, kHand, {"--title", "Hand", "t.csv", "A"}).status, 0);
    const std::string want = read_file(dir / "A.EMA");
    // Tabs; semicolons with decimal commas; CR LF, a byte-order mark, quoted
    // fields and blank lines; other column names in another order and case.
    std::string tabs, semis, quoted = "\xEF\xBB\xBF", renamed = " Value ,GEN,Site,season\n";
    std::istringstream in(kHand);
    std::string line;
    for (int k = 0; std::getline(in, line); ++k) {
        std::string t = line, s = line;
        std::replace(t.begin(), t.end(), ',', '\t');
        std::replace(s.begin(), s.end(), ',', ';');
        tabs += t + "\n";
        semis += s + "\n";
        quoted += '"';
        quoted += line.substr(0, 4);
        quoted += '"';
        quoted += line.substr(4);
        quoted += "\r\n\r\n";
        if (k == 0) continue;
        std::vector<std::string> f;
        std::istringstream fields(line);
        for (std::string x; std::getline(fields, x, ',');) f.push_back(x);
        renamed += f[3] + "," + f[2] + "," + f[1] + "," + f[0] + "\n";
    }
    semis.replace(semis.find(";Delta;g1;2;"), 12, ";Delta;g1;2,0;");
    const struct {
        const char* name;
        std::string text;
        std::vector<std::string> extra;
    } cases[] = {{"tabs", tabs, {}},
                 {"semicolons", semis, {}},
                 {"quoted", quoted, {}},
                 {"renamed", renamed, {"--value", "value", "--genotype", "gen", "--location", "site", "--year=season"}}};
    for (const auto& c : cases) {
        std::vector<std::string> args = c.extra;
        for (const char* a : {"--title", "Hand", "t.csv", "B", "--force"}) args.push_back(a);
        const RunResult r = prep(dir, c.text, args);
        EXPECT_EQ(r.status, 0) << c.name << ": " << r.err;
        EXPECT_EQ(read_file(dir / "B.EMA"), want) << c.name;
    }
}

// The rows of a table file, header first.
std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> v;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) v.push_back(l);
    return v;
}

TEST(Prep, TheOrderOfTheRowsChangesNothing) {
    // The unbalanced 1918-1941 table with replicates added to some cells,
    // against the same rows shuffled.
    std::vector<std::string> rows = lines_of(read_file(data_dir() / "prep" / "yields_1918_1941.csv"));
    ASSERT_GT(rows.size(), 1000u);
    const std::string header = rows.front();
    rows.erase(rows.begin());
    const std::size_t n = rows.size();
    for (std::size_t i = 0; i < n; i += 7) {
        const std::string cell = rows[i].substr(0, rows[i].rfind(',') + 1);
        for (const char* v : {"10.1", "20.7", "33.3", "0.1"}) rows.push_back(cell + v);
    }
    std::string in_order = header + "\n";
    for (const std::string& r : rows) in_order += r + "\n";
    std::mt19937 rng(12345);
    std::shuffle(rows.begin(), rows.end(), rng);
    std::string shuffled = header + "\n";
    for (const std::string& r : rows) shuffled += r + "\n";

    TempDir dir;
    for (const char* measure : {"sed", "cor"}) {
        const RunResult a = prep(dir, in_order, {"--value", "value", "--measure", measure, "--weighted", "--force",
                                                 "--title", "T", "t.csv", "A"});
        ASSERT_EQ(a.status, 0) << a.err;
        EXPECT_NE(a.out.find(std::to_string(5 * ((n + 6) / 7)) + " rows averaged into " +
                             std::to_string((n + 6) / 7) + " means"),
                  std::string::npos)
            << a.out;
        const RunResult b = prep(dir, shuffled, {"--value", "value", "--measure", measure, "--weighted", "--force",
                                                 "--title", "T", "t.csv", "B"});
        ASSERT_EQ(b.status, 0) << b.err;
        EXPECT_EQ(read_file(dir / "A.EMA"), read_file(dir / "B.EMA")) << measure;
        EXPECT_EQ(read_file(dir / "A.NAQ"), read_file(dir / "B.NAQ")) << measure;
    }
}

// Jobs stored under tests/data/prep/expected/, made before the table reader
// was rewritten for speed: the reader must give them byte for byte, also
// with the rows shuffled.  replicates.csv (bench/prep_table.py --years 5
// --locations 9 --genotypes 12 --reps 3 --seed 7 --messy) has three
// replicates a cell, missing values and numbers written in every common
// form.  sparse.csv (3 years, 3 locations, two replicates, rows shuffled)
// has 280 genotypes of its own each year, 840 in all, so that most cells
// of a year and location are found by hashing rather than by number.
TEST(Prep, JobsAreByteForByteTheStoredOnes) {
    struct Case {
        const char* table;  // under tests/data/prep, or examples/barley.csv
        const char* job;    // under tests/data/prep/expected
        std::vector<std::string> args;
    };
    const Case cases[] = {
        {"barley", "barley-default", {"--value", "value", "--title", "barley default"}},
        {"barley", "barley-cor", {"--value", "value", "--measure", "cor", "--cor-average", "z", "--weighted",
                                  "--title", "barley cor z weighted"}},
        {"barley", "barley-centred", {"--value", "value", "--per-year", "--sed", "centred", "--title",
                                      "barley centred"}},
        {"yields_1918_1941.csv", "yields-weighted", {"--value", "value", "--weighted", "--title", "1918-1941"}},
        {"replicates.csv", "replicates-default", {"--value", "yield", "--title", "replicates"}},
        {"replicates.csv", "replicates-cor", {"--value", "yield", "--measure", "cor", "--per-year", "--min-common",
                                              "4", "--title", "replicates cor"}},
        {"sparse.csv", "sparse-weighted", {"--value", "yield", "--weighted", "--title", "sparse"}},
    };
    const fs::path expected = data_dir() / "prep" / "expected";
    for (const Case& c : cases) {
        const std::string table = read_file(std::string(c.table) == "barley" ? kExamples / "barley.csv"
                                                                             : data_dir() / "prep" / c.table);
        std::vector<std::string> rows = lines_of(table);
        const std::string header = rows.front();
        rows.erase(rows.begin());
        std::mt19937 rng(7);
        std::shuffle(rows.begin(), rows.end(), rng);
        std::string shuffled = header + "\n";
        for (const std::string& r : rows) shuffled += r + "\n";
        for (const std::string* text : {&table, static_cast<const std::string*>(&shuffled)}) {
            SCOPED_TRACE(std::string(c.job) + (text == &table ? "" : ", shuffled"));
            TempDir dir;
            std::vector<std::string> args = c.args;
            args.insert(args.end(), {"t.csv", "JOB"});
            const RunResult r = prep(dir, *text, args);
            ASSERT_EQ(r.status, 0) << r.err;
            EXPECT_EQ(read_file(dir / "JOB.EMA"), read_file(expected / (std::string(c.job) + ".EMA")));
            EXPECT_EQ(read_file(dir / "JOB.NAQ"), read_file(expected / (std::string(c.job) + ".NAQ")));
        }
    }
}

TEST(Prep, StandardisedSedIsTwiceOneMinusTheCorrelationOnTheBarleyTable) {
    TempDir dir;
    fs::copy_file(kExamples / "barley.csv", dir / "barley.csv");
    for (const char* mode : {"--per-year", "--weighted"}) {
        const RunResult s = run_command(dir.path(), SEQORD_PREP_EXE, {"--value", "value", mode, "--force", "barley.csv", "S"});
        const RunResult c = run_command(dir.path(), SEQORD_PREP_EXE,
                                        {"--value", "value", mode, "--measure", "cor", "--force", "barley.csv", "C"});
        ASSERT_EQ(s.status, 0) << s.err;
        ASSERT_EQ(c.status, 0) << c.err;
        const std::vector<double> sed = matrix_values(read_file(dir / "S.EMA"));
        const std::vector<double> cor = matrix_values(read_file(dir / "C.EMA"));
        ASSERT_EQ(sed.size(), cor.size());
        // 12 years of 6 stations, 5 in 1928, 1933 and 1934: 21 values a full year.
        ASSERT_EQ(sed.size(), 9u * 21 + 3u * 15);
        double largest = 0;
        for (std::size_t i = 0; i < sed.size(); ++i) {
            EXPECT_NEAR(sed[i], 2 * cor[i], 1e-6) << mode << " value " << i;
            largest = std::max(largest, sed[i]);
        }
        EXPECT_GT(largest, 2.0) << "some stations rank the varieties in opposite ways";
    }
}

TEST(Prep, TheUnbalancedTableCumulativeAndPerYear) {
    TempDir dir;
    fs::copy_file(data_dir() / "prep" / "yields_1918_1941.csv", dir / "y.csv");
    RunResult r = run_command(dir.path(), SEQORD_PREP_EXE, {"--value", "value", "y.csv", "JOB"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "seqord-prep: note: location Crookston -> Crooksto\n"
                     "seqord-prep: note: location GrandRapids -> GrandRap\n");
    EXPECT_NE(r.out.find("24 years, 6 locations, 63 genotypes"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("  year 1918: 4 of 6 locations retained\n"), std::string::npos);
    const std::string ema = read_file(dir / "JOB.EMA");
    EXPECT_EQ(ema.substr(0, 32), "    24     6    63     1    24\r\n");
    // 1918: Crookston and Duluth have no data.
    EXPECT_NE(ema.find("\r\n     1    1918    \r\n     4\r\n  0  0  1  1  1  1\r\n     1 GrandRap   0.00000000E+00\r\n"),
              std::string::npos);
    const RunResult run = run_job(dir.path());
    EXPECT_EQ(run.status, 0);
    // Stations that share few varieties make matrices that are not Euclidean:
    // seqord says so for 1918 and 1919, on standard error only.
    const auto warned = lines(run.err);
    ASSERT_EQ(warned.size(), 2u) << run.err;
    EXPECT_TRUE(starts_with(warned[0], "seqord: warning: year 1 (1918): its matrix is not Euclidean: 1 negative eigenvalue"))
        << warned[0];
    EXPECT_TRUE(starts_with(warned[1], "seqord: warning: year 2 (1919): its matrix is not Euclidean: ")) << warned[1];

    // Year by year, 1922 has stations that share two varieties.
    r = run_command(dir.path(), SEQORD_PREP_EXE, {"--value", "value", "--per-year", "y.csv", "PER"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("seqord-prep: error: y.csv: locations GrandRapids and StPaul, both retained in 1922, have no "
                         "year 1922 that gives them a proximity: they share at most 2 genotypes, fewer than "
                         "--min-common 3; give --min-common 2, or leave one of them out of 1922 in the table"),
              std::string::npos)
        << r.err;
    EXPECT_FALSE(seqord::test::exists(dir / "PER.EMA"));
    r = run_command(dir.path(), SEQORD_PREP_EXE, {"--value", "value", "--per-year", "--min-common", "2", "y.csv", "PER"});
    EXPECT_EQ(r.status, 0) << r.err;
}

TEST(Prep, AYearWithoutRetainedLocationsHasNoBlock) {
    // 2003 has two means at Alpha and none at Delta: no location is retained.
    TempDir dir;
    const RunResult r = prep(dir, kHand + "2003,Alpha,g1,1\n2003,Alpha,g2,2\n", {"--title", "Hand", "t.csv", "JOB"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("  year 2003: 0 of 2 locations retained\n"), std::string::npos) << r.out;
    const std::string ema = read_file(dir / "JOB.EMA");
    const std::string two_years = hand_ema("     U     S     S     N", "0.60000002E+00");
    EXPECT_EQ(ema, "     3" + two_years.substr(6, 18) + "     3" + two_years.substr(30));
    EXPECT_NE(read_file(dir / "JOB.NAQ").find("\r\n2002    \r\n2003    \r\nAlpha   \r\n"), std::string::npos);
    // seqord shows it as a year without data.
    const RunResult s = run_job(dir.path());
    EXPECT_EQ(s.status, 0);
    EXPECT_NE(read_file(dir / "JOB.ORP").find("   3 2003    \r\n ev as % of SS   0.000   0.000   0.000   0.000\r\n"),
              std::string::npos);
}

TEST(Prep, ConstantLocationsAreWarnedAbout) {
    // K has 5 for every variety in 2002: no correlation with it that year.
    const std::string table = "year,location,genotype,yield\n"
                              "2001,A,g1,1\n2001,A,g2,2\n2001,A,g3,4\n2001,K,g1,3\n2001,K,g2,1\n2001,K,g3,2\n"
                              "2002,A,g1,1\n2002,A,g2,2\n2002,A,g3,4\n2002,K,g1,5\n2002,K,g2,5\n2002,K,g3,5\n";
    TempDir dir;
    RunResult r = prep(dir, table, {"t.csv", "JOB"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "seqord-prep: warning: t.csv: location K has the same value for every genotype it shares with "
                     "another location in 2002: that year gives those pairs no proximity\n");
    const std::vector<double> v = matrix_values(read_file(dir / "JOB.EMA"));
    ASSERT_EQ(v.size(), 6u);
    EXPECT_EQ(v[1], v[4]) << "2002 keeps the value of 2001";
    r = prep(dir, table, {"--per-year", "--force", "t.csv", "JOB"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("locations A and K, both retained in 2002, have no year 2002 that gives them a proximity: "
                         "where they share 3 or more genotypes, one has the same value for all of them"),
              std::string::npos)
        << r.err;
    // Centred, K is no obstacle.
    r = prep(dir, table, {"--per-year", "--sed", "centred", "--force", "t.csv", "JOB"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
}

TEST(Prep, NamesCutRenamedAndRefused) {
    const std::string table = "year,location,genotype,yield\n"
                              "2001,GrandRapids1,a,1\n2001,GrandRapids1,b,2\n2001,GrandRapids1,c,4\n"
                              "2001,GrandRapids2,a,3\n2001,GrandRapids2,b,1\n2001,GrandRapids2,c,2\n"
                              "2001,Saint-G\xC3\xA8nes,a,1\n2001,Saint-G\xC3\xA8nes,b,2\n2001,Saint-G\xC3\xA8nes,c,3\n";
    TempDir dir;
    RunResult r = prep(dir, table, {"t.csv", "JOB"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("seqord-prep: note: location GrandRapids1 -> GrandRap\n"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("seqord-prep: error: names that coincide in 8 characters: locations GrandRapids1 and "
                         "GrandRapids2 both become 'GrandRap'; name them by hand with --rename FILE"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(files_in(dir.path()), (std::set<std::string>{"t.csv"}));

    write_file(dir / "short.csv", "long,short\nGrandRapids2,GRapids2\nNowhere,N\n");
    r = run_command(dir.path(), SEQORD_PREP_EXE, {"--rename", "short.csv", "t.csv", "JOB"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("location GrandRapids2 -> GRapids2 (renamed)"), std::string::npos);
    EXPECT_NE(r.err.find("seqord-prep: warning: short.csv: no year or location is named 'Nowhere'"), std::string::npos);
    // The UTF-8 name is cut between characters: 7 bytes, not 8.
    EXPECT_NE(r.err.find("location Saint-G\xC3\xA8nes -> Saint-G\n"), std::string::npos) << r.err;
    EXPECT_EQ(read_file(dir / "JOB.NAQ").substr(read_file(dir / "JOB.NAQ").size() - 30),
              crlf("GrandRap\nGRapids2\nSaint-G \n"));

    write_file(dir / "short.csv", "GrandRapids2,TooLongAName\n");
    r = run_command(dir.path(), SEQORD_PREP_EXE, {"--rename", "short.csv", "--force", "t.csv", "JOB"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("short.csv, line 1: the short name 'TooLongAName' is longer than 8 bytes"), std::string::npos);
}

// 416 locations of three genotypes each: one more than seqord's Z area holds.
std::string too_big() {
    std::string t = "year,location,genotype,yield\n";
    for (int l = 0; l < 416; ++l)
        for (int g = 0; g < 3; ++g)
            t += "1,L" + std::to_string(l) + ",g" + std::to_string(g) + "," + std::to_string((l * 7 + g * g) % 5) + "\n";
    return t;
}

TEST(Prep, EveryBadTableIsRefusedWithItsPlaceAndNothingIsWritten) {
    const std::string head = "year,location,genotype,yield\n";
    const std::string ok = "2001,A,g1,1\n2001,A,g2,2\n2001,A,g3,3\n2001,B,g1,2\n2001,B,g2,1\n2001,B,g3,3\n";
    struct Case {
        const char* name;
        std::string table;
        std::vector<std::string> args;
        int status;
        std::string message;  // on standard error
    };
    const Case cases[] = {
        {"missing column", "year,site,genotype,yield\n1,A,g,1\n", {"t.csv", "JOB"}, 2,
         "seqord-prep: error: t.csv, line 1: no column is named 'location'; the columns are 'year', 'site', "
         "'genotype', 'yield'; --location COL names another\n"},
        {"two columns of one name", "year,location,genotype,yield,Yield\n1,A,g,1,2\n", {"t.csv", "JOB"}, 2,
         "t.csv, line 1: two columns are named 'yield' (columns 4 and 5)"},
        {"one column for two", head + ok, {"--location", "genotype", "t.csv", "JOB"}, 2,
         "t.csv, line 1: --location and --genotype name the same column, 'genotype'"},
        {"not a number", head + ok + "2001,C,g1,n/a\n", {"t.csv", "JOB"}, 2,
         "seqord-prep: error: t.csv, line 8, column yield: 'n/a' is not a number\n"},
        {"a long bad value is cut and escaped", head + "2001,A,g1,\"1\x1b[31m" + std::string(60, '9') + "\"\n",
         {"t.csv", "JOB"}, 2,
         "t.csv, line 2, column yield: '1\\x1b[31m" + std::string(34, '9') + "...' is not a number\n"},
        {"not a number under another name", "Year;Site;Gen;Value\n2001;A;g1;4,5,6\n",
         {"--location", "site", "--genotype", "gen", "--value", "value", "t.csv", "JOB"}, 2,
         "t.csv, line 2, column value: '4,5,6' is not a number"},
        {"empty location", head + ok + "2001, ,g1,1\n", {"t.csv", "JOB"}, 2,
         "t.csv, line 8, column location: the location is empty\n"},
        {"control character in a name", head + "2001,\"A\nB\",g1,1\n", {"t.csv", "JOB"}, 2,
         "t.csv, line 2, column location: the location 'A\\x0aB' holds a line break or another control character"},
        {"row too short", head + "2001,A\n", {"t.csv", "JOB"}, 2,
         "t.csv, line 2, column genotype: the row has 2 fields and ends before this column (column 3)"},
        {"row of one field", head + "2001\n", {"t.csv", "JOB"}, 2,
         "t.csv, line 2, column location: the row has 1 field and ends before this column (column 2)"},
        {"quote not closed", head + "2001,\"A,g1,1\n", {"t.csv", "JOB"}, 2,
         "t.csv, line 2: a quoted field is not closed before the end of the file"},
        {"line too long", head + "2001,A,g1," + std::string(1 << 20, '1') + "\n", {"t.csv", "JOB"}, 2,
         "t.csv, line 2: the line is longer than 1 MiB"},
        {"header only", head, {"t.csv", "JOB"}, 2, "seqord-prep: error: t.csv: the table has a header line but no rows\n"},
        {"empty file", "", {"t.csv", "JOB"}, 2, "t.csv: the file is empty: it has no header line"},
        {"every value missing", head + "2001,A,g1,NA\n2001,A,g2,\n2001,A,g3,.\n", {"t.csv", "JOB"}, 2,
         "t.csv: every value of column 'yield' is missing"},
        {"no location with enough means", head + "2001,A,g1,1\n2001,B,g2,1\n", {"t.csv", "JOB"}, 2,
         "t.csv: no location has 3 or more genotype means in any year (--min-common)"},
        {"no common genotypes", head + ok + "2001,C,g4,1\n2001,C,g5,2\n2001,C,g6,3\n", {"t.csv", "JOB"}, 2,
         "t.csv: locations A and C, both retained in 2001, have no year up to 2001 that gives them a proximity: they "
         "share at most 0 genotypes, fewer than --min-common 3; leave one of them out of 2001 in the table (and 1 "
         "more such pair)"},
        {"too big for seqord", too_big(), {"t.csv", "JOB"}, 2,
         "seqord-prep: error: t.csv, line 1247, column location: with 'L415', the table has 1 year and 416 "
         "locations, more than seqord's workspace holds (its Z area 350277 elements, 277 more than its 350000): it "
         "holds at most 415 locations in one year; split the table, for instance by groups of locations\n"},
        {"table missing", "", {"nowhere.csv", "JOB"}, 1, "seqord-prep: error: cannot read nowhere.csv: No such file or directory\n"},
        {"unknown option", head + ok, {"--bogus", "t.csv", "JOB"}, 2,
         "seqord-prep: error: unknown option '--bogus'\nusage: seqord-prep [options] TABLE JOB (seqord-prep --help for more)\n"},
        {"no job", head + ok, {"t.csv"}, 2, "seqord-prep: error: no job name given after the table t.csv\n"},
        {"bad measure", head + ok, {"--measure", "euclid", "t.csv", "JOB"}, 2, "--measure is sed or cor, not 'euclid'"},
        {"bad least number", head + ok, {"--min-common", "1", "t.csv", "JOB"}, 2,
         "--min-common is a whole number from 2 to 1000000, not '1'"},
        {"title with a line break", head + ok, {"--title", "a\nb", "t.csv", "JOB"}, 2,
         "the title holds a line break or another control character"},
        {"table name with a line break", head + ok, {"t\n.csv", "JOB"}, 2,
         "the table's name is empty or holds a control character"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const RunResult r = prep(dir, c.table, c.args);
        EXPECT_EQ(r.status, c.status);
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(files_in(dir.path()), (std::set<std::string>{"t.csv"}));
    }
}

// Three genotypes at each location of `year`, none of them constant.
std::string three(const std::string& year, const std::vector<std::string>& locations) {
    std::string t;
    int k = 0;
    for (const std::string& l : locations) {
        ++k;
        for (int g = 1; g <= 3; ++g)
            t += year + "," + l + ",g" + std::to_string(g) + "," + std::to_string(g * g + k * (g % 2)) + "\n";
    }
    return t;
}

// Tables a breeder's tools or a hostile hand may make: each is read as
// it means, or refused in one short line that names its place and what to
// do; nothing is written then.
TEST(PrepReading, HostileTablesAreReadOrRefusedInOneShortLine) {
    const std::string head = "year,location,genotype,yield\n";
    const std::string ok = "2001,A,g1,1\n2001,A,g2,2\n2001,A,g3,3\n2001,B,g1,2\n2001,B,g2,1\n2001,B,g3,3\n";
    std::string tabs = ok;
    std::replace(tabs.begin(), tabs.end(), ',', '\t');
    std::string mac = head + ok;
    std::replace(mac.begin(), mac.end(), '\n', '\r');
    std::string big_mac = head;
    while (big_mac.size() < (3u << 20)) big_mac += "2001,A,g1,1\r";
    const std::string cr = "a carriage return alone ends a line (old Mac line ends); save the table with LF or CR LF "
                           "line ends\n";
    struct Case {
        const char* name;
        std::string table;
        std::string message;  // the whole of standard error; empty: the table is read
    };
    const Case cases[] = {
        // The header is the first line that is not blank, and decides the separator.
        {"tab-separated after blank lines", "\n \n\t\nyear\tlocation\tgenotype\tyield\n" + tabs, ""},
        {"a header error names the header's line", "\r\n\nyear,site,genotype,yield\n" + ok,
         "t.csv, line 3: no column is named 'location'; the columns are 'year', 'site', 'genotype', 'yield'; "
         "--location COL names another\n"},
        {"carriage returns alone", mac, "t.csv, line 1: " + cr},
        {"carriage returns alone over 1 MiB", big_mac, "t.csv, line 2: " + cr},
        {"one carriage return alone", head + ok + "2001,C,g1,1\r2001,C,g2,2\n", "t.csv, line 8: " + cr},
        {"beyond double precision", head + ok + "2001,C,g1,1e999\n",
         "t.csv, line 8, column yield: '1e999' is out of range: numbers of magnitude 1e-308 to 1e308 are read\n"},
        {"too small to tell from zero", head + ok + "2001,C,g1,-1e-400\n",
         "t.csv, line 8, column yield: '-1e-400' is out of range: numbers of magnitude 1e-308 to 1e308 are read\n"},
        {"400 digits", head + ok + "2001,C,g1," + std::string(400, '7') + "\n",
         "t.csv, line 8, column yield: '" + std::string(40, '7') +
             "...' is out of range: numbers of magnitude 1e-308 to 1e308 are read\n"},
        {"two signs", head + ok + "2001,C,g1,+-5\n", "t.csv, line 8, column yield: '+-5' is not a number\n"},
        {"a name not UTF-8", head + ok + "2001,Gen\xE8ve,g1,1\n",
         "t.csv, line 8, column location: the location 'Gen\\xe8ve' is not UTF-8 text; save the table as UTF-8\n"},
        {"an overlong UTF-8 form", head + ok + "2001,C,g\xC0\xAF,1\n",
         "t.csv, line 8, column genotype: the genotype 'g\\xc0\\xaf' is not UTF-8 text; save the table as UTF-8\n"},
        {"a quoted field over 1 MiB", head + ok + "2001,\"C\n" + std::string(1 << 20, 'c') + "\",g1,1\n",
         "t.csv, line 8: a quoted field runs on past 1 MiB (is its closing quote missing?)\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const RunResult r = prep(dir, c.table, {"t.csv", "JOB"});
        if (c.message.empty()) {
            EXPECT_EQ(r.status, 0) << r.err;
            EXPECT_NE(r.out.find("1 year, 2 locations, 3 genotypes"), std::string::npos) << r.out;
            continue;
        }
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.err, "seqord-prep: error: " + c.message);
        EXPECT_EQ(files_in(dir.path()), (std::set<std::string>{"t.csv"}));
    }
}

// Counts are checked as each grows, so that a table too big for the job's
// files or for seqord's workspace is refused at the row that makes it so,
// before anything of its size is made, saying what fits.
TEST(PrepReading, CountsAreCheckedBeforeAnythingOfTheirSizeIsMade) {
    // Every year at every location, or (diagonal) year k at location k only.
    auto rows = [](int years, int locations, int genotypes, bool diagonal) {
        std::string t = "year,location,genotype,yield\n";
        for (int y = 0; y < years; ++y)
            for (int l = diagonal ? y : 0; l < (diagonal ? y + 1 : locations); ++l)
                for (int g = 0; g < genotypes; ++g)
                    t += std::to_string(2001 + y) + ",L" + std::to_string(l) + ",g" + std::to_string(g) + "," +
                         std::to_string((l * 7 + g % 5 + y) % 5) + "\n";
        return t;
    };
    struct Case {
        const char* name;
        std::string table;
        std::string message;
    };
    const Case cases[] = {
        {"30,000 years and locations", rows(30000, 30000, 1, true),
         "t.csv, line 101, column location: with 'L99', the table has 100 years and 100 locations, more than "
         "seqord's workspace holds (its MZ area 10101 elements, 101 more than its 10000): it holds at most 98 years "
         "at 100 locations (415 locations in one year); split the table, for instance by years\n"},
        {"33 years at 300 locations", rows(33, 300, 3, false),
         "t.csv, line 28802, column year: with '2033', the table has 33 years and 300 locations, more than seqord's "
         "workspace holds (its MZ area 10201 elements, 201 more than its 10000): it holds at most 32 years at 300 "
         "locations (415 locations in one year); split the table, for instance by years\n"},
        {"a million genotypes", rows(1, 1, 1000000, false),
         "t.csv, line 1000001, column genotype: with 'g999999', the table has 1000000 genotypes, more than the "
         "999999 that the run header of the job can hold\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        write_file(dir / "t.csv", c.table);
        // Within an address space far smaller than the 21 GB that making
        // the means of every year and location would take.
#if defined(__SANITIZE_ADDRESS__)
        const std::string limit;
#else
        const std::string limit = "ulimit -v 400000; ";
#endif
        const RunResult r = run_shell(dir.path(), limit + "exec '" + std::string(SEQORD_PREP_EXE) + "' t.csv JOB");
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.err, "seqord-prep: error: " + c.message);
        EXPECT_EQ(files_in(dir.path()), (std::set<std::string>{"t.csv"}));
    }
}

TEST(Prep, MessagesNameTheProgramTheFileAndTheCause) {
    const std::string head = "year,location,genotype,yield\n";
    const std::string ok = three("2001", {"A", "B"});
    const std::string long_job(47, 'j');
    struct Case {
        const char* name;
        std::string table;  // t.csv
        std::vector<std::string> args;
        int status;
        std::string message;       // in standard output or standard error
        std::string before = "";   // shell commands run first in the folder
        std::string limits = "";   // shell commands that set limits for the run
    };
    const Case cases[] = {
        // Counts of one.
        {"one genotype in common", head + ok + "2001,C,g1,1\n2001,C,g5,2\n2001,C,g6,3\n", {"t.csv", "JOB"}, 2,
         "they share at most 1 genotype, fewer than --min-common 3"},
        {"one location", head + three("2001", {"A"}), {"t.csv", "JOB"}, 0, "  year 2001: 1 of 1 location retained\n"},
        // Names that coincide: two, three, and through the rename file.
        {"two names coincide", head + three("2001", {"GrandRapids1", "GrandRapids2"}), {"t.csv", "JOB"}, 2,
         "locations GrandRapids1 and GrandRapids2 both become 'GrandRap'; name them by hand with --rename FILE"},
        {"three names coincide", head + three("2001", {"GrandRapids1", "GrandRapids2", "GrandRapids3"}),
         {"t.csv", "JOB"}, 2, "locations GrandRapids1, GrandRapids2 and GrandRapids3 all become 'GrandRap'; name"},
        {"the rename file makes the clash", head + three("2001", {"GrandRapids1", "Other"}),
         {"--rename", "r.csv", "t.csv", "JOB"}, 2,
         "seqord-prep: error: names that coincide in 8 characters: locations GrandRapids1 and Other both become "
         "'GrandRap'; the short names come from r.csv: give each its own short name there\n",
         "printf 'Other,GrandRap\\n' > r.csv"},
        // A write that fails: the program, the file and the system's reason
        // (files of at most 512 bytes; the .EMA of 12 locations is longer).
        {"a write that fails",
         head + three("2001", {"L1", "L2", "L3", "L4", "L5", "L6", "L7", "L8", "L9", "L10", "L11", "L12"}),
         {"t.csv", "JOB"}, 1, "seqord-prep: error: cannot write JOB.EMA: File too large\n", "", "ulimit -f 1"},
        // One number written in several ways; locations left out of a year.
        {"a year written two ways", head + ok + three("2001.0", {"A", "B"}), {"t.csv", "JOB"}, 0,
         "seqord-prep: warning: t.csv: years 2001 and 2001.0 are the same number written two ways: they are kept "
         "apart as different years; write them alike in the table to make them one\n"},
        {"a year written four ways",
         head + ok + three("+2001", {"A", "B"}) + three("02001", {"A", "B"}) + three("2001.0", {"A", "B"}),
         {"t.csv", "JOB"}, 0, "years +2001, 02001, 2001 and 2001.0 are the same number written in different ways"},
        {"locations left out of a year",
         head + ok + three("2002", {"A", "B"}) + "2002,C,g1,4\n2002,C,g2,5\n2002,D,g3,1\n", {"t.csv", "JOB"}, 0,
         "seqord-prep: warning: t.csv: left out of 2002 for fewer genotype means than --min-common 3: C (2) and D "
         "(1)\n"},
        // Job names seqord would not take as they are.
        {"a job name too long", head + ok, {"t.csv", long_job}, 2,
         "seqord-prep: error: the job name '" + std::string(40, 'j') +
             "...' has 47 characters; a job name has at most 46, so that each file name (at most 50 characters) "
             "holds it whole with its extension\n"},
        {"a job name too long with its folder", head + ok, {"t.csv", "runs/" + std::string(42, 'j')}, 2,
         "has 47 characters; a job name has at most 46"},
        {"a job name ending in a blank", head + ok, {"t.csv", "JOB "}, 2,
         "the job name 'JOB ' begins or ends with a blank, which seqord drops from a file name"},
        // An output that is an input.
        {"the job over its own table", head + ok, {"--force", "X.EMA", "X"}, 2,
         "seqord-prep: error: X.EMA is the table X.EMA itself (the same file): the job would be written over it; "
         "give another job name\n",
         "cp t.csv X.EMA"},
        {"the job over the rename file", head + ok, {"--force", "--rename", "J.NAQ", "t.csv", "J"}, 2,
         "J.NAQ is the --rename file J.NAQ itself (the same file)", "printf 'A,Alpha\\n' > J.NAQ"},
        {"the job over its table through a link", head + ok, {"--force", "t.csv", "J"}, 2,
         "J.EMA is the table t.csv itself (the same file)", "ln -s t.csv J.EMA"},
        {"the job over its table through a hard link", head + ok, {"--force", "./t.csv", "K"}, 2,
         "K.NAQ is the table ./t.csv itself (the same file)", "ln t.csv K.NAQ"},
        // --scale.
        {"scale zero", head + ok, {"--scale", "0", "t.csv", "JOB"}, 2,
         "seqord-prep: error: --scale is a positive number (1000, 0.001, 1e-3), not '0'\n"},
        {"scale negative", head + ok, {"--scale=-2", "t.csv", "JOB"}, 2, "not '-2'"},
        {"scale infinite", head + ok, {"--scale", "inf", "t.csv", "JOB"}, 2, "not 'inf'"},
        {"scale out of range", head + ok, {"--scale", "1e999", "t.csv", "JOB"}, 2, "not '1e999'"},
        {"scale not a number", head + ok, {"--scale", "nan", "t.csv", "JOB"}, 2, "not 'nan'"},
        {"scale with a unit", head + ok, {"--scale", "10kg", "t.csv", "JOB"}, 2, "not '10kg'"},
        {"centred SED beyond single precision", head + "2001,A,g1,1e30\n2001,A,g2,2e30\n2001,A,g3,3e30\n"
                                                       "2001,B,g1,3e30\n2001,B,g2,1e30\n2001,B,g3,2e30\n",
         {"--sed", "centred", "t.csv", "JOB"}, 2,
         "seqord-prep: error: t.csv: the centred SED of locations A and B in 2001 is 2e+60, more than the single "
         "precision of .EMA holds (3.4e+38); give --scale 1e-28 (the centred SED changes with the square of the "
         "factor)\n"},
        {"centred SED beyond double precision", head + "2001,A,g1,1e300\n2001,A,g2,2e300\n2001,A,g3,3e300\n"
                                                       "2001,B,g1,3e300\n2001,B,g2,1e300\n2001,B,g3,2e300\n",
         {"--sed", "centred", "--scale", "2", "t.csv", "JOB"}, 2,
         "the centred SED of locations A and B in 2001 is beyond double precision, more than the single precision "
         "of .EMA holds (3.4e+38); give --scale 2e-299 (the centred SED"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        write_file(dir / "t.csv", c.table);
        if (!c.before.empty()) {
            ASSERT_EQ(run_shell(dir.path(), "(" + c.before + ")").status, 0);
        }
        const std::set<std::string> before = files_in(dir.path());
        std::map<std::string, std::string> contents;
        for (const std::string& f : before) contents[f] = read_file(dir / f);
        std::string command = c.limits.empty() ? "" : c.limits + "; ";
        command += shell_quoted(SEQORD_PREP_EXE);
        for (const std::string& a : c.args) {
            command += ' ';
            command += shell_quoted(a);
        }
        const RunResult r = run_shell(dir.path(), command);
        EXPECT_EQ(r.status, c.status) << r.err;
        EXPECT_NE((r.out + r.err).find(c.message), std::string::npos) << r.out << r.err;
        for (const char* internal : {"severe", "unit ", "seqord:"}) EXPECT_EQ(r.err.find(internal), std::string::npos);
        if (c.status == 0) continue;
        EXPECT_EQ(files_in(dir.path()), before);
        for (const auto& [f, text] : contents) EXPECT_EQ(read_file(dir / f), text) << f;
    }
    // The job names refused are the ones seqord refuses, in its words.
    for (const std::string& job : {long_job, "runs/" + std::string(42, 'j')}) {
        TempDir dir;
        const RunResult s = run_command(dir.path(), SEQORD_EXE, {job});
        const RunResult p = prep(dir, "year,location,genotype,yield\n" + ok, {"t.csv", job});
        ASSERT_EQ(s.status, 2);
        ASSERT_EQ(p.status, 2);
        const std::string said = s.err.substr(0, s.err.find('\n'));
        ASSERT_EQ(said.rfind("seqord: error: ", 0), 0u) << s.err;
        EXPECT_EQ(p.err.substr(0, p.err.find('\n')), "seqord-prep: error: " + said.substr(15));
    }
}

TEST(Prep, ScaleKeepsTheEigenvaluesOfTheCentredSedPrintable) {
    // The barley yields in bushels per acre, multiplied by 100: the centred
    // SED of values in the thousands has eigenvalues near a million, and
    // their sum beyond.
    TempDir dir;
    fs::copy_file(kExamples / "barley.csv", dir / "barley.csv");
    const std::vector<std::string> centred = {"--value", "value", "--sed", "centred", "--force"};
    auto with = [&](std::vector<std::string> extra) {
        std::vector<std::string> args = centred;
        args.insert(args.end(), extra.begin(), extra.end());
        args.push_back("barley.csv");
        args.push_back("BIG");
        return run_command(dir.path(), SEQORD_PREP_EXE, args);
    };
    RunResult r = with({"--scale", "100"});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string marker = "would exceed 999999.999, which seqord prints as asterisks (F10.3); give --scale ";
    const std::size_t at = r.err.find(marker);
    ASSERT_NE(at, std::string::npos) << r.err;
    EXPECT_NE(r.err.find("seqord-prep: warning: the largest eigenvalue of years 1926, 1927, "), std::string::npos)
        << r.err;
    const std::string factor = r.err.substr(at + marker.size(), r.err.find(' ', at + marker.size()) - at - marker.size());
    EXPECT_NE(r.out.find("; SED, centred, cumulative, scale 100\n"), std::string::npos) << r.out;
    EXPECT_NE(read_file(dir / "BIG.EMA").find("\r\nbarley.csv: SED, centred, cumulative, scale 100\r\n"),
              std::string::npos);
    // The warning is true: seqord prints asterisks.
    RunResult s = run_command(dir.path(), SEQORD_EXE, {"BIG"});
    ASSERT_EQ(s.status, 0) << s.err;
    EXPECT_NE(read_file(dir / "BIG.ORS").find("**********"), std::string::npos);
    // The factor it names fits, and is not needlessly small.
    r = with({"--scale", factor});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err.find("warning"), std::string::npos) << r.err;
    s = run_command(dir.path(), SEQORD_EXE, {"BIG"});
    ASSERT_EQ(s.status, 0) << s.err;
    EXPECT_EQ(read_file(dir / "BIG.ORS").find('*'), std::string::npos);
    EXPECT_EQ(read_file(dir / "BIG.ORP").find('*'), std::string::npos);
    EXPECT_EQ(std::stod(factor), 10.0) << "a tenth of 100 fits";

    // The standardised SED does not depend on the unit: the same matrices,
    // with a note; the title says what was done.
    r = run_command(dir.path(), SEQORD_PREP_EXE, {"--value", "value", "--force", "barley.csv", "ONE"});
    ASSERT_EQ(r.status, 0) << r.err;
    r = run_command(dir.path(), SEQORD_PREP_EXE, {"--value", "value", "--scale", "1e250", "--force", "barley.csv", "HUGE"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err.rfind("seqord-prep: note: --scale leaves the standardised SED and COR as they are: they do not "
                          "depend on the unit of the values\n", 0), 0u) << r.err;
    EXPECT_EQ(r.err.find("warning"), std::string::npos) << r.err;
    EXPECT_EQ(matrix_values(read_file(dir / "HUGE.EMA")), matrix_values(read_file(dir / "ONE.EMA")));
}

TEST(Prep, ExistingFilesAreReplacedOnlyWithForce) {
    const std::string table = "year,location,genotype,yield\n1,A,a,1\n1,A,b,2\n1,A,c,3\n";
    for (const char* existing : {"JOB.EMA", "JOB.NAQ", "JOB.names.csv"}) {
        TempDir dir;
        write_file(dir / existing, "the only copy");
        RunResult r = prep(dir, table, {"t.csv", "JOB"});
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.err, std::string("seqord-prep: error: ") + existing + " exists already; give --force to replace it\n");
        EXPECT_EQ(read_file(dir / existing), "the only copy");
        EXPECT_EQ(files_in(dir.path()), (std::set<std::string>{"t.csv", existing}));
        r = prep(dir, table, {"--force", "t.csv", "JOB"});
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_NE(read_file(dir / existing), "the only copy");
        EXPECT_EQ(files_in(dir.path()), (std::set<std::string>{"t.csv", "JOB.EMA", "JOB.NAQ", "JOB.names.csv"}));
    }
    // A folder that cannot take the files: status 1, nothing left behind.
    TempDir dir;
    const RunResult r = prep(dir, table, {"t.csv", "missing/JOB"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("seqord-prep: error: cannot write missing/JOB.EMA: No such file or directory"), std::string::npos)
        << r.err;
}

TEST(Prep, HelpVersionAndAnOutputThatCannotBeWritten) {
    TempDir dir;
    RunResult r = run_command(dir.path(), SEQORD_PREP_EXE, {"--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("usage: seqord-prep [options] [--] TABLE JOB\n", 0), 0u) << r.out;
    EXPECT_EQ(r.err, "");
    r = run_command(dir.path(), SEQORD_PREP_EXE, {"-V"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("seqord-prep ", 0), 0u);
    std::string to_full = "(";
    to_full += shell_quoted(SEQORD_PREP_EXE);
    to_full += " --help > /dev/full)";
    r = run_shell(dir.path(), to_full);
    EXPECT_EQ(r.status, 1);
    r = run_into_closed_pipe(dir.path(), SEQORD_PREP_EXE, {"--version"});
    EXPECT_EQ(r.status, 1);
    // "--" ends the options: a table whose name begins with a dash.
    write_file(dir / "-t.csv", "year,location,genotype,yield\n1,A,a,1\n1,A,b,2\n1,A,c,3\n");
    r = run_command(dir.path(), SEQORD_PREP_EXE, {"--", "-t.csv", "JOB"});
    EXPECT_EQ(r.status, 0) << r.err;
}

TEST(Prep, TheReadmeChainFromTheBarleyTableToThePage) {
    TempDir dir;
    fs::copy_file(kExamples / "barley.csv", dir / "barley.csv");
    const RunResult p = run_command(dir.path(), SEQORD_PREP_EXE, {"--value", "value", "barley.csv", "BARLEY"});
    ASSERT_EQ(p.status, 0) << p.err;
    EXPECT_NE(p.out.find("12 years, 6 locations, 17 genotypes"), std::string::npos);
    EXPECT_NE(read_file(dir / "BARLEY.EMA").find("\r\nbarley.csv: SED, standardised, cumulative\r\n"), std::string::npos);
    const RunResult s = run_command(dir.path(), SEQORD_EXE, {"BARLEY"});
    ASSERT_EQ(s.status, 0) << s.err;
    EXPECT_EQ(s.err, "");
    const RunResult g = run_command(dir.path(), SEQORD_PLOT_EXE, {"BARLEY"});
    ASSERT_EQ(g.status, 0) << g.err;
    EXPECT_EQ(g.out, "seqord-plot: wrote BARLEY.svg: 12 year panels, 11 pair panels\n");
    EXPECT_NE(read_file(dir / "BARLEY.svg").find("GrandRap"), std::string::npos);
}

}  // namespace
}  // namespace seqord::test
