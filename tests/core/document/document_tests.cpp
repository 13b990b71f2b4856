#include <gtest/gtest.h>

#include "core/document/document.h"
#include "core/document/random.h"

namespace pq {
namespace {

Document Blank(int w = 16, int h = 16, int colors = 16, int zoom = 20) {
    Document d;
    InitBlankDocument(d, w, h, colors, zoom);
    return d;
}

std::vector<std::string> Names(const Document& d) {
    std::vector<std::string> n;
    for (const Layer& l : d.Layers()) n.push_back(l.Name);
    return n;
}

TEST(BlankDocument, ZoomRuleCapsPicturesLargerThan16AtTen) {
    Document fresh;
    EXPECT_EQ(InitBlankDocument(fresh, 48, 48, 16, 20), 10);
    Document d;
    EXPECT_EQ(InitBlankDocument(d, 16, 16, 16, 20), 20);
    EXPECT_EQ(InitBlankDocument(d, 32, 32, 16, 12), 10);
    EXPECT_EQ(InitBlankDocument(d, 32, 32, 16, 8), 8);
    // Only one side above 16: the selected zoom stays.
    EXPECT_EQ(InitBlankDocument(d, 32, 16, 16, 18), 18);
    EXPECT_EQ(d.Zoom, 18);
}

TEST(BlankDocument, HasOneClearLayerAndTheDefaultPalette) {
    Document d = Blank(32, 16, 256);
    ASSERT_EQ(d.LayerCount(), 1);
    EXPECT_EQ(d.CurrentLayer(), 0);
    EXPECT_EQ(d.Current().Name, "レイヤ1");
    EXPECT_EQ(d.Current().Visible, 1);
    EXPECT_EQ(d.Current().Indices, Plane(32 * 16, 0));
    EXPECT_EQ(d.Current().Mask, Plane(32 * 16, 0));
    EXPECT_EQ(d.ColorCount, 256);
    EXPECT_EQ(d.DrawColor, 0);
    EXPECT_EQ(d.AuxColor, 8);
    EXPECT_TRUE(d.Ready);
    EXPECT_FALSE(d.HasSelection);
    EXPECT_EQ(d.FloatIndices.size(), 32u * 16u);
    EXPECT_EQ(d.ColorOf(0), (Rgb{0, 0, 0}));
    EXPECT_EQ(d.ColorOf(8), (Rgb{255, 255, 255}));
    EXPECT_EQ(d.ColorOf(2), (Rgb{128, 0, 0}));
    EXPECT_EQ(d.ColorOf(14), (Rgb{0, 0, 255}));
    EXPECT_EQ(d.ColorOf(15), (Rgb{255, 0, 255}));
    for (int i = 16; i < 256; ++i) EXPECT_EQ(d.Palette[i], PaletteEntry{}) << i;
    for (int i = 0; i < 16; ++i) EXPECT_EQ(d.Palette[i].reserved, 0);
    EXPECT_EQ(d.StrokeBitmap.Pixel(31, 15), kWhite);
}

TEST(LayerArray, AppendNamesByCountSoNamesCanRepeat) {
    Document d = Blank();
    d.AppendLayer();
    EXPECT_EQ(Names(d), (std::vector<std::string>{"レイヤ1", "レイヤ2"}));
    EXPECT_EQ(d.CurrentLayer(), 1);
    d.RemoveLayer(0);
    d.AppendLayer();
    EXPECT_EQ(Names(d), (std::vector<std::string>{"レイヤ2", "レイヤ2"}));
    EXPECT_EQ(d.CurrentLayer(), 1);
}

TEST(LayerArray, RemoveKeepsCurrentInRange) {
    Document d = Blank();
    d.RemoveLayer(0);  // single layer: nothing
    EXPECT_EQ(d.LayerCount(), 1);
    d.AppendLayer();
    d.AppendLayer();
    d.RemoveLayer(2);  // top: the new top becomes current
    EXPECT_EQ(d.LayerCount(), 2);
    EXPECT_EQ(d.CurrentLayer(), 1);
    d.AppendLayer();
    d.LayerAt(1).Name = "B";
    d.RemoveLayer(0);  // the former layer 1 slides into 0 and is current
    EXPECT_EQ(d.CurrentLayer(), 0);
    EXPECT_EQ(d.Current().Name, "B");
    d.RemoveLayer(7);  // out of range: nothing
    EXPECT_EQ(d.LayerCount(), 2);
    // A middle layer: the one above slides into its index and becomes current (not the top,
    // not the one below).
    d.AppendLayer();
    d.AppendLayer();
    d.LayerAt(2).Name = "C";
    d.SetCurrentLayer(0);
    d.RemoveLayer(1);
    EXPECT_EQ(d.CurrentLayer(), 1);
    EXPECT_EQ(d.Current().Name, "C");
    EXPECT_EQ(d.LayerCount(), 3);
}

TEST(LayerArray, StepAndMoveAtTheEdgesChangeNothing) {
    Document d = Blank();
    d.AppendLayer();
    d.AppendLayer();
    d.LayerAt(0).Name = "A";
    d.LayerAt(1).Name = "B";
    d.LayerAt(2).Name = "C";
    d.SetCurrentLayer(2);
    d.StepLayer(false);
    EXPECT_EQ(Names(d), (std::vector<std::string>{"A", "B", "C"}));
    EXPECT_EQ(d.CurrentLayer(), 2);
    d.SetCurrentLayer(0);
    d.StepLayer(true);
    EXPECT_EQ(Names(d), (std::vector<std::string>{"A", "B", "C"}));
    d.MoveLayer(2, 2);
    EXPECT_EQ(Names(d), (std::vector<std::string>{"A", "B", "C"}));
    EXPECT_EQ(d.CurrentLayer(), 0);
}

TEST(LayerArray, MoveCarriesTheWholeRecordAndEndsCurrent) {
    Document d = Blank(2, 1);
    d.AppendLayer();
    d.AppendLayer();
    d.LayerAt(0).Name = "A";
    d.LayerAt(0).Mask[1] = 1;
    d.LayerAt(0).Visible = 0;
    d.LayerAt(1).Name = "B";
    d.LayerAt(2).Name = "C";
    d.MoveLayer(0, 2);
    EXPECT_EQ(Names(d), (std::vector<std::string>{"B", "C", "A"}));
    EXPECT_EQ(d.CurrentLayer(), 2);
    EXPECT_EQ(d.Current().Mask[1], 1);
    EXPECT_EQ(d.Current().Visible, 0);
    d.MoveLayer(2, 0);
    EXPECT_EQ(Names(d), (std::vector<std::string>{"A", "B", "C"}));
    EXPECT_EQ(d.CurrentLayer(), 0);
}

TEST(LayerArray, ReplaceRefusesAnEmptyArrayAndClampsCurrent) {
    Document d = Blank();
    EXPECT_THROW(d.ReplaceLayers({}, 0), std::invalid_argument);
    EXPECT_EQ(d.LayerCount(), 1);
    d.ReplaceLayers({MakeBlankLayer(16, 16, "x"), MakeBlankLayer(16, 16, "y")}, 9);
    EXPECT_EQ(d.CurrentLayer(), 1);
}

TEST(SharedRandom, FirstValuesMatchTheClassicGenerator) {
    Lcg g;
    EXPECT_EQ(g.Next(), 346);
    EXPECT_EQ(g.Next(), 130);
    EXPECT_EQ(g.Next(), 10982);
}

}  // namespace
}  // namespace pq
