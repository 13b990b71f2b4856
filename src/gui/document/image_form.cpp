#include "gui/document/image_form.h"

#include <QAction>
#include <QCloseEvent>
#include <QImage>
#include <QLayout>
#include <QMdiSubWindow>
#include <QMenu>
#include <QPainter>
#include <QScrollArea>
#include <QTimer>
#include <QVBoxLayout>

#include "core/document/recovery_note.h"
#include "gui/app/frame_services.h"
#include "gui/app/prompt.h"
#include "gui/document/canvas.h"
#include "gui/document/clipboard_commands.h"
#include "gui/document/document_files.h"
#include "gui/document/layer_menu.h"
#include "gui/document/selection_commands.h"
#include "gui/formats/file_commands.h"

namespace pq::gui {

TImageForm::TImageForm(FrameServices* frame, const QString& name, int windowNumber)
    : QWidget(nullptr), frame_(frame), name_(name), windowNumber_(windowNumber) {
    setObjectName("TImageForm");
    setWindowTitle(name_);
    setAttribute(Qt::WA_DeleteOnClose);
    scroll_ = new QScrollArea(this);
    scroll_->setWidgetResizable(true);
    scroll_->setBackgroundRole(QPalette::Dark);
    page_ = new TCanvasPage(this);
    canvas_ = new TCanvas(this, page_);
    canvas_->setCursor(Qt::CrossCursor);
    scroll_->setWidget(page_);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(scroll_);
    timer1_ = new QTimer(this);
    timer1_->setInterval(100);
    connect(timer1_, &QTimer::timeout, this, &TImageForm::Timer1Timer);
    doc_.Modified = false;
    BuildMenus();
    ConnectSelectionMenu(*frame_, *this);
    ConnectLayerMenu(*frame_, *this);
    ConnectClipboardMenu(*frame_, *this);
    ConnectFileMenu(*frame_, *this);
}

TImageForm::~TImageForm() {
    dying_ = true;
    if (frame_) {
        pq::ClearHistory(doc_, HistoryCtx());
        frame_->FormClosed(this);
    }
}

pq::HistoryContext TImageForm::HistoryCtx() const {
    // The label keeps the recovery note beside the snapshots naming this window as it is now.
    return pq::HistoryContext{frame_->SnapshotFolderPath(), windowNumber_, frame_->UndoEnabled(),
                              pq::WindowLabel{name_.toStdString(), filePath_.toStdString()}};
}

void TImageForm::SetFilePath(const QString& path) {
    filePath_ = path;
    name_ = path;
    setWindowTitle(name_);
    if (doc_.HistoryPosition > 0) pq::WriteRecoveryNote(doc_, HistoryCtx());
}

// ---- set-up ----------------------------------------------------------------------------------

void TImageForm::InitBlankDocument(int width, int height, int colors) {
    const int zoom = pq::InitBlankDocument(doc_, width, height, colors, frame_->SelectedZoom());
    LoadProgramPalette(doc_);
    frame_->ShowZoomInList(zoom);
    AdoptLoadedDocument();
}

void TImageForm::AdoptLoadedDocument() {
    frame_->ShowZoomInList(doc_.Zoom);
    canvasColors_ = frame_->TransparencyColors();
    SizeCanvas();
    CentreCanvas();
}

void TImageForm::SizeCanvas() {
    const QSize size(doc_.ImageWidth * doc_.Zoom, doc_.ImageHeight * doc_.Zoom);
    canvas_->setFixedSize(size);
    page_->setMinimumSize(size);
}

void TImageForm::FitWindowToCanvas() {
    auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget());
    if (!sub) return;
    const int frameExtra = 2 * scroll_->frameWidth();
    const QSize client(doc_.ImageWidth * doc_.Zoom + frameExtra, doc_.ImageHeight * doc_.Zoom + frameExtra);
    if (sub->layout()) sub->layout()->activate();
    const QSize decoration = sub->size() - size();
    sub->resize(client + decoration);
    if (sub->layout()) sub->layout()->activate();
}

// ---- rendering ---------------------------------------------------------------------------------

void TImageForm::SetZoom(int zoom) {
    if (pq::ZoomListIndex(zoom) < 0) zoom = pq::kZoomFactors[0];
    frame_->ShowZoomInList(zoom);
    doc_.Zoom = zoom;
    canvasColors_ = frame_->TransparencyColors();
    SizeCanvas();
    Recompose();
    CentreCanvas();
    canvas_->update();
}

void TImageForm::CentreCanvas() {
    const QSize client = page_->size();
    const QSize canvas = canvas_->size();
    int left = canvas_->x(), top = canvas_->y();
    if (client.width() >= canvas.width()) left = client.width() / 2 - canvas.width() / 2;
    else if (left > 0) left = 0;
    if (client.height() >= canvas.height()) top = client.height() / 2 - canvas.height() / 2;
    else if (top > 0) top = 0;
    canvas_->move(left, top);
}

void TImageForm::Recompose() {
    if (!doc_.Ready) return;
    pq::Recompose(doc_, frame_->TransparencyColors(), comp_);
    frame_->CompositeChanged(*this);
}

void TImageForm::Present() {
    // The selection outline lives on the screen only: a repaint of the picture removes it until
    // the outline timer's next tick draws it again.
    outlineShown_ = false;
    canvas_->update();
}

void TImageForm::Redraw() {
    Recompose();
    Present();
}

void TImageForm::SetGridVisible(bool on) {
    grid_ = on;
    if (mvGrid_) mvGrid_->setChecked(on);
    if (!on) Recompose();
    Present();
}

pq::Rgb TImageForm::ViewPixel(int x, int y) const {
    pq::Raster one;
    pq::RenderZoomedView(doc_, comp_, doc_.Zoom, canvasColors_, grid_, pq::Rect{x, y, x + 1, y + 1}, one);
    return one.Pixel(0, 0);
}

void TImageForm::PaintCanvas(QPainter& painter, const QRect& exposed) {
    if (doc_.ImageWidth == 0 || doc_.ImageHeight == 0 || comp_.CompositeColor.Empty()) return;
    const pq::Rect area{exposed.left(), exposed.top(), exposed.right() + 1, exposed.bottom() + 1};
    pq::RenderZoomedView(doc_, comp_, doc_.Zoom, canvasColors_, grid_, area, viewScratch_);
    const QImage image(viewScratch_.Data(), viewScratch_.Width(), viewScratch_.Height(), viewScratch_.Stride(),
                       QImage::Format_BGR888);
    painter.drawImage(exposed.topLeft(), image);
    DrawOverlays(painter);
}

// ---- the edit cycle ----------------------------------------------------------------------------

bool TImageForm::RecordStep(const std::string& name, bool clearFirst) {
    const pq::HistoryResult r = pq::RecordStep(doc_, HistoryCtx(), name, clearFirst);
    if (!r.Ok) frame_->GetPrompt().Message(this, "Pixquil", QString::fromStdString(r.Message), PromptIcon::Error, PromptButtons::Ok);
    return r.Ok;
}

void TImageForm::CommitEdit(const std::string& step) {
    pq::EditResult r = pq::EditResult::Recorded(step);
    r.Redraw = true;
    r.RefreshColors = true;
    ApplyEdit(r);
}

void TImageForm::ApplyEdit(const pq::EditResult& result) {
    if (result.Record) RecordStep(result.Step);
    if (result.RebuildLayers)
        frame_->RebuildLayerPalette(*this);
    else if (result.Redraw)
        Redraw();
    if (result.RefreshRows) frame_->RefreshLayerRows(*this);
    if (result.RefreshColors) frame_->RefreshColorPalette();
    frame_->ActionList1Update();
}

// ---- Edit menu ---------------------------------------------------------------------------------

void TImageForm::meUndoClick() { RestoreAndRefresh(false); }

void TImageForm::meRedoClick() { RestoreAndRefresh(true); }

void TImageForm::RestoreAndRefresh(bool redo) {
    const pq::HistoryResult r = pq::RestoreStep(doc_, HistoryCtx(), redo);
    if (!r.Ok) frame_->GetPrompt().Message(this, "Pixquil", QString::fromStdString(r.Message), PromptIcon::Error, PromptButtons::Ok);
    // A restored state may hold fewer colours than the drawing or auxiliary colour points at;
    // painting with such an index would store a value the document cannot hold.
    if (doc_.DrawColor >= doc_.ColorCount) doc_.DrawColor = 0;
    if (doc_.AuxColor >= doc_.ColorCount) doc_.AuxColor = 8;
    frame_->RebuildLayerPalette(*this);
    frame_->RefreshColorPalette();
    SetZoom(frame_->SelectedZoom());
    if (doc_.HasSelection) StartOutlineTimer();
    frame_->ActionList1Update();
}

void TImageForm::meMemClsClick() {
    RecordStep("", true);
    frame_->ActionList1Update();
}

void TImageForm::UpdateEditMenu() {
    const pq::EditMenuState s = pq::ComputeEditMenu(doc_, HistoryCtx());
    meUndo_->setText(QString::fromStdString(s.UndoCaption));
    meUndo_->setEnabled(s.UndoEnabled);
    meRedo_->setText(QString::fromStdString(s.RedoCaption));
    meRedo_->setEnabled(s.RedoEnabled);
    meMemCls_->setEnabled(s.MemoryClearEnabled);
}

// ---- saving ------------------------------------------------------------------------------------

bool TImageForm::Save() { return Save1Click(*this, frame_->GetPrompt(), frame_->FrameWidget()); }

bool TImageForm::SaveAs() { return SaveAs1Click(*this, frame_->GetPrompt()); }

void TImageForm::closeEvent(QCloseEvent* event) {
    if (!doc_.Modified) {
        event->accept();
        return;
    }
    const PromptAnswer answer = frame_->GetPrompt().Message(
        this, "上書き確認", windowTitle() + "\nは変更されています。保存しますか？", PromptIcon::Information,
        PromptButtons::YesNoCancel);
    if (answer == PromptAnswer::No) {
        event->accept();
    } else if (answer == PromptAnswer::Yes && Save()) {
        event->accept();
    } else {
        // Cancel, or a save that was cancelled or failed: the picture stays open.
        event->ignore();
    }
}

// ---- activation ----------------------------------------------------------------------------------

void TImageForm::Activate() {
    if (!doc_.Ready) return;
    frame_->ShowZoomInList(doc_.Zoom);
    frame_->RebuildLayerPalette(*this);
    frame_->RefreshColorPalette();
    frame_->ApplyToolCursor();
    frame_->SetDocumentInfoText(QString("サイズ：%1×%2 色数：%3色    ").arg(doc_.ImageWidth).arg(doc_.ImageHeight).arg(doc_.ColorCount));
}

void TImageForm::ApplyCursor(const QCursor& cursor) { canvas_->setCursor(cursor); }

// ---- selection-outline timer ---------------------------------------------------------------------

void TImageForm::StartOutlineTimer() { timer1_->start(); }

void TImageForm::StopOutlineTimer() { timer1_->stop(); }

bool TImageForm::OutlineTimerActive() const { return timer1_->isActive(); }

void TImageForm::Timer1Timer() {
    if (!frame_->SelectionOutlineVisible()) return;
    if (!doc_.HasSelection) {
        timer1_->stop();
        outlineShown_ = false;
        return;
    }
    int& counter = frame_->OutlineFrameCounter();
    outlineFrame_ = counter;
    outlineShown_ = true;
    counter = (counter + 1) % 8;
    const int z = doc_.Zoom;
    const QRect sel(QPoint(doc_.SelLeft * z, doc_.SelTop * z), QPoint(doc_.SelRight * z - 1, doc_.SelBottom * z - 1));
    canvas_->update(sel.adjusted(-1, -1, 1, 1));
}

// ---- menus ---------------------------------------------------------------------------------------

QAction* TImageForm::MenuAction(const QString& objectName) const { return findChild<QAction*>(objectName); }

QMenu* TImageForm::MenuNamed(const QString& objectName) const { return findChild<QMenu*>(objectName); }

QList<QMenu*> TImageForm::Menus() const { return {mFile_, mEdit_, mShow_, mImage_, mPalette_, mLayer_, mSelect_}; }

void TImageForm::BuildMenus() {
    auto add = [this](QMenu* menu, const QString& text, const QString& tip, const QKeySequence& key = {}) {
        QAction* a = menu->addAction(text);
        if (!key.isEmpty()) {
            a->setShortcut(key);
            a->setShortcutContext(Qt::WindowShortcut);
        }
        a->setStatusTip(tip);
        return a;
    };
    // Entries whose commands come with later work stay in place, disabled, until connected.
    auto pending = [&](QMenu* menu, const QString& text, const QKeySequence& key = {}) {
        QAction* a = add(menu, text, QString(), key);
        a->setEnabled(false);
        return a;
    };

    mFile_ = new QMenu("ファイル(&F)", this);
    mFile_->setObjectName("mFile");
    connect(add(mFile_, "新規作成(&N)...", "新しいアイコンを作成します。", QKeySequence("Ctrl+N")), &QAction::triggered,
            this, [this] { frame_->mlNewClick(); });
    connect(add(mFile_, "開く(&O)...", "既存のファイルを開きます。", QKeySequence("Ctrl+O")), &QAction::triggered, this,
            [this] { frame_->FileOpen1Execute(); });
    pending(mFile_, "上書き保存(&S)", QKeySequence("Ctrl+S"))->setObjectName("Save1");
    pending(mFile_, "名前を付けて保存(&A)...")->setObjectName("SaveAs1");
    mFile_->addSeparator();
    connect(add(mFile_, "Pixquilの終了(&X)", "Pixquilを終了します。"), &QAction::triggered, this,
            [this] { frame_->FrameWidget()->close(); });

    mEdit_ = new QMenu("編集(&E)", this);
    mEdit_->setObjectName("Edit1");
    meUndo_ = add(mEdit_, "元に戻す(&U)", "直前の作業を元に戻します。", QKeySequence("Ctrl+Z"));
    meUndo_->setObjectName("meUndo");
    meUndo_->setToolTip("元に戻す");
    connect(meUndo_, &QAction::triggered, this, &TImageForm::meUndoClick);
    meRedo_ = add(mEdit_, "やり直し(&R)", "元に戻す前の状態に戻します。", QKeySequence("Ctrl+Y"));
    meRedo_->setObjectName("meRedo");
    meRedo_->setToolTip("やり直し");
    connect(meRedo_, &QAction::triggered, this, &TImageForm::meRedoClick);
    mEdit_->addSeparator();
    pending(mEdit_, "切り取り(&X)", QKeySequence("Ctrl+X"))->setObjectName("meCut");
    pending(mEdit_, "コピー(&C)", QKeySequence("Ctrl+C"))->setObjectName("meCopy");
    pending(mEdit_, "貼り付け(&P)", QKeySequence("Ctrl+P"))->setObjectName("mePaste");
    pending(mEdit_, "クリア(&D)", QKeySequence(Qt::Key_Delete))->setObjectName("meClear");
    mEdit_->addSeparator();
    meMemCls_ = add(mEdit_, "メモリのクリア(&M)", "アンドゥ情報を削除します。");
    meMemCls_->setObjectName("meMemCls");
    connect(meMemCls_, &QAction::triggered, this, &TImageForm::meMemClsClick);
    connect(mEdit_, &QMenu::aboutToShow, this, &TImageForm::UpdateEditMenu);

    mShow_ = new QMenu("表示(&V)", this);
    mShow_->setObjectName("Show1");
    mvGrid_ = add(mShow_, "グリッドの表示(&G)", "グリッドの表示/非表示を切り替えます。");
    mvGrid_->setObjectName("mvGrid");
    mvGrid_->setCheckable(true);
    mvGrid_->setChecked(true);
    connect(mvGrid_, &QAction::triggered, this, [this](bool on) { SetGridVisible(on); });
    QMenu* tools = mShow_->addMenu("ツール(&T)");
    tools->setObjectName("mvTool");
    for (QAction* a : frame_->ViewToggleActions()) tools->addAction(a);
    mShow_->addAction(frame_->StatusBarToggle());
    QMenu* zoom = mShow_->addMenu("ズーム(&Z)");
    zoom->setObjectName("mvZoom");
    QAction* in = add(zoom, "ズームイン(&I)", "倍率を上げます。");
    in->setObjectName("mvzZoomIn");
    in->setToolTip("ズームイン");
    connect(in, &QAction::triggered, this, [this] { frame_->ZoomIn(); });
    QAction* out = add(zoom, "ズームアウト(&O)", "倍率を下げます。");
    out->setObjectName("mvzZoomOut");
    out->setToolTip("ズームアウト");
    connect(out, &QAction::triggered, this, [this] { frame_->ZoomOut(); });
    connect(mShow_, &QMenu::aboutToShow, this, [this] { frame_->UpdateViewToggles(); });

    // Image operations, palette adjustments, layer and selection commands plug in here.
    mImage_ = new QMenu("イメージ(&I)", this);
    mImage_->setObjectName("mImage");
    QAction* miSize = pending(mImage_, "サイズ変更(&S)...", QKeySequence("Ctrl+I"));
    miSize->setObjectName("miSize");
    miSize->setToolTip("サイズ変更");
    miSize->setStatusTip("キャンバスのサイズを変更します。");
    mImage_->addSeparator();
    QMenu* rotate = mImage_->addMenu("画像回転(&R)");
    rotate->setObjectName("miRotate");
    pending(rotate, "左右反転", QKeySequence("Ctrl+H"))->setObjectName("mirReverseH");
    pending(rotate, "上下反転", QKeySequence("Ctrl+V"))->setObjectName("mirReverseV");
    rotate->addSeparator();
    pending(rotate, "90度回転")->setObjectName("mir90");
    pending(rotate, "180度回転")->setObjectName("mir180");
    pending(rotate, "270度回転")->setObjectName("mir270");
    rotate->addSeparator();
    pending(rotate, "角度指定...")->setObjectName("mirRotation");
    QMenu* effects = mImage_->addMenu("効果(&E)");
    effects->setObjectName("miEffect");
    effects->setEnabled(false);

    mPalette_ = new QMenu("パレット(&P)", this);
    mPalette_->setObjectName("mColor");
    struct PaletteEntry {
        const char* Caption;
        const char* Name;
        const char* Status;
    };
    static const PaletteEntry kAdjustments[] = {
        {"明るさ調整(&B)...", "mcBlight", "明るさを調整します。"},
        {"RGB調整(&C)...", "mcColor", "赤、緑、青をそれぞれ調整します。"},
        {"グレースケール(&G)", "mcGray", "グレースケールにします。"},
        {"反転(&R)", "mcReverse", "色を反転させます。"},
        {"ソラリゼーション(&O)", "mcSorari", "明るさが半分以上の色を反転させます。"},
    };
    for (const PaletteEntry& e : kAdjustments) {
        QAction* a = pending(mPalette_, e.Caption);
        a->setObjectName(e.Name);
        a->setStatusTip(e.Status);
    }
    mPalette_->addSeparator();
    pending(mPalette_, "パレットの交換(&P)...")->setObjectName("mcPalRep");
    pending(mPalette_, "パレットの保存(&S)...")->setObjectName("mcPalSave");
    mPalette_->addSeparator();
    QAction* colorCount = pending(mPalette_, "色数変更(&I)");
    colorCount->setObjectName("mcColorCount");
    colorCount->setStatusTip("色数を変更します。");

    mLayer_ = new QMenu("レイヤ(&L)", this);
    mLayer_->setObjectName("mLayer");
    pending(mLayer_, "新規作成(&N)", QKeySequence("Ctrl+Alt+N"))->setObjectName("mlNew");
    pending(mLayer_, "複製(&C)", QKeySequence("Ctrl+Alt+C"))->setObjectName("mlCopy");
    pending(mLayer_, "削除(&D)", QKeySequence("Ctrl+Alt+D"))->setObjectName("mlDelete");
    QMenu* order = mLayer_->addMenu("順序(&N)");
    order->setObjectName("mlJunjo");
    pending(order, "上へ移動(&U)")->setObjectName("mlnUp");
    pending(order, "下へ移動(&D)")->setObjectName("mlnDown");
    QMenu* visibility = mLayer_->addMenu("表示(&V)");
    visibility->setObjectName("mlVisible");
    pending(visibility, "現在のレイヤの表示の切り替え")->setObjectName("mlvActive");
    pending(visibility, "現在のレイヤのみ表示")->setObjectName("mlvOnly");
    pending(visibility, "すべてのレイヤを表示")->setObjectName("mlvAll");
    QMenu* merge = mLayer_->addMenu("統合(&R)");
    merge->setObjectName("mlIntegrate");
    pending(merge, "下のレイヤと統合")->setObjectName("mlrLow");
    pending(merge, "すべてのレイヤを統合")->setObjectName("mlrAll");
    pending(mLayer_, "名前の変更(&A)")->setObjectName("mlRename");
    // 合成: the compositing dialog connects it; the Layer menu enables it from two layers up.
    pending(mLayer_, "合成")->setObjectName("N21");

    mSelect_ = new QMenu("選択範囲(&S)", this);
    mSelect_->setObjectName("mSelect");
    pending(mSelect_, "すべて選択(&A)", QKeySequence("Ctrl+A"))->setObjectName("msAll");
    pending(mSelect_, "クリア(&C)", QKeySequence("Ctrl+D"))->setObjectName("msClear");
    pending(mSelect_, "拡大(&L)", QKeySequence("Ctrl+E"))->setObjectName("msKakudai");
    pending(mSelect_, "縮小(&S)", QKeySequence("Ctrl+R"))->setObjectName("msShukushou");
    pending(mSelect_, "選択範囲からレイヤを作成(&N)", QKeySequence("Ctrl+Alt+L"))->setObjectName("msLayer");
    pending(mSelect_, "境界線の表示(&K)")->setObjectName("msKyoukaisen");

    // Long hints of the entries connected later.
    findChild<QAction*>("Save1")->setStatusTip("既存のファイルに上書きします。");
    findChild<QAction*>("SaveAs1")->setStatusTip("新しいファイルに名前を付けて保存します。");
    findChild<QAction*>("meCut")->setStatusTip("選択範囲をクリップボードに切り取ります。");
    findChild<QAction*>("meCopy")->setStatusTip("選択範囲をコピーします。");
    findChild<QAction*>("mePaste")->setStatusTip("クリップボードの内容を新しいレイヤに貼り付けます。");
    findChild<QAction*>("meClear")->setStatusTip("選択範囲をクリアします。");
    findChild<QAction*>("msAll")->setStatusTip("全体を選択範囲にします。");
    findChild<QAction*>("msClear")->setStatusTip("選択範囲をクリアします。");
    findChild<QAction*>("msKakudai")->setStatusTip("選択範囲を1ピクセル拡大します。");
    findChild<QAction*>("msShukushou")->setStatusTip("選択範囲を1ピクセル縮小します。");
    findChild<QAction*>("msLayer")->setStatusTip("選択範囲をレイヤにします。");
    findChild<QAction*>("msKyoukaisen")->setStatusTip("境界線の表示を切り替えます。");
    findChild<QAction*>("mcPalRep")->setStatusTip("保存されているパレットと交換します。");
    findChild<QAction*>("mcPalSave")->setStatusTip("パレットを保存します。");
}

}  // namespace pq::gui
