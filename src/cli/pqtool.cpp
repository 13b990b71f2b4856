// pqtool: headless inspection and conversion of Pixquil's files over the same core code as the
// editor. Dispatches to the commands of commands.h.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/cli_args.h"
#include "cli/commands.h"
#include "cli/messages.h"

namespace {

const char* const kUsage =
    "usage: pqtool COMMAND [ARGS]\n"
    "\n"
    "Commands:\n"
    "  info [--json] FILE...      what documents, icons, cursors, pictures, palettes or programs\n"
    "                             hold, as text or JSON\n"
    "  convert IN OUT [OPTIONS]   open IN as the editor does and write OUT by its extension\n"
    "  convert IN... -o DIR --to KIND [OPTIONS]\n"
    "                             every IN into DIR in one run\n"
    "  extract IN... OUTDIR [--index N] [--documents]\n"
    "                             every image of icons and cursors as exact PNGs; every icon\n"
    "                             and cursor group of programs as .ico and .cur files\n"
    "  pack [--sizes LIST] [--colors 16|256] OUT IN...\n"
    "                             one .ico or .cur file holding each IN as an image\n"
    "  apply IN OUT [OPTIONS] OPERATION...\n"
    "                             open IN, run image operations on it in order, write OUT\n"
    "  cursor-theme OUTDIR INPUT... [--sizes LIST] [--windows]\n"
    "                             cursors named by role as an Xcursor theme folder (and a\n"
    "                             Windows cursor pack)\n"
    "\n"
    "Every command takes --quiet (leave out notes that are no errors) and \"--\" (what follows\n"
    "is no option, for names starting with '-'). \"-\" is standard input for info and convert\n"
    "(with --format KIND) and standard output for convert (with --to KIND).\n"
    "\n"
    "'pqtool COMMAND --help' describes each command; 'pqtool --version' prints the version.\n"
    "Exit status: 0 success, 1 a file was refused (the reason on stderr), 2 wrong usage.\n";

const char* const kUsageJa =
    "使い方: pqtool COMMAND [ARGS]\n"
    "\n"
    "コマンド:\n"
    "  info [--json] FILE...      文書、アイコン、カーソル、画像、パレット、プログラムの中身を\n"
    "                             テキストか JSON で表示します\n"
    "  convert IN OUT [OPTIONS]   IN をエディタと同じように開き、OUT を拡張子の形式で書きます\n"
    "  convert IN... -o DIR --to KIND [OPTIONS]\n"
    "                             すべての IN を一度に DIR に書きます\n"
    "  extract IN... OUTDIR [--index N] [--documents]\n"
    "                             アイコンとカーソルの画像を一枚ずつそのままの PNG に、\n"
    "                             プログラムのアイコンとカーソルのグループを .ico と .cur に\n"
    "                             書き出します\n"
    "  pack [--sizes LIST] [--colors 16|256] OUT IN...\n"
    "                             IN を一つずつ画像にして、一つの .ico か .cur に収めます\n"
    "  apply IN OUT [OPTIONS] OPERATION...\n"
    "                             IN を開き、画像の操作を順に行って OUT に書きます\n"
    "  cursor-theme OUTDIR INPUT... [--sizes LIST] [--windows]\n"
    "                             役割ごとのカーソルを Xcursor のテーマのフォルダに\n"
    "                             （と Windows のカーソルのパックに）書きます\n"
    "\n"
    "どのコマンドにも --quiet（エラーでないお知らせを出さない）と \"--\"（その後ろは\n"
    "オプションとして扱わない。'-' で始まる名前に使う）が使えます。\n"
    "\"-\" は info と convert では標準入力（--format KIND で形式を指定）、convert では\n"
    "標準出力（--to KIND で形式を指定）を表します。\n"
    "\n"
    "各コマンドの説明は 'pqtool COMMAND --help'、バージョンは 'pqtool --version' で表示します。\n"
    "終了ステータス: 0 成功、1 受け付けないファイルがあった（理由は標準エラー出力）、\n"
    "2 使い方の誤り。\n";

std::string UnknownCommand(const std::string& word) {
    return pq::cli::Say("unknown command '" + word + "'", "知らないコマンド '" + word + "' です");
}

std::string Usage() { return pq::cli::Say(kUsage, kUsageJa); }

}  // namespace

int main(int argc, char** argv) {
    using namespace pq::cli;
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) {
        std::fputs(Usage().c_str(), stderr);
        return kExitUsage;
    }
    const std::string command = args[0];
    const std::span<const std::string> rest(args.data() + 1, args.size() - 1);
    if (command == "--version" || command == "-v") return std::puts("pqtool " PQ_VERSION), kExitOk;
    if (command == "--help" || command == "-h" || command == "help") {
        if (command == "help" && !rest.empty()) {
            if (rest[0] == "info") return std::fputs(InfoUsage().c_str(), stdout), kExitOk;
            if (rest[0] == "convert") return std::fputs(ConvertUsage().c_str(), stdout), kExitOk;
            if (rest[0] == "extract") return std::fputs(ExtractUsage().c_str(), stdout), kExitOk;
            if (rest[0] == "pack") return std::fputs(PackUsage().c_str(), stdout), kExitOk;
            if (rest[0] == "apply") return std::fputs(ApplyUsage().c_str(), stdout), kExitOk;
            if (rest[0] == "cursor-theme") return std::fputs(CursorThemeUsage().c_str(), stdout), kExitOk;
            return UsageFailure("", UnknownCommand(rest[0]));
        }
        std::fputs(Usage().c_str(), stdout);
        return kExitOk;
    }
    if (command == "info") return RunInfo(rest);
    if (command == "convert") return RunConvert(rest);
    if (command == "extract") return RunExtract(rest);
    if (command == "pack") return RunPack(rest);
    if (command == "apply") return RunApply(rest);
    if (command == "cursor-theme") return RunCursorTheme(rest);
    return UsageFailure("", UnknownCommand(command));
}
