// The dialogs of the file commands on their own: the icon image chooser, the area picker in
// import and paste mode, and the program-file icon dialog.
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include "core/formats/picture_import.h"
#include "gui/formats/area_picker.h"
#include "gui/formats/exe_dll_dialog.h"
#include "gui/formats/icon_chooser.h"
#include "support/formats_files.h"
#include "support/scripted_prompt.h"
#include "support/test_paths.h"

namespace pq::test {
namespace {

using gui::TfrmSelectOpenArea;

// ---- image chooser ---------------------------------------------------------------------------

TEST(IconChooser, ListsEveryImageAndReturnsTheChosenLine) {
    IconDirectory dir;
    ASSERT_TRUE(ReadIconDirectory(JoinIcons({DiagonalIcon(32, 16), DiagonalIcon(48, 256), DiagonalIcon(16, 16)}), dir).Ok);

    ScriptedPrompt prompt;
    prompt.ExpectDialog("TForm7", [](QDialog& d) {
        auto& chooser = static_cast<gui::TForm7&>(d);
        EXPECT_EQ(chooser.windowTitle(), "複数のデバイスが存在します");
        EXPECT_EQ(chooser.findChild<QLabel*>("Label1")->text(), "開くデバイスを選択してください");
        QComboBox* list = chooser.ComboBox1();
        EXPECT_FALSE(list->isEditable());
        EXPECT_EQ(list->count(), 3);
        EXPECT_EQ(list->itemText(0), "0： サイズ：32×32 色数：16色");
        EXPECT_EQ(list->itemText(1), "1： サイズ：48×48 色数：256色");
        EXPECT_EQ(list->itemText(2), "2： サイズ：16×16 色数：16色");
        EXPECT_EQ(list->currentIndex(), 0);
        list->setCurrentIndex(2);
        chooser.Button1()->click();
        return chooser.result() == QDialog::Accepted;
    });
    const auto chosen = gui::ChooseIconImage(prompt, nullptr, dir);
    ASSERT_TRUE(chosen);
    EXPECT_EQ(chosen->Index, 2);
    EXPECT_FALSE(chosen->All);

    // すべて開く: every image, whichever line is selected.
    prompt.ExpectDialog("TForm7", [](QDialog& d) {
        auto& chooser = static_cast<gui::TForm7&>(d);
        EXPECT_EQ(chooser.Button3()->text(), "すべて開く");
        chooser.ComboBox1()->setCurrentIndex(1);
        chooser.Button3()->click();
        return d.result() == QDialog::Accepted;
    });
    const auto all = gui::ChooseIconImage(prompt, nullptr, dir);
    ASSERT_TRUE(all);
    EXPECT_TRUE(all->All);

    prompt.ExpectDialog("TForm7", [](QDialog& d) {
        static_cast<gui::TForm7&>(d).Button2()->click();
        return d.result() == QDialog::Accepted;
    });
    EXPECT_EQ(gui::ChooseIconImage(prompt, nullptr, dir), std::nullopt);

    // A single image is taken without asking.
    IconDirectory one;
    ASSERT_TRUE(ReadIconDirectory(DiagonalIcon(32, 16), one).Ok);
    const auto single = gui::ChooseIconImage(prompt, nullptr, one);
    ASSERT_TRUE(single);
    EXPECT_EQ(single->Index, 0);
    EXPECT_TRUE(prompt.Done());
}

// ---- area picker -----------------------------------------------------------------------------

class AreaPicker : public ::testing::Test {
protected:
    AreaPicker() : picture_(PatternPicture(120, 90)) {}

    // Mouse events sent straight to the picture (QTest would take (0, 0) for "the centre").
    static void Send(TfrmSelectOpenArea& d, QEvent::Type type, QPoint p, Qt::MouseButton button, Qt::MouseButtons held) {
        QMouseEvent event(type, QPointF(p), d.Image1()->mapToGlobal(QPointF(p)), button, held, Qt::NoModifier);
        QApplication::sendEvent(d.Image1(), &event);
    }
    static void PressAt(TfrmSelectOpenArea& d, QPoint p) { Send(d, QEvent::MouseButtonPress, p, Qt::LeftButton, Qt::LeftButton); }
    static void MoveTo(TfrmSelectOpenArea& d, QPoint p) { Send(d, QEvent::MouseMove, p, Qt::NoButton, Qt::LeftButton); }
    static void ReleaseAt(TfrmSelectOpenArea& d, QPoint p) { Send(d, QEvent::MouseButtonRelease, p, Qt::LeftButton, Qt::NoButton); }
    static void Click(TfrmSelectOpenArea& d, QPoint p) {
        PressAt(d, p);
        ReleaseAt(d, p);
    }
    static void DragTo(TfrmSelectOpenArea& d, QPoint from, QPoint to) {
        PressAt(d, from);
        MoveTo(d, to);
        ReleaseAt(d, to);
    }

    Raster picture_;
};

TEST_F(AreaPicker, StartsWithTheTopLeftCornerAndTheImportChoices) {
    TfrmSelectOpenArea d(nullptr, picture_);
    EXPECT_EQ(d.windowTitle(), "範囲選択");
    EXPECT_EQ(d.findChild<QLabel*>("Label1")->text(), "貼り付ける部分を選択してください。");
    EXPECT_EQ(d.Image1()->size(), QSize(120, 90));
    EXPECT_EQ(d.CheckBox1()->text(), "正方形");
    EXPECT_TRUE(d.CheckBox1()->isChecked());
    EXPECT_FALSE(d.SizeGroup()->isHidden());
    EXPECT_FALSE(d.ColorGroup()->isHidden());
    EXPECT_EQ(d.SizeItem(), 0);
    EXPECT_EQ(d.OutputColors(), 16);
    EXPECT_EQ(d.Picker().FrameRect(), Rect{});
    ASSERT_EQ(d.Preview().Width(), 16);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) ASSERT_EQ(d.Preview().Pixel(x, y), picture_.Pixel(x, y));
    EXPECT_EQ(d.Image2()->size(), QSize(16, 16));
}

TEST_F(AreaPicker, AClickTakesAnAreaOfTheOutputSizeUnscaled) {
    TfrmSelectOpenArea d(nullptr, picture_);
    d.SizeGroup()->findChildren<QAbstractButton*>()[1]->click();   // 32×32ピクセル
    EXPECT_EQ(d.SizeItem(), 1);
    EXPECT_EQ(d.Image2()->size(), QSize(32, 32));
    Click(d, QPoint(10, 20));
    EXPECT_EQ(d.Picker().FrameRect(), (Rect{10, 20, 42, 52}));
    ASSERT_EQ(d.Preview().Width(), 32);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) ASSERT_EQ(d.Preview().Pixel(x, y), picture_.Pixel(10 + x, 20 + y)) << x << "," << y;

    // The frame is drawn as an inverted outline over the picture; the inside stays as it was.
    const QImage shown = d.Image1()->grab().toImage();
    const Rgb corner = picture_.Pixel(10, 20), inside = picture_.Pixel(11, 21), right = picture_.Pixel(41, 30);
    EXPECT_EQ(QColor(shown.pixel(10, 20)), QColor(255 - corner.r, 255 - corner.g, 255 - corner.b));
    EXPECT_EQ(QColor(shown.pixel(41, 30)), QColor(255 - right.r, 255 - right.g, 255 - right.b));
    EXPECT_EQ(QColor(shown.pixel(11, 21)), QColor(inside.r, inside.g, inside.b));
    EXPECT_EQ(QColor(shown.pixel(42, 30)), QColor(picture_.Pixel(42, 30).r, picture_.Pixel(42, 30).g, picture_.Pixel(42, 30).b));
}

TEST_F(AreaPicker, ADragOfTwiceTheOutputSizeAveragesTwoByTwo) {
    TfrmSelectOpenArea d(nullptr, picture_);
    d.rgSizeClick(1);
    DragTo(d, QPoint(4, 6), QPoint(68, 70));
    EXPECT_EQ(d.Picker().FrameRect(), (Rect{4, 6, 68, 70}));
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            int sum[3] = {0, 0, 0};
            for (int dy = 0; dy < 2; ++dy)
                for (int dx = 0; dx < 2; ++dx) {
                    const Rgb c = picture_.Pixel(4 + 2 * x + dx, 6 + 2 * y + dy);
                    sum[0] += c.r, sum[1] += c.g, sum[2] += c.b;
                }
            ASSERT_EQ(d.Preview().Pixel(x, y), (Rgb{uint8_t(sum[0] / 4), uint8_t(sum[1] / 4), uint8_t(sum[2] / 4)}))
                << x << "," << y;
        }
}

TEST_F(AreaPicker, SquareKeepsTheDraggedFrameSquareAndTheLabelsShowTheBand) {
    TfrmSelectOpenArea d(nullptr, picture_);
    PressAt(d, QPoint(0, 0));
    MoveTo(d, QPoint(50, 20));
    EXPECT_EQ(d.Label2()->text(), "幅：20");
    EXPECT_EQ(d.Label3()->text(), "高さ：20");
    EXPECT_EQ(d.DrawnOutline(), (Rect{0, 0, 20, 20}));
    ReleaseAt(d, QPoint(50, 20));
    EXPECT_EQ(d.Picker().FrameRect(), (Rect{0, 0, 20, 20}));

    // Unticked, the frame follows the mouse.
    d.CheckBox1()->setChecked(false);
    DragTo(d, QPoint(60, 5), QPoint(110, 25));
    EXPECT_EQ(d.Picker().FrameRect(), (Rect{60, 5, 110, 25}));
    EXPECT_EQ(d.Label2()->text(), "幅：50");

    // A drag starting inside the frame moves it.
    DragTo(d, QPoint(70, 10), QPoint(65, 30));
    EXPECT_EQ(d.Picker().FrameRect(), (Rect{55, 25, 105, 45}));
}

TEST_F(AreaPicker, UseWholePictureScalesTheWholePictureAndUnticksSquare) {
    TfrmSelectOpenArea d(nullptr, picture_);
    d.rgSizeClick(2);
    d.Button3()->click();
    EXPECT_FALSE(d.CheckBox1()->isChecked());
    EXPECT_EQ(d.Picker().FrameRect(), (Rect{0, 0, 120, 90}));
    EXPECT_EQ(d.Label2()->text(), "幅：120");
    EXPECT_EQ(d.Label3()->text(), "高さ：90");
    Raster expected(48, 48);
    expected.Fill(kWhite);
    ResampleArea(picture_, 0, 0, 120, 90, expected);
    EXPECT_TRUE(d.Preview() == expected);
}

// 高速 is offered unticked for an import, drives the whole-picture preview when ticked (a
// 400 x 300 picture averaged down by 4 for 48 x 48) and is hidden in paste mode.
TEST_F(AreaPicker, FastIsOffAtFirstAndTakesTheReducedWholePicture) {
    const Raster big = PatternPicture(400, 300);
    TfrmSelectOpenArea d(nullptr, big);
    ASSERT_TRUE(d.FastBox());
    EXPECT_EQ(d.FastBox()->text(), "高速");
    EXPECT_FALSE(d.FastBox()->isChecked());
    d.rgSizeClick(2);
    d.FastBox()->setChecked(true);
    d.Button3()->click();
    EXPECT_EQ(d.Picker().FrameRect(), (Rect{0, 0, 400, 300}));
    pq::AreaPicker fast(big, 48, 48);
    fast.Fast = true;
    fast.UseWholePicture();
    EXPECT_TRUE(d.Preview() == fast.Preview());
    TfrmSelectOpenArea paste(nullptr, big, gui::AreaPickerMode::Paste, 48, 32);
    EXPECT_TRUE(paste.FastBox()->isHidden());
}

TEST_F(AreaPicker, ChangingTheSizeKeepsTheOldPreviewUntilTheNextPress) {
    TfrmSelectOpenArea d(nullptr, picture_);
    Click(d, QPoint(30, 40));
    d.rgSizeClick(1);
    ASSERT_EQ(d.Preview().Width(), 32);
    EXPECT_EQ(d.Preview().Pixel(0, 0), picture_.Pixel(30, 40));
    EXPECT_EQ(d.Preview().Pixel(20, 20), kWhite);
}

TEST_F(AreaPicker, PasteModeTakesTheDocumentSizeAndHidesTheImportChoices) {
    TfrmSelectOpenArea d(nullptr, picture_, gui::AreaPickerMode::Paste, 48, 32);
    EXPECT_TRUE(d.SizeGroup()->isHidden());
    EXPECT_TRUE(d.ColorGroup()->isHidden());
    EXPECT_EQ(d.CheckBox1()->text(), "最適化");
    EXPECT_TRUE(d.CheckBox1()->isChecked());
    EXPECT_EQ(d.Preview().Width(), 48);
    EXPECT_EQ(d.Preview().Height(), 32);
    EXPECT_EQ(d.Preview().Pixel(47, 31), picture_.Pixel(47, 31));
    // The box keeps the frame square while ticked, and 全体を使う unticks it.
    DragTo(d, QPoint(0, 0), QPoint(40, 10));
    EXPECT_EQ(d.Picker().FrameRect(), (Rect{0, 0, 10, 10}));
    d.Button3Click();
    EXPECT_FALSE(d.CheckBox1()->isChecked());
    EXPECT_EQ(d.Picker().FrameRect(), (Rect{0, 0, 120, 90}));
    EXPECT_EQ(d.Preview().Width(), 48);
}

// ---- program-file icon dialog ------------------------------------------------------------------

class ExeDll : public ::testing::Test {
protected:
    // The dialog with a document maker that counts, and optionally presses キャンセル.
    std::unique_ptr<gui::TfrmExeDll> MakeDialog() {
        auto d = std::make_unique<gui::TfrmExeDll>(nullptr, prompt_, [this](const IconPicture& icon) {
            EXPECT_EQ(icon.Color.Width(), 32);
            EXPECT_EQ(icon.Mask.Width(), 32);
            ++created_;
            if (created_ == cancelAt_) dialog_->Button3()->click();
        });
        dialog_ = d.get();
        return d;
    }
    void Choose(const std::filesystem::path& file) {
        prompt_.ExpectOpenFile(QString::fromStdString(file.string()));
        dialog_->Button1()->click();
    }

    ScriptedPrompt prompt_;
    gui::TfrmExeDll* dialog_ = nullptr;
    int created_ = 0;
    int cancelAt_ = -1;
};

TEST_F(ExeDll, StartsEmptyAndListsTheIconsOfTheChosenProgram) {
    auto d = MakeDialog();
    EXPECT_EQ(d->windowTitle(), "実行可能ファイルから読み込み");
    EXPECT_EQ(d->Edit1()->text(), "参照ボタンで選んでください。");
    EXPECT_TRUE(d->Edit1()->isReadOnly());
    EXPECT_FALSE(d->Button2()->isEnabled());
    EXPECT_EQ(d->Button2()->text(), "読み込む");

    prompt_.ExpectOpenFile(std::nullopt);
    d->Button1()->click();
    EXPECT_EQ(d->ComboBox1()->count(), 0);
    ASSERT_EQ(prompt_.Shown().back().Text, "EXE、DLL、SCR(*.exe;*.dll;*.scr) (*.exe *.dll *.scr)");

    const auto program = DataDir() / "program_icons" / "pe32_icons.exe";
    Choose(program);
    ASSERT_GT(d->IconCount(), 0);
    EXPECT_EQ(d->Edit1()->text(), QString::fromStdString(program.string()));
    ASSERT_EQ(d->ComboBox1()->count(), d->IconCount() + 1);
    EXPECT_EQ(d->ComboBox1()->itemText(0), "すべて");
    EXPECT_EQ(d->ComboBox1()->itemText(1), "0");
    EXPECT_EQ(d->ComboBox1()->currentIndex(), 0);
    EXPECT_TRUE(d->Button2()->isEnabled());
    EXPECT_EQ(d->PreviewImage().pixel(5, 5), qRgb(255, 255, 255));

    // A line shows its icon; すべて blanks the preview again.
    d->ComboBox1Change(1);
    ProgramIcons icons;
    ASSERT_TRUE(ProgramIcons::Load(program, icons).Ok);
    IconPicture first;
    ASSERT_TRUE(icons.Extract(0, first));
    EXPECT_EQ(d->PreviewImage(), gui::IconPreviewImage(first));
    d->ComboBox1Change(0);
    EXPECT_EQ(d->PreviewImage().pixel(5, 5), qRgb(255, 255, 255));

    // A file without icons is reported and leaves the list and the load button as they were.
    const int lines = d->ComboBox1()->count();
    prompt_.ExpectOpenFile(QString::fromStdString((DataDir() / "three_layers.pqf").string()));
    prompt_.ExpectMessage(gui::PromptAnswer::Ok);
    d->Button1()->click();
    EXPECT_EQ(prompt_.Shown().back().Text, "アイコンが含まれていません");
    EXPECT_EQ(d->ComboBox1()->count(), lines);
    EXPECT_TRUE(d->Button2()->isEnabled());
    EXPECT_EQ(d->Edit1()->text(), QString::fromStdString(program.string()));
    EXPECT_EQ(created_, 0);
}

TEST_F(ExeDll, OneLineMakesOneDocumentAndSkipsAnIndexWithoutIcon) {
    auto d = MakeDialog();
    Choose(DataDir() / "bad" / "program_icons" / "group_without_images.dll");
    ASSERT_EQ(d->IconCount(), 2);
    d->ComboBox1Change(2);
    d->Button2()->click();
    EXPECT_EQ(created_, 1);
    EXPECT_EQ(d->result(), QDialog::Accepted);

    // すべて over the same file: the group that yields no picture makes no window.
    created_ = 0;
    auto all = MakeDialog();
    Choose(DataDir() / "bad" / "program_icons" / "group_without_images.dll");
    all->ComboBox1Change(1);   // icon 0 has no picture: the preview stays white
    EXPECT_EQ(all->PreviewImage().pixel(0, 0), qRgb(255, 255, 255));
    all->ComboBox1Change(0);
    all->Button2()->click();
    EXPECT_EQ(created_, 1);
    EXPECT_EQ(all->result(), QDialog::Accepted);
    EXPECT_TRUE(all->Idle());
}

TEST_F(ExeDll, AllIconsOfACorpusProgramAndCancelDuringTheRun) {
    const auto regedit = CorpusDir() / "pe" / "regedit.exe";
    if (!std::filesystem::exists(regedit)) GTEST_SKIP() << "corpus absent";
    ProgramIcons icons;
    ASSERT_TRUE(ProgramIcons::Load(regedit, icons).Ok);
    int extractable = 0;
    for (int i = 0; i < icons.Count(); ++i) {
        IconPicture p;
        extractable += icons.Extract(i, p) ? 1 : 0;
    }

    auto d = MakeDialog();
    Choose(regedit);
    EXPECT_EQ(d->IconCount(), 6);
    d->Button2()->click();
    EXPECT_EQ(created_, extractable);
    EXPECT_EQ(d->result(), QDialog::Accepted);

    // キャンセル pressed while the second icon is made: the run stops there, the documents made
    // stay, and the dialog closes with Cancel.
    created_ = 0;
    cancelAt_ = 2;
    auto run = MakeDialog();
    Choose(regedit);
    run->Button2()->click();
    EXPECT_EQ(created_, 2);
    EXPECT_EQ(run->result(), QDialog::Rejected);
    EXPECT_TRUE(run->Idle());

    // キャンセル with no run in progress just closes.
    auto idle = MakeDialog();
    idle->Button3()->click();
    EXPECT_EQ(idle->result(), QDialog::Rejected);
}

}  // namespace
}  // namespace pq::test
