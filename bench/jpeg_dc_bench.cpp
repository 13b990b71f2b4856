// The 1/8 decoding of a 6000 x 4000 JPEG held in memory: the DC-only decoder against
// libjpeg-turbo's own 1/8 scale and its full-size decoding of the same bytes.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <vector>

#include <jpeglib.h>

#include "bench_jpeg.h"
#include "core/formats/jpeg_dc_decoder.h"
#include "core/formats/picture_rows.h"

namespace {

// The import benchmark's picture, read into memory.
const std::vector<std::uint8_t>& BenchBytes() {
    static std::vector<std::uint8_t> bytes;
    static std::once_flag once;
    std::call_once(once, [] {
        std::ifstream in(pq::bench::BenchJpeg(), std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), {});
    });
    return bytes;
}

class NullSink : public pq::PictureRowSink {
public:
    void Start(int w, int) override { row.resize(3 * std::size_t(w)); }
    std::uint8_t* RowBuffer(int) override { return row.data(); }
    void RowDone(int) override { benchmark::DoNotOptimize(row.data()); }
    std::vector<std::uint8_t> row;
};

void Libjpeg(benchmark::State& state, unsigned denom) {
    const std::vector<std::uint8_t>& bytes = BenchBytes();
    std::vector<JSAMPLE> row;
    for (auto _ : state) {
        jpeg_decompress_struct d{};
        jpeg_error_mgr err{};
        d.err = jpeg_std_error(&err);
        jpeg_create_decompress(&d);
        jpeg_mem_src(&d, bytes.data(), static_cast<unsigned long>(bytes.size()));
        jpeg_read_header(&d, TRUE);
        d.scale_num = 1;
        d.scale_denom = denom;
        d.out_color_space = JCS_EXT_BGR;
        jpeg_start_decompress(&d);
        row.resize(3 * std::size_t(d.output_width));
        JSAMPROW r = row.data();
        while (d.output_scanline < d.output_height) jpeg_read_scanlines(&d, &r, 1);
        jpeg_finish_decompress(&d);
        jpeg_destroy_decompress(&d);
        benchmark::DoNotOptimize(row.data());
    }
}

}  // namespace

static void BM_JpegDcOnlyEighth(benchmark::State& state) {
    const std::vector<std::uint8_t>& bytes = BenchBytes();
    for (auto _ : state) {
        NullSink sink;
        if (pq::DecodeJpegDcRows(bytes, sink) != pq::JpegDcOutcome::Decoded) {
            state.SkipWithError("not decoded");
            break;
        }
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(bytes.size()));
}
BENCHMARK(BM_JpegDcOnlyEighth)->Unit(benchmark::kMillisecond);

static void BM_LibjpegEighth(benchmark::State& state) { Libjpeg(state, 8); }
BENCHMARK(BM_LibjpegEighth)->Unit(benchmark::kMillisecond);

static void BM_LibjpegFull(benchmark::State& state) { Libjpeg(state, 1); }
BENCHMARK(BM_LibjpegFull)->Unit(benchmark::kMillisecond);
