#include "cli/open_input.h"

#include <vector>

#include "cli/cli_args.h"
#include "core/formats/file_formats.h"
#include "core/formats/icon_file.h"
#include "core/formats/native_document.h"
#include "core/formats/picture_import.h"

namespace pq::cli {

InputKind InputKindOf(const std::string& path) {
    const FileFormat* format = FormatOfPath(path);
    if (!format || !format->EditorOpens()) return InputKind::None;
    switch (format->Reader) {
    case FormatReader::Document: return InputKind::Document;
    case FormatReader::IconImage: return InputKind::Icon;
    case FormatReader::Bitmap:
    case FormatReader::Jpeg:
    case FormatReader::Png: return InputKind::Picture;
    default: return InputKind::None;
    }
}

std::string InputExtensions() {
    return ExtensionList([](const FileFormat& f) { return f.EditorOpens(); });
}

FormatWriter OutputWriterOf(const std::string& path) {
    const FileFormat* format = FormatOfPath(path);
    return format ? format->Writer : nullptr;
}

std::string OutputExtensions() {
    return ExtensionList([](const FileFormat& f) { return f.Writer != nullptr; });
}

namespace {

OpenResult Refusal(std::string message) { return OpenResult{kExitRefused, std::move(message)}; }

OpenResult OpenIcon(const std::string& path, int index, Document& doc) {
    std::vector<uint8_t> bytes;
    if (FileResult r = ReadIconFileBytes(path, bytes); !r) return Refusal(r.Message);
    IconDirectory dir;
    if (FileResult r = ReadIconDirectory(bytes, dir); !r) return Refusal(r.Message);
    if (std::size_t(index) >= dir.Entries.size())
        return OpenResult{kExitUsage, "--index " + std::to_string(index) + " is out of range: the file holds " +
                                          std::to_string(dir.Entries.size()) + " image(s)"};
    if (FileResult r = LoadIconImage(bytes, dir, index, doc, kToolZoom); !r) return Refusal(r.Message);
    doc.Origin.Path = path;   // so that writing into this very file replaces only this image
    return {};
}

OpenResult OpenPicture(const std::string& path, const OpenRequest& request, Document& doc) {
    Raster picture;
    Plane transparent;
    if (FileResult r = LoadPicture(path, PictureKindOf(path), picture, &transparent); !r) return Refusal(r.Message);
    AreaPicker picker(picture, request.Size, request.Size, &transparent);
    if (request.Area) {
        // A frame dragged from the top-left corner to the bottom-right one, not kept square. Parts
        // of the frame off the picture come out white, as in the area picker.
        picker.Square = false;
        picker.Press(request.Area->left, request.Area->top);
        picker.Move(request.Area->right, request.Area->bottom);
        picker.Release();
    }
    ImportPictureDocument(doc, picker.Preview(), request.Colors, kToolZoom, &picker.PreviewUnpainted());
    return {};
}

}  // namespace

OpenResult OpenInput(const std::string& path, const OpenRequest& request, Document& doc) {
    switch (InputKindOf(path)) {
    case InputKind::Document:
        if (FileResult r = LoadDocumentFile(path, doc, kToolZoom); !r) return Refusal(r.Message);
        return {};
    case InputKind::Icon:
        return OpenIcon(path, request.Index, doc);
    case InputKind::Picture:
        return OpenPicture(path, request, doc);
    case InputKind::None:
        break;
    }
    return OpenResult{kExitUsage, "no reader for '" + path + "': inputs are " + InputExtensions()};
}

}  // namespace pq::cli
