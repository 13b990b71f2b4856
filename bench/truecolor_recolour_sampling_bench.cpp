#include <benchmark/benchmark.h>

#include <cstdint>

#include "core/document/document.h"
#include "core/document/render.h"
#include "core/ops/palette_adjust.h"
#include "core/ops/transforms.h"

// The palette adjustments, rotation by an angle and the scaled size change on truecolour
// documents of four layers with soft alpha, at 48 x 48 (the New dialog's largest) and 256 x 256
// (the largest icon page). Each run adjusts a fresh copy of the document; the copy is timed too.
namespace {

pq::Document Layers(int side) {
    pq::Document d;
    pq::InitBlankTrueColorDocument(d, side, side, 10);
    for (int i = 1; i < 4; ++i) d.AppendLayer();
    std::uint32_t s = 7;
    for (int i = 0; i < 4; ++i)
        for (pq::Rgba8& p : d.LayerAt(i).Pixels) {
            s = s * 22695477u + 1;
            p = pq::Rgba8{std::uint8_t(s >> 8), std::uint8_t(s >> 16), std::uint8_t(s >> 24), std::uint8_t((s >> 4) % 3 ? s >> 12 : 0)};
        }
    return d;
}

const pq::Document& Base(int side) {
    static const pq::Document tiny = Layers(16), small = Layers(48), large = Layers(256);
    return side == 16 ? tiny : side == 48 ? small : large;
}

template <class Op>
void Run(benchmark::State& state, Op op) {
    const pq::Document& base = Base(int(state.range(0)));
    for (auto _ : state) {
        pq::Document d = base;
        benchmark::DoNotOptimize(op(d));
    }
}

void BM_TrueColor_Invert(benchmark::State& s) { Run(s, [](pq::Document& d) { return pq::InvertPalette(d); }); }
void BM_TrueColor_Grayscale(benchmark::State& s) { Run(s, [](pq::Document& d) { return pq::GrayscalePalette(d); }); }
void BM_TrueColor_Rgb(benchmark::State& s) {
    Run(s, [](pq::Document& d) { return pq::AdjustRgb(d, pq::ChannelShift{40, -20, 90}); });
}
void BM_TrueColor_RotateNearest(benchmark::State& s) { Run(s, [](pq::Document& d) { return pq::RotateByAngle(d, 33); }); }
void BM_TrueColor_RotateSmooth(benchmark::State& s) {
    Run(s, [](pq::Document& d) { return pq::RotateByAngle(d, 33, pq::Sampling::Smooth); });
}
// 48 -> 32 and 256 -> 48 shrink (the wider tent); 16 -> 48 and 48 -> 256 enlarge (bilinear).
void BM_TrueColor_ResizeSmooth(benchmark::State& s) {
    Run(s, [side = int(s.range(0))](pq::Document& d) {
        return pq::ResizeCanvas(d, side == 48 ? 32 : 48, side == 48 ? 32 : 48, true, pq::Sampling::Smooth);
    });
}
void BM_TrueColor_EnlargeSmooth(benchmark::State& s) {
    Run(s, [side = int(s.range(0))](pq::Document& d) {
        return pq::ResizeCanvas(d, side == 16 ? 48 : 256, side == 16 ? 48 : 256, true, pq::Sampling::Smooth);
    });
}
// The brightness dialog's preview update on the same document.
void BM_TrueColor_PreviewShift(benchmark::State& state) {
    const pq::Document& base = Base(int(state.range(0)));
    pq::Raster backdrop(base.ImageWidth, base.ImageHeight);
    pq::PaintChecker(backdrop, 4, pq::TransparencyColors{});
    const pq::AdjustmentPreview preview(base, backdrop);
    pq::Raster out;
    for (auto _ : state) {
        preview.Shift(pq::ChannelShift::All(25), out);
        benchmark::DoNotOptimize(out.Row(0));
    }
}

BENCHMARK(BM_TrueColor_Invert)->Arg(48)->Arg(256)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TrueColor_Grayscale)->Arg(48)->Arg(256)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TrueColor_Rgb)->Arg(48)->Arg(256)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TrueColor_RotateNearest)->Arg(48)->Arg(256)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TrueColor_RotateSmooth)->Arg(48)->Arg(256)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TrueColor_ResizeSmooth)->Arg(48)->Arg(256)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TrueColor_EnlargeSmooth)->Arg(16)->Arg(48)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TrueColor_PreviewShift)->Arg(48)->Arg(256)->Unit(benchmark::kMicrosecond);

}  // namespace
