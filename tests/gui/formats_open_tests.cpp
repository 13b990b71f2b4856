// The file commands wired into the editor: opening every kind through the frame, the save
// entries and button, the palette entries, new 256-colour documents with "palette.pqp", and
// Tool > 実行可能ファイルから読み込み(&E)....
#include <QAction>
#include <QComboBox>
#include <QFileDialog>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

#include "core/formats/native_document.h"
#include "core/formats/palette_file.h"
#include "core/formats/program_icons.h"
#include "gui/app/main_form.h"
#include "gui/formats/document_files.h"
#include "gui/document/image_form.h"
#include "gui/formats/area_picker.h"
#include "gui/formats/exe_dll_dialog.h"
#include "gui/formats/file_commands.h"
#include "gui/formats/icon_chooser.h"
#include "support/editor_fixture.h"
#include "support/formats_files.h"

namespace pq::test {
namespace {

using gui::PromptAnswer;

class OpenFiles : public EditorTest {
protected:
    QString PathOf(const std::string& name) const { return QString::fromStdString((folder_ / name).string()); }
    static QString Data(const std::filesystem::path& relative) {
        return QString::fromStdString((DataDir() / relative).string());
    }
    int WindowCount() const { return int(frame_->Forms().size()); }
    void ClickOn(int x, int y) {
        prompt_.ExpectDialog("TfrmSelectOpenArea", [=](QDialog& d) {
            auto& picker = static_cast<gui::TfrmSelectOpenArea&>(d);
            picker.Image1MouseDown(x, y);
            picker.Image1MouseUp(x, y);
            return true;
        });
    }
};

TEST_F(OpenFiles, EveryKindOpensInANewNumberedWindow) {
    gui::TImageForm* pqf = frame_->OpenFile(Data("three_layers.pqf"));
    ASSERT_NE(pqf, nullptr);
    EXPECT_EQ(pqf->WindowNumber(), 1);
    EXPECT_EQ(pqf->DocumentName(), Data("three_layers.pqf"));
    EXPECT_EQ(pqf->Doc().LayerCount(), 3);
    EXPECT_EQ(pqf->Doc().HistoryPosition, 1);
    EXPECT_FALSE(pqf->Doc().Modified);

    WriteBytes(folder_ / "multi.ico", JoinIcons({DiagonalIcon(32, 16), DiagonalIcon(16, 256)}));
    prompt_.ExpectDialog("TForm7", [](QDialog& d) {
        EXPECT_EQ(static_cast<gui::TForm7&>(d).ComboBox1()->itemText(1), "1： サイズ：16×16 色数：256色");
        static_cast<gui::TForm7&>(d).ComboBox1()->setCurrentIndex(1);
        return true;
    });
    gui::TImageForm* ico = frame_->OpenFile(PathOf("multi.ico"));
    ASSERT_NE(ico, nullptr);
    EXPECT_EQ(ico->WindowNumber(), 2);
    EXPECT_EQ(ico->Doc().ColorCount, 256);
    EXPECT_EQ(frame_->DocumentInfoText(), "サイズ：16×16 色数：256色    ");

    gui::TImageForm* cur = frame_->OpenFile(Data("odd_width_8bit.cur"));
    ASSERT_NE(cur, nullptr);
    EXPECT_EQ(cur->WindowNumber(), 3);

    WriteBytes(folder_ / "picture.bmp", BitmapBytes(PatternPicture(64, 64)));
    ClickOn(10, 20);
    gui::TImageForm* bmp = frame_->OpenFile(PathOf("picture.bmp"));
    ASSERT_NE(bmp, nullptr);
    EXPECT_EQ(bmp->WindowNumber(), 4);
    EXPECT_EQ(bmp->Doc().ImageWidth, 16);

    ClickOn(0, 0);
    gui::TImageForm* jpg = frame_->OpenFile(Data("jpeg_reader/gradient.jpg"));
    ASSERT_NE(jpg, nullptr);
    EXPECT_EQ(jpg->WindowNumber(), 5);
    EXPECT_EQ(jpg->Doc().ColorCount, 16);

    EXPECT_EQ(WindowCount(), 5);
    EXPECT_EQ(Active(), jpg);
    EXPECT_EQ(NewDocument()->DocumentName(), "Icon6");
    EXPECT_TRUE(prompt_.Done());
}

TEST_F(OpenFiles, AFailedOpenLeavesNoWindowAndShowsTheReadersMessage) {
    auto refused = [this](const QString& path, const QString& message) {
        prompt_.ExpectMessage(PromptAnswer::Ok);
        EXPECT_EQ(frame_->OpenFile(path), nullptr) << path.toStdString();
        EXPECT_EQ(prompt_.Shown().back().Text, message);
        EXPECT_EQ(prompt_.Shown().back().Icon, pq::gui::PromptIcon::None);
    };
    refused(Data("bad/signature.pqf"), "開けませんでした。");
    refused(Data("bad/width_5000.pqf"), "開けませんでした。");
    refused(Data("bad/png_huge.ico"), "このアイコンは開けません。");
    refused(Data("bad/offset_outside.ico"), "このアイコンは開けません。");
    refused(Data("bad/jpeg_reader/not_a_jpeg.jpg"), "JPEG画像が正しくありません。");
    // Neither the name nor the first bytes show a kind the editor opens.
    WriteBytes(folder_ / "notes.txt", {'h', 'i'});
    const QString unknown = gui::UnknownKindMessage(PathOf("notes.txt"));
    EXPECT_TRUE(unknown.startsWith("「" + PathOf("notes.txt") + "」を開けません。\n開けるのは .pqf, .ico, .cur, .bmp, .jpg, .jpeg"));
    refused(PathOf("notes.txt"), unknown);

    // Cancel in the chooser or the picker: nothing shown.
    WriteBytes(folder_ / "multi.ico", JoinIcons({DiagonalIcon(32, 16), DiagonalIcon(16, 256)}));
    prompt_.ExpectDialog("TForm7", [](QDialog&) { return false; });
    EXPECT_EQ(frame_->OpenFile(PathOf("multi.ico")), nullptr);
    WriteBytes(folder_ / "picture.bmp", BitmapBytes(PatternPicture(20, 20)));
    prompt_.ExpectDialog("TfrmSelectOpenArea", [](QDialog&) { return false; });
    EXPECT_EQ(frame_->OpenFile(PathOf("picture.bmp")), nullptr);

    EXPECT_EQ(WindowCount(), 0);
    EXPECT_EQ(frame_->MdiArea()->subWindowList().size(), 0);
    // Every attempt took a window number.
    EXPECT_EQ(NewDocument()->DocumentName(), "Icon9");
    EXPECT_TRUE(prompt_.Done());
}

// Files handed over by type ("*.jpe", "*.dib") or without an extension are known by their first
// bytes and opened by that kind's reader.
TEST_F(OpenFiles, NamesTheEditorDoesNotKnowOpenByTheirFirstBytes) {
    std::filesystem::copy_file(DataDir() / "three_layers.pqf", folder_ / "document");
    std::filesystem::copy_file(DataDir() / "three_layers.pqf", folder_ / "document.txt");
    std::filesystem::copy_file(DataDir() / "odd_width_8bit.cur", folder_ / "pointer.dat");
    std::filesystem::copy_file(DataDir() / "jpeg_reader" / "gradient.jpg", folder_ / "photo.jpe");
    WriteBytes(folder_ / "picture.dib", BitmapBytes(PatternPicture(64, 64)));
    WriteBytes(folder_ / "icon", JoinIcons({DiagonalIcon(32, 16)}));
    for (const char* name : {"document", "document.txt"}) {
        gui::TImageForm* form = frame_->OpenFile(PathOf(name));
        ASSERT_NE(form, nullptr) << name;
        EXPECT_EQ(form->Doc().LayerCount(), 3);
        // 上書き保存 writes it back as the kind it was opened as.
        form->Doc().LayerAt(0).Mask[0] = 0;
        ASSERT_TRUE(form->Save()) << name;
        Document back;
        ASSERT_TRUE(LoadDocumentFile(folder_ / name, back, 10).Ok) << name;
        EXPECT_EQ(back.LayerAt(0).Mask[0], 0);
    }
    ASSERT_NE(frame_->OpenFile(PathOf("pointer.dat")), nullptr);
    gui::TImageForm* icon = frame_->OpenFile(PathOf("icon"));
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(icon->Doc().ImageWidth, 32);
    for (const char* name : {"photo.jpe", "picture.dib"}) {
        ClickOn(0, 0);
        gui::TImageForm* picture = frame_->OpenFile(PathOf(name));
        ASSERT_NE(picture, nullptr) << name;
        EXPECT_EQ(picture->Doc().ImageWidth, 16);
    }
    EXPECT_EQ(WindowCount(), 6);
    EXPECT_TRUE(prompt_.Done());
}

TEST_F(OpenFiles, FileOpenOffersTheOpenableKinds) {
    prompt_.ExpectOpenFile(Data("three_layers.pqf"));
    frame_->FileOpen1Execute();
    EXPECT_EQ(prompt_.Shown().back().Text,
              "PixquilFile(*.pqf) (*.pqf);;アイコン(*.ico) (*.ico);;カーソル(*.cur) (*.cur);;ビットマップ(*.bmp) (*.bmp);;"
              "JPEG(*.jpg;*.jpeg) (*.jpg *.jpeg);;PNG(*.png) (*.png);;アニメーションカーソル (*.ani) (*.ani);;"
              "開けるファイル(*.pqf;*.ico;*.cur;*.bmp;*.jpg;*.jpeg;*.png;*.ani) "
              "(*.pqf *.ico *.cur *.bmp *.jpg *.jpeg *.png *.ani);;すべてのファイル (*) (*)");
    ASSERT_NE(Active(), nullptr);
    EXPECT_EQ(Active()->Doc().LayerCount(), 3);
}

TEST_F(OpenFiles, SaveEntriesAndButtonUseTheWriterOfTheExtension) {
    std::filesystem::copy_file(DataDir() / "two_images.ico", folder_ / "two.ico");
    prompt_.ExpectDialog("TForm7", [](QDialog&) { return true; });
    gui::TImageForm* ico = frame_->OpenFile(PathOf("two.ico"));
    ASSERT_NE(ico, nullptr);
    ASSERT_TRUE(ico->MenuAction("Save1")->isEnabled());
    ico->Doc().Modified = true;
    ico->MenuAction("Save1")->trigger();   // written over without a question
    EXPECT_FALSE(ico->Doc().Modified);
    // Written back as its own image: the file keeps its second image and its size.
    EXPECT_EQ(std::filesystem::file_size(folder_ / "two.ico"), std::filesystem::file_size(DataDir() / "two_images.ico"));

    prompt_.ExpectSaveFile(PathOf("two.cur"));
    ico->MenuAction("SaveAs1")->trigger();
    EXPECT_EQ(prompt_.Shown().back().Text,
              "PixquilFile(*.pqf) (*.pqf);;アイコン(*.ico) (*.ico);;カーソル(*.cur) (*.cur);;ビットマップ(*.bmp) (*.bmp);;"
              "PNG(*.png) (*.png)");
    EXPECT_EQ(ico->DocumentName(), PathOf("two.cur"));
    ico->Doc().Modified = true;
    prompt_.ExpectMessage(PromptAnswer::Ok);
    frame_->ActionNamed("tbSave")->trigger();
    EXPECT_EQ(prompt_.Shown().back().Title, "上書き保存");
    EXPECT_TRUE(ico->Doc().Modified);

    // A never-saved document: the chosen name, with the writer it selects.
    gui::TImageForm* fresh = NewDocument(1, 0);
    prompt_.ExpectSaveFile(PathOf("Icon2.pqf"));
    ASSERT_TRUE(fresh->Save());
    EXPECT_EQ(std::filesystem::file_size(folder_ / "Icon2.pqf"), 1044u + 5 + 7 + 2 * 32 * 32);
    EXPECT_TRUE(prompt_.Done());
}

TEST_F(OpenFiles, PaletteEntriesSaveAndExchange) {
    gui::TImageForm* form = NewDocument();
    ASSERT_TRUE(form->MenuAction("mcPalSave")->isEnabled());
    ASSERT_TRUE(form->MenuAction("mcPalRep")->isEnabled());
    prompt_.ExpectDialog("SavePalDlg", [this](QDialog& d) {
        static_cast<QFileDialog&>(d).selectFile(PathOf("colours.pal"));
        static_cast<QFileDialog&>(d).selectNameFilter("JASC-PAL (*.pal)");
        return true;
    });
    form->MenuAction("mcPalSave")->trigger();
    ASSERT_TRUE(std::filesystem::exists(folder_ / "colours.pal"));

    const PaletteTable original = form->Doc().Palette;
    form->Doc().Palette[0] = PaletteEntry{9, 9, 9, 0};
    prompt_.ExpectOpenFile(PathOf("colours.pal"));
    form->MenuAction("mcPalRep")->trigger();
    EXPECT_EQ(form->Doc().Palette, original);
    EXPECT_EQ(UndoCaption(), "元に戻す(&U) - パレット交換");
    form->meUndoClick();
    EXPECT_EQ(form->Doc().Palette[0], (PaletteEntry{0, 0, 0, 0}));
    EXPECT_TRUE(prompt_.Done());
}

TEST_F(OpenFiles, New256ColourDocumentsTakeThePaletteBesideTheProgram) {
    Document source;
    InitBlankDocument(source, 16, 16, 256, 10);
    for (int i = 0; i < 256; ++i) source.Palette[std::size_t(i)] = PaletteEntry{uint8_t(i), 3, uint8_t(i / 2), 0};
    ASSERT_TRUE(SavePalette(source, folder_ / "palette.pqp", PaletteFormat::Pqp).Ok);
    gui::SetProgramFolder(folder_.Path());
    EXPECT_EQ(NewDocument(0, 1)->Doc().Palette, source.Palette);
    EXPECT_EQ(NewDocument(0, 0)->Doc().Palette[5], (PaletteEntry{128, 128, 0, 0}));   // 16 colours: defaults
    gui::SetProgramFolder(folder_ / "nowhere");
    EXPECT_EQ(NewDocument(0, 1)->Doc().Palette[200], PaletteEntry{});
    gui::SetProgramFolder({});
}

TEST_F(OpenFiles, IconsFromAProgramOpenAsNumberedDocuments) {
    QAction* extract = frame_->ActionNamed("mtExtract");
    ASSERT_NE(extract, nullptr);
    ASSERT_TRUE(extract->isEnabled());
    const QString program = Data("program_icons/pe32_icons.exe");
    ProgramIcons icons;
    ASSERT_TRUE(ProgramIcons::Load((DataDir() / "program_icons" / "pe32_icons.exe"), icons).Ok);
    ASSERT_GE(icons.Count(), 2);

    prompt_.ExpectDialog("TfrmExeDll", [](QDialog& d) {
        auto& dialog = static_cast<gui::TfrmExeDll&>(d);
        dialog.Button1()->click();
        dialog.ComboBox1Change(0);   // すべて
        dialog.Button2()->click();
        return dialog.result() == QDialog::Accepted;
    });
    prompt_.ExpectOpenFile(program);
    extract->trigger();
    ASSERT_EQ(WindowCount(), icons.Count());
    for (int i = 0; i < icons.Count(); ++i) {
        gui::TImageForm* form = frame_->Forms()[i];
        EXPECT_EQ(form->DocumentName(), QString("Icon%1").arg(i + 1));
        EXPECT_EQ(form->WindowNumber(), i + 1);
        EXPECT_EQ(form->Doc().ImageWidth, 32);
        EXPECT_EQ(form->Doc().HistoryPosition, 1);
        EXPECT_FALSE(form->Doc().Modified);
    }

    // キャンセル pressed while すべて runs: the windows made so far stay.
    prompt_.ExpectDialog("TfrmExeDll", [](QDialog& d) {
        auto& dialog = static_cast<gui::TfrmExeDll&>(d);
        dialog.Button1()->click();
        QTimer::singleShot(0, &dialog, [&dialog] { dialog.Button3()->click(); });
        dialog.Button2()->click();
        return dialog.result() == QDialog::Accepted;
    });
    prompt_.ExpectOpenFile(program);
    extract->trigger();
    EXPECT_EQ(WindowCount(), icons.Count() + 1);

    // Cancel in the dialog opens nothing.
    prompt_.ExpectDialog("TfrmExeDll", [](QDialog& d) {
        static_cast<gui::TfrmExeDll&>(d).Button3()->click();
        return false;
    });
    extract->trigger();
    EXPECT_EQ(WindowCount(), icons.Count() + 1);
    EXPECT_EQ(NewDocument()->DocumentName(), QString("Icon%1").arg(icons.Count() + 2));
    EXPECT_TRUE(prompt_.Done());
}

}  // namespace
}  // namespace pq::test
