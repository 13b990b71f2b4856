// The frame's and the tool windows' geometry over restarts (offscreen, and under a real X server
// with a window manager), their stacking, icons under a dark palette, the colour palette's labels
// and the menu bar at larger fonts, and the first start.
#include <QApplication>
#include <QLabel>
#include <QMenuBar>
#include <QProcess>
#include <QScreen>
#include <QStandardPaths>
#include <QThread>
#include <QToolBar>
#include <QToolButton>
#include <fstream>
#include <iterator>

#include "core/formats/settings_files.h"
#include "gui/app/artwork.h"
#include "gui/app/main_form.h"
#include "gui/document/image_form.h"
#include "gui/kit/tool_state.h"
#include "gui/kit/window_placement.h"
#include "gui/palettes/color_palette.h"
#include "gui/palettes/layer_palette.h"
#include "gui/palettes/preview_window.h"
#include "support/editor_fixture.h"

using namespace pq::gui;
namespace fs = std::filesystem;

namespace {

std::string Bytes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string Describe(const QRect& r) {
    return QString("%1,%2 %3x%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height()).toStdString();
}

std::vector<QWidget*> ToolWindows(const TMainForm& frame) {
    return {frame.ColorPalette(), frame.LayerPalette(), frame.Preview()};
}

void Settle(int ms) {
    for (int i = 0; i < ms / 10; ++i) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(10);
    }
}

class Geometry : public pq::test::EditorTest {
protected:
    fs::path Folder() const { return folder_.Path() / "setting"; }
    // The four settings files with window bounds, one after the other.
    std::string Stored() const {
        std::string all;
        for (const char* f : {pq::kMainSettingsFile, pq::kColorPaletteFile, pq::kLayerPaletteFile, pq::kPreviewFile})
            all += Bytes(Folder() / f) + "|";
        return all;
    }
    void Restart() {
        EndFrame();
        StartFrame();
        QCoreApplication::processEvents();
    }
};

TEST_F(Geometry, FrameAndToolWindowsComeBackUnchangedOverFourRestarts) {
    // Odd sizes and places, a layer palette made taller by the user.
    frame_->setGeometry(37, 29, 611, 433);
    frame_->ColorPalette()->move(301, 17);
    frame_->LayerPalette()->resize(frame_->LayerPalette()->width(), 251);
    frame_->LayerPalette()->move(55, 121);
    frame_->Preview()->move(403, 211);
    QCoreApplication::processEvents();
    const QRect frameWas = frame_->geometry();
    const QRect layersWas = frame_->LayerPalette()->geometry();
    Restart();
    const std::string first = Stored();
    ASSERT_EQ(Bytes(Folder() / pq::kMainSettingsFile).size(), 26u);
    for (int run = 0; run < 4; ++run) {
        EXPECT_EQ(frame_->geometry(), frameWas) << "run " << run << ": " << Describe(frame_->geometry());
        EXPECT_EQ(frame_->LayerPalette()->geometry(), layersWas) << "run " << run;
        EXPECT_EQ(frame_->ColorPalette()->pos(), QPoint(301, 17));
        EXPECT_EQ(frame_->Preview()->pos(), QPoint(403, 211));
        Restart();
        EXPECT_EQ(Stored(), first) << "run " << run;
    }
}

TEST_F(Geometry, OlderFoldersStaleOrBrokenGeometryFilesFallBackToTheStoredBounds) {
    EndFrame();
    pq::MainSettings s;
    s.HasBounds = true;
    s.Left = 50, s.Top = 60, s.Width = 601, s.Height = 437;
    ASSERT_TRUE(pq::WriteMainSettings(Folder() / pq::kMainSettingsFile, s));
    const std::string stored = Bytes(Folder() / pq::kMainSettingsFile);
    const fs::path geometry = GeometryFileOf(Folder() / pq::kMainSettingsFile);
    // An older folder (no geometry file); one of other bounds (the settings file was rewritten
    // since); a link planted under its name, to a file that must stay untouched.
    const fs::path elsewhere = folder_.Path() / "elsewhere";
    QWidget other;
    other.setGeometry(200, 200, 300, 100);
    ASSERT_TRUE(SaveWindowGeometry(other, elsewhere, QRect(50, 60, 601, 437)));
    const std::string planted = Bytes(GeometryFileOf(elsewhere));
    for (int variant = 0; variant < 3; ++variant) {
        fs::remove(geometry);
        if (variant == 1) ASSERT_TRUE(SaveWindowGeometry(other, Folder() / pq::kMainSettingsFile, QRect(1, 2, 3, 4)));
        if (variant == 2) fs::create_symlink(GeometryFileOf(elsewhere), geometry);
        StartFrame();
        QCoreApplication::processEvents();
        EXPECT_EQ(frame_->frameGeometry(), QRect(50, 60, 601, 437)) << "variant " << variant;
        EndFrame();
        EXPECT_EQ(Bytes(Folder() / pq::kMainSettingsFile), stored) << "variant " << variant;
    }
    EXPECT_FALSE(fs::is_symlink(geometry));
    EXPECT_EQ(Bytes(GeometryFileOf(elsewhere)), planted);
    // From then on the geometry file written at the end brings the same bounds back.
    StartFrame();
    QCoreApplication::processEvents();
    EXPECT_EQ(frame_->frameGeometry(), QRect(50, 60, 601, 437));
}

TEST_F(Geometry, AFramePlacedOffEveryScreenComesBackOnScreen) {
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    frame_->setGeometry(-3000, 5000, 500, 300);
    Restart();  // through the geometry file
    EXPECT_TRUE(frame_->frameGeometry().intersects(screen)) << Describe(frame_->frameGeometry());
    EndFrame();
    fs::remove(GeometryFileOf(Folder() / pq::kMainSettingsFile));
    StartFrame();  // through the stored bounds alone
    QCoreApplication::processEvents();
    EXPECT_TRUE(frame_->frameGeometry().intersects(screen)) << Describe(frame_->frameGeometry());
    EXPECT_EQ(frame_->size(), QSize(500, 300));
}

// ---- under a real X server with a window manager ------------------------------------------------

// The window ids of _NET_CLIENT_LIST_STACKING, bottom first.
QList<qulonglong> Stacking() {
    QProcess xprop;
    xprop.start("xprop", {"-root", "_NET_CLIENT_LIST_STACKING"});
    if (!xprop.waitForFinished(5000)) return {};
    const QString out = QString::fromLatin1(xprop.readAll());
    QList<qulonglong> ids;
    for (QString part : out.section('#', 1).split(',', Qt::SkipEmptyParts)) ids << part.trimmed().toULongLong(nullptr, 16);
    return ids;
}

// Run in a child process by the test below with DISPLAY set to a private X server.
TEST(UnderWindowManager, Child) {
    if (qgetenv("PQ_WM_CHILD").isEmpty()) GTEST_SKIP() << "run by UnderWindowManager.ToolWindowsStayInFrontAndGeometryHolds";
    pq::test::TempDir dir;
    const fs::path folder = dir / "setting";
    pq::test::ScriptedPrompt prompt;
    std::string first;
    for (int run = 0; run < 5; ++run) {
        if (run == 4) fs::remove(GeometryFileOf(folder / pq::kMainSettingsFile));  // an older folder
        {
            TMainForm frame(folder, &prompt);
            frame.ShowAtStartup({});
            Settle(1500);
            // Clicking the frame must not bury the tool windows under it.
            frame.raise();
            frame.activateWindow();
            Settle(500);
            const QList<qulonglong> stack = Stacking();
            const qsizetype frameAt = stack.indexOf(qulonglong(frame.winId()));
            ASSERT_GE(frameAt, 0) << "run " << run;
            const QRect avail = frame.screen()->availableGeometry();
            for (QWidget* w : ToolWindows(frame)) {
                EXPECT_GT(stack.indexOf(qulonglong(w->winId())), frameAt) << w->objectName().toStdString() << " run " << run;
                EXPECT_TRUE(avail.contains(w->frameGeometry()))
                    << w->objectName().toStdString() << " at " << Describe(w->frameGeometry());
            }
            EXPECT_TRUE(avail.contains(frame.frameGeometry())) << Describe(frame.frameGeometry());
            // Tool windows of the frame (transient for it), not top-levels of their own.
            for (QWidget* w : ToolWindows(frame)) {
                EXPECT_EQ(w->windowType(), Qt::Tool);
                EXPECT_EQ(w->parentWidget(), &frame);
            }
            frame.close();
        }
        const std::string now = Bytes(folder / pq::kMainSettingsFile);
        ASSERT_EQ(now.size(), 26u);
        if (run == 0) first = now;
        else EXPECT_EQ(now, first) << "stored bounds changed at run " << run;
    }
}

QString FindProgram(const char* name) { return QStandardPaths::findExecutable(name); }

TEST(UnderWindowManager, ToolWindowsStayInFrontAndGeometryHolds) {
    if (FindProgram("Xvfb").isEmpty() || FindProgram("openbox").isEmpty() || FindProgram("xprop").isEmpty())
        GTEST_SKIP() << "needs Xvfb, openbox and xprop (scripts/setup installs them)";
    for (const char* scale : {"1", "1.5", "2"}) {
        const QString display = QString(":%1").arg(70 + QCoreApplication::applicationPid() % 200);
        QProcess xvfb, wm;
        xvfb.start(FindProgram("Xvfb"), {display, "-screen", "0", "1280x960x24", "-nolisten", "tcp"});
        ASSERT_TRUE(xvfb.waitForStarted());
        QThread::msleep(700);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DISPLAY", display);
        wm.setProcessEnvironment(env);
        wm.start(FindProgram("openbox"), {});
        ASSERT_TRUE(wm.waitForStarted());
        QThread::msleep(700);
        env.insert("QT_QPA_PLATFORM", "xcb");
        env.insert("QT_SCALE_FACTOR", scale);
        env.insert("PQ_WM_CHILD", "1");
        QProcess child;
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start(QCoreApplication::applicationFilePath(), {"--gtest_filter=UnderWindowManager.Child"});
        const bool finished = child.waitForFinished(120000);
        const QString out = QString::fromUtf8(child.readAll());
        wm.kill();
        wm.waitForFinished();
        xvfb.terminate();
        xvfb.waitForFinished();
        ASSERT_TRUE(finished) << out.toStdString();
        EXPECT_EQ(child.exitCode(), 0) << "scale " << scale << "\n" << out.toStdString();
        EXPECT_TRUE(out.contains("[  PASSED  ] 1 test.")) << out.toStdString();
    }
}

// ---- dark and large -----------------------------------------------------------------------------

QPalette Dark() {
    QPalette p(QColor(60, 60, 62), QColor(48, 48, 50));
    for (auto role : {QPalette::WindowText, QPalette::ButtonText, QPalette::Text}) p.setColor(role, QColor(236, 236, 236));
    p.setColor(QPalette::Base, QColor(30, 31, 33));
    return p;
}

// Pixels of the icon that stand out from the button colour behind it by at least 90 grey levels.
int VisiblePixels(const QIcon& icon, const QColor& behind) {
    const QImage img = icon.pixmap(16, 16).toImage().convertToFormat(QImage::Format_ARGB32);
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) {
            const QColor c = img.pixelColor(x, y);
            const double a = c.alphaF();
            const double grey = a * qGray(c.rgb()) + (1 - a) * qGray(behind.rgb());
            if (std::abs(grey - qGray(behind.rgb())) >= 90) ++n;
        }
    return n;
}

TEST(Icons, EveryToolAndButtonIconStandsOutOnDarkAndLightButtons) {
    const QStringList buttons = {"tbNew", "tbOpen", "tbSave", "tbCut", "tbCopy", "tbPaste", "tbUndo",
                                 "tbRedo", "tbDelete", "tbZoomIn", "tbZoomOut", "tbSelectVisible", "tbSelectClear"};
    QPalette light(QColor(239, 239, 239), QColor(239, 239, 239));
    light.setColor(QPalette::ButtonText, Qt::black);
    // A style whose text colour hardly differs from its buttons still gets readable lines.
    QPalette murky(QColor(70, 70, 70), QColor(70, 70, 70));
    murky.setColor(QPalette::ButtonText, QColor(90, 90, 90));
    for (const QPalette& pal : {Dark(), light, murky}) {
        const QColor behind = pal.color(QPalette::Button);
        for (int tool = 0; tool < kToolCount; ++tool)
            EXPECT_GE(VisiblePixels(ToolIcon(tool, pal), behind), 8) << "tool " << tool << " on " << behind.name().toStdString();
        for (const QString& name : buttons)
            EXPECT_GE(VisiblePixels(CommandIcon(name, pal), behind), 8) << name.toStdString() << " on " << behind.name().toStdString();
    }
}

TEST_F(Geometry, AChangedPaletteRedrawsTheToolbarIcons) {
    const QPalette saved = QApplication::palette();
    QApplication::setPalette(Dark());
    QCoreApplication::processEvents();
    for (const char* name : {"tbtSelect", "tbtMove", "tbtText", "tbtLine", "tbtEllipse", "tbUndo"})
        EXPECT_GE(VisiblePixels(frame_->ActionNamed(name)->icon(), Dark().color(QPalette::Button)), 8) << name;
    QApplication::setPalette(saved);
}

TEST_F(Geometry, ColourPaletteLabelsNeverOverlapFromNineToTwelvePoints) {
    NewDocument();
    TfrmColorPalette* colors = frame_->ColorPalette();
    for (int pt = 9; pt <= 12; ++pt) {
        QFont f = colors->font();
        f.setPointSize(pt);
        colors->setFont(f);
        QCoreApplication::processEvents();
        const QList<QLabel*> labels = colors->PanelLabels();
        QList<QWidget*> others = {colors->findChild<QLabel*>("lblFore"), colors->findChild<QLabel*>("lblBack")};
        for (int c = 0; c < 3; ++c) others << colors->GradientBox(c) << colors->ScrollBar(c);
        const QFontMetrics fm(labels[0]->font());
        for (int i = 0; i < labels.size(); ++i) {
            const QRect r = labels[i]->geometry();
            // "R: 255" is the widest channel text.
            const QString text = i >= 1 && i <= 3 ? QString("R: 255") : labels[i]->text();
            EXPECT_LE(fm.horizontalAdvance(text), r.width()) << pt << " pt " << labels[i]->text().toStdString();
            EXPECT_LE(fm.height(), r.height() + 2) << pt << " pt " << labels[i]->text().toStdString();
            EXPECT_TRUE(colors->Panel1()->rect().contains(r)) << pt << " pt " << Describe(r);
            for (int j = i + 1; j < labels.size(); ++j)
                EXPECT_FALSE(r.intersects(labels[j]->geometry()))
                    << pt << " pt: " << labels[i]->text().toStdString() << " " << Describe(r) << " and "
                    << labels[j]->text().toStdString() << " " << Describe(labels[j]->geometry());
            for (QWidget* w : others)
                EXPECT_FALSE(r.intersects(w->geometry()))
                    << pt << " pt: " << labels[i]->text().toStdString() << " and " << w->objectName().toStdString();
        }
        EXPECT_EQ(colors->PaletteWidget()->y(), colors->Panel1()->height());
        EXPECT_EQ(colors->height(), colors->Panel1()->height() + 192);
    }
}

TEST(MenuBar, EveryMenuShowsAtTheDefaultWidthAtElevenPoints) {
    const QFont saved = QApplication::font();
    QFont f = saved;
    f.setPointSize(11);
    QApplication::setFont(f);
    {
        pq::test::TempDir dir;
        pq::test::ScriptedPrompt prompt;
        TMainForm frame(dir / "setting", &prompt);
        frame.ShowAtStartup({});  // a first start opens a document: its menus are in the bar
        QCoreApplication::processEvents();
        ASSERT_NE(frame.ActiveForm(), nullptr);
        QMenuBar* bar = frame.menuBar();
        const auto* more = bar->findChild<QToolButton*>("qt_menubar_ext_button");
        EXPECT_TRUE(!more || !more->isVisible());
        for (QAction* a : bar->actions()) {
            const QRect r = bar->actionGeometry(a);
            EXPECT_TRUE(!r.isEmpty() && r.right() < bar->width()) << a->text().toStdString() << " " << Describe(r);
        }
        EXPECT_EQ(bar->actions().last()->text(), "ヘルプ(&H)");
        EXPECT_EQ(frame.frameGeometry().height(), 460);
    }
    QApplication::setFont(saved);
}

// ---- first start --------------------------------------------------------------------------------

TEST(FirstStart, OpensABlank32By32DocumentWithToolWindowsOnScreenAndSaysWhereHelpIs) {
    pq::test::TempDir dir;
    pq::test::ScriptedPrompt prompt;
    const QFont saved = QApplication::font();
    QFont large = saved;
    large.setPointSize(12);  // the whole hint shows at a large font too
    QApplication::setFont(large);
    {
        TMainForm frame(dir / "setting", &prompt);
        frame.ShowAtStartup({});
        QCoreApplication::processEvents();
        ASSERT_EQ(frame.Forms().size(), 1);
        const pq::Document& doc = frame.Forms()[0]->Doc();
        EXPECT_EQ(doc.ImageWidth, 32);
        EXPECT_EQ(doc.ImageHeight, 32);
        EXPECT_EQ(frame.StatusText(), TMainForm::kFirstStartHint);
        const auto* panel = frame.findChild<QLabel*>("StatusPanel0");
        ASSERT_NE(panel, nullptr);
        EXPECT_LE(panel->fontMetrics().horizontalAdvance(panel->text()), panel->contentsRect().width());
        const QRect avail = frame.screen()->availableGeometry();
        for (QWidget* w : ToolWindows(frame)) {
            EXPECT_TRUE(w->isVisible()) << w->objectName().toStdString();
            EXPECT_TRUE(avail.contains(w->frameGeometry())) << w->objectName().toStdString();
        }
        // The palette shows the document's colours, not the empty crossed box.
        EXPECT_TRUE(frame.ColorPalette()->Panel1()->isVisibleTo(frame.ColorPalette()));
        EXPECT_EQ(frame.ActionNamed("tbtZoom")->isChecked(), true);
    }
    QApplication::setFont(saved);
    // The next start has settings: it opens nothing of its own.
    TMainForm again(dir / "setting", &prompt);
    again.ShowAtStartup({});
    EXPECT_TRUE(again.Forms().isEmpty());
}

}  // namespace
