// The least time any decomposition that keeps the precision rules can take:
// each rotation rounds every element it changes from a double-precision
// product sum to single precision, in A (the n elements that pair the two
// indices with every other) and in V (two columns of n).  This case makes
// only that arithmetic, as many times as the shipped decomposition rotates
// at the same order, on two pairs of rows that stay in the first-level
// cache, with the widest double-precision vectors the processor has.  It
// leaves out everything else a rotation needs: the row records, the pivot,
// the rescans and the walk through the matrix.
#include <benchmark/benchmark.h>
#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <vector>

#include "bench_data.h"
#include "ordination/ordination.h"

namespace {

using Turn = void (*)(float*, float*, int, double, double);

// x, y <- c x + s y, c y - s x over k elements (k a multiple of eight), in
// double precision, each result rounded once.
void turn_plain(float* x, float* y, int k, double c, double s) {
    for (int i = 0; i < k; ++i) {
        const double a = x[i], b = y[i];
        x[i] = static_cast<float>(c * a + s * b);
        y[i] = static_cast<float>(c * b - s * a);
    }
}

#if defined(__x86_64__)
// GCC 12's own conversion intrinsics start from an undefined vector, which
// it then warns about.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
__attribute__((target("avx512f"))) void turn_512(float* x, float* y, int k, double c, double s) {
    const __m512d vc = _mm512_set1_pd(c), vs = _mm512_set1_pd(s);
    for (int i = 0; i < k; i += 8) {
        const __m512d a = _mm512_cvtps_pd(_mm256_loadu_ps(x + i)), b = _mm512_cvtps_pd(_mm256_loadu_ps(y + i));
        _mm256_storeu_ps(x + i, _mm512_cvtpd_ps(_mm512_add_pd(_mm512_mul_pd(vc, a), _mm512_mul_pd(vs, b))));
        _mm256_storeu_ps(y + i, _mm512_cvtpd_ps(_mm512_sub_pd(_mm512_mul_pd(vc, b), _mm512_mul_pd(vs, a))));
    }
}
#pragma GCC diagnostic pop

__attribute__((target("avx2"))) void turn_256(float* x, float* y, int k, double c, double s) {
    const __m256d vc = _mm256_set1_pd(c), vs = _mm256_set1_pd(s);
    for (int i = 0; i < k; i += 4) {
        const __m256d a = _mm256_cvtps_pd(_mm_loadu_ps(x + i)), b = _mm256_cvtps_pd(_mm_loadu_ps(y + i));
        _mm_storeu_ps(x + i, _mm256_cvtpd_ps(_mm256_add_pd(_mm256_mul_pd(vc, a), _mm256_mul_pd(vs, b))));
        _mm_storeu_ps(y + i, _mm256_cvtpd_ps(_mm256_sub_pd(_mm256_mul_pd(vc, b), _mm256_mul_pd(vs, a))));
    }
}

Turn widest_turn() {
    if (__builtin_cpu_supports("avx512f")) return turn_512;
    if (__builtin_cpu_supports("avx2")) return turn_256;
    return turn_plain;  // which the compiler's default vectors may carry
}
#else
Turn widest_turn() { return turn_plain; }
#endif

// The rotations the shipped decomposition makes at order n.
std::int32_t shipped_rotations(int n) {
    static std::map<int, std::int32_t> known;
    auto [it, added] = known.try_emplace(n, 0);
    if (!added) return it->second;
    std::vector<float> a = seqord::bench::centred_matrix(n), v(a.size()), ev(static_cast<std::size_t>(n));
    std::vector<std::int32_t> iwk(static_cast<std::size_t>(n));
    const auto nn = static_cast<std::int64_t>(a.size());
    auto scratch = std::make_unique<seqord::ordination::JacobiGuard>();
    it->second = seqord::ordination::jacobi({a.data(), nn, n, n}, n, 0, {v.data(), nn, n, n}, {ev.data(), n, n, 1},
                                            {iwk.data(), n, n, 1}, scratch.get())
                     .nrot;
    return it->second;
}

void BM_Floor(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const std::int32_t rotations = shipped_rotations(n);
    const int k = (n + 7) / 8 * 8;
    // The rows stand apart by k and a line more, so that no two of them
    // fall on the same cache sets whatever n is.
    const int apart = k + 16;
    std::vector<float> rows(4 * static_cast<std::size_t>(apart), 0.5f);
    const Turn turn = widest_turn();
    // The vector arithmetic timed here must be the arithmetic the rules
    // require: the same bits as the plain expressions, or no floor.
    {
        std::vector<float> plain(2 * static_cast<std::size_t>(k)), wide;
        for (int i = 0; i < 2 * k; ++i) plain[static_cast<std::size_t>(i)] = 1.0f / static_cast<float>(i + 3);
        wide = plain;
        turn_plain(plain.data(), plain.data() + k, k, 0.8, 0.6);
        turn(wide.data(), wide.data() + k, k, 0.8, 0.6);
        if (std::memcmp(plain.data(), wide.data(), plain.size() * sizeof(float)) != 0) {
            state.SkipWithError("the vector arithmetic differs from the plain expressions");
            return;
        }
    }
    for (auto _ : state) {
        float* const x = rows.data();
        for (std::int32_t r = 0; r < rotations; ++r) {
            turn(x, x + apart, k, 0.8, 0.6);                  // A
            turn(x + 2 * apart, x + 3 * apart, k, 0.8, 0.6);  // V
        }
        benchmark::DoNotOptimize(rows.data());
        benchmark::ClobberMemory();
    }
    state.counters["rotations"] = rotations;
}
BENCHMARK(BM_Floor)->Name("Jacobi/floor")->Arg(400)->Arg(415)->Unit(benchmark::kMillisecond);

}  // namespace
