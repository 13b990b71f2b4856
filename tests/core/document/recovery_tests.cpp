#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <map>
#include <set>

#include "core/document/document.h"
#include "core/document/history.h"
#include "core/document/recovery.h"
#include "core/document/recovery_note.h"
#include "core/document/history_reserve.h"
#include "core/document/history_snapshot.h"
#include "core/document/snapshot_folder.h"
#include "core/formats/settings_files.h"
#include "support/test_paths.h"

#include <cstdio>
#include <fstream>

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
    // An announced step travels with the note; a note of the first version has none.
    RecoveryNote announcing = note;
    announcing.Intent = NoteIntent{1234, 0xFEDCBA9876543210ull, 4, 0, 6};
    EXPECT_EQ(DecodeRecoveryNote(EncodeRecoveryNote(announcing))->Intent, announcing.Intent);
    Bytes first(good.begin(), good.end() - 13);   // without the byte and the set fields
    first[4] = 1;
    ASSERT_TRUE(DecodeRecoveryNote(first));
    EXPECT_FALSE(DecodeRecoveryNote(first)->Intent);
    // Counters that make no history, a text length beyond the file or the limit, another version.
    const std::vector<std::pair<std::size_t, int32_t>> damages = {
        {4, 4}, {12, 0}, {16, -1}, {20, 3}, {24, -1}, {24, 1 << 30}, {24, int32_t(kNoteTextLimit) + 1}};
    for (const auto& [at, value] : damages) {
        Bytes b = good;
        for (int i = 0; i < 4; ++i) b[at + std::size_t(i)] = uint8_t(uint32_t(value) >> (8 * i));
        EXPECT_FALSE(DecodeRecoveryNote(b)) << "offset " << at << " = " << value;
    }
}

TEST(RecoveryNote, CarriesAPagesSetFieldsAndReadsAVersion2NoteAsAnOrdinaryWindow) {
    RecoveryNote page{11, 2, 1, 4, WindowLabel{"Icon3", "/x/set.pqf", 3, 2, 2}};
    page.Intent = NoteIntent{77, 0x0123456789ABCDEFull, 3, 0, 4};
    const Bytes v3 = EncodeRecoveryNote(page);
    const auto back = DecodeRecoveryNote(v3);
    ASSERT_TRUE(back);
    EXPECT_EQ(std::tie(back->Label.SetWindow, back->Label.PageIndex, back->Label.PageKind), std::tuple(3, 2, 2));
    EXPECT_EQ(back->Intent, page.Intent);
    // The set fields end the note: SetWindow, PageIndex, PageKind.
    for (const auto& [fromEnd, value] : {std::pair(12, -1), std::pair(8, -1), std::pair(4, 3), std::pair(4, -1)}) {
        Bytes b = v3;
        for (int i = 0; i < 4; ++i) b[b.size() - std::size_t(fromEnd - i)] = uint8_t(uint32_t(value) >> (8 * i));
        EXPECT_FALSE(DecodeRecoveryNote(b)) << fromEnd << " from the end = " << value;
    }
    test::TempDir dir;
    const HistoryContext badKind{dir.Path(), 11, true, WindowLabel{"Icon3", "", 3, 0, 3}};
    EXPECT_EQ(WriteRecoveryNote(Document{}, badKind), EINVAL);
    EXPECT_FALSE(fs::exists(NotePath(badKind)));

    Bytes v2(v3.begin(), v3.end() - 12);
    v2[4] = 2;
    const auto old = DecodeRecoveryNote(v2);
    ASSERT_TRUE(old);
    EXPECT_EQ(old->Intent, page.Intent);
    EXPECT_EQ(old->Label.FileName, "/x/set.pqf");
    EXPECT_EQ(std::tie(old->Label.SetWindow, old->Label.PageIndex, old->Label.PageKind), std::tuple(0, 0, 0));
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

LostDocument Page(const fs::path& folder, int window, int setWindow, int pageIndex) {
    LostDocument d;
    d.Folder = folder;
    d.WindowNumber = window;
    d.Note.Label.SetWindow = setWindow;
    d.Note.Label.PageIndex = pageIndex;
    return d;
}

TEST(LostDocumentGroups, PagesOfOneSetInOneFolderGoTogetherInPageOrder) {
    using Groups = std::vector<std::vector<std::size_t>>;
    // Two dead instances each left a set with window number 4; ordinary windows stay alone.
    const std::vector<LostDocument> docs = {
        Page("/s/a", 1, 0, 0), Page("/s/b", 5, 4, 1), Page("/s/a", 9, 4, 1), Page("/s/a", 6, 4, 2),
        Page("/s/b", 7, 4, 0), Page("/s/a", 2, 0, 0), Page("/s/a", 3, 4, 1), Page("/s/a", 8, 4, 0),
    };
    EXPECT_EQ(LostDocumentGroups(docs), (Groups{{0}, {4, 1}, {7, 6, 2, 3}, {5}}));
    EXPECT_TRUE(LostDocumentGroups({}).empty());
}

TEST(LostDocumentGroups, ASetsPagesLeftByADeadInstanceComeBackWholeAndInOrder) {
    test::TempDir settings;
    const fs::path dead = DeadFolder(settings.Path(), "set01");
    // Set window 3: page 0 is window 8, page 1 window 6, page 2 window 4; window 5 is ordinary.
    // Page 1's caption and file name are as long as a note holds.
    const std::string longText(kNoteTextLimit + 5, 'n');
    RecordWindow(HistoryContext{dead, 8, true, WindowLabel{"Icon3", "/x/set.pqf", 3, 0, 1}}, 1, 0);
    RecordWindow(HistoryContext{dead, 6, true, WindowLabel{longText, longText, 3, 1, 0}}, 2, 0);
    RecordWindow(HistoryContext{dead, 4, true, WindowLabel{"Icon3", "/x/set.pqf", 3, 2, 2}}, 3, 1);
    RecordWindow(HistoryContext{dead, 5, true, WindowLabel{"Icon5", ""}}, 1, 0);
    LostDocuments lost(settings.Path());
    const std::vector<LostDocument>& docs = lost.Documents();
    const auto groups = LostDocumentGroups(docs);
    ASSERT_EQ(groups.size(), 2u);
    ASSERT_EQ(groups[0].size(), 3u);
    for (int page = 0; page < 3; ++page) {
        const LostDocument& d = docs[groups[0][std::size_t(page)]];
        EXPECT_TRUE(d.Recoverable) << page;
        EXPECT_EQ(std::tie(d.WindowNumber, d.Steps, d.Note.Label.PageIndex, d.Note.Label.PageKind),
                  std::tuple(8 - 2 * page, page + 1, page, (1 + 2 * page) % 3));
    }
    EXPECT_EQ(docs[groups[0][1]].Note.Label.FileName.size(), kNoteTextLimit);
    ASSERT_EQ(groups[1].size(), 1u);
    EXPECT_EQ(docs[groups[1][0]].WindowNumber, 5);
}

TEST(RecoveryNote, CarriesASetsPageCountAndOpeningMarkAndStillReadsVersion3) {
    RecoveryNote page{12, 1, 0, 1, WindowLabel{"Icon4", "/x/big.ico", 4, 7, 0, 60, true}};
    page.Intent = NoteIntent{55, 0x1122334455667788ull, 1, 0, 1};
    const Bytes v4 = EncodeRecoveryNote(page);
    EXPECT_EQ(v4[4], 4);
    const auto back = DecodeRecoveryNote(v4);
    ASSERT_TRUE(back);
    EXPECT_EQ(std::tie(back->Label.SetWindow, back->Label.PageIndex, back->Label.SetPages, back->Label.SetOpening),
              std::tuple(4, 7, 60, true));
    EXPECT_EQ(back->Intent, page.Intent);
    for (std::size_t n = 0; n < v4.size(); ++n)
        EXPECT_FALSE(DecodeRecoveryNote(Bytes(v4.begin(), v4.begin() + long(n)))) << "cut at " << n;
    // The page count and the opening byte end the note: a negative count or a byte other than
    // 0 and 1 is damage.
    Bytes negative = v4;
    for (int i = 0; i < 4; ++i) negative[negative.size() - 5 + std::size_t(i)] = 0xFF;
    EXPECT_FALSE(DecodeRecoveryNote(negative));
    Bytes mark = v4;
    mark.back() = 2;
    EXPECT_FALSE(DecodeRecoveryNote(mark));
    test::TempDir dir;
    EXPECT_EQ(WriteRecoveryNote(Document{}, HistoryContext{dir.Path(), 12, true, WindowLabel{"Icon4", "", 4, 0, 0, -2}}),
              EINVAL);

    // A note of the version before: a page of a set whose page count is not known.
    Bytes v3(v4.begin(), v4.end() - 5);
    v3[4] = 3;
    const auto old = DecodeRecoveryNote(v3);
    ASSERT_TRUE(old);
    EXPECT_EQ(std::tie(old->Label.SetWindow, old->Label.PageIndex, old->Label.SetPages, old->Label.SetOpening),
              std::tuple(4, 7, 0, false));
    // Without a page count or the mark the note stays in the version before, as older readers expect.
    page.Label.SetPages = 0;
    page.Label.SetOpening = false;
    EXPECT_EQ(EncodeRecoveryNote(page), v3);
}

// A set of `pages` pages in set window 20 (history numbers 30 + page), as the editor writes one
// while it opens: every base step marked as opening. `edited` pages then get one step each,
// which rewrites their notes without the mark. Pages in `missing` never reach the disk.
void LeaveSet(const fs::path& folder, int pages, const std::set<int>& missing, const std::set<int>& edited,
              bool opening = true) {
    for (int i = 0; i < pages; ++i) {
        if (missing.count(i)) continue;
        HistoryContext ctx{folder, 30 + i, true, WindowLabel{"/x/set.ico", "/x/set.ico", 20, i, 0, pages, opening}};
        Document doc;
        InitBlankDocument(doc, 4, 3, 16, 20);
        EXPECT_TRUE(RecordStep(doc, ctx, " ", false).Ok);
        if (!edited.count(i)) continue;
        ctx.Label->SetOpening = false;
        doc.Current().Mask[0] = 1;
        EXPECT_TRUE(RecordStep(doc, ctx, "ブラシツール", false).Ok);
    }
}

std::vector<const LostDocument*> All(const LostDocuments& lost) {
    std::vector<const LostDocument*> all;
    for (const LostDocument& d : lost.Documents()) all.push_back(&d);
    return all;
}

TEST(LostSets, AnOpeningCutShortIsNothingToRecoverAndIsRemoved) {
    test::TempDir settings;
    const fs::path dead = DeadFolder(settings.Path(), "cut01");
    LeaveSet(dead, 5, {1, 4}, {});
    // The window's history from before it became the set stays: the set never got whole.
    RecordWindow(HistoryContext{dead, 20, true, WindowLabel{"Icon20", ""}}, 1, 0);
    {
        LostDocuments lost(settings.Path());
        ASSERT_EQ(lost.Documents().size(), 1u);
        EXPECT_EQ(lost.Documents()[0].WindowNumber, 20);
    }
    for (int page : {0, 2, 3}) EXPECT_FALSE(fs::exists(dead / NoteFileName(30 + page))) << page;
    EXPECT_TRUE(fs::exists(dead / NoteFileName(20)));
}

TEST(LostSets, AWholeSetIsOfferedAndReplacesTheHistoryTheWindowHadBefore) {
    for (const bool opening : {true, false}) {
        test::TempDir settings;
        const fs::path dead = DeadFolder(settings.Path(), "whole01");
        LeaveSet(dead, 4, {}, {}, opening);
        RecordWindow(HistoryContext{dead, 20, true, WindowLabel{"Icon20", ""}}, 0, 0);
        LostDocuments lost(settings.Path());
        const std::vector<const LostDocument*> pages = All(lost);
        ASSERT_EQ(pages.size(), 4u) << opening;
        EXPECT_EQ(LostDocumentGroups(lost.Documents()).size(), 1u);
        EXPECT_EQ(LostSetPages(pages), 4);
        EXPECT_EQ(RecoverablePages(pages), 4);
        EXPECT_FALSE(fs::exists(dead / NoteFileName(20))) << opening;
    }
}

TEST(LostSets, ASetMissingAPageAfterAnEditIsOfferedWithThePagesItHad) {
    test::TempDir settings;
    const fs::path dead = DeadFolder(settings.Path(), "lost01");
    LeaveSet(dead, 6, {3}, {5});
    // The window number of an incomplete set is no proof the ordinary history is superseded.
    RecordWindow(HistoryContext{dead, 20, true, WindowLabel{"Icon20", ""}}, 0, 0);
    LostDocuments lost(settings.Path());
    ASSERT_EQ(lost.Documents().size(), 6u);
    const auto groups = LostDocumentGroups(lost.Documents());
    ASSERT_EQ(groups.size(), 2u);
    // The ordinary window (number 20) comes first, as it was found first.
    EXPECT_EQ(groups[0].size(), 1u);
    std::vector<const LostDocument*> set;
    for (std::size_t i : groups[1]) set.push_back(&lost.Documents()[i]);
    ASSERT_EQ(set.size(), 5u);
    EXPECT_EQ(LostSetPages(set), 6);
    EXPECT_EQ(RecoverablePages(set), 5);
    EXPECT_EQ(set.back()->Steps, 1);
    // Notes of the version before give no count: the pages found are all there is to know.
    std::vector<LostDocument> old(2);
    old[0].Recoverable = old[1].Recoverable = true;
    EXPECT_EQ(LostSetPages({&old[0], &old[1]}), 2);
}

TEST(LostWindows, AWindowAtTheStateItsFileHoldsIsRemovedAndOneBeyondItOffered) {
    test::TempDir settings;
    const fs::path dead = DeadFolder(settings.Path(), "saved01");
    struct Case {
        int Window, Steps, Undos, Saved;
    };
    const Case cases[] = {
        {1, 0, 0, 1},   // opened and never edited
        {2, 2, 2, 1},   // undone back to the file's state: the redo states are no loss
        {3, 2, 1, 3},   // undone from the saved state: offered
        {4, 0, 0, 0},   // a version 1 note (below), no saved position: offered as ever
    };
    for (const Case& c : cases) {
        WindowLabel label{"Icon", "/x/a.pqf"};
        label.SavedPosition = c.Saved;
        RecordWindow(HistoryContext{dead, c.Window, true, label}, c.Steps, c.Undos);
    }
    // An ordinary window's saved position takes version 5 (set fields 0). Version 1 ends after the
    // file name, where version 3 adds the announce byte and three set fields.
    EXPECT_EQ(ReadBytes(dead / NoteFileName(3))[4], 5);
    Bytes v1 = EncodeRecoveryNote(RecoveryNote{4, 1, 0, 1, WindowLabel{"Icon", "/x/a.pqf"}});
    ASSERT_EQ(v1[4], 3);
    v1.resize(v1.size() - 13);
    v1[4] = 1;
    WriteBytes(dead / NoteFileName(4), v1);

    std::set<int> offered;
    {
        const LostDocuments lost(settings.Path());
        for (const LostDocument& d : lost.Documents()) offered.insert(d.WindowNumber);
    }
    EXPECT_EQ(offered, (std::set<int>{3, 4}));
    // A window not offered leaves no file behind.
    std::map<int, int> files;
    for (const auto& e : fs::directory_iterator(dead)) {
        int window = 0, step = 0;
        if (ParseHistoryFileName(e.path().filename().string(), window, step)) ++files[window];
    }
    EXPECT_EQ(files, (std::map<int, int>{{3, 4}, {4, 2}}));
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
        // Three steps, one of them undone: all three count.
        EXPECT_EQ(std::tie(good->Width, good->Height, good->ColorCount, good->Steps), std::tuple(3, 2, 16, 3));
        EXPECT_GT(good->Time, 0);
        EXPECT_FALSE(Find(lost, 5)->Recoverable);
        // Its current snapshot is cut: the newest complete one before it is offered instead.
        const LostDocument* cut = Find(lost, 7);
        EXPECT_TRUE(cut->Recoverable);
        EXPECT_EQ(std::tie(cut->First, cut->Current, cut->Last, cut->Steps), std::tuple(0, 1, 1, 1));
        EXPECT_EQ(cut->Note.Label.Caption, "Icon7");
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

TEST_F(Recovery, AHistoryWithAMissingBaseKeepsTheStepsAroundTheShownState) {
    fs::remove(dead / "img2no0");
    test::TempDir mine;
    const HistoryContext ctx{mine.Path(), 1, true, WindowLabel{"x", ""}};
    LostDocuments lost(settings.Path());
    const LostDocument& d = *Find(lost, 2);
    ASSERT_TRUE(d.Recoverable);
    EXPECT_FALSE(d.HistoryIntact);
    EXPECT_EQ(d.Steps, 2);
    Document doc;
    ASSERT_TRUE(lost.Load(d, doc, 20).Ok);
    ASSERT_TRUE(RecordStep(doc, ctx, " ", false).Ok);
    ASSERT_TRUE(lost.Adopt(d, doc, ctx).Ok);
    EXPECT_EQ(std::tie(doc.HistoryPosition, doc.RedoCount), std::tuple(2, 1));
    Document base;
    ASSERT_TRUE(DecodeSnapshot(ReadBytes(SnapshotPath(ctx, 0)), base));
    EXPECT_EQ(State(base), lostStates[1]);
}

TEST_F(Recovery, AnAdoptionFailingHalfWayKeepsTheNewWindowsBaseAndTheLostFiles) {
    test::TempDir mine;
    const HistoryContext ctx{mine.Path(), 3, true, WindowLabel{"x", ""}};
    LostDocuments lost(settings.Path());
    const LostDocument& d = *Find(lost, 2);
    Document doc;
    ASSERT_TRUE(lost.Load(d, doc, 20).Ok);
    ASSERT_TRUE(RecordStep(doc, ctx, " ", false).Ok);
    const Bytes base = ReadBytes(SnapshotPath(ctx, 0));
    const auto deadBefore = Contents(dead);
    // The new window's name for step 1 is taken by a folder that is not empty.
    fs::create_directories(SnapshotPath(ctx, 1) / "x");
    EXPECT_FALSE(lost.Adopt(d, doc, ctx).Ok);
    EXPECT_EQ(ReadBytes(SnapshotPath(ctx, 0)), base);
    EXPECT_EQ(Contents(dead), deadBefore);
    EXPECT_EQ(std::tie(doc.HistoryPosition, doc.RedoCount, doc.SnapshotCount), std::tuple(1, 0, 1));
}

// Step i of a 5 x 3 window paints one more pixel.
void PaintStep(Document& doc, int i) {
    doc.Current().Indices[std::size_t(2 * i)] = uint8_t(i + 2);
    doc.Current().Mask[std::size_t(2 * i)] = 1;
}

// A window recording a base step and two steps, then killed at `at` while writing its third;
// returns the states after each step, the unfinished third included.
std::vector<Bytes> KilledWindow(const fs::path& folder, StepWritePoint at) {
    Document doc;
    InitBlankDocument(doc, 5, 3, 16, 20);
    std::vector<Bytes> states;
    for (int i = 0; i <= 3; ++i) {
        if (i > 0) PaintStep(doc, i);
        states.push_back(State(doc));
    }
    const pid_t pid = fork();
    if (pid == 0) {
        static StepWritePoint killAt;
        killAt = at;
        const HistoryContext ctx{folder, 4, true, WindowLabel{"Icon4", ""}};
        InitBlankDocument(doc, 5, 3, 16, 20);
        for (int i = 0; i <= 3; ++i) {
            if (i > 0) PaintStep(doc, i);
            if (i == 3) SetStepWriteProbe([](StepWritePoint p) {
                if (p == killAt) ::raise(SIGKILL);
            });
            if (!RecordStep(doc, ctx, i == 0 ? " " : "筆" + std::to_string(i), false).Ok) ::_exit(1);
        }
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
    return states;
}

TEST(RecoveryAfterCrash, AKillBetweenTheWritesOfAStepRestoresTheNewestCompleteState) {
    for (const auto& [at, shown] : {std::pair(StepWritePoint::NoteWritten, 2), std::pair(StepWritePoint::SnapshotWritten, 3)}) {
        test::TempDir settings;
        const fs::path folder = DeadFolder(settings.Path(), "crash");
        const std::vector<Bytes> states = KilledWindow(folder, at);
        LostDocuments lost(settings.Path());
        ASSERT_EQ(lost.Documents().size(), 1u);
        const LostDocument& d = lost.Documents()[0];
        ASSERT_TRUE(d.Recoverable) << shown;
        EXPECT_TRUE(d.HistoryIntact);
        EXPECT_EQ(d.Steps, shown);
        EXPECT_EQ(std::tie(d.Width, d.Height), std::tuple(5, 3));
        Document doc;
        ASSERT_TRUE(lost.Load(d, doc, 20).Ok);
        EXPECT_EQ(State(doc), states[std::size_t(shown)]);
        // Every earlier step comes back with undo, none is lost or deleted.
        test::TempDir mine;
        const HistoryContext ctx{mine.Path(), 1, true, WindowLabel{"Icon4", ""}};
        ASSERT_TRUE(RecordStep(doc, ctx, " ", false).Ok);
        ASSERT_TRUE(lost.Adopt(d, doc, ctx).Ok);
        for (int k = shown - 1; k >= 0; --k) {
            ASSERT_TRUE(RestoreStep(doc, ctx, false).Ok);
            EXPECT_EQ(State(doc), states[std::size_t(k)]) << shown << " " << k;
        }
    }
}

TEST(RecoveryAfterCrash, ASnapshotWhoseSizeItsHeaderDoesNotGiveIsDamagedAndNeverRead) {
    test::TempDir settings;
    const fs::path folder = DeadFolder(settings.Path(), "sparse");
    const HistoryContext ctx{folder, 2, true, WindowLabel{"Icon2", ""}};
    Document doc;
    InitBlankDocument(doc, 7, 5, 16, 20);
    ASSERT_TRUE(RecordStep(doc, ctx, " ", false).Ok);
    // The same header, then a hole up to 1 GiB.
    ASSERT_EQ(::truncate(SnapshotPath(ctx, 0).c_str(), off_t(1) << 30), 0);
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    const pid_t pid = fork();
    if (pid == 0) {
        rusage before{}, after{};
        getrusage(RUSAGE_SELF, &before);
        LostDocuments lost(settings.Path());
        getrusage(RUSAGE_SELF, &after);
        const long grown = after.ru_maxrss - before.ru_maxrss;   // KiB
        const bool damaged = lost.Documents().size() == 1 && !lost.Documents()[0].Recoverable;
        const long report[2] = {grown, damaged ? 1 : 0};
        (void)!::write(pipeFds[1], report, sizeof report);
        ::_exit(0);
    }
    long report[2] = {-1, 0};
    ::close(pipeFds[1]);
    EXPECT_EQ(::read(pipeFds[0], report, sizeof report), ssize_t(sizeof report));
    ::close(pipeFds[0]);
    ::waitpid(pid, nullptr, 0);
    EXPECT_EQ(report[1], 1);
    EXPECT_LT(report[0], 16 * 1024) << "peak grew by " << report[0] << " KiB";
    RecordProperty("PeakGrowthKiB", std::to_string(report[0]));
}

// ---- links planted where the program's own files belong -------------------------------------

TEST(PlantedLinks, WritersReplaceThemAndRecoveryRemovesAndListsThemWithTheirTargetsUntouched) {
    test::TempDir settings, outside;
    const Bytes secret = {'k', 'e', 'e', 'p', 0, 1, 2};
    const std::vector<std::string> targets = {"a", "b", "c", "d", "e", "f", "g", "h"};
    for (const std::string& t : targets) WriteBytes(outside / t, secret);
    const auto plant = [&](const fs::path& link, const std::string& target) { fs::create_symlink(outside / target, link); };

    // An owner writing snapshots, a note, its reserve, the settings and recent-files files.
    {
        SnapshotFolder owner(settings.Path());
        plant(settings / "img1no0", "a");
        plant(settings / "img1note", "b");
        plant(settings / kReserveFileName, "c");
        plant(settings / kMainSettingsFile, "d");
        plant(settings / kRecentFilesFile, "e");
        EXPECT_TRUE(ReadRecentFiles(settings / kRecentFilesFile).empty());
        const HistoryContext ctx{owner.Path(), 1, true, WindowLabel{"Icon1", ""}};
        Document doc;
        InitBlankDocument(doc, 3, 5, 16, 20);
        ASSERT_TRUE(RecordStep(doc, ctx, " ", false).Ok);
        ASSERT_TRUE(WriteMainSettings(settings / kMainSettingsFile, MainSettings{}));
        ASSERT_TRUE(WriteRecentFiles(settings / kRecentFilesFile, {"/x/a.ico"}));
        for (const char* name : {"img1no0", "img1note", kReserveFileName, kMainSettingsFile, kRecentFilesFile})
            EXPECT_FALSE(fs::is_symlink(settings / name)) << name;
        EXPECT_EQ(ReadRecentFiles(settings / kRecentFilesFile), std::vector<std::string>{"/x/a.ico"});
        ClearHistory(doc, ctx);
    }

    // A dead instance's folder and the settings folder with links under the names of history
    // files, the reserve and settings files: each link goes, and is listed.
    const fs::path dead = DeadFolder(settings.Path(), "dead");
    RecordWindow(HistoryContext{dead, 2, true, WindowLabel{"Icon2", ""}}, 1, 0);
    plant(dead / "img2no2", "f");
    plant(dead / "img3note", "g");
    plant(settings / "pqcpset", "h");
    plant(settings / "img9no0", "a");
    {
        LostDocuments lost(settings.Path(), {kColorPaletteFile});
        std::vector<std::string> names;
        for (const fs::path& p : lost.DamagedLinks()) names.push_back(p.filename().string());
        EXPECT_EQ(names, (std::vector<std::string>{"img9no0", "pqcpset", "img2no2", "img3note"}));
        ASSERT_EQ(lost.Documents().size(), 1u);
        EXPECT_EQ(lost.Documents()[0].Steps, 1);
    }
    for (const auto& e : fs::recursive_directory_iterator(settings.Path())) EXPECT_FALSE(e.is_symlink()) << e.path();
    for (const std::string& t : targets) EXPECT_EQ(ReadBytes(outside / t), secret) << t;
    std::vector<std::string> outsideNames;
    for (const auto& e : fs::directory_iterator(outside.Path())) outsideNames.push_back(e.path().filename().string());
    std::sort(outsideNames.begin(), outsideNames.end());
    EXPECT_EQ(outsideNames, targets);
}

// ---- restoring a large document -----------------------------------------------------------------

long StatusKb(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(field, 0) == 0) return std::stol(line.substr(std::string(field).size()));
    return -1;
}

// Runs `work` in a child process and returns its exit status (or -1).
template <class Work>
int InChild(Work work) {
    const pid_t pid = fork();
    if (pid == 0) _exit(work());
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

TEST(RecoveryOfALargeDocument, LoadsInLittleMoreThanItsOwnSizeOrIsRefusedWithItsSizeNamed) {
    test::TempDir settings;
    const fs::path dead = DeadFolder(settings.Path(), "large");
    // 1536 x 1024 with 15 layers: a 48 MB snapshot, the same proportions as the largest documents.
    std::uint64_t size = 0;
    {
        Document doc;
        InitBlankDocument(doc, 1536, 1024, 256, 1);
        for (int i = 1; i < 15; ++i) doc.AppendLayer();
        doc.LayerAt(14).Indices.back() = 200;
        doc.LayerAt(14).Mask.back() = 1;
        const HistoryContext ctx{dead, 4, true, WindowLabel{"Icon4", ""}};
        ASSERT_TRUE(RecordStep(doc, ctx, " ", false).Ok);
        size = fs::file_size(SnapshotPath(ctx, 0));
    }
    ASSERT_GT(size, 45u << 20);

    // Peak memory of the load alone, in a child whose peak starts where it is now.
    const int loaded = InChild([&] {
        LostDocuments lost(settings.Path());
        if (lost.Documents().size() != 1) return 2;
        if (std::FILE* f = std::fopen("/proc/self/clear_refs", "w")) {
            std::fputs("5", f);
            std::fclose(f);
        }
        const long before = StatusKb("VmRSS:");
        Document doc;
        if (!lost.Load(lost.Documents()[0], doc, 1).Ok) return 3;
        const long peak = StatusKb("VmHWM:");
        if (doc.LayerCount() != 15 || doc.LayerAt(14).Indices.back() != 200) return 4;
        // The document itself plus its scratch stencil; a copy of the file would double it.
        return double(peak - before) * 1024 <= 1.3 * double(size) ? 0 : 5;
    });
    EXPECT_EQ(loaded, 0);

    // Memory too small for it: refused with its size, nothing allocated for it.
    const int refused = InChild([&] {
        LostDocuments lost(settings.Path());
        if (lost.Documents().size() != 1) return 2;
        const long vm = StatusKb("VmSize:");
        rlimit limit{rlim_t(vm) * 1024 + (64u << 20), rlim_t(vm) * 1024 + (64u << 20)};
        if (setrlimit(RLIMIT_AS, &limit) != 0) return 6;
        Document doc;
        const FileResult r = lost.Load(lost.Documents()[0], doc, 1);
        if (r.Ok) return 3;
        return r.Message.find("この文書は大きすぎるため復元できません（48.0 MB、") != std::string::npos ? 0 : 4;
    });
    EXPECT_EQ(refused, 0);
}

}  // namespace
}  // namespace pq
