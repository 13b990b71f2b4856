// Icon sets as a designer works with them: the strip fits the designed frame whatever the set
// holds, pages are dragged to a new place, new pages take their place in the set's own order of
// sizes, and the place of the current page survives a crash.
#include <QApplication>
#include <QComboBox>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QScrollArea>
#include <QTest>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "core/document/recovery.h"
#include "core/formats/icon_container.h"
#include "core/formats/icon_file.h"
#include "core/formats/png_file.h"
#include "core/io/atomic_write.h"
#include "core/io/byte_io.h"
#include "core/formats/icon_images.h"
#include "core/formats/icon_set.h"
#include "core/formats/page_view_settings.h"
#include "gui/app/main_form.h"
#include "gui/document/icon_menu.h"
#include "gui/document/image_form.h"
#include "gui/document/page_strip.h"
#include "gui/app/recovery_dialog.h"
#include "gui/formats/icon_chooser.h"
#include "gui/palettes/preview_window.h"
#include "support/editor_fixture.h"
#include "support/run_pqtool.h"

namespace pq::test {
namespace {

struct PageShape {
    int w, h, colors;   // colors 32: written as PNG
};

// A palette page painted all over in a colour of its own (index 1), a corner left unpainted.
Document PageOf(const PageShape& s, int i) {
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
    std::filesystem::path Write(const std::vector<PageShape>& shapes, const std::string& name = "set.ico") {
        std::vector<Document> docs;
        for (std::size_t i = 0; i < shapes.size(); ++i) docs.push_back(PageOf(shapes[i], int(i)));
        std::vector<IconSetEntry> entries;
        for (std::size_t i = 0; i < shapes.size(); ++i)
            entries.push_back({&docs[i], shapes[i].colors == 32 ? IconPageKind::Png : IconPageKind::Palette});
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
std::vector<PageShape> UsualPages(int n) {
    const int sides[] = {16, 20, 24, 32, 40, 48, 64, 96, 128};
    std::vector<PageShape> shapes{{256, 256, 32}};
    for (int i = 0; int(shapes.size()) < n; ++i) shapes.push_back({sides[i % 9], sides[i % 9], i < 9 ? 16 : 256});
    return shapes;
}

TEST_F(IconSetPages, TheStripLeavesTheCanvasRoomInTheDesignedFrame) {
    frame_->resize(640, 460);
    for (int n : {5, 10, 18}) {
        SCOPED_TRACE(std::to_string(n) + " pages");
        // The 10-page set opens on a 16 x 16 page, its 256 x 256 one last: the window is made for that one too.
        std::vector<PageShape> shapes = UsualPages(n);
        if (n == 10) std::rotate(shapes.begin(), shapes.begin() + 1, shapes.end());
        gui::TImageForm* form = OpenAll(Write(shapes, "set" + std::to_string(n) + ".ico"));
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
        const int big = n == 10 ? 9 : 0, small = n == 10 ? 0 : 1;
        EXPECT_EQ(strip->PictureRect(big).size(), QSize(48, 48));
        EXPECT_EQ(strip->PictureRect(small).size(), QSize(16, 16));
        form->SelectPage(big);
        QApplication::processEvents();
        EXPECT_GE(CanvasHeight(form), 200) << "on the 256 x 256 page";
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
        std::vector<PageShape> shapes{{16, 16, 16}, {32, 32, 16}, {48, 48, 16}};
        if (descending) std::reverse(shapes.begin(), shapes.end());
        gui::TImageForm* form = OpenAll(Write(shapes, descending ? "down.ico" : "up.ico"));
        ASSERT_NE(form, nullptr);
        form->SelectPage(1);
        gui::MakePageSizes(*form, {24, 256, 20});
        const std::vector<int> up{16, 20, 24, 32, 48, 256};
        EXPECT_EQ(Sides(form), descending ? std::vector<int>(up.rbegin(), up.rend()) : up);
        EXPECT_EQ(form->Doc().ImageWidth, 32) << "the page the sizes were made from stays current";
    }
}

// A 1-bit DIB of w x h: the left half colour 1 (white), the right half colour 0 (black), the top
// row transparent.
std::vector<uint8_t> OneBitDib(int w, int h) {
    std::vector<uint8_t> out;
    ByteWriter put(out);
    const std::size_t row = (std::size_t(w) + 31) / 32 * 4;
    put.U32(40), put.I32(w), put.I32(2 * h), put.U16(1), put.U16(1);
    for (int i = 0; i < 6; ++i) put.U32(0);
    put.Bytes(std::array<uint8_t, 8>{0, 0, 0, 0, 255, 255, 255, 0});
    for (int y = 0; y < h; ++y) {   // bottom row first
        std::vector<uint8_t> bits(row, 0);
        for (int x = 0; x < w / 2; ++x) bits[std::size_t(x / 8)] |= uint8_t(0x80 >> (x % 8));
        put.Bytes(bits);
    }
    for (int y = 0; y < h; ++y) {
        std::vector<uint8_t> mask(row, y == h - 1 ? 0xFF : 0);
        put.Bytes(mask);
    }
    return out;
}

StoredIconImage StoredOf(int w, int h, int colorByte, int bits, std::vector<uint8_t> data) {
    StoredIconImage image;
    image.Entry = {uint8_t(w % 256), uint8_t(h % 256), uint8_t(colorByte), 0, 1, 0, uint8_t(bits), 0};
    const uint32_t n = uint32_t(data.size());
    for (int i = 0; i < 4; ++i) image.Entry[std::size_t(8 + i)] = uint8_t(n >> (8 * i));
    image.Data = std::move(data);
    return image;
}

TEST_F(IconSetPages, EveryKindOfImageHasOneNameInTheChooserStripStatusBarAndPqtool) {
    // 1-bit, 4-bit, 8-bit, 32-bit and PNG images, in that order.
    StoredIconFile file;
    file.Images.push_back(StoredOf(16, 16, 2, 1, OneBitDib(16, 16)));
    const std::pair<PageShape, IconPageKind> made[] = {{{16, 16, 16}, IconPageKind::Palette},
                                                  {{24, 24, 256}, IconPageKind::Palette},
                                                  {{32, 32, 256}, IconPageKind::TrueColor},
                                                  {{48, 48, 256}, IconPageKind::Png}};
    for (const auto& [shape, kind] : made) {
        StoredIconImage image;
        ASSERT_TRUE(EncodeIconPage(PageOf(shape, 3), kind, kIconResourceType, image));
        file.Images.push_back(image);
    }
    const auto path = folder_ / "kinds.ico";
    {
        const std::vector<uint8_t> bytes = EncodeStoredIconFile(file);
        std::FILE* f = std::fopen(path.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
    const QStringList kinds{"2色", "16色", "256色", "32ビット", "PNG"};
    const int sides[] = {16, 16, 24, 32, 48};

    QStringList chooser;
    prompt_.ExpectDialog("TForm7", [&chooser](QDialog& d) {
        auto* box = d.findChild<QComboBox*>("ComboBox1");
        for (int i = 0; i < box->count(); ++i) chooser << box->itemText(i);
        static_cast<gui::TForm7&>(d).Button3()->click();
        return d.result() == QDialog::Accepted;
    });
    gui::TImageForm* form = frame_->OpenFile(QString::fromStdString(path.string()));
    ASSERT_NE(form, nullptr);
    ASSERT_EQ(form->PageCount(), 5);
    // The page is said from the moment the set opens, before any click on the strip.
    EXPECT_EQ(frame_->DocumentInfoText(), "ページ：1/5  サイズ：16×16 色数：2色    ");
    const RunResult info = RunPqtool({"info", path.string()});
    ASSERT_EQ(info.Status, 0) << info.Err;
    for (int i = 0; i < 5; ++i) {
        SCOPED_TRACE(kinds[i].toStdString());
        const QString size = QString("%1×%1").arg(sides[i]);
        EXPECT_EQ(chooser.value(i), QString("%1： サイズ：%2 色数：%3").arg(i).arg(size, kinds[i]));
        EXPECT_EQ(form->PageLabel(i), size + " " + kinds[i]);
        form->SelectPage(i);
        frame_->ActionList1Update();
        EXPECT_EQ(frame_->DocumentInfoText(), QString("ページ：%1/5  サイズ：%2 色数：%3    ").arg(i + 1).arg(size, kinds[i]));
        const std::string line = "image " + std::to_string(i) + ": " + std::to_string(sides[i]) + "x" +
                                 std::to_string(sides[i]) + " " + kinds[i].toStdString() + ", ";
        EXPECT_NE(info.Out.find(line), std::string::npos) << line << "\n" << info.Out;
    }
    // Edited, the 1-bit page is written as 16 colours, and says so.
    form->SelectPage(0);
    form->Doc().Current().Mask[0] = 1;
    ASSERT_TRUE(form->RecordStep("筆"));
    EXPECT_EQ(form->PageLabel(0), "16×16 16色");
}

TEST_F(IconSetPages, EveryPageIsExportedAsAPngNamedLikePqtoolExtractAfterAskingAboutTakenNames) {
    const auto path = Write({{16, 16, 16}, {24, 24, 256}, {48, 48, 32}}, "app.ico");
    gui::TImageForm* form = OpenAll(path);
    ASSERT_NE(form, nullptr);
    const auto out = folder_ / "out";
    std::filesystem::create_directories(out);
    const std::vector<std::string> names{"app-0-16x16-4.png", "app-1-24x24-8.png", "app-2-48x48-32.png"};
    std::vector<std::string> planned;
    for (const gui::ExportedPage& p : gui::PlanPageExport(*form)) planned.push_back(p.Name);
    EXPECT_EQ(planned, names);
    // pqtool extract gives the same names.
    const auto extracted = folder_ / "extracted";
    ASSERT_EQ(RunPqtool({"extract", path.string(), extracted.string()}).Status, 0);
    for (const std::string& n : names) EXPECT_TRUE(std::filesystem::exists(extracted / n)) << n;

    // A name taken (here by a link to a file of the user's): refused, nothing written, the link's file kept.
    const auto precious = folder_ / "precious.txt";
    { std::FILE* f = std::fopen(precious.c_str(), "wb"); std::fputs("keep", f); std::fclose(f); }
    std::filesystem::create_symlink(precious, out / names[1]);
    prompt_.ExpectFolder(QString::fromStdString(out.string()));
    prompt_.ExpectMessage(gui::PromptAnswer::No);
    form->findChild<QAction*>("mfExportPages")->trigger();
    EXPECT_TRUE(prompt_.Done());
    EXPECT_TRUE(prompt_.Shown().back().Text.contains(QString::fromStdString(names[1])));
    EXPECT_FALSE(std::filesystem::exists(out / names[0]));
    EXPECT_FALSE(std::filesystem::exists(out / names[2]));
    std::filesystem::remove(out / names[1]);

    // Agreed, every page is written; the pixels read back are the pages' own, transparency included.
    { std::FILE* f = std::fopen((out / names[0]).c_str(), "wb"); std::fputs("old", f); std::fclose(f); }
    prompt_.ExpectFolder(QString::fromStdString(out.string()));
    prompt_.ExpectMessage(gui::PromptAnswer::Yes);
    form->findChild<QAction*>("mfExportPages")->trigger();
    EXPECT_TRUE(prompt_.Done());
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(names[std::size_t(i)]);
        std::vector<uint8_t> bytes;
        ASSERT_EQ(ReadWholeFile(out / names[std::size_t(i)], bytes), ReadStatus::Ok);
        RgbaImage back;
        ASSERT_TRUE(DecodeIconRgba(bytes, back));
        EXPECT_EQ(QSize(back.Width, back.Height), QSize(form->PageDoc(i).ImageWidth, form->PageDoc(i).ImageHeight));
        EXPECT_EQ(back.Pixels, FlattenToRgba(form->PageDoc(i)));
        const std::vector<uint8_t>& rgba = back.Pixels;
        EXPECT_EQ(rgba[3], 0) << "the unpainted corner is transparent";
        EXPECT_EQ(rgba[7], 255);
    }
}

TEST_F(IconSetPages, ASetIsSavedAsItsOwnKindAndColoursStayWhenThePageCanShowThem) {
    const auto path = Write({{16, 16, 16}, {32, 32, 16}, {48, 48, 256}});
    gui::TImageForm* form = OpenAll(path);
    ASSERT_NE(form, nullptr);
    prompt_.ExpectSaveFile(std::nullopt);
    EXPECT_FALSE(form->SaveAs());
    const gui::FileDialogRequest& asked = prompt_.LastSaveRequest();
    EXPECT_TRUE(asked.InitialName.endsWith("set.ico")) << asked.InitialName.toStdString();
    EXPECT_TRUE(asked.Filter.split(";;").value(asked.FilterIndex).contains("*.ico")) << asked.Filter.toStdString();

    // Pages 0 and 1 share a palette (the same entries but the painted colour): made equal, they keep the colours.
    form->PageDoc(1).Palette = form->PageDoc(0).Palette;
    form->Doc().DrawColor = 5;
    form->Doc().AuxColor = 9;
    form->SelectPage(1);
    EXPECT_EQ(form->Doc().DrawColor, 5);
    EXPECT_EQ(form->Doc().AuxColor, 9);
    // Page 2 has other colours: its own stay.
    const int draw = form->PageDoc(2).DrawColor;
    form->SelectPage(2);
    EXPECT_EQ(form->Doc().DrawColor, draw);
}

TEST_F(IconSetPages, ThePreviewWrapsPagesIntoRowsAndAClickChoosesOne) {
    std::vector<PageShape> shapes;
    for (int i = 0; i < 17; ++i) shapes.push_back({48, 48, 16});
    gui::TImageForm* form = OpenAll(Write(shapes));
    ASSERT_NE(form, nullptr);
    form->Recompose();
    gui::TfrmView* view = frame_->Preview();
    EXPECT_LE(view->width(), view->RowWidthLimit());
    EXPECT_GT(view->height(), 2 * 48) << "17 pages of 48 take more than one row";
    // The last page is in a later row than the first; a click on it makes it current.
    QPoint at;
    for (int y = view->height() - 1; y >= 0 && at.isNull(); --y)
        for (int x = 0; x < view->width(); ++x)
            if (view->PageAtPoint(QPoint(x, y)) == 16) { at = QPoint(x, y); break; }
    ASSERT_FALSE(at.isNull());
    EXPECT_GT(at.y(), 48);
    QTest::mouseClick(view, Qt::LeftButton, {}, at);
    EXPECT_EQ(form->CurrentPage(), 16);

    // The user's own background colour, shown around the pages and kept.
    prompt_.ExpectColor(QColor(10, 200, 30));
    ASSERT_TRUE(view->ChooseCustomColor());
    EXPECT_EQ(view->Picture().pixelColor(1, 1), QColor(10, 200, 30));
    EndFrame();
    const PageViewSettings kept = ReadPageViewSettings(folder_.Path() / "setting" / kPageViewSettingsFile);
    EXPECT_EQ(kept.PreviewBackground, 3);
    EXPECT_EQ(std::tie(kept.PreviewRed, kept.PreviewGreen, kept.PreviewBlue), std::make_tuple(uint8_t(10), uint8_t(200), uint8_t(30)));
}

// In a forked child: a frame over `settings` opens `icon` with すべて開く, makes page `page`
// current and edits it (`save`: then saves the set), and dies by SIGKILL, leaving its history.
void EditSetAndDie(const std::filesystem::path& settings, const std::filesystem::path& icon, int page, bool save) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        auto* prompt = new ScriptedPrompt;
        prompt->ExpectDialog("TForm7", [](QDialog& d) {
            static_cast<gui::TForm7&>(d).Button3()->click();
            return d.result() == QDialog::Accepted;
        });
        auto* frame = new gui::TMainForm(settings, prompt);
        gui::TImageForm* form = frame->OpenFile(QString::fromStdString(icon.string()));
        if (!form) ::_exit(2);
        form->SelectPage(page);
        form->Doc().Current().Mask[0] = 1;
        if (!form->RecordStep("筆") || (save && !form->Save())) ::_exit(3);
        ::kill(::getpid(), SIGKILL);
        ::_exit(4);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status)) << status;
}

TEST_F(IconSetPages, ARestoredSetShowsThePageThatWasCurrentAndASavedOneIsNotOffered) {
    EndFrame();
    const auto settings = folder_.Path() / "setting";
    const auto path = Write({{16, 16, 16}, {24, 24, 16}, {32, 32, 256}, {48, 48, 16}});
    EditSetAndDie(settings, path, 2, false);
    prompt_.ExpectDialog("TfrmRecovery", [](QDialog& d) {
        d.findChild<QPushButton*>("btnRestore")->click();
        return d.result() == QDialog::Accepted;
    });
    StartFrame();
    frame_->ShowAtStartup({});
    EXPECT_TRUE(prompt_.Done());
    ASSERT_EQ(frame_->Forms().size(), 1);
    gui::TImageForm* form = frame_->Forms()[0];
    ASSERT_EQ(form->PageCount(), 4);
    EXPECT_EQ(form->CurrentPage(), 2);
    EXPECT_EQ(form->Doc().ImageWidth, 32);
    EXPECT_EQ(form->Doc().Current().Mask[0], 1) << "the edit came back";
    EndFrame();

    // Saved after its edit, then killed: nothing is left to offer.
    EditSetAndDie(settings, path, 1, true);
    const std::size_t shown = prompt_.Shown().size();
    StartFrame();
    frame_->ShowAtStartup({});
    EXPECT_EQ(prompt_.Shown().size(), shown) << "no recovery dialog";
    EXPECT_TRUE(frame_->Forms().isEmpty());
}

}  // namespace
}  // namespace pq::test
