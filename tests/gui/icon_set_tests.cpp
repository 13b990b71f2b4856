// Icon sets in the editor: every image of a file opened as the pages of one window, each page
// with its own undo steps, saved back with unchanged images byte for byte; sizes made from one
// page; pages added, moved and deleted with their histories.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>
#include <fstream>
#include <set>

#include "core/document/blend.h"
#include "core/document/history.h"
#include "core/document/recovery_note.h"
#include "core/document/snapshot_folder.h"
#include "core/formats/icon_container.h"
#include "core/formats/icon_images.h"
#include "core/formats/icon_set.h"
#include "gui/app/main_form.h"
#include "gui/document/icon_menu.h"
#include "gui/document/page_dialogs.h"
#include "gui/document/page_strip.h"
#include "gui/kit/command_table.h"
#include "gui/document/image_form.h"
#include "gui/formats/icon_chooser.h"
#include "gui/palettes/preview_window.h"
#include "support/editor_fixture.h"
#include "support/icon_set_file.h"

namespace pq::test {
namespace {

using gui::PromptAnswer;

class IconSets : public EditorTest {
protected:
    QString PathOf(const std::string& name) const { return QString::fromStdString((folder_ / name).string()); }
    gui::TImageForm* OpenAll(const std::string& name) {
        prompt_.ExpectDialog("TForm7", [](QDialog& d) {
            static_cast<gui::TForm7&>(d).Button3()->click();
            return d.result() == QDialog::Accepted;
        });
        return frame_->OpenFile(PathOf(name));
    }
    // History files (snapshots and notes) in the snapshot folder, by history number.
    std::set<int> HistoryNumbers() const {
        std::set<int> numbers;
        for (const auto& e : std::filesystem::directory_iterator(frame_->SnapshotFolderPath())) {
            int number = 0, step = 0;
            if (ParseHistoryFileName(e.path().filename().string(), number, step)) numbers.insert(number);
        }
        return numbers;
    }
};

StoredIconFile Stored(const std::vector<uint8_t>& bytes) {
    StoredIconFile file;
    EXPECT_TRUE(ReadStoredIconFile(bytes, file).Ok);
    return file;
}

TEST_F(IconSets, EveryImageIsAPageWithItsOwnStepsAndSavingRewritesOnlyTheChangedOnes) {
    WriteBytes(folder_ / "five.ico", FiveImageIcon());
    const std::vector<uint8_t> before = ReadBytes(folder_ / "five.ico");
    gui::TImageForm* form = OpenAll("five.ico");
    ASSERT_NE(form, nullptr);
    ASSERT_TRUE(form->IsSet());
    ASSERT_EQ(form->PageCount(), 5);
    const QStringList labels = {"16×16 16色", "24×24 256色", "32×32 32ビット", "48×48 256色", "256×256 PNG"};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(form->PageLabel(i), labels[i]) << i;
    EXPECT_TRUE(form->windowTitle().endsWith(" - 16×16")) << form->windowTitle().toStdString();
    // The preview holds every page side by side.
    EXPECT_GE(frame_->Preview()->Picture().width(), 16 + 24 + 32 + 48 + 256);
    EXPECT_GE(frame_->Preview()->Picture().height(), 256);

    // Unchanged, the set is the file as it was.
    form->MenuAction("Save1")->trigger();
    EXPECT_EQ(ReadBytes(folder_ / "five.ico"), before);

    // A step on page 1, then a flip on page 2 that is undone and done again: the Edit menu
    // undoes the current page's own steps only.
    form->SelectPage(1);
    form->Doc().LayerAt(0).Indices[7] = 201;
    form->Doc().LayerAt(0).Mask[7] = 1;
    form->CommitEdit("筆");
    const Document page1 = form->Doc();
    // A click on the strip chooses the page.
    QTest::mouseClick(form->PageStrip(), Qt::LeftButton, {}, form->PageStrip()->CellRect(2).center());
    ASSERT_EQ(form->CurrentPage(), 2);
    EXPECT_TRUE(form->windowTitle().endsWith(" - 32×32"));
    const Document page2 = form->Doc();
    form->MenuAction("mirReverseH")->trigger();
    form->meUndoClick();
    EXPECT_EQ(form->Doc().Layers(), page2.Layers());
    EXPECT_EQ(form->PageDoc(1).Layers(), page1.Layers());
    form->meRedoClick();
    const Document flipped = form->Doc();
    EXPECT_NE(flipped.Layers(), page2.Layers());

    form->MenuAction("Save1")->trigger();
    EXPECT_FALSE(form->SetChanged());
    const StoredIconFile a = Stored(before), b = Stored(ReadBytes(folder_ / "five.ico"));
    ASSERT_EQ(b.Images.size(), 5u);
    for (int i : {0, 3, 4}) {
        EXPECT_EQ(a.Images[std::size_t(i)].Data, b.Images[std::size_t(i)].Data) << i;
        // The entry too, but for its offset.
        EXPECT_TRUE(std::equal(a.Images[std::size_t(i)].Entry.begin(), a.Images[std::size_t(i)].Entry.begin() + 12,
                               b.Images[std::size_t(i)].Entry.begin()))
            << i;
    }
    EXPECT_NE(a.Images[1].Data, b.Images[1].Data);
    // Still 32 bits, and exactly the flipped page: opaque where painted, clear elsewhere.
    IconDirectory dir;
    const std::vector<uint8_t> now = ReadBytes(folder_ / "five.ico");
    ASSERT_TRUE(ReadIconDirectory(now, dir).Ok);
    const IconImageFacts facts = DescribeIconImage(now, dir.Entries[2]);
    EXPECT_FALSE(facts.Png);
    EXPECT_EQ(facts.BitCount, 32);
    RgbaImage rgba;
    ASSERT_TRUE(DecodeIconRgba(std::span(now).subspan(dir.Entries[2].ImageOffset), rgba));
    // The 32-bit page opened as truecolour: every colour and alpha value of the flipped page.
    ASSERT_TRUE(flipped.TrueColor);
    const std::vector<Rgba8> composed = ComposeRgbaLayers(flipped.Layers(), 32 * 32);
    for (std::size_t at = 0; at < composed.size(); ++at) {
        const Rgba8 want = composed[at];
        ASSERT_EQ((Rgba8{rgba.Pixels[at * 4], rgba.Pixels[at * 4 + 1], rgba.Pixels[at * 4 + 2], rgba.Pixels[at * 4 + 3]}),
                  want)
            << at;
    }
    for (int y = 0; y < 32 && !flipped.TrueColor; ++y)
        for (int x = 0; x < 32; ++x) {
            const std::size_t at = std::size_t(x + 32 * y);
            const bool painted = flipped.LayerAt(0).Mask[at] != 0;
            ASSERT_EQ(rgba.Pixels[at * 4 + 3], painted ? 255 : 0) << x << "," << y;
            if (painted) {
                const PaletteEntry e = flipped.Palette[flipped.LayerAt(0).Indices[at]];
                ASSERT_EQ(rgba.Pixels[at * 4], e.red) << x << "," << y;
            }
        }
    // The saved pages are unchanged again: a second save writes the same bytes.
    form->MenuAction("Save1")->trigger();
    EXPECT_EQ(ReadBytes(folder_ / "five.ico"), now);
    EXPECT_TRUE(prompt_.Done());
}

// Independent reference: the area average of the painted source pixels a target pixel covers.
struct Expected {
    double r = 0, g = 0, b = 0;
    bool painted = false;
};
Expected AreaAverage(const std::vector<std::array<int, 4>>& src, int sw, int sh, int w, int h, int tx, int ty) {
    const double x0 = double(tx) * sw / w, x1 = double(tx + 1) * sw / w;
    const double y0 = double(ty) * sh / h, y1 = double(ty + 1) * sh / h;
    double area = 0, paintedArea = 0, r = 0, g = 0, b = 0;
    for (int y = int(y0); y < sh && y < y1; ++y)
        for (int x = int(x0); x < sw && x < x1; ++x) {
            const double cover = (std::min(x1, x + 1.0) - std::max(x0, double(x))) *
                                 (std::min(y1, y + 1.0) - std::max(y0, double(y)));
            if (cover <= 0) continue;
            area += cover;
            const auto& p = src[std::size_t(x + sw * y)];
            if (!p[3]) continue;
            paintedArea += cover;
            r += cover * p[0], g += cover * p[1], b += cover * p[2];
        }
    Expected e;
    e.painted = paintedArea >= area / 2 - 1e-9;
    if (paintedArea > 0) e.r = r / paintedArea, e.g = g / paintedArea, e.b = b / paintedArea;
    return e;
}

TEST_F(IconSets, EverySizeMadeFromA256PageIsTheAreaAverageOfIt) {
    // Stripes three pixels wide of two colours (so every size mixes them), unpainted in an
    // off-centre block of odd size.
    gui::TImageForm* form = frame_->OpenBuiltDocument("Icon1", [](Document& d, int zoom) {
        InitBlankDocument(d, 256, 256, 256, zoom);
        d.Palette[1] = MakeEntry({250, 20, 10});
        d.Palette[2] = MakeEntry({10, 40, 230});
        for (int y = 0; y < 256; ++y)
            for (int x = 0; x < 256; ++x) {
                const std::size_t at = std::size_t(x + 256 * y);
                d.LayerAt(0).Indices[at] = uint8_t((x + 2 * y) / 3 % 2 + 1);
                d.LayerAt(0).Mask[at] = !(x >= 37 && x < 140 && y >= 101 && y < 211);
            }
    });
    ASSERT_NE(form, nullptr);
    std::vector<std::array<int, 4>> src(256 * 256);
    for (std::size_t i = 0; i < src.size(); ++i) {
        const PaletteEntry e = form->Doc().Palette[form->Doc().LayerAt(0).Indices[i]];
        src[i] = {e.red, e.green, e.blue, form->Doc().LayerAt(0).Mask[i]};
    }
    gui::MakePageSizes(*form, {48, 16, 20, 24});
    ASSERT_EQ(form->PageCount(), 5);
    const int sizes[] = {16, 20, 24, 48, 256};
    EXPECT_EQ(form->CurrentPage(), 4);   // the page they were made from
    for (int i = 0; i < 4; ++i) {
        const Document& page = form->PageDoc(i);
        ASSERT_EQ(page.ImageWidth, sizes[i]);
        ASSERT_EQ(page.ImageHeight, sizes[i]);
        EXPECT_EQ(page.ColorCount, 256);
        EXPECT_EQ(form->PageAt(i).Kind, IconPageKind::Palette);
        double worst = 0;
        for (int y = 0; y < sizes[i]; ++y)
            for (int x = 0; x < sizes[i]; ++x) {
                const Expected e = AreaAverage(src, 256, 256, sizes[i], sizes[i], x, y);
                const std::size_t at = std::size_t(x + sizes[i] * y);
                ASSERT_EQ(page.LayerAt(0).Mask[at] != 0, e.painted) << sizes[i] << ": " << x << "," << y;
                if (!e.painted) continue;
                const Rgb c = EntryColor(page.Palette[page.LayerAt(0).Indices[at]]);
                worst = std::max({worst, std::abs(c.r - e.r), std::abs(c.g - e.g), std::abs(c.b - e.b)});
            }
        // The reduction to 256 colours of so few mixtures is close to exact.
        EXPECT_LE(worst, 6.0) << sizes[i];
    }
}

// Each page's note as on disk.
std::optional<RecoveryNote> PageNote(const gui::TImageForm& form, int page) {
    std::ifstream in(NotePath(form.PageHistoryCtx(page)), std::ios::binary);
    const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
    return DecodeRecoveryNote(bytes);
}

TEST_F(IconSets, AnOpenedSetHasEveryPageOnDiskWithItsPageCountAndOneBaseStepEach) {
    WriteBytes(folder_ / "five.ico", FiveImageIcon());
    gui::TImageForm* form = OpenAll("five.ico");
    ASSERT_NE(form, nullptr);
    ASSERT_EQ(form->PageCount(), 5);
    for (int i = 0; i < 5; ++i) {
        // One base step: the opener does not add a second one to the first page.
        EXPECT_EQ(form->PageDoc(i).HistoryPosition, 1) << i;
        EXPECT_FALSE(form->PageDoc(i).Modified) << i;
        const auto note = PageNote(*form, i);
        ASSERT_TRUE(note) << i;
        EXPECT_EQ(std::tie(note->Label.PageIndex, note->Label.SetPages, note->Label.SetOpening), std::tuple(i, 5, false));
        EXPECT_EQ(QString::fromStdString(note->Label.FileName), PathOf("five.ico")) << i;
    }
    EXPECT_FALSE(ComputeEditMenu(form->Doc(), form->HistoryCtx()).UndoEnabled);
    // A page deleted: the others' notes give the new count.
    prompt_.ExpectMessage(PromptAnswer::Yes);
    form->MenuAction("miDeletePage")->trigger();
    for (int i = 0; i < 4; ++i) EXPECT_EQ(PageNote(*form, i)->Label.SetPages, 4) << i;

    // A window that already had a history (a new set starts from one) gives it up once its
    // pages are on disk: its own number's files go, each page has its own.
    prompt_.ExpectDialog("TfrmNewIconSet", [](QDialog&) { return true; });
    gui::NewIconSetCommand().RunOnFrame(*frame_);
    gui::TImageForm* fresh = Active();
    ASSERT_NE(fresh, form);
    std::set<int> numbers;
    for (int i = 0; i < fresh->PageCount(); ++i) numbers.insert(fresh->PageHistoryCtx(i).WindowNumber);
    EXPECT_EQ(numbers.count(fresh->WindowNumber()), 0u);
    EXPECT_EQ(HistoryNumbers().count(fresh->WindowNumber()), 0u);
    for (int n : numbers) EXPECT_EQ(HistoryNumbers().count(n), 1u) << n;
    // New blank pages need no file to hold them: killed unedited, the set is not offered.
    for (int i = 0; i < fresh->PageCount(); ++i) {
        const auto note = PageNote(*fresh, i);
        ASSERT_TRUE(note) << i;
        EXPECT_EQ(note->Label.SavedPosition, fresh->PageDoc(i).HistoryPosition) << i;
        EXPECT_GT(note->Label.SavedPosition, 0) << i;
    }
    EXPECT_TRUE(prompt_.Done());
}

TEST_F(IconSets, PagesAreAddedMovedAndDeletedWithTheirHistories) {
    prompt_.ExpectDialog("TfrmNewIconSet", [](QDialog& d) {
        auto& dialog = static_cast<gui::TfrmPageSizes&>(d);
        dialog.SizeBox(48)->setChecked(false);
        dialog.SizeBox(256)->setChecked(false);
        dialog.SizeBox(20)->setChecked(true);
        return true;
    });
    gui::NewIconSetCommand().RunOnFrame(*frame_);
    gui::TImageForm* form = Active();
    ASSERT_NE(form, nullptr);
    ASSERT_EQ(form->PageCount(), 4);   // 16, 20, 24, 32
    EXPECT_EQ(HistoryNumbers().size(), 4u);
    const auto widths = [form] {
        std::vector<int> w;
        for (int i = 0; i < form->PageCount(); ++i) w.push_back(form->PageDoc(i).ImageWidth);
        return w;
    };

    form->SelectPage(2);
    form->Doc().LayerAt(0).Mask[3] = 1;
    form->CommitEdit("筆");
    const Document edited = form->Doc();
    form->DuplicatePage();
    EXPECT_EQ(widths(), (std::vector<int>{16, 20, 24, 24, 32}));
    EXPECT_EQ(form->CurrentPage(), 3);
    EXPECT_EQ(form->Doc().Layers(), edited.Layers());
    // The copy starts its own history: nothing to undo on it.
    EXPECT_FALSE(form->MenuAction("meUndo")->isEnabled() && ComputeEditMenu(form->Doc(), form->HistoryCtx()).UndoEnabled);
    form->MovePage(true);
    form->MovePage(true);   // already last: nothing
    EXPECT_EQ(form->CurrentPage(), 4);
    EXPECT_EQ(widths(), (std::vector<int>{16, 20, 24, 32, 24}));
    form->SelectPage(2);
    form->MovePage(false);
    EXPECT_EQ(widths(), (std::vector<int>{16, 24, 20, 32, 24}));
    // The moved page kept its own steps.
    EXPECT_TRUE(ComputeEditMenu(form->Doc(), form->HistoryCtx()).UndoEnabled);
    EXPECT_EQ(HistoryNumbers().size(), 5u);

    // Deleting asks; No keeps the page, Yes removes it and its history.
    prompt_.ExpectMessage(PromptAnswer::No);
    form->MenuAction("miDeletePage")->trigger();
    EXPECT_EQ(form->PageCount(), 5);
    while (form->PageCount() > 1) {
        prompt_.ExpectMessage(PromptAnswer::Yes);
        form->MenuAction("miDeletePage")->trigger();
    }
    EXPECT_EQ(HistoryNumbers().size(), 1u);
    gui::UpdateCommandEntry(form->MenuAction("miDeletePage"));
    EXPECT_FALSE(form->MenuAction("miDeletePage")->isEnabled());
    EXPECT_TRUE(prompt_.Done());

    // A changed set asks once when closed.
    prompt_.ExpectMessage(PromptAnswer::No);
    form->parentWidget()->close();
    EXPECT_TRUE(prompt_.Done());
    EXPECT_TRUE(frame_->Forms().isEmpty());
}

}  // namespace
}  // namespace pq::test
