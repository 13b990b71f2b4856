// pqtool pack: several documents or icons as the images of one icon or cursor file, or one
// input resampled to several sizes.
#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/cli_args.h"
#include "cli/commands.h"
#include "cli/messages.h"
#include "cli/open_input.h"
#include "cli/pack_animation.h"
#include "cli/refusal_reasons.h"
#include "core/formats/bmp_reader.h"
#include "core/formats/file_formats.h"
#include "core/formats/icon_container.h"
#include "core/formats/icon_file.h"
#include "core/formats/icon_images.h"
#include "core/formats/icon_set.h"
#include "core/formats/png_file.h"
#include "core/io/atomic_write.h"
#include "core/ops/resample.h"

namespace pq::cli {

const char* const kPackUsage =
    "usage: pqtool pack [--colors 16|256] OUT IN...\n"
    "       pqtool pack --sizes S,S,... OUT IN\n"
    "       pqtool pack [--xcursor] [--sizes S,S,...] [--times LIST] [--seq LIST]\n"
    "                   [--hotspot X,Y] [--title T] [--author A] OUT IN...\n"
    "\n"
    "Writes OUT (.ico or .cur) holding each IN as one image, in the order given. A .png IN of\n"
    "1 to 256 pixels a side (any shape) is kept exactly, every colour and alpha value: a 32-bit\n"
    "image, a PNG image when a side is 256. Any other IN is opened as 'pqtool convert' opens\n"
    "it without options (.pqf the document; .ico and .cur their image 0; .bmp and .jpg the\n"
    "whole picture fitted into 16x16 in 16 colours) and becomes a 4-bit image for 16 colours,\n"
    "8-bit for 256, with its visible layers composed. In a cursor each image keeps the hotspot\n"
    "of its input (0,0 for inputs that are not cursors).\n"
    "\n"
    "--colors 16|256  a .png IN is reduced to that many colours instead (painted where its\n"
    "                 alpha is 128 or more) and becomes a 4-bit or 8-bit image of its size.\n"
    "                 Not with --sizes.\n"
    "\n"
    "--sizes S,S,...  OUT holds the one IN at each listed size instead, in the order listed:\n"
    "                 S x S pixels (1 to 256, each size once), its visible layers resampled by\n"
    "                 area averaging (a pixel stays transparent unless at least half of what it\n"
    "                 covers is painted; a picture IN is first fitted whole into the largest\n"
    "                 size in 256 colours)\n"
    "                 and reduced to IN's colour count. 256 becomes a PNG\n"
    "                 image, the others 4-bit or 8-bit; a cursor's hotspot is scaled with it.\n"
    "\n"
    "--to ico|cur     OUT \"-\" writes the icon or cursor to standard output.\n"
    "\n"
    "--quantizer median|quality, --dither none|fs|ordered, --alpha-threshold N\n"
    "                 how colours are reduced wherever they are (as 'pqtool convert --help'\n"
    "                 says): the editor's median cut, undithered, alpha 128 by default.\n"
    "\n"
    "Animations: an OUT ending in .ani (or any OUT with --xcursor, an Xcursor file) holds each\n"
    "IN as a frame: an .ico or .cur as one frame of all its images, an .ani or Xcursor file as\n"
    "all its frames and steps, anything else as one image (truecolour where it has alpha).\n"
    "--times LIST     milliseconds of each step, or one time for every step (default 100;\n"
    "                 an .ani keeps them to the nearest 1/60 s)\n"
    "--seq LIST       the frames (from 0) shown at each step, repeats allowed (default each\n"
    "                 frame once, in order)\n"
    "--hotspot X,Y    the hotspot of frames that are not cursors (default 0,0)\n"
    "--title T, --author A  kept in the .ani\n"
    "--sizes S,S,...  every frame at these sizes (up to 256 for .ani, 512 for Xcursor), each\n"
    "                 made from the nearest larger size by averaging, its hotspot scaled\n"
    "\n"
    "Exit status: 0 success, 1 an IN is refused or OUT cannot be written (the reason on stderr;\n"
    "nothing is written then), 2 wrong usage.\n";

namespace {

const char* const kPackUsageJa =
    "使い方: pqtool pack [--colors 16|256] OUT IN...\n"
    "        pqtool pack --sizes S,S,... OUT IN\n"
    "        pqtool pack [--xcursor] [--sizes S,S,...] [--times LIST] [--seq LIST]\n"
    "                    [--hotspot X,Y] [--title T] [--author A] OUT IN...\n"
    "\n"
    "各 IN を画像一枚ずつにして、指定の順に収めた OUT（.ico か .cur）を書きます。一辺 1～256\n"
    "ピクセル（縦横比は自由）の .png の IN は、色とアルファの値を 1 つも変えずにそのまま\n"
    "収めます。32 ビットの画像になり、一辺が 256 なら PNG の画像になります。ほかの IN は\n"
    "オプションなしの 'pqtool convert' と同じように開き（.pqf はその文書、.ico と .cur は\n"
    "0 番目の画像、.bmp と .jpg は画像全体を 16x16 に収めて 16 色）、表示中のレイヤを重ねて、\n"
    "16 色なら 4 ビット、256 色なら 8 ビットの画像にします。カーソルでは、各画像は入力の\n"
    "ホットスポットを引き継ぎます（カーソルでない入力では 0,0）。\n"
    "\n"
    "--colors 16|256  .png の IN を代わりにその色数に減色し（アルファが 128 以上の所を塗ります）、\n"
    "                 その大きさの 4 ビットか 8 ビットの画像にします。--sizes とは一緒に\n"
    "                 使えません。\n"
    "\n"
    "--sizes S,S,...  代わりに一つの IN を、並べた大きさごとにその順で OUT に収めます。\n"
    "                 S x S ピクセル（1～256、同じ大きさは一度だけ）で、表示中のレイヤを\n"
    "                 面積平均で拡大縮小し（覆う範囲の半分以上が塗られていなければピクセルは\n"
    "                 透明のまま。画像の IN は、まず 256 色で全体を最も大きい大きさに収めます）、\n"
    "                 IN の色数に減色します。256 は PNG の画像、ほかは 4 ビットか 8 ビットの\n"
    "                 画像になり、カーソルのホットスポットも合わせて拡大縮小します。\n"
    "\n"
    "--to ico|cur     OUT が \"-\" のとき、アイコンかカーソルを標準出力に書きます。\n"
    "\n"
    "--quantizer median|quality, --dither none|fs|ordered, --alpha-threshold N\n"
    "                 減色するときの方法（'pqtool convert --help' のとおり）。既定はエディタと\n"
    "                 同じメディアンカット、ディザなし、アルファ 128。\n"
    "\n"
    "アニメーション: OUT が .ani で終わるとき（--xcursor なら Xcursor ファイル）、各 IN を\n"
    "フレームにします。.ico と .cur は全画像で一フレーム、.ani と Xcursor ファイルはその\n"
    "フレームとステップのすべて、ほかは画像一枚（アルファがあればフルカラー）です。\n"
    "--times LIST     各ステップのミリ秒。一つだけならすべてのステップに（既定 100。\n"
    "                 .ani では 1/60 秒単位に丸めます）\n"
    "--seq LIST       各ステップで表示するフレーム（0 から。繰り返してもかまいません。既定は\n"
    "                 各フレームを順に一度ずつ）\n"
    "--hotspot X,Y    カーソルでないフレームのホットスポット（既定 0,0）\n"
    "--title T, --author A  .ani に書く題名と作者\n"
    "--sizes S,S,...  各フレームをこれらの大きさで（.ani は 256 まで、Xcursor は 512 まで）。\n"
    "                 次に大きいサイズから平均して作り、ホットスポットも合わせます\n"
    "\n"
    "終了ステータス: 0 成功、1 受け付けない IN があったか OUT を書けなかった（理由は標準エラー\n"
    "出力。そのときは何も書きません）、2 使い方の誤り。\n";

}  // namespace

std::string PackUsage() { return Say(kPackUsage, kPackUsageJa); }

namespace {

constexpr std::array<OptionSpec, 6> kOptions{
    {{"--sizes"}, {"--colors"}, {"--to"}, {"--quantizer"}, {"--dither"}, {"--alpha-threshold"}}};

// "16,24,32": whole numbers 1..kMaxResampleSide, each once; false with `error` set otherwise.
bool ParseSizes(const std::string& text, std::vector<int>& sizes, std::string& error) {
    sizes.clear();
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = text.find(',', start);
        const std::string part = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        int size = 0;
        if (!ParseNonNegative(part, size) || size < 1 || size > kMaxResampleSide) {
            error = Say("--sizes: '" + part + "' is not a size from 1 to " + std::to_string(kMaxResampleSide),
                        "--sizes：'" + part + "' は 1～" + std::to_string(kMaxResampleSide) + " の大きさではありません");
            return false;
        }
        if (std::find(sizes.begin(), sizes.end(), size) != sizes.end()) {
            error = Say("--sizes: " + part + " is listed more than once", "--sizes：" + part + " が二度あります");
            return false;
        }
        sizes.push_back(size);
        if (comma == std::string::npos) return true;
        start = comma + 1;
    }
}

}  // namespace

int RunPack(std::span<const std::string> args) {
    if (AsksForHelp(args)) {
        std::fputs(PackUsage().c_str(), stdout);
        return kExitOk;
    }
    if (PacksAnimation(args)) return RunPackAnimation(args);
    ParsedArgs parsed;
    std::string error;
    if (!ParseArgs(args, kOptions, parsed, error)) return UsageFailure("pack", error);
    if (parsed.Positionals.size() < 2)
        return UsageFailure("pack", parsed.Positionals.empty() ? Say("missing OUT and IN", "OUT と IN がありません")
                                                               : Say("missing IN", "IN がありません"));
    std::vector<int> sizes;
    if (parsed.Has("--sizes")) {
        if (!ParseSizes(parsed.Value("--sizes"), sizes, error)) return UsageFailure("pack", error);
        if (parsed.Positionals.size() > 2)
            return UsageFailure("pack", Say("--sizes takes exactly one IN", "--sizes には IN を一つだけ指定します"));
    }
    const std::string& out = parsed.Positionals[0];
    const std::string outKind = parsed.Has("--to") ? parsed.Value("--to") : "";
    if (parsed.Has("--to") && out != kStdinName)
        return UsageFailure("pack", Say("--to names the kind of standard output '-' only",
                                        "--to は標準出力 '-' の形式を示します"));
    const FileFormat* format = out == kStdinName ? FormatOfKindWord(outKind) : FormatOfPath(out);
    if (!format || (format->Id != FileFormatId::Icon && format->Id != FileFormatId::Cursor))
        return UsageFailure("pack", Say("OUT must be an .ico or .cur file, not '", "OUT は .ico か .cur のファイルです：'") +
                                        out + "'");

    int colors = 0;
    if (parsed.Has("--colors")) {
        const std::string& v = parsed.Value("--colors");
        if (!ParseNonNegative(v, colors) || (colors != 16 && colors != 256))
            return UsageFailure("pack", Say("--colors must be 16 or 256, not '", "--colors は 16 か 256 です：'") + v + "'");
        if (!sizes.empty())
            return UsageFailure("pack", Say("--colors does not go with --sizes", "--colors は --sizes と一緒には使えません"));
    }
    ReductionOptions reduction;
    if (!ParseReductionOptions(parsed, reduction, error)) return UsageFailure("pack", error);

    const int type = format->Id == FileFormatId::Cursor ? kCursorResourceType : kIconResourceType;
    std::vector<Document> docs(parsed.Positionals.size() - 1);
    StoredIconFile file;
    file.ResourceType = uint16_t(type);
    for (std::size_t i = 0; i < docs.size(); ++i) {
        const std::string& in = parsed.Positionals[i + 1];
        // An existing file of another kind is refused when it is opened (exit 1), not here.
        if (InputKindOf(in) == InputKind::None && !std::filesystem::exists(in))
            return UsageFailure("pack", Say("no reader for '" + in + "': inputs are " + InputExtensions(),
                                            "'" + in + "' を読む方法がありません。読めるのは " + InputExtensions() + " です"));
        const FileFormat* inFormat = FormatOfPath(in);
        if (sizes.empty() && inFormat && inFormat->Reader == FormatReader::Png) {
            // The picture itself, not the picture import's frame.
            if (std::string problem = InputFileProblem(in); !problem.empty()) return Refused(in, problem);
            std::vector<uint8_t> bytes;
            if (FileResult r = ReadPictureFileBytes(in, bytes); !r) return Refused(in, r.Message);
            RgbaImage picture;
            if (!DecodeIconRgba(bytes, picture))
                return Refused(in, RefusalWithReason(kPngUnreadableMessage, FormatReader::Png, bytes));
            if (picture.Width > kMaxIconFileSide || picture.Height > kMaxIconFileSide)
                return Refused(in, std::to_string(picture.Width) + "x" + std::to_string(picture.Height) +
                                       Say(" is larger than an icon image (", " はアイコンの画像には大きすぎます（一辺 ") +
                                       std::to_string(kMaxIconFileSide) +
                                       Say(" pixels a side at most)", " ピクセルまで）"));
            StoredIconImage image;
            bool ok = false;
            if (colors != 0) {
                DocumentFromRgba(docs[i], picture, kToolZoom, colors, reduction);
                ok = EncodeIconPage(docs[i], IconPageKind::Palette, type, image);
            } else {
                const bool png = picture.Width == kMaxIconFileSide || picture.Height == kMaxIconFileSide;
                ok = EncodeRgbaIconImage(picture, png, type, 0, 0, image);
            }
            if (!ok) return Refused(in, "「" + out + "」に書き込めませんでした。");
            file.Images.push_back(std::move(image));
            continue;
        }
        if (!sizes.empty() && inFormat && inFormat->Reader == FormatReader::Png &&
            InputFileProblem(in).empty()) {
            // A PNG keeps its colours and alpha: fitted into the largest size as the picture import fits it, and
            // each size averaged from that with alpha, never blended onto a background.
            std::vector<uint8_t> bytes;
            RgbaImage picture;
            if (ReadPictureFileBytes(in, bytes) && DecodeIconRgba(bytes, picture)) {
                std::vector<Rgba8> pixels(picture.Pixels.size() / 4);
                for (std::size_t p = 0; p < pixels.size(); ++p)
                    pixels[p] = Rgba8{picture.Pixels[4 * p], picture.Pixels[4 * p + 1], picture.Pixels[4 * p + 2],
                                      picture.Pixels[4 * p + 3]};
                const int side = *std::max_element(sizes.begin(), sizes.end());
                docs[i] = FittedTrueColorDocument(pixels, picture.Width, picture.Height, side, side, kToolZoom);
                if (docs[i].Ready) continue;
            }
        }
        OpenRequest request;
        request.Reduction = reduction;
        if (!sizes.empty()) {
            // A picture is taken at the largest size asked for, in 256 colours, and each size made from that.
            request.Width = request.Height = *std::max_element(sizes.begin(), sizes.end());
            request.Colors = 256;
        }
        const OpenResult opened = OpenInput(in, request, docs[i]);
        if (opened.Exit == kExitUsage) return UsageFailure("pack", opened.Message);
        if (opened.Exit != kExitOk) return Refused(in, opened.Message);
        if (!sizes.empty()) continue;
        StoredIconImage image;
        if (!EncodeIconImage(docs[i], type, image))
            return Refused(out, "「" + out + "」に書き込めませんでした。\n" + std::to_string(i + 1) +
                                    " 番目の画像はアイコンにできません。");
        file.Images.push_back(std::move(image));
    }
    if (sizes.empty()) {
        const std::vector<uint8_t> bytes = EncodeStoredIconFile(file);
        const FileResult r = out == kStdinName ? WriteThroughStdout(outKind, [&](const std::filesystem::path& p) {
            return WriteFileAtomically(p, bytes);
        })
                                               : WriteFileAtomically(out, bytes);
        if (!r) return Refused(out == kStdinName ? Say("standard output", "標準出力") : out, r.Message);
        return kExitOk;
    }
    // One page of the set for each size, made from the one IN.
    std::vector<Document> made;
    made.reserve(sizes.size());
    std::vector<IconSetEntry> pages;
    for (int size : sizes) {
        made.push_back(ResampledDocument(docs[0], size, size, docs[0].ColorCount, kToolZoom, reduction));
        pages.push_back(IconSetEntry{&made.back(), NewPageKind(size, size)});
    }
    const FileResult r = out == kStdinName ? WriteThroughStdout(outKind, [&](const std::filesystem::path& p) {
        return SaveIconSet(pages, p, type);
    })
                                           : SaveIconSet(pages, out, type);
    if (!r) return Refused(out == kStdinName ? Say("standard output", "標準出力") : out, r.Message);
    return kExitOk;
}

}  // namespace pq::cli
