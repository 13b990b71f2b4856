#include "core/formats/jpeg_reader.h"

#include <csetjmp>
#include <cstdio>
#include <fstream>
#include <vector>

#include <jpeglib.h>
#include <jerror.h>

#include "core/formats/bmp_reader.h"

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

// Progressive files may hold any number of scans; a few hundred is already absurd and
// thousands only cost time.
void ProgressMonitor(j_common_ptr cinfo) {
    auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (d->is_decompressor && d->input_scan_number > 1000) ERREXIT(cinfo, JERR_NOT_COMPILED);
}

// The decoder state, kept outside the function that calls setjmp so that nothing it changes
// is lost when the library jumps back.
struct Decoder {
    jpeg_decompress_struct cinfo{};
    ErrorManager err{};
    jpeg_progress_mgr progress{};
    std::vector<std::uint8_t> cmykRow;
    bool created = false;
    ~Decoder() {
        if (created) jpeg_destroy_decompress(&cinfo);
    }
};

std::uint8_t Mul255(unsigned a, unsigned b) { return std::uint8_t((a * b + 127) / 255); }

// Returns 0 on success, 1 invalid, 2 too large. Everything with a destructor lives in `dec` or
// in the caller, since a longjmp back into this function skips destructors.
int Run(Decoder& dec, std::span<const std::uint8_t> file, Raster* out, JpegInfo& info) {
    jpeg_decompress_struct& cinfo = dec.cinfo;
    cinfo.err = jpeg_std_error(&dec.err.pub);
    dec.err.pub.error_exit = ErrorExit;
    dec.err.pub.emit_message = EmitMessage;
    dec.err.pub.output_message = OutputMessage;
    if (setjmp(dec.err.jump)) return 1;
    jpeg_create_decompress(&cinfo);
    dec.created = true;
    dec.progress.progress_monitor = ProgressMonitor;
    cinfo.progress = &dec.progress;
    if (file.empty()) return 1;
    jpeg_mem_src(&cinfo, file.data(), static_cast<unsigned long>(file.size()));
    if (jpeg_read_header(&cinfo, TRUE) != JPEG_HEADER_OK) return 1;
    info.Width = int(cinfo.image_width);
    info.Height = int(cinfo.image_height);
    info.Components = cinfo.num_components;
    if (cinfo.image_width == 0 || cinfo.image_height == 0) return 1;
    if (std::int64_t(cinfo.image_width) * cinfo.image_height > kMaxPicturePixels) return 2;
    if (!out) return 0;

    const bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
    cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGR;
    jpeg_start_decompress(&cinfo);
    if (int(cinfo.output_width) != info.Width || int(cinfo.output_height) != info.Height) return 1;
    out->Resize(info.Width, info.Height);
    std::vector<std::uint8_t>& cmykRow = dec.cmykRow;
    cmykRow.resize(cmyk ? std::size_t(info.Width) * 4 : 0);
    // Adobe writers store CMYK inverted (0 = full ink); others store it plainly.
    const bool inverted = cinfo.saw_Adobe_marker;
    while (cinfo.output_scanline < cinfo.output_height) {
        const int y = int(cinfo.output_scanline);
        JSAMPROW row = cmyk ? cmykRow.data() : out->Row(y);
        if (jpeg_read_scanlines(&cinfo, &row, 1) != 1) return 1;
        if (cmyk) {
            std::uint8_t* dst = out->Row(y);
            for (int x = 0; x < info.Width; ++x) {
                unsigned c = cmykRow[4 * x], m = cmykRow[4 * x + 1], yy = cmykRow[4 * x + 2], k = cmykRow[4 * x + 3];
                if (!inverted) { c = 255 - c; m = 255 - m; yy = 255 - yy; k = 255 - k; }
                dst[3 * x] = Mul255(yy, k);
                dst[3 * x + 1] = Mul255(m, k);
                dst[3 * x + 2] = Mul255(c, k);
            }
        }
        if (dec.err.truncated) return 1;
    }
    jpeg_finish_decompress(&cinfo);
    return dec.err.truncated ? 1 : 0;
}

FileResult Decode(std::span<const std::uint8_t> file, Raster* picture, JpegInfo& info) {
    Raster out;
    int status;
    {
        Decoder dec;
        status = Run(dec, file, picture ? &out : nullptr, info);
    }
    if (status == 2) return FileResult::Failure(kPictureTooLargeMessage);
    if (status != 0) return FileResult::Failure(kJpegInvalidMessage);
    if (picture) *picture = std::move(out);
    return FileResult::Success();
}

}  // namespace

FileResult DecodeJpeg(std::span<const std::uint8_t> file, Raster& picture, JpegInfo* info) {
    picture = Raster();
    JpegInfo local;
    FileResult r = Decode(file, &picture, local);
    if (r && info) *info = local;
    return r;
}

FileResult ReadJpegInfo(std::span<const std::uint8_t> file, JpegInfo& info) {
    JpegInfo local;
    FileResult r = Decode(file, nullptr, local);
    if (r) info = local;
    return r;
}

FileResult LoadJpegFile(const std::filesystem::path& path, Raster& picture, JpegInfo* info) {
    picture = Raster();
    std::vector<std::uint8_t> bytes;
    if (FileResult r = ReadPictureFileBytes(path, bytes); !r) return r;
    return DecodeJpeg(bytes, picture, info);
}

}  // namespace pq
