// Icon sets as a designer works with them: the strip fits the designed frame whatever the set
// holds, pages are dragged to a new place, new pages take their place in the set's own order of
// sizes, and the place of the current page survives a crash.
#include <QApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QScrollArea>
#include <QTest>
#include <gtest/gtest.h>

#include "core/formats/icon_file.h"
#include "core/formats/icon_set.h"
#include "core/formats/page_view_settings.h"
#include "gui/app/main_form.h"
#include "gui/document/icon_menu.h"
#include "gui/document/image_form.h"
#include "gui/document/page_strip.h"
#include "gui/formats/icon_chooser.h"
#include "support/editor_fixture.h"

namespace pq::test {
namespace {

struct Spec {
    int w, h, colors;   // colors 32: written as PNG
};

// A palette page painted all over in a colour of its own (index 1), a corner left unpainted.
Document PageOf(const Spec& s, int i) {
    Document d;
    InitBlankDocument(d, s.w, s.h, s.colors == 16 ? 16 : 256, 20);
    d.Palette[1] = MakeEntry(Rgb{uint8_t(20 + 23 * i), uint8_t(250 - 11 * i), uint8_t(i * 7)});
    Layer& l = d.LayerAt(0);
    std::fill(l.Indices.begin(), l.Indices.end(), uint8_t(1));
    std::fill(l.Mask.begin(), l.Mask.end(), uint8_t(1));
    l.Mask[0] = 0;
    return d;
}

class IconSetPages : public EditorTest {
protected:
    std::filesystem::path Write(const std::vector<Spec>& specs, const std::string& name = "set.ico") {
        std::vector<Document> docs;
        for (std::size_t i = 0; i < specs.size(); ++i) docs.push_back(PageOf(specs[i], int(i)));
        std::vector<IconSetEntry> entries;
        for (std::size_t i = 0; i < specs.size(); ++i)
            entries.push_back({&docs[i], specs[i].colors == 32 ? IconPageKind::Png : IconPageKind::Palette});
        const auto path = folder_ / name;
        EXPECT_TRUE(SaveIconSet(entries, path, kIconResourceType).Ok);
        return path;
    }
    gui::TImageForm* OpenAll(const std::filesystem::path& path) {
        prompt_.ExpectDialog("TForm7", [](QDialog& d) {
            static_cast<gui::TForm7&>(d).Button3()->click();
            return d.result() == QDialog::Accepted;
        });
        gui::TImageForm* form = frame_->OpenFile(QString::fromStdString(path.string()));
        QApplication::processEvents();
        return form;
    }
    // The height of the canvas's own view (the scroll area under the strip).
    static int CanvasHeight(gui::TImageForm* form) {
        for (QScrollArea* s : form->findChildren<QScrollArea*>())
            if (s->objectName() != "PageStripScroll") return s->viewport()->height();
        return -1;
    }
    std::vector<int> Sides(gui::TImageForm* form) {
        std::vector<int> sides;
        for (int i = 0; i < form->PageCount(); ++i) sides.push_back(form->PageDoc(i).ImageWidth);
        return sides;
    }
};

// n pages of the usual sizes in both depths, a 256 x 256 PNG among them.
std::vector<Spec> UsualPages(int n) {
    const int sides[] = {16, 20, 24, 32, 40, 48, 64, 96, 128};
    std::vector<Spec> specs{{256, 256, 32}};
    for (int i = 0; int(specs.size()) < n; ++i) specs.push_back({sides[i % 9], sides[i % 9], i < 9 ? 16 : 256});
    return specs;
}

TEST_F(IconSetPages, TheStripLeavesTheCanvasRoomInTheDesignedFrame) {
    frame_->resize(640, 460);
    for (int n : {5, 10, 18}) {
        SCOPED_TRACE(std::to_string(n) + " pages");
        gui::TImageForm* form = OpenAll(Write(UsualPages(n), "set" + std::to_string(n) + ".ico"));
        ASSERT_NE(form, nullptr);
        ASSERT_EQ(form->PageCount(), n);
        EXPECT_GE(CanvasHeight(form), 200);
        // The window lies wholly inside the document area: nothing of it is cut off.
        auto* sub = qobject_cast<QMdiSubWindow*>(form->parentWidget());
        ASSERT_NE(sub, nullptr);
        EXPECT_TRUE(frame_->MdiArea()->viewport()->rect().contains(sub->geometry()))
            << sub->geometry().width() << "x" << sub->geometry().height() << " in "
            << frame_->MdiArea()->viewport()->width() << "x" << frame_->MdiArea()->viewport()->height();
        // The 256 page is shown 48 high, a 16 page at its own size.
        gui::TPageStrip* strip = form->PageStrip();
        EXPECT_EQ(strip->PictureRect(0).size(), QSize(48, 48));
        EXPECT_EQ(strip->PictureRect(1).size(), QSize(16, 16));
        sub->close();
        QApplication::processEvents();
    }
}

TEST_F(IconSetPages, TheStripIsHiddenOrResizedFromTheViewMenuAndTheChoiceIsKept) {
    frame_->resize(640, 460);
    gui::TImageForm* form = OpenAll(Write(UsualPages(5)));
    ASSERT_NE(form, nullptr);
    const int withStrip = CanvasHeight(form);
    form->findChild<QAction*>("mvPageStrip")->trigger();
    QApplication::processEvents();
    EXPECT_FALSE(form->findChild<QScrollArea*>("PageStripScroll")->isVisible());
    EXPECT_GT(CanvasHeight(form), withStrip + 48);
    form->findChild<QAction*>("mvPageStrip")->trigger();
    form->findChild<QAction*>("mvStrip64")->trigger();
    QApplication::processEvents();
    EXPECT_EQ(form->PageStrip()->PictureRect(0).size(), QSize(64, 64));
    EXPECT_EQ(CanvasHeight(form), withStrip - 16);

    EndFrame();
    EXPECT_EQ(ReadPageViewSettings(folder_.Path() / "setting" / kPageViewSettingsFile).StripHeight, 64);
    StartFrame();
    form = OpenAll(Write(UsualPages(5)));
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(form->PageStrip()->PictureRect(0).size(), QSize(64, 64));
}

TEST_F(IconSetPages, APageDraggedInTheStripMovesThereAndTheFileIsWrittenInThatOrder) {
    const auto path = Write({{16, 16, 16}, {24, 24, 16}, {32, 32, 256}, {48, 48, 16}});
    gui::TImageForm* form = OpenAll(path);
    ASSERT_NE(form, nullptr);
    gui::TPageStrip* strip = form->PageStrip();
    // Page 0 taken past the middle of page 2: it goes after it.
    const QPoint from = strip->PictureRect(0).center();
    const QPoint to(strip->CellRect(2).center().x() + 4, from.y());
    QTest::mousePress(strip, Qt::LeftButton, {}, from);
    for (int step = 1; step <= 4; ++step) {
        QMouseEvent move(QEvent::MouseMove, QPointF(from + (to - from) * step / 4), strip->mapToGlobal(QPointF(from)),
                         Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(strip, &move);
    }
    QTest::mouseRelease(strip, Qt::LeftButton, {}, to);
    EXPECT_EQ(Sides(form), (std::vector<int>{24, 32, 16, 48}));
    EXPECT_EQ(form->CurrentPage(), 2) << "the page dragged stays the current one";
    EXPECT_EQ(form->Doc().ImageWidth, 16);
    EXPECT_TRUE(form->SetChanged());
    // A click without a drag moves nothing.
    QTest::mouseClick(strip, Qt::LeftButton, {}, strip->PictureRect(3).center());
    EXPECT_EQ(Sides(form), (std::vector<int>{24, 32, 16, 48}));
    EXPECT_EQ(form->CurrentPage(), 3);

    ASSERT_TRUE(form->Save());
    std::vector<IconSetPage> pages;
    int type = 0;
    ASSERT_TRUE(LoadIconSetFile(path, 20, pages, type).Ok);
    ASSERT_EQ(pages.size(), 4u);
    for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(pages[i].Doc.ImageWidth, (std::vector<int>{24, 32, 16, 48})[i]);
    EXPECT_EQ(pages[2].Doc.ColorCount, 16);
}

TEST_F(IconSetPages, NewSizesGoWhereTheyBelongInAscendingAndDescendingSets) {
    for (const bool descending : {false, true}) {
        SCOPED_TRACE(descending ? "descending" : "ascending");
        std::vector<Spec> specs{{16, 16, 16}, {32, 32, 16}, {48, 48, 16}};
        if (descending) std::reverse(specs.begin(), specs.end());
        gui::TImageForm* form = OpenAll(Write(specs, descending ? "down.ico" : "up.ico"));
        ASSERT_NE(form, nullptr);
        form->SelectPage(1);
        gui::MakePageSizes(*form, {24, 256, 20});
        const std::vector<int> up{16, 20, 24, 32, 48, 256};
        EXPECT_EQ(Sides(form), descending ? std::vector<int>(up.rbegin(), up.rend()) : up);
        EXPECT_EQ(form->Doc().ImageWidth, 32) << "the page the sizes were made from stays current";
    }
}

}  // namespace
}  // namespace pq::test
