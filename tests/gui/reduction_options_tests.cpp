// The Options dialog's 減色 choices: shown, saved into "pqreduce" when OK is pressed, read at the
// next start, a damaged file read as the defaults and left alone, and the choices used when a
// true-colour icon opens.
#include <QComboBox>
#include <QLineEdit>
#include <filesystem>

#include "core/formats/icon_file.h"
#include "core/formats/settings_files.h"
#include "core/io/byte_io.h"
#include "gui/app/main_form.h"
#include "gui/app/option_dialog.h"
#include "gui/document/image_form.h"
#include "support/editor_fixture.h"
#include "support/png_encode.h"

using namespace pq::gui;
namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<uint8_t>;

class ReductionChoices : public pq::test::EditorTest {
protected:
    fs::path File() const { return folder_.Path() / "setting" / pq::kReductionSettingsFile; }
    // Opens the dialog, checks what it shows, then runs `act` on it; true from `act` presses OK.
    void RunOptions(const pq::ReductionOptions& shown, std::function<bool(TfrmOption&)> act) {
        prompt_.ExpectDialog("TfrmOption", [&](QDialog& d) {
            auto& o = static_cast<TfrmOption&>(d);
            EXPECT_EQ(o.Reduction(), shown);
            EXPECT_EQ(o.QuantizerBox()->currentIndex(), shown.quantizer == pq::Quantizer::Quality ? 1 : 0);
            EXPECT_EQ(o.AlphaField()->text(), QString::number(shown.alphaThreshold));
            return act(o);
        });
        frame_->mtOptionClick();
        EXPECT_TRUE(prompt_.Done());
    }
};

TEST_F(ReductionChoices, TheDialogShowsTheChoicesSavesThemOnOkAndTheNextStartReadsThem) {
    const pq::ReductionOptions defaults;
    EXPECT_EQ(frame_->Reduction(), defaults);
    const pq::ReductionOptions chosen{pq::Quantizer::Quality, pq::Dither::Ordered, 127};
    RunOptions(defaults, [&](TfrmOption& o) {
        QStringList items;
        for (QComboBox* box : {o.QuantizerBox(), o.DitherBox()})
            for (int i = 0; i < box->count(); ++i) items << box->itemText(i);
        EXPECT_EQ(items, (QStringList{"メディアンカット", "高画質", "なし", "誤差拡散", "パターン"}));
        o.QuantizerBox()->setCurrentIndex(1);
        o.DitherBox()->setCurrentIndex(2);
        o.AlphaField()->setText("127");
        return true;
    });
    EXPECT_EQ(frame_->Reduction(), chosen);
    EXPECT_EQ(pq::test::ReadBytes(File()), (Bytes{'P', 'Q', 'R', 'D', 1, 1, 2, 127}));

    // Cancel keeps both the choices and the file.
    RunOptions(chosen, [](TfrmOption& o) {
        o.DitherBox()->setCurrentIndex(0);
        return false;
    });
    EXPECT_EQ(frame_->Reduction(), chosen);
    EndFrame();
    EXPECT_EQ(fs::file_size(folder_.Path() / "setting" / pq::kMainSettingsFile), 26u);
    EXPECT_EQ(fs::file_size(File()), 8u);

    StartFrame();
    EXPECT_EQ(frame_->Reduction(), chosen);
    // The alpha field keeps to 1..255.
    RunOptions(chosen, [](TfrmOption& o) {
        o.AlphaField()->setText("999");
        return true;
    });
    EXPECT_EQ(frame_->Reduction().alphaThreshold, 255);
}

TEST_F(ReductionChoices, ADamagedFileMeansTheDefaultsAndIsKeptUntilTheOptionsAreSaved) {
    EndFrame();
    const Bytes damaged{'P', 'Q', 'R', 'D', 1, 7, 7};
    pq::test::WriteBytes(File(), damaged);
    StartFrame();
    EXPECT_EQ(frame_->Reduction(), pq::ReductionOptions{});
    EndFrame();
    EXPECT_EQ(pq::test::ReadBytes(File()), damaged);
    StartFrame();
    RunOptions(pq::ReductionOptions{}, [](TfrmOption&) { return true; });
    EXPECT_EQ(pq::test::ReadBytes(File()), (Bytes{'P', 'Q', 'R', 'D', 1, 0, 0, 128}));
}

TEST_F(ReductionChoices, AnOpenedPngIconIsReducedWithTheChoices) {
    // A 29 x 11 PNG icon of 319 colours, alpha rising across each row.
    const int w = 29, h = 11;
    Bytes rgba;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) rgba.insert(rgba.end(), {uint8_t(x * 8), uint8_t(y * 20), uint8_t(x ^ y), uint8_t(x * 9)});
    const Bytes png = pq::test::EncodePng(w, h, rgba);
    Bytes file;
    pq::ByteWriter f(file);
    for (uint32_t v : {0u, 1u, 1u}) f.U16(v);
    f.U8(uint8_t(w)), f.U8(uint8_t(h)), f.U16(0), f.U16(1), f.U16(32);
    f.U32(uint32_t(png.size())), f.U32(22);
    f.Bytes(png);
    const fs::path path = folder_.Path() / "picture.ico";
    pq::test::WriteBytes(path, file);

    const pq::ReductionOptions chosen{pq::Quantizer::Quality, pq::Dither::Diffusion, 200};
    RunOptions(pq::ReductionOptions{}, [&](TfrmOption& o) {
        o.SetReduction(chosen);
        return true;
    });
    frame_->OpenFile(QString::fromStdString(path.string()));
    ASSERT_NE(Active(), nullptr);
    const pq::Document& got = Active()->Doc();

    pq::IconDirectory dir;
    ASSERT_TRUE(pq::ReadIconDirectory(file, dir));
    pq::Document direct, plain;
    ASSERT_TRUE(pq::LoadIconImage(file, dir, 0, direct, frame_->SelectedZoom(), chosen));
    ASSERT_TRUE(pq::LoadIconImage(file, dir, 0, plain, frame_->SelectedZoom()));
    // A PNG image opens as truecolour: the choices leave its colours and alpha as they are.
    ASSERT_TRUE(got.TrueColor);
    EXPECT_EQ(got.LayerAt(0).Pixels, direct.LayerAt(0).Pixels);
    EXPECT_EQ(got.LayerAt(0).Pixels, plain.LayerAt(0).Pixels);
    ASSERT_EQ(got.LayerAt(0).Pixels.size(), rgba.size() / 4);
    for (std::size_t i = 0; i < rgba.size() / 4; ++i) {
        const pq::Rgba8 p = got.LayerAt(0).Pixels[i];
        ASSERT_EQ((pq::Rgba8{rgba[4 * i], rgba[4 * i + 1], rgba[4 * i + 2], rgba[4 * i + 3]}), p) << i;
    }
}

}  // namespace
