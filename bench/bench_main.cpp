// Speed of the parts that grow with the data set: the decomposition (about
// n^3), the centring (n^2), and the record conversions every line goes through.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

#include "ordination/ordination.h"
#include "records/records.h"

namespace {

using seqord::Table;

// A centred similarity matrix of n points in four dimensions (what a year's
// double-centred squared distances look like), in a MAXL x MAXL table.
std::vector<float> centred_points(int n) {
    std::vector<float> x(static_cast<std::size_t>(4 * n));
    std::uint32_t s = 12345;
    for (auto& v : x) {
        s = s * 1664525u + 1013904223u;
        v = static_cast<float>(s >> 8) / 16777216.0f - 0.5f;
    }
    std::vector<float> a(static_cast<std::size_t>(n) * n);
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) {
            double d = 0;
            for (int k = 0; k < 4; ++k) {
                double t = x[static_cast<std::size_t>(4 * i + k)] - x[static_cast<std::size_t>(4 * j + k)];
                d += t * t;
            }
            a[static_cast<std::size_t>(j) * n + i] = static_cast<float>(-0.5 * d);
        }
    return a;
}

void BM_Jacobi(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const std::vector<float> start = centred_points(n);
    std::vector<float> a(start), v(a.size()), ev(static_cast<std::size_t>(n));
    std::vector<std::int32_t> iwk(static_cast<std::size_t>(n));
    auto guard = std::make_unique<seqord::ordination::JacobiGuard>();
    const bool guarded = state.range(1) != 0;
    std::int64_t rotations = 0;
    for (auto _ : state) {
        a = start;
        std::int32_t nrot = 0;
        seqord::ordination::jacobi(Table<float>{a.data(), static_cast<std::int64_t>(a.size()), n, n}, n, 0,
                                   Table<float>{v.data(), static_cast<std::int64_t>(v.size()), n, n}, nrot,
                                   Table<float>{ev.data(), n, n, 1}, Table<std::int32_t>{iwk.data(), n, n, 1}, n,
                                   guarded ? guard.get() : nullptr);
        rotations = nrot;
        benchmark::DoNotOptimize(a.data());
    }
    state.counters["rotations"] = static_cast<double>(rotations);
}
BENCHMARK(BM_Jacobi)->ArgsProduct({{20, 100, 400}, {0, 1}})->Unit(benchmark::kMillisecond);

void BM_FormatE16_8(benchmark::State& state) {
    float x = 0.123456f;
    for (auto _ : state) {
        benchmark::DoNotOptimize(seqord::format_e(x, 16, 8));
        x = x * 1.0001f;
    }
}
BENCHMARK(BM_FormatE16_8);

void BM_ParseE16_8(benchmark::State& state) {
    float x = 0;
    for (auto _ : state) {
        seqord::parse_real_field("       53937242 ", 8, x);
        benchmark::DoNotOptimize(x);
    }
}
BENCHMARK(BM_ParseE16_8);

}  // namespace
