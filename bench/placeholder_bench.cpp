#include <benchmark/benchmark.h>

#include "core/document/document.h"

// Setting up a blank 48 x 48 document: the baseline cost of every New.
static void BM_InitBlankDocument(benchmark::State& state) {
    for (auto _ : state) {
        pq::Document d;
        benchmark::DoNotOptimize(pq::InitBlankDocument(d, 48, 48, 256, 20));
    }
}
BENCHMARK(BM_InitBlankDocument);
