// Reading the summary (.ORS) of a complete run: its dimensions and sequence,
// then per year record the year's index and name, its number of locations,
// its kept eigenvalues, and as many score rows as it has locations.
#include "output/output.h"
#include "results/fields.h"

namespace seqord::results {

namespace {

namespace L = seqord::layouts;
using detail::columns;
using detail::Columns;
using detail::LineFile;

constexpr Columns kDimensions = columns(L::R1), kTitle = columns(L::R2), kOptions = columns(L::R3),
                  kSequence = columns(L::R4), kYear = columns(L::R5), kCount = columns(L::R6),
                  kFlags = columns(L::R7), kKept = columns(L::R8), kValues = columns(L::R9), kScores = columns(L::R10);
static_assert(kDimensions.n == 10 && kDimensions[6].kind == Item::I);  // MAXY MAXL MAXG IYS IYF NYA NTM
static_assert(kTitle.n == 1 && kTitle[0].kind == Item::A && kOptions.n == 4);
static_assert(kSequence[0].kind == Item::I && kSequence[1].kind == Item::I && kCount[0].kind == Item::I);
static_assert(kYear.n == 2 && kYear[0].kind == Item::I && kYear[1].kind == Item::A);
static_assert(kFlags.n == 30 && kFlags[29].kind == Item::I);
static_assert(kKept.n == 2 && kKept[0].kind == Item::F && kKept[1].kind == Item::I);
static_assert(kValues.n == 10 && kValues[0].kind == Item::F && kScores[0].kind == Item::I);
static_assert(kScores.n == 12 && kScores[1].kind == Item::A && kScores[2].kind == Item::F && kScores[11].kind == Item::F);
constexpr std::size_t kScoreAxes = 7;  // the score rows give the first seven kept axes

}  // namespace

Summary read_summary(const std::string& path) {
    LineFile f(path, kORS);
    Summary s;
    f.need_values(kDimensions, 7, "the line of the run's dimensions (seven numbers)");
    s.maxl = f.integer(kDimensions[1], "the dimensions of the run");
    if (s.maxl < 0) f.fail("a negative number of locations (MAXL)");
    if (!f.next())
        throw InputError(path + ", after line 1: the summary ends after the dimensions of the run: the run stopped "
                         "at the workspace check (a workspace area too small) and has no results");
    if (f.raw().size() > detail::end_of(kTitle[0])) f.misplaced("the title of the run");
    f.need("the line of the run's options");
    if (f.raw().size() > detail::end_of(kOptions[3])) f.misplaced("the line of the run's options");
    f.need_values(kSequence, 2, "the line of the run's sequence (two numbers)");
    s.iys = f.integer(kSequence[0], "the sequence of the run");
    s.iyf = f.integer(kSequence[1], "the sequence of the run");

    while (f.next()) {
        SummaryYear y;
        y.line = f.line();
        if (f.raw().size() > detail::end_of(kYear[1]) || f.text().size() < kYear[0].w)
            f.misplaced("a year record (index and name)");
        y.index = f.integer(kYear[0], "a year record");
        y.name = f.name(kYear[1]);
        const std::string of = " of year " + std::to_string(y.index) + " (" + std::string(shown(y.name)) + ")";

        f.need_values(kCount, 1, "the number of locations" + of);
        y.locations = f.integer(kCount[0], "the number of locations");
        if (y.locations < 0) f.fail("a negative number of locations" + of);
        const std::size_t per_line = kFlags.n;
        for (std::size_t done = 0; done == 0 || done < std::size_t(s.maxl); done += per_line) {
            const std::size_t k = std::min(per_line, std::size_t(s.maxl) - done);
            f.need_values(kFlags, k, "the elimination vector" + of);
            for (std::size_t i = 0; i < k; ++i) y.flags.push_back(f.integer(kFlags[i], "the elimination vector"));
        }

        f.need_values(kKept, 2, "the line of the sum and number of the non-zero eigenvalues" + of);
        y.kept = f.integer(kKept[1], "the number of non-zero eigenvalues");
        if (y.kept < 0) f.fail("a negative number of non-zero eigenvalues" + of);
        for (std::size_t done = 0; done == 0 || done < std::size_t(y.kept); done += kValues.n) {
            const std::size_t k = std::min(kValues.n, std::size_t(y.kept) - done);
            f.need_values(kValues, k, "a line of the eigenvalues" + of);
            for (std::size_t i = 0; i < k; ++i) y.eigenvalues.push_back(f.real(kValues[i], "an eigenvalue line"));
        }
        for (std::int32_t i = 1; i <= y.locations; ++i) {
            f.need("score row " + std::to_string(i) + of);
            if (f.integer(kScores[0], "a score row") != i)
                f.misplaced("score row " + std::to_string(i) + of);
            std::vector<Printed>& row = y.scores.emplace_back();
            for (std::size_t k = 0; k < std::min(kScoreAxes, std::size_t(y.kept)); ++k)
                row.push_back(f.real(kScores[2 + k], "a score row"));
        }
        s.years.push_back(std::move(y));
    }
    return s;
}

}  // namespace seqord::results
