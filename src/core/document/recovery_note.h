#pragma once
// The recovery note of a document window: a small file "img" + window number + "note" beside
// the window's snapshots, rewritten (atomically) whenever its counters, caption or file name
// change. The snapshots alone do not say which of them is the current state or what the window
// was called; with the note a later start can offer the document after a crash.
//
// Bytes, little-endian: "PQRN", version 1 (u32), window number, HistoryPosition, RedoCount,
// SnapshotCount (i32 each), caption and file name (i32 length + UTF-8 bytes each). Nothing after.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "core/document/document.h"
#include "core/document/history.h"

namespace pq {

struct RecoveryNote {
    int WindowNumber = 0;
    int HistoryPosition = 0;
    int RedoCount = 0;
    int SnapshotCount = 0;
    WindowLabel Label;
};

// Longest caption or file name a note may hold, and so the bound of the whole file.
inline constexpr std::size_t kNoteTextLimit = 32 * 1024;
inline constexpr std::size_t kNoteSizeLimit = 28 + 2 * kNoteTextLimit;

std::string NoteFileName(int windowNumber);   // "img" + number + "note"
std::filesystem::path NotePath(const HistoryContext& ctx);

std::vector<uint8_t> EncodeRecoveryNote(const RecoveryNote& note);
// Refuses bytes that are not a note of this version or whose counters make no history
// (HistoryPosition >= 1, RedoCount >= 0, HistoryPosition + RedoCount <= SnapshotCount).
std::optional<RecoveryNote> DecodeRecoveryNote(std::span<const uint8_t> bytes);

// Writes the note of ctx's window from the document's counters and ctx.Label; nothing when the
// context carries no label. A note is an aid to recovery, so a failed write does not fail the
// step that caused it: false tells the caller, who may ignore it.
bool WriteRecoveryNote(const Document& doc, const HistoryContext& ctx);
void RemoveRecoveryNote(const HistoryContext& ctx);

}  // namespace pq
