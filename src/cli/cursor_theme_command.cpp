// pqtool cursor-theme: cursor files named by role (or listed in a small map) written as an
// Xcursor theme folder, and with --windows a Windows cursor pack beside it.
#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "cli/cli_args.h"
#include "cli/commands.h"
#include "cli/cursor_input.h"
#include "cli/messages.h"
#include "cli/refusal_reasons.h"
#include "core/formats/cursor_theme.h"
#include "core/io/atomic_write.h"

namespace pq::cli {

const char* const kCursorThemeUsage =
    "usage: pqtool cursor-theme OUTDIR INPUT... [--sizes LIST] [--windows] [--replace]\n"
    "                           [--name NAME] [--comment TEXT] [--inherits THEME]\n"
    "\n"
    "Writes an Xcursor theme folder OUTDIR: index.theme, and OUTDIR/cursors/ROLE for every\n"
    "role given, with the legacy X names (left_ptr, xterm, hand2, watch, ...) as symbolic\n"
    "links to them. An INPUT named after a role (default.ani, text.cur, pointer.png, wait:\n"
    "the name without its extension is a CSS cursor name, or a legacy X name such as left_ptr\n"
    "for the role it stands for) gives that role; any other INPUT is a map: one \"ROLE FILE\"\n"
    "per line (FILE relative to the map's folder; empty lines and lines starting with '#' are\n"
    "skipped). A role's file may be an .ani, an Xcursor file, an .ico or .cur (one frame of\n"
    "all its images), or a picture or document (one image, hotspot 0,0).\n"
    "Roles: default, context-menu, help, pointer, progress, wait, cell, crosshair, text,\n"
    "vertical-text, alias, copy, move, no-drop, not-allowed, grab, grabbing, all-scroll,\n"
    "col-resize, row-resize, n-resize, e-resize, s-resize, w-resize, ne-resize, nw-resize,\n"
    "se-resize, sw-resize, ew-resize, ns-resize, nesw-resize, nwse-resize, zoom-in, zoom-out.\n"
    "\n"
    "--sizes LIST      the nominal sizes written (default 24,32,48,64,96; 1 to 512 each); a\n"
    "                  size a cursor lacks is made from its nearest larger size by averaging,\n"
    "                  its hotspot scaled\n"
    "--windows         also write OUTDIR/windows/: every role as ROLE.cur (or ROLE.ani when it\n"
    "                  is animated) at the sizes up to 256, and install.inf, which installs\n"
    "                  them as a cursor scheme\n"
    "--replace         replace an OUTDIR that holds other files (refused without it)\n"
    "--name NAME       the theme's name (default: OUTDIR's name); --comment TEXT, --inherits\n"
    "                  THEME go into index.theme too\n"
    "\n"
    "The theme is made beside OUTDIR and renamed into place: a failure leaves OUTDIR as it was.\n"
    "Exit status: 0 success, 1 an INPUT is refused or the theme cannot be written (the reason\n"
    "on stderr), 2 wrong usage.\n";

namespace {

const char* const kCursorThemeUsageJa =
    "使い方: pqtool cursor-theme OUTDIR INPUT... [--sizes LIST] [--windows] [--replace]\n"
    "                            [--name NAME] [--comment TEXT] [--inherits THEME]\n"
    "\n"
    "Xcursor のテーマのフォルダ OUTDIR を書きます。index.theme と、指定した役割ごとの\n"
    "OUTDIR/cursors/ROLE を書き、昔の X の名前（left_ptr、xterm、hand2、watch など）を\n"
    "それへのシンボリックリンクにします。役割の名前の INPUT（default.ani、text.cur、\n"
    "pointer.png、wait：拡張子を除いた名前が CSS のカーソル名、または left_ptr のような\n"
    "昔の X の名前ならそれが表す役割）はその役割になります。\n"
    "それ以外の INPUT は対応表です：一行に \"ROLE FILE\" を一つ（FILE は対応表のフォルダ\n"
    "からの相対パス。空の行と '#' で始まる行は飛ばします）。役割のファイルには .ani、\n"
    "Xcursor ファイル、.ico か .cur（全画像で一フレーム）、画像か文書（一枚、ホットスポット\n"
    "0,0）が使えます。\n"
    "役割: default, context-menu, help, pointer, progress, wait, cell, crosshair, text,\n"
    "vertical-text, alias, copy, move, no-drop, not-allowed, grab, grabbing, all-scroll,\n"
    "col-resize, row-resize, n-resize, e-resize, s-resize, w-resize, ne-resize, nw-resize,\n"
    "se-resize, sw-resize, ew-resize, ns-resize, nesw-resize, nwse-resize, zoom-in, zoom-out.\n"
    "\n"
    "--sizes LIST      書く公称サイズ（既定 24,32,48,64,96。それぞれ 1～512）。カーソルに\n"
    "                  ないサイズは、次に大きいサイズから平均して作り、ホットスポットも\n"
    "                  合わせます\n"
    "--windows         OUTDIR/windows/ も書きます。役割ごとに 256 までのサイズで ROLE.cur\n"
    "                  （アニメーションなら ROLE.ani）と、それをカーソルのスキームとして\n"
    "                  入れる install.inf\n"
    "--replace         別のファイルがある OUTDIR を置き換えます（指定しなければ受け付けません）\n"
    "--name NAME       テーマの名前（既定は OUTDIR の名前）。--comment TEXT と\n"
    "                  --inherits THEME も index.theme に書きます\n"
    "\n"
    "テーマは OUTDIR の隣で作ってから名前を変えて置くので、失敗しても OUTDIR は元のままです。\n"
    "終了ステータス: 0 成功、1 受け付けない INPUT があったかテーマを書けなかった（理由は\n"
    "標準エラー出力）、2 使い方の誤り。\n";

constexpr std::array<OptionSpec, 6> kOptions{
    {{"--sizes"}, {"--windows", true}, {"--replace", true}, {"--name"}, {"--comment"}, {"--inherits"}}};

// Maps are small text files.
constexpr std::uint64_t kMaxMapBytes = 1 << 20;

struct RoleSource {
    std::string Role, File, From;   // From: the map and line, or "" for a file named by role
};

// The role a file's name gives (its name, or its name without the extension): a role's own
// name, or a legacy X name standing for it (left_ptr.cur is default).
std::string RoleOfName(const std::string& path) {
    const std::filesystem::path p(path);
    for (const std::string name : {p.filename().string(), p.stem().string()}) {
        if (IsCursorRole(name)) return name;
        for (const LegacyCursorName& l : LegacyCursorNames())
            if (l.Legacy == name) return std::string(l.Role);
    }
    return "";
}

// The map's lines; false with `error` set (the line named) for a line that names no role.
bool ReadMap(const std::string& map, std::vector<RoleSource>& out, std::string& error) {
    std::vector<uint8_t> bytes;
    if (std::string problem = InputFileProblem(map); !problem.empty()) return error = problem, false;
    if (ReadWholeFile(map, bytes, kMaxMapBytes) != ReadStatus::Ok)
        return error = Say("is neither named after a cursor role nor a readable map of at most 1 MB",
                           "カーソルの役割の名前でも、読める 1 MB までの対応表でもありません"),
               false;
    if (std::find(bytes.begin(), bytes.end(), 0) != bytes.end())
        return error = Say("is neither named after a cursor role nor a text map (ROLE FILE per line)",
                           "カーソルの役割の名前でも、テキストの対応表（一行に ROLE FILE）でもありません"),
               false;
    const std::filesystem::path folder = std::filesystem::path(map).parent_path();
    std::string text(bytes.begin(), bytes.end());
    std::size_t start = 0;
    for (int line = 1; start <= text.size(); ++line) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string row = text.substr(start, end - start);
        start = end + 1;
        if (!row.empty() && row.back() == '\r') row.pop_back();
        const std::size_t first = row.find_first_not_of(" \t");
        if (first == std::string::npos || row[first] == '#') continue;
        const std::size_t gap = row.find_first_of(" \t", first);
        const std::string role = row.substr(first, gap == std::string::npos ? std::string::npos : gap - first);
        const std::size_t file = gap == std::string::npos ? std::string::npos : row.find_first_not_of(" \t", gap);
        const std::string where = Say("line ", "") + std::to_string(line) + Say(": ", " 行目：");
        if (!IsCursorRole(role))
            return error = where + Say("'" + role + "' is not a cursor role", "'" + role + "' はカーソルの役割ではありません"), false;
        if (file == std::string::npos)
            return error = where + Say("no FILE after the role", "役割の後に FILE がありません"), false;
        std::string name = row.substr(file);
        while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) name.pop_back();
        const std::filesystem::path p(name);
        out.push_back({role, (p.is_absolute() ? p : folder / p).string(), map + ":" + std::to_string(line)});
    }
    return true;
}

bool ParseSizeList(const std::string& text, std::vector<int>& out) {
    out.clear();
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = text.find(',', start);
        int v = 0;
        if (!ParseNonNegative(text.substr(start, comma == std::string::npos ? std::string::npos : comma - start), v) ||
            v < 1 || v > kMaxThemeSize || std::find(out.begin(), out.end(), v) != out.end())
            return false;
        out.push_back(v);
        if (comma == std::string::npos) return true;
        start = comma + 1;
    }
}

}  // namespace

std::string CursorThemeUsage() { return Say(kCursorThemeUsage, kCursorThemeUsageJa); }

int RunCursorTheme(std::span<const std::string> args) {
    if (AsksForHelp(args)) {
        std::fputs(CursorThemeUsage().c_str(), stdout);
        return kExitOk;
    }
    ParsedArgs parsed;
    std::string error;
    if (!ParseArgs(args, kOptions, parsed, error)) return UsageFailure("cursor-theme", error);
    auto usage = [](const std::string& en, const std::string& ja) { return UsageFailure("cursor-theme", Say(en, ja)); };
    if (parsed.Positionals.size() < 2)
        return parsed.Positionals.empty() ? usage("missing OUTDIR and INPUT", "OUTDIR と INPUT がありません")
                                          : usage("missing INPUT", "INPUT がありません");
    CursorThemeOptions options;
    options.Resample = ProgramResampler();
    options.Windows = parsed.Has("--windows");
    options.Replace = parsed.Has("--replace");
    if (parsed.Has("--name")) options.Name = parsed.Value("--name");
    if (parsed.Has("--comment")) options.Comment = parsed.Value("--comment");
    if (parsed.Has("--inherits")) options.Inherits = parsed.Value("--inherits");
    if (parsed.Has("--sizes") && !ParseSizeList(parsed.Value("--sizes"), options.Sizes))
        return usage("--sizes: sizes from 1 to 512, each once, separated by commas",
                     "--sizes：1～512 の大きさを一度ずつ、コンマで区切って指定します");

    std::vector<RoleSource> sources;
    for (std::size_t i = 1; i < parsed.Positionals.size(); ++i) {
        const std::string& input = parsed.Positionals[i];
        if (const std::string role = RoleOfName(input); !role.empty()) {
            sources.push_back({role, input, ""});
            continue;
        }
        if (!ReadMap(input, sources, error)) return Refused(input, error);
    }
    std::map<std::string, const RoleSource*> seen;
    for (const RoleSource& s : sources) {
        auto [it, fresh] = seen.emplace(s.Role, &s);
        if (!fresh) {
            auto named = [](const RoleSource& r) { return r.From.empty() ? r.File : r.From; };
            return usage("the role " + s.Role + " is given twice (" + named(*it->second) + ", " + named(s) + ")",
                         "役割 " + s.Role + " が二つあります（" + named(*it->second) + "、" + named(s) + "）");
        }
    }
    std::vector<CursorThemeRole> roles;
    for (const RoleSource& s : sources) {
        CursorThemeRole role{s.Role, {}};
        if (CursorOpen r = OpenAsAnimation(s.File, role.Animation); r.Exit != kExitOk)
            return r.Exit == kExitUsage ? UsageFailure("cursor-theme", r.Message) : Refused(s.File, r.Message);
        roles.push_back(std::move(role));
    }
    const std::string outDir = parsed.Positionals[0];
    if (FileResult r = WriteCursorTheme(outDir, roles, options); !r) return Refused(outDir, EditorMessage(r.Message));
    std::printf("%s\n", outDir.c_str());
    return kExitOk;
}

}  // namespace pq::cli
