#include "cli/refusal_reasons.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "cli/messages.h"
#include "core/formats/bmp_reader.h"
#include "core/formats/icon_file.h"
#include "core/formats/native_document.h"

namespace pq::cli {

namespace {

using Bytes = std::span<const std::uint8_t>;

std::string N(std::uint64_t v) { return std::to_string(v); }

uint32_t U16(Bytes b, std::size_t at) { return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8; }
uint32_t U32(Bytes b, std::size_t at) { return U16(b, at) | U16(b, at + 2) << 16; }
uint32_t Be32(Bytes b, std::size_t at) {
    return uint32_t(b[at]) << 24 | uint32_t(b[at + 1]) << 16 | uint32_t(b[at + 2]) << 8 | b[at + 3];
}
int32_t I32(Bytes b, std::size_t at) { return int32_t(U32(b, at)); }

bool StartsWith(Bytes b, std::string_view head) {
    return b.size() >= head.size() && std::memcmp(b.data(), head.data(), head.size()) == 0;
}

// "truncated at byte SIZE of END: the file ends inside WHAT".
std::string Truncated(std::string_view what, std::string_view whatJa, std::uint64_t end, std::uint64_t size) {
    return Say("truncated at byte " + N(size) + " of " + N(end) + ": the file ends inside " + std::string(what),
               "途中で切れています（" + N(end) + " バイトのうち " + N(size) + " バイトまで）：" + std::string(whatJa) +
                   "の途中でファイルが終わっています");
}

std::string Damaged(std::string_view field, std::string_view fieldJa, std::string_view value, std::string_view wanted,
                    std::string_view wantedJa) {
    return Say("damaged field: " + std::string(field) + " is " + std::string(value) + ", where " + std::string(wanted) +
                   " is expected",
               "壊れた値：" + std::string(fieldJa) + "が " + std::string(value) + " です（" + std::string(wantedJa) + "）");
}

std::string OverLimit(std::string_view what, std::string_view whatJa, std::string_view value, std::string_view limit) {
    return Say("over a limit: " + std::string(what) + " " + std::string(value) + " is more than " + std::string(limit),
               "上限を超えています：" + std::string(whatJa) + "が " + std::string(value) + " で、上限の " +
                   std::string(limit) + " を超えています");
}

std::string NotThisKind(std::string_view kind, std::string_view kindJa, Bytes bytes) {
    const std::string looks = LooksLike(bytes);
    if (looks.empty())
        return Say("not " + std::string(kind) + ": its first bytes match no kind pqtool knows",
                   std::string(kindJa) + "ではありません（先頭のバイトはどの形式にも当たりません）");
    return Say("not " + std::string(kind) + ": it looks like " + looks,
               std::string(kindJa) + "ではありません（" + looks + "のようです）");
}

// The CRC-32 of PNG chunks (ISO 3309 polynomial, as PNG defines it).
uint32_t Crc32(Bytes data) {
    static const auto table = [] {
        std::array<uint32_t, 256> t{};
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int k = 0; k < 8; ++k) c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    uint32_t c = 0xFFFFFFFFu;
    for (uint8_t byte : data) c = table[(c ^ byte) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

std::string PngReason(Bytes b);

// ---- per kind ----

std::string IconReason(Bytes b, int image) {
    const std::uint64_t size = b.size();
    if (size < 6) return Truncated("the 6-byte header", "6 バイトのヘッダ", 6, size);
    if (U16(b, 0) != 0 || (U16(b, 2) != 1 && U16(b, 2) != 2)) {
        if (U16(b, 0) != 0 || U16(b, 2) > 2) return NotThisKind("an icon or cursor", "アイコンやカーソル", b);
        return Damaged("the type (bytes 2-3)", "種類（2～3 バイト目）", N(U16(b, 2)), "1 (icon) or 2 (cursor)",
                       "1 アイコンか 2 カーソルのはず");
    }
    const uint32_t count = U16(b, 4);
    if (count == 0)
        return Damaged("the image count (bytes 4-5)", "画像の数（4～5 バイト目）", "0", "1 or more", "1 以上のはず");
    const std::uint64_t directoryEnd = 6 + 16ull * count;
    if (directoryEnd > size)
        return Truncated("the directory of " + N(count) + " images", N(count) + " 個の画像の目録", directoryEnd, size);
    if (image < 0 || uint32_t(image) >= count) return "";
    const std::size_t e = 6 + 16 * std::size_t(image);
    const uint32_t colourByte = b[e + 2], bytesInRes = U32(b, e + 8), offset = U32(b, e + 12);
    const std::string which = "image " + N(uint32_t(image)), whichJa = "画像 " + N(uint32_t(image)) + " ";
    if (offset < directoryEnd)
        return Damaged(which + "'s offset", whichJa + "の位置", N(offset),
                       "a place after the directory, which ends at byte " + N(directoryEnd),
                       "目録の終わり（" + N(directoryEnd) + " バイト目）より後のはず");
    if (offset >= size) return Truncated(which + "'s data, which starts at byte " + N(offset),
                                         N(offset) + " バイト目から始まる" + whichJa + "のデータ", std::uint64_t(offset) + 1, size);
    const Bytes data = b.subspan(offset, std::min<std::uint64_t>(bytesInRes, size - offset));
    if (StartsWith(data, "\x89PNG\r\n\x1a\n")) {
        const std::string png = PngReason(data);
        return png.empty() ? "" : which + ": " + png;
    }
    if (data.size() < 40) return Truncated(which + "'s 40-byte header", whichJa + "の 40 バイトのヘッダ", offset + 40ull, offset + data.size());
    const uint32_t headerSize = U32(data, 0);
    if (headerSize < 40)
        return Damaged(which + "'s header size", whichJa + "のヘッダの大きさ", N(headerSize), "40 or more", "40 以上のはず");
    const int32_t width = I32(data, 4), height = I32(data, 8);
    if (width <= 0 || width > 256)
        return Damaged(which + "'s width", whichJa + "の幅", std::to_string(width), "1 to 256", "1～256 のはず");
    if (height <= 0 || height > 512 || height % 2 != 0)
        return Damaged(which + "'s height", whichJa + "の高さ", std::to_string(height),
                       "twice the image's height, 2 to 512", "画像の高さの 2 倍、2～512 のはず");
    const uint32_t planes = U16(data, 12), bits = U16(data, 14);
    if (planes != 1) return Damaged(which + "'s planes", whichJa + "のプレーン数", N(planes), "1", "1 のはず");
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
        return Damaged(which + "'s bit count", whichJa + "のビット数", N(bits), "1, 4, 8, 16, 24 or 32",
                       "1、4、8、16、24、32 のいずれかのはず");
    if ((bits == 4 || bits == 8) && colourByte != 16 && colourByte != 0)
        return Damaged(which + "'s colour count (directory byte " + N(e + 2) + ")",
                       whichJa + "の色数（目録の " + N(e + 2) + " バイト目）", N(colourByte),
                       "16 or 0 for a " + N(bits) + "-bit image", N(bits) + " ビットの画像では 16 か 0 のはず");
    const uint32_t compression = U32(data, 16);
    if (compression != 0 && compression != 3)
        return Damaged(which + "'s compression", whichJa + "の圧縮方式", N(compression), "0 or 3", "0 か 3 のはず");
    // The colour table, the colour bits and the mask must fit in the image's data.
    const std::uint64_t rows = std::uint64_t(height) / 2;
    const std::uint64_t stride = (std::uint64_t(width) * bits + 31) / 32 * 4, mask = (std::uint64_t(width) + 31) / 32 * 4;
    uint32_t colours = U32(data, 32);
    if (bits <= 8 && colours == 0) colours = 1u << bits;
    if (bits > 8) colours = compression == 3 ? 3 : 0;
    const std::uint64_t needed = headerSize + 4ull * colours + rows * stride + rows * mask;
    if (needed > data.size())
        return Truncated(which + "'s pixels and mask" + (data.size() < bytesInRes ? "" : ", which its directory entry cuts short"),
                         whichJa + "の画素とマスク", std::uint64_t(offset) + needed, std::uint64_t(offset) + data.size());
    return "";
}

std::string BitmapReason(Bytes b) {
    const std::uint64_t size = b.size();
    if (!StartsWith(b, "BM")) return NotThisKind("a bitmap", "ビットマップ", b);
    if (size < 14 + 12) return Truncated("the file and image headers", "ファイルと画像のヘッダ", 26, size);
    const uint32_t pixelsAt = U32(b, 10), headerSize = U32(b, 14);
    if (headerSize != 12 && headerSize != 16 && headerSize != 40 && headerSize != 52 && headerSize != 56 &&
        headerSize != 64 && headerSize != 108 && headerSize != 124)
        return Damaged("the image header's size (bytes 14-17)", "画像ヘッダの大きさ（14～17 バイト目）", N(headerSize),
                       "one of 12, 16, 40, 52, 56, 64, 108 and 124", "12、40、108、124 など");
    if (14ull + headerSize > size) return Truncated("the image header", "画像ヘッダ", 14ull + headerSize, size);
    int64_t width = 0, height = 0;
    uint32_t bits = 0;
    if (headerSize == 12) {
        width = U16(b, 18), height = U16(b, 20), bits = U16(b, 24);
    } else {
        width = I32(b, 18), height = I32(b, 22), bits = U16(b, 28);
    }
    if (height < 0) height = -height;
    if (width <= 0) return Damaged("the width", "幅", std::to_string(width), "1 or more", "1 以上のはず");
    if (height <= 0) return Damaged("the height", "高さ", std::to_string(height), "not 0", "0 以外のはず");
    if (width * height > kMaxPicturePixels)
        return OverLimit("the picture's pixel count", "画素数", std::to_string(width) + "x" + std::to_string(height),
                         N(std::uint64_t(kMaxPicturePixels)));
    if (bits != 1 && bits != 2 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
        return Damaged("the bit count", "ビット数", N(bits), "1, 4, 8, 16, 24 or 32", "1、4、8、16、24、32 のいずれかのはず");
    if (pixelsAt >= size) return Truncated("the pixel data, which starts at byte " + N(pixelsAt),
                                           N(pixelsAt) + " バイト目から始まる画素データ", pixelsAt + 1ull, size);
    if (headerSize != 12 && U32(b, 30) == 0) {
        const std::uint64_t stride = (std::uint64_t(width) * bits + 31) / 32 * 4;
        const std::uint64_t end = pixelsAt + stride * std::uint64_t(height);
        if (end > size) return Truncated("the pixel data", "画素データ", end, size);
    }
    return "";
}

std::string PngReason(Bytes b) {
    const std::uint64_t size = b.size();
    if (!StartsWith(b, "\x89PNG\r\n\x1a\n")) return NotThisKind("a PNG picture", "PNG画像", b);
    std::uint64_t at = 8;
    bool first = true;
    while (true) {
        if (at + 8 > size) return Truncated("the next chunk's header", "次のチャンクのヘッダ", at + 8, size);
        const uint32_t length = Be32(b, std::size_t(at));
        const std::string type(reinterpret_cast<const char*>(b.data() + at + 4), 4);
        std::string shown;
        for (char c : type) shown += (c >= 0x20 && c < 0x7F) ? c : '?';
        const std::uint64_t end = at + 12 + length;
        if (length > 0x7FFFFFFFu)
            return Damaged("the length of chunk " + shown, "チャンク " + shown + " の長さ", N(length), "a number below 2^31", "2^31 未満のはず");
        if (end > size) return Truncated("chunk " + shown, "チャンク " + shown + " ", end, size);
        if (Crc32(b.subspan(std::size_t(at + 4), std::size_t(length) + 4)) != Be32(b, std::size_t(end - 4)))
            return Say("damaged field: the checksum of chunk " + shown + " does not match its data",
                       "壊れた値：チャンク " + shown + " のチェックサムが中身と合いません");
        if (first) {
            if (type != "IHDR" || length != 13)
                return Damaged("the first chunk", "最初のチャンク", shown, "an IHDR chunk of 13 bytes", "13 バイトの IHDR のはず");
            const uint32_t w = Be32(b, std::size_t(at + 8)), h = Be32(b, std::size_t(at + 12));
            if (w == 0 || h == 0)
                return Damaged("the size", "大きさ", N(w) + "x" + N(h), "1 or more a side", "1 以上のはず");
            if (std::uint64_t(w) * h > std::uint64_t(kMaxPicturePixels))
                return OverLimit("the picture's pixel count", "画素数", N(w) + "x" + N(h), N(std::uint64_t(kMaxPicturePixels)));
            first = false;
        }
        if (type == "IEND") return "";
        at = end;
    }
}

std::string JpegReason(Bytes b) {
    if (!StartsWith(b, "\xFF\xD8\xFF")) return NotThisKind("a JPEG picture", "JPEG画像", b);
    const std::size_t size = b.size();
    // The frame header (SOF0..SOF15 but DHT, JPG and DAC) gives the size.
    for (std::size_t at = 2; at + 9 <= size && b[at] == 0xFF;) {
        const uint8_t marker = b[at + 1];
        const std::size_t length = std::size_t(b[at + 2]) << 8 | b[at + 3];
        if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) {
            const uint32_t h = uint32_t(b[at + 5]) << 8 | b[at + 6], w = uint32_t(b[at + 7]) << 8 | b[at + 8];
            if (w == 0 || h == 0) return Damaged("the size", "大きさ", N(w) + "x" + N(h), "1 or more a side", "1 以上のはず");
            if (std::uint64_t(w) * h > std::uint64_t(kMaxPicturePixels))
                return OverLimit("the picture's pixel count", "画素数", N(w) + "x" + N(h), N(std::uint64_t(kMaxPicturePixels)));
            break;
        }
        if (marker == 0xDA || length < 2) break;
        at += 2 + length;
    }
    if (size < 4 || b[size - 2] != 0xFF || b[size - 1] != 0xD9)
        return Say("truncated: the JPEG data ends at byte " + N(size) + " without its end marker (FF D9)",
                   "途中で切れています：JPEG のデータが " + N(size) + " バイト目で終わり、終わりの印（FF D9）がありません");
    return "";
}

std::string DocumentReason(Bytes b) {
    const std::uint64_t size = b.size();
    if (!StartsWith(b, std::string_view("pqf\0", 4))) {
        if (StartsWith(b, "pqf")) return Damaged("byte 3 of the signature", "識別子の 3 バイト目", N(b[3]), "0", "0 のはず");
        return NotThisKind("a document", "文書", b);
    }
    constexpr std::uint64_t kLayersStart = 4 + 12 + 1024 + 4;
    if (size < kLayersStart) return Truncated("the header and palette", "ヘッダとパレット", kLayersStart, size);
    const int32_t width = I32(b, 4), height = I32(b, 8), colors = I32(b, 12);
    const std::string limit = "1 to " + N(kMaxImageSide), limitJa = "1～" + N(kMaxImageSide) + " のはず";
    if (width <= 0 || width > kMaxImageSide) return Damaged("the width", "幅", std::to_string(width), limit, limitJa);
    if (height <= 0 || height > kMaxImageSide) return Damaged("the height", "高さ", std::to_string(height), limit, limitJa);
    if (colors != 16 && colors != 256)
        return Damaged("the colour count", "色数", std::to_string(colors), "16 or 256", "16 か 256 のはず");
    const int32_t layers = I32(b, 1040);
    if (layers <= 0) return Damaged("the layer count", "レイヤ数", std::to_string(layers), "1 or more", "1 以上のはず");
    const std::uint64_t plane = std::uint64_t(width) * std::uint64_t(height);
    std::uint64_t at = kLayersStart;
    for (int32_t i = 0; i < layers; ++i) {
        const std::string which = "layer " + N(uint32_t(i)), whichJa = "レイヤ " + N(uint32_t(i)) + " ";
        if (at + 4 > size) return Truncated(which + "'s name length", whichJa + "の名前の長さ", at + 4, size);
        const int32_t nameLength = I32(b, std::size_t(at));
        if (nameLength < 0)
            return Damaged(which + "'s name length", whichJa + "の名前の長さ", std::to_string(nameLength), "0 or more", "0 以上のはず");
        const std::uint64_t end = at + 4 + std::uint64_t(nameLength) + 1 + 2 * plane;
        if (end > size) return Truncated(which, whichJa, end, size);
        at = end;
    }
    return "";
}

}  // namespace

std::string InputFileProblem(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        const int err = errno;
        return Say("cannot be read: ", "読み込めません：") + SystemError(err);
    }
    if (S_ISDIR(st.st_mode)) return Say("is a folder, not a file", "ファイルではなくフォルダです");
    if (!S_ISREG(st.st_mode))
        return Say("is not a regular file (a device, pipe or socket)", "通常のファイルではありません（デバイス、パイプ、ソケットなど）");
    if (st.st_size == 0) return Say("is empty (0 bytes)", "空のファイルです（0 バイト）");
    return "";
}

std::string LooksLike(Bytes b) {
    if (b.empty()) return Say("nothing (0 bytes)", "空");
    if (StartsWith(b, "\x89PNG\r\n\x1a\n")) return Say("a PNG picture", "PNG画像");
    if (StartsWith(b, "\xFF\xD8\xFF")) return Say("a JPEG picture", "JPEG画像");
    if (StartsWith(b, "GIF8")) return Say("a GIF picture", "GIF画像");
    if (StartsWith(b, "BM")) return Say("a bitmap", "ビットマップ");
    if (StartsWith(b, std::string_view("pqf\0", 4))) return Say("a Pixquil document", "Pixquil の文書");
    if (StartsWith(b, std::string_view("\0\0\1\0", 4))) return Say("an icon", "アイコン");
    if (StartsWith(b, std::string_view("\0\0\2\0", 4))) return Say("a cursor", "カーソル");
    if (StartsWith(b, "MZ")) return Say("a program or library (MZ)", "プログラムかライブラリ（MZ）");
    if (StartsWith(b, "\x7F" "ELF")) return Say("a Linux program (ELF)", "Linux のプログラム（ELF）");
    if (StartsWith(b, "PK\x03\x04")) return Say("a ZIP archive", "ZIP アーカイブ");
    if (StartsWith(b, "%PDF")) return Say("a PDF document", "PDF 文書");
    if (StartsWith(b, "RIFF") && b.size() >= 12) {
        if (std::memcmp(b.data() + 8, "ACON", 4) == 0) return Say("an animated cursor (RIFF ACON)", "アニメーションカーソル（RIFF ACON）");
        if (std::memcmp(b.data() + 8, "WEBP", 4) == 0) return Say("a WebP picture", "WebP 画像");
        return Say("a RIFF file", "RIFF ファイル");
    }
    if (StartsWith(b, "<?xml") || StartsWith(b, "<svg")) return Say("an XML or SVG text", "XML か SVG のテキスト");
    const std::size_t n = std::min<std::size_t>(b.size(), 512);
    const bool text = std::all_of(b.begin(), b.begin() + std::ptrdiff_t(n), [](std::uint8_t c) {
        return c == '\t' || c == '\n' || c == '\r' || c >= 0x20;
    });
    if (text) return Say("text", "テキスト");
    return "";
}

std::string RefusalReason(FormatReader reader, Bytes bytes, int image) {
    if (bytes.empty()) return Say("empty (0 bytes)", "空です（0 バイト）");
    switch (reader) {
    case FormatReader::Document: return DocumentReason(bytes);
    case FormatReader::IconImage: return IconReason(bytes, image);
    case FormatReader::Bitmap: return BitmapReason(bytes);
    case FormatReader::Jpeg: return JpegReason(bytes);
    case FormatReader::Png: return PngReason(bytes);
    default: return "";
    }
}

std::string IconFileSizeReason(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || std::uint64_t(st.st_size) <= kMaxIconFileBytes) return "";
    const std::string size = N(std::uint64_t(st.st_size)), limit = N(kMaxIconFileBytes);
    return Say("over a limit: the file's " + size + " bytes are more than the " + limit + " an icon file may have",
               "上限を超えています：ファイルが " + size + " バイトあり、アイコンのファイルの上限 " + limit +
                   " バイトを超えています");
}

std::string ProgramProblemReason(const ProgramProblem& p, Bytes head) {
    using Kind = ProgramProblem::Kind;
    switch (p.What) {
    case Kind::None: return "";
    case Kind::NotPe: return NotThisKind("a PE file", "PE ファイル", head);
    case Kind::NoPeSignature:
        return Say("not a PE file: an MZ file without the PE signature at byte " + N(p.At) +
                       ", where its e_lfanew points (a DOS or 16-bit program?)",
                   "PE ファイルではありません：e_lfanew の指す " + N(p.At) +
                       " バイト目に PE の印がない MZ ファイルです（DOS か 16 ビットのプログラム？）");
    case Kind::Truncated: {
        std::string ja = p.Part;
        if (p.Part == "the MZ header") ja = "MZ ヘッダ";
        else if (p.Part == "the PE header") ja = "PE ヘッダ";
        else if (p.Part == "the optional header") ja = "オプションヘッダ";
        else if (p.Part == "the section table") ja = "セクション表";
        else if (p.Part.rfind("section ", 0) == 0) ja = "セクション " + p.Part.substr(8) + " ";
        return Truncated(p.Part, ja, p.Needed, p.At);
    }
    case Kind::DamagedField: {
        char value[32];
        std::snprintf(value, sizeof value, "0x%llX", static_cast<unsigned long long>(p.Value));
        return Say("damaged header field: " + p.Field + " (at byte " + N(p.At) + ") holds " + value,
                   "壊れたヘッダの値：" + p.Field + "（" + N(p.At) + " バイト目）が " + value + " です");
    }
    }
    return "";
}

std::string RefusalWithReason(const std::string& readerMessage, FormatReader reader, Bytes bytes, int image) {
    const std::string reason = RefusalReason(reader, bytes, image);
    return EditorMessage(readerMessage) + (reason.empty() ? "" : "\n" + reason);
}

}  // namespace pq::cli
