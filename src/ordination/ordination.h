// Ordination of one year's locations: the dissimilarity matrix is turned into
// a double-centred similarity matrix, decomposed by Jacobi rotations, its
// eigenvalues reported, and its eigenvectors scaled into location scores that
// are listed and filed under the year's index.
//
// Arithmetic follows fixed precision rules: every stored value is a
// single-precision real; inside one expression values are carried in double
// precision and rounded once when stored.  The rotation sequence, and so the
// rotation count that the report prints, depends on those rules.
#pragma once

#include "records/records.h"
#include "run/run.h"

namespace seqord::ordination {

// Each step works on the tables it names (A, V, EV, CUM, PTS, ELIM, RNAMES)
// and writes to the files it names; nl is the year's number of locations.

// Symmetrises A(1..nl, 1..nl) from its lower triangle, writes the symmetric
// dissimilarity matrix to .SOR (one S11 group per row), multiplies by -0.5
// and centres by rows, then by columns.  EV is a work vector.
void centre(Files& f, const Tables& t, std::int32_t nl);

// Scratch space of the decomposition.
//
// `work` holds a working copy of the matrix, its lower triangle in tiles, on
// which the rotations run much faster than on A itself (see rotations.inc);
// without this scratch the decomposition works on A element by element, with
// the same results.
//
// The rest lets the decomposition notice a rotation sequence that has come
// back to a state it was in before: from such a state it would rotate forever
// without reaching its stopping tests.  Watching costs time, so it starts only
// after far more rotations than a decomposition normally takes (20 n^2 + 100;
// ordinary matrices take about 2 n^2): a cycle, once entered, never ends, so
// starting late still finds it.
struct JacobiGuard {
    static constexpr std::int64_t kMaxOrder = 420;
    static constexpr std::int64_t kWorkSize = kMaxOrder * kMaxOrder;
    static constexpr std::int64_t kStateSize = kMaxOrder * (kMaxOrder + 1) / 2 + 2 * kMaxOrder + 1;
    float work[kWorkSize];
    // The widest vectors, in bits (128, 256 or 512), that the rotations and
    // the searches of the row records may use where the processor has them;
    // the results are the same with any width.
    std::int32_t widest = 512;
    std::uint32_t snapshot[kStateSize];
    // Rotations after which the watch starts; negative: the default above.
    std::int64_t watch_from = -1;
};

// What a decomposition did: the rotations it made (NROT), and whether it
// stopped because its state repeated (its results are then not converged).
struct JacobiResult {
    std::int32_t nrot = 0;
    bool cycled = false;
};

// Jacobi eigen-decomposition of the symmetric matrix in A(1..n, 1..n), using
// only its diagonal and strict upper triangle.  On return the diagonal holds
// the eigenvalues (larger of each rotated pair at the lower index, no sort)
// and, when `mode` is 0, the columns of V the eigenvectors.  EV and IWK hold
// the per-row records of the largest off-diagonal element.  `guard` may be
// null: no cycle detection, and the slower element-by-element loop.
JacobiResult jacobi(Table<float> a, std::int32_t n, std::int32_t mode, Table<float> v, Table<float> ev,
                    Table<std::int32_t> iwk, JacobiGuard* guard = nullptr);

// The width of the vectors, in bits, that the decomposition uses on this
// processor when a guard allows at most `widest`.
std::int32_t vector_bits(std::int32_t widest);

// Eigenvalue report: counts the eigenvalues of A's diagonal above 1% of the
// first, writes R8 and R9 to .ORS and S14-S18 to .SOR, and leaves the % of
// variation of the kept axes in EV(1..NAX) and its running total in
// CUM(1..NAX).  Returns NAX, the number of axes kept: the count, or `most`
// when that is smaller (the year loop passes NL, which the count never
// exceeds).
std::int32_t eigen_report(Files& f, const Tables& t, std::int32_t nl, std::int32_t most);

// Scales the eigenvectors in V into scores: column k times the root of its
// eigenvalue when that is above 1e-6 times the first, else times the
// eigenvalue itself.  The diagonal of A is overwritten with the multipliers.
void plotting_points(const Tables& t, std::int32_t nl);

// Files the scores of the first min(nax, 4) axes of the locations flagged 1
// in ELIM(iy, .) under PTS(iy, l, k); the m-th flagged location takes row m.
void store_points(const Tables& t, std::int32_t nax, std::int32_t iy);

// Lists the scores of V's first min(nax, 7) axes with the names in RNAMES:
// S19 and S20 in .SOR, R10 in .ORS.
void score_listing(Files& f, const Tables& t, std::int32_t nl, std::int32_t nax);

}  // namespace seqord::ordination
