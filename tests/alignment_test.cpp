// Cross-year alignment: the correlation of one axis, the reversal of the
// later year's axes along the chain of years, the correlation table and the
// two plotting files; then whole runs through the real executable whose four
// output files are compared byte for byte with files worked out by hand
// (tests/data/alignment/<case>), and a check over the known-good runs that
// the pair file and the per-year file show every point alike.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "alignment/alignment.h"
#include "records/records.h"
#include "support.h"

namespace seqord::test {
namespace {

namespace fs = std::filesystem;
using alignment::align;
using alignment::correlation;

// Records as the output files hold them: each ends in CR LF.
std::string records(std::initializer_list<std::string_view> lines) {
    std::string s;
    for (std::string_view l : lines) {
        s.append(l);
        s.append("\r\n");
    }
    return s;
}

// ------------------------------------------------------- correlation ---

TEST(Correlation, IsTheProductMomentCorrelationOfTheSums) {
    // x = (1, 2, 3), y = (2, 4, 7): Sxy = 31 - 78/3 = 5, Sxx = 2,
    // Syy = 69 - 169/3 = 12.6667, R = 5 / sqrt(25.3333) = 0.993399.
    EXPECT_NEAR(correlation(3, 6, 13, 14, 69, 31), 0.993399f, 1e-6f);
    // y = (7, 4, 2): Sxy = 21 - 26 = -5.
    EXPECT_NEAR(correlation(3, 6, 13, 14, 69, 21), -0.993399f, 1e-6f);
    // x = (1, 0, -1), y = (1, -1, 0): Sxy = 1, Sxx = Syy = 2.
    EXPECT_FLOAT_EQ(correlation(3, 0, 0, 2, 2, 1), 0.5f);
}

TEST(Correlation, WithoutACommonLocationIsZero) {
    // Sums that would give a value of their own if the count were taken.
    EXPECT_EQ(correlation(0, 1, 2, 3, 4, 5), 0.0f);
    EXPECT_EQ(correlation(0.49f, 0, 0, 1, 1, 0.5f), 0.0f);
    // A count of one half is already a count.
    EXPECT_FLOAT_EQ(correlation(0.5f, 0, 0, 1, 1, 0.5f), 0.5f);
}

TEST(Correlation, ThresholdIsTheSinglePrecisionValueAndBothTestsAreStrict) {
    const float th = 1.0E-6f;
    const float below = std::nextafter(th, 0.0f);
    // The single-precision threshold lies below 1.0E-6 itself, so a sum equal
    // to it passes only when the comparison is made against that value.
    ASSERT_LT(static_cast<double>(th), 1.0E-6);
    EXPECT_NEAR(correlation(1, 0, 0, th, th, th), 1.0f, 1e-6f);
    EXPECT_EQ(correlation(1, 0, 0, below, th, th), 0.0f);
    EXPECT_EQ(correlation(1, 0, 0, th, below, th), 0.0f);
    EXPECT_EQ(correlation(1, 0, 0, below, below, below), 0.0f);
}

TEST(Correlation, CorrectedSumsOfSquaresAreFormedInDoublePrecision) {
    // Sxx = 0.96487993 - 1.7013632^2 / 3 = 1.0105e-6 in double precision,
    // above the threshold; formed in single precision it would be 9.537e-7
    // and the correlation 0.  R = 0.001 / sqrt(1.0105449e-6) = 0.994769.
    const float r = correlation(3, 1.701363205909729f, 0, 0.9648799300193787f, 1, 0.001f);
    EXPECT_NEAR(r, 0.9947689f, 1e-6f);
}

TEST(Correlation, CrossProductIsRoundedToSinglePrecisionBeforeTheDivision) {
    // With these sums Sxy = 1.1943445 - 0.98229051 * -1.2000192 / 3 rounds to
    // a single-precision value that moves the quotient by one unit in the
    // last place: 0.99729991 (rounded first) against 0.99729985.
    const float r = correlation(3, 0.982290506362915f, -1.2000192403793335f, 5.183628559112549f,
                                1.0010106563568115f, 1.1943445205688477f);
    EXPECT_EQ(r, 0.9972999095916748f);
}

// ------------------------------------------------------------ align() ---

// An output file of the step, held in an anonymous temporary file.
using Capture = TempFile;

struct Written {
    std::string sor, ors, por, orp;
};

// The filed per-year results of a run (PTS, PCT, ELIM and the name tables),
// laid out as the workspace holds them, with the year index varying fastest.
class Years {
public:
    Years(int maxy, int maxl)
        : maxy_(maxy), maxl_(maxl),
          pts_(static_cast<std::size_t>(4 * maxy * maxl), 0.0f),
          pct_(static_cast<std::size_t>(4 * maxy), 0.0f),
          elim_(static_cast<std::size_t>(maxy * maxl), 0),
          yearname_(static_cast<std::size_t>(maxy)),
          locname_(static_cast<std::size_t>(maxl)) {
        for (int k = 1; k <= maxy; ++k) year_name(k, numbered('Y', k));
        for (int l = 1; l <= maxl; ++l) loc_name(l, numbered('L', l));
    }

    float& pt(int k, int l, int m) { return pts_[idx(((m - 1) * maxl_ + (l - 1)) * maxy_ + (k - 1))]; }
    float& pct(int k, int m) { return pct_[idx((m - 1) * maxy_ + (k - 1))]; }
    std::int32_t& flag(int k, int l) { return elim_[idx((l - 1) * maxy_ + (k - 1))]; }
    void year_name(int k, const std::string& n) { yearname_[idx(k - 1)] = Name::of(n); }
    void loc_name(int l, const std::string& n) { locname_[idx(l - 1)] = Name::of(n); }

    // The four points of location l in year k, with the location's flag.
    void point(int k, int l, std::array<float, 4> v, std::int32_t flag_value = 1) {
        for (int m = 1; m <= 4; ++m) pt(k, l, m) = v[static_cast<std::size_t>(m - 1)];
        flag(k, l) = flag_value;
    }
    void shares(int k, std::array<float, 4> v) {
        for (int m = 1; m <= 4; ++m) pct(k, m) = v[static_cast<std::size_t>(m - 1)];
    }
    std::array<float, 4> points(int k, int l) { return {pt(k, l, 1), pt(k, l, 2), pt(k, l, 3), pt(k, l, 4)}; }

    // Runs the step over IYS..IYF; `before` is what each output file held.
    Written run(int iys, int iyf, const Written& before = {}) {
        Capture sor, ors, por, orp;
        sor.preset(before.sor);
        ors.preset(before.ors);
        por.preset(before.por);
        orp.preset(before.orp);
        {
            Files f;
            f.sor.bind(22, "T.SOR", sor.fd(), false);
            f.ors.bind(23, "T.ORS", ors.fd(), false);
            f.por.bind(24, "T.POR", por.fd(), false);
            f.orp.bind(25, "T.ORP", orp.fd(), false);
            align(f,
                  Tables{.PTS = {pts_.data(), static_cast<std::int64_t>(pts_.size()), maxy_, maxl_},
                         .PCT = {pct_.data(), static_cast<std::int64_t>(pct_.size()), maxy_, 4},
                         .ELIM = {elim_.data(), static_cast<std::int64_t>(elim_.size()), maxy_, maxl_},
                         .YEARNAME = {yearname_.data(), maxy_, maxy_, 1},
                         .LOCNAME = {locname_.data(), maxl_, maxl_, 1},
                         .maxy = maxy_,
                         .maxl = maxl_},
                  iys, iyf);
            f.sor.flush();
            f.ors.flush();
            f.por.flush();
            f.orp.flush();
        }
        return {sor.contents(), ors.contents(), por.contents(), orp.contents()};
    }

private:
    static std::size_t idx(int i) { return static_cast<std::size_t>(i); }
    static std::string numbered(char letter, int i) {
        char buf[16];
        std::snprintf(buf, sizeof buf, "%c%d", letter, i);
        return buf;
    }
    int maxy_, maxl_;
    std::vector<float> pts_, pct_;
    std::vector<std::int32_t> elim_;
    std::vector<Name> yearname_, locname_;
};

const std::string kHeading = records({" Correlations between vectors in succeding years are",
                                      "  Year k   Year k+1  vector 1  vector 2  vector 3  vector 4 "});

// Two years of six locations: one retained in the first year only, three in
// both, one in the second only and one in neither.  Over the three common
// locations axis 1 correlates +1, axis 2 -1, axis 3 0.5 and axis 4 exactly 0.
Years pair_of_years() {
    Years y(2, 6);
    y.year_name(1, "1997");
    y.year_name(2, "1998");
    const char* locs[] = {"HORYAN", "BILOELA", "WARWICK", "GATTON", "EMERALD", "DALBY"};
    for (int l = 1; l <= 6; ++l) y.loc_name(l, locs[l - 1]);
    y.point(1, 1, {0.418f, 0.150f, -0.199f, 0.028f});
    y.point(1, 2, {1, 1, 1, 1});
    y.point(1, 3, {0, 0, 0, 0});
    y.point(1, 4, {-1, -1, -1, -1});
    y.point(2, 1, {0.3f, 0.3f, 0.3f, 0.3f}, 0);  // not retained in the second year
    y.point(2, 2, {2, -1, 1, 1});
    y.point(2, 3, {0, 0, -1, -2});
    y.point(2, 4, {-2, 1, 0, 1});
    y.point(2, 5, {0.5f, 0.25f, -0.125f, 3.0f});
    y.point(2, 6, {7, 8, 9, 10}, 0);  // not retained in the second year
    y.shares(1, {58.906f, 22.667f, 7.110f, 5.996f});
    y.shares(2, {61.5f, 20.25f, 10.125f, 4.0f});
    return y;
}

TEST(Align, WritesTheCorrelationRowAndBothPlottingFiles) {
    Years y = pair_of_years();
    const Written w = y.run(1, 2);
    EXPECT_EQ(w.sor, kHeading + records({"      1         2       1.000    -1.000     0.500     0.000"}));
    EXPECT_EQ(w.por, records({
                         "1997        1 HORYAN      0.418   0.150  -0.199   0.028",
                         "",
                         "1997        2 BILOELA     1.000   1.000   1.000   1.000",
                         "1998        2 BILOELA     2.000   1.000   1.000   1.000",
                         "",
                         "1997        3 WARWICK     0.000   0.000   0.000   0.000",
                         "1998        3 WARWICK     0.000   0.000  -1.000  -2.000",
                         "",
                         "1997        4 GATTON     -1.000  -1.000  -1.000  -1.000",
                         "1998        4 GATTON     -2.000  -1.000   0.000   1.000",
                         "",
                         "1998        5 EMERALD     0.500  -0.250  -0.125   3.000",
                         "",
                         "   1 1997    ",
                         " ev as % of SS  58.906  22.667   7.110   5.996",
                         "   2 1998    ",
                         " ev as % of SS  61.500  20.250  10.125   4.000",
                     }));
    EXPECT_EQ(w.orp, records({
                         "   1 1997    ",
                         " ev as % of SS  58.906  22.667   7.110   5.996",
                         "1997        1 HORYAN      0.418   0.150  -0.199   0.028",
                         "1997        2 BILOELA     1.000   1.000   1.000   1.000",
                         "1997        3 WARWICK     0.000   0.000   0.000   0.000",
                         "1997        4 GATTON     -1.000  -1.000  -1.000  -1.000",
                         "   2 1998    ",
                         " ev as % of SS  61.500  20.250  10.125   4.000",
                         "1998        2 BILOELA     2.000   1.000   1.000   1.000",
                         "1998        3 WARWICK     0.000   0.000  -1.000  -2.000",
                         "1998        4 GATTON     -2.000  -1.000   0.000   1.000",
                         "1998        5 EMERALD     0.500  -0.250  -0.125   3.000",
                     }));
    EXPECT_EQ(w.ors, "");
}

TEST(Align, ReversesTheLaterYearOnNegativeAxesOnlyAndForEveryLocation) {
    Years y = pair_of_years();
    const std::array<float, 4> first[] = {y.points(1, 1), y.points(1, 2), y.points(1, 3), y.points(1, 4)};
    y.run(1, 2);
    // Axis 2 (R = -1) is negated for every location, retained or not; axes 1
    // (R = 1), 3 (R = 0.5) and 4 (R exactly 0) keep their signs.
    using P = std::array<float, 4>;
    EXPECT_EQ(y.points(2, 1), (P{0.3f, -0.3f, 0.3f, 0.3f}));
    EXPECT_EQ(y.points(2, 2), (P{2, 1, 1, 1}));
    EXPECT_EQ(y.points(2, 4), (P{-2, -1, 0, 1}));
    EXPECT_EQ(y.points(2, 5), (P{0.5f, -0.25f, -0.125f, 3.0f}));
    EXPECT_EQ(y.points(2, 6), (P{7, -8, 9, 10}));
    // The first year of the sequence sets the orientation and is never changed.
    for (int l = 1; l <= 4; ++l) EXPECT_EQ(y.points(1, l), first[l - 1]) << "location " << l;
}

TEST(Align, ANegativeCorrelationThatPrintsAsZeroStillReverses) {
    Years y(2, 3);
    // Axis 1: x = (1, 0, -1), y = (-0.0001, 1, 0.0001): R = -0.0002 / sqrt(2 * 2/3)
    // = -0.000173.  Axis 2: y = (1, 5, 1) makes Sxy exactly 0.
    y.point(1, 1, {1, 1, 0, 0});
    y.point(1, 2, {0, 0, 0, 0});
    y.point(1, 3, {-1, -1, 0, 0});
    y.point(2, 1, {-0.0001f, 1, 0, 0});
    y.point(2, 2, {1, 5, 0, 0});
    y.point(2, 3, {0.0001f, 1, 0, 0});
    const Written w = y.run(1, 2);
    EXPECT_EQ(w.sor, kHeading + records({"      1         2       0.000     0.000     0.000     0.000"}));
    EXPECT_EQ(y.pt(2, 1, 1), 0.0001f);
    EXPECT_EQ(y.pt(2, 2, 1), -1.0f);
    EXPECT_EQ(y.pt(2, 3, 1), -0.0001f);
    // A correlation of exactly 0 leaves the axis alone.
    EXPECT_EQ(y.pt(2, 1, 2), 1.0f);
    EXPECT_EQ(y.pt(2, 2, 2), 5.0f);
    EXPECT_EQ(y.pt(2, 3, 2), 1.0f);
}

TEST(Align, EachYearIsComparedWithItsPredecessorAsAlreadyReversed) {
    Years y(4, 2);
    // Year 1 lies before IYS and takes no part, although it would reverse
    // year 2 on both axes.
    y.point(1, 1, {-1, -0.5f, 0, 0});
    y.point(1, 2, {1, 0.5f, 0, 0});
    y.point(2, 1, {1, 0.5f, 0, 0});
    y.point(2, 2, {-1, -0.5f, 0, 0});
    y.point(3, 1, {-1, 0.5f, 0, 0});  // axis 1 reversed against year 2
    y.point(3, 2, {1, -0.5f, 0, 0});
    y.point(4, 1, {1, -0.5f, 0, 0});  // axis 1 agrees with year 3 as reversed
    y.point(4, 2, {-1, 0.5f, 0, 0});  // axis 2 is against year 3
    const Written w = y.run(2, 4);
    EXPECT_EQ(w.sor, kHeading + records({"      2         3      -1.000     1.000     0.000     0.000",
                                         "      3         4       1.000    -1.000     0.000     0.000"}));
    using P = std::array<float, 4>;
    EXPECT_EQ(y.points(1, 1), (P{-1, -0.5f, 0, 0}));
    EXPECT_EQ(y.points(2, 1), (P{1, 0.5f, 0, 0}));
    EXPECT_EQ(y.points(3, 1), (P{1, 0.5f, 0, 0}));
    EXPECT_EQ(y.points(4, 1), (P{1, 0.5f, 0, 0}));
    EXPECT_EQ(y.points(4, 2), (P{-1, -0.5f, 0, 0}));
    // The plotting files start at IYS.
    EXPECT_EQ(w.orp.substr(0, 15), "   2 Y2      \r\n");
    const std::string first = records({"Y2          1 L1          1.000   0.500   0.000   0.000"});
    EXPECT_EQ(w.por.substr(0, first.size()), first);
}

TEST(Align, OnlyAFlagOfOneCountsForCorrelationsAndPairsAnyPositiveFlagForYears) {
    Years y(2, 4);
    y.year_name(1, "1990");
    y.year_name(2, "1991");
    const char* locs[] = {"EAST", "WEST", "NORTH", "SOUTH"};
    for (int l = 1; l <= 4; ++l) y.loc_name(l, locs[l - 1]);
    y.point(1, 1, {1, 0, 0, 0});
    y.point(1, 2, {-1, 0, 0, 0});
    y.point(1, 3, {1, 0, 0, 0});
    y.point(1, 4, {0.25f, 0, 0, 0});
    y.point(2, 1, {1, 0, 0, 0});
    y.point(2, 2, {-1, 0, 0, 0});
    // Taken into the correlation, location 3 would make it -0.189 and reverse year 2.
    y.point(2, 3, {-5, 0, 0, 0}, 2);
    y.point(2, 4, {0.75f, 0, 0, 0}, -1);
    y.shares(1, {80, 20, 0, 0});
    y.shares(2, {90, 10, 0, 0});
    const Written w = y.run(1, 2);
    EXPECT_EQ(w.sor, kHeading + records({"      1         2       1.000     0.000     0.000     0.000"}));
    EXPECT_EQ(w.por, records({
                         "1990        1 EAST        1.000   0.000   0.000   0.000",
                         "1991        1 EAST        1.000   0.000   0.000   0.000",
                         "",
                         "1990        2 WEST       -1.000   0.000   0.000   0.000",
                         "1991        2 WEST       -1.000   0.000   0.000   0.000",
                         "",
                         "1990        3 NORTH       1.000   0.000   0.000   0.000",
                         "",
                         "1990        4 SOUTH       0.250   0.000   0.000   0.000",
                         "",
                         "   1 1990    ",
                         " ev as % of SS  80.000  20.000   0.000   0.000",
                         "   2 1991    ",
                         " ev as % of SS  90.000  10.000   0.000   0.000",
                     }));
    EXPECT_EQ(w.orp, records({
                         "   1 1990    ",
                         " ev as % of SS  80.000  20.000   0.000   0.000",
                         "1990        1 EAST        1.000   0.000   0.000   0.000",
                         "1990        2 WEST       -1.000   0.000   0.000   0.000",
                         "1990        3 NORTH       1.000   0.000   0.000   0.000",
                         "1990        4 SOUTH       0.250   0.000   0.000   0.000",
                         "   2 1991    ",
                         " ev as % of SS  90.000  10.000   0.000   0.000",
                         "1991        1 EAST        1.000   0.000   0.000   0.000",
                         "1991        2 WEST       -1.000   0.000   0.000   0.000",
                         "1991        3 NORTH      -5.000   0.000   0.000   0.000",
                     }));
}

TEST(Align, OneYearSequenceWritesOnlyThePerYearFile) {
    Years y(3, 2);
    y.year_name(2, "2002");
    y.loc_name(1, "KEW");
    y.loc_name(2, "RYDE");
    y.point(2, 1, {0.5f, 0, 0, 0});
    y.point(2, 2, {-0.5f, 0, 0, 0});
    y.point(3, 1, {-0.5f, 0, 0, 0});  // would be reversed if year 3 were aligned
    y.point(3, 2, {0.5f, 0, 0, 0});
    y.shares(2, {75, 25, 0, 0});
    const Written before{"old report\r\n", "", "old pairs\r\n", "an older and longer per-year file\r\n\r\n\r\n"};
    const Written w = y.run(2, 2, before);
    EXPECT_EQ(w.sor, before.sor);
    EXPECT_EQ(w.por, before.por);  // never written, so never cut back
    EXPECT_EQ(w.ors, "");
    EXPECT_EQ(w.orp, records({
                         "   2 2002    ",
                         " ev as % of SS  75.000  25.000   0.000   0.000",
                         "2002        1 KEW         0.500   0.000   0.000   0.000",
                         "2002        2 RYDE       -0.500   0.000   0.000   0.000",
                     }));
    EXPECT_EQ(y.pt(3, 1, 1), -0.5f);
}

TEST(Align, FinishBeforeStartWritesNothing) {
    Years y(3, 2);
    y.point(1, 1, {1, 0, 0, 0});
    y.point(1, 2, {-1, 0, 0, 0});
    y.point(2, 1, {-1, 0, 0, 0});
    y.point(2, 2, {1, 0, 0, 0});
    const Written before{"report\r\n", "summary\r\n", "pairs\r\n", "years\r\n"};
    const Written w = y.run(2, 1, before);
    EXPECT_EQ(w.sor, before.sor);
    EXPECT_EQ(w.ors, before.ors);
    EXPECT_EQ(w.por, before.por);
    EXPECT_EQ(w.orp, before.orp);
    EXPECT_EQ(y.pt(2, 1, 1), -1.0f);
}

TEST(Align, APairWithoutCommonLocationsCorrelatesZeroAndTheChainGoesOn) {
    Years y(3, 4);
    y.point(1, 1, {1, 0, 0, 0});
    y.point(1, 2, {-1, 0, 0, 0});
    y.point(2, 3, {1, 0, 0, 0});
    y.point(2, 4, {-1, 0, 0, 0});
    y.point(3, 3, {-1, 0, 0, 0});
    y.point(3, 4, {1, 0, 0, 0});
    // Entries of locations not retained in year 2 that would correlate -1
    // with year 1 if they took part.
    y.pt(2, 1, 1) = -1;
    y.pt(2, 2, 1) = 1;
    const Written w = y.run(1, 3);
    EXPECT_EQ(w.sor, kHeading + records({"      1         2       0.000     0.000     0.000     0.000",
                                         "      2         3      -1.000     0.000     0.000     0.000"}));
    EXPECT_EQ(y.pt(2, 3, 1), 1.0f);  // year 2 keeps its orientation
    EXPECT_EQ(y.pt(3, 3, 1), 1.0f);  // year 3 is aligned with it
    EXPECT_EQ(y.pt(3, 4, 1), -1.0f);
    // Pairs without a common location still list each year's locations.
    const std::string first = records({"Y1          1 L1          1.000   0.000   0.000   0.000", ""});
    EXPECT_EQ(w.por.substr(0, first.size()), first);
}

TEST(Align, ExactlyOneCommonLocationCorrelatesZero) {
    Years y(2, 3);
    y.point(1, 1, {0.1f, 0.3f, -1.25f, 2.5f});
    y.point(1, 2, {0.7f, -0.3f, 1.5f, -2.0f});
    y.point(2, 2, {-0.1f, 0.9f, -3.0f, 0.6f});
    y.point(2, 3, {0.4f, -0.2f, 2.0f, -1.5f});
    const Written w = y.run(1, 2);
    EXPECT_EQ(w.sor, kHeading + records({"      1         2       0.000     0.000     0.000     0.000"}));
    EXPECT_EQ(y.points(2, 2), (std::array<float, 4>{-0.1f, 0.9f, -3.0f, 0.6f}));
}

TEST(Align, AxesAYearDoesNotHaveCorrelateZeroAndAreNeverReversed) {
    Years y(2, 3);
    // Year 1 has two axes, year 2 one: axis 1 correlates -1 (y = -2x).
    y.point(1, 1, {1, 0.5f, 0, 0});
    y.point(1, 2, {-1, -0.5f, 0, 0});
    y.point(1, 3, {0.5f, 0.25f, 0, 0});
    y.point(2, 1, {-2, 0, 0, 0});
    y.point(2, 2, {2, 0, 0, 0});
    y.point(2, 3, {-1, 0, 0, 0});
    const Written w = y.run(1, 2);
    EXPECT_EQ(w.sor, kHeading + records({"      1         2      -1.000     0.000     0.000     0.000"}));
    EXPECT_EQ(y.pt(2, 1, 1), 2.0f);
    for (int l = 1; l <= 3; ++l)
        for (int m = 2; m <= 4; ++m) EXPECT_FALSE(std::signbit(y.pt(2, l, m))) << "location " << l << " axis " << m;
}

TEST(Align, SumsAreAccumulatedInSinglePrecision) {
    Years y(2, 2);
    // Axis 1: x = (1000, 1000.0625).  In single precision the sum of squares
    // is 2000125, below 2000.0625^2 / 2 = 2000125.00195, so Sxx < 0 and R = 0;
    // in exact arithmetic R would be -1.  Axis 2 is a plain -1.
    y.point(1, 1, {1000.0f, 1, 0, 0});
    y.point(1, 2, {1000.0625f, -1, 0, 0});
    y.point(2, 1, {1, -1, 0, 0});
    y.point(2, 2, {-1, 1, 0, 0});
    const Written w = y.run(1, 2);
    EXPECT_EQ(w.sor, kHeading + records({"      1         2       0.000    -1.000     0.000     0.000"}));
    EXPECT_EQ(y.pt(2, 1, 1), 1.0f);
    EXPECT_EQ(y.pt(2, 1, 2), 1.0f);
}

// -------------------------------------------------------- whole runs ---

fs::path case_dir(const std::string& name) { return data_dir() / "alignment" / name; }

// Copies the case's inputs into `dir` and runs the job there.
RunResult run_case(const std::string& name, const TempDir& dir) {
    for (const char* f : {"JOB.EMA", "JOB.NAQ"}) fs::copy_file(case_dir(name) / "input" / f, dir / f);
    return run_job(dir.path());
}

// The expected files are kept with plain line ends; the run writes CR LF.
void expect_output(const std::string& name, const TempDir& dir, const char* file) {
    EXPECT_EQ(read_file(dir / file), crlf(read_file(case_dir(name) / "expected" / file))) << name << ": " << file;
}

// Years 2 (four locations on a line), 3, 1, 4, 5, 6 in that order; IYS = 2,
// IYF = 7.  Year 1 lies outside the sequence, year 7 has no block; years 3
// and 4 are reversed down the chain, year 4 flags a location 2, years 4 and
// 5 share one location, years 5 and 6 none.
TEST(AlignmentRun, SequenceWithReversalsGapsAndFlags) {
    TempDir dir;
    const RunResult r = run_case("sequence", dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    for (const char* f : {"JOB.SOR", "JOB.ORS", "JOB.POR", "JOB.ORP"}) expect_output("sequence", dir, f);
}

TEST(AlignmentRun, OneYearSequenceLeavesThePairFileAsItWas) {
    TempDir dir;
    const std::string old_pairs = "pairs of an earlier run\r\n";
    write_file(dir / "JOB.POR", old_pairs);
    write_file(dir / "JOB.ORP", std::string(400, 'x') + "\r\n");
    const RunResult r = run_case("single_year", dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    for (const char* f : {"JOB.SOR", "JOB.ORS", "JOB.ORP"}) expect_output("single_year", dir, f);
    EXPECT_EQ(read_file(dir / "JOB.POR"), old_pairs);
}

TEST(AlignmentRun, FinishBeforeStartLeavesThePlottingFilesEmpty) {
    TempDir dir;
    const RunResult r = run_case("finish_before_start", dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    for (const char* f : {"JOB.SOR", "JOB.ORS"}) expect_output("finish_before_start", dir, f);
    ASSERT_TRUE(fs::exists(dir / "JOB.POR"));
    ASSERT_TRUE(fs::exists(dir / "JOB.ORP"));
    EXPECT_EQ(read_file(dir / "JOB.POR"), "");
    EXPECT_EQ(read_file(dir / "JOB.ORP"), "");
}

TEST(AlignmentRun, MainInputWithoutYearRecords) {
    TempDir dir;
    const RunResult r = run_case("no_year_record", dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    for (const char* f : {"JOB.SOR", "JOB.ORS", "JOB.POR", "JOB.ORP"}) expect_output("no_year_record", dir, f);
}

// The records of a plotting file, without their line ends.
std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> out;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find("\r\n", start);
        if (end == std::string::npos) throw std::runtime_error("record without CR LF");
        out.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return out;
}

bool is_shares(const std::string& line) { return line.rfind(" ev as % of SS", 0) == 0; }

// Every point that the pair file shows for a year and location reads the
// same in the per-year file, and every year label with its shares too.
TEST(AlignmentRun, GoldenPairAndYearFilesShowTheSamePoints) {
    const char* cases[] = {"small_001", "small_002", "small_003", "edge_base", "edge_nl_10_11_12",
                           "edge_axes_gt_10", "edge_year_missing"};
    for (const char* c : cases) {
        SCOPED_TRACE(c);
        TempDir dir;
        for (const char* f : {"JOB.EMA", "JOB.NAQ"})
            fs::copy_file(data_dir() / "golden" / c / "input" / f, dir / f);
        const RunResult r = run_job(dir.path());
        ASSERT_EQ(r.status, 0);

        // Per-year file: O1, O2, then that year's O3 records.
        std::map<std::pair<std::string, std::string>, std::string> points;  // (year name, location) -> record
        std::map<std::string, std::string> labels;                           // O1 -> O2
        const std::vector<std::string> orp = lines_of(read_file(dir / "JOB.ORP"));
        for (std::size_t i = 0; i < orp.size(); ++i) {
            const std::string& line = orp[i];
            if (line.size() == 13) {
                ASSERT_LT(i + 1, orp.size());
                ASSERT_TRUE(is_shares(orp[i + 1])) << orp[i + 1];
                labels[line] = orp[i + 1];
                ++i;
            } else {
                ASSERT_EQ(line.size(), 55u) << line;
                EXPECT_TRUE(points.emplace(std::make_pair(line.substr(0, 8), line.substr(9, 4)), line).second)
                    << "point listed twice in the per-year file: " << line;
            }
        }

        std::size_t compared = 0, pairs = 0;
        const std::vector<std::string> por = lines_of(read_file(dir / "JOB.POR"));
        for (std::size_t i = 0; i < por.size(); ++i) {
            const std::string& line = por[i];
            if (line.empty()) continue;
            if (line.size() == 13) {
                ASSERT_LT(i + 1, por.size());
                EXPECT_EQ(labels[line], por[i + 1]) << "shares of " << line;
                ++i;
                ++pairs;
                continue;
            }
            ASSERT_EQ(line.size(), 55u) << line;
            const auto it = points.find({line.substr(0, 8), line.substr(9, 4)});
            ASSERT_NE(it, points.end()) << "missing from the per-year file: " << line;
            EXPECT_EQ(it->second, line);
            ++compared;
        }
        EXPECT_GT(compared, 0u);
        EXPECT_GT(pairs, 0u);
    }
}

}  // namespace
}  // namespace seqord::test
