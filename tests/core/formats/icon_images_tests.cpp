#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <fstream>
#include <set>
#include <sstream>

#include "core/document/quality_reduction.h"
#include "core/formats/icon_file.h"
#include "core/formats/icon_images.h"
#include "core/formats/icon_set.h"
#include "core/io/byte_io.h"
#include "support/png_encode.h"
#include "support/test_paths.h"

namespace pq {
namespace {

using test::CorpusDir;
using test::DataDir;
using test::HaveCorpus;
using test::ReadBytes;

// The picture a document shows: RGBA bytes, painted pixels opaque in their palette colour,
// unpainted ones 0,0,0,0.
// A truecolour document shows its pixels thresholded the same way: alpha 128 and above opaque.
std::vector<uint8_t> Shown(const Document& d) {
    std::vector<uint8_t> px;
    const Layer& l = d.LayerAt(0);
    if (d.TrueColor) {
        for (const Rgba8 p : l.Pixels) {
            const bool on = p.a >= 128;
            px.insert(px.end(), {uint8_t(on ? p.r : 0), uint8_t(on ? p.g : 0), uint8_t(on ? p.b : 0), uint8_t(on ? 255 : 0)});
        }
        return px;
    }
    for (int i = 0; i < d.PixelCount(); ++i) {
        const Rgb c = d.ColorOf(l.Indices[std::size_t(i)]);
        const bool on = l.Mask[std::size_t(i)] != 0;
        px.insert(px.end(), {uint8_t(on ? c.r : 0), uint8_t(on ? c.g : 0), uint8_t(on ? c.b : 0), uint8_t(on ? 255 : 0)});
    }
    return px;
}

uint64_t Fnv1a64(const std::vector<uint8_t>& bytes) {
    uint64_t h = 0xcbf29ce484222325ull;
    for (uint8_t b : bytes) h = (h ^ b) * 0x100000001b3ull;
    return h;
}

std::string Hex(uint64_t v) {
    char s[17];
    std::snprintf(s, sizeof s, "%016llx", static_cast<unsigned long long>(v));
    return s;
}

// A one-image icon file around a DIB of `bits` per pixel built from RGBA pixels (row-major from
// the top): 1-bit images take index 1 where red is non-zero, with the colour table `table1`
// (blue, green, red, 0 per entry); 16-bit ones keep the top 5 bits of each channel. The mask bit
// is set where alpha is 0. `alphaBytes` false writes 0 into every 32-bit alpha byte.
std::vector<uint8_t> DibIcon(int bits, int w, int h, const std::vector<uint8_t>& rgba, bool alphaBytes = true,
                             bool withMask = true,
                             const std::vector<uint8_t>& table1 = {0, 0, 0, 0, 255, 255, 255, 0}) {
    const std::size_t colorRow = (std::size_t(w) * bits + 31) / 32 * 4, maskRow = (std::size_t(w) + 31) / 32 * 4;
    std::vector<uint8_t> img;
    ByteWriter put(img);
    put.U32(40);
    put.I32(w);
    put.I32(2 * h);
    put.U16(1);
    put.U16(uint32_t(bits));
    put.Fill(24, 0);
    if (bits == 1) put.Bytes(table1);
    std::vector<uint8_t> color(colorRow * std::size_t(h), 0), mask(maskRow * std::size_t(h), 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const uint8_t* p = rgba.data() + 4 * (std::size_t(y) * w + x);
            const std::size_t r = std::size_t(h - 1 - y);
            uint8_t* c = color.data() + r * colorRow;
            if (bits == 1) {
                if (p[0]) c[x / 8] |= uint8_t(0x80 >> (x % 8));
            } else if (bits == 16) {
                const unsigned v = unsigned(p[0] >> 3) << 10 | unsigned(p[1] >> 3) << 5 | unsigned(p[2] >> 3);
                c[2 * x] = uint8_t(v), c[2 * x + 1] = uint8_t(v >> 8);
            } else {
                uint8_t* q = c + std::size_t(bits / 8) * x;
                q[0] = p[2], q[1] = p[1], q[2] = p[0];
                if (bits == 32) q[3] = alphaBytes ? p[3] : 0;
            }
            if (p[3] == 0) mask[r * maskRow + x / 8] |= uint8_t(0x80 >> (x % 8));
        }
    put.Bytes(color);
    if (withMask) put.Bytes(mask);
    std::vector<uint8_t> file;
    ByteWriter f(file);
    f.U16(0);
    f.U16(1);
    f.U16(1);
    f.U8(uint8_t(w));
    f.U8(uint8_t(h));
    f.U8(bits == 1 ? 2 : 0);
    f.U8(0);
    f.U16(1);
    f.U16(uint32_t(bits));
    f.U32(uint32_t(img.size()));
    f.U32(22);
    f.Bytes(img);
    return file;
}

std::vector<uint8_t> PngIcon(int w, int h, const std::vector<uint8_t>& rgba) {
    const std::vector<uint8_t> png = test::EncodePng(w, h, rgba);
    std::vector<uint8_t> file;
    ByteWriter f(file);
    f.U16(0);
    f.U16(1);
    f.U16(1);
    f.U8(uint8_t(w));
    f.U8(uint8_t(h));
    f.Fill(2, 0);
    f.U16(1);
    f.U16(32);
    f.U32(uint32_t(png.size()));
    f.U32(22);
    f.Bytes(png);
    return file;
}

// n distinct colours over a w x h picture; alpha from `alphaAt`.
template <typename AlphaAt>
std::vector<uint8_t> Picture(int w, int h, int n, AlphaAt alphaAt) {
    std::vector<uint8_t> px;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int k = (x + w * y) % n;
            px.insert(px.end(), {uint8_t(k * 37), uint8_t(255 - k), uint8_t(k * 11 + 3), uint8_t(alphaAt(x, y))});
        }
    return px;
}

TEST(IconImages, CorpusEntriesOpenAsPeerDecodersShowThem) {
    if (!HaveCorpus()) GTEST_SKIP() << "no corpus";
    // Entries other decoders agree on: tests/data/tools/make_icon_decoded_expectations.py.
    std::ifstream list(DataDir() / "icon_decoded_expectations.txt");
    std::string line;
    int checked = 0, exact = 0;
    while (std::getline(list, line)) {
        std::istringstream in(line);
        std::string path, hash, maskHash;
        int index = 0, w = 0, h = 0, distinct = 0;
        in >> path >> index >> w >> h >> distinct >> hash >> maskHash;
        SCOPED_TRACE(path + " #" + std::to_string(index));
        Document d;
        const FileResult r = LoadIconFile(CorpusDir() / path, index, d, 20);
        ASSERT_TRUE(r) << r.Message;
        ASSERT_EQ(d.ImageWidth, w);
        ASSERT_EQ(d.ImageHeight, h);
        std::vector<uint8_t> painted;
        if (d.TrueColor) {
            // 32-bit and PNG entries keep every pixel: always exact.
            for (const Rgba8 p : d.LayerAt(0).Pixels) painted.push_back(p.a >= 128);
        } else {
            EXPECT_EQ(d.ColorCount, distinct <= 16 ? 16 : 256);
            for (uint8_t m : d.LayerAt(0).Mask) painted.push_back(m != 0);
        }
        EXPECT_EQ(Hex(Fnv1a64(painted)), maskHash);
        // Where the colours fit the palette, every pixel keeps its exact colour.
        if (distinct <= 256 || d.TrueColor) {
            EXPECT_EQ(Hex(Fnv1a64(Shown(d))), hash);
            ++exact;
        }
        ++checked;
    }
    EXPECT_GE(checked, 180);
    EXPECT_GE(exact, 40);
}

// A w x h RGBA picture whose pixel (x, y) is `at(x, y)`, four bytes.
template <typename At>
std::vector<uint8_t> Pixels(int w, int h, At at) {
    std::vector<uint8_t> px;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const std::vector<uint8_t> p = at(x, y);
            px.insert(px.end(), p.begin(), p.end());
        }
    return px;
}

// What the document must show for an RGBA picture: alpha >= 128 painted in its colour.
std::vector<uint8_t> Thresholded(const std::vector<uint8_t>& rgba) {
    std::vector<uint8_t> out;
    for (std::size_t i = 0; i < rgba.size(); i += 4) {
        const bool on = rgba[i + 3] >= 128;
        out.insert(out.end(), {uint8_t(on ? rgba[i] : 0), uint8_t(on ? rgba[i + 1] : 0), uint8_t(on ? rgba[i + 2] : 0),
                               uint8_t(on ? 255 : 0)});
    }
    return out;
}

TEST(IconImages, EveryCorpusEntryOpensButTheBrokenOnes) {
    if (!HaveCorpus()) GTEST_SKIP() << "no corpus";
    // Every entry of every icon and cursor: 646 entries in 142 files whose directory reads, of
    // which exactly these 9, all in files broken on purpose, are refused; 4 more files have no
    // readable directory at all.
    const std::set<std::string> brokenEntries = {
        "gdk-pixbuf/test-images/fail/bug779012.ico #0",                 // image offset past the end
        "gdk-pixbuf/test-images/fail/invalid.1.ico #0",                 // unknown compression
        "gdk-pixbuf/test-images/randomly-modified/bug776040.ico #0",    // no image data
        "gdk-pixbuf/test-images/randomly-modified/crash.ico #0",        // 2 x 268435457
        "gdk-pixbuf/test-images/randomly-modified/invalid.2.ico #0",    // 233 x 4587536
        "image-rs/regression/ico/crash-981fee302fe0fc543ee48292cc3d6ace7e97e633.ico #0",   // RLE4, cut
        "image-rs/regression/ico/oom-0d0085eb7f66ea55d9119206235cd29e089b9140.ico #0",   // PNG, huge
        "image-rs/regression/ico/oom-ff076e7064c13ec1f8e2c5bbbfb7a77a08db2361.ico #0",   // PNG, huge
        "pillow/ico/decompression_bomb.ico #0",                         // 65535 x 32767
    };
    const std::set<std::string> brokenFiles = {
        "gdk-pixbuf/test-images/fail/bug778204.ico", "gdk-pixbuf/test-images/fail/invalid.3.ico",
        "gdk-pixbuf/test-images/randomly-modified/bad-header.ico", "pillow/cur/no_cursors.cur"};
    std::set<std::string> refusedEntries, refusedFiles;
    int opened = 0;
    for (const auto& item : std::filesystem::recursive_directory_iterator(CorpusDir())) {
        std::string ext = item.path().extension().string();
        for (char& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
        if (ext != ".ico" && ext != ".cur") continue;
        const std::string name = std::filesystem::relative(item.path(), CorpusDir()).string();
        const std::vector<uint8_t> bytes = ReadBytes(item.path());
        IconDirectory dir;
        if (!ReadIconDirectory(bytes, dir)) {
            refusedFiles.insert(name);
            continue;
        }
        for (std::size_t i = 0; i < dir.Entries.size(); ++i) {
            Document d;
            const FileResult r = LoadIconBytes(bytes, int(i), d, 20);
            EXPECT_EQ(r.Ok, IconImageOpens(bytes, dir.Entries[i])) << name << " #" << i;
            if (r)
                ++opened;
            else
                refusedEntries.insert(name + " #" + std::to_string(i));
        }
    }
    EXPECT_EQ(refusedEntries, brokenEntries);
    EXPECT_EQ(refusedFiles, brokenFiles);
    EXPECT_EQ(opened, 637);
}

TEST(IconImages, TrueColourAndPngEntriesOpenPaintedWhereOpaqueInTheirColours) {
    const int w = 19, h = 7;   // odd width: padded colour and mask rows
    // Alpha 0 and 255 at the sides and 118..137 between, so that 127 and 128 both occur; the
    // mask says the opposite.
    auto ramp = [](int x, int y) { return x == 0 ? 0 : x == 18 ? 255 : 118 + (x + 3 * y) % 20; };
    struct Case {
        const char* name;
        std::vector<uint8_t> file;
        std::vector<uint8_t> rgba;   // what the file holds
        int colors;
    };
    std::vector<Case> cases;
    for (int n : {16, 17, 300}) {
        const std::vector<uint8_t> px = Picture(w, h, n, ramp);
        std::vector<uint8_t> file = DibIcon(32, w, h, px);
        // Invert the mask bits: a 32-bit image with alpha in use must ignore them.
        const std::size_t maskBytes = 4 * std::size_t(h);
        for (std::size_t i = file.size() - maskBytes; i < file.size(); ++i) file[i] = uint8_t(~file[i]);
        cases.push_back({"32-bit", file, px, 0});
        cases.push_back({"PNG", PngIcon(w, h, px), px, 0});
    }
    // No alpha in use (24-bit, or 32-bit with every alpha byte 0): the mask decides.
    auto holes = [](int x, int y) { return (x + 2 * y) % 5 == 0 ? 0 : 255; };
    cases.push_back({"24-bit", DibIcon(24, w, h, Picture(w, h, 40, holes)), Picture(w, h, 40, holes), 0});
    cases.push_back({"32-bit, alpha all 0", DibIcon(32, w, h, Picture(w, h, 9, holes), false), Picture(w, h, 9, holes), 0});
    // Written by tests/data/tools/make_test_files.py: a 5 x 3 black and white checkerboard,
    // transparent at (0, 0) and (4, 2).
    std::vector<uint8_t> checker;
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) {
            const uint8_t v = (x + y) % 2 ? 255 : 0;
            const bool clear = (x == 0 && y == 0) || (x == 4 && y == 2);
            checker.insert(checker.end(), {v, v, v, uint8_t(clear ? 0 : 255)});
        }
    cases.push_back({"1-bit", ReadBytes(DataDir() / "monochrome.ico"), checker, 0});
    // A 1-bit table of other colours than black and white: index 0 blue, index 1 red.
    auto blueRed = [&](int x, int y) {
        const bool red = (x + y) % 3 == 0;
        return std::vector<uint8_t>{uint8_t(red ? 255 : 0), 0, uint8_t(red ? 0 : 255), uint8_t(holes(x, y))};
    };
    const std::vector<uint8_t> blueRedPx = Pixels(w, h, blueRed);
    cases.push_back({"1-bit, blue and red", DibIcon(1, w, h, blueRedPx, true, true, {255, 0, 0, 0, 0, 0, 255, 0}),
                     blueRedPx, 0});
    // 5-5-5 channels at full scale: 0x7C00 is (255, 0, 0), 0x7FFF white; 16 gives 132.
    auto fiveBits = [&](int x, int y) {
        static const uint8_t kColours[][3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}, {0, 0, 0}, {132, 66, 8}};
        const uint8_t* k = kColours[(x + 2 * y) % 6];
        return std::vector<uint8_t>{k[0], k[1], k[2], uint8_t(holes(x, y))};
    };
    const std::vector<uint8_t> fiveBitsPx = Pixels(w, h, fiveBits);
    cases.push_back({"16-bit", DibIcon(16, w, h, fiveBitsPx), fiveBitsPx, 0});

    for (const Case& c : cases) {
        const int pw = c.name == std::string("1-bit") ? 5 : w, ph = c.name == std::string("1-bit") ? 3 : h;
        std::set<std::array<uint8_t, 3>> distinct;
        for (std::size_t i = 0; i < c.rgba.size(); i += 4)
            if (c.rgba[i + 3] >= 128) distinct.insert({c.rgba[i], c.rgba[i + 1], c.rgba[i + 2]});
        SCOPED_TRACE(std::string(c.name) + ", " + std::to_string(distinct.size()) + " colours");
        Document d;
        ASSERT_TRUE(LoadIconBytes(c.file, 0, d, 20));
        ASSERT_EQ(d.ImageWidth, pw);
        ASSERT_EQ(d.ImageHeight, ph);
        ASSERT_EQ(d.LayerCount(), 1);
        // Images with alpha of their own open as truecolour with every colour and alpha value.
        const std::string name = c.name;
        const bool truecolour = name.rfind("32-bit", 0) == 0 || name == "PNG";
        ASSERT_EQ(d.TrueColor, truecolour);
        if (truecolour) {
            ASSERT_EQ(d.LayerAt(0).Pixels.size(), c.rgba.size() / 4);
            for (std::size_t i = 0; i < c.rgba.size() / 4; ++i) {
                const Rgba8 p = d.LayerAt(0).Pixels[i];
                ASSERT_EQ((std::array<uint8_t, 4>{p.r, p.g, p.b, p.a}),
                          (std::array<uint8_t, 4>{c.rgba[4 * i], c.rgba[4 * i + 1], c.rgba[4 * i + 2], c.rgba[4 * i + 3]}))
                    << "pixel " << i;
            }
            continue;
        }
        EXPECT_EQ(d.ColorCount, distinct.size() <= 16 ? 16 : 256);
        const std::vector<uint8_t> want = Thresholded(c.rgba), got = Shown(d);
        if (distinct.size() <= 256) {
            EXPECT_EQ(got, want);
        } else {
            for (std::size_t i = 3; i < want.size(); i += 4) ASSERT_EQ(got[i], want[i]) << "pixel " << i / 4;
            std::set<int> used(d.LayerAt(0).Indices.begin(), d.LayerAt(0).Indices.end());
            EXPECT_GT(used.size(), 200u);   // reduced, not collapsed
        }
    }
}

TEST(IconImages, ReductionChoicesAndTheAlphaThresholdReachTrueColourAndPngEntries) {
    // 23 x 17 colours of their own; alpha 127, 128 and 255 in turn.
    const int w = 23, h = 17;
    std::vector<uint8_t> px;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int k = (x + y) % 3;
            px.insert(px.end(), {uint8_t(x * 11), uint8_t(y * 15), uint8_t(x * y % 256), uint8_t(k == 0 ? 127 : k == 1 ? 128 : 255)});
        }
    Raster colors(w, h);
    for (int i = 0; i < w * h; ++i)
        colors.SetPixelUnchecked(i % w, i / w, Rgb{px[4 * std::size_t(i)], px[4 * std::size_t(i) + 1], px[4 * std::size_t(i) + 2]});
    for (const auto& [name, file] : {std::pair{"32-bit", DibIcon(32, w, h, px)}, std::pair{"PNG", PngIcon(w, h, px)}}) {
        SCOPED_TRACE(name);
        IconDirectory dir;
        ASSERT_TRUE(ReadIconDirectory(file, dir));
        // The entry opens as truecolour whatever the choices; reduced (DocumentFromRgba, as
        // when a palette is asked for) they decide the palette and the painted part.
        RgbaImage decoded;
        ASSERT_TRUE(DecodeIconRgba(std::span<const uint8_t>(file).subspan(22), decoded));
        auto reduced = [&](const ReductionOptions& options) {
            Document d;
            DocumentFromRgba(d, decoded, 10, 0, options);
            return d;
        };
        const Document plain = reduced(ReductionOptions{});
        for (const int threshold : {127, 128}) {
            const Document d = reduced(ReductionOptions{Quantizer::MedianCut, Dither::None, threshold});
            for (int i = 0; i < w * h; ++i)
                ASSERT_EQ(d.LayerAt(0).Mask[std::size_t(i)], px[4 * std::size_t(i) + 3] >= threshold ? 1 : 0)
                    << "threshold " << threshold << " pixel " << i;
            if (threshold == 128) EXPECT_EQ(d.LayerAt(0).Mask, plain.LayerAt(0).Mask);
        }

        const ReductionOptions quality{Quantizer::Quality, Dither::Diffusion, 128};
        Document direct;
        const Document got = reduced(quality);
        InitBlankDocument(direct, w, h, 256, 10);
        ReducePaintedPicture(direct, 256, 0, colors, PaintedFromRgba(px, 128), quality);
        EXPECT_EQ(got.Palette, direct.Palette);
        EXPECT_EQ(got.LayerAt(0).Indices, direct.LayerAt(0).Indices);
        EXPECT_EQ(got.LayerAt(0).Mask, direct.LayerAt(0).Mask);
        EXPECT_NE(got.Palette, plain.Palette);
        // Opened, alone or as a page of すべて開く, the entry keeps its pixels under any choices.
        Document opened;
        ASSERT_TRUE(LoadIconImage(file, dir, 0, opened, 10, quality));
        std::vector<IconSetPage> pages;
        int type = 0;
        ASSERT_TRUE(LoadIconSet(file, 10, pages, type, nullptr, quality));
        for (const Document* d : {&opened, &pages[0].Doc}) {
            ASSERT_TRUE(d->TrueColor);
            for (int i = 0; i < w * h; ++i) {
                const Rgba8 p = d->LayerAt(0).Pixels[std::size_t(i)];
                ASSERT_EQ((std::array<uint8_t, 4>{p.r, p.g, p.b, p.a}),
                          (std::array<uint8_t, 4>{px[4 * std::size_t(i)], px[4 * std::size_t(i) + 1],
                                                  px[4 * std::size_t(i) + 2], px[4 * std::size_t(i) + 3]}));
            }
        }
    }
}

TEST(IconImages, CursorHotspotBeyondTheImageIsMovedInside) {
    // A 7 x 5 cursor whose directory puts the hotspot at (40, 30): it opens at (6, 4).
    std::vector<uint8_t> file = DibIcon(24, 7, 5, Picture(7, 5, 3, [](int, int) { return 255; }));
    file[2] = kCursorResourceType;
    file[6 + 4] = 40, file[6 + 6] = 30;   // the planes and bit count words hold the hotspot
    Document d;
    ASSERT_TRUE(LoadIconBytes(file, 0, d, 20));
    EXPECT_TRUE(d.HasHotspot);
    EXPECT_EQ(d.HotspotX, 6);
    EXPECT_EQ(d.HotspotY, 4);
}

TEST(IconImages, DamagedEntriesAreRefused) {
    const int w = 8, h = 8;
    const std::vector<uint8_t> px = Picture(w, h, 5, [](int x, int) { return x < 4 ? 255 : 0; });
    const std::vector<uint8_t> dib32 = DibIcon(32, w, h, px), dib24 = DibIcon(24, w, h, px), png = PngIcon(w, h, px);
    auto patched = [](std::vector<uint8_t> b, std::size_t at, uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) b[at + std::size_t(i)] = uint8_t(v >> (8 * i));
        return b;
    };
    auto patchedBE = [](std::vector<uint8_t> b, std::size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) b[at + std::size_t(i)] = uint8_t(v >> (24 - 8 * i));
        return b;
    };
    const std::size_t maskBytes = 4 * std::size_t(h);
    const std::pair<const char*, std::vector<uint8_t>> refused[] = {
        {"32-bit rows cut", std::vector<uint8_t>(dib32.begin(), dib32.end() - std::ptrdiff_t(maskBytes + 1))},
        {"24-bit without its mask", std::vector<uint8_t>(dib24.begin(), dib24.end() - std::ptrdiff_t(maskBytes))},
        {"bitfields", patched(dib32, 22 + 16, 3, 4)},
        {"width 0", patched(dib32, 22 + 4, 0, 4)},
        {"top-down", patched(dib32, 22 + 8, uint32_t(-16), 4)},
        {"width 5000", patched(dib32, 22 + 4, 5000, 4)},
        {"2 bits per pixel", patched(dib32, 22 + 14, 2, 2)},
        {"header size past the end", patched(dib32, 22, 0x7FFFFFF0, 4)},
        {"offset past the end", patched(dib32, 6 + 12, 100000, 4)},
        {"PNG declaring 100000 x 100000", patchedBE(png, 22 + 16, 100000)},
        {"PNG cut", std::vector<uint8_t>(png.begin(), png.end() - 20)},
        {"PNG with damaged pixel data", [&] {
             std::vector<uint8_t> b = png;
             const std::string idat = "IDAT";
             b[std::size_t(std::search(b.begin(), b.end(), idat.begin(), idat.end()) - b.begin()) + 6] ^= 0x55;
             return b;
         }()},
    };
    for (const auto& [name, bytes] : refused) {
        Document d;
        InitBlankDocument(d, 3, 3, 16, 20);
        const FileResult r = LoadIconBytes(bytes, 0, d, 20);
        EXPECT_EQ(r.Message, kIconOpenError) << name;
        EXPECT_EQ(d.ImageWidth, 3) << name;
    }
    // A 32-bit image with alpha in use needs no mask.
    Document d;
    EXPECT_TRUE(LoadIconBytes(std::vector<uint8_t>(dib32.begin(), dib32.end() - std::ptrdiff_t(maskBytes)), 0, d, 20));
}

TEST(IconImages, ChooserLinesGiveRealSizesAndDepths) {
    const std::pair<const char*, std::vector<std::string>> files[] = {
        {"two_images.ico", {"0： サイズ：5×3 色数：16色", "1： サイズ：5×3 色数：256色"}},
        {"monochrome.ico", {"0： サイズ：5×3 色数：2色"}},
    };
    for (const auto& [name, lines] : files) {
        const std::vector<uint8_t> bytes = ReadBytes(DataDir() / name);
        IconDirectory dir;
        ASSERT_TRUE(ReadIconDirectory(bytes, dir));
        for (std::size_t i = 0; i < lines.size(); ++i) EXPECT_EQ(IconChooserLabel(int(i), bytes, dir.Entries[i]), lines[i]);
    }
    const std::vector<uint8_t> px = Picture(3, 2, 2, [](int, int) { return 255; });
    for (const auto& [bytes, line] : {std::pair{DibIcon(24, 3, 2, px), "4： サイズ：3×2 色数：24ビット"},
                                      std::pair{DibIcon(32, 3, 2, px), "4： サイズ：3×2 色数：32ビット"},
                                      std::pair{PngIcon(3, 2, px), "4： サイズ：3×2 色数：PNG"}}) {
        IconDirectory dir;
        ASSERT_TRUE(ReadIconDirectory(bytes, dir));
        EXPECT_EQ(IconChooserLabel(4, bytes, dir.Entries[0]), line);
    }
    if (!HaveCorpus()) return;
    // The directory says 256 x 256 (bytes 0) for an image of 194 x 313.
    const std::vector<uint8_t> wine = ReadBytes(CorpusDir() / "wine-extracted/ico/winecfg.exe_14_102_0.ico");
    IconDirectory dir;
    ASSERT_TRUE(ReadIconDirectory(wine, dir));
    EXPECT_EQ(IconChooserLabel(2, wine, dir.Entries[2]), "2： サイズ：194×313 色数：PNG");
}

}  // namespace
}  // namespace pq
