#include <algorithm>
#include <cmath>

#include "ordination/ordination.h"
#include "output/output.h"

namespace seqord::ordination {

void plotting_points(const Tables& t, std::int32_t nl) {
    const Table<float>& a = t.A;
    const Table<float>& v = t.V;
    if (nl < 1) return;
    const float h = a(1, 1) * 1.0E-6f;
    for (std::int32_t k = 1; k <= nl; ++k) {
        // A negative first eigenvalue makes the bound negative; the values
        // between it and zero have no root and are kept as they are, like
        // every other eigenvalue at or below the bound, so no score is ever
        // the root of a negative number.
        const float lambda = a(k, k);
        if (lambda > h && lambda >= 0.0f) a(k, k) = std::sqrt(lambda);
    }
    for (std::int32_t k = 1; k <= nl; ++k)
        for (std::int32_t i = 1; i <= nl; ++i) v(i, k) = v(i, k) * a(k, k);
}

void store_points(const Tables& t, std::int32_t nax, std::int32_t iy) {
    const Table<float>& pts = t.PTS;
    const Table<float>& v = t.V;
    const Table<std::int32_t>& elim = t.ELIM;
    const std::int32_t maxl = t.maxl;
    const std::int32_t axes = std::min(nax, 4);
    std::int32_t m = 0;
    for (std::int32_t l = 1; l <= maxl; ++l) {
        if (elim(iy, l) != 1) continue;
        ++m;
        for (std::int32_t k = 1; k <= axes; ++k) pts(iy, l, k) = v(m, k);
    }
}

void score_listing(Files& f, const Tables& t, std::int32_t nl, std::int32_t nax) {
    const Table<float>& v = t.V;
    const Table<Name>& rnames = t.RNAMES;
    const std::int32_t maxl = t.maxl;
    const std::int32_t axes = std::max(0, std::min(nax, 7));
    out::S19(f.sor, axes);
    for (std::int32_t i = 1; i <= nl; ++i) {
        const out::Reals row{axes > 0 ? v.at(i, 1) : v.p, static_cast<std::size_t>(axes), maxl};
        out::R10(f.ors, i, rnames[i], row);
        out::S20(f.sor, i, rnames[i], row);
    }
}

}  // namespace seqord::ordination
