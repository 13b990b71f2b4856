#pragma once
// Opening a file into a document the way the editor's open command does: the reader is the one
// the format table (core/formats/file_formats.h) gives the file name's extension among the kinds
// the editor opens (.pqf native document; .ico and .cur one image of the icon file; .bmp, .jpg
// and .jpeg a picture through the area picker), and nothing else is opened.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/cli_args.h"
#include "core/document/document.h"
#include "core/document/quality_reduction.h"
#include "core/formats/file_formats.h"
#include "core/io/atomic_write.h"
#include "core/io/file_result.h"
#include "core/raster/raster.h"

namespace pq::cli {

// Zoom factor handed to InitBlankDocument; documents never store it, so any list entry serves.
inline constexpr int kToolZoom = 10;

enum class InputKind { None, Document, Icon, Picture };

// The reader the editor picks for a file name's extension.
InputKind InputKindOf(const std::string& path);
// The reader OpenInput will use: the content's kind when the file's first bytes show one the
// editor opens, else the name's (for standard input, the kind `stdinKind` names).
InputKind JudgedInputKind(const std::string& path, const std::string& stdinKind);
// An input file opened once for a run: its kind is judged by its first bytes, read from the open
// file, and a JPEG picture is then decoded from that same open file, so that the file is opened
// and read one time. A file that could not be opened or read has neither (OpenInput then finds
// why, by its name).
struct InputFile {
    std::string Path;
    RegularFile File;
    bool HeadRead = false;           // Head holds the first kContentSniffBytes (all of a shorter file)
    std::vector<std::uint8_t> Head;
};
// Opens `path` and reads its first bytes; nothing is read for standard input "-".
InputFile PeekInputFile(const std::string& path);
// JudgedInputKind by the bytes already read.
InputKind JudgedInputKind(const InputFile& in, const std::string& stdinKind);
// The extensions InputKindOf accepts, for messages: ".pqf, .ico, .cur, .bmp, .jpg, .jpeg".
std::string InputExtensions();

// The writer the format table gives an output name's extension (nullptr: none), and the
// extensions that have one, for messages.
FormatWriter OutputWriterOf(const std::string& path);
std::string OutputExtensions();

struct OpenRequest {
    int Index = 0;                 // icon image (the chooser's line)
    int Width = 16, Height = 16;   // picture import: the output size, 1..256 a side
    int Colors = 16;               // picture import: 16 or 256
    std::optional<Rect> Area;      // picture import: the frame, scaled to the output size exactly;
                                   // none = the whole picture fitted into the output size
    std::string StdinKind;         // the kind ("png", "ico", ...) of standard input "-"
    ReductionOptions Reduction;    // how true colours are reduced: pictures and truecolour icon images
    // Truecolour (convert --colors 32bit): a picture opens as a truecolour document, its alpha
    // kept (a PNG's every value, a 32-bit bitmap's when it has any, other pictures opaque but
    // where a PNG is fully transparent), at Width x Height when SizeGiven, else at its own size
    // (fitted into 256 x 256 when larger); a palette document or icon image is turned into
    // truecolour without loss.
    bool TrueColor = false;
    bool SizeGiven = false;
    // Pictures that hold alpha (PNG, 32-bit bitmaps) open as truecolour at their own size, the
    // others as palette pictures; documents and icon images as they are (apply).
    bool TrueColorWhereAlpha = false;
    // Picture import (convert --fast): a JPEG much larger than the output is decoded scaled down
    // (ReducedScale) and that is averaged instead: close to the exact result, much quicker.
    bool Fast = false;
};

// The options of the colour reduction, as convert and pack take them: --quantizer median|quality,
// --dither none|fs|ordered, --alpha-threshold 1..255 (the editor's defaults when absent).
inline constexpr std::string_view kReductionOptionNames[] = {"--quantizer", "--dither", "--alpha-threshold"};
// False with `error` set for a value that is none of these.
bool ParseReductionOptions(const ParsedArgs& parsed, ReductionOptions& out, std::string& error);

// The name standard input goes by on the command line.
inline constexpr std::string_view kStdinName = "-";

// The whole of standard input, at most `limit` bytes (one more tells that it is too long).
bool ReadStandardInput(std::uint64_t limit, std::vector<std::uint8_t>& out);

// A --format / --to word ("png", "ico", ...): the kind it names, nullptr when it names none.
const FileFormat* FormatOfKindWord(const std::string& word);

// Runs `write` on a file of a private temporary folder named "out.EXT" and copies what it wrote
// to standard output; the write's own refusal comes back as it is.
FileResult WriteThroughStdout(const std::string& ext, const std::function<FileResult(const std::filesystem::path&)>& write);

// Writes `doc` as `out` names it, or to standard output in the kind `stdoutKind` names when
// `out` is "-". The writer's own refusals come back as they are.
FileResult WriteOutput(const Document& doc, const std::string& out, const std::string& stdoutKind);

struct OpenResult {
    int Exit = 0;          // kExitOk, kExitRefused or kExitUsage
    std::string Message;   // for stderr when Exit != 0
};

// Reads `path` (or standard input for "-") into `doc`. The reader is the one the content shows
// when it shows a kind the editor opens other than the one the name says (a note on stderr
// says so), else the name's. Refusals carry the reader's message in the run's language and,
// on a line of its own, the precise reason (cli/refusal_reasons.h). An icon index outside the
// directory is a usage error. An area may lie partly or wholly off the picture: what falls
// outside is white, as in the area picker. Without an area the whole picture is fitted into
// the output size keeping its proportions (core/ops/resample.h: FitInside, ResampleRaster),
// centred, unpainted around it. Truecolour pictures are fitted by premultiplied area averaging
// (ResampleRgba) and take no area.
OpenResult OpenInput(const std::string& path, const OpenRequest& request, Document& doc);
// The same for a file peeked at already (PeekInputFile): its head is not read again, and a JPEG
// picture is read from the open file.
OpenResult OpenInput(InputFile& in, const OpenRequest& request, Document& doc);

}  // namespace pq::cli
