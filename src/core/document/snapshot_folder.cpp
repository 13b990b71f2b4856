#include "core/document/snapshot_folder.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <regex>
#include <string>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace pq {

namespace {

const char* const kLockName = "pqlock";
const char* const kPrivatePrefix = "pqinst-";

// True while the locked descriptor still belongs to the file at `path` (a cleaner in another
// instance may have removed the folder between our open and our lock).
bool StillLinked(int fd, const fs::path& path) {
    struct stat a {}, b {};
    if (::fstat(fd, &a) != 0 || ::stat(path.c_str(), &b) != 0) return false;
    return a.st_nlink > 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Opens and locks `path` without waiting; -1 when it cannot be opened or another instance
// holds it.
int TryLock(const fs::path& path, bool create) {
    int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | (create ? O_CREAT : 0), 0644);
    if (fd < 0) return -1;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || !StillLinked(fd, path)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Leftovers of instances that ended without cleaning up (a crash): snapshot files and their
// temporary files in the shared folder, and private folders whose lock nobody holds. Called
// only by the instance that owns the shared folder.
void RemoveLeftovers(const fs::path& folder) {
    static const std::regex snapshot("img[0-9]+no[0-9]+(\\.[A-Za-z0-9]{6})?|\\.img[0-9]+no[0-9]+\\.tmp-[A-Za-z0-9]{6}");
    std::error_code ec;
    std::vector<fs::path> stale;
    for (const fs::directory_entry& e : fs::directory_iterator(folder, ec)) {
        std::string name = e.path().filename().string();
        std::error_code ec2;
        if (e.is_regular_file(ec2) && std::regex_match(name, snapshot)) {
            stale.push_back(e.path());
        } else if (e.is_directory(ec2) && name.rfind(kPrivatePrefix, 0) == 0) {
            // A folder without a lock file may be one being set up right now: leave it.
            int fd = TryLock(e.path() / kLockName, false);
            if (fd < 0) continue;
            fs::remove_all(e.path(), ec2);
            ::close(fd);
        }
    }
    for (const fs::path& p : stale) fs::remove(p, ec);
}

}  // namespace

SnapshotFolder::SnapshotFolder(const fs::path& settingsFolder) : path_(settingsFolder) {
    std::error_code ec;
    fs::create_directories(settingsFolder, ec);
    lockFile_ = settingsFolder / kLockName;
    lockFd_ = TryLock(lockFile_, true);
    if (lockFd_ >= 0) {
        RemoveLeftovers(settingsFolder);
        return;
    }
    if (!fs::exists(lockFile_, ec)) {
        // The folder cannot even hold a lock file, so no instance can write snapshots into it.
        lockFile_.clear();
        return;
    }
    // Another instance owns the folder: work in a private sub-folder with a lock of its own,
    // or in the system's temporary folder when no sub-folder can be made.
    for (const fs::path& parent : {settingsFolder, fs::temp_directory_path(ec)}) {
        for (int attempt = 0; attempt < 4; ++attempt) {
            std::string tmpl = (parent / (std::string(kPrivatePrefix) + "XXXXXX")).string();
            if (!::mkdtemp(tmpl.data())) break;
            fs::path dir = tmpl;
            int fd = TryLock(dir / kLockName, true);
            if (fd >= 0) {
                path_ = dir;
                lockFile_ = dir / kLockName;
                lockFd_ = fd;
                private_ = true;
                return;
            }
            fs::remove_all(dir, ec);
        }
    }
    lockFile_.clear();
}

SnapshotFolder::~SnapshotFolder() {
    if (private_) {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    if (lockFd_ >= 0) ::close(lockFd_);
}

}  // namespace pq
