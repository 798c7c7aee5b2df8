// Jacobi eigen-decomposition with per-row records of the largest element.
//
// Only the diagonal and the strict upper triangle of A are read or written;
// the lower triangle keeps the centred matrix for the report.  The pivot is
// taken from the row records, which each rotation updates incrementally, and
// after each rotation the larger of the two new diagonal values is moved to
// the lower index.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <utility>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define SEQORD_WIDE_ROTATIONS 1
#endif

#include "ordination/ordination.h"

namespace seqord::ordination {

namespace {

// Keeps a running hash of the state that steers the rotations (the upper
// triangle with the diagonal, the row records and the stopping bound), and
// compares it with snapshots taken after 1, 2, 4, 8, ... rotations.  The
// sequence of rotations is a function of that state alone, so meeting a
// snapshot's state again means the rotations repeat forever and the stopping
// tests can never end them; nothing else stops the decomposition.
class CycleWatch {
public:
    CycleWatch(JacobiGuard* g, std::int32_t n) : g_(g), n_(n) {
        if (g_ != nullptr && n_ > JacobiGuard::kMaxOrder) g_ = nullptr;
        if (g_ != nullptr) {
            g_->cycled = false;
            const std::int64_t nn = static_cast<std::int64_t>(n) * n;
            arm_at_ = g_->watch_from >= 0 ? g_->watch_from : 20 * nn + 100;
        }
    }
    // Whether the state is being watched (from arm() on).
    bool on() const { return armed_; }
    // Whether the watch should start now, `rotations` having been made.
    bool due(std::int64_t rotations) const { return g_ != nullptr && !armed_ && rotations >= arm_at_; }

    void change(std::int64_t pos, std::uint32_t before, std::uint32_t after) {
        hash_ += mix(pos, after) - mix(pos, before);
    }
    std::int64_t pos_a(std::int32_t i, std::int32_t j) const {  // i <= j
        return static_cast<std::int64_t>(j) * (j - 1) / 2 + (i - 1);
    }
    std::int64_t pos_r(std::int32_t r) const { return tri() + (r - 1); }
    std::int64_t pos_c(std::int32_t r) const { return tri() + n_ + (r - 1); }
    std::int64_t pos_t() const { return tri() + 2 * static_cast<std::int64_t>(n_); }

    // `each(f)` calls f(position, bits) for the whole state in position order.
    template <class Each>
    void start(Each each) {
        armed_ = true;
        hash_ = 0;
        each([&](std::int64_t p, std::uint32_t b) { hash_ += mix(p, b); });
        take(each);
    }

    // Called after every rotation: true when the state repeats a snapshot.
    template <class Each>
    bool after_rotation(Each each) {
        ++steps_;
        if (hash_ == snap_hash_) {
            bool same = true;
            each([&](std::int64_t p, std::uint32_t b) { same = same && g_->snapshot[p] == b; });
            if (same) {
                g_->cycled = true;
                return true;
            }
        }
        if (steps_ == power_) {
            take(each);
            power_ *= 2;
            steps_ = 0;
        }
        return false;
    }

private:
    std::int64_t tri() const { return static_cast<std::int64_t>(n_) * (n_ + 1) / 2; }
    template <class Each>
    void take(Each each) {
        each([&](std::int64_t p, std::uint32_t b) { g_->snapshot[p] = b; });
        snap_hash_ = hash_;
    }
    static std::uint64_t mix(std::int64_t pos, std::uint32_t bits) {
        std::uint64_t x = (static_cast<std::uint64_t>(pos) << 32) ^ bits;
        x += 0x9E3779B97F4A7C15ull;
        x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
        x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
        return x ^ (x >> 31);
    }

    JacobiGuard* g_;
    std::int32_t n_;
    bool armed_ = false;
    std::int64_t arm_at_ = 0;
    std::uint64_t hash_ = 0;
    std::uint64_t snap_hash_ = 0;
    std::int64_t steps_ = 0;
    std::int64_t power_ = 1;
};

std::uint32_t bits(float x) { return std::bit_cast<std::uint32_t>(x); }

// ------------------------------------------------------------------------
// The rotation loop on a working copy.  Every value is computed by the same
// expression, in the same precision and with the same rounding, as in the
// element-by-element loop further down; what changes is only where the
// elements are kept and how they are reached.
//
// A rotation reads and writes the elements that pair p and q with every other
// index, and a rebuilt record reads a row of the upper triangle.  In A's
// layout a row runs across the columns at stride MAXL, one cache line per
// element.  The working copy holds the matrix in both triangles, so that the
// elements paired with p are all in its column p, and rows are only ever
// written, as mirror images of columns.  It is stored in tiles of 4 x 4
// elements, one cache line each, column by column within a tile and tile
// column by tile column: a column is a run of four-element pieces in
// consecutive cache lines, rotated four floats (two doubles) at a time, and
// a row touches one cache line per four elements instead of one per element.
//
// The records' comparisons are made without branches: each compares one
// row's record only, so any grouping of rows gives the same result, and the
// pivot's two rows, which take a sequence of offers, keep that sequence's
// first largest value.

// The stopping bound's factor, 2^-27.
constexpr double kTwoToMinus27 = 7.450580596923828E-9;

#if defined(__SSE2__)
// Four elements of each of x and y rotated in double precision, each value
// rounded once to single precision: nx = c x + s y, ny = c y - s x.
inline void rotate4(__m128 x4, __m128 y4, __m128d vc, __m128d vs, __m128& nx, __m128& ny) {
    const __m128d xl = _mm_cvtps_pd(x4), yl = _mm_cvtps_pd(y4);
    const __m128d xh = _mm_cvtps_pd(_mm_movehl_ps(x4, x4)), yh = _mm_cvtps_pd(_mm_movehl_ps(y4, y4));
    const __m128d nxl = _mm_add_pd(_mm_mul_pd(vc, xl), _mm_mul_pd(vs, yl));
    const __m128d nxh = _mm_add_pd(_mm_mul_pd(vc, xh), _mm_mul_pd(vs, yh));
    const __m128d nyl = _mm_sub_pd(_mm_mul_pd(vc, yl), _mm_mul_pd(vs, xl));
    const __m128d nyh = _mm_sub_pd(_mm_mul_pd(vc, yh), _mm_mul_pd(vs, xh));
    nx = _mm_movelh_ps(_mm_cvtpd_ps(nxl), _mm_cvtpd_ps(nxh));
    ny = _mm_movelh_ps(_mm_cvtpd_ps(nyl), _mm_cvtpd_ps(nyh));
}
#endif

// Offers x(i) to record i (column cx), then y(i) (column cy), for i from
// `from` to k - 1: a strictly larger magnitude replaces.  y may be null.
inline void offer_one_by_one(float* rec, std::int32_t* col, const float* x, std::int32_t cx, const float* y,
                             std::int32_t cy, std::int32_t from, std::int32_t k) {
    for (std::int32_t i = from; i < k; ++i) {
        const float mx = std::fabs(x[i]);
        if (mx > rec[i]) {
            rec[i] = mx;
            col[i] = cx;
        }
        if (y != nullptr) {
            const float my = std::fabs(y[i]);
            if (my > rec[i]) {
                rec[i] = my;
                col[i] = cy;
            }
        }
    }
}

// x(i), y(i) <- c x(i) + s y(i), c y(i) - s x(i), old values on the right.
void rotate_pair(float* __restrict x, float* __restrict y, std::int32_t k, double c, double s) {
    std::int32_t i = 0;
#if defined(__SSE2__)
    const __m128d vc = _mm_set1_pd(c), vs = _mm_set1_pd(s);
    for (; i + 4 <= k; i += 4) {
        __m128 nx, ny;
        rotate4(_mm_loadu_ps(x + i), _mm_loadu_ps(y + i), vc, vs, nx, ny);
        _mm_storeu_ps(x + i, nx);
        _mm_storeu_ps(y + i, ny);
    }
#endif
    for (; i < k; ++i) {
        const double xi = x[i], yi = y[i];
        x[i] = static_cast<float>(c * xi + s * yi);
        y[i] = static_cast<float>(c * yi - s * xi);
    }
}

// The same on `pieces` four-element pieces of x and y, `stride` floats
// apart; the new values are also copied, one piece after another, to the
// images xi and yi.
void rotate_pieces(float* x, float* y, std::int32_t pieces, std::int64_t stride, double c, double s,
                   float* __restrict xi, float* __restrict yi) {
#if defined(__SSE2__)
    const __m128d vc = _mm_set1_pd(c), vs = _mm_set1_pd(s);
    for (std::int32_t k = 0; k < pieces; ++k, x += stride, y += stride) {
        __m128 nx, ny;
        rotate4(_mm_loadu_ps(x), _mm_loadu_ps(y), vc, vs, nx, ny);
        _mm_storeu_ps(x, nx);
        _mm_storeu_ps(y, ny);
        _mm_storeu_ps(xi + 4 * k, nx);
        _mm_storeu_ps(yi + 4 * k, ny);
    }
#else
    for (std::int32_t k = 0; k < pieces; ++k, x += stride, y += stride) {
        rotate_pair(x, y, 4, c, s);
        for (std::int32_t i = 0; i < 4; ++i) {
            xi[4 * k + i] = x[i];
            yi[4 * k + i] = y[i];
        }
    }
#endif
}

#if defined(SEQORD_WIDE_ROTATIONS)
// The two rotations above with 256-bit vectors, four doubles at a time, for
// processors that have them (the program is built for the 128-bit ones every
// x86-64 processor has, and chooses at run time).  They multiply, add,
// subtract and convert exactly as the 128-bit ones do, each operation
// rounded the same way, so the results are the same to the last bit.
__attribute__((target("avx"))) void rotate_pair_wide(float* __restrict x, float* __restrict y, std::int32_t k,
                                                     double c, double s) {
    const __m256d vc = _mm256_set1_pd(c), vs = _mm256_set1_pd(s);
    std::int32_t i = 0;
    for (; i + 4 <= k; i += 4) {
        const __m256d xd = _mm256_cvtps_pd(_mm_loadu_ps(x + i)), yd = _mm256_cvtps_pd(_mm_loadu_ps(y + i));
        _mm_storeu_ps(x + i, _mm256_cvtpd_ps(_mm256_add_pd(_mm256_mul_pd(vc, xd), _mm256_mul_pd(vs, yd))));
        _mm_storeu_ps(y + i, _mm256_cvtpd_ps(_mm256_sub_pd(_mm256_mul_pd(vc, yd), _mm256_mul_pd(vs, xd))));
    }
    for (; i < k; ++i) {
        const double xi = x[i], yi = y[i];
        x[i] = static_cast<float>(c * xi + s * yi);
        y[i] = static_cast<float>(c * yi - s * xi);
    }
}

__attribute__((target("avx"))) void rotate_pieces_wide(float* x, float* y, std::int32_t pieces, std::int64_t stride,
                                                       double c, double s, float* __restrict xi,
                                                       float* __restrict yi) {
    const __m256d vc = _mm256_set1_pd(c), vs = _mm256_set1_pd(s);
    for (std::int32_t k = 0; k < pieces; ++k, x += stride, y += stride) {
        const __m256d xd = _mm256_cvtps_pd(_mm_loadu_ps(x)), yd = _mm256_cvtps_pd(_mm_loadu_ps(y));
        const __m128 nx = _mm256_cvtpd_ps(_mm256_add_pd(_mm256_mul_pd(vc, xd), _mm256_mul_pd(vs, yd)));
        const __m128 ny = _mm256_cvtpd_ps(_mm256_sub_pd(_mm256_mul_pd(vc, yd), _mm256_mul_pd(vs, xd)));
        _mm_storeu_ps(x, nx);
        _mm_storeu_ps(y, ny);
        _mm_storeu_ps(xi + 4 * k, nx);
        _mm_storeu_ps(yi + 4 * k, ny);
    }
}

bool processor_has_wide_vectors() {
    static const bool has = __builtin_cpu_supports("avx");
    return has;
}

// The records' searches with 256-bit vectors, eight records at a time, for
// processors with the 256-bit integer operations too.  Comparisons and
// selections are exact, so any width finds the same records.
bool processor_has_wide_records() {
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
}

// The largest of m(0..k-1) (their magnitudes with `magnitudes`), starting
// from 0, a not-a-number never counting; the first and the last index at
// which that value stands.  As largest, first_equal and last_equal below.
template <bool magnitudes>
__attribute__((target("avx2"))) float largest_wide(const float* m, std::int32_t k) {
    const __m256 mask = _mm256_castsi256_ps(_mm256_set1_epi32(magnitudes ? 0x7fffffff : -1));
    __m256 b0 = _mm256_setzero_ps(), b1 = _mm256_setzero_ps();
    std::int32_t i = 0;
    // max(x, b) gives b when x is not a number.
    for (; i + 16 <= k; i += 16) {
        b0 = _mm256_max_ps(_mm256_and_ps(_mm256_loadu_ps(m + i), mask), b0);
        b1 = _mm256_max_ps(_mm256_and_ps(_mm256_loadu_ps(m + i + 8), mask), b1);
    }
    for (; i + 8 <= k; i += 8) b0 = _mm256_max_ps(_mm256_and_ps(_mm256_loadu_ps(m + i), mask), b0);
    alignas(32) float lanes[8];
    _mm256_store_ps(lanes, _mm256_max_ps(b0, b1));
    float best = 0.0f;
    for (float x : lanes) best = x > best ? x : best;
    for (; i < k; ++i) {
        const float x = magnitudes ? std::fabs(m[i]) : m[i];
        best = x > best ? x : best;
    }
    return best;
}
template <bool magnitudes>
__attribute__((target("avx2"))) std::int32_t first_equal_wide(const float* m, std::int32_t k, float value) {
    const __m256 mask = _mm256_castsi256_ps(_mm256_set1_epi32(magnitudes ? 0x7fffffff : -1));
    const __m256 v8 = _mm256_set1_ps(value);
    std::int32_t i = 0;
    for (; i + 8 <= k; i += 8) {
        const __m256 x8 = _mm256_and_ps(_mm256_loadu_ps(m + i), mask);
        const int hit = _mm256_movemask_ps(_mm256_cmp_ps(x8, v8, _CMP_EQ_OQ));
        if (hit != 0) return i + std::countr_zero(static_cast<unsigned>(hit));
    }
    for (; i < k; ++i)
        if ((magnitudes ? std::fabs(m[i]) : m[i]) == value) return i;
    return -1;
}
__attribute__((target("avx2"))) std::int32_t last_equal_wide(const float* m, std::int32_t k, float value) {
    const __m256 v8 = _mm256_set1_ps(value);
    std::int32_t i = k;
    for (; i - 8 >= 0; i -= 8) {
        const int hit = _mm256_movemask_ps(_mm256_cmp_ps(_mm256_loadu_ps(m + i - 8), v8, _CMP_EQ_OQ));
        if (hit != 0) return i - 8 + (31 - std::countl_zero(static_cast<unsigned>(hit)));
    }
    for (; i > 0; --i)
        if (m[i - 1] == value) return i - 1;
    return -1;
}

// The rows r < k whose record's column is cp or cq, in increasing order,
// into rows; returns how many.
__attribute__((target("avx2"))) std::int32_t rows_pointing_at_wide(const std::int32_t* col, std::int32_t k,
                                                                   std::int32_t cp, std::int32_t cq,
                                                                   std::int32_t* rows) {
    const __m256i vp = _mm256_set1_epi32(cp), vq = _mm256_set1_epi32(cq);
    std::int32_t count = 0, r = 0;
    for (; r + 8 <= k; r += 8) {
        const __m256i c8 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(col + r));
        unsigned hit = static_cast<unsigned>(_mm256_movemask_ps(
            _mm256_castsi256_ps(_mm256_or_si256(_mm256_cmpeq_epi32(c8, vp), _mm256_cmpeq_epi32(c8, vq)))));
        while (hit != 0) {
            rows[count++] = r + std::countr_zero(hit);
            hit &= hit - 1;
        }
    }
    for (; r < k; ++r)
        if (col[r] == cp || col[r] == cq) rows[count++] = r;
    return count;
}

// offer_runs (below) eight records at a time.
__attribute__((target("avx2"))) void offer_runs_wide(float* __restrict rec, std::int32_t* __restrict col,
                                                     const float* x, std::int32_t cx, const float* y,
                                                     std::int32_t cy, std::int32_t k) {
    std::int32_t i = 0;
    const __m256 abs_mask = _mm256_castsi256_ps(_mm256_set1_epi32(0x7fffffff));
    const __m256 vcx = _mm256_castsi256_ps(_mm256_set1_epi32(cx)), vcy = _mm256_castsi256_ps(_mm256_set1_epi32(cy));
    for (; i + 8 <= k; i += 8) {
        __m256 r8 = _mm256_loadu_ps(rec + i);
        __m256 c8 = _mm256_loadu_ps(reinterpret_cast<const float*>(col + i));
        const __m256 mx = _mm256_and_ps(_mm256_loadu_ps(x + i), abs_mask);
        __m256 gt = _mm256_cmp_ps(mx, r8, _CMP_GT_OQ);  // false for a not-a-number
        r8 = _mm256_blendv_ps(r8, mx, gt);
        c8 = _mm256_blendv_ps(c8, vcx, gt);
        if (y != nullptr) {
            const __m256 my = _mm256_and_ps(_mm256_loadu_ps(y + i), abs_mask);
            gt = _mm256_cmp_ps(my, r8, _CMP_GT_OQ);
            r8 = _mm256_blendv_ps(r8, my, gt);
            c8 = _mm256_blendv_ps(c8, vcy, gt);
        }
        _mm256_storeu_ps(rec + i, r8);
        _mm256_storeu_ps(reinterpret_cast<float*>(col + i), c8);
    }
    offer_one_by_one(rec, col, x, cx, y, cy, i, k);
}
#else
void rotate_pair_wide(float* x, float* y, std::int32_t k, double c, double s) { rotate_pair(x, y, k, c, s); }
void rotate_pieces_wide(float* x, float* y, std::int32_t pieces, std::int64_t stride, double c, double s, float* xi,
                        float* yi) {
    rotate_pieces(x, y, pieces, stride, c, s, xi, yi);
}
bool processor_has_wide_vectors() { return false; }
bool processor_has_wide_records() { return false; }
template <bool magnitudes>
float largest_wide(const float*, std::int32_t) {
    return 0.0f;
}
template <bool magnitudes>
std::int32_t first_equal_wide(const float*, std::int32_t, float) {
    return -1;
}
std::int32_t last_equal_wide(const float*, std::int32_t, float) { return -1; }
std::int32_t rows_pointing_at_wide(const std::int32_t*, std::int32_t, std::int32_t, std::int32_t, std::int32_t*) {
    return 0;
}
void offer_runs_wide(float*, std::int32_t*, const float*, std::int32_t, const float*, std::int32_t, std::int32_t) {}
#endif

// Offers x(i) to record i (column cx), then y(i) (column cy): a strictly
// larger magnitude replaces.  y may be null (one offer only).
void offer_runs(float* __restrict rec, std::int32_t* __restrict col, const float* x, std::int32_t cx,
                const float* y, std::int32_t cy, std::int32_t k) {
    std::int32_t i = 0;
#if defined(__SSE2__)
    const __m128 abs_mask = _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff));
    const __m128i vcx = _mm_set1_epi32(cx), vcy = _mm_set1_epi32(cy);
    for (; i + 4 <= k; i += 4) {
        __m128 r4 = _mm_loadu_ps(rec + i);
        __m128i c4 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(col + i));
        const __m128 mx = _mm_and_ps(_mm_loadu_ps(x + i), abs_mask);
        __m128 gt = _mm_cmpgt_ps(mx, r4);  // false for a not-a-number
        r4 = _mm_or_ps(_mm_and_ps(gt, mx), _mm_andnot_ps(gt, r4));
        __m128i gi = _mm_castps_si128(gt);
        c4 = _mm_or_si128(_mm_and_si128(gi, vcx), _mm_andnot_si128(gi, c4));
        if (y != nullptr) {
            const __m128 my = _mm_and_ps(_mm_loadu_ps(y + i), abs_mask);
            gt = _mm_cmpgt_ps(my, r4);
            r4 = _mm_or_ps(_mm_and_ps(gt, my), _mm_andnot_ps(gt, r4));
            gi = _mm_castps_si128(gt);
            c4 = _mm_or_si128(_mm_and_si128(gi, vcy), _mm_andnot_si128(gi, c4));
        }
        _mm_storeu_ps(rec + i, r4);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(col + i), c4);
    }
#endif
    offer_one_by_one(rec, col, x, cx, y, cy, i, k);
}

// The largest of m(0..k-1) starting from 0; a not-a-number never counts.
// With `magnitudes` the values' magnitudes are compared.
template <bool magnitudes>
float largest(const float* m, std::int32_t k) {
    float best = 0.0f;
    std::int32_t i = 0;
#if defined(__SSE2__)
    const __m128 mask = _mm_castsi128_ps(_mm_set1_epi32(magnitudes ? 0x7fffffff : -1));
    __m128 b0 = _mm_setzero_ps(), b1 = _mm_setzero_ps();
    // max(x, b) gives b when x is not a number.
    for (; i + 8 <= k; i += 8) {
        b0 = _mm_max_ps(_mm_and_ps(_mm_loadu_ps(m + i), mask), b0);
        b1 = _mm_max_ps(_mm_and_ps(_mm_loadu_ps(m + i + 4), mask), b1);
    }
    for (; i + 4 <= k; i += 4) b0 = _mm_max_ps(_mm_and_ps(_mm_loadu_ps(m + i), mask), b0);
    b0 = _mm_max_ps(b0, b1);
    alignas(16) float lanes[4];
    _mm_store_ps(lanes, b0);
    for (float x : lanes) best = x > best ? x : best;
#endif
    for (; i < k; ++i) {
        const float x = magnitudes ? std::fabs(m[i]) : m[i];
        best = x > best ? x : best;
    }
    return best;
}

// First and last index at which m(i) (its magnitude with `magnitudes`)
// equals `value`; -1 when none does.
template <bool magnitudes>
std::int32_t first_equal(const float* m, std::int32_t k, float value) {
    std::int32_t i = 0;
#if defined(__SSE2__)
    const __m128 mask = _mm_castsi128_ps(_mm_set1_epi32(magnitudes ? 0x7fffffff : -1));
    const __m128 v4 = _mm_set1_ps(value);
    for (; i + 4 <= k; i += 4) {
        const int hit = _mm_movemask_ps(_mm_cmpeq_ps(_mm_and_ps(_mm_loadu_ps(m + i), mask), v4));
        if (hit != 0) return i + std::countr_zero(static_cast<unsigned>(hit));
    }
#endif
    for (; i < k; ++i)
        if ((magnitudes ? std::fabs(m[i]) : m[i]) == value) return i;
    return -1;
}
std::int32_t last_equal(const float* m, std::int32_t k, float value) {
    std::int32_t i = k;
#if defined(__SSE2__)
    const __m128 v4 = _mm_set1_ps(value);
    for (; i - 4 >= 0; i -= 4) {
        const int hit = _mm_movemask_ps(_mm_cmpeq_ps(_mm_loadu_ps(m + i - 4), v4));
        if (hit != 0) return i - 4 + (31 - std::countl_zero(static_cast<unsigned>(hit)));
    }
#endif
    for (; i > 0; --i)
        if (m[i - 1] == value) return i - 1;
    return -1;
}

// The working copy: W(i, j) = W(j, i) = A(i, j) for i < j, W(k, k) = A(k, k),
// indexed from 0, in tiles of 4 x 4; `tiles` tiles a side, the elements
// beyond n held at 0.
struct Work {
    float* w;
    std::int32_t tiles;
    std::int32_t n;
    float* rec;          // row records R(1..n), from index 0
    std::int32_t* col;   // their columns C(1..n), counted from 1
    bool wide;           // whether the searches may use 256-bit vectors

    static constexpr std::int64_t kPiece = 16;  // floats from one piece of a column to the next
    // Where column j starts; its element i is (i / 4) pieces and i % 4 further on.
    float* column(std::int32_t j) const { return w + (j >> 2) * tiles * kPiece + (j & 3) * 4; }
    float& W(std::int32_t i, std::int32_t j) const { return column(j)[(i >> 2) * kPiece + (i & 3)]; }
    std::int32_t pieces() const { return (n + 3) >> 2; }

    void load(const Table<float>& a) const {
        std::fill(w, w + static_cast<std::int64_t>(tiles) * tiles * kPiece, 0.0f);
        for (std::int32_t j = 0; j < n; ++j) {
            const float* aj = a.p + j * a.e1;
            for (std::int32_t i = 0; i <= j; ++i) W(i, j) = aj[i];
            for (std::int32_t i = 0; i < j; ++i) W(j, i) = aj[i];
        }
    }
    void store(const Table<float>& a) const {
        for (std::int32_t j = 0; j < n; ++j) {
            float* aj = a.p + j * a.e1;
            for (std::int32_t i = 0; i <= j; ++i) aj[i] = W(i, j);
        }
    }
    // buf(i) = W(i, j), or its magnitude, for i from 4 * first_piece to the last piece.
    template <bool magnitudes = false>
    void gather(std::int32_t j, std::int32_t first_piece, float* buf) const {
        const float* cj = column(j);
#if defined(__SSE2__)
        const __m128 mask = _mm_castsi128_ps(_mm_set1_epi32(magnitudes ? 0x7fffffff : -1));
        for (std::int32_t k = first_piece; k < pieces(); ++k)
            _mm_storeu_ps(buf + 4 * k, _mm_and_ps(_mm_loadu_ps(cj + k * kPiece), mask));
#else
        for (std::int32_t k = first_piece; k < pieces(); ++k)
            for (std::int32_t i = 0; i < 4; ++i) {
                const float x = cj[k * kPiece + i];
                buf[4 * k + i] = magnitudes ? std::fabs(x) : x;
            }
#endif
    }
    // Row i of the copy from a column image: W(i, m) = x(m) for every m.
    void mirror(std::int32_t i, const float* x) const {
        float* const wi = w + (i >> 2) * kPiece + (i & 3);
        const std::int64_t tile_column = static_cast<std::int64_t>(tiles) * kPiece;
        for (std::int32_t k = 0; k < pieces(); ++k) {
            float* const t = wi + k * tile_column;
            t[0] = x[4 * k];
            t[4] = x[4 * k + 1];
            t[8] = x[4 * k + 2];
            t[12] = x[4 * k + 3];
        }
    }

    // Row r's record from its elements A(r, r+1..n-1), kept in column r below
    // the diagonal, the one at column `skip` (or none: -1) read as 0: the last
    // of equal magnitudes wins; a row whose elements are all not-a-number
    // keeps its column.
    void scan_row(std::int32_t r, std::int32_t skip, float* buf) const {
        gather<true>(r, (r + 1) >> 2, buf);
        float* const x = buf + r + 1;
        const std::int32_t k = n - 1 - r;
        if (skip >= 0) buf[skip] = 0.0f;
        const float best = wide ? largest_wide<false>(x, k) : largest<false>(x, k);
        rec[r] = best;
        const std::int32_t at = wide ? last_equal_wide(x, k, best) : last_equal(x, k, best);
        if (at >= 0) col[r] = r + 2 + at;
    }

    // Row r's fresh record after a rotation, from the image x of column r:
    // the first largest magnitude above 0 of its new elements x(r+1..n-1);
    // its column stays when none is.
    void first_record(std::int32_t r, const float* x) const {
        x += r + 1;
        const std::int32_t k = n - 1 - r;
        const float best = wide ? largest_wide<true>(x, k) : largest<true>(x, k);
        rec[r] = best;
        if (best > 0.0f) col[r] = r + 2 + (wide ? first_equal_wide<true>(x, k, best) : first_equal<true>(x, k, best));
    }
};

// Whether raw storage can stand for the tables: they hold the leading n x n
// blocks and the work vectors without overlapping one another or the
// working copy.
bool raw_fits(const Table<float>& a, std::int32_t n, std::int32_t mode, const Table<float>& v,
              const Table<float>& ev, const Table<std::int32_t>& iwk, const float* work, std::int64_t work_size) {
    const std::int64_t nn = n;
    const std::int64_t side = (nn + 3) / 4 * 4;
    if (n < 2 || side * side > work_size) return false;
    auto square_fits = [&](const Table<float>& t) { return t.e1 >= nn && (nn - 1) * t.e1 + nn <= t.size; };
    if (!square_fits(a) || ev.size < nn || iwk.size < nn) return false;
    if (mode == 0 && !square_fits(v)) return false;
    struct Span {
        std::uintptr_t lo, hi;
    };
    auto span = [](const void* p, std::int64_t bytes) {
        const auto lo = reinterpret_cast<std::uintptr_t>(p);
        return Span{lo, lo + static_cast<std::uintptr_t>(bytes)};
    };
    const Span spans[] = {span(a.p, a.size * 4), span(ev.p, nn * 4), span(iwk.p, nn * 4),
                          span(work, work_size * 4), mode == 0 ? span(v.p, v.size * 4) : Span{0, 0}};
    constexpr std::size_t k = sizeof spans / sizeof spans[0];
    for (std::size_t i = 0; i < k; ++i)
        for (std::size_t j = i + 1; j < k; ++j)
            if (spans[i].lo < spans[j].hi && spans[j].lo < spans[i].hi) return false;
    return true;
}

// The rotations on the working copy in the guard's scratch, from the first,
// until they stop (true) or until the guard's watch is due (false); A, V and
// the records then stand as the element-by-element loop would have left them.
// Kept out of line: the two loops are optimised better apart.
[[gnu::noinline]] bool rotate_on_copy(const Table<float>& a, std::int32_t n, std::int32_t mode, const Table<float>& v,
                                      const Table<float>& ev, const Table<std::int32_t>& iwk, JacobiGuard& guard,
                                      const CycleWatch& watch, float& t_bound, std::int64_t& rotations) {
    bool stopped = false;
    const bool wide = guard.wide && processor_has_wide_vectors();
    const bool wide_records = guard.wide && processor_has_wide_records();
    const Work w{guard.work, (n + 3) / 4, n, ev.p, iwk.p, wide_records};
    alignas(16) std::int32_t hit_rows[JacobiGuard::kMaxOrder];
    alignas(16) float buf[JacobiGuard::kMaxOrder];
    alignas(16) float image_p[JacobiGuard::kMaxOrder];
    alignas(16) float image_q[JacobiGuard::kMaxOrder];
    float* const rec = w.rec;
    std::int32_t* const col = w.col;
    w.load(a);

    // Initial records.  A row whose elements are all not-a-number would
    // find no column; it starts at the last one, where an all-zero row ends too.
    for (std::int32_t r = 0; r < n - 1; ++r) {
        col[r] = n;
        w.scan_row(r, -1, buf);
    }

    while (!watch.due(rotations)) {
        // Pivot: the lowest row among equal largest records.
        const float m = wide_records ? largest_wide<false>(rec, n - 1) : largest<false>(rec, n - 1);
        if (m <= 0.0f) {
            stopped = true;
            break;
        }
        if (t_bound <= 0.0f || m <= t_bound) {
            float smallest = std::fabs(w.W(0, 0));
            for (std::int32_t k = 1; k < n; ++k) smallest = std::fmin(smallest, std::fabs(w.W(k, k)));
            t_bound = static_cast<float>(kTwoToMinus27 * smallest);
            if (m <= t_bound) {
                stopped = true;
                break;
            }
        }
        const std::int32_t p =
            wide_records ? first_equal_wide<false>(rec, n - 1, m) : first_equal<false>(rec, n - 1, m);
        const std::int32_t q = col[p] - 1;

        ++rotations;
        const float ap = w.W(p, p);
        const float bq = w.W(q, q);
        const float e = w.W(p, q);
        const float theta = ap - bq;
        const double g = theta < 0.0f ? -2.0 : 2.0;
        const double de = e;
        const double dtheta = theta;
        const float t =
            static_cast<float>(g * de / (std::fabs(dtheta) + std::sqrt(dtheta * dtheta + 4.0 * de * de)));
        const double dt = t;
        double c = 1.0 / std::sqrt(1.0 + dt * dt);
        double s = dt * c;
        const double c2 = c * c;
        float new_p = static_cast<float>(c2 * (ap + dt * (2.0 * de + dt * bq)));
        float new_q = static_cast<float>(c2 * (bq - dt * (2.0 * de - dt * ap)));
        if (new_p < new_q) {
            // A further quarter turn puts the larger value at the lower index.
            std::swap(new_p, new_q);
            const double c_old = c;
            c = std::fabs(s);
            s = s > 0.0 ? -c_old : c_old;
        }

        // Rows whose record points at column p or q are rescanned at their
        // values before the rotation, the pointed element read as 0.
        {
            const std::int32_t cp = p + 1, cq = q + 1;
            auto rescan = [&](std::int32_t r) {
                if (r != p && r != q && (col[r] == cp || col[r] == cq)) w.scan_row(r, col[r] - 1, buf);
            };
            std::int32_t r = 0;
            if (wide_records) {
                const std::int32_t hits = rows_pointing_at_wide(col, n - 1, cp, cq, hit_rows);
                for (std::int32_t h = 0; h < hits; ++h) {
                    const std::int32_t row = hit_rows[h];
                    if (row != p && row != q) w.scan_row(row, col[row] - 1, buf);
                }
                r = n - 1;
            }
#if defined(__SSE2__)
            // Sixteen records at a time; only a group with a hit is looked into.
            const __m128i vp = _mm_set1_epi32(cp), vq = _mm_set1_epi32(cq);
            auto hits = [&](std::int32_t at) {
                const __m128i c4 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(col + at));
                return _mm_or_si128(_mm_cmpeq_epi32(c4, vp), _mm_cmpeq_epi32(c4, vq));
            };
            for (; r + 16 <= n - 1; r += 16) {
                const __m128i h0 = hits(r), h1 = hits(r + 4), h2 = hits(r + 8), h3 = hits(r + 12);
                if (_mm_movemask_epi8(_mm_or_si128(_mm_or_si128(h0, h1), _mm_or_si128(h2, h3))) == 0) continue;
                unsigned bits16 = static_cast<unsigned>(_mm_movemask_ps(_mm_castsi128_ps(h0))) |
                                  static_cast<unsigned>(_mm_movemask_ps(_mm_castsi128_ps(h1))) << 4 |
                                  static_cast<unsigned>(_mm_movemask_ps(_mm_castsi128_ps(h2))) << 8 |
                                  static_cast<unsigned>(_mm_movemask_ps(_mm_castsi128_ps(h3))) << 12;
                while (bits16 != 0) {
                    const std::int32_t row = r + std::countr_zero(bits16);
                    bits16 &= bits16 - 1;
                    if (row != p && row != q) w.scan_row(row, col[row] - 1, buf);
                }
            }
#endif
            for (; r < n - 1; ++r) rescan(r);
        }

        // The elements pairing m with p and with q: columns p and q of the
        // copy, rotated whole and copied to contiguous images; the four
        // elements where they cross take their values afterwards.  Then
        // the images go to rows p and q.
        if (wide) {
            rotate_pieces_wide(w.column(p), w.column(q), w.pieces(), Work::kPiece, c, s, image_p, image_q);
        } else {
            rotate_pieces(w.column(p), w.column(q), w.pieces(), Work::kPiece, c, s, image_p, image_q);
        }
        w.W(p, p) = image_p[p] = new_p;
        w.W(q, q) = image_q[q] = new_q;
        w.W(p, q) = image_q[p] = 0.0f;
        w.W(q, p) = image_p[q] = 0.0f;
        w.mirror(p, image_p);
        w.mirror(q, image_q);

        // Each new element is offered to the record of the row it stands in:
        // rows above p take A(m, p) and A(m, q), rows between p and q A(m, q),
        // and rows p and q take fresh records from their rows.
        if (wide_records) {
            offer_runs_wide(rec, col, image_p, p + 1, image_q, q + 1, p);
            offer_runs_wide(rec + p + 1, col + p + 1, image_q + p + 1, q + 1, nullptr, 0, q - p - 1);
        } else {
            offer_runs(rec, col, image_p, p + 1, image_q, q + 1, p);
            offer_runs(rec + p + 1, col + p + 1, image_q + p + 1, q + 1, nullptr, 0, q - p - 1);
        }
        w.first_record(p, image_p);
        if (q < n - 1) {
            w.first_record(q, image_q);
        } else {
            rec[q] = 0.0f;
        }

        if (mode == 0) {
            if (wide) {
                rotate_pair_wide(v.p + p * v.e1, v.p + q * v.e1, n, c, s);
            } else {
                rotate_pair(v.p + p * v.e1, v.p + q * v.e1, n, c, s);
            }
        }
    }
    w.store(a);
    return stopped;
}

}  // namespace

void jacobi(Table<float> a, std::int32_t n, std::int32_t mode, Table<float> v, std::int32_t& nrot,
            Table<float> ev, Table<std::int32_t> iwk, std::int32_t maxl, JacobiGuard* guard) {
    (void)maxl;
    if (mode == 0) {
        for (std::int32_t j = 1; j <= n; ++j)
            for (std::int32_t i = 1; i <= n; ++i) v(i, j) = i == j ? 1.0f : 0.0f;
    }
    nrot = 0;
    if (guard != nullptr) guard->cycled = false;
    if (n <= 1) return;

    CycleWatch watch(guard, n);
    float t_bound = 1.0E38f;
    std::int64_t rotations = 0;
    bool stopped = false;

    // Rotations on the working copy until they stop, or until the guard's
    // watch is due: from then on every store goes through the watched loop
    // below.  Without the guard's scratch, that loop does all the work.
    const bool raw = guard != nullptr && raw_fits(a, n, mode, v, ev, iwk, guard->work, JacobiGuard::kWorkSize);
    if (raw) stopped = rotate_on_copy(a, n, mode, v, ev, iwk, *guard, watch, t_bound, rotations);

    if (stopped) {
        nrot = static_cast<std::int32_t>(std::min<std::int64_t>(rotations, INT32_MAX));
        return;
    }

    // The element-by-element loop: used once the guard watches the state
    // (every store into it is then hashed), or for tables that raw storage
    // cannot stand for.  It carries on from where the rotations above stopped.
    auto set_a = [&](std::int32_t i, std::int32_t j, float x) {
        float& ref = a(i, j);
        if (watch.on()) watch.change(watch.pos_a(i, j), bits(ref), bits(x));
        ref = x;
    };
    auto set_r = [&](std::int32_t r, float x) {
        float& ref = ev[r];
        if (watch.on() && r < n) watch.change(watch.pos_r(r), bits(ref), bits(x));
        ref = x;
    };
    auto set_c = [&](std::int32_t r, std::int32_t c) {
        std::int32_t& ref = iwk[r];
        if (watch.on()) watch.change(watch.pos_c(r), static_cast<std::uint32_t>(ref), static_cast<std::uint32_t>(c));
        ref = c;
    };
    auto set_t = [&](float x) {
        if (watch.on()) watch.change(watch.pos_t(), bits(t_bound), bits(x));
        t_bound = x;
    };
    // Rescans row r from column r + 1: the last of equal magnitudes is kept.
    auto scan_row = [&](std::int32_t r) {
        set_r(r, 0.0f);
        for (std::int32_t c = r + 1; c <= n; ++c) {
            float m = std::fabs(a(r, c));
            if (ev[r] <= m) {
                set_r(r, m);
                set_c(r, c);
            }
        }
    };
    // After an update: a strictly larger magnitude replaces the record.
    auto offer = [&](std::int32_t r, std::int32_t c, float x) {
        float m = std::fabs(x);
        if (m > ev[r]) {
            set_r(r, m);
            set_c(r, c);
        }
    };

    if (!raw) {
        // Initial records, as above.
        for (std::int32_t r = 1; r <= n - 1; ++r) {
            iwk[r] = n;
            ev[r] = 0.0f;
            scan_row(r);
        }
    }

    auto state_bits = [&](auto&& f) {
        for (std::int32_t j = 1; j <= n; ++j)
            for (std::int32_t i = 1; i <= j; ++i) f(watch.pos_a(i, j), bits(a(i, j)));
        for (std::int32_t r = 1; r <= n - 1; ++r) f(watch.pos_r(r), bits(ev[r]));
        f(watch.pos_r(n), 0u);
        for (std::int32_t r = 1; r <= n - 1; ++r) f(watch.pos_c(r), static_cast<std::uint32_t>(iwk[r]));
        f(watch.pos_c(n), 0u);
        f(watch.pos_t(), bits(t_bound));
    };
    if (watch.due(rotations)) watch.start(state_bits);

    for (;;) {
        // Pivot: the lowest row among equal largest records.
        std::int32_t p = 1;
        std::int32_t q = iwk[1];
        float m = ev[1];
        for (std::int32_t r = 2; r <= n - 1; ++r) {
            if (ev[r] > m) {
                p = r;
                q = iwk[r];
                m = ev[r];
            }
        }
        // Stopping tests; the bound is recomputed only when the largest
        // record has fallen to it (and on the first pass).
        if (m <= 0.0f) break;
        if (t_bound <= 0.0f || m <= t_bound) {
            float smallest = std::fabs(a(1, 1));
            for (std::int32_t k = 2; k <= n; ++k) smallest = std::fmin(smallest, std::fabs(a(k, k)));
            set_t(static_cast<float>(kTwoToMinus27 * smallest));
            if (m <= t_bound) break;
        }

        // Rotation.
        ++rotations;
        const float ap = a(p, p);
        const float bq = a(q, q);
        const float e = a(p, q);
        const float theta = ap - bq;
        const double g = theta < 0.0f ? -2.0 : 2.0;
        const double de = e;
        const double dtheta = theta;
        const float t = static_cast<float>(g * de / (std::fabs(dtheta) + std::sqrt(dtheta * dtheta + 4.0 * de * de)));
        const double dt = t;
        double c = 1.0 / std::sqrt(1.0 + dt * dt);
        double s = dt * c;
        const double c2 = c * c;
        set_a(p, p, static_cast<float>(c2 * (ap + dt * (2.0 * de + dt * bq))));
        set_a(q, q, static_cast<float>(c2 * (bq - dt * (2.0 * de - dt * ap))));
        set_a(p, q, 0.0f);
        if (a(p, p) < a(q, q)) {
            // A further quarter turn puts the larger value at the lower index.
            const float hold = a(p, p);
            set_a(p, p, a(q, q));
            set_a(q, q, hold);
            const double c_old = c;
            c = std::fabs(s);
            s = s > 0.0 ? -c_old : c_old;
        }

        // Rows whose record pointed at column p or q are rescanned, the
        // pointed element left out, at their values before the rotation.
        for (std::int32_t r = 1; r <= n - 1; ++r) {
            if (r == p || r == q) continue;
            const std::int32_t cr = iwk[r];
            if (cr != p && cr != q) continue;
            const float keep = a(r, cr);
            set_a(r, cr, 0.0f);
            scan_row(r);
            set_a(r, cr, keep);
        }

        // The elements pairing m with p and with q, old values on the right.
        set_r(p, 0.0f);
        set_r(q, 0.0f);
        for (std::int32_t mm = 1; mm <= n; ++mm) {
            if (mm == p || mm == q) continue;
            // The upper-triangle positions of (mm, p) and (mm, q); each value
            // is offered to the record of the row it stands in.
            std::int32_t xr = p, xc = mm, yr = mm, yc = q;
            if (mm < p) {
                xr = mm;
                xc = p;
            } else if (mm > q) {
                yr = q;
                yc = mm;
            }
            const double x = a(xr, xc), y = a(yr, yc);
            const float nx = static_cast<float>(c * x + s * y);
            set_a(xr, xc, nx);
            offer(xr, xc, nx);
            const float ny = static_cast<float>(c * y - s * x);
            set_a(yr, yc, ny);
            offer(yr, yc, ny);
        }

        if (mode == 0) {
            for (std::int32_t k = 1; k <= n; ++k) {
                const double x = v(k, p), y = v(k, q);
                v(k, p) = static_cast<float>(c * x + s * y);
                v(k, q) = static_cast<float>(c * y - s * x);
            }
        }

        if (watch.on()) {
            if (watch.after_rotation(state_bits)) break;
        } else if (watch.due(rotations)) {
            watch.start(state_bits);
        }
    }
    nrot = rotations > INT32_MAX ? INT32_MAX : static_cast<std::int32_t>(rotations);
}

}  // namespace seqord::ordination
