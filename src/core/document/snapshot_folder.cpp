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

#include "core/document/history_reserve.h"
#include "core/io/atomic_write.h"

namespace fs = std::filesystem;

namespace pq {

namespace {

// True while the locked descriptor still belongs to the file at `path` (a cleaner in another
// instance may have removed the folder between our open and our lock).
bool StillLinked(int fd, const fs::path& path) {
    struct stat a {}, b {};
    if (::fstat(fd, &a) != 0 || ::stat(path.c_str(), &b) != 0) return false;
    return a.st_nlink > 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

int TryLock(const fs::path& path, bool create) {
    int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW | (create ? O_CREAT : 0), 0644);
    if (fd < 0) return -1;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || !StillLinked(fd, path)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool HoldsHistoryFiles(const fs::path& folder) {
    std::error_code ec;
    for (const fs::directory_entry& e : fs::directory_iterator(folder, ec)) {
        int window = 0, step = 0;
        if (ParseHistoryFileName(e.path().filename().string(), window, step)) return true;
    }
    return false;
}

// Leftovers of instances that ended without cleaning up (a crash). Snapshot files and notes in
// the shared folder go to a folder of their own, kept for recovery; temporary files nobody
// holds are removed (here and in the kept folders); a private folder whose lock nobody holds
// stays when it keeps history files and is removed otherwise. Called only by the instance that
// owns the shared folder.
void SetLeftoversAside(const fs::path& folder) {
    static const std::regex oldTemp("img[0-9]+no[0-9]+\\.[A-Za-z0-9]{6}|\\.img[0-9]+no[0-9]+\\.tmp-[A-Za-z0-9]{6}");
    std::error_code ec;
    std::vector<fs::path> history, stale;
    for (const fs::directory_entry& e : fs::directory_iterator(folder, ec)) {
        const std::string name = e.path().filename().string();
        std::error_code ec2;
        int window = 0, step = 0;
        // A link under a history file's name is no file of ours; recovery reports and removes it.
        if (e.is_symlink(ec2) && name != kReserveFileName) continue;
        // An animated set's frame note ("anim" + window) goes with its pages' files.
        static const std::regex frameNote("anim[0-9]{1,9}");
        if (e.is_regular_file(ec2) && (ParseHistoryFileName(name, window, step) || std::regex_match(name, frameNote))) {
            history.push_back(e.path());
        } else if (name == kReserveFileName || (e.is_regular_file(ec2) && std::regex_match(name, oldTemp))) {
            stale.push_back(e.path());
        } else if (e.is_directory(ec2) && name.rfind(kPrivateFolderPrefix, 0) == 0) {
            // A folder without a lock file may be one being set up right now: leave it.
            int fd = TryLock(e.path() / kSnapshotLockName, false);
            if (fd < 0) continue;
            if (!HoldsHistoryFiles(e.path())) {
                fs::remove_all(e.path(), ec2);
            } else {
                RemoveStaleTempFiles(e.path());
                fs::remove(e.path() / kReserveFileName, ec2);
            }
            ::close(fd);
        }
    }
    for (const fs::path& p : stale) fs::remove(p, ec);
    // Temporary files of the atomic writer whose writer died; another instance may be writing
    // its settings here right now, and its files stay locked while it does.
    RemoveStaleTempFiles(folder);
    if (history.empty()) return;
    std::string tmpl = (folder / (std::string(kPrivateFolderPrefix) + "XXXXXX")).string();
    int fd = -1;
    if (::mkdtemp(tmpl.data())) {
        fd = TryLock(fs::path(tmpl) / kSnapshotLockName, true);
        if (fd < 0) fs::remove_all(tmpl, ec);
    }
    for (const fs::path& p : history) {
        std::error_code moved;
        if (fd >= 0) fs::rename(p, fs::path(tmpl) / p.filename(), moved);
        // Files that cannot be kept apart would mix with this instance's own: they go, as
        // they did before recovery existed.
        if (fd < 0 || moved) fs::remove(p, ec);
    }
    if (fd >= 0) ::close(fd);
}

}  // namespace

int TryLockSnapshotFolder(const fs::path& folder, bool create) { return TryLock(folder / kSnapshotLockName, create); }

bool ParseHistoryFileName(const std::string& name, int& window, int& step) {
    static const std::regex pattern("img([0-9]{1,9})(?:no([0-9]{1,9})|note)");
    std::smatch m;
    if (!std::regex_match(name, m, pattern)) return false;
    window = std::stoi(m[1].str());
    step = m[2].matched ? std::stoi(m[2].str()) : -1;
    return true;
}

SnapshotFolder::SnapshotFolder(const fs::path& settingsFolder) : path_(settingsFolder) {
    std::error_code ec;
    fs::create_directories(settingsFolder, ec);
    lockFile_ = settingsFolder / kSnapshotLockName;
    lockFd_ = TryLock(lockFile_, true);
    if (lockFd_ >= 0) {
        SetLeftoversAside(settingsFolder);
        reserve_ = std::make_unique<HistoryReserve>(path_);
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
            std::string tmpl = (parent / (std::string(kPrivateFolderPrefix) + "XXXXXX")).string();
            if (!::mkdtemp(tmpl.data())) break;
            fs::path dir = tmpl;
            int fd = TryLock(dir / kSnapshotLockName, true);
            if (fd >= 0) {
                path_ = dir;
                lockFile_ = dir / kSnapshotLockName;
                lockFd_ = fd;
                private_ = true;
                reserve_ = std::make_unique<HistoryReserve>(path_);
                return;
            }
            fs::remove_all(dir, ec);
        }
    }
    lockFile_.clear();
}

SnapshotFolder::~SnapshotFolder() {
    reserve_.reset();
    if (private_) {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    if (lockFd_ >= 0) ::close(lockFd_);
}

}  // namespace pq
