// How the locations move: the years of a run fitted onto one another.
//
// seqord lines the years up by reversing an axis of the later year where it
// correlates negatively with the earlier one; the axes of successive years
// may still be turned or swapped.  This library takes the aligned points of
// each year (as the plotting file .ORP gives them) on their first K axes
// and
//
//  1. fits each later year onto the one before it (orthogonal Procrustes,
//     no scaling), on the locations both hold, and reports how far apart
//     they are as seqord aligned them and after the best rotation or
//     reflection;
//  2. places the years one by one, in file order, onto the running mean of
//     the years already placed (translation and rotation or reflection, no
//     scaling), and takes each location's mean placed position as its
//     consensus position; the whole is then turned onto the principal axes
//     of the centred consensus;
//  3. measures how much each location moves about its consensus position.
//
// Everything is deterministic (one singular value decomposition per fit, no
// iteration over the years) and computed in double precision.
//
// Conventions, fixed so that every program and every reader gets the same
// numbers:
//  - A fit needs at least kMinCommon = 3 locations in common.  Fewer: the
//    pair fit is undetermined (its figures are empty) and a year to be
//    placed is not placed.
//  - A point matrix is n x K, one row a location.  The fit of Y onto X
//    centres both on their common locations, takes the SVD YᵀX = U S Vᵀ and
//    R = U Vᵀ (which may be a reflection); Y's rows are mapped as (y - ȳ) R.
//  - Where the common locations do not span all K dimensions (three points
//    on a line, say), the directions they leave open are completed so that
//    R is a rotation (determinant +1), with a warning: the data cannot tell
//    a rotation from a reflection there.
//  - The final frame: dimension d is the d-th principal axis of the centred
//    consensus (the consensus positions minus their mean), dimension 1
//    carrying the most spread.  Each axis is signed so that the consensus
//    coordinate of greatest magnitude on it is positive (the location of
//    lowest index among equal magnitudes).  Two axes that carry the same
//    spread (relative difference below 1e-9) have no defined directions in
//    their plane; they are kept as they fall, with a warning.
//  - mean_step is the mean distance between a location's placed positions
//    in consecutive placed years among those that hold it (the years in
//    between that do not hold it, or were not placed, are skipped).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace seqord::results {
struct Year;
}

namespace seqord::motion {

inline constexpr int kMinFitAxes = 2, kMaxFitAxes = 4, kDefaultFitAxes = 2;
inline constexpr std::size_t kMinCommon = 3;
// A pair whose procrustes_r is below this is marked as weak on the page.
inline constexpr double kWeakFit = 0.5;

// Coordinates on up to four axes; only the first K are used, the rest are 0.
using Coords = std::array<double, 4>;
// A K x K matrix (row-major, the first K rows and columns used).
using Matrix = std::array<Coords, 4>;

// A location of a year: its index in the location table, its (short) name
// and its coordinates.
struct Point {
    std::int32_t location = 0;
    std::string name;
    Coords x{};
};

// A year of the run: its index, its (short) name and its points in
// increasing location order.
struct YearPoints {
    std::int32_t index = 0;
    std::string name;
    std::vector<Point> points;
};

// The years of a .ORP file on their first `k` axes (kMinFitAxes to
// kMaxFitAxes), values read from the printed text in double precision.
// Names are the trimmed names of the file.  A point with a field of
// asterisks among its first k axes is left out, with one warning naming
// `orp_path` and the line.
std::vector<YearPoints> from_years(const std::vector<results::Year>& years, int k, const std::string& orp_path,
                                   std::vector<std::string>& warnings);

// The best rotation or reflection of one point set onto another.
struct Procrustes {
    std::size_t n = 0;       // the rows fitted
    bool determined = false;  // n >= kMinCommon
    double ss_before = 0.0;  // |X - Y|², both centred
    double ss_fit = 0.0;     // |X - (Y - ȳ) R|² with X centred
    // trace(S) / sqrt(|X|² |Y|²), both centred; empty when either has no
    // spread (all its points at one spot) or the fit is undetermined.
    std::optional<double> r;
    Matrix rotation{};       // R, K x K (identity when undetermined)
    bool reflection = false;  // det R = -1
    bool completed = false;   // the common rows do not span K dimensions
    Coords x_mean{}, y_mean{};  // the centres
    // The direction, in degrees counter-clockwise from axis 1, to which R
    // takes axis 1 of Y (atan2(R[0][1], R[0][0])): for K = 2 the turn of a
    // rotation.
    double angle_degrees = 0.0;
};

// Fits y onto x (rows matched one to one; both n x k).  Undetermined (R the
// identity, ss_fit = ss_before) with fewer than kMinCommon rows.
Procrustes fit(const std::vector<Coords>& x, const std::vector<Coords>& y, int k);

// The singular value decomposition A = U S Vᵀ of an m x k matrix (k <= 4,
// rows given as Coords), by one-sided Jacobi rotations: `s` in decreasing
// order, `v` k x k orthogonal (columns the right singular vectors); `u`
// m x k with orthonormal columns where s > 0 (zero columns elsewhere).
struct Svd {
    Coords s{};
    Matrix v{};
    std::vector<Coords> u;
};
Svd svd(const std::vector<Coords>& a, int k);

// The fit of year k+1 onto year k (positions in the year list).
struct PairFit {
    std::size_t from = 0, to = 0;  // positions in the year list (to = from + 1)
    std::int32_t year_index = 0, next_year_index = 0;
    std::size_t common = 0;  // locations both years hold (with all K values)
    // Empty when undetermined (common < kMinCommon).
    std::optional<double> ss_seqord, ss_fit, procrustes_r;
    bool reflection = false;
    double angle_degrees = 0.0;  // K = 2 only
    bool weak() const { return !procrustes_r || *procrustes_r < kWeakFit; }
};

// A year placed in the consensus frame.
struct PlacedYear {
    std::size_t year = 0;  // position in the year list
    std::int32_t index = 0;
    std::string name;
    std::vector<Point> points;  // every point of the year, in the consensus frame
};

// What one location does over the placed years.
struct Location {
    std::int32_t location = 0;
    std::string name;  // short name (from its first placed point)
    std::size_t years = 0;  // placed years that hold it
    Coords consensus{};     // in the final frame
    double spread = 0.0;    // root mean square distance of its placed positions to the consensus
    std::optional<double> mean_step;  // empty with one year
};

struct Motion {
    int k = kDefaultFitAxes;
    std::vector<PairFit> pairs;        // one per pair of successive years, in order
    std::vector<PlacedYear> placed;    // in file order
    // Positions of the years not placed, in order: those with points have a
    // warning each; a year without points (no block in the run) has none.
    std::vector<std::size_t> not_placed;
    std::vector<Location> locations;   // every location of a placed year, by increasing index
    Coords spread_of_axes{};           // the consensus's root mean square coordinate on each dimension
    std::vector<std::string> warnings;
};

// The whole analysis of `years` on `k` axes (kMinFitAxes to kMaxFitAxes;
// std::invalid_argument otherwise).
Motion analyse(const std::vector<YearPoints>& years, int k);

// The number printed so that it reads back to the same double (the
// shortest such form).
std::string number(double v);

}  // namespace seqord::motion
