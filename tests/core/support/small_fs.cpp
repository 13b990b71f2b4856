#include "support/small_fs.h"

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace pq::test {

SmallFileSystem::SmallFileSystem(std::uint64_t bytes) {
    std::string tmpl = (fs::temp_directory_path() / "pq-smallfs-XXXXXX").string();
    if (!::mkdtemp(tmpl.data())) return;
    path_ = tmpl;
    const std::string options = "size=" + std::to_string(bytes) + ",mode=0777";
    mounted_ = ::mount("tmpfs", path_.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) == 0;
}

SmallFileSystem::~SmallFileSystem() {
    if (path_.empty()) return;
    if (mounted_) ::umount2(path_.c_str(), MNT_DETACH);
    std::error_code ec;
    fs::remove_all(path_, ec);
}

std::uint64_t SmallFileSystem::Free() const {
    struct statvfs st {};
    if (::statvfs(path_.c_str(), &st) != 0) return 0;
    return std::uint64_t(st.f_bavail) * st.f_frsize;
}

void SmallFileSystem::FillLeaving(std::uint64_t leave) const {
    const int fd = ::open((path_ / "filler").c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0) return;
    std::vector<char> block(4096, 'x');
    while (Free() >= leave + block.size()) {
        if (::write(fd, block.data(), block.size()) <= 0) break;
    }
    ::close(fd);
}

void SmallFileSystem::Unfill() const {
    std::error_code ec;
    fs::remove(path_ / "filler", ec);
}

}  // namespace pq::test
