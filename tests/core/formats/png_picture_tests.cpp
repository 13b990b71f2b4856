#include <gtest/gtest.h>
#include <png.h>

#include <cstring>
#include <set>
#include <tuple>

#include "core/formats/bmp_reader.h"
#include "core/formats/icon_images.h"
#include "core/formats/picture_import.h"
#include "core/formats/png_file.h"
#include "support/png_encode.h"
#include "support/test_paths.h"

namespace pq {
namespace {

using test::TempDir;
using test::WriteBytes;
const auto EncodeRgba = test::EncodePng;

// Eight colours in 4 x 4 blocks; in block row r of the picture, block b holds (b + r) % 5
// transparent pixels (in reading order), so 2 x 2 cells of every count from 0 to 4 occur.
std::vector<uint8_t> Blocks(int w, int h) {
    std::vector<uint8_t> px;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int k = (x / 4 + 2 * (y / 4)) % 8;
            const int cell = (x / 2 + y / 2) % 5, inCell = (x % 2) + 2 * (y % 2);
            const bool clear = inCell < cell;
            px.insert(px.end(), {uint8_t(k * 30), uint8_t(200 - k * 20), uint8_t(k * 7), uint8_t(clear ? 0 : 255)});
        }
    return px;
}

TEST(PngPicture, ColoursOverWhiteTransparentWhereAlphaIsZeroAndHostileFilesRefused) {
    const std::vector<uint8_t> px = {10, 20, 30, 255, 10, 20, 30, 0, 200, 100, 0, 128, 0, 0, 0, 1};
    Raster picture;
    Plane clear;
    ASSERT_TRUE(DecodePngPicture(EncodeRgba(2, 2, px), picture, &clear));
    EXPECT_EQ(picture.PixelUnchecked(0, 0), (Rgb{10, 20, 30}));
    EXPECT_EQ(picture.PixelUnchecked(1, 0), kWhite);
    EXPECT_EQ(picture.PixelUnchecked(0, 1), (Rgb{227, 177, 127}));   // half over white
    EXPECT_EQ(clear, (Plane{0, 1, 0, 0}));   // alpha 1 is not fully transparent

    // The header says 40000 x 40000 (its checksum made to match) in a file of a few dozen bytes.
    std::vector<uint8_t> huge = EncodeRgba(2, 2, px);
    for (int i = 0; i < 4; ++i) huge[16 + i] = uint8_t((40000u >> (24 - 8 * i)) & 0xFF), huge[20 + i] = huge[16 + i];
    uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 12; i < 29; ++i) {   // chunk type and data
        crc ^= huge[i];
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    crc = ~crc;
    for (int i = 0; i < 4; ++i) huge[29 + std::size_t(i)] = uint8_t(crc >> (24 - 8 * i));
    EXPECT_EQ(DecodePngPicture(huge, picture, &clear).Message, kPictureTooLargeMessage);
    std::vector<uint8_t> cut = EncodeRgba(2, 2, px);
    cut.resize(cut.size() - 20);
    EXPECT_EQ(DecodePngPicture(cut, picture, &clear).Message, kPngUnreadableMessage);
    EXPECT_TRUE(picture.Empty());
    EXPECT_TRUE(clear.empty());
}

TEST(PngPicture, ImportLeavesMostlyTransparentPixelsUnpainted) {
    TempDir dir;
    const int w = 40, h = 40;
    const std::vector<uint8_t> px = Blocks(w, h);
    WriteBytes(dir / "p.png", EncodeRgba(w, h, px));
    Raster picture;
    Plane clear;
    ASSERT_TRUE(LoadPicture(dir / "p.png", PictureKindOf(dir / "P.PNG"), picture, &clear));

    // OK at once: the top-left 16 x 16 at 1:1; unpainted exactly where transparent, the eight
    // colours exact, and no palette entry spent on the transparent parts.
    AreaPicker oneToOne(picture, 16, 16, &clear);
    Document doc;
    ImportPictureDocument(doc, oneToOne.Preview(), 16, 10, &oneToOne.PreviewUnpainted());
    std::set<int> used;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            const uint8_t* p = px.data() + 4 * (std::size_t(y) * w + x);
            const std::size_t at = std::size_t(y) * 16 + x;
            ASSERT_EQ(doc.LayerAt(0).Mask[at], p[3] ? 1 : 0) << x << "," << y;
            if (!p[3]) continue;
            EXPECT_EQ(doc.ColorOf(doc.LayerAt(0).Indices[at]), (Rgb{p[0], p[1], p[2]}));
            used.insert(doc.LayerAt(0).Indices[at]);
        }
    EXPECT_EQ(used.size(), 8u);   // the colour blocks of the corner
    EXPECT_EQ(doc.Palette[8], PaletteEntry{});

    // A 32 x 32 area to 16 x 16: each pixel from 2 x 2 samples, unpainted when 3 or 4 of them
    // are transparent (2 is not most).
    AreaPicker scaled(picture, 16, 16, &clear);
    scaled.Square = false;
    scaled.Press(0, 0);
    scaled.Move(32, 32);
    scaled.Release();
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            int transparent = 0;
            for (int dy = 0; dy < 2; ++dy)
                for (int dx = 0; dx < 2; ++dx) transparent += px[4 * (std::size_t(2 * y + dy) * w + 2 * x + dx) + 3] == 0;
            ASSERT_EQ(scaled.PreviewUnpainted()[std::size_t(y) * 16 + x], transparent > 2) << x << "," << y;
        }
    // The same picture without transparency: every pixel painted, as for other pictures.
    AreaPicker plain(picture, 16, 16);
    EXPECT_EQ(plain.PreviewUnpainted(), Plane(256, 0));
}

TEST(PngPicture, ADocumentWrittenAsPngImportsBackAsItWas) {
    TempDir dir;
    Document doc;
    InitBlankDocument(doc, 16, 16, 16, 10);
    Layer& l = doc.LayerAt(0);
    for (std::size_t i = 0; i < l.Mask.size(); ++i) {
        l.Indices[i] = uint8_t(i % 5);
        l.Mask[i] = i % 3 != 0;
    }
    ASSERT_TRUE(SavePngFile(doc, dir / "d.png"));
    Raster picture;
    Plane clear;
    ASSERT_TRUE(LoadPicture(dir / "d.png", PictureKind::Png, picture, &clear));
    AreaPicker picker(picture, 16, 16, &clear);
    Document back;
    ImportPictureDocument(back, picker.Preview(), 16, 10, &picker.PreviewUnpainted());
    EXPECT_EQ(back.LayerAt(0).Mask, l.Mask);
    for (std::size_t i = 0; i < l.Mask.size(); ++i)
        if (l.Mask[i]) {
            ASSERT_EQ(back.ColorOf(back.LayerAt(0).Indices[i]), doc.ColorOf(l.Indices[i])) << i;
        }
}

}  // namespace
}  // namespace pq

namespace pq {
namespace {

// A PNG written here with libpng's own writer, sample by sample, so that the stored values are
// known exactly: colour type, bit depth, interlacing, a tRNS chunk and a gAMA chunk as asked.
struct PngMaker {
    int w = 0, h = 0, colorType = PNG_COLOR_TYPE_RGB, depth = 8;
    bool interlace = false, trns = false;
    double gamma = 0;   // 0: no gAMA chunk
    int fixed = -1;     // every sample this value, when set

    int Channels() const {
        switch (colorType) {
        case PNG_COLOR_TYPE_RGB: return 3;
        case PNG_COLOR_TYPE_GRAY_ALPHA: return 2;
        case PNG_COLOR_TYPE_RGBA: return 4;
        default: return 1;
        }
    }
    int PaletteSize() const { return std::min(1 << depth, 200); }
    unsigned Sample(int x, int y, int c) const {
        if (fixed >= 0) return unsigned(fixed);
        const unsigned v = (unsigned(x * 31 + y * 17 + c * 59 + x * y) * 2654435761u) >> 7;
        if (colorType == PNG_COLOR_TYPE_PALETTE) return v % unsigned(PaletteSize());
        return v % (1u << depth);
    }
    // The colour key of grey and RGB files: pixel (1, 0)'s own samples, so that some match.
    unsigned Key(int c) const { return Sample(1, 0, c); }
    static png_color Entry(int i) { return png_color{png_byte(i * 13), png_byte(255 - i), png_byte(i * 101)}; }
    static png_byte EntryAlpha(int i) { return png_byte(i * 71); }   // the first 5 entries: 0, 71, 142, ...
    unsigned Scale(unsigned v) const {
        if (depth == 16) return (v * 255 + 32767) / 65535;
        return v * 255 / ((1u << depth) - 1);
    }

    // The RGBA bytes the stored samples stand for.
    std::vector<uint8_t> Expected() const {
        std::vector<uint8_t> out;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                unsigned r, g, b, a = 255;
                switch (colorType) {
                case PNG_COLOR_TYPE_GRAY:
                    r = g = b = Scale(Sample(x, y, 0));
                    if (trns && Sample(x, y, 0) == Key(0)) a = 0;
                    break;
                case PNG_COLOR_TYPE_RGB:
                    r = Scale(Sample(x, y, 0)), g = Scale(Sample(x, y, 1)), b = Scale(Sample(x, y, 2));
                    if (trns && Sample(x, y, 0) == Key(0) && Sample(x, y, 1) == Key(1) && Sample(x, y, 2) == Key(2)) a = 0;
                    break;
                case PNG_COLOR_TYPE_PALETTE: {
                    const int i = int(Sample(x, y, 0));
                    r = Entry(i).red, g = Entry(i).green, b = Entry(i).blue;
                    if (trns && i < std::min(5, PaletteSize())) a = EntryAlpha(i);
                    break;
                }
                case PNG_COLOR_TYPE_GRAY_ALPHA:
                    r = g = b = Scale(Sample(x, y, 0));
                    a = Scale(Sample(x, y, 1));
                    break;
                default:
                    r = Scale(Sample(x, y, 0)), g = Scale(Sample(x, y, 1)), b = Scale(Sample(x, y, 2));
                    a = Scale(Sample(x, y, 3));
                    break;
                }
                out.insert(out.end(), {uint8_t(r), uint8_t(g), uint8_t(b), uint8_t(a)});
            }
        return out;
    }

    std::vector<uint8_t> Make() const {
        std::vector<uint8_t> file;
        png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
        png_infop info = png_create_info_struct(png);
        const std::size_t rowBytes = (std::size_t(w) * Channels() * depth + 7) / 8;
        std::vector<std::vector<png_byte>> rows(std::size_t(h), std::vector<png_byte>(rowBytes, 0));
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                for (int c = 0; c < Channels(); ++c) {
                    const unsigned v = Sample(x, y, c);
                    const std::size_t at = std::size_t(x) * Channels() + std::size_t(c);
                    png_byte* row = rows[std::size_t(y)].data();
                    if (depth == 16) {
                        row[2 * at] = png_byte(v >> 8), row[2 * at + 1] = png_byte(v);
                    } else if (depth == 8) {
                        row[at] = png_byte(v);
                    } else {
                        const std::size_t bit = at * std::size_t(depth);
                        row[bit / 8] |= png_byte(v << (8 - depth - bit % 8));
                    }
                }
        std::vector<png_bytep> pointers;
        for (auto& row : rows) pointers.push_back(row.data());
        std::vector<png_color> palette;
        std::vector<png_byte> alphas;
        if (setjmp(png_jmpbuf(png)) == 0) {
            png_set_write_fn(png, &file, [](png_structp p, png_bytep d, png_size_t n) {
                auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(p));
                out->insert(out->end(), d, d + n);
            }, nullptr);
            png_set_IHDR(png, info, png_uint_32(w), png_uint_32(h), depth, colorType,
                         interlace ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                         PNG_FILTER_TYPE_DEFAULT);
            if (colorType == PNG_COLOR_TYPE_PALETTE) {
                for (int i = 0; i < PaletteSize(); ++i) palette.push_back(Entry(i));
                png_set_PLTE(png, info, palette.data(), int(palette.size()));
            }
            if (trns) {
                png_color_16 key{};
                key.gray = png_uint_16(Key(0));
                key.red = png_uint_16(Key(0)), key.green = png_uint_16(Key(1)), key.blue = png_uint_16(Key(2));
                for (int i = 0; i < std::min(5, PaletteSize()); ++i) alphas.push_back(EntryAlpha(i));
                if (colorType == PNG_COLOR_TYPE_PALETTE)
                    png_set_tRNS(png, info, alphas.data(), int(alphas.size()), nullptr);
                else
                    png_set_tRNS(png, info, nullptr, 0, &key);
            }
            if (gamma > 0) png_set_gAMA(png, info, gamma);
            png_write_info(png, info);
            png_write_image(png, pointers.data());
            png_write_end(png, nullptr);
        } else {
            file.clear();
        }
        png_destroy_write_struct(&png, &info);
        return file;
    }
};

// What the picture reader makes of straight RGBA: colours over white, transparent where alpha is 0.
void OverWhite(const std::vector<uint8_t>& rgba, int w, int h, Raster& picture, Plane& clear) {
    picture.Resize(w, h);
    clear.assign(std::size_t(w) * std::size_t(h), 0);
    for (std::size_t i = 0; i < clear.size(); ++i) {
        const uint8_t* p = rgba.data() + 4 * i;
        const unsigned a = p[3];
        auto over = [a](unsigned v) { return uint8_t((v * a + 255 * (255 - a) + 127) / 255); };
        picture.SetPixelUnchecked(int(i % std::size_t(w)), int(i / std::size_t(w)), Rgb{over(p[0]), over(p[1]), over(p[2])});
        clear[i] = a == 0;
    }
}

// Pieces collected into a picture and its transparency, checked to come in order.
class PieceSink : public PictureRowSink {
public:
    PieceSink(int first, int end, int maxColumns) : first_(first), end_(end), max_(maxColumns) {}
    void Start(int width, int height) override {
        picture.Resize(width, height);
        clear.assign(std::size_t(width) * std::size_t(height), 9);
        if (end_ < 0) end_ = width;
        at_ = first_;
    }
    std::uint8_t* RowBuffer(int) override { ADD_FAILURE(); return nullptr; }
    void RowDone(int) override {}
    PieceLayout Pieces() const override { return {first_, end_, max_}; }
    void Piece(int y, int x, int n, const std::uint8_t* bgr, const std::uint8_t* c) override {
        if (y != row_ || x != at_ || n <= 0 || (max_ > 0 && n > max_)) {
            ++disorder;
            return;
        }
        std::memcpy(picture.Row(y) + 3 * std::size_t(x), bgr, 3 * std::size_t(n));
        if (c) std::memcpy(clear.data() + std::size_t(y) * std::size_t(picture.Width()) + std::size_t(x), c, std::size_t(n));
        withClear = c != nullptr;
        at_ = x + n;
        if (at_ == end_) ++row_, at_ = first_;
    }
    Raster picture;
    Plane clear;
    int disorder = 0, row_ = 0;
    bool withClear = false;

private:
    int first_, end_, max_, at_ = 0;
};

const int kAllKinds[][2] = {{PNG_COLOR_TYPE_GRAY, 1},  {PNG_COLOR_TYPE_GRAY, 2},    {PNG_COLOR_TYPE_GRAY, 4},
                            {PNG_COLOR_TYPE_GRAY, 8},  {PNG_COLOR_TYPE_GRAY, 16},   {PNG_COLOR_TYPE_RGB, 8},
                            {PNG_COLOR_TYPE_RGB, 16},  {PNG_COLOR_TYPE_PALETTE, 1}, {PNG_COLOR_TYPE_PALETTE, 2},
                            {PNG_COLOR_TYPE_PALETTE, 4}, {PNG_COLOR_TYPE_PALETTE, 8}, {PNG_COLOR_TYPE_GRAY_ALPHA, 8},
                            {PNG_COLOR_TYPE_GRAY_ALPHA, 16}, {PNG_COLOR_TYPE_RGBA, 8}, {PNG_COLOR_TYPE_RGBA, 16}};

}  // namespace

// Every colour type and bit depth, with and without tRNS, with and without a gAMA chunk of
// 0.55, interlaced or not, non-square: the samples come out as stored (16 bits rounded, no
// gamma conversion) as RGBA for icons and over white for pictures, and the rows handed over
// band by band, in pieces and column windows, from memory and from a file, are the same bytes.
TEST(PngRows, EveryKindReadsAsStoredAndBandsMatchTheWholePicture) {
    TempDir dir;
    for (const auto& kind : kAllKinds)
        for (const bool trns : {false, true})
            for (const double gamma : {0.0, 0.55})
                for (const bool interlace : {false, true})
                    for (const auto& [w, h] : {std::pair{37, 13}, std::pair{5, 41}}) {
                        if (trns && (kind[0] & PNG_COLOR_MASK_ALPHA)) continue;
                        PngMaker maker;
                        maker.w = w, maker.h = h, maker.colorType = kind[0], maker.depth = kind[1];
                        maker.trns = trns, maker.gamma = gamma, maker.interlace = interlace;
                        SCOPED_TRACE("type " + std::to_string(kind[0]) + ", " + std::to_string(kind[1]) + " bits" +
                                     (trns ? ", tRNS" : "") + (gamma > 0 ? ", gAMA" : "") + (interlace ? ", interlaced" : "") +
                                     ", " + std::to_string(w) + "x" + std::to_string(h));
                        const std::vector<uint8_t> file = maker.Make();
                        ASSERT_FALSE(file.empty());
                        const std::vector<uint8_t> rgba = maker.Expected();
                        int gotW = 0, gotH = 0;
                        std::vector<uint8_t> got;
                        ASSERT_TRUE(DecodePngRgba(file, 64, gotW, gotH, got));
                        ASSERT_EQ(std::pair(gotW, gotH), std::pair(w, h));
                        ASSERT_EQ(got, rgba);

                        Raster want;
                        Plane wantClear;
                        OverWhite(rgba, w, h, want, wantClear);
                        Raster picture;
                        Plane clear;
                        ASSERT_TRUE(DecodePngPicture(file, picture, &clear).Ok);
                        for (int y = 0; y < h; ++y) ASSERT_EQ(std::memcmp(picture.Row(y), want.Row(y), 3 * std::size_t(w)), 0);
                        ASSERT_EQ(clear, wantClear);

                        PngInfo info;
                        ASSERT_TRUE(ReadPngInfo(file, info).Ok);
                        EXPECT_EQ(info.MayBeTransparent, trns || (kind[0] & PNG_COLOR_MASK_ALPHA) != 0);
                        EXPECT_EQ(info.Interlaced, interlace);
                        WriteBytes(dir / "rows.png", file);
                        for (const std::size_t band : {std::size_t(4), std::size_t(40), std::size_t(4 * w - 1), kPictureBandBytes})
                            for (const auto& [first, end, most] : {std::tuple{0, -1, 0}, std::tuple{w / 3, w - 1, 2}})
                                for (const bool fromFile : {false, true}) {
                                    SCOPED_TRACE("band " + std::to_string(band) + ", from " + std::to_string(first));
                                    PieceSink sink(first, end, most);
                                    const FileResult r = fromFile ? LoadPngFileRows(dir / "rows.png", sink, nullptr, band)
                                                                  : DecodePngRows(file, sink, nullptr, band);
                                    ASSERT_TRUE(r.Ok) << r.Message;
                                    ASSERT_EQ(sink.disorder, 0);
                                    ASSERT_EQ(sink.row_, h);
                                    EXPECT_EQ(sink.withClear, info.MayBeTransparent);
                                    const int stop = end < 0 ? w : end;
                                    for (int y = 0; y < h; ++y) {
                                        ASSERT_EQ(std::memcmp(sink.picture.Row(y) + 3 * first, want.Row(y) + 3 * first,
                                                              3 * std::size_t(stop - first)),
                                                  0);
                                        if (!sink.withClear) continue;
                                        for (int x = first; x < stop; ++x)
                                            ASSERT_EQ(sink.clear[std::size_t(y * w + x)], wantClear[std::size_t(y * w + x)]);
                                    }
                                }
                    }
}

// Values that tell the readings apart: 16-bit samples are rounded (0x01FF is 2 where keeping the
// high byte gives 1, 0x8000 is 128 where a linear-light reading gives 188), and an 8-bit file
// with a gAMA chunk keeps its values, for pictures and for icon images alike.
TEST(PngRows, SixteenBitRoundingAndGammaChunksChangeNoValue) {
    PngMaker maker;
    maker.w = 1, maker.h = 1, maker.colorType = PNG_COLOR_TYPE_GRAY, maker.depth = 16;
    struct Case {
        unsigned stored;
        uint8_t read;
    };
    for (const Case c : {Case{0x01FF, 2}, Case{0x00FF, 1}, Case{0x8000, 128}, Case{0xFF7F, 255}, Case{0x7F80, 127}}) {
        maker.fixed = int(c.stored);   // a one-pixel grey 16-bit file holding exactly `stored`
        const std::vector<uint8_t> file = maker.Make();
        Raster picture;
        ASSERT_TRUE(DecodePngPicture(file, picture, nullptr).Ok);
        EXPECT_EQ(picture.PixelUnchecked(0, 0), (Rgb{c.read, c.read, c.read})) << std::hex << c.stored;
        RgbaImage icon;
        ASSERT_TRUE(DecodeIconRgba(file, icon));
        EXPECT_EQ(icon.Pixels, (std::vector<uint8_t>{c.read, c.read, c.read, 255})) << std::hex << c.stored;
    }
    maker.colorType = PNG_COLOR_TYPE_RGBA, maker.depth = 8, maker.gamma = 0.55, maker.w = 9, maker.h = 3, maker.fixed = -1;
    const std::vector<uint8_t> file = maker.Make();
    RgbaImage icon;
    ASSERT_TRUE(DecodeIconRgba(file, icon));
    EXPECT_EQ(icon.Pixels, maker.Expected());
}

// The header is read alone: a file whose pixel data is broken, or missing, still has its size
// and kind, while decoding it is refused. A file missing only its end chunk holds the whole
// picture and is read.
TEST(PngRows, HeaderReadAloneAndAMissingEndChunkTolerated) {
    PngMaker maker;
    maker.w = 9, maker.h = 5, maker.colorType = PNG_COLOR_TYPE_RGB, maker.depth = 8;
    const std::vector<uint8_t> good = maker.Make();
    Raster whole;
    ASSERT_TRUE(DecodePngPicture(good, whole, nullptr).Ok);

    std::vector<uint8_t> noEnd(good.begin(), good.end() - 12);   // IEND: length, type, CRC
    Raster picture;
    ASSERT_TRUE(DecodePngPicture(noEnd, picture, nullptr).Ok);
    EXPECT_EQ(picture, whole);

    for (const std::size_t keep : {std::size_t(33 + 8), good.size() - 12 - 10}) {   // no pixel data; some
        SCOPED_TRACE(keep);
        const std::vector<uint8_t> cut(good.begin(), good.begin() + std::ptrdiff_t(keep));
        PngInfo info;
        ASSERT_TRUE(ReadPngInfo(cut, info).Ok);
        EXPECT_EQ(std::tuple(info.Width, info.Height, info.BitDepth, info.ColorType, info.MayBeTransparent),
                  std::tuple(9, 5, 8, PNG_COLOR_TYPE_RGB, false));
        EXPECT_EQ(DecodePngPicture(cut, picture, nullptr).Message, kPngUnreadableMessage);
        EXPECT_TRUE(picture.Empty());
        PieceSink sink(0, -1, 0);
        EXPECT_EQ(DecodePngRows(cut, sink).Message, kPngUnreadableMessage);
    }
}

}  // namespace pq
