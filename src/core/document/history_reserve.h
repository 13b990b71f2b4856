#pragma once
// Disk space held back for the undo history. Each running instance keeps one file "pqreserve" in
// its snapshot folder, as large as the two largest snapshots its open windows have written (at
// least kMinReserveBytes), allocated with fallocate. When the disk is full and a step cannot be
// written, the history releases the reserve and writes the waiting steps and notes into the
// space it frees, so they are on disk (and survive a kill) instead of waiting in memory. The
// reserve grows back by itself once there is room again, and is removed with its instance.

#include <array>
#include <cstdint>
#include <filesystem>
#include <map>

namespace pq {

inline constexpr const char* kReserveFileName = "pqreserve";
inline constexpr std::uint64_t kMinReserveBytes = std::uint64_t(4) << 20;

class HistoryReserve {
public:
    // The reserve of snapshots written into `folder`. The file is made with the first snapshot.
    explicit HistoryReserve(std::filesystem::path folder);
    // Removes the file.
    ~HistoryReserve();
    HistoryReserve(const HistoryReserve&) = delete;
    HistoryReserve& operator=(const HistoryReserve&) = delete;

    // The reserve serving the snapshot folder `folder`, or nullptr when there is none.
    static HistoryReserve* For(const std::filesystem::path& folder);

    // Window `window` writes a snapshot of `bytes`: the reserve grows to cover the two largest
    // snapshots of the open windows. A disk without room for it leaves it as it is.
    void NoteSnapshot(int window, std::uint64_t bytes);
    // The window's history was cleared (closed, or undo switched off): its sizes no longer count.
    void ForgetWindow(int window);
    // Gives the reserve's space back to the file system; true when it held any. A released
    // reserve stays empty until Regrow finds room for it twice over, so it does not take back
    // at once the space the waiting steps were just given.
    bool Release();
    void Regrow();
    bool Released() const { return released_; }

    std::uint64_t Wanted() const;                  // the size it aims at
    std::uint64_t Held() const { return held_; }   // the bytes allocated now
    const std::filesystem::path& Path() const { return path_; }

private:
    // Allocates up to Wanted(); back to the old size when the disk cannot give it all.
    void Fit();

    std::filesystem::path folder_;
    std::filesystem::path path_;
    int fd_ = -1;
    std::uint64_t held_ = 0;
    bool released_ = false;
    // The two largest snapshot sizes each window has written, largest first.
    std::map<int, std::array<std::uint64_t, 2>> windows_;
};

}  // namespace pq
