#include <benchmark/benchmark.h>

#include "core/document/document.h"
#include "core/document/layer_commands.h"
#include "core/document/random.h"
#include "core/document/render.h"
#include "core/ops/compositing.h"

// Blending and merging truecolour layers: a side x side document of four layers of random
// soft-alpha pixels (a quarter of them transparent). Each run works on a fresh copy of the
// document; the copy is timed too.
namespace {

pq::Document TrueColorLayers(int side) {
    pq::Document d;
    pq::InitBlankTrueColorDocument(d, side, side, 1);
    while (d.LayerCount() < 4) d.AppendLayer();
    pq::Lcg rng;
    for (int l = 0; l < 4; ++l)
        for (pq::Rgba8& px : d.LayerAt(l).Pixels) {
            const int a = rng.Next() % 4 == 0 ? 0 : rng.Next() % 256;
            px = pq::Rgba8{uint8_t(rng.Next()), uint8_t(rng.Next()), uint8_t(rng.Next()), uint8_t(a)};
        }
    return d;
}

const pq::Document& Base(int side) {
    static const pq::Document small = TrueColorLayers(48);
    static const pq::Document large = TrueColorLayers(256);
    return side == 48 ? small : large;
}

// 合成 of the bottom and top layers at 50%.
void BM_TrueColor_Composite(benchmark::State& state) {
    const int side = int(state.range(0));
    for (auto _ : state) {
        pq::Document d = Base(side);
        benchmark::DoNotOptimize(pq::CompositeLayers(d, 0, 3, 50));
    }
}
BENCHMARK(BM_TrueColor_Composite)->Arg(48)->Arg(256)->Unit(benchmark::kMicrosecond);

// The dialog's three pictures over the checkerboard, recomputed at each track-bar move.
void BM_TrueColor_CompositePreview(benchmark::State& state) {
    const pq::Document& d = Base(int(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(pq::PreviewComposite(d, 0, 3, 50, pq::TransparencyColors{}));
}
BENCHMARK(BM_TrueColor_CompositePreview)->Arg(48)->Arg(256)->Unit(benchmark::kMicrosecond);

// すべてのレイヤを統合 of the four layers.
void BM_TrueColor_MergeAll(benchmark::State& state) {
    const int side = int(state.range(0));
    for (auto _ : state) {
        pq::Document d = Base(side);
        benchmark::DoNotOptimize(pq::MergeAll(d, [] { return pq::MergeAnswer::No; }));
    }
}
BENCHMARK(BM_TrueColor_MergeAll)->Arg(48)->Arg(256)->Unit(benchmark::kMicrosecond);

}  // namespace
