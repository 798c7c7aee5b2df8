// seqord-export: the results of a run as tidy tables.
//
// Reads the report (.SOR), the summary (.ORS) and the points of each year
// (.ORP) that seqord wrote for a job, with the readers of the result files,
// and writes three CSV tables beside them: the aligned points, the kept
// axes of each year with their eigenvalues and shares of variation, and the
// correlations between the axes of successive years.  Values are given as
// the files print them.
#pragma once

#include <string>
#include <vector>

#include "motion/motion.h"

namespace seqord::tables {

// A table: its header row, then one row per record.
struct Table {
    std::vector<std::string> header;
    std::vector<std::vector<std::string>> rows;
};

struct Tables {
    Table points, axes, alignment;
    // How the locations move (src/motion): the fit of each pair of
    // successive years, each location's consensus position and stability,
    // and every placed point in the consensus frame.
    Table pairs, consensus, trajectory;
};

// The tables of the run whose result files are `job` with the extensions
// .SOR, .ORS and .ORP.  A value printed as asterisks is an empty field, with
// one warning per line naming the file and line; a file that is missing,
// unreadable, not what seqord writes, or not of the same run as the others
// throws results::InputError.  `fit_axes` is the number of leading axes the
// years are fitted on (2-4).  Full names come from JOB.names.csv when it is
// of this run (motion/names.h).
Tables build(const std::string& job, std::vector<std::string>& warnings, int fit_axes = motion::kDefaultFitAxes);

// The command line of seqord-export: messages go to `out` and `err`;
// returns the exit status.
int run(int argc, const char* const* argv, std::string& out, std::string& err);

}  // namespace seqord::tables
