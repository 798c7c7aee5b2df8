// The interactive page: its data as JSON, and the page around them.
#include <sys/stat.h>

#include "html.h"

#include <algorithm>
#include <cmath>

#include "motion/motion.h"
#include "motion/names.h"
#include "plot.h"
#include "process/process.h"
#include "records/json.h"
#include "seqord-plot/page_assets.h"  // generated from page/ at build time

#ifndef SEQORD_VERSION
#define SEQORD_VERSION "unknown"
#endif

namespace seqord::plot {

namespace {

std::string full(const std::map<std::int32_t, std::string>& names, std::int32_t index, std::string_view short_name) {
    const auto it = names.find(index);
    return it != names.end() && !it->second.empty() ? it->second : std::string(short_name);
}

// Reads the printed text of a value as a double, as the motion library
// does, so that the page gives the figures of the file and not those of
// their single-precision reading.
double printed(const results::Printed& p) {
    try {
        return std::stod(p.text);
    } catch (...) {
        return double(p.value);
    }
}

void optional_real(json::Writer& w, const std::optional<double>& v, int decimals = -1) {
    if (v && std::isfinite(*v)) w.real(*v, decimals);
    else w.null();
}

// One frame of a year: {"loc":[...],"xy":[...]}; "loc" is left out when
// the year holds every location in order.
void frame(json::Writer& w, const std::vector<HtmlPage::At>& at, std::size_t locations, int decimals) {
    w.begin_object();
    bool all = at.size() == locations;
    for (std::size_t i = 0; all && i < at.size(); ++i) all = at[i].location == i;
    if (!all) {
        w.key("loc").begin_array();
        for (const auto& a : at) w.integer(std::int64_t(a.location));
        w.end_array();
    }
    w.key("xy").begin_array();
    for (const auto& a : at) w.real(a.x, decimals).real(a.y, decimals);
    w.end_array();
    w.end_object();
}

}  // namespace

int decimals_for(double largest) {
    if (!(largest > 0) || !std::isfinite(largest)) return 5;
    const int magnitude = int(std::floor(std::log10(largest)));  // 0.8 -> -1, 12 -> 1
    return std::clamp(4 - magnitude, 0, 17);
}

HtmlPage html_page_of(std::string_view job, const std::vector<results::Year>& years, const motion::Motion& m,
                      const FullNames& names, const std::string& orp, std::vector<std::string>& warnings) {
    HtmlPage page;
    page.job = std::string(job);
    page.fit_axes = m.k;

    // Every location of any year, by index.
    std::map<std::int32_t, std::string> short_names;
    for (const results::Year& y : years)
        for (const results::PointRecord& r : y.points) short_names.emplace(r.location, std::string(results::shown(r.name)));
    std::map<std::int32_t, std::size_t> position;
    for (const auto& [index, name] : short_names) {
        position[index] = page.locations.size();
        page.locations.push_back({index, name, full(names.locations, index, name)});
    }

    for (const results::Year& y : years) {
        HtmlPage::Year out;
        out.index = y.head.index;
        out.short_name = std::string(results::shown(y.head.name));
        out.name = full(names.years, out.index, out.short_name);
        if (y.head.percent[0].known() && y.head.percent[1].known())
            out.share = std::array<double, 2>{printed(y.head.percent[0]), printed(y.head.percent[1])};
        for (const results::PointRecord& r : y.points) {
            if (!r.axis[0].known() || !r.axis[1].known()) {
                warnings.push_back(orp + ", line " + std::to_string(r.line) + ": location " + std::to_string(r.location) +
                                   " (" + std::string(results::shown(r.name)) + ") of year " +
                                   std::string(results::shown(y.head.name)) +
                                   " has a value too wide for its field (asterisks) on axis 1 or 2; the page leaves it out");
                continue;
            }
            out.seqord.push_back({position.at(r.location), printed(r.axis[0]), printed(r.axis[1])});
        }
        page.years.push_back(std::move(out));
    }

    for (const motion::PlacedYear& p : m.placed) {
        if (p.year >= page.years.size()) continue;
        HtmlPage::Year& out = page.years[p.year];
        out.placed = true;
        for (const motion::Point& pt : p.points) {
            const auto it = position.find(pt.location);
            if (it != position.end()) out.fitted.push_back({it->second, pt.x[0], pt.x[1]});
        }
        std::sort(out.fitted.begin(), out.fitted.end(),
                  [](const HtmlPage::At& a, const HtmlPage::At& b) { return a.location < b.location; });
    }
    for (const motion::Location& l : m.locations) {
        const auto it = position.find(l.location);
        if (it != position.end()) page.stability.push_back({it->second, l.years, l.spread, l.mean_step});
    }
    for (const motion::PairFit& f : m.pairs)
        page.pairs.push_back({f.from, f.to, f.common, f.ss_seqord, f.ss_fit, f.procrustes_r});
    return page;
}

std::string page_data_json(const HtmlPage& page) {
    // The consensus frame's coordinates are rounded to five significant
    // digits of the largest: far finer than any screen, and the file stays
    // small for hundreds of locations over tens of years.
    double largest = 0;
    for (const auto& y : page.years)
        for (const auto& a : y.fitted) largest = std::max({largest, std::fabs(a.x), std::fabs(a.y)});
    const int fitted_decimals = decimals_for(largest);

    json::Writer w;
    w.begin_object();
    w.key("job").string(page.job);
    w.key("title").string(page.title);
    w.key("settings").string(page.settings);
    w.key("namesFile").string(page.names_file);
    w.key("version").string(SEQORD_VERSION);
    w.key("fitAxes").integer(page.fit_axes);
    w.key("locations").begin_array();
    for (const auto& l : page.locations) w.begin_array().integer(l.index).string(l.short_name).string(l.name).end_array();
    w.end_array();
    w.key("years").begin_array();
    for (const auto& y : page.years) {
        w.begin_object();
        w.key("index").integer(y.index);
        w.key("short").string(y.short_name);
        w.key("name").string(y.name);
        w.key("share");
        if (y.share) w.begin_array().real((*y.share)[0]).real((*y.share)[1]).end_array();
        else w.null();
        w.key("placed").boolean(y.placed);
        w.key("seqord");
        frame(w, y.seqord, page.locations.size(), -1);
        w.key("fitted");
        if (y.placed) frame(w, y.fitted, page.locations.size(), fitted_decimals);
        else w.null();
        w.end_object();
    }
    w.end_array();
    w.key("stability").begin_array();
    for (const auto& s : page.stability) {
        w.begin_array().integer(std::int64_t(s.location)).integer(std::int64_t(s.years)).real(s.spread);
        optional_real(w, s.mean_step);
        w.end_array();
    }
    w.end_array();
    w.key("pairs").begin_array();
    for (const auto& p : page.pairs) {
        w.begin_array().integer(std::int64_t(p.from)).integer(std::int64_t(p.to)).integer(std::int64_t(p.common));
        optional_real(w, p.ss_seqord);
        optional_real(w, p.ss_fit);
        optional_real(w, p.procrustes_r);
        w.end_array();
    }
    w.end_array();
    w.key("warnings").begin_array();
    for (const auto& s : page.warnings) w.string(s);
    w.end_array();
    w.end_object();
    return w.text();
}

std::string render_html(const HtmlPage& page) {
    const std::string heading = page.title.empty() ? page.job : page.job + ": " + page.title;
    std::string out;
    out.reserve(page::kPageJs.size() + page::kPageCss.size() + page::kPlotCss.size() + 64 * 1024);
    out += "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
           "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
           // Nothing may be fetched: the page is its own world.
           "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; script-src 'unsafe-inline'; "
           "style-src 'unsafe-inline'; img-src data: blob:\">\n"
           "<meta name=\"generator\" content=\"seqord-plot " SEQORD_VERSION "\">\n"
           "<link rel=\"icon\" href=\"data:,\">\n<title>";
    out += xml_escape(heading);
    out += " \xE2\x80\x94 seqord</title>\n<style>\n";
    out += page::kPageCss;
    out += "</style>\n<style id=\"seqord-plot-style\">\n";
    out += page::kPlotCss;
    out += "</style>\n</head>\n<body>\n<noscript><p>This page draws with JavaScript, which is turned off here. "
           "<code>seqord-plot ";
    out += xml_escape(page.job);
    out += "</code> writes the same results as a static picture.</p></noscript>\n"
           "<script type=\"application/json\" id=\"seqord-data\">";
    out += page_data_json(page);
    out += "</script>\n<script>\n";
    out += page::kPageJs;
    out += "</script>\n</body>\n</html>\n";
    return out;
}

int run_html(const std::string& job, int fit_axes, std::string& out, std::string& err) {
    const std::string orp = job + ".ORP", por = job + ".POR", html = job + ".html";
    std::vector<std::string> warnings;
    HtmlPage page;
    try {
        const std::vector<results::Year> years = results::read_years(orp);
        // The page draws no pair panels; .POR, when it is there, is still
        // checked against .ORP, as the static page checks it.
        struct stat st {};
        if (::stat(por.c_str(), &st) == 0) results::check_pairs_fit(years, results::read_pairs(por), por, warnings);
        check_against_run(job, years, warnings);
        const motion::Motion m = motion::analyse(motion::from_years(years, fit_axes, orp, warnings), fit_axes);
        warnings.insert(warnings.end(), m.warnings.begin(), m.warnings.end());
        const std::optional<names::JobNames> known = names::load_for(job, years, warnings);
        FullNames full;
        if (known) {
            for (std::size_t i = 0; i < known->year_full.size(); ++i) full.years[std::int32_t(i + 1)] = known->year_full[i];
            for (std::size_t i = 0; i < known->location_full.size(); ++i)
                full.locations[std::int32_t(i + 1)] = known->location_full[i];
        }
        page = html_page_of(results::job_name(job), years, m, full, orp, warnings);
        if (known) {
            page.title = known->setting("title");
            page.settings = known->describe();
            page.names_file = results::job_name(names::path_of(job));
        }
    } catch (const InputError& e) {
        for (const auto& w : warnings) err += "seqord-plot: warning: " + printable(w) + "\n";
        err += "seqord-plot: error: " + printable(std::string(e.what()) + "; " + html + " is not written") + "\n";
        return kExitBadInput;
    }
    for (const auto& w : warnings) err += "seqord-plot: warning: " + printable(w) + "\n";
    page.warnings = warnings;
    const std::string why = process::store_whole(html, render_html(page));
    if (!why.empty()) {
        err += "seqord-plot: error: cannot write " + html + " (" + why + ")\n";
        return kExitWriteFailed;
    }
    std::size_t placed = 0;
    for (const auto& y : page.years) placed += y.placed ? 1 : 0;
    out += "seqord-plot: wrote " + html + ": " + results::counted(page.years.size(), "year", "years") + " (" +
           std::to_string(placed) + " placed in the consensus frame), " +
           results::counted(page.locations.size(), "location", "locations") + "\n";
    return kExitDone;
}

}  // namespace seqord::plot
