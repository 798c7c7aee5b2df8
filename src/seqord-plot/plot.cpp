// The command line of seqord-plot, the panels it draws, and the storing of
// the page.
#include <sys/stat.h>

#include <cerrno>
#include <stdexcept>

#include "plot.h"
#include "html.h"
#include "motion/motion.h"
#include "process/process.h"

#ifndef SEQORD_VERSION
#define SEQORD_VERSION "unknown"
#endif

namespace seqord::plot {

namespace {

constexpr std::string_view kUsage =
    "usage: seqord-plot [--axes I,J] [--fit-axes K] [--frame consensus|seqord] [--] JOB\n"
    "       seqord-plot --html [--fit-axes K] [--] JOB\n"
    "       seqord-plot --help | --version\n"
    "Reads JOB.ORP and JOB.POR, the plotting files seqord wrote for job JOB, and writes\n"
    "JOB.svg: each location's path over the years and its stability, after the years\n"
    "are fitted onto one another (rotation or reflection, no scaling); a panel per\n"
    "year (axis I across, axis J up, each location named); and a panel per pair of\n"
    "successive years (an arrow per location retained in both).\n"
    "  --axes I,J      the two axes to draw: two different axes of 1-4 (default 1,2)\n"
    "  --fit-axes K    fit the years on their first K axes, 2 to 4 (default 2)\n"
    "  --frame F       the frame of the pair panels: consensus (default; an arrow is a\n"
    "                  location's movement) or seqord (the axes as seqord aligned them)\n"
    "Full names and the settings come from JOB.names.csv (written by seqord-prep) when\n"
    "it is of this run. The points are first checked against JOB.ORS and JOB.SOR when\n"
    "they are there.\n"
    "JOB may be given with a folder, and with the extension .ORP or .POR.\n"
    "  --html          write JOB.html instead: one interactive page, year by year\n"
    "Exit status: 0 page written, 1 page could not be written, 2 usage error or a\n"
    "plotting file missing, unreadable or malformed (nothing is written then).\n";

constexpr process::Option kOptions[] = {
    {"html", 0, false},
    {"help", 'h', false},
    {"version", 'V', false},
    {"axes", 0, true},
    {"fit-axes", 0, true},
    {"frame", 0, true},
};

// "I,J" with two different axes of 1-4; false for anything else.
bool parse_view(std::string_view text, View& v) {
    if (text.size() != 3 || text[1] != ',') return false;
    v.x = text[0] - '0';
    v.y = text[2] - '0';
    return v.x >= 1 && v.x <= 4 && v.y >= 1 && v.y <= 4 && v.x != v.y;
}

int usage_error(std::string& err, const std::string& problem) {
    err += "seqord-plot: error: " + problem + "\n";
    err += kUsage;
    return kExitBadInput;
}

// The values of a point on the two axes of the view; false, with a warning,
// when either is a field of asterisks.
bool values(const results::FourAxes& a, View v, float& x, float& y, const std::string& path,
            std::int32_t location, const Name& name, const Name& year, std::vector<std::string>& warnings) {
    const results::Printed& px = a[std::size_t(v.x - 1)];
    const results::Printed& py = a[std::size_t(v.y - 1)];
    if (!px.known() || !py.known()) {
        const long line = px.known() ? py.line : px.line;
        warnings.push_back(path + ", line " + std::to_string(line) + ": location " + std::to_string(location) + " (" +
                           std::string(shown(name)) + ") of year " + std::string(shown(year)) +
                           " has a value too wide for its field (asterisks); it is left out");
        return false;
    }
    x = px.value;
    y = py.value;
    return true;
}

// Whether `path` is there to be read (anything but a missing file is, so
// that a file that cannot be read is reported as such).
bool present(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 || errno != ENOENT;
}

}  // namespace

// The points of each year against the run's summary and report, when they
// are there: the plotting files may have been copied without them.
void check_against_run(const std::string& job, const std::vector<results::Year>& years,
                       std::vector<std::string>& warnings) {
    const results::RunFiles files{job + ".SOR", job + ".ORS", job + ".ORP"};
    std::string absent;
    for (const std::string* f : {&files.ors, &files.sor})
        if (!present(*f)) absent += (absent.empty() ? "" : " and ") + *f;
    if (!absent.empty()) {
        warnings.push_back(absent + (absent.find(" and ") == std::string::npos ? " is" : " are") +
                           " not there: " + files.orp + " is drawn without the check that it is of the run that "
                           "wrote them (keep the four result files of a job together)");
        return;
    }
    results::check_one_run(results::read_report(files.sor), results::read_summary(files.ors), years, files, warnings);
}

Page page_of(const std::vector<results::Year>& years, const std::vector<results::Pair>& pairs, View view,
             const std::string& orp, const std::string& por, std::vector<std::string>& warnings) {
    Page page;
    page.view = view;
    for (const results::Year& y : years) {
        Year panel{y.head, {}};
        for (const results::PointRecord& r : y.points) {
            Point p{r.location, r.name, 0.0f, 0.0f};
            if (values(r.axis, view, p.x, p.y, orp, r.location, r.name, r.year, warnings)) panel.points.push_back(p);
        }
        page.years.push_back(std::move(panel));
    }
    for (const results::Pair& p : pairs) {
        Pair panel{p.from, p.to, {}};
        for (const results::Move& r : p.moves) {
            Move m;
            m.location = r.location;
            m.name = r.name;
            m.in_from = r.in_from && values(r.from, view, m.x0, m.y0, por, r.location, r.name, p.from.name, warnings);
            m.in_to = r.in_to && values(r.to, view, m.x1, m.y1, por, r.location, r.name, p.to.name, warnings);
            if (m.in_from || m.in_to) panel.moves.push_back(m);
        }
        page.pairs.push_back(std::move(panel));
    }
    return page;
}

std::string location_label(const Page& page, std::int32_t location, const Name& name) {
    const auto it = page.location_names.find(location);
    return it != page.location_names.end() ? it->second : std::string(shown(name));
}

std::string year_label(const Page& page, const results::YearHead& head) {
    const auto it = page.year_names.find(head.index);
    return it != page.year_names.end() ? it->second : std::string(shown(head.name));
}

void add_motion(Page& page, const std::vector<results::Year>& years, int k, PairFrame frame,
                const std::optional<names::JobNames>& names, const std::string& orp,
                std::vector<std::string>& warnings) {
    if (frame == PairFrame::consensus && (page.view.x > k || page.view.y > k))
        throw std::invalid_argument("the consensus frame has " + std::to_string(k) + " dimensions");
    page.has_motion = true;
    page.frame = frame;
    page.motion = motion::analyse(motion::from_years(years, k, orp, warnings), k);
    for (const std::string& w : page.motion.warnings) warnings.push_back(orp + ": " + w);
    if (names) {
        for (const results::Year& y : years) {
            page.year_names[y.head.index] = names->year(y.head.index, std::string(shown(y.head.name)));
            for (const results::PointRecord& p : y.points)
                page.location_names[p.location] = names->location(p.location, std::string(shown(p.name)));
        }
        page.title = names->setting("title");
        page.settings = names->describe();
    }
    if (frame != PairFrame::consensus) return;

    // The pair panels again, from the placed points: year j and j + 1 of the
    // file are pair j.
    std::vector<const motion::PlacedYear*> placed(years.size(), nullptr);
    for (const motion::PlacedYear& py : page.motion.placed) placed[py.year] = &py;
    const auto dx = std::size_t(page.view.x - 1), dy = std::size_t(page.view.y - 1);
    for (std::size_t j = 0; j < page.pairs.size() && j + 1 < years.size(); ++j) {
        Pair& panel = page.pairs[j];
        panel.moves.clear();
        std::map<std::int32_t, Move> by_location;
        for (int side = 0; side < 2; ++side) {
            const motion::PlacedYear* py = placed[j + std::size_t(side)];
            if (!py) continue;
            for (const motion::Point& p : py->points) {
                Move& m = by_location[p.location];
                m.location = p.location;
                for (const results::PointRecord& r : years[j + std::size_t(side)].points)
                    if (r.location == p.location) m.name = r.name;
                const auto x = float(p.x[dx]), y = float(p.x[dy]);
                if (side == 0) {
                    m.in_from = true;
                    m.x0 = x;
                    m.y0 = y;
                } else {
                    m.in_to = true;
                    m.x1 = x;
                    m.y1 = y;
                }
            }
        }
        for (auto& [location, m] : by_location) panel.moves.push_back(m);
    }
}

int run(int argc, const char* const* argv, std::string& out, std::string& err) {
    const process::ParsedArgs args = process::parse_args(argc, argv, kOptions);
    if (!args.problem.empty()) return usage_error(err, args.problem);
    if (args.has("help")) {
        out += kUsage;
        return kExitDone;
    }
    if (args.has("version")) {
        out += "seqord-plot " SEQORD_VERSION "\n";
        return kExitDone;
    }
    View view;
    if (args.has("axes") && !parse_view(args.values.find("axes")->second, view))
        return usage_error(err, "--axes takes two different axes of 1-4, as in --axes 1,3 (not '" +
                                    results::quote(args.values.find("axes")->second) + "')");
    int fit_axes = motion::kDefaultFitAxes;
    if (args.has("fit-axes")) {
        const std::string& v = args.values.find("fit-axes")->second;
        if (v.size() != 1 || v[0] < '0' + motion::kMinFitAxes || v[0] > '0' + motion::kMaxFitAxes)
            return usage_error(err, "--fit-axes takes 2, 3 or 4, not '" + results::quote(v) + "'");
        fit_axes = v[0] - '0';
    }
    PairFrame frame = PairFrame::consensus;
    if (args.has("frame")) {
        const std::string& v = args.values.find("frame")->second;
        if (v == "seqord") frame = PairFrame::seqord;
        else if (v != "consensus")
            return usage_error(err, "--frame takes consensus or seqord, not '" + results::quote(v) + "'");
    }
    if (args.has("html") && (args.has("axes") || args.has("frame")))
        return usage_error(err, std::string(args.has("axes") ? "--axes" : "--frame") +
                                    " is for the static page; the interactive page (--html) shows axes 1 and 2 "
                                    "and switches between the frames itself");
    if (frame == PairFrame::consensus && (view.x > fit_axes || view.y > fit_axes))
        return usage_error(err, "--axes " + std::to_string(view.x) + "," + std::to_string(view.y) +
                                    " draws the pair panels in the consensus frame, which has " +
                                    std::to_string(fit_axes) + " dimensions: give --fit-axes " +
                                    std::to_string(std::max(view.x, view.y)) + " or --frame seqord");
    if (args.operands.size() > 1) return usage_error(err, "one job name only, please");
    if (args.operands.empty() || args.operands[0].empty()) return usage_error(err, "no job name given");
    const std::string job = results::job_of(args.operands[0], {".ORP", ".POR"});
    if (args.has("html")) return run_html(job, fit_axes, out, err);
    const std::string orp = job + ".ORP", por = job + ".POR", svg = job + ".svg";

    std::vector<std::string> warnings;
    Page page;
    try {
        const std::vector<results::Year> years = results::read_years(orp);
        const std::vector<results::Pair> pairs = results::read_pairs(por);
        results::check_pairs_fit(years, pairs, por, warnings);
        check_against_run(job, years, warnings);
        page = page_of(years, pairs, view, orp, por, warnings);
        add_motion(page, years, fit_axes, frame, names::load_for(job, years, warnings), orp, warnings);
    } catch (const InputError& e) {
        for (const auto& w : warnings) err += "seqord-plot: warning: " + printable(w) + "\n";
        err += "seqord-plot: error: " + printable(std::string(e.what()) + "; " + svg + " is not written") + "\n";
        return kExitBadInput;
    }

    const std::string text = render_svg(results::job_name(job), page, warnings);
    for (const auto& w : warnings) err += "seqord-plot: warning: " + printable(w) + "\n";
    const std::string why = process::store_whole(svg, text);
    if (!why.empty()) {
        err += "seqord-plot: error: cannot write " + svg + " (" + why + ")\n";
        return kExitWriteFailed;
    }
    out += "seqord-plot: wrote " + svg + ": " + results::counted(page.years.size(), "year panel", "year panels") + ", " +
           results::counted(page.pairs.size(), "pair panel", "pair panels") + "\n";
    return kExitDone;
}

}  // namespace seqord::plot
