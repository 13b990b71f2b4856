// Not a check: the picture for the README. Runs only when PIXQUIL_SCREENSHOT names the PNG to
// write (scripts/screenshot sets it and runs this under Xvfb); it draws a few strokes on a
// 32 x 32 document with real mouse events and saves the whole screen.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QIcon>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QPixmap>
#include <QScreen>
#include <QTest>

#include "gui/app/main_form.h"
#include "gui/document/image_form.h"
#include "gui/document/text_dialog.h"
#include "gui/palettes/color_palette.h"
#include "gui/palettes/layer_palette.h"
#include "gui/palettes/preview_window.h"
#include "support/editor_fixture.h"

using namespace pq::gui;

// The program's icon on the frame and the document windows, as the editor sets it at start.
static void UseProgramIcon() {
    Q_INIT_RESOURCE(resources);
    QApplication::setWindowIcon(QIcon(":/pixquil/pixquil.ico"));
}

namespace {

class Screenshot : public pq::test::EditorTest {};

TEST_F(Screenshot, EditorWithAFewStrokes) {
    const QByteArray target = qgetenv("PIXQUIL_SCREENSHOT");
    if (target.isEmpty()) GTEST_SKIP() << "PIXQUIL_SCREENSHOT not set";
    UseProgramIcon();
    frame_->setGeometry(0, 0, 760, 600);
    frame_->ColorPalette()->move(775, 0);
    frame_->LayerPalette()->move(775, 350);
    frame_->Preview()->move(995, 350);
    TImageForm* f = NewDocument(1, 0);  // 32 x 32, 16 colours, 10x
    f->parentWidget()->move(0, 0);
    QTest::qWait(200);

    ChooseTool(kToolFillEllipse);
    f->Doc().DrawColor = 14;  // blue
    Drag({{3, 2}, {12, 11}});
    ChooseTool(kToolRect);
    f->Doc().DrawColor = 12;  // green
    ChooseSize(2);
    Drag({{16, 2}, {28, 11}});
    ChooseTool(kToolBrush);
    f->Doc().DrawColor = 10;  // red
    ChooseSize(3);
    Drag({{3, 28}, {8, 24}, {14, 29}, {20, 25}, {27, 29}});
    ChooseTool(kToolAir);
    f->Doc().DrawColor = 11;  // yellow
    ChooseSize(6);
    for (int i = 0; i < 12; ++i) Drag({{22, 7}, {23, 7}});
    ChooseTool(kToolText);
    f->Doc().DrawColor = 0;
    prompt_.ExpectDialog("TfrmText", [](QDialog& d) {
        static_cast<TfrmText&>(d).Edit1()->setText("アイコン");
        return true;
    });
    ClickCell(3, 13);
    ChooseTool(kToolBrush);
    ChooseSize(4);
    f->Doc().DrawColor = 10;
    frame_->RefreshColorPalette();
    MoveTo(Cell(24, 16));
    frame_->SetStatusText("（24,16）");
    QTest::qWait(300);
    QApplication::processEvents();

    const QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(0);
    ASSERT_FALSE(shot.isNull());
    EXPECT_TRUE(shot.save(QString::fromLocal8Bit(target), "PNG"));
}

}  // namespace
