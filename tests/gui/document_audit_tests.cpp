// The document window's details that are easy to get slightly wrong: where the brush outline
// lies, the Layer menu's compositing entry and the names of its submenus.
#include <QAction>
#include <QImage>
#include <QMenu>
#include <QStringList>

#include "gui/app/main_form.h"
#include "gui/kit/tool_state.h"
#include "gui/document/canvas.h"
#include "gui/document/image_form.h"
#include "support/editor_fixture.h"

using namespace pq::gui;
using pq::test::EditorTest;

namespace {

class DocumentAudit : public EditorTest {
protected:
    // "caption|shortcut|status-bar text" of every entry, submenus as "caption>".
    static QStringList Entries(const QMenu* menu) {
        QStringList out;
        for (QAction* a : menu->actions()) {
            if (a->isSeparator()) continue;
            if (a->menu()) out << a->text() + ">";
            else out << a->text() + "|" + a->shortcut().toString() + "|" + a->statusTip();
        }
        return out;
    }
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

TEST_F(DocumentAudit, EditSelectionAndLayerMenus) {
    TImageForm* f = NewDocument(0, 0);
    EXPECT_EQ(Entries(f->MenuNamed("Edit1")),
              QStringList({"元に戻す(&U)|Ctrl+Z|直前の作業を元に戻します。", "やり直し(&R)|Ctrl+Y|元に戻す前の状態に戻します。",
                           "切り取り(&X)|Ctrl+X|選択範囲をクリップボードに切り取ります。", "コピー(&C)|Ctrl+C|選択範囲をコピーします。",
                           "貼り付け(&P)|Ctrl+P|クリップボードの内容を新しいレイヤに貼り付けます。",
                           "クリア(&D)|Del|選択範囲をクリアします。", "メモリのクリア(&M)||アンドゥ情報を削除します。"}));
    EXPECT_EQ(Entries(f->MenuNamed("mSelect")),
              QStringList({"すべて選択(&A)|Ctrl+A|全体を選択範囲にします。", "クリア(&C)|Ctrl+D|選択範囲をクリアします。",
                           "拡大(&L)|Ctrl+E|選択範囲を1ピクセル拡大します。", "縮小(&S)|Ctrl+R|選択範囲を1ピクセル縮小します。",
                           "選択範囲からレイヤを作成(&N)|Ctrl+Alt+L|選択範囲をレイヤにします。",
                           "境界線の表示(&K)||境界線の表示を切り替えます。"}));
    EXPECT_EQ(Entries(f->MenuNamed("mLayer")),
              QStringList({"新規作成(&N)|Ctrl+Alt+N|新しいレイヤを追加します。", "複製(&C)|Ctrl+Alt+C|現在のレイヤを複製します。",
                           "削除(&D)|Ctrl+Alt+D|現在のレイヤを削除します。", "順序(&O)>", "表示(&V)>", "統合(&R)>",
                           "名前の変更(&A)||現在のレイヤの名前を変更します。", "合成||"}));
    EXPECT_EQ(Entries(f->MenuNamed("mlIntegrate")),
              QStringList({"下のレイヤと統合||現在のレイヤと下のレイヤを統合します。", "すべてのレイヤを統合||すべてのレイヤを統合します。"}));
    EXPECT_EQ(Entries(f->MenuNamed("Show1")),
              QStringList({"グリッドの表示(&G)||グリッドの表示/非表示を切り替えます。", "ツール(&T)>", "ステータスバー(&S)||", "ズーム(&Z)>",
                           "ページ一覧(&P)||アイコンのページ一覧の表示/非表示を切り替えます。", "ページ一覧の高さ>"}));
    EXPECT_EQ(f->MenuAction("meUndo")->toolTip(), "元に戻す");
    EXPECT_EQ(f->MenuAction("meClear")->toolTip(), "クリア");
}

TEST_F(DocumentAudit, APresentRemovesTheSelectionOutlineUntilTheNextTick) {
    ChooseZoom(10);
    TImageForm* f = NewDocument(0, 0);
    f->MenuAction("msAll")->trigger();
    const QImage plain = f->Canvas()->grab().toImage();
    f->Timer1Timer();
    const QImage outlined = f->Canvas()->grab().toImage();
    EXPECT_NE(plain, outlined);
    // A brush press presents the canvas and stops the timer: no outline while drawing.
    ChooseTool(kToolBrush);
    Press(Cell(4, 4));
    MoveTo(Cell(6, 4));
    const QImage drawing = f->Canvas()->grab().toImage();
    EXPECT_EQ(drawing.pixel(0, 0), plain.pixel(0, 0));
    EXPECT_EQ(drawing.pixel(159, 100), plain.pixel(159, 100));
    Release(Cell(6, 4));
    f->Timer1Timer();
    EXPECT_NE(f->Canvas()->grab().toImage().pixel(159, 100), plain.pixel(159, 100));
}

TEST_F(DocumentAudit, SelectionBandIsAClosedFrameThroughBothCorners) {
    ChooseZoom(10);
    TImageForm* f = NewDocument(0, 0);
    ChooseTool(kToolSelect);
    const QImage before = f->Canvas()->grab().toImage();
    Press(Cell(2, 2));
    MoveTo(Cell(5, 5));
    const QImage band = f->Canvas()->grab().toImage();
    // Corners snap to the cells' top-left pixels: (20, 20) and (50, 50), both on the frame.
    EXPECT_EQ(Difference(before, band), QRect(QPoint(20, 20), QPoint(50, 50)));
    for (QPoint p : {QPoint(20, 20), QPoint(50, 20), QPoint(20, 50), QPoint(50, 50), QPoint(35, 20), QPoint(50, 35)})
        EXPECT_NE(band.pixel(p), before.pixel(p)) << p.x() << "," << p.y();
    EXPECT_EQ(band.pixel(35, 35), before.pixel(35, 35));
    Release(Cell(5, 5));
}

TEST_F(DocumentAudit, CompositingEntryNeedsTwoLayers) {
    TImageForm* f = NewDocument(0, 0);
    QAction* n21 = f->MenuAction("N21");
    ASSERT_NE(n21, nullptr);
    QMenu* layer = f->MenuNamed("mLayer");
    emit layer->aboutToShow();
    EXPECT_FALSE(n21->isEnabled());  // one layer
    f->MenuAction("mlNew")->trigger();
    emit layer->aboutToShow();
    EXPECT_TRUE(n21->isEnabled());
    prompt_.ExpectDialog("TfrmGousei", [](QDialog&) { return false; });
    n21->trigger();
    EXPECT_TRUE(prompt_.Done());
    f->MenuAction("mlDelete")->trigger();
    emit layer->aboutToShow();
    EXPECT_FALSE(n21->isEnabled());
    // The submenus carry their names.
    EXPECT_NE(f->MenuNamed("mlJunjo"), nullptr);
    EXPECT_NE(f->MenuNamed("mlVisible"), nullptr);
    EXPECT_NE(f->MenuNamed("mlIntegrate"), nullptr);
}

}  // namespace
