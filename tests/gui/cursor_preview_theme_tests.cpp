// The preview window playing an animation, and the cursor theme dialog writing a theme that
// libXcursor loads.
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>
#include <filesystem>
#include <fstream>
#include <memory>

#include "core/document/document.h"
#include "core/formats/cursor_theme.h"
#include "core/formats/icon_set.h"
#include "core/formats/xcursor_file.h"
#include "gui/document/image_form.h"
#include "gui/formats/cursor_theme_dialog.h"
#include "gui/palettes/preview_window.h"
#include "support/stand_in_frame.h"

#include <X11/Xcursor/Xcursor.h>
#undef None
#undef Success
#undef TrueColor

namespace pq::test {
namespace {

namespace fs = std::filesystem;
using gui::PromptAnswer;
using gui::TfrmView;

QImage Filled(int w, int h, QColor c) {
    QImage im(w, h, QImage::Format_ARGB32);
    im.fill(c);
    return im;
}

QAction* Entry(QMenu& menu, const char* name) { return menu.findChild<QAction*>(name); }

class PreviewAnimation : public ::testing::Test {
protected:
    PreviewAnimation() { view_.SetBackgroundKind(TfrmView::SetBackground::Light); }
    QColor At(int x, int y) const { return QColor(view_.Picture().pixel(x, y)); }
    // Two sizes: a 7 x 5 one of two frames (blue, green) and an odd 3 x 9 one that only frame 0 has.
    void Play(std::vector<int> steps, std::vector<int> times) {
        view_.PlayAnimation({{Filled(7, 5, Qt::blue), Filled(7, 5, Qt::green)}, {Filled(3, 9, Qt::red), QImage()}},
                            std::move(steps), std::move(times));
    }
    TempDir folder_;
    TfrmView view_{nullptr, folder_.Path()};
};

TEST_F(PreviewAnimation, EverySizeShowsTheStepsFrameForItsOwnTimeAndStopShowsTheNewestStill) {
    const QColor light(240, 240, 240);
    view_.PaintSet({Filled(5, 3, Qt::yellow)}, 0, {});
    Play({1, 0, 1}, {30, 0, 70});
    ASSERT_TRUE(view_.IsPlaying());
    // Side by side on one base line: the 7 x 5 size at (4, 8), the 3 x 9 one at (15, 4).
    EXPECT_EQ(view_.CurrentStep(), 0);
    EXPECT_EQ(At(4, 8), QColor(Qt::green));
    EXPECT_EQ(At(15, 4), light);   // frame 1 lacks this size
    EXPECT_EQ(view_.StepTimerInterval(), 30);
    view_.AdvanceStep();
    EXPECT_EQ(At(4, 8), QColor(Qt::blue));
    EXPECT_EQ(At(15, 4), QColor(Qt::red));
    EXPECT_EQ(At(4, 7), light);
    EXPECT_EQ(view_.StepTimerInterval(), TfrmView::kMinStepMilliseconds);   // a zero time never spins
    view_.AdvanceStep();
    EXPECT_EQ(view_.StepTimerInterval(), 70);
    view_.AdvanceStep();
    EXPECT_EQ(view_.CurrentStep(), 0);

    // A new still picture while playing waits behind the animation; new pictures keep the step.
    view_.AdvanceStep();
    view_.PaintSet({Filled(6, 4, Qt::magenta)}, 0, {});
    EXPECT_EQ(At(4, 8), QColor(Qt::blue));
    view_.PlayAnimation({{Filled(7, 5, Qt::cyan), Filled(7, 5, Qt::cyan)}}, {1, 0, 1}, {30, 20, 70});
    EXPECT_EQ(view_.CurrentStep(), 1);
    EXPECT_EQ(view_.StepTimerInterval(), TfrmView::kMinStepMilliseconds);   // the step's timer runs on
    EXPECT_EQ(At(4, 8), QColor(Qt::cyan));
    view_.StopAnimation();
    EXPECT_FALSE(view_.IsPlaying());
    EXPECT_EQ(view_.StepTimerInterval(), 0);
    EXPECT_EQ(At(4, 4), QColor(Qt::magenta));
    EXPECT_EQ(view_.PageAtPoint(QPoint(5, 5)), 0);
}

TEST_F(PreviewAnimation, TheTimerAdvancesTheStepsAndTheMenuOffersWhatCanBeDone) {
    // Steps naming no frame, lists of different lengths, sizes no frame holds: nothing to play.
    const QImage still = view_.Picture();
    Play({0, 2}, {10, 10});
    Play({0, 1}, {10});
    view_.PlayAnimation({{QImage()}}, {0}, {10});
    EXPECT_FALSE(view_.IsPlaying());
    EXPECT_EQ(view_.Picture(), still);
    QMenu before;
    view_.FillContextMenu(before);
    EXPECT_FALSE(Entry(before, "mvPreviewPlay")->isEnabled());
    EXPECT_FALSE(Entry(before, "mvPreviewStop")->isEnabled());
    // One step is shown and stays: no timer runs for it.
    Play({1}, {10});
    EXPECT_TRUE(view_.IsPlaying());
    EXPECT_EQ(view_.StepTimerInterval(), 0);

    Play({0, 1}, {10, 10});
    EXPECT_TRUE(QTest::qWaitFor([&] { return view_.CurrentStep() == 1; }, 2000));
    QMenu playing;
    view_.FillContextMenu(playing);
    EXPECT_FALSE(Entry(playing, "mvPreviewPlay")->isEnabled());
    ASSERT_TRUE(Entry(playing, "mvPreviewStop")->isEnabled());
    Entry(playing, "mvPreviewStop")->trigger();
    EXPECT_FALSE(view_.IsPlaying());

    QMenu stopped;
    view_.FillContextMenu(stopped);
    ASSERT_TRUE(Entry(stopped, "mvPreviewPlay")->isEnabled());
    Entry(stopped, "mvPreviewPlay")->trigger();
    EXPECT_TRUE(view_.IsPlaying());
    EXPECT_EQ(view_.CurrentStep(), 0);
    // No document left: nothing to play.
    view_.Blank();
    EXPECT_FALSE(view_.IsPlaying());
    EXPECT_FALSE(view_.HasAnimation());
}

// ---- the cursor theme dialog ----------------------------------------------------------------------

struct ImagesDeleter {
    void operator()(XcursorImages* p) const { XcursorImagesDestroy(p); }
};
using Images = std::unique_ptr<XcursorImages, ImagesDeleter>;

IconSetPage Solid(int w, int h, Rgba8 colour, int hx, int hy) {
    IconSetPage p;
    p.Kind = IconPageKind::TrueColor;
    InitBlankTrueColorDocument(p.Doc, w, h, 1);
    for (Rgba8& px : p.Doc.LayerAt(0).Pixels) px = colour;
    p.Doc.HotspotX = hx, p.Doc.HotspotY = hy, p.Doc.HasHotspot = true;
    return p;
}

class CursorThemeDialog : public ::testing::Test {
protected:
    CursorThemeDialog() {
        // pointer.cur: a 32 x 32 image and an odd 17 x 23 one; "spinner": an Xcursor of two frames.
        const IconSetPage big = Solid(32, 32, {255, 0, 0, 255}, 5, 6), odd = Solid(17, 23, {255, 0, 0, 255}, 2, 3);
        const IconSetEntry entries[] = {{&big.Doc, IconPageKind::TrueColor}, {&odd.Doc, IconPageKind::TrueColor}};
        EXPECT_TRUE(SaveIconSet(entries, Path("pointer.cur"), kCursorResourceType));
        std::vector<CursorFrame> frames(2);
        frames[0].Sizes.push_back(Solid(32, 32, {0, 0, 255, 255}, 1, 1));
        frames[1].Sizes.push_back(Solid(32, 32, {0, 255, 0, 255}, 1, 1));
        EXPECT_TRUE(SaveXcursorFile(AnimationOfFrames(frames, 40, kCursorResourceType), Path("spinner")));
        fs::create_directories(Path("out"));
    }
    fs::path Path(const std::string& name) const { return folder_.Path() / name; }
    QString QPath(const std::string& name) const { return QString::fromStdString(Path(name).string()); }
    static void Ok(gui::TfrmCursorTheme& d) { d.OkButton()->click(); }

    TempDir folder_;
    StandInFrame frame_;
    ScriptedPrompt& prompt_ = frame_.Prompter;
};

TEST_F(CursorThemeDialog, RolesFromNamesAndChoicesWrittenAsAThemeLibXcursorLoads) {
    // An open cursor set is listed; a plain picture window would not be.
    std::unique_ptr<gui::TImageForm> window = frame_.NewWindow();
    std::vector<IconSetPage> pages;
    int type = 0;
    ASSERT_TRUE(LoadIconSetFile(Path("pointer.cur"), 1, pages, type));
    window->AdoptIconSet(std::move(pages), type);

    prompt_.ExpectDialog("TfrmCursorTheme", [&](QDialog& d) {
        auto& dialog = static_cast<gui::TfrmCursorTheme&>(d);
        EXPECT_EQ(dialog.InputCount(), 1);
        prompt_.ExpectOpenFile(QPath("pointer.cur"));
        dialog.findChild<QPushButton*>("btAddFile")->click();
        prompt_.ExpectOpenFile(QPath("spinner"));
        dialog.findChild<QPushButton*>("btAddFile")->click();
        EXPECT_EQ(dialog.InputCount(), 3);
        EXPECT_EQ(dialog.RoleBox(0)->currentIndex(), -1);   // "Icon1" names no role
        EXPECT_EQ(dialog.RoleBox(1)->currentText(), "pointer");
        EXPECT_EQ(dialog.RoleBox(2)->currentIndex(), -1);
        dialog.RoleBox(0)->setCurrentText("default");
        prompt_.ExpectFolder(QPath("out"));
        dialog.findChild<QPushButton*>("btBrowse")->click();

        // No role for the spinner, then one taken twice: refused, said, nothing written.
        prompt_.ExpectMessage(PromptAnswer::Ok);
        Ok(dialog);
        EXPECT_TRUE(prompt_.Shown().back().Text.contains("spinner"));
        dialog.RoleBox(2)->setCurrentText("pointer");
        prompt_.ExpectMessage(PromptAnswer::Ok);
        Ok(dialog);
        EXPECT_TRUE(prompt_.Shown().back().Text.contains("役割「pointer」"));
        EXPECT_TRUE(prompt_.Shown().back().Text.contains("spinner"));
        EXPECT_TRUE(fs::is_empty(Path("out")));
        // A file planted where the theme's folder goes: the writer's refusal is said, the file stays.
        std::ofstream(Path("out/Test")) << "mine";
        dialog.NameEdit()->setText("Test");
        dialog.RoleBox(2)->setCurrentText("wait");
        prompt_.ExpectMessage(PromptAnswer::Ok);
        Ok(dialog);
        EXPECT_TRUE(prompt_.Shown().back().Text.contains("フォルダではありません"));
        EXPECT_EQ(dialog.result(), QDialog::Rejected);
        EXPECT_EQ(fs::file_size(Path("out/Test")), 4u);

        dialog.NameEdit()->setText("Mine");
        dialog.SizeBox(24)->setChecked(false);
        dialog.SizeBox(36)->setChecked(true);
        dialog.WindowsBox()->setChecked(true);
        prompt_.ExpectMessage(PromptAnswer::Ok);
        Ok(dialog);
        EXPECT_EQ(prompt_.Shown().back().Icon, gui::PromptIcon::Information);
        EXPECT_TRUE(prompt_.Shown().back().Text.contains(QPath("out/Mine")));
        return dialog.result() == QDialog::Accepted;
    });
    EXPECT_TRUE(gui::mfCursorThemeClick(frame_));
    EXPECT_TRUE(prompt_.Done());

    const fs::path cursors = Path("out/Mine/cursors");
    Images pointer(XcursorFilenameLoadImages((cursors / "pointer").c_str(), 32));
    ASSERT_TRUE(pointer);
    ASSERT_EQ(pointer->nimage, 1);
    EXPECT_EQ(pointer->images[0]->width, 32u);
    EXPECT_EQ(std::pair(pointer->images[0]->xhot, pointer->images[0]->yhot), std::pair(5u, 6u));
    EXPECT_EQ(pointer->images[0]->pixels[0], 0xffff0000u);
    // 36 is made from the largest size there is (32).
    EXPECT_EQ(Images(XcursorFilenameLoadImages((cursors / "pointer").c_str(), 36))->images[0]->size, 36u);
    Images spinner(XcursorFilenameLoadImages((cursors / "wait").c_str(), 48));
    ASSERT_TRUE(spinner);
    ASSERT_EQ(spinner->nimage, 2);
    EXPECT_EQ(spinner->images[0]->pixels[0], 0xff0000ffu);
    EXPECT_EQ(spinner->images[1]->pixels[0], 0xff00ff00u);
    EXPECT_EQ(spinner->images[1]->delay, 40u);
    EXPECT_TRUE(fs::exists(cursors / "default"));
    EXPECT_EQ(fs::read_symlink(cursors / "hand2"), "pointer");
    EXPECT_TRUE(fs::exists(Path("out/Mine/windows/wait.ani")));
}

TEST_F(CursorThemeDialog, AFolderAddsItsCursorsPassingOverLinksAndOtherFilesNamingBrokenOnes) {
    fs::create_directories(Path("in"));
    fs::copy_file(Path("pointer.cur"), Path("in/left_ptr.cur"));
    fs::copy_file(Path("spinner"), Path("in/spinner"));
    fs::create_symlink("left_ptr.cur", Path("in/arrow"));
    std::ofstream(Path("in/notes.txt")) << "not a cursor";
    std::ofstream(Path("in/broken.ani")).write("RIFF\x10\0\0\0ACONjunk", 16);
    gui::TfrmCursorTheme dialog(frame_);
    prompt_.ExpectFolder(QPath("in"));
    prompt_.ExpectMessage(PromptAnswer::Ok);
    EXPECT_TRUE(dialog.AddFolderClick());
    ASSERT_EQ(dialog.InputCount(), 2);
    EXPECT_EQ(dialog.InputAt(0).Label, "left_ptr.cur");
    EXPECT_EQ(dialog.RoleBox(0)->currentText(), "default");
    EXPECT_EQ(dialog.InputAt(1).Label, "spinner");
    const QString said = prompt_.Shown().back().Text;
    EXPECT_TRUE(said.contains("broken.ani"));
    EXPECT_FALSE(said.contains("notes.txt"));
    EXPECT_TRUE(prompt_.Done());
}

}  // namespace
}  // namespace pq::test
