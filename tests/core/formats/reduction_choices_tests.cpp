// The reduction choices at the places the editor reduces colours: the default choices give
// exactly the plain median cut, other choices reach the reduction.
#include <gtest/gtest.h>

#include <vector>

#include "core/document/clipboard_pictures.h"
#include "core/document/color_reduction.h"
#include "core/document/quality_reduction.h"
#include "core/formats/icon_images.h"
#include "core/formats/picture_import.h"
#include "core/formats/program_icons.h"
#include "core/ops/palette_adjust.h"
#include "core/ops/resample.h"

namespace pq {
namespace {

void ExpectSame(const Document& a, const Document& b, const char* where) {
    SCOPED_TRACE(where);
    ASSERT_EQ(a.ImageWidth, b.ImageWidth);
    ASSERT_EQ(a.ImageHeight, b.ImageHeight);
    EXPECT_EQ(a.ColorCount, b.ColorCount);
    EXPECT_EQ(a.Palette, b.Palette);
    EXPECT_EQ(a.DrawColor, b.DrawColor);
    EXPECT_EQ(a.AuxColor, b.AuxColor);
    ASSERT_EQ(a.LayerCount(), b.LayerCount());
    for (int i = 0; i < a.LayerCount(); ++i) {
        EXPECT_EQ(a.LayerAt(i).Indices, b.LayerAt(i).Indices) << "layer " << i;
        EXPECT_EQ(a.LayerAt(i).Mask, b.LayerAt(i).Mask) << "layer " << i;
    }
}

// w x h, every pixel a colour of its own (more than 256 once w * h is).
Raster Gradient(int w, int h) {
    Raster r(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) r.SetPixelUnchecked(x, y, Rgb{uint8_t(x * 7), uint8_t(y * 23), uint8_t((x * y) % 251)});
    return r;
}

// A 256-colour document of w x h with two partly painted layers over many palette colours.
Document TwoLayers(int w, int h) {
    Document d;
    InitBlankDocument(d, w, h, 256, 10);
    for (int i = 0; i < 256; ++i) d.Palette[std::size_t(i)] = MakeEntry(Rgb{uint8_t(i), uint8_t(255 - i), uint8_t(i * 5)});
    d.AppendLayer();
    for (int l = 0; l < 2; ++l)
        for (std::size_t p = 0; p < d.LayerAt(l).Mask.size(); ++p)
            if ((p + std::size_t(l)) % 3 != 0) d.LayerAt(l).Mask[p] = 1, d.LayerAt(l).Indices[p] = uint8_t(p * 7 + std::size_t(l));
    return d;
}

TEST(ReductionChoices, DefaultChoicesGiveThePlainMedianCutAtEveryCallSite) {
    const ReductionOptions defaults;
    const int w = 37, h = 11;   // 407 colours
    const Raster picture = Gradient(w, h);
    Plane unpainted(std::size_t(w) * h, 0);
    for (std::size_t p = 0; p < unpainted.size(); p += 5) unpainted[p] = 1;

    for (const Plane* clear : {static_cast<const Plane*>(nullptr), static_cast<const Plane*>(&unpainted)}) {
        Document got, plain;
        ImportPictureDocument(got, picture, 16, 10, clear, defaults);
        InitBlankDocument(plain, w, h, 16, 10);
        if (clear) {
            Plane painted(unpainted.size());
            for (std::size_t p = 0; p < painted.size(); ++p) painted[p] = unpainted[p] == 0;
            ReducePaintedPicture(plain, 16, 0, picture, painted);
        } else {
            ReduceColors(plain, 16, 0, &picture);
        }
        plain.DrawColor = 0, plain.AuxColor = 8;
        ExpectSame(got, plain, clear ? "import with transparent pixels" : "import");
    }

    Document pasted = TwoLayers(w, h), plainPaste = pasted;
    PastePicture(pasted, picture, true, defaults);
    plainPaste.AppendLayer();
    ReduceColors(plainPaste, 256, plainPaste.CurrentLayer(), &picture);
    plainPaste.DrawColor = 0, plainPaste.AuxColor = 8;
    ExpectSame(pasted, plainPaste, "paste optimised");

    RgbaImage rgba{w, h, {}};
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const Rgb c = picture.PixelUnchecked(x, y);
            rgba.Pixels.insert(rgba.Pixels.end(), {c.r, c.g, c.b, uint8_t((x * 29 + y * 3) % 256)});
        }
    Document opened, plainOpened;
    DocumentFromRgba(opened, rgba, 10, 0, defaults);
    InitBlankDocument(plainOpened, w, h, 256, 10);
    Plane painted(std::size_t(w) * h);
    for (std::size_t p = 0; p < painted.size(); ++p) painted[p] = rgba.Pixels[4 * p + 3] >= 128;
    ReducePaintedPicture(plainOpened, 256, 0, picture, painted);
    ExpectSame(opened, plainOpened, "true-colour icon entry");

    const Document layered = TwoLayers(w, h);
    const Document page = ResampledDocument(layered, 13, 5, 16, 10, defaults);
    const ResampledPicture small = ResamplePicture(layered, 13, 5);
    Document plainPage;
    InitBlankDocument(plainPage, 13, 5, 16, 10);
    ReducePaintedPicture(plainPage, 16, 0, small.Colors, small.Painted);
    ExpectSame(page, plainPage, "new page size");

    Document sixteen = TwoLayers(w, h), plainSixteen = sixteen;
    ChangeColorCount(sixteen, 16, defaults);
    ReduceColors(plainSixteen, 16, 0, nullptr);
    plainSixteen.ColorCount = 16, plainSixteen.DrawColor = 0, plainSixteen.AuxColor = 8;
    ExpectSame(sixteen, plainSixteen, "256 to 16 colours");

    // A program's 32 x 32 icon, here from a smaller picture padded with white.
    const IconPicture icon{Gradient(21, 13), Raster(21, 13)};
    Document fromProgram, plainProgram;
    IconFromPictures(fromProgram, icon, 10, defaults);
    InitBlankDocument(plainProgram, 32, 32, 256, 10);
    ReduceColors(plainProgram, 256, 0, &icon.Color);   // white beyond the picture, as the padding
    plainProgram.LayerAt(0).Mask = fromProgram.LayerAt(0).Mask;
    ExpectSame(fromProgram, plainProgram, "program-file icon");
}

TEST(ReductionChoices, QualityAndDitherReachPictureImport) {
    const int w = 19, h = 7;
    const Raster picture = Gradient(w, h);
    Document plain;
    ImportPictureDocument(plain, picture, 16, 10);
    for (const ReductionOptions o : {ReductionOptions{Quantizer::Quality, Dither::None},
                                     ReductionOptions{Quantizer::MedianCut, Dither::Diffusion},
                                     ReductionOptions{Quantizer::Quality, Dither::Ordered}}) {
        Document got, direct;
        ImportPictureDocument(got, picture, 16, 10, nullptr, o);
        InitBlankDocument(direct, w, h, 16, 10);
        ReduceColors(direct, 16, 0, &picture, o);
        direct.DrawColor = 0, direct.AuxColor = 8;
        ExpectSame(got, direct, "import with choices");
        EXPECT_TRUE(got.Palette != plain.Palette || got.LayerAt(0).Indices != plain.LayerAt(0).Indices);
    }
}

TEST(ReductionChoices, SixteenColoursDitherEachLayerFromItsOldColours) {
    const Document before = TwoLayers(23, 9);
    const ReductionOptions diffusion{Quantizer::MedianCut, Dither::Diffusion};
    Document plain = before, dithered = before;
    ChangeColorCount(plain, 16);
    ChangeColorCount(dithered, 16, diffusion);
    // The dither changes which entries the pixels take, not the entries.
    EXPECT_EQ(dithered.Palette, plain.Palette);
    int differing = 0;
    for (int l = 0; l < 2; ++l) {
        const Layer& old = before.LayerAt(l);
        Raster colors(23, 9);
        for (int y = 0; y < 9; ++y)
            for (int x = 0; x < 23; ++x) colors.SetPixelUnchecked(x, y, before.ColorOf(old.Indices[std::size_t(y * 23 + x)]));
        const std::vector<uint8_t> want = MapToPalette(colors, &old.Mask, dithered.Palette.data(), 16, Dither::Diffusion);
        const Layer& got = dithered.LayerAt(l);
        EXPECT_EQ(got.Mask, old.Mask);
        for (std::size_t p = 0; p < old.Mask.size(); ++p) {
            // Unpainted pixels keep their index; painted ones take the dithered entry.
            EXPECT_EQ(got.Indices[p], old.Mask[p] ? want[p] : old.Indices[p]) << "layer " << l << " pixel " << p;
            differing += got.Indices[p] != plain.LayerAt(l).Indices[p];
        }
    }
    EXPECT_GT(differing, 0);

    // Colours the new palette holds exactly pass on no error: 12 colours come out undithered.
    Document few = TwoLayers(23, 9);
    for (int l = 0; l < 2; ++l)
        for (uint8_t& i : few.LayerAt(l).Indices) i %= 12;
    Document fewPlain = few;
    ChangeColorCount(fewPlain, 16);
    ChangeColorCount(few, 16, ReductionOptions{Quantizer::MedianCut, Dither::Ordered});
    ExpectSame(few, fewPlain, "twelve colours");
}

}  // namespace
}  // namespace pq
