#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "core/formats/ani_file.h"
#include "core/formats/cursor_theme.h"
#include "core/formats/icon_set.h"
#include "core/formats/xcursor_file.h"
#include "core/ops/resample.h"
#include "support/small_fs.h"
#include "support/test_paths.h"

#include <X11/Xcursor/Xcursor.h>
#undef None
#undef Success
#undef TrueColor

namespace pq {
namespace {

namespace fs = std::filesystem;

struct ImagesDeleter {
    void operator()(XcursorImages* p) const { XcursorImagesDestroy(p); }
};
using Images = std::unique_ptr<XcursorImages, ImagesDeleter>;

const RgbaResampler kResample = [](const std::vector<Rgba8>& px, int w, int h, int nw, int nh) {
    return ResampleRgba(px, w, h, nw, nh);
};

// Left half opaque red, right half fully transparent: scaling must not darken the edge.
IconSetPage HalfRed(int w, int h, int hx, int hy) {
    IconSetPage p;
    p.Kind = IconPageKind::TrueColor;
    InitBlankTrueColorDocument(p.Doc, w, h, 20);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w / 2; ++x) p.Doc.LayerAt(0).Pixels[std::size_t(y * w + x)] = Rgba8{255, 0, 0, 255};
    p.Doc.HotspotX = hx, p.Doc.HotspotY = hy, p.Doc.HasHotspot = true;
    return p;
}

CursorAnimation Still(IconSetPage page, int nominal) {
    CursorFrame f;
    f.Sizes.push_back(std::move(page));
    f.NominalSizes.push_back(nominal);
    return AnimationOfFrames({f}, 0, kCursorResourceType);
}

std::vector<CursorThemeRole> Roles() {
    std::vector<CursorThemeRole> roles;
    // default: drawn at 32 and 64; text: one odd, non-square page; wait: two frames shown 0 1 1.
    CursorAnimation def = Still(HalfRed(32, 32, 31, 0), 32);
    def.Frames[0].Sizes.push_back(HalfRed(64, 64, 10, 20));
    def.Frames[0].NominalSizes.push_back(64);
    roles.push_back({"default", def});
    roles.push_back({"text", Still(HalfRed(17, 23, 8, 22), 24)});
    std::vector<CursorFrame> frames(2);
    frames[0].Sizes.push_back(HalfRed(32, 32, 16, 16));
    frames[1].Sizes.push_back(HalfRed(32, 32, 0, 0));
    CursorAnimation wait = AnimationOfFrames(frames, 50, kCursorResourceType);
    wait.Steps = {0, 1, 1};
    wait.StepMilliseconds = {50, 100, 200};
    roles.push_back({"wait", wait});
    return roles;
}

fs::path Scratch(const std::string& name) {
    const fs::path dir = fs::temp_directory_path() / ("pq_theme_" + std::to_string(getpid()) + "_" + name);
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

TEST(CursorTheme, LibXcursorFindsEveryRoleAndLegacyNameAtEverySize) {
    const fs::path root = Scratch("load");
    CursorThemeOptions options;
    options.Name = "Pixquil Test";
    options.Comment = "made in a test";
    options.Inherits = "Adwaita";
    options.Sizes = {24, 48, 32};
    options.Windows = true;
    options.Resample = kResample;
    ASSERT_TRUE(WriteCursorTheme(root / "pqtheme", Roles(), options));

    setenv("XCURSOR_PATH", root.c_str(), 1);
    struct Want {
        const char* Name;
        int Size, W, H, Hx, Hy, Images;
    };
    const Want wants[] = {
        {"default", 32, 32, 32, 31, 0, 1},   // its own page
        {"default", 48, 48, 48, 7, 15, 1},   // from 64, the nearer larger size: hotspot 10,20 -> 7,15
        {"left_ptr", 24, 24, 24, 23, 0, 1},  // from 32: the corner hotspot stays in the corner pixel
        {"text", 48, 34, 46, 17, 45, 1},     // from 24 (the only one), enlarged
        {"xterm", 24, 17, 23, 8, 22, 1},
        {"watch", 32, 32, 32, 16, 16, 3},    // one image per step
    };
    for (const Want& w : wants) {
        Images im(XcursorLibraryLoadImages(w.Name, "pqtheme", w.Size));
        ASSERT_TRUE(im) << w.Name << " " << w.Size;
        ASSERT_EQ(im->nimage, w.Images) << w.Name;
        const XcursorImage& first = *im->images[0];
        EXPECT_EQ(int(first.size), w.Size) << w.Name;
        EXPECT_EQ(std::pair(int(first.width), int(first.height)), std::pair(w.W, w.H)) << w.Name << " " << w.Size;
        EXPECT_EQ(std::pair(int(first.xhot), int(first.yhot)), std::pair(w.Hx, w.Hy)) << w.Name << " " << w.Size;
        // Premultiplied averaging: the edge pixel is paler red, never darker (no transparent colour bleeding in).
        for (unsigned i = 0; i < first.width * first.height; ++i) {
            const uint32_t p = first.pixels[i], a = p >> 24;
            ASSERT_EQ((p >> 16) & 0xff, a) << w.Name << " " << i;
            ASSERT_EQ(p & 0xffff, 0u);
        }
    }
    Images watch(XcursorLibraryLoadImages("wait", "pqtheme", 32));
    EXPECT_EQ(watch->images[0]->delay, 50u);
    EXPECT_EQ(watch->images[2]->delay, 200u);
    EXPECT_EQ(watch->images[0]->xhot, 16u);
    EXPECT_EQ(watch->images[1]->xhot, 0u);

    const fs::path cursors = root / "pqtheme" / "cursors";
    EXPECT_TRUE(fs::is_symlink(cursors / "left_ptr"));
    EXPECT_EQ(fs::read_symlink(cursors / "left_ptr"), "default");
    EXPECT_EQ(fs::read_symlink(cursors / "watch"), "wait");
    EXPECT_FALSE(fs::exists(fs::symlink_status(cursors / "hand2")));   // no pointer role, no dangling link to it
    const std::vector<uint8_t> index = test::ReadBytes(root / "pqtheme" / "index.theme");
    EXPECT_EQ(std::string(index.begin(), index.end()),
              "[Icon Theme]\nName=Pixquil Test\nComment=made in a test\nInherits=Adwaita\n");

    // The Windows pack: a still role as .cur with its hotspot, an animated one as .ani, the scheme.
    std::vector<IconSetPage> pages;
    int type = 0;
    ASSERT_TRUE(LoadIconSetFile(root / "pqtheme" / "windows" / "default.cur", 20, pages, type));
    EXPECT_EQ(type, kCursorResourceType);
    ASSERT_EQ(pages.size(), 3u);
    EXPECT_EQ(std::pair(pages[1].Doc.ImageWidth, pages[1].Doc.HotspotX), std::pair(48, 7));
    AniFile ani;
    ASSERT_TRUE(ReadAniFile(root / "pqtheme" / "windows" / "wait.ani", 20, ani));
    EXPECT_EQ(ani.Animation.Steps, (std::vector<int>{0, 1, 1}));
    EXPECT_EQ(ani.Animation.StepMilliseconds, (std::vector<int>{50, 100, 200}));
    const std::vector<uint8_t> inf = test::ReadBytes(root / "pqtheme" / "windows" / "install.inf");
    const std::string text(inf.begin(), inf.end());
    EXPECT_NE(text.find("HKCU,\"Control Panel\\Cursors\\Schemes\",\"%SCHEME_NAME%\",,\"%10%\\%CUR_DIR%\\default.cur,,,"
                        "%10%\\%CUR_DIR%\\wait.ani,,%10%\\%CUR_DIR%\\text.cur,,,,,,,,,\"\r\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("SCHEME_NAME = \"Pixquil Test\"\r\n"), std::string::npos);
    fs::remove_all(root);
}

TEST(CursorTheme, ASchemeNameCannotLeadTheInstalledFilesOutOfTheCursorsFolder) {
    const std::pair<std::string, std::string> files[] = {{"default", "default.cur"}};
    const std::string inf = InstallInfText("..\\..\\System32\"\r\n[Evil]%10%", files);
    EXPECT_NE(inf.find("CUR_DIR     = \"Cursors\\.._.._System32   [Evil]%%10%%\"\r\n"), std::string::npos) << inf;
    EXPECT_EQ(inf.find("\n[Evil]"), std::string::npos);
    EXPECT_NE(InstallInfText("..", files).find("CUR_DIR     = \"Cursors\\_..\""), std::string::npos);
}

TEST(CursorTheme, AFolderOfOtherFilesIsKeptUnlessReplacedAndFailuresLeaveItAsItWas) {
    const fs::path root = Scratch("replace");
    const fs::path theme = root / "t";
    fs::create_directories(theme);
    test::WriteBytes(theme / "notes.txt", {'k', 'e', 'e', 'p'});
    CursorThemeOptions options;
    options.Resample = kResample;
    options.Sizes = {24};
    const FileResult refused = WriteCursorTheme(theme, Roles(), options);
    EXPECT_FALSE(refused);
    EXPECT_NE(refused.Message.find("には別のファイルがあります。"), std::string::npos);
    EXPECT_TRUE(fs::exists(theme / "notes.txt"));

    EXPECT_FALSE(WriteCursorTheme(root / "t", {{CursorThemeRole{"pointy", Roles()[0].Animation}}}, options));
    test::WriteBytes(root / "file", {1});
    EXPECT_FALSE(WriteCursorTheme(root / "file", Roles(), options));
    fs::create_symlink(theme, root / "link");
    EXPECT_FALSE(WriteCursorTheme(root / "link", Roles(), options));

    options.Replace = true;
    ASSERT_TRUE(WriteCursorTheme(theme, Roles(), options));
    EXPECT_FALSE(fs::exists(theme / "notes.txt"));
    EXPECT_TRUE(fs::exists(theme / "cursors" / "wait"));
    // Nothing but the theme, the file and the link are left beside it (no temporary folders).
    EXPECT_EQ(std::distance(fs::directory_iterator(root), fs::directory_iterator()), 3);

    // A disk too small for the theme: refused, the theme before it still whole, nothing left behind.
    test::SmallFileSystem small(256 * 1024);
    if (!small.Mounted()) GTEST_SKIP() << "no tmpfs can be mounted here";
    ASSERT_TRUE(WriteCursorTheme(small / "t", Roles(), options));
    const auto before = test::ReadBytes(small / "t" / "cursors" / "default");
    options.Sizes = {24, 32, 48, 64, 96, 128, 256};
    const FileResult full = WriteCursorTheme(small / "t", Roles(), options);
    EXPECT_FALSE(full);
    EXPECT_NE(full.Message.find("ディスクの空き容量が足りません。"), std::string::npos) << full.Message;
    EXPECT_EQ(test::ReadBytes(small / "t" / "cursors" / "default"), before);
    EXPECT_EQ(std::distance(fs::directory_iterator(small.Path()), fs::directory_iterator()), 1);
    fs::remove_all(root);
}

}  // namespace
}  // namespace pq
