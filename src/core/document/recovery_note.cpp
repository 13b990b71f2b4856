#include "core/document/recovery_note.h"

#include <algorithm>
#include <cerrno>
#include <system_error>

#include "core/io/atomic_write.h"
#include "core/io/byte_io.h"

namespace fs = std::filesystem;

namespace pq {
namespace {

constexpr uint8_t kMagic[4] = {'P', 'Q', 'R', 'N'};
constexpr uint32_t kVersion = 5;
// The version of a note whose label gives neither a page count nor the opening mark.
constexpr uint32_t kVersionWithoutPageCount = 3;
// The version of a note whose label says neither that its page is current nor a saved position.
constexpr uint32_t kVersionWithoutPagePlace = 4;
// More steps than any session records; a larger count is a damaged note.
constexpr int32_t kMaxSnapshots = 100'000'000;

void PutText(ByteWriter& w, const std::string& text) {
    const std::size_t n = std::min(text.size(), kNoteTextLimit);
    w.I32(int32_t(n));
    w.Bytes(std::span(reinterpret_cast<const uint8_t*>(text.data()), n));
}

bool ValidCounters(int32_t position, int32_t redo, int32_t count) {
    return position >= 1 && redo >= 0 && count <= kMaxSnapshots && int64_t(position) + redo <= count;
}

// What a page of a set may say of itself; an ordinary window has all three 0.
bool ValidSetFields(int32_t setWindow, int32_t pageIndex, int32_t pageKind, int32_t setPages = 0) {
    return setWindow >= 0 && pageIndex >= 0 && pageKind >= 0 && pageKind <= 2 && setPages >= 0;
}

bool TakeText(ByteReader& r, std::string& text) {
    int32_t n = 0;
    std::span<const uint8_t> bytes;
    if (!r.I32(n) || n < 0 || std::size_t(n) > kNoteTextLimit || !r.Take(std::size_t(n), bytes)) return false;
    text.assign(bytes.begin(), bytes.end());
    return true;
}

}  // namespace

std::string NoteFileName(int windowNumber) { return "img" + std::to_string(windowNumber) + "note"; }

fs::path NotePath(const HistoryContext& ctx) { return ctx.Folder / NoteFileName(ctx.WindowNumber); }

std::vector<uint8_t> EncodeRecoveryNote(const RecoveryNote& note) {
    std::vector<uint8_t> out;
    ByteWriter w(out);
    // Each version adds fields at the end; a note is written in the first version holding its own.
    const bool pagePlace = note.Label.PageCurrent || note.Label.SavedPosition != 0;
    const bool pageCount = pagePlace || note.Label.SetPages != 0 || note.Label.SetOpening;
    w.Bytes(kMagic);
    w.U32(pagePlace ? kVersion : pageCount ? kVersionWithoutPagePlace : kVersionWithoutPageCount);
    w.I32(note.WindowNumber);
    w.I32(note.HistoryPosition);
    w.I32(note.RedoCount);
    w.I32(note.SnapshotCount);
    PutText(w, note.Label.Caption);
    PutText(w, note.Label.FileName);
    w.U8(note.Intent ? 1 : 0);
    if (note.Intent) {
        w.U64(note.Intent->Size);
        w.U64(note.Intent->Digest);
        w.I32(note.Intent->HistoryPosition);
        w.I32(note.Intent->RedoCount);
        w.I32(note.Intent->SnapshotCount);
    }
    w.I32(note.Label.SetWindow);
    w.I32(note.Label.PageIndex);
    w.I32(note.Label.PageKind);
    if (pageCount) {
        w.I32(note.Label.SetPages);
        w.U8(note.Label.SetOpening ? 1 : 0);
    }
    if (pagePlace) {
        w.U8(note.Label.PageCurrent ? 1 : 0);
        w.I32(note.Label.SavedPosition);
    }
    return out;
}

std::optional<RecoveryNote> DecodeRecoveryNote(std::span<const uint8_t> bytes) {
    ByteReader r(bytes);
    std::span<const uint8_t> magic;
    uint32_t version = 0;
    RecoveryNote n;
    int32_t v[4] = {};
    if (!r.Take(4, magic) || !std::equal(magic.begin(), magic.end(), kMagic) || !r.U32(version) ||
        version < 1 || version > kVersion)
        return std::nullopt;
    for (int32_t& x : v)
        if (!r.I32(x)) return std::nullopt;
    if (!TakeText(r, n.Label.Caption) || !TakeText(r, n.Label.FileName)) return std::nullopt;
    uint8_t announced = 0;
    if (version >= 2 && (!r.U8(announced) || announced > 1)) return std::nullopt;
    if (announced) {
        NoteIntent i;
        if (!r.U64(i.Size) || !r.U64(i.Digest) || !r.I32(i.HistoryPosition) || !r.I32(i.RedoCount) ||
            !r.I32(i.SnapshotCount) || !ValidCounters(i.HistoryPosition, i.RedoCount, i.SnapshotCount))
            return std::nullopt;
        n.Intent = i;
    }
    WindowLabel& l = n.Label;
    if (version >= 3 && (!r.I32(l.SetWindow) || !r.I32(l.PageIndex) || !r.I32(l.PageKind) ||
                         !ValidSetFields(l.SetWindow, l.PageIndex, l.PageKind)))
        return std::nullopt;
    uint8_t opening = 0;
    if (version >= 4 && (!r.I32(l.SetPages) || l.SetPages < 0 || !r.U8(opening) || opening > 1)) return std::nullopt;
    l.SetOpening = opening == 1;
    uint8_t current = 0;
    if (version >= 5 && (!r.U8(current) || current > 1 || !r.I32(l.SavedPosition) || l.SavedPosition < 0))
        return std::nullopt;
    l.PageCurrent = current == 1;
    if (r.Remaining() != 0) return std::nullopt;
    n.WindowNumber = v[0];
    n.HistoryPosition = v[1];
    n.RedoCount = v[2];
    n.SnapshotCount = v[3];
    const bool baseAnnounced = n.Intent && n.HistoryPosition == 0 && n.RedoCount == 0 && n.SnapshotCount >= 0;
    if (n.WindowNumber < 0 || (!baseAnnounced && !ValidCounters(n.HistoryPosition, n.RedoCount, n.SnapshotCount)))
        return std::nullopt;
    return n;
}

int RecoveryNoteBytes(const Document& doc, const HistoryContext& ctx, const NoteIntent* intent,
                      std::vector<uint8_t>& out) {
    out.clear();
    if (!ctx.Label) return 0;
    if (!ValidSetFields(ctx.Label->SetWindow, ctx.Label->PageIndex, ctx.Label->PageKind, ctx.Label->SetPages))
        return EINVAL;
    RecoveryNote note{ctx.WindowNumber, doc.HistoryPosition, doc.RedoCount, doc.SnapshotCount, *ctx.Label};
    if (intent) note.Intent = *intent;
    out = EncodeRecoveryNote(note);
    return 0;
}

int WriteRecoveryNote(const Document& doc, const HistoryContext& ctx, const NoteIntent* intent) {
    std::vector<uint8_t> bytes;
    if (const int err = RecoveryNoteBytes(doc, ctx, intent, bytes)) return err;
    if (bytes.empty()) return 0;
    ReplacingWriter writer(NotePath(ctx), Flush::Now, Owner::Program);
    int err = writer.Write(bytes);
    if (err == 0) err = writer.Commit();
    return err;
}

void RemoveRecoveryNote(const HistoryContext& ctx) {
    std::error_code ec;
    fs::remove(NotePath(ctx), ec);
}

}  // namespace pq
