// Label placement of seqord-plot on crowded panels: 400, 2,000 and 8,000
// locations all at one spot (every label competes for the same ring of
// places), in a cloud a few pixels wide (the same, with markers that are
// all different), and spread evenly over the panel, and the whole page of
// one year with all its locations at one spot.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "seqord-plot/plot.h"

namespace {

using namespace seqord::plot;

// A panel as the page draws it when it is crowded: the largest square, with
// labels of eight-character names in the monospace face.
constexpr double kSide = 1100, kLeft = 62, kTop = 44, kPad = 26;
constexpr double kLabelWidth = 8 * 6.6 + 2, kLabelHeight = 13, kMarker = 3.5;

const Box kBounds{kLeft + 2, kTop + 2, kLeft + kSide - 2, kTop + kSide - 2};

enum class Spread { OneSpot, Cloud, Even };

std::vector<LabelWish> wishes(std::size_t n, Spread spread) {
    std::vector<LabelWish> w;
    w.reserve(n);
    std::mt19937 rng(12345);
    std::uniform_real_distribution<double> at(kPad, kSide - kPad), near(-2.0, 2.0);
    for (std::size_t i = 0; i < n; ++i) {
        double x = kSide / 2, y = kSide / 2;
        if (spread == Spread::Cloud) {
            x += near(rng);
            y += near(rng);
        } else if (spread == Spread::Even) {
            x = at(rng);
            y = at(rng);
        }
        w.push_back({kLeft + x, kTop + y, kMarker, kLabelWidth, kLabelHeight});
    }
    return w;
}

void BM_PlaceLabels(benchmark::State& state, Spread spread) {
    const auto w = wishes(std::size_t(state.range(0)), spread);
    for (auto _ : state) {
        auto placed = place_labels(w, kBounds);
        benchmark::DoNotOptimize(placed.data());
    }
    state.SetComplexityN(state.range(0));
}

void BM_PageOneSpot(benchmark::State& state) {
    Year y;
    y.head.index = 1;
    y.head.name = seqord::Name::of("1996");
    const char* shares[] = {"40.000", "20.000", "10.000", "5.000"};
    for (std::size_t i = 0; i < 4; ++i) y.head.percent[i] = {std::stof(shares[i]), shares[i], 2};
    for (std::int32_t l = 1; l <= std::int32_t(state.range(0)); ++l)
        y.points.push_back({l, seqord::Name::of("LOC" + std::to_string(l)), 0.25f, -0.5f});
    Page p;
    p.years.push_back(y);
    for (auto _ : state) {
        std::vector<std::string> warnings;
        std::string page = render_svg("BENCH", p, warnings);
        benchmark::DoNotOptimize(page.data());
    }
}

}  // namespace

BENCHMARK_CAPTURE(BM_PlaceLabels, one_spot, Spread::OneSpot)
    ->Name("Labels/one_spot")->Arg(400)->Arg(2000)->Arg(8000)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_PlaceLabels, cloud, Spread::Cloud)
    ->Name("Labels/cloud")->Arg(400)->Arg(2000)->Arg(8000)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_PlaceLabels, spread, Spread::Even)
    ->Name("Labels/spread")->Arg(400)->Arg(2000)->Arg(8000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PageOneSpot)->Name("Labels/page_one_spot")->Arg(400)->Arg(2000)->Arg(8000)->Unit(benchmark::kMillisecond);
