#include "proximity/proximity.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace seqord::proximity {

namespace {

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
    if (standardise) {
        v.first_constant = all_equal(a);
        v.second_constant = all_equal(b);
    }
    const double n = static_cast<double>(v.n);
    const double ssa = centre(a), ssb = centre(b);
    if (standardise) {
        // Deviations so small that their squares vanish leave no spread either.
        v.first_constant = v.first_constant || !(ssa > 0.0);
        v.second_constant = v.second_constant || !(ssb > 0.0);
        if (v.first_constant || v.second_constant) {
            v.status = YearValue::Status::constant;
            return v;
        }
    }
    v.status = YearValue::Status::counts;
    if (s.measure == Measure::cor) {
        double sab = 0.0;
        for (std::size_t k = 0; k < a.size(); ++k) sab += a[k] * b[k];
        // Rounding may carry |r| a hair past 1.
        v.value = std::clamp(sab / std::sqrt(ssa * ssb), -1.0, 1.0);
        return v;
    }
    if (s.scaling == Scaling::standardised) {
        const double sda = std::sqrt(ssa / n), sdb = std::sqrt(ssb / n);
        for (double& x : a) x = x / sda;
        for (double& x : b) x = x / sdb;
    }
    double sum = 0.0;
    for (std::size_t k = 0; k < a.size(); ++k) {
        const double diff = a[k] - b[k];
        sum += diff * diff;
    }
    v.value = sum / n;
    return v;
}

Result compute(const std::vector<YearMeans>& years, int locations, const Settings& s) {
    Result r;
    const std::size_t L = static_cast<std::size_t>(std::max(locations, 0));
    std::vector<Running> running(L * (L > 0 ? L - 1 : 0) / 2);
    Scratch scratch;
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
        for (std::size_t j = 1; j < m.retained.size(); ++j)
            for (std::size_t i = 0; i < j; ++i) {
                const int first = m.retained[i], second = m.retained[j];
                const YearValue v = pair_year(cells(first), cells(second), s, scratch);
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

}  // namespace seqord::proximity
