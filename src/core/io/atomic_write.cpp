#include "core/io/atomic_write.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>
#include <utility>
#include <vector>

namespace pq {
namespace {

WriteStepHook g_stepHook = nullptr;

// 0, or the errno the test seam makes this step fail with.
int Step(WriteStep step, std::size_t& bytes) { return g_stepHook ? g_stepHook(step, bytes) : 0; }
int Step(WriteStep step) {
    std::size_t none = 0;
    return Step(step, none);
}

std::string WriteFailure(const std::filesystem::path& path, int err) {
    return "「" + path.string() + "」に書き込めませんでした。\n" + JapaneseErrorText(err);
}

// The process's umask, read once while the program starts: reading it means setting it, and
// doing that for every file would cost two system calls each and, with a second thread creating
// a file at that moment, give that file the mode 0666.
const mode_t g_umask = [] {
    const mode_t mask = umask(0);
    umask(mask);
    return mask;
}();

// Mode for a file that does not exist yet: what open(2) would give under the umask.
mode_t DefaultFileMode() { return 0666 & ~g_umask; }

// Writes everything at the file offset (offset < 0) or at `offset` (pwrite); false with errno set.
bool WriteAll(int fd, const uint8_t* data, std::size_t size, off_t offset = -1) {
    while (size > 0) {
        std::size_t chunk = size;
        if (const int err = Step(WriteStep::Write, chunk)) {
            errno = err;
            return false;
        }
        const ssize_t n = offset < 0 ? ::write(fd, data, chunk) : ::pwrite(fd, data, chunk, offset);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) {
            errno = ENOSPC;
            return false;
        }
        data += n;
        size -= std::size_t(n);
        if (offset >= 0) offset += n;
    }
    return true;
}

bool Sync(int fd) {
    if (const int err = Step(WriteStep::Sync)) {
        errno = err;
        return false;
    }
    return ::fsync(fd) == 0;
}

// True while `path` names the open file `fd` (a regular file).
bool Names(const std::filesystem::path& path, int fd) {
    struct stat a {}, b {};
    return ::fstat(fd, &a) == 0 && ::lstat(path.c_str(), &b) == 0 && S_ISREG(b.st_mode) && a.st_dev == b.st_dev &&
           a.st_ino == b.st_ino;
}

std::filesystem::path FolderOf(const std::filesystem::path& target) {
    std::filesystem::path folder = target.parent_path();
    return folder.empty() ? "." : folder;
}

// A fresh name kTempFilePrefix + six letters or digits in `folder`.
std::string TempName(const std::filesystem::path& folder) {
    static const char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    unsigned char r[6] = {};
    if (::getrandom(r, sizeof r, GRND_NONBLOCK) != ssize_t(sizeof r)) {
        // No entropy yet (early boot): any varying bits do, a clash only costs a retry.
        static unsigned counter = 0;
        timespec ts {};
        ::clock_gettime(CLOCK_MONOTONIC, &ts);
        std::uint64_t x = std::uint64_t(ts.tv_nsec) ^ (std::uint64_t(::getpid()) << 32) ^ (++counter * 0x9e3779b97f4a7c15ull);
        for (unsigned char& c : r) c = static_cast<unsigned char>(x >>= 7);
    }
    std::string name = kTempFilePrefix;
    for (unsigned char c : r) name += kLetters[c % (sizeof kLetters - 1)];
    return (folder / name).string();
}

// Opens a new unnamed file in `folder` (-1 and errno when it cannot). It can only be linked
// later through /proc/self/fd when the caller lacks the right to link by descriptor.
int OpenUnnamed(const std::filesystem::path& folder, mode_t mode) {
    static const bool haveProcFd = ::access("/proc/self/fd", X_OK) == 0;
    if (!haveProcFd) {
        errno = EOPNOTSUPP;
        return -1;
    }
    if (const int err = Step(WriteStep::CreateUnnamed)) {
        errno = err;
        return -1;
    }
    // Nobody else can open it before it has a name: Commit locks it before it gives it a
    // temporary name, which is the only name a cleaner looks at.
    return ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
}

// Creates and locks a named temporary file in `folder`; the descriptor, or -1 and errno.
// A cleaner may remove a new file in the moment between its creation and its lock, so the
// lock is taken without waiting and the name checked again afterwards; a lost file is retried.
int CreateNamedTemp(const std::filesystem::path& folder, std::string& name) {
    for (int attempt = 0; attempt < 16; ++attempt) {
        std::string tmpl = (folder / (std::string(kTempFilePrefix) + "XXXXXX")).string();
        const int fd = ::mkostemp(tmpl.data(), O_CLOEXEC);
        if (fd < 0) return -1;
        const bool locked = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
        if (!locked && errno != EWOULDBLOCK) {
            // A file system without flock: no cleaner can lock it either, so it is safe as it is.
            name = tmpl;
            return fd;
        }
        if (locked && Names(tmpl, fd)) {
            name = tmpl;
            return fd;
        }
        // A cleaner took it (and removes it): leave the name to it.
        ::close(fd);
    }
    errno = EAGAIN;
    return -1;
}

// Gives the unnamed file `fd` the name `path`; 0 or the errno (EEXIST when the name is taken).
int LinkUnnamed(int fd, const std::string& path) {
    if (const int err = Step(WriteStep::Link)) return err;
    if (::linkat(fd, "", AT_FDCWD, path.c_str(), AT_EMPTY_PATH) == 0) return 0;
    if (errno != ENOENT && errno != EPERM) return errno;
    // Linking by descriptor needs a privilege; the descriptor's /proc name does not.
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    return ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0 ? 0 : errno;
}

int Rename(const std::string& from, const std::filesystem::path& to) {
    if (const int err = Step(WriteStep::Rename)) return err;
    return std::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

// Follows symbolic links from `path` to the name they end at (which need not exist yet);
// `missing` tells that nothing has that name. Returns 0 or ELOOP.
int FollowLinks(const std::filesystem::path& path, std::filesystem::path& out, bool& missing) {
    std::filesystem::path p = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        const bool found = ::lstat(p.c_str(), &st) == 0;
        if (!found || !S_ISLNK(st.st_mode)) {
            missing = !found && errno == ENOENT;
            out = p;
            return 0;
        }
        std::error_code ec;
        const std::filesystem::path next = std::filesystem::read_symlink(p, ec);
        if (ec) return ec.value();
        p = next.is_absolute() ? next : p.parent_path() / next;
    }
    return ELOOP;
}

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    int Get() const { return fd_; }

private:
    int fd_;
};

// Opens `path` for reading if it is a regular file; never waits on a FIFO.
ReadStatus OpenRegular(const std::filesystem::path& path, int& fd, std::uint64_t& size, Owner owner) {
    fd = -1;
    // O_NONBLOCK: opening a FIFO must not wait for a writer; it is refused just below.
    const int noFollow = owner == Owner::Program ? O_NOFOLLOW : 0;
    const int f = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | noFollow);
    if (f < 0 && errno == ELOOP && noFollow) return ReadStatus::NotRegular;
    if (f < 0) return errno == ENOENT || errno == ENOTDIR ? ReadStatus::Missing : ReadStatus::Failed;
    struct stat st {};
    ReadStatus status = ReadStatus::Ok;
    if (::fstat(f, &st) != 0 || st.st_size < 0) status = ReadStatus::Failed;
    else if (!S_ISREG(st.st_mode)) status = ReadStatus::NotRegular;
    if (status != ReadStatus::Ok) {
        ::close(f);
        return status;
    }
    fd = f;
    size = std::uint64_t(st.st_size);
    return ReadStatus::Ok;
}

// Reads exactly n bytes at offset; false when the file ends before or cannot be read.
bool ReadExactly(int fd, std::uint64_t offset, std::uint8_t* data, std::size_t n) {
    std::size_t done = 0;
    while (done < n) {
        const ssize_t r = ::pread(fd, data + done, n - done, off_t(offset + done));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;
        done += std::size_t(r);
    }
    return true;
}

}  // namespace

ReadStatus ReadWholeFile(const std::filesystem::path& path, std::vector<std::uint8_t>& out, std::uint64_t maxBytes,
                         Owner owner) {
    out.clear();
    int f = -1;
    std::uint64_t size = 0;
    if (const ReadStatus s = OpenRegular(path, f, size, owner); s != ReadStatus::Ok) return s;
    Descriptor fd(f);
    if (size > maxBytes || size > std::numeric_limits<std::size_t>::max() / 2) return ReadStatus::TooLarge;
    std::vector<std::uint8_t> data(static_cast<std::size_t>(size));
    if (!ReadExactly(fd.Get(), 0, data.data(), data.size())) return ReadStatus::Failed;
    out = std::move(data);
    return ReadStatus::Ok;
}

ReadStatus ReadFilePrefix(const std::filesystem::path& path, std::size_t maxBytes, std::vector<std::uint8_t>& out,
                          Owner owner) {
    out.clear();
    int f = -1;
    std::uint64_t size = 0;
    if (const ReadStatus s = OpenRegular(path, f, size, owner); s != ReadStatus::Ok) return s;
    Descriptor fd(f);
    std::vector<std::uint8_t> data(static_cast<std::size_t>(std::min<std::uint64_t>(size, maxBytes)));
    if (!ReadExactly(fd.Get(), 0, data.data(), data.size())) return ReadStatus::Failed;
    out = std::move(data);
    return ReadStatus::Ok;
}

RegularFile::~RegularFile() {
    if (fd_ >= 0) ::close(fd_);
}

RegularFile::RegularFile(RegularFile&& other) noexcept : fd_(other.fd_), size_(other.size_) { other.fd_ = -1; }

RegularFile& RegularFile::operator=(RegularFile&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = other.fd_;
        size_ = other.size_;
        other.fd_ = -1;
    }
    return *this;
}

ReadStatus RegularFile::Open(const std::filesystem::path& path, Owner owner) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    size_ = 0;
    return OpenRegular(path, fd_, size_, owner);
}

bool RegularFile::ReadAt(std::uint64_t offset, std::size_t n, std::vector<std::uint8_t>& out) const {
    out.clear();
    if (fd_ < 0 || offset > size_ || n > size_ - offset) return false;
    out.resize(n);
    if (!ReadInto(offset, n, out.data())) {
        out.clear();
        return false;
    }
    return true;
}

bool RegularFile::ReadInto(std::uint64_t offset, std::size_t n, std::uint8_t* out) const {
    return fd_ >= 0 && offset <= size_ && n <= size_ - offset && ReadExactly(fd_, offset, out, n);
}

std::string CannotReadMessage(const std::filesystem::path& path) {
    return "「" + path.string() + "」を読み込めませんでした。";
}

FileResult ReadFileBytes(const std::filesystem::path& path, std::vector<std::uint8_t>& out) {
    if (ReadWholeFile(path, out) != ReadStatus::Ok) return FileResult::Failure(CannotReadMessage(path));
    return FileResult::Success();
}

FileResult ReadFileBytes(const std::filesystem::path& path, std::vector<std::uint8_t>& out, std::uint64_t maxBytes,
                         const std::string& tooLargeMessage) {
    switch (ReadWholeFile(path, out, maxBytes)) {
    case ReadStatus::Ok: return FileResult::Success();
    case ReadStatus::TooLarge: return FileResult::Failure(tooLargeMessage);
    default: return FileResult::Failure(CannotReadMessage(path));
    }
}

ReplacingWriter::ReplacingWriter(std::filesystem::path target, Flush flush, Owner owner)
    : target_(std::move(target)), flush_(flush), owner_(owner) {}

ReplacingWriter::~ReplacingWriter() { Discard(); }

void ReplacingWriter::Discard() {
    // The name goes while the lock is still held, so no cleaner ever meets it unlocked.
    if (!temp_.empty()) ::unlink(temp_.c_str());
    temp_.clear();
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    inPlace_.clear();
    inPlace_.shrink_to_fit();
    mode_ = Mode::None;
}

int ReplacingWriter::Write(std::span<const std::uint8_t> bytes) {
    Discard();
    bool missing = false;
    bool replacingLink = false;
    struct stat st {};
    mode_t mode = DefaultFileMode();
    if (owner_ == Owner::Program) {
        // The name itself is the target: a link there is a stranger's, replaced by the rename
        // at Commit like any old file, and what it points to is never opened.
        targetExisted_ = ::lstat(target_.c_str(), &st) == 0;
        if (!targetExisted_ && errno != ENOENT) return errno;
        replacingLink = targetExisted_ && S_ISLNK(st.st_mode);
    } else {
        if (const int err = FollowLinks(target_, target_, missing)) return err;
        if (missing) errno = ENOENT;   // lstat just found no such name: nothing to stat again
        targetExisted_ = !missing && ::stat(target_.c_str(), &st) == 0;
    }
    if (replacingLink) {
        // The new file gets the mode of a new file; nothing is taken from the link's target.
    } else if (targetExisted_) {
        if (S_ISDIR(st.st_mode)) return EISDIR;
        if (!S_ISREG(st.st_mode)) return EINVAL;
        // A read-only file is not replaced, not even by a user the permission bits let through.
        if ((st.st_mode & 0222) == 0) return EACCES;
        if (::access(target_.c_str(), W_OK) != 0) return errno;
        mode = st.st_mode & 07777;
    } else if (errno != ENOENT) {
        return errno;
    }

    const std::filesystem::path folder = FolderOf(target_);
    int fd = OpenUnnamed(folder, mode);
    if (fd >= 0) {
        mode_ = Mode::Unnamed;
    } else if (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL || errno == ENOSYS) {
        // No unnamed files here (or a kernel without them, which takes the flag as O_DIRECTORY).
        fd = CreateNamedTemp(folder, temp_);
        if (fd >= 0) mode_ = Mode::Named;
    }
    if (fd < 0) {
        const int err = errno;
        if ((err == EACCES || err == EPERM) && targetExisted_ && !replacingLink) return PrepareInPlace(bytes);
        return err;
    }
    fd_ = fd;

    int err = 0;
    // An unnamed file for a new target was created with the mode already; the others take the
    // target's own bits (which the umask would have cut) or leave mkostemp's 0600.
    const bool modeSet = mode_ == Mode::Unnamed && !targetExisted_;
    if ((!modeSet && ::fchmod(fd_, mode) != 0) || !WriteAll(fd_, bytes.data(), bytes.size()) ||
        (flush_ == Flush::Now && !Sync(fd_)))
        err = errno;
    if (err != 0) Discard();
    return err;
}

int ReplacingWriter::PrepareInPlace(std::span<const std::uint8_t> bytes) {
    const int fd = ::open(target_.c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) return errno;
    fd_ = fd;
    struct stat st {};
    if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int err = S_ISREG(st.st_mode) || st.st_mode == 0 ? errno : EINVAL;
        Discard();
        return err;
    }
    // Reserve the blocks without changing the file's size or content, so that a full disk
    // fails here with the old content whole (posix_fallocate would append zeros to it).
    if (!bytes.empty() && ::fallocate(fd_, FALLOC_FL_KEEP_SIZE, 0, off_t(bytes.size())) != 0 &&
        errno != EOPNOTSUPP && errno != EINVAL && errno != ENOSYS) {
        const int err = errno;
        Discard();
        return err;
    }
    inPlace_.assign(bytes.begin(), bytes.end());
    mode_ = Mode::InPlace;
    return 0;
}

int ReplacingWriter::CommitInPlace() {
    struct stat st {};
    int err = 0;
    if (::fstat(fd_, &st) != 0) err = errno;
    else if (st.st_nlink == 0) err = ENOENT;   // removed since Write: the content would go nowhere
    else if (!WriteAll(fd_, inPlace_.data(), inPlace_.size(), 0) || ::ftruncate(fd_, off_t(inPlace_.size())) != 0 ||
             (flush_ == Flush::Now && !Sync(fd_)))
        err = errno;
    Discard();
    return err;
}

int ReplacingWriter::Commit() {
    if (mode_ == Mode::None) return EINVAL;
    if (mode_ == Mode::InPlace) return CommitInPlace();
    int err = 0;
    if (mode_ == Mode::Unnamed) {
        // A target that did not exist gets the file's first name at once; otherwise (or when
        // one appeared since Write) the file is named beside it, then renamed over it.
        err = targetExisted_ ? EEXIST : LinkUnnamed(fd_, target_.string());
        if (err == EEXIST) {
            // Locked before it has a temporary name, so a cleaner never takes it for a leftover.
            ::flock(fd_, LOCK_EX);
            for (int attempt = 0; attempt < 16 && err == EEXIST; ++attempt) {
                const std::string name = TempName(FolderOf(target_));
                err = LinkUnnamed(fd_, name);
                if (err == 0) temp_ = name;
            }
            if (err == 0) err = Rename(temp_, target_);
        }
    } else {
        err = Rename(temp_, target_);
    }
    if (err == 0) temp_.clear();   // the name is the target's now
    Discard();
    if (err != 0 || flush_ == Flush::Later) return err;
    // Make the new name durable; a failure here no longer endangers either file.
    const int dir = ::open(FolderOf(target_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return 0;
}

void RemoveStaleTempFiles(const std::filesystem::path& folder) {
    std::error_code ec;
    std::vector<std::filesystem::path> candidates;
    for (const std::filesystem::directory_entry& e : std::filesystem::directory_iterator(folder, ec))
        if (e.path().filename().string().rfind(kTempFilePrefix, 0) == 0) candidates.push_back(e.path());
    for (const std::filesystem::path& p : candidates) {
        struct stat st {};
        if (::lstat(p.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
        const int flags = O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
        int f = ::open(p.c_str(), O_RDONLY | flags);
        if (f < 0) f = ::open(p.c_str(), O_WRONLY | flags);   // a write-only copy of a target's mode
        if (f < 0) continue;
        Descriptor fd(f);
        // Free lock: its writer is gone. The name is checked again under the lock, in case it
        // was replaced since the listing.
        if (::flock(fd.Get(), LOCK_EX | LOCK_NB) == 0 && Names(p, fd.Get())) ::unlink(p.c_str());
    }
}

std::string JapaneseErrorText(int err) {
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
    case EPERM: return "保存先に書き込む権限がありません。";
    case EROFS: return "読み取り専用のファイルシステムのため書き込めません。";
    case EISDIR: return "同じ名前のフォルダがあるため書き込めません。";
    case EIO: return "ディスクの読み書きに失敗しました。";
    case ENAMETOOLONG: return "ファイル名が長すぎます。";
    case ELOOP: return "シンボリックリンクが多すぎます。";
    case EINVAL: return "通常のファイルではないため書き込めません。";
    default: return "書き込みに失敗しました（エラー番号 " + std::to_string(err) + "）。";
    }
}

void SetWriteStepHook(WriteStepHook hook) { g_stepHook = hook; }

FileResult WriteFileAtomically(const std::filesystem::path& path, std::span<const std::uint8_t> bytes, Flush flush,
                               Owner owner) {
    ReplacingWriter writer(path, flush, owner);
    int err = writer.Write(bytes);
    if (err == 0) err = writer.Commit();
    if (err != 0) return FileResult::Failure(WriteFailure(path, err));
    return FileResult::Success();
}

bool FlushFileSystem(const std::filesystem::path& folder) {
    Descriptor fd(::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return fd.Get() >= 0 && ::syncfs(fd.Get()) == 0;
}

}  // namespace pq
