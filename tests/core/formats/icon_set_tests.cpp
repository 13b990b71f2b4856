#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <regex>

#include "core/document/blend.h"
#include "core/formats/icon_container.h"
#include "core/formats/icon_file.h"
#include "core/formats/icon_images.h"
#include "core/formats/icon_set.h"
#include "core/io/byte_io.h"
#include "support/hostile_icons.h"
#include "support/png_encode.h"
#include "support/test_paths.h"

namespace pq {
namespace {

// A one-layer document of a random palette, about three quarters of it painted at random.
Document Random(int w, int h, int colors, uint32_t seed) {
    Document d;
    InitBlankDocument(d, w, h, colors, 20);
    std::mt19937 rng(seed);
    for (int i = 0; i < colors; ++i) d.Palette[std::size_t(i)] = MakeEntry(Rgb{uint8_t(rng()), uint8_t(rng()), uint8_t(rng())});
    Layer& l = d.LayerAt(0);
    for (std::size_t i = 0; i < l.Mask.size(); ++i)
        if (rng() % 4 != 0) l.Mask[i] = 1, l.Indices[i] = uint8_t(rng() % unsigned(colors));
    return d;
}

StoredIconImage Page(const Document& doc, IconPageKind kind) {
    StoredIconImage image;
    EXPECT_TRUE(EncodeIconPage(doc, kind, kIconResourceType, image));
    return image;
}

// An entry for data made here: the sides, colour byte 0, planes 1, 32 bits, the byte count.
StoredIconImage Stored(int w, int h, std::vector<uint8_t> data) {
    StoredIconImage image;
    image.Entry = {uint8_t(w % 256), uint8_t(h % 256), 0, 0, 1, 0, 32, 0};
    const uint32_t n = uint32_t(data.size());
    for (int i = 0; i < 4; ++i) image.Entry[std::size_t(8 + i)] = uint8_t(n >> (8 * i));
    image.Data = std::move(data);
    return image;
}

// A 32-bit DIB whose alpha bytes hold every kind of value (0, partial, 255), over a clear mask.
std::vector<uint8_t> AlphaDib(int w, int h, uint32_t seed) {
    std::vector<uint8_t> out;
    ByteWriter put(out);
    const std::size_t maskRow = (std::size_t(w) + 31) / 32 * 4;
    put.U32(40), put.I32(w), put.I32(2 * h), put.U16(1), put.U16(32);
    for (int i = 0; i < 6; ++i) put.U32(0);
    std::mt19937 rng(seed);
    constexpr uint8_t kAlphas[] = {0, 60, 127, 128, 200, 255};
    for (int i = 0; i < w * h; ++i) put.Bytes(std::array<uint8_t, 4>{uint8_t(rng()), uint8_t(rng()), uint8_t(rng()), kAlphas[rng() % 6]});
    put.Fill(maskRow * std::size_t(h), 0);
    return out;
}

// The five-image icon: 16 x 16 4-bit, 24 x 24 8-bit, 32 x 32 32-bit, 48 x 48 8-bit, 256 x 256 PNG.
std::vector<uint8_t> FiveImageIcon() {
    StoredIconFile file;
    file.Images.push_back(Page(Random(16, 16, 16, 1), IconPageKind::Palette));
    file.Images.push_back(Page(Random(24, 24, 256, 2), IconPageKind::Palette));
    file.Images.push_back(Stored(32, 32, AlphaDib(32, 32, 3)));
    file.Images.push_back(Page(Random(48, 48, 256, 4), IconPageKind::Palette));
    std::vector<uint8_t> rgba(256 * 256 * 4);
    for (std::size_t i = 0; i < rgba.size(); ++i) rgba[i] = i % 4 == 3 ? uint8_t(i / 4 % 3 == 0 ? 0 : 255) : uint8_t(i * 7);
    file.Images.push_back(Stored(256, 256, test::EncodePng(256, 256, rgba)));
    return EncodeStoredIconFile(file);
}

std::vector<IconSetEntry> Unchanged(const std::vector<IconSetPage>& pages, int type) {
    std::vector<IconSetEntry> entries;
    for (const IconSetPage& p : pages) entries.push_back({&p.Doc, p.Kind, &p.Stored, type});
    return entries;
}

std::string Output(const std::string& command) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return out;
    char buf[256];
    for (std::size_t n; (n = fread(buf, 1, sizeof buf, pipe)) > 0;) out.append(buf, n);
    pclose(pipe);
    return out;
}

// The five-image icon, and its pages as LoadIconSet gives them.
class IconSet : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(LoadIconSet(input, 20, pages, type));
        ASSERT_EQ(pages.size(), 5u);
    }
    test::TempDir dir;
    const std::vector<uint8_t> input = FiveImageIcon();
    std::vector<IconSetPage> pages;
    int type = 0;
};

TEST_F(IconSet, EveryImageIsAPageAndOnlyTheEditedOneIsWrittenAnew) {
    EXPECT_EQ(type, kIconResourceType);
    const std::vector<std::string> labels = {"16×16 16色", "24×24 256色", "32×32 32ビット", "48×48 256色", "256×256 PNG"};
    const IconPageKind kinds[] = {IconPageKind::Palette, IconPageKind::Palette, IconPageKind::TrueColor,
                                  IconPageKind::Palette, IconPageKind::Png};
    StoredIconFile original;
    ASSERT_TRUE(ReadStoredIconFile(input, original));
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(pages[i].Kind, kinds[i]) << i;
        EXPECT_EQ(IconPageLabel(pages[i].Doc, pages[i].Kind), labels[i]);
        EXPECT_EQ(pages[i].Doc.Origin.Index, int(i));
    }

    // Nothing edited: the very same bytes.
    const std::filesystem::path path = dir / "five.ico";
    std::vector<StoredIconImage> written;
    ASSERT_TRUE(SaveIconSet(Unchanged(pages, kIconResourceType), path, kIconResourceType, &written));
    EXPECT_EQ(test::ReadBytes(path), input);
    ASSERT_EQ(written.size(), 5u);

    // The 32-bit page edited (one row mirrored): only its image changes, still a 32-bit DIB of
    // every colour and alpha value the page shows.
    Document edited = pages[2].Doc;
    ASSERT_TRUE(edited.TrueColor);
    Layer& l = edited.LayerAt(0);
    std::reverse(l.Pixels.begin() + 5 * 32, l.Pixels.begin() + 6 * 32);
    ASSERT_NE(l.Pixels, pages[2].Doc.LayerAt(0).Pixels);
    std::vector<IconSetEntry> entries = Unchanged(pages, kIconResourceType);
    entries[2] = IconSetEntry{&edited, IconPageKind::TrueColor};
    ASSERT_TRUE(SaveIconSet(entries, path, kIconResourceType));
    const std::vector<uint8_t> saved = test::ReadBytes(path);
    StoredIconFile now;
    ASSERT_TRUE(ReadStoredIconFile(saved, now));
    ASSERT_EQ(now.Images.size(), 5u);
    for (std::size_t i = 0; i < 5; ++i) {
        if (i == 2) continue;
        EXPECT_EQ(now.Images[i].Data, original.Images[i].Data) << i;
        EXPECT_TRUE(std::equal(now.Images[i].Entry.begin(), now.Images[i].Entry.begin() + 12, original.Images[i].Entry.begin())) << i;
    }
    const StoredIconImage& image = now.Images[2];
    EXPECT_EQ(LoadU16(image.Entry.data() + 4), 1);
    EXPECT_EQ(LoadU16(image.Entry.data() + 6), 32);
    EXPECT_EQ(LoadU32(image.Entry.data() + 8), image.Data.size());
    EXPECT_EQ(LoadU16(image.Data.data() + 14), 32);
    RgbaImage decoded;
    ASSERT_TRUE(DecodeIconRgba(image.Data, decoded));
    ASSERT_EQ(decoded.Width, 32);
    ASSERT_EQ(decoded.Height, 32);
    for (std::size_t p = 0; p < 32 * 32; ++p) {
        const uint8_t* px = decoded.Pixels.data() + 4 * p;
        const Rgba8 want = l.Pixels[p].a == 0 ? Rgba8{} : l.Pixels[p];
        ASSERT_EQ((Rgba8{px[0], px[1], px[2], px[3]}), want) << p;
    }
    std::vector<IconSetPage> again;
    ASSERT_TRUE(LoadIconSet(saved, 20, again, type));
    EXPECT_EQ(again[2].Kind, IconPageKind::TrueColor);
    EXPECT_EQ(ComposeRgbaLayers(again[2].Doc.Layers(), 32 * 32), ComposeRgbaLayers(edited.Layers(), 32 * 32));

    // Other readers see the same five sizes.
    const std::string sizes = "16x16 24x24 32x32 48x48 256x256";
    if (std::filesystem::exists("/usr/bin/icotool")) {
        const std::string listed = Output("/usr/bin/icotool -l '" + path.string() + "' 2>&1");
        std::string got;
        const std::regex size("--width=(\\d+) --height=(\\d+)");
        for (std::sregex_iterator m(listed.begin(), listed.end(), size), end; m != end; ++m)
            got += (got.empty() ? "" : " ") + (*m)[1].str() + "x" + (*m)[2].str();
        EXPECT_EQ(got, sizes) << listed;
    }
    if (Output("/usr/bin/python3 -c 'import PIL' 2>&1; echo $?") == "0\n") {
        const std::string got = Output("/usr/bin/python3 -c \"import sys; from PIL import Image; "
                                       "print(' '.join('%dx%d' % s for s in sorted(Image.open(sys.argv[1]).info['sizes'])))\" '" +
                                       path.string() + "' 2>&1");
        EXPECT_EQ(got, sizes + "\n");
    }
    if (!std::filesystem::exists("/usr/bin/icotool") || Output("/usr/bin/python3 -c 'import PIL' 2>&1; echo $?") != "0\n")
        GTEST_SKIP() << "icotool or Pillow missing: not every peer reader checked";
}

TEST_F(IconSet, ChangingTheFileKindRewritesOnlyTheEntryFields) {
    for (std::size_t i = 0; i < pages.size(); ++i) pages[i].Doc.HotspotX = int(3 + 10 * i), pages[i].Doc.HotspotY = 20;
    // As a cursor: each entry carries its page's hotspot (moved inside: 3,20 gives 3,15 in 16 x 16).
    std::vector<StoredIconImage> asCursor;
    ASSERT_TRUE(SaveIconSet(Unchanged(pages, kIconResourceType), dir / "five.cur", kCursorResourceType, &asCursor));
    IconDirectory cursor;
    ASSERT_TRUE(ReadIconDirectory(test::ReadBytes(dir / "five.cur"), cursor));
    EXPECT_EQ(cursor.ResourceType, kCursorResourceType);
    const int hotspots[5][2] = {{3, 15}, {13, 20}, {23, 20}, {33, 20}, {43, 20}};
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(cursor.Entries[i].PlanesOrHotspotX, hotspots[i][0]) << i;
        EXPECT_EQ(cursor.Entries[i].BitCountOrHotspotY, hotspots[i][1]) << i;
        EXPECT_EQ(asCursor[i].Data, pages[i].Stored.Data) << i;
    }
    // And back to an icon: planes and depth come from the data, giving the original bytes.
    std::vector<IconSetEntry> back = Unchanged(pages, kCursorResourceType);
    for (std::size_t i = 0; i < 5; ++i) back[i].Unchanged = &asCursor[i];
    ASSERT_TRUE(SaveIconSet(back, dir / "five.ico", kIconResourceType));
    EXPECT_EQ(test::ReadBytes(dir / "five.ico"), input);
}

TEST_F(IconSet, RefusalsWriteNothing) {
    const std::filesystem::path path = dir / "kept.ico";
    test::WriteBytes(path, input);
    const Document small = Random(16, 16, 16, 5), wide = Random(300, 7, 16, 6);
    const std::vector<IconSetEntry> entries = {{&small, IconPageKind::Palette}, {&small, IconPageKind::TrueColor},
                                               {&wide, IconPageKind::Png}};
    for (const std::filesystem::path& target : {path, dir / "new.ico"}) {
        const FileResult r = SaveIconSet(entries, target, kIconResourceType);
        EXPECT_FALSE(r);
        EXPECT_NE(r.Message.find("3 番目"), std::string::npos) << r.Message;
    }
    EXPECT_EQ(test::ReadBytes(path), input);
    EXPECT_FALSE(std::filesystem::exists(dir / "new.ico"));
    EXPECT_FALSE(SaveIconSet({}, path, kIconResourceType));
    EXPECT_EQ(test::ReadBytes(path), input);

    // A set that does not open names the image and leaves the pages as they were.
    StoredIconFile file;
    ASSERT_TRUE(ReadStoredIconFile(input, file));
    file.Images[3].Data.resize(60);   // the 48 x 48 image cut inside its colour table
    const std::vector<uint8_t> damaged = EncodeStoredIconFile(file);
    std::vector<IconSetPage> one(1);
    int kept = 7, unopened = -1;
    const FileResult r = LoadIconSet(damaged, 20, one, kept, &unopened);
    EXPECT_FALSE(r);
    EXPECT_EQ(r.Message, std::string("3： ") + kIconOpenError);
    EXPECT_EQ(unopened, 3);
    EXPECT_EQ(one.size(), 1u);
    EXPECT_EQ(kept, 7);
}

// ---- bounds -----------------------------------------------------------------------------------

// An icon whose entries point to image headers alone (no pixels): sides as listed.
std::vector<uint8_t> HeadersOnly(const std::vector<std::pair<int, int>>& sides) {
    std::vector<uint8_t> out;
    ByteWriter put(out);
    put.U16(0), put.U16(1), put.U16(uint16_t(sides.size()));
    const uint32_t first = 6 + 16 * uint32_t(sides.size());
    for (std::size_t i = 0; i < sides.size(); ++i) {
        put.Bytes(std::array<uint8_t, 4>{0, 0, 0, 0});
        put.U16(1), put.U16(32), put.U32(40), put.U32(first + 40 * uint32_t(i));
    }
    for (const auto& [w, h] : sides) {
        put.U32(40), put.I32(w), put.I32(2 * h), put.U16(1), put.U16(32);
        for (int k = 0; k < 6; ++k) put.U32(0);
    }
    return out;
}

constexpr const char* kTooManyPages = "このアイコンは画像が多すぎるため、すべては開けません。一度に開けるのは1024枚までです。";
constexpr const char* kTooManyPixels =
    "このアイコンは画像が大きすぎるため、すべては開けません。一度に開けるのは合わせて67,108,864ピクセルまでです。";

TEST(IconSetLimits, HostileDirectoriesAreRefusedWithinTimeAndMemory) {
    struct Case {
        test::SharedImage kind;
        int side;
    };
    for (const Case c : {Case{test::SharedImage::Dib32, 256}, Case{test::SharedImage::Png, 256},
                         Case{test::SharedImage::Dib32, 16}}) {
        const std::vector<uint8_t> bytes = test::SharedImageIcon(c.kind, c.side, 65535);
        const test::ChildCost cost = test::RunInChild([&bytes] {
            std::vector<IconSetPage> pages(1);
            int type = 0, unopened = -1;
            const FileResult r = LoadIconSet(bytes, 10, pages, type, &unopened);
            return !r.Ok && r.Message == kTooManyPages && pages.size() == 1 && unopened == -1 ? 0 : 1;
        });
        EXPECT_EQ(cost.Status, 0) << c.side;
        EXPECT_LT(cost.Seconds, 5.0) << c.side;
        EXPECT_LT(cost.PeakKiB, test::MemoryBoundKiB(400 * 1024)) << c.side;
    }
}

TEST(IconSetLimits, PageCountIsBoundedAt1024) {
    std::vector<IconSetPage> pages;
    int type = 0;
    ASSERT_TRUE(LoadIconSet(test::SharedImageIcon(test::SharedImage::Dib32, 3, 1024), 10, pages, type));
    ASSERT_EQ(pages.size(), 1024u);
    EXPECT_EQ(pages[1023].Doc.Origin.Index, 1023);
    EXPECT_EQ(pages[1023].Doc.ImageWidth, 3);

    pages.resize(1);
    const FileResult r = LoadIconSet(test::SharedImageIcon(test::SharedImage::Dib32, 3, 1025), 10, pages, type);
    EXPECT_FALSE(r);
    EXPECT_EQ(r.Message, kTooManyPages);
    EXPECT_EQ(pages.size(), 1u);
}

TEST(IconSetLimits, PixelsInAllAreBoundedBeforeAnyImageIsDecoded) {
    // Four 4096 x 4096 headers are exactly 64 M pixels; one more pixel is beyond. The images hold
    // no pixels at all, so a refusal for the limit shows nothing was decoded first.
    std::vector<std::pair<int, int>> sides(4, {4096, 4096});
    IconDirectory dir;
    std::vector<uint8_t> bytes = HeadersOnly(sides);
    ASSERT_TRUE(ReadIconDirectory(bytes, dir));
    EXPECT_EQ(MeasureIconSet(bytes, dir).Pixels, 67108864u);
    EXPECT_TRUE(CheckIconSetLimits(bytes, dir));

    sides.push_back({1, 1});
    bytes = HeadersOnly(sides);
    ASSERT_TRUE(ReadIconDirectory(bytes, dir));
    EXPECT_EQ(CheckIconSetLimits(bytes, dir).Message, kTooManyPixels);
    std::vector<IconSetPage> pages;
    int type = 0;
    EXPECT_EQ(LoadIconSet(bytes, 10, pages, type).Message, kTooManyPixels);
    EXPECT_TRUE(pages.empty());

    // Odd, non-square sides count as they are (4095 x 4097 + 3 x 5 = 16,777,230 + 15).
    bytes = HeadersOnly({{4095, 4097}, {3, 5}});
    ASSERT_TRUE(ReadIconDirectory(bytes, dir));
    EXPECT_EQ(MeasureIconSet(bytes, dir).Pixels, 4095u * 4097u + 15u);
}

TEST(IconSetLimits, EntriesSharingOneImageGetEqualPagesWithTheirOwnHotspots) {
    // A cursor: entries 0 and 2 share one 32-bit image, entry 1 has its own 4-bit one.
    const Document own = Random(5, 7, 16, 3);
    const StoredIconImage second = Page(own, IconPageKind::Palette);
    const std::vector<uint8_t> shared = AlphaDib(6, 4, 9);
    std::vector<uint8_t> bytes;
    ByteWriter put(bytes);
    put.U16(0), put.U16(2), put.U16(3);
    const uint32_t data = 6 + 48, sharedSize = uint32_t(shared.size()), secondSize = uint32_t(second.Data.size());
    put.Bytes(std::array<uint8_t, 4>{6, 4, 0, 0}), put.U16(1), put.U16(2), put.U32(sharedSize), put.U32(data);
    put.Bytes(std::array<uint8_t, 4>{5, 7, 16, 0}), put.U16(4), put.U16(6), put.U32(secondSize), put.U32(data + sharedSize);
    put.Bytes(std::array<uint8_t, 4>{6, 4, 0, 0}), put.U16(5), put.U16(3), put.U32(sharedSize), put.U32(data);
    put.Bytes(shared);
    put.Bytes(second.Data);

    std::vector<IconSetPage> pages;
    int type = 0;
    ASSERT_TRUE(LoadIconSet(bytes, 10, pages, type));
    ASSERT_EQ(pages.size(), 3u);
    EXPECT_EQ(type, kCursorResourceType);
    EXPECT_EQ(pages[0].Doc.LayerAt(0).Indices, pages[2].Doc.LayerAt(0).Indices);
    EXPECT_EQ(pages[0].Doc.LayerAt(0).Mask, pages[2].Doc.LayerAt(0).Mask);
    EXPECT_EQ(pages[0].Doc.Palette, pages[2].Doc.Palette);
    EXPECT_EQ(pages[0].Stored.Data, pages[2].Stored.Data);
    EXPECT_EQ(pages[2].Kind, IconPageKind::TrueColor);
    EXPECT_EQ(pages[0].Doc.Origin.Index, 0);
    EXPECT_EQ(pages[2].Doc.Origin.Index, 2);
    EXPECT_EQ(pages[0].Doc.HotspotX, 1);
    EXPECT_EQ(pages[0].Doc.HotspotY, 2);
    EXPECT_EQ(pages[2].Doc.HotspotX, 5);
    EXPECT_EQ(pages[2].Doc.HotspotY, 3);
    EXPECT_EQ(pages[1].Doc.ImageWidth, 5);
    EXPECT_EQ(pages[1].Doc.LayerAt(0).Indices, own.LayerAt(0).Indices);
}

TEST(IconSetLimits, DataRepeatedByEveryEntryIsBoundedInAll) {
    // 1000 entries listing one 1 x 1 image followed by 200 KB their byte count takes in: each
    // page would hold its own copy, 200 MB in all.
    std::vector<uint8_t> image = test::SharedImageIcon(test::SharedImage::Dib32, 1, 1);
    image.erase(image.begin(), image.begin() + 22);
    image.resize(200 * 1024, 0xAB);
    std::vector<uint8_t> bytes;
    ByteWriter put(bytes);
    put.U16(0), put.U16(1), put.U16(1000);
    for (int i = 0; i < 1000; ++i)
        put.Bytes(std::array<uint8_t, 8>{1, 1, 0, 0, 1, 0, 32, 0}), put.U32(uint32_t(image.size())), put.U32(6 + 16000);
    put.Bytes(image);
    const test::ChildCost cost = test::RunInChild([&bytes] {
        std::vector<IconSetPage> pages;
        int type = 0;
        const FileResult r = LoadIconSet(bytes, 10, pages, type);
        return !r.Ok && r.Message ==
                            "このアイコンは画像のデータが大きすぎるため、すべては開けません。一度に開けるのは合わせて128MBまでです。"
                   ? 0
                   : 1;
    });
    EXPECT_EQ(cost.Status, 0);
    EXPECT_LT(cost.PeakKiB, test::MemoryBoundKiB(100 * 1024));
    // 600 entries (120 MB) are within the bound.
    bytes[4] = uint8_t(600 & 0xFF), bytes[5] = uint8_t(600 >> 8);
    IconDirectory dir;
    ASSERT_TRUE(ReadIconDirectory(bytes, dir));
    EXPECT_TRUE(CheckIconSetLimits(bytes, dir));
}

}  // namespace
}  // namespace pq
