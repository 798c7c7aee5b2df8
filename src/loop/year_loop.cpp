#include "loop/year_loop.h"

#include <algorithm>
#include <bitset>
#include <cmath>
#include <cstdio>

#include "alignment/alignment.h"
#include "input/input.h"
#include "output/output.h"

namespace seqord::loop {

namespace {

std::string at_line(const InStream& s) {
    return s.name() + ", line " + std::to_string(s.line_number());
}

std::string year_label(std::int32_t iy, const Name& yname) {
    std::string n(yname.view());
    while (!n.empty() && n.back() == ' ') n.pop_back();
    return "year " + std::to_string(iy) + (n.empty() ? "" : " (" + n + ")");
}

[[noreturn]] void refuse(const std::string& text) { throw RunStop(StopKind::Refused, "seqord: error: " + text); }

void warn(Files& f, const std::string& text) { report_line(f.err, "seqord: warning: " + text); }

// Whether the first n values of a run of t, `stride` apart, are all finite.
bool finite(const float* p, std::int32_t n, std::int64_t stride = 1) {
    for (std::int32_t i = 0; i < n; ++i)
        if (!std::isfinite(p[i * stride])) return false;
    return true;
}

// Whether the leading n x n block of a matrix is finite.
bool finite_block(const Table<float>& t, std::int32_t n) {
    for (std::int32_t j = 1; j <= n; ++j)
        if (!finite(t.at(1, j), n)) return false;
    return true;
}

// Below this share of the largest eigenvalue a negative one is taken for the
// rounding of single-precision arithmetic, not for a matrix that is not
// Euclidean.
constexpr double kNegativeShare = 1.0e-4;

// A decomposed matrix with negative eigenvalues (clearly below the rounding
// of the largest) is not Euclidean: no configuration of points has these
// distances, and the scores leave part of the dissimilarities out.  Said on
// the error channel only; the files do not change.
void warn_negative(Files& f, const Table<float>& a, std::int32_t nl, const std::string& year) {
    double first = 0.0;  // the largest eigenvalue (the decomposition does not sort them)
    for (std::int32_t k = 1; k <= nl; ++k) first = std::max(first, double(a(k, k)));
    if (nl < 2 || !(first > 0.0)) return;
    std::int32_t count = 0;
    double lowest = 0.0;
    for (std::int32_t k = 1; k <= nl; ++k) {
        const double v = a(k, k);
        if (v < -kNegativeShare * first) ++count;
        lowest = std::min(lowest, v);
    }
    if (count == 0) return;
    char text[160];
    std::snprintf(text, sizeof text, "the most negative %.4g, %.2f%% of the largest (%.4g)", lowest,
                  -lowest / first * 100.0, first);
    warn(f, year + ": its matrix is not Euclidean: " + std::to_string(count) + " negative " +
                (count == 1 ? "eigenvalue" : "eigenvalues") + ", " + text +
                "; its scores show only the part of the dissimilarities that the positive axes hold");
}

}  // namespace

void year_loop(Files& f, const Tables& t, std::int32_t iys, std::int32_t iyf, ordination::JacobiGuard* guard) {
    const std::int32_t maxy = t.maxy, maxl = t.maxl;

    // Start-up.
    Text<50> title;
    input::read_title(f.ema, title);
    out::S3(f.sor);
    out::S4(f.con, title);
    out::S4(f.sor, title);
    out::R2(f.ors, title);
    out::log(f, out::msg::kReadNames);
    input::read_names(f.naq, t);
    const input::Options o = input::read_options(f.ema);
    out::S6(f.con, o.weight, o.prxtyp, o.sedtyp, o.cortyp);
    out::S6(f.sor, o.weight, o.prxtyp, o.sedtyp, o.cortyp);
    out::R3(f.ors, o.weight, o.prxtyp, o.sedtyp, o.cortyp);
    out::S7(f.sor, iys, iyf);
    out::S7(f.con, iys, iyf);
    out::R4(f.ors, iys, iyf);
    out::log(f, out::msg::kForEachYear);

    std::bitset<1024> seen;  // year indices met so far
    std::int32_t iy = 0;
    Name yname;
    // NL is one variable of the loop, read in place year after year: a year
    // whose NL record gives no value keeps the previous year's NL (0 before
    // the first year block).
    std::int32_t nl = 0;
    while (input::read_year_record(f.ema, iy, yname)) {
        const long year_line = f.ema.line_number();
        out::S8(f.con, yname);
        out::S8(f.sor, yname);
        out::R5(f.ors, iy, yname);

        out::log(f, out::msg::kReadNL);
        input::read_count(f.ema, nl);
        out::R6(f.ors, nl);

        // The per-year tables have rows for years 1..MAXY and the matrices
        // room for MAXL locations: anything else cannot be stored.
        if (iy < 1 || iy > maxy)
            refuse(f.ema.name() + ", line " + std::to_string(year_line) + ": year index " + std::to_string(iy) +
                   " is outside the years 1.." + std::to_string(maxy) + " (MAXY) of the data set");
        if (nl > maxl)
            refuse(at_line(f.ema) + ": " + year_label(iy, yname) + " retains NL = " + std::to_string(nl) +
                   " locations, more than the " + std::to_string(maxl) + " (MAXL) of the data set");
        if (nl < 0)
            refuse(at_line(f.ema) + ": " + year_label(iy, yname) + " retains NL = " + std::to_string(nl) +
                   " locations; the number cannot be negative");
        if (static_cast<std::size_t>(iy) < seen.size()) {
            if (seen[static_cast<std::size_t>(iy)])
                warn(f, f.ema.name() + ", line " + std::to_string(year_line) + ": " + year_label(iy, yname) +
                            " occurs again; its results replace the stored ones of the earlier block");
            seen[static_cast<std::size_t>(iy)] = true;
        }

        out::log(f, out::msg::kReadElim);
        input::read_elimination(f.ema, t.ELIM.at(iy, 1), static_cast<std::size_t>(maxl), maxy);
        out::R7(f.ors, t.ELIM.at(iy, 1), static_cast<std::size_t>(maxl), maxy);
        std::int32_t flagged = 0;
        for (std::int32_t l = 1; l <= maxl; ++l) flagged += t.ELIM(iy, l) == 1 ? 1 : 0;
        if (flagged != nl)
            warn(f, at_line(f.ema) + ": " + year_label(iy, yname) + " has NL = " + std::to_string(nl) + " but " +
                        std::to_string(flagged) +
                        " locations flagged 1 in its elimination vector; its scores are stored for the "
                        "flagged locations in order, so some may belong to other locations");

        out::log(f, out::msg::kReadMatrix);
        input::read_matrix(f.ema, t, nl);
        out::S9(f.sor);
        for (std::int32_t i = 1; i <= nl; ++i)
            out::S10(f.sor, i, t.RNAMES[i], {t.A.at(i, 1), static_cast<std::size_t>(i - 1), maxl});

        out::log(f, out::msg::kConvert);
        ordination::centre(f, t, nl);
        // Legal single-precision dissimilarities can still overflow the
        // centring; the files show what the arithmetic gives, and the user
        // is told that the year's numbers mean nothing.
        const bool centred_finite = finite_block(t.A, nl);
        if (!centred_finite)
            warn(f, year_label(iy, yname) +
                        ": its centred similarity matrix holds values that are not finite (the dissimilarities are "
                        "too large for single precision arithmetic); its eigenvalues, shares of variation and scores "
                        "are not meaningful");
        bool results_finite = true;

        out::log(f, out::msg::kOrdinate);
        const ordination::JacobiResult decomposed = ordination::jacobi(t.A, nl, 0, t.V, t.EV, t.IWK, guard);
        const std::int32_t nrot = decomposed.nrot;
        if (decomposed.cycled)
            warn(f, year_label(iy, yname) + ": the eigen-decomposition came back to an earlier state after " +
                        std::to_string(nrot) +
                        " rotations and would have rotated forever; it was stopped there and its results are "
                        "not converged");
        results_finite = results_finite && finite(t.A.at(1, 1), nl, maxl + 1) && finite_block(t.V, nl);
        if (results_finite) warn_negative(f, t.A, nl, year_label(iy, yname));
        out::S12(f.sor, nl, nrot);
        for (std::int32_t i = 1; i <= nl; ++i)
            out::S13(f.sor, {t.A.at(i, 1), static_cast<std::size_t>(nl), maxl},
                     {t.V.at(i, 1), static_cast<std::size_t>(nl), maxl});

        out::log(f, out::msg::kEigenvalues);
        const std::int32_t nax = ordination::eigen_report(f, t, nl, nl);
        for (std::int32_t k = 1; k <= std::min(nax, 4); ++k) t.PCT(iy, k) = t.EV[k];
        results_finite = results_finite && finite(t.EV.at(1, 1), nax) && finite(t.CUM.at(1, 1), nax);

        out::log(f, out::msg::kPlotPoints);
        ordination::plotting_points(t, nl);
        results_finite = results_finite && finite_block(t.V, nl);
        if (centred_finite && !results_finite)
            warn(f, year_label(iy, yname) +
                        ": its eigenvalues, shares of variation or scores hold values that are not finite (an overflow "
                        "of single precision arithmetic); they are not meaningful");
        out::log(f, out::msg::kStorePoints);
        ordination::store_points(t, nax, iy);
        out::log(f, out::msg::kScores);
        ordination::score_listing(f, t, nl, nax);
    }

    out::log(f, out::msg::kRotate);
    alignment::align(f, t, iys, iyf);
}

}  // namespace seqord::loop
