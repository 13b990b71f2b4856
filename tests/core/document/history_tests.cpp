#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <memory>

#include "core/document/document.h"
#include "core/document/history.h"
#include "core/document/recovery_note.h"
#include "core/io/atomic_write.h"
#include "support/small_fs.h"
#include "support/test_paths.h"

namespace fs = std::filesystem;

namespace pq {
namespace {

using pq::test::ReadBytes;
using pq::test::WriteBytes;

using Bytes = std::vector<uint8_t>;

int32_t I32At(const Bytes& b, std::size_t at) {
    return int32_t(uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24);
}

void PutI32At(Bytes& b, std::size_t at, int32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(uint32_t(v) >> (8 * i));
}

Bytes Slice(const Bytes& b, std::size_t at, std::size_t n) { return Bytes(b.begin() + at, b.begin() + at + n); }

std::vector<std::string> FolderEntries(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// A 2 x 2 document with two layers; the top one (current) painted with index 10 at (1, 0).
Document SmallDoc() {
    Document d;
    InitBlankDocument(d, 2, 2, 16, 20);
    d.AppendLayer();
    d.LayerAt(1).Indices = {0, 10, 0, 0};
    d.LayerAt(1).Mask = {0, 1, 0, 0};
    d.LayerAt(0).Indices = {3, 3, 3, 3};
    d.LayerAt(0).Mask = {1, 1, 1, 0};
    return d;
}

// Every field a snapshot carries, as bytes: equal states encode equally.
Bytes State(const Document& d) { return EncodeSnapshot(d, ""); }

class History : public ::testing::Test {
protected:
    test::TempDir dir;
    HistoryContext ctx{dir.Path(), 1, true};
    Document doc = SmallDoc();

    void Paint(int layer, int pixel, uint8_t index) {
        doc.LayerAt(layer).Indices[pixel] = index;
        doc.LayerAt(layer).Mask[pixel] = 1;
    }
    void Counters(int position, int redo, int snapshots) {
        EXPECT_EQ(doc.HistoryPosition, position);
        EXPECT_EQ(doc.RedoCount, redo);
        EXPECT_EQ(doc.SnapshotCount, snapshots);
    }
};

TEST(SnapshotFile, NameIsImgWindowNoStepWithoutExtension) {
    HistoryContext ctx{"/some/folder", 3, true};
    EXPECT_EQ(SnapshotPath(ctx, 0), fs::path("/some/folder/img3no0"));
    ctx.WindowNumber = 12;
    EXPECT_EQ(SnapshotPath(ctx, 105), fs::path("/some/folder/img12no105"));
}

TEST(SnapshotFile, BytesOfASmallDocumentFieldByField) {
    Document d = SmallDoc();
    d.HasSelection = true;
    d.SelLeft = 1, d.SelTop = 0, d.SelRight = 2, d.SelBottom = 2;
    d.FloatDX = -1, d.FloatDY = 1;
    d.FloatIndices = {7, 8, 9, 10};
    d.FloatMask = {1, 0, 1, 0};
    d.LayerAt(0).Visible = 0;
    d.SetCurrentLayer(0);
    const Bytes b = EncodeSnapshot(d, "ブラシツール");

    ASSERT_EQ(b.size(), 1134u);
    EXPECT_EQ(I32At(b, 0), 12);
    EXPECT_EQ(Slice(b, 4, 12), (Bytes{0x83, 0x75, 0x83, 0x89, 0x83, 0x56, 0x83, 0x63, 0x81, 0x5B, 0x83, 0x8B}));
    EXPECT_EQ(I32At(b, 16), 2);    // width
    EXPECT_EQ(I32At(b, 20), 2);    // height
    EXPECT_EQ(I32At(b, 24), 16);   // colour count
    // Palette entries are blue, green, red, reserved: entry 2 is dark red, entry 14 blue.
    EXPECT_EQ(Slice(b, 28 + 4 * 2, 4), (Bytes{0, 0, 128, 0}));
    EXPECT_EQ(Slice(b, 28 + 4 * 14, 4), (Bytes{255, 0, 0, 0}));
    EXPECT_EQ(Slice(b, 28 + 4 * 255, 4), (Bytes{0, 0, 0, 0}));
    EXPECT_EQ(b[1052], 1);            // HasSelection
    EXPECT_EQ(I32At(b, 1053), 1);     // SelLeft
    EXPECT_EQ(I32At(b, 1057), 0);     // SelTop
    EXPECT_EQ(I32At(b, 1061), 2);     // SelRight
    EXPECT_EQ(I32At(b, 1065), 2);     // SelBottom
    EXPECT_EQ(Slice(b, 1069, 4), (Bytes{0xFF, 0xFF, 0xFF, 0xFF}));   // FloatDX = -1
    EXPECT_EQ(I32At(b, 1073), 1);     // FloatDY
    EXPECT_EQ(b[1077], 0);            // SelectionSpare
    EXPECT_EQ(Slice(b, 1078, 4), (Bytes{7, 8, 9, 10}));
    EXPECT_EQ(Slice(b, 1082, 4), (Bytes{1, 0, 1, 0}));
    EXPECT_EQ(I32At(b, 1086), 2);     // LayerCount
    // Bottom layer first: name "レイヤ1" in Shift-JIS, Visible, Indices, Mask.
    EXPECT_EQ(I32At(b, 1090), 7);
    EXPECT_EQ(Slice(b, 1094, 7), (Bytes{0x83, 0x8C, 0x83, 0x43, 0x83, 0x84, '1'}));
    EXPECT_EQ(b[1101], 0);
    EXPECT_EQ(Slice(b, 1102, 4), (Bytes{3, 3, 3, 3}));
    EXPECT_EQ(Slice(b, 1106, 4), (Bytes{1, 1, 1, 0}));
    EXPECT_EQ(I32At(b, 1110), 7);
    EXPECT_EQ(Slice(b, 1114, 7), (Bytes{0x83, 0x8C, 0x83, 0x43, 0x83, 0x84, '2'}));
    EXPECT_EQ(b[1121], 1);
    EXPECT_EQ(Slice(b, 1122, 4), (Bytes{0, 10, 0, 0}));
    EXPECT_EQ(Slice(b, 1126, 4), (Bytes{0, 1, 0, 0}));
    EXPECT_EQ(I32At(b, 1130), 0);     // CurrentLayer
}

// Width comes before height in the bytes, and each is read back into its own field: a
// non-square canvas tells the two apart where a square one cannot.
TEST(SnapshotFile, WidthThenHeightOfANonSquareCanvas) {
    Document d;
    InitBlankDocument(d, 3, 1, 16, 20);
    d.LayerAt(0).Mask = {0, 0, 1};
    const Bytes b = EncodeSnapshot(d, "x");
    EXPECT_EQ(I32At(b, 5), 3);    // width, after the one-byte name
    EXPECT_EQ(I32At(b, 9), 1);    // height
    Document back;
    ASSERT_TRUE(DecodeSnapshot(b, back));
    EXPECT_EQ(back.ImageWidth, 3);
    EXPECT_EQ(back.ImageHeight, 1);
    EXPECT_EQ(back.LayerAt(0).Mask, (Plane{0, 0, 1}));
}

TEST(SnapshotFile, DecodeBringsBackEveryStoredFieldAndNothingElse) {
    Document a = SmallDoc();
    a.HasSelection = true;
    a.SelLeft = 0, a.SelTop = 1, a.SelRight = 2, a.SelBottom = 2;
    a.FloatDX = 3, a.FloatDY = -2;
    a.FloatIndices = {1, 2, 3, 4};
    a.FloatMask = {0, 1, 1, 0};
    a.Palette[200] = PaletteEntry{1, 2, 3, 0};
    a.ColorCount = 256;
    a.LayerAt(0).Name = "背景";
    a.SetCurrentLayer(0);

    Document b;
    InitBlankDocument(b, 5, 3, 16, 20);
    b.DrawColor = 200, b.AuxColor = 7, b.Zoom = 6, b.Modified = true;
    b.CloneState = 1;
    std::string name;
    ASSERT_TRUE(DecodeSnapshot(EncodeSnapshot(a, "移動"), b, &name));
    EXPECT_EQ(name, "移動");
    EXPECT_EQ(State(b), State(a));
    EXPECT_EQ(b.Layers(), a.Layers());
    EXPECT_EQ(b.CurrentLayer(), 0);
    EXPECT_EQ(b.LayerAt(0).Name, "背景");
    // The stroke stencil follows the restored size and is clean.
    EXPECT_EQ(b.StrokeBitmap.Width(), 2);
    EXPECT_EQ(b.StrokeBitmap.Height(), 2);
    EXPECT_EQ(b.StrokeBitmap.Pixel(1, 1), kWhite);
    // Not part of a snapshot.
    EXPECT_EQ(b.DrawColor, 200);
    EXPECT_EQ(b.AuxColor, 7);
    EXPECT_EQ(b.Zoom, 6);
    EXPECT_TRUE(b.Modified);
    EXPECT_EQ(b.CloneState, 1);
}

TEST(SnapshotFile, TruncatedOrSenselessBytesAreRefusedAndTheDocumentKept) {
    const Bytes good = EncodeSnapshot(SmallDoc(), "ブラシツール");
    Document d;
    InitBlankDocument(d, 3, 3, 256, 20);
    const Bytes before = State(d);

    for (std::size_t n = 0; n < good.size(); ++n) {
        ASSERT_FALSE(DecodeSnapshot(Bytes(good.begin(), good.begin() + n), d)) << "length " << n;
    }
    struct Poke {
        const char* what;
        std::size_t at;
        int32_t value;
    };
    const Poke pokes[] = {
        {"negative name length", 0, -1},       {"name longer than the file", 0, 0x7FFFFFFF},
        {"width 0", 16, 0},                    {"width 4097", 16, 4097},
        {"negative height", 20, -2},           {"colour count 17", 24, 17},
        {"no layers", 1086, 0},                {"huge layer count", 1086, 0x7FFFFFFF},
        {"layer name too long", 1090, 5000},   {"current layer past the top", 1130, 2},
        {"negative current layer", 1130, -1},
    };
    for (const Poke& p : pokes) {
        Bytes bad = good;
        PutI32At(bad, p.at, p.value);
        EXPECT_FALSE(DecodeSnapshot(bad, d)) << p.what;
    }
    Bytes trailing = good;
    trailing.push_back(0);
    EXPECT_FALSE(DecodeSnapshot(trailing, d));
    EXPECT_EQ(State(d), before);
    EXPECT_EQ(d.ImageWidth, 3);
    EXPECT_TRUE(DecodeSnapshot(good, d));
}

TEST_F(History, CountersAndFilesThroughRecordUndoRedoAndANewStep) {
    ASSERT_TRUE(RecordStep(doc, ctx, " ", false).Ok);
    Counters(1, 0, 1);
    EXPECT_FALSE(doc.Modified);
    const Bytes s0 = State(doc);
    Paint(1, 0, 4);
    ASSERT_TRUE(RecordStep(doc, ctx, "A", false).Ok);
    EXPECT_TRUE(doc.Modified);
    const Bytes s1 = State(doc);
    doc.AppendLayer();
    ASSERT_TRUE(RecordStep(doc, ctx, "B", false).Ok);
    const Bytes s2 = State(doc);
    Paint(2, 3, 9);
    ASSERT_TRUE(RecordStep(doc, ctx, "C", false).Ok);
    Counters(4, 0, 4);

    ASSERT_TRUE(RestoreStep(doc, ctx, false).Ok);
    EXPECT_EQ(State(doc), s2);
    Counters(3, 1, 4);
    ASSERT_TRUE(RestoreStep(doc, ctx, false).Ok);
    EXPECT_EQ(State(doc), s1);
    EXPECT_EQ(doc.LayerCount(), 2);
    Counters(2, 2, 4);
    ASSERT_TRUE(RestoreStep(doc, ctx, true).Ok);
    EXPECT_EQ(State(doc), s2);
    Counters(3, 1, 4);
    ASSERT_TRUE(RestoreStep(doc, ctx, false).Ok);
    ASSERT_TRUE(RestoreStep(doc, ctx, false).Ok);
    EXPECT_EQ(State(doc), s0);
    Counters(1, 3, 4);
    // At the beginning undo does nothing.
    ASSERT_TRUE(RestoreStep(doc, ctx, false).Ok);
    Counters(1, 3, 4);
    EXPECT_EQ(State(doc), s0);

    ASSERT_TRUE(RestoreStep(doc, ctx, true).Ok);   // back to A
    Paint(0, 3, 5);
    ASSERT_TRUE(RecordStep(doc, ctx, "D", false).Ok);
    Counters(3, 0, 5);
    // The new step overwrote file 2; the abandoned C stays in file 3 until the next clear.
    EXPECT_EQ(StepName(ctx, 2), "D");
    EXPECT_EQ(StepName(ctx, 3), "C");
    // At the end redo does nothing.
    const Bytes s3 = State(doc);
    ASSERT_TRUE(RestoreStep(doc, ctx, true).Ok);
    Counters(3, 0, 5);
    EXPECT_EQ(State(doc), s3);

    ClearHistory(doc, ctx);
    Counters(0, 0, 0);
    EXPECT_TRUE(FolderEntries(dir.Path()).empty());
}

TEST_F(History, UndoBringsBackAFloatingSelectionWithItsOffset) {
    ASSERT_TRUE(RecordStep(doc, ctx, " ", false).Ok);
    // Lift pixel (1, 0) of the current layer and move it one to the left and one down.
    doc.HasSelection = true;
    doc.SelLeft = 0, doc.SelTop = 1, doc.SelRight = 1, doc.SelBottom = 2;
    doc.FloatIndices = {0, 10, 0, 0};
    doc.FloatMask = {0, 1, 0, 0};
    doc.FloatDX = -1, doc.FloatDY = 1;
    doc.Current().Mask[1] = 0;
    ASSERT_TRUE(RecordStep(doc, ctx, "移動", false).Ok);
    // Drop it.
    doc.HasSelection = false;
    doc.FloatDX = doc.FloatDY = 0;
    doc.Current().Indices[2] = 10;
    doc.Current().Mask[2] = 1;
    ASSERT_TRUE(RecordStep(doc, ctx, "選択解除", false).Ok);

    ASSERT_TRUE(RestoreStep(doc, ctx, false).Ok);
    EXPECT_TRUE(doc.HasSelection);
    EXPECT_EQ(doc.FloatDX, -1);
    EXPECT_EQ(doc.FloatDY, 1);
    EXPECT_EQ(doc.Selection(), (Rect{0, 1, 1, 2}));
    EXPECT_EQ(doc.FloatIndices, (Plane{0, 10, 0, 0}));
    EXPECT_EQ(doc.FloatMask, (Plane{0, 1, 0, 0}));
    EXPECT_EQ(doc.Current().Mask, (Plane{0, 0, 0, 0}));
    EXPECT_EQ(doc.CurrentLayer(), 1);
}

TEST_F(History, UndoOfACanvasResizeRestoresTheSizeAndForgetsAVanishedCloneLayer) {
    ASSERT_TRUE(RecordStep(doc, ctx, " ", false).Ok);
    doc.ImageWidth = 3;
    doc.ImageHeight = 1;
    doc.ReplaceLayers({MakeBlankLayer(3, 1, "a"), MakeBlankLayer(3, 1, "b"), MakeBlankLayer(3, 1, "c")}, 2);
    doc.FloatIndices.assign(3, 0);
    doc.FloatMask.assign(3, 0);
    doc.StrokeBitmap.Resize(3, 1);
    doc.CloneLayer = 2, doc.CloneState = 2;
    ASSERT_TRUE(RecordStep(doc, ctx, "キャンバスサイズ", false).Ok);
    ASSERT_TRUE(RestoreStep(doc, ctx, false).Ok);
    EXPECT_EQ(doc.ImageWidth, 2);
    EXPECT_EQ(doc.ImageHeight, 2);
    EXPECT_EQ(doc.LayerCount(), 2);
    EXPECT_EQ(doc.StrokeBitmap.Width(), 2);
    EXPECT_EQ(doc.StrokeBitmap.Height(), 2);
    EXPECT_EQ(doc.CloneState, 0);
    EXPECT_EQ(doc.CloneLayer, 0);
}

TEST_F(History, MemoryClearLeavesOneBaseStepAndMarksTheDocumentModified) {
    ASSERT_TRUE(RecordStep(doc, ctx, " ", false).Ok);
    Paint(1, 0, 1);
    ASSERT_TRUE(RecordStep(doc, ctx, "A", false).Ok);
    Paint(1, 1, 2);
    ASSERT_TRUE(RecordStep(doc, ctx, "B", false).Ok);
    ASSERT_TRUE(RestoreStep(doc, ctx, false).Ok);
    doc.Modified = false;   // as after a save
    const Bytes now = State(doc);

    ASSERT_TRUE(RecordStep(doc, ctx, "", true).Ok);
    Counters(1, 0, 1);
    EXPECT_TRUE(doc.Modified);
    EXPECT_EQ(FolderEntries(dir.Path()), std::vector<std::string>{"img1no0"});
    EXPECT_EQ(StepName(ctx, 0), " ");
    EXPECT_EQ(State(doc), now);
    const EditMenuState m = ComputeEditMenu(doc, ctx);
    EXPECT_FALSE(m.UndoEnabled);
    EXPECT_FALSE(m.RedoEnabled);
    EXPECT_FALSE(m.MemoryClearEnabled);
}

TEST_F(History, WithUndoSwitchedOffNothingIsWrittenButEditsStillMarkModified) {
    ctx.UndoEnabled = false;
    ASSERT_TRUE(RecordStep(doc, ctx, " ", false).Ok);
    EXPECT_FALSE(doc.Modified);
    ASSERT_TRUE(RecordStep(doc, ctx, "ブラシツール", false).Ok);
    EXPECT_TRUE(doc.Modified);
    doc.Modified = false;
    ASSERT_TRUE(RecordStep(doc, ctx, "", true).Ok);   // memory clear
    EXPECT_TRUE(doc.Modified);
    Counters(0, 0, 0);
    EXPECT_TRUE(FolderEntries(dir.Path()).empty());
    const EditMenuState m = ComputeEditMenu(doc, ctx);
    EXPECT_EQ(m.UndoCaption, "元に戻せません(&U)");
    EXPECT_EQ(m.RedoCaption, "やり直せません(&R)");
}

TEST_F(History, EditMenuCaptionsNameTheStepsUndoAndRedoWouldCross) {
    ASSERT_TRUE(RecordStep(doc, ctx, " ", false).Ok);
    EditMenuState m = ComputeEditMenu(doc, ctx);
    EXPECT_EQ(m.UndoCaption, "元に戻せません(&U)");
    EXPECT_FALSE(m.UndoEnabled);
    EXPECT_EQ(m.RedoCaption, "やり直せません(&R)");
    EXPECT_FALSE(m.RedoEnabled);
    EXPECT_FALSE(m.MemoryClearEnabled);

    const Bytes blank = State(doc);
    Paint(1, 3, 6);
    ASSERT_TRUE(RecordStep(doc, ctx, "ブラシツール", false).Ok);
    m = ComputeEditMenu(doc, ctx);
    EXPECT_EQ(m.UndoCaption, "元に戻す(&U) - ブラシツール");
    EXPECT_TRUE(m.UndoEnabled);
    EXPECT_EQ(m.RedoCaption, "やり直せません(&R)");
    EXPECT_TRUE(m.MemoryClearEnabled);

    ASSERT_TRUE(RestoreStep(doc, ctx, false).Ok);
    EXPECT_EQ(State(doc), blank);
    m = ComputeEditMenu(doc, ctx);
    EXPECT_EQ(m.UndoCaption, "元に戻せません(&U)");
    EXPECT_FALSE(m.UndoEnabled);
    EXPECT_EQ(m.RedoCaption, "やり直し(&R) - ブラシツール");
    EXPECT_TRUE(m.RedoEnabled);
    EXPECT_TRUE(m.MemoryClearEnabled);   // redo states exist
}

// Lowers the file size limit so writes fail part-way, as on a full disk.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        oldHandler_ = signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &old_);
        rlimit lim = old_;
        lim.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &lim);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &old_);
        signal(SIGXFSZ, oldHandler_);
    }

private:
    rlimit old_{};
    sighandler_t oldHandler_;
};

TEST_F(History, StepsThatCannotBeWrittenWaitInMemoryAndUndoNeverSkipsOne) {
    ASSERT_TRUE(RecordStep(doc, ctx, " ", false).Ok);
    Paint(1, 0, 1);
    ASSERT_TRUE(RecordStep(doc, ctx, "A", false).Ok);
    ASSERT_TRUE(RestoreStep(doc, ctx, false).Ok);
    const Bytes file1 = ReadBytes(SnapshotPath(ctx, 1));

    // The disk fills up half-way through the snapshot that would overwrite file 1: B stays on
    // the canvas, said once; C after it is kept silently.
    Paint(1, 2, 2);
    HistoryResult r;
    Bytes stateB;
    {
        FileSizeLimit limit(500);
        r = RecordStep(doc, ctx, "B", false);
        EXPECT_FALSE(r.Ok);
        EXPECT_EQ(r.Message.rfind("アンドゥ情報を保存できませんでした。\nファイルが大きすぎます。", 0), 0u) << r.Message;
        EXPECT_NE(r.Message.find("空きができしだい記録します。それまで元に戻す・やり直しはできません。"), std::string::npos);
        stateB = State(doc);
        Paint(0, 1, 7);
        r = RecordStep(doc, ctx, "C", false);
        EXPECT_FALSE(r.Ok);
        EXPECT_EQ(r.Message, "");
        Counters(1, 1, 2);
        EXPECT_EQ(ReadBytes(SnapshotPath(ctx, 1)), file1);
        EXPECT_EQ(FolderEntries(dir.Path()), (std::vector<std::string>{"img1no0", "img1no1"}));
        const EditMenuState m = ComputeEditMenu(doc, ctx);
        EXPECT_EQ(std::tie(m.UndoCaption, m.UndoEnabled, m.RedoCaption, m.RedoEnabled, m.MemoryClearEnabled),
                  std::tuple("元に戻せません(&U)", false, "やり直せません(&R)", false, true));
        // Undo cannot jump over what is not written yet.
        const Bytes stateC = State(doc);
        EXPECT_FALSE(RestoreStep(doc, ctx, false).Ok);
        EXPECT_EQ(State(doc), stateC);
        EXPECT_FALSE(FlushHistory(doc, ctx).Ok);
        ASSERT_EQ(doc.Journal.Pending.size(), 2u);
        EXPECT_EQ(doc.Journal.Pending[0].Name, "B");
    }
    // With room again, the kept steps are written in order before the undo: B and C are both
    // on disk, undo goes to B, a second undo to the base, redo brings B and C back.
    const Bytes stateC = State(doc);
    ASSERT_TRUE(RestoreStep(doc, ctx, false).Ok);
    Counters(2, 1, 4);
    EXPECT_EQ(State(doc), stateB);
    EXPECT_EQ(StepName(ctx, 1), "B");
    EXPECT_EQ(StepName(ctx, 2), "C");
    EXPECT_TRUE(doc.Journal.Pending.empty());
    ASSERT_TRUE(RestoreStep(doc, ctx, false).Ok);
    ASSERT_TRUE(RestoreStep(doc, ctx, true).Ok);
    ASSERT_TRUE(RestoreStep(doc, ctx, true).Ok);
    EXPECT_EQ(State(doc), stateC);
    Counters(3, 0, 4);
}

bool g_diskFull = false;
int FullDiskWrites(WriteStep step, std::size_t&) { return g_diskFull && step == WriteStep::Write ? ENOSPC : 0; }

TEST_F(History, StepsKeptPastTheMemoryBoundAreMergedAndHowManyIsSaidOnceTheyAreWritten) {
    ASSERT_TRUE(RecordStep(doc, ctx, " ", false).Ok);
    const std::size_t snapshot = EncodeSnapshot(doc, "A").size();
    // Room in memory for two and a half kept steps; the disk takes nothing.
    SetPendingLimit(snapshot * 5 / 2);
    g_diskFull = true;
    SetWriteStepHook(FullDiskWrites);
    std::vector<Bytes> states;
    for (int i = 0; i < 5; ++i) {
        Paint(0, i % 4, uint8_t(i + 1));
        const HistoryResult r = RecordStep(doc, ctx, std::string(1, char('A' + i)), false);
        EXPECT_FALSE(r.Ok);
        // Said once, at the first step kept, with the count at risk and what saving keeps.
        if (i == 0) {
            EXPECT_NE(r.Message.find("まだ記録できていない操作が 1 手順あります。このまま終了するとこれらの手順は失われますが、"
                                     "文書を保存すれば今の絵は残ります。"),
                      std::string::npos)
                << r.Message;
        } else {
            EXPECT_EQ(r.Message, "") << i;
        }
        states.push_back(State(doc));
    }
    // A, then E standing for B, C and D too.
    ASSERT_EQ(doc.Journal.Pending.size(), 2u);
    EXPECT_EQ(doc.Journal.Pending[0].Name, "A");
    EXPECT_EQ(doc.Journal.Pending[1].Name, "E");
    EXPECT_EQ(RestoreStep(doc, ctx, false).Message,
              "まだ記録できていない操作が 2 手順あるため、元に戻す・やり直しはできません。\n空き容量を増やしてからもう一度お試しください。");
    g_diskFull = false;
    SetWriteStepHook(nullptr);
    SetPendingLimit(0);

    // Written at last: the merge is said once, with its count, and undo from E lands on A.
    const HistoryResult flushed = FlushHistory(doc, ctx);
    EXPECT_TRUE(flushed.Ok);
    EXPECT_NE(flushed.Warning.find("操作のうち 3 手順は、メモリを節約するため次の操作とまとめて記録しました。"), std::string::npos)
        << flushed.Warning;
    Counters(3, 0, 3);
    EXPECT_EQ(StepName(ctx, 2), "E");
    const HistoryResult undone = RestoreStep(doc, ctx, false);
    EXPECT_TRUE(undone.Ok);
    EXPECT_EQ(undone.Warning, "");
    EXPECT_EQ(State(doc), states[0]);
    Paint(1, 3, 9);
    EXPECT_EQ(RecordStep(doc, ctx, "F", false).Warning, "");
}

TEST_F(History, MemoryClearOnAFullDiskKeepsThePictureAndAWorkingHistory) {
    test::SmallFileSystem small(256 << 10);
    if (!small.Mounted()) GTEST_SKIP() << "mounting a small file system needs root";
    ctx.Folder = small.Path();
    ctx.Label = WindowLabel{"a", ""};
    // A 37 x 21 picture: a base step of one layer, then three more layers in step A.
    InitBlankDocument(doc, 37, 21, 16, 20);
    ASSERT_TRUE(RecordStep(doc, ctx, " ", false).Ok);
    for (int i = 0; i < 3; ++i) doc.AppendLayer();
    Paint(3, 40, 5);
    ASSERT_TRUE(RecordStep(doc, ctx, "A", false).Ok);
    Paint(2, 41, 6);
    ASSERT_TRUE(RecordStep(doc, ctx, "B", false).Ok);

    // Full: the new base only fits once the old snapshots but the current one are gone.
    small.FillLeaving(0);
    Bytes now = State(doc);
    ASSERT_TRUE(RecordStep(doc, ctx, "", true).Ok);
    Counters(1, 0, 1);
    EXPECT_EQ(StepName(ctx, 0), " ");
    Document back;
    ASSERT_TRUE(DecodeSnapshot(ReadBytes(SnapshotPath(ctx, 0)), back));
    EXPECT_EQ(State(back), now);

    // Full again, after a step that doubles the layers: the base no longer fits even then, so
    // step C's own snapshot becomes the base; undo is off and a later step records on top.
    for (int i = 0; i < 4; ++i) doc.AppendLayer();
    Paint(6, 42, 7);
    ASSERT_TRUE(RecordStep(doc, ctx, "C", false).Ok);
    small.FillLeaving(0);
    now = State(doc);
    const Bytes fileC = ReadBytes(SnapshotPath(ctx, 1));
    ASSERT_TRUE(RecordStep(doc, ctx, "", true).Ok);
    Counters(1, 0, 1);
    EXPECT_EQ(ReadBytes(SnapshotPath(ctx, 0)), fileC);
    EXPECT_EQ(State(doc), now);
    EXPECT_FALSE(ComputeEditMenu(doc, ctx).UndoEnabled);
    small.Unfill();
    Paint(0, 43, 8);
    ASSERT_TRUE(RecordStep(doc, ctx, "D", false).Ok);
    ASSERT_TRUE(RestoreStep(doc, ctx, false).Ok);
    EXPECT_EQ(State(doc), now);
    const auto note = DecodeRecoveryNote(ReadBytes(NotePath(ctx)));
    ASSERT_TRUE(note);
    EXPECT_EQ(std::tie(note->HistoryPosition, note->RedoCount), std::tuple(1, 1));
}

TEST_F(History, ASnapshotIntoAMissingFolderOrOntoAFolderIsReported) {
    HistoryContext gone{dir / "missing", 1, true};
    HistoryResult r = RecordStep(doc, gone, "A", false);
    EXPECT_FALSE(r.Ok);
    EXPECT_NE(r.Message.find("保存先のフォルダがありません。"), std::string::npos) << r.Message;
    EXPECT_TRUE(doc.Modified);
    Counters(0, 0, 0);

    doc = SmallDoc();
    ASSERT_TRUE(RecordStep(doc, ctx, " ", false).Ok);
    fs::create_directory(SnapshotPath(ctx, 1));
    r = RecordStep(doc, ctx, "A", false);
    EXPECT_FALSE(r.Ok);
    EXPECT_EQ(r.Message.rfind("アンドゥ情報を保存できませんでした。", 0), 0u);
    Counters(1, 0, 1);
    EXPECT_EQ(FolderEntries(dir.Path()), (std::vector<std::string>{"img1no0", "img1no1"}));
}

TEST_F(History, AnUnreadableSnapshotLeavesDocumentAndCounters) {
    ASSERT_TRUE(RecordStep(doc, ctx, " ", false).Ok);
    Paint(1, 0, 1);
    ASSERT_TRUE(RecordStep(doc, ctx, "A", false).Ok);
    Paint(1, 1, 1);
    ASSERT_TRUE(RecordStep(doc, ctx, "B", false).Ok);
    const Bytes now = State(doc);

    Bytes file1 = ReadBytes(SnapshotPath(ctx, 1));
    WriteBytes(SnapshotPath(ctx, 1), Bytes(file1.begin(), file1.end() - 3));
    HistoryResult r = RestoreStep(doc, ctx, false);
    EXPECT_FALSE(r.Ok);
    EXPECT_EQ(r.Message, "アンドゥ情報を読み込めませんでした。\nファイルの内容が壊れています。");
    Counters(3, 0, 3);
    EXPECT_EQ(State(doc), now);

    fs::remove(SnapshotPath(ctx, 1));
    r = RestoreStep(doc, ctx, false);
    EXPECT_FALSE(r.Ok);
    EXPECT_EQ(r.Message, "アンドゥ情報を読み込めませんでした。\nファイルが見つかりません。");
    Counters(3, 0, 3);
    EXPECT_EQ(State(doc), now);
    // The Edit menu still opens: the name of a missing step is simply empty.
    fs::remove(SnapshotPath(ctx, 2));
    EXPECT_EQ(ComputeEditMenu(doc, ctx).UndoCaption, "元に戻す(&U) - ");
}

TEST(SnapshotFolderLock, ASecondInstanceGetsAPrivateFolderRemovedAtItsEnd) {
    test::TempDir settings;
    auto first = std::make_unique<SnapshotFolder>(settings.Path());
    EXPECT_EQ(first->Path(), settings.Path());
    fs::path privatePath;
    {
        SnapshotFolder second(settings.Path());
        privatePath = second.Path();
        EXPECT_NE(privatePath, first->Path());
        EXPECT_EQ(privatePath.parent_path(), settings.Path());
        EXPECT_TRUE(fs::is_directory(privatePath));
        SnapshotFolder third(settings.Path());
        EXPECT_NE(third.Path(), privatePath);
        EXPECT_NE(third.Path(), first->Path());
        // The second instance outlives the first; a new first instance must not take its folder.
        first.reset();
        SnapshotFolder fourth(settings.Path());
        EXPECT_EQ(fourth.Path(), settings.Path());
        EXPECT_TRUE(fs::is_directory(privatePath));
        EXPECT_TRUE(fs::is_directory(third.Path()));
    }
    EXPECT_FALSE(fs::exists(privatePath));
    EXPECT_TRUE(fs::is_directory(settings.Path()));
}

TEST(SnapshotFolderLock, AnInstanceThatDiedLeavesNoLockAndItsSnapshotsAreKeptApart) {
    test::TempDir settings;
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        // Two instances that end without cleaning up, as in a crash.
        new SnapshotFolder(settings.Path());
        auto* second = new SnapshotFolder(settings.Path());
        std::ofstream(second->Path() / "img1no0") << "x";
        std::ofstream(settings.Path() / "img2no5") << "x";
        std::ofstream(settings.Path() / "img2no6.Ab12Cd") << "x";
        _exit(0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    std::ofstream(settings.Path() / "pqset") << "keep";
    ASSERT_EQ(FolderEntries(settings.Path()).size(), 5u);

    SnapshotFolder next(settings.Path());
    EXPECT_EQ(next.Path(), settings.Path());
    // The snapshots wait for recovery in folders of their own, away from the new owner's
    // windows; the temporary file is gone.
    std::vector<std::string> kept, top;
    for (const auto& e : fs::recursive_directory_iterator(settings.Path())) {
        if (e.path().parent_path() == settings.Path()) top.push_back(e.path().filename().string().substr(0, 7));
        else if (e.path().filename() != "pqlock") kept.push_back(e.path().filename().string());
    }
    std::sort(top.begin(), top.end());
    std::sort(kept.begin(), kept.end());
    EXPECT_EQ(top, (std::vector<std::string>{"pqinst-", "pqinst-", "pqlock", "pqset"}));
    EXPECT_EQ(kept, (std::vector<std::string>{"img1no0", "img2no5"}));
}

// ---- base steps of several windows written together ---------------------------------------------

int g_writes = 0;
int g_failWrite = 0;
int FailOneWrite(WriteStep step, std::size_t&) {
    return step == WriteStep::Write && ++g_writes == g_failWrite ? ENOSPC : 0;
}

TEST(RecordSteps, EveryWindowEndsAsRecordStepLeavesItAndAFailedWriteIsRecordedAlone) {
    test::TempDir dir;
    // Pages of one set, odd and not square; the second page's snapshot write fails once.
    std::vector<Document> docs(4);
    std::vector<HistoryContext> ctxs;
    const int sizes[][2] = {{3, 5}, {7, 2}, {1, 9}, {5, 3}};
    for (int i = 0; i < 4; ++i) {
        InitBlankDocument(docs[i], sizes[i][0], sizes[i][1], 16, 20);
        docs[i].LayerAt(0).Indices[1] = uint8_t(i + 1);
        docs[i].LayerAt(0).Mask[1] = 1;
        ctxs.push_back(HistoryContext{dir.Path(), 10 + i, true, WindowLabel{"set", "/x/set.ico", 10, i, i % 3}});
    }
    // The last one still has a step kept in memory: it goes alone, that step first.
    docs[3].Journal.Pending.push_back(PendingStep{" ", EncodeSnapshot(docs[3], " ")});
    docs[3].LayerAt(0).Mask[0] = 1;
    std::vector<Document*> ptrs{&docs[0], &docs[1], &docs[2], &docs[3]};
    g_writes = 0;
    g_failWrite = 4;   // note 0, snapshot 0, note 1, snapshot 1
    SetWriteStepHook(FailOneWrite);
    const std::vector<HistoryResult> r = RecordSteps(ptrs, ctxs, " ");
    SetWriteStepHook(nullptr);
    // The failed write was one of the batch's; its window was then written alone.
    EXPECT_GT(g_writes, 8);

    ASSERT_EQ(r.size(), 4u);
    for (int i = 0; i < 4; ++i) {
        EXPECT_TRUE(r[i].Ok) << i << r[i].Message;
        EXPECT_FALSE(docs[i].Modified) << i;
        EXPECT_FALSE(HistoryBehind(docs[i])) << i;
        const int steps = i == 3 ? 2 : 1;
        EXPECT_EQ(docs[i].HistoryPosition, steps) << i;
        EXPECT_EQ(docs[i].SnapshotCount, steps) << i;
        Document back;
        ASSERT_TRUE(DecodeSnapshot(ReadBytes(SnapshotPath(ctxs[i], steps - 1)), back)) << i;
        EXPECT_EQ(State(back), State(docs[i])) << i;
        // The note announces the step its snapshot now proves, under the page's label.
        const auto note = DecodeRecoveryNote(ReadBytes(NotePath(ctxs[i])));
        ASSERT_TRUE(note) << i;
        ASSERT_TRUE(note->Intent) << i;
        EXPECT_EQ(note->Intent->HistoryPosition, steps) << i;
        EXPECT_EQ(note->Intent->Size, fs::file_size(SnapshotPath(ctxs[i], steps - 1))) << i;
        EXPECT_EQ(note->Label.PageIndex, i) << i;
    }
    // Nothing half-written is left beside them.
    for (const std::string& name : FolderEntries(dir.Path())) EXPECT_EQ(name.rfind("img", 0), 0u) << name;

    // Notes rewritten together take a new label; one that cannot be written says why.
    ctxs[1].Label->FileName = "/y/renamed.ico";
    ctxs[2].Label->PageKind = 7;
    const std::vector<const Document*> cptrs{&docs[0], &docs[1], &docs[2]};
    const std::vector<int> errs = WriteRecoveryNotes(cptrs, std::span(ctxs).first(3));
    ASSERT_EQ(errs, (std::vector<int>{0, 0, EINVAL}));
    EXPECT_EQ(DecodeRecoveryNote(ReadBytes(NotePath(ctxs[1])))->Label.FileName, "/y/renamed.ico");
    EXPECT_EQ(DecodeRecoveryNote(ReadBytes(NotePath(ctxs[0])))->HistoryPosition, 1);
}

}  // namespace
}  // namespace pq
