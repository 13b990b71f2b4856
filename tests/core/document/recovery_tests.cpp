#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "core/document/document.h"
#include "core/document/history.h"
#include "core/document/recovery.h"
#include "core/document/recovery_note.h"
#include "core/document/snapshot_folder.h"
#include "support/test_paths.h"

namespace fs = std::filesystem;

namespace pq {
namespace {

using Bytes = std::vector<uint8_t>;
using test::ReadBytes;
using test::WriteBytes;

Bytes State(const Document& d) { return EncodeSnapshot(d, ""); }

// Every file under a folder with its bytes: what "left alone" means.
std::map<std::string, Bytes> Contents(const fs::path& folder) {
    std::map<std::string, Bytes> all;
    for (const auto& e : fs::recursive_directory_iterator(folder))
        if (e.is_regular_file()) all[fs::relative(e.path(), folder).string()] = ReadBytes(e.path());
    return all;
}

// The folder a dead instance leaves: its lock file exists but nobody holds it.
fs::path DeadFolder(const fs::path& settings, const std::string& suffix) {
    const fs::path dir = settings / (std::string(kPrivateFolderPrefix) + suffix);
    fs::create_directories(dir);
    WriteBytes(dir / kSnapshotLockName, {});
    return dir;
}

// A window that records a base step and then `steps` edits (each paints one more pixel), then
// undoes `undos` of them; returns the document's state after every step.
std::vector<Bytes> RecordWindow(const HistoryContext& ctx, int steps, int undos, Document* out = nullptr) {
    Document doc;
    InitBlankDocument(doc, 3, 2, 16, 20);
    std::vector<Bytes> states;
    EXPECT_TRUE(RecordStep(doc, ctx, " ", false).Ok);
    states.push_back(State(doc));
    for (int i = 0; i < steps; ++i) {
        doc.Current().Indices[std::size_t(i)] = uint8_t(i + 1);
        doc.Current().Mask[std::size_t(i)] = 1;
        EXPECT_TRUE(RecordStep(doc, ctx, "ステップ" + std::to_string(i + 1), false).Ok);
        states.push_back(State(doc));
    }
    for (int i = 0; i < undos; ++i) EXPECT_TRUE(RestoreStep(doc, ctx, false).Ok);
    if (out) *out = doc;
    return states;
}

const LostDocument* Find(const LostDocuments& lost, int window) {
    for (const LostDocument& d : lost.Documents())
        if (d.WindowNumber == window) return &d;
    return nullptr;
}

TEST(RecoveryNote, RoundTripAndEveryDamagedFormRefused) {
    const RecoveryNote note{7, 3, 1, 5, WindowLabel{"Icon7", "/home/u/絵.pqf"}};
    const Bytes good = EncodeRecoveryNote(note);
    const auto back = DecodeRecoveryNote(good);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->WindowNumber, 7);
    EXPECT_EQ(back->HistoryPosition, 3);
    EXPECT_EQ(back->RedoCount, 1);
    EXPECT_EQ(back->SnapshotCount, 5);
    EXPECT_EQ(back->Label.Caption, "Icon7");
    EXPECT_EQ(back->Label.FileName, "/home/u/絵.pqf");

    for (std::size_t n = 0; n < good.size(); ++n)
        EXPECT_FALSE(DecodeRecoveryNote(Bytes(good.begin(), good.begin() + long(n)))) << "cut at " << n;
    Bytes longer = good;
    longer.push_back(0);
    EXPECT_FALSE(DecodeRecoveryNote(longer));
    // Counters that make no history, a text length beyond the file or the limit, another version.
    const std::vector<std::pair<std::size_t, int32_t>> damages = {
        {4, 2}, {12, 0}, {16, -1}, {20, 3}, {24, -1}, {24, 1 << 30}, {24, int32_t(kNoteTextLimit) + 1}};
    for (const auto& [at, value] : damages) {
        Bytes b = good;
        for (int i = 0; i < 4; ++i) b[at + std::size_t(i)] = uint8_t(uint32_t(value) >> (8 * i));
        EXPECT_FALSE(DecodeRecoveryNote(b)) << "offset " << at << " = " << value;
    }
}

TEST(RecoveryNote, FollowsTheCountersOfALabelledWindowOnly) {
    test::TempDir dir;
    const HistoryContext labelled{dir.Path(), 4, true, WindowLabel{"Icon4", ""}};
    Document doc;
    RecordWindow(labelled, 2, 1, &doc);
    auto note = DecodeRecoveryNote(ReadBytes(NotePath(labelled)));
    ASSERT_TRUE(note);
    EXPECT_EQ(std::tie(note->HistoryPosition, note->RedoCount, note->SnapshotCount), std::tuple(2, 1, 3));
    ASSERT_TRUE(RestoreStep(doc, labelled, true).Ok);
    note = DecodeRecoveryNote(ReadBytes(NotePath(labelled)));
    EXPECT_EQ(std::tie(note->HistoryPosition, note->RedoCount), std::tuple(3, 0));
    ASSERT_TRUE(RecordStep(doc, labelled, "", true).Ok);   // memory clear
    note = DecodeRecoveryNote(ReadBytes(NotePath(labelled)));
    EXPECT_EQ(std::tie(note->HistoryPosition, note->RedoCount, note->SnapshotCount), std::tuple(1, 0, 1));
    ClearHistory(doc, labelled);
    EXPECT_FALSE(fs::exists(NotePath(labelled)));

    const HistoryContext plain{dir.Path(), 5, true};
    RecordWindow(plain, 1, 0);
    EXPECT_FALSE(fs::exists(NotePath(plain)));
}

// Two live instances (the owner of the settings folder and one in a private folder) and a dead
// one with a good document, one with a damaged note and one whose current snapshot is cut.
class Recovery : public ::testing::Test {
protected:
    test::TempDir settings;
    SnapshotFolder owner{settings.Path()};
    SnapshotFolder second{settings.Path()};
    fs::path dead = DeadFolder(settings.Path(), "dead01");
    Document lostDoc;
    std::vector<Bytes> lostStates;

    void SetUp() override {
        RecordWindow(HistoryContext{owner.Path(), 1, true, WindowLabel{"Icon1", ""}}, 2, 0);
        RecordWindow(HistoryContext{second.Path(), 1, true, WindowLabel{"Icon1", ""}}, 1, 0);
        lostStates = RecordWindow(HistoryContext{dead, 2, true, WindowLabel{"/tmp/a.pqf", "/tmp/a.pqf"}}, 3, 1, &lostDoc);
        RecordWindow(HistoryContext{dead, 5, true, WindowLabel{"Icon5", ""}}, 1, 0);
        WriteBytes(dead / NoteFileName(5), {'P', 'Q', 'R', 'N', 9});
        RecordWindow(HistoryContext{dead, 7, true, WindowLabel{"Icon7", ""}}, 2, 0);
        Bytes cut = ReadBytes(dead / "img7no2");
        cut.resize(cut.size() - 1);
        WriteBytes(dead / "img7no2", cut);
    }
};

TEST_F(Recovery, OnlyTheDeadInstanceIsOfferedAndLiveFoldersStayUntouched) {
    const auto ownerBefore = Contents(owner.Path());
    const auto secondBefore = Contents(second.Path());
    {
        LostDocuments lost(settings.Path());
        ASSERT_EQ(lost.Documents().size(), 3u);
        for (const LostDocument& d : lost.Documents()) EXPECT_EQ(d.Folder, dead);
        const LostDocument* good = Find(lost, 2);
        ASSERT_TRUE(good && good->Recoverable && good->HistoryIntact);
        EXPECT_EQ(good->Note.Label.Caption, "/tmp/a.pqf");
        EXPECT_EQ(good->Note.Label.FileName, "/tmp/a.pqf");
        EXPECT_EQ(std::tie(good->Width, good->Height, good->ColorCount, good->Steps), std::tuple(3, 2, 16, 2));
        EXPECT_GT(good->Time, 0);
        EXPECT_FALSE(Find(lost, 5)->Recoverable);
        EXPECT_FALSE(Find(lost, 7)->Recoverable);
        EXPECT_EQ(Find(lost, 7)->Note.Label.Caption, "Icon7");
        // While claimed, a second start sees nothing to offer.
        EXPECT_TRUE(LostDocuments(settings.Path()).Documents().empty());
    }
    EXPECT_EQ(Contents(owner.Path()), ownerBefore);
    EXPECT_EQ(Contents(second.Path()), secondBefore);
    // Neither restored nor discarded: offered again at the next start.
    EXPECT_EQ(LostDocuments(settings.Path()).Documents().size(), 3u);
}

TEST_F(Recovery, RestoreGivesTheShownStateWithItsHistoryAndDiscardDeletes) {
    test::TempDir mine;
    const HistoryContext ctx{mine.Path(), 9, true, WindowLabel{"/tmp/a.pqf", "/tmp/a.pqf"}};
    {
        LostDocuments lost(settings.Path());
        const LostDocument& d = *Find(lost, 2);
        Document doc;
        ASSERT_TRUE(lost.Load(d, doc, 20).Ok);
        EXPECT_EQ(State(doc), lostStates[2]);
        EXPECT_EQ(State(doc), State(lostDoc));
        // The new window records its base step first, as every opened document does.
        ASSERT_TRUE(RecordStep(doc, ctx, " ", false).Ok);

        // A window whose folder is gone: the lost files stay where they were.
        const auto deadBefore = Contents(dead);
        Document other = doc;
        EXPECT_FALSE(lost.Adopt(d, other, HistoryContext{mine / "gone", 9, true}).Ok);
        EXPECT_EQ(other.HistoryPosition, 1);
        EXPECT_EQ(Contents(dead), deadBefore);

        ASSERT_TRUE(lost.Adopt(d, doc, ctx).Ok);
        EXPECT_EQ(std::tie(doc.HistoryPosition, doc.RedoCount, doc.SnapshotCount), std::tuple(3, 1, 4));
        EXPECT_EQ(ComputeEditMenu(doc, ctx).UndoCaption, "元に戻す(&U) - ステップ2");
        EXPECT_EQ(ComputeEditMenu(doc, ctx).RedoCaption, "やり直し(&R) - ステップ3");
        ASSERT_TRUE(RestoreStep(doc, ctx, true).Ok);
        EXPECT_EQ(State(doc), lostStates[3]);
        for (int k = 2; k >= 0; --k) {
            ASSERT_TRUE(RestoreStep(doc, ctx, false).Ok);
            EXPECT_EQ(State(doc), lostStates[std::size_t(k)]);
        }
        const auto note = DecodeRecoveryNote(ReadBytes(NotePath(ctx)));
        ASSERT_TRUE(note);
        EXPECT_EQ(std::tie(note->WindowNumber, note->HistoryPosition, note->RedoCount), std::tuple(9, 1, 3));

        lost.Discard(*Find(lost, 5));
        EXPECT_EQ(Contents(dead).size(), 5u);   // the lock, window 7's three snapshots and note
        lost.Discard(*Find(lost, 7));
    }
    EXPECT_FALSE(fs::exists(dead));
}

TEST_F(Recovery, AHistoryWithAMissingSnapshotRestoresTheShownStateAlone) {
    fs::remove(dead / "img2no0");
    test::TempDir mine;
    const HistoryContext ctx{mine.Path(), 1, true, WindowLabel{"x", ""}};
    LostDocuments lost(settings.Path());
    const LostDocument& d = *Find(lost, 2);
    ASSERT_TRUE(d.Recoverable);
    EXPECT_FALSE(d.HistoryIntact);
    EXPECT_EQ(d.Steps, 0);
    Document doc;
    ASSERT_TRUE(lost.Load(d, doc, 20).Ok);
    ASSERT_TRUE(RecordStep(doc, ctx, " ", false).Ok);
    ASSERT_TRUE(lost.Adopt(d, doc, ctx).Ok);
    EXPECT_EQ(std::tie(doc.HistoryPosition, doc.RedoCount), std::tuple(1, 0));
    Document base;
    ASSERT_TRUE(DecodeSnapshot(ReadBytes(SnapshotPath(ctx, 0)), base));
    EXPECT_EQ(State(base), lostStates[2]);
}

}  // namespace
}  // namespace pq
