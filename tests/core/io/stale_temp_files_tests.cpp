// The cleaner of the atomic writer's leftovers takes only names that begin with its prefix: a
// user's file that merely contains it, anywhere else in the name, is never removed.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "core/document/snapshot_folder.h"
#include "core/io/atomic_write.h"
#include "support/test_paths.h"

namespace fs = std::filesystem;

namespace pq {
namespace {

std::vector<std::string> Entries(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Names with the prefix somewhere but at the start, or nearly the prefix.
const std::vector<std::string> kUserNames = {"notes.pqtmp-x.txt", "a.pqtmp-", "backup.pqtmp-Ab12cd", "pqtmp-Ab12cd",
                                             "_.pqtmp-Ab12cd", "..pqtmp-Ab12cd", ".pqtmp"};

TEST(StaleTempFiles, OnlyNamesStartingWithThePrefixAreTaken) {
    test::TempDir dir;
    for (const std::string& name : kUserNames) test::WriteBytes(dir / name, {1, 2, 3});
    test::WriteBytes(dir / ".pqtmp-Ab12cd", {4});   // a leftover: its writer is gone
    test::WriteBytes(dir / ".pqtmp-", {5});
    RemoveStaleTempFiles(dir.Path());
    std::vector<std::string> expected = kUserNames;
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(Entries(dir.Path()), expected);
    for (const std::string& name : kUserNames) EXPECT_EQ(test::ReadBytes(dir / name), (std::vector<uint8_t>{1, 2, 3})) << name;
}

TEST(StaleTempFiles, SettingsFolderKeepsTheUsersFilesWhenAnInstanceTakesIt) {
    test::TempDir settings;
    test::WriteBytes(settings / "notes.pqtmp-x.txt", {7, 7});
    test::WriteBytes(settings / ".pqtmp-dead07", {8});
    // And in the folder kept for a dead instance's snapshots.
    const fs::path kept = settings / (std::string(kPrivateFolderPrefix) + "dead07");
    fs::create_directory(kept);
    test::WriteBytes(kept / kSnapshotLockName, {});
    test::WriteBytes(kept / "img1no0", {9});
    test::WriteBytes(kept / "img1.pqtmp-x", {6});
    test::WriteBytes(kept / ".pqtmp-dead08", {6});
    {
        SnapshotFolder owner(settings.Path());
        EXPECT_EQ(test::ReadBytes(settings / "notes.pqtmp-x.txt"), (std::vector<uint8_t>{7, 7}));
        EXPECT_FALSE(fs::exists(settings / ".pqtmp-dead07"));
        EXPECT_EQ(Entries(kept), (std::vector<std::string>{"img1.pqtmp-x", "img1no0", kSnapshotLockName}));
    }
    EXPECT_TRUE(fs::exists(settings / "notes.pqtmp-x.txt"));
}

}  // namespace
}  // namespace pq
