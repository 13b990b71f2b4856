#include "core/io/atomic_write.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <utility>

namespace pq {
namespace {

std::string WriteFailure(const std::filesystem::path& path, int err) {
    std::string m = "「" + path.string() + "」に書き込めませんでした。";
    if (err != 0) m += std::string("\n") + std::strerror(err);
    return m;
}

// Mode for a file that does not exist yet: what open(2) would give under the current umask.
mode_t DefaultFileMode() {
    mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

bool WriteAll(int fd, const uint8_t* data, std::size_t size) {
    while (size > 0) {
        ssize_t n = ::write(fd, data, size);
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
    }
    return true;
}

// Follows symbolic links from `path` to the name they end at (which need not exist yet).
// Returns 0 or ELOOP.
int FollowLinks(const std::filesystem::path& path, std::filesystem::path& out) {
    std::filesystem::path p = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(p.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
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
ReadStatus OpenRegular(const std::filesystem::path& path, int& fd, std::uint64_t& size) {
    fd = -1;
    // O_NONBLOCK: opening a FIFO must not wait for a writer; it is refused just below.
    const int f = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
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

ReadStatus ReadWholeFile(const std::filesystem::path& path, std::vector<std::uint8_t>& out, std::uint64_t maxBytes) {
    out.clear();
    int f = -1;
    std::uint64_t size = 0;
    if (const ReadStatus s = OpenRegular(path, f, size); s != ReadStatus::Ok) return s;
    Descriptor fd(f);
    if (size > maxBytes || size > std::numeric_limits<std::size_t>::max() / 2) return ReadStatus::TooLarge;
    std::vector<std::uint8_t> data(static_cast<std::size_t>(size));
    if (!ReadExactly(fd.Get(), 0, data.data(), data.size())) return ReadStatus::Failed;
    out = std::move(data);
    return ReadStatus::Ok;
}

ReadStatus ReadFilePrefix(const std::filesystem::path& path, std::size_t maxBytes, std::vector<std::uint8_t>& out) {
    out.clear();
    int f = -1;
    std::uint64_t size = 0;
    if (const ReadStatus s = OpenRegular(path, f, size); s != ReadStatus::Ok) return s;
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

ReadStatus RegularFile::Open(const std::filesystem::path& path) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    size_ = 0;
    return OpenRegular(path, fd_, size_);
}

bool RegularFile::ReadAt(std::uint64_t offset, std::size_t n, std::vector<std::uint8_t>& out) const {
    out.clear();
    if (fd_ < 0 || offset > size_ || n > size_ - offset) return false;
    out.resize(n);
    if (!ReadExactly(fd_, offset, out.data(), n)) {
        out.clear();
        return false;
    }
    return true;
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

ReplacingWriter::ReplacingWriter(std::filesystem::path target, Flush flush) : target_(std::move(target)), flush_(flush) {}

ReplacingWriter::~ReplacingWriter() {
    if (!temp_.empty()) ::unlink(temp_.c_str());
}

int ReplacingWriter::Write(std::span<const std::uint8_t> bytes) {
    if (!temp_.empty()) {
        ::unlink(temp_.c_str());
        temp_.clear();
    }
    if (const int err = FollowLinks(target_, target_)) return err;
    struct stat st {};
    mode_t mode = DefaultFileMode();
    if (::stat(target_.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) return EISDIR;
        if (!S_ISREG(st.st_mode)) return EINVAL;
        // A read-only file is not replaced, not even by a user the permission bits let through.
        if ((st.st_mode & 0222) == 0 || ::access(target_.c_str(), W_OK) != 0) return EACCES;
        mode = st.st_mode & 07777;
    } else if (errno != ENOENT) {
        return errno;
    }

    std::filesystem::path folder = target_.parent_path();
    if (folder.empty()) folder = ".";
    std::string tmpl = (folder / (std::string(kTempFilePrefix) + "XXXXXX")).string();
    const int fd = ::mkostemp(tmpl.data(), O_CLOEXEC);
    if (fd < 0) return errno;
    temp_ = tmpl;

    int err = 0;
    if (::fchmod(fd, mode) != 0 || !WriteAll(fd, bytes.data(), bytes.size()) ||
        (flush_ == Flush::Now && ::fsync(fd) != 0))
        err = errno;
    if (::close(fd) != 0 && err == 0) err = errno;
    if (err != 0) {
        ::unlink(temp_.c_str());
        temp_.clear();
    }
    return err;
}

int ReplacingWriter::Commit() {
    if (temp_.empty()) return EINVAL;
    if (std::rename(temp_.c_str(), target_.c_str()) != 0) {
        const int err = errno;
        ::unlink(temp_.c_str());
        temp_.clear();
        return err;
    }
    temp_.clear();
    if (flush_ == Flush::Later) return 0;
    // Make the rename itself durable; a failure here no longer endangers either file.
    std::filesystem::path folder = target_.parent_path();
    if (folder.empty()) folder = ".";
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return 0;
}

FileResult WriteFileAtomically(const std::filesystem::path& path, std::span<const std::uint8_t> bytes, Flush flush) {
    ReplacingWriter writer(path, flush);
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
