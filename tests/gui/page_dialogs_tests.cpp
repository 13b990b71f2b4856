// The new-page dialog of an icon set takes every whole side from 1 to 256, both ends included,
// and keeps itself open with a warning for anything else; 256 typed in the dialog opened from
// the アイコン menu makes a 256 x 256 page.
#include <QComboBox>
#include <QPushButton>
#include <gtest/gtest.h>

#include "gui/document/image_form.h"
#include "gui/document/page_dialogs.h"
#include "gui/app/main_form.h"
#include "support/editor_fixture.h"

namespace pq::test {
namespace {

using gui::PromptAnswer;

class PageDialogs : public EditorTest {};

// The dialog with `text` in its size box, OK clicked: whether it closed accepted.
bool AcceptWith(gui::TfrmAddPage& dialog, const QString& text) {
    dialog.setResult(QDialog::Rejected);
    dialog.SizeBox()->setCurrentText(text);
    dialog.findChild<QPushButton*>("Button1")->click();
    return dialog.result() == QDialog::Accepted;
}

TEST_F(PageDialogs, AddPageTakesEverySideFromOneTo256) {
    gui::TfrmAddPage dialog(nullptr, prompt_, 16);
    for (const QString text : {"1", "7", "255", "256", " 256 ", "32"}) {
        SCOPED_TRACE(text.toStdString());
        EXPECT_TRUE(AcceptWith(dialog, text));
        EXPECT_EQ(dialog.ChosenSize(), text.trimmed().toInt());
    }
    // 256 offered in the list is taken as well as typed.
    const int at = dialog.SizeBox()->findText("256");
    ASSERT_GE(at, 0);
    dialog.SizeBox()->setCurrentIndex(at);
    EXPECT_EQ(dialog.ChosenSize(), 256);
    EXPECT_TRUE(prompt_.Shown().empty()) << prompt_.Shown().front().Text.toStdString();
}

TEST_F(PageDialogs, AddPageRefusesOtherTextWithAWarningAndStaysOpen) {
    gui::TfrmAddPage dialog(nullptr, prompt_, 256);
    const QStringList refused = {"0", "257", "-1", "1000", "", "abc", "16.5", "3x3"};
    for (const QString& text : refused) {
        SCOPED_TRACE(text.toStdString());
        prompt_.ExpectMessage(PromptAnswer::Ok);
        EXPECT_FALSE(AcceptWith(dialog, text));
        EXPECT_EQ(dialog.ChosenSize(), 0);
    }
    ASSERT_EQ(prompt_.Shown().size(), std::size_t(refused.size()));
    for (const ShownPrompt& shown : prompt_.Shown()) {
        EXPECT_EQ(shown.Title, "ページの追加");
        EXPECT_EQ(shown.Text, "サイズには1から256までの整数を入力してください。");
    }
    EXPECT_TRUE(prompt_.Done());
}

TEST_F(PageDialogs, AddPageOf256FromTheIconMenu) {
    gui::TImageForm* form = NewDocument(1, 0);   // 32 x 32, 16 colours
    ASSERT_NE(form, nullptr);
    prompt_.ExpectDialog("TfrmAddPage", [](QDialog& d) {
        auto& dialog = static_cast<gui::TfrmAddPage&>(d);
        dialog.SizeBox()->setCurrentText("256");
        dialog.findChild<QPushButton*>("Button1")->click();
        return d.result() == QDialog::Accepted;
    });
    form->MenuAction("miAddPage")->trigger();
    EXPECT_TRUE(prompt_.Done());
    ASSERT_EQ(form->PageCount(), 2);
    // Placed after every page not larger: last.
    EXPECT_EQ(form->PageDoc(1).ImageWidth, 256);
    EXPECT_EQ(form->PageDoc(1).ImageHeight, 256);
}

}  // namespace
}  // namespace pq::test
