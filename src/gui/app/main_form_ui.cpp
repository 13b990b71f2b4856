// The frame's controls: actions, the toolbars "標準" and "編集", the menus (rebuilt when the active
// document changes) and the two-panel status bar.
#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QStatusBar>
#include <QToolBar>

#include "gui/app/artwork.h"
#include "gui/kit/command_table.h"
#include "gui/kit/frame_commands.h"
#include "gui/app/main_form.h"
#include "gui/document/clipboard_bridge.h"
#include "gui/document/clipboard_commands.h"
#include "gui/document/icon_menu.h"
#include "gui/document/image_form.h"
#include "gui/document/selection_commands.h"
#include "gui/formats/cursor_theme_dialog.h"
#include "gui/formats/file_commands.h"
#include "gui/formats/hotspot_dialog.h"
#include "gui/palettes/color_palette.h"
#include "gui/palettes/layer_palette.h"
#include "gui/palettes/preview_window.h"

namespace pq::gui {

void TMainForm::CreateActions() {
    auto toggle = [this](const QString& text, const QString& name) {
        auto* a = new QAction(text, this);
        a->setObjectName(name);
        a->setCheckable(true);
        a->setChecked(true);
        return a;
    };
    actShowStandard_ = toggle("標準ツールバー", "mvtNormal");
    actShowEdit_ = toggle("編集ツールバー", "mvtEdit");
    actShowView_ = toggle("ビューウィンドウ", "mvtView");
    actShowLayer_ = toggle("レイヤパレット", "mvtLayer");
    actShowColor_ = toggle("カラーパレット", "mvtColor");
    actStatusBar_ = toggle("ステータスバー(&S)", "mvStatus");
    connect(actShowStandard_, &QAction::triggered, this, [this](bool on) { tbStandard_->setVisible(on); });
    connect(actShowEdit_, &QAction::triggered, this, [this](bool on) { tbEdit_->setVisible(on); });
    connect(actShowView_, &QAction::triggered, this, [this](bool on) { preview_->setVisible(on); });
    connect(actShowLayer_, &QAction::triggered, this, [this](bool on) { layerPalette_->setVisible(on); });
    connect(actShowColor_, &QAction::triggered, this, [this](bool on) { colorPalette_->setVisible(on); });
    connect(actStatusBar_, &QAction::triggered, this, [this](bool on) { statusBar()->setVisible(on); });
}

QList<QAction*> TMainForm::ViewToggleActions() const {
    return {actShowStandard_, actShowEdit_, actShowView_, actShowLayer_, actShowColor_};
}

void TMainForm::UpdateViewToggles() {
    const std::pair<QAction*, bool> states[] = {
        {actShowStandard_, tbStandard_->isVisible()}, {actShowEdit_, tbEdit_->isVisible()},
        {actShowView_, preview_ && preview_->isVisible()}, {actShowLayer_, layerPalette_ && layerPalette_->isVisible()},
        {actShowColor_, colorPalette_ && colorPalette_->isVisible()}, {actStatusBar_, statusBar()->isVisible()}};
    for (const auto& [action, visible] : states) action->setChecked(visible);
}

void TMainForm::CreateToolBars() {
    tbStandard_ = addToolBar("標準");
    tbStandard_->setObjectName("tbStandard");
    tbStandard_->setIconSize(QSize(16, 16));
    // Each button's text is also its tooltip; document commands act on the active document.
    auto button = [this](Command row) {
        row.Tooltip = row.Caption;
        row.Icon = CommandIcon(row.Name);
        return AddCommandButton(tbStandard_, row, *this);
    };
    auto withFrame = [](void (*run)(FrameServices&, TImageForm&)) {
        return [run](TImageForm& form, FrameServices& frame) { run(frame, form); };
    };
    button({.Name = "tbNew", .Caption = "新規作成", .Hint = "新しいアイコンを作成します。",
            .RunOnFrame = [](FrameServices& frame) { frame.mlNewClick(); }});
    button({.Name = "tbOpen", .Caption = "ファイルを開く", .Hint = "既存のファイルを開きます。",
            .RunOnFrame = [](FrameServices& frame) { frame.FileOpen1Execute(); }});
    button({.Name = "tbSave", .Caption = "上書き保存", .Hint = "既存のファイルに上書きします。",
            .Run = [](TImageForm& form, FrameServices&) { form.Save(); }});
    tbStandard_->addSeparator();
    button({.Name = "tbCut", .Caption = "切り取り", .Hint = "選択範囲を切り取ります。", .Run = withFrame(&meCutClick)});
    button({.Name = "tbCopy", .Caption = "コピー", .Hint = "選択範囲をクリップボードにコピーします。",
            .Run = withFrame(&meCopyClick)});
    button({.Name = "tbPaste", .Caption = "貼り付け", .Hint = "クリップボードの内容を新しいレイヤに貼り付けます。",
            .Run = withFrame(&mePasteClick), .EnabledWhen = [](const TImageForm&, const FrameServices&) {
                return Clipboard().HasPicture();  // an ordinary image or "image/png"
            }});
    tbStandard_->addSeparator();
    button({.Name = "tbUndo", .Caption = "元に戻す", .Hint = "直前の操作を元に戻します。",
            .Run = [](TImageForm& form, FrameServices&) { form.meUndoClick(); },
            .EnabledWhen = [](const TImageForm& form, const FrameServices&) { return pq::ComputeEditMenu(form.Doc(), form.HistoryCtx()).UndoEnabled; }});
    button({.Name = "tbRedo", .Caption = "やり直し", .Hint = "元に戻したのを取り消します。",
            .Run = [](TImageForm& form, FrameServices&) { form.meRedoClick(); },
            .EnabledWhen = [](const TImageForm& form, const FrameServices&) { return pq::ComputeEditMenu(form.Doc(), form.HistoryCtx()).RedoEnabled; }});
    tbStandard_->addSeparator();
    button({.Name = "tbDelete", .Caption = "クリア", .Hint = "イメージをクリアします。", .Run = OnDocument(&meClearClick)});
    tbStandard_->addSeparator();
    button({.Name = "tbZoomIn", .Caption = "ズームイン", .Hint = "倍率を上げます。",
            .Run = [](TImageForm&, FrameServices& frame) { frame.ZoomIn(); }});
    button({.Name = "tbZoomOut", .Caption = "ズームアウト", .Hint = "倍率を下げます。",
            .Run = [](TImageForm&, FrameServices& frame) { frame.ZoomOut(); }});
    cmbZoom_ = new QComboBox(this);
    cmbZoom_->setObjectName("cmbZoom");
    for (const char* item : {"20倍", "18倍", "16倍", "14倍", "12倍", "10倍", "8倍", "6倍", "4倍", "2倍", "1倍"})
        cmbZoom_->addItem(item);
    cmbZoom_->setToolTip("倍率");
    cmbZoom_->setStatusTip("倍率を指定します。");
    cmbZoom_->setFocusPolicy(Qt::NoFocus);
    connect(cmbZoom_, &QComboBox::activated, this, [this](int) { cmbZoomChange(); });
    tbStandard_->addWidget(cmbZoom_);
    tbStandard_->addSeparator();
    // The outline switch holds its state in its check mark (SelectionOutlineVisible).
    actSelectVisible_ = new QAction(CommandIcon("tbSelectVisible"), "選択範囲の表示", tbStandard_);
    actSelectVisible_->setObjectName("tbSelectVisible");
    actSelectVisible_->setToolTip("選択範囲の表示");
    actSelectVisible_->setStatusTip("選択範囲の境界線の表示を切り替えます。");
    actSelectVisible_->setCheckable(true);
    actSelectVisible_->setChecked(true);
    tbStandard_->addAction(actSelectVisible_);
    connect(actSelectVisible_, &QAction::toggled, this, [this](bool on) {
        if (!on)
            if (TImageForm* form = ActiveForm()) form->Present();
    });
    tbStandard_->addSeparator();
    button({.Name = "tbSelectClear", .Caption = "選択範囲のクリア", .Hint = "選択範囲をクリアします。",
            .Run = OnDocument(&msClearClick),
            .EnabledWhen = [](const TImageForm& form, const FrameServices&) { return form.Doc().HasSelection; }});

    addToolBarBreak();
    tbEdit_ = addToolBar("編集");
    tbEdit_->setObjectName("tbEdit");
    tbEdit_->setIconSize(QSize(16, 16));
    toolGroup_ = new QActionGroup(this);
    toolGroup_->setExclusive(true);
    for (int tool = 0; tool < kToolCount; ++tool) {
        const ToolInfo& info = ToolInfoOf(tool);
        auto* a = new QAction(ToolIcon(tool), info.Tooltip, this);
        a->setObjectName(info.ButtonName);
        a->setToolTip(info.Tooltip);
        a->setStatusTip(info.StatusText);
        a->setCheckable(true);
        toolGroup_->addAction(a);
        tbEdit_->addAction(a);
        toolActions_ << a;
        connect(a, &QAction::triggered, this, [this, tool] { SelectTool(tool); });
    }
    tbEdit_->addSeparator();
    auto* sizeLabel = new QLabel("ｻｲｽﾞ", this);
    sizeLabel->setToolTip("サイズ");
    sizeLabel->setStatusTip("ブラシ、線の幅です。");
    tbEdit_->addWidget(sizeLabel);
    cbSize_ = new QComboBox(this);
    cbSize_->setObjectName("cbSize");
    for (int i = 1; i <= 10; ++i) cbSize_->addItem(QString::number(i));
    cbSize_->setToolTip("サイズ");
    cbSize_->setStatusTip("ブラシ、線の幅です。");
    cbSize_->setFocusPolicy(Qt::NoFocus);
    tbEdit_->addWidget(cbSize_);
}

void TMainForm::CreateMenus() {
    // While a document is open eleven menus share the bar: with the style's roomy item spacing
    // and the application's font the last ones would hide behind an overflow button at the
    // designed 640-pixel width, so the bar's items sit close and its text is a little smaller.
    QFont barFont = menuBar()->font();
    barFont.setPointSizeF(barFont.pointSizeF() * 0.9);
    menuBar()->setFont(barFont);
    menuBar()->setStyleSheet("QMenuBar { spacing: 0px; } QMenuBar::item { padding: 2px 1px 3px 1px; }");
    mRecent_ = new QMenu("最近使ったファイル(&R)", this);
    mRecent_->setObjectName("mfRecent");
    connect(mRecent_, &QMenu::aboutToShow, this, &TMainForm::RebuildRecentMenu);
    RebuildRecentMenu();
    mFile_ = new QMenu("ファイル(&F)", this);
    AddCommands(mFile_, {NewCommand(), NewIconSetCommand(), OpenCommand(), CursorThemeCommand(), Separator(), ExitCommand()},
                *this, nullptr);
    mFile_->insertMenu(mFile_->actions().value(3), mRecent_);

    mShow_ = new QMenu("表示(&V)", this);
    QMenu* tools = mShow_->addMenu("ツール(&T)");
    for (QAction* a : ViewToggleActions()) tools->addAction(a);
    mShow_->addAction(actStatusBar_);
    connect(mShow_, &QMenu::aboutToShow, this, &TMainForm::UpdateViewToggles);

    mTool_ = new QMenu("ツール(&T)", this);
    AddCommands(mTool_,
                {ExtractCommand(), HotspotCommand(),
                 {.Name = "mtOption", .Caption = "オプション(&O)...", .Hint = "オプションを表示します。",
                  .RunOnFrame = [this](FrameServices&) { mtOptionClick(); }}},
                *this, nullptr);

    mWindow_ = new QMenu("ウィンドウ(&W)", this);
    mWindow_->setObjectName("mWindow");
    connect(mWindow_, &QMenu::aboutToShow, this, &TMainForm::RebuildWindowMenu);
    RebuildWindowMenu();

    mHelp_ = new QMenu("ヘルプ(&H)", this);
    AddCommands(mHelp_,
                {{.Name = "mhContents", .Caption = "トピックの検索(&T)...", .Shortcut = QKeySequence(Qt::Key_F1),
                  .RunOnFrame = [this](FrameServices&) { HelpClick(); }},
                 {.Caption = "バージョン情報(&A)...", .Hint = "Pixquilの情報を表示します。",
                  .RunOnFrame = [this](FrameServices&) { AboutClick(); }}},
                *this, nullptr);
}

void TMainForm::RebuildWindowMenu() {
    mWindow_->clear();
    AddCommands(mWindow_,
                {{.Caption = "重ねて表示(&C)", .Hint = "ウィンドウを重ねて表示します。",
                  .RunOnFrame = [this](FrameServices&) { mdi_->cascadeSubWindows(); }},
                 {.Caption = "上下に並べて表示(&H)", .Hint = "ウィンドウを上下にに並べて表示します。",
                  .RunOnFrame = [this](FrameServices&) { TileWindows(true); }},
                 {.Caption = "左右に並べて表示(&V)", .Hint = "ウィンドウを左右にに並べて表示します。",
                  .RunOnFrame = [this](FrameServices&) { TileWindows(false); }}},
                *this, nullptr);
    const QList<TImageForm*> forms = Forms();
    if (!forms.isEmpty()) mWindow_->addSeparator();
    TImageForm* active = ActiveForm();
    int n = 0;
    for (TImageForm* form : forms) {
        QAction* a = mWindow_->addAction(QString("&%1 %2").arg(++n).arg(form->windowTitle()));
        a->setCheckable(true);
        a->setChecked(form == active);
        QMdiSubWindow* sub = qobject_cast<QMdiSubWindow*>(form->parentWidget());
        connect(a, &QAction::triggered, this, [this, sub] {
            if (sub) mdi_->setActiveSubWindow(sub);
        });
    }
}

void TMainForm::TileWindows(bool vertical) {
    QList<QMdiSubWindow*> subs;
    for (QMdiSubWindow* sub : mdi_->subWindowList(QMdiArea::CreationOrder))
        if (!sub->isMinimized()) subs << sub;
    if (subs.isEmpty()) return;
    const QRect area = mdi_->viewport()->rect();
    const int n = int(subs.size());
    for (int i = 0; i < n; ++i) {
        QMdiSubWindow* sub = subs[i];
        if (sub->isMaximized()) sub->showNormal();
        if (vertical) {
            const int h = area.height() / n;
            sub->setGeometry(0, i * h, area.width(), h);
        } else {
            const int w = area.width() / n;
            sub->setGeometry(i * w, 0, w, area.height());
        }
    }
}

void TMainForm::CreateStatusBar() {
    statusPanel0_ = new QLabel(this);
    statusPanel0_->setObjectName("StatusPanel0");
    statusPanel0_->setFixedWidth(275);
    statusPanel1_ = new QLabel(this);
    statusPanel1_->setObjectName("StatusPanel1");
    statusPanel1_->setMinimumWidth(50);
    statusPanel1_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    statusBar()->addWidget(statusPanel0_);
    statusBar()->addWidget(statusPanel1_, 1);
}

void TMainForm::RebuildMenuBar() {
    QMenuBar* bar = menuBar();
    bar->clear();
    if (TImageForm* form = ActiveForm()) {
        for (QMenu* m : form->Menus()) bar->addMenu(m);
    } else {
        bar->addMenu(mFile_);
        bar->addMenu(mShow_);
    }
    bar->addMenu(mTool_);
    if (windowMenuShown_) bar->addMenu(mWindow_);
    bar->addMenu(mHelp_);
    WidenForMenuBar();
}

}  // namespace pq::gui
