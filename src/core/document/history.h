#pragma once
// Undo history on disk: every recorded step writes a snapshot of the whole document to the
// file "img" + window number + "no" + k in the snapshot folder; undo and redo reload a
// neighbouring snapshot. Counters live in the Document (HistoryPosition, RedoCount,
// SnapshotCount) and only advance after a complete snapshot was written.
// The snapshot bytes are in history_snapshot.h, the folder of this instance in
// snapshot_folder.h; this header brings the three together for the document windows.

#include <cstddef>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "core/document/document.h"
#include "core/document/history_snapshot.h"
#include "core/document/snapshot_folder.h"

namespace pq {

// What a later start shows of a window whose program ended without cleaning up.
// A page of an icon set has a window of its own history; the set's fields say which set it
// belongs to and where, so that a later start restores the set as one document.
struct WindowLabel {
    std::string Caption;    // UTF-8
    std::string FileName;   // UTF-8 path; empty when never saved
    int SetWindow = 0;      // the window number of the page's set; 0 for an ordinary window
    int PageIndex = 0;      // the page's place in its set, from 0
    int PageKind = 0;       // kept for the window that shows the page: 0 palette, 1 32-bit, 2 PNG
    int SetPages = 0;       // how many pages the set had when the note was written; 0 not known
    // Written while the set opens: until every page's first step is on disk the set is not whole,
    // and a set found with pages missing and every page still so marked was never edited.
    bool SetOpening = false;
    bool PageCurrent = false;   // the page the set's window showed
    // The history position whose state the window's file holds: for an ordinary window the state
    // it was read in or last saved (a new picture's blank start too), for a page the state its set
    // was last written whole in, unchanged besides; 0 when the file holds none of the history. A
    // window (or a set, every page) found at that state needs no recovery.
    int SavedPosition = 0;
};

struct HistoryContext {
    std::filesystem::path Folder;   // where the snapshot files live
    int WindowNumber = 0;
    bool UndoEnabled = true;
    // When set, every change of the counters also rewrites the window's recovery note beside
    // its snapshots (recovery_note.h), so that the history can be offered after a crash.
    std::optional<WindowLabel> Label{};
};

struct HistoryResult {
    bool Ok = true;
    std::string Message;   // for the user when !Ok; empty when the failure was said before
    std::string Warning;   // for the user when Ok: low free space, said once per window
};

std::filesystem::path SnapshotPath(const HistoryContext& ctx, int k);

// Sets Modified unless the name is the base step " ", then (when undo is enabled) writes
// snapshot HistoryPosition and advances the counters. clearFirst empties the history and
// records a fresh base step instead.
// On a full disk the instance's reserve (history_reserve.h) is released first and the step
// written into the space it frees, which the Warning says. A step that still cannot be written
// stays on the canvas: it is kept in memory (doc.Journal) and written, in order, before anything
// later; until then undo and redo are off. The failure is said once, when the first step is
// kept, with how many steps are at risk. Kept steps beyond a memory bound are merged into the
// next one; how many were merged is said (Warning) once they are all on disk.
HistoryResult RecordStep(Document& doc, const HistoryContext& ctx, const std::string& name, bool clearFirst);
// RecordStep of one step name in several windows at once (the base steps of a set's pages),
// each window's files as RecordStep writes them, but flushed together: every note and snapshot
// is written unflushed, the file system is flushed once, then all are named and it is flushed
// once more. At any crash each file holds its old content or its new one whole, and all are on
// disk when this returns. A window with steps kept in memory, or whose batched write fails, is
// recorded alone by RecordStep. One context per document; one result per document, in order.
std::vector<HistoryResult> RecordSteps(std::span<Document* const> docs, std::span<const HistoryContext> ctxs,
                                       const std::string& name);
// WriteRecoveryNote (no step announced) of several windows, flushed together as RecordSteps
// does; a note whose batched write fails is written alone. One errno (0 when written) per
// document.
std::vector<int> WriteRecoveryNotes(std::span<const Document* const> docs, std::span<const HistoryContext> ctxs);

// Writes the steps kept in memory and a recovery note that fell behind; Ok when nothing is
// left behind (failures were said when they began), with a Warning when the reserve was used
// or steps had to be merged.
HistoryResult FlushHistory(Document& doc, const HistoryContext& ctx);
bool HistoryBehind(const Document& doc);
// Undo (redo = false) or redo. Returns Ok with nothing changed at either end of the history;
// refuses while steps are kept in memory and cannot be written yet.
HistoryResult RestoreStep(Document& doc, const HistoryContext& ctx, bool redo);
// Deletes the window's snapshot files (and its recovery note), forgets kept steps and zeroes
// the counters.
void ClearHistory(Document& doc, const HistoryContext& ctx);

// For tests: the memory bound of kept steps in bytes (0 restores the default of 256 MB).
void SetPendingLimit(std::size_t bytes);

// For tests of crash consistency: called between the writes of a step (the note announcing
// it is written; its snapshot is written). nullptr (the default) calls nothing.
enum class StepWritePoint { NoteWritten, SnapshotWritten };
void SetStepWriteProbe(void (*probe)(StepWritePoint));
// The step name stored in snapshot k (what the Edit menu shows), if readable.
std::optional<std::string> StepName(const HistoryContext& ctx, int k);

// Edit-menu captions computed from the counters and the stored step names.
struct EditMenuState {
    std::string UndoCaption;   // "元に戻す(&U) - name" or "元に戻せません(&U)"
    bool UndoEnabled = false;
    std::string RedoCaption;   // "やり直し(&R) - name" or "やり直せません(&R)"
    bool RedoEnabled = false;
    bool MemoryClearEnabled = false;
};
EditMenuState ComputeEditMenu(const Document& doc, const HistoryContext& ctx);

}  // namespace pq
