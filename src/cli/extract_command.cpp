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
#include "cli/open_input.h"
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
    if (FileResult r = ReadIconDirectory(bytes, dir); !r) return Refused(path, r.Message);
    if (dir.Entries.empty()) return Refused(path, "the file holds no images");
    if (only >= int(dir.Entries.size()))
        return UsageFailure("extract", "--index " + std::to_string(only) + " is out of range: the file holds " +
                                           std::to_string(dir.Entries.size()) + " image(s)");
    if (!MakeFolder(outDir)) return Refused(outDir.string(), "cannot create this folder");
    const std::string stem = std::filesystem::path(path).stem().string();
    for (int i = 0; i < int(dir.Entries.size()); ++i) {
        if (only >= 0 && i != only) continue;
        const IconDirEntry& entry = dir.Entries[std::size_t(i)];
        RgbaImage image;
        if (entry.ImageOffset > bytes.size() ||
            !DecodeIconRgba(std::span<const uint8_t>(bytes).subspan(entry.ImageOffset), image)) {
            std::fprintf(stderr, "%s: image %d cannot be decoded; skipped\n", path.c_str(), i);
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
    if (!MakeFolder(outDir)) return Refused(outDir.string(), "cannot create this folder");
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
                std::fprintf(stderr, "%s: %s group %s: broken or lacking images; skipped\n", program.c_str(),
                             cursor ? "cursor" : "icon", name.c_str());
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
    if (!MakeFolder(outDir)) return Refused(outDir.string(), "cannot create this folder");
    for (int i = 0; i < icons.Count(); ++i) {
        if (only >= 0 && i != only) continue;
        IconPicture picture;
        if (!icons.Extract(i, picture)) {
            std::fprintf(stderr, "%s: icon %d: the program yields no picture for it; skipped\n", program.c_str(), i);
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
    const FileFormat* format = FormatOfPath(input);
    if (format && (format->Id == FileFormatId::Icon || format->Id == FileFormatId::Cursor)) {
        if (documents) return UsageFailure("extract", "--documents applies to programs only");
        return ExtractIconFile(input, only, outDir, writer);
    }
    ProgramIcons icons;
    if (FileResult r = ProgramIcons::Load(input, icons); !r) return Refused(input, r.Message);
    if (only >= 0 && only >= icons.Count() && icons.Count() > 0)
        return UsageFailure("extract", "--index " + std::to_string(only) + " is out of range: the program holds " +
                                           std::to_string(icons.Count()) + " icon(s)");
    return documents ? ExtractDocuments(input, icons, only, outDir, writer)
                     : ExtractGroups(input, icons, only, outDir, writer);
}

}  // namespace

int RunExtract(std::span<const std::string> args) {
    if (AsksForHelp(args)) {
        std::fputs(kExtractUsage, stdout);
        return kExitOk;
    }
    // --documents before any "--" is the flag; everything else goes to ParseArgs.
    std::vector<std::string> words;
    bool documents = false, optionsEnded = false;
    for (const std::string& a : args) {
        if (a == "--") optionsEnded = true;
        if (!optionsEnded && a == kDocumentsFlag) {
            if (documents) return UsageFailure("extract", "option '--documents' given more than once");
            documents = true;
            continue;
        }
        words.push_back(a);
    }
    ParsedArgs parsed;
    std::string error;
    if (!ParseArgs(words, kOptions, parsed, error)) return UsageFailure("extract", error);
    if (parsed.Positionals.size() < 2)
        return UsageFailure("extract", parsed.Positionals.empty() ? "missing PROGRAM and OUTDIR" : "missing OUTDIR");
    int only = -1;
    if (parsed.Has("--index") && !ParseNonNegative(parsed.Value("--index"), only))
        return UsageFailure("extract", "--index: '" + parsed.Value("--index") + "' is not a whole number 0 or above");
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
    if (!writer.Flush()) return Refused(outDir.string(), "cannot flush the written files to disk");
    return worst;
}

}  // namespace pq::cli
