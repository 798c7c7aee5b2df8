// Placing name labels next to their markers without piling them up.
//
// Each label tries the places of a few rings round its marker and is
// charged for what each place would cover.  Only what stands near a place
// can be covered, so markers, labels and lines are filed in a grid of
// square cells and a place looks only at the cells it touches, taking what
// it finds there in the order in which it was filed, so that the charges
// add up exactly as if everything had been looked at.  A place is given up
// as soon as its charge reaches that of the best place so far.  What one
// label may look at is capped: a label that has not found its place by then
// stands where there is no room for it and is left off.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numeric>
#include <tuple>

#include "plot.h"

namespace seqord::plot {

double overlap(const Box& a, const Box& b) {
    const double w = std::min(a.x1, b.x1) - std::max(a.x0, b.x0);
    const double h = std::min(a.y1, b.y1) - std::max(a.y0, b.y0);
    return (w > 0 && h > 0) ? w * h : 0.0;
}

namespace {

// Whether the segment crosses the inside of the box (Liang-Barsky clipping).
bool crosses(const Segment& s, const Box& b) {
    double t0 = 0.0, t1 = 1.0;
    const double dx = s.x1 - s.x0, dy = s.y1 - s.y0;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {s.x0 - b.x0, b.x1 - s.x0, s.y0 - b.y0, b.y1 - s.y0};
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0.0) {
            if (q[i] <= 0.0) return false;
            continue;
        }
        const double t = q[i] / p[i];
        if (p[i] < 0) t0 = std::max(t0, t);
        else t1 = std::min(t1, t);
        if (t0 >= t1) return false;
    }
    return true;
}

// Area of the box that lies outside the bounds.
double outside(const Box& a, const Box& bounds) {
    return a.width() * a.height() - overlap(a, bounds);
}

// The line that joins a label set off from its marker: from the marker's
// centre to the nearest point of the label.
Segment leader_line(const LabelWish& w, const Box& b) {
    return {w.x, w.y, std::clamp(w.x, b.x0, b.x1), std::clamp(w.y, b.y0, b.y1)};
}

Box marker_box(const LabelWish& w) { return {w.x - w.r, w.y - w.r, w.x + w.r, w.y + w.r}; }

// The label box at direction (dx, dy) (each -1, 0 or 1) from the marker,
// `away` pixels beyond the nearest spot.
Box candidate(const LabelWish& w, int dx, int dy, double away) {
    const double gap = w.r + 2.0 + away;
    double cx = w.x, cy = w.y;  // centre of the label
    if (dx != 0) cx += dx * (gap + w.width / 2);
    if (dy != 0) cy += dy * (gap + w.height / 2);
    if (dx != 0 && dy != 0) {
        // Diagonals: the corner of the label next to the marker.
        cx = w.x + dx * (gap * 0.7 + w.width / 2);
        cy = w.y + dy * (gap * 0.7 + w.height / 2);
    }
    return {cx - w.width / 2, cy - w.height / 2, cx + w.width / 2, cy + w.height / 2};
}

// Square cells over the plotting area, each listing the things filed under
// it by number, in the order they were filed.  Anything beyond the area
// falls in its outermost cells.
class Grid {
public:
    Grid(const Box& area, std::size_t most_cells) {
        const double w = std::max(area.width(), 1.0), h = std::max(area.height(), 1.0);
        cell_ = std::max({kCell, w / double(most_cells), h / double(most_cells)});
        x0_ = area.x0;
        y0_ = area.y0;
        nx_ = std::max(1, int(std::ceil(w / cell_)));
        ny_ = std::max(1, int(std::ceil(h / cell_)));
        cells_.resize(std::size_t(nx_) * std::size_t(ny_));
    }

    void file(const Box& b, std::uint32_t id) {
        for_cells(b, [&](std::vector<std::uint32_t>& c) { c.push_back(id); });
    }
    void file(const Segment& s, std::uint32_t id) {
        for_cells(s, [&](std::vector<std::uint32_t>& c) { c.push_back(id); });
    }

    // What is filed under the cells that `where` touches, in filing order,
    // each once; false when that is more than `budget` entries (which are
    // then taken from it).
    template <class Where>
    bool gather(const Where& where, std::size_t& budget, std::vector<std::uint32_t>& out) const {
        out.clear();
        bool room = true;
        for_cells(where, [&](const std::vector<std::uint32_t>& c) {
            if (!room || c.empty()) return;
            if (c.size() > budget) {
                room = false;
                return;
            }
            budget -= c.size();
            // Each cell's list is in filing order: merged, they stay so.
            if (out.empty()) {
                out.assign(c.begin(), c.end());
                return;
            }
            merged_.resize(out.size() + c.size());
            merged_.erase(std::set_union(out.begin(), out.end(), c.begin(), c.end(), merged_.begin()), merged_.end());
            out.swap(merged_);
        });
        return room;
    }

private:
    static constexpr double kCell = 64.0;

    int col(double x) const { return std::clamp(int(std::floor((x - x0_) / cell_)), 0, nx_ - 1); }
    int row(double y) const { return std::clamp(int(std::floor((y - y0_) / cell_)), 0, ny_ - 1); }

    template <class F>
    void for_cells(const Box& b, F f) {
        for (int r = row(b.y0); r <= row(b.y1); ++r)
            for (int c = col(b.x0); c <= col(b.x1); ++c) f(cells_[std::size_t(r) * std::size_t(nx_) + std::size_t(c)]);
    }
    template <class F>
    void for_cells(const Box& b, F f) const {
        for (int r = row(b.y0); r <= row(b.y1); ++r)
            for (int c = col(b.x0); c <= col(b.x1); ++c) f(cells_[std::size_t(r) * std::size_t(nx_) + std::size_t(c)]);
    }
    // The cells a segment passes through: row by row, the columns between
    // where it enters the row and where it leaves it.
    template <class Self, class F>
    static void segment_cells(Self& g, const Segment& s, F f) {
        const double ymin = std::min(s.y0, s.y1), ymax = std::max(s.y0, s.y1);
        const double dy = s.y1 - s.y0, slope = dy == 0.0 ? 0.0 : (s.x1 - s.x0) / dy;
        const double inf = std::numeric_limits<double>::infinity();
        for (int r = g.row(ymin); r <= g.row(ymax); ++r) {
            double lo = r == 0 ? -inf : g.y0_ + r * g.cell_, hi = r == g.ny_ - 1 ? inf : g.y0_ + (r + 1) * g.cell_;
            lo = std::max(lo, ymin);
            hi = std::min(hi, ymax);
            double xa = std::min(s.x0, s.x1), xb = std::max(s.x0, s.x1);
            if (dy != 0.0) {
                const double a = s.x0 + (lo - s.y0) * slope, b = s.x0 + (hi - s.y0) * slope;
                xa = std::max(xa, std::min(a, b));
                xb = std::min(xb, std::max(a, b));
            }
            // A little wider, against rounding at the edge of a cell.
            const double slack = g.cell_ * 1e-9;
            for (int c = g.col(xa - slack); c <= g.col(xb + slack); ++c)
                f(g.cells_[std::size_t(r) * std::size_t(g.nx_) + std::size_t(c)]);
        }
    }
    template <class F>
    void for_cells(const Segment& s, F f) { segment_cells(*this, s, f); }
    template <class F>
    void for_cells(const Segment& s, F f) const { segment_cells(*this, s, f); }

    double cell_ = kCell, x0_ = 0, y0_ = 0;
    int nx_ = 1, ny_ = 1;
    std::vector<std::vector<std::uint32_t>> cells_;
    mutable std::vector<std::uint32_t> merged_;  // room for gather()
};

// How many entries of the grids one label may look at before it is left off.
constexpr std::size_t kBudget = 20000;

// The area the grids cover: the bounds, and every marker.
Box reach(const std::vector<LabelWish>& wishes, const Box& bounds) {
    Box a = bounds;
    for (const LabelWish& w : wishes) {
        a.x0 = std::min(a.x0, w.x - w.r);
        a.y0 = std::min(a.y0, w.y - w.r);
        a.x1 = std::max(a.x1, w.x + w.r);
        a.y1 = std::max(a.y1, w.y + w.r);
    }
    return a;
}

}  // namespace

std::vector<Placed> place_labels(const std::vector<LabelWish>& wishes, const Box& bounds,
                                 const std::vector<Segment>& segments) {
    const std::size_t n = wishes.size();
    std::vector<Placed> placed(n);
    if (n == 0) return placed;
    const Box area = reach(wishes, bounds);
    constexpr std::size_t kMostCells = 256;  // along each side

    // Markers at one spot are one marker that counts as many; the order
    // of the markers is that of their first wish.
    std::vector<std::size_t> by_spot(n);
    std::iota(by_spot.begin(), by_spot.end(), std::size_t{0});
    auto spot = [&](std::size_t i) { return std::tuple(wishes[i].x, wishes[i].y, wishes[i].r); };
    std::stable_sort(by_spot.begin(), by_spot.end(), [&](std::size_t a, std::size_t b) { return spot(a) < spot(b); });
    std::vector<std::size_t> first(n);  // wish -> the first wish at its spot
    for (std::size_t k = 0; k < n; ++k)
        first[by_spot[k]] = k > 0 && spot(by_spot[k]) == spot(by_spot[k - 1]) ? first[by_spot[k - 1]] : by_spot[k];
    std::vector<Box> markers;
    std::vector<double> at_spot;
    std::vector<std::uint32_t> marker_of(n);
    for (std::size_t i = 0; i < n; ++i) {
        if (first[i] == i) {
            marker_of[i] = std::uint32_t(markers.size());
            markers.push_back(marker_box(wishes[i]));
            at_spot.push_back(0);
        }
        at_spot[marker_of[first[i]]] += 1;
    }
    Grid marker_grid(area, kMostCells);
    for (std::size_t m = 0; m < markers.size(); ++m) marker_grid.file(markers[m], std::uint32_t(m));

    // Most crowded first: a label with many neighbours has the fewest free
    // places and should choose before its neighbours take them.
    std::vector<std::size_t> crowd(n, 0);
    {
        Grid centres(area, kMostCells);
        for (std::size_t i = 0; i < n; ++i)
            if (first[i] == i) centres.file(Box{wishes[i].x, wishes[i].y, wishes[i].x, wishes[i].y}, std::uint32_t(i));
        std::vector<std::uint32_t> near;
        for (std::size_t i = 0; i < n; ++i) {
            const LabelWish& w = wishes[i];
            const double r = w.width + w.height;
            std::size_t unlimited = std::numeric_limits<std::size_t>::max();
            centres.gather(Box{w.x - r, w.y - r, w.x + r, w.y + r}, unlimited, near);
            std::size_t c = 0;
            for (std::uint32_t j : near)
                if (std::abs(w.x - wishes[j].x) < r && std::abs(w.y - wishes[j].y) < r)
                    c += std::size_t(at_spot[marker_of[j]]);
            crowd[i] = c > 0 ? c - 1 : 0;  // not itself
        }
    }
    std::vector<std::size_t> order(n);
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return crowd[a] > crowd[b]; });

    // Right, left, above, below, then the diagonals; y grows downwards.
    static constexpr int kDirs[8][2] = {{1, 0}, {-1, 0}, {0, -1}, {0, 1}, {1, -1}, {-1, -1}, {1, 1}, {-1, 1}};
    std::vector<Box> taken;  // labels placed so far
    taken.reserve(n);
    Grid taken_grid(area, kMostCells);
    std::vector<Segment> lines = segments;  // with the leaders drawn so far
    Grid line_grid(area, kMostCells);
    for (std::size_t s = 0; s < lines.size(); ++s) line_grid.file(lines[s], std::uint32_t(s));
    std::vector<std::uint32_t> near;
    // Wishes left off since the last label was placed: the same wish again
    // meets the same page and is left off too.
    std::vector<const LabelWish*> refused;
    auto same_wish = [](const LabelWish& a, const LabelWish& b) {
        return a.x == b.x && a.y == b.y && a.r == b.r && a.width == b.width && a.height == b.height;
    };
    for (std::size_t i : order) {
        const LabelWish& w = wishes[i];
        if (std::any_of(refused.begin(), refused.end(), [&](const LabelWish* r) { return same_wish(*r, w); })) {
            placed[i] = Placed{Box{}, false, false};
            continue;
        }
        const double step = w.height;
        const double rings[] = {0.0, 0.6 * step, 1.5 * step, 3.0 * step, 5.0 * step, 8.0 * step};
        std::size_t budget = kBudget;
        double best_cost = 0.0, best_clash = 0.0;
        Placed best;
        bool have = false, room = true;
        for (double away : rings) {
            for (const auto& d : kDirs) {
                const Box b = candidate(w, d[0], d[1], away);
                const bool leader = away >= 1.5 * step;
                // Leaving the area is worse than any overlap inside it.
                double clash = outside(b, bounds) * 1.0e4;
                // Among spots that clash alike, a near one is better.
                auto beaten = [&] { return have && clash + away * 0.01 >= best_cost; };
                if (beaten()) continue;
                if (!(room = taken_grid.gather(b, budget, near))) break;
                for (std::uint32_t t : near) clash += overlap(b, taken[t]) * 10.0;
                if (beaten()) continue;
                if (!(room = marker_grid.gather(b, budget, near))) break;
                for (std::uint32_t m : near) clash += overlap(b, markers[m]) * 5.0 * at_spot[m];
                if (beaten()) continue;
                if (!(room = line_grid.gather(b, budget, near))) break;
                for (std::uint32_t s : near)
                    if (crosses(lines[s], b)) clash += w.height * 2.0;
                if (leader) {
                    // A leader should not run through another label either.
                    if (beaten()) continue;
                    const Segment l = leader_line(w, b);
                    if (!(room = taken_grid.gather(l, budget, near))) break;
                    for (std::uint32_t t : near)
                        if (crosses(l, taken[t])) clash += w.height * 2.0;
                }
                if (beaten()) continue;
                best_cost = clash + away * 0.01;
                best_clash = clash;
                best = Placed{b, leader, true};
                have = true;
            }
            if (!room || best_clash == 0.0) break;  // out of looking, or a free spot in this ring
        }
        if (!room) {
            placed[i] = Placed{Box{}, false, false};
            if (refused.size() < 16) refused.push_back(&w);
            continue;
        }
        refused.clear();
        placed[i] = best;
        taken_grid.file(best.box, std::uint32_t(taken.size()));
        taken.push_back(best.box);
        if (best.leader) {
            lines.push_back(leader_line(w, best.box));
            line_grid.file(lines.back(), std::uint32_t(lines.size() - 1));
        }
    }
    return placed;
}

}  // namespace seqord::plot
