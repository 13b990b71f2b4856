// Truecolour pictures through the icon and cursor files: images with alpha open with every value,
// pages that still show what was read are written back byte for byte, changed ones exactly, and
// new sizes are averaged without fringes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>

#include "core/document/blend.h"
#include "core/formats/bitmap_file.h"
#include "core/formats/icon_container.h"
#include "core/formats/icon_file.h"
#include "core/formats/icon_images.h"
#include "core/formats/icon_set.h"
#include "core/formats/png_file.h"
#include "core/io/byte_io.h"
#include "core/ops/resample.h"
#include "support/png_encode.h"
#include "support/test_paths.h"

namespace pq {
namespace {

using test::ReadBytes;
using test::WriteBytes;

// Every kind of alpha (0 under bright colours, faint, half, nearly and fully opaque).
std::vector<Rgba8> SoftPixels(int w, int h, uint32_t seed) {
    std::mt19937 rng(seed);
    constexpr uint8_t kAlphas[] = {0, 0, 1, 45, 128, 200, 254, 255};
    std::vector<Rgba8> px(std::size_t(w) * std::size_t(h));
    for (Rgba8& p : px) p = Rgba8{uint8_t(rng()), uint8_t(rng()), uint8_t(rng()), kAlphas[rng() % 8]};
    return px;
}

std::vector<uint8_t> Bytes(const std::vector<Rgba8>& px) {
    std::vector<uint8_t> out;
    for (const Rgba8 p : px) out.insert(out.end(), {p.r, p.g, p.b, p.a});
    return out;
}

std::vector<Rgba8> Pixels(const RgbaImage& image) {
    std::vector<Rgba8> out;
    for (std::size_t i = 0; i + 3 < image.Pixels.size(); i += 4)
        out.push_back(Rgba8{image.Pixels[i], image.Pixels[i + 1], image.Pixels[i + 2], image.Pixels[i + 3]});
    return out;
}

// What a page shows: alpha-0 pixels carry no colour.
std::vector<Rgba8> Visible(std::vector<Rgba8> px) {
    for (Rgba8& p : px)
        if (p.a == 0) p = Rgba8{};
    return px;
}

// A 32-bit DIB as icon files hold it: BGRA rows bottom-up, then the AND mask. alphaBytes false
// writes alpha 0 everywhere, the mask alone saying what is transparent.
std::vector<uint8_t> Dib32(int w, int h, const std::vector<Rgba8>& px, bool alphaBytes = true) {
    std::vector<uint8_t> out;
    ByteWriter put(out);
    const std::size_t maskRow = (std::size_t(w) + 31) / 32 * 4;
    put.U32(40), put.I32(w), put.I32(2 * h), put.U16(1), put.U16(32);
    for (int i = 0; i < 6; ++i) put.U32(0);
    for (int y = h - 1; y >= 0; --y)
        for (int x = 0; x < w; ++x) {
            const Rgba8 p = px[std::size_t(y * w + x)];
            put.Bytes(std::array<uint8_t, 4>{p.b, p.g, p.r, uint8_t(alphaBytes ? p.a : 0)});
        }
    for (int y = h - 1; y >= 0; --y) {
        std::vector<uint8_t> row(maskRow, 0);
        for (int x = 0; x < w; ++x)
            if (px[std::size_t(y * w + x)].a == 0) row[std::size_t(x / 8)] |= uint8_t(0x80 >> (x % 8));
        put.Bytes(row);
    }
    return out;
}

// An entry for data made here; three bytes no encoder writes follow the data, so that an image
// written anew instead of kept shows.
StoredIconImage Stored(int w, int h, std::vector<uint8_t> data, int bits) {
    StoredIconImage image;
    data.insert(data.end(), {0xA5, 0x00, 0x5A});
    image.Entry = {uint8_t(w % 256), uint8_t(h % 256), 0, 0, 1, 0, uint8_t(bits), 0};
    const uint32_t n = uint32_t(data.size());
    for (int i = 0; i < 4; ++i) image.Entry[std::size_t(8 + i)] = uint8_t(n >> (8 * i));
    image.Data = std::move(data);
    return image;
}

std::string Output(const std::string& command) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return out;
    char buf[4096];
    for (std::size_t n; (n = fread(buf, 1, sizeof buf, pipe)) > 0;) out.append(buf, n);
    pclose(pipe);
    return out;
}

bool HavePillow() { return Output("/usr/bin/python3 -c 'import PIL' 2>&1; echo $?") == "0\n"; }

// The RGBA bytes Pillow decodes from a file (its largest image), as hex.
std::string PillowRgbaHex(const std::filesystem::path& path) {
    return Output("/usr/bin/python3 -c \"import sys; from PIL import Image; im = Image.open(sys.argv[1]); "
                  "print(im.size[0], im.size[1], im.convert('RGBA').tobytes().hex())\" '" +
                  path.string() + "' 2>&1");
}

std::string Hex(int w, int h, const std::vector<Rgba8>& px) {
    static const char* digits = "0123456789abcdef";
    std::string out = std::to_string(w) + " " + std::to_string(h) + " ";
    for (const uint8_t b : Bytes(px)) out += digits[b >> 4], out += digits[b & 15];
    return out + "\n";
}

// A palette page: 16 x 16, 256 colours, three quarters painted.
Document PalettePage() {
    Document d;
    InitBlankDocument(d, 16, 16, 256, 20);
    std::mt19937 rng(9);
    for (int i = 0; i < 256; ++i) d.Palette[std::size_t(i)] = MakeEntry(Rgb{uint8_t(rng()), uint8_t(rng()), uint8_t(rng())});
    Layer& l = d.LayerAt(0);
    for (std::size_t i = 0; i < l.Mask.size(); ++i)
        if (rng() % 4 != 0) l.Mask[i] = 1, l.Indices[i] = uint8_t(rng());
    return d;
}

// An icon of a palette page, a 19 x 13 32-bit page and a 256 x 256 PNG page, all with soft
// alpha where they can hold it.
class TrueColorSet : public testing::Test {
protected:
    void SetUp() override {
        StoredIconFile file;
        file.ResourceType = uint16_t(kIconResourceType);
        StoredIconImage palette;
        ASSERT_TRUE(EncodeIconPage(PalettePage(), IconPageKind::Palette, kIconResourceType, palette));
        file.Images.push_back(palette);
        file.Images.push_back(Stored(19, 13, Dib32(19, 13, dib), 32));
        file.Images.push_back(Stored(256, 256, test::EncodePng(256, 256, Bytes(png)), 32));
        input = EncodeStoredIconFile(file);
        WriteBytes(path, input);
        ASSERT_TRUE(LoadIconSetFile(path, 20, pages, type));
        ASSERT_EQ(pages.size(), 3u);
    }
    // Every page as the window hands it over after undoing back: nothing known unchanged, each with
    // the image it was read as.
    std::vector<IconSetEntry> ReadAs() const {
        std::vector<IconSetEntry> entries;
        for (const IconSetPage& p : pages) entries.push_back({&p.Doc, p.Kind, nullptr, 0, &p.Stored, type});
        return entries;
    }
    StoredIconImage Image(const std::vector<uint8_t>& bytes, std::size_t i) const {
        StoredIconFile f;
        EXPECT_TRUE(ReadStoredIconFile(bytes, f));
        return i < f.Images.size() ? f.Images[i] : StoredIconImage{};
    }

    test::TempDir dir;
    const std::filesystem::path path = dir / "soft.ico";
    const std::vector<Rgba8> dib = SoftPixels(19, 13, 1), png = SoftPixels(256, 256, 2);
    std::vector<uint8_t> input;
    std::vector<IconSetPage> pages;
    int type = 0;
};

TEST_F(TrueColorSet, ImagesWithAlphaOpenWithEveryColourAndAlphaValue) {
    EXPECT_FALSE(pages[0].Doc.TrueColor);
    EXPECT_EQ(pages[0].Kind, IconPageKind::Palette);
    EXPECT_EQ(pages[0].Doc.LayerAt(0).Mask, PalettePage().LayerAt(0).Mask);
    const std::pair<IconPageKind, const std::vector<Rgba8>*> want[] = {{IconPageKind::TrueColor, &dib},
                                                                        {IconPageKind::Png, &png}};
    for (std::size_t i = 1; i < 3; ++i) {
        SCOPED_TRACE(i);
        const Document& d = pages[i].Doc;
        EXPECT_EQ(pages[i].Kind, want[i - 1].first);
        ASSERT_TRUE(d.TrueColor);
        ASSERT_EQ(d.LayerCount(), 1);
        EXPECT_EQ(d.LayerAt(0).Name, "レイヤ1");
        EXPECT_TRUE(d.LayerAt(0).Mask.empty());
        EXPECT_EQ(d.LayerAt(0).Pixels, *want[i - 1].second);   // the colours under alpha 0 too
        EXPECT_EQ(d.Origin.Index, int(i));
        EXPECT_EQ(d.Origin.Path, path.string());
        // One image through the icon reader opens the same.
        Document one;
        ASSERT_TRUE(LoadIconFile(path, int(i), one, 20));
        EXPECT_TRUE(one.TrueColor);
        EXPECT_EQ(one.LayerAt(0).Pixels, *want[i - 1].second);
        EXPECT_EQ(IconPageLabel(d, pages[i].Kind), i == 1 ? "19×13 32ビット" : "256×256 PNG");
    }

    // A 32-bit cursor image whose alpha bytes are all 0: the mask gives alpha 0 or 255, the
    // colours stay, the hotspot comes along.
    std::vector<Rgba8> holes = SoftPixels(7, 5, 3);
    for (Rgba8& p : holes) p.a = p.a < 100 ? 0 : 255;
    StoredIconFile cur;
    cur.ResourceType = uint16_t(kCursorResourceType);
    cur.Images.push_back(Stored(7, 5, Dib32(7, 5, holes, false), 32));
    cur.Images[0].Entry[4] = 3, cur.Images[0].Entry[6] = 2;
    Document c;
    ASSERT_TRUE(LoadIconBytes(EncodeStoredIconFile(cur), 0, c, 20));
    ASSERT_TRUE(c.TrueColor);
    EXPECT_EQ(c.LayerAt(0).Pixels, holes);
    EXPECT_TRUE(c.HasHotspot);
    EXPECT_EQ(c.HotspotX, 3);
    EXPECT_EQ(c.HotspotY, 2);
}

TEST_F(TrueColorSet, PagesThatStillShowWhatWasReadAreWrittenByteForByte) {
    // Plainly unchanged.
    ASSERT_TRUE(SaveIconSet(ReadAs(), dir / "same.ico", kIconResourceType));
    EXPECT_EQ(ReadBytes(dir / "same.ico"), input);

    // Flipped and flipped back; split over layers that compose to the same picture (an empty
    // layer on top, a hidden one full of colour); only colours under alpha 0 changed.
    Document& flipped = pages[1].Doc;
    for (int round = 0; round < 2; ++round)
        for (int y = 0; y < 13; ++y)
            std::reverse(flipped.LayerAt(0).Pixels.begin() + y * 19, flipped.LayerAt(0).Pixels.begin() + (y + 1) * 19);
    Document& layered = pages[2].Doc;
    layered.AppendLayer();
    layered.LayerAt(1).Pixels.assign(256 * 256, Rgba8{});
    layered.AppendLayer();
    layered.LayerAt(2).Pixels.assign(256 * 256, Rgba8{200, 10, 10, 255});
    layered.LayerAt(2).Visible = 0;
    for (Rgba8& p : layered.LayerAt(0).Pixels)
        if (p.a == 0) p = Rgba8{255, 255, 255, 0};
    ASSERT_TRUE(SaveIconSet(ReadAs(), dir / "undone.ico", kIconResourceType));
    EXPECT_EQ(ReadBytes(dir / "undone.ico"), input);

    // Restored after a crash (nothing read as known) and saved over the original file, also in
    // another order: every image keeps its bytes.
    std::vector<IconSetEntry> restored;
    for (int i : {2, 0, 1}) restored.push_back({&pages[std::size_t(i)].Doc, pages[std::size_t(i)].Kind});
    const std::filesystem::path copy = dir / "copy.ico";
    WriteBytes(copy, input);
    ASSERT_TRUE(SaveIconSet(restored, copy, kIconResourceType));
    const std::vector<uint8_t> saved = ReadBytes(copy);
    for (std::size_t k = 0; k < 3; ++k) EXPECT_EQ(Image(saved, k).Data, Image(input, std::size_t(k == 0 ? 2 : k - 1)).Data) << k;
}

TEST_F(TrueColorSet, AChangedPageIsWrittenExactlyAndTheOthersKeepTheirBytes) {
    // The PNG page gets a soft layer over it, the 32-bit page one pixel of new alpha.
    Document& top = pages[2].Doc;
    top.AppendLayer();
    top.LayerAt(1).Pixels = SoftPixels(256, 256, 4);
    pages[1].Doc.LayerAt(0).Pixels[19 * 6 + 5] = Rgba8{1, 2, 3, 77};
    ASSERT_TRUE(SaveIconSet(ReadAs(), path, kIconResourceType));
    const std::vector<uint8_t> saved = ReadBytes(path);
    EXPECT_EQ(Image(saved, 0).Data, Image(input, 0).Data);
    for (std::size_t i = 1; i < 3; ++i) {
        SCOPED_TRACE(i);
        const StoredIconImage image = Image(saved, i);
        EXPECT_NE(image.Data, Image(input, i).Data);
        const Document& d = pages[i].Doc;
        RgbaImage decoded;
        ASSERT_TRUE(DecodeIconRgba(image.Data, decoded));
        ASSERT_EQ(decoded.Width, d.ImageWidth);
        ASSERT_EQ(decoded.Height, d.ImageHeight);
        EXPECT_EQ(Pixels(decoded), ComposeRgbaLayers(d.Layers(), std::size_t(d.PixelCount())));
        EXPECT_EQ(IsTrueColorIconData(image.Data), true);
        EXPECT_EQ(image.Data[1] == 'P', i == 2);   // the PNG page stays PNG, the other a DIB
    }
    // The DIB's AND mask is set exactly where alpha is 0.
    const StoredIconImage image = Image(saved, 1);
    const std::vector<Rgba8> composed = ComposeRgbaLayers(pages[1].Doc.Layers(), 19 * 13);
    const std::size_t maskAt = 40 + 4 * 19 * 13;
    for (int y = 0; y < 13; ++y)
        for (int x = 0; x < 19; ++x) {
            const bool bit = (image.Data[maskAt + std::size_t(12 - y) * 4 + std::size_t(x / 8)] >> (7 - x % 8)) & 1;
            ASSERT_EQ(bit, composed[std::size_t(y * 19 + x)].a == 0) << x << "," << y;
        }
    // Read again, the pages are what was written.
    std::vector<IconSetPage> again;
    ASSERT_TRUE(LoadIconSetFile(path, 20, again, type));
    EXPECT_EQ(again[2].Doc.LayerAt(0).Pixels, ComposeRgbaLayers(top.Layers(), 256 * 256));
}

TEST_F(TrueColorSet, OneImageWrittenBackIntoItsFileKeepsItsBytesUntilItChanges) {
    Document d;
    ASSERT_TRUE(LoadIconFile(path, 2, d, 20));
    ASSERT_TRUE(SaveIconKeepingOthers(d, path, kIconResourceType));
    EXPECT_EQ(ReadBytes(path), input);
    d.LayerAt(0).Pixels[3] = Rgba8{9, 8, 7, 6};
    ASSERT_TRUE(SaveIconKeepingOthers(d, path, kIconResourceType));
    const std::vector<uint8_t> saved = ReadBytes(path);
    EXPECT_EQ(Image(saved, 0).Data, Image(input, 0).Data);
    EXPECT_EQ(Image(saved, 1).Data, Image(input, 1).Data);
    RgbaImage decoded;
    ASSERT_TRUE(DecodeIconRgba(Image(saved, 2).Data, decoded));
    EXPECT_EQ(Image(saved, 2).Data[1], 'P');
    EXPECT_EQ(Pixels(decoded), Visible(d.LayerAt(0).Pixels));
}

TEST(TrueColorFiles, AKeptCursorImageTakesTheNewHotspotAndAKept24BitImageStays24Bit) {
    // A cursor of a 32-bit image and a 24-bit one (which opens reduced into a palette).
    std::vector<Rgba8> opaque = SoftPixels(9, 6, 5);
    for (Rgba8& p : opaque) p.a = p.a < 100 ? 0 : 255;
    std::vector<uint8_t> dib24;
    {
        ByteWriter put(dib24);
        put.U32(40), put.I32(9), put.I32(12), put.U16(1), put.U16(24);
        for (int i = 0; i < 6; ++i) put.U32(0);
        const std::size_t colorRow = (9 * 3 + 3) / 4 * 4;
        for (int y = 5; y >= 0; --y) {
            std::vector<uint8_t> row(colorRow, 0);
            for (int x = 0; x < 9; ++x) {
                const Rgba8 p = opaque[std::size_t(y * 9 + x)];
                row[3 * std::size_t(x)] = p.b, row[3 * std::size_t(x) + 1] = p.g, row[3 * std::size_t(x) + 2] = p.r;
            }
            put.Bytes(row);
        }
        for (int y = 5; y >= 0; --y) {
            std::vector<uint8_t> row(4, 0);
            for (int x = 0; x < 9; ++x)
                if (opaque[std::size_t(y * 9 + x)].a == 0) row[std::size_t(x / 8)] |= uint8_t(0x80 >> (x % 8));
            put.Bytes(row);
        }
    }
    StoredIconFile file;
    file.ResourceType = uint16_t(kCursorResourceType);
    file.Images.push_back(Stored(19, 13, Dib32(19, 13, SoftPixels(19, 13, 6)), 32));
    file.Images.push_back(Stored(9, 6, dib24, 24));
    for (StoredIconImage& image : file.Images) image.Entry[4] = 2, image.Entry[6] = 1;
    const std::vector<uint8_t> input = EncodeStoredIconFile(file);
    std::vector<IconSetPage> pages;
    int type = 0;
    ASSERT_TRUE(LoadIconSet(input, 20, pages, type));
    ASSERT_TRUE(pages[0].Doc.TrueColor);
    ASSERT_FALSE(pages[1].Doc.TrueColor);
    pages[0].Doc.HotspotX = 7, pages[0].Doc.HotspotY = 40;   // moved inside: (7, 12)
    std::vector<IconSetEntry> entries;
    for (const IconSetPage& p : pages) entries.push_back({&p.Doc, p.Kind, nullptr, 0, &p.Stored, type});
    test::TempDir dir;
    ASSERT_TRUE(SaveIconSet(entries, dir / "c.cur", kCursorResourceType));
    const std::vector<uint8_t> saved = ReadBytes(dir / "c.cur");
    StoredIconFile got;
    ASSERT_TRUE(ReadStoredIconFile(saved, got));
    EXPECT_EQ(got.Images[0].Data, file.Images[0].Data);
    EXPECT_EQ(LoadU16(got.Images[0].Entry.data() + 4), 7);
    EXPECT_EQ(LoadU16(got.Images[0].Entry.data() + 6), 12);
    EXPECT_EQ(got.Images[1].Data, file.Images[1].Data);   // still the 24-bit image it was
    EXPECT_TRUE(std::equal(got.Images[1].Entry.begin(), got.Images[1].Entry.begin() + 12, file.Images[1].Entry.begin()));
    // An edit of the 24-bit page writes it anew, as a palette image.
    pages[1].Doc.LayerAt(0).Mask[0] = uint8_t(!pages[1].Doc.LayerAt(0).Mask[0]);
    ASSERT_TRUE(SaveIconSet(entries, dir / "d.cur", kCursorResourceType));
    StoredIconFile edited;
    ASSERT_TRUE(ReadStoredIconFile(ReadBytes(dir / "d.cur"), edited));
    EXPECT_EQ(LoadU16(edited.Images[1].Data.data() + 14), pages[1].Doc.ColorCount == 16 ? 4 : 8);
}

TEST(TrueColorFiles, ATruecolourDocumentIsWrittenAsOneExactImage) {
    test::TempDir dir;
    for (const auto& [w, h] : {std::pair{48, 30}, std::pair{256, 256}}) {
        SCOPED_TRACE(w);
        Document d;
        InitBlankTrueColorDocument(d, w, h, 20);
        d.LayerAt(0).Pixels = SoftPixels(w, h, uint32_t(w));
        d.AppendLayer();
        d.LayerAt(1).Pixels = SoftPixels(w, h, uint32_t(w + 1));
        d.AppendLayer();
        d.LayerAt(2).Pixels.assign(std::size_t(w * h), Rgba8{255, 0, 0, 255});
        d.LayerAt(2).Visible = 0;
        d.HotspotX = 5, d.HotspotY = 7;
        const std::vector<Rgba8> want = ComposeRgbaLayers(d.Layers(), std::size_t(w * h));
        const std::filesystem::path cur = dir / "one.cur";
        ASSERT_TRUE(SaveIconKeepingOthers(d, cur, kCursorResourceType));
        const std::vector<uint8_t> bytes = ReadBytes(cur);
        IconDirectory icon;
        ASSERT_TRUE(ReadIconDirectory(bytes, icon));
        ASSERT_EQ(icon.Entries.size(), 1u);
        EXPECT_EQ(icon.Entries[0].IsPng, w == 256);
        EXPECT_EQ(icon.Entries[0].PlanesOrHotspotX, 5);
        EXPECT_EQ(icon.Entries[0].BitCountOrHotspotY, 7);
        Document back;
        ASSERT_TRUE(LoadIconBytes(bytes, 0, back, 20));
        ASSERT_TRUE(back.TrueColor);
        EXPECT_EQ(back.LayerAt(0).Pixels, want);

        // .png keeps every value; .bmp is the picture over white.
        ASSERT_TRUE(SavePngFile(d, dir / "one.png"));
        RgbaImage png;
        ASSERT_TRUE(DecodeIconRgba(ReadBytes(dir / "one.png"), png));
        EXPECT_EQ(Pixels(png), want);
        const std::vector<uint8_t> bmp = EncodeBitmap(d);
        ASSERT_EQ(bmp.size(), 54 + std::size_t(h) * ((3 * std::size_t(w) + 3) / 4 * 4));
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const Rgba8 over = BlendOver(Rgba8{255, 255, 255, 255}, want[std::size_t(y * w + x)]);
                const uint8_t* p = bmp.data() + 54 + std::size_t(h - 1 - y) * ((3 * std::size_t(w) + 3) / 4 * 4) + 3 * std::size_t(x);
                ASSERT_EQ((Rgb{p[2], p[1], p[0]}), (Rgb{over.r, over.g, over.b})) << x << "," << y;
            }

        if (!HavePillow()) continue;
        const std::filesystem::path ico = dir / "one.ico";
        ASSERT_TRUE(SaveIconKeepingOthers(d, ico, kIconResourceType));
        EXPECT_EQ(PillowRgbaHex(ico), Hex(w, h, want));
        EXPECT_EQ(PillowRgbaHex(dir / "one.png"), Hex(w, h, want));
    }
    if (!HavePillow()) GTEST_SKIP() << "Pillow missing: its reading not checked";
}

TEST(TrueColorFiles, NewSizesFromASoftPageHaveNoFringe) {
    // A dark disc with a soft edge on pixels of alpha 0 that hold white: every size made from it
    // keeps the disc's colour wherever anything shows, its alpha the disc's coverage.
    Document page;
    InitBlankTrueColorDocument(page, 256, 256, 20);
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x) {
            const double r = std::hypot(x + 0.5 - 128, y + 0.5 - 128);
            const int a = std::clamp(int(std::lround((100 - r) * 25.5)), 0, 255);
            page.LayerAt(0).Pixels[std::size_t(y * 256 + x)] = a == 0 ? Rgba8{255, 255, 255, 0} : Rgba8{20, 30, 40, uint8_t(a)};
        }
    page.HasHotspot = true, page.HotspotX = 128, page.HotspotY = 64;
    test::TempDir dir;
    std::vector<Document> made;
    for (int s : {16, 24, 32, 48}) made.push_back(ResampledDocument(page, s, s, 256, 20));
    std::vector<IconSetEntry> entries;
    for (const Document& d : made) entries.push_back({&d, NewPageKind(d.ImageWidth, d.ImageHeight)});
    entries.push_back({&page, NewPageKind(256, 256)});
    ASSERT_TRUE(SaveIconSet(entries, dir / "sizes.cur", kCursorResourceType));
    std::vector<IconSetPage> pages;
    int type = 0;
    ASSERT_TRUE(LoadIconSetFile(dir / "sizes.cur", 20, pages, type));
    ASSERT_EQ(pages.size(), 5u);
    for (std::size_t i = 0; i < 4; ++i) {
        const Document& d = made[i];
        SCOPED_TRACE(d.ImageWidth);
        ASSERT_TRUE(d.TrueColor);
        EXPECT_EQ(pages[i].Kind, IconPageKind::TrueColor);
        EXPECT_EQ(IconPageLabel(d, entries[i].Kind), std::to_string(d.ImageWidth) + "×" + std::to_string(d.ImageWidth) + " 32ビット");
        EXPECT_EQ(pages[i].Doc.LayerAt(0).Pixels, d.LayerAt(0).Pixels);
        EXPECT_EQ(pages[i].Doc.HotspotX, d.ImageWidth / 2);
        EXPECT_EQ(pages[i].Doc.HotspotY, d.ImageWidth / 4);
        int soft = 0;
        for (const Rgba8 p : d.LayerAt(0).Pixels) {
            if (p.a == 0) continue;
            ASSERT_EQ((Rgb{p.r, p.g, p.b}), (Rgb{20, 30, 40}));
            soft += p.a < 255;
        }
        EXPECT_GT(soft, 4);   // the edge stays soft
    }
    EXPECT_EQ(pages[4].Kind, IconPageKind::Png);
    EXPECT_EQ(pages[4].Doc.LayerAt(0).Pixels, Visible(page.LayerAt(0).Pixels));

    // From a palette page, new sizes stay palette pages.
    Document palette = PalettePage();
    const Document small = ResampledDocument(palette, 8, 8, 16, 20);
    EXPECT_FALSE(small.TrueColor);
    EXPECT_EQ(small.ColorCount, 16);
}

}  // namespace
}  // namespace pq
