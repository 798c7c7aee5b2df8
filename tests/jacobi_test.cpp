// The shipped decomposition against the plain scalar rotation loop kept with
// the benchmarks: on every matrix both must leave the same bits in A (both
// triangles, the diagonal, and the cells outside the leading block), in V,
// in the row records and their columns, and the same rotation count; only
// a not-a-number may stand for any other, as its sign depends on how the
// compiler orders the operands of a sum, and nothing reads it.  The
// matrices are chosen to reach every branch of the record keeping: ties of
// equal magnitudes, rows of zeros, repeated values, exact zeros on the
// diagonal, not-a-number and infinite rows, and orders up to the largest
// that the workspace holds.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "jacobi_baseline.h"
#include "ordination/ordination.h"
#include "ordination/rotations.h"
#include "support.h"

namespace seqord::ordination {

// The rotation loop built without vector instructions (rotations_portable.cpp).
namespace rotations_portable {
bool rotate_on_copy(const CopyJob& job, float& t_bound, std::int64_t& rotations);
}

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

constexpr float kMark = -777.25f;
constexpr std::int32_t kIntMark = -55;

using seqord::test::bits;

// A symmetric matrix of order n, full rows.
using Matrix = std::vector<std::vector<float>>;

Matrix zeros(std::int32_t n) { return Matrix(static_cast<std::size_t>(n), std::vector<float>(static_cast<std::size_t>(n))); }

void set(Matrix& m, std::int32_t i, std::int32_t j, float x) {
    m[static_cast<std::size_t>(i)][static_cast<std::size_t>(j)] = x;
    m[static_cast<std::size_t>(j)][static_cast<std::size_t>(i)] = x;
}

// Uniform values on (-1, 1).
Matrix uniform(std::int32_t n, std::uint32_t seed) {
    std::mt19937 gen(seed);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    Matrix m = zeros(n);
    for (std::int32_t i = 0; i < n; ++i)
        for (std::int32_t j = 0; j <= i; ++j) set(m, i, j, u(gen));
    return m;
}

// What a year's centred similarity matrix looks like: -1/2 the squared
// distances between n points in `dim` dimensions, centred by rows and columns.
Matrix centred_points(std::int32_t n, std::int32_t dim, std::uint32_t seed) {
    std::mt19937 gen(seed);
    std::normal_distribution<double> z(0.0, 1.0);
    std::vector<double> x(static_cast<std::size_t>(n * dim));
    for (double& v : x) v = z(gen);
    std::vector<double> d(static_cast<std::size_t>(n * n));
    for (std::int32_t i = 0; i < n; ++i)
        for (std::int32_t j = 0; j < n; ++j) {
            double s = 0;
            for (std::int32_t k = 0; k < dim; ++k) {
                const double t = x[static_cast<std::size_t>(i * dim + k)] - x[static_cast<std::size_t>(j * dim + k)];
                s += t * t;
            }
            d[static_cast<std::size_t>(i * n + j)] = -0.5 * s;
        }
    std::vector<double> row(static_cast<std::size_t>(n), 0.0);
    double all = 0;
    for (std::int32_t i = 0; i < n; ++i) {
        for (std::int32_t j = 0; j < n; ++j) row[static_cast<std::size_t>(i)] += d[static_cast<std::size_t>(i * n + j)];
        all += row[static_cast<std::size_t>(i)];
        row[static_cast<std::size_t>(i)] /= n;
    }
    all /= static_cast<double>(n) * n;
    Matrix m = zeros(n);
    for (std::int32_t i = 0; i < n; ++i)
        for (std::int32_t j = 0; j < n; ++j)
            m[static_cast<std::size_t>(i)][static_cast<std::size_t>(j)] = static_cast<float>(
                d[static_cast<std::size_t>(i * n + j)] - row[static_cast<std::size_t>(i)] - row[static_cast<std::size_t>(j)] + all);
    return m;
}

// Small integers: equal magnitudes everywhere, so every tie rule is met.
Matrix integers(std::int32_t n, std::int32_t range, std::uint32_t seed) {
    std::mt19937 gen(seed);
    std::uniform_int_distribution<int> u(-range, range);
    Matrix m = zeros(n);
    for (std::int32_t i = 0; i < n; ++i)
        for (std::int32_t j = 0; j <= i; ++j) set(m, i, j, static_cast<float>(u(gen)));
    return m;
}

// Mostly zeros: rows whose records are 0, and rows that become all zero.
Matrix sparse(std::int32_t n, std::uint32_t seed) {
    std::mt19937 gen(seed);
    std::uniform_int_distribution<int> pick(0, 9);
    std::uniform_real_distribution<float> u(-2.0f, 2.0f);
    Matrix m = zeros(n);
    for (std::int32_t i = 0; i < n; ++i)
        for (std::int32_t j = 0; j <= i; ++j)
            if (pick(gen) == 0 || i == j) set(m, i, j, i == j && pick(gen) < 3 ? 0.0f : u(gen));
    return m;
}

struct Case {
    std::string name;
    Matrix m;
    std::int32_t pad = 0;  // first extent of the tables beyond n
};

// The scratch that the year loop hands to every decomposition.
JacobiGuard& scratch() {
    static const std::unique_ptr<JacobiGuard> g = std::make_unique<JacobiGuard>();
    return *g;
}

// One matrix in the tables of one decomposition, every other cell marked.
struct Tables {
    std::int32_t n, maxl;
    std::vector<float> a, v, ev;
    std::vector<std::int32_t> iwk;
    std::int32_t nrot = -1;

    Tables(const Matrix& m, std::int32_t pad)
        : n(static_cast<std::int32_t>(m.size())), maxl(n + pad),
          a(static_cast<std::size_t>(maxl) * static_cast<std::size_t>(maxl), kMark), v(a),
          ev(static_cast<std::size_t>(maxl), kMark), iwk(static_cast<std::size_t>(maxl), kIntMark) {
        for (std::int32_t j = 0; j < n; ++j)
            for (std::int32_t i = 0; i < n; ++i)
                a[static_cast<std::size_t>(j * maxl + i)] = m[static_cast<std::size_t>(i)][static_cast<std::size_t>(j)];
    }
    Table<float> A() { return {a.data(), static_cast<std::int64_t>(a.size()), maxl, 1}; }
    Table<float> V() { return {v.data(), static_cast<std::int64_t>(v.size()), maxl, 1}; }
    Table<float> EV() { return {ev.data(), maxl, maxl, 1}; }
    Table<std::int32_t> IWK() { return {iwk.data(), maxl, maxl, 1}; }
};

// Every cell of `got` the same bits as in `want` (the first difference of
// each table reported).
void expect_identical(const Tables& want, const Tables& got) {
    EXPECT_EQ(got.nrot, want.nrot) << "rotations";
    auto first_diff = [](const std::vector<float>& x, const std::vector<float>& y) {
        for (std::size_t k = 0; k < x.size(); ++k)
            if (bits(x[k]) != bits(y[k]) && !(std::isnan(x[k]) && std::isnan(y[k])))
                return static_cast<std::int64_t>(k);
        return std::int64_t{-1};
    };
    const std::int64_t e1 = want.maxl;
    auto where = [&](std::int64_t k) { return testing::Message() << "(" << k % e1 + 1 << "," << k / e1 + 1 << ")"; };
    const std::int64_t da = first_diff(want.a, got.a), dv = first_diff(want.v, got.v),
                       de = first_diff(want.ev, got.ev);
    EXPECT_EQ(da, -1) << "A differs first at " << where(da);
    EXPECT_EQ(dv, -1) << "V differs first at " << where(dv);
    EXPECT_EQ(de, -1) << "row record differs first at row " << de + 1;
    std::int64_t di = -1;
    for (std::size_t k = 0; k < want.iwk.size() && di < 0; ++k)
        if (want.iwk[k] != got.iwk[k]) di = static_cast<std::int64_t>(k);
    EXPECT_EQ(di, -1) << "record column differs first at row " << di + 1;
}

// The baseline against the shipped decomposition with the scratch (its
// working copy, and the guard as `watch_from` sets it), with each vector
// width the processor has, and for orders below 100 also without the
// scratch (the element-by-element loop).
void expect_same(const Case& c, std::int32_t mode = 0, std::int64_t watch_from = -1) {
    SCOPED_TRACE(testing::Message() << c.name << " n " << c.m.size() << " pad " << c.pad << " mode " << mode);
    Tables base(c.m, c.pad);
    baseline::jacobi(base.A(), base.n, mode, base.V(), base.nrot, base.EV(), base.IWK(), base.maxl);
    JacobiGuard& g = scratch();
    for (std::int32_t width : {128, 256, 512}) {
        if (vector_bits(width) != width) continue;  // not on this processor
        SCOPED_TRACE(testing::Message() << width << "-bit vectors");
        Tables fast(c.m, c.pad);
        g.watch_from = watch_from;
        g.widest = width;
        const JacobiResult r = jacobi(fast.A(), fast.n, mode, fast.V(), fast.EV(), fast.IWK(), &g);
        fast.nrot = r.nrot;
        EXPECT_FALSE(r.cycled);
        g.watch_from = -1;
        g.widest = 512;
        expect_identical(base, fast);
    }
    if (c.m.size() >= 2 && c.m.size() <= kCopyMaxOrder) {
        // What a processor without vectors runs: the same loop on the copy.
        SCOPED_TRACE("without vectors");
        Tables plain(c.m, c.pad);
        if (mode == 0)
            for (std::int32_t j = 0; j < plain.n; ++j)
                for (std::int32_t i = 0; i < plain.n; ++i)
                    plain.v[static_cast<std::size_t>(j * plain.maxl + i)] = i == j ? 1.0f : 0.0f;
        std::vector<float> work(static_cast<std::size_t>(copy_floats(plain.n)));
        const CopyJob job{plain.a.data(), plain.maxl, plain.v.data(), plain.maxl, plain.ev.data(),
                          plain.iwk.data(), work.data(), plain.n, mode, INT64_MAX};
        float t_bound = 1.0E38f;
        std::int64_t rotations = 0;
        EXPECT_TRUE(rotations_portable::rotate_on_copy(job, t_bound, rotations));
        plain.nrot = static_cast<std::int32_t>(rotations);
        expect_identical(base, plain);
    }
    if (c.m.size() < 100) {
        SCOPED_TRACE("without the scratch");
        Tables plain(c.m, c.pad);
        const JacobiResult r = jacobi(plain.A(), plain.n, mode, plain.V(), plain.EV(), plain.IWK(), nullptr);
        plain.nrot = r.nrot;
        EXPECT_FALSE(r.cycled);
        expect_identical(base, plain);
    }
}

TEST(JacobiSameAsBaseline, RandomMatricesOfEveryKindAndSmallOrders) {
    std::uint32_t seed = 1;
    for (std::int32_t n : {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 11, 16, 17, 23, 32, 33}) {
        for (std::int32_t pad : {0, 3}) {
            expect_same({"uniform", uniform(n, seed++), pad});
            expect_same({"points", centred_points(n, 4, seed++), pad});
            expect_same({"integers", integers(n, 2, seed++), pad});
            expect_same({"sparse", sparse(n, seed++), pad});
        }
    }
}

TEST(JacobiSameAsBaseline, EigenvaluesOnly) {
    for (std::int32_t n : {5, 18, 40}) {
        expect_same({"uniform", uniform(n, 900u + static_cast<std::uint32_t>(n)), 1}, 1);
        expect_same({"integers", integers(n, 1, 950u + static_cast<std::uint32_t>(n)), 0}, 1);
    }
}

TEST(JacobiSameAsBaseline, RepeatedValuesAndZerosOnTheDiagonal) {
    for (std::int32_t n : {3, 10, 37}) {
        Matrix ones = zeros(n), band = zeros(n), diag0 = zeros(n), blocks = zeros(n);
        for (std::int32_t i = 0; i < n; ++i)
            for (std::int32_t j = 0; j <= i; ++j) {
                set(ones, i, j, 1.0f);
                set(band, i, j, i - j <= 2 ? (i == j ? 2.0f : -1.0f) : 0.0f);
                set(diag0, i, j, i == j ? 0.0f : 0.5f);
                // two equal blocks: many equal records in different rows
                set(blocks, i, j, (i < n / 2) == (j < n / 2) ? 0.25f : -0.25f);
            }
        expect_same({"ones", ones, 2});
        expect_same({"band", band, 0});
        expect_same({"zero diagonal", diag0, 1});
        expect_same({"blocks", blocks, 0});
        expect_same({"all zero", zeros(n), 1});
    }
}

TEST(JacobiSameAsBaseline, NotANumberAndInfiniteRows) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    for (std::int32_t n : {4, 9, 30}) {
        for (std::int32_t row : {0, n / 2, n - 1}) {
            Matrix m = centred_points(n, 3, 77u + static_cast<std::uint32_t>(row));
            for (std::int32_t j = 0; j < n; ++j) set(m, row, j, nan);
            expect_same({"NaN row " + std::to_string(row + 1), m, 1});
            Matrix k = uniform(n, 88u + static_cast<std::uint32_t>(row));
            for (std::int32_t j = 0; j < n; j += 2) set(k, row, j, j % 4 == 0 ? inf : -inf);
            expect_same({"infinite row " + std::to_string(row + 1), k, 0});
            // Not a number right of a zero diagonal: the record finds no
            // column there, and must not take the diagonal's place.
            Matrix z = centred_points(n, 3, 55u + static_cast<std::uint32_t>(row));
            for (std::int32_t j = row + 1; j < n; ++j) set(z, row, j, nan);
            set(z, row, row, 0.0f);
            expect_same({"NaN right of a zero diagonal in row " + std::to_string(row + 1), z, 1});
        }
        Matrix one = uniform(n, 99u);
        set(one, n - 1, 0, nan);  // a single not-a-number in the last column of row 1
        expect_same({"one NaN", one, 2});
    }
}

// The rows to rescan after a rotation are looked up by the column their
// record points at, 64 rows to a word: rows on either side of the words'
// edges, and rows in the last word of the largest order, each pointing at
// an element that a later rotation changes (a row left out of the rescans
// keeps a record above its true largest element, and the pivots differ).
TEST(JacobiSameAsBaseline, RowsAtTheEdgesOfTheWordsOfTheRowLookUp) {
    for (std::int32_t n : {63, 64, 65, 66, 129}) {
        expect_same({"integers", integers(n, 1, 300u + static_cast<std::uint32_t>(n)), 0});
        expect_same({"sparse", sparse(n, 400u + static_cast<std::uint32_t>(n)), 1});
    }
    // Few rotations keep this quick, also under the sanitizers.
    const std::int32_t n = 415;
    Matrix m = zeros(n);
    for (std::int32_t i = 0; i < n; ++i) set(m, i, i, static_cast<float>((i * 53) % 97) / 4.0f);
    for (std::int32_t r : {62, 63, 64, 127, 128, 383, 384, 390, 400, 412, 413}) {
        set(m, r, n - 1, 1.0f + static_cast<float>(r % 7) / 8.0f);  // pointing at the last column
        set(m, r, r + 1, 0.5f);                                     // and a smaller element left of it
    }
    set(m, 5, n - 1, 4.0f);  // the first pivot, in the last column
    set(m, 10, 400, 3.0f);   // a later one, in the column rows 390 and 384 do not point at
    set(m, 390, 400, 3.0f);
    expect_same({"nearly diagonal", m, 0});
    expect_same({"nearly diagonal", m, 0}, 1);
}

// The guard's watch may start at any rotation: from then on the decomposition
// continues element by element, and the results may not change.
TEST(JacobiSameAsBaseline, HandOverToTheWatchedLoopAtAnyRotation) {
    const Matrix m = centred_points(25, 5, 4242u);
    for (std::int64_t from : {0, 1, 2, 37, 300}) {
        SCOPED_TRACE(testing::Message() << "watch from " << from);
        expect_same({"points", m, 2}, 0, from);
    }
}

// The widths the decomposition may use: 128 bits always, never more than
// allowed, and the processor's widest whenever that is allowed.
TEST(JacobiVectorWidths, TheWidestAllowedThatTheProcessorHas) {
    const std::int32_t widest = vector_bits(512);
    EXPECT_TRUE(widest == 128 || widest == 256 || widest == 512) << widest;
    EXPECT_EQ(vector_bits(128), 128);
    EXPECT_EQ(vector_bits(256), std::min(widest, 256));
    EXPECT_EQ(vector_bits(1024), widest);
    EXPECT_EQ(vector_bits(0), 128);
}

// The working copy hands over to the watched loop when the guard's watch is
// due, and not before: the watch's first snapshot is taken then (a copy that
// ran on to the end would leave the snapshot untouched, and a repeated state
// would never be noticed).
TEST(JacobiSameAsBaseline, TheWatchStartsWhenItIsDue) {
    const Matrix m = centred_points(40, 6, 2468u);
    JacobiGuard& g = scratch();
    constexpr std::uint32_t kUntouched = 0xDEADBEEFu;
    for (std::int32_t width : {128, 256, 512}) {
        if (vector_bits(width) != width) continue;
        SCOPED_TRACE(testing::Message() << width << "-bit vectors");
        g.widest = width;
        for (std::int64_t from : {50, 1000000}) {
            SCOPED_TRACE(testing::Message() << "watch from " << from);
            std::fill(std::begin(g.snapshot), std::end(g.snapshot), kUntouched);
            g.watch_from = from;
            Tables t(m, 1);
            t.nrot = jacobi(t.A(), t.n, 0, t.V(), t.EV(), t.IWK(), &g).nrot;
            g.watch_from = -1;
            ASSERT_GT(t.nrot, 50);
            ASSERT_LT(t.nrot, 1000000);
            // Position 0 of the state is A(1, 1).
            EXPECT_EQ(g.snapshot[0] != kUntouched, from == 50);
        }
    }
    g.widest = 512;
}

// Full-size orders: what a year at the workspace's capacity decomposes.  Under
// the sanitizers the largest orders would take minutes and are left out.
TEST(JacobiSameAsBaseline, LargeOrders) {
    if (kSanitized) {
        expect_same({"points", centred_points(64, 20, 5u), 1});
        expect_same({"integers", integers(48, 3, 6u), 0});
        return;
    }
    expect_same({"points 415", centred_points(415, 60, 7u), 0});
    expect_same({"uniform", uniform(200, 8u), 3});
    expect_same({"integers", integers(150, 3, 9u), 1});
    expect_same({"sparse", sparse(120, 10u), 0});
}

// Orders beyond what the working copy is built for, although the scratch
// would hold their tiles: the decomposition goes element by element, with
// the same results.  Few elements off the diagonal keep it quick.
TEST(JacobiSameAsBaseline, OrdersBeyondTheWorkingCopy) {
    for (std::int32_t n : {421, 500}) {
        Matrix m = zeros(n);
        for (std::int32_t i = 0; i < n; ++i) set(m, i, i, static_cast<float>((i * 37) % 101) / 8.0f);
        for (std::int32_t i = 0; i + 7 < n; i += 29) set(m, i, i + 7, 0.5f + static_cast<float>(i % 5));
        set(m, 0, n - 1, -3.0f);
        expect_same({"nearly diagonal", m, 0}, 1);
    }
}

}  // namespace
}  // namespace seqord::ordination
