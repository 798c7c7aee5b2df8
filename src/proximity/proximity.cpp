#include "proximity/proximity.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace seqord::proximity {

namespace {

// The sum of squared differences and the sum of products of two vectors,
// added in order: every pair of locations is summed the same way, whether
// its vectors were prepared once for the year or made for the pair.
double squared_distance(const double* a, const double* b, std::size_t size) {
    double sum = 0.0;
    for (std::size_t k = 0; k < size; ++k) {
        const double diff = a[k] - b[k];
        sum += diff * diff;
    }
    return sum;
}
double products(const double* a, const double* b, std::size_t size) {
    double sum = 0.0;
    for (std::size_t k = 0; k < size; ++k) sum += a[k] * b[k];
    return sum;
}

constexpr double kClip = 1.0 - 1e-7;

// Centres `v` in place and returns the sum of squares of the deviations.
// The order of the operations is part of the result: the mean is the sum
// in genotype order divided by n, and each deviation is squared and added
// in the same order.
double centre(std::vector<double>& v) {
    double sum = 0.0;
    for (double x : v) sum += x;
    const double m = sum / static_cast<double>(v.size());
    double ss = 0.0;
    for (double& x : v) {
        x -= m;
        ss += x * x;
    }
    return ss;
}

// The binary exponent of the largest magnitude in `v` (0 when all are zero).
int exponent(const std::vector<double>& v) {
    double top = 0.0;
    for (double x : v) top = std::max(top, std::fabs(x));
    return top > 0.0 && std::isfinite(top) ? std::ilogb(top) : 0;
}

// Multiplies `v` by 2^-e.  A power of two changes no digit of a value, so
// that sums, squares and quotients of the scaled values are those of the
// values themselves, scaled, bit for bit, unless these would overflow or
// underflow: scaling the values near 1 before they are added or squared
// keeps values of 1e300 or 1e-300 from doing either.
void scale_down(std::vector<double>& v, int e) {
    if (e == 0) return;
    for (double& x : v) x = std::ldexp(x, -e);
}

// Centres `v` and brings its deviations near 1 (both by powers of two):
// returns the sum of squares of the scaled deviations.
double centre_scaled(std::vector<double>& v) {
    scale_down(v, exponent(v));
    centre(v);
    scale_down(v, exponent(v));
    double ss = 0.0;
    for (double x : v) ss += x * x;
    return ss;
}

bool all_equal(const std::vector<double>& v) {
    return std::all_of(v.begin(), v.end(), [&](double x) { return x == v.front(); });
}

// Where the pair (l, m), l < m, keeps its running sums.
std::size_t pair_index(int l, int m) {
    return static_cast<std::size_t>(m) * static_cast<std::size_t>(m - 1) / 2 + static_cast<std::size_t>(l);
}

struct Running {
    double sum = 0.0, weight = 0.0;
    int most = 0;
    bool constant = false;
};

// One location in one year, prepared once for every pair of locations with
// the same genotypes: their genotypes in common are all of each, so each
// vector goes through the same operations whatever the other location, and
// the pair needs only the final sum.  The operations are those of pair_year,
// in the same order, so that the values are the same bits.
struct Prepared {
    std::uint64_t key = 0;  // a hash of the genotypes, to find locations with the same ones quickly
    int set = -1;           // locations with the same genotypes that year share it
    std::vector<double> v;  // centred and scaled (COR), standardised (SED), or centred at scale e, d
    double ss = 0.0;        // standardised: the sum of squares of the scaled deviations
    bool constant = false;  // standardised: all means equal, or no spread left
    int e = 0, d = 0;       // centred: the exponents of the values and of their deviations
};

bool same_genotypes(const std::vector<Cell>& a, const std::vector<Cell>& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t k = 0; k < a.size(); ++k)
        if (a[k].genotype != b[k].genotype) return false;
    return true;
}

void prepare(const std::vector<Cell>& cells, const Settings& s, Prepared& p) {
    std::vector<double>& v = p.v;
    v.clear();
    for (const Cell& c : cells) v.push_back(c.mean);
    if (v.empty()) return;
    const bool standardise = s.measure == Measure::cor || s.scaling == Scaling::standardised;
    if (!standardise) {
        // Used only with a location of the same e and d, which are then the
        // pair's own.
        p.e = exponent(v);
        scale_down(v, p.e);
        centre(v);
        p.d = exponent(v);
        scale_down(v, p.d);
        return;
    }
    p.constant = all_equal(v);
    p.ss = centre_scaled(v);
    p.constant = p.constant || !(p.ss > 0.0);
    if (s.measure == Measure::cor || p.constant) return;
    const double sd = std::sqrt(p.ss / static_cast<double>(v.size()));
    for (double& x : v) x = x / sd;
}

// pair_year for two locations with the same genotypes, from their prepared
// vectors; false when the centred SED needs a scale of the pair's own.
bool prepared_pair(const Prepared& f, const Prepared& g, const Settings& s, YearValue& v) {
    v = YearValue{};
    v.n = static_cast<int>(f.v.size());
    if (v.n < s.min_common || v.n == 0) return true;
    const bool standardise = s.measure == Measure::cor || s.scaling == Scaling::standardised;
    const double n = static_cast<double>(v.n);
    const double* a = f.v.data();
    const double* b = g.v.data();
    const std::size_t size = f.v.size();
    if (!standardise) {
        if (f.e != g.e || f.d != g.d) return false;
        v.status = YearValue::Status::counts;
        v.value = std::ldexp(squared_distance(a, b, size) / n, 2 * (f.e + f.d));
        return true;
    }
    v.first_constant = f.constant;
    v.second_constant = g.constant;
    if (v.first_constant || v.second_constant) {
        v.status = YearValue::Status::constant;
        return true;
    }
    v.status = YearValue::Status::counts;
    if (s.measure == Measure::cor) {
        v.value = std::clamp(products(a, b, size) / std::sqrt(f.ss * g.ss), -1.0, 1.0);
        return true;
    }
    v.value = squared_distance(a, b, size) / n;
    return true;
}

// Numbers the genotype sets of the retained locations of one year (and
// prepares each location).
void prepare_year(const std::vector<int>& retained, const std::vector<const std::vector<Cell>*>& cells,
                  const Settings& s, std::vector<Prepared>& prepared, std::vector<int>& representatives) {
    representatives.clear();
    for (const int l : retained) {
        const std::vector<Cell>& c = *cells[static_cast<std::size_t>(l)];
        Prepared& p = prepared[static_cast<std::size_t>(l)];
        std::uint64_t key = 1469598103934665603ULL ^ c.size();
        for (const Cell& cell : c) key = (key ^ static_cast<std::uint32_t>(cell.genotype)) * 1099511628211ULL;
        p.key = key;
        p.set = -1;
        for (std::size_t k = 0; k < representatives.size() && p.set < 0; ++k) {
            const int r = representatives[k];
            if (prepared[static_cast<std::size_t>(r)].key == key && same_genotypes(*cells[static_cast<std::size_t>(r)], c))
                p.set = static_cast<int>(k);
        }
        if (p.set < 0) {
            p.set = static_cast<int>(representatives.size());
            representatives.push_back(l);
        }
        prepare(c, s, p);
    }
}

}  // namespace

std::array<char, 4> option_letters(const Settings& s) {
    const bool cor = s.measure == Measure::cor;
    return {s.weighting == Weighting::weighted ? 'W' : 'U', cor ? 'C' : 'S',
            !cor && s.scaling == Scaling::centred ? 'C' : 'S', cor && s.average == Average::z ? 'Z' : 'N'};
}

YearValue pair_year(const std::vector<Cell>& first, const std::vector<Cell>& second, const Settings& s,
                    Scratch& scratch) {
    std::vector<double>& a = scratch.a;
    std::vector<double>& b = scratch.b;
    a.clear();
    b.clear();
    for (std::size_t i = 0, j = 0; i < first.size() && j < second.size();) {
        if (first[i].genotype < second[j].genotype) ++i;
        else if (second[j].genotype < first[i].genotype) ++j;
        else {
            a.push_back(first[i++].mean);
            b.push_back(second[j++].mean);
        }
    }
    YearValue v;
    v.n = static_cast<int>(a.size());
    if (v.n < s.min_common || v.n == 0) return v;
    const bool standardise = s.measure == Measure::cor || s.scaling == Scaling::standardised;
    const double n = static_cast<double>(v.n);
    if (!standardise) {
        // The centred SED keeps the unit of the values squared: both vectors
        // are scaled by one power of two, which is put back at the end (an
        // overflow there is infinity, for the caller to refuse).
        const int e = std::max(exponent(a), exponent(b));
        scale_down(a, e);
        scale_down(b, e);
        centre(a);
        centre(b);
        const int d = std::max(exponent(a), exponent(b));
        scale_down(a, d);
        scale_down(b, d);
        v.status = YearValue::Status::counts;
        v.value = std::ldexp(squared_distance(a.data(), b.data(), a.size()) / n, 2 * (e + d));
        return v;
    }
    // Standardised vectors and correlations do not depend on the scale of
    // either vector: each is scaled on its own.
    v.first_constant = all_equal(a);
    v.second_constant = all_equal(b);
    const double ssa = centre_scaled(a), ssb = centre_scaled(b);
    v.first_constant = v.first_constant || !(ssa > 0.0);
    v.second_constant = v.second_constant || !(ssb > 0.0);
    if (v.first_constant || v.second_constant) {
        v.status = YearValue::Status::constant;
        return v;
    }
    v.status = YearValue::Status::counts;
    if (s.measure == Measure::cor) {
        // Rounding may carry |r| a hair past 1.
        v.value = std::clamp(products(a.data(), b.data(), a.size()) / std::sqrt(ssa * ssb), -1.0, 1.0);
        return v;
    }
    const double sda = std::sqrt(ssa / n), sdb = std::sqrt(ssb / n);
    for (double& x : a) x = x / sda;
    for (double& x : b) x = x / sdb;
    v.value = squared_distance(a.data(), b.data(), a.size()) / n;
    return v;
}

Result compute(const std::vector<YearMeans>& years, int locations, const Settings& s) {
    Result r;
    const std::size_t L = static_cast<std::size_t>(std::max(locations, 0));
    std::vector<Running> running(L * (L > 0 ? L - 1 : 0) / 2);
    Scratch scratch;
    std::vector<Prepared> prepared(L);
    std::vector<int> representatives;
    std::vector<const std::vector<Cell>*> by_location(L);
    static const std::vector<Cell> kNone;
    for (std::size_t y = 0; y < years.size(); ++y) {
        const YearMeans& means = years[y];
        auto cells = [&](int l) -> const std::vector<Cell>& {
            return static_cast<std::size_t>(l) < means.size() ? means[static_cast<std::size_t>(l)] : kNone;
        };
        if (!s.cumulative) std::fill(running.begin(), running.end(), Running{});
        YearMatrix m;
        for (int l = 0; l < locations; ++l)
            if (static_cast<int>(cells(l).size()) >= s.min_common) m.retained.push_back(l);
        std::vector<bool> constant(L, false);
        for (int l = 0; l < locations; ++l) by_location[static_cast<std::size_t>(l)] = &cells(l);
        prepare_year(m.retained, by_location, s, prepared, representatives);
        for (std::size_t j = 1; j < m.retained.size(); ++j)
            for (std::size_t i = 0; i < j; ++i) {
                const int first = m.retained[i], second = m.retained[j];
                const Prepared& pf = prepared[static_cast<std::size_t>(first)];
                const Prepared& ps = prepared[static_cast<std::size_t>(second)];
                YearValue v;
                if (pf.set != ps.set || !prepared_pair(pf, ps, s, v))
                    v = pair_year(cells(first), cells(second), s, scratch);
                Running& run = running[pair_index(first, second)];
                run.most = std::max(run.most, v.n);
                if (v.status == YearValue::Status::constant) {
                    run.constant = true;
                    if (v.first_constant) constant[static_cast<std::size_t>(first)] = true;
                    if (v.second_constant) constant[static_cast<std::size_t>(second)] = true;
                }
                if (v.status != YearValue::Status::counts) continue;
                const double w = s.weighting == Weighting::weighted ? static_cast<double>(v.n) : 1.0;
                const double term = s.measure == Measure::cor && s.average == Average::z
                                        ? std::atanh(std::clamp(v.value, -kClip, kClip))
                                        : v.value;
                run.sum += w * term;
                run.weight += w;
            }
        for (int l = 0; l < locations; ++l)
            if (constant[static_cast<std::size_t>(l)]) r.constant.push_back({static_cast<int>(y), l});
        m.lower.reserve(m.retained.size() * (m.retained.size() - (m.retained.empty() ? 0 : 1)) / 2);
        for (std::size_t i = 1; i < m.retained.size(); ++i)
            for (std::size_t j = 0; j < i; ++j) {
                const Running& run = running[pair_index(m.retained[j], m.retained[i])];
                if (!(run.weight > 0.0)) {
                    r.gaps.push_back({static_cast<int>(y), m.retained[j], m.retained[i], run.most, run.constant});
                    m.lower.push_back(0.0);
                    continue;
                }
                const double mean = run.sum / run.weight;
                double d = mean;
                if (s.measure == Measure::cor) d = s.average == Average::z ? 1.0 - std::tanh(mean) : 1.0 - mean;
                m.lower.push_back(d);
            }
        r.years.push_back(std::move(m));
    }
    return r;
}

namespace {

// How many eigenvalues of the symmetric tridiagonal matrix (diagonal d,
// off-diagonal e) lie below x: the negative pivots of T - x I.
std::size_t below(const std::vector<double>& d, const std::vector<double>& e, double x) {
    std::size_t count = 0;
    double q = 1.0;
    for (std::size_t i = 0; i < d.size(); ++i) {
        q = d[i] - x - (i == 0 ? 0.0 : e[i - 1] * e[i - 1] / q);
        if (q == 0.0) q = -1e-300;  // x is an eigenvalue: count it as passed
        if (q < 0.0) ++count;
    }
    return count;
}

}  // namespace

double eigen_report_top(const std::vector<double>& lower, std::size_t n, double enough) {
    if (n < 2) return 0.0;
    // B in full, row by row: -D/2, less its row means, less its column means
    // (B is symmetric, so the column means of the row-centred matrix are the
    // row means less the grand mean).
    std::vector<double> b(n * n, 0.0);
    for (std::size_t i = 1; i < n; ++i)
        for (std::size_t j = 0; j < i; ++j) b[i * n + j] = b[j * n + i] = -0.5 * lower[i * (i - 1) / 2 + j];
    std::vector<double> row(n, 0.0);
    double grand = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t j = 0; j < n; ++j) row[i] += b[i * n + j];
        row[i] /= static_cast<double>(n);
        grand += row[i];
    }
    grand /= static_cast<double>(n);
    double frobenius = 0.0;
    for (std::size_t i = 0; i < n; ++i)
        for (std::size_t j = 0; j < n; ++j) {
            double& x = b[i * n + j];
            x = x - row[i] - row[j] + grand;
            frobenius += x * x;
        }
    const double bound = std::sqrt(static_cast<double>(n - 1) * frobenius);
    if (bound < enough) return bound;

    // Householder reflections I - v v'/h, column by column, leave the
    // tridiagonal matrix (d, e) with B's eigenvalues.
    std::vector<double> d(n), e(n - 1), v(n), p(n);
    for (std::size_t k = 0; k + 2 < n; ++k) {
        double norm = 0.0;
        for (std::size_t i = k + 1; i < n; ++i) norm += b[i * n + k] * b[i * n + k];
        norm = std::sqrt(norm);
        d[k] = b[k * n + k];
        if (norm == 0.0) {
            e[k] = 0.0;
            continue;
        }
        const double x0 = b[(k + 1) * n + k];
        const double alpha = x0 > 0.0 ? -norm : norm;
        e[k] = alpha;
        for (std::size_t i = k + 1; i < n; ++i) v[i] = b[i * n + k];
        v[k + 1] -= alpha;
        const double h = norm * norm - x0 * alpha;  // v'v / 2
        // p = B v / h, w = p - (v'p / 2h) v, B := B - v w' - w v'.
        double vp = 0.0;
        for (std::size_t i = k + 1; i < n; ++i) {
            double s = 0.0;
            for (std::size_t j = k + 1; j < n; ++j) s += b[i * n + j] * v[j];
            p[i] = s / h;
            vp += v[i] * p[i];
        }
        const double c = vp / (2.0 * h);
        for (std::size_t i = k + 1; i < n; ++i) p[i] -= c * v[i];
        for (std::size_t i = k + 1; i < n; ++i)
            for (std::size_t j = k + 1; j < n; ++j) b[i * n + j] -= v[i] * p[j] + p[i] * v[j];
    }
    d[n - 2] = b[(n - 2) * n + n - 2];
    d[n - 1] = b[(n - 1) * n + n - 1];
    e[n - 2] = b[(n - 1) * n + n - 2];

    // The j-th largest eigenvalue by bisection inside Gershgorin's bounds.
    double lo = 0.0, hi = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        const double r = (i > 0 ? std::fabs(e[i - 1]) : 0.0) + (i + 1 < n ? std::fabs(e[i]) : 0.0);
        lo = std::min(lo, d[i] - r);
        hi = std::max(hi, d[i] + r);
    }
    auto eigenvalue = [&](std::size_t j) {
        double a = lo, z = hi;
        for (int it = 0; it < 200 && a < z; ++it) {
            const double mid = a + (z - a) / 2;
            if (mid <= a || mid >= z) break;
            if (below(d, e, mid) > n - j) z = mid;
            else a = mid;
        }
        return a + (z - a) / 2;
    };
    const double first = eigenvalue(1);
    if (!(first > 0.0)) return 0.0;
    double kept = first;
    for (std::size_t j = 2; j <= n; ++j) {
        const double ev = eigenvalue(j);
        if (!(ev / first * 100.0 > 1.0)) break;
        kept += ev;
    }
    return std::max(first, kept);
}

}  // namespace seqord::proximity
