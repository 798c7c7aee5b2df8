// Placing name labels next to their markers without piling them up.
#include <algorithm>
#include <cmath>
#include <numeric>

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

}  // namespace

std::vector<Placed> place_labels(const std::vector<LabelWish>& wishes, const Box& bounds,
                                 const std::vector<Segment>& segments) {
    const std::size_t n = wishes.size();
    std::vector<Box> markers(n);
    for (std::size_t i = 0; i < n; ++i) markers[i] = marker_box(wishes[i]);

    // Most crowded first: a label with many neighbours has the fewest free
    // places and should choose before its neighbours take them.
    std::vector<std::size_t> crowd(n, 0);
    for (std::size_t i = 0; i < n; ++i)
        for (std::size_t j = 0; j < n; ++j) {
            if (i == j) continue;
            const double reach = wishes[i].width + wishes[i].height;
            if (std::abs(wishes[i].x - wishes[j].x) < reach && std::abs(wishes[i].y - wishes[j].y) < reach)
                ++crowd[i];
        }
    std::vector<std::size_t> order(n);
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return crowd[a] > crowd[b]; });

    // Right, left, above, below, then the diagonals; y grows downwards.
    static constexpr int kDirs[8][2] = {{1, 0}, {-1, 0}, {0, -1}, {0, 1}, {1, -1}, {-1, -1}, {1, 1}, {-1, 1}};
    std::vector<Placed> placed(n);
    std::vector<Box> taken;  // labels placed so far
    taken.reserve(n);
    std::vector<Segment> lines = segments;  // with the leaders drawn so far
    for (std::size_t i : order) {
        const LabelWish& w = wishes[i];
        const double step = w.height;
        const double rings[] = {0.0, 0.6 * step, 1.5 * step, 3.0 * step, 5.0 * step, 8.0 * step};
        double best_cost = 0.0, best_clash = 0.0;
        Placed best;
        bool have = false;
        for (double away : rings) {
            for (const auto& d : kDirs) {
                const Box b = candidate(w, d[0], d[1], away);
                // Leaving the area is worse than any overlap inside it.
                double clash = outside(b, bounds) * 1.0e4;
                for (const Box& t : taken) clash += overlap(b, t) * 10.0;
                for (std::size_t j = 0; j < n; ++j) clash += overlap(b, markers[j]) * 5.0;
                for (const Segment& s : lines)
                    if (crosses(s, b)) clash += w.height * 2.0;
                const bool leader = away >= 1.5 * step;
                if (leader) {
                    // A leader should not run through another label either.
                    const Segment l = leader_line(w, b);
                    for (const Box& t : taken)
                        if (crosses(l, t)) clash += w.height * 2.0;
                }
                // Among spots that clash alike, a near one is better.
                const double cost = clash + away * 0.01;
                if (!have || cost < best_cost) {
                    best_cost = cost;
                    best_clash = clash;
                    best = Placed{b, leader};
                    have = true;
                }
            }
            if (best_clash == 0.0) break;  // a free spot in this ring
        }
        placed[i] = best;
        taken.push_back(best.box);
        if (best.leader) lines.push_back(leader_line(w, best.box));
    }
    return placed;
}

}  // namespace seqord::plot
