// Truecolour documents in the editor: the New dialog, the status text, the colour-mode
// commands, the greying of operations that need a palette, and the tools painting RGBA.
#include <QAction>
#include <QMenu>

#include "core/document/quality_reduction.h"
#include "gui/app/main_form.h"
#include "gui/app/option_dialog.h"
#include "gui/kit/command_table.h"
#include "gui/kit/tool_state.h"
#include "gui/document/image_form.h"
#include "gui/document/new_dialog.h"
#include "support/editor_fixture.h"

using namespace pq::gui;
using pq::test::EditorTest;

namespace {

constexpr int kFullColorItem = 2;

// Everything a colour-mode change rewrites, compared byte for byte.
struct State {
    std::vector<pq::Layer> Layers;
    pq::PaletteTable Palette;
    int Colors;
    bool TrueColor;
    int DrawColor, AuxColor;
    bool operator==(const State&) const = default;
};

class TrueColorCommands : public EditorTest {
protected:
    QAction* Entry(const char* name) const {
        QAction* a = Active()->MenuAction(name);
        if (a) UpdateCommandEntry(a);
        return a;
    }
    State Now() const {
        const pq::Document& d = Active()->Doc();
        std::vector<pq::Layer> layers;
        for (int i = 0; i < d.LayerCount(); ++i) layers.push_back(d.LayerAt(i));
        return {layers, d.Palette, d.ColorCount, d.TrueColor, d.DrawColor, d.AuxColor};
    }
    // Through the Options dialog, as the user sets the reduction choices.
    void SetAlphaThreshold(int threshold) {
        prompt_.ExpectDialog("TfrmOption", [=](QDialog& d) {
            auto& o = static_cast<TfrmOption&>(d);
            pq::ReductionOptions r = o.Reduction();
            r.alphaThreshold = threshold;
            o.SetReduction(r);
            return true;
        });
        frame_->mtOptionClick();
    }
};

TEST_F(TrueColorCommands, NewDialogMakesATransparentTrueColorDocumentOfTheChosenSize) {
    TImageForm* f = NewDocument(1, kFullColorItem);
    ASSERT_NE(f, nullptr);
    const pq::Document& doc = f->Doc();
    EXPECT_TRUE(doc.TrueColor);
    EXPECT_EQ(doc.ImageWidth, 32);
    EXPECT_EQ(doc.ImageHeight, 32);
    ASSERT_EQ(doc.LayerCount(), 1);
    ASSERT_EQ(doc.Current().Pixels.size(), 32u * 32u);
    for (const pq::Rgba8& p : doc.Current().Pixels) ASSERT_EQ(p.a, 0);
    EXPECT_TRUE(doc.Current().Indices.empty());
    // The dialog keeps the choice, and the other items still give palette documents.
    EXPECT_EQ(frame_->NewDialog()->ColorItem(), kFullColorItem);
    EXPECT_FALSE(NewDocument(0, 1)->Doc().TrueColor);
    EXPECT_EQ(Active()->Doc().ColorCount, 256);
    EXPECT_FALSE(NewDocument(0, 0)->Doc().TrueColor);
    EXPECT_EQ(Active()->Doc().ColorCount, 16);
}

TEST_F(TrueColorCommands, StatusTextNamesTheColourModeOfTheActiveDocument) {
    NewDocument(2, kFullColorItem);
    EXPECT_EQ(frame_->DocumentInfoText(), "サイズ：48×48 色数：32ビット    ");
    NewDocument(0, 1);
    EXPECT_EQ(frame_->DocumentInfoText(), "サイズ：16×16 色数：256色    ");
    NewDocument(0, 0);
    EXPECT_EQ(frame_->DocumentInfoText(), "サイズ：16×16 色数：16色    ");
}

TEST_F(TrueColorCommands, ToTrueColorKeepsEveryColourAndUndoRestoresEveryByte) {
    // 32 x 32 at 256 colours, two layers, painted in a few places off the diagonal.
    TImageForm* f = NewDocument(1, 1);
    Active()->MenuAction("mlNew")->trigger();
    pq::Document& d = f->Doc();
    for (int layer = 0; layer < 2; ++layer)
        for (int i = 0; i < 5; ++i) {
            const std::size_t p = std::size_t((2 + 6 * i + layer) + 32 * (1 + 3 * i));
            d.LayerAt(layer).Indices[p] = uint8_t(20 + 7 * i + layer);
            d.LayerAt(layer).Mask[p] = 1;
        }
    f->CommitEdit("テスト");
    const State before = Now();
    EXPECT_TRUE(Entry("mcToTrueColor")->isEnabled());
    EXPECT_FALSE(Entry("mcTo16")->isEnabled());
    EXPECT_FALSE(Entry("mcTo256")->isEnabled());

    Entry("mcToTrueColor")->trigger();
    ASSERT_TRUE(d.TrueColor);
    EXPECT_EQ(UndoCaption(), "元に戻す(&U) - フルカラーに変換");
    EXPECT_EQ(frame_->DocumentInfoText(), "サイズ：32×32 色数：32ビット    ");
    for (int layer = 0; layer < 2; ++layer) {
        const std::size_t p = std::size_t((2 + 6 * 4 + layer) + 32 * 13);
        const pq::Rgba8 px = d.LayerAt(layer).Pixels.at(p);
        const pq::Rgb c = pq::EntryColor(before.Palette[std::size_t(20 + 28 + layer)]);
        EXPECT_EQ(px, (pq::Rgba8{c.r, c.g, c.b, 255}));
        EXPECT_EQ(d.LayerAt(layer).Pixels.at(0).a, 0);
    }
    EXPECT_FALSE(Entry("mcToTrueColor")->isEnabled());
    EXPECT_TRUE(Entry("mcTo256")->isEnabled());

    f->meUndoClick();
    EXPECT_TRUE(Now() == before);
    EXPECT_EQ(frame_->DocumentInfoText(), "サイズ：32×32 色数：256色    ");
    f->meRedoClick();
    EXPECT_TRUE(f->Doc().TrueColor);
}

TEST_F(TrueColorCommands, ToPaletteUsesTheOptionsAlphaThresholdAndUndoes) {
    SetAlphaThreshold(200);
    TImageForm* f = NewDocument(0, kFullColorItem);
    pq::Document& d = f->Doc();
    d.Current().Pixels[3 + 16 * 2] = pq::Rgba8{200, 10, 10, 255};
    d.Current().Pixels[5 + 16 * 7] = pq::Rgba8{10, 10, 200, 150};   // below the threshold
    d.Current().Pixels[15 + 16 * 15] = pq::Rgba8{10, 200, 10, 230};
    f->CommitEdit("テスト");
    const State before = Now();

    Entry("mcTo16")->trigger();
    ASSERT_FALSE(d.TrueColor);
    EXPECT_EQ(d.ColorCount, 16);
    EXPECT_EQ(UndoCaption(), "元に戻す(&U) - 16色に変換");
    const pq::Layer& l = d.Current();
    EXPECT_EQ(l.Mask[3 + 16 * 2], 1);
    EXPECT_EQ(l.Mask[5 + 16 * 7], 0);
    EXPECT_EQ(l.Mask[15 + 16 * 15], 1);
    EXPECT_EQ(d.ColorOf(l.Indices[3 + 16 * 2]), (pq::Rgb{200, 10, 10}));
    EXPECT_EQ(frame_->DocumentInfoText(), "サイズ：16×16 色数：16色    ");

    f->meUndoClick();
    EXPECT_TRUE(Now() == before);
    EXPECT_EQ(f->Doc().Current().Pixels[5 + 16 * 7], (pq::Rgba8{10, 10, 200, 150}));

    Entry("mcTo256")->trigger();
    EXPECT_EQ(f->Doc().ColorCount, 256);
    EXPECT_EQ(UndoCaption(), "元に戻す(&U) - 256色に変換");
}

TEST_F(TrueColorCommands, OperationsNeedingAPaletteAreGreyedAndCannotRunInTrueColor) {
    const char* paletteOnly[] = {"mcColorCount"};
    NewDocument(0, 1);
    Active()->MenuAction("mlNew")->trigger();
    for (const char* name : paletteOnly) EXPECT_TRUE(Entry(name)->isEnabled()) << name;
    EXPECT_TRUE(Entry("N21")->isEnabled());

    TImageForm* f = NewDocument(0, kFullColorItem);
    Active()->MenuAction("mlNew")->trigger();
    f->Doc().Current().Pixels[1] = pq::Rgba8{9, 8, 7, 255};
    f->CommitEdit("テスト");
    const State before = Now();
    for (const char* name : paletteOnly) {
        EXPECT_FALSE(Entry(name)->isEnabled()) << name;
        Entry(name)->trigger();   // a shortcut reaching a greyed entry runs nothing
    }
    EXPECT_TRUE(Now() == before);
    EXPECT_EQ(UndoCaption(), "元に戻す(&U) - テスト");
    // Moving whole pixels and blending layers work in truecolour.
    EXPECT_TRUE(Entry("N21")->isEnabled());
    ASSERT_TRUE(Entry("mirReverseH")->isEnabled());
    Entry("mirReverseH")->trigger();
    EXPECT_EQ(f->Doc().Current().Pixels[14], (pq::Rgba8{9, 8, 7, 255}));
}

// Filters and pixel effects are there in truecolour; a filter puts a floating selection down
// first as its own step.
TEST_F(TrueColorCommands, FiltersAndPixelEffectsRunInTrueColorAfterTheSelectionIsPutDown) {
    ChooseZoom(10);
    TImageForm* f = NewDocument(0, kFullColorItem);
    pq::Document& d = f->Doc();
    d.Current().Pixels[3 + 16 * 3] = pq::Rgba8{200, 0, 0, 255};
    for (const char* name : {"mieLowpass", "mieEd", "mieWave", "mieShadow"}) EXPECT_TRUE(Entry(name)->isEnabled()) << name;
    ChooseTool(kToolSelect);
    Drag({{2, 2}, {5, 6}});
    Entry("mieLowpass")->trigger();
    EXPECT_FALSE(d.HasSelection);
    EXPECT_EQ(UndoCaption(), "元に戻す(&U) - ぼかし");
    // (3, 3) keeps its red with 8/16 of its alpha; its neighbour gets 1/16.
    EXPECT_EQ(d.Current().Pixels[3 + 16 * 3], (pq::Rgba8{200, 0, 0, 127}));
    EXPECT_EQ(d.Current().Pixels[4 + 16 * 3], (pq::Rgba8{200, 0, 0, 15}));
    f->meUndoClick();
    EXPECT_EQ(UndoCaption(), "元に戻す(&U) - 選択範囲クリア");
}

TEST_F(TrueColorCommands, ToolsPaintTheRgbaOfEachButtonAndTheEyedropperPicksItBack) {
    ChooseZoom(10);
    TImageForm* f = NewDocument(0, kFullColorItem);
    pq::Document& d = f->Doc();
    const pq::Rgba8 draw{10, 200, 30, 128}, aux{250, 5, 60, 77};
    d.DrawRgba = draw;
    d.AuxRgba = aux;
    ChooseTool(kToolBrush);
    Drag({{1, 1}, {3, 1}});
    Drag({{2, 9}, {2, 12}}, Qt::RightButton);
    auto at = [&](int x, int y) { return f->Doc().Current().Pixels.at(std::size_t(x + 16 * y)); };
    for (int x = 1; x <= 3; ++x) EXPECT_EQ(at(x, 1), draw) << x;
    for (int y = 9; y <= 12; ++y) EXPECT_EQ(at(2, y), aux) << y;
    EXPECT_EQ(at(4, 1), pq::Rgba8{});
    EXPECT_EQ(at(0, 0), pq::Rgba8{});

    // The fill tool paints with the same colour as the brush.
    ChooseTool(kToolFill);
    ClickCell(15, 15);
    EXPECT_EQ(at(15, 15), draw);
    EXPECT_EQ(at(0, 15), draw);
    EXPECT_EQ(at(2, 10), aux);

    d.DrawRgba = pq::Rgba8{0, 0, 0, 255};
    d.AuxRgba = pq::Rgba8{0, 0, 0, 255};
    ChooseTool(kToolSpoit);
    ClickCell(2, 10);
    EXPECT_EQ(f->Doc().DrawRgba, aux);
    ClickCell(3, 1, Qt::RightButton);
    EXPECT_EQ(f->Doc().AuxRgba, draw);
    // An unpainted pixel picks nothing: the colours stay.
    ChooseTool(kToolEraser);
    ClickCell(5, 5);
    ASSERT_EQ(at(5, 5), pq::Rgba8{});
    ChooseTool(kToolSpoit);
    ClickCell(5, 5);
    EXPECT_EQ(f->Doc().DrawRgba, aux);
    // The picked colours paint again, left and right.
    ChooseTool(kToolBrush);
    ClickCell(7, 7);
    ClickCell(8, 7, Qt::RightButton);
    EXPECT_EQ(at(7, 7), aux);
    EXPECT_EQ(at(8, 7), draw);
}

TEST_F(TrueColorCommands, FloatingSelectionKeepsFloatingThroughBothConversionsAndUndo) {
    ChooseZoom(10);
    TImageForm* f = NewDocument(0, 0);
    pq::Document& d = f->Doc();
    d.Current().Indices[3 + 16 * 3] = 12;
    d.Current().Mask[3 + 16 * 3] = 1;
    f->CommitEdit("テスト");
    ChooseTool(kToolSelect);
    Drag({{2, 2}, {5, 6}});
    ASSERT_TRUE(d.HasSelection);
    const pq::Plane floatIndices = d.FloatIndices, floatMask = d.FloatMask;
    const State before = Now();

    Entry("mcToTrueColor")->trigger();
    ASSERT_TRUE(d.TrueColor);
    EXPECT_TRUE(d.HasSelection);
    const pq::Rgb c = d.ColorOf(12);
    EXPECT_EQ(d.FloatPixels.at(3 + 16 * 3), (pq::Rgba8{c.r, c.g, c.b, 255}));

    Entry("mcTo16")->trigger();
    ASSERT_FALSE(d.TrueColor);
    EXPECT_TRUE(d.HasSelection);
    EXPECT_EQ(d.FloatMask.at(3 + 16 * 3), 1);
    EXPECT_EQ(d.ColorOf(d.FloatIndices.at(3 + 16 * 3)), c);

    f->meUndoClick();
    f->meUndoClick();
    EXPECT_TRUE(Now() == before);
    EXPECT_TRUE(d.HasSelection);
    EXPECT_EQ(d.FloatIndices, floatIndices);
    EXPECT_EQ(d.FloatMask, floatMask);
}

}  // namespace
