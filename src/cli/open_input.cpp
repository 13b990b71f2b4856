#include "cli/open_input.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <vector>

#include "cli/cli_args.h"
#include "cli/messages.h"
#include "cli/refusal_reasons.h"
#include "core/formats/bmp_reader.h"
#include "core/formats/file_formats.h"
#include "core/formats/icon_file.h"
#include "core/formats/jpeg_reader.h"
#include "core/formats/native_document.h"
#include "core/formats/picture_import.h"
#include "core/formats/png_file.h"
#include "core/io/atomic_write.h"
#include "core/document/color_reduction.h"
#include "core/ops/resample.h"

namespace pq::cli {

namespace {

// The reader the editor picks for a kind of file.
InputKind InputKindOfFormat(const FileFormat* format) {
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

}  // namespace

InputKind InputKindOf(const std::string& path) { return InputKindOfFormat(FormatOfPath(path)); }

InputFile PeekInputFile(const std::string& path) {
    InputFile in;
    in.Path = path;
    if (path == kStdinName) return in;
    if (in.File.Open(path) == ReadStatus::Ok) {
        const std::size_t n = std::size_t(std::min<std::uint64_t>(in.File.Size(), kContentSniffBytes));
        in.HeadRead = n == 0 || in.File.ReadAt(0, n, in.Head);
    }
    if (!in.HeadRead) in.File = RegularFile();
    return in;
}

InputKind JudgedInputKind(const InputFile& in, const std::string& stdinKind) {
    if (in.Path == kStdinName) return InputKindOfFormat(FormatOfKindWord(stdinKind));
    if (in.HeadRead)
        if (const FileFormat* f = FormatOfContent(in.Head); f && f->EditorOpens()) return InputKindOfFormat(f);
    return InputKindOf(in.Path);
}

InputKind JudgedInputKind(const std::string& path, const std::string& stdinKind) {
    return JudgedInputKind(PeekInputFile(path), stdinKind);
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

bool ReadStandardInput(std::uint64_t limit, std::vector<std::uint8_t>& out) {
    std::vector<uint8_t> bytes;
    uint8_t buf[65536];
    while (true) {
        const std::size_t n = std::fread(buf, 1, sizeof buf, stdin);
        bytes.insert(bytes.end(), buf, buf + n);
        if (bytes.size() > limit) break;
        if (n < sizeof buf) {
            if (std::ferror(stdin)) return false;
            break;
        }
    }
    out = std::move(bytes);
    return true;
}

bool ParseReductionOptions(const ParsedArgs& parsed, ReductionOptions& out, std::string& error) {
    if (parsed.Has("--quantizer")) {
        const std::string& v = parsed.Value("--quantizer");
        if (v != "median" && v != "quality") {
            error = Say("--quantizer must be median or quality, not '" + v + "'",
                        "--quantizer は median か quality です：'" + v + "'");
            return false;
        }
        out.quantizer = v == "quality" ? Quantizer::Quality : Quantizer::MedianCut;
    }
    if (parsed.Has("--dither")) {
        const std::string& v = parsed.Value("--dither");
        if (v != "none" && v != "fs" && v != "ordered") {
            error = Say("--dither must be none, fs or ordered, not '" + v + "'",
                        "--dither は none、fs、ordered のどれかです：'" + v + "'");
            return false;
        }
        out.dither = v == "fs" ? Dither::Diffusion : v == "ordered" ? Dither::Ordered : Dither::None;
    }
    if (parsed.Has("--alpha-threshold")) {
        const std::string& v = parsed.Value("--alpha-threshold");
        int t = 0;
        if (!ParseNonNegative(v, t) || t < 1 || t > 255) {
            error = Say("--alpha-threshold must be a whole number from 1 to 255, not '" + v + "'",
                        "--alpha-threshold は 1～255 の整数です：'" + v + "'");
            return false;
        }
        out.alphaThreshold = t;
    }
    return true;
}

const FileFormat* FormatOfKindWord(const std::string& word) {
    if (word.empty() || word.find('.') != std::string::npos || word.find('/') != std::string::npos) return nullptr;
    return FormatOfPath("stdin." + word);
}

FileResult WriteOutput(const Document& doc, const std::string& out, const std::string& stdoutKind) {
    if (out != kStdinName) {
        const FormatWriter writer = OutputWriterOf(out);
        return writer ? writer(doc, out) : FileResult::Failure("no writer");
    }
    const FileFormat* format = FormatOfKindWord(stdoutKind);
    if (!format || !format->Writer) return FileResult::Failure("no writer");
    return WriteThroughStdout(stdoutKind, [&](const std::filesystem::path& file) { return format->Writer(doc, file); });
}

FileResult WriteThroughStdout(const std::string& ext, const std::function<FileResult(const std::filesystem::path&)>& write) {
    // Every writer writes a file: the content is written into a private folder and copied out.
    namespace fs = std::filesystem;
    std::error_code ec;
    std::string tmpl = (fs::temp_directory_path(ec) / "pqtool-XXXXXX").string();
    if (ec || !::mkdtemp(tmpl.data()))
        return FileResult::Failure(Say("cannot make a temporary folder: ", "一時フォルダを作れません：") + SystemError(errno));
    const fs::path folder = tmpl, file = folder / ("out." + ext);
    FileResult r = write(file);
    if (r) {
        std::vector<uint8_t> bytes;
        if (ReadWholeFile(file, bytes) != ReadStatus::Ok ||
            std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size() || std::fflush(stdout) != 0)
            r = FileResult::Failure(Say("cannot be written: ", "書き込めませんでした：") + SystemError(errno));
    }
    fs::remove_all(folder, ec);
    return r;
}

namespace {

OpenResult Refusal(std::string message) { return OpenResult{kExitRefused, std::move(message)}; }

// One input: its name, the kind it is read as, and its bytes when it came from standard input.
struct Source {
    std::string Path;
    const FileFormat* Format = nullptr;
    bool FromStdin = false;
    std::vector<uint8_t> Bytes;
    const RegularFile* File = nullptr;   // the file, open already (else it is opened by name)
};

// The reader's refusal in the run's language, with the precise reason found in the file's bytes.
OpenResult RefusedWithReason(const Source& in, const std::string& readerMessage, int image = 0) {
    std::vector<uint8_t> fileBytes;
    const std::vector<uint8_t>* bytes = &in.Bytes;
    if (!in.FromStdin) {
        // Only a refused file is read again, whole, for the reason (within the largest reader's limit).
        if (ReadWholeFile(in.Path, fileBytes, kMaxPictureFileBytes) != ReadStatus::Ok)
            return Refusal(EditorMessage(readerMessage));
        bytes = &fileBytes;
    }
    return Refusal(RefusalWithReason(readerMessage, in.Format->Reader, *bytes, image));
}

OpenResult OpenIcon(const Source& in, int index, const ReductionOptions& reduction, Document& doc) {
    std::vector<uint8_t> fileBytes;
    if (!in.FromStdin) {
        if (FileResult r = ReadIconFileBytes(in.Path, fileBytes); !r) {
            const std::string reason = IconFileSizeReason(in.Path);
            return Refusal(EditorMessage(r.Message) + (reason.empty() ? "" : "\n" + reason));
        }
    } else if (in.Bytes.size() > kMaxIconFileBytes) {
        return Refusal(Say("over a limit: an icon file of more than " + std::to_string(kMaxIconFileBytes) + " bytes",
                           "上限を超えています：アイコンのファイルは " + std::to_string(kMaxIconFileBytes) + " バイトまでです"));
    }
    const std::vector<uint8_t>& bytes = in.FromStdin ? in.Bytes : fileBytes;
    IconDirectory dir;
    if (FileResult r = ReadIconDirectory(bytes, dir); !r) return RefusedWithReason(in, r.Message, index);
    if (std::size_t(index) >= dir.Entries.size())
        return OpenResult{kExitUsage, Say("--index " + std::to_string(index) + " is out of range: the file holds " +
                                              std::to_string(dir.Entries.size()) + " image(s)",
                                          "--index " + std::to_string(index) + " は範囲外です：このファイルの画像は " +
                                              std::to_string(dir.Entries.size()) + " 個です")};
    if (FileResult r = LoadIconImage(bytes, dir, index, doc, kToolZoom, reduction); !r)
        return RefusedWithReason(in, r.Message, index);
    if (!in.FromStdin) doc.Origin.Path = in.Path;   // so that writing into this very file replaces only this image
    return {};
}

// The whole picture fitted into the output size, centred; what the picture does not cover, and
// the picture's own transparent pixels, stay unpainted.
void ImportFitted(const ResampledPicture& fitted, const Rect& fit, const OpenRequest& request, Document& doc) {
    Raster preview(request.Width, request.Height);
    preview.Fill(kWhite);
    Plane unpainted(std::size_t(request.Width) * std::size_t(request.Height), 1);
    for (int y = 0; y < fitted.Height; ++y)
        for (int x = 0; x < fitted.Width; ++x) {
            if (!fitted.Painted[std::size_t(y) * std::size_t(fitted.Width) + std::size_t(x)]) continue;
            preview.SetPixelUnchecked(fit.left + x, fit.top + y, fitted.Colors.PixelUnchecked(x, y));
            unpainted[std::size_t(fit.top + y) * std::size_t(request.Width) + std::size_t(fit.left + x)] = 0;
        }
    ImportPictureDocument(doc, preview, request.Colors, kToolZoom, &unpainted, request.Reduction);
}

// The whole picture fitted into the output size keeping its proportions (FitInside), averaged
// row by row, or piece by piece, as the decoder hands the rows over.
// With `reduced` a JPEG decoder may scale the picture down first; the fit is the full picture's.
class FittingSink : public PictureRowSink {
public:
    FittingSink(int width, int height, bool transparency, bool reduced = false)
        : width_(width), height_(height), transparency_(transparency), reduced_(reduced) {}
    int ScaleDenominator(int width, int height) override {
        fit = FitInside(width, height, width_, height_);
        fitted_ = true;
        return reduced_ ? ReducedScale(width, height, fit.Width(), fit.Height()) : 1;
    }
    void Start(int width, int height) override {
        pictureWidth_ = width;
        if (!fitted_) fit = FitInside(width, height, width_, height_);
        averager.emplace(width, height, fit.right - fit.left, fit.bottom - fit.top, transparency_);
    }
    std::uint8_t* RowBuffer(int) override {
        row_.resize(3 * std::size_t(pictureWidth_) + kJpegRowSlack);
        return JpegRowStart(row_.data());
    }
    void RowDone(int) override { averager->AddRow(JpegRowStart(row_.data())); }
    PieceLayout Pieces() const override { return {0, pictureWidth_, 0}; }
    void Piece(int, int x, int n, const std::uint8_t* bgr, const std::uint8_t* clear) override {
        averager->AddPiece(x, n, bgr, clear);
    }

    Rect fit;
    std::optional<AreaAverager> averager;

private:
    int width_, height_, pictureWidth_ = 0;
    bool transparency_, reduced_, fitted_ = false;
    std::vector<std::uint8_t> row_;
};

// Every picture is decoded and resampled band by band as it is read, never held whole: fitted
// whole into the output size, or the frame taken as the area picker takes it.
OpenResult OpenPicture(const Source& in, const OpenRequest& request, Document& doc) {
    if (in.FromStdin && in.Bytes.size() > kMaxPictureFileBytes)
        return RefusedWithReason(in, kPictureTooLargeMessage);
    const FormatReader reader = in.Format->Reader;
    auto decode = [&](PictureRowSink& sink) {
        switch (reader) {
        case FormatReader::Bitmap: return in.FromStdin ? DecodeBitmapRows(in.Bytes, sink) : LoadBitmapFileRows(in.Path, sink);
        case FormatReader::Jpeg:
            return in.FromStdin ? DecodeJpegRows(in.Bytes, sink)
                   : in.File    ? ReadJpegFileRows(*in.File, sink)
                                : LoadJpegFileRows(in.Path, sink);
        default: return in.FromStdin ? DecodePngRows(in.Bytes, sink) : LoadPngFileRows(in.Path, sink);
        }
    };
    if (!request.Area) {
        FittingSink sink(request.Width, request.Height, reader == FormatReader::Png, request.Fast);
        if (const FileResult r = decode(sink); !r) return RefusedWithReason(in, r.Message);
        ImportFitted(sink.averager->Take(), sink.fit, request, doc);
        return {};
    }
    // A frame dragged from one corner to the other, not kept square: the picker's frame is the
    // band with its corners ordered, and parts of it off the picture come out white. A PNG's
    // transparent parts stay unpainted as the picker leaves them.
    const Rect& a = *request.Area;
    Raster preview(request.Width, request.Height);
    preview.Fill(kWhite);
    Plane unpainted;
    AreaResampler resampler(std::min(a.left, a.right), std::min(a.top, a.bottom), std::max(a.left, a.right),
                            std::max(a.top, a.bottom), preview, &unpainted, request.Fast);
    if (const FileResult r = decode(resampler); !r) return RefusedWithReason(in, r.Message);
    ImportPictureDocument(doc, preview, request.Colors, kToolZoom, &unpainted, request.Reduction);
    return {};
}

// A picture gathered whole as straight RGBA pixels from the rows a decoder hands over: opaque,
// but where a row marks a pixel fully transparent.
class RgbaCollector : public PictureRowSink {
public:
    void Start(int width, int height) override {
        width_ = width;
        height_ = height;
        pixels.assign(std::size_t(width) * std::size_t(height), Rgba8{});
    }
    std::uint8_t* RowBuffer(int) override {
        row_.resize(3 * std::size_t(width_));
        return row_.data();
    }
    void RowDone(int y) override { Piece(y, 0, width_, row_.data(), nullptr); }
    PieceLayout Pieces() const override { return {0, width_, 0}; }
    void Piece(int y, int x, int n, const std::uint8_t* bgr, const std::uint8_t* clear) override {
        if (y < 0 || y >= height_ || x < 0 || n < 0 || x + n > width_) return;
        Rgba8* out = pixels.data() + std::size_t(y) * std::size_t(width_) + std::size_t(x);
        for (int i = 0; i < n; ++i) {
            const bool transparent = clear && clear[i];
            out[i] = transparent ? Rgba8{} : Rgba8{bgr[3 * i + 2], bgr[3 * i + 1], bgr[3 * i], 255};
        }
    }
    int Width() const { return width_; }
    int Height() const { return height_; }
    std::vector<Rgba8> pixels;

private:
    int width_ = 0, height_ = 0;
    std::vector<std::uint8_t> row_;
};

// The truecolour document of straight RGBA pixels: at the size asked for, else at their own size
// (fitted into the largest output when larger), by premultiplied area averaging.
OpenResult TrueColorPictureDocument(const std::vector<Rgba8>& pixels, int width, int height, const OpenRequest& request,
                                    Document& doc) {
    int w = request.Width, h = request.Height;
    if (!request.SizeGiven) {
        w = width;
        h = height;
        if (w > kMaxResampleSide || h > kMaxResampleSide) {
            const Rect fit = FitInside(width, height, kMaxResampleSide, kMaxResampleSide);
            w = fit.Width();
            h = fit.Height();
        }
    }
    Document fitted = FittedTrueColorDocument(pixels, width, height, w, h, kToolZoom);
    if (!fitted.Ready) return Refusal(EditorMessage(kPictureTooLargeMessage));
    doc = std::move(fitted);
    return {};
}

// A picture as a truecolour document: a PNG with every alpha value it holds, a 32-bit bitmap with
// its alpha bytes, a JPEG and other bitmaps opaque.
OpenResult OpenTrueColorPicture(const Source& in, const OpenRequest& request, Document& doc) {
    std::vector<std::uint8_t> fileBytes;
    if (!in.FromStdin) {
        if (FileResult r = ReadPictureFileBytes(in.Path, fileBytes); !r) return RefusedWithReason(in, r.Message);
    } else if (in.Bytes.size() > kMaxPictureFileBytes) {
        return RefusedWithReason(in, kPictureTooLargeMessage);
    }
    const std::vector<std::uint8_t>& bytes = in.FromStdin ? in.Bytes : fileBytes;
    if (in.Format->Reader == FormatReader::Png) {
        PngInfo info;
        if (FileResult r = ReadPngInfo(bytes, info); !r) return RefusedWithReason(in, r.Message);
        // The same bounds as the picture reader, before any pixel memory is taken.
        const std::int64_t pixels = std::int64_t(info.Width) * info.Height;
        if (pixels > kMaxPicturePixels || pixels > (1ll << 20) + 8256ll * std::int64_t(bytes.size()))
            return RefusedWithReason(in, kPictureTooLargeMessage);
        int w = 0, h = 0;
        std::vector<std::uint8_t> rgba;
        if (!DecodePngRgba(bytes, std::max(info.Width, info.Height), w, h, rgba))
            return RefusedWithReason(in, kPngUnreadableMessage);
        std::vector<std::uint8_t>().swap(fileBytes);   // the file is no longer needed: less held at once
        std::vector<Rgba8> picture(std::size_t(w) * std::size_t(h));
        for (std::size_t i = 0; i < picture.size(); ++i)
            picture[i] = Rgba8{rgba[4 * i], rgba[4 * i + 1], rgba[4 * i + 2], rgba[4 * i + 3]};
        std::vector<std::uint8_t>().swap(rgba);
        return TrueColorPictureDocument(picture, w, h, request, doc);
    }
    RgbaCollector sink;
    const FileResult r = in.Format->Reader == FormatReader::Bitmap ? DecodeBitmapRows(bytes, sink) : DecodeJpegRows(bytes, sink);
    if (!r) return RefusedWithReason(in, r.Message);
    if (in.Format->Reader == FormatReader::Bitmap) ApplyBitmapAlpha(bytes, sink.pixels, sink.Width(), sink.Height());
    return TrueColorPictureDocument(sink.pixels, sink.Width(), sink.Height(), request, doc);
}

// Whether a picture holds alpha of its own: a PNG, or a 32-bit bitmap.
bool PictureHoldsAlpha(const Source& in) {
    if (in.Format->Reader == FormatReader::Png) return true;
    if (in.Format->Reader != FormatReader::Bitmap) return false;
    BitmapInfo info;
    const FileResult r = in.FromStdin ? ReadBitmapInfo(in.Bytes, info) : ReadBitmapFileInfo(in.Path, info);
    return r && info.BitsPerPixel == 32;
}

// A name no reader takes. Wrong usage while nothing was read; a file that exists and whose
// content is no kind pqtool reads either (a GIF or TIFF picture, ...) is refused like any file.
OpenResult NoReader(const std::string& path, bool read, std::span<const std::uint8_t> head = {}) {
    if (!read)
        return OpenResult{kExitUsage, Say("no reader for '" + path + "': inputs are " + InputExtensions(),
                                          "'" + path + "' を読む方法がありません。読めるのは " + InputExtensions() + " です")};
    const std::string looks = LooksLike(head);
    return OpenResult{kExitRefused,
                      Say("not a kind pqtool reads" + (looks.empty() ? "" : " (it looks like " + looks + ")") +
                              ": pqtool reads " + InputExtensions(),
                          "pqtool の読める形式ではありません" + (looks.empty() ? "" : "（" + looks + "のようです）") +
                              "。読めるのは " + InputExtensions() + " です")};
}

// What the first bytes show, when it is a kind the editor opens.
const FileFormat* OpenableContent(std::span<const uint8_t> head) {
    const FileFormat* f = FormatOfContent(head);
    return f && f->EditorOpens() ? f : nullptr;
}

std::string KindTitle(const FileFormat* f) {
    switch (f->Reader) {
    case FormatReader::Document: return Say("a document", "文書");
    case FormatReader::IconImage: return f->Id == FileFormatId::Cursor ? Say("a cursor", "カーソル") : Say("an icon", "アイコン");
    case FormatReader::Bitmap: return Say("a bitmap", "ビットマップ");
    case FormatReader::Jpeg: return Say("a JPEG picture", "JPEG画像");
    case FormatReader::Png: return Say("a PNG picture", "PNG画像");
    default: return std::string(f->Extensions[0]);
    }
}

}  // namespace

OpenResult OpenInput(const std::string& path, const OpenRequest& request, Document& doc) {
    InputFile file = PeekInputFile(path);
    return OpenInput(file, request, doc);
}

OpenResult OpenInput(InputFile& file, const OpenRequest& request, Document& doc) {
    const std::string& path = file.Path;
    Source in;
    in.Path = path;
    std::vector<uint8_t> head;
    const FileFormat* named = nullptr;
    if (path == kStdinName) {
        in.FromStdin = true;
        named = FormatOfKindWord(request.StdinKind);
        if (!named || !named->EditorOpens())
            return OpenResult{kExitUsage, request.StdinKind.empty()
                                              ? Say("standard input '-' needs --format KIND (png, ico, pqf, ...)",
                                                    "標準入力 '-' には --format 形式（png、ico、pqf など）が要ります")
                                              : Say("--format: '" + request.StdinKind + "' is no kind pqtool reads",
                                                    "--format：'" + request.StdinKind + "' は読める形式ではありません")};
        if (!ReadStandardInput(kMaxPictureFileBytes, in.Bytes))
            return Refusal(Say("standard input could not be read: ", "標準入力を読み込めませんでした：") + SystemError(errno));
        if (in.Bytes.empty()) return Refusal(Say("standard input is empty (0 bytes)", "標準入力が空です（0 バイト）"));
        head.assign(in.Bytes.begin(), in.Bytes.begin() + std::ptrdiff_t(std::min(in.Bytes.size(), kContentSniffBytes)));
    } else {
        named = FormatOfPath(path);
        if (named && !named->EditorOpens()) named = nullptr;
        if (std::string problem = InputFileProblem(path); !problem.empty()) {
            if (!named && !std::filesystem::exists(path)) return NoReader(path, false);
            return Refusal(problem);
        }
        if (file.HeadRead)
            head = file.Head;
        else if (ReadFilePrefix(path, kContentSniffBytes, head) != ReadStatus::Ok)
            return Refusal(EditorMessage(CannotReadMessage(path)));
        if (file.File.IsOpen()) in.File = &file.File;
    }
    in.Format = named;
    const FileFormat* content = OpenableContent(head);
    // An explicit --format for standard input is taken at its word; a file's name is not.
    if (!in.FromStdin && content && (!named || content->Reader != named->Reader)) {
        in.Format = content;
        if (named)
            Note(path + ": " + Say("read as " + KindTitle(content) + ", which its content is, not as its name says",
                                   "名前の示す形式ではなく、内容のとおり" + KindTitle(content) + "として読みます"));
    }
    if (!in.Format) return NoReader(path, !head.empty(), head);
    switch (in.Format->Reader) {
    case FormatReader::Document: {
        const FileResult r = in.FromStdin ? LoadDocumentBytes(in.Bytes, doc, kToolZoom) : LoadDocumentFile(path, doc, kToolZoom);
        if (!r) return RefusedWithReason(in, r.Message);
        if (request.TrueColor && !doc.TrueColor) ConvertToTrueColor(doc);
        return {};
    }
    case FormatReader::IconImage: {
        OpenResult r = OpenIcon(in, request.Index, request.Reduction, doc);
        if (r.Exit == kExitOk && request.TrueColor && !doc.TrueColor) ConvertToTrueColor(doc);
        return r;
    }
    default:
        if (request.TrueColor) return OpenTrueColorPicture(in, request, doc);
        if (request.TrueColorWhereAlpha && PictureHoldsAlpha(in)) {
            OpenRequest own = request;
            own.SizeGiven = false;
            return OpenTrueColorPicture(in, own, doc);
        }
        return OpenPicture(in, request, doc);
    }
}

}  // namespace pq::cli
