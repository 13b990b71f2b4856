// The frame's controls: actions, the toolbars "標準" and "編集", the menus (rebuilt when the active
// document changes) and the two-panel status bar.
#include <QAction>
#include <QActionGroup>
#include <QComboBox>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QToolBar>

#include "gui/app/artwork.h"
#include "gui/app/main_form.h"
#include "gui/document/image_form.h"
#include "gui/formats/file_commands.h"
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
    auto button = [this](const QString& name, const QString& tip, const QString& status) {
        auto* a = new QAction(CommandIcon(name), tip, this);
        a->setObjectName(name);
        a->setToolTip(tip);
        a->setStatusTip(status);
        tbStandard_->addAction(a);
        return a;
    };
    auto forward = [this](void (TImageForm::*command)()) {
        return [this, command] {
            if (TImageForm* form = ActiveForm()) (form->*command)();
        };
    };
    connect(button("tbNew", "新規作成", "新しいアイコンを作成します。"), &QAction::triggered, this, &TMainForm::mlNewClick);
    connect(button("tbOpen", "ファイルを開く", "既存のファイルを開きます。"), &QAction::triggered, this,
            &TMainForm::FileOpen1Execute);
    button("tbSave", "上書き保存", "既存のファイルに上書きします。");
    tbStandard_->addSeparator();
    // Cut, copy and paste are connected by the clipboard commands (ConnectCommand).
    button("tbCut", "切り取り", "選択範囲を切り取ります。");
    button("tbCopy", "コピー", "選択範囲をクリップボードにコピーします。");
    button("tbPaste", "貼り付け", "クリップボードの内容を新しいレイヤに貼り付けます。");
    tbStandard_->addSeparator();
    connect(button("tbUndo", "元に戻す", "直前の操作を元に戻します。"), &QAction::triggered, this,
            forward(&TImageForm::meUndoClick));
    connect(button("tbRedo", "やり直し", "元に戻したのを取り消します。"), &QAction::triggered, this,
            forward(&TImageForm::meRedoClick));
    tbStandard_->addSeparator();
    button("tbDelete", "クリア", "イメージをクリアします。");
    tbStandard_->addSeparator();
    connect(button("tbZoomIn", "ズームイン", "倍率を上げます。"), &QAction::triggered, this, &TMainForm::ZoomIn);
    connect(button("tbZoomOut", "ズームアウト", "倍率を下げます。"), &QAction::triggered, this, &TMainForm::ZoomOut);
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
    actSelectVisible_ = button("tbSelectVisible", "選択範囲の表示", "選択範囲の境界線の表示を切り替えます。");
    actSelectVisible_->setCheckable(true);
    actSelectVisible_->setChecked(true);
    connect(actSelectVisible_, &QAction::toggled, this, [this](bool on) {
        if (!on)
            if (TImageForm* form = ActiveForm()) form->Present();
    });
    tbStandard_->addSeparator();
    button("tbSelectClear", "選択範囲のクリア", "選択範囲をクリアします。");

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
    auto add = [](QMenu* menu, const QString& text, const QString& tip, const QKeySequence& key = {}) {
        QAction* a = menu->addAction(text);
        if (!key.isEmpty()) a->setShortcut(key);
        a->setStatusTip(tip);
        return a;
    };
    mFile_ = new QMenu("ファイル(&F)", this);
    connect(add(mFile_, "新規作成(&N)...", "新しいアイコンを作成します。", QKeySequence("Ctrl+N")), &QAction::triggered,
            this, &TMainForm::mlNewClick);
    connect(add(mFile_, "開く(&O)...", "既存のファイルを開きます。", QKeySequence("Ctrl+O")), &QAction::triggered, this,
            &TMainForm::FileOpen1Execute);
    mFile_->addSeparator();
    connect(add(mFile_, "Pixquilの終了(&X)", "Pixquilを終了します。"), &QAction::triggered, this, &QWidget::close);

    mShow_ = new QMenu("表示(&V)", this);
    QMenu* tools = mShow_->addMenu("ツール(&T)");
    for (QAction* a : ViewToggleActions()) tools->addAction(a);
    mShow_->addAction(actStatusBar_);
    connect(mShow_, &QMenu::aboutToShow, this, &TMainForm::UpdateViewToggles);

    mTool_ = new QMenu("ツール(&T)", this);
    QAction* extract = add(mTool_, "実行可能ファイルから読み込み(&E)...", "EXE、DLLからアイコンを取り出します。");
    extract->setObjectName("mtExtract");
    connect(extract, &QAction::triggered, this, [this] { mtExtractClick(*this); });
    QAction* option = add(mTool_, "オプション(&O)...", "オプションを表示します。");
    option->setObjectName("mtOption");
    connect(option, &QAction::triggered, this, &TMainForm::mtOptionClick);

    mWindow_ = new QMenu("ウィンドウ(&W)", this);
    mWindow_->setObjectName("mWindow");
    connect(mWindow_, &QMenu::aboutToShow, this, &TMainForm::RebuildWindowMenu);
    RebuildWindowMenu();

    mHelp_ = new QMenu("ヘルプ(&H)", this);
    connect(add(mHelp_, "トピックの検索(&T)...", QString()), &QAction::triggered, this, &TMainForm::HelpClick);
    connect(add(mHelp_, "バージョン情報(&A)...", "Pixquilの情報を表示します。"), &QAction::triggered, this,
            &TMainForm::AboutClick);
}

void TMainForm::RebuildWindowMenu() {
    mWindow_->clear();
    auto add = [this](const QString& text, const QString& tip) {
        QAction* a = mWindow_->addAction(text);
        a->setStatusTip(tip);
        return a;
    };
    connect(add("重ねて表示(&C)", "ウィンドウを重ねて表示します。"), &QAction::triggered, mdi_, &QMdiArea::cascadeSubWindows);
    connect(add("上下に並べて表示(&H)", "ウィンドウを上下にに並べて表示します。"), &QAction::triggered, this,
            [this] { TileWindows(true); });
    connect(add("左右に並べて表示(&V)", "ウィンドウを左右にに並べて表示します。"), &QAction::triggered, this,
            [this] { TileWindows(false); });
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
}

}  // namespace pq::gui
