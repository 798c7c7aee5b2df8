// seqord-prep TABLE JOB: from a long table of trial yields (one row per
// year, location, genotype and value) to the input pair of seqord, JOB.EMA
// and JOB.NAQ, with one proximity matrix per year.
#pragma once

#include <cstdint>
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "proximity/proximity.h"
#include "records/records.h"

namespace seqord::prep {

// Exit statuses.
inline constexpr int kExitDone = 0;
inline constexpr int kExitFile = 1;  // a file could not be read or written
inline constexpr int kExitBad = 2;   // a bad table or a bad command line

// Ends the run: the message (without the program's prefix) and the status.
class Failure : public std::runtime_error {
public:
    Failure(int status, const std::string& what) : std::runtime_error(what), status_(status) {}
    int status() const { return status_; }

private:
    int status_;
};

// The names of the four columns the program reads.
struct Columns {
    std::string year = "year", location = "location", genotype = "genotype", value = "yield";
};

// The table, read and averaged: labels in the order of the job (years by
// value or text, locations and genotypes by their bytes), and per year and
// location the genotype means.
struct Table {
    std::vector<std::string> years, locations, genotypes;
    std::vector<proximity::YearMeans> means;  // [year][location]
    long rows = 0;             // data rows read
    long missing = 0;          // values missing and skipped
    long replicate_rows = 0;   // rows averaged with others of the same cell
    long replicated_cells = 0; // means made from more than one row
};

// Reads `path`; a bad table is a Failure with kExitBad, a file that cannot
// be read one with kExitFile.
Table read_table(const std::string& path, const Columns& columns);

// Why a job of these counts cannot be written or run: a count beyond what
// the run header's six-digit fields hold, or more years and locations than
// seqord's workspace holds (then also what does fit); empty when it can.
// Checked as each count grows, so that a table too big is refused before
// anything of its size is made.
std::string count_problem(std::int64_t years, std::int64_t locations, std::int64_t genotypes);

// `text` cut to at most `bytes` bytes, never inside a UTF-8 character.
std::string cut_utf8(std::string_view text, std::size_t bytes);

// Names given by hand: full name to short name.
using Renames = std::map<std::string, std::string, std::less<>>;
// Reads a table of two columns, long and short (a header line naming them
// is optional).
Renames read_renames(const std::string& path);

// The 8-character names of the job's years and locations.
struct Naming {
    std::vector<Name> years, locations;
    std::vector<std::string> notes;  // one per name cut or renamed
    std::string clashes;             // empty, or the names that coincide
    bool clash_renamed = false;      // a name that coincides took its short name from the renames
};
// Cuts each name to 8 characters (a renamed one takes its short name) and
// lists names that coincide afterwards (without advice: the caller knows
// where the renames came from).  Names in `renames` that the table
// does not hold are listed in `unused`.
Naming fit_names(const Table& t, const Renames& renames, std::vector<std::string>& unused);

// The command line, the work and its report: what goes to standard output
// and standard error is gathered in `out` and `err`.
int run(int argc, const char* const* argv, std::string& out, std::string& err);

}  // namespace seqord::prep
