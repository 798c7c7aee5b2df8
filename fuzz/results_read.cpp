// fuzz_results_read: the readers of seqord's result files (.ORP, .POR, .ORS,
// .SOR) on arbitrary text, and the checks that the files are of one run.
//
// The input holds up to four files, separated by kResultsSeparator lines, in
// the order .ORP, .POR, .ORS, .SOR.  Each is read by its reader from an
// in-memory file; a reader must return or throw results::InputError whose
// message names the file and stays short.  When all four read, the checks
// that join them run too, under the same rule.
#include <string>
#include <string_view>
#include <vector>

#include "fuzz.h"
#include "results/results.h"

namespace seqord::fuzz {

namespace {

// The in-memory file's path, which the readers open like any other.
std::string path_of(const MemFile& f) { return "/proc/self/fd/" + std::to_string(f.fd()); }

// Runs `read`, noting in `r` what a reader must not do; true when it read.
template <class Read>
bool expect_read(Result& r, const std::string& path, const char* what, Read read) {
    try {
        read();
        return true;
    } catch (const results::InputError& e) {
        const std::string_view m = e.what();
        if (m.substr(0, path.size()) != path) r.fail(std::string(what) + ": a message that does not name its file: " + e.what());
        // A message quotes at most an excerpt of a line, and a few names.
        if (m.size() > 2000) r.fail(std::string(what) + ": a message of " + std::to_string(m.size()) + " characters");
        ++r.stops;
    } catch (const std::exception& e) {
        r.fail(std::string(what) + ": an exception other than InputError: " + e.what());
    }
    return false;
}

}  // namespace

Result results_read(const std::uint8_t* data, std::size_t size) {
    Result r;
    const std::string_view all(reinterpret_cast<const char*>(data), size);
    std::vector<std::string_view> parts;
    for (std::size_t at = 0;;) {
        const std::size_t sep = all.find(kResultsSeparator, at);
        if (sep == std::string_view::npos || parts.size() == 3) {
            parts.push_back(all.substr(at));
            break;
        }
        parts.push_back(all.substr(at, sep - at));
        at = sep + kResultsSeparator.size();
    }
    parts.resize(4);
    const MemFile orp_file(parts[0]), por_file(parts[1]), ors_file(parts[2]), sor_file(parts[3]);
    const std::string orp = path_of(orp_file), por = path_of(por_file), ors = path_of(ors_file),
                      sor = path_of(sor_file);

    std::vector<results::Year> years;
    std::vector<results::Pair> pairs;
    results::Summary summary;
    results::Report report;
    const bool have_years = expect_read(r, orp, "read_years", [&] { years = results::read_years(orp); });
    const bool have_pairs = expect_read(r, por, "read_pairs", [&] { pairs = results::read_pairs(por); });
    const bool have_summary = expect_read(r, ors, "read_summary", [&] { summary = results::read_summary(ors); });
    const bool have_report = expect_read(r, sor, "read_report", [&] { report = results::read_report(sor); });

    // What the readers promise of what they return.
    for (std::size_t i = 0; i < years.size(); ++i) {
        if (i > 0 && years[i].head.index != years[i - 1].head.index + 1) r.fail("read_years: years not one by one");
        for (std::size_t k = 1; k < years[i].points.size(); ++k)
            if (years[i].points[k].location <= years[i].points[k - 1].location)
                r.fail("read_years: locations not in increasing order");
    }
    for (const results::SummaryYear& y : summary.years) {
        if (y.flags.size() != std::size_t(summary.maxl)) r.fail("read_summary: an elimination vector not of MAXL flags");
        if (y.scores.size() != std::size_t(y.locations)) r.fail("read_summary: not NL score rows");
    }
    if (have_report && report.iyf > report.iys &&
        report.correlations.size() != std::size_t(std::int64_t(report.iyf) - report.iys))
        r.fail("read_report: not a correlation row per pair of years");

    std::vector<std::string> warnings;
    if (have_years && have_pairs)
        expect_read(r, por, "check_pairs_fit", [&] { results::check_pairs_fit(years, pairs, por, warnings); });
    if (have_years && have_summary && have_report) {
        const results::RunFiles files{sor, ors, orp};
        try {
            results::check_one_run(report, summary, years, files, warnings);
        } catch (const results::InputError& e) {
            const std::string_view m = e.what();
            if (m.substr(0, sor.size()) != sor && m.substr(0, ors.size()) != ors && m.substr(0, orp.size()) != orp)
                r.fail(std::string("check_one_run: a message that names none of the files: ") + e.what());
            ++r.stops;
        } catch (const std::exception& e) {
            r.fail(std::string("check_one_run: an exception other than InputError: ") + e.what());
        }
    }
    return r;
}

}  // namespace seqord::fuzz
