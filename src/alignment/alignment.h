// Cross-year alignment: after the last year, the stored points of each pair
// of successive years IYS..IYF are correlated axis by axis over the locations
// retained in both, an axis of the later year is reversed when its
// correlation is negative, and the aligned points are written pair by pair
// (.POR) and year by year (.ORP).
#pragma once

#include "records/records.h"
#include "run/run.h"

namespace seqord::alignment {

// Works on the filed tables PTS (changed in place: reversals), PCT and ELIM,
// and the names in YEARNAME and LOCNAME, over the years IYS..IYF; writes
// S21/S22 to .SOR, then .POR and .ORP.
void align(Files& f, const Tables& t, std::int32_t iys, std::int32_t iyf);

// The product-moment correlation of one axis from its single-precision sums
// (count n, sums of x, y, x*x, y*y and x*y); 0 without a common location or
// when either corrected sum of squares is below 1.0E-6.
float correlation(float n, float sx, float sy, float sxx, float syy, float sxy);

}  // namespace seqord::alignment
