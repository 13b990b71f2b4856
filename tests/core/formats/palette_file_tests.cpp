#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "core/formats/palette_file.h"
#include "support/test_paths.h"

namespace pq {
namespace {

using test::CorpusDir;
using test::DataDir;
using test::HaveCorpus;
using test::TempDir;

std::vector<uint8_t> ReadAll(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}
std::vector<uint8_t> Bytes(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

Document Doc(int colors) {
    Document d;
    InitBlankDocument(d, 16, 16, colors, 20);
    for (int i = 0; i < 256; ++i) d.Palette[i] = PaletteEntry{uint8_t(i), uint8_t(i ^ 0x55), uint8_t(255 - i), uint8_t(i & 3)};
    return d;
}

// A palette whose every entry is distinct from Doc()'s, to see what a load replaced.
PaletteTable Marked() {
    PaletteTable p;
    for (int i = 0; i < 256; ++i) p[i] = PaletteEntry{7, 7, 7, 9};
    return p;
}

TEST(PaletteFile, PqpSizesLayoutAndRoundTrip) {
    TempDir dir;
    for (int colors : {16, 256}) {
        Document d = Doc(colors);
        ASSERT_TRUE(SavePalette(d, dir / "p.pqp", PaletteFormat::Pqp));
        const std::vector<uint8_t> b = ReadAll(dir / "p.pqp");
        ASSERT_EQ(b.size(), colors == 16 ? 71u : 1031u);
        EXPECT_EQ(std::string(b.begin(), b.begin() + 3), "pqp");
        EXPECT_EQ(b[3] | b[4] << 8, colors);
        EXPECT_EQ(b[7 + 4 * 5 + 3], 5 & 3);  // reserved bytes stored as held

        PaletteTable p = Marked();
        ASSERT_TRUE(LoadPaletteBytes(b, "p.pqp", colors, p));
        for (int i = 0; i < colors; ++i) EXPECT_EQ(p[i], d.Palette[i]) << i;
        if (colors == 256) continue;
        // 16 entries into a 16-colour document: the rest keeps its reserved bytes and colours.
        for (int i = 16; i < 256; ++i) EXPECT_EQ(p[i], (PaletteEntry{7, 7, 7, 9})) << i;
        // ... and into a 256-colour one: red, green and blue of 16-255 become 0.
        p = Marked();
        ASSERT_TRUE(LoadPaletteBytes(b, "p.pqp", 256, p));
        for (int i = 16; i < 256; ++i) EXPECT_EQ(p[i], (PaletteEntry{0, 0, 0, 9})) << i;
    }
    // 256 entries into a 16-colour document fill all 256.
    PaletteTable p = Marked();
    ASSERT_TRUE(LoadPaletteBytes(EncodePalette(Doc(256), PaletteFormat::Pqp), "x", 16, p));
    EXPECT_EQ(p, Doc(256).Palette);
}

TEST(PaletteFile, JascTextIsExactAndRecognisedByContent) {
    TempDir dir;
    Document d = Doc(16);
    d.Palette[0] = PaletteEntry{0, 0, 0, 0};
    // The JASC format chosen with a .pqp name still writes text.
    ASSERT_TRUE(SavePalette(d, dir / "p.pqp", PaletteFormat::Jasc));
    const std::vector<uint8_t> b = ReadAll(dir / "p.pqp");
    const std::string text(b.begin(), b.end());
    EXPECT_EQ(text.substr(0, 27), "JASC-PAL\r\n0100\r\n16\r\n0 0 0\r\n");
    EXPECT_NE(text.find("\r\n254 84 1\r\n"), std::string::npos);  // entry 1: red, green, blue
    int lines = 0;
    for (std::size_t i = 0; i + 1 < text.size(); ++i) lines += text[i] == '\r' && text[i + 1] == '\n';
    EXPECT_EQ(lines, 19);
    EXPECT_EQ(text.back(), '\n');

    PaletteTable p = Marked();
    ASSERT_TRUE(LoadPaletteBytes(b, "p.pqp", 16, p));
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(EntryColor(p[i]), EntryColor(d.Palette[i])) << i;
        EXPECT_EQ(p[i].reserved, 9) << "reserved bytes untouched";
    }
    EXPECT_EQ(DescribePaletteFile(b, "p.pqp").Kind, PaletteKind::Jasc);
    EXPECT_EQ(DescribePaletteFile(b, "p.pqp").StoredCount, 16);
}

TEST(PaletteFile, JascCountsAgainstTheColourCount) {
    std::string text = "JASC-PAL\r\n0100\r\n256\r\n";
    for (int i = 0; i < 256; ++i) text += std::to_string(i) + " 1 2\r\n";
    PaletteTable p = Marked();
    ASSERT_TRUE(LoadPaletteBytes(Bytes(text), "a.pal", 16, p));
    EXPECT_EQ(EntryColor(p[15]), (Rgb{15, 1, 2}));
    EXPECT_EQ(p[16], (PaletteEntry{7, 7, 7, 9}));  // only the first 16 lines read

    text = "JASC-PAL\r\n0100\r\n200\r\n";
    for (int i = 0; i < 200; ++i) text += "1 2 3\r\n";
    p = Marked();
    ASSERT_TRUE(LoadPaletteBytes(Bytes(text), "a.pal", 256, p));
    EXPECT_EQ(EntryColor(p[199]), (Rgb{1, 2, 3}));
    EXPECT_EQ(p[200], (PaletteEntry{7, 7, 7, 9}));  // 200-255 as they were

    // Lines ending in LF alone and trailing blanks are read too.
    Document d = Doc(256);
    d.Palette = Marked();
    ASSERT_TRUE(LoadPaletteFile(DataDir() / "three_lf.pal", d));
    p = d.Palette;
    EXPECT_EQ(EntryColor(p[0]), (Rgb{10, 20, 30}));
    EXPECT_EQ(EntryColor(p[1]), (Rgb{40, 50, 60}));
    EXPECT_EQ(EntryColor(p[2]), (Rgb{255, 0, 7}));
    EXPECT_EQ(EntryColor(p[3]), (Rgb{7, 7, 7}));     // count 3 <= 16 into 256 colours:
    EXPECT_EQ(EntryColor(p[16]), (Rgb{0, 0, 0}));    // 16-255 cleared
}

TEST(PaletteFile, ActAndRiff) {
    std::vector<uint8_t> act(768);
    for (std::size_t i = 0; i < act.size(); ++i) act[i] = uint8_t(i % 251);
    PaletteTable p = Marked();
    ASSERT_TRUE(LoadPaletteBytes(act, "x.ACT", 256, p));
    EXPECT_EQ(EntryColor(p[255]), (Rgb{uint8_t(765 % 251), uint8_t(766 % 251), uint8_t(767 % 251)}));
    EXPECT_EQ(p[255].reserved, 9);
    act.resize(48);
    p = Marked();
    ASSERT_TRUE(LoadPaletteBytes(act, "x.act", 256, p));
    EXPECT_EQ(EntryColor(p[15]), (Rgb{45, 46, 47}));
    EXPECT_EQ(EntryColor(p[16]), (Rgb{0, 0, 0}));
    // Without the extension the same bytes are no palette: nothing changes, no message.
    p = Marked();
    FileResult r = LoadPaletteBytes(act, "x.pal", 256, p);
    EXPECT_FALSE(r);
    EXPECT_EQ(r.Message, "");
    EXPECT_EQ(p, Marked());

    std::vector<uint8_t> riff = Bytes(std::string("RIFF\0\0\0\0PAL data\0\0\0\0\0\x03\x02\0", 24));
    riff.insert(riff.end(), {10, 20, 30, 1, 40, 50, 60, 0});
    p = Marked();
    ASSERT_TRUE(LoadPaletteBytes(riff, "r.pal", 16, p));
    EXPECT_EQ(p[0], (PaletteEntry{30, 20, 10, 1}));
    EXPECT_EQ(p[1], (PaletteEntry{60, 50, 40, 0}));
    EXPECT_EQ(p[2], (PaletteEntry{7, 7, 7, 9}));
}

TEST(PaletteFile, MalformedFilesAreRefusedAndLeaveThePaletteUntouched) {
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(DataDir() / "bad")) {
        const std::string ext = entry.path().extension().string();
        if (ext != ".pal" && ext != ".pqp") continue;
        ++count;
        Document d = Doc(256);
        const PaletteTable before = d.Palette;
        FileResult r = LoadPaletteFile(entry.path(), d);
        EXPECT_FALSE(r) << entry.path();
        EXPECT_EQ(r.Message, kPaletteFileError) << entry.path();
        EXPECT_EQ(d.Palette, before) << entry.path();
    }
    EXPECT_GE(count, 10);

    // Every truncation of a written file is read whole or refused with the message.
    for (PaletteFormat f : {PaletteFormat::Pqp, PaletteFormat::Jasc}) {
        const std::vector<uint8_t> b = EncodePalette(Doc(16), f);
        for (std::size_t n = 8; n < b.size(); ++n) {  // long enough to be recognised
            PaletteTable p = Marked();
            FileResult r = LoadPaletteBytes(std::span(b.data(), n), "t.pal", 16, p);
            if (!r) {
                EXPECT_EQ(r.Message, kPaletteFileError) << n;
                EXPECT_EQ(p, Marked()) << n;
            }
        }
    }
    TempDir dir;
    Document d = Doc(16);
    EXPECT_NE(LoadPaletteFile(dir / "missing.pqp", d).Message.find("missing.pqp"), std::string::npos);
}

TEST(PaletteFile, CorpusPalettesOfEveryKindReadTheirColours) {
    if (!HaveCorpus()) GTEST_SKIP() << "no corpus";
    const std::filesystem::path dir = CorpusDir() / "palettes";
    auto load = [&](const std::string& name, int colors, PaletteKind kind) {
        const std::vector<uint8_t> b = ReadAll(dir / name);
        EXPECT_EQ(DetectPaletteKind(b, name), kind) << name;
        PaletteTable p{};
        FileResult r = LoadPaletteBytes(b, std::filesystem::path(name).filename(), colors, p);
        EXPECT_TRUE(r) << name << ": " << r.Message;
        return p;
    };
    // The same palettes written by another library as JASC, RIFF and .act agree entry by entry.
    for (const char* base : {"Color_names_supported_by_all_browsers.skp", "KDE40.colors", "emoji-average-colors.gpl",
                             "ios.sketchpalette"}) {
        const std::string stem = std::string("anypalette-out/") + base + ".out";
        const PaletteTable jasc = load(stem + ".jasc.pal", 256, PaletteKind::Jasc);
        const PaletteTable riff = load(stem + ".pal", 256, PaletteKind::Riff);
        const PaletteTable act = load(stem + ".act", 256, PaletteKind::Act);
        const int stated = DescribePaletteFile(ReadAll(dir / (stem + ".pal")), "x.pal").StoredCount;
        EXPECT_EQ(DescribePaletteFile(ReadAll(dir / (stem + ".jasc.pal")), "x").StoredCount, stated) << base;
        for (int i = 0; i < std::min(stated, 256); ++i) {
            EXPECT_EQ(EntryColor(jasc[i]), EntryColor(riff[i])) << base << " " << i;
            EXPECT_EQ(EntryColor(jasc[i]), EntryColor(act[i])) << base << " " << i;
        }
        // Headerless 768-byte .pal files are not recognised.
        EXPECT_EQ(DetectPaletteKind(ReadAll(dir / (stem + ".raw768.pal")), "x.pal"), PaletteKind::Unknown);
    }
    EXPECT_EQ(DescribePaletteFile(ReadAll(dir / "anypalette-out/emoji-average-colors.gpl.out.pal"), "x").StoredCount,
              1816);

    const std::string cpc = "colorpalettecodable/";
    const PaletteTable act = load(cpc + "act/arne-v20-16.act", 256, PaletteKind::Act);
    const PaletteTable riff = load(cpc + "riff/arne-v20-16.pal", 256, PaletteKind::Riff);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(EntryColor(act[i]), EntryColor(riff[i])) << i;
    EXPECT_EQ(EntryColor(act[2]), (Rgb{255, 255, 255}));
    EXPECT_EQ(EntryColor(act[3]), (Rgb{190, 38, 51}));
    load(cpc + "act/16pal_v20.act", 16, PaletteKind::Act);
    EXPECT_EQ(EntryColor(load(cpc + "riff/sample.pal", 256, PaletteKind::Riff)[1]), (Rgb{128, 0, 0}));

    const PaletteTable db16 = load(cpc + "paintshoppro/DB16.pal", 16, PaletteKind::Jasc);
    EXPECT_EQ(EntryColor(db16[0]), (Rgb{208, 70, 72}));
    EXPECT_EQ(EntryColor(db16[1]), (Rgb{68, 36, 52}));
    EXPECT_EQ(EntryColor(load(cpc + "paintshoppro/jasc256.pal", 256, PaletteKind::Jasc)[1]), (Rgb{128, 0, 0}));
    EXPECT_EQ(EntryColor(load(cpc + "paintshoppro/paintnet-palette.pal", 256, PaletteKind::Jasc)[1]),
              (Rgb{255, 106, 0}));
    EXPECT_EQ(EntryColor(load(cpc + "paintshoppro/atari-800xl-palette.psppalette", 256, PaletteKind::Jasc)[1]),
              (Rgb{37, 37, 37}));
    // No colours at all: into a 256-colour document entries 16-255 are cleared, nothing else.
    PaletteTable p = Marked();
    ASSERT_TRUE(LoadPaletteBytes(ReadAll(dir / (cpc + "paintshoppro/empty.pal")), "empty.pal", 256, p));
    EXPECT_EQ(p[0], (PaletteEntry{7, 7, 7, 9}));
    EXPECT_EQ(p[16], (PaletteEntry{0, 0, 0, 9}));

    // Other kinds of palette text are ignored without a message.
    for (const char* other : {"colorpalettecodable/coreldrawpal/DB32-CDR.PAL", "colorpalettecodable/gimp/Default.gpl",
                              "colorpalettecodable/vga24bit/atari-7800-palette.pal",
                              "colorpalettecodable/paintnet/Paint_NET.txt"}) {
        PaletteTable q = Marked();
        FileResult r = LoadPaletteBytes(ReadAll(dir / other), std::filesystem::path(other).filename(), 256, q);
        EXPECT_FALSE(r) << other;
        EXPECT_EQ(r.Message, "") << other;
        EXPECT_EQ(q, Marked()) << other;
    }
}

}  // namespace
}  // namespace pq
