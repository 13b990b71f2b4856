// The main frame: New and the zoom rule, window numbers, the document panel of the status bar,
// document windows kept inside the area, menus and toolbars, opening from the command line and by
// drop, the close prompt, the Options dialog and the settings files.
#include <QAction>
#include <QComboBox>
#include <QDropEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QScreen>
#include <QTest>
#include <QToolBar>
#include <QUrl>
#include <filesystem>
#include <fstream>

#include "core/formats/settings_files.h"
#include "core/ops/transforms.h"
#include "core/io/atomic_write.h"
#include "gui/formats/document_files.h"
#include "gui/app/main_form.h"
#include "gui/app/option_dialog.h"
#include "gui/document/canvas.h"
#include "gui/document/image_form.h"
#include "gui/ops/transform_dialogs.h"
#include "gui/palettes/color_palette.h"
#include "gui/palettes/layer_palette.h"
#include "gui/palettes/preview_window.h"
#include "support/editor_fixture.h"

using namespace pq::gui;
using pq::test::EditorTest;
namespace fs = std::filesystem;

namespace {

class Frame : public EditorTest {
protected:
    // Lets pending deletions and the follow-up updates run, as the event loop would.
    static void Settle() {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
    }
    QStringList MenuTitles() const {
        QStringList titles;
        for (QAction* a : frame_->menuBar()->actions())
            if (a->isVisible()) titles << a->text();
        return titles;
    }
    // Closes a document window as its close box does; true when it went away.
    bool CloseWindow(TImageForm* form) {
        const bool closed = form->parentWidget()->close();
        Settle();
        return closed;
    }
    void Stroke() {
        ChooseTool(kToolBrush);
        ClickCell(1, 1);
    }
    void Drop(const QList<QUrl>& urls) {
        QMimeData data;
        data.setUrls(urls);
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(frame_.get(), &enter);
        ASSERT_TRUE(enter.isAccepted());
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(frame_.get(), &drop);
    }
    fs::path Settings() const { return folder_.Path() / "setting"; }
    int SnapshotFiles() const {
        int n = 0;
        // Snapshots only: each window's recovery note ("img" + number + "note") is not one.
        for (const auto& e : fs::directory_iterator(Settings())) {
            const std::string name = e.path().filename().string();
            if (name.rfind("img", 0) == 0 && name.find("note") == std::string::npos) ++n;
        }
        return n;
    }
};

TEST_F(Frame, NewDocumentsOfEverySizeAndColourCountAreNumberedInOrder) {
    int number = 0;
    for (int size = 0; size < 3; ++size)
        for (int colors = 0; colors < 2; ++colors) {
            TImageForm* f = NewDocument(size, colors);
            ASSERT_NE(f, nullptr);
            ++number;
            const int side = 16 * (size + 1), count = colors ? 256 : 16;
            EXPECT_EQ(f->windowTitle(), QString("Icon%1").arg(number));
            EXPECT_EQ(f->WindowNumber(), number);
            EXPECT_EQ(f->Doc().ImageWidth, side);
            EXPECT_EQ(f->Doc().ImageHeight, side);
            EXPECT_EQ(f->Doc().ColorCount, count);
            EXPECT_EQ(f->Doc().LayerCount(), 1);
            EXPECT_EQ(f->Doc().HistoryPosition, 1);
            EXPECT_FALSE(f->Doc().Modified);
            EXPECT_EQ(f->Canvas()->size(), QSize(side * f->Doc().Zoom, side * f->Doc().Zoom));
            EXPECT_EQ(frame_->DocumentInfoText(), QString("サイズ：%1×%1 色数：%2色    ").arg(side).arg(count));
        }
    // A 256-colour document without a palette file: entries 16-255 black.
    EXPECT_EQ(Active()->Doc().Palette[255], pq::PaletteEntry{});
    EXPECT_EQ(Active()->Doc().Palette[8], (pq::PaletteEntry{255, 255, 255, 0}));
    // Cancel in the New dialog makes nothing and keeps the number.
    prompt_.ExpectDialog("TfrmNew", [](QDialog&) { return false; });
    frame_->mlNewClick();
    EXPECT_EQ(frame_->NextWindowNumber(), 6);
    EXPECT_EQ(frame_->Forms().size(), 6);
}

// The second panel follows every change of size or colour count while the window stays active,
// undo and redo included.
TEST_F(Frame, DocumentInfoFollowsColourCountAndSizeChanges) {
    TImageForm* f = NewDocument(1, 1);
    auto shows = [this](int width, int height, int colors) {
        return frame_->DocumentInfoText() == QString("サイズ：%1×%2 色数：%3色    ").arg(width).arg(height).arg(colors);
    };
    ASSERT_TRUE(shows(32, 32, 256));
    f->MenuAction("mcColorCount")->trigger();
    EXPECT_TRUE(shows(32, 32, 16));
    f->MenuAction("mcColorCount")->trigger();
    EXPECT_TRUE(shows(32, 32, 256));
    prompt_.ExpectDialog("TfrmResize", [](QDialog& d) {
        static_cast<TfrmResize&>(d).SetSizeItem(2);
        return true;
    });
    f->MenuAction("miSize")->trigger();
    EXPECT_TRUE(shows(48, 48, 256));
    f->ApplyEdit(pq::ResizeCanvas(f->Doc(), 37, 21, false));
    EXPECT_TRUE(shows(37, 21, 256));
    f->meUndoClick();
    EXPECT_TRUE(shows(48, 48, 256));
    for (int i = 0; i < 2; ++i) f->meUndoClick();
    EXPECT_TRUE(shows(32, 32, 16));
    f->meRedoClick();
    EXPECT_TRUE(shows(32, 32, 256));
}

// However large the canvas, a new document window lies inside the document area, so that its
// caption (centred in the title bar) and its buttons are in sight; the canvas scrolls inside it.
TEST_F(Frame, LargeDocumentWindowsKeepTheirCaptionInSight) {
    ChooseZoom(10);
    for (auto [width, height] : {std::pair{45, 13}, std::pair{256, 256}, std::pair{255, 37}}) {
        SCOPED_TRACE(testing::Message() << width << "x" << height);
        TImageForm* f = frame_->OpenBuiltDocument(QString("Icon%1").arg(width), [=](pq::Document& d, int zoom) {
            pq::InitBlankDocument(d, width, height, 16, zoom);
        });
        ASSERT_NE(f, nullptr);
        const auto* sub = qobject_cast<QMdiSubWindow*>(f->parentWidget());
        const QWidget* area = frame_->MdiArea()->viewport();
        EXPECT_TRUE(area->rect().contains(sub->geometry()))
            << sub->geometry().x() << "," << sub->geometry().y() << " " << sub->width() << "x" << sub->height()
            << " in " << area->width() << "x" << area->height();
        EXPECT_EQ(f->Canvas()->size(), QSize(width * 10, height * 10));
    }
}

TEST_F(Frame, ZoomRuleAndTheListFollowingTheActiveDocument) {
    ChooseZoom(20);
    TImageForm* small = NewDocument(0, 0);
    EXPECT_EQ(small->Doc().Zoom, 20);
    EXPECT_EQ(frame_->ZoomCombo()->currentText(), "20倍");
    TImageForm* big = NewDocument(2, 0);
    EXPECT_EQ(big->Doc().Zoom, 10);
    EXPECT_EQ(frame_->ZoomCombo()->currentText(), "10倍");
    EXPECT_EQ(small->Doc().Zoom, 20);
    frame_->MdiArea()->setActiveSubWindow(qobject_cast<QMdiSubWindow*>(small->parentWidget()));
    EXPECT_EQ(frame_->ZoomCombo()->currentText(), "20倍");
    frame_->ZoomIn();  // at 20x nothing happens
    EXPECT_EQ(small->Doc().Zoom, 20);
    frame_->MdiArea()->setActiveSubWindow(qobject_cast<QMdiSubWindow*>(big->parentWidget()));
    EXPECT_EQ(frame_->ZoomCombo()->currentText(), "10倍");
    ChooseZoom(1);
    frame_->ZoomOut();  // at 1x nothing happens
    EXPECT_EQ(big->Doc().Zoom, 1);
    frame_->ActionNamed("tbZoomIn")->trigger();
    EXPECT_EQ(big->Doc().Zoom, 2);
    EXPECT_EQ(big->Canvas()->size(), QSize(96, 96));
    EXPECT_EQ(small->Doc().Zoom, 20);
}

TEST_F(Frame, ZoomChosenWithoutADocumentIsTheNextDocumentsZoom) {
    ChooseZoom(4);
    EXPECT_EQ(NewDocument(0, 0)->Doc().Zoom, 4);
}

TEST_F(Frame, MenusMergeWhileADocumentIsActiveAndWindowMenuStays) {
    EXPECT_EQ(MenuTitles(), QStringList({"ファイル(&F)", "表示(&V)", "ツール(&T)", "ヘルプ(&H)"}));
    TImageForm* f = NewDocument();
    EXPECT_EQ(MenuTitles(), QStringList({"ファイル(&F)", "編集(&E)", "表示(&V)", "イメージ(&I)", "パレット(&P)", "レイヤ(&L)",
                                         "選択範囲(&S)", "アイコン(&N)", "ツール(&T)", "ウィンドウ(&W)", "ヘルプ(&H)"}));
    ASSERT_TRUE(CloseWindow(f));
    EXPECT_EQ(MenuTitles(), QStringList({"ファイル(&F)", "表示(&V)", "ツール(&T)", "ウィンドウ(&W)", "ヘルプ(&H)"}));
}

TEST_F(Frame, WindowMenuListsTheDocumentsAndAboutBoxShows) {
    NewDocument();
    TImageForm* second = NewDocument();
    emit frame_->WindowMenu()->aboutToShow();
    QStringList entries;
    QAction* checked = nullptr;
    for (QAction* a : frame_->WindowMenu()->actions()) {
        if (a->isSeparator()) continue;
        entries << a->text();
        if (a->isChecked()) checked = a;
    }
    EXPECT_EQ(entries, QStringList({"重ねて表示(&C)", "上下に並べて表示(&H)", "左右に並べて表示(&V)", "&1 Icon1", "&2 Icon2"}));
    ASSERT_NE(checked, nullptr);
    EXPECT_EQ(checked->text(), "&2 Icon2");
    frame_->WindowMenu()->actions()[4]->trigger();  // Icon1
    EXPECT_EQ(Active()->windowTitle(), "Icon1");
    frame_->WindowMenu()->actions()[2]->trigger();  // side by side
    EXPECT_EQ(second->parentWidget()->x(), frame_->MdiArea()->viewport()->width() / 2);

    prompt_.ExpectDialog("TAboutBox", [](QDialog& d) {
        EXPECT_EQ(d.windowTitle(), "バージョン情報");
        QStringList texts;
        for (const QLabel* label : d.findChildren<QLabel*>()) texts << label->text();
        EXPECT_TRUE(texts.contains("Version 2.50")) << texts.join('|').toStdString();
        EXPECT_TRUE(texts.contains(QString("MIT ライセンスで配布しています。\nQt %1 を使用しています。").arg(qVersion())));
        return true;
    });
    frame_->AboutClick();
}

TEST_F(Frame, ToolbarHintsAndEnabling) {
    const std::pair<const char*, const char*> tips[] = {
        {"tbNew", "新規作成"},     {"tbOpen", "ファイルを開く"}, {"tbSave", "上書き保存"},   {"tbCut", "切り取り"},
        {"tbCopy", "コピー"},      {"tbPaste", "貼り付け"},       {"tbUndo", "元に戻す"},     {"tbRedo", "やり直し"},
        {"tbDelete", "クリア"},    {"tbZoomIn", "ズームイン"},    {"tbZoomOut", "ズームアウト"},
        {"tbSelectVisible", "選択範囲の表示"}, {"tbSelectClear", "選択範囲のクリア"}};
    for (const auto& [name, tip] : tips) EXPECT_EQ(frame_->ActionNamed(name)->toolTip(), tip) << name;
    EXPECT_EQ(frame_->ActionNamed("tbUndo")->statusTip(), "直前の操作を元に戻します。");
    EXPECT_EQ(frame_->ActionNamed("tbtEraser")->statusTip(), "指定した部分を消します。Shift 塗りつぶし Ctrl エアブラシ");
    EXPECT_EQ(frame_->ZoomCombo()->toolTip(), "倍率");
    EXPECT_EQ(frame_->ZoomCombo()->currentText(), "10倍");
    EXPECT_EQ(frame_->SizeCombo()->currentText(), "1");
    EXPECT_TRUE(frame_->ActionNamed("tbtZoom")->isChecked());
    EXPECT_TRUE(frame_->ActionNamed("tbSelectVisible")->isChecked());

    for (const char* name : {"tbSave", "tbCut", "tbCopy", "tbPaste", "tbUndo", "tbRedo", "tbDelete", "tbZoomIn",
                             "tbZoomOut", "tbSelectVisible", "tbSelectClear"})
        EXPECT_FALSE(frame_->ActionNamed(name)->isEnabled()) << name;
    EXPECT_TRUE(frame_->ActionNamed("tbNew")->isEnabled());
    NewDocument();
    EXPECT_TRUE(frame_->ActionNamed("tbZoomIn")->isEnabled());
    EXPECT_TRUE(frame_->ActionNamed("tbSelectVisible")->isEnabled());
    EXPECT_FALSE(frame_->ActionNamed("tbUndo")->isEnabled());
    // Cut and copy run the active document's cut and copy.
    EXPECT_TRUE(frame_->ActionNamed("tbCut")->isEnabled());
    EXPECT_TRUE(frame_->ActionNamed("tbCopy")->isEnabled());
    // Tools are exclusive.
    ChooseTool(kToolFill);
    EXPECT_FALSE(frame_->ActionNamed("tbtZoom")->isChecked());
    EXPECT_EQ(frame_->CurrentTool(), kToolFill);
    EXPECT_EQ(Active()->Canvas()->cursor().shape(), Qt::BitmapCursor);
    ChooseTool(kToolMove);
    EXPECT_EQ(Active()->Canvas()->cursor().shape(), Qt::SizeAllCursor);
    ChooseTool(kToolLine);
    EXPECT_EQ(Active()->Canvas()->cursor().shape(), Qt::CrossCursor);
}

TEST_F(Frame, ShortcutsReachTheActiveDocument) {
    frame_->activateWindow();
    QApplication::setActiveWindow(frame_.get());
    TImageForm* f = NewDocument();
    ChooseTool(kToolBrush);
    ClickCell(1, 1);
    QTest::keyClick(frame_.get(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(PixelAt(1, 1), -1);
    QTest::keyClick(frame_.get(), Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(PixelAt(1, 1), 0);
    prompt_.ExpectDialog("TfrmNew", [](QDialog&) { return false; });
    QTest::keyClick(frame_.get(), Qt::Key_N, Qt::ControlModifier);
    EXPECT_EQ(Active(), f);
}

TEST_F(Frame, LongHintGoesToStatusPanelZero) {
    frame_->ActionNamed("tbZoomIn")->showStatusText(frame_->StandardToolBar());
    EXPECT_EQ(frame_->StatusText(), "倍率を上げます。");
}

TEST_F(Frame, CommandLineAndDroppedFiles) {
    const fs::path ico = folder_ / "a.ico";
    const fs::path text = folder_ / "notes.txt";
    std::ofstream(ico) << "x";
    std::ofstream(text) << "x";
    // A known format whose reader refuses the file, a file of no kind the editor opens and a
    // name that is no file are listed in one message after start-up; the good file opens.
    prompt_.ExpectMessage(PromptAnswer::Ok);
    const QString missing = QString::fromStdString((folder_ / "missing.ico").string());
    const QStringList failures = frame_->ShowAtStartup(
        {QString::fromStdString(ico.string()), QString::fromStdString(text.string()), missing,
         QString::fromStdString((pq::test::DataDir() / "three_layers.pqf").string())});
    ASSERT_EQ(frame_->Forms().size(), 1);
    EXPECT_EQ(frame_->NextWindowNumber(), 3);
    ASSERT_EQ(failures.size(), 3);
    EXPECT_EQ(failures[1], UnknownKindMessage(QString::fromStdString(text.string())));
    EXPECT_EQ(failures[2], "「" + missing + "」が見つかりません。");
    EXPECT_EQ(prompt_.Shown().back().Text, "次のファイルを開けませんでした。\n\n" + failures.join("\n\n"));
    frame_->Forms()[0]->Doc().Modified = false;
    frame_->Forms()[0]->parentWidget()->close();
    Settle();
    // A dropped folder, or a dropped name gone before it is opened, is no file: refused as
    // unreadable, never a blank document under its name.
    for (const fs::path& path : {folder_.Path(), folder_ / "gone.pqf"}) {
        prompt_.ExpectMessage(PromptAnswer::Ok);
        Drop({QUrl::fromLocalFile(QString::fromStdString(path.string()))});
        EXPECT_TRUE(frame_->Forms().isEmpty());
        EXPECT_EQ(prompt_.Shown().back().Text, QString::fromStdString(pq::CannotReadMessage(path)));
    }
    EXPECT_EQ(NewDocument()->windowTitle(), "Icon6");
    EXPECT_TRUE(prompt_.Done());
}

TEST_F(Frame, ClosePromptYesNoCancel) {
    TImageForm* f = NewDocument();
    EXPECT_TRUE(CloseWindow(f));  // unchanged: no question
    f = NewDocument();
    Stroke();
    prompt_.ExpectMessage(PromptAnswer::Cancel);
    EXPECT_FALSE(CloseWindow(f));
    const auto& q = prompt_.Shown().back();
    EXPECT_EQ(q.Title, "上書き確認");
    EXPECT_EQ(q.Text, "Icon2\nは変更されています。保存しますか？");
    EXPECT_EQ(q.Buttons, PromptButtons::YesNoCancel);
    EXPECT_EQ(q.Icon, PromptIcon::Information);
    prompt_.ExpectMessage(PromptAnswer::No);
    EXPECT_TRUE(CloseWindow(f));
    EXPECT_TRUE(frame_->Forms().isEmpty());
}

TEST_F(Frame, YesThenCancelledSaveKeepsThePictureAndRefusesTheFrameClose) {
    TImageForm* f = NewDocument();
    Stroke();
    prompt_.ExpectMessage(PromptAnswer::Yes);
    prompt_.ExpectSaveFile(std::nullopt);
    EXPECT_FALSE(CloseWindow(f));
    ASSERT_EQ(frame_->Forms().size(), 1);
    // A save that fails keeps it too, and the failure is shown.
    prompt_.ExpectMessage(PromptAnswer::Yes);
    prompt_.ExpectSaveFile(QString::fromStdString((folder_ / "missing" / "x.pqf").string()));
    prompt_.ExpectMessage(PromptAnswer::Ok);
    EXPECT_FALSE(frame_->close());
    EXPECT_EQ(frame_->Forms().size(), 1);
    EXPECT_TRUE(f->Doc().Modified);
}

TEST_F(Frame, FrameCloseAsksEveryModifiedDocument) {
    for (int i = 0; i < 3; ++i) {
        NewDocument();
        Stroke();
    }
    prompt_.ExpectMessage(PromptAnswer::No);
    prompt_.ExpectMessage(PromptAnswer::Cancel);
    prompt_.ExpectMessage(PromptAnswer::No);
    EXPECT_FALSE(frame_->close());
    Settle();
    ASSERT_EQ(frame_->Forms().size(), 1);
    EXPECT_EQ(frame_->Forms().front()->windowTitle(), "Icon2");
    // The closed windows took their snapshot files with them.
    EXPECT_EQ(SnapshotFiles(), 2);
}

TEST_F(Frame, ProgramEndRemovesEverySnapshotAlsoOfWindowsClosedJustBefore) {
    NewDocument();
    Stroke();
    TImageForm* second = NewDocument();
    Stroke();
    prompt_.ExpectMessage(PromptAnswer::No);
    ASSERT_TRUE(second->parentWidget()->close());  // deletion still pending
    EndFrame();
    EXPECT_EQ(SnapshotFiles(), 0);
}

TEST_F(Frame, OptionsSwitchUndoOffAndOn) {
    TImageForm* f = NewDocument();
    Stroke();
    ASSERT_GT(SnapshotFiles(), 0);
    prompt_.ExpectDialog("TfrmOption", [](QDialog& d) {
        auto& o = static_cast<TfrmOption&>(d);
        EXPECT_TRUE(o.UndoEnabled());
        o.SetUndoEnabled(false);
        return true;
    });
    frame_->mtOptionClick();
    EXPECT_FALSE(frame_->UndoEnabled());
    EXPECT_EQ(f->Doc().HistoryPosition, 0);
    EXPECT_EQ(SnapshotFiles(), 0);
    EXPECT_FALSE(frame_->ActionNamed("tbUndo")->isEnabled());
    ClickCell(2, 2);
    EXPECT_EQ(UndoCaption(), "元に戻せません(&U)");
    EXPECT_EQ(RedoCaption(), "やり直せません(&R)");

    prompt_.ExpectDialog("TfrmOption", [](QDialog& d) {
        static_cast<TfrmOption&>(d).SetUndoEnabled(true);
        return true;
    });
    frame_->mtOptionClick();
    EXPECT_EQ(f->Doc().HistoryPosition, 1);
    ClickCell(3, 3);
    EXPECT_EQ(UndoCaption(), "元に戻す(&U) - ブラシツール");
    f->meUndoClick();
    EXPECT_EQ(PixelAt(3, 3), -1);
    EXPECT_EQ(PixelAt(2, 2), 0);

    // Cancel changes nothing, a swatch click goes through the colour chooser.
    prompt_.ExpectDialog("TfrmOption", [this](QDialog& d) {
        auto& o = static_cast<TfrmOption&>(d);
        prompt_.ExpectColor(QColor(128, 0, 0));
        o.StaticText1Click();
        EXPECT_EQ(o.Color1(), 0x000080u);
        return false;
    });
    frame_->mtOptionClick();
    EXPECT_EQ(frame_->Settings().TransparencyColor1, 0xFFFFFFu);
}

TEST_F(Frame, RecentFilesListOpenedAndSavedFilesNewestFirstAcrossStarts) {
    const fs::path a = folder_ / "a&b.pqf", b = folder_ / "b.pqf";
    fs::copy_file(pq::test::DataDir() / "three_layers.pqf", a);
    frame_->OpenFile(QString::fromStdString(a.string()));
    prompt_.ExpectSaveFile(QString::fromStdString(b.string()));
    Active()->SaveAs();
    EndFrame();
    EXPECT_EQ(fs::file_size(Settings() / "pqset"), 26u);

    StartFrame();
    // Both File menus hold the same list, just above the separator before 終了.
    NewDocument();
    QMenu* recent = frame_->RecentFilesMenu();
    ASSERT_NE(recent, nullptr);
    const QList<QAction*> docFile = Active()->findChild<QMenu*>("mFile")->actions();
    EXPECT_EQ(docFile.value(docFile.size() - 3), recent->menuAction());
    emit recent->aboutToShow();
    QStringList entries;
    for (QAction* e : recent->actions()) entries << e->text();
    EXPECT_EQ(entries, (QStringList{"&1 " + QString::fromStdString(b.string()),
                                    "&2 " + QString::fromStdString(folder_.Path().string()) + "/a&&b.pqf"}));
    // A file gone since is said and leaves the list; one still there opens.
    fs::remove(b);
    prompt_.ExpectMessage(PromptAnswer::Ok);
    recent->actions()[0]->trigger();
    EXPECT_EQ(frame_->RecentFiles(), std::vector<std::string>{a.string()});
    emit recent->aboutToShow();
    recent->actions()[0]->trigger();
    EXPECT_EQ(Active()->FilePath(), QString::fromStdString(a.string()));
    EXPECT_TRUE(prompt_.Done());
}

TEST_F(Frame, SettingsFilesAreWrittenAtExitAndReadAtTheNextStart) {
    prompt_.ExpectDialog("TfrmOption", [this](QDialog& d) {
        auto& o = static_cast<TfrmOption&>(d);
        prompt_.ExpectColor(QColor(128, 0, 0));
        o.StaticText1Click();
        prompt_.ExpectColor(QColor(0, 0, 0));
        o.StaticText2Click();
        o.SetUndoEnabled(false);
        return true;
    });
    frame_->mtOptionClick();
    frame_->ColorPalette()->move(100, 120);
    frame_->setGeometry(30, 40, 700, 500);
    const QPoint framePos = frame_->pos();
    EndFrame();
    EXPECT_EQ(fs::file_size(Settings() / "pqset"), 26u);
    for (const char* name : {"pqcpset", "pqlpset", "pqvwset"}) EXPECT_EQ(fs::file_size(Settings() / name), 8u) << name;

    StartFrame();
    EXPECT_EQ(frame_->Settings().TransparencyColor1, 0x000080u);
    EXPECT_EQ(frame_->Settings().TransparencyColor2, 0u);
    EXPECT_FALSE(frame_->UndoEnabled());
    EXPECT_EQ(frame_->ColorPalette()->pos(), QPoint(100, 120));
    EXPECT_EQ(frame_->pos(), framePos);
    // The new colours reach new documents' canvases.
    TImageForm* f = NewDocument();
    EXPECT_EQ(f->ViewPixel(0, 0), (pq::Rgb{128, 0, 0}));
    EXPECT_EQ(f->ViewPixel(8, 0), (pq::Rgb{0, 0, 0}));
}

TEST_F(Frame, PositionsOffEveryScreenComeBackOntoThePrimaryScreen) {
    EndFrame();
    pq::WriteWindowPosition(Settings() / "pqcpset", pq::WindowPosition{-20000, -20000});
    pq::WriteWindowPosition(Settings() / "pqvwset", pq::WindowPosition{3, 4});
    pq::MainSettings s;
    s.HasBounds = true;
    s.Left = 30000, s.Top = 100, s.Width = 640, s.Height = 460;
    pq::WriteMainSettings(Settings() / "pqset", s);
    StartFrame();
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    EXPECT_TRUE(screen.contains(frame_->ColorPalette()->pos()));
    EXPECT_TRUE(screen.contains(frame_->pos()));
    EXPECT_EQ(frame_->Preview()->pos(), QPoint(3, 4));
}

TEST_F(Frame, PreviewAndColourPaletteFollowTheDocuments) {
    TImageForm* f = NewDocument();
    Stroke();  // cell (1, 1) black
    const QImage& pic = frame_->Preview()->Picture();
    EXPECT_EQ(pic.size(), QSize(50, 50));
    EXPECT_EQ(QColor(pic.pixel(18, 18)), QColor(0, 0, 0));
    EXPECT_EQ(QColor(pic.pixel(17, 17)), TfrmView::DesktopColor());  // transparent pixel
    EXPECT_EQ(QColor(pic.pixel(16, 16)), TfrmView::DesktopColor());  // margin
    EXPECT_TRUE(frame_->ColorPalette()->Panel1()->isVisibleTo(frame_->ColorPalette()));
    prompt_.ExpectMessage(PromptAnswer::No);
    EXPECT_TRUE(CloseWindow(f));
    EXPECT_TRUE(frame_->Forms().isEmpty());
    EXPECT_FALSE(frame_->ColorPalette()->Panel1()->isVisibleTo(frame_->ColorPalette()));
    EXPECT_EQ(QColor(frame_->Preview()->Picture().pixel(18, 18)), TfrmView::DesktopColor());
    EXPECT_EQ(frame_->DocumentInfoText(), "");
}

}  // namespace
