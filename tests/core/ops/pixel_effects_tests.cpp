#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/document/document.h"
#include "core/document/random.h"
#include "core/document/selection.h"
#include "core/ops/pixel_effects.h"

namespace pq {
namespace {

// A 256-colour w x h document whose current layer is painted with the letters a, b, c, ...
// row by row (index = x + y * w).
Document Lettered(int w, int h) {
    Document d;
    InitBlankDocument(d, w, h, 256, 20);
    for (int p = 0; p < w * h; ++p) d.Current().Indices[std::size_t(p)] = uint8_t(p), d.Current().Mask[std::size_t(p)] = 1;
    return d;
}

std::size_t Pos(const Document& d, int x, int y) { return std::size_t(x + y * d.ImageWidth); }

// Rows of the current layer: '.' unpainted, 'a' + index painted.
std::vector<std::string> Letters(const Document& d) {
    std::vector<std::string> rows;
    for (int y = 0; y < d.ImageHeight; ++y) {
        std::string s;
        for (int x = 0; x < d.ImageWidth; ++x) {
            const std::size_t p = Pos(d, x, y);
            s += d.Current().Mask[p] ? char('a' + d.Current().Indices[p]) : '.';
        }
        rows.push_back(s);
    }
    return rows;
}

using Rows = std::vector<std::string>;

uint32_t StateAfter(int draws) {
    Lcg reference;
    for (int i = 0; i < draws; ++i) reference.Next();
    return reference.State();
}

TEST(PixelEffects, RandomEffectsDrawColumnByColumnFromTheSharedSequence) {
    // The generator from state 1 gives 346, 130, 10982, 1090, 11656, 7117, 17595, 6415, ...
    // Diffuse draws a column offset then a row offset (rand % 3 - 1) per pixel, x outer:
    // (0,0) +0+0, (0,1) +1+0, (1,0) +0+0, (1,1) -1+0.
    {
        Document d = Lettered(2, 2);  // ab / cd
        Lcg rng;
        EXPECT_EQ(Diffuse(d, rng).Step, "拡散");
        EXPECT_EQ(Letters(d), (Rows{"ab", "dc"}));
        EXPECT_EQ(rng.State(), StateAfter(8));
    }
    // Colour noise: one draw per painted pixel, in the order (0,1), (1,0), (1,1); the
    // unpainted (0,0) draws nothing.
    for (const int colors : {16, 256}) {
        Document d = Lettered(2, 2);
        d.ColorCount = colors;
        d.Current().Mask[0] = 0;
        Lcg rng;
        EXPECT_EQ(ColorNoise(d, rng).Step, "カラーノイズ");
        EXPECT_EQ(d.Current().Mask[0], 0);
        EXPECT_EQ(d.Current().Indices[Pos(d, 0, 1)], 346 % colors);
        EXPECT_EQ(d.Current().Indices[Pos(d, 1, 0)], 130 % colors);
        EXPECT_EQ(d.Current().Indices[Pos(d, 1, 1)], 10982 % colors);
        EXPECT_EQ(rng.State(), StateAfter(3));
    }
    // Noise after four draws: 11656 (even: aux), 7117 and 17595 (odd: drawing colour).
    {
        Document d = Lettered(2, 2);
        d.Current().Mask[0] = 0;
        d.DrawColor = 3, d.AuxColor = 4;
        Lcg rng;
        for (int i = 0; i < 4; ++i) rng.Next();
        EXPECT_EQ(Noise(d, rng).Step, "ノイズ");
        EXPECT_EQ(Letters(d), (Rows{".d", "ed"}));
    }
}

TEST(PixelEffects, PixelSwapsLeaveAnUnpairedLastColumnOrRowAsItWas) {
    Document h = Lettered(5, 3), v = Lettered(5, 3);
    EXPECT_EQ(SwapPixelsHorizontal(h).Step, "ピクセル入れ替え(左右)");
    EXPECT_EQ(Letters(h), (Rows{"badce", "gfihj", "lknmo"}));
    EXPECT_EQ(SwapPixelsVertical(v).Step, "ピクセル入れ替え(上下)");
    EXPECT_EQ(Letters(v), (Rows{"fghij", "abcde", "klmno"}));

    // An odd selection inside the canvas: its last column (row) keeps its place and the pixels
    // beyond it are not touched.
    Document sh = Lettered(6, 3), sv = Lettered(6, 3);
    EndSelectDrag(sh, 1, 0, 4, 2);
    SwapPixelsHorizontal(sh);
    Deselect(sh);
    EXPECT_EQ(Letters(sh), (Rows{"acbdef", "gihjkl", "mnopqr"}));
    EndSelectDrag(sv, 1, 0, 3, 3);
    SwapPixelsVertical(sv);
    Deselect(sv);
    EXPECT_EQ(Letters(sv), (Rows{"ahidef", "gbcjkl", "mnopqr"}));

    // Twice on an even width gives the planes back.
    const Document even = Lettered(6, 4);
    Document twice = even;
    SwapPixelsHorizontal(twice);
    SwapPixelsHorizontal(twice);
    EXPECT_EQ(twice.Current(), even.Current());
}

TEST(PixelEffects, ScrollWrapsInsideTheWorkingRectangle) {
    const Document original = Lettered(16, 16);
    Document d = original;
    EXPECT_EQ(ScrollImage(d, 1, 0).Step, "スクロール");
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            ASSERT_EQ(d.Current().Indices[Pos(d, x, y)], original.Current().Indices[Pos(d, (x + 15) % 16, y)]);
    ScrollImage(d, -1, 0);  // the other way round
    EXPECT_EQ(d.Current(), original.Current());
    for (const auto& [dx, dy] : {std::pair{16, 0}, std::pair{0, 16}, std::pair{32, 32}}) {
        ScrollImage(d, dx, dy);
        EXPECT_EQ(d.Current(), original.Current()) << dx << "," << dy;
    }

    // With a selection only the selected block turns around; the floating pixels outside it are
    // dropped, so the layer around keeps what it had.
    Document s = Lettered(5, 3);
    EndSelectDrag(s, 1, 0, 4, 2);  // bcd / ghi
    ScrollImage(s, 1, 1);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            if (x < 1 || x >= 4 || y >= 2) {
                EXPECT_EQ(s.FloatMask[Pos(s, x, y)], 0) << x << "," << y;
            }
    Deselect(s);
    EXPECT_EQ(Letters(s), (Rows{"aighe", "fdbcj", "klmno"}));
}

TEST(PixelEffects, ShadowPaintsTheMovedSilhouetteWhereNothingWasPainted) {
    Document d;
    InitBlankDocument(d, 16, 16, 16, 20);
    d.DrawColor = 2;
    Layer& l = d.Current();
    auto paint = [&](int x, int y, uint8_t index) { l.Indices[Pos(d, x, y)] = index, l.Mask[Pos(d, x, y)] = 1; };
    paint(5, 5, 7);
    paint(15, 9, 7);  // at the right edge: casts nothing beyond the canvas
    paint(9, 1, 7);
    paint(10, 2, 9);  // already painted where (9, 1) would cast: kept
    const Layer before = l;
    Shadow(d, 0, 0);
    EXPECT_EQ(l, before);
    EXPECT_EQ(Shadow(d, 1, 1).Step, "影");
    Layer expected = before;
    expected.Indices[Pos(d, 6, 6)] = 2, expected.Mask[Pos(d, 6, 6)] = 1;
    expected.Indices[Pos(d, 11, 3)] = 2, expected.Mask[Pos(d, 11, 3)] = 1;  // from (10, 2), not again from (11, 3)
    EXPECT_EQ(l, expected);

    // Negative amounts cast up and to the left.
    Document n;
    InitBlankDocument(n, 8, 8, 16, 20);
    n.Current().Mask[Pos(n, 0, 3)] = 1;
    n.Current().Mask[Pos(n, 4, 4)] = 1;
    Shadow(n, -2, -1);
    EXPECT_EQ(n.Current().Mask[Pos(n, 2, 3)], 1);
    int painted = 0;
    for (uint8_t m : n.Current().Mask) painted += m;
    EXPECT_EQ(painted, 3);
}

TEST(PixelEffects, ColourRulesCoverTheWholePlanesOrOnlyPaintedPixels) {
    // Replace colour and erase look at the whole planes: unpainted pixels carrying the auxiliary
    // index change index, and with a selection the floating pixels outside it change too.
    Document d = Lettered(4, 1);  // abcd
    d.AuxColor = 1, d.DrawColor = 3;
    d.Current().Mask[1] = 0;
    EXPECT_EQ(ReplaceColor(d).Step, "色置換");
    EXPECT_EQ(d.Current().Indices[1], 3);
    EXPECT_EQ(d.Current().Mask[1], 0);
    EXPECT_EQ(EraseDrawColor(d).Step, "取り除き");
    EXPECT_EQ(Letters(d), (Rows{"a.c."}));
    EXPECT_EQ(d.Current().Indices[3], 3);  // the index stays

    Document s = Lettered(4, 1);
    s.AuxColor = 3, s.DrawColor = 0;
    EndSelectDrag(s, 0, 0, 2, 1);
    ReplaceColor(s);
    EXPECT_EQ(s.FloatIndices[3], 0);

    // Unify and noise recolour painted pixels of the working rectangle only.
    Document u = Lettered(4, 2);
    u.DrawColor = 25;
    u.Current().Mask[Pos(u, 1, 0)] = 0;
    EndSelectDrag(u, 0, 0, 3, 1);
    EXPECT_EQ(Unify(u).Step, "統一");
    Deselect(u);
    EXPECT_EQ(Letters(u), (Rows{"z.zd", "efgh"}));
    Document noisy = Lettered(4, 2);
    for (std::size_t p = 0; p < 8; p += 2) noisy.Current().Mask[p] = 0;
    Lcg rng;
    Noise(noisy, rng);
    for (std::size_t p = 0; p < 8; ++p) EXPECT_EQ(noisy.Current().Mask[p], p % 2);
}

TEST(PixelEffects, DiffuseOnASelectionTakesOnlyPixelsOfItsRectangle) {
    Document d;
    InitBlankDocument(d, 12, 12, 16, 20);
    for (auto& m : d.Current().Mask) m = 1;
    for (int y = 3; y < 8; ++y)
        for (int x = 2; x < 9; ++x) d.Current().Indices[Pos(d, x, y)] = 5;
    EndSelectDrag(d, 2, 3, 9, 8);
    Lcg rng;
    for (int round = 0; round < 20; ++round) Diffuse(d, rng);
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 12; ++x) {
            const bool inside = x >= 2 && x < 9 && y >= 3 && y < 8;
            ASSERT_EQ(d.FloatMask[Pos(d, x, y)], inside ? 1 : 0) << x << "," << y;
            if (inside) {
                ASSERT_EQ(d.FloatIndices[Pos(d, x, y)], 5);
            }
        }
}

}  // namespace
}  // namespace pq
