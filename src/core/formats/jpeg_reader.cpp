#include "core/formats/jpeg_reader.h"

#include <csetjmp>
#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <vector>

#include <jpeglib.h>
#include <jerror.h>

#include "core/formats/bmp_reader.h"
#include "core/formats/jpeg_dc_decoder.h"
#include "core/io/atomic_write.h"

namespace pq {

namespace {

// Error manager that jumps back instead of ending the process, and remembers whether the data
// ran out before the picture was complete (the library pads such pictures with grey).
struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    bool truncated = false;
};

[[noreturn]] void ErrorExit(j_common_ptr cinfo) {
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    std::longjmp(err->jump, 1);
}

void EmitMessage(j_common_ptr cinfo, int level) {
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    if (level < 0 && err->pub.msg_code == JWRN_JPEG_EOF) err->truncated = true;
}

void OutputMessage(j_common_ptr) {}

// Progressive files may hold any number of scans, and each scan walks every block of its
// components however little data it holds. The scans may together walk the picture's blocks
// kScanSweeps times (plus a fixed allowance for small pictures), and there may be no more than
// kMaxScans of them; encoders write five or six sweeps' worth.
constexpr std::uint64_t kScanSweeps = 12;
constexpr std::uint64_t kScanAllowanceBlocks = 1u << 22;
constexpr int kMaxScans = 1000;

struct Progress {
    jpeg_progress_mgr pub;   // first: the library sees only this part
    std::uint64_t budget = 0;
    std::uint64_t walked = 0;
    int lastScan = 0;
};

void ProgressMonitor(j_common_ptr cinfo) {
    auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (!d->is_decompressor) return;
    auto* p = reinterpret_cast<Progress*>(cinfo->progress);
    if (d->input_scan_number > kMaxScans) ERREXIT(cinfo, JERR_NOT_COMPILED);
    if (d->input_scan_number == p->lastScan) return;
    p->lastScan = d->input_scan_number;
    for (int i = 0; i < d->comps_in_scan; ++i)
        p->walked += std::uint64_t(d->cur_comp_info[i]->width_in_blocks) * d->cur_comp_info[i]->height_in_blocks;
    if (p->walked > p->budget) ERREXIT(cinfo, JERR_NOT_COMPILED);
}

// A regular file read in chunks as the decoder asks for them; the end of the file reads as an
// end-of-image marker, with the warning the library gives for data that ran out.
struct FileSource {
    jpeg_source_mgr pub;   // first: the library sees only this part
    const RegularFile* file = nullptr;
    std::uint64_t offset = 0;
    std::vector<std::uint8_t> buffer;
};

constexpr std::size_t kChunkBytes = 256 * 1024;

void InitSource(j_decompress_ptr) {}

boolean FillInput(j_decompress_ptr cinfo) {
    static const JOCTET kEndOfImage[2] = {0xFF, JPEG_EOI};
    auto* src = reinterpret_cast<FileSource*>(cinfo->src);
    const std::uint64_t left = src->file->Size() - std::min(src->offset, src->file->Size());
    const std::size_t n = std::size_t(std::min<std::uint64_t>(left, kChunkBytes));
    if (n == 0 || !src->file->ReadAt(src->offset, n, src->buffer)) {
        WARNMS(cinfo, JWRN_JPEG_EOF);
        src->pub.next_input_byte = kEndOfImage;
        src->pub.bytes_in_buffer = 2;
        return TRUE;
    }
    src->offset += n;
    src->pub.next_input_byte = src->buffer.data();
    src->pub.bytes_in_buffer = n;
    return TRUE;
}

void SkipInput(j_decompress_ptr cinfo, long count) {
    if (count <= 0) return;
    auto* src = reinterpret_cast<FileSource*>(cinfo->src);
    if (std::size_t(count) <= src->pub.bytes_in_buffer) {
        src->pub.next_input_byte += count;
        src->pub.bytes_in_buffer -= std::size_t(count);
        return;
    }
    src->offset += std::uint64_t(count) - src->pub.bytes_in_buffer;
    src->pub.bytes_in_buffer = 0;
}

void TermSource(j_decompress_ptr) {}

// The decoder state, kept outside the function that calls setjmp so that nothing it changes
// is lost when the library jumps back.
struct Decoder {
    jpeg_decompress_struct cinfo{};
    ErrorManager err{};
    Progress progress{};
    FileSource fileSource{};
    std::vector<std::uint8_t> cmykRow;
    std::vector<std::uint8_t> bounce;   // a row of its own for a row meant for a 32-byte boundary
    bool created = false;
    ~Decoder() {
        if (created) jpeg_destroy_decompress(&cinfo);
    }
};

// Blocks of 8 x 8 samples in the picture, over all components.
std::uint64_t TotalBlocks(const jpeg_decompress_struct& cinfo) {
    std::uint64_t blocks = 0;
    for (int c = 0; c < cinfo.num_components; ++c)
        blocks += std::uint64_t(cinfo.comp_info[c].width_in_blocks) * cinfo.comp_info[c].height_in_blocks;
    return blocks;
}

std::uint8_t Mul255(unsigned a, unsigned b) { return std::uint8_t((a * b + 127) / 255); }

// Where the compressed data comes from: a byte range in memory, or a file read as needed.
struct Input {
    std::span<const std::uint8_t> bytes;
    const RegularFile* file = nullptr;
    std::uint64_t Size() const { return file ? file->Size() : bytes.size(); }
};

// Returns 0 on success, 1 invalid, 2 too large. Everything with a destructor lives in `dec` or
// in the caller, since a longjmp back into this function skips destructors. Without a sink only
// the header is read.
int Run(Decoder& dec, const Input& input, PictureRowSink* out, JpegInfo& info) {
    jpeg_decompress_struct& cinfo = dec.cinfo;
    cinfo.err = jpeg_std_error(&dec.err.pub);
    dec.err.pub.error_exit = ErrorExit;
    dec.err.pub.emit_message = EmitMessage;
    dec.err.pub.output_message = OutputMessage;
    if (setjmp(dec.err.jump)) return 1;
    jpeg_create_decompress(&cinfo);
    dec.created = true;
    dec.progress.pub.progress_monitor = ProgressMonitor;
    cinfo.progress = &dec.progress.pub;
    if (input.Size() == 0) return 1;
    if (input.file) {
        FileSource& src = dec.fileSource;
        src.file = input.file;
        src.pub.init_source = InitSource;
        src.pub.fill_input_buffer = FillInput;
        src.pub.skip_input_data = SkipInput;
        src.pub.resync_to_restart = jpeg_resync_to_restart;
        src.pub.term_source = TermSource;
        cinfo.src = &src.pub;
    } else {
        jpeg_mem_src(&cinfo, input.bytes.data(), static_cast<unsigned long>(input.bytes.size()));
    }
    if (jpeg_read_header(&cinfo, TRUE) != JPEG_HEADER_OK) return 1;
    info.Width = int(cinfo.image_width);
    info.Height = int(cinfo.image_height);
    info.Components = cinfo.num_components;
    if (cinfo.image_width == 0 || cinfo.image_height == 0) return 1;
    if (std::int64_t(cinfo.image_width) * cinfo.image_height > kMaxPicturePixels) return 2;
    if (!out) return 0;

    // Bounds from the file's real size before anything large is allocated. Huffman coding
    // spends at least one bit on every block, so a file too short for its blocks is cut short
    // and would be refused after decoding it; arithmetic coding (which libjpeg itself long did
    // not read) gives no such bound and is refused.
    if (cinfo.arith_code) return 1;
    const std::uint64_t blocks = TotalBlocks(cinfo);
    if (blocks > 8 * input.Size()) return 1;
    dec.progress.budget = kScanSweeps * blocks + kScanAllowanceBlocks;
    // The decoder's own memory (a progressive file keeps every coefficient: up to 8 bytes per
    // pixel for CMYK) stays within three times the decoded picture plus a fixed allowance.
    cinfo.mem->max_memory_to_use = long(std::min<std::uint64_t>(
        9 * std::uint64_t(cinfo.image_width) * cinfo.image_height + (16u << 20), std::uint64_t(LONG_MAX)));

    const bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
    cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGR;
    // A sink that needs less than the whole picture may have the DCT scale it down (1/2, 1/4 or
    // 1/8 of each side, rounded up), which skips most of the decoding's work.
    const int denom = out->ScaleDenominator(info.Width, info.Height);
    int outWidth = info.Width, outHeight = info.Height;
    if (denom == 2 || denom == 4 || denom == 8) {
        cinfo.scale_num = 1;
        cinfo.scale_denom = unsigned(denom);
        outWidth = int((cinfo.image_width + unsigned(denom) - 1) / unsigned(denom));
        outHeight = int((cinfo.image_height + unsigned(denom) - 1) / unsigned(denom));
    }
    // At 1/8 each luma pixel is a block's DC value alone: a baseline file is read by a decoder
    // that skips the rest (no libjpeg call while `read` lives, so no jump skips its destructor).
    if (denom == 8 && !cinfo.progressive_mode && cinfo.data_precision == 8 &&
        (cinfo.jpeg_color_space == JCS_YCbCr || cinfo.jpeg_color_space == JCS_GRAYSCALE)) {
        const JpegDcPieceReader read = [&](std::uint64_t at, std::size_t n, std::uint8_t* out) {
            return input.file->ReadInto(at, n, out);
        };
        if ((input.file ? DecodeJpegDcRows(input.Size(), read, *out) : DecodeJpegDcRows(input.bytes, *out)) ==
            JpegDcOutcome::Decoded)
            return 0;
    }
    jpeg_start_decompress(&cinfo);
    if (int(cinfo.output_width) != outWidth || int(cinfo.output_height) != outHeight) return 1;
    out->Start(outWidth, outHeight);
    std::vector<std::uint8_t>& cmykRow = dec.cmykRow;
    cmykRow.resize(cmyk ? std::size_t(outWidth) * 4 : 0);
    // Adobe writers store CMYK inverted (0 = full ink); others store it plainly.
    const bool inverted = cinfo.saw_Adobe_marker;
    while (cinfo.output_scanline < cinfo.output_height) {
        const int y = int(cinfo.output_scanline);
        std::uint8_t* dst = out->RowBuffer(y);
        // See JpegRowStart: a row written at a 32-byte boundary would bypass the cache.
        const bool bounced = !cmyk && reinterpret_cast<std::uintptr_t>(dst) % 32 == 0;
        if (bounced && dec.bounce.empty()) dec.bounce.resize(3 * std::size_t(outWidth) + kJpegRowSlack);
        JSAMPROW row = cmyk ? cmykRow.data() : bounced ? JpegRowStart(dec.bounce.data()) : dst;
        if (jpeg_read_scanlines(&cinfo, &row, 1) != 1) return 1;
        if (bounced) std::memcpy(dst, row, 3 * std::size_t(outWidth));
        if (cmyk) {
            for (int x = 0; x < outWidth; ++x) {
                unsigned c = cmykRow[4 * x], m = cmykRow[4 * x + 1], yy = cmykRow[4 * x + 2], k = cmykRow[4 * x + 3];
                if (!inverted) { c = 255 - c; m = 255 - m; yy = 255 - yy; k = 255 - k; }
                dst[3 * x] = Mul255(yy, k);
                dst[3 * x + 1] = Mul255(m, k);
                dst[3 * x + 2] = Mul255(c, k);
            }
        }
        if (dec.err.truncated) return 1;
        out->RowDone(y);
    }
    jpeg_finish_decompress(&cinfo);
    return dec.err.truncated ? 1 : 0;
}

FileResult Outcome(int status) {
    if (status == 2) return FileResult::Failure(kPictureTooLargeMessage);
    if (status != 0) return FileResult::Failure(kJpegInvalidMessage);
    return FileResult::Success();
}

FileResult DecodeInto(const Input& input, PictureRowSink* sink, JpegInfo& info) {
    Decoder dec;
    return Outcome(Run(dec, input, sink, info));
}

FileResult Decode(const Input& input, Raster* picture, JpegInfo& info) {
    Raster out;
    RasterRowSink sink(out);
    FileResult r = DecodeInto(input, picture ? &sink : nullptr, info);
    if (r && picture) *picture = std::move(out);
    return r;
}

FileResult OpenJpegFile(const std::filesystem::path& path, RegularFile& file) {
    if (file.Open(path) != ReadStatus::Ok) return FileResult::Failure(kPictureFileOpenMessage);
    if (file.Size() > kMaxPictureFileBytes) return FileResult::Failure(kPictureTooLargeMessage);
    return FileResult::Success();
}

}  // namespace

FileResult DecodeJpegRows(std::span<const std::uint8_t> file, PictureRowSink& sink, JpegInfo* info) {
    JpegInfo local;
    FileResult r = DecodeInto(Input{file, nullptr}, &sink, local);
    if (r && info) *info = local;
    return r;
}

FileResult LoadJpegFileRows(const std::filesystem::path& path, PictureRowSink& sink, JpegInfo* info) {
    RegularFile file;
    if (FileResult r = OpenJpegFile(path, file); !r) return r;
    return ReadJpegFileRows(file, sink, info);
}

FileResult ReadJpegFileRows(const RegularFile& file, PictureRowSink& sink, JpegInfo* info) {
    if (!file.IsOpen()) return FileResult::Failure(kPictureFileOpenMessage);
    if (file.Size() > kMaxPictureFileBytes) return FileResult::Failure(kPictureTooLargeMessage);
    JpegInfo local;
    FileResult r = DecodeInto(Input{{}, &file}, &sink, local);
    if (r && info) *info = local;
    return r;
}

FileResult DecodeJpeg(std::span<const std::uint8_t> file, Raster& picture, JpegInfo* info) {
    picture = Raster();
    JpegInfo local;
    FileResult r = Decode(Input{file, nullptr}, &picture, local);
    if (r && info) *info = local;
    return r;
}

FileResult ReadJpegInfo(std::span<const std::uint8_t> file, JpegInfo& info) {
    JpegInfo local;
    FileResult r = Decode(Input{file, nullptr}, nullptr, local);
    if (r) info = local;
    return r;
}

FileResult ReadJpegFileInfo(const std::filesystem::path& path, JpegInfo& info) {
    RegularFile file;
    if (FileResult r = OpenJpegFile(path, file); !r) return r;
    JpegInfo local;
    FileResult r = Decode(Input{{}, &file}, nullptr, local);
    if (r) info = local;
    return r;
}

FileResult LoadJpegFile(const std::filesystem::path& path, Raster& picture, JpegInfo* info) {
    picture = Raster();
    RegularFile file;
    if (FileResult r = OpenJpegFile(path, file); !r) return r;
    JpegInfo local;
    FileResult r = Decode(Input{{}, &file}, &picture, local);
    if (r && info) *info = local;
    return r;
}

}  // namespace pq
