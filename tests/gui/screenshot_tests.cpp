// Not checks: the pictures for the README and the manual. Each runs only when its variable names
// the PNG to write (scripts/screenshot sets them and runs this under Xvfb). PIXQUIL_SCREENSHOT:
// a few strokes on a 32 x 32 document drawn with real mouse events. PIXQUIL_SCREENSHOT_SET: an
// icon of five truecolour sizes opened with すべて開く in the designed 640 x 460 frame, its page
// strip above the canvas. PIXQUIL_SCREENSHOT_DIR: the manual's pictures of each dialog, one per
// file, cropped to the dialog, and of a few tools' effects, cropped to the document window.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QIcon>
#include <QImage>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include <cmath>
#include <vector>

#include "core/formats/icon_set.h"
#include "core/ops/resample.h"
#include "gui/app/main_form.h"
#include "gui/app/recovery_dialog.h"
#include "gui/formats/icon_chooser.h"
#include "gui/document/icon_menu.h"
#include "gui/document/new_dialog.h"
#include "gui/document/page_dialogs.h"
#include "gui/document/image_form.h"
#include "gui/document/text_dialog.h"
#include "gui/palettes/color_palette.h"
#include "gui/palettes/layer_palette.h"
#include "gui/palettes/preview_window.h"
#include "support/editor_fixture.h"

using namespace pq::gui;

// The program's icon on the frame and the document windows, as the editor sets it at start.
static void UseProgramIcon() {
    Q_INIT_RESOURCE(resources);
    QApplication::setWindowIcon(QIcon(":/pixquil/pixquil.ico"));
}

namespace {

class Screenshot : public pq::test::EditorTest {};

TEST_F(Screenshot, EditorWithAFewStrokes) {
    const QByteArray target = qgetenv("PIXQUIL_SCREENSHOT");
    if (target.isEmpty()) GTEST_SKIP() << "PIXQUIL_SCREENSHOT not set";
    UseProgramIcon();
    frame_->setGeometry(0, 0, 760, 600);
    frame_->ColorPalette()->move(775, 0);
    frame_->LayerPalette()->move(775, 350);
    frame_->Preview()->move(995, 350);
    TImageForm* f = NewDocument(1, 0);  // 32 x 32, 16 colours, 10x
    f->parentWidget()->move(0, 0);
    QTest::qWait(200);

    ChooseTool(kToolFillEllipse);
    f->Doc().DrawColor = 14;  // blue
    Drag({{3, 2}, {12, 11}});
    ChooseTool(kToolRect);
    f->Doc().DrawColor = 12;  // green
    ChooseSize(2);
    Drag({{16, 2}, {28, 11}});
    ChooseTool(kToolBrush);
    f->Doc().DrawColor = 10;  // red
    ChooseSize(3);
    Drag({{3, 28}, {8, 24}, {14, 29}, {20, 25}, {27, 29}});
    ChooseTool(kToolAir);
    f->Doc().DrawColor = 11;  // yellow
    ChooseSize(6);
    for (int i = 0; i < 12; ++i) Drag({{22, 7}, {23, 7}});
    ChooseTool(kToolText);
    f->Doc().DrawColor = 0;
    prompt_.ExpectDialog("TfrmText", [](QDialog& d) {
        static_cast<TfrmText&>(d).Edit1()->setText("アイコン");
        return true;
    });
    ClickCell(3, 13);
    ChooseTool(kToolBrush);
    ChooseSize(4);
    f->Doc().DrawColor = 10;
    frame_->RefreshColorPalette();
    MoveTo(Cell(24, 16));
    frame_->SetStatusText("（24,16）");
    QTest::qWait(300);
    QApplication::processEvents();

    const QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(0, 0, 0, 1050, 610);
    ASSERT_FALSE(shot.isNull());
    EXPECT_TRUE(shot.save(QString::fromLocal8Bit(target), "PNG"));
}

// A 256 x 256 picture with soft edges: a rounded square in a blue gradient over a soft shadow,
// with a light disc in it.
std::vector<pq::Rgba8> SoftArtwork() {
    std::vector<pq::Rgba8> px(256 * 256);
    auto box = [](double x, double y, double half, double radius) {
        const double qx = std::max(std::abs(x) - half + radius, 0.0), qy = std::max(std::abs(y) - half + radius, 0.0);
        return std::hypot(qx, qy) - radius;   // signed distance to a rounded square
    };
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x) {
            const double cx = x + 0.5 - 128, cy = y + 0.5 - 124;
            const double shape = std::clamp(0.5 - box(cx, cy, 100, 36), 0.0, 1.0);
            const double shadow = std::clamp((14 - box(cx - 6, cy - 10, 100, 36)) / 18, 0.0, 1.0) * 0.45;
            const double disc = std::clamp(0.5 - (std::hypot(cx + 10, cy + 8) - 52), 0.0, 1.0);
            const double t = (y + 0.5) / 256;
            double r = 40 + 60 * t, g = 110 + 80 * t, b = 230 - 20 * t;
            r += (250 - r) * disc * 0.85, g += (250 - g) * disc * 0.85, b += (255 - b) * disc * 0.85;
            const double a = shape + shadow * (1 - shape);
            if (a <= 0) continue;
            auto mix = [&](double c) { return uint8_t(std::lround(c * shape / a)); };
            px[std::size_t(y) * 256 + std::size_t(x)] = pq::Rgba8{mix(r), mix(g), mix(b), uint8_t(std::lround(a * 255))};
        }
    return px;
}

TEST_F(Screenshot, IconSetWithItsPageStrip) {
    const QByteArray target = qgetenv("PIXQUIL_SCREENSHOT_SET");
    if (target.isEmpty()) GTEST_SKIP() << "PIXQUIL_SCREENSHOT_SET not set";
    UseProgramIcon();
    const std::vector<pq::Rgba8> art = SoftArtwork();
    std::vector<pq::Document> pages;
    for (const int side : {16, 24, 32, 48, 256}) {
        pq::Document d;
        pq::InitBlankTrueColorDocument(d, side, side, 1);
        d.Current().Pixels = pq::ResampleRgba(art, 256, 256, side, side);
        pages.push_back(std::move(d));
    }
    std::vector<pq::IconSetEntry> entries;
    for (const pq::Document& d : pages)
        entries.push_back({&d, d.ImageWidth == 256 ? pq::IconPageKind::Png : pq::IconPageKind::TrueColor});
    // The window's caption shows the file's path: a fixed folder keeps the picture the same
    // from run to run.
    const std::filesystem::path shown = std::filesystem::temp_directory_path() / "pixquil-manual";
    std::filesystem::create_directories(shown);
    const std::filesystem::path icon = shown / "app.ico";
    ASSERT_TRUE(pq::SaveIconSet(entries, icon, pq::kIconResourceType).Ok);

    frame_->setGeometry(0, 0, 640, 460);
    frame_->ColorPalette()->move(655, 0);
    frame_->LayerPalette()->move(875, 0);
    frame_->Preview()->move(655, 340);
    prompt_.ExpectDialog("TForm7", [](QDialog& d) {
        static_cast<TForm7&>(d).Button3()->click();
        return d.result() == QDialog::Accepted;
    });
    TImageForm* f = frame_->OpenFile(QString::fromStdString(icon.string()));
    ASSERT_NE(f, nullptr);
    f->SelectPage(3);   // the 48 x 48 page, whole at 4x
    ChooseZoom(4);
    QTest::qWait(300);
    QApplication::processEvents();

    const QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(0);
    std::error_code ignored;
    std::filesystem::remove_all(shown, ignored);
    ASSERT_FALSE(shot.isNull());
    EXPECT_TRUE(shot.save(QString::fromLocal8Bit(target), "PNG"));
}

// The manual's pictures: each dialog it describes, shown as the editor shows it and cropped to
// the dialog's own window, then cancelled; and a few tools' effects, cropped to the document
// window. Fixed sizes and one font face so that the files only change when the screens do.
class ManualPictures : public Screenshot {
protected:
    void SetUp() override {
        folder = qgetenv("PIXQUIL_SCREENSHOT_DIR");
        if (folder.isEmpty()) GTEST_SKIP() << "PIXQUIL_SCREENSHOT_DIR not set";
        UseProgramIcon();
        frame_->setGeometry(0, 0, 640, 460);
    }
    void Save(QWidget& w, const QString& name) {
        QApplication::processEvents();
        const QImage shot = w.grab().toImage().convertToFormat(QImage::Format_RGB888);
        ASSERT_FALSE(shot.isNull()) << name.toStdString();
        EXPECT_TRUE(shot.save(QString::fromLocal8Bit(folder) + "/" + name + ".png", "PNG", 9)) << name.toStdString();
    }
    // Queues the dialog `objectName`: `prepare` fills it in, it is shown and pictured as `name`,
    // then accepted when `accept` says so (cancelled otherwise).
    void Picture(const QString& objectName, const QString& name, std::function<void(QDialog&)> prepare = {},
                 bool accept = false) {
        prompt_.ExpectDialog(objectName, [=, this](QDialog& d) {
            if (prepare) prepare(d);
            d.show();
            EXPECT_TRUE(QTest::qWaitForWindowExposed(&d));
            QTest::qWait(150);
            Save(d, name);
            d.hide();
            return accept;
        });
    }
    // The document window as it stands, after the selection outline has been drawn.
    void PictureDocument(TImageForm* f, const QString& name) {
        QTest::qWait(250);
        Save(*f->parentWidget(), name);
    }
    QByteArray folder;
};

TEST_F(ManualPictures, DialogsAndToolEffects) {
    // 新規作成, accepted: a 32 x 32 document of 16 colours at 10x.
    Picture("TfrmNew", "dialog-new", [](QDialog& d) {
        static_cast<TfrmNew&>(d).SetSizeItem(1);
        static_cast<TfrmNew&>(d).SetColorItem(0);
    }, true);
    frame_->ActionNamed("tbNew")->trigger();
    TImageForm* f = Active();
    ASSERT_NE(f, nullptr);
    f->parentWidget()->setGeometry(0, 0, 360, 360);
    ChooseZoom(8);

    // The tools' effects: a line, a fill inside an outline, a selection over them.
    ChooseTool(kToolLine);
    f->Doc().DrawColor = 14;
    ChooseSize(2);
    Drag({{3, 27}, {28, 4}});
    PictureDocument(f, "tool-line");
    ChooseTool(kToolEllipse);
    f->Doc().DrawColor = 0;
    ChooseSize(1);
    Drag({{4, 4}, {20, 20}});
    ChooseTool(kToolFill);
    f->Doc().DrawColor = 11;
    ClickCell(8, 14);
    PictureDocument(f, "tool-fill");
    ChooseTool(kToolSelect);
    Drag({{12, 10}, {26, 24}});
    PictureDocument(f, "tool-select");
    f->MenuAction("meUndo")->trigger();   // the selection undone: the dialogs below act on the whole image

    Picture("TfrmText", "dialog-text", [](QDialog& d) { static_cast<TfrmText&>(d).Edit1()->setText("アイコン"); });
    ChooseTool(kToolText);
    ClickCell(3, 13);
    ChooseTool(kToolBrush);

    const std::pair<const char*, const char*> operations[] = {
        {"TfrmResize", "miSize"}, {"TfrmRotate", "mirRotation"}, {"TfrmShadow", "mieShadow"},
        {"TfrmBlight", "mcBlight"}, {"TfrmRGB", "mcColor"}};
    const char* names[] = {"dialog-resize", "dialog-rotate", "dialog-shadow", "dialog-brightness", "dialog-rgb"};
    for (std::size_t i = 0; i < std::size(operations); ++i) {
        QAction* action = f->MenuAction(operations[i].second);
        ASSERT_NE(action, nullptr) << operations[i].second;
        Picture(operations[i].first, names[i]);
        action->trigger();
    }
    f->MenuAction("mlNew")->trigger();
    QAction* composite = f->MenuAction("N21");
    ASSERT_NE(composite, nullptr);
    Picture("TfrmGousei", "dialog-composite");
    composite->trigger();
    Picture("TfrmAddPage", "dialog-addpage");
    f->MenuAction("miAddPage")->trigger();

    Picture("TfrmOption", "dialog-option");
    frame_->mtOptionClick();
    Picture("TAboutBox", "dialog-about");
    frame_->AboutClick();

    Picture("TfrmNewIconSet", "dialog-newiconset");
    NewIconSetCommand().RunOnFrame(*frame_);

    // An icon of three sizes: the image chooser; a picture: the area picker; a cursor: its hotspot.
    const std::vector<pq::Rgba8> art = SoftArtwork();
    std::vector<pq::Document> pages;
    for (const int side : {16, 32, 48}) {
        pq::Document d;
        pq::InitBlankTrueColorDocument(d, side, side, 1);
        d.Current().Pixels = pq::ResampleRgba(art, 256, 256, side, side);
        pages.push_back(std::move(d));
    }
    std::vector<pq::IconSetEntry> entries;
    for (const pq::Document& d : pages) entries.push_back({&d, pq::IconPageKind::TrueColor});
    const std::filesystem::path icon = folder_.Path() / "three.ico";
    ASSERT_TRUE(pq::SaveIconSet(entries, icon, pq::kIconResourceType).Ok);
    Picture("TForm7", "dialog-chooser");
    frame_->OpenFile(QString::fromStdString(icon.string()));

    QImage picture(200, 150, QImage::Format_RGB888);
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x) {
            const pq::Rgba8 p = art[std::size_t(y * 256 / 150) * 256 + std::size_t(x * 256 / 200)];
            picture.setPixel(x, y, qRgb(255 - (255 - p.r) * p.a / 255, 255 - (255 - p.g) * p.a / 255,
                                        255 - (255 - p.b) * p.a / 255));
        }
    const std::filesystem::path bmp = folder_.Path() / "picture.bmp";
    ASSERT_TRUE(picture.save(QString::fromStdString(bmp.string()), "BMP"));
    Picture("TfrmSelectOpenArea", "dialog-area");
    frame_->OpenFile(QString::fromStdString(bmp.string()));

    const std::filesystem::path cursor = folder_.Path() / "arrow.cur";
    std::vector<pq::IconSetEntry> one{{&pages[1], pq::IconPageKind::TrueColor}};
    ASSERT_TRUE(pq::SaveIconSet(one, cursor, pq::kCursorResourceType).Ok);
    TImageForm* arrow = frame_->OpenFile(QString::fromStdString(cursor.string()));
    ASSERT_NE(arrow, nullptr);
    Picture("TfrmHotspot", "dialog-hotspot");
    frame_->ActionNamed("mtHotspot")->trigger();

    // A truecolour document: soft edges and a shadow over the checkerboard.
    TImageForm* full = NewDocument(1, 2);
    ASSERT_NE(full, nullptr);
    ASSERT_TRUE(full->Doc().TrueColor);
    full->Doc().Current().Pixels = pq::ResampleRgba(art, 256, 256, 32, 32);
    full->Redraw();
    full->parentWidget()->setGeometry(0, 0, 360, 360);
    ChooseZoom(8);
    PictureDocument(full, "truecolor");

    // 文書の復元 as a start after a crash shows it: a drawing and a cursor left behind, at a
    // fixed time so that the picture does not change from run to run.
    std::vector<pq::LostDocument> lost(2);
    const std::pair<const char*, const char*> captions[] = {{"Icon3", ""}, {"arrow.cur", "/home/user/arrow.cur"}};
    for (std::size_t i = 0; i < lost.size(); ++i) {
        lost[i].WindowNumber = int(i) + 3;
        lost[i].Recoverable = true;
        lost[i].Note.Label.Caption = captions[i].first;
        lost[i].Note.Label.FileName = captions[i].second;
        lost[i].Width = lost[i].Height = i == 0 ? 48 : 32;
        lost[i].ColorCount = i == 0 ? 256 : 16;
        lost[i].Steps = i == 0 ? 12 : 3;
        lost[i].Time = 1796800000 + std::time_t(i) * 600;
    }
    TfrmRecovery recovery(nullptr, lost, pq::LostDocumentGroups(lost));
    recovery.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&recovery));
    QTest::qWait(150);
    Save(recovery, "dialog-recovery");
    EXPECT_TRUE(prompt_.Done());
}

}  // namespace
