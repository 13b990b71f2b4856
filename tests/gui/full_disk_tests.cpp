// The undo history of a document window on a settings folder whose file system fills up: the
// warning before it bites, strokes kept on the canvas while the disk is full, undo and redo once
// there is room again, and メモリのクリア on a full disk.
#include <QAction>
#include <QMenu>
#include <filesystem>

#include "core/document/history.h"
#include "core/formats/native_document.h"
#include "gui/app/main_form.h"
#include "gui/kit/tool_state.h"
#include "gui/document/image_form.h"
#include "support/editor_fixture.h"
#include "support/small_fs.h"

namespace fs = std::filesystem;

namespace pq::test {
namespace {

constexpr std::uint64_t kPage = 4096;

class FullDisk : public EditorTest {
protected:
    SmallFileSystem small{8 << 20};

    void SetUp() override {
        if (!small.Mounted()) GTEST_SKIP() << "mounting a small file system needs root";
        // The frame keeps its settings, and so the undo history, on the small file system.
        frame_.reset();
        frame_ = std::make_unique<gui::TMainForm>(small / "setting", &prompt_);
        frame_->show();
        const fs::path input = folder_ / "big.pqf";
        Document doc;
        InitBlankDocument(doc, 256, 256, 16, 20);
        ASSERT_TRUE(SaveDocumentFile(doc, input).Ok);
        ASSERT_TRUE(frame_->OpenFile(QString::fromStdString(input.string())));
        ChooseTool(gui::kToolBrush);
    }
    void TearDown() override {
        small.Unfill();
        frame_.reset();
    }
    // Stroke i paints cell (i, 2 * i) with the drawing colour.
    void Stroke(int i) { ClickCell(i, 2 * i); }
    int Position() const { return Active()->Doc().HistoryPosition; }
    void OpenEditMenu() const { emit Active()->findChild<QMenu*>("Edit1")->aboutToShow(); }
};

TEST_F(FullDisk, StrokesWaitOnTheCanvasUntilThereIsRoomAndUndoThenCrossesEveryOne) {
    const std::uint64_t snapshot = fs::file_size(SnapshotPath(Active()->HistoryCtx(), 0));
    ASSERT_GT(snapshot, 256u * 256u * 2);
    const std::uint64_t pages = (snapshot + kPage - 1) / kPage * kPage;
    // Room for six more snapshots and the note beside them.
    small.FillLeaving(6 * pages + 2 * kPage);

    // Ten more snapshots would not fit: said once, at the first stroke, and nothing is dropped.
    prompt_.ExpectMessage(gui::PromptAnswer::Ok);
    for (int i = 1; i <= 6; ++i) Stroke(i);
    EXPECT_EQ(Position(), 7);
    ASSERT_EQ(prompt_.Shown().size(), 1u);
    EXPECT_TRUE(prompt_.Shown()[0].Text.startsWith("ディスクの空き容量が少なくなっています（残り "))
        << prompt_.Shown()[0].Text.toStdString();
    EXPECT_TRUE(prompt_.Shown()[0].Text.contains("このウィンドウのアンドゥ情報は 0.5 MB あります。"))
        << prompt_.Shown()[0].Text.toStdString();

    // The seventh stroke does not fit: the instance's reserve is given back and the stroke
    // written into the space it frees, said once.
    prompt_.ExpectMessage(gui::PromptAnswer::Ok);
    Stroke(7);
    EXPECT_EQ(Position(), 8);
    ASSERT_EQ(prompt_.Shown().size(), 2u);
    EXPECT_TRUE(prompt_.Shown()[1].Text.startsWith("ディスクの空き容量がなくなったため、予備に確保していた領域を使って"))
        << prompt_.Shown()[1].Text.toStdString();
    EXPECT_FALSE(fs::exists(small / "setting" / "pqreserve") && fs::file_size(small / "setting" / "pqreserve") != 0);

    // Strokes go on into the freed space, silently, until it is used up too: that stroke stays
    // on the canvas and the message counts the steps at risk; the next is kept silently.
    prompt_.ExpectMessage(gui::PromptAnswer::Ok);
    int i = 8;
    for (; i < 40 && prompt_.Shown().size() == 2; ++i) Stroke(i);
    ASSERT_EQ(prompt_.Shown().size(), 3u);
    const int kept = i - 1;   // the stroke that did not fit
    EXPECT_GT(kept, 12);      // the 4 MB reserve held more than a dozen 260 kB snapshots
    const QString failure = prompt_.Shown()[2].Text;
    EXPECT_TRUE(failure.startsWith("アンドゥ情報を保存できませんでした。\nディスクの空き容量が足りません。\n"))
        << failure.toStdString();
    EXPECT_TRUE(failure.contains("この操作は画面に残してあり、空きができしだい記録します。それまで元に戻す・やり直しはできません。"));
    EXPECT_TRUE(failure.endsWith("まだ記録できていない操作が 1 手順あります。このまま終了するとこれらの手順は失われますが、"
                                 "文書を保存すれば今の絵は残ります。"))
        << failure.toStdString();
    Stroke(kept + 1);
    ASSERT_EQ(prompt_.Shown().size(), 3u);
    EXPECT_EQ(Position(), kept);
    EXPECT_EQ(PixelAt(kept, 2 * kept), Active()->Doc().DrawColor);
    EXPECT_EQ(PixelAt(kept + 1, 2 * (kept + 1)), Active()->Doc().DrawColor);
    OpenEditMenu();
    EXPECT_EQ(UndoCaption(), "元に戻せません(&U)");
    EXPECT_FALSE(Active()->UndoAction()->isEnabled());
    frame_->ActionList1Update();
    EXPECT_FALSE(frame_->ActionNamed("tbUndo")->isEnabled());

    // Room again: opening the Edit menu writes both strokes; undo takes back one at a time.
    small.Unfill();
    OpenEditMenu();
    EXPECT_EQ(Position(), kept + 2);
    EXPECT_EQ(UndoCaption(), "元に戻す(&U) - ブラシツール");
    Active()->meUndoClick();
    EXPECT_EQ(PixelAt(kept + 1, 2 * (kept + 1)), -1);
    EXPECT_EQ(PixelAt(kept, 2 * kept), Active()->Doc().DrawColor);
    Active()->meUndoClick();
    EXPECT_EQ(PixelAt(kept, 2 * kept), -1);
    EXPECT_EQ(PixelAt(kept - 1, 2 * (kept - 1)), Active()->Doc().DrawColor);
    Active()->meRedoClick();
    Active()->meRedoClick();
    EXPECT_EQ(PixelAt(kept + 1, 2 * (kept + 1)), Active()->Doc().DrawColor);
    EXPECT_EQ(Position(), kept + 2);
    EXPECT_TRUE(prompt_.Done());
}

TEST_F(FullDisk, MemoryClearOnAFullDiskKeepsThePictureAndRecordsOnTopOfIt) {
    for (int i = 1; i <= 3; ++i) Stroke(i);
    small.FillLeaving(0);
    Active()->meMemClsClick();
    EXPECT_EQ(Position(), 1);
    for (int i = 1; i <= 3; ++i) EXPECT_EQ(PixelAt(i, 2 * i), Active()->Doc().DrawColor) << i;
    small.Unfill();
    Stroke(4);
    Active()->meUndoClick();
    EXPECT_EQ(PixelAt(4, 8), -1);
    EXPECT_EQ(PixelAt(3, 6), Active()->Doc().DrawColor);
    EXPECT_TRUE(prompt_.Shown().empty());
}

}  // namespace
}  // namespace pq::test
