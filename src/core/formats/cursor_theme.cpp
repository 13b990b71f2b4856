#include "core/formats/cursor_theme.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <random>
#include <set>
#include <system_error>

#include "core/formats/ani_file.h"
#include "core/formats/png_file.h"
#include "core/formats/xcursor_file.h"
#include "core/io/atomic_write.h"

namespace pq {
namespace fs = std::filesystem;
namespace {

constexpr std::string_view kRoles[] = {
    "default",     "context-menu", "help",        "pointer",     "progress",    "wait",        "cell",
    "crosshair",   "text",         "vertical-text", "alias",     "copy",        "move",        "no-drop",
    "not-allowed", "grab",         "grabbing",    "all-scroll",  "col-resize",  "row-resize",  "n-resize",
    "e-resize",    "s-resize",     "w-resize",    "ne-resize",   "nw-resize",   "se-resize",   "sw-resize",
    "ew-resize",   "ns-resize",    "nesw-resize", "nwse-resize", "zoom-in",     "zoom-out",
};

constexpr LegacyCursorName kLegacy[] = {
    {"left_ptr", "default"},           {"arrow", "default"},
    {"top_left_arrow", "default"},     {"xterm", "text"},
    {"ibeam", "text"},                 {"hand2", "pointer"},
    {"hand1", "pointer"},              {"pointing_hand", "pointer"},
    {"watch", "wait"},                 {"left_ptr_watch", "progress"},
    {"half-busy", "progress"},         {"crosshair", "crosshair"},
    {"cross", "crosshair"},            {"tcross", "crosshair"},
    {"fleur", "move"},                 {"size_all", "move"},
    {"crossed_circle", "not-allowed"}, {"circle", "not-allowed"},
    {"forbidden", "not-allowed"},      {"question_arrow", "help"},
    {"whats_this", "help"},            {"left_ptr_help", "help"},
    {"top_side", "n-resize"},          {"bottom_side", "s-resize"},
    {"left_side", "w-resize"},         {"right_side", "e-resize"},
    {"top_left_corner", "nw-resize"},  {"top_right_corner", "ne-resize"},
    {"bottom_left_corner", "sw-resize"}, {"bottom_right_corner", "se-resize"},
    {"sb_h_double_arrow", "ew-resize"}, {"h_double_arrow", "ew-resize"},
    {"size_hor", "ew-resize"},         {"sb_v_double_arrow", "ns-resize"},
    {"v_double_arrow", "ns-resize"},   {"size_ver", "ns-resize"},
    {"fd_double_arrow", "nwse-resize"}, {"size_fdiag", "nwse-resize"},
    {"bd_double_arrow", "nesw-resize"}, {"size_bdiag", "nesw-resize"},
    {"split_h", "col-resize"},
    {"split_v", "row-resize"},         {"openhand", "grab"},
    {"closedhand", "grabbing"},        {"dnd-copy", "copy"},
    {"dnd-link", "alias"},             {"dnd-no-drop", "no-drop"},
    {"plus", "cell"},                  {"context_menu", "context-menu"},
};

// The Windows scheme's entries in the order the registry value lists them, with the roles that
// stand for each, the first present one taken.
struct SchemeEntry {
    std::string_view Name;
    std::initializer_list<std::string_view> Roles;
};
const SchemeEntry kScheme[] = {
    {"Arrow", {"default"}},
    {"Help", {"help"}},
    {"AppStarting", {"progress"}},
    {"Wait", {"wait"}},
    {"Crosshair", {"crosshair", "cell"}},
    {"IBeam", {"text"}},
    {"NWPen", {}},
    {"No", {"not-allowed", "no-drop"}},
    {"SizeNS", {"ns-resize", "n-resize", "s-resize", "row-resize"}},
    {"SizeWE", {"ew-resize", "e-resize", "w-resize", "col-resize"}},
    {"SizeNWSE", {"nwse-resize", "nw-resize", "se-resize"}},
    {"SizeNESW", {"nesw-resize", "ne-resize", "sw-resize"}},
    {"SizeAll", {"move", "all-scroll"}},
    {"UpArrow", {}},
    {"Hand", {"pointer"}},
};

std::string ThemeError(const std::string& detail) { return "カーソルテーマを書き込めませんでした。\n" + detail; }

// From pixel centre to pixel centre: x of `from` pixels to the pixel of `to` holding its centre.
int ScaleHotspot(int x, int from, int to) {
    x = std::clamp(x, 0, from - 1);
    return int((int64_t(2 * x + 1) * to) / (int64_t(2) * from));
}

IconSetPage ScaledPage(const IconSetPage& page, int nominal, int size, const RgbaResampler& resample) {
    const Document& src = page.Doc;
    const int w = std::max(1, int(std::lround(double(src.ImageWidth) * size / nominal)));
    const int h = std::max(1, int(std::lround(double(src.ImageHeight) * size / nominal)));
    const std::vector<uint8_t> rgba = FlattenToRgba(src);
    std::vector<Rgba8> px(rgba.size() / 4);
    for (std::size_t i = 0; i < px.size(); ++i) px[i] = Rgba8{rgba[4 * i], rgba[4 * i + 1], rgba[4 * i + 2], rgba[4 * i + 3]};
    IconSetPage out;
    out.Kind = IconPageKind::TrueColor;
    InitBlankTrueColorDocument(out.Doc, w, h, src.Zoom);
    std::vector<Rgba8> scaled = resample(px, src.ImageWidth, src.ImageHeight, w, h);
    if (scaled.size() == out.Doc.LayerAt(0).Pixels.size()) out.Doc.LayerAt(0).Pixels = std::move(scaled);
    out.Doc.HotspotX = ScaleHotspot(src.HotspotX, src.ImageWidth, w);
    out.Doc.HotspotY = ScaleHotspot(src.HotspotY, src.ImageHeight, h);
    out.Doc.HasHotspot = true;
    return out;
}

bool IsEmptyFolder(const fs::path& p) {
    std::error_code ec;
    return fs::is_empty(p, ec) && !ec;
}

std::string Quoted(const fs::path& p) { return "「" + p.string() + "」"; }

// One line of index.theme or install.inf: no line breaks or quotes can break out of it.
std::string OneLine(std::string s) {
    for (char& c : s)
        if (c == '\n' || c == '\r' || c == '"') c = ' ';
    return s;
}

}  // namespace

std::span<const std::string_view> CursorRoleNames() { return kRoles; }

bool IsCursorRole(std::string_view name) { return std::find(std::begin(kRoles), std::end(kRoles), name) != std::end(kRoles); }

std::span<const LegacyCursorName> LegacyCursorNames() { return kLegacy; }

CursorAnimation AnimationAtSizes(const CursorAnimation& anim, std::span<const int> sizes, const RgbaResampler& resample) {
    CursorAnimation out;
    out.ResourceType = anim.ResourceType;
    out.Steps = anim.Steps;
    out.StepMilliseconds = anim.StepMilliseconds;
    out.Title = anim.Title;
    out.Author = anim.Author;
    for (const CursorFrame& frame : anim.Frames) {
        CursorFrame f;
        for (int size : sizes) {
            // The exact nominal size, else the nearest larger, else the largest.
            int best = -1;
            for (std::size_t i = 0; i < frame.Sizes.size(); ++i) {
                const int n = NominalSizeOf(frame, i);
                if (best < 0) {
                    best = int(i);
                    continue;
                }
                const int b = NominalSizeOf(frame, std::size_t(best));
                const bool better = (n >= size && (b < size || n < b)) || (b < size && n > b);
                if (better) best = int(i);
            }
            if (best < 0) continue;
            const int nominal = NominalSizeOf(frame, std::size_t(best));
            f.Sizes.push_back(nominal == size ? frame.Sizes[std::size_t(best)]
                                              : ScaledPage(frame.Sizes[std::size_t(best)], nominal, size, resample));
            f.NominalSizes.push_back(size);
        }
        out.Frames.push_back(std::move(f));
    }
    return out;
}

std::string IndexThemeText(const CursorThemeOptions& options, const std::string& folderName) {
    std::string text = "[Icon Theme]\nName=" + OneLine(options.Name.empty() ? folderName : options.Name) + "\n";
    text += "Comment=" + OneLine(options.Comment) + "\n";
    if (!options.Inherits.empty()) text += "Inherits=" + OneLine(options.Inherits) + "\n";
    return text;
}

std::string InstallInfText(const std::string& schemeName, std::span<const std::pair<std::string, std::string>> files) {
    // The scheme's name is also the folder the files are copied into under %10%\Cursors: nothing
    // in it may lead out of that folder, and '%' is written doubled as INF strings take it.
    std::string name;
    for (char c : OneLine(schemeName)) {
        if (c == '\\' || c == '/' || c == ':' || c == '*' || c == '?' || c == '<' || c == '>' || c == '|') c = '_';
        name += c == '%' ? std::string("%%") : std::string(1, c);
    }
    if (name.find_first_not_of(". ") == std::string::npos) name = "_" + name;
    auto fileOf = [&](const SchemeEntry& e) -> std::string {
        for (std::string_view role : e.Roles)
            for (const auto& [r, file] : files)
                if (r == role) return file;
        return {};
    };
    std::string t;
    auto line = [&](const std::string& s) { t += s + "\r\n"; };
    line("; Installs the cursor scheme \"" + name + "\": right-click this file and choose Install.");
    line("[Version]");
    line("signature=\"$CHICAGO$\"");
    line("");
    line("[DefaultInstall]");
    line("CopyFiles = Scheme.Cur");
    line("AddReg    = Scheme.Reg, Wreg");
    line("");
    line("[DestinationDirs]");
    line("Scheme.Cur = 10,\"%CUR_DIR%\"");
    line("");
    std::string value;
    for (const SchemeEntry& e : kScheme) {
        const std::string file = fileOf(e);
        if (&e != &kScheme[0]) value += ",";
        if (!file.empty()) value += "%10%\\%CUR_DIR%\\" + file;
    }
    line("[Scheme.Reg]");
    line("HKCU,\"Control Panel\\Cursors\\Schemes\",\"%SCHEME_NAME%\",,\"" + value + "\"");
    line("");
    line("[Wreg]");
    line("HKCU,\"Control Panel\\Cursors\",,0x00020000,\"%SCHEME_NAME%\"");
    for (const SchemeEntry& e : kScheme) {
        const std::string file = fileOf(e);
        if (!file.empty()) line("HKCU,\"Control Panel\\Cursors\"," + std::string(e.Name) + ",0x00020000,\"%10%\\%CUR_DIR%\\" + file + "\"");
    }
    line("");
    line("[Scheme.Cur]");
    for (const auto& [role, file] : files) line(file);
    line("");
    line("[Strings]");
    line("CUR_DIR     = \"Cursors\\" + name + "\"");
    line("SCHEME_NAME = \"" + name + "\"");
    return t;
}

FileResult WriteCursorTheme(const fs::path& folder, std::span<const CursorThemeRole> roles,
                            const CursorThemeOptions& options) {
    if (roles.empty()) return FileResult::Failure(ThemeError("カーソルが一つもありません。"));
    std::set<std::string> seen;
    for (const CursorThemeRole& r : roles) {
        if (!IsCursorRole(r.Role)) return FileResult::Failure(ThemeError("役割 " + r.Role + " はありません。"));
        if (!seen.insert(r.Role).second) return FileResult::Failure(ThemeError("役割 " + r.Role + " が二つあります。"));
        if (FileResult c = CheckCursorAnimation(r.Animation); !c)
            return FileResult::Failure(ThemeError(r.Role + "：" + c.Message));
    }
    if (options.Sizes.empty()) return FileResult::Failure(ThemeError("サイズがありません。"));
    for (int s : options.Sizes)
        if (s < 1 || s > kMaxThemeSize)
            return FileResult::Failure(ThemeError("サイズ " + std::to_string(s) + " は書けません（1〜512）。"));
    if (!options.Resample) return FileResult::Failure(ThemeError("拡大縮小の方法がありません。"));

    const fs::path target = folder.lexically_normal().has_filename() ? folder.lexically_normal()
                                                                    : folder.lexically_normal().parent_path();
    struct stat st {};
    const bool exists = ::lstat(target.c_str(), &st) == 0;
    if (exists && !S_ISDIR(st.st_mode))
        return FileResult::Failure(ThemeError(Quoted(target) + "はフォルダではありません。"));
    if (exists && !options.Replace && !IsEmptyFolder(target))
        return FileResult::Failure(ThemeError(Quoted(target) + "には別のファイルがあります。"));

    // The new folder, under a temporary name beside the target.
    const fs::path parent = target.parent_path().empty() ? fs::path(".") : target.parent_path();
    std::mt19937 rng(std::random_device{}());
    std::error_code ec;
    fs::create_directories(parent, ec);
    fs::path temp;
    for (int attempt = 0; attempt < 20 && temp.empty(); ++attempt) {
        const fs::path name = parent / (".pqtheme-" + std::to_string(rng() % 1000000));
        if (fs::create_directory(name, ec)) temp = name;
        else if (ec) break;
    }
    if (temp.empty())
        return FileResult::Failure(ThemeError(Quoted(parent) + "にフォルダを作れませんでした。" +
                                              JapaneseErrorText(ec ? ec.value() : EEXIST)));
    struct Cleanup {
        fs::path Path;
        ~Cleanup() {
            std::error_code e;
            if (!Path.empty()) fs::remove_all(Path, e);
        }
    } cleanup{temp};
    ::chmod(temp.c_str(), 0755);

    auto write = [&](const fs::path& p, std::span<const uint8_t> bytes) {
        return WriteFileAtomically(p, bytes, Flush::Later);
    };
    const std::string text = IndexThemeText(options, target.filename().string());
    if (FileResult r = write(temp / "index.theme", std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size())); !r)
        return r;
    fs::create_directory(temp / "cursors", ec);
    if (ec) return FileResult::Failure(ThemeError(JapaneseErrorText(ec.value())));
    if (options.Windows) fs::create_directory(temp / "windows", ec);
    if (ec) return FileResult::Failure(ThemeError(JapaneseErrorText(ec.value())));

    std::vector<std::pair<std::string, std::string>> windowsFiles;
    for (const CursorThemeRole& r : roles) {
        const CursorAnimation sized = AnimationAtSizes(r.Animation, options.Sizes, options.Resample);
        std::vector<uint8_t> bytes;
        if (FileResult e = EncodeXcursor(sized, bytes); !e) return FileResult::Failure(ThemeError(r.Role + "：" + e.Message));
        if (FileResult w = write(temp / "cursors" / r.Role, bytes); !w) return w;
        if (!options.Windows) continue;
        // Windows takes sides up to 256: the chosen sizes that fit, or 32 when none does.
        std::vector<int> small;
        for (int s : options.Sizes)
            if (s <= kMaxIconFileSide) small.push_back(s);
        if (small.empty()) small.push_back(32);
        CursorAnimation win = AnimationAtSizes(r.Animation, small, options.Resample);
        win.ResourceType = kCursorResourceType;
        const bool still = win.Frames.size() == 1 && win.Steps.size() == 1;
        std::vector<uint8_t> out;
        if (still) {
            out = EncodeAniFrame(win.Frames[0], kCursorResourceType);
            if (out.empty()) return FileResult::Failure(ThemeError(r.Role + "：" + kIconTooLargeMessage));
        } else if (FileResult e = EncodeAni(win, nullptr, out); !e) {
            return FileResult::Failure(ThemeError(r.Role + "：" + e.Message));
        }
        const std::string file = r.Role + (still ? ".cur" : ".ani");
        if (FileResult w = write(temp / "windows" / file, out); !w) return w;
        windowsFiles.emplace_back(r.Role, file);
    }
    // The legacy names as links to the roles written (a name that is itself a role is its own file).
    std::set<std::string> linked;
    for (const LegacyCursorName& l : kLegacy) {
        const std::string legacy(l.Legacy), role(l.Role);
        if (!seen.count(role) || seen.count(legacy) || linked.count(legacy)) continue;
        fs::create_symlink(role, temp / "cursors" / legacy, ec);
        if (ec) return FileResult::Failure(ThemeError(legacy + "：" + JapaneseErrorText(ec.value())));
        linked.insert(legacy);
    }
    if (options.Windows) {
        const std::string inf = InstallInfText(options.Name.empty() ? target.filename().string() : options.Name, windowsFiles);
        if (FileResult w = write(temp / "windows" / "install.inf",
                                 std::span(reinterpret_cast<const uint8_t*>(inf.data()), inf.size()));
            !w)
            return w;
    }
    if (!FlushFileSystem(temp)) return FileResult::Failure(ThemeError(JapaneseErrorText(EIO)));

    // Into place: onto a missing or empty folder directly; a folder of other files moved aside
    // first and removed once the new one is in.
    if (!exists || IsEmptyFolder(target)) {
        if (::rename(temp.c_str(), target.c_str()) != 0)
            return FileResult::Failure(ThemeError(Quoted(target) + "：" + JapaneseErrorText(errno)));
    } else {
        const fs::path aside = parent / (".pqtheme-old-" + std::to_string(rng() % 1000000));
        if (::rename(target.c_str(), aside.c_str()) != 0)
            return FileResult::Failure(ThemeError(Quoted(target) + "：" + JapaneseErrorText(errno)));
        if (::rename(temp.c_str(), target.c_str()) != 0) {
            const int err = errno;
            ::rename(aside.c_str(), target.c_str());
            return FileResult::Failure(ThemeError(Quoted(target) + "：" + JapaneseErrorText(err)));
        }
        fs::remove_all(aside, ec);
    }
    cleanup.Path.clear();
    FlushFileSystem(parent);
    return FileResult::Success();
}

}  // namespace pq
