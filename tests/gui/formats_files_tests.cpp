// The file commands over a real document window: the save commands and their warnings, failed
// saves, picture import through the area picker, palette save and exchange.
#include <QApplication>
#include <QFileDialog>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include "core/document/recovery_note.h"
#include "core/document/render.h"
#include "core/document/selection.h"
#include "core/formats/picture_import.h"
#include "core/formats/native_document.h"
#include "core/formats/palette_file.h"
#include "gui/app/main_form.h"
#include "gui/document/image_form.h"
#include "gui/formats/area_picker.h"
#include "gui/formats/file_commands.h"
#include "support/editor_fixture.h"
#include "support/formats_files.h"

namespace pq::test {
namespace {

using gui::PromptAnswer;

// Remembers the last save-chooser request (proposed name, default extension).
class RecordingPrompt : public ScriptedPrompt {
public:
    std::optional<QString> SaveFileName(QWidget* parent, const gui::FileDialogRequest& request) override {
        lastSave = request;
        return ScriptedPrompt::SaveFileName(parent, request);
    }
    gui::FileDialogRequest lastSave;
};

class FileCommands : public EditorTest {
protected:
    QString PathOf(const std::string& name) const { return QString::fromStdString((folder_ / name).string()); }
    bool Save(gui::TImageForm* form) { return gui::Save1Click(*form, rec_, frame_.get()); }
    bool SaveAs(gui::TImageForm* form) { return gui::SaveAs1Click(*form, rec_); }
    std::uintmax_t SizeOf(const std::string& name) const { return std::filesystem::file_size(folder_ / name); }
    gui::ReadRequest Request() { return gui::ReadRequest{10, &prompt_, frame_.get()}; }

    RecordingPrompt rec_;
};

// ---- save commands -------------------------------------------------------------------------------

TEST_F(FileCommands, SaveOnANeverSavedDocumentAsksForANameProposingTheCaption) {
    gui::TImageForm* form = NewDocument();
    form->Doc().Modified = true;

    rec_.ExpectSaveFile(std::nullopt);
    EXPECT_FALSE(Save(form));
    EXPECT_EQ(rec_.lastSave.InitialName, "Icon1");
    EXPECT_EQ(rec_.lastSave.DefaultSuffix, "pqf");
    EXPECT_TRUE(form->Doc().Modified);
    EXPECT_EQ(form->DocumentName(), "Icon1");

    rec_.ExpectSaveFile(PathOf("Icon1.pqf"));
    EXPECT_TRUE(Save(form));
    EXPECT_EQ(SizeOf("Icon1.pqf"), 1568u);
    EXPECT_EQ(form->DocumentName(), PathOf("Icon1.pqf"));
    EXPECT_FALSE(form->Doc().Modified);

    // The file exists now: Save writes over it without a question.
    form->Doc().LayerAt(0).Mask[0] = 1;
    form->Doc().Modified = true;
    EXPECT_TRUE(Save(form));
    EXPECT_FALSE(form->Doc().Modified);
    Document back;
    ASSERT_TRUE(LoadDocumentFile(folder_ / "Icon1.pqf", back, 10).Ok);
    EXPECT_EQ(back.LayerAt(0).Mask[0], 1);
    EXPECT_TRUE(rec_.Done());
}

TEST_F(FileCommands, SaveAsProposesTheCaptionWithoutItsExtensionAndPicksTheWriter) {
    gui::TImageForm* form = NewDocument();
    rec_.ExpectSaveFile(PathOf("pic.ico"));
    EXPECT_TRUE(SaveAs(form));
    EXPECT_EQ(rec_.lastSave.InitialName, "Icon1");
    EXPECT_EQ(SizeOf("pic.ico"), 318u);
    EXPECT_EQ(form->DocumentName(), PathOf("pic.ico"));

    rec_.ExpectSaveFile(PathOf("pic.bmp"));
    EXPECT_TRUE(SaveAs(form));
    EXPECT_EQ(rec_.lastSave.InitialName, PathOf("pic"));
    EXPECT_EQ(SizeOf("pic.bmp"), 822u);

    gui::TImageForm* big = NewDocument(1, 1);
    rec_.ExpectSaveFile(PathOf("big.cur"));
    EXPECT_TRUE(SaveAs(big));
    const std::vector<uint8_t> cursor = ReadBytes(folder_ / "big.cur");
    ASSERT_EQ(cursor.size(), 2238u);
    EXPECT_EQ(cursor[2], 2);                   // resource type: cursor
    EXPECT_EQ(cursor[10] | cursor[11], 0);     // hotspot (0, 0)
    EXPECT_EQ(cursor[12] | cursor[13], 0);

    EXPECT_EQ(gui::ProposedSaveName("/x/icon.ico"), "/x/icon");
    EXPECT_EQ(gui::ProposedSaveName("/x.d/Icon1"), "/x.d/Icon1");
    EXPECT_EQ(gui::ProposedSaveName("/x/a.b.pqf"), "/x/a.b");
    EXPECT_TRUE(rec_.Done());
}

// Saving while a selection floats writes what the canvas shows: the lifted pixels put down at
// the rectangle's present place (the part moved off the canvas is gone), in every format, and
// the window keeps its selection floating.
TEST_F(FileCommands, EveryWriterSeesAFloatingSelectionPutDownAsShown) {
    gui::TImageForm* form = NewDocument();  // 16 x 16
    Document& doc = form->Doc();
    for (int y = 1; y < 9; ++y)
        for (int x = 1; x < 9; ++x) {
            doc.Current().Indices[x + y * 16] = uint8_t(1 + (x + y) % 5);
            doc.Current().Mask[x + y * 16] = 1;
        }
    SetSelection(doc, 2, 3, 7, 7);
    doc.HasSelection = true;
    LiftSelection(doc);
    ASSERT_TRUE(MoveFloating(doc, 9, 10));  // rectangle (11,13)-(16,17): one row off the canvas
    form->Redraw();
    const Composite& shown = form->Comp();

    const auto sameAsShown = [&](const Document& back, const char* what) {
        Composite c;
        Recompose(back, TransparencyColors{}, c);
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x) {
                ASSERT_EQ(c.CompositeMask.Pixel(x, y), shown.CompositeMask.Pixel(x, y)) << what << " " << x << "," << y;
                ASSERT_EQ(c.CompositeColor.Pixel(x, y), shown.CompositeColor.Pixel(x, y)) << what << " " << x << "," << y;
            }
    };
    for (const char* name : {"shown.pqf", "shown.ico"}) {
        rec_.ExpectSaveFile(PathOf(name));
        ASSERT_TRUE(SaveAs(form));
        Document back;
        const FileResult r = std::string(name).ends_with(".pqf") ? LoadDocumentFile(folder_ / name, back, 10)
                                                                 : LoadIconFile(folder_ / name, 0, back, 10);
        ASSERT_TRUE(r.Ok) << name;
        sameAsShown(back, name);
    }
    rec_.ExpectSaveFile(PathOf("shown.bmp"));
    ASSERT_TRUE(SaveAs(form));
    Raster picture;
    ASSERT_TRUE(LoadPicture(folder_ / "shown.bmp", PictureKind::Bitmap, picture).Ok);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) ASSERT_EQ(picture.Pixel(x, y), shown.CompositeColor.Pixel(x, y)) << x << "," << y;

    EXPECT_TRUE(doc.HasSelection);
    EXPECT_EQ(doc.Current().Mask[3 + 4 * 16], 0) << "the hole stays in the window's own layer";
}

TEST_F(FileCommands, SaveRefusesCursorsAndUnknownKindsWithAWarning) {
    gui::TImageForm* form = NewDocument();
    rec_.ExpectSaveFile(PathOf("c.cur"));
    ASSERT_TRUE(SaveAs(form));
    const std::vector<uint8_t> before = ReadBytes(folder_ / "c.cur");

    form->Doc().LayerAt(0).Mask[5] = 1;
    form->Doc().Modified = true;
    rec_.ExpectMessage(PromptAnswer::Ok);
    EXPECT_FALSE(Save(form));
    const ShownPrompt& warning = rec_.Shown().back();
    EXPECT_EQ(warning.Title, "上書き保存");
    EXPECT_EQ(warning.Text, "この形式のファイルは上書き保存できません。\n名前をつけて保存を選んでください。");
    EXPECT_EQ(warning.Icon, gui::PromptIcon::Warning);
    EXPECT_EQ(warning.Buttons, gui::PromptButtons::Ok);
    EXPECT_TRUE(form->Doc().Modified);
    EXPECT_EQ(ReadBytes(folder_ / "c.cur"), before);

    // A never-saved document given a cursor name on Save is warned the same way.
    gui::TImageForm* other = NewDocument();
    rec_.ExpectSaveFile(PathOf("d.cur"));
    rec_.ExpectMessage(PromptAnswer::Ok);
    EXPECT_FALSE(Save(other));
    EXPECT_FALSE(std::filesystem::exists(folder_ / "d.cur"));
    EXPECT_EQ(other->DocumentName(), "Icon2");

    // Save As to a name no writer takes writes nothing and keeps the name and Modified.
    other->Doc().Modified = true;
    rec_.ExpectSaveFile(PathOf("e.gif"));
    rec_.ExpectMessage(PromptAnswer::Ok);
    EXPECT_FALSE(SaveAs(other));
    EXPECT_EQ(rec_.Shown().back().Text, gui::kNoWriterMessage);
    EXPECT_FALSE(std::filesystem::exists(folder_ / "e.gif"));
    EXPECT_EQ(other->DocumentName(), "Icon2");
    EXPECT_TRUE(other->Doc().Modified);
    EXPECT_TRUE(rec_.Done());
}

TEST_F(FileCommands, AFailedSaveKeepsModifiedTheNameAndTheOldFile) {
    gui::TImageForm* form = NewDocument();
    rec_.ExpectSaveFile(PathOf("keep.pqf"));
    ASSERT_TRUE(Save(form));
    const std::vector<uint8_t> before = ReadBytes(folder_ / "keep.pqf");

    // A folder that does not exist.
    form->Doc().Modified = true;
    rec_.ExpectSaveFile(PathOf("missing/keep.pqf"));
    rec_.ExpectMessage(PromptAnswer::Ok);
    EXPECT_FALSE(SaveAs(form));
    EXPECT_EQ(rec_.Shown().back().Icon, gui::PromptIcon::Error);
    EXPECT_FALSE(rec_.Shown().back().Text.isEmpty());
    EXPECT_TRUE(form->Doc().Modified);
    EXPECT_EQ(form->DocumentName(), PathOf("keep.pqf"));

    // A document the writer cannot store: the file that was there stays as it was.
    form->Doc().LayerAt(0).Mask[0] = 1;
    form->Doc().ColorCount = 17;
    rec_.ExpectMessage(PromptAnswer::Ok);
    EXPECT_FALSE(Save(form));
    EXPECT_TRUE(form->Doc().Modified);
    EXPECT_EQ(ReadBytes(folder_ / "keep.pqf"), before);
    form->Doc().ColorCount = 16;
    EXPECT_TRUE(rec_.Done());
}

// ---- picture import -------------------------------------------------------------------------------

TEST_F(FileCommands, PictureImportTakesTheAreaPickedAndReducesItsColours) {
    // Four flat quadrants of 20 x 20: few colours, so the reduction keeps them exactly.
    Raster picture(40, 40);
    const Rgb colours[4] = {{200, 10, 10}, {10, 200, 10}, {10, 10, 200}, {250, 250, 0}};
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 40; ++x) picture.SetPixelUnchecked(x, y, colours[(x / 20) + 2 * (y / 20)]);
    WriteBytes(folder_ / "quad.bmp", BitmapBytes(picture));

    prompt_.ExpectDialog("TfrmSelectOpenArea", [](QDialog& d) {
        auto& picker = static_cast<gui::TfrmSelectOpenArea&>(d);
        picker.rgSizeClick(0);
        picker.Image1MouseDown(10, 12);
        picker.Image1MouseUp(10, 12);
        return true;
    });
    Document doc;
    ASSERT_TRUE(gui::ReadFormatFile(PathOf("quad.bmp"), gui::DocumentFileKind::Bitmap, doc, Request()).Ok);
    ASSERT_EQ(doc.ImageWidth, 16);
    EXPECT_EQ(doc.ColorCount, 16);
    EXPECT_EQ(doc.DrawColor, 0);
    EXPECT_EQ(doc.AuxColor, 8);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            const std::size_t i = std::size_t(x + y * 16);
            ASSERT_NE(doc.LayerAt(0).Mask[i], 0);
            ASSERT_EQ(doc.ColorOf(doc.LayerAt(0).Indices[i]), picture.Pixel(10 + x, 12 + y)) << x << "," << y;
        }

    // "256色" and the whole picture into 32 x 32: every quadrant becomes 16 x 16.
    prompt_.ExpectDialog("TfrmSelectOpenArea", [](QDialog& d) {
        auto& picker = static_cast<gui::TfrmSelectOpenArea&>(d);
        picker.rgSizeClick(1);
        picker.SetColorItem(1);
        picker.Button3Click();
        return true;
    });
    Document whole;
    ASSERT_TRUE(gui::ReadFormatFile(PathOf("quad.bmp"), gui::DocumentFileKind::Bitmap, whole, Request()).Ok);
    EXPECT_EQ(whole.ImageWidth, 32);
    EXPECT_EQ(whole.ColorCount, 256);
    EXPECT_EQ(whole.ColorOf(whole.LayerAt(0).Indices[31 + 31 * 32]), colours[3]);

    // Cancel fails without a message; a JPEG goes through the same picker.
    prompt_.ExpectDialog("TfrmSelectOpenArea", [](QDialog&) { return false; });
    Document none;
    const FileResult r = gui::ReadFormatFile(QString::fromStdString((DataDir() / "jpeg_reader" / "gradient.jpg").string()),
                                             gui::DocumentFileKind::Jpeg, none, Request());
    EXPECT_FALSE(r.Ok);
    EXPECT_TRUE(r.Message.empty());
    EXPECT_FALSE(none.Ready);
    EXPECT_TRUE(prompt_.Done());
}

// ---- palettes ------------------------------------------------------------------------------------

// ---- a document made from a picture ---------------------------------------------------------------

// Remembers what every save chooser was asked to propose. With `Choose` set, the real chooser
// runs instead of a scripted answer: the name is typed into it and accepted, and its question
// about replacing an existing file is answered with `Replace` (and remembered).
class ChooserPrompt : public ScriptedPrompt {
public:
    std::optional<QString> SaveFileName(QWidget* parent, const gui::FileDialogRequest& request) override {
        requests.push_back(request);
        if (Choose.isEmpty()) return ScriptedPrompt::SaveFileName(parent, request);
        QTimer::singleShot(0, [this] {
            QPointer<QFileDialog> chooser = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (!chooser) {
                ADD_FAILURE() << "no save chooser shown";
                return;
            }
            QTimer::singleShot(0, [this] {
                auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                if (!box) return;
                Question = box->text();
                box->button(Replace ? QMessageBox::Yes : QMessageBox::No)->click();
            });
            chooser->selectFile(Choose);
            static_cast<QDialog*>(chooser.data())->accept();   // as the chooser's own button does
            if (chooser && chooser->isVisible()) chooser->reject();
        });
        return gui::QtPrompt().SaveFileName(parent, request);
    }
    std::vector<gui::FileDialogRequest> requests;
    QString Choose;
    bool Replace = false;
    QString Question;
};

class PictureImports : public ::testing::Test {
protected:
    TempDir dir;
    ChooserPrompt prompt;
    std::unique_ptr<gui::TMainForm> frame;
    QString photo = QString::fromStdString((dir / "photo.bmp").string());
    std::vector<uint8_t> photoBytes = BitmapBytes(PatternPicture(127, 64));

    PictureImports() {
        WriteBytes(dir / "photo.bmp", photoBytes);
        frame = std::make_unique<gui::TMainForm>(dir / "setting", &prompt);
        frame->show();
    }
    // Ctrl+S as typed in the frame (made active again: a chooser shown before took that).
    void PressCtrlS() {
        frame->activateWindow();
        QApplication::setActiveWindow(frame.get());
        QTest::keyClick(frame.get(), Qt::Key_S, Qt::ControlModifier);
    }
    ~PictureImports() override { frame.reset(); }
    QString PathOf(const char* name) const { return QString::fromStdString((dir / name).string()); }
    // The area picker answered with 全体を使う and OK.
    void ExpectWholePicture() {
        prompt.ExpectDialog("TfrmSelectOpenArea", [](QDialog& d) {
            static_cast<gui::TfrmSelectOpenArea&>(d).Button3()->click();
            return true;
        });
    }
    bool PhotoUnchanged() const { return ReadBytes(dir / "photo.bmp") == photoBytes; }
};

TEST_F(PictureImports, CtrlSAsksForANameBesideThePictureAndReplacesItOnlyWhenChosen) {
    ExpectWholePicture();
    gui::TImageForm* form = frame->OpenFile(photo);
    ASSERT_NE(form, nullptr);
    // Untitled as a new document; the picture stays in the recent files.
    EXPECT_EQ(form->DocumentName(), "Icon1");
    EXPECT_EQ(form->windowTitle(), "Icon1");
    EXPECT_TRUE(form->FilePath().isEmpty());
    ASSERT_FALSE(frame->RecentFiles().empty());
    EXPECT_EQ(QString::fromStdString(frame->RecentFiles().front()), photo);
    // A later start would offer it untitled too.
    const auto note = DecodeRecoveryNote(ReadBytes(NotePath(form->HistoryCtx())));
    ASSERT_TRUE(note);
    EXPECT_EQ(note->Label.Caption, "Icon1");
    EXPECT_EQ(note->Label.FileName, "");

    // Ctrl+S right after OK: the chooser proposes photo.ico beside the picture; cancelled, nothing is written.
    prompt.ExpectSaveFile(std::nullopt);
    PressCtrlS();
    ASSERT_EQ(prompt.requests.size(), 1u);
    EXPECT_EQ(prompt.requests[0].InitialName, PathOf("photo.ico"));
    EXPECT_TRUE(gui::SaveFileFilter().split(";;").value(prompt.requests[0].FilterIndex).endsWith("(*.ico)"));
    EXPECT_TRUE(PhotoUnchanged());
    EXPECT_FALSE(std::filesystem::exists(dir / "photo.ico"));

    // The picture's own name typed into the real chooser: it asks before replacing; No keeps it.
    prompt.Choose = photo;
    PressCtrlS();
    EXPECT_TRUE(prompt.Question.contains("photo.bmp")) << prompt.Question.toStdString();
    EXPECT_TRUE(PhotoUnchanged());
    EXPECT_EQ(form->DocumentName(), "Icon1");

    // Another name: written there, which becomes the document's file; the picture is untouched.
    prompt.Choose.clear();
    prompt.ExpectSaveFile(PathOf("photo.ico"));
    PressCtrlS();
    EXPECT_EQ(std::filesystem::file_size(dir / "photo.ico"), 318u);
    EXPECT_EQ(form->DocumentName(), PathOf("photo.ico"));
    EXPECT_TRUE(form->ImportSource().isEmpty());
    EXPECT_TRUE(PhotoUnchanged());
    EXPECT_TRUE(prompt.Done());
}

TEST_F(PictureImports, ChoosingThePictureInTheChooserAndReplacingWritesIt) {
    ExpectWholePicture();
    gui::TImageForm* form = frame->OpenFile(photo);
    ASSERT_NE(form, nullptr);
    prompt.Choose = photo;
    prompt.Replace = true;
    ASSERT_TRUE(form->Save());
    EXPECT_FALSE(prompt.Question.isEmpty());
    EXPECT_EQ(std::filesystem::file_size(dir / "photo.bmp"), 822u);
    EXPECT_EQ(form->DocumentName(), photo);
    EXPECT_TRUE(prompt.Done());
}

TEST_F(PictureImports, EveryWayOfOpeningAPictureLeavesItUntitled) {
    // The command line, the recent-files menu and a drop all open through the same path; the
    // first two are driven here, and 名前を付けて保存 proposes the picture's name too.
    ExpectWholePicture();
    frame->ShowAtStartup({photo});
    ASSERT_EQ(frame->Forms().size(), 1);
    EXPECT_EQ(frame->Forms()[0]->DocumentName(), "Icon1");

    ExpectWholePicture();
    QMenu* recent = frame->RecentFilesMenu();
    emit recent->aboutToShow();
    ASSERT_FALSE(recent->actions().isEmpty());
    recent->actions().front()->trigger();
    ASSERT_EQ(frame->Forms().size(), 2);
    gui::TImageForm* second = frame->Forms()[1];
    EXPECT_EQ(second->DocumentName(), "Icon2");
    EXPECT_TRUE(second->FilePath().isEmpty());

    prompt.ExpectSaveFile(std::nullopt);
    EXPECT_FALSE(second->SaveAs());
    EXPECT_EQ(prompt.requests.back().InitialName, PathOf("photo"));
    // Closing a changed import asks, and Yes asks for a name rather than writing the picture.
    second->Doc().Modified = true;
    prompt.ExpectMessage(PromptAnswer::Yes);
    prompt.ExpectSaveFile(std::nullopt);
    EXPECT_FALSE(second->parentWidget()->close());
    EXPECT_EQ(prompt.requests.back().InitialName, PathOf("photo.ico"));
    EXPECT_TRUE(PhotoUnchanged());
    EXPECT_TRUE(prompt.Done());
}

TEST_F(FileCommands, PaletteSaveFollowsTheChosenFilterAndExchangeRecordsAStep) {
    gui::TImageForm* form = NewDocument();
    auto saveAs = [this](const QString& name, int filter) {
        prompt_.ExpectDialog("SavePalDlg", [=](QDialog& d) {
            auto& chooser = static_cast<QFileDialog&>(d);
            EXPECT_EQ(chooser.nameFilters(), (QStringList{"PixquilPalette (*.pqp)", "JASC-PAL (*.pal)"}));
            EXPECT_EQ(chooser.defaultSuffix(), "pqp");
            chooser.selectNameFilter(chooser.nameFilters()[filter]);
            chooser.selectFile(name);
            return true;
        });
    };
    saveAs(PathOf("plain"), 0);
    gui::mcPalSaveClick(*form, prompt_);
    ASSERT_EQ(SizeOf("plain.pqp"), 71u);
    saveAs(PathOf("text.pqp"), 1);
    gui::mcPalSaveClick(*form, prompt_);
    const std::vector<uint8_t> text = ReadBytes(folder_ / "text.pqp");
    EXPECT_EQ(std::string(text.begin(), text.begin() + 27), "JASC-PAL\r\n0100\r\n16\r\n0 0 0\r\n");
    // A name typed without extension gets the chosen filter's: JASC text is named .pal.
    saveAs(PathOf("jasc"), 1);
    gui::mcPalSaveClick(*form, prompt_);
    EXPECT_FALSE(std::filesystem::exists(folder_ / "jasc.pqp"));
    ASSERT_TRUE(std::filesystem::exists(folder_ / "jasc.pal"));
    EXPECT_EQ(ReadBytes(folder_ / "jasc.pal"), text);
    EXPECT_FALSE(form->Doc().Modified);

    // Exchange: the saved colours come back as one undoable step.
    const PaletteTable original = form->Doc().Palette;
    form->Doc().Palette[3] = PaletteEntry{1, 2, 3, 0};
    prompt_.ExpectOpenFile(PathOf("text.pqp"));
    gui::mcPalRepClick(*form, prompt_);
    EXPECT_EQ(prompt_.Shown().back().Text, "パレット(*.pqp;*.pal;*.act) (*.pqp *.pal *.act)");
    EXPECT_EQ(form->Doc().Palette, original);
    // A step, though the colours are those the document was made with again: nothing to save.
    EXPECT_FALSE(form->Doc().Modified);
    EXPECT_EQ(UndoCaption(), "元に戻す(&U) - パレット交換");

    // Malformed JASC text is reported and changes nothing; an unknown file changes nothing silently.
    form->Doc().Palette[3] = PaletteEntry{1, 2, 3, 0};
    const PaletteTable changed = form->Doc().Palette;
    const int position = form->Doc().HistoryPosition;
    prompt_.ExpectOpenFile(QString::fromStdString((DataDir() / "bad" / "jasc_letters.pal").string()));
    prompt_.ExpectMessage(PromptAnswer::Ok);
    gui::mcPalRepClick(*form, prompt_);
    EXPECT_EQ(prompt_.Shown().back().Text, kPaletteFileError);
    WriteBytes(folder_ / "noise.pal", {'n', 'o', 'i', 's', 'e', 0, 1, 2, 3});
    prompt_.ExpectOpenFile(PathOf("noise.pal"));
    gui::mcPalRepClick(*form, prompt_);
    EXPECT_EQ(form->Doc().Palette, changed);
    EXPECT_EQ(form->Doc().HistoryPosition, position);

    prompt_.ExpectOpenFile(std::nullopt);
    gui::mcPalRepClick(*form, prompt_);
    EXPECT_TRUE(prompt_.Done());
}

}  // namespace
}  // namespace pq::test
