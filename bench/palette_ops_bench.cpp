#include <benchmark/benchmark.h>

#include <ctime>

#include "core/document/document.h"
#include "core/document/render.h"
#include "core/ops/compositing.h"
#include "core/ops/palette_adjust.h"
#include "support/layered_document.h"

// The palette commands and compositing on the largest document the New dialog makes: 48 x 48,
// 256 colours, four layers each about two thirds painted with random indices of a random
// palette (support/layered_document.h). Each command runs on a fresh copy of the document (the copy is timed too;
// BM_Palette_DocumentCopy gives its share). The counter `of_budget` is the processor time per
// run divided by the time a command may take (5 ms; 2 ms for a preview update), so it must stay
// below 1.
namespace {

const pq::Document& Base() {
    static const pq::Document d = [] {
        pq::Document k = pq::test::RandomLayeredDocument(29);
        k.SetCurrentLayer(0);
        return k;
    }();
    return d;
}

double CpuSeconds() { return double(std::clock()) / CLOCKS_PER_SEC; }

template <class Op>
void RunOnCopies(benchmark::State& state, double budgetSeconds, Op op) {
    pq::Document d;
    const double start = CpuSeconds();
    for (auto _ : state) {
        d = Base();
        benchmark::DoNotOptimize(op(d));
    }
    state.counters["of_budget"] = (CpuSeconds() - start) / double(state.iterations()) / budgetSeconds;
}

constexpr double kCommandBudget = 0.005;
constexpr double kPreviewBudget = 0.002;

void BM_Palette_DocumentCopy(benchmark::State& s) { RunOnCopies(s, kCommandBudget, [](pq::Document& d) { return d.Layers().size(); }); }
void BM_Palette_Invert(benchmark::State& s) { RunOnCopies(s, kCommandBudget, pq::InvertPalette); }
void BM_Palette_Solarize(benchmark::State& s) { RunOnCopies(s, kCommandBudget, pq::SolarizePalette); }
void BM_Palette_Grayscale(benchmark::State& s) { RunOnCopies(s, kCommandBudget, pq::GrayscalePalette); }
void BM_Palette_Brightness(benchmark::State& s) {
    RunOnCopies(s, kCommandBudget, [](pq::Document& d) { return pq::AdjustBrightness(d, 40); });
}
void BM_Palette_Rgb(benchmark::State& s) {
    RunOnCopies(s, kCommandBudget, [](pq::Document& d) { return pq::AdjustRgb(d, {-30, 20, 90}); });
}
// 256 -> 16: the colour reduction of every layer; 16 -> 256 from the reduced document.
void BM_Palette_ColorCountTo16(benchmark::State& s) {
    RunOnCopies(s, kCommandBudget, [](pq::Document& d) { return pq::ChangeColorCount(d, 16); });
}
void BM_Palette_ColorCountTo256(benchmark::State& s) {
    static const pq::Document reduced = [] {
        pq::Document d = Base();
        pq::ChangeColorCount(d, 16);
        return d;
    }();
    pq::Document d;
    const double start = CpuSeconds();
    for (auto _ : s) {
        d = reduced;
        benchmark::DoNotOptimize(pq::ChangeColorCount(d, 256));
    }
    s.counters["of_budget"] = (CpuSeconds() - start) / double(s.iterations()) / kCommandBudget;
}
// Both layer pictures, the blend, the reduction of all layers and the removal.
void BM_Palette_Composite(benchmark::State& s) {
    RunOnCopies(s, kCommandBudget, [](pq::Document& d) { return pq::CompositeLayers(d, 0, 1, 50); });
}

// What the brightness dialog does on every change of its amount: the shifted preview picture.
void BM_Palette_BrightnessPreviewUpdate(benchmark::State& state) {
    pq::Raster backdrop(48, 48);
    pq::PaintChecker(backdrop, 4, pq::TransparencyColors{});
    const pq::Raster source = pq::AdjustmentPreviewSource(Base(), backdrop);
    pq::Raster preview;
    int d = -255;
    const double start = CpuSeconds();
    for (auto _ : state) {
        pq::ShiftPicture(source, pq::ChannelShift::All(d), preview);
        benchmark::DoNotOptimize(preview.Data());
        d = d == 255 ? -255 : d + 1;
    }
    state.counters["of_budget"] = (CpuSeconds() - start) / double(state.iterations()) / kPreviewBudget;
}

}  // namespace

BENCHMARK(BM_Palette_DocumentCopy)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Palette_Invert)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Palette_Solarize)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Palette_Grayscale)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Palette_Brightness)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Palette_Rgb)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Palette_ColorCountTo16)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Palette_ColorCountTo256)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Palette_Composite)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Palette_BrightnessPreviewUpdate)->Unit(benchmark::kMicrosecond);
