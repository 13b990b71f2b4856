#pragma once
// Undo history on disk: every recorded step writes a snapshot of the whole document to the
// file "img" + window number + "no" + k in the snapshot folder; undo and redo reload a
// neighbouring snapshot. Counters live in the Document (HistoryPosition, RedoCount,
// SnapshotCount) and only advance after a complete snapshot was written.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "core/document/document.h"

namespace pq {

struct HistoryContext {
    std::filesystem::path Folder;   // where the snapshot files live
    int WindowNumber = 0;
    bool UndoEnabled = true;
};

struct HistoryResult {
    bool Ok = true;
    std::string Message;            // for the user when !Ok
};

std::filesystem::path SnapshotPath(const HistoryContext& ctx, int k);

// The snapshot bytes of a document under a step name (UTF-8, stored as Shift-JIS).
std::vector<uint8_t> EncodeSnapshot(const Document& doc, const std::string& stepName);
// Reads snapshot bytes into the document (size, palette, selection, floating planes, layers,
// current layer). Refuses, leaving the document untouched, when the bytes do not fit.
bool DecodeSnapshot(const std::vector<uint8_t>& bytes, Document& doc, std::string* stepName = nullptr);

// Sets Modified unless the name is the base step " ", then (when undo is enabled) writes
// snapshot HistoryPosition and advances the counters. clearFirst empties the history and
// records a fresh base step instead.
HistoryResult RecordStep(Document& doc, const HistoryContext& ctx, const std::string& name, bool clearFirst);
// Undo (redo = false) or redo. Returns Ok with nothing changed at either end of the history.
HistoryResult RestoreStep(Document& doc, const HistoryContext& ctx, bool redo);
// Deletes the window's snapshot files and zeroes the counters.
void ClearHistory(Document& doc, const HistoryContext& ctx);
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

// The snapshot folder of this running instance: the settings folder itself for the first
// instance, a private sub-folder for any other one running at the same time, so two instances
// never write each other's files. The lock is released (and a private folder removed) when the
// object is destroyed.
class SnapshotFolder {
public:
    explicit SnapshotFolder(const std::filesystem::path& settingsFolder);
    ~SnapshotFolder();
    SnapshotFolder(const SnapshotFolder&) = delete;
    SnapshotFolder& operator=(const SnapshotFolder&) = delete;
    const std::filesystem::path& Path() const { return path_; }

private:
    std::filesystem::path path_;
    std::filesystem::path lockFile_;
    int lockFd_ = -1;
    bool private_ = false;
};

}  // namespace pq
