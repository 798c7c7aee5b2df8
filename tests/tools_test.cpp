// gen_trial, the simulated-trial generator: its files are reproducible, have
// the record layouts of seqord's two input files, follow the documented model,
// and run through seqord without a warning.  The files are checked by reading
// them column by column here, independently of the program's record layer.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "support.h"

namespace seqord::test {
namespace {

namespace fs = std::filesystem;

// gen_trial is built next to seqord (both go to the top of the build folder).
fs::path gen_trial_exe() { return fs::path(SEQORD_EXE).parent_path() / "gen_trial"; }

struct GenResult {
    int status = -1;
    std::string err;
};

GenResult generate(const fs::path& dir, const std::string& args) {
    const fs::path exe = gen_trial_exe();
    if (!fs::exists(exe)) {
        ADD_FAILURE() << exe << " is missing: build the gen_trial target";
        return {};
    }
    const std::string cmd = "cd '" + dir.string() + "' && '" + exe.string() + "' " + args + " > gen.out 2> gen.err";
    const int rc = std::system(cmd.c_str());
    GenResult r;
    r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    r.err = read_file(dir / "gen.err");
    return r;
}

std::string cols(const std::string& line, std::size_t from, std::size_t to) {  // 1-based, inclusive
    std::string s = line.size() >= from ? line.substr(from - 1, to - from + 1) : "";
    s.resize(to - from + 1, ' ');
    return s;
}

int int_field(const std::string& field) {
    std::string digits;
    for (char c : field)
        if (c != ' ') digits += c;
    EXPECT_FALSE(digits.empty()) << "blank integer field";
    EXPECT_EQ(digits.find_first_not_of("-0123456789"), std::string::npos) << "not an integer: '" << field << "'";
    return digits.empty() ? 0 : std::stoi(digits);
}

std::vector<long> ints_of(const std::string& line) {
    std::istringstream in(line);
    std::vector<long> v;
    long x = 0;
    while (in >> x) v.push_back(x);
    EXPECT_TRUE(in.eof()) << "not a list of integers: " << line;
    return v;
}

struct Block {
    int iy = 0;
    std::string yname;  // columns 11-18
    int nl = 0;
    std::vector<int> flags;
    std::vector<int> rownum;
    std::vector<std::string> rowname;
    std::vector<std::vector<double>> d;  // d[i] holds the i proximities before the diagonal
};

struct Ema {
    long maxy = 0, maxl = 0, maxg = 0, iys = 0, iyf = 0;
    std::string title, options;
    std::vector<Block> blocks;
};

// Reads a .EMA column by column; every line must be accounted for.
Ema parse_ema(const std::string& text) {
    const std::vector<std::string> r = records(text);
    Ema e;
    std::size_t k = 0;
    auto next = [&]() -> std::string {
        if (k >= r.size()) {
            ADD_FAILURE() << "the .EMA ends early";
            return {};
        }
        return r[k++];
    };
    const std::vector<long> head = ints_of(next());
    if (head.size() != 5) {
        ADD_FAILURE() << "run header does not hold five integers";
        return e;
    }
    e.maxy = head[0], e.maxl = head[1], e.maxg = head[2], e.iys = head[3], e.iyf = head[4];
    e.title = next();
    e.options = next();
    while (k < r.size() && !testing::Test::HasFailure()) {
        Block b;
        const std::string yr = next();
        EXPECT_LE(yr.size(), 18u) << yr;
        EXPECT_EQ(cols(yr, 7, 10), "    ") << yr;
        b.iy = int_field(cols(yr, 1, 6));
        b.yname = cols(yr, 11, 18);
        const std::vector<long> nl = ints_of(next());
        EXPECT_EQ(nl.size(), 1u) << "NL stands alone on its line";
        b.nl = nl.empty() ? 0 : static_cast<int>(nl[0]);
        while (b.flags.size() < static_cast<std::size_t>(e.maxl) && k < r.size()) {
            const std::string fl = next();
            EXPECT_LE(fl.size(), 90u) << "at most 30 three-column flags a line: " << fl;
            for (long f : ints_of(fl)) b.flags.push_back(static_cast<int>(f));
        }
        EXPECT_EQ(b.flags.size(), static_cast<std::size_t>(e.maxl)) << "elimination vector of year " << b.iy;
        for (int i = 1; i <= b.nl && k < r.size(); ++i) {
            std::vector<double> vals;
            const std::size_t lines = (static_cast<std::size_t>(i) + 9) / 10;
            for (std::size_t ln = 0; ln < lines; ++ln) {
                const std::string row = next();
                if (ln == 0) {
                    b.rownum.push_back(int_field(cols(row, 1, 6)));
                    EXPECT_EQ(cols(row, 7, 7), " ");
                    b.rowname.push_back(cols(row, 8, 15));
                    EXPECT_EQ(cols(row, 16, 16), " ");
                } else {
                    EXPECT_EQ(cols(row, 1, 16), std::string(16, ' ')) << "continuation line: " << row;
                }
                const std::size_t here = std::min<std::size_t>(10, static_cast<std::size_t>(i) - vals.size());
                EXPECT_EQ(row.size(), 16 + 16 * here) << "row " << i << " of year " << b.iy << ": " << row;
                for (std::size_t v = 0; v < here; ++v) {
                    const std::string f = cols(row, 17 + 16 * v, 32 + 16 * v);
                    EXPECT_EQ(f[0], ' ') << f;
                    EXPECT_EQ(f.substr(12, 1), "E") << "an E16.8 field: " << f;
                    vals.push_back(std::stod(f));
                }
            }
            if (vals.empty()) break;
            EXPECT_EQ(vals.back(), 0.0) << "diagonal of row " << i;
            vals.pop_back();
            b.d.push_back(vals);
        }
        e.blocks.push_back(std::move(b));
    }
    return e;
}

struct Naq {
    std::string heading;
    std::vector<long> counts;
    std::vector<std::string> years, locations;
};

Naq parse_naq(const std::string& text, long maxy, long maxl) {
    const std::vector<std::string> r = records(text);
    Naq n;
    if (r.size() != static_cast<std::size_t>(2 + maxy + maxl)) {
        ADD_FAILURE() << "the .NAQ has " << r.size() << " records, not 2 + MAXY + MAXL";
        return n;
    }
    n.heading = r[0];
    n.counts = ints_of(r[1]);
    for (long k = 0; k < maxy; ++k) n.years.push_back(r[static_cast<std::size_t>(2 + k)]);
    for (long l = 0; l < maxl; ++l) n.locations.push_back(r[static_cast<std::size_t>(2 + maxy + l)]);
    return n;
}

std::string pad8(std::string s) {
    s.resize(8, ' ');
    return s;
}

// ------------------------------------------------------------ layouts ---

struct Case {
    const char* name;
    const char* args;
    int years, locations, genotypes, skip, first_year;
    bool expect_absences;
};

class Layouts : public ::testing::TestWithParam<Case> {};

TEST_P(Layouts, BothFilesHaveTheInputLayoutsAndAgreeWithEachOther) {
    const Case c = GetParam();
    TempDir dir;
    const GenResult g = generate(dir.path(), c.args);
    ASSERT_EQ(g.status, 0) << g.err;
    EXPECT_EQ(g.err, "");
    const Ema e = parse_ema(read_file(dir / "TRIAL.EMA"));
    ASSERT_FALSE(HasFailure());

    EXPECT_EQ(e.maxy, c.years);
    EXPECT_EQ(e.maxl, c.locations);
    EXPECT_EQ(e.maxg, c.genotypes);
    EXPECT_EQ(e.iys, 1);
    EXPECT_EQ(e.iyf, c.years);
    EXPECT_FALSE(e.title.empty());
    EXPECT_LE(e.title.size(), 50u);
    EXPECT_EQ(e.options, "     U     S     S     N");  // letters in columns 6, 12, 18, 24

    const Naq n = parse_naq(read_file(dir / "TRIAL.NAQ"), e.maxy, e.maxl);
    ASSERT_FALSE(HasFailure());
    EXPECT_EQ(n.counts, (std::vector<long>{c.years, c.locations, c.genotypes}));
    for (int k = 0; k < c.years; ++k) EXPECT_EQ(n.years[static_cast<std::size_t>(k)], pad8(std::to_string(c.first_year + k)));
    std::set<std::string> distinct;
    for (const std::string& name : n.locations) {
        EXPECT_LE(name.size(), 8u) << name;
        EXPECT_NE(name.find_first_not_of(' '), std::string::npos) << "blank location name";
        distinct.insert(pad8(name));
    }
    EXPECT_EQ(distinct.size(), static_cast<std::size_t>(c.locations)) << "location names repeat";

    // One block per year in order, the skipped year excepted.
    std::vector<int> expected_years, got_years;
    for (int k = 1; k <= c.years; ++k)
        if (k != c.skip) expected_years.push_back(k);
    for (const Block& b : e.blocks) got_years.push_back(b.iy);
    EXPECT_EQ(got_years, expected_years);

    int absences = 0;
    for (const Block& b : e.blocks) {
        SCOPED_TRACE("year " + std::to_string(b.iy));
        EXPECT_EQ(b.yname, pad8(n.years[static_cast<std::size_t>(b.iy - 1)]));
        std::vector<int> flagged;
        for (std::size_t l = 0; l < b.flags.size(); ++l) {
            EXPECT_TRUE(b.flags[l] == 0 || b.flags[l] == 1) << "flag " << b.flags[l];
            if (b.flags[l] == 1) flagged.push_back(static_cast<int>(l) + 1);
            else ++absences;
        }
        EXPECT_EQ(b.nl, static_cast<int>(flagged.size())) << "NL against the flags";
        EXPECT_GE(b.nl, std::min(3, c.locations));
        ASSERT_EQ(b.d.size(), static_cast<std::size_t>(b.nl));
        for (std::size_t i = 0; i < b.d.size(); ++i) {
            EXPECT_EQ(b.rownum[i], static_cast<int>(i) + 1);
            EXPECT_EQ(b.rowname[i], pad8(n.locations[static_cast<std::size_t>(flagged[i] - 1)]))
                << "row " << i + 1 << " belongs to the " << i + 1 << "-th flagged location";
            for (double x : b.d[i]) {
                // 2 (1 - r) for a correlation r
                EXPECT_GE(x, 0.0);
                EXPECT_LE(x, 4.0);
            }
        }
    }
    if (c.expect_absences) EXPECT_GT(absences, 0);
    else EXPECT_EQ(absences, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Options, Layouts,
    ::testing::Values(Case{"Defaults", "", 6, 12, 20, 4, 2019, true},
                      // 35 locations: flags over two lines, rows of up to four lines
                      Case{"WideAndSparse", "--years 3 --locations 35 --genotypes 8 --missing 0.3 --skip 1 --first-year 1990 --seed 3", 3,
                           35, 8, 1, 1990, true},
                      Case{"Smallest", "--years 2 --locations 2 --genotypes 5 --skip 0 --missing 0", 2, 2, 5, 0, 2019, false},
                      // every location drawn absent: each year still keeps three
                      Case{"AlmostAllAbsent", "--years 3 --locations 9 --missing 0.999 --skip 3", 3, 9, 20, 3, 2019,
                           true}),
    [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

TEST(GenTrial, RefusesOptionsItCannotHonourAndWritesNothing) {
    for (const char* args : {"--years 6 --skip 7", "--missing 1", "--locations 1", "--genotypes 2", "--seed -1",
                             "--sd-gl -0.1", "--years", "--colour red"}) {
        TempDir dir;
        const GenResult g = generate(dir.path(), args);
        EXPECT_EQ(g.status, 2) << args;
        EXPECT_NE(g.err, "") << args;
        EXPECT_FALSE(fs::exists(dir / "TRIAL.EMA")) << args;
    }
}

// ----------------------------------------------- sizes and capacity ---

// The first line of a .EMA: the five run-header values.
std::vector<long> run_header(const fs::path& ema) {
    const std::string text = read_file(ema);
    return ints_of(text.substr(0, text.find('\r')));
}

TEST(GenTrialSizes, RefusesDataSetsThatSeqordsWorkspaceCannotHold) {
    // Z = 2L^2 + 6L + 4YL + 4Y + 1 <= 350000, MZ = YL + L + 1 <= 10000,
    // AZ = Y + 2L + 1 <= 1000.
    for (const char* args : {"--years 1 --locations 416", "--years 3 --locations 414", "--years 33 --locations 300",
                             "--years 980 --locations 10", "--years 1 --locations 200 --maxl 416",
                             "--years 2 --locations 300 --maxy 33"}) {
        TempDir dir;
        const GenResult g = generate(dir.path(), args);
        EXPECT_EQ(g.status, 2) << args;
        EXPECT_NE(g.err.find("more than its"), std::string::npos) << args << ": " << g.err;
        EXPECT_FALSE(fs::exists(dir / "TRIAL.EMA")) << args;
    }
    for (const char* args : {"--years 3 --locations 12 --maxl 11", "--years 3 --locations 12 --maxy 2",
                             "--years 3 --locations 12 --nl 13", "--nl 0"}) {
        TempDir dir;
        EXPECT_EQ(generate(dir.path(), args).status, 2) << args;
        EXPECT_FALSE(fs::exists(dir / "TRIAL.EMA")) << args;
    }
}

TEST(GenTrialSizes, TheLargestDataSetsThatFit) {
    // One year of 415 locations and three of 413: each the largest that fits.
    struct Fit {
        const char* args;
        long years, locations, genotypes;
    };
    for (const Fit& f : {Fit{"--years 1 --locations 415 --nl 415 --genotypes 8", 1, 415, 8},
                         Fit{"--years 3 --locations 413 --nl 413 --genotypes 8 --skip 0", 3, 413, 8},
                         Fit{"--years 30 --locations 300 --genotypes 8 --missing 0.5", 30, 300, 8},
                         Fit{"--years 979 --locations 10 --genotypes 4 --skip 0", 979, 10, 4}}) {
        TempDir dir;
        const GenResult g = generate(dir.path(), f.args);
        ASSERT_EQ(g.status, 0) << f.args << ": " << g.err;
        EXPECT_EQ(run_header(dir / "TRIAL.EMA"), (std::vector<long>{f.years, f.locations, f.genotypes, 1, f.years}))
            << f.args;
    }
}

TEST(GenTrialSizes, LargerTablesThanTheDataAndAnExactCountOfLocations) {
    TempDir dir;
    const GenResult g = generate(dir.path(), "--out JOB --years 3 --locations 12 --maxy 5 --maxl 40 --nl 7 --skip 2");
    ASSERT_EQ(g.status, 0) << g.err;
    const Ema e = parse_ema(read_file(dir / "JOB.EMA"));
    ASSERT_FALSE(HasFailure());
    EXPECT_EQ(e.maxy, 5);
    EXPECT_EQ(e.maxl, 40);
    EXPECT_EQ(e.iyf, 3);
    ASSERT_EQ(e.blocks.size(), 2u);
    for (const Block& b : e.blocks) {
        SCOPED_TRACE("year " + std::to_string(b.iy));
        EXPECT_EQ(b.nl, 7);
        ASSERT_EQ(b.flags.size(), 40u);
        EXPECT_EQ(std::count(b.flags.begin(), b.flags.end(), 1), 7);
        // Locations beyond the twelve simulated ones are never kept.
        EXPECT_EQ(std::count(b.flags.begin() + 12, b.flags.end(), 1), 0);
        EXPECT_EQ(b.d.size(), 7u);
    }
    // Different years keep different locations.
    EXPECT_NE(e.blocks[0].flags, e.blocks[1].flags);
    const Naq n = parse_naq(read_file(dir / "JOB.NAQ"), 5, 40);
    ASSERT_FALSE(HasFailure());
    EXPECT_EQ(n.counts, (std::vector<long>{5, 40, 20}));
    EXPECT_EQ(n.years[4], pad8("2023"));

    // seqord takes it as it is, without a warning.
    const RunResult r = run_job(dir.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
}

// ------------------------------------------------------- reproducible ---

TEST(GenTrial, SameOptionsGiveTheSameBytesAndAnotherSeedOtherData) {
    const std::string args = "--seed 77 --years 5 --locations 14 --genotypes 25 --missing 0.2";
    TempDir a, b, c;
    ASSERT_EQ(generate(a.path(), args).status, 0);
    ASSERT_EQ(generate(b.path(), args).status, 0);
    ASSERT_EQ(generate(c.path(), "--seed 78 --years 5 --locations 14 --genotypes 25 --missing 0.2").status, 0);
    EXPECT_EQ(read_file(a / "TRIAL.EMA"), read_file(b / "TRIAL.EMA"));
    EXPECT_EQ(read_file(a / "TRIAL.NAQ"), read_file(b / "TRIAL.NAQ"));

    const Ema ea = parse_ema(read_file(a / "TRIAL.EMA")), ec = parse_ema(read_file(c / "TRIAL.EMA"));
    ASSERT_FALSE(HasFailure());
    ASSERT_FALSE(ea.blocks.empty());
    ASSERT_FALSE(ec.blocks.empty());
    EXPECT_NE(ea.blocks[0].d, ec.blocks[0].d);
}

TEST(GenTrial, TheShippedExampleIsTheDefaultOutput) {
    TempDir dir;
    ASSERT_EQ(generate(dir.path(), "--out TRIAL").status, 0);
    const fs::path examples = data_dir().parent_path().parent_path() / "examples";
    EXPECT_EQ(read_file(dir / "TRIAL.EMA"), read_file(examples / "TRIAL.EMA"));
    EXPECT_EQ(read_file(dir / "TRIAL.NAQ"), read_file(examples / "TRIAL.NAQ"));
}

// ------------------------------------------------------ with seqord-prep ---

TEST(GenTrialTable, SeqordPrepMakesTheSameFilesFromTheTable) {
    // The table of simulated means, read back by seqord-prep year by year
    // with gen_trial's title, gives gen_trial's own two files byte for byte:
    // both compute the distances with the same code.  (The table has no
    // row for a location absent every year, nor for the tables' room beyond
    // the data, and seqord-prep numbers locations by name: so no --maxl, and
    // at most the 20 locations whose names are in alphabetical order.)
    for (const char* args : {"--skip 0", "--skip 0 --seed 5 --years 4 --locations 18 --genotypes 40 --missing 0.3",
                             "--skip 0 --years 2 --locations 2 --genotypes 3 --missing 0",
                             "--skip 0 --years 4 --locations 20 --genotypes 7 --missing 0.2"}) {
        SCOPED_TRACE(args);
        TempDir dir;
        ASSERT_EQ(generate(dir.path(), std::string(args) + " --out GEN --table means.csv").status, 0);
        const std::string ema = read_file(dir / "GEN.EMA");
        const std::string title = records(ema).at(1);
        const RunResult r = run_command(dir.path(), SEQORD_PREP_EXE, {"--per-year", "--title", title, "means.csv", "PREP"});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(read_file(dir / "PREP.EMA"), ema);
        EXPECT_EQ(read_file(dir / "PREP.NAQ"), read_file(dir / "GEN.NAQ"));
    }
}

TEST(GenTrialTable, TheTableHoldsEveryYearAndTheSkippedOneToo) {
    TempDir dir;
    ASSERT_EQ(generate(dir.path(), "--years 3 --locations 4 --genotypes 3 --missing 0 --skip 2 --table m.csv").status, 0);
    const std::vector<std::string> rows = records(read_file(dir / "m.csv"));
    ASSERT_EQ(rows.size(), 1u + 3 * 4 * 3);
    EXPECT_EQ(rows[0], "year,location,genotype,yield");
    EXPECT_EQ(rows[1].rfind("2019,ALDERTON,G1,", 0), 0u) << rows[1];
    EXPECT_EQ(rows[13].rfind("2020,ALDERTON,G1,", 0), 0u) << rows[13];
}

TEST(GenTrialTable, LocationsWithoutSpreadAreRefused) {
    // Without any effect that differs between genotypes every location has
    // one mean for all of them, and no standardised distance.
    TempDir dir;
    const GenResult g = generate(dir.path(), "--sd-g 0 --sd-gl 0 --sd-gt 0 --sd-glt 0 --sd-e 0");
    EXPECT_EQ(g.status, 2);
    EXPECT_NE(g.err.find("has the same mean for every genotype in year 1"), std::string::npos) << g.err;
    EXPECT_FALSE(fs::exists(dir / "TRIAL.EMA"));
}

// -------------------------------------------------------------- model ---

// Dissimilarity of locations l1 < l2 (location numbers) in a block.
std::map<std::pair<int, int>, double> pairs(const Block& b) {
    std::vector<int> loc;
    for (std::size_t l = 0; l < b.flags.size(); ++l)
        if (b.flags[l] == 1) loc.push_back(static_cast<int>(l) + 1);
    std::map<std::pair<int, int>, double> m;
    for (std::size_t i = 0; i < b.d.size(); ++i)
        for (std::size_t j = 0; j < b.d[i].size(); ++j) m[{loc[j], loc[i]}] = b.d[i][j];
    return m;
}

TEST(GenTrialModel, WithoutInteractionsEveryLocationRanksTheGenotypesAlike) {
    TempDir dir;
    ASSERT_EQ(generate(dir.path(), "--sd-gl 0 --sd-gt 0 --sd-glt 0 --sd-e 0").status, 0);
    const Ema e = parse_ema(read_file(dir / "TRIAL.EMA"));
    ASSERT_FALSE(HasFailure());
    for (const Block& b : e.blocks)
        for (const auto& row : b.d)
            for (double x : row) EXPECT_LT(std::fabs(x), 1e-9);
}

TEST(GenTrialModel, OnlyGenotypeByLocationInteractionKeepsAPairTheSameDistanceEveryYear) {
    // GL recurs every year, while GT, GLT and the error are new each year:
    // with GL alone a pair of locations is the same distance apart in every
    // year, and with the yearly interactions (the default) it is not.
    TempDir fixed, changing;
    ASSERT_EQ(generate(fixed.path(), "--sd-gt 0 --sd-glt 0 --sd-e 0 --missing 0 --skip 0").status, 0);
    ASSERT_EQ(generate(changing.path(), "--missing 0 --skip 0").status, 0);
    const Ema f = parse_ema(read_file(fixed / "TRIAL.EMA")), c = parse_ema(read_file(changing / "TRIAL.EMA"));
    ASSERT_FALSE(HasFailure());
    ASSERT_EQ(f.blocks.size(), 6u);
    ASSERT_EQ(c.blocks.size(), 6u);
    const auto f1 = pairs(f.blocks[0]), c1 = pairs(c.blocks[0]);
    double largest_change = 0;
    for (std::size_t t = 1; t < 6; ++t) {
        for (const auto& [pair, d] : pairs(f.blocks[t])) EXPECT_NEAR(d, f1.at(pair), 1e-6) << "year " << t + 1;
        for (const auto& [pair, d] : pairs(c.blocks[t]))
            largest_change = std::max(largest_change, std::fabs(d - c1.at(pair)));
    }
    EXPECT_GT(largest_change, 0.1);
}

TEST(GenTrialModel, ThreeGenotypesGiveSingularCorrelationsForEveryThreeLocations) {
    // Standardised means of three genotypes lie in the plane orthogonal to
    // (1, 1, 1), so the correlations r = 1 - d / 2 of any three locations form
    // a matrix of rank 2 at most: its determinant
    // 1 + 2 r12 r13 r23 - r12^2 - r13^2 - r23^2 is zero.
    TempDir dir;
    ASSERT_EQ(generate(dir.path(), "--genotypes 3 --locations 10 --years 2 --skip 0 --missing 0").status, 0);
    const Ema e = parse_ema(read_file(dir / "TRIAL.EMA"));
    ASSERT_FALSE(HasFailure());
    int triples = 0;
    for (const Block& b : e.blocks) {
        auto r = [&](std::size_t i, std::size_t j) { return 1.0 - (i > j ? b.d[i][j] : b.d[j][i]) / 2.0; };
        for (std::size_t i = 0; i < b.d.size(); ++i)
            for (std::size_t j = i + 1; j < b.d.size(); ++j)
                for (std::size_t k = j + 1; k < b.d.size(); ++k) {
                    const double a = r(i, j), c = r(i, k), f = r(j, k);
                    EXPECT_NEAR(1 + 2 * a * c * f - a * a - c * c - f * f, 0.0, 1e-5)
                        << "locations " << i + 1 << ", " << j + 1 << ", " << k + 1;
                    ++triples;
                }
    }
    EXPECT_EQ(triples, 2 * 120);
}

TEST(GenTrialModel, UncorrelatedLocationsAreTwoApart) {
    // Only independent noise: the correlation between two locations' genotype
    // means is near 0 with many genotypes, and 2 (1 - r) near 2.
    TempDir dir;
    ASSERT_EQ(generate(dir.path(), "--genotypes 3000 --locations 15 --years 2 --skip 0 --sd-g 0 --sd-gl 0 --sd-gt 0")
                  .status,
              0);
    const Ema e = parse_ema(read_file(dir / "TRIAL.EMA"));
    ASSERT_FALSE(HasFailure());
    double sum = 0;
    int n = 0;
    for (const Block& b : e.blocks)
        for (const auto& row : b.d)
            for (double x : row) {
                EXPECT_NEAR(x, 2.0, 0.25);
                sum += x;
                ++n;
            }
    ASSERT_GT(n, 0);
    EXPECT_NEAR(sum / n, 2.0, 0.02);
}

TEST(GenTrialModel, AbsencesDropRowsButLeaveTheOtherDistancesAlone) {
    TempDir full, gappy;
    ASSERT_EQ(generate(full.path(), "--missing 0").status, 0);
    ASSERT_EQ(generate(gappy.path(), "--missing 0.4").status, 0);
    const Ema a = parse_ema(read_file(full / "TRIAL.EMA")), b = parse_ema(read_file(gappy / "TRIAL.EMA"));
    ASSERT_FALSE(HasFailure());
    ASSERT_EQ(a.blocks.size(), b.blocks.size());
    std::size_t compared = 0;
    for (std::size_t t = 0; t < a.blocks.size(); ++t) {
        const auto pa = pairs(a.blocks[t]);
        EXPECT_EQ(a.blocks[t].nl, static_cast<int>(a.blocks[t].flags.size())) << "nothing is absent at 0";
        for (const auto& [pair, d] : pairs(b.blocks[t])) {
            EXPECT_EQ(d, pa.at(pair));
            ++compared;
        }
    }
    EXPECT_GT(compared, 0u);
    int full_rows = 0, gappy_rows = 0;
    for (const Block& x : a.blocks) full_rows += x.nl;
    for (const Block& x : b.blocks) gappy_rows += x.nl;
    EXPECT_LT(gappy_rows, full_rows);
}

// ---------------------------------------------------- through seqord ---

std::vector<int> kept_axes(const std::string& sor) {
    std::vector<int> v;
    const std::string label = " Number of non-zero eigenvalues is      ";
    for (const std::string& line : records(sor))
        if (line.rfind(label, 0) == 0) v.push_back(int_field(line.substr(label.size())));
    return v;
}

TEST(GenTrialWithSeqord, TheDefaultDataSetRunsCleanly) {
    TempDir dir;
    ASSERT_EQ(generate(dir.path(), "--out JOB").status, 0);
    const RunResult r = run_job(dir.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");

    // Five analysed years, each keeping more than one axis.
    const std::vector<int> axes = kept_axes(read_file(dir / "JOB.SOR"));
    EXPECT_EQ(axes.size(), 5u);
    for (int k : axes) EXPECT_GT(k, 1);

    // Year 4 (2022) has no block: its .ORP entry is the year label and the
    // shares of variation, all zero, with no point record.
    const std::vector<std::string> orp = records(read_file(dir / "JOB.ORP"));
    const auto at = std::find(orp.begin(), orp.end(), "   4 2022    ");
    ASSERT_NE(at, orp.end());
    ASSERT_GE(orp.end() - at, 3);
    EXPECT_EQ(at[1], " ev as % of SS   0.000   0.000   0.000   0.000");
    EXPECT_EQ(at[2], "   5 2023    ");
    // Every year of the sequence is listed, in order.
    int labels = 0;
    for (const std::string& line : orp)
        if (line.size() == 13 && line.substr(4, 1) == " ") ++labels;
    EXPECT_EQ(labels, 6);

    // The pairs with the empty year correlate 0.000 on every axis.
    const std::string sor = read_file(dir / "JOB.SOR");
    EXPECT_NE(sor.find("      3         4       0.000     0.000     0.000     0.000\r\n"), std::string::npos);
    EXPECT_NE(sor.find("      4         5       0.000     0.000     0.000     0.000\r\n"), std::string::npos);
}

TEST(GenTrialWithSeqord, FewGenotypesLimitTheAxes) {
    // Standardised means of four genotypes lie in a three-dimensional space,
    // so no year can have more than three axes, however many locations.
    TempDir dir;
    ASSERT_EQ(generate(dir.path(), "--out JOB --genotypes 4 --locations 15 --missing 0").status, 0);
    const RunResult r = run_job(dir.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    const std::vector<int> axes = kept_axes(read_file(dir / "JOB.SOR"));
    EXPECT_EQ(axes.size(), 5u);
    for (int k : axes) {
        EXPECT_LE(k, 3);
        EXPECT_GE(k, 2);
    }
}

TEST(GenTrialWithSeqord, LargeAndSparseDataSetsRunCleanly) {
    for (const char* args : {"--out JOB --years 3 --locations 35 --genotypes 8 --missing 0.3 --skip 1 --seed 3",
                             "--out JOB --years 3 --locations 9 --missing 0.999 --skip 3",
                             "--out JOB --years 2 --locations 2 --genotypes 5 --skip 0"}) {
        TempDir dir;
        ASSERT_EQ(generate(dir.path(), args).status, 0) << args;
        const RunResult r = run_job(dir.path());
        EXPECT_EQ(r.status, 0) << args;
        EXPECT_EQ(r.err, "") << args;
        EXPECT_FALSE(read_file(dir / "JOB.ORP").empty()) << args;
    }
}

}  // namespace
}  // namespace seqord::test
