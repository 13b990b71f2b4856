// Truecolour documents made from pictures and for new icon sets: the area picker's フルカラー
// import keeping alpha, and a new truecolour icon set's pages.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QRadioButton>
#include <gtest/gtest.h>

#include "core/formats/icon_set.h"
#include "core/formats/picture_import.h"
#include "core/formats/png_file.h"
#include "core/ops/resample.h"
#include "gui/app/main_form.h"
#include "gui/document/icon_menu.h"
#include "gui/document/image_form.h"
#include "gui/document/page_dialogs.h"
#include "gui/formats/area_picker.h"
#include "gui/formats/file_commands.h"
#include "support/editor_fixture.h"
#include "support/formats_files.h"

namespace pq::test {
namespace {

constexpr int kFullColorItem = 2;

// A picture with soft alpha everywhere: every pixel differs in colour and alpha, some fully clear.
std::vector<Rgba8> SoftPicture(int w, int h) {
    std::vector<Rgba8> p(std::size_t(w) * std::size_t(h));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            p[std::size_t(y) * w + x] = Rgba8{std::uint8_t(x * 11), std::uint8_t(y * 13), std::uint8_t(x * y),
                                             std::uint8_t((x + 3 * y) % 5 == 0 ? 0 : 40 + (x * 7 + y * 5) % 216)};
    return p;
}

std::vector<std::uint8_t> PngOf(const std::vector<Rgba8>& p, int w, int h) {
    std::vector<std::uint8_t> rgba;
    for (const Rgba8& c : p) rgba.insert(rgba.end(), {c.r, c.g, c.b, c.a});
    return EncodeRgbaPng(w, h, rgba);
}

// A 32-bit bottom-up bitmap (40-byte header, no compression) of straight RGBA pixels.
std::vector<std::uint8_t> Bitmap32Of(const std::vector<Rgba8>& p, int w, int h) {
    std::vector<std::uint8_t> b(54 + std::size_t(4) * w * h, 0);
    const auto put32 = [&b](std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) b[at + i] = std::uint8_t(v >> (8 * i));
    };
    b[0] = 'B';
    b[1] = 'M';
    put32(2, std::uint32_t(b.size()));
    put32(10, 54);
    put32(14, 40);
    put32(18, std::uint32_t(w));
    put32(22, std::uint32_t(h));
    b[26] = 1;
    b[28] = 32;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const Rgba8 c = p[std::size_t(h - 1 - y) * w + x];
            const std::size_t at = 54 + (std::size_t(y) * w + x) * 4;
            b[at] = c.b;
            b[at + 1] = c.g;
            b[at + 2] = c.r;
            b[at + 3] = c.a;
        }
    return b;
}

class TrueColorSources : public EditorTest {
protected:
    QString PathOf(const std::string& name) const { return QString::fromStdString((folder_ / name).string()); }
    gui::ReadRequest Request() { return gui::ReadRequest{10, &prompt_, frame_.get()}; }
};

TEST_F(TrueColorSources, AreaTakenAtItsOwnSizeKeepsEveryPixelAndAlpha) {
    const int w = 23, h = 19;
    const std::vector<Rgba8> picture = SoftPicture(w, h);
    WriteBytes(folder_ / "soft.png", PngOf(picture, w, h));

    Rect frame;
    prompt_.ExpectDialog("TfrmSelectOpenArea", [&frame](QDialog& d) {
        auto& picker = static_cast<gui::TfrmSelectOpenArea&>(d);
        EXPECT_TRUE(picker.TrueColorOffered());
        picker.SetColorItem(kFullColorItem);
        picker.Image1MouseDown(12, 9);
        picker.Image1MouseUp(12, 9);
        frame = picker.Picker().FrameRect();
        return true;
    });
    Document doc;
    ASSERT_TRUE(gui::ReadFormatFile(PathOf("soft.png"), gui::DocumentFileKind::Png, doc, Request()).Ok);
    ASSERT_TRUE(doc.TrueColor);
    ASSERT_EQ(doc.ImageWidth, 16);
    ASSERT_EQ(doc.ImageHeight, 16);
    ASSERT_EQ(frame.Width(), 16);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            const int sx = frame.left + x, sy = frame.top + y;
            const bool on = sx >= 0 && sy >= 0 && sx < w && sy < h;
            const Rgba8 want = on ? picture[std::size_t(sy) * w + sx] : Rgba8{0, 0, 0, 0};
            ASSERT_EQ(doc.LayerAt(0).Pixels[std::size_t(y) * 16 + x], want) << x << "," << y;
        }
    EXPECT_TRUE(prompt_.Done());
}

TEST_F(TrueColorSources, WholeNonSquarePictureIsFittedByPremultipliedAveraging) {
    const int w = 37, h = 21;
    const std::vector<Rgba8> picture = SoftPicture(w, h);
    WriteBytes(folder_ / "wide.png", PngOf(picture, w, h));

    prompt_.ExpectDialog("TfrmSelectOpenArea", [](QDialog& d) {
        auto& picker = static_cast<gui::TfrmSelectOpenArea&>(d);
        picker.rgSizeClick(1);
        picker.SetColorItem(kFullColorItem);
        picker.Button3Click();
        return true;
    });
    Document doc;
    ASSERT_TRUE(gui::ReadFormatFile(PathOf("wide.png"), gui::DocumentFileKind::Png, doc, Request()).Ok);
    const Document direct = FittedTrueColorDocument(picture, w, h, 32, 32, 10);
    ASSERT_TRUE(direct.Ready);
    ASSERT_TRUE(doc.TrueColor);
    EXPECT_EQ(doc.ImageWidth, 32);
    EXPECT_EQ(doc.ImageHeight, 32);
    EXPECT_EQ(doc.LayerAt(0).Pixels, direct.LayerAt(0).Pixels);
}

TEST_F(TrueColorSources, Bitmap32KeepsItsAlphaAndWhatLiesOffThePictureIsTransparent) {
    const int w = 9, h = 7;   // smaller than the 16 x 16 frame
    const std::vector<Rgba8> picture = SoftPicture(w, h);
    WriteBytes(folder_ / "soft.bmp", Bitmap32Of(picture, w, h));
    prompt_.ExpectDialog("TfrmSelectOpenArea", [](QDialog& d) {
        auto& picker = static_cast<gui::TfrmSelectOpenArea&>(d);
        EXPECT_TRUE(picker.TrueColorOffered());
        picker.SetColorItem(kFullColorItem);
        return true;   // the first frame: the picture's top-left corner at 1:1
    });
    Document doc;
    ASSERT_TRUE(gui::ReadFormatFile(PathOf("soft.bmp"), gui::DocumentFileKind::Bitmap, doc, Request()).Ok);
    ASSERT_TRUE(doc.TrueColor);
    ASSERT_EQ(doc.ImageWidth, 16);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            const Rgba8 want = x < w && y < h ? picture[std::size_t(y) * w + x] : Rgba8{0, 0, 0, 0};
            ASSERT_EQ(doc.LayerAt(0).Pixels[std::size_t(y) * 16 + x], want) << x << "," << y;
        }
}

TEST_F(TrueColorSources, PictureWithoutAlphaIsNotOfferedFullColour) {
    Raster picture(9, 7);
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 9; ++x) picture.SetPixelUnchecked(x, y, Rgb{std::uint8_t(x * 20), 50, std::uint8_t(y * 30)});
    WriteBytes(folder_ / "plain.bmp", BitmapBytes(picture));
    prompt_.ExpectDialog("TfrmSelectOpenArea", [](QDialog& d) {
        auto& picker = static_cast<gui::TfrmSelectOpenArea&>(d);
        EXPECT_FALSE(picker.TrueColorOffered());
        picker.SetColorItem(kFullColorItem);   // not there: the choice stays a palette one
        EXPECT_FALSE(picker.TrueColorChosen());
        return true;
    });
    Document doc;
    ASSERT_TRUE(gui::ReadFormatFile(PathOf("plain.bmp"), gui::DocumentFileKind::Bitmap, doc, Request()).Ok);
    EXPECT_FALSE(doc.TrueColor);
    EXPECT_EQ(doc.ColorCount, 16);
}

TEST_F(TrueColorSources, NewFullColourIconSetHasTruecolourPagesSavedWithAlpha) {
    prompt_.ExpectDialog("TfrmNewIconSet", [](QDialog& d) {
        auto& dialog = static_cast<gui::TfrmPageSizes&>(d);
        for (int side : {16, 24, 48}) dialog.SizeBox(side)->setChecked(false);
        dialog.SizeBox(20)->setChecked(true);   // 20, 32 and 256 remain
        dialog.ChooseColors(32);
        EXPECT_TRUE(dialog.TrueColorChosen());
        return true;
    });
    gui::NewIconSetCommand().RunOnFrame(*frame_);
    gui::TImageForm* form = Active();
    ASSERT_NE(form, nullptr);
    ASSERT_EQ(form->PageCount(), 3);
    const IconPageKind kinds[3] = {IconPageKind::TrueColor, IconPageKind::TrueColor, IconPageKind::Png};
    std::vector<std::vector<Rgba8>> painted;
    for (int i = 0; i < 3; ++i) {
        Document& page = form->PageDoc(i);
        ASSERT_TRUE(page.TrueColor) << i;
        EXPECT_EQ(form->PageAt(i).Kind, kinds[i]) << i;
        const int side = page.ImageWidth;
        // Soft alpha over the page; colour 0 where alpha is 0, as a transparent pixel is kept.
        std::vector<Rgba8> p = SoftPicture(side, side);
        for (Rgba8& c : p)
            if (c.a == 0) c = Rgba8{0, 0, 0, 0};
        page.LayerAt(0).Pixels = p;
        page.Modified = true;
        painted.push_back(std::move(p));
    }

    prompt_.ExpectSaveFile(PathOf("set.ico"));
    form->MenuAction("SaveAs1")->trigger();
    std::vector<IconSetPage> back;
    int type = 0;
    ASSERT_TRUE(LoadIconSetFile(folder_ / "set.ico", 10, back, type).Ok);
    ASSERT_EQ(back.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(back[std::size_t(i)].Doc.TrueColor) << i;
        EXPECT_EQ(back[std::size_t(i)].Kind, kinds[i]) << i;
        EXPECT_EQ(back[std::size_t(i)].Doc.LayerAt(0).Pixels, painted[std::size_t(i)]) << i;
    }
    EXPECT_TRUE(prompt_.Done());
}

TEST_F(TrueColorSources, Bitmap32WithAlphaIsShownAndImportedLikeTheSamePngDecodedOnce) {
    const int w = 21, h = 13;
    const std::vector<Rgba8> soft = SoftPicture(w, h);
    WriteBytes(folder_ / "soft.bmp", Bitmap32Of(soft, w, h));
    WriteBytes(folder_ / "soft.png", PngOf(soft, w, h));
    // The one decode gives the picture LoadPicture shows and every stored pixel.
    Raster shown, again;
    Plane clear, clearAgain;
    std::vector<Rgba8> pixels;
    ASSERT_TRUE(LoadPngPictureRgba(folder_ / "soft.png", shown, clear, pixels).Ok);
    ASSERT_TRUE(LoadPicture(folder_ / "soft.png", PictureKind::Png, again, &clearAgain).Ok);
    EXPECT_TRUE(shown == again && clear == clearAgain && pixels == soft);

    std::vector<std::pair<Raster, Plane>> previews;
    std::vector<Document> docs(2);
    for (const auto& [name, kind] : {std::pair{"soft.bmp", gui::DocumentFileKind::Bitmap}, std::pair{"soft.png", gui::DocumentFileKind::Png}}) {
        prompt_.ExpectDialog("TfrmSelectOpenArea", [&previews](QDialog& d) {
            auto& picker = static_cast<gui::TfrmSelectOpenArea&>(d);
            picker.Image1MouseDown(2, 1);
            picker.Image1MouseMove(20, 12);
            picker.Image1MouseUp(20, 12);
            previews.emplace_back(picker.Preview(), picker.Picker().PreviewUnpainted());
            return true;   // 16色
        });
        ASSERT_TRUE(gui::ReadFormatFile(PathOf(name), kind, docs[previews.size()], Request()).Ok);
    }
    ASSERT_EQ(previews.size(), 2u);
    EXPECT_EQ(previews[0].first, previews[1].first);
    EXPECT_EQ(previews[0].second, previews[1].second);
    EXPECT_EQ(docs[0].LayerAt(0).Mask, docs[1].LayerAt(0).Mask);
    EXPECT_NE(std::count(docs[0].LayerAt(0).Mask.begin(), docs[0].LayerAt(0).Mask.end(), 0), 0);
}

TEST_F(TrueColorSources, AddPageOfATrueColourPageMakesTruecolourPagesByDefault) {
    gui::TImageForm* form = NewDocument(1, kFullColorItem);
    const std::vector<Rgba8> soft = SoftPicture(32, 32);
    form->Doc().Current().Pixels = soft;
    auto add = [&](const char* size, const char* colors) {
        prompt_.ExpectDialog("TfrmAddPage", [=](QDialog& d) {
            auto& dialog = static_cast<gui::TfrmAddPage&>(d);
            EXPECT_TRUE(dialog.TrueColorChosen()) << "a truecolour page opens on フルカラー";
            dialog.SizeBox()->setCurrentText(size);
            for (QRadioButton* r : dialog.findChildren<QRadioButton*>())
                if (r->text() == colors) r->setChecked(true);
            return true;
        });
        form->SelectPage(0);
        form->MenuAction("miAddPage")->trigger();
        return &form->Doc();
    };
    const Document* page = add("20", "フルカラー");
    EXPECT_EQ(page->LayerAt(0).Pixels, ResampleRgba(soft, 32, 32, 20, 20));
    EXPECT_EQ(form->PageAt(form->CurrentPage()).Kind, IconPageKind::TrueColor);
    add("256", "フルカラー");
    EXPECT_EQ(form->PageAt(form->CurrentPage()).Kind, IconPageKind::Png);
    page = add("16", "256色");
    EXPECT_TRUE(!page->TrueColor && page->ColorCount == 256);
    EXPECT_EQ(form->PageCount(), 4);
    EXPECT_TRUE(prompt_.Done());
}

}  // namespace
}  // namespace pq::test
