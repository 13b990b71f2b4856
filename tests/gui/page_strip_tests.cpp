// The page strip of an icon set whose pages are not square: cells advance by each page's width
// (or its label's), never by its height, so no two cells overlap, every picture is drawn in its
// own cell at its own size, and a click anywhere on a picture chooses that page.
#include <QImage>
#include <QPixmap>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include "core/formats/icon_set.h"
#include "gui/document/image_form.h"
#include "gui/document/page_strip.h"
#include "gui/formats/icon_chooser.h"
#include "gui/app/main_form.h"
#include "support/editor_fixture.h"

namespace pq::test {
namespace {

// Pages of these sizes, each painted all over in a colour of its own.
struct PageSize {
    int w, h;
};
const PageSize kSizes[] = {{32, 16}, {16, 32}, {160, 24}, {24, 160}, {7, 3}};
constexpr int kPages = int(std::size(kSizes));

Rgb PageColour(int i) { return Rgb{uint8_t(40 + 50 * i), uint8_t(200 - 30 * i), uint8_t(i % 2 ? 230 : 10)}; }

std::vector<Document> PageDocuments() {
    std::vector<Document> docs(kPages);
    for (int i = 0; i < kPages; ++i) {
        Document& d = docs[std::size_t(i)];
        InitBlankDocument(d, kSizes[i].w, kSizes[i].h, 16, 20);
        d.Palette[1] = MakeEntry(PageColour(i));
        Layer& l = d.LayerAt(0);
        std::fill(l.Indices.begin(), l.Indices.end(), uint8_t(1));
        std::fill(l.Mask.begin(), l.Mask.end(), uint8_t(1));
    }
    return docs;
}

class PageStrip : public EditorTest {
protected:
    gui::TImageForm* OpenPages() {
        const std::vector<Document> docs = PageDocuments();
        std::vector<IconSetEntry> entries;
        for (const Document& d : docs) entries.push_back({&d, IconPageKind::Palette});
        const auto path = folder_ / "pages.ico";
        EXPECT_TRUE(SaveIconSet(entries, path, kIconResourceType).Ok);
        prompt_.ExpectDialog("TForm7", [](QDialog& d) {
            static_cast<gui::TForm7&>(d).Button3()->click();
            return d.result() == QDialog::Accepted;
        });
        return frame_->OpenFile(QString::fromStdString(path.string()));
    }
};

TEST_F(PageStrip, NonSquarePagesHaveCellsOfTheirOwnInOrder) {
    gui::TImageForm* form = OpenPages();
    ASSERT_NE(form, nullptr);
    ASSERT_EQ(form->PageCount(), kPages);
    gui::TPageStrip* strip = form->PageStrip();
    ASSERT_NE(strip, nullptr);

    int gap = -1;
    for (int i = 0; i < kPages; ++i) {
        SCOPED_TRACE("page " + std::to_string(i));
        const QRect cell = strip->CellRect(i), picture = strip->PictureRect(i);
        // Scaled into the strip's 48 pixels with its proportions kept (160 x 24 is 48 x 7).
        const QSize shown = gui::StripPictureSize(kSizes[i].w, kSizes[i].h, 48);
        EXPECT_EQ(picture.size(), shown);
        EXPECT_TRUE(cell.contains(picture)) << "picture outside its cell";
        EXPECT_GE(cell.width(), shown.width());
        // Centred across (an odd pixel to the right).
        EXPECT_EQ(picture.left() - cell.left(), (cell.width() - shown.width()) / 2);
        if (i > 0) {
            const QRect before = strip->CellRect(i - 1);
            const int between = cell.left() - before.right() - 1;
            EXPECT_GT(between, 0) << "cell " << i << " overlaps or touches cell " << i - 1;
            if (gap < 0) gap = between;
            EXPECT_EQ(between, gap) << "cells are not evenly spaced";
            EXPECT_EQ(cell.top(), before.top());
            EXPECT_EQ(cell.height(), before.height());
        }
    }
    // The strip is as wide as its cells and as tall as its pictures' height and label.
    EXPECT_EQ(strip->sizeHint().width(), strip->CellRect(kPages - 1).right() + 1 + gap);
    EXPECT_EQ(gui::StripPictureSize(160, 24, 48), QSize(48, 7));
    EXPECT_GE(strip->CellRect(0).height(), 48);
    EXPECT_LT(strip->CellRect(0).height(), 48 + 40);
}

TEST_F(PageStrip, EveryPictureIsDrawnAndClickedWhereItsCellIs) {
    gui::TImageForm* form = OpenPages();
    ASSERT_NE(form, nullptr);
    ASSERT_EQ(form->PageCount(), kPages);
    gui::TPageStrip* strip = form->PageStrip();
    strip->resize(strip->sizeHint());
    const QImage shown = strip->grab().toImage();
    for (int i = 0; i < kPages; ++i) {
        SCOPED_TRACE("page " + std::to_string(i));
        const QRect picture = strip->PictureRect(i);
        // Every pixel of the picture but the frame of the current page shows its own colour.
        const Rgb c = PageColour(i);
        for (const QPoint p : {picture.center(), picture.topLeft() + QPoint(2, 2), picture.bottomRight() - QPoint(2, 2),
                               QPoint(picture.right() - 2, picture.top() + 2), QPoint(picture.left() + 2, picture.bottom() - 2)}) {
            if (!picture.contains(p)) continue;
            EXPECT_EQ(shown.pixelColor(p), QColor(c.r, c.g, c.b)) << p.x() << "," << p.y();
        }
        // A click near either end of the picture chooses its page.
        for (const QPoint p : {picture.topLeft(), picture.bottomRight(), picture.center()}) {
            EXPECT_EQ(strip->PageAt(p), i) << p.x() << "," << p.y();
            QTest::mouseClick(strip, Qt::LeftButton, {}, p);
            EXPECT_EQ(form->CurrentPage(), i) << p.x() << "," << p.y();
        }
        EXPECT_EQ(form->Doc().ImageWidth, kSizes[i].w);
        EXPECT_EQ(form->Doc().ImageHeight, kSizes[i].h);
    }
}

}  // namespace
}  // namespace pq::test
