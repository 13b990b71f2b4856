#include <gtest/gtest.h>

#include "core/document/document.h"
#include "core/document/history.h"
#include "core/document/selection.h"
#include "support/test_paths.h"

namespace pq {
namespace {

Document Blank(int w = 16, int h = 16) {
    Document d;
    InitBlankDocument(d, w, h, 16, 20);
    return d;
}

void Paint(Document& d, int layer, int x, int y, uint8_t index) {
    Layer& l = d.LayerAt(layer);
    l.Indices[std::size_t(x + y * d.ImageWidth)] = index;
    l.Mask[std::size_t(x + y * d.ImageWidth)] = 1;
}

void PaintRect(Document& d, int layer, Rect r, uint8_t index) {
    for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x) Paint(d, layer, x, y, index);
}

bool Painted(const Document& d, int layer, int x, int y) {
    return d.LayerAt(layer).Mask[std::size_t(x + y * d.ImageWidth)] != 0;
}
int IndexAt(const Document& d, int layer, int x, int y) {
    return d.LayerAt(layer).Indices[std::size_t(x + y * d.ImageWidth)];
}

// The painted pixels of a layer as a row-major picture of '.' (transparent) and index digits,
// one string per row, for the rows [top, bottom).
std::vector<std::string> Rows(const Document& d, int layer, int top, int bottom, int right) {
    std::vector<std::string> rows;
    for (int y = top; y < bottom; ++y) {
        std::string s;
        for (int x = 0; x < right; ++x)
            s += Painted(d, layer, x, y) ? char('0' + IndexAt(d, layer, x, y) % 10) : '.';
        rows.push_back(s);
    }
    return rows;
}

TEST(SelectionEngine, MovedAreaLeavesHoleAndUndoRestoresTheFloatingOffset) {
    test::TempDir dir;
    HistoryContext ctx{dir.Path(), 1, true};
    Document d = Blank();
    PaintRect(d, 0, {2, 2, 6, 6}, 3);
    Paint(d, 0, 2, 2, 7);  // a marker in the area's first column
    ASSERT_TRUE(RecordStep(d, ctx, " ", false).Ok);

    EditResult sel = EndSelectDrag(d, 2, 2, 6, 6);
    EXPECT_EQ(sel.Step, "選択ツール");
    ASSERT_TRUE(d.HasSelection);
    ASSERT_TRUE(RecordStep(d, ctx, sel.Step, false).Ok);

    BeginMoveDrag(d);
    EXPECT_TRUE(MoveFloating(d, 1, 0));
    EXPECT_TRUE(MoveFloating(d, 1, 0));
    EditResult mv = EndMoveDrag(d);
    EXPECT_EQ(mv.Step, "移動ツール");
    ASSERT_TRUE(RecordStep(d, ctx, mv.Step, false).Ok);
    EXPECT_EQ(d.Selection(), (Rect{4, 2, 8, 6}));
    EXPECT_EQ(d.FloatDX, 2);

    EditResult des = Deselect(d);
    EXPECT_EQ(des.Step, "選択範囲クリア");
    EXPECT_FALSE(d.HasSelection);
    ASSERT_TRUE(RecordStep(d, ctx, des.Step, false).Ok);
    EXPECT_EQ(Rows(d, 0, 1, 7, 9), (std::vector<std::string>{
                                        ".........",
                                        "....7333.",
                                        "....3333.",
                                        "....3333.",
                                        "....3333.",
                                        ".........",
                                    }));

    ASSERT_TRUE(RestoreStep(d, ctx, false).Ok);
    EXPECT_TRUE(d.HasSelection);
    EXPECT_EQ(d.FloatDX, 2);
    EXPECT_EQ(d.FloatDY, 0);
    EXPECT_EQ(d.Selection(), (Rect{4, 2, 8, 6}));
    // The whole lifted area is a hole in the layer while the content floats.
    for (int x = 2; x < 6; ++x) EXPECT_FALSE(Painted(d, 0, x, 3)) << x;
    // Dropping again commits the same picture.
    Deselect(d);
    EXPECT_EQ(Rows(d, 0, 2, 3, 9), (std::vector<std::string>{"....7333."}));
}

TEST(SelectionEngine, DropClipsToTheCanvasAndLosesTheOffCanvasPart) {
    Document d = Blank();
    PaintRect(d, 0, {10, 0, 14, 4}, 5);
    EndSelectDrag(d, 10, 0, 14, 4);
    BeginMoveDrag(d);
    MoveFloating(d, 4, 0);
    EXPECT_EQ(d.Selection(), (Rect{14, 0, 18, 4}));  // the rectangle may leave the canvas
    Deselect(d);
    EXPECT_EQ(d.Selection(), (Rect{14, 0, 16, 4}));
    for (int y = 0; y < 4; ++y) {
        for (int x = 10; x < 14; ++x) EXPECT_FALSE(Painted(d, 0, x, y)) << x << "," << y;
        EXPECT_TRUE(Painted(d, 0, 14, y));
        EXPECT_TRUE(Painted(d, 0, 15, y));
        // Nothing wraps round into the next row.
        EXPECT_FALSE(Painted(d, 0, 0, y + 1));
        EXPECT_FALSE(Painted(d, 0, 1, y + 1));
    }
    // Moving it back later finds nothing beyond the edge: the off-canvas half is gone.
    SelectAll(d);
    MoveFloating(d, -4, 0);
    Deselect(d);
    EXPECT_EQ(Rows(d, 0, 0, 1, 16), (std::vector<std::string>{"..........55...."}));
}

TEST(SelectionEngine, TransparentFloatingPixelsNeverErase) {
    Document d = Blank();
    Paint(d, 0, 0, 0, 5);            // area A: one painted pixel
    PaintRect(d, 0, {8, 0, 12, 4}, 3);  // area B: fully painted
    EndSelectDrag(d, 0, 0, 4, 4);
    MoveFloating(d, 8, 0);
    Deselect(d);
    EXPECT_EQ(Rows(d, 0, 0, 4, 12), (std::vector<std::string>{
                                         "........5333",
                                         "........3333",
                                         "........3333",
                                         "........3333",
                                     }));
}

TEST(SelectTool, BandsOfZeroSizeOrOffTheCanvasLeaveNoSelectionButRecord) {
    Document d = Blank();
    PaintRect(d, 0, {0, 0, 16, 16}, 1);
    EditResult r = EndSelectDrag(d, 5, 5, 5, 9);
    EXPECT_FALSE(d.HasSelection);
    EXPECT_TRUE(r.Record);
    EXPECT_EQ(r.Step, "選択ツール");
    r = EndSelectDrag(d, 18, 2, 20, 6);  // wholly right of the canvas
    EXPECT_FALSE(d.HasSelection);
    EXPECT_TRUE(r.Record);
    // Nothing was lifted by either.
    EXPECT_EQ(d.Current().Mask, Plane(256, 1));

    // A drag from (5, 5) to (2, 2) selects the same cells as one from (2, 2) to (5, 5).
    EndSelectDrag(d, 5, 5, 2, 2);
    ASSERT_TRUE(d.HasSelection);
    EXPECT_EQ(d.Selection(), (Rect{2, 2, 5, 5}));
    EXPECT_FALSE(Painted(d, 0, 2, 2));
    EXPECT_TRUE(Painted(d, 0, 5, 5));
    // Pressing again commits the content and ends the selection.
    BeginSelectDrag(d);
    EXPECT_FALSE(d.HasSelection);
    EXPECT_EQ(d.Current().Mask, Plane(256, 1));
}

TEST(MoveTool, WithoutSelectionLiftsTheWholeLayer) {
    Document d = Blank();
    Paint(d, 0, 0, 0, 4);
    BeginMoveDrag(d);
    ASSERT_TRUE(d.HasSelection);
    EXPECT_EQ(d.Selection(), (Rect{0, 0, 16, 16}));
    EXPECT_EQ(d.Current().Mask, Plane(256, 0));
    EXPECT_EQ(d.FloatMask[0], 1);
    EXPECT_FALSE(MoveFloating(d, 0, 0));
    MoveFloating(d, 3, 1);
    EXPECT_EQ(d.Selection(), (Rect{3, 1, 19, 17}));
    EndMoveDrag(d);
    EXPECT_TRUE(d.HasSelection);  // keeps floating until something drops it
    Deselect(d);
    EXPECT_TRUE(Painted(d, 0, 3, 1));
    EXPECT_EQ(IndexAt(d, 0, 3, 1), 4);
}

TEST(SelectionSize, ShrinkOfThreeByThreeGivesOneByOneAndCommitsTheRing) {
    Document d = Blank();
    PaintRect(d, 0, {2, 2, 5, 5}, 6);
    EndSelectDrag(d, 2, 2, 5, 5);
    EditResult r = ShrinkSelection(d);
    EXPECT_EQ(r.Step, "選択範囲縮小");
    ASSERT_TRUE(d.HasSelection);
    EXPECT_EQ(d.Selection(), (Rect{3, 3, 4, 4}));
    EXPECT_EQ(Rows(d, 0, 2, 5, 6), (std::vector<std::string>{"..666.", "..6.6.", "..666."}));
    EXPECT_EQ(d.FloatMask[3 + 3 * 16], 1);
    // 1x1 can shrink no further.
    EXPECT_FALSE(ShrinkSelection(d).Record);
    EXPECT_EQ(d.Selection(), (Rect{3, 3, 4, 4}));
}

TEST(SelectionSize, ShrinkRefusesNarrowSelections) {
    Document d = Blank();
    PaintRect(d, 0, {0, 0, 16, 16}, 2);
    EndSelectDrag(d, 1, 1, 3, 6);  // 2 x 5
    const Document before = d;
    EditResult r = ShrinkSelection(d);
    EXPECT_FALSE(r.Record);
    EXPECT_EQ(d.Selection(), before.Selection());
    EXPECT_EQ(d.Current().Mask, before.Current().Mask);

    // A 4-wide selection moved so that only 2 columns remain on the canvas: shrinking what
    // gets committed would leave an empty selection, so it is refused too.
    Deselect(d);
    EndSelectDrag(d, 8, 4, 12, 10);
    MoveFloating(d, 6, 0);
    EXPECT_FALSE(ShrinkSelection(d).Record);
    EXPECT_TRUE(d.HasSelection);

    Deselect(d);
    EXPECT_FALSE(ShrinkSelection(d).Record);  // no selection
    EXPECT_FALSE(GrowSelection(d).Record);
}

TEST(SelectionSize, GrowStopsAtTheBorderAndRestartsTheOffset) {
    Document d = Blank();
    PaintRect(d, 0, {0, 0, 3, 3}, 9);
    EndSelectDrag(d, 0, 0, 3, 3);
    EditResult r = GrowSelection(d);
    EXPECT_EQ(r.Step, "選択範囲拡大");
    EXPECT_EQ(d.Selection(), (Rect{0, 0, 4, 4}));

    MoveFloating(d, 2, 2);
    GrowSelection(d);
    // Committed at the moved place, then lifted again with offset 0.
    EXPECT_EQ(d.Selection(), (Rect{1, 1, 7, 7}));
    EXPECT_EQ(d.FloatDX, 0);
    EXPECT_EQ(d.FloatDY, 0);
    EXPECT_EQ(d.FloatMask[2 + 2 * 16], 1);

    SelectAll(d);
    GrowSelection(d);
    EXPECT_EQ(d.Selection(), (Rect{0, 0, 16, 16}));
}

TEST(SelectionSize, GrowOfARectangleMovedOffTheCanvasEndsTheSelection) {
    Document d = Blank();
    PaintRect(d, 0, {0, 0, 2, 2}, 9);
    EndSelectDrag(d, 0, 0, 2, 2);
    MoveFloating(d, 20, 0);
    GrowSelection(d);
    EXPECT_FALSE(d.HasSelection);
    EXPECT_EQ(d.Current().Mask, Plane(256, 0));
}

TEST(ClearCommand, WithoutSelectionEmptiesTheCurrentLayerOnly) {
    Document d = Blank();
    d.AppendLayer();
    PaintRect(d, 0, {0, 0, 16, 16}, 1);
    PaintRect(d, 1, {0, 0, 16, 16}, 2);
    EditResult r = ClearContent(d);
    EXPECT_EQ(r.Step, "クリア");
    EXPECT_TRUE(r.Redraw);
    EXPECT_EQ(d.LayerAt(1).Mask, Plane(256, 0));
    EXPECT_EQ(d.LayerAt(0).Mask, Plane(256, 1));
}

TEST(ClearCommand, WithSelectionMakesTheAreaTransparentAndEndsIt) {
    Document d = Blank();
    PaintRect(d, 0, {0, 0, 16, 16}, 1);
    EndSelectDrag(d, 2, 2, 4, 4);
    ClearContent(d);
    EXPECT_FALSE(d.HasSelection);
    EXPECT_EQ(Rows(d, 0, 1, 5, 6), (std::vector<std::string>{"111111", "11..11", "11..11", "111111"}));
    // Nothing comes back with a later deselect.
    Deselect(d);
    EXPECT_FALSE(Painted(d, 0, 2, 2));
}

TEST(LayerFromSelection, NewTopLayerHoldsTheShownPixelsAndTheSourceKeepsItsHole) {
    Document d = Blank();
    PaintRect(d, 0, {0, 0, 16, 16}, 4);
    Paint(d, 0, 1, 1, 7);
    EndSelectDrag(d, 1, 1, 3, 3);
    MoveFloating(d, 1, 1);
    EditResult r = LayerFromSelection(d);
    EXPECT_EQ(r.Step, "選択範囲からレイヤを作成");
    EXPECT_TRUE(r.RebuildLayers);
    EXPECT_FALSE(d.HasSelection);
    ASSERT_EQ(d.LayerCount(), 2);
    EXPECT_EQ(d.CurrentLayer(), 1);
    EXPECT_EQ(d.Current().Name, "選択範囲からのレイヤ");
    EXPECT_EQ(Rows(d, 1, 0, 5, 5), (std::vector<std::string>{".....", ".....", "..74.", "..44.", "....."}));
    EXPECT_EQ(Rows(d, 0, 0, 4, 4), (std::vector<std::string>{"4444", "4..4", "4..4", "4444"}));

    // Without a selection it does nothing.
    EXPECT_FALSE(LayerFromSelection(d).Record);
    EXPECT_EQ(d.LayerCount(), 2);
}

TEST(LayerFromSelection, TakesOnlyTheOnCanvasPartOfAMovedSelection) {
    Document d = Blank(4, 1);
    PaintRect(d, 0, {0, 0, 4, 1}, 3);
    Paint(d, 0, 1, 0, 5);
    EndSelectDrag(d, 0, 0, 2, 1);  // "35" lifted
    MoveFloating(d, 3, 0);         // "3" shows at column 3, "5" lies off the canvas
    LayerFromSelection(d);
    EXPECT_EQ(Rows(d, 1, 0, 1, 4), (std::vector<std::string>{"...3"}));
    EXPECT_EQ(Rows(d, 0, 0, 1, 4), (std::vector<std::string>{"..33"}));
}

}  // namespace
}  // namespace pq
