// pqtool pack into an animated cursor (.ani) or an Xcursor file: each IN one frame (an icon or
// cursor file one frame of all its images; an .ani or Xcursor file all its frames and steps).
#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "cli/cli_args.h"
#include "cli/commands.h"
#include "cli/cursor_input.h"
#include "cli/messages.h"
#include "cli/pack_animation.h"
#include "core/formats/ani_file.h"
#include "core/formats/xcursor_file.h"
#include "core/io/atomic_write.h"

namespace pq::cli {
namespace {

constexpr std::array<OptionSpec, 7> kOptions{{{"--xcursor", true},
                                              {"--sizes"},
                                              {"--times"},
                                              {"--seq"},
                                              {"--hotspot"},
                                              {"--title"},
                                              {"--author"}}};

constexpr int kDefaultStepMilliseconds = 100;

// "1,2,3": whole numbers 0..INT_MAX; false on anything else.
bool ParseList(const std::string& text, std::vector<int>& out) {
    out.clear();
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = text.find(',', start);
        int v = 0;
        if (!ParseNonNegative(text.substr(start, comma == std::string::npos ? std::string::npos : comma - start), v))
            return false;
        out.push_back(v);
        if (comma == std::string::npos) return true;
        start = comma + 1;
    }
}

bool EndsWithAni(const std::string& path) {
    const std::string ext = std::filesystem::path(path).extension().string();
    return ext == ".ani" || ext == ".ANI";
}

}  // namespace

bool PacksAnimation(std::span<const std::string> args) {
    for (const std::string& a : args) {
        if (a == "--") break;
        if (a == "--xcursor") return true;
    }
    // The first word that is no option or option value: OUT.
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--") return i + 1 < args.size() && EndsWithAni(args[i + 1]);
        if (a.rfind("--", 0) == 0) {
            if (a.find('=') == std::string::npos && a != "--quiet") ++i;   // its value
            continue;
        }
        return EndsWithAni(a);
    }
    return false;
}

int RunPackAnimation(std::span<const std::string> args) {
    ParsedArgs parsed;
    std::string error;
    if (!ParseArgs(args, kOptions, parsed, error)) return UsageFailure("pack", error);
    auto usage = [](std::string_view en, std::string_view ja) { return UsageFailure("pack", Say(en, ja)); };
    if (parsed.Positionals.size() < 2)
        return parsed.Positionals.empty() ? usage("missing OUT and IN", "OUT と IN がありません")
                                          : usage("missing IN", "IN がありません");
    const bool xcursor = parsed.Has("--xcursor");
    const std::string& out = parsed.Positionals[0];
    if (xcursor && EndsWithAni(out))
        return usage("--xcursor writes an Xcursor file, not an .ani: '" + out + "'",
                     "--xcursor は Xcursor ファイルを書きます。.ani ではありません：'" + out + "'");
    std::vector<int> sizes, times, seq;
    if (parsed.Has("--sizes")) {
        const int limit = xcursor ? kMaxThemeSize : kMaxIconFileSide;
        if (!ParseList(parsed.Value("--sizes"), sizes) ||
            std::any_of(sizes.begin(), sizes.end(), [&](int s) { return s < 1 || s > limit; }))
            return usage("--sizes: sizes from 1 to " + std::to_string(limit) + ", separated by commas",
                         "--sizes：1～" + std::to_string(limit) + " の大きさをコンマで区切って指定します");
    }
    if (parsed.Has("--times") && !ParseList(parsed.Value("--times"), times))
        return usage("--times: milliseconds separated by commas", "--times：ミリ秒をコンマで区切って指定します");
    if (parsed.Has("--seq") && !ParseList(parsed.Value("--seq"), seq))
        return usage("--seq: frame numbers (from 0) separated by commas", "--seq：フレーム番号（0 から）をコンマで区切って指定します");
    std::optional<std::pair<int, int>> hotspot;
    if (parsed.Has("--hotspot")) {
        std::vector<int> xy;
        if (!ParseList(parsed.Value("--hotspot"), xy) || xy.size() != 2)
            return usage("--hotspot: X,Y", "--hotspot：X,Y で指定します");
        hotspot = std::pair(xy[0], xy[1]);
    }

    CursorAnimation anim;
    for (std::size_t i = 1; i < parsed.Positionals.size(); ++i) {
        const std::string& in = parsed.Positionals[i];
        CursorAnimation part;
        if (CursorOpen r = OpenAsAnimation(in, part, hotspot); r.Exit != kExitOk)
            return r.Exit == kExitUsage ? UsageFailure("pack", r.Message) : Refused(in, r.Message);
        const int base = int(anim.Frames.size());
        const bool still = part.Frames.size() == 1 && part.StepMilliseconds == std::vector<int>{0};
        for (std::size_t s = 0; s < part.Steps.size(); ++s) {
            anim.Steps.push_back(base + part.Steps[s]);
            anim.StepMilliseconds.push_back(still ? kDefaultStepMilliseconds : part.StepMilliseconds[s]);
        }
        for (CursorFrame& f : part.Frames) anim.Frames.push_back(std::move(f));
        if (anim.Title.empty()) anim.Title = part.Title;
        if (anim.Author.empty()) anim.Author = part.Author;
    }
    if (!seq.empty()) {
        for (int f : seq)
            if (f >= int(anim.Frames.size()))
                return usage("--seq: there is no frame " + std::to_string(f) + " (" + std::to_string(anim.Frames.size()) + " frames)",
                             "--seq：フレーム " + std::to_string(f) + " はありません（フレームは " +
                                 std::to_string(anim.Frames.size()) + " 個）");
        anim.Steps = seq;
        anim.StepMilliseconds.resize(seq.size(), kDefaultStepMilliseconds);
    }
    if (times.size() == 1) {
        anim.StepMilliseconds.assign(anim.Steps.size(), times[0]);
    } else if (!times.empty()) {
        if (times.size() != anim.Steps.size())
            return usage("--times: " + std::to_string(times.size()) + " times for " + std::to_string(anim.Steps.size()) + " steps",
                         "--times：ステップ " + std::to_string(anim.Steps.size()) + " 個に時間が " +
                             std::to_string(times.size()) + " 個です");
        anim.StepMilliseconds = times;
    }
    if (parsed.Has("--title")) anim.Title = parsed.Value("--title");
    if (parsed.Has("--author")) anim.Author = parsed.Value("--author");
    if (!sizes.empty()) anim = AnimationAtSizes(anim, sizes, ProgramResampler());
    anim.ResourceType = kCursorResourceType;
    const FileResult r = xcursor ? SaveXcursorFile(anim, out) : SaveAniFile(anim, nullptr, out);
    if (!r) return Refused(out, EditorMessage(r.Message));
    return kExitOk;
}

}  // namespace pq::cli
