#include <gtest/gtest.h>

#include "core/document/document.h"
#include "core/document/history.h"
#include "core/document/layer_commands.h"
#include "core/document/selection.h"
#include "core/io/sjis.h"
#include "support/test_paths.h"

namespace pq {
namespace {

// A 4 x 1 document with `n` layers "レイヤ1".."レイヤn"; layer i is painted with index i + 1 at
// column i and with index 9 + i at column 3 (so higher layers win there when merged).
Document Stack(int n) {
    Document d;
    InitBlankDocument(d, 4, 1, 16, 20);
    for (int i = 1; i < n; ++i) d.AppendLayer();
    for (int i = 0; i < n; ++i) {
        Layer& l = d.LayerAt(i);
        l.Indices[std::size_t(i)] = uint8_t(i + 1);
        l.Mask[std::size_t(i)] = 1;
        l.Indices[3] = uint8_t(9 + i);
        l.Mask[3] = 1;
    }
    d.SetCurrentLayer(0);
    return d;
}

// Layer pixels as a string: '.' transparent, otherwise the index as a hex digit.
std::string Pixels(const Layer& l) {
    std::string s;
    for (std::size_t p = 0; p < l.Mask.size(); ++p) s += l.Mask[p] ? "0123456789abcdef"[l.Indices[p] & 15] : '.';
    return s;
}

std::vector<std::string> Names(const Document& d) {
    std::vector<std::string> n;
    for (const Layer& l : d.Layers()) n.push_back(l.Name);
    return n;
}

// An ask callback that counts its calls and gives a fixed answer.
struct Asker {
    MergeAnswer answer;
    int calls = 0;
    std::function<MergeAnswer()> fn() {
        return [this] {
            ++calls;
            return answer;
        };
    }
};

TEST(MergeAll, MiddleHiddenYesMergesOnlyTheVisibleLayers) {
    Document d = Stack(3);
    d.LayerAt(1).Visible = 0;
    d.SetCurrentLayer(2);
    Asker ask{MergeAnswer::Yes};
    EXPECT_TRUE(MergeAllAsks(d));
    EditResult r = MergeAll(d, ask.fn());
    EXPECT_EQ(ask.calls, 1);
    EXPECT_EQ(r.Step, "レイヤ統合");
    EXPECT_TRUE(r.RebuildLayers);
    ASSERT_EQ(d.LayerCount(), 2);
    EXPECT_EQ(Pixels(d.LayerAt(0)), "1.3b");
    EXPECT_EQ(Names(d), (std::vector<std::string>{"レイヤ1", "レイヤ2"}));
    EXPECT_EQ(d.LayerAt(1).Visible, 0);
    EXPECT_EQ(Pixels(d.LayerAt(1)), ".2.a");
    EXPECT_EQ(d.CurrentLayer(), 0);
}

TEST(MergeAll, MiddleHiddenNoMergesEverything) {
    Document d = Stack(3);
    d.LayerAt(1).Visible = 0;
    Asker ask{MergeAnswer::No};
    MergeAll(d, ask.fn());
    ASSERT_EQ(d.LayerCount(), 1);
    EXPECT_EQ(Pixels(d.LayerAt(0)), "123b");
    EXPECT_EQ(d.LayerAt(0).Name, "レイヤ1");
}

TEST(MergeAll, BottomHiddenYesMergesIntoTheLowestVisibleLayer) {
    Document d = Stack(3);
    d.LayerAt(0).Visible = 0;
    Asker ask{MergeAnswer::Yes};
    MergeAll(d, ask.fn());
    ASSERT_EQ(d.LayerCount(), 2);
    EXPECT_EQ(d.CurrentLayer(), 1);
    EXPECT_EQ(d.LayerAt(0).Visible, 0);
    EXPECT_EQ(Pixels(d.LayerAt(0)), "1..9");
    EXPECT_EQ(Pixels(d.LayerAt(1)), ".23b");
    EXPECT_EQ(d.LayerAt(1).Name, "レイヤ2");
}

TEST(MergeAll, CancelAndSingleLayerChangeNothing) {
    Document d = Stack(3);
    d.LayerAt(2).Visible = 0;
    const Document before = d;
    Asker ask{MergeAnswer::Cancel};
    EditResult r = MergeAll(d, ask.fn());
    EXPECT_FALSE(r.Record);
    EXPECT_EQ(d.Layers(), before.Layers());

    // Nothing hidden: no question.
    Document all = Stack(2);
    Asker never{MergeAnswer::Cancel};
    EXPECT_FALSE(MergeAllAsks(all));
    EXPECT_TRUE(MergeAll(all, never.fn()).Record);
    EXPECT_EQ(never.calls, 0);
    EXPECT_EQ(all.LayerCount(), 1);

    Document one = Stack(1);
    one.LayerAt(0).Visible = 0;
    EXPECT_FALSE(MergeAll(one, never.fn()).Record);
    EXPECT_EQ(never.calls, 0);
}

// Merged pixels are painted with mask 1, whatever non-zero byte the source plane held.
TEST(MergeDown, WritesMaskOneForAnyPaintedSourceByte) {
    Document d = Stack(2);
    d.LayerAt(1).Mask[1] = 2;
    d.LayerAt(1).Mask[3] = 0xFF;
    d.SetCurrentLayer(1);
    MergeDown(d);
    ASSERT_EQ(d.LayerCount(), 1);
    EXPECT_EQ(d.LayerAt(0).Mask, (Plane{1, 1, 0, 1}));
    EXPECT_EQ(Pixels(d.LayerAt(0)), "12.a");
}

TEST(MergeDown, OnTheBottomLayerRecordsButChangesNothing) {
    Document d = Stack(3);
    const Document before = d;
    EditResult r = MergeDown(d);
    EXPECT_TRUE(r.Record);
    EXPECT_EQ(r.Step, "レイヤ統合");
    EXPECT_EQ(d.Layers(), before.Layers());
    EXPECT_EQ(d.CurrentLayer(), 0);

    Document one = Stack(1);
    EXPECT_FALSE(MergeDown(one).Record);
}

TEST(MergeDown, MergesAHiddenCurrentLayerAndKeepsTheTargetsVisibility) {
    Document d = Stack(3);
    d.SetCurrentLayer(2);
    d.LayerAt(2).Visible = 0;
    d.LayerAt(1).Visible = 0;
    MergeDown(d);
    ASSERT_EQ(d.LayerCount(), 2);
    EXPECT_EQ(d.CurrentLayer(), 1);
    EXPECT_EQ(Pixels(d.LayerAt(1)), ".23b");
    EXPECT_EQ(d.LayerAt(1).Visible, 0);
    EXPECT_EQ(d.LayerAt(1).Name, "レイヤ2");
}

TEST(MergeDown, CommitsTheSelectionAndLiftsItFromTheTarget) {
    Document d = Stack(2);
    d.SetCurrentLayer(1);
    EndSelectDrag(d, 0, 0, 2, 1);  // lifts column 1 ("2") of layer 1
    MoveFloating(d, 1, 0);         // now shows at column 2
    MergeDown(d);
    ASSERT_TRUE(d.HasSelection);
    EXPECT_EQ(d.CurrentLayer(), 0);
    EXPECT_EQ(d.Selection(), (Rect{1, 0, 3, 1}));
    // The moved content went into the merge; the target now has a hole under the rectangle.
    EXPECT_EQ(Pixels(d.LayerAt(0)), "1..a");
    Deselect(d);
    EXPECT_EQ(Pixels(d.LayerAt(0)), "1.2a");
}

TEST(Duplicate, CopiesToTheTopAsOneUndoStep) {
    test::TempDir dir;
    HistoryContext ctx{dir.Path(), 2, true};
    Document d = Stack(3);
    d.LayerAt(0).Visible = 0;
    ASSERT_TRUE(RecordStep(d, ctx, " ", false).Ok);

    EditResult r = DuplicateLayer(d);
    EXPECT_EQ(r.Step, "レイヤの複製");
    ASSERT_TRUE(RecordStep(d, ctx, r.Step, false).Ok);
    ASSERT_EQ(d.LayerCount(), 4);
    EXPECT_EQ(d.CurrentLayer(), 3);
    EXPECT_EQ(d.Current().Name, "レイヤ1のコピー");
    EXPECT_EQ(d.Current().Visible, 1);
    EXPECT_EQ(d.Current().Indices, d.LayerAt(0).Indices);
    EXPECT_EQ(d.Current().Mask, d.LayerAt(0).Mask);
    EXPECT_EQ(d.HistoryPosition, 2);
    EXPECT_EQ(StepName(ctx, 1), "レイヤの複製");

    ASSERT_TRUE(RestoreStep(d, ctx, false).Ok);
    EXPECT_EQ(d.LayerCount(), 3);
    EXPECT_EQ(d.CurrentLayer(), 0);
    EXPECT_EQ(d.HistoryPosition, 1);
}

TEST(Duplicate, WithASelectionTheCopysSelectedAreaFloats) {
    Document d = Stack(1);
    EndSelectDrag(d, 0, 0, 2, 1);
    MoveFloating(d, 1, 0);  // "1" shows at column 1
    DuplicateLayer(d);
    ASSERT_TRUE(d.HasSelection);
    EXPECT_EQ(d.Selection(), (Rect{1, 0, 3, 1}));
    EXPECT_EQ(Pixels(d.LayerAt(0)), ".1.9");  // committed into the source
    EXPECT_EQ(Pixels(d.LayerAt(1)), "...9");  // the copy's selected area is lifted
    ClearContent(d);                          // clearing the selection really clears the copy
    EXPECT_EQ(Pixels(d.LayerAt(1)), "...9");
    Deselect(d);
    EXPECT_EQ(Pixels(d.LayerAt(1)), "...9");
}

TEST(Delete, TopAndBottomAndSingleLayer) {
    Document d = Stack(3);
    d.SetCurrentLayer(2);
    EditResult r = DeleteLayer(d);
    EXPECT_EQ(r.Step, "レイヤ削除");
    EXPECT_EQ(Names(d), (std::vector<std::string>{"レイヤ1", "レイヤ2"}));
    EXPECT_EQ(d.CurrentLayer(), 1);

    d.SetCurrentLayer(0);
    DeleteLayer(d);
    EXPECT_EQ(Names(d), (std::vector<std::string>{"レイヤ2"}));
    EXPECT_EQ(d.CurrentLayer(), 0);

    EXPECT_FALSE(DeleteLayer(d).Record);
    EXPECT_EQ(d.LayerCount(), 1);
}

TEST(Delete, LiftsTheSelectionFromTheNewCurrentLayerWithoutDropping) {
    Document d = Stack(2);
    d.SetCurrentLayer(1);
    EndSelectDrag(d, 0, 0, 4, 1);
    DeleteLayer(d);
    ASSERT_TRUE(d.HasSelection);
    EXPECT_EQ(Pixels(d.LayerAt(0)), "....");
    Deselect(d);
    EXPECT_EQ(Pixels(d.LayerAt(0)), "1..9");  // the deleted layer's content is gone
}

TEST(NewLayer, WhileASelectionFloatsCommitsItAndDrawsIntoTheNewLayer) {
    Document d = Stack(1);
    EndSelectDrag(d, 0, 0, 2, 1);
    MoveFloating(d, 1, 0);
    EditResult r = NewLayer(d);
    EXPECT_EQ(r.Step, "レイヤ作成");
    EXPECT_TRUE(r.RebuildLayers);
    ASSERT_EQ(d.LayerCount(), 2);
    EXPECT_EQ(d.CurrentLayer(), 1);
    EXPECT_EQ(d.Current().Name, "レイヤ2");
    EXPECT_TRUE(d.HasSelection);
    EXPECT_EQ(d.Selection(), (Rect{1, 0, 3, 1}));
    EXPECT_EQ(Pixels(d.LayerAt(0)), ".1.9");
    // Drawing inside the rectangle goes to the new layer.
    EditTarget t = GetEditTarget(d);
    t.Indices[t.Offset(2, 0)] = 5;
    t.Mask[t.Offset(2, 0)] = 1;
    Deselect(d);
    EXPECT_EQ(Pixels(d.LayerAt(1)), "..5.");
    EXPECT_EQ(Pixels(d.LayerAt(0)), ".1.9");
}

// A selection moved wholly off the canvas is clipped to nothing by the drop these commands
// make; it must end rather than float invisibly, swallowing everything drawn afterwards.
TEST(NewLayer, SelectLayerAndMergeEndASelectionMovedOffTheCanvas) {
    Document n = Stack(2), s = Stack(2), m = Stack(2);
    for (Document* d : {&n, &s, &m}) {
        d->SetCurrentLayer(1);
        EndSelectDrag(*d, 0, 0, 2, 1);
        MoveFloating(*d, 5, 0);
    }
    NewLayer(n);
    SelectLayer(s, 0);
    MergeDown(m);
    for (Document* d : {&n, &s, &m}) {
        EXPECT_FALSE(d->HasSelection);
        EditTarget t = GetEditTarget(*d);  // drawing reaches the current layer again
        EXPECT_EQ(t.Mask, d->Current().Mask.data());
    }
    EXPECT_EQ(Pixels(s.LayerAt(1)), "...a");  // the content left with the drop
}

TEST(Reorder, UpAndDownStopAtTheEndsAndCarryTheSelection) {
    Document d = Stack(2);
    EXPECT_FALSE(MoveLayerDown(d).Record);
    EndSelectDrag(d, 0, 0, 1, 1);
    EditResult r = MoveLayerUp(d);
    EXPECT_EQ(r.Step, "レイヤ移動");
    EXPECT_TRUE(r.RefreshRows);
    EXPECT_EQ(Names(d), (std::vector<std::string>{"レイヤ2", "レイヤ1"}));
    EXPECT_EQ(d.CurrentLayer(), 1);
    EXPECT_FALSE(MoveLayerUp(d).Record);
    Deselect(d);
    EXPECT_EQ(Pixels(d.LayerAt(1)), "1..9");
}

TEST(Reorder, DragMovesTheLayerAndCommitsAFloatingSelectionWhereItCameFrom) {
    Document d = Stack(3);
    EditResult r = MoveLayerTo(d, 0, 2);
    EXPECT_EQ(r.Step, "レイヤ移動");
    EXPECT_EQ(Names(d), (std::vector<std::string>{"レイヤ2", "レイヤ3", "レイヤ1"}));
    EXPECT_EQ(d.CurrentLayer(), 2);
    EXPECT_TRUE(MoveLayerTo(d, 1, 1).Record);  // a drop on itself still records

    // Selection lifted from layer 2 ("レイヤ1"); drag layer 0 ("レイヤ2") to the top.
    EndSelectDrag(d, 0, 0, 1, 1);
    MoveLayerTo(d, 0, 2);
    EXPECT_EQ(d.Current().Name, "レイヤ2");
    Deselect(d);
    EXPECT_EQ(Pixels(d.LayerAt(1)), "1..9");  // the content went back into "レイヤ1"
    EXPECT_EQ(Pixels(d.LayerAt(2)), ".2.a");
}

TEST(Reorder, ALayerDroppedOnItselfWhileAnotherFloatsTakesTheSelectionLikeAClick) {
    Document a = Stack(3);
    Document b = Stack(3);
    EndSelectDrag(a, 0, 0, 1, 1);  // lifted from the top layer
    EndSelectDrag(b, 0, 0, 1, 1);
    EXPECT_TRUE(MoveLayerTo(a, 0, 0).Record);
    SelectLayer(b, 0);
    EXPECT_EQ(a.CurrentLayer(), 0);
    Deselect(a);
    Deselect(b);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(Pixels(a.LayerAt(i)), Pixels(b.LayerAt(i))) << i;
}

TEST(SelectLayer, DropsIntoTheOldLayerAndLiftsFromTheNewOne) {
    Document d = Stack(2);
    EndSelectDrag(d, 0, 0, 2, 1);
    MoveFloating(d, 2, 0);
    EditResult r = SelectLayer(d, 1);
    EXPECT_FALSE(r.Record);
    EXPECT_EQ(d.CurrentLayer(), 1);
    // Committed at columns 2-3 of layer 0; its transparent pixel left the "9" there.
    EXPECT_EQ(Pixels(d.LayerAt(0)), "..19");
    EXPECT_EQ(Pixels(d.LayerAt(1)), ".2..");  // columns 2-3 lifted from the new layer
    Deselect(d);
    EXPECT_EQ(Pixels(d.LayerAt(1)), ".2.a");
}

TEST(Visibility, ToggleOnlyAndAll) {
    Document d = Stack(3);
    d.SetCurrentLayer(1);
    EditResult r = ToggleCurrentLayerVisible(d);
    EXPECT_EQ(r.Step, "レイヤ表示切替");
    EXPECT_EQ(d.LayerAt(1).Visible, 0);
    ToggleCurrentLayerVisible(d);
    EXPECT_EQ(d.LayerAt(1).Visible, 1);

    r = ShowOnlyCurrentLayer(d);
    EXPECT_EQ(r.Step, "現在のレイヤのみ表示");
    EXPECT_EQ(d.LayerAt(0).Visible + d.LayerAt(1).Visible * 2 + d.LayerAt(2).Visible * 4, 2);

    r = ShowAllLayers(d);
    EXPECT_EQ(r.Step, "レイヤ表示切替");
    for (const Layer& l : d.Layers()) EXPECT_EQ(l.Visible, 1);

    r = ToggleLayerVisible(d, 2);  // the eye of a non-current row
    EXPECT_EQ(r.Step, "レイヤ表示切替");
    EXPECT_EQ(d.LayerAt(2).Visible, 0);
    EXPECT_EQ(d.CurrentLayer(), 1);
}

TEST(Rename, RefusesAnEmptyNameAndAcceptsDuplicates) {
    Document d = Stack(2);
    EXPECT_FALSE(RenameLayer(d, "").Record);
    EXPECT_EQ(d.Current().Name, "レイヤ1");
    EditResult r = RenameLayer(d, "レイヤ2");
    EXPECT_EQ(r.Step, "レイヤ名変更");
    EXPECT_EQ(Names(d), (std::vector<std::string>{"レイヤ2", "レイヤ2"}));
    EXPECT_TRUE(RenameLayer(d, "レイヤ2").Record);  // unchanged name still records
}

// Names are stored in Shift-JIS: one it cannot hold would come back with '?' after an undo or a
// reload, so it is refused with the first such character named; full-width and kana pass.
TEST(Rename, RefusesANameShiftJisCannotHoldNamingTheFirstSuchCharacter) {
    Document d = Stack(1);
    EXPECT_EQ(LayerNameProblem("Straße ñ"), "「ß」はレイヤ名に使えません（Shift-JISで保存できない文字です）。");
    EXPECT_EQ(LayerNameProblem("ok😀"), "「😀」はレイヤ名に使えません（Shift-JISで保存できない文字です）。");
    EXPECT_FALSE(RenameLayer(d, "Straße").Record);
    EXPECT_EQ(d.Current().Name, "レイヤ1");
    for (const char* fine : {"背景 ABC", "ｶﾅ①", "～―"}) {
        EXPECT_EQ(LayerNameProblem(fine), std::nullopt) << fine;
        EXPECT_EQ(SjisToUtf8(Utf8ToSjis(fine)), fine) << fine;
    }
}

}  // namespace
}  // namespace pq
