#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <random>

#include "core/formats/atomic_write.h"
#include "core/formats/native_document.h"
#include "core/io/sjis.h"
#include "support/test_paths.h"

namespace pq {
namespace {

using test::DataDir;
using test::TempDir;

std::vector<uint8_t> ReadAll(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void Fill(Layer& l, uint32_t seed, int colors) {
    std::mt19937 rng(seed);
    for (auto& v : l.Indices) v = uint8_t(rng() % unsigned(colors));
    for (auto& v : l.Mask) v = uint8_t(rng() % 3 == 0 ? 0 : 1);
}

// Three layers: a painted bottom "背景", a hidden one, and one with an empty name; palette
// entries beyond the 16 in use carry colours and reserved bytes of their own.
Document Sample(int w, int h, int colors) {
    Document d;
    InitBlankDocument(d, w, h, colors, 20);
    Fill(d.LayerAt(0), 1, colors);
    d.LayerAt(0).Name = "背景";
    d.AppendLayer();
    Fill(d.LayerAt(1), 2, colors);
    d.LayerAt(1).Visible = 0;
    d.AppendLayer();
    Fill(d.LayerAt(2), 3, colors);
    d.LayerAt(2).Name = "";
    for (int i = 16; i < 256; ++i) d.Palette[i] = PaletteEntry{uint8_t(i), uint8_t(255 - i), uint8_t(i * 7), uint8_t(i % 5)};
    return d;
}

std::vector<uint8_t> OneLayer16() {
    Document d;
    InitBlankDocument(d, 16, 16, 16, 20);
    return EncodeDocument(d);
}

void PutInt(std::vector<uint8_t>& b, std::size_t at, int32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(uint32_t(v) >> (8 * i));
}

TEST(NativeDocument, RoundTripKeepsLayersNamesVisibilityAndTheWholePalette) {
    TempDir dir;
    for (int colors : {16, 256}) {
        Document saved = Sample(32, 24, colors);
        ASSERT_TRUE(SaveDocumentFile(saved, dir / "a.pqf"));
        Document loaded;
        ASSERT_TRUE(LoadDocumentFile(dir / "a.pqf", loaded, 20));
        EXPECT_EQ(loaded.ImageWidth, 32);
        EXPECT_EQ(loaded.ImageHeight, 24);
        EXPECT_EQ(loaded.ColorCount, colors);
        EXPECT_EQ(loaded.Layers(), saved.Layers());  // names, visible flags, both planes
        EXPECT_EQ(loaded.Palette, saved.Palette);    // entries 16-255 too, for 16 colours
        EXPECT_EQ(loaded.LayerAt(1).Visible, 0);
        EXPECT_EQ(loaded.LayerAt(2).Name, "");
        EXPECT_EQ(loaded.CurrentLayer(), 0);
        EXPECT_EQ(loaded.DrawColor, 0);
        EXPECT_EQ(loaded.AuxColor, 8);
        EXPECT_EQ(loaded.Zoom, 10);  // the zoom rule of a blank 32 x 24 document
        EXPECT_TRUE(loaded.Ready);
        EXPECT_EQ(loaded.FloatMask.size(), 32u * 24u);
    }
}

TEST(NativeDocument, ByteLayoutOfAOneLayerDocument) {
    std::vector<uint8_t> b = OneLayer16();
    ASSERT_EQ(b.size(), 1568u);
    EXPECT_EQ(std::memcmp(b.data(), "pqf\0", 4), 0);
    EXPECT_EQ(b[4], 16);
    EXPECT_EQ(b[8], 16);
    EXPECT_EQ(b[12], 16);
    EXPECT_EQ(b[16 + 4 * 8], 255);  // entry 8 (white): blue
    EXPECT_EQ(b[1040], 1);          // layer count
    EXPECT_EQ(b[1044], 7);          // "レイヤ1" in Shift-JIS
    const uint8_t name[] = {0x83, 0x8C, 0x83, 0x43, 0x83, 0x84, '1'};
    EXPECT_EQ(std::memcmp(b.data() + 1048, name, 7), 0);
    EXPECT_EQ(b[1055], 1);  // visible

    Document d;
    InitBlankDocument(d, 16, 16, 16, 20);
    d.LayerAt(0).Indices[1 + 2 * 16] = 9;
    d.LayerAt(0).Mask[1 + 2 * 16] = 1;
    b = EncodeDocument(d);
    EXPECT_EQ(b[1056 + 33], 9);
    EXPECT_EQ(b[1056 + 256 + 33], 1);
}

TEST(NativeDocument, NameStopsAtAZeroByteAndVisibleKeepsTheStoredByte) {
    std::vector<uint8_t> b = OneLayer16();
    // Replace the 7 name bytes by "ab\0cd" + 2 more: still 7 bytes.
    const char name[] = {'a', 'b', 0, 'c', 'd', 'e', 'f'};
    std::memcpy(b.data() + 1048, name, 7);
    b[1055] = 2;
    Document d;
    ASSERT_TRUE(LoadDocumentBytes(b, d, 20));
    EXPECT_EQ(d.LayerAt(0).Name, "ab");
    EXPECT_EQ(d.LayerAt(0).Visible, 2);
    EXPECT_EQ(d.Zoom, 20);
}

TEST(NativeDocument, RefusesStoredNumbersThatDoNotFitTheModelOrTheData) {
    const std::vector<uint8_t> good = OneLayer16();
    struct Case {
        const char* what;
        std::size_t at;
        int32_t value;
    };
    const Case cases[] = {
        {"width 0", 4, 0},          {"width -1", 4, -1},           {"width 4097", 4, 4097},
        {"height 0", 8, 0},         {"height 4097", 8, 4097},      {"colours 17", 12, 17},
        {"colours 0", 12, 0},       {"layers 0", 1040, 0},         {"layers -1", 1040, -1},
        {"layers 2", 1040, 2},      {"layers huge", 1040, 0x7FFFFFFF}, {"name length -1", 1044, -1},
        {"name length huge", 1044, 0x7FFFFFFF}, {"name length past planes", 1044, 8},
        {"width 17", 4, 17},        {"height 4096", 8, 4096},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> b = good;
        PutInt(b, c.at, c.value);
        Document d;
        FileResult r = LoadDocumentBytes(b, d, 20);
        EXPECT_FALSE(r) << c.what;
        EXPECT_EQ(r.Message, kDocumentOpenError) << c.what;
    }
    for (const char* sig : {"pqfX", "pqg\0", "PQF\0"}) {
        std::vector<uint8_t> b = good;
        std::memcpy(b.data(), sig, 4);
        Document d;
        EXPECT_EQ(LoadDocumentBytes(b, d, 20).Message, kDocumentOpenError) << sig;
    }
}

TEST(NativeDocument, EveryTruncationIsRefusedAndLeavesTheDocumentUntouched) {
    std::vector<uint8_t> good = EncodeDocument(Sample(5, 3, 256));
    Document d;
    InitBlankDocument(d, 48, 48, 256, 20);
    d.LayerAt(0).Name = "keep";
    const Document before = d;
    for (std::size_t n = 0; n < good.size(); ++n) {
        FileResult r = LoadDocumentBytes(std::span(good.data(), n), d, 20);
        ASSERT_FALSE(r) << n;
        ASSERT_EQ(r.Message, kDocumentOpenError) << n;
    }
    EXPECT_EQ(d.ImageWidth, 48);
    EXPECT_EQ(d.Layers(), before.Layers());
    EXPECT_EQ(d.Palette, before.Palette);
}

TEST(NativeDocument, BitFlipsAreReadOrRefusedNeverTrusted) {
    const std::vector<uint8_t> good = EncodeDocument(Sample(4, 4, 16));
    std::mt19937 rng(7);
    for (int i = 0; i < 4000; ++i) {
        std::vector<uint8_t> b = good;
        for (int k = 0; k < 3; ++k) b[rng() % b.size()] ^= uint8_t(1u << (rng() % 8));
        Document d;
        FileResult r = LoadDocumentBytes(b, d, 20);
        if (r) {
            ASSERT_GE(d.LayerCount(), 1);
            for (const Layer& l : d.Layers()) ASSERT_EQ(l.Mask.size(), std::size_t(d.PixelCount()));
        } else {
            ASSERT_EQ(r.Message, kDocumentOpenError);
        }
    }
}

TEST(NativeDocument, FilesInTheDataFolder) {
    // Written by tests/data/tools/make_test_files.py: 5 x 3, 16 colours, layer i holds index
    // (k * (i + 3) + i) % 16 at pixel k, painted where (k + i) % 3 != 0.
    Document d;
    ASSERT_TRUE(LoadDocumentFile(DataDir() / "three_layers.pqf", d, 20));
    ASSERT_EQ(d.LayerCount(), 3);
    EXPECT_EQ(d.LayerAt(0).Name, "背景");
    EXPECT_EQ(d.LayerAt(1).Name, "レイヤ2");
    EXPECT_EQ(d.LayerAt(1).Visible, 0);
    EXPECT_EQ(d.LayerAt(2).Name, "");
    for (int i = 0; i < 3; ++i)
        for (int k = 0; k < 15; ++k) {
            EXPECT_EQ(d.LayerAt(i).Indices[k], (k * (i + 3) + i) % 16) << i << " " << k;
            EXPECT_EQ(d.LayerAt(i).Mask[k], (k + i) % 3 ? 1 : 0) << i << " " << k;
        }
    EXPECT_EQ(d.Palette[200], (PaletteEntry{200, 55, uint8_t(1400 & 255), 0}));
    EXPECT_EQ(d.ColorOf(8), kWhite);
    int bad = 0;
    for (const auto& entry : std::filesystem::directory_iterator(DataDir() / "bad")) {
        if (entry.path().extension() != ".pqf") continue;
        Document refused;
        EXPECT_EQ(LoadDocumentFile(entry.path(), refused, 20).Message, kDocumentOpenError) << entry.path();
        ++bad;
    }
    EXPECT_GE(bad, 9);
}

TEST(NativeDocument, AMissingFileIsReportedByName) {
    TempDir dir;
    Document d;
    FileResult r = LoadDocumentFile(dir / "none.pqf", d, 20);
    EXPECT_FALSE(r);
    EXPECT_NE(r.Message.find("none.pqf"), std::string::npos);
}

// A 37 x 23 truecolour document of three layers: soft pixels at the bottom, a hidden layer, a
// top layer with an empty name; swatches of its own.
Document TrueColorSample() {
    Document d;
    InitBlankTrueColorDocument(d, 37, 23, 20);
    std::mt19937 rng(11);
    constexpr uint8_t kAlphas[] = {0, 1, 45, 128, 254, 255};
    std::vector<Layer> layers(3);
    for (Layer& l : layers) {
        l.Pixels.resize(37 * 23);
        for (Rgba8& p : l.Pixels) p = Rgba8{uint8_t(rng()), uint8_t(rng()), uint8_t(rng()), kAlphas[rng() % 6]};
    }
    layers[0].Name = "背景";
    layers[1].Name = "レイヤ2";
    layers[1].Visible = 0;
    layers[2].Name = "";
    d.ReplaceLayers(std::move(layers), 0);
    for (int i = 0; i < 256; ++i) d.Palette[std::size_t(i)] = PaletteEntry{uint8_t(i), uint8_t(i * 3), uint8_t(255 - i), 0};
    return d;
}

TEST(NativeDocument, TruecolourDocumentsRoundTripEveryLayerAndValue) {
    TempDir dir;
    const Document saved = TrueColorSample();
    const std::vector<uint8_t> bytes = EncodeDocument(saved);
    // The header and layer records as for 16/256 colours, colours 32 and four bytes a pixel.
    ASSERT_EQ(bytes.size(), 1044 + (5 + 4 + 4 * 37 * 23) + (5 + 7 + 4 * 37 * 23) + (5 + 0 + 4 * 37 * 23));
    EXPECT_EQ(std::memcmp(bytes.data(), "pqf\0", 4), 0);
    EXPECT_EQ(bytes[12], 32);
    const std::size_t first = 1044 + 4 + 4 + 1;   // the first pixel of "背景" (4 Shift-JIS bytes)
    const Rgba8 p0 = saved.LayerAt(0).Pixels[0];
    EXPECT_EQ((std::vector<uint8_t>(bytes.begin() + first, bytes.begin() + first + 4)), (std::vector<uint8_t>{p0.r, p0.g, p0.b, p0.a}));

    ASSERT_TRUE(SaveDocumentFile(saved, dir / "t.pqf"));
    Document loaded;
    ASSERT_TRUE(LoadDocumentFile(dir / "t.pqf", loaded, 20));
    EXPECT_TRUE(loaded.TrueColor);
    EXPECT_EQ(loaded.ImageWidth, 37);
    EXPECT_EQ(loaded.ImageHeight, 23);
    EXPECT_EQ(loaded.Layers(), saved.Layers());   // names, visibility, every colour and alpha
    EXPECT_EQ(loaded.Palette, saved.Palette);
    EXPECT_EQ(loaded.CurrentLayer(), 0);
    EXPECT_EQ(loaded.FloatPixels.size(), 37u * 23u);
    EXPECT_TRUE(loaded.Ready);
    EXPECT_EQ(EncodeDocument(loaded), bytes);

    // A layer whose pixels do not match the size is not stored.
    Document broken = saved;
    broken.LayerAt(1).Pixels.pop_back();
    EXPECT_TRUE(EncodeDocument(broken).empty());
    EXPECT_FALSE(SaveDocumentFile(broken, dir / "t.pqf"));
    EXPECT_EQ(ReadAll(dir / "t.pqf"), bytes);
}

TEST(NativeDocument, OldFilesAreReadAndWrittenByteForByte) {
    const std::vector<uint8_t> file = ReadAll(DataDir() / "three_layers.pqf");
    Document d;
    ASSERT_TRUE(LoadDocumentBytes(file, d, 20));
    EXPECT_FALSE(d.TrueColor);
    EXPECT_EQ(d.ColorCount, 16);
    EXPECT_EQ(EncodeDocument(d), file);
    for (int colors : {16, 256}) {
        const std::vector<uint8_t> b = EncodeDocument(Sample(7, 5, colors));
        Document again;
        ASSERT_TRUE(LoadDocumentBytes(b, again, 20));
        EXPECT_FALSE(again.TrueColor);
        EXPECT_EQ(EncodeDocument(again), b);
        EXPECT_EQ(b.size(), 1044 + (5 + 4 + 70) + (5 + 7 + 70) + (5 + 70));
    }
}

TEST(NativeDocument, DamagedTruecolourFilesAreRefused) {
    const std::vector<uint8_t> good = EncodeDocument(TrueColorSample());
    Document d;
    InitBlankDocument(d, 48, 48, 256, 20);
    d.LayerAt(0).Name = "keep";
    const Document before = d;
    auto refused = [&](const std::vector<uint8_t>& b, const std::string& what) {
        const FileResult r = LoadDocumentBytes(b, d, 20);
        EXPECT_EQ(r.Message, kDocumentOpenError) << what;
        EXPECT_FALSE(r.Ok) << what;
    };
    // Cut anywhere: in the header, a name, a layer's pixels, the last pixel's alpha.
    for (std::size_t n : {std::size_t(13), std::size_t(1044), std::size_t(1044 + 6), std::size_t(1044 + 13 + 100),
                          good.size() - 4 * 37 * 23, good.size() - 1})
        refused(std::vector<uint8_t>(good.begin(), good.begin() + std::ptrdiff_t(n)), "cut at " + std::to_string(n));
    auto patched = [&](std::size_t at, int32_t v) {
        std::vector<uint8_t> b = good;
        PutInt(b, at, v);
        return b;
    };
    refused(patched(1040, 4), "four layers claimed");
    refused(patched(1040, 0), "no layer");
    refused(patched(1040, -1), "negative layer count");
    refused(patched(1040, 0x7FFFFFFF), "huge layer count");
    refused(patched(1044, -5), "negative name length");
    refused(patched(1044, 1 << 30), "name past the end");
    refused(patched(4, 38), "width one more than the pixels");
    refused(patched(8, 5000), "height beyond the limit");
    refused(patched(12, 24), "a colour count of no kind");
    // Truecolour pixels read as palette planes, or palette planes as truecolour pixels, do not fit.
    refused(patched(12, 16), "truecolour layers under a 16-colour header");
    {
        std::vector<uint8_t> b = EncodeDocument(Sample(37, 23, 256));
        PutInt(b, 12, 32);
        refused(b, "palette planes under a truecolour header");
    }
    EXPECT_EQ(d.ImageWidth, 48);
    EXPECT_FALSE(d.TrueColor);
    EXPECT_EQ(d.Layers(), before.Layers());
}

TEST(AtomicWrite, AFailedSaveKeepsTheOldFileAndLeavesNoTemporaryFile) {
    TempDir dir;
    Document good = Sample(8, 8, 16);
    ASSERT_TRUE(SaveDocumentFile(good, dir / "a.pqf"));
    const std::vector<uint8_t> before = ReadAll(dir / "a.pqf");

    Document broken = good;
    broken.LayerAt(1).Mask.resize(3);  // cannot be stored
    FileResult r = SaveDocumentFile(broken, dir / "a.pqf");
    EXPECT_FALSE(r);
    EXPECT_NE(r.Message.find("a.pqf"), std::string::npos);
    EXPECT_EQ(ReadAll(dir / "a.pqf"), before);

    // A folder in the way: the rename fails, the folder stays and no temporary file is left.
    std::filesystem::create_directory(dir / "b.pqf");
    EXPECT_FALSE(SaveDocumentFile(good, dir / "b.pqf"));
    EXPECT_TRUE(std::filesystem::is_directory(dir / "b.pqf"));
    EXPECT_FALSE(SaveDocumentFile(good, dir / "missing" / "c.pqf"));
    int files = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir.Path())) files += e.is_regular_file();
    EXPECT_EQ(files, 1);
}

TEST(AtomicWrite, ReplacesTheContentAndKeepsThePermissions) {
    TempDir dir;
    const std::vector<uint8_t> one = {1, 2, 3}, two = {4, 5};
    ASSERT_TRUE(WriteFileAtomically(dir / "f", one));
    std::filesystem::permissions(dir / "f", std::filesystem::perms(0640));
    ASSERT_TRUE(WriteFileAtomically(dir / "f", two));
    EXPECT_EQ(ReadAll(dir / "f"), two);
    EXPECT_EQ(std::filesystem::status(dir / "f").permissions(), std::filesystem::perms(0640));
}

}  // namespace
}  // namespace pq
