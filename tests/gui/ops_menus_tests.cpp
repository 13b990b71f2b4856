// The イメージ, パレット and 合成 menu commands in a document window: the menus' entries, the
// colour-count caption, Cancel leaving everything as it was, undo and redo of every family, and
// the floating selection put down as its own step before operations on whole layers.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QRadioButton>
#include <QScrollBar>
#include <QSlider>
#include <QToolButton>
#include <functional>

#include "core/document/document.h"
#include "gui/app/main_form.h"
#include "gui/document/canvas.h"
#include "gui/document/image_form.h"
#include "gui/ops/adjust_dialogs.h"
#include "gui/ops/gousei_dialog.h"
#include "gui/ops/shadow_dialog.h"
#include "gui/ops/transform_dialogs.h"
#include "gui/kit/up_down.h"
#include "support/editor_fixture.h"

using namespace pq::gui;
using pq::test::EditorTest;

namespace {

// One line per entry: caption, [shortcut], | status-bar hint; "-" for a separator; a submenu's
// caption followed by " ▸" and its entries indented.
QStringList Describe(const QMenu* menu, const QString& indent = QString()) {
    QStringList lines;
    for (const QAction* a : menu->actions()) {
        if (a->isSeparator()) {
            lines << indent + "-";
        } else if (const QMenu* sub = a->menu()) {
            lines << indent + sub->title() + " ▸";
            lines << Describe(sub, indent + "  ");
        } else {
            QString line = indent + a->text();
            if (!a->shortcut().isEmpty()) line += " [" + a->shortcut().toString() + "]";
            if (!a->statusTip().isEmpty()) line += " | " + a->statusTip();
            lines << line;
        }
    }
    return lines;
}

// What a command may change, compared before and after.
struct State {
    std::vector<pq::Layer> Layers;
    pq::PaletteTable Palette;
    int Width, Height, Colors;
    bool operator==(const State&) const = default;
};

class OpsMenus : public EditorTest {
protected:
    // Two layers on a 32 x 32 canvas, each with a few painted pixels of different colours,
    // recorded as a step so that undo returns to exactly this state.
    TImageForm* TwoLayers() {
        TImageForm* f = NewDocument(1, 0);
        Entry("mlNew")->trigger();
        pq::Document& d = f->Doc();
        for (int layer = 0; layer < 2; ++layer)
            for (int i = 0; i < 6; ++i) {
                const std::size_t p = std::size_t((3 + 5 * i + layer) + 32 * (2 + 4 * i));
                d.LayerAt(layer).Indices[p] = uint8_t(1 + i + 6 * layer);
                d.LayerAt(layer).Mask[p] = 1;
            }
        // The far corner, lost by a shrink and turned out by a rotation.
        for (int layer = 0; layer < 2; ++layer) d.LayerAt(layer).Mask[31 + 32 * 31] = 1;
        f->CommitEdit("テスト");
        return f;
    }
    QAction* Entry(const char* name) const { return Active()->MenuAction(name); }
    State Now() const {
        const pq::Document& d = Active()->Doc();
        return {d.Layers(), d.Palette, d.ImageWidth, d.ImageHeight, d.ColorCount};
    }
    QString StepName() const { return UndoCaption().remove("元に戻す(&U) - "); }
};

TEST_F(OpsMenus, MenusListEveryEntryInOrderWithShortcutsAndHints) {
    TImageForm* f = NewDocument();
    const QStringList image = {
        "サイズ変更(&S)... [Ctrl+I] | キャンバスのサイズを変更します。",
        "-",
        "画像回転(&R) ▸",
        "  左右反転 [Ctrl+H]",
        "  上下反転 [Ctrl+V]",
        "  -",
        "  90度回転",
        "  180度回転",
        "  270度回転",
        "  -",
        "  角度指定...",
        "効果(&E) ▸",
        "  ぼかし | イメージをぼかします。",
        "  ぼかし(強) | イメージを強くぼかします。",
        "  移動(横) | 移動しているようにぼかします。",
        "  移動(縦) | 移動しているようにぼかします。",
        "  シャープ | イメージをシャープにします。",
        "  シャープ(強) | イメージをシャープよりシャープにします。",
        "  レリーフ | イメージを浮き上がった感じにします。",
        "  エンボス | エンボスにします。",
        "  拡散 | ピクセルを拡散します。",
        "  統一 | 不透明部分をすべて描画色にします。",
        "  ノイズ | 不透明部分の色をランダムに描画色か補助色にします。",
        "  カラーノイズ | 不透明部分の色をパレットからランダムに選びます。",
        "  ピクセル入れ替え(左右) | 2ピクセルおきに左右のピクセルを入れ替えます。",
        "  ピクセル入れ替え(上下) | 2ピクセルおきに上下の偶数ピクセルと奇数ピクセルを入れ替えます。",
        "  スクロール... | イメージをスクロールします。",
        "  影... | 不透明部分に描画色で影をつけます。",
        "  色置換 | イメージ内の補助色を描画色にします。",
        "  取り除き | イメージ内の描画色を透明にします。",
        "  コントラストアップ | コントラストをアップします。",
        "  コントラストダウン | コントラストをダウンします。",
        "  輪郭検出 | 輪郭を検出します。",
    };
    EXPECT_EQ(Describe(f->MenuNamed("mImage")), image);
    EXPECT_EQ(Entry("miSize")->toolTip(), "サイズ変更");
    const QStringList palette = {
        "明るさ調整(&B)... | 明るさを調整します。",
        "RGB調整(&C)... | 赤、緑、青をそれぞれ調整します。",
        "グレースケール(&G) | グレースケールにします。",
        "反転(&R) | 色を反転させます。",
        "ソラリゼーション(&O) | 明るさが半分以上の色を反転させます。",
        "-",
        "パレットの交換(&P)... | 保存されているパレットと交換します。",
        "パレットの保存(&S)... | パレットを保存します。",
        "-",
        "色数変更(&I) | 色数を変更します。",
        "フルカラーに変換(&F) | フルカラーのイメージに変換します。",
        "16色に変換(&6) | 16色のイメージに変換します。",
        "256色に変換(&2) | 256色のイメージに変換します。",
    };
    EXPECT_EQ(Describe(f->MenuNamed("mColor")), palette);
    const QStringList layer = Describe(f->MenuNamed("mLayer"));
    ASSERT_GE(layer.size(), 2);
    EXPECT_EQ(layer.mid(layer.size() - 2), (QStringList{"-", "合成"}));

    // None of the operations' entries is disabled in a palette document, except 合成 below two
    // layers and the conversions of a truecolour document.
    std::function<void(QMenu*)> open = [&open](QMenu* menu) {
        emit menu->aboutToShow();
        for (QAction* a : menu->actions())
            if (a->menu()) open(a->menu());
    };
    open(f->MenuNamed("mImage"));
    open(f->MenuNamed("mColor"));
    open(f->MenuNamed("mLayer"));
    for (QMenu* menu : {f->MenuNamed("mImage"), f->MenuNamed("miRotate"), f->MenuNamed("miEffect"), f->MenuNamed("mColor")})
        for (QAction* a : menu->actions()) {
            if (!a->isSeparator() && a->objectName() != "mcTo16" && a->objectName() != "mcTo256") {
                EXPECT_TRUE(a->isEnabled()) << a->text().toStdString();
            }
        }
    EXPECT_FALSE(Entry("N21")->isEnabled());
    Entry("mlNew")->trigger();
    open(f->MenuNamed("mLayer"));
    EXPECT_TRUE(Entry("N21")->isEnabled());
}

TEST_F(OpsMenus, ColorCountCaptionNamesTheDepthItSwitchesTo) {
    TImageForm* f = NewDocument(0, 0);
    QMenu* menu = f->MenuNamed("mColor");
    emit menu->aboutToShow();
    EXPECT_EQ(Entry("mcColorCount")->text(), "256色に変更(&I)");
    emit menu->aboutToHide();
    Entry("mcColorCount")->trigger();
    EXPECT_EQ(f->Doc().ColorCount, 256);
    EXPECT_EQ(StepName(), "色数変更");
    emit menu->aboutToShow();
    EXPECT_EQ(Entry("mcColorCount")->text(), "16色に変更(&I)");
    emit menu->aboutToHide();
    f->Doc().DrawColor = 200;
    Entry("mcColorCount")->trigger();
    EXPECT_EQ(f->Doc().ColorCount, 16);
    EXPECT_EQ(f->Doc().DrawColor, 0);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);  // the busy cursor is gone again
    emit menu->aboutToShow();
    EXPECT_EQ(Entry("mcColorCount")->text(), "256色に変更(&I)");
}

// Moves every amount of an operation dialog away from its default.
void MoveEveryControl(QDialog& d) {
    for (QLineEdit* e : d.findChildren<QLineEdit*>()) e->setText("7");
    for (QScrollBar* b : d.findChildren<QScrollBar*>()) b->setValue(-100);
    for (QSlider* t : d.findChildren<QSlider*>()) t->setValue(80);
    for (QCheckBox* c : d.findChildren<QCheckBox*>()) c->setChecked(true);
    for (QRadioButton* r : d.findChildren<QRadioButton*>()) r->setChecked(true);  // the last stays
    for (QComboBox* c : d.findChildren<QComboBox*>()) c->setCurrentIndex(c->count() - 1 - c->currentIndex());
}

// Every dialog-driven command, cancelled after its amounts were moved: nothing changes and nothing
// is recorded. Run twice: each use opens a fresh dialog with its fields at "0".
TEST_F(OpsMenus, CancelAfterMovingTheAmountsChangesAndRecordsNothing) {
    TImageForm* f = TwoLayers();
    const std::tuple<const char*, const char*, const char*> cases[] = {
        {"miSize", "TfrmResize", "サイズ変更"}, {"mirRotation", "TfrmRotate", "角度指定"},
        {"mieShadow", "TfrmShadow", "影"},      {"mieScroll", "TfrmShadow", "スクロール"},
        {"mcBlight", "TfrmBlight", "明るさ調整"}, {"mcColor", "TfrmRGB", "RGB調整"},
        {"N21", "TfrmGousei", "合成"}};
    const State before = Now();
    const int steps = f->Doc().HistoryPosition;
    for (int round = 0; round < 2; ++round)
        for (auto [entry, dialog, title] : cases) {
            SCOPED_TRACE(entry);
            prompt_.ExpectDialog(dialog, [](QDialog& d) {
                for (QLineEdit* e : d.findChildren<QLineEdit*>()) EXPECT_EQ(e->text(), "0");
                MoveEveryControl(d);
                return false;
            });
            f->Canvas()->move(5, 5);
            Entry(entry)->trigger();
            EXPECT_TRUE(prompt_.Done());
            EXPECT_EQ(prompt_.Shown().back().Title, title);
            if (std::string(entry) == "miSize") {  // the size dialog re-centres the canvas even so
                const QWidget* page = f->Canvas()->parentWidget();
                EXPECT_EQ(f->Canvas()->pos(), QPoint(page->width() / 2 - f->Canvas()->width() / 2,
                                                     page->height() / 2 - f->Canvas()->height() / 2));
            }
            EXPECT_TRUE(Now() == before);
            EXPECT_EQ(f->Doc().HistoryPosition, steps);
        }
}

// One command of every family through its menu entry: it records its step, undo gives back the
// state before it exactly (size, every layer, palette, depth) and redo the state after it.
TEST_F(OpsMenus, UndoAndRedoOfEveryFamily) {
    struct Case {
        const char* Entry;
        const char* Step;
        const char* Dialog;                  // nullptr: no dialog
        std::function<void(QDialog&)> Set;   // the values chosen before OK
        std::function<void(const pq::Document&)> Check;  // what the command did
    };
    const Case cases[] = {
        {"miSize", "サイズ変更", "TfrmResize", [](QDialog& d) { static_cast<TfrmResize&>(d).SetSizeItem(0); },
         [](const pq::Document& d) {
             EXPECT_EQ(d.ImageWidth, 16);
             EXPECT_EQ(d.LayerAt(0).Mask.size(), 256u);
         }},
        {"mir180", "180度回転", nullptr, nullptr,
         [](const pq::Document& d) { EXPECT_EQ(d.LayerAt(1).Mask[std::size_t(31 - 4 + 32 * (31 - 2))], 1); }},
        {"mirRotation", "回転", "TfrmRotate", [](QDialog& d) { static_cast<TfrmRotate&>(d).Edit1()->setText("45"); },
         [](const pq::Document& d) { EXPECT_EQ(d.LayerAt(1).Mask[31 + 32 * 31], 0); }},
        {"mieLowpass", "ぼかし", nullptr, nullptr,
         [](const pq::Document& d) { EXPECT_EQ(d.LayerAt(1).Mask[0], 1); }},  // painted everywhere
        {"mieWave", "拡散", nullptr, nullptr, nullptr},
        {"mieShadow", "影", "TfrmShadow", [](QDialog& d) { d.findChild<QLineEdit*>("Edit2")->setText("1"); },
         [](const pq::Document& d) { EXPECT_EQ(d.LayerAt(1).Mask[std::size_t(4 + 32 * 3)], 1); }},
        {"mcBlight", "明るさ調整", "TfrmBlight", [](QDialog& d) { static_cast<TfrmBlight&>(d).ScrollBar1()->setValue(255); },
         [](const pq::Document& d) { EXPECT_EQ(d.ColorOf(1), (pq::Rgb{255, 255, 255})); }},
        {"mcColor", "RGB調整", "TfrmRGB",
         [](QDialog& d) { for (int i = 0; i < 255; ++i) static_cast<TfrmRGB&>(d).UpDown(0)->DownButton()->click(); },
         [](const pq::Document& d) { for (int i = 0; i < 16; ++i) EXPECT_EQ(d.ColorOf(i).r, 0) << i; }},
        {"mcGray", "グレースケール", nullptr, nullptr, nullptr},
        {"mcColorCount", "色数変更", nullptr, nullptr, [](const pq::Document& d) { EXPECT_EQ(d.ColorCount, 256); }},
        {"N21", "合成", "TfrmGousei", [](QDialog& d) { static_cast<TfrmGousei&>(d).TrackBar1()->setValue(100); },
         [](const pq::Document& d) { EXPECT_EQ(d.LayerCount(), 1); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Entry);
        TImageForm* f = TwoLayers();
        const State before = Now();
        if (c.Dialog)
            prompt_.ExpectDialog(c.Dialog, [&c](QDialog& d) {
                if (c.Set) c.Set(d);
                return true;
            });
        Entry(c.Entry)->trigger();
        EXPECT_TRUE(prompt_.Done());
        EXPECT_EQ(StepName(), c.Step);
        if (c.Check) c.Check(f->Doc());
        auto canvasFits = [f] {
            const pq::Document& d = f->Doc();
            EXPECT_EQ(f->Canvas()->size(), QSize(d.ImageWidth * d.Zoom, d.ImageHeight * d.Zoom));
        };
        canvasFits();
        const State after = Now();
        EXPECT_FALSE(after == before);
        f->meUndoClick();
        EXPECT_TRUE(Now() == before);
        EXPECT_EQ(StepName(), "テスト");
        canvasFits();
        f->meRedoClick();
        EXPECT_TRUE(Now() == after);
        canvasFits();
    }
}

// Filters, the 256 -> 16 colour switch and compositing read or rewrite whole layers: a floating
// selection is put down first as its own "選択範囲クリア" step. Pixel effects and transforms work
// on the floating pixels and keep the selection.
TEST_F(OpsMenus, WholeLayerOperationsPutTheFloatingSelectionDownAsItsOwnStep) {
    struct Case {
        const char* Entry;
        const char* Step;
        bool Releases;
        int Colors;  // the document's depth before the command
    };
    for (const Case& c : {Case{"mieLowpass", "ぼかし", true, 16}, Case{"mcColorCount", "色数変更", true, 256},
                          Case{"mcColorCount", "色数変更", false, 16}, Case{"mieAll", "統一", false, 16},
                          Case{"N21", "合成", true, 16}}) {
        SCOPED_TRACE(std::string(c.Entry) + " " + std::to_string(c.Colors));
        TImageForm* f = NewDocument(0, c.Colors == 256 ? 1 : 0);
        pq::Document& d = f->Doc();
        Entry("mlNew")->trigger();
        d.Current().Indices[5] = 7;
        d.Current().Mask[5] = 1;
        f->CommitEdit("テスト");
        Entry("msAll")->trigger();
        ASSERT_TRUE(d.HasSelection);
        if (std::string(c.Entry) == "N21") prompt_.ExpectDialog("TfrmGousei", [](QDialog&) { return true; });
        Entry(c.Entry)->trigger();
        EXPECT_TRUE(prompt_.Done());
        EXPECT_EQ(StepName(), c.Step);
        EXPECT_EQ(d.HasSelection, !c.Releases);
        f->meUndoClick();
        EXPECT_EQ(StepName(), c.Releases ? "選択範囲クリア" : "すべて選択");
    }
}

}  // namespace
