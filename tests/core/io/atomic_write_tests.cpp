#include <gtest/gtest.h>

#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/document/snapshot_folder.h"
#include "core/io/atomic_write.h"
#include "support/small_fs.h"
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

// Odd-sized content that differs at every position from a shifted copy.
Bytes Pattern(std::size_t n, unsigned seed) {
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i) b[i] = uint8_t((i * 131 + seed * 7 + (i >> 9)) & 0xff);
    return b;
}

// What the writer's test seam sees and does: the steps in order, a file system without
// unnamed files, a write that stops half-way (a short write, then ENOSPC), a step that fails.
struct Seam {
    bool NoUnnamed = false;
    std::size_t FailWriteAfter = 0;   // 0: writes succeed
    std::size_t Written = 0;
    WriteStep FailStep = WriteStep::CreateUnnamed;
    int FailErr = 0;
    std::vector<WriteStep> Steps;
};
Seam g_seam;

int SeamHook(WriteStep step, std::size_t& bytes) {
    g_seam.Steps.push_back(step);
    if (step == WriteStep::CreateUnnamed && g_seam.NoUnnamed) return EOPNOTSUPP;
    if (step == WriteStep::Write && g_seam.FailWriteAfter > 0) {
        if (g_seam.Written >= g_seam.FailWriteAfter) return ENOSPC;
        bytes = std::min(bytes, g_seam.FailWriteAfter - g_seam.Written);
        g_seam.Written += bytes;
    }
    if (g_seam.FailErr != 0 && step == g_seam.FailStep) return g_seam.FailErr;
    return 0;
}

class SeamScope {
public:
    explicit SeamScope(bool unnamed) {
        g_seam = Seam{};
        g_seam.NoUnnamed = !unnamed;
        SetWriteStepHook(SeamHook);
    }
    ~SeamScope() { SetWriteStepHook(nullptr); }
};

TEST(AtomicWrite, ReadOnlyTargetsAreRefusedLinksFollowedAndLongNamesWritten) {
    test::TempDir dir;
    const Bytes before{1, 2, 3}, after{4, 5};

    // A read-only file is refused as a file that cannot be created, and kept; so is a folder.
    test::WriteBytes(dir / "locked", before);
    ::chmod((dir / "locked").c_str(), 0444);
    const FileResult locked = WriteFileAtomically(dir / "locked", after);
    EXPECT_FALSE(locked.Ok);
    EXPECT_EQ(locked.Message, "「" + (dir / "locked").string() + "」に書き込めませんでした。\n保存先に書き込む権限がありません。");
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

TEST(AtomicWrite, TheProgramsOwnFilesReplaceALinkAndNeverReachWhatItPointsTo) {
    test::TempDir own, outside;
    const Bytes secret{9, 8, 7, 6, 5}, mine = Pattern(4099, 3);
    test::WriteBytes(outside / "secret", secret);
    ::chmod((outside / "secret").c_str(), 0640);
    fs::create_symlink(outside / "secret", own / "pqset");
    fs::create_symlink("../elsewhere/none", own / "dangling");   // to nothing: nothing is created
    fs::create_symlink(outside.Path(), own / "folderlink");

    // Reading refuses the link instead of reading its target.
    Bytes read{1};
    EXPECT_EQ(ReadWholeFile(own / "pqset", read, kNoSizeLimit, Owner::Program), ReadStatus::NotRegular);
    EXPECT_TRUE(read.empty());
    EXPECT_EQ(ReadFilePrefix(own / "pqset", 3, read, Owner::Program), ReadStatus::NotRegular);
    RegularFile f;
    EXPECT_EQ(f.Open(own / "pqset", Owner::Program), ReadStatus::NotRegular);

    // Writing, with and without unnamed files, puts a plain file where the link was.
    for (bool unnamed : {true, false}) {
        SeamScope seam(unnamed);
        for (const char* name : {"pqset", "dangling", "folderlink"}) {
            if (!fs::is_symlink(own / name)) fs::create_symlink(outside / "secret", own / name);
            ASSERT_TRUE(WriteFileAtomically(own / name, mine, Flush::Now, Owner::Program).Ok) << name << unnamed;
            EXPECT_FALSE(fs::is_symlink(own / name)) << name;
            EXPECT_EQ(test::ReadBytes(own / name), mine) << name;
            fs::remove(own / name);
        }
    }
    EXPECT_EQ(test::ReadBytes(outside / "secret"), secret);
    struct stat st {};
    ASSERT_EQ(::stat((outside / "secret").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(Entries(outside.Path()), (std::vector<std::string>{"secret"}));
    EXPECT_TRUE(Entries(own.Path()).empty());
    EXPECT_FALSE(fs::exists(own.Path().parent_path() / "elsewhere"));
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

// Both ways of writing: an unnamed file (O_TMPFILE) and, where a file system has none, a named one.
TEST(AtomicWrite, FullDiskFailsWithTheOldFileWholeNothingLeftAndTheSpaceFreed) {
    test::SmallFileSystem small(1 << 20);
    if (!small.Mounted()) GTEST_SKIP() << "cannot mount a small file system here (needs root)";
    const Bytes before = Pattern(70001, 1), after = Pattern(400003, 2);
    for (bool unnamed : {true, false}) {
        SCOPED_TRACE(unnamed ? "unnamed temporary" : "named temporary");
        SeamScope seam(unnamed);
        test::WriteBytes(small / "t.pqf", before);
        small.FillLeaving(150000);
        const std::uint64_t free = small.Free();
        {
            ReplacingWriter writer(small / "t.pqf");
            EXPECT_EQ(writer.Write(after), ENOSPC);
            // Before the writer goes: the failed write itself gave everything back.
            EXPECT_EQ(Entries(small.Path()), (std::vector<std::string>{"filler", "t.pqf"}));
            EXPECT_EQ(small.Free(), free);
            EXPECT_EQ(writer.Commit(), EINVAL);
        }
        const FileResult r = WriteFileAtomically(small / "t.pqf", after);
        EXPECT_EQ(r.Message, "「" + (small / "t.pqf").string() + "」に書き込めませんでした。\nディスクの空き容量が足りません。");
        EXPECT_EQ(test::ReadBytes(small / "t.pqf"), before);
        EXPECT_EQ(Entries(small.Path()), (std::vector<std::string>{"filler", "t.pqf"}));
        small.Unfill();
        ASSERT_TRUE(WriteFileAtomically(small / "t.pqf", after).Ok);
        EXPECT_EQ(test::ReadBytes(small / "t.pqf"), after);
    }
}

TEST(AtomicWrite, ContentIsFlushedBeforeItGetsTheTargetsName) {
    test::TempDir dir;
    const Bytes before = Pattern(3001, 3), after = Pattern(5003, 4);
    for (bool unnamed : {true, false}) {
        SCOPED_TRACE(unnamed ? "unnamed temporary" : "named temporary");
        SeamScope seam(unnamed);
        test::WriteBytes(dir / "old.pqf", before);
        ASSERT_TRUE(WriteFileAtomically(dir / "old.pqf", after).Ok);
        ASSERT_TRUE(WriteFileAtomically(dir / "new.pqf", after).Ok);
        const std::vector<WriteStep>& s = g_seam.Steps;
        const auto at = [&](WriteStep step, std::size_t from) {
            return std::size_t(std::find(s.begin() + std::ptrdiff_t(from), s.end(), step) - s.begin());
        };
        // The existing target: write, flush, (link,) rename; the new one: write, flush, name.
        const std::size_t sync1 = at(WriteStep::Sync, 0), rename1 = at(WriteStep::Rename, 0);
        ASSERT_LT(rename1, s.size());
        EXPECT_LT(at(WriteStep::Write, 0), sync1);
        EXPECT_LT(sync1, rename1);
        if (unnamed) {
            EXPECT_LT(sync1, at(WriteStep::Link, 0));
        }
        const std::size_t sync2 = at(WriteStep::Sync, rename1 + 1);
        const std::size_t named2 = at(unnamed ? WriteStep::Link : WriteStep::Rename, rename1 + 1);
        EXPECT_LT(sync2, named2);
        EXPECT_LT(named2, s.size());
        EXPECT_EQ(test::ReadBytes(dir / "old.pqf"), after);
        EXPECT_EQ(test::ReadBytes(dir / "new.pqf"), after);
        fs::remove(dir / "new.pqf");
    }
}

TEST(AtomicWrite, StepFailingHalfWayKeepsTheOldFileAndLeavesNoTemporary) {
    test::TempDir dir;
    const Bytes before = Pattern(3001, 5), after = Pattern(70001, 6);
    for (bool unnamed : {true, false}) {
        SCOPED_TRACE(unnamed ? "unnamed temporary" : "named temporary");
        test::WriteBytes(dir / "t.pqf", before);
        {
            SeamScope seam(unnamed);
            g_seam.FailWriteAfter = after.size() / 2;
            ReplacingWriter writer(dir / "t.pqf");
            EXPECT_EQ(writer.Write(after), ENOSPC);
            EXPECT_EQ(g_seam.Written, after.size() / 2);   // it did stop half-way
            EXPECT_EQ(Entries(dir.Path()), std::vector<std::string>{"t.pqf"});
        }
        for (WriteStep step : {WriteStep::Sync, WriteStep::Link, WriteStep::Rename}) {
            if (step == WriteStep::Link && !unnamed) continue;
            SeamScope seam(unnamed);
            g_seam.FailStep = step;
            g_seam.FailErr = EIO;
            ReplacingWriter writer(dir / "t.pqf");
            const int err = writer.Write(after);
            EXPECT_EQ(err == 0 ? writer.Commit() : err, EIO);
            EXPECT_EQ(Entries(dir.Path()), std::vector<std::string>{"t.pqf"});
        }
        EXPECT_EQ(test::ReadBytes(dir / "t.pqf"), before);
    }
}

// The pipes of a child process holding a temporary file for the cleaner test.
int g_toParent = -1, g_toChild = -1;

// Tells the parent the file is there, then waits until it may die, and dies without cleaning.
[[noreturn]] void HoldThenDie() {
    char c = 1;
    (void)!::write(g_toParent, &c, 1);
    (void)!::read(g_toChild, &c, 1);
    _exit(0);
}

int HoldAtRename(WriteStep step, std::size_t&) {
    if (step == WriteStep::Rename) HoldThenDie();
    return 0;
}

int NoUnnamedFiles(WriteStep step, std::size_t&) { return step == WriteStep::CreateUnnamed ? EOPNOTSUPP : 0; }

struct Holder {
    pid_t Pid = -1;
    int ToChild = -1;
};

// A child writing `target`: held with its named temporary file written, or with its unnamed
// one linked under a temporary name just before the rename.
Holder StartHolder(const fs::path& target, bool unnamed) {
    int up[2], down[2];
    if (::pipe(up) != 0 || ::pipe(down) != 0) return {};
    const pid_t pid = ::fork();
    if (pid == 0) {
        g_toParent = up[1];
        g_toChild = down[0];
        SetWriteStepHook(unnamed ? HoldAtRename : NoUnnamedFiles);
        ReplacingWriter writer(target);
        if (writer.Write(Pattern(4099, 9)) != 0) _exit(1);
        if (!unnamed) HoldThenDie();
        writer.Commit();
        _exit(1);
    }
    ::close(up[1]);
    ::close(down[0]);
    char c = 0;
    if (::read(up[0], &c, 1) != 1) ADD_FAILURE() << "the child did not reach its temporary file";
    ::close(up[0]);
    return Holder{pid, down[1]};
}

void Release(const Holder& h) {
    // A byte, not just the end of the pipe: a later child holds a copy of its writing end.
    const char c = 1;
    (void)!::write(h.ToChild, &c, 1);
    ::close(h.ToChild);
    int status = 0;
    ::waitpid(h.Pid, &status, 0);
}

TEST(AtomicWrite, CleanerRemovesOnlyTemporaryFilesNoLivingWriterHolds) {
    test::TempDir dir;
    test::WriteBytes(dir / "b.pqf", Pattern(301, 7));
    test::WriteBytes(dir / ".pqtmp-dead01", Pattern(17, 8));   // its writer died
    test::WriteBytes(dir / "victim", Pattern(19, 8));
    fs::create_symlink("victim", dir / ".pqtmp-link01");
    fs::create_directory(dir / ".pqtmp-fold01");
    const Holder named = StartHolder(dir / "a.pqf", false);
    const Holder linked = StartHolder(dir / "b.pqf", true);
    std::vector<std::string> held;
    for (const std::string& n : Entries(dir.Path()))
        if (n.rfind(kTempFilePrefix, 0) == 0 && n.size() == 13 && n.substr(7, 4) != "dead" && n.substr(7, 4) != "link" &&
            n.substr(7, 4) != "fold")
            held.push_back(n);
    ASSERT_EQ(held.size(), 2u);

    RemoveStaleTempFiles(dir.Path());
    std::vector<std::string> expected{".pqtmp-fold01", ".pqtmp-link01", "b.pqf", "victim", held[0], held[1]};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(Entries(dir.Path()), expected);

    // Dead, their files are leftovers like any other.
    Release(named);
    Release(linked);
    RemoveStaleTempFiles(dir.Path());
    EXPECT_EQ(Entries(dir.Path()), (std::vector<std::string>{".pqtmp-fold01", ".pqtmp-link01", "b.pqf", "victim"}));
    EXPECT_EQ(test::ReadBytes(dir / "b.pqf"), Pattern(301, 7));

    // The settings folder is cleaned when an instance takes it, and so is the folder it keeps
    // for a dead instance's snapshots.
    test::TempDir settings;
    const fs::path kept = settings / (std::string(kPrivateFolderPrefix) + "dead01");
    fs::create_directory(kept);
    test::WriteBytes(kept / kSnapshotLockName, {});
    test::WriteBytes(kept / "img1no0", Pattern(33, 1));
    test::WriteBytes(kept / ".pqtmp-dead02", Pattern(33, 2));
    test::WriteBytes(settings / ".pqtmp-dead03", Pattern(33, 3));
    {
        SnapshotFolder owner(settings.Path());
        EXPECT_FALSE(fs::exists(settings / ".pqtmp-dead03"));
        EXPECT_EQ(Entries(kept), (std::vector<std::string>{"img1no0", kSnapshotLockName}));
    }
}

// Run as an ordinary user (root passes every permission check): ReplacingWriter's errno.
int WriteAsUser(const fs::path& path, const Bytes& bytes, uid_t uid) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setgid(uid) != 0 || ::setuid(uid) != 0) _exit(250);
        ReplacingWriter writer(path);
        int err = writer.Write(bytes);
        if (err == 0) err = writer.Commit();
        _exit(err);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(AtomicWrite, FileInAFolderWithoutWritePermissionIsRewrittenInPlace) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to mount a small file system and act as another user";
    test::SmallFileSystem small(256 << 10);
    ASSERT_TRUE(small.Mounted());
    const uid_t user = 65534;
    const fs::path folder = small / "ro", file = folder / "doc.pqf";
    fs::create_directory(folder);
    test::WriteBytes(file, Pattern(3001, 1));
    ASSERT_EQ(::chown(folder.c_str(), user, user), 0);
    ASSERT_EQ(::chown(file.c_str(), user, user), 0);
    ::chmod(file.c_str(), 0640);
    ::chmod(folder.c_str(), 0555);

    // Shorter, then longer than what is there: exactly the new bytes, same inode and mode.
    struct stat st0 {}, st {};
    ::stat(file.c_str(), &st0);
    EXPECT_EQ(WriteAsUser(file, Pattern(1201, 2), user), 0);
    EXPECT_EQ(test::ReadBytes(file), Pattern(1201, 2));
    EXPECT_EQ(WriteAsUser(file, Pattern(5003, 3), user), 0);
    EXPECT_EQ(test::ReadBytes(file), Pattern(5003, 3));
    ::stat(file.c_str(), &st);
    EXPECT_EQ(st.st_ino, st0.st_ino);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    // A full disk is found before the old content is touched.
    small.FillLeaving(16 << 10);
    EXPECT_EQ(WriteAsUser(file, Pattern(100001, 4), user), ENOSPC);
    EXPECT_EQ(test::ReadBytes(file), Pattern(5003, 3));
    // A new file cannot be made there at all.
    EXPECT_EQ(WriteAsUser(folder / "new.pqf", Pattern(11, 5), user), EACCES);
    EXPECT_EQ(Entries(folder), std::vector<std::string>{"doc.pqf"});
}

}  // namespace
}  // namespace pq
