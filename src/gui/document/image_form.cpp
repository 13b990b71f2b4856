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

#include "core/document/frame_note.h"
#include "core/document/history_snapshot.h"
#include "core/document/recovery_note.h"
#include "gui/kit/command_table.h"
#include "gui/kit/frame_services.h"
#include "gui/kit/prompt.h"
#include "gui/document/canvas.h"
#include "gui/document/document_hooks.h"
#include "gui/document/page_strip.h"

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
    // The strip scrolls sideways: the pages of a large set are wider than any window.
    stripScroll_ = new QScrollArea(this);
    stripScroll_->setObjectName("PageStripScroll");
    stripScroll_->setWidgetResizable(false);
    stripScroll_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    stripScroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    strip_ = new TPageStrip(this);
    stripScroll_->setWidget(strip_);
    stripScroll_->hide();
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(stripScroll_);
    layout->addWidget(scroll_);
    timer1_ = new QTimer(this);
    timer1_->setInterval(100);
    connect(timer1_, &QTimer::timeout, this, &TImageForm::Timer1Timer);
    historyRetry_ = new QTimer(this);
    historyRetry_->setInterval(3000);
    connect(historyRetry_, &QTimer::timeout, this, [this] {
        if (FlushHistory()) frame_->ActionList1Update();
    });
    doc_.Modified = false;
    BuildMenus();
}

TImageForm::~TImageForm() {
    dying_ = true;
    if (frame_) {
        DiscardHistory();
        frame_->FormClosed(this);
    }
}

void TImageForm::DiscardHistory() {
    for (int i = 0; i < PageCount(); ++i)
        if (i != currentPage_) pq::ClearHistory(PageDoc(i), PageHistoryCtx(i));
    pq::ClearHistory(doc_, HistoryCtx());
    if (frameNoteWritten_) pq::RemoveFrameNote(frame_->SnapshotFolderPath(), windowNumber_);
    frameNoteWritten_ = false;
}

void TImageForm::UpdateModifiedMark() {
    auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget());
    if (!sub) return;
    // The first "[*]" is the mark's place; one in the name itself is written doubled.
    const QString title = QString(windowTitle()).replace("[*]", "[*][*]") + "[*]";
    if (sub->windowTitle() != title) sub->setWindowTitle(title);
    sub->setWindowModified(SetChanged());
}

bool TImageForm::event(QEvent* event) {
    const bool done = QWidget::event(event);
    // The MDI window copies a new title of the form as it is; the mark goes back on after it.
    if (event->type() == QEvent::WindowTitleChange || event->type() == QEvent::ParentChange) UpdateModifiedMark();
    return done;
}

void TImageForm::FollowSavedState() {
    if (IsSet() || !savedState_ || !doc_.Ready) return;
    doc_.Modified = pq::StateDigest(doc_) != *savedState_;
}

void TImageForm::NoteSavedState() {
    if (IsSet() || doc_.Modified || !doc_.Ready) savedState_.reset();
    else savedState_ = pq::StateDigest(doc_);
}

void TImageForm::NoteSavedFile() {
    NoteSavedState();
    // A set's pages took their positions as the set was written (MarkSetSaved).
    if (IsSet()) return;
    // Steps still kept in memory may be merged before they reach their positions.
    savedPosition_ = savedState_ && doc_.Journal.Pending.empty() ? doc_.HistoryPosition : 0;
    RewritePageNotes();
}

pq::HistoryContext TImageForm::HistoryCtx() const { return PageHistoryCtx(currentPage_); }

pq::HistoryContext TImageForm::PageHistoryCtx(int i) const {
    // The label keeps the recovery note beside the snapshots naming this window as it is now; a
    // page's note also names its set and its place there, so a later start restores the set whole.
    pq::WindowLabel label{name_.toStdString(), filePath_.toStdString()};
    label.SavedPosition = savedPosition_;
    int number = windowNumber_;
    if (IsSet()) {
        const IconPage& page = pages_.at(std::size_t(i));
        number = page.HistoryNumber;
        label.SetWindow = windowNumber_;
        label.PageIndex = i;
        label.PageKind = int(page.Kind);
        label.SetPages = PageCount();
        label.PageCurrent = i == currentPage_;
        // Pages added, deleted or moved since the file was written: the file no longer holds the set.
        label.SavedPosition = setChanged_ ? 0 : page.SavedPosition;
    }
    return pq::HistoryContext{frame_->SnapshotFolderPath(), number, frame_->UndoEnabled(), label};
}

void TImageForm::SetFilePath(const QString& path) {
    filePath_ = path;
    name_ = path;
    importSource_.clear();
    UpdateCaption();
    frame_->NoteRecentFile(path);
    // A note that cannot follow the new name is written again with the next change.
    RewritePageNotes();
}

void TImageForm::AdoptImportedPicture(const QString& picture) {
    filePath_.clear();
    name_ = QString("Icon%1").arg(windowNumber_);
    importSource_ = picture;
    UpdateCaption();
    frame_->NoteRecentFile(picture);
    RewritePageNotes();
}

// ---- set-up ----------------------------------------------------------------------------------

void TImageForm::InitBlankDocument(int width, int height, int colors, bool trueColor) {
    const int zoom = trueColor ? pq::InitBlankTrueColorDocument(doc_, width, height, frame_->SelectedZoom())
                               : pq::InitBlankDocument(doc_, width, height, colors, frame_->SelectedZoom());
    if (const auto& palette = frame_->Hooks().NewDocumentPalette) palette(doc_);
    blankBase_ = true;
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
    // A set's window is made for its largest page, so that choosing another page does not leave
    // the canvas in a window made for a small one.
    int w = doc_.ImageWidth, h = doc_.ImageHeight;
    for (int i = 0; IsSet() && i < PageCount(); ++i) {
        w = qMax(w, PageDoc(i).ImageWidth);
        h = qMax(h, PageDoc(i).ImageHeight);
    }
    QSize client(w * doc_.Zoom + frameExtra, h * doc_.Zoom + frameExtra);
    if (IsSet()) client = QSize(qMax(client.width(), strip_->sizeHint().width()), client.height() + stripScroll_->height());
    if (sub->layout()) sub->layout()->activate();
    const QSize decoration = sub->size() - size();
    // A tiny canvas still gets a window wide enough for its caption and title-bar buttons (the
    // canvas is centred in it).
    QSize outer = (client + decoration).expandedTo(QSize(sub->minimumSizeHint().width(), 0));
    // A large canvas gets no window larger than the document area: the caption is centred in the
    // title bar and would lie out of sight with the buttons. The scroll area reaches the rest, and
    // the window moves back just enough to lie wholly inside the area.
    const QWidget* area = sub->parentWidget();
    if (area) outer = outer.boundedTo(area->size().expandedTo(sub->minimumSizeHint()));
    sub->resize(outer);
    if (area)
        sub->move(qBound(0, sub->x(), qMax(0, area->width() - outer.width())),
                  qBound(0, sub->y(), qMax(0, area->height() - outer.height())));
    if (sub->layout()) sub->layout()->activate();
    UpdateModifiedMark();
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
    Present();
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
    wholePending_ = false;
    pq::Recompose(doc_, frame_->TransparencyColors(), comp_);
    if (IsSet()) {
        pagePictures_.at(std::size_t(currentPage_)).reset();
        strip_->update();
    }
    frame_->CompositeChanged(*this);
}

void TImageForm::Recompose(const pq::Rect& touched) {
    if (!doc_.Ready) return;
    if (wholePending_) {
        Recompose();
        return;
    }
    pq::Recompose(doc_, frame_->TransparencyColors(), touched, comp_);
    const pq::Rect changed = comp_.Changed;
    if (changed.Empty()) return;
    if (IsSet()) {
        // A picture not built yet is built whole when asked for.
        std::optional<QImage>& picture = pagePictures_.at(std::size_t(currentPage_));
        if (picture && picture->size() == QSize(doc_.ImageWidth, doc_.ImageHeight)) WritePagePicture(comp_, changed, *picture);
        else picture.reset();
        strip_->UpdatePagePart(currentPage_, QRect(changed.left, changed.top, changed.Width(), changed.Height()));
    }
    frame_->CompositeChanged(*this);
}

void TImageForm::Present() {
    // The selection outline and the brush outline live on the screen only: a repaint of the
    // picture removes them until the outline timer's next tick, or the pointer's next move.
    outlineShown_ = false;
    brushOutline_.reset();
    canvas_->update();
}

void TImageForm::Present(const pq::Rect& touched) {
    const int z = doc_.Zoom;
    if (!touched.Empty()) canvas_->update(QRect(touched.left * z, touched.top * z, touched.Width() * z, touched.Height() * z));
    // What the whole repaint would have taken away goes too.
    if (brushOutline_) canvas_->update(brushOutline_->adjusted(-2, -2, 2, 2));
    if (outlineShown_) canvas_->update(SelectionOutlineRegion());
    outlineShown_ = false;
    brushOutline_.reset();
}

QRegion TImageForm::SelectionOutlineRegion() const {
    const int z = doc_.Zoom;
    const QRect outer = QRect(QPoint(doc_.SelLeft * z, doc_.SelTop * z), QPoint(doc_.SelRight * z - 1, doc_.SelBottom * z - 1))
                            .adjusted(-1, -1, 1, 1);
    return QRegion(outer).subtracted(QRegion(outer.adjusted(3, 3, -3, -3)));
}

void TImageForm::Redraw() {
    Recompose();
    Present();
}

void TImageForm::Redraw(const pq::Rect& touched) {
    if (!doc_.Ready) return;
    const bool whole = wholePending_;
    Recompose(touched);
    if (whole) Present();
    else Present(comp_.Changed.Empty() ? pq::Rect{} : comp_.Changed);
}

void TImageForm::SetGridVisible(bool on) {
    grid_ = on;
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

bool TImageForm::RecordStep(const std::string& name, bool clearFirst, std::string* failure) {
    // The position the file holds, as the recovery note gives it: a step recorded at or before
    // it writes over that state's snapshot or drops it from the redo states. The base step of a
    // document just read from its file, or of a blank new picture, is itself a state the file
    // (or nothing) holds; set before the step, so that the note announcing it says so.
    int& saved = IsSet() ? pages_.at(std::size_t(currentPage_)).SavedPosition : savedPosition_;
    if (clearFirst || doc_.HistoryPosition < saved) saved = 0;
    const bool base = name == " " && !clearFirst && !doc_.Modified;
    const bool held = base && !IsSet() && (blankBase_ || (!filePath_.isEmpty() && importSource_.isEmpty()));
    if (held) saved = doc_.HistoryPosition + 1;
    blankBase_ = false;
    const pq::HistoryResult r = pq::RecordStep(doc_, HistoryCtx(), name, clearFirst);
    // Not written there (undo off), or kept in memory where it may yet be merged with later
    // steps: no position holds it.
    if (held && (doc_.HistoryPosition != saved || !doc_.Journal.Pending.empty())) saved = 0;
    // The base step of an opened or new document: the state its file (or nothing) holds.
    if (base) NoteSavedState();
    if (pq::HistoryBehind(doc_)) historyRetry_->start();
    else historyRetry_->stop();
    if (!r.Message.empty()) {
        if (failure) *failure = r.Message;
        else frame_->GetPrompt().Message(this, "Pixquil", QString::fromStdString(r.Message), PromptIcon::Error, PromptButtons::Ok);
    }
    if (!r.Warning.empty())
        frame_->GetPrompt().Message(this, "Pixquil", QString::fromStdString(r.Warning), PromptIcon::Warning, PromptButtons::Ok);
    return r.Ok;
}

bool TImageForm::FlushHistory() {
    if (pq::HistoryBehind(doc_)) {
        // Steps written at last may have needed the reserve or been merged: said once, now.
        const pq::HistoryResult r = pq::FlushHistory(doc_, HistoryCtx());
        if (!r.Warning.empty())
            frame_->GetPrompt().Message(this, "Pixquil", QString::fromStdString(r.Warning), PromptIcon::Warning,
                                        PromptButtons::Ok);
    }
    const bool done = !pq::HistoryBehind(doc_);
    if (done) historyRetry_->stop();
    else if (!historyRetry_->isActive()) historyRetry_->start();
    return done;
}

void TImageForm::CommitEdit(const std::string& step) {
    pq::EditResult r = pq::EditResult::Recorded(step);
    r.Redraw = true;
    r.RefreshColors = true;
    ApplyEdit(r);
}

void TImageForm::ApplyEdit(const pq::EditResult& result) {
    if (result.Record) {
        RecordStep(result.Step);
        FollowSavedState();
    }
    // Rows first: the recompose below paints their thumbnails.
    if (result.RebuildLayers) frame_->RebuildLayerPalette(*this);
    if (result.SizeChanged) SetZoom(doc_.Zoom);  // sizes and recentres the canvas, recomposes
    // Rows alone still recompose: the thumbnails show which layer holds floating content.
    else if (result.RebuildLayers || result.Redraw || result.RefreshRows) Recompose();
    if (result.SizeChanged || result.RebuildLayers || result.Redraw) Present();
    if (result.RefreshRows) frame_->RefreshLayerRows(*this);
    if (result.RefreshColors) frame_->RefreshColorPalette();
    if (doc_.HasSelection) StartOutlineTimer();
    else StopOutlineTimer();
    UpdateModifiedMark();
    frame_->ActionList1Update();
}

// ---- Edit menu ---------------------------------------------------------------------------------

void TImageForm::meUndoClick() { RestoreAndRefresh(false); }

void TImageForm::meRedoClick() { RestoreAndRefresh(true); }

void TImageForm::RestoreAndRefresh(bool redo) {
    const pq::HistoryResult r = pq::RestoreStep(doc_, HistoryCtx(), redo);
    if (pq::HistoryBehind(doc_)) historyRetry_->start();
    if (!r.Ok) frame_->GetPrompt().Message(this, "Pixquil", QString::fromStdString(r.Message), PromptIcon::Error, PromptButtons::Ok);
    if (!r.Warning.empty())
        frame_->GetPrompt().Message(this, "Pixquil", QString::fromStdString(r.Warning), PromptIcon::Warning, PromptButtons::Ok);
    // A restored state may hold fewer colours than the drawing or auxiliary colour points at;
    // painting with such an index would store a value the document cannot hold.
    if (doc_.DrawColor >= doc_.ColorCount) doc_.DrawColor = 0;
    if (doc_.AuxColor >= doc_.ColorCount) doc_.AuxColor = 8;
    // Undo back to the saved state leaves nothing to save; redo away from it does again.
    if (r.Ok) FollowSavedState();
    doc_.Zoom = frame_->SelectedZoom();
    pq::EditResult refresh;
    refresh.RebuildLayers = true;
    refresh.RefreshColors = true;
    refresh.SizeChanged = true;
    ApplyEdit(refresh);
}

void TImageForm::meMemClsClick() {
    RecordStep("", true);
    ApplyEdit(pq::EditResult::Nothing());
}

void TImageForm::UpdateEditMenu() {
    for (QAction* entry : {meUndo_, meRedo_, meMemCls_}) UpdateCommandEntry(entry);
}

// ---- saving ------------------------------------------------------------------------------------

bool TImageForm::Save() {
    const auto& save = frame_->Hooks().Save;
    const bool written = save && save(*this);
    if (written) NoteSavedFile();
    UpdateModifiedMark();
    return written;
}

bool TImageForm::SaveAs() {
    const auto& saveAs = frame_->Hooks().SaveAs;
    const bool written = saveAs && saveAs(*this);
    if (written) NoteSavedFile();
    UpdateModifiedMark();
    return written;
}

void TImageForm::closeEvent(QCloseEvent* event) {
    // A set asks once, for all its pages.
    if (!SetChanged()) {
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
    Redraw();
    frame_->RefreshColorPalette();
    frame_->ApplyToolCursor();
    // The pointer is on this window now: no other canvas keeps a brush outline.
    for (TImageForm* other : frame_->Forms())
        if (other != this) other->PointerLeftCanvas();
    frame_->SetDocumentInfoText(StatusText());
    UpdateModifiedMark();
}

QString DocumentStatusText(const pq::Document& doc) {
    return QString("サイズ：%1×%2 色数：%3    ").arg(doc.ImageWidth).arg(doc.ImageHeight).arg(ColorModeText(doc));
}

QString ColorModeText(const pq::Document& doc) {
    return doc.TrueColor ? QString("32ビット") : QString("%1色").arg(doc.ColorCount);
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

// ---- menus (built in document_menus.cpp) -----------------------------------------------------------

QAction* TImageForm::MenuAction(const QString& objectName) const { return findChild<QAction*>(objectName); }

QMenu* TImageForm::MenuNamed(const QString& objectName) const { return findChild<QMenu*>(objectName); }

QList<QMenu*> TImageForm::Menus() const {
    return {mFile_, mEdit_, mShow_, mImage_, mPalette_, mLayer_, mSelect_, mIcon_};
}

}  // namespace pq::gui
