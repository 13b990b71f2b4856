#include "core/formats/png_file.h"

#include <png.h>

#include <algorithm>
#include <cstring>
#include <optional>

#include "core/document/blend.h"
#include "core/document/render.h"
#include "core/formats/bmp_reader.h"
#include "core/io/atomic_write.h"

namespace pq {

std::vector<uint8_t> FlattenToRgba(const Document& doc) {
    if (doc.TrueColor) {
        // Every colour and alpha value the visible layers compose to.
        const std::size_t count = std::size_t(std::max(doc.PixelCount(), 0));
        for (const Layer& l : doc.Layers())
            if (l.Pixels.size() != count) return {};
        if (count == 0 || doc.LayerCount() < 1) return {};
        const std::vector<Rgba8> composed = ComposeRgbaLayers(doc.Layers(), count);
        std::vector<uint8_t> rgba(4 * count);
        for (std::size_t i = 0; i < count; ++i)
            rgba[4 * i] = composed[i].r, rgba[4 * i + 1] = composed[i].g, rgba[4 * i + 2] = composed[i].b,
                     rgba[4 * i + 3] = composed[i].a;
        return rgba;
    }
    Composite comp;
    Recompose(doc, TransparencyColors{}, comp);
    const int w = doc.ImageWidth, h = doc.ImageHeight;
    std::vector<uint8_t> rgba;
    if (comp.CompositeColor.Width() != w || comp.CompositeColor.Height() != h || w <= 0 || h <= 0) return rgba;
    rgba.assign(std::size_t(w) * std::size_t(h) * 4, 0);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            // The composite mask is white where some visible layer paints the pixel.
            if (comp.CompositeMask.PixelUnchecked(x, y) == kBlack) continue;
            const Rgb c = comp.CompositeColor.PixelUnchecked(x, y);
            uint8_t* p = rgba.data() + (std::size_t(y) * std::size_t(w) + std::size_t(x)) * 4;
            p[0] = c.r;
            p[1] = c.g;
            p[2] = c.b;
            p[3] = 255;
        }
    }
    return rgba;
}

std::vector<uint8_t> EncodeRgbaPng(int width, int height, std::span<const uint8_t> rgba) {
    if (width <= 0 || height <= 0 || rgba.size() != std::size_t(width) * std::size_t(height) * 4) return {};
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = png_uint_32(width);
    image.height = png_uint_32(height);
    image.format = PNG_FORMAT_RGBA;
    // One pass into a buffer of the largest size such a PNG can take (measuring first would
    // compress the picture twice). The buffer is kept for the next picture: a fresh one of that
    // size, zeroed and faulted in page by page each time, cost as much as a small image's
    // compression when many are written in one run. The result is copied out at its real size.
    thread_local std::vector<uint8_t> scratch;
    png_alloc_size_t size = PNG_IMAGE_PNG_SIZE_MAX(image);
    if (scratch.size() < size) scratch.resize(size);
    if (!png_image_write_to_memory(&image, scratch.data(), &size, 0, rgba.data(), 0, nullptr)) {
        png_image_free(&image);
        return {};
    }
    std::vector<uint8_t> out(scratch.begin(), scratch.begin() + std::ptrdiff_t(size));
    // A very large picture's buffer is not kept.
    if (scratch.size() > (std::size_t(8) << 20)) std::vector<uint8_t>().swap(scratch);
    return out;
}

std::vector<uint8_t> EncodePng(const Document& doc) {
    const std::vector<uint8_t> rgba = FlattenToRgba(doc);
    if (rgba.empty()) return {};
    return EncodeRgbaPng(doc.ImageWidth, doc.ImageHeight, rgba);
}

namespace {

// Where the PNG's bytes come from: a byte range in memory, or a regular file read in chunks.
struct PngInput {
    std::span<const std::uint8_t> bytes;
    const RegularFile* file = nullptr;
    std::uint64_t Size() const { return file ? file->Size() : bytes.size(); }
};

constexpr std::size_t kPngChunkBytes = 256 * 1024;

// The decoder's state, kept outside the function that calls setjmp so that nothing it changes
// is lost when libpng jumps back, and destroyed normally afterwards.
struct PngDecoder {
    png_structp png = nullptr;
    png_infop info = nullptr;
    PngInput input;
    std::uint64_t offset = 0;               // next byte of the input
    std::vector<std::uint8_t> chunk;        // file data read ahead
    std::size_t chunkAt = 0;
    std::vector<std::uint8_t> rows;         // one row, or every row of an interlaced picture
    std::vector<std::uint8_t> rgba;         // one piece of converted pixels
    std::optional<RowPieces> pieces;        // how the rows go to the sink
    ~PngDecoder() {
        if (png) png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
    }
};

[[noreturn]] void PngFailed(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void PngWarned(png_structp, png_const_charp) {}

void ReadPngBytes(png_structp png, png_bytep out, png_size_t n) {
    auto* dec = static_cast<PngDecoder*>(png_get_io_ptr(png));
    if (!dec->input.file) {
        if (n > dec->input.bytes.size() - std::min<std::uint64_t>(dec->offset, dec->input.bytes.size()))
            png_error(png, "cut short");
        std::memcpy(out, dec->input.bytes.data() + dec->offset, n);
        dec->offset += n;
        return;
    }
    while (n > 0) {
        if (dec->chunkAt == dec->chunk.size()) {
            const std::uint64_t left = dec->input.file->Size() - std::min(dec->offset, dec->input.file->Size());
            const std::size_t want = std::size_t(std::min<std::uint64_t>(left, kPngChunkBytes));
            if (want == 0 || !dec->input.file->ReadAt(dec->offset, want, dec->chunk)) png_error(png, "cut short");
            dec->offset += want;
            dec->chunkAt = 0;
        }
        const std::size_t k = std::min(n, dec->chunk.size() - dec->chunkAt);
        std::memcpy(out, dec->chunk.data() + dec->chunkAt, k);
        dec->chunkAt += k;
        out += k;
        n -= k;
    }
}

// A stored sample of 16 bits reduced to 8, rounded to nearest.
inline std::uint8_t Round16(unsigned v) { return std::uint8_t((v * 255u + 32767u) / 65535u); }

// How the stored pixels of a picture become straight 8-bit RGBA: the samples exactly as
// stored (no gamma or colour-space conversion), 1, 2 and 4-bit grey scaled to 0..255,
// 16-bit samples rounded to 8 bits, palette entries looked up (an index the palette lacks is
// opaque black), a tRNS colour or alpha table applied.
struct PngPixels {
    int colorType = 0, depth = 8, width = 0;
    png_colorp palette = nullptr;
    int paletteSize = 0;
    png_bytep alphas = nullptr;
    int alphaCount = 0;
    bool keyed = false;                 // a tRNS colour key for grey or RGB
    png_color_16 key{};

    unsigned Sample(const std::uint8_t* row, std::size_t i) const {
        if (depth == 16) return unsigned(row[2 * i]) << 8 | row[2 * i + 1];
        if (depth == 8) return row[i];
        const std::size_t bit = i * std::size_t(depth);
        return (row[bit / 8] >> (8 - depth - bit % 8)) & ((1u << depth) - 1);
    }
    std::uint8_t Scale(unsigned v) const {
        if (depth == 16) return Round16(v);
        if (depth == 8) return std::uint8_t(v);
        return std::uint8_t(v * 255u / ((1u << depth) - 1));
    }

    // Pixels [x, x + n) of a stored row into n RGBA quadruples.
    void Convert(const std::uint8_t* row, int x, int n, std::uint8_t* out) const {
        // The common 8-bit colour rows need no per-sample work.
        if (depth == 8 && colorType == PNG_COLOR_TYPE_RGBA) {
            std::memcpy(out, row + 4 * std::size_t(x), 4 * std::size_t(n));
            return;
        }
        if (depth == 8 && colorType == PNG_COLOR_TYPE_RGB && !keyed) {
            const std::uint8_t* in = row + 3 * std::size_t(x);
            for (int k = 0; k < n; ++k, in += 3, out += 4) out[0] = in[0], out[1] = in[1], out[2] = in[2], out[3] = 255;
            return;
        }
        for (int k = 0; k < n; ++k, out += 4) {
            const std::size_t p = std::size_t(x + k);
            switch (colorType) {
            case PNG_COLOR_TYPE_GRAY: {
                const unsigned g = Sample(row, p);
                out[0] = out[1] = out[2] = Scale(g);
                out[3] = keyed && g == key.gray ? 0 : 255;
                break;
            }
            case PNG_COLOR_TYPE_RGB: {
                const unsigned r = Sample(row, 3 * p), g = Sample(row, 3 * p + 1), b = Sample(row, 3 * p + 2);
                out[0] = Scale(r), out[1] = Scale(g), out[2] = Scale(b);
                out[3] = keyed && r == key.red && g == key.green && b == key.blue ? 0 : 255;
                break;
            }
            case PNG_COLOR_TYPE_PALETTE: {
                const unsigned i = Sample(row, p);
                if (int(i) < paletteSize) {
                    out[0] = palette[i].red, out[1] = palette[i].green, out[2] = palette[i].blue;
                } else {
                    out[0] = out[1] = out[2] = 0;
                }
                out[3] = int(i) < alphaCount ? alphas[i] : 255;
                break;
            }
            case PNG_COLOR_TYPE_GRAY_ALPHA:
                out[0] = out[1] = out[2] = Scale(Sample(row, 2 * p));
                out[3] = Scale(Sample(row, 2 * p + 1));
                break;
            default:   // RGBA
                for (int c = 0; c < 4; ++c) out[c] = Scale(Sample(row, 4 * p + std::size_t(c)));
                break;
            }
        }
    }
};

// What a run of the decoder produces: nothing (the header alone), rows into a sink, or the
// whole picture as RGBA.
struct PngOutput {
    PictureRowSink* sink = nullptr;
    std::size_t maxColumns = kPictureBandBytes / 4;
    std::vector<std::uint8_t>* rgba = nullptr;
    int maxSide = 0;                      // with rgba: the largest side accepted
    std::vector<Rgba8>* straight = nullptr;   // with a sink: also every pixel as stored, alpha included
};

enum : int { kPngOk = 0, kPngBad = 1, kPngTooLarge = 2 };

// Everything with a destructor lives in `dec` or in the caller, since a longjmp back into this
// function skips destructors.
int RunPng(PngDecoder& dec, const PngOutput& out, PngInfo& info) {
    dec.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, PngFailed, PngWarned);
    if (!dec.png) return kPngBad;
    dec.info = png_create_info_struct(dec.png);
    if (!dec.info) return kPngBad;
    if (setjmp(png_jmpbuf(dec.png))) return kPngBad;
    png_set_read_fn(dec.png, &dec, ReadPngBytes);
    png_read_info(dec.png, dec.info);
    png_uint_32 w = 0, h = 0;
    int depth = 0, colorType = 0, interlace = 0;
    png_get_IHDR(dec.png, dec.info, &w, &h, &depth, &colorType, &interlace, nullptr, nullptr);
    info.Width = int(w);
    info.Height = int(h);
    info.BitDepth = depth;
    info.ColorType = colorType;
    info.Interlaced = interlace != PNG_INTERLACE_NONE;
    PngPixels px;
    px.colorType = colorType;
    px.depth = depth;
    px.width = int(w);
    png_color_16p key = nullptr;
    png_get_tRNS(dec.png, dec.info, &px.alphas, &px.alphaCount, &key);
    if (png_get_valid(dec.png, dec.info, PNG_INFO_tRNS)) {
        if (colorType == PNG_COLOR_TYPE_PALETTE) {
            if (!px.alphas) px.alphaCount = 0;
        } else if (key) {
            px.keyed = true;
            px.key = *key;
            px.alphas = nullptr;
            px.alphaCount = 0;
        }
    } else {
        px.alphas = nullptr;
        px.alphaCount = 0;
    }
    info.MayBeTransparent = (colorType & PNG_COLOR_MASK_ALPHA) != 0 || px.keyed || px.alphaCount > 0;
    if (colorType == PNG_COLOR_TYPE_PALETTE && !png_get_PLTE(dec.png, dec.info, &px.palette, &px.paletteSize))
        return kPngBad;

    const std::uint64_t pixels = std::uint64_t(w) * h;
    if (out.rgba) {
        if (w == 0 || h == 0 || w > png_uint_32(out.maxSide) || h > png_uint_32(out.maxSide)) return kPngBad;
    } else {
        const std::uint64_t dataBound = (1u << 20) + 8256 * dec.input.Size();
        if (w > 0x7FFFFFFF || h > 0x7FFFFFFF || pixels > std::uint64_t(kMaxPicturePixels) || pixels > dataBound)
            return kPngTooLarge;
    }
    if (!out.sink && !out.rgba) return kPngOk;

    const int passes = png_set_interlace_handling(dec.png);
    png_read_update_info(dec.png, dec.info);
    const std::size_t rowBytes = png_get_rowbytes(dec.png, dec.info);
    if (rowBytes != (std::size_t(w) * std::size_t(png_get_channels(dec.png, dec.info)) * std::size_t(depth) + 7) / 8)
        return kPngBad;
    // An interlaced picture is complete only after its last pass: its stored rows are kept
    // whole. Any other is read one row at a time.
    dec.rows.assign(passes > 1 ? rowBytes * h : rowBytes, 0);
    if (passes > 1)
        for (int pass = 0; pass < passes; ++pass)
            for (png_uint_32 y = 0; y < h; ++y) png_read_row(dec.png, dec.rows.data() + rowBytes * y, nullptr);

    if (out.rgba) {
        out.rgba->assign(4 * std::size_t(w) * h, 0);
        for (png_uint_32 y = 0; y < h; ++y) {
            const std::uint8_t* row = dec.rows.data() + (passes > 1 ? rowBytes * y : 0);
            if (passes == 1) png_read_row(dec.png, dec.rows.data(), nullptr);
            px.Convert(row, 0, int(w), out.rgba->data() + 4 * std::size_t(w) * y);
        }
        return kPngOk;
    }

    if (out.straight) out.straight->assign(std::size_t(w) * h, Rgba8{});
    out.sink->Start(int(w), int(h));
    RowPieces& pieces = dec.pieces.emplace(*out.sink, int(w), info.MayBeTransparent, out.maxColumns);
    dec.rgba.resize(4 * std::min<std::size_t>(out.maxColumns, w));
    for (png_uint_32 y = 0; y < h; ++y) {
        const std::uint8_t* row = dec.rows.data() + (passes > 1 ? rowBytes * y : 0);
        if (passes == 1) png_read_row(dec.png, dec.rows.data(), nullptr);
        pieces.Row(int(y), [&](int x, int n, std::uint8_t* bgr, std::uint8_t* clear) {
            // The colours composed over white, as the picture import shows them.
            for (int done = 0; done < n;) {
                const int k = int(std::min<std::size_t>(std::size_t(n - done), dec.rgba.size() / 4));
                px.Convert(row, x + done, k, dec.rgba.data());
                for (int i = 0; i < k; ++i) {
                    const std::uint8_t* p = dec.rgba.data() + 4 * i;
                    const unsigned a = p[3];
                    auto over = [a](unsigned v) { return std::uint8_t((v * a + 255 * (255 - a) + 127) / 255); };
                    std::uint8_t* o = bgr + 3 * std::size_t(done + i);
                    o[0] = over(p[2]), o[1] = over(p[1]), o[2] = over(p[0]);
                    clear[done + i] = a == 0;
                    if (out.straight)
                        (*out.straight)[std::size_t(y) * w + std::size_t(x + done + i)] = Rgba8{p[0], p[1], p[2], p[3]};
                }
                done += k;
            }
            return true;
        });
    }
    // What follows the pixels (the end chunk, text) is not read: a file missing only that
    // holds the whole picture.
    return kPngOk;
}

FileResult PngOutcome(int status) {
    if (status == kPngTooLarge) return FileResult::Failure(kPictureTooLargeMessage);
    if (status != kPngOk) return FileResult::Failure(kPngUnreadableMessage);
    return FileResult::Success();
}

FileResult RunPngInput(const PngInput& input, const PngOutput& out, PngInfo* info) {
    PngDecoder dec;
    dec.input = input;
    PngInfo local;
    const FileResult r = PngOutcome(RunPng(dec, out, local));
    if (r && info) *info = local;
    return r;
}

FileResult OpenPngFile(const std::filesystem::path& path, RegularFile& file) {
    if (file.Open(path) != ReadStatus::Ok) return FileResult::Failure(kPictureFileOpenMessage);
    if (file.Size() > kMaxPictureFileBytes) return FileResult::Failure(kPictureTooLargeMessage);
    return FileResult::Success();
}

// The whole picture into a raster and its transparency plane.
class PictureSink : public PictureRowSink {
public:
    PictureSink(Raster& picture, Plane* clear) : picture_(picture), clear_(clear) {}
    void Start(int width, int height) override {
        picture_.Resize(width, height);
        if (clear_) clear_->assign(std::size_t(width) * std::size_t(height), 0);
    }
    std::uint8_t* RowBuffer(int y) override { return picture_.Row(y); }
    void RowDone(int) override {}
    PieceLayout Pieces() const override { return {0, picture_.Width(), 0}; }
    void Piece(int y, int x, int n, const std::uint8_t* bgr, const std::uint8_t* clear) override {
        std::memcpy(picture_.Row(y) + 3 * std::size_t(x), bgr, 3 * std::size_t(n));
        if (clear_ && clear)
            std::memcpy(clear_->data() + std::size_t(y) * std::size_t(picture_.Width()) + std::size_t(x), clear, std::size_t(n));
    }

private:
    Raster& picture_;
    Plane* clear_;
};

FileResult DecodeWhole(const PngInput& input, Raster& picture, Plane* transparent,
                       std::vector<Rgba8>* straight = nullptr) {
    picture = Raster();
    if (transparent) transparent->clear();
    if (straight) straight->clear();
    Raster out;
    Plane clear;
    std::vector<Rgba8> pixels;
    PictureSink sink(out, transparent ? &clear : nullptr);
    PngOutput o{&sink};
    if (straight) o.straight = &pixels;
    const FileResult r = RunPngInput(input, o, nullptr);
    if (!r) return r;
    picture = std::move(out);
    if (transparent) *transparent = std::move(clear);
    if (straight) *straight = std::move(pixels);
    return r;
}

}  // namespace

FileResult ReadPngInfo(std::span<const std::uint8_t> file, PngInfo& info) {
    return RunPngInput(PngInput{file, nullptr}, PngOutput{}, &info);
}

FileResult ReadPngFileInfo(const std::filesystem::path& path, PngInfo& info) {
    RegularFile file;
    if (FileResult r = OpenPngFile(path, file); !r) return r;
    return RunPngInput(PngInput{{}, &file}, PngOutput{}, &info);
}

FileResult DecodePngRows(std::span<const std::uint8_t> file, PictureRowSink& sink, PngInfo* info, std::size_t bandBytes) {
    return RunPngInput(PngInput{file, nullptr}, PngOutput{&sink, std::max<std::size_t>(1, bandBytes / 4)}, info);
}

FileResult LoadPngFileRows(const std::filesystem::path& path, PictureRowSink& sink, PngInfo* info, std::size_t bandBytes) {
    RegularFile file;
    if (FileResult r = OpenPngFile(path, file); !r) return r;
    return RunPngInput(PngInput{{}, &file}, PngOutput{&sink, std::max<std::size_t>(1, bandBytes / 4)}, info);
}

bool DecodePngRgba(std::span<const std::uint8_t> file, int maxSide, int& width, int& height, std::vector<std::uint8_t>& rgba) {
    std::vector<std::uint8_t> out;
    PngInfo info;
    PngOutput o;
    o.rgba = &out;
    o.maxSide = maxSide;
    if (!RunPngInput(PngInput{file, nullptr}, o, &info)) return false;
    width = info.Width;
    height = info.Height;
    rgba = std::move(out);
    return true;
}

FileResult DecodePngPicture(std::span<const std::uint8_t> file, Raster& picture, Plane* transparent) {
    return DecodeWhole(PngInput{file, nullptr}, picture, transparent);
}

FileResult LoadPngPicture(const std::filesystem::path& path, Raster& picture, Plane* transparent) {
    picture = Raster();
    if (transparent) transparent->clear();
    RegularFile file;
    if (FileResult r = OpenPngFile(path, file); !r) return r;
    return DecodeWhole(PngInput{{}, &file}, picture, transparent);
}

FileResult LoadPngPictureRgba(const std::filesystem::path& path, Raster& picture, Plane& transparent,
                              std::vector<Rgba8>& pixels) {
    picture = Raster();
    transparent.clear();
    pixels.clear();
    RegularFile file;
    if (FileResult r = OpenPngFile(path, file); !r) return r;
    return DecodeWhole(PngInput{{}, &file}, picture, &transparent, &pixels);
}

FileResult SavePngFile(const Document& doc, const std::filesystem::path& path) {
    std::vector<uint8_t> bytes = EncodePng(doc);
    if (bytes.empty()) return FileResult::Failure("PNG画像を作れませんでした。");
    return WriteFileAtomically(path, bytes);
}

}  // namespace pq
