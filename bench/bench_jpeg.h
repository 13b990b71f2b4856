#pragma once
// The benchmarks' 6000 x 4000 JPEG, written once per run to a fixed path that
// whole_import_vs_djpeg.sh also times.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include <jpeglib.h>

namespace pq::bench {

inline constexpr int kJpegWidth = 6000, kJpegHeight = 4000;

// Writes a synthetic photo-like 6000 x 4000 picture (smooth gradients with fine texture) once
// per run and returns its path.
inline const std::string& BenchJpeg() {
    static std::string path;
    static std::once_flag once;
    std::call_once(once, [] {
        path = (std::filesystem::temp_directory_path() / "pixquil_bench_6000x4000.jpg").string();
        FILE* f = std::fopen(path.c_str(), "wb");
        if (!f) return;
        jpeg_compress_struct c{};
        jpeg_error_mgr err{};
        c.err = jpeg_std_error(&err);
        jpeg_create_compress(&c);
        jpeg_stdio_dest(&c, f);
        c.image_width = kJpegWidth;
        c.image_height = kJpegHeight;
        c.input_components = 3;
        c.in_color_space = JCS_RGB;
        jpeg_set_defaults(&c);
        jpeg_set_quality(&c, 90, TRUE);
        jpeg_start_compress(&c, TRUE);
        std::vector<JSAMPLE> row(std::size_t(kJpegWidth) * 3);
        std::uint32_t seed = 1;
        while (c.next_scanline < c.image_height) {
            const unsigned y = c.next_scanline;
            for (int x = 0; x < kJpegWidth; ++x) {
                seed = seed * 22695477u + 1;
                const unsigned noise = (seed >> 16) & 15;
                row[3 * x] = JSAMPLE((x * 255 / kJpegWidth + noise) & 255);
                row[3 * x + 1] = JSAMPLE((y * 255 / kJpegHeight + noise) & 255);
                row[3 * x + 2] = JSAMPLE(((x / 64 + y / 64) % 2 ? 200 : 60) + noise);
            }
            JSAMPROW r = row.data();
            jpeg_write_scanlines(&c, &r, 1);
        }
        jpeg_finish_compress(&c);
        jpeg_destroy_compress(&c);
        std::fclose(f);
    });
    return path;
}

}  // namespace pq::bench
