#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <map>
#include <random>

#include "core/formats/ani_file.h"
#include "core/formats/png_file.h"
#include "core/io/byte_io.h"
#include "support/hostile_icons.h"
#include "support/test_paths.h"

namespace pq {
namespace {

Document PalettePage(int w, int h, int hx, int hy, uint32_t seed) {
    Document d;
    InitBlankDocument(d, w, h, 16, 20);
    std::mt19937 rng(seed);
    Layer& l = d.LayerAt(0);
    for (std::size_t i = 0; i < l.Mask.size(); ++i)
        if (rng() % 3) l.Mask[i] = 1, l.Indices[i] = uint8_t(rng() % 16);
    d.HotspotX = hx, d.HotspotY = hy, d.HasHotspot = true;
    return d;
}

Document RgbaPage(int w, int h, int hx, int hy, uint32_t seed) {
    Document d;
    InitBlankTrueColorDocument(d, w, h, 20);
    std::mt19937 rng(seed);
    constexpr uint8_t kAlphas[] = {0, 1, 77, 128, 254, 255};
    for (Rgba8& p : d.LayerAt(0).Pixels) {
        p = Rgba8{uint8_t(rng()), uint8_t(rng()), uint8_t(rng()), kAlphas[rng() % 6]};
        if (p.a == 0) p = Rgba8{};
    }
    d.HotspotX = hx, d.HotspotY = hy, d.HasHotspot = true;
    return d;
}

IconSetPage P(Document d) {
    IconSetPage p;
    p.Kind = d.TrueColor ? IconPageKind::TrueColor : IconPageKind::Palette;
    p.Doc = std::move(d);
    return p;
}

// Three frames, the first at two sizes (each its own hotspot), shown 0 1 0 2 1 with differing times.
CursorAnimation Sample() {
    std::vector<CursorFrame> frames(3);
    frames[0].Sizes.push_back(P(PalettePage(16, 16, 3, 5, 1)));
    frames[0].Sizes.push_back(P(RgbaPage(31, 17, 30, 16, 2)));
    frames[1].Sizes.push_back(P(RgbaPage(31, 17, 0, 9, 3)));
    frames[2].Sizes.push_back(P(PalettePage(16, 16, 15, 0, 4)));
    CursorAnimation a = AnimationOfFrames(std::move(frames), 100, kCursorResourceType);
    a.Steps = {0, 1, 0, 2, 1};
    a.StepMilliseconds = {50, 17, 1000, 33, 117};
    a.Title = "spinner";
    a.Author = "pq";
    return a;
}

// An independent reading of the RIFF layout: every chunk as (path, body), lists flattened with
// their type in the path ("LIST:fram/icon").
using ChunkList = std::vector<std::pair<std::string, std::vector<uint8_t>>>;
void Chunks(const std::vector<uint8_t>& b, std::size_t pos, std::size_t end, const std::string& parent, ChunkList& out) {
    while (pos + 8 <= end) {
        const std::string id(reinterpret_cast<const char*>(&b[pos]), 4);
        const uint32_t size = LoadU32(&b[pos + 4]);
        ASSERT_LE(pos + 8 + size, end) << id;
        if (id == "LIST") {
            const std::string type(reinterpret_cast<const char*>(&b[pos + 8]), 4);
            Chunks(b, pos + 12, pos + 8 + size, parent + "LIST:" + type + "/", out);
        } else {
            out.emplace_back(parent + id, std::vector<uint8_t>(b.begin() + long(pos + 8), b.begin() + long(pos + 8 + size)));
        }
        pos += 8 + size + (size & 1);
    }
    ASSERT_EQ(pos, end);
}
ChunkList Layout(const std::vector<uint8_t>& b) {
    ChunkList out;
    EXPECT_EQ(std::string(b.begin(), b.begin() + 4), "RIFF");
    EXPECT_EQ(std::string(b.begin() + 8, b.begin() + 12), "ACON");
    EXPECT_EQ(LoadU32(&b[4]) + 8, b.size());
    Chunks(b, 12, b.size(), "", out);
    return out;
}
std::vector<uint32_t> Words(const std::vector<uint8_t>& body) {
    std::vector<uint32_t> w;
    for (std::size_t i = 0; i + 4 <= body.size(); i += 4) w.push_back(LoadU32(&body[i]));
    return w;
}

void ExpectSamePages(const CursorAnimation& want, const CursorAnimation& got) {
    ASSERT_EQ(got.Frames.size(), want.Frames.size());
    for (std::size_t f = 0; f < want.Frames.size(); ++f) {
        ASSERT_EQ(got.Frames[f].Sizes.size(), want.Frames[f].Sizes.size());
        for (std::size_t s = 0; s < want.Frames[f].Sizes.size(); ++s) {
            const Document &a = want.Frames[f].Sizes[s].Doc, &b = got.Frames[f].Sizes[s].Doc;
            EXPECT_EQ(b.TrueColor, a.TrueColor);
            EXPECT_EQ(FlattenToRgba(b), FlattenToRgba(a)) << f << "/" << s;
            EXPECT_EQ(std::pair(b.HotspotX, b.HotspotY), std::pair(a.HotspotX, a.HotspotY)) << f << "/" << s;
        }
    }
}

TEST(AniFile, RoundTripKeepsOrderTimesSizesHotspotsAndIsByteIdenticalWhenUnchanged) {
    const CursorAnimation a = Sample();
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(EncodeAni(a, nullptr, bytes));

    const ChunkList layout = Layout(bytes);
    std::map<std::string, std::vector<std::vector<uint8_t>>> by;
    for (const auto& [id, body] : layout) by[id].push_back(body);
    ASSERT_EQ(by["anih"].size(), 1u);
    const std::vector<uint32_t> anih = Words(by["anih"][0]);
    EXPECT_EQ(anih[0], 36u);
    EXPECT_EQ(anih[1], 3u);   // frames
    EXPECT_EQ(anih[2], 5u);   // steps
    EXPECT_EQ(anih[8], 3u);   // icon + sequence flags
    EXPECT_EQ(Words(by["rate"].at(0)), (std::vector<uint32_t>{3, 1, 60, 2, 7}));
    EXPECT_EQ(Words(by["seq "].at(0)), (std::vector<uint32_t>{0, 1, 0, 2, 1}));
    EXPECT_EQ(by["LIST:fram/icon"].size(), 3u);
    EXPECT_EQ(by["LIST:INFO/INAM"].at(0), (std::vector<uint8_t>{'s', 'p', 'i', 'n', 'n', 'e', 'r', 0}));
    // Each frame is a cursor file of its sizes with their hotspots.
    const std::vector<uint8_t>& f0 = by["LIST:fram/icon"][0];
    EXPECT_EQ(LoadU16(&f0[2]), 2);
    EXPECT_EQ(LoadU16(&f0[4]), 2);
    EXPECT_EQ(LoadU16(&f0[6 + 16 + 4]), 30);
    EXPECT_EQ(LoadU16(&f0[6 + 16 + 6]), 16);

    AniFile read;
    ASSERT_TRUE(ReadAni(bytes, 20, read));
    EXPECT_EQ(read.Animation.Steps, a.Steps);
    EXPECT_EQ(read.Animation.StepMilliseconds, a.StepMilliseconds);
    EXPECT_EQ(read.Animation.Title, "spinner");
    EXPECT_EQ(read.Animation.Author, "pq");
    ExpectSamePages(a, read.Animation);

    std::vector<uint8_t> again;
    ASSERT_TRUE(EncodeAni(read.Animation, &read.Source, again));
    EXPECT_EQ(again, bytes);

    // A moved hotspot, one pixel or a reordered step each make a new file that reads back as changed.
    auto changed = [&](auto edit) {
        AniFile copy = read;
        edit(copy.Animation);
        std::vector<uint8_t> out;
        EXPECT_TRUE(EncodeAni(copy.Animation, &copy.Source, out));
        EXPECT_NE(out, bytes);
        AniFile back;
        EXPECT_TRUE(ReadAni(out, 20, back));
        ExpectSamePages(copy.Animation, back.Animation);
        EXPECT_EQ(back.Animation.Steps, copy.Animation.Steps);
    };
    changed([](CursorAnimation& c) { c.Frames[0].Sizes[1].Doc.HotspotX = 2; });
    changed([](CursorAnimation& c) { c.Frames[2].Sizes[0].Doc.LayerAt(0).Indices[7] ^= 1, c.Frames[2].Sizes[0].Doc.LayerAt(0).Mask[7] = 1; });
    changed([](CursorAnimation& c) { c.Steps = {2, 2, 1, 0, 0}; });
}

TEST(AniFile, TrivialOrderAndEqualTimesWriteNeitherRateNorSeq) {
    CursorAnimation a = Sample();
    a.Steps = {0, 1, 2};
    a.StepMilliseconds = {83, 83, 83};
    a.Title.clear(), a.Author.clear();
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(EncodeAni(a, nullptr, bytes));
    std::vector<std::string> ids;
    for (const auto& [id, body] : Layout(bytes)) ids.push_back(id);
    EXPECT_EQ(ids, (std::vector<std::string>{"anih", "LIST:fram/icon", "LIST:fram/icon", "LIST:fram/icon"}));
    AniFile read;
    ASSERT_TRUE(ReadAni(bytes, 20, read));
    EXPECT_EQ(read.Animation.StepMilliseconds, a.StepMilliseconds);
    // A step naming a frame that does not exist is refused by the writer, writing nothing.
    a.Steps[2] = 3;
    std::vector<uint8_t> none;
    EXPECT_FALSE(EncodeAni(a, nullptr, none));
    EXPECT_TRUE(none.empty());
}

// Hostile files, each refused with the reason named, every one within 5 s and 400 MB.
std::vector<uint8_t> Riff(const std::vector<uint8_t>& body, int64_t declared = -1) {
    std::vector<uint8_t> out{'R', 'I', 'F', 'F'};
    ByteWriter w(out);
    w.U32(declared >= 0 ? uint32_t(declared) : uint32_t(body.size() + 4));
    out.insert(out.end(), {'A', 'C', 'O', 'N'});
    out.insert(out.end(), body.begin(), body.end());
    return out;
}
void Chunk(std::vector<uint8_t>& out, const char* id, const std::vector<uint8_t>& body, int64_t declared = -1,
           bool pad = true) {
    out.insert(out.end(), id, id + 4);
    ByteWriter w(out);
    w.U32(declared >= 0 ? uint32_t(declared) : uint32_t(body.size()));
    out.insert(out.end(), body.begin(), body.end());
    if (pad && (body.size() & 1)) out.push_back(0);
}
std::vector<uint8_t> Anih(uint32_t frames, uint32_t steps, uint32_t flags = 1) {
    std::vector<uint8_t> b;
    ByteWriter w(b);
    for (uint32_t v : {36u, frames, steps, 0u, 0u, 0u, 1u, 10u, flags}) w.U32(v);
    return b;
}
std::vector<uint8_t> Cursor(int sizes) {
    CursorFrame f;
    for (int i = 0; i < sizes; ++i) f.Sizes.push_back(P(PalettePage(16, 16, 1, 1, 9)));
    return EncodeAniFrame(f, kCursorResourceType);
}
std::vector<uint8_t> Fram(int icons, int sizes = 1) {
    std::vector<uint8_t> b{'f', 'r', 'a', 'm'};
    const std::vector<uint8_t> cursor = Cursor(sizes);
    for (int i = 0; i < icons; ++i) Chunk(b, "icon", cursor);
    return b;
}
std::vector<uint8_t> U32s(std::initializer_list<uint32_t> v) {
    std::vector<uint8_t> b;
    ByteWriter w(b);
    for (uint32_t x : v) w.U32(x);
    return b;
}

// `n` icon chunks, each a cursor of one 256 x 256 PNG image of one colour (it compresses to little).
std::vector<uint8_t> PngFrames(int n) {
    CursorFrame f;
    IconSetPage page;
    page.Kind = IconPageKind::Png;
    InitBlankTrueColorDocument(page.Doc, 256, 256, 20);
    for (Rgba8& p : page.Doc.LayerAt(0).Pixels) p = Rgba8{0, 0, 255, 128};
    f.Sizes.push_back(std::move(page));
    const std::vector<uint8_t> cursor = EncodeAniFrame(f, kCursorResourceType);
    std::vector<uint8_t> b{'f', 'r', 'a', 'm'};
    for (int i = 0; i < n; ++i) Chunk(b, "icon", cursor);
    return b;
}

// Chunks in a row: (id, body) each, padded to even length.
std::vector<uint8_t> Body(std::initializer_list<std::pair<const char*, std::vector<uint8_t>>> chunks) {
    std::vector<uint8_t> b;
    for (const auto& [id, body] : chunks) Chunk(b, id, body);
    return b;
}

TEST(AniFile, HostileFilesAreRefusedNamingTheFaultWithinBounds) {
    struct Case {
        const char* Name;
        std::vector<uint8_t> Bytes;
        const char* Reason;
    };
    std::vector<uint8_t> pastParent = Body({{"anih", Anih(1, 1)}});
    Chunk(pastParent, "LIST", Fram(1), 100000);
    std::vector<uint8_t> unpadded = Body({{"anih", Anih(1, 1)}, {"LIST", Fram(1)}});
    Chunk(unpadded, "junk", {1, 2, 3}, -1, false);   // odd size, last chunk, no pad byte
    std::vector<uint8_t> nested = Fram(1);
    Chunk(nested, "LIST", Fram(1));
    std::vector<uint8_t> emptyFrame{'f', 'r', 'a', 'm'};
    Chunk(emptyFrame, "icon", {0, 0, 2, 0, 0, 0});   // a cursor listing no image
    const Case cases[] = {
        {"declared 1 GB", Riff(Body({{"anih", Anih(1, 1)}, {"LIST", Fram(1)}}), int64_t(1) << 30),
         "宣言された大きさがファイルの大きさ"},
        {"chunk past parent", Riff(pastParent), "チャンク 'LIST'（位置 56、大きさ 100000）：親チャンクの終わりを越えています。"},
        {"2^31 frames", Riff(Body({{"anih", Anih(0x80000000u, 1)}, {"LIST", Fram(1)}})),
         "anih のフレーム数 2147483648：一度に開けるのは1024枚までです。"},
        {"frames beyond chunks", Riff(Body({{"anih", Anih(3, 3)}, {"LIST", Fram(2)}})),
         "anih のフレーム数 3：icon チャンクは 2 個だけです。"},
        {"seq shorter than steps", Riff(Body({{"anih", Anih(2, 4, 3)}, {"seq ", U32s({0, 1, 0})}, {"LIST", Fram(2)}})),
         "ステップ数 4 に足りません。"},
        {"seq names a missing frame", Riff(Body({{"anih", Anih(2, 3, 3)}, {"seq ", U32s({0, 1, 2})}, {"LIST", Fram(2)}})),
         "seq のステップ 2：フレーム 2 はありません（フレームは 2 個）。"},
        {"nested LIST", Riff(Body({{"anih", Anih(1, 1)}, {"LIST", nested}})), "LIST の中に LIST があります。"},
        {"odd chunk without padding", Riff(unpadded), "奇数の大きさの後の埋め草バイトがありません。"},
        {"two anih", Riff(Body({{"anih", Anih(1, 1)}, {"anih", Anih(1, 1)}, {"LIST", Fram(1)}})), "二つ目があります。"},
        {"empty frame", Riff(Body({{"anih", Anih(1, 1)}, {"LIST", emptyFrame}})), "フレーム 0："},
        // 600 frames of two images each: beyond the pages of one set, refused before decoding.
        {"too many pages", Riff(Body({{"anih", Anih(600, 600)}, {"LIST", Fram(600, 2)}})), kIconSetTooManyPagesMessage},
        // 257 frames of one small PNG of 256 x 256 each: a file of a few hundred KB, refused before decoding.
        {"too many pixels", Riff(Body({{"anih", Anih(257, 257)}, {"LIST", PngFrames(257)}})), kAnimationTooManyPixelsMessage},
    };
    for (const Case& c : cases) {
        AniFile out;
        const FileResult r = ReadAni(c.Bytes, 20, out);
        EXPECT_FALSE(r) << c.Name;
        EXPECT_EQ(r.Message.rfind(kAniOpenError, 0), 0u) << c.Name;
        EXPECT_NE(r.Message.find(c.Reason), std::string::npos) << c.Name << ": " << r.Message;
        EXPECT_TRUE(out.Animation.Frames.empty()) << c.Name;
        const test::ChildCost cost = test::RunInChild([&] {
            AniFile o;
            return ReadAni(c.Bytes, 20, o) ? 0 : 3;
        });
        EXPECT_EQ(cost.Status, 3) << c.Name;
        EXPECT_LT(cost.Seconds, 5.0) << c.Name;
        EXPECT_LT(cost.PeakKiB, test::MemoryBoundKiB(400 * 1024)) << c.Name;
    }
    // The most an animation may hold opens within the same bounds.
    const std::vector<uint8_t> largest = Riff(Body({{"anih", Anih(256, 256)}, {"LIST", PngFrames(256)}}));
    const test::ChildCost cost = test::RunInChild([&] {
        AniFile o;
        return ReadAni(largest, 20, o) && o.Animation.Frames.size() == 256 ? 0 : 3;
    });
    EXPECT_EQ(cost.Status, 0);
    EXPECT_LT(cost.Seconds, 5.0);
    EXPECT_LT(cost.PeakKiB, test::MemoryBoundKiB(400 * 1024));
}

}  // namespace
}  // namespace pq
