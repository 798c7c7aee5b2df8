#include "loop/year_loop.h"

#include <algorithm>
#include <bitset>

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

[[noreturn]] void refuse(const std::string& text) { throw RunStop(kExitRefused, "seqord: error: " + text); }

void warn(Files& f, const std::string& text) { report_line(f, "seqord: warning: " + text); }

}  // namespace

void year_loop(Files& f, Table<float> a, Table<float> v, Table<float> ev, Table<float> cum, Table<float> pts,
               Table<float> pct, Table<float> resv, Table<std::int32_t> elim, Table<std::int32_t> iwk,
               Table<Name> yearname, Table<Name> locname, Table<Name> rnames, std::int32_t maxy,
               std::int32_t maxl, std::int32_t iys, std::int32_t iyf, ordination::JacobiGuard* guard) {
    (void)resv;  // reserved: cleared with the workspace, used by no step

    // Start-up.
    Text<50> title;
    input::read_title(f.ema, title);
    out::S3(f.sor);
    out::S4(f.con, title);
    out::S4(f.sor, title);
    out::R2(f.ors, title);
    out::log(f, out::msg::kReadNames);
    input::read_names(f.naq, yearname, locname, maxy, maxl);
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
    while (input::read_year_record(f.ema, iy, yname)) {
        const long year_line = f.ema.line_number();
        out::S8(f.con, yname);
        out::S8(f.sor, yname);
        out::R5(f.ors, iy, yname);

        out::log(f, out::msg::kReadNL);
        const std::int32_t nl = input::read_count(f.ema);
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
        input::read_elimination(f.ema, elim.at(iy, 1), static_cast<std::size_t>(maxl), maxy);
        out::R7(f.ors, elim.at(iy, 1), static_cast<std::size_t>(maxl), maxy);
        std::int32_t flagged = 0;
        for (std::int32_t l = 1; l <= maxl; ++l) flagged += elim(iy, l) == 1 ? 1 : 0;
        if (flagged != nl)
            warn(f, at_line(f.ema) + ": " + year_label(iy, yname) + " has NL = " + std::to_string(nl) + " but " +
                        std::to_string(flagged) +
                        " locations flagged 1 in its elimination vector; its scores are stored for the "
                        "flagged locations in order, so some may belong to other locations");

        out::log(f, out::msg::kReadMatrix);
        input::read_matrix(f.ema, a, rnames, maxl, nl);
        out::S9(f.sor);
        for (std::int32_t i = 1; i <= nl; ++i)
            out::S10(f.sor, i, rnames[i], {a.at(i, 1), static_cast<std::size_t>(i - 1), maxl});

        out::log(f, out::msg::kConvert);
        ordination::centre(f, a, ev, maxl, nl);

        out::log(f, out::msg::kOrdinate);
        const ordination::JacobiResult decomposed = ordination::jacobi(a, nl, 0, v, ev, iwk, guard);
        const std::int32_t nrot = decomposed.nrot;
        if (decomposed.cycled)
            warn(f, year_label(iy, yname) + ": the eigen-decomposition came back to an earlier state after " +
                        std::to_string(nrot) +
                        " rotations and would have rotated forever; it was stopped there and its results are "
                        "not converged");
        out::S12(f.sor, nl, nrot);
        for (std::int32_t i = 1; i <= nl; ++i)
            out::S13(f.sor, {a.at(i, 1), static_cast<std::size_t>(nl), maxl},
                     {v.at(i, 1), static_cast<std::size_t>(nl), maxl});

        out::log(f, out::msg::kEigenvalues);
        std::int32_t nax = nl;
        ordination::eigen_report(f, a, ev, cum, nl, nax, maxl);
        for (std::int32_t k = 1; k <= std::min(nax, 4); ++k) pct(iy, k) = ev[k];

        out::log(f, out::msg::kPlotPoints);
        ordination::plotting_points(a, v, maxl, nl);
        out::log(f, out::msg::kStorePoints);
        ordination::store_points(pts, v, elim, maxy, maxl, nax, iy);
        out::log(f, out::msg::kScores);
        ordination::score_listing(f, v, rnames, nl, nax, maxl);
    }

    out::log(f, out::msg::kRotate);
    alignment::align(f, pts, pct, elim, yearname, locname, maxy, maxl, iys, iyf);
}

}  // namespace seqord::loop
