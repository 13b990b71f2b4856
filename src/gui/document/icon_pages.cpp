// The pages of an icon set in a document window. The current page's document is the window's
// own (doc_), so every command acts on it unchanged; the other pages wait in pages_ and change
// places with it when another page is chosen.
#include <QImage>
#include <QLayout>
#include <algorithm>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>

#include "core/document/color_reduction.h"
#include "core/document/frame_note.h"
#include "core/document/recovery_note.h"
#include "core/document/selection.h"
#include "core/ops/resample.h"
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
    if (FrameCount() > 1) {
        // "32×32 #3 50ms": the frame counted from 1 and the time of its first step (none shown
        // when no step shows the frame).
        QString label = QString("%1×%2 #%3").arg(PageDoc(i).ImageWidth).arg(PageDoc(i).ImageHeight).arg(page.Frame + 1);
        const auto step = std::find(steps_.begin(), steps_.end(), page.Frame);
        if (step != steps_.end()) label += QString(" %1ms").arg(stepMilliseconds_[std::size_t(step - steps_.begin())]);
        return label;
    }
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

void TImageForm::AdoptIconSet(std::vector<pq::IconSetPage> pages, int resourceType, bool blank) {
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
    // A set of pages is one frame; AdoptAnimation gives frames and steps afterwards.
    steps_ = {0};
    stepMilliseconds_ = {kDefaultFrameMilliseconds};
    animTitle_.clear();
    animAuthor_.clear();
    aniSource_.reset();
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
    // Pages read from the file the window is named after are the state that file holds; new blank
    // pages are a state nothing needs to hold.
    const bool fromFile = blank || (!filePath_.isEmpty() && importSource_.isEmpty());
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
    if (only.size() == 0) WriteFrameNote();
}

void TImageForm::WriteFrameNote() {
    // Only an animation needs one: its frames and times beside the pages' own notes.
    const bool animated = IsSet() && (FrameCount() > 1 || steps_ != std::vector<int>{0} ||
                                      stepMilliseconds_ != std::vector<int>{kDefaultFrameMilliseconds});
    if (!animated || !frame_->UndoEnabled()) {
        // Only the window's own note: a lost set's of the same number may still wait to be read.
        if (frameNoteWritten_) pq::RemoveFrameNote(frame_->SnapshotFolderPath(), windowNumber_);
        frameNoteWritten_ = false;
        return;
    }
    pq::FrameNote note;
    for (const IconPage& p : pages_) note.PageFrames.push_back(p.Frame);
    note.Steps = steps_;
    note.StepMilliseconds = stepMilliseconds_;
    // A note that cannot be written costs only the frames of a restore after a crash.
    frameNoteWritten_ = pq::WriteFrameNote(frame_->SnapshotFolderPath(), windowNumber_, note) || frameNoteWritten_;
}

void TImageForm::AdoptFrameNote(const std::filesystem::path& folder, int setWindow, int setPages,
                                const std::vector<int>& places) {
    if (!IsSet() || int(places.size()) != PageCount() || setPages != PageCount()) return;
    const std::optional<pq::FrameNote> note = pq::ReadFrameNote(folder, setWindow, setPages, kMaxFrameMilliseconds);
    if (!note) return;
    for (int i = 0; i < PageCount(); ++i) {
        const int place = places[std::size_t(i)];
        if (place < 0 || place >= setPages) return;
    }
    for (int i = 0; i < PageCount(); ++i) pages_[std::size_t(i)].Frame = note->PageFrames[std::size_t(places[std::size_t(i)])];
    steps_ = note->Steps;
    stepMilliseconds_ = note->StepMilliseconds;
    GroupFramePages();
    pagePictures_.assign(pages_.size(), std::nullopt);
    RewritePageNotes();
    UpdateStrip();
}

void TImageForm::InsertPage(pq::Document doc, pq::IconPageKind kind, int at) {
    BecomeSet();
    IconPage page;
    page.HistoryNumber = NextPageHistoryNumber();
    page.Kind = kind;
    page.Doc = std::move(doc);
    page.Doc.Modified = false;
    // A new size of the frame being shown.
    page.Frame = pages_[std::size_t(currentPage_)].Frame;
    if (at < 0 || at > PageCount()) at = currentPage_ + 1;
    pages_[std::size_t(currentPage_)].Doc = std::move(doc_);
    pages_.insert(pages_.begin() + at, std::move(page));
    doc_ = std::move(pages_[std::size_t(at)].Doc);
    pages_[std::size_t(at)].Doc = pq::Document{};
    currentPage_ = at;
    GroupFramePages();
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
    const int frame = pages_[std::size_t(i)].Frame;
    pages_.erase(pages_.begin() + i);
    if (currentPage_ > i) --currentPage_;
    // The last page of a frame takes the frame with it.
    if (std::none_of(pages_.begin(), pages_.end(), [frame](const IconPage& p) { return p.Frame == frame; }))
        DropFrame(frame);
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
    // An animation keeps its pages by size and frame: a page moves among the sizes only.
    GroupFramePages();
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
    // The file is an icon or cursor file now, no longer the animation read.
    aniSource_.reset();
    RewritePageNotes();
}

// ---- animation frames ------------------------------------------------------------------------

int TImageForm::FrameCount() const {
    int frames = 1;
    for (const IconPage& p : pages_) frames = std::max(frames, p.Frame + 1);
    return frames;
}

int TImageForm::PageFrame(int page) const {
    if (!IsSet() || page < 0 || page >= PageCount()) return 0;
    return pages_[std::size_t(page)].Frame;
}

int TImageForm::FramePage(int frame, int width, int height) const {
    for (int i = 0; i < PageCount(); ++i)
        if (PageFrame(i) == frame && PageDoc(i).ImageWidth == width && PageDoc(i).ImageHeight == height) return i;
    return -1;
}

pq::CursorAnimation TImageForm::Animation() const {
    pq::CursorAnimation anim;
    anim.ResourceType = resourceType_;
    anim.Frames.resize(std::size_t(FrameCount()));
    for (int i = 0; i < PageCount(); ++i) {
        pq::IconSetPage page;
        page.Doc = pq::DocumentAsShown(PageDoc(i));
        page.Kind = IsSet() ? pages_[std::size_t(i)].Kind : pq::NewPageKind(doc_.ImageWidth, doc_.ImageHeight);
        if (IsSet() && pages_[std::size_t(i)].Stored) page.Stored = *pages_[std::size_t(i)].Stored;
        pq::CursorFrame& frame = anim.Frames[std::size_t(PageFrame(i))];
        frame.Sizes.push_back(std::move(page));
        frame.NominalSizes.push_back(IsSet() ? pages_[std::size_t(i)].NominalSize : 0);
    }
    anim.Steps = steps_;
    anim.StepMilliseconds = stepMilliseconds_;
    anim.Title = animTitle_;
    anim.Author = animAuthor_;
    return anim;
}

void TImageForm::AdoptAnimation(pq::CursorAnimation anim, const pq::AniSource* source) {
    if (!pq::CheckCursorAnimation(anim).Ok) return;
    std::vector<pq::IconSetPage> pages;
    std::vector<int> frames, nominal;
    for (std::size_t f = 0; f < anim.Frames.size(); ++f) {
        pq::CursorFrame& frame = anim.Frames[f];
        for (std::size_t j = 0; j < frame.Sizes.size(); ++j) {
            pages.push_back(std::move(frame.Sizes[j]));
            frames.push_back(int(f));
            nominal.push_back(j < frame.NominalSizes.size() ? frame.NominalSizes[j] : 0);
        }
    }
    // Every page's history is written with its place in the set: the places are final first.
    std::vector<std::size_t> order(pages.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    if (anim.Frames.size() > 1) {
        std::vector<std::pair<int, int>> sizes;   // in order of first appearance
        auto rank = [&sizes](const pq::Document& d) {
            const std::pair<int, int> s{d.ImageWidth, d.ImageHeight};
            const auto it = std::find(sizes.begin(), sizes.end(), s);
            if (it != sizes.end()) return int(it - sizes.begin());
            sizes.push_back(s);
            return int(sizes.size()) - 1;
        };
        std::vector<int> ranks;
        for (const pq::IconSetPage& p : pages) ranks.push_back(rank(p.Doc));
        std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
            return std::pair(ranks[a], frames[a]) < std::pair(ranks[b], frames[b]);
        });
    }
    std::vector<pq::IconSetPage> sorted;
    for (std::size_t i : order) sorted.push_back(std::move(pages[i]));
    AdoptIconSet(std::move(sorted), anim.ResourceType);
    for (std::size_t k = 0; k < order.size() && k < pages_.size(); ++k) {
        pages_[k].Frame = frames[order[k]];
        pages_[k].NominalSize = nominal[order[k]];
    }
    steps_ = std::move(anim.Steps);
    stepMilliseconds_ = std::move(anim.StepMilliseconds);
    animTitle_ = std::move(anim.Title);
    animAuthor_ = std::move(anim.Author);
    if (source) aniSource_ = *source;
    pagePictures_.assign(pages_.size(), std::nullopt);
    WriteFrameNote();
    UpdateStrip();
}

void TImageForm::MarkAnimationSaved(const pq::AniSource* source) {
    for (int i = 0; i < PageCount(); ++i) {
        if (IsSet()) pages_[std::size_t(i)].SavedPosition = PageDoc(i).HistoryPosition;
        PageDoc(i).Modified = false;
    }
    if (source) aniSource_ = *source;
    else aniSource_.reset();
    setChanged_ = false;
    RewritePageNotes();
    strip_->update();
}

void TImageForm::GroupFramePages() {
    if (!IsSet() || FrameCount() < 2) return;
    std::vector<std::pair<int, int>> sizes;
    std::vector<std::pair<int, int>> keys;   // (size's rank, frame) per page
    for (int i = 0; i < PageCount(); ++i) {
        const std::pair<int, int> s{PageDoc(i).ImageWidth, PageDoc(i).ImageHeight};
        auto it = std::find(sizes.begin(), sizes.end(), s);
        if (it == sizes.end()) it = sizes.insert(sizes.end(), s);
        keys.emplace_back(int(it - sizes.begin()), pages_[std::size_t(i)].Frame);
    }
    std::vector<std::size_t> order(pages_.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&keys](std::size_t a, std::size_t b) { return keys[a] < keys[b]; });
    std::vector<IconPage> sorted;
    for (std::size_t i : order) sorted.push_back(std::move(pages_[i]));
    const int shown = pages_[std::size_t(currentPage_)].HistoryNumber;
    pages_ = std::move(sorted);
    for (int i = 0; i < PageCount(); ++i)
        if (pages_[std::size_t(i)].HistoryNumber == shown) currentPage_ = i;
    pagePictures_.assign(pages_.size(), std::nullopt);
}

void TImageForm::DropFrame(int frame) {
    for (IconPage& p : pages_)
        if (p.Frame > frame) --p.Frame;
    std::vector<int> steps, times;
    for (std::size_t k = 0; k < steps_.size(); ++k) {
        if (steps_[k] == frame) continue;
        steps.push_back(steps_[k] > frame ? steps_[k] - 1 : steps_[k]);
        times.push_back(stepMilliseconds_[k]);
    }
    if (steps.empty()) {
        steps.push_back(std::min(frame, FrameCount() - 1));
        times.push_back(stepMilliseconds_.empty() ? kDefaultFrameMilliseconds : stepMilliseconds_.front());
    }
    steps_ = std::move(steps);
    stepMilliseconds_ = std::move(times);
}

void TImageForm::MakeCurrent(int i) {
    if (i == currentPage_) return;
    pages_[std::size_t(currentPage_)].Doc = std::move(doc_);
    doc_ = std::move(pages_[std::size_t(i)].Doc);
    pages_[std::size_t(i)].Doc = pq::Document{};
    currentPage_ = i;
}

void TImageForm::InsertFrame(bool copy) {
    BecomeSet();
    band_ = BandKind::None;
    brushOutline_.reset();
    const int frame = pages_[std::size_t(currentPage_)].Frame;
    const int shownNumber = pages_[std::size_t(currentPage_)].HistoryNumber;
    for (IconPage& p : pages_)
        if (p.Frame > frame) ++p.Frame;
    for (int& s : steps_)
        if (s > frame) ++s;
    // The new frame is shown right after the current one's first step, as long.
    const auto first = std::find(steps_.begin(), steps_.end(), frame);
    const std::size_t at = first == steps_.end() ? steps_.size() : std::size_t(first - steps_.begin()) + 1;
    const int time = first == steps_.end() ? kDefaultFrameMilliseconds : stepMilliseconds_[at - 1];
    steps_.insert(steps_.begin() + std::ptrdiff_t(at), frame + 1);
    stepMilliseconds_.insert(stepMilliseconds_.begin() + std::ptrdiff_t(at), time);

    std::vector<int> added;   // history numbers of the new pages
    int target = 0;
    const std::size_t count = pages_.size();
    for (std::size_t i = 0; i < count; ++i) {
        if (pages_[i].Frame != frame) continue;
        const pq::Document& from = PageDoc(int(i));
        IconPage page;
        page.HistoryNumber = NextPageHistoryNumber();
        page.Kind = pages_[i].Kind;
        page.Frame = frame + 1;
        page.NominalSize = pages_[i].NominalSize;
        if (copy) {
            page.Doc = from;
        } else {
            // The same size, colours and hotspot, nothing painted.
            if (from.TrueColor) pq::InitBlankTrueColorDocument(page.Doc, from.ImageWidth, from.ImageHeight, from.Zoom);
            else pq::InitBlankDocument(page.Doc, from.ImageWidth, from.ImageHeight, from.ColorCount, from.Zoom);
            page.Doc.Palette = from.Palette;
            page.Doc.HotspotX = from.HotspotX;
            page.Doc.HotspotY = from.HotspotY;
            page.Doc.HasHotspot = from.HasHotspot;
        }
        page.Doc.HistoryPosition = page.Doc.RedoCount = page.Doc.SnapshotCount = 0;
        page.Doc.Journal = {};
        page.Doc.Modified = false;
        if (pages_[i].HistoryNumber == shownNumber) target = page.HistoryNumber;
        added.push_back(page.HistoryNumber);
        pages_.push_back(std::move(page));
    }
    GroupFramePages();
    setChanged_ = true;
    // Each new page's base step, all written together.
    std::vector<pq::Document*> docs;
    std::vector<pq::HistoryContext> contexts;
    for (int i = 0; i < PageCount(); ++i)
        if (std::find(added.begin(), added.end(), pages_[std::size_t(i)].HistoryNumber) != added.end()) {
            docs.push_back(&pages_[std::size_t(i)].Doc);
            contexts.push_back(PageHistoryCtx(i));
        }
    pq::RecordSteps(docs, contexts, " ");
    for (pq::Document* d : docs) d->Modified = false;
    for (int i = 0; i < PageCount(); ++i)
        if (pages_[std::size_t(i)].HistoryNumber == target) MakeCurrent(i);
    pagePictures_.assign(pages_.size(), std::nullopt);
    RewritePageNotes();
    ShowCurrentPage();
}

void TImageForm::DeleteFrame() {
    if (!IsSet() || FrameCount() < 2) return;
    band_ = BandKind::None;
    brushOutline_.reset();
    const int frame = pages_[std::size_t(currentPage_)].Frame;
    // The page shown next: the same size in the following frame (the previous one for the last).
    const int next = frame + 1 < FrameCount() ? frame + 1 : frame - 1;
    int target = FramePage(next, doc_.ImageWidth, doc_.ImageHeight);
    if (target < 0)
        for (int i = 0; i < PageCount() && target < 0; ++i)
            if (pages_[std::size_t(i)].Frame == next) target = i;
    const int targetNumber = pages_[std::size_t(target)].HistoryNumber;
    MakeCurrent(target);
    for (int i = PageCount() - 1; i >= 0; --i)
        if (pages_[std::size_t(i)].Frame == frame) {
            pq::ClearHistory(pages_[std::size_t(i)].Doc, PageHistoryCtx(i));
            pages_.erase(pages_.begin() + i);
        }
    for (int i = 0; i < PageCount(); ++i)
        if (pages_[std::size_t(i)].HistoryNumber == targetNumber) currentPage_ = i;
    DropFrame(frame);
    pagePictures_.assign(pages_.size(), std::nullopt);
    setChanged_ = true;
    RewritePageNotes();
    ShowCurrentPage();
}

void TImageForm::MoveFrame(bool later) {
    if (!IsSet()) return;
    const int frame = pages_[std::size_t(currentPage_)].Frame;
    const int other = frame + (later ? 1 : -1);
    if (other < 0 || other >= FrameCount()) return;
    bool inOrder = int(steps_.size()) == FrameCount();
    for (std::size_t k = 0; inOrder && k < steps_.size(); ++k) inOrder = steps_[k] == int(k);
    for (IconPage& p : pages_)
        if (p.Frame == frame || p.Frame == other) p.Frame = p.Frame == frame ? other : frame;
    if (inOrder) {
        std::swap(stepMilliseconds_[std::size_t(frame)], stepMilliseconds_[std::size_t(other)]);
    } else {
        for (int& s : steps_)
            if (s == frame || s == other) s = s == frame ? other : frame;
    }
    GroupFramePages();
    setChanged_ = true;
    RewritePageNotes();
    ShowCurrentPage();
}

void TImageForm::SetFrameMilliseconds(int milliseconds, bool allFrames) {
    milliseconds = std::clamp(milliseconds, 1, kMaxFrameMilliseconds);
    const int frame = PageFrame(currentPage_);
    bool changed = false;
    for (std::size_t k = 0; k < steps_.size(); ++k)
        if ((allFrames || steps_[k] == frame) && stepMilliseconds_[k] != milliseconds) {
            stepMilliseconds_[k] = milliseconds;
            changed = true;
        }
    if (!changed) return;
    if (IsSet()) setChanged_ = true;
    RewritePageNotes();
    UpdateModifiedMark();
    UpdateStrip();
    frame_->ActionList1Update();
}

void TImageForm::CopyPageToFrameSizes() {
    if (!IsSet()) return;
    const int frame = pages_[std::size_t(currentPage_)].Frame;
    const int zoom = frame_->SelectedZoom();
    const pq::ReductionOptions reduction = frame_->Reduction();
    const pq::Document source = pq::DocumentAsShown(doc_);
    pq::Document trueSource;   // the source in truecolour, for truecolour pages of a palette source
    std::vector<pq::Document*> docs;
    std::vector<pq::HistoryContext> contexts;
    for (int i = 0; i < PageCount(); ++i) {
        if (i == currentPage_ || pages_[std::size_t(i)].Frame != frame) continue;
        pq::Document& target = pages_[std::size_t(i)].Doc;
        pq::Document made;
        if (target.TrueColor) {
            // Averaged on premultiplied values, as a truecolour page is made from any page.
            if (!source.TrueColor && !trueSource.Ready) {
                trueSource = source;
                pq::ConvertToTrueColor(trueSource);
            }
            made = pq::ResampledDocument(source.TrueColor ? source : trueSource, target.ImageWidth, target.ImageHeight,
                                         256, zoom, reduction);
        } else {
            made = pq::ResampledDocument(source, target.ImageWidth, target.ImageHeight, target.ColorCount, zoom,
                                         reduction);
            if (made.Ready && made.TrueColor) pq::ConvertToPalette(made, target.ColorCount, reduction);
        }
        if (!made.Ready) continue;
        // The page keeps its own hotspot, file and history.
        made.HotspotX = target.HotspotX;
        made.HotspotY = target.HotspotY;
        made.HasHotspot = target.HasHotspot;
        made.Origin = target.Origin;
        made.Zoom = target.Zoom;
        made.HistoryPosition = target.HistoryPosition;
        made.RedoCount = target.RedoCount;
        made.SnapshotCount = target.SnapshotCount;
        made.Journal = std::move(target.Journal);
        target = std::move(made);
        docs.push_back(&target);
        contexts.push_back(PageHistoryCtx(i));
    }
    if (docs.empty()) return;
    const std::vector<pq::HistoryResult> results = pq::RecordSteps(docs, contexts, kCopyToFrameSizesStep);
    for (pq::Document* d : docs) d->Modified = true;
    for (const pq::HistoryResult& r : results)
        if (!r.Message.empty()) {
            frame_->GetPrompt().Message(this, "Pixquil", QString::fromStdString(r.Message), PromptIcon::Error,
                                        PromptButtons::Ok);
            break;
        }
    pagePictures_.assign(pages_.size(), std::nullopt);
    UpdateModifiedMark();
    UpdateStrip();
    frame_->ActionList1Update();
}

}  // namespace pq::gui
