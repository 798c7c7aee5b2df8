// The year loop: reads the title, the name tables and the option line, then
// every year block of the main input, driving for each the fixed chain read,
// convert, ordinate, report, plot, store, list; at the end of the main input
// it runs the cross-year alignment once.
#pragma once

#include "ordination/ordination.h"
#include "records/records.h"

namespace seqord::loop {

void year_loop(Files& f, Table<float> a, Table<float> v, Table<float> ev, Table<float> cum, Table<float> pts,
               Table<float> pct, Table<float> resv, Table<std::int32_t> elim, Table<std::int32_t> iwk,
               Table<Name> yearname, Table<Name> locname, Table<Name> rnames, std::int32_t maxy,
               std::int32_t maxl, std::int32_t iys, std::int32_t iyf, ordination::JacobiGuard* guard);

}  // namespace seqord::loop
