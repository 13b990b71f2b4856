// The image-operation dialogs on their own: digit-only number fields, defaults, empty field as
// Cancel, the shadow dialog reused for scrolling, the brightness and RGB dialogs' coupled controls
// and live previews, and the compositing dialog's lists, label and OK button.
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSlider>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>
#include <memory>

#include "core/document/document.h"
#include "gui/ops/adjust_dialogs.h"
#include "gui/ops/gousei_dialog.h"
#include "gui/ops/shadow_dialog.h"
#include "gui/ops/transform_dialogs.h"
#include "gui/ops/up_down.h"

using namespace pq::gui;
using pq::Rgb;

namespace {

// Checker colours no document below uses, so unpainted positions are recognisable.
const pq::TransparencyColors kBackdrop{{10, 20, 30}, {40, 50, 60}};

// 16 x 16: (0, 0) painted (250, 100, 0) on the bottom layer; (1, 0) painted red on a hidden top
// layer; everything else unpainted.
pq::Document TwoLayerDocument() {
    pq::Document doc;
    pq::InitBlankDocument(doc, 16, 16, 16, 20);
    doc.Palette[1] = pq::MakeEntry({250, 100, 0});
    doc.Palette[2] = pq::MakeEntry({255, 0, 0});
    doc.LayerAt(0).Indices[0] = 1;
    doc.LayerAt(0).Mask[0] = 1;
    doc.AppendLayer();
    doc.LayerAt(1).Indices[1] = 2;
    doc.LayerAt(1).Mask[1] = 1;
    doc.LayerAt(1).Visible = 0;
    return doc;
}

void ClickOk(QDialog& d) { d.findChild<QPushButton*>("Button1")->click(); }

TEST(OpsDialogs, NumberFieldsTakeOnlyDigitsAndBackspace) {
    pq::Document doc = TwoLayerDocument();
    TfrmRotate rotate(nullptr);
    TfrmShadow shadow(nullptr);
    TfrmBlight blight(nullptr, doc, kBackdrop);
    TfrmRGB rgb(nullptr, doc, kBackdrop);
    const std::pair<QLineEdit*, int> fields[] = {{rotate.Edit1(), 3}, {shadow.Edit1(), 3}, {shadow.Edit2(), 3},
                                                 {blight.Edit1(), 4}, {rgb.Edit(0), 4},    {rgb.Edit(2), 4}};
    for (auto [edit, length] : fields) {
        SCOPED_TRACE((edit->parent()->objectName() + "." + edit->objectName()).toStdString());
        EXPECT_EQ(edit->text(), "0");
        EXPECT_EQ(edit->maxLength(), length);
        edit->clear();
        QTest::keyClicks(edit, "1-a.2 +x,0e");
        EXPECT_EQ(edit->text(), "120");
        QTest::keyClick(edit, Qt::Key_Backspace);
        EXPECT_EQ(edit->text(), "12");
        // Pasting counts as typing: text with a minus sign is refused, digits are taken.
        edit->clear();
        QApplication::clipboard()->setText("-5");
        QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
        EXPECT_EQ(edit->text(), "");
        QApplication::clipboard()->setText("7");
        QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
        EXPECT_EQ(edit->text(), "7");
    }
    // Return still reaches the default button through a filtered field.
    rotate.show();
    QTest::keyClick(rotate.Edit1(), Qt::Key_Return);
    EXPECT_EQ(rotate.result(), QDialog::Accepted);
}

TEST(OpsDialogs, ResizeAndAngleDialogsOpenAtTheirDefaults) {
    TfrmResize resize(nullptr);
    EXPECT_EQ(resize.windowTitle(), "サイズ変更");
    EXPECT_EQ(resize.findChild<QGroupBox*>("rgNewSize")->title(), "新しいサイズ");
    const QList<QRadioButton*> items = resize.findChild<QGroupBox*>("rgNewSize")->findChildren<QRadioButton*>();
    ASSERT_EQ(items.size(), 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(items[i]->text(), QString("%1×%1 ピクセル").arg(16 + 16 * i));
        EXPECT_EQ(items[i]->isChecked(), i == 0);
        items[i]->setChecked(true);
        EXPECT_EQ(resize.NewSide(), 16 + 16 * i);
    }
    EXPECT_EQ(resize.cbResize()->text(), "イメージを拡大縮小");
    EXPECT_FALSE(resize.Scale());

    TfrmRotate rotate(nullptr);
    EXPECT_EQ(rotate.windowTitle(), "角度指定");
    EXPECT_EQ(rotate.findChild<QLabel*>("Label1")->text(), "角度");
    // The up-down wraps at both ends of 0..359; the arrow keys in the field step it too.
    rotate.UpDown1()->DownButton()->click();
    EXPECT_EQ(rotate.Edit1()->text(), "359");
    QTest::keyClick(rotate.Edit1(), Qt::Key_Up);
    EXPECT_EQ(rotate.Edit1()->text(), "0");
    // Typed angles beyond the up-down's range are taken as typed.
    rotate.Edit1()->setText("720");
    ClickOk(rotate);
    EXPECT_EQ(rotate.result(), QDialog::Accepted);
    EXPECT_EQ(rotate.Angle(), 720);
}

TEST(OpsDialogs, AnEmptyFieldTurnsOkIntoCancel) {
    pq::Document doc = TwoLayerDocument();
    std::vector<std::pair<std::unique_ptr<QDialog>, QLineEdit*>> cases;
    auto* rotate = new TfrmRotate(nullptr);
    cases.emplace_back(rotate, rotate->Edit1());
    for (int i = 0; i < 2; ++i) {
        auto* shadow = new TfrmShadow(nullptr);
        cases.emplace_back(shadow, i == 0 ? shadow->Edit1() : shadow->Edit2());
    }
    auto* blight = new TfrmBlight(nullptr, doc, kBackdrop);
    cases.emplace_back(blight, blight->Edit1());
    auto* rgb = new TfrmRGB(nullptr, doc, kBackdrop);
    cases.emplace_back(rgb, rgb->Edit(2));
    for (auto& [dialog, field] : cases) {
        SCOPED_TRACE((dialog->objectName() + "." + field->objectName()).toStdString());
        field->clear();
        ClickOk(*dialog);
        EXPECT_EQ(dialog->result(), QDialog::Rejected);
        field->setText("3");
        ClickOk(*dialog);
        EXPECT_EQ(dialog->result(), QDialog::Accepted);
    }
}

TEST(OpsDialogs, ScrollReusesTheShadowDialogWithItsOwnCaptionsAndRanges) {
    struct Use {
        bool Scroll;
        const char *Title, *Label1, *Label2;
        int Min, Max;
    };
    for (const Use& use : {Use{false, "影", "位置X", "位置Y", -10, 10}, Use{true, "スクロール", "移動量X", "移動量Y", 0, 32}}) {
        SCOPED_TRACE(use.Title);
        TfrmShadow dialog(nullptr);
        if (use.Scroll) dialog.UseForScroll();
        EXPECT_EQ(dialog.windowTitle(), use.Title);
        EXPECT_EQ(dialog.Label1()->text(), use.Label1);
        EXPECT_EQ(dialog.Label2()->text(), use.Label2);
        for (auto [u, field] : {std::pair{dialog.UpDown1(), dialog.Edit1()}, std::pair{dialog.UpDown2(), dialog.Edit2()}}) {
            // The ends hold: no wrap-around.
            for (int i = 0; i < 40; ++i) u->DownButton()->click();
            EXPECT_EQ(field->text(), QString::number(use.Min));
            for (int i = 0; i < 80; ++i) u->UpButton()->click();
            EXPECT_EQ(field->text(), QString::number(use.Max));
        }
        // Typed amounts beyond the range are read as the range's end.
        dialog.Edit1()->setText("99");
        dialog.Edit2()->setText("5");
        EXPECT_EQ(dialog.AmountX(), use.Max);
        EXPECT_EQ(dialog.AmountY(), 5);
    }
}

TEST(OpsDialogs, BrightnessBarAndFieldMoveTogetherAndDriveThePreview) {
    pq::Document doc = TwoLayerDocument();
    TfrmBlight dialog(nullptr, doc, kBackdrop);
    EXPECT_EQ(dialog.windowTitle(), "明るさ調整");
    QScrollBar* bar = dialog.ScrollBar1();
    EXPECT_EQ(std::tuple(bar->minimum(), bar->maximum(), bar->pageStep(), bar->value()), std::tuple(-255, 255, 25, 0));
    EXPECT_EQ(bar->focusPolicy(), Qt::NoFocus);
    // The visible layers at 1:1 over the checkerboard: the hidden layer's pixel shows the backdrop.
    auto pixel = [&dialog](int x) { return dialog.Preview().Pixel(x, 0); };
    EXPECT_EQ(dialog.Preview().Width(), 16);
    EXPECT_EQ(pixel(0), (Rgb{250, 100, 0}));
    EXPECT_EQ(pixel(1), (Rgb{10, 20, 30}));
    EXPECT_EQ(pixel(4), (Rgb{40, 50, 60}));

    // Typing moves the bar and recomputes the preview, unpainted positions included.
    dialog.Edit1()->setText("10");
    EXPECT_EQ(bar->value(), 10);
    EXPECT_EQ(pixel(0), (Rgb{255, 110, 10}));
    EXPECT_EQ(pixel(1), (Rgb{20, 30, 40}));
    // The bar writes the field, negative amounts included.
    bar->triggerAction(QScrollBar::SliderPageStepSub);
    EXPECT_EQ(dialog.Edit1()->text(), "-15");
    EXPECT_EQ(pixel(0), (Rgb{235, 85, 0}));
    // "" and "-" leave the bar and the preview as they were.
    for (const char* text : {"", "-"}) {
        dialog.Edit1()->setText(text);
        EXPECT_EQ(bar->value(), -15);
        EXPECT_EQ(pixel(0), (Rgb{235, 85, 0}));
    }
    // Beyond the bar's range the bar stops at its end and the field shows what OK applies.
    dialog.Edit1()->setText("300");
    EXPECT_EQ(bar->value(), 255);
    EXPECT_EQ(dialog.Edit1()->text(), "255");
    // OK reads the up-down, which moves the bar through the field.
    dialog.UpDown1()->DownButton()->click();
    EXPECT_EQ(bar->value(), 254);
    EXPECT_EQ(dialog.Amount(), 254);
    EXPECT_EQ(dialog.Source().Pixel(0, 0), (Rgb{250, 100, 0}));
}

TEST(OpsDialogs, RgbPreviewShiftsEachChannelAndWaitsForEveryField) {
    pq::Document doc = TwoLayerDocument();
    TfrmRGB dialog(nullptr, doc, kBackdrop);
    EXPECT_EQ(dialog.windowTitle(), "RGB調整");
    dialog.Edit(0)->setText("5");
    dialog.Edit(2)->setText("7");
    EXPECT_EQ(dialog.Preview().Pixel(0, 0), (Rgb{255, 100, 7}));
    EXPECT_EQ(dialog.Preview().Pixel(1, 0), (Rgb{15, 20, 37}));
    for (int i = 0; i < 30; ++i) dialog.UpDown(1)->DownButton()->click();
    EXPECT_EQ(dialog.Edit(1)->text(), "-30");
    EXPECT_EQ(dialog.Preview().Pixel(0, 0), (Rgb{255, 70, 7}));
    // While one field holds no number the preview keeps its last state.
    dialog.Edit(1)->setText("-");
    dialog.Edit(0)->setText("0");
    EXPECT_EQ(dialog.Preview().Pixel(0, 0), (Rgb{255, 70, 7}));
    dialog.Edit(1)->setText("1");
    EXPECT_EQ(dialog.Preview().Pixel(0, 0), (Rgb{250, 101, 7}));
    EXPECT_EQ(std::tuple(dialog.AmountRed(), dialog.AmountGreen(), dialog.AmountBlue()), std::tuple(0, 1, 7));
}

TEST(OpsDialogs, CompositingListsPreviewLabelAndOkForDifferentLayers) {
    pq::Document doc = TwoLayerDocument();
    doc.AppendLayer();
    TfrmGousei dialog(nullptr, doc);
    EXPECT_EQ(dialog.windowTitle(), "合成");
    EXPECT_FALSE(dialog.windowFlags() & Qt::WindowCloseButtonHint);
    for (auto [name, text] : {std::pair{"Label1", "合成されるレイヤー"}, std::pair{"Label2", "合成するレイヤー"},
                              std::pair{"Label3", "不透明度"}, std::pair{"Label4", "結果"}})
        EXPECT_EQ(dialog.findChild<QLabel*>(name)->text(), text) << name;
    for (QComboBox* list : {dialog.ComboBox1(), dialog.ComboBox2()}) {
        EXPECT_FALSE(list->isEditable());
        EXPECT_EQ(list->count(), 3);
        EXPECT_EQ(list->itemText(2), "2");
    }
    EXPECT_EQ(std::tuple(dialog.BaseLayer(), dialog.OverlayLayer(), dialog.Opacity()), std::tuple(0, 1, 50));
    EXPECT_EQ(dialog.Label5()->text(), "50%");
    EXPECT_TRUE(dialog.OkButton()->isEnabled());
    // Unpainted pixels take part as white; the hidden layer is blended all the same.
    EXPECT_EQ(dialog.Result().Pixel(0, 0), (Rgb{252, 177, 127}));
    EXPECT_EQ(dialog.Result().Pixel(1, 0), (Rgb{254, 127, 127}));

    dialog.TrackBar1()->setValue(33);
    EXPECT_EQ(dialog.Label5()->text(), "33%");
    EXPECT_EQ(dialog.Result().Pixel(5, 5), (Rgb{254, 254, 254}));
    // The same layer in both lists: the preview follows, OK is off and does not close.
    dialog.ComboBox2()->setCurrentIndex(0);
    EXPECT_FALSE(dialog.OkButton()->isEnabled());
    EXPECT_EQ(dialog.Result().Pixel(0, 0), (Rgb{249, 100, 0}));  // two truncations
    dialog.accept();
    EXPECT_NE(dialog.result(), QDialog::Accepted);
    dialog.ComboBox1()->setCurrentIndex(2);
    EXPECT_TRUE(dialog.OkButton()->isEnabled());
    EXPECT_EQ(dialog.Result().Pixel(0, 0), (Rgb{252, 203, 170}));  // white base, layer 0 over it
}

}  // namespace
