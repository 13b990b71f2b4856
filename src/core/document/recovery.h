#pragma once
// Crash recovery: the documents of instances that ended without cleaning up (a crash, a kill, a
// power cut). Their snapshot folders wait inside the settings folder (snapshot_folder.h); this
// finds them, describes each lost document from its recovery note and newest snapshot, and
// either gives its history to a new window or deletes it.
//
// Liveness: a folder is a dead instance's only when its lock file can be locked; a running
// instance holds its lock for its whole life and the kernel drops it when the process dies. A
// LostDocuments object keeps the locks of the folders it found until it goes, so two instances
// starting together never offer the same document twice, and a live folder is never read.

#include <cstddef>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "core/document/document.h"
#include "core/document/history.h"
#include "core/document/recovery_note.h"
#include "core/io/file_result.h"

namespace pq {

struct LostDocument {
    std::filesystem::path Folder;   // the dead instance's folder
    int WindowNumber = 0;           // the window's number in that instance
    // False when the note is missing or damaged, or no snapshot it names is complete: such a
    // document can only be discarded. Note.Label is still filled when the note was readable.
    bool Recoverable = false;
    RecoveryNote Note;
    // The counters are taken from the note and checked against the files: a step the note
    // announced counts when its snapshot holds exactly the announced bytes, and the state
    // restored is the newest complete snapshot at or before the one they name as current.
    // First..Last are the complete snapshots around it, without a gap, within the history;
    // they become the new window's history. Only complete files (ReadSnapshotShape) count.
    int First = 0, Current = 0, Last = 0;
    std::uint64_t CurrentSize = 0;               // the current snapshot's exact size
    // First..Last is the whole history from the base step to the last redo state.
    bool HistoryIntact = false;
    int Width = 0, Height = 0, ColorCount = 0;   // of the state the window showed
    int Steps = 0;                               // steps undo and redo can move over, Last - First
    std::time_t Time = 0;                        // modification time of its newest snapshot
};

// The lost documents as the start offers them: an ordinary window alone; the pages of one set (the same Folder and
// Note.Label.SetWindow != 0) together as one, in PageIndex order (ties by WindowNumber). Groups keep the order in which
// their first member appears in `docs`. Indexes into `docs`.
std::vector<std::vector<std::size_t>> LostDocumentGroups(const std::vector<LostDocument>& docs);
// How many pages a lost set had: the largest count its pages' notes give, never fewer than the
// pages found (notes of older versions give none).
int LostSetPages(const std::vector<const LostDocument*>& pages);
// The pages of a lost set that can be restored; fewer than LostSetPages when pages are missing
// or damaged.
int RecoverablePages(const std::vector<const LostDocument*>& pages);
// True when the state a lost window would come back at is the one its file holds (its note's
// saved position), whatever redo states lie beyond it: restoring it would give nothing the file
// does not. Notes without a saved position (older versions, never saved) never say so.
bool ShowsSavedState(const LostDocument& lost);

class LostDocuments {
public:
    // Claims every folder of a dead instance inside the settings folder and describes its
    // documents. A claimed folder without any document is removed at once, and so is the
    // reserve a dead instance left in one. Some files are removed as well, because they hold
    // nothing the user could lose: a one-image window at the state its file holds
    // (ShowsSavedState; the blank start of a new picture counts as held), a set whose every page
    // is there at its file's state, the pages of a set whose opening was cut short (pages
    // missing, every page found still marked as opening, so none was ever edited), and the
    // history a window had before it became a set that is there whole (the window gives that
    // history up once the set is on disk).
    // A symbolic link found where a snapshot, a recovery note, the reserve or one of
    // `settingsFiles` (names in the settings folder) belongs is damage, never a file of ours:
    // the link is removed (what it points to is not touched) and listed in DamagedLinks.
    explicit LostDocuments(const std::filesystem::path& settingsFolder,
                           const std::vector<std::string>& settingsFiles = {});
    // Removes the claimed folders that no longer hold a document and releases the claims; the
    // documents neither restored nor discarded stay for the next start.
    ~LostDocuments();
    LostDocuments(const LostDocuments&) = delete;
    LostDocuments& operator=(const LostDocuments&) = delete;

    const std::vector<LostDocument>& Documents() const { return docs_; }
    // The links removed, by path, in the order found.
    const std::vector<std::filesystem::path>& DamagedLinks() const { return damaged_; }

    // Reads the state the window showed into `doc`, set up as a freshly opened document (the
    // zoom rule applied to selectedZoom, counters 0). The document is untouched on failure.
    FileResult Load(const LostDocument& lost, Document& doc, int selectedZoom) const;
    // Gives the lost history to the window of `ctx`, whose document holds the loaded state and
    // at most its base step: snapshots First..Last move to that window's numbers 0.., its own
    // base last (so a failure half-way keeps it), the counters follow, the note is written
    // (doc.Journal.NoteBehind when it cannot be) and the lost document's remaining files go. On
    // failure the files are back where they were and the counters untouched.
    FileResult Adopt(const LostDocument& lost, Document& doc, const HistoryContext& ctx);
    // Deletes the lost document's files.
    void Discard(const LostDocument& lost);

private:
    // Only documents of the folders this object holds are ever read, moved or deleted.
    bool Claimed(const LostDocument& lost) const;
    // Removes the files of the documents nothing can be lost of (see the constructor).
    void DropSupersededDocuments();
    struct Claim {
        std::filesystem::path Folder;
        int Fd = -1;
    };
    std::vector<Claim> claims_;
    std::vector<LostDocument> docs_;
    std::vector<std::filesystem::path> damaged_;
};

}  // namespace pq
