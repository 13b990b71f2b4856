#include <benchmark/benchmark.h>

#include <ctime>
#include <random>
#include <unordered_set>

#include "core/document/color_reduction.h"
#include "support/reference_reduction.h"

// ReduceColors storing a 256 x 256 true-colour picture (about 65,000 distinct colours) into a
// blank 256 x 256 document with 256 entries: the hashed reduction against the literal one.
namespace {

struct Case {
    pq::Document doc;
    pq::Raster picture;
    std::size_t distinct = 0;
};

const Case& TrueColourCase() {
    static const Case c = [] {
        Case k;
        pq::InitBlankDocument(k.doc, 256, 256, 256, 20);
        k.picture = pq::Raster(256, 256);
        std::mt19937 rng(12345);
        std::unordered_set<uint32_t> seen;
        for (int y = 0; y < 256; ++y)
            for (int x = 0; x < 256; ++x) {
                uint32_t v = rng() & 0xFFFFFF;
                k.picture.SetPixel(x, y, pq::FromColorRef(v));
                seen.insert(v);
            }
        k.distinct = seen.size();
        return k;
    }();
    return c;
}

void BM_ReduceColors_Fast(benchmark::State& state) {
    const Case& c = TrueColourCase();
    for (auto _ : state) {
        state.PauseTiming();
        pq::Document d = c.doc;
        state.ResumeTiming();
        benchmark::DoNotOptimize(pq::ReduceColors(d, 256, 0, &c.picture));
    }
    state.counters["distinct"] = double(c.distinct);
}
BENCHMARK(BM_ReduceColors_Fast)->Unit(benchmark::kMillisecond);

// One run of the literal reduction; afterwards its output is compared with the fast one and
// the speed-up over separately timed fast runs (processor time) is reported as a counter.
void BM_ReduceColors_Reference(benchmark::State& state) {
    const Case& c = TrueColourCase();
    // Processor time, so that other work on the machine does not skew the ratio.
    auto cpuSeconds = [] { return double(std::clock()) / CLOCKS_PER_SEC; };
    pq::Document slow;
    double slowSeconds = 0;
    for (auto _ : state) {
        state.PauseTiming();
        slow = c.doc;
        state.ResumeTiming();
        const double t0 = cpuSeconds();
        benchmark::DoNotOptimize(pq::reference::ReduceColors(slow, 256, 0, &c.picture));
        slowSeconds += cpuSeconds() - t0;
    }

    pq::Document fast = c.doc;
    pq::ReduceColors(fast, 256, 0, &c.picture);
    if (!(fast.Palette == slow.Palette) || !(fast.Layers() == slow.Layers())) {
        state.SkipWithError("fast and reference reductions differ");
        return;
    }
    const int runs = 20;
    double fastSeconds = 0;
    for (int i = 0; i < runs; ++i) {
        pq::Document d = c.doc;
        const double t0 = cpuSeconds();
        benchmark::DoNotOptimize(pq::ReduceColors(d, 256, 0, &c.picture));
        fastSeconds += cpuSeconds() - t0;
    }
    state.counters["distinct"] = double(c.distinct);
    state.counters["fast_ms"] = 1000.0 * fastSeconds / runs;
    state.counters["speedup"] = (slowSeconds / double(state.iterations())) / (fastSeconds / runs);
    state.counters["identical"] = 1;
}
BENCHMARK(BM_ReduceColors_Reference)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
