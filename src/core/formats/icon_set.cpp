#include "core/formats/icon_set.h"

#include <algorithm>
#include <array>
#include <map>
#include <tuple>
#include <utility>

#include "core/document/blend.h"
#include "core/formats/icon_images.h"
#include "core/formats/png_file.h"
#include "core/io/atomic_write.h"
#include "core/io/byte_io.h"

namespace pq {
namespace {

constexpr std::size_t kInfoHeaderSize = 40;

std::string CannotWrite(const std::filesystem::path& path) { return "「" + path.string() + "」に書き込めませんでした。"; }

// What every page kind needs of its document before it is written.
bool Writable(const Document& doc) {
    const int w = doc.ImageWidth, h = doc.ImageHeight;
    if (!doc.Ready || doc.LayerCount() < 1 || w < 1 || h < 1 || w > kMaxIconFileSide || h > kMaxIconFileSide)
        return false;
    const std::size_t pixels = std::size_t(w) * std::size_t(h);
    if (doc.TrueColor)
        return std::all_of(doc.Layers().begin(), doc.Layers().end(),
                           [pixels](const Layer& l) { return l.Pixels.size() == pixels; });
    if (doc.ColorCount != 16 && doc.ColorCount != 256) return false;
    return std::all_of(doc.Layers().begin(), doc.Layers().end(),
                       [pixels](const Layer& l) { return l.Indices.size() == pixels && l.Mask.size() == pixels; });
}

// Entry bytes 4..7: planes and bit count for an icon, the document's hotspot for a cursor.
void SetPlanesOrHotspot(StoredIconImage& image, const Document* doc, int resourceType, int bitCount) {
    int first = 1, second = bitCount;
    if (resourceType == kCursorResourceType) {
        first = second = 0;
        if (doc) ClampedHotspot(*doc, first, second);
    }
    image.Entry[4] = uint8_t(first), image.Entry[5] = uint8_t(first >> 8);
    image.Entry[6] = uint8_t(second), image.Entry[7] = uint8_t(second >> 8);
}

// The 32-bit DIB of the flattened picture: BGRA rows bottom-up, then the AND mask (set where alpha is 0).
std::vector<uint8_t> TrueColorDib(int w, int h, const std::vector<uint8_t>& rgba) {
    const std::size_t colorRow = std::size_t(w) * 4, maskRow = (std::size_t(w) + 31) / 32 * 4;
    std::vector<uint8_t> out;
    out.reserve(kInfoHeaderSize + (colorRow + maskRow) * std::size_t(h));
    ByteWriter put(out);
    put.U32(uint32_t(kInfoHeaderSize));
    put.I32(w);
    put.I32(2 * h);
    put.U16(1);
    put.U16(32);
    put.U32(0);
    put.U32(uint32_t((colorRow + maskRow) * std::size_t(h)));
    for (int i = 0; i < 4; ++i) put.U32(0);
    for (int y = h - 1; y >= 0; --y)
        for (int x = 0; x < w; ++x) {
            const uint8_t* p = rgba.data() + (std::size_t(y) * std::size_t(w) + std::size_t(x)) * 4;
            put.Bytes(std::array<uint8_t, 4>{p[2], p[1], p[0], p[3]});
        }
    for (int y = h - 1; y >= 0; --y) {
        std::vector<uint8_t> row(maskRow, 0);
        for (int x = 0; x < w; ++x)
            if (rgba[(std::size_t(y) * std::size_t(w) + std::size_t(x)) * 4 + 3] == 0)
                row[std::size_t(x) / 8] |= uint8_t(0x80u >> (x % 8));
        put.Bytes(row);
    }
    return out;
}

// The entry's hotspot words, as a little-endian pair.
bool SameHotspot(const StoredIconImage& image, int x, int y) {
    return LoadU16(image.Entry.data() + 4) == unsigned(x) && LoadU16(image.Entry.data() + 6) == unsigned(y);
}

}  // namespace

IconPageKind WrittenPageKind(const Document& doc, IconPageKind kind) {
    return doc.TrueColor && kind == IconPageKind::Palette ? IconPageKind::TrueColor : kind;
}

IconPageKind StoredPageKind(std::span<const uint8_t> file, const IconDirEntry& entry) {
    const IconImageFacts facts = DescribeIconImage(file, entry);
    if (facts.Png) return IconPageKind::Png;
    if (facts.Readable && facts.BitCount == 32) return IconPageKind::TrueColor;
    return IconPageKind::Palette;
}

IconPageKind NewPageKind(int width, int height) {
    return width == 256 && height == 256 ? IconPageKind::Png : IconPageKind::Palette;
}

int IconPageWrittenDepth(const Document& doc, IconPageKind kind, const StoredIconImage* stored) {
    kind = WrittenPageKind(doc, kind);
    if (kind != IconPageKind::Palette) return 32;
    // The stored image's own depth, from its data: PNG signature or the DIB header's bit count.
    static constexpr uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    if (stored && !doc.Modified && stored->Data.size() >= 16 &&
        !std::equal(std::begin(kPngSignature), std::end(kPngSignature), stored->Data.begin())) {
        const int bits = stored->Data[14] | (stored->Data[15] << 8);
        if (bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24) return bits;
    }
    return doc.ColorCount == 16 ? 4 : 8;
}

std::string ExtractedImageName(const std::string& stem, int index, int width, int height, int depth) {
    return stem + "-" + std::to_string(index) + "-" + std::to_string(width) + "x" + std::to_string(height) + "-" +
           std::to_string(depth) + ".png";
}

std::string IconPageKindText(const Document& doc, IconPageKind kind, const StoredIconImage* stored) {
    if (WrittenPageKind(doc, kind) == IconPageKind::Png) return "PNG";
    const int depth = IconPageWrittenDepth(doc, kind, stored);
    // A palette document of 16 or 256 colours says its own count (a 4-bit page may use 256 entries).
    if (depth == 4 || depth == 8) return std::to_string(doc.ColorCount) + "色";
    return IconDepthText(false, depth);
}

std::string IconPageLabel(const Document& doc, IconPageKind kind, const StoredIconImage* stored) {
    return std::to_string(doc.ImageWidth) + "×" + std::to_string(doc.ImageHeight) + " " +
           IconPageKindText(doc, kind, stored);
}

int IconPageDepth(const Document& doc, IconPageKind kind) {
    if (WrittenPageKind(doc, kind) != IconPageKind::Palette) return 32;
    return doc.ColorCount == 16 ? 4 : 8;
}

IconPageKey PageKey(const Document& doc, IconPageKind kind) {
    return IconPageKey{std::max(doc.ImageWidth, doc.ImageHeight), doc.ImageWidth * doc.ImageHeight,
                       IconPageDepth(doc, kind)};
}

bool SetRunsDescending(std::span<const IconPageKey> keys) {
    int up = 0, down = 0;
    for (std::size_t i = 1; i < keys.size(); ++i) {
        if (keys[i - 1] < keys[i]) ++up;
        else if (keys[i] < keys[i - 1]) ++down;
    }
    return down > up;
}

int PlaceInSet(std::span<const IconPageKey> keys, const IconPageKey& key) {
    const bool descending = SetRunsDescending(keys);
    int at = 0;
    for (std::size_t i = 0; i < keys.size(); ++i) {
        const bool before = descending ? !(keys[i] < key) : !(key < keys[i]);
        if (before) at = int(i) + 1;
    }
    return at;
}

IconSetMeasure MeasureIconSet(std::span<const uint8_t> bytes, const IconDirectory& dir) {
    IconSetMeasure m;
    m.Pages = dir.Entries.size();
    for (const IconDirEntry& e : dir.Entries) {
        int w = e.Width == 0 ? 256 : e.Width, h = e.Height == 0 ? 256 : e.Height;
        if (!IconImageSize(bytes, e, w, h) || w < 1 || h < 1) {
            w = e.Width == 0 ? 256 : e.Width;
            h = e.Height == 0 ? 256 : e.Height;
        }
        m.Pixels += std::uint64_t(w) * std::uint64_t(h);
        if (e.ImageOffset < bytes.size()) m.StoredBytes += std::min<std::uint64_t>(e.BytesInRes, bytes.size() - e.ImageOffset);
    }
    return m;
}

FileResult CheckIconSetLimits(std::span<const uint8_t> bytes, const IconDirectory& dir) {
    if (dir.Entries.size() > kMaxIconSetPages) return FileResult::Failure(kIconSetTooManyPagesMessage);
    const IconSetMeasure m = MeasureIconSet(bytes, dir);
    if (m.TooManyPixels()) return FileResult::Failure(kIconSetTooManyPixelsMessage);
    if (m.TooMuchData()) return FileResult::Failure(kIconSetTooMuchDataMessage);
    return FileResult::Success();
}

FileResult LoadIconSet(std::span<const uint8_t> bytes, int selectedZoom, std::vector<IconSetPage>& pages,
                       int& resourceType, int* unopened, const ReductionOptions& options) {
    IconDirectory dir;
    if (FileResult r = ReadIconDirectory(bytes, dir); !r) return r;
    if (FileResult r = CheckIconSetLimits(bytes, dir); !r) return r;
    StoredIconFile stored;
    if (FileResult r = ReadStoredIconFile(bytes, stored); !r) return r;
    std::vector<IconSetPage> loaded(dir.Entries.size());
    // The first page decoded from each image's data: (offset, byte count, colour count byte).
    std::map<std::tuple<uint32_t, uint32_t, int>, std::size_t> decoded;
    for (std::size_t i = 0; i < loaded.size(); ++i) {
        const IconDirEntry& e = dir.Entries[i];
        const auto [first, fresh] = decoded.try_emplace({e.ImageOffset, e.BytesInRes, e.ColorCountByte}, i);
        if (!fresh) {
            loaded[i].Doc = loaded[first->second].Doc;
            RememberIconOrigin(loaded[i].Doc, dir, int(i));
        } else if (!LoadIconImage(bytes, dir, int(i), loaded[i].Doc, selectedZoom, options)) {
            // Palette images open unchanged, the others through the colour reduction (LoadIconImage picks).
            if (unopened) *unopened = int(i);
            return FileResult::Failure(std::to_string(i) + "： " + kIconOpenError);
        }
        loaded[i].Kind = StoredPageKind(bytes, dir.Entries[i]);
        loaded[i].Stored = std::move(stored.Images[i]);
    }
    pages = std::move(loaded);
    resourceType = dir.ResourceType == kCursorResourceType ? kCursorResourceType : kIconResourceType;
    return FileResult::Success();
}

FileResult LoadIconSetFile(const std::filesystem::path& path, int selectedZoom, std::vector<IconSetPage>& pages,
                           int& resourceType) {
    std::vector<uint8_t> bytes;
    if (FileResult r = ReadIconFileBytes(path, bytes); !r) return r;
    std::vector<IconSetPage> loaded;
    int type = kIconResourceType;
    if (FileResult r = LoadIconSet(bytes, selectedZoom, loaded, type); !r) return r;
    for (IconSetPage& page : loaded) page.Doc.Origin.Path = path.string();
    pages = std::move(loaded);
    resourceType = type;
    return FileResult::Success();
}

bool EncodeIconPage(const Document& doc, IconPageKind kind, int resourceType, StoredIconImage& out) {
    if (!Writable(doc)) return false;
    StoredIconImage image;
    kind = WrittenPageKind(doc, kind);
    if (kind == IconPageKind::Palette) {
        if (!EncodeIconImage(doc, resourceType, image)) return false;
        // EncodeIcon leaves an icon's planes and bit count 0; a page states them.
        SetPlanesOrHotspot(image, &doc, resourceType, doc.ColorCount == 16 ? 4 : 8);
        std::fill(image.Entry.begin() + 12, image.Entry.end(), uint8_t(0));
        out = std::move(image);
        return true;
    }
    int hx = 0, hy = 0;
    if (resourceType == kCursorResourceType) ClampedHotspot(doc, hx, hy);
    const std::vector<uint8_t> rgba = FlattenToRgba(doc);
    return EncodeRgbaIconImage(RgbaImage{doc.ImageWidth, doc.ImageHeight, rgba}, kind == IconPageKind::Png, resourceType,
                               hx, hy, out);
}

bool EncodeRgbaIconImage(const RgbaImage& picture, bool png, int resourceType, int hotspotX, int hotspotY,
                         StoredIconImage& out) {
    const int w = picture.Width, h = picture.Height;
    if (w < 1 || h < 1 || w > kMaxIconFileSide || h > kMaxIconFileSide ||
        picture.Pixels.size() != std::size_t(w) * std::size_t(h) * 4)
        return false;
    StoredIconImage image;
    image.Data = png ? EncodeRgbaPng(w, h, picture.Pixels) : TrueColorDib(w, h, picture.Pixels);
    if (image.Data.empty()) return false;
    image.Entry[0] = uint8_t(w == 256 ? 0 : w);   // the directory's 0 stands for 256
    image.Entry[1] = uint8_t(h == 256 ? 0 : h);
    int first = 1, second = 32;
    if (resourceType == kCursorResourceType) {
        first = std::clamp(hotspotX, 0, w - 1);
        second = std::clamp(hotspotY, 0, h - 1);
    }
    image.Entry[4] = uint8_t(first), image.Entry[5] = uint8_t(first >> 8);
    image.Entry[6] = uint8_t(second), image.Entry[7] = uint8_t(second >> 8);
    const uint32_t size = uint32_t(image.Data.size());
    for (int i = 0; i < 4; ++i) image.Entry[std::size_t(8 + i)] = uint8_t(size >> (8 * i));
    out = std::move(image);
    return true;
}

bool PageShowsImage(const Document& doc, IconPageKind kind, const StoredIconImage& image) {
    if (!Writable(doc) || image.Data.empty()) return false;
    if (doc.TrueColor || IsTrueColorIconData(image.Data)) {
        // Pictures with alpha: the page's composite against the image's pixels, pixel for pixel.
        RgbaImage decoded;
        if (!DecodeIconRgba(image.Data, decoded) || decoded.Width != doc.ImageWidth || decoded.Height != doc.ImageHeight)
            return false;
        const std::vector<Rgba8> shown = ComposedRgba(decoded);
        if (doc.TrueColor) return shown == ComposeRgbaLayers(doc.Layers(), std::size_t(doc.PixelCount()));
        return ComposedRgba(RgbaImage{doc.ImageWidth, doc.ImageHeight, FlattenToRgba(doc)}) == shown;
    }
    // A palette page: the image read back as a document (a one-image file of it), both encoded the same way.
    StoredIconFile one;
    one.Images.push_back(image);
    const std::vector<uint8_t> bytes = EncodeStoredIconFile(one);
    Document read;
    if (!LoadIconBytes(bytes, 0, read, doc.Zoom) || read.TrueColor || read.ImageWidth != doc.ImageWidth ||
        read.ImageHeight != doc.ImageHeight)
        return false;
    StoredIconImage mine, theirs;
    return EncodeIconPage(doc, kind, kIconResourceType, mine) && EncodeIconPage(read, kind, kIconResourceType, theirs) &&
           mine.Data == theirs.Data;
}

FileResult SaveIconSet(std::span<const IconSetEntry> pages, const std::filesystem::path& path, int resourceType,
                       std::vector<StoredIconImage>* written) {
    if (pages.empty()) return FileResult::Failure(CannotWrite(path));
    StoredIconFile file;
    file.ResourceType = uint16_t(resourceType);
    file.Images.resize(pages.size());
    StoredIconFile existing;   // the file being replaced, read when a page needs it
    bool existingRead = false;
    for (std::size_t i = 0; i < pages.size(); ++i) {
        const IconSetEntry& page = pages[i];
        StoredIconImage& image = file.Images[i];
        bool ok = true;
        const StoredIconImage* kept = page.Unchanged;
        int keptType = page.UnchangedType;
        bool compared = false;   // kept because it shows the page: a cursor's entry takes the page's hotspot
        if (!kept && page.ReadAs && page.Doc && PageShowsImage(*page.Doc, page.Kind, *page.ReadAs)) {
            kept = page.ReadAs;
            keptType = page.ReadAsType;
            compared = true;
        }
        if (!kept && page.Doc) {
            // A page that no longer knows what it was read as (restored after a crash, or the one image of a file
            // that became a set) keeps the bytes of an image of the file being replaced that shows it exactly.
            if (!existingRead) {
                existingRead = true;
                std::vector<uint8_t> bytes;
                if (!ReadIconFileBytes(path, bytes) || !ReadStoredIconFile(bytes, existing)) existing = {};
            }
            for (const StoredIconImage& candidate : existing.Images) {
                const IconImageFacts facts = DescribeIconImage(candidate.Data, IconDirEntry{});
                if (!facts.Readable || facts.Width != page.Doc->ImageWidth || facts.Height != page.Doc->ImageHeight ||
                    !PageShowsImage(*page.Doc, page.Kind, candidate))
                    continue;
                kept = &candidate;
                keptType = existing.ResourceType;
                compared = true;
                break;
            }
        }
        if (kept) {
            image = *kept;
            int hx = 0, hy = 0;
            if (page.Doc) ClampedHotspot(*page.Doc, hx, hy);
            if (keptType != resourceType ||
                (compared && resourceType == kCursorResourceType && !SameHotspot(image, hx, hy))) {
                // The kind of file changes: an icon's entry states planes and depth, a cursor's its hotspot.
                const IconImageFacts facts = DescribeIconImage(image.Data, IconDirEntry{});
                SetPlanesOrHotspot(image, page.Doc, resourceType, facts.Readable ? facts.BitCount : 0);
            }
        } else {
            ok = page.Doc && EncodeIconPage(*page.Doc, page.Kind, resourceType, image);
        }
        if (!ok)
            return FileResult::Failure(CannotWrite(path) + "\n" + std::to_string(i + 1) +
                                       " 番目の画像はアイコンにできません。");
    }
    const std::vector<uint8_t> bytes = EncodeStoredIconFile(file);
    if (FileResult r = WriteFileAtomically(path, bytes); !r) return r;
    if (written) *written = std::move(file.Images);
    return FileResult::Success();
}

}  // namespace pq
