// The command line of seqord-prep, the checks before anything is written,
// the writing of JOB.EMA and JOB.NAQ, and the summary.
#include <sys/stat.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "input/input.h"
#include "main/job.h"
#include "motion/names.h"
#include "prep.h"
#include "process/process.h"

#ifndef SEQORD_VERSION
#define SEQORD_VERSION "unknown"
#endif

namespace seqord::prep {

namespace {

// Units of the two files written (the program's own numbers).
constexpr int kUnitEma = 40, kUnitNaq = 41, kUnitNames = 42;

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
    "  --scale F             multiply every genotype mean by F (default 1): shrinks the centred\n"
    "                        SED, which grows with the square of F, for seqord's fields\n"
    "  --title TEXT          the job title (default: TABLE's name and the measure), 50 characters\n"
    "  --rename FILE         short names by hand: a table of two columns, long,short\n"
    "  --force               replace JOB.EMA, JOB.NAQ and JOB.names.csv when they exist\n"
    "JOB.names.csv, written with them, keeps the full names and these settings for\n"
    "seqord-plot and seqord-export.\n"
    "Names longer than 8 characters are cut (each cut is reported on standard error).\n"
    "Exit status: 0 files written, 1 a file could not be read or written, 2 a bad table\n"
    "or command line (nothing is written then).\n";

constexpr process::Option kOptions[] = {
    {"help", 'h', false},     {"version", 'V', false},  {"year", 0, true},       {"location", 0, true},
    {"genotype", 0, true},    {"value", 0, true},       {"measure", 0, true},    {"sed", 0, true},
    {"cor-average", 0, true}, {"weighted", 0, false},   {"per-year", 0, false},  {"min-common", 0, true},
    {"title", 0, true},       {"rename", 0, true},      {"force", 0, false},     {"scale", 0, true},
};

struct Settings {
    Columns columns;
    proximity::Settings measure;
    double scale = 1.0;
    std::string scale_text;  // as given; empty: the default 1
    std::string title;       // empty: the default
    bool has_title = false;
    std::string renames;
    bool force = false;
    std::string table, job;
    std::vector<std::string> notes;
};

// What the settings compute, as the title and the summary say it.
std::string describe(const Settings& settings) {
    const proximity::Settings& s = settings.measure;
    std::string d = s.measure == proximity::Measure::sed
                        ? std::string("SED, ") + (s.scaling == proximity::Scaling::standardised ? "standardised" : "centred")
                        : std::string("COR, ") + (s.average == proximity::Average::z ? "z average" : "normal average");
    if (s.weighting == proximity::Weighting::weighted) d += ", weighted";
    d += s.cumulative ? ", cumulative" : ", per year";
    if (!settings.scale_text.empty()) d += ", scale " + settings.scale_text;
    return d;
}

bool centred_sed(const proximity::Settings& s) {
    return s.measure == proximity::Measure::sed && s.scaling == proximity::Scaling::centred;
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
    if (const std::string* v = value("scale")) {
        // A whole number, a decimal or an exponent form: 1000, 0.001, 1e-3.
        const char* b = v->c_str();
        char* end = nullptr;
        const double f = v->empty() || v->front() == ' ' ? 0.0 : std::strtod(b, &end);
        if (end != b + v->size() || !std::isfinite(f) || !(f > 0.0) || v->find_first_of("xXnN") != std::string::npos)
            bad("--scale is a positive number (1000, 0.001, 1e-3), not '" + *v + "'");
        s.scale = f;
        if (f != 1.0) s.scale_text = *v;
        if (!centred_sed(s.measure))
            s.notes.push_back("--scale leaves the standardised SED and COR as they are: they do not depend on the "
                              "unit of the values");
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
    // seqord's own rule for the job names it is given, with its message.
    if (const std::string problem = job::job_name_problem(s.job); !problem.empty()) bad(problem);
    // seqord drops blanks around a typed file name: JOB.EMA would be read
    // for "JOB ", not the file "JOB .EMA" written here.
    if (s.job.front() == ' ' || s.job.back() == ' ')
        bad("the job name '" + s.job + "' begins or ends with a blank, which seqord drops from a file name: it "
            "would not find the files written under this name");
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

std::string plural(long n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

// "a", "a and b", "a, b and c"
std::string listed(const std::vector<std::string>& items) {
    std::string s;
    for (std::size_t i = 0; i < items.size(); ++i) s += (i == 0 ? "" : i + 1 < items.size() ? ", " : " and ") + items[i];
    return s;
}

// Refuses an output that is one of the inputs: the same device and inode,
// whatever links or other spellings lead to it, as seqord compares its
// files.  Checked before anything is read or written.
void check_outputs_are_not_inputs(const Settings& s) {
    const struct {
        const std::string& path;
        const char* what;
    } inputs[] = {{s.table, "the table"}, {s.renames, "the --rename file"}};
    for (const char* ext : {".EMA", ".NAQ", ".names.csv"}) {
        struct stat out {};
        if (::stat((s.job + ext).c_str(), &out) != 0) continue;
        for (const auto& in : inputs) {
            struct stat st {};
            if (in.path.empty() || ::stat(in.path.c_str(), &st) != 0) continue;
            if (st.st_dev == out.st_dev && st.st_ino == out.st_ino)
                throw Failure(kExitBad, s.job + ext + " is " + in.what + " " + in.path +
                                            " itself (the same file): the job would be written over it; give "
                                            "another job name");
        }
    }
}

// Year labels that are one number written in different ways (2019, 2019.0,
// +2019, 02019) are different years of the job: one warning per number.
std::vector<std::string> same_number_years(const std::vector<std::string>& years) {
    std::map<double, std::vector<std::string>> by_value;
    for (const std::string& y : years) {
        const char* b = y.data() + (!y.empty() && y.front() == '+' ? 1 : 0);
        const char* e = y.data() + y.size();
        double v = 0;
        const auto r = std::from_chars(b, e, v);
        if (b != e && r.ec == std::errc() && r.ptr == e && std::isfinite(v)) by_value[v].push_back(y);
    }
    std::vector<std::string> warnings;
    for (const auto& [value, labels] : by_value)
        if (labels.size() > 1)
            warnings.push_back("years " + listed(labels) + " are the same number written " +
                               (labels.size() == 2 ? "two ways" : "in different ways") +
                               ": they are kept apart as different years; write them alike in the table to make "
                               "them one");
    return warnings;
}

// The largest eigenvalue that seqord's F10.3 fields print (999999.999),
// with a margin of 1e-5 for the single precision that seqord computes in.
constexpr double kLargestPrinted = 999999.999 * (1.0 - 1e-5);

// "--scale F": the present scale times 10^-k.
std::string scale_advice(const Settings& s, int k) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", s.scale * std::pow(10.0, -k));
    return std::string("--scale ") + text;
}
// The least k > 0 that brings a quantity now of 10^log10_now, which changes
// with the square of the scale, below kLargestPrinted by a scale of 10^-k.
int powers_of_ten_needed(double log10_now) {
    const double over = log10_now - std::log10(kLargestPrinted);
    return std::max(1, static_cast<int>(std::floor(over / 2.0)) + 1);
}

// Refuses a centred SED that single precision, as .EMA holds it, cannot
// hold (infinity is written then, which seqord refuses).
void check_single_precision(const Settings& s, const Table& t, const proximity::Result& r) {
    for (std::size_t k = 0; k < r.years.size(); ++k) {
        const proximity::YearMatrix& m = r.years[k];
        for (std::size_t i = 1; i < m.retained.size(); ++i)
            for (std::size_t j = 0; j < i; ++j) {
                const double v = m.lower[i * (i - 1) / 2 + j];
                if (!std::isinf(static_cast<float>(v)) && !std::isnan(v)) continue;
                // Advice that also keeps the eigenvalues printable: they are
                // at most 2 n times the largest value, and that value at most
                // (4 M)^2 for the largest mean M in magnitude.
                double top = 0;
                for (const proximity::YearMeans& y : t.means)
                    for (const auto& cells : y)
                        for (const proximity::Cell& c : cells) top = std::max(top, std::fabs(c.mean));
                const double log10_value = std::isfinite(v) ? std::log10(v) : 2.0 * std::log10(4.0 * top);
                const double log10_n = std::log10(2.0 * static_cast<double>(m.retained.size()));
                std::string shown = "beyond double precision";
                if (std::isfinite(v)) {
                    char text[32];
                    std::snprintf(text, sizeof text, "%.3g", v);
                    shown = text;
                }
                throw Failure(kExitBad, s.table + ": the centred SED of locations " +
                                            t.locations[static_cast<std::size_t>(m.retained[j])] + " and " +
                                            t.locations[static_cast<std::size_t>(m.retained[i])] + " in " +
                                            t.years[k] + " is " + shown +
                                            ", more than the single precision of .EMA holds (3.4e+38); give " +
                                            scale_advice(s, powers_of_ten_needed(log10_value + log10_n)) +
                                            " (the centred SED changes with the square of the factor)");
            }
    }
}

// Warns when a year's largest eigenvalue, or the sum of the eigenvalues
// seqord keeps, would print as asterisks in seqord's F10.3 fields, naming
// the years and a --scale that fits them all.
std::string eigenvalue_warning(const Settings& s, const Table& t, const proximity::Result& r) {
    std::vector<std::string> years;
    double top = 0.0;
    std::vector<double> rounded;
    for (std::size_t k = 0; k < r.years.size(); ++k) {
        const proximity::YearMatrix& m = r.years[k];
        // The values as .EMA holds them, rounded to single precision.
        rounded.assign(m.lower.begin(), m.lower.end());
        for (double& v : rounded) v = static_cast<double>(static_cast<float>(v));
        const double year_top = proximity::eigen_report_top(rounded, m.retained.size(), kLargestPrinted);
        if (year_top < kLargestPrinted) continue;
        years.push_back(t.years[k]);
        top = std::max(top, year_top);
    }
    if (years.empty()) return {};
    std::string w = std::string("the largest eigenvalue of ") + (years.size() == 1 ? "year " : "years ") +
                    listed(years) +
                    ", or the sum of the eigenvalues kept, would exceed 999999.999, which seqord prints as "
                    "asterisks (F10.3); give " +
                    scale_advice(s, powers_of_ten_needed(std::log10(top)));
    if (centred_sed(s.measure)) w += " (the centred SED changes with the square of the factor)";
    return w;
}

// Locations with some genotype means in a year, but fewer than
// --min-common: left out of that year.  One line per year.
std::vector<std::string> dropped_locations(const Settings& s, const Table& t) {
    std::vector<std::string> lines;
    const std::size_t least = static_cast<std::size_t>(s.measure.min_common);
    for (std::size_t k = 0; k < t.means.size(); ++k) {
        std::vector<std::string> dropped;
        for (std::size_t l = 0; l < t.means[k].size(); ++l) {
            const std::size_t n = t.means[k][l].size();
            if (n > 0 && n < least) dropped.push_back(t.locations[l] + " (" + std::to_string(n) + ")");
        }
        if (!dropped.empty())
            lines.push_back(s.table + ": left out of " + t.years[k] + " for fewer genotype means than --min-common " +
                            std::to_string(least) + ": " + listed(dropped));
    }
    return lines;
}

// Refuses a job that the run header or seqord's workspace cannot hold.
void check_workspace(std::int64_t maxy, std::int64_t maxl, std::int64_t maxg) {
    const std::string problem = count_problem(maxy, maxl, maxg);
    if (!problem.empty()) throw Failure(kExitBad, problem);
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
        m += "they share at most " + plural(g.most_common, "genotype", "genotypes") + ", fewer than --min-common " +
             std::to_string(n);
    else
        m += "where they share " + std::to_string(n) + " or more genotypes, one has the same value for all of them";
    m += "; ";
    if (g.most_common < n && g.most_common >= 2) m += "give --min-common " + std::to_string(g.most_common) + ", or ";
    m += "leave one of them out of " + year + " in the table";
    if (r.gaps.size() > 1) m += " (and " + plural(static_cast<long>(r.gaps.size() - 1), "more such pair", "more such pairs") + ")";
    return m;
}

// The names file: the full names behind the short ones, and the settings.
names::JobNames names_file(const Settings& s, const std::string& title, const Table& t, const Naming& names) {
    names::JobNames n;
    auto short_name = [](const Name& x) {
        std::string v(x.view());
        while (!v.empty() && v.back() == ' ') v.pop_back();
        return v;
    };
    for (std::size_t k = 0; k < t.years.size(); ++k) {
        n.year_short.push_back(short_name(names.years[k]));
        n.year_full.push_back(t.years[k]);
    }
    for (std::size_t l = 0; l < t.locations.size(); ++l) {
        n.location_short.push_back(short_name(names.locations[l]));
        n.location_full.push_back(t.locations[l]);
    }
    const proximity::Settings& m = s.measure;
    n.settings = {
        {"measure", m.measure == proximity::Measure::sed ? "sed" : "cor"},
        {"sed", m.scaling == proximity::Scaling::standardised ? "standardised" : "centred"},
        {"cor_average", m.average == proximity::Average::z ? "z" : "normal"},
        {"weighting", m.weighting == proximity::Weighting::weighted ? "weighted" : "equal"},
        {"years", m.cumulative ? "cumulative" : "per-year"},
        {"min_common", std::to_string(m.min_common)},
        {"scale", s.scale_text.empty() ? "1" : s.scale_text},
        {"title", title},
    };
    return n;
}

// Writes the three files under temporary names and renames them into place.
void write_job(const Settings& s, const std::string& title, const Table& t, const Naming& names,
               const proximity::Result& r) {
    const std::string ema_path = s.job + ".EMA", naq_path = s.job + ".NAQ", names_path = names::path_of(s.job);
    process::StoredFiles files;
    std::string why;
    const int ema_fd = files.create(ema_path, why);
    if (ema_fd < 0) throw Failure(kExitFile, "cannot write " + ema_path + ": " + why);
    const int naq_fd = files.create(naq_path, why);
    if (naq_fd < 0) throw Failure(kExitFile, "cannot write " + naq_path + ": " + why);
    const int names_fd = files.create(names_path, why);
    if (names_fd < 0) throw Failure(kExitFile, "cannot write " + names_path + ": " + why);
    const auto maxy = static_cast<std::int32_t>(t.years.size());
    const auto maxl = static_cast<std::int32_t>(t.locations.size());
    const auto maxg = static_cast<std::int32_t>(t.genotypes.size());
    const std::string* writing = &ema_path;
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

        writing = &naq_path;
        OutStream naq;
        naq.bind(kUnitNaq, naq_path, naq_fd, false);
        write(naq, layouts::kNameHeading, {std::string_view(cut_utf8("NAMES: " + title, 50))});
        write(naq, kCounts, {maxy, maxl, maxg});
        for (const Name& n : names.years) write(naq, layouts::kName, {n});
        for (const Name& n : names.locations) write(naq, layouts::kName, {n});
        naq.flush();

        OutStream table;
        table.bind(kUnitNames, names_path, names_fd, false);
        names::write(table, names_file(s, title, t, names));
        table.flush();
    } catch (const RunStop& e) {
        // The record layer's report names its condition number and unit;
        // what a user of this program needs is the file and the system's
        // reason, which ends the report in parentheses.
        const std::string report = e.what();
        std::string reason = "the write failed";
        if (const std::size_t open = report.rfind(" ("); open != std::string::npos && report.back() == ')')
            reason = report.substr(open + 2, report.size() - open - 3);
        throw Failure(kExitFile, "cannot write " + *writing + ": " + reason);
    }
    why = files.commit();
    if (!why.empty())
        throw Failure(kExitFile, "cannot store " + ema_path + ", " + naq_path + " and " + names_path + ": " + why +
                                     "; " + (files.left().empty() ? "none is written" : "what is left: " + files.left()));
}

void work(const Settings& s, std::string& out, std::string& err) {
    for (const std::string& n : s.notes) err += "seqord-prep: note: " + n + "\n";
    check_outputs_are_not_inputs(s);
    if (!s.force)
        for (const char* ext : {".EMA", ".NAQ", ".names.csv"})
            if (exists(s.job + ext))
                throw Failure(kExitBad, s.job + ext + " exists already; give --force to replace it");

    const Renames renames = s.renames.empty() ? Renames{} : read_renames(s.renames);
    Table t = read_table(s.table, s.columns);
    for (const std::string& w : same_number_years(t.years)) err += "seqord-prep: warning: " + s.table + ": " + w + "\n";
    std::vector<std::string> unused;
    const Naming names = fit_names(t, renames, unused);
    for (const std::string& n : names.notes) err += "seqord-prep: note: " + n + "\n";
    if (!names.clashes.empty())
        throw Failure(kExitBad, names.clashes + (names.clash_renamed
                                                     ? "; the short names come from " + s.renames +
                                                           ": give each its own short name there"
                                                     : "; name them by hand with --rename FILE (a table of two "
                                                       "columns, long,short)"));
    for (const std::string& u : unused)
        err += "seqord-prep: warning: " + s.renames + ": no year or location is named '" + u + "'\n";
    check_workspace(static_cast<std::int64_t>(t.years.size()), static_cast<std::int64_t>(t.locations.size()),
                    static_cast<std::int64_t>(t.genotypes.size()));

    if (s.scale != 1.0)
        for (proximity::YearMeans& y : t.means)
            for (auto& cells : y)
                for (proximity::Cell& c : cells) {
                    c.mean *= s.scale;
                    if (!std::isfinite(c.mean))
                        throw Failure(kExitBad, s.table + ": --scale " + s.scale_text +
                                                    " carries a genotype mean beyond double precision");
                }
    for (const std::string& d : dropped_locations(s, t)) err += "seqord-prep: warning: " + d + "\n";
    const proximity::Result r = proximity::compute(t.means, static_cast<int>(t.locations.size()), s.measure);
    for (const proximity::ConstantLocation& c : r.constant)
        err += "seqord-prep: warning: " + s.table + ": location " + t.locations[static_cast<std::size_t>(c.location)] +
               " has the same value for every genotype it shares with another location in " +
               t.years[static_cast<std::size_t>(c.year)] + ": that year gives those pairs no proximity\n";
    if (!r.gaps.empty()) throw Failure(kExitBad, gap_message(s, t, r));
    if (std::all_of(r.years.begin(), r.years.end(), [](const proximity::YearMatrix& m) { return m.retained.empty(); }))
        throw Failure(kExitBad, s.table + ": no location has " + std::to_string(s.measure.min_common) +
                                    " or more genotype means in any year (--min-common)");
    check_single_precision(s, t, r);
    if (const std::string w = eigenvalue_warning(s, t, r); !w.empty()) err += "seqord-prep: warning: " + w + "\n";

    std::string title = s.has_title ? s.title : base_name(s.table) + ": " + describe(s);
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
           plural(static_cast<long>(t.genotypes.size()), "genotype", "genotypes") + "; " + describe(s) + "\n";
    for (std::size_t k = 0; k < r.years.size(); ++k)
        out += "  year " + t.years[k] + ": " + std::to_string(r.years[k].retained.size()) + " of " +
               plural(static_cast<long>(t.locations.size()), "location", "locations") + " retained\n";
    out += "seqord-prep: wrote " + s.job + ".EMA, " + s.job + ".NAQ and " + names::path_of(s.job) + "\n";
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
