// pqtool extract: the images of an icon or cursor file as PNG files, and the icon and cursor
// groups of a program as .ico and .cur files (or, with --documents, its icons as the 32 x 32
// documents the editor's extraction dialog opens).
#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "cli/cli_args.h"
#include "cli/commands.h"
#include "cli/messages.h"
#include "cli/open_input.h"
#include "cli/refusal_reasons.h"
#include "core/formats/file_formats.h"
#include "core/formats/icon_file.h"
#include "core/formats/icon_images.h"
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
    "image's transparent pixels (its mask) alpha 0, the others 255.\n"
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
    "OUTDIR; an input that fails is reported and the others are still extracted.\n"
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
    "取り出します。失敗した入力は報告し、ほかの入力の取り出しは続けます。\n"
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

int ExtractIconFile(const std::string& path, int only, const std::filesystem::path& outDir, Writer& writer) {
    std::vector<uint8_t> bytes;
    if (FileResult r = ReadIconFileBytes(path, bytes); !r) return Refused(path, r.Message);
    IconDirectory dir;
    if (FileResult r = ReadIconDirectory(bytes, dir); !r)
        return Refused(path, RefusalWithReason(r.Message, FormatReader::IconImage, bytes, -1));
    if (dir.Entries.empty()) return Refused(path, Say("the file holds no images", "画像が一枚もありません"));
    if (only >= int(dir.Entries.size()))
        return UsageFailure("extract", "--index " + std::to_string(only) +
                                           Say(" is out of range: the file holds ", " は範囲外です。このファイルの画像は ") +
                                           std::to_string(dir.Entries.size()) + Say(" image(s)", " 枚です"));
    if (!MakeFolder(outDir)) return Refused(outDir.string(), CannotCreateFolder());
    const std::string stem = std::filesystem::path(path).stem().string();
    for (int i = 0; i < int(dir.Entries.size()); ++i) {
        if (only >= 0 && i != only) continue;
        const IconDirEntry& entry = dir.Entries[std::size_t(i)];
        RgbaImage image;
        if (entry.ImageOffset > bytes.size() ||
            !DecodeIconRgba(std::span<const uint8_t>(bytes).subspan(entry.ImageOffset), image)) {
            const std::string reason = RefusalReason(FormatReader::IconImage, bytes, i);
            Note(path + ": " + Say("image " + std::to_string(i) + " cannot be decoded; skipped",
                                   "画像 " + std::to_string(i) + " を読み取れないので飛ばします") +
                 (reason.empty() ? "" : Say(" (", "（") + reason + Say(")", "）")));
            continue;
        }
        const IconImageFacts facts = DescribeIconImage(bytes, entry);
        const int depth = facts.Png ? 32 : facts.BitCount;
        const std::string name = stem + "-" + std::to_string(i) + "-" + std::to_string(image.Width) + "x" +
                                 std::to_string(image.Height) + "-" + std::to_string(depth) + ".png";
        // A PNG image that decodes is already the file asked for: its own bytes hold exactly its
        // pixels, and copying them spares compressing the largest images again.
        if (facts.Png) {
            const std::size_t length = std::min<std::size_t>(entry.BytesInRes, bytes.size() - entry.ImageOffset);
            const auto first = bytes.begin() + std::ptrdiff_t(entry.ImageOffset);
            writer.Write(name, std::vector<uint8_t>(first, first + std::ptrdiff_t(length)));
        } else {
            writer.Write(name, EncodeRgbaPng(image.Width, image.Height, image.Pixels));
        }
    }
    return writer.Finish();
}

int ExtractGroups(const std::string& program, const ProgramIcons& icons, int only, const std::filesystem::path& outDir,
                  Writer& writer) {
    if (icons.Count() + icons.CursorCount() <= 0) return Refused(program, kNoIconsMessage);
    if (!MakeFolder(outDir)) return Refused(outDir.string(), CannotCreateFolder());
    using Kind = ProgramIcons::GroupKind;
    for (const Kind kind : {Kind::Icon, Kind::Cursor}) {
        const bool cursor = kind == Kind::Cursor;
        if (cursor && only >= 0) break;
        const int count = cursor ? icons.CursorCount() : icons.Count();
        for (int i = 0; i < count; ++i) {
            if (only >= 0 && i != only) continue;
            const std::string& name = cursor ? icons.CursorGroupName(i) : icons.GroupName(i);
            std::vector<uint8_t> file;
            if (!icons.GroupFile(kind, i, file)) {
                Note(program + ": " +
                     Say(std::string(cursor ? "cursor" : "icon") + " group " + name + ": broken or lacking images; skipped",
                         std::string(cursor ? "カーソル" : "アイコン") + "グループ " + name +
                             ": 画像が壊れているか足りないので飛ばします"));
                continue;
            }
            writer.Write(FileNameOf(name) + (cursor ? ".cur" : ".ico"), file);
        }
    }
    return writer.Finish();
}

int ExtractDocuments(const std::string& program, const ProgramIcons& icons, int only,
                     const std::filesystem::path& outDir, Writer& writer) {
    if (icons.Count() <= 0) return Refused(program, kNoIconsMessage);
    if (!MakeFolder(outDir)) return Refused(outDir.string(), CannotCreateFolder());
    for (int i = 0; i < icons.Count(); ++i) {
        if (only >= 0 && i != only) continue;
        IconPicture picture;
        if (!icons.Extract(i, picture)) {
            Note(program + ": " + Say("icon " + std::to_string(i) + ": the program yields no picture for it; skipped",
                                      "アイコン " + std::to_string(i) + ": プログラムから画像を取り出せないので飛ばします"));
            continue;
        }
        Document doc;
        IconFromPictures(doc, picture, kToolZoom);
        writer.Write("icon" + std::to_string(i) + ".pqf", EncodeDocument(doc));
    }
    return writer.Finish();
}

// One input into OUTDIR: its status (kExitOk when it gave files and none failed; each
// extractor ends with the writer's Finish, which counts that input alone).
int ExtractOne(const std::string& input, int only, bool documents, const std::filesystem::path& outDir, Writer& writer) {
    if (std::string problem = InputFileProblem(input); !problem.empty()) return Refused(input, problem);
    const FileFormat* format = FormatOfPath(input);
    if (format && (format->Id == FileFormatId::Icon || format->Id == FileFormatId::Cursor)) {
        if (documents)
            return UsageFailure("extract", Say("--documents applies to programs only", "--documents はプログラムにだけ使えます"));
        return ExtractIconFile(input, only, outDir, writer);
    }
    ProgramIcons icons;
    if (FileResult r = ProgramIcons::Load(input, icons); !r) return Refused(input, r.Message);
    if (only >= 0 && only >= icons.Count() && icons.Count() > 0)
        return UsageFailure("extract", "--index " + std::to_string(only) +
                                           Say(" is out of range: the program holds ",
                                               " は範囲外です。このプログラムのアイコンは ") +
                                           std::to_string(icons.Count()) + Say(" icon(s)", " 個です"));
    return documents ? ExtractDocuments(input, icons, only, outDir, writer)
                     : ExtractGroups(input, icons, only, outDir, writer);
}

}  // namespace

int RunExtract(std::span<const std::string> args) {
    if (AsksForHelp(args)) {
        std::fputs(ExtractUsage().c_str(), stdout);
        return kExitOk;
    }
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
    Writer writer(outDir);
    int worst = kExitOk;
    for (const std::string& input : inputs) {
        int status = ExtractOne(input, only, documents, outDir, writer);
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
