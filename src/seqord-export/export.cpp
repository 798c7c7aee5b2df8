// The tables of seqord-export, their checks across the result files, and
// the command line.
#include "seqord-export/export.h"

#include <map>
#include <set>

#include "csv/csv.h"
#include "motion/motion.h"
#include "motion/names.h"
#include "process/process.h"
#include "results/results.h"

#ifndef SEQORD_VERSION
#define SEQORD_VERSION "unknown"
#endif

namespace seqord::tables {

namespace {

using results::InputError;

constexpr std::string_view kUsage =
    "usage: seqord-export [--out DIR] [--fit-axes K] [--] JOB\n"
    "       seqord-export --help | --version\n"
    "Reads JOB.SOR, JOB.ORS and JOB.ORP, the result files seqord wrote for job JOB, and\n"
    "writes six CSV tables beside them:\n"
    "  JOB.points.csv     year_index,year,location_index,location,axis1,axis2,axis3,axis4,\n"
    "                     location_name (the aligned points of each year)\n"
    "  JOB.axes.csv       year_index,year,axis,eigenvalue,percent,cumulative_percent\n"
    "                     (the axes each year kept)\n"
    "  JOB.alignment.csv  year_index,next_year_index,axis,correlation,reversed\n"
    "                     (the correlations between the axes of successive years)\n"
    "  JOB.pairs.csv      year_index,next_year_index,common_locations,ss_seqord,ss_fit,\n"
    "                     procrustes_r (each later year fitted onto the one before it)\n"
    "  JOB.consensus.csv  location_index,location,location_name,years,dim1,...,dimK,\n"
    "                     spread,mean_step (each location's consensus position and stability)\n"
    "  JOB.trajectory.csv year_index,year,location_index,location,location_name,dim1,...,dimK\n"
    "                     (every placed point in the consensus frame)\n"
    "  --out DIR       write the tables into the folder DIR instead\n"
    "  --fit-axes K    fit the years on their first K axes, 2 to 4 (default 2)\n"
    "Full names come from JOB.names.csv (written by seqord-prep) when it is of this run.\n"
    "JOB may be given with a folder, and with the extension of one of its result files.\n"
    "The three files are first checked to be whole and of one run.\n"
    "Exit status: 0 tables written, 1 a table could not be written, 2 usage error or a\n"
    "result file missing, unreadable or malformed (nothing is written then).\n";

constexpr process::Option kOptions[] = {
    {"help", 'h', false},
    {"version", 'V', false},
    {"out", 0, true},
    {"fit-axes", 0, true},
};

// The record layer writes every stream under a unit number; the tables
// have these.
constexpr int kPointsUnit = 31, kAxesUnit = 32, kAlignmentUnit = 33, kPairsUnit = 34, kConsensusUnit = 35,
              kTrajectoryUnit = 36;

std::string name_field(const Name& n) { return results::as_utf8(results::trimmed(n)); }

// The lines of one file that hold a field of asterisks: one warning each.
class Asterisks {
public:
    explicit Asterisks(std::string path) : path_(std::move(path)) {}
    // The value's text, noting its line when it is unknown.
    const std::string& take(const results::Printed& p) {
        if (!p.known()) lines_.insert(p.line);
        return p.text;
    }
    void warn(const std::string& table, std::vector<std::string>& warnings) const {
        for (long line : lines_)
            warnings.push_back(path_ + ", line " + std::to_string(line) +
                               ": a value printed as asterisks (too wide for its field) is an empty field in " +
                               table);
    }

private:
    std::string path_;
    std::set<long> lines_;
};

// The tables of how the locations move.
template <class FullName>
void motion_tables(Tables& t, const std::vector<results::Year>& years, const std::string& orp, int k,
                   const FullName& location_name, std::vector<std::string>& warnings) {
    const std::vector<motion::YearPoints> points = motion::from_years(years, k, orp, warnings);
    const motion::Motion m = motion::analyse(points, k);
    for (const std::string& w : m.warnings) warnings.push_back(orp + ": " + w);
    auto maybe = [](const std::optional<double>& v) { return v ? motion::number(*v) : std::string(); };
    std::vector<std::string> dims;
    for (int d = 1; d <= k; ++d) dims.push_back("dim" + std::to_string(d));

    t.pairs.header = {"year_index", "next_year_index", "common_locations", "ss_seqord", "ss_fit", "procrustes_r"};
    for (const motion::PairFit& p : m.pairs)
        t.pairs.rows.push_back({std::to_string(p.year_index), std::to_string(p.next_year_index), std::to_string(p.common),
                                maybe(p.ss_seqord), maybe(p.ss_fit), maybe(p.procrustes_r)});

    t.consensus.header = {"location_index", "location", "location_name", "years"};
    t.consensus.header.insert(t.consensus.header.end(), dims.begin(), dims.end());
    t.consensus.header.insert(t.consensus.header.end(), {"spread", "mean_step"});
    for (const motion::Location& l : m.locations) {
        std::vector<std::string> row = {std::to_string(l.location), results::as_utf8(l.name),
                                        location_name(l.location, results::as_utf8(l.name)),
                                        std::to_string(l.years)};
        for (int d = 0; d < k; ++d) row.push_back(motion::number(l.consensus[std::size_t(d)]));
        row.push_back(motion::number(l.spread));
        row.push_back(maybe(l.mean_step));
        t.consensus.rows.push_back(std::move(row));
    }

    t.trajectory.header = {"year_index", "year", "location_index", "location", "location_name"};
    t.trajectory.header.insert(t.trajectory.header.end(), dims.begin(), dims.end());
    for (const motion::PlacedYear& y : m.placed)
        for (const motion::Point& p : y.points) {
            std::vector<std::string> row = {std::to_string(y.index), results::as_utf8(y.name),
                                            std::to_string(p.location), results::as_utf8(p.name),
                                            location_name(p.location, results::as_utf8(p.name))};
            for (int d = 0; d < k; ++d) row.push_back(motion::number(p.x[std::size_t(d)]));
            t.trajectory.rows.push_back(std::move(row));
        }
}

}  // namespace

Tables build(const std::string& job, std::vector<std::string>& warnings, int fit_axes) {
    const std::string sor = job + ".SOR", ors = job + ".ORS", orp = job + ".ORP";
    const results::Summary summary = results::read_summary(ors);
    const results::Report report = results::read_report(sor);
    // The plotting points: the years IYS to IYF.  A run with IYF before IYS
    // writes none (the file then holds what an earlier run left, if anything).
    std::vector<results::Year> years;
    if (report.iyf >= report.iys) years = results::read_years(orp);
    results::check_one_run(report, summary, years, {sor, ors, orp}, warnings);

    // A year index given to more than one year record: the report has a
    // block for each, and the axes table gives each as reported.
    std::map<std::int32_t, std::vector<long>> blocks;
    for (const results::SummaryYear& y : summary.years) blocks[y.index].push_back(y.line);
    for (const auto& [index, lines] : blocks) {
        if (lines.size() < 2) continue;
        std::string at;
        for (long l : lines) at += (at.empty() ? "" : ", ") + std::to_string(l);
        warnings.push_back(ors + ": year index " + std::to_string(index) + " has " + std::to_string(lines.size()) +
                           " year records (lines " + at +
                           "); the axes table lists each block as reported, and the points are what the run kept of them");
    }

    const std::string points_name = results::job_name(job) + ".points.csv", axes_name = results::job_name(job) + ".axes.csv",
                      alignment_name = results::job_name(job) + ".alignment.csv";
    Tables t;
    Asterisks in_orp(orp), in_axes(sor), in_alignment(sor);

    const std::optional<names::JobNames> full = names::load_for(job, years, warnings);
    auto location_name = [&](std::int32_t index, const std::string& short_name) {
        return full ? full->location(index, short_name) : short_name;
    };

    t.points.header = {"year_index", "year", "location_index", "location", "axis1", "axis2", "axis3", "axis4",
                       "location_name"};
    for (const results::Year& y : years)
        for (const results::PointRecord& p : y.points)
            t.points.rows.push_back({std::to_string(y.head.index), name_field(p.year), std::to_string(p.location),
                                     name_field(p.name), in_orp.take(p.axis[0]), in_orp.take(p.axis[1]),
                                     in_orp.take(p.axis[2]), in_orp.take(p.axis[3]),
                                     location_name(p.location, name_field(p.name))});

    t.axes.header = {"year_index", "year", "axis", "eigenvalue", "percent", "cumulative_percent"};
    for (std::size_t i = 0; i < report.years.size(); ++i) {
        const results::ReportYear& y = report.years[i];
        for (const results::EigenRow& a : y.axes)
            t.axes.rows.push_back({std::to_string(summary.years[i].index), name_field(y.name), std::to_string(a.number),
                                   in_axes.take(a.eigenvalue), in_axes.take(a.percent), in_axes.take(a.cumulative)});
    }

    // A negative correlation is what turned the later year's axis.  One
    // between -0.0005 and 0 prints as 0.000, without its sign: the table
    // gives what the report shows.
    t.alignment.header = {"year_index", "next_year_index", "axis", "correlation", "reversed"};
    for (const results::CorrelationRow& r : report.correlations)
        for (std::size_t m = 0; m < 4; ++m) {
            const results::Printed& c = r.r[m];
            const std::string reversed = !c.known() ? "" : c.value < 0.0f ? "true" : "false";
            t.alignment.rows.push_back(
                {std::to_string(r.year), std::to_string(r.next_year), std::to_string(m + 1), in_alignment.take(c), reversed});
        }

    motion_tables(t, years, orp, fit_axes, location_name, warnings);

    in_orp.warn(points_name, warnings);
    in_axes.warn(axes_name, warnings);
    in_alignment.warn(alignment_name, warnings);
    return t;
}

namespace {

int usage_error(std::string& err, const std::string& problem) {
    err += "seqord-export: error: " + problem + "\n";
    err += kUsage;
    return results::kExitBadInput;
}

// Writes the tables whole under their final names, or none of them; empty
// on success, else what went wrong.
std::string store(const Tables& t, const std::string& base) {
    process::StoredFiles set;
    const struct {
        const Table* table;
        std::string path;
        int unit;
    } files[] = {{&t.points, base + ".points.csv", kPointsUnit},
                 {&t.axes, base + ".axes.csv", kAxesUnit},
                 {&t.alignment, base + ".alignment.csv", kAlignmentUnit},
                 {&t.pairs, base + ".pairs.csv", kPairsUnit},
                 {&t.consensus, base + ".consensus.csv", kConsensusUnit},
                 {&t.trajectory, base + ".trajectory.csv", kTrajectoryUnit}};
    for (const auto& f : files) {
        std::string why;
        const int fd = set.create(f.path, why);
        if (fd < 0) return "cannot write " + f.path + " (" + why + "); no table is written";
        try {
            OutStream s;
            s.bind(f.unit, f.path, fd, false);
            csv::write_row(s, f.table->header);
            for (const auto& row : f.table->rows) csv::write_row(s, row);
            s.flush();
        } catch (const RunStop& stop) {
            return "cannot write " + f.path + " (" + results::reason(stop) + "); no table is written";
        }
    }
    const std::string why = set.commit();
    if (why.empty()) return why;
    return "cannot store the tables " + base + ".*.csv (" + why + "); " +
           (set.left().empty() ? "no table is written" : "what is left: " + set.left());
}

}  // namespace

int run(int argc, const char* const* argv, std::string& out, std::string& err) {
    const process::ParsedArgs args = process::parse_args(argc, argv, kOptions);
    if (!args.problem.empty()) return usage_error(err, args.problem);
    if (args.has("help")) {
        out += kUsage;
        return results::kExitDone;
    }
    if (args.has("version")) {
        out += "seqord-export " SEQORD_VERSION "\n";
        return results::kExitDone;
    }
    if (args.operands.size() > 1) return usage_error(err, "one job name only, please");
    if (args.operands.empty() || args.operands[0].empty()) return usage_error(err, "no job name given");
    const std::string job = results::job_of(args.operands[0], {".SOR", ".ORS", ".POR", ".ORP"});
    std::string base = job;
    if (args.has("out")) {
        const std::string& dir = args.values.find("out")->second;
        if (dir.empty()) return usage_error(err, "--out needs a folder");
        base = dir + (dir.back() == '/' ? "" : "/") + results::job_name(job);
    }

    int fit_axes = motion::kDefaultFitAxes;
    if (args.has("fit-axes")) {
        const std::string& v = args.values.find("fit-axes")->second;
        if (v.size() != 1 || v[0] < '0' + motion::kMinFitAxes || v[0] > '0' + motion::kMaxFitAxes)
            return usage_error(err, "--fit-axes takes 2, 3 or 4, not '" + v + "'");
        fit_axes = v[0] - '0';
    }

    std::vector<std::string> warnings;
    Tables t;
    try {
        t = build(job, warnings, fit_axes);
    } catch (const InputError& e) {
        for (const auto& w : warnings) err += "seqord-export: warning: " + printable(w) + "\n";
        err += "seqord-export: error: " + printable(e.what()) + "; no table is written\n";
        return results::kExitBadInput;
    }
    for (const auto& w : warnings) err += "seqord-export: warning: " + printable(w) + "\n";
    if (const std::string why = store(t, base); !why.empty()) {
        err += "seqord-export: error: " + printable(why) + "\n";
        return results::kExitWriteFailed;
    }
    const auto rows = [](const Table& table) { return results::counted(table.rows.size(), "row", "rows"); };
    out += "seqord-export: wrote " + base + ".points.csv (" + rows(t.points) + "), " + base + ".axes.csv (" +
           rows(t.axes) + "), " + base + ".alignment.csv (" + rows(t.alignment) + "), " + base + ".pairs.csv (" +
           rows(t.pairs) + "), " + base + ".consensus.csv (" + rows(t.consensus) + "), " + base +
           ".trajectory.csv (" + rows(t.trajectory) + ")\n";
    return results::kExitDone;
}

}  // namespace seqord::tables
