#pragma once
// The one table of the file kinds the program knows, by file-name extension: what each is
// called in the editor's open and save dialogs, how it is read and what writes it. The editor's
// dialogs and open/save commands and every pqtool command choose through this table.

#include <array>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>

#include "core/document/document.h"
#include "core/io/file_result.h"

namespace pq {

enum class FileFormatId { Document, Icon, Cursor, Bitmap, Jpeg, PqpPalette, PalPalette, ActPalette, Png, Program, Ani, Xcursor };

// How a file of the kind is read.
enum class FormatReader {
    None,        // not read
    Document,    // the layered document (LoadDocumentFile)
    IconImage,   // one image of an icon or cursor file (ReadIconDirectory, LoadIconBytes)
    Bitmap,      // a picture imported through the area picker (LoadBitmapFile)
    Jpeg,        // likewise (LoadJpegFile)
    Png,         // likewise, its transparent parts unpainted (LoadPngPicture)
    Palette,     // a palette file (LoadPaletteFile)
    Program,     // the icons of a program file (ProgramIcons)
};

using FormatWriter = FileResult (*)(const Document& doc, const std::filesystem::path& path);

struct FileFormat {
    FileFormatId Id;
    std::array<std::string_view, 3> Extensions;   // lower case, dot included; unused ones empty
    std::string_view OpenCaption;   // the entry of the editor's open dialog; empty: the editor does not open it
    std::string_view SaveCaption;   // the entry of the editor's save dialog; empty: the editor does not save it
    FormatReader Reader;
    FormatWriter Writer;            // nullptr: nothing writes this kind
    // The entry of the editor's open and save dialogs for a kind it reads and writes whole as an
    // animated set (every frame and size a page), not as one document; empty for the others.
    // Such a kind has no one-document reader or writer here (Reader None, Writer nullptr).
    std::string_view SetCaption = {};

    bool EditorOpens() const { return !OpenCaption.empty(); }
    bool EditorSaves() const { return !SaveCaption.empty(); }
    bool EditorEditsAsSet() const { return !SetCaption.empty(); }
};

// Every kind, in the order of the editor's dialog filters.
std::span<const FileFormat> FileFormats();

// The lower-cased extension of a file name, dot included ("" when there is none).
std::string LowerExtension(const std::filesystem::path& path);

// The kind the file name's extension (compared without regard to case) names; nullptr for none.
const FileFormat* FormatOfPath(const std::filesystem::path& path);

// The kind a file's first bytes show: "pqf\0" a document, "BM" a bitmap, 00 00 01 00 an icon,
// 00 00 02 00 a cursor, FF D8 FF a JPEG picture, PNG's signature, "pqp" or "JASC-PAL" a palette,
// "RIFF" size "ACON" an animated cursor, "Xcur" an Xcursor file; nullptr when they show none of
// these. For files whose name says nothing the editor knows.
const FileFormat* FormatOfContent(std::span<const std::uint8_t> head);
inline constexpr std::size_t kContentSniffBytes = 12;   // what FormatOfContent needs at most

// The extensions of the kinds a predicate accepts, in table order, joined with ", "
// (".pqf, .ico, .cur"): for messages that list what is accepted.
std::string ExtensionList(bool (*accept)(const FileFormat&));

}  // namespace pq
