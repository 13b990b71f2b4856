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
