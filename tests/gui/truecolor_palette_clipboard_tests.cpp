// Truecolour documents in the colour palette window (colours with alpha, swatches) and on the
// clipboard (pictures with alpha as image/png in both directions).
#include <QApplication>
#include <QBuffer>
#include <QCheckBox>
#include <QClipboard>
#include <QLabel>
#include <QMimeData>
#include <QScrollBar>
#include <QTest>

#include "core/document/selection.h"
#include "core/ops/resample.h"
#include "gui/app/main_form.h"
#include "gui/document/clipboard_bridge.h"
#include "gui/document/clipboard_commands.h"
#include "gui/document/image_form.h"
#include "gui/formats/area_picker.h"
#include "gui/palettes/color_palette.h"
#include "support/editor_fixture.h"

using namespace pq::gui;
using pq::test::EditorTest;

namespace {

class TrueColor : public EditorTest {
protected:
    TfrmColorPalette* Window() const { return frame_->ColorPalette(); }
    // A window of the New dialog turned into a blank truecolour document of w x h.
    TImageForm* TrueColorDoc(int w, int h) {
        TImageForm* f = NewDocument(0, 0);
        pq::InitBlankTrueColorDocument(f->Doc(), w, h, 1);
        f->RecordStep(" ");  // the base step, as a window opened on the document has
        f->Redraw();
        Window()->RefreshColorPalette();
        return f;
    }
    void ClickPalette(int x, int y, Qt::MouseButton button = Qt::LeftButton) {
        QTest::mouseClick(Window()->PaletteWidget(), button, Qt::NoModifier, QPoint(x, y));
    }
    QLabel* Swatch(const char* name) const { return Window()->findChild<QLabel*>(name); }
};

TEST_F(TrueColor, ChoosingASwatchSetsTheOpaqueColourAndChangesNoPixel) {
    TImageForm* f = TrueColorDoc(5, 3);
    pq::Document& d = f->Doc();
    d.Palette[20] = pq::MakeEntry(pq::Rgb{10, 200, 30});
    d.Palette[33] = pq::MakeEntry(pq::Rgb{1, 2, 3});
    d.DrawRgba = pq::Rgba8{9, 9, 9, 40};
    d.Current().Pixels[4] = pq::Rgba8{50, 60, 70, 128};
    const pq::RgbaPlane before = d.Current().Pixels;
    ClickPalette(4 * 12 + 3, 1 * 12 + 3);
    EXPECT_EQ(d.DrawColor, 20);
    EXPECT_EQ(d.DrawRgba, (pq::Rgba8{10, 200, 30, 255}));
    ClickPalette(1 * 12 + 3, 2 * 12 + 3, Qt::RightButton);
    EXPECT_EQ(d.AuxColor, 33);
    EXPECT_EQ(d.AuxRgba, (pq::Rgba8{1, 2, 3, 255}));
    EXPECT_EQ(Window()->ChannelLabelText(1), "G: 200");
    EXPECT_EQ(d.Current().Pixels, before);
    EXPECT_EQ(d.HistoryPosition, 1);
}

TEST_F(TrueColor, TheColourChooserEditsAlphaAndACancelKeepsTheColour) {
    TImageForm* f = TrueColorDoc(5, 3);
    pq::Document& d = f->Doc();
    prompt_.ExpectColor(QColor(10, 20, 30, 77));
    QTest::mouseClick(Swatch("lblFore"), Qt::LeftButton);
    EXPECT_EQ(d.DrawRgba, (pq::Rgba8{10, 20, 30, 77}));
    EXPECT_EQ(prompt_.Shown().back().Kind, "color");
    // The swatch shows the colour over the checkerboard: its white squares and its grey ones
    // differ, each the source-over blend of the colour on them.
    const QImage shown = Window()->SwatchPicture(true);
    ASSERT_FALSE(shown.isNull());
    const int onWhite = (10 * 77 + 255 * (255 - 77) + 127) / 255;
    EXPECT_NEAR(qRed(shown.pixel(0, 0)), onWhite, 1);
    EXPECT_NE(shown.pixel(0, 0), shown.pixel(4, 0));
    EXPECT_EQ(Swatch("lblFore")->toolTip(), "A: 77");
    // The auxiliary colour may be made fully transparent; a cancelled chooser changes nothing.
    prompt_.ExpectColor(QColor(0, 0, 0, 0));
    QTest::mouseClick(Swatch("lblBack"), Qt::LeftButton);
    EXPECT_EQ(d.AuxRgba, (pq::Rgba8{0, 0, 0, 0}));
    EXPECT_EQ(Window()->SwatchPicture(false).pixel(0, 0), qRgb(255, 255, 255));
    prompt_.ExpectColor(std::nullopt);
    QTest::mouseClick(Swatch("lblFore"), Qt::LeftButton);
    EXPECT_EQ(d.DrawRgba, (pq::Rgba8{10, 20, 30, 77}));
    EXPECT_EQ(d.HistoryPosition, 1);
}

TEST_F(TrueColor, ScrollBarsEditTheMarkedSwatchAndTheDrawingColourNotThePixels) {
    TImageForm* f = TrueColorDoc(4, 4);
    pq::Document& d = f->Doc();
    d.Current().Pixels[0] = pq::Rgba8{0, 0, 0, 255};
    ClickPalette(3, 3);  // swatch 0: black
    d.DrawRgba.a = 90;
    const pq::RgbaPlane before = d.Current().Pixels;
    TChannelScrollBar* blue = Window()->ScrollBar(2);
    QTest::mousePress(blue, Qt::LeftButton, Qt::NoModifier, QPoint(100, 4));
    QTest::mouseRelease(blue, Qt::LeftButton, Qt::NoModifier, QPoint(100, 4));
    EXPECT_EQ(d.Palette[0].blue, 10);
    EXPECT_EQ(d.DrawRgba, (pq::Rgba8{0, 0, 10, 90}));
    EXPECT_EQ(d.Current().Pixels, before);
    EXPECT_EQ(f->ViewPixel(0, 0), (pq::Rgb{0, 0, 0}));
    // One scroll, one step, as in a palette document.
    EXPECT_EQ(UndoCaption(), "元に戻す(&U) - パレット変更");
}

TEST_F(TrueColor, APaletteDocumentKeepsItsPlainSwatchesAndNoChooser) {
    TImageForm* f = NewDocument(0, 1);
    EXPECT_TRUE(Window()->SwatchPicture(true).isNull());
    // No chooser is scripted: one shown would fail the test.
    QTest::mouseClick(Swatch("lblFore"), Qt::LeftButton);
    EXPECT_TRUE(prompt_.Shown().back().Kind != "color");
    ClickPalette(10 * 12 + 3, 3);
    EXPECT_EQ(f->Doc().DrawColor, 10);
    EXPECT_EQ(f->Doc().DrawRgba, (pq::Rgba8{0, 0, 0, 255}));  // untouched
}

// ---- clipboard -------------------------------------------------------------------------------

// A soft-alpha picture of w x h: every pixel different, alphas from 0 to 255 and between.
pq::RgbaPicture SoftPicture(int w, int h) {
    pq::RgbaPicture p{w, h, {}};
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            p.Pixels.push_back(pq::Rgba8{uint8_t(30 * x + 1), uint8_t(40 * y + 2), uint8_t(x * y + 3),
                                         uint8_t((x + w * y) * 255 / (w * h - 1))});
    return p;
}

QByteArray PngOf(const QImage& image) {
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    EXPECT_TRUE(image.save(&buffer, "PNG"));
    return png;
}

pq::RgbaPicture DecodePng(const QByteArray& png) { return RgbaPictureOfImage(QImage::fromData(png, "PNG")); }

// Offers `png` as the clipboard's only format (as another program's picture with alpha).
void OfferPng(const QByteArray& png) {
    auto* data = new QMimeData;
    data->setData("image/png", png);
    QApplication::clipboard()->setMimeData(data);
}

uint32_t Crc32(const QByteArray& bytes) {
    uint32_t crc = 0xFFFFFFFFu;
    for (char ch : bytes) {
        crc ^= uint8_t(ch);
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

// A clipboard that refuses every write.
class RefusingClipboard : public ClipboardAccess {
public:
    int Writes = 0;
    bool HasPicture() const override { return false; }
    QImage Picture() const override { return QImage(); }
    bool SetPicture(const QImage&) override { return ++Writes, false; }
    bool SetPictureWithPng(const QImage&, const QByteArray&) override { return ++Writes, false; }
};

class TrueColorClipboard : public TrueColor {
protected:
    TrueColorClipboard() { QApplication::clipboard()->clear(); }
    void Fill(TImageForm* f, const pq::RgbaPicture& p) { f->Doc().Current().Pixels = p.Pixels; }
    // The area picker answers OK as it opened (the picture's top-left area at 1:1).
    void ExpectPicker(bool optimize = false) {
        prompt_.ExpectDialog("TfrmSelectOpenArea", [optimize](QDialog& d) {
            static_cast<TfrmSelectOpenArea&>(d).CheckBox1()->setChecked(optimize);
            return true;
        });
    }
};

TEST_F(TrueColorClipboard, CopyOfASoftAlphaSelectionGivesAPngOfItsPixels) {
    TImageForm* f = TrueColorDoc(7, 5);
    Fill(f, SoftPicture(7, 5));
    pq::Document& d = f->Doc();
    d.HasSelection = true;
    pq::SetSelection(d, 2, 1, 5, 4);
    pq::LiftSelection(d);
    pq::MoveFloating(d, 1, 0);  // what the selection shows at its new place
    const pq::RgbaPicture expected = pq::ClipboardRgbaPicture(d);
    ASSERT_EQ(expected.Width, 3);
    meCopyClick(*frame_, *f);
    const QMimeData* data = QApplication::clipboard()->mimeData();
    ASSERT_TRUE(data && data->hasFormat("image/png"));
    EXPECT_TRUE(data->hasImage());
    const pq::RgbaPicture got = DecodePng(data->data("image/png"));
    EXPECT_EQ(got, expected);
    // The selection's soft pixels are there with their alpha (the float moved one to the right).
    EXPECT_EQ(got.Pixels[0], SoftPicture(7, 5).Pixels[2 + 7 * 1]);
    EXPECT_EQ(got.Pixels[2 + 3 * 2], SoftPicture(7, 5).Pixels[4 + 7 * 3]);
    EXPECT_EQ(RgbaPictureOfImage(QApplication::clipboard()->image()), expected);
    EXPECT_TRUE(d.HasSelection);
    EXPECT_EQ(d.HistoryPosition, 1);
}

TEST_F(TrueColorClipboard, CutAndCopyLeaveTheDocumentWhenTheClipboardRefuses) {
    TImageForm* f = TrueColorDoc(3, 2);
    Fill(f, SoftPicture(3, 2));
    RefusingClipboard refusing;
    ScopedClipboard scoped(refusing);
    prompt_.ExpectMessage(PromptAnswer::Ok);
    meCutClick(*frame_, *f);
    prompt_.ExpectMessage(PromptAnswer::Ok);
    meCopyClick(*frame_, *f);
    EXPECT_EQ(refusing.Writes, 2);
    EXPECT_EQ(f->Doc().Current().Pixels, SoftPicture(3, 2).Pixels);
    EXPECT_EQ(prompt_.Shown().back().Text, "クリップボードに書き込めませんでした。");
    EXPECT_EQ(f->Doc().HistoryPosition, 1);
}

TEST_F(TrueColorClipboard, PasteOfAPngRestoresEveryPixelAndAlpha) {
    TImageForm* f = TrueColorDoc(7, 5);
    const pq::RgbaPicture picture = SoftPicture(7, 5);
    OfferPng(PngOf(ClipboardImageOf(picture)));
    // A PNG alone enables the toolbar's 貼り付け.
    QApplication::processEvents();
    EXPECT_TRUE(frame_->ActionNamed("tbPaste")->isEnabled());
    ExpectPicker();
    mePasteClick(*frame_, *f);
    const pq::Document& d = f->Doc();
    ASSERT_EQ(d.LayerCount(), 2);
    EXPECT_EQ(d.Current().Pixels, picture.Pixels);
    EXPECT_EQ(UndoCaption(), "元に戻す(&U) - 貼り付け");
}

TEST_F(TrueColorClipboard, PasteOfASmallerPngLeavesTheRestTransparentAndAFramePicksItsPart) {
    TImageForm* f = TrueColorDoc(4, 3);
    const pq::RgbaPicture picture = SoftPicture(3, 2);
    OfferPng(PngOf(ClipboardImageOf(picture)));
    ExpectPicker();
    mePasteClick(*frame_, *f);
    const pq::RgbaPlane& got = f->Doc().Current().Pixels;
    EXPECT_EQ(got[2 + 4 * 1], picture.Pixels[2 + 3 * 1]);
    EXPECT_EQ(got[3 + 4 * 0], pq::Rgba8{});
    EXPECT_EQ(got[0 + 4 * 2], pq::Rgba8{});
    // A frame of the canvas's size clicked at (1, 1) of a larger picture takes that part at 1:1.
    const pq::RgbaPicture large = SoftPicture(9, 6);
    OfferPng(PngOf(ClipboardImageOf(large)));
    prompt_.ExpectDialog("TfrmSelectOpenArea", [](QDialog& d) {
        auto& picker = static_cast<TfrmSelectOpenArea&>(d);
        picker.Image1MouseDown(1, 1);
        picker.Image1MouseUp(1, 1);
        return true;
    });
    mePasteClick(*frame_, *f);
    ASSERT_EQ(f->Doc().LayerCount(), 3);
    const pq::RgbaPlane& part = f->Doc().Current().Pixels;
    EXPECT_EQ(part[0], large.Pixels[1 + 9 * 1]);
    EXPECT_EQ(part[3 + 4 * 2], large.Pixels[4 + 9 * 3]);
    // The whole picture scaled to the canvas is averaged on premultiplied values, its alpha kept.
    OfferPng(PngOf(ClipboardImageOf(large)));
    prompt_.ExpectDialog("TfrmSelectOpenArea", [](QDialog& d) {
        static_cast<TfrmSelectOpenArea&>(d).Button3Click();
        return true;
    });
    mePasteClick(*frame_, *f);
    ASSERT_EQ(f->Doc().LayerCount(), 4);
    EXPECT_EQ(f->Doc().Current().Pixels, pq::ResampleRgba(large.Pixels, 9, 6, 4, 3));
}

TEST_F(TrueColorClipboard, ADraggedNonSquareFrameIsAveragedWithItsSoftAlpha) {
    TImageForm* f = TrueColorDoc(5, 3);
    const pq::RgbaPicture soft = SoftPicture(11, 7);
    OfferPng(PngOf(ClipboardImageOf(soft)));
    prompt_.ExpectDialog("TfrmSelectOpenArea", [](QDialog& d) {
        auto& picker = static_cast<TfrmSelectOpenArea&>(d);
        picker.CheckBox1()->setChecked(false);   // no 最適化, and the frame is free
        picker.Image1MouseDown(3, 2);
        picker.Image1MouseMove(13, 8);           // 10 x 6, partly off the picture
        picker.Image1MouseUp(13, 8);
        return true;
    });
    mePasteClick(*frame_, *f);
    std::vector<pq::Rgba8> framed(10 * 6);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 10; ++x)
            if (3 + x < 11 && 2 + y < 7) framed[std::size_t(y) * 10 + x] = soft.Pixels[std::size_t(2 + y) * 11 + 3 + x];
    const std::vector<pq::Rgba8> want = pq::ResampleRgba(framed, 10, 6, 5, 3);
    ASSERT_EQ(f->Doc().LayerCount(), 2);
    EXPECT_EQ(f->Doc().Current().Pixels, want);
    EXPECT_TRUE(std::any_of(want.begin(), want.end(), [](pq::Rgba8 p) { return p.a > 0 && p.a < 255; }));
    EXPECT_EQ(want[4 + 5 * 2].a, 0) << "the corner lies off the picture";
}

TEST_F(TrueColorClipboard, PasteOfAPngIntoAPaletteDocumentIsReducedOverWhite) {
    TImageForm* f = NewDocument(0, 1);
    const pq::RgbaPicture picture = SoftPicture(16, 16);
    OfferPng(PngOf(ClipboardImageOf(picture)));
    pq::Document expected = f->Doc();
    pq::PasteRgbaPicture(expected, picture, false, frame_->Reduction());
    ExpectPicker(false);
    mePasteClick(*frame_, *f);
    const pq::Document& d = f->Doc();
    ASSERT_FALSE(d.TrueColor);
    ASSERT_EQ(d.LayerCount(), 2);
    EXPECT_EQ(d.Current().Indices, expected.Current().Indices);
    EXPECT_EQ(d.Current().Mask, expected.Current().Mask);
    // A fully transparent pixel takes the entry nearest to white, not to its hidden colour.
    EXPECT_EQ(d.ColorOf(d.Current().Indices[0]), (pq::Rgb{255, 255, 255}));
}

// A clipboard offering a fixed ordinary picture and no PNG.
class OfferingClipboard : public ClipboardAccess {
public:
    QImage Offered;
    bool HasPicture() const override { return !Offered.isNull(); }
    QImage Picture() const override { return Offered; }
    bool SetPicture(const QImage&) override { return false; }
};

TEST_F(TrueColorClipboard, AnOrdinaryPictureWithAlphaPastesOverWhiteIntoAPaletteDocument) {
    TImageForm* f = NewDocument(0, 0);
    OfferingClipboard offering;
    offering.Offered = QImage(16, 16, QImage::Format_ARGB32);
    offering.Offered.fill(qRgba(255, 0, 0, 0));  // hidden red everywhere
    offering.Offered.setPixel(2, 3, qRgba(0, 0, 255, 255));
    ScopedClipboard scoped(offering);
    ExpectPicker(false);
    mePasteClick(*frame_, *f);
    const pq::Document& d = f->Doc();
    ASSERT_EQ(d.LayerCount(), 2);
    EXPECT_EQ(d.ColorOf(d.Current().Indices[0]), (pq::Rgb{255, 255, 255}));
    EXPECT_EQ(d.ColorOf(d.Current().Indices[2 + 16 * 3]), (pq::Rgb{0, 0, 255}));
    // Into a truecolour document the same picture keeps its alpha.
    TImageForm* t = TrueColorDoc(16, 16);
    ExpectPicker();
    mePasteClick(*frame_, *t);
    ASSERT_EQ(t->Doc().LayerCount(), 2);
    EXPECT_EQ(t->Doc().Current().Pixels[0].a, 0);
    EXPECT_EQ(t->Doc().Current().Pixels[2 + 16 * 3], (pq::Rgba8{0, 0, 255, 255}));
}

TEST_F(TrueColorClipboard, APngClaimingAHugePictureIsRefusedBeforeItIsDecoded) {
    TImageForm* f = TrueColorDoc(4, 4);
    QByteArray png = PngOf(ClipboardImageOf(SoftPicture(2, 2)));
    // IHDR: length at 8, type at 12, width and height at 16 and 20, its CRC at 29.
    auto put32 = [&](int at, uint32_t v) {
        for (int k = 0; k < 4; ++k) png[at + k] = char(uint8_t(v >> (24 - 8 * k)));
    };
    put32(16, 20000);
    put32(20, 20000);
    put32(29, Crc32(png.mid(12, 17)));
    OfferPng(png);
    const auto message = pq::PastePictureProblem(20000, 20000);
    ASSERT_TRUE(message);
    prompt_.ExpectMessage(PromptAnswer::Ok);
    mePasteClick(*frame_, *f);
    EXPECT_EQ(prompt_.Shown().back().Text, QString::fromStdString(*message));
    EXPECT_EQ(f->Doc().LayerCount(), 1);
    // Bytes that are no PNG, with no ordinary picture beside them: the empty picture's message.
    OfferPng(QByteArray("\x89PNG\r\n\x1a\nnot a picture", 22));
    prompt_.ExpectMessage(PromptAnswer::Ok);
    mePasteClick(*frame_, *f);
    EXPECT_EQ(prompt_.Shown().back().Text, QString::fromStdString(pq::PastePictureProblem(0, 0).value_or("")));
    EXPECT_EQ(f->Doc().LayerCount(), 1);
    EXPECT_EQ(f->Doc().HistoryPosition, 1);
}

}  // namespace
