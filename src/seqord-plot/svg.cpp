// The SVG page: a grid of year panels, then a grid of pair panels.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <map>

#include "plot.h"

namespace seqord::plot {

// ------------------------------------------------------------- text ---

std::string xml_escape(std::string_view text) {
    const std::string utf8 = results::as_utf8(text);
    std::string out;
    out.reserve(utf8.size() + 8);
    for (const char ch : utf8) {
        switch (ch) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&apos;"; break;
        default:
            // XML has no place for control characters, escaped or not.
            if (static_cast<unsigned char>(ch) < 0x20 || ch == 0x7f) out += "\xEF\xBF\xBD";
            else out.push_back(ch);
        }
    }
    return out;
}

std::string number(double v, int decimals) {
    if (!std::isfinite(v)) v = 0.0;
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, decimals);
    std::string s(buf, r.ec == std::errc() ? r.ptr : buf);
    if (s.empty()) return "0";
    if (s[0] == '-' && s.find_first_not_of("-0.") == std::string::npos) s.erase(0, 1);
    return s;
}

namespace {

// ---------------------------------------------------------- geometry ---

constexpr double kLabelFont = 11.0;
constexpr double kCharWidth = 0.6 * kLabelFont;  // the monospace face of the labels
constexpr double kLabelHeight = kLabelFont + 2.0;
constexpr double kMarker = 3.5;
constexpr double kMarginLeft = 62, kMarginTop = 44, kMarginRight = 14, kMarginBottom = 46;
constexpr double kPad = 26;  // between the outermost point and the frame
constexpr double kGap = 18, kPage = 18, kHeading = 56, kSection = 30;

// Characters, not bytes, of a UTF-8 label.
std::size_t characters(std::string_view s) {
    std::size_t n = 0;
    for (unsigned char c : s) n += (c & 0xC0) != 0x80;
    return n;
}

double label_width(std::string_view label) { return std::max<double>(1, double(characters(label))) * kCharWidth + 2; }

struct Extent {
    double x0 = 0, x1 = 0, y0 = 0, y1 = 0;  // always takes in the origin
    void add(double x, double y) {
        x0 = std::min(x0, x);
        x1 = std::max(x1, x);
        y0 = std::min(y0, y);
        y1 = std::max(y1, y);
    }
};

// One panel's mapping from data to page: the same scale on both axes.
struct Frame {
    double side = 0;        // of the square plotting area, in pixels
    double scale = 1;       // pixels per data unit
    double cx = 0, cy = 0;  // data point at the centre
    double px(double x) const { return kMarginLeft + side / 2 + (x - cx) * scale; }
    double py(double y) const { return kMarginTop + side / 2 - (y - cy) * scale; }
    Box box() const { return {kMarginLeft, kMarginTop, kMarginLeft + side, kMarginTop + side}; }

    Frame(double side_px, const Extent& e) : side(side_px) {
        double span = std::max(e.x1 - e.x0, e.y1 - e.y0);
        if (!(span > 0) || !std::isfinite(span)) span = 1.0;
        scale = (side - 2 * kPad) / span;
        cx = (e.x0 + e.x1) / 2;
        cy = (e.y0 + e.y1) / 2;
    }
};

// A round step (1, 2 or 5 times a power of ten) of at least `v`.
double nice_step(double v) {
    if (!(v > 0) || !std::isfinite(v)) return 1.0;
    const double p = std::pow(10.0, std::floor(std::log10(v)));
    for (double m : {1.0, 2.0, 5.0, 10.0})
        if (m * p >= v * (1 - 1e-9)) return m * p;
    return 10 * p;
}

class Svg {
public:
    Svg& operator<<(std::string_view s) {
        s_.append(s);
        return *this;
    }
    Svg& operator<<(double v) {
        s_ += number(v, 1);
        return *this;
    }
    Svg& operator<<(int v) {
        s_ += std::to_string(v);
        return *this;
    }
    std::string take() { return std::move(s_); }

private:
    std::string s_;
};

std::string percent_text(const results::Printed& p) { return p.known() ? number(p.value, 1) + "%" : "?"; }

std::string axis_text(int axis, const results::YearHead& a, const results::YearHead* b) {
    const int i = axis - 1;
    std::string s = "Axis " + std::to_string(axis) + " (" + percent_text(a.percent[std::size_t(i)]);
    if (b) s += " \xE2\x86\x92 " + percent_text(b->percent[std::size_t(i)]);
    return s + ")";
}

// The year as a panel's title gives it: its full name where the page has it.
std::string year_title(const Page& page, const results::YearHead& h) { return xml_escape(year_label(page, h)); }

// The labels of a consensus dimension: its share of the consensus's spread.
std::string dimension_text(int d, const motion::Motion& m) {
    double all = 0.0;
    for (int i = 0; i < m.k; ++i) all += m.spread_of_axes[std::size_t(i)] * m.spread_of_axes[std::size_t(i)];
    const double v = m.spread_of_axes[std::size_t(d - 1)];
    return "Dimension " + std::to_string(d) + (all > 0 ? " (" + number(100.0 * v * v / all, 1) + "% of the consensus)" : "");
}

// Frame, grid with tick values, the two axes through the origin and their
// labels, the title lines.
void panel_frame(Svg& o, const Frame& f, const std::string& title, const std::string& sub, const std::string& xlab,
                 const std::string& ylab) {
    const Box b = f.box();
    const double w = kMarginLeft + f.side + kMarginRight, h = kMarginTop + f.side + kMarginBottom;
    o << "<rect class=\"bg\" width=\"" << w << "\" height=\"" << h << "\"/>\n";
    o << "<text class=\"title\" x=\"" << kMarginLeft << "\" y=\"18\">" << title << "</text>\n";
    o << "<text class=\"sub\" x=\"" << kMarginLeft << "\" y=\"34\">" << sub << "</text>\n";
    o << "<rect class=\"frame\" x=\"" << b.x0 << "\" y=\"" << b.y0 << "\" width=\"" << f.side << "\" height=\""
      << f.side << "\"/>\n";

    const double step = nice_step(80.0 / f.scale);
    const int decimals = std::clamp(int(-std::floor(std::log10(step) + 1e-9)), 0, 6);
    const double half = f.side / 2 / f.scale;
    o << "<g class=\"grid\">\n";
    for (int axis = 0; axis < 2; ++axis) {
        const double c = axis == 0 ? f.cx : f.cy;
        const double first = std::ceil((c - half) / step), last = std::floor((c + half) / step);
        if (!(last - first < 1000)) continue;  // a degenerate scale draws no grid
        for (double t = first; t <= last; ++t) {
            const double v = t * step;
            if (axis == 0) {
                const double x = f.px(v);
                o << "<line x1=\"" << x << "\" y1=\"" << b.y0 << "\" x2=\"" << x << "\" y2=\"" << b.y1 << "\"/>";
                o << "<text class=\"tick\" x=\"" << x << "\" y=\"" << (b.y1 + 13) << "\" text-anchor=\"middle\">"
                  << number(v, decimals) << "</text>\n";
            } else {
                const double y = f.py(v);
                o << "<line x1=\"" << b.x0 << "\" y1=\"" << y << "\" x2=\"" << b.x1 << "\" y2=\"" << y << "\"/>";
                o << "<text class=\"tick\" x=\"" << (b.x0 - 4) << "\" y=\"" << (y + 3.5) << "\" text-anchor=\"end\">"
                  << number(v, decimals) << "</text>\n";
            }
        }
    }
    o << "</g>\n";
    o << "<line class=\"axis\" x1=\"" << b.x0 << "\" y1=\"" << f.py(0) << "\" x2=\"" << b.x1 << "\" y2=\"" << f.py(0)
      << "\"/>\n";
    o << "<line class=\"axis\" x1=\"" << f.px(0) << "\" y1=\"" << b.y0 << "\" x2=\"" << f.px(0) << "\" y2=\"" << b.y1
      << "\"/>\n";
    o << "<text class=\"axislabel\" x=\"" << (b.x0 + f.side / 2) << "\" y=\"" << (b.y1 + 32)
      << "\" text-anchor=\"middle\">" << xlab << "</text>\n";
    const double lx = b.x0 - 44, ly = b.y0 + f.side / 2;
    o << "<text class=\"axislabel\" x=\"" << lx << "\" y=\"" << ly << "\" text-anchor=\"middle\" transform=\"rotate(-90 "
      << lx << " " << ly << ")\">" << ylab << "</text>\n";
}

// The name labels with, where a label stands off, a line to its marker;
// returns how many are left off for want of room.
std::size_t panel_labels(Svg& o, const Frame& f, const std::vector<LabelWish>& wishes,
                         const std::vector<std::string>& names, const std::vector<bool>& faint,
                         const std::vector<Segment>& segments) {
    Box bounds = f.box();
    bounds.x0 += 2;
    bounds.y0 += 2;
    bounds.x1 -= 2;
    bounds.y1 -= 2;
    const std::vector<Placed> placed = place_labels(wishes, bounds, segments);
    o << "<g class=\"labels\">\n";
    std::size_t left_off = 0;
    for (std::size_t i = 0; i < placed.size(); ++i) {
        if (!placed[i].shown) {
            ++left_off;
            continue;
        }
        const Box& b = placed[i].box;
        if (placed[i].leader) {
            // From the marker's edge to the nearest point of the label.
            const double tx = std::clamp(wishes[i].x, b.x0, b.x1), ty = std::clamp(wishes[i].y, b.y0, b.y1);
            const double dx = tx - wishes[i].x, dy = ty - wishes[i].y, d = std::hypot(dx, dy);
            if (d > wishes[i].r) {
                o << "<line class=\"leader\" x1=\"" << (wishes[i].x + dx / d * wishes[i].r) << "\" y1=\""
                  << (wishes[i].y + dy / d * wishes[i].r) << "\" x2=\"" << tx << "\" y2=\"" << ty << "\"/>\n";
            }
        }
        o << "<text class=\"" << (faint[i] ? "name faint" : "name") << "\" x=\"" << (b.x0 + 1) << "\" y=\""
          << (b.y1 - 3) << "\">" << xml_escape(names[i]) << "</text>\n";
    }
    o << "</g>\n";
    return left_off;
}

// The warning of a panel whose labels did not all find room.
void left_off_note(std::size_t left_off, std::size_t all, const std::string& panel, std::vector<std::string>& warnings) {
    if (left_off == 0) return;
    warnings.push_back(panel + ": " + std::to_string(left_off) + " of " + results::counted(all, "name label", "name labels") +
                       (left_off == 1 ? " is" : " are") + " left off, for want of room near their markers");
}

void empty_note(Svg& o, const Frame& f, std::string_view text) {
    o << "<text class=\"note\" x=\"" << (kMarginLeft + f.side / 2) << "\" y=\"" << (kMarginTop + f.side / 2 - 12)
      << "\" text-anchor=\"middle\">" << text << "</text>\n";
}

std::string point_tip(const std::string& label, std::int32_t l, double x, double y) {
    return xml_escape(label) + " (location " + std::to_string(l) + "): " + number(x, 3) + ", " + number(y, 3);
}

void year_panel(Svg& o, const Page& page, const Year& y, View v, double side, const Extent& e,
                std::vector<std::string>& warnings) {
    const Frame f(side, e);
    const std::size_t n = y.points.size();
    const std::string title = "Year " + std::to_string(y.head.index) + ": " + year_title(page, y.head);
    const std::string sub = std::to_string(n) + (n == 1 ? " location" : " locations");
    panel_frame(o, f, title, sub, axis_text(v.x, y.head, nullptr), axis_text(v.y, y.head, nullptr));
    if (n == 0) empty_note(o, f, "no location retained in this year");

    std::vector<LabelWish> wishes;
    std::vector<std::string> names;
    o << "<g class=\"points\">\n";
    for (const Point& p : y.points) {
        const double x = f.px(p.x), yy = f.py(p.y);
        names.push_back(location_label(page, p.location, p.name));
        o << "<circle class=\"loc\" data-location=\"" << int(p.location) << "\" cx=\"" << x << "\" cy=\"" << yy
          << "\" r=\"" << kMarker << "\"><title>" << point_tip(names.back(), p.location, p.x, p.y) << "</title></circle>\n";
        wishes.push_back({x, yy, kMarker, label_width(names.back()), kLabelHeight});
    }
    o << "</g>\n";
    left_off_note(panel_labels(o, f, wishes, names, std::vector<bool>(n, false), {}), n,
                  "year " + std::to_string(y.head.index) + " (" + std::string(shown(y.head.name)) + ")", warnings);
}

// The figures of a pair's fit, and whether they mark it as weak.
std::string fit_text(const motion::PairFit& f, bool& weak) {
    weak = f.weak();
    if (!f.procrustes_r) {
        if (!f.ss_fit)
            return "fit undetermined: " + std::to_string(f.common) + " location" + (f.common == 1 ? "" : "s") +
                   " in common, fewer than 3";
        return "fit undetermined: no spread in one of the years";
    }
    return std::string(weak ? "weak fit: r " : "Procrustes r ") + number(*f.procrustes_r, 3) + "; SS " +
           number(*f.ss_seqord, 3) + " aligned \xE2\x86\x92 " + number(*f.ss_fit, 3) + " fitted";
}

void pair_panel(Svg& o, const Page& page, std::size_t index, double side, const Extent& e,
                std::vector<std::string>& warnings) {
    const Pair& p = page.pairs[index];
    const View v = page.view;
    const Frame f(side, e);
    std::size_t both = 0;
    for (const Move& m : p.moves) both += m.in_from && m.in_to;
    const std::string a = year_title(page, p.from), b = year_title(page, p.to);
    const std::string title = "Years " + std::to_string(p.from.index) + " \xE2\x86\x92 " + std::to_string(p.to.index) +
                              ": " + a + " \xE2\x86\x92 " + b;
    const std::string sub = results::counted(both, "arrow", "arrows") + " from " + a + " to " + b + "; \xE2\x97\x8B only in " + a +
                            ", \xE2\x97\x8F only in " + b;
    const bool consensus = page.has_motion && page.frame == PairFrame::consensus;
    if (consensus)
        panel_frame(o, f, title, sub, dimension_text(v.x, page.motion), dimension_text(v.y, page.motion));
    else
        panel_frame(o, f, title, sub, axis_text(v.x, p.from, &p.to), axis_text(v.y, p.from, &p.to));
    if (page.has_motion && index < page.motion.pairs.size()) {
        bool weak = false;
        const std::string text = fit_text(page.motion.pairs[index], weak);
        o << "<text class=\"" << (weak ? "fit weak" : "fit") << "\" x=\"" << (kMarginLeft + 6) << "\" y=\""
          << (kMarginTop + 14) << "\">" << xml_escape(text) << "</text>\n";
    }
    if (consensus) {
        std::string missing;
        for (std::size_t j : page.motion.not_placed)
            if (j == index || j == index + 1)
                missing += (missing.empty() ? "" : ", ") + year_title(page, j == index ? p.from : p.to);
        if (!missing.empty())
            o << "<text class=\"fit weak\" x=\"" << (kMarginLeft + 6) << "\" y=\"" << (kMarginTop + 28)
              << "\">not placed: " << missing << "</text>\n";
    }
    if (p.moves.empty()) empty_note(o, f, "no location retained in these years");

    std::vector<LabelWish> wishes;
    std::vector<std::string> names;
    std::vector<bool> faint;
    std::vector<Segment> segments;
    o << "<g class=\"moves\">\n";
    for (const Move& m : p.moves) {
        const double x0 = f.px(m.x0), y0 = f.py(m.y0), x1 = f.px(m.x1), y1 = f.py(m.y1);
        double lx = x0, ly = y0;
        if (m.in_from && m.in_to) {
            o << "<g class=\"move\" data-location=\"" << int(m.location) << "\"><title>"
              << xml_escape(location_label(page, m.location, m.name)) << " (location " << int(m.location) << "): " << number(m.x0, 3)
              << ", " << number(m.y0, 3) << " \xE2\x86\x92 " << number(m.x1, 3) << ", " << number(m.y1, 3)
              << "</title>";
            o << "<circle class=\"start\" cx=\"" << x0 << "\" cy=\"" << y0 << "\" r=\"2.5\"/>";
            if (std::hypot(x1 - x0, y1 - y0) >= 6.0) {
                o << "<line class=\"arrow\" x1=\"" << x0 << "\" y1=\"" << y0 << "\" x2=\"" << x1 << "\" y2=\"" << y1
                  << "\" marker-end=\"url(#head)\"/>";
                segments.push_back({x0, y0, x1, y1});
            }
            o << "</g>\n";
        } else if (m.in_from) {
            o << "<circle class=\"gone\" cx=\"" << x0 << "\" cy=\"" << y0 << "\" r=\"" << kMarker << "\"><title>"
              << point_tip(location_label(page, m.location, m.name), m.location, m.x0, m.y0) << " in " << a
              << " only</title></circle>\n";
        } else {
            lx = x1;
            ly = y1;
            o << "<circle class=\"new\" cx=\"" << x1 << "\" cy=\"" << y1 << "\" r=\"" << kMarker << "\"><title>"
              << point_tip(location_label(page, m.location, m.name), m.location, m.x1, m.y1) << " in " << b
              << " only</title></circle>\n";
        }
        names.push_back(location_label(page, m.location, m.name));
        wishes.push_back({lx, ly, kMarker, label_width(names.back()), kLabelHeight});
        faint.push_back(!(m.in_from && m.in_to));
    }
    o << "</g>\n";
    left_off_note(panel_labels(o, f, wishes, names, faint, segments), wishes.size(),
                  "years " + std::to_string(p.from.index) + " and " + std::to_string(p.to.index), warnings);
}

// The colours of the paths, one per location in turn.
constexpr const char* kPalette[] = {"#1f77b4", "#d62728", "#2ca02c", "#9467bd", "#ff7f0e", "#17becf",
                                    "#8c564b", "#e377c2", "#7f7f7f", "#bcbd22"};

// A location's placed positions on the two dimensions of the view, in year
// order, with the years.
struct Path {
    std::int32_t location = 0;
    std::string label;
    std::vector<std::pair<double, double>> at;
    std::vector<std::string> years;
};

std::vector<Path> paths_of(const Page& page) {
    const View v = page.view;
    std::map<std::int32_t, Path> by;
    for (const motion::PlacedYear& y : page.motion.placed)
        for (const motion::Point& p : y.points) {
            Path& path = by[p.location];
            path.location = p.location;
            path.at.emplace_back(p.x[std::size_t(v.x - 1)], p.x[std::size_t(v.y - 1)]);
            path.years.push_back(page.year_names.count(y.index) ? page.year_names.at(y.index) : y.name);
        }
    std::vector<Path> out;
    for (const motion::Location& l : page.motion.locations) {
        Path p = by[l.location];
        const auto it = page.location_names.find(l.location);
        p.label = it != page.location_names.end() ? it->second : l.name;
        out.push_back(std::move(p));
    }
    return out;
}

void trajectory_panel(Svg& o, const Page& page, double side, std::vector<std::string>& warnings) {
    const std::vector<Path> paths = paths_of(page);
    Extent e;
    for (const Path& p : paths)
        for (const auto& [x, y] : p.at) e.add(x, y);
    const Frame f(side, e);
    const std::string sub = std::to_string(paths.size()) + " locations, " + std::to_string(page.motion.placed.size()) +
                            " placed years: \xE2\x97\x8B first, \xE2\x97\x8F last (named)";
    panel_frame(o, f, "Trajectories in the consensus frame", sub, dimension_text(page.view.x, page.motion),
                dimension_text(page.view.y, page.motion));
    std::vector<LabelWish> wishes;
    std::vector<std::string> names;
    std::vector<Segment> segments;
    o << "<g class=\"paths\">\n";
    for (std::size_t i = 0; i < paths.size(); ++i) {
        const Path& p = paths[i];
        if (p.at.empty()) continue;
        const char* colour = kPalette[i % std::size(kPalette)];
        o << "<g class=\"path\" data-location=\"" << int(p.location) << "\"><title>" << xml_escape(p.label)
          << " (location " << int(p.location) << "): " << p.years.front() << " to " << p.years.back() << ", "
          << int(p.at.size()) << (p.at.size() == 1 ? " year" : " years") << "</title>";
        o << "<polyline fill=\"none\" stroke=\"" << colour << "\" stroke-width=\"1.4\" points=\"";
        for (std::size_t t = 0; t < p.at.size(); ++t) {
            o << (t ? " " : "") << f.px(p.at[t].first) << "," << f.py(p.at[t].second);
            if (t > 0)
                segments.push_back({f.px(p.at[t - 1].first), f.py(p.at[t - 1].second), f.px(p.at[t].first),
                                    f.py(p.at[t].second)});
        }
        o << "\"/>";
        o << "<circle cx=\"" << f.px(p.at.front().first) << "\" cy=\"" << f.py(p.at.front().second)
          << "\" r=\"3\" fill=\"#fff\" stroke=\"" << colour << "\" stroke-width=\"1.4\"/>";
        const double ex = f.px(p.at.back().first), ey = f.py(p.at.back().second);
        o << "<circle cx=\"" << ex << "\" cy=\"" << ey << "\" r=\"" << kMarker << "\" fill=\"" << colour << "\"/></g>\n";
        wishes.push_back({ex, ey, kMarker, label_width(p.label), kLabelHeight});
        names.push_back(p.label);
    }
    o << "</g>\n";
    left_off_note(panel_labels(o, f, wishes, names, std::vector<bool>(names.size(), false), segments), names.size(),
                  "the trajectories", warnings);
}

constexpr double kStabilityRow = 20;

double stability_height(const Page& page) {
    return std::max(kMarginTop + 30 + double(page.motion.locations.size()) * kStabilityRow + kMarginBottom, 200.0);
}

// The locations ranked by spread, the steadiest first: a dot for the
// spread, a ring for the mean step between successive years.
void stability_panel(Svg& o, const Page& page, double width) {
    std::vector<const motion::Location*> ls;
    for (const motion::Location& l : page.motion.locations) ls.push_back(&l);
    std::stable_sort(ls.begin(), ls.end(), [](auto* a, auto* b) { return a->spread < b->spread; });
    double top_value = 0.0;
    std::size_t longest = 4;
    for (const motion::Location* l : ls) {
        top_value = std::max({top_value, l->spread, l->mean_step.value_or(0.0)});
        const auto it = page.location_names.find(l->location);
        longest = std::max(longest, characters(it != page.location_names.end() ? it->second : l->name));
    }
    const double h = stability_height(page);
    const double left = std::min(12 + double(longest) * kCharWidth + 10, width * 0.45), right = width - 70;
    const double step = nice_step(top_value / 4);
    const double scale_top = std::max(step, std::ceil(top_value / step - 1e-9) * step);
    auto px = [&](double v) { return left + (right - left) * v / scale_top; };
    o << "<rect class=\"bg\" width=\"" << width << "\" height=\"" << h << "\"/>\n";
    o << "<text class=\"title\" x=\"12\" y=\"18\">Stability: the locations ranked by spread</text>\n";
    o << "<text class=\"sub\" x=\"12\" y=\"34\">\xE2\x97\x8F spread (RMS distance to its consensus position), "
         "\xE2\x97\x8B mean step per year</text>\n";
    const double y0 = kMarginTop + 16, y1 = y0 + double(ls.size()) * kStabilityRow;
    o << "<g class=\"grid\">\n";
    const int decimals = std::clamp(int(-std::floor(std::log10(step) + 1e-9)), 0, 6);
    for (double t = 0; t <= scale_top * (1 + 1e-9); t += step) {
        o << "<line x1=\"" << px(t) << "\" y1=\"" << y0 - 6 << "\" x2=\"" << px(t) << "\" y2=\"" << y1 << "\"/>";
        o << "<text class=\"tick\" x=\"" << px(t) << "\" y=\"" << (y1 + 13) << "\" text-anchor=\"middle\">"
          << number(t, decimals) << "</text>\n";
    }
    o << "</g>\n";
    o << "<text class=\"axislabel\" x=\"" << (left + right) / 2 << "\" y=\"" << (y1 + 32)
      << "\" text-anchor=\"middle\">Distance in the consensus frame (" << page.motion.k << " dimensions)</text>\n";
    o << "<text class=\"tick\" x=\"" << (right + 8) << "\" y=\"" << (y0 - 8) << "\">years</text>\n";
    for (std::size_t i = 0; i < ls.size(); ++i) {
        const motion::Location& l = *ls[i];
        const double y = y0 + (double(i) + 0.5) * kStabilityRow;
        const auto it = page.location_names.find(l.location);
        const std::string label = it != page.location_names.end() ? it->second : l.name;
        o << "<g class=\"stability\" data-location=\"" << int(l.location) << "\"><title>" << xml_escape(label)
          << " (location " << int(l.location) << "): spread " << number(l.spread, 3) << ", mean step "
          << (l.mean_step ? number(*l.mean_step, 3) : std::string("none")) << ", " << int(l.years)
          << (l.years == 1 ? " year" : " years") << "</title>";
        o << "<line class=\"rowline\" x1=\"" << left << "\" y1=\"" << y << "\" x2=\"" << right << "\" y2=\"" << y
          << "\"/>";
        o << "<text class=\"name\" x=\"" << (left - 8) << "\" y=\"" << (y + 4) << "\" text-anchor=\"end\">"
          << xml_escape(label) << "</text>";
        if (l.mean_step)
            o << "<circle class=\"step\" cx=\"" << px(*l.mean_step) << "\" cy=\"" << y << "\" r=\"4\"/>";
        o << "<circle class=\"spread\" cx=\"" << px(l.spread) << "\" cy=\"" << y << "\" r=\"4\"/>";
        o << "<text class=\"tick\" x=\"" << (right + 8) << "\" y=\"" << (y + 4) << "\">" << int(l.years)
          << "</text></g>\n";
    }
}

constexpr std::string_view kStyle = R"(
text { font-family: 'DejaVu Sans', 'Liberation Sans', Arial, Helvetica, sans-serif; fill: #222; }
.heading { font-size: 20px; font-weight: bold; }
.lede { font-size: 13px; fill: #444; }
.section { font-size: 16px; font-weight: bold; fill: #333; }
.bg { fill: #fff; stroke: #bbb; stroke-width: 1; }
.title { font-size: 14px; font-weight: bold; }
.sub { font-size: 11.5px; fill: #555; }
.frame { fill: none; stroke: #888; stroke-width: 1; }
.grid line { stroke: #eceff3; stroke-width: 1; }
.tick { font-size: 10px; fill: #777; }
.axis { stroke: #666; stroke-width: 1.2; }
.axislabel { font-size: 12.5px; fill: #333; }
.note { font-size: 13px; fill: #999; font-style: italic; }
.loc { fill: #1f5fa8; stroke: #fff; stroke-width: 0.8; }
.name { font-family: 'DejaVu Sans Mono', 'Liberation Mono', Consolas, Menlo, monospace; font-size: 11px; fill: #111; }
.name.faint { fill: #8a8a8a; }
.leader { stroke: #999; stroke-width: 0.7; }
.start { fill: #c0392b; }
.arrow { stroke: #c0392b; stroke-width: 1.3; fill: none; }
.gone { fill: #fff; stroke: #8a8a8a; stroke-width: 1.2; }
.new { fill: #8a8a8a; }
.fit { font-size: 11px; fill: #555; paint-order: stroke; stroke: #fff; stroke-width: 3px; stroke-linejoin: round; }
.fit.weak { fill: #b03000; font-weight: bold; }
.rowline { stroke: #eceff3; stroke-width: 1; }
.spread { fill: #1f5fa8; }
.step { fill: #fff; stroke: #c0392b; stroke-width: 1.3; }
.notplaced { font-size: 13px; fill: #b03000; }
)";

}  // namespace

std::string render_svg(std::string_view job, const Page& page, std::vector<std::string>& warnings) {
    const std::vector<Year>& years = page.years;
    const std::vector<Pair>& pairs = page.pairs;
    // One size for every panel, grown with the most crowded one.
    std::size_t most = 1;
    for (const Year& y : years) most = std::max(most, y.points.size());
    for (const Pair& p : pairs) most = std::max(most, p.moves.size());
    const double side = std::clamp(std::round(100.0 * std::sqrt(double(most))), 380.0, 1100.0);
    const double pw = kMarginLeft + side + kMarginRight, ph = kMarginTop + side + kMarginBottom;
    const std::size_t cols = std::clamp<std::size_t>(std::max(years.size(), pairs.size()), 1, side > 700 ? 2 : 3);
    auto rows = [&](std::size_t n) { return (n + cols - 1) / cols; };
    const bool moving = page.has_motion && !page.motion.placed.empty();
    const std::size_t width_cols = moving ? std::max<std::size_t>(cols, 2) : cols;
    const double width = 2 * kPage + double(width_cols) * pw + double(width_cols - 1) * kGap;
    const double motion_row = moving ? std::max(ph, stability_height(page)) : 0.0;
    const double heading = page.has_motion ? kHeading + 36 : kHeading;
    double height = kPage + heading + kSection + double(rows(years.size())) * (ph + kGap);
    if (!pairs.empty()) height += kSection + double(rows(pairs.size())) * (ph + kGap);
    if (moving) height += kSection + motion_row + kGap;
    height += kPage - kGap;

    Svg o;
    o << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    o << "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" width=\"" << width << "\" height=\"" << height
      << "\" viewBox=\"0 0 " << width << " " << height << "\">\n";
    const std::string jt = xml_escape(job);
    o << "<title>" << jt << ": aligned ordination</title>\n";
    o << "<defs>\n<style type=\"text/css\"><![CDATA[" << kStyle << "]]></style>\n";
    o << "<marker id=\"head\" viewBox=\"0 0 10 10\" refX=\"10\" refY=\"5\" markerUnits=\"userSpaceOnUse\" "
         "markerWidth=\"9\" markerHeight=\"9\" orient=\"auto\"><path d=\"M0,1 L10,5 L0,9 z\" fill=\"#c0392b\"/>"
         "</marker>\n</defs>\n";
    o << "<rect width=\"" << width << "\" height=\"" << height << "\" fill=\"#f6f7f9\"/>\n";
    o << "<text class=\"heading\" x=\"" << kPage << "\" y=\"" << (kPage + 20) << "\">" << jt
      << ": aligned ordination, axis " << page.view.x << " against axis " << page.view.y
      << (page.title.empty() ? std::string() : " \xE2\x80\x94 \xE2\x80\x9C" + xml_escape(page.title) + "\xE2\x80\x9D")
      << "</text>\n";
    o << "<text class=\"lede\" x=\"" << kPage << "\" y=\"" << (kPage + 40) << "\">" << int(years.size())
      << (years.size() == 1 ? " year" : " years")
      << "; the axes of each year are turned to agree with the year before; both axes of a panel have the same "
         "scale, and the panels of a section share it</text>\n";
    if (page.has_motion) {
        o << "<text class=\"lede\" x=\"" << kPage << "\" y=\"" << (kPage + 58) << "\">Settings: "
          << (page.settings.empty() ? std::string("not known (no names file of this run from seqord-prep)")
                                    : xml_escape(page.settings))
          << "; years fitted on their first " << page.motion.k
          << " axes (rotation or reflection, no scaling); pair panels in the "
          << (page.frame == PairFrame::consensus ? "consensus frame" : "axes as seqord aligned them") << "</text>\n";
        std::string missing;
        for (std::size_t j : page.motion.not_placed)
            if (j < years.size())
                missing += (missing.empty() ? "" : ", ") + year_title(page, years[j].head) + " (year " +
                           std::to_string(years[j].head.index) + ")";
        o << "<text class=\"" << (missing.empty() ? "lede" : "notplaced") << "\" x=\"" << kPage << "\" y=\""
          << (kPage + 76) << "\">"
          << (missing.empty() ? std::string("Every year is placed in the consensus frame")
                              : "Years not placed (fewer than 3 points, or fewer than 3 locations shared with the "
                                "years before): " + missing)
          << "</text>\n";
    }

    double top = kPage + heading;
    if (moving) {
        o << "<text class=\"section\" x=\"" << kPage << "\" y=\"" << (top + 20)
          << "\">How the locations move: the years fitted onto one another, in the consensus frame</text>\n";
        top += kSection;
        o << "<g class=\"panel trajectories\" transform=\"translate(" << kPage << " " << top << ")\">\n";
        trajectory_panel(o, page, side, warnings);
        o << "</g>\n";
        o << "<g class=\"panel stability\" transform=\"translate(" << (kPage + pw + kGap) << " " << top << ")\">\n";
        stability_panel(o, page, pw);
        o << "</g>\n";
        top += motion_row + kGap;
    }
    // One scale for the panels of a section.
    Extent year_extent, pair_extent;
    for (const Year& y : years)
        for (const Point& p : y.points) year_extent.add(p.x, p.y);
    for (const Pair& p : pairs)
        for (const Move& m : p.moves) {
            if (m.in_from) pair_extent.add(m.x0, m.y0);
            if (m.in_to) pair_extent.add(m.x1, m.y1);
        }
    auto grid = [&](std::size_t n, auto draw) {
        for (std::size_t i = 0; i < n; ++i) {
            const double x = kPage + double(i % cols) * (pw + kGap), y = top + double(i / cols) * (ph + kGap);
            draw(i, x, y);
        }
        top += double(rows(n)) * (ph + kGap);
    };
    o << "<text class=\"section\" x=\"" << kPage << "\" y=\"" << (top + 20)
      << "\">Each year, on its own axes as seqord aligned them</text>\n";
    top += kSection;
    grid(years.size(), [&](std::size_t i, double x, double y) {
        o << "<g class=\"panel year\" data-year=\"" << int(years[i].head.index) << "\" transform=\"translate(" << x
          << " " << y << ")\">\n";
        year_panel(o, page, years[i], page.view, side, year_extent, warnings);
        o << "</g>\n";
    });
    if (!pairs.empty()) {
        const bool consensus = page.has_motion && page.frame == PairFrame::consensus;
        o << "<text class=\"section\" x=\"" << kPage << "\" y=\"" << (top + 20) << "\">Successive years, "
          << (consensus ? "in the consensus frame: each location that both years retain moves along its arrow"
                        : "on the axes as seqord aligned them: an arrow also shows the axes turning")
          << "</text>\n";
        top += kSection;
        grid(pairs.size(), [&](std::size_t i, double x, double y) {
            o << "<g class=\"panel pair\" data-from=\"" << int(pairs[i].from.index) << "\" data-to=\""
              << int(pairs[i].to.index) << "\" transform=\"translate(" << x << " " << y << ")\">\n";
            pair_panel(o, page, i, side, pair_extent, warnings);
            o << "</g>\n";
        });
    }
    o << "</svg>\n";
    return o.take();
}

}  // namespace seqord::plot
