#include "core/formats/atomic_write.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

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
        data += n;
        size -= std::size_t(n);
    }
    return true;
}

}  // namespace

FileResult ReadFileBytes(const std::filesystem::path& path, std::vector<uint8_t>& out) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) return FileResult::Failure(ReadFailure(path));
    std::ifstream in(path, std::ios::binary);
    if (!in) return FileResult::Failure(ReadFailure(path));
    in.seekg(0, std::ios::end);
    std::streamoff size = in.tellg();
    if (size < 0) return FileResult::Failure(ReadFailure(path));
    in.seekg(0, std::ios::beg);
    std::vector<uint8_t> data(static_cast<std::size_t>(size));
    if (size > 0 && !in.read(reinterpret_cast<char*>(data.data()), size))
        return FileResult::Failure(ReadFailure(path));
    out = std::move(data);
    return FileResult::Success();
}

FileResult WriteFileAtomically(const std::filesystem::path& path, std::span<const uint8_t> bytes) {
    std::filesystem::path folder = path.parent_path();
    if (folder.empty()) folder = ".";
    std::string tmpl = (folder / ("." + path.filename().string() + ".tmp-XXXXXX")).string();
    int fd = mkstemp(tmpl.data());
    if (fd < 0) return FileResult::Failure(WriteFailure(path, errno));

    struct stat st{};
    mode_t mode = ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : DefaultFileMode();
    bool ok = ::fchmod(fd, mode) == 0 && WriteAll(fd, bytes.data(), bytes.size()) && ::fsync(fd) == 0;
    int err = ok ? 0 : errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        err = errno;
    }
    if (ok && std::rename(tmpl.c_str(), path.c_str()) != 0) {
        ok = false;
        err = errno;
    }
    if (!ok) {
        ::unlink(tmpl.c_str());
        return FileResult::Failure(WriteFailure(path, err));
    }
    // Make the rename itself durable; a failure here no longer endangers either file.
    int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return FileResult::Success();
}

}  // namespace pq
