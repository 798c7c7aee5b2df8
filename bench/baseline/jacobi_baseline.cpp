#include "jacobi_baseline.h"

#include <cmath>

namespace seqord::baseline {

void jacobi(Table<float> a, std::int32_t n, std::int32_t mode, Table<float> v, std::int32_t& nrot,
            Table<float> ev, Table<std::int32_t> iwk, std::int32_t maxl) {
    (void)maxl;  // the tables carry their first extent
    if (mode == 0) {
        for (std::int32_t j = 1; j <= n; ++j)
            for (std::int32_t i = 1; i <= n; ++i) v(i, j) = i == j ? 1.0f : 0.0f;
    }
    nrot = 0;
    if (n <= 1) return;

    // Row record r: the largest magnitude of A(r, r+1..n), the last of equal ones.
    auto scan_row = [&](std::int32_t r) {
        ev[r] = 0.0f;
        for (std::int32_t c = r + 1; c <= n; ++c) {
            const float m = std::fabs(a(r, c));
            if (ev[r] <= m) {
                ev[r] = m;
                iwk[r] = c;
            }
        }
    };
    // A new element replaces a record only when strictly larger.
    auto offer = [&](std::int32_t r, std::int32_t c, float x) {
        const float m = std::fabs(x);
        if (m > ev[r]) {
            ev[r] = m;
            iwk[r] = c;
        }
    };

    for (std::int32_t r = 1; r <= n - 1; ++r) {
        iwk[r] = n;
        scan_row(r);
    }

    float t_bound = 1.0E38f;
    for (;;) {
        std::int32_t p = 1;
        for (std::int32_t r = 2; r <= n - 1; ++r)
            if (ev[r] > ev[p]) p = r;
        const std::int32_t q = iwk[p];
        const float m = ev[p];

        if (m <= 0.0f) break;
        if (t_bound <= 0.0f || m <= t_bound) {
            float smallest = std::fabs(a(1, 1));
            for (std::int32_t k = 2; k <= n; ++k) smallest = std::fmin(smallest, std::fabs(a(k, k)));
            t_bound = static_cast<float>(7.450580596923828E-9 * smallest);
            if (m <= t_bound) break;
        }

        ++nrot;
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
        a(p, p) = static_cast<float>(c2 * (ap + dt * (2.0 * de + dt * bq)));
        a(q, q) = static_cast<float>(c2 * (bq - dt * (2.0 * de - dt * ap)));
        a(p, q) = 0.0f;
        if (a(p, p) < a(q, q)) {
            const float hold = a(p, p);
            a(p, p) = a(q, q);
            a(q, q) = hold;
            const double c_old = c;
            c = std::fabs(s);
            s = s > 0.0 ? -c_old : c_old;
        }

        for (std::int32_t r = 1; r <= n - 1; ++r) {
            if (r == p || r == q) continue;
            const std::int32_t cr = iwk[r];
            if (cr != p && cr != q) continue;
            const float keep = a(r, cr);
            a(r, cr) = 0.0f;
            scan_row(r);
            a(r, cr) = keep;
        }

        ev[p] = 0.0f;
        ev[q] = 0.0f;
        for (std::int32_t mm = 1; mm <= n; ++mm) {
            if (mm == p || mm == q) continue;
            if (mm < p) {
                const double x = a(mm, p), y = a(mm, q);
                a(mm, p) = static_cast<float>(c * x + s * y);
                offer(mm, p, a(mm, p));
                a(mm, q) = static_cast<float>(c * y - s * x);
                offer(mm, q, a(mm, q));
            } else if (mm < q) {
                const double x = a(p, mm), y = a(mm, q);
                a(p, mm) = static_cast<float>(c * x + s * y);
                offer(p, mm, a(p, mm));
                a(mm, q) = static_cast<float>(c * y - s * x);
                offer(mm, q, a(mm, q));
            } else {
                const double x = a(p, mm), y = a(q, mm);
                a(p, mm) = static_cast<float>(c * x + s * y);
                offer(p, mm, a(p, mm));
                a(q, mm) = static_cast<float>(c * y - s * x);
                offer(q, mm, a(q, mm));
            }
        }

        if (mode == 0) {
            for (std::int32_t k = 1; k <= n; ++k) {
                const double x = v(k, p), y = v(k, q);
                v(k, p) = static_cast<float>(c * x + s * y);
                v(k, q) = static_cast<float>(c * y - s * x);
            }
        }
    }
}

}  // namespace seqord::baseline
