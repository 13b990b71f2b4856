#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "core/document/document.h"
#include "core/document/render.h"
#include "core/document/selection.h"
#include "core/document/strokes.h"

namespace pq {
namespace {

const TransparencyColors kColors{};  // white and light grey
const Rgb kC1 = kColors.Color1;
const Rgb kC2 = kColors.Color2;
const Rgb kGrid{100, 100, 100};

Document Blank(int w, int h) {
    Document d;
    InitBlankDocument(d, w, h, 16, 20);
    return d;
}

void Paint(Document& d, int layer, int x, int y, int index) {
    Layer& l = d.LayerAt(layer);
    l.Indices[std::size_t(x + y * d.ImageWidth)] = uint8_t(index);
    l.Mask[std::size_t(x + y * d.ImageWidth)] = 1;
}

Composite Compose(const Document& d, const TransparencyColors& colors = kColors) {
    Composite c;
    Recompose(d, colors, c);
    return c;
}

// The rows of a raster as strings of one letter per pixel, from a legend of colours.
std::vector<std::string> Picture(const Raster& r, const std::vector<std::pair<Rgb, char>>& legend) {
    std::vector<std::string> rows;
    for (int y = 0; y < r.Height(); ++y) {
        std::string s;
        for (int x = 0; x < r.Width(); ++x) {
            char ch = '?';
            for (const auto& [c, letter] : legend)
                if (r.Pixel(x, y) == c) ch = letter;
            s += ch;
        }
        rows.push_back(s);
    }
    return rows;
}

// The rectangle `area` of `full`, black where it lies outside.
Raster Crop(const Raster& full, const Rect& area) {
    Raster r(area.Width(), area.Height());
    for (int y = 0; y < r.Height(); ++y)
        for (int x = 0; x < r.Width(); ++x) r.SetPixelUnchecked(x, y, full.Pixel(area.left + x, area.top + y));
    return r;
}

Raster View(const Document& d, const Composite& c, int zoom, bool grid, const Rect& area) {
    Raster out;
    RenderZoomedView(d, c, zoom, kColors, grid, area, out);
    return out;
}

// Every image pixel whose planes differ between a and b (both of the same shape), on the canvas.
Rect ChangedPixels(const Document& a, const Document& b) {
    Rect r;
    auto add = [&](int x, int y) { r = UnionRect(r, Rect{x, y, x + 1, y + 1}); };
    const int w = a.ImageWidth;
    for (int i = 0; i < a.LayerCount(); ++i)
        for (std::size_t p = 0; p < a.LayerAt(i).Mask.size(); ++p)
            if (a.LayerAt(i).Mask[p] != b.LayerAt(i).Mask[p] ||
                (a.LayerAt(i).Mask[p] != 0 && a.LayerAt(i).Indices[p] != b.LayerAt(i).Indices[p]))
                add(int(p) % w, int(p) / w);
    // Floating planes: plane position (px, py) shows at canvas (px + dx, py + dy).
    for (std::size_t p = 0; p < a.FloatMask.size() && p < b.FloatMask.size(); ++p)
        if (a.FloatMask[p] != b.FloatMask[p] || (a.FloatMask[p] != 0 && a.FloatIndices[p] != b.FloatIndices[p]))
            add(int(p) % w + b.FloatDX, int(p) / w + b.FloatDY);
    return ClipRect(r, a.ImageWidth, a.ImageHeight);
}

bool Contains(const Rect& outer, const Rect& inner) {
    return inner.Empty() || (outer.left <= inner.left && outer.top <= inner.top && outer.right >= inner.right &&
                             outer.bottom >= inner.bottom);
}

// ---- checkerboard and outline patterns ------------------------------------------------

TEST(PaintChecker, SquaresStartAtTheOriginAndAlternate) {
    Raster r(10, 6);
    PaintChecker(r, 4, kColors);
    EXPECT_EQ(Picture(r, {{kC1, 'a'}, {kC2, 'b'}}), (std::vector<std::string>{
                  "aaaabbbbaa", "aaaabbbbaa", "aaaabbbbaa", "aaaabbbbaa",
                  "bbbbaaaabb", "bbbbaaaabb"}));
}

TEST(OutlinePattern, FrameZeroHasFourPixelDiagonalDashes) {
    const Pattern8 p = OutlinePattern(0);
    std::string row0, row1;
    for (int x = 0; x < 8; ++x) {
        row0 += p[0][std::size_t(x)] ? 'X' : '.';
        row1 += p[1][std::size_t(x)] ? 'X' : '.';
    }
    EXPECT_EQ(row0, "XXXX....");
    EXPECT_EQ(row1, "XXX....X");
}

TEST(OutlinePattern, EachFrameIsThePreviousMovedDownOneRow) {
    for (int f = 0; f < 8; ++f) {
        const Pattern8 a = OutlinePattern(f), b = OutlinePattern((f + 1) % 8);
        EXPECT_NE(a, b);
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x)
                EXPECT_EQ(b[std::size_t((y + 1) % 8)][std::size_t(x)], a[std::size_t(y)][std::size_t(x)])
                    << "frame " << f << " at " << x << "," << y;
    }
}

// ---- composite and thumbnails -----------------------------------------------------------

TEST(Recompose, TopmostVisiblePaintedPixelWins) {
    Document d = Blank(3, 1);
    d.AppendLayer();
    d.AppendLayer();
    Paint(d, 0, 0, 0, 10);  // red, alone
    Paint(d, 0, 1, 0, 10);  // red under green
    Paint(d, 2, 1, 0, 12);
    Paint(d, 1, 2, 0, 14);  // blue under a hidden yellow
    Paint(d, 2, 2, 0, 11);
    d.LayerAt(2).Visible = 0;
    const Composite c = Compose(d);
    EXPECT_EQ(c.CompositeColor.Pixel(0, 0), (Rgb{255, 0, 0}));
    EXPECT_EQ(c.CompositeColor.Pixel(1, 0), (Rgb{255, 0, 0}));  // the green layer is hidden
    EXPECT_EQ(c.CompositeColor.Pixel(2, 0), (Rgb{0, 0, 255}));
    d.LayerAt(2).Visible = 1;
    const Composite c2 = Compose(d);
    EXPECT_EQ(c2.CompositeColor.Pixel(1, 0), (Rgb{0, 255, 0}));
    EXPECT_EQ(c2.CompositeColor.Pixel(2, 0), (Rgb{255, 255, 0}));
    for (int x = 0; x < 3; ++x) EXPECT_EQ(c2.CompositeMask.Pixel(x, 0), kWhite);
}

TEST(Recompose, HiddenLayerKeepsItsThumbnailButLeavesTheCanvasTransparent) {
    Document d = Blank(8, 8);
    d.AppendLayer();
    Paint(d, 0, 5, 1, 0);  // black on the bottom layer
    d.LayerAt(0).Visible = 0;
    const Composite c = Compose(d);
    ASSERT_EQ(c.LayerPreviews.size(), 2u);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            EXPECT_EQ(c.CompositeMask.Pixel(x, y), kBlack);
            EXPECT_EQ(c.CompositeColor.Pixel(x, y), kWhite);
        }
    // Thumbnails sit on a 4-pixel checker.
    EXPECT_EQ(Picture(c.LayerPreviews[0], {{kC1, 'a'}, {kC2, 'b'}, {kBlack, 'X'}}),
              (std::vector<std::string>{"aaaabbbb", "aaaabXbb", "aaaabbbb", "aaaabbbb",
                                        "bbbbaaaa", "bbbbaaaa", "bbbbaaaa", "bbbbaaaa"}));
    EXPECT_EQ(c.LayerPreviews[1].Pixel(5, 1), kC2);
    // The whole zoomed canvas is the checkerboard.
    Raster checker(16, 16);
    PaintChecker(checker, 8, kColors);
    EXPECT_EQ(View(d, c, 2, true, Rect{0, 0, 16, 16}), checker);
}

TEST(Recompose, UsesThePaletteAndTransparencyColoursOfTheCall) {
    Document d = Blank(4, 4);
    Paint(d, 0, 0, 0, 3);
    d.Palette[3] = MakeEntry(Rgb{1, 2, 3});
    const TransparencyColors blueish{Rgb{0, 0, 200}, Rgb{0, 0, 100}};
    const Composite c = Compose(d, blueish);
    EXPECT_EQ(c.CompositeColor.Pixel(0, 0), (Rgb{1, 2, 3}));
    EXPECT_EQ(c.LayerPreviews[0].Pixel(0, 0), (Rgb{1, 2, 3}));
    EXPECT_EQ(c.LayerPreviews[0].Pixel(1, 0), blueish.Color1);
}

TEST(Recompose, DoesNothingBeforeTheDocumentIsSetUp) {
    Document d;
    Composite c;
    c.CompositeColor.Resize(2, 2);
    Recompose(d, kColors, c);
    EXPECT_EQ(c.CompositeColor.Width(), 2);
    EXPECT_TRUE(c.LayerPreviews.empty());
}

// A 4 x 2 document whose floating content is the row "10 11 12 13" lifted from row 0.
Document WithFloatingRow() {
    Document d = Blank(4, 2);
    for (int x = 0; x < 4; ++x) {
        d.FloatIndices[std::size_t(x)] = uint8_t(10 + x);
        d.FloatMask[std::size_t(x)] = 1;
    }
    d.HasSelection = true;
    d.SelLeft = 0, d.SelTop = 0, d.SelRight = 4, d.SelBottom = 1;
    return d;
}

void MoveFloat(Document& d, int dx, int dy) {
    d.FloatDX = dx, d.FloatDY = dy;
    d.SelLeft = dx, d.SelTop = dy, d.SelRight = 4 + dx, d.SelBottom = 1 + dy;
}

const std::vector<std::pair<Rgb, char>> kFloatLegend{
    {kWhite, '.'}, {{255, 0, 0}, 'r'}, {{255, 255, 0}, 'y'}, {{0, 255, 0}, 'g'}, {{0, 255, 255}, 'c'}};

TEST(Recompose, FloatingSelectionShowsOnlyItsOnCanvasPart) {
    Document d = WithFloatingRow();
    MoveFloat(d, 2, 1);
    EXPECT_EQ(Picture(Compose(d).CompositeColor, kFloatLegend), (std::vector<std::string>{"....", "..ry"}));
    MoveFloat(d, -3, 0);
    EXPECT_EQ(Picture(Compose(d).CompositeColor, kFloatLegend), (std::vector<std::string>{"c...", "...."}));
    MoveFloat(d, 0, 2);  // wholly below the canvas
    EXPECT_EQ(Picture(Compose(d).CompositeColor, kFloatLegend), (std::vector<std::string>{"....", "...."}));
    // The floating planes kept everything: moving back shows the whole row again.
    MoveFloat(d, 0, 0);
    EXPECT_EQ(Picture(Compose(d).CompositeColor, kFloatLegend), (std::vector<std::string>{"rygc", "...."}));
}

TEST(Recompose, FloatingSelectionIsClippedToTheSelectionRectangle) {
    Document d = WithFloatingRow();
    d.SelLeft = 1, d.SelRight = 3;
    EXPECT_EQ(Picture(Compose(d).CompositeColor, kFloatLegend), (std::vector<std::string>{".yg.", "...."}));
    // A source left of the planes is skipped even inside the rectangle.
    d.SelLeft = 0, d.SelRight = 4, d.FloatDX = 2;
    EXPECT_EQ(Picture(Compose(d).CompositeColor, kFloatLegend), (std::vector<std::string>{"..ry", "...."}));
    // A source right of the planes ends the row; it must not wrap into the next plane row,
    // which holds painted floating pixels here.
    for (int x = 0; x < 4; ++x) d.FloatMask[std::size_t(4 + x)] = 1;
    d.FloatDX = -2;
    EXPECT_EQ(Picture(Compose(d).CompositeColor, kFloatLegend), (std::vector<std::string>{"gc..", "...."}));
}

TEST(Recompose, FloatingSelectionSitsBetweenTheCurrentLayerAndTheLayersAbove) {
    Document d = WithFloatingRow();
    d.AppendLayer();
    d.SetCurrentLayer(0);
    Paint(d, 0, 0, 0, 0);   // under the floating red
    Paint(d, 1, 1, 0, 14);  // blue above the floating yellow
    const Composite c = Compose(d);
    EXPECT_EQ(c.CompositeColor.Pixel(0, 0), (Rgb{255, 0, 0}));
    EXPECT_EQ(c.CompositeColor.Pixel(1, 0), (Rgb{0, 0, 255}));
    EXPECT_EQ(c.LayerPreviews[0].Pixel(1, 0), (Rgb{255, 255, 0}));
    EXPECT_EQ(c.LayerPreviews[1].Pixel(0, 0), kC1);  // not part of the upper layer
}

TEST(Recompose, FloatingOverAHiddenCurrentLayerShowsInTheThumbnailOnly) {
    Document d = WithFloatingRow();
    d.LayerAt(0).Visible = 0;
    const Composite c = Compose(d);
    EXPECT_EQ(c.LayerPreviews[0].Pixel(0, 0), (Rgb{255, 0, 0}));
    EXPECT_EQ(c.LayerPreviews[0].Pixel(3, 0), (Rgb{0, 255, 255}));
    EXPECT_EQ(c.CompositeMask.Pixel(0, 0), kBlack);
    EXPECT_EQ(c.CompositeColor.Pixel(0, 0), kWhite);
}

// Recompose written out pixel by pixel in the order of its definition: checker thumbnails,
// layers bottom to top, the floating content right after the current layer.
Composite ReferenceRecompose(const Document& d, const TransparencyColors& colors) {
    const int w = d.ImageWidth, h = d.ImageHeight;
    Composite c;
    c.CompositeColor.Resize(w, h);
    c.CompositeColor.Fill(kWhite);
    c.CompositeMask.Resize(w, h);
    Raster checker(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            checker.SetPixel(x, y, ((x / 4 + y / 4) % 2 == 0) ? colors.Color1 : colors.Color2);
    for (int i = 0; i < d.LayerCount(); ++i) {
        const Layer& l = d.LayerAt(i);
        Raster preview = checker;
        auto put = [&](int x, int y, int index) {
            preview.SetPixel(x, y, d.ColorOf(index));
            if (l.Visible) {
                c.CompositeColor.SetPixel(x, y, d.ColorOf(index));
                c.CompositeMask.SetPixel(x, y, kWhite);
            }
        };
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                if (l.Mask[std::size_t(x + y * w)]) put(x, y, l.Indices[std::size_t(x + y * w)]);
        if (d.HasSelection && i == d.CurrentLayer())
            for (int y = std::max(d.SelTop, 0); y < std::min(d.SelBottom, h); ++y)
                for (int x = std::max(d.SelLeft, 0); x < std::min(d.SelRight, w); ++x) {
                    const int sx = x - d.FloatDX, sy = y - d.FloatDY;
                    if (sx < 0 || sy < 0) continue;
                    if (sx >= w || sy >= h) break;
                    if (d.FloatMask[std::size_t(sx + sy * w)]) put(x, y, d.FloatIndices[std::size_t(sx + sy * w)]);
                }
        c.LayerPreviews.push_back(preview);
    }
    return c;
}

TEST(Recompose, MatchesTheStepByStepDefinitionOnRandomDocuments) {
    std::mt19937 rng(99);
    const TransparencyColors colors{Rgb{1, 2, 3}, Rgb{4, 5, 6}};
    for (int round = 0; round < 200; ++round) {
        const int w = 1 + int(rng() % 13), h = 1 + int(rng() % 11);
        Document d = Blank(w, h);
        for (int l = 1, n = 1 + int(rng() % 4); l < n; ++l) d.AppendLayer();
        d.SetCurrentLayer(int(rng() % unsigned(d.LayerCount())));
        for (int i = 0; i < 256; ++i) d.Palette[std::size_t(i)] = MakeEntry(Rgb{uint8_t(i), uint8_t(rng()), 7});
        for (int l = 0; l < d.LayerCount(); ++l) {
            d.LayerAt(l).Visible = uint8_t(rng() % 4 == 0 ? 0 : 1 + rng() % 3);
            for (int p = 0; p < w * h; ++p) {
                d.LayerAt(l).Mask[std::size_t(p)] = uint8_t(rng() % 3 == 0 ? rng() % 256 : 0);
                d.LayerAt(l).Indices[std::size_t(p)] = uint8_t(rng());
            }
        }
        if (rng() % 2) {
            d.HasSelection = true;
            for (int p = 0; p < w * h; ++p) {
                d.FloatMask[std::size_t(p)] = uint8_t(rng() % 2);
                d.FloatIndices[std::size_t(p)] = uint8_t(rng());
            }
            d.FloatDX = int(rng() % unsigned(2 * w + 1)) - w;
            d.FloatDY = int(rng() % unsigned(2 * h + 1)) - h;
            d.SelLeft = int(rng() % unsigned(2 * w + 2)) - w - 1;
            d.SelTop = int(rng() % unsigned(2 * h + 2)) - h - 1;
            d.SelRight = d.SelLeft + int(rng() % unsigned(2 * w + 2));
            d.SelBottom = d.SelTop + int(rng() % unsigned(2 * h + 2));
        }
        const Composite expected = ReferenceRecompose(d, colors);
        Composite actual;
        // A composite left from a larger picture is resized, not reused as it is.
        actual.LayerPreviews.resize(6, Raster(20, 20));
        actual.CompositeColor.Resize(20, 3);
        Recompose(d, colors, actual);
        ASSERT_EQ(actual.CompositeColor, expected.CompositeColor) << "round " << round;
        ASSERT_EQ(actual.CompositeMask, expected.CompositeMask) << "round " << round;
        ASSERT_EQ(actual.LayerPreviews.size(), expected.LayerPreviews.size());
        for (std::size_t i = 0; i < expected.LayerPreviews.size(); ++i)
            ASSERT_EQ(actual.LayerPreviews[i], expected.LayerPreviews[i]) << "round " << round << " layer " << i;
    }
}

// ---- zoomed view and grid -----------------------------------------------------------------

TEST(ZoomedView, AtThreeEachPixelIsTwoByTwoWithTheGridOnItsRightAndBottom) {
    Document d = Blank(2, 2);
    Paint(d, 0, 0, 0, 10);
    Paint(d, 0, 1, 0, 12);
    Paint(d, 0, 0, 1, 14);
    Paint(d, 0, 1, 1, 0);
    const Composite c = Compose(d);
    const std::vector<std::string> expected{"rrGggG", "rrGggG", "GGGGGG", "bbGkkG", "bbGkkG", "GGGGGG"};
    const std::vector<std::pair<Rgb, char>> legend{
        {{255, 0, 0}, 'r'}, {{0, 255, 0}, 'g'}, {{0, 0, 255}, 'b'}, {kBlack, 'k'}, {kGrid, 'G'}};
    EXPECT_EQ(Picture(View(d, c, 3, true, Rect{0, 0, 6, 6}), legend), expected);
    EXPECT_EQ(Picture(BuildFullZoomedView(d, c, 3, kColors, true), legend), expected);
}

TEST(ZoomedView, NoGridBelowThree) {
    Document d = Blank(4, 4);
    Paint(d, 0, 1, 1, 0);
    const Composite c = Compose(d);
    for (int zoom : {1, 2}) {
        EXPECT_EQ(View(d, c, zoom, true, Rect{0, 0, 4 * zoom, 4 * zoom}),
                  View(d, c, zoom, false, Rect{0, 0, 4 * zoom, 4 * zoom}));
        EXPECT_EQ(BuildFullZoomedView(d, c, zoom, kColors, true), BuildFullZoomedView(d, c, zoom, kColors, false));
    }
    Raster r(6, 6);
    r.Fill(kWhite);
    DrawGrid(r, 2);
    EXPECT_EQ(r.Pixel(1, 1), kWhite);
}

TEST(ZoomedView, CheckerIsAlignedToTheCanvasNotToImagePixels) {
    Document d = Blank(4, 1);
    const Composite c = Compose(d);
    const std::vector<std::pair<Rgb, char>> legend{{kC1, 'a'}, {kC2, 'b'}, {kGrid, 'G'}};
    // 4x: a block of 2 x 2 transparent pixels is exactly one 8 x 8 square.
    const Raster v4 = View(d, c, 4, false, Rect{0, 0, 16, 4});
    EXPECT_EQ(Picture(v4, legend)[0], "aaaaaaaabbbbbbbb");
    // 8x: one pixel, one square.
    const Raster v8 = View(d, c, 8, false, Rect{0, 0, 32, 8});
    EXPECT_EQ(Picture(v8, legend)[7], std::string(8, 'a') + std::string(8, 'b') + std::string(8, 'a') +
                                          std::string(8, 'b'));
    // 20x: pixel 1 (screen columns 20-39) shows parts of three squares: 4 + 8 + 8 columns.
    const Raster v20 = View(d, c, 20, true, Rect{20, 0, 40, 20});
    EXPECT_EQ(Picture(v20, legend)[0], "aaaabbbbbbbbaaaaaaaG");
    EXPECT_EQ(Picture(v20, legend)[8], "bbbbaaaaaaaabbbbbbbG");
    EXPECT_EQ(Picture(v20, legend)[19], std::string(20, 'G'));
}

TEST(ZoomedView, DrawGridWithAnOriginMatchesTheWholeGrid) {
    Raster whole(30, 30), part(11, 7);
    whole.Fill(kWhite);
    part.Fill(kWhite);
    DrawGrid(whole, 4);
    DrawGrid(part, 4, 13, 5);
    EXPECT_EQ(part, Crop(whole, Rect{13, 5, 24, 12}));
}

TEST(ZoomedView, OutsideTheCanvasIsBlackAndEmptyAreasAreEmpty) {
    Document d = Blank(2, 2);
    const Composite c = Compose(d);
    const Raster v = View(d, c, 4, true, Rect{-3, 6, 12, 10});
    ASSERT_EQ(v.Width(), 15);
    ASSERT_EQ(v.Height(), 4);
    // View column 3 is canvas column 0; view rows 0 and 1 are canvas rows 6 and 7.
    EXPECT_EQ(v.Pixel(2, 0), kBlack);
    EXPECT_EQ(v.Pixel(3, 0), kC1);
    EXPECT_EQ(v.Pixel(10, 0), kGrid);   // canvas column 7, the last of pixel 1
    EXPECT_EQ(v.Pixel(11, 0), kBlack);  // right of the canvas
    EXPECT_EQ(v.Pixel(4, 1), kGrid);    // canvas row 7
    EXPECT_EQ(v.Pixel(3, 2), kBlack);   // below the canvas
    EXPECT_TRUE(View(d, c, 4, true, Rect{5, 5, 5, 9}).Empty());
    EXPECT_TRUE(View(d, c, 4, true, Rect{5, 5, 2, 9}).Empty());
}

TEST(ZoomedView, OnDemandViewEqualsTheCroppedFullView) {
    std::mt19937 rng(12345);
    const TransparencyColors colors{Rgb{250, 240, 230}, Rgb{10, 20, 30}};
    int cases = 0;
    for (int round = 0; round < 6; ++round) {
        const int w = 1 + int(rng() % 7), h = 1 + int(rng() % 7);
        Document d = Blank(w, h);
        d.AppendLayer();
        for (int l = 0; l < 2; ++l)
            for (int i = 0; i < w * h; ++i)
                if (rng() % 3 == 0) Paint(d, l, i % w, i / w, int(rng() % 16));
        if (round % 2) d.LayerAt(1).Visible = 0;
        const Composite c = Compose(d, colors);
        for (int zoom : {1, 2, 3, 4, 8, 20}) {
            for (bool grid : {false, true}) {
                const Raster full = BuildFullZoomedView(d, c, zoom, colors, grid);
                ASSERT_EQ(full.Width(), w * zoom);
                const int cw = w * zoom, ch = h * zoom;
                std::vector<Rect> areas{{0, 0, cw, ch}, {-5, -3, cw + 7, ch + 2}, {1, 1, 2, 2},
                                        {cw - 1, ch - 1, cw, ch}, {3, 5, 4, ch}};
                for (int k = 0; k < 12; ++k) {
                    const int l = int(rng() % unsigned(cw + 10)) - 5, t = int(rng() % unsigned(ch + 10)) - 5;
                    areas.push_back(Rect{l, t, l + 1 + int(rng() % 30), t + 1 + int(rng() % 30)});
                }
                areas.push_back(Rect{cw + 2, -4, cw + 9, 3});  // wholly outside
                for (const Rect& a : areas) {
                    // Into a fresh raster, and into a same-sized one holding an old picture.
                    Raster fresh, reused(a.Width(), a.Height());
                    reused.Fill(Rgb{9, 8, 7});
                    RenderZoomedView(d, c, zoom, colors, grid, a, fresh);
                    RenderZoomedView(d, c, zoom, colors, grid, a, reused);
                    const Raster expected = Crop(full, a);
                    ASSERT_EQ(fresh, expected) << "zoom " << zoom << " grid " << grid << " area " << a.left << ","
                                               << a.top << "-" << a.right << "," << a.bottom;
                    ASSERT_EQ(reused, expected);
                    ++cases;
                }
            }
        }
    }
    EXPECT_GT(cases, 1000);
}

}  // namespace
}  // namespace pq

namespace pq {
namespace {

// ---- the rectangle form of Recompose ------------------------------------------------------

struct NoText : TextDrawer {
    void DrawText(Raster& target, int x, int y, const std::string&, const FontSpec&) override {
        for (int dy = 0; dy < 3; ++dy)
            for (int dx = 0; dx < 5; ++dx) target.SetPixel(x + dx, y + dy, kBlack);
    }
};

// Random strokes of every engine and moves of a floating selection on odd, non-square
// documents with hidden layers; after each event the composite kept up by the rectangle each
// engine reports is the whole rebuild, thumbnails and zoomed views included, and the rectangle
// holds every pixel the event changed.
TEST(RecomposeRect, EveryEventLeavesWhatTheWholeRebuildGives) {
    const TransparencyColors colors{{250, 10, 30}, {5, 60, 200}};
    std::mt19937 rng(2024);
    const std::pair<int, int> sizes[] = {{37, 23}, {5, 41}, {64, 3}, {1, 1}, {17, 17}};
    int events = 0;
    for (const auto& [w, h] : sizes) {
        for (int variant = 0; variant < 3; ++variant) {
            Document d;
            InitBlankDocument(d, w, h, 256, 20);
            for (int i = 0; i < 256; ++i) d.Palette[std::size_t(i)] = MakeEntry(Rgb{uint8_t(rng()), uint8_t(rng()), uint8_t(rng())});
            for (int l = 1; l < 4; ++l) d.AppendLayer();
            for (int l = 0; l < 4; ++l)
                for (std::size_t p = 0; p < d.LayerAt(l).Mask.size(); ++p)
                    if (rng() % 3 == 0) Paint(d, l, int(p) % w, int(p) / w, int(rng() % 256));
            d.LayerAt(1).Visible = 0;
            d.SetCurrentLayer(variant == 2 ? 1 : 2);  // variant 2 paints on the hidden layer
            // A floating selection, lifted and moved partly off the canvas, in two variants.
            if (variant >= 1) {
                d.HasSelection = true;
                SetSelection(d, w / 4, h / 4, w - w / 5, h);
                LiftSelection(d);
                MoveFloating(d, 2, -1);
            }
            Composite kept;
            Recompose(d, colors, kept);
            d.CloneLayer = 0;
            d.CloneSourceX = w / 2;
            d.CloneSourceY = h / 2;
            d.CloneState = 2;
            Lcg random;
            NoText text;
            for (int e = 0; e < 60; ++e, ++events) {
                const Document before = d;
                const StrokeContext ctx{int(rng() % 10) + 1, uint8_t(rng() % 256)};
                const int x1 = int(rng() % unsigned(w + 6)) - 3, y1 = int(rng() % unsigned(h + 6)) - 3;
                const int x2 = int(rng() % unsigned(w + 6)) - 3, y2 = int(rng() % unsigned(h + 6)) - 3;
                Rect touched;
                switch (rng() % 9) {
                case 0: touched = StampLine(d, ctx, x1, y1, x2, y2, false); break;
                case 1: touched = StampLine(d, ctx, x1, y1, x2, y2, true); break;
                case 2: touched = Spray(d, ctx, x1, y1, ctx.BrushSize + 3, uint8_t(rng() % 2), random); break;
                case 3: touched = FloodFillAt(d, ctx, x1, y1, uint8_t(rng() % 2)); break;
                case 4: touched = CloneStroke(d, ctx, x1, y1, x2, y2); break;
                case 5: touched = DrawRectShape(d, ctx, x1, y1, x2, y2, rng() % 2 == 0); break;
                case 6: touched = DrawEllipseShape(d, ctx, x1, y1, x2, y2, rng() % 2 == 0); break;
                case 7: touched = DrawTextAt(d, ctx, x1, y1, "a", FontSpec{}, text); break;
                default: {
                    // The canvas's move tool: the selection before and after.
                    const Rect from = d.Selection();
                    if (MoveFloating(d, int(rng() % 5) - 2, int(rng() % 5) - 2)) touched = UnionRect(from, d.Selection());
                }
                }
                ASSERT_TRUE(Contains(touched, ChangedPixels(before, d))) << w << "x" << h << " event " << e;
                Recompose(d, colors, touched, kept);
                Composite whole;
                Recompose(d, colors, whole);
                ASSERT_EQ(kept.CompositeColor, whole.CompositeColor) << w << "x" << h << " variant " << variant << " event " << e;
                ASSERT_EQ(kept.CompositeMask, whole.CompositeMask) << w << "x" << h << " event " << e;
                ASSERT_EQ(kept.LayerPreviews, whole.LayerPreviews) << w << "x" << h << " event " << e;
                const int zoom = 3 + e % 5;
                ASSERT_EQ(BuildFullZoomedView(d, kept, zoom, colors, true), BuildFullZoomedView(d, whole, zoom, colors, true));
            }
        }
    }
    EXPECT_EQ(events, 900);
}

TEST(RecomposeRect, RebuildsWholeWhenTheCompositeWasBuiltForSomethingElse) {
    Document d = Blank(7, 5);
    Paint(d, 0, 6, 4, 3);
    const TransparencyColors other{{1, 2, 3}, {4, 5, 6}};
    Composite c;
    Recompose(d, kColors, c);
    // Other checker colours, another size, another layer count: each rebuilds everything.
    Recompose(d, other, Rect{0, 0, 1, 1}, c);
    EXPECT_EQ(c.Changed, (Rect{0, 0, 7, 5}));
    EXPECT_EQ(c.LayerPreviews, Compose(d, other).LayerPreviews);
    Document bigger = Blank(9, 6);
    Recompose(bigger, other, Rect{2, 2, 3, 3}, c);
    EXPECT_EQ(c.Changed, (Rect{0, 0, 9, 6}));
    EXPECT_EQ(c.CompositeColor, Compose(bigger, other).CompositeColor);
    bigger.AppendLayer();
    Recompose(bigger, other, Rect{2, 2, 3, 3}, c);
    EXPECT_EQ(c.LayerPreviews.size(), 2u);
    EXPECT_EQ(c.LayerPreviews, Compose(bigger, other).LayerPreviews);
    // A rectangle off the canvas changes nothing and says so.
    Recompose(bigger, other, Rect{-5, 2, 0, 4}, c);
    EXPECT_TRUE(c.Changed.Empty());
    Recompose(bigger, other, Rect{4, 3, 40, 30}, c);
    EXPECT_EQ(c.Changed, (Rect{4, 3, 9, 6}));
}

TEST(StrokeRects, EmptyWhenNothingIsWrittenAndTightOtherwise) {
    Document d = Blank(11, 7);
    const StrokeContext ctx{1, 5};
    EXPECT_TRUE(StampLine(d, ctx, -4, -4, -2, -3, false).Empty());
    EXPECT_EQ(StampLine(d, ctx, 2, 3, 5, 3, false), (Rect{2, 3, 6, 4}));
    EXPECT_EQ(StampLine(d, ctx, 9, 6, 14, 6, false), (Rect{9, 6, 11, 7}));
    // Erasing a transparent region writes nothing.
    EXPECT_TRUE(FloodFillAt(d, ctx, 0, 0, 0).Empty());
    EXPECT_EQ(FloodFillAt(d, ctx, 3, 3, 0), (Rect{2, 3, 6, 4}));
    Lcg random;
    EXPECT_TRUE(Spray(d, ctx, 5, 5, 0, 1, random).Empty());
}

}  // namespace
}  // namespace pq
