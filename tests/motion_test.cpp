// Tests of the fits of the years onto one another, the consensus and the
// stability figures: small cases worked by hand, the decomposition on
// matrices of every rank, and the degenerate cases.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <random>

#include "motion/motion.h"
#include "motion/names.h"
#include "support.h"

namespace seqord::motion {
namespace {

constexpr double kTol = 1e-12;

YearPoints year(std::int32_t index, std::vector<std::pair<std::int32_t, Coords>> pts) {
    YearPoints y;
    y.index = index;
    y.name = std::string(1, 'Y').append(std::to_string(index));
    for (auto& [loc, x] : pts) y.points.push_back(Point{loc, std::string(1, 'L').append(std::to_string(loc)), x});
    return y;
}

const Location& location(const Motion& m, std::int32_t id) {
    for (const Location& l : m.locations)
        if (l.location == id) return l;
    throw std::logic_error("no such location");
}

// Year 1: A(3,0) B(-1,2) C(-1,-2) D(-1,0), centred, with Σxy = 0 and the
// spreads 12 and 8 on its axes.  Year 2 is year 1 turned by +90 degrees;
// year 3 is year 1 reflected in axis 1 and moved by (10,10), without D;
// year 4 holds two points.
std::vector<YearPoints> hand_case() {
    return {
        year(1, {{1, {3, 0}}, {2, {-1, 2}}, {3, {-1, -2}}, {4, {-1, 0}}}),
        year(2, {{1, {0, 3}}, {2, {-2, -1}}, {3, {2, -1}}, {4, {0, -1}}}),
        year(3, {{1, {13, 10}}, {2, {9, 8}}, {3, {9, 12}}}),
        year(4, {{1, {0, 0}}, {2, {1, 1}}}),
    };
}

TEST(MotionHand, PairFitsOfATurnAReflectionAndTwoPoints) {
    const Motion m = analyse(hand_case(), 2);
    ASSERT_EQ(m.pairs.size(), 3u);

    // 1 -> 2: a turn of 90 degrees.  As seqord left them, the residuals are
    // A (3,-3), B (1,3), C (-3,-1), D (-1,1): 18 + 10 + 10 + 2.
    const PairFit& t = m.pairs[0];
    EXPECT_EQ(t.common, 4u);
    EXPECT_NEAR(*t.ss_seqord, 40.0, kTol);
    EXPECT_NEAR(*t.ss_fit, 0.0, kTol);
    EXPECT_NEAR(*t.procrustes_r, 1.0, kTol);
    EXPECT_FALSE(t.reflection);
    EXPECT_NEAR(t.angle_degrees, -90.0, 1e-9);  // year 2 is turned back by -90

    // 2 -> 3 on A, B, C: year 3 is a reflection of year 2 (x,y) -> (y,x)
    // once both are centred (year 2's centre (0, 1/3), year 3's (31/3, 10)).
    // Centred, year 2 is A(0,8/3) B(-2,-4/3) C(2,-4/3) and year 3 A(8/3,0)
    // B(-4/3,-2) C(-4/3,2): residuals (-8/3,8/3), (-2/3,2/3), (10/3,-10/3):
    // 128/9 + 8/9 + 200/9 = 336/9.
    const PairFit& r = m.pairs[1];
    EXPECT_EQ(r.common, 3u);
    EXPECT_NEAR(*r.ss_seqord, 336.0 / 9.0, 1e-11);
    EXPECT_NEAR(*r.ss_fit, 0.0, 1e-11);
    EXPECT_NEAR(*r.procrustes_r, 1.0, kTol);
    EXPECT_TRUE(r.reflection);

    // 3 -> 4: two locations in common, undetermined.
    const PairFit& u = m.pairs[2];
    EXPECT_EQ(u.common, 2u);
    EXPECT_FALSE(u.ss_seqord);
    EXPECT_FALSE(u.ss_fit);
    EXPECT_FALSE(u.procrustes_r);
    EXPECT_TRUE(u.weak());
}

TEST(MotionHand, PlacedYearsConsensusAndStability) {
    const Motion m = analyse(hand_case(), 2);
    // Year 4 shares two locations with the years before it: not placed.
    ASSERT_EQ(m.placed.size(), 3u);
    ASSERT_EQ(m.not_placed, std::vector<std::size_t>{3});
    ASSERT_EQ(m.warnings.size(), 1u);
    EXPECT_NE(m.warnings[0].find("year 4 (Y4) is not placed"), std::string::npos) << m.warnings[0];

    // Every placed year lands on year 1, whose principal axes are its own
    // (spreads 12 > 8), axis 1 signed by A (3 > 0) and axis 2 by B, the
    // lower index of B and C (|2| each).
    const Coords want[] = {{3, 0}, {-1, 2}, {-1, -2}, {-1, 0}};
    for (const PlacedYear& py : m.placed)
        for (const Point& p : py.points) {
            EXPECT_NEAR(p.x[0], want[p.location - 1][0], 1e-12) << "year " << py.index << " location " << p.location;
            EXPECT_NEAR(p.x[1], want[p.location - 1][1], 1e-12) << "year " << py.index << " location " << p.location;
        }
    ASSERT_EQ(m.locations.size(), 4u);
    for (const Location& l : m.locations) {
        EXPECT_NEAR(l.consensus[0], want[l.location - 1][0], 1e-12);
        EXPECT_NEAR(l.consensus[1], want[l.location - 1][1], 1e-12);
        EXPECT_NEAR(l.spread, 0.0, 1e-12);
        ASSERT_TRUE(l.mean_step);
        EXPECT_NEAR(*l.mean_step, 0.0, 1e-12);
    }
    EXPECT_EQ(location(m, 1).years, 3u);
    EXPECT_EQ(location(m, 4).years, 2u);  // missing from year 3
    EXPECT_NEAR(m.spread_of_axes[0], std::sqrt(3.0), 1e-12);  // sqrt(12/4)
    EXPECT_NEAR(m.spread_of_axes[1], std::sqrt(2.0), 1e-12);  // sqrt(8/4)
}

// A(2,0) B(0,1) C(-2,0) D(0,-1), then the same stretched to A(3,0), C(-3,0):
// the best fit is the identity (YᵀX = diag(12, 2)).
TEST(MotionHand, SpreadAndStepsOfALocationThatMoves) {
    const std::vector<YearPoints> ys = {
        year(1, {{1, {2, 0}}, {2, {0, 1}}, {3, {-2, 0}}, {4, {0, -1}}}),
        year(2, {{1, {3, 0}}, {2, {0, 1}}, {3, {-3, 0}}, {4, {0, -1}}}),
        year(3, {{1, {3, 0}}, {2, {0, 1}}, {3, {-3, 0}}}),
    };
    const Motion m = analyse(ys, 2);
    EXPECT_NEAR(*m.pairs[0].ss_seqord, 2.0, kTol);
    EXPECT_NEAR(*m.pairs[0].ss_fit, 2.0, kTol);
    EXPECT_NEAR(*m.pairs[0].procrustes_r, 14.0 / std::sqrt(200.0), kTol);
    EXPECT_NEAR(m.pairs[0].angle_degrees, 0.0, 1e-9);
    // Year 3 onto the means of years 1-2 (A 2.5, B 1, C -2.5 on their axes):
    // the identity again.  A stands at 2, 3, 3: consensus 8/3.
    const Location& a = location(m, 1);
    EXPECT_EQ(a.years, 3u);
    EXPECT_NEAR(a.consensus[0], 8.0 / 3.0, 1e-12);
    EXPECT_NEAR(a.consensus[1], 0.0, 1e-12);
    EXPECT_NEAR(a.spread, std::sqrt((4.0 / 9 + 1.0 / 9 + 1.0 / 9) / 3), 1e-12);
    EXPECT_NEAR(*a.mean_step, 0.5, 1e-12);  // steps 1 and 0
    const Location& d = location(m, 4);
    EXPECT_EQ(d.years, 2u);
    EXPECT_NEAR(d.spread, 0.0, 1e-12);
    EXPECT_NEAR(*d.mean_step, 0.0, 1e-12);
    EXPECT_TRUE(m.not_placed.empty());
}

TEST(MotionDegenerate, FirstYearsTooSmallAndOneYearLocations) {
    const std::vector<YearPoints> ys = {
        year(1, {}),
        year(2, {{1, {1, 0}}, {2, {0, 1}}}),
        year(3, {{1, {1, 0}}, {2, {0, 2}}, {3, {-1, 0}}}),
        year(4, {{1, {1, 0}}, {2, {0, 2}}, {3, {-1, 0}}, {5, {4, 4}}}),
    };
    const Motion m = analyse(ys, 2);
    EXPECT_EQ(m.not_placed, (std::vector<std::size_t>{0, 1}));
    ASSERT_EQ(m.placed.size(), 2u);
    EXPECT_EQ(m.placed[0].index, 3);
    EXPECT_FALSE(m.pairs[0].ss_fit);
    EXPECT_FALSE(m.pairs[1].ss_fit);
    EXPECT_TRUE(m.pairs[2].ss_fit);
    const Location& five = location(m, 5);  // placed once: no step
    EXPECT_EQ(five.years, 1u);
    EXPECT_FALSE(five.mean_step);
    EXPECT_NEAR(five.spread, 0.0, 1e-12);
    EXPECT_TRUE(analyse({year(1, {{1, {1, 0}}})}, 2).placed.empty());
}

// Three common points on a line leave the direction across it open: the
// year is placed by a rotation, with a warning, so that its fourth point
// (off the line) is not mirrored.
TEST(MotionDegenerate, CommonPointsOnALineArePlacedByARotation) {
    const std::vector<YearPoints> ys = {
        year(1, {{1, {-1, 0}}, {2, {0, 0}}, {3, {1, 0}}}),
        year(2, {{1, {0, -1}}, {2, {0, 0}}, {3, {0, 1}}, {4, {1, 0}}}),
    };
    const Motion m = analyse(ys, 2);
    ASSERT_EQ(m.placed.size(), 2u);
    EXPECT_FALSE(m.pairs[0].reflection);
    EXPECT_NEAR(*m.pairs[0].ss_fit, 0.0, 1e-12);
    bool warned = false;
    for (const std::string& w : m.warnings) warned = warned || w.find("fewer than 2 dimensions") != std::string::npos;
    EXPECT_TRUE(warned);
    // Year 2 is turned by -90 degrees, so location 4 goes to (0,-1) in year
    // 1's frame (a reflection would put it at (0,1)).  The consensus centred
    // at (0,-0.25) has its axes along year 1's, both turned round: axis 1 by
    // location 1 (-1, the lower index of the two of magnitude 1), axis 2 by
    // location 4 (-0.75).  So location 4 stands at (0, 0.75), location 1 at
    // (1, -0.25).
    const PlacedYear& second = m.placed[1];
    ASSERT_EQ(second.points.size(), 4u);
    EXPECT_NEAR(second.points[3].x[0], 0.0, 1e-12);
    EXPECT_NEAR(second.points[3].x[1], 0.75, 1e-12);
    EXPECT_NEAR(location(m, 1).consensus[0], 1.0, 1e-12);
    EXPECT_NEAR(location(m, 1).consensus[1], -0.25, 1e-12);
    const Procrustes f = fit({{-1, 0}, {0, 0}, {1, 0}}, {{0, -1}, {0, 0}, {0, 1}}, 2);
    EXPECT_TRUE(f.completed);
    EXPECT_NEAR(f.rotation[0][0], 0.0, 1e-12);
    EXPECT_NEAR(f.rotation[0][1], -1.0, 1e-12);
    EXPECT_NEAR(f.rotation[1][0], 1.0, 1e-12);
    EXPECT_NEAR(f.rotation[1][1], 0.0, 1e-12);
    // All points at one spot: no correlation, the identity.
    const Procrustes z = fit({{1, 1}, {1, 1}, {1, 1}}, {{0, 1}, {2, 0}, {1, 1}}, 2);
    EXPECT_FALSE(z.r);
    EXPECT_NEAR(z.rotation[0][0], 1.0, 1e-12);
    EXPECT_NEAR(z.rotation[1][1], 1.0, 1e-12);
}

TEST(MotionDegenerate, TiedPrincipalAxesAreNamed) {
    const std::vector<YearPoints> ys = {year(1, {{1, {1, 0}}, {2, {0, 1}}, {3, {-1, 0}}, {4, {0, -1}}})};
    const Motion m = analyse(ys, 2);
    ASSERT_EQ(m.warnings.size(), 1u);
    EXPECT_NE(m.warnings[0].find("dimensions 1 and 2"), std::string::npos);
    EXPECT_THROW(analyse(ys, 1), std::invalid_argument);
    EXPECT_THROW(analyse(ys, 5), std::invalid_argument);
}

// The decomposition on random matrices of every rank and shape: A = U S Vᵀ,
// V orthogonal, U's columns orthonormal where s > 0, s decreasing.
TEST(MotionSvd, ReconstructsMatricesOfEveryRank) {
    std::mt19937 gen(11);
    std::normal_distribution<double> g(0.0, 1.0);
    for (int k = 2; k <= 4; ++k)
        for (int rank = 0; rank <= k; ++rank)
            for (std::size_t m : {std::size_t(k), std::size_t(7)}) {
                std::vector<Coords> left(m);
                std::vector<Coords> right(std::size_t(rank), Coords{});
                for (auto& r : left)
                    for (int i = 0; i < rank; ++i) r[std::size_t(i)] = g(gen);
                for (auto& r : right)
                    for (int i = 0; i < k; ++i) r[std::size_t(i)] = g(gen);
                std::vector<Coords> a(m, Coords{});
                for (std::size_t i = 0; i < m; ++i)
                    for (int j = 0; j < k; ++j)
                        for (int c = 0; c < rank; ++c) a[i][std::size_t(j)] += left[i][std::size_t(c)] * right[std::size_t(c)][std::size_t(j)];
                const Svd d = svd(a, k);
                SCOPED_TRACE("k " + std::to_string(k) + " rank " + std::to_string(rank) + " m " + std::to_string(m));
                for (int j = 0; j + 1 < k; ++j) EXPECT_GE(d.s[std::size_t(j)], d.s[std::size_t(j + 1)]);
                for (int j = rank; j < k; ++j) EXPECT_LT(d.s[std::size_t(j)], 1e-12);
                for (std::size_t i = 0; i < m; ++i)
                    for (int j = 0; j < k; ++j) {
                        double s = 0.0;
                        for (int c = 0; c < k; ++c) s += d.u[i][std::size_t(c)] * d.s[std::size_t(c)] * d.v[std::size_t(j)][std::size_t(c)];
                        EXPECT_NEAR(s, a[i][std::size_t(j)], 1e-12);
                    }
                for (int p = 0; p < k; ++p)
                    for (int q = 0; q < k; ++q) {
                        double vv = 0.0, uu = 0.0;
                        for (int i = 0; i < k; ++i) vv += d.v[std::size_t(i)][std::size_t(p)] * d.v[std::size_t(i)][std::size_t(q)];
                        for (std::size_t i = 0; i < m; ++i) uu += d.u[i][std::size_t(p)] * d.u[i][std::size_t(q)];
                        EXPECT_NEAR(vv, p == q ? 1.0 : 0.0, 1e-13);
                        if (p < rank && q < rank) {
                            EXPECT_NEAR(uu, p == q ? 1.0 : 0.0, 1e-12);
                        }
                    }
            }
}

TEST(MotionNumber, ShortestFormReadsBackToTheSameDouble) {
    for (double v : {0.1, 1.0 / 3.0, -2.5e-300, 1e22, 123456.789, 0.30000000000000004}) {
        const std::string s = number(v);
        EXPECT_EQ(std::stod(s), v) << s;
    }
    EXPECT_EQ(number(0.1), "0.1");
    EXPECT_EQ(number(-0.0), "0");
    EXPECT_EQ(number(40.0), "40");
}

// ------------------------------------------- against numpy, whole runs ---

using test::RunResult;
using test::TempDir;

bool have_numpy() { return std::system("/usr/bin/python3 -c 'import numpy' >/dev/null 2>&1") == 0; }

// The tables of seqord-export against tests/motion_check.py, which reads
// JOB.ORP by its columns and computes everything again with numpy.
RunResult numpy_check(const TempDir& d, int k) {
    const std::string script = (test::data_dir() / ".." / "motion_check.py").string();
    return test::run_command(d.path(), "/usr/bin/python3", {script, ".", "JOB", std::to_string(k)});
}

void export_and_check(const TempDir& d, const std::string& what) {
    for (int k = kMinFitAxes; k <= kMaxFitAxes; ++k) {
        const RunResult e = test::run_command(d.path(), SEQORD_EXPORT_EXE, {"--fit-axes", std::to_string(k), "JOB"});
        ASSERT_EQ(e.status, 0) << what << ": " << e.err;
        const RunResult r = numpy_check(d, k);
        EXPECT_EQ(r.status, 0) << what << ", K = " << k << ":\n" << r.out << r.err;
    }
}

TEST(MotionNumpy, TheKnownGoodRunsAndTheBarleyTrialAgreeWithNumpy) {
    if (!have_numpy()) GTEST_SKIP() << "/usr/bin/python3 has no numpy (tools/deps.sh installs python3-numpy)";
    for (const char* g : {"small_001", "small_002", "small_003", "edge_axes_gt_10", "edge_base", "edge_year_missing",
                          "edge_nl_10_11_12"}) {
        TempDir d;
        for (const char* ext : {".SOR", ".ORS", ".POR", ".ORP"})
            std::filesystem::copy_file(test::data_dir() / "golden" / g / "expected" / ("JOB" + std::string(ext)),
                                       d / ("JOB" + std::string(ext)));
        export_and_check(d, g);
    }
    // Barley: a location missing from some years, and real turns.
    TempDir d;
    std::filesystem::copy_file(test::data_dir() / ".." / ".." / "examples" / "barley.csv", d / "barley.csv");
    ASSERT_EQ(test::run_command(d.path(), SEQORD_PREP_EXE, {"--value", "value", "barley.csv", "JOB"}).status, 0);
    ASSERT_EQ(test::run_command(d.path(), SEQORD_EXE, {"JOB"}).status, 0);
    export_and_check(d, "barley");

    // The check itself sees a change in the last digit of one figure.
    std::string consensus = test::read_file(d / "JOB.consensus.csv");
    const std::size_t at = consensus.find("\r\n1,") + 2;
    const std::size_t comma = consensus.find(',', consensus.find(",", consensus.find(",", consensus.find(",", at) + 1) + 1) + 1);
    consensus.insert(comma + 1, "1");  // dim1 of the first location, 1 in front
    test::write_file(d / "JOB.consensus.csv", consensus);
    EXPECT_EQ(numpy_check(d, 4).status, 1);
}

// ------------------------------------------------------- the names file ---

// Four locations, two of them with names longer than 8 characters (one
// with a comma and a quote, one in UTF-8), two years, five genotypes.
std::string long_named_table() {
    const char* locations[] = {"Alpha", "Grand Rapids, \"North\" MN", "Överby-Långnäs", "Zed"};
    std::string t = "year,location,genotype,yield\n";
    for (int y = 0; y < 2; ++y)
        for (int l = 0; l < 4; ++l)
            for (int g = 0; g < 5; ++g) {
                std::string name = locations[l];
                if (name.find(',') != std::string::npos) name = "\"Grand Rapids, \"\"North\"\" MN\"";
                t += std::to_string(2001 + y) + "," + name + ",g" + std::to_string(g) + "," +
                     std::to_string((g * 7 + l * l * 3 + y * 5 + g * l) % 13 + g) + "\n";
            }
    return t;
}

struct NamedJob {
    TempDir dir;
    RunResult prep;
    NamedJob(const std::string& table, const std::string& job = "JOB") {
        test::write_file(dir / "t.csv", table);
        prep = test::run_command(dir.path(), SEQORD_PREP_EXE, {"--force", "--title", "Names", "t.csv", job});
        if (prep.status == 0) test::run_command(dir.path(), SEQORD_EXE, {job});
    }
    RunResult exported() const { return test::run_command(dir.path(), SEQORD_EXPORT_EXE, {"JOB"}); }
};

TEST(MotionNames, FullNamesGoRoundFromTheTableToTheExportedTables) {
    NamedJob j(long_named_table());
    ASSERT_EQ(j.prep.status, 0) << j.prep.err;
    const names::JobNames n = names::read(names::path_of((j.dir / "JOB").string()));
    // Locations in the order of their bytes: Ö after Z.
    EXPECT_EQ(n.location_full, (std::vector<std::string>{"Alpha", "Grand Rapids, \"North\" MN", "Zed", "Överby-Långnäs"}));
    EXPECT_EQ(n.location_short, (std::vector<std::string>{"Alpha", "Grand Ra", "Zed", "Överby-"}));
    EXPECT_EQ(n.year_full, (std::vector<std::string>{"2001", "2002"}));
    EXPECT_EQ(n.setting("title"), "Names");
    EXPECT_EQ(n.describe(), "SED, standardised, cumulative over years, min-common 3");

    const RunResult e = j.exported();
    ASSERT_EQ(e.status, 0) << e.err;
    EXPECT_EQ(e.err, "");
    const std::string points = test::read_file(j.dir / "JOB.points.csv");
    EXPECT_TRUE(test::contains(points, ",Grand Ra,")) << points;
    EXPECT_TRUE(test::contains(points, ",\"Grand Rapids, \"\"North\"\" MN\"\r\n")) << points;
    EXPECT_TRUE(test::contains(points, ",Överby-Långnäs\r\n")) << points;
    const std::string consensus = test::read_file(j.dir / "JOB.consensus.csv");
    EXPECT_TRUE(test::contains(consensus, "\r\n4,Överby-,Överby-Långnäs,2,")) << consensus;
}

TEST(MotionNames, TheSettingsAsTheHeadingSaysThem) {
    const struct {
        std::vector<names::Setting> settings;
        const char* text;
    } cases[] = {
        {{}, ""},
        {{{"measure", "sed"}, {"sed", "centred"}, {"years", "per-year"}, {"min_common", "4"}, {"scale", "1"}},
         "SED, centred, per year, min-common 4"},
        {{{"measure", "cor"}, {"cor_average", "z"}, {"weighting", "weighted"}, {"years", "cumulative"}, {"scale", "2.5"}},
         "COR, z average, cumulative over years, weighted by genotypes in common, scale 2.5"},
        {{{"measure", "cor"}, {"cor_average", "normal"}}, "COR, normal average"},
    };
    for (const auto& c : cases) {
        names::JobNames n;
        n.settings = c.settings;
        EXPECT_EQ(n.describe(), c.text);
    }
    names::JobNames n;
    n.location_full = {"Alpha", ""};
    EXPECT_EQ(n.location(1, "A"), "Alpha");
    EXPECT_EQ(n.location(2, "B"), "B");  // no full name: the short one
    EXPECT_EQ(n.location(3, "C"), "C");
    EXPECT_EQ(n.location(0, "Z"), "Z");
    EXPECT_EQ(n.year(1, "1926"), "1926");
}

TEST(MotionNames, AMissingDamagedOrForeignNamesFileLeavesTheShortNames) {
    const std::string foreign =
        "year,location,genotype,yield\n" + std::string("2001,Alpha,g1,1\n2001,Alpha,g2,2\n2001,Alpha,g3,4\n") +
        "2001,Bravo,g1,2\n2001,Bravo,g2,1\n2001,Bravo,g3,5\n2001,Carlo,g1,3\n2001,Carlo,g2,3\n2001,Carlo,g3,1\n";
    const std::string kept = "seqord-export: warning: ";
    struct Case {
        const char* what;
        std::string names;  // what JOB.names.csv holds; "-" none
        const char* warning;  // "" none
    } cases[] = {
        {"missing", "-", ""},
        {"empty", "", "JOB.names.csv: is empty; the 8-character names are used"},
        {"another header", "kind,index,short,long\r\n", "JOB.names.csv, line 1: the header is not kind,index,name,value"},
        {"a row cut short", "kind,index,name,value\r\nyear,1,2001\r\n", "JOB.names.csv, line 2: holds 3 fields, not 4"},
        {"an unknown kind", "kind,index,name,value\r\ngenotype,1,g,g\r\n", "line 2: the kind 'genotype' is none of"},
        {"an index out of order", "kind,index,name,value\r\nyear,2,2002,2002\r\n", "line 2: year '2' where year 1 belongs"},
        {"a quote left open", "kind,index,name,value\r\nyear,1,\"2001,2001\r\n", "JOB.names.csv, line 2: "},
        {"of another job", "*", "JOB.names.csv: location 2 is 'Bravo' there, 'Grand Ra' in the run: it is not of this run"},
        {"no locations", "kind,index,name,value\r\nyear,1,2001,2001\r\n", "JOB.names.csv: it names no location 1 (Alpha)"},
        {"too few years", "kind,index,name,value\r\nyear,1,2001,2001\r\nlocation,1,Alpha,A\r\nlocation,2,Grand Ra,G\r\n"
                          "location,3,Zed,Z\r\nlocation,4,Överby-,Ö\r\n", "JOB.names.csv: it names no year 2 (2002)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        NamedJob j(long_named_table());
        ASSERT_EQ(j.prep.status, 0);
        if (c.names == "-") std::filesystem::remove(j.dir / "JOB.names.csv");
        else if (c.names == "*") {
            NamedJob other(foreign);
            ASSERT_EQ(other.prep.status, 0) << other.prep.err;
            std::filesystem::copy_file(other.dir / "JOB.names.csv", j.dir / "JOB.names.csv",
                                       std::filesystem::copy_options::overwrite_existing);
        } else {
            test::write_file(j.dir / "JOB.names.csv", c.names);
        }
        const RunResult e = j.exported();
        ASSERT_EQ(e.status, 0) << e.err;
        if (*c.warning == '\0') {
            EXPECT_EQ(e.err, "");
        } else {
            EXPECT_TRUE(test::contains(e.err, kept)) << e.err;
            EXPECT_TRUE(test::contains(e.err, c.warning)) << e.err;
            EXPECT_TRUE(test::contains(e.err, "; the 8-character names are used\n")) << e.err;
        }
        const std::string points = test::read_file(j.dir / "JOB.points.csv");
        EXPECT_TRUE(test::contains(points, ",Grand Ra,")) << points;
        EXPECT_FALSE(test::contains(points, "Grand Rapids")) << points;
        EXPECT_TRUE(test::contains(points, ",Överby-,")) << points;
        EXPECT_TRUE(test::contains(points, ",Överby-\r\n")) << points;
    }
}

// ------------------------------------------------------------ the page ---

// The grid of each panel of a kind: equal when the panels share a scale.
std::vector<std::string> grids(const std::string& svg, const std::string& kind) {
    std::vector<std::string> out;
    const std::string open = "<g class=\"panel " + kind + "\"";
    for (std::size_t p = svg.find(open); p != std::string::npos; p = svg.find(open, p + 1)) {
        const std::size_t g = svg.find("<g class=\"grid\">", p);
        out.push_back(svg.substr(g, svg.find("</g>", g) - g));
    }
    return out;
}

TEST(MotionPage, TheSectionsOfHowTheLocationsMoveWithFullNamesAndSettings) {
    NamedJob j(long_named_table());
    ASSERT_EQ(j.prep.status, 0) << j.prep.err;
    RunResult r = test::run_command(j.dir.path(), SEQORD_PLOT_EXE, {"JOB"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const std::string svg = test::read_file(j.dir / "JOB.svg");
    for (const char* part : {
             "Settings: SED, standardised, cumulative over years, min-common 3; years fitted on their first 2 axes",
             "pair panels in the consensus frame", "\xE2\x80\x9CNames\xE2\x80\x9D</text>",
             "Every year is placed in the consensus frame", "Trajectories in the consensus frame",
             "Stability: the locations ranked by spread", ">Grand Rapids, &quot;North&quot; MN</text>",
             ">Överby-Långnäs</text>", "Successive years, in the consensus frame", ">Dimension 1 ("}) {
        EXPECT_TRUE(test::contains(svg, part)) << part;
    }
    EXPECT_FALSE(test::contains(svg, ">Grand Ra</text>"));

    // The stability rows come in increasing spread, as the consensus table
    // has them.
    ASSERT_EQ(test::run_command(j.dir.path(), SEQORD_EXPORT_EXE, {"JOB"}).status, 0);
    std::vector<std::pair<double, std::string>> spreads;
    const std::string table = test::read_file(j.dir / "JOB.consensus.csv");
    for (std::size_t b = table.find("\r\n") + 2; b < table.size(); b = table.find("\r\n", b) + 2) {
        const std::string row = table.substr(b, table.find("\r\n", b) - b);
        const std::size_t last = row.rfind(','), before = row.rfind(',', last - 1);
        spreads.emplace_back(std::stod(row.substr(before + 1, last - before - 1)), row.substr(0, row.find(',')));
    }
    std::stable_sort(spreads.begin(), spreads.end(), [](auto& a, auto& b) { return a.first < b.first; });
    std::size_t at = svg.find("class=\"panel stability\"");
    for (const auto& [spread, location] : spreads) {
        const std::size_t next = svg.find("<g class=\"stability\" data-location=\"" + location + "\"", at);
        EXPECT_NE(next, std::string::npos) << location;
        at = next;
    }

    // --frame seqord draws the pair panels on the aligned axes.
    r = test::run_command(j.dir.path(), SEQORD_PLOT_EXE, {"--frame", "seqord", "JOB"});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string aligned = test::read_file(j.dir / "JOB.svg");
    EXPECT_TRUE(test::contains(aligned, "Successive years, on the axes as seqord aligned them"));
    EXPECT_TRUE(test::contains(aligned, ">Axis 1 (")) ;
}

TEST(MotionPage, WeakAndUndeterminedFitsAndYearsNotPlacedAreMarked) {
    // edge_year_missing: a year without points, so its two pairs have no
    // location in common.
    TempDir d;
    for (const char* ext : {".ORP", ".POR"})
        std::filesystem::copy_file(test::data_dir() / "golden" / "edge_year_missing" / "expected" / ("JOB" + std::string(ext)),
                                   d / ("JOB" + std::string(ext)));
    RunResult r = test::run_command(d.path(), SEQORD_PLOT_EXE, {"JOB"});
    ASSERT_EQ(r.status, 0) << r.err;
    std::string svg = test::read_file(d / "JOB.svg");
    EXPECT_TRUE(test::contains(svg, "<text class=\"fit weak\" x=\"68.0\" y=\"58.0\">fit undetermined: 0 locations in common, fewer than 3</text>"));
    EXPECT_TRUE(test::contains(svg, "Years not placed (fewer than 3 points, or fewer than 3 locations shared with the years before): "));
    EXPECT_TRUE(test::contains(svg, "settings: not known") || test::contains(svg, "Settings: not known"));
    // One scale for the panels of a section.
    for (const char* kind : {"year", "pair"}) {
        const std::vector<std::string> g = grids(svg, kind);
        ASSERT_GE(g.size(), 2u) << kind;
        for (const std::string& one : g) EXPECT_EQ(one, g[0]) << kind;
    }

    // Barley year by year: 1930 -> 1931 fits with r 0.295, marked weak.
    TempDir b;
    std::filesystem::copy_file(test::data_dir() / ".." / ".." / "examples" / "barley.csv", b / "barley.csv");
    ASSERT_EQ(test::run_command(b.path(), SEQORD_PREP_EXE, {"--per-year", "--value", "value", "barley.csv", "JOB"}).status, 0);
    ASSERT_EQ(test::run_command(b.path(), SEQORD_EXE, {"JOB"}).status, 0);
    r = test::run_command(b.path(), SEQORD_PLOT_EXE, {"JOB"});
    ASSERT_EQ(r.status, 0) << r.err;
    svg = test::read_file(b / "JOB.svg");
    EXPECT_EQ(test::contains(svg, ">weak fit: r 0.295; SS 3.769 aligned \xE2\x86\x92 3.731 fitted</text>"), true);
    std::size_t weak = 0;
    for (std::size_t p = svg.find("class=\"fit weak\""); p != std::string::npos; p = svg.find("class=\"fit weak\"", p + 1)) ++weak;
    EXPECT_EQ(weak, 1u);  // the other ten pairs have r of 0.5 or more
    EXPECT_TRUE(test::contains(svg, "Settings: SED, standardised, per year, min-common 3"));
}

}  // namespace
}  // namespace seqord::motion
