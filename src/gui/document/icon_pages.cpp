// The pages of an icon set in a document window. The current page's document is the window's
// own (doc_), so every command acts on it unchanged; the other pages wait in pages_ and change
// places with it when another page is chosen.
#include <QImage>
#include <QLayout>
#include <algorithm>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>

#include "core/document/recovery_note.h"
#include "core/formats/icon_file.h"
#include "gui/document/image_form.h"
#include "gui/document/page_strip.h"
#include "gui/kit/frame_services.h"
#include "gui/kit/prompt.h"

namespace pq::gui {

namespace {

// Pages take history numbers of their own, above any window number, unique in this instance.
int NextPageHistoryNumber() {
    static int next = 100000000;
    return next++;
}

}  // namespace

QString TImageForm::PageLabel(int i) const {
    if (!IsSet()) return QString::fromStdString(pq::IconPageLabel(PageDoc(i), pq::IconPageKind::Palette));
    const IconPage& page = pages_.at(std::size_t(i));
    return QString::fromStdString(pq::IconPageLabel(PageDoc(i), page.Kind, page.Stored ? &*page.Stored : nullptr));
}

QString TImageForm::StatusText() const {
    if (!IsSet()) return DocumentStatusText(doc_);
    const IconPage& page = pages_.at(std::size_t(currentPage_));
    const std::string kind = pq::IconPageKindText(doc_, page.Kind, page.Stored ? &*page.Stored : nullptr);
    return QString("ページ：%1/%2  サイズ：%3×%4 色数：%5    ")
        .arg(currentPage_ + 1)
        .arg(PageCount())
        .arg(doc_.ImageWidth)
        .arg(doc_.ImageHeight)
        .arg(QString::fromStdString(kind));
}

std::vector<pq::IconPageKey> TImageForm::PageKeys() const {
    std::vector<pq::IconPageKey> keys;
    for (int i = 0; i < PageCount(); ++i)
        keys.push_back(pq::PageKey(PageDoc(i), IsSet() ? pages_[std::size_t(i)].Kind : pq::IconPageKind::Palette));
    return keys;
}

const QImage& TImageForm::PagePicture(int i) const {
    pagePictures_.resize(std::size_t(PageCount()));
    std::optional<QImage>& cached = pagePictures_.at(std::size_t(i));
    if (!cached) {
        const pq::Document& doc = PageDoc(i);
        pq::Composite comp;
        const pq::Composite* use = &comp_;
        if (i != currentPage_ || comp_.CompositeColor.Empty()) {
            pq::Recompose(doc, frame_->TransparencyColors(), comp);
            use = &comp;
        }
        QImage image(doc.ImageWidth, doc.ImageHeight, QImage::Format_ARGB32);
        image.fill(Qt::transparent);
        WritePagePicture(*use, pq::Rect{0, 0, doc.ImageWidth, doc.ImageHeight}, image);
        cached = std::move(image);
    }
    return *cached;
}

void TImageForm::WritePagePicture(const pq::Composite& comp, const pq::Rect& area, QImage& picture) {
    const pq::Rect r = pq::ClipRect(area, std::min(comp.CompositeColor.Width(), picture.width()),
                                    std::min(comp.CompositeColor.Height(), picture.height()));
    if (r.Empty() || comp.CompositeMask.Width() != comp.CompositeColor.Width() ||
        comp.CompositeMask.Height() != comp.CompositeColor.Height())
        return;
    // The composite rows are blue, green, red per pixel; the mask is white where painted.
    for (int y = r.top; y < r.bottom; ++y) {
        const uint8_t* color = comp.CompositeColor.Row(y);
        const uint8_t* mask = comp.CompositeMask.Row(y);
        auto* out = reinterpret_cast<QRgb*>(picture.scanLine(y));
        for (int x = r.left; x < r.right; ++x)
            out[x] = mask[3 * x] != 0 ? qRgba(color[3 * x + 2], color[3 * x + 1], color[3 * x], 255) : 0;
    }
}

void TImageForm::AdoptIconSet(std::vector<pq::IconSetPage> pages, int resourceType) {
    if (pages.empty()) return;
    // The history the window had (the base step of what it showed, or an earlier set's pages)
    // is removed only once every page of the new set is on disk: until then a crash leaves it
    // to be offered again, and the new pages take numbers of their own so as not to touch it.
    struct Previous {
        pq::Document Counters;
        pq::HistoryContext Ctx;
    };
    std::vector<Previous> previous;
    for (int i = 0; i < PageCount(); ++i) {
        const pq::Document& d = PageDoc(i);
        if (d.HistoryPosition == 0 && d.SnapshotCount == 0 && d.Journal.Pending.empty()) continue;
        Previous p{pq::Document{}, PageHistoryCtx(i)};
        p.Counters.HistoryPosition = d.HistoryPosition;
        p.Counters.RedoCount = d.RedoCount;
        p.Counters.SnapshotCount = d.SnapshotCount;
        previous.push_back(std::move(p));
    }
    const bool shown = doc_.HistoryPosition > 0 || doc_.SnapshotCount > 0;
    pages_.clear();
    for (std::size_t i = 0; i < pages.size(); ++i) {
        IconPage page;
        page.HistoryNumber = i == 0 && previous.empty() ? windowNumber_ : NextPageHistoryNumber();
        page.Kind = pages[i].Kind;
        if (!pages[i].Stored.Data.empty()) {
            page.Stored = std::move(pages[i].Stored);
            page.StoredType = resourceType;
        }
        if (i > 0) page.Doc = std::move(pages[i].Doc);
        pages_.push_back(std::move(page));
    }
    doc_ = std::move(pages[0].Doc);
    doc_.HistoryPosition = doc_.RedoCount = doc_.SnapshotCount = 0;
    doc_.Journal = {};
    currentPage_ = 0;
    resourceType_ = resourceType;
    setChanged_ = false;
    pagePictures_.assign(pages_.size(), std::nullopt);

    // Every page's base step and note are written together, marked as opening: a crash before
    // all of them are on disk leaves pages the next start knows were never edited. Then the
    // notes lose the mark, and only then does the previous history go.
    std::vector<pq::Document*> docs;
    std::vector<pq::HistoryContext> contexts;
    for (int i = 0; i < PageCount(); ++i) {
        docs.push_back(&PageDoc(i));
        contexts.push_back(PageHistoryCtx(i));
        if (contexts.back().Label) contexts.back().Label->SetOpening = true;
    }
    const std::vector<pq::HistoryResult> results = pq::RecordSteps(docs, contexts, " ");
    for (pq::Document* doc : docs) doc->Modified = false;
    // Pages read from the file the window is named after are the state that file holds.
    const bool fromFile = !filePath_.isEmpty() && importSource_.isEmpty();
    for (int i = 0; i < PageCount(); ++i)
        pages_[std::size_t(i)].SavedPosition = fromFile && PageDoc(i).Journal.Pending.empty() ? PageDoc(i).HistoryPosition : 0;
    RewritePageNotes();
    for (Previous& p : previous) pq::ClearHistory(p.Counters, p.Ctx);
    if (pq::HistoryBehind(doc_)) historyRetry_->start();
    // A page whose base step waits in memory is said once, like a step of the window.
    for (const pq::HistoryResult& r : results)
        if (!r.Message.empty()) {
            frame_->GetPrompt().Message(this, "Pixquil", QString::fromStdString(r.Message), PromptIcon::Error,
                                        PromptButtons::Ok);
            break;
        }
    if (shown) {
        ShowCurrentPage();
    } else {
        UpdateCaption();
        UpdateStrip();
    }
}

void TImageForm::BecomeSet() {
    if (IsSet()) return;
    IconPage page;
    page.HistoryNumber = windowNumber_;
    page.SavedPosition = savedPosition_;   // the window's history, and what its file holds of it
    page.Kind = pq::NewPageKind(doc_.ImageWidth, doc_.ImageHeight);
    if (doc_.Origin.ResourceType != 0) {
        resourceType_ = doc_.Origin.ResourceType;
        std::vector<uint8_t> bytes;
        pq::IconDirectory dir;
        const bool others = pq::ReadIconFileBytes(doc_.Origin.Path, bytes).Ok && pq::ReadIconDirectory(bytes, dir).Ok &&
                            dir.Entries.size() > 1;
        if (others && !filePath_.isEmpty()) {
            filePath_.clear();
            setChanged_ = true;
        }
        if (doc_.Origin.Index >= 0 && std::size_t(doc_.Origin.Index) < dir.Entries.size())
            page.Kind = pq::StoredPageKind(bytes, dir.Entries[std::size_t(doc_.Origin.Index)]);
    }
    pages_.push_back(std::move(page));
    currentPage_ = 0;
    pagePictures_.assign(1, std::nullopt);
    // The history stays the window's: the page took its number.
    RewritePageNotes();
    ShowCurrentPage();
}

void TImageForm::SelectPage(int i) {
    if (!IsSet() || i < 0 || i >= PageCount() || i == currentPage_) return;
    // Whatever the tools were doing belongs to the page being left.
    band_ = BandKind::None;
    brushOutline_.reset();
    const int before = currentPage_;
    pages_[std::size_t(currentPage_)].Doc = std::move(doc_);
    doc_ = std::move(pages_[std::size_t(i)].Doc);
    pages_[std::size_t(i)].Doc = pq::Document{};
    currentPage_ = i;
    KeepColorsFrom(pages_[std::size_t(before)].Doc);
    // Which page is current is kept for a restore after a crash.
    RewritePageNotes({before, i});
    ShowCurrentPage();
}

void TImageForm::KeepColorsFrom(const pq::Document& left) {
    // The drawing and auxiliary colours go along wherever they mean the same colours.
    if (left.TrueColor && doc_.TrueColor) {
        doc_.DrawRgba = left.DrawRgba;
        doc_.AuxRgba = left.AuxRgba;
    } else if (!left.TrueColor && !doc_.TrueColor && left.ColorCount == doc_.ColorCount &&
               std::equal(left.Palette.begin(), left.Palette.begin() + left.ColorCount, doc_.Palette.begin())) {
        doc_.DrawColor = left.DrawColor;
        doc_.AuxColor = left.AuxColor;
    }
}

void TImageForm::ShowCurrentPage() {
    pq::EditResult refresh;
    refresh.RebuildLayers = true;
    refresh.RefreshColors = true;
    refresh.SizeChanged = true;
    ApplyEdit(refresh);
    UpdateCaption();
    UpdateStrip();
    if (frame_->ActiveForm() == this) Activate();
}

void TImageForm::UpdateStrip() {
    stripScroll_->setVisible(IsSet() && SharedPageView().Settings.StripVisible);
    if (!stripScroll_->isVisibleTo(this)) return;
    strip_->resize(strip_->sizeHint());
    stripScroll_->setFixedHeight(strip_->sizeHint().height() + stripScroll_->horizontalScrollBar()->sizeHint().height() +
                                 2 * stripScroll_->frameWidth());
    const QRect cell = strip_->CellRect(currentPage_);
    stripScroll_->ensureVisible(cell.center().x(), cell.center().y(), cell.width() / 2 + 8, 0);
    strip_->update();
}

void TImageForm::PageViewChanged() {
    if (!IsSet()) return;
    UpdateStrip();
    if (!stripScroll_->isVisibleTo(this)) return;
    // The strip takes or gives back height: the canvas is centred again in what is left.
    layout()->activate();
    CentreCanvas();
}

void TImageForm::UpdateCaption() {
    QString caption = name_;
    if (IsSet()) caption += QString(" - %1×%2").arg(doc_.ImageWidth).arg(doc_.ImageHeight);
    setWindowTitle(caption);
}

void TImageForm::RewritePageNotes(std::initializer_list<int> only) {
    // Written together, with one flush of the file system for all.
    std::vector<pq::Document*> docs;
    std::vector<pq::HistoryContext> contexts;
    for (int i = 0; i < PageCount(); ++i)
        if (PageDoc(i).HistoryPosition > 0 && (only.size() == 0 || std::find(only.begin(), only.end(), i) != only.end())) {
            docs.push_back(&PageDoc(i));
            contexts.push_back(PageHistoryCtx(i));
        }
    const std::vector<int> errs = pq::WriteRecoveryNotes(std::vector<const pq::Document*>(docs.begin(), docs.end()), contexts);
    for (std::size_t k = 0; k < docs.size(); ++k)
        if (errs[k] != 0) docs[k]->Journal.NoteBehind = true;
}

void TImageForm::InsertPage(pq::Document doc, pq::IconPageKind kind, int at) {
    BecomeSet();
    IconPage page;
    page.HistoryNumber = NextPageHistoryNumber();
    page.Kind = kind;
    page.Doc = std::move(doc);
    page.Doc.Modified = false;
    if (at < 0 || at > PageCount()) at = currentPage_ + 1;
    pages_[std::size_t(currentPage_)].Doc = std::move(doc_);
    pages_.insert(pages_.begin() + at, std::move(page));
    doc_ = std::move(pages_[std::size_t(at)].Doc);
    pages_[std::size_t(at)].Doc = pq::Document{};
    currentPage_ = at;
    pagePictures_.assign(pages_.size(), std::nullopt);
    setChanged_ = true;
    RecordStep(" ");
    RewritePageNotes();
    ShowCurrentPage();
}

void TImageForm::DuplicatePage() {
    pq::Document copy = doc_;
    copy.HistoryPosition = copy.RedoCount = copy.SnapshotCount = 0;
    copy.Journal = {};
    InsertPage(std::move(copy), IsSet() ? pages_[std::size_t(currentPage_)].Kind
                                        : pq::NewPageKind(doc_.ImageWidth, doc_.ImageHeight));
}

void TImageForm::DeletePage(int i) {
    if (!IsSet() || PageCount() < 2 || i < 0 || i >= PageCount()) return;
    if (i == currentPage_) {
        pq::ClearHistory(doc_, HistoryCtx());
        const int next = i + 1 < PageCount() ? i + 1 : i - 1;
        doc_ = std::move(pages_[std::size_t(next)].Doc);
        pages_[std::size_t(next)].Doc = pq::Document{};
        currentPage_ = next;
    } else {
        pq::ClearHistory(pages_[std::size_t(i)].Doc, PageHistoryCtx(i));
    }
    pages_.erase(pages_.begin() + i);
    if (currentPage_ > i) --currentPage_;
    pagePictures_.assign(pages_.size(), std::nullopt);
    setChanged_ = true;
    RewritePageNotes();
    ShowCurrentPage();
}

void TImageForm::MovePage(bool later) { MovePageTo(currentPage_, currentPage_ + (later ? 1 : -1)); }

void TImageForm::MovePageTo(int from, int to) {
    if (!IsSet() || from < 0 || from >= PageCount() || to < 0 || to >= PageCount() || from == to) return;
    // The current page's document lives in doc_, its slot stays empty wherever it goes.
    const int shown = pages_[std::size_t(currentPage_)].HistoryNumber;
    IconPage moved = std::move(pages_[std::size_t(from)]);
    pages_.erase(pages_.begin() + from);
    pages_.insert(pages_.begin() + to, std::move(moved));
    for (int i = 0; i < PageCount(); ++i)
        if (pages_[std::size_t(i)].HistoryNumber == shown) currentPage_ = i;
    pagePictures_.assign(pages_.size(), std::nullopt);
    setChanged_ = true;
    RewritePageNotes();
    ShowCurrentPage();
}

bool TImageForm::SetChanged() const {
    if (setChanged_) return true;
    for (int i = 0; i < PageCount(); ++i)
        if (PageDoc(i).Modified) return true;
    return false;
}

void TImageForm::MarkSetSaved(const std::vector<pq::StoredIconImage>& written, int resourceType) {
    for (int i = 0; i < PageCount() && std::size_t(i) < written.size(); ++i) {
        pages_[std::size_t(i)].Stored = written[std::size_t(i)];
        pages_[std::size_t(i)].StoredType = resourceType;
        pages_[std::size_t(i)].SavedPosition = PageDoc(i).HistoryPosition;
        PageDoc(i).Modified = false;
    }
    resourceType_ = resourceType;
    setChanged_ = false;
    RewritePageNotes();
}

}  // namespace pq::gui
