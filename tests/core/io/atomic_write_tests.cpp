#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/io/atomic_write.h"
#include "support/test_paths.h"

namespace pq {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

std::vector<std::string> Entries(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(AtomicWrite, ReadOnlyTargetsAreRefusedLinksFollowedAndLongNamesWritten) {
    test::TempDir dir;
    const Bytes before{1, 2, 3}, after{4, 5};

    // A read-only file is refused as a file that cannot be created, and kept; so is a folder.
    test::WriteBytes(dir / "locked", before);
    ::chmod((dir / "locked").c_str(), 0444);
    const FileResult locked = WriteFileAtomically(dir / "locked", after);
    EXPECT_FALSE(locked.Ok);
    EXPECT_NE(locked.Message.find(std::strerror(EACCES)), std::string::npos) << locked.Message;
    EXPECT_EQ(test::ReadBytes(dir / "locked"), before);
    fs::create_directory(dir / "folder");
    EXPECT_EQ(ReplacingWriter(dir / "folder").Write(after), EISDIR);

    // A link stays a link (relative, and through a second link); the file it points to changes.
    fs::create_directory(dir / "real");
    test::WriteBytes(dir / "real" / "target", before);
    fs::create_symlink("real/target", dir / "link1");
    fs::create_symlink("link1", dir / "link2");
    ASSERT_TRUE(WriteFileAtomically(dir / "link2", after).Ok);
    EXPECT_TRUE(fs::is_symlink(dir / "link1"));
    EXPECT_TRUE(fs::is_symlink(dir / "link2"));
    EXPECT_EQ(test::ReadBytes(dir / "real" / "target"), after);
    // A link to a file that does not exist yet creates that file.
    fs::create_symlink("real/new", dir / "dangling");
    ASSERT_TRUE(WriteFileAtomically(dir / "dangling", after).Ok);
    EXPECT_EQ(test::ReadBytes(dir / "real" / "new"), after);

    // The longest legal name: the temporary name beside it must not be longer.
    std::string longName;
    while (longName.size() + 3 <= 251) longName += "漢";   // 3 bytes each
    longName += ".ico";
    ASSERT_TRUE(WriteFileAtomically(dir / longName, after).Ok);
    EXPECT_EQ(test::ReadBytes(dir / longName), after);

    // No temporary file is left behind by any of these.
    std::vector<std::string> expected{"dangling", "folder", "link1", "link2", "locked", longName, "real"};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(Entries(dir.Path()), expected);
    EXPECT_EQ(Entries(dir / "real"), (std::vector<std::string>{"new", "target"}));
}

TEST(AtomicWrite, ReadersRefuseFoldersFifosAndOversizedFilesAtOnce) {
    test::TempDir dir;
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);   // no writer: opening it normally blocks
    fs::create_directory(dir / "folder");
    // A sparse file: reading it whole would take a gigabyte.
    { std::ofstream(dir / "huge") << "x"; }
    fs::resize_file(dir / "huge", 1ull << 30);

    Bytes out{9};
    EXPECT_EQ(ReadWholeFile(dir / "fifo", out), ReadStatus::NotRegular);
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(ReadWholeFile(dir / "folder", out), ReadStatus::NotRegular);
    EXPECT_EQ(ReadFilePrefix(dir / "fifo", 8, out), ReadStatus::NotRegular);
    EXPECT_EQ(ReadWholeFile(dir / "missing", out), ReadStatus::Missing);
    EXPECT_EQ(ReadWholeFile(dir / "huge", out, 1u << 20), ReadStatus::TooLarge);
    EXPECT_FALSE(ReadFileBytes(dir / "fifo", out).Ok);
    EXPECT_EQ(ReadFileBytes(dir / "huge", out, 1u << 20, "too large").Message, "too large");

    RegularFile file;
    ASSERT_EQ(file.Open(dir / "huge"), ReadStatus::Ok);
    EXPECT_EQ(file.Size(), 1ull << 30);
    ASSERT_TRUE(file.ReadAt(0, 2, out));
    EXPECT_EQ(out, (Bytes{'x', 0}));
    EXPECT_FALSE(file.ReadAt((1ull << 30) - 1, 2, out));
    EXPECT_EQ(file.Open(dir / "fifo"), ReadStatus::NotRegular);
}

}  // namespace
}  // namespace pq
