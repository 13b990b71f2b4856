#pragma once
// An icon or cursor file edited as a set of pages: every image of the file its own document,
// each page remembering how it is written (a palette DIB, a 32-bit DIB or PNG) and the bytes it
// was read as, so that a page nobody edited is written back byte for byte.

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "core/document/document.h"
#include "core/formats/icon_container.h"
#include "core/formats/icon_file.h"
#include "core/formats/icon_images.h"
#include "core/io/file_result.h"

namespace pq {

// Palette: 4/8-bit (and what 1/16/24-bit images become when edited); TrueColor: a 32-bit DIB; Png.
// The values are kept in recovery notes (0, 1, 2).
enum class IconPageKind { Palette, TrueColor, Png };

// Png for PNG data, TrueColor for a 32-bit DIB, Palette otherwise (from the image data itself).
IconPageKind StoredPageKind(std::span<const uint8_t> file, const IconDirEntry& entry);
// Png for 256 x 256, Palette otherwise.
IconPageKind NewPageKind(int width, int height);
// How a page of this kind is really written: a truecolour document has no palette, so its
// Palette kind is written (and shown) as TrueColor; every other pair is itself.
IconPageKind WrittenPageKind(const Document& doc, IconPageKind kind);

// What a page is, as the strip, the status bar and the chooser name it (IconDepthText): how it is
// written, "32ビット" or "PNG", or for a palette page its colours, "16色" or "256色". A palette page
// still unedited (doc.Modified false) since `stored` was read or written is written back as those
// bytes, so it is named by their depth ("2色" for a 1-bit image, "24ビット").
std::string IconPageKindText(const Document& doc, IconPageKind kind, const StoredIconImage* stored = nullptr);
// The bits per pixel of the image a page is written as now: the stored image's (1, 4, 8, 16 or 24)
// while a palette page is still unedited since it was read or written, else 4 or 8 for a palette
// page of 16 or 256 colours and 32 for the other kinds (a PNG counts as 32).
int IconPageWrittenDepth(const Document& doc, IconPageKind kind, const StoredIconImage* stored = nullptr);
// The name an image gets as a PNG of its own (pqtool extract, the editor's export of every page):
// "STEM-INDEX-WxH-DEPTH.png".
std::string ExtractedImageName(const std::string& stem, int index, int width, int height, int depth);
// The size and IconPageKindText: "16×16 16色", "32×32 256色", "48×48 32ビット", "256×256 PNG".
std::string IconPageLabel(const Document& doc, IconPageKind kind, const StoredIconImage* stored = nullptr);

// The order a set keeps its sizes in: pages by their longer side, then their area, then their
// depth (IconPageDepth), ascending or descending as most neighbouring pages of distinct keys go.
struct IconPageKey {
    int Side = 0, Area = 0, Depth = 0;
    friend auto operator<=>(const IconPageKey&, const IconPageKey&) = default;
};
// 4 or 8 for a palette page of 16 or 256 colours, 32 for the other kinds.
int IconPageDepth(const Document& doc, IconPageKind kind);
IconPageKey PageKey(const Document& doc, IconPageKind kind);
// True when the keys run from large to small (a tie, or fewer than two distinct keys: false).
bool SetRunsDescending(std::span<const IconPageKey> keys);
// Where a page of `key` goes among `keys` in the set's own order: after every page that comes
// before it or ties with it, so a page is never put between two of its equals.
int PlaceInSet(std::span<const IconPageKey> keys, const IconPageKey& key);

struct IconSetPage {
    Document Doc;
    IconPageKind Kind = IconPageKind::Palette;
    StoredIconImage Stored;   // the image as the file holds it (entry and data)
};

// A set holds at most this many pages and this many pixels in all (each page's own size, as its
// image data states it): beyond either it is refused before any image is decoded, with the
// message naming the limit. 1024 pages of 256 x 256 fit exactly.
inline constexpr std::size_t kMaxIconSetPages = 1024;
inline constexpr std::uint64_t kMaxIconSetPixels = std::uint64_t(64) << 20;
inline constexpr const char* kIconSetTooManyPagesMessage =
    "このアイコンは画像が多すぎるため、すべては開けません。一度に開けるのは1024枚までです。";
// The images' stored bytes, each page's own copy, in all: twice the largest icon file, which
// only a directory repeating large data reaches.
inline constexpr std::uint64_t kMaxIconSetStoredBytes = 2 * kMaxIconFileBytes;
inline constexpr const char* kIconSetTooMuchDataMessage =
    "このアイコンは画像のデータが大きすぎるため、すべては開けません。一度に開けるのは合わせて128MBまでです。";
inline constexpr const char* kIconSetTooManyPixelsMessage =
    "このアイコンは画像が大きすぎるため、すべては開けません。一度に開けるのは合わせて67,108,864ピクセルまでです。";

// What opening every image of a directory as a page would take, from the directory and the
// image headers alone. Pixels: each entry's size as its data states it (IconImageSize), else its
// directory bytes (0 as 256).
struct IconSetMeasure {
    std::size_t Pages = 0;
    std::uint64_t Pixels = 0;
    std::uint64_t StoredBytes = 0;   // each entry's data as the file holds it (cut at its end)
    bool TooManyPages() const { return Pages > kMaxIconSetPages; }
    bool TooManyPixels() const { return Pixels > kMaxIconSetPixels; }
    bool TooMuchData() const { return StoredBytes > kMaxIconSetStoredBytes; }
    bool WithinLimits() const { return !TooManyPages() && !TooManyPixels() && !TooMuchData(); }
};
IconSetMeasure MeasureIconSet(std::span<const uint8_t> bytes, const IconDirectory& dir);
// Success within the limits, else the refusal naming the limit exceeded (pages, pixels, data).
FileResult CheckIconSetLimits(std::span<const uint8_t> bytes, const IconDirectory& dir);

// Every image of an icon or cursor file as a page, in directory order (palette images through LoadIconImage, others
// through LoadDecodedIconImage, each with RememberIconOrigin so a cursor page has its hotspot; Origin without the
// path). Refused, `pages` untouched, when any image does not open: message "<n>： " + kIconOpenError naming the
// image number n (from 0), which `unopened` receives when given; kIconOpenError alone when the directory cannot be
// read; CheckIconSetLimits's refusal, before anything is decoded or copied, for a set beyond the limits.
// Entries whose image is the same data (offset, byte count and colour count byte alike) are decoded
// once: their pages are copies, each with its own origin and hotspot. resourceType receives the file's
// (2 for a cursor, 1 for anything else). `options` is how the images that are not palette images are
// reduced.
FileResult LoadIconSet(std::span<const uint8_t> bytes, int selectedZoom, std::vector<IconSetPage>& pages,
                       int& resourceType, int* unopened = nullptr, const ReductionOptions& options = ReductionOptions{});
// The same from a file (ReadIconFileBytes), each page's Origin naming it.
FileResult LoadIconSetFile(const std::filesystem::path& path, int selectedZoom, std::vector<IconSetPage>& pages,
                           int& resourceType);

// The image a page is written as, at its document's size: Palette as EncodeIconImage does (4-bit for 16 colours,
// 8-bit for 256); a truecolour document (whatever the kind, see WrittenPageKind) as a 32-bit DIB or PNG of its
// visible layers composed by ComposeRgbaLayers, every colour and alpha value kept; TrueColor a 32-bit BGRA bottom-up DIB (40-byte header, height field doubled, alpha 255 where the
// composed visible layers paint, 0 elsewhere, colour 0 where unpainted) followed by its AND mask (bit set where
// unpainted); Png a PNG of the same RGBA. Entry bytes: width/height (256 as 0), colour count byte (16 for 4-bit,
// 0 otherwise), planes 1 and bit count for an icon, the document's hotspot (ClampedHotspot) for a cursor, byte
// count; the offset is left 0. False when the document cannot be written (not Ready, no layers or planes of the
// wrong size, a side above kMaxIconFileSide, a colour count other than 16 or 256 in a palette document).
bool EncodeIconPage(const Document& doc, IconPageKind kind, int resourceType, StoredIconImage& out);

// The same TrueColor (png false) or Png image of straight RGBA pixels, every colour and alpha value kept (the AND
// mask set where alpha is 0); a cursor's entry holds the hotspot moved inside the image. False for a side outside
// 1..kMaxIconFileSide or pixels that do not match the size.
bool EncodeRgbaIconImage(const RgbaImage& picture, bool png, int resourceType, int hotspotX, int hotspotY,
                         StoredIconImage& out);

// Whether writing `image` (data as a file holds it) instead of encoding the page loses or changes nothing: a
// truecolour page whose composed visible layers equal the image's decoded pixels (ComposedRgba), or a palette page
// whose encoded image data (EncodeIconPage with `kind`) equals that of the document the image reads as. False for
// an image that does not decode or is of another size.
bool PageShowsImage(const Document& doc, IconPageKind kind, const StoredIconImage& image);

struct IconSetEntry {
    const Document* Doc = nullptr;
    IconPageKind Kind = IconPageKind::Palette;
    const StoredIconImage* Unchanged = nullptr;   // when set: written byte for byte (data and entry) instead of encoding Doc
    int UnchangedType = 0;                        // resource type the Unchanged image was read from; when it differs from the
                                                  // type written, only entry bytes 4..7 are set for the new type (planes 1 +
                                                  // bit count from the data for an icon; Doc's clamped hotspot for a cursor)
    // The image the page was read as (or last written as), from a file of type ReadAsType: when Unchanged is not set
    // and PageShowsImage says the page still shows exactly it (nothing edited, or every edit undone), it is written
    // as Unchanged would be, a cursor's entry taking the page's hotspot.
    const StoredIconImage* ReadAs = nullptr;
    int ReadAsType = 0;
};

// Writes every page in order as one file in one atomic write (WriteFileAtomically). A page with neither Unchanged
// nor a ReadAs that it still shows keeps the bytes of an image of the same size in the file being replaced (when
// that is an icon or cursor file) which shows it exactly (PageShowsImage), so that pages restored after a crash,
// or made from one image, do not rewrite the images they came from. Nothing is written on any
// refusal (no page, a page that cannot be encoded: the message names its place counted from 1, as PackIconFile
// does). On success `written` (when given) receives the stored image of each page as written (its offset field
// as StoredIconImage says: rewritten on writing), so the caller can treat them as unchanged afterwards.
FileResult SaveIconSet(std::span<const IconSetEntry> pages, const std::filesystem::path& path, int resourceType,
                       std::vector<StoredIconImage>* written = nullptr);

}  // namespace pq
