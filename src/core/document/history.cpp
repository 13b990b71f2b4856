#include "core/document/history.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "core/document/recovery_note.h"
#include "core/io/atomic_write.h"
#include "core/io/byte_io.h"
#include "core/io/sjis.h"

namespace fs = std::filesystem;

namespace pq {
namespace {

const char* const kWriteFailed = "アンドゥ情報を保存できませんでした。";
const char* const kReadFailed = "アンドゥ情報を読み込めませんでした。";

std::string WriteReason(int err) {
    switch (err) {
    case ENOSPC:
#ifdef EDQUOT
    case EDQUOT:
#endif
        return "ディスクの空き容量が足りません。";
    case EFBIG: return "ファイルが大きすぎます。";
    case ENOENT:
    case ENOTDIR: return "保存先のフォルダがありません。";
    case EACCES:
    case EPERM:
    case EROFS: return "保存先に書き込む権限がありません。";
    case EISDIR: return "同じ名前のフォルダがあるため書き込めません。";
    default: return std::string("書き込みに失敗しました（") + std::strerror(err) + "）。";
    }
}

HistoryResult WriteFailure(int err, const fs::path& target) {
    return HistoryResult{false, std::string(kWriteFailed) + "\n" + WriteReason(err) + "\n" + target.string()};
}

}  // namespace

fs::path SnapshotPath(const HistoryContext& ctx, int k) {
    return ctx.Folder / ("img" + std::to_string(ctx.WindowNumber) + "no" + std::to_string(k));
}

HistoryResult RecordStep(Document& doc, const HistoryContext& ctx, const std::string& name, bool clearFirst) {
    if (!doc.Modified && name != " ") doc.Modified = true;
    if (!ctx.UndoEnabled) return {};

    if (clearFirst) {
        // The new base snapshot is written before the old history is deleted, so a failed
        // write leaves the history as it was.
        const fs::path target = SnapshotPath(ctx, 0);
        ReplacingWriter tmp(target);
        if (const int err = tmp.Write(EncodeSnapshot(doc, " "))) return WriteFailure(err, target);
        ClearHistory(doc, ctx);
        if (const int err = tmp.Commit()) return WriteFailure(err, target);
        doc.HistoryPosition = 1;
        doc.SnapshotCount = 1;
        doc.RedoCount = 0;
        WriteRecoveryNote(doc, ctx);
        return {};
    }

    const fs::path target = SnapshotPath(ctx, doc.HistoryPosition);
    ReplacingWriter tmp(target);
    int err = tmp.Write(EncodeSnapshot(doc, name));
    if (err == 0) err = tmp.Commit();
    if (err != 0) return WriteFailure(err, target);
    doc.HistoryPosition += 1;
    doc.SnapshotCount += 1;
    doc.RedoCount = 0;
    WriteRecoveryNote(doc, ctx);
    return {};
}

HistoryResult RestoreStep(Document& doc, const HistoryContext& ctx, bool redo) {
    int k;
    if (!redo) {
        if (doc.HistoryPosition <= 1) return {};
        k = doc.HistoryPosition - 2;
    } else {
        if (doc.RedoCount == 0) return {};
        k = doc.HistoryPosition;
    }
    std::vector<uint8_t> bytes;
    switch (ReadWholeFile(SnapshotPath(ctx, k), bytes)) {
    case ReadStatus::Ok: break;
    case ReadStatus::Missing: return HistoryResult{false, std::string(kReadFailed) + "\nファイルが見つかりません。"};
    default: return HistoryResult{false, std::string(kReadFailed) + "\nファイルを読み込めません。"};
    }
    if (!DecodeSnapshot(bytes, doc))
        return HistoryResult{false, std::string(kReadFailed) + "\nファイルの内容が壊れています。"};
    if (!redo) {
        doc.HistoryPosition -= 1;
        doc.RedoCount += 1;
    } else {
        doc.HistoryPosition += 1;
        doc.RedoCount -= 1;
    }
    WriteRecoveryNote(doc, ctx);
    return {};
}

void ClearHistory(Document& doc, const HistoryContext& ctx) {
    for (int k = 0; k < doc.SnapshotCount; ++k) {
        std::error_code ec;
        fs::remove(SnapshotPath(ctx, k), ec);
    }
    RemoveRecoveryNote(ctx);
    doc.HistoryPosition = doc.RedoCount = doc.SnapshotCount = 0;
}

std::optional<std::string> StepName(const HistoryContext& ctx, int k) {
    // Only the name at the front of the snapshot is read, not the whole document.
    const int fd = ::open(SnapshotPath(ctx, k).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
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
    if (doc.HistoryPosition < 2) {
        m.UndoCaption = "元に戻せません(&U)";
    } else {
        m.UndoCaption = "元に戻す(&U) - " + StepName(ctx, doc.HistoryPosition - 1).value_or("");
        m.UndoEnabled = true;
    }
    if (doc.RedoCount != 0) {
        m.RedoCaption = "やり直し(&R) - " + StepName(ctx, doc.HistoryPosition).value_or("");
        m.RedoEnabled = true;
    } else {
        m.RedoCaption = "やり直せません(&R)";
    }
    m.MemoryClearEnabled = doc.HistoryPosition > 1 || doc.RedoCount > 0;
    return m;
}

}  // namespace pq
