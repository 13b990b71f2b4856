#pragma once
// The folder that holds this running instance's undo snapshot files.

#include <filesystem>
#include <memory>
#include <string>

namespace pq {

class HistoryReserve;

// The lock file every snapshot folder holds, locked (flock) by the instance writing into it for
// as long as it runs; the kernel releases it when the process dies, however it dies.
inline constexpr const char* kSnapshotLockName = "pqlock";
// Prefix of the per-instance folders inside the settings folder, and of the folders that keep
// the snapshots of an instance that died until they are restored or discarded.
inline constexpr const char* kPrivateFolderPrefix = "pqinst-";

// Opens and locks folder/pqlock without waiting; the descriptor, or -1 when the file cannot be
// opened (create: made when missing) or another instance holds it. Closing it releases the lock.
int TryLockSnapshotFolder(const std::filesystem::path& folder, bool create);

// Names of the files a window keeps in a snapshot folder: "img" + window + "no" + step (step
// >= 0) and its recovery note "img" + window + "note" (step -1). False for any other name.
bool ParseHistoryFileName(const std::string& name, int& window, int& step);

// The settings folder itself for the first instance, a private sub-folder for any other one
// running at the same time, so two instances never write each other's files. The lock is
// released (and a private folder removed) when the object is destroyed.
// The instance that takes the settings folder finds there the snapshots of an earlier owner that
// died: it moves them into a folder of their own (kPrivateFolderPrefix, lock not held) where they
// wait to be offered for recovery (recovery.h), so its own windows never meet them. The reserve
// file a dead owner left (history_reserve.h) is removed, there and in the kept folders, so its
// space is free again. The folder's own reserve lives and goes with this object.
class SnapshotFolder {
public:
    explicit SnapshotFolder(const std::filesystem::path& settingsFolder);
    ~SnapshotFolder();
    SnapshotFolder(const SnapshotFolder&) = delete;
    SnapshotFolder& operator=(const SnapshotFolder&) = delete;
    const std::filesystem::path& Path() const { return path_; }

private:
    std::unique_ptr<HistoryReserve> reserve_;
    std::filesystem::path path_;
    std::filesystem::path lockFile_;
    int lockFd_ = -1;
    bool private_ = false;
};

}  // namespace pq
