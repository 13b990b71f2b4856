#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <random>
#include <vector>

#include "core/document/document.h"
#include "core/document/render.h"

namespace {

using Clock = std::chrono::steady_clock;

// A width x height document with `layers` layers, each about a third painted at random.
pq::Document PaintedDocument(int width, int height, int layers) {
    pq::Document d;
    pq::InitBlankDocument(d, width, height, 256, 20);
    d.Zoom = 20;
    std::mt19937 rng(7);
    for (int i = 0; i < 256; ++i) d.Palette[std::size_t(i)] = pq::MakeEntry(pq::Rgb{uint8_t(rng()), uint8_t(rng()), uint8_t(rng())});
    for (int l = 0; l < layers; ++l) {
        if (l > 0) d.AppendLayer();
        pq::Layer& layer = d.LayerAt(l);
        for (std::size_t p = 0; p < layer.Mask.size(); ++p)
            if (rng() % 3 == 0) {
                layer.Mask[p] = 1;
                layer.Indices[p] = uint8_t(rng());
            }
    }
    return d;
}

const pq::TransparencyColors kColors{};
// An 800 x 600 viewport in the middle of the 5120 x 5120 canvas of a 256 x 256 picture at 20x.
const pq::Rect kViewport{2000, 2100, 2800, 2700};

// Seconds per call of the on-demand view, kept for the ratio reported by the full build.
double g_viewSeconds = 0;

// The zoomed view of the 800 x 600 screen rectangle being painted (what the canvas asks for).
void BM_RenderZoomedView_256x256x16_20x_800x600(benchmark::State& state) {
    const pq::Document d = PaintedDocument(256, 256, 16);
    pq::Composite c;
    pq::Recompose(d, kColors, c);
    pq::Raster out;
    const auto start = Clock::now();
    for (auto _ : state) {
        pq::RenderZoomedView(d, c, 20, kColors, true, kViewport, out);
        benchmark::DoNotOptimize(out.Data());
    }
    g_viewSeconds = std::chrono::duration<double>(Clock::now() - start).count() / double(state.iterations());
}
BENCHMARK(BM_RenderZoomedView_256x256x16_20x_800x600)->Unit(benchmark::kMicrosecond);

// Building the whole 5120 x 5120 zoomed bitmap step by step, as a full redraw would. The counter
// `ratio` is its time divided by the on-demand view's time measured just before in this run.
void BM_BuildFullZoomedView_256x256x16_20x(benchmark::State& state) {
    const pq::Document d = PaintedDocument(256, 256, 16);
    pq::Composite c;
    pq::Recompose(d, kColors, c);
    const auto start = Clock::now();
    for (auto _ : state) {
        pq::Raster full = pq::BuildFullZoomedView(d, c, 20, kColors, true);
        benchmark::DoNotOptimize(full.Data());
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count() / double(state.iterations());
    if (g_viewSeconds > 0) state.counters["ratio"] = seconds / g_viewSeconds;
}
BENCHMARK(BM_BuildFullZoomedView_256x256x16_20x)->Unit(benchmark::kMillisecond);

// Rebuilding the composite and the 16 thumbnails after an edit.
void BM_Recompose_256x256x16(benchmark::State& state) {
    const pq::Document d = PaintedDocument(256, 256, 16);
    pq::Composite c;
    for (auto _ : state) {
        pq::Recompose(d, kColors, c);
        benchmark::DoNotOptimize(c.CompositeColor.Data());
    }
}
BENCHMARK(BM_Recompose_256x256x16)->Unit(benchmark::kMicrosecond);

}  // namespace
