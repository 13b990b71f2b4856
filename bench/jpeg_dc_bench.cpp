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

#include "core/formats/jpeg_dc_decoder.h"
#include "core/formats/picture_rows.h"

namespace {

// The import benchmark's picture (the same recipe and path, so whole_import_vs_djpeg.sh times
// the same file), written when it is not there yet, then read into memory.
const std::vector<std::uint8_t>& BenchBytes() {
    static std::vector<std::uint8_t> bytes;
    static std::once_flag once;
    std::call_once(once, [] {
        constexpr int w = 6000, h = 4000;
        const std::filesystem::path path = std::filesystem::temp_directory_path() / "pixquil_bench_6000x4000.jpg";
        if (!std::filesystem::exists(path)) {
            FILE* f = std::fopen(path.c_str(), "wb");
            if (!f) return;
            jpeg_compress_struct c{};
            jpeg_error_mgr err{};
            c.err = jpeg_std_error(&err);
            jpeg_create_compress(&c);
            jpeg_stdio_dest(&c, f);
            c.image_width = w;
            c.image_height = h;
            c.input_components = 3;
            c.in_color_space = JCS_RGB;
            jpeg_set_defaults(&c);
            jpeg_set_quality(&c, 90, TRUE);
            jpeg_start_compress(&c, TRUE);
            std::vector<JSAMPLE> row(std::size_t(w) * 3);
            std::uint32_t seed = 1;
            while (c.next_scanline < c.image_height) {
                const unsigned y = c.next_scanline;
                for (int x = 0; x < w; ++x) {
                    seed = seed * 22695477u + 1;
                    const unsigned noise = (seed >> 16) & 15;
                    row[3 * x] = JSAMPLE((x * 255 / w + noise) & 255);
                    row[3 * x + 1] = JSAMPLE((y * 255 / h + noise) & 255);
                    row[3 * x + 2] = JSAMPLE(((x / 64 + y / 64) % 2 ? 200 : 60) + noise);
                }
                JSAMPROW r = row.data();
                jpeg_write_scanlines(&c, &r, 1);
            }
            jpeg_finish_compress(&c);
            jpeg_destroy_compress(&c);
            std::fclose(f);
        }
        std::ifstream in(path, std::ios::binary);
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
