#pragma once
// Palette files. Written: .pqp ("pqp", count, count x 4 bytes blue-green-red-reserved) and
// JASC-PAL text. Read: .pqp, JASC-PAL and RIFF "PAL " recognised by their first bytes, and
// headerless .act colour tables recognised by the extension. Loading changes palette entries
// only, never the colour count or a pixel.

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "core/document/document.h"
#include "core/io/file_result.h"

namespace pq {

// Shown for a palette file of a known kind whose content does not hold what it claims.
inline constexpr const char* kPaletteFileError = "パレットファイルの内容が正しくありません。";

enum class PaletteKind { Unknown, Pqp, Jasc, Riff, Act };
enum class PaletteFormat { Pqp, Jasc };

// Recognises the kind: "pqp", "JASC-PAL" (after an optional UTF-8 byte-order mark), "RIFF", then
// an extension beginning with ".act" (any case). Unknown otherwise.
PaletteKind DetectPaletteKind(std::span<const uint8_t> bytes, const std::filesystem::path& fileName);

struct PaletteFileInfo {
    PaletteKind Kind = PaletteKind::Unknown;
    int StoredCount = 0;   // the count the file states (.act: the entries it holds, up to 256)
};
// Kind and stored count of a palette file; Unknown with count 0 when it is not one.
PaletteFileInfo DescribePaletteFile(std::span<const uint8_t> bytes, const std::filesystem::path& fileName);

// Reads the palette file image into `palette` for a document of `colorCount` colours:
// .pqp and RIFF fill up to 256 entries (reserved/flags bytes included), JASC the first
// min(count, colorCount) entries' red, green and blue, .act up to 256 entries' red, green
// and blue. When the stated count is 16 or less and the document has 256 colours, red, green
// and blue of entries 16-255 become 0.
// Results: success; failure with an empty message for a file of no known kind (the caller
// shows nothing and changes nothing); failure with kPaletteFileError for a known kind whose
// content is malformed or ends early. On failure `palette` is untouched.
FileResult LoadPaletteBytes(std::span<const uint8_t> bytes, const std::filesystem::path& fileName, int colorCount,
                            PaletteTable& palette);
// No palette file of any kind needs more (a JASC text of 256 entries takes about 3 KB):
// larger files are refused with kPaletteFileError before anything is read.
inline constexpr std::uint64_t kMaxPaletteFileBytes = 1u << 20;
// The whole file, refused at once when it is not a regular file or above kMaxPaletteFileBytes.
FileResult ReadPaletteFileBytes(const std::filesystem::path& path, std::vector<uint8_t>& bytes);
// The same from a file into the document's palette, with the document's colour count.
FileResult LoadPaletteFile(const std::filesystem::path& path, Document& doc);

// The first ColorCount entries of the palette as .pqp bytes (71 or 1031) or JASC-PAL text
// ("JASC-PAL\r\n0100\r\n", the count, one "r g b" line per entry, CR LF line ends).
std::vector<uint8_t> EncodePalette(const Document& doc, PaletteFormat format);
// Writes the palette in the chosen format whatever the file name's extension.
FileResult SavePalette(const Document& doc, const std::filesystem::path& path, PaletteFormat format);

}  // namespace pq
