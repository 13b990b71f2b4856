// Icons in the editor: writing an image back into its multi-image file through the save
// commands, the chooser's lines, the cursor hotspot (dialog, command, canvas mark); PNG pictures
// opened through the area picker and saved.
#include <QAction>
#include <QComboBox>
#include <QImage>
#include <QLineEdit>
#include <QPainter>
#include <gtest/gtest.h>

#include "core/formats/icon_container.h"
#include "core/formats/icon_file.h"
#include "core/formats/png_file.h"
#include "gui/formats/area_picker.h"
#include "gui/app/main_form.h"
#include "gui/document/image_form.h"
#include "gui/formats/hotspot_dialog.h"
#include "gui/formats/icon_chooser.h"
#include "gui/kit/up_down.h"
#include "support/editor_fixture.h"
#include "support/formats_files.h"

namespace pq::test {
namespace {

using gui::PromptAnswer;

// A one-layer document of a few colours, unpainted on the diagonal.
Document Pattern(int w, int h, int colors, int seed) {
    Document d;
    InitBlankDocument(d, w, h, colors, 10);
    Layer& l = d.LayerAt(0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            l.Indices[std::size_t(x + w * y)] = uint8_t((x * 3 + y * seed) % colors);
            l.Mask[std::size_t(x + w * y)] = x != y;
        }
    return d;
}

class IconFiles : public EditorTest {
protected:
    QString PathOf(const std::string& name) const { return QString::fromStdString((folder_ / name).string()); }
    // Three images of different sizes and depths in `name`.
    void WriteThree(const std::string& name, int type) {
        Document made[3] = {Pattern(16, 16, 16, 1), Pattern(32, 32, 256, 2), Pattern(24, 12, 16, 3)};
        made[1].HotspotX = 9, made[1].HotspotY = 4;
        const Document* docs[3] = {&made[0], &made[1], &made[2]};
        ASSERT_TRUE(PackIconFile(docs, folder_ / name, type).Ok);
    }
    gui::TImageForm* OpenImage(const std::string& name, int index) {
        prompt_.ExpectDialog("TForm7", [index](QDialog& d) {
            auto& chooser = static_cast<gui::TForm7&>(d);
            EXPECT_EQ(chooser.ComboBox1()->itemText(2), "2： サイズ：24×12 色数：16色");
            chooser.ComboBox1()->setCurrentIndex(index);
            return true;
        });
        return frame_->OpenFile(PathOf(name));
    }
    // Images other than `index` of the file now and before, compared byte for byte.
    static void ExpectOthersKept(const std::vector<uint8_t>& before, const std::vector<uint8_t>& now, int index) {
        StoredIconFile a, b;
        ASSERT_TRUE(ReadStoredIconFile(before, a).Ok);
        ASSERT_TRUE(ReadStoredIconFile(now, b).Ok);
        ASSERT_EQ(a.Images.size(), b.Images.size());
        for (std::size_t i = 0; i < a.Images.size(); ++i)
            if (int(i) != index) EXPECT_EQ(a.Images[i].Data, b.Images[i].Data) << "image " << i;
        EXPECT_NE(a.Images[std::size_t(index)].Data, b.Images[std::size_t(index)].Data);
    }
};

TEST_F(IconFiles, SavingIntoTheFileItCameFromReplacesOnlyItsImage) {
    WriteThree("three.ico", kIconResourceType);
    const std::vector<uint8_t> before = ReadBytes(folder_ / "three.ico");
    gui::TImageForm* form = OpenImage("three.ico", 1);
    ASSERT_NE(form, nullptr);
    form->Doc().LayerAt(0).Indices[5] = 200;
    form->Doc().LayerAt(0).Mask[5] = 1;
    form->Doc().Modified = true;
    form->MenuAction("Save1")->trigger();   // 上書き保存, no question
    EXPECT_FALSE(form->Doc().Modified);
    ExpectOthersKept(before, ReadBytes(folder_ / "three.ico"), 1);
    Document back;
    ASSERT_TRUE(LoadIconFile(folder_ / "three.ico", 1, back, 10).Ok);
    EXPECT_EQ(back.LayerAt(0).Indices[5], 200);

    // 名前を付けて保存 to another name writes the one-image file; choosing the file it came
    // from again replaces its image only.
    prompt_.ExpectSaveFile(PathOf("single.ico"));
    form->MenuAction("SaveAs1")->trigger();
    IconDirectory single;
    ASSERT_TRUE(ReadIconDirectory(ReadBytes(folder_ / "single.ico"), single).Ok);
    EXPECT_EQ(single.Entries.size(), 1u);
    const std::vector<uint8_t> middle = ReadBytes(folder_ / "three.ico");
    form->Doc().LayerAt(0).Indices[5] = 7;
    prompt_.ExpectSaveFile(PathOf("three.ico"));
    form->MenuAction("SaveAs1")->trigger();
    ExpectOthersKept(middle, ReadBytes(folder_ / "three.ico"), 1);
    EXPECT_TRUE(prompt_.Done());
}

TEST_F(IconFiles, CursorsKeepTheirWarningHotspotAndOtherImages) {
    WriteThree("three.cur", kCursorResourceType);
    const std::vector<uint8_t> before = ReadBytes(folder_ / "three.cur");
    gui::TImageForm* form = OpenImage("three.cur", 1);
    ASSERT_NE(form, nullptr);
    EXPECT_TRUE(form->Doc().HasHotspot);
    EXPECT_EQ(form->Doc().HotspotX, 9);
    EXPECT_EQ(form->Doc().HotspotY, 4);
    form->Doc().Modified = true;
    prompt_.ExpectMessage(PromptAnswer::Ok);   // 上書き保存 of a cursor still refuses
    form->MenuAction("Save1")->trigger();
    EXPECT_EQ(prompt_.Shown().back().Title, "上書き保存");
    EXPECT_EQ(ReadBytes(folder_ / "three.cur"), before);

    // The hotspot set through ツール > ホットスポット... is written with the image.
    QAction* hotspot = frame_->ActionNamed("mtHotspot");
    ASSERT_NE(hotspot, nullptr);
    prompt_.ExpectDialog("TfrmHotspot", [](QDialog& d) {
        auto& dialog = static_cast<gui::TfrmHotspot&>(d);
        EXPECT_EQ(dialog.Edit1()->text(), "9");
        dialog.Edit1()->setText("30");
        dialog.Edit2()->setText("2");
        return true;
    });
    form->Doc().LayerAt(0).Indices[40] = 100;
    form->Doc().Modified = false;
    hotspot->trigger();
    EXPECT_TRUE(form->Doc().Modified);
    prompt_.ExpectSaveFile(PathOf("three.cur"));
    form->MenuAction("SaveAs1")->trigger();
    ExpectOthersKept(before, ReadBytes(folder_ / "three.cur"), 1);
    IconDirectory dir;
    ASSERT_TRUE(ReadIconDirectory(ReadBytes(folder_ / "three.cur"), dir).Ok);
    EXPECT_EQ(dir.Entries[1].PlanesOrHotspotX, 30);
    EXPECT_EQ(dir.Entries[1].BitCountOrHotspotY, 2);
    EXPECT_TRUE(prompt_.Done());
}

TEST_F(IconFiles, PngPicturesOpenWithTheirTransparencyAndSaveAsShown) {
    Document made = Pattern(20, 20, 16, 5);   // unpainted on the diagonal
    ASSERT_TRUE(SavePngFile(made, folder_ / "in.png").Ok);
    prompt_.ExpectDialog("TfrmSelectOpenArea", [](QDialog& d) {
        auto& picker = static_cast<gui::TfrmSelectOpenArea&>(d);
        picker.Image1MouseDown(2, 0);   // a 16 x 16 frame at (2, 0), 1:1
        picker.Image1MouseUp(2, 0);
        return true;
    });
    gui::TImageForm* form = frame_->OpenFile(PathOf("in.png"));
    ASSERT_NE(form, nullptr);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            const std::size_t at = std::size_t(x + 16 * y);
            ASSERT_EQ(form->Doc().LayerAt(0).Mask[at], x + 2 != y ? 1 : 0) << x << "," << y;
            if (x + 2 != y)
                EXPECT_EQ(form->Doc().ColorOf(form->Doc().LayerAt(0).Indices[at]),
                          made.ColorOf(made.LayerAt(0).Indices[std::size_t(x + 2 + 20 * y)]));
        }
    prompt_.ExpectSaveFile(PathOf("out.png"));
    form->MenuAction("SaveAs1")->trigger();
    EXPECT_TRUE(prompt_.Shown().back().Text.endsWith("PNG(*.png) (*.png)"));
    EXPECT_EQ(ReadBytes(folder_ / "out.png"), EncodePng(form->Doc()));
    EXPECT_TRUE(prompt_.Done());
}

TEST(HotspotDialog, FieldsStayOnTheCanvasAndAChangeMarksTheDocument) {
    gui::TfrmHotspot dialog(nullptr, 32, 16, 40, 3);
    EXPECT_EQ(dialog.Edit1()->text(), "31");   // started inside the canvas
    EXPECT_EQ(dialog.Edit2()->text(), "3");
    dialog.Edit2()->setText("99");
    EXPECT_EQ(dialog.HotspotY(), 15);
    dialog.UpDown1()->Step(+1);
    EXPECT_EQ(dialog.Edit1()->text(), "31");   // stops at the edge, no wrap
    dialog.Edit1()->setText("");
    dialog.accept();
    EXPECT_EQ(dialog.result(), QDialog::Rejected);   // an empty field is Cancel

    Document doc;
    InitBlankDocument(doc, 32, 16, 16, 10);
    ScriptedPrompt prompt;
    auto answer = [&prompt](const char* x, const char* y, bool ok) {
        prompt.ExpectDialog("TfrmHotspot", [=](QDialog& d) {
            static_cast<gui::TfrmHotspot&>(d).Edit1()->setText(x);
            static_cast<gui::TfrmHotspot&>(d).Edit2()->setText(y);
            return ok;
        });
    };
    answer("5", "6", false);
    EXPECT_FALSE(gui::mtHotspotClick(doc, prompt, nullptr));
    EXPECT_FALSE(doc.Modified);
    EXPECT_FALSE(doc.HasHotspot);
    answer("5", "600", true);
    EXPECT_TRUE(gui::mtHotspotClick(doc, prompt, nullptr));
    EXPECT_TRUE(doc.Modified);
    EXPECT_TRUE(doc.HasHotspot);
    EXPECT_EQ(doc.HotspotX, 5);
    EXPECT_EQ(doc.HotspotY, 15);
    doc.Modified = false;
    answer("5", "15", true);
    EXPECT_FALSE(gui::mtHotspotClick(doc, prompt, nullptr));   // unchanged: not modified
    EXPECT_FALSE(doc.Modified);
    EXPECT_TRUE(prompt.Done());
}

TEST(HotspotDialog, TheCanvasMarksTheHotspotWithACrossAtHighZoom) {
    Document doc;
    InitBlankDocument(doc, 8, 8, 16, 10);
    doc.HotspotX = 2, doc.HotspotY = 1;
    for (int zoom : {2, 10}) {
        for (bool has : {false, true}) {
            doc.Zoom = zoom;
            doc.HasHotspot = has;
            QImage canvas(8 * zoom, 8 * zoom, QImage::Format_RGB32);
            canvas.fill(Qt::black);
            {
                QPainter painter(&canvas);
                gui::DrawHotspotMark(painter, doc);
            }
            int marked = 0;
            for (int y = 0; y < canvas.height(); ++y)
                for (int x = 0; x < canvas.width(); ++x) marked += canvas.pixel(x, y) != QColor(Qt::black).rgb();
            if (zoom < gui::kHotspotMarkZoom || !has) {
                EXPECT_EQ(marked, 0) << zoom << has;
                continue;
            }
            // Two lines through the middle of cell (2, 1), one pixel beyond it each way; the
            // pixel where they cross is inverted twice.
            const int cx = 2 * zoom + zoom / 2, cy = zoom + zoom / 2;
            EXPECT_EQ(marked, 2 * (zoom + 2) - 2);
            EXPECT_NE(canvas.pixel(2 * zoom - 1, cy), QColor(Qt::black).rgb());
            EXPECT_NE(canvas.pixel(cx, 2 * zoom), QColor(Qt::black).rgb());
            EXPECT_EQ(canvas.pixel(cx, cy), QColor(Qt::black).rgb());
        }
    }
}

}  // namespace
}  // namespace pq::test
