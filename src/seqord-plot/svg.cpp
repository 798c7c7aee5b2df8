// The SVG page: a grid of year panels, then a grid of pair panels.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

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

double label_width(const Name& n) { return std::max<double>(1, shown(n).size()) * kCharWidth + 2; }

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

std::string year_title(const results::YearHead& h) { return xml_escape(std::string(shown(h.name))); }

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
                         const std::vector<const Name*>& names, const std::vector<bool>& faint,
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
          << (b.y1 - 3) << "\">" << xml_escape(std::string(shown(*names[i]))) << "</text>\n";
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

std::string point_tip(const Name& n, std::int32_t l, double x, double y) {
    return xml_escape(std::string(shown(n))) + " (location " + std::to_string(l) + "): " + number(x, 3) + ", " +
           number(y, 3);
}

void year_panel(Svg& o, const Year& y, View v, double side, std::vector<std::string>& warnings) {
    Extent e;
    for (const Point& p : y.points) e.add(p.x, p.y);
    const Frame f(side, e);
    const std::size_t n = y.points.size();
    const std::string title = "Year " + std::to_string(y.head.index) + ": " + year_title(y.head);
    const std::string sub = std::to_string(n) + (n == 1 ? " location" : " locations");
    panel_frame(o, f, title, sub, axis_text(v.x, y.head, nullptr), axis_text(v.y, y.head, nullptr));
    if (n == 0) empty_note(o, f, "no location retained in this year");

    std::vector<LabelWish> wishes;
    std::vector<const Name*> names;
    o << "<g class=\"points\">\n";
    for (const Point& p : y.points) {
        const double x = f.px(p.x), yy = f.py(p.y);
        o << "<circle class=\"loc\" data-location=\"" << int(p.location) << "\" cx=\"" << x << "\" cy=\"" << yy
          << "\" r=\"" << kMarker << "\"><title>" << point_tip(p.name, p.location, p.x, p.y) << "</title></circle>\n";
        wishes.push_back({x, yy, kMarker, label_width(p.name), kLabelHeight});
        names.push_back(&p.name);
    }
    o << "</g>\n";
    left_off_note(panel_labels(o, f, wishes, names, std::vector<bool>(n, false), {}), n,
                  "year " + std::to_string(y.head.index) + " (" + std::string(shown(y.head.name)) + ")", warnings);
}

void pair_panel(Svg& o, const Pair& p, View v, double side, std::vector<std::string>& warnings) {
    Extent e;
    for (const Move& m : p.moves) {
        if (m.in_from) e.add(m.x0, m.y0);
        if (m.in_to) e.add(m.x1, m.y1);
    }
    const Frame f(side, e);
    std::size_t both = 0;
    for (const Move& m : p.moves) both += m.in_from && m.in_to;
    const std::string a = year_title(p.from), b = year_title(p.to);
    const std::string title = "Years " + std::to_string(p.from.index) + " \xE2\x86\x92 " + std::to_string(p.to.index) +
                              ": " + a + " \xE2\x86\x92 " + b;
    const std::string sub = results::counted(both, "arrow", "arrows") + " from " + a + " to " + b + "; \xE2\x97\x8B only in " + a +
                            ", \xE2\x97\x8F only in " + b;
    panel_frame(o, f, title, sub, axis_text(v.x, p.from, &p.to), axis_text(v.y, p.from, &p.to));
    if (p.moves.empty()) empty_note(o, f, "no location retained in these years");

    std::vector<LabelWish> wishes;
    std::vector<const Name*> names;
    std::vector<bool> faint;
    std::vector<Segment> segments;
    o << "<g class=\"moves\">\n";
    for (const Move& m : p.moves) {
        const double x0 = f.px(m.x0), y0 = f.py(m.y0), x1 = f.px(m.x1), y1 = f.py(m.y1);
        double lx = x0, ly = y0;
        if (m.in_from && m.in_to) {
            o << "<g class=\"move\" data-location=\"" << int(m.location) << "\"><title>"
              << xml_escape(std::string(shown(m.name))) << " (location " << int(m.location) << "): " << number(m.x0, 3)
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
              << point_tip(m.name, m.location, m.x0, m.y0) << " in " << a << " only</title></circle>\n";
        } else {
            lx = x1;
            ly = y1;
            o << "<circle class=\"new\" cx=\"" << x1 << "\" cy=\"" << y1 << "\" r=\"" << kMarker << "\"><title>"
              << point_tip(m.name, m.location, m.x1, m.y1) << " in " << b << " only</title></circle>\n";
        }
        wishes.push_back({lx, ly, kMarker, label_width(m.name), kLabelHeight});
        names.push_back(&m.name);
        faint.push_back(!(m.in_from && m.in_to));
    }
    o << "</g>\n";
    left_off_note(panel_labels(o, f, wishes, names, faint, segments), wishes.size(),
                  "years " + std::to_string(p.from.index) + " and " + std::to_string(p.to.index), warnings);
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
    const double width = 2 * kPage + double(cols) * pw + double(cols - 1) * kGap;
    double height = kPage + kHeading + kSection + double(rows(years.size())) * (ph + kGap);
    if (!pairs.empty()) height += kSection + double(rows(pairs.size())) * (ph + kGap);
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
      << ": aligned ordination, axis " << page.view.x << " against axis " << page.view.y << "</text>\n";
    o << "<text class=\"lede\" x=\"" << kPage << "\" y=\"" << (kPage + 40) << "\">" << int(years.size())
      << (years.size() == 1 ? " year" : " years")
      << "; the axes of each year are turned to agree with the year before; both axes of a panel have the same "
         "scale</text>\n";

    double top = kPage + kHeading;
    auto grid = [&](std::size_t n, auto draw) {
        for (std::size_t i = 0; i < n; ++i) {
            const double x = kPage + double(i % cols) * (pw + kGap), y = top + double(i / cols) * (ph + kGap);
            draw(i, x, y);
        }
        top += double(rows(n)) * (ph + kGap);
    };
    o << "<text class=\"section\" x=\"" << kPage << "\" y=\"" << (top + 20) << "\">Each year</text>\n";
    top += kSection;
    grid(years.size(), [&](std::size_t i, double x, double y) {
        o << "<g class=\"panel year\" data-year=\"" << int(years[i].head.index) << "\" transform=\"translate(" << x
          << " " << y << ")\">\n";
        year_panel(o, years[i], page.view, side, warnings);
        o << "</g>\n";
    });
    if (!pairs.empty()) {
        o << "<text class=\"section\" x=\"" << kPage << "\" y=\"" << (top + 20)
          << "\">Successive years: each location that both years retain moves along its arrow</text>\n";
        top += kSection;
        grid(pairs.size(), [&](std::size_t i, double x, double y) {
            o << "<g class=\"panel pair\" data-from=\"" << int(pairs[i].from.index) << "\" data-to=\""
              << int(pairs[i].to.index) << "\" transform=\"translate(" << x << " " << y << ")\">\n";
            pair_panel(o, pairs[i], page.view, side, warnings);
            o << "</g>\n";
        });
    }
    o << "</svg>\n";
    return o.take();
}

}  // namespace seqord::plot
