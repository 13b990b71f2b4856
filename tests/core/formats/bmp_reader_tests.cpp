#include "core/formats/bmp_reader.h"

#include <gtest/gtest.h>
#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
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

namespace {

// What a row sink is handed, collected into a picture: the columns [first, end) (end -1: to
// the width) in pieces of at most maxColumns (0: any), checked to come row by row from the top,
// left to right, without gaps.
class CollectingSink : public PictureRowSink {
public:
    CollectingSink(int first = 0, int end = -1, int maxColumns = 0) : first_(first), end_(end), max_(maxColumns) {}
    void Start(int width, int height) override {
        picture.Resize(width, height);
        if (end_ < 0) end_ = width;
        ++starts;
    }
    std::uint8_t* RowBuffer(int) override {
        ADD_FAILURE() << "bitmaps come in pieces";
        whole_.resize(std::size_t(3 * picture.Width()));
        return whole_.data();
    }
    void RowDone(int) override {}
    PieceLayout Pieces() const override { return {first_, end_, max_}; }
    void Piece(int y, int x, int n, const std::uint8_t* bgr, const std::uint8_t* clear) override {
        if (y != row_ || x != at_ || n <= 0 || (max_ > 0 && n > max_) || x + n > end_) {
            ++disorder;
            return;
        }
        std::memcpy(picture.Row(y) + 3 * std::size_t(x), bgr, 3 * std::size_t(n));
        if (clear) clears.insert(clears.end(), clear, clear + n);
        at_ = x + n;
        if (at_ == end_) ++row_, at_ = first_;
    }
    bool Complete() const { return disorder == 0 && row_ == picture.Height() && starts == 1; }

    Raster picture;
    std::vector<std::uint8_t> clears;
    int disorder = 0, starts = 0;

private:
    int first_, end_, max_;
    int row_ = 0, at_ = first_;
    std::vector<std::uint8_t> whole_;
};

// The first kind of file: a palette (bits <= 8) of distinct colours, 5-6-5 bitfields for
// 16 bits when asked, plain pixels otherwise; rows bottom-up unless topDown.
struct BitmapMaker {
    int w, h, bits;
    bool topDown = false;
    bool bitfields = false;   // 16 bits: 5-6-5 masks (else 5-5-5 without masks)

    std::uint32_t Value(int x, int y) const {
        const std::uint32_t v = std::uint32_t(x * 7 + y * 13 + x * y * 3 + 5);
        if (bits <= 8) return v % (1u << bits);
        if (bits == 16) return (v * 2654435761u) >> 16;
        return v * 2654435761u;
    }
    static Rgb PaletteEntry(int i) { return Rgb{std::uint8_t(i * 37 + 11), std::uint8_t(255 - i * 23), std::uint8_t(i * 91)}; }

    // The colour the reader must give pixel (x, y), y from the top.
    Rgb Expected(int x, int y) const {
        const std::uint32_t v = Value(x, y);
        if (bits <= 8) return PaletteEntry(int(v));
        auto scale = [](std::uint32_t c, std::uint32_t max) { return std::uint8_t((c * 255 + max / 2) / max); };
        if (bits == 16) {
            if (bitfields) return Rgb{scale(v >> 11 & 31, 31), scale(v >> 5 & 63, 63), scale(v & 31, 31)};
            return Rgb{scale(v >> 10 & 31, 31), scale(v >> 5 & 31, 31), scale(v & 31, 31)};
        }
        return Rgb{std::uint8_t(v >> 16), std::uint8_t(v >> 8), std::uint8_t(v)};
    }

    std::vector<std::uint8_t> Make() const {
        const std::size_t rowBytes = (std::size_t(w) * bits + 31) / 32 * 4;
        const int colors = bits <= 8 ? 1 << bits : 0;
        const bool masks = bits == 16 && bitfields;
        const std::uint32_t offset = 54 + 4 * colors + (masks ? 12 : 0);
        std::vector<std::uint8_t> f;
        ByteWriter put(f);
        put.U8('B'), put.U8('M'), put.U32(offset + std::uint32_t(rowBytes * h)), put.U32(0), put.U32(offset);
        put.U32(40), put.I32(w), put.I32(topDown ? -h : h), put.U16(1), put.U16(std::uint16_t(bits));
        put.U32(masks ? 3 : 0), put.U32(0), put.U32(0), put.U32(0), put.U32(0), put.U32(0);
        if (masks) put.U32(0xF800), put.U32(0x07E0), put.U32(0x001F);
        for (int i = 0; i < colors; ++i) {
            const Rgb c = PaletteEntry(i);
            put.U8(c.b), put.U8(c.g), put.U8(c.r), put.U8(0);
        }
        for (int r = 0; r < h; ++r) {
            const int y = topDown ? r : h - 1 - r;
            std::vector<std::uint8_t> row(rowBytes, 0);
            for (int x = 0; x < w; ++x) {
                const std::uint32_t v = Value(x, y);
                if (bits < 8) {
                    row[std::size_t(x * bits / 8)] |= std::uint8_t(v << (8 - bits - x * bits % 8));
                } else {
                    for (int b = 0; b < bits / 8; ++b) row[std::size_t(x * bits / 8 + b)] = std::uint8_t(v >> (8 * b));
                }
            }
            f.insert(f.end(), row.begin(), row.end());
        }
        return f;
    }
};

// An RLE4 or RLE8 file of w x h with codes of every kind from a fixed seed: encoded and
// absolute runs, deltas that jump rows, early ends of line, and (with `cut`) an end of bitmap
// before the top row.
std::vector<std::uint8_t> MakeRle(int w, int h, int bits, unsigned seed, bool cut) {
    std::mt19937 rng(seed);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    const int colors = bits == 8 ? 200 : 16;
    std::vector<std::uint8_t> codes;
    int x = 0, y = 0;
    const int stopAt = cut ? h - 1 - h / 3 : h;
    while (y < stopAt) {
        const int room = w - x;
        const int op = pick(0, 9);
        if (room == 0 || op == 0) {                       // end of line
            codes.insert(codes.end(), {0, 0});
            x = 0, ++y;
        } else if (op == 1 && y + 1 < h) {                // delta, up to 5 rows up
            const int dx = pick(0, std::min(room, 255)), dy = pick(0, std::min(5, h - 1 - y));
            codes.insert(codes.end(), {0, 2, std::uint8_t(dx), std::uint8_t(dy)});
            x += dx, y += dy;
        } else if (op < 6 || room < 3) {                  // encoded run
            const int n = pick(1, std::min(room, 255));
            const int v = bits == 8 ? pick(0, colors - 1) : pick(0, 15) << 4 | pick(0, 15);
            codes.insert(codes.end(), {std::uint8_t(n), std::uint8_t(v)});
            x += n;
        } else {                                          // absolute run
            const int n = pick(3, std::min(room, 255));
            codes.insert(codes.end(), {0, std::uint8_t(n)});
            const int bytes = bits == 8 ? n : (n + 1) / 2;
            for (int i = 0; i < bytes; ++i)
                codes.push_back(std::uint8_t(bits == 8 ? pick(0, colors - 1) : pick(0, 15) << 4 | pick(0, 15)));
            if (bytes & 1) codes.push_back(0);
            x += n;
        }
    }
    codes.insert(codes.end(), {0, 1});
    std::vector<std::uint8_t> f;
    ByteWriter put(f);
    const std::uint32_t offset = 54 + 4 * colors;
    put.U8('B'), put.U8('M'), put.U32(offset + std::uint32_t(codes.size())), put.U32(0), put.U32(offset);
    put.U32(40), put.I32(w), put.I32(h), put.U16(1), put.U16(std::uint16_t(bits));
    put.U32(bits == 8 ? 1 : 2), put.U32(std::uint32_t(codes.size())), put.U32(0), put.U32(0), put.U32(std::uint32_t(colors)),
        put.U32(0);
    for (int i = 0; i < colors; ++i) put.U8(std::uint8_t(i * 5)), put.U8(std::uint8_t(255 - i)), put.U8(std::uint8_t(i * 29)), put.U8(0);
    f.insert(f.end(), codes.begin(), codes.end());
    return f;
}

// The band sizes and column windows the row reading is tried with: one byte (a row a piece at
// a time, eight columns each), a little under and over one row, a few rows, the default.
std::vector<std::size_t> BandSizes(int w) {
    return {1, 100, std::size_t(3 * w - 1), std::size_t(3 * w * 3 + 2), kPictureBandBytes};
}

struct Window {
    int first, end, max;
};

// The rows handed over, from memory and from a file, at every band size and column window,
// are the whole picture's pixels byte for byte.
void ExpectRowsMatchWhole(const std::vector<std::uint8_t>& file, const Raster& whole, const fs::path& dir) {
    const int w = whole.Width();
    test::WriteBytes(dir / "rows.bmp", file);
    const std::vector<Window> windows = {{0, -1, 0}, {0, -1, 5}, {w / 3, w - w / 4, 0}, {w - 1, w, 1}};
    for (const std::size_t band : BandSizes(w))
        for (const Window& win : windows)
            for (const bool fromFile : {false, true}) {
                SCOPED_TRACE("band " + std::to_string(band) + ", columns " + std::to_string(win.first) + ".." +
                             std::to_string(win.end) + (fromFile ? ", file" : ", memory"));
                CollectingSink sink(win.first, win.end, win.max);
                const FileResult r = fromFile ? LoadBitmapFileRows(dir / "rows.bmp", sink, nullptr, band)
                                              : DecodeBitmapRows(file, sink, nullptr, band);
                ASSERT_TRUE(r.Ok) << r.Message;
                ASSERT_TRUE(sink.Complete()) << sink.disorder;
                EXPECT_TRUE(sink.clears.empty());
                const int end = win.end < 0 ? w : win.end;
                for (int y = 0; y < whole.Height(); ++y)
                    ASSERT_EQ(std::memcmp(sink.picture.Row(y) + 3 * win.first, whole.Row(y) + 3 * win.first,
                                          3 * std::size_t(end - win.first)),
                              0)
                        << "row " << y;
            }
}

}  // namespace

// Uncompressed files of every depth, both row orders, non-square and odd sizes: the whole
// picture has the pixels written, and the rows read band by band are the same bytes.
TEST(BmpRows, UncompressedBandsMatchTheWholePicture) {
    test::TempDir dir;
    for (const int bits : {1, 2, 4, 8, 16, 24, 32})
        for (const bool topDown : {false, true})
            for (const auto& [w, h] : {std::pair{37, 13}, std::pair{13, 37}, std::pair{67, 1}, std::pair{1, 29}}) {
                for (const bool bitfields : {false, true}) {
                    if (bitfields && bits != 16) continue;
                    SCOPED_TRACE(std::to_string(bits) + " bits, " + std::to_string(w) + "x" + std::to_string(h) +
                                 (topDown ? ", top-down" : ", bottom-up") + (bitfields ? ", 5-6-5" : ""));
                    const BitmapMaker maker{w, h, bits, topDown, bitfields};
                    const std::vector<std::uint8_t> file = maker.Make();
                    Raster whole;
                    ASSERT_TRUE(DecodeBitmap(file, whole).Ok);
                    ASSERT_EQ(whole.Width(), w);
                    ASSERT_EQ(whole.Height(), h);
                    for (int y = 0; y < h; ++y)
                        for (int x = 0; x < w; ++x) ASSERT_EQ(whole.PixelUnchecked(x, y), maker.Expected(x, y)) << x << "," << y;
                    ExpectRowsMatchWhole(file, whole, dir.Path());
                }
            }
}

// RLE codes decoded band by band from marks made on a first pass: deltas jumping across band
// boundaries, early ends of line and an early end of bitmap leave the same pixels as one band.
TEST(BmpRows, RleBandsMatchTheWholePicture) {
    test::TempDir dir;
    for (const int bits : {4, 8})
        for (const auto& [w, h] : {std::pair{37, 23}, std::pair{11, 41}, std::pair{300, 3}})
            for (const bool cut : {false, true})
                for (const unsigned seed : {1u, 2u}) {
                    SCOPED_TRACE("RLE" + std::to_string(bits) + " " + std::to_string(w) + "x" + std::to_string(h) +
                                 (cut ? ", ended early" : "") + ", seed " + std::to_string(seed));
                    const std::vector<std::uint8_t> file = MakeRle(w, h, bits, seed, cut);
                    Raster whole;
                    const FileResult r = DecodeBitmap(file, whole);
                    ASSERT_TRUE(r.Ok) << r.Message;
                    ExpectRowsMatchWhole(file, whole, dir.Path());
                }
    // The suite's files of every kind read the same band by band.
    if (!HaveCorpus()) return;
    for (const char* name : {"g/pal1.bmp", "g/pal4rle.bmp", "g/pal8rle.bmp", "q/pal4rletrns.bmp", "q/pal8rlecut.bmp",
                             "q/rgb24rle24.bmp", "g/pal8topdown.bmp", "g/rgb16-565.bmp", "g/rgb32bf.bmp", "g/pal8w125.bmp"}) {
        SCOPED_TRACE(name);
        const std::vector<std::uint8_t> file = ReadBytes(CorpusDir() / "bmpsuite" / name);
        Raster whole;
        ASSERT_TRUE(DecodeBitmap(file, whole).Ok);
        ExpectRowsMatchWhole(file, whole, dir.Path());
    }
}

// Failures come out of the row reading as out of the whole decode, and nothing is handed over
// from an RLE file whose codes go wrong near their end: they are all checked first.
TEST(BmpRows, BadDataIsRefusedBeforeAnyRleRow) {
    std::vector<std::uint8_t> file = MakeRle(37, 23, 8, 3, false);
    file[file.size() - 2] = 9;   // the end-of-bitmap code becomes an absolute run past the data
    CollectingSink sink;
    EXPECT_EQ(DecodeBitmapRows(file, sink, nullptr, 100).Message, kBitmapInvalidMessage);
    EXPECT_EQ(sink.starts, 0);
    // A palette index outside the palette in an uncompressed file, however it is read.
    BitmapMaker maker{9, 5, 8, false, false};
    file = maker.Make();
    const std::uint32_t colors = 3;   // declares 3 colours: the pixels use more
    for (int i = 0; i < 4; ++i) file[46 + i] = std::uint8_t(colors >> (8 * i));
    Raster whole;
    EXPECT_EQ(DecodeBitmap(file, whole).Message, kBitmapInvalidMessage);
    CollectingSink rows;
    EXPECT_EQ(DecodeBitmapRows(file, rows, nullptr, 1).Message, kBitmapInvalidMessage);
}
