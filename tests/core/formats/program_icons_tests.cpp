#include "core/formats/program_icons.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "core/document/document.h"
#include "core/formats/icon_file.h"
#include "support/test_paths.h"

namespace fs = std::filesystem;
using namespace pq;
// The test folders and whole-file helpers (support/test_paths.h).
using namespace pq::test;

namespace {

std::uint32_t U32(const std::vector<std::uint8_t>& d, std::size_t o) {
    return d[o] | (d[o + 1] << 8) | (d[o + 2] << 16) | (std::uint32_t(d[o + 3]) << 24);
}

// One image of an .ico file, with its size and depth read from the image itself.
struct IcoImage {
    int index = 0, width = 0, height = 0, bits = 0;
    bool png = false;
    std::vector<std::uint8_t> data;
};

std::vector<IcoImage> ReadIco(const std::vector<std::uint8_t>& f) {
    std::vector<IcoImage> out;
    const int count = f[4] | (f[5] << 8);
    for (int i = 0; i < count; ++i) {
        const std::size_t e = 6 + 16 * std::size_t(i);
        IcoImage img;
        img.index = i;
        const std::uint32_t size = U32(f, e + 8), off = U32(f, e + 12);
        img.data.assign(f.begin() + off, f.begin() + off + size);
        img.png = img.data[0] == 0x89;
        if (img.png) {
            img.bits = 32;
            img.width = img.data[19] | (img.data[18] << 8);
            img.height = img.data[23] | (img.data[22] << 8);
        } else {
            img.width = int(U32(img.data, 4));
            img.height = int(U32(img.data, 8)) / 2;
            img.bits = img.data[14];
        }
        out.push_back(std::move(img));
    }
    return out;
}

// A plain decoding of an uncompressed icon DIB, written separately from the reader: colour
// rows and AND mask rows bottom-up; 32-bit images with alpha are composed over white and are
// opaque from alpha 128 on.
IconPicture DecodeDibForTest(const std::vector<std::uint8_t>& d) {
    const int w = int(U32(d, 4)), h = int(U32(d, 8)) / 2, bits = d[14];
    const std::size_t hs = U32(d, 0);
    std::size_t colours = U32(d, 32);
    if (bits <= 8 && colours == 0) colours = std::size_t(1) << bits;
    if (bits > 8) colours = 0;
    const std::size_t pixels = hs + 4 * colours;
    const std::size_t stride = (std::size_t(w) * bits + 31) / 32 * 4, maskStride = (std::size_t(w) + 31) / 32 * 4;
    const std::size_t mask = pixels + stride * h;
    bool alpha = false;
    if (bits == 32)
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) alpha |= d[pixels + stride * y + 4 * x + 3] != 0;
    IconPicture p{Raster(w, h), Raster(w, h)};
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const std::size_t row = pixels + stride * (h - 1 - y);
            Rgb c;
            bool opaque = !((d[mask + maskStride * (h - 1 - y) + x / 8] >> (7 - x % 8)) & 1);
            if (bits == 4 || bits == 8) {
                const unsigned index = bits == 8 ? d[row + x] : (x % 2 == 0 ? d[row + x / 2] >> 4 : d[row + x / 2] & 15);
                c = Rgb{d[hs + 4 * index + 2], d[hs + 4 * index + 1], d[hs + 4 * index]};
            } else {
                const std::size_t o = row + std::size_t(bits / 8) * x;
                c = Rgb{d[o + 2], d[o + 1], d[o]};
                if (alpha) {
                    const unsigned a = d[o + 3];
                    auto mix = [a](unsigned v) { return std::uint8_t((v * a + 255 * (255 - a) + 127) / 255); };
                    c = Rgb{mix(c.r), mix(c.g), mix(c.b)};
                    opaque = a >= 128;
                }
            }
            p.Color.SetPixel(x, y, c);
            p.Mask.SetPixel(x, y, opaque ? kBlack : kWhite);
        }
    return p;
}

// The group files another tool took out of a program: name -> file.
std::map<std::string, fs::path> ExtractedGroups(const fs::path& dir, const std::string& program) {
    std::map<std::string, fs::path> out;
    const std::string prefix = program + "_14_";
    for (const auto& e : fs::directory_iterator(dir)) {
        std::string name = e.path().filename().string();
        if (name.rfind(prefix, 0) != 0) continue;
        name = name.substr(prefix.size(), name.size() - prefix.size() - 4);   // drop ".ico"
        if (const auto us = name.find('_'); us != std::string::npos) name = name.substr(0, us);   // language
        out[name] = e.path();
    }
    return out;
}

void ExpectSamePictures(const IconPicture& a, const IconPicture& b) {
    ASSERT_EQ(a.Color.Width(), b.Color.Width());
    ASSERT_EQ(a.Color.Height(), b.Color.Height());
    for (int y = 0; y < a.Color.Height(); ++y)
        for (int x = 0; x < a.Color.Width(); ++x) {
            ASSERT_EQ(a.Color.PixelUnchecked(x, y), b.Color.PixelUnchecked(x, y)) << x << "," << y;
            ASSERT_EQ(a.Mask.PixelUnchecked(x, y), b.Mask.PixelUnchecked(x, y)) << x << "," << y;
        }
}

}  // namespace

// Every program lists the groups the other tool found, each image of a group is the same data
// as in the extracted file, the image picked is that file's deepest 32 x 32 image, and the
// extracted pictures match a separate decoding of it pixel by pixel.
TEST(ProgramIcons, CorpusProgramsGiveTheExtractedGroups) {
    if (!HaveCorpus()) GTEST_SKIP() << "no corpus";
    struct Case { fs::path program, groups; };
    const fs::path pe = CorpusDir() / "pe";
    const std::vector<Case> cases = {
        {pe / "notepad.exe", CorpusDir() / "wine-extracted/ico"},
        {pe / "regedit.exe", CorpusDir() / "wine-extracted/ico"},
        {pe / "windres-demo/one.exe", pe / "windres-demo/x"},
        {pe / "windres-demo/iconsonly.dll", pe / "windres-demo/x"},
    };
    int compared = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.program.filename().string());
        ProgramIcons icons;
        ASSERT_TRUE(ProgramIcons::Load(c.program, icons).Ok);
        const auto groups = ExtractedGroups(c.groups, c.program.filename().string());
        ASSERT_EQ(icons.Count(), int(groups.size()));
        for (int i = 0; i < icons.Count(); ++i) {
            SCOPED_TRACE(icons.GroupName(i));
            ASSERT_TRUE(groups.count(icons.GroupName(i)));
            const std::vector<std::uint8_t> ico = ReadBytes(groups.at(icons.GroupName(i)));
            const std::vector<IcoImage> images = ReadIco(ico);
            const std::vector<IconImageInfo> ours = icons.Images(i);
            ASSERT_EQ(ours.size(), images.size());
            for (std::size_t k = 0; k < images.size(); ++k) {
                const auto bytes = icons.ImageBytes(i, int(k));
                EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), images[k].data.begin(), images[k].data.end())) << k;
                EXPECT_EQ(ours[k].Width, images[k].width);
                EXPECT_EQ(ours[k].BitsPerPixel, images[k].bits);
            }
            // The deepest 32 x 32 image of the extracted file.
            const IcoImage* best = nullptr;
            for (const IcoImage& img : images)
                if (img.width == 32 && img.height == 32 && (!best || img.bits > best->bits)) best = &img;
            ASSERT_NE(best, nullptr);
            EXPECT_EQ(icons.ChooseImage(i), best->index);

            IconPicture extracted;
            ASSERT_TRUE(icons.Extract(i, extracted));
            ExpectSamePictures(extracted, DecodeDibForTest(best->data));

            // The 4- and 8-bit 32 x 32 images against the icon file reader's documents.
            for (const IcoImage& img : images) {
                if (img.width != 32 || img.height != 32 || (img.bits != 4 && img.bits != 8)) continue;
                IconPicture ourPicture;
                ASSERT_TRUE(DecodeIconImage(icons.ImageBytes(i, img.index), ourPicture));
                Document doc;
                ASSERT_TRUE(LoadIconBytes(ico, img.index, doc, 20).Ok);
                const Layer& layer = doc.LayerAt(0);
                for (int y = 0; y < 32; ++y)
                    for (int x = 0; x < 32; ++x) {
                        const std::size_t o = std::size_t(x) + 32 * std::size_t(y);
                        ASSERT_EQ(layer.Mask[o] != 0, ourPicture.Mask.PixelUnchecked(x, y) == kBlack);
                        if (layer.Mask[o]) {
                            ASSERT_EQ(doc.ColorOf(layer.Indices[o]), ourPicture.Color.PixelUnchecked(x, y));
                        }
                    }
                ++compared;
            }
        }
    }
    EXPECT_GE(compared, 16);
}

// A PE32 file with a named group, a group without a 32 x 32 image (scaled down from 64 x 64),
// a 32-bit image with alpha and a PNG image.
TEST(ProgramIcons, Pe32ScalingAlphaAndPng) {
    ProgramIcons icons;
    ASSERT_TRUE(ProgramIcons::Load(DataDir() / "program_icons/pe32_icons.exe", icons).Ok);
    ASSERT_EQ(icons.Count(), 3);
    EXPECT_EQ(icons.GroupName(0), "HELLO");   // named groups come first
    EXPECT_EQ(icons.GroupName(1), "1");
    EXPECT_EQ(icons.GroupName(2), "3");
    const Rgb red{255, 0, 0}, blue{0, 0, 255};

    IconPicture p;
    ASSERT_TRUE(icons.Extract(1, p));
    EXPECT_EQ(icons.ChooseImage(1), 1);   // the 64 x 64 image, not the 16 x 16 one
    ASSERT_EQ(p.Color.Width(), 32);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            ASSERT_EQ(p.Color.PixelUnchecked(x, y), (x + y) % 2 == 0 ? red : blue) << x << "," << y;
            ASSERT_EQ(p.Mask.PixelUnchecked(x, y), x < 16 ? kWhite : kBlack) << x << "," << y;
        }

    ASSERT_TRUE(icons.Extract(0, p));
    for (int x = 0; x < 32; x += 7) {
        EXPECT_EQ(p.Color.PixelUnchecked(x, 3), red);
        EXPECT_EQ(p.Mask.PixelUnchecked(x, 3), kBlack);
        EXPECT_EQ(p.Color.PixelUnchecked(x, 20), (Rgb{155, 255, 155}));   // green at alpha 100 over white
        EXPECT_EQ(p.Mask.PixelUnchecked(x, 20), kWhite);
        EXPECT_EQ(p.Color.PixelUnchecked(x, 30), kWhite);
        EXPECT_EQ(p.Mask.PixelUnchecked(x, 30), kWhite);
    }

    ASSERT_TRUE(icons.Extract(2, p));
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            const Rgb want = y < 16 ? kWhite : x < 16 ? Rgb{255, 255, 0} : Rgb{0, 255, 255};
            ASSERT_EQ(p.Color.PixelUnchecked(x, y), want) << x << "," << y;
            ASSERT_EQ(p.Mask.PixelUnchecked(x, y), y < 16 ? kWhite : kBlack);
        }
}

// The editor's document: palette reduced from the colour picture, 16 colours when fewer than
// 16 entries result, mask from the mask picture.
TEST(ProgramIcons, DocumentFromPictures) {
    ProgramIcons icons;
    ASSERT_TRUE(ProgramIcons::Load(DataDir() / "program_icons/pe32_icons.exe", icons).Ok);
    IconPicture p;
    ASSERT_TRUE(icons.Extract(1, p));
    Document doc;
    IconFromPictures(doc, p, 20);
    EXPECT_EQ(doc.ImageWidth, 32);
    EXPECT_EQ(doc.ImageHeight, 32);
    EXPECT_EQ(doc.ColorCount, 16);
    EXPECT_EQ(doc.Zoom, 10);
    EXPECT_EQ(doc.LayerCount(), 1);
    const Layer& layer = doc.LayerAt(0);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            const std::size_t o = std::size_t(x) + 32 * std::size_t(y);
            EXPECT_EQ(layer.Mask[o], x < 16 ? 0 : 1);
            EXPECT_EQ(doc.ColorOf(layer.Indices[o]), p.Color.PixelUnchecked(x, y));
        }

    // 20 distinct colours: a 256-colour document with 20 exact entries.
    IconPicture many{Raster(32, 32), Raster(32, 32)};
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) many.Color.SetPixel(x, y, Rgb{std::uint8_t(10 * (x % 20)), 0, 0});
    many.Mask.SetPixel(5, 5, Rgb{1, 0, 0});   // not black: transparent
    Document big;
    IconFromPictures(big, many, 20);
    EXPECT_EQ(big.ColorCount, 256);
    std::set<int> reds, want;
    for (int i = 0; i < 20; ++i) {
        reds.insert(big.ColorOf(i).r);
        want.insert(10 * i);
    }
    EXPECT_EQ(reds, want);
    EXPECT_EQ(big.Palette[20], PaletteEntry{});
    EXPECT_EQ(big.LayerAt(0).Mask[5 + 5 * 32], 0);
    EXPECT_EQ(big.LayerAt(0).Mask[6 + 5 * 32], 1);

    // A 16 x 16 pair is padded: white and transparent outside it.
    IconPicture small{Raster(16, 16), Raster(16, 16)};
    small.Color.Fill(Rgb{0, 0, 255});
    Document padded;
    IconFromPictures(padded, small, 20);
    EXPECT_EQ(padded.ColorCount, 16);
    const Layer& pl = padded.LayerAt(0);
    EXPECT_EQ(padded.ColorOf(pl.Indices[3 + 3 * 32]), (Rgb{0, 0, 255}));
    EXPECT_EQ(pl.Mask[3 + 3 * 32], 1);
    EXPECT_EQ(padded.ColorOf(pl.Indices[20 + 3 * 32]), kWhite);
    EXPECT_EQ(pl.Mask[20 + 3 * 32], 0);
    EXPECT_EQ(pl.Mask[3 + 20 * 32], 0);
}

// Broken resources: an index without a usable image yields no icon (the caller skips it) while
// the others still come out; damaged PNG data gives way to the next best image; resources
// outside the file or its sections give no icons.
TEST(ProgramIcons, MalformedProgramsYieldNoIconForBrokenGroups) {
    const fs::path bad = DataDir() / "bad/program_icons";
    ProgramIcons icons;
    IconPicture p;
    ASSERT_TRUE(ProgramIcons::Load(bad / "group_without_images.dll", icons).Ok);
    ASSERT_EQ(icons.Count(), 2);
    EXPECT_FALSE(icons.Extract(0, p));
    EXPECT_TRUE(p.Color.Empty());
    EXPECT_TRUE(icons.Extract(1, p));
    EXPECT_FALSE(icons.Extract(2, p));
    EXPECT_FALSE(icons.Extract(-1, p));

    ASSERT_TRUE(ProgramIcons::Load(bad / "damaged_png.dll", icons).Ok);
    ASSERT_TRUE(icons.Extract(0, p));   // the 16 x 16 image, all opaque black, enlarged
    for (int y = 0; y < 32; y += 5)
        for (int x = 0; x < 32; x += 5) {
            EXPECT_EQ(p.Color.PixelUnchecked(x, y), kBlack);
            EXPECT_EQ(p.Mask.PixelUnchecked(x, y), kBlack);
        }

    ASSERT_TRUE(ProgramIcons::Load(bad / "group_count_too_large.exe", icons).Ok);
    EXPECT_EQ(icons.Count(), 1);
    EXPECT_FALSE(icons.Extract(0, p));

    for (const char* name : {"resources_outside_sections.exe", "cut_section.exe"}) {
        ASSERT_TRUE(ProgramIcons::Load(bad / name, icons).Ok);
        EXPECT_EQ(icons.Count(), 0) << name;
    }
    // Not a program at all; no file.
    ASSERT_TRUE(ProgramIcons::Load(DataDir() / "program_icons/make_files.py", icons).Ok);
    EXPECT_EQ(icons.Count(), 0);
    EXPECT_EQ(ProgramIcons::Load(bad / "missing.exe", icons).Message, kProgramFileOpenMessage);
}

// Every prefix and single-bit change of two small programs is read without a fault; whatever
// is extracted is 32 x 32.
TEST(ProgramIcons, TruncationsAndBitFlipsNeverCrash) {
    std::vector<std::vector<std::uint8_t>> files = {ReadBytes(DataDir() / "program_icons/pe32_icons.exe")};
    if (HaveCorpus()) files.push_back(ReadBytes(CorpusDir() / "pe/windres-demo/iconsonly.dll"));
    auto exercise = [](std::vector<std::uint8_t> bytes) {
        const ProgramIcons icons = ProgramIcons::FromBytes(std::move(bytes));
        for (int i = 0; i < icons.Count(); ++i) {
            IconPicture p;
            if (icons.Extract(i, p)) {
                ASSERT_EQ(p.Color.Width(), 32);
                ASSERT_EQ(p.Mask.Height(), 32);
            }
        }
    };
    for (const auto& good : files) {
        for (std::size_t len = 0; len < good.size(); len += 3)
            exercise(std::vector<std::uint8_t>(good.begin(), good.begin() + std::ptrdiff_t(len)));
        std::vector<std::uint8_t> bytes = good;
        for (std::size_t bit = 0; bit < bytes.size() * 8; bit += 5) {
            bytes[bit / 8] ^= std::uint8_t(1u << (bit % 8));
            exercise(bytes);
            bytes[bit / 8] ^= std::uint8_t(1u << (bit % 8));
        }
    }
}

namespace {

// A PE32 program whose resources hold one RT_ICON image (id 1) and `groups` icon groups that
// all point to one group directory listing `entries` references to that image.
std::vector<std::uint8_t> ProgramWithGroups(int groups, int entries, const std::vector<std::uint8_t>& image) {
    std::vector<std::uint8_t> rsrc;
    auto put16 = [&](std::size_t at, std::uint32_t v) { rsrc[at] = std::uint8_t(v); rsrc[at + 1] = std::uint8_t(v >> 8); };
    auto put32 = [&](std::size_t at, std::uint32_t v) { put16(at, v & 0xFFFF); put16(at + 2, v >> 16); };
    const std::uint32_t rva = 0x1000, sub = 0x80000000u;
    const std::size_t types = 0, icons = 32, groupDir = 56, iconLang = groupDir + 16 + 8 * std::size_t(groups);
    const std::size_t groupLang = iconLang + 24, iconData = groupLang + 24, groupData = iconData + 16;
    const std::size_t directory = groupData + 16, imageAt = directory + 6 + 14 * std::size_t(entries);
    rsrc.resize(imageAt + image.size());
    put16(types + 14, 2);
    put32(types + 16, 3), put32(types + 20, sub | icons);
    put32(types + 24, 14), put32(types + 28, sub | groupDir);
    put16(icons + 14, 1);
    put32(icons + 16, 1), put32(icons + 20, sub | iconLang);
    put16(groupDir + 14, std::uint32_t(groups));
    for (int g = 0; g < groups; ++g) {
        put32(groupDir + 16 + 8 * std::size_t(g), std::uint32_t(g + 1));
        put32(groupDir + 20 + 8 * std::size_t(g), sub | std::uint32_t(groupLang));
    }
    for (auto [lang, data] : {std::pair{iconLang, iconData}, std::pair{groupLang, groupData}}) {
        put16(lang + 14, 1);
        put32(lang + 16, 1033), put32(lang + 20, std::uint32_t(data));
    }
    put32(iconData, rva + std::uint32_t(imageAt)), put32(iconData + 4, std::uint32_t(image.size()));
    put32(groupData, rva + std::uint32_t(directory)), put32(groupData + 4, std::uint32_t(6 + 14 * entries));
    put16(directory + 2, 1), put16(directory + 4, std::uint32_t(entries));
    for (int e = 0; e < entries; ++e) put16(directory + 6 + 14 * std::size_t(e) + 12, 1);
    std::copy(image.begin(), image.end(), rsrc.begin() + std::ptrdiff_t(imageAt));

    std::vector<std::uint8_t> head(0x200 + rsrc.size());
    auto h32 = [&](std::size_t at, std::uint32_t v) { for (int i = 0; i < 4; ++i) head[at + i] = std::uint8_t(v >> (8 * i)); };
    head[0] = 'M', head[1] = 'Z';
    h32(0x3C, 64);
    h32(64, 0x4550);
    h32(68, 0x14C | 1u << 16);      // machine, one section
    h32(84, 224 | 0x0102u << 16);   // optional header size, characteristics
    const std::size_t opt = 88, section = opt + 224;
    h32(opt, 0x10B);
    h32(opt + 92, 16);
    h32(opt + 96 + 16, rva), h32(opt + 96 + 20, std::uint32_t(rsrc.size()));
    h32(section + 8, std::uint32_t(rsrc.size())), h32(section + 12, rva);
    h32(section + 16, std::uint32_t(rsrc.size())), h32(section + 20, 0x200);
    std::copy(rsrc.begin(), rsrc.end(), head.begin() + 0x200);
    return head;
}

// A 1-bit DIB of side x side pixels with its mask.
std::vector<std::uint8_t> MonochromeDib(int side) {
    const std::size_t stride = (std::size_t(side) + 31) / 32 * 4;
    std::vector<std::uint8_t> d(40 + 8 + 2 * stride * std::size_t(side), 0);
    auto put32 = [&](std::size_t at, std::uint32_t v) { for (int i = 0; i < 4; ++i) d[at + i] = std::uint8_t(v >> (8 * i)); };
    put32(0, 40), put32(4, std::uint32_t(side)), put32(8, std::uint32_t(2 * side));
    d[12] = 1, d[14] = 1;
    d[44] = d[45] = d[46] = 255;   // entry 1 white
    return d;
}

}  // namespace

// What one program may ask for is capped: more than 4096 groups refuse the file, a group of
// more than 256 images yields no icon (here 1000 groups repeating one directory of 65535
// entries), and decoding stops once the images decoded exceed what the file can hold by far.
TEST(ProgramIcons, WorkIsBoundedByTheFileNotByItsTables) {
    const std::vector<std::uint8_t> small = MonochromeDib(32);
    test::TempDir dir;
    WriteBytes(dir / "many.exe", ProgramWithGroups(4097, 1, small));
    ProgramIcons icons;
    EXPECT_EQ(ProgramIcons::Load(dir / "many.exe", icons).Message, kProgramFileOpenMessage);
    EXPECT_EQ(ProgramIcons::FromBytes(ReadBytes(dir / "many.exe")).Count(), 0);
    WriteBytes(dir / "most.exe", ProgramWithGroups(4096, 256, small));
    ASSERT_TRUE(ProgramIcons::Load(dir / "most.exe", icons).Ok);
    ASSERT_EQ(icons.Count(), 4096);
    EXPECT_EQ(icons.Images(4095).size(), 256u);
    IconPicture p;
    EXPECT_TRUE(icons.Extract(4095, p));

    icons = ProgramIcons::FromBytes(ProgramWithGroups(1000, 65535, small));
    ASSERT_EQ(icons.Count(), 1000);
    EXPECT_TRUE(icons.Images(0).empty());
    EXPECT_EQ(icons.ChooseImage(999), -1);
    EXPECT_FALSE(icons.Extract(999, p));

    // 300 groups of one 1024 x 1024 image (256 KB of data): about 34 M pixels may be decoded.
    icons = ProgramIcons::FromBytes(ProgramWithGroups(300, 1, MonochromeDib(1024)));
    int extracted = 0;
    for (int i = 0; i < icons.Count(); ++i) extracted += icons.Extract(i, p);
    EXPECT_GE(extracted, 30);
    EXPECT_LT(extracted, 40);
}

namespace {

// Every cut of a program is noticed, each as what it is; whole programs have no problem.
TEST(ProgramIcons, ProblemsOfCutAndDamagedProgramsAreNamed) {
    using Kind = ProgramProblem::Kind;
    const std::vector<std::uint8_t> good = ReadBytes(DataDir() / "program_icons/pe32_icons.exe");
    EXPECT_EQ(ProgramIcons::FromBytes(good).Problem().What, Kind::None);
    if (HaveCorpus())
        for (const char* name : {"notepad.exe", "regedit.exe", "windres-demo/one.exe", "windres-demo/iconsonly.dll"}) {
            ProgramIcons icons;
            ASSERT_TRUE(ProgramIcons::Load(CorpusDir() / "pe" / name, icons));
            EXPECT_EQ(icons.Problem().What, Kind::None) << name;
        }
    for (std::size_t len = 2; len < good.size(); len += 7) {
        const ProgramProblem p = ProgramIcons::FromBytes(std::vector<std::uint8_t>(good.begin(), good.begin() + std::ptrdiff_t(len))).Problem();
        ASSERT_EQ(p.What, Kind::Truncated) << len;
        EXPECT_EQ(p.At, len);
        EXPECT_GT(p.Needed, len);
        EXPECT_EQ(p.Part, len < 64 ? "the MZ header" : len < 88 ? "the PE header" : len < 312 ? "the optional header"
                                   : len < 352 ? "the section table" : "section .rsrc") << len;
    }
    // What lies inside a cut resource section is still read.
    const ProgramIcons cut = ProgramIcons::FromBytes(std::vector<std::uint8_t>(good.begin(), good.end() - 1));
    EXPECT_EQ(cut.Count(), 3);
    EXPECT_EQ(cut.Problem().Needed, good.size());

    std::vector<std::uint8_t> bad = good;
    bad[84] = 1, bad[85] = 0;   // SizeOfOptionalHeader 1: too short even for its Magic
    const ProgramProblem small = ProgramIcons::FromBytes(bad).Problem();
    EXPECT_EQ(small.What, Kind::DamagedField);
    EXPECT_EQ(small.Field, "SizeOfOptionalHeader");
    EXPECT_EQ(small.Value, 1u);
    EXPECT_EQ(small.At, 84u);
    EXPECT_EQ(ProgramIcons::FromBytes({'Z', 'M', 0, 0}).Problem().What, Kind::NotPe);
}

}  // namespace
