#include "core/formats/ani_file.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "core/formats/icon_images.h"
#include "core/io/atomic_write.h"
#include "core/io/byte_io.h"

namespace pq {
namespace {

constexpr uint32_t kAnihSize = 36;
constexpr uint32_t kFlagIcon = 1, kFlagSequence = 2;

std::string FourCC(const uint8_t* p) {
    std::string s(reinterpret_cast<const char*>(p), 4);
    for (char& c : s)
        if (c < 0x20 || c > 0x7E) c = '?';
    return s;
}

bool Is(const uint8_t* p, const char* id) { return std::memcmp(p, id, 4) == 0; }

FileResult Refuse(const std::string& detail) { return FileResult::Failure(std::string(kAniOpenError) + "\n" + detail); }

std::string Where(const std::string& id, std::size_t at, uint64_t size) {
    return "チャンク '" + id + "'（位置 " + std::to_string(at) + "、大きさ " + std::to_string(size) + "）：";
}

struct Chunk {
    std::string Id;
    std::size_t At = 0;   // offset of the chunk header
    std::span<const uint8_t> Body;
};

// The chunks between `begin` and `end` of `bytes`, each checked against its parent's end.
FileResult Walk(std::span<const uint8_t> bytes, std::size_t begin, std::size_t end, std::vector<Chunk>& out) {
    std::size_t pos = begin;
    while (pos < end) {
        if (end - pos < 8) return Refuse("位置 " + std::to_string(pos) + "：チャンクの見出しが途中で切れています。");
        const uint8_t* p = bytes.data() + pos;
        const uint32_t size = LoadU32(p + 4);
        const std::string id = FourCC(p);
        if (size > end - pos - 8) return Refuse(Where(id, pos, size) + "親チャンクの終わりを越えています。");
        if ((size & 1) && size + 1 > end - pos - 8)
            return Refuse(Where(id, pos, size) + "奇数の大きさの後の埋め草バイトがありません。");
        out.push_back(Chunk{id, pos, bytes.subspan(pos + 8, size)});
        pos += 8 + std::size_t(size) + (size & 1);
    }
    return FileResult::Success();
}

std::string ZString(std::span<const uint8_t> body) {
    std::size_t n = 0;
    while (n < body.size() && body[n] != 0) ++n;
    return std::string(reinterpret_cast<const char*>(body.data()), n);
}

struct Parsed {
    const Chunk* Anih = nullptr;
    const Chunk* Rate = nullptr;
    const Chunk* Seq = nullptr;
    std::vector<std::span<const uint8_t>> Icons;
    std::string Title, Author;
};

FileResult Once(const Chunk*& slot, const Chunk& c) {
    if (slot) return Refuse(Where(c.Id, c.At, c.Body.size()) + "二つ目があります。");
    slot = &c;
    return FileResult::Success();
}

FileResult ParseList(std::span<const uint8_t> bytes, const Chunk& list, std::vector<Chunk>& store, Parsed& out) {
    if (list.Body.size() < 4) return Refuse(Where("LIST", list.At, list.Body.size()) + "リストの種類がありません。");
    const std::string type = FourCC(list.Body.data());
    const std::size_t begin = list.At + 12, end = list.At + 8 + list.Body.size();
    std::vector<Chunk> inner;
    if (FileResult r = Walk(bytes, begin, end, inner); !r) return r;
    for (const Chunk& c : inner) {
        if (c.Id == "LIST") return Refuse(Where(c.Id, c.At, c.Body.size()) + "LIST の中に LIST があります。");
        if (type == "fram" && c.Id == "icon") out.Icons.push_back(c.Body);
        if (type == "INFO" && c.Id == "INAM") out.Title = ZString(c.Body);
        if (type == "INFO" && c.Id == "IART") out.Author = ZString(c.Body);
    }
    store.insert(store.end(), inner.begin(), inner.end());
    return FileResult::Success();
}

}  // namespace

bool LooksLikeAni(std::span<const uint8_t> bytes) {
    return bytes.size() >= 12 && Is(bytes.data(), "RIFF") && Is(bytes.data() + 8, "ACON");
}

FileResult ReadAni(std::span<const uint8_t> bytes, int selectedZoom, AniFile& out) {
    if (!LooksLikeAni(bytes)) return Refuse("RIFF ACON の見出しがありません。");
    const uint32_t riffSize = LoadU32(bytes.data() + 4);
    if (riffSize < 4 || riffSize > bytes.size() - 8)
        return Refuse(Where("RIFF", 0, riffSize) + "宣言された大きさがファイルの大きさ " + std::to_string(bytes.size()) +
                      " を越えています。");
    std::vector<Chunk> top;
    if (FileResult r = Walk(bytes, 12, 8 + std::size_t(riffSize), top); !r) return r;
    std::vector<Chunk> inner;   // keeps the list members alive while `parsed` points at top-level ones
    Parsed parsed;
    for (const Chunk& c : top) {
        FileResult r;
        if (c.Id == "anih") r = Once(parsed.Anih, c);
        else if (c.Id == "rate") r = Once(parsed.Rate, c);
        else if (c.Id == "seq ") r = Once(parsed.Seq, c);
        else if (c.Id == "LIST") r = ParseList(bytes, c, inner, parsed);
        if (!r) return r;
    }
    if (!parsed.Anih) return Refuse("anih チャンクがありません。");
    const Chunk& anih = *parsed.Anih;
    if (anih.Body.size() < kAnihSize) return Refuse(Where("anih", anih.At, anih.Body.size()) + "短すぎます。");
    const ByteView h(anih.Body);
    const uint32_t frames = h.U32(4), steps = h.U32(8), defaultRate = h.U32(28), flags = h.U32(32);
    if (!(flags & kFlagIcon)) return Refuse("anih：フレームがアイコンやカーソルではありません。");
    if (frames == 0) return Refuse("anih のフレーム数 0：フレームがありません。");
    if (frames > kMaxIconSetPages)
        return Refuse("anih のフレーム数 " + std::to_string(frames) + "：一度に開けるのは1024枚までです。");
    if (frames > parsed.Icons.size())
        return Refuse("anih のフレーム数 " + std::to_string(frames) + "：icon チャンクは " +
                      std::to_string(parsed.Icons.size()) + " 個だけです。");
    if (steps > kMaxAniSteps)
        return Refuse("anih のステップ数 " + std::to_string(steps) + "：一度に開けるのは16384ステップまでです。");
    // Every icon chunk is a frame; a count of 0 steps (seen in the wild) means one per frame.
    const std::size_t frameCount = parsed.Icons.size();
    const std::size_t stepCount = steps == 0 ? frames : steps;
    const bool hasSeq = parsed.Seq != nullptr;
    if (hasSeq && parsed.Seq->Body.size() / 4 < stepCount)
        return Refuse(Where("seq ", parsed.Seq->At, parsed.Seq->Body.size()) + "ステップ数 " +
                      std::to_string(stepCount) + " に足りません。");
    if (!hasSeq && stepCount > frameCount)
        return Refuse("anih のステップ数 " + std::to_string(stepCount) + "：seq がないのにフレームの数を越えています（フレームは " +
                      std::to_string(frameCount) + " 個）。");
    if (parsed.Rate && parsed.Rate->Body.size() / 4 < stepCount)
        return Refuse(Where("rate", parsed.Rate->At, parsed.Rate->Body.size()) + "ステップ数 " +
                      std::to_string(stepCount) + " に足りません。");
    CursorAnimation anim;
    for (std::size_t i = 0; i < stepCount; ++i) {
        const uint32_t frame = hasSeq ? LoadU32(parsed.Seq->Body.data() + 4 * i) : uint32_t(i);
        if (frame >= frameCount)
            return Refuse("seq のステップ " + std::to_string(i) + "：フレーム " + std::to_string(frame) +
                          " はありません（フレームは " + std::to_string(frameCount) + " 個）。");
        const uint32_t rate = parsed.Rate ? LoadU32(parsed.Rate->Body.data() + 4 * i) : defaultRate;
        if (rate > kMaxAniJiffies)
            return Refuse("ステップ " + std::to_string(i) + "：表示時間 " + std::to_string(rate) + " が長すぎます。");
        anim.Steps.push_back(int(frame));
        anim.StepMilliseconds.push_back(JiffiesToMilliseconds(rate));
    }
    // Every frame's directory against the limits of one icon set, summed over the frames, before
    // any image is decoded.
    IconSetMeasure total;
    for (std::size_t i = 0; i < frameCount; ++i) {
        IconDirectory dir;
        if (!ReadIconDirectory(parsed.Icons[i], dir))
            return Refuse("フレーム " + std::to_string(i) + "：" + kIconOpenError);
        const IconSetMeasure m = MeasureIconSet(parsed.Icons[i], dir);
        total.Pages += m.Pages, total.Pixels += m.Pixels, total.StoredBytes += m.StoredBytes;
        if (total.TooManyPages()) return Refuse(kIconSetTooManyPagesMessage);
        if (total.Pixels > kMaxAnimationPixels) return Refuse(kAnimationTooManyPixelsMessage);
        if (total.TooMuchData()) return Refuse(kIconSetTooMuchDataMessage);
    }
    AniSource source;
    int frameType = 0;
    for (std::size_t i = 0; i < frameCount; ++i) {
        CursorFrame frame;
        int type = kIconResourceType;
        if (FileResult r = LoadIconSet(parsed.Icons[i], selectedZoom, frame.Sizes, type); !r)
            return Refuse("フレーム " + std::to_string(i) + "：" + r.Message);
        if (i == 0) frameType = type;
        anim.Frames.push_back(std::move(frame));
    }
    anim.ResourceType = frameType;
    anim.Title = parsed.Title;
    anim.Author = parsed.Author;
    for (const CursorFrame& f : anim.Frames) source.FrameFiles.push_back(EncodeAniFrame(f, anim.ResourceType));
    source.Bytes.assign(bytes.begin(), bytes.end());
    source.Steps = anim.Steps;
    source.StepMilliseconds = anim.StepMilliseconds;
    source.Title = anim.Title;
    source.Author = anim.Author;
    source.ResourceType = anim.ResourceType;
    source.Width = h.U32(12), source.Height = h.U32(16), source.BitCount = h.U32(20), source.Planes = h.U32(24);
    out.Animation = std::move(anim);
    out.Source = std::move(source);
    return FileResult::Success();
}

FileResult ReadAniFile(const std::filesystem::path& path, int selectedZoom, AniFile& out) {
    std::vector<uint8_t> bytes;
    if (FileResult r = ReadFileBytes(path, bytes, kMaxIconFileBytes, kAniOpenError); !r) return r;
    AniFile read;
    if (FileResult r = ReadAni(bytes, selectedZoom, read); !r) return r;
    for (CursorFrame& f : read.Animation.Frames)
        for (IconSetPage& p : f.Sizes) p.Doc.Origin.Path = path.string();
    out = std::move(read);
    return FileResult::Success();
}

std::vector<uint8_t> EncodeAniFrame(const CursorFrame& frame, int resourceType) {
    StoredIconFile file;
    file.ResourceType = uint16_t(resourceType);
    for (const IconSetPage& page : frame.Sizes) {
        StoredIconImage image;
        if (!page.Stored.Data.empty() && PageShowsImage(page.Doc, page.Kind, page.Stored)) {
            image = page.Stored;
            if (resourceType == kCursorResourceType) {
                int x = 0, y = 0;
                ClampedHotspot(page.Doc, x, y);
                image.Entry[4] = uint8_t(x), image.Entry[5] = uint8_t(x >> 8);
                image.Entry[6] = uint8_t(y), image.Entry[7] = uint8_t(y >> 8);
            }
        } else if (!EncodeIconPage(page.Doc, page.Kind, resourceType, image)) {
            return {};
        }
        file.Images.push_back(std::move(image));
    }
    return EncodeStoredIconFile(file);
}

namespace {

void PutChunk(ByteWriter& put, std::vector<uint8_t>& out, const char* id, std::span<const uint8_t> body) {
    put.Bytes(std::span(reinterpret_cast<const uint8_t*>(id), 4));
    put.U32(uint32_t(body.size()));
    put.Bytes(body);
    if (body.size() & 1) out.push_back(0);
}

std::vector<uint8_t> ZBytes(const std::string& s) {
    std::vector<uint8_t> v(s.begin(), s.end());
    v.push_back(0);
    return v;
}

}  // namespace

FileResult EncodeAni(const CursorAnimation& anim, const AniSource* source, std::vector<uint8_t>& out) {
    if (FileResult r = CheckCursorAnimation(anim); !r) return r;
    const int type = anim.ResourceType == kIconResourceType ? kIconResourceType : kCursorResourceType;
    std::vector<std::vector<uint8_t>> frames;
    for (std::size_t i = 0; i < anim.Frames.size(); ++i) {
        frames.push_back(EncodeAniFrame(anim.Frames[i], type));
        if (frames.back().empty())
            return FileResult::Failure(std::string(kAnimationBrokenMessage) + "\nフレーム " + std::to_string(i) + "：" +
                                       kIconTooLargeMessage);
    }
    if (source && !source->Bytes.empty() && source->ResourceType == type && source->FrameFiles == frames &&
        source->Steps == anim.Steps && source->StepMilliseconds == anim.StepMilliseconds &&
        source->Title == anim.Title && source->Author == anim.Author) {
        out = source->Bytes;
        return FileResult::Success();
    }
    const bool uniform = std::all_of(anim.StepMilliseconds.begin(), anim.StepMilliseconds.end(),
                                     [&](int ms) { return ms == anim.StepMilliseconds.front(); });
    const bool trivialOrder = HasTrivialOrder(anim);
    std::vector<uint8_t> body;   // everything after "ACON"
    ByteWriter put(body);
    std::vector<uint8_t> anih;
    ByteWriter h(anih);
    h.U32(kAnihSize);
    h.U32(uint32_t(anim.Frames.size()));
    h.U32(uint32_t(anim.Steps.size()));
    h.U32(source ? source->Width : 0);
    h.U32(source ? source->Height : 0);
    h.U32(source ? source->BitCount : 0);
    h.U32(source ? source->Planes : 1);
    h.U32(MillisecondsToJiffies(anim.StepMilliseconds.front()));
    h.U32(kFlagIcon | (trivialOrder ? 0 : kFlagSequence));
    PutChunk(put, body, "anih", anih);
    if (!uniform) {
        std::vector<uint8_t> rate;
        ByteWriter r(rate);
        for (int ms : anim.StepMilliseconds) r.U32(MillisecondsToJiffies(ms));
        PutChunk(put, body, "rate", rate);
    }
    if (!trivialOrder) {
        std::vector<uint8_t> seq;
        ByteWriter s(seq);
        for (int f : anim.Steps) s.U32(uint32_t(f));
        PutChunk(put, body, "seq ", seq);
    }
    if (!anim.Title.empty() || !anim.Author.empty()) {
        std::vector<uint8_t> info{'I', 'N', 'F', 'O'};
        ByteWriter i(info);
        if (!anim.Title.empty()) PutChunk(i, info, "INAM", ZBytes(anim.Title));
        if (!anim.Author.empty()) PutChunk(i, info, "IART", ZBytes(anim.Author));
        PutChunk(put, body, "LIST", info);
    }
    std::vector<uint8_t> fram{'f', 'r', 'a', 'm'};
    ByteWriter f(fram);
    for (const auto& frame : frames) PutChunk(f, fram, "icon", frame);
    PutChunk(put, body, "LIST", fram);
    std::vector<uint8_t> file{'R', 'I', 'F', 'F'};
    ByteWriter w(file);
    w.U32(uint32_t(body.size() + 4));
    w.Bytes(std::span(reinterpret_cast<const uint8_t*>("ACON"), 4));
    w.Bytes(body);
    out = std::move(file);
    return FileResult::Success();
}

FileResult SaveAniFile(const CursorAnimation& anim, const AniSource* source, const std::filesystem::path& path) {
    std::vector<uint8_t> bytes;
    if (FileResult r = EncodeAni(anim, source, bytes); !r) return r;
    return WriteFileAtomically(path, bytes);
}

}  // namespace pq
