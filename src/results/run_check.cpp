// Whether the result files of a job are of one run: the report and the
// summary year by year, and the points of each year (.ORP) against the
// scores that the summary lists and the reversals that the report's
// correlation table records.
//
// seqord writes a year's aligned points from the scores of the last year
// record of that index: the locations its elimination vector flags (any
// positive flag), the m-th location flagged 1 getting the m-th score row,
// each axis turned where the correlation with the year before is negative.
// Both files print the same single-precision value to the same number of
// decimals, so the two prints agree to within one unit of that decimal.
#include <cmath>
#include <map>

#include "output/output.h"
#include "results/fields.h"

namespace seqord::results {

namespace {

using detail::columns;
using detail::Columns;

// The point record's value fields (F8.3) and the score row's (F10.3).
constexpr Columns kPoint = columns(layouts::P1);
constexpr Columns kScore = columns(layouts::R10);
static_assert(kPoint[3].kind == Item::F && kScore[2].kind == Item::F && kPoint[3].d == kScore[2].d);
constexpr std::size_t kPointWidth = kPoint[3].w;
constexpr int kDecimals = kPoint[3].d;

const std::string kSame = "; are the files from the same run?";

std::string year_text(std::int32_t index, const Name& name) {
    return std::to_string(index) + " (" + std::string(shown(name)) + ")";
}

// How an axis of a year was turned: +1 kept, -1 reversed, 0 not known from
// the report (a correlation printed as 0.000 may have been a small negative
// one, and one printed as asterisks has no sign).
int turn_of(const Printed& r) {
    if (!r.known() || r.value == 0.0f) return 0;
    return r.value < 0.0f ? -1 : 1;
}

// Whether the score printed as `score` in the summary prints as asterisks
// in a point record once given `sign` (0: either sign).
bool too_wide_for_point(const Printed& score, int sign) {
    std::string_view t = score.text;
    const bool negative = !t.empty() && t.front() == '-';
    if (!t.empty() && (t.front() == '-' || t.front() == '+')) t.remove_prefix(1);
    const bool zero = t.find_first_of("123456789") == std::string_view::npos;
    // A value that prints as zero shows no minus; its leading zero goes first
    // when room is short.
    const std::size_t digits = t.size() - (t.size() >= 2 && t[0] == '0' && t[1] == '.' ? 1 : 0);
    auto wide = [&](bool neg) { return digits + (neg && !zero ? 1 : 0) > kPointWidth; };
    if (sign == 0) return wide(negative) || wide(!negative);
    return wide(sign < 0 ? !negative : negative);
}

// The distance between neighbouring floats at v.
double gap(float v) {
    const float a = std::fabs(v);
    return double(std::nextafter(a, INFINITY)) - double(a);
}

// Whether the point record's value `point` can be the print of the score
// `score` given `sign` (0: either sign).
bool agrees(const Printed& point, const Printed& score, int sign) {
    if (!score.known()) return !point.known();  // wider than the score's field: wider than the point's
    if (!point.known()) return too_wide_for_point(score, sign);
    // Each print is within half a unit of its last decimal of the value
    // both were printed from, and each read back within half a float gap.
    const double unit = std::pow(10.0, -kDecimals);
    const double tolerance = unit * (1.0 + 1e-9) + gap(point.value) + gap(score.value);
    auto near = [&](int s) { return std::fabs(double(point.value) - s * double(score.value)) <= tolerance; };
    return sign == 0 ? near(1) || near(-1) : near(sign);
}

std::string locations_text(const std::vector<std::int32_t>& ls) {
    std::string t;
    for (std::size_t i = 0; i < ls.size() && i < 5; ++i) t += (i == 0 ? "" : ", ") + std::to_string(ls[i]);
    if (ls.size() > 5) t += " and " + std::to_string(ls.size() - 5) + " more";
    return t;
}

void check_report_and_summary(const Report& report, const Summary& summary, const RunFiles& files) {
    const std::string& sor = files.sor;
    const std::string& ors = files.ors;
    const std::string same = "; are both from the same run?";
    if (report.iys != summary.iys || report.iyf != summary.iyf)
        throw InputError(ors + ": the sequence of years " + std::to_string(summary.iys) + " to " +
                         std::to_string(summary.iyf) + " is not that of " + sor + " (" + std::to_string(report.iys) +
                         " to " + std::to_string(report.iyf) + ")" + same);
    if (report.years.size() != summary.years.size())
        throw InputError(ors + ": holds " + counted(summary.years.size(), "year record", "year records") + ", " + sor +
                         " reports " + std::to_string(report.years.size()) + same);
    for (std::size_t i = 0; i < report.years.size(); ++i) {
        const ReportYear& r = report.years[i];
        const SummaryYear& s = summary.years[i];
        bool agree = r.name == s.name && r.kept == s.kept && s.eigenvalues.size() == r.axes.size();
        for (std::size_t a = 0; agree && a < r.axes.size(); ++a) agree = r.axes[a].eigenvalue.text == s.eigenvalues[a].text;
        if (!agree)
            throw InputError(ors + ", line " + std::to_string(s.line) + ": year " + year_text(s.index, s.name) +
                             " does not agree with the year '" + std::string(shown(r.name)) + "' of " + sor +
                             ", line " + std::to_string(r.line) + " (name, number of axes or eigenvalues)" + same);
    }
}

// One year of the year file against the last year record of its index.
void check_year(const Year& y, const SummaryYear* s, const CorrelationRow* turned, const RunFiles& files,
                std::vector<std::string>& renamed) {
    const std::string& orp = files.orp;
    const std::string of = "year " + year_text(y.head.index, y.head.name);
    const std::string record = s == nullptr ? std::string()
                                            : files.ors + ", line " + std::to_string(s->line);
    // The year file names the years as the name file does, the summary as
    // the main input's year records do: a run whose two inputs disagree
    // shows both, which is worth a word but no refusal.
    if (s != nullptr && s->name != y.head.name)
        renamed.push_back(of + " (line " + std::to_string(y.head.line) + ") is '" + std::string(shown(s->name)) +
                          "' (line " + std::to_string(s->line) + ")");

    // The locations: every one flagged, in order.
    std::vector<std::int32_t> missing, extra;
    std::size_t at = 0;
    const std::size_t maxl = s == nullptr ? 0 : s->flags.size();
    for (std::size_t l = 1; l <= maxl; ++l) {
        if (s->flags[l - 1] <= 0) continue;
        while (at < y.points.size() && std::size_t(y.points[at].location) < l) extra.push_back(y.points[at++].location);
        if (at < y.points.size() && std::size_t(y.points[at].location) == l) ++at;
        else missing.push_back(std::int32_t(l));
    }
    for (; at < y.points.size(); ++at) extra.push_back(y.points[at].location);
    if (!missing.empty() || !extra.empty()) {
        std::string m = orp + ", line " + std::to_string(y.head.line) + ": " + of + " has " +
                        counted(y.points.size(), "point record", "point records") + ", but ";
        m += s == nullptr ? "the run has no year record of index " + std::to_string(y.head.index) + " (" + files.ors + ")"
                          : "its year record (" + record + ") retains " +
                                counted(y.points.size() + missing.size() - extra.size(), "location", "locations");
        if (!missing.empty()) m += "; no point for location " + locations_text(missing);
        if (!extra.empty()) m += "; a point for location " + locations_text(extra) + ", which it does not retain";
        throw InputError(m + kSame);
    }
    if (s == nullptr) return;

    // The points: the m-th location flagged 1 is the m-th score row (rows
    // beyond NL, and axes the year did not keep, hold nothing of this year).
    std::size_t m = 0;
    const std::size_t axes = std::min<std::size_t>(4, std::size_t(std::max(0, s->kept)));
    for (const PointRecord& p : y.points) {
        if (s->flags[std::size_t(p.location) - 1] != 1) continue;
        if (++m > s->scores.size()) break;
        const std::vector<Printed>& row = s->scores[m - 1];
        for (std::size_t k = 0; k < axes && k < row.size(); ++k) {
            const int sign = turned == nullptr ? 1 : turn_of(turned->r[k]);
            if (agrees(p.axis[k], row[k], sign)) continue;
            const auto shown_value = [](const Printed& v) { return v.known() ? v.text : std::string("asterisks"); };
            std::string how = sign == 0   ? "either way round"
                              : sign < 0 ? "reversed, as the correlation table of " + files.sor + " (line " +
                                                std::to_string(turned->line) + ") has it"
                                         : "as it is, as " + (turned == nullptr ? std::string("the first year of the sequence")
                                                                               : "the correlation table of " + files.sor +
                                                                                     " (line " + std::to_string(turned->line) +
                                                                                     ") has it");
            throw InputError(orp + ", line " + std::to_string(p.line) + ": the point of location " +
                             std::to_string(p.location) + " (" + std::string(shown(p.name)) + ") of " + of +
                             " on axis " + std::to_string(k + 1) + " is " + shown_value(p.axis[k]) + ", but " +
                             files.ors + ", line " + std::to_string(row[k].line) + " scores it " +
                             shown_value(row[k]) + ", to be taken " + how + kSame);
        }
    }
}

}  // namespace

void check_one_run(const Report& report, const Summary& summary, const std::vector<Year>& years,
                   const RunFiles& files, std::vector<std::string>& warnings) {
    check_report_and_summary(report, summary, files);
    const std::int64_t want = std::max<std::int64_t>(0, std::int64_t(report.iyf) - report.iys + 1);
    if (std::int64_t(years.size()) != want || (!years.empty() && years.front().head.index != report.iys)) {
        const std::string held = years.empty() ? std::string("no year")
                                               : "the years " + std::to_string(years.front().head.index) + " to " +
                                                     std::to_string(years.back().head.index);
        throw InputError(files.orp + ": holds " + held + ", but the run's sequence is " +
                         (want == 0 ? std::string("empty") : std::to_string(report.iys) + " to " + std::to_string(report.iyf)) +
                         " (" + files.sor + "); are both from the same run?");
    }
    // The last year record of each index is the one whose results the run kept.
    std::vector<std::string> renamed;
    std::map<std::int32_t, const SummaryYear*> last;
    for (const SummaryYear& s : summary.years) last[s.index] = &s;
    for (std::size_t i = 0; i < years.size(); ++i) {
        const auto found = last.find(years[i].head.index);
        const CorrelationRow* turned = i == 0 || i > report.correlations.size() ? nullptr : &report.correlations[i - 1];
        check_year(years[i], found == last.end() ? nullptr : found->second, turned, files, renamed);
    }
    if (!renamed.empty()) {
        std::string w = files.orp + ": " + counted(renamed.size(), "year is", "years are") + " named otherwise than by " +
                        (renamed.size() == 1 ? "its year record" : "their year records") + " in " + files.ors +
                        " (the run's name file and main input name them differently): ";
        for (std::size_t i = 0; i < renamed.size() && i < 3; ++i) w += (i == 0 ? "" : "; ") + renamed[i];
        if (renamed.size() > 3) w += "; and " + std::to_string(renamed.size() - 3) + " more";
        warnings.push_back(w);
    }
}

}  // namespace seqord::results
