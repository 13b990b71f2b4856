#include <benchmark/benchmark.h>

#include <random>

#include "core/document/color_reduction.h"
#include "core/document/quality_reduction.h"

// The quality palette builder beside median cut on the same pictures: a 256 x 256 picture of
// random colours (about 65,000 distinct) reduced to 256 entries, and a 48 x 48 one to 16.
namespace {

struct Case {
    pq::Document doc;
    pq::Raster picture;
};

Case MakeCase(int side, int colors, unsigned seed) {
    Case k;
    pq::InitBlankDocument(k.doc, side, side, colors, 20);
    k.picture = pq::Raster(side, side);
    std::mt19937 rng(seed);
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x) k.picture.SetPixel(x, y, pq::FromColorRef(rng() & 0xFFFFFF));
    return k;
}

const Case& Large() {
    static const Case c = MakeCase(256, 256, 12345);
    return c;
}
const Case& Small() {
    static const Case c = MakeCase(48, 16, 777);
    return c;
}

void Run(benchmark::State& state, const Case& c, int N, pq::ReductionOptions options) {
    for (auto _ : state) {
        state.PauseTiming();
        pq::Document d = c.doc;
        state.ResumeTiming();
        benchmark::DoNotOptimize(pq::ReduceColors(d, N, 0, &c.picture, options));
    }
}

constexpr pq::ReductionOptions kMedian{};
constexpr pq::ReductionOptions kQuality{pq::Quantizer::Quality, pq::Dither::None, 128};

void BM_MedianCut_256x256_to256(benchmark::State& s) { Run(s, Large(), 256, kMedian); }
void BM_Quality_256x256_to256(benchmark::State& s) { Run(s, Large(), 256, kQuality); }
void BM_MedianCut_48x48_to16(benchmark::State& s) { Run(s, Small(), 16, kMedian); }
void BM_Quality_48x48_to16(benchmark::State& s) { Run(s, Small(), 16, kQuality); }
BENCHMARK(BM_MedianCut_256x256_to256)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Quality_256x256_to256)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MedianCut_48x48_to16)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Quality_48x48_to16)->Unit(benchmark::kMicrosecond);

// Mapping the large picture to a fixed 256-entry palette with each dither.
void BM_MapToPalette(benchmark::State& state) {
    const Case& c = Large();
    pq::Document d = c.doc;
    pq::ReduceColors(d, 256, 0, &c.picture, kQuality);
    const auto dither = pq::Dither(state.range(0));
    for (auto _ : state)
        benchmark::DoNotOptimize(pq::MapToPalette(c.picture, nullptr, d.Palette.data(), 256, dither));
}
BENCHMARK(BM_MapToPalette)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

}  // namespace
