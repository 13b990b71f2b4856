// pqtool info: what each file holds, one "key: value" line at a time or as a JSON object.
#include <algorithm>
#include <array>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "cli/cli_args.h"
#include "cli/commands.h"
#include "cli/cursor_input.h"
#include "cli/messages.h"
#include "cli/open_input.h"
#include "cli/refusal_reasons.h"
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
    "usage: pqtool info [--json] [--format KIND] FILE...\n"
    "\n"
    "Prints what each FILE holds, one \"key: value\" line at a time:\n"
    "  .pqf            size, colours (32bit for a truecolour document), and each layer's\n"
    "                  visibility and name\n"
    "  .ico, .cur      every directory entry: the size its image opens at, colour count byte,\n"
    "                  bits per pixel, the hotspot of cursor images; entries the editor cannot\n"
    "                  open are marked. Each line then says what editing the file as a set of\n"
    "                  pages does to that image: \", set: kept byte for byte unless edited (then\n"
    "                  4-bit|8-bit|32-bit|png)\"; a file that does not open as a set gets the\n"
    "                  line \"set: cannot be opened as a set (image N cannot be opened)\" instead,\n"
    "                  or, beyond 1024 images or 67108864 pixels in all, \"set: cannot be opened\n"
    "                  as a set (it holds N images, more than the 1024 a set may hold)\"; only\n"
    "                  headers are read then\n"
    "  .ani, Xcursor   every frame with each size (and nominal size), depth and hotspot, then\n"
    "                  every step: the frame it shows and for how many milliseconds\n"
    "  .bmp, .jpg      size and depth, from the headers alone\n"
    "  .png            size and the number of fully transparent pixels\n"
    "  .pqp .pal .act  palette kind and the entry count the file states\n"
    "  .exe .dll .scr  number of icons, and the image each icon is taken from; a file that is\n"
    "                  no well-formed PE program is refused with what is wrong (not a PE file,\n"
    "                  truncated at byte N, a damaged header field)\n"
    "Files with other names are recognised by their first bytes. With several FILEs each report\n"
    "starts with a line \"file: FILE\" and the reports are separated by an empty line; a FILE\n"
    "that is refused is reported on stderr and the others are still described.\n"
    "\n"
    "--json         one JSON object per FILE instead (several FILEs: an array of them, in the\n"
    "               order given); a refused FILE gives {\"file\", \"kind\", \"error\"}. The keys\n"
    "               are described in the manual (pqtool-json.html).\n"
    "--format KIND  FILE \"-\" reads standard input, which holds a file of this kind: an\n"
    "               extension without the dot (pqf, ico, cur, bmp, jpg, png, pqp, pal, act, exe)\n"
    "--quiet        accepted as by every command (info writes no notes)\n"
    "Use \"--\" before a FILE whose name starts with '-'.\n"
    "\n"
    "Exit status: 0 success, 1 a FILE is refused (the reason on stderr), 2 wrong usage.\n";

namespace {

const char* const kInfoUsageJa =
    "使い方: pqtool info [--json] [--format KIND] FILE...\n"
    "\n"
    "各 FILE の中身を \"key: value\" の行で表示します:\n"
    "  .pqf            大きさ、色数（フルカラーの文書は 32bit）、各レイヤの表示・非表示と名前\n"
    "  .ico, .cur      ディレクトリの各項目: 画像を開いたときの大きさ、色数バイト、\n"
    "                  ピクセルあたりのビット数、カーソルの画像ならホットスポット。\n"
    "                  エディタで開けない項目には印を付けます。続けて、ファイルをページの組\n"
    "                  として編集したときにその画像がどうなるかを\n"
    "                  \", set: kept byte for byte unless edited (then 4-bit|8-bit|32-bit|png)\"\n"
    "                  と書きます（編集しなければ 1 バイトも変えず、編集すればその形式）。\n"
    "                  組として開けないファイルには代わりに\n"
    "                  \"set: cannot be opened as a set (image N cannot be opened)\" の行が付きます。\n"
    "                  画像が 1024 枚を超えるか、画素が合わせて 67108864 を超えるファイルには\n"
    "                  \"set: cannot be opened as a set (it holds N images, more than the 1024 a set\n"
    "                  may hold)\" などの行が付き、ヘッダだけを読みます\n"
    "  .ani, Xcursor   各フレームのサイズ（と公称サイズ）、色の深さ、ホットスポット、続けて\n"
    "                  各ステップが表示するフレームとその時間（ミリ秒）\n"
    "  .bmp, .jpg      大きさと色の深さ（ヘッダだけから読みます）\n"
    "  .png            大きさと完全に透明なピクセルの数\n"
    "  .pqp .pal .act  パレットの種類と、ファイルに書かれた項目数\n"
    "  .exe .dll .scr  アイコンの数と、各アイコンに使う画像。正しい PE のプログラムでない\n"
    "                  ファイルは、どこがおかしいか（PE ファイルでない、N バイト目で切れている、\n"
    "                  ヘッダの値が壊れている）を添えて受け付けません\n"
    "ほかの名前のファイルは先頭のバイトで見分けます。FILE が複数のときは、各報告の先頭に\n"
    "\"file: FILE\" の行を置き、報告の間を空行で区切ります。受け付けない FILE は標準エラー\n"
    "出力に報告し、ほかの FILE の表示は続けます。\n"
    "\n"
    "--json         代わりに FILE ごとに JSON オブジェクトを一つ出します（FILE が複数のときは\n"
    "               指定の順に並べた配列）。受け付けない FILE は {\"file\", \"kind\", \"error\"}\n"
    "               になります。キーの説明はマニュアル（pqtool-json.html）にあります。\n"
    "--format KIND  FILE \"-\" で読む標準入力の中身の形式。ドットを除いた拡張子です\n"
    "               （pqf, ico, cur, bmp, jpg, png, pqp, pal, act, exe）\n"
    "--quiet        どのコマンドとも同じく使えます（info はお知らせを出しません）\n"
    "名前が '-' で始まる FILE の前には \"--\" を置きます。\n"
    "\n"
    "終了ステータス: 0 成功、1 受け付けない FILE があった（理由は標準エラー出力）、\n"
    "2 使い方の誤り。\n";

}  // namespace

std::string InfoUsage() { return Say(kInfoUsage, kInfoUsageJa); }

namespace {

// The kinds info describes, for the refusal of any other.
constexpr const char* kInfoKinds = ".pqf, .ico, .cur, .bmp, .jpg, .jpeg, .png, .pqp, .pal, .act, .exe, .dll, .scr";

enum class FileKind { Unknown, Document, Icon, Bitmap, Jpeg, Png, Palette, Program, Animation, Xcursor };

// Enough of a file to recognise its kind by its first bytes.
constexpr std::size_t kRecogniseBytes = 4096;

bool StartsWith(const std::vector<uint8_t>& b, std::initializer_list<uint8_t> prefix) {
    if (b.size() < prefix.size()) return false;
    std::size_t i = 0;
    for (uint8_t c : prefix)
        if (b[i++] != c) return false;
    return true;
}

FileKind KindOfFormat(const FileFormat* format) {
    if (format) {
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
    return FileKind::Unknown;
}

FileKind KindOfContent(const std::string& path, const std::vector<uint8_t>& bytes) {
    if (StartsWith(bytes, {'p', 'q', 'f', 0})) return FileKind::Document;
    if (DetectPaletteKind(bytes, path) != PaletteKind::Unknown) return FileKind::Palette;
    if (StartsWith(bytes, {'M', 'Z'})) return FileKind::Program;
    if (StartsWith(bytes, {'B', 'M'})) return FileKind::Bitmap;
    if (StartsWith(bytes, {0xFF, 0xD8})) return FileKind::Jpeg;
    if (StartsWith(bytes, {0x89, 'P', 'N', 'G'})) return FileKind::Png;
    if (StartsWith(bytes, {0, 0, 1, 0}) || StartsWith(bytes, {0, 0, 2, 0})) return FileKind::Icon;
    return FileKind::Unknown;
}

// The kind the content shows when it shows one (a note on stderr when the name says another),
// else the kind the name says.
FileKind KindOf(const std::string& name, const std::string& path, const std::vector<uint8_t>& bytes) {
    const FileKind byName = KindOfFormat(FormatOfPath(path));
    const FileKind byContent = KindOfContent(path, bytes);
    if (byContent == FileKind::Unknown) return byName;
    // A program's resources and an .act palette have no signature of their own to judge by.
    if (byName != FileKind::Unknown && byName != byContent && byName != FileKind::Program)
        Note(name + ": " + Say("read as what its content is, not as its name says", "名前の示す形式ではなく、内容のとおりに読みます"));
    return byName == FileKind::Program ? byName : byContent;
}

// The "kind" of the JSON report before the file is read (an icon file may turn out a cursor).
const char* KindName(FileKind kind) {
    switch (kind) {
    case FileKind::Document: return "document";
    case FileKind::Icon: return "icon";
    case FileKind::Bitmap: return "bitmap";
    case FileKind::Jpeg: return "jpeg";
    case FileKind::Png: return "png";
    case FileKind::Palette: return "palette";
    case FileKind::Program: return "program";
    case FileKind::Animation: return "ani";
    case FileKind::Xcursor: return "xcursor";
    case FileKind::Unknown: break;
    }
    return nullptr;
}

// ---- JSON -------------------------------------------------------------------------------------

// A JSON string: quotes, backslashes and control characters escaped (\u00XX), UTF-8 kept, and
// each byte that is not part of well-formed UTF-8 (a name in another encoding) replaced by
// U+FFFD so that the output always parses.
std::string JsonString(std::string_view s) {
    std::string out = "\"";
    std::size_t i = 0;
    while (i < s.size()) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) {
            if (c == '"' || c == '\\') {
                out += '\\';
                out += char(c);
            } else if (c < 0x20 || c == 0x7F) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04X", c);
                out += buf;
            } else {
                out += char(c);
            }
            ++i;
            continue;
        }
        // A lead byte and its continuation bytes, refusing overlong forms, surrogates and
        // code points above U+10FFFF.
        std::size_t length = c >= 0xC2 && c <= 0xDF ? 2 : c >= 0xE0 && c <= 0xEF ? 3 : c >= 0xF0 && c <= 0xF4 ? 4 : 0;
        bool valid = length != 0 && i + length <= s.size();
        for (std::size_t k = 1; valid && k < length; ++k)
            valid = (static_cast<unsigned char>(s[i + k]) & 0xC0) == 0x80;
        if (valid && length >= 3) {
            const unsigned char c1 = static_cast<unsigned char>(s[i + 1]);
            valid = !(c == 0xE0 && c1 < 0xA0) && !(c == 0xED && c1 >= 0xA0) && !(c == 0xF0 && c1 < 0x90) &&
                    !(c == 0xF4 && c1 >= 0x90);
        }
        if (!valid) {
            out += "\xEF\xBF\xBD";
            ++i;
            continue;
        }
        out.append(s.substr(i, length));
        i += length;
    }
    return out + "\"";
}

// One JSON object, its members in the order they are added.
class JsonObject {
public:
    JsonObject& Raw(std::string_view key, const std::string& json) {
        if (!body_.empty()) body_ += ", ";
        body_ += JsonString(key) + ": " + json;
        return *this;
    }
    JsonObject& Str(std::string_view key, std::string_view value) { return Raw(key, JsonString(value)); }
    JsonObject& StrOrNull(std::string_view key, const char* value) {
        return Raw(key, value ? JsonString(value) : "null");
    }
    JsonObject& Int(std::string_view key, long long value) { return Raw(key, std::to_string(value)); }
    JsonObject& Bool(std::string_view key, bool value) { return Raw(key, value ? "true" : "false"); }
    JsonObject& Null(std::string_view key) { return Raw(key, "null"); }
    std::string Text() const { return "{" + body_ + "}"; }

private:
    std::string body_;
};

std::string JsonArray(const std::vector<std::string>& items) {
    std::string out = "[";
    for (std::size_t i = 0; i < items.size(); ++i) out += (i ? ", " : "") + items[i];
    return out + "]";
}

// ---- reports ----------------------------------------------------------------------------------

// One input: a file, or standard input read whole with the kind --format gave it.
struct Input {
    std::string Name;               // as given: shown in reports and messages
    std::string KindPath;           // the name the kind is judged by ("stdin.ico" for standard input)
    bool FromStdin = false;
    std::vector<uint8_t> Bytes;     // standard input's bytes
};

// Where a report goes: text lines, or the members of the input's JSON object. The text is
// held until the input is done, so that a refused input leaves no partial report.
struct Report {
    bool Json = false;
    std::string Text;
    JsonObject Object;

    __attribute__((format(printf, 2, 3))) void Line(const char* format, ...) {
        char buf[512];
        va_list args;
        va_start(args, format);
        const int n = std::vsnprintf(buf, sizeof buf, format, args);
        va_end(args);
        if (n < 0) return;
        if (std::size_t(n) < sizeof buf) {
            Text.append(buf, std::size_t(n));
            return;
        }
        std::string big(std::size_t(n) + 1, '\0');
        va_start(args, format);
        std::vsnprintf(big.data(), big.size(), format, args);
        va_end(args);
        Text.append(big.data(), std::size_t(n));
    }
};

// An input that cannot be described: the reason, or "" when it was described.
using Outcome = std::string;
const Outcome kDescribed;

// Standard input's bytes when the limit of the kind's own file reader allows them.
bool WithinLimit(const Input& in, std::uint64_t limit) { return !in.FromStdin || in.Bytes.size() <= limit; }

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

Outcome InfoDocument(const Input& in, Report& out) {
    Document doc;
    const FileResult r = in.FromStdin ? LoadDocumentBytes(in.Bytes, doc, kToolZoom) : LoadDocumentFile(in.Name, doc, kToolZoom);
    if (!r) return r.Message;
    if (out.Json) {
        std::vector<std::string> layers;
        for (int i = 0; i < doc.LayerCount(); ++i)
            layers.push_back(JsonObject().Str("name", doc.LayerAt(i).Name).Bool("visible", doc.LayerAt(i).Visible).Text());
        // A truecolour document has no colour count: its palette is only the swatches.
        out.Object.Str("kind", "document").Int("width", doc.ImageWidth).Int("height", doc.ImageHeight);
        if (doc.TrueColor)
            out.Object.Str("colors", "32bit");
        else
            out.Object.Int("colors", doc.ColorCount);
        out.Object.Raw("layers", JsonArray(layers));
        return kDescribed;
    }
    const std::string colors = doc.TrueColor ? std::string("32bit") : std::to_string(doc.ColorCount);
    out.Line("type: document\nsize: %dx%d\ncolors: %s\nlayers: %d\n", doc.ImageWidth, doc.ImageHeight, colors.c_str(),
             doc.LayerCount());
    for (int i = 0; i < doc.LayerCount(); ++i) {
        const Layer& l = doc.LayerAt(i);
        out.Line("layer %d: %s %s\n", i, l.Visible ? "visible" : "hidden", Quoted(l.Name).c_str());
    }
    return kDescribed;
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

// Why a set is too large to open, "" when it is not; the report's words are English, as its keys.
std::string SetLimitReason(const IconSetMeasure& m) {
    if (m.TooManyPages())
        return "it holds " + std::to_string(m.Pages) + " images, more than the " + std::to_string(kMaxIconSetPages) +
               " a set may hold";
    if (m.TooManyPixels())
        return "its images hold " + std::to_string(m.Pixels) + " pixels in all, more than the " +
               std::to_string(kMaxIconSetPixels) + " a set may hold";
    if (m.TooMuchData())
        return "its images' data come to " + std::to_string(m.StoredBytes) + " bytes in all, more than the " +
               std::to_string(kMaxIconSetStoredBytes) + " a set may hold";
    return "";
}

Outcome InfoIcon(const Input& in, Report& out) {
    std::vector<uint8_t> fileBytes;
    if (!in.FromStdin) {
        if (FileResult r = ReadIconFileBytes(in.Name, fileBytes); !r) {
            const std::string reason = IconFileSizeReason(in.Name);
            return reason.empty() ? r.Message : EditorMessage(r.Message) + "\n" + reason;
        }
    } else if (!WithinLimit(in, kMaxIconFileBytes)) {
        return EditorMessage(kIconOpenError) + "\n" +
               Say("over a limit: an icon file of more than " + std::to_string(kMaxIconFileBytes) + " bytes",
                   "上限を超えています：アイコンのファイルは " + std::to_string(kMaxIconFileBytes) + " バイトまでです");
    }
    const std::vector<uint8_t>& bytes = in.FromStdin ? in.Bytes : fileBytes;
    IconDirectory dir;
    if (FileResult r = ReadIconDirectory(bytes, dir); !r) return r.Message;
    const bool cursor = dir.ResourceType == kCursorResourceType;
    // What editing the file as a set would do to each image: opened, it is written back as it
    // is until edited, then in the depth its page has. A set beyond the limits is not decoded.
    const IconSetMeasure measure = MeasureIconSet(bytes, dir);
    const std::string setLimit = SetLimitReason(measure);
    std::vector<IconSetPage> pages;
    int setType = kIconResourceType, unopened = 0;
    const bool opensAsSet = setLimit.empty() && LoadIconSet(bytes, kToolZoom, pages, setType, &unopened).Ok;
    // Whether each image opens, decoded for real once per image data (entries sharing it share
    // the answer), within the pixels a set may hold in all; beyond them from the headers alone.
    std::map<std::tuple<uint32_t, uint32_t, int>, std::pair<bool, std::string>> decoded;
    std::uint64_t decodedPixels = 0;
    auto openedAndWhy = [&](std::size_t i, bool headersSay, int w, int h) -> std::pair<bool, std::string> {
        const IconDirEntry& e = dir.Entries[i];
        if (opensAsSet) return {true, ""};
        const auto key = std::make_tuple(e.ImageOffset, e.BytesInRes, e.ColorCountByte);
        if (auto it = decoded.find(key); it != decoded.end()) return it->second;
        bool ok = headersSay;
        const std::uint64_t pixels = std::uint64_t(std::max(w, 0)) * std::uint64_t(std::max(h, 0));
        if (ok && decodedPixels + pixels <= kMaxIconSetPixels) {
            decodedPixels += pixels;
            Document scratch;
            ok = LoadIconImage(bytes, dir, int(i), scratch, kToolZoom).Ok;
        }
        std::pair<bool, std::string> answer{ok, ok ? "" : RefusalWithReason(kIconOpenError, FormatReader::IconImage, bytes, int(i))};
        return decoded.emplace(key, std::move(answer)).first->second;
    };

    std::vector<std::string> images;
    if (!out.Json) {
        if (cursor || dir.ResourceType == kIconResourceType)
            out.Line("type: %s\n", cursor ? "cursor" : "icon");
        else
            out.Line("type: icon (resource type %d)\n", dir.ResourceType);
        out.Line("images: %zu\n", dir.Entries.size());
    }
    for (std::size_t i = 0; i < dir.Entries.size(); ++i) {
        const IconDirEntry& e = dir.Entries[i];
        // The size the image data states, which is what the editor opens; the directory's
        // bytes only when the data holds no header.
        int w = e.Width == 0 ? 256 : e.Width, h = e.Height == 0 ? 256 : e.Height;
        IconImageSize(bytes, e, w, h);
        const bool opens = IconImageOpens(bytes, e);
        if (out.Json) {
            JsonObject image;
            image.Int("index", (long long)i).Int("width", w).Int("height", h);
            if (e.IsPng || e.ImageBitCount > 0)
                image.Int("depth", e.IsPng ? 32 : e.ImageBitCount)
                    .Str("kind", e.IsPng ? "png" : e.ImageBitCount <= 8 ? "palette" : "truecolor")
                    .Str("label", IconDepthText(e.IsPng, e.ImageBitCount));
            else
                image.Null("depth").Null("kind").Null("label");
            image.Raw("hotspot", cursor ? JsonArray({std::to_string(e.PlanesOrHotspotX), std::to_string(e.BitCountOrHotspotY)})
                                        : "null");
            // Decoded for real: damaged PNG data passes IconImageOpens, which reads headers only.
            const auto [opened, why] = openedAndWhy(i, opens, w, h);
            image.Int("offset", e.ImageOffset).Int("bytes", e.BytesInRes).Bool("opens", opened);
            image.StrOrNull("error", opened ? nullptr : why.c_str());
            image.StrOrNull("edited_as", opensAsSet ? EditedDepth(pages[i]) : nullptr);
            images.push_back(image.Text());
            continue;
        }
        std::string bits = e.IsPng ? "PNG" : e.ImageBitCount > 0 ? std::to_string(e.ImageBitCount) + " bits per pixel"
                                                                 : "unreadable image";
        // The editor's name for the image (its chooser and page strip say the same) follows the size.
        const std::string label = e.IsPng || e.ImageBitCount > 0 ? " " + IconDepthText(e.IsPng, e.ImageBitCount) : "";
        out.Line("image %zu: %dx%d%s, color count byte %d, %s", i, w, h, label.c_str(), e.ColorCountByte, bits.c_str());
        if (cursor) out.Line(", hotspot %d,%d", e.PlanesOrHotspotX, e.BitCountOrHotspotY);
        if (!opens) out.Line(" (cannot be opened)");
        if (opensAsSet) out.Line(", set: kept byte for byte unless edited (then %s)", EditedDepth(pages[i]));
        out.Line("\n");
    }
    if (out.Json) {
        out.Object.Str("kind", cursor ? "cursor" : "icon").Int("resource_type", dir.ResourceType)
            .Raw("images", JsonArray(images)).Bool("set_opens", opensAsSet);
        if (opensAsSet || !setLimit.empty())
            out.Object.Null("set_unopened");
        else
            out.Object.Int("set_unopened", unopened);
        if (!setLimit.empty()) out.Object.Str("set_limit", setLimit);
        return kDescribed;
    }
    if (!setLimit.empty())
        out.Line("set: cannot be opened as a set (%s)\n", setLimit.c_str());
    else if (!opensAsSet)
        out.Line("set: cannot be opened as a set (image %d cannot be opened)\n", unopened);
    return kDescribed;
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

Outcome InfoBitmap(const Input& in, Report& out) {
    BitmapInfo info;
    if (!WithinLimit(in, kMaxPictureFileBytes)) return kPictureFileOpenMessage;
    const FileResult r = in.FromStdin ? ReadBitmapInfo(in.Bytes, info) : ReadBitmapFileInfo(in.Name, info);
    if (!r) return r.Message;
    if (out.Json) {
        out.Object.Str("kind", "bitmap").Int("width", info.Width).Int("height", info.Height).Int("depth", info.BitsPerPixel)
            .Str("compression", CompressionName(info.Compression));
        return kDescribed;
    }
    out.Line("type: bitmap\nsize: %dx%d\ndepth: %d bits per pixel\ncompression: %s\n", info.Width, info.Height,
             info.BitsPerPixel, CompressionName(info.Compression));
    return kDescribed;
}

Outcome InfoJpeg(const Input& in, Report& out) {
    JpegInfo info;
    if (!WithinLimit(in, kMaxPictureFileBytes)) return kPictureFileOpenMessage;
    const FileResult r = in.FromStdin ? ReadJpegInfo(in.Bytes, info) : ReadJpegFileInfo(in.Name, info);
    if (!r) return r.Message;
    const char* kind = info.Components == 1 ? "grayscale" : info.Components == 4 ? "CMYK" : "colour";
    if (out.Json) {
        out.Object.Str("kind", "jpeg").Int("width", info.Width).Int("height", info.Height)
            .Int("depth", info.Components * 8).Str("color_space", kind);
        return kDescribed;
    }
    out.Line("type: jpeg\nsize: %dx%d\ndepth: %d bits per pixel (%s)\n", info.Width, info.Height, info.Components * 8, kind);
    return kDescribed;
}

// Counts the fully transparent pixels of a PNG as its rows are decoded.
class TransparentCounter : public PictureRowSink {
public:
    void Start(int width, int) override { width_ = width; }
    std::uint8_t* RowBuffer(int) override { return nullptr; }
    void RowDone(int) override {}
    PieceLayout Pieces() const override { return {0, width_, 0}; }
    void Piece(int, int, int n, const std::uint8_t*, const std::uint8_t* clear) override {
        if (clear) count += std::size_t(std::count(clear, clear + n, uint8_t(1)));
    }
    std::size_t count = 0;

private:
    int width_ = 0;
};

// The header alone gives the size; only a picture that can be transparent is decoded, row by
// row, to count its transparent pixels.
Outcome InfoPng(const Input& in, Report& out) {
    PngInfo info;
    if (!WithinLimit(in, kMaxPictureFileBytes)) return kPictureFileOpenMessage;
    FileResult r = in.FromStdin ? ReadPngInfo(in.Bytes, info) : ReadPngFileInfo(in.Name, info);
    if (!r) return r.Message;
    TransparentCounter counter;
    if (info.MayBeTransparent) {
        r = in.FromStdin ? DecodePngRows(in.Bytes, counter) : LoadPngFileRows(in.Name, counter);
        if (!r) return r.Message;
    }
    const std::size_t clear = counter.count;
    if (out.Json) {
        out.Object.Str("kind", "png").Int("width", info.Width).Int("height", info.Height)
            .Int("transparent_pixels", (long long)clear);
        return kDescribed;
    }
    out.Line("type: png\nsize: %dx%d\ntransparent pixels: %zu\n", info.Width, info.Height, clear);
    return kDescribed;
}

// What a RIFF file that is no palette holds, by its form type.
std::string RiffKind(const std::vector<uint8_t>& bytes) {
    const std::string form = bytes.size() >= 12 ? std::string(bytes.begin() + 8, bytes.begin() + 12) : "";
    if (form == "ACON") return Say("an animated cursor (RIFF ACON)", "アニメーションカーソル（RIFF ACON）");
    std::string shown;
    for (char c : form) shown += (c >= 0x20 && c < 0x7F) ? c : '?';
    return Say("a RIFF file of form '" + shown + "'", "形式 '" + shown + "' の RIFF ファイル");
}

Outcome InfoPalette(const Input& in, Report& out) {
    std::vector<uint8_t> fileBytes;
    if (!in.FromStdin) {
        if (FileResult r = ReadPaletteFileBytes(in.Name, fileBytes); !r) return r.Message;
    } else if (!WithinLimit(in, kMaxPaletteFileBytes)) {
        return kPaletteFileError;
    }
    const std::vector<uint8_t>& bytes = in.FromStdin ? in.Bytes : fileBytes;
    if (StartsWith(bytes, {'R', 'I', 'F', 'F'}) && !(bytes.size() >= 12 && std::equal(bytes.begin() + 8, bytes.begin() + 12, "PAL ")))
        return RiffKind(bytes) + Say(", not a palette: pqtool does not read it",
                                     "で、パレットではありません。pqtool は読みません");
    const PaletteFileInfo info = DescribePaletteFile(bytes, in.KindPath);
    if (info.Kind == PaletteKind::Unknown)
        return Say("not a palette file of a known kind (.pqp, JASC-PAL, RIFF, .act)",
                   "知っている形式のパレットファイルではありません（.pqp、JASC-PAL、RIFF、.act）");
    PaletteTable scratch{};
    if (FileResult r = LoadPaletteBytes(bytes, in.KindPath, 256, scratch); !r) return r.Message;
    const char* kind = info.Kind == PaletteKind::Pqp    ? "pqp"
                       : info.Kind == PaletteKind::Jasc ? "JASC-PAL"
                       : info.Kind == PaletteKind::Riff ? "RIFF"
                                                        : "act";
    if (out.Json) {
        out.Object.Str("kind", "palette").Str("format", kind).Int("entries", info.StoredCount);
        return kDescribed;
    }
    out.Line("type: palette\nkind: %s\nentries: %d\n", kind, info.StoredCount);
    return kDescribed;
}

Outcome InfoProgram(const Input& in, Report& out) {
    ProgramIcons icons;
    if (in.FromStdin)
        icons = ProgramIcons::FromBytes(in.Bytes);
    else if (FileResult r = ProgramIcons::Load(in.Name, icons); !r)
        return r.Message;
    // Only a well-formed program is described: a damaged or cut one is refused with the reason,
    // whatever groups could still be found in it (extract takes those).
    if (icons.Problem().What != ProgramProblem::Kind::None) {
        std::vector<uint8_t> head;
        if (in.FromStdin)
            head.assign(in.Bytes.begin(), in.Bytes.begin() + std::ptrdiff_t(std::min(in.Bytes.size(), kRecogniseBytes)));
        else
            ReadFilePrefix(in.Name, kRecogniseBytes, head);
        const bool none = icons.Count() + icons.CursorCount() == 0;
        return EditorMessage(none ? kNoIconsMessage : kProgramFileOpenMessage) + "\n" +
               ProgramProblemReason(icons.Problem(), head);
    }
    std::vector<std::string> list;
    if (!out.Json) out.Line("type: program\nicons: %d\n", icons.Count());
    for (int i = 0; i < icons.Count(); ++i) {
        const std::vector<IconImageInfo> images = icons.Images(i);
        const int chosen = icons.ChooseImage(i);
        const IconImageInfo* used = chosen >= 0 ? &images[std::size_t(chosen)] : nullptr;
        if (out.Json) {
            JsonObject icon;
            icon.Int("index", i).Str("group", icons.GroupName(i)).Int("images", (long long)images.size());
            if (used)
                icon.Raw("uses", JsonObject().Int("image", chosen).Int("width", used->Width).Int("height", used->Height)
                                     .Int("depth", used->Png ? 32 : used->BitsPerPixel)
                                     .Str("kind", used->Png ? "png" : used->BitsPerPixel <= 8 ? "palette" : "truecolor")
                                     .Text());
            else
                icon.Null("uses");
            list.push_back(icon.Text());
            continue;
        }
        out.Line("icon %d: group %s, %zu images, ", i, icons.GroupName(i).c_str(), images.size());
        if (!used) {
            out.Line("no usable image\n");
            continue;
        }
        out.Line("uses %dx%d %s\n", used->Width, used->Height,
                 used->Png ? "PNG" : (std::to_string(used->BitsPerPixel) + " bits per pixel").c_str());
    }
    if (out.Json) out.Object.Str("kind", "program").Raw("icons", JsonArray(list));
    return kDescribed;
}

// An animated cursor or Xcursor file: its frames with every size and hotspot, and its steps.
Outcome InfoAnimation(const Input& in, CursorFileKind which, Report& out) {
    CursorAnimation anim;
    if (CursorOpen r = OpenCursorFile(in.Name, which, anim); r.Exit != kExitOk) return r.Message;
    const bool xcursor = which == CursorFileKind::Xcursor;
    if (out.Json) {
        std::vector<std::string> frames, steps;
        for (const CursorFrame& f : anim.Frames) {
            std::vector<std::string> sizes;
            for (std::size_t i = 0; i < f.Sizes.size(); ++i) {
                const Document& d = f.Sizes[i].Doc;
                sizes.push_back(JsonObject().Int("width", d.ImageWidth).Int("height", d.ImageHeight)
                                    .Str("depth", PageDepth(d)).Int("nominal", NominalSizeOf(f, i))
                                    .Raw("hotspot", JsonArray({std::to_string(d.HotspotX), std::to_string(d.HotspotY)}))
                                    .Text());
            }
            frames.push_back(JsonObject().Raw("sizes", JsonArray(sizes)).Text());
        }
        for (std::size_t s = 0; s < anim.Steps.size(); ++s)
            steps.push_back(JsonObject().Int("frame", anim.Steps[s]).Int("milliseconds", anim.StepMilliseconds[s]).Text());
        out.Object.Str("kind", xcursor ? "xcursor" : "ani")
            .Int("resource_type", anim.ResourceType)
            .Raw("frames", JsonArray(frames))
            .Raw("steps", JsonArray(steps))
            .Str("title", anim.Title)
            .Str("author", anim.Author);
        return kDescribed;
    }
    out.Line("type: %s\nframes: %zu\nsteps: %zu\n", xcursor ? "xcursor" : (anim.ResourceType == kIconResourceType ? "animated icon (ani)" : "animated cursor (ani)"),
             anim.Frames.size(), anim.Steps.size());
    // The file's own bytes: control characters would break the "key: value" lines.
    auto printable = [](std::string s) {
        for (char& c : s)
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
        return s;
    };
    if (!anim.Title.empty()) out.Line("title: %s\n", printable(anim.Title).c_str());
    if (!anim.Author.empty()) out.Line("author: %s\n", printable(anim.Author).c_str());
    for (std::size_t k = 0; k < anim.Frames.size(); ++k) {
        const CursorFrame& f = anim.Frames[k];
        out.Line("frame %zu:", k);
        for (std::size_t i = 0; i < f.Sizes.size(); ++i) {
            const Document& d = f.Sizes[i].Doc;
            out.Line("%s", i ? ";" : "");
            if (xcursor) out.Line(" nominal %d", NominalSizeOf(f, i));
            out.Line(" %dx%d %s hotspot %d,%d", d.ImageWidth, d.ImageHeight, PageDepth(d).c_str(), d.HotspotX, d.HotspotY);
        }
        out.Line("\n");
    }
    for (std::size_t s = 0; s < anim.Steps.size(); ++s)
        out.Line("step %zu: frame %d, %d ms\n", s, anim.Steps[s], anim.StepMilliseconds[s]);
    return kDescribed;
}

Outcome Describe(const Input& in, FileKind& kind, Report& out) {
    // Only the first bytes, to recognise a file whose name says nothing (and to refuse at once
    // what is not a regular file); each kind then reads what it needs and no more.
    std::vector<uint8_t> head;
    if (!in.FromStdin) {
        if (std::string problem = InputFileProblem(in.Name); !problem.empty()) {
            kind = KindOfFormat(FormatOfPath(in.KindPath));
            return problem;
        }
        if (ReadFilePrefix(in.Name, kRecogniseBytes, head) != ReadStatus::Ok) {
            kind = KindOfFormat(FormatOfPath(in.KindPath));
            return CannotReadMessage(in.Name);
        }
    }
    if (const CursorFileKind which = in.FromStdin ? CursorFileKind::None : CursorFileKindOf(in.Name);
        which != CursorFileKind::None) {
        kind = which == CursorFileKind::Xcursor ? FileKind::Xcursor : FileKind::Animation;
        return InfoAnimation(in, which, out);
    }
    // An explicit --format for standard input is taken at its word; a file's name is not.
    kind = in.FromStdin ? KindOfFormat(FormatOfPath(in.KindPath)) : KindOf(in.Name, in.KindPath, head);
    Outcome failure;
    FormatReader reader = FormatReader::None;
    switch (kind) {
    case FileKind::Document: failure = InfoDocument(in, out), reader = FormatReader::Document; break;
    case FileKind::Icon: failure = InfoIcon(in, out), reader = FormatReader::IconImage; break;
    case FileKind::Bitmap: failure = InfoBitmap(in, out), reader = FormatReader::Bitmap; break;
    case FileKind::Jpeg: failure = InfoJpeg(in, out), reader = FormatReader::Jpeg; break;
    case FileKind::Png: failure = InfoPng(in, out), reader = FormatReader::Png; break;
    case FileKind::Palette: return InfoPalette(in, out);
    case FileKind::Program: return InfoProgram(in, out);
    case FileKind::Animation: return InfoAnimation(in, CursorFileKind::Ani, out);
    case FileKind::Xcursor: return InfoAnimation(in, CursorFileKind::Xcursor, out);
    case FileKind::Unknown: {
        const std::string looks = LooksLike(in.FromStdin ? in.Bytes : head);
        return Say("not a file kind pqtool knows", "pqtool の知らない形式です") +
               (looks.empty() ? "" : Say(": it looks like ", "（") + looks + Say("", "のようです）")) +
               Say("; info reads " + std::string(kInfoKinds), "。info が読めるのは " + std::string(kInfoKinds) + " です");
    }
    }
    if (failure.empty()) return failure;
    // A refusal that already says why (a file over its size limit is not read again).
    if (failure.find('\n') != std::string::npos) return EditorMessage(failure);
    // The precise reason, from the whole file (only a refused one is read again).
    std::vector<uint8_t> whole;
    if (!in.FromStdin && ReadWholeFile(in.Name, whole, kMaxPictureFileBytes) != ReadStatus::Ok) return EditorMessage(failure);
    return RefusalWithReason(failure, reader, in.FromStdin ? in.Bytes : whole);
}

constexpr std::array<OptionSpec, 2> kOptions{{{"--json", true}, {"--format"}}};

}  // namespace

int RunInfo(std::span<const std::string> args) {
    if (AsksForHelp(args)) {
        std::fputs(InfoUsage().c_str(), stdout);
        return kExitOk;
    }
    ParsedArgs parsed;
    std::string error;
    if (!ParseArgs(args, kOptions, parsed, error)) return UsageFailure("info", error);
    auto usage = [](std::string_view en, std::string_view ja) { return UsageFailure("info", Say(en, ja)); };
    if (parsed.Positionals.empty()) return usage("missing FILE", "FILE がありません");
    const auto stdinUses = std::count(parsed.Positionals.begin(), parsed.Positionals.end(), kStdinName);
    if (stdinUses > 1) return usage("standard input '-' can be read only once", "標準入力 '-' は一度しか読めません");
    std::string stdinKindPath;
    if (parsed.Has("--format")) {
        if (stdinUses == 0)
            return usage("--format names the kind of standard input '-' only", "--format は標準入力 '-' の形式を示します");
        const std::string& word = parsed.Value("--format");
        stdinKindPath = "stdin." + word;
        const FileFormat* format = FormatOfPath(stdinKindPath);
        if (word.find('.') != std::string::npos || KindOfFormat(format) == FileKind::Unknown)
            return usage("--format: '" + word +
                             "' is not a kind info reads (an extension without the dot: pqf, ico, "
                             "cur, bmp, jpg, jpeg, png, pqp, pal, act, exe, dll, scr)",
                         "--format：'" + word +
                             "' は info の読める形式ではありません（ドットを除いた拡張子：pqf、ico、"
                             "cur、bmp、jpg、jpeg、png、pqp、pal、act、exe、dll、scr）");
    } else if (stdinUses > 0) {
        return usage("standard input '-' needs --format KIND (ico, png, pqf, ...)",
                     "標準入力 '-' には --format 形式（ico、png、pqf など）が要ります");
    }
    const bool json = parsed.Has("--json");
    const bool several = parsed.Positionals.size() > 1;

    std::vector<std::string> objects;
    bool anyRefused = false, firstText = true;
    for (const std::string& name : parsed.Positionals) {
        Input in;
        in.Name = name;
        in.KindPath = name;
        Outcome failure;
        if (name == kStdinName) {
            in.FromStdin = true;
            in.KindPath = stdinKindPath;
            // The largest file any reader takes; each kind then applies its own limit.
            if (!ReadStandardInput(kMaxPictureFileBytes, in.Bytes))
                failure = Say("cannot read standard input", "標準入力を読めません");
            else if (in.Bytes.size() > kMaxPictureFileBytes)
                failure = Say("standard input holds more than ", "標準入力が ") + std::to_string(kMaxPictureFileBytes) +
                          Say(" bytes", " バイトを超えています");
        }
        Report report;
        report.Json = json;
        report.Object.Str("file", name);
        FileKind kind = FileKind::Unknown;
        if (failure.empty()) failure = Describe(in, kind, report);
        if (!failure.empty()) {
            Refused(name, failure);
            anyRefused = true;
            if (json) objects.push_back(JsonObject().Str("file", name).StrOrNull("kind", KindName(kind)).Str("error", failure).Text());
            continue;
        }
        if (json) {
            objects.push_back(report.Object.Null("error").Text());
            continue;
        }
        if (several) std::printf("%sfile: %s\n", firstText ? "" : "\n", name.c_str());
        std::fputs(report.Text.c_str(), stdout);
        firstText = false;
    }
    if (json) {
        if (several) {
            std::string text = "[\n";
            for (std::size_t i = 0; i < objects.size(); ++i) text += objects[i] + (i + 1 < objects.size() ? ",\n" : "\n");
            std::fputs((text + "]\n").c_str(), stdout);
        } else {
            std::printf("%s\n", objects[0].c_str());
        }
    }
    return anyRefused ? kExitRefused : kExitOk;
}

}  // namespace pq::cli
