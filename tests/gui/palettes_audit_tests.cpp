// The tool windows' fixed looks and the preview's 1:1 placement: captions and sizes, the layer
// toolbar's order, and where a composite of any size lands in the 50 x 50 preview.
#include <QCoreApplication>
#include <QAction>
#include <QColor>
#include <QImage>
#include <QScrollArea>
#include <QScrollBar>
#include <QToolBar>

#include "core/document/render.h"
#include "gui/app/main_form.h"
#include "gui/palettes/color_palette.h"
#include "gui/palettes/layer_palette.h"
#include "gui/palettes/preview_window.h"
#include "support/editor_fixture.h"
#include "support/test_paths.h"

using namespace pq::gui;
using pq::test::EditorTest;

namespace {

// A W x H composite whose pixel (x, y) has red = x, green = y, opaque except where `hole` says.
pq::Composite Ramp(int w, int h, bool (*hole)(int, int) = nullptr) {
    pq::Composite c;
    c.CompositeColor.Resize(w, h);
    c.CompositeMask.Resize(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const bool open = hole && hole(x, y);
            c.CompositeColor.SetPixel(x, y, open ? pq::Rgb{255, 255, 255} : pq::Rgb{uint8_t(x), uint8_t(y), 0});
            c.CompositeMask.SetPixel(x, y, open ? pq::Rgb{0, 0, 0} : pq::Rgb{255, 255, 255});
        }
    return c;
}

class Preview : public ::testing::Test {
protected:
    QColor At(int x, int y) const { return QColor(view_.Picture().pixel(x, y)); }
    static QColor Image(int x, int y) { return QColor(x, y, 0); }
    pq::test::TempDir folder_;
    TfrmView view_{nullptr, folder_.Path()};
};

TEST_F(Preview, SmallPicturesAreCentredWithDesktopMargins) {
    EXPECT_EQ(view_.windowTitle(), "ビュー");
    EXPECT_EQ(view_.size(), QSize(50, 50));
    const QColor desk = TfrmView::DesktopColor();
    view_.PaintFrom(Ramp(48, 48), 48, 48);  // 1-pixel margin all round
    EXPECT_EQ(At(0, 0), desk);
    EXPECT_EQ(At(1, 1), Image(0, 0));
    EXPECT_EQ(At(48, 48), Image(47, 47));
    EXPECT_EQ(At(49, 25), desk);
    EXPECT_EQ(At(25, 49), desk);
    // Odd sizes: left = 25 - 17 div 2 = 17; a transparent pixel keeps the desktop colour.
    view_.PaintFrom(Ramp(17, 5, [](int x, int y) { return x == 3 && y == 2; }), 17, 5);
    EXPECT_EQ(At(16, 23), desk);
    EXPECT_EQ(At(17, 23), Image(0, 0));
    EXPECT_EQ(At(33, 27), Image(16, 4));
    EXPECT_EQ(At(34, 27), desk);
    EXPECT_EQ(At(17 + 3, 23 + 2), desk);
    EXPECT_EQ(At(17 + 4, 23 + 2), Image(4, 2));
    view_.Blank();
    EXPECT_EQ(At(25, 25), desk);
}

TEST_F(Preview, LargePicturesShowTheirMiddle) {
    view_.PaintFrom(Ramp(64, 64), 64, 64);  // 7 pixels cut on each side
    EXPECT_EQ(At(0, 0), Image(7, 7));
    EXPECT_EQ(At(49, 49), Image(56, 56));
    view_.PaintFrom(Ramp(100, 20), 100, 20);  // wide: the middle columns, centred rows
    EXPECT_EQ(At(0, 15), Image(25, 0));
    EXPECT_EQ(At(49, 34), Image(74, 19));
    EXPECT_EQ(At(0, 14), TfrmView::DesktopColor());
}

class ToolWindows : public EditorTest {};

TEST_F(ToolWindows, CaptionsSizesAndTheLayerToolbarOrder) {
    TfrmColorPalette* colors = frame_->ColorPalette();
    EXPECT_EQ(colors->windowTitle(), "パレット");
    EXPECT_EQ(colors->size(), QSize(192, 192));
    NewDocument();
    EXPECT_EQ(colors->size(), QSize(192, 320));
    EXPECT_EQ(colors->PaletteWidget()->pos(), QPoint(0, 128));

    TLayerPalette* layers = frame_->LayerPalette();
    EXPECT_EQ(layers->windowTitle(), "レイヤ");
    EXPECT_EQ(layers->minimumWidth(), 200);
    EXPECT_EQ(layers->maximumWidth(), 200);
    EXPECT_EQ(layers->minimumHeight(), 163);
    QStringList order;
    for (QAction* a : layers->ToolBar1()->actions()) order << (a->isSeparator() ? "|" : a->objectName());
    EXPECT_EQ(order.join(' '), "tbbNewLayer tbbDelLayer | tbbUp tbbDown | tbbIntegrate tbbAllIntegrate | tbbName");
    // The rows scroll vertically only, one row per step.
    EXPECT_EQ(layers->LayerPanelParent()->verticalScrollBar()->singleStep(), 33);
    EXPECT_EQ(layers->LayerPanelParent()->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
}

TEST_F(ToolWindows, EveryLayerButtonFitsTheFixedWidth) {
    TLayerPalette* layers = frame_->LayerPalette();
    layers->show();
    QCoreApplication::processEvents();
    QToolBar* bar = layers->ToolBar1();
    for (QAction* a : bar->actions()) {
        if (a->isSeparator()) continue;
        QWidget* w = bar->widgetForAction(a);
        ASSERT_NE(w, nullptr) << a->objectName().toStdString();
        EXPECT_TRUE(w->isVisible()) << a->objectName().toStdString();
        EXPECT_LE(w->geometry().right(), bar->width() - 1) << a->objectName().toStdString();
    }
}

}  // namespace
