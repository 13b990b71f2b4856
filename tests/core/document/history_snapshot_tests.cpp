// What ReadSnapshotShape accepts of a snapshot file: exactly the bytes its headers require,
// nothing shorter and nothing longer, the same as DecodeSnapshot.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/document/history_snapshot.h"
#include "support/test_paths.h"

namespace pq {
namespace {

// 9 x 4 with three layers of different name lengths.
Document ThreeLayers() {
    Document doc;
    InitBlankDocument(doc, 9, 4, 256, 20);
    doc.AppendLayer();
    doc.AppendLayer();
    doc.LayerAt(1).Name = "影";
    doc.LayerAt(2).Name = "a much longer layer name";
    doc.LayerAt(2).Mask[5] = 1;
    return doc;
}

TEST(HistorySnapshot, ShapeIsReadOnlyFromAFileOfExactlyTheRequiredLength) {
    test::TempDir dir;
    const auto path = dir / "img1no0";
    const std::vector<uint8_t> bytes = EncodeSnapshot(ThreeLayers(), "ブラシツール");
    test::WriteBytes(path, bytes);
    const auto shape = ReadSnapshotShape(path);
    ASSERT_TRUE(shape);
    EXPECT_EQ(shape->Width, 9);
    EXPECT_EQ(shape->Height, 4);
    EXPECT_EQ(shape->ColorCount, 256);
    EXPECT_EQ(shape->LayerCount, 3);
    EXPECT_EQ(shape->Size, bytes.size());

    // Bytes after the current layer: one, four (what a fourth layer's name length would take),
    // a whole second copy. The decoder refuses each, and so must the shape.
    for (std::size_t extra : {std::size_t(1), std::size_t(4), bytes.size()}) {
        std::vector<uint8_t> longer = bytes;
        longer.insert(longer.end(), extra, 0);
        test::WriteBytes(path, longer);
        Document ignored;
        EXPECT_FALSE(DecodeSnapshot(longer, ignored)) << extra;
        EXPECT_FALSE(ReadSnapshotShape(path)) << extra << " trailing bytes";
    }
    // Cut anywhere: in the current layer, in the last layer's mask, in a layer's name.
    for (std::size_t cut : {std::size_t(1), std::size_t(4), std::size_t(40), bytes.size() - 1040}) {
        test::WriteBytes(path, std::vector<uint8_t>(bytes.begin(), bytes.end() - std::ptrdiff_t(cut)));
        EXPECT_FALSE(ReadSnapshotShape(path)) << cut << " bytes short";
    }
}

TEST(HistorySnapshot, ShapeRefusesWhatIsNotASnapshotFile) {
    test::TempDir dir;
    EXPECT_FALSE(ReadSnapshotShape(dir / "missing"));
    EXPECT_FALSE(ReadSnapshotShape(dir.Path()));   // a folder
    test::WriteBytes(dir / "empty", {});
    EXPECT_FALSE(ReadSnapshotShape(dir / "empty"));
    // A layer count the file cannot hold is refused without walking it.
    Document doc;
    InitBlankDocument(doc, 3, 2, 16, 20);
    std::vector<uint8_t> bytes = EncodeSnapshot(doc, " ");
    const std::size_t countAt = 4 + 1 + 12 + 1024 + 1 + 16 + 8 + 1 + 2 * 6;
    bytes[countAt] = 0xff, bytes[countAt + 1] = 0xff, bytes[countAt + 2] = 0xff, bytes[countAt + 3] = 0x7f;
    test::WriteBytes(dir / "many", bytes);
    EXPECT_FALSE(ReadSnapshotShape(dir / "many"));
}

}  // namespace
}  // namespace pq
