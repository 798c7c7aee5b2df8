#include "bench_data.h"

#include <cstddef>
#include <random>

namespace seqord::bench {

std::vector<float> centred_matrix(int n, int dim) {
    std::mt19937 gen(12345u + static_cast<unsigned>(n));
    std::normal_distribution<double> z(0.0, 1.0);
    std::vector<double> x(static_cast<std::size_t>(n) * static_cast<std::size_t>(dim));
    for (double& v : x) v = z(gen);
    const auto at = [n](int i, int j) { return static_cast<std::size_t>(j) * static_cast<std::size_t>(n) + static_cast<std::size_t>(i); };
    std::vector<double> d(static_cast<std::size_t>(n) * static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) {
            double s = 0;
            for (int k = 0; k < dim; ++k) {
                const double t = x[static_cast<std::size_t>(i * dim + k)] - x[static_cast<std::size_t>(j * dim + k)];
                s += t * t;
            }
            d[at(i, j)] = -0.5 * s / dim;
        }
    std::vector<double> row(static_cast<std::size_t>(n), 0.0);
    double all = 0;
    for (int i = 0; i < n; ++i) {
        for (int j = 0; j < n; ++j) row[static_cast<std::size_t>(i)] += d[at(i, j)];
        all += row[static_cast<std::size_t>(i)];
        row[static_cast<std::size_t>(i)] /= n;
    }
    all /= static_cast<double>(n) * n;
    std::vector<float> a(d.size());
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j)
            a[at(i, j)] = static_cast<float>(d[at(i, j)] - row[static_cast<std::size_t>(i)] - row[static_cast<std::size_t>(j)] + all);
    return a;
}

}  // namespace seqord::bench
