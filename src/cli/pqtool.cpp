// pqtool: headless inspection and conversion of Pixquil's files over the same core code as the
// editor. Dispatches to the commands of commands.h.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/cli_args.h"
#include "cli/commands.h"

namespace {

const char* const kUsage =
    "usage: pqtool COMMAND [ARGS]\n"
    "\n"
    "Commands:\n"
    "  info [--json] FILE...      what documents, icons, cursors, pictures, palettes or programs\n"
    "                             hold, as text or JSON\n"
    "  convert IN OUT [OPTIONS]   open IN as the editor does and write OUT by its extension\n"
    "  extract IN... OUTDIR [--index N] [--documents]\n"
    "                             every image of icons and cursors as exact PNGs; every icon\n"
    "                             and cursor group of programs as .ico and .cur files\n"
    "  pack [--sizes LIST] [--colors 16|256] OUT IN...\n"
    "                             one .ico or .cur file holding each IN as an image\n"
    "  apply IN OUT [OPTIONS] OPERATION...\n"
    "                             open IN, run image operations on it in order, write OUT\n"
    "\n"
    "Every command takes --quiet (leave out notes that are no errors) and \"--\" (what follows\n"
    "is no option, for names starting with '-'). \"info - --format KIND\" reads standard input.\n"
    "\n"
    "'pqtool COMMAND --help' describes each command; 'pqtool --version' prints the version.\n"
    "Exit status: 0 success, 1 a file was refused (the reason on stderr), 2 wrong usage.\n";

}  // namespace

int main(int argc, char** argv) {
    using namespace pq::cli;
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) {
        std::fputs(kUsage, stderr);
        return kExitUsage;
    }
    const std::string command = args[0];
    const std::span<const std::string> rest(args.data() + 1, args.size() - 1);
    if (command == "--version" || command == "-v") return std::puts("pqtool " PQ_VERSION), kExitOk;
    if (command == "--help" || command == "-h" || command == "help") {
        if (command == "help" && !rest.empty()) {
            if (rest[0] == "info") return std::fputs(kInfoUsage, stdout), kExitOk;
            if (rest[0] == "convert") return std::fputs(kConvertUsage, stdout), kExitOk;
            if (rest[0] == "extract") return std::fputs(kExtractUsage, stdout), kExitOk;
            if (rest[0] == "pack") return std::fputs(kPackUsage, stdout), kExitOk;
            if (rest[0] == "apply") return std::fputs(ApplyUsage().c_str(), stdout), kExitOk;
            return UsageFailure("", "unknown command '" + rest[0] + "'");
        }
        std::fputs(kUsage, stdout);
        return kExitOk;
    }
    if (command == "info") return RunInfo(rest);
    if (command == "convert") return RunConvert(rest);
    if (command == "extract") return RunExtract(rest);
    if (command == "pack") return RunPack(rest);
    if (command == "apply") return RunApply(rest);
    return UsageFailure("", "unknown command '" + command + "'");
}
