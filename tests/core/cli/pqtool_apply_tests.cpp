// pqtool apply run as a separate process: each family of operations gives the very file the
// core commands give when run the same way, repeat runs are byte-identical, and wrong usage
// exits 2 without writing anything.
#include <gtest/gtest.h>


#include <functional>
#include <string>
#include <vector>

#include "core/document/random.h"
#include "core/document/selection.h"
#include "core/formats/bitmap_file.h"
#include "core/formats/native_document.h"
#include "core/ops/compositing.h"
#include "core/ops/filters.h"
#include "core/ops/palette_adjust.h"
#include "core/ops/pixel_effects.h"
#include "core/ops/transforms.h"
#include "support/run_pqtool.h"
#include "support/test_paths.h"

namespace fs = std::filesystem;
using namespace pq;
using pq::test::PqtoolPath;
using pq::test::RunResult;
using pq::test::ReadBytes;
using pq::test::TempDir;

namespace {


// 9 x 7, three layers of varied pixels with holes, the middle one hidden, palette entries
// distinct; layer 2 paints a diagonal only.
Document MakeInput(int colors) {
    Document doc;
    InitBlankDocument(doc, 9, 7, colors, 10);
    for (int i = 0; i < 256; ++i) doc.Palette[std::size_t(i)] = PaletteEntry{uint8_t(i * 5), uint8_t(250 - i), uint8_t(i * 11), 0};
    doc.AppendLayer();
    doc.AppendLayer();
    doc.LayerAt(1).Visible = 0;
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 9; ++x) {
            const std::size_t p = std::size_t(x + 9 * y);
            doc.LayerAt(0).Indices[p] = uint8_t((x * 3 + y * 5) % colors);
            doc.LayerAt(0).Mask[p] = uint8_t((x + y) % 4 != 0);
            doc.LayerAt(1).Indices[p] = uint8_t((x + 1) % colors);
            doc.LayerAt(1).Mask[p] = uint8_t(y < 3);
            doc.LayerAt(2).Indices[p] = uint8_t(colors - 1 - x);
            doc.LayerAt(2).Mask[p] = uint8_t(x == y);
        }
    doc.SetCurrentLayer(0);
    return doc;
}

void Select(Document& d, int l, int t, int r, int b) {
    SetSelection(d, l, t, r, b);
    d.HasSelection = true;
    LiftSelection(d);
}

}  // namespace

// One case per family: the tool's output must be byte for byte the file the core commands give
// on the document as opened (bottom layer current, colours 0 and 8, generator from its start),
// with the same options applied, the selection released where the editor releases it, and put
// down before writing.
TEST(PqtoolApply, EachFamilyWritesWhatTheCoreCommandsGiveAndRepeatsExactly) {
    TempDir dir;
    const fs::path in16 = dir / "in16.pqf", in256 = dir / "in256.pqf";
    ASSERT_TRUE(SaveDocumentFile(MakeInput(16), in16).Ok);
    ASSERT_TRUE(SaveDocumentFile(MakeInput(256), in256).Ok);

    struct Case {
        std::string what;
        fs::path in;
        std::vector<std::string> args;
        std::function<void(Document&, Lcg&)> expected;
        std::string ext = ".pqf";
    };
    const std::vector<Case> cases = {
        {"transforms in a selection", in16, {"--select", "7,6,1,1", "rotate-90", "flip-v", "rotate:30"},
         [](Document& d, Lcg&) {
             Select(d, 1, 1, 7, 6);
             QuarterTurn(d, true);
             FlipVertical(d);
             RotateByAngle(d, 30);
         }},
        {"resize", in16, {"resize:32:scale", "resize:16"},
         [](Document& d, Lcg&) {
             ResizeCanvas(d, 32, 32, true);
             ResizeCanvas(d, 16, 16, false);
         }},
        {"filters release the selection first", in256, {"--layer", "2", "--select", "0,0,4,4", "blur", "edges"},
         [](Document& d, Lcg&) {
             d.SetCurrentLayer(2);
             Select(d, 0, 0, 4, 4);
             Deselect(d);
             ApplyFilter(d, FilterId::Blur);
             ApplyFilter(d, FilterId::EdgeDetect);
         }},
        {"pixel effects with the generator from its start", in16,
         {"--draw-color", "3", "--aux-color", "12", "diffuse", "noise", "shadow:-2,1", "scroll:3,0", "erase-color"},
         [](Document& d, Lcg& rng) {
             d.DrawColor = 3;
             d.AuxColor = 12;
             Diffuse(d, rng);
             Noise(d, rng);
             Shadow(d, -2, 1);
             ScrollImage(d, 3, 0);
             EraseDrawColor(d);
         }},
        {"palette adjustments", in16, {"invert", "brightness:-20", "rgb:5,-6,255", "grayscale", "solarize"},
         [](Document& d, Lcg&) {
             InvertPalette(d);
             AdjustBrightness(d, -20);
             AdjustRgb(d, {5, -6, 255});
             GrayscalePalette(d);
             SolarizePalette(d);
         }},
        {"colour count, written as a bitmap", in256, {"--select", "2,2,6,6", "colors:256", "colors:16", "colors:16"},
         [](Document& d, Lcg&) {
             Select(d, 2, 2, 6, 6);
             Deselect(d);
             ChangeColorCount(d, 16);
         },
         ".bmp"},
        {"compositing", in16, {"--layer", "1", "--select", "1,1,3,3", "composite:2,0,40"},
         [](Document& d, Lcg&) {
             d.SetCurrentLayer(1);
             Select(d, 1, 1, 3, 3);
             Deselect(d);
             CompositeLayers(d, 2, 0, 40);
         }},
    };
    for (const Case& c : cases) {
        Document expected;
        ASSERT_TRUE(LoadDocumentFile(c.in, expected, 10).Ok);
        Lcg rng;
        c.expected(expected, rng);
        if (expected.HasSelection) Deselect(expected);
        const fs::path want = dir / ("want" + c.ext), out = dir / ("out" + c.ext), again = dir / ("again" + c.ext);
        ASSERT_TRUE((c.ext == ".pqf" ? SaveDocumentFile(expected, want) : SaveBitmapFile(expected, want)).Ok);

        std::vector<std::string> args{"apply", c.in.string(), out.string()};
        args.insert(args.end(), c.args.begin(), c.args.end());
        RunResult r = test::RunPqtool(args);
        ASSERT_EQ(r.Status, 0) << c.what << "\n" << r.Err;
        EXPECT_TRUE(r.Out.empty() && r.Err.empty()) << c.what;
        EXPECT_EQ(ReadBytes(out), ReadBytes(want)) << c.what;
        args[2] = again.string();
        ASSERT_EQ(test::RunPqtool(args).Status, 0) << c.what;
        EXPECT_EQ(ReadBytes(again), ReadBytes(out)) << c.what << ": a second run differs";
    }
}

TEST(PqtoolApply, WrongUsageExitsTwoWithOneReasonAndWritesNothing) {
    TempDir dir;
    const fs::path in = dir / "in.pqf";
    ASSERT_TRUE(SaveDocumentFile(MakeInput(16), in).Ok);
    const fs::path out = dir / "out.pqf";
    struct Case {
        std::vector<std::string> words;
        std::string errPart;
    };
    const std::vector<Case> cases = {
        {{}, "missing OPERATION"},
        {{"flip-h", "twirl"}, "unknown operation 'twirl'"},
        {{"rotate:1000"}, "out of range"},
        {{"rotate"}, "needs its argument"},
        {{"flip-h:1"}, "takes no argument"},
        {{"resize:20"}, "out of range (S 16, 32 or 48)"},
        {{"resize:32:big"}, "not a whole number"},
        {{"scroll:-1,0"}, "out of range (DX,DY 0..32)"},
        {{"scroll:33,0"}, "out of range"},
        {{"shadow:0,11"}, "out of range (DX,DY -10..10)"},
        {{"shadow:1"}, "needs 2 numbers"},
        {{"brightness:256"}, "out of range (D -255..255)"},
        {{"brightness:+5"}, "not a whole number"},
        {{"rgb:1,2"}, "needs 3 numbers"},
        {{"rgb:1,,2"}, "not a whole number"},
        {{"rgb:0,-256,0"}, "out of range"},
        {{"colors:32"}, "out of range (N 16 or 256)"},
        {{"composite:1,1,50"}, "different layers"},
        {{"composite:0,1,101"}, "out of range"},
        {{"composite:0,3,50"}, "layer 3 does not exist"},
        {{"composite:0,1,50", "composite:0,1,50", "composite:0,1,50"}, "needs two layers"},
        {{"--layer", "3", "invert"}, "layer 3 does not exist"},
        {{"--draw-color", "16", "unify"}, "--draw-color 16 is not below"},
        {{"--aux-color", "-1", "noise"}, "--aux-color"},
        {{"--select", "9,0,20,7", "flip-h"}, "leaves nothing on the 9x7 canvas"},
        {{"--select", "1,1,1,5", "flip-h"}, "leaves nothing"},
        {{"--select", "1,1,5", "flip-h"}, "needs 4 numbers"},
        {{"--index", "1", "flip-h"}, "applies to .ico and .cur"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args{"apply", in.string(), out.string()};
        args.insert(args.end(), c.words.begin(), c.words.end());
        const RunResult r = test::RunPqtool(args);
        std::string joined;
        for (const std::string& w : c.words) joined += w + " ";
        EXPECT_EQ(r.Status, 2) << joined;
        EXPECT_EQ(r.Err.rfind("pqtool apply: ", 0), 0u) << joined << "\n" << r.Err;
        EXPECT_NE(r.Err.substr(0, r.Err.find('\n')).find(c.errPart), std::string::npos) << joined << "\n" << r.Err;
        EXPECT_FALSE(fs::exists(out)) << joined;
    }
}

TEST(PqtoolApply, HelpListsEveryWordWithItsRange) {
    const RunResult r = test::RunPqtool({"apply", "--help"});
    ASSERT_EQ(r.Status, 0);
    for (const char* line :
         {"  flip-h ", "  flip-v ", "  rotate-90 ", "  rotate-180 ", "  rotate-270 ", "  rotate:A ", "(A 0..999",
          "  resize:S[:scale] ", "(S 16, 32 or 48", "  blur ", "  blur-strong ", "  motion-h ", "  motion-v ",
          "  sharpen ", "  sharpen-strong ", "  relief ", "  emboss ", "  contrast-up ", "  contrast-down ", "  edges ",
          "  diffuse ", "  unify ", "  noise ", "  color-noise ", "  swap-h ", "  swap-v ", "  scroll:DX,DY ",
          "(DX,DY 0..32)", "  shadow:DX,DY ", "(DX,DY -10..10)", "  replace-color ", "  erase-color ", "  invert ",
          "  solarize ", "  grayscale ", "  brightness:D ", "(D -255..255)", "  rgb:R,G,B ", "(R,G,B -255..255)",
          "  colors:N ", "(N 16 or 256", "  composite:BASE,OVER,OPACITY", "OPACITY 0..100"})
        EXPECT_NE(r.Out.find(line), std::string::npos) << line;
}
