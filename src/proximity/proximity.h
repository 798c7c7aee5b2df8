// Proximities between trial locations from genotype means: for each year,
// the dissimilarity between every two locations retained that year, either
// from that year alone or combined over the years up to it.  All arithmetic
// is in double precision; the caller rounds each value once when it writes
// it.
//
// For one year and two locations, over the genotypes C that have a mean at
// both (n of them), the two vectors of means are centred, or standardised
// (divided by their standard deviation, the variance taken with divisor n).
// SED is the mean squared difference of the two vectors, (1/n) sum (z_l -
// z_m)^2, which for standardised vectors is 2 (1 - r); COR is r, the Pearson
// correlation.  A year counts for the pair when n reaches the least number
// of genotypes in common, and, for the standardised SED and for COR, when
// neither location has the same mean for every genotype of C.
//
// Years are combined in year order, with weights n_y (weighted) or 1: SED
// as the weighted mean of the yearly values; COR as the weighted mean of r
// (normal average) or as tanh of the weighted mean of atanh(r), each r
// clipped to +-(1 - 1e-7) first (Fisher's z average); the dissimilarity of
// COR is 1 minus the average.
//
// The values are brought near 1 by powers of two before they are added or
// squared, which changes no digit of the result: the standardised SED and
// COR of values near 1e300 or 1e-300 are those of the same values near 1,
// and a centred SED beyond double precision comes out as infinity, for the
// caller to refuse.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace seqord::proximity {

enum class Measure { sed, cor };
enum class Scaling { centred, standardised };
enum class Average { normal, z };
enum class Weighting { unweighted, weighted };

struct Settings {
    Measure measure = Measure::sed;
    Scaling scaling = Scaling::standardised;
    Average average = Average::normal;
    Weighting weighting = Weighting::unweighted;
    bool cumulative = true;   // combine the years up to each year, or take each year alone
    int min_common = 3;       // least number of genotypes in common (and of means to retain a location)
};

// The four letters of the option line that record these settings: WEIGHT
// (W/U), PRXTYP (S/C), SEDTYP (C/S), CORTYP (N/Z).  A letter whose setting
// does not apply to the measure keeps its default (S for SEDTYP, N for
// CORTYP).
std::array<char, 4> option_letters(const Settings& s);

// A genotype mean at one location.
struct Cell {
    std::int32_t genotype;
    double mean;
};
// One year's means: per location, its cells in increasing genotype order (a
// location without data that year has none).
using YearMeans = std::vector<std::vector<Cell>>;

// What one year gives a pair of locations.
struct YearValue {
    enum class Status { counts, too_few, constant };
    Status status = Status::too_few;
    int n = 0;           // genotypes in common
    double value = 0.0;  // SED: the distance; COR: r
    bool first_constant = false, second_constant = false;  // Status::constant: which location
};

// Reusable room for the vectors of one pair.
struct Scratch {
    std::vector<double> a, b;
};

YearValue pair_year(const std::vector<Cell>& first, const std::vector<Cell>& second, const Settings& s,
                    Scratch& scratch);

// One year's matrix: its retained locations (increasing location index, from
// 0) and the dissimilarities between them below the diagonal, (i, j) with
// j < i at lower[i (i - 1) / 2 + j].
struct YearMatrix {
    std::vector<int> retained;
    std::vector<double> lower;
};

// A location whose means over the genotypes in common with another location
// were all equal in a year, so that the year did not count for that pair.
struct ConstantLocation {
    int year, location;
    bool operator==(const ConstantLocation&) const = default;
};

// Two locations retained in a year for which no year counts.
struct Gap {
    int year = -1;
    int first = -1, second = -1;  // location indices, first < second
    int most_common = 0;          // the most genotypes they had in common in any year considered
    bool constant = false;        // some year had enough in common but a constant location
    bool operator==(const Gap&) const = default;
};

struct Result {
    std::vector<YearMatrix> years;  // one per year of the input, in order
    std::vector<ConstantLocation> constant;  // each (year, location) once, in order
    std::vector<Gap> gaps;  // in order of year, then of location pair; matrices are incomplete when any
};

// The matrices of every year from the yearly means of `locations` locations.
// A location is retained in a year when it has at least min_common means.
Result compute(const std::vector<YearMeans>& years, int locations, const Settings& s);

// What seqord makes of a year's matrix: the dissimilarities D of `n`
// locations (`lower` as in YearMatrix) halved, negated and centred by rows
// and columns, B = J (-D/2) J.  It prints B's largest eigenvalue and the sum
// of the eigenvalues it keeps (those above 1% of the largest), in F10.3
// fields.  Returns the larger of the two, or, when that is settled to be
// below `enough` without computing it, an upper bound below `enough`: the
// cheap bound is sqrt(n - 1) times the Frobenius norm of B, which no sum of
// eigenvalue magnitudes of a matrix of rank n - 1 exceeds.  Otherwise the
// eigenvalues are computed (Householder reduction to a tridiagonal matrix,
// then bisection on Sturm counts, in double precision).
double eigen_report_top(const std::vector<double>& lower, std::size_t n, double enough);

}  // namespace seqord::proximity
