// The editor as a first-time user meets it: what the file choosers show, the frame at its
// designed size, the brush outline, closing, captions and the status bar.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QImage>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QMouseEvent>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionTitleBar>
#include <QTest>
#include <filesystem>
#include <gtest/gtest.h>

#include "gui/app/main_form.h"
#include "gui/kit/prompt.h"
#include "gui/kit/tool_state.h"
#include "gui/document/canvas.h"
#include "gui/formats/document_files.h"
#include "gui/document/image_form.h"
#include "support/editor_fixture.h"

namespace pq::test {
namespace {

QStringList ShownFilters(const QFileDialog& dialog) {
    QStringList shown;
    if (const auto* combo = dialog.findChild<QComboBox*>("fileTypeCombo"))
        for (int i = 0; i < combo->count(); ++i) shown << combo->itemText(i);
    return shown;
}

// Each filter line reads as its description, once ("PixquilFile(*.pqf)", not followed by Qt's own
// "(*.pqf)"); a name typed without an extension is saved under the extension of the filter
// chosen, so the file is named after the format written.
TEST(FileChoosers, ShowEachFilterOnceAndSaveUnderTheChosenFiltersExtension) {
    TempDir folder;
    auto descriptions = [](const QString& filter) {
        QStringList out;
        for (const QString& entry : filter.split(";;")) out << entry.left(entry.lastIndexOf(" ("));
        return out;
    };
    gui::FileDialogRequest open;
    open.Filter = gui::OpenFileFilter();
    open.FilterIndex = gui::kOpenFilterAllIndex;
    QFileDialog opener;
    gui::SetUpFileDialog(opener, open, false);
    const QStringList offered = ShownFilters(opener);
    EXPECT_EQ(offered, descriptions(open.Filter));
    ASSERT_GE(offered.size(), 6);
    EXPECT_EQ(offered[0], "PixquilFile(*.pqf)");
    EXPECT_EQ(offered[1], "アイコン(*.ico)");
    EXPECT_EQ(offered.back(), "すべてのファイル (*)");
    EXPECT_TRUE(offered[gui::kOpenFilterAllIndex].startsWith("開けるファイル(*.pqf;*.ico;*.cur;*.bmp;*.jpg;*.jpeg"));
    for (const QString& line : offered) EXPECT_EQ(line.count('('), 1) << line.toStdString();

    gui::FileDialogRequest save;
    save.Filter = gui::SaveFileFilter();
    save.DefaultSuffix = "pqf";
    gui::TSaveFileDialog saver(nullptr, "名前を付けて保存");
    gui::SetUpFileDialog(saver, save, true);
    saver.setDirectory(QString::fromStdString(folder.Path().string()));
    const QStringList shown = ShownFilters(saver);
    EXPECT_EQ(shown, descriptions(save.Filter));
    ASSERT_GE(shown.size(), 4);
    EXPECT_EQ(shown.mid(0, 4), (QStringList{"PixquilFile(*.pqf)", "アイコン(*.ico)", "カーソル(*.cur)", "ビットマップ(*.bmp)"}));
    const QStringList extensions = {"pqf", "ico", "cur", "bmp"};
    for (int i = 0; i < extensions.size(); ++i) {
        saver.selectNameFilter(saver.nameFilters()[i]);
        saver.selectFile("picture");
        EXPECT_EQ(saver.ChosenFilterIndex(), i);
        EXPECT_TRUE(saver.ChosenFile().endsWith("/picture." + extensions[i])) << saver.ChosenFile().toStdString();
        // An extension typed is kept.
        saver.selectFile("picture.bmp");
        EXPECT_TRUE(saver.ChosenFile().endsWith("/picture.bmp"));
    }
}

class NewUser : public EditorTest {
protected:
    // Lets pending deletions and the follow-up updates run, as the event loop would.
    static void Settle() {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
    }
    static QMdiSubWindow* WindowOf(gui::TImageForm* form) { return qobject_cast<QMdiSubWindow*>(form->parentWidget()); }
    // Whether the canvas as painted shows anything over the picture (a brush outline).
    static bool CanvasShowsOverlay(gui::TImageForm* form) {
        const QImage shown = form->Canvas()->grab().toImage();
        for (int y = 0; y < shown.height(); ++y)
            for (int x = 0; x < shown.width(); ++x) {
                const QColor c = shown.pixelColor(x, y);
                if (form->ViewPixel(x, y) != pq::Rgb{uint8_t(c.red()), uint8_t(c.green()), uint8_t(c.blue())})
                    return true;
            }
        return false;
    }
    // The centre of a button of a document window's title bar.
    static QPoint TitleBarButton(QMdiSubWindow* window, QStyle::SubControl button) {
        QStyleOptionTitleBar option;
        option.initFrom(window);
        option.subControls = QStyle::SC_All;
        option.titleBarFlags = window->windowFlags();
        option.titleBarState = int(window->windowState() | Qt::WindowActive);
        option.rect = QRect(0, 0, window->width(), window->style()->pixelMetric(QStyle::PM_TitleBarHeight, &option, window));
        return window->style()->subControlRect(QStyle::CC_TitleBar, &option, button, window).center();
    }
};

TEST_F(NewUser, EveryMenuFitsTheBarOfTheDesignedFrame) {
    frame_->resize(640, 460);
    NewDocument();
    QApplication::processEvents();
    QMenuBar* bar = frame_->menuBar();
    ASSERT_LE(bar->width(), 640);
    ASSERT_EQ(bar->actions().size(), 11);
    for (QAction* menu : bar->actions())
        EXPECT_TRUE(bar->rect().contains(bar->actionGeometry(menu))) << menu->text().toStdString();
}

// The outline of a size-5 brush goes when the pointer leaves the canvas and with every zoom,
// redraw or switch of document; the next move over the canvas brings it back.
TEST_F(NewUser, BrushOutlineLeavesNothingBehind) {
    gui::TImageForm* form = NewDocument();
    ChooseTool(gui::kToolBrush);
    ChooseSize(5);
    auto hover = [&] {
        MoveTo(Cell(8, 8));
        ASSERT_TRUE(CanvasShowsOverlay(form));
    };
    hover();
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(form->Canvas(), &leave);
    EXPECT_FALSE(CanvasShowsOverlay(form)) << "pointer left";
    hover();
    frame_->ZoomIn();
    EXPECT_FALSE(CanvasShowsOverlay(form)) << "zoom";
    for (const char* command : {"msAll", "meClear"}) {
        hover();
        form->MenuAction(command)->trigger();
        EXPECT_FALSE(CanvasShowsOverlay(form)) << command;
    }
    hover();
    NewDocument();
    EXPECT_FALSE(CanvasShowsOverlay(form)) << "another document";
}

// After キャンセル to the close prompt (a modal box, which takes the pointer off the title bar),
// the very next click on the close box asks again.
TEST_F(NewUser, CloseBoxAnswersTheFirstClickAfterCancel) {
    gui::TImageForm* form = NewDocument();
    ChooseTool(gui::kToolBrush);
    ClickCell(1, 1);
    QMdiSubWindow* window = WindowOf(form);
    const QPoint close = TitleBarButton(window, QStyle::SC_TitleBarCloseButton);
    QMouseEvent hover(QEvent::MouseMove, QPointF(close), window->mapToGlobal(QPointF(close)), Qt::NoButton,
                      Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(window, &hover);
    prompt_.ExpectMessage(gui::PromptAnswer::Cancel);
    QTest::mouseClick(window, Qt::LeftButton, Qt::NoModifier, close);
    Settle();
    ASSERT_EQ(frame_->Forms().size(), 1);
    EXPECT_EQ(prompt_.Shown().back().Title, "上書き確認");
    QEvent leave(QEvent::Leave);   // what the message box did to the pointer
    QApplication::sendEvent(window, &leave);
    prompt_.ExpectMessage(gui::PromptAnswer::No);
    QTest::mouseClick(window, Qt::LeftButton, Qt::NoModifier, close);
    Settle();
    EXPECT_TRUE(frame_->Forms().isEmpty());
    EXPECT_TRUE(prompt_.Done());
}

TEST_F(NewUser, DocumentAreaScrollsToAWindowBeyondIt) {
    QMdiArea* area = frame_->MdiArea();
    gui::TImageForm* form = NewDocument(2);
    WindowOf(form)->move(area->viewport()->width() - 30, area->viewport()->height() - 30);
    QApplication::processEvents();
    EXPECT_TRUE(area->horizontalScrollBar()->isVisible());
    EXPECT_TRUE(area->verticalScrollBar()->isVisible());
    EXPECT_GT(area->horizontalScrollBar()->maximum(), 0);
}

// A 16 x 16 document at 4x: the window keeps the width its caption and title-bar buttons need,
// the canvas centred in it.
TEST_F(NewUser, TinyDocumentWindowKeepsItsCaptionButtons) {
    ChooseZoom(4);
    gui::TImageForm* form = NewDocument(0);
    ASSERT_EQ(form->Doc().Zoom, 4);
    Settle();
    QMdiSubWindow* window = WindowOf(form);
    EXPECT_GE(window->width(), window->minimumSizeHint().width());
    const QPoint minimise = TitleBarButton(window, QStyle::SC_TitleBarMinButton);
    EXPECT_GT(minimise.x(), 30);
    const QWidget* page = form->Canvas()->parentWidget();
    EXPECT_LE(std::abs(form->Canvas()->x() - (page->width() - 64) / 2), 1);
}

TEST_F(NewUser, FileNamedRelativeIsCaptionedWithItsFullPath) {
    std::filesystem::create_directory(folder_ / "files");
    std::filesystem::copy_file(DataDir() / "three_layers.pqf", folder_ / "files" / "icon2.pqf");
    const QString full = QString::fromStdString((folder_ / "files" / "icon2.pqf").string());
    const QString before = QDir::currentPath();
    QDir::setCurrent(QString::fromStdString(folder_.Path().string()));
    frame_->ShowAtStartup({"files/icon2.pqf"});
    QDir::setCurrent(before);
    ASSERT_NE(Active(), nullptr);
    EXPECT_EQ(Active()->windowTitle(), full);
    EXPECT_EQ(Active()->FilePath(), full);
}

TEST_F(NewUser, PointerPositionGoesWithTheLastDocument) {
    gui::TImageForm* form = NewDocument();
    MoveTo(Cell(12, 13));
    EXPECT_EQ(frame_->StatusText(), "（12,13）");
    WindowOf(form)->close();
    Settle();
    ASSERT_TRUE(frame_->Forms().isEmpty());
    EXPECT_EQ(frame_->StatusText(), "");
}

}  // namespace
}  // namespace pq::test
