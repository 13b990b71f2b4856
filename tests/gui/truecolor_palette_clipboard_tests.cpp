// Truecolour documents in the colour palette window (colours with alpha, swatches) and on the
// clipboard (pictures with alpha as image/png in both directions).
#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QLabel>
#include <QMimeData>
#include <QScrollBar>
#include <QTest>

#include "core/document/selection.h"
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

}  // namespace
