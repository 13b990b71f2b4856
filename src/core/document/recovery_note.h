#pragma once
// The recovery note of a document window: a small file "img" + window number + "note" beside
// the window's snapshots, rewritten (atomically) whenever its counters, caption or file name
// change. The snapshots alone do not say which of them is the current state or what the window
// was called; with the note a later start can offer the document after a crash.
//
// A step is announced before its snapshot is written: the note then also carries the counters
// the step will give and the size and digest of the snapshot it writes (the new current state,
// snapshot HistoryPosition - 1 of those counters). After a crash at any moment, the announced
// counters hold when that file is complete with exactly those bytes, the note's own otherwise.
//
// Bytes, little-endian: "PQRN", version (u32), window number, HistoryPosition, RedoCount,
// SnapshotCount (i32 each), caption and file name (i32 length + UTF-8 bytes each); version 2
// adds a byte (1 when a step is announced) and then the step's size and digest (u64 each) and
// its HistoryPosition, RedoCount and SnapshotCount (i32 each); version 3 then adds the label's
// SetWindow, PageIndex and PageKind (i32 each); version 4 then adds the set's page count (i32)
// and a byte, 1 while the set opens; version 5 then adds a byte (1 for the page the set's window
// showed) and the label's SavedPosition (i32). Nothing after. A note is written in version 5 when
// its label gives either of those (an ordinary window with a saved position too, its set fields
// 0), in version 4 when it gives a page count or the opening mark, in version 3 otherwise;
// version 1 notes (ending after the file name) and version 2 notes (ending after the step) are
// still read, as ordinary windows (set fields 0), and version 3 notes as pages of a set whose
// page count is not known. Notes before version 5 have no saved position (0).

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "core/document/document.h"
#include "core/document/history.h"

namespace pq {

// A step announced in the note before its snapshot is written.
struct NoteIntent {
    std::uint64_t Size = 0;     // of the snapshot bytes
    std::uint64_t Digest = 0;   // SnapshotDigest of them
    int HistoryPosition = 0;    // the counters once the snapshot is complete
    int RedoCount = 0;
    int SnapshotCount = 0;
    friend bool operator==(const NoteIntent&, const NoteIntent&) = default;
};

struct RecoveryNote {
    int WindowNumber = 0;
    // The counters as recorded; HistoryPosition is 0 only while the base step is announced.
    int HistoryPosition = 0;
    int RedoCount = 0;
    int SnapshotCount = 0;
    WindowLabel Label;
    std::optional<NoteIntent> Intent{};
};

// Longest caption or file name a note may hold, and so the bound of the whole file: the fixed
// fields of a version 4 note announcing a step (magic, version, counters, text lengths, the
// byte, the step, the set fields, the page count and the opening byte) and both texts.
inline constexpr std::size_t kNoteTextLimit = 32 * 1024;
inline constexpr std::size_t kNoteSizeLimit =
    4 + 4 + 4 * 4 + 2 * 4 + 1 + (2 * 8 + 3 * 4) + 3 * 4 + (4 + 1) + 2 * kNoteTextLimit;

std::string NoteFileName(int windowNumber);   // "img" + number + "note"
std::filesystem::path NotePath(const HistoryContext& ctx);

std::vector<uint8_t> EncodeRecoveryNote(const RecoveryNote& note);
// Refuses bytes that are not a note of a known version or whose counters make no history
// (HistoryPosition >= 1, RedoCount >= 0, HistoryPosition + RedoCount <= SnapshotCount; the
// announced counters alike, and HistoryPosition 0 only with an announced step), and a label
// whose SetWindow, PageIndex or SetPages is negative or whose PageKind is outside 0..2.
std::optional<RecoveryNote> DecodeRecoveryNote(std::span<const uint8_t> bytes);

// Writes the note of ctx's window from the document's counters and ctx.Label, announcing
// `intent` when given; nothing (0) when the context carries no label. 0 or the errno; EINVAL
// (nothing written) for a label the note cannot carry, which the next start would refuse.
int WriteRecoveryNote(const Document& doc, const HistoryContext& ctx, const NoteIntent* intent = nullptr);
// The bytes WriteRecoveryNote writes, in `out` (left empty when the context carries no label);
// 0 or EINVAL as there.
int RecoveryNoteBytes(const Document& doc, const HistoryContext& ctx, const NoteIntent* intent,
                      std::vector<uint8_t>& out);
void RemoveRecoveryNote(const HistoryContext& ctx);

}  // namespace pq
