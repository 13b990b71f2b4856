#include <gtest/gtest.h>

#include <random>

#include "core/formats/file_formats.h"
#include "core/formats/icon_container.h"
#include "core/formats/icon_file.h"
#include "core/formats/icon_set.h"
#include "core/formats/png_file.h"
#include "core/io/byte_io.h"
#include "support/hostile_icons.h"
#include "support/test_paths.h"

namespace pq {
namespace {

using test::CorpusDir;
using test::HaveCorpus;
using test::ReadBytes;
using test::TempDir;
using test::WriteBytes;

// A one-layer document of random indices, some pixels unpainted.
Document Random(int w, int h, int colors, uint32_t seed) {
    Document d;
    InitBlankDocument(d, w, h, colors, 20);
    std::mt19937 rng(seed);
    Layer& l = d.LayerAt(0);
    for (std::size_t i = 0; i < l.Mask.size(); ++i) {
        l.Indices[i] = uint8_t(rng() % unsigned(colors));
        l.Mask[i] = rng() % 4 != 0;
        l.Indices[i] = l.Mask[i] ? l.Indices[i] : 0;
    }
    for (int i = 0; i < colors; ++i) d.Palette[std::size_t(i)] = PaletteEntry{uint8_t(rng()), uint8_t(rng()), uint8_t(rng()), 0};
    return d;
}

void ExpectSamePicture(const Document& a, const Document& b) {
    ASSERT_EQ(a.ImageWidth, b.ImageWidth);
    ASSERT_EQ(a.ImageHeight, b.ImageHeight);
    ASSERT_EQ(a.ColorCount, b.ColorCount);
    EXPECT_EQ(a.LayerAt(0).Mask, b.LayerAt(0).Mask);
    EXPECT_EQ(a.LayerAt(0).Indices, b.LayerAt(0).Indices);
    for (int i = 0; i < a.ColorCount; ++i) ASSERT_EQ(a.Palette[std::size_t(i)], b.Palette[std::size_t(i)]) << i;
}

TEST(IconContainer, WritingBackReplacesOnlyItsOwnImage) {
    TempDir dir;
    std::vector<std::filesystem::path> files;
    // Three images of different sizes and depths, packed here...
    const Document made[3] = {Random(16, 16, 16, 1), Random(32, 32, 256, 2), Random(48, 20, 16, 3)};
    const Document* docs[3] = {&made[0], &made[1], &made[2]};
    ASSERT_TRUE(PackIconFile(docs, dir / "three.ico", kIconResourceType));
    files.push_back(dir / "three.ico");
    // ...and real groups of PNG, 32-bit and palette images with bytes after the last image.
    if (HaveCorpus())
        for (const char* name : {"wine-extracted/ico/notepad.exe_14_768_0.ico", "pillow/ico/python.ico"}) {
            files.push_back(dir / std::filesystem::path(name).filename());
            WriteBytes(files.back(), ReadBytes(CorpusDir() / name));
        }
    for (const std::filesystem::path& path : files) {
        SCOPED_TRACE(path.filename().string());
        const std::vector<uint8_t> before = ReadBytes(path);
        StoredIconFile old;
        ASSERT_TRUE(ReadStoredIconFile(before, old));
        ASSERT_GE(old.Images.size(), 3u);

        Document doc;
        ASSERT_TRUE(LoadIconFile(path, 1, doc, 20));
        EXPECT_EQ(doc.Origin.Index, 1);
        if (doc.TrueColor)   // 32-bit and PNG images open as truecolour documents
            doc.LayerAt(0).Pixels[3] = Rgba8{5, 6, 7, 200};
        else
            doc.LayerAt(0).Mask[3] = 1, doc.LayerAt(0).Indices[3] = 5;
        const FileFormat* format = FormatOfPath(path);
        const FileResult written = format->Writer(doc, path);   // what 上書き保存 and convert call
        ASSERT_TRUE(written) << written.Message;

        StoredIconFile now;
        ASSERT_TRUE(ReadStoredIconFile(ReadBytes(path), now));
        ASSERT_EQ(now.Images.size(), old.Images.size());
        EXPECT_EQ(now.ResourceType, old.ResourceType);
        for (std::size_t i = 0; i < old.Images.size(); ++i) {
            if (i == 1) continue;
            EXPECT_EQ(now.Images[i].Data, old.Images[i].Data) << "image " << i;
            EXPECT_TRUE(std::equal(now.Images[i].Entry.begin(), now.Images[i].Entry.begin() + 12,
                                   old.Images[i].Entry.begin()))
                << "image " << i;
        }
        // The image keeps its kind (a 32-bit or PNG image is not made a palette one) and shows
        // the edited picture.
        IconDirectory was, is;
        ASSERT_TRUE(ReadIconDirectory(before, was));
        const std::vector<uint8_t> after = ReadBytes(path);
        ASSERT_TRUE(ReadIconDirectory(after, is));
        EXPECT_EQ(StoredPageKind(after, is.Entries[1]), StoredPageKind(before, was.Entries[1]));
        Document back;
        ASSERT_TRUE(LoadIconFile(path, 1, back, 20));
        if (StoredPageKind(before, was.Entries[1]) == IconPageKind::Palette) ExpectSamePicture(back, doc);
        EXPECT_EQ(FlattenToRgba(back), FlattenToRgba(doc));

        // Another name gets the one-image file.
        ASSERT_TRUE(format->Writer(doc, dir / "other.ico"));
        IconDirectory one;
        ASSERT_TRUE(ReadIconDirectory(ReadBytes(dir / "other.ico"), one));
        EXPECT_EQ(one.Entries.size(), 1u);

        // A file that no longer holds image N is refused and kept as it is.
        doc.Origin.Index = int(old.Images.size());
        const std::vector<uint8_t> kept = ReadBytes(path);
        const FileResult r = format->Writer(doc, path);
        EXPECT_FALSE(r);
        EXPECT_NE(r.Message.find(kIconChangedMessage), std::string::npos);
        EXPECT_EQ(ReadBytes(path), kept);
    }
}

TEST(IconContainer, PackedImagesAndCursorHotspotsReadBack) {
    TempDir dir;
    Document made[3] = {Random(16, 16, 16, 4), Random(256, 256, 256, 5), Random(5, 3, 16, 6)};
    made[0].HotspotX = 7, made[0].HotspotY = 9;
    made[1].HotspotX = 300, made[1].HotspotY = -4;   // moved inside the canvas: (255, 0)
    made[2].HotspotX = 40, made[2].HotspotY = 30;    // and inside the 5 x 3 one: (4, 2)
    const Document* docs[3] = {&made[0], &made[1], &made[2]};
    for (int type : {kIconResourceType, kCursorResourceType}) {
        const std::filesystem::path path = dir / (type == kIconResourceType ? "p.ico" : "p.cur");
        ASSERT_TRUE(PackIconFile(docs, path, type));
        const std::vector<uint8_t> bytes = ReadBytes(path);
        IconDirectory d;
        ASSERT_TRUE(ReadIconDirectory(bytes, d));
        ASSERT_EQ(d.Entries.size(), 3u);
        EXPECT_EQ(d.ResourceType, type);
        EXPECT_EQ(d.Entries[1].Width, 0);   // 256 is written as 0
        const int hotspots[3][2] = {{7, 9}, {255, 0}, {4, 2}};
        for (int i = 0; i < 3; ++i) {
            SCOPED_TRACE(testing::Message() << "type " << type << ", image " << i);
            Document back;
            ASSERT_TRUE(LoadIconBytes(bytes, i, back, 20));
            ExpectSamePicture(back, made[i]);
            EXPECT_EQ(back.HasHotspot, type == kCursorResourceType);
            EXPECT_EQ(back.HotspotX, type == kCursorResourceType ? hotspots[i][0] : 0);
            EXPECT_EQ(back.HotspotY, type == kCursorResourceType ? hotspots[i][1] : 0);
        }
    }
    // One image that cannot be an icon refuses the whole pack, naming it, and writes nothing.
    Document large = Random(300, 10, 16, 7);
    const Document* withLarge[2] = {&made[0], &large};
    const FileResult r = PackIconFile(withLarge, dir / "no.ico", kIconResourceType);
    EXPECT_FALSE(r);
    EXPECT_NE(r.Message.find("2 番目"), std::string::npos) << r.Message;
    EXPECT_FALSE(std::filesystem::exists(dir / "no.ico"));

    // The cursor writer of the format table writes the document's hotspot, kept through a
    // one-image round trip.
    Document cursor = Random(32, 32, 16, 8);
    cursor.HotspotX = 31, cursor.HotspotY = 4;
    ASSERT_TRUE(FormatOfPath("x.cur")->Writer(cursor, dir / "one.cur"));
    Document back;
    ASSERT_TRUE(LoadIconFile(dir / "one.cur", 0, back, 20));
    EXPECT_EQ(back.HotspotX, 31);
    EXPECT_EQ(back.HotspotY, 4);
    EXPECT_TRUE(back.HasHotspot);
}

// Saving one image back into a file whose entries share data keeps them sharing it: a directory
// repeating one image does not turn into a copy per entry (65535 copies of 270 KB would not fit).
TEST(IconContainer, WritingBackKeepsSharedDataSharedAndBounded) {
    TempDir dir;
    const std::filesystem::path path = dir / "shared.ico";
    const std::vector<uint8_t> original = test::SharedImageIcon(test::SharedImage::Dib32, 256, 65535);
    WriteBytes(path, original);
    const test::ChildCost cost = test::RunInChild([&path] {
        Document doc;
        if (!LoadIconFile(path, 40000, doc, 10)) return 2;
        if (doc.TrueColor)
            doc.LayerAt(0).Pixels[0].r ^= 1, doc.LayerAt(0).Pixels[0].a = 255;
        else
            doc.LayerAt(0).Indices[0] = uint8_t(doc.LayerAt(0).Indices[0] ^ 1);
        return SaveIconKeepingOthers(doc, path, kIconResourceType).Ok ? 0 : 1;
    });
    ASSERT_EQ(cost.Status, 0);
    EXPECT_LT(cost.Seconds, 5.0);
    EXPECT_LT(cost.PeakKiB, test::MemoryBoundKiB(400 * 1024));

    const std::vector<uint8_t> saved = ReadBytes(path);
    IconDirectory before, after;
    ASSERT_TRUE(ReadIconDirectory(original, before));
    ASSERT_TRUE(ReadIconDirectory(saved, after));
    ASSERT_EQ(after.Entries.size(), 65535u);
    const uint32_t shared = after.Entries[0].ImageOffset;
    EXPECT_EQ(shared, 6u + 16u * 65535u);
    for (std::size_t i : {std::size_t(1), std::size_t(39999), std::size_t(40001), std::size_t(65534)}) {
        EXPECT_EQ(after.Entries[i].ImageOffset, shared) << i;
        EXPECT_EQ(after.Entries[i].BytesInRes, before.Entries[i].BytesInRes) << i;
    }
    // The one image saved comes after the shared data, everything else as it was.
    const IconDirEntry& mine = after.Entries[40000];
    EXPECT_EQ(mine.ImageOffset, shared + before.Entries[0].BytesInRes);
    EXPECT_EQ(saved.size(), std::size_t(mine.ImageOffset) + mine.BytesInRes);
    EXPECT_TRUE(std::equal(original.begin() + shared, original.end(), saved.begin() + shared));
    Document back;
    ASSERT_TRUE(LoadIconFile(path, 40000, back, 10));
    EXPECT_EQ(back.ImageWidth, 256);
}

// Entries 0 and 2 share data, entry 1 has its own: writing into 0 leaves 2 with the old data.
TEST(IconContainer, WritingIntoOneOfTwoSharingEntriesLeavesTheOtherItsData) {
    TempDir dir;
    const std::filesystem::path path = dir / "three.ico";
    const std::vector<uint8_t> two = test::SharedImageIcon(test::SharedImage::Dib32, 3, 2);
    // Three entries: 0 and 2 at the 3 x 3 image, 1 at a copy of it placed after.
    const std::size_t imageSize = two.size() - (6 + 32);
    std::vector<uint8_t> bytes;
    ByteWriter put(bytes);
    put.U16(0), put.U16(1), put.U16(3);
    const uint32_t first = 6 + 48, second = first + uint32_t(imageSize);
    for (uint32_t offset : {first, second, first})
        put.Bytes(std::array<uint8_t, 8>{3, 3, 0, 0, 1, 0, 32, 0}), put.U32(uint32_t(imageSize)), put.U32(offset);
    const std::span<const uint8_t> image(two.data() + 38, imageSize);
    put.Bytes(image), put.Bytes(image);
    WriteBytes(path, bytes);

    Document doc;
    ASSERT_TRUE(LoadIconFile(path, 0, doc, 10));
    ASSERT_TRUE(doc.TrueColor);
    doc.LayerAt(0).Pixels[4] = Rgba8{};
    ASSERT_TRUE(SaveIconKeepingOthers(doc, path, kIconResourceType));
    const std::vector<uint8_t> saved = ReadBytes(path);
    IconDirectory after;
    ASSERT_TRUE(ReadIconDirectory(saved, after));
    ASSERT_EQ(after.Entries.size(), 3u);
    EXPECT_NE(after.Entries[0].ImageOffset, after.Entries[2].ImageOffset);
    for (std::size_t i : {std::size_t(1), std::size_t(2)})
        EXPECT_TRUE(std::equal(image.begin(), image.end(), saved.begin() + after.Entries[i].ImageOffset)) << i;
    // The others' data is not repeated: three entries, three pieces of data.
    EXPECT_EQ(saved.size(), 6u + 48u + 2 * imageSize + after.Entries[0].BytesInRes);
    Document reread;
    ASSERT_TRUE(LoadIconFile(path, 0, reread, 10));
    EXPECT_EQ(reread.LayerAt(0).Pixels[4].a, 0);
}

}  // namespace
}  // namespace pq
