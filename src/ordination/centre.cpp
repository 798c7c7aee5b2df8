#include "ordination/ordination.h"
#include "output/output.h"

namespace seqord::ordination {

void centre(Files& f, const Tables& t, std::int32_t nl) {
    const Table<float>& a = t.A;
    const Table<float>& ev = t.EV;
    const std::int32_t maxl = t.maxl;
    const std::int32_t n = nl;
    // Complete the symmetric matrix from its lower triangle.
    for (std::int32_t i = 1; i <= n - 1; ++i)
        for (std::int32_t k = 1; k <= i; ++k) a(k, i + 1) = a(i + 1, k);

    // The full dissimilarity matrix, with its zero diagonal, as read.
    for (std::int32_t i = 1; i <= n; ++i) out::S11(f.sor, {a.at(i, 1), static_cast<std::size_t>(n), maxl});

    for (std::int32_t j = 1; j <= n; ++j)
        for (std::int32_t i = 1; i <= n; ++i) a(i, j) = a(i, j) * -0.5f;

    // Row means.  Four terms at a time are summed in double precision and
    // stored back in single; the rest one at a time.
    for (std::int32_t i = 1; i <= n; ++i) ev[i] = 0.0f;
    const float fn = static_cast<float>(n);
    for (std::int32_t i = 1; i <= n; ++i) {
        std::int32_t j = 1;
        if (n >= 4) {
            while (n - j + 1 >= 4) {
                double s = ev[i];
                s += a(i, j);
                s += a(i, j + 1);
                s += a(i, j + 2);
                s += a(i, j + 3);
                ev[i] = static_cast<float>(s);
                j += 4;
            }
        }
        for (; j <= n; ++j) ev[i] = ev[i] + a(i, j);
        ev[i] = ev[i] / fn;
    }
    for (std::int32_t j = 1; j <= n; ++j)
        for (std::int32_t i = 1; i <= n; ++i) a(i, j) = a(i, j) - ev[i];

    // Column means of the row-centred matrix.
    for (std::int32_t j = 1; j <= n; ++j) ev[j] = 0.0f;
    for (std::int32_t i = 1; i <= n; ++i)
        for (std::int32_t j = 1; j <= n; ++j) ev[j] = ev[j] + a(i, j);
    for (std::int32_t j = 1; j <= n; ++j) ev[j] = ev[j] / fn;
    for (std::int32_t j = 1; j <= n; ++j)
        for (std::int32_t i = 1; i <= n; ++i) a(i, j) = a(i, j) - ev[j];
}

}  // namespace seqord::ordination
