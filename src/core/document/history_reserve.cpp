#include "core/document/history_reserve.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

namespace fs = std::filesystem;

namespace pq {
namespace {

// Every reserve alive in this process, looked up by the folder it serves. One user-interface
// thread uses them.
std::vector<HistoryReserve*>& Registry() {
    static std::vector<HistoryReserve*> reserves;
    return reserves;
}

// Opens a fresh reserve file at `path`, never through a link: whatever a link there points to
// is left alone, and the link itself goes.
int OpenReserve(const fs::path& path) {
    for (int attempt = 0; attempt < 4; ++attempt) {
        const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0600);
        if (fd >= 0) {
            struct stat st {};
            if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) return fd;
            ::close(fd);
            return -1;
        }
        if (errno != ELOOP) return -1;
        ::unlink(path.c_str());
    }
    return -1;
}

}  // namespace

HistoryReserve::HistoryReserve(fs::path folder) : folder_(std::move(folder)), path_(folder_ / kReserveFileName) {
    Registry().push_back(this);
}

HistoryReserve::~HistoryReserve() {
    std::vector<HistoryReserve*>& all = Registry();
    all.erase(std::remove(all.begin(), all.end(), this), all.end());
    if (fd_ >= 0) {
        // Only the file this object made goes, not whatever has its name now.
        struct stat a {}, b {};
        if (::fstat(fd_, &a) == 0 && ::lstat(path_.c_str(), &b) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino)
            ::unlink(path_.c_str());
        ::close(fd_);
    }
}

HistoryReserve* HistoryReserve::For(const fs::path& folder) {
    for (HistoryReserve* r : Registry())
        if (r->folder_ == folder) return r;
    return nullptr;
}

std::uint64_t HistoryReserve::Wanted() const {
    std::uint64_t first = 0, second = 0;
    for (const auto& [window, sizes] : windows_) {
        for (std::uint64_t s : sizes) {
            if (s > first) {
                second = first;
                first = s;
            } else if (s > second) {
                second = s;
            }
        }
    }
    return std::max(kMinReserveBytes, first + second);
}

void HistoryReserve::NoteSnapshot(int window, std::uint64_t bytes) {
    std::array<std::uint64_t, 2>& sizes = windows_[window];
    if (bytes > sizes[0]) {
        sizes[1] = sizes[0];
        sizes[0] = bytes;
    } else if (bytes > sizes[1]) {
        sizes[1] = bytes;
    }
    if (!released_) Fit();
}

void HistoryReserve::ForgetWindow(int window) {
    if (windows_.erase(window) == 0) return;
    const std::uint64_t wanted = Wanted();
    if (fd_ >= 0 && held_ > wanted && ::ftruncate(fd_, off_t(wanted)) == 0) held_ = wanted;
}

bool HistoryReserve::Release() {
    if (fd_ < 0 || held_ == 0) return false;
    // Cutting the file to nothing frees its blocks at once; the name stays for growing back.
    if (::ftruncate(fd_, 0) != 0) return false;
    held_ = 0;
    released_ = true;
    return true;
}

void HistoryReserve::Regrow() {
    if (!released_) return;
    struct statvfs fsInfo {};
    if (::statvfs(folder_.c_str(), &fsInfo) != 0) return;
    const std::uint64_t free = std::uint64_t(fsInfo.f_bavail) * fsInfo.f_frsize;
    if (free / 2 < Wanted()) return;
    released_ = false;
    Fit();
}

void HistoryReserve::Fit() {
    const std::uint64_t wanted = Wanted();
    if (held_ >= wanted) return;
    if (fd_ < 0) {
        fd_ = OpenReserve(path_);
        if (fd_ < 0) return;
    }
    // Real blocks, not a sparse length: only allocated space can be handed back when full.
    int err = ::fallocate(fd_, 0, 0, off_t(wanted)) == 0 ? 0 : errno;
    // Without fallocate the C library writes the blocks instead.
    if (err == EOPNOTSUPP) err = ::posix_fallocate(fd_, 0, off_t(wanted));
    if (err == 0) {
        held_ = wanted;
        return;
    }
    // Some file systems keep part of a failed allocation: give it back.
    ::ftruncate(fd_, off_t(held_));
}

}  // namespace pq
