#include "alignment/alignment.h"

#include <cmath>

#include "output/output.h"

namespace seqord::alignment {

float correlation(float n, float sx, float sy, float sxx, float syy, float sxy) {
    if (n < 0.5f) return 0.0f;
    const double dn = n;
    const float cxy = static_cast<float>(sxy - static_cast<double>(sx) * sy / dn);
    const double cxx = sxx - static_cast<double>(sx) * sx / dn;
    const double cyy = syy - static_cast<double>(sy) * sy / dn;
    const double threshold = 1.0E-6f;
    if (cxx < threshold || cyy < threshold) return 0.0f;
    return static_cast<float>(cxy / std::sqrt(cxx * cyy));
}

void align(Files& f, const Tables& t, std::int32_t iys, std::int32_t iyf) {
    const Table<float>& pts = t.PTS;
    const Table<float>& pct = t.PCT;
    const Table<std::int32_t>& elim = t.ELIM;
    const Table<Name>& yearname = t.YEARNAME;
    const Table<Name>& locname = t.LOCNAME;
    const std::int32_t maxl = t.maxl;
    const std::ptrdiff_t axis_stride = static_cast<std::ptrdiff_t>(pts.e1) * pts.e2;
    auto points = [&](std::int32_t k, std::int32_t l) { return out::Reals{pts.at(k, l), 4, axis_stride}; };
    auto shares = [&](std::int32_t k) { return out::Reals{pct.at(k, 1), 4, static_cast<std::ptrdiff_t>(pct.e1)}; };

    // Pass 1: correlate each year with the one before it (as already aligned)
    // and reverse the later year's negatively correlated axes.
    for (std::int64_t k = iys; k <= static_cast<std::int64_t>(iyf) - 1; ++k) {
        const auto y0 = static_cast<std::int32_t>(k), y1 = static_cast<std::int32_t>(k + 1);
        float n[4] = {}, sx[4] = {}, sy[4] = {}, sxx[4] = {}, syy[4] = {}, sxy[4] = {};
        for (std::int32_t l = 1; l <= maxl; ++l) {
            if (elim(y0, l) != 1 || elim(y1, l) != 1) continue;
            for (int m = 0; m < 4; ++m) {
                const float x = pts(y0, l, m + 1), y = pts(y1, l, m + 1);
                n[m] = n[m] + 1.0f;
                sx[m] = sx[m] + x;
                sy[m] = sy[m] + y;
                sxx[m] = static_cast<float>(sxx[m] + static_cast<double>(x) * x);
                syy[m] = static_cast<float>(syy[m] + static_cast<double>(y) * y);
                sxy[m] = static_cast<float>(sxy[m] + static_cast<double>(x) * y);
            }
        }
        float r[4];
        for (int m = 0; m < 4; ++m) r[m] = correlation(n[m], sx[m], sy[m], sxx[m], syy[m], sxy[m]);
        if (k == iys) out::S21(f.sor);
        out::S22(f.sor, y0, y1, {r, 4});
        for (int m = 0; m < 4; ++m) {
            if (!(r[m] < 0.0f)) continue;
            for (std::int32_t l = 1; l <= maxl; ++l) pts(y1, l, m + 1) = pts(y1, l, m + 1) * -1.0f;
        }
    }

    // Pass 2: the pair file.
    for (std::int64_t k = iys; k <= static_cast<std::int64_t>(iyf) - 1; ++k) {
        const auto y0 = static_cast<std::int32_t>(k), y1 = static_cast<std::int32_t>(k + 1);
        for (std::int32_t l = 1; l <= maxl; ++l) {
            bool any = false;
            if (elim(y0, l) == 1) {
                out::P1(f.por, yearname[y0], l, locname[l], points(y0, l));
                any = true;
            }
            if (elim(y1, l) == 1) {
                out::P1(f.por, yearname[y1], l, locname[l], points(y1, l));
                any = true;
            }
            if (any) out::P2(f.por);
        }
        out::P3(f.por, y0, yearname[y0]);
        out::P4(f.por, shares(y0));
        out::P3(f.por, y1, yearname[y1]);
        out::P4(f.por, shares(y1));
    }

    // Pass 3: the per-year file; here any positive flag counts as retained.
    for (std::int64_t k = iys; k <= iyf; ++k) {
        const auto y = static_cast<std::int32_t>(k);
        out::O1(f.orp, y, yearname[y]);
        out::O2(f.orp, shares(y));
        for (std::int32_t l = 1; l <= maxl; ++l)
            if (elim(y, l) > 0) out::O3(f.orp, yearname[y], l, locname[l], points(y, l));
    }
}

}  // namespace seqord::alignment
