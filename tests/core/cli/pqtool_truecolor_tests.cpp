// pqtool on truecolour documents, run as a separate process: pictures with alpha keep every
// colour and alpha value, fitting averages premultiplied values, filters and effects write what
// the core gives, operations that do not work in truecolour are refused without writing, and
// info names the depth.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "core/document/document.h"
#include "core/document/random.h"
#include "core/formats/jpeg_reader.h"
#include "core/formats/native_document.h"
#include "core/formats/png_file.h"
#include "core/ops/compositing.h"
#include "core/ops/filters.h"
#include "core/ops/pixel_effects.h"
#include "core/ops/palette_adjust.h"
#include "core/ops/resample.h"
#include "core/ops/transforms.h"
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

// A w x h picture whose alpha runs through every kind of value: 0 (with a colour of its own),
// soft and opaque, the colours varying independently.
std::vector<Rgba8> SoftAlphaPicture(int w, int h) {
    std::vector<Rgba8> px(std::size_t(w) * std::size_t(h));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int a = (x * 37 + y * 101) % 7 == 0 ? 0 : (x * 13 + y * 29) % 256;
            px[std::size_t(y * w + x)] = Rgba8{uint8_t(x * 7), uint8_t(y * 11), uint8_t((x + y) * 5), uint8_t(a)};
        }
    return px;
}

std::vector<uint8_t> Bytes(const std::vector<Rgba8>& px) {
    std::vector<uint8_t> out;
    for (const Rgba8& p : px) out.insert(out.end(), {p.r, p.g, p.b, p.a});
    return out;
}

// What a truecolour layer shows of a pixel: alpha 0 carries no colour.
std::vector<Rgba8> Shown(std::vector<Rgba8> px) {
    for (Rgba8& p : px)
        if (p.a == 0) p = Rgba8{};
    return px;
}

// A PNG written by pqtool, decoded; empty when it is not one.
std::vector<Rgba8> ReadPng(const fs::path& file, int& w, int& h) {
    std::vector<uint8_t> rgba;
    w = h = 0;
    if (!DecodePngRgba(ReadBytes(file), 4096, w, h, rgba)) return {};
    std::vector<Rgba8> px(rgba.size() / 4);
    for (std::size_t i = 0; i < px.size(); ++i) px[i] = Rgba8{rgba[4 * i], rgba[4 * i + 1], rgba[4 * i + 2], rgba[4 * i + 3]};
    return px;
}

void Put32(std::vector<uint8_t>& b, uint32_t v) {
    for (int k = 0; k < 4; ++k) b.push_back(uint8_t(v >> (8 * k)));
}

// A bottom-up 32-bit bitmap with a 40-byte header, its pixels given top row first.
std::vector<uint8_t> Bitmap32(int w, int h, const std::vector<Rgba8>& px) {
    std::vector<uint8_t> b{'B', 'M'};
    const uint32_t pixels = uint32_t(w * h * 4);
    Put32(b, 54 + pixels);
    Put32(b, 0);
    Put32(b, 54);
    Put32(b, 40);
    Put32(b, uint32_t(w));
    Put32(b, uint32_t(h));
    b.insert(b.end(), {1, 0, 32, 0});
    Put32(b, 0);
    Put32(b, pixels);
    for (int k = 0; k < 4; ++k) Put32(b, 0);
    for (int y = h - 1; y >= 0; --y)
        for (int x = 0; x < w; ++x) {
            const Rgba8& p = px[std::size_t(y * w + x)];
            b.insert(b.end(), {p.b, p.g, p.r, p.a});
        }
    return b;
}

Document TrueColorDocument(int w, int h, const std::vector<Rgba8>& px) {
    Document doc;
    InitBlankTrueColorDocument(doc, w, h, 10);
    doc.LayerAt(0).Pixels = px;
    return doc;
}

}  // namespace

// convert --colors 32bit at the picture's own size keeps every pixel and alpha value, to PNG and
// into a truecolour document alike, with or without --size naming that size.
TEST(PqtoolTrueColor, ConvertAtEqualSizeKeepsEveryPixelAndAlpha) {
    TempDir dir;
    const int w = 37, h = 23;
    const std::vector<Rgba8> px = SoftAlphaPicture(w, h);
    const fs::path in = dir / "soft.png";
    WriteBytes(in, pq::test::EncodePng(w, h, Bytes(px)));

    for (const std::vector<std::string>& size : {std::vector<std::string>{}, {"--size", "37x23"}}) {
        std::vector<std::string> args{"convert", in.string(), (dir / "out.png").string(), "--colors", "32bit"};
        args.insert(args.end(), size.begin(), size.end());
        const RunResult r = RunPqtool(args);
        ASSERT_EQ(r.Status, 0) << r.Err;
        int ow = 0, oh = 0;
        const std::vector<Rgba8> out = ReadPng(dir / "out.png", ow, oh);
        ASSERT_EQ(ow, w);
        ASSERT_EQ(oh, h);
        EXPECT_EQ(out, Shown(px));
    }

    const RunResult r = RunPqtool({"convert", in.string(), (dir / "out.pqf").string(), "--colors", "32bit"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    Document doc;
    ASSERT_TRUE(LoadDocumentFile(dir / "out.pqf", doc, 10).Ok);
    ASSERT_TRUE(doc.TrueColor);
    EXPECT_EQ(Shown(doc.LayerAt(0).Pixels), Shown(px));
}

// Fitted into another size the picture is averaged on premultiplied values, placed as FitInside
// places it, transparent around it: shrinking into a square frame and enlarging by a ratio that
// is not whole.
TEST(PqtoolTrueColor, ConvertFittedAveragesPremultipliedValues) {
    TempDir dir;
    const int w = 37, h = 23;
    const std::vector<Rgba8> px = SoftAlphaPicture(w, h);
    const fs::path in = dir / "soft.png";
    WriteBytes(in, pq::test::EncodePng(w, h, Bytes(px)));

    for (auto [fw, fh] : {std::pair{20, 20}, std::pair{50, 31}}) {
        const std::string size = std::to_string(fw) + "x" + std::to_string(fh);
        const RunResult r =
            RunPqtool({"convert", in.string(), (dir / "fit.png").string(), "--colors", "32bit", "--size", size});
        ASSERT_EQ(r.Status, 0) << r.Err;
        int ow = 0, oh = 0;
        const std::vector<Rgba8> out = ReadPng(dir / "fit.png", ow, oh);
        ASSERT_EQ(ow, fw);
        ASSERT_EQ(oh, fh);
        const Rect fit = FitInside(w, h, fw, fh);
        const std::vector<Rgba8> inner = ResampleRgba(px, w, h, fit.Width(), fit.Height());
        ASSERT_EQ(inner.size(), std::size_t(fit.Width() * fit.Height()));
        for (int y = 0; y < fh; ++y)
            for (int x = 0; x < fw; ++x) {
                const bool inside = x >= fit.left && x < fit.right && y >= fit.top && y < fit.bottom;
                const Rgba8 want =
                    inside ? inner[std::size_t((y - fit.top) * fit.Width() + (x - fit.left))] : Rgba8{};
                ASSERT_EQ(out[std::size_t(y * fw + x)], want) << size << " at " << x << "," << y;
            }
    }
}

// A 32-bit bitmap keeps its alpha bytes; one whose alpha bytes are all 0 leaves them unused and
// is opaque. A palette document becomes truecolour: painted pixels opaque, unpainted transparent.
TEST(PqtoolTrueColor, ConvertKeepsBitmapAlphaAndTurnsPaletteDocumentsIntoTrueColour) {
    TempDir dir;
    const int w = 5, h = 3;
    std::vector<Rgba8> px = SoftAlphaPicture(w, h);
    WriteBytes(dir / "alpha.bmp", Bitmap32(w, h, px));
    RunResult r = RunPqtool({"convert", (dir / "alpha.bmp").string(), (dir / "a.png").string(), "--colors", "32bit"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    int ow = 0, oh = 0;
    EXPECT_EQ(ReadPng(dir / "a.png", ow, oh), Shown(px));

    for (Rgba8& p : px) p.a = 0;
    WriteBytes(dir / "noalpha.bmp", Bitmap32(w, h, px));
    r = RunPqtool({"convert", (dir / "noalpha.bmp").string(), (dir / "n.png").string(), "--colors", "32bit"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    std::vector<Rgba8> opaque = px;
    for (Rgba8& p : opaque) p.a = 255;
    EXPECT_EQ(ReadPng(dir / "n.png", ow, oh), opaque);

    Document pal;
    InitBlankDocument(pal, 3, 2, 16, 10);
    pal.Palette[4] = PaletteEntry{30, 20, 10, 0};   // blue, green, red
    pal.LayerAt(0).Indices = {4, 4, 4, 4, 4, 4};
    pal.LayerAt(0).Mask = {1, 0, 1, 0, 1, 1};
    ASSERT_TRUE(SaveDocumentFile(pal, dir / "pal.pqf").Ok);
    r = RunPqtool({"convert", (dir / "pal.pqf").string(), (dir / "tc.pqf").string(), "--colors", "32bit"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    Document tc;
    ASSERT_TRUE(LoadDocumentFile(dir / "tc.pqf", tc, 10).Ok);
    ASSERT_TRUE(tc.TrueColor);
    const Rgba8 c{10, 20, 30, 255};
    EXPECT_EQ(tc.LayerAt(0).Pixels, (std::vector<Rgba8>{c, {}, c, {}, c, c}));

    // A JPEG (its rows come whole, not in pieces) is opaque, its colours as the JPEG reader gives them.
    const fs::path jpeg = pq::test::DataDir() / ".." / "fuzz" / "seeds" / "jpeg_reader_fuzz" / "gradient.jpg";
    Raster decoded;
    ASSERT_TRUE(DecodeJpeg(ReadBytes(jpeg), decoded).Ok);
    r = RunPqtool({"convert", jpeg.string(), (dir / "j.png").string(), "--colors", "32bit"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    const std::vector<Rgba8> jp = ReadPng(dir / "j.png", ow, oh);
    ASSERT_EQ(ow, decoded.Width());
    ASSERT_EQ(oh, decoded.Height());
    for (int y = 0; y < oh; ++y)
        for (int x = 0; x < ow; ++x) {
            const Rgb c = decoded.PixelUnchecked(x, y);
            ASSERT_EQ(jp[std::size_t(y * ow + x)], (Rgba8{c.r, c.g, c.b, 255})) << x << "," << y;
        }

    // An area belongs to the palette import: refused as usage, nothing written.
    r = RunPqtool({"convert", (dir / "alpha.bmp").string(), (dir / "area.png").string(), "--colors", "32bit", "--area",
                   "0,0,2,2"});
    EXPECT_EQ(r.Status, 2);
    EXPECT_FALSE(fs::exists(dir / "area.png"));
}

// apply opens a picture with alpha at its own size, not fitted into 16 x 16: a flip is the
// picture's exact mirror image; one wider than 256 is fitted into 256 keeping its proportions.
TEST(PqtoolTrueColor, ApplyWorksOnPicturesWithAlphaAtTheirOwnSize) {
    TempDir dir;
    const int w = 37, h = 23;
    const std::vector<Rgba8> px = SoftAlphaPicture(w, h);
    WriteBytes(dir / "soft.png", pq::test::EncodePng(w, h, Bytes(px)));
    RunResult r = RunPqtool({"apply", (dir / "soft.png").string(), (dir / "flip.png").string(), "flip-h"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    int ow = 0, oh = 0;
    const std::vector<Rgba8> out = ReadPng(dir / "flip.png", ow, oh);
    ASSERT_EQ(ow, w);
    ASSERT_EQ(oh, h);
    std::vector<Rgba8> mirrored(px.size());
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) mirrored[std::size_t(y * w + x)] = px[std::size_t(y * w + (w - 1 - x))];
    EXPECT_EQ(out, Shown(mirrored));

    // A half turn of the odd-sized bitmap is its pixels in reverse order, alpha included.
    const std::vector<Rgba8> small = SoftAlphaPicture(5, 3);
    WriteBytes(dir / "alpha.bmp", Bitmap32(5, 3, small));
    r = RunPqtool({"apply", (dir / "alpha.bmp").string(), (dir / "turn.pqf").string(), "rotate-180"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    Document turned;
    ASSERT_TRUE(LoadDocumentFile(dir / "turn.pqf", turned, 10).Ok);
    ASSERT_TRUE(turned.TrueColor);
    EXPECT_EQ(turned.ImageWidth, 5);
    EXPECT_EQ(turned.ImageHeight, 3);
    EXPECT_EQ(Shown(turned.LayerAt(0).Pixels), Shown(std::vector<Rgba8>(small.rbegin(), small.rend())));

    WriteBytes(dir / "wide.png", pq::test::EncodePng(300, 10, Bytes(SoftAlphaPicture(300, 10))));
    r = RunPqtool({"apply", (dir / "wide.png").string(), (dir / "wide.pqf").string(), "flip-v"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    Document wide;
    ASSERT_TRUE(LoadDocumentFile(dir / "wide.pqf", wide, 10).Ok);
    EXPECT_EQ(wide.ImageWidth, 256);
    EXPECT_EQ(wide.ImageHeight, 9);
}

// Operations that do not work in truecolour exit 1 naming the operation, and leave the output
// as it was: missing stays missing, an existing file keeps its bytes, even when an operation
// that works came first.
TEST(PqtoolTrueColor, ApplyRefusesOperationsThatDoNotWorkInTrueColourWritingNothing) {
    TempDir dir;
    WriteBytes(dir / "soft.png", pq::test::EncodePng(7, 5, Bytes(SoftAlphaPicture(7, 5))));
    ASSERT_TRUE(SaveDocumentFile(TrueColorDocument(7, 5, SoftAlphaPicture(7, 5)), dir / "tc.pqf").Ok);
    const std::vector<uint8_t> kept{'k', 'e', 'p', 't'};
    WriteBytes(dir / "existing.png", kept);

    struct Case {
        fs::path in, out;
        std::vector<std::string> words;
    };
    const std::vector<Case> cases{
        {dir / "soft.png", dir / "existing.png", {"flip-h", "invert", "colors:16"}},
        {dir / "tc.pqf", dir / "c.pqf", {"colors:16"}},
        {dir / "tc.pqf", dir / "b.pqf", {"colors:256"}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args{"apply", c.in.string(), c.out.string()};
        args.insert(args.end(), c.words.begin(), c.words.end());
        const bool existed = fs::exists(c.out);
        const RunResult r = RunPqtool(args);
        EXPECT_EQ(r.Status, 1) << c.words.back() << ": " << r.Err;
        EXPECT_NE(r.Err.find("'" + c.words.back() + "'"), std::string::npos) << r.Err;
        EXPECT_NE(r.Err.find("truecolour"), std::string::npos) << r.Err;
        if (existed)
            EXPECT_EQ(ReadBytes(c.out), kept);
        else
            EXPECT_FALSE(fs::exists(c.out)) << c.out;
    }
}

// composite blends two truecolour layers as the editor's 合成 does, the overlay removed; a
// floating selection is put down into its layer first.
TEST(PqtoolTrueColor, ApplyCompositesTrueColourLayers) {
    TempDir dir;
    Document doc = TrueColorDocument(7, 5, SoftAlphaPicture(7, 5));
    doc.AppendLayer();
    std::vector<Rgba8> top = SoftAlphaPicture(7, 5);
    std::reverse(top.begin(), top.end());
    doc.LayerAt(1).Pixels = top;
    ASSERT_TRUE(SaveDocumentFile(doc, dir / "two.pqf").Ok);
    Document saved;
    ASSERT_TRUE(LoadDocumentFile(dir / "two.pqf", saved, 10).Ok);

    const RunResult r = RunPqtool({"apply", (dir / "two.pqf").string(), (dir / "one.pqf").string(), "--layer", "1",
                                   "--select", "1,1,4,3", "composite:1,0,60"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    Document out;
    ASSERT_TRUE(LoadDocumentFile(dir / "one.pqf", out, 10).Ok);
    ASSERT_TRUE(out.TrueColor);
    ASSERT_EQ(out.LayerCount(), 1);
    EXPECT_EQ(Shown(out.LayerAt(0).Pixels),
              Shown(BlendRgbaPlanes(saved.LayerAt(1).Pixels, saved.LayerAt(0).Pixels, 60)));
}

// --smooth reaches rotate and resize:scale of a truecolour document (exactly the core's smooth
// results), nearest stays the default, a palette document ignores it; invert recolours pixels.
TEST(PqtoolTrueColor, ApplySmoothSamplesTrueColourOnlyAndAdjustmentsRecolour) {
    TempDir dir;
    const Document tc = TrueColorDocument(7, 5, SoftAlphaPicture(7, 5));
    Document pal;
    InitBlankDocument(pal, 7, 5, 16, 10);
    for (std::size_t p = 0; p < 35; ++p) pal.Current().Indices[p] = uint8_t(p % 16), pal.Current().Mask[p] = p % 3 != 0;
    ASSERT_TRUE(SaveDocumentFile(tc, dir / "tc.pqf").Ok && SaveDocumentFile(pal, dir / "pal.pqf").Ok);
    auto run = [&](const char* in, std::vector<std::string> words) {
        words.insert(words.begin(), {"apply", (dir / in).string(), (dir / "out.pqf").string()});
        EXPECT_EQ(RunPqtool(words).Status, 0);
        Document d;
        EXPECT_TRUE(LoadDocumentFile(dir / "out.pqf", d, 10).Ok);
        return d.Layers();
    };
    Document smooth = tc, nearest = tc;
    RotateByAngle(smooth, 30, Sampling::Smooth);
    ResizeCanvas(smooth, 16, 16, true, Sampling::Smooth);
    InvertPalette(smooth);
    RotateByAngle(nearest, 30);
    ResizeCanvas(nearest, 16, 16, true);
    EXPECT_EQ(run("tc.pqf", {"--smooth", "rotate:30", "resize:16:scale", "invert"}), smooth.Layers());
    EXPECT_EQ(Shown(run("tc.pqf", {"rotate:30", "resize:16:scale"})[0].Pixels), Shown(nearest.LayerAt(0).Pixels));
    EXPECT_EQ(run("pal.pqf", {"--smooth", "rotate:30", "resize:32:scale"}), run("pal.pqf", {"rotate:30", "resize:32:scale"}));
}

// info names a truecolour document's depth, in text and JSON; a palette document keeps its count.
TEST(PqtoolTrueColor, InfoSaysThirtyTwoBitForTrueColourDocuments) {
    TempDir dir;
    ASSERT_TRUE(SaveDocumentFile(TrueColorDocument(3, 2, SoftAlphaPicture(3, 2)), dir / "tc.pqf").Ok);
    RunResult r = RunPqtool({"info", (dir / "tc.pqf").string()});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_NE(r.Out.find("size: 3x2\ncolors: 32bit\n"), std::string::npos) << r.Out;
    r = RunPqtool({"info", "--json", (dir / "tc.pqf").string()});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_NE(r.Out.find("\"colors\": \"32bit\""), std::string::npos) << r.Out;

    Document pal;
    InitBlankDocument(pal, 3, 2, 16, 10);
    ASSERT_TRUE(SaveDocumentFile(pal, dir / "pal.pqf").Ok);
    r = RunPqtool({"info", "--json", (dir / "pal.pqf").string()});
    EXPECT_NE(r.Out.find("\"colors\": 16,"), std::string::npos) << r.Out;
}

// A filter and pixel effects on a soft-alpha picture write exactly what the core functions give
// the same pixels: the blur to PNG; noise and diffuse, with colours given by index (swatches,
// opaque) and the generator from its start, to a truecolour document.
TEST(PqtoolTrueColor, ApplyFiltersAndEffectsWriteWhatTheCoreGives) {
    TempDir dir;
    const int w = 11, h = 6;
    const std::vector<Rgba8> px = SoftAlphaPicture(w, h);
    WriteBytes(dir / "soft.png", pq::test::EncodePng(w, h, Bytes(px)));
    RunResult r = RunPqtool({"apply", (dir / "soft.png").string(), (dir / "blur.png").string(), "blur"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    Document core = TrueColorDocument(w, h, px);
    ASSERT_TRUE(ApplyFilter(core, FilterId::Blur).Record);
    int ow = 0, oh = 0;
    EXPECT_EQ(ReadPng(dir / "blur.png", ow, oh), Shown(core.LayerAt(0).Pixels));
    EXPECT_EQ(ow, w);

    r = RunPqtool({"apply", (dir / "soft.png").string(), (dir / "fx.pqf").string(), "--draw-color", "12", "--aux-color",
                   "10", "noise", "diffuse"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    core = TrueColorDocument(w, h, px);
    core.DrawRgba = Rgba8{0, 255, 0, 255};   // swatches 12 and 10 of the default palette
    core.AuxRgba = Rgba8{255, 0, 0, 255};
    Lcg rng;
    Noise(core, rng);
    Diffuse(core, rng);
    Document written;
    ASSERT_TRUE(LoadDocumentFile(dir / "fx.pqf", written, 10).Ok);
    EXPECT_EQ(Shown(written.LayerAt(0).Pixels), Shown(core.LayerAt(0).Pixels));
}
