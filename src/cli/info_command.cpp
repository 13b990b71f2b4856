// pqtool info: what a file holds, one "key: value" line at a time.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/cli_args.h"
#include "cli/commands.h"
#include "cli/open_input.h"
#include "core/formats/bmp_reader.h"
#include "core/formats/file_formats.h"
#include "core/formats/icon_file.h"
#include "core/formats/icon_set.h"
#include "core/formats/jpeg_reader.h"
#include "core/formats/native_document.h"
#include "core/formats/palette_file.h"
#include "core/formats/png_file.h"
#include "core/formats/program_icons.h"
#include "core/io/atomic_write.h"

namespace pq::cli {

const char* const kInfoUsage =
    "usage: pqtool info FILE\n"
    "\n"
    "Prints what FILE holds, one \"key: value\" line at a time:\n"
    "  .pqf            size, colours, and each layer's visibility and name\n"
    "  .ico, .cur      every directory entry: the size its image opens at, colour count byte,\n"
    "                  bits per pixel, the hotspot of cursor images; entries the editor cannot\n"
    "                  open are marked. Each line then says what editing the file as a set of\n"
    "                  pages does to that image: \", set: kept byte for byte unless edited (then\n"
    "                  4-bit|8-bit|32-bit|png)\"; a file that does not open as a set gets the\n"
    "                  line \"set: cannot be opened as a set (image N cannot be opened)\" instead\n"
    "  .bmp, .jpg      size and depth, from the headers alone\n"
    "  .png            size and the number of fully transparent pixels\n"
    "  .pqp .pal .act  palette kind and the entry count the file states\n"
    "  .exe .dll .scr  number of icons, and the image each icon is taken from\n"
    "Files with other names are recognised by their first bytes.\n"
    "\n"
    "Exit status: 0 success, 1 the file is refused (the reason on stderr), 2 wrong usage.\n";

namespace {

enum class FileKind { Unknown, Document, Icon, Bitmap, Jpeg, Png, Palette, Program };

// Enough of a file to recognise its kind by its first bytes.
constexpr std::size_t kRecogniseBytes = 4096;

bool StartsWith(const std::vector<uint8_t>& b, std::initializer_list<uint8_t> prefix) {
    if (b.size() < prefix.size()) return false;
    std::size_t i = 0;
    for (uint8_t c : prefix)
        if (b[i++] != c) return false;
    return true;
}

FileKind KindOf(const std::string& path, const std::vector<uint8_t>& bytes) {
    if (const FileFormat* format = FormatOfPath(path)) {
        switch (format->Reader) {
        case FormatReader::Document: return FileKind::Document;
        case FormatReader::IconImage: return FileKind::Icon;
        case FormatReader::Bitmap: return FileKind::Bitmap;
        case FormatReader::Jpeg: return FileKind::Jpeg;
        case FormatReader::Png: return FileKind::Png;
        case FormatReader::Palette: return FileKind::Palette;
        case FormatReader::Program: return FileKind::Program;
        case FormatReader::None: break;
        }
    }
    // Any other name: recognise the content.
    if (StartsWith(bytes, {'p', 'q', 'f', 0})) return FileKind::Document;
    if (DetectPaletteKind(bytes, path) != PaletteKind::Unknown) return FileKind::Palette;
    if (StartsWith(bytes, {'M', 'Z'})) return FileKind::Program;
    if (StartsWith(bytes, {'B', 'M'})) return FileKind::Bitmap;
    if (StartsWith(bytes, {0xFF, 0xD8})) return FileKind::Jpeg;
    if (StartsWith(bytes, {0x89, 'P', 'N', 'G'})) return FileKind::Png;
    if (StartsWith(bytes, {0, 0, 1, 0}) || StartsWith(bytes, {0, 0, 2, 0})) return FileKind::Icon;
    return FileKind::Unknown;
}

// A layer name in double quotes, with quotes, backslashes and control bytes escaped.
std::string Quoted(const std::string& s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += char(c);
        } else if (c < 0x20 || c == 0x7F) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", c);
            out += buf;
        } else {
            out += char(c);
        }
    }
    return out + "\"";
}

int InfoDocument(const std::string& path) {
    Document doc;
    if (FileResult r = LoadDocumentFile(path, doc, kToolZoom); !r) return Refused(path, r.Message);
    std::printf("type: document\nsize: %dx%d\ncolors: %d\nlayers: %d\n", doc.ImageWidth, doc.ImageHeight,
                doc.ColorCount, doc.LayerCount());
    for (int i = 0; i < doc.LayerCount(); ++i) {
        const Layer& l = doc.LayerAt(i);
        std::printf("layer %d: %s %s\n", i, l.Visible ? "visible" : "hidden", Quoted(l.Name).c_str());
    }
    return kExitOk;
}

// The depth an edited page of a set is written in (EncodeIconPage).
const char* EditedDepth(const IconSetPage& page) {
    switch (page.Kind) {
    case IconPageKind::TrueColor: return "32-bit";
    case IconPageKind::Png: return "png";
    case IconPageKind::Palette: break;
    }
    return page.Doc.ColorCount == 16 ? "4-bit" : "8-bit";
}

int InfoIcon(const std::string& path) {
    std::vector<uint8_t> bytes;
    if (FileResult r = ReadIconFileBytes(path, bytes); !r) return Refused(path, r.Message);
    IconDirectory dir;
    if (FileResult r = ReadIconDirectory(bytes, dir); !r) return Refused(path, r.Message);
    const bool cursor = dir.ResourceType == kCursorResourceType;
    if (cursor || dir.ResourceType == kIconResourceType)
        std::printf("type: %s\n", cursor ? "cursor" : "icon");
    else
        std::printf("type: icon (resource type %d)\n", dir.ResourceType);
    std::printf("images: %zu\n", dir.Entries.size());
    // What editing the file as a set would do to each image: opened, it is written back as it
    // is until edited, then in the depth its page has.
    std::vector<IconSetPage> pages;
    int setType = kIconResourceType, unopened = 0;
    const bool opensAsSet = LoadIconSet(bytes, kToolZoom, pages, setType, &unopened).Ok;
    for (std::size_t i = 0; i < dir.Entries.size(); ++i) {
        const IconDirEntry& e = dir.Entries[i];
        std::string bits = e.IsPng ? "PNG" : e.ImageBitCount > 0 ? std::to_string(e.ImageBitCount) + " bits per pixel"
                                                                 : "unreadable image";
        // The size the image data states, which is what the editor opens; the directory's
        // bytes only when the data holds no header.
        int w = e.Width == 0 ? 256 : e.Width, h = e.Height == 0 ? 256 : e.Height;
        IconImageSize(bytes, e, w, h);
        std::printf("image %zu: %dx%d, color count byte %d, %s", i, w, h, e.ColorCountByte, bits.c_str());
        if (cursor) std::printf(", hotspot %d,%d", e.PlanesOrHotspotX, e.BitCountOrHotspotY);
        if (!IconImageOpens(bytes, e)) std::printf(" (cannot be opened)");
        if (opensAsSet) std::printf(", set: kept byte for byte unless edited (then %s)", EditedDepth(pages[i]));
        std::printf("\n");
    }
    if (!opensAsSet) std::printf("set: cannot be opened as a set (image %d cannot be opened)\n", unopened);
    return kExitOk;
}

const char* CompressionName(int c) {
    switch (c) {
    case 0: return "none";
    case 1: return "RLE8";
    case 2: return "RLE4";
    case 3: return "bitfields";
    case 4: return "RLE24";
    case 6: return "alpha bitfields";
    default: return "other";
    }
}

int InfoBitmap(const std::string& path) {
    BitmapInfo info;
    if (FileResult r = ReadBitmapFileInfo(path, info); !r) return Refused(path, r.Message);
    std::printf("type: bitmap\nsize: %dx%d\ndepth: %d bits per pixel\ncompression: %s\n", info.Width, info.Height,
                info.BitsPerPixel, CompressionName(info.Compression));
    return kExitOk;
}

int InfoJpeg(const std::string& path) {
    JpegInfo info;
    if (FileResult r = ReadJpegFileInfo(path, info); !r) return Refused(path, r.Message);
    const char* kind = info.Components == 1 ? "grayscale" : info.Components == 4 ? "CMYK" : "colour";
    std::printf("type: jpeg\nsize: %dx%d\ndepth: %d bits per pixel (%s)\n", info.Width, info.Height,
                info.Components * 8, kind);
    return kExitOk;
}

int InfoPng(const std::string& path) {
    Raster picture;
    Plane transparent;
    if (FileResult r = LoadPngPicture(path, picture, &transparent); !r) return Refused(path, r.Message);
    std::printf("type: png\nsize: %dx%d\ntransparent pixels: %zu\n", picture.Width(), picture.Height(),
                std::size_t(std::count(transparent.begin(), transparent.end(), uint8_t(1))));
    return kExitOk;
}

// What a RIFF file that is no palette holds, by its form type.
std::string RiffKind(const std::vector<uint8_t>& bytes) {
    const std::string form = bytes.size() >= 12 ? std::string(bytes.begin() + 8, bytes.begin() + 12) : "";
    if (form == "ACON") return "an animated cursor (RIFF ACON)";
    std::string shown;
    for (char c : form) shown += (c >= 0x20 && c < 0x7F) ? c : '?';
    return "a RIFF file of form '" + shown + "'";
}

int InfoPalette(const std::string& path) {
    std::vector<uint8_t> bytes;
    if (FileResult r = ReadPaletteFileBytes(path, bytes); !r) return Refused(path, r.Message);
    if (StartsWith(bytes, {'R', 'I', 'F', 'F'}) && !(bytes.size() >= 12 && std::equal(bytes.begin() + 8, bytes.begin() + 12, "PAL ")))
        return Refused(path, RiffKind(bytes) + ", not a palette: pqtool does not read it");
    const PaletteFileInfo info = DescribePaletteFile(bytes, path);
    if (info.Kind == PaletteKind::Unknown)
        return Refused(path, "not a palette file of a known kind (.pqp, JASC-PAL, RIFF, .act)");
    PaletteTable scratch{};
    if (FileResult r = LoadPaletteBytes(bytes, path, 256, scratch); !r) return Refused(path, r.Message);
    const char* kind = info.Kind == PaletteKind::Pqp    ? "pqp"
                       : info.Kind == PaletteKind::Jasc ? "JASC-PAL"
                       : info.Kind == PaletteKind::Riff ? "RIFF"
                                                        : "act";
    std::printf("type: palette\nkind: %s\nentries: %d\n", kind, info.StoredCount);
    return kExitOk;
}

int InfoProgram(const std::string& path) {
    ProgramIcons icons;
    if (FileResult r = ProgramIcons::Load(path, icons); !r) return Refused(path, r.Message);
    std::printf("type: program\nicons: %d\n", icons.Count());
    for (int i = 0; i < icons.Count(); ++i) {
        const std::vector<IconImageInfo> images = icons.Images(i);
        std::printf("icon %d: group %s, %zu images, ", i, icons.GroupName(i).c_str(), images.size());
        const int chosen = icons.ChooseImage(i);
        if (chosen < 0) {
            std::printf("no usable image\n");
            continue;
        }
        const IconImageInfo& im = images[std::size_t(chosen)];
        std::printf("uses %dx%d %s\n", im.Width, im.Height,
                    im.Png ? "PNG" : (std::to_string(im.BitsPerPixel) + " bits per pixel").c_str());
    }
    return kExitOk;
}

}  // namespace

int RunInfo(std::span<const std::string> args) {
    if (AsksForHelp(args)) {
        std::fputs(kInfoUsage, stdout);
        return kExitOk;
    }
    ParsedArgs parsed;
    std::string error;
    if (!ParseArgs(args, {}, parsed, error)) return UsageFailure("info", error);
    if (parsed.Positionals.size() != 1)
        return UsageFailure("info", parsed.Positionals.empty() ? "missing FILE" : "too many arguments");
    const std::string& path = parsed.Positionals[0];
    // Only the first bytes, to recognise a file whose name says nothing (and to refuse at once
    // what is not a regular file); each kind then reads what it needs and no more.
    std::vector<uint8_t> head;
    if (ReadFilePrefix(path, kRecogniseBytes, head) != ReadStatus::Ok) return Refused(path, CannotReadMessage(path));
    switch (KindOf(path, head)) {
    case FileKind::Document: return InfoDocument(path);
    case FileKind::Icon: return InfoIcon(path);
    case FileKind::Bitmap: return InfoBitmap(path);
    case FileKind::Jpeg: return InfoJpeg(path);
    case FileKind::Png: return InfoPng(path);
    case FileKind::Palette: return InfoPalette(path);
    case FileKind::Program: return InfoProgram(path);
    case FileKind::Unknown: break;
    }
    return Refused(path, "not a file kind pqtool knows");
}

}  // namespace pq::cli
