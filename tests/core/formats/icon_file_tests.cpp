#include <gtest/gtest.h>

#include <png.h>

#include <array>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>

#include "core/formats/icon_file.h"
#include "support/test_paths.h"

namespace pq {
namespace {

using test::CorpusDir;
using test::DataDir;
using test::HaveCorpus;
using test::TempDir;

using Rgba = std::array<uint8_t, 4>;

std::vector<uint8_t> ReadAll(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// The picture as an icon shows it: palette colour where painted, 0,0,0,0 where transparent.
std::vector<Rgba> Shown(const Document& d) {
    std::vector<Rgba> px;
    const Layer& l = d.LayerAt(0);
    for (int i = 0; i < d.PixelCount(); ++i) {
        if (!l.Mask[i]) {
            px.push_back({0, 0, 0, 0});
        } else {
            Rgb c = d.ColorOf(l.Indices[i]);
            px.push_back({c.r, c.g, c.b, 255});
        }
    }
    return px;
}

// A reference PNG as RGBA, fully transparent pixels as 0,0,0,0.
bool ReadPng(const std::filesystem::path& p, int& w, int& h, std::vector<Rgba>& px) {
    png_image img{};
    img.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&img, p.c_str())) return false;
    img.format = PNG_FORMAT_RGBA;
    std::vector<uint8_t> buf(PNG_IMAGE_SIZE(img));
    if (!png_image_finish_read(&img, nullptr, buf.data(), 0, nullptr)) return false;
    w = int(img.width);
    h = int(img.height);
    px.clear();
    for (std::size_t i = 0; i + 3 < buf.size(); i += 4)
        px.push_back(buf[i + 3] == 0 ? Rgba{0, 0, 0, 0} : Rgba{buf[i], buf[i + 1], buf[i + 2], buf[i + 3]});
    return true;
}

uint64_t Fnv1a64(const std::vector<Rgba>& px) {
    uint64_t h = 0xcbf29ce484222325ull;
    for (const Rgba& p : px)
        for (uint8_t b : p) h = (h ^ b) * 0x100000001b3ull;
    return h;
}

// Three layers, the middle one hidden; the bottom paints everything but the last row.
Document Sample(int w, int h, int colors, uint32_t seed) {
    Document d;
    InitBlankDocument(d, w, h, colors, 20);
    std::mt19937 rng(seed);
    d.AppendLayer();
    d.AppendLayer();
    for (int i = 0; i < 3; ++i) {
        Layer& l = d.LayerAt(i);
        for (int k = 0; k < d.PixelCount(); ++k) {
            l.Indices[k] = uint8_t(rng() % unsigned(colors));
            l.Mask[k] = i == 0 ? (k < d.PixelCount() - w) : rng() % 3 == 0;
        }
    }
    d.LayerAt(1).Visible = 0;
    for (int i = 0; i < colors; ++i) d.Palette[i] = PaletteEntry{uint8_t(rng()), uint8_t(rng()), uint8_t(rng()), 0};
    return d;
}

// What the written icon must show: top visible layer's painted pixel, else transparent index 0.
void Composite(const Document& d, Plane& indices, Plane& mask) {
    indices.assign(d.PixelCount(), 0);
    mask.assign(d.PixelCount(), 0);
    for (const Layer& l : d.Layers()) {
        if (!l.Visible) continue;
        for (int k = 0; k < d.PixelCount(); ++k)
            if (l.Mask[k]) {
                indices[k] = l.Indices[k];
                mask[k] = 1;
            }
    }
}

TEST(IconFile, FileSizesDepthsAndABlankPictureFullyTransparent) {
    const int expected[3][2] = {{318, 1406}, {766, 2238}, {1662, 3774}};
    for (int s = 0; s < 3; ++s)
        for (int c = 0; c < 2; ++c) {
            Document d;
            const int side = 16 * (s + 1), colors = c ? 256 : 16;
            InitBlankDocument(d, side, side, colors, 20);
            std::vector<uint8_t> b = EncodeIcon(d, kIconResourceType, 0, 0);
            ASSERT_EQ(b.size(), std::size_t(expected[s][c])) << side << " " << colors;
            EXPECT_EQ(b[8], colors == 16 ? 16 : 0);  // colour count byte
            EXPECT_EQ(b[36], colors == 16 ? 4 : 8);  // bits per pixel
            // A blank document: every pixel transparent with index 0.
            const std::size_t maskBytes = (side + 31) / 32 * 4 * side;
            for (std::size_t i = b.size() - maskBytes; i < b.size(); ++i) ASSERT_EQ(b[i], 0xFF);
            for (std::size_t i = 62 + 4 * colors; i < b.size() - maskBytes; ++i) ASSERT_EQ(b[i], 0);
        }
}

TEST(IconFile, RoundTripOfIconsAndCursorsAtFourAndEightBits) {
    TempDir dir;
    for (int colors : {16, 256})
        for (int type : {kIconResourceType, kCursorResourceType})
            for (int side : {16, 32, 48, 5}) {
                SCOPED_TRACE(testing::Message() << colors << " colours, type " << type << ", side " << side);
                Document saved = Sample(side, side + 2, colors, uint32_t(side * colors + type));
                std::filesystem::path path = dir / (type == 1 ? "a.ico" : "a.cur");
                ASSERT_TRUE(SaveIconFile(saved, path, type, type == 2 ? 3 : 0, type == 2 ? 5 : 0));
                Document loaded;
                ASSERT_TRUE(LoadIconFile(path, 0, loaded, 20));
                Plane indices, mask;
                Composite(saved, indices, mask);
                ASSERT_EQ(loaded.LayerCount(), 1);
                EXPECT_EQ(loaded.LayerAt(0).Name, "レイヤ1");
                EXPECT_EQ(loaded.LayerAt(0).Visible, 1);
                EXPECT_EQ(loaded.ImageWidth, side);
                EXPECT_EQ(loaded.ImageHeight, side + 2);
                EXPECT_EQ(loaded.ColorCount, colors);
                EXPECT_EQ(loaded.LayerAt(0).Indices, indices);
                EXPECT_EQ(loaded.LayerAt(0).Mask, mask);
                for (int i = 0; i < colors; ++i) ASSERT_EQ(loaded.Palette[i], saved.Palette[i]) << i;

                IconDirectory dir2;
                ASSERT_TRUE(ReadIconDirectory(ReadAll(path), dir2));
                EXPECT_EQ(dir2.ResourceType, type);
                EXPECT_EQ(dir2.Entries[0].PlanesOrHotspotX, type == 2 ? 3 : 0);
                EXPECT_EQ(dir2.Entries[0].BitCountOrHotspotY, type == 2 ? 5 : 0);
                EXPECT_EQ(dir2.Entries[0].ImageBitCount, colors == 16 ? 4 : 8);
            }
}

TEST(IconFile, HandMadeFilesOfOddWidthAndTheChooserLines) {
    // Written by tests/data/tools/make_test_files.py: 5 x 3; 4-bit index (x + 3y) % 16,
    // transparent at (0,0) and (4,2); 8-bit index (40x + 7y) & 255, transparent where x == y.
    Document d;
    ASSERT_TRUE(LoadIconFile(DataDir() / "odd_width_4bit.ico", 0, d, 20));
    ASSERT_EQ(d.ImageWidth, 5);
    ASSERT_EQ(d.ColorCount, 16);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) {
            EXPECT_EQ(d.LayerAt(0).Indices[x + 5 * y], (x + 3 * y) % 16);
            EXPECT_EQ(d.LayerAt(0).Mask[x + 5 * y], (x == 0 && y == 0) || (x == 4 && y == 2) ? 0 : 1);
        }
    EXPECT_EQ(d.ColorOf(3), (Rgb{51, 204, 120}));
    for (int i = 16; i < 256; ++i) EXPECT_EQ(d.Palette[i], PaletteEntry{});

    ASSERT_TRUE(LoadIconFile(DataDir() / "odd_width_8bit.cur", 0, d, 20));
    ASSERT_EQ(d.ColorCount, 256);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) {
            EXPECT_EQ(d.LayerAt(0).Indices[x + 5 * y], (40 * x + 7 * y) & 255);
            EXPECT_EQ(d.LayerAt(0).Mask[x + 5 * y], x == y ? 0 : 1);
        }
    EXPECT_EQ(d.ColorOf(200), (Rgb{200, 88, 55}));

    const std::vector<uint8_t> two = ReadAll(DataDir() / "two_images.ico");
    IconDirectory dir;
    ASSERT_TRUE(ReadIconDirectory(two, dir));
    ASSERT_EQ(dir.Entries.size(), 2u);
    EXPECT_EQ(IconEntryLabel(0, dir.Entries[0]), "0： サイズ：5×3 色数：16色");
    EXPECT_EQ(IconEntryLabel(1, dir.Entries[1]), "1： サイズ：5×3 色数：256色");
    IconDirEntry e;
    e.Width = e.Height = 32;
    e.ColorCountByte = 16;
    EXPECT_EQ(IconEntryLabel(0, e), "0： サイズ：32×32 色数：16色");
    ASSERT_TRUE(LoadIconBytes(two, 1, d, 20));
    EXPECT_EQ(d.ColorCount, 256);
    ASSERT_TRUE(LoadIconBytes(two, 0, d, 20));
    EXPECT_EQ(d.ColorCount, 16);
    EXPECT_EQ(LoadIconBytes(two, 2, d, 20).Message, kIconOpenError);
    EXPECT_EQ(LoadIconBytes(two, -1, d, 20).Message, kIconOpenError);
}

TEST(IconFile, ColourByteSixteenWithEightBitsGivesTwoHundredFiftySixColours) {
    Document saved = Sample(16, 16, 256, 9);
    std::vector<uint8_t> b = EncodeIcon(saved, kIconResourceType, 0, 0);
    b[8] = 16;
    Document d;
    ASSERT_TRUE(LoadIconBytes(b, 0, d, 20));
    EXPECT_EQ(d.ColorCount, 256);
}

TEST(IconFile, MalformedFilesAreRefusedAndLeaveTheDocumentUntouched) {
    Document d;
    InitBlankDocument(d, 48, 48, 256, 20);
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(DataDir() / "bad")) {
        const std::string ext = entry.path().extension().string();
        if (ext != ".ico" && ext != ".cur") continue;
        ++count;
        FileResult r = LoadIconFile(entry.path(), 0, d, 20);
        EXPECT_FALSE(r) << entry.path();
        EXPECT_EQ(r.Message, kIconOpenError) << entry.path();
    }
    EXPECT_GE(count, 15);
    EXPECT_EQ(d.ImageWidth, 48);

    const std::vector<uint8_t> good = ReadAll(DataDir() / "two_images.ico");
    for (std::size_t n = 0; n < good.size(); ++n) {
        // Cut inside the second image: the first one still opens.
        FileResult r = LoadIconBytes(std::span(good.data(), n), 1, d, 20);
        ASSERT_EQ(r.Message, kIconOpenError) << n;
    }
    EXPECT_EQ(d.ImageWidth, 48);

    std::mt19937 rng(3);
    for (int i = 0; i < 4000; ++i) {
        std::vector<uint8_t> b = good;
        for (int k = 0; k < 2; ++k) b[rng() % b.size()] ^= uint8_t(1u << (rng() % 8));
        Document out;
        FileResult r = LoadIconBytes(b, int(rng() % 2), out, 20);
        if (r)
            ASSERT_EQ(out.LayerAt(0).Mask.size(), std::size_t(out.PixelCount()));
        else
            ASSERT_EQ(r.Message, kIconOpenError);
    }
}

TEST(IconFile, CorpusEntriesDecodeToWhatOtherDecodersShow) {
    if (!HaveCorpus()) GTEST_SKIP() << "no corpus";
    // Hashes of the RGBA pictures other decoders agree on: tests/data/tools/make_icon_expectations.py.
    std::ifstream list(DataDir() / "icon_expectations.txt");
    std::string line;
    int checked = 0;
    while (std::getline(list, line)) {
        std::istringstream in(line);
        std::string path, hash;
        int index = 0, w = 0, h = 0;
        in >> path >> index >> w >> h >> hash;
        Document d;
        FileResult r = LoadIconFile(CorpusDir() / path, index, d, 20);
        ASSERT_TRUE(r) << path << " #" << index << ": " << r.Message;
        EXPECT_EQ(d.ImageWidth, w) << path << " #" << index;
        EXPECT_EQ(d.ImageHeight, h) << path << " #" << index;
        char got[17];
        std::snprintf(got, sizeof got, "%016llx", static_cast<unsigned long long>(Fnv1a64(Shown(d))));
        EXPECT_EQ(got, hash) << path << " #" << index;
        ++checked;
    }
    EXPECT_GE(checked, 250);
}

TEST(IconFile, CorpusIconsMatchTheirSourceAndReferencePictures) {
    if (!HaveCorpus()) GTEST_SKIP() << "no corpus";
    struct Case {
        const char* icon;
        int index;
        const char* png;
    };
    const Case cases[] = {
        {"peers/work/it_4.ico", 0, "peers/work/in_pal4_32.png"},
        {"peers/work/it_8.ico", 0, "peers/work/in_pal8_32.png"},
        {"peers/work/it_4as8.ico", 0, "peers/work/in_pal4_32.png"},
        {"peers/work/it_4m.ico", 0, "peers/work/in_pal4_32_rgba_mask.png"},
        {"peers/work/it_8m.ico", 0, "peers/work/in_pal8_32_rgba_mask.png"},
        {"peers/work/it_4.cur", 0, "peers/work/in_pal4_32_rgba_mask.png"},
        {"peers/work/it_8.cur", 0, "peers/work/in_pal8_32_rgba_mask.png"},
        {"peers/work/it_multi.ico", 0, "peers/work/in_pal4_32.png"},
        {"peers/work/it_multi.ico", 1, "peers/work/in_pal8_32.png"},
        {"peers/work/im_a.ico", 0, "peers/work/in_pal4_32.png"},
        {"peers/work/im_i.ico", 0, "peers/work/in_pal4_32_rgba_mask.png"},
        {"peers/work/im_j.ico", 0, "peers/work/in_pal8_32_rgba_mask.png"},
        {"peers/work/pil_b.ico", 0, "peers/work/in_pal4_32.png"},  // 12-entry colour table
        {"image-rs/images/ico/images/smile.ico", 0, "image-rs/reference/ico/images/smile.ico.png"},
        {"gdk-pixbuf/test-images/reftests/squares.ico", 0, "gdk-pixbuf/test-images/reftests/squares.ico.ref.png"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.icon);
        Document d;
        FileResult r = LoadIconFile(CorpusDir() / c.icon, c.index, d, 20);
        ASSERT_TRUE(r) << r.Message;
        int w = 0, h = 0;
        std::vector<Rgba> expected;
        ASSERT_TRUE(ReadPng(CorpusDir() / c.png, w, h, expected));
        ASSERT_EQ(d.ImageWidth, w);
        ASSERT_EQ(d.ImageHeight, h);
        const std::vector<Rgba> shown = Shown(d);
        int differing = 0;
        for (std::size_t i = 0; i < shown.size(); ++i) differing += shown[i] != expected[i];
        EXPECT_EQ(differing, 0);
    }
}

TEST(IconFile, CorpusBrokenEntriesAreRefused) {
    if (!HaveCorpus()) GTEST_SKIP() << "no corpus";
    // True-colour, PNG and monochrome entries open (icon_images_tests.cpp); these do not.
    const std::pair<const char*, int> refused[] = {
        {"pillow/ico/decompression_bomb.ico", 0},
        {"pillow/cur/no_cursors.cur", 0},
    };
    for (const auto& [file, index] : refused) {
        Document d;
        FileResult r = LoadIconFile(CorpusDir() / file, index, d, 20);
        EXPECT_FALSE(r) << file << " #" << index;
        EXPECT_EQ(r.Message, kIconOpenError) << file << " #" << index;
    }
    // Every entry of the files broken on purpose.
    int files = 0;
    for (const char* folder : {"gdk-pixbuf/test-images/fail", "gdk-pixbuf/test-images/randomly-modified",
                               "image-rs/regression/ico", "image-rs/bad/ico"}) {
        if (!std::filesystem::is_directory(CorpusDir() / folder)) continue;
        for (const auto& entry : std::filesystem::directory_iterator(CorpusDir() / folder)) {
            if (entry.path().extension() != ".ico") continue;
            // Its only fault is an entry byte count smaller than its image: it opens (below).
            if (entry.path().filename() == "Bad_smile-incorrect-image-length.ico") continue;
            ++files;
            const std::vector<uint8_t> bytes = ReadAll(entry.path());
            IconDirectory dir;
            const std::size_t n = ReadIconDirectory(bytes, dir) ? dir.Entries.size() : 1;
            for (std::size_t i = 0; i < n; ++i) {
                Document d;
                EXPECT_EQ(LoadIconBytes(bytes, int(i), d, 20).Message, kIconOpenError) << entry.path() << " #" << i;
            }
        }
    }
    EXPECT_GE(files, 10);
}

TEST(IconFile, EveryWineCursorOpensAtItsImageSizeWithItsHotspot) {
    if (!HaveCorpus()) GTEST_SKIP() << "no corpus";
    // Monochrome and true-colour system cursors whose directory gives half the height: each
    // opens at the size of its image, with the hotspot of its entry.
    for (const auto& entry : std::filesystem::directory_iterator(CorpusDir() / "wine-extracted/cur")) {
        const std::vector<uint8_t> bytes = ReadAll(entry.path());
        IconDirectory dir;
        ASSERT_TRUE(ReadIconDirectory(bytes, dir)) << entry.path();
        for (std::size_t i = 0; i < dir.Entries.size(); ++i) {
            SCOPED_TRACE(entry.path().filename().string() + " #" + std::to_string(i));
            Document d;
            ASSERT_TRUE(LoadIconBytes(bytes, int(i), d, 20));
            int w = 0, h = 0;
            ASSERT_TRUE(IconImageSize(bytes, dir.Entries[i], w, h));
            EXPECT_EQ(d.ImageWidth, w);
            EXPECT_EQ(d.ImageHeight, h);
            EXPECT_EQ(d.ImageHeight, 2 * dir.Entries[i].Height);
            EXPECT_TRUE(d.HasHotspot);
            EXPECT_EQ(d.HotspotX, dir.Entries[i].PlanesOrHotspotX);
            EXPECT_EQ(d.HotspotY, dir.Entries[i].BitCountOrHotspotY);
        }
    }
}

// The entry's byte count is not consulted: an image whose data lies inside the file opens
// even when the count is smaller than the image, as other decoders open it.
TEST(IconFile, EntriesWhoseByteCountIsTooSmallOpenFromTheirData) {
    Document cut, whole;
    ASSERT_TRUE(LoadIconFile(DataDir() / "bytes_in_res_short.ico", 0, cut, 20).Ok);
    const std::vector<uint8_t> fixed = [] {
        std::vector<uint8_t> b = ReadAll(DataDir() / "bytes_in_res_short.ico");
        b[14] += 1;   // the byte count as it should be
        return b;
    }();
    ASSERT_TRUE(LoadIconBytes(fixed, 0, whole, 20).Ok);
    EXPECT_EQ(cut.Layers(), whole.Layers());
    EXPECT_EQ(cut.Palette, whole.Palette);
    // Still refused: data that runs past the end of the file.
    std::vector<uint8_t> shorter = fixed;
    shorter.pop_back();
    EXPECT_FALSE(LoadIconBytes(shorter, 0, whole, 20).Ok);

    if (!HaveCorpus()) return;
    Document bad, good;
    ASSERT_TRUE(LoadIconFile(CorpusDir() / "image-rs/bad/ico/Bad_smile-incorrect-image-length.ico", 0, bad, 20).Ok);
    ASSERT_TRUE(LoadIconFile(CorpusDir() / "image-rs/images/ico/images/smile.ico", 0, good, 20).Ok);
    EXPECT_EQ(bad.Layers(), good.Layers());
    EXPECT_EQ(bad.Palette, good.Palette);
    Document cursor;
    ASSERT_TRUE(LoadIconFile(CorpusDir() / "pillow/cur/mask_L.cur", 0, cursor, 20).Ok);
    EXPECT_EQ(cursor.ImageWidth, 1);
    EXPECT_EQ(cursor.ImageHeight, 4);
}

// The size an entry opens at comes from its image, not from the directory's bytes; listing
// whether each entry opens needs no decoding, so a directory of 65535 entries that all share
// one image is listed in one pass.
TEST(IconFile, EntrySizesComeFromTheImageAndListingIsOnePass) {
    Document doc;
    InitBlankDocument(doc, 200, 40, 16, 20);
    std::vector<uint8_t> one = EncodeIcon(doc, kIconResourceType, 0, 0);
    ASSERT_FALSE(one.empty());
    EXPECT_EQ(one[6], 200);
    std::vector<uint8_t> many(6 + 65535 * 16);
    std::copy(one.begin(), one.begin() + 6, many.begin());
    many[4] = many[5] = 0xFF;
    for (std::size_t i = 0; i < 65535; ++i) {
        std::copy(one.begin() + 6, one.begin() + 22, many.begin() + std::ptrdiff_t(6 + 16 * i));
        many[6 + 16 * i] = 0;   // the directory says 256 x 40
        const uint32_t offset = uint32_t(many.size());
        std::memcpy(many.data() + 6 + 16 * i + 12, &offset, 4);
    }
    many.insert(many.end(), one.begin() + 22, one.end());
    IconDirectory dir;
    ASSERT_TRUE(ReadIconDirectory(many, dir).Ok);
    ASSERT_EQ(dir.Entries.size(), 65535u);
    for (const IconDirEntry& e : dir.Entries) {
        int w = 0, h = 0;
        ASSERT_TRUE(IconImageOpens(many, e));
        ASSERT_TRUE(IconImageSize(many, e, w, h));
        ASSERT_EQ(w, 200);
        ASSERT_EQ(h, 40);
    }
    Document last;
    ASSERT_TRUE(LoadIconImage(many, dir, 65534, last, 20).Ok);
    EXPECT_EQ(last.ImageWidth, 200);

    if (!HaveCorpus()) return;
    const std::vector<uint8_t> wine = ReadAll(CorpusDir() / "wine-extracted/ico/winecfg.exe_14_102_0.ico");
    ASSERT_TRUE(ReadIconDirectory(wine, dir).Ok);
    int w = 0, h = 0;
    ASSERT_TRUE(IconImageSize(wine, dir.Entries[0], w, h));
    EXPECT_EQ(w, 194);   // the directory says 256 x 256
    EXPECT_EQ(h, 313);
    ASSERT_TRUE(LoadIconImage(wine, dir, 0, last, 20).Ok);
    EXPECT_EQ(last.ImageHeight, 313);
}

// Sides up to 256 are written (256 as 0 in the directory); anything larger is refused before
// a file is written, as the directory cannot hold it.
TEST(IconFile, OnlySidesUpTo256AreWritten) {
    TempDir dir;
    Document doc;
    InitBlankDocument(doc, 256, 20, 256, 20);
    ASSERT_TRUE(SaveIconFile(doc, dir / "a.ico", kIconResourceType, 0, 0).Ok);
    const std::vector<uint8_t> bytes = ReadAll(dir / "a.ico");
    EXPECT_EQ(bytes[6], 0);
    EXPECT_EQ(bytes[7], 20);
    Document back;
    ASSERT_TRUE(LoadIconBytes(bytes, 0, back, 20).Ok);
    EXPECT_EQ(back.ImageWidth, 256);

    for (auto [w, h] : {std::pair{300, 20}, std::pair{20, 257}}) {
        InitBlankDocument(doc, w, h, 16, 20);
        EXPECT_TRUE(EncodeIcon(doc, kIconResourceType, 0, 0).empty());
        const FileResult r = SaveIconFile(doc, dir / "b.cur", kCursorResourceType, 0, 0);
        EXPECT_FALSE(r.Ok);
        EXPECT_NE(r.Message.find(kIconTooLargeMessage), std::string::npos) << r.Message;
        EXPECT_FALSE(std::filesystem::exists(dir / "b.cur"));
    }
}

}  // namespace
}  // namespace pq
