// The ordination steps of one year: centring of the dissimilarity matrix,
// the Jacobi decomposition with its row records and its cycle guard, the
// eigenvalue report, and the scaling, filing and listing of the scores.
//
// Every table is a workspace slice with a first extent larger than the
// year's order, filled with a marker value, so that a wrong stride or a
// write outside the leading block shows up.  The expected numbers are worked
// out from the arithmetic of each step, not taken from a run.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "ordination/ordination.h"
#include "support.h"
#include "records/records.h"

namespace seqord::ordination {
namespace {

// ------------------------------------------------------------ helpers ---

constexpr float kMark = -777.25f;      // marks cells a step must not touch
constexpr std::int32_t kIntMark = -55;  // the same for integer tables
constexpr double kTol = 5e-4;           // the worked examples give four decimals

std::int64_t sz(const std::vector<float>& v) { return static_cast<std::int64_t>(v.size()); }

Table<float> square(std::vector<float>& v, std::int32_t maxl) { return {v.data(), sz(v), maxl, 1}; }
Table<float> vec(std::vector<float>& v) { return {v.data(), sz(v), sz(v), 1}; }
Table<std::int32_t> ivec(std::vector<std::int32_t>& v) {
    const auto n = static_cast<std::int64_t>(v.size());
    return {v.data(), n, n, 1};
}

// Element (i, j) of a table with first extent e1, worked out here rather
// than through Table so that a stride fault in either cannot hide the other.
float& cell(std::vector<float>& m, std::int32_t e1, std::int32_t i, std::int32_t j) {
    return m[static_cast<std::size_t>((j - 1) * e1 + (i - 1))];
}
float cell(const std::vector<float>& m, std::int32_t e1, std::int32_t i, std::int32_t j) {
    return m[static_cast<std::size_t>((j - 1) * e1 + (i - 1))];
}

// Every cell of an maxl x maxl table outside its leading nl x nl block still marked.
void expect_outside_untouched(const std::vector<float>& m, std::int32_t maxl, std::int32_t nl, const char* what) {
    for (std::int32_t j = 1; j <= maxl; ++j)
        for (std::int32_t i = 1; i <= maxl; ++i)
            if (i > nl || j > nl) {
                EXPECT_EQ(cell(m, maxl, i, j), kMark) << what << "(" << i << "," << j << ")";
            }
}

using seqord::test::bits;
using seqord::test::records;

std::string rj(const std::string& s, std::size_t w) { return s.size() >= w ? s : std::string(w - s.size(), ' ') + s; }
std::string blanks(std::size_t n) { return std::string(n, ' '); }

// Records as they stand in a file: each line ends in CR LF.
std::string recs(std::initializer_list<std::string> lines) {
    std::string s;
    for (const auto& l : lines) s += l + "\r\n";
    return s;
}

// The numbers in fixed-width fields of a record, from column `first` on.
std::vector<double> fields(const std::string& rec, std::size_t first, std::size_t width) {
    std::vector<double> out;
    for (std::size_t p = first - 1; p + width <= rec.size(); p += width) out.push_back(std::stod(rec.substr(p, width)));
    return out;
}

// The .SOR and .ORS streams of a Files set written into temporary files.
class Outputs {
    // Declared before `files`, so the streams are flushed before these close.
    test::TempFile sor_, ors_;

    static std::string contents(OutStream& s, const test::TempFile& f) {
        s.flush();
        return f.contents();
    }

public:
    Files files;

    Outputs() {
        files.sor.bind(22, "T.SOR", sor_.fd(), false);
        files.ors.bind(23, "T.ORS", ors_.fd(), false);
    }
    std::string sor() { return contents(files.sor, sor_); }
    std::string ors() { return contents(files.ors, ors_); }
};

// ---------------------------------------------------------- centring ---

// A workspace matrix holding dissimilarities below the diagonal, as the
// matrix reader leaves it: lower[i - 2][j - 1] is d(i, j), j < i.
struct Centring {
    std::int32_t maxl, nl;
    std::vector<float> a, ev;
    Outputs out;

    Centring(std::int32_t maxl_, std::int32_t nl_, const std::vector<std::vector<float>>& lower)
        : maxl(maxl_), nl(nl_), a(static_cast<std::size_t>(maxl_ * maxl_), kMark),
          ev(static_cast<std::size_t>(maxl_), kMark) {
        for (std::int32_t j = 1; j <= nl; ++j)
            for (std::int32_t i = 1; i <= nl; ++i) cell(a, maxl, i, j) = 0.0f;
        for (std::int32_t i = 2; i <= nl; ++i)
            for (std::int32_t j = 1; j < i; ++j)
                cell(a, maxl, i, j) = lower[static_cast<std::size_t>(i - 2)][static_cast<std::size_t>(j - 1)];
    }
    void run() { centre(out.files, Tables{.A = square(a, maxl), .EV = vec(ev), .maxl = maxl}, nl); }
    float b(std::int32_t i, std::int32_t j) const { return cell(a, maxl, i, j); }
};

TEST(Centre, ThreeLocationExample) {
    Centring c(5, 3, {{1.0f}, {4.0f, 2.0f}});
    // The upper triangle is not part of the input: it is overwritten from below.
    cell(c.a, 5, 1, 2) = 9.0f;
    cell(c.a, 5, 2, 3) = -3.5f;
    c.run();

    EXPECT_EQ(c.out.sor(), recs({"   0.000   1.000   4.000", "   1.000   0.000   2.000", "   4.000   2.000   0.000"}));
    EXPECT_EQ(c.out.ors(), "");

    const double want[3][3] = {{0.8889, 0.0556, -0.9444}, {0.0556, 0.2222, -0.2778}, {-0.9444, -0.2778, 1.2222}};
    for (std::int32_t i = 1; i <= 3; ++i)
        for (std::int32_t j = 1; j <= 3; ++j) EXPECT_NEAR(c.b(i, j), want[i - 1][j - 1], kTol) << i << "," << j;
    for (std::int32_t k = 1; k <= 3; ++k) {
        EXPECT_NEAR(c.b(k, 1) + c.b(k, 2) + c.b(k, 3), 0.0, 1e-6) << "row " << k;
        EXPECT_NEAR(c.b(1, k) + c.b(2, k) + c.b(3, k), 0.0, 1e-6) << "column " << k;
    }
    expect_outside_untouched(c.a, 5, 3, "A");
    // The work vector ends with the column means of the row-centred matrix.
    EXPECT_NEAR(c.ev[0], -1.0 / 18, kTol);
    EXPECT_NEAR(c.ev[1], 5.0 / 18, kTol);
    EXPECT_NEAR(c.ev[2], -2.0 / 9, kTol);
    EXPECT_EQ(c.ev[3], kMark);
    EXPECT_EQ(c.ev[4], kMark);
}

TEST(Centre, TwoLocationsGiveAQuarterOfTheDissimilarity) {
    Centring c(4, 2, {{5.0f}});
    c.run();
    EXPECT_EQ(c.out.sor(), recs({"   0.000   5.000", "   5.000   0.000"}));
    EXPECT_EQ(c.b(1, 1), 1.25f);
    EXPECT_EQ(c.b(2, 2), 1.25f);
    EXPECT_EQ(c.b(1, 2), -1.25f);
    EXPECT_EQ(c.b(2, 1), -1.25f);
    expect_outside_untouched(c.a, 4, 2, "A");
}

TEST(Centre, SquaredDistancesOfPointsOnALineGiveTheirCrossProducts) {
    // Points at 0, 1 and 2: d(1,2) = 1, d(1,3) = 4, d(2,3) = 1.
    Centring c(5, 3, {{1.0f}, {4.0f, 1.0f}});
    c.run();
    const double want[3][3] = {{1, 0, -1}, {0, 0, 0}, {-1, 0, 1}};
    for (std::int32_t i = 1; i <= 3; ++i)
        for (std::int32_t j = 1; j <= 3; ++j) EXPECT_NEAR(c.b(i, j), want[i - 1][j - 1], 1e-6) << i << "," << j;
}

TEST(Centre, OneLocationAndNone) {
    Centring one(3, 1, {});
    one.run();
    EXPECT_EQ(one.out.sor(), recs({"   0.000"}));
    EXPECT_EQ(one.b(1, 1), 0.0f);
    expect_outside_untouched(one.a, 3, 1, "A");

    Centring none(3, 0, {});
    none.run();
    EXPECT_EQ(none.out.sor(), "");
    expect_outside_untouched(none.a, 3, 0, "A");
    for (float e : none.ev) EXPECT_EQ(e, kMark);
}

TEST(Centre, TwelveLocationsWrapTheirRowsAndStillSumToZero) {
    // d(i, j) = |i - j|; every row of the symmetric matrix takes two lines.
    const std::int32_t n = 12, maxl = 14;
    std::vector<std::vector<float>> lower;
    for (std::int32_t i = 2; i <= n; ++i) {
        lower.emplace_back();
        for (std::int32_t j = 1; j < i; ++j) lower.back().push_back(static_cast<float>(i - j));
    }
    Centring c(maxl, n, lower);
    c.run();

    auto f83 = [](int v) { return rj(std::to_string(v) + ".000", 8); };
    std::string want;
    for (int i = 1; i <= n; ++i) {
        std::string line;
        for (int j = 1; j <= n; ++j) {
            line += f83(std::abs(i - j));
            if (j == 10 || j == n) {
                want += line + "\r\n";
                line.clear();
            }
        }
    }
    EXPECT_EQ(c.out.sor(), want);

    // Exact double centring of a = -d/2: b = a - rowmean - colmean + grand mean.
    auto a = [](int i, int j) { return -0.5 * std::abs(i - j); };
    double mean[n + 1] = {};
    double grand = 0;
    for (int i = 1; i <= n; ++i) {
        for (int j = 1; j <= n; ++j) mean[i] += a(i, j) / n;
        grand += mean[i] / n;
    }
    for (int i = 1; i <= n; ++i)
        for (int j = 1; j <= n; ++j)
            EXPECT_NEAR(c.b(i, j), a(i, j) - mean[i] - mean[j] + grand, 2e-6) << i << "," << j;
    expect_outside_untouched(c.a, maxl, n, "A");
}

TEST(Centre, FourTermsOfARowMeanAreRoundedOnce) {
    // Row 1 after the factor -0.5 is (0, -1, -e, -e) with e = 2^-24.  Summed
    // four at a time in double it gives -(1 + 2^-23) exactly; one term at a
    // time in single precision it would stay at -1.  The whole centring then
    // leaves 0.375 + 2^-24 in B(1, 1) (0.375 + 2^-25 the other way).
    const float d = std::ldexp(1.0f, -23);
    Centring c(5, 4, {{2.0f}, {d, 0.0f}, {d, 0.0f, 0.0f}});
    c.run();
    EXPECT_EQ(c.b(1, 1), 0.375f + std::ldexp(1.0f, -24));
}

// ------------------------------------------------------ decomposition ---

// One decomposition: the leading block of A from full symmetric rows, every
// other cell of A and V, and the work vectors, marked.
struct Eigen {
    std::int32_t maxl, n;
    std::vector<float> a, v, ev;
    std::vector<std::int32_t> iwk;
    std::int32_t nrot = -99;
    bool cycled = true;

    Eigen(std::int32_t maxl_, const std::vector<std::vector<double>>& rows)
        : maxl(maxl_), n(static_cast<std::int32_t>(rows.size())), a(static_cast<std::size_t>(maxl_ * maxl_), kMark),
          v(a), ev(static_cast<std::size_t>(maxl_), kMark), iwk(static_cast<std::size_t>(maxl_), kIntMark) {
        for (std::int32_t i = 1; i <= n; ++i)
            for (std::int32_t j = 1; j <= n; ++j)
                cell(a, maxl, i, j) =
                    static_cast<float>(rows[static_cast<std::size_t>(i - 1)][static_cast<std::size_t>(j - 1)]);
    }
    void run(std::int32_t mode = 0, JacobiGuard* guard = nullptr) {
        const JacobiResult r = jacobi(square(a, maxl), n, mode, square(v, maxl), vec(ev), ivec(iwk), guard);
        nrot = r.nrot;
        cycled = r.cycled;
    }
    float A(std::int32_t i, std::int32_t j) const { return cell(a, maxl, i, j); }
    float V(std::int32_t i, std::int32_t j) const { return cell(v, maxl, i, j); }

    void expect_column(std::int32_t k, std::initializer_list<double> want, double tol = kTol) const {
        std::int32_t i = 1;
        for (double w : want) {
            EXPECT_NEAR(V(i, k), w, tol) << "V(" << i << "," << k << ")";
            ++i;
        }
    }
    void expect_work_vectors_untouched_beyond_n() const {
        for (std::int32_t r = n + 1; r <= maxl; ++r) {
            EXPECT_EQ(ev[static_cast<std::size_t>(r - 1)], kMark) << "EV(" << r << ")";
            EXPECT_EQ(iwk[static_cast<std::size_t>(r - 1)], kIntMark) << "IWK(" << r << ")";
        }
    }
};

TEST(Jacobi, NoLocationAndOneLocation) {
    Eigen none(3, {});
    none.run();
    EXPECT_EQ(none.nrot, 0);
    for (float x : none.a) EXPECT_EQ(x, kMark);
    for (float x : none.v) EXPECT_EQ(x, kMark);
    none.expect_work_vectors_untouched_beyond_n();

    Eigen one(3, {{2.5}});
    one.run();
    EXPECT_EQ(one.nrot, 0);
    EXPECT_EQ(one.A(1, 1), 2.5f);
    EXPECT_EQ(one.V(1, 1), 1.0f);
    expect_outside_untouched(one.a, 3, 1, "A");
    expect_outside_untouched(one.v, 3, 1, "V");
    one.expect_work_vectors_untouched_beyond_n();
}

TEST(Jacobi, DiagonalMatrixIsLeftInItsOrder) {
    Eigen e(5, {{1, 0, 0}, {0, 2, 0}, {0, 0, 3}});
    e.run();
    EXPECT_EQ(e.nrot, 0);
    for (std::int32_t i = 1; i <= 3; ++i)
        for (std::int32_t j = 1; j <= 3; ++j) {
            EXPECT_EQ(e.A(i, j), i == j ? static_cast<float>(i) : 0.0f) << i << "," << j;
            EXPECT_EQ(e.V(i, j), i == j ? 1.0f : 0.0f) << i << "," << j;
        }
    expect_outside_untouched(e.a, 5, 3, "A");
    expect_outside_untouched(e.v, 5, 3, "V");
}

TEST(Jacobi, LargerValueIsMovedToTheLowerIndex) {
    // The first rotation leaves 3.3028 at (2, 2); the quarter turn moves it up.
    Eigen e(4, {{0, 1}, {1, 3}});
    e.run();
    EXPECT_EQ(e.nrot, 1);
    EXPECT_NEAR(e.A(1, 1), 3.3028, kTol);
    EXPECT_NEAR(e.A(2, 2), -0.3028, kTol);
    EXPECT_EQ(e.A(1, 2), 0.0f);
    EXPECT_EQ(e.A(2, 1), 1.0f);  // the lower triangle is never written
    e.expect_column(1, {0.2898, 0.9571});
    e.expect_column(2, {-0.9571, 0.2898});
    expect_outside_untouched(e.a, 4, 2, "A");
    expect_outside_untouched(e.v, 4, 2, "V");
    e.expect_work_vectors_untouched_beyond_n();
}

TEST(Jacobi, EigenvaluesOnlyLeavesVAlone) {
    Eigen e(4, {{0, 1}, {1, 3}});
    e.run(1);
    EXPECT_EQ(e.nrot, 1);
    EXPECT_NEAR(e.A(1, 1), 3.3028, kTol);
    EXPECT_NEAR(e.A(2, 2), -0.3028, kTol);
    for (float x : e.v) EXPECT_EQ(x, kMark);
}

TEST(Jacobi, TwoLocationCentredMatrix) {
    for (double d : {5.0, 8.0, 0.4}) {
        SCOPED_TRACE(d);
        Eigen e(3, {{d / 4, -d / 4}, {-d / 4, d / 4}});
        e.run();
        EXPECT_EQ(e.nrot, 1);
        EXPECT_NEAR(e.A(1, 1), d / 2, 1e-6 * d);
        EXPECT_NEAR(e.A(2, 2), 0.0, 1e-6 * d);
        e.expect_column(1, {0.7071, -0.7071});
        e.expect_column(2, {0.7071, 0.7071});
    }
}

TEST(Jacobi, ZeroOnTheDiagonalStopsOnlyWhenAllRecordsAreZero) {
    Eigen e(5, {{1, 0, -1}, {0, 0, 0}, {-1, 0, 1}});
    e.run();
    EXPECT_EQ(e.nrot, 1);
    EXPECT_NEAR(e.A(1, 1), 2.0, 1e-6);
    EXPECT_NEAR(e.A(2, 2), 0.0, 1e-6);
    EXPECT_NEAR(e.A(3, 3), 0.0, 1e-6);
    EXPECT_EQ(e.A(1, 2), 0.0f);
    EXPECT_EQ(e.A(1, 3), 0.0f);
    EXPECT_EQ(e.A(2, 3), 0.0f);
    e.expect_column(1, {0.7071, 0, -0.7071});
    e.expect_column(2, {0, 1, 0});
    e.expect_column(3, {0.7071, 0, 0.7071});
}

TEST(Jacobi, ThreeLocationExampleReadsOnlyTheUpperTriangle) {
    // The centred matrix of the three-location example above the diagonal,
    // and values below it that must neither be read nor changed.
    Eigen e(5, {{8.0 / 9, 1.0 / 18, -17.0 / 18}, {40, 2.0 / 9, -5.0 / 18}, {-41, 42, 11.0 / 9}});
    e.run();
    EXPECT_NEAR(e.A(1, 1), 2.0486, kTol);
    EXPECT_NEAR(e.A(2, 2), 0.2847, kTol);
    EXPECT_NEAR(e.A(3, 3), 0.0, 1e-5);
    e.expect_column(1, {0.6295, 0.1355, -0.7651});
    e.expect_column(2, {-0.5199, 0.8052, -0.2852});
    e.expect_column(3, {0.5774, 0.5774, 0.5774});
    EXPECT_EQ(e.A(2, 1), 40.0f);
    EXPECT_EQ(e.A(3, 1), -41.0f);
    EXPECT_EQ(e.A(3, 2), 42.0f);
    expect_outside_untouched(e.a, 5, 3, "A");
    expect_outside_untouched(e.v, 5, 3, "V");
    e.expect_work_vectors_untouched_beyond_n();
}

// ---- ties of the pivot choice and of the record scans
//
// Off-diagonal elements of e = 1.5 * 2^-26 over a diagonal of well separated
// integers: e is above the stopping bound (2^-27 times the smallest diagonal
// value, 1), while every rotation is so small that it leaves each other
// element and every diagonal value exactly as it was, except that a rotation
// of (p, q) with A(p, p) < A(q, q) exchanges rows and columns p and q (the
// quarter turn).  Each rotation so removes one e and permutes the
// diagonal, and the final order of the diagonal tells which element was
// rotated first.  Elements of order e^2 are left behind, far below the bound.

const double kE = 1.5 * std::ldexp(1.0, -26);

std::vector<std::vector<double>> spread(std::vector<double> diag,
                                        std::initializer_list<std::pair<std::pair<int, int>, double>> off) {
    const std::size_t n = diag.size();
    std::vector<std::vector<double>> m(n, std::vector<double>(n, 0.0));
    for (std::size_t k = 0; k < n; ++k) m[k][k] = diag[k];
    for (const auto& [ij, x] : off) {
        m[static_cast<std::size_t>(ij.first - 1)][static_cast<std::size_t>(ij.second - 1)] = x;
        m[static_cast<std::size_t>(ij.second - 1)][static_cast<std::size_t>(ij.first - 1)] = x;
    }
    return m;
}

void expect_diagonal(const Eigen& e, std::initializer_list<float> want) {
    std::int32_t k = 1;
    for (float w : want) {
        EXPECT_EQ(e.A(k, k), w) << "A(" << k << "," << k << ")";
        ++k;
    }
}

// The outcome of rotating (1,3) first and (2,3) second on diag(1, 4, 16).
void expect_13_then_23(const Eigen& e) {
    EXPECT_EQ(e.nrot, 2);
    expect_diagonal(e, {16, 4, 1});
    e.expect_column(1, {0, 0, 1}, 1e-6);
    e.expect_column(2, {0, 1, 0}, 1e-6);
    e.expect_column(3, {-1, 0, 0}, 1e-6);
}

TEST(JacobiTies, LowestOfEqualRowRecordsIsThePivot) {
    // Rows 1 and 2 both record e in column 3.  Row 1 first: (1,3) is
    // exchanged, then (1,2) is not: 16, 4, 1.  Row 2 first would give 16, 1, 4.
    Eigen e(5, spread({1, 4, 16}, {{{1, 3}, kE}, {{2, 3}, kE}}));
    e.run();
    expect_13_then_23(e);
}

TEST(JacobiTies, InitialScanKeepsTheLastOfEqualMagnitudes) {
    // Row 1 holds e in columns 2 and 3; its record is column 3.  (1,3) and
    // then (2,3) give 16, 4, 1; starting with (1,2) would give 4, 16, 1.
    Eigen e(5, spread({1, 4, 16}, {{{1, 2}, kE}, {{1, 3}, kE}}));
    e.run();
    expect_13_then_23(e);
}

TEST(JacobiTies, RebuiltRecordKeepsTheLastOfEqualMagnitudes) {
    // (3,4) = 2e goes first.  Row 1 recorded column 4 and is rebuilt without
    // it, among the equal e of columns 2 and 3: column 3.  The rotation leaves
    // e in columns 3 and 4 of row 1, equal, so the record stays.  Rotating
    // (1,3) next leads to 13, 5, 9, 1; (1,2) would lead to 5, 13, 9, 1.
    Eigen e(6, spread({1, 5, 9, 13}, {{{1, 2}, kE}, {{1, 3}, kE}, {{1, 4}, kE}, {{3, 4}, 2 * kE}}));
    e.run();
    EXPECT_EQ(e.nrot, 4);
    expect_diagonal(e, {13, 5, 9, 1});
    e.expect_column(1, {0, 0, 0, 1}, 1e-6);
    e.expect_column(2, {0, 1, 0, 0}, 1e-6);
    e.expect_column(3, {0, 0, -1, 0}, 1e-6);
    e.expect_column(4, {1, 0, 0, 0}, 1e-6);
}

TEST(JacobiTies, EqualNewElementDoesNotReplaceARecord) {
    // (3,4) = 2e goes first and is exchanged: row 1's e moves from column 4 to
    // column 3, equal to the rebuilt record of column 2, which stays.  So (1,2)
    // is next, then (2,3): 5, 13, 1, 9.  Replacing on equality would rotate
    // (1,3) next and give 13, 5, 1, 9.
    Eigen e(6, spread({1, 5, 9, 13}, {{{1, 2}, kE}, {{1, 4}, kE}, {{3, 4}, 2 * kE}}));
    e.run();
    EXPECT_EQ(e.nrot, 3);
    expect_diagonal(e, {5, 13, 1, 9});
    e.expect_column(1, {0, 1, 0, 0}, 1e-6);
    e.expect_column(2, {0, 0, 0, -1}, 1e-6);
    e.expect_column(3, {-1, 0, 0, 0}, 1e-6);
    e.expect_column(4, {0, 0, -1, 0}, 1e-6);
}

TEST(JacobiTies, MatrixOfOnes) {
    // All records are 1 in column 3: (1,3) is rotated first (c = s), which
    // leaves sqrt 2 at (1,2) and exact zeros at (2,3); (1,2) then ends it.
    // Starting at (1,2) or at (2,3) would give other vectors 2 and 3.
    Eigen e(4, {{1, 1, 1}, {1, 1, 1}, {1, 1, 1}});
    e.run();
    EXPECT_EQ(e.nrot, 2);
    EXPECT_NEAR(e.A(1, 1), 3.0, 1e-6);
    EXPECT_NEAR(e.A(2, 2), 0.0, 1e-6);
    EXPECT_EQ(e.A(3, 3), 0.0f);
    e.expect_column(1, {0.5774, 0.5774, 0.5774});
    e.expect_column(2, {-0.4082, 0.8165, -0.4082});
    e.expect_column(3, {-0.7071, 0, 0.7071});
}

// ---- whole decompositions of random matrices, with and without the guard

std::vector<std::vector<double>> random_symmetric(std::int32_t n, std::uint32_t seed) {
    std::mt19937 gen(seed);
    std::uniform_real_distribution<double> u(-2.0, 2.0);
    std::vector<std::vector<double>> m(static_cast<std::size_t>(n), std::vector<double>(static_cast<std::size_t>(n)));
    for (std::size_t i = 0; i < m.size(); ++i)
        for (std::size_t j = 0; j <= i; ++j) m[i][j] = m[j][i] = static_cast<float>(u(gen));
    return m;
}

TEST(JacobiRandom, ResultIsAnEigenDecompositionThatMeetsTheStoppingBound) {
    for (std::int32_t n : {6, 20}) {
        for (std::uint32_t seed : {1u, 2u, 3u}) {
            SCOPED_TRACE(testing::Message() << "n " << n << " seed " << seed);
            const auto s = random_symmetric(n, seed);
            Eigen e(n + 3, s);
            const std::vector<float> before = e.a;
            e.run();

            double trace = 0, diag = 0, smallest = HUGE_VAL;
            for (std::int32_t k = 1; k <= n; ++k) {
                trace += s[static_cast<std::size_t>(k - 1)][static_cast<std::size_t>(k - 1)];
                diag += e.A(k, k);
                smallest = std::min(smallest, std::fabs(static_cast<double>(e.A(k, k))));
            }
            EXPECT_NEAR(diag, trace, 1e-4);
            // Stopped by the bound: no element above 2^-27 times the smallest diagonal value.
            const double bound = 7.450580596923828E-9 * smallest * (1 + 1e-6);
            for (std::int32_t j = 2; j <= n; ++j)
                for (std::int32_t i = 1; i < j; ++i) EXPECT_LE(std::fabs(e.A(i, j)), bound) << i << "," << j;
            // S V(., k) = A(k, k) V(., k), the columns orthonormal.
            for (std::int32_t k = 1; k <= n; ++k) {
                for (std::int32_t i = 1; i <= n; ++i) {
                    double sv = 0;
                    for (std::int32_t j = 1; j <= n; ++j)
                        sv += s[static_cast<std::size_t>(i - 1)][static_cast<std::size_t>(j - 1)] * e.V(j, k);
                    EXPECT_NEAR(sv, static_cast<double>(e.A(k, k)) * e.V(i, k), 1e-4) << i << "," << k;
                }
                for (std::int32_t l = k; l <= n; ++l) {
                    double dot = 0;
                    for (std::int32_t i = 1; i <= n; ++i) dot += static_cast<double>(e.V(i, k)) * e.V(i, l);
                    EXPECT_NEAR(dot, k == l ? 1.0 : 0.0, 1e-5) << k << "," << l;
                }
            }
            for (std::int32_t j = 1; j <= n; ++j)
                for (std::int32_t i = j + 1; i <= n; ++i)
                    EXPECT_EQ(bits(e.A(i, j)), bits(cell(before, n + 3, i, j))) << "lower " << i << "," << j;
            expect_outside_untouched(e.a, n + 3, n, "A");
            expect_outside_untouched(e.v, n + 3, n, "V");
            e.expect_work_vectors_untouched_beyond_n();
        }
    }
}

// The guard compares the state after each rotation with earlier snapshots;
// a decomposition that ends never meets a state twice, so with the guard it
// must make exactly the same rotations, whether the guard watches from the
// first rotation or only from its default start.
void expect_same_with_guard(const std::vector<std::vector<double>>& m, std::int32_t maxl, JacobiGuard& guard) {
    Eigen plain(maxl, m);
    plain.run();
    for (std::int64_t from : {std::int64_t{0}, std::int64_t{-1}}) {
        SCOPED_TRACE(testing::Message() << "watch from " << from);
        guard.watch_from = from;
        Eigen guarded(maxl, m);
        guarded.run(0, &guard);
        EXPECT_FALSE(guarded.cycled);
        EXPECT_EQ(guarded.nrot, plain.nrot);
        for (std::size_t x = 0; x < plain.a.size(); ++x) {
            EXPECT_EQ(bits(guarded.a[x]), bits(plain.a[x])) << "A at " << x;
            EXPECT_EQ(bits(guarded.v[x]), bits(plain.v[x])) << "V at " << x;
        }
    }
}

TEST(JacobiGuard, ChangesNothingWhenTheRotationsEnd) {
    auto guard = std::make_unique<JacobiGuard>();
    for (std::int32_t n : {6, 20}) {
        for (std::uint32_t seed : {11u, 12u, 13u}) {
            SCOPED_TRACE(testing::Message() << "n " << n << " seed " << seed);
            expect_same_with_guard(random_symmetric(n, seed), n + 2, *guard);
        }
    }
    // The worked examples, and the exact permutations of the tie cases.
    expect_same_with_guard({{0, 1}, {1, 3}}, 4, *guard);
    expect_same_with_guard({{1, 0, -1}, {0, 0, 0}, {-1, 0, 1}}, 4, *guard);
    expect_same_with_guard({{1, 1, 1}, {1, 1, 1}, {1, 1, 1}}, 4, *guard);
    expect_same_with_guard(spread({1, 5, 9, 13}, {{{1, 2}, kE}, {{1, 3}, kE}, {{1, 4}, kE}, {{3, 4}, 2 * kE}}), 5,
                           *guard);
}

TEST(JacobiGuard, NoCycleWithoutRotations) {
    // The year loop reads `cycled` after every decomposition; a year of one
    // location, or one that needs no rotation, must not be reported as cycling.
    auto guard = std::make_unique<JacobiGuard>();
    guard->watch_from = 0;
    for (std::int32_t n : {0, 1}) {
        SCOPED_TRACE(n);
        Eigen e(3, std::vector<std::vector<double>>(static_cast<std::size_t>(n), std::vector<double>(1, 2.0)));
        e.run(0, guard.get());
        EXPECT_EQ(e.nrot, 0);
        EXPECT_FALSE(e.cycled);
    }
    Eigen diagonal(3, {{1, 0}, {0, 2}});
    diagonal.run(0, guard.get());
    EXPECT_EQ(diagonal.nrot, 0);
    EXPECT_FALSE(diagonal.cycled);
}

// -------------------------------------------------- eigenvalue report ---

struct Report {
    std::int32_t maxl, nl, nax;
    std::vector<float> a, ev, cum;
    Outputs out;

    Report(std::int32_t maxl_, std::vector<float> diag, std::int32_t nax_in = -1)
        : maxl(maxl_), nl(static_cast<std::int32_t>(diag.size())), nax(nax_in < 0 ? nl : nax_in),
          a(static_cast<std::size_t>(maxl_ * maxl_), kMark), ev(static_cast<std::size_t>(maxl_), kMark), cum(ev) {
        for (std::int32_t j = 1; j <= nl; ++j)
            for (std::int32_t i = 1; i <= nl; ++i)
                cell(a, maxl, i, j) = i == j ? diag[static_cast<std::size_t>(i - 1)] : 0.5f * static_cast<float>(i - j);
    }
    void run() {
        const std::vector<float> before = a;
        nax = eigen_report(out.files, Tables{.A = square(a, maxl), .EV = vec(ev), .CUM = vec(cum), .maxl = maxl}, nl, nax);
        for (std::size_t x = 0; x < a.size(); ++x) EXPECT_EQ(bits(a[x]), bits(before[x])) << "A changed at " << x;
        for (std::int32_t i = std::max(nax, 0) + 1; i <= maxl; ++i) {
            EXPECT_EQ(ev[static_cast<std::size_t>(i - 1)], kMark) << "EV(" << i << ")";
            EXPECT_EQ(cum[static_cast<std::size_t>(i - 1)], kMark) << "CUM(" << i << ")";
        }
    }
};

const std::string kS14 = " Number of non-zero eigenvalues is      ";
const std::string kS15 = " Eigenvalue number                      ";
const std::string kS16 = " Eigenvalue                             ";
const std::string kS17 = " % of variation explained by eigenvector";
const std::string kS18 = " Cummulative % of variation explained   ";

std::string f10(const std::string& s) { return rj(s, 10); }

TEST(EigenReport, CountsStrictlyAboveOnePercentAndListsTheDiagonalInItsOrder) {
    // 1 is exactly 1% of 100 and does not count; 1.5 in position 4 counts but
    // is not listed, while the listed 1 in position 3 is not in the total.
    Report r(7, {100, 40, 1, 1.5f, 0.5f});
    r.run();
    EXPECT_EQ(r.nax, 3);
    EXPECT_EQ(r.out.ors(), recs({"   141.500   3", blanks(16) + f10("100.000") + f10("40.000") + f10("1.000")}));
    EXPECT_EQ(r.out.sor(), recs({kS14 + "   3", kS15, f10("1") + f10("2") + f10("3"), kS16,
                                 f10("100.000") + f10("40.000") + f10("1.000"), kS17,
                                 f10("70.671") + f10("28.269") + f10("0.707"), kS18,
                                 f10("70.671") + f10("98.940") + f10("99.647")}));
    EXPECT_NEAR(r.ev[0], 10000.0 / 141.5, 1e-4);
    EXPECT_NEAR(r.ev[1], 4000.0 / 141.5, 1e-4);
    EXPECT_NEAR(r.ev[2], 100.0 / 141.5, 1e-4);
    EXPECT_NEAR(r.cum[0], 10000.0 / 141.5, 1e-4);
    EXPECT_NEAR(r.cum[1], 14000.0 / 141.5, 1e-4);
    EXPECT_NEAR(r.cum[2], 14100.0 / 141.5, 1e-4);
}

TEST(EigenReport, CallersLimitOnTheAxesIsKept) {
    Report r(4, {3, 2, 1}, 2);
    r.run();
    EXPECT_EQ(r.nax, 2);
    EXPECT_EQ(r.out.ors(), recs({"     6.000   3", blanks(16) + f10("3.000") + f10("2.000")}));
    EXPECT_EQ(r.out.sor(), recs({kS14 + "   2", kS15, f10("1") + f10("2"), kS16, f10("3.000") + f10("2.000"), kS17,
                                 f10("50.000") + f10("33.333"), kS18, f10("50.000") + f10("83.333")}));
}

TEST(EigenReport, NoQualifyingEigenvalueWritesHeadingsAndEmptyLines) {
    // No location at all, and a zero matrix whose ratios are all 0/0.
    for (std::vector<float> diag : {std::vector<float>{}, std::vector<float>{0, 0, 0}}) {
        SCOPED_TRACE(diag.size());
        Report r(4, diag);
        r.run();
        EXPECT_EQ(r.nax, 0);
        EXPECT_EQ(r.out.ors(), recs({"     0.000   0", ""}));
        EXPECT_EQ(r.out.sor(), recs({kS14 + "   0", kS15, "", kS16, "", kS17, "", kS18, ""}));
    }
}

TEST(EigenReport, ZeroFirstEigenvalue) {
    // Ratios 0/0, +inf, -inf and 0/0: only the positive entry counts.
    Report r(5, {0, 2, -1, 0});
    r.run();
    EXPECT_EQ(r.nax, 1);
    EXPECT_EQ(r.out.ors(), recs({"     2.000   1", blanks(16) + f10("0.000")}));
    EXPECT_EQ(r.out.sor(),
              recs({kS14 + "   1", kS15, f10("1"), kS16, f10("0.000"), kS17, f10("0.000"), kS18, f10("0.000")}));
    EXPECT_EQ(r.ev[0], 0.0f);
    EXPECT_EQ(r.cum[0], 0.0f);
}

TEST(EigenReport, NegativeFirstEigenvalue) {
    // Ratios 100, 25, just under 1, -50 and 1.25: the negative entries beyond
    // 1% of the first count, the positive one does not.
    Report r(6, {-4, -1, -0.04f, 2, -0.05f});
    r.run();
    EXPECT_EQ(r.nax, 3);
    EXPECT_EQ(r.out.ors(), recs({"    -5.050   3", blanks(16) + f10("-4.000") + f10("-1.000") + f10("-0.040")}));
    EXPECT_EQ(r.out.sor(), recs({kS14 + "   3", kS15, f10("1") + f10("2") + f10("3"), kS16,
                                 f10("-4.000") + f10("-1.000") + f10("-0.040"), kS17,
                                 f10("79.208") + f10("19.802") + f10("0.792"), kS18,
                                 f10("79.208") + f10("99.010") + f10("99.802")}));
}

TEST(EigenReport, ElevenAxesStartTheLayoutsAgain) {
    std::vector<float> diag;
    for (int k = 11; k >= 1; --k) diag.push_back(static_cast<float>(k));
    Report r(12, diag);
    r.run();
    EXPECT_EQ(r.nax, 11);

    std::string numbers, values, first_ten_values;
    for (int k = 1; k <= 10; ++k) {
        numbers += f10(std::to_string(k));
        values += f10(std::to_string(12 - k) + ".000");
    }
    const std::vector<std::string> pct = {"16.667", "15.152", "13.636", "12.121", "10.606", "9.091",
                                          "7.576",  "6.061",  "4.545",  "3.030",  "1.515"};
    const std::vector<std::string> cum = {"16.667", "31.818", "45.455", "57.576", "68.182", "77.273",
                                          "84.848", "90.909", "95.455", "98.485", "100.000"};
    std::string pct10, cum10;
    for (std::size_t k = 0; k < 10; ++k) {
        pct10 += f10(pct[k]);
        cum10 += f10(cum[k]);
    }
    EXPECT_EQ(r.out.ors(), recs({"    66.000  11", blanks(16) + values, blanks(16) + f10("1.000")}));
    EXPECT_EQ(r.out.sor(), recs({kS14 + "  11", kS15, numbers, kS15, f10("11"), kS16, values, kS16, f10("1.000"),
                                 kS17, pct10, kS17, f10(pct[10]), kS18, cum10, kS18, f10(cum[10])}));
}

// ------------------------------------------------------------ scores ---

struct Scaling {
    std::int32_t maxl, nl;
    std::vector<float> a, v;
    Scaling(std::int32_t maxl_, std::vector<float> diag)
        : maxl(maxl_), nl(static_cast<std::int32_t>(diag.size())), a(static_cast<std::size_t>(maxl_ * maxl_), kMark),
          v(a) {
        for (std::int32_t j = 1; j <= nl; ++j)
            for (std::int32_t i = 1; i <= nl; ++i) {
                cell(a, maxl, i, j) = i == j ? diag[static_cast<std::size_t>(i - 1)] : 100.0f * i + j;
                cell(v, maxl, i, j) = 0.25f * static_cast<float>(i) + static_cast<float>(j);
            }
    }
    void run() { plotting_points(Tables{.A = square(a, maxl), .V = square(v, maxl), .maxl = maxl}, nl); }
};

TEST(PlottingPoints, TwoLocationExample) {
    Scaling s(4, {2.5f, 0.0f});
    cell(s.v, 4, 1, 1) = 0.70710678f;
    cell(s.v, 4, 2, 1) = -0.70710678f;
    cell(s.v, 4, 1, 2) = 0.70710678f;
    cell(s.v, 4, 2, 2) = 0.70710678f;
    s.run();
    EXPECT_NEAR(cell(s.v, 4, 1, 1), 1.1180, kTol);
    EXPECT_NEAR(cell(s.v, 4, 2, 1), -1.1180, kTol);
    EXPECT_EQ(cell(s.v, 4, 1, 2), 0.0f);
    EXPECT_EQ(cell(s.v, 4, 2, 2), 0.0f);
    EXPECT_NEAR(cell(s.a, 4, 1, 1), 1.5811, kTol);
    EXPECT_EQ(cell(s.a, 4, 2, 2), 0.0f);
    EXPECT_EQ(cell(s.a, 4, 2, 1), 201.0f);  // off the diagonal nothing changes
    EXPECT_EQ(cell(s.a, 4, 1, 2), 102.0f);
    expect_outside_untouched(s.a, 4, 2, "A");
    expect_outside_untouched(s.v, 4, 2, "V");
}

TEST(PlottingPoints, OnlyValuesAboveTheBoundAreRooted) {
    // Bound 4 * 1e-6 in single precision: a value equal to it and a negative
    // value are multipliers as they stand; the next value above it is rooted.
    const float h = 4.0f * 1.0E-6f;
    const float above = std::nextafter(h, 1.0f);
    Scaling s(7, {4.0f, h, above, -0.5f, 0.0f, 0.09f});
    const std::vector<float> v0 = s.v;
    s.run();
    const float mult[6] = {2.0f, h, std::sqrt(above), -0.5f, 0.0f, std::sqrt(0.09f)};
    for (std::int32_t k = 1; k <= 6; ++k) {
        EXPECT_EQ(cell(s.a, 7, k, k), mult[k - 1]) << "A(" << k << "," << k << ")";
        for (std::int32_t i = 1; i <= 6; ++i)
            EXPECT_EQ(cell(s.v, 7, i, k), cell(v0, 7, i, k) * mult[k - 1]) << "V(" << i << "," << k << ")";
    }
    EXPECT_NEAR(std::sqrt(above), 2e-3, 1e-7);  // rooted, not used as it stands
    expect_outside_untouched(s.a, 7, 6, "A");
    expect_outside_untouched(s.v, 7, 6, "V");
}

TEST(PlottingPoints, NegativeFirstEigenvalueGivesNoNotANumber) {
    // The bound is -2e-6: -1e-7 lies between it and 0 and has no root.
    Scaling s(6, {-2.0f, -1e-7f, 0.5f, -3.0f, 0.0f});
    const std::vector<float> v0 = s.v;
    s.run();
    const float mult[5] = {-2.0f, -1e-7f, std::sqrt(0.5f), -3.0f, 0.0f};
    for (std::int32_t k = 1; k <= 5; ++k) {
        EXPECT_FALSE(std::isnan(cell(s.a, 6, k, k))) << k;
        EXPECT_EQ(cell(s.a, 6, k, k), mult[k - 1]) << "A(" << k << "," << k << ")";
        for (std::int32_t i = 1; i <= 5; ++i) {
            EXPECT_FALSE(std::isnan(cell(s.v, 6, i, k))) << i << "," << k;
            EXPECT_EQ(cell(s.v, 6, i, k), cell(v0, 6, i, k) * mult[k - 1]) << "V(" << i << "," << k << ")";
        }
    }
}

TEST(PlottingPoints, NoLocationChangesNothing) {
    Scaling s(3, {});
    s.run();
    for (float x : s.a) EXPECT_EQ(x, kMark);
    for (float x : s.v) EXPECT_EQ(x, kMark);
}

// The plotting-point table of MAXY years x MAXL locations x 4 axes, year fastest.
struct Points {
    static constexpr std::int32_t maxy = 3, maxl = 6;
    std::vector<float> pts = std::vector<float>(static_cast<std::size_t>(maxy * maxl * 4), kMark);
    std::vector<std::int32_t> elim = std::vector<std::int32_t>(static_cast<std::size_t>(maxy * maxl), 1);
    std::vector<float> v = std::vector<float>(static_cast<std::size_t>(maxl * maxl), kMark);

    Points() {
        // Year 2 flags locations 1, 3 and 5; a 2 and a -1 are not flags.
        const std::int32_t flags[maxl] = {1, 0, 1, 2, 1, -1};
        for (std::int32_t l = 1; l <= maxl; ++l) elim[static_cast<std::size_t>((l - 1) * maxy + 1)] = flags[l - 1];
        for (std::int32_t k = 1; k <= maxl; ++k)
            for (std::int32_t i = 1; i <= maxl; ++i) cell(v, maxl, i, k) = static_cast<float>(10 * i + k);
    }
    void run(std::int32_t nax, std::int32_t iy = 2) {
        store_points(Tables{.V = square(v, maxl),
                            .PTS = {pts.data(), sz(pts), maxy, maxl},
                            .ELIM = {elim.data(), static_cast<std::int64_t>(elim.size()), maxy, maxl},
                            .maxy = maxy,
                            .maxl = maxl},
                     nax, iy);
    }
    float at(std::int32_t y, std::int32_t l, std::int32_t k) const {
        return pts[static_cast<std::size_t>(((k - 1) * maxl + (l - 1)) * maxy + (y - 1))];
    }
    // The cells that the year's store may write: (2, l, k) for row m of V.
    void expect(std::int32_t axes) const {
        const std::int32_t row_of[maxl + 1] = {0, 1, 0, 2, 0, 3, 0};
        for (std::int32_t y = 1; y <= maxy; ++y)
            for (std::int32_t l = 1; l <= maxl; ++l)
                for (std::int32_t k = 1; k <= 4; ++k) {
                    const bool written = y == 2 && row_of[l] > 0 && k <= axes;
                    EXPECT_EQ(at(y, l, k), written ? static_cast<float>(10 * row_of[l] + k) : kMark)
                        << "PTS(" << y << "," << l << "," << k << ")";
                }
    }
};

TEST(StorePoints, FlaggedLocationsTakeTheRowsInOrderOnAtMostFourAxes) {
    Points p;
    p.run(6);
    p.expect(4);
}

TEST(StorePoints, FewerAxesAndNone) {
    Points two;
    two.run(2);
    two.expect(2);
    Points none;
    none.run(0);
    none.expect(0);
}

struct Listing {
    std::int32_t maxl, nl;
    std::vector<float> v;
    std::vector<Name> names;
    Outputs out;
    Listing(std::int32_t maxl_, std::int32_t nl_)
        : maxl(maxl_), nl(nl_), v(static_cast<std::size_t>(maxl_ * maxl_), kMark),
          names(static_cast<std::size_t>(maxl_), Name::of("MARKMARK")) {}
    void run(std::int32_t nax) {
        score_listing(out.files,
                      Tables{.V = square(v, maxl),
                             .RNAMES = {names.data(), static_cast<std::int64_t>(names.size()),
                                        static_cast<std::int64_t>(names.size()), 1},
                             .maxl = maxl},
                      nl, nax);
    }
};

const std::string kScoresTitle = " Scores on principal axes";
const std::string kAxesTitle = "                Principal axes";
const std::string kAxesLead = "   NL# Location ";

TEST(ScoreListing, TwoAxes) {
    Listing s(5, 3);
    const float vals[3][3] = {{1.5f, -0.25f, 99.0f}, {0.125f, 0.0f, 99.0f}, {-2.75f, 10.5f, 99.0f}};
    for (std::int32_t i = 1; i <= 3; ++i)
        for (std::int32_t k = 1; k <= 3; ++k) cell(s.v, 5, i, k) = vals[i - 1][k - 1];
    s.names[0] = Name::of("ALPHA");
    s.names[1] = Name::of("BETA");
    s.names[2] = Name::of("GAMMADEL");
    s.run(2);
    const std::string r1 = "     1 ALPHA    " + f10("1.500") + f10("-0.250");
    const std::string r2 = "     2 BETA     " + f10("0.125") + f10("0.000");
    const std::string r3 = "     3 GAMMADEL " + f10("-2.750") + f10("10.500");
    EXPECT_EQ(s.out.ors(), recs({r1, r2, r3}));
    EXPECT_EQ(s.out.sor(), recs({kScoresTitle, kAxesTitle, kAxesLead + f10("1") + f10("2"), r1, r2, r3}));
}

TEST(ScoreListing, NoAxesLeavesNumbersAndNames) {
    Listing s(3, 2);
    s.names[0] = Name::of("NORTH");
    s.names[1] = Name::of("SOUTH");
    s.run(0);
    EXPECT_EQ(s.out.ors(), recs({"     1 NORTH   ", "     2 SOUTH   "}));
    EXPECT_EQ(s.out.sor(), recs({kScoresTitle, kAxesTitle, kAxesLead, "     1 NORTH   ", "     2 SOUTH   "}));
}

TEST(ScoreListing, AtMostSevenAxes) {
    Listing s(10, 8);
    for (std::int32_t i = 1; i <= 8; ++i) {
        s.names[static_cast<std::size_t>(i - 1)] = Name::of("LOC" + std::to_string(i));
        for (std::int32_t k = 1; k <= 8; ++k) cell(s.v, 10, i, k) = static_cast<float>(10 * i + k);
    }
    s.run(8);
    std::string head = kAxesLead;
    for (int k = 1; k <= 7; ++k) head += f10(std::to_string(k));
    std::vector<std::string> rows;
    for (int i = 1; i <= 8; ++i) {
        std::string r = rj(std::to_string(i), 6) + " LOC" + std::to_string(i) + "     ";
        for (int k = 1; k <= 7; ++k) r += f10(std::to_string(10 * i + k) + ".000");
        rows.push_back(r);
    }
    std::string ors, sor = recs({kScoresTitle, kAxesTitle, head});
    for (const auto& r : rows) {
        ors += r + "\r\n";
        sor += r + "\r\n";
    }
    EXPECT_EQ(s.out.ors(), ors);
    EXPECT_EQ(s.out.sor(), sor);
}

// ---------------------------------------------------- a whole year ---

// One year through all the steps in the year loop's order, on one workspace.
struct Year {
    std::int32_t maxl, nl, nax = 0, nrot = -1;
    std::vector<float> a, v, ev, cum;
    std::vector<std::int32_t> iwk;
    std::vector<Name> names;
    Outputs out;

    Year(std::int32_t maxl_, const std::vector<std::vector<float>>& lower, std::vector<std::string> nm)
        : maxl(maxl_), nl(static_cast<std::int32_t>(nm.size())), a(static_cast<std::size_t>(maxl_ * maxl_), kMark),
          v(a), ev(static_cast<std::size_t>(maxl_), kMark), cum(ev), iwk(static_cast<std::size_t>(maxl_), kIntMark),
          names(static_cast<std::size_t>(maxl_)) {
        for (std::int32_t j = 1; j <= nl; ++j)
            for (std::int32_t i = 1; i <= nl; ++i)
                cell(a, maxl, i, j) =
                    i > j ? lower[static_cast<std::size_t>(i - 2)][static_cast<std::size_t>(j - 1)] : 0.0f;
        for (std::size_t i = 0; i < nm.size(); ++i) names[i] = Name::of(nm[i]);
    }
    // Runs the steps in order; the scores are filed under year 1 of a one-year table.
    void run(std::vector<float>& pts, std::vector<std::int32_t>& elim) {
        const Tables t{.A = square(a, maxl),
                       .V = square(v, maxl),
                       .EV = vec(ev),
                       .CUM = vec(cum),
                       .PTS = {pts.data(), sz(pts), 1, maxl},
                       .ELIM = {elim.data(), static_cast<std::int64_t>(elim.size()), 1, maxl},
                       .IWK = ivec(iwk),
                       .RNAMES = {names.data(), static_cast<std::int64_t>(names.size()),
                                  static_cast<std::int64_t>(names.size()), 1},
                       .maxy = 1,
                       .maxl = maxl};
        centre(out.files, t, nl);
        nrot = jacobi(t.A, nl, 0, t.V, t.EV, t.IWK).nrot;
        nax = eigen_report(out.files, t, nl, nl);
        plotting_points(t, nl);
        store_points(t, nax, 1);
        score_listing(out.files, t, nl, nax);
    }
};

TEST(Year, TwoLocationsAtDistanceFive) {
    Year y(3, {{5.0f}}, {"NORTH", "SOUTH"});
    std::vector<float> pts(12, kMark);
    std::vector<std::int32_t> elim = {0, 1, 1};  // locations 2 and 3 retained
    y.run(pts, elim);
    EXPECT_EQ(y.nrot, 1);
    EXPECT_EQ(y.nax, 1);
    const std::string r1 = "     1 NORTH    " + f10("1.118");
    const std::string r2 = "     2 SOUTH    " + f10("-1.118");
    EXPECT_EQ(y.out.sor(), recs({"   0.000   5.000", "   5.000   0.000", kS14 + "   1", kS15, f10("1"), kS16,
                                 f10("2.500"), kS17, f10("100.000"), kS18, f10("100.000"), kScoresTitle, kAxesTitle,
                                 kAxesLead + f10("1"), r1, r2}));
    EXPECT_EQ(y.out.ors(), recs({"     2.500   1", blanks(16) + f10("2.500"), r1, r2}));
    // PTS(1, l, k), one year: location 1 untouched, 2 and 3 on axis 1 only.
    EXPECT_EQ(pts[0], kMark);
    EXPECT_NEAR(pts[1], 1.1180, kTol);
    EXPECT_NEAR(pts[2], -1.1180, kTol);
    for (std::size_t x = 3; x < pts.size(); ++x) EXPECT_EQ(pts[x], kMark) << x;
    // Column 2 of V is multiplied by its zero eigenvalue.
    EXPECT_EQ(cell(y.v, 3, 1, 2), 0.0f);
    EXPECT_EQ(cell(y.v, 3, 2, 2), 0.0f);
}

TEST(Year, ThreeLocationExample) {
    Year y(5, {{1.0f}, {4.0f, 2.0f}}, {"L1", "L2", "L3"});
    std::vector<float> pts(20, kMark);
    std::vector<std::int32_t> elim = {1, 1, 0, 1, 0};  // locations 1, 2 and 4
    y.run(pts, elim);
    EXPECT_EQ(y.nax, 2);

    const double s1[3] = {0.9011, 0.1940, -1.0950}, s2[3] = {-0.2775, 0.4297, -0.1522};
    for (std::int32_t i = 1; i <= 3; ++i) {
        EXPECT_NEAR(cell(y.v, 5, i, 1), s1[i - 1], kTol) << i;
        EXPECT_NEAR(cell(y.v, 5, i, 2), s2[i - 1], kTol) << i;
        EXPECT_NEAR(cell(y.v, 5, i, 3), 0.0, 1e-5) << i;
    }
    // PTS(1, l, k) at (k - 1) * 5 + (l - 1): rows 1, 2, 3 of V go to locations 1, 2, 4.
    const std::int32_t loc[3] = {1, 2, 4};
    for (std::int32_t m = 0; m < 3; ++m) {
        EXPECT_NEAR(pts[static_cast<std::size_t>(loc[m] - 1)], s1[m], kTol);
        EXPECT_NEAR(pts[static_cast<std::size_t>(5 + loc[m] - 1)], s2[m], kTol);
    }
    for (std::size_t x : {2u, 4u, 7u, 9u}) EXPECT_EQ(pts[x], kMark) << x;
    for (std::size_t x = 10; x < pts.size(); ++x) EXPECT_EQ(pts[x], kMark) << x;

    const auto sor = records(y.out.sor());
    ASSERT_EQ(sor.size(), 3u + 9u + 6u);
    EXPECT_EQ(sor[0], "   0.000   1.000   4.000");
    EXPECT_EQ(sor[3], kS14 + "   2");
    EXPECT_EQ(sor[5], f10("1") + f10("2"));
    auto near_all = [](const std::vector<double>& got, std::initializer_list<double> want, double tol) {
        ASSERT_EQ(got.size(), want.size());
        std::size_t k = 0;
        for (double w : want) EXPECT_NEAR(got[k++], w, tol);
    };
    // Values printed to three decimals of numbers known to four.
    const double tol3 = 6e-4;
    near_all(fields(sor[7], 1, 10), {2.0486, 0.2847}, tol3);
    near_all(fields(sor[9], 1, 10), {87.796, 12.204}, tol3 + 1e-2);
    near_all(fields(sor[11], 1, 10), {87.796, 100.0}, tol3 + 1e-2);
    EXPECT_EQ(sor[14], kAxesLead + f10("1") + f10("2"));
    const auto ors = records(y.out.ors());
    ASSERT_EQ(ors.size(), 5u);
    EXPECT_EQ(ors[0].substr(10), "   2");
    near_all(fields(ors[0].substr(0, 10), 1, 10), {2.3333}, tol3);
    EXPECT_EQ(ors[1].substr(0, 16), blanks(16));
    near_all(fields(ors[1], 17, 10), {2.0486, 0.2847}, tol3);
    const char* nm[3] = {"L1      ", "L2      ", "L3      "};
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(ors[2 + i], sor[15 + i]);
        EXPECT_EQ(ors[2 + i].substr(0, 16), rj(std::to_string(i + 1), 6) + " " + nm[i] + " ");
        near_all(fields(ors[2 + i], 17, 10), {s1[i], s2[i]}, tol3);
    }
}

}  // namespace
}  // namespace seqord::ordination
