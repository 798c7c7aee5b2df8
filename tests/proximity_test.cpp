// The proximity measure on tables small enough to work out on paper.
//
// Genotypes g1..g5; locations A, B, C, D (0..3):
//   year 1: A = (1 2 3 4 -), B = (2 4 6 8 -), C = (4 3 2 1 -), D = (1 3 2 4 -)
//   year 2: A = (1 2 3 4 5), D = (3 1 2 5 4); B and C absent
// Year 1 by hand, deviations from the mean 2.5: A (-1.5 -.5 .5 1.5), ss 5.
//   A-D: D dev (-1.5 .5 -.5 1.5), ss 5, sum of products 4: r = 0.8; the
//        standardised SED is 2 (1 - 0.8) = 0.4; centred, the differences
//        (0 -1 1 0) give 2 / 4 = 0.5.
//   A-B: B = 2 A: r = 1, standardised 0; centred (1.5 .5 -.5 -1.5): 5 / 4.
//   A-C: r = -1, standardised 4; centred (-3 -1 1 3): 20 / 4 = 5.
//   B-C: r = -1; centred (-4.5 -1.5 1.5 4.5): 45 / 4.
// Year 2, five genotypes, A dev (-2 -1 0 1 2), D dev (0 -2 -1 2 1), ss 10
//   each, products 6: r = 0.6, standardised 0.8; centred, differences
//   (-2 1 1 -1 1): 8 / 5 = 1.6.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "proximity/proximity.h"

namespace seqord::test {
namespace {

using namespace seqord::proximity;

constexpr double kNA = std::numeric_limits<double>::quiet_NaN();

// Means by location, one value per genotype (NaN: none).
YearMeans year(const std::vector<std::vector<double>>& by_location) {
    YearMeans m(by_location.size());
    for (std::size_t l = 0; l < by_location.size(); ++l)
        for (std::size_t g = 0; g < by_location[l].size(); ++g)
            if (!std::isnan(by_location[l][g])) m[l].push_back({static_cast<std::int32_t>(g), by_location[l][g]});
    return m;
}

const std::vector<YearMeans> kYears = {
    year({{1, 2, 3, 4, kNA}, {2, 4, 6, 8, kNA}, {4, 3, 2, 1, kNA}, {1, 3, 2, 4, kNA}}),
    year({{1, 2, 3, 4, 5}, {kNA, kNA, kNA, kNA, kNA}, {kNA, kNA, kNA, kNA, kNA}, {3, 1, 2, 5, 4}}),
};

// The value of locations l < m in year y.
double at(const Result& r, int y, int l, int m) {
    const YearMatrix& ym = r.years[static_cast<std::size_t>(y)];
    std::size_t i = 0, j = 0;
    while (ym.retained[j] != l) ++j;
    while (ym.retained[i] != m) ++i;
    return ym.lower[i * (i - 1) / 2 + j];
}

Settings settings(Measure m, Scaling sc, Average av, Weighting w, bool cumulative) {
    Settings s;
    s.measure = m;
    s.scaling = sc;
    s.average = av;
    s.weighting = w;
    s.cumulative = cumulative;
    return s;
}

TEST(Proximity, EachMeasureAndCombinationByHand) {
    const double z_u = 2.0 / 7.0;  // tanh((atanh .8 + atanh .6) / 2) = tanh(ln 6 / 2) = 5/7
    const double z_w = 1.0 - std::tanh((4 * std::atanh(0.8) + 5 * std::atanh(0.6)) / 9);
    struct Case {
        const char* name;
        Settings s;
        double year1_AD, year2_AD;  // A-D in year 1 and in year 2
        double AB, AC, BC;          // year 1
    };
    const Case cases[] = {
        {"SED standardised, unweighted, cumulative",
         settings(Measure::sed, Scaling::standardised, Average::normal, Weighting::unweighted, true), 0.4, 0.6, 0, 4, 4},
        {"SED standardised, weighted, cumulative",
         settings(Measure::sed, Scaling::standardised, Average::normal, Weighting::weighted, true), 0.4,
         (4 * 0.4 + 5 * 0.8) / 9, 0, 4, 4},
        {"SED standardised, per year",
         settings(Measure::sed, Scaling::standardised, Average::normal, Weighting::weighted, false), 0.4, 0.8, 0, 4, 4},
        {"SED centred, unweighted, cumulative",
         settings(Measure::sed, Scaling::centred, Average::normal, Weighting::unweighted, true), 0.5, 1.05, 1.25, 5,
         11.25},
        {"SED centred, weighted, cumulative",
         settings(Measure::sed, Scaling::centred, Average::normal, Weighting::weighted, true), 0.5,
         (4 * 0.5 + 5 * 1.6) / 9, 1.25, 5, 11.25},
        {"SED centred, per year", settings(Measure::sed, Scaling::centred, Average::normal, Weighting::unweighted, false),
         0.5, 1.6, 1.25, 5, 11.25},
        {"COR normal, unweighted, cumulative",
         settings(Measure::cor, Scaling::standardised, Average::normal, Weighting::unweighted, true), 0.2, 0.3, 0, 2, 2},
        {"COR normal, weighted, cumulative",
         settings(Measure::cor, Scaling::standardised, Average::normal, Weighting::weighted, true), 0.2,
         1 - (4 * 0.8 + 5 * 0.6) / 9, 0, 2, 2},
        {"COR normal, per year", settings(Measure::cor, Scaling::centred, Average::normal, Weighting::unweighted, false),
         0.2, 0.4, 0, 2, 2},
        // r = 1 and -1 are clipped to 1 - 1e-7 before atanh; one year alone
        // gives back the clipped value.
        {"COR z, unweighted, cumulative",
         settings(Measure::cor, Scaling::standardised, Average::z, Weighting::unweighted, true), 0.2, z_u, 1e-7,
         2 - 1e-7, 2 - 1e-7},
        {"COR z, weighted, cumulative", settings(Measure::cor, Scaling::standardised, Average::z, Weighting::weighted, true),
         0.2, z_w, 1e-7, 2 - 1e-7, 2 - 1e-7},
        {"COR z, per year", settings(Measure::cor, Scaling::standardised, Average::z, Weighting::weighted, false), 0.2,
         0.4, 1e-7, 2 - 1e-7, 2 - 1e-7},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Result r = compute(kYears, 4, c.s);
        ASSERT_EQ(r.years.size(), 2u);
        EXPECT_TRUE(r.gaps.empty());
        EXPECT_TRUE(r.constant.empty());
        EXPECT_EQ(r.years[0].retained, (std::vector<int>{0, 1, 2, 3}));
        EXPECT_EQ(r.years[1].retained, (std::vector<int>{0, 3}));
        EXPECT_NEAR(at(r, 0, 0, 3), c.year1_AD, 1e-12);
        EXPECT_NEAR(at(r, 1, 0, 3), c.year2_AD, 1e-12);
        EXPECT_NEAR(at(r, 0, 0, 1), c.AB, 1e-9);
        EXPECT_NEAR(at(r, 0, 0, 2), c.AC, 1e-9);
        EXPECT_NEAR(at(r, 0, 1, 2), c.BC, 1e-9);
    }
}

TEST(Proximity, TooFewInCommonAndConstantLocations) {
    // Six genotypes; locations E, F, K.  Year 1: E and F share only g6, E-K
    // and F-K share four and three.  Year 2: E and F share g2, g3, g5; K has
    // one value for every genotype.
    const std::vector<YearMeans> years = {
        year({{1, 2, 3, kNA, 9, kNA}, {kNA, kNA, kNA, 5, 3, 8}, {2, 1, 3, 4, 5, 6}}),
        year({{1, 2, 4, kNA, 9, kNA}, {kNA, 6, 7, 5, 3, kNA}, {5, 5, 5, 5, 5, 5}}),
    };
    const Settings cumulative;
    const Result c = compute(years, 3, cumulative);
    // Year 1: no year counts for E-F yet.  Year 2: E-F counts by itself, the
    // pairs with K by year 1.
    EXPECT_EQ(c.gaps, (std::vector<Gap>{{0, 0, 1, 1, false}}));
    EXPECT_EQ(c.constant, (std::vector<ConstantLocation>{{1, 2}}));
    EXPECT_EQ(at(c, 1, 0, 2), at(c, 0, 0, 2));
    EXPECT_EQ(at(c, 1, 1, 2), at(c, 0, 1, 2));
    // E-F over g2, g3, g5: E (2 4 9) deviations (-3 -1 4), ss 26; F (6 7 3)
    // deviations (2 5 -7) / 3, ss 78 / 9; products -13: r = -39 / (26 sqrt 3)
    // = -sqrt(3) / 2, and 2 (1 - r) = 2 + sqrt 3.
    EXPECT_NEAR(at(c, 1, 0, 1), 2 + std::sqrt(3.0), 1e-12);
    Settings cor = cumulative;
    cor.measure = Measure::cor;
    EXPECT_NEAR(at(compute(years, 3, cor), 1, 0, 1), 1 + std::sqrt(3.0) / 2, 1e-12);

    Settings per_year = cumulative;
    per_year.cumulative = false;
    const Result p = compute(years, 3, per_year);
    // Year 2 alone: the pairs with K have four genotypes in common, K being constant.
    EXPECT_EQ(p.gaps, (std::vector<Gap>{{0, 0, 1, 1, false}, {1, 0, 2, 4, true}, {1, 1, 2, 4, true}}));

    // Centred, the constant location is no obstacle: its vector is all 0.
    Settings centred = per_year;
    centred.scaling = Scaling::centred;
    const Result k = compute({years[1]}, 3, centred);
    EXPECT_TRUE(k.constant.empty());
    ASSERT_TRUE(k.gaps.empty());
    // E over g1, g2, g3, g5 = (1 2 4 9), mean 4, deviations (-3 -2 0 5):
    // against K's zeros, (9 + 4 + 0 + 25) / 4.
    EXPECT_NEAR(at(k, 0, 0, 2), 38.0 / 4, 1e-12);

    // A location with fewer means than the least in common is not retained.
    Settings four = cumulative;
    four.min_common = 4;
    EXPECT_EQ(compute(years, 3, four).years[0].retained, (std::vector<int>{0, 2}));
}

// compute() prepares each location once a year for the pairs that share all
// their genotypes; every pair must still come out as pair_year makes it from
// the two tables, to the bit.  Years 1 and 2: A, B, C and the constant G have
// all six genotypes, D and E lack g2, F lacks g5 (as many as D, others), H has
// all six near 1e300 (another scale: the centred SED takes the pair's own
// scale).  Year 2 changes the sets: A lacks g2 (now with D and E), D has all.
TEST(Proximity, PairsSharingAllGenotypesAreThoseOfPairYear) {
    const std::vector<YearMeans> years = {
        year({{1.1, 2.7, 3.3, 4.9, 2.2, 6.5},
              {2.3, 4.1, 6.7, 8.2, 5.5, 3.1},
              {4.4, 3.9, 2.6, 1.8, 7.7, 5.3},
              {3.2, kNA, 2.1, 4.6, 1.3, 5.8},
              {0.7, kNA, 3.4, 2.2, 6.1, 4.4},
              {5.1, 1.9, 2.8, 3.7, kNA, 4.2},
              {3.0, 3.0, 3.0, 3.0, 3.0, 3.0},
              {1.3e300, 2.1e300, 0.4e300, 3.3e300, 2.6e300, 1.9e300}}),
        year({{1.5, kNA, 3.3, 4.1, 2.9, 6.2},
              {2.3, 4.8, 6.1, 8.4, 5.2, 3.7},
              {4.6, 3.1, 2.3, 1.2, 7.4, 5.9},
              {3.8, 2.4, 2.5, 4.1, 1.6, 5.2},
              {0.9, kNA, 3.1, 2.8, 6.6, 4.7},
              {5.4, 1.2, 2.2, 3.3, kNA, 4.8},
              {3.0, 3.0, 3.0, 3.0, 3.0, 3.0},
              {1.7e300, 2.2e300, 0.9e300, 3.1e300, 2.4e300, 1.1e300}}),
    };
    const int locations = 8;
    const Settings per_year[] = {
        settings(Measure::sed, Scaling::standardised, Average::normal, Weighting::unweighted, false),
        settings(Measure::sed, Scaling::centred, Average::normal, Weighting::unweighted, false),
        settings(Measure::cor, Scaling::standardised, Average::normal, Weighting::unweighted, false),
    };
    for (const Settings& s : per_year) {
        SCOPED_TRACE(static_cast<int>(s.measure) * 2 + static_cast<int>(s.scaling));
        const Result r = compute(years, locations, s);
        ASSERT_EQ(r.years.size(), years.size());
        std::vector<ConstantLocation> constant;
        Scratch scratch;
        for (std::size_t y = 0; y < years.size(); ++y) {
            ASSERT_EQ(r.years[y].retained.size(), static_cast<std::size_t>(locations));
            std::vector<bool> flagged(locations, false);
            for (int m = 1; m < locations; ++m)
                for (int l = 0; l < m; ++l) {
                    SCOPED_TRACE(testing::Message() << "year " << y << " pair " << l << "-" << m);
                    const YearValue v = pair_year(years[y][static_cast<std::size_t>(l)],
                                                  years[y][static_cast<std::size_t>(m)], s, scratch);
                    const bool gap = std::find(r.gaps.begin(), r.gaps.end(),
                                               Gap{static_cast<int>(y), l, m, v.n,
                                                   v.status == YearValue::Status::constant}) != r.gaps.end();
                    if (v.status != YearValue::Status::counts) {
                        EXPECT_TRUE(gap);
                        flagged[static_cast<std::size_t>(l)] = flagged[static_cast<std::size_t>(l)] || v.first_constant;
                        flagged[static_cast<std::size_t>(m)] = flagged[static_cast<std::size_t>(m)] || v.second_constant;
                        continue;
                    }
                    EXPECT_FALSE(gap);
                    EXPECT_EQ(at(r, static_cast<int>(y), l, m), s.measure == Measure::cor ? 1.0 - v.value : v.value);
                }
            for (int l = 0; l < locations; ++l)
                if (flagged[static_cast<std::size_t>(l)]) constant.push_back({static_cast<int>(y), l});
        }
        EXPECT_EQ(r.constant, constant);
        // G is constant for the standardised measures only.
        EXPECT_EQ(constant.empty(), s.measure == Measure::sed && s.scaling == Scaling::centred);
    }
}

// kYears with every mean multiplied by `f`.
std::vector<YearMeans> scaled(double f) {
    std::vector<YearMeans> years = kYears;
    for (YearMeans& y : years)
        for (auto& cells : y)
            for (Cell& c : cells) c.mean *= f;
    return years;
}

TEST(Proximity, StandardisedSedAndCorrelationDoNotDependOnTheScale) {
    const Settings standardised = settings(Measure::sed, Scaling::standardised, Average::normal, Weighting::unweighted, false);
    const Settings cor = settings(Measure::cor, Scaling::standardised, Average::z, Weighting::unweighted, false);
    // Powers of two change no digit: the same bits.  Others: the same to
    // rounding.  1e307 takes the largest mean, 8e307, to where the sum of
    // four overflows; 1e-300 to where squares underflow.
    const struct {
        double factor;
        bool exact;
    } cases[] = {{0x1p600, true}, {0x1p-1000, true}, {1e200, false}, {1e307, false}, {1e-300, false}, {1e-310, false}};
    for (const Settings& s : {standardised, cor}) {
        const Result want = compute(kYears, 4, s);
        for (const auto& c : cases) {
            SCOPED_TRACE(c.factor);
            const Result got = compute(scaled(c.factor), 4, s);
            EXPECT_TRUE(got.constant.empty());
            EXPECT_TRUE(got.gaps.empty());
            ASSERT_EQ(got.years.size(), want.years.size());
            for (std::size_t y = 0; y < want.years.size(); ++y) {
                ASSERT_EQ(got.years[y].lower.size(), want.years[y].lower.size());
                for (std::size_t k = 0; k < want.years[y].lower.size(); ++k) {
                    if (c.exact) EXPECT_EQ(got.years[y].lower[k], want.years[y].lower[k]);
                    else EXPECT_NEAR(got.years[y].lower[k], want.years[y].lower[k], 1e-9);
                }
            }
        }
    }
    // The hand values of year 1 (A-D 0.4, A-C 4) come out of the largest scale too.
    EXPECT_NEAR(at(compute(scaled(1e307), 4, standardised), 0, 0, 3), 0.4, 1e-12);
    EXPECT_NEAR(at(compute(scaled(1e-300), 4, standardised), 0, 0, 2), 4.0, 1e-12);

    // The centred SED keeps the square of the unit: exactly, until it leaves
    // double precision, where it is infinite (not NaN, not 0).
    const Settings centred = settings(Measure::sed, Scaling::centred, Average::normal, Weighting::unweighted, false);
    EXPECT_EQ(at(compute(scaled(0x1p-400), 4, centred), 0, 0, 3), 0.5 * 0x1p-800);
    EXPECT_EQ(at(compute(scaled(0x1p400), 4, centred), 1, 0, 3), 1.6 * 0x1p800);
    EXPECT_EQ(at(compute(scaled(1e300), 4, centred), 0, 1, 2), std::numeric_limits<double>::infinity());
    EXPECT_EQ(at(compute(scaled(1e300), 4, centred), 1, 0, 3), std::numeric_limits<double>::infinity());
}

TEST(Proximity, TheLargestEigenvalueAndTheSumSeqordKeeps) {
    // Squared distances of points in the plane give B the sums of squared
    // deviations on the principal axes as eigenvalues.  A rectangle a by b
    // (corners (0,0), (a,0), (0,b), (a,b)): a^2 and b^2.
    auto rectangle = [](double a, double b) {
        return std::vector<double>{a * a, b * b, a * a + b * b, a * a + b * b, b * b, a * a};
    };
    const struct {
        const char* name;
        std::vector<double> lower;
        std::size_t n;
        double top;  // the largest eigenvalue, or the sum of those above 1% of it
    } cases[] = {
        {"three points on a line, 0 1 3", {1, 9, 4}, 3, 42.0 / 9},
        {"a unit square: 1 + 1", rectangle(1, 1), 4, 2},
        {"10 by 2: 100 + 4", rectangle(10, 2), 4, 104},
        {"10 by 0.5: 0.25 is not kept", rectangle(10, 0.5), 4, 100},
        // Not Euclidean: d01 = d02 = 1, d12 = 100.  B's eigenvalues are 50
        // (on (0 1 -1)), 0 and -16 (on (2 -1 -1)).
        {"negative eigenvalues", {1, 1, 100}, 3, 50},
        {"two locations", {8}, 2, 4},
        {"one location", {}, 1, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_NEAR(eigen_report_top(c.lower, c.n, 0.0), c.top, 1e-9 * std::max(1.0, c.top));
        // The cheap bound: above the value, below what is enough.
        const double bound = eigen_report_top(c.lower, c.n, 1e9);
        EXPECT_GE(bound, c.top - 1e-9);
        EXPECT_LT(bound, 1e9);
    }
    // 40 points on a line (i^2 apart, squared): one eigenvalue, the sum of
    // squared deviations of 0..39, 5330.
    std::vector<double> line;
    for (int i = 1; i < 40; ++i)
        for (int j = 0; j < i; ++j) line.push_back(static_cast<double>((i - j) * (i - j)));
    EXPECT_NEAR(eigen_report_top(line, 40, 0.0), 5330.0, 1e-6);
}

TEST(Proximity, OptionLetters) {
    auto letters = [](Settings s) {
        const auto a = option_letters(s);
        return std::string(a.begin(), a.end());
    };
    Settings s;
    EXPECT_EQ(letters(s), "USSN");
    s.scaling = Scaling::centred;
    s.average = Average::z;  // no effect on SED
    EXPECT_EQ(letters(s), "USCN");
    s.measure = Measure::cor;  // the scaling has no effect on COR
    EXPECT_EQ(letters(s), "UCSZ");
    s.weighting = Weighting::weighted;
    s.average = Average::normal;
    EXPECT_EQ(letters(s), "WCSN");
}

}  // namespace
}  // namespace seqord::test
