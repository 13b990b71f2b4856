#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <ostream>
#include <string>
#include <vector>

#include "core/document/document.h"
#include "core/document/selection.h"
#include "core/ops/compositing.h"
#include "core/ops/filters.h"
#include "core/ops/palette_adjust.h"
#include "core/ops/pixel_effects.h"
#include "core/ops/transforms.h"

namespace pq {
namespace {

// A 256-colour document whose current layer holds a position-dependent pattern of indices
// with every fifth pixel unpainted, so both planes show where each pixel went.
Document Patterned(int w, int h) {
    Document d;
    InitBlankDocument(d, w, h, 256, 20);
    Layer& l = d.Current();
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const std::size_t p = std::size_t(x + y * w);
            l.Indices[p] = uint8_t(x * 7 + y * 13);
            l.Mask[p] = (x + 2 * y) % 5 == 0 ? 0 : 1;
        }
    return d;
}

// One pixel as (index, painted); unpainted pixels compare equal whatever their index.
struct Px {
    int index;
    bool painted;
    friend bool operator==(const Px& a, const Px& b) { return a.painted == b.painted && (!a.painted || a.index == b.index); }
    friend void PrintTo(const Px& p, std::ostream* os) { *os << (p.painted ? std::to_string(p.index) : "unpainted"); }
};
Px At(const Layer& l, int w, int x, int y) {
    const std::size_t p = std::size_t(x + y * w);
    return Px{l.Indices[p], l.Mask[p] != 0};
}

// Rows of a layer with '.' for unpainted pixels and 'a' + index for painted ones.
std::vector<std::string> Letters(const Document& d, Rect r) {
    std::vector<std::string> rows;
    for (int y = r.top; y < r.bottom; ++y) {
        std::string s;
        for (int x = r.left; x < r.right; ++x) {
            const Px p = At(d.Current(), d.ImageWidth, x, y);
            s += p.painted ? char('a' + p.index) : '.';
        }
        rows.push_back(s);
    }
    return rows;
}

// Paints a w x h block at (left, top) with the letters a, b, c, ... row by row.
void PaintLetters(Document& d, int left, int top, int w, int h) {
    Layer& l = d.Current();
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const std::size_t p = std::size_t(left + x + (top + y) * d.ImageWidth);
            l.Indices[p] = uint8_t(x + y * w);
            l.Mask[p] = 1;
        }
}

TEST(Transforms, RepeatedTurnsAndFlipsGiveTheSquareLayerBack) {
    struct Case {
        const char* name;
        int times;
        EditResult (*op)(Document&);
    };
    const Case cases[] = {
        {"左右反転", 2, FlipHorizontal},
        {"上下反転", 2, FlipVertical},
        {"90度回転", 4, [](Document& d) { return QuarterTurn(d, true); }},
        {"270度回転", 4, [](Document& d) { return QuarterTurn(d, false); }},
        {"180度回転", 2, HalfTurn},
    };
    const Document original = Patterned(32, 32);
    for (const Case& c : cases) {
        Document d = original;
        for (int i = 0; i < c.times; ++i) {
            const EditResult r = c.op(d);
            EXPECT_EQ(r.Step, c.name);
            EXPECT_TRUE(r.Record && r.Redraw);
            if (i == 0) {
                EXPECT_NE(d.Current(), original.Current()) << c.name;
            }
        }
        EXPECT_EQ(d.Current(), original.Current()) << c.name;
    }
    // A half turn is the two flips in one step.
    Document flipped = original, half = original;
    FlipHorizontal(flipped);
    FlipVertical(flipped);
    HalfTurn(half);
    EXPECT_EQ(half.Current(), flipped.Current());
}

TEST(Transforms, QuarterTurnsMoveEveryPixelOfASquareLayer) {
    const int n = 32;
    const Document original = Patterned(n, n);
    Document cw = original, ccw = original;
    QuarterTurn(cw, true);
    QuarterTurn(ccw, false);
    // Clockwise on screen: (0, 0) to (31, 0) and (31, 0) to (31, 31); counter-clockwise (0, 0) to (0, 31).
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) {
            const Px old = At(original.Current(), n, x, y);
            ASSERT_EQ(At(cw.Current(), n, n - 1 - y, x), old) << x << "," << y;
            ASSERT_EQ(At(ccw.Current(), n, y, n - 1 - x), old) << x << "," << y;
        }
}

TEST(Transforms, QuarterTurnOfAWideCanvasTurnsOnlyTheLeftSquare) {
    Document d;
    InitBlankDocument(d, 6, 4, 256, 20);
    PaintLetters(d, 0, 0, 6, 4);  // abcdef / ghijkl / mnopqr / stuvwx
    QuarterTurn(d, true);
    // Columns 4 and 5 are transposed off the planes and lost; the flip spans the full width.
    EXPECT_EQ(Letters(d, {0, 0, 6, 4}), (std::vector<std::string>{"..smga", "..tnhb", "..uoic", "..vpjd"}));
}

TEST(Transforms, OnASelectionOnlyTheWorkingRectangleChanges) {
    // A 4 x 2 selection at (2, 3): a quarter turn keeps its top-left corner and exchanges its
    // sides; the pixels around it stay.
    Document d;
    InitBlankDocument(d, 8, 8, 256, 20);
    PaintLetters(d, 2, 3, 4, 2);  // abcd / efgh
    Layer& l = d.Current();
    l.Indices[1 + 3 * 8] = 25, l.Mask[1 + 3 * 8] = 1;  // 'z' left of the selection
    l.Indices[6 + 4 * 8] = 24, l.Mask[6 + 4 * 8] = 1;  // 'y' right of it
    EndSelectDrag(d, 2, 3, 6, 5);
    const EditResult r = QuarterTurn(d, true);
    EXPECT_EQ(r.Step, "90度回転");
    EXPECT_TRUE(d.HasSelection);
    EXPECT_EQ(d.Selection(), (Rect{2, 3, 4, 7}));
    Deselect(d);
    EXPECT_EQ(Letters(d, {0, 2, 8, 8}),
              (std::vector<std::string>{"........", ".zea....", "..fb..y.", "..gc....", "..hd....", "........"}));

    // A selection moved by the move tool: the flip works in the floating planes' own coordinates.
    Document m;
    InitBlankDocument(m, 8, 8, 256, 20);
    PaintLetters(m, 1, 1, 3, 2);  // abc / def
    EndSelectDrag(m, 1, 1, 4, 3);
    MoveFloating(m, 2, 3);
    FlipHorizontal(m);
    Deselect(m);
    EXPECT_EQ(Letters(m, {0, 0, 8, 6}),
              (std::vector<std::string>{"........", "........", "........", "........", "...cba..", "...fed.."}));

    // A reversed rectangle is normalised (and stored back) before a flip.
    Document v;
    InitBlankDocument(v, 8, 8, 256, 20);
    PaintLetters(v, 0, 0, 2, 1);
    EndSelectDrag(v, 0, 0, 2, 1);
    std::swap(v.SelLeft, v.SelRight);
    FlipHorizontal(v);
    EXPECT_EQ(v.Selection(), (Rect{0, 0, 2, 1}));
    Deselect(v);
    EXPECT_EQ(Letters(v, {0, 0, 3, 1}), (std::vector<std::string>{"ba."}));
}

TEST(Transforms, CounterClockwiseTurnOfAWideSelectionStandsItUp) {
    // A 5 x 3 selection at (2, 1) on a 9 x 7 canvas becomes 3 x 5 at the same corner, its top
    // right corner moving to the top left; the cells it leaves end unpainted.
    Document d;
    InitBlankDocument(d, 9, 7, 256, 20);
    PaintLetters(d, 2, 1, 5, 3);  // abcde / fghij / klmno
    EndSelectDrag(d, 2, 1, 7, 4);
    QuarterTurn(d, false);
    EXPECT_EQ(d.Selection(), (Rect{2, 1, 5, 6}));
    Deselect(d);
    EXPECT_EQ(Letters(d, {0, 0, 9, 7}), (std::vector<std::string>{".........", "..ejo....", "..din....", "..chm....",
                                                                  "..bgl....", "..afk....", "........."}));
}

TEST(Transforms, RotationByAnAngleSamplesTheRectangleAroundItsCentre) {
    // 0 degrees changes nothing and still records "回転".
    const Document original = Patterned(32, 32);
    Document zero = original;
    EXPECT_EQ(RotateByAngle(zero, 0).Step, "回転");
    EXPECT_EQ(zero.Current(), original.Current());

    // 90 degrees turns counter-clockwise about (16, 16): target (x, y) takes source (32 - y, x).
    // Row 0 would take column 32, which does not exist; source column 0 is lost. Where a source
    // coordinate comes out a hair below a whole number (cos 90 degrees is not exactly 0 in
    // doubles), truncation takes the pixel before it: that happens only in the first two
    // columns and in row 1 here.
    Document ninety = original, quarter = original;
    RotateByAngle(ninety, 90);
    QuarterTurn(quarter, false);
    EXPECT_NE(ninety.Current(), quarter.Current());
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            const Px got = At(ninety.Current(), 32, x, y);
            if (y == 0) {
                ASSERT_FALSE(got.painted) << x;
            } else if (x >= 2 && y >= 2) {
                ASSERT_EQ(got, At(original.Current(), 32, 32 - y, x)) << x << "," << y;
            }
        }

    // 45 degrees on a fully painted 16 x 16 layer of distinct indices: the canvas corners turn
    // in unpainted and the old corners' content is gone.
    Document d;
    InitBlankDocument(d, 16, 16, 256, 20);
    for (std::size_t p = 0; p < 256; ++p) d.Current().Indices[p] = uint8_t(p), d.Current().Mask[p] = 1;
    RotateByAngle(d, 45);
    for (const int p : {0, 15, 240, 255}) {
        EXPECT_EQ(d.Current().Mask[std::size_t(p)], 0) << p;
        for (std::size_t q = 0; q < 256; ++q)
            if (d.Current().Mask[q] != 0) {
                ASSERT_NE(d.Current().Indices[q], p);
            }
    }
}

TEST(Transforms, RotationByAnAngleTruncatesEachSourceCoordinateTowardZero) {
    // Target (x, y) takes the source at centre + (dx cos - dy sin, dx sin + dy cos), each
    // coordinate truncated toward zero (so -0.5 reads column 0); outside the layer: unpainted.
    const Document original = Patterned(9, 7);
    const int cx = 4, cy = 3;
    for (const int angle : {30, 200, 315}) {
        Document d = original;
        RotateByAngle(d, angle);
        const double c = std::cos(angle * (std::numbers::pi / 180)), s = std::sin(angle * (std::numbers::pi / 180));
        for (int y = 0; y < 7; ++y)
            for (int x = 0; x < 9; ++x) {
                const int sx = int(std::trunc(cx + ((x - cx) * c - (y - cy) * s)));
                const int sy = int(std::trunc(cy + ((x - cx) * s + (y - cy) * c)));
                const bool inside = sx >= 0 && sx < 9 && sy >= 0 && sy < 7;
                const Px want = inside ? At(original.Current(), 9, sx, sy) : Px{0, false};
                ASSERT_EQ(At(d.Current(), 9, x, y), want) << angle << " degrees at " << x << "," << y;
            }
    }
}

TEST(Transforms, ResizeCropsExtendsOrSamplesEveryLayer) {
    Document small = Patterned(32, 32);
    small.AppendLayer();
    for (std::size_t p = 0; p < small.Current().Mask.size(); ++p) small.Current().Indices[p] = uint8_t(p / 3), small.Current().Mask[p] = 1;
    const Document big32 = small;
    for (const bool scale : {false, true}) {
        Document d = big32;
        const EditResult r = ResizeCanvas(d, 16, 16, scale);
        EXPECT_EQ(r.Step, "サイズ変更");
        EXPECT_TRUE(r.SizeChanged && r.RebuildLayers && r.Redraw);
        ASSERT_EQ(d.ImageWidth, 16);
        ASSERT_EQ(d.LayerAt(1).Mask.size(), 256u);
        for (int layer = 0; layer < 2; ++layer)
            for (int y = 0; y < 16; ++y)
                for (int x = 0; x < 16; ++x) {
                    const int f = scale ? 2 : 1;  // scaled: source rows and columns 0, 2, 4, ...
                    ASSERT_EQ(At(d.LayerAt(layer), 16, x, y), At(big32.LayerAt(layer), 32, f * x, f * y)) << scale;
                }
    }

    Document sixteen = Patterned(16, 16);
    for (const bool scale : {false, true}) {
        Document d = sixteen;
        ResizeCanvas(d, 48, 48, scale);
        for (int y = 0; y < 48; ++y)
            for (int x = 0; x < 48; ++x) {
                const Px got = At(d.Current(), 48, x, y);
                if (scale) ASSERT_EQ(got, At(sixteen.Current(), 16, x / 3, y / 3));  // each pixel three times
                else if (x >= 16 || y >= 16) ASSERT_FALSE(got.painted);
                else ASSERT_EQ(got, At(sixteen.Current(), 16, x, y));
            }
    }
}

TEST(Transforms, ScaledResizeOfAWideCanvasSamplesEachSideByItsOwnRatio) {
    const Document wide = Patterned(8, 4);
    Document d = wide;
    ResizeCanvas(d, 16, 16, true);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) ASSERT_EQ(At(d.Current(), 16, x, y), At(wide.Current(), 8, x / 2, y / 4)) << x << "," << y;
}

TEST(Transforms, ResizePutsTheSelectionDownAndResetsTheCanvasState) {
    Document d;
    InitBlankDocument(d, 16, 16, 16, 20);
    ASSERT_EQ(d.Zoom, 20);
    PaintLetters(d, 0, 0, 2, 1);
    EndSelectDrag(d, 0, 0, 2, 1);
    MoveFloating(d, 3, 0);
    d.CloneState = 2, d.CloneSourceX = 5, d.CloneLayer = 1;
    ResizeCanvas(d, 32, 32, false);
    EXPECT_FALSE(d.HasSelection);
    EXPECT_EQ(d.Selection(), (Rect{}));
    EXPECT_EQ(Letters(d, {0, 0, 6, 1}), (std::vector<std::string>{"...ab."}));
    EXPECT_EQ(d.CloneState, 0);
    EXPECT_EQ(d.CloneSourceX, 0);
    EXPECT_EQ(d.CloneLayer, 0);
    EXPECT_EQ(d.Zoom, 10);  // wider than 16 at more than 10x
    EXPECT_EQ(d.StrokeBitmap.Width(), 32);
    // The floating planes fit the new canvas, so the next selection works on it.
    EXPECT_EQ(d.FloatMask.size(), 32u * 32u);
    SelectAll(d);
    EXPECT_EQ(FlipHorizontal(d).Step, "左右反転");

    d.Zoom = 20;
    ResizeCanvas(d, 16, 16, true);
    EXPECT_EQ(d.Zoom, 20);  // 16 wide keeps any zoom

    // Sizes the canvas cannot take are refused without change.
    const Document before = d;
    for (const int side : {0, -16, kMaxCanvasSide + 1}) {
        EXPECT_FALSE(ResizeCanvas(d, side, 16, true).Record);
        EXPECT_EQ(d.ImageWidth, 16);
        EXPECT_EQ(d.Current(), before.Current());
    }
}

// ---- truecolour ------------------------------------------------------------------------------

// A truecolour document and a 256-colour twin of the same size (at most 256 pixels). Pixel p of
// the twin holds index p, all painted; pixel p of the truecolour one holds a colour made from p
// with soft alpha, every seventh one alpha 0 with colour bytes kept. After the same transform,
// each truecolour pixel must be the original pixel the twin's index names, or transparent
// Rgba8{} where the twin is unpainted: the geometry is the same in both modes, and whole RGBA
// pixels move.
struct Twins {
    Document tc, pal;
    RgbaPlane original;
};
Twins MakeTwins(int w, int h) {
    Twins t;
    InitBlankTrueColorDocument(t.tc, w, h, 20);
    InitBlankDocument(t.pal, w, h, 256, 20);
    for (int p = 0; p < w * h; ++p) {
        t.pal.Current().Indices[std::size_t(p)] = uint8_t(p);
        t.pal.Current().Mask[std::size_t(p)] = 1;
        t.tc.Current().Pixels[std::size_t(p)] =
            Rgba8{uint8_t(p), uint8_t(255 - p), uint8_t(p * 3), uint8_t(p % 7 == 0 ? 0 : 40 + p)};
    }
    t.original = t.tc.Current().Pixels;
    return t;
}
void ExpectSameGeometry(const Twins& t, const char* what) {
    const std::size_t n = t.tc.Current().Pixels.size();
    for (std::size_t p = 0; p < n; ++p) {
        const Rgba8 want = t.pal.Current().Mask[p] ? t.original[t.pal.Current().Indices[p]] : Rgba8{};
        ASSERT_EQ(t.tc.Current().Pixels[p], want) << what << " pixel " << p;
    }
}

TEST(TrueColorTransforms, FlipsAndTurnsMoveWholePixelsAsInPaletteDocuments) {
    const std::vector<std::pair<const char*, TransformId>> ops = {
        {"flip-h", TransformId::FlipHorizontal}, {"flip-v", TransformId::FlipVertical},
        {"rotate-90", TransformId::Rotate90},    {"rotate-180", TransformId::Rotate180},
        {"rotate-270", TransformId::Rotate270}};
    for (const auto& [w, h] : {std::pair{5, 3}, std::pair{4, 7}, std::pair{6, 6}})
        for (const auto& [name, id] : ops) {
            Twins t = MakeTwins(w, h);
            EXPECT_TRUE(ApplyTransform(t.tc, id).Record);
            ApplyTransform(t.pal, id);
            ExpectSameGeometry(t, name);
        }
    // An exact small case: a 3 x 2 picture flipped left to right.
    Twins t = MakeTwins(3, 2);
    FlipHorizontal(t.tc);
    EXPECT_EQ(t.tc.Current().Pixels, (RgbaPlane{t.original[2], t.original[1], t.original[0], t.original[5],
                                                t.original[4], t.original[3]}));
    // Four quarter turns and two flips of each kind give every byte back.
    Twins s = MakeTwins(6, 6);
    for (int i = 0; i < 4; ++i) QuarterTurn(s.tc, true);
    FlipVertical(s.tc);
    FlipVertical(s.tc);
    EXPECT_EQ(s.tc.Current().Pixels, s.original);
}

TEST(TrueColorTransforms, OnAMovedSelectionOnlyTheFloatingPixelsTurn) {
    for (const TransformId id : {TransformId::FlipHorizontal, TransformId::Rotate90, TransformId::Rotate270,
                                 TransformId::Rotate180, TransformId::RotateByAngle}) {
        Twins t = MakeTwins(7, 5);
        for (Document* d : {&t.tc, &t.pal}) {
            EndSelectDrag(*d, 1, 1, 6, 3);
            MoveFloating(*d, 1, 1);
            ApplyTransform(*d, id, TransformArgs{33});
        }
        EXPECT_EQ(t.tc.Selection(), t.pal.Selection());
        for (std::size_t p = 0; p < 35; ++p) {
            const Rgba8 want = t.pal.FloatMask[p] ? t.original[t.pal.FloatIndices[p]] : Rgba8{};
            ASSERT_EQ(t.tc.FloatPixels[p], want) << int(id) << " pixel " << p;
            const Rgba8 layerWant = t.pal.Current().Mask[p] ? t.original[t.pal.Current().Indices[p]] : Rgba8{};
            ASSERT_EQ(t.tc.Current().Pixels[p], layerWant) << int(id) << " layer pixel " << p;
        }
    }
}

TEST(TrueColorTransforms, ResizeCropsExtendsAndSamplesRgbaLayers) {
    for (const bool scale : {false, true}) {
        Twins t = MakeTwins(5, 3);
        t.tc.AppendLayer();
        t.tc.SetCurrentLayer(0);
        ResizeCanvas(t.tc, 8, 2, scale);
        ResizeCanvas(t.pal, 8, 2, scale);
        EXPECT_EQ(t.tc.ImageWidth, 8);
        EXPECT_EQ(t.tc.FloatPixels.size(), 16u);
        EXPECT_TRUE(t.tc.FloatIndices.empty());
        EXPECT_EQ(t.tc.LayerAt(1).Pixels, RgbaPlane(16, Rgba8{}));
        ExpectSameGeometry(t, scale ? "scaled" : "anchored");
    }
}

TEST(TrueColorTransforms, OnlyTheColourCountSwitchRefusesATruecolourDocument) {
    for (const OperationFamily f : {OperationFamily::Transform, OperationFamily::Filter, OperationFamily::PixelEffect,
                                    OperationFamily::PaletteAdjust, OperationFamily::Compositing})
        EXPECT_TRUE(WorksInTrueColor(f));

    Twins t = MakeTwins(5, 3);
    t.tc.AppendLayer();
    const Document before = t.tc;
    auto unchanged = [&](const EditResult& r, const char* what) {
        EXPECT_FALSE(r.Record) << what;
        EXPECT_EQ(t.tc.Layers(), before.Layers()) << what;
        EXPECT_EQ(t.tc.Palette, before.Palette) << what;
        EXPECT_EQ(t.tc.ColorCount, 256) << what;
        EXPECT_TRUE(t.tc.TrueColor) << what;
    };
    unchanged(ChangeColorCount(t.tc, 16), "16 colours");
    unchanged(ChangeColorCount(t.tc, 256), "256 colours");
}

}  // namespace
}  // namespace pq
