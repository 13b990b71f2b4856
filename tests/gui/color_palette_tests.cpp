// The colour palette window: cell clicks, the two markers, the gradient boxes and scroll bars.
#include <QLabel>
#include <QMenuBar>
#include <QScrollBar>
#include <QTest>
#include <QWheelEvent>

#include "gui/app/main_form.h"
#include "gui/document/image_form.h"
#include "gui/palettes/color_palette.h"
#include "support/editor_fixture.h"

using namespace pq::gui;
using pq::test::EditorTest;

namespace {

class Palette : public EditorTest {
protected:
    TfrmColorPalette* Window() const { return frame_->ColorPalette(); }
    QColor At(int x, int y) const { return QColor(Window()->PaletteImage().pixel(x, y)); }
    void ClickPalette(int x, int y, Qt::MouseButton button = Qt::LeftButton) {
        QTest::mouseClick(Window()->PaletteWidget(), button, Qt::NoModifier, QPoint(x, y));
    }
};

TEST_F(Palette, EmptyWithoutADocument) {
    EXPECT_EQ(Window()->height(), 192);
    EXPECT_FALSE(Window()->Panel1()->isVisibleTo(Window()));
    EXPECT_EQ(At(100, 100), QColor(Qt::black));  // the crossing line
    EXPECT_EQ(At(0, 191), QColor(Qt::black));    // the frame
    ClickPalette(5, 5);                          // ignored
}

TEST_F(Palette, SixteenColourRowCellClicksAndMarkers) {
    TImageForm* f = NewDocument(0, 0);
    EXPECT_EQ(Window()->height(), 320);
    // Cell 10 (red) at column 10; the drawing colour 0 is framed red, the auxiliary 8 blue.
    EXPECT_EQ(At(10 * 12 + 5, 5), QColor(255, 0, 0));
    EXPECT_EQ(At(0, 5), QColor(Qt::red));
    EXPECT_EQ(At(12, 5), QColor(Qt::red));  // 13 wide: the frame covers the next cell's first column
    EXPECT_EQ(At(8 * 12, 5), QColor(Qt::blue));
    EXPECT_EQ(At(50, 100), QColor(Qt::black));  // below the single row
    ClickPalette(3 * 12 + 4, 6);
    EXPECT_EQ(f->Doc().DrawColor, 3);
    ClickPalette(15 * 12 + 4, 6, Qt::RightButton);
    EXPECT_EQ(f->Doc().AuxColor, 15);
    // The last column's marker is 11 pixels wide.
    EXPECT_EQ(At(180, 5), QColor(Qt::blue));
    EXPECT_EQ(At(190, 5), QColor(Qt::blue));
    EXPECT_NE(At(191, 5), QColor(Qt::blue));
    // Both on one cell: the blue frame is drawn last.
    ClickPalette(3 * 12 + 4, 6, Qt::RightButton);
    EXPECT_EQ(At(36, 5), QColor(Qt::blue));
    // The black area of a 16-colour document ignores clicks.
    ClickPalette(50, 100);
    EXPECT_EQ(f->Doc().DrawColor, 3);
    EXPECT_EQ(Window()->ChannelLabelText(0), "R: 128");
    EXPECT_EQ(f->Doc().HistoryPosition, 1);
}

TEST_F(Palette, ClicksReachTheDocumentWhileThePaletteHasTheFocus) {
    TImageForm* f = NewDocument(0, 0);
    Window()->activateWindow();
    QApplication::setActiveWindow(Window());
    QApplication::processEvents();
    EXPECT_EQ(frame_->ActiveForm(), f);
    ClickPalette(5 * 12 + 4, 6);
    EXPECT_EQ(f->Doc().DrawColor, 5);
    EXPECT_EQ(frame_->menuBar()->actions().size(), 11);
}

TEST_F(Palette, TwoHundredFiftySixColoursFillTheGrid) {
    TImageForm* f = NewDocument(0, 1);
    ClickPalette(15 * 12 + 2, 15 * 12 + 2);
    EXPECT_EQ(f->Doc().DrawColor, 255);
    EXPECT_EQ(At(180, 190), QColor(Qt::red));
    EXPECT_EQ(At(190, 180), QColor(Qt::red));
    EXPECT_EQ(At(185, 191), QColor(Qt::white));  // the outer frame
}

TEST_F(Palette, GradientBoxesSetTheChannel) {
    TImageForm* f = NewDocument(0, 0);
    TGradientBox* red = Window()->GradientBox(0);
    const std::pair<int, int> cases[] = {{0, 0}, {68, 126}, {136, 253}, {137, 255}};
    for (const auto& [x, value] : cases) {
        QTest::mousePress(red, Qt::LeftButton, Qt::NoModifier, QPoint(x, 4));
        QTest::mouseRelease(red, Qt::LeftButton, Qt::NoModifier, QPoint(x, 4));
        EXPECT_EQ(Window()->ScrollBar(0)->value(), value) << x;
        EXPECT_EQ(f->Doc().Palette[0].red, value) << x;
    }
    // Positions left of the box count as 0.
    QTest::mousePress(red, Qt::LeftButton, Qt::NoModifier, QPoint(100, 4));
    QMouseEvent move(QEvent::MouseMove, QPointF(-30, 4), red->mapToGlobal(QPointF(-30, 4)), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(red, &move);
    EXPECT_EQ(f->Doc().Palette[0].red, 0);
    QTest::mouseRelease(red, Qt::LeftButton, Qt::NoModifier, QPoint(0, 4));
    // The box paints the channel ramp with the other two channels' present values.
    Window()->ScrollBar(1)->setValue(40);
    EXPECT_EQ(Window()->GradientColor(0, 68), QColor(126, 40, 0));
    EXPECT_EQ(Window()->GradientColor(2, 136), QColor(0, 40, 253));
    // Gradient clicks record no step of their own.
    EXPECT_EQ(f->Doc().HistoryPosition, 1);
}

TEST_F(Palette, ScrollBarEditsTheDrawingColourAndRecordsOneStepPerScroll) {
    TImageForm* f = NewDocument(0, 0);
    f->Doc().Current().Mask[0] = 1;  // pixel (0, 0) painted with index 0
    f->Redraw();
    TChannelScrollBar* blue = Window()->ScrollBar(2);
    const QPoint track(100, 4);  // right of the thumb at 0
    // A press on the track pages once at once, then repeats while held; the release ends the
    // scroll with one step.
    QTest::mousePress(blue, Qt::LeftButton, Qt::NoModifier, track);
    EXPECT_EQ(f->Doc().Palette[0].blue, 10);
    EXPECT_EQ(f->ViewPixel(0, 0), (pq::Rgb{0, 0, 10}));
    EXPECT_EQ(Window()->ChannelLabelText(2), "B: 10");
    EXPECT_EQ(f->Doc().HistoryPosition, 1);  // nothing recorded while the button is held
    blue->triggerAction(QAbstractSlider::SliderPageStepAdd);  // what the auto-repeat does
    EXPECT_EQ(f->Doc().Palette[0].blue, 20);
    QTest::mouseRelease(blue, Qt::LeftButton, Qt::NoModifier, track);
    QCoreApplication::processEvents();
    EXPECT_EQ(UndoCaption(), "元に戻す(&U) - パレット変更");
    EXPECT_EQ(f->Doc().HistoryPosition, 2);
    // The right button and the wheel do not scroll.
    QTest::mouseClick(blue, Qt::RightButton, Qt::NoModifier, track);
    QWheelEvent wheel(QPointF(track), blue->mapToGlobal(QPointF(track)), QPoint(), QPoint(0, -120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(blue, &wheel);
    EXPECT_EQ(f->Doc().Palette[0].blue, 20);
    EXPECT_EQ(f->Doc().HistoryPosition, 2);
    // Dragging the thumb changes the colour and the canvas at each position; the release
    // records one step.
    const QPoint thumb = blue->ThumbRect().center();
    QTest::mousePress(blue, Qt::LeftButton, Qt::NoModifier, thumb);
    ASSERT_TRUE(blue->isSliderDown());
    int last = 20;
    for (int dx = 20; dx <= 120; dx += 50) {
        QTest::mouseMove(blue, thumb + QPoint(dx, 0));
        EXPECT_GT(blue->value(), last) << dx;
        last = blue->value();
        EXPECT_EQ(f->Doc().Palette[0].blue, last);
        EXPECT_EQ(f->ViewPixel(0, 0), (pq::Rgb{0, 0, uint8_t(last)}));
    }
    EXPECT_EQ(f->Doc().HistoryPosition, 2);
    QTest::mouseRelease(blue, Qt::LeftButton, Qt::NoModifier, thumb + QPoint(120, 0));
    QCoreApplication::processEvents();
    EXPECT_EQ(f->Doc().HistoryPosition, 3);
    f->meUndoClick();
    EXPECT_EQ(f->Doc().Palette[0].blue, 20);
    // Undo brings the entry back and the bars follow it.
    f->meUndoClick();
    EXPECT_EQ(f->Doc().Palette[0].blue, 0);
    EXPECT_EQ(blue->value(), 0);
}

}  // namespace
