// The editor as a first-time user meets it: what the file choosers show.
#include <QComboBox>
#include <QFileDialog>
#include <gtest/gtest.h>

#include "gui/app/prompt.h"
#include "gui/document/document_files.h"
#include "support/editor_fixture.h"

namespace pq::test {
namespace {

QStringList ShownFilters(const QFileDialog& dialog) {
    QStringList shown;
    if (const auto* combo = dialog.findChild<QComboBox*>("fileTypeCombo"))
        for (int i = 0; i < combo->count(); ++i) shown << combo->itemText(i);
    return shown;
}

// Each filter line reads as its description, once ("PixquilFile(*.pqf)", not followed by Qt's own
// "(*.pqf)"); a name typed without an extension is saved under the extension of the filter
// chosen, so the file is named after the format written.
TEST(FileChoosers, ShowEachFilterOnceAndSaveUnderTheChosenFiltersExtension) {
    TempDir folder;
    auto descriptions = [](const QString& filter) {
        QStringList out;
        for (const QString& entry : filter.split(";;")) out << entry.left(entry.lastIndexOf(" ("));
        return out;
    };
    gui::FileDialogRequest open;
    open.Filter = gui::OpenFileFilter();
    open.FilterIndex = gui::kOpenFilterAllIndex;
    QFileDialog opener;
    gui::SetUpFileDialog(opener, open, false);
    const QStringList offered = ShownFilters(opener);
    EXPECT_EQ(offered, descriptions(open.Filter));
    ASSERT_GE(offered.size(), 6);
    EXPECT_EQ(offered[0], "PixquilFile(*.pqf)");
    EXPECT_EQ(offered[1], "アイコン(*ico)");
    EXPECT_TRUE(offered[gui::kOpenFilterAllIndex].startsWith("開けるファイル(*.pqf;*.ico;*.cur;*.bmp;*.jpg;*.jpeg"));
    for (const QString& line : offered) EXPECT_EQ(line.count('('), 1) << line.toStdString();

    gui::FileDialogRequest save;
    save.Filter = gui::SaveFileFilter();
    save.DefaultSuffix = "pqf";
    gui::TSaveFileDialog saver(nullptr, "名前を付けて保存");
    gui::SetUpFileDialog(saver, save, true);
    saver.setDirectory(QString::fromStdString(folder.Path().string()));
    const QStringList shown = ShownFilters(saver);
    EXPECT_EQ(shown, descriptions(save.Filter));
    ASSERT_GE(shown.size(), 4);
    EXPECT_EQ(shown.mid(0, 4), (QStringList{"PixquilFile(*.pqf)", "アイコン(*.ico)", "カーソル(*.cur)", "ビットマップ(*.bmp)"}));
    const QStringList extensions = {"pqf", "ico", "cur", "bmp"};
    for (int i = 0; i < extensions.size(); ++i) {
        saver.selectNameFilter(saver.nameFilters()[i]);
        saver.selectFile("picture");
        EXPECT_EQ(saver.ChosenFilterIndex(), i);
        EXPECT_TRUE(saver.ChosenFile().endsWith("/picture." + extensions[i])) << saver.ChosenFile().toStdString();
        // An extension typed is kept.
        saver.selectFile("picture.bmp");
        EXPECT_TRUE(saver.ChosenFile().endsWith("/picture.bmp"));
    }
}

}  // namespace
}  // namespace pq::test
