// ヘルプ > トピックの検索: the manual goes to the browser as a file: URL of an index.html that
// exists (for a build run in place, the source tree's copy); the first folder holding one wins;
// with none anywhere the message names every path tried.
#include <QAction>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <QUrl>
#include <filesystem>
#include <fstream>

#include "gui/app/main_form.h"
#include "support/editor_fixture.h"

using namespace pq::gui;
using pq::test::EditorTest;
namespace fs = std::filesystem;

namespace {

class Help : public EditorTest {
protected:
    ~Help() override { TMainForm::SetManualFolders({}); }

    static QString Q(const fs::path& p) { return QString::fromStdString(p.string()); }

    // The menu entry as the user picks it.
    void TopicSearch() {
        for (QAction* a : frame_->menuBar()->actions())
            if (a->text() == "ヘルプ(&H)" && a->menu() && !a->menu()->actions().isEmpty()) {
                ASSERT_EQ(a->menu()->actions()[0]->text(), "トピックの検索(&T)...");
                a->menu()->actions()[0]->trigger();
                return;
            }
        FAIL() << "no ヘルプ menu";
    }

    // The local file of the URL last handed to the browser (empty when the last prompt was none).
    QString OpenedFile() const {
        if (prompt_.Shown().empty() || prompt_.Shown().back().Kind != "url") return QString();
        const QUrl url(prompt_.Shown().back().Text);
        return url.isLocalFile() ? url.toLocalFile() : QString();
    }
};

TEST_F(Help, TopicSearchOpensTheFirstManualFoundOrListsWhereItLooked) {
    // The default places: run from the build folder, the source tree's manual is found.
    TopicSearch();
    ASSERT_EQ(prompt_.Shown().size(), 1u);
    EXPECT_TRUE(OpenedFile().endsWith("/index.html")) << OpenedFile().toStdString();
    EXPECT_TRUE(QFileInfo(OpenedFile()).isFile()) << OpenedFile().toStdString();

    // In order, skipping a folder without the index and one whose index.html is no file.
    const fs::path absent = folder_ / "absent";
    const fs::path notAFile = folder_ / "not a file";
    const fs::path manual = folder_ / "manual ü";
    fs::create_directories(notAFile / "index.html");
    fs::create_directories(manual);
    std::ofstream(manual / "index.html") << "<html></html>";
    TMainForm::SetManualFolders({Q(absent), Q(notAFile), Q(manual), Q(folder_ / "later")});
    TopicSearch();
    ASSERT_EQ(prompt_.Shown().size(), 2u);
    EXPECT_EQ(OpenedFile().toStdString(), (manual / "index.html").string());

    // Nowhere: one message, the paths tried one per line.
    TMainForm::SetManualFolders({Q(absent), Q(notAFile)});
    prompt_.ExpectMessage(PromptAnswer::Ok);
    TopicSearch();
    ASSERT_EQ(prompt_.Shown().size(), 3u);
    EXPECT_EQ(prompt_.Shown().back().Kind.toStdString(), "message");
    EXPECT_EQ(prompt_.Shown().back().Text.toStdString(),
              "マニュアルが見つかりませんでした。\n" + (absent / "index.html").string() + "\n" + (notAFile / "index.html").string());
}

}  // namespace
