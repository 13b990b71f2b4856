#pragma once
// A real, small file system for tests of what happens when the disk is full: a tmpfs of a given
// size mounted on a fresh folder. Mounting needs root; where it is not allowed, Mounted() is
// false and the test should say so and skip (or use a fault-injecting hook instead).

#include <cstdint>
#include <filesystem>

namespace pq::test {

class SmallFileSystem {
public:
    explicit SmallFileSystem(std::uint64_t bytes);
    ~SmallFileSystem();
    SmallFileSystem(const SmallFileSystem&) = delete;
    SmallFileSystem& operator=(const SmallFileSystem&) = delete;

    bool Mounted() const { return mounted_; }
    const std::filesystem::path& Path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }
    // Bytes still free for new data.
    std::uint64_t Free() const;
    // Fills the file system with a file "filler" until less than `leave` bytes are free.
    void FillLeaving(std::uint64_t leave) const;
    // Removes the filler made by FillLeaving.
    void Unfill() const;

private:
    std::filesystem::path path_;
    bool mounted_ = false;
};

}  // namespace pq::test
