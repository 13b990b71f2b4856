// The tool windows on other screens and under other styles: placement at first start and from
// stored positions at any scale factor, and a dark style with roomier buttons.
#include <QAction>
#include <QApplication>
#include <QFile>
#include <QProcess>
#include <QProxyStyle>
#include <QScreen>
#include <QStyleFactory>
#include <QToolBar>
#include <QToolButton>

#include "core/formats/settings_files.h"
#include "gui/app/main_form.h"
#include "gui/kit/window_placement.h"
#include "gui/palettes/color_palette.h"
#include "gui/palettes/layer_palette.h"
#include "gui/palettes/preview_window.h"
#include "support/editor_fixture.h"
#include "support/test_paths.h"

using namespace pq::gui;
using pq::test::EditorTest;

namespace {

std::string Describe(const QRect& r) {
    return QString("%1,%2 %3x%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height()).toStdString();
}

void ExpectInside(const QRect& area, const QWidget* w) {
    EXPECT_TRUE(w->isVisible()) << w->objectName().toStdString();
    EXPECT_TRUE(area.contains(w->frameGeometry()))
        << w->objectName().toStdString() << " at " << Describe(w->frameGeometry()) << " on " << Describe(area);
}

class ToolWindowPlacement : public EditorTest {
protected:
    std::vector<QWidget*> ToolWindows() const {
        return {frame_->ColorPalette(), frame_->LayerPalette(), frame_->Preview()};
    }
};

// Also run by the test below in a child process at another scale factor.
TEST_F(ToolWindowPlacement, FreshStartPutsEveryToolWindowOnTheScreen) {
    QCoreApplication::processEvents();
    QScreen* screen = frame_->screen();
    const QByteArray scale = qgetenv("QT_SCALE_FACTOR");
    if (!scale.isEmpty()) {
        EXPECT_EQ(screen->devicePixelRatio(), scale.toDouble());
    }
    for (const QWidget* w : ToolWindows()) ExpectInside(screen->availableGeometry(), w);
}

// The scale factor is read once, as the application starts: a child process of this binary runs
// the check above at scale 2 on a 1280 x 800 screen, 640 x 400 device-independent pixels.
TEST(ToolWindowPlacementAtScaleTwo, FreshStartPutsEveryToolWindowOnTheScreen) {
    pq::test::TempDir dir;
    const QString config = QString::fromStdString((dir.Path() / "screens.json").string());
    QFile file(config);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(R"({"screens": [{"name": "wide", "x": 0, "y": 0, "width": 1280, "height": 800}]})");
    file.close();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_SCALE_FACTOR", "2");
    env.insert("QT_QPA_PLATFORM", "offscreen:configfile=" + config);
    QProcess child;
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(),
                {"--gtest_filter=ToolWindowPlacement.FreshStartPutsEveryToolWindowOnTheScreen"});
    ASSERT_TRUE(child.waitForFinished(60000));
    const QString out = QString::fromUtf8(child.readAll());
    EXPECT_EQ(child.exitCode(), 0) << out.toStdString();
    EXPECT_TRUE(out.contains("[  PASSED  ] 1 test.")) << out.toStdString();
}

TEST_F(ToolWindowPlacement, StoredPositionsOffTheScreenComeBackWhole) {
    EndFrame();
    const auto folder = folder_.Path() / "setting";
    const QRect avail = QGuiApplication::primaryScreen()->availableGeometry();
    // Off every screen; partly off to the left and below; wholly on, at an odd place.
    ASSERT_TRUE(pq::WriteWindowPosition(folder / pq::kColorPaletteFile, {-4000, 2500}));
    ASSERT_TRUE(pq::WriteWindowPosition(folder / pq::kLayerPaletteFile, {avail.left() - 37, avail.bottom() - 61}));
    ASSERT_TRUE(pq::WriteWindowPosition(folder / pq::kPreviewFile, {avail.left() + 33, avail.top() + 47}));
    StartFrame();
    QCoreApplication::processEvents();
    for (const QWidget* w : ToolWindows()) ExpectInside(avail, w);
    // A window partly off moves no further than it must.
    const QRect layers = frame_->LayerPalette()->frameGeometry();
    EXPECT_EQ(layers.left(), avail.left());
    EXPECT_EQ(layers.bottom(), avail.bottom());
    EXPECT_EQ(frame_->Preview()->pos(), avail.topLeft() + QPoint(33, 47));
    // A window larger than the screen along an axis starts at the screen's edge there.
    EXPECT_EQ(KeepWhollyOnScreen(QRect(avail.left() - 9, avail.top() + 5, avail.width() + 3, 21), nullptr),
              QPoint(avail.left(), avail.top() + 5));
}

// Fusion with the wider button frames and separators of desktop dark themes (the toolbar's
// style sheet sizes its buttons from the base style's frame width).
class RoomyStyle : public QProxyStyle {
public:
    RoomyStyle() : QProxyStyle(QStyleFactory::create("Fusion")) {}
    int pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const override {
        const int v = QProxyStyle::pixelMetric(metric, option, widget);
        if (metric == PM_DefaultFrameWidth) return v + 4;
        if (metric == PM_ToolBarSeparatorExtent) return v + 6;
        return v;
    }
};

QPalette DarkPalette() {
    QPalette p(QColor(60, 60, 62), QColor(48, 48, 50));  // button, window
    p.setColor(QPalette::WindowText, QColor(236, 236, 236));
    p.setColor(QPalette::ButtonText, QColor(236, 236, 236));
    p.setColor(QPalette::Text, QColor(236, 236, 236));
    p.setColor(QPalette::Base, QColor(30, 31, 33));
    p.setColor(QPalette::Highlight, QColor(53, 132, 228));
    p.setColor(QPalette::HighlightedText, QColor(255, 255, 255));
    return p;
}

class DarkStyle : public EditorTest {
protected:
    DarkStyle() {
        EndFrame();
        QApplication::setStyle(new RoomyStyle);
        QApplication::setPalette(DarkPalette());
        StartFrame();
    }
    ~DarkStyle() override {
        EndFrame();
        QApplication::setStyle(QStyleFactory::create("Fusion"));
        QApplication::setPalette(saved_);
    }
    const QPalette saved_ = QApplication::palette();
};

TEST_F(DarkStyle, EveryLayerButtonShowsAndTheRenameLetterTakesTheTextColour) {
    QCoreApplication::processEvents();
    QToolBar* bar = frame_->LayerPalette()->ToolBar1();
    const auto* extension = bar->findChild<QToolButton*>("qt_toolbar_ext_button");
    ASSERT_NE(extension, nullptr);
    EXPECT_FALSE(extension->isVisible());
    for (QAction* a : bar->actions()) {
        if (a->isSeparator()) continue;
        const QWidget* w = bar->widgetForAction(a);
        ASSERT_NE(w, nullptr) << a->objectName().toStdString();
        EXPECT_TRUE(w->isVisible()) << a->objectName().toStdString();
        EXPECT_TRUE(bar->rect().contains(w->geometry())) << a->objectName().toStdString();
    }
    // The rename button's bare letter is drawn in the button text colour, not black.
    const QImage letter = frame_->LayerPalette()->Button("tbbName")->icon().pixmap(16, 16).toImage();
    int ink = 0, dark = 0;
    for (int y = 0; y < letter.height(); ++y)
        for (int x = 0; x < letter.width(); ++x) {
            const QColor c = letter.pixelColor(x, y);
            if (c.alpha() < 160) continue;
            ++ink;
            dark += c.lightness() < 128;
        }
    EXPECT_GT(ink, 10);
    EXPECT_EQ(dark, 0);

    // The colour grid is the document's own picture: black beyond the colour count, white
    // lines between entries, whatever the style.
    NewDocument(0, 0);
    const QImage shot = frame_->ColorPalette()->PaletteWidget()->grab().toImage();
    ASSERT_EQ(shot.size(), QSize(192, 192));
    EXPECT_EQ(QColor(shot.pixel(50, 100)), QColor(Qt::black));
    EXPECT_EQ(QColor(shot.pixel(12, 5)), QColor(Qt::red));   // the drawing colour's marker
    EXPECT_EQ(QColor(shot.pixel(10 * 12 + 5, 5)), QColor(255, 0, 0));
}

}  // namespace
