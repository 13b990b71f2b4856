// The quality palette and the diffusion dither checked against the method itself: the palette
// of small inputs against a literal reference (support/reference_quality.h), including the
// choices made on ties, and diffusion patterns worked out by hand.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "core/document/quality_reduction.h"
#include "support/reference_quality.h"

namespace pq {
namespace {

std::string Text(const std::vector<Rgb>& palette) {
    std::string s;
    for (const Rgb& c : palette) s += "(" + std::to_string(c.r) + "," + std::to_string(c.g) + "," + std::to_string(c.b) + ")";
    return s;
}

TEST(QualityReductionMethod, SmallInputsGiveTheReferencePalette) {
    std::mt19937 rng(2024);
    for (int round = 0; round < 400; ++round) {
        // Few distinct values per channel in half the rounds, so that equal gains, equal
        // distances and even median splits are common.
        const bool coarse = round % 2 == 0;
        const int n = 4 + int(rng() % 11);
        std::vector<WeightedColor> colors;
        for (int i = 0; i < n; ++i) {
            auto value = [&] { return uint8_t(coarse ? (rng() % 5) * 60 : rng() % 256); };
            colors.push_back({Rgb{value(), value(), value()}, int64_t(rng() % 4 + (round % 3 == 0 ? 0 : 1))});
        }
        const int N = 2 + int(rng() % 5);
        const std::vector<Rgb> expected = reference::QualityPalette(colors, N);
        ASSERT_EQ(Text(QualityPalette(colors, N)), Text(expected)) << "round " << round << ", N " << N;
    }
}

TEST(QualityReductionMethod, TiesAndEvenSplitsAreDecidedAsDocumented) {
    // Two pairs of equal spread: after the first cut both boxes gain 50, and the first box in
    // the list (the lower pair) is cut. The upper pair's centre 205 stays: its median move to
    // 200 does not lower the error (10 either way).
    const std::vector<WeightedColor> pairs = {{{0, 0, 0}, 1}, {{10, 0, 0}, 1}, {{200, 0, 0}, 1}, {{210, 0, 0}, 1}};
    EXPECT_EQ(Text(QualityPalette(pairs, 3)), "(0,0,0)(10,0,0)(205,0,0)");
    EXPECT_EQ(Text(reference::QualityPalette(pairs, 3)), "(0,0,0)(10,0,0)(205,0,0)");

    // Reds 0, 10, 12, 60 split from white: their mean 21 costs 80, either middle value 62; the
    // lower median, 10, is taken.
    const std::vector<WeightedColor> even = {
        {{0, 0, 0}, 1}, {{10, 0, 0}, 1}, {{12, 0, 0}, 1}, {{60, 0, 0}, 1}, {{250, 250, 250}, 1}};
    EXPECT_EQ(Text(QualityPalette(even, 2)), "(10,0,0)(250,250,250)");
    EXPECT_EQ(Text(reference::QualityPalette(even, 2)), "(10,0,0)(250,250,250)");

    // The same with weights: 3 of red 10 against 3 of red 12 and 30.
    const std::vector<WeightedColor> weighted = {{{10, 0, 0}, 3}, {{12, 0, 0}, 2}, {{30, 0, 0}, 1}, {{255, 255, 255}, 2}};
    EXPECT_EQ(Text(QualityPalette(weighted, 2)), Text(reference::QualityPalette(weighted, 2)));
}

std::string Pattern(const std::vector<uint8_t>& idx, int w) {
    std::string s;
    for (std::size_t i = 0; i < idx.size(); ++i) s += (idx[i] ? 'W' : 'B'), s += (i % w == std::size_t(w - 1)) ? "|" : "";
    return s;
}

TEST(QualityReductionMethod, SerpentineDiffusionOfFlatGreyWorkedByHand) {
    const PaletteEntry blackWhite[2] = {MakeEntry(kBlack), MakeEntry(kWhite)};
    // Grey 64 over black and white, 4 x 2. Errors are kept in sixteenths; a pixel shows
    // 64 + ((e + 8) >> 4) and goes white from 128. Row 0, left to right:
    //   x0: 64 -> B, error 64:  (1,0) 448, (0,1) 5*64 = 320, (1,1) 64
    //   x1: 64 + 28 = 92 -> B, error 92:  (2,0) 644, (0,1) +3*92 = 596, (1,1) +5*92 = 524, (2,1) 92
    //   x2: 64 + 40 = 104 -> B, error 104: (3,0) 728, (1,1) +312 = 836, (2,1) +520 = 612, (3,1) 104
    //   x3: 64 + 46 = 110 -> B, error 110: (2,1) +330 = 942, (3,1) +550 = 654
    // Row 1, right to left (ahead is to the left):
    //   x3: 64 + 41 = 105 -> B, error 105: (2,1) +735 = 1677
    //   x2: 64 + 105 = 169 -> W, error -86: (1,1) -602 = 234
    //   x1: 64 + 15 = 79 -> B, error 79: (0,1) +553 = 1149
    //   x0: 64 + 72 = 136 -> W
    // Row 1 left to right instead gets 101 B, 160 W, 81 B, 140 W: "BWBW"; with the 3/16 and
    // 1/16 shares swapped, row 1 receives 412, 756, 906, 862 and comes out "BBWB".
    Raster grey(4, 2);
    grey.Fill(Rgb{64, 64, 64});
    EXPECT_EQ(Pattern(MapToPalette(grey, nullptr, blackWhite, 2, Dither::Diffusion), 4), "BBBB|WBWB|");
    // Grey 192 is the same with black and white exchanged.
    grey.Fill(Rgb{192, 192, 192});
    EXPECT_EQ(Pattern(MapToPalette(grey, nullptr, blackWhite, 2, Dither::Diffusion), 4), "WWWW|BWBW|");
    // A third row, left to right again, takes back the errors row 1 pushed down: "BBBB".
    Raster tall(4, 3);
    tall.Fill(Rgb{64, 64, 64});
    EXPECT_EQ(Pattern(MapToPalette(tall, nullptr, blackWhite, 2, Dither::Diffusion), 4), "BBBB|WBWB|BBBB|");
}

}  // namespace
}  // namespace pq
