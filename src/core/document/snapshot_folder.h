#pragma once
// The folder that holds this running instance's undo snapshot files.

#include <filesystem>

namespace pq {

// The settings folder itself for the first instance, a private sub-folder for any other one
// running at the same time, so two instances never write each other's files. The lock is
// released (and a private folder removed) when the object is destroyed.
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
