// pqtool run as a separate process: output lines, exit statuses, messages on stderr, and the
// files it writes checked against the core readers and writers.
#include <gtest/gtest.h>

#include <png.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "core/document/document.h"
#include "core/document/render.h"
#include "core/formats/atomic_write.h"
#include "core/formats/bitmap_file.h"
#include "core/formats/bmp_reader.h"
#include "core/formats/icon_container.h"
#include "core/formats/icon_file.h"
#include "core/formats/icon_images.h"
#include "core/formats/icon_set.h"
#include "core/formats/native_document.h"
#include "core/formats/palette_file.h"
#include "core/formats/picture_import.h"
#include "core/formats/png_file.h"
#include "core/formats/program_icons.h"
#include "core/io/byte_io.h"
#include "core/ops/resample.h"
#include "support/png_encode.h"
#include "support/run_pqtool.h"
#include "support/test_paths.h"

namespace fs = std::filesystem;
using namespace pq;
using pq::test::CorpusDir;
using pq::test::HaveCorpus;
using pq::test::PqtoolPath;
using pq::test::RunResult;
using pq::test::TempDir;

namespace {

RunResult Pqtool(const std::vector<std::string>& args) { return test::RunPqtool(args); }

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// A 32 x 32 document with three layers: a painted bottom, a hidden middle that paints the
// transparent corner, and a top layer named with a quote. Pixels x >= 24, y >= 24 stay
// unpainted by the visible layers.
Document MakeLayeredDocument(int colors) {
    Document doc;
    InitBlankDocument(doc, 32, 32, colors, 10);
    for (int i = 0; i < 256; ++i) doc.Palette[std::size_t(i)] = PaletteEntry{uint8_t(i), uint8_t(255 - i), uint8_t(i * 7), 0};
    Layer& bottom = doc.LayerAt(0);
    bottom.Name = "背景";
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x)
            if (x < 24 || y < 24) {
                bottom.Indices[std::size_t(x + 32 * y)] = uint8_t((x + 3 * y) % colors);
                bottom.Mask[std::size_t(x + 32 * y)] = 1;
            }
    doc.AppendLayer();
    Layer& hidden = doc.LayerAt(1);
    hidden.Visible = 0;
    std::fill(hidden.Indices.begin(), hidden.Indices.end(), uint8_t(5));
    std::fill(hidden.Mask.begin(), hidden.Mask.end(), uint8_t(1));
    doc.AppendLayer();
    Layer& top = doc.LayerAt(2);
    top.Name = "say \"hi\"";
    for (int i = 0; i < 8; ++i) {
        top.Indices[std::size_t(i + 32 * i)] = uint8_t(colors - 1);
        top.Mask[std::size_t(i + 32 * i)] = 1;
    }
    return doc;
}

Composite Flatten(const Document& doc) {
    Composite c;
    Recompose(doc, TransparencyColors{}, c);
    return c;
}

Document LoadPqf(const fs::path& p) {
    Document doc;
    EXPECT_TRUE(LoadDocumentFile(p, doc, 10).Ok) << p;
    return doc;
}

void WriteBytes(const fs::path& p, const std::vector<uint8_t>& bytes) {
    std::ofstream out(p, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

}  // namespace

TEST(PqtoolUsage, HelpForEveryCommandGoesToStdoutWithStatusZero) {
    for (std::vector<std::string> args : std::vector<std::vector<std::string>>{
             {"--help"}, {"info", "--help"}, {"convert", "--help"}, {"extract", "x.dll", "--help"}, {"pack", "--help"},
             {"convert", "--bogus", "-h"}}) {
        const RunResult r = Pqtool(args);
        EXPECT_EQ(r.Status, 0) << args[0];
        EXPECT_TRUE(r.Err.empty()) << r.Err;
        const std::string command = args.size() > 1 ? args[0] : "COMMAND";
        EXPECT_EQ(r.Out.rfind("usage: pqtool " + command, 0), 0u) << r.Out;
    }
    const RunResult v = Pqtool({"--version"});
    EXPECT_EQ(std::tie(v.Status, v.Out, v.Err), std::tuple(0, "pqtool " PQ_VERSION "\n", ""));
}

TEST(PqtoolUsage, WrongUsageExitsTwoWithoutWritingAnything) {
    TempDir dir;
    const fs::path in = dir / "in.pqf";
    ASSERT_TRUE(SaveDocumentFile(MakeLayeredDocument(16), in).Ok);
    const fs::path picture = dir / "in.bmp";
    ASSERT_TRUE(SaveBitmapFile(MakeLayeredDocument(16), picture).Ok);
    const std::string out = (dir / "out.pqf").string();

    struct Case {
        std::vector<std::string> args;
        std::string errPart;
    };
    const std::vector<Case> cases = {
        {{}, "usage: pqtool"},
        {{"frobnicate"}, "unknown command 'frobnicate'"},
        {{"info"}, "missing FILE"},
        {{"convert", in.string()}, "missing OUT"},
        {{"convert", in.string(), out, "--bogus", "1"}, "unknown option '--bogus'"},
        {{"convert", in.string(), out, "-x"}, "unknown option '-x'"},
        {{"convert", in.string(), (dir / "out.txt").string()}, "no writer"},
        {{"convert", (dir / "in.gif").string(), out}, "no reader"},
        {{"convert", picture.string(), out, "--index"}, "needs a value"},
        {{"convert", picture.string(), out, "--size", "257"}, "--size must be N or WxH"},
        {{"convert", picture.string(), out, "--size", "0x8"}, "--size must be"},
        {{"convert", picture.string(), out, "--size", "32x"}, "--size must be"},
        {{"convert", picture.string(), out, "--colors", "255"}, "--colors must be 16 or 256"},
        {{"convert", picture.string(), out, "--colors=16", "--colors=256"}, "more than once"},
        {{"convert", picture.string(), out, "--area", "0,0,8"}, "four numbers"},
        {{"convert", picture.string(), out, "--area", "0,0,8,8,8"}, "four numbers"},
        {{"convert", picture.string(), out, "--area", "0,+1,8,8"}, "not a whole number"},
        {{"convert", picture.string(), out, "--area", "0, 1,8,8"}, "not a whole number"},
        {{"convert", picture.string(), out, "--area", "9,0,8,8"}, "L <= R"},
        {{"convert", picture.string(), out, "--area", "0,9,8,8"}, "T <= B"},
        {{"convert", picture.string(), out, "--area", "0,0,99999999999,8"}, "not a whole number"},
        {{"convert", in.string(), out, "--size", "16"}, "applies to .bmp, .jpg, .jpeg and .png"},
        {{"convert", in.string(), out, "--index", "0"}, "applies to .ico and .cur"},
        {{"extract", "prog.exe"}, "missing OUTDIR"},
        {{"extract", "prog.exe", dir.Path().string(), "--index", "1e3"}, "not a whole number"},
    };
    for (const Case& c : cases) {
        const RunResult r = Pqtool(c.args);
        std::string joined;
        for (const std::string& a : c.args) joined += a + " ";
        EXPECT_EQ(r.Status, 2) << joined;
        EXPECT_NE(r.Err.find(c.errPart), std::string::npos) << joined << "\n" << r.Err;
        EXPECT_TRUE(r.Out.empty()) << joined;
        EXPECT_FALSE(fs::exists(out)) << joined;
    }

    // An icon index beyond the directory is a usage error too.
    const fs::path ico = dir / "one.ico";
    ASSERT_TRUE(SaveIconFile(MakeLayeredDocument(16), ico, kIconResourceType, 0, 0).Ok);
    const RunResult r = Pqtool({"convert", ico.string(), out, "--index", "1"});
    EXPECT_EQ(r.Status, 2);
    EXPECT_NE(r.Err.find("holds 1 image"), std::string::npos) << r.Err;
    EXPECT_FALSE(fs::exists(out));
}

TEST(PqtoolInfo, DescribesEachKindOfFileWeWrite) {
    TempDir dir;
    const Document doc = MakeLayeredDocument(16);
    ASSERT_TRUE(SaveDocumentFile(doc, dir / "doc.pqf").Ok);
    RunResult r = Pqtool({"info", (dir / "doc.pqf").string()});
    EXPECT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(Lines(r.Out), (std::vector<std::string>{"type: document", "size: 32x32", "colors: 16", "layers: 3",
                                                      "layer 0: visible \"背景\"", "layer 1: hidden \"レイヤ2\"",
                                                      "layer 2: visible \"say \\\"hi\\\"\""}));

    // A cursor with its hotspot, and an icon whose one entry the editor cannot open.
    ASSERT_TRUE(SaveIconFile(MakeLayeredDocument(256), dir / "c.cur", kCursorResourceType, 3, 5).Ok);
    r = Pqtool({"info", (dir / "c.cur").string()});
    EXPECT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(Lines(r.Out), (std::vector<std::string>{"type: cursor", "images: 1",
                                                      "image 0: 32x32 256色, color count byte 0, 8 bits per pixel, hotspot 3,5, "
                                                      "set: kept byte for byte unless edited (then 8-bit)"}));
    std::vector<uint8_t> ico = EncodeIcon(doc, kIconResourceType, 0, 0);
    ico[8] = 2;   // colour count byte of a 1-bit image
    WriteBytes(dir / "odd.ico", ico);
    r = Pqtool({"info", (dir / "odd.ico").string()});
    EXPECT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(Lines(r.Out), (std::vector<std::string>{"type: icon", "images: 1",
                                                      "image 0: 32x32 16色, color count byte 2, 4 bits per pixel (cannot be opened)",
                                                      "set: cannot be opened as a set (image 0 cannot be opened)"}));

    ASSERT_TRUE(SaveBitmapFile(doc, dir / "b.bmp").Ok);
    r = Pqtool({"info", (dir / "b.bmp").string()});
    EXPECT_EQ(Lines(r.Out), (std::vector<std::string>{"type: bitmap", "size: 32x32", "depth: 24 bits per pixel",
                                                      "compression: none"}));

    // Palettes by extension and, under another name, by content.
    ASSERT_TRUE(SavePalette(MakeLayeredDocument(256), dir / "p.pqp", PaletteFormat::Pqp).Ok);
    r = Pqtool({"info", (dir / "p.pqp").string()});
    EXPECT_EQ(Lines(r.Out), (std::vector<std::string>{"type: palette", "kind: pqp", "entries: 256"}));
    ASSERT_TRUE(SavePalette(doc, dir / "p.txt", PaletteFormat::Jasc).Ok);
    r = Pqtool({"info", (dir / "p.txt").string()});
    EXPECT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(Lines(r.Out), (std::vector<std::string>{"type: palette", "kind: JASC-PAL", "entries: 16"}));
    // A .pqf under another name is recognised by its signature.
    fs::copy_file(dir / "doc.pqf", dir / "doc.bin");
    r = Pqtool({"info", (dir / "doc.bin").string()});
    EXPECT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(Lines(r.Out).at(0), "type: document");
}

TEST(PqtoolInfo, CorpusFilesOfEveryKind) {
    if (!HaveCorpus()) GTEST_SKIP() << "no corpus";
    const fs::path c = CorpusDir();
    struct Case {
        fs::path file;
        std::vector<std::string> lines;
    };
    const std::vector<Case> cases = {
        {c / "pe/windres-demo/it_multi.ico",
         {"type: icon", "images: 2",
          "image 0: 32x32 16色, color count byte 16, 4 bits per pixel, set: kept byte for byte unless edited (then 4-bit)",
          "image 1: 32x32 256色, color count byte 0, 8 bits per pixel, set: kept byte for byte unless edited (then 8-bit)"}},
        {c / "pe/windres-demo/it_4.cur",
         {"type: cursor", "images: 1",
          "image 0: 32x32 16色, color count byte 16, 4 bits per pixel, hotspot 3,5, set: kept byte for byte unless edited (then 4-bit)"}},
        {c / "bmpsuite/g/pal8.bmp", {"type: bitmap", "size: 127x64", "depth: 8 bits per pixel", "compression: none"}},
        {c / "pillow/jpg/pil_sample_cmyk.jpg", {"type: jpeg", "size: 100x100", "depth: 32 bits per pixel (CMYK)"}},
        {c / "palettes/colorpalettecodable/riff/sample.pal", {"type: palette", "kind: RIFF", "entries: 256"}},
        {c / "palettes/colorpalettecodable/paintshoppro/empty.pal", {"type: palette", "kind: JASC-PAL", "entries: 0"}},
        {c / "pe/windres-demo/iconsonly.dll",
         {"type: program", "icons: 1", "icon 0: group 1, 2 images, uses 32x32 8 bits per pixel"}},
    };
    for (const Case& k : cases) {
        const RunResult r = Pqtool({"info", k.file.string()});
        EXPECT_EQ(r.Status, 0) << k.file << r.Err;
        EXPECT_EQ(Lines(r.Out), k.lines) << k.file;
    }
    const RunResult regedit = Pqtool({"info", (c / "pe/regedit.exe").string()});
    EXPECT_EQ(regedit.Status, 0);
    const std::vector<std::string> lines = Lines(regedit.Out);
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_EQ(lines[1], "icons: 6");
    EXPECT_EQ(lines[2].rfind("icon 0: group 100, 10 images, uses 32x32", 0), 0u) << lines[2];
}

TEST(PqtoolConvert, DocumentThroughIconAndCursorKeepsTheVisiblePixels) {
    TempDir dir;
    for (int colors : {16, 256}) {
        SCOPED_TRACE(colors);
        const Document doc = MakeLayeredDocument(colors);
        const fs::path pqf = dir / "doc.pqf", ico = dir / "doc.ico", cur = dir / "doc.cur", back = dir / "back.pqf";
        ASSERT_TRUE(SaveDocumentFile(doc, pqf).Ok);
        ASSERT_EQ(Pqtool({"convert", pqf.string(), ico.string()}).Status, 0);
        ASSERT_EQ(Pqtool({"convert", pqf.string(), cur.string()}).Status, 0);
        // The writers the editor's Save As uses for these names, hotspot (0, 0).
        std::vector<uint8_t> bytes;
        ASSERT_TRUE(ReadFileBytes(ico, bytes).Ok);
        EXPECT_EQ(bytes, EncodeIcon(doc, kIconResourceType, 0, 0));
        ASSERT_TRUE(ReadFileBytes(cur, bytes).Ok);
        EXPECT_EQ(bytes, EncodeIcon(doc, kCursorResourceType, 0, 0));

        const RunResult r = Pqtool({"convert", cur.string(), back.string()});
        ASSERT_EQ(r.Status, 0) << r.Err;
        const Document reread = LoadPqf(back);
        EXPECT_EQ(reread.ColorCount, colors);
        ASSERT_EQ(reread.LayerCount(), 1);
        const Composite a = Flatten(doc), b = Flatten(reread);
        EXPECT_EQ(a.CompositeMask, b.CompositeMask);
        EXPECT_EQ(a.CompositeColor, b.CompositeColor);
        EXPECT_EQ(reread.LayerAt(0).Mask[31 + 32 * 31], 0);   // painted by the hidden layer only
    }
}

TEST(PqtoolConvert, BitmapPaletteAndDocumentOutputsUseTheEditorsWriters) {
    TempDir dir;
    const Document doc = MakeLayeredDocument(16);
    const fs::path pqf = dir / "doc.pqf";
    ASSERT_TRUE(SaveDocumentFile(doc, pqf).Ok);
    std::vector<uint8_t> bytes;
    // Extensions are compared without regard to case.
    ASSERT_EQ(Pqtool({"convert", pqf.string(), (dir / "o.BMP").string()}).Status, 0);
    ASSERT_TRUE(ReadFileBytes(dir / "o.BMP", bytes).Ok);
    EXPECT_EQ(bytes, EncodeBitmap(doc));
    ASSERT_EQ(Pqtool({"convert", pqf.string(), (dir / "o.pqp").string()}).Status, 0);
    ASSERT_TRUE(ReadFileBytes(dir / "o.pqp", bytes).Ok);
    EXPECT_EQ(bytes.size(), 71u);
    EXPECT_EQ(bytes, EncodePalette(doc, PaletteFormat::Pqp));
    ASSERT_EQ(Pqtool({"convert", pqf.string(), (dir / "o.pal").string()}).Status, 0);
    ASSERT_TRUE(ReadFileBytes(dir / "o.pal", bytes).Ok);
    EXPECT_EQ(bytes, EncodePalette(doc, PaletteFormat::Jasc));
    // .pqf to .pqf keeps every layer, hidden ones and names included.
    ASSERT_EQ(Pqtool({"convert", pqf.string(), (dir / "copy.pqf").string()}).Status, 0);
    const Document copy = LoadPqf(dir / "copy.pqf");
    EXPECT_EQ(copy.Layers(), doc.Layers());
    EXPECT_EQ(copy.Palette, doc.Palette);
}

TEST(PqtoolConvert, PngHoldsTheVisibleLayersWithTransparency) {
    TempDir dir;
    const Document doc = MakeLayeredDocument(256);
    const fs::path pqf = dir / "doc.pqf", png = dir / "doc.png";
    ASSERT_TRUE(SaveDocumentFile(doc, pqf).Ok);
    const RunResult r = Pqtool({"convert", pqf.string(), png.string()});
    ASSERT_EQ(r.Status, 0) << r.Err;

    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_file(&image, png.string().c_str())) << image.message;
    image.format = PNG_FORMAT_RGBA;
    ASSERT_EQ(image.width, 32u);
    ASSERT_EQ(image.height, 32u);
    std::vector<uint8_t> rgba(PNG_IMAGE_SIZE(image));
    ASSERT_TRUE(png_image_finish_read(&image, nullptr, rgba.data(), 0, nullptr)) << image.message;
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 32; ++x) {
            const uint8_t* p = rgba.data() + 4 * (x + 32 * y);
            int index = -1;   // the top visible layer's index, -1 where none paints
            if (x == y && x < 8) index = 255;
            else if (x < 24 || y < 24) index = (x + 3 * y) % 256;
            if (index < 0) {
                ASSERT_EQ(p[3], 0) << x << "," << y;   // the hidden layer paints here: still transparent
                continue;
            }
            const Rgb c = doc.ColorOf(index);
            ASSERT_EQ(p[3], 255) << x << "," << y;
            ASSERT_EQ((std::vector<int>{p[0], p[1], p[2]}), (std::vector<int>{c.r, c.g, c.b})) << x << "," << y;
        }
    }
}

TEST(PqtoolConvert, PictureImportDefaultAreaAndDraggedFrames) {
    // A 64 x 64 bitmap of 2 x 2 blocks in 16 colours: block (bx, by) has colour (bx + 5 * by) % 16.
    TempDir dir;
    Document src;
    InitBlankDocument(src, 64, 64, 16, 10);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) {
            src.LayerAt(0).Indices[std::size_t(x + 64 * y)] = uint8_t((x / 2 + 5 * (y / 2)) % 16);
            src.LayerAt(0).Mask[std::size_t(x + 64 * y)] = 1;
        }
    const fs::path bmp = dir / "blocks.bmp";
    ASSERT_TRUE(SaveBitmapFile(src, bmp).Ok);
    auto sourceColor = [&](int x, int y) { return src.ColorOf((x / 2 + 5 * (y / 2)) % 16); };

    struct Case {
        std::vector<std::string> options;
        int size, colors;
        int scaleX, scaleY, dx, dy;   // output (x, y) shows source (x * scaleX + dx, y * scaleY + dy)
    };
    const std::vector<Case> cases = {
        {{"--area", "0,0,16,16"}, 16, 16, 1, 1, 0, 0},                       // a click at the corner
        {{"--size", "32"}, 32, 16, 2, 2, 0, 0},                              // the whole picture
        {{"--area", "0,0,64,64", "--size", "32"}, 32, 16, 2, 2, 0, 0},       // 2 x 2 averaged
        {{"--area", "8,4,40,36", "--colors", "256", "--size", "32"}, 32, 256, 1, 1, 8, 4},   // like a click at (8, 4)
        {{"--area", "16,0,64,48", "--size", "48"}, 48, 16, 1, 1, 16, 0},
        {{"--area", "0,16,64,48", "--size", "32"}, 32, 16, 2, 1, 0, 16},     // not kept square
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.options.empty() ? "default" : k.options[1]);
        const fs::path out = dir / "imported.pqf";
        std::vector<std::string> args{"convert", bmp.string(), out.string()};
        args.insert(args.end(), k.options.begin(), k.options.end());
        const RunResult r = Pqtool(args);
        ASSERT_EQ(r.Status, 0) << r.Err;
        const Document doc = LoadPqf(out);
        ASSERT_EQ(doc.ImageWidth, k.size);
        ASSERT_EQ(doc.ImageHeight, k.size);
        EXPECT_EQ(doc.ColorCount, k.colors);
        ASSERT_EQ(doc.LayerCount(), 1);
        const Layer& l = doc.LayerAt(0);
        for (int y = 0; y < k.size; ++y)
            for (int x = 0; x < k.size; ++x) {
                ASSERT_EQ(l.Mask[std::size_t(x + k.size * y)], 1);
                ASSERT_EQ(doc.ColorOf(l.Indices[std::size_t(x + k.size * y)]),
                          sourceColor(x * k.scaleX + k.dx, y * k.scaleY + k.dy))
                    << x << "," << y;
            }
    }
}

// Without --area a picture is fitted whole into the output size. The pictures are made of 3 x 3
// blocks of one colour each (a few fully transparent), so where the fit shrinks by exactly 3 the
// area average gives each block's colour; the fitted rectangle is computed here independently,
// in floating point.
TEST(PqtoolConvert, WholePictureIsFittedCentredKeepingItsProportions) {
    TempDir dir;
    struct Block {
        uint8_t r, g, b, a;
    };
    auto blockAt = [](int bx, int by) {
        const int k = (bx * 5 + by * 3) % 11;
        return Block{uint8_t(20 * k), uint8_t(250 - 17 * k), uint8_t(k % 2 ? 40 : 200), uint8_t(k == 4 ? 0 : 255)};
    };
    const int pw = 21, ph = 12;   // 7 x 4 blocks
    std::vector<uint8_t> rgba;
    for (int y = 0; y < ph; ++y)
        for (int x = 0; x < pw; ++x) {
            const Block b = blockAt(x / 3, y / 3);
            rgba.insert(rgba.end(), {b.r, b.g, b.b, b.a});
        }
    const fs::path png = dir / "blocks.png";
    WriteBytes(png, test::EncodePng(pw, ph, rgba));

    auto expectedFit = [](int w, int h, int W, int H) {
        const double scale = std::min(double(W) / w, double(H) / h);
        const int fw = std::max(1, int(std::lround(w * scale))), fh = std::max(1, int(std::lround(h * scale)));
        return std::array<int, 4>{(W - fw) / 2, (H - fh) / 2, fw, fh};
    };
    struct Case {
        std::string size;
        int W, H;
        bool exact;   // shrunk by exactly 3: every pixel is its block's colour
    };
    for (const Case& k : std::vector<Case>{{"7x9", 7, 9, true}, {"11x4", 11, 4, true}, {"20x10", 20, 10, false},
                                           {"5", 5, 5, false}, {"43x24", 43, 24, false}}) {
        SCOPED_TRACE(k.size);
        const fs::path out = dir / "fit.pqf";
        const RunResult r = Pqtool({"convert", png.string(), out.string(), "--size", k.size});
        ASSERT_EQ(r.Status, 0) << r.Err;
        const Document doc = LoadPqf(out);
        ASSERT_EQ(std::tie(doc.ImageWidth, doc.ImageHeight), std::tie(k.W, k.H));
        const auto [left, top, fw, fh] = expectedFit(pw, ph, k.W, k.H);
        const Layer& l = doc.LayerAt(0);
        for (int y = 0; y < k.H; ++y)
            for (int x = 0; x < k.W; ++x) {
                const bool inside = x >= left && x < left + fw && y >= top && y < top + fh;
                const std::size_t p = std::size_t(y * k.W + x);
                if (!inside) {
                    ASSERT_EQ(l.Mask[p], 0) << x << "," << y;
                    continue;
                }
                if (!k.exact) continue;
                const Block b = blockAt(x - left, y - top);
                ASSERT_EQ(l.Mask[p], b.a ? 1 : 0) << x << "," << y;
                if (b.a) ASSERT_EQ(doc.ColorOf(l.Indices[p]), (Rgb{b.r, b.g, b.b})) << x << "," << y;
            }
        // The fitted rectangle is painted except where the picture is transparent: its edges are.
        if (!k.exact) {
            EXPECT_EQ(l.Mask[std::size_t(top * k.W + left + fw - 1)] | l.Mask[std::size_t((top + fh - 1) * k.W + left)], 1);
        }
    }
    // pack takes a picture other than a PNG (which it keeps exactly) the same way, fitted into 16 x 16.
    const fs::path bmp = dir / "blocks.bmp", ico = dir / "fit.ico";
    ASSERT_EQ(Pqtool({"convert", png.string(), bmp.string(), "--area", "0,0,21,12", "--size", "21x12"}).Status, 0);
    ASSERT_EQ(Pqtool({"pack", ico.string(), bmp.string()}).Status, 0);
    ASSERT_EQ(Pqtool({"convert", bmp.string(), (dir / "fit16.ico").string()}).Status, 0);
    EXPECT_EQ(test::ReadBytes(ico), test::ReadBytes(dir / "fit16.ico"));
}

// Several inputs into one folder: a refused one in the middle is reported with its reason and the
// others are written; names that would collide are refused before anything is written.
TEST(PqtoolConvert, SeveralInputsIntoAFolderGoOnPastABadOne) {
    TempDir dir;
    const Document doc = MakeLayeredDocument(16);
    ASSERT_TRUE(SaveDocumentFile(doc, dir / "a.pqf").Ok);
    std::vector<uint8_t> cut = EncodeDocument(doc);
    cut.resize(cut.size() / 2);
    WriteBytes(dir / "b.pqf", cut);
    ASSERT_TRUE(SaveBitmapFile(doc, dir / "c.bmp").Ok);
    const fs::path out = dir / "out";

    RunResult r = Pqtool({"convert", (dir / "a.pqf").string(), (dir / "b.pqf").string(), (dir / "c.bmp").string(), "-o",
                          out.string(), "--to", "png", "--name", "{n}-{stem}"});
    EXPECT_EQ(r.Status, 1);
    EXPECT_EQ(Lines(r.Out), (std::vector<std::string>{(out / "1-a.png").string(), (out / "3-c.png").string()}));
    EXPECT_NE(r.Err.find((dir / "b.pqf").string() + ": could not be opened.\ntruncated at byte " +
                         std::to_string(cut.size())),
              std::string::npos)
        << r.Err;
    EXPECT_EQ(test::ReadBytes(out / "1-a.png"), EncodePng(doc));
    EXPECT_FALSE(fs::exists(out / "2-b.png"));

    fs::create_directory(dir / "x");
    ASSERT_TRUE(SaveDocumentFile(doc, dir / "x" / "a.pqf").Ok);
    r = Pqtool({"convert", (dir / "a.pqf").string(), (dir / "x" / "a.pqf").string(), "-o", (dir / "clash").string(), "--to",
                "ico"});
    EXPECT_EQ(r.Status, 2);
    EXPECT_NE(r.Err.find("put {n} in --name"), std::string::npos) << r.Err;
    EXPECT_FALSE(fs::exists(dir / "clash"));
}

// "-" reads standard input and writes standard output; a file whose content is of another kind
// than its name is read by its content, with a note; the outputs are the file-to-file ones.
TEST(PqtoolConvert, StandardStreamsAndContentOverName) {
    TempDir dir;
    std::vector<uint8_t> rgba;
    for (int i = 0; i < 13 * 6; ++i) rgba.insert(rgba.end(), {uint8_t(i * 3), uint8_t(200 - i), 90, uint8_t(i % 7 ? 255 : 0)});
    const std::vector<uint8_t> png = test::EncodePng(13, 6, rgba);
    WriteBytes(dir / "p.png", png);
    WriteBytes(dir / "p.ico", png);
    ASSERT_EQ(Pqtool({"convert", (dir / "p.png").string(), (dir / "ref.pqf").string(), "--size", "9x5"}).Status, 0);
    const std::vector<uint8_t> expected = test::ReadBytes(dir / "ref.pqf");

    test::RunSetup fromStdin;
    fromStdin.Stdin.assign(png.begin(), png.end());
    RunResult r = test::RunPqtool({"convert", "-", "-", "--format", "png", "--to", "pqf", "--size", "9x5"}, fromStdin);
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(std::vector<uint8_t>(r.Out.begin(), r.Out.end()), expected);
    EXPECT_EQ(r.Err, "");

    r = Pqtool({"convert", (dir / "p.ico").string(), (dir / "named.pqf").string(), "--size", "9x5"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(test::ReadBytes(dir / "named.pqf"), expected);
    EXPECT_EQ(r.Err, (dir / "p.ico").string() + ": read as a PNG picture, which its content is, not as its name says\n");
    EXPECT_EQ(Pqtool({"convert", "--quiet", (dir / "p.ico").string(), (dir / "q.pqf").string()}).Err, "");

    // Without --to the kind of standard output is unknown: wrong usage, nothing on stdout.
    r = test::RunPqtool({"convert", "-", "-", "--format", "png"}, fromStdin);
    EXPECT_EQ(r.Status, 2);
    EXPECT_EQ(r.Out, "");
}

TEST(PqtoolConvert, CorpusPicturesAndIcons) {
    if (!HaveCorpus()) GTEST_SKIP() << "no corpus";
    TempDir dir;
    const fs::path c = CorpusDir();
    RunResult r = Pqtool({"convert", (c / "pillow/jpg/pil_sample_cmyk.jpg").string(), (dir / "j.pqf").string(), "--area",
                    "0,0,100,100", "--size", "48", "--colors", "256"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    Document doc = LoadPqf(dir / "j.pqf");
    EXPECT_EQ(doc.ImageWidth, 48);
    EXPECT_EQ(doc.ColorCount, 256);

    // Image 1 of a two-image icon, and the same through a cursor written by another tool.
    r = Pqtool({"convert", (c / "pe/windres-demo/it_multi.ico").string(), (dir / "i.pqf").string(), "--index", "1"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    doc = LoadPqf(dir / "i.pqf");
    Document direct;
    ASSERT_TRUE(LoadIconFile(c / "pe/windres-demo/it_multi.ico", 1, direct, 10).Ok);
    EXPECT_EQ(doc.ColorCount, 256);
    EXPECT_EQ(doc.Layers(), direct.Layers());
    EXPECT_EQ(doc.Palette, direct.Palette);
}

TEST(PqtoolRefusals, RefusedFilesExitOneWithTheEditorsMessage) {
    TempDir dir;
    const fs::path out = dir / "out.pqf";
    const Document doc = MakeLayeredDocument(16);

    std::vector<uint8_t> pqf = EncodeDocument(doc);
    pqf[3] = 1;   // "pqf" followed by a non-zero byte
    WriteBytes(dir / "sig.pqf", pqf);
    pqf = EncodeDocument(doc);
    pqf.resize(pqf.size() - 1);   // last plane ends early
    WriteBytes(dir / "cut.pqf", pqf);
    std::vector<uint8_t> ico = EncodeIcon(doc, kIconResourceType, 0, 0);
    ico[8] = 2;
    WriteBytes(dir / "mono.ico", ico);
    WriteBytes(dir / "junk.bmp", {'B', 'M', 1, 2, 3});
    WriteBytes(dir / "junk.bin", {1, 2, 3, 4, 5});
    WriteBytes(dir / "spin.ani", {'R', 'I', 'F', 'F', 4, 0, 0, 0, 'A', 'C', 'O', 'N'});

    WriteBytes(dir / "text.ico", {'h', 'e', 'l', 'l', 'o', '\n'});
    WriteBytes(dir / "empty.png", {});
    fs::create_directory(dir / "folder.pqf");
    std::vector<uint8_t> cutIcon = EncodeIcon(doc, kIconResourceType, 0, 0);
    cutIcon.resize(cutIcon.size() - 3);
    WriteBytes(dir / "cut.ico", cutIcon);

    // Each refusal names its reason after the reader's own sentence.
    struct Case {
        std::vector<std::string> args;
        std::string message, reason;
    };
    const std::vector<Case> cases = {
        {{"convert", (dir / "sig.pqf").string(), out.string()}, "could not be opened.",
         "damaged field: byte 3 of the signature is 1, where 0 is expected"},
        {{"convert", (dir / "cut.pqf").string(), out.string()}, "could not be opened.",
         "truncated at byte " + std::to_string(pqf.size()) + " of " + std::to_string(pqf.size() + 1) +
             ": the file ends inside layer 2"},
        {{"info", (dir / "cut.pqf").string()}, "could not be opened.", "the file ends inside layer 2"},
        {{"convert", (dir / "mono.ico").string(), out.string()}, "This icon cannot be opened.",
         "damaged field: image 0's colour count (directory byte 8) is 2, where 16 or 0 for a 4-bit image is expected"},
        {{"convert", (dir / "cut.ico").string(), out.string()}, "This icon cannot be opened.",
         "truncated at byte " + std::to_string(cutIcon.size()) + " of " + std::to_string(cutIcon.size() + 3) +
             ": the file ends inside image 0's pixels and mask"},
        {{"convert", (dir / "text.ico").string(), out.string()}, "This icon cannot be opened.",
         "not an icon or cursor: it looks like text"},
        {{"convert", (dir / "junk.bmp").string(), out.string()}, "The bitmap is not valid.",
         "truncated at byte 5 of 26"},
        {{"convert", (dir / "missing.pqf").string(), out.string()}, "cannot be read", "no such file or folder"},
        {{"convert", (dir / "empty.png").string(), out.string()}, "is empty (0 bytes)", ""},
        {{"info", (dir / "folder.pqf").string()}, "is a folder, not a file", ""},
        {{"info", (dir / "junk.bin").string()}, "not a file kind", ""},
        {{"info", (dir / "spin.ani").string()}, "This animated cursor cannot be opened.\nthere is no anih chunk.", ""},
        {{"extract", (dir / "junk.bmp").string(), (dir / "icons").string()}, "It holds no icons", ""},
    };
    for (const Case& k : cases) {
        const RunResult r = Pqtool(k.args);
        EXPECT_EQ(r.Status, 1) << k.args[1];
        EXPECT_NE(r.Err.find(k.message), std::string::npos) << k.args[1] << "\n" << r.Err;
        EXPECT_NE(r.Err.find(k.reason), std::string::npos) << k.args[1] << "\n" << r.Err;
        EXPECT_FALSE(fs::exists(out));
    }
    EXPECT_FALSE(fs::exists(dir / "icons"));

    // A Japanese run says the same in Japanese only: the editor's sentence as the editor says it.
    const RunResult ja = test::RunPqtool({"convert", (dir / "text.ico").string(), out.string()}, test::RunSetup{"ja_JP.UTF-8"});
    EXPECT_EQ(ja.Err, (dir / "text.ico").string() + ": このアイコンは開けません。\nアイコンやカーソルではありません（テキストのようです）\n");

    // A refused input leaves an existing output alone; an unwritable output is reported.
    ASSERT_TRUE(SaveDocumentFile(doc, out).Ok);
    const std::vector<uint8_t> before = EncodeDocument(doc);
    EXPECT_EQ(Pqtool({"convert", (dir / "sig.pqf").string(), out.string()}).Status, 1);
    std::vector<uint8_t> after;
    ASSERT_TRUE(ReadFileBytes(out, after).Ok);
    EXPECT_EQ(after, before);
    const RunResult r = Pqtool({"convert", out.string(), (dir / "no/such/folder/x.ico").string()});
    EXPECT_EQ(r.Status, 1);
    EXPECT_NE(r.Err.find("could not be written"), std::string::npos) << r.Err;
}

TEST(PqtoolExtract, ProgramIconsBecomeTheEditorsDocuments) {
    if (!HaveCorpus()) GTEST_SKIP() << "no corpus";
    TempDir dir;
    const fs::path c = CorpusDir();

    // iconsonly.dll holds it_multi.ico as its one icon group; its 32 x 32 8-bit image is used.
    const fs::path dll = c / "pe/windres-demo/iconsonly.dll";
    RunResult r = Pqtool({"extract", dll.string(), (dir / "dll").string(), "--documents"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(Lines(r.Out), (std::vector<std::string>{(dir / "dll" / "icon0.pqf").string()}));
    const Document extracted = LoadPqf(dir / "dll" / "icon0.pqf");
    ProgramIcons icons;
    ASSERT_TRUE(ProgramIcons::Load(dll, icons).Ok);
    IconPicture picture;
    ASSERT_TRUE(icons.Extract(0, picture));
    Document expected;
    IconFromPictures(expected, picture, 10);
    EXPECT_EQ(extracted.Layers(), expected.Layers());
    EXPECT_EQ(extracted.Palette, expected.Palette);
    EXPECT_EQ(extracted.ColorCount, expected.ColorCount);
    // Same picture as the icon file's 8-bit image opened directly.
    Document direct;
    ASSERT_TRUE(LoadIconFile(c / "pe/windres-demo/it_multi.ico", 1, direct, 10).Ok);
    const Composite a = Flatten(extracted), b = Flatten(direct);
    EXPECT_EQ(a.CompositeMask, b.CompositeMask);
    EXPECT_EQ(a.CompositeColor, b.CompositeColor);

    // A copy whose 32 x 32 images claim 3 bits per pixel: the program yields no icon, which is
    // skipped with a note instead of written as an empty document.
    std::vector<uint8_t> broken;
    ASSERT_TRUE(ReadFileBytes(dll, broken).Ok);
    const std::vector<uint8_t> header{40, 0, 0, 0, 32, 0, 0, 0, 64, 0, 0, 0, 1, 0};
    int patched = 0;
    for (auto it = broken.begin(); (it = std::search(it, broken.end(), header.begin(), header.end())) != broken.end();
         ++it, ++patched)
        it[14] = 3;
    ASSERT_GE(patched, 2);
    WriteBytes(dir / "broken.dll", broken);
    r = Pqtool({"info", (dir / "broken.dll").string()});
    EXPECT_EQ(Lines(r.Out).at(2), "icon 0: group 1, 2 images, no usable image");
    r = Pqtool({"extract", (dir / "broken.dll").string(), (dir / "broken").string(), "--documents"});
    EXPECT_EQ(r.Status, 1);
    EXPECT_NE(r.Err.find("icon 0: the program yields no picture for it; skipped"), std::string::npos) << r.Err;
    EXPECT_FALSE(fs::exists(dir / "broken" / "icon0.pqf"));

    // regedit.exe: six icon groups, all written; --index writes just one.
    const fs::path regedit = c / "pe/regedit.exe";
    r = Pqtool({"extract", regedit.string(), (dir / "all").string(), "--documents"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(Lines(r.Out).size(), 6u);
    for (int i = 0; i < 6; ++i) {
        const Document d = LoadPqf(dir / "all" / ("icon" + std::to_string(i) + ".pqf"));
        EXPECT_EQ(d.ImageWidth, 32);
        EXPECT_EQ(d.ImageHeight, 32);
    }
    r = Pqtool({"extract", regedit.string(), (dir / "one").string(), "--documents", "--index", "3"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(Lines(r.Out), (std::vector<std::string>{(dir / "one" / "icon3.pqf").string()}));
    std::vector<uint8_t> one, all;
    ASSERT_TRUE(ReadFileBytes(dir / "one" / "icon3.pqf", one).Ok);
    ASSERT_TRUE(ReadFileBytes(dir / "all" / "icon3.pqf", all).Ok);
    EXPECT_EQ(one, all);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir / "one"), fs::directory_iterator()), 1);
    r = Pqtool({"extract", regedit.string(), (dir / "none").string(), "--index", "6", "--documents"});
    EXPECT_EQ(r.Status, 2);
    EXPECT_NE(r.Err.find("holds 6 icon"), std::string::npos) << r.Err;
    EXPECT_FALSE(fs::exists(dir / "none"));
}

namespace {

// The RGBA bytes of a PNG file (libpng's simplified reader); false when it does not read.
bool ReadPngRgba(const fs::path& p, int& w, int& h, std::vector<uint8_t>& rgba) {
    const std::vector<uint8_t> bytes = pq::test::ReadBytes(p);
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (bytes.empty() || !png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) return false;
    image.format = PNG_FORMAT_RGBA;
    rgba.assign(PNG_IMAGE_SIZE(image), 0);
    w = int(image.width);
    h = int(image.height);
    const bool ok = png_image_finish_read(&image, nullptr, rgba.data(), 0, nullptr) != 0;
    png_image_free(&image);
    return ok;
}

// Runs a shell command quietly; true when it exits 0.
bool Shell(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

std::string Quoted(const fs::path& p) { return "'" + p.string() + "'"; }

// "" when the two PNGs hold the same alpha everywhere and the same colour wherever alpha > 0,
// else where they first differ.
std::string PngDifference(const fs::path& ours, const fs::path& theirs) {
    int w1 = 0, h1 = 0, w2 = 0, h2 = 0;
    std::vector<uint8_t> a, b;
    if (!ReadPngRgba(ours, w1, h1, a)) return "ours does not read";
    if (!ReadPngRgba(theirs, w2, h2, b)) return "theirs does not read";
    if (w1 != w2 || h1 != h2) return "size " + std::to_string(w1) + "x" + std::to_string(h1) + " vs " +
                                      std::to_string(w2) + "x" + std::to_string(h2);
    for (std::size_t i = 0; i < a.size(); i += 4) {
        const bool same = a[i + 3] == b[i + 3] && (a[i + 3] == 0 || std::equal(&a[i], &a[i] + 3, &b[i]));
        if (!same)
            return "pixel " + std::to_string(i / 4 % std::size_t(w1)) + "," + std::to_string(i / 4 / std::size_t(w1)) +
                   ": " + std::to_string(a[i]) + "," + std::to_string(a[i + 1]) + "," + std::to_string(a[i + 2]) + "," +
                   std::to_string(a[i + 3]) + " vs " + std::to_string(b[i]) + "," + std::to_string(b[i + 1]) + "," +
                   std::to_string(b[i + 2]) + "," + std::to_string(b[i + 3]);
    }
    return "";
}

}  // namespace

// extract of an icon file: each image a PNG equal to what icotool writes for it (alpha
// everywhere, colour where alpha > 0), over every icon of the corpus icotool reads. icotool
// refuses some whole files (a PNG image before the last); their images are compared one by
// one through one-image copies.
// Several inputs in one run: a file that cannot be read in the middle is reported and the
// ones around it are still extracted; the run then exits 1.
TEST(PqtoolExtract, SeveralInputsInOneRunGoOnPastABadOne) {
    TempDir dir;
    Document a, b;
    InitBlankDocument(a, 5, 3, 16, 10);
    InitBlankDocument(b, 7, 9, 256, 10);
    a.LayerAt(0).Mask[4] = 1;
    b.LayerAt(0).Mask[10] = 1;
    ASSERT_TRUE(SaveIconFile(a, dir / "a.ico", kIconResourceType, 0, 0).Ok);
    ASSERT_TRUE(SaveIconFile(b, dir / "b.cur", kCursorResourceType, 2, 1).Ok);
    pq::test::WriteBytes(dir / "bad.ico", {0, 0, 1, 0});
    const RunResult r = Pqtool({"extract", (dir / "a.ico").string(), (dir / "bad.ico").string(),
                                (dir / "b.cur").string(), (dir / "out").string()});
    EXPECT_EQ(r.Status, 1);
    EXPECT_NE(r.Err.find("bad.ico"), std::string::npos) << r.Err;
    EXPECT_EQ(Lines(r.Out), (std::vector<std::string>{(dir / "out" / "a-0-5x3-4.png").string(),
                                                      (dir / "out" / "b-0-7x9-8.png").string()}));
    EXPECT_TRUE(fs::exists(dir / "out" / "b-0-7x9-8.png"));
    // Without the bad one the same run succeeds.
    EXPECT_EQ(Pqtool({"extract", (dir / "a.ico").string(), (dir / "b.cur").string(), (dir / "out2").string()}).Status, 0);
}

TEST(PqtoolExtract, IconFileImagesAreThePngsIcotoolWrites) {
    if (!HaveCorpus()) GTEST_SKIP() << "no corpus";
    if (!fs::exists("/usr/bin/icotool")) GTEST_SKIP() << "no icotool";
    std::vector<fs::path> files;
    for (const auto& e : fs::recursive_directory_iterator(CorpusDir())) {
        const std::string p = e.path().string();
        if (e.path().extension() != ".ico" || p.find("/bad/") != std::string::npos || p.find("/fail/") != std::string::npos ||
            p.find("/randomly-modified/") != std::string::npos || p.find("/regression/") != std::string::npos)
            continue;
        files.push_back(e.path());
    }
    std::sort(files.begin(), files.end());
    int compared = 0;
    for (const fs::path& file : files) {
        StoredIconFile stored;
        if (!ReadStoredIconFile(pq::test::ReadBytes(file), stored).Ok) continue;
        if (!Shell("/usr/bin/icotool -l " + Quoted(file))) continue;   // a file icotool does not take
        TempDir ours, theirs;
        const RunResult r = Pqtool({"extract", file.string(), ours.Path().string()});
        const bool whole = Shell("/usr/bin/icotool -x -o " + Quoted(theirs.Path()) + " " + Quoted(file));
        std::string mismatch;
        const std::string stem = file.stem().string();
        for (std::size_t i = 0; i < stored.Images.size() && mismatch.empty(); ++i) {
            fs::path ourPng;
            for (const auto& e : fs::directory_iterator(ours.Path()))
                if (e.path().filename().string().rfind(stem + "-" + std::to_string(i) + "-", 0) == 0) ourPng = e.path();
            if (ourPng.empty()) {   // right only when icotool does not take it either
                TempDir one;
                StoredIconFile single = stored;
                single.Images = {stored.Images[i]};
                pq::test::WriteBytes(one / file.filename().string(), EncodeStoredIconFile(single));
                if (Shell("/usr/bin/icotool -x -o " + Quoted(one.Path()) + " " + Quoted(one / file.filename().string())))
                    mismatch = "image " + std::to_string(i) + " not written: " + r.Err;
                continue;
            }
            // NAME-I-WxH-D.png against icotool's NAME_(I+1)_WxHxD.png (its D for a PNG image is what
            // the directory says, ours 32).
            std::string size = ourPng.stem().string().substr(stem.size() + 2 + std::to_string(i).size());
            size = size.substr(0, size.find('-'));
            std::string theirPrefix = stem + "_" + std::to_string(i + 1) + "_" + size + "x";
            if (!whole) {   // the one image alone
                TempDir one;
                StoredIconFile single = stored;
                single.Images = {stored.Images[i]};
                pq::test::WriteBytes(one / file.filename().string(), EncodeStoredIconFile(single));
                if (!Shell("/usr/bin/icotool -x -o " + Quoted(theirs.Path()) + " " + Quoted(one / file.filename().string())))
                    continue;   // icotool refuses this image
                theirPrefix = stem + "_1_" + size + "x";
            }
            fs::path theirPng;
            for (const auto& e : fs::directory_iterator(theirs.Path()))
                if (e.path().filename().string().rfind(theirPrefix, 0) == 0) theirPng = e.path();
            if (theirPng.empty()) {
                mismatch = "image " + std::to_string(i) + ": " + ourPng.filename().string() + " but icotool wrote no " +
                           theirPrefix + "*";
                break;
            }
            if (const std::string d = PngDifference(ourPng, theirPng); !d.empty()) mismatch = "image " + std::to_string(i) + ": " + d;
            if (!whole) fs::remove(theirPng);
            ++compared;
        }
        if (!mismatch.empty()) ADD_FAILURE() << file << ": " << mismatch;
    }
    EXPECT_GT(compared, 300);
}

// extract of a program: each icon group an .ico, each cursor group a .cur, named by the
// group, holding the images wrestool writes for it byte for byte. wrestool appends zero bytes
// to its files and gives a cursor's entries the resource's size (4 more than the image): ours
// end with the last image, and the cursors windres packed come back as they went in.
TEST(PqtoolExtract, ProgramGroupsAreTheFilesWrestoolWrites) {
    if (!HaveCorpus()) GTEST_SKIP() << "no corpus";
    if (!fs::exists("/usr/bin/wrestool")) GTEST_SKIP() << "no wrestool";
    const fs::path c = CorpusDir();
    for (const fs::path& program : {c / "pe/notepad.exe", c / "pe/regedit.exe", c / "pe/windres-demo/one.exe",
                                    c / "pe/windres-demo/iconsonly.dll"}) {
        SCOPED_TRACE(program.filename().string());
        TempDir ours, theirs;
        const RunResult r = Pqtool({"extract", program.string(), ours.Path().string()});
        ASSERT_EQ(r.Status, 0) << r.Err;
        for (const char* type : {"14", "12"})
            Shell(std::string("/usr/bin/wrestool -x --type=") + type + " -o " + Quoted(theirs.Path()) + "/ " + Quoted(program));
        std::size_t theirCount = 0;
        for (const auto& e : fs::directory_iterator(theirs.Path())) {
            ++theirCount;
            // PROGRAM_TYPE_NAME[_LANGUAGE].EXT
            const std::string n = e.path().stem().string().substr(program.filename().string().size() + 1);
            const std::string rest = n.substr(n.find('_') + 1);
            const fs::path mine = ours / (rest.substr(0, rest.find('_')) + e.path().extension().string());
            SCOPED_TRACE(mine.filename().string());
            const std::vector<uint8_t> a = pq::test::ReadBytes(mine), b = pq::test::ReadBytes(e.path());
            ASSERT_FALSE(a.empty());
            ASSERT_LE(a.size(), b.size());
            EXPECT_TRUE(std::all_of(b.begin() + std::ptrdiff_t(a.size()), b.end(), [](uint8_t v) { return v == 0; }));
            if (e.path().extension() == ".ico") {
                EXPECT_TRUE(std::equal(a.begin(), a.end(), b.begin()));
                continue;
            }
            StoredIconFile x, y;
            ASSERT_TRUE(ReadStoredIconFile(a, x).Ok);
            ASSERT_TRUE(ReadStoredIconFile(b, y).Ok);
            ASSERT_EQ(x.Images.size(), y.Images.size());
            for (std::size_t i = 0; i < x.Images.size(); ++i) {
                const StoredIconImage &p = x.Images[i], &q = y.Images[i];
                EXPECT_TRUE(std::equal(p.Entry.begin() + 4, p.Entry.begin() + 8, q.Entry.begin() + 4));   // hotspot
                EXPECT_EQ(LoadU32(p.Entry.data() + 8) + 4, LoadU32(q.Entry.data() + 8));
                EXPECT_EQ(p.Data.size(), LoadU32(p.Entry.data() + 8));
                ASSERT_LE(p.Data.size(), q.Data.size());
                EXPECT_TRUE(std::equal(p.Data.begin(), p.Data.end(), q.Data.begin()));
            }
        }
        EXPECT_GT(theirCount, 0u);
        EXPECT_EQ(std::size_t(std::distance(fs::directory_iterator(ours.Path()), fs::directory_iterator())), theirCount);
    }
    // The icon and the cursor windres packed into iconsonly.dll come out as the files it read.
    TempDir dir;
    ASSERT_EQ(Pqtool({"extract", (c / "pe/windres-demo/iconsonly.dll").string(), dir.Path().string()}).Status, 0);
    EXPECT_EQ(pq::test::ReadBytes(dir / "1.ico"), pq::test::ReadBytes(c / "pe/windres-demo/it_multi.ico"));
    EXPECT_EQ(pq::test::ReadBytes(dir / "2.cur"), pq::test::ReadBytes(c / "pe/windres-demo/it_4.cur"));
}

// Every frame the area picker can make is accepted, with the picker's result: frames hanging
// off any side (white outside), wholly off the picture, and empty ones.
TEST(PqtoolConvert, AreaFramesOffThePictureGiveThePickersResult) {
    TempDir dir;
    Document src = MakeLayeredDocument(16);
    const fs::path bmp = dir / "in.bmp";
    ASSERT_TRUE(SaveBitmapFile(src, bmp).Ok);
    Raster picture;
    ASSERT_TRUE(LoadBitmapFile(bmp, picture).Ok);
    for (const Rect& frame : {Rect{-10, -6, 20, 30}, Rect{20, 24, 50, 40}, Rect{-40, 0, -8, 16}, Rect{5, 5, 5, 30}}) {
        const std::string area = std::to_string(frame.left) + "," + std::to_string(frame.top) + "," +
                                 std::to_string(frame.right) + "," + std::to_string(frame.bottom);
        SCOPED_TRACE(area);
        const fs::path out = dir / "out.pqf";
        const RunResult r = Pqtool({"convert", bmp.string(), out.string(), "--area", area, "--size", "16"});
        ASSERT_EQ(r.Status, 0) << r.Err;
        AreaPicker picker(picture, 16, 16);
        picker.Square = false;
        picker.Press(frame.left, frame.top);
        picker.Move(frame.right, frame.bottom);
        picker.Release();
        Document expected;
        ImportPictureDocument(expected, picker.Preview(), 16, 10);
        const Document got = LoadPqf(out);
        EXPECT_EQ(got.Layers(), expected.Layers());
        EXPECT_EQ(got.Palette, expected.Palette);
    }
}

namespace {

// The RGBA pixels ImageMagick (/usr/bin/convert) decodes from image `index` of an icon file,
// transparent ones as 0,0,0,0; empty when it fails.
std::vector<uint8_t> PeerRgba(const fs::path& icon, int index, std::size_t expectedBytes) {
    const std::string command =
        "/usr/bin/convert '" + icon.string() + "[" + std::to_string(index) + "]' -depth 8 rgba:- 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return {};
    std::vector<uint8_t> out(expectedBytes + 1);
    const std::size_t n = fread(out.data(), 1, out.size(), pipe);
    pclose(pipe);
    out.resize(n);
    for (std::size_t i = 0; i + 3 < out.size(); i += 4)   // transparent pixels keep a colour there
        if (out[i + 3] == 0) out[i] = out[i + 1] = out[i + 2] = 0;
    return out;
}

// What an icon of the document shows: the visible layers composed, unpainted pixels 0,0,0,0.
std::vector<uint8_t> ShownRgba(const Document& doc) {
    const Composite c = Flatten(doc);
    std::vector<uint8_t> px;
    for (int y = 0; y < doc.ImageHeight; ++y)
        for (int x = 0; x < doc.ImageWidth; ++x) {
            const bool on = c.CompositeMask.PixelUnchecked(x, y) != kBlack;
            const Rgb v = c.CompositeColor.PixelUnchecked(x, y);
            px.insert(px.end(), {uint8_t(on ? v.r : 0), uint8_t(on ? v.g : 0), uint8_t(on ? v.b : 0), uint8_t(on ? 255 : 0)});
        }
    return px;
}

}  // namespace

// pack: each input becomes one image in order, read back by our reader and by another decoder;
// a cursor keeps each input's hotspot.
// The reduction words reach the reduction: each of the six combinations gives its own picture and
// the defaults give today's; the alpha threshold decides between 127 and 128 in a 32-bit image.
TEST(PqtoolReductionWords, QuantizerDitherAndAlphaThreshold) {
    TempDir dir;
    std::vector<uint8_t> rgba;
    for (int y = 0; y < 19; ++y)
        for (int x = 0; x < 33; ++x) rgba.insert(rgba.end(), {uint8_t(x * 7), uint8_t(y * 13), uint8_t((x * y) % 251), 255});
    WriteBytes(dir / "grad.png", test::EncodePng(33, 19, rgba));
    auto convert = [&](std::vector<std::string> extra) {
        std::vector<std::string> args{"convert", (dir / "grad.png").string(), (dir / "o.png").string(), "--size", "33x19"};
        args.insert(args.end(), extra.begin(), extra.end());
        const RunResult r = Pqtool(args);
        EXPECT_EQ(r.Status, 0) << r.Err;
        return test::ReadBytes(dir / "o.png");
    };
    const std::vector<uint8_t> plain = convert({});
    EXPECT_EQ(convert({"--quantizer", "median", "--dither", "none", "--alpha-threshold", "128"}), plain);
    std::vector<std::vector<uint8_t>> seen{plain};
    for (const char* q : {"median", "quality"})
        for (const char* d : {"none", "fs", "ordered"}) {
            if (q == std::string("median") && d == std::string("none")) continue;
            const std::vector<uint8_t> got = convert({"--quantizer", q, "--dither", d});
            EXPECT_EQ(std::count(seen.begin(), seen.end(), got), 0) << q << " " << d;
            seen.push_back(got);
        }
    for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
             {"--quantizer", "wu"}, {"--dither", "FS"}, {"--alpha-threshold", "0"}, {"--alpha-threshold", "256"}}) {
        std::vector<std::string> args{"convert", (dir / "grad.png").string(), (dir / "bad.png").string()};
        args.insert(args.end(), bad.begin(), bad.end());
        EXPECT_EQ(Pqtool(args).Status, 2) << bad[0] << " " << bad[1];
    }

    // A 7 x 3 32-bit icon image whose pixels have alpha 127 and 128 in turn.
    RgbaImage icon;
    icon.Width = 7;
    icon.Height = 3;
    for (int i = 0; i < 21; ++i) icon.Pixels.insert(icon.Pixels.end(), {200, 40, uint8_t(i * 9), uint8_t(i % 2 ? 127 : 128)});
    StoredIconFile file;
    file.ResourceType = kIconResourceType;
    file.Images.emplace_back();
    ASSERT_TRUE(EncodeRgbaIconImage(icon, false, kIconResourceType, 0, 0, file.Images.back()));
    WriteBytes(dir / "half.ico", EncodeStoredIconFile(file));
    for (int threshold : {127, 128}) {
        const fs::path out = dir / ("t" + std::to_string(threshold) + ".pqf");
        ASSERT_EQ(Pqtool({"convert", (dir / "half.ico").string(), out.string(), "--alpha-threshold",
                          std::to_string(threshold)})
                      .Status,
                  0);
        // A 32-bit image opens as truecolour: every alpha value is kept, whatever the threshold.
        const Document doc = LoadPqf(out);
        ASSERT_TRUE(doc.TrueColor);
        ASSERT_EQ(doc.LayerAt(0).Pixels.size(), 21u);
        for (int i = 0; i < 21; ++i) EXPECT_EQ(doc.LayerAt(0).Pixels[std::size_t(i)].a, i % 2 ? 127 : 128) << i;
    }
}

TEST(PqtoolPack, EachInputBecomesAnImageOtherDecodersRead) {
    TempDir dir;
    const fs::path pqf16 = dir / "a.pqf", pqf256 = dir / "b.pqf";
    ASSERT_TRUE(SaveDocumentFile(MakeLayeredDocument(16), pqf16).Ok);
    ASSERT_TRUE(SaveDocumentFile(MakeLayeredDocument(256), pqf256).Ok);
    Document cursor = MakeLayeredDocument(16);
    ASSERT_TRUE(SaveIconFile(cursor, dir / "c.cur", kCursorResourceType, 3, 5).Ok);
    const std::vector<fs::path> inputs = {pqf16, pqf256, dir / "c.cur", pq::test::DataDir() / "monochrome.ico"};
    for (const char* out : {"p.ico", "p.cur"}) {
        SCOPED_TRACE(out);
        std::vector<std::string> args = {"pack", (dir / out).string()};
        for (const fs::path& in : inputs) args.push_back(in.string());
        const RunResult r = Pqtool(args);
        ASSERT_EQ(r.Status, 0) << r.Err;
        const std::vector<uint8_t> bytes = pq::test::ReadBytes(dir / out);
        IconDirectory packed;
        ASSERT_TRUE(ReadIconDirectory(bytes, packed).Ok);
        ASSERT_EQ(packed.Entries.size(), inputs.size());
        const bool isCursor = std::string(out) == "p.cur";
        for (std::size_t i = 0; i < inputs.size(); ++i) {
            SCOPED_TRACE(inputs[i].filename().string());
            Document expected, got;
            const fs::path& in = inputs[i];
            ASSERT_TRUE((in.extension() == ".pqf" ? LoadDocumentFile(in, expected, 10) : LoadIconFile(in, 0, expected, 10)).Ok);
            ASSERT_TRUE(LoadIconBytes(bytes, int(i), got, 10).Ok);
            EXPECT_EQ(got.ColorCount, expected.ColorCount);
            const std::vector<uint8_t> shown = ShownRgba(expected);
            EXPECT_EQ(ShownRgba(got), shown);
            EXPECT_EQ(got.HotspotX, isCursor && i == 2 ? 3 : 0);
            EXPECT_EQ(got.HotspotY, isCursor && i == 2 ? 5 : 0);
            // ImageMagick reads icons only (it writes cursors as icons): compare the .ico.
            if (isCursor || !fs::exists("/usr/bin/convert")) continue;
            EXPECT_EQ(PeerRgba(dir / out, int(i), shown.size()), shown);
        }
    }
    // Wrong usage and refusals write nothing.
    EXPECT_EQ(Pqtool({"pack", (dir / "x.png").string(), pqf16.string()}).Status, 2);
    EXPECT_EQ(Pqtool({"pack", (dir / "x.ico").string()}).Status, 2);
    EXPECT_EQ(Pqtool({"pack", (dir / "x.ico").string(), pqf16.string(), (dir / "missing.pqf").string()}).Status, 1);
    EXPECT_FALSE(fs::exists(dir / "x.ico"));
}

namespace {

// A one-layer w x h document of a colourful palette: diagonal bands painted, every third
// pixel of a row left unpainted.
Document Banded(int w, int h, int colors) {
    Document doc;
    InitBlankDocument(doc, w, h, colors, 10);
    for (int i = 0; i < colors; ++i) doc.Palette[std::size_t(i)] = MakeEntry(Rgb{uint8_t(i * 37), uint8_t(255 - i), uint8_t(i * 11)});
    Layer& l = doc.LayerAt(0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if ((x + 2 * y) % 3 != 0) l.Mask[std::size_t(x + w * y)] = 1, l.Indices[std::size_t(x + w * y)] = uint8_t((x + y) % colors);
    return doc;
}

}  // namespace

// pack --sizes: the one input at every listed size, in order, 256 as PNG, the hotspot scaled.
TEST(PqtoolPack, SizesMakeASetOfTheOneInput) {
    TempDir dir;
    const fs::path in = dir / "in.cur", out = dir / "out.cur";
    ASSERT_TRUE(SaveIconFile(Banded(37, 23, 256), in, kCursorResourceType, 36, 11).Ok);
    Document source;
    ASSERT_TRUE(LoadIconFile(in, 0, source, 10).Ok);
    const RunResult r = Pqtool({"pack", "--sizes", "16,24,256,5", out.string(), in.string()});
    ASSERT_EQ(r.Status, 0) << r.Err;
    const std::vector<uint8_t> bytes = pq::test::ReadBytes(out);
    std::vector<IconSetPage> pages;
    int type = 0;
    ASSERT_TRUE(LoadIconSet(bytes, 10, pages, type).Ok);
    EXPECT_EQ(type, kCursorResourceType);
    IconDirectory dir2;
    ASSERT_TRUE(ReadIconDirectory(bytes, dir2).Ok);
    ASSERT_EQ(pages.size(), 4u);
    const int sizes[4] = {16, 24, 256, 5};
    const int hotspots[4][2] = {{15, 7}, {23, 11}, {249, 122}, {4, 2}};   // 36 * s / 37, 11 * s / 23
    for (std::size_t i = 0; i < 4; ++i) {
        SCOPED_TRACE(sizes[i]);
        const int s = sizes[i];
        EXPECT_EQ(pages[i].Kind, s == 256 ? IconPageKind::Png : IconPageKind::Palette);
        EXPECT_EQ(DescribeIconImage(bytes, dir2.Entries[i]).BitCount, s == 256 ? 32 : 8);
        EXPECT_EQ(pages[i].Doc.ImageWidth, s);
        EXPECT_EQ(pages[i].Doc.ImageHeight, s);
        EXPECT_EQ(dir2.Entries[i].PlanesOrHotspotX, hotspots[i][0]);
        EXPECT_EQ(dir2.Entries[i].BitCountOrHotspotY, hotspots[i][1]);
        // The PNG page reads back as truecolour: painted where alpha is not 0.
        Plane painted = pages[i].Doc.LayerAt(0).Mask;
        if (pages[i].Doc.TrueColor) {
            painted.clear();
            for (const Rgba8 p : pages[i].Doc.LayerAt(0).Pixels) painted.push_back(p.a != 0);
        }
        EXPECT_EQ(painted, ResamplePicture(source, s, s).Painted);
    }
    // A list that is not sizes 1..256, each once, or more than one IN: wrong usage, nothing written.
    for (const std::vector<std::string>& wrong : std::vector<std::vector<std::string>>{
             {"16,16"}, {"0"}, {"257"}, {"16,,32"}, {""}, {"16x"}, {"16", in.string()}}) {
        std::vector<std::string> args = {"pack", "--sizes", wrong[0], (dir / "x.ico").string(), in.string()};
        args.insert(args.end(), wrong.begin() + 1, wrong.end());
        const RunResult bad = Pqtool(args);
        EXPECT_EQ(bad.Status, 2) << wrong[0];
        EXPECT_NE(bad.Err.find("--sizes"), std::string::npos) << bad.Err;
        EXPECT_FALSE(fs::exists(dir / "x.ico"));
    }
}

// info says for each image what editing the file as a set would write it as, or that the set
// does not open.
TEST(PqtoolInfo, MarksWhatEditingAsASetDoes) {
    TempDir dir;
    const Document a = Banded(5, 3, 16), b = Banded(7, 9, 256), c = Banded(11, 6, 16), d = Banded(256, 256, 256);
    StoredIconFile mono;
    ASSERT_TRUE(ReadStoredIconFile(pq::test::ReadBytes(pq::test::DataDir() / "monochrome.ico"), mono).Ok);
    const std::vector<IconSetEntry> entries = {{&a, IconPageKind::Palette},   {&b, IconPageKind::Palette},
                                               {&c, IconPageKind::TrueColor}, {&d, IconPageKind::Png},
                                               {nullptr, IconPageKind::Palette, &mono.Images[0], kIconResourceType}};
    const fs::path path = dir / "set.ico";
    ASSERT_TRUE(SaveIconSet(entries, path, kIconResourceType).Ok);
    const std::string kept = ", set: kept byte for byte unless edited (then ";
    RunResult r = Pqtool({"info", path.string()});
    EXPECT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(Lines(r.Out), (std::vector<std::string>{
                                "type: icon", "images: 5",
                                "image 0: 5x3 16色, color count byte 16, 4 bits per pixel" + kept + "4-bit)",
                                "image 1: 7x9 256色, color count byte 0, 8 bits per pixel" + kept + "8-bit)",
                                "image 2: 11x6 32ビット, color count byte 0, 32 bits per pixel" + kept + "32-bit)",
                                "image 3: 256x256 PNG, color count byte 0, PNG" + kept + "png)",
                                "image 4: 5x3 2色, color count byte 2, 1 bits per pixel" + kept + "4-bit)"}));

    // A PNG whose pixel data is damaged looks fine from its header but does not open.
    StoredIconFile file;
    ASSERT_TRUE(ReadStoredIconFile(pq::test::ReadBytes(path), file).Ok);
    std::vector<uint8_t>& png = file.Images[3].Data;
    const auto idat = std::search(png.begin(), png.end(), std::begin("IDAT"), std::end("IDAT") - 1);
    ASSERT_NE(idat, png.end());
    idat[10] ^= 0x55;
    WriteBytes(path, EncodeStoredIconFile(file));
    r = Pqtool({"info", path.string()});
    EXPECT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(Lines(r.Out), (std::vector<std::string>{"type: icon", "images: 5",
                                                      "image 0: 5x3 16色, color count byte 16, 4 bits per pixel",
                                                      "image 1: 7x9 256色, color count byte 0, 8 bits per pixel",
                                                      "image 2: 11x6 32ビット, color count byte 0, 32 bits per pixel",
                                                      "image 3: 256x256 PNG, color count byte 0, PNG",
                                                      "image 4: 5x3 2色, color count byte 2, 1 bits per pixel",
                                                      "set: cannot be opened as a set (image 3 cannot be opened)"}));
}

TEST(PqtoolConvert, HotspotIsSetKeptAndWrittenBackIntoItsOwnImage) {
    TempDir dir;
    const fs::path pqf = dir / "a.pqf", cur = dir / "a.cur", copy = dir / "b.cur";
    ASSERT_TRUE(SaveDocumentFile(MakeLayeredDocument(16), pqf).Ok);
    RunResult r = Pqtool({"convert", pqf.string(), cur.string(), "--hotspot", "31,7"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(Lines(Pqtool({"info", cur.string()}).Out).back(),
              "image 0: 32x32 16色, color count byte 16, 4 bits per pixel, hotspot 31,7, "
              "set: kept byte for byte unless edited (then 4-bit)");
    // A cursor read and written again keeps its hotspot.
    ASSERT_EQ(Pqtool({"convert", cur.string(), copy.string()}).Status, 0);
    EXPECT_EQ(Lines(Pqtool({"info", copy.string()}).Out).back(),
              "image 0: 32x32 16色, color count byte 16, 4 bits per pixel, hotspot 31,7, "
              "set: kept byte for byte unless edited (then 4-bit)");
    for (const std::vector<std::string>& wrong : std::vector<std::vector<std::string>>{
             {"convert", pqf.string(), (dir / "x.cur").string(), "--hotspot", "32,0"},
             {"convert", pqf.string(), (dir / "x.cur").string(), "--hotspot", "3"},
             {"convert", pqf.string(), (dir / "x.ico").string(), "--hotspot", "1,1"}}) {
        r = Pqtool(wrong);
        EXPECT_EQ(r.Status, 2) << wrong[4] << r.Err;
        EXPECT_FALSE(fs::exists(wrong[2]));
    }
    // Converting image 1 of a packed cursor into that very file replaces only image 1.
    const fs::path two = dir / "two.cur";
    ASSERT_EQ(Pqtool({"pack", two.string(), cur.string(), pqf.string()}).Status, 0);
    const std::vector<uint8_t> before = pq::test::ReadBytes(two);
    r = Pqtool({"convert", two.string(), two.string(), "--index", "1", "--hotspot", "2,4"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    const std::vector<std::string> lines = Lines(Pqtool({"info", two.string()}).Out);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[2], "image 0: 32x32 16色, color count byte 16, 4 bits per pixel, hotspot 31,7, "
                        "set: kept byte for byte unless edited (then 4-bit)");
    EXPECT_EQ(lines[3], "image 1: 32x32 16色, color count byte 16, 4 bits per pixel, hotspot 2,4, "
                        "set: kept byte for byte unless edited (then 4-bit)");
    const std::vector<uint8_t> after = pq::test::ReadBytes(two);
    ASSERT_EQ(after.size(), before.size());
    EXPECT_TRUE(std::equal(after.begin() + 38, after.begin() + 38 + 766 - 22, before.begin() + 38));   // image 0's data
}

// pack of PNG pictures: each kept exactly, every colour and alpha value, as a 32-bit image
// below 256 pixels a side and a PNG image at 256, as Pillow and icotool read them; --colors
// reduces one to a palette image of its own size instead.
// pack --sizes of a PNG: each size averaged with alpha, a faint shadow stays a faint shadow of
// its own colour (never blended onto white), the picture fitted into the square as before.
TEST(PqtoolPack, SizesOfAPngKeepItsSoftAlpha) {
    TempDir dir;
    const int w = 64, h = 32;
    std::vector<uint8_t> rgba;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            rgba.insert(rgba.end(), x < 32 ? std::initializer_list<uint8_t>{0, 0, 0, 45} : std::initializer_list<uint8_t>{255, 255, 255, 0});
    pq::test::WriteBytes(dir / "shadow.png", pq::test::EncodePng(w, h, rgba));
    const fs::path out = dir / "out.ico";
    const RunResult r = Pqtool({"pack", "--sizes", "16,32", out.string(), (dir / "shadow.png").string()});
    ASSERT_EQ(r.Status, 0) << r.Err;
    std::vector<IconSetPage> pages;
    int type = 0;
    ASSERT_TRUE(LoadIconSet(pq::test::ReadBytes(out), 10, pages, type).Ok);
    ASSERT_EQ(pages.size(), 2u);
    for (const IconSetPage& page : pages) {
        const int s = page.Doc.ImageWidth;
        SCOPED_TRACE(s);
        ASSERT_TRUE(page.Doc.TrueColor);
        EXPECT_EQ(page.Kind, IconPageKind::TrueColor);
        for (int y = 0; y < s; ++y)
            for (int x = 0; x < s; ++x) {
                const Rgba8 p = page.Doc.LayerAt(0).Pixels[std::size_t(y * s + x)];
                // 64 x 32 fitted into s x s: the rows s/4 .. 3s/4, the left half in shadow.
                const bool inside = y >= s / 4 && y < 3 * s / 4 && x < s / 2;
                ASSERT_EQ(p, inside ? (Rgba8{0, 0, 0, 45}) : Rgba8{}) << x << "," << y;
            }
    }
}

TEST(PqtoolPack, PngInputsKeepEveryColourAndAlphaValue) {
    TempDir dir;
    const int sizes[2][2] = {{37, 23}, {256, 256}};
    std::vector<std::vector<uint8_t>> pictures;
    for (int k = 0; k < 2; ++k) {
        const int w = sizes[k][0], h = sizes[k][1];
        std::vector<uint8_t> rgba;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)   // alpha runs through 0..255, colours differ everywhere
                rgba.insert(rgba.end(), {uint8_t(x * 7 + k), uint8_t(y * 11), uint8_t(x * y + 3), uint8_t((x * 13 + y * 29) % 256)});
        pictures.push_back(rgba);
        pq::test::WriteBytes(dir / ("in" + std::to_string(k) + ".png"), pq::test::EncodePng(w, h, rgba));
    }
    const fs::path out = dir / "out.ico";
    RunResult r = Pqtool({"pack", out.string(), (dir / "in0.png").string(), (dir / "in1.png").string()});
    ASSERT_EQ(r.Status, 0) << r.Err;
    const std::vector<uint8_t> bytes = pq::test::ReadBytes(out);
    IconDirectory packed;
    ASSERT_TRUE(ReadIconDirectory(bytes, packed).Ok);
    ASSERT_EQ(packed.Entries.size(), 2u);
    for (int k = 0; k < 2; ++k) {
        const IconImageFacts facts = DescribeIconImage(bytes, packed.Entries[std::size_t(k)]);
        EXPECT_EQ(std::tuple(facts.Width, facts.Height, facts.BitCount, facts.Png),
                  std::tuple(sizes[k][0], sizes[k][1], 32, k == 1));
    }
    // Alpha everywhere, colour where alpha > 0.
    auto same = [](const std::vector<uint8_t>& got, const std::vector<uint8_t>& want) {
        if (got.size() != want.size()) return false;
        for (std::size_t i = 0; i < got.size(); i += 4)
            if (got[i + 3] != want[i + 3] || (want[i + 3] != 0 && !std::equal(&got[i], &got[i] + 3, &want[i]))) return false;
        return true;
    };
    if (fs::exists("/usr/bin/python3") && Shell("/usr/bin/python3 -c 'import PIL'")) {
        // Pillow sorts its frames: each directory slot is found by its offset.
        const std::string script =
            "import struct,sys\nfrom PIL import IcoImagePlugin\nd=open(sys.argv[1],'rb').read()\n"
            "ico=IcoImagePlugin.IcoFile(open(sys.argv[1],'rb'))\noffs=[e['offset'] for e in ico.entry]\n"
            "for n in range(struct.unpack_from('<H',d,4)[0]):\n"
            "  k=offs.index(struct.unpack_from('<I',d,6+16*n+12)[0])\n"
            "  open(sys.argv[2]+'/pil%d.rgba'%n,'wb').write(ico.frame(k).convert('RGBA').tobytes())\n";
        pq::test::WriteBytes(dir / "read.py", std::vector<uint8_t>(script.begin(), script.end()));
        ASSERT_TRUE(Shell("/usr/bin/python3 " + Quoted(dir / "read.py") + " " + Quoted(out) + " " + Quoted(dir.Path())));
        for (int k = 0; k < 2; ++k)
            EXPECT_TRUE(same(pq::test::ReadBytes(dir / ("pil" + std::to_string(k) + ".rgba")), pictures[std::size_t(k)])) << k;
    }
    if (fs::exists("/usr/bin/icotool")) {
        FILE* pipe = popen(("/usr/bin/icotool -l " + Quoted(out)).c_str(), "r");
        ASSERT_NE(pipe, nullptr);
        std::string listing;
        for (int ch; (ch = fgetc(pipe)) != EOF;) listing += char(ch);
        EXPECT_EQ(pclose(pipe), 0);
        EXPECT_EQ(Lines(listing), (std::vector<std::string>{
                                      "--icon --index=1 --width=37 --height=23 --bit-depth=32 --palette-size=0",
                                      "--icon --index=2 --width=256 --height=256 --bit-depth=32 --palette-size=0"}));
    }
    // --colors: a palette image of the picture's own size.
    r = Pqtool({"pack", "--colors", "16", (dir / "c.cur").string(), (dir / "in0.png").string()});
    ASSERT_EQ(r.Status, 0) << r.Err;
    const std::vector<uint8_t> reduced = pq::test::ReadBytes(dir / "c.cur");
    ASSERT_TRUE(ReadIconDirectory(reduced, packed).Ok);
    const IconImageFacts facts = DescribeIconImage(reduced, packed.Entries.at(0));
    EXPECT_EQ(std::tuple(facts.Width, facts.Height, facts.BitCount), std::tuple(37, 23, 4));
    // A picture larger than an icon image is refused, nothing written.
    pq::test::WriteBytes(dir / "wide.png", pq::test::EncodePng(257, 2, std::vector<uint8_t>(257 * 2 * 4, 200)));
    r = Pqtool({"pack", (dir / "x.ico").string(), (dir / "in0.png").string(), (dir / "wide.png").string()});
    EXPECT_EQ(r.Status, 1) << r.Err;
    EXPECT_FALSE(fs::exists(dir / "x.ico"));
}

// Changing one image of a file in place keeps the image's kind: the 32-bit image of a cursor
// given a new hotspot stays 32-bit with its pixels, the others are kept byte for byte.
TEST(PqtoolConvert, ChangingOneImageInPlaceKeepsItsDepth) {
    TempDir dir;
    const Document a = Banded(5, 3, 16), b = Banded(7, 9, 256), c = Banded(11, 6, 16);
    const std::vector<IconSetEntry> entries = {
        {&a, IconPageKind::Palette}, {&b, IconPageKind::Palette}, {&c, IconPageKind::TrueColor}};
    const fs::path cur = dir / "three.cur";
    ASSERT_TRUE(SaveIconSet(entries, cur, kCursorResourceType).Ok);
    StoredIconFile before, after;
    ASSERT_TRUE(ReadStoredIconFile(pq::test::ReadBytes(cur), before).Ok);
    const RunResult r = Pqtool({"convert", cur.string(), cur.string(), "--index", "2", "--hotspot", "9,4"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    const std::vector<uint8_t> bytes = pq::test::ReadBytes(cur);
    ASSERT_TRUE(ReadStoredIconFile(bytes, after).Ok);
    ASSERT_EQ(after.Images.size(), 3u);
    for (std::size_t i = 0; i < 2; ++i) {
        EXPECT_TRUE(std::equal(after.Images[i].Entry.begin(), after.Images[i].Entry.begin() + 12, before.Images[i].Entry.begin()));
        EXPECT_EQ(after.Images[i].Data, before.Images[i].Data);
    }
    IconDirectory dir2;
    ASSERT_TRUE(ReadIconDirectory(bytes, dir2).Ok);
    EXPECT_EQ(DescribeIconImage(bytes, dir2.Entries[2]).BitCount, 32);
    EXPECT_EQ(std::tuple(dir2.Entries[2].PlanesOrHotspotX, dir2.Entries[2].BitCountOrHotspotY), std::tuple(9, 4));
    RgbaImage was, now;
    ASSERT_TRUE(DecodeIconRgba(before.Images[2].Data, was));
    ASSERT_TRUE(DecodeIconRgba(after.Images[2].Data, now));
    EXPECT_EQ(now.Pixels, was.Pixels);
}

// A PNG picture is imported like the other pictures, its transparent parts unpainted; info
// describes it.
TEST(PqtoolConvert, PngInputKeepsItsTransparency) {
    TempDir dir;
    Document doc = MakeLayeredDocument(16);   // unpainted where x >= 24 and y >= 24
    const fs::path png = dir / "in.png", out = dir / "out.pqf";
    ASSERT_TRUE(SavePngFile(doc, png).Ok);
    RunResult r = Pqtool({"convert", png.string(), out.string(), "--area", "16,16,32,32"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    const Document got = LoadPqf(out);
    const Composite want = Flatten(doc);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            const bool painted = want.CompositeMask.PixelUnchecked(16 + x, 16 + y) != kBlack;
            ASSERT_EQ(got.LayerAt(0).Mask[std::size_t(x + 16 * y)], painted ? 1 : 0) << x << "," << y;
            if (!painted) continue;
            EXPECT_EQ(got.ColorOf(got.LayerAt(0).Indices[std::size_t(x + 16 * y)]),
                      want.CompositeColor.PixelUnchecked(16 + x, 16 + y));
        }
    r = Pqtool({"info", png.string()});
    EXPECT_EQ(Lines(r.Out), (std::vector<std::string>{"type: png", "size: 32x32", "transparent pixels: 64"}));
}

namespace {

// pqtool run to its end in a child process: its peak resident memory in MiB, -1 when it did
// not end with status 0.
long PeakMiB(const std::vector<std::string>& args) {
    const pid_t pid = test::StartPqtool(args);
    if (pid < 0) return -1;
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
    return usage.ru_maxrss / 1024;
}

// The pixels of the large PNG: colours from the position, a transparent disc.
void LargePngPixel(int x, int y, uint8_t* p) {
    const int dx = x - 3000, dy = y - 5000;
    p[0] = uint8_t(x >> 5), p[1] = uint8_t(y >> 5), p[2] = uint8_t((x ^ y) & 255);
    p[3] = std::int64_t(dx) * dx + std::int64_t(dy) * dy < 1500ll * 1500 ? 0 : 255;
}

// A side x side RGBA PNG written row by row with light compression; its transparent pixel count.
std::size_t WriteLargePng(const fs::path& path, int side) {
    FILE* f = std::fopen(path.c_str(), "wb");
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    std::size_t clear = 0;
    std::vector<uint8_t> row(4 * std::size_t(side));
    if (setjmp(png_jmpbuf(png)) == 0) {
        png_init_io(png, f);
        png_set_compression_level(png, 1);
        png_set_IHDR(png, info, png_uint_32(side), png_uint_32(side), 8, PNG_COLOR_TYPE_RGBA, PNG_INTERLACE_NONE,
                     PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_write_info(png, info);
        for (int y = 0; y < side; ++y) {
            for (int x = 0; x < side; ++x) {
                LargePngPixel(x, y, row.data() + 4 * std::size_t(x));
                clear += row[4 * std::size_t(x) + 3] == 0;
            }
            png_write_row(png, row.data());
        }
        png_write_end(png, nullptr);
    }
    png_destroy_write_struct(&png, &info);
    std::fclose(f);
    return clear;
}

}  // namespace

// The largest pictures are converted band by band in well under 100 MB: a 1-bit bitmap of
// 67,108,864 x 1 pixels (its 24-bit copy alone would take 192 MB), and an 8192 x 8192 PNG fitted
// whole and by a frame; info of the PNG decodes it a row at a time to count its transparent
// pixels. The fitted bitmap has the exact area averages of its pixels.
TEST(PqtoolPictureMemory, LargestPicturesConvertInLittleMemory) {
    TempDir dir;
    const std::int64_t width = 67108864;
    const fs::path bmp = dir / "wide.bmp";
    {
        std::vector<uint8_t> f;
        ByteWriter put(f);
        put.U8('B'), put.U8('M'), put.U32(uint32_t(62 + width / 8)), put.U32(0), put.U32(62);
        put.U32(40), put.I32(int32_t(width)), put.I32(1), put.U16(1), put.U16(1), put.Fill(24, 0);
        put.U8(30), put.U8(20), put.U8(10), put.U8(0);      // entry 0: (10, 20, 30)
        put.U8(100), put.U8(150), put.U8(200), put.U8(0);   // entry 1: (200, 150, 100)
        std::ofstream out(bmp, std::ios::binary);
        out.write(reinterpret_cast<const char*>(f.data()), std::streamsize(f.size()));
        std::vector<char> block(4096);
        for (std::int64_t i = 0; i < width / 8 / 4096; ++i) {
            std::fill(block.begin(), block.end(), char(i % 3 == 0 ? 0xFF : i % 3 == 1 ? 0x0F : 0x01));
            out.write(block.data(), std::streamsize(block.size()));
        }
    }
    const fs::path out = dir / "out.pqf";
    const long bmpPeak = PeakMiB({"convert", bmp.string(), out.string(), "--size", "32", "--colors", "256"});
    ASSERT_GE(bmpPeak, 0);
    EXPECT_LT(bmpPeak, 100);
    // Fitted into 32 x 1 on row 15: each pixel averages 64 blocks of 32768 source pixels.
    const Document got = LoadPqf(out);
    ASSERT_EQ(got.ImageWidth, 32);
    for (int x = 0; x < 32; ++x) {
        std::int64_t ones = 0;
        for (int b = 64 * x; b < 64 * (x + 1); ++b) ones += 4096 * (b % 3 == 0 ? 8 : b % 3 == 1 ? 4 : 1);
        const std::int64_t n = 2097152;
        auto mean = [&](int zero, int one) { return uint8_t((2 * (ones * one + (n - ones) * zero) + n) / (2 * n)); };
        const std::size_t at = std::size_t(x + 32 * 15);
        ASSERT_EQ(got.LayerAt(0).Mask[at], 1) << x;
        EXPECT_EQ(got.ColorOf(got.LayerAt(0).Indices[at]), (Rgb{mean(10, 200), mean(20, 150), mean(30, 100)})) << x;
        EXPECT_EQ(got.LayerAt(0).Mask[std::size_t(x)], 0);
    }

    const fs::path png = dir / "large.png";
    const std::size_t clear = WriteLargePng(png, 8192);
    const long fitPeak = PeakMiB({"convert", png.string(), out.string(), "--size", "48"});
    ASSERT_GE(fitPeak, 0);
    EXPECT_LT(fitPeak, 100);
    const long areaPeak = PeakMiB({"convert", png.string(), out.string(), "--size", "32", "--area", "100,200,7000,8100"});
    ASSERT_GE(areaPeak, 0);
    EXPECT_LT(areaPeak, 100);
    const long infoPeak = PeakMiB({"info", png.string()});
    ASSERT_GE(infoPeak, 0);
    EXPECT_LT(infoPeak, 30);
    const RunResult info = Pqtool({"info", png.string()});
    EXPECT_EQ(Lines(info.Out), (std::vector<std::string>{"type: png", "size: 8192x8192",
                                                         "transparent pixels: " + std::to_string(clear)}));
}

// Converting a PNG with transparency, fitted and by a frame, gives what the editor's whole
// load gives: the import of the fitted picture or of the area picker's preview.
TEST(PqtoolPictureMemory, BandedConversionEqualsTheWholeLoad) {
    TempDir dir;
    const fs::path png = dir / "in.png", out = dir / "out.pqf";
    std::vector<uint8_t> rgba;
    const int w = 517, h = 301;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t p[4];
            LargePngPixel(x * 16, y * 27, p);
            rgba.insert(rgba.end(), p, p + 4);
        }
    WriteBytes(png, test::EncodePng(w, h, rgba));
    Raster picture;
    Plane transparent;
    ASSERT_TRUE(LoadPngPicture(png, picture, &transparent).Ok);

    ASSERT_EQ(Pqtool({"convert", png.string(), out.string(), "--size", "48x31", "--colors", "256"}).Status, 0);
    const Rect fit = FitInside(w, h, 48, 31);
    const ResampledPicture fitted = ResampleRaster(picture, &transparent, fit.right - fit.left, fit.bottom - fit.top);
    Raster preview(48, 31);
    preview.Fill(kWhite);
    Plane unpainted(48 * 31, 1);
    for (int y = 0; y < fitted.Height; ++y)
        for (int x = 0; x < fitted.Width; ++x)
            if (fitted.Painted[std::size_t(y * fitted.Width + x)]) {
                preview.SetPixelUnchecked(fit.left + x, fit.top + y, fitted.Colors.PixelUnchecked(x, y));
                unpainted[std::size_t((fit.top + y) * 48 + fit.left + x)] = 0;
            }
    Document expected;
    ImportPictureDocument(expected, preview, 256, 10, &unpainted);
    Document got = LoadPqf(out);
    EXPECT_EQ(got.Layers(), expected.Layers());
    EXPECT_EQ(got.Palette, expected.Palette);

    ASSERT_EQ(Pqtool({"convert", png.string(), out.string(), "--size", "32", "--area", "-20,40,300,200"}).Status, 0);
    AreaPicker picker(picture, 32, 32, &transparent);
    picker.Square = false;
    picker.Press(-20, 40);
    picker.Move(300, 200);
    picker.Release();
    ImportPictureDocument(expected, picker.Preview(), 16, 10, &picker.PreviewUnpainted());
    got = LoadPqf(out);
    EXPECT_EQ(got.Layers(), expected.Layers());
    EXPECT_EQ(got.Palette, expected.Palette);
}
