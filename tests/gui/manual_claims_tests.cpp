// The user manual read against the program: the version it states is the program's, every menu
// item its menu tables name is in that menu of the frame (with the keys it gives), and every
// pqtool command and option has its place in pqtool.html and pqtool.1. The pages are parsed by
// their plain structure: a menu is an <h2 id> over a table whose first cell of a row names the
// item (" > " leads into a submenu, "／" separates items of one row); a version is the text of
// an element of class "pq-version".
#include <QAction>
#include <QFile>
#include <QKeySequence>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>

#include "gui/app/main_form.h"
#include "gui/app/option_dialog.h"
#include "gui/document/icon_menu.h"
#include "gui/kit/command_table.h"
#include "gui/document/image_form.h"
#include "support/editor_fixture.h"

using namespace pq::gui;
using pq::test::EditorTest;

namespace {

QString ManualPath(const QString& page) {
    return QString::fromStdString((pq::test::DataDir() / "../../docs/manual").lexically_normal().string()) + "/" + page;
}

QString ReadText(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return QString();
    return QString::fromUtf8(file.readAll());
}

// Markup removed, entities of the manual decoded, spaces folded.
QString PlainText(QString html) {
    html.remove(QRegularExpression("<[^>]*>"));
    html.replace("&gt;", ">").replace("&lt;", "<").replace("&nbsp;", " ").replace("&amp;", "&");
    return html.simplified();
}

// A caption as the manual writes it: without the accelerator's '&'.
QString Shown(QString caption) { return caption.remove('&').trimmed(); }

struct ManualRow {
    QString Menu;        // the <h2> caption, e.g. "ファイル(F)"
    QStringList Path;    // submenus, then the item
    QString Keys;        // the key cell's text (empty when the row gives none)
    bool KeyColumn = false;   // the table has a キー column
};

// Every row of the tables under the menu headings of menus.html (the key list at the end
// describes keys, not items, and is left to the item rows). A row of class "pq-not-item"
// describes entries of changing captions (the window list) and names no item.
std::vector<ManualRow> MenuRows(const QString& html) {
    std::vector<ManualRow> rows;
    static const QRegularExpression section(R"re(<h2 id="([a-z]+)">(.*?)</h2>(.*?)(?=<h2 |</main>))re",
                                            QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression table(R"re(<table>(.*?)</table>)re", QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression row(R"re(<tr>(.*?)</tr>)re", QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression cell(R"re(<td[^>]*>(.*?)</td>)re", QRegularExpression::DotMatchesEverythingOption);
    for (auto s = section.globalMatch(html); s.hasNext();) {
        const auto m = s.next();
        if (m.captured(1) == "keys") continue;
        const QString menu = PlainText(m.captured(2));
        for (auto t = table.globalMatch(m.captured(3)); t.hasNext();) {
            const QString body = t.next().captured(1);
            const bool hasKeys = body.contains("<th>キー</th>");
            for (auto r = row.globalMatch(body); r.hasNext();) {
                QStringList cells;
                for (auto c = cell.globalMatch(r.next().captured(1)); c.hasNext();) cells << c.next().captured(1);
                if (cells.isEmpty()) continue;   // the heading row
                const QStringList path = PlainText(cells[0]).split(" > ");
                const QString keys = hasKeys && cells.size() > 1 ? PlainText(cells[1]).remove(' ') : QString();
                for (const QString& item : path.last().split("／")) {
                    QStringList one = path.mid(0, path.size() - 1);
                    one << item.trimmed();
                    rows.push_back({menu, one, keys, hasKeys});
                }
            }
        }
    }
    return rows;
}

std::string Lines(const std::set<std::string>& items) {
    std::string text;
    for (const std::string& item : items) text += "\n  " + item;
    return text;
}

// The actions under `menu`, the captions refreshed as opening the menu refreshes them.
void Walk(QMenu* menu, QList<QAction*>& into) {
    emit menu->aboutToShow();
    for (QAction* a : menu->actions()) {
        if (a->isSeparator()) continue;
        into << a;
        if (a->menu()) Walk(a->menu(), into);
    }
}

class ManualClaims : public EditorTest {
protected:
    // The frame's menus with a document open, as one list per top-level caption.
    QMap<QString, QList<QAction*>> Menus() {
        QMap<QString, QList<QAction*>> menus;
        for (QAction* top : frame_->menuBar()->actions())
            if (top->menu() && top->isVisible()) Walk(top->menu(), menus[Shown(top->text())]);
        return menus;
    }
    // The action of `path` inside `actions`: each step a submenu's caption, the last the item's.
    static QAction* Find(const QList<QAction*>& actions, const QStringList& path) {
        QList<QAction*> level = actions;
        QAction* found = nullptr;
        for (const QString& step : path) {
            found = nullptr;
            // An undo item shows the step it undoes after its caption ("元に戻す(U) - 名前").
            for (QAction* a : level)
                if (Shown(a->text()) == step || Shown(a->text()).startsWith(step + " - ")) found = a;
            if (!found) return nullptr;
            if (found->menu()) {
                level.clear();
                Walk(found->menu(), level);
            }
        }
        return found;
    }
};

TEST_F(ManualClaims, TheVersionStatedIsTheProgramsOwn) {
    TAboutBox about(nullptr);
    QString shown;
    for (QLabel* label : about.findChildren<QLabel*>())
        if (label->text().startsWith("Version ")) shown = label->text().mid(8);
    ASSERT_FALSE(shown.isEmpty());

    QProcess pqtool;
    pqtool.start(QString::fromStdString(pq::test::PqtoolPath().string()), {"--version"});
    ASSERT_TRUE(pqtool.waitForFinished(30000));
    EXPECT_EQ(QString::fromUtf8(pqtool.readAllStandardOutput()).trimmed(), "pqtool " + shown);

    int stated = 0;
    static const QRegularExpression marked(R"re(<[a-z]+ class="pq-version">(.*?)</)re");
    for (const QString page : {"index.html", "dialogs.html"}) {
        const QString html = ReadText(ManualPath(page));
        ASSERT_FALSE(html.isEmpty()) << page.toStdString();
        for (auto m = marked.globalMatch(html); m.hasNext(); ++stated)
            EXPECT_EQ(PlainText(m.next().captured(1)).remove("Version ").toStdString(), shown.toStdString()) << page.toStdString();
        // A version written without the marker would escape this check.
        static const QRegularExpression bare(R"re(Version \d|バージョン\s*\d)re");
        EXPECT_FALSE(QString(html).remove(marked).contains(bare)) << page.toStdString();
    }
    EXPECT_GE(stated, 2);
}

TEST_F(ManualClaims, EveryMenuItemOfTheManualIsInItsMenuWithItsKeys) {
    const QString html = ReadText(ManualPath("menus.html"));
    const std::vector<ManualRow> rows = MenuRows(html);
    ASSERT_GT(rows.size(), 60u);   // the parse found the tables

    // Captions that change with the document: a 16-colour document with two steps, one of them
    // undone (so both 元に戻す and やり直し name a step), and a 256-colour one.
    std::set<std::string> missing, wrongKeys;
    std::vector<bool> found(rows.size(), false);
    for (const int colours : {0, 1}) {
        TImageForm* form = NewDocument(1, colours);
        ASSERT_NE(form, nullptr);
        ChooseTool(pq::gui::kToolBrush);
        ClickCell(1, 1);
        ClickCell(2, 2);
        form->MenuAction("meUndo")->trigger();
        const QMap<QString, QList<QAction*>> menus = Menus();
        for (std::size_t i = 0; i < rows.size(); ++i)
            if (!found[i] && menus.contains(rows[i].Menu)) found[i] = Find(menus[rows[i].Menu], rows[i].Path) != nullptr;
    }
    const QMap<QString, QList<QAction*>> menus = Menus();
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const ManualRow& row = rows[i];
        const std::string name = (row.Menu + " > " + row.Path.join(" > ")).toStdString();
        if (!found[i]) {
            missing.insert(name);
            continue;
        }
        QAction* action = menus.contains(row.Menu) ? Find(menus[row.Menu], row.Path) : nullptr;
        if (!action) continue;   // an item of the other colour count
        // The keys column gives the default keys (the Options dialog may add others), and an
        // empty cell says the item has none.
        if (row.KeyColumn && row.Path.size() == 1 && !action->menu()) {
            bool matches = row.Keys.isEmpty() && action->shortcut().isEmpty();
            for (const QKeySequence& k : action->shortcuts()) matches |= k == QKeySequence(row.Keys);
            if (!matches) wrongKeys.insert(name + " (" + row.Keys.toStdString() + " / " + action->shortcut().toString().toStdString() + ")");
        }
    }
    EXPECT_TRUE(missing.empty()) << "not in the menus:" << Lines(missing);
    EXPECT_TRUE(wrongKeys.empty()) << "other keys (manual / program):" << Lines(wrongKeys);
}

// The keys the manual lists for 一般的なショートカットキーを使う are the ones the option gives: each
// row names a command by its menu path without accelerators, and its keys before any remark.
TEST_F(ManualClaims, TheCommonShortcutKeysAreTheOnesListed) {
    const QString html = ReadText(ManualPath("menus.html"));
    static const QRegularExpression table(R"re(id="commonkeys".*?<table>(.*?)</table>)re",
                                          QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression row(R"re(<tr><td>(.*?)</td><td>(.*?)</td></tr>)re");
    const QString body = table.match(html).captured(1);
    ASSERT_FALSE(body.isEmpty());
    TImageForm* form = NewDocument(1, 0);
    ASSERT_NE(form, nullptr);
    ChooseTool(pq::gui::kToolBrush);
    ClickCell(1, 1);
    form->MenuAction("meUndo")->trigger();   // やり直し then names the step, as the manual writes it
    SetCommonShortcuts(true);
    ApplyShortcutScheme(frame_.get());
    static const QRegularExpression accelerator(R"re(\(.\)$)re");
    int rows = 0;
    for (auto r = row.globalMatch(body); r.hasNext(); ++rows) {
        const auto m = r.next();
        const QStringList path = PlainText(m.captured(1)).split(" > ");
        QList<QAction*> level;
        for (QAction* top : frame_->menuBar()->actions())
            if (top->menu() && top->isVisible()) level << top;
        QAction* action = nullptr;
        for (const QString& step : path) {
            action = nullptr;
            for (QAction* a : level)
                if (Shown(a->text()).section(" - ", 0, 0).remove(accelerator) == step) action = a;
            ASSERT_NE(action, nullptr) << path.join(" > ").toStdString();
            level.clear();
            if (action->menu()) Walk(action->menu(), level);
        }
        QStringList listed, given;
        for (const QString& key : PlainText(m.captured(2)).section("（", 0, 0).split("と"))
            listed << QKeySequence(QString(key).remove(' ')).toString();
        for (const QKeySequence& k : action->shortcuts()) given << k.toString();
        EXPECT_EQ(given.join(", ").toStdString(), listed.join(", ").toStdString()) << path.join(" > ").toStdString();
    }
    SetCommonShortcuts(false);
    ApplyShortcutScheme(frame_.get());
    EXPECT_GE(rows, 5);
}

// The words of `pqtool --help` and each command's options, in the English help.
QStringList Help(const QStringList& args) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("LC_ALL", "C.UTF-8");
    p.setProcessEnvironment(env);
    p.start(QString::fromStdString(pq::test::PqtoolPath().string()), args);
    if (!p.waitForFinished(30000)) return {};
    return QString::fromUtf8(p.readAllStandardOutput()).split('\n');
}

QStringList Options(const QStringList& help) {
    QSet<QString> found;
    static const QRegularExpression option(R"re(--[a-z][a-z-]*)re");
    for (const QString& line : help)
        for (auto m = option.globalMatch(line); m.hasNext();) found << m.next().captured(0);
    QStringList list(found.begin(), found.end());
    list.sort();
    return list;
}

TEST(PqtoolWords, EveryCommandAndOptionHasItsPlaceInBothManuals) {
    const QString html = ReadText(ManualPath("pqtool.html"));
    const QString page = ReadText(ManualPath("../man/pqtool.1"));
    ASSERT_FALSE(html.isEmpty());
    ASSERT_FALSE(page.isEmpty());
    const QStringList main = Help({"--help"});
    QStringList commands;
    bool inList = false;
    for (const QString& line : main) {
        if (line.startsWith("Commands:")) inList = true;
        else if (inList && line.isEmpty()) inList = false;
        else if (inList && QRegularExpression("^  [a-z]").match(line).hasMatch()) commands << line.simplified().section(' ', 0, 0);
    }
    commands.removeDuplicates();
    ASSERT_GE(commands.size(), 6) << commands.join(' ').toStdString();
    const QString htmlText = PlainText(html);
    for (const QString& command : commands) {
        EXPECT_TRUE(html.contains("<h2 id=\"" + command + "\">" + command + "</h2>")) << "pqtool.html: " << command.toStdString();
        EXPECT_TRUE(page.contains(QRegularExpression("^\\.SS \"" + QRegularExpression::escape(command) + " ",
                                                     QRegularExpression::MultilineOption)))
            << "pqtool.1: " << command.toStdString();
        for (const QString& option : Options(Help({command, "--help"}))) {
            EXPECT_TRUE(htmlText.contains(option)) << "pqtool.html: " << command.toStdString() << " " << option.toStdString();
            EXPECT_TRUE(page.contains(QString(option).replace("-", "\\-")))
                << "pqtool.1: " << command.toStdString() << " " << option.toStdString();
        }
    }
    for (const QString& option : Options(main))
        EXPECT_TRUE(htmlText.contains(option)) << "pqtool.html: " << option.toStdString();
}

}  // namespace
