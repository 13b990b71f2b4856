#include "core/formats/jpeg_reader.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <vector>

#include <jpeglib.h>

#include "core/formats/bmp_reader.h"
#include "support/test_paths.h"

namespace fs = std::filesystem;
using namespace pq;
// The test folders and whole-file helpers (support/test_paths.h).
using namespace pq::test;

namespace {

// The picture the test files were compressed from: red rises with x, green with y, blue
// alternates 32/128 in 8 x 8 squares.
Rgb Gradient(int x, int y) { return Rgb{std::uint8_t(x * 6), std::uint8_t(y * 8), std::uint8_t((x / 8 + y / 8) % 2 ? 128 : 32)}; }

// Mean absolute channel difference.
double MeanDifference(const Raster& a, const Raster& b) {
    double sum = 0;
    for (int y = 0; y < a.Height(); ++y)
        for (int x = 0; x < a.Width(); ++x) {
            const Rgb p = a.PixelUnchecked(x, y), q = b.PixelUnchecked(x, y);
            sum += std::abs(p.r - q.r) + std::abs(p.g - q.g) + std::abs(p.b - q.b);
        }
    return sum / (3.0 * a.Width() * a.Height());
}

}  // namespace

// Baseline and progressive files decode to the picture they were made from (within the loss
// of compression), with channels and rows in the right order.
TEST(JpegReader, DecodesWhatWasCompressed) {
    for (const char* name : {"gradient.jpg", "gradient_progressive.jpg"}) {
        SCOPED_TRACE(name);
        Raster r;
        JpegInfo info;
        FileResult res = LoadJpegFile(DataDir() / "jpeg_reader" / name, r, &info);
        ASSERT_TRUE(res.Ok) << res.Message;
        EXPECT_EQ(info.Components, 3);
        ASSERT_EQ(r.Width(), 40);
        ASSERT_EQ(r.Height(), 30);
        double sum = 0;
        for (int y = 0; y < 30; ++y)
            for (int x = 0; x < 40; ++x) {
                const Rgb got = r.PixelUnchecked(x, y), want = Gradient(x, y);
                sum += std::abs(got.r - want.r) + std::abs(got.g - want.g) + std::abs(got.b - want.b);
            }
        EXPECT_LT(sum / (3 * 40 * 30), 6.0);   // swapped channels or rows give far more
        JpegInfo header;
        ASSERT_TRUE(ReadJpegInfo(ReadBytes(DataDir() / "jpeg_reader" / name), header).Ok);
        EXPECT_EQ(header.Width, 40);
        EXPECT_EQ(header.Height, 30);
    }
}

TEST(JpegReader, CorpusFilesDecodeOrAreRefused) {
    if (!HaveCorpus()) GTEST_SKIP() << "no corpus";
    const fs::path dir = CorpusDir() / "pillow/jpg";
    for (const auto& e : fs::directory_iterator(dir)) {
        const std::string name = e.path().filename().string();
        SCOPED_TRACE(name);
        Raster r;
        JpegInfo info;
        FileResult res = LoadJpegFile(e.path(), r, &info);
        if (name == "truncated_jpeg.jpg") {
            EXPECT_EQ(res.Message, kJpegInvalidMessage);
            EXPECT_TRUE(r.Empty());
            continue;
        }
        ASSERT_TRUE(res.Ok) << res.Message;
        EXPECT_EQ(r.Width(), info.Width);
        EXPECT_EQ(r.Height(), info.Height);
    }
}

TEST(JpegReader, GrayscaleAndCmykBecomeRgb) {
    if (!HaveCorpus()) GTEST_SKIP() << "no corpus";
    Raster gray, colour;
    JpegInfo info;
    ASSERT_TRUE(LoadJpegFile(CorpusDir() / "pillow/jpg/hopper_gray.jpg", gray, &info).Ok);
    EXPECT_EQ(info.Components, 1);
    ASSERT_TRUE(LoadJpegFile(CorpusDir() / "pillow/jpg/hopper.jpg", colour).Ok);
    EXPECT_EQ(gray.Width(), colour.Width());
    bool varied = false;
    for (int y = 0; y < gray.Height(); ++y)
        for (int x = 0; x < gray.Width(); ++x) {
            const Rgb p = gray.PixelUnchecked(x, y);
            ASSERT_TRUE(p.r == p.g && p.g == p.b);
            varied |= p.r != gray.PixelUnchecked(0, 0).r;
        }
    EXPECT_TRUE(varied);

    // The CMYK sample shows the same picture as the RGB one.
    Raster cmyk, rgb;
    ASSERT_TRUE(LoadJpegFile(CorpusDir() / "pillow/jpg/pil_sample_cmyk.jpg", cmyk, &info).Ok);
    EXPECT_EQ(info.Components, 4);
    ASSERT_TRUE(LoadJpegFile(CorpusDir() / "pillow/jpg/pil_sample_rgb.jpg", rgb).Ok);
    ASSERT_EQ(cmyk.Width(), rgb.Width());
    ASSERT_EQ(cmyk.Height(), rgb.Height());
    EXPECT_LT(MeanDifference(cmyk, rgb), 12.0);
}

TEST(JpegReader, MalformedFilesAreRefused) {
    for (const char* name : {"cut_in_scan.jpg", "header_only.jpg", "not_a_jpeg.jpg", "zero_height.jpg"}) {
        SCOPED_TRACE(name);
        Raster r;
        FileResult res = LoadJpegFile(DataDir() / "bad/jpeg_reader" / name, r);
        EXPECT_EQ(res.Message, kJpegInvalidMessage);
        EXPECT_FALSE(res.Ok);
        EXPECT_TRUE(r.Empty());
    }
    Raster r;
    EXPECT_EQ(LoadJpegFile(DataDir() / "bad/jpeg_reader/too_large.jpg", r).Message, kPictureTooLargeMessage);
    EXPECT_EQ(LoadJpegFile(DataDir() / "bad/jpeg_reader/missing.jpg", r).Message, kPictureFileOpenMessage);
    EXPECT_EQ(DecodeJpeg({}, r).Message, kJpegInvalidMessage);
}

// A file cut anywhere is refused (the decoder reads ahead, so even a file lacking only its
// end-of-image marker counts as cut). Bit flips are decoded or refused, never a crash.
TEST(JpegReader, TruncationsAndBitFlips) {
    const std::vector<std::uint8_t> good = ReadBytes(DataDir() / "jpeg_reader/gradient.jpg");
    ASSERT_GT(good.size(), 200u);
    for (std::size_t len = 0; len < good.size(); ++len) {
        Raster r;
        FileResult res = DecodeJpeg(std::span(good.data(), len), r);
        EXPECT_FALSE(res.Ok) << len;
        EXPECT_TRUE(r.Empty());
    }
    Raster r;
    EXPECT_TRUE(DecodeJpeg(good, r).Ok);

    for (const char* name : {"gradient.jpg", "gradient_progressive.jpg"}) {
        std::vector<std::uint8_t> bytes = ReadBytes(DataDir() / "jpeg_reader" / name);
        for (std::size_t bit = 0; bit < bytes.size() * 8; bit += 3) {
            bytes[bit / 8] ^= std::uint8_t(1u << (bit % 8));
            Raster p;
            FileResult res = DecodeJpeg(bytes, p);
            if (res.Ok) {
                EXPECT_FALSE(p.Empty());
            } else {
                EXPECT_TRUE(res.Message == kJpegInvalidMessage || res.Message == kPictureTooLargeMessage) << res.Message;
            }
            bytes[bit / 8] ^= std::uint8_t(1u << (bit % 8));
        }
    }
}

namespace {

// A flat grey picture compressed with the given scan script (none: baseline) or arithmetic
// coding.
std::vector<std::uint8_t> FlatGrey(int w, int h, const std::vector<jpeg_scan_info>& scans, bool arithmetic) {
    jpeg_compress_struct c{};
    jpeg_error_mgr err{};
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &out, &size);
    c.image_width = JDIMENSION(w);
    c.image_height = JDIMENSION(h);
    c.input_components = 1;
    c.in_color_space = JCS_GRAYSCALE;
    jpeg_set_defaults(&c);
    c.arith_code = arithmetic;
    if (!scans.empty()) {
        c.scan_info = scans.data();
        c.num_scans = int(scans.size());
    }
    jpeg_start_compress(&c, TRUE);
    std::vector<JSAMPLE> row(std::size_t(w), 128);
    while (c.next_scanline < c.image_height) {
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&c, &r, 1);
    }
    jpeg_finish_compress(&c);
    std::vector<std::uint8_t> bytes(out, out + size);
    jpeg_destroy_compress(&c);
    std::free(out);
    return bytes;
}

}  // namespace

// Work follows the data: a progressive file whose scans would walk the picture's blocks far
// more often than encoders do is refused (here 384 scans over 1024 x 1024; ten decode), and
// arithmetic-coded files, whose size says nothing about the picture, are refused.
TEST(JpegReader, ScansAndCodingAreBoundedByTheData) {
    std::vector<jpeg_scan_info> scans;
    auto scan = [&](int ss, int se, int ah, int al) { scans.push_back(jpeg_scan_info{1, {0, 0, 0, 0}, ss, se, ah, al}); };
    scan(0, 0, 0, 5);
    for (int al = 4; al >= 0; --al) scan(0, 0, al + 1, al);
    for (int k = 1; k <= 63; ++k) {
        scan(k, k, 0, 5);
        for (int al = 4; al >= 0; --al) scan(k, k, al + 1, al);
    }
    ASSERT_EQ(scans.size(), 384u);
    Raster r;
    EXPECT_EQ(DecodeJpeg(FlatGrey(1024, 1024, scans, false), r).Message, kJpegInvalidMessage);
    EXPECT_TRUE(r.Empty());
    scans.resize(10);
    ASSERT_TRUE(DecodeJpeg(FlatGrey(1024, 1024, scans, false), r).Ok);
    EXPECT_EQ(r.PixelUnchecked(1023, 1023), (Rgb{128, 128, 128}));

    const std::vector<std::uint8_t> arithmetic = FlatGrey(16, 16, {}, true);
    EXPECT_EQ(DecodeJpeg(arithmetic, r).Message, kJpegInvalidMessage);
    ASSERT_TRUE(DecodeJpeg(FlatGrey(16, 16, {}, false), r).Ok);
}
