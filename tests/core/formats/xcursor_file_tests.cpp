#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <random>

#include "core/formats/xcursor_file.h"
#include "core/io/byte_io.h"
#include "support/png_encode.h"
#include "support/test_paths.h"

#include <X11/Xcursor/Xcursor.h>
#undef None
#undef Success
#undef TrueColor

namespace pq {
namespace {

namespace fs = std::filesystem;

fs::path Scratch(const std::string& name) {
    const fs::path dir = fs::temp_directory_path() / ("pq_xcursor_" + std::to_string(getpid()) + "_" + name);
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

struct ImagesDeleter {
    void operator()(XcursorImages* p) const { XcursorImagesDestroy(p); }
};
using Images = std::unique_ptr<XcursorImages, ImagesDeleter>;

// Straight RGBA pixels of every kind of alpha; alpha 0 pixels are (0, 0, 0, 0), as pages hold them.
std::vector<Rgba8> Pixels(int w, int h, uint32_t seed) {
    std::mt19937 rng(seed);
    constexpr uint8_t kAlphas[] = {0, 1, 3, 77, 128, 254, 255, 255};
    std::vector<Rgba8> px(std::size_t(w) * h);
    for (Rgba8& p : px) {
        p = Rgba8{uint8_t(rng()), uint8_t(rng()), uint8_t(rng()), kAlphas[rng() % 8]};
        if (p.a == 0) p = Rgba8{};
    }
    return px;
}

IconSetPage Page(int w, int h, int hx, int hy, uint32_t seed) {
    IconSetPage page;
    page.Kind = IconPageKind::TrueColor;
    InitBlankTrueColorDocument(page.Doc, w, h, 20);
    page.Doc.LayerAt(0).Pixels = Pixels(w, h, seed);
    page.Doc.HotspotX = hx, page.Doc.HotspotY = hy, page.Doc.HasHotspot = true;
    return page;
}

// Independent premultiplication, rounded to nearest.
uint32_t Pre(Rgba8 p) {
    auto m = [&](int c) { return uint32_t(std::lround(c * p.a / 255.0)); };
    return uint32_t(p.a) << 24 | m(p.r) << 16 | m(p.g) << 8 | m(p.b);
}

TEST(XcursorFile, PremultipliedPixelsSurviveTheTripThroughStraightAlphaExactly) {
    for (unsigned a = 0; a < 256; ++a)
        for (unsigned c = 0; c <= a; ++c) {
            const Rgba8 s = StraightFromPremultiplied(uint8_t(a), uint8_t(c), uint8_t(a - c), uint8_t(c / 2));
            ASSERT_EQ(PremultipliedArgb(s), a << 24 | c << 16 | (a - c) << 8 | c / 2) << a << " " << c;
        }
    EXPECT_EQ(StraightFromPremultiplied(0, 9, 9, 9), Rgba8{});
    EXPECT_EQ(StraightFromPremultiplied(10, 40, 0, 0).r, 255);   // invalid channel above alpha saturates
}

// One image as the file layout has it, read without libXcursor.
struct RawImage {
    uint32_t Size, W, H, Hx, Hy, Delay;
    std::vector<uint32_t> Pixels;
};
std::vector<RawImage> ReadRaw(const std::vector<uint8_t>& b) {
    std::vector<RawImage> out;
    EXPECT_EQ(std::string(b.begin(), b.begin() + 4), "Xcur");
    const uint32_t header = LoadU32(&b[4]), ntoc = LoadU32(&b[12]);
    for (uint32_t i = 0; i < ntoc; ++i) {
        const uint8_t* e = &b[header + 12 * i];
        if (LoadU32(e) != 0xfffd0002u) continue;
        const uint8_t* c = &b[LoadU32(e + 8)];
        EXPECT_EQ(LoadU32(c), 36u);
        EXPECT_EQ(LoadU32(c + 8), LoadU32(e + 4));   // the table's subtype is the image's nominal size
        RawImage im{LoadU32(c + 8), LoadU32(c + 16), LoadU32(c + 20), LoadU32(c + 24), LoadU32(c + 28), LoadU32(c + 32), {}};
        for (uint32_t p = 0; p < im.W * im.H; ++p) im.Pixels.push_back(LoadU32(c + 36 + 4 * p));
        out.push_back(std::move(im));
    }
    return out;
}

TEST(XcursorFile, OursIsReadImageForImageByLibXcursorAndAnIndependentReader) {
    std::vector<CursorFrame> frames(2);
    frames[0].Sizes = {Page(23, 17, 22, 16, 1), Page(32, 32, 5, 6, 2)};
    frames[0].NominalSizes = {24, 32};
    frames[1].Sizes = {Page(23, 17, 0, 3, 3), Page(32, 32, 31, 31, 4)};
    frames[1].NominalSizes = {24, 32};
    CursorAnimation anim = AnimationOfFrames(std::move(frames), 40, kCursorResourceType);
    anim.Steps = {0, 1, 0};
    anim.StepMilliseconds = {40, 90, 15};
    const fs::path dir = Scratch("ours");
    ASSERT_TRUE(SaveXcursorFile(anim, dir / "wait"));

    Images lib(XcursorFilenameLoadAllImages((dir / "wait").c_str()));
    ASSERT_TRUE(lib);
    const std::vector<RawImage> raw = ReadRaw(test::ReadBytes(dir / "wait"));
    ASSERT_EQ(lib->nimage, 6);
    ASSERT_EQ(raw.size(), 6u);
    for (int i = 0; i < 6; ++i) {
        const int sizeIndex = i / 3, step = i % 3;
        const Document& doc = anim.Frames[std::size_t(anim.Steps[std::size_t(step)])].Sizes[std::size_t(sizeIndex)].Doc;
        const XcursorImage& im = *lib->images[i];
        EXPECT_EQ(im.size, sizeIndex ? 32u : 24u);
        EXPECT_EQ(std::pair(int(im.width), int(im.height)), std::pair(doc.ImageWidth, doc.ImageHeight));
        EXPECT_EQ(std::pair(int(im.xhot), int(im.yhot)), std::pair(doc.HotspotX, doc.HotspotY));
        EXPECT_EQ(int(im.delay), anim.StepMilliseconds[std::size_t(step)]);
        for (int p = 0; p < doc.PixelCount(); ++p) {
            ASSERT_EQ(im.pixels[p], Pre(doc.LayerAt(0).Pixels[std::size_t(p)])) << i << " " << p;
            ASSERT_EQ(raw[std::size_t(i)].Pixels[std::size_t(p)], im.pixels[p]);
        }
        EXPECT_EQ(raw[std::size_t(i)].Size, im.size);
        EXPECT_EQ(raw[std::size_t(i)].Delay, im.delay);
        EXPECT_EQ(std::pair(raw[std::size_t(i)].Hx, raw[std::size_t(i)].Hy), std::pair(im.xhot, im.yhot));
    }
    // Read back by us: the steps become frames of their own (the file has no order), every size kept.
    CursorAnimation back;
    ASSERT_TRUE(ReadXcursorFile(dir / "wait", 20, back));
    ASSERT_EQ(back.Frames.size(), 3u);
    EXPECT_EQ(back.StepMilliseconds, anim.StepMilliseconds);
    EXPECT_EQ(back.Frames[1].NominalSizes, (std::vector<int>{24, 32}));
    for (std::size_t s = 0; s < 3; ++s)
        for (std::size_t z = 0; z < 2; ++z) {
            const Document& want = anim.Frames[std::size_t(anim.Steps[s])].Sizes[z].Doc;
            const Document& got = back.Frames[s].Sizes[z].Doc;
            for (int p = 0; p < want.PixelCount(); ++p)
                ASSERT_EQ(PremultipliedArgb(got.LayerAt(0).Pixels[std::size_t(p)]), Pre(want.LayerAt(0).Pixels[std::size_t(p)]));
            EXPECT_EQ(got.HotspotX, want.HotspotX);
        }
    fs::remove_all(dir);
}

TEST(XcursorFile, XcursorgenFileAndOursReadAlike) {
    const fs::path dir = Scratch("gen");
    std::ofstream config(dir / "cfg");
    const int sides[] = {16, 24, 24};
    for (int i = 0; i < 3; ++i) {
        const std::vector<Rgba8> px = Pixels(sides[i], sides[i] + (i == 2), uint32_t(10 + i));   // the last one 24 x 25
        std::vector<uint8_t> rgba;
        for (const Rgba8& p : px) rgba.insert(rgba.end(), {p.r, p.g, p.b, p.a});
        test::WriteBytes(dir / (std::to_string(i) + ".png"), test::EncodePng(sides[i], sides[i] + (i == 2), rgba));
        config << sides[i] << " " << i + 1 << " " << 2 * i << " " << (dir / (std::to_string(i) + ".png")).string() << " "
               << 30 * (i + 1) << "\n";
    }
    config.close();
    ASSERT_EQ(std::system(("xcursorgen " + (dir / "cfg").string() + " " + (dir / "gen").string()).c_str()), 0);

    CursorAnimation gen;
    ASSERT_TRUE(ReadXcursorFile(dir / "gen", 20, gen));
    Images lib(XcursorFilenameLoadAllImages((dir / "gen").c_str()));
    ASSERT_TRUE(lib);
    ASSERT_EQ(lib->nimage, 3);
    // Size 16 has one image, size 24 two: two frames, the second without a 16.
    ASSERT_EQ(gen.Frames.size(), 2u);
    ASSERT_EQ(gen.Frames[0].NominalSizes, (std::vector<int>{16, 24}));
    ASSERT_EQ(gen.Frames[1].NominalSizes, (std::vector<int>{24}));
    const Document* pages[] = {&gen.Frames[0].Sizes[0].Doc, &gen.Frames[0].Sizes[1].Doc, &gen.Frames[1].Sizes[0].Doc};
    for (int i = 0; i < 3; ++i) {
        const XcursorImage& im = *lib->images[i];
        EXPECT_EQ(std::pair(pages[i]->ImageWidth, pages[i]->ImageHeight), std::pair(int(im.width), int(im.height)));
        EXPECT_EQ(std::pair(pages[i]->HotspotX, pages[i]->HotspotY), std::pair(i + 1, 2 * i));
        for (int p = 0; p < pages[i]->PixelCount(); ++p)
            ASSERT_EQ(PremultipliedArgb(pages[i]->LayerAt(0).Pixels[std::size_t(p)]), im.pixels[p]) << i << " " << p;
    }
    // A frame takes the delay of its first size's image.
    EXPECT_EQ(gen.StepMilliseconds, (std::vector<int>{30, 90}));

    // Written by us and read again: the same pages, hotspots and times.
    ASSERT_TRUE(SaveXcursorFile(gen, dir / "ours"));
    CursorAnimation ours;
    ASSERT_TRUE(ReadXcursorFile(dir / "ours", 20, ours));
    ASSERT_EQ(ours.Frames.size(), gen.Frames.size());
    EXPECT_EQ(ours.StepMilliseconds, gen.StepMilliseconds);
    for (std::size_t f = 0; f < gen.Frames.size(); ++f) {
        EXPECT_EQ(ours.Frames[f].NominalSizes, gen.Frames[f].NominalSizes);
        for (std::size_t z = 0; z < gen.Frames[f].Sizes.size(); ++z) {
            EXPECT_EQ(ours.Frames[f].Sizes[z].Doc.LayerAt(0).Pixels, gen.Frames[f].Sizes[z].Doc.LayerAt(0).Pixels);
            EXPECT_EQ(ours.Frames[f].Sizes[z].Doc.HotspotY, gen.Frames[f].Sizes[z].Doc.HotspotY);
        }
    }
    fs::remove_all(dir);
}

TEST(XcursorFile, DamagedFilesAreRefusedBeforeLibXcursorAllocates) {
    // A valid one-image file to damage: 16 header, 12 table, 36 image header, 2 x 3 pixels.
    std::vector<uint8_t> good;
    ByteWriter w(good);
    for (uint32_t v : {0x72756358u, 16u, 0x10000u, 1u, 0xfffd0002u, 8u, 28u, 36u, 0xfffd0002u, 8u, 1u, 2u, 3u, 1u, 2u, 50u})
        w.U32(v);
    for (int i = 0; i < 6; ++i) w.U32(0xff102030u);
    CursorAnimation ok;
    ASSERT_TRUE(ReadXcursor(good, 20, ok));
    EXPECT_EQ(ok.Frames.at(0).Sizes.at(0).Doc.LayerAt(0).Pixels[0], (Rgba8{0x10, 0x20, 0x30, 0xff}));

    auto with = [&](std::size_t at, uint32_t v) {
        std::vector<uint8_t> b = good;
        for (int i = 0; i < 4; ++i) b[at + std::size_t(i)] = uint8_t(v >> (8 * i));
        return b;
    };
    struct Case {
        const char* Name;
        std::vector<uint8_t> Bytes;
        const char* Reason;
    };
    const Case cases[] = {
        {"32767 wide", with(28 + 16, 32767), "大きさ 32767×3 は開けません"},
        {"table past the end", with(12, 5000), "目次の項目数 5000 がファイルに収まりません。"},
        {"image past the end", with(24, 60), "画像 0（位置 60）：ファイルの終わりを越えています。"},
        {"pixels cut short", std::vector<uint8_t>(good.begin(), good.end() - 1), "ファイルの終わりを越えています。"},
        {"hotspot outside", with(28 + 24, 2), "ホットスポットが画像の外にあります。"},
        {"no image", with(16, 0xfffe0001u), "画像がありません。"},
        {"not Xcursor", with(0, 0x46464952u), "先頭が \"Xcur\" ではありません。"},
    };
    for (const Case& c : cases) {
        CursorAnimation out;
        const FileResult r = ReadXcursor(c.Bytes, 20, out);
        EXPECT_FALSE(r) << c.Name;
        EXPECT_NE(r.Message.find(c.Reason), std::string::npos) << c.Name << ": " << r.Message;
        EXPECT_TRUE(out.Frames.empty());
    }
}

}  // namespace
}  // namespace pq
