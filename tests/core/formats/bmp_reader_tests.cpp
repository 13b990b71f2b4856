#include "core/formats/bmp_reader.h"

#include <gtest/gtest.h>
#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "core/io/byte_io.h"
#include "support/test_paths.h"

namespace fs = std::filesystem;
using namespace pq;
// The test folders and whole-file helpers (support/test_paths.h).
using namespace pq::test;

namespace {

// A reference rendering as RGBA rows.
struct Rgba {
    int width = 0, height = 0;
    std::vector<std::uint8_t> px;
    const std::uint8_t* At(int x, int y) const { return px.data() + 4 * (std::size_t(y) * width + x); }
};

// Reads a PNG as 8-bit RGBA; 16-bit samples are rounded to 8 bits (no gamma conversion).
bool LoadPng(const fs::path& path, Rgba& out) {
    FILE* fp = std::fopen(path.c_str(), "rb");
    if (!fp) return false;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    bool ok = false;
    if (setjmp(png_jmpbuf(png)) == 0) {
        png_init_io(png, fp);
        png_read_png(png, info, PNG_TRANSFORM_EXPAND | PNG_TRANSFORM_GRAY_TO_RGB, nullptr);
        out.width = int(png_get_image_width(png, info));
        out.height = int(png_get_image_height(png, info));
        const int channels = png_get_channels(png, info);
        const int depth = png_get_bit_depth(png, info);
        png_bytepp rows = png_get_rows(png, info);
        out.px.assign(std::size_t(out.width) * out.height * 4, 255);
        for (int y = 0; y < out.height; ++y)
            for (int x = 0; x < out.width; ++x)
                for (int c = 0; c < channels; ++c) {
                    unsigned v;
                    if (depth == 16) {
                        const png_bytep s = rows[y] + 2 * (std::size_t(x) * channels + c);
                        v = ((s[0] << 8 | s[1]) * 255u + 32767u) / 65535u;
                    } else {
                        v = rows[y][std::size_t(x) * channels + c];
                    }
                    out.px[4 * (std::size_t(y) * out.width + x) + c] = std::uint8_t(v);
                }
        ok = channels == 3 || channels == 4;
    }
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(fp);
    return ok;
}

// Pixels that are transparent in the reference are undefined in the file: not compared.
// Returns the number of differing defined pixels (or -1 for a size mismatch).
// A tolerance of 1 allows for other rounding of channels that are not 8 bits wide.
int CountDifferences(const Raster& r, const Rgba& ref, int tolerance = 0) {
    if (r.Width() != ref.width || r.Height() != ref.height) return -1;
    int diff = 0;
    for (int y = 0; y < ref.height; ++y)
        for (int x = 0; x < ref.width; ++x) {
            const std::uint8_t* e = ref.At(x, y);
            if (e[3] == 0) continue;
            const Rgb c = r.PixelUnchecked(x, y);
            if (std::abs(c.r - e[0]) > tolerance || std::abs(c.g - e[1]) > tolerance || std::abs(c.b - e[2]) > tolerance)
                ++diff;
        }
    return diff;
}

// True when the picture matches one of the reference renderings.
bool MatchesAny(const Raster& r, const std::vector<std::string>& refs, std::string& why, int tolerance = 0) {
    for (const std::string& name : refs) {
        Rgba ref;
        if (!LoadPng(CorpusDir() / "bmpsuite/reference-png" / name, ref)) {
            why += name + ": unreadable; ";
            continue;
        }
        const int d = CountDifferences(r, ref, tolerance);
        if (d == 0) return true;
        why += name + ": " + std::to_string(d) + " pixels differ; ";
    }
    return false;
}

// The reference renderings of each file, as the suite's description lists them.
const std::map<std::string, std::vector<std::string>> kReferences = {
    {"pal1.bmp", {"pal1.png"}}, {"pal1wb.bmp", {"pal1.png"}}, {"pal1bg.bmp", {"pal1bg.png"}},
    {"pal1p1.bmp", {"pal1p1.png"}}, {"pal2.bmp", {"pal2.png"}}, {"pal2color.bmp", {"pal2color.png"}},
    {"pal4.bmp", {"pal4.png"}}, {"pal4gs.bmp", {"pal4gs.png"}}, {"pal4rle.bmp", {"pal4.png"}},
    {"pal4rletrns.bmp", {"pal4rletrns.png", "pal4rletrns-0.png", "pal4rletrns-b.png"}},
    {"pal4rlecut.bmp", {"pal4rlecut.png", "pal4rlecut-0.png", "pal4rlecut-b.png"}},
    {"pal8.bmp", {"pal8.png"}}, {"pal8-0.bmp", {"pal8.png"}}, {"pal8gs.bmp", {"pal8gs.png"}},
    {"pal8rle.bmp", {"pal8.png"}},
    {"pal8rletrns.bmp", {"pal8rletrns.png", "pal8rletrns-0.png", "pal8rletrns-b.png"}},
    {"pal8rlecut.bmp", {"pal8rlecut.png", "pal8rlecut-0.png", "pal8rlecut-b.png"}},
    {"pal8w126.bmp", {"pal8w126.png"}}, {"pal8w125.bmp", {"pal8w125.png"}}, {"pal8w124.bmp", {"pal8w124.png"}},
    {"pal8topdown.bmp", {"pal8.png"}}, {"pal8offs.bmp", {"pal8.png"}}, {"pal8oversizepal.bmp", {"pal8.png"}},
    {"pal8nonsquare.bmp", {"pal8nonsquare-e.png"}}, {"pal8os2.bmp", {"pal8.png"}},
    {"pal8os2-sz.bmp", {"pal8.png"}}, {"pal8os2-hs.bmp", {"pal8.png"}}, {"pal8os2sp.bmp", {"pal8.png"}},
    {"pal8os2v2.bmp", {"pal8.png"}}, {"pal8os2v2-16.bmp", {"pal8.png"}}, {"pal8os2v2-sz.bmp", {"pal8.png"}},
    {"pal8os2v2-40sz.bmp", {"pal8.png"}}, {"rgb24rle24.bmp", {"pal8.png"}}, {"pal1huffmsb.bmp", {"pal1.png"}},
    {"pal8v4.bmp", {"pal8.png"}}, {"pal8v5.bmp", {"pal8.png"}}, {"rgb16.bmp", {"rgb16.png"}},
    {"rgb16bfdef.bmp", {"rgb16.png"}}, {"rgb16-565.bmp", {"rgb16-565.png"}}, {"rgb16-565pal.bmp", {"rgb16-565.png"}},
    {"rgb16faketrns.bmp", {"rgb16.png", "rgb16faketrns.png"}}, {"rgb16-231.bmp", {"rgb16-231.png"}},
    {"rgb16-3103.bmp", {"rgb16-3103.png"}}, {"rgba16-4444.bmp", {"rgba16-4444.png"}},
    {"rgba16-5551.bmp", {"rgba16-5551.png"}}, {"rgba16-1924.bmp", {"rgba16-1924.png"}},
    {"rgb24.bmp", {"rgb24.png"}}, {"rgb24pal.bmp", {"rgb24.png"}}, {"rgb24largepal.bmp", {"rgb24.png"}},
    {"rgb24prof.bmp", {"rgb24.png"}}, {"rgb24lprof.bmp", {"rgb24.png"}},
    {"rgb24png.bmp", {"rgb24.png"}}, {"rgb32.bmp", {"rgb24.png"}}, {"rgb32bfdef.bmp", {"rgb24.png"}},
    {"rgb32bf.bmp", {"rgb24.png"}}, {"rgb32h52.bmp", {"rgb24.png"}}, {"rgb32-xbgr.bmp", {"rgb24.png"}},
    {"rgb32fakealpha.bmp", {"rgb24.png"}}, {"rgb32-111110.bmp", {"rgb24.png"}},
    {"rgb32-7187.bmp", {"rgb32-7187.png"}}, {"rgba32-1.bmp", {"rgba32.png"}}, {"rgba32-2.bmp", {"rgba32.png"}},
    {"rgba32-1010102.bmp", {"rgba32-1010102.png"}}, {"rgba32-81284.bmp", {"rgba32-81284.png"}},
    {"rgba32-61754.bmp", {"rgba32-61754.png"}}, {"rgba32abf.bmp", {"rgba32.png"}},
    {"rgba32h56.bmp", {"rgba32.png"}},
};

std::vector<fs::path> FilesIn(const fs::path& dir) {
    std::vector<fs::path> v;
    for (const auto& e : fs::directory_iterator(dir))
        if (e.is_regular_file()) v.push_back(e.path());
    std::sort(v.begin(), v.end());
    return v;
}

bool IsReaderMessage(const std::string& m) {
    return m == kBitmapInvalidMessage || m == kBitmapUnsupportedMessage || m == kPictureTooLargeMessage;
}

}  // namespace

TEST(BmpSuite, GoodFilesDecodeToTheirReferences) {
    if (!HaveCorpus()) GTEST_SKIP() << "no corpus";
    int checked = 0;
    for (const fs::path& p : FilesIn(CorpusDir() / "bmpsuite/g")) {
        SCOPED_TRACE(p.filename().string());
        Raster r;
        BitmapInfo info;
        FileResult res = LoadBitmapFile(p, r, &info);
        ASSERT_TRUE(res.Ok) << res.Message;
        auto it = kReferences.find(p.filename().string());
        ASSERT_NE(it, kReferences.end());
        std::string why;
        EXPECT_TRUE(MatchesAny(r, it->second, why)) << why;
        ++checked;
    }
    EXPECT_EQ(checked, 27);
}

TEST(BmpSuite, BadFilesAreRefused) {
    if (!HaveCorpus()) GTEST_SKIP() << "no corpus";
    for (const fs::path& p : FilesIn(CorpusDir() / "bmpsuite/b")) {
        SCOPED_TRACE(p.filename().string());
        Raster r;
        FileResult res = LoadBitmapFile(p, r);
        EXPECT_FALSE(res.Ok);
        EXPECT_TRUE(IsReaderMessage(res.Message)) << res.Message;
        EXPECT_TRUE(r.Empty());
    }
}

// Unusual files: each either decodes to one of its renderings or is refused with a message.
// Channels wider than 8 bits may round either way (the renderings disagree among themselves).
TEST(BmpSuite, QuestionableFilesDecodeCorrectlyOrAreRefused) {
    if (!HaveCorpus()) GTEST_SKIP() << "no corpus";
    int decoded = 0;
    for (const fs::path& dir : {CorpusDir() / "bmpsuite/q", CorpusDir() / "bmpsuite/x"}) {
        for (const fs::path& p : FilesIn(dir)) {
            SCOPED_TRACE(p.filename().string());
            Raster r;
            FileResult res = LoadBitmapFile(p, r);
            if (!res.Ok) {
                EXPECT_TRUE(IsReaderMessage(res.Message)) << res.Message;
                continue;
            }
            ++decoded;
            auto it = kReferences.find(p.filename().string());
            if (it == kReferences.end()) continue;
            std::string why;
            EXPECT_TRUE(MatchesAny(r, it->second, why, 1)) << why;
        }
    }
    // Everything but embedded JPEG/PNG, Huffman, 64 bits, the bitmap array and the palettes
    // that lack the indices the pixels use.
    EXPECT_GE(decoded, 35);
}

TEST(BmpReader, OtherSuiteMatchesItsReferences) {
    if (!HaveCorpus()) GTEST_SKIP() << "no corpus";
    const fs::path dir = CorpusDir() / "image-rs/images/bmp/images";
    int compared = 0;
    for (const fs::path& p : FilesIn(dir)) {
        SCOPED_TRACE(p.filename().string());
        Raster r;
        FileResult res = LoadBitmapFile(p, r);
        const fs::path refPath = CorpusDir() / "image-rs/reference/bmp/images" / (p.filename().string() + ".png");
        if (!res.Ok) {
            EXPECT_TRUE(IsReaderMessage(res.Message)) << res.Message;
            continue;
        }
        Rgba ref;
        if (!fs::exists(refPath) || !LoadPng(refPath, ref)) continue;
        // Pixels that RLE codes skip are black there; the bmpsuite test covers those files.
        const std::string name = p.filename().string();
        if (name.find("rlecut") != std::string::npos || name.find("rletrns") != std::string::npos) continue;
        EXPECT_EQ(CountDifferences(r, ref, 1), 0);
        ++compared;
    }
    EXPECT_GE(compared, 50);
    // Malformed on purpose.
    for (const fs::path& p : FilesIn(CorpusDir() / "image-rs/bad/bmp")) {
        SCOPED_TRACE(p.filename().string());
        Raster r;
        EXPECT_FALSE(LoadBitmapFile(p, r).Ok);
    }
}

// Files made here for cases the suites do not isolate, each refused with the reader's message.
TEST(BmpReader, OwnMalformedFilesAreRefused) {
    const std::map<std::string, std::string> expected = {
        {"rle8_run_past_row_end.bmp", kBitmapInvalidMessage},
        {"rle8_delta_past_top.bmp", kBitmapInvalidMessage},
        {"rle8_no_end_code.bmp", kBitmapInvalidMessage},
        {"rle4_index_outside_palette.bmp", kBitmapInvalidMessage},
        {"rows_end_early.bmp", kBitmapInvalidMessage},
        {"offset_past_end.bmp", kBitmapInvalidMessage},
        {"bitfields_overlap.bmp", kBitmapInvalidMessage},
        {"bitfields_gap.bmp", kBitmapInvalidMessage},
        {"too_many_pixels.bmp", kPictureTooLargeMessage},
        {"height_int_min.bmp", kBitmapInvalidMessage},
    };
    for (const auto& [name, message] : expected) {
        SCOPED_TRACE(name);
        Raster r;
        FileResult res = LoadBitmapFile(DataDir() / "bad/bmp_reader" / name, r);
        EXPECT_FALSE(res.Ok);
        EXPECT_EQ(res.Message, message);
        EXPECT_TRUE(r.Empty());
    }
    Raster r;
    EXPECT_EQ(LoadBitmapFile(DataDir() / "bad/bmp_reader/does_not_exist.bmp", r).Message, kPictureFileOpenMessage);
}

// Small hand-made files with exact pixels: RLE codes with a delta, an early end of line and
// the end-of-bitmap code; and a top-down 2-bit file.
TEST(BmpReader, RleCodesAndTopDownRows) {
    Raster r;
    BitmapInfo info;
    ASSERT_TRUE(LoadBitmapFile(DataDir() / "bmp_reader/rle8_codes.bmp", r, &info).Ok);
    EXPECT_EQ(info.Compression, 1);
    ASSERT_EQ(r.Width(), 4);
    ASSERT_EQ(r.Height(), 3);
    // Palette: 0 black, 1 red, 2 green, 3 blue. Bottom row: run of two 1s, EOL.
    // Middle row: delta (1, 0), absolute 2 3 2, EOL. Top row: end of bitmap right away.
    const Rgb k{0, 0, 0}, R{255, 0, 0}, G{0, 255, 0}, B{0, 0, 255};
    const Rgb expected[3][4] = {{k, k, k, k}, {k, G, B, G}, {R, R, k, k}};
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x) EXPECT_EQ(r.PixelUnchecked(x, y), expected[y][x]) << x << "," << y;

    ASSERT_TRUE(LoadBitmapFile(DataDir() / "bmp_reader/pal2_topdown.bmp", r, &info).Ok);
    EXPECT_TRUE(info.TopDown);
    EXPECT_EQ(info.BitsPerPixel, 2);
    ASSERT_EQ(r.Width(), 5);
    ASSERT_EQ(r.Height(), 2);
    // Grey levels 0, 85, 170, 255; first row 0 1 2 3 0, second row 3 2 1 0 3.
    const int rows[2][5] = {{0, 1, 2, 3, 0}, {3, 2, 1, 0, 3}};
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 5; ++x) {
            const std::uint8_t v = std::uint8_t(rows[y][x] * 85);
            EXPECT_EQ(r.PixelUnchecked(x, y), (Rgb{v, v, v})) << x << "," << y;
        }
}

// 5-5-5 pixels without masks, in a 3 x 2 file (rows padded to 8 bytes): full channels reach 255.
TEST(BmpReader, SixteenBitChannelsReachFullScale) {
    const std::uint16_t rows[2][3] = {{0x7FFF, 0x0000, 0x4210}, {0x7C00, 0x03E0, 0x001F}};   // bottom row first
    std::vector<std::uint8_t> f;
    ByteWriter put(f);
    put.U8('B'), put.U8('M'), put.U32(54 + 16), put.U32(0), put.U32(54);
    put.U32(40), put.I32(3), put.I32(2), put.U16(1), put.U16(16), put.Fill(24, 0);
    for (const auto& row : rows) {
        for (const std::uint16_t v : row) put.U16(v);
        put.U16(0);
    }
    Raster r;
    ASSERT_TRUE(DecodeBitmap(f, r).Ok);
    const Rgb expected[2][3] = {{{255, 0, 0}, {0, 255, 0}, {0, 0, 255}}, {{255, 255, 255}, {0, 0, 0}, {132, 132, 132}}};
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) EXPECT_EQ(r.PixelUnchecked(x, y), expected[y][x]) << x << "," << y;
}

// Every prefix of a few good files, and every single-bit flip of their first 128 bytes, is
// either decoded or refused with a message; a failed decode leaves the picture empty.
TEST(BmpReader, TruncationsAndBitFlipsNeverCrash) {
    if (!HaveCorpus()) GTEST_SKIP() << "no corpus";
    for (const char* name : {"g/pal4rle.bmp", "g/pal8rle.bmp", "g/rgb16-565.bmp", "g/pal1.bmp", "g/pal8os2.bmp",
                             "g/pal8v5.bmp", "g/rgb32bf.bmp"}) {
        SCOPED_TRACE(name);
        const std::vector<std::uint8_t> good = ReadBytes(CorpusDir() / "bmpsuite" / name);
        ASSERT_FALSE(good.empty());
        // Cut files, with the size in the file header cut to match so that the pixel data
        // checks are what refuses them (the last row may lack its padding).
        for (std::size_t len = 0; len < good.size(); ++len) {
            std::vector<std::uint8_t> cut(good.begin(), good.begin() + std::ptrdiff_t(len));
            for (int i = 0; i < 4 && 2 + i < int(len); ++i) cut[2 + i] = std::uint8_t(len >> (8 * i));
            Raster r;
            FileResult res = DecodeBitmap(cut, r);
            if (len + 4 <= good.size()) {
                EXPECT_FALSE(res.Ok) << len;
            }
            if (!res.Ok) {
                EXPECT_TRUE(IsReaderMessage(res.Message)) << res.Message;
                EXPECT_TRUE(r.Empty());
            }
        }
        std::vector<std::uint8_t> bytes = good;
        for (std::size_t bit = 0; bit < 128 * 8 && bit / 8 < bytes.size(); ++bit) {
            bytes[bit / 8] ^= std::uint8_t(1u << (bit % 8));
            Raster r;
            FileResult res = DecodeBitmap(bytes, r);
            if (!res.Ok) {
                EXPECT_TRUE(IsReaderMessage(res.Message)) << res.Message;
            } else {
                EXPECT_FALSE(r.Empty());
            }
            bytes[bit / 8] ^= std::uint8_t(1u << (bit % 8));
        }
    }
}

// An RLE file may skip pixels, but a picture beyond 1 M pixels needs a byte of compressed data
// per 256 pixels: a tiny file cannot make the reader fill a huge picture. The headers alone are
// read by the info reader, whatever the pixel data.
TEST(BmpReader, RlePicturesAreBoundedByTheirDataAndHeadersReadAlone) {
    // Headers of an 8-bit RLE file of w x h with two palette entries, then `data`.
    auto rle8 = [](int w, int h, const std::vector<std::uint8_t>& data) {
        std::vector<std::uint8_t> f(14 + 40 + 8);
        auto put32 = [&](std::size_t at, std::uint32_t v) {
            for (int i = 0; i < 4; ++i) f[at + i] = std::uint8_t(v >> (8 * i));
        };
        f[0] = 'B';
        f[1] = 'M';
        put32(2, std::uint32_t(f.size() + data.size()));
        put32(10, std::uint32_t(f.size()));
        put32(14, 40);
        put32(18, std::uint32_t(w));
        put32(22, std::uint32_t(h));
        f[26] = 1;
        f[28] = 8;
        put32(30, 1);   // RLE8
        put32(46, 2);
        f[54 + 4] = 255;   // entry 1 blue
        f.insert(f.end(), data.begin(), data.end());
        return f;
    };
    Raster r;
    // The fuzzed 88-byte file: 3,866,628 x 3 pixels and an end-of-bitmap code.
    EXPECT_EQ(DecodeBitmap(rle8(3866628, 3, {0, 1}), r).Message, kBitmapInvalidMessage);
    // At the limit: 4 M pixels need 12288 bytes (here no-op deltas, then the end code).
    std::vector<std::uint8_t> codes;
    for (int i = 0; i < 3071; ++i) codes.insert(codes.end(), {0, 2, 0, 0});
    codes.insert(codes.end(), {0, 2, 0, 0, 0, 1});
    ASSERT_EQ(codes.size(), 12290u);
    ASSERT_TRUE(DecodeBitmap(rle8(4096, 1024, codes), r).Ok);
    EXPECT_EQ(r.PixelUnchecked(4095, 0), kBlack);   // skipped pixels take entry 0
    codes.erase(codes.begin(), codes.begin() + 4);
    EXPECT_EQ(DecodeBitmap(rle8(4096, 1024, codes), r).Message, kBitmapInvalidMessage);
    // A 1 M pixel picture may come from an end code alone.
    ASSERT_TRUE(DecodeBitmap(rle8(1024, 1024, {0, 1}), r).Ok);

    // Headers without their pixels: the info reader answers, the decoder refuses.
    test::TempDir dir;
    std::vector<std::uint8_t> cut = rle8(20, 10, {});
    cut[30] = 0;   // uncompressed 8-bit rows, none present
    test::WriteBytes(dir / "cut.bmp", cut);
    BitmapInfo info;
    ASSERT_TRUE(ReadBitmapFileInfo(dir / "cut.bmp", info).Ok);
    EXPECT_EQ(info.Width, 20);
    EXPECT_EQ(info.Height, 10);
    EXPECT_EQ(LoadBitmapFile(dir / "cut.bmp", r).Message, kBitmapInvalidMessage);
}
