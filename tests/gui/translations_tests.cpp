// Qt's standard dialogs speak Japanese once the program installed Qt's translation: the close
// prompt's buttons, as the production prompt shows them, and the file chooser's columns.
#include <QAbstractButton>
#include <QApplication>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLocale>
#include <QMap>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <gtest/gtest.h>

#include "gui/kit/prompt.h"
#include "gui/kit/translations.h"

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

// Under a system locale that is not Japanese (the tests run under C), the default locale is, and
// the file chooser's columns follow it: sizes, dates and the folders' type, which Qt's catalogue
// leaves in English.
TEST(QtJapanese, TheFileChooserWritesSizesDatesAndKindsInJapanese) {
    if (QLocale::system().language() == QLocale::Japanese) GTEST_SKIP() << "needs a system locale other than Japanese";
    gui::InstallQtJapanese();
    EXPECT_EQ(QLocale().language(), QLocale::Japanese);
    EXPECT_EQ(QLocale().formattedDataSize(100), "100 バイト");
    EXPECT_EQ(QLocale().toString(QDate(2024, 3, 5), QLocale::ShortFormat), "2024/03/05");

    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkdir("sub"));
    QFile file(dir.filePath("a.bmp"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(100, 'x'));
    file.close();
    QFileDialog dialog;
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    gui::UseDefaultLocaleForFileDetails(dialog);
    dialog.setDirectory(dir.path());
    const auto* view = dialog.findChild<QTreeView*>("treeView");
    ASSERT_NE(view, nullptr);
    const QAbstractItemModel* model = view->model();
    ASSERT_TRUE(QTest::qWaitFor([&] { return model->rowCount(view->rootIndex()) == 2; }, 5000));
    QMap<QString, QStringList> rows;  // name -> size, type, date modified
    for (int r = 0; r < 2; ++r) {
        auto cell = [&](int column) { return model->index(r, column, view->rootIndex()).data().toString(); };
        rows[cell(0)] = {cell(1), cell(2), cell(3)};
    }
    const QString modified = QLocale().toString(QFileInfo(file).lastModified(), QLocale::ShortFormat);
    EXPECT_EQ(rows.value("a.bmp").value(0), "100 バイト");
    EXPECT_EQ(rows.value("a.bmp").value(2), modified);
    EXPECT_EQ(rows.value("sub").value(0), "");
    EXPECT_EQ(rows.value("sub").value(1), "フォルダー");
}

}  // namespace
}  // namespace pq::test
