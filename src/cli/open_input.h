#pragma once
// Opening a file into a document the way the editor's open command does: the reader is the one
// the format table (core/formats/file_formats.h) gives the file name's extension among the kinds
// the editor opens (.pqf native document; .ico and .cur one image of the icon file; .bmp, .jpg
// and .jpeg a picture through the area picker), and nothing else is opened.

#include <optional>
#include <string>

#include "core/document/document.h"
#include "core/formats/file_formats.h"
#include "core/raster/raster.h"

namespace pq::cli {

// Zoom factor handed to InitBlankDocument; documents never store it, so any list entry serves.
inline constexpr int kToolZoom = 10;

enum class InputKind { None, Document, Icon, Picture };

// The reader the editor picks for a file name's extension.
InputKind InputKindOf(const std::string& path);
// The extensions InputKindOf accepts, for messages: ".pqf, .ico, .cur, .bmp, .jpg, .jpeg".
std::string InputExtensions();

// The writer the format table gives an output name's extension (nullptr: none), and the
// extensions that have one, for messages.
FormatWriter OutputWriterOf(const std::string& path);
std::string OutputExtensions();

struct OpenRequest {
    int Index = 0;                 // icon image (the chooser's line)
    int Size = 16;                 // picture import: output side 16, 32 or 48 (the dialog starts at 16)
    int Colors = 16;               // picture import: 16 or 256
    std::optional<Rect> Area;      // picture import: the frame; none = OK right after opening
};

struct OpenResult {
    int Exit = 0;          // kExitOk, kExitRefused or kExitUsage
    std::string Message;   // for stderr when Exit != 0
};

// Reads `path` into `doc`. Refusals carry the reader's own message. An icon index outside the
// directory is a usage error. An area may lie partly or wholly off the picture: what falls
// outside is white, as in the area picker.
OpenResult OpenInput(const std::string& path, const OpenRequest& request, Document& doc);

}  // namespace pq::cli
