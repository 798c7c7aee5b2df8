// Reading the result files of a finished run of seqord: the report (.SOR),
// the summary (.ORS), the points of pairs of successive years (.POR) and
// the points of each year (.ORP).
//
// Every line comes through the record layer, and every field is found at
// the columns of its record's layout in the output catalogue and converted
// by the record layer's field readers.  Values are kept as the file prints
// them (the text of the field, blanks trimmed) beside what they read as, so
// that a program can pass them on without adding or losing a digit.  A
// field of asterisks (a value too wide when it was written) is kept as an
// unknown value; anything else that is not what seqord writes is an
// InputError naming the file and the line, and so is a line longer than
// the record layer reads (kMaxRecordLength): reading stops there.
#pragma once

#include "records/utf8.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "records/records.h"

namespace seqord::results {

// Unit numbers of the result files, as seqord writes them (the record
// layer names the unit in its reports).
inline constexpr int kSOR = 22, kORS = 23, kPOR = 24, kORP = 25;

// Exit statuses of the programs that read results.
inline constexpr int kExitDone = 0;
inline constexpr int kExitWriteFailed = 1;  // an output could not be stored
inline constexpr int kExitBadInput = 2;     // usage error, or a result file missing, unreadable or malformed

// A problem with one of the result files: the message names the file and,
// where there is one, the line ("JOB.ORP, line 7: ...").
class InputError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A value as the file prints it.
struct Printed {
    float value = 0.0f;  // what the field reads as (0 when unknown)
    std::string text;    // the field without its blanks; empty for a field of asterisks
    long line = 0;       // where it stands
    bool known() const { return !text.empty(); }
};
using FourAxes = std::array<Printed, 4>;

// Text of a result file quoted in a message: at most 40 characters of it
// and an ellipsis where it is cut, control bytes written as \xNN.
std::string quote(std::string_view text);

// Why the record layer stopped, in the words a companion program's message
// uses: the system's reason ("Permission denied"), without the layer's own
// prefix, condition number, unit and file, which the message gives its way.
std::string reason(const RunStop& stop);

// Text as UTF-8 (records/utf8.h): well-formed sequences as they are, every
// other byte taken as Latin-1, its C1 control characters as U+FFFD.
using records::as_utf8;

// A count with its noun: "1 row", "2 rows".
std::string counted(std::size_t n, std::string_view one, std::string_view many);

// The job named on a command line: `operand` without one of `extensions`
// (".ORP" ...) at its end, so that a result file may be named instead.
std::string job_of(std::string operand, std::initializer_list<std::string_view> extensions);
// The job's name without its folder ("runs/TRIAL" is "TRIAL").
std::string job_name(const std::string& job);

// A name without its trailing blanks (as the tables give it), and without
// its leading blanks too (as the page shows it).
std::string_view trimmed(const Name& n);
std::string_view shown(const Name& n);

// ------------------------------------------------ plotting files ---

// The label records of a year: its index, its name and the shares of
// variation of its first four axes.
struct YearHead {
    std::int32_t index = 0;
    Name name;
    FourAxes percent;
    long line = 0;  // of the year record
};

// A point record: a location of a year and its aligned points on axes 1-4.
struct PointRecord {
    Name year;
    std::int32_t location = 0;  // index in the location table
    Name name;
    FourAxes axis;
    long line = 0;
};

struct Year {
    YearHead head;
    std::vector<PointRecord> points;  // every point record, in file order
};

// Reads a whole .ORP file (at least one year; the years follow on one by
// one, each with its locations in increasing order).
std::vector<Year> read_years(const std::string& path);

// A location of a pair of years: its point in the earlier year, in the
// later one, or both.
struct Move {
    std::int32_t location = 0;
    Name name;
    bool in_from = false, in_to = false;
    FourAxes from, to;
};

struct Pair {
    YearHead from, to;
    std::vector<Move> moves;  // in file order
};

// Reads a whole .POR file; an empty file gives no pairs.
std::vector<Pair> read_pairs(const std::string& path);

// Checks that the pairs are the successive years of the year file (the same
// indices and names, one pair fewer than years) and that each point of a
// pair is the point of that year and location in the year file, field for
// field; throws InputError naming the pair file otherwise (an empty pair
// list fits a year file of one year only).  `warnings` is kept for callers.
void check_pairs_fit(const std::vector<Year>& years, const std::vector<Pair>& pairs,
                     const std::string& por_path, std::vector<std::string>& warnings);

// ------------------------------------------------------ the report ---

// One kept axis of a year, as the eigenvalue block lists it.
struct EigenRow {
    std::int32_t number = 0;
    Printed eigenvalue, percent, cumulative;
};

// The block of one year record of the run.
struct ReportYear {
    Name name;      // as its heading "For year" shows it
    long line = 0;  // of that heading
    std::int32_t kept = 0;      // the number of non-zero eigenvalues
    std::vector<EigenRow> axes;  // as many as were kept
};

// A row of the correlation table: years k and k+1, axes 1-4.
struct CorrelationRow {
    std::int32_t year = 0, next_year = 0;
    FourAxes r;
    long line = 0;
};

struct Report {
    std::int32_t iys = 0, iyf = 0;  // the sequence of the run
    std::vector<ReportYear> years;  // in report order
    std::vector<CorrelationRow> correlations;
};

// Reads a whole .SOR file of a complete run.
Report read_report(const std::string& path);

// ----------------------------------------------------- the summary ---

struct SummaryYear {
    std::int32_t index = 0;
    Name name;
    long line = 0;  // of its year record
    std::int32_t locations = 0;  // NL, the rows of its score table
    std::int32_t kept = 0;       // the number of non-zero eigenvalues
    std::vector<Printed> eigenvalues;
    std::vector<std::int32_t> flags;           // the elimination vector, MAXL flags (1: retained)
    std::vector<std::vector<Printed>> scores;  // the score rows: the first min(kept, 7) axes of each
};

struct Summary {
    std::int32_t maxl = 0, iys = 0, iyf = 0;
    std::vector<SummaryYear> years;  // in file order
};

// Reads a whole .ORS file of a complete run.
Summary read_summary(const std::string& path);

// ------------------------------------------------------- one run? ---

// The names of a job's report, summary and year file, for messages.
struct RunFiles {
    std::string sor, ors, orp;
};

// Checks that the report, the summary and the year file are of one run, and
// throws InputError naming the file and line where they part otherwise:
// - the report and the summary have the same sequence and, year record by
//   year record, the same names, numbers of kept axes and eigenvalues;
// - the year file holds the years of the sequence (none when it is empty);
//   a year named otherwise than by its year record adds a warning (the
//   year file takes the names from the run's name file, the summary from
//   its main input);
// - each year has a point record for exactly the locations that the last
//   year record of its index flags (a year without one has none);
// - each point, on each axis the year kept (up to 4), is the location's
//   score in the summary to within one unit of the printed last decimal,
//   reversed where the report's correlation table prints a negative
//   correlation for that axis and year (a correlation printed as 0.000 or as
//   asterisks allows either sign).  A point printed as asterisks must be a
//   score too wide for the point's field.
void check_one_run(const Report& report, const Summary& summary, const std::vector<Year>& years,
                   const RunFiles& files, std::vector<std::string>& warnings);

}  // namespace seqord::results
