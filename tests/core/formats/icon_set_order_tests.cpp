// The order of sizes a set keeps, the names its pages go by, the page view settings file, and
// what the recovery notes of a set's pages say of the current page and the saved state.
#include <gtest/gtest.h>

#include <fstream>

#include "core/document/recovery.h"
#include "core/document/recovery_note.h"
#include "core/document/snapshot_folder.h"
#include "core/formats/icon_set.h"
#include "core/formats/page_view_settings.h"
#include "support/test_paths.h"

namespace pq {
namespace {

using Bytes = std::vector<uint8_t>;

IconPageKey Key(int w, int h, int depth) { return IconPageKey{std::max(w, h), w * h, depth}; }

TEST(IconSetOrder, ANewPageGoesAmongItsSizesInTheSetsOwnDirection) {
    const std::vector<IconPageKey> up{Key(16, 16, 4), Key(16, 16, 32), Key(32, 32, 8), Key(48, 48, 8), Key(256, 256, 32)};
    EXPECT_FALSE(SetRunsDescending(up));
    EXPECT_EQ(PlaceInSet(up, Key(24, 24, 8)), 2);
    EXPECT_EQ(PlaceInSet(up, Key(16, 16, 8)), 1) << "by size, then depth";
    EXPECT_EQ(PlaceInSet(up, Key(32, 32, 8)), 3) << "after its equal, never between two";
    EXPECT_EQ(PlaceInSet(up, Key(512, 512, 8)), 5);
    EXPECT_EQ(PlaceInSet(up, Key(8, 8, 4)), 0);
    // Not square: the longer side first, then the area.
    EXPECT_EQ(PlaceInSet(up, Key(32, 16, 8)), 2);

    const std::vector<IconPageKey> down(up.rbegin(), up.rend());
    EXPECT_TRUE(SetRunsDescending(down));
    EXPECT_EQ(PlaceInSet(down, Key(24, 24, 8)), 3);
    EXPECT_EQ(PlaceInSet(down, Key(16, 16, 8)), 4);
    EXPECT_EQ(PlaceInSet(down, Key(512, 512, 8)), 0);
    EXPECT_EQ(PlaceInSet(down, Key(8, 8, 4)), 5);

    // Mostly descending with one step up: the majority decides; one page or all equal is ascending.
    EXPECT_TRUE(SetRunsDescending(std::vector{Key(48, 48, 8), Key(32, 32, 8), Key(40, 40, 8), Key(16, 16, 8), Key(8, 8, 8)}));
    EXPECT_FALSE(SetRunsDescending(std::vector{Key(32, 32, 8)}));
    EXPECT_EQ(PlaceInSet(std::vector{Key(32, 32, 8), Key(32, 32, 8)}, Key(16, 16, 8)), 0);
    EXPECT_EQ(PlaceInSet(std::vector<IconPageKey>{}, Key(16, 16, 8)), 0);
}

TEST(IconSetOrder, APageIsNamedByWhatItIsWrittenAs) {
    Document pal16, pal256, rgba;
    InitBlankDocument(pal16, 16, 16, 16, 20);
    InitBlankDocument(pal256, 20, 12, 256, 20);
    InitBlankTrueColorDocument(rgba, 48, 48, 20);
    EXPECT_EQ(IconPageLabel(pal16, IconPageKind::Palette), "16×16 16色");
    EXPECT_EQ(IconPageLabel(pal256, IconPageKind::Palette), "20×12 256色");
    EXPECT_EQ(IconPageLabel(pal256, IconPageKind::TrueColor), "20×12 32ビット");
    EXPECT_EQ(IconPageLabel(pal256, IconPageKind::Png), "20×12 PNG");
    EXPECT_EQ(IconPageLabel(rgba, IconPageKind::Palette), "48×48 32ビット") << "a truecolour page has no palette";

    // Unedited, a page read from a 1-bit or 24-bit image is written back as that image.
    StoredIconImage oneBit, png;
    oneBit.Data.assign(40, 0);
    oneBit.Data[14] = 1;
    png.Data = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R', 0, 0};
    EXPECT_EQ(IconPageKindText(pal16, IconPageKind::Palette, &oneBit), "2色");
    EXPECT_EQ(IconPageWrittenDepth(pal16, IconPageKind::Palette, &oneBit), 1);
    oneBit.Data[14] = 24;
    EXPECT_EQ(IconPageKindText(pal256, IconPageKind::Palette, &oneBit), "24ビット");
    EXPECT_EQ(IconPageKindText(pal256, IconPageKind::Palette, &png), "256色") << "PNG data is no DIB header";
    pal16.Modified = true;
    oneBit.Data[14] = 1;
    EXPECT_EQ(IconPageKindText(pal16, IconPageKind::Palette, &oneBit), "16色");
    EXPECT_EQ(IconPageWrittenDepth(pal16, IconPageKind::Palette, &oneBit), 4);
    EXPECT_EQ(IconPageWrittenDepth(pal256, IconPageKind::Png), 32);
    EXPECT_EQ(ExtractedImageName("app", 3, 256, 128, 32), "app-3-256x128-32.png");
}

TEST(PageViewSettingsFile, RoundTripsAndReadsAnythingElseAsTheDefaults) {
    test::TempDir dir;
    const auto file = dir.Path() / kPageViewSettingsFile;
    EXPECT_EQ(ReadPageViewSettings(file), PageViewSettings{}) << "missing";
    const PageViewSettings s{64, false, 3, 1, 2, 3};
    ASSERT_TRUE(WritePageViewSettings(file, s));
    EXPECT_EQ(ReadPageViewSettings(file), s);
    Bytes bytes;
    {
        std::ifstream in(file, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), {});
    }
    ASSERT_EQ(bytes.size(), 11u);
    auto readAs = [&](Bytes b) {
        std::ofstream(file, std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
        return ReadPageViewSettings(file);
    };
    for (const auto& [at, value] : std::vector<std::pair<std::size_t, uint8_t>>{{0, 'X'}, {4, 2}, {5, 40}, {6, 2}, {7, 4}}) {
        Bytes bad = bytes;
        bad[at] = value;
        EXPECT_EQ(readAs(bad), PageViewSettings{}) << "byte " << at << " = " << int(value);
    }
    EXPECT_EQ(readAs(Bytes(bytes.begin(), bytes.end() - 1)), PageViewSettings{}) << "short";
    Bytes longer = bytes;
    longer.push_back(0);
    EXPECT_EQ(readAs(longer), PageViewSettings{}) << "long";
    // A height that is not offered is written as the default.
    ASSERT_TRUE(WritePageViewSettings(file, PageViewSettings{50, true, 9}));
    EXPECT_EQ(ReadPageViewSettings(file).StripHeight, 48);
    EXPECT_EQ(ReadPageViewSettings(file).PreviewBackground, 0);
}

// A dead instance's folder holding the pages of one set: each page a base step and `steps[i]`
// edits, its note saying `saved[i]` and whether it is current.
std::filesystem::path LeaveSet(const std::filesystem::path& settings, const std::vector<int>& steps,
                               const std::vector<int>& saved, int current) {
    const auto dead = settings / (std::string(kPrivateFolderPrefix) + "deadset");
    std::filesystem::create_directories(dead);
    std::ofstream(dead / kSnapshotLockName).put('\0');
    for (std::size_t i = 0; i < steps.size(); ++i) {
        WindowLabel label{"set.ico", "/x/set.ico", 3, int(i), 0, int(steps.size())};
        label.PageCurrent = int(i) == current;
        label.SavedPosition = saved[i];
        const HistoryContext ctx{dead, 50 + int(i), true, label};
        Document doc;
        InitBlankDocument(doc, 4, 3, 16, 20);
        EXPECT_TRUE(RecordStep(doc, ctx, " ", false).Ok);
        for (int k = 0; k < steps[i]; ++k) {
            doc.Current().Mask[std::size_t(k)] = 1;
            EXPECT_TRUE(RecordStep(doc, ctx, "筆", false).Ok);
        }
    }
    return dead;
}

TEST(SetRecovery, NotesSayTheCurrentPageAndASetSavedUnchangedIsNotOffered) {
    {
        // Saved at the positions the pages still have: the file holds it all; the files go.
        test::TempDir dir;
        const auto dead = LeaveSet(dir.Path(), {0, 2, 1}, {1, 3, 2}, 1);
        LostDocuments lost(dir.Path());
        EXPECT_TRUE(lost.Documents().empty());
    }
    {
        // One page edited past its saved position: the set is offered, its current page known.
        test::TempDir dir;
        LeaveSet(dir.Path(), {0, 3, 1}, {1, 2, 2}, 2);
        LostDocuments lost(dir.Path());
        ASSERT_EQ(lost.Documents().size(), 3u);
        int current = -1;
        for (const LostDocument& d : lost.Documents())
            if (d.Note.Label.PageCurrent) current = d.Note.Label.PageIndex;
        EXPECT_EQ(current, 2);
    }
    {
        // Never saved (position 0): offered.
        test::TempDir dir;
        LeaveSet(dir.Path(), {0, 0}, {0, 0}, 0);
        EXPECT_EQ(LostDocuments(dir.Path()).Documents().size(), 2u);
    }
    // The new fields end the note; a note without them keeps the version before, and damage is refused.
    RecoveryNote note{12, 2, 0, 2, WindowLabel{"Icon4", "/x/big.ico", 4, 7, 0, 60}};
    EXPECT_EQ(EncodeRecoveryNote(note)[4], 4);
    note.Label.PageCurrent = true;
    note.Label.SavedPosition = 2;
    const Bytes v5 = EncodeRecoveryNote(note);
    EXPECT_EQ(v5[4], 5);
    const auto back = DecodeRecoveryNote(v5);
    ASSERT_TRUE(back);
    EXPECT_TRUE(back->Label.PageCurrent);
    EXPECT_EQ(back->Label.SavedPosition, 2);
    Bytes bad = v5;
    bad[bad.size() - 5] = 2;
    EXPECT_FALSE(DecodeRecoveryNote(bad));
    bad = v5;
    bad.back() = 0x80;
    EXPECT_FALSE(DecodeRecoveryNote(bad)) << "a negative saved position";
    EXPECT_FALSE(DecodeRecoveryNote(Bytes(v5.begin(), v5.end() - 1)));
}

}  // namespace
}  // namespace pq
