// The fits of the years onto one another, the consensus and the
// stability of the locations.
#include "motion/motion.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <map>
#include <numbers>
#include <stdexcept>
#include <system_error>

#include "results/results.h"

namespace seqord::motion {

namespace {

// Singular values at or below this share of the largest count as zero.
constexpr double kRankTolerance = 1e-10;
// Two principal axes whose spreads differ by less than this share of the
// largest are taken as tied.
constexpr double kTieTolerance = 1e-9;
// Sweeps of the one-sided Jacobi method; a k <= 4 problem in double
// precision settles in well under ten.
constexpr int kMaxSweeps = 60;

double dot(const Coords& a, const Coords& b, int k) {
    double s = 0.0;
    for (int i = 0; i < k; ++i) s += a[std::size_t(i)] * b[std::size_t(i)];
    return s;
}

double distance(const Coords& a, const Coords& b, int k) {
    double s = 0.0;
    for (int i = 0; i < k; ++i) {
        const double d = a[std::size_t(i)] - b[std::size_t(i)];
        s += d * d;
    }
    return std::sqrt(s);
}

Matrix identity() {
    Matrix m{};
    for (std::size_t i = 0; i < 4; ++i) m[i][i] = 1.0;
    return m;
}

// x R for a row vector x.
Coords times(const Coords& x, const Matrix& r, int k) {
    Coords y{};
    for (int j = 0; j < k; ++j) {
        double s = 0.0;
        for (int i = 0; i < k; ++i) s += x[std::size_t(i)] * r[std::size_t(i)][std::size_t(j)];
        y[std::size_t(j)] = s;
    }
    return y;
}

Coords minus(const Coords& a, const Coords& b, int k) {
    Coords d{};
    for (int i = 0; i < k; ++i) d[std::size_t(i)] = a[std::size_t(i)] - b[std::size_t(i)];
    return d;
}

Coords plus(const Coords& a, const Coords& b, int k) {
    Coords d{};
    for (int i = 0; i < k; ++i) d[std::size_t(i)] = a[std::size_t(i)] + b[std::size_t(i)];
    return d;
}

Coords mean_of(const std::vector<Coords>& rows, int k) {
    Coords m{};
    if (rows.empty()) return m;
    for (const Coords& r : rows)
        for (int i = 0; i < k; ++i) m[std::size_t(i)] += r[std::size_t(i)];
    for (int i = 0; i < k; ++i) m[std::size_t(i)] /= double(rows.size());
    return m;
}

double determinant(const Matrix& a, int k) {
    // Gaussian elimination with partial pivoting on a copy.
    Matrix m = a;
    double det = 1.0;
    for (int c = 0; c < k; ++c) {
        int p = c;
        for (int r = c + 1; r < k; ++r)
            if (std::fabs(m[std::size_t(r)][std::size_t(c)]) > std::fabs(m[std::size_t(p)][std::size_t(c)])) p = r;
        if (m[std::size_t(p)][std::size_t(c)] == 0.0) return 0.0;
        if (p != c) {
            std::swap(m[std::size_t(p)], m[std::size_t(c)]);
            det = -det;
        }
        det *= m[std::size_t(c)][std::size_t(c)];
        for (int r = c + 1; r < k; ++r) {
            const double f = m[std::size_t(r)][std::size_t(c)] / m[std::size_t(c)][std::size_t(c)];
            for (int j = c; j < k; ++j) m[std::size_t(r)][std::size_t(j)] -= f * m[std::size_t(c)][std::size_t(j)];
        }
    }
    return det;
}

std::string year_text(const YearPoints& y) { return std::to_string(y.index) + " (" + y.name + ")"; }

void check_k(int k) {
    if (k < kMinFitAxes || k > kMaxFitAxes)
        throw std::invalid_argument("the number of axes fitted must be " + std::to_string(kMinFitAxes) + " to " +
                                    std::to_string(kMaxFitAxes) + ", not " + std::to_string(k));
}

}  // namespace

std::string number(double v) {
    if (v == 0.0) return "0";  // no "-0"
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

Svd svd(const std::vector<Coords>& a, int k) {
    check_k(k);
    const std::size_t m = a.size();
    std::vector<Coords> w = a;  // W = A V, its columns made orthogonal
    Matrix v = identity();
    for (std::size_t i = 0; i < m; ++i)
        for (std::size_t j = std::size_t(k); j < 4; ++j) w[i][j] = 0.0;
    for (int sweep = 0; sweep < kMaxSweeps; ++sweep) {
        bool rotated = false;
        for (int p = 0; p + 1 < k; ++p)
            for (int q = p + 1; q < k; ++q) {
                const auto P = std::size_t(p), Q = std::size_t(q);
                double alpha = 0.0, beta = 0.0, gamma = 0.0;
                for (std::size_t i = 0; i < m; ++i) {
                    alpha += w[i][P] * w[i][P];
                    beta += w[i][Q] * w[i][Q];
                    gamma += w[i][P] * w[i][Q];
                }
                if (gamma == 0.0 || std::fabs(gamma) <= 1e-15 * std::sqrt(alpha * beta)) continue;
                const double zeta = (beta - alpha) / (2.0 * gamma);
                const double t = (zeta >= 0.0 ? 1.0 : -1.0) / (std::fabs(zeta) + std::sqrt(1.0 + zeta * zeta));
                const double c = 1.0 / std::sqrt(1.0 + t * t), s = c * t;
                for (std::size_t i = 0; i < m; ++i) {
                    const double wp = w[i][P], wq = w[i][Q];
                    w[i][P] = c * wp - s * wq;
                    w[i][Q] = s * wp + c * wq;
                }
                for (std::size_t i = 0; i < 4; ++i) {
                    const double vp = v[i][P], vq = v[i][Q];
                    v[i][P] = c * vp - s * vq;
                    v[i][Q] = s * vp + c * vq;
                }
                rotated = true;
            }
        if (!rotated) break;
    }
    // Column norms are the singular values; order them decreasing (the
    // earlier column first among equals).
    std::array<double, 4> norm{};
    std::array<int, 4> order{0, 1, 2, 3};
    for (int j = 0; j < k; ++j) {
        double s = 0.0;
        for (std::size_t i = 0; i < m; ++i) s += w[i][std::size_t(j)] * w[i][std::size_t(j)];
        norm[std::size_t(j)] = std::sqrt(s);
    }
    std::stable_sort(order.begin(), order.begin() + k,
                     [&](int x, int y) { return norm[std::size_t(x)] > norm[std::size_t(y)]; });
    Svd out;
    out.u.assign(m, Coords{});
    for (int j = 0; j < k; ++j) {
        const auto from = std::size_t(order[std::size_t(j)]), to = std::size_t(j);
        out.s[to] = norm[from];
        for (std::size_t i = 0; i < std::size_t(k); ++i) out.v[i][to] = v[i][from];
        if (norm[from] > 0.0)
            for (std::size_t i = 0; i < m; ++i) out.u[i][to] = w[i][from] / norm[from];
    }
    return out;
}

Procrustes fit(const std::vector<Coords>& x, const std::vector<Coords>& y, int k) {
    check_k(k);
    if (x.size() != y.size()) throw std::invalid_argument("motion::fit: the two point sets differ in size");
    Procrustes f;
    f.n = x.size();
    f.rotation = identity();
    f.x_mean = mean_of(x, k);
    f.y_mean = mean_of(y, k);
    std::vector<Coords> xc(f.n), yc(f.n);
    double xx = 0.0, yy = 0.0;
    for (std::size_t i = 0; i < f.n; ++i) {
        xc[i] = minus(x[i], f.x_mean, k);
        yc[i] = minus(y[i], f.y_mean, k);
        xx += dot(xc[i], xc[i], k);
        yy += dot(yc[i], yc[i], k);
        const double d = distance(xc[i], yc[i], k);
        f.ss_before += d * d;
    }
    f.ss_fit = f.ss_before;
    f.determined = f.n >= kMinCommon;
    if (!f.determined) return f;

    // A = Yᵀ X, k x k.
    std::vector<Coords> a(std::size_t(k), Coords{});
    for (std::size_t i = 0; i < f.n; ++i)
        for (int r = 0; r < k; ++r)
            for (int c = 0; c < k; ++c) a[std::size_t(r)][std::size_t(c)] += yc[i][std::size_t(r)] * xc[i][std::size_t(c)];
    Svd d = svd(a, k);

    // Directions A leaves open: complete U with the unit vectors that stand
    // furthest from the columns it has, in turn.
    const double tol = d.s[0] * kRankTolerance;
    int rank = 0;
    while (rank < k && d.s[std::size_t(rank)] > tol) ++rank;
    for (int j = rank; j < k; ++j) {
        Coords best{};
        double best_norm = -1.0;
        for (int e = 0; e < k; ++e) {
            Coords c{};
            c[std::size_t(e)] = 1.0;
            for (int i = 0; i < j; ++i) {
                double p = 0.0;
                for (int r = 0; r < k; ++r) p += d.u[std::size_t(r)][std::size_t(i)] * c[std::size_t(r)];
                for (int r = 0; r < k; ++r) c[std::size_t(r)] -= p * d.u[std::size_t(r)][std::size_t(i)];
            }
            const double nc = std::sqrt(dot(c, c, k));
            if (nc > best_norm + 1e-12) {
                best_norm = nc;
                best = c;
            }
        }
        for (int r = 0; r < k; ++r) d.u[std::size_t(r)][std::size_t(j)] = best[std::size_t(r)] / best_norm;
    }
    f.completed = rank < k;

    auto rotation_of = [&] {
        Matrix r{};
        for (int i = 0; i < k; ++i)
            for (int j = 0; j < k; ++j) {
                double s = 0.0;
                for (int c = 0; c < k; ++c) s += d.u[std::size_t(i)][std::size_t(c)] * d.v[std::size_t(j)][std::size_t(c)];
                r[std::size_t(i)][std::size_t(j)] = s;
            }
        return r;
    };
    f.rotation = rotation_of();
    if (f.completed && determinant(f.rotation, k) < 0.0) {
        for (int r = 0; r < k; ++r) d.u[std::size_t(r)][std::size_t(k - 1)] = -d.u[std::size_t(r)][std::size_t(k - 1)];
        f.rotation = rotation_of();
    }
    f.reflection = determinant(f.rotation, k) < 0.0;
    f.angle_degrees = std::atan2(f.rotation[0][1], f.rotation[0][0]) * 180.0 / std::numbers::pi;

    f.ss_fit = 0.0;
    for (std::size_t i = 0; i < f.n; ++i) {
        const double e = distance(xc[i], times(yc[i], f.rotation, k), k);
        f.ss_fit += e * e;
    }
    double trace = 0.0;
    for (int j = 0; j < k; ++j) trace += d.s[std::size_t(j)];
    if (xx > 0.0 && yy > 0.0) f.r = std::min(1.0, trace / std::sqrt(xx * yy));
    return f;
}

std::vector<YearPoints> from_years(const std::vector<results::Year>& years, int k, const std::string& orp_path,
                                   std::vector<std::string>& warnings) {
    check_k(k);
    std::vector<YearPoints> out;
    out.reserve(years.size());
    for (const results::Year& y : years) {
        YearPoints yp;
        yp.index = y.head.index;
        yp.name = std::string(results::trimmed(y.head.name));
        for (const results::PointRecord& p : y.points) {
            Point pt;
            pt.location = p.location;
            pt.name = std::string(results::trimmed(p.name));
            bool known = true;
            for (int a = 0; a < k; ++a) {
                const results::Printed& v = p.axis[std::size_t(a)];
                if (!v.known()) {
                    known = false;
                    break;
                }
                double d = 0.0;
                const char* b = v.text.data();
                const auto r = std::from_chars(b, b + v.text.size(), d);
                if (r.ec != std::errc() || r.ptr != b + v.text.size()) d = double(v.value);
                pt.x[std::size_t(a)] = d;
            }
            if (!known) {
                warnings.push_back(orp_path + ", line " + std::to_string(p.line) + ": location " +
                                   std::to_string(p.location) + " (" + pt.name + ") of year " +
                                   std::to_string(yp.index) + " (" + yp.name +
                                   ") has a value printed as asterisks on its first " + std::to_string(k) +
                                   " axes and is left out of the fits");
                continue;
            }
            yp.points.push_back(std::move(pt));
        }
        out.push_back(std::move(yp));
    }
    return out;
}

Motion analyse(const std::vector<YearPoints>& years, int k) {
    check_k(k);
    Motion m;
    m.k = k;

    // 1. Pairs of successive years, on the locations both hold.
    for (std::size_t j = 0; j + 1 < years.size(); ++j) {
        const YearPoints &a = years[j], &b = years[j + 1];
        std::vector<Coords> x, y;
        for (std::size_t i = 0, l = 0; i < a.points.size() && l < b.points.size();) {
            if (a.points[i].location < b.points[l].location) ++i;
            else if (b.points[l].location < a.points[i].location) ++l;
            else {
                x.push_back(a.points[i++].x);
                y.push_back(b.points[l++].x);
            }
        }
        PairFit p;
        p.from = j;
        p.to = j + 1;
        p.year_index = a.index;
        p.next_year_index = b.index;
        p.common = x.size();
        const Procrustes f = fit(x, y, k);
        if (f.determined) {
            p.ss_seqord = f.ss_before;
            p.ss_fit = f.ss_fit;
            p.procrustes_r = f.r;
            p.reflection = f.reflection;
            p.angle_degrees = f.angle_degrees;
        }
        m.pairs.push_back(p);
    }

    // 2. The years placed one by one onto the running mean of those placed.
    struct Sum {
        Coords total{};
        std::size_t count = 0;
    };
    std::map<std::int32_t, Sum> sums;
    auto add = [&](const PlacedYear& py) {
        for (const Point& p : py.points) {
            Sum& s = sums[p.location];
            s.total = plus(s.total, p.x, k);
            ++s.count;
        }
    };
    for (std::size_t j = 0; j < years.size(); ++j) {
        const YearPoints& y = years[j];
        PlacedYear py{j, y.index, y.name, y.points};
        if (y.points.empty()) {  // a year without a block in the run: nothing to place, nothing to warn of
            m.not_placed.push_back(j);
            continue;
        }
        if (m.placed.empty()) {
            if (y.points.size() < kMinCommon) {
                m.not_placed.push_back(j);
                m.warnings.push_back("year " + year_text(y) + " is not placed: it holds " +
                                     std::to_string(y.points.size()) + " location" +
                                     (y.points.size() == 1 ? "" : "s") + " with all " + std::to_string(k) +
                                     " axes, fewer than " + std::to_string(kMinCommon));
                continue;
            }
        } else {
            std::vector<Coords> target, own;
            for (const Point& p : y.points) {
                const auto it = sums.find(p.location);
                if (it == sums.end()) continue;
                Coords mean{};
                for (int i = 0; i < k; ++i) mean[std::size_t(i)] = it->second.total[std::size_t(i)] / double(it->second.count);
                target.push_back(mean);
                own.push_back(p.x);
            }
            if (own.size() < kMinCommon) {
                m.not_placed.push_back(j);
                m.warnings.push_back("year " + year_text(y) + " is not placed: it shares " +
                                     std::to_string(own.size()) + " location" + (own.size() == 1 ? "" : "s") +
                                     " with the years placed before it, fewer than " + std::to_string(kMinCommon));
                continue;
            }
            const Procrustes f = fit(target, own, k);
            if (f.completed)
                m.warnings.push_back("year " + year_text(y) + ": the locations it shares with the years placed before it "
                                     "lie in fewer than " + std::to_string(k) +
                                     " dimensions; where they leave a direction open it is placed by a rotation, "
                                     "not a reflection");
            for (Point& p : py.points) p.x = plus(times(minus(p.x, f.y_mean, k), f.rotation, k), f.x_mean, k);
        }
        add(py);
        m.placed.push_back(std::move(py));
    }
    if (m.placed.empty()) return m;

    // The consensus, and the principal axes of its centred positions.
    std::vector<std::int32_t> ids;
    std::vector<Coords> consensus;
    for (const auto& [id, s] : sums) {
        Coords c{};
        for (int i = 0; i < k; ++i) c[std::size_t(i)] = s.total[std::size_t(i)] / double(s.count);
        ids.push_back(id);
        consensus.push_back(c);
    }
    const Coords centre = mean_of(consensus, k);
    std::vector<Coords> centred(consensus.size());
    for (std::size_t i = 0; i < consensus.size(); ++i) centred[i] = minus(consensus[i], centre, k);
    Svd d = svd(centred, k);
    Matrix axes = d.v;
    for (int j = 0; j < k; ++j) {
        // The consensus coordinate of greatest magnitude is positive.
        double best = 0.0, sign = 1.0;
        for (const Coords& c : centred) {
            const double v = dot(c, Coords{axes[0][std::size_t(j)], axes[1][std::size_t(j)], axes[2][std::size_t(j)],
                                           axes[3][std::size_t(j)]},
                                 k);
            if (std::fabs(v) > best) {
                best = std::fabs(v);
                sign = v < 0.0 ? -1.0 : 1.0;
            }
        }
        for (int i = 0; i < k; ++i) axes[std::size_t(i)][std::size_t(j)] *= sign;
    }
    for (int j = 0; j + 1 < k; ++j)
        if (d.s[std::size_t(j)] - d.s[std::size_t(j + 1)] <= kTieTolerance * d.s[0])
            m.warnings.push_back("dimensions " + std::to_string(j + 1) + " and " + std::to_string(j + 2) +
                                 " of the consensus carry the same spread; their directions in that plane are "
                                 "arbitrary (kept as they fall)");
    for (int j = 0; j < k; ++j) m.spread_of_axes[std::size_t(j)] = d.s[std::size_t(j)] / std::sqrt(double(centred.size()));
    auto final_frame = [&](const Coords& p) { return times(minus(p, centre, k), axes, k); };

    std::map<std::int32_t, std::vector<Coords>> path;  // placed positions, year order
    std::map<std::int32_t, std::string> names;
    for (PlacedYear& py : m.placed)
        for (Point& p : py.points) {
            p.x = final_frame(p.x);
            path[p.location].push_back(p.x);
            names.emplace(p.location, p.name);
        }

    // 3. Stability.
    for (std::size_t i = 0; i < ids.size(); ++i) {
        Location l;
        l.location = ids[i];
        l.name = names[ids[i]];
        l.consensus = final_frame(consensus[i]);
        const std::vector<Coords>& ps = path[ids[i]];
        l.years = ps.size();
        double ss = 0.0, steps = 0.0;
        for (std::size_t t = 0; t < ps.size(); ++t) {
            const double e = distance(ps[t], l.consensus, k);
            ss += e * e;
            if (t > 0) steps += distance(ps[t], ps[t - 1], k);
        }
        l.spread = std::sqrt(ss / double(ps.size()));
        if (ps.size() > 1) l.mean_step = steps / double(ps.size() - 1);
        m.locations.push_back(std::move(l));
    }
    return m;
}

}  // namespace seqord::motion
