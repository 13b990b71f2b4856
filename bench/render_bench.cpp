#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <random>
#include <vector>

#include "core/document/document.h"
#include "core/document/render.h"
#include "core/document/strokes.h"

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

// The truecolour form: each layer about a third painted with random colours of random partial
// alpha (1..254), so that every painted pixel blends instead of replacing what is below.
pq::Document SoftTrueColorDocument(int width, int height, int layers) {
    pq::Document d;
    pq::InitBlankTrueColorDocument(d, width, height, 20);
    std::mt19937 rng(7);
    for (int l = 0; l < layers; ++l) {
        if (l > 0) d.AppendLayer();
        for (pq::Rgba8& px : d.LayerAt(l).Pixels)
            if (rng() % 3 == 0) px = pq::Rgba8{uint8_t(rng()), uint8_t(rng()), uint8_t(rng()), uint8_t(1 + rng() % 254)};
    }
    return d;
}

const pq::TransparencyColors kColors{};
// An 800 x 600 viewport in the middle of the 5120 x 5120 canvas of a 256 x 256 picture at 20x.
const pq::Rect kViewport{2000, 2100, 2800, 2700};

// Processor seconds per call of the on-demand view, kept for the ratio reported by the full
// build. Processor time keeps the ratio steady on a busy machine.
double g_viewSeconds = 0;
double CpuSeconds() { return double(std::clock()) / CLOCKS_PER_SEC; }

// The zoomed view of the 800 x 600 screen rectangle being painted (what the canvas asks for).
void BM_RenderZoomedView_256x256x16_20x_800x600(benchmark::State& state) {
    const pq::Document d = PaintedDocument(256, 256, 16);
    pq::Composite c;
    pq::Recompose(d, kColors, c);
    pq::Raster out;
    const double start = CpuSeconds();
    for (auto _ : state) {
        pq::RenderZoomedView(d, c, 20, kColors, true, kViewport, out);
        benchmark::DoNotOptimize(out.Data());
    }
    g_viewSeconds = (CpuSeconds() - start) / double(state.iterations());
}
BENCHMARK(BM_RenderZoomedView_256x256x16_20x_800x600)->Unit(benchmark::kMicrosecond);

// The same viewport of the soft-alpha truecolour document: every square blends its pixel over
// the checker under it.
void BM_RenderZoomedView_TrueColor_256x256x16_20x_800x600(benchmark::State& state) {
    const pq::Document d = SoftTrueColorDocument(256, 256, 16);
    pq::Composite c;
    pq::Recompose(d, kColors, c);
    pq::Raster out;
    for (auto _ : state) {
        pq::RenderZoomedView(d, c, 20, kColors, true, kViewport, out);
        benchmark::DoNotOptimize(out.Data());
    }
}
BENCHMARK(BM_RenderZoomedView_TrueColor_256x256x16_20x_800x600)->Unit(benchmark::kMicrosecond);

// Building the whole 5120 x 5120 zoomed bitmap step by step, as a full redraw would. The counter
// `ratio` is its processor time divided by the on-demand view's, measured just before in this run.
void BM_BuildFullZoomedView_256x256x16_20x(benchmark::State& state) {
    const pq::Document d = PaintedDocument(256, 256, 16);
    pq::Composite c;
    pq::Recompose(d, kColors, c);
    const double start = CpuSeconds();
    for (auto _ : state) {
        pq::Raster full = pq::BuildFullZoomedView(d, c, 20, kColors, true);
        benchmark::DoNotOptimize(full.Data());
    }
    const double seconds = (CpuSeconds() - start) / double(state.iterations());
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

// The whole rebuild of a palette document and of a soft-alpha truecolour one of the same size,
// palette first. The truecolour run's counter `vs_palette` is its processor time per rebuild
// divided by the palette run's, measured just before in this run.
double g_paletteSeconds = 0;
void WholeRecompose(benchmark::State& state, int width, int height, int layers, bool trueColor) {
    const pq::Document d = trueColor ? SoftTrueColorDocument(width, height, layers) : PaintedDocument(width, height, layers);
    pq::Composite c;
    pq::Recompose(d, kColors, c);
    const double start = CpuSeconds();
    for (auto _ : state) {
        pq::Recompose(d, kColors, c);
        benchmark::DoNotOptimize(c.CompositeColor.Data());
    }
    const double seconds = (CpuSeconds() - start) / double(state.iterations());
    if (!trueColor)
        g_paletteSeconds = seconds;
    else if (g_paletteSeconds > 0)
        state.counters["vs_palette"] = seconds / g_paletteSeconds;
}
BENCHMARK_CAPTURE(WholeRecompose, Palette_256x256x16, 256, 256, 16, false)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(WholeRecompose, TrueColor_256x256x16, 256, 256, 16, true)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(WholeRecompose, Palette_48x48x4, 48, 48, 4, false)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(WholeRecompose, TrueColor_48x48x4, 48, 48, 4, true)->Unit(benchmark::kMicrosecond);

// One brush move event: stamp the brush from the previous pixel to the new one, then either
// the whole rebuild (recompose everything, render the visible 800 x 600 viewport at 20x) or
// what the canvas does now: recompose the rectangle the stroke touched and render its squares
// inside the viewport. The brush (size 3) runs back and forth along a diagonal inside the
// viewport. Counters give the median and the mean latency of one event in microseconds.
void BrushMoveEvent(benchmark::State& state, int size, int layers, bool incremental) {
    pq::Document d = layers > 1 ? PaintedDocument(size, size, layers) : pq::Document{};
    if (layers <= 1) pq::InitBlankDocument(d, size, size, 16, 20);
    d.Zoom = 20;
    const int canvas = size * 20;
    const int left = std::max(0, (canvas - 800) / 2), top = std::max(0, (canvas - 600) / 2);
    const pq::Rect viewport{left, top, std::min(canvas, left + 800), std::min(canvas, top + 600)};
    // Image pixels under the viewport, kept one pixel inside its edges.
    const int x0 = left / 20 + 1, y0 = top / 20 + 1;
    const int span = std::min(viewport.Width(), viewport.Height()) / 20 - 2;
    pq::StrokeContext ctx;
    ctx.BrushSize = 3;
    ctx.StrokeColor = 4;
    pq::Composite comp;
    pq::Recompose(d, kColors, comp);
    pq::Raster view;
    std::vector<double> micros;
    micros.reserve(1 << 16);
    int step = 0, px = x0, py = y0;
    for (auto _ : state) {
        const int k = step++ % (2 * span);
        const int t = k < span ? k : 2 * span - k;
        const int nx = x0 + t, ny = y0 + t / 2;
        const auto start = Clock::now();
        const pq::Rect touched = pq::StampLine(d, ctx, px, py, nx, ny, false);
        if (incremental) {
            pq::Recompose(d, kColors, touched, comp);
            const pq::Rect& c = comp.Changed;
            const pq::Rect zoomed{std::max(c.left * 20, viewport.left), std::max(c.top * 20, viewport.top),
                                  std::min(c.right * 20, viewport.right), std::min(c.bottom * 20, viewport.bottom)};
            if (!zoomed.Empty()) pq::RenderZoomedView(d, comp, 20, kColors, true, zoomed, view);
        } else {
            pq::Recompose(d, kColors, comp);
            pq::RenderZoomedView(d, comp, 20, kColors, true, viewport, view);
        }
        benchmark::DoNotOptimize(view.Data());
        micros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
        px = nx, py = ny;
    }
    if (micros.empty()) return;
    double sum = 0;
    for (double m : micros) sum += m;
    std::nth_element(micros.begin(), micros.begin() + std::ptrdiff_t(micros.size() / 2), micros.end());
    state.counters["median_us"] = micros[micros.size() / 2];
    state.counters["mean_us"] = sum / double(micros.size());
}
BENCHMARK_CAPTURE(BrushMoveEvent, 48x48_1layer_20x_800x600_whole, 48, 1, false)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BrushMoveEvent, 48x48_1layer_20x_800x600_rect, 48, 1, true)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BrushMoveEvent, 256x256_1layer_20x_800x600_whole, 256, 1, false)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BrushMoveEvent, 256x256_1layer_20x_800x600_rect, 256, 1, true)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BrushMoveEvent, 256x256_16layers_20x_800x600_whole, 256, 16, false)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BrushMoveEvent, 256x256_16layers_20x_800x600_rect, 256, 16, true)->Unit(benchmark::kMicrosecond);

// The rectangle form of Recompose for a 5 x 5 area (a size-3 brush moved one pixel) against
// the whole rebuild above.
void BM_RecomposeRect_256x256x16_5x5(benchmark::State& state) {
    const pq::Document d = PaintedDocument(256, 256, 16);
    pq::Composite c;
    pq::Recompose(d, kColors, c);
    for (auto _ : state) {
        pq::Recompose(d, kColors, pq::Rect{120, 130, 125, 135}, c);
        benchmark::DoNotOptimize(c.CompositeColor.Data());
    }
}
BENCHMARK(BM_RecomposeRect_256x256x16_5x5)->Unit(benchmark::kMicrosecond);

}  // namespace
