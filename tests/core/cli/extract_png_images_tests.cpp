// pqtool extract of icons holding PNG images: the image's own bytes are written when they are a
// whole PNG, and a damaged or cut one is skipped with a note.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "core/formats/icon_images.h"
#include "core/formats/png_file.h"
#include "support/png_encode.h"
#include "support/run_pqtool.h"

namespace fs = std::filesystem;

namespace {

// An icon of one entry whose data is `image`, the entry's byte count `count`.
std::vector<uint8_t> IconOf(const std::vector<uint8_t>& image, uint32_t count, int w, int h) {
    std::vector<uint8_t> f = {0, 0, 1, 0, 1, 0, uint8_t(w), uint8_t(h), 0, 0, 1, 0, 32, 0};
    for (int i = 0; i < 4; ++i) f.push_back(uint8_t(count >> (8 * i)));
    for (int i = 0; i < 4; ++i) f.push_back(uint8_t(22u >> (8 * i)));
    f.insert(f.end(), image.begin(), image.end());
    return f;
}

std::vector<uint8_t> ReadAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

class ExtractPngImages : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("pixquil_extract_png_" + std::to_string(::getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        std::vector<uint8_t> rgba;
        for (int i = 0; i < 5 * 3; ++i) rgba.insert(rgba.end(), {uint8_t(i * 17), uint8_t(200 - i), uint8_t(i * 5), uint8_t(i * 18)});
        png_ = pq::test::EncodePng(5, 3, rgba);
    }
    void TearDown() override { fs::remove_all(dir_); }

    // Extracts an icon made of these bytes; the run's result.
    pq::test::RunResult Extract(const std::vector<uint8_t>& icon) {
        const fs::path in = dir_ / "face.ico";
        std::ofstream(in, std::ios::binary).write(reinterpret_cast<const char*>(icon.data()), std::streamsize(icon.size()));
        return pq::test::RunPqtool({"extract", in.string(), (dir_ / "out").string()});
    }
    fs::path Out() const { return dir_ / "out" / "face-0-5x3-32.png"; }

    fs::path dir_;
    std::vector<uint8_t> png_;
};

}  // namespace

// Whole (also with bytes after IEND that the entry counts): written byte for byte.
TEST_F(ExtractPngImages, AWholePngIsWrittenByteForByte) {
    const pq::test::RunResult r = Extract(IconOf(png_, uint32_t(png_.size()), 5, 3));
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(ReadAll(Out()), png_);

    std::vector<uint8_t> padded = png_;
    padded.insert(padded.end(), {0, 0, 0, 7});
    const pq::test::RunResult p = Extract(IconOf(padded, uint32_t(padded.size()), 5, 3));
    ASSERT_EQ(p.Status, 0) << p.Err;
    EXPECT_EQ(ReadAll(Out()), padded);
}

// A byte of the compressed pixels changed, or the entry cutting the PNG short though the file
// holds it whole (once written cut, with status 0): nothing written, a note, status 1.
TEST_F(ExtractPngImages, DamagedOrCutPngsAreSkipped) {
    std::vector<uint8_t> flipped = png_;
    flipped[png_.size() - 12 - 6] ^= 0x10;   // inside the last IDAT's data (before its CRC and IEND)
    for (const auto& icon : {IconOf(flipped, uint32_t(flipped.size()), 5, 3), IconOf(png_, uint32_t(png_.size() - 5), 5, 3)}) {
        fs::remove_all(dir_ / "out");
        const pq::test::RunResult r = Extract(icon);
        EXPECT_EQ(r.Status, 1);
        EXPECT_NE(r.Err.find("image 0 cannot be decoded; skipped"), std::string::npos) << r.Err;
        EXPECT_FALSE(fs::exists(Out()));
    }
}

namespace {

// An icon of one 32-bit image, w x h, its pixels top row first as straight RGBA; the mask is empty.
std::vector<uint8_t> Icon32(int w, int h, const std::vector<uint8_t>& rgba) {
    std::vector<uint8_t> dib(40, 0);
    auto put32 = [&](std::size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) dib[at + std::size_t(i)] = uint8_t(v >> (8 * i));
    };
    put32(0, 40);
    put32(4, uint32_t(w));
    put32(8, uint32_t(2 * h));
    dib[12] = 1;
    dib[14] = 32;
    for (int y = h - 1; y >= 0; --y)
        for (int x = 0; x < w; ++x) {
            const uint8_t* p = &rgba[4 * (std::size_t(y) * std::size_t(w) + std::size_t(x))];
            dib.insert(dib.end(), {p[2], p[1], p[0], p[3]});
        }
    dib.resize(dib.size() + std::size_t(h) * std::size_t((w + 31) / 32 * 4), 0);
    return IconOf(dib, uint32_t(dib.size()), w, h);
}

}  // namespace

// Decoded images become PNG files of exactly their pixels and alpha, through one compressor
// for the whole run: odd, non-square and one-pixel images, rows that suit each filter (flat,
// ramps across and down, noise), several images in one run so that each starts afresh.
TEST_F(ExtractPngImages, DecodedImagesBecomePngsOfTheirExactPixels) {
    struct Shape {
        int w, h;
    };
    uint32_t seed = 5;
    auto next = [&]() { return uint8_t((seed = seed * 1103515245u + 12345u) >> 16); };
    std::vector<fs::path> icons;
    std::vector<std::vector<uint8_t>> expected;
    const std::vector<Shape> shapes{{1, 1}, {7, 5}, {33, 3}, {3, 40}, {48, 48}, {255, 2}};
    for (std::size_t n = 0; n < shapes.size(); ++n) {
        const Shape sh = shapes[n];
        std::vector<uint8_t> rgba;
        for (int y = 0; y < sh.h; ++y)
            for (int x = 0; x < sh.w; ++x) {
                const int kind = (x / 4 + y / 3 + int(n)) % 4;
                const uint8_t a = kind == 3 ? next() : uint8_t(kind == 0 ? 255 : x * 9 + y);
                rgba.insert(rgba.end(), {kind == 2 ? next() : uint8_t(x * 7), kind == 1 ? uint8_t(y * 13) : uint8_t(90),
                                         uint8_t(x + y), a});
            }
        const fs::path in = dir_ / ("img" + std::to_string(n) + ".ico");
        const std::vector<uint8_t> icon = Icon32(sh.w, sh.h, rgba);
        std::ofstream(in, std::ios::binary).write(reinterpret_cast<const char*>(icon.data()), std::streamsize(icon.size()));
        icons.push_back(in);
        pq::RgbaImage decoded;   // what the icon's reader makes of it
        ASSERT_TRUE(pq::DecodeIconRgba(std::span<const uint8_t>(icon).subspan(22), decoded));
        expected.push_back(decoded.Pixels);
    }
    std::vector<std::string> args{"extract"};
    for (const fs::path& in : icons) args.push_back(in.string());
    args.push_back((dir_ / "out").string());
    const pq::test::RunResult r = pq::test::RunPqtool(args);
    ASSERT_EQ(r.Status, 0) << r.Err;
    for (std::size_t n = 0; n < shapes.size(); ++n) {
        const fs::path png = dir_ / "out" /
                             ("img" + std::to_string(n) + "-0-" + std::to_string(shapes[n].w) + "x" + std::to_string(shapes[n].h) + "-32.png");
        int w = 0, h = 0;
        std::vector<uint8_t> pixels;
        ASSERT_TRUE(pq::DecodePngRgba(ReadAll(png), 256, w, h, pixels)) << png;
        EXPECT_EQ(w, shapes[n].w);
        EXPECT_EQ(h, shapes[n].h);
        EXPECT_EQ(pixels, expected[n]) << png;
    }
}
