// The neighbourhood filters on truecolour layers, checked against a straightforward
// double-precision reference on premultiplied values written here.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "core/document/history.h"
#include "core/document/history_snapshot.h"
#include "core/document/selection.h"
#include "core/ops/filters.h"
#include "core/ops/pixel_effects.h"
#include "support/soft_alpha_layers.h"
#include "support/test_paths.h"

namespace pq {
namespace {

bool Averages(FilterId id) {
    return id == FilterId::Blur || id == FilterId::StrongBlur || id == FilterId::MotionBlurHorizontal ||
           id == FilterId::MotionBlurVertical;
}

uint8_t Byte(double v) { return v <= 0 ? 0 : v >= 255 ? 255 : uint8_t(std::floor(v + 1e-6)); }

// Premultiply, weigh the cells that exist (the others leave the divisor), then divide back:
// the blurs by their averaged alpha, the colour filters by the pixel's own alpha, which they keep.
RgbaPlane Reference(const FilterSpec& f, const RgbaPlane& in, int w, int h) {
    RgbaPlane out = in;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            double pre[3] = {0, 0, 0}, alpha = 0, d = f.Divisor;
            for (int dy = -f.RadiusY; dy <= f.RadiusY; ++dy)
                for (int dx = -f.RadiusX; dx <= f.RadiusX; ++dx) {
                    const int k = f.Weight(dx, dy);
                    if (x + dx < 0 || y + dy < 0 || x + dx >= w || y + dy >= h) {
                        d -= k;
                        continue;
                    }
                    const Rgba8 p = in[std::size_t(x + dx + (y + dy) * w)];
                    const uint8_t c[3] = {p.r, p.g, p.b};
                    for (int i = 0; i < 3; ++i) pre[i] += k * (c[i] * p.a / 255.0);
                    alpha += k * double(p.a);
                }
            if (d == 0) d = 1;
            Rgba8& o = out[std::size_t(x + y * w)];
            double straight[3];
            if (Averages(f.Id)) {
                const double a = alpha / d;
                if (Byte(a) == 0) {
                    o = Rgba8{};
                    continue;
                }
                for (int i = 0; i < 3; ++i) straight[i] = pre[i] / d * 255.0 / a;
                o.a = Byte(a);
            } else {
                if (o.a == 0) continue;
                for (int i = 0; i < 3; ++i) straight[i] = (f.Bias * o.a / 255.0 + pre[i] / d) * 255.0 / o.a;
            }
            o.r = Byte(straight[0]);
            o.g = Byte(straight[1]);
            o.b = Byte(straight[2]);
        }
    return out;
}

TEST(TrueColorFilters, EveryFilterMatchesThePremultipliedReferenceAndTouchesOnlyTheCurrentLayer) {
    for (auto [w, h] : {std::pair{7, 5}, std::pair{9, 4}}) {
        for (const FilterSpec& f : kFilters) {
            Document doc = test::SoftLayers(w, h);
            const Document before = doc;
            const EditResult r = ApplyFilter(doc, f.Id);
            ASSERT_TRUE(r.Record) << f.Key;
            EXPECT_EQ(r.Step, f.UndoName);
            EXPECT_TRUE(r.Redraw);
            const RgbaPlane want = Reference(f, before.LayerAt(1).Pixels, w, h);
            for (int p = 0; p < w * h; ++p)
                ASSERT_EQ(doc.LayerAt(1).Pixels[std::size_t(p)], want[std::size_t(p)])
                    << f.Key << " " << w << "x" << h << " at " << p % w << "," << p / w;
            EXPECT_EQ(doc.LayerAt(0), before.LayerAt(0)) << f.Key;   // hidden
            EXPECT_EQ(doc.LayerAt(2), before.LayerAt(2)) << f.Key;
            EXPECT_EQ(doc.Palette, before.Palette);
            EXPECT_TRUE(doc.TrueColor);
            EXPECT_EQ(doc.CurrentLayer(), 1);
        }
    }
}

// A transparent red pixel inside opaque green (and one in a corner) gives no red to anything:
// not to the blurs' averages, not to the sharpening sums. Filters with an offset add it to red
// and blue alike, so red stays equal to blue everywhere.
TEST(TrueColorFilters, NoColourBleedsFromTransparentPixels) {
    for (const FilterSpec& f : kFilters) {
        Document doc;
        InitBlankTrueColorDocument(doc, 5, 3, 10);
        RgbaPlane& px = doc.Current().Pixels;
        std::fill(px.begin(), px.end(), Rgba8{0, 200, 0, 255});
        px[2 + 5] = px[4 + 10] = Rgba8{255, 0, 0, 0};
        ApplyFilter(doc, f.Id);
        for (int p = 0; p < 15; ++p) {
            const Rgba8 c = px[std::size_t(p)];
            if (c.a == 0) continue;
            EXPECT_EQ(c.r, c.b) << f.Key << " at " << p;
            if (f.Bias == 0) {
                EXPECT_EQ(c.r, 0) << f.Key << " at " << p;
            }
            // Averaging green with nothing keeps it green, the hole only thinning the alpha.
            if (Averages(f.Id)) {
                EXPECT_EQ(c.g, 200) << f.Key << " at " << p;
            }
        }
        if (Averages(f.Id)) {
            EXPECT_GT(px[2 + 5].a, 0) << f.Key;   // the hole fills in, green
            EXPECT_LT(px[2 + 5].a, 255) << f.Key;
        } else {
            EXPECT_EQ(px[2 + 5], (Rgba8{255, 0, 0, 0})) << f.Key;   // a colour filter leaves it be
        }
    }
}

// Where every pixel is opaque a truecolour layer comes out with exactly the colours the picture
// engine gives the same picture: one rule of borders, divisors and truncation for both.
TEST(TrueColorFilters, AnOpaqueLayerGetsThePictureEnginesColours) {
    const int w = 9, h = 4;
    Raster picture(w, h);
    RgbaPlane px(std::size_t(w * h));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            Rgba8 c = test::SoftPixel(x, y, 4);
            c.a = 255;
            px[std::size_t(x + y * w)] = c;
            picture.SetPixel(x, y, Rgb{c.r, c.g, c.b});
        }
    for (const FilterSpec& f : kFilters) {
        Raster filtered = picture;
        ApplyKernel(f, filtered);
        RgbaPlane layer = px;
        ApplyKernelRgba(f, layer, w, h);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const Rgb c = filtered.Pixel(x, y);
                ASSERT_EQ(layer[std::size_t(x + y * w)], (Rgba8{c.r, c.g, c.b, 255})) << f.Key << " " << x << "," << y;
            }
    }
}

// A floating selection is put down before the layer is filtered; the history brings back every
// byte of each state, filters and effects alike.
TEST(TrueColorFilters, FloatingPixelsArePutDownFirstAndUndoRedoRestoreEveryByte) {
    test::TempDir dir;
    const HistoryContext ctx{dir.Path(), 3, true};
    Document doc = test::SoftLayers(7, 5);
    SetSelection(doc, 1, 1, 5, 4);
    doc.HasSelection = true;
    LiftSelection(doc);
    ASSERT_TRUE(MoveFloating(doc, 1, 0));
    ASSERT_TRUE(RecordStep(doc, ctx, " ", false).Ok);
    Document putDown = doc;
    DropSelection(putDown);
    putDown.HasSelection = false;
    const RgbaPlane expected = Reference(SpecOf(FilterId::StrongBlur), putDown.Current().Pixels, 7, 5);

    std::vector<std::vector<uint8_t>> states{EncodeSnapshot(doc, "")};
    ASSERT_TRUE(Deselect(doc).Record);
    ASSERT_TRUE(RecordStep(doc, ctx, "選択範囲クリア", false).Ok);
    states.push_back(EncodeSnapshot(doc, ""));
    ASSERT_TRUE(ApplyFilter(doc, FilterId::StrongBlur).Record);
    EXPECT_EQ(doc.Current().Pixels, expected);
    ASSERT_TRUE(RecordStep(doc, ctx, "ぼかし(強)", false).Ok);
    states.push_back(EncodeSnapshot(doc, ""));
    doc.DrawRgba = Rgba8{10, 20, 30, 140};
    ASSERT_TRUE(Shadow(doc, 1, 1).Record);
    ASSERT_TRUE(RecordStep(doc, ctx, "影", false).Ok);
    states.push_back(EncodeSnapshot(doc, ""));

    for (int k = 2; k >= 0; --k) {
        ASSERT_TRUE(RestoreStep(doc, ctx, false).Ok);
        EXPECT_EQ(EncodeSnapshot(doc, ""), states[std::size_t(k)]) << "undo to " << k;
    }
    for (int k = 1; k <= 3; ++k) {
        ASSERT_TRUE(RestoreStep(doc, ctx, true).Ok);
        EXPECT_EQ(EncodeSnapshot(doc, ""), states[std::size_t(k)]) << "redo to " << k;
    }
}

}  // namespace
}  // namespace pq
