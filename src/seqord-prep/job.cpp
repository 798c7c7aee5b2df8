// The command line of seqord-prep, the checks before anything is written,
// the writing of JOB.EMA and JOB.NAQ, and the summary.
#include <sys/stat.h>

#include <algorithm>
#include <charconv>

#include "input/input.h"
#include "main/job.h"
#include "prep.h"
#include "process/process.h"

#ifndef SEQORD_VERSION
#define SEQORD_VERSION "unknown"
#endif

namespace seqord::prep {

namespace {

// Units of the two files written (the program's own numbers).
constexpr int kUnitEma = 40, kUnitNaq = 41;

// Records of the two files that seqord reads free-form, written in fixed
// columns; the others have the input layouts.
constexpr Format kRunHeader = layout("(5I6)");
constexpr Format kCount = layout("(I6)");
constexpr Format kElimination = layout("(30I3)");
constexpr Format kCounts = layout("(3I6)");

constexpr std::string_view kUsageHint = "usage: seqord-prep [options] TABLE JOB (seqord-prep --help for more)\n";

constexpr std::string_view kHelp =
    "usage: seqord-prep [options] [--] TABLE JOB\n"
    "       seqord-prep --help | --version\n"
    "Reads TABLE, a long table of trial results (a header line, then one row per\n"
    "observation: year, location, genotype, value), averages replicates, and writes\n"
    "JOB.EMA and JOB.NAQ, the input of seqord: per year the proximity matrix between\n"
    "the locations retained that year, from their genotype means.\n"
    "Table: comma-separated (RFC 4180), or tab-separated when the header holds a tab,\n"
    "or semicolon-separated (with decimal commas) when it holds a semicolon and no\n"
    "comma. Missing values: empty, NA, NaN, '.', '-', '*'.\n"
    "  --year COL --location COL --genotype COL --value COL\n"
    "                        the columns (default year, location, genotype, yield;\n"
    "                        case and blanks around names do not matter)\n"
    "  --measure sed|cor     mean squared difference (default) or correlation\n"
    "  --sed standardised|centred\n"
    "                        scaling of the location vectors for sed (default standardised)\n"
    "  --cor-average normal|z  average of correlations over years (default normal)\n"
    "  --weighted            weight each year by its genotypes in common (default: equal weights)\n"
    "  --per-year            each year's matrix from that year alone (default: all years up to it)\n"
    "  --min-common N        least genotypes in common for a pair in a year, and least means\n"
    "                        for a location to be retained in a year (default 3, at least 2)\n"
    "  --title TEXT          the job title (default: TABLE's name and the measure), 50 characters\n"
    "  --rename FILE         short names by hand: a table of two columns, long,short\n"
    "  --force               replace JOB.EMA and JOB.NAQ when they exist\n"
    "Names longer than 8 characters are cut (each cut is reported on standard error).\n"
    "Exit status: 0 files written, 1 a file could not be read or written, 2 a bad table\n"
    "or command line (nothing is written then).\n";

constexpr process::Option kOptions[] = {
    {"help", 'h', false},     {"version", 'V', false},  {"year", 0, true},       {"location", 0, true},
    {"genotype", 0, true},    {"value", 0, true},       {"measure", 0, true},    {"sed", 0, true},
    {"cor-average", 0, true}, {"weighted", 0, false},   {"per-year", 0, false},  {"min-common", 0, true},
    {"title", 0, true},       {"rename", 0, true},      {"force", 0, false},
};

struct Settings {
    Columns columns;
    proximity::Settings measure;
    std::string title;  // empty: the default
    bool has_title = false;
    std::string renames;
    bool force = false;
    std::string table, job;
    std::vector<std::string> notes;
};

// What the settings compute, as the title and the summary say it.
std::string describe(const proximity::Settings& s) {
    std::string d = s.measure == proximity::Measure::sed
                        ? std::string("SED, ") + (s.scaling == proximity::Scaling::standardised ? "standardised" : "centred")
                        : std::string("COR, ") + (s.average == proximity::Average::z ? "z average" : "normal average");
    if (s.weighting == proximity::Weighting::weighted) d += ", weighted";
    d += s.cumulative ? ", cumulative" : ", per year";
    return d;
}

bool has_control(std::string_view s) {
    return std::any_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; });
}

// The settings from the command line; a usage error is a Failure.
Settings parse(const process::ParsedArgs& a) {
    Settings s;
    auto value = [&](std::string_view name) -> const std::string* {
        const auto it = a.values.find(name);
        return it == a.values.end() ? nullptr : &it->second;
    };
    auto bad = [](const std::string& what) { throw Failure(kExitBad, what); };
    auto column = [&](std::string_view name, std::string& target) {
        if (const std::string* v = value(name)) {
            if (v->find_first_not_of(" \t") == std::string::npos) bad("--" + std::string(name) + " needs a column name");
            target = *v;
        }
    };
    column("year", s.columns.year);
    column("location", s.columns.location);
    column("genotype", s.columns.genotype);
    column("value", s.columns.value);
    if (const std::string* v = value("measure")) {
        if (*v == "sed") s.measure.measure = proximity::Measure::sed;
        else if (*v == "cor") s.measure.measure = proximity::Measure::cor;
        else bad("--measure is sed or cor, not '" + *v + "'");
    }
    if (const std::string* v = value("sed")) {
        if (*v == "standardised" || *v == "standardized") s.measure.scaling = proximity::Scaling::standardised;
        else if (*v == "centred" || *v == "centered") s.measure.scaling = proximity::Scaling::centred;
        else bad("--sed is standardised or centred, not '" + *v + "'");
        if (s.measure.measure == proximity::Measure::cor) s.notes.push_back("--sed has no effect with --measure cor");
    }
    if (const std::string* v = value("cor-average")) {
        if (*v == "normal") s.measure.average = proximity::Average::normal;
        else if (*v == "z") s.measure.average = proximity::Average::z;
        else bad("--cor-average is normal or z, not '" + *v + "'");
        if (s.measure.measure == proximity::Measure::sed) s.notes.push_back("--cor-average has no effect with --measure sed");
    }
    if (a.has("weighted")) s.measure.weighting = proximity::Weighting::weighted;
    if (a.has("per-year")) s.measure.cumulative = false;
    if (const std::string* v = value("min-common")) {
        int n = 0;
        const auto r = std::from_chars(v->data(), v->data() + v->size(), n);
        if (r.ec != std::errc() || r.ptr != v->data() + v->size() || n < 2 || n > 1000000)
            bad("--min-common is a whole number from 2 to 1000000, not '" + *v + "'");
        s.measure.min_common = n;
    }
    if (const std::string* v = value("title")) {
        if (has_control(*v)) bad("the title holds a line break or another control character");
        s.title = *v;
        s.has_title = true;
    }
    if (const std::string* v = value("rename")) {
        if (v->empty() || has_control(*v)) bad("the name after --rename is empty or holds a control character");
        s.renames = *v;
    }
    s.force = a.has("force");
    if (a.operands.size() != 2) {
        if (a.operands.empty()) bad("no table and no job name given");
        if (a.operands.size() == 1) bad("no job name given after the table " + a.operands[0]);
        bad("a table and a job name, please, not " + std::to_string(a.operands.size()) + " names");
    }
    s.table = a.operands[0];
    s.job = a.operands[1];
    if (s.table.empty() || has_control(s.table)) bad("the table's name is empty or holds a control character");
    if (s.job.empty() || has_control(s.job)) bad("the job name is empty or holds a control character");
    return s;
}

bool exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

std::string base_name(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Refuses a job that the run header or seqord's workspace cannot hold.
void check_workspace(std::int64_t maxy, std::int64_t maxl, std::int64_t maxg) {
    const std::string problem = count_problem(maxy, maxl, maxg);
    if (!problem.empty()) throw Failure(kExitBad, problem);
}

std::string plural(long n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

std::string gap_message(const Settings& s, const Table& t, const proximity::Result& r) {
    const proximity::Gap& g = r.gaps.front();
    const std::string& year = t.years[static_cast<std::size_t>(g.year)];
    const std::string& a = t.locations[static_cast<std::size_t>(g.first)];
    const std::string& b = t.locations[static_cast<std::size_t>(g.second)];
    const int n = s.measure.min_common;
    std::string m = s.table + ": locations " + a + " and " + b + ", both retained in " + year + ", have no year " +
                    (s.measure.cumulative ? "up to " : "") + year + " that gives them a proximity: ";
    if (g.most_common < n)
        m += "they share at most " + std::to_string(g.most_common) + " genotypes, fewer than --min-common " +
             std::to_string(n);
    else
        m += "where they share " + std::to_string(n) + " or more genotypes, one has the same value for all of them";
    m += "; ";
    if (g.most_common < n && g.most_common >= 2) m += "give --min-common " + std::to_string(g.most_common) + ", or ";
    m += "leave one of them out of " + year + " in the table";
    if (r.gaps.size() > 1) m += " (and " + plural(static_cast<long>(r.gaps.size() - 1), "more such pair", "more such pairs") + ")";
    return m;
}

// Writes the two files under temporary names and renames them into place.
void write_job(const Settings& s, const std::string& title, const Table& t, const Naming& names,
               const proximity::Result& r) {
    const std::string ema_path = s.job + ".EMA", naq_path = s.job + ".NAQ";
    process::StoredFiles files;
    std::string why;
    const int ema_fd = files.create(ema_path, why);
    if (ema_fd < 0) throw Failure(kExitFile, "cannot write " + ema_path + ": " + why);
    const int naq_fd = files.create(naq_path, why);
    if (naq_fd < 0) throw Failure(kExitFile, "cannot write " + naq_path + ": " + why);
    const auto maxy = static_cast<std::int32_t>(t.years.size());
    const auto maxl = static_cast<std::int32_t>(t.locations.size());
    const auto maxg = static_cast<std::int32_t>(t.genotypes.size());
    try {
        OutStream ema;
        ema.bind(kUnitEma, ema_path, ema_fd, false);
        write(ema, kRunHeader, {maxy, maxl, maxg, 1, maxy});
        write(ema, layouts::kTitle, {std::string_view(title)});
        const std::array<char, 4> letters = proximity::option_letters(s.measure);
        write(ema, layouts::kOptions,
              {std::string_view(&letters[0], 1), std::string_view(&letters[1], 1), std::string_view(&letters[2], 1),
               std::string_view(&letters[3], 1)});
        std::vector<std::int32_t> elim(static_cast<std::size_t>(maxl));
        std::vector<float> row;
        for (std::size_t k = 0; k < r.years.size(); ++k) {
            const proximity::YearMatrix& m = r.years[k];
            if (m.retained.empty()) continue;
            write(ema, layouts::kYearRecord, {static_cast<int>(k) + 1, names.years[k]});
            write(ema, kCount, {static_cast<int>(m.retained.size())});
            std::fill(elim.begin(), elim.end(), 0);
            for (int l : m.retained) elim[static_cast<std::size_t>(l)] = 1;
            write(ema, kElimination, {Out::ints(elim.data(), elim.size())});
            for (std::size_t i = 0; i < m.retained.size(); ++i) {
                row.clear();
                // Each value is rounded to single precision here, once.
                for (std::size_t j = 0; j < i; ++j) row.push_back(static_cast<float>(m.lower[i * (i - 1) / 2 + j]));
                row.push_back(0.0f);  // the diagonal closes the row
                write(ema, layouts::kMatrixRow,
                      {static_cast<int>(i) + 1, names.locations[static_cast<std::size_t>(m.retained[i])],
                       Out::reals(row.data(), row.size())});
            }
        }
        ema.flush();

        OutStream naq;
        naq.bind(kUnitNaq, naq_path, naq_fd, false);
        write(naq, layouts::kNameHeading, {std::string_view(cut_utf8("NAMES: " + title, 50))});
        write(naq, kCounts, {maxy, maxl, maxg});
        for (const Name& n : names.years) write(naq, layouts::kName, {n});
        for (const Name& n : names.locations) write(naq, layouts::kName, {n});
        naq.flush();
    } catch (const RunStop& e) {
        throw Failure(kExitFile, e.what());
    }
    why = files.commit();
    if (!why.empty()) throw Failure(kExitFile, "cannot store " + ema_path + " and " + naq_path + ": " + why);
}

void work(const Settings& s, std::string& out, std::string& err) {
    for (const std::string& n : s.notes) err += "seqord-prep: note: " + n + "\n";
    if (!s.force)
        for (const char* ext : {".EMA", ".NAQ"})
            if (exists(s.job + ext))
                throw Failure(kExitBad, s.job + ext + " exists already; give --force to replace it");

    const Renames renames = s.renames.empty() ? Renames{} : read_renames(s.renames);
    const Table t = read_table(s.table, s.columns);
    std::vector<std::string> unused;
    const Naming names = fit_names(t, renames, unused);
    for (const std::string& n : names.notes) err += "seqord-prep: note: " + n + "\n";
    if (!names.clashes.empty()) throw Failure(kExitBad, names.clashes);
    for (const std::string& u : unused)
        err += "seqord-prep: warning: " + s.renames + ": no year or location is named '" + u + "'\n";
    check_workspace(static_cast<std::int64_t>(t.years.size()), static_cast<std::int64_t>(t.locations.size()),
                    static_cast<std::int64_t>(t.genotypes.size()));

    const proximity::Result r = proximity::compute(t.means, static_cast<int>(t.locations.size()), s.measure);
    for (const proximity::ConstantLocation& c : r.constant)
        err += "seqord-prep: warning: " + s.table + ": location " + t.locations[static_cast<std::size_t>(c.location)] +
               " has the same value for every genotype it shares with another location in " +
               t.years[static_cast<std::size_t>(c.year)] + ": that year gives those pairs no proximity\n";
    if (!r.gaps.empty()) throw Failure(kExitBad, gap_message(s, t, r));
    if (std::all_of(r.years.begin(), r.years.end(), [](const proximity::YearMatrix& m) { return m.retained.empty(); }))
        throw Failure(kExitBad, s.table + ": no location has " + std::to_string(s.measure.min_common) +
                                    " or more genotype means in any year (--min-common)");

    std::string title = s.has_title ? s.title : base_name(s.table) + ": " + describe(s.measure);
    if (title.size() > 50) {
        title = cut_utf8(title, 50);
        if (s.has_title) err += "seqord-prep: note: the title is cut to 50 characters: " + title + "\n";
    }
    write_job(s, title, t, names, r);

    out += "seqord-prep: read " + s.table + ": " + plural(t.rows, "row", "rows") + ", " +
           plural(t.missing, "missing value", "missing values") + " skipped, ";
    out += t.replicated_cells == 0 ? std::string("no replicates")
                                   : std::to_string(t.replicate_rows) + " rows averaged into " +
                                         plural(t.replicated_cells, "mean", "means");
    out += "\nseqord-prep: " + plural(static_cast<long>(t.years.size()), "year", "years") + ", " +
           plural(static_cast<long>(t.locations.size()), "location", "locations") + ", " +
           plural(static_cast<long>(t.genotypes.size()), "genotype", "genotypes") + "; " + describe(s.measure) + "\n";
    for (std::size_t k = 0; k < r.years.size(); ++k)
        out += "  year " + t.years[k] + ": " + std::to_string(r.years[k].retained.size()) + " of " +
               std::to_string(t.locations.size()) + " locations retained\n";
    out += "seqord-prep: wrote " + s.job + ".EMA and " + s.job + ".NAQ\n";
}

}  // namespace

std::string count_problem(std::int64_t years, std::int64_t locations, std::int64_t genotypes) {
    // The run header's fields are six digits wide.
    constexpr std::int64_t kField = 999999;
    auto count = [](std::int64_t n, const char* one, const char* many) {
        return std::to_string(n) + " " + (n == 1 ? one : many);
    };
    if (genotypes > kField)
        return "the table has " + count(genotypes, "genotype", "genotypes") + ", more than the " +
               std::to_string(kField) + " that the run header of the job can hold";
    using job::Workspace;
    auto shortfall = [](std::int64_t y, std::int64_t l) {
        const job::Required r = job::required_sizes(y, l);
        std::string s;
        auto check = [&](const char* area, std::int64_t need, std::int64_t have) {
            if (need <= have) return;
            s += std::string(s.empty() ? "" : "; ") + "its " + area + " area " + std::to_string(need) +
                 " elements, " + std::to_string(need - have) + " more than its " + std::to_string(have);
        };
        check("DZ", r.dz, Workspace::kDZ);
        check("Z", r.z, Workspace::kZ);
        check("MZ", r.mz, Workspace::kMZ);
        check("AZ", r.az, Workspace::kAZ);
        return s;
    };
    const std::string need = shortfall(years, locations);
    if (need.empty()) return {};
    // What fits: the most years at this many locations, the most locations
    // in one year (the areas grow with both counts).
    auto most = [&](auto fits) {
        std::int64_t lo = 0, hi = 1000000;
        while (lo < hi) {
            const std::int64_t mid = (lo + hi + 1) / 2;
            if (fits(mid)) lo = mid;
            else hi = mid - 1;
        }
        return lo;
    };
    const std::int64_t most_years = most([&](std::int64_t y) { return shortfall(y, locations).empty(); });
    const std::int64_t most_locations = most([&](std::int64_t l) { return shortfall(1, l).empty(); });
    std::string m = "the table has " + count(years, "year", "years") + " and " +
                    count(locations, "location", "locations") + ", more than seqord's workspace holds (" + need +
                    "): ";
    if (most_years >= 1)
        m += "it holds at most " + count(most_years, "year", "years") + " at " +
             count(locations, "location", "locations") + " (" + count(most_locations, "location", "locations") +
             " in one year); split the table, for instance by years";
    else
        m += "it holds at most " + count(most_locations, "location", "locations") +
             " in one year; split the table, for instance by groups of locations";
    return m;
}

int run(int argc, const char* const* argv, std::string& out, std::string& err) {
    const process::ParsedArgs a = process::parse_args(argc, argv, kOptions);
    if (a.problem.empty() && a.has("help")) {
        out += kHelp;
        return kExitDone;
    }
    if (a.problem.empty() && a.has("version")) {
        out += "seqord-prep " SEQORD_VERSION "\n";
        return kExitDone;
    }
    Settings s;
    try {
        if (!a.problem.empty()) throw Failure(kExitBad, a.problem);
        s = parse(a);
    } catch (const Failure& f) {
        err += "seqord-prep: error: " + std::string(f.what()) + "\n";
        err += kUsageHint;
        return f.status();
    }
    try {
        work(s, out, err);
    } catch (const Failure& f) {
        err += "seqord-prep: error: " + std::string(f.what()) + "\n";
        return f.status();
    }
    return kExitDone;
}

}  // namespace seqord::prep
