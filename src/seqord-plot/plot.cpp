// The command line of seqord-plot, the panels it draws, and the storing of
// the page.
#include <sys/stat.h>

#include <cerrno>

#include "plot.h"
#include "process/process.h"

#ifndef SEQORD_VERSION
#define SEQORD_VERSION "unknown"
#endif

namespace seqord::plot {

namespace {

constexpr std::string_view kUsage =
    "usage: seqord-plot [--axes I,J] [--] JOB\n"
    "       seqord-plot --help | --version\n"
    "Reads JOB.ORP and JOB.POR, the plotting files seqord wrote for job JOB, and writes\n"
    "JOB.svg: a panel per year (axis I across, axis J up, each location named) and a\n"
    "panel per pair of successive years (an arrow per location retained in both).\n"
    "The points are first checked against JOB.ORS and JOB.SOR when they are there.\n"
    "  --axes I,J  the two axes to draw: two different axes of 1-4 (default 1,2)\n"
    "JOB may be given with a folder, and with the extension .ORP or .POR.\n"
    "Exit status: 0 page written, 1 page could not be written, 2 usage error or a\n"
    "plotting file missing, unreadable or malformed (nothing is written then).\n";

constexpr process::Option kOptions[] = {
    {"help", 'h', false},
    {"version", 'V', false},
    {"axes", 0, true},
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

}  // namespace

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
    if (args.operands.size() > 1) return usage_error(err, "one job name only, please");
    if (args.operands.empty() || args.operands[0].empty()) return usage_error(err, "no job name given");
    const std::string job = results::job_of(args.operands[0], {".ORP", ".POR"});
    const std::string orp = job + ".ORP", por = job + ".POR", svg = job + ".svg";

    std::vector<std::string> warnings;
    Page page;
    try {
        const std::vector<results::Year> years = results::read_years(orp);
        const std::vector<results::Pair> pairs = results::read_pairs(por);
        results::check_pairs_fit(years, pairs, por, warnings);
        check_against_run(job, years, warnings);
        page = page_of(years, pairs, view, orp, por, warnings);
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
