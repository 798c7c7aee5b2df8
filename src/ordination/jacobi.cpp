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
// The rotation loop on raw storage.  Every value is computed by the same
// expression, in the same precision and with the same rounding, as in the
// element-by-element description; what changes is only how the elements are
// reached: contiguous runs are processed two doubles (four floats) at a time,
// the strided rows of the upper triangle are gathered into short contiguous
// runs first, and the records' comparisons are made without branches.  The
// records can be compared in any grouping because each comparison involves
// one row's record only, and the rows whose records take a sequence of
// offers (the pivot's two rows) keep the sequence's first largest value.

// Orders up to this size are rotated on raw storage; the gathered runs live
// on the stack.  The workspace allows at most 418 locations.
constexpr std::int32_t kFastOrder = 1024;

// x(i), y(i) <- c x(i) + s y(i), c y(i) - s x(i), old values on the right.
void rotate_pair(float* __restrict x, float* __restrict y, std::int32_t k, double c, double s) {
    std::int32_t i = 0;
#if defined(__SSE2__)
    const __m128d vc = _mm_set1_pd(c), vs = _mm_set1_pd(s);
    for (; i + 4 <= k; i += 4) {
        const __m128 x4 = _mm_loadu_ps(x + i), y4 = _mm_loadu_ps(y + i);
        const __m128d xl = _mm_cvtps_pd(x4), yl = _mm_cvtps_pd(y4);
        const __m128d xh = _mm_cvtps_pd(_mm_movehl_ps(x4, x4)), yh = _mm_cvtps_pd(_mm_movehl_ps(y4, y4));
        const __m128d nxl = _mm_add_pd(_mm_mul_pd(vc, xl), _mm_mul_pd(vs, yl));
        const __m128d nxh = _mm_add_pd(_mm_mul_pd(vc, xh), _mm_mul_pd(vs, yh));
        const __m128d nyl = _mm_sub_pd(_mm_mul_pd(vc, yl), _mm_mul_pd(vs, xl));
        const __m128d nyh = _mm_sub_pd(_mm_mul_pd(vc, yh), _mm_mul_pd(vs, xh));
        _mm_storeu_ps(x + i, _mm_movelh_ps(_mm_cvtpd_ps(nxl), _mm_cvtpd_ps(nxh)));
        _mm_storeu_ps(y + i, _mm_movelh_ps(_mm_cvtpd_ps(nyl), _mm_cvtpd_ps(nyh)));
    }
#endif
    for (; i < k; ++i) {
        const double xi = x[i], yi = y[i];
        x[i] = static_cast<float>(c * xi + s * yi);
        y[i] = static_cast<float>(c * yi - s * xi);
    }
}

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
    for (; i < k; ++i) {
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

// The largest of the magnitudes m(0..k-1) (each 0 or more, or not a number,
// which never counts), starting from 0.
float largest(const float* m, std::int32_t k) {
    float best = 0.0f;
    std::int32_t i = 0;
#if defined(__SSE2__)
    __m128 b4 = _mm_setzero_ps();
    for (; i + 4 <= k; i += 4) b4 = _mm_max_ps(_mm_loadu_ps(m + i), b4);  // keeps b4 for a not-a-number
    alignas(16) float lanes[4];
    _mm_store_ps(lanes, b4);
    for (float x : lanes) best = x > best ? x : best;
#endif
    for (; i < k; ++i) best = m[i] > best ? m[i] : best;
    return best;
}

// First and last index at which m(i) equals `value` (which occurs).
std::int32_t first_equal(const float* m, std::int32_t k, float value) {
    std::int32_t i = 0;
#if defined(__SSE2__)
    const __m128 v4 = _mm_set1_ps(value);
    for (; i + 4 <= k; i += 4) {
        const int hit = _mm_movemask_ps(_mm_cmpeq_ps(_mm_loadu_ps(m + i), v4));
        if (hit != 0) return i + std::countr_zero(static_cast<unsigned>(hit));
    }
#endif
    for (; i < k; ++i)
        if (m[i] == value) return i;
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

// The column-major storage of the decomposition, indexed from 0, with its
// ranges checked once before the rotations begin.
struct Raw {
    float* a;
    std::int64_t lda;
    float* v;
    std::int64_t ldv;
    float* rec;
    std::int32_t* col;
    std::int32_t n;

    float& A(std::int32_t i, std::int32_t j) const { return a[j * lda + i]; }

    // Row r's record from its elements A(r, r+1..n-1), the one at column
    // `skip` (or none: -1) read as 0: the last of equal magnitudes wins;
    // a row whose elements are all not-a-number keeps its column.
    void scan_row(std::int32_t r, std::int32_t skip, float* buf) const {
        const std::int32_t k = n - 1 - r;
        const float* p = a + (r + 1) * lda + r;
        for (std::int32_t i = 0; i < k; ++i) buf[i] = std::fabs(p[i * lda]);
        if (skip >= 0) buf[skip - r - 1] = 0.0f;
        const float best = largest(buf, k);
        rec[r] = best;
        const std::int32_t at = last_equal(buf, k, best);
        if (at >= 0) col[r] = r + 2 + at;  // columns are recorded from 1
    }
};

// Whether the tables hold the leading n x n blocks and the work vectors
// without overlapping, so that raw storage can stand for them.
bool raw_fits(const Table<float>& a, std::int32_t n, std::int32_t mode, const Table<float>& v,
              const Table<float>& ev, const Table<std::int32_t>& iwk) {
    if (n < 2 || n > kFastOrder) return false;
    const std::int64_t nn = n;
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
                          mode == 0 ? span(v.p, v.size * 4) : Span{0, 0}};
    for (std::size_t i = 0; i < 4; ++i)
        for (std::size_t j = i + 1; j < 4; ++j)
            if (spans[i].lo < spans[j].hi && spans[j].lo < spans[i].hi) return false;
    return true;
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
    constexpr double kTwoToMinus27 = 7.450580596923828E-9;
    float t_bound = 1.0E38f;
    std::int64_t rotations = 0;
    bool stopped = false;

    // Rotations on raw storage until they stop, or until the guard's watch
    // is due: from then on every store goes through the watched loop below.
    const bool raw = raw_fits(a, n, mode, v, ev, iwk);
    if (raw) {
        const Raw w{a.p, a.e1, v.p, v.e1, ev.p, iwk.p, n};
        float buf[kFastOrder];
        float row_p[kFastOrder];
        float row_q[kFastOrder];
        float* rec = w.rec;
        std::int32_t* col = w.col;
        const std::int64_t lda = w.lda;

        // Initial records.  A row whose elements are all not-a-number would
        // find no column; it starts at the last one, where an all-zero row ends too.
        for (std::int32_t r = 0; r < n - 1; ++r) {
            col[r] = n;
            w.scan_row(r, -1, buf);
        }

        while (!watch.due(rotations)) {
            // Pivot: the lowest row among equal largest records.
            const float m = largest(rec, n - 1);
            const std::int32_t p = first_equal(rec, n - 1, m);
            const std::int32_t q = col[p] - 1;
            if (m <= 0.0f) {
                stopped = true;
                break;
            }
            if (t_bound <= 0.0f || m <= t_bound) {
                float smallest = std::fabs(w.A(0, 0));
                for (std::int32_t k = 1; k < n; ++k) smallest = std::fmin(smallest, std::fabs(w.A(k, k)));
                t_bound = static_cast<float>(kTwoToMinus27 * smallest);
                if (m <= t_bound) {
                    stopped = true;
                    break;
                }
            }

            ++rotations;
            const float ap = w.A(p, p);
            const float bq = w.A(q, q);
            const float e = w.A(p, q);
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
            w.A(p, p) = new_p;
            w.A(q, q) = new_q;
            w.A(p, q) = 0.0f;

            // Rows whose record points at column p or q are rescanned at their
            // values before the rotation, the pointed element read as 0.
            {
                const std::int32_t cp = p + 1, cq = q + 1;
                std::int32_t r = 0;
#if defined(__SSE2__)
                const __m128i vp = _mm_set1_epi32(cp), vq = _mm_set1_epi32(cq);
                for (; r + 4 <= n - 1; r += 4) {
                    const __m128i c4 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(col + r));
                    int hit = _mm_movemask_ps(
                        _mm_castsi128_ps(_mm_or_si128(_mm_cmpeq_epi32(c4, vp), _mm_cmpeq_epi32(c4, vq))));
                    while (hit != 0) {
                        const std::int32_t row = r + std::countr_zero(static_cast<unsigned>(hit));
                        hit &= hit - 1;
                        if (row != p && row != q) w.scan_row(row, col[row] - 1, buf);
                    }
                }
#endif
                for (; r < n - 1; ++r) {
                    if (r == p || r == q) continue;
                    if (col[r] == cp || col[r] == cq) w.scan_row(r, col[r] - 1, buf);
                }
            }

            // The elements pairing m with p and with q, each offered to the
            // record of the row it stands in.  Rows above p: both in columns.
            float* colp = a.p + p * lda;
            float* colq = a.p + q * lda;
            rotate_pair(colp, colq, p, c, s);
            offer_runs(rec, col, colp, p + 1, colq, q + 1, p);
            // Rows between p and q: row p's element is gathered from its row.
            const std::int32_t mid = q - p - 1;
            for (std::int32_t i = 0; i < mid; ++i) row_p[i] = a.p[(p + 1 + i) * lda + p];
            rotate_pair(row_p, colq + p + 1, mid, c, s);
            for (std::int32_t i = 0; i < mid; ++i) a.p[(p + 1 + i) * lda + p] = row_p[i];
            offer_runs(rec + p + 1, col + p + 1, colq + p + 1, q + 1, nullptr, 0, mid);
            // Rows below q: both elements gathered from rows p and q.
            const std::int32_t low = n - 1 - q;
            float* const tail_p = row_p + mid;
            for (std::int32_t i = 0; i < low; ++i) {
                tail_p[i] = a.p[(q + 1 + i) * lda + p];
                row_q[i] = a.p[(q + 1 + i) * lda + q];
            }
            rotate_pair(tail_p, row_q, low, c, s);
            for (std::int32_t i = 0; i < low; ++i) {
                a.p[(q + 1 + i) * lda + p] = tail_p[i];
                a.p[(q + 1 + i) * lda + q] = row_q[i];
            }
            // Rows p and q take fresh records: the first largest magnitude
            // above 0 of their new elements; their columns stay when none is.
            const std::int32_t along_p = mid + low;
            for (std::int32_t i = 0; i < along_p; ++i) row_p[i] = std::fabs(row_p[i]);
            const float best_p = largest(row_p, along_p);
            rec[p] = best_p;
            if (best_p > 0.0f) {
                const std::int32_t i = first_equal(row_p, along_p, best_p);
                col[p] = (i < mid ? p + 2 + i : p + 3 + i);
            }
            for (std::int32_t i = 0; i < low; ++i) row_q[i] = std::fabs(row_q[i]);
            const float best_q = largest(row_q, low);
            rec[q] = best_q;
            if (best_q > 0.0f) col[q] = q + 2 + first_equal(row_q, low, best_q);

            if (mode == 0) rotate_pair(w.v + p * w.ldv, w.v + q * w.ldv, n, c, s);
        }
    }

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
