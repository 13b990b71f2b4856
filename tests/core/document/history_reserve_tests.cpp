// The disk-space reserve of the undo history: its size follows the open windows' snapshots, a
// full disk hands it over to the waiting steps, and a kill right then loses none of them.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

#include "core/document/document.h"
#include "core/document/history.h"
#include "core/document/history_reserve.h"
#include "core/document/recovery.h"
#include "core/document/snapshot_folder.h"
#include "support/small_fs.h"
#include "support/test_paths.h"

namespace fs = std::filesystem;

namespace pq {
namespace {

// Bytes really allocated to a file (a sparse file would hand nothing back).
std::uint64_t Allocated(const fs::path& p) {
    struct stat st {};
    return ::lstat(p.c_str(), &st) == 0 ? std::uint64_t(st.st_blocks) * 512 : 0;
}

Document Blank(int w, int h, int layers = 1) {
    Document d;
    InitBlankDocument(d, w, h, 16, 1);
    for (int i = 1; i < layers; ++i) d.AppendLayer();
    return d;
}

std::uint64_t SnapshotSize(const Document& d, const std::string& step = " ") { return EncodeSnapshot(d, step).size(); }

TEST(HistoryReserve, HoldsTheTwoLargestSnapshotsOfTheOpenWindowsAndGoesWithItsInstance) {
    test::TempDir settings;
    const fs::path file = settings / kReserveFileName;
    auto folder = std::make_unique<SnapshotFolder>(settings.Path());
    HistoryReserve* reserve = HistoryReserve::For(folder->Path());
    ASSERT_NE(reserve, nullptr);
    EXPECT_FALSE(fs::exists(file));   // made when the first window records its base step

    // Small windows: the 4 MB floor, allocated, not sparse.
    Document small = Blank(5, 3);
    ASSERT_TRUE(RecordStep(small, HistoryContext{folder->Path(), 1, true}, " ", false).Ok);
    EXPECT_EQ(reserve->Held(), kMinReserveBytes);
    EXPECT_GE(Allocated(file), kMinReserveBytes);

    // Two large windows, not square: the two largest snapshots, whichever windows wrote them.
    Document wide = Blank(1200, 700);        // about 3.4 MB a snapshot
    Document tall = Blank(300, 1100, 3);     // about 2.6 MB
    const HistoryContext wideCtx{folder->Path(), 2, true}, tallCtx{folder->Path(), 3, true};
    ASSERT_TRUE(RecordStep(wide, wideCtx, " ", false).Ok);
    ASSERT_TRUE(RecordStep(tall, tallCtx, " ", false).Ok);
    EXPECT_EQ(reserve->Held(), SnapshotSize(wide) + SnapshotSize(tall));
    tall.AppendLayer();
    ASSERT_TRUE(RecordStep(tall, tallCtx, "レイヤの追加", false).Ok);
    const std::uint64_t tallBigger = SnapshotSize(tall, "レイヤの追加");
    EXPECT_EQ(reserve->Held(), SnapshotSize(wide) + tallBigger);
    EXPECT_GE(Allocated(file), reserve->Held());

    // The wide window closes: the reserve shrinks to the tall window's two snapshots.
    ClearHistory(wide, wideCtx);
    tall.RemoveLayer(3);
    EXPECT_EQ(reserve->Held(), tallBigger + SnapshotSize(tall));

    // A clean exit leaves no reserve behind.
    folder.reset();
    EXPECT_FALSE(fs::exists(file));
    EXPECT_EQ(HistoryReserve::For(settings.Path()), nullptr);
}

TEST(HistoryReserve, TheReserveOfADeadInstanceIsRemovedByTheNextOwnerAndInKeptFolders) {
    test::TempDir settings;
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        // Two instances with a window each, ending without cleaning up.
        auto* first = new SnapshotFolder(settings.Path());
        auto* second = new SnapshotFolder(settings.Path());
        Document a = Blank(4, 3), b = Blank(2, 7);
        RecordStep(a, HistoryContext{first->Path(), 1, true}, " ", false);
        RecordStep(b, HistoryContext{second->Path(), 1, true}, " ", false);
        _exit(fs::exists(second->Path() / kReserveFileName) && fs::exists(first->Path() / kReserveFileName) ? 0 : 1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    SnapshotFolder next(settings.Path());
    int reserves = 0, snapshots = 0;
    for (const auto& e : fs::recursive_directory_iterator(settings.Path())) {
        reserves += e.path().filename() == kReserveFileName;
        snapshots += e.path().filename() == "img1no0";
    }
    EXPECT_EQ(reserves, 0);
    EXPECT_EQ(snapshots, 2);   // both windows wait for recovery
}

// What the child of the kill test reports through its pipe.
struct KilledRun {
    int Position = 0;           // the counters when it was killed
    int Kept = 0;               // steps shown on the canvas but kept in memory
    bool SaidReserve = false;   // the step that took the reserve said so
    bool SaidAtRisk = false;    // the step that no longer fitted counted the steps at risk
};

TEST(HistoryReserve, AFullDiskTakesTheReserveAndAKillThenLosesNoStepThatFitted) {
    test::SmallFileSystem small(16 << 20);
    if (!small.Mounted()) GTEST_SKIP() << "mounting a small file system needs root";
    const fs::path settings = small / "setting";
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        ::close(fds[0]);
        auto* folder = new SnapshotFolder(settings);
        const HistoryContext ctx{folder->Path(), 1, true, WindowLabel{"Icon1", ""}};
        Document doc = Blank(301, 203);   // about 246 kB a snapshot
        KilledRun run;
        RecordStep(doc, ctx, " ", false);
        small.FillLeaving(0);
        for (int i = 1; i <= 40 && run.Kept < 2; ++i) {
            doc.LayerAt(0).Indices[std::size_t(i)] = uint8_t(i % 16);
            doc.LayerAt(0).Mask[std::size_t(i)] = 1;
            const HistoryResult r = RecordStep(doc, ctx, "筆" + std::to_string(i), false);
            if (r.Warning.find("予備に確保していた領域を使って") != std::string::npos) run.SaidReserve = true;
            if (r.Message.find("まだ記録できていない操作が 1 手順あります。") != std::string::npos) run.SaidAtRisk = true;
            run.Kept = int(doc.Journal.Pending.size());
        }
        run.Position = doc.HistoryPosition;
        (void)!::write(fds[1], &run, sizeof run);
        ::raise(SIGKILL);
    }
    ::close(fds[1]);
    KilledRun run;
    ASSERT_EQ(::read(fds[0], &run, sizeof run), ssize_t(sizeof run));
    ::close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_TRUE(run.SaidReserve);
    EXPECT_TRUE(run.SaidAtRisk);
    EXPECT_EQ(run.Kept, 2);
    // The 4 MB reserve took more than a dozen steps that would otherwise have waited in memory.
    EXPECT_GT(run.Position, 14);

    // The next start (on the still full disk) offers every step that was written.
    SnapshotFolder next(settings);
    LostDocuments lost(settings);
    ASSERT_EQ(lost.Documents().size(), 1u);
    const LostDocument& d = lost.Documents()[0];
    ASSERT_TRUE(d.Recoverable);
    EXPECT_EQ(d.Steps, run.Position - 1);
    EXPECT_EQ(d.Current, run.Position - 1);
    Document back;
    ASSERT_TRUE(lost.Load(d, back, 1).Ok);
    const int last = run.Position - 1;
    EXPECT_EQ(back.LayerAt(0).Mask[std::size_t(last)], 1);
    EXPECT_EQ(back.LayerAt(0).Mask[std::size_t(last + 1)], 0);
}

}  // namespace
}  // namespace pq
