#include <benchmark/benchmark.h>

#include <algorithm>
#include <ctime>

#include "core/document/document.h"
#include "core/document/random.h"
#include "core/document/render.h"
#include "core/document/strokes.h"
#include "core/ops/filters.h"
#include "core/ops/pixel_effects.h"
#include "core/ops/transforms.h"
#include "support/layered_document.h"

// The image operations on the largest document the New dialog makes: 48 x 48, 256 colours,
// four layers each about two thirds painted with random indices of a random palette
// (support/layered_document.h). Each operation runs on a fresh copy of that document (the copy
// is timed too; BM_Ops_DocumentCopy gives its share). The counter `vs_brush` is the operation's processor time divided by that of
// one brush move event on the same document, measured first in the same run.
namespace {

const pq::Document& Base() {
    static const pq::Document d = [] {
        pq::Document k = pq::test::RandomLayeredDocument(11);
        k.SetCurrentLayer(1);
        k.DrawColor = 3;
        k.AuxColor = 200;
        return k;
    }();
    return d;
}

double CpuSeconds() { return double(std::clock()) / CLOCKS_PER_SEC; }
double g_brushSeconds = 0;

// One brush move as the canvas handles it: stamp a size-3 brush from the previous pixel to the
// next, recompose, render the visible 800 x 600 viewport of the 960 x 960 canvas at 20x; either
// all of it (`whole`) or, as the canvas does now, only the rectangle the stroke touched and its
// squares inside the viewport. Returns the processor seconds of one move.
double BrushMoves(benchmark::State& state, bool whole) {
    pq::Document d = Base();
    const pq::TransparencyColors colors{};
    const pq::Rect viewport{80, 180, 880, 780};
    pq::StrokeContext ctx;
    ctx.BrushSize = 3;
    ctx.StrokeColor = 4;
    pq::Composite comp;
    pq::Recompose(d, colors, comp);
    pq::Raster view;
    int step = 0, px = 10, py = 10;
    const double start = CpuSeconds();
    for (auto _ : state) {
        const int k = step++ % 50;
        const int t = k < 25 ? k : 50 - k;
        const int nx = 10 + t, ny = 10 + t / 2;
        const pq::Rect touched = pq::StampLine(d, ctx, px, py, nx, ny, false);
        if (whole) {
            pq::Recompose(d, colors, comp);
            pq::RenderZoomedView(d, comp, 20, colors, true, viewport, view);
        } else {
            pq::Recompose(d, colors, touched, comp);
            const pq::Rect& c = comp.Changed;
            const pq::Rect zoomed{std::max(c.left * 20, viewport.left), std::max(c.top * 20, viewport.top),
                                  std::min(c.right * 20, viewport.right), std::min(c.bottom * 20, viewport.bottom)};
            if (!zoomed.Empty()) pq::RenderZoomedView(d, comp, 20, colors, true, zoomed, view);
        }
        benchmark::DoNotOptimize(view.Data());
        px = nx, py = ny;
    }
    return (CpuSeconds() - start) / double(state.iterations());
}

void BM_Ops_BrushMoveEvent(benchmark::State& state) { g_brushSeconds = BrushMoves(state, true); }
BENCHMARK(BM_Ops_BrushMoveEvent)->Unit(benchmark::kMicrosecond);

// `vs_whole` is the rectangle's processor time divided by the whole rebuild's above.
void BM_Ops_BrushMoveEventRect(benchmark::State& state) {
    const double seconds = BrushMoves(state, false);
    if (g_brushSeconds > 0) state.counters["vs_whole"] = seconds / g_brushSeconds;
}
BENCHMARK(BM_Ops_BrushMoveEventRect)->Unit(benchmark::kMicrosecond);

// Runs `op` on a fresh copy of the base document per iteration.
template <class Op>
void RunOnCopies(benchmark::State& state, Op op) {
    pq::Document d;
    const double start = CpuSeconds();
    for (auto _ : state) {
        d = Base();
        op(d);
        benchmark::DoNotOptimize(d.Current().Indices.data());
    }
    const double seconds = (CpuSeconds() - start) / double(state.iterations());
    if (g_brushSeconds > 0) state.counters["vs_brush"] = seconds / g_brushSeconds;
}

void BM_Ops_DocumentCopy(benchmark::State& state) {
    RunOnCopies(state, [](pq::Document&) {});
}
BENCHMARK(BM_Ops_DocumentCopy)->Unit(benchmark::kMicrosecond);

void BM_Ops_Transform(benchmark::State& state, pq::TransformId id, pq::TransformArgs args) {
    RunOnCopies(state, [&](pq::Document& d) { pq::ApplyTransform(d, id, args); });
}
BENCHMARK_CAPTURE(BM_Ops_Transform, flip_h, pq::TransformId::FlipHorizontal, pq::TransformArgs{})->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Ops_Transform, flip_v, pq::TransformId::FlipVertical, pq::TransformArgs{})->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Ops_Transform, rotate_90, pq::TransformId::Rotate90, pq::TransformArgs{})->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Ops_Transform, rotate_180, pq::TransformId::Rotate180, pq::TransformArgs{})->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Ops_Transform, rotate_270, pq::TransformId::Rotate270, pq::TransformArgs{})->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Ops_Transform, rotate_by_33, pq::TransformId::RotateByAngle, pq::TransformArgs{.AngleDegrees = 33})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Ops_Transform, resize_to_32_scaled, pq::TransformId::Resize,
                  pq::TransformArgs{.NewWidth = 32, .NewHeight = 32, .Scale = true})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Ops_Transform, resize_to_16_cropped, pq::TransformId::Resize,
                  pq::TransformArgs{.NewWidth = 16, .NewHeight = 16, .Scale = false})
    ->Unit(benchmark::kMicrosecond);

// Each filter includes turning the layer into a picture and the colour reduction of all layers.
void BM_Ops_Filter(benchmark::State& state, pq::FilterId id) {
    RunOnCopies(state, [&](pq::Document& d) { pq::ApplyFilter(d, id); });
    state.SetLabel(pq::SpecOf(id).Key);
}
BENCHMARK_CAPTURE(BM_Ops_Filter, blur, pq::FilterId::Blur)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Ops_Filter, blur_strong, pq::FilterId::StrongBlur)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Ops_Filter, motion_h, pq::FilterId::MotionBlurHorizontal)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Ops_Filter, motion_v, pq::FilterId::MotionBlurVertical)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Ops_Filter, sharpen, pq::FilterId::Sharpen)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Ops_Filter, sharpen_strong, pq::FilterId::StrongSharpen)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Ops_Filter, relief, pq::FilterId::Relief)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Ops_Filter, emboss, pq::FilterId::Emboss)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Ops_Filter, contrast_up, pq::FilterId::ContrastUp)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Ops_Filter, contrast_down, pq::FilterId::ContrastDown)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Ops_Filter, edges, pq::FilterId::EdgeDetect)->Unit(benchmark::kMicrosecond);

void BM_Ops_PixelEffect(benchmark::State& state, pq::PixelEffectId id) {
    pq::Lcg rng;
    RunOnCopies(state, [&](pq::Document& d) { pq::ApplyPixelEffect(d, id, rng, 3, 2); });
}
BENCHMARK_CAPTURE(BM_Ops_PixelEffect, diffuse, pq::PixelEffectId::Diffuse)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Ops_PixelEffect, unify, pq::PixelEffectId::Unify)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Ops_PixelEffect, noise, pq::PixelEffectId::Noise)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Ops_PixelEffect, color_noise, pq::PixelEffectId::ColorNoise)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Ops_PixelEffect, swap_h, pq::PixelEffectId::SwapPixelsHorizontal)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Ops_PixelEffect, swap_v, pq::PixelEffectId::SwapPixelsVertical)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Ops_PixelEffect, scroll, pq::PixelEffectId::Scroll)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Ops_PixelEffect, shadow, pq::PixelEffectId::Shadow)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Ops_PixelEffect, replace_color, pq::PixelEffectId::ReplaceColor)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Ops_PixelEffect, erase, pq::PixelEffectId::Erase)->Unit(benchmark::kMicrosecond);

}  // namespace
