#pragma once
// A document window: an MDI child owning one Document, its undo history, its composite and its
// view state (zoom, grid, overlays). Every command changes the Document and then goes through
// ApplyEdit/CommitEdit, the one place that records the undo step, recomposes, repaints and
// refreshes the tool windows. Its menus place the rows of the command tables
// (document_menus.cpp).

#include <QImage>
#include <QPoint>
#include <QRect>
#include <QRegion>
#include <QString>
#include <QWidget>
#include <filesystem>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "core/document/document.h"
#include "core/document/edit_result.h"
#include "core/document/history.h"
#include "core/document/render.h"
#include "core/formats/ani_file.h"
#include "core/formats/cursor_animation.h"
#include "core/formats/icon_container.h"
#include "core/formats/icon_set.h"
#include "core/raster/raster.h"

namespace pq {
struct StrokeContext;
}

class QAction;
class QMenu;
class QScrollArea;
class QTimer;
class QPainter;

namespace pq::gui {

class FrameServices;
class TCanvas;
class TCanvasPage;
class TPageStrip;

// How long a frame is shown when nothing says otherwise (a set that is not animated, a new step).
inline constexpr int kDefaultFrameMilliseconds = 100;
// The longest time a frame's step may take, in milliseconds (what an .ani's rate field holds).
inline constexpr int kMaxFrameMilliseconds = 9'900'000;
// The step of every page フレームを全サイズにコピー changed.
inline constexpr const char* kCopyToFrameSizesStep = "フレームを全サイズにコピー";

// One image of an icon or cursor set edited in a window: a document of its own with its own
// undo history (snapshots under its own number), the kind it is written as, and the image as
// the file last held it, written again byte for byte while the page is unchanged.
struct IconPage {
    pq::Document Doc;   // moved into the window's document while the page is the current one
    int HistoryNumber = 0;
    pq::IconPageKind Kind = pq::IconPageKind::Palette;
    std::optional<pq::StoredIconImage> Stored;
    int StoredType = 0;   // resource type of the file Stored was read from or written to
    int SavedPosition = 0;   // the history position the file holds, 0 when it holds none (WindowLabel)
    int Frame = 0;           // the animation frame the page belongs to (0 in a set that is not animated)
    int NominalSize = 0;     // the nominal size an Xcursor file gave the page; 0 none
};

class TImageForm : public QWidget {
    Q_OBJECT
public:
    TImageForm(FrameServices* frame, const QString& name, int windowNumber);
    ~TImageForm() override;

    // ---- set-up ------------------------------------------------------------------------------
    // Blank picture; applies the zoom rule to the frame's zoom list and fits the window. A
    // truecolour picture ignores `colors` (its palette of swatches has 256 entries).
    void InitBlankDocument(int width, int height, int colors, bool trueColor = false);
    // After a file reader filled the Document (it ran pq::InitBlankDocument itself): show the
    // zoom chosen in the zoom list and fit the window to the canvas.
    void AdoptLoadedDocument();
    // Sizes the MDI window so that its client area is the canvas plus the scroll area's frame.
    void FitWindowToCanvas();

    // True from the start of the window's destruction.
    bool Dying() const { return dying_; }
    // Deletes the undo files of every page (what closing the window does), leaving the window.
    void DiscardHistory();
    // The MDI window's caption: the name with the "[*]" mark, shown while changes are unsaved.
    void UpdateModifiedMark();
    pq::Document& Doc() { return doc_; }
    const pq::Document& Doc() const { return doc_; }
    int WindowNumber() const { return windowNumber_; }
    FrameServices& Frame() const { return *frame_; }
    // The caption: "Icon" + number for a document never saved, else the file's full path.
    QString DocumentName() const { return name_; }
    // The file the document was read from or last saved to; empty when never saved.
    QString FilePath() const { return filePath_; }
    void SetFilePath(const QString& path);
    // A document made from a picture through the area picker: untitled like a new document
    // ("Icon" + its window number), the picture remembered for the recent files and for the
    // name the save chooser proposes. Saving under a name of its own forgets the picture.
    void AdoptImportedPicture(const QString& picture);
    // The picture the document was made from; empty when it was not, or once it was saved.
    QString ImportSource() const { return importSource_; }
    // The current page's history (the window's own for a one-image document).
    pq::HistoryContext HistoryCtx() const;

    // ---- icon sets (icon_pages.cpp) -----------------------------------------------------------
    // A set shows every page in a strip above the canvas; Doc() is always the current page's
    // document, so every tool, menu and tool window acts on it.
    bool IsSet() const { return !pages_.empty(); }
    int PageCount() const { return IsSet() ? int(pages_.size()) : 1; }
    int CurrentPage() const { return currentPage_; }
    pq::Document& PageDoc(int i) { return i == currentPage_ ? doc_ : pages_.at(std::size_t(i)).Doc; }
    const pq::Document& PageDoc(int i) const { return i == currentPage_ ? doc_ : pages_.at(std::size_t(i)).Doc; }
    const IconPage& PageAt(int i) const { return pages_.at(std::size_t(i)); }
    pq::HistoryContext PageHistoryCtx(int i) const;
    // 1 icon, 2 cursor: the kind of file the set was read from (what a new set is saved as).
    int SetResourceType() const { return resourceType_; }
    // "16×16 16色", "48×48 32ビット", "256×256 PNG".
    QString PageLabel(int i) const;
    // The status bar's text for this window: DocumentStatusText, for a set with the page's place
    // and kind first ("ページ：2/10  サイズ：48×48 色数：32ビット    ").
    QString StatusText() const;
    // Every page's place in the set's order of sizes (pq::PageKey).
    std::vector<pq::IconPageKey> PageKeys() const;
    // The window holds these pages from now on, the first current; each page gets a history of
    // its own with its base step, all written together before anything else happens, so the
    // opener records no base step for a set. A window that already had a history gives it up,
    // but only once every page is on disk.
    // `blank`: the pages are new blank pictures, which (as a blank new document) no file needs to
    // hold: killed unedited, the set is not offered for recovery.
    void AdoptIconSet(std::vector<pq::IconSetPage> pages, int resourceType, bool blank = false);
    // A one-image document becomes a set of one page. A document read from one image of an icon
    // file that holds others forgets the file, so that 上書き保存 cannot drop those images.
    void BecomeSet();
    void SelectPage(int i);
    // A page at `at` (after the current one when -1), made current, with its own base step.
    void InsertPage(pq::Document doc, pq::IconPageKind kind, int at = -1);
    void DuplicatePage();
    // Not the last page; its history goes with it.
    void DeletePage(int i);
    // The current page one place earlier (later = false) or later.
    void MovePage(bool later);
    // Page `from` taken out and put at `to` (both places in the set as it is); the current page stays current.
    void MovePageTo(int from, int to);
    // A page or the set itself (pages added, deleted, moved) changed since it was read or saved.
    bool SetChanged() const;
    // After the whole set was written as `written` (one image per page) into a file of `type`.
    void MarkSetSaved(const std::vector<pq::StoredIconImage>& written, int resourceType);
    // The page as its composed visible layers, alpha 255 where painted (for the strip and preview).
    const QImage& PagePicture(int i) const;
    // The composite's pixels of `area` written into `picture` (of the composite's size): its
    // colour with alpha 255 where painted, 0 elsewhere.
    static void WritePagePicture(const pq::Composite& comp, const pq::Rect& area, QImage& picture);
    TPageStrip* PageStrip() const { return strip_; }
    // The shared page view changed (strip shown or hidden, its height): the strip follows.
    void PageViewChanged();

    // ---- animation frames (icon_frames.cpp) ---------------------------------------------------
    // A set's pages may be the frames of an animation, each page of one frame; the window keeps
    // the steps (the frame shown at each, and for how many milliseconds). A set that is not
    // animated, and a one-image document, is one frame shown in one step. While a set has more
    // than one frame its pages stand grouped by size, each size's frames in order.
    int FrameCount() const;
    int PageFrame(int page) const;
    const std::vector<int>& AnimationSteps() const { return steps_; }
    const std::vector<int>& AnimationStepMilliseconds() const { return stepMilliseconds_; }
    // The first page of `frame` of width x height; -1 when the frame has no page of that size.
    int FramePage(int frame, int width, int height) const;
    // The pages as frames (copies of the documents as shown, with their kinds and the images
    // they were read as), the steps, times, title and author, the set's resource type.
    pq::CursorAnimation Animation() const;
    // The window holds this animation from now on (as AdoptIconSet holds pages): every size of
    // every frame a page, the first current. `source` (may be null) is what an .ani was read
    // as, kept so that the unchanged animation is written back byte for byte.
    void AdoptAnimation(pq::CursorAnimation anim, const pq::AniSource* source);
    // What the animation was read as or last written as (an .ani); null when none.
    const pq::AniSource* AnimationSource() const { return aniSource_ ? &*aniSource_ : nullptr; }
    // After the animation was written to an .ani (its bytes read back as `source`, may be null)
    // or an Xcursor file: every page and the set are unchanged from now on.
    void MarkAnimationSaved(const pq::AniSource* source);
    // Frame commands of the アイコン menu; each changes the set (marked modified) and keeps the
    // steps naming the same pictures. The current frame is the current page's.
    // A blank frame (copy = false) or a copy of the current one, every size of it, after it.
    void InsertFrame(bool copy);
    // Not the last frame: its pages and their histories go, and the steps showing it.
    void DeleteFrame();
    // The current frame one place earlier or later. Steps that ran over the frames in order still
    // do (each time going with its frame); any other order keeps showing the same pictures.
    void MoveFrame(bool later);
    // Every step showing the current frame (every step when allFrames) lasts `milliseconds`.
    void SetFrameMilliseconds(int milliseconds, bool allFrames);
    // After a lost set was restored whole (its pages at `places` of the `setPages` pages of the
    // set numbered `setWindow`): its frames and times from the note that set left in `folder`,
    // when there is one that fits; otherwise the set stays one frame.
    void AdoptFrameNote(const std::filesystem::path& folder, int setWindow, int setPages, const std::vector<int>& places);
    // Every other page of the current frame becomes the current page resampled to its size (in
    // its own colour mode and count, its hotspot kept), a step of each page's history.
    void CopyPageToFrameSizes();

    // ---- rendering ---------------------------------------------------------------------------
    void SetZoom(int zoom);
    void CentreCanvas();
    // Rebuilds the composite and thumbnails and repaints the preview window (no screen work).
    void Recompose();
    // The same for an edit that changed only the image pixels of `touched`: the composite,
    // the thumbnails, the page picture and the preview are rebuilt there alone (the whole when
    // something since the last recompose was not local). Nothing happens for an empty one.
    void Recompose(const pq::Rect& touched);
    // Repaints the whole canvas from the composite; the selection outline reappears at the
    // outline timer's next tick, the brush outline at the pointer's next move over the canvas.
    void Present();
    // Repaints the canvas squares of the image pixels of `touched` and the places the
    // overlays took away by Present were drawn.
    void Present(const pq::Rect& touched);
    // Recompose + Present.
    void Redraw();
    // Recompose + Present of what the rectangle form rebuilt.
    void Redraw(const pq::Rect& touched);
    const pq::Composite& Comp() const { return comp_; }
    bool GridVisible() const { return grid_; }
    void SetGridVisible(bool on);
    TCanvas* Canvas() const { return canvas_; }
    QScrollArea* ScrollArea() const { return scroll_; }
    // What the canvas shows at a canvas pixel (picture plus grid, overlays excluded).
    pq::Rgb ViewPixel(int x, int y) const;

    // ---- the edit cycle ------------------------------------------------------------------------
    // The one end of every command: records the step the result names (a failed snapshot write
    // is reported), rebuilds the layer rows, resizes and recentres the canvas for a new size,
    // recomposes and repaints, refreshes the rows and the colour palette as named, runs the
    // selection-outline timer exactly while a selection exists and updates the frame's buttons.
    void ApplyEdit(const pq::EditResult& result);
    // ApplyEdit of a step that redraws and refreshes the colour palette.
    void CommitEdit(const std::string& step);
    // RecordStep with failure reporting; true when the step was recorded (or undo is off). A
    // step kept in memory for a full disk is written again every few seconds until it fits.
    // `failure`, when given, takes the message instead of a message box.
    bool RecordStep(const std::string& name, bool clearFirst = false, std::string* failure = nullptr);
    // Writes the steps kept in memory, if any; true when the history is on disk.
    bool FlushHistory();

    // ---- Edit menu -------------------------------------------------------------------------------
    void meUndoClick();
    void meRedoClick();
    // Undo (redo = false) or redo, then through ApplyEdit the refreshes both commands run even
    // when nothing changed: layer rows, colour palette, and the zoom list's entry applied again
    // (a restored step may have another canvas size).
    void RestoreAndRefresh(bool redo);
    void meMemClsClick();
    void UpdateEditMenu();
    QAction* UndoAction() const { return meUndo_; }
    QAction* RedoAction() const { return meRedo_; }
    QAction* MemClsAction() const { return meMemCls_; }

    // ---- saving ------------------------------------------------------------------------------------
    // 上書き保存: true only when the document was written. A document never saved asks for a
    // name first.
    bool Save();
    // 名前を付けて保存: asks for a name and writes; true only when written.
    bool SaveAs();

    // ---- activation, menus ------------------------------------------------------------------------
    void Activate();
    QList<QMenu*> Menus() const;
    // Menu entries and menus by object name ("Save1", "meCut", "msAll", "mImage", ...), for tests.
    QAction* MenuAction(const QString& objectName) const;
    QMenu* MenuNamed(const QString& objectName) const;
    void ApplyCursor(const QCursor& cursor);

    // ---- canvas events (screen coordinates of the canvas) -----------------------------------------
    void pbIconImageMouseDown(Qt::MouseButton button, Qt::KeyboardModifiers mods, QPoint pos);
    void pbIconImageMouseMove(Qt::KeyboardModifiers mods, QPoint pos);
    void pbIconImageMouseUp(Qt::MouseButton button);
    // The pointer is no longer over the canvas (it left, or another window was activated): the
    // brush outline and the coordinate in the status bar go.
    void PointerLeftCanvas();

    // Painting of the canvas, called by TCanvas::paintEvent.
    void PaintCanvas(QPainter& painter, const QRect& exposed);

    // Selection outline timer (100 ms).
    void StartOutlineTimer();
    void StopOutlineTimer();
    bool OutlineTimerActive() const;
    void Timer1Timer();

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    // Modified follows the state: equal to the state last opened or saved (by its digest) means
    // unmodified, so undoing back to it leaves nothing to save. One-image documents only.
    void FollowSavedState();
    void NoteSavedState();
    // After the document was written to its file: NoteSavedState, and the history position the
    // file holds, in the recovery note.
    void NoteSavedFile();
    void BuildMenus();
    void SizeCanvas();
    // After the current page changed: canvas, rows, palette, preview, caption and strip.
    void ShowCurrentPage();
    void UpdateCaption();
    // Sizes the strip to its pages and shows it (a set) or hides it.
    void UpdateStrip();
    // Puts the pages of an animated set in their order (by size, then frame); the current
    // page stays current.
    void GroupFramePages();
    // After the last page of `frame` went: the frames above it move one down, the steps that
    // showed it go and the others follow (one step of a remaining frame when none is left).
    void DropFrame(int frame);
    // The animation's frame note beside the page notes (removed for a set that is not animated).
    void WriteFrameNote();
    // Page `i` becomes the current one (the window's document), nothing else refreshed.
    void MakeCurrent(int i);
    // Rewrites every page's recovery note (their places changed).
    // (Only those of the pages listed, when any are.)
    void RewritePageNotes(std::initializer_list<int> only = {});
    // After a page change: the colours of the page left, where this page shows them alike.
    void KeepColorsFrom(const pq::Document& left);
    // Tool helpers (image_form_tools.cpp).
    void PickColor(Qt::MouseButton button, int x, int y);
    void SetStrokeColorByButton(Qt::MouseButton button);
    // What the engines paint with: the stroke's palette index and RGBA at this brush size.
    pq::StrokeContext StrokeCtx(int brushSize) const;
    QRect BrushOutlineBox(QPoint pos, int size) const;
    void UpdateBrushOutline(QPoint pos, Qt::KeyboardModifiers mods);
    void TextToolPress(Qt::MouseButton button, int x, int y);
    void ClonePress(Qt::MouseButton button, int x, int y);
    void FinishBand();
    void DrawOverlays(QPainter& painter);
    // The select and move tools.
    void SelectToolPress(Qt::MouseButton button, QPoint pos);
    void SelectToolMove(QPoint pos);
    void SelectToolRelease(Qt::MouseButton button);
    void MoveToolPress(Qt::MouseButton button, int x, int y);
    void MoveToolMove(int x, int y);
    void MoveToolRelease();
    // The screen area of the selection outline's four edges.
    QRegion SelectionOutlineRegion() const;

    FrameServices* frame_;
    QString name_;
    QString filePath_;
    QString importSource_;
    // StateDigest of the document as opened or last saved; none for a set, or a recovered
    // document until it is saved.
    std::optional<std::uint64_t> savedState_;
    // The history position the file holds for the recovery note (WindowLabel::SavedPosition), 0
    // when none; a one-image document's (a set's pages keep theirs). The blank start of a new
    // picture counts as held: blankBase_ says so until its base step is recorded.
    int savedPosition_ = 0;
    bool blankBase_ = false;
    int windowNumber_;
    pq::Document doc_;
    pq::Composite comp_;
    // Set by a change the composite has not seen that is not confined to a known rectangle: the
    // next recompose is then whole, whatever rectangle it is given.
    bool wholePending_ = false;
    // The checkerboard colours the canvas was last sized with: a change of the transparency
    // colours reaches an open canvas at its next zoom change, the thumbnails at once.
    pq::TransparencyColors canvasColors_;
    bool grid_ = true;
    bool dying_ = false;
    mutable pq::Raster viewScratch_;

    std::vector<IconPage> pages_;   // empty: a one-image document
    int currentPage_ = 0;
    int resourceType_ = 1;
    bool setChanged_ = false;
    mutable std::vector<std::optional<QImage>> pagePictures_;
    // The animation's steps (frame per step, milliseconds per step), title and author.
    std::vector<int> steps_{0};
    std::vector<int> stepMilliseconds_{kDefaultFrameMilliseconds};
    std::string animTitle_, animAuthor_;
    std::optional<pq::AniSource> aniSource_;
    bool frameNoteWritten_ = false;   // this window's frame note is on disk
    TPageStrip* strip_ = nullptr;
    QScrollArea* stripScroll_ = nullptr;

    QScrollArea* scroll_ = nullptr;
    TCanvasPage* page_ = nullptr;
    TCanvas* canvas_ = nullptr;
    QTimer* timer1_ = nullptr;
    QTimer* historyRetry_ = nullptr;   // while steps wait in memory for room on the disk

    // Overlays.
    enum class BandKind { None, Line, Rect, Ellipse, Polyline };
    BandKind band_ = BandKind::None;
    QPoint bandStart_, bandEnd_;
    std::optional<QRect> brushOutline_;
    bool outlineShown_ = false;
    int outlineFrame_ = 0;

    // Menus.
    QMenu* mFile_ = nullptr;
    QMenu* mEdit_ = nullptr;
    QMenu* mShow_ = nullptr;
    QMenu* mImage_ = nullptr;
    QMenu* mPalette_ = nullptr;
    QMenu* mLayer_ = nullptr;
    QMenu* mSelect_ = nullptr;
    QMenu* mIcon_ = nullptr;
    QAction* meUndo_ = nullptr;
    QAction* meRedo_ = nullptr;
    QAction* meMemCls_ = nullptr;
};

// The status bar's document text: "サイズ：32×32 色数：256色    ", "… 色数：32ビット    ".
QString DocumentStatusText(const pq::Document& doc);
// "16色", "256色", or "32ビット" for a truecolour document.
QString ColorModeText(const pq::Document& doc);

}  // namespace pq::gui
