// Data the benchmarks share.
#pragma once

#include <vector>

namespace seqord::bench {

// A year's centred similarity matrix: -1/2 the squared distances between n
// locations described by `dim` standardised genotype means, centred by rows
// and columns, in an n x n table.
std::vector<float> centred_matrix(int n, int dim = 100);

}  // namespace seqord::bench
