// Animated cursors in the editor: an .ani or Xcursor file opens as a set whose pages are frames,
// the strip names each frame and its time, the アイコン menu edits frames with the steps kept
// consistent, and saving writes the animation back (unchanged: the very bytes).
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QMdiSubWindow>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "core/formats/ani_file.h"
#include "core/formats/cursor_animation.h"
#include "core/formats/xcursor_file.h"
#include "core/io/atomic_write.h"
#include "gui/app/main_form.h"
#include "gui/document/image_form.h"
#include "gui/document/page_dialogs.h"
#include "gui/formats/file_commands.h"
#include "gui/palettes/preview_window.h"
#include "support/editor_fixture.h"

namespace pq::test {
namespace {

// A 256-colour cursor page of `side` painted all over with index 1, whose colour names the frame;
// its top-left pixel is left unpainted.
IconSetPage PalettePage(int side, int frame, int hotX, int hotY) {
    IconSetPage page;
    InitBlankDocument(page.Doc, side, side, 256, 20);
    page.Doc.Palette[1] = MakeEntry(Rgb{uint8_t(40 + 60 * frame), uint8_t(200 - 50 * frame), uint8_t(side)});
    Layer& l = page.Doc.LayerAt(0);
    std::fill(l.Indices.begin(), l.Indices.end(), uint8_t(1));
    std::fill(l.Mask.begin(), l.Mask.end(), uint8_t(1));
    l.Mask[0] = 0;
    page.Doc.HotspotX = hotX, page.Doc.HotspotY = hotY, page.Doc.HasHotspot = true;
    return page;
}

// 3 frames of 16 and 32 pixels (hotspots (3,5) and (20,9)), frames shown 50, 100, 50 ms and
// frame 1 shown again at the end.
CursorAnimation ThreeFrames() {
    std::vector<CursorFrame> frames(3);
    for (int f = 0; f < 3; ++f) {
        frames[std::size_t(f)].Sizes.push_back(PalettePage(16, f, 3, 5));
        frames[std::size_t(f)].Sizes.push_back(PalettePage(32, f, 20, 9));
    }
    CursorAnimation anim = AnimationOfFrames(std::move(frames), 50, kCursorResourceType);
    anim.Steps = {0, 1, 2, 1};
    anim.StepMilliseconds = {50, 100, 50, 100};
    anim.Title = "walk";
    return anim;
}

class AnimationFrames : public EditorTest {
protected:
    std::filesystem::path WriteAni(const std::string& name = "walk.ani") {
        const auto path = folder_ / name;
        EXPECT_TRUE(SaveAniFile(ThreeFrames(), nullptr, path).Ok);
        return path;
    }
    gui::TImageForm* Open(const std::filesystem::path& path) {
        gui::TImageForm* form = frame_->OpenFile(QString::fromStdString(path.string()));
        QApplication::processEvents();
        return form;
    }
    static std::vector<uint8_t> Bytes(const std::filesystem::path& path) {
        std::vector<uint8_t> bytes;
        EXPECT_TRUE(ReadFileBytes(path, bytes).Ok);
        return bytes;
    }
    static std::vector<QString> Labels(gui::TImageForm* form) {
        std::vector<QString> labels;
        for (int i = 0; i < form->PageCount(); ++i) labels.push_back(form->PageLabel(i));
        return labels;
    }
    // The colour frame `f`'s page of `side` is painted with (index 1 of its palette).
    static Rgb FrameColour(gui::TImageForm* form, int f, int side) {
        const int page = form->FramePage(f, side, side);
        EXPECT_GE(page, 0);
        return page < 0 ? Rgb{} : EntryColor(form->PageDoc(page).Palette[form->PageDoc(page).LayerAt(0).Indices[1]]);
    }
    void Trigger(gui::TImageForm* form, const char* name) {
        QAction* action = form->MenuAction(name);
        ASSERT_NE(action, nullptr) << name;
        action->trigger();
        QApplication::processEvents();
    }
};

TEST_F(AnimationFrames, AnAniOpensAsFramesBySizeAndSavesBackUnchangedThenWithANewTime) {
    const auto path = WriteAni();
    const std::vector<uint8_t> original = Bytes(path);
    gui::TImageForm* form = Open(path);
    ASSERT_NE(form, nullptr);
    ASSERT_TRUE(form->IsSet());
    EXPECT_EQ(form->FrameCount(), 3);
    EXPECT_EQ(Labels(form), (std::vector<QString>{"16×16 #1 50ms", "16×16 #2 100ms", "16×16 #3 50ms", "32×32 #1 50ms",
                                                  "32×32 #2 100ms", "32×32 #3 50ms"}));
    EXPECT_EQ(form->AnimationSteps(), (std::vector<int>{0, 1, 2, 1}));
    EXPECT_EQ(form->AnimationStepMilliseconds(), (std::vector<int>{50, 100, 50, 100}));
    EXPECT_EQ(form->FramePage(2, 32, 32), 5);
    EXPECT_EQ(form->FramePage(1, 24, 24), -1);
    const Document& big = form->PageDoc(form->FramePage(2, 32, 32));
    EXPECT_EQ(std::tuple(big.HotspotX, big.HotspotY), std::tuple(20, 9));
    EXPECT_EQ(form->PageDoc(1).HotspotY, 5);
    for (int f = 0; f < 3; ++f) EXPECT_EQ(FrameColour(form, f, 32), EntryColor(ThreeFrames().Frames[std::size_t(f)].Sizes[1].Doc.Palette[1]));
    EXPECT_EQ(form->Animation().Title, "walk");

    // Nothing changed: the file's own bytes.
    ASSERT_TRUE(form->Save());
    EXPECT_EQ(Bytes(path), original);

    // Frame 2 (the second frame) shown 250 ms wherever a step shows it; its label follows.
    form->SelectPage(form->FramePage(1, 16, 16));
    prompt_.ExpectDialog("TfrmFrameTime", [](QDialog& d) {
        auto& dialog = static_cast<gui::TfrmFrameTime&>(d);
        EXPECT_EQ(dialog.TimeEdit()->text(), "100");
        dialog.TimeEdit()->setText("250");
        return true;
    });
    Trigger(form, "miFrameTime");
    EXPECT_EQ(form->PageLabel(4), "32×32 #2 250ms");
    EXPECT_TRUE(form->SetChanged());
    ASSERT_TRUE(form->Save());
    EXPECT_FALSE(form->SetChanged());
    AniFile back;
    ASSERT_TRUE(ReadAniFile(path, 20, back).Ok);
    EXPECT_EQ(back.Animation.Steps, (std::vector<int>{0, 1, 2, 1}));
    EXPECT_EQ(back.Animation.StepMilliseconds, (std::vector<int>{50, 250, 50, 250}));
    ASSERT_EQ(back.Animation.Frames.size(), 3u);
    EXPECT_EQ(back.Animation.Frames[1].Sizes[1].Doc.LayerAt(0).Mask, form->PageDoc(4).LayerAt(0).Mask);
    EXPECT_EQ(back.Animation.Frames[2].Sizes[1].Doc.HotspotX, 20);

    // A time outside 1..9,900,000 keeps the dialog open with a warning; Cancel changes nothing.
    prompt_.ExpectDialog("TfrmFrameTime", [this](QDialog& d) {
        auto& dialog = static_cast<gui::TfrmFrameTime&>(d);
        dialog.TimeEdit()->setText("9900001");
        prompt_.ExpectMessage(gui::PromptAnswer::Ok);
        dialog.done(QDialog::Accepted);
        EXPECT_TRUE(dialog.isVisible() || dialog.result() != QDialog::Accepted);
        return false;
    });
    Trigger(form, "miFrameTime");
    EXPECT_EQ(form->AnimationStepMilliseconds(), (std::vector<int>{50, 250, 50, 250}));
    EXPECT_TRUE(prompt_.Done());
}

TEST_F(AnimationFrames, SeveralFramesAreRefusedAsIcoAndAnUnreadableAniOpensNothing) {
    gui::TImageForm* form = Open(WriteAni());
    ASSERT_NE(form, nullptr);
    const auto ico = folder_ / "walk.ico";
    prompt_.ExpectSaveFile(QString::fromStdString(ico.string()));
    prompt_.ExpectMessage(gui::PromptAnswer::Ok);
    EXPECT_FALSE(form->SaveAs());
    EXPECT_EQ(prompt_.Shown().back().Text, gui::kAnimationNotIconMessage);
    EXPECT_FALSE(std::filesystem::exists(ico));
    // The chooser offered the animation's own kind.
    EXPECT_EQ(prompt_.LastSaveRequest().DefaultSuffix, "ani");

    // Known by its first bytes under a name that says nothing.
    std::filesystem::copy_file(folder_ / "walk.ani", folder_ / "walk");
    gui::TImageForm* plain = Open(folder_ / "walk");
    ASSERT_NE(plain, nullptr);
    EXPECT_EQ(plain->FrameCount(), 3);

    // A cut-off file: the reader's message, no window.
    std::vector<uint8_t> bytes = Bytes(folder_ / "walk.ani");
    bytes.resize(bytes.size() / 2);
    const auto cut = folder_ / "cut.ani";
    ASSERT_TRUE(WriteFileAtomically(cut, bytes).Ok);
    const int windows = int(frame_->Forms().size());
    prompt_.ExpectMessage(gui::PromptAnswer::Ok);
    EXPECT_EQ(Open(cut), nullptr);
    EXPECT_TRUE(prompt_.Shown().back().Text.startsWith(kAniOpenError)) << prompt_.Shown().back().Text.toStdString();
    EXPECT_EQ(int(frame_->Forms().size()), windows);
}

TEST_F(AnimationFrames, FrameCommandsKeepTheStepsNamingTheSamePictures) {
    const auto path = WriteAni();
    const std::vector<uint8_t> original = Bytes(path);
    gui::TImageForm* form = Open(path);
    ASSERT_NE(form, nullptr);
    const Rgb second = FrameColour(form, 1, 32), third = FrameColour(form, 2, 16);
    // The preview is given the animation to play, both sizes at each step's frame.
    gui::TfrmView* preview = frame_->Preview();
    ASSERT_TRUE(preview->HasAnimation());
    EXPECT_FALSE(preview->IsPlaying());
    QMenu menu;
    preview->FillContextMenu(menu);
    for (QAction* a : menu.actions())
        if (a->objectName() == "mvPreviewPlay") a->trigger();
    ASSERT_TRUE(preview->IsPlaying());
    const QImage firstStep = preview->Picture();
    preview->AdvanceStep();
    EXPECT_EQ(preview->CurrentStep(), 1);
    EXPECT_NE(preview->Picture(), firstStep);
    form->SelectPage(form->FramePage(1, 32, 32));

    // A blank frame after frame 1, shown after its first step, as long.
    Trigger(form, "miAddFrame");
    EXPECT_EQ(form->FrameCount(), 4);
    EXPECT_EQ(form->PageCount(), 8);
    EXPECT_EQ(form->PageFrame(form->CurrentPage()), 2);
    EXPECT_EQ(form->Doc().ImageWidth, 32);
    EXPECT_TRUE(std::all_of(form->Doc().LayerAt(0).Mask.begin(), form->Doc().LayerAt(0).Mask.end(),
                            [](uint8_t m) { return m == 0; }));
    EXPECT_EQ(form->Doc().HotspotX, 20);
    EXPECT_EQ(form->AnimationSteps(), (std::vector<int>{0, 1, 2, 3, 1}));
    EXPECT_EQ(form->AnimationStepMilliseconds(), (std::vector<int>{50, 100, 100, 50, 100}));
    EXPECT_EQ(FrameColour(form, 3, 16), third);
    EXPECT_TRUE(CheckCursorAnimation(form->Animation()).Ok);
    EXPECT_TRUE(form->SetChanged());

    // Moved before frame 1: the steps still show the same pictures in the same order.
    Trigger(form, "miFrameEarlier");
    EXPECT_EQ(form->PageFrame(form->CurrentPage()), 1);
    EXPECT_EQ(form->AnimationSteps(), (std::vector<int>{0, 2, 1, 3, 2}));
    EXPECT_EQ(FrameColour(form, 2, 32), second);
    EXPECT_EQ(form->PageLabel(form->FramePage(1, 16, 16)), "16×16 #2 100ms");
    EXPECT_TRUE(CheckCursorAnimation(form->Animation()).Ok);

    // Deleted again (after the question): the animation is the file's once more, so are its bytes.
    prompt_.ExpectMessage(gui::PromptAnswer::Yes);
    Trigger(form, "miDeleteFrame");
    EXPECT_EQ(form->FrameCount(), 3);
    EXPECT_EQ(form->AnimationSteps(), (std::vector<int>{0, 1, 2, 1}));
    EXPECT_EQ(form->AnimationStepMilliseconds(), (std::vector<int>{50, 100, 50, 100}));
    EXPECT_EQ(form->PageFrame(form->CurrentPage()), 1) << "the same size of the next frame is shown";
    ASSERT_TRUE(form->Save());
    EXPECT_EQ(Bytes(path), original);

    // The 32 page copied to the 16 page of its frame: one step of that page, undone there.
    form->SelectPage(form->FramePage(0, 32, 32));
    Trigger(form, "miCopyToFrameSizes");
    const int small = form->FramePage(0, 16, 16);
    EXPECT_EQ(form->PageDoc(small).LayerAt(0).Mask[0], 1) << "the 32 page's one clear pixel is averaged away";
    EXPECT_EQ(form->PageDoc(small).HotspotX, 3);
    form->SelectPage(small);
    EXPECT_EQ(UndoCaption(), "元に戻す(&U) - フレームを全サイズにコピー");
    Trigger(form, "meUndo");
    EXPECT_EQ(form->Doc().LayerAt(0).Mask[0], 0);

    // Down to one frame: the strip's labels are a set's again, frame commands greyed.
    prompt_.ExpectMessage(gui::PromptAnswer::Yes);
    Trigger(form, "miDeleteFrame");
    prompt_.ExpectMessage(gui::PromptAnswer::Yes);
    Trigger(form, "miDeleteFrame");
    EXPECT_EQ(form->FrameCount(), 1);
    EXPECT_EQ(form->AnimationSteps(), (std::vector<int>{0}));
    EXPECT_TRUE(CheckCursorAnimation(form->Animation()).Ok);
    EXPECT_EQ(form->PageLabel(0), "16×16 256色");
    // Nothing left to play: the preview stops and shows the set.
    EXPECT_FALSE(preview->IsPlaying());
    EXPECT_FALSE(preview->HasAnimation());
    emit form->MenuNamed("mIcon")->aboutToShow();
    EXPECT_FALSE(form->MenuAction("miDeleteFrame")->isEnabled());
    EXPECT_FALSE(form->MenuAction("miFrameLater")->isEnabled());
    EXPECT_TRUE(form->MenuAction("miCopyToFrameSizes")->isEnabled());
    EXPECT_TRUE(prompt_.Done());
}

// Xcursor files carry no extension: known by their first bytes, saved back to their kind, every
// pixel, hotspot and delay kept. Steps over the frames in order keep their order when a frame
// moves, each time going with its frame.
TEST_F(AnimationFrames, AnXcursorFileOpensAndSavesBackPixelForPixel) {
    std::vector<CursorFrame> frames(2);
    for (int f = 0; f < 2; ++f)
        for (const auto& [w, h] : {std::pair(24, 24), std::pair(17, 13)}) {
            IconSetPage page;
            page.Kind = IconPageKind::TrueColor;
            InitBlankTrueColorDocument(page.Doc, w, h, 20);
            RgbaPlane& px = page.Doc.LayerAt(0).Pixels;
            for (std::size_t i = 0; i < px.size(); ++i)
                px[i] = Rgba8{uint8_t(i * 7 + f * 90), uint8_t(i * 3), uint8_t(200 - f * 100), uint8_t(i % 5 == 0 ? 0 : 128 + f * 127)};
            page.Doc.HotspotX = w / 2 + f, page.Doc.HotspotY = h - 1, page.Doc.HasHotspot = true;
            frames[std::size_t(f)].Sizes.push_back(std::move(page));
        }
    CursorAnimation anim = AnimationOfFrames(std::move(frames), 30, kCursorResourceType);
    anim.StepMilliseconds = {30, 70};
    const auto path = folder_ / "left_ptr";
    ASSERT_TRUE(SaveXcursorFile(anim, path).Ok);
    CursorAnimation read;
    ASSERT_TRUE(ReadXcursorFile(path, 20, read).Ok);

    gui::TImageForm* form = Open(path);
    ASSERT_NE(form, nullptr);
    ASSERT_EQ(form->PageCount(), 4);
    EXPECT_EQ(form->FrameCount(), 2);
    EXPECT_EQ(form->PageLabel(3), "17×13 #2 70ms");
    ASSERT_TRUE(form->Save());
    CursorAnimation back;
    ASSERT_TRUE(ReadXcursorFile(path, 20, back).Ok);
    ASSERT_EQ(back.Frames.size(), 2u);
    EXPECT_EQ(back.StepMilliseconds, (std::vector<int>{30, 70}));
    for (std::size_t f = 0; f < 2; ++f)
        for (std::size_t s = 0; s < 2; ++s) {
            const Document& a = read.Frames[f].Sizes[s].Doc;
            const Document& b = back.Frames[f].Sizes[s].Doc;
            EXPECT_EQ(std::tuple(b.ImageWidth, b.ImageHeight, b.HotspotX, b.HotspotY),
                      std::tuple(a.ImageWidth, a.ImageHeight, a.HotspotX, a.HotspotY));
            EXPECT_TRUE(a.LayerAt(0).Pixels == b.LayerAt(0).Pixels) << "frame " << f << " size " << s;
        }

    // Frame 1 moved later: shown second, its 30 ms with it; 名前を付けて保存 without extension
    // writes an Xcursor file.
    form->SelectPage(form->FramePage(0, 17, 13));
    Trigger(form, "miFrameLater");
    EXPECT_EQ(form->AnimationSteps(), (std::vector<int>{0, 1}));
    EXPECT_EQ(form->AnimationStepMilliseconds(), (std::vector<int>{70, 30}));
    EXPECT_EQ(form->PageFrame(form->CurrentPage()), 1);
    const auto copy = folder_ / "copy";
    prompt_.ExpectSaveFile(QString::fromStdString(copy.string()));
    ASSERT_TRUE(form->SaveAs());
    CursorAnimation moved;
    ASSERT_TRUE(ReadXcursorFile(copy, 20, moved).Ok);
    EXPECT_EQ(moved.StepMilliseconds, (std::vector<int>{70, 30}));
    EXPECT_TRUE(moved.Frames[1].Sizes[1].Doc.LayerAt(0).Pixels == read.Frames[0].Sizes[1].Doc.LayerAt(0).Pixels);
}

// A window killed while it shows an edited animation: the set restored at the next start keeps its
// frames, steps and times (the time changed before the crash included), and the edit.
TEST_F(AnimationFrames, ARestoredAnimationKeepsItsFramesAndTimesAfterSigkill) {
    EndFrame();
    const auto settings = folder_.Path() / "setting";
    const auto path = WriteAni();
    const pid_t pid = ::fork();
    if (pid == 0) {
        auto* prompt = new ScriptedPrompt;
        auto* frame = new gui::TMainForm(settings, prompt);
        gui::TImageForm* form = frame->OpenFile(QString::fromStdString(path.string()));
        if (!form) ::_exit(2);
        form->SelectPage(form->FramePage(2, 32, 32));
        form->SetFrameMilliseconds(400, false);
        form->Doc().Current().Mask[0] = 1;
        if (!form->RecordStep("筆")) ::_exit(3);
        ::kill(::getpid(), SIGKILL);
        ::_exit(4);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << status;
    prompt_.ExpectDialog("TfrmRecovery", [](QDialog& d) {
        d.findChild<QPushButton*>("btnRestore")->click();
        return d.result() == QDialog::Accepted;
    });
    StartFrame();
    frame_->ShowAtStartup({});
    EXPECT_TRUE(prompt_.Done());
    ASSERT_EQ(frame_->Forms().size(), 1);
    gui::TImageForm* form = frame_->Forms()[0];
    ASSERT_EQ(form->PageCount(), 6);
    EXPECT_EQ(form->FrameCount(), 3);
    EXPECT_EQ(form->AnimationSteps(), (std::vector<int>{0, 1, 2, 1}));
    EXPECT_EQ(form->AnimationStepMilliseconds(), (std::vector<int>{50, 100, 400, 100}));
    EXPECT_EQ(form->CurrentPage(), form->FramePage(2, 32, 32));
    EXPECT_EQ(form->Doc().Current().Mask[0], 1) << "the edit came back";
    EXPECT_EQ(form->PageLabel(2), "16×16 #3 400ms");
}

}  // namespace
}  // namespace pq::test
