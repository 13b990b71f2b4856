// pqtool on animated cursors and Xcursor files, run as a separate process: pack makes them from
// pictures, info and extract report frames, sizes, hotspots and times, cursor-theme writes a
// theme folder, and damaged or conflicting inputs are refused with the reason in the run's language.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/formats/ani_file.h"
#include "core/formats/png_file.h"
#include "core/formats/xcursor_file.h"
#include "support/png_encode.h"
#include "support/run_pqtool.h"
#include "support/test_paths.h"

namespace fs = std::filesystem;
using namespace pq;
using pq::test::ReadBytes;
using pq::test::RunPqtool;
using pq::test::RunResult;
using pq::test::TempDir;
using pq::test::WriteBytes;

namespace {

// Odd-sized, soft alpha; a pixel of alpha 0 carries no colour, as a page holds it.
std::vector<uint8_t> Picture(int w, int h, int seed) {
    std::vector<uint8_t> out;
    for (int i = 0; i < w * h; ++i) {
        const uint8_t a = uint8_t((i * 37 + seed * 11) % 5 == 0 ? 0 : (i * 53 + seed) % 256);
        if (a == 0) out.insert(out.end(), {0, 0, 0, 0});
        else out.insert(out.end(), {uint8_t(i * 7 + seed), uint8_t(i * 3), uint8_t(seed * 40), a});
    }
    return out;
}

std::string Text(const std::vector<uint8_t>& b) { return std::string(b.begin(), b.end()); }

TEST(PqtoolCursors, PackInfoAndExtractKeepFramesOrderTimesAndHotspots) {
    TempDir dir;
    WriteBytes(dir / "a.png", test::EncodePng(23, 17, Picture(23, 17, 1)));
    WriteBytes(dir / "b.png", test::EncodePng(23, 17, Picture(23, 17, 2)));
    const std::string ani = (dir / "spin.ani").string();
    RunResult r = RunPqtool({"pack", "--seq", "0,1,1", "--times", "50,100,200", "--hotspot", "22,16", "--title", "Spin",
                             ani, (dir / "a.png").string(), (dir / "b.png").string()});
    ASSERT_EQ(r.Status, 0) << r.Err;

    AniFile read;
    ASSERT_TRUE(ReadAniFile(ani, 20, read));
    EXPECT_EQ(read.Animation.Steps, (std::vector<int>{0, 1, 1}));
    EXPECT_EQ(read.Animation.StepMilliseconds, (std::vector<int>{50, 100, 200}));
    EXPECT_EQ(read.Animation.Title, "Spin");
    ASSERT_EQ(read.Animation.Frames.size(), 2u);
    const Document& second = read.Animation.Frames[1].Sizes.at(0).Doc;
    EXPECT_EQ(FlattenToRgba(second), Picture(23, 17, 2));
    EXPECT_EQ(std::pair(second.HotspotX, second.HotspotY), std::pair(22, 16));

    r = RunPqtool({"info", "--json", ani});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_NE(r.Out.find("\"kind\": \"ani\""), std::string::npos) << r.Out;
    EXPECT_NE(r.Out.find("\"steps\": [{\"frame\": 0, \"milliseconds\": 50}, {\"frame\": 1, \"milliseconds\": 100}, "
                         "{\"frame\": 1, \"milliseconds\": 200}]"),
              std::string::npos)
        << r.Out;
    EXPECT_NE(r.Out.find("\"width\": 23, \"height\": 17, \"depth\": \"32-bit\", \"nominal\": 23, \"hotspot\": [22, 16]"),
              std::string::npos)
        << r.Out;

    // Into an Xcursor file at two sizes, then every page out again as exact PNGs with the listing.
    const std::string xc = (dir / "spin").string();
    r = RunPqtool({"pack", "--xcursor", "--sizes", "24,12", xc, ani});
    ASSERT_EQ(r.Status, 0) << r.Err;
    r = RunPqtool({"info", xc});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_NE(r.Out.find("type: xcursor\nframes: 3\nsteps: 3\n"), std::string::npos) << r.Out;
    EXPECT_NE(r.Out.find("frame 2: nominal 24 24x18 32-bit hotspot 23,17; nominal 12 12x9 32-bit hotspot 11,8\n"),
              std::string::npos)
        << r.Out;
    r = RunPqtool({"extract", ani, (dir / "out").string()});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(Text(ReadBytes(dir / "out" / "spin-frames.txt")),
              "# page FRAME SIZE FILE WIDTH HEIGHT HOTSPOT_X HOTSPOT_Y NOMINAL\n# step STEP FRAME MILLISECONDS\n"
              "page 0 0 spin-0-0-23x17-32.png 23 17 22 16 23\npage 1 0 spin-1-0-23x17-32.png 23 17 22 16 23\n"
              "step 0 0 50\nstep 1 1 100\nstep 2 1 200\n");
    EXPECT_EQ(ReadBytes(dir / "out" / "spin-1-0-23x17-32.png"), EncodeRgbaPng(23, 17, Picture(23, 17, 2)));

    // A seq naming a frame that is not there is wrong usage, and nothing is written.
    r = RunPqtool({"pack", "--seq", "0,2", (dir / "no.ani").string(), (dir / "a.png").string(), (dir / "b.png").string()});
    EXPECT_EQ(r.Status, 2);
    EXPECT_NE(r.Err.find("--seq: there is no frame 2 (2 frames)"), std::string::npos) << r.Err;
    EXPECT_FALSE(fs::exists(dir / "no.ani"));
}

TEST(PqtoolCursors, DamagedAnimationsAreRefusedWithTheReasonInEitherLanguage) {
    TempDir dir;
    WriteBytes(dir / "a.png", test::EncodePng(16, 16, Picture(16, 16, 3)));
    ASSERT_EQ(RunPqtool({"pack", (dir / "ok.ani").string(), (dir / "a.png").string()}).Status, 0);
    std::vector<uint8_t> bytes = ReadBytes(dir / "ok.ani");
    bytes[4] = 0, bytes[5] = 0, bytes[6] = 0, bytes[7] = 0x40;   // RIFF size 1 GB
    WriteBytes(dir / "big.ani", bytes);
    const std::string size = std::to_string(bytes.size());
    RunResult r = RunPqtool({"info", (dir / "big.ani").string()});
    EXPECT_EQ(r.Status, 1);
    EXPECT_NE(r.Err.find("This animated cursor cannot be opened.\nchunk 'RIFF' (at 0, size 1073741824): its declared "
                         "size exceeds the file's size of " + size + "."),
              std::string::npos)
        << r.Err;
    r = RunPqtool({"extract", (dir / "big.ani").string(), (dir / "x").string()}, {.Lang = "ja_JP.UTF-8"});
    EXPECT_EQ(r.Status, 1);
    EXPECT_NE(r.Err.find("このアニメーションカーソルは開けません。\nチャンク 'RIFF'（位置 0、大きさ 1073741824）："),
              std::string::npos)
        << r.Err;
    EXPECT_FALSE(fs::exists(dir / "x"));
    // Xcursor content under any name is read as Xcursor, and a damaged one refused the same way.
    WriteBytes(dir / "bad.png", {'X', 'c', 'u', 'r', 16, 0, 0, 0, 0, 0, 1, 0, 0xff, 0xff, 0, 0});
    r = RunPqtool({"info", (dir / "bad.png").string()});
    EXPECT_EQ(r.Status, 1);
    EXPECT_NE(r.Err.find("This Xcursor file cannot be opened.\nthe table of contents' entry count 65535 does not fit "
                         "in the file."),
              std::string::npos)
        << r.Err;
}

TEST(PqtoolCursors, CursorThemeFromRoleNamesAndAMap) {
    TempDir dir;
    WriteBytes(dir / "default.png", test::EncodePng(32, 32, Picture(32, 32, 4)));
    WriteBytes(dir / "beam.png", test::EncodePng(9, 31, Picture(9, 31, 5)));
    ASSERT_EQ(RunPqtool({"pack", "--times", "80", (dir / "busy.ani").string(), (dir / "default.png").string(),
                         (dir / "beam.png").string()})
                  .Status,
              0);
    fs::create_directory(dir / "maps");
    const std::string map = "# roles\n\ntext ../beam.png\r\nwait\t../busy.ani\n";
    WriteBytes(dir / "maps" / "roles.txt", std::vector<uint8_t>(map.begin(), map.end()));
    const fs::path theme = dir / "theme";
    RunResult r = RunPqtool({"cursor-theme", theme.string(), (dir / "default.png").string(),
                             (dir / "maps" / "roles.txt").string(), "--sizes", "24,32", "--windows", "--inherits", "Adwaita"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(Text(ReadBytes(theme / "index.theme")), "[Icon Theme]\nName=theme\nComment=\nInherits=Adwaita\n");
    for (const char* role : {"default", "text", "wait"}) EXPECT_TRUE(fs::is_regular_file(theme / "cursors" / role)) << role;
    EXPECT_EQ(fs::read_symlink(theme / "cursors" / "xterm"), "text");
    CursorAnimation wait;
    ASSERT_TRUE(ReadXcursorFile(theme / "cursors" / "wait", 20, wait));
    EXPECT_EQ(wait.StepMilliseconds, (std::vector<int>{83, 83}));   // the .ani kept 80 ms as 5/60 s
    EXPECT_EQ(wait.Frames[1].NominalSizes, (std::vector<int>{24, 32}));
    EXPECT_TRUE(fs::exists(theme / "windows" / "wait.ani"));
    EXPECT_TRUE(fs::exists(theme / "windows" / "text.cur"));
    EXPECT_NE(Text(ReadBytes(theme / "windows" / "install.inf")).find("IBeam,0x00020000,\"%10%\\%CUR_DIR%\\text.cur\""),
              std::string::npos);

    // Again into the same folder: refused and kept; a role given twice; a map line naming no role.
    const std::vector<uint8_t> before = ReadBytes(theme / "cursors" / "default");
    r = RunPqtool({"cursor-theme", theme.string(), (dir / "default.png").string(), "--sizes", "48"});
    EXPECT_EQ(r.Status, 1);
    EXPECT_NE(r.Err.find("The cursor theme could not be written.\n'" + theme.string() + "' holds other files."),
              std::string::npos)
        << r.Err;
    EXPECT_EQ(ReadBytes(theme / "cursors" / "default"), before);
    r = RunPqtool({"cursor-theme", (dir / "t2").string(), (dir / "maps" / "roles.txt").string(),
                   (dir / "default.png").string(), (dir / "default.png").string()});
    EXPECT_EQ(r.Status, 2);
    EXPECT_NE(r.Err.find("the role default is given twice"), std::string::npos) << r.Err;
    const std::string bad = "text ../beam.png\npointy ../beam.png\n";
    WriteBytes(dir / "maps" / "bad.txt", std::vector<uint8_t>(bad.begin(), bad.end()));
    r = RunPqtool({"cursor-theme", (dir / "t3").string(), (dir / "maps" / "bad.txt").string()});
    EXPECT_EQ(r.Status, 1);
    EXPECT_NE(r.Err.find("line 2: 'pointy' is not a cursor role"), std::string::npos) << r.Err;
    EXPECT_FALSE(fs::exists(dir / "t2"));
    EXPECT_FALSE(fs::exists(dir / "t3"));
}

}  // namespace
