// The rotation loop of the Jacobi decomposition written out plainly: scalar,
// element by element through the bounds-checked table accessors, in the
// order in which the steps are described.  It is the yardstick for the
// decomposition the program ships: the benchmarks time both, and the tests
// require both to leave A, V, the row records and the rotation count
// identical to the last bit.  It has no guard against endless rotation.
#pragma once

#include <cstdint>

#include "run/run.h"

namespace seqord::baseline {

// The same tables and results as ordination::jacobi without a guard, in the
// decomposition's original form: the rotation count in `nrot`, and `maxl`,
// which the tables' own first extent makes unnecessary.
void jacobi(Table<float> a, std::int32_t n, std::int32_t mode, Table<float> v, std::int32_t& nrot,
            Table<float> ev, Table<std::int32_t> iwk, std::int32_t maxl);

}  // namespace seqord::baseline
