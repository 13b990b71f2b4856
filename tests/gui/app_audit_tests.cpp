// The frame's fixed texts and rules: its own menus, the toolbar layout, the tool buttons with
// their hints and canvas cursors, the zoom and size lists, the saved window state and the
// controls of the Options dialog.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <QToolBar>
#include <filesystem>

#include "core/formats/settings_files.h"
#include "gui/app/main_form.h"
#include "gui/app/option_dialog.h"
#include "gui/document/canvas.h"
#include "gui/document/image_form.h"
#include "support/editor_fixture.h"

using namespace pq::gui;
using pq::test::EditorTest;
namespace fs = std::filesystem;

namespace {

class AppAudit : public EditorTest {
protected:
    QMenu* FrameMenu(const QString& title) const {
        for (QAction* a : frame_->menuBar()->actions())
            if (a->text() == title) return a->menu();
        return nullptr;
    }
    // "caption|shortcut|long hint" of every entry of a menu, submenus as "caption>".
    static QStringList Entries(QMenu* menu) {
        QStringList out;
        for (QAction* a : menu->actions()) {
            if (a->isSeparator()) continue;
            if (a->menu()) out << a->text() + ">";
            else out << a->text() + "|" + a->shortcut().toString() + "|" + a->statusTip();
        }
        return out;
    }
    void WriteState(int state) {
        frame_.reset();
        pq::MainSettings s;
        s.HasBounds = true;
        s.Left = 10, s.Top = 10, s.Width = 640, s.Height = 460;
        s.WindowState = state;
        pq::WriteMainSettings(folder_.Path() / "setting" / "pqset", s);
        frame_ = std::make_unique<TMainForm>(folder_.Path() / "setting", &prompt_);
        frame_->ShowAtStartup({});
    }
};

TEST_F(AppAudit, FrameMenusWithoutADocument) {
    ASSERT_NE(FrameMenu("ファイル(&F)"), nullptr);
    EXPECT_EQ(Entries(FrameMenu("ファイル(&F)")),
              QStringList({"新規作成(&N)...|Ctrl+N|新しいアイコンを作成します。",
                           "新規アイコンセット...||複数のサイズのページを持つアイコンを作成します。",
                           "開く(&O)...|Ctrl+O|既存のファイルを開きます。",
                           "最近使ったファイル(&R)>",
                           "カーソルテーマの書き出し...||開いているカーソルとカーソルのファイルから、カーソルテーマを書き出します。",
                           "Pixquilの終了(&X)|Ctrl+Q|Pixquilを終了します。"}));
    QMenu* show = FrameMenu("表示(&V)");
    ASSERT_NE(show, nullptr);
    EXPECT_EQ(Entries(show), QStringList({"ツール(&T)>", "ステータスバー(&S)||"}));
    EXPECT_EQ(Entries(show->actions()[0]->menu()),
              QStringList({"標準ツールバー||", "編集ツールバー||", "ビューウィンドウ||", "レイヤパレット||", "カラーパレット||"}));
    EXPECT_EQ(Entries(FrameMenu("ツール(&T)")),
              QStringList({"実行可能ファイルから読み込み(&E)...||EXE、DLLからアイコンを取り出します。",
                           "ホットスポット(&H)...||カーソルのホットスポットを設定します。",
                           "オプション(&O)...||オプションを表示します。"}));
    EXPECT_EQ(Entries(FrameMenu("ヘルプ(&H)")),
              QStringList({"トピックの検索(&T)...|F1|", "バージョン情報(&A)...||Pixquilの情報を表示します。"}));
    EXPECT_EQ(Entries(frame_->WindowMenu()),
              QStringList({"重ねて表示(&C)||ウィンドウを重ねて表示します。", "上下に並べて表示(&H)||ウィンドウを上下にに並べて表示します。",
                           "左右に並べて表示(&V)||ウィンドウを左右にに並べて表示します。"}));

    // The 表示 toggles follow the bars and windows when the menu opens, and switch them.
    frame_->EditToolBar()->hide();
    emit show->aboutToShow();
    EXPECT_FALSE(frame_->ViewToggleActions()[1]->isChecked());
    EXPECT_TRUE(frame_->ViewToggleActions()[0]->isChecked());
    frame_->ViewToggleActions()[1]->trigger();
    EXPECT_TRUE(frame_->EditToolBar()->isVisible());
    frame_->StatusBarToggle()->trigger();
    EXPECT_FALSE(frame_->StatusBarToggle()->isChecked());
}

TEST_F(AppAudit, StandardToolbarOrderWithItsSeparators) {
    QStringList order;
    QToolBar* bar = frame_->StandardToolBar();
    for (QAction* a : bar->actions()) {
        if (a->isSeparator()) order << "|";
        else if (a->objectName().isEmpty() && bar->widgetForAction(a)) order << bar->widgetForAction(a)->objectName();
        else order << a->objectName();
    }
    EXPECT_EQ(order, QStringList({"tbNew", "tbOpen", "tbSave", "|", "tbCut", "tbCopy", "tbPaste", "|", "tbUndo", "tbRedo",
                                  "|", "tbDelete", "|", "tbZoomIn", "tbZoomOut", "cmbZoom", "|", "tbSelectVisible", "|",
                                  "tbSelectClear"}));
    EXPECT_EQ(frame_->ActionNamed("tbCut")->statusTip(), "選択範囲を切り取ります。");
    EXPECT_EQ(frame_->ActionNamed("tbCopy")->statusTip(), "選択範囲をクリップボードにコピーします。");
    EXPECT_EQ(frame_->ZoomCombo()->statusTip(), "倍率を指定します。");
}

TEST_F(AppAudit, ToolButtonsHintsAndCursorsInEveryWindow) {
    const char* const tips[][2] = {
        {"ズームツール", "倍率を設定します。"},
        {"選択ツール", "指定した矩形を選択範囲にします。"},
        {"移動ツール", "レイヤ、又は選択範囲を移動します。"},
        {"スポイトツール", "色を画像から取得します。"},
        {"ブラシツール", "フリーハンドで描きます。"},
        {"消しゴムツール", "指定した部分を消します。Shift 塗りつぶし Ctrl エアブラシ"},
        {"エアブラシツール", "ランダムに点を打ちます。"},
        {"クローンブラシツール", "指定した位置の画像を他の座標へコピーします。"},
        {"テキストツール", "指定した位置へ文字を描きます。"},
        {"塗りつぶしツール", "指定した位置から連続した同じ色を塗りつぶします。"},
        {"直線ツール", "直線を描きます。"},
        {"長方形ツール", "長方形を描きます。"},
        {"楕円ツール", "楕円を描きます。"},
        {"塗りつぶし長方形ツール", "内部を塗りつぶした長方形を描きます。"},
        {"塗りつぶし楕円ツール", "内部を塗りつぶした楕円を描きます。"}};
    QStringList buttons;
    for (QAction* a : frame_->EditToolBar()->actions())
        if (a->isCheckable()) buttons << a->objectName();
    EXPECT_EQ(buttons, QStringList({"tbtZoom", "tbtSelect", "tbtMove", "tbtSpoit", "tbtBrush", "tbtEraser", "tbtAir",
                                    "tbtCloneBrush", "tbtText", "tbtFill", "tbtLine", "tbtRect", "tbtEllipse",
                                    "tbtFillRect", "tbtFillEllipse"}));

    TImageForm* first = NewDocument();
    TImageForm* second = NewDocument();
    // The zoom tool at start: its cursor is on the canvas of each new window.
    EXPECT_EQ(first->Canvas()->cursor().shape(), Qt::BitmapCursor);
    for (int tool = 0; tool < kToolCount; ++tool) {
        QAction* a = frame_->ActionNamed(ToolInfoOf(tool).ButtonName);
        ASSERT_NE(a, nullptr) << tool;
        EXPECT_EQ(a->toolTip(), QString::fromUtf8(tips[tool][0])) << tool;
        EXPECT_EQ(a->statusTip(), QString::fromUtf8(tips[tool][1])) << tool;
        ChooseTool(tool);
        const Qt::CursorShape expected = tool == kToolZoom || tool == kToolFill ? Qt::BitmapCursor
                                         : tool == kToolMove                    ? Qt::SizeAllCursor
                                                                                : Qt::CrossCursor;
        EXPECT_EQ(first->Canvas()->cursor().shape(), expected) << tool;
        EXPECT_EQ(second->Canvas()->cursor().shape(), expected) << tool;
    }
    // Choosing the clone brush again forgets the active document's source point.
    ChooseTool(kToolCloneBrush);
    second->Doc().CloneState = 2;
    first->Doc().CloneState = 2;
    ChooseTool(kToolCloneBrush);
    EXPECT_EQ(second->Doc().CloneState, 0);
    EXPECT_EQ(first->Doc().CloneState, 2);
}

TEST_F(AppAudit, ZoomAndSizeLists) {
    QStringList zooms, sizes;
    for (int i = 0; i < frame_->ZoomCombo()->count(); ++i) zooms << frame_->ZoomCombo()->itemText(i);
    for (int i = 0; i < frame_->SizeCombo()->count(); ++i) sizes << frame_->SizeCombo()->itemText(i);
    EXPECT_EQ(zooms, QStringList({"20倍", "18倍", "16倍", "14倍", "12倍", "10倍", "8倍", "6倍", "4倍", "2倍", "1倍"}));
    EXPECT_EQ(sizes, QStringList({"1", "2", "3", "4", "5", "6", "7", "8", "9", "10"}));
    EXPECT_EQ(frame_->SizeCombo()->toolTip(), "サイズ");
    EXPECT_EQ(frame_->SizeCombo()->statusTip(), "ブラシ、線の幅です。");
    for (int entry = 0; entry <= 10; ++entry) EXPECT_EQ(ZoomEntryOfFactor(ZoomFactorOfEntry(entry)), entry);
    EXPECT_EQ(ZoomEntryOfFactor(3), 0);
    ChooseSize(7);
    EXPECT_EQ(frame_->BrushSize(), 7);
    // One step at a time, none beyond either end; without a document only the list moves.
    ChooseZoom(2);
    frame_->ZoomOut();
    EXPECT_EQ(frame_->SelectedZoom(), 1);
    frame_->ZoomOut();
    EXPECT_EQ(frame_->SelectedZoom(), 1);
    frame_->ZoomIn();
    EXPECT_EQ(frame_->SelectedZoom(), 2);
    EXPECT_EQ(NewDocument()->Doc().Zoom, 2);
}

TEST_F(AppAudit, FirstStartHasTheDesignedOuterBoundsAndTheFrameShortcuts) {
    EXPECT_EQ(frame_->windowTitle(), "Pixquil");
    EXPECT_EQ(frame_->frameGeometry().size(), QSize(640, 460));
    frame_->activateWindow();
    QApplication::setActiveWindow(frame_.get());
    prompt_.ExpectDialog("TfrmNew", [](QDialog&) { return false; });
    QTest::keyClick(frame_.get(), Qt::Key_N, Qt::ControlModifier);
    prompt_.ExpectOpenFile(std::nullopt);
    QTest::keyClick(frame_.get(), Qt::Key_O, Qt::ControlModifier);
    EXPECT_TRUE(prompt_.Done());
}

TEST_F(AppAudit, FileOpenCancelledOpensNothingAndKeepsTheNumber) {
    prompt_.ExpectOpenFile(std::nullopt);
    frame_->FileOpen1Execute();
    EXPECT_EQ(frame_->NextWindowNumber(), 0);
    EXPECT_TRUE(frame_->Forms().isEmpty());
    EXPECT_EQ(NewDocument()->windowTitle(), "Icon1");
}

TEST_F(AppAudit, SavedWindowStateIsRestoredAndWrittenBack) {
    WriteState(2);
    EXPECT_TRUE(frame_->isMaximized());
    frame_.reset();
    EXPECT_EQ(pq::ReadMainSettings(folder_.Path() / "setting" / "pqset").WindowState, 2);
    WriteState(1);
    EXPECT_TRUE(frame_->isMinimized());
    frame_.reset();
    EXPECT_EQ(pq::ReadMainSettings(folder_.Path() / "setting" / "pqset").WindowState, 1);
    WriteState(0);
    EXPECT_FALSE(frame_->isMinimized());
    EXPECT_FALSE(frame_->isMaximized());
}

TEST_F(AppAudit, OptionsDialogControlsAndSwatchClicks) {
    prompt_.ExpectDialog("TfrmOption", [this](QDialog& d) -> bool {
        auto& o = static_cast<TfrmOption&>(d);
        EXPECT_EQ(d.windowTitle(), "オプション");
        const std::pair<const char*, const char*> captions[] = {
            {"GroupBox1", "アンドゥ"}, {"CheckBox1", "アンドゥ機能を使用する"}, {"GroupBox2", "透過"},
            {"Label1", "色1"},        {"Label2", "色2"},                    {"Button1", "OK"},
            {"Button2", "キャンセル"}};
        for (const auto& [name, caption] : captions) {
            QWidget* w = d.findChild<QWidget*>(name);
            EXPECT_NE(w, nullptr) << name;
            if (!w) continue;
            EXPECT_EQ(w->property(w->inherits("QGroupBox") ? "title" : "text").toString(), QString::fromUtf8(caption))
                << name;
        }
        EXPECT_TRUE(d.findChild<QWidget*>("Button1")->property("default").toBool());
        EXPECT_EQ(o.Swatch1()->size(), QSize(41, 33));
        // A right click opens nothing; a left click opens the chooser preset to the swatch.
        QTest::mouseClick(o.Swatch2(), Qt::RightButton);
        EXPECT_TRUE(prompt_.Done());
        prompt_.ExpectColor(std::nullopt);
        QTest::mouseClick(o.Swatch2(), Qt::LeftButton);
        EXPECT_TRUE(prompt_.Done());
        EXPECT_EQ(o.Color2(), 0xC8C8C8u);  // cancelled chooser leaves the swatch
        prompt_.ExpectColor(QColor(0, 0, 255));
        QTest::mouseClick(o.Swatch2(), Qt::LeftButton);
        EXPECT_EQ(o.Color2(), 0xFF0000u);
        return true;
    });
    frame_->mtOptionClick();
    EXPECT_EQ(frame_->Settings().TransparencyColor2, 0xFF0000u);
    EXPECT_EQ(frame_->Settings().TransparencyColor1, 0xFFFFFFu);
    EXPECT_TRUE(frame_->UndoEnabled());
}

}  // namespace
