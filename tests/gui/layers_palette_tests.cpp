// The layer palette window driven through its real rows and buttons: rows after New, the
// highlight, drag-and-drop reordering, eyes, clicking rows with a floating selection, row reuse,
// emptying when the last document closes, and the merge question from its button.
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMouseEvent>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <QToolBar>

#include "gui/app/main_form.h"
#include "gui/document/image_form.h"
#include "gui/palettes/layer_palette.h"
#include "gui/palettes/layer_panel.h"
#include "support/editor_fixture.h"

using namespace pq::gui;
using pq::test::EditorTest;

namespace {

class LayerPalette : public EditorTest {
protected:
    TLayerPalette* Palette() const { return frame_->LayerPalette(); }
    TLayerPanel* Row(int layer) const { return Palette()->Row(layer); }
    void Button(const char* name) { Palette()->Button(name)->trigger(); }
    TImageForm* Doc(int layers) {
        TImageForm* f = NewDocument(0, 0);
        for (int i = 1; i < layers; ++i) Button("tbbNewLayer");
        return f;
    }
    // Paints pixel x of layer `layer` with index i, without recording.
    void Mark(int layer, int x, int i) {
        pq::Layer& l = Active()->Doc().LayerAt(layer);
        l.Indices[std::size_t(x)] = uint8_t(i);
        l.Mask[std::size_t(x)] = 1;
    }
    static QPoint Centre(QWidget* w) { return w->rect().center(); }
    static void Send(QWidget* w, QEvent::Type type, QPoint local, QPoint global, Qt::MouseButton button,
                     Qt::MouseButtons buttons) {
        QMouseEvent e(type, QPointF(local), QPointF(global), button, buttons, Qt::NoModifier);
        QApplication::sendEvent(w, &e);
    }
    // Presses on `from`'s name panel, moves over `to`'s name panel and releases there (the
    // pointer stays grabbed by the pressed panel).
    void DragRow(TLayerPanel* from, TLayerPanel* to, bool checkFeedback = false) {
        QWidget* source = from->NamePanel();
        const QPoint start = Centre(source);
        const QPoint target = to->NamePanel()->mapToGlobal(Centre(to->NamePanel()) + QPoint(3, 0));
        Send(source, QEvent::MouseButtonPress, start, source->mapToGlobal(start), Qt::LeftButton, Qt::LeftButton);
        Send(source, QEvent::MouseMove, source->mapFromGlobal(target), target, Qt::NoButton, Qt::LeftButton);
        if (checkFeedback && from != to) EXPECT_EQ(to->CurrentLook(), TLayerPanel::Look::DropTarget);
        Send(source, QEvent::MouseButtonRelease, source->mapFromGlobal(target), target, Qt::LeftButton, Qt::NoButton);
    }
    void ClickRow(TLayerPanel* row) { QTest::mouseClick(row->NamePanel(), Qt::LeftButton); }
};

TEST_F(LayerPalette, RowsAfterNewAndOneNewLayerTopLayerFirstAndHighlighted) {
    EXPECT_EQ(Palette()->windowTitle(), "レイヤ");
    EXPECT_EQ(Palette()->RowCount(), 0);
    Doc(2);
    ASSERT_EQ(Palette()->RowCount(), 2);
    EXPECT_EQ(Row(1)->LayerName(), "レイヤ2");
    EXPECT_EQ(Row(0)->LayerName(), "レイヤ1");
    EXPECT_EQ(Row(1)->y(), 0);   // the first row on screen
    EXPECT_EQ(Row(0)->y(), 33);
    EXPECT_EQ(Row(1)->size(), QSize(189, 33));
    EXPECT_EQ(Row(1)->CurrentLook(), TLayerPanel::Look::Highlighted);
    EXPECT_EQ(Row(0)->CurrentLook(), TLayerPanel::Look::Normal);
    EXPECT_EQ(Row(1)->NamePanel()->palette().color(QPalette::Window), QApplication::palette().color(QPalette::Highlight));
    EXPECT_EQ(Row(0)->Thumbnail().size(), QSize(31, 31));
    const std::pair<const char*, const char*> hints[] = {
        {"tbbNewLayer", "レイヤの追加"}, {"tbbDelLayer", "選択中のレイヤを削除"}, {"tbbUp", "レイヤを上へ移動"},
        {"tbbDown", "レイヤを下へ移動"}, {"tbbIntegrate", "下のレイヤと統合"}, {"tbbAllIntegrate", "すべてのレイヤを統合"},
        {"tbbName", "名前の変更"}};
    for (const auto& [name, hint] : hints) {
        ASSERT_NE(Palette()->Button(name), nullptr) << name;
        EXPECT_EQ(Palette()->Button(name)->toolTip(), hint);
        EXPECT_TRUE(Palette()->Button(name)->isEnabled()) << name;
    }
}

TEST_F(LayerPalette, ThumbnailsFollowTheLayers) {
    TImageForm* f = Doc(2);
    pq::Layer& bottom = f->Doc().LayerAt(0);
    std::fill(bottom.Mask.begin(), bottom.Mask.end(), 1);
    std::fill(bottom.Indices.begin(), bottom.Indices.end(), 10);  // red
    f->Redraw();
    EXPECT_EQ(Row(0)->Thumbnail().pixel(15, 15) & 0xFFFFFF, 0xFF0000u);
    EXPECT_NE(Row(1)->Thumbnail().pixel(15, 15) & 0xFFFFFF, 0xFF0000u);
}

TEST_F(LayerPalette, DraggingTheBottomRowOntoTheTopRowIsOneMoveStep) {
    TImageForm* f = Doc(3);
    Mark(0, 0, 1);
    Mark(1, 1, 2);
    Mark(2, 2, 3);
    DragRow(Row(0), Row(2), true);
    const pq::Document& d = f->Doc();
    ASSERT_EQ(d.LayerCount(), 3);
    EXPECT_EQ(d.LayerAt(2).Name, "レイヤ1");
    EXPECT_EQ(d.LayerAt(2).Mask[0], 1);
    EXPECT_EQ(d.LayerAt(0).Name, "レイヤ2");
    EXPECT_EQ(d.CurrentLayer(), 2);
    EXPECT_EQ(Row(2)->LayerName(), "レイヤ1");
    EXPECT_EQ(Row(2)->CurrentLook(), TLayerPanel::Look::Highlighted);
    EXPECT_EQ(Row(0)->CurrentLook(), TLayerPanel::Look::Normal);
    EXPECT_EQ(UndoCaption(), "元に戻す(&U) - レイヤ移動");
    f->meUndoClick();
    EXPECT_EQ(d.LayerAt(0).Name, "レイヤ1");
    EXPECT_EQ(Row(0)->LayerName(), "レイヤ1");
}

TEST_F(LayerPalette, APlainClickSelectsAndADropOutsideTheRowsDoesNothing) {
    TImageForm* f = Doc(3);
    const int steps = f->Doc().HistoryPosition;
    ClickRow(Row(0));
    EXPECT_EQ(f->Doc().CurrentLayer(), 0);
    EXPECT_EQ(Row(0)->CurrentLook(), TLayerPanel::Look::Highlighted);
    EXPECT_EQ(f->Doc().HistoryPosition, steps);  // no step
    QTest::mouseClick(Row(1)->NamePanel(), Qt::RightButton);  // only the left button selects
    EXPECT_EQ(f->Doc().CurrentLayer(), 0);
    QTest::mouseClick(Row(2)->PreviewImage(), Qt::LeftButton);
    EXPECT_EQ(f->Doc().CurrentLayer(), 2);
    ClickRow(Row(0));
    // Released over the toolbar: the drag is cancelled.
    QWidget* source = Row(0)->NamePanel();
    const QPoint away = Palette()->ToolBar1()->mapToGlobal(QPoint(2, 2));
    Send(source, QEvent::MouseButtonPress, Centre(source), source->mapToGlobal(Centre(source)), Qt::LeftButton,
         Qt::LeftButton);
    Send(source, QEvent::MouseMove, source->mapFromGlobal(away), away, Qt::NoButton, Qt::LeftButton);
    Send(source, QEvent::MouseButtonRelease, source->mapFromGlobal(away), away, Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(f->Doc().LayerAt(0).Name, "レイヤ1");
    EXPECT_EQ(f->Doc().HistoryPosition, steps);
}

TEST_F(LayerPalette, APressOnTheBevelsAroundThumbnailAndEyeDragsTheRow) {
    TImageForm* f = Doc(2);
    TLayerPanel* row = Row(0);
    // The bevels' border pixels belong to the row background, which starts a drag.
    EXPECT_EQ(row->childAt(QPoint(0, 0)), row->Panel1());
    EXPECT_EQ(row->childAt(QPoint(35, 8)), row->Panel1());
    EXPECT_EQ(row->childAt(QPoint(40, 12)), row->VisibleImage());
    QWidget* source = row->Panel1();
    const QPoint start(35, 8);
    const QPoint target = Row(1)->NamePanel()->mapToGlobal(Centre(Row(1)->NamePanel()));
    Send(source, QEvent::MouseButtonPress, start, source->mapToGlobal(start), Qt::LeftButton, Qt::LeftButton);
    Send(source, QEvent::MouseMove, source->mapFromGlobal(target), target, Qt::NoButton, Qt::LeftButton);
    Send(source, QEvent::MouseButtonRelease, source->mapFromGlobal(target), target, Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(f->Doc().LayerAt(1).Name, "レイヤ1");
    EXPECT_EQ(UndoCaption(), "元に戻す(&U) - レイヤ移動");
}

TEST_F(LayerPalette, RowsScrolledOutOfSightAreNoDropTargets) {
    TImageForm* f = Doc(8);
    QScrollBar* bar = Palette()->LayerPanelParent()->verticalScrollBar();
    ASSERT_GT(bar->maximum(), 33);
    bar->setValue(bar->maximum());  // the top rows now lie under the toolbar
    TLayerPanel* bottom = Row(0);
    QWidget* source = bottom->NamePanel();
    const QPoint over = Palette()->ToolBar1()->mapToGlobal(QPoint(120, 10));
    TLayerPanel* hidden = nullptr;  // the row lying under that toolbar point
    for (int i = 1; i < 8; ++i)
        if (Row(i)->NamePanel()->rect().contains(Row(i)->NamePanel()->mapFromGlobal(over))) hidden = Row(i);
    ASSERT_NE(hidden, nullptr);
    const int steps = f->Doc().HistoryPosition;
    Send(source, QEvent::MouseButtonPress, Centre(source), source->mapToGlobal(Centre(source)), Qt::LeftButton,
         Qt::LeftButton);
    Send(source, QEvent::MouseMove, source->mapFromGlobal(over), over, Qt::NoButton, Qt::LeftButton);
    EXPECT_NE(hidden->CurrentLook(), TLayerPanel::Look::DropTarget);
    Send(source, QEvent::MouseButtonRelease, source->mapFromGlobal(over), over, Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(f->Doc().LayerAt(0).Name, "レイヤ1");
    EXPECT_EQ(f->Doc().HistoryPosition, steps);
}

TEST_F(LayerPalette, TheEyeOfANonCurrentRowHidesThatLayerOnly) {
    TImageForm* f = Doc(2);
    QTest::mousePress(Row(0)->VisibleImage(), Qt::LeftButton);
    EXPECT_EQ(f->Doc().LayerAt(0).Visible, 0);
    EXPECT_FALSE(Row(0)->EyeOpen());
    EXPECT_EQ(f->Doc().CurrentLayer(), 1);
    EXPECT_EQ(Row(1)->CurrentLook(), TLayerPanel::Look::Highlighted);
    EXPECT_EQ(UndoCaption(), "元に戻す(&U) - レイヤ表示切替");
    QTest::mousePress(Row(0)->VisibleImage(), Qt::RightButton);
    EXPECT_EQ(f->Doc().LayerAt(0).Visible, 1);
    // A double click is two presses: hidden and shown again, two steps.
    const int steps = f->Doc().HistoryPosition;
    QWidget* eye = Row(0)->VisibleImage();
    const QPoint c = Centre(eye), g = eye->mapToGlobal(c);
    Send(eye, QEvent::MouseButtonPress, c, g, Qt::LeftButton, Qt::LeftButton);
    Send(eye, QEvent::MouseButtonRelease, c, g, Qt::LeftButton, Qt::NoButton);
    Send(eye, QEvent::MouseButtonDblClick, c, g, Qt::LeftButton, Qt::LeftButton);
    Send(eye, QEvent::MouseButtonRelease, c, g, Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(f->Doc().LayerAt(0).Visible, 1);
    EXPECT_TRUE(Row(0)->EyeOpen());
    EXPECT_EQ(f->Doc().HistoryPosition, steps + 2);
}

TEST_F(LayerPalette, ClickingAnotherRowCommitsTheFloatingSelectionAndLiftsFromTheClickedLayer) {
    TImageForm* f = Doc(2);
    Mark(1, 3, 5);
    Mark(0, 4, 6);
    f->MenuAction("msAll")->trigger();
    pq::Document& d = f->Doc();
    ASSERT_TRUE(d.HasSelection);
    EXPECT_EQ(d.LayerAt(1).Mask[3], 0);  // lifted
    ClickRow(Row(0));
    EXPECT_EQ(d.CurrentLayer(), 0);
    EXPECT_TRUE(d.HasSelection);
    EXPECT_EQ(d.LayerAt(1).Mask[3], 1);  // committed back
    EXPECT_EQ(d.LayerAt(1).Indices[3], 5);
    EXPECT_EQ(d.LayerAt(0).Mask[4], 0);  // the hole in the clicked layer
    EXPECT_EQ(d.FloatMask[4], 1);
    EXPECT_EQ(d.FloatIndices[4], 6);
}

TEST_F(LayerPalette, ARowDroppedOnItselfCommitsTheFloatingSelectionIntoItsOwnLayer) {
    TImageForm* f = Doc(2);
    Mark(1, 3, 5);
    f->MenuAction("msAll")->trigger();
    DragRow(Row(0), Row(0));
    pq::Document& d = f->Doc();
    EXPECT_EQ(d.CurrentLayer(), 0);
    EXPECT_EQ(d.LayerAt(1).Mask[3], 1);  // the content went back where it came from
    EXPECT_EQ(UndoCaption(), "元に戻す(&U) - レイヤ移動");
    f->MenuAction("msClear")->trigger();
    EXPECT_EQ(d.LayerAt(0).Mask[3], 0);
}

TEST_F(LayerPalette, RowsAreReusedAndOnlyTheSurplusDestroyed) {
    Doc(3);
    TLayerPanel* first = Row(0);
    TLayerPanel* second = Row(1);
    Button("tbbDelLayer");
    ASSERT_EQ(Palette()->RowCount(), 2);
    EXPECT_EQ(Row(0), first);
    EXPECT_EQ(Row(1), second);
    EXPECT_EQ(Row(1)->Tag(), 1);
    EXPECT_EQ(Row(1)->y(), 0);
}

TEST_F(LayerPalette, ClosingTheLastDocumentEmptiesTheWindowAndTheNextFillsIt) {
    TImageForm* f = Doc(2);
    prompt_.ExpectMessage(PromptAnswer::No);  // do not save
    ASSERT_TRUE(qobject_cast<QMdiSubWindow*>(f->parentWidget())->close());
    QApplication::processEvents();
    EXPECT_EQ(Palette()->RowCount(), 0);
    EXPECT_FALSE(Palette()->Button("tbbNewLayer")->isEnabled());
    EXPECT_FALSE(Palette()->Button("tbbName")->isEnabled());
    NewDocument();
    EXPECT_EQ(Palette()->RowCount(), 1);
    EXPECT_EQ(Row(0)->LayerName(), "レイヤ1");
    EXPECT_TRUE(Palette()->Button("tbbNewLayer")->isEnabled());
}

TEST_F(LayerPalette, MergeAllButtonAnsweredCancelChangesNothing) {
    TImageForm* f = Doc(3);
    QTest::mousePress(Row(1)->VisibleImage(), Qt::LeftButton);
    const auto before = f->Doc().Layers();
    const int steps = f->Doc().HistoryPosition;
    prompt_.ExpectMessage(PromptAnswer::Cancel);
    Button("tbbAllIntegrate");
    EXPECT_EQ(f->Doc().Layers(), before);
    EXPECT_EQ(f->Doc().HistoryPosition, steps);
    EXPECT_EQ(Palette()->RowCount(), 3);
    EXPECT_EQ(prompt_.Shown().back().Title, "レイヤの統合");
}

TEST_F(LayerPalette, SwitchingDocumentsRebuildsTheRowsAndTheirThumbnails) {
    TImageForm* first = Doc(3);
    pq::Layer& bottom = first->Doc().LayerAt(0);
    std::fill(bottom.Mask.begin(), bottom.Mask.end(), 1);
    std::fill(bottom.Indices.begin(), bottom.Indices.end(), 10);  // red
    first->Redraw();
    TImageForm* second = NewDocument();
    EXPECT_EQ(Palette()->RowCount(), 1);
    EXPECT_NE(Row(0)->Thumbnail().pixel(15, 15) & 0xFFFFFF, 0xFF0000u);
    auto* sub = qobject_cast<QMdiSubWindow*>(first->parentWidget());
    sub->mdiArea()->setActiveSubWindow(sub);
    QApplication::processEvents();
    ASSERT_EQ(Palette()->RowCount(), 3);
    EXPECT_EQ(Row(0)->Thumbnail().pixel(15, 15) & 0xFFFFFF, 0xFF0000u);
    // Another document's recompose leaves the rows of the active one alone.
    second->Redraw();
    EXPECT_EQ(Row(0)->Thumbnail().pixel(15, 15) & 0xFFFFFF, 0xFF0000u);
}

}  // namespace
