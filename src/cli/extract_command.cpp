// pqtool extract: the icons of a program file as the 32 x 32 documents the editor's extraction
// dialog opens, one OUTDIR/iconN.pqf per icon.
#include <array>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "cli/cli_args.h"
#include "cli/commands.h"
#include "cli/open_input.h"
#include "core/formats/native_document.h"
#include "core/formats/program_icons.h"
#include "core/io/atomic_write.h"

namespace pq::cli {

const char* const kExtractUsage =
    "usage: pqtool extract PROGRAM OUTDIR [--index N]\n"
    "\n"
    "Writes every icon of PROGRAM (.exe, .dll, .scr), or only icon N, as OUTDIR/iconN.pqf: the\n"
    "32x32 document the editor opens for that icon (16 colours when the icon has fewer than\n"
    "16, else 256; its transparent pixels unpainted). OUTDIR is created when missing. Each file\n"
    "written is printed on stdout; icons the program yields no picture for are skipped with a\n"
    "note on stderr.\n"
    "\n"
    "Exit status: 0 when at least one icon was written and no write failed; 1 when the program\n"
    "holds no icons, yields none, or a file cannot be written (the reason on stderr); 2 wrong\n"
    "usage (also N beyond the icon count).\n";

namespace {
constexpr std::array<OptionSpec, 1> kOptions{{{"--index"}}};
}

int RunExtract(std::span<const std::string> args) {
    if (AsksForHelp(args)) {
        std::fputs(kExtractUsage, stdout);
        return kExitOk;
    }
    ParsedArgs parsed;
    std::string error;
    if (!ParseArgs(args, kOptions, parsed, error)) return UsageFailure("extract", error);
    if (parsed.Positionals.size() < 2)
        return UsageFailure("extract", parsed.Positionals.empty() ? "missing PROGRAM and OUTDIR" : "missing OUTDIR");
    if (parsed.Positionals.size() > 2) return UsageFailure("extract", "too many arguments");
    int only = -1;
    if (parsed.Has("--index") && !ParseNonNegative(parsed.Value("--index"), only))
        return UsageFailure("extract", "--index: '" + parsed.Value("--index") + "' is not a whole number 0 or above");
    const std::string& program = parsed.Positionals[0];
    const std::filesystem::path outDir = parsed.Positionals[1];

    ProgramIcons icons;
    if (FileResult r = ProgramIcons::Load(program, icons); !r) return Refused(program, r.Message);
    if (icons.Count() <= 0) return Refused(program, kNoIconsMessage);
    if (only >= icons.Count())
        return UsageFailure("extract", "--index " + std::to_string(only) + " is out of range: the program holds " +
                                           std::to_string(icons.Count()) + " icon(s)");

    std::error_code ec;
    std::filesystem::create_directories(outDir, ec);
    if (!std::filesystem::is_directory(outDir, ec)) return Refused(outDir.string(), "cannot create this folder");

    const int first = only >= 0 ? only : 0;
    const int last = only >= 0 ? only : icons.Count() - 1;
    int written = 0, failed = 0;
    for (int i = first; i <= last; ++i) {
        IconPicture picture;
        if (!icons.Extract(i, picture)) {
            std::fprintf(stderr, "%s: icon %d: the program yields no picture for it; skipped\n", program.c_str(), i);
            continue;
        }
        Document doc;
        IconFromPictures(doc, picture, kToolZoom);
        const std::filesystem::path target = outDir / ("icon" + std::to_string(i) + ".pqf");
        // Written now, flushed to disk once for all of them below.
        const std::vector<uint8_t> bytes = EncodeDocument(doc);
        if (FileResult r = bytes.empty() ? FileResult::Failure("「" + target.string() + "」に書き込めませんでした。")
                                         : WriteFileAtomically(target, bytes, Flush::Later);
            !r) {
            Refused(target.string(), r.Message);
            ++failed;
            continue;
        }
        std::printf("%s\n", target.string().c_str());
        ++written;
    }
    if (written > 0 && !FlushFileSystem(outDir)) return Refused(outDir.string(), "cannot flush the written files to disk");
    return written > 0 && failed == 0 ? kExitOk : kExitRefused;
}

}  // namespace pq::cli
