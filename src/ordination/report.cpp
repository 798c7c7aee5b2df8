#include "ordination/ordination.h"
#include "output/output.h"

namespace seqord::ordination {

std::int32_t eigen_report(Files& f, const Tables& t, std::int32_t nl, std::int32_t most) {
    const Table<float>& a = t.A;
    const Table<float>& ev = t.EV;
    const Table<float>& cum = t.CUM;
    const std::int32_t maxl = t.maxl;
    // An eigenvalue counts when it is above 1% of the first.  With a zero
    // first eigenvalue the ratios are 0/0 (never counted) or infinite.
    std::int32_t count = 0;
    float sum = 0.0f;
    const double first = nl >= 1 ? static_cast<double>(a(1, 1)) : 0.0;
    for (std::int32_t i = 1; i <= nl; ++i) {
        double ratio = static_cast<double>(a(i, i)) / first * 100.0;
        if (ratio > 1.0) {
            ++count;
            sum = sum + a(i, i);
        }
    }
    out::R8(f.ors, sum, count);
    // As many axes as there are counted eigenvalues, unless the caller
    // takes fewer.
    const std::int32_t nax = count < most ? count : most;

    for (std::int32_t i = 1; i <= nax; ++i) {
        ev[i] = static_cast<float>(static_cast<double>(a(i, i)) / sum * 100.0);
        cum[i] = i == 1 ? ev[1] : cum[i - 1] + ev[i];
    }

    const std::size_t k = static_cast<std::size_t>(nax > 0 ? nax : 0);
    const out::Reals diagonal{nax > 0 ? a.at(1, 1) : a.p, k, maxl + 1};
    out::S14(f.sor, nax);
    out::S15(f.sor, nax);
    out::S16(f.sor, diagonal);
    out::R9(f.ors, diagonal);
    out::S17(f.sor, {nax > 0 ? &ev[1] : ev.p, k});
    out::S18(f.sor, {nax > 0 ? &cum[1] : cum.p, k});
    return nax;
}

}  // namespace seqord::ordination
