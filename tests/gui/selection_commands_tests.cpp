// The 選択範囲 menu (enabling, check mark, outline timer), Edit > クリア, and the frame's
// 選択範囲の表示 / 選択範囲のクリア / クリア buttons.
#include <QAction>
#include <QMenu>

#include "core/document/selection.h"
#include "gui/app/main_form.h"
#include "gui/document/image_form.h"
#include "gui/document/selection_commands.h"
#include "support/editor_fixture.h"

using namespace pq::gui;
using pq::test::EditorTest;

namespace {

class SelectionMenu : public EditorTest {
protected:
    TImageForm* Doc() {
        TImageForm* f = NewDocument(0, 0);
        return f;
    }
    QAction* Entry(const char* name) const { return Active()->MenuAction(name); }
    void OpenMenu() { emit Active()->MenuNamed("mSelect")->aboutToShow(); }
    void Paint(int x, int y) {
        pq::Layer& l = Active()->Doc().Current();
        l.Indices[std::size_t(x + 16 * y)] = 3;
        l.Mask[std::size_t(x + 16 * y)] = 1;
    }
};

TEST_F(SelectionMenu, EntriesNeedASelectionAndTheCheckMarkFollowsTheOutlineButton) {
    TImageForm* f = Doc();
    OpenMenu();
    for (const char* name : {"msClear", "msKakudai", "msShukushou", "msLayer"}) EXPECT_FALSE(Entry(name)->isEnabled()) << name;
    EXPECT_TRUE(Entry("msAll")->isEnabled());
    EXPECT_TRUE(Entry("msKyoukaisen")->isChecked());
    frame_->ActionList1Update();
    EXPECT_FALSE(frame_->ActionNamed("tbSelectClear")->isEnabled());

    Entry("msAll")->trigger();
    EXPECT_TRUE(f->Doc().HasSelection);
    EXPECT_TRUE(f->OutlineTimerActive());
    EXPECT_EQ(UndoCaption(), "元に戻す(&U) - すべて選択");
    EXPECT_TRUE(frame_->ActionNamed("tbSelectClear")->isEnabled());
    OpenMenu();
    for (const char* name : {"msClear", "msKakudai", "msShukushou", "msLayer"}) EXPECT_TRUE(Entry(name)->isEnabled()) << name;

    Entry("msKyoukaisen")->trigger();
    EXPECT_FALSE(frame_->SelectionOutlineVisible());
    OpenMenu();
    EXPECT_FALSE(Entry("msKyoukaisen")->isChecked());
    EXPECT_EQ(UndoCaption(), "元に戻す(&U) - すべて選択");  // no step
}

TEST_F(SelectionMenu, ShrinkGrowAndTheToolbarDeselect) {
    TImageForm* f = Doc();
    pq::Document& d = f->Doc();
    Entry("msAll")->trigger();
    Entry("msShukushou")->trigger();
    EXPECT_EQ(d.Selection(), (pq::Rect{1, 1, 15, 15}));
    Entry("msKakudai")->trigger();
    Entry("msKakudai")->trigger();
    EXPECT_EQ(d.Selection(), (pq::Rect{0, 0, 16, 16}));
    EXPECT_EQ(UndoCaption(), "元に戻す(&U) - 選択範囲拡大");
    frame_->ActionNamed("tbSelectClear")->trigger();
    EXPECT_FALSE(d.HasSelection);
    EXPECT_EQ(UndoCaption(), "元に戻す(&U) - 選択範囲クリア");
    // Without a selection grow's shortcut does nothing, as its disabled entry would; Ctrl+D
    // still deselects and records its step (its entry is only shown off in the open menu).
    const int steps = d.HistoryPosition;
    Entry("msKakudai")->trigger();
    EXPECT_EQ(d.HistoryPosition, steps);
    Entry("msClear")->trigger();
    EXPECT_EQ(d.HistoryPosition, steps + 1);
    EXPECT_EQ(UndoCaption(), "元に戻す(&U) - 選択範囲クリア");
}

TEST_F(SelectionMenu, ClearEmptiesTheLayerOrTheSelection) {
    TImageForm* f = Doc();
    pq::Document& d = f->Doc();
    Paint(1, 1);
    Paint(8, 8);
    d.HasSelection = true;
    pq::SetSelection(d, 0, 0, 4, 4);
    pq::LiftSelection(d);
    Entry("meClear")->trigger();
    EXPECT_FALSE(d.HasSelection);
    EXPECT_EQ(PixelAt(1, 1), -1);
    EXPECT_EQ(PixelAt(8, 8), 3);
    EXPECT_EQ(UndoCaption(), "元に戻す(&U) - クリア");
    frame_->ActionNamed("tbDelete")->trigger();
    EXPECT_EQ(PixelAt(8, 8), -1);
}

TEST_F(SelectionMenu, LayerFromSelectionRebuildsTheStack) {
    TImageForm* f = Doc();
    pq::Document& d = f->Doc();
    Paint(2, 2);
    Entry("msAll")->trigger();
    Entry("msLayer")->trigger();
    ASSERT_EQ(d.LayerCount(), 2);
    EXPECT_EQ(d.Current().Name, "選択範囲からのレイヤ");
    EXPECT_EQ(PixelAt(2, 2), 3);
    EXPECT_EQ(d.LayerAt(0).Mask[2 + 16 * 2], 0);
    EXPECT_FALSE(d.HasSelection);
}

}  // namespace
