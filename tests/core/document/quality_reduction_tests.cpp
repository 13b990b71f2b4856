#include <gtest/gtest.h>

#include <random>
#include <string>

#include "core/document/color_reduction.h"
#include "core/document/quality_reduction.h"

namespace pq {
namespace {

Raster RandomPicture(int w, int h, unsigned seed, int levels = 256) {
    std::mt19937 rng(seed);
    Raster r(w, h);
    const int step = 256 / levels;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            r.SetPixel(x, y, Rgb{uint8_t(rng() % levels * step), uint8_t(rng() % levels * step), uint8_t(rng() % levels * step)});
    return r;
}

// Mean over painted pixels of |dr| + |dg| + |db| between the picture and the layer.
double MeanError(const Document& d, const Raster& picture) {
    int64_t total = 0, count = 0;
    const Layer& L = d.LayerAt(0);
    for (int y = 0; y < d.ImageHeight; ++y)
        for (int x = 0; x < d.ImageWidth; ++x) {
            const std::size_t p = std::size_t(y) * d.ImageWidth + x;
            if (!L.Mask[p]) continue;
            const Rgb a = picture.PixelUnchecked(x, y), b = d.ColorOf(L.Indices[p]);
            total += std::abs(a.r - b.r) + std::abs(a.g - b.g) + std::abs(a.b - b.b);
            ++count;
        }
    return double(total) / double(count);
}

std::string Pattern(const std::vector<uint8_t>& idx, int w) {
    std::string s;
    for (std::size_t i = 0; i < idx.size(); ++i) s += (idx[i] ? 'W' : 'B'), s += (i % w == std::size_t(w - 1)) ? "|" : "";
    return s;
}

const PaletteEntry kBlackWhite[2] = {MakeEntry(kBlack), MakeEntry(kWhite)};

TEST(QualityReduction, DefaultOptionsAreExactlyMedianCut) {
    // 13 x 7, two layers painted in random palette colours, a random picture into layer 1.
    Document base;
    InitBlankDocument(base, 13, 7, 256, 20);
    base.AppendLayer();
    std::mt19937 rng(5);
    for (auto& e : base.Palette) e = PaletteEntry{uint8_t(rng()), uint8_t(rng()), uint8_t(rng()), 0};
    for (int li = 0; li < 2; ++li)
        for (std::size_t p = 0; p < 13 * 7; ++p)
            base.LayerAt(li).Indices[p] = uint8_t(rng()), base.LayerAt(li).Mask[p] = uint8_t(rng() % 3 == 0);
    const Raster picture = RandomPicture(11, 9, 6);  // not the document's size
    Plane painted(13 * 7);
    for (auto& v : painted) v = uint8_t(rng() % 2);
    for (int N : {16, 256}) {
        Document a = base, b = base;
        EXPECT_EQ(ReduceColors(a, N, 1, &picture, ReductionOptions{}), ReduceColors(b, N, 1, &picture));
        EXPECT_EQ(a.Palette, b.Palette);
        EXPECT_EQ(a.Layers(), b.Layers());
        a = base, b = base;
        EXPECT_EQ(ReducePaintedPicture(a, N, 0, picture, painted, ReductionOptions{}),
                  ReducePaintedPicture(b, N, 0, picture, painted));
        EXPECT_EQ(a.Palette, b.Palette);
        EXPECT_EQ(a.Layers(), b.Layers());
    }
}

TEST(QualityReduction, DeterministicExactWhenFewAndBetterThanMedianCut) {
    const ReductionOptions quality{Quantizer::Quality, Dither::None, 128};
    for (unsigned seed = 1; seed <= 4; ++seed) {
        const int w = 37 + int(seed) * 6, h = 23;
        // Clustered colours: a random picture on a coarse grid plus small noise.
        Raster picture = RandomPicture(w, h, seed, 4);
        std::mt19937 rng(seed * 77);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                Rgb c = picture.PixelUnchecked(x, y);
                c.g = uint8_t(std::min(255, c.g + int(rng() % 24)));
                picture.SetPixelUnchecked(x, y, c);
            }
        for (int N : {16, 40}) {
            Document mc, q1, q2;
            for (Document* d : {&mc, &q1, &q2}) InitBlankDocument(*d, w, h, 256, 20);
            ReduceColors(mc, N, 0, &picture);
            EXPECT_EQ(ReduceColors(q1, N, 0, &picture, quality), N);
            ReduceColors(q2, N, 0, &picture, quality);
            EXPECT_EQ(q1.Palette, q2.Palette);
            EXPECT_LT(MeanError(q1, picture), MeanError(mc, picture)) << seed << " " << N;
        }
    }
    // The order of the colours does not matter; few colours come back exactly, sorted.
    std::vector<WeightedColor> colors = {{{9, 9, 9}, 3}, {{200, 1, 1}, 1}, {{9, 9, 9}, 2}, {{0, 50, 0}, 4}, {{7, 7, 7}, 0}};
    const std::vector<Rgb> few = QualityPalette(colors, 3);
    EXPECT_EQ(few, (std::vector<Rgb>{{0, 50, 0}, {9, 9, 9}, {200, 1, 1}}));
    std::vector<WeightedColor> many;
    std::mt19937 rng(3);
    for (int i = 0; i < 500; ++i) many.push_back({Rgb{uint8_t(rng()), uint8_t(rng()), uint8_t(rng())}, int64_t(rng() % 5 + 1)});
    const std::vector<Rgb> forward = QualityPalette(many, 16);
    std::reverse(many.begin(), many.end());
    EXPECT_EQ(QualityPalette(many, 16), forward);
    EXPECT_EQ(forward.size(), 16u);
}

TEST(QualityReduction, DitherHandComputedPatterns) {
    // Flat 50% grey, black and white, 3 x 2: serpentine diffusion gives a checker.
    Raster grey(3, 2);
    grey.Fill(Rgb{128, 128, 128});
    EXPECT_EQ(Pattern(MapToPalette(grey, nullptr, kBlackWhite, 2, Dither::Diffusion), 3), "WBW|BWB|");
    // Ordered: on 5 x 3 the Bayer cells of 32 and over turn white, a checker again.
    Raster grey5(5, 3);
    grey5.Fill(Rgb{128, 128, 128});
    EXPECT_EQ(Pattern(MapToPalette(grey5, nullptr, kBlackWhite, 2, Dither::Ordered), 5), "BWBWB|WBWBW|BWBWB|");
    Raster big(17, 9);
    big.Fill(Rgb{127, 127, 127});
    for (Dither d : {Dither::Diffusion, Dither::Ordered}) {
        const std::vector<uint8_t> idx = MapToPalette(big, nullptr, kBlackWhite, 2, d);
        const int white = int(std::count(idx.begin(), idx.end(), 1));
        EXPECT_NEAR(white, 17 * 9 / 2, 1) << int(d);
    }
    // A 9 x 2 gradient 0, 32, ..., 224, 255 under Ordered (spread 255); the ends are palette
    // colours and stay as they are.
    Raster ramp(9, 2);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 9; ++x) {
            const uint8_t v = uint8_t(std::min(255, 32 * x));
            ramp.SetPixel(x, y, Rgb{v, v, v});
        }
    EXPECT_EQ(Pattern(MapToPalette(ramp, nullptr, kBlackWhite, 2, Dither::Ordered), 9), "BBBWBWBWW|BBWBWBWWW|");
    // None is the nearest entry; a one-entry palette maps everything to it.
    EXPECT_EQ(Pattern(MapToPalette(ramp, nullptr, kBlackWhite, 2, Dither::None), 9), "BBBBWWWWW|BBBBWWWWW|");
    EXPECT_EQ(MapToPalette(ramp, nullptr, kBlackWhite, 1, Dither::Ordered), std::vector<uint8_t>(18, 0));
}

TEST(QualityReduction, DitherKeepsPaletteColoursAndUnpaintedPixels) {
    // Palette with a repeated entry: an exact colour always takes its lowest index.
    const PaletteEntry table[5] = {MakeEntry({10, 20, 30}), MakeEntry({200, 100, 0}), MakeEntry({10, 20, 30}),
                                   MakeEntry({0, 0, 255}), MakeEntry({250, 250, 250})};
    Raster picture = RandomPicture(19, 11, 9);
    std::mt19937 rng(10);
    std::vector<int> exactAt(19 * 11, -1);
    for (int y = 0; y < 11; ++y)
        for (int x = 0; x < 19; ++x)
            if (rng() % 3 == 0) {
                const int e = int(rng() % 5);
                picture.SetPixel(x, y, EntryColor(table[e]));
                exactAt[std::size_t(y) * 19 + x] = e == 2 ? 0 : e;
            }
    Plane painted(19 * 11);
    for (auto& v : painted) v = uint8_t(rng() % 4 != 0);
    for (Dither d : {Dither::None, Dither::Diffusion, Dither::Ordered}) {
        const std::vector<uint8_t> idx = MapToPalette(picture, &painted, table, 5, d);
        ASSERT_EQ(idx.size(), painted.size());
        for (std::size_t p = 0; p < idx.size(); ++p) {
            if (!painted[p]) {
                EXPECT_EQ(idx[p], 0) << p;
            } else if (exactAt[p] >= 0) {
                EXPECT_EQ(idx[p], exactAt[p]) << int(d) << " at " << p;
            }
        }
        // Unpainted pixels pass no error: recolouring them changes nothing.
        Raster other = picture;
        for (int y = 0; y < 11; ++y)
            for (int x = 0; x < 19; ++x)
                if (!painted[std::size_t(y) * 19 + x]) other.SetPixel(x, y, Rgb{255, 0, 255});
        EXPECT_EQ(MapToPalette(other, &painted, table, 5, d), idx) << int(d);
    }
    // A painted plane of the wrong size gives nothing.
    Plane wrong(19 * 10, 1);
    EXPECT_TRUE(MapToPalette(picture, &wrong, table, 5, Dither::Diffusion).empty());

    // Through the document: unpainted pixels stay unpainted, index 0; painted ones are set.
    Document d;
    InitBlankDocument(d, 19, 11, 256, 20);
    const ReductionOptions fs{Quantizer::Quality, Dither::Diffusion, 128};
    EXPECT_EQ(ReducePaintedPicture(d, 16, 0, picture, painted, fs), 16);
    EXPECT_EQ(d.LayerAt(0).Mask, painted);
    for (std::size_t p = 0; p < painted.size(); ++p)
        if (!painted[p]) {
            EXPECT_EQ(d.LayerAt(0).Indices[p], 0);
        }
    EXPECT_EQ(ReducePaintedPicture(d, 16, 0, picture, Plane(19 * 11, 0), fs), 0);
}

TEST(QualityReduction, AlphaThreshold) {
    const std::vector<uint8_t> rgba = {1, 2, 3, 127, 1, 2, 3, 128, 9, 9, 9, 255, 0, 0, 0, 0, 5, 5};
    EXPECT_EQ(PaintedFromRgba(rgba), (Plane{0, 1, 1, 0}));  // the trailing partial pixel is dropped
    EXPECT_EQ(PaintedFromRgba(rgba, 255), (Plane{0, 0, 1, 0}));
    EXPECT_TRUE(IsPaintedAlpha(128));
    EXPECT_FALSE(IsPaintedAlpha(127));
}

}  // namespace
}  // namespace pq
