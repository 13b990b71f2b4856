// The image-operation dialogs on their own: digit-only number fields, defaults, an empty field as
// Cancel for the angle and the offsets but not for the colour amounts, the shadow dialog reused
// for scrolling, the brightness and RGB dialogs' coupled controls, live previews and a brightness
// bar fine enough to drag, and the compositing dialog's lists, label and OK button.
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
#include <QStyle>
#include <QStyleOptionSlider>
#include <QSlider>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>
#include <cstdlib>
#include <memory>

#include "core/document/document.h"
#include "gui/ops/adjust_dialogs.h"
#include "gui/ops/gousei_dialog.h"
#include "gui/ops/shadow_dialog.h"
#include "gui/ops/transform_dialogs.h"
#include "gui/kit/up_down.h"

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

TEST(OpsDialogs, AnEmptyFieldTurnsOkIntoCancelForAngleAndOffsets) {
    std::vector<std::pair<std::unique_ptr<QDialog>, QLineEdit*>> cases;
    auto* rotate = new TfrmRotate(nullptr);
    cases.emplace_back(rotate, rotate->Edit1());
    for (int i = 0; i < 2; ++i) {
        auto* shadow = new TfrmShadow(nullptr);
        cases.emplace_back(shadow, i == 0 ? shadow->Edit1() : shadow->Edit2());
    }
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

// The colour adjustments read their up-downs on OK: a field typed into and then emptied, or left
// holding "-", still counts with the last amount it showed, the one the preview and bar show.
TEST(OpsDialogs, AnEmptiedAmountFieldKeepsItsLastAmountForOk) {
    pq::Document doc = TwoLayerDocument();
    TfrmBlight blight(nullptr, doc, kBackdrop);
    blight.Edit1()->clear();
    QTest::keyClicks(blight.Edit1(), "40");
    blight.Edit1()->selectAll();
    QTest::keyClick(blight.Edit1(), Qt::Key_Delete);
    ASSERT_EQ(blight.Edit1()->text(), "");
    ClickOk(blight);
    EXPECT_EQ(blight.result(), QDialog::Accepted);
    EXPECT_EQ(std::pair(blight.Amount(), blight.ScrollBar1()->value()), std::pair(40, 40));
    EXPECT_EQ(blight.Preview().Pixel(0, 0), (Rgb{255, 140, 40}));

    TfrmRGB rgb(nullptr, doc, kBackdrop);
    rgb.Edit(0)->clear();
    QTest::keyClicks(rgb.Edit(0), "12");
    rgb.Edit(0)->clear();
    for (int i = 0; i < 3; ++i) rgb.UpDown(1)->DownButton()->click();
    rgb.Edit(1)->end(false);
    QTest::keyClick(rgb.Edit(1), Qt::Key_Backspace);
    ASSERT_EQ(rgb.Edit(1)->text(), "-");
    ClickOk(rgb);
    EXPECT_EQ(rgb.result(), QDialog::Accepted);
    EXPECT_EQ(std::tuple(rgb.AmountRed(), rgb.AmountGreen(), rgb.AmountBlue()), std::tuple(12, -3, 0));
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

// The bar is long enough to aim with at every document size, the preview's width included:
// its thumb is a small part of the track, and a one-pixel drag of the thumb moves the amount by
// a step or two, not to the end of the range.
TEST(OpsDialogs, BrightnessBarIsFineGrainedAtEveryDocumentSize) {
    for (auto [width, height] : {std::pair{32, 32}, std::pair{37, 5}, std::pair{256, 256}}) {
        SCOPED_TRACE(testing::Message() << width << "x" << height);
        pq::Document doc;
        pq::InitBlankDocument(doc, width, height, 16, 10);
        TfrmBlight dialog(nullptr, doc, kBackdrop);
        dialog.show();
        QScrollBar* bar = dialog.ScrollBar1();
        EXPECT_EQ(std::tuple(bar->minimum(), bar->maximum()), std::tuple(-255, 255));
        EXPECT_LE(bar->pageStep() * 10, bar->maximum() - bar->minimum());
        QStyleOptionSlider opt;
        opt.initFrom(bar);
        opt.subControls = QStyle::SC_All;
        opt.orientation = bar->orientation();
        opt.minimum = bar->minimum();
        opt.maximum = bar->maximum();
        opt.sliderPosition = opt.sliderValue = bar->value();
        opt.singleStep = bar->singleStep();
        opt.pageStep = bar->pageStep();
        const QRect groove = bar->style()->subControlRect(QStyle::CC_ScrollBar, &opt, QStyle::SC_ScrollBarGroove, bar);
        const QRect thumb = bar->style()->subControlRect(QStyle::CC_ScrollBar, &opt, QStyle::SC_ScrollBarSlider, bar);
        EXPECT_LE(thumb.width() * 8, groove.width());
        // Ten pixels show that the drag reaches the bar at all; one pixel must stay fine.
        for (int dx : {+1, -1, +10, -10}) {
            const QPoint from = thumb.center();
            QTest::mousePress(bar, Qt::LeftButton, Qt::NoModifier, from);
            QTest::mouseMove(bar, from + QPoint(dx, 0));
            QTest::mouseRelease(bar, Qt::LeftButton, Qt::NoModifier, from + QPoint(dx, 0));
            EXPECT_EQ(bar->value() > 0, dx > 0) << dx;
            EXPECT_LE(std::abs(bar->value()), 3 * std::abs(dx)) << dx;
            EXPECT_EQ(dialog.Edit1()->text(), QString::number(bar->value()));
            bar->setValue(0);
        }
    }
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
