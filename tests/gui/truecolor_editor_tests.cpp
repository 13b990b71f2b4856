// Truecolour documents in the editor's own commands: antialiased text, a scaled paste keeping
// alpha, ページの追加 of truecolour pages, the picture import of pictures with alpha, and the
// icons and cursors written for truecolour pages as another icon reader sees them.
#include <QApplication>
#include <QBuffer>
#include <QCheckBox>
#include <QClipboard>
#include <QMimeData>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <cstdio>
#include <gtest/gtest.h>

#include "core/document/blend.h"
#include "core/formats/icon_set.h"
#include "core/formats/picture_import.h"
#include "core/formats/png_file.h"
#include "core/ops/resample.h"
#include "gui/app/main_form.h"
#include "gui/document/clipboard_commands.h"
#include "gui/document/image_form.h"
#include "gui/document/page_dialogs.h"
#include "gui/document/text_dialog.h"
#include "gui/formats/area_picker.h"
#include "gui/formats/file_commands.h"
#include "gui/kit/tool_state.h"
#include "support/editor_fixture.h"
#include "support/formats_files.h"

namespace pq::test {
namespace {

constexpr int kFullColorItem = 2;

// Every pixel differs in colour and alpha; some are fully clear but keep a colour.
std::vector<Rgba8> SoftPixels(int w, int h) {
    std::vector<Rgba8> p(std::size_t(w) * std::size_t(h));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            p[std::size_t(y) * w + x] = Rgba8{std::uint8_t(x * 11 + 3), std::uint8_t(y * 13 + 1), std::uint8_t(x * y),
                                             std::uint8_t((x + 3 * y) % 5 == 0 ? 0 : 40 + (x * 7 + y * 5) % 216)};
    return p;
}

QByteArray PngBytes(const std::vector<Rgba8>& p, int w, int h) {
    QImage image(w, h, QImage::Format_ARGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const Rgba8 c = p[std::size_t(y) * w + x];
            image.setPixel(x, y, qRgba(c.r, c.g, c.b, c.a));
        }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

std::vector<std::uint8_t> Bitmap32Bytes(const std::vector<Rgba8>& p, int w, int h) {
    std::vector<std::uint8_t> b;
    b.push_back('B');
    b.push_back('M');
    PutLE(b, std::uint32_t(54 + 4 * w * h), 4);
    PutLE(b, 0, 4);
    PutLE(b, 54, 4);
    PutLE(b, 40, 4);
    PutLE(b, std::uint32_t(w), 4);
    PutLE(b, std::uint32_t(h), 4);
    PutLE(b, 1, 2);
    PutLE(b, 32, 2);
    for (int i = 0; i < 6; ++i) PutLE(b, 0, 4);
    for (int y = h - 1; y >= 0; --y)
        for (int x = 0; x < w; ++x) {
            const Rgba8 c = p[std::size_t(y) * w + x];
            b.insert(b.end(), {c.b, c.g, c.r, c.a});
        }
    return b;
}

std::string Output(const std::string& command) {
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buf[4096];
        for (std::size_t n; (n = fread(buf, 1, sizeof buf, pipe)) > 0;) out.append(buf, n);
        pclose(pipe);
    }
    return out;
}

class TrueColorEditor : public EditorTest {
protected:
    TrueColorEditor() { QApplication::clipboard()->clear(); }
    gui::TImageForm* TrueColorDoc(int w, int h) {
        gui::TImageForm* f = NewDocument(0, 0);
        InitBlankTrueColorDocument(f->Doc(), w, h, 1);
        f->RecordStep(" ");
        f->Redraw();
        return f;
    }
    QString PathOf(const std::string& name) const { return QString::fromStdString((folder_ / name).string()); }
    void TypeText(const QString& text, int height) {
        prompt_.ExpectDialog("TfrmText", [text, height](QDialog& d) {
            auto& dialog = static_cast<gui::TfrmText&>(d);
            dialog.Edit1()->setText(text);
            FontSpec font;
            font.Height = height;
            dialog.SetFont(font);
            return true;
        });
    }
};

// ---- text -----------------------------------------------------------------------------------

TEST_F(TrueColorEditor, TextIsAntialiasedOverWhatLiesBeneathWithoutHoles) {
    gui::TImageForm* f = TrueColorDoc(40, 24);
    Document& d = f->Doc();
    const Rgba8 red{200, 0, 0, 255};
    std::fill(d.Current().Pixels.begin(), d.Current().Pixels.end(), red);
    d.DrawRgba = Rgba8{0, 0, 255, 255};
    ChooseTool(gui::kToolText);
    TypeText("あW", 18);
    ClickCell(1, 2);
    ASSERT_EQ(UndoCaption(), "元に戻す(&U) - テキストツール");

    // What the pixels must be: the smooth drawer's coverage, the colour blended over red.
    Raster coverage(40, 24);
    coverage.Fill(Rgb{255, 255, 255});
    FontSpec font;
    font.Height = 18;
    gui::QtTextDrawer().DrawSmoothText(coverage, 1, 2, "あW", font);
    int partial = 0, full = 0;
    for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 40; ++x) {
            const Rgb g = coverage.Pixel(x, y);
            ASSERT_TRUE(g.r == g.g && g.g == g.b) << "grey levels only, no coloured fringes";
            const Rgba8 got = d.Current().Pixels[std::size_t(y) * 40 + x];
            ASSERT_EQ(got, BlendOver(red, Rgba8{0, 0, 255, std::uint8_t(255 - g.r)})) << x << "," << y;
            ASSERT_EQ(got.a, 255) << "an edge pixel must not let the checkerboard through";
            partial += g.r > 0 && g.r < 255;
            full += g.r == 0;
        }
    EXPECT_GT(partial, 10);
    EXPECT_GT(full, 10);

    // Over transparency a translucent colour keeps its colour at a * c / 255.
    gui::TImageForm* t = TrueColorDoc(40, 24);
    t->Doc().DrawRgba = Rgba8{10, 120, 30, 128};
    TypeText("あW", 18);
    ClickCell(1, 2);
    for (int i = 0; i < 40 * 24; ++i) {
        const Rgba8 got = t->Doc().Current().Pixels[std::size_t(i)];
        const unsigned c = 255 - coverage.Pixel(i % 40, i / 40).r;
        if (c == 0) {
            ASSERT_EQ(got, Rgba8{}) << i;
            continue;
        }
        ASSERT_EQ(got, (Rgba8{10, 120, 30, std::uint8_t((128 * c + 127) / 255)})) << i;
    }
}

TEST_F(TrueColorEditor, PaletteDocumentTextStaysHardEdged) {
    Raster hard(40, 24);
    hard.Fill(Rgb{255, 255, 255});
    FontSpec font;
    font.Height = 18;
    gui::QtTextDrawer().DrawText(hard, 1, 2, "あW", font);
    int black = 0;
    for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 40; ++x) {
            const Rgb g = hard.Pixel(x, y);
            ASSERT_TRUE(g == (Rgb{0, 0, 0}) || g == (Rgb{255, 255, 255})) << x << "," << y;
            black += g.r == 0;
        }
    EXPECT_GT(black, 10);
}

// ---- paste ----------------------------------------------------------------------------------

TEST_F(TrueColorEditor, ScaledPasteAveragesPremultipliedAndKeepsSoftAlpha) {
    // Hidden red in every even column, translucent blue in every odd one: halving must give
    // blue at half the alpha and no trace of the red.
    std::vector<Rgba8> stripes(6 * 4);
    for (int i = 0; i < 24; ++i) stripes[std::size_t(i)] = i % 2 == 0 ? Rgba8{255, 0, 0, 0} : Rgba8{0, 0, 255, 200};
    gui::TImageForm* f = TrueColorDoc(3, 2);
    auto* data = new QMimeData;
    data->setData("image/png", PngBytes(stripes, 6, 4));
    QApplication::clipboard()->setMimeData(data);
    prompt_.ExpectDialog("TfrmSelectOpenArea", [](QDialog& d) {
        static_cast<gui::TfrmSelectOpenArea&>(d).Button3Click();
        return true;
    });
    gui::mePasteClick(*frame_, *f);
    ASSERT_EQ(f->Doc().LayerCount(), 2);
    for (const Rgba8& p : f->Doc().Current().Pixels) EXPECT_EQ(p, (Rgba8{0, 0, 255, 100}));

    // A dragged non-square frame, partly off a soft picture: that area averaged to the canvas,
    // what lies off the picture transparent.
    const std::vector<Rgba8> soft = SoftPixels(11, 7);
    gui::TImageForm* g = TrueColorDoc(5, 3);
    data = new QMimeData;
    data->setData("image/png", PngBytes(soft, 11, 7));
    QApplication::clipboard()->setMimeData(data);
    prompt_.ExpectDialog("TfrmSelectOpenArea", [](QDialog& d) {
        auto& picker = static_cast<gui::TfrmSelectOpenArea&>(d);
        picker.CheckBox1()->setChecked(false);   // 最適化 off, which also leaves the frame free
        picker.Image1MouseDown(3, 2);
        picker.Image1MouseMove(13, 8);
        picker.Image1MouseUp(13, 8);
        return true;
    });
    gui::mePasteClick(*frame_, *g);
    std::vector<Rgba8> framed(10 * 6);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 10; ++x)
            if (3 + x < 11 && 2 + y < 7) framed[std::size_t(y) * 10 + x] = soft[std::size_t(2 + y) * 11 + 3 + x];
    const std::vector<Rgba8> want = ResampleRgba(framed, 10, 6, 5, 3);
    ASSERT_EQ(g->Doc().LayerCount(), 2);
    EXPECT_EQ(g->Doc().Current().Pixels, want);
    int soft_ = 0;
    for (const Rgba8& p : want) soft_ += p.a > 0 && p.a < 255;
    EXPECT_GT(soft_, 3);
    EXPECT_EQ(want[4 + 5 * 2].a, 0) << "the corner lies off the picture";
    EXPECT_EQ(UndoCaption(), "元に戻す(&U) - 貼り付け");
}

// ---- ページの追加 -------------------------------------------------------------------------------

TEST_F(TrueColorEditor, AddPageFromATrueColourPageOffersAndDefaultsToFullColour) {
    gui::TImageForm* f = TrueColorDoc(32, 32);
    const std::vector<Rgba8> soft = SoftPixels(32, 32);
    f->Doc().Current().Pixels = soft;
    auto add = [this, f](const QString& size, int colors, bool expectTrue) {
        prompt_.ExpectDialog("TfrmAddPage", [=](QDialog& d) {
            auto& dialog = static_cast<gui::TfrmAddPage&>(d);
            EXPECT_EQ(dialog.TrueColorChosen(), expectTrue);
            dialog.SizeBox()->setCurrentText(size);
            for (QRadioButton* r : dialog.findChildren<QRadioButton*>())
                if (r->text() == (colors == 32 ? "フルカラー" : colors == 256 ? "256色" : "16色")) r->setChecked(true);
            dialog.findChild<QPushButton*>("Button1")->click();
            return d.result() == QDialog::Accepted;
        });
        f->MenuAction("miAddPage")->trigger();
    };
    add("20", 32, true);
    ASSERT_EQ(f->PageCount(), 2);
    const Document& page = f->PageDoc(f->CurrentPage());
    ASSERT_TRUE(page.TrueColor);
    EXPECT_EQ(page.LayerAt(0).Pixels, ResampleRgba(soft, 32, 32, 20, 20));
    EXPECT_EQ(f->PageLabel(f->CurrentPage()), "20×20 32ビット");

    f->SelectPage(0);
    add("256", 32, true);
    EXPECT_EQ(f->PageLabel(f->CurrentPage()), "256×256 PNG");
    EXPECT_EQ(f->Doc().LayerAt(0).Pixels, ResampleRgba(soft, 32, 32, 256, 256));

    // 256色 from a truecolour page is a palette page; from a palette page the choice opens
    // on that page's colours.
    f->SelectPage(0);
    add("16", 256, true);
    const Document& reduced = f->Doc();
    EXPECT_FALSE(reduced.TrueColor);
    EXPECT_EQ(reduced.ColorCount, 256);
    EXPECT_EQ(f->PageLabel(f->CurrentPage()), "16×16 256色");
    add("24", 16, false);
    EXPECT_FALSE(f->Doc().TrueColor);
    EXPECT_EQ(f->PageCount(), 5);
    EXPECT_TRUE(prompt_.Done());
}

// ---- picture import ---------------------------------------------------------------------------

TEST_F(TrueColorEditor, Bitmap32WithAlphaIsPreviewedAndImportedLikeTheSamePng) {
    const int w = 21, h = 13;
    const std::vector<Rgba8> soft = SoftPixels(w, h);
    WriteBytes(folder_ / "soft.bmp", Bitmap32Bytes(soft, w, h));
    const QByteArray png = PngBytes(soft, w, h);
    WriteBytes(folder_ / "soft.png", std::vector<std::uint8_t>(png.begin(), png.end()));

    // One decode of the PNG gives the very picture LoadPicture shows and every stored pixel.
    Raster shown, again;
    Plane clear, clearAgain;
    std::vector<Rgba8> pixels;
    ASSERT_TRUE(LoadPngPictureRgba(folder_ / "soft.png", shown, clear, pixels).Ok);
    ASSERT_TRUE(LoadPicture(folder_ / "soft.png", PictureKind::Png, again, &clearAgain).Ok);
    EXPECT_EQ(shown, again);
    EXPECT_EQ(clear, clearAgain);
    EXPECT_EQ(pixels, soft);
    EXPECT_FALSE(LoadPngPictureRgba(folder_ / "soft.bmp", shown, clear, pixels).Ok);
    EXPECT_TRUE(shown.Empty() && clear.empty() && pixels.empty());

    struct Seen {
        Raster preview;
        Plane unpainted;
    };
    auto import = [this](const std::string& name, gui::DocumentFileKind kind, Seen& seen, Document& doc) {
        prompt_.ExpectDialog("TfrmSelectOpenArea", [&seen](QDialog& d) {
            auto& picker = static_cast<gui::TfrmSelectOpenArea&>(d);
            EXPECT_TRUE(picker.TrueColorOffered());
            picker.Image1MouseDown(2, 1);
            picker.Image1MouseMove(20, 12);
            picker.Image1MouseUp(20, 12);
            seen = {picker.Preview(), picker.Picker().PreviewUnpainted()};
            return true;   // 16色
        });
        return gui::ReadFormatFile(PathOf(name), kind, doc, gui::ReadRequest{10, &prompt_, frame_.get()}).Ok;
    };
    Seen fromBmp, fromPng;
    Document bmpDoc, pngDoc;
    ASSERT_TRUE(import("soft.bmp", gui::DocumentFileKind::Bitmap, fromBmp, bmpDoc));
    ASSERT_TRUE(import("soft.png", gui::DocumentFileKind::Png, fromPng, pngDoc));
    EXPECT_EQ(fromBmp.preview, fromPng.preview);
    EXPECT_EQ(fromBmp.unpainted, fromPng.unpainted);
    EXPECT_EQ(bmpDoc.LayerAt(0).Mask, pngDoc.LayerAt(0).Mask);
    EXPECT_EQ(bmpDoc.LayerAt(0).Indices, pngDoc.LayerAt(0).Indices);
    // A clear picture pixel taken at 1:1 shows white, not its hidden colour.
    Raster oneToOne;
    Plane oneClear;
    PictureOverWhite(soft, w, h, oneToOne, oneClear);
    EXPECT_EQ(oneToOne.Pixel(0, 0), (Rgb{255, 255, 255}));
    EXPECT_EQ(oneClear[0], 1);
    int unpainted = 0;
    for (std::uint8_t m : bmpDoc.LayerAt(0).Mask) unpainted += m == 0;
    EXPECT_GT(unpainted, 0);
}

// ---- icons and cursors for another reader ------------------------------------------------------

TEST_F(TrueColorEditor, IcotoolListsAndExtractsTrueColourIconsAndCursorsPixelForPixel) {
    if (!std::filesystem::exists("/usr/bin/icotool") ||
        Output("/usr/bin/python3 -c 'import PIL' 2>&1; echo $?") != "0\n")
        GTEST_SKIP() << "icotool (icoutils) or Pillow for /usr/bin/python3 is missing";
    gui::TImageForm* f = NewDocument(0, 0);
    std::vector<IconSetPage> pages(2);
    InitBlankTrueColorDocument(pages[0].Doc, 48, 30, 1);
    pages[0].Doc.LayerAt(0).Pixels = SoftPixels(48, 30);
    pages[0].Kind = IconPageKind::TrueColor;
    InitBlankTrueColorDocument(pages[1].Doc, 256, 256, 1);
    pages[1].Doc.LayerAt(0).Pixels = SoftPixels(256, 256);
    pages[1].Kind = IconPageKind::Png;
    // The pages as composed (a fully clear pixel is Rgba8{}, whatever colour its layer keeps).
    std::vector<std::vector<Rgba8>> want;
    for (const IconSetPage& page : pages)
        want.push_back(ComposeRgbaLayers(page.Doc.Layers(), std::size_t(page.Doc.PixelCount())));
    f->AdoptIconSet(std::move(pages), 1);

    for (const std::string name : {"set.ico", "set.cur"}) {
        SCOPED_TRACE(name);
        const std::string path = (folder_ / name).string();
        prompt_.ExpectSaveFile(PathOf(name));
        ASSERT_TRUE(gui::SaveAs1Click(*f, prompt_));
        const std::string listed = Output("/usr/bin/icotool -l '" + path + "' 2>&1");
        EXPECT_NE(listed.find("--width=48 --height=30 --bit-depth=32"), std::string::npos) << listed;
        EXPECT_NE(listed.find("--width=256 --height=256 --bit-depth=32"), std::string::npos) << listed;
        const std::filesystem::path out = folder_ / (name + "-x");
        std::filesystem::create_directory(out);
        ASSERT_EQ(Output("/usr/bin/icotool -x -o '" + out.string() + "' '" + path + "' 2>&1; echo $?"), "0\n");
        for (int i = 0; i < 2; ++i) {
            const int w = i == 0 ? 48 : 256, h = i == 0 ? 30 : 256;
            std::string png;
            for (const auto& e : std::filesystem::directory_iterator(out))
                if (e.path().filename().string().find("_" + std::to_string(i + 1) + "_") != std::string::npos)
                    png = e.path().string();
            ASSERT_FALSE(png.empty()) << "page " << i;
            const std::string dump = Output("/usr/bin/python3 -c \"import sys; from PIL import Image; "
                                            "im = Image.open(sys.argv[1]).convert('RGBA'); "
                                            "print(im.size[0], im.size[1]); sys.stdout.write(im.tobytes().hex())\" '" +
                                            png + "'");
            const std::string head = std::to_string(w) + " " + std::to_string(h) + "\n";
            ASSERT_EQ(dump.substr(0, head.size()), head) << png;
            std::string expected;
            char hex[9];
            for (const Rgba8& c : want[std::size_t(i)]) {
                std::snprintf(hex, sizeof hex, "%02x%02x%02x%02x", c.r, c.g, c.b, c.a);
                expected += hex;
            }
            const std::string got = dump.substr(head.size());
            ASSERT_EQ(got.size(), expected.size());
            // Compared pixel by pixel, so a difference names its place.
            for (std::size_t p = 0; p < expected.size() / 8; ++p)
                ASSERT_EQ(got.substr(8 * p, 8), expected.substr(8 * p, 8)) << "page " << i << " pixel " << p % w << "," << p / w;
        }
    }
}

}  // namespace
}  // namespace pq::test
