// The fast import: a JPEG decoded scaled down by the DCT, then sampled over that picture.
#include "core/formats/picture_import.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include <jpeglib.h>

#include "core/formats/jpeg_reader.h"
#include "core/formats/reduced_box.h"
#include "support/test_paths.h"

using namespace pq;

namespace {

// A photograph-like picture: smooth gradients with soft round shapes and a little grain, so that
// the DCT's scaled decoding has real detail to lose; h_samp x v_samp is the chroma subsampling
// (1 x 1 is 4:4:4, 2 x 1 4:2:2, 2 x 2 4:2:0).
std::vector<std::uint8_t> PhotoJpeg(int w, int h, int hSamp, int vSamp) {
    jpeg_compress_struct c{};
    jpeg_error_mgr err{};
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &out, &size);
    c.image_width = JDIMENSION(w);
    c.image_height = JDIMENSION(h);
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 90, TRUE);
    c.comp_info[0].h_samp_factor = hSamp;
    c.comp_info[0].v_samp_factor = vSamp;
    jpeg_start_compress(&c, TRUE);
    std::vector<JSAMPLE> row(3 * std::size_t(w));
    unsigned grain = 12345;
    while (c.next_scanline < c.image_height) {
        const int y = int(c.next_scanline);
        for (int x = 0; x < w; ++x) {
            grain = grain * 1103515245u + 12345u;
            const double d = std::hypot(x - w * 0.6, y - h * 0.4) / (0.3 * std::min(w, h));
            const double spot = d < 1 ? 90 * (1 - d * d) : 0;
            const int n = int((grain >> 16) % 9) - 4;
            row[3 * std::size_t(x)] = JSAMPLE(std::clamp(int(40 + 150.0 * x / w + spot) + n, 0, 255));
            row[3 * std::size_t(x) + 1] = JSAMPLE(std::clamp(int(200 - 120.0 * y / h + spot / 2) + n, 0, 255));
            row[3 * std::size_t(x) + 2] = JSAMPLE(std::clamp(int(60 + 60 * std::sin(x / 37.0) * std::cos(y / 23.0)) + n, 0, 255));
        }
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&c, &r, 1);
    }
    jpeg_finish_compress(&c);
    std::vector<std::uint8_t> bytes(out, out + size);
    jpeg_destroy_compress(&c);
    std::free(out);
    return bytes;
}

std::filesystem::path WriteTemp(const std::string& name, const std::vector<std::uint8_t>& bytes) {
    const auto path = std::filesystem::temp_directory_path() / name;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f) {
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
    return path;
}

// The mean over all pixels and channels of |a - b|, and the largest difference.
double MeanDifference(const Raster& a, const Raster& b, int* largest = nullptr) {
    long long sum = 0;
    int most = 0;
    for (int y = 0; y < a.Height(); ++y)
        for (int x = 0; x < 3 * a.Width(); ++x) {
            const int d = std::abs(int(a.Row(y)[x]) - int(b.Row(y)[x]));
            sum += d;
            most = std::max(most, d);
        }
    if (largest) *largest = most;
    return double(sum) / (3.0 * a.Width() * a.Height());
}

}  // namespace

// The smallest scale still twice the target on each side, the narrower side deciding; nothing
// when even half the picture is too small, or for an empty or reversed frame.
TEST(ReducedScale, PicksTheSmallestScaleStillTwiceTheTarget) {
    EXPECT_EQ(ReducedScale(6000, 4000, 48, 32), 8);
    EXPECT_EQ(ReducedScale(767, 4000, 48, 48), 4);   // 767 / 8 < 96
    EXPECT_EQ(ReducedScale(300, 100, 48, 16), 2);
    EXPECT_EQ(ReducedScale(191, 5000, 48, 48), 1);
    EXPECT_EQ(ReducedScale(-6000, 4000, 16, 16), 1);
}

// Non-square, odd-sized photographs in every subsampling, whole and framed (partly off the
// picture): the fast import stays within 2 per channel on average of the exact one, and it
// really decodes the smaller picture (a sink sees the scaled size, rounded up).
TEST(ReducedJpegImport, CloseToTheExactImportOnPhotographs) {
    struct Sampling {
        int h, v;
    };
    for (const Sampling s : {Sampling{1, 1}, Sampling{2, 1}, Sampling{2, 2}}) {
        const auto path = WriteTemp("pixquil_reduced_" + std::to_string(s.h) + std::to_string(s.v) + ".jpg",
                                    PhotoJpeg(1001, 667, s.h, s.v));
        struct Frame {
            int l, t, r, b, w, h;
        };
        for (const Frame f : {Frame{0, 0, 1001, 667, 48, 48}, Frame{0, 0, 1001, 667, 47, 31}, Frame{-20, 33, 801, 700, 32, 16},
                              Frame{101, 7, 507, 413, 48, 48}}) {
            Raster exact(f.w, f.h), fast(f.w, f.h);
            exact.Fill(kWhite);
            fast.Fill(kWhite);
            ASSERT_TRUE(ResampleJpegFileArea(path, f.l, f.t, f.r, f.b, exact).Ok);
            ASSERT_TRUE(ResampleJpegFileArea(path, f.l, f.t, f.r, f.b, fast, true).Ok);
            int largest = 0;
            const double mean = MeanDifference(exact, fast, &largest);
            EXPECT_LE(mean, 2.0) << s.h << "x" << s.v << " frame " << f.l << "," << f.t << " to " << f.w << "x" << f.h;
            // No pixel far off either (white off the picture stays white).
            EXPECT_LT(largest, 40) << s.h << "x" << s.v;
        }
        std::filesystem::remove(path);
    }

    // 1001 x 667 for 48 x 48: an eighth, rounded up.
    struct Sizes : PictureRowSink {
        int Width = 0, Height = 0, Rows = 0;
        std::vector<std::uint8_t> row;
        int ScaleDenominator(int, int) override { return 8; }
        void Start(int w, int h) override { Width = w, Height = h, row.resize(3 * std::size_t(w)); }
        std::uint8_t* RowBuffer(int) override { return row.data(); }
        void RowDone(int) override { ++Rows; }
    } sizes;
    const std::vector<std::uint8_t> bytes = PhotoJpeg(1001, 667, 2, 2);
    JpegInfo info;
    ASSERT_TRUE(DecodeJpegRows(bytes, sizes, &info).Ok);
    EXPECT_EQ(sizes.Width, 126);
    EXPECT_EQ(sizes.Height, 84);
    EXPECT_EQ(sizes.Rows, 84);
    EXPECT_EQ(info.Width, 1001);   // the file's own size is still reported
}

// A real photograph with fine detail, 480 x 360, at every icon size that still reduces, whole
// and fitted: within 2 per channel on average of the exact import. Sampling the reduced picture
// at points one reduced pixel apart put it at 3 to 4.
TEST(ReducedJpegImport, CloseToTheExactImportOnARealPhotograph) {
    const std::filesystem::path path = test::CorpusDir() / "pillow" / "jpg" / "flower.jpg";
    if (!std::filesystem::exists(path)) GTEST_SKIP() << "no corpus";
    for (const int size : {16, 24, 32, 48})
        for (const int h : {size * 3 / 4, size}) {
            Raster exact(size, h), fast(size, h);
            exact.Fill(kWhite);
            fast.Fill(kWhite);
            ASSERT_TRUE(ResampleJpegFileArea(path, 0, 0, 480, 360, exact).Ok);
            ASSERT_TRUE(ResampleJpegFileArea(path, 0, 0, 480, 360, fast, true).Ok);
            ASSERT_GT(ReducedScale(480, 360, size, h), 1);
            EXPECT_LE(MeanDifference(exact, fast), 2.0) << size << "x" << h;
        }
}

// Over a picture made of uniform d x d blocks (odd sizes, so the last blocks are partial) the
// block means lose nothing, and the area average of the reduced picture equals the full
// picture's average weighted by each pixel's overlap with the cell, rounded down. Cells off
// the picture stay white.
TEST(ReducedBoxAverager, EqualsTheFullPicturesAreaAverageOverUniformBlocks) {
    const int w = 37, h = 23, d = 4;
    const int rw = (w + d - 1) / d, rh = (h + d - 1) / d;
    Raster reduced(rw, rh), full(w, h);
    unsigned seed = 99;
    for (int y = 0; y < rh; ++y)
        for (int x = 0; x < 3 * rw; ++x) {
            seed = seed * 1103515245u + 12345u;
            reduced.Row(y)[x] = std::uint8_t(seed >> 24);
        }
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < 3 * w; ++x) full.Row(y)[x] = reduced.Row(y / d)[3 * (x / 3 / d) + x % 3];
    struct Frame {
        double l, t, r, b;
        int tw, th;
    };
    for (const Frame f : {Frame{0, 0, 37, 23, 5, 3}, Frame{2.5, 1.25, 30.75, 22.5, 7, 4}, Frame{-10, -6, 20, 14, 6, 5}}) {
        Raster box(f.tw, f.th);
        box.Fill(kWhite);
        AverageReducedPicture(reduced, w, h, d, f.l, f.t, f.r, f.b, box);
        const double sx = (f.r - f.l) / f.tw, sy = (f.b - f.t) / f.th;
        for (int i = 0; i < f.th; ++i)
            for (int j = 0; j < f.tw; ++j) {
                const double x0 = f.l + sx * j, x1 = x0 + sx, y0 = f.t + sy * i, y1 = y0 + sy;
                double sum[3] = {}, area = 0;
                for (int y = 0; y < h; ++y)
                    for (int x = 0; x < w; ++x) {
                        const double a = std::max(0.0, std::min(x1, x + 1.0) - std::max(x0, double(x))) *
                                         std::max(0.0, std::min(y1, y + 1.0) - std::max(y0, double(y)));
                        area += a;
                        for (int c = 0; c < 3; ++c) sum[c] += a * full.Row(y)[3 * x + c];
                    }
                for (int c = 0; c < 3; ++c) {
                    const int want = area > 0 ? int(std::floor(sum[c] / area + 1e-9)) : 255;
                    EXPECT_NEAR(box.Row(i)[3 * j + c], want, area > 0 ? 1 : 0) << f.l << " cell " << j << "," << i;
                }
            }
    }
}

// A frame too small to scale decodes whole and gives the exact bytes; a file cut short is still
// refused when decoded scaled down.
TEST(ReducedJpegImport, SmallFramesStayExactAndCutFilesAreRefused) {
    std::vector<std::uint8_t> bytes = PhotoJpeg(333, 211, 2, 1);
    const auto path = WriteTemp("pixquil_reduced_small.jpg", bytes);
    Raster exact(48, 48), fast(48, 48);
    exact.Fill(kWhite);
    fast.Fill(kWhite);
    ASSERT_TRUE(ResampleJpegFileArea(path, 10, 10, 150, 150, exact).Ok);
    ASSERT_TRUE(ResampleJpegFileArea(path, 10, 10, 150, 150, fast, true).Ok);
    EXPECT_EQ(fast, exact);

    bytes.resize(bytes.size() / 2);
    const auto cut = WriteTemp("pixquil_reduced_cut.jpg", bytes);
    Raster target(16, 16);
    target.Fill(kWhite);
    const FileResult r = ResampleJpegFileArea(cut, 0, 0, 333, 211, target, true);
    std::filesystem::remove(path);
    std::filesystem::remove(cut);
    EXPECT_FALSE(r.Ok);
    EXPECT_EQ(r.Message, kJpegInvalidMessage);
}

// "高速" with "全体を使う": the frame is the whole picture as without it, the preview within 2
// per channel on average of the exact one; a picture too small to reduce (or the choice left
// off) gives exactly the exact preview.
TEST(ReducedJpegImport, FastWholePictureInThePicker) {
    Raster picture;
    ASSERT_TRUE(DecodeJpeg(PhotoJpeg(1001, 667, 2, 2), picture).Ok);
    AreaPicker exact(picture, 48, 48), fast(picture, 48, 48);
    exact.UseWholePicture();
    fast.Fast = true;
    fast.UseWholePicture();
    EXPECT_EQ(fast.FrameRect(), exact.FrameRect());
    EXPECT_FALSE(fast.Dragging());
    EXPECT_LE(MeanDifference(fast.Preview(), exact.Preview()), 2.0);
    EXPECT_NE(fast.Preview(), exact.Preview());   // it did take the reduced route

    Raster small;
    ASSERT_TRUE(DecodeJpeg(PhotoJpeg(171, 95, 1, 1), small).Ok);
    AreaPicker a(small, 32, 32), b(small, 32, 32);
    a.UseWholePicture();
    b.Fast = true;
    b.UseWholePicture();
    EXPECT_EQ(b.Preview(), a.Preview());
}
