#include <algorithm>
#include <limits>

#include "input/input.h"
#include "loop/year_loop.h"
#include "main/job.h"
#include "output/output.h"

namespace seqord::job {

namespace {

// The run-header values are 32-bit, so every size formula is exact in 128
// bits; only the result is brought back to 64 bits (saturated), so no term
// can wrap, or be cut before another term cancels it.
__extension__ typedef __int128 Wide;

std::int64_t saturate(Wide v) {
    constexpr Wide hi = std::numeric_limits<std::int64_t>::max();
    constexpr Wide lo = std::numeric_limits<std::int64_t>::min();
    return static_cast<std::int64_t>(v > hi ? hi : v < lo ? lo : v);
}

template <class T>
void clear(T* area, std::int64_t required, const T& zero) {
    if (required > 0) std::fill(area, area + required, zero);
}

[[noreturn]] void refuse(const InStream& ema, const std::string& text) {
    throw RunStop(StopKind::Refused, "seqord: error: " + ema.name() + ", line " + std::to_string(ema.line_number()) +
                                    ": " + text);
}

}  // namespace

Required required_sizes(std::int64_t y, std::int64_t l) {
    const Wide Y = y, L = l;
    Required r;
    r.dz = 1;
    r.z = saturate(2 * L * L + 6 * L + 4 * Y * L + 4 * Y + 1);
    r.mz = saturate(Y * L + L + 1);
    r.az = saturate(Y + 2 * L + 1);
    return r;
}

Tables partition(Workspace& ws, std::int32_t maxy, std::int32_t maxl) {
    const std::int64_t y = maxy, l = maxl;
    Tables t;
    float* z = ws.Z;
    auto take_real = [&](std::int64_t n, std::int64_t e1, std::int64_t e2) {
        Table<float> tab{z, n, e1, e2};
        z += n;
        return tab;
    };
    t.A = take_real(l * l, l, l);
    t.V = take_real(l * l, l, l);
    t.EV = take_real(l, l, 1);
    t.CUM = take_real(l, l, 1);
    t.PTS = take_real(4 * y * l, y, l);
    t.PCT = take_real(4 * y, y, 4);
    t.RESV = take_real(4 * l, 4 * l, 1);
    t.ELIM = Table<std::int32_t>{ws.MZ, y * l, y, l};
    t.IWK = Table<std::int32_t>{ws.MZ + y * l, l, l, 1};
    t.YEARNAME = Table<Name>{ws.AZ, y, y, 1};
    t.LOCNAME = Table<Name>{ws.AZ + y, l, l, 1};
    t.RNAMES = Table<Name>{ws.AZ + y + l, l, l, 1};
    t.maxy = maxy;
    t.maxl = maxl;
    return t;
}

void run_header(Files& f, Workspace& ws) {
    bool short_area = false;
    const input::RunHeader h = input::read_run_header(f.ema);
    const std::int64_t nya = static_cast<std::int64_t>(h.iyf) - h.iys + 1;
    const std::int64_t ntm = static_cast<std::int64_t>(h.maxl) * (static_cast<std::int64_t>(h.maxl) + 1) / 2;
    out::S1(f.sor, h.maxy, h.maxl, h.maxg, h.iys, h.iyf, nya, ntm);
    out::R1(f.ors, h.maxy, h.maxl, h.maxg, h.iys, h.iyf, nya, ntm);

    const Required req = required_sizes(h.maxy, h.maxl);
    if (req.dz > Workspace::kDZ) {
        out::C2_increase(f.con, out::Area::DZ, req.dz);
        short_area = true;
    } else {
        clear(ws.DZ, req.dz, 0.0);
    }
    if (req.z > Workspace::kZ) {
        out::C2_increase(f.con, out::Area::Z, req.z);
        short_area = true;
    } else {
        clear(ws.Z, req.z, 0.0f);
    }
    if (req.mz > Workspace::kMZ) {
        out::C2_increase(f.con, out::Area::MZ, req.mz);
        short_area = true;
    } else {
        clear(ws.MZ, req.mz, std::int32_t{0});
    }
    if (req.az > Workspace::kAZ) {
        out::C2_increase(f.con, out::Area::AZ, req.az);
        short_area = true;
    } else {
        clear(ws.AZ, req.az, Name{});
    }
    const out::Dimensions present{Workspace::kDZ, Workspace::kZ, Workspace::kMZ, Workspace::kAZ};
    const out::Dimensions required{req.dz, req.z, req.mz, req.az};
    out::S2(f.con, present, required);
    out::S2(f.sor, present, required);
    if (short_area) return;

    // Sizes that fit can still describe no data set at all; the tables need
    // at least one year and one location, and the sequence must lie within
    // the years the tables hold.
    if (h.maxy < 1 || h.maxl < 1)
        refuse(f.ema, "MAXY = " + std::to_string(h.maxy) + " and MAXL = " + std::to_string(h.maxl) +
                          " in the run header; both must be at least 1");
    if (h.iys <= h.iyf && (h.iys < 1 || h.iyf > h.maxy))
        refuse(f.ema, "the year sequence IYS = " + std::to_string(h.iys) + " to IYF = " + std::to_string(h.iyf) +
                          " does not lie within the years 1.." + std::to_string(h.maxy) + " (MAXY) of the data set");

    const Tables t = partition(ws, h.maxy, h.maxl);
    loop::year_loop(f, t, h.iys, h.iyf, &ws.guard);
}

}  // namespace seqord::job
