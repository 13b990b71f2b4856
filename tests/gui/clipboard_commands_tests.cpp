// Cut, copy and paste through the real (offscreen) clipboard, the paste area picker scripted
// through the prompt, and the refusals: a clipboard that cannot be written, pictures paste
// cannot use.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QMenu>
#include <QMimeData>

#include "core/document/selection.h"
#include "gui/app/main_form.h"
#include "gui/document/clipboard_bridge.h"
#include "gui/document/clipboard_commands.h"
#include "gui/document/image_form.h"
#include "gui/formats/area_picker.h"
#include "support/editor_fixture.h"

using namespace pq::gui;
using pq::test::EditorTest;

namespace {

constexpr int kRed = 10;    // default palette: (255, 0, 0)
constexpr int kWhite = 8;   // default palette: (255, 255, 255)

QRgb At(const QImage& image, int x, int y) { return image.pixel(x, y) & 0xFFFFFF; }

// A clipboard that refuses every write and offers a fixed picture.
class StubClipboard : public ClipboardAccess {
public:
    bool Offers = false;
    QImage Offered;
    int Writes = 0;
    bool HasPicture() const override { return Offers; }
    QImage Picture() const override { return Offered; }
    bool SetPicture(const QImage&) override {
        ++Writes;
        return false;
    }
};

class Clipboard : public EditorTest {
protected:
    Clipboard() { QApplication::clipboard()->clear(); }
    TImageForm* Doc16(int colorItem = 0) { return NewDocument(0, colorItem); }
    void Paint(int x, int y, int i) {
        pq::Layer& l = Active()->Doc().Current();
        l.Indices[std::size_t(x + 16 * y)] = uint8_t(i);
        l.Mask[std::size_t(x + 16 * y)] = 1;
    }
    void Select(int l, int t, int r, int b) {
        pq::Document& d = Active()->Doc();
        d.HasSelection = true;
        pq::SetSelection(d, l, t, r, b);
        pq::LiftSelection(d);
    }
    QImage ClipboardImage() const { return QApplication::clipboard()->image(); }
    // The area picker answers OK with "最適化" set as given.
    void ExpectPicker(bool optimize) {
        prompt_.ExpectDialog("TfrmSelectOpenArea", [optimize](QDialog& d) {
            auto& picker = static_cast<TfrmSelectOpenArea&>(d);
            EXPECT_EQ(picker.Mode(), AreaPickerMode::Paste);
            EXPECT_EQ(picker.CheckBox1()->text(), "最適化");
            EXPECT_TRUE(picker.CheckBox1()->isChecked());
            picker.CheckBox1()->setChecked(optimize);
            return true;
        });
    }
    QAction* Entry(const char* name) const { return Active()->MenuAction(name); }
};

TEST_F(Clipboard, CopyWithoutSelectionPutsTheLayerOnWhite) {
    TImageForm* f = Doc16();
    Paint(3, 4, kRed);
    const int steps = f->Doc().HistoryPosition;
    meCopyClick(*frame_, *f);
    const QImage image = ClipboardImage();
    ASSERT_EQ(image.size(), QSize(16, 16));
    EXPECT_EQ(At(image, 3, 4), 0xFF0000u);
    int white = 0;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) white += At(image, x, y) == 0xFFFFFFu;
    EXPECT_EQ(white, 255);
    EXPECT_EQ(f->Doc().HistoryPosition, steps);
    EXPECT_FALSE(f->Doc().Modified);
}

TEST_F(Clipboard, CopyAfterAMoveTakesWhatTheSelectionShowsAndKeepsItFloating) {
    TImageForm* f = Doc16();
    Paint(2, 2, kRed);
    Select(2, 2, 4, 4);
    pq::MoveFloating(f->Doc(), 3, 1);
    meCopyClick(*frame_, *f);
    const QImage image = ClipboardImage();
    ASSERT_EQ(image.size(), QSize(2, 2));
    EXPECT_EQ(At(image, 0, 0), 0xFF0000u);
    EXPECT_EQ(At(image, 1, 1), 0xFFFFFFu);
    EXPECT_TRUE(f->Doc().HasSelection);
    EXPECT_EQ(f->Doc().FloatDX, 3);
}

TEST_F(Clipboard, CutWithSelectionEndsItAndOneUndoBringsItBack) {
    TImageForm* f = Doc16();
    Paint(5, 5, kRed);
    Paint(9, 9, kRed);
    Select(4, 4, 7, 7);
    f->RecordStep("選択ツール");
    Entry("meCut")->trigger();
    EXPECT_EQ(ClipboardImage().size(), QSize(3, 3));
    EXPECT_EQ(At(ClipboardImage(), 1, 1), 0xFF0000u);
    EXPECT_FALSE(f->Doc().HasSelection);
    EXPECT_EQ(PixelAt(5, 5), -1);
    EXPECT_EQ(PixelAt(9, 9), kRed);
    EXPECT_EQ(UndoCaption(), "元に戻す(&U) - 切り取り");
    f->meUndoClick();
    EXPECT_TRUE(f->Doc().HasSelection);
    EXPECT_EQ(f->Doc().FloatMask[5 + 16 * 5], 1);
    EXPECT_EQ(f->Doc().SelLeft, 4);
}

TEST_F(Clipboard, CutAndCopyLeaveTheDocumentWhenTheClipboardRefusesTheWrite) {
    TImageForm* f = Doc16();
    Paint(5, 5, kRed);
    StubClipboard stub;
    ScopedClipboard scoped(stub);
    const int steps = f->Doc().HistoryPosition;
    prompt_.ExpectMessage(PromptAnswer::Ok);
    Entry("meCut")->trigger();
    prompt_.ExpectMessage(PromptAnswer::Ok);
    Entry("meCopy")->trigger();
    EXPECT_EQ(stub.Writes, 2);
    EXPECT_EQ(PixelAt(5, 5), kRed);
    EXPECT_EQ(f->Doc().HistoryPosition, steps);
    EXPECT_FALSE(f->Doc().Modified);
    ASSERT_EQ(prompt_.Shown().size(), 3u);  // New dialog, then the two reports
    EXPECT_EQ(prompt_.Shown()[1].Text, "クリップボードに書き込めませんでした。");
    EXPECT_EQ(prompt_.Shown()[1].Title, "切り取り");
    EXPECT_EQ(prompt_.Shown()[2].Title, "コピー");
}

TEST_F(Clipboard, PasteOfASmallerPictureWithoutOptimizePaintsEveryPixel) {
    TImageForm* f = Doc16();
    QImage picture(4, 3, QImage::Format_RGB32);
    picture.fill(QColor(250, 10, 10));
    QApplication::clipboard()->setImage(picture);
    ExpectPicker(false);
    Entry("mePaste")->trigger();
    ASSERT_TRUE(prompt_.Done());
    const pq::Document& d = f->Doc();
    ASSERT_EQ(d.LayerCount(), 2);
    EXPECT_EQ(d.CurrentLayer(), 1);
    EXPECT_EQ(d.Current().Name, "レイヤ2");
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) EXPECT_EQ(PixelAt(x, y), x < 4 && y < 3 ? kRed : kWhite) << x << "," << y;
    EXPECT_EQ(UndoCaption(), "元に戻す(&U) - 貼り付け");
}

TEST_F(Clipboard, PasteWithOptimizeRebuildsTheSixteenColourPalette) {
    TImageForm* f = Doc16();
    const QColor odd(13, 77, 201);
    QImage picture(16, 16, QImage::Format_RGB32);
    picture.fill(odd);
    QApplication::clipboard()->setImage(picture);
    f->Doc().DrawColor = 5;
    ExpectPicker(true);
    Entry("mePaste")->trigger();
    const pq::Document& d = f->Doc();
    ASSERT_EQ(d.LayerCount(), 2);
    const int index = d.Current().Indices[0];
    EXPECT_EQ(d.ColorOf(index), (pq::Rgb{13, 77, 201}));
    EXPECT_LT(index, 16);
    EXPECT_EQ(d.DrawColor, 0);
    EXPECT_EQ(d.AuxColor, 8);
}

TEST_F(Clipboard, PasteWhileASelectionFloatsCommitsItFirst) {
    TImageForm* f = Doc16();
    Paint(1, 1, kRed);
    Select(0, 0, 3, 3);
    pq::MoveFloating(f->Doc(), 5, 0);
    QImage picture(2, 2, QImage::Format_RGB32);
    picture.fill(Qt::white);
    QApplication::clipboard()->setImage(picture);
    ExpectPicker(false);
    Entry("mePaste")->trigger();
    const pq::Document& d = f->Doc();
    EXPECT_FALSE(d.HasSelection);
    ASSERT_EQ(d.LayerCount(), 2);
    const pq::Layer& first = d.LayerAt(0);
    EXPECT_EQ(first.Mask[1 + 16], 0);
    EXPECT_EQ(first.Mask[6 + 16], 1);
    EXPECT_EQ(first.Indices[6 + 16], kRed);
}

TEST_F(Clipboard, CancelledPickerAndUnusablePicturesLeaveTheDocument) {
    TImageForm* f = Doc16();
    QImage picture(4, 4, QImage::Format_RGB32);
    picture.fill(Qt::blue);
    QApplication::clipboard()->setImage(picture);
    prompt_.ExpectDialog("TfrmSelectOpenArea", [](QDialog&) { return false; });
    Entry("mePaste")->trigger();
    EXPECT_EQ(f->Doc().LayerCount(), 1);

    StubClipboard stub;
    ScopedClipboard scoped(stub);
    stub.Offers = true;
    stub.Offered = QImage(20000, 1, QImage::Format_RGB32);
    prompt_.ExpectMessage(PromptAnswer::Ok);
    Entry("mePaste")->trigger();
    stub.Offered = QImage();
    prompt_.ExpectMessage(PromptAnswer::Ok);
    Entry("mePaste")->trigger();
    EXPECT_EQ(f->Doc().LayerCount(), 1);
    EXPECT_FALSE(f->Doc().Modified);
    const auto& shown = prompt_.Shown();
    ASSERT_EQ(shown.size(), 4u);
    EXPECT_EQ(shown[2].Text, "クリップボードの画像（20000×1ピクセル）は大きすぎるため、貼り付けできません。");
    EXPECT_EQ(shown[3].Text, "クリップボードの画像が空のため、貼り付けできません。");
    EXPECT_EQ(shown[3].Icon, PromptIcon::Warning);
}

TEST_F(Clipboard, PasteIsEnabledExactlyWhenTheClipboardOffersAPicture) {
    Doc16();
    QMenu* edit = Active()->MenuNamed("Edit1");
    QApplication::clipboard()->setText("text only");
    emit edit->aboutToShow();
    EXPECT_FALSE(Entry("mePaste")->isEnabled());
    frame_->ActionList1Update();
    EXPECT_FALSE(frame_->ActionNamed("tbPaste")->isEnabled());
    QImage picture(2, 2, QImage::Format_RGB32);
    picture.fill(Qt::green);
    QApplication::clipboard()->setImage(picture);
    emit edit->aboutToShow();
    EXPECT_TRUE(Entry("mePaste")->isEnabled());
    EXPECT_TRUE(frame_->ActionNamed("tbPaste")->isEnabled());
}

}  // namespace
