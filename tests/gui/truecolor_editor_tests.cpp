// Truecolour documents in the editor: antialiased text, and the icons and cursors written for
// truecolour pages as another icon reader sees them.
#include <QLineEdit>
#include <cstdio>
#include <gtest/gtest.h>

#include "core/document/blend.h"
#include "core/formats/icon_set.h"
#include "gui/app/main_form.h"
#include "gui/document/image_form.h"
#include "gui/document/text_dialog.h"
#include "gui/formats/file_commands.h"
#include "gui/kit/tool_state.h"
#include "support/editor_fixture.h"

namespace pq::test {
namespace {

std::vector<Rgba8> SoftPixels(int w, int h) {
    std::vector<Rgba8> p(std::size_t(w) * std::size_t(h));
    for (std::size_t i = 0; i < p.size(); ++i)
        p[i] = Rgba8{std::uint8_t(i * 7), std::uint8_t(i / 3), 90, std::uint8_t(i % 5 == 0 ? 0 : 40 + i * 13 % 216)};
    return p;
}

std::string Output(const std::string& command) {
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buf[4096];
        for (std::size_t n; (n = fread(buf, 1, sizeof buf, pipe)) > 0;) out.append(buf, n);
        pclose(pipe);
    }
    return out;
}

class TrueColorEditor : public EditorTest {
protected:
    // "あW" in 18-pixel type drawn with the text tool at (1, 2) of a new 40 x 24 document.
    void DrawText(Rgba8 colour, Rgba8 under) {
        gui::TImageForm* f = NewDocument(0, 0);
        InitBlankTrueColorDocument(f->Doc(), 40, 24, 1);
        std::fill(f->Doc().Current().Pixels.begin(), f->Doc().Current().Pixels.end(), under);
        f->Doc().DrawRgba = colour;
        f->RecordStep(" ");
        ChooseTool(gui::kToolText);
        prompt_.ExpectDialog("TfrmText", [](QDialog& d) {
            static_cast<gui::TfrmText&>(d).Edit1()->setText("あW");
            static_cast<gui::TfrmText&>(d).SetFont(Font());
            return true;
        });
        ClickCell(1, 2);
    }
    static FontSpec Font() {
        FontSpec font;
        font.Height = 18;
        return font;
    }
};

TEST_F(TrueColorEditor, TextIsAntialiasedAndMixedByCoverageWithoutPunchingHoles) {
    Raster smooth(40, 24), hard(40, 24);
    smooth.Fill(Rgb{255, 255, 255});
    hard.Fill(Rgb{255, 255, 255});
    gui::QtTextDrawer().DrawSmoothText(smooth, 1, 2, "あW", Font());
    gui::QtTextDrawer().DrawText(hard, 1, 2, "あW", Font());
    const Rgba8 red{200, 0, 0, 255}, blue{0, 0, 255, 255}, green{10, 120, 30, 128};
    DrawText(blue, red);
    const RgbaPlane overRed = Active()->Doc().Current().Pixels;
    DrawText(green, Rgba8{});
    const RgbaPlane overClear = Active()->Doc().Current().Pixels;
    int partial = 0;
    for (int i = 0; i < 40 * 24; ++i) {
        const Rgb g = smooth.Pixel(i % 40, i / 40), h = hard.Pixel(i % 40, i / 40);
        ASSERT_TRUE(g.r == g.g && g.g == g.b) << "grey levels only, no coloured fringes";
        ASSERT_TRUE(h.r == h.g && h.g == h.b && (h.r == 0 || h.r == 255)) << "16/256 colours stay hard-edged";
        const unsigned c = 255 - g.r;
        partial += c > 0 && c < 255;
        // Over opaque red: source-over of blue at alpha c, opaque everywhere.
        ASSERT_EQ(overRed[std::size_t(i)], BlendOver(red, Rgba8{0, 0, 255, std::uint8_t(c)})) << i;
        // Over transparency: the colour itself at alpha a * c / 255.
        ASSERT_EQ(overClear[std::size_t(i)], (c == 0 ? Rgba8{} : Rgba8{10, 120, 30, std::uint8_t((128 * c + 127) / 255)})) << i;
    }
    EXPECT_GT(partial, 10);
    EXPECT_EQ(UndoCaption(), "元に戻す(&U) - テキストツール");
}

TEST_F(TrueColorEditor, IcotoolListsAndExtractsTrueColourIconsAndCursorsPixelForPixel) {
    if (!std::filesystem::exists("/usr/bin/icotool") || Output("/usr/bin/python3 -c 'import PIL' 2>&1; echo $?") != "0\n")
        GTEST_SKIP() << "icotool (icoutils) or Pillow for /usr/bin/python3 is missing";
    std::vector<IconSetPage> pages(2);
    std::vector<std::string> want;   // the pages as composed, hex RGBA: a clear pixel is 00000000
    for (int i = 0; i < 2; ++i) {
        const int w = i == 0 ? 48 : 256, h = i == 0 ? 30 : 256;
        InitBlankTrueColorDocument(pages[std::size_t(i)].Doc, w, h, 1);
        pages[std::size_t(i)].Doc.LayerAt(0).Pixels = SoftPixels(w, h);
        pages[std::size_t(i)].Kind = i == 0 ? IconPageKind::TrueColor : IconPageKind::Png;
        std::string hex = std::to_string(w) + " " + std::to_string(h) + "\n";
        char px[9];
        for (const Rgba8 c : ComposeRgbaLayers(pages[std::size_t(i)].Doc.Layers(), std::size_t(w) * h))
            hex.append(px, std::snprintf(px, sizeof px, "%02x%02x%02x%02x", c.r, c.g, c.b, c.a));
        want.push_back(hex);
    }
    gui::TImageForm* f = NewDocument(0, 0);
    f->AdoptIconSet(std::move(pages), 1);
    for (const std::string name : {"set.ico", "set.cur"}) {
        const std::filesystem::path path = folder_ / name, out = folder_ / (name + "-x");
        prompt_.ExpectSaveFile(QString::fromStdString(path.string()));
        ASSERT_TRUE(gui::SaveAs1Click(*f, prompt_));
        const std::string listed = Output("/usr/bin/icotool -l '" + path.string() + "' 2>&1");
        EXPECT_NE(listed.find("--width=48 --height=30 --bit-depth=32"), std::string::npos) << listed;
        EXPECT_NE(listed.find("--width=256 --height=256 --bit-depth=32"), std::string::npos) << listed;
        std::filesystem::create_directory(out);
        ASSERT_EQ(Output("/usr/bin/icotool -x -o '" + out.string() + "' '" + path.string() + "' 2>&1; echo $?"), "0\n");
        for (int i = 0; i < 2; ++i) {
            const std::string png = out.string() + "/set_" + std::to_string(i + 1) + (i == 0 ? "_48x30x32.png" : "_256x256x32.png");
            const std::string got = Output("/usr/bin/python3 -c \"import sys; from PIL import Image; im = Image.open(sys.argv[1]).convert('RGBA'); "
                                           "print(*im.size); sys.stdout.write(im.tobytes().hex())\" '" + png + "'");
            ASSERT_EQ(got.size(), want[std::size_t(i)].size()) << name << " " << png << "\n" << got.substr(0, 200);
            const auto [a, b] = std::mismatch(got.begin(), got.end(), want[std::size_t(i)].begin());
            EXPECT_TRUE(a == got.end()) << name << " page " << i << ": first difference at hex digit " << (a - got.begin());
        }
    }
}

}  // namespace
}  // namespace pq::test
