// The DC-only decoder against libjpeg's own 1/8 scale, and the files it must leave to libjpeg.
#include "core/formats/jpeg_dc_decoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <unistd.h>

#include <jpeglib.h>

#include "core/formats/jpeg_reader.h"
#include "support/test_paths.h"

using namespace pq;

namespace {

struct Encoding {
    int w, h;
    int components = 3;   // 1 grey
    int hSamp = 2, vSamp = 2;
    int restartRows = 0, restartMcus = 0;
    bool progressive = false, arithmetic = false, rgb = false;
    bool neutral = false;   // grey content in a colour file
    int quality = 85;
};

// A photograph-like picture (gradients, a soft spot, grain) encoded by libjpeg.
std::vector<std::uint8_t> Encode(const Encoding& e) {
    jpeg_compress_struct c{};
    jpeg_error_mgr err{};
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &out, &size);
    c.image_width = JDIMENSION(e.w);
    c.image_height = JDIMENSION(e.h);
    c.input_components = e.components;
    c.in_color_space = e.components == 1 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, e.quality, TRUE);
    if (e.rgb) jpeg_set_colorspace(&c, JCS_RGB);
    if (e.components == 3) {
        c.comp_info[0].h_samp_factor = e.hSamp;
        c.comp_info[0].v_samp_factor = e.vSamp;
    }
    c.restart_in_rows = e.restartRows;
    c.restart_interval = unsigned(e.restartMcus);
    if (e.progressive) jpeg_simple_progression(&c);
    c.arith_code = e.arithmetic;
    jpeg_start_compress(&c, TRUE);
    std::vector<JSAMPLE> row(std::size_t(e.components) * std::size_t(e.w));
    unsigned grain = 7;
    while (c.next_scanline < c.image_height) {
        const int y = int(c.next_scanline);
        for (int x = 0; x < e.w; ++x) {
            grain = grain * 1103515245u + 12345u;
            const int n = int((grain >> 16) % 13) - 6;
            const double d = std::hypot(x - e.w * 0.3, y - e.h * 0.6) / (0.35 * std::min(e.w, e.h) + 1);
            const double spot = d < 1 ? 110 * (1 - d * d) : 0;
            const int v[3] = {int(30 + 180.0 * x / e.w + spot), int(220 - 150.0 * y / e.h + spot / 3),
                              int(120 + 90 * std::sin(x / 5.0) * std::cos(y / 7.0))};
            for (int k = 0; k < e.components; ++k)
                row[std::size_t(e.components * x + k)] = JSAMPLE(std::clamp(v[e.neutral ? 0 : k] + n, 0, 255));
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

// libjpeg's own decoding at 1/denom, in blue-green-red.
Raster LibjpegScaled(const std::vector<std::uint8_t>& file, unsigned denom, bool fancy = true) {
    jpeg_decompress_struct d{};
    jpeg_error_mgr err{};
    d.err = jpeg_std_error(&err);
    jpeg_create_decompress(&d);
    jpeg_mem_src(&d, file.data(), static_cast<unsigned long>(file.size()));
    jpeg_read_header(&d, TRUE);
    d.scale_num = 1;
    d.scale_denom = denom;
    d.do_fancy_upsampling = fancy;
    d.out_color_space = JCS_EXT_BGR;
    jpeg_start_decompress(&d);
    Raster out(int(d.output_width), int(d.output_height));
    while (d.output_scanline < d.output_height) {
        JSAMPROW r = out.Row(int(d.output_scanline));
        jpeg_read_scanlines(&d, &r, 1);
    }
    jpeg_finish_decompress(&d);
    jpeg_destroy_decompress(&d);
    return out;
}

Raster LibjpegEighth(const std::vector<std::uint8_t>& file) { return LibjpegScaled(file, 8); }

// The full picture's mean over each 8 x 8 block (the part inside the picture), rounded.
Raster BlockMeans(const Raster& full) {
    Raster out((full.Width() + 7) / 8, (full.Height() + 7) / 8);
    for (int by = 0; by < out.Height(); ++by)
        for (int bx = 0; bx < out.Width(); ++bx)
            for (int c = 0; c < 3; ++c) {
                int sum = 0, n = 0;
                for (int y = 8 * by; y < std::min(full.Height(), 8 * by + 8); ++y)
                    for (int x = 8 * bx; x < std::min(full.Width(), 8 * bx + 8); ++x, ++n) sum += full.Row(y)[3 * x + c];
                out.Row(by)[3 * bx + c] = std::uint8_t((sum + n / 2) / n);
            }
    return out;
}

// Counts what the decoder asks of its sink, keeping the rows.
class Recorder : public PictureRowSink {
public:
    void Start(int w, int h) override {
        ++starts;
        picture.Resize(w, h);
    }
    std::uint8_t* RowBuffer(int y) override { return picture.Row(y); }
    void RowDone(int) override { ++rows; }
    int ScaleDenominator(int, int) override { return 8; }
    Raster picture;
    int starts = 0, rows = 0;
};

struct Difference {
    int largest = 0;
    double mean = 0, equal = 0;   // equal: the share of channel values that agree
};

Difference Compare(const Raster& a, const Raster& b) {
    Difference d;
    long sum = 0, same = 0, n = 0;
    for (int y = 0; y < a.Height(); ++y)
        for (int x = 0; x < 3 * a.Width(); ++x, ++n) {
            const int diff = std::abs(a.Row(y)[x] - b.Row(y)[x]);
            d.largest = std::max(d.largest, diff);
            sum += diff;
            same += diff == 0;
        }
    d.mean = double(sum) / double(n);
    d.equal = double(same) / double(n);
    return d;
}

std::vector<std::uint8_t> ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

}  // namespace

// Grey, 4:4:4, 4:2:2, 4:4:0 and 4:2:0 are libjpeg's 1/8 exactly, odd sizes and restart
// intervals included.
TEST(JpegDcDecoder, MatchesLibjpegEighthScale) {
    Encoding cases[] = {
        {37, 23, 3, 2, 2},  {37, 23, 3, 2, 1},          {37, 23, 3, 1, 1},         {37, 23, 1},
        {1, 1, 3, 2, 2},    {9, 300, 3, 1, 2},          {203, 117, 3, 2, 2, 1},    {203, 117, 1, 1, 1, 0, 3},
        {203, 117, 3, 1, 1, 0, 1}, {611, 409, 3, 2, 2, 0, 7}, {35, 301, 3, 2, 1, 0, 5},
    };
    for (Encoding& e : cases) {
        const std::vector<std::uint8_t> file = Encode(e);
        Recorder dc;
        ASSERT_EQ(DecodeJpegDcRows(file, dc), JpegDcOutcome::Decoded) << e.w << "x" << e.h;
        const Raster reference = LibjpegEighth(file);
        ASSERT_EQ(dc.picture.Width(), reference.Width());
        ASSERT_EQ(dc.picture.Height(), reference.Height());
        EXPECT_EQ(dc.rows, reference.Height());
        EXPECT_EQ(Compare(dc.picture, reference).largest, 0) << e.w << "x" << e.h << " " << e.hSamp << "x" << e.vSamp;
    }
}

// Real photographs, 4:2:0 ones among them (16-bit quantization tables too): the decoder and the
// reader's 1/8 path are libjpeg's 1/8 exactly, and within a few levels of the full picture's
// block means.
TEST(JpegDcDecoder, Photographs) {
    for (const char* name : {"hopper.jpg", "flower.jpg", "hopper_16bit_qtables.jpg", "pil_sample_rgb.jpg", "hopper_gray.jpg"}) {
        const std::filesystem::path path = test::CorpusDir() / "pillow" / "jpg" / name;
        if (!std::filesystem::exists(path)) GTEST_SKIP() << "no corpus";
        const std::vector<std::uint8_t> file = ReadFile(path);
        const Raster reference = LibjpegEighth(file);
        Recorder viaReader;
        ASSERT_TRUE(DecodeJpegRows(file, viaReader)) << name;
        EXPECT_EQ(Compare(viaReader.picture, reference).largest, 0) << name;
        Recorder dc;
        ASSERT_EQ(DecodeJpegDcRows(file, dc), JpegDcOutcome::Decoded) << name;
        EXPECT_EQ(Compare(dc.picture, reference).largest, 0) << name;
        EXPECT_LE(Compare(dc.picture, BlockMeans(LibjpegScaled(file, 1))).mean, 3) << name;
    }
}

// Files it does not take come back NotHandled with the sink untouched, and the reader still
// decodes them through libjpeg.
TEST(JpegDcDecoder, LeavesOtherFilesToLibjpeg) {
    Encoding progressive{40, 30}, arithmetic{40, 30}, rgb{40, 30, 3, 1, 1};
    progressive.progressive = true;
    arithmetic.arithmetic = true;
    rgb.rgb = true;
    for (const Encoding& e : {progressive, arithmetic, rgb}) {
        const std::vector<std::uint8_t> file = Encode(e);
        Recorder dc;
        EXPECT_EQ(DecodeJpegDcRows(file, dc), JpegDcOutcome::NotHandled);
        EXPECT_EQ(dc.starts, 0);
        if (e.arithmetic) continue;   // refused by the reader itself
        Recorder viaReader;
        ASSERT_TRUE(DecodeJpegRows(file, viaReader));
        EXPECT_EQ(viaReader.picture.Width(), 5);
        EXPECT_EQ(viaReader.picture.Height(), 4);
    }
    const std::vector<std::uint8_t> cmyk = ReadFile(test::CorpusDir() / "pillow" / "jpg" / "pil_sample_cmyk.jpg");
    if (!cmyk.empty()) {
        Recorder dc;
        EXPECT_EQ(DecodeJpegDcRows(cmyk, dc), JpegDcOutcome::NotHandled);
    }
}

// Every cut of a file with restart markers, and damage to its entropy-coded data and markers:
// never a crash or a read out of bounds; what it cannot trust falls back, and the reader's
// verdict on a cut file stays a refusal.
TEST(JpegDcDecoder, CutAndDamagedFilesFallBack) {
    Encoding e{45, 29, 3, 2, 2};
    e.restartMcus = 2;
    const std::vector<std::uint8_t> file = Encode(e);
    for (std::size_t n = 0; n < file.size(); ++n) {
        const std::vector<std::uint8_t> cut(file.begin(), file.begin() + std::ptrdiff_t(n));
        Recorder dc;
        ASSERT_EQ(DecodeJpegDcRows(cut, dc), JpegDcOutcome::NotHandled) << n;
        ASSERT_EQ(dc.starts, 0);
        if (n > file.size() - 200) {
            Recorder viaReader;
            EXPECT_FALSE(DecodeJpegRows(cut, viaReader)) << n;
        }
    }
    // The first restart marker renumbered, then each byte after the headers in turn set to
    // 0xFF or cleared.
    std::vector<std::uint8_t> renumbered = file;
    const std::uint8_t marker[] = {0xFF, 0xD0};
    const auto rst = std::search(renumbered.begin() + 200, renumbered.end(), std::begin(marker), std::end(marker));
    ASSERT_NE(rst, renumbered.end());
    rst[1] = 0xD3;
    Recorder dc;
    EXPECT_EQ(DecodeJpegDcRows(renumbered, dc), JpegDcOutcome::NotHandled);
    int fellBack = 0;
    for (std::size_t i = 0; i < file.size(); ++i)
        for (std::uint8_t value : {std::uint8_t(0xFF), std::uint8_t(0x00)}) {
            std::vector<std::uint8_t> damaged = file;
            damaged[i] = value;
            Recorder r;
            if (DecodeJpegDcRows(damaged, r) == JpegDcOutcome::NotHandled) {
                ++fellBack;
                ASSERT_EQ(r.starts, 0);
            } else {
                ASSERT_EQ(r.picture.Width(), 6);
                ASSERT_EQ(r.picture.Height(), 4);
            }
        }
    EXPECT_GT(fellBack, 0);
}

// A file larger than the decoder's first piece, read from disk a piece at a time through the
// reader's 1/8 path: the same picture as from memory, and a cut copy still refused.
TEST(JpegDcDecoder, FileReadInPieces) {
    Encoding e{1403, 997, 3, 2, 1};
    e.restartMcus = 5;
    e.quality = 100;
    const std::vector<std::uint8_t> file = Encode(e);
    ASSERT_GT(file.size(), std::size_t(1) << 20);
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / ("pq_dc_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const auto write = [&](const char* name, std::size_t n) {
        std::ofstream(dir / name, std::ios::binary).write(reinterpret_cast<const char*>(file.data()), std::streamsize(n));
        return dir / name;
    };
    Recorder fromDisk, fromMemory;
    ASSERT_TRUE(LoadJpegFileRows(write("whole.jpg", file.size()), fromDisk));
    ASSERT_EQ(DecodeJpegDcRows(file, fromMemory), JpegDcOutcome::Decoded);
    EXPECT_EQ(fromDisk.picture.Width(), 176);
    EXPECT_EQ(fromDisk.picture.Height(), 125);
    EXPECT_EQ(Compare(fromDisk.picture, fromMemory.picture).largest, 0);
    // At quality 100 stuffed 0xFF bytes and restart markers fall at every distance from the
    // reader's eight-byte loads: still libjpeg's 1/8 exactly.
    EXPECT_EQ(Compare(fromMemory.picture, LibjpegEighth(file)).largest, 0);
    // Read through the decoder a piece at a time, not through libjpeg.
    Recorder inPieces;
    const JpegDcPieceReader read = [&](std::uint64_t at, std::size_t n, std::uint8_t* out) {
        if (at + n > file.size()) return false;
        std::copy(file.begin() + std::ptrdiff_t(at), file.begin() + std::ptrdiff_t(at + n), out);
        return true;
    };
    ASSERT_EQ(DecodeJpegDcRows(file.size(), read, inPieces), JpegDcOutcome::Decoded);
    EXPECT_EQ(Compare(inPieces.picture, fromMemory.picture).largest, 0);
    Recorder cut;
    EXPECT_FALSE(LoadJpegFileRows(write("cut.jpg", file.size() - 300 * 1024), cut));
    std::filesystem::remove_all(dir);
}
