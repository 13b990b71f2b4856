// The select and move tools driven by mouse events on the real canvas.
#include <QAction>
#include <QImage>

#include "gui/app/main_form.h"
#include "gui/document/canvas.h"
#include "gui/document/image_form.h"
#include "support/editor_fixture.h"

using namespace pq::gui;
using pq::test::EditorTest;

namespace {

class SelectionTools : public EditorTest {
protected:
    TImageForm* Start(int tool) {
        ChooseZoom(10);
        TImageForm* f = NewDocument(0, 0);
        ChooseTool(tool);
        return f;
    }
    void Paint(int x, int y, int i) {
        pq::Layer& l = Active()->Doc().Current();
        l.Indices[std::size_t(x + 16 * y)] = uint8_t(i);
        l.Mask[std::size_t(x + 16 * y)] = 1;
    }
};

TEST_F(SelectionTools, ADragSelectsTheCellsBeforeTheFarCornerInEitherDirection) {
    TImageForm* f = Start(kToolSelect);
    Paint(3, 3, 4);
    Drag({{2, 2}, {4, 3}, {5, 5}});
    const pq::Document& d = f->Doc();
    ASSERT_TRUE(d.HasSelection);
    EXPECT_EQ(d.Selection(), (pq::Rect{2, 2, 5, 5}));
    EXPECT_EQ(d.Current().Mask[3 + 16 * 3], 0);  // lifted
    EXPECT_EQ(d.FloatMask[3 + 16 * 3], 1);
    EXPECT_TRUE(f->OutlineTimerActive());
    EXPECT_EQ(UndoCaption(), "元に戻す(&U) - 選択ツール");
    EXPECT_TRUE(frame_->ActionNamed("tbSelectClear")->isEnabled());

    Drag({{5, 5}, {2, 2}});
    EXPECT_EQ(d.Selection(), (pq::Rect{2, 2, 5, 5}));
    EXPECT_EQ(d.Current().Mask[3 + 16 * 3], 0);
}

TEST_F(SelectionTools, AClickWithoutADragEndsTheSelectionAndStillRecords) {
    TImageForm* f = Start(kToolSelect);
    Paint(3, 3, 4);
    Drag({{2, 2}, {5, 5}});
    const int steps = f->Doc().HistoryPosition;
    ClickCell(7, 7);
    EXPECT_FALSE(f->Doc().HasSelection);
    EXPECT_EQ(PixelAt(3, 3), 4);  // committed back
    EXPECT_EQ(f->Doc().HistoryPosition, steps + 1);
    // The right button does nothing.
    Drag({{1, 1}, {6, 6}}, Qt::RightButton);
    EXPECT_FALSE(f->Doc().HasSelection);
    EXPECT_EQ(f->Doc().HistoryPosition, steps + 1);
}

TEST_F(SelectionTools, TheBandIsDrawnWhileDraggingAndGoneAfterwards) {
    TImageForm* f = Start(kToolSelect);
    frame_->ActionNamed("tbSelectVisible")->setChecked(false);  // no outline either
    const QImage before = f->Canvas()->grab().toImage();
    Press(Cell(2, 2));
    MoveTo(Cell(6, 6));
    const QImage during = f->Canvas()->grab().toImage();
    EXPECT_NE(during.pixel(20, 40), before.pixel(20, 40));  // left edge of the band at x = 20
    EXPECT_EQ(during.pixel(45, 45), before.pixel(45, 45));  // inside: untouched
    Release(Cell(6, 6));
    EXPECT_EQ(f->Canvas()->grab().toImage(), before);
}

TEST_F(SelectionTools, MoveWithoutASelectionFloatsTheWholeLayer) {
    TImageForm* f = Start(kToolMove);
    Paint(3, 3, 4);
    Drag({{3, 3}, {4, 3}, {5, 4}});
    const pq::Document& d = f->Doc();
    ASSERT_TRUE(d.HasSelection);
    EXPECT_EQ(d.FloatDX, 2);
    EXPECT_EQ(d.FloatDY, 1);
    EXPECT_EQ(d.Selection(), (pq::Rect{2, 1, 18, 17}));
    EXPECT_TRUE(f->OutlineTimerActive());
    EXPECT_EQ(UndoCaption(), "元に戻す(&U) - 移動ツール");
    // The composite shows the pixel at its new place.
    EXPECT_EQ(f->Comp().CompositeColor.Pixel(5, 4), d.ColorOf(4));
    EXPECT_EQ(f->Comp().CompositeColor.Pixel(3, 3), (pq::Rgb{255, 255, 255}));
    f->MenuAction("msClear")->trigger();
    EXPECT_EQ(PixelAt(5, 4), 4);
    EXPECT_EQ(PixelAt(3, 3), -1);
}

TEST_F(SelectionTools, MovingASelectionLeavesAHoleAndUndoRestoresTheOffset) {
    TImageForm* f = Start(kToolSelect);
    for (int y = 2; y < 6; ++y)
        for (int x = 2; x < 6; ++x) Paint(x, y, 4);
    Drag({{2, 2}, {6, 6}});
    ChooseTool(kToolMove);
    Drag({{3, 3}, {5, 3}});
    ChooseTool(kToolSelect);
    ClickCell(12, 12);  // commits
    EXPECT_EQ(PixelAt(2, 2), -1);
    EXPECT_EQ(PixelAt(3, 2), -1);
    EXPECT_EQ(PixelAt(7, 5), 4);
    f->meUndoClick();
    EXPECT_TRUE(f->Doc().HasSelection);
    EXPECT_EQ(f->Doc().FloatDX, 2);
}

}  // namespace
