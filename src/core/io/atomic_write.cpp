#include "core/io/atomic_write.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

namespace pq {
namespace {

std::string ReadFailure(const std::filesystem::path& path) {
    return "「" + path.string() + "」を読み込めませんでした。";
}

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

}  // namespace

ReadStatus ReadWholeFile(const std::filesystem::path& path, std::vector<std::uint8_t>& out, std::uint64_t maxBytes) {
    out.clear();
    // O_NONBLOCK: opening a FIFO must not wait for a writer; it is refused just below.
    Descriptor fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (fd.Get() < 0) return errno == ENOENT || errno == ENOTDIR ? ReadStatus::Missing : ReadStatus::Failed;
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0) return ReadStatus::Failed;
    if (!S_ISREG(st.st_mode)) return ReadStatus::NotRegular;
    if (st.st_size < 0) return ReadStatus::Failed;
    if (std::uint64_t(st.st_size) > maxBytes) return ReadStatus::TooLarge;
    std::vector<std::uint8_t> data(static_cast<std::size_t>(st.st_size));
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::read(fd.Get(), data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return ReadStatus::Failed;   // the file shrank or cannot be read
        done += std::size_t(n);
    }
    out = std::move(data);
    return ReadStatus::Ok;
}

FileResult ReadFileBytes(const std::filesystem::path& path, std::vector<std::uint8_t>& out) {
    if (ReadWholeFile(path, out) != ReadStatus::Ok) return FileResult::Failure(ReadFailure(path));
    return FileResult::Success();
}

ReplacingWriter::ReplacingWriter(std::filesystem::path target) : target_(std::move(target)) {}

ReplacingWriter::~ReplacingWriter() {
    if (!temp_.empty()) ::unlink(temp_.c_str());
}

int ReplacingWriter::Write(std::span<const std::uint8_t> bytes) {
    if (!temp_.empty()) {
        ::unlink(temp_.c_str());
        temp_.clear();
    }
    std::filesystem::path folder = target_.parent_path();
    if (folder.empty()) folder = ".";
    std::string tmpl = (folder / ("." + target_.filename().string() + ".tmp-XXXXXX")).string();
    const int fd = ::mkostemp(tmpl.data(), O_CLOEXEC);
    if (fd < 0) return errno;
    temp_ = tmpl;

    struct stat st {};
    const mode_t mode = ::stat(target_.c_str(), &st) == 0 ? (st.st_mode & 07777) : DefaultFileMode();
    int err = 0;
    if (::fchmod(fd, mode) != 0 || !WriteAll(fd, bytes.data(), bytes.size()) || ::fsync(fd) != 0) err = errno;
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

FileResult WriteFileAtomically(const std::filesystem::path& path, std::span<const std::uint8_t> bytes) {
    ReplacingWriter writer(path);
    int err = writer.Write(bytes);
    if (err == 0) err = writer.Commit();
    if (err != 0) return FileResult::Failure(WriteFailure(path, err));
    return FileResult::Success();
}

}  // namespace pq
