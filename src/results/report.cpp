// Reading the report (.SOR) of a complete run: the sequence of the run from
// its header, each year's heading and eigenvalue block, and the table of
// correlations between the axes of successive years at its end.
//
// The report is followed by its progress messages, which stand at fixed
// places: the matrices and score tables between them are passed over, and
// everything the tables need is read at the columns of its layout.
#include <array>

#include "output/output.h"
#include "results/fields.h"

namespace seqord::results {

namespace {

namespace L = seqord::layouts;
namespace msg = seqord::out::msg;
using detail::Column;
using detail::columns;
using detail::Columns;
using detail::LineFile;

// The run header: seven lines of a label and a number; IYS and IYF are the
// fourth and the fifth.  Then the workspace report.
constexpr std::array<Columns, 7> kHeader{columns(L::S1, 0), columns(L::S1, 1), columns(L::S1, 2), columns(L::S1, 3),
                                         columns(L::S1, 4), columns(L::S1, 5), columns(L::S1, 6)};
consteval bool header_ok() {
    for (const Columns& c : kHeader)
        if (c.n != 2 || c[0].kind != Item::Lit || c[1].kind != Item::I) return false;
    return columns(L::S1, 7).n == 0;
}
static_assert(header_ok());
constexpr Columns kDimensions = columns(L::S2, 1);
static_assert(columns(L::S2, 0).n == 0 && kDimensions.n == 1 && kDimensions[0].kind == Item::Lit);

// The year heading: an empty line, then the literal and the year's name.
constexpr Columns kHeadingGap = columns(L::S8, 0), kHeading = columns(L::S8, 1);
static_assert(kHeadingGap.n == 0 && kHeading.n == 2 && kHeading[0].kind == Item::Lit && kHeading[1].kind == Item::A);

// The eigenvalue block: the count, then four lists, each a heading line and
// a line of up to ten values, the heading again before each further ten.
constexpr Columns kCount = columns(L::S14);
static_assert(kCount.n == 2 && kCount[0].kind == Item::Lit && kCount[1].kind == Item::I);
struct List {
    Columns heading, values;
    const char* what;
};
constexpr List kNumbers{columns(L::S15, 0), columns(L::S15, 1), "an eigenvalue number line"};
constexpr List kEigenvalues{columns(L::S16, 0), columns(L::S16, 1), "an eigenvalue line"};
constexpr List kPercent{columns(L::S17, 0), columns(L::S17, 1), "a '% of variation' line"};
constexpr List kCumulative{columns(L::S18, 0), columns(L::S18, 1), "a 'Cummulative %' line"};
constexpr std::size_t kPerLine = 10;
consteval bool list_ok(const List& l, Item kind) {
    if (l.heading.n != 1 || l.heading[0].kind != Item::Lit || l.values.n != kPerLine) return false;
    for (std::size_t i = 0; i < kPerLine; ++i)
        if (l.values[i].kind != kind || l.values[i].at != i * l.values[0].w) return false;
    return true;
}
static_assert(list_ok(kNumbers, Item::I) && list_ok(kEigenvalues, Item::F) && list_ok(kPercent, Item::F) &&
              list_ok(kCumulative, Item::F));

// The score table's heading line after its two title lines, and its rows,
// which begin with the row number.
constexpr Columns kScoreAxes = columns(L::S19_axes), kScoreRow = columns(L::S20);
static_assert(kScoreAxes[0].kind == Item::Lit && kScoreRow[0].kind == Item::I && kScoreRow[0].at == 0);

// The correlation table: two heading lines, then a row per pair of years.
constexpr Columns kTable0 = columns(L::S21, 0), kTable1 = columns(L::S21, 1), kRow = columns(L::S22);
static_assert(kTable0.n == 1 && kTable1.n == 1 && kTable0[0].kind == Item::Lit && kTable1[0].kind == Item::Lit);
static_assert(kRow.n == 6 && kRow[0].kind == Item::I && kRow[1].kind == Item::I && kRow[2].kind == Item::F &&
              kRow[5].kind == Item::F);

// Reads one of the four lists of the eigenvalue block: `n` values; the
// eigenvalue numbers must count up from 1.
std::vector<Printed> read_list(LineFile& f, const List& l, std::int32_t n, bool numbers) {
    const std::string heading = "the heading '" + std::string(l.heading[0].text) + "'";
    std::vector<Printed> out;
    std::int32_t done = 0;
    do {
        f.need_text(l.heading[0].text, heading);
        const std::size_t k = std::min<std::size_t>(kPerLine, std::size_t(n - done));
        f.need_values(l.values, k, std::string(l.what) + " with " + counted(k, "value", "values"));
        for (std::size_t i = 0; i < k; ++i, ++done) {
            if (!numbers) {
                out.push_back(f.real(l.values[i], l.what));
            } else if (const std::int32_t v = f.integer(l.values[i], l.what); v != done + 1) {
                f.fail("eigenvalue number " + std::to_string(v) + " where " + std::to_string(done + 1) + " belongs");
            }
        }
    } while (done < n);
    return out;
}

void read_eigenvalues(LineFile& f, ReportYear& y) {
    f.need_literal(kCount[0], "the number of non-zero eigenvalues");
    if (!f.ends_at(kCount[1])) f.misplaced("the number of non-zero eigenvalues");
    y.kept = f.integer(kCount[1], "the number of non-zero eigenvalues");
    if (y.kept < 0) f.fail("a negative number of non-zero eigenvalues");
    read_list(f, kNumbers, y.kept, true);
    const auto values = read_list(f, kEigenvalues, y.kept, false);
    const auto percent = read_list(f, kPercent, y.kept, false);
    const auto cumulative = read_list(f, kCumulative, y.kept, false);
    for (std::size_t i = 0; i < std::size_t(y.kept); ++i)
        y.axes.push_back({std::int32_t(i + 1), values[i], percent[i], cumulative[i]});
}

// One year's block, its heading line just read.
ReportYear read_year(LineFile& f) {
    ReportYear y;
    y.line = f.line();
    if (!f.has(kHeading[0]) || f.raw().size() > detail::end_of(kHeading[1]))
        f.misplaced("a year heading ('" + std::string(kHeading[0].text) + "' and a name)");
    y.name = f.name(kHeading[1]);
    const std::string in = " in the block of year '" + std::string(shown(y.name)) + "'";
    for (std::string_view m : {msg::kReadNL, msg::kReadElim, msg::kReadMatrix})
        f.need_text(m, "the message '" + std::string(m) + "'" + in);
    f.need_text(msg::kMatrixHeading, "the heading of the matrix as read" + in);
    // The matrix as read, the dissimilarities and the decomposition.
    for (std::string_view m : {msg::kConvert, msg::kOrdinate, msg::kEigenvalues})
        f.skip_to(m, "the message '" + std::string(m) + "'" + in);
    read_eigenvalues(f, y);
    for (std::string_view m : {msg::kPlotPoints, msg::kStorePoints, msg::kScores, msg::kScoresTitle, msg::kAxesTitle})
        f.need_text(m, "the line '" + std::string(m) + "'" + in);
    f.need_literal(kScoreAxes[0], "the heading of the score table" + in);
    return y;
}

}  // namespace

Report read_report(const std::string& path) {
    LineFile f(path, kSOR);
    Report r;
    // The run header, with the sequence of the run.
    for (std::size_t i = 0; i < kHeader.size(); ++i) {
        const Columns& c = kHeader[i];
        f.need("the run header");
        if (!f.has(c[0]) || !f.ends_at(c[1]))
            f.misplaced("the run header's line '" + std::string(c[0].text) + "' and a number");
        if (i == 3) r.iys = f.integer(c[1], "a line of the run header");
        if (i == 4) r.iyf = f.integer(c[1], "a line of the run header");
    }
    // The workspace report; a run that stopped at its check ends there.
    f.need_text("", "the empty line before the workspace report");
    f.need_text(kDimensions[0].text, "the workspace report");
    f.need("the workspace report");
    f.need("the workspace report");
    if (!f.next())
        throw InputError(path + ", after line " + std::to_string(f.line()) +
                         ": the report ends after the workspace report: the run stopped at the workspace check "
                         "(a workspace area too small) and has no results");
    // The title, the options and the sequence: passed over up to the
    // message that begins the years.
    if (!f.raw().empty()) f.misplaced("the empty line before the title");
    f.skip_to(msg::kForEachYear, "the message '" + std::string(msg::kForEachYear) + "'");

    // A block per year record, then the end of the run.
    std::string wanted = "a year heading or the message '" + std::string(msg::kRotate) + "'";
    for (;;) {
        f.need(wanted);
        if (f.raw() == msg::kRotate) break;
        if (!f.raw().empty()) {
            // The score table of the year before runs up to here.
            if (r.years.empty()) f.misplaced(wanted);
            f.integer(kScoreRow[0], "a row of the score table");
            continue;
        }
        f.need("a year heading");
        r.years.push_back(read_year(f));
    }
    if (r.iyf > r.iys) {
        f.need_text(kTable0[0].text, "the heading of the correlation table");
        f.need_text(kTable1[0].text, "the heading of the correlation table");
        for (std::int32_t k = r.iys; k < r.iyf; ++k) {
            const std::string what = "the row of years " + std::to_string(k) + " and " + std::to_string(k + 1);
            f.need(what + " of the correlation table");
            if (!f.ends_at(kRow[5])) f.misplaced(what + " of the correlation table");
            CorrelationRow row;
            row.year = f.integer(kRow[0], "a correlation row");
            row.next_year = f.integer(kRow[1], "a correlation row");
            if (row.year != k || row.next_year != k + 1)
                f.fail("a correlation row of years " + std::to_string(row.year) + " and " +
                       std::to_string(row.next_year) + " where " + what + " belongs");
            for (std::size_t m = 0; m < 4; ++m) row.r[m] = f.real(kRow[2 + m], "a correlation row");
            row.line = f.line();
            r.correlations.push_back(std::move(row));
        }
    }
    if (f.next()) f.fail(f.found() + " after the end of the run's report");
    return r;
}

}  // namespace seqord::results
