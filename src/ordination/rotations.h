// The decomposition's rotation loop on a working copy of the matrix, built
// once for each vector width it may run with (rotations.inc); jacobi.cpp
// chooses one at run time.  Every build leaves the same values.
#pragma once

#include <cstdint>

namespace seqord::ordination {

// What the rotation loop works on: the leading n x n blocks of A and V (row
// index fastest, first extents a_e1 and v_e1), the row records and their
// columns (n elements each, from index 0), and scratch for the working copy
// (at least copy_floats(n) floats).  None of these overlap.
struct CopyJob {
    float* a;
    std::int64_t a_e1;
    float* v;
    std::int64_t v_e1;
    float* rec;
    std::int32_t* col;
    float* work;
    std::int32_t n;     // 2 to kCopyMaxOrder
    std::int32_t mode;  // 0: V is rotated too
    // The loop gives up once it has made this many rotations in all.
    std::int64_t limit;
};

// The largest order the rotation loop takes.
constexpr std::int32_t kCopyMaxOrder = 420;

// Floats of scratch the working copy of an n x n matrix needs.
std::int64_t copy_floats(std::int64_t n);

// Each makes the rotations from the first, on the copy, until they stop
// (true) or until `rotations` reaches the job's limit (false); A, V, the
// records, `t_bound` and `rotations` then stand as the element-by-element
// loop of jacobi.cpp would have left them.  The caller starts them as that
// loop does: V the identity (mode 0), `t_bound` 1.0E38, `rotations` 0.
namespace rotations_128 {
bool rotate_on_copy(const CopyJob& job, float& t_bound, std::int64_t& rotations);
}
namespace rotations_256 {  // AVX2
bool rotate_on_copy(const CopyJob& job, float& t_bound, std::int64_t& rotations);
}
namespace rotations_512 {  // AVX-512 F and VL
bool rotate_on_copy(const CopyJob& job, float& t_bound, std::int64_t& rotations);
}

}  // namespace seqord::ordination
