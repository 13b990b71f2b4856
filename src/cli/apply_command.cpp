// pqtool apply: open a file as the editor does, run image operations on it in order as the menu
// commands do (their dialogs closed by OK with the given values), and write the result as
// `convert` writes. Every operation is one row of a word table: its name, its arguments with
// their ranges, which check the document must pass, whether a floating selection is released
// first, and the core function it runs. Usage is checked before anything is written: a refused
// run leaves no output file.
#include <algorithm>
#include <array>
#include <climits>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "cli/cli_args.h"
#include "cli/commands.h"
#include "cli/messages.h"
#include "cli/open_input.h"
#include "core/document/random.h"
#include "core/document/selection.h"
#include "core/ops/compositing.h"
#include "core/ops/filters.h"
#include "core/ops/palette_adjust.h"
#include "core/ops/pixel_effects.h"
#include "core/ops/transforms.h"
#include "core/ops/working_area.h"

namespace pq::cli {
namespace {

// ---- the word table ---------------------------------------------------------------------------

// An argument's range; kLayerNumber marks a layer index checked against the document.
inline constexpr int kLayerNumber = INT_MAX;
struct ArgSpec {
    const char* Name;
    int Min, Max;
};

struct WordArgs {
    std::array<int, 3> V{};
    bool Flag = false;   // the row's optional ":flag" suffix was given
    bool Smooth = false;  // --smooth: truecolour rotation and scaling blend neighbours
};

using Runner = std::function<EditResult(Document&, const WordArgs&)>;
using DocumentCheck = std::function<std::string(const Document&, const WordArgs&)>;   // "" = fine
using ReleaseRule = std::function<bool(const Document&, const WordArgs&)>;

struct WordRow {
    std::string Word;
    std::string Title;              // the step name the editor records, shown in the help
    std::vector<ArgSpec> Args;      // written after ':' and separated by ','
    std::vector<int> Choices;       // when set, the single argument must be one of these
    std::string Flag;               // optional ":flag" after the arguments ("scale")
    std::string Note, NoteJa;       // help text after the ranges, in English and Japanese
    std::function<std::string(const WordArgs&)> ArgCheck;   // refusals among the arguments, "" = fine
    Runner Run;
    DocumentCheck Check;            // refusals that depend on the document at that point
    ReleaseRule Releases;           // true: Deselect first, as the editor's command does
    OperationFamily Family = OperationFamily::Transform;   // which documents it works on
    bool MayChangeNothing = false;  // changing nothing is no refusal (colors at the document's depth)
    bool CountSwitch = false;       // refused in truecolour although its family works there
};

bool Always(const Document&, const WordArgs&) { return true; }

Sampling SamplingOf(const WordArgs& a) { return a.Smooth ? Sampling::Smooth : Sampling::Nearest; }

std::string LayerMissing(const Document& doc, int index) {
    return Say("layer " + std::to_string(index) + " does not exist (the document has " + std::to_string(doc.LayerCount()) +
                   (doc.LayerCount() == 1 ? " layer)" : " layers)"),
               "レイヤ " + std::to_string(index) + " はありません（文書のレイヤは " + std::to_string(doc.LayerCount()) +
                   " 枚です）");
}

// "'word': " before what is wrong with the word.
std::string WordPrefix(const std::string& text) { return "'" + text + "'" + Say(": ", "："); }

WordRow Plain(std::string word, std::string title, Runner run, OperationFamily family = OperationFamily::Transform) {
    WordRow r;
    r.Family = family;
    r.Word = std::move(word);
    r.Title = std::move(title);
    r.Run = std::move(run);
    return r;
}

std::vector<WordRow> BuildWordTable() {
    std::vector<WordRow> rows;

    // Transforms: on the floating selection when there is one, else the current layer.
    rows.push_back(Plain("flip-h", InfoOf(TransformId::FlipHorizontal).UndoName,
                         [](Document& d, const WordArgs&) { return FlipHorizontal(d); }));
    rows.push_back(Plain("flip-v", InfoOf(TransformId::FlipVertical).UndoName,
                         [](Document& d, const WordArgs&) { return FlipVertical(d); }));
    rows.push_back(Plain("rotate-90", InfoOf(TransformId::Rotate90).UndoName,
                         [](Document& d, const WordArgs&) { return QuarterTurn(d, true); }));
    rows.push_back(Plain("rotate-180", InfoOf(TransformId::Rotate180).UndoName,
                         [](Document& d, const WordArgs&) { return HalfTurn(d); }));
    rows.push_back(Plain("rotate-270", InfoOf(TransformId::Rotate270).UndoName,
                         [](Document& d, const WordArgs&) { return QuarterTurn(d, false); }));
    {
        WordRow r = Plain("rotate", InfoOf(TransformId::RotateByAngle).UndoName,
                          [](Document& d, const WordArgs& a) { return RotateByAngle(d, a.V[0], SamplingOf(a)); });
        r.Args = {{"A", 0, kMaxTypedAngle}};
        r.Note = "degrees, counter-clockwise";
        r.NoteJa = "反時計回りの角度";
        rows.push_back(std::move(r));
    }
    {
        WordRow r = Plain("resize", InfoOf(TransformId::Resize).UndoName,
                          [](Document& d, const WordArgs& a) {
                              return ResizeCanvas(d, a.V[0], a.V[0], a.Flag, SamplingOf(a));
                          });
        r.Args = {{"S", kResizeSides.front(), kResizeSides.back()}};
        r.Choices.assign(kResizeSides.begin(), kResizeSides.end());
        r.Flag = "scale";
        r.Note = "S x S canvas; :scale resamples the picture";
        r.NoteJa = "S x S のキャンバス。:scale で絵も拡大縮小します";
        rows.push_back(std::move(r));
    }

    // Neighbourhood filters: the whole current layer, the selection released first.
    for (const FilterSpec& f : kFilters) {
        const FilterId id = f.Id;
        WordRow r = Plain(f.Key, f.UndoName, [id](Document& d, const WordArgs&) { return ApplyFilter(d, id); },
                          OperationFamily::Filter);
        if (f.ReleasesSelectionFirst) r.Releases = Always;
        rows.push_back(std::move(r));
    }

    // Pixel effects: on the working planes, drawing from the program's one generator.
    for (const PixelEffectInfo& e : kPixelEffects) {
        const PixelEffectId id = e.Id;
        // The erase effect removes the drawing colour; its word says so.
        WordRow r = Plain(id == PixelEffectId::Erase ? "erase-color" : e.Key, e.UndoName,
                          [id](Document& d, const WordArgs& a) {
                              return ApplyPixelEffect(d, id, SharedRandom(), a.V[0], a.V[1]);
                          },
                          OperationFamily::PixelEffect);
        if (id == PixelEffectId::Scroll) r.Args = {{"DX", kScrollMin, kScrollMax}, {"DY", kScrollMin, kScrollMax}};
        if (id == PixelEffectId::Shadow) r.Args = {{"DX", kShadowMin, kShadowMax}, {"DY", kShadowMin, kShadowMax}};
        rows.push_back(std::move(r));
    }

    // Palette adjustments: the used entries change, no pixel does (truecolour: every pixel does).
    rows.push_back(Plain("invert", PaletteCommand(PaletteCommandId::Invert).Step,
                         [](Document& d, const WordArgs&) { return InvertPalette(d); }, OperationFamily::PaletteAdjust));
    rows.push_back(Plain("solarize", PaletteCommand(PaletteCommandId::Solarize).Step,
                         [](Document& d, const WordArgs&) { return SolarizePalette(d); }, OperationFamily::PaletteAdjust));
    rows.push_back(Plain("grayscale", PaletteCommand(PaletteCommandId::Grayscale).Step,
                         [](Document& d, const WordArgs&) { return GrayscalePalette(d); }, OperationFamily::PaletteAdjust));
    {
        WordRow r = Plain("brightness", PaletteCommand(PaletteCommandId::Brightness).Step,
                          [](Document& d, const WordArgs& a) { return AdjustBrightness(d, a.V[0]); }, OperationFamily::PaletteAdjust);
        r.Args = {{"D", kMinShift, kMaxShift}};
        rows.push_back(std::move(r));
    }
    {
        WordRow r = Plain("rgb", PaletteCommand(PaletteCommandId::Rgb).Step, [](Document& d, const WordArgs& a) {
            return AdjustRgb(d, ChannelShift{a.V[0], a.V[1], a.V[2]});
        }, OperationFamily::PaletteAdjust);
        r.Args = {{"R", kMinShift, kMaxShift}, {"G", kMinShift, kMaxShift}, {"B", kMinShift, kMaxShift}};
        rows.push_back(std::move(r));
    }
    {
        WordRow r = Plain("colors", PaletteCommand(PaletteCommandId::ColorCount).Step,
                          [](Document& d, const WordArgs& a) { return ChangeColorCount(d, a.V[0]); }, OperationFamily::PaletteAdjust);
        r.Args = {{"N", 16, 256}};
        r.Choices = {16, 256};
        r.Note = "the depth the document has changes nothing";
        r.NoteJa = "文書の今の色数と同じなら何も変わりません";
        r.Releases = [](const Document& d, const WordArgs& a) { return ColorCountNeedsRelease(d, a.V[0]); };
        r.MayChangeNothing = true;
        r.CountSwitch = true;
        rows.push_back(std::move(r));
    }

    // Compositing: the blend replaces BASE, OVER is removed.
    {
        WordRow r = Plain("composite", CompositeCommand().Step, [](Document& d, const WordArgs& a) {
            return CompositeLayers(d, a.V[0], a.V[1], a.V[2]);
        }, OperationFamily::Compositing);
        r.Args = {{"BASE", 0, kLayerNumber}, {"OVER", 0, kLayerNumber}, {"OPACITY", kMinOpacity, kMaxOpacity}};
        r.Note = "OVER is blended into BASE, then removed";
        r.NoteJa = "OVER を BASE に合成してから削除します";
        // Blending a layer into itself would store the blend and then remove that very layer.
        r.ArgCheck = [](const WordArgs& a) -> std::string {
            return a.V[0] == a.V[1] ? Say("BASE and OVER must be different layers", "BASE と OVER は別のレイヤにします")
                                    : "";
        };
        r.Check = [](const Document& d, const WordArgs& a) -> std::string {
            if (d.LayerCount() < 2)
                return Say("needs two layers; the document has 1", "レイヤが二枚要りますが、文書には一枚しかありません");
            for (int k = 0; k < 2; ++k)
                if (a.V[std::size_t(k)] >= d.LayerCount()) return LayerMissing(d, a.V[std::size_t(k)]);
            return {};
        };
        r.Releases = Always;
        rows.push_back(std::move(r));
    }
    return rows;
}

const std::vector<WordRow>& WordTable() {
    static const std::vector<WordRow> table = BuildWordTable();
    return table;
}

// ---- parsing ------------------------------------------------------------------------------------

// A whole decimal number with an optional leading minus: digits only, no plus, no spaces.
bool ParseSigned(std::string_view text, int& out) {
    const bool negative = !text.empty() && text[0] == '-';
    int magnitude = 0;
    if (!ParseNonNegative(negative ? text.substr(1) : text, magnitude)) return false;
    out = negative ? -magnitude : magnitude;
    return true;
}

// Splits "a,b,c" into exactly `count` signed numbers; false with `error` set otherwise.
bool ParseNumberList(std::string_view text, std::size_t count, std::vector<int>& out, std::string& error) {
    out.clear();
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = text.find(',', start);
        const std::string_view part = text.substr(start, comma == std::string_view::npos ? comma : comma - start);
        int v = 0;
        if (!ParseSigned(part, v)) {
            error = Say("'" + std::string(part) + "' is not a whole number", "'" + std::string(part) + "' は整数ではありません");
            return false;
        }
        out.push_back(v);
        if (comma == std::string_view::npos) break;
        start = comma + 1;
    }
    if (out.size() != count) {
        error = Say("needs " + std::to_string(count) + (count == 1 ? " number" : " numbers separated by commas") +
                        ", not " + std::to_string(out.size()),
                    (count == 1 ? std::string("数が一つ要ります")
                                : "コンマで区切った " + std::to_string(count) + " 個の数が要ります") +
                        "（" + std::to_string(out.size()) + " 個あります）");
        return false;
    }
    return true;
}

std::string Pattern(const WordRow& row) {
    std::string p = row.Word;
    for (std::size_t k = 0; k < row.Args.size(); ++k) p += (k == 0 ? ":" : ",") + std::string(row.Args[k].Name);
    if (!row.Flag.empty()) p += "[:" + row.Flag + "]";
    return p;
}

// "S 16, 32 or 48", "DX,DY 0..32": arguments sharing a range are listed together; in the run's
// language.
std::string RangeText(const WordRow& row) {
    std::string text;
    std::size_t groupStart = 0;
    for (std::size_t k = 0; k < row.Args.size(); ++k) {
        const ArgSpec& a = row.Args[k];
        if (k + 1 < row.Args.size() && row.Args[k + 1].Min == a.Min && row.Args[k + 1].Max == a.Max) continue;
        std::string names;
        for (std::size_t g = groupStart; g <= k; ++g) names += (g == groupStart ? "" : ",") + std::string(row.Args[g].Name);
        std::string range;
        if (!row.Choices.empty()) {
            for (std::size_t c = 0; c < row.Choices.size(); ++c)
                range += (c == 0 ? "" : c + 1 == row.Choices.size() ? Say(" or ", " か ") : Say(", ", "、")) +
                         std::to_string(row.Choices[c]);
        } else if (a.Max == kLayerNumber) {
            range = k > groupStart ? Say("layer numbers", "レイヤ番号") : Say("layer number", "レイヤ番号");
        } else {
            range = std::to_string(a.Min) + ".." + std::to_string(a.Max);
        }
        text += (groupStart == 0 ? "" : Say("; ", "、")) + names + " " + range;
        groupStart = k + 1;
    }
    return text;
}

struct ParsedWord {
    const WordRow* Row = nullptr;
    WordArgs Args;
    std::string Text;
};

// Reads one operation word; the reason in `error` when it is not a word of the table with its
// arguments in range.
bool ParseWord(const std::string& text, ParsedWord& out, std::string& error) {
    const std::size_t colon = text.find(':');
    const std::string name = text.substr(0, colon);
    const WordRow* row = nullptr;
    for (const WordRow& r : WordTable())
        if (r.Word == name) row = &r;
    if (row == nullptr) {
        error = Say("unknown operation '" + name + "'", "知らない操作 '" + name + "' です");
        return false;
    }
    out = ParsedWord{row, {}, text};
    std::string rest = colon == std::string::npos ? std::string() : text.substr(colon + 1);
    if (!row->Flag.empty()) {
        const std::string suffix = ":" + row->Flag;
        if (rest.size() >= suffix.size() && rest.compare(rest.size() - suffix.size(), suffix.size(), suffix) == 0) {
            out.Args.Flag = true;
            rest.resize(rest.size() - suffix.size());
        }
    }
    if (row->Args.empty()) {
        if (colon != std::string::npos) {
            error = WordPrefix(text) + name + Say(" takes no argument", " は引数を取りません");
            return false;
        }
        return true;
    }
    if (colon == std::string::npos) {
        error = Say("'" + text + "' needs its argument: " + Pattern(*row) + " (" + RangeText(*row) + ")",
                    "'" + text + "' には引数が要ります：" + Pattern(*row) + "（" + RangeText(*row) + "）");
        return false;
    }
    std::vector<int> values;
    std::string why;
    if (!ParseNumberList(rest, row->Args.size(), values, why)) {
        error = WordPrefix(text) + why + Say("; use " + Pattern(*row), "。" + Pattern(*row) + " の形で書きます");
        return false;
    }
    for (std::size_t k = 0; k < values.size(); ++k) {
        const ArgSpec& a = row->Args[k];
        const bool inChoices =
            row->Choices.empty() || std::find(row->Choices.begin(), row->Choices.end(), values[k]) != row->Choices.end();
        if (values[k] < a.Min || values[k] > a.Max || !inChoices) {
            error = WordPrefix(text) + a.Name + Say(" out of range (" + RangeText(*row) + ")",
                                                    " が範囲外です（" + RangeText(*row) + "）");
            return false;
        }
        out.Args.V[k] = values[k];
    }
    if (row->ArgCheck)
        if (std::string refusal = row->ArgCheck(out.Args); !refusal.empty()) {
            error = WordPrefix(text) + refusal;
            return false;
        }
    return true;
}

constexpr std::array<OptionSpec, 8> kOptions{{{"--index"},
                                              {"--layer"},
                                              {"--draw-color"},
                                              {"--aux-color"},
                                              {"--select"},
                                              {"--format"},
                                              {"--to"},
                                              {"--smooth", true}}};

// The value of a number option, or a usage error.
bool NumberOption(const ParsedArgs& parsed, const char* name, int& out, std::string& error) {
    if (!parsed.Has(name)) return true;
    if (ParseNonNegative(parsed.Value(name), out)) return true;
    error = Say(std::string(name) + ": '" + parsed.Value(name) + "' is not a whole number 0 or above",
                std::string(name) + "：'" + parsed.Value(name) + "' は 0 以上の整数ではありません");
    return false;
}

}  // namespace

std::string ApplyUsage() {
    std::string text = Say(
        "usage: pqtool apply IN OUT [--index N] [--layer N] [--draw-color N] [--aux-color N]\n"
        "                   [--select L,T,R,B] [--smooth] OPERATION...\n"
        "\n"
        "Opens IN as 'pqtool convert' does, runs the operations in order as the editor's menu\n"
        "commands do (dialogs closed by OK with the given values) and writes OUT as 'convert' does.\n"
        "The document starts as freshly opened: bottom layer current, drawing colour 0, auxiliary\n"
        "colour 8, random numbers from their start, so two runs write identical files.\n"
        "A PNG or 32-bit bitmap opens as a truecolour document at its own size (fitted into\n"
        "256x256 when larger), as does a 32-bit or PNG icon image or a truecolour document; it\n"
        "is written with its alpha. Every operation works in truecolour (the palette adjustments\n"
        "recolour every pixel) except colors, which is refused (exit 1, nothing written).\n"
        "  --index N          image N of an .ico or .cur input (default 0)\n"
        "  --layer N          the current layer (0 = bottom)\n"
        "  --draw-color N     the drawing colour, a palette index below the colour count\n"
        "                     (in truecolour the colour of that swatch, opaque)\n"
        "  --aux-color N      the auxiliary colour, likewise\n"
        "  --select L,T,R,B   select from corner (L,T) to (R,B), right and bottom excluded, as the\n"
        "                     select tool does, before the first operation; the operations on\n"
        "                     indices then work inside it, and it is put down before writing\n"
        "  --format KIND      the kind of IN \"-\" (standard input): pqf, ico, cur, bmp, jpg, png\n"
        "  --to KIND          the kind of OUT \"-\" (standard output): pqf, ico, cur, bmp, png, pqp, pal\n"
        "  --smooth           in truecolour, rotate and resize:scale blend neighbouring pixels on\n"
        "                     premultiplied colour; palette documents always keep whole pixels\n"
        "\n"
        "Operations (the editor's step name; ranges inclusive):\n",
        "使い方: pqtool apply IN OUT [--index N] [--layer N] [--draw-color N] [--aux-color N]\n"
        "                    [--select L,T,R,B] [--smooth] OPERATION...\n"
        "\n"
        "IN を 'pqtool convert' と同じように開き、エディタのメニューのコマンドと同じように操作を\n"
        "順に行い（ダイアログは指定の値で OK を押したものとします）、OUT を 'convert' と同じように\n"
        "書きます。文書は開いた直後の状態から始まります: 一番下のレイヤが選ばれ、描画色は 0、\n"
        "補助色は 8、乱数は最初から。そのため二度実行しても同じファイルになります。\n"
        "PNG と 32 ビットのビットマップは、そのままの大きさ（256x256 より大きければそこに\n"
        "収めます）のフルカラーの文書として開きます。32 ビットか PNG のアイコンの画像、\n"
        "フルカラーの文書も同じです。アルファを保って書きます。フルカラーにはすべての操作が\n"
        "使えます（パレットの調整はすべての画素の色を変えます）。colors だけは受け付けません\n"
        "（終了ステータス 1、何も書きません）。\n"
        "  --index N          .ico か .cur の入力の N 番目の画像（既定は 0）\n"
        "  --layer N          作業するレイヤ（0 が一番下）\n"
        "  --draw-color N     描画色。色数より小さいパレット番号\n"
        "                     （フルカラーではその色見本の色、不透明）\n"
        "  --aux-color N      補助色。同じく色数より小さいパレット番号\n"
        "  --select L,T,R,B   最初の操作の前に、選択ツールと同じく角 (L,T) から (R,B) まで（右端と\n"
        "                     下端は含まない）を選択します。色番号に働く操作はその中で行われ、\n"
        "                     選択範囲は書き出す前に下ろします\n"
        "  --format KIND      IN が \"-\"（標準入力）のときの形式: pqf、ico、cur、bmp、jpg、png\n"
        "  --to KIND          OUT が \"-\"（標準出力）のときの形式: pqf、ico、cur、bmp、png、pqp、pal\n"
        "  --smooth           フルカラーの rotate と resize:scale で、隣の画素を乗算済みの色で\n"
        "                     なめらかに混ぜます。16色と256色の文書では画素をそのまま移します\n"
        "\n"
        "操作（エディタでの操作名。範囲は両端を含みます）:\n");
    for (const WordRow& row : WordTable()) {
        std::string line = "  " + Pattern(row);
        line += line.size() < 24 ? std::string(24 - line.size(), ' ') : "\n" + std::string(24, ' ');
        line += row.Title;
        std::string extra = RangeText(row);
        const std::string& note = Japanese() ? row.NoteJa : row.Note;
        if (!note.empty()) extra += (extra.empty() ? "" : Say("; ", "。")) + note;
        if (!extra.empty()) line += Say("  (", "（") + extra + Say(")", "）");
        text += line + "\n";
    }
    text += Say(
        "Filters, colors:16 from 256 colours and composite put a floating selection down first.\n"
        "\n"
        "Exit status: 0 success, 1 IN is refused, an operation cannot be done on the document\n"
        "or OUT cannot be written (the reason on stderr; nothing is written), 2 wrong usage\n"
        "(nothing is written).\n",
        "フィルタ、256 色からの colors:16、composite は、浮いている選択範囲を先に下ろします。\n"
        "\n"
        "終了ステータス: 0 成功、1 IN を受け付けなかったか、文書に操作を行えなかったか、OUT を\n"
        "書けなかった（理由は標準エラー出力。何も書きません）、2 使い方の誤り（何も書きません）。\n");
    return text;
}

int RunApply(std::span<const std::string> args) {
    if (AsksForHelp(args)) {
        std::fputs(ApplyUsage().c_str(), stdout);
        return kExitOk;
    }
    ParsedArgs parsed;
    std::string error;
    if (!ParseArgs(args, kOptions, parsed, error)) return UsageFailure("apply", error);
    if (parsed.Positionals.size() < 3) {
        static const char* const kMissing[] = {"missing IN, OUT and OPERATION", "missing OUT and OPERATION",
                                               "missing OPERATION"};
        static const char* const kMissingJa[] = {"IN と OUT と OPERATION がありません", "OUT と OPERATION がありません",
                                                 "OPERATION がありません"};
        return UsageFailure("apply", Say(kMissing[parsed.Positionals.size()], kMissingJa[parsed.Positionals.size()]));
    }
    const std::string& in = parsed.Positionals[0];
    const std::string& out = parsed.Positionals[1];

    OpenRequest request;
    request.TrueColorWhereAlpha = true;
    if (parsed.Has("--format")) {
        if (in != kStdinName)
            return UsageFailure("apply", Say("--format names the kind of standard input '-' only",
                                             "--format は標準入力 '-' の形式を示します"));
        request.StdinKind = parsed.Value("--format");
    }
    const std::string outKind = parsed.Has("--to") ? parsed.Value("--to") : "";
    if (parsed.Has("--to") && out != kStdinName)
        return UsageFailure("apply", Say("--to names the kind of standard output '-' only",
                                         "--to は標準出力 '-' の形式を示します"));
    const InputKind inKind = JudgedInputKind(in, request.StdinKind);
    // An existing file of another kind is refused when it is opened (exit 1), not here.
    if (inKind == InputKind::None && in != kStdinName && !std::filesystem::exists(in))
        return UsageFailure("apply", Say("no reader for '" + in + "': inputs are " + InputExtensions(),
                                         "'" + in + "' を読む方法がありません。読めるのは " + InputExtensions() + " です"));
    // The output is written by extension exactly as convert writes it.
    const FileFormat* outFormat = out == kStdinName ? FormatOfKindWord(outKind) : FormatOfPath(out);
    if (!outFormat || !outFormat->Writer)
        return UsageFailure("apply", out == kStdinName
                                         ? Say("standard output '-' needs --to KIND: outputs are " + OutputExtensions(),
                                               "標準出力 '-' には --to 形式が要ります。書けるのは " + OutputExtensions() + " です")
                                         : Say("no writer for '" + out + "': outputs are " + OutputExtensions(),
                                               "'" + out + "' を書く方法がありません。書けるのは " + OutputExtensions() + " です"));

    // Every word is checked before the file is opened.
    std::vector<ParsedWord> words(parsed.Positionals.size() - 2);
    for (std::size_t i = 0; i < words.size(); ++i) {
        if (!ParseWord(parsed.Positionals[i + 2], words[i], error)) return UsageFailure("apply", error);
        words[i].Args.Smooth = parsed.Has("--smooth");
    }

    if (parsed.Has("--index") && inKind != InputKind::Icon)
        return UsageFailure("apply", Say("--index applies to .ico and .cur input only",
                                         "--index はアイコンとカーソルの入力にだけ使えます"));
    int layer = 0, drawColor = 0, auxColor = 8;
    if (!NumberOption(parsed, "--index", request.Index, error) || !NumberOption(parsed, "--layer", layer, error) ||
        !NumberOption(parsed, "--draw-color", drawColor, error) || !NumberOption(parsed, "--aux-color", auxColor, error))
        return UsageFailure("apply", error);
    std::vector<int> corners;
    if (parsed.Has("--select") && !ParseNumberList(parsed.Value("--select"), 4, corners, error))
        return UsageFailure("apply", "--select L,T,R,B" + Say(": ", "：") + error);

    Document doc;
    const OpenResult opened = OpenInput(in, request, doc);
    if (opened.Exit == kExitUsage) return UsageFailure("apply", opened.Message);
    if (opened.Exit != kExitOk) return Refused(in, opened.Message);

    // As freshly opened in the editor, then the options.
    doc.SetCurrentLayer(0);
    doc.DrawColor = 0;
    doc.AuxColor = 8;
    if (layer >= doc.LayerCount()) return UsageFailure("apply", "--layer" + Say(": ", "：") + LayerMissing(doc, layer));
    const std::string colorRange = Say(" is not below the document's " + std::to_string(doc.ColorCount) + " colours",
                                       " は文書の色数 " + std::to_string(doc.ColorCount) + " 未満ではありません");
    if (drawColor >= doc.ColorCount) return UsageFailure("apply", "--draw-color " + std::to_string(drawColor) + colorRange);
    if (auxColor >= doc.ColorCount) return UsageFailure("apply", "--aux-color " + std::to_string(auxColor) + colorRange);
    doc.SetCurrentLayer(layer);
    doc.DrawColor = drawColor;
    doc.AuxColor = auxColor;
    // A truecolour document paints RGBA: a colour given by index is that swatch, opaque, as a
    // click on the colour palette gives it. Not given, the colours stay as opened.
    auto opaqueSwatch = [&](int entry) {
        const Rgb c = doc.ColorOf(entry);
        return Rgba8{c.r, c.g, c.b, 255};
    };
    if (doc.TrueColor && parsed.Has("--draw-color")) doc.DrawRgba = opaqueSwatch(drawColor);
    if (doc.TrueColor && parsed.Has("--aux-color")) doc.AuxRgba = opaqueSwatch(auxColor);
    if (!corners.empty()) {
        SetSelection(doc, corners[0], corners[1], corners[2], corners[3]);
        if (doc.SelRight <= doc.SelLeft || doc.SelBottom <= doc.SelTop)
            return UsageFailure("apply", "--select " + parsed.Value("--select") +
                                             Say(" leaves nothing on the ", " では ") + std::to_string(doc.ImageWidth) +
                                             "x" + std::to_string(doc.ImageHeight) +
                                             Say(" canvas", " のキャンバスに何も選べません"));
        doc.HasSelection = true;
        LiftSelection(doc);
    }

    for (const ParsedWord& w : words) {
        if (w.Row->Check)
            if (std::string why = w.Row->Check(doc, w.Args); !why.empty())
                return UsageFailure("apply", WordPrefix(w.Text) + why);
        // Refused operations stop the run before anything is written: writing the file anyway
        // would report success for an edit that never happened.
        if (!OperationApplies(doc, w.Row->Family) || (w.Row->CountSwitch && !ColorCountSwitchApplies(doc)))
            return Refused(in, WordPrefix(w.Text) + Say("does not work on a truecolour (32-bit) document",
                                                        "フルカラー（32 ビット）の文書には使えません"));
        if (doc.HasSelection && w.Row->Releases && w.Row->Releases(doc, w.Args)) Deselect(doc);
        const EditResult result = w.Row->Run(doc, w.Args);
        if (!result.Record && !w.Row->MayChangeNothing)
            return Refused(in, WordPrefix(w.Text) + Say("the operation could not be done on this document",
                                                        "この文書にはこの操作を行えませんでした"));
    }
    if (doc.HasSelection) Deselect(doc);

    if (FileResult r = WriteOutput(doc, out, outKind); !r)
        return Refused(out == kStdinName ? Say("standard output", "標準出力") : out, r.Message);
    return kExitOk;
}

}  // namespace pq::cli
