// Qt's standard dialogs speak Japanese once the program installed Qt's translation: the close
// prompt's buttons, as the production prompt shows them.
#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <gtest/gtest.h>

#include "gui/app/prompt.h"
#include "gui/app/translations.h"

namespace pq::test {
namespace {

TEST(QtJapanese, TheCloseQuestionsButtonsAreJapanese) {
    ASSERT_TRUE(gui::InstallQtJapanese()) << "Qt's Japanese translation is not installed";
    QStringList texts;
    QTimer::singleShot(0, [&texts] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        for (QMessageBox::StandardButton b : {QMessageBox::Yes, QMessageBox::No, QMessageBox::Cancel})
            texts << box->button(b)->text();
        box->button(QMessageBox::Cancel)->click();
    });
    gui::QtPrompt prompt;
    const gui::PromptAnswer answer = prompt.Message(nullptr, "上書き確認", "保存しますか？", gui::PromptIcon::Question,
                                                    gui::PromptButtons::YesNoCancel);
    EXPECT_EQ(answer, gui::PromptAnswer::Cancel);
    ASSERT_EQ(texts.size(), 3);
    EXPECT_EQ(texts[0], "はい(&Y)");
    EXPECT_EQ(texts[1], "いいえ(&N)");
    EXPECT_EQ(texts[2], "キャンセル");
}

}  // namespace
}  // namespace pq::test
