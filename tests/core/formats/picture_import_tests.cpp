#include "core/formats/picture_import.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <random>
#include <set>
#include <vector>

#include <jpeglib.h>

#include "core/formats/bmp_reader.h"
#include "core/io/atomic_write.h"
#include "core/ops/resample.h"

#include "support/png_encode.h"
#include "support/reference_resample.h"
#include "support/test_paths.h"

using namespace pq;
using pq::test::DataDir;

namespace {

// A picture whose every pixel has its own colour: red = x, green = y, blue = (x + y) % 256.
Raster Numbered(int w, int h) {
    Raster r(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) r.SetPixel(x, y, Rgb{std::uint8_t(x), std::uint8_t(y), std::uint8_t((x + y) % 256)});
    return r;
}

Raster White(int w, int h) {
    Raster r(w, h);
    r.Fill(kWhite);
    return r;
}

// The picture's pixels (left .. left+w-1) x (top .. top+h-1), white off the picture.
void ExpectCopyOf(const Raster& preview, const Raster& picture, int left, int top) {
    for (int y = 0; y < preview.Height(); ++y)
        for (int x = 0; x < preview.Width(); ++x) {
            const Rgb want = picture.Contains(left + x, top + y) ? picture.PixelUnchecked(left + x, top + y) : kWhite;
            ASSERT_EQ(preview.PixelUnchecked(x, y), want) << x << "," << y;
        }
}

}  // namespace

TEST(ResampleArea, OneToOneShrinkEnlargeAndOffPicture) {
    const Raster pic = Numbered(100, 80);
    // A frame of the target's size copies 1:1.
    Raster t = White(32, 32);
    ResampleArea(pic, 10, 20, 42, 52, t);
    ExpectCopyOf(t, pic, 10, 20);

    // Twice the target's size: the integer average of 2 x 2 pixels.
    t = White(32, 32);
    ResampleArea(pic, 0, 0, 64, 64, t);
    for (int i = 0; i < 32; ++i)
        for (int j = 0; j < 32; ++j) {
            int r = 0, g = 0, b = 0;
            for (int dy = 0; dy < 2; ++dy)
                for (int dx = 0; dx < 2; ++dx) {
                    const Rgb c = pic.PixelUnchecked(2 * j + dx, 2 * i + dy);
                    r += c.r; g += c.g; b += c.b;
                }
            ASSERT_EQ(t.PixelUnchecked(j, i), (Rgb{std::uint8_t(r / 4), std::uint8_t(g / 4), std::uint8_t(b / 4)}));
        }

    // Smaller than the target: one bilinear sample per pixel; a sample whose right-hand
    // neighbour is off the picture is skipped, leaving white.
    Raster two(2, 1);
    two.SetPixel(0, 0, Rgb{0, 0, 0});
    two.SetPixel(1, 0, Rgb{100, 200, 10});
    t = White(4, 1);
    ResampleArea(two, 0, 0, 2, 1, t);
    EXPECT_EQ(t.PixelUnchecked(0, 0), (Rgb{0, 0, 0}));
    EXPECT_EQ(t.PixelUnchecked(1, 0), (Rgb{50, 100, 5}));
    EXPECT_EQ(t.PixelUnchecked(2, 0), (Rgb{100, 200, 10}));
    EXPECT_EQ(t.PixelUnchecked(3, 0), kWhite);

    // The bilinear value is evaluated term by term from the left and then truncated: at
    // (1/3, 2/3) between columns 96 and 159 it comes out just below 117 and gives 116.
    Raster cols(2, 2);
    for (int y = 0; y < 2; ++y) {
        cols.SetPixel(0, y, Rgb{96, 96, 96});
        cols.SetPixel(1, y, Rgb{159, 159, 159});
    }
    t = White(3, 3);
    ResampleArea(cols, 0, 0, 1, 1, t);
    EXPECT_EQ(t.PixelUnchecked(0, 0), (Rgb{96, 96, 96}));
    EXPECT_EQ(t.PixelUnchecked(1, 2), (Rgb{116, 116, 116}));
    EXPECT_EQ(t.PixelUnchecked(2, 1), (Rgb{138, 138, 138}));

    // Partly off the picture: white where no sample falls on it.
    t = White(16, 16);
    ResampleArea(pic, 90, 70, 106, 86, t);
    ExpectCopyOf(t, pic, 90, 70);
    t = White(16, 16);
    ResampleArea(pic, -8, -8, 8, 8, t);
    ExpectCopyOf(t, pic, -8, -8);

    // Starting at or beyond the picture's right or bottom edge, or a frame without width.
    for (const Rect r : {Rect{100, 0, 116, 16}, Rect{0, 80, 16, 96}, Rect{5, 5, 5, 40}, Rect{5, 5, 40, 5}}) {
        t = White(16, 16);
        ResampleArea(pic, r.left, r.top, r.right, r.bottom, t);
        EXPECT_EQ(t, White(16, 16));
    }
}

TEST(AreaPicker, ClickDragSquareMoveAndWhole) {
    const Raster pic = Numbered(120, 100);
    AreaPicker picker(pic);
    // Before any click the preview is the top-left 16 x 16 at 1:1.
    ExpectCopyOf(picker.Preview(), pic, 0, 0);

    // "32×32ピクセル", click at (10, 20): pixels 10-41 x 20-51 unscaled.
    picker.SetOutputSize(32, 32);
    picker.Press(10, 20);
    picker.Release();
    EXPECT_EQ(picker.FrameRect(), (Rect{10, 20, 42, 52}));
    ExpectCopyOf(picker.Preview(), pic, 10, 20);

    // A drag from inside the frame moves it.
    picker.Press(15, 25);
    EXPECT_TRUE(picker.MovingFrame());
    picker.Move(20, 27);
    picker.Move(25, 29);
    picker.Release();
    EXPECT_EQ(picker.FrameRect(), (Rect{20, 24, 52, 56}));
    ExpectCopyOf(picker.Preview(), pic, 20, 24);
    // ... and may leave the picture: white where nothing falls on it.
    picker.Press(21, 25);
    picker.Move(21 + 80, 25 + 60);
    picker.Release();
    EXPECT_EQ(picker.FrameRect(), (Rect{100, 84, 132, 116}));
    ExpectCopyOf(picker.Preview(), pic, 100, 84);

    // A 64 x 64 drag (square on) for 32 x 32 averages 2 x 2.
    picker.Press(0, 0);
    picker.Move(30, 40);
    EXPECT_EQ(picker.BandWidth(), 30);
    EXPECT_EQ(picker.BandHeight(), 30);
    picker.Move(64, 64);
    picker.Release();
    EXPECT_EQ(picker.FrameRect(), (Rect{0, 0, 64, 64}));
    Raster want = White(32, 32);
    ResampleArea(pic, 0, 0, 64, 64, want);
    EXPECT_EQ(picker.Preview(), want);
    const Rgb c = picker.Preview().PixelUnchecked(3, 5);
    EXPECT_EQ(c, (Rgb{6, 10, 17}));   // x 6-7, y 10-11: red 6.5, green 10.5, blue 17 truncated

    // "正方形": the band keeps the smaller extent, towards the mouse (presses outside the
    // frame, or they would move it).
    picker.Press(0, 70);
    picker.Move(50, 90);
    picker.Release();
    EXPECT_EQ(picker.FrameRect(), (Rect{0, 70, 20, 90}));
    picker.Press(90, 90);
    picker.Move(50, 80);
    picker.Release();
    EXPECT_EQ(picker.FrameRect(), (Rect{80, 80, 90, 90}));
    picker.Square = false;
    picker.Press(0, 0);
    picker.Move(50, 20);
    picker.Release();
    EXPECT_EQ(picker.FrameRect(), (Rect{0, 0, 50, 20}));

    // A drag that ends on the anchor's column gives an all-white preview.
    picker.Press(110, 5);
    picker.Move(110, 60);
    picker.Release();
    EXPECT_EQ(picker.Preview(), White(32, 32));

    // "全体を使う": the whole picture, unticking the square box.
    picker.Square = true;
    picker.UseWholePicture();
    EXPECT_FALSE(picker.Square);
    EXPECT_FALSE(picker.Dragging());
    EXPECT_EQ(picker.FrameRect(), (Rect{0, 0, 120, 100}));
    want = White(32, 32);
    ResampleArea(pic, 0, 0, 120, 100, want);
    EXPECT_EQ(picker.Preview(), want);
}

// Changing the output size keeps the preview's old content top-left, without redrawing; a
// picture smaller than the output shows white to the right and below.
TEST(AreaPicker, OutputSizeChangeAndSmallPicture) {
    const Raster pic = Numbered(10, 12);
    AreaPicker picker(pic);
    ExpectCopyOf(picker.Preview(), pic, 0, 0);
    picker.SetOutputSize(48, 48);
    EXPECT_EQ(picker.Preview().Width(), 48);
    ExpectCopyOf(picker.Preview(), pic, 0, 0);
    picker.Press(0, 0);
    picker.Release();
    EXPECT_EQ(picker.FrameRect(), (Rect{0, 0, 48, 48}));
    ExpectCopyOf(picker.Preview(), pic, 0, 0);
    // Moves without a press do nothing.
    picker.Move(5, 5);
    picker.Release();
    EXPECT_EQ(picker.FrameRect(), (Rect{0, 0, 48, 48}));
}

TEST(ImportPicture, DocumentFromPreview) {
    // OK right after opening: the top-left 16 x 16, 16 colours.
    const Raster pic = Numbered(40, 40);
    AreaPicker picker(pic);
    Document doc;
    ImportPictureDocument(doc, picker.Preview(), 16, 20);
    EXPECT_EQ(doc.ImageWidth, 16);
    EXPECT_EQ(doc.ImageHeight, 16);
    EXPECT_EQ(doc.ColorCount, 16);
    EXPECT_EQ(doc.Zoom, 20);
    EXPECT_EQ(doc.DrawColor, 0);
    EXPECT_EQ(doc.AuxColor, 8);
    int nonZero = 0;
    for (int i = 0; i < 16; ++i) nonZero += doc.Palette[std::size_t(i)] != PaletteEntry{};
    EXPECT_GE(nonZero, 15);   // 16 entries built (one may be black)
    for (std::uint8_t m : doc.LayerAt(0).Mask) ASSERT_EQ(m, 1);

    // Five distinct colours: five exact entries, the rest zero; every pixel keeps its colour.
    const Rgb five[5] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 0}, {10, 20, 30}};
    Raster p(32, 32);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) p.SetPixel(x, y, five[(x / 3 + y) % 5]);
    Document d5;
    ImportPictureDocument(d5, p, 256, 20);
    EXPECT_EQ(d5.ColorCount, 256);
    EXPECT_EQ(d5.Zoom, 10);
    std::set<std::uint32_t> used;
    for (int i = 0; i < 5; ++i) used.insert(ToColorRef(d5.ColorOf(i)));
    EXPECT_EQ(used.size(), 5u);
    for (int i = 5; i < 256; ++i) ASSERT_EQ(d5.Palette[std::size_t(i)], PaletteEntry{}) << i;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x)
            ASSERT_EQ(d5.ColorOf(d5.LayerAt(0).Indices[std::size_t(x + 32 * y)]), p.PixelUnchecked(x, y));
}

TEST(ImportPicture, LoadsByKind) {
    EXPECT_EQ(PictureKindOf("a/b/photo.JPEG"), PictureKind::Jpeg);
    EXPECT_EQ(PictureKindOf("photo.jpg"), PictureKind::Jpeg);
    EXPECT_EQ(PictureKindOf("C.Bmp"), PictureKind::Bitmap);
    EXPECT_EQ(PictureKindOf("icon.ico"), PictureKind::None);
    EXPECT_EQ(PictureKindOf("bmp"), PictureKind::None);
    Raster r;
    ASSERT_TRUE(LoadPicture(DataDir() / "jpeg_reader/gradient.jpg", PictureKind::Jpeg, r).Ok);
    EXPECT_EQ(r.Width(), 40);
    ASSERT_TRUE(LoadPicture(DataDir() / "bmp_reader/rle8_codes.bmp", PictureKind::Bitmap, r).Ok);
    EXPECT_EQ(r.Width(), 4);
    // A JPEG handed to the bitmap reader is refused.
    EXPECT_FALSE(LoadPicture(DataDir() / "jpeg_reader/gradient.jpg", PictureKind::Bitmap, r).Ok);
    EXPECT_TRUE(r.Empty());
    EXPECT_FALSE(LoadPicture(DataDir() / "jpeg_reader/gradient.jpg", PictureKind::None, r).Ok);
}

// Random pictures and frames (whole, shrinking by odd fractions, enlarging, hanging off any
// side, empty) give exactly the bytes of the sample-by-sample resampling. Half the pictures
// have large flat areas, where bilinear values land a hair below whole numbers and the sum's
// rounding decides the result.
TEST(ResampleArea, SameBytesAsTheSampleBySampleSum) {
    std::mt19937 rng(11);
    for (int round = 0; round < 300; ++round) {
        const int pw = 1 + int(rng() % 97), ph = 1 + int(rng() % 89);
        Raster picture(pw, ph);
        const bool flat = (round / 2) % 2 == 1;
        for (int y = 0; y < ph; ++y)
            for (int x = 0; x < pw; ++x) {
                const std::uint8_t level = std::uint8_t(((x / 7 + y / 5) % 3) * 127 + 1);
                picture.SetPixelUnchecked(x, y, flat ? Rgb{level, std::uint8_t(255 - level), 200}
                                                     : Rgb{std::uint8_t(rng()), std::uint8_t(rng()), std::uint8_t(rng())});
            }
        const int size = round % 4 == 1 ? 48 : round % 3 == 0 ? 16 : round % 3 == 1 ? 32 : 48;
        int l = int(rng() % 60) - 30, t = int(rng() % 60) - 30;
        int r = l + int(rng() % 200), b = t + int(rng() % 200);
        if (round % 4 == 1) {
            // Whole x positions and y positions a third apart, where many bilinear values land
            // a hair below whole numbers.
            r = l + size * int(1 + rng() % 5);
            b = t + size / 3 * int(1 + 3 * (rng() % 4));
        }
        if (round % 10 == 0) l = t = 0, r = pw, b = ph;
        Raster expected(size, size), got(size, size);
        expected.Fill(kWhite);
        got.Fill(kWhite);
        test::ReferenceResample(picture, l, t, r, b, expected);
        ResampleArea(picture, l, t, r, b, got);
        ASSERT_EQ(got, expected) << pw << "x" << ph << " frame " << l << "," << t << "," << r << "," << b;
    }
}

namespace {

// Hands `picture` to `sink` row by row, as the JPEG decoder does.
void FeedRows(const Raster& picture, PictureRowSink& sink) {
    sink.Start(picture.Width(), picture.Height());
    for (int y = 0; y < picture.Height(); ++y) {
        std::memcpy(sink.RowBuffer(y), picture.Row(y), 3 * std::size_t(picture.Width()));
        sink.RowDone(y);
    }
}

}  // namespace

// The row-by-row resampler against the sample-by-sample sum: random odd-sized pictures (noisy,
// flat with levels whose bilinear values land a hair below whole numbers, dark), frames
// shrinking by fractions (whole x positions and thirds in y), enlarging (several target rows
// from one row band), off any side, reversed or empty, onto non-square targets; the ring of rows
// is reused many times over.
TEST(AreaResampler, RowByRowGivesTheSampleBySampleBytes) {
    std::mt19937 rng(29);
    for (int round = 0; round < 240; ++round) {
        const int pw = 1 + int(rng() % 131), ph = 1 + int(rng() % 103);
        const int kind = round % 3;
        Raster picture(pw, ph);
        for (int y = 0; y < ph; ++y)
            for (int x = 0; x < pw; ++x) {
                const std::uint8_t level = std::uint8_t(((x / 7 + y / 5) % 3) * 127 + 1);
                const std::uint8_t dark = std::uint8_t(3 + (x / 9 + y / 4) % 5);
                picture.SetPixelUnchecked(x, y, kind == 0 ? Rgb{std::uint8_t(rng()), std::uint8_t(rng()), std::uint8_t(rng())}
                                                : kind == 1 ? Rgb{level, std::uint8_t(255 - level), std::uint8_t(200 + (x + y) % 3 * 25)}
                                                            : Rgb{dark, std::uint8_t(dark * 3), std::uint8_t(rng() % 4)});
            }
        const int w = 1 + int(rng() % 49), h = 1 + int(rng() % 37);
        int l = int(rng() % 60) - 30, t = int(rng() % 60) - 30;
        int r = l + int(rng() % 300), b = t + int(rng() % 300);
        if (round % 4 == 1) r = l + w * int(1 + rng() % 5), b = t + h * int(1 + rng() % 7) / 3;
        if (round % 5 == 0) l = t = 0, r = pw, b = ph;
        if (round % 17 == 3) std::swap(l, r);   // as the picker leaves it: no sample
        Raster expected(w, h), got(w, h);
        expected.Fill(kWhite);
        got.Fill(kWhite);
        test::ReferenceResample(picture, l, t, r, b, expected);
        AreaResampler resampler(l, t, r, b, got);
        FeedRows(picture, resampler);
        ASSERT_EQ(got, expected) << round << ": " << pw << "x" << ph << " frame " << l << "," << t << "," << r << ","
                                 << b << " to " << w << "x" << h;
    }
}

// Flat pictures onto one or three target rows: the band is the whole picture or a third of it.
TEST(AreaResampler, TallPictureOntoFewTargetRows) {
    for (const int level : {3, 77, 200, 254}) {
        Raster picture(37, 301);
        picture.Fill(Rgb{std::uint8_t(level), std::uint8_t(level), std::uint8_t(level)});
        for (const int side : {1, 3}) {
            Raster expected(side, side), got(side, side);
            expected.Fill(kWhite);
            got.Fill(kWhite);
            test::ReferenceResample(picture, 0, 0, 37, 301, expected);
            AreaResampler resampler(0, 0, 37, 301, got);
            FeedRows(picture, resampler);
            ASSERT_EQ(got, expected) << level << " " << side;
        }
    }
}

// Frames whose x positions are all whole, with columns off the picture on both sides (the first
// pixels without a sample, the last with fewer positions): target rows on whole y positions beside
// rows between two source rows, sharing the source row where one band ends and the next begins;
// a whole row of more than 257 source rows of bright bytes (beyond 16 bits a column); and rows off
// the picture's top and bottom.
TEST(AreaResampler, WholeRowsBesideFractionalRowsAndOffThePicture) {
    const int pw = 67, ph = 1001;
    Raster picture(pw, ph);
    std::mt19937 rng(53);
    for (int y = 0; y < ph; ++y)
        for (int x = 0; x < pw; ++x)
            picture.SetPixelUnchecked(x, y, Rgb{std::uint8_t(250 + rng() % 6), std::uint8_t(rng()), std::uint8_t(x * 3 + y)});
    struct Frame {
        int l, t, r, b, w, h;
    };
    for (const Frame& f : std::vector<Frame>{{-6, 0, 69, 1000, 25, 3},     // row 0: 334 whole rows; rows 1, 2 fractional
                                             {-6, -2, 69, 98, 25, 15},     // every third row whole, from row 0 partly off the top
                                             {-6, 990, 69, 1010, 25, 6},   // off the bottom
                                             {-6, 0, 69, 1001, 25, 1},     // one whole row of 1001 rows
                                             {1, 3, 66, 260, 13, 1}}) {    // one whole row of exactly 257 rows
        Raster expected(f.w, f.h), got(f.w, f.h);
        expected.Fill(kWhite);
        got.Fill(kWhite);
        test::ReferenceResample(picture, f.l, f.t, f.r, f.b, expected);
        AreaResampler resampler(f.l, f.t, f.r, f.b, got);
        FeedRows(picture, resampler);
        ASSERT_EQ(got, expected) << f.l << "," << f.t << "," << f.r << "," << f.b << " to " << f.w << "x" << f.h;
    }
}

// A large picture: the bytes are the in-memory resampling's, for frames that shrink a lot (a band
// of many rows each, rows decoded straight into the ring when every column is read), a little
// and off the picture, and when a frame ends early in the picture.
TEST(AreaResampler, LargePictureGivesTheSameBytes) {
    const int pw = 2053, ph = 1031;   // over 2^21 pixels
    Raster picture(pw, ph);
    std::mt19937 rng(41);
    for (int y = 0; y < ph; ++y)
        for (int x = 0; x < pw; ++x)
            picture.SetPixelUnchecked(x, y, Rgb{std::uint8_t(rng()), std::uint8_t((x * 3 + y) & 0xff), std::uint8_t(y * 7)});
    struct Frame {
        int l, t, r, b, w, h;
    };
    for (const Frame& f : std::vector<Frame>{{0, 0, pw, ph, 48, 48}, {0, 0, pw, ph, 5, 3}, {-40, 13, pw - 9, ph + 30, 301, 257},
                                             {100, 0, 1900, 400, 47, 29}}) {
        Raster expected(f.w, f.h), got(f.w, f.h);
        expected.Fill(kWhite);
        got.Fill(kWhite);
        ResampleArea(picture, f.l, f.t, f.r, f.b, expected);
        AreaResampler resampler(f.l, f.t, f.r, f.b, got);
        FeedRows(picture, resampler);
        ASSERT_EQ(got, expected) << f.l << "," << f.t << "," << f.r << "," << f.b << " to " << f.w << "x" << f.h;
    }
}

namespace {

// A JPEG of `picture` with the chroma sampled h x v (1 x 1: 4:4:4, 2 x 1: 4:2:2, 2 x 2: 4:2:0).
std::vector<std::uint8_t> JpegOf(const Raster& picture, int h, int v) {
    jpeg_compress_struct c{};
    jpeg_error_mgr err{};
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &out, &size);
    c.image_width = JDIMENSION(picture.Width());
    c.image_height = JDIMENSION(picture.Height());
    c.input_components = 3;
    c.in_color_space = JCS_EXT_BGR;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 80, TRUE);
    c.comp_info[0].h_samp_factor = h;
    c.comp_info[0].v_samp_factor = v;
    jpeg_start_compress(&c, TRUE);
    while (c.next_scanline < c.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(picture.Row(int(c.next_scanline)));
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    std::vector<std::uint8_t> bytes(out, out + size);
    std::free(out);
    return bytes;
}

}  // namespace

// Odd-sized JPEG pictures of every chroma sampling, decoded row by row into the resampler, give
// the sample-by-sample sum's bytes of the decoded picture: frames of whole x positions, of x
// positions between columns, with cells of different widths (some pixels with one x position
// fewer), off the picture's sides, onto odd and non-square targets.
TEST(AreaResampler, DecodedJpegOfEverySamplingGivesTheSampleBySampleBytes) {
    const int pw = 523, ph = 301;
    Raster picture(pw, ph);
    std::mt19937 rng(7);
    for (int y = 0; y < ph; ++y)
        for (int x = 0; x < pw; ++x) {
            // Flat blocks, where bilinear values land a hair below whole numbers, beside noise.
            const bool flat = (x / 64 + y / 48) % 2 == 0;
            const std::uint8_t level = std::uint8_t(((x / 9 + y / 7) % 3) * 120 + 8);
            picture.SetPixelUnchecked(x, y, flat ? Rgb{level, std::uint8_t(255 - level), 90}
                                                 : Rgb{std::uint8_t(rng()), std::uint8_t(x), std::uint8_t(y)});
        }
    struct Frame {
        int l, t, r, b, w, h;
    };
    const std::vector<Frame> frames{{0, 0, pw, ph, 48, 48},     {0, 0, pw, ph, 7, 13},     {3, 5, pw - 2, ph - 4, 31, 17},
                                    {-20, -9, 250, 140, 48, 33}, {400, 250, 600, 330, 9, 5}, {11, 7, 30, 19, 47, 29},
                                    {0, 0, 480, 300, 48, 48}};
    for (const auto& [h, v] : std::vector<std::pair<int, int>>{{1, 1}, {2, 1}, {2, 2}}) {
        const std::vector<std::uint8_t> jpeg = JpegOf(picture, h, v);
        Raster decoded;
        ASSERT_TRUE(DecodeJpeg(jpeg, decoded).Ok);
        for (const Frame& f : frames) {
            Raster expected(f.w, f.h), got(f.w, f.h);
            expected.Fill(kWhite);
            got.Fill(kWhite);
            test::ReferenceResample(decoded, f.l, f.t, f.r, f.b, expected);
            AreaResampler resampler(f.l, f.t, f.r, f.b, got);
            ASSERT_TRUE(DecodeJpegRows(jpeg, resampler).Ok);
            ASSERT_EQ(got, expected) << h << "x" << v << " frame " << f.l << "," << f.t << "," << f.r << "," << f.b
                                     << " to " << f.w << "x" << f.h;
        }
    }
}

// The file entry decodes band by band to the bytes of the whole load; a file cut short is
// refused with the decoder's message, as LoadPicture refuses it.
TEST(AreaResampler, JpegFileMatchesTheWholeLoadAndRefusesACutFile) {
    const auto path = DataDir() / "jpeg_reader/gradient.jpg";
    Raster picture;
    ASSERT_TRUE(LoadPicture(path, PictureKind::Jpeg, picture).Ok);
    Raster expected(17, 11), got(17, 11);
    expected.Fill(kWhite);
    got.Fill(kWhite);
    ResampleArea(picture, -3, 2, picture.Width() - 5, picture.Height() + 4, expected);
    ASSERT_TRUE(ResampleJpegFileArea(path, -3, 2, picture.Width() - 5, picture.Height() + 4, got).Ok);
    EXPECT_EQ(got, expected);

    std::vector<std::uint8_t> bytes;
    ASSERT_EQ(ReadWholeFile(path, bytes), ReadStatus::Ok);
    bytes.resize(bytes.size() * 2 / 3);
    const auto cut = std::filesystem::temp_directory_path() / "pixquil_cut_area.jpg";
    {
        std::FILE* f = std::fopen(cut.c_str(), "wb");
        ASSERT_TRUE(f);
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
    const FileResult r = ResampleJpegFileArea(cut, 0, 0, 10, 10, got);
    std::filesystem::remove(cut);
    EXPECT_FALSE(r.Ok);
    EXPECT_EQ(r.Message, kJpegInvalidMessage);
}

namespace {

// A 24-bit bottom-up bitmap file of the picture.
std::vector<std::uint8_t> BitmapOf(const Raster& picture) {
    const int w = picture.Width(), h = picture.Height();
    const std::size_t rowBytes = (3 * std::size_t(w) + 3) / 4 * 4;
    std::vector<std::uint8_t> f(54 + rowBytes * std::size_t(h), 0);
    auto put32 = [&](std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) f[at + std::size_t(i)] = std::uint8_t(v >> (8 * i));
    };
    f[0] = 'B', f[1] = 'M';
    put32(2, std::uint32_t(f.size()));
    put32(10, 54);
    put32(14, 40);
    put32(18, std::uint32_t(w));
    put32(22, std::uint32_t(h));
    f[26] = 1, f[28] = 24;
    for (int y = 0; y < h; ++y) std::memcpy(f.data() + 54 + rowBytes * std::size_t(h - 1 - y), picture.Row(y), 3 * std::size_t(w));
    return f;
}

// Straight RGBA of a picture with a transparent blob and a few half-transparent pixels.
std::vector<std::uint8_t> RgbaWithHoles(const Raster& picture) {
    std::vector<std::uint8_t> px;
    for (int y = 0; y < picture.Height(); ++y)
        for (int x = 0; x < picture.Width(); ++x) {
            const Rgb c = picture.PixelUnchecked(x, y);
            const int dx = x - picture.Width() / 3, dy = y - picture.Height() / 2;
            const std::uint8_t a = dx * dx + dy * dy < picture.Height() * picture.Height() / 5 ? 0 : (x + y) % 11 == 0 ? 128 : 255;
            px.insert(px.end(), {c.r, c.g, c.b, a});
        }
    return px;
}

// ResampleRaster fed through a row sink, in pieces of at most 7 pixels where the reader gives pieces.
class AveragingSink : public PictureRowSink {
public:
    AveragingSink(int w, int h) : w_(w), h_(h) {}
    void Start(int width, int height) override {
        width_ = width;
        averager.emplace(width, height, w_, h_, true);
    }
    std::uint8_t* RowBuffer(int) override {
        row_.resize(3 * std::size_t(width_));
        return row_.data();
    }
    void RowDone(int) override { averager->AddRow(row_.data()); }
    PieceLayout Pieces() const override { return {0, width_, 7}; }
    void Piece(int, int x, int n, const std::uint8_t* bgr, const std::uint8_t* clear) override { averager->AddPiece(x, n, bgr, clear); }
    std::optional<AreaAverager> averager;

private:
    int w_, h_, width_ = 0;
    std::vector<std::uint8_t> row_;
};

}  // namespace

// Bitmaps, PNG pictures (with transparency, interlaced or not) and JPEG pictures read band by
// band give what the whole load gives: the area picker's preview and unpainted pixels for frames
// inside, across the edges of and off the picture, and the whole picture fitted by area average.
// The larger picture has its target rows made on the second thread.
TEST(PictureFileRows, FramesAndFitsMatchTheWholeLoad) {
    test::TempDir dir;
    std::mt19937 rng(5);
    std::vector<std::pair<std::filesystem::path, PictureKind>> files;
    for (const auto& [w, h] : {std::pair{301, 157}, std::pair{2053, 1031}}) {
        Raster picture(w, h);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                picture.SetPixelUnchecked(x, y, Rgb{std::uint8_t(x * 3 + y), std::uint8_t(rng() % 64 + y), std::uint8_t(x ^ y)});
        const std::string stem = std::to_string(w);
        test::WriteBytes(dir / (stem + ".bmp"), BitmapOf(picture));
        test::WriteBytes(dir / (stem + ".png"), test::EncodePng(w, h, RgbaWithHoles(picture)));
        files.push_back({dir / (stem + ".bmp"), PictureKind::Bitmap});
        files.push_back({dir / (stem + ".png"), PictureKind::Png});
    }
    files.push_back({DataDir() / "jpeg_reader/gradient.jpg", PictureKind::Jpeg});
    if (test::HaveCorpus()) {
        files.push_back({test::CorpusDir() / "bmpsuite/g/pal8rle.bmp", PictureKind::Bitmap});
        files.push_back({test::CorpusDir() / "bmpsuite/q/pal4rletrns.bmp", PictureKind::Bitmap});
    }
    struct Frame {
        int l, t, r, b, w, h;
    };
    for (const auto& [path, kind] : files) {
        SCOPED_TRACE(path.filename().string());
        Raster picture;
        Plane transparent;
        ASSERT_TRUE(LoadPicture(path, kind, picture, &transparent).Ok);
        const int pw = picture.Width(), ph = picture.Height();
        for (const Frame& f : std::vector<Frame>{{0, 0, pw, ph, 48, 48}, {-9, 5, pw / 2, ph + 7, 32, 17}, {20, 30, 36, 46, 16, 16},
                                                 {3, 2, 40, 9, 47, 33}, {pw - 2, ph - 3, pw + 30, ph + 20, 16, 16}, {pw, 0, pw + 5, 5, 16, 16}}) {
            SCOPED_TRACE(std::to_string(f.l) + "," + std::to_string(f.t) + "," + std::to_string(f.r) + "," + std::to_string(f.b));
            AreaPicker picker(picture, f.w, f.h, &transparent);
            picker.Square = false;
            picker.Press(f.l, f.t);
            picker.Move(f.r, f.b);
            picker.Release();
            Raster got(f.w, f.h);
            got.Fill(kWhite);
            Plane unpainted;
            ASSERT_TRUE(ResamplePictureFileArea(path, kind, f.l, f.t, f.r, f.b, got, &unpainted).Ok);
            EXPECT_EQ(got, picker.Preview());
            EXPECT_EQ(unpainted, picker.PreviewUnpainted());
        }
        for (const auto& [w, h] : {std::pair{16, 16}, std::pair{48, 5}, std::pair{3, 256}}) {
            const ResampledPicture want = ResampleRaster(picture, &transparent, w, h);
            AveragingSink sink(w, h);
            ASSERT_TRUE(ReadPictureFileRows(path, kind, sink).Ok);
            const ResampledPicture got = sink.averager->Take();
            EXPECT_EQ(got.Colors, want.Colors) << w << "x" << h;
            EXPECT_EQ(got.Painted, want.Painted) << w << "x" << h;
        }
    }
    // A reader's refusal comes back as it is.
    Raster target(16, 16);
    EXPECT_EQ(ResamplePictureFileArea(dir / "missing.png", PictureKind::Png, 0, 0, 16, 16, target).Message,
              kPictureFileOpenMessage);
}
