#include "core/formats/file_formats.h"

#include <algorithm>
#include <initializer_list>

#include "core/formats/bitmap_file.h"
#include "core/formats/icon_container.h"
#include "core/formats/icon_file.h"
#include "core/formats/native_document.h"
#include "core/formats/palette_file.h"
#include "core/formats/png_file.h"

namespace pq {
namespace {

// Written back into the file the document was opened from, only its own image changes.
FileResult WriteIcon(const Document& doc, const std::filesystem::path& path) {
    return SaveIconKeepingOthers(doc, path, kIconResourceType);
}
FileResult WriteCursor(const Document& doc, const std::filesystem::path& path) {
    return SaveIconKeepingOthers(doc, path, kCursorResourceType);
}
FileResult WritePqp(const Document& doc, const std::filesystem::path& path) {
    return SavePalette(doc, path, PaletteFormat::Pqp);
}
FileResult WriteJasc(const Document& doc, const std::filesystem::path& path) {
    return SavePalette(doc, path, PaletteFormat::Jasc);
}

constexpr FileFormat kFormats[] = {
    {FileFormatId::Document, {".pqf"}, "PixquilFile(*.pqf)", "PixquilFile(*.pqf)", FormatReader::Document, SaveDocumentFile},
    {FileFormatId::Icon, {".ico"}, "アイコン(*.ico)", "アイコン(*.ico)", FormatReader::IconImage, WriteIcon},
    {FileFormatId::Cursor, {".cur"}, "カーソル(*.cur)", "カーソル(*.cur)", FormatReader::IconImage, WriteCursor},
    {FileFormatId::Bitmap, {".bmp"}, "ビットマップ(*.bmp)", "ビットマップ(*.bmp)", FormatReader::Bitmap, SaveBitmapFile},
    {FileFormatId::Jpeg, {".jpg", ".jpeg"}, "JPEG(*.jpg;*.jpeg)", "", FormatReader::Jpeg, nullptr},
    {FileFormatId::PqpPalette, {".pqp"}, "", "", FormatReader::Palette, WritePqp},
    {FileFormatId::PalPalette, {".pal"}, "", "", FormatReader::Palette, WriteJasc},
    {FileFormatId::ActPalette, {".act"}, "", "", FormatReader::Palette, nullptr},
    {FileFormatId::Png, {".png"}, "PNG(*.png)", "PNG(*.png)", FormatReader::Png, SavePngFile},
    {FileFormatId::Program, {".exe", ".dll", ".scr"}, "", "", FormatReader::Program, nullptr},
    // Animations open as sets of frames in the editor (and pqtool reads them on its own).
    {FileFormatId::Ani, {".ani"}, "", "", FormatReader::None, nullptr, "アニメーションカーソル (*.ani)"},
    // Xcursor files carry no extension of their own: known by their first bytes.
    {FileFormatId::Xcursor, {}, "", "", FormatReader::None, nullptr, "Xcursorファイル"},
};

}  // namespace

std::span<const FileFormat> FileFormats() { return kFormats; }

std::string LowerExtension(const std::filesystem::path& path) {
    std::string ext = path.extension().string();
    for (char& c : ext)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return ext;
}

const FileFormat* FormatOfPath(const std::filesystem::path& path) {
    const std::string ext = LowerExtension(path);
    if (ext.empty()) return nullptr;
    for (const FileFormat& f : kFormats)
        for (std::string_view e : f.Extensions)
            if (e == ext) return &f;
    return nullptr;
}

const FileFormat* FormatOfContent(std::span<const std::uint8_t> head) {
    auto startsWith = [head](std::initializer_list<std::uint8_t> bytes) {
        return head.size() >= bytes.size() && std::equal(bytes.begin(), bytes.end(), head.begin());
    };
    auto kind = [](FileFormatId id) -> const FileFormat* {
        for (const FileFormat& f : kFormats)
            if (f.Id == id) return &f;
        return nullptr;
    };
    if (startsWith({'p', 'q', 'f', 0})) return kind(FileFormatId::Document);
    if (startsWith({0, 0, 1, 0})) return kind(FileFormatId::Icon);
    if (startsWith({0, 0, 2, 0})) return kind(FileFormatId::Cursor);
    if (startsWith({'B', 'M'})) return kind(FileFormatId::Bitmap);
    if (startsWith({0xFF, 0xD8, 0xFF})) return kind(FileFormatId::Jpeg);
    if (startsWith({0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'})) return kind(FileFormatId::Png);
    if (startsWith({'J', 'A', 'S', 'C', '-', 'P', 'A', 'L'})) return kind(FileFormatId::PalPalette);
    if (startsWith({'p', 'q', 'p'})) return kind(FileFormatId::PqpPalette);
    if (startsWith({'X', 'c', 'u', 'r'})) return kind(FileFormatId::Xcursor);
    if (head.size() >= 12 && startsWith({'R', 'I', 'F', 'F'}) && std::equal(head.begin() + 8, head.begin() + 12, "ACON"))
        return kind(FileFormatId::Ani);
    return nullptr;
}

std::string ExtensionList(bool (*accept)(const FileFormat&)) {
    std::string out;
    for (const FileFormat& f : kFormats) {
        if (!accept(f)) continue;
        for (std::string_view e : f.Extensions) {
            if (e.empty()) continue;
            if (!out.empty()) out += ", ";
            out += e;
        }
    }
    return out;
}

}  // namespace pq
