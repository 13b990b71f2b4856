// The fifteen tools driven by mouse events on the real canvas, and the undo commands.
#include <QAction>
#include <QComboBox>
#include <QFontDialog>
#include <QFontInfo>
#include <QLineEdit>
#include <QTest>

#include "gui/app/main_form.h"
#include "gui/document/canvas.h"
#include "gui/document/image_form.h"
#include "gui/document/text_dialog.h"
#include "support/editor_fixture.h"

using namespace pq::gui;
using pq::test::EditorTest;

namespace {

class Tools : public EditorTest {
protected:
    // A 16 x 16 document at zoom 10 with the given tool chosen.
    TImageForm* Start(int tool, int zoom = 10) {
        ChooseZoom(zoom);
        TImageForm* f = NewDocument(0, 0);
        ChooseTool(tool);
        return f;
    }
    // Paints cell (x, y) of the current layer with index i without recording anything.
    void Paint(int x, int y, int i) {
        pq::Layer& l = Active()->Doc().Current();
        l.Indices[std::size_t(x + 16 * y)] = uint8_t(i);
        l.Mask[std::size_t(x + 16 * y)] = 1;
    }
    // Every canvas pixel on screen equals the rendered picture (no overlay left behind).
    bool ScreenIsPicture(TImageForm* f) const {
        const QImage shot = f->Canvas()->grab().toImage();
        for (int y = 0; y < shot.height(); ++y)
            for (int x = 0; x < shot.width(); ++x) {
                const QRgb c = shot.pixel(x, y);
                const pq::Rgb v = f->ViewPixel(x, y);
                if (qRed(c) != v.r || qGreen(c) != v.g || qBlue(c) != v.b) {
                    ADD_FAILURE() << "screen differs at " << x << "," << y;
                    return false;
                }
            }
        return true;
    }
    int Painted() const {
        int n = 0;
        for (uint8_t m : Active()->Doc().Current().Mask) n += m != 0;
        return n;
    }
};

TEST_F(Tools, BrushStrokePaintsTheCellsAndNamesTheUndoStep) {
    TImageForm* f = Start(kToolBrush);
    EXPECT_EQ(UndoCaption(), "元に戻せません(&U)");
    EXPECT_FALSE(frame_->ActionNamed("tbUndo")->isEnabled());
    Drag({{1, 1}, {2, 1}, {4, 1}});
    for (int x = 1; x <= 4; ++x) EXPECT_EQ(PixelAt(x, 1), 0) << x;
    EXPECT_EQ(PixelAt(0, 1), -1);
    EXPECT_EQ(PixelAt(5, 1), -1);
    EXPECT_EQ(PixelAt(2, 2), -1);
    EXPECT_TRUE(f->Doc().Modified);
    EXPECT_EQ(UndoCaption(), "元に戻す(&U) - ブラシツール");
    EXPECT_TRUE(frame_->ActionNamed("tbUndo")->isEnabled());
    // The canvas shows the stroke: the cell's square is black, its grid line grey.
    EXPECT_EQ(f->ViewPixel(25, 15), (pq::Rgb{0, 0, 0}));
    EXPECT_EQ(f->ViewPixel(29, 19), (pq::Rgb{100, 100, 100}));
}

TEST_F(Tools, RightButtonPaintsTheAuxiliaryColourAndMiddleKeepsThePrevious) {
    Start(kToolBrush);
    Active()->Doc().AuxColor = 12;
    ClickCell(3, 3, Qt::RightButton);
    EXPECT_EQ(PixelAt(3, 3), 12);
    ClickCell(5, 5, Qt::MiddleButton);
    EXPECT_EQ(PixelAt(5, 5), 12);
}

TEST_F(Tools, UndoRedoAndANewStepAfterUndo) {
    TImageForm* f = Start(kToolBrush);
    ClickCell(1, 1);
    ClickCell(2, 2);
    ClickCell(3, 3);
    frame_->ActionNamed("tbUndo")->trigger();
    EXPECT_EQ(PixelAt(3, 3), -1);
    EXPECT_EQ(PixelAt(2, 2), 0);
    EXPECT_EQ(RedoCaption(), "やり直し(&R) - ブラシツール");
    EXPECT_TRUE(frame_->ActionNamed("tbRedo")->isEnabled());
    f->meUndoClick();
    f->meUndoClick();
    EXPECT_EQ(Painted(), 0);
    EXPECT_EQ(UndoCaption(), "元に戻せません(&U)");
    f->meUndoClick();  // at the beginning nothing happens
    EXPECT_EQ(f->Doc().HistoryPosition, 1);
    frame_->ActionNamed("tbRedo")->trigger();
    EXPECT_EQ(PixelAt(1, 1), 0);
    EXPECT_EQ(f->Doc().RedoCount, 2);
    ChooseTool(kToolFill);
    ClickCell(10, 10);
    EXPECT_EQ(RedoCaption(), "やり直せません(&R)");
    EXPECT_EQ(UndoCaption(), "元に戻す(&U) - 塗りつぶしツール");
    EXPECT_FALSE(frame_->ActionNamed("tbRedo")->isEnabled());
    // The new step reused snapshot number 2.
    EXPECT_EQ(f->Doc().HistoryPosition, 3);
    f->meMemClsClick();
    EXPECT_EQ(UndoCaption(), "元に戻せません(&U)");
    EXPECT_EQ(RedoCaption(), "やり直せません(&R)");
    EXPECT_FALSE(f->MemClsAction()->isEnabled());
}

TEST_F(Tools, EachToolRecordsItsStepName) {
    const std::pair<int, const char*> cases[] = {
        {kToolBrush, "ブラシツール"},       {kToolEraser, "消しゴムツール"},
        {kToolAir, "エアブラシツール"},     {kToolFill, "塗りつぶしツール"},
        {kToolLine, "直線ツール"},          {kToolRect, "長方形ツール"},
        {kToolEllipse, "楕円ツール"},       {kToolFillRect, "塗りつぶし長方形ツール"},
        {kToolFillEllipse, "塗りつぶし楕円ツール"}};
    Start(kToolBrush);
    for (const auto& [tool, name] : cases) {
        ChooseTool(tool);
        Drag({{2, 2}, {5, 6}});
        EXPECT_EQ(UndoCaption(), QString("元に戻す(&U) - ") + name) << tool;
    }
    ChooseTool(kToolCloneBrush);
    ClickCell(1, 1, Qt::RightButton);
    Drag({{6, 6}, {7, 7}});
    EXPECT_EQ(UndoCaption(), "元に戻す(&U) - クローンブラシツール");
    // Zoom and colour picker record nothing.
    const int position = Active()->Doc().HistoryPosition;
    ChooseTool(kToolSpoit);
    ClickCell(2, 2);
    ChooseTool(kToolZoom);
    ClickCell(2, 2, Qt::RightButton);
    EXPECT_EQ(Active()->Doc().HistoryPosition, position);
}

TEST_F(Tools, RectangleEndCellBelongsFromZoomFourUp) {
    Start(kToolRect, 10);
    Drag({{1, 1}, {3, 3}});
    EXPECT_EQ(PixelAt(3, 3), 0);
    EXPECT_EQ(PixelAt(1, 1), 0);
    EXPECT_EQ(PixelAt(2, 2), -1);  // hollow
    EXPECT_EQ(PixelAt(4, 4), -1);

    Start(kToolRect, 2);
    ASSERT_EQ(Active()->Doc().Zoom, 2);
    Drag({{1, 1}, {3, 3}});
    EXPECT_EQ(PixelAt(1, 1), 0);
    EXPECT_EQ(PixelAt(2, 1), 0);
    EXPECT_EQ(PixelAt(3, 3), -1);
    EXPECT_EQ(PixelAt(3, 1), -1);
}

TEST_F(Tools, FilledShapesAndLine) {
    Start(kToolFillRect);
    Drag({{1, 1}, {3, 3}});
    EXPECT_EQ(PixelAt(2, 2), 0);
    ChooseTool(kToolLine);
    Drag({{5, 0}, {9, 0}});
    for (int x = 5; x <= 9; ++x) EXPECT_EQ(PixelAt(x, 0), 0);
    EXPECT_EQ(PixelAt(10, 0), -1);
}

TEST_F(Tools, RubberBandLeavesNoTrace) {
    TImageForm* f = Start(kToolEllipse);
    const QImage before = f->Canvas()->grab().toImage();
    Press(Cell(2, 2));
    MoveTo(Cell(8, 6));
    EXPECT_NE(before, f->Canvas()->grab().toImage());
    // The band follows the mouse; once released, the screen is exactly the picture.
    MoveTo(Cell(4, 4));
    Release(Cell(4, 4));
    EXPECT_TRUE(ScreenIsPicture(f));
    EXPECT_EQ(PixelAt(8, 6), -1);
    EXPECT_EQ(PixelAt(2, 3), 0);
}

TEST_F(Tools, BrushOutlineIsAnOverlayOnly) {
    TImageForm* f = Start(kToolBrush);
    ChooseSize(3);
    const QImage before = f->Canvas()->grab().toImage();
    MoveTo(Cell(5, 5));
    EXPECT_NE(before, f->Canvas()->grab().toImage());
    EXPECT_EQ(frame_->StatusText(), "（5,5）");
    f->PointerLeftCanvas();
    EXPECT_TRUE(ScreenIsPicture(f));
    EXPECT_EQ(frame_->StatusText(), "");
    EXPECT_EQ(Painted(), 0);
}

TEST_F(Tools, ColourPickerReadsTheCurrentLayer) {
    TImageForm* f = Start(kToolSpoit);
    Paint(4, 4, 7);
    Paint(5, 4, 9);
    ClickCell(4, 4);
    EXPECT_EQ(f->Doc().DrawColor, 7);
    ClickCell(5, 4, Qt::RightButton);
    EXPECT_EQ(f->Doc().AuxColor, 9);
    ClickCell(0, 0);  // transparent: nothing changes
    EXPECT_EQ(f->Doc().DrawColor, 7);
    // Dragging picks along the way.
    Drag({{0, 0}, {5, 4}});
    EXPECT_EQ(f->Doc().DrawColor, 9);
    EXPECT_EQ(f->Doc().HistoryPosition, 1);
}

TEST_F(Tools, EraserRubsSpraysAndFillsOut) {
    TImageForm* f = Start(kToolEraser);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) Paint(x, y, x < 8 ? 3 : 4);
    // Rub: the footprint.
    ClickCell(1, 1);
    EXPECT_EQ(PixelAt(1, 1), -1);
    EXPECT_EQ(PixelAt(2, 1), 3);
    // Shift: the connected same-index region becomes transparent; moves do nothing more.
    Drag({{10, 10}, {2, 10}}, Qt::LeftButton, Qt::ShiftModifier);
    EXPECT_EQ(PixelAt(8, 0), -1);
    EXPECT_EQ(PixelAt(15, 15), -1);
    EXPECT_EQ(PixelAt(2, 10), 3);
    EXPECT_EQ(UndoCaption(), "元に戻す(&U) - 消しゴムツール");
    // Ctrl (also with Shift): spray out; with size 1 every dot lands on the pixel.
    Drag({{4, 4}}, Qt::LeftButton, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(PixelAt(4, 4), -1);
    EXPECT_EQ(PixelAt(3, 4), 3);
    EXPECT_EQ(PixelAt(2, 10), 3);
    EXPECT_EQ(f->Doc().HistoryPosition, 4);
}

TEST_F(Tools, CloneBrushWarnsWithoutASourceAndCopiesWithOne) {
    TImageForm* f = Start(kToolCloneBrush);
    Paint(1, 1, 5);
    prompt_.ExpectMessage(PromptAnswer::Ok);
    ClickCell(6, 6);
    ASSERT_FALSE(prompt_.Shown().empty());
    const auto& warning = prompt_.Shown().back();
    EXPECT_EQ(warning.Title, "クローンブラシツール");
    EXPECT_EQ(warning.Text, "クローンブラシを使う前に右クリックで始点を決めてください。");
    EXPECT_EQ(warning.Icon, PromptIcon::Warning);
    EXPECT_EQ(f->Doc().HistoryPosition, 1);
    ClickCell(1, 1, Qt::RightButton);
    ClickCell(6, 6);
    EXPECT_EQ(PixelAt(6, 6), 5);
    // Choosing the clone brush again forgets the source.
    ChooseTool(kToolCloneBrush);
    EXPECT_EQ(f->Doc().CloneState, 0);
    prompt_.ExpectMessage(PromptAnswer::Ok);
    ClickCell(9, 9);
}

TEST_F(Tools, TextToolDrawsAndRecordsEvenAnEmptyText) {
    TImageForm* f = Start(kToolText);
    prompt_.ExpectDialog("TfrmText", [](QDialog& d) {
        static_cast<TfrmText&>(d).Edit1()->setText("");
        return true;
    });
    ClickCell(1, 1);
    EXPECT_EQ(Painted(), 0);
    EXPECT_EQ(UndoCaption(), "元に戻す(&U) - テキストツール");
    // The step changed no pixel: the document still equals its start, nothing to save.
    EXPECT_FALSE(f->Doc().Modified);

    prompt_.ExpectDialog("TfrmText", [](QDialog&) { return false; });
    ClickCell(1, 1);
    EXPECT_EQ(f->Doc().HistoryPosition, 2);

    prompt_.ExpectDialog("TfrmText", [](QDialog& d) {
        static_cast<TfrmText&>(d).Edit1()->setText("あA");
        return true;
    });
    ClickCell(0, 0);
    EXPECT_GT(Painted(), 5);
    EXPECT_EQ(f->Doc().HistoryPosition, 3);
    // The default font and its chooser.
    EXPECT_EQ(frame_->TextDialog()->Font().Face, "ＭＳ Ｐゴシック");
    EXPECT_EQ(frame_->TextDialog()->Font().Height, 12);
    prompt_.ExpectFont(std::nullopt);
    frame_->TextDialog()->Button1Click();
    EXPECT_EQ(frame_->TextDialog()->Font(), pq::FontSpec{});
    // The chooser opens on the face the tool draws with, 12 pixels being 9 points; the real
    // chooser shows that very font, and OK on it keeps the tool's font as it was.
    const QFont offered = prompt_.Shown().back().Font;
    EXPECT_EQ(offered.family(), QFontInfo(ToQFont(pq::FontSpec{})).family());
    EXPECT_EQ(offered.pointSizeF(), 9.0);
    const QFontDialog chooser(offered);
    EXPECT_EQ(chooser.currentFont().family(), offered.family());
    EXPECT_EQ(chooser.currentFont().pointSizeF(), 9.0);
    prompt_.ExpectFont(chooser.currentFont());
    frame_->TextDialog()->Button1Click();
    EXPECT_EQ(frame_->TextDialog()->Font(), pq::FontSpec{});
    // A changed size is taken, in pixels.
    QFont larger = chooser.currentFont();
    larger.setPointSize(12);
    prompt_.ExpectFont(larger);
    frame_->TextDialog()->Button1Click();
    EXPECT_EQ(frame_->TextDialog()->Font().Height, 16);
    EXPECT_EQ(frame_->TextDialog()->Font().Face, offered.family().toStdString());
}

TEST_F(Tools, ZoomToolStepsThroughTheList) {
    TImageForm* f = Start(kToolZoom);
    ClickCell(1, 1);
    EXPECT_EQ(f->Doc().Zoom, 12);
    EXPECT_EQ(frame_->ZoomCombo()->currentText(), "12倍");
    ClickCell(1, 1, Qt::RightButton);
    ClickCell(1, 1, Qt::RightButton);
    EXPECT_EQ(f->Doc().Zoom, 8);
    EXPECT_EQ(f->Canvas()->width(), 128);
}

TEST_F(Tools, UndoOfASizeChangeResizesTheCanvas) {
    TImageForm* f = Start(kToolBrush);
    pq::Document& d = f->Doc();
    // A canvas resize to 24 x 20 as the resize command would leave it.
    std::vector<pq::Layer> layers{pq::MakeBlankLayer(24, 20, "レイヤ1")};
    d.ReplaceLayers(std::move(layers), 0);
    d.ImageWidth = 24;
    d.ImageHeight = 20;
    d.FloatIndices.assign(24 * 20, 0);
    d.FloatMask.assign(24 * 20, 0);
    d.StrokeBitmap.Resize(24, 20);
    f->CommitEdit("サイズ変更");
    f->SetZoom(d.Zoom);
    EXPECT_EQ(f->Canvas()->size(), QSize(240, 200));
    frame_->ActionNamed("tbUndo")->trigger();
    EXPECT_EQ(d.ImageWidth, 16);
    EXPECT_EQ(f->Canvas()->size(), QSize(160, 160));
    ClickCell(15, 15);
    EXPECT_EQ(PixelAt(15, 15), 0);
}

TEST_F(Tools, UndoResetsColoursTheRestoredStateCannotHold) {
    TImageForm* f = Start(kToolBrush);
    // A colour-count change to 256 colours, then colour 200 chosen.
    f->Doc().ColorCount = 256;
    f->CommitEdit("色数変更");
    f->Doc().DrawColor = 200;
    f->Doc().AuxColor = 100;
    f->meUndoClick();
    EXPECT_EQ(f->Doc().ColorCount, 16);
    EXPECT_EQ(f->Doc().DrawColor, 0);
    EXPECT_EQ(f->Doc().AuxColor, 8);
    f->meRedoClick();
    EXPECT_EQ(f->Doc().ColorCount, 256);
    f->Doc().DrawColor = 5;
    f->meUndoClick();
    EXPECT_EQ(f->Doc().DrawColor, 5);  // still valid: kept
}

}  // namespace
