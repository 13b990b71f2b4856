#include "core/document/recovery.h"

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <limits>
#include <map>
#include <set>
#include <system_error>
#include <tuple>

#include "core/document/history_reserve.h"
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

// Megabytes with one decimal, for the user.
std::string Megabytes(std::uint64_t bytes) {
    const std::uint64_t tenths = (bytes * 10 + (1 << 19)) >> 20;
    return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + " MB";
}

// The memory this process may still take: what the system has available and what its own
// address-space limit leaves, whichever is less.
std::uint64_t AvailableMemory() {
    std::uint64_t available = std::numeric_limits<std::uint64_t>::max();
    if (FILE* f = std::fopen("/proc/meminfo", "r")) {
        char line[256];
        unsigned long long kb = 0;
        while (std::fgets(line, sizeof line, f))
            if (std::sscanf(line, "MemAvailable: %llu kB", &kb) == 1) available = std::uint64_t(kb) * 1024;
        std::fclose(f);
    }
    rlimit limit {};
    if (::getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) {
        unsigned long long pages = 0;
        std::uint64_t used = 0;
        if (FILE* f = std::fopen("/proc/self/statm", "r")) {
            if (std::fscanf(f, "%llu", &pages) == 1) used = std::uint64_t(pages) * std::uint64_t(::sysconf(_SC_PAGESIZE));
            std::fclose(f);
        }
        const std::uint64_t left = limit.rlim_cur > used ? limit.rlim_cur - used : 0;
        available = std::min(available, left);
    }
    return available;
}

// The document in a snapshot of `size` bytes, read without a copy of the file. A document the
// memory cannot hold (it needs about its own size, and as much again to be shown and edited)
// is refused with its size named before anything is allocated.
FileResult ReadLostSnapshot(const fs::path& path, Document& doc, std::uint64_t size) {
    const std::uint64_t available = AvailableMemory();
    if (size > available / 2)
        return FileResult::Failure("この文書は大きすぎるため復元できません（" + Megabytes(size) + "、使えるメモリは " +
                                   Megabytes(available) + "）。");
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return FileResult::Failure(path.string() + "\nファイルが見つかりません。");
    if (!ReadSnapshotFile(path, size, doc))
        return FileResult::Failure(path.string() + "\nファイルの内容が壊れています。");
    return FileResult::Success();
}

LostDocument Describe(const fs::path& folder, int window, const std::set<int>& steps) {
    LostDocument d;
    d.Folder = folder;
    d.WindowNumber = window;
    std::vector<uint8_t> bytes;
    if (ReadWholeFile(folder / NoteFileName(window), bytes, kNoteSizeLimit, Owner::Program) != ReadStatus::Ok) return d;
    const std::optional<RecoveryNote> note = DecodeRecoveryNote(bytes);
    if (!note || note->WindowNumber != window) return d;
    d.Note = *note;

    // The announced step happened when its file holds exactly its bytes.
    int position = note->HistoryPosition, redo = note->RedoCount;
    if (const std::optional<NoteIntent>& intent = note->Intent) {
        if (FileDigest(SnapshotIn(folder, window, intent->HistoryPosition - 1), intent->Size) == intent->Digest) {
            position = intent->HistoryPosition;
            redo = intent->RedoCount;
        }
    }
    if (position < 1) return d;
    const int end = int(std::min<int64_t>(int64_t(position) + redo, std::numeric_limits<int>::max())) - 1;
    const auto complete = [&](int k) {
        return steps.count(k) != 0 ? ReadSnapshotShape(SnapshotIn(folder, window, k)) : std::nullopt;
    };

    // Walks only the files present, newest first, so a damaged count cannot make this long.
    std::optional<SnapshotShape> shown;
    for (auto it = steps.upper_bound(position - 1); it != steps.begin() && !shown;) {
        --it;
        if ((shown = complete(*it))) d.Current = *it;
    }
    if (!shown) return d;
    d.Width = shown->Width;
    d.Height = shown->Height;
    d.ColorCount = shown->ColorCount;
    d.CurrentSize = shown->Size;
    d.First = d.Last = d.Current;
    while (d.First > 0 && complete(d.First - 1)) --d.First;
    while (d.Last < end && complete(d.Last + 1)) ++d.Last;
    d.HistoryIntact = d.First == 0 && d.Last == end;
    d.Steps = d.Last - d.First;
    for (int k = d.First; k <= d.Last; ++k)
        d.Time = std::max(d.Time, ModificationTime(SnapshotIn(folder, window, k)));
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
    if (ReadWholeFile(from, bytes, kNoSizeLimit, Owner::Program) != ReadStatus::Ok ||
        !WriteFileAtomically(to, bytes, Flush::Now, Owner::Program).Ok)
        return false;
    fs::remove(from, ec);
    return true;
}

// Removes the symbolic links in `folder` under the names of the program's own files (history
// files, the reserve, `names`) and appends their paths to `removed`. The links go, never what
// they point to.
void RemovePlantedLinks(const fs::path& folder, const std::vector<std::string>& names, std::vector<fs::path>& removed) {
    std::error_code ec;
    std::vector<fs::path> links;
    for (const fs::directory_entry& e : fs::directory_iterator(folder, ec)) {
        std::error_code ec2;
        if (!e.is_symlink(ec2)) continue;
        const std::string name = e.path().filename().string();
        int window = 0, step = 0;
        if (ParseHistoryFileName(name, window, step) || name == kReserveFileName ||
            std::find(names.begin(), names.end(), name) != names.end())
            links.push_back(e.path());
    }
    std::sort(links.begin(), links.end());
    for (const fs::path& p : links) {
        // unlink(2) removes the link itself.
        if (::unlink(p.c_str()) == 0) removed.push_back(p);
    }
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

std::vector<std::vector<std::size_t>> LostDocumentGroups(const std::vector<LostDocument>& docs) {
    std::vector<std::vector<std::size_t>> groups;
    std::map<std::pair<fs::path, int>, std::size_t> setGroups;   // (folder, set window) -> group
    for (std::size_t i = 0; i < docs.size(); ++i) {
        const int set = docs[i].Note.Label.SetWindow;
        if (set == 0) {
            groups.push_back({i});
            continue;
        }
        const auto [it, added] = setGroups.try_emplace({docs[i].Folder, set}, groups.size());
        if (added) groups.emplace_back();
        groups[it->second].push_back(i);
    }
    for (std::vector<std::size_t>& g : groups)
        std::sort(g.begin(), g.end(), [&](std::size_t a, std::size_t b) {
            const LostDocument& x = docs[a];
            const LostDocument& y = docs[b];
            return std::tie(x.Note.Label.PageIndex, x.WindowNumber, a) <
                   std::tie(y.Note.Label.PageIndex, y.WindowNumber, b);
        });
    return groups;
}

int LostSetPages(const std::vector<const LostDocument*>& pages) {
    int count = int(pages.size());
    for (const LostDocument* d : pages) count = std::max(count, d->Note.Label.SetPages);
    return count;
}

int RecoverablePages(const std::vector<const LostDocument*>& pages) {
    return int(std::count_if(pages.begin(), pages.end(), [](const LostDocument* d) { return d->Recoverable; }));
}

bool ShowsSavedState(const LostDocument& lost) {
    return lost.Recoverable && lost.Note.Label.SavedPosition > 0 && lost.Current + 1 == lost.Note.Label.SavedPosition;
}

void LostDocuments::DropSupersededDocuments() {
    const std::vector<std::vector<std::size_t>> groups = LostDocumentGroups(docs_);
    std::vector<bool> drop(docs_.size(), false);
    std::set<std::pair<fs::path, int>> wholeSets;   // (folder, set window)
    for (const std::vector<std::size_t>& g : groups) {
        const LostDocument& first = docs_[g.front()];
        if (first.Note.Label.SetWindow == 0) {
            // A window at the state its file holds: nothing to recover.
            if (ShowsSavedState(first)) drop[g.front()] = true;
            continue;
        }
        std::vector<const LostDocument*> pages;
        for (std::size_t i : g) pages.push_back(&docs_[i]);
        const bool whole = RecoverablePages(pages) == LostSetPages(pages);
        const bool opening = std::all_of(pages.begin(), pages.end(),
                                         [](const LostDocument* d) { return d->Note.Label.SetOpening; });
        // Written whole and not changed since: the file holds all of it, nothing is lost.
        const bool saved = whole && std::all_of(pages.begin(), pages.end(), [](const LostDocument* d) {
            return ShowsSavedState(*d);
        });
        if (whole) wholeSets.insert({first.Folder, first.Note.Label.SetWindow});
        if (saved || (!whole && opening))
            for (std::size_t i : g) drop[i] = true;
    }
    for (std::size_t i = 0; i < docs_.size(); ++i)
        if (docs_[i].Note.Label.SetWindow == 0 && docs_[i].Recoverable &&
            wholeSets.count({docs_[i].Folder, docs_[i].WindowNumber}) != 0)
            drop[i] = true;
    std::vector<LostDocument> kept;
    for (std::size_t i = 0; i < docs_.size(); ++i) {
        if (drop[i]) RemoveWindowFiles(docs_[i].Folder, docs_[i].WindowNumber);
        else kept.push_back(std::move(docs_[i]));
    }
    docs_ = std::move(kept);
}

LostDocuments::LostDocuments(const fs::path& settingsFolder, const std::vector<std::string>& settingsFiles) {
    std::error_code ec;
    RemovePlantedLinks(settingsFolder, settingsFiles, damaged_);
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
        RemovePlantedLinks(folder, {}, damaged_);
        // The dead instance's reserve only held space back for it.
        ::unlink((folder / kReserveFileName).c_str());
        const std::map<int, std::set<int>> windows = HistoryFiles(folder);
        if (windows.empty()) {
            fs::remove_all(folder, ec);
            ::close(fd);
            continue;
        }
        claims_.push_back(Claim{folder, fd});
        for (const auto& [window, steps] : windows) docs_.push_back(Describe(folder, window, steps));
    }
    DropSupersededDocuments();
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
    const FileResult r = ReadLostSnapshot(SnapshotIn(lost.Folder, lost.WindowNumber, lost.Current), loaded, lost.CurrentSize);
    if (!r.Ok) return FileResult::Failure("復元できませんでした。\n" + r.Message);
    doc = std::move(loaded);
    return FileResult::Success();
}

bool LostDocuments::Claimed(const LostDocument& lost) const {
    return std::any_of(claims_.begin(), claims_.end(), [&](const Claim& c) { return c.Folder == lost.Folder; });
}

FileResult LostDocuments::Adopt(const LostDocument& lost, Document& doc, const HistoryContext& ctx) {
    if (!lost.Recoverable || !Claimed(lost)) return FileResult::Failure("この文書は復元できません。");
    // Newest first, so the new window's own base step (number 0) is replaced last: until then
    // it stays valid, and a failure on the way keeps it.
    std::vector<std::pair<int, int>> moves;   // lost number -> new number
    for (int k = lost.Last; k >= lost.First; --k) moves.emplace_back(k, k - lost.First);
    for (std::size_t i = 0; i < moves.size(); ++i) {
        const fs::path from = SnapshotIn(lost.Folder, lost.WindowNumber, moves[i].first);
        if (MoveFile(from, SnapshotPath(ctx, moves[i].second))) continue;
        for (std::size_t j = 0; j < i; ++j)
            MoveFile(SnapshotPath(ctx, moves[j].second), SnapshotIn(lost.Folder, lost.WindowNumber, moves[j].first));
        return FileResult::Failure("アンドゥ情報を復元できませんでした。\n" + from.string());
    }
    const int n = int(moves.size());
    doc.HistoryPosition = lost.Current - lost.First + 1;
    doc.RedoCount = lost.Last - lost.Current;
    // Every file the new window has written stays below the count, so clearing finds it.
    doc.SnapshotCount = std::max(n, doc.SnapshotCount);
    // A base step the new window kept in memory is replaced by the adopted history.
    doc.Journal.Pending.clear();
    doc.Journal.NoteBehind = WriteRecoveryNote(doc, ctx) != 0;
    RemoveWindowFiles(lost.Folder, lost.WindowNumber);
    return FileResult::Success();
}

void LostDocuments::Discard(const LostDocument& lost) {
    if (Claimed(lost)) RemoveWindowFiles(lost.Folder, lost.WindowNumber);
}

}  // namespace pq
