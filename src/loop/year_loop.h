// The year loop: reads the title, the name tables and the option line, then
// every year block of the main input, driving for each the fixed chain read,
// convert, ordinate, report, plot, store, list; at the end of the main input
// it runs the cross-year alignment once.
#pragma once

#include "ordination/ordination.h"
#include "records/records.h"
#include "run/run.h"

namespace seqord::loop {

// Runs the whole analysis on the run's files and the workspace's tables
// (cleared), for the year sequence IYS..IYF; `guard` is the decomposition's
// scratch and guard against endless rotation (null: none).
void year_loop(Files& f, const Tables& t, std::int32_t iys, std::int32_t iyf, ordination::JacobiGuard* guard);

}  // namespace seqord::loop
