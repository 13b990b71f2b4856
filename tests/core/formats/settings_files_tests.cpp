#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "core/formats/settings_files.h"
#include "support/test_paths.h"

namespace fs = std::filesystem;

namespace pq {
namespace {

using pq::test::ReadBytes;
using pq::test::WriteBytes;

using Bytes = std::vector<uint8_t>;

// The bytes of a "pqset" holding Left -8, Top 20, 1024 x 700, colours dark red and black,
// undo off, maximised.
Bytes FullMainSettings() {
    return Bytes{0xF8, 0xFF, 0xFF, 0xFF, 20, 0, 0, 0, 0x00, 0x04, 0, 0, 0xBC, 0x02, 0, 0,
                 0x80, 0, 0, 0, 0, 0, 0, 0, 0, 2};
}

TEST(MainSettingsFile, WritesTheExact26ByteLayoutAndReadsItBack) {
    test::TempDir dir;
    MainSettings s;
    s.HasBounds = true;
    s.Left = -8, s.Top = 20, s.Width = 1024, s.Height = 700;
    s.TransparencyColor1 = 0x000080;
    s.TransparencyColor2 = 0x000000;
    s.UndoEnabled = false;
    s.WindowState = 2;
    ASSERT_TRUE(WriteMainSettings(dir / kMainSettingsFile, s));
    EXPECT_EQ(ReadBytes(dir / kMainSettingsFile), FullMainSettings());
    EXPECT_EQ(ReadMainSettings(dir / kMainSettingsFile), s);
    // No temporary file is left beside it.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 1);

    s.UndoEnabled = true;
    s.WindowState = 1;
    s.TransparencyColor2 = 0xC0FFEE;
    ASSERT_TRUE(WriteMainSettings(dir / kMainSettingsFile, s));
    EXPECT_EQ(fs::file_size(dir / kMainSettingsFile), 26u);
    EXPECT_EQ(ReadMainSettings(dir / kMainSettingsFile), s);
}

TEST(MainSettingsFile, AbsentFileGivesTheDefaults) {
    test::TempDir dir;
    const MainSettings s = ReadMainSettings(dir / kMainSettingsFile);
    EXPECT_FALSE(s.HasBounds);
    EXPECT_EQ(s.Width, 640);
    EXPECT_EQ(s.Height, 460);
    EXPECT_EQ(s.TransparencyColor1, 0xFFFFFFu);
    EXPECT_EQ(s.TransparencyColor2, 0xC8C8C8u);
    EXPECT_TRUE(s.UndoEnabled);
    EXPECT_EQ(s.WindowState, 0);
}

TEST(MainSettingsFile, ShortFilesKeepDefaultsForTheFieldsTheyDoNotHold) {
    test::TempDir dir;
    const Bytes full = FullMainSettings();
    const MainSettings d;
    auto readPrefix = [&](std::size_t n) {
        WriteBytes(dir / kMainSettingsFile, Bytes(full.begin(), full.begin() + n));
        return ReadMainSettings(dir / kMainSettingsFile);
    };

    MainSettings s = readPrefix(3);
    EXPECT_EQ(s, d);
    s = readPrefix(10);   // Left, Top and half of Width
    EXPECT_TRUE(s.HasBounds);
    EXPECT_EQ(s.Left, -8);
    EXPECT_EQ(s.Top, 20);
    EXPECT_EQ(s.Width, 640);
    EXPECT_EQ(s.Height, 460);
    s = readPrefix(20);   // bounds and the first colour
    EXPECT_EQ(s.Height, 700);
    EXPECT_EQ(s.TransparencyColor1, 0x80u);
    EXPECT_EQ(s.TransparencyColor2, 0xC8C8C8u);
    EXPECT_TRUE(s.UndoEnabled);
    s = readPrefix(25);   // everything but the window state
    EXPECT_FALSE(s.UndoEnabled);
    EXPECT_EQ(s.TransparencyColor2, 0u);
    EXPECT_EQ(s.WindowState, 0);

    // Extra bytes after the layout are ignored.
    Bytes longer = full;
    longer.insert(longer.end(), {9, 9, 9});
    WriteBytes(dir / kMainSettingsFile, longer);
    EXPECT_EQ(ReadMainSettings(dir / kMainSettingsFile).WindowState, 2);
}

TEST(MainSettingsFile, SenselessValuesAreReplacedByDefaults) {
    test::TempDir dir;
    Bytes b = FullMainSettings();
    b[8] = 0xFB, b[9] = 0xFF, b[10] = 0xFF, b[11] = 0xFF;   // width -5
    b[12] = b[13] = b[14] = b[15] = 0;                      // height 0
    b[24] = 7;                                              // any non-zero undo byte means on
    b[25] = 3;                                              // no such window state
    WriteBytes(dir / kMainSettingsFile, b);
    const MainSettings s = ReadMainSettings(dir / kMainSettingsFile);
    EXPECT_EQ(s.Left, -8);
    EXPECT_EQ(s.Top, 20);
    EXPECT_EQ(s.Width, 640);
    EXPECT_EQ(s.Height, 460);
    EXPECT_TRUE(s.UndoEnabled);
    EXPECT_EQ(s.WindowState, 0);
    b[25] = 0xFF;
    WriteBytes(dir / kMainSettingsFile, b);
    EXPECT_EQ(ReadMainSettings(dir / kMainSettingsFile).WindowState, 0);
}

TEST(WindowPositionFile, EightBytesRoundTripAndShortOrAbsentFilesGiveNothing) {
    test::TempDir dir;
    ASSERT_TRUE(WriteWindowPosition(dir / kLayerPaletteFile, WindowPosition{-300, 1200}));
    EXPECT_EQ(ReadBytes(dir / kLayerPaletteFile), (Bytes{0xD4, 0xFE, 0xFF, 0xFF, 0xB0, 0x04, 0, 0}));
    EXPECT_EQ(ReadWindowPosition(dir / kLayerPaletteFile), (WindowPosition{-300, 1200}));

    EXPECT_EQ(ReadWindowPosition(dir / kPreviewFile), std::nullopt);
    WriteBytes(dir / kColorPaletteFile, Bytes{1, 0, 0, 0, 2, 0, 0});
    EXPECT_EQ(ReadWindowPosition(dir / kColorPaletteFile), std::nullopt);
}

TEST(RecentFilesFile, NewestFirstWithoutRepeatsAtMostEightAndDamagedLinesDropped) {
    test::TempDir dir;
    std::vector<std::string> paths;
    for (int i = 0; i < 10; ++i) AddRecentFile(paths, "/d/" + std::to_string(i) + ".ico");
    AddRecentFile(paths, "/d/5.ico");
    ASSERT_EQ(paths.size(), 8u);
    EXPECT_EQ(paths[0], "/d/5.ico");
    EXPECT_EQ(paths[1], "/d/9.ico");
    EXPECT_EQ(paths[7], "/d/2.ico");
    ASSERT_TRUE(WriteRecentFiles(dir / kRecentFilesFile, paths));
    EXPECT_EQ(ReadRecentFiles(dir / kRecentFilesFile), paths);

    const std::string text = "/a/絵.pqf\r\n\nrelative.ico\n/a/絵.pqf\n/b/\x01x.ico\n/" + std::string(5000, 'x') + "\n/c.cur";
    WriteBytes(dir / kRecentFilesFile, Bytes(text.begin(), text.end()));
    EXPECT_EQ(ReadRecentFiles(dir / kRecentFilesFile), (std::vector<std::string>{"/a/絵.pqf", "/c.cur"}));
    EXPECT_TRUE(ReadRecentFiles(dir / "absent").empty());
}

TEST(SettingsWriting, AMissingFolderFailsAndAFailedWriteKeepsThePreviousFile) {
    test::TempDir dir;
    EXPECT_FALSE(WriteMainSettings(dir / "missing" / kMainSettingsFile, MainSettings{}));
    EXPECT_FALSE(WriteWindowPosition(dir / "missing" / kPreviewFile, WindowPosition{}));
    EXPECT_FALSE(fs::exists(dir / "missing"));

    // A folder in the way of the file: the write fails and leaves no temporary file behind.
    fs::create_directory(dir / kPreviewFile);
    EXPECT_FALSE(WriteWindowPosition(dir / kPreviewFile, WindowPosition{1, 2}));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 1);
}

TEST(ReductionSettingsFile, RoundTripsEveryChoiceAndAnythingDamagedReadsAsTheDefaults) {
    test::TempDir dir;
    const fs::path file = dir / kReductionSettingsFile;
    const ReductionOptions chosen{Quantizer::Quality, Dither::Ordered, 255};
    ASSERT_TRUE(WriteReductionSettings(file, chosen));
    EXPECT_EQ(ReadBytes(file), (Bytes{'P', 'Q', 'R', 'D', 1, 1, 2, 255}));
    EXPECT_EQ(ReadReductionSettings(file), chosen);
    for (const ReductionOptions o : {ReductionOptions{Quantizer::MedianCut, Dither::Diffusion, 1},
                                     ReductionOptions{Quantizer::Quality, Dither::None, 127}}) {
        ASSERT_TRUE(WriteReductionSettings(file, o));
        EXPECT_EQ(ReadReductionSettings(file), o);
    }
    // A threshold the format cannot hold is written as the default.
    ASSERT_TRUE(WriteReductionSettings(file, ReductionOptions{Quantizer::Quality, Dither::Diffusion, 300}));
    EXPECT_EQ(ReadReductionSettings(file), (ReductionOptions{Quantizer::Quality, Dither::Diffusion, 128}));

    const ReductionOptions defaults;
    EXPECT_EQ(ReadReductionSettings(dir / "absent"), defaults);
    const Bytes good{'P', 'Q', 'R', 'D', 1, 1, 1, 100};
    std::vector<Bytes> damaged = {
        {},                                   // empty
        Bytes(good.begin(), good.end() - 1),  // short
        {'P', 'Q', 'R', 'D', 1, 1, 1, 100, 0},   // one byte too many
        {'P', 'Q', 'R', 'X', 1, 1, 1, 100},   // another tag
        {'P', 'Q', 'R', 'D', 2, 1, 1, 100},   // another version
        {'P', 'Q', 'R', 'D', 1, 2, 1, 100},   // no such quantizer
        {'P', 'Q', 'R', 'D', 1, 1, 3, 100},   // no such dither
        {'P', 'Q', 'R', 'D', 1, 1, 1, 0},     // threshold 0
    };
    damaged.push_back(Bytes(1 << 16, 'P'));   // a large file of something else
    for (std::size_t i = 0; i < damaged.size(); ++i) {
        WriteBytes(file, damaged[i]);
        EXPECT_EQ(ReadReductionSettings(file), defaults) << "case " << i;
        // Reading never repairs or replaces the file: only saving the options does.
        EXPECT_EQ(ReadBytes(file), damaged[i]) << "case " << i;
    }
    // A folder where the file should be reads as the defaults too.
    fs::remove(file);
    fs::create_directory(file);
    EXPECT_EQ(ReadReductionSettings(file), defaults);
    EXPECT_FALSE(WriteReductionSettings(file, chosen));
}

// Sets an environment variable for one test and puts the old value back.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::optional<std::string>& value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        if (value) setenv(name, value->c_str(), 1);
        else unsetenv(name);
    }
    ~ScopedEnv() {
        if (old_) setenv(name_, old_->c_str(), 1);
        else unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

TEST(SettingsFolderChoice, BesideTheExecutableWhenPossibleElseTheConfigFolder) {
    test::TempDir exe, config, home;
    ScopedEnv xdg("XDG_CONFIG_HOME", config.Path().string());
    ScopedEnv homeVar("HOME", home.Path().string());

    // No folder yet: it is created beside the executable.
    EXPECT_EQ(ChooseSettingsFolder(exe.Path()), exe / "setting");
    EXPECT_TRUE(fs::is_directory(exe / "setting"));
    // An existing one is used as it is.
    std::ofstream(exe / "setting" / "pqset") << "x";
    EXPECT_EQ(ChooseSettingsFolder(exe.Path()), exe / "setting");
    EXPECT_TRUE(fs::exists(exe / "setting" / "pqset"));

    // A file named "setting" beside the executable: the config folder is used and created.
    test::TempDir blocked;
    std::ofstream(blocked / "setting") << "x";
    EXPECT_EQ(ChooseSettingsFolder(blocked.Path()), config.Path() / "pixquil" / "setting");
    EXPECT_TRUE(fs::is_directory(config.Path() / "pixquil" / "setting"));
    // The executable's folder itself is gone.
    EXPECT_EQ(ChooseSettingsFolder(exe / "no" / "such"), config.Path() / "pixquil" / "setting");
    EXPECT_FALSE(fs::exists(exe / "no"));

    // Without a usable XDG_CONFIG_HOME (unset or relative) the folder is ~/.config.
    {
        ScopedEnv unset("XDG_CONFIG_HOME", std::nullopt);
        EXPECT_EQ(ChooseSettingsFolder(blocked.Path()), home.Path() / ".config" / "pixquil" / "setting");
    }
    {
        ScopedEnv relative("XDG_CONFIG_HOME", std::string("relative/config"));
        EXPECT_EQ(ChooseSettingsFolder(blocked.Path()), home.Path() / ".config" / "pixquil" / "setting");
    }
    EXPECT_TRUE(fs::is_directory(home.Path() / ".config" / "pixquil" / "setting"));
}

}  // namespace
}  // namespace pq
