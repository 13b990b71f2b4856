// pqtool extract: the images of an icon or cursor file as PNG files, and the icon and cursor
// groups of a program as .ico and .cur files (or, with --documents, its icons as the 32 x 32
// documents the editor's extraction dialog opens).
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <system_error>
#include <vector>

#include <zlib.h>

#ifdef __GLIBC__
#include <malloc.h>
#endif

#include "cli/cli_args.h"
#include "cli/commands.h"
#include "cli/cursor_input.h"
#include "cli/messages.h"
#include "cli/open_input.h"
#include "cli/refusal_reasons.h"
#include "core/formats/file_formats.h"
#include "core/formats/icon_file.h"
#include "core/formats/icon_images.h"
#include "core/formats/icon_set.h"
#include "core/formats/native_document.h"
#include "core/formats/png_file.h"
#include "core/formats/program_icons.h"
#include "core/io/atomic_write.h"

namespace pq::cli {

const char* const kExtractUsage =
    "usage: pqtool extract FILE... OUTDIR [--index N]\n"
    "       pqtool extract PROGRAM... OUTDIR [--index N] [--documents]\n"
    "\n"
    "FILE (.ico, .cur): writes every image of it, or only image N, as\n"
    "OUTDIR/NAME-N-WxH-DEPTH.png (NAME the file's name without its extension, N from 0, DEPTH\n"
    "the image's bits per pixel, 32 for PNG images): exactly its pixels and alpha, a palette\n"
    "image's transparent pixels (its mask) alpha 0, the others 255. A file of more than 1024\n"
    "images, or of more than 67108864 pixels in all, is refused unless --index N picks one.\n"
    "\n"
    "ANIMATION (.ani, Xcursor): writes every size S of every frame F, or of frame N only, as\n"
    "OUTDIR/NAME-F-S-WxH-DEPTH.png, and OUTDIR/NAME-frames.txt listing each page's hotspot and\n"
    "nominal size (\"page F S FILE W H X Y NOMINAL\") and each step's frame and time in\n"
    "milliseconds (\"step STEP FRAME MS\").\n"
    "\n"
    "PROGRAM (.exe, .dll, .scr, any other name): writes every icon group as OUTDIR/NAME.ico and\n"
    "every cursor group as OUTDIR/NAME.cur (NAME the group's resource name or number; '/', '\\'\n"
    "and other characters unfit for a file name as '_'), holding all the group's images byte\n"
    "for byte as the program stores them. --index N writes only icon group N (counted from 0).\n"
    "--documents writes each icon instead, or only icon N, as OUTDIR/iconN.pqf: the 32x32\n"
    "document the editor opens for it (16 colours when the icon has fewer than 16, else 256;\n"
    "its transparent pixels unpainted).\n"
    "\n"
    "Several inputs (icon files and programs mixed) are extracted in one run into the one\n"
    "OUTDIR; an input that fails is reported and the others are still extracted. A program's\n"
    "files are then named after it: OUTDIR/PROGRAM-NAME.ico, .cur, OUTDIR/PROGRAM-iconN.pqf\n"
    "(PROGRAM its file name without the extension). Two files that would get one name are\n"
    "refused before anything is written.\n"
    "\n"
    "OUTDIR is created when missing. Each file written is printed on stdout; images, groups and\n"
    "icons that yield nothing are skipped with a note on stderr.\n"
    "\n"
    "Exit status: 0 when every input gave at least one file and no write failed; 1 when an\n"
    "input holds nothing to extract, yields nothing, or a file cannot be written (the reason on\n"
    "stderr); 2 wrong usage (also N beyond the count, for a single input).\n";

namespace {

const char* const kExtractUsageJa =
    "使い方: pqtool extract FILE... OUTDIR [--index N]\n"
    "        pqtool extract PROGRAM... OUTDIR [--index N] [--documents]\n"
    "\n"
    "FILE（.ico, .cur）: その画像をすべて、または N 番目の画像だけを\n"
    "OUTDIR/NAME-N-WxH-DEPTH.png に書きます（NAME はファイル名から拡張子を除いたもの、N は\n"
    "0 から、DEPTH は画像のピクセルあたりのビット数で PNG の画像は 32）。ピクセルとアルファを\n"
    "そのまま写し、パレット画像の透明なピクセル（マスク）はアルファ 0、ほかは 255 にします。\n"
    "画像が 1024 枚を超えるか、画素が合わせて 67108864 を超えるファイルは、--index N で\n"
    "一枚を選ばない限り受け付けません。\n"
    "\n"
    "ANIMATION（.ani、Xcursor）: 各フレーム F の各サイズ S を、または N 番目のフレームだけを\n"
    "OUTDIR/NAME-F-S-WxH-DEPTH.png に書き、各ページのホットスポットと公称サイズ\n"
    "（\"page F S FILE W H X Y NOMINAL\"）と各ステップのフレームとミリ秒（\"step STEP FRAME MS\"）を\n"
    "OUTDIR/NAME-frames.txt に書きます。\n"
    "\n"
    "PROGRAM（.exe, .dll, .scr、ほかのどんな名前でも）: アイコングループを一つずつ\n"
    "OUTDIR/NAME.ico に、カーソルグループを OUTDIR/NAME.cur に書きます（NAME はグループの\n"
    "リソース名か番号。'/'、'\\' などファイル名に使えない文字は '_' にします）。グループの\n"
    "画像はすべて、プログラムに収められたとおりに 1 バイトも変えずに入れます。\n"
    "--index N を指定すると N 番目（0 から）のアイコングループだけを書きます。\n"
    "--documents を指定すると、代わりに各アイコンを、または N 番目のアイコンだけを\n"
    "OUTDIR/iconN.pqf に書きます。エディタがそのアイコンを開いたときの 32x32 の文書です\n"
    "（アイコンの色が 16 色より少なければ 16 色、そうでなければ 256 色。透明なピクセルは\n"
    "塗らずに残します）。\n"
    "\n"
    "複数の入力（アイコンファイルとプログラムを混ぜてもかまいません）を一度に同じ OUTDIR に\n"
    "取り出します。失敗した入力は報告し、ほかの入力の取り出しは続けます。このときプログラムの\n"
    "ファイルはプログラムの名前を付けて OUTDIR/PROGRAM-NAME.ico、.cur、OUTDIR/PROGRAM-iconN.pqf\n"
    "とします（PROGRAM はファイル名から拡張子を除いたもの）。同じ名前になるファイルが二つ\n"
    "あるときは、何も書かずに受け付けません。\n"
    "\n"
    "OUTDIR がなければ作ります。書いたファイルは一つずつ標準出力に表示します。何も得られない\n"
    "画像、グループ、アイコンは飛ばし、標準エラー出力にその旨を出します。\n"
    "\n"
    "終了ステータス: 0 どの入力からもファイルが一つ以上得られ、書き込みの失敗もなかった。\n"
    "1 取り出すものがない入力か何も得られない入力があったか、ファイルを書けなかった（理由は\n"
    "標準エラー出力）。2 使い方の誤り（入力が一つのときに N が数を超えた場合も）。\n";

}  // namespace

std::string ExtractUsage() { return Say(kExtractUsage, kExtractUsageJa); }

namespace {

constexpr std::array<OptionSpec, 1> kOptions{{{"--index"}}};
// Takes no value, so it is taken out of the words before ParseArgs sees them.
constexpr std::string_view kDocumentsFlag = "--documents";

// One file an input will give: its name in OUTDIR and how its bytes are made. Make returns
// nullopt for an image, group or icon that yields nothing, after saying so on stderr.
struct PlannedFile {
    std::string Name;
    std::function<std::optional<std::vector<uint8_t>>()> Make;
};

// Whether `png`, the bytes a PNG image of an icon is written as, is a whole PNG file as an
// encoder wrote it: the signature; chunks that lie within the bytes, each with its CRC right;
// IHDR first, of a size within what icon images may have and with a valid sample format;
// IDAT chunks in one run, the first starting a zlib stream; and IEND.
// The CRCs cover the compressed pixels, so damage anywhere in them shows without decoding the
// image only to copy it (which was most of the cost of extracting icons with large PNG images).
bool IntactPng(std::span<const uint8_t> png) {
    static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (png.size() < 8 || !std::equal(kSignature, kSignature + 8, png.begin())) return false;
    auto u32 = [&](std::size_t at) {
        return uint32_t(png[at]) << 24 | uint32_t(png[at + 1]) << 16 | uint32_t(png[at + 2]) << 8 | uint32_t(png[at + 3]);
    };
    std::size_t at = 8;
    bool first = true, sawData = false, dataEnded = false;
    while (true) {
        if (png.size() - at < 12) return false;
        const uint32_t length = u32(at);
        if (length > 0x7FFFFFFFu || png.size() - at - 12 < length) return false;
        const uint8_t* type = png.data() + at + 4;
        const uint8_t* body = type + 4;
        const uLong crc = crc32(crc32(0L, Z_NULL, 0), type, uInt(4 + length));
        if (crc != u32(at + 8 + length)) return false;
        const std::string_view name(reinterpret_cast<const char*>(type), 4);
        if (first) {
            if (name != "IHDR" || length != 13) return false;
            const uint32_t w = u32(at + 8), h = u32(at + 12);
            const int depth = body[8], color = body[9];
            if (w == 0 || h == 0 || w > uint32_t(kMaxPngIconSide) || h > uint32_t(kMaxPngIconSide)) return false;
            const bool formatOk = (color == 0 && (depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16)) ||
                                  (color == 3 && (depth == 1 || depth == 2 || depth == 4 || depth == 8)) ||
                                  ((color == 2 || color == 4 || color == 6) && (depth == 8 || depth == 16));
            if (!formatOk || body[10] != 0 || body[11] != 0 || body[12] > 1) return false;
            first = false;
        } else if (name == "IDAT") {
            if (dataEnded) return false;
            if (!sawData) {
                // A zlib stream of deflate data: its two-byte header.
                if (length < 2 || (body[0] & 0x0F) != 8 || (body[0] >> 4) > 7 || ((body[0] << 8) | body[1]) % 31 != 0)
                    return false;
            }
            sawData = true;
        } else {
            dataEnded = dataEnded || sawData;
            if (name == "IHDR") return false;
            // What follows IEND within the entry's bytes is copied as it always was.
            if (name == "IEND") return sawData && length == 0;
        }
        at += 12 + std::size_t(length);
    }
}

// What one input gives: an immediate status (a refusal, already reported), or its files.
struct InputPlan {
    std::string Input;
    int Status = kExitOk;
    std::vector<PlannedFile> Files;
};

// The PNG files of decoded images (8-bit RGBA), all made through one deflate stream that is
// reset between images: setting up a stream of its own for each small image (its buffers
// allocated and its tables cleared) cost more than compressing the image. Each row is filtered
// the way that gives the smallest sum of its bytes taken as signed numbers, and the rows are
// compressed at the default level with the strategy for filtered data.
class PngMaker {
public:
    PngMaker() { ready_ = deflateInit2(&z_, 6, Z_DEFLATED, 15, 8, Z_FILTERED) == Z_OK; }
    ~PngMaker() {
        if (ready_) deflateEnd(&z_);
    }
    PngMaker(const PngMaker&) = delete;
    PngMaker& operator=(const PngMaker&) = delete;

    // Empty for an image of no pixels or pixels that do not match its size.
    std::vector<uint8_t> Make(int width, int height, std::span<const uint8_t> rgba) {
        if (!ready_ || width <= 0 || height <= 0 || rgba.size() != std::size_t(width) * std::size_t(height) * 4) return {};
        const std::size_t stride = 4 * std::size_t(width);
        filtered_.resize((stride + 1) * std::size_t(height));
        for (int y = 0; y < height; ++y)
            FilterRow(rgba.data() + stride * std::size_t(y), y > 0 ? rgba.data() + stride * std::size_t(y - 1) : nullptr, stride,
                      filtered_.data() + (stride + 1) * std::size_t(y));
        if (deflateReset(&z_) != Z_OK) return {};
        packed_.resize(deflateBound(&z_, uLong(filtered_.size())));
        z_.next_in = filtered_.data();
        z_.avail_in = uInt(filtered_.size());
        z_.next_out = packed_.data();
        z_.avail_out = uInt(packed_.size());
        if (deflate(&z_, Z_FINISH) != Z_STREAM_END) return {};
        const std::size_t packed = packed_.size() - z_.avail_out;
        std::vector<uint8_t> out;
        out.reserve(8 + 25 + 12 + packed + 12);
        static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
        out.insert(out.end(), kSignature, kSignature + 8);
        uint8_t header[13] = {};
        Put32(header, uint32_t(width));
        Put32(header + 4, uint32_t(height));
        header[8] = 8;   // bits per sample
        header[9] = 6;   // RGBA
        Chunk(out, "IHDR", header, sizeof header);
        Chunk(out, "IDAT", packed_.data(), packed);
        Chunk(out, "IEND", nullptr, 0);
        return out;
    }

private:
    static void Put32(uint8_t* at, uint32_t v) {
        at[0] = uint8_t(v >> 24), at[1] = uint8_t(v >> 16), at[2] = uint8_t(v >> 8), at[3] = uint8_t(v);
    }

    static void Chunk(std::vector<uint8_t>& out, const char* type, const uint8_t* data, std::size_t n) {
        uint8_t length[4];
        Put32(length, uint32_t(n));
        out.insert(out.end(), length, length + 4);
        const std::size_t at = out.size();
        out.insert(out.end(), type, type + 4);
        if (n) out.insert(out.end(), data, data + n);
        uLong crc = crc32(0, out.data() + at, uInt(4 + n));
        uint8_t sum[4];
        Put32(sum, uint32_t(crc));
        out.insert(out.end(), sum, sum + 4);
    }

    // A filtered byte's cost: its size taken as a signed number.
    static unsigned Cost(uint8_t v) { return v < 128 ? v : 256u - v; }
    static uint8_t Paeth(int a, int b, int c) {
        const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
        return uint8_t(pa <= pb && pa <= pc ? a : pb <= pc ? b : c);
    }

    // The row as the filter of the smallest cost makes it (the first of equal costs in the order
    // None, Sub, Up, Average, Paeth; only None and Sub for the first row), its filter byte first.
    // Each filter's cost is one plain pass over the row, so that the compiler can vectorize it.
    static void FilterRow(const uint8_t* row, const uint8_t* above, std::size_t n, uint8_t* out) {
        constexpr std::size_t bpp = 4;
        unsigned long cost[5] = {0, 0, ~0ul, ~0ul, ~0ul};
        for (std::size_t i = 0; i < n; ++i) cost[0] += Cost(row[i]);
        for (std::size_t i = 0; i < bpp; ++i) cost[1] += Cost(row[i]);
        for (std::size_t i = bpp; i < n; ++i) cost[1] += Cost(uint8_t(row[i] - row[i - bpp]));
        if (above) {
            cost[2] = cost[3] = cost[4] = 0;
            for (std::size_t i = 0; i < n; ++i) cost[2] += Cost(uint8_t(row[i] - above[i]));
            for (std::size_t i = 0; i < bpp; ++i) cost[3] += Cost(uint8_t(row[i] - above[i] / 2));
            for (std::size_t i = bpp; i < n; ++i) cost[3] += Cost(uint8_t(row[i] - (row[i - bpp] + above[i]) / 2));
            for (std::size_t i = 0; i < bpp; ++i) cost[4] += Cost(uint8_t(row[i] - above[i]));
            for (std::size_t i = bpp; i < n; ++i)
                cost[4] += Cost(uint8_t(row[i] - Paeth(row[i - bpp], above[i], above[i - bpp])));
        }
        int best = 0;
        for (int f = 1; f < 5; ++f)
            if (cost[f] < cost[best]) best = f;
        out[0] = uint8_t(best);
        uint8_t* o = out + 1;
        switch (best) {
        case 0: std::copy_n(row, n, o); break;
        case 1:
            for (std::size_t i = 0; i < n; ++i) o[i] = uint8_t(row[i] - (i >= bpp ? row[i - bpp] : 0));
            break;
        case 2:
            for (std::size_t i = 0; i < n; ++i) o[i] = uint8_t(row[i] - above[i]);
            break;
        case 3:
            for (std::size_t i = 0; i < n; ++i) o[i] = uint8_t(row[i] - ((i >= bpp ? row[i - bpp] : 0) + above[i]) / 2);
            break;
        default:
            for (std::size_t i = 0; i < bpp; ++i) o[i] = uint8_t(row[i] - above[i]);
            for (std::size_t i = bpp; i < n; ++i) o[i] = uint8_t(row[i] - Paeth(row[i - bpp], above[i], above[i - bpp]));
            break;
        }
    }

    z_stream z_{};
    bool ready_ = false;
    std::vector<uint8_t> filtered_, packed_;
};

// Writes the files and counts them; flushes them to disk once at the end.
class Writer {
public:
    explicit Writer(std::filesystem::path dir) : dir_(std::move(dir)) {}

    void Write(const std::string& name, const std::vector<uint8_t>& bytes) {
        const std::filesystem::path target = dir_ / name;
        if (FileResult r = bytes.empty() ? FileResult::Failure("「" + target.string() + "」に書き込めませんでした。")
                                         : WriteFileAtomically(target, bytes, Flush::Later);
            !r) {
            Refused(target.string(), r.Message);
            ++failed_;
            return;
        }
        std::printf("%s\n", target.string().c_str());
        ++written_;
    }

    // The outcome of one input since the previous call: ok when it gave a file and none failed.
    int Finish() {
        const int status = written_ > 0 && failed_ == 0 ? kExitOk : kExitRefused;
        anyWritten_ = anyWritten_ || written_ > 0;
        written_ = failed_ = 0;
        return status;
    }
    // Flushes everything written, once for the whole run.
    bool Flush() const { return !anyWritten_ || FlushFileSystem(dir_); }

private:
    std::filesystem::path dir_;
    int written_ = 0, failed_ = 0;
    bool anyWritten_ = false;
};

std::string CannotCreateFolder() { return Say("cannot create this folder", "このフォルダを作れません"); }

bool MakeFolder(const std::filesystem::path& dir) {
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    return std::filesystem::is_directory(dir, ec);
}

// A resource name as a file name: characters a file name cannot hold, or that would lead out
// of the folder, become '_'.
std::string FileNameOf(const std::string& name) {
    std::string s = name;
    for (char& c : s)
        if (c == '/' || c == '\\' || c == ':' || c == '*' || c == '?' || c == '"' || c == '<' || c == '>' || c == '|')
            c = '_';
    if (s.empty() || s == "." || s == "..") s = "_" + s;
    return s;
}

// Why an icon file is too large to extract whole: its image count, else the pixels of all its images.
std::string WholeFileLimit(const IconSetMeasure& m) {
    const std::string hint = Say(" (--index N extracts one image)", "（--index N で一枚ずつ取り出せます）");
    if (m.TooManyPages())
        return Say("over a limit: the file holds " + std::to_string(m.Pages) + " images, more than the " +
                       std::to_string(kMaxIconSetPages) + " extract writes from one file",
                   "上限を超えています：画像が " + std::to_string(m.Pages) + " 枚あり、一つのファイルから取り出せる " +
                       std::to_string(kMaxIconSetPages) + " 枚を超えています") +
               hint;
    if (!m.TooManyPixels())
        return Say("over a limit: the images' data come to " + std::to_string(m.StoredBytes) + " bytes in all, more than the " +
                       std::to_string(kMaxIconSetStoredBytes) + " extract reads from one file",
                   "上限を超えています：画像のデータが合わせて " + std::to_string(m.StoredBytes) +
                       " バイトあり、一つのファイルから取り出せる " + std::to_string(kMaxIconSetStoredBytes) + " バイトを超えています") +
               hint;
    return Say("over a limit: the images hold " + std::to_string(m.Pixels) + " pixels in all, more than the " +
                   std::to_string(kMaxIconSetPixels) + " extract decodes from one file",
               "上限を超えています：画像の画素が合わせて " + std::to_string(m.Pixels) + " あり、一つのファイルから取り出せる " +
                   std::to_string(kMaxIconSetPixels) + " を超えています") +
           hint;
}

InputPlan PlanIconFile(const std::string& path, int only) {
    InputPlan plan{path};
    auto bytes = std::make_shared<std::vector<uint8_t>>();
    if (FileResult r = ReadIconFileBytes(path, *bytes); !r) {
        const std::string reason = IconFileSizeReason(path);
        plan.Status = Refused(path, EditorMessage(r.Message) + (reason.empty() ? "" : "\n" + reason));
        return plan;
    }
    auto dir = std::make_shared<IconDirectory>();
    if (FileResult r = ReadIconDirectory(*bytes, *dir); !r) {
        plan.Status = Refused(path, RefusalWithReason(r.Message, FormatReader::IconImage, *bytes, -1));
        return plan;
    }
    if (dir->Entries.empty()) {
        plan.Status = Refused(path, Say("the file holds no images", "画像が一枚もありません"));
        return plan;
    }
    if (only >= int(dir->Entries.size())) {
        plan.Status = UsageFailure("extract", "--index " + std::to_string(only) +
                                                  Say(" is out of range: the file holds ", " は範囲外です。このファイルの画像は ") +
                                                  std::to_string(dir->Entries.size()) + Say(" image(s)", " 枚です"));
        return plan;
    }
    // The whole file is decoded only within what an icon set may hold.
    if (const IconSetMeasure m = MeasureIconSet(*bytes, *dir); only < 0 && !m.WithinLimits()) {
        plan.Status = Refused(path, WholeFileLimit(m));
        return plan;
    }
    const std::string stem = std::filesystem::path(path).stem().string();
    // Entries sharing one image's data (offset, byte count) give the same PNG: made once.
    auto made = std::make_shared<std::map<std::pair<uint32_t, uint32_t>, std::optional<std::vector<uint8_t>>>>();
    for (int i = 0; i < int(dir->Entries.size()); ++i) {
        if (only >= 0 && i != only) continue;
        const IconDirEntry& entry = dir->Entries[std::size_t(i)];
        const IconImageFacts facts = DescribeIconImage(*bytes, entry);
        int w = entry.Width == 0 ? 256 : entry.Width, h = entry.Height == 0 ? 256 : entry.Height;
        IconImageSize(*bytes, entry, w, h);
        const int depth = facts.Png ? 32 : facts.BitCount;
        const std::string name = ExtractedImageName(stem, i, w, h, depth);
        plan.Files.push_back({name, [=]() -> std::optional<std::vector<uint8_t>> {
            const IconDirEntry& e = dir->Entries[std::size_t(i)];
            const auto key = std::make_pair(e.ImageOffset, e.BytesInRes);
            auto it = made->find(key);
            if (it == made->end()) {
                std::optional<std::vector<uint8_t>> png;
                RgbaImage image;
                if (e.ImageOffset > bytes->size()) {
                    // Nothing there: refused below.
                } else if (facts.Png) {
                    // A whole PNG image is already the file asked for: its own bytes hold exactly
                    // its pixels, and copying them spares compressing the largest images again.
                    // The bytes checked are the ones written (the entry's byte count, at most to
                    // the end of the file), so a PNG the entry cuts short is not written cut.
                    const std::size_t length = std::min<std::size_t>(e.BytesInRes, bytes->size() - e.ImageOffset);
                    const std::span<const uint8_t> own = std::span<const uint8_t>(*bytes).subspan(e.ImageOffset, length);
                    if (IntactPng(own)) png.emplace(own.begin(), own.end());
                } else if (DecodeIconRgba(std::span<const uint8_t>(*bytes).subspan(e.ImageOffset), image)) {
                    static PngMaker maker;
                    png = maker.Make(image.Width, image.Height, image.Pixels);
                }
                it = made->emplace(key, std::move(png)).first;
            }
            if (!it->second) {
                const std::string reason = RefusalReason(FormatReader::IconImage, *bytes, i);
                Note(path + ": " + Say("image " + std::to_string(i) + " cannot be decoded; skipped",
                                       "画像 " + std::to_string(i) + " を読み取れないので飛ばします") +
                     (reason.empty() ? "" : Say(" (", "（") + reason + Say(")", "）")));
            }
            return it->second;
        }});
    }
    return plan;
}

// An .ani or Xcursor file: every size of every frame (or of frame N) as NAME-F-S-WxH-DEPTH.png,
// and NAME-frames.txt listing each page's hotspot and nominal size and each step's frame and time.
InputPlan PlanAnimation(const std::string& path, CursorFileKind kind, int only) {
    InputPlan plan{path, kExitOk, {}};
    auto anim = std::make_shared<CursorAnimation>();
    if (CursorOpen r = OpenCursorFile(path, kind, *anim); r.Exit != kExitOk) {
        plan.Status = Refused(path, r.Message);
        return plan;
    }
    if (only >= int(anim->Frames.size())) {
        plan.Status = UsageFailure("extract", "--index " + std::to_string(only) +
                                                  Say(" is out of range: the file holds ", " は範囲外です。このファイルのフレームは ") +
                                                  std::to_string(anim->Frames.size()) + Say(" frame(s)", " 個です"));
        return plan;
    }
    const std::string stem = std::filesystem::path(path).stem().string();
    std::string listing = "# page FRAME SIZE FILE WIDTH HEIGHT HOTSPOT_X HOTSPOT_Y NOMINAL\n# step STEP FRAME MILLISECONDS\n";
    for (std::size_t f = 0; f < anim->Frames.size(); ++f) {
        if (only >= 0 && int(f) != only) continue;
        for (std::size_t z = 0; z < anim->Frames[f].Sizes.size(); ++z) {
            const Document& d = anim->Frames[f].Sizes[z].Doc;
            const std::string name = stem + "-" + std::to_string(f) + "-" + std::to_string(z) + "-" +
                                     std::to_string(d.ImageWidth) + "x" + std::to_string(d.ImageHeight) + "-" +
                                     (d.TrueColor ? "32" : d.ColorCount == 16 ? "4" : "8") + ".png";
            listing += "page " + std::to_string(f) + " " + std::to_string(z) + " " + name + " " +
                       std::to_string(d.ImageWidth) + " " + std::to_string(d.ImageHeight) + " " +
                       std::to_string(d.HotspotX) + " " + std::to_string(d.HotspotY) + " " +
                       std::to_string(NominalSizeOf(anim->Frames[f], z)) + "\n";
            plan.Files.push_back({name, [anim, f, z]() -> std::optional<std::vector<uint8_t>> {
                const Document& doc = anim->Frames[f].Sizes[z].Doc;
                return EncodeRgbaPng(doc.ImageWidth, doc.ImageHeight, FlattenToRgba(doc));
            }});
        }
    }
    for (std::size_t s = 0; s < anim->Steps.size(); ++s)
        listing += "step " + std::to_string(s) + " " + std::to_string(anim->Steps[s]) + " " +
                   std::to_string(anim->StepMilliseconds[s]) + "\n";
    plan.Files.push_back({stem + "-frames.txt", [listing]() -> std::optional<std::vector<uint8_t>> {
        return std::vector<uint8_t>(listing.begin(), listing.end());
    }});
    return plan;
}

InputPlan PlanGroups(const std::string& program, std::shared_ptr<const ProgramIcons> icons, int only,
                     const std::string& prefix) {
    InputPlan plan{program};
    if (icons->Count() + icons->CursorCount() <= 0) {
        plan.Status = Refused(program, kNoIconsMessage);
        return plan;
    }
    using Kind = ProgramIcons::GroupKind;
    for (const Kind kind : {Kind::Icon, Kind::Cursor}) {
        const bool cursor = kind == Kind::Cursor;
        if (cursor && only >= 0) break;
        const int count = cursor ? icons->CursorCount() : icons->Count();
        for (int i = 0; i < count; ++i) {
            if (only >= 0 && i != only) continue;
            const std::string& name = cursor ? icons->CursorGroupName(i) : icons->GroupName(i);
            plan.Files.push_back({prefix + FileNameOf(name) + (cursor ? ".cur" : ".ico"),
                                  [=]() -> std::optional<std::vector<uint8_t>> {
                                      std::vector<uint8_t> file;
                                      if (icons->GroupFile(kind, i, file)) return file;
                                      Note(program + ": " +
                                           Say(std::string(cursor ? "cursor" : "icon") + " group " + name +
                                                   ": broken or lacking images; skipped",
                                               std::string(cursor ? "カーソル" : "アイコン") + "グループ " + name +
                                                   ": 画像が壊れているか足りないので飛ばします"));
                                      return std::nullopt;
                                  }});
        }
    }
    return plan;
}

InputPlan PlanDocuments(const std::string& program, std::shared_ptr<const ProgramIcons> icons, int only,
                        const std::string& prefix) {
    InputPlan plan{program};
    if (icons->Count() <= 0) {
        plan.Status = Refused(program, kNoIconsMessage);
        return plan;
    }
    for (int i = 0; i < icons->Count(); ++i) {
        if (only >= 0 && i != only) continue;
        plan.Files.push_back({prefix + "icon" + std::to_string(i) + ".pqf", [=]() -> std::optional<std::vector<uint8_t>> {
            IconPicture picture;
            if (!icons->Extract(i, picture)) {
                Note(program + ": " + Say("icon " + std::to_string(i) + ": the program yields no picture for it; skipped",
                                          "アイコン " + std::to_string(i) + ": プログラムから画像を取り出せないので飛ばします"));
                return std::nullopt;
            }
            Document doc;
            IconFromPictures(doc, picture, kToolZoom);
            return EncodeDocument(doc);
        }});
    }
    return plan;
}

// What one input will give, its refusals reported at once. With several inputs a program's
// files are named after it ("PROGRAM-NAME.ico"), so that programs naming their groups alike
// do not take each other's names.
InputPlan PlanOne(const std::string& input, int only, bool documents, bool several) {
    InputPlan plan{input};
    if (std::string problem = InputFileProblem(input); !problem.empty()) {
        plan.Status = Refused(input, problem);
        return plan;
    }
    if (const CursorFileKind kind = CursorFileKindOf(input); kind != CursorFileKind::None) {
        if (documents) {
            plan.Status = UsageFailure("extract", Say("--documents applies to programs only", "--documents はプログラムにだけ使えます"));
            return plan;
        }
        return PlanAnimation(input, kind, only);
    }
    const FileFormat* format = FormatOfPath(input);
    if (format && (format->Id == FileFormatId::Icon || format->Id == FileFormatId::Cursor)) {
        if (documents) {
            plan.Status = UsageFailure("extract", Say("--documents applies to programs only", "--documents はプログラムにだけ使えます"));
            return plan;
        }
        return PlanIconFile(input, only);
    }
    auto icons = std::make_shared<ProgramIcons>();
    if (FileResult r = ProgramIcons::Load(input, *icons); !r) {
        plan.Status = Refused(input, r.Message);
        return plan;
    }
    if (icons->Count() + icons->CursorCount() <= 0) {
        // Why nothing is there: no program at all, a damaged one, or a program without icons.
        std::vector<uint8_t> head;
        ReadFilePrefix(input, 4096, head);
        const std::string why = ProgramProblemReason(icons->Problem(), head);
        plan.Status = Refused(input, EditorMessage(kNoIconsMessage) + (why.empty() ? "" : "\n" + why));
        return plan;
    }
    // A damaged or cut program gives what can still be found in it, with a note saying so.
    if (const std::string why = ProgramProblemReason(icons->Problem(), {}); !why.empty())
        Note(input + ": " + why);
    if (only >= 0 && only >= icons->Count() && icons->Count() > 0) {
        plan.Status = UsageFailure("extract", "--index " + std::to_string(only) +
                                                  Say(" is out of range: the program holds ",
                                                      " は範囲外です。このプログラムのアイコンは ") +
                                                  std::to_string(icons->Count()) + Say(" icon(s)", " 個です"));
        return plan;
    }
    const std::string prefix = several ? std::filesystem::path(input).stem().string() + "-" : "";
    return documents ? PlanDocuments(input, icons, only, prefix) : PlanGroups(input, icons, only, prefix);
}

}  // namespace

int RunExtract(std::span<const std::string> args) {
    if (AsksForHelp(args)) {
        std::fputs(ExtractUsage().c_str(), stdout);
        return kExitOk;
    }
#ifdef __GLIBC__
    // Images are decoded and compressed one after another in buffers of up to a few hundred
    // kilobytes: the heap keeps the room it grew to rather than handing it back to the system
    // after each image and asking for it again (a system call and fresh pages each time).
    mallopt(M_TRIM_THRESHOLD, 64 << 20);
    mallopt(M_TOP_PAD, 4 << 20);
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
#endif
    // --documents before any "--" is the flag; everything else goes to ParseArgs.
    std::vector<std::string> words;
    bool documents = false, optionsEnded = false;
    for (const std::string& a : args) {
        if (a == "--") optionsEnded = true;
        if (!optionsEnded && a == kDocumentsFlag) {
            if (documents)
                return UsageFailure("extract", Say("option '--documents' given more than once",
                                                   "オプション '--documents' が二度あります"));
            documents = true;
            continue;
        }
        words.push_back(a);
    }
    ParsedArgs parsed;
    std::string error;
    if (!ParseArgs(words, kOptions, parsed, error)) return UsageFailure("extract", error);
    if (parsed.Positionals.size() < 2)
        return UsageFailure("extract", parsed.Positionals.empty()
                                           ? Say("missing PROGRAM and OUTDIR", "PROGRAM と OUTDIR がありません")
                                           : Say("missing OUTDIR", "OUTDIR がありません"));
    int only = -1;
    if (parsed.Has("--index") && !ParseNonNegative(parsed.Value("--index"), only))
        return UsageFailure("extract", Say("--index: '" + parsed.Value("--index") + "' is not a whole number 0 or above",
                                           "--index：'" + parsed.Value("--index") + "' は 0 以上の整数ではありません"));
    const std::filesystem::path outDir = parsed.Positionals.back();
    const std::span<const std::string> inputs(parsed.Positionals.data(), parsed.Positionals.size() - 1);
    std::vector<InputPlan> plans;
    for (const std::string& input : inputs) plans.push_back(PlanOne(input, only, documents, inputs.size() > 1));
    // Two files of one name would leave only the last: refused before anything is written.
    std::map<std::string, std::vector<const InputPlan*>> byName;
    for (const InputPlan& plan : plans)
        for (const PlannedFile& file : plan.Files) byName[file.Name].push_back(&plan);
    bool clash = false;
    for (const auto& [name, from] : byName) {
        if (from.size() < 2) continue;
        clash = true;
        std::string sources;
        for (std::size_t k = 0; k < from.size(); ++k) {
            if (k > 0 && from[k] == from[k - 1]) continue;
            sources += (sources.empty() ? "" : ", ") + from[k]->Input;
        }
        Refused((outDir / name).string(),
                Say(std::to_string(from.size()) + " files would get this name (from " + sources + "); nothing is written",
                    std::to_string(from.size()) + " 個のファイルがこの名前になります（" + sources + " から）。何も書きません"));
    }
    if (clash) return kExitRefused;
    const bool anyFiles = std::any_of(plans.begin(), plans.end(), [](const InputPlan& p) { return !p.Files.empty(); });
    if (anyFiles && !MakeFolder(outDir)) return Refused(outDir.string(), CannotCreateFolder());
    Writer writer(outDir);
    int worst = kExitOk;
    for (InputPlan& plan : plans) {
        int status = plan.Status;
        if (plan.Files.empty() && status == kExitOk) status = kExitRefused;
        if (!plan.Files.empty()) {
            for (PlannedFile& file : plan.Files)
                if (std::optional<std::vector<uint8_t>> bytes = file.Make()) writer.Write(file.Name, *bytes);
            status = writer.Finish();
        }
        // Wrong usage for one input of several (an index beyond its count) is that input's failure.
        if (status == kExitUsage && inputs.size() > 1) status = kExitRefused;
        worst = std::max(worst, status);
    }
    if (!writer.Flush())
        return Refused(outDir.string(), Say("cannot flush the written files to disk",
                                            "書いたファイルをディスクに書き込み終えられません"));
    return worst;
}

}  // namespace pq::cli
