#include <gtest/gtest.h>

#include <vector>

#include "core/document/color_reduction.h"
#include "core/document/document.h"
#include "core/document/selection.h"
#include "core/ops/filters.h"

namespace pq {
namespace {

Raster Uniform(int w, int h, uint8_t v) {
    Raster r(w, h);
    r.Fill(Rgb{v, v, v});
    return r;
}

// The red channel of every pixel, one row per entry (the channels are filtered alike).
std::vector<std::vector<int>> Reds(const Raster& r) {
    std::vector<std::vector<int>> rows;
    for (int y = 0; y < r.Height(); ++y) {
        rows.emplace_back();
        for (int x = 0; x < r.Width(); ++x) rows.back().push_back(r.Pixel(x, y).r);
    }
    return rows;
}

Raster Filtered(FilterId id, Raster r) {
    ApplyKernel(SpecOf(id), r);
    return r;
}

TEST(Kernel, SmoothingAndSharpeningKeepAUniformPictureEvenAtItsBorders) {
    // Cells off the picture take their weight out of the divisor, so what remains is exactly the
    // weight of the pixels that exist. A mistyped table entry or a border that keeps the full
    // divisor changes the uniform grey somewhere.
    for (const FilterId id : {FilterId::Blur, FilterId::StrongBlur, FilterId::MotionBlurHorizontal,
                              FilterId::MotionBlurVertical, FilterId::Sharpen, FilterId::StrongSharpen, FilterId::Relief}) {
        const Raster grey = Uniform(9, 8, 100);
        Raster expected = grey;
        // Relief has no weighted cell left at the bottom-right corner: 0 / 1 there.
        if (id == FilterId::Relief) expected.SetPixel(8, 7, kBlack);
        EXPECT_EQ(Filtered(id, grey), expected) << SpecOf(id).Key;
    }
}

TEST(Kernel, BorderDivisorsFollowTheCellsThatExist) {
    // Blur: the corner of 0 among 110s: (8 * 0 + 3 * 110) / (16 - 5) = 30.
    Raster blur = Uniform(4, 4, 110);
    blur.SetPixel(0, 0, kBlack);
    EXPECT_EQ(Filtered(FilterId::Blur, blur).Pixel(0, 0).r, 30);
    // Sharpen: a corner of 130 among 0s: 16 * 130 / (8 + 5) = 160.
    Raster sharp = Uniform(4, 4, 0);
    sharp.SetPixel(0, 0, Rgb{130, 130, 130});
    EXPECT_EQ(Filtered(FilterId::Sharpen, sharp).Pixel(0, 0).r, 160);

    // Edge detection on white: 0 inside, 5 * 255 / 6 = 212 at a corner, 3 * 255 / 4 = 191 on an edge.
    EXPECT_EQ(Reds(Filtered(FilterId::EdgeDetect, Uniform(4, 3, 255))),
              (std::vector<std::vector<int>>{{212, 191, 191, 212}, {191, 0, 0, 191}, {212, 191, 191, 212}}));

    // Emboss on grey 100: 128 inside; at the top-left corner the only weighted cell outside is
    // the 1, so the divisor 0 becomes 1 and the result is 128 - 100; at the bottom-right the -1
    // is outside: 128 + 100 / 2.
    EXPECT_EQ(Reds(Filtered(FilterId::Emboss, Uniform(3, 3, 100))),
              (std::vector<std::vector<int>>{{28, 28, 128}, {28, 128, 178}, {128, 178, 178}}));
}

TEST(Kernel, ContrastMapsEachPixelOnItsOwn) {
    Raster r(3, 1);
    r.SetPixel(0, 0, Rgb{0, 0, 0});
    r.SetPixel(1, 0, Rgb{100, 100, 100});
    r.SetPixel(2, 0, Rgb{255, 255, 255});
    EXPECT_EQ(Reds(Filtered(FilterId::ContrastUp, r)), (std::vector<std::vector<int>>{{0, 93, 255}}));
    EXPECT_EQ(Reds(Filtered(FilterId::ContrastDown, r)), (std::vector<std::vector<int>>{{32, 107, 223}}));
    // The channels are filtered independently.
    Raster c(1, 1);
    c.SetPixel(0, 0, Rgb{200, 100, 0});
    EXPECT_EQ(Filtered(FilterId::ContrastDown, c).Pixel(0, 0), (Rgb{182, 107, 32}));
}

TEST(Kernel, OffCentreAndDirectionalKernelsReadTheRightNeighbours) {
    // Relief on 100 with one 200 at (3, 3): each output reads around the pixel one right and one
    // down, so the weights 4, 1, 1, -2, -2 show up and to the left of the bright pixel.
    Raster relief = Uniform(7, 7, 100);
    relief.SetPixel(3, 3, Rgb{200, 200, 200});
    const auto got = Reds(Filtered(FilterId::Relief, relief));
    EXPECT_EQ(got[2][2], 255);  // weight 4 at (+1, +1): 100 + 50 * 4, clamped
    EXPECT_EQ(got[2][3], 150);  // weight 1 at (0, +1)
    EXPECT_EQ(got[3][2], 150);  // weight 1 at (+1, 0)
    EXPECT_EQ(got[2][1], 0);    // weight -2 at (+2, +1)
    EXPECT_EQ(got[1][2], 0);    // weight -2 at (+1, +2)
    EXPECT_EQ(got[3][3], 100);  // the centre weight is 0

    // Motion blurs: a bright pixel spreads along its row only, or its column only, reading the
    // source copy (so the spread is not carried further by already filtered pixels). Near the
    // border the divisor shrinks: 160 / 13 at x = 1, 2 * 160 / 15 at x = 2.
    Raster dot = Uniform(9, 9, 0);
    dot.SetPixel(4, 4, Rgb{160, 160, 160});
    const auto h = Reds(Filtered(FilterId::MotionBlurHorizontal, dot));
    const auto v = Reds(Filtered(FilterId::MotionBlurVertical, dot));
    EXPECT_EQ(h[4], (std::vector<int>{0, 12, 21, 30, 40, 30, 21, 12, 0}));
    for (int y = 0; y < 9; ++y) {
        EXPECT_EQ(v[y][4], h[4][y]);
        for (int x = 0; x < 9; ++x) {
            EXPECT_EQ(h[y][x], y == 4 ? h[4][x] : 0);
            EXPECT_EQ(v[y][x], x == 4 ? v[y][4] : 0);
        }
    }
}

TEST(Filters, TheLayerGoesThroughTheColourReduction) {
    // A blank current layer over a layer with a red pixel, in a 16-colour document.
    Document d;
    InitBlankDocument(d, 8, 8, 16, 20);
    d.LayerAt(0).Indices[9] = 10, d.LayerAt(0).Mask[9] = 1;  // red
    d.AppendLayer();
    const EditResult r = ApplyFilter(d, FilterId::Blur);
    EXPECT_EQ(r.Step, "ぼかし");
    EXPECT_TRUE(r.Record && r.Redraw && r.RefreshColors);
    // Unpainted pixels entered as white and come back painted white; the other layer keeps its colour.
    for (std::size_t p = 0; p < 64; ++p) {
        ASSERT_EQ(d.Current().Mask[p], 1);
        ASSERT_EQ(d.ColorOf(d.Current().Indices[p]), kWhite);
    }
    EXPECT_EQ(d.ColorOf(d.LayerAt(0).Indices[9]), (Rgb{255, 0, 0}));

    // Emboss and relief record steps of their own names.
    EXPECT_EQ(ApplyFilter(d, FilterId::Emboss).Step, "エンボス");
    EXPECT_EQ(ApplyFilter(d, FilterId::Relief).Step, "レリーフ");

    // A layer with many colours in a 16-colour document keeps at most 16 entries in use.
    for (std::size_t p = 0; p < 64; ++p) d.Current().Indices[p] = uint8_t(p % 16);
    ApplyFilter(d, FilterId::StrongBlur);
    for (int k = 16; k < 256; ++k) EXPECT_EQ(d.Palette[std::size_t(k)], PaletteEntry{});
    for (std::size_t p = 0; p < 64; ++p) ASSERT_LT(d.Current().Indices[p], 16);
}

TEST(Filters, EveryFilterAsksForTheSelectionToBeReleasedAndPutsDownWhatStillFloats) {
    for (const FilterSpec& f : kFilters) EXPECT_TRUE(f.ReleasesSelectionFirst) << f.Key;
    // A caller that did not release it: the moved content is put down where it was shown.
    Document d;
    InitBlankDocument(d, 8, 8, 16, 20);
    d.Current().Indices[0] = 0, d.Current().Mask[0] = 1;  // black at (0, 0)
    EndSelectDrag(d, 0, 0, 1, 1);
    MoveFloating(d, 2, 0);
    ApplyFilter(d, FilterId::ContrastUp);  // black stays black, white stays white
    EXPECT_FALSE(d.HasSelection);
    EXPECT_EQ(d.ColorOf(d.Current().Indices[2]), kBlack);
    EXPECT_EQ(d.ColorOf(d.Current().Indices[0]), kWhite);
}

}  // namespace
}  // namespace pq
