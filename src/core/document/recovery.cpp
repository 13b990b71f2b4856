#include "core/document/recovery.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <map>
#include <set>
#include <system_error>

#include "core/document/history_snapshot.h"
#include "core/document/snapshot_folder.h"
#include "core/io/atomic_write.h"

namespace fs = std::filesystem;

namespace pq {
namespace {

fs::path SnapshotIn(const fs::path& folder, int window, int k) {
    return folder / ("img" + std::to_string(window) + "no" + std::to_string(k));
}

// The history files of each window in a folder: window number -> snapshot numbers present.
// Only plain files count; links and folders under those names are ignored.
std::map<int, std::set<int>> HistoryFiles(const fs::path& folder) {
    std::map<int, std::set<int>> windows;
    std::error_code ec;
    for (const fs::directory_entry& e : fs::directory_iterator(folder, ec)) {
        int window = 0, step = 0;
        std::error_code ec2;
        if (!ParseHistoryFileName(e.path().filename().string(), window, step)) continue;
        if (e.is_symlink(ec2) || !e.is_regular_file(ec2)) continue;
        std::set<int>& steps = windows[window];
        if (step >= 0) steps.insert(step);
    }
    return windows;
}

std::time_t ModificationTime(const fs::path& p) {
    struct stat st {};
    return ::lstat(p.c_str(), &st) == 0 ? st.st_mtime : 0;
}

FileResult ReadSnapshotFile(const fs::path& path, Document& doc) {
    std::vector<uint8_t> bytes;
    switch (ReadWholeFile(path, bytes, kLostSnapshotLimit)) {
    case ReadStatus::Ok: break;
    case ReadStatus::Missing: return FileResult::Failure(path.string() + "\nファイルが見つかりません。");
    default: return FileResult::Failure(path.string() + "\nファイルを読み込めません。");
    }
    if (!DecodeSnapshot(bytes, doc)) return FileResult::Failure(path.string() + "\nファイルの内容が壊れています。");
    return FileResult::Success();
}

LostDocument Describe(const fs::path& folder, int window, const std::set<int>& steps) {
    LostDocument d;
    d.Folder = folder;
    d.WindowNumber = window;
    std::vector<uint8_t> bytes;
    if (ReadWholeFile(folder / NoteFileName(window), bytes, kNoteSizeLimit) != ReadStatus::Ok) return d;
    const std::optional<RecoveryNote> note = DecodeRecoveryNote(bytes);
    if (!note || note->WindowNumber != window) return d;
    d.Note = *note;

    const int current = note->HistoryPosition - 1;
    Document shown;
    if (!ReadSnapshotFile(SnapshotIn(folder, window, current), shown).Ok) return d;
    d.Width = shown.ImageWidth;
    d.Height = shown.ImageHeight;
    d.ColorCount = shown.ColorCount;

    // Every snapshot from 0 to the last redo state, judged by the files present (a damaged
    // count in the note cannot make this loop long).
    const int64_t needed = int64_t(note->HistoryPosition) + note->RedoCount;
    d.HistoryIntact = needed <= int64_t(steps.size());
    for (int k = 0; d.HistoryIntact && k < needed; ++k) d.HistoryIntact = steps.count(k) != 0;
    d.Steps = d.HistoryIntact ? current : 0;
    for (int k : steps) {
        if (d.HistoryIntact ? k < needed : k == current)
            d.Time = std::max(d.Time, ModificationTime(SnapshotIn(folder, window, k)));
    }
    d.Recoverable = true;
    return d;
}

// Moves a file, copying across file systems; the target is replaced only by a complete file.
bool MoveFile(const fs::path& from, const fs::path& to) {
    std::error_code ec;
    fs::rename(from, to, ec);
    if (!ec) return true;
    if (ec.value() != EXDEV) return false;
    std::vector<uint8_t> bytes;
    if (ReadWholeFile(from, bytes) != ReadStatus::Ok || !WriteFileAtomically(to, bytes).Ok) return false;
    fs::remove(from, ec);
    return true;
}

void RemoveWindowFiles(const fs::path& folder, int window) {
    std::error_code ec;
    std::vector<fs::path> doomed;
    for (const fs::directory_entry& e : fs::directory_iterator(folder, ec)) {
        int w = 0, step = 0;
        if (ParseHistoryFileName(e.path().filename().string(), w, step) && w == window) doomed.push_back(e.path());
    }
    for (const fs::path& p : doomed) fs::remove(p, ec);
}

}  // namespace

LostDocuments::LostDocuments(const fs::path& settingsFolder) {
    std::error_code ec;
    std::vector<fs::path> folders;
    for (const fs::directory_entry& e : fs::directory_iterator(settingsFolder, ec)) {
        std::error_code ec2;
        if (e.path().filename().string().rfind(kPrivateFolderPrefix, 0) == 0 && !e.is_symlink(ec2) &&
            e.is_directory(ec2))
            folders.push_back(e.path());
    }
    std::sort(folders.begin(), folders.end());
    for (const fs::path& folder : folders) {
        // Held by a running instance (this one's own private folder included), or still being
        // set up: not ours to read.
        const int fd = TryLockSnapshotFolder(folder, false);
        if (fd < 0) continue;
        const std::map<int, std::set<int>> windows = HistoryFiles(folder);
        if (windows.empty()) {
            fs::remove_all(folder, ec);
            ::close(fd);
            continue;
        }
        claims_.push_back(Claim{folder, fd});
        for (const auto& [window, steps] : windows) docs_.push_back(Describe(folder, window, steps));
    }
}

LostDocuments::~LostDocuments() {
    for (const Claim& c : claims_) {
        std::error_code ec;
        if (HistoryFiles(c.Folder).empty()) fs::remove_all(c.Folder, ec);
        ::close(c.Fd);
    }
}

FileResult LostDocuments::Load(const LostDocument& lost, Document& doc, int selectedZoom) const {
    if (!lost.Recoverable || !Claimed(lost)) return FileResult::Failure("この文書は復元できません。");
    Document loaded;
    InitBlankDocument(loaded, lost.Width, lost.Height, lost.ColorCount, selectedZoom);
    const FileResult r =
        ReadSnapshotFile(SnapshotIn(lost.Folder, lost.WindowNumber, lost.Note.HistoryPosition - 1), loaded);
    if (!r.Ok) return FileResult::Failure("復元できませんでした。\n" + r.Message);
    doc = std::move(loaded);
    return FileResult::Success();
}

bool LostDocuments::Claimed(const LostDocument& lost) const {
    return std::any_of(claims_.begin(), claims_.end(), [&](const Claim& c) { return c.Folder == lost.Folder; });
}

FileResult LostDocuments::Adopt(const LostDocument& lost, Document& doc, const HistoryContext& ctx) {
    if (!lost.Recoverable || !Claimed(lost)) return FileResult::Failure("この文書は復元できません。");
    // Which lost snapshot becomes which of the new window's: all of them in place, or only the
    // state shown as the new base step.
    std::vector<std::pair<int, int>> moves;   // lost number -> new number
    if (lost.HistoryIntact) {
        const int n = lost.Note.HistoryPosition + lost.Note.RedoCount;
        // Snapshot 0 last: until then the new window's own base step stays valid.
        for (int k = n - 1; k >= 0; --k) moves.emplace_back(k, k);
    } else {
        moves.emplace_back(lost.Note.HistoryPosition - 1, 0);
    }
    for (std::size_t i = 0; i < moves.size(); ++i) {
        const fs::path from = SnapshotIn(lost.Folder, lost.WindowNumber, moves[i].first);
        if (MoveFile(from, SnapshotPath(ctx, moves[i].second))) continue;
        for (std::size_t j = 0; j < i; ++j)
            MoveFile(SnapshotPath(ctx, moves[j].second), SnapshotIn(lost.Folder, lost.WindowNumber, moves[j].first));
        return FileResult::Failure("アンドゥ情報を復元できませんでした。\n" + from.string());
    }
    const int n = int(moves.size());
    doc.HistoryPosition = lost.HistoryIntact ? lost.Note.HistoryPosition : 1;
    doc.RedoCount = lost.HistoryIntact ? lost.Note.RedoCount : 0;
    // Every file the new window has written stays below the count, so clearing finds it.
    doc.SnapshotCount = std::max(n, doc.SnapshotCount);
    WriteRecoveryNote(doc, ctx);
    RemoveWindowFiles(lost.Folder, lost.WindowNumber);
    return FileResult::Success();
}

void LostDocuments::Discard(const LostDocument& lost) {
    if (Claimed(lost)) RemoveWindowFiles(lost.Folder, lost.WindowNumber);
}

}  // namespace pq
