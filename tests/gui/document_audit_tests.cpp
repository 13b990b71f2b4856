// The document window's details that are easy to get slightly wrong: where the brush outline
// lies, the Layer menu's compositing entry and the names of its submenus.
#include <QAction>
#include <QImage>
#include <QMenu>

#include "gui/app/main_form.h"
#include "gui/app/tool_state.h"
#include "gui/document/canvas.h"
#include "gui/document/image_form.h"
#include "support/editor_fixture.h"

using namespace pq::gui;
using pq::test::EditorTest;

namespace {

class DocumentAudit : public EditorTest {
protected:
    // The bounding box of the canvas pixels that differ between two shots.
    static QRect Difference(const QImage& a, const QImage& b) {
        QRect box;
        for (int y = 0; y < a.height(); ++y)
            for (int x = 0; x < a.width(); ++x)
                if (a.pixel(x, y) != b.pixel(x, y)) box |= QRect(x, y, 1, 1);
        return box;
    }
};

TEST_F(DocumentAudit, BrushOutlineCoversExactlyTheCellsTheBrushPaints) {
    ChooseZoom(10);
    TImageForm* f = NewDocument(0, 0);
    ChooseTool(kToolBrush);
    const QImage before = f->Canvas()->grab().toImage();
    // Odd size 3 around cell (5, 5): cells 4-6, screen pixels 40-69.
    ChooseSize(3);
    MoveTo(QPoint(55, 55));
    EXPECT_EQ(Difference(before, f->Canvas()->grab().toImage()), QRect(QPoint(40, 40), QPoint(69, 69)));
    // Even size 2 at cell (5, 5): cells 4-5, screen pixels 40-59.
    ChooseSize(2);
    MoveTo(QPoint(57, 52));
    EXPECT_EQ(Difference(before, f->Canvas()->grab().toImage()), QRect(QPoint(40, 40), QPoint(59, 59)));
    // The eraser with Shift held shows no outline.
    ChooseTool(kToolEraser);
    MoveTo(QPoint(57, 52), Qt::ShiftModifier);
    EXPECT_TRUE(Difference(before, f->Canvas()->grab().toImage()).isNull());
}

TEST_F(DocumentAudit, ShapeBandsEndBeforeTheFarBandPoint) {
    ChooseZoom(10);
    TImageForm* f = NewDocument(0, 0);
    ChooseTool(kToolRect);
    const QImage before = f->Canvas()->grab().toImage();
    // Band points snap to the cells' centres: cell 1 -> 14, cell 3 -> 34.
    Press(Cell(3, 3));
    MoveTo(Cell(1, 1));
    EXPECT_EQ(Difference(before, f->Canvas()->grab().toImage()), QRect(QPoint(14, 14), QPoint(33, 33)));
    Release(Cell(1, 1));
    ChooseTool(kToolEllipse);
    const QImage base = f->Canvas()->grab().toImage();
    Press(Cell(1, 1));
    EXPECT_TRUE(Difference(base, f->Canvas()->grab().toImage()).isNull());  // no band before a move
    MoveTo(Cell(3, 2));
    EXPECT_FALSE(Difference(base, f->Canvas()->grab().toImage()).isNull());
    Release(Cell(3, 2));
}

TEST_F(DocumentAudit, DrawingPressesStopTheOutlineTimerAndReleasesRestartIt) {
    ChooseZoom(10);
    TImageForm* f = NewDocument(0, 0);
    f->MenuAction("msAll")->trigger();
    ASSERT_TRUE(f->OutlineTimerActive());
    for (int tool : {kToolBrush, kToolEraser, kToolAir, kToolLine, kToolRect, kToolFillEllipse, kToolMove}) {
        ChooseTool(tool);
        Press(Cell(2, 2));
        EXPECT_FALSE(f->OutlineTimerActive()) << tool;
        MoveTo(Cell(3, 3));
        Release(Cell(3, 3));
        EXPECT_TRUE(f->OutlineTimerActive()) << tool;
    }
    // The colour picker and the fill tool leave it running.
    for (int tool : {kToolSpoit, kToolFill}) {
        ChooseTool(tool);
        Press(Cell(2, 2));
        EXPECT_TRUE(f->OutlineTimerActive()) << tool;
        Release(Cell(2, 2));
    }
}

TEST_F(DocumentAudit, CompositingEntryNeedsTwoLayersAndAConnectedCommand) {
    TImageForm* f = NewDocument(0, 0);
    QAction* n21 = f->MenuAction("N21");
    ASSERT_NE(n21, nullptr);
    QMenu* layer = f->MenuNamed("mLayer");
    emit layer->aboutToShow();
    EXPECT_FALSE(n21->isEnabled());  // not connected yet
    int runs = 0;
    QObject::connect(n21, &QAction::triggered, f, [&runs] { ++runs; });
    n21->setEnabled(true);
    emit layer->aboutToShow();
    EXPECT_FALSE(n21->isEnabled());  // one layer
    f->MenuAction("mlNew")->trigger();
    emit layer->aboutToShow();
    EXPECT_TRUE(n21->isEnabled());
    n21->trigger();
    EXPECT_EQ(runs, 1);
    f->MenuAction("mlDelete")->trigger();
    emit layer->aboutToShow();
    EXPECT_FALSE(n21->isEnabled());
    // The submenus carry their names.
    EXPECT_NE(f->MenuNamed("mlJunjo"), nullptr);
    EXPECT_NE(f->MenuNamed("mlVisible"), nullptr);
    EXPECT_NE(f->MenuNamed("mlIntegrate"), nullptr);
}

}  // namespace
