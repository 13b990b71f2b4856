// pqtool convert: open a file as the editor does and write it with the writer its output name
// picks; several inputs into one folder in one run.
#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <system_error>

#include "cli/cli_args.h"
#include "cli/commands.h"
#include "cli/messages.h"
#include "cli/open_input.h"
#include "core/formats/file_formats.h"
#include "core/ops/resample.h"

namespace pq::cli {

const char* const kConvertUsage =
    "usage: pqtool convert IN OUT [OPTIONS]\n"
    "       pqtool convert IN... -o DIR --to KIND [--name PATTERN] [OPTIONS]\n"
    "\n"
    "Opens IN as the editor opens it and writes OUT in the format its extension names.\n"
    "A file whose content is of another kind than its name says (a PNG named .ico) is read as\n"
    "what it holds, with a note on stderr.\n"
    "Input:\n"
    "  .pqf            the layered document\n"
    "  .ico, .cur      image N of the file (--index N, default 0)\n"
    "  .bmp, .jpg,     the whole picture fitted into --size (default 16x16) keeping its\n"
    "  .jpeg, .png     proportions, centred, unpainted around it, resampled by area averaging\n"
    "                  and reduced to --colors (default 16) colours. --area L,T,R,B takes the\n"
    "                  rectangle from (L,T) to (R,B) instead, right and bottom exclusive,\n"
    "                  scaled to the output size exactly. It may reach off the picture\n"
    "                  (negative numbers too): what falls outside is white, as in the editor's\n"
    "                  area picker. A PNG's fully transparent pixels stay unpainted.\n"
    "                  With --colors 32bit the picture becomes a truecolour document instead,\n"
    "                  at --size or else its own size (fitted into 256x256 when larger): a PNG\n"
    "                  keeps every alpha value, a 32-bit bitmap its alpha bytes, a JPEG is\n"
    "                  opaque; at its own size every pixel is kept, fitted it is averaged on\n"
    "                  premultiplied values. A document or icon image in 16 or 256 colours\n"
    "                  becomes truecolour without loss (unpainted pixels transparent).\n"
    "Output, by extension:\n"
    "  .pqf            the layered document\n"
    "  .ico, .cur      one-image icon or cursor of the visible layers; a cursor's hotspot is\n"
    "                  --hotspot X,Y, else the one of the cursor IN (0,0 for other input).\n"
    "                  OUT naming the very file IN came from replaces only image N in it,\n"
    "                  in the image's own kind: a 32-bit image stays 32-bit, a PNG image PNG,\n"
    "                  others become 4-bit or 8-bit; every other image is kept byte for byte.\n"
    "  .bmp            24-bit bitmap of the visible layers, white where nothing is painted\n"
    "  .pqp, .pal      the document's palette as pqp or JASC-PAL text\n"
    "  .png            RGBA picture of the visible layers, transparent where nothing is painted\n"
    "\n"
    "Options:\n"
    "  --index N          the image of an icon or cursor IN, from 0\n"
    "  --size N|WxH       a picture's output size, 1 to 256 pixels a side (N: N x N)\n"
    "  --colors 16|256|32bit\n"
    "                     a picture's colour count, or 32bit: a truecolour document of any IN\n"
    "  --area L,T,R,B     a picture's frame instead of the whole picture\n"
    "  --fast             a JPEG at least 4 times the output's size on each side is decoded\n"
    "                     at 1/2, 1/4 or 1/8 of its size (still twice the output's) and that\n"
    "                     is averaged: much quicker, and close to the exact result (not\n"
    "                     the same bytes)\n"
    "  --hotspot X,Y      the hotspot of a .cur OUT\n"
    "  --quantizer median|quality\n"
    "                     how a picture or a truecolour icon image is reduced: the editor's\n"
    "                     median cut (default) or the high-quality reduction\n"
    "  --dither none|fs|ordered\n"
    "                     no dithering (default), Floyd-Steinberg error diffusion or an ordered\n"
    "                     8x8 pattern when its pixels are mapped to the reduced colours\n"
    "  --alpha-threshold N\n"
    "                     a truecolour icon image is painted where its alpha is N or more\n"
    "                     (1 to 255, default 128)\n"
    "  --format KIND      the kind of IN \"-\" (standard input): pqf, ico, cur, bmp, jpg, png\n"
    "  --to KIND          the kind of OUT \"-\" (standard output) and of the files -o writes:\n"
    "                     pqf, ico, cur, bmp, png, pqp, pal\n"
    "  -o DIR             write each IN as DIR/NAME.KIND (DIR is made when missing); an IN\n"
    "                     that fails is reported and the others are still converted\n"
    "  --name PATTERN     NAME for -o: {stem} is IN's name without its extension, {n} its\n"
    "                     place among the inputs from 1 (default {stem})\n"
    "\n"
    "Exit status: 0 success, 1 an IN is refused or an output cannot be written (the reason on\n"
    "stderr), 2 wrong usage.\n";

namespace {

const char* const kConvertUsageJa =
    "使い方: pqtool convert IN OUT [OPTIONS]\n"
    "        pqtool convert IN... -o DIR --to KIND [--name PATTERN] [OPTIONS]\n"
    "\n"
    "IN をエディタと同じように開き、OUT をその拡張子の示す形式で書きます。\n"
    "名前の示す形式と中身が違うファイル（.ico という名前の PNG など）は、中身のとおりに読み、\n"
    "標準エラー出力にその旨を出します。\n"
    "入力:\n"
    "  .pqf            レイヤのある文書\n"
    "  .ico, .cur      ファイルの N 番目の画像（--index N、既定は 0）\n"
    "  .bmp, .jpg,     画像全体を縦横比を保ったまま --size（既定は 16x16）に収め、中央に置き、\n"
    "  .jpeg, .png     周りは塗らずに残します。面積平均で縮小し、--colors（既定は 16）色に\n"
    "                  減色します。--area L,T,R,B を指定すると、代わりに (L,T) から (R,B)\n"
    "                  まで（右端と下端は含まない）の長方形を取り、出力の大きさにそのまま\n"
    "                  拡大縮小します。長方形は画像からはみ出してもかまいません（負の数も可）。\n"
    "                  はみ出た部分はエディタの範囲指定と同じく白になります。PNG の完全に\n"
    "                  透明なピクセルは塗らずに残します。\n"
    "                  --colors 32bit では代わりにフルカラーの文書になります。大きさは\n"
    "                  --size、なければ画像そのままの大きさ（256x256 より大きければそこに\n"
    "                  収めます）。PNG はアルファの値をすべて、32 ビットのビットマップは\n"
    "                  アルファのバイトを保ち、JPEG は不透明です。同じ大きさなら全ピクセル\n"
    "                  をそのまま保ち、収めるときは乗算済みの値で面積平均します。16 色か\n"
    "                  256 色の文書やアイコンの画像は失うものなくフルカラーになります\n"
    "                  （塗られていない所は透明）。\n"
    "出力（拡張子で決まります）:\n"
    "  .pqf            レイヤのある文書\n"
    "  .ico, .cur      表示中のレイヤを重ねた画像一枚のアイコンかカーソル。\n"
    "                  カーソルのホットスポットは --hotspot X,Y、なければカーソルの IN の\n"
    "                  もの（ほかの入力では 0,0）です。OUT が IN と同じファイルのときは、\n"
    "                  その N 番目の画像だけを元の種類のまま置き換えます。32 ビットの画像は\n"
    "                  32 ビット、PNG の画像は PNG のまま、ほかは 4 ビットか 8 ビットに\n"
    "                  なります。ほかの画像は 1 バイトも変えずに残します。\n"
    "  .bmp            表示中のレイヤの 24 ビットビットマップ。何も塗られていない所は白\n"
    "  .pqp, .pal      文書のパレット（pqp か JASC-PAL のテキスト）\n"
    "  .png            表示中のレイヤの RGBA 画像。何も塗られていない所は透明\n"
    "\n"
    "オプション:\n"
    "  --index N          アイコンかカーソルの IN の画像番号（0 から）\n"
    "  --size N|WxH       画像の出力の大きさ。一辺 1～256 ピクセル（N は N x N）\n"
    "  --colors 16|256|32bit\n"
    "                     画像の色数。32bit はどの IN もフルカラーの文書にします\n"
    "  --area L,T,R,B     画像全体の代わりに取る範囲\n"
    "  --fast             出力の 4 倍以上の大きさの JPEG を 1/2、1/4、1/8 の大きさ（出力の\n"
    "                     2 倍以上）で展開してから平均します。ずっと速く、結果は正確な結果に\n"
    "                     近いものになります（同じバイトにはなりません）\n"
    "  --hotspot X,Y      .cur の OUT のホットスポット\n"
    "  --quantizer median|quality\n"
    "                     画像や 32 ビットなどのアイコン画像の減色方法: エディタと同じ\n"
    "                     メディアンカット（既定）か高画質\n"
    "  --dither none|fs|ordered\n"
    "                     減らした色に置き換えるときのディザ: なし（既定）、誤差拡散\n"
    "                     （Floyd-Steinberg）、8x8 のパターン\n"
    "  --alpha-threshold N\n"
    "                     32 ビットなどのアイコン画像でアルファが N 以上のところを塗ります\n"
    "                     （1～255、既定 128）\n"
    "  --format KIND      IN が \"-\"（標準入力）のときの形式: pqf, ico, cur, bmp, jpg, png\n"
    "  --to KIND          OUT が \"-\"（標準出力）のときと -o で書くファイルの形式:\n"
    "                     pqf, ico, cur, bmp, png, pqp, pal\n"
    "  -o DIR             各 IN を DIR/NAME.KIND に書きます（DIR がなければ作ります）。失敗した\n"
    "                     IN は報告し、ほかの IN の変換は続けます\n"
    "  --name PATTERN     -o で使う NAME。{stem} は IN の拡張子を除いた名前、{n} は入力の中での\n"
    "                     順番（1 から）です（既定は {stem}）\n"
    "\n"
    "終了ステータス: 0 成功、1 受け付けない IN があったか出力を書けなかった（理由は標準エラー\n"
    "出力）、2 使い方の誤り。\n";

}  // namespace

std::string ConvertUsage() { return Say(kConvertUsage, kConvertUsageJa); }

namespace {

constexpr std::array<OptionSpec, 13> kOptions{{{"--quantizer"},
                                               {"--dither"},
                                               {"--alpha-threshold"},
                                               {"--index"},
                                               {"--size"},
                                               {"--colors"},
                                               {"--area"},
                                               {"--hotspot"},
                                               {"--format"},
                                               {"--to"},
                                               {"-o"},
                                               {"--name"},
                                               {"--fast", true}}};

// "X,Y": two whole numbers 0 or above.
bool ParseHotspot(const std::string& text, int& x, int& y) {
    const std::size_t comma = text.find(',');
    return comma != std::string::npos && ParseNonNegative(std::string_view(text).substr(0, comma), x) &&
           ParseNonNegative(std::string_view(text).substr(comma + 1), y);
}

// "N" or "WxH", each side 1..kMaxResampleSide.
bool ParseOutputSize(const std::string& text, int& width, int& height) {
    const std::size_t x = text.find('x');
    const std::string_view w = std::string_view(text).substr(0, x);
    if (!ParseNonNegative(w, width)) return false;
    height = width;
    if (x != std::string::npos && !ParseNonNegative(std::string_view(text).substr(x + 1), height)) return false;
    return width >= 1 && width <= kMaxResampleSide && height >= 1 && height <= kMaxResampleSide;
}

// The output name of input `n` (from 1) for -o: the pattern with {stem} and {n} filled in.
std::string ExpandName(const std::string& pattern, const std::string& in, std::size_t n) {
    const std::string stem = in == kStdinName ? "stdin" : std::filesystem::path(in).stem().string();
    std::string out;
    for (std::size_t i = 0; i < pattern.size();) {
        if (pattern.compare(i, 6, "{stem}") == 0) {
            out += stem;
            i += 6;
        } else if (pattern.compare(i, 3, "{n}") == 0) {
            out += std::to_string(n);
            i += 3;
        } else {
            out += pattern[i++];
        }
    }
    return out;
}

struct Settings {
    OpenRequest Request;
    bool HasHotspot = false;
    int HotspotX = 0, HotspotY = 0;
    std::string OutKind;   // --to
};

// One IN to one OUT; returns the exit status and prints its refusal.
int ConvertOne(InputFile& file, const std::string& out, const Settings& s) {
    const std::string in = file.Path;
    const FileFormat* outFormat = out == kStdinName ? FormatOfKindWord(s.OutKind) : FormatOfPath(out);
    Document doc;
    const OpenResult opened = OpenInput(file, s.Request, doc);
    file = InputFile();   // closed: a batch holds no more files open than it must
    if (opened.Exit == kExitUsage) return UsageFailure("convert", opened.Message);
    if (opened.Exit != kExitOk) return Refused(in, opened.Message);
    if (s.HasHotspot) {
        if (s.HotspotX >= doc.ImageWidth || s.HotspotY >= doc.ImageHeight)
            return UsageFailure("convert", Say("--hotspot lies outside the ", "--hotspot が ") +
                                               std::to_string(doc.ImageWidth) + "x" + std::to_string(doc.ImageHeight) +
                                               Say(" image", " の画像の外です"));
        doc.HotspotX = s.HotspotX;
        doc.HotspotY = s.HotspotY;
        doc.HasHotspot = true;
    }
    if (!outFormat || !outFormat->Writer)
        return UsageFailure("convert", Say("no writer for '" + out + "'", "'" + out + "' を書く方法がありません"));
    if (FileResult r = WriteOutput(doc, out, s.OutKind); !r)
        return Refused(out == kStdinName ? Say("standard output", "標準出力") : out, EditorMessage(r.Message));
    return kExitOk;
}

}  // namespace

int RunConvert(std::span<const std::string> args) {
    if (AsksForHelp(args)) {
        std::fputs(ConvertUsage().c_str(), stdout);
        return kExitOk;
    }
    auto usage = [](std::string_view en, std::string_view ja) { return UsageFailure("convert", Say(en, ja)); };
    ParsedArgs parsed;
    std::string error;
    if (!ParseArgs(args, kOptions, parsed, error)) return UsageFailure("convert", error);
    const bool batch = parsed.Has("-o");
    const std::vector<std::string>& words = parsed.Positionals;
    if (batch) {
        if (words.empty()) return usage("missing IN", "IN がありません");
        if (!parsed.Has("--to")) return usage("-o DIR needs --to KIND", "-o DIR には --to 形式が要ります");
    } else {
        if (words.size() < 2) return words.empty() ? usage("missing IN and OUT", "IN と OUT がありません")
                                                   : usage("missing OUT", "OUT がありません");
        if (words.size() > 2) return usage("too many arguments (several inputs need -o DIR)",
                                           "引数が多すぎます（複数の入力には -o DIR を使います）");
        if (parsed.Has("--name")) return usage("--name goes with -o DIR only", "--name は -o DIR と使います");
    }
    const std::vector<std::string> inputs(words.begin(), batch ? words.end() : words.begin() + 1);
    const std::string singleOut = batch ? std::string() : words[1];

    Settings s;
    if (parsed.Has("--to")) {
        s.OutKind = parsed.Value("--to");
        const FileFormat* f = FormatOfKindWord(s.OutKind);
        if (!f || !f->Writer)
            return UsageFailure("convert", Say("--to: '" + s.OutKind + "' is no kind pqtool writes: outputs are ",
                                               "--to：'" + s.OutKind + "' は書ける形式ではありません。書けるのは ") +
                                               OutputExtensions() + Say("", " です"));
        if (!batch && singleOut != kStdinName)
            return usage("--to names the kind of OUT \"-\" or of -o DIR only",
                         "--to は OUT が \"-\" のときか -o DIR のときだけ使えます");
    } else if (singleOut == kStdinName) {
        return usage("standard output '-' needs --to KIND (png, ico, pqf, ...)",
                     "標準出力 '-' には --to 形式（png、ico、pqf など）が要ります");
    }
    const auto stdinUses = std::count(inputs.begin(), inputs.end(), std::string(kStdinName));
    if (stdinUses > 1) return usage("standard input '-' can be read only once", "標準入力 '-' は一度しか読めません");
    if (parsed.Has("--format")) {
        if (stdinUses == 0)
            return usage("--format names the kind of standard input '-' only", "--format は標準入力 '-' の形式を示します");
        s.Request.StdinKind = parsed.Value("--format");
    }
    if (!batch && singleOut != kStdinName && !OutputWriterOf(singleOut))
        return UsageFailure("convert", Say("no writer for '" + singleOut + "': outputs are ",
                                           "'" + singleOut + "' を書く方法がありません。書けるのは ") +
                                           OutputExtensions() + Say("", " です"));

    if (parsed.Has("--index") && !ParseNonNegative(parsed.Value("--index"), s.Request.Index))
        return UsageFailure("convert", Say("--index: '" + parsed.Value("--index") + "' is not a whole number 0 or above",
                                           "--index：'" + parsed.Value("--index") + "' は 0 以上の整数ではありません"));
    if (parsed.Has("--size") && !ParseOutputSize(parsed.Value("--size"), s.Request.Width, s.Request.Height))
        return UsageFailure("convert", Say("--size must be N or WxH with sides from 1 to 256, not '",
                                           "--size は辺が 1～256 の N か WxH です：'") +
                                           parsed.Value("--size") + "'");
    s.Request.SizeGiven = parsed.Has("--size");
    if (parsed.Has("--colors")) {
        const std::string& v = parsed.Value("--colors");
        s.Request.TrueColor = v == "32bit";
        if (!s.Request.TrueColor &&
            (!ParseNonNegative(v, s.Request.Colors) || (s.Request.Colors != 16 && s.Request.Colors != 256)))
            return UsageFailure("convert", Say("--colors must be 16 or 256 (or 32bit for truecolour), not '",
                                               "--colors は 16 か 256（フルカラーは 32bit）です：'") +
                                               v + "'");
    }
    if (parsed.Has("--fast") && s.Request.TrueColor)
        return usage("--fast goes with --colors 16 or 256 only", "--fast は --colors 16 か 256 とだけ使えます");
    s.Request.Fast = parsed.Has("--fast");
    if (parsed.Has("--area") && s.Request.TrueColor)
        return usage("--area goes with --colors 16 or 256 only", "--area は --colors 16 か 256 とだけ使えます");
    if (parsed.Has("--area")) {
        Rect area;
        if (!ParseArea(parsed.Value("--area"), area, error)) return UsageFailure("convert", error);
        s.Request.Area = area;
    }
    if (!ParseReductionOptions(parsed, s.Request.Reduction, error)) return UsageFailure("convert", error);
    // Options that only some inputs take are checked against what the names say; an input whose
    // content turns out otherwise is judged by its content.
    // Each input is opened once: its first bytes judge its kind here, and the open file is read
    // when it is converted. A long batch keeps only the first bytes of the inputs past the first
    // kHeldInputs (a process may hold only so many files open); those are opened again.
    constexpr std::size_t kHeldInputs = 256;
    std::vector<InputFile> files;
    files.reserve(inputs.size());
    for (const std::string& in : inputs) {
        files.push_back(PeekInputFile(in));
        if (files.size() > kHeldInputs) files.back().File = RegularFile();
        const InputKind kind = JudgedInputKind(files.back(), s.Request.StdinKind);
        if (kind == InputKind::None) continue;
        if (parsed.Has("--index") && kind != InputKind::Icon)
            return usage("--index applies to .ico and .cur input only", "--index はアイコンとカーソルの入力にだけ使えます");
        for (const char* pictureOption : {"--size", "--colors", "--area", "--fast"})
            if (parsed.Has(pictureOption) && kind != InputKind::Picture &&
                !(s.Request.TrueColor && std::string_view(pictureOption) == "--colors"))
                return UsageFailure("convert", std::string(pictureOption) +
                                                   Say(" applies to .bmp, .jpg, .jpeg and .png input only",
                                                       " は .bmp、.jpg、.jpeg、.png の入力にだけ使えます"));
    }
    if (parsed.Has("--hotspot")) {
        const FileFormat* outFormat = batch || singleOut == kStdinName ? FormatOfKindWord(s.OutKind) : FormatOfPath(singleOut);
        if (!outFormat || outFormat->Id != FileFormatId::Cursor)
            return usage("--hotspot applies to .cur output only", "--hotspot はカーソルの出力にだけ使えます");
        if (!ParseHotspot(parsed.Value("--hotspot"), s.HotspotX, s.HotspotY))
            return UsageFailure("convert", Say("--hotspot: '" + parsed.Value("--hotspot") +
                                                   "' is not X,Y (whole numbers 0 or above)",
                                               "--hotspot：'" + parsed.Value("--hotspot") + "' は X,Y（0 以上の整数）ではありません"));
        s.HasHotspot = true;
    }

    if (!batch) return ConvertOne(files[0], singleOut, s);

    // Every output name first: two inputs must not be written as the same file.
    const std::filesystem::path dir = parsed.Value("-o");
    const std::string pattern = parsed.Has("--name") ? parsed.Value("--name") : "{stem}";
    std::vector<std::string> outs;
    std::map<std::string, std::size_t> taken;
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        const std::string name = ExpandName(pattern, inputs[i], i + 1);
        if (name.empty() || name.find('/') != std::string::npos || name == "." || name == "..")
            return UsageFailure("convert", Say("--name gives '" + name + "' for '" + inputs[i] + "', which is no file name",
                                               "--name は '" + inputs[i] + "' を '" + name + "' にしますが、ファイル名になりません"));
        const std::string out = (dir / (name + "." + s.OutKind)).string();
        if (auto [at, fresh] = taken.emplace(out, i); !fresh)
            return UsageFailure("convert", Say("'" + inputs[at->second] + "' and '" + inputs[i] + "' would both be written as '" +
                                                   out + "': put {n} in --name",
                                               "'" + inputs[at->second] + "' と '" + inputs[i] + "' が同じ '" + out +
                                                   "' になります。--name に {n} を入れてください"));
        outs.push_back(out);
    }
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec || !std::filesystem::is_directory(dir))
        return Refused(dir.string(), Say("cannot make the folder: ", "フォルダを作れません：") +
                                         SystemError(ec ? ec.value() : ENOTDIR));
    int status = kExitOk;
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        const int one = ConvertOne(files[i], outs[i], s);
        if (one == kExitUsage) return one;
        if (one != kExitOk) {
            status = kExitRefused;
            continue;
        }
        std::printf("%s\n", outs[i].c_str());
    }
    return status;
}

}  // namespace pq::cli
