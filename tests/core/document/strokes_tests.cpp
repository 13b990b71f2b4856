#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "core/document/document.h"
#include "core/document/random.h"
#include "core/document/strokes.h"
#include "core/raster/drawing.h"

namespace pq {
namespace {

using Grid = std::vector<std::string>;

Document Blank(int w = 10, int h = 10) {
    Document d;
    InitBlankDocument(d, w, h, 16, 20);
    return d;
}

StrokeContext Ctx(int size, uint8_t color = 5) { return StrokeContext{size, color}; }

// The current layer as a grid: '.' transparent, otherwise the index as a hex digit.
Grid LayerGrid(const Plane& indices, const Plane& mask, int w, int h) {
    Grid g;
    for (int y = 0; y < h; ++y) {
        std::string row;
        for (int x = 0; x < w; ++x) {
            const std::size_t o = std::size_t(x + y * w);
            row += mask[o] ? "0123456789abcdef"[indices[o] & 15] : '.';
        }
        g.push_back(row);
    }
    return g;
}
Grid LayerGrid(const Document& d) { return LayerGrid(d.Current().Indices, d.Current().Mask, d.ImageWidth, d.ImageHeight); }
Grid FloatGrid(const Document& d) { return LayerGrid(d.FloatIndices, d.FloatMask, d.ImageWidth, d.ImageHeight); }

void Paint(Document& d, int x, int y, uint8_t index) {
    const std::size_t o = std::size_t(x + y * d.ImageWidth);
    d.Current().Indices[o] = index;
    d.Current().Mask[o] = 1;
}

// Black pixels of a stencil as "x,y" strings, row by row.
std::vector<std::string> BlackPixels(const Raster& r) {
    std::vector<std::string> v;
    for (int y = 0; y < r.Height(); ++y)
        for (int x = 0; x < r.Width(); ++x)
            if (r.PixelUnchecked(x, y) == kBlack) v.push_back(std::to_string(x) + "," + std::to_string(y));
    return v;
}

Raster WhiteStencil(int w = 10, int h = 10) {
    Raster r(w, h);
    r.Fill(kWhite);
    return r;
}

// ---- stencil: brush footprint and traced lines ---------------------------------------------------

TEST(StampBrush, FootprintsOfSizesOneToThree) {
    Raster s1 = WhiteStencil();
    StampBrush(s1, 1, 5, 5);
    EXPECT_EQ(BlackPixels(s1), (std::vector<std::string>{"5,5"}));
    // An even size sits on the pixel's top-left corner: columns and rows 4-5.
    Raster s2 = WhiteStencil();
    StampBrush(s2, 2, 5, 5);
    EXPECT_EQ(BlackPixels(s2), (std::vector<std::string>{"4,4", "5,4", "4,5", "5,5"}));
    // An odd size is centred on the pixel.
    Raster s3 = WhiteStencil();
    StampBrush(s3, 3, 5, 5);
    EXPECT_EQ(BlackPixels(s3), (std::vector<std::string>{"5,4", "4,5", "5,5", "6,5", "5,6"}));
    Raster s5 = WhiteStencil();
    StampBrush(s5, 5, 5, 5);
    EXPECT_EQ(BlackPixels(s5).size(), 21u);  // 5 x 5 (columns and rows 3-7) without its corners
    EXPECT_EQ(s5.Pixel(3, 5), kBlack);
    EXPECT_EQ(s5.Pixel(5, 7), kBlack);
    EXPECT_EQ(s5.Pixel(3, 3), kWhite);
    EXPECT_EQ(s5.Pixel(7, 7), kWhite);
    // A footprint at the edge is clipped, not wrapped.
    Raster edge = WhiteStencil(4, 4);
    StampBrush(edge, 3, 0, 0);
    EXPECT_EQ(BlackPixels(edge), (std::vector<std::string>{"0,0", "1,0", "0,1"}));
}

TEST(TraceLine, StampPositionsFollowTheTruncationRule) {
    Raster a = WhiteStencil();
    TraceLine(a, 1, 0, 0, 3, 1);
    EXPECT_EQ(BlackPixels(a), (std::vector<std::string>{"0,0", "1,0", "2,1", "3,1"}));
    Raster b = WhiteStencil();
    TraceLine(b, 1, 0, 0, 2, 2);  // |ddx| = |ddy| takes the vertical branch
    EXPECT_EQ(BlackPixels(b), (std::vector<std::string>{"0,0", "1,1", "2,2"}));
    Raster c = WhiteStencil();
    TraceLine(c, 1, 1, 0, 2, 5);
    EXPECT_EQ(BlackPixels(c), (std::vector<std::string>{"1,0", "1,1", "1,2", "2,3", "2,4", "2,5"}));
    // Positions above the canvas truncate toward zero: -0.17 and -0.5 become row 0.
    Raster d = WhiteStencil();
    TraceLine(d, 1, 5, 0, 8, -1);
    EXPECT_EQ(BlackPixels(d), (std::vector<std::string>{"5,0", "6,0", "7,0", "8,0"}));
    // |ddx| = |ddy| takes the vertical branch also where the minor coordinate goes negative:
    // x truncates toward zero (0, 0, -1), and a size-2 footprint makes that visible at (0, 0).
    Raster f = WhiteStencil(4, 4);
    TraceLine(f, 2, 1, 3, -2, 0);
    EXPECT_EQ(BlackPixels(f), (std::vector<std::string>{"0,0", "0,1", "0,2", "1,2", "0,3", "1,3"}));
    // A zero-length trace stamps nothing.
    Raster e = WhiteStencil();
    TraceLine(e, 3, 4, 4, 4, 4);
    EXPECT_TRUE(BlackPixels(e).empty());
}

// ---- brush line ----------------------------------------------------------------------------------

TEST(StampLine, PaintsEndFootprintAndErases) {
    Document d = Blank(8, 4);
    StampLine(d, Ctx(1, 7), 2, 1, 2, 1, false);  // a click leaves one footprint
    EXPECT_EQ(LayerGrid(d), (Grid{"........", "..7.....", "........", "........"}));
    StampLine(d, Ctx(2, 3), 0, 3, 5, 3, false);
    EXPECT_EQ(LayerGrid(d), (Grid{"........", "..7.....", "333333..", "333333.."}));
    StampLine(d, Ctx(1, 9), 3, 3, 10, 3, true);  // dragged off the right edge
    EXPECT_EQ(LayerGrid(d), (Grid{"........", "..7.....", "333333..", "333....."}));
    EXPECT_EQ(d.Current().Indices[3 + 3 * 8], 0);
}

// ---- airbrush ------------------------------------------------------------------------------------

TEST(Spray, SizeOneLandsOnThePressedPixel) {
    Document d = Blank(6, 6);
    Lcg rng;
    Spray(d, Ctx(1, 4), 2, 3, 1, 1, rng);
    for (int i = 0; i < 20; ++i) Spray(d, Ctx(1, 4), 2, 3, 1, 1, rng);
    EXPECT_EQ(LayerGrid(d), (Grid{"......", "......", "......", "..4...", "......", "......"}));
}

TEST(Spray, DrawsFourGeneratorValuesPerDotInOrder) {
    Lcg rng, reference;
    Document d = Blank(10, 10);
    Spray(d, Ctx(3, 6), 5, 5, 3, 1, rng);
    for (int i = 0; i < 12; ++i) reference.Next();
    EXPECT_EQ(rng.State(), reference.State());

    // From start-up the generator gives 346, 130, 10982, 1090: angle 346 deg with radius
    // 130 mod 3 = 1 across (+0.49), angle 182 deg with radius 1090 mod 3 = 1 down (-0.02):
    // dot (5, 4). The next two dots land on (4, 4) and (4, 5).
    Document three = Blank(10, 10);
    Lcg fresh;
    Spray(three, Ctx(3, 6), 5, 5, 3, 1, fresh);
    Grid expected(10, "..........");
    expected[4][5] = expected[4][4] = expected[5][4] = '6';
    EXPECT_EQ(LayerGrid(three), expected);
    // Seven dots from start-up (angle and radius swapped would give other dots).
    Document seven = Blank(10, 10);
    Lcg fresh7;
    Spray(seven, Ctx(7, 6), 5, 5, 7, 1, fresh7);
    EXPECT_EQ(LayerGrid(seven), (Grid{"..........", "..........", "..........", "...6......", "....6.6...",
                                      "....666...", "..........", "..........", "..........", ".........."}));

    // Dots near the edge that fall outside are skipped; a zero count draws nothing.
    Document edge = Blank(2, 2);
    Lcg r2;
    Spray(edge, Ctx(10, 1), 0, 0, 10, 1, r2);
    Spray(edge, Ctx(10, 1), 0, 0, 0, 1, r2);
    EXPECT_EQ(r2.State(), [] { Lcg x; for (int i = 0; i < 40; ++i) x.Next(); return x.State(); }());
}

TEST(Spray, MaskZeroErases) {
    Document d = Blank(3, 3);
    Paint(d, 1, 1, 2);
    Lcg rng;
    Spray(d, Ctx(1, 9), 1, 1, 1, 0, rng);
    EXPECT_EQ(d.Current().Mask[4], 0);
}

// ---- flood fill ----------------------------------------------------------------------------------

TEST(FloodFillAt, MatchesByIndexNotColour) {
    Document d = Blank(6, 3);
    d.Palette[2] = d.Palette[1];  // two indices of the same colour
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 6; ++x) Paint(d, x, y, x < 3 ? 1 : 2);
    Paint(d, 1, 1, 4);  // an island of another index inside the fill region
    FloodFillAt(d, Ctx(1, 7), 0, 0, 1);
    EXPECT_EQ(LayerGrid(d), (Grid{"777222", "747222", "777222"}));
}

TEST(FloodFillAt, FourConnectedRegionOfTransparency) {
    Document d = Blank(5, 4);
    for (int i = 0; i < 4; ++i) Paint(d, 3 - i, i, 3);  // a diagonal wall is a wall
    FloodFillAt(d, Ctx(1, 8), 0, 0, 1);
    EXPECT_EQ(LayerGrid(d), (Grid{"8883.", "883..", "83...", "3...."}));
}

TEST(FloodFillAt, EraseFill) {
    Document d = Blank(4, 3);
    Paint(d, 0, 0, 2);
    Paint(d, 1, 0, 2);
    Paint(d, 3, 0, 2);  // same index, not connected
    Paint(d, 1, 1, 5);
    // Mask 0 started on a transparent pixel changes nothing at all.
    const Document before = d;
    FloodFillAt(d, Ctx(1, 9), 2, 2, 0);
    EXPECT_EQ(d.Current(), before.Current());
    // Started on a painted pixel it clears the connected pixels of that index.
    FloodFillAt(d, Ctx(1, 9), 1, 0, 0);
    EXPECT_EQ(LayerGrid(d), (Grid{"...2", ".5..", "...."}));
    // Outside the canvas: nothing.
    FloodFillAt(d, Ctx(1, 9), -1, 0, 1);
    FloodFillAt(d, Ctx(1, 9), 4, 0, 1);
    EXPECT_EQ(LayerGrid(d), (Grid{"...2", ".5..", "...."}));
}

// ---- clone brush ---------------------------------------------------------------------------------

TEST(CloneStroke, SourceLeftOfAnchorSmearsAlongTheStroke) {
    Document d = Blank(10, 3);
    Paint(d, 2, 1, 6);
    d.CloneLayer = 0;
    d.CloneSourceX = 2;
    d.CloneSourceY = 1;
    d.CloneAnchorX = 3;
    d.CloneAnchorY = 1;
    CloneStroke(d, Ctx(1), 3, 1, 8, 1);
    EXPECT_EQ(LayerGrid(d), (Grid{"..........", "..6666666.", ".........."}));
}

TEST(CloneStroke, ReadsSeeOnlyTheColumnsAlreadyWritten) {
    // Source one pixel up and to the right: walking column by column, no read of this pass
    // lands on a pixel it already wrote (row by row, (3, 4) would read the new (4, 3)).
    Document d = Blank(7, 6);
    Paint(d, 4, 2, 1);
    Paint(d, 5, 2, 2);
    Paint(d, 4, 3, 3);
    Paint(d, 5, 3, 4);
    d.CloneLayer = 0;
    d.CloneAnchorX = 4;
    d.CloneAnchorY = 4;
    d.CloneSourceX = 5;
    d.CloneSourceY = 3;
    CloneStroke(d, Ctx(2), 4, 4, 4, 4);  // footprint columns and rows 3-4
    EXPECT_EQ(LayerGrid(d), (Grid{".......", ".......", "....12.", "...124.", "...34..", "......."}));
}

TEST(CloneStroke, CopiesAShiftedImageAndKeepsTargetUnderTransparentSource) {
    Document d = Blank(12, 4);
    d.AppendLayer();  // source on layer 1, target layer 0
    const std::size_t w = 12;
    for (int x = 8; x < 12; ++x) {
        d.LayerAt(1).Indices[x + 2 * w] = uint8_t(x - 7);
        d.LayerAt(1).Mask[x + 2 * w] = 1;
    }
    d.LayerAt(1).Mask[10 + 2 * w] = 0;  // a hole in the source
    d.SetCurrentLayer(0);
    for (int x = 0; x < 12; ++x) Paint(d, x, 2, 9);
    d.CloneLayer = 1;
    d.CloneSourceX = 8;
    d.CloneSourceY = 2;
    d.CloneAnchorX = 1;
    d.CloneAnchorY = 2;
    CloneStroke(d, Ctx(1), 0, 2, 6, 2);  // sources 7..13: 7 transparent, 12 and 13 off canvas
    EXPECT_EQ(LayerGrid(d), (Grid{"............", "............", "912949999999", "............"}));
    // A source layer that no longer exists clones nothing.
    d.CloneLayer = 5;
    const Layer before = d.Current();
    CloneStroke(d, Ctx(3), 0, 0, 11, 3);
    EXPECT_EQ(d.Current(), before);
}

// ---- text ----------------------------------------------------------------------------------------

// Stands in for a font engine: a white box one pixel around a black block as wide as the text
// and two rows high.
class BlockDrawer : public TextDrawer {
public:
    void DrawText(Raster& target, int x, int y, const std::string& text, const FontSpec& font) override {
        ++calls;
        lastFont = font;
        FillRect(target, x - 1, y - 1, x + int(text.size()) + 1, y + 3, kWhite);
        FillRect(target, x, y, x + int(text.size()), y + 2, kBlack);
    }
    int calls = 0;
    FontSpec lastFont;
};

TEST(DrawTextAt, TransfersTheBlackGlyphPixelsOnly) {
    Document d = Blank(6, 4);
    for (int x = 0; x < 6; ++x) Paint(d, x, 0, 1);  // the white box around the text must not erase
    BlockDrawer drawer;
    FontSpec font;
    font.Height = 20;
    DrawTextAt(d, Ctx(1, 4), 1, 1, "abc", font, drawer);
    EXPECT_EQ(drawer.calls, 1);
    EXPECT_EQ(drawer.lastFont, font);
    EXPECT_EQ(LayerGrid(d), (Grid{"111111", ".444..", ".444..", "......"}));
    // Empty text draws nothing and does not call the drawer.
    DrawTextAt(d, Ctx(1, 7), 0, 0, "", font, drawer);
    EXPECT_EQ(drawer.calls, 1);
    // Off the right edge: clipped.
    DrawTextAt(d, Ctx(1, 2), 4, 2, "abcdef", font, drawer);
    EXPECT_EQ(LayerGrid(d), (Grid{"111111", ".444..", ".44422", "....22"}));
}

// Anti-aliased glyph edges are not ink: only pure black pixels of the text reach the layer.
TEST(DrawTextAt, IgnoresDarkGreyGlyphPixels) {
    struct GreyEdgeDrawer : TextDrawer {
        void DrawText(Raster& target, int x, int y, const std::string&, const FontSpec&) override {
            target.SetPixel(x, y, kBlack);
            target.SetPixel(x + 1, y, Rgb{1, 1, 1});
            target.SetPixel(x + 2, y, Rgb{0, 0, 1});
        }
    } drawer;
    Document d = Blank(4, 1);
    DrawTextAt(d, Ctx(1, 4), 0, 0, "a", FontSpec{}, drawer);
    EXPECT_EQ(LayerGrid(d), (Grid{"4..."}));
}

// ---- rectangle and ellipse shapes ----------------------------------------------------------------

TEST(Shapes, RectanglesAtAndBeyondTheCanvasEdge) {
    Document d = Blank(6, 5);
    DrawRectShape(d, Ctx(1, 2), 4, 3, 0, 0, false);  // reversed corners, right/bottom excluded
    EXPECT_EQ(LayerGrid(d), (Grid{"2222..", "2..2..", "2222..", "......", "......"}));
    Document e = Blank(6, 5);
    DrawRectShape(e, Ctx(2, 3), 3, 2, 9, 9, false);  // hanging off the bottom right
    EXPECT_EQ(LayerGrid(e), (Grid{"......", "......", "...333", "...333", "...33."}));
    Document f = Blank(6, 5);
    DrawRectShape(f, Ctx(1, 3), -4, -4, 2, 2, true);
    DrawRectShape(f, Ctx(1, 3), 7, 0, 12, 4, true);  // wholly off the canvas
    EXPECT_EQ(LayerGrid(f), (Grid{"33....", "33....", "......", "......", "......"}));
}

TEST(Shapes, EllipsesUseTheBrushSizeAsPenWidth) {
    Document d = Blank(5, 5);
    DrawEllipseShape(d, Ctx(1, 1), 1, 1, 4, 4, true);
    EXPECT_EQ(LayerGrid(d), (Grid{".....", "..1..", ".111.", "..1..", "....."}));
    Document e = Blank(5, 5);
    DrawEllipseShape(e, Ctx(1, 2), 0, 0, 5, 5, false);
    EXPECT_EQ(LayerGrid(e), (Grid{".222.", "2...2", "2...2", "2...2", ".222."}));
    Document f = Blank(5, 5);
    DrawEllipseShape(f, Ctx(2, 2), 0, 0, 5, 5, false);
    EXPECT_EQ(LayerGrid(f), (Grid{".222.", "22222", "22.22", "22222", ".222."}));
}

// ---- every engine and the floating selection -----------------------------------------------------

// Each engine run on a plain layer and again with a selection whose planes are offset by (dx, dy):
// the floating planes must receive at (x - dx, y - dy) exactly what the layer got at (x, y),
// nothing at plane positions that map outside the canvas, and the layer must stay untouched.
TEST(EditTarget, EveryEngineWritesTheFloatingPlanesAtTheirOffset) {
    BlockDrawer drawer;
    const std::vector<std::pair<const char*, std::function<void(Document&)>>> engines = {
        {"StampLine", [](Document& d) { StampLine(d, Ctx(3, 4), 1, 1, 8, 6, false); }},
        {"Spray", [](Document& d) { Lcg rng; Spray(d, Ctx(9, 4), 4, 4, 9, 1, rng); }},
        {"FloodFillAt", [](Document& d) { FloodFillAt(d, Ctx(1, 4), 5, 5, 1); }},
        {"CloneStroke", [](Document& d) { CloneStroke(d, Ctx(2, 4), 0, 0, 9, 9); }},
        {"DrawTextAt", [&drawer](Document& d) { DrawTextAt(d, Ctx(1, 4), 2, 4, "abcdefgh", FontSpec{}, drawer); }},
        {"DrawRectShape", [](Document& d) { DrawRectShape(d, Ctx(2, 4), 1, 1, 9, 9, false); }},
        {"DrawEllipseShape", [](Document& d) { DrawEllipseShape(d, Ctx(1, 4), 0, 0, 10, 10, true); }},
    };
    const int offsets[][2] = {{3, 2}, {-2, -3}};
    for (const auto& [name, run] : engines) {
        for (const auto& off : offsets) {
            auto make = [] {
                Document d = Blank(10, 10);
                d.AppendLayer();  // clone source: layer 1 with a pattern
                for (int i = 0; i < 100; ++i) {
                    d.LayerAt(1).Indices[i] = uint8_t(i % 7 + 1);
                    d.LayerAt(1).Mask[i] = 1;
                }
                d.SetCurrentLayer(0);
                d.CloneLayer = 1;
                d.CloneSourceX = d.CloneSourceY = 0;
                d.CloneAnchorX = d.CloneAnchorY = 0;
                return d;
            };
            Document plain = make();
            run(plain);
            Document sel = make();
            sel.HasSelection = true;
            sel.SelLeft = sel.SelTop = 0;
            sel.SelRight = sel.SelBottom = 10;
            sel.FloatDX = off[0];
            sel.FloatDY = off[1];
            sel.FloatIndices.assign(100, 0);
            sel.FloatMask.assign(100, 0);
            const Layer layerBefore = sel.Current();
            run(sel);
            EXPECT_EQ(sel.Current(), layerBefore) << name;
            bool any = false;
            for (int py = 0; py < 10; ++py) {
                for (int px = 0; px < 10; ++px) {
                    const int x = px + off[0], y = py + off[1];  // canvas pixel of this plane position
                    const std::size_t o = std::size_t(px + py * 10);
                    if (x < 0 || y < 0 || x >= 10 || y >= 10) {
                        EXPECT_EQ(sel.FloatMask[o], 0) << name << " plane " << px << "," << py;
                        continue;
                    }
                    const std::size_t c = std::size_t(x + y * 10);
                    EXPECT_EQ(sel.FloatMask[o], plain.Current().Mask[c]) << name << " at " << x << "," << y;
                    if (sel.FloatMask[o]) {
                        EXPECT_EQ(sel.FloatIndices[o], plain.Current().Indices[c]) << name;
                    }
                    any |= sel.FloatMask[o] != 0;
                }
            }
            EXPECT_TRUE(any) << name;
        }
    }
}

TEST(EditTarget, FloodFillOnFloatingPlanesStaysInsideThem) {
    Document d = Blank(8, 8);
    d.HasSelection = true;
    d.FloatDX = 2;
    d.FloatDY = 1;
    d.FloatIndices.assign(64, 0);
    d.FloatMask.assign(64, 0);
    FloodFillAt(d, Ctx(1, 3), 4, 4, 1);
    const Grid g = FloatGrid(d);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            EXPECT_EQ(g[y][x], (x < 6 && y < 7) ? '3' : '.') << x << "," << y;
    // A start whose plane position is outside the planes does nothing.
    const Plane before = d.FloatMask;
    FloodFillAt(d, Ctx(1, 6), 1, 4, 1);
    EXPECT_EQ(d.FloatMask, before);
}

TEST(EditTarget, CloneFromTheFloatingPlanesReadsThemWithoutOffset) {
    Document d = Blank(6, 2);
    d.HasSelection = true;
    d.FloatDX = 1;
    d.FloatDY = 0;
    d.FloatIndices.assign(12, 0);
    d.FloatMask.assign(12, 0);
    d.FloatIndices[0] = 7;  // plane position (0, 0)
    d.FloatMask[0] = 1;
    d.CloneLayer = d.CurrentLayer();
    d.CloneSourceX = 0;
    d.CloneSourceY = 0;
    d.CloneAnchorX = 3;
    d.CloneAnchorY = 0;
    CloneStroke(d, Ctx(1), 3, 0, 3, 0);  // canvas (3, 0) -> plane (2, 0), source plane (0, 0)
    EXPECT_EQ(FloatGrid(d), (Grid{"7.7...", "......"}));
    EXPECT_EQ(LayerGrid(d), (Grid{"......", "......"}));
}

TEST(EditTarget, MissingPlanesMeanNoWrites) {
    // A selection flag without floating planes, or a document never set up, must not crash.
    Document d = Blank(4, 4);
    d.HasSelection = true;
    Lcg rng;
    StampLine(d, Ctx(3, 1), 0, 0, 3, 3, false);
    Spray(d, Ctx(3, 1), 1, 1, 3, 1, rng);
    FloodFillAt(d, Ctx(1, 1), 1, 1, 1);
    EXPECT_EQ(d.Current().Mask, Plane(16, 0));
    Document empty;
    StampLine(empty, Ctx(1, 1), 0, 0, 1, 1, false);
    FloodFillAt(empty, Ctx(1, 1), 0, 0, 1);
    EXPECT_EQ(empty.LayerCount(), 0);
}

}  // namespace
}  // namespace pq
