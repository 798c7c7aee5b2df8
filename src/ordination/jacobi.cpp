// Jacobi eigen-decomposition with per-row records of the largest element.
//
// Only the diagonal and the strict upper triangle of A are read or written;
// the lower triangle keeps the centred matrix for the report.  The pivot is
// taken from the row records, which each rotation updates incrementally, and
// after each rotation the larger of the two new diagonal values is moved to
// the lower index.
//
// The rotations normally run on a working copy of the matrix (rotations.inc,
// built for several vector widths); the element-by-element loop here takes
// over when the guard starts watching for a repeated state, and does all the
// work without a guard or for tables that raw storage cannot stand for.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>

#include "ordination/ordination.h"
#include "ordination/plane_rotation.h"
#include "ordination/rotations.h"

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
            const std::int64_t nn = static_cast<std::int64_t>(n) * n;
            arm_at_ = g_->watch_from >= 0 ? g_->watch_from : 20 * nn + 100;
        }
    }
    // Whether the state is being watched (from start() on).
    bool on() const { return armed_; }
    // Whether the state came back to a snapshot's.
    bool cycled() const { return cycled_; }
    // Whether the watch should start now, `rotations` having been made.
    bool due(std::int64_t rotations) const { return g_ != nullptr && !armed_ && rotations >= arm_at_; }
    // The rotations after which it starts; never, without a guard.
    std::int64_t starts_at() const { return g_ != nullptr ? arm_at_ : INT64_MAX; }

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
                cycled_ = true;
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
    bool cycled_ = false;
    std::int64_t arm_at_ = 0;
    std::uint64_t hash_ = 0;
    std::uint64_t snap_hash_ = 0;
    std::int64_t steps_ = 0;
    std::int64_t power_ = 1;
};

std::uint32_t bits(float x) { return std::bit_cast<std::uint32_t>(x); }

// Whether raw storage can stand for the tables: they hold the leading n x n
// blocks and the work vectors without overlapping one another or the
// working copy.
bool raw_fits(const Table<float>& a, std::int32_t n, std::int32_t mode, const Table<float>& v,
              const Table<float>& ev, const Table<std::int32_t>& iwk, const float* work, std::int64_t work_size) {
    const std::int64_t nn = n;
    if (n < 2 || n > kCopyMaxOrder || copy_floats(nn) > work_size) return false;
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

static_assert(JacobiGuard::kMaxOrder <= kCopyMaxOrder, "the rotation loop takes every order the guard watches");

// The widest vectors the processor lets the rotation loop use, in bits.
std::int32_t processor_vector_bits() {
#if defined(SEQORD_WIDE_KERNELS)
    static const std::int32_t bits = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl") ? 512
                                     : __builtin_cpu_supports("avx2")                                        ? 256
                                                                                                             : 128;
    return bits;
#else
    return 128;
#endif
}

// The rotations on the working copy in the guard's scratch, with the widest
// vectors that both the guard and the processor allow.
bool rotate_on_copy(const Table<float>& a, std::int32_t n, std::int32_t mode, const Table<float>& v,
                    const Table<float>& ev, const Table<std::int32_t>& iwk, JacobiGuard& guard,
                    const CycleWatch& watch, float& t_bound, std::int64_t& rotations) {
    const CopyJob job{a.p, a.e1, v.p, v.e1, ev.p, iwk.p, guard.work, n, mode, watch.starts_at()};
    switch (vector_bits(guard.widest)) {
#if defined(SEQORD_WIDE_KERNELS)
        case 512:
            return rotations_512::rotate_on_copy(job, t_bound, rotations);
        case 256:
            return rotations_256::rotate_on_copy(job, t_bound, rotations);
#endif
        default:
            return rotations_128::rotate_on_copy(job, t_bound, rotations);
    }
}

}  // namespace

std::int64_t copy_floats(std::int64_t n) {
    // The lower triangle's tiles of 16 floats, and room to align them to 64 bytes.
    const std::int64_t tiles = (n + 3) / 4;
    return tiles * (tiles + 1) / 2 * 16 + 16;
}

std::int32_t vector_bits(std::int32_t widest) {
    const std::int32_t has = processor_vector_bits();
    return widest >= 512 && has >= 512 ? 512 : widest >= 256 && has >= 256 ? 256 : 128;
}

JacobiResult jacobi(Table<float> a, std::int32_t n, std::int32_t mode, Table<float> v, Table<float> ev,
                    Table<std::int32_t> iwk, JacobiGuard* guard) {
    if (mode == 0) {
        for (std::int32_t j = 1; j <= n; ++j)
            for (std::int32_t i = 1; i <= n; ++i) v(i, j) = i == j ? 1.0f : 0.0f;
    }
    if (n <= 1) return {};

    CycleWatch watch(guard, n);
    float t_bound = 1.0E38f;
    std::int64_t rotations = 0;
    bool stopped = false;

    // Rotations on the working copy until they stop, or until the guard's
    // watch is due: from then on every store goes through the watched loop
    // below.  Without the guard's scratch, that loop does all the work.
    const bool raw = guard != nullptr && raw_fits(a, n, mode, v, ev, iwk, guard->work, JacobiGuard::kWorkSize);
    if (raw) stopped = rotate_on_copy(a, n, mode, v, ev, iwk, *guard, watch, t_bound, rotations);

    // The count saturates: a decomposition without a guard may rotate on
    // beyond what NROT can hold.
    auto count = [&] { return static_cast<std::int32_t>(std::min<std::int64_t>(rotations, INT32_MAX)); };
    if (stopped) return {count(), false};

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
            set_t(stopping_bound(n, [&](std::int32_t k) { return a(k + 1, k + 1); }));
            if (m <= t_bound) break;
        }

        // Rotation.
        ++rotations;
        const PlaneRotation turn = plane_rotation(a(p, p), a(q, q), a(p, q));
        const double c = turn.c, s = turn.s;
        set_a(p, p, turn.lower);
        set_a(q, q, turn.upper);
        set_a(p, q, 0.0f);

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
    return {count(), watch.cycled()};
}

}  // namespace seqord::ordination
