// Tests of the fits of the years onto one another, the consensus and the
// stability figures: small cases worked by hand, the decomposition on
// matrices of every rank, and the degenerate cases.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "motion/motion.h"

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
    // Year 2 turned by -90: location 4 goes to (0,-1) in year 1's frame.
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

}  // namespace
}  // namespace seqord::motion
