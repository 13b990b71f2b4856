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

namespace {

// The build-tree fallback is decided from the program's own folder: a CMake build folder of
// Pixquil (the editor in it, a test program one below) leads to its source tree's manual; an
// installed program in bin/ never does, even beside a build's cache.
TEST_F(Help, TheSourceTreesManualIsFoundFromABuildFolderOnly) {
    const fs::path source = folder_ / "src tree ü";
    fs::create_directories(source / "docs/manual");
    std::ofstream(source / "docs/manual/index.html") << "<html></html>";
    auto cache = [&](const fs::path& dir, const std::string& text) {
        fs::create_directories(dir);
        std::ofstream(dir / "CMakeCache.txt") << "# a cache\nCMAKE_BUILD_TYPE:STRING=\n" << text;
    };
    const fs::path build = folder_ / "build";
    cache(build, "Pixquil_SOURCE_DIR:STATIC=" + source.string() + "\n");
    fs::create_directories(build / "tests");
    const QString manual = Q(source / "docs/manual");
    EXPECT_EQ(TMainForm::BuildTreeManualFolder(Q(build)), manual);
    EXPECT_EQ(TMainForm::BuildTreeManualFolder(Q(build / "tests")), manual);

    cache(folder_ / "prefix/bin", "Pixquil_SOURCE_DIR:STATIC=" + source.string() + "\n");
    EXPECT_EQ(TMainForm::BuildTreeManualFolder(Q(folder_ / "prefix/bin")), QString());
    cache(folder_ / "other", "Other_SOURCE_DIR:STATIC=" + source.string() + "\n");
    EXPECT_EQ(TMainForm::BuildTreeManualFolder(Q(folder_ / "other")), QString());
    cache(folder_ / "stale", "Pixquil_SOURCE_DIR:STATIC=" + (folder_ / "gone").string() + "\n");
    EXPECT_EQ(TMainForm::BuildTreeManualFolder(Q(folder_ / "stale")), QString());
    fs::create_directories(folder_ / "odd/CMakeCache.txt");   // a folder where the cache would be
    EXPECT_EQ(TMainForm::BuildTreeManualFolder(Q(folder_ / "odd")), QString());
}

}  // namespace
