// Truecolour layers in the editor: 合成 through its dialog and the palette file commands, each
// undone and redone exactly.
#include <QAction>
#include <QComboBox>
#include <QFileDialog>
#include <QMenu>
#include <QSlider>
#include <filesystem>

#include "core/formats/palette_file.h"
#include "core/ops/compositing.h"
#include "gui/app/main_form.h"
#include "gui/document/image_form.h"
#include "gui/ops/gousei_dialog.h"
#include "gui/palettes/color_palette.h"
#include "support/editor_fixture.h"
#include "support/test_paths.h"

using namespace pq::gui;
using pq::test::EditorTest;

namespace {

constexpr int kFullColorItem = 2;

class TrueColorLayers : public EditorTest {
protected:
    // A 16 x 16 truecolour document of three layers with soft alpha, layer 1 hidden, the top
    // one current. Transparent pixels carry colour bytes, as pictures read from files may.
    TImageForm* ThreeLayerDocument() {
        TImageForm* f = NewDocument(0, kFullColorItem);
        f->MenuAction("mlNew")->trigger();
        f->MenuAction("mlNew")->trigger();
        pq::Document& d = f->Doc();
        for (int l = 0; l < 3; ++l)
            for (std::size_t i = 0; i < d.LayerAt(l).Pixels.size(); ++i)
                d.LayerAt(l).Pixels[i] = pq::Rgba8{uint8_t(i * 7 + 60 * l), uint8_t(255 - i - l), uint8_t(40 * l),
                                                   uint8_t((i * (l + 3)) % 5 == 0 ? 0 : (i * 37 + 90 * l) % 256)};
        d.LayerAt(1).Visible = 0;
        f->CommitEdit("テスト");
        return f;
    }
    std::vector<pq::Layer> Layers() const { return Active()->Doc().Layers(); }
    QAction* Entry(const char* name, const char* menu) const {
        emit Active()->MenuNamed(menu)->aboutToShow();
        return Active()->MenuAction(name);
    }
};

TEST_F(TrueColorLayers, CompositingThroughTheDialogStoresThePreviewAndUndoesExactly) {
    TImageForm* f = ThreeLayerDocument();
    const std::vector<pq::Layer> before = Layers();
    const pq::PaletteTable palette = f->Doc().Palette;
    ASSERT_TRUE(Entry("N21", "mLayer")->isEnabled());
    pq::Raster shown;
    prompt_.ExpectDialog("TfrmGousei", [&](QDialog& d) {
        auto& g = static_cast<TfrmGousei&>(d);
        g.ComboBox1()->setCurrentIndex(2);
        g.ComboBox2()->setCurrentIndex(1);   // hidden: blended all the same
        g.TrackBar1()->setValue(70);
        shown = g.Result();
        return true;
    });
    Entry("N21", "mLayer")->trigger();
    ASSERT_TRUE(prompt_.Done());

    const pq::Document& d = f->Doc();
    ASSERT_EQ(d.LayerCount(), 2);
    const std::vector<pq::Rgba8> blended = pq::BlendRgbaPlanes(before[2].Pixels, before[1].Pixels, 70);
    EXPECT_EQ(d.LayerAt(1).Pixels, blended);
    EXPECT_EQ(d.LayerAt(0), before[0]);
    EXPECT_EQ(d.Palette, palette);
    EXPECT_EQ(UndoCaption(), "元に戻す(&U) - 合成");
    // The result picture was the stored layer over the user's checkerboard.
    const pq::Raster stored = pq::PreviewComposite(d, 1, 1, 0, frame_->TransparencyColors()).Base;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) ASSERT_EQ(shown.Pixel(x, y), stored.Pixel(x, y)) << x << "," << y;

    const std::vector<pq::Layer> after = Layers();
    f->meUndoClick();
    EXPECT_EQ(Layers(), before);
    f->meRedoClick();
    EXPECT_EQ(Layers(), after);
}

TEST_F(TrueColorLayers, PaletteFilesFillAndSaveTheSwatchesAndChangeNoPixel) {
    TImageForm* f = ThreeLayerDocument();
    const std::vector<pq::Layer> before = Layers();
    const pq::PaletteTable original = f->Doc().Palette;
    ASSERT_TRUE(Entry("mcPalRep", "mColor")->isEnabled());
    ASSERT_TRUE(Entry("mcPalSave", "mColor")->isEnabled());

    // Three entries: they become swatches 0-2, 3-15 stay and 16-255 turn black.
    const std::filesystem::path jasc = folder_ / "three.pal";
    const std::string text = "JASC-PAL\r\n0100\r\n3\r\n10 20 30\r\n40 50 60\r\n70 80 90\r\n";
    pq::test::WriteBytes(jasc, std::vector<uint8_t>(text.begin(), text.end()));
    prompt_.ExpectOpenFile(QString::fromStdString(jasc.string()));
    Entry("mcPalRep", "mColor")->trigger();
    const pq::PaletteTable& p = f->Doc().Palette;
    EXPECT_EQ(p[0], (pq::PaletteEntry{30, 20, 10, 0}));
    EXPECT_EQ(p[7], original[7]);
    EXPECT_EQ(p[16], pq::PaletteEntry{});
    EXPECT_EQ(Layers(), before);
    EXPECT_EQ(UndoCaption(), "元に戻す(&U) - パレット交換");
    EXPECT_EQ(frame_->ColorPalette()->PaletteImage().pixel(2 * 12 + 5, 5), qRgb(70, 80, 90));

    // Saving writes all 256 swatches as they are now.
    prompt_.ExpectDialog("SavePalDlg", [&](QDialog& d) {
        auto& chooser = static_cast<QFileDialog&>(d);
        chooser.selectNameFilter(chooser.nameFilters()[0]);
        chooser.selectFile(QString::fromStdString((folder_ / "swatches.pqp").string()));
        return true;
    });
    Entry("mcPalSave", "mColor")->trigger();
    ASSERT_TRUE(prompt_.Done());
    const std::vector<uint8_t> saved = pq::test::ReadBytes(folder_ / "swatches.pqp");
    ASSERT_EQ(saved.size(), 1031u);
    EXPECT_EQ(std::vector<uint8_t>(saved.begin() + 7, saved.begin() + 11), (std::vector<uint8_t>{30, 20, 10, 0}));

    f->meUndoClick();
    EXPECT_EQ(f->Doc().Palette, original);
    EXPECT_EQ(Layers(), before);
    f->meRedoClick();
    EXPECT_EQ(f->Doc().Palette[1], (pq::PaletteEntry{60, 50, 40, 0}));
}

}  // namespace
