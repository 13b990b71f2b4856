#include "core/formats/xcursor_file.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>

#include "core/formats/png_file.h"
#include "core/io/atomic_write.h"
#include "core/io/byte_io.h"

// Last, and its Xlib macros dropped at once: they would replace names of ours (Success, None).
#include <X11/Xcursor/Xcursor.h>
#undef None
#undef Success
#undef Status
#undef Bool
#undef True
#undef False
#undef TrueColor

namespace pq {
namespace {

constexpr uint32_t kHeaderBytes = 16, kImageHeaderBytes = 36, kTocEntryBytes = 12;
constexpr uint32_t kMaxTocEntries = 0x10000;   // libXcursor's own bound

FileResult Refuse(const std::string& detail) {
    return FileResult::Failure(std::string(kXcursorOpenError) + "\n" + detail);
}

// A byte range libXcursor reads from or writes into, through its file callbacks.
struct Memory {
    std::span<const uint8_t> In;
    std::vector<uint8_t>* Out = nullptr;
    std::size_t Pos = 0;
};

int MemRead(XcursorFile* file, unsigned char* buf, int len) {
    Memory& m = *static_cast<Memory*>(file->closure);
    if (len <= 0 || m.Pos >= m.In.size()) return 0;
    const std::size_t n = std::min(std::size_t(len), m.In.size() - m.Pos);
    std::memcpy(buf, m.In.data() + m.Pos, n);
    m.Pos += n;
    return int(n);
}

int MemWrite(XcursorFile* file, unsigned char* buf, int len) {
    Memory& m = *static_cast<Memory*>(file->closure);
    if (!m.Out || len < 0) return -1;
    if (m.Out->size() < m.Pos + std::size_t(len)) m.Out->resize(m.Pos + std::size_t(len));
    std::memcpy(m.Out->data() + m.Pos, buf, std::size_t(len));
    m.Pos += std::size_t(len);
    return len;
}

int MemSeek(XcursorFile* file, long offset, int whence) {
    Memory& m = *static_cast<Memory*>(file->closure);
    const std::size_t size = m.Out ? m.Out->size() : m.In.size();
    long base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? long(m.Pos) : long(size);
    if (offset < -base) return -1;
    m.Pos = std::size_t(base + offset);
    return int(m.Pos);
}

XcursorFile MemFile(Memory& m) {
    XcursorFile f{};
    f.closure = &m;
    f.read = MemRead;
    f.write = MemWrite;
    f.seek = MemSeek;
    return f;
}

struct ImagesDeleter {
    void operator()(XcursorImages* p) const { XcursorImagesDestroy(p); }
};

// What libXcursor would be asked to allocate, checked against the file and our limits.
FileResult CheckLayout(std::span<const uint8_t> bytes) {
    const ByteView v(bytes);
    if (!LooksLikeXcursor(bytes)) return Refuse("先頭が \"Xcur\" ではありません。");
    const uint32_t header = v.U32(4), ntoc = v.U32(12);
    if (bytes.size() < kHeaderBytes || header < kHeaderBytes || header > bytes.size())
        return Refuse("ヘッダーの大きさ " + std::to_string(header) + " がファイルの大きさ " +
                      std::to_string(bytes.size()) + " と合いません。");
    if (ntoc > kMaxTocEntries || uint64_t(header) + uint64_t(ntoc) * kTocEntryBytes > bytes.size())
        return Refuse("目次の項目数 " + std::to_string(ntoc) + " がファイルに収まりません。");
    std::size_t images = 0;
    uint64_t pixels = 0;
    for (uint32_t i = 0; i < ntoc; ++i) {
        const std::size_t at = header + std::size_t(i) * kTocEntryBytes;
        if (v.U32(at) != XCURSOR_IMAGE_TYPE) continue;
        const uint32_t pos = v.U32(at + 8);
        const std::string where = "画像 " + std::to_string(images) + "（位置 " + std::to_string(pos) + "）：";
        if (!v.Has(pos, kImageHeaderBytes)) return Refuse(where + "ファイルの終わりを越えています。");
        if (v.U32(pos) != kImageHeaderBytes || v.U32(pos + 4) != XCURSOR_IMAGE_TYPE)
            return Refuse(where + "画像の見出しが正しくありません。");
        const uint32_t w = v.U32(pos + 16), h = v.U32(pos + 20), hx = v.U32(pos + 24), hy = v.U32(pos + 28);
        if (w < 1 || h < 1 || w > uint32_t(kMaxXcursorSide) || h > uint32_t(kMaxXcursorSide))
            return Refuse(where + "大きさ " + std::to_string(w) + "×" + std::to_string(h) +
                          " は開けません（一辺1024ピクセルまで）。");
        if (hx >= w || hy >= h) return Refuse(where + "ホットスポットが画像の外にあります。");
        if (!v.Has(std::size_t(pos) + kImageHeaderBytes, std::size_t(w) * h * 4)) return Refuse(where + "ファイルの終わりを越えています。");
        if (++images > kMaxIconSetPages) return Refuse(kIconSetTooManyPagesMessage);
        pixels += uint64_t(w) * h;
        if (pixels > kMaxAnimationPixels) return Refuse(kAnimationTooManyPixelsMessage);
    }
    if (images == 0) return Refuse("画像がありません。");
    return FileResult::Success();
}

IconSetPage PageOf(const XcursorImage& image, int selectedZoom) {
    IconSetPage page;
    page.Kind = IconPageKind::TrueColor;
    Document& doc = page.Doc;
    InitBlankTrueColorDocument(doc, int(image.width), int(image.height), selectedZoom);
    std::vector<Rgba8>& px = doc.LayerAt(0).Pixels;
    for (std::size_t i = 0; i < px.size(); ++i) {
        const uint32_t p = image.pixels[i];
        px[i] = StraightFromPremultiplied(uint8_t(p >> 24), uint8_t(p >> 16), uint8_t(p >> 8), uint8_t(p));
    }
    doc.HotspotX = int(image.xhot), doc.HotspotY = int(image.yhot), doc.HasHotspot = true;
    return page;
}

}  // namespace

bool LooksLikeXcursor(std::span<const uint8_t> bytes) {
    return bytes.size() >= 4 && std::memcmp(bytes.data(), "Xcur", 4) == 0;
}

Rgba8 StraightFromPremultiplied(uint8_t a, uint8_t r, uint8_t g, uint8_t b) {
    if (a == 0) return Rgba8{};
    auto un = [a](unsigned c) { return uint8_t(std::min(255u, (c * 255u + a / 2u) / a)); };
    return Rgba8{un(r), un(g), un(b), a};
}

uint32_t PremultipliedArgb(Rgba8 p) {
    auto pre = [&](unsigned c) { return (c * p.a + 127u) / 255u; };
    return uint32_t(p.a) << 24 | pre(p.r) << 16 | pre(p.g) << 8 | pre(p.b);
}

FileResult ReadXcursor(std::span<const uint8_t> bytes, int selectedZoom, CursorAnimation& out) {
    if (FileResult r = CheckLayout(bytes); !r) return r;
    Memory mem{bytes, nullptr, 0};
    XcursorFile file = MemFile(mem);
    std::unique_ptr<XcursorImages, ImagesDeleter> images(XcursorXcFileLoadAllImages(&file));
    if (!images || images->nimage <= 0) return Refuse("画像を読み込めませんでした。");
    // Each nominal size's images in file order.
    std::vector<int> sizes;
    std::map<int, std::vector<const XcursorImage*>> bySize;
    for (int i = 0; i < images->nimage; ++i) {
        const XcursorImage* im = images->images[i];
        const int size = int(im->size);
        if (!bySize.count(size)) sizes.push_back(size);
        bySize[size].push_back(im);
    }
    std::size_t frames = 0;
    for (const auto& [size, list] : bySize) frames = std::max(frames, list.size());
    CursorAnimation anim;
    anim.ResourceType = kCursorResourceType;
    anim.Frames.resize(frames);
    anim.StepMilliseconds.assign(frames, -1);
    for (int size : sizes) {
        const auto& list = bySize[size];
        for (std::size_t k = 0; k < list.size(); ++k) {
            anim.Frames[k].Sizes.push_back(PageOf(*list[k], selectedZoom));
            anim.Frames[k].NominalSizes.push_back(size);
            if (anim.StepMilliseconds[k] < 0) anim.StepMilliseconds[k] = int(std::min<XcursorUInt>(list[k]->delay, 0x7fffffff));
        }
    }
    for (std::size_t k = 0; k < frames; ++k) anim.Steps.push_back(int(k));
    out = std::move(anim);
    return FileResult::Success();
}

FileResult ReadXcursorFile(const std::filesystem::path& path, int selectedZoom, CursorAnimation& out) {
    std::vector<uint8_t> bytes;
    if (FileResult r = ReadFileBytes(path, bytes, kMaxIconFileBytes, kXcursorOpenError); !r) return r;
    CursorAnimation read;
    if (FileResult r = ReadXcursor(bytes, selectedZoom, read); !r) return r;
    out = std::move(read);
    return FileResult::Success();
}

FileResult EncodeXcursor(const CursorAnimation& anim, std::vector<uint8_t>& out) {
    if (FileResult r = CheckCursorAnimation(anim); !r) return r;
    std::vector<int> sizes;
    for (const CursorFrame& f : anim.Frames)
        for (std::size_t i = 0; i < f.Sizes.size(); ++i)
            if (std::find(sizes.begin(), sizes.end(), NominalSizeOf(f, i)) == sizes.end())
                sizes.push_back(NominalSizeOf(f, i));
    struct Planned {
        const Document* Doc;
        int Size, Delay;
    };
    std::vector<Planned> plan;
    for (int size : sizes)
        for (std::size_t s = 0; s < anim.Steps.size(); ++s) {
            const CursorFrame& f = anim.Frames[std::size_t(anim.Steps[s])];
            for (std::size_t i = 0; i < f.Sizes.size(); ++i)
                if (NominalSizeOf(f, i) == size) {
                    plan.push_back({&f.Sizes[i].Doc, size, anim.StepMilliseconds[s]});
                    break;
                }
        }
    std::unique_ptr<XcursorImages, ImagesDeleter> images(XcursorImagesCreate(int(plan.size())));
    if (!images) return FileResult::Failure(kAnimationBrokenMessage);
    for (const Planned& p : plan) {
        const Document& doc = *p.Doc;
        const std::vector<uint8_t> rgba = FlattenToRgba(doc);
        if (doc.ImageWidth < 1 || doc.ImageHeight < 1 || doc.ImageWidth > kMaxXcursorSide ||
            doc.ImageHeight > kMaxXcursorSide || rgba.size() != std::size_t(doc.PixelCount()) * 4)
            return FileResult::Failure(std::string(kAnimationBrokenMessage) + "\n" + kIconTooLargeMessage);
        XcursorImage* im = XcursorImageCreate(doc.ImageWidth, doc.ImageHeight);
        if (!im) return FileResult::Failure(kAnimationBrokenMessage);
        images->images[images->nimage++] = im;
        im->size = XcursorDim(p.Size);
        im->xhot = XcursorDim(std::clamp(doc.HotspotX, 0, doc.ImageWidth - 1));
        im->yhot = XcursorDim(std::clamp(doc.HotspotY, 0, doc.ImageHeight - 1));
        im->delay = XcursorUInt(std::max(0, p.Delay));
        for (std::size_t i = 0; i < std::size_t(doc.PixelCount()); ++i) {
            const uint8_t* q = &rgba[i * 4];
            im->pixels[i] = PremultipliedArgb(Rgba8{q[0], q[1], q[2], q[3]});
        }
    }
    std::vector<uint8_t> bytes;
    Memory mem{{}, &bytes, 0};
    XcursorFile file = MemFile(mem);
    // libXcursor takes no null comment list: an empty one.
    std::unique_ptr<XcursorComments, void (*)(XcursorComments*)> comments(XcursorCommentsCreate(0), XcursorCommentsDestroy);
    if (!comments || !XcursorXcFileSave(&file, comments.get(), images.get()))
        return FileResult::Failure(kAnimationBrokenMessage);
    out = std::move(bytes);
    return FileResult::Success();
}

FileResult SaveXcursorFile(const CursorAnimation& anim, const std::filesystem::path& path) {
    std::vector<uint8_t> bytes;
    if (FileResult r = EncodeXcursor(anim, bytes); !r) return r;
    return WriteFileAtomically(path, bytes);
}

}  // namespace pq
