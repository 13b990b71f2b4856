#include "core/document/history.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

#include "core/document/history_reserve.h"
#include "core/document/recovery_note.h"
#include "core/io/atomic_write.h"
#include "core/io/byte_io.h"
#include "core/io/sjis.h"

namespace fs = std::filesystem;

namespace pq {
namespace {

const char* const kWriteFailed = "アンドゥ情報を保存できませんでした。";
const char* const kReadFailed = "アンドゥ情報を読み込めませんでした。";
const char* const kKeptInMemory =
    "この操作は画面に残してあり、空きができしだい記録します。それまで元に戻す・やり直しはできません。";
const char* const kUsedReserve =
    "ディスクの空き容量がなくなったため、予備に確保していた領域を使ってアンドゥ情報を記録しました。\n"
    "空き容量を増やすか、文書を保存してください。";

std::string AtRiskText(const Document& doc) {
    return "まだ記録できていない操作が " + std::to_string(doc.Journal.Pending.size()) +
           " 手順あります。このまま終了するとこれらの手順は失われますが、文書を保存すれば今の絵は残ります。";
}

std::string NotYetRecorded(const Document& doc) {
    return "まだ記録できていない操作が " + std::to_string(doc.Journal.Pending.size()) +
           " 手順あるため、元に戻す・やり直しはできません。\n空き容量を増やしてからもう一度お試しください。";
}

std::string MergedText(int merged) {
    return "空き容量が足りなかった間の操作のうち " + std::to_string(merged) +
           " 手順は、メモリを節約するため次の操作とまとめて記録しました。これらは1手順ずつは元に戻せません。";
}

// Steps kept in memory beyond this many bytes are merged: the newest kept entry is replaced by
// the next step, so memory stays bounded while the disk is full.
constexpr std::size_t kDefaultPendingLimit = std::size_t(256) << 20;
std::size_t g_pendingLimit = kDefaultPendingLimit;

// How many more snapshots the low-space warning looks ahead, and the free space it keeps.
constexpr std::uint64_t kLookAheadSnapshots = 10;
constexpr std::uint64_t kLowSpaceBytes = std::uint64_t(200) << 20;
constexpr std::uint64_t kLowSpacePercent = 5;

void (*g_probe)(StepWritePoint) = nullptr;

HistoryResult Failed(std::string message) { return HistoryResult{false, std::move(message), {}}; }

void Probe(StepWritePoint at) {
    if (g_probe) g_probe(at);
}

std::string WriteMessage(int err, const fs::path& target) {
    return std::string(kWriteFailed) + "\n" + JapaneseErrorText(err) + "\n" + target.string();
}

int WriteSnapshotFile(const fs::path& target, std::span<const uint8_t> bytes) {
    ReplacingWriter writer(target, Flush::Now, Owner::Program);
    int err = writer.Write(bytes);
    if (err == 0) err = writer.Commit();
    return err;
}

// Records one step whose snapshot bytes are given, write-ahead: the note announces the step
// (counters it will give, size and digest of its file), then the snapshot is written, then
// the counters advance. A crash between any two of these leaves files from which the next
// start finds the newest complete state (recovery.h). 0 or the errno, with `failed` naming
// the file that could not be written; the counters move only on success.
int RecordSnapshot(Document& doc, const HistoryContext& ctx, std::span<const uint8_t> bytes, fs::path& failed) {
    if (HistoryReserve* reserve = HistoryReserve::For(ctx.Folder)) reserve->NoteSnapshot(ctx.WindowNumber, bytes.size());
    const NoteIntent intent{bytes.size(), SnapshotDigest(bytes), doc.HistoryPosition + 1, 0,
                            std::max(doc.SnapshotCount, doc.HistoryPosition) + 1};
    if (const int err = WriteRecoveryNote(doc, ctx, &intent)) {
        failed = NotePath(ctx);
        return err;
    }
    Probe(StepWritePoint::NoteWritten);
    const fs::path target = SnapshotPath(ctx, doc.HistoryPosition);
    if (const int err = WriteSnapshotFile(target, bytes)) {
        failed = target;
        return err;
    }
    Probe(StepWritePoint::SnapshotWritten);
    doc.HistoryPosition = intent.HistoryPosition;
    doc.RedoCount = 0;
    doc.SnapshotCount = intent.SnapshotCount;
    // The note keeps announcing the step just written, which its file now proves.
    doc.Journal.NoteBehind = false;
    return 0;
}

// Keeps the steps that could not be written bounded in memory: past the limit the newest kept
// step before the last is dropped, so the last one stands for both (and is counted as merged).
void BoundPending(Document& doc) {
    std::vector<PendingStep>& pending = doc.Journal.Pending;
    std::size_t held = 0;
    for (const PendingStep& p : pending) held += p.Bytes.size();
    while (pending.size() >= 2 && held > g_pendingLimit) {
        held -= pending[pending.size() - 2].Bytes.size();
        pending.erase(pending.end() - 2);
        ++doc.Journal.Merged;
    }
}

// Writes the kept steps in order; 0 when none is left.
int WritePendingOnce(Document& doc, const HistoryContext& ctx, fs::path& failed) {
    std::vector<PendingStep>& pending = doc.Journal.Pending;
    while (!pending.empty()) {
        if (const int err = RecordSnapshot(doc, ctx, pending.front().Bytes, failed)) return err;
        pending.erase(pending.begin());
    }
    if (doc.Journal.NoteBehind) {
        if (const int err = WriteRecoveryNote(doc, ctx)) {
            failed = NotePath(ctx);
            return err;
        }
        doc.Journal.NoteBehind = false;
    }
    return 0;
}

bool DiskFull(int err) {
#ifdef EDQUOT
    if (err == EDQUOT) return true;
#endif
    return err == ENOSPC;
}

// What writing the kept steps has to tell: the reserve was used, steps were merged. Empty
// when nothing.
struct WaitingOutcome {
    bool UsedReserve = false;
    int Merged = 0;   // steps merged, said now that they are all on disk
};

// Writes the kept steps; when the disk is full, the instance's reserve is given back and the
// steps go into the space it frees. 0 when none is left, else the errno (`failed` names the file).
int WritePending(Document& doc, const HistoryContext& ctx, fs::path& failed, WaitingOutcome* outcome = nullptr) {
    int err = WritePendingOnce(doc, ctx, failed);
    if (err != 0 && DiskFull(err)) {
        if (HistoryReserve* reserve = HistoryReserve::For(ctx.Folder); reserve && reserve->Release()) {
            if (outcome) outcome->UsedReserve = true;
            err = WritePendingOnce(doc, ctx, failed);
        }
    }
    if (err == 0 && doc.Journal.Merged != 0) {
        if (outcome) outcome->Merged = doc.Journal.Merged;
        doc.Journal.Merged = 0;
    }
    return err;
}

// The warnings of a write that succeeded, joined.
std::string OutcomeText(const WaitingOutcome& o) {
    std::string text;
    if (o.UsedReserve) text = kUsedReserve;
    if (o.Merged != 0) text += (text.empty() ? "" : "\n\n") + MergedText(o.Merged);
    return text;
}

std::string Join(std::string a, const std::string& b) {
    if (a.empty()) return b;
    if (b.empty()) return a;
    return a + "\n\n" + b;
}

std::uint64_t FileSize(const fs::path& p) {
    struct stat st {};
    return ::stat(p.c_str(), &st) == 0 && S_ISREG(st.st_mode) ? std::uint64_t(st.st_size) : 0;
}

// The warning, once per window, that the next snapshots would leave the settings folder's file
// system nearly full; empty when there is room or the window was told already.
std::string SpaceWarning(Document& doc, const HistoryContext& ctx, std::uint64_t snapshotSize) {
    if (doc.Journal.SpaceWarned) return {};
    struct statvfs fsInfo {};
    if (::statvfs(ctx.Folder.c_str(), &fsInfo) != 0) return {};
    const std::uint64_t total = std::uint64_t(fsInfo.f_blocks) * fsInfo.f_frsize;
    const std::uint64_t free = std::uint64_t(fsInfo.f_bavail) * fsInfo.f_frsize;
    const std::uint64_t keep = std::min(total / 100 * kLowSpacePercent, kLowSpaceBytes);
    const std::uint64_t ahead = kLookAheadSnapshots * snapshotSize;
    if (free >= ahead && free - ahead >= keep) return {};
    doc.Journal.SpaceWarned = true;
    std::uint64_t held = 0;
    for (int k = 0; k < doc.SnapshotCount; ++k) held += FileSize(SnapshotPath(ctx, k));
    // Megabytes, with one decimal below ten.
    const auto mb = [](std::uint64_t bytes) {
        const std::uint64_t tenths = (bytes * 10 + (1 << 19)) >> 20;
        if (tenths >= 100) return std::to_string((tenths + 5) / 10);
        return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10);
    };
    return "ディスクの空き容量が少なくなっています（残り " + mb(free) + " MB）。\nこのウィンドウのアンドゥ情報は " +
           mb(held) + " MB あります。編集メニューの「メモリのクリア」で解放できます。";
}

void RemoveSnapshots(const HistoryContext& ctx, int from, int to, int except = -1) {
    for (int k = from; k < to; ++k) {
        if (k == except) continue;
        std::error_code ec;
        fs::remove(SnapshotPath(ctx, k), ec);
    }
}

// Writes `base` as snapshot 0, announced like a step (counters 1, 0, `count`): a crash before
// the old snapshots are all deleted then restores the cleared state. 0 or the errno.
int WriteBase(Document& doc, const HistoryContext& ctx, std::span<const uint8_t> base, int count, fs::path& failed) {
    if (HistoryReserve* reserve = HistoryReserve::For(ctx.Folder)) reserve->NoteSnapshot(ctx.WindowNumber, base.size());
    const NoteIntent intent{base.size(), SnapshotDigest(base), 1, 0, std::max(count, 1)};
    if (const int err = WriteRecoveryNote(doc, ctx, &intent)) {
        failed = NotePath(ctx);
        return err;
    }
    const fs::path target = SnapshotPath(ctx, 0);
    if (const int err = WriteSnapshotFile(target, base)) {
        failed = target;
        return err;
    }
    return 0;
}

// Empties the history down to a base step holding the document as it is. The new base is
// written before anything is deleted. When it does not fit, every snapshot but the current
// state's goes first to make room; when it still does not fit, that snapshot becomes the base.
// Either way the picture and a working history survive a full disk.
HistoryResult ClearToBase(Document& doc, const HistoryContext& ctx) {
    const std::vector<uint8_t> base = EncodeSnapshot(doc, " ");
    const int count = std::max(doc.SnapshotCount, doc.HistoryPosition + doc.RedoCount);
    const int current = doc.HistoryPosition - 1;   // -1 while the base step itself is kept
    const bool reported = !doc.Journal.Pending.empty();
    const auto cleared = [&] {
        RemoveSnapshots(ctx, 1, count);
        doc.HistoryPosition = 1;
        doc.RedoCount = 0;
        doc.SnapshotCount = 1;
        doc.Journal.NoteBehind = WriteRecoveryNote(doc, ctx) != 0;
    };

    fs::path failed;
    int err = WriteBase(doc, ctx, base, count, failed);
    if (err != 0) {
        RemoveSnapshots(ctx, 0, count, current);
        err = WriteBase(doc, ctx, base, count, failed);
    }
    if (err == 0) {
        doc.Journal.Pending.clear();
        cleared();
        return {};
    }
    if (current < 0) {
        // Nothing was ever recorded: the base step waits in memory like any other.
        doc.Journal.Pending.assign(1, PendingStep{" ", base});
        if (reported) return Failed("");
        return Failed(WriteMessage(err, failed) + "\n" + kKeptInMemory);
    }
    if (current != 0) {
        std::error_code ec;
        fs::rename(SnapshotPath(ctx, current), SnapshotPath(ctx, 0), ec);
        if (ec) return Failed(WriteMessage(ec.value(), SnapshotPath(ctx, 0)));
    }
    // Snapshot 0 now holds the last recorded state. What the canvas shows beyond it waits in
    // memory as one step.
    std::string name = reported ? doc.Journal.Pending.back().Name : std::string();
    doc.Journal.Pending.clear();
    cleared();
    if (!reported) return {};
    doc.Journal.Pending.push_back(PendingStep{name, EncodeSnapshot(doc, name)});
    return Failed("");
}

// Files written as one batch: every content is written unflushed, the file systems of the
// folders are flushed once, then every file is named in order and they are flushed again. At
// any crash each target holds its old content or the new one whole, as with one flushed write
// each, for two flushes in all. Err is 0 for a file that is on disk when this returns.
struct BatchFile {
    fs::path Target;
    std::vector<uint8_t> Bytes;
    int Err = 0;
};

// Enough files per batch for any set, few enough descriptors open at once.
constexpr std::size_t kBatchFiles = 64;

void FlushFolders(std::span<BatchFile> files, int& err) {
    std::vector<fs::path> folders;
    for (const BatchFile& f : files) {
        const fs::path folder = f.Target.parent_path();
        if (std::find(folders.begin(), folders.end(), folder) == folders.end()) folders.push_back(folder);
    }
    for (const fs::path& folder : folders)
        if (!FlushFileSystem(folder)) err = EIO;
}

void WriteBatch(std::span<BatchFile> all) {
    for (std::size_t from = 0; from < all.size(); from += kBatchFiles) {
        const std::span<BatchFile> files = all.subspan(from, std::min(kBatchFiles, all.size() - from));
        std::vector<std::unique_ptr<ReplacingWriter>> writers;
        for (BatchFile& f : files) {
            writers.push_back(std::make_unique<ReplacingWriter>(f.Target, Flush::Later, Owner::Program));
            f.Err = writers.back()->Write(f.Bytes);
        }
        int flushed = 0;
        FlushFolders(files, flushed);
        for (std::size_t i = 0; i < files.size(); ++i) {
            // Nothing is named unless its content is known to be on disk.
            if (files[i].Err == 0) files[i].Err = flushed != 0 ? flushed : writers[i]->Commit();
            writers[i].reset();
        }
        flushed = 0;
        FlushFolders(files, flushed);
        for (BatchFile& f : files)
            if (f.Err == 0) f.Err = flushed;
    }
}

}  // namespace

void SetStepWriteProbe(void (*probe)(StepWritePoint)) { g_probe = probe; }

void SetPendingLimit(std::size_t bytes) { g_pendingLimit = bytes == 0 ? kDefaultPendingLimit : bytes; }

fs::path SnapshotPath(const HistoryContext& ctx, int k) {
    return ctx.Folder / ("img" + std::to_string(ctx.WindowNumber) + "no" + std::to_string(k));
}

HistoryResult RecordStep(Document& doc, const HistoryContext& ctx, const std::string& name, bool clearFirst) {
    if (!doc.Modified && name != " ") doc.Modified = true;
    if (!ctx.UndoEnabled) return {};
    if (clearFirst) return ClearToBase(doc, ctx);

    // The step joins the kept ones (if any) and is written after them, in order.
    const bool reported = !doc.Journal.Pending.empty();
    if (HistoryReserve* reserve = HistoryReserve::For(ctx.Folder); reserve && !reported) reserve->Regrow();
    doc.Journal.Pending.push_back(PendingStep{name, EncodeSnapshot(doc, name)});
    const std::uint64_t size = doc.Journal.Pending.back().Bytes.size();
    fs::path failed;
    WaitingOutcome outcome;
    if (const int err = WritePending(doc, ctx, failed, &outcome)) {
        BoundPending(doc);
        if (reported) return Failed("");
        return Failed(WriteMessage(err, failed) + "\n" + kKeptInMemory + "\n" + AtRiskText(doc));
    }
    return {true, "", Join(OutcomeText(outcome), SpaceWarning(doc, ctx, size))};
}

std::vector<HistoryResult> RecordSteps(std::span<Document* const> docs, std::span<const HistoryContext> ctxs,
                                       const std::string& name) {
    const std::size_t n = std::min(docs.size(), ctxs.size());
    std::vector<HistoryResult> results(n);
    // Per batched document: where its note (when it has a label) and snapshot are among the
    // files, and what the note announces.
    struct Entry {
        std::size_t Doc;
        NoteIntent Intent;
        std::ptrdiff_t Note, Snapshot;
    };
    std::vector<Entry> batched;
    std::vector<BatchFile> files;
    for (std::size_t i = 0; i < n; ++i) {
        const Document& doc = *docs[i];
        const HistoryContext& ctx = ctxs[i];
        if (!ctx.UndoEnabled || HistoryBehind(doc)) continue;
        std::vector<uint8_t> bytes = EncodeSnapshot(doc, name);
        if (HistoryReserve* reserve = HistoryReserve::For(ctx.Folder)) reserve->NoteSnapshot(ctx.WindowNumber, bytes.size());
        const NoteIntent intent{bytes.size(), SnapshotDigest(bytes), doc.HistoryPosition + 1, 0,
                                std::max(doc.SnapshotCount, doc.HistoryPosition) + 1};
        std::vector<uint8_t> note;
        if (RecoveryNoteBytes(doc, ctx, &intent, note) != 0) continue;
        Entry e{i, intent, -1, -1};
        if (!note.empty()) {
            e.Note = std::ptrdiff_t(files.size());
            files.push_back(BatchFile{NotePath(ctx), std::move(note)});
        }
        e.Snapshot = std::ptrdiff_t(files.size());
        files.push_back(BatchFile{SnapshotPath(ctx, doc.HistoryPosition), std::move(bytes)});
        batched.push_back(e);
    }
    WriteBatch(files);
    std::vector<bool> done(n, false);
    for (const Entry& e : batched) {
        if ((e.Note >= 0 && files[std::size_t(e.Note)].Err != 0) || files[std::size_t(e.Snapshot)].Err != 0) continue;
        Document& doc = *docs[e.Doc];
        if (!doc.Modified && name != " ") doc.Modified = true;
        doc.HistoryPosition = e.Intent.HistoryPosition;
        doc.RedoCount = 0;
        doc.SnapshotCount = e.Intent.SnapshotCount;
        doc.Journal.NoteBehind = false;
        results[e.Doc] = HistoryResult{true, "", SpaceWarning(doc, ctxs[e.Doc], e.Intent.Size)};
        done[e.Doc] = true;
    }
    // Whatever the batch did not record goes the ordinary way, with its failures said there.
    for (std::size_t i = 0; i < n; ++i)
        if (!done[i]) results[i] = RecordStep(*docs[i], ctxs[i], name, false);
    return results;
}

std::vector<int> WriteRecoveryNotes(std::span<const Document* const> docs, std::span<const HistoryContext> ctxs) {
    const std::size_t n = std::min(docs.size(), ctxs.size());
    std::vector<int> errs(n, 0);
    std::vector<BatchFile> files;
    std::vector<std::size_t> owners;
    for (std::size_t i = 0; i < n; ++i) {
        std::vector<uint8_t> note;
        if (const int err = RecoveryNoteBytes(*docs[i], ctxs[i], nullptr, note)) {
            errs[i] = err;
            continue;
        }
        if (note.empty()) continue;
        files.push_back(BatchFile{NotePath(ctxs[i]), std::move(note)});
        owners.push_back(i);
    }
    WriteBatch(files);
    for (std::size_t f = 0; f < files.size(); ++f)
        if (files[f].Err != 0) errs[owners[f]] = WriteRecoveryNote(*docs[owners[f]], ctxs[owners[f]]);
    return errs;
}

HistoryResult FlushHistory(Document& doc, const HistoryContext& ctx) {
    if (!ctx.UndoEnabled || !HistoryBehind(doc)) return {};
    fs::path failed;
    WaitingOutcome outcome;
    if (WritePending(doc, ctx, failed, &outcome) != 0) return Failed("");
    return {true, "", OutcomeText(outcome)};
}

bool HistoryBehind(const Document& doc) { return !doc.Journal.Pending.empty() || doc.Journal.NoteBehind; }

HistoryResult RestoreStep(Document& doc, const HistoryContext& ctx, bool redo) {
    WaitingOutcome outcome;
    if (!doc.Journal.Pending.empty()) {
        fs::path failed;
        if (WritePending(doc, ctx, failed, &outcome) != 0) return Failed(NotYetRecorded(doc));
    }
    const std::string told = OutcomeText(outcome);
    int k;
    if (!redo) {
        if (doc.HistoryPosition <= 1) return {};
        k = doc.HistoryPosition - 2;
    } else {
        if (doc.RedoCount == 0) return {};
        k = doc.HistoryPosition;
    }
    std::vector<uint8_t> bytes;
    switch (ReadWholeFile(SnapshotPath(ctx, k), bytes, kNoSizeLimit, Owner::Program)) {
    case ReadStatus::Ok: break;
    case ReadStatus::Missing: return Failed(std::string(kReadFailed) + "\nファイルが見つかりません。");
    default: return Failed(std::string(kReadFailed) + "\nファイルを読み込めません。");
    }
    if (!DecodeSnapshot(bytes, doc))
        return Failed(std::string(kReadFailed) + "\nファイルの内容が壊れています。");
    if (!redo) {
        doc.HistoryPosition -= 1;
        doc.RedoCount += 1;
    } else {
        doc.HistoryPosition += 1;
        doc.RedoCount -= 1;
    }
    // The step is taken either way; a note that could not follow is written again with the
    // next change, and the first such failure is said.
    if (const int err = WriteRecoveryNote(doc, ctx)) {
        const bool reported = doc.Journal.NoteBehind;
        doc.Journal.NoteBehind = true;
        if (!reported) return Failed(Join(WriteMessage(err, NotePath(ctx)), told));
    }
    return {true, "", told};
}

void ClearHistory(Document& doc, const HistoryContext& ctx) {
    RemoveSnapshots(ctx, 0, std::max(doc.SnapshotCount, doc.HistoryPosition + doc.RedoCount));
    RemoveRecoveryNote(ctx);
    doc.HistoryPosition = doc.RedoCount = doc.SnapshotCount = 0;
    doc.Journal.Pending.clear();
    doc.Journal.NoteBehind = false;
    doc.Journal.Merged = 0;
    if (HistoryReserve* reserve = HistoryReserve::For(ctx.Folder)) reserve->ForgetWindow(ctx.WindowNumber);
}
std::optional<std::string> StepName(const HistoryContext& ctx, int k) {
    // Only the name at the front of the snapshot is read, not the whole document.
    const int fd = ::open(SnapshotPath(ctx, k).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return std::nullopt;
    std::optional<std::string> name;
    uint8_t len[4];
    if (::pread(fd, len, 4, 0) == 4) {
        const int32_t n = LoadI32(len);
        const off_t size = ::lseek(fd, 0, SEEK_END);
        if (n >= 0 && size >= 4 && int64_t(n) <= int64_t(size) - 4) {
            std::string sjis(std::size_t(n), '\0');
            if (n == 0 || ::pread(fd, sjis.data(), std::size_t(n), 4) == n) name = SjisToUtf8(sjis);
        }
    }
    ::close(fd);
    return name;
}

EditMenuState ComputeEditMenu(const Document& doc, const HistoryContext& ctx) {
    EditMenuState m;
    // Steps kept in memory come before any undo or redo.
    const bool recorded = doc.Journal.Pending.empty();
    if (doc.HistoryPosition < 2 || !recorded) {
        m.UndoCaption = "元に戻せません(&U)";
    } else {
        m.UndoCaption = "元に戻す(&U) - " + StepName(ctx, doc.HistoryPosition - 1).value_or("");
        m.UndoEnabled = true;
    }
    if (doc.RedoCount != 0 && recorded) {
        m.RedoCaption = "やり直し(&R) - " + StepName(ctx, doc.HistoryPosition).value_or("");
        m.RedoEnabled = true;
    } else {
        m.RedoCaption = "やり直せません(&R)";
    }
    m.MemoryClearEnabled = doc.HistoryPosition > 1 || doc.RedoCount > 0 || !recorded;
    return m;
}

}  // namespace pq
