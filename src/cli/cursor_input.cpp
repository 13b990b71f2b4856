#include "cli/cursor_input.h"

#include "cli/cli_args.h"
#include "cli/messages.h"
#include "cli/open_input.h"
#include "cli/refusal_reasons.h"
#include "core/formats/icon_set.h"
#include "core/formats/xcursor_file.h"
#include "core/io/atomic_write.h"
#include "core/ops/resample.h"

namespace pq::cli {

CursorFileKind CursorFileKindOf(const std::string& path) {
    std::vector<uint8_t> head;
    if (ReadFilePrefix(path, 12, head) == ReadStatus::Ok) {
        if (LooksLikeAni(head)) return CursorFileKind::Ani;
        if (LooksLikeXcursor(head)) return CursorFileKind::Xcursor;
        // Content of another kind wins over the name, as for every other reader.
        if (head.size() >= 4) return CursorFileKind::None;
    }
    const std::string ext = std::filesystem::path(path).extension().string();
    return ext == ".ani" || ext == ".ANI" ? CursorFileKind::Ani : CursorFileKind::None;
}

CursorOpen OpenCursorFile(const std::string& path, CursorFileKind kind, CursorAnimation& out, AniSource* source) {
    if (std::string problem = InputFileProblem(path); !problem.empty()) return {kExitRefused, problem};
    FileResult r;
    if (kind == CursorFileKind::Ani) {
        AniFile file;
        r = ReadAniFile(path, kToolZoom, file);
        if (r) {
            out = std::move(file.Animation);
            if (source) *source = std::move(file.Source);
        }
    } else {
        r = ReadXcursorFile(path, kToolZoom, out);
    }
    if (!r) return {kExitRefused, EditorMessage(r.Message)};
    return {};
}

CursorOpen OpenAsAnimation(const std::string& path, CursorAnimation& out, std::optional<std::pair<int, int>> hotspot) {
    if (const CursorFileKind kind = CursorFileKindOf(path); kind != CursorFileKind::None)
        return OpenCursorFile(path, kind, out);
    if (std::string problem = InputFileProblem(path); !problem.empty()) return {kExitRefused, problem};
    CursorFrame frame;
    int type = kCursorResourceType;
    if (JudgedInputKind(path, "") == InputKind::Icon) {
        if (FileResult r = LoadIconSetFile(path, kToolZoom, frame.Sizes, type); !r)
            return {kExitRefused, EditorMessage(r.Message)};
    } else {
        OpenRequest request;
        request.TrueColorWhereAlpha = true;
        IconSetPage page;
        const OpenResult opened = OpenInput(path, request, page.Doc);
        if (opened.Exit != kExitOk) return {opened.Exit, opened.Message};
        page.Kind = page.Doc.TrueColor ? IconPageKind::TrueColor : IconPageKind::Palette;
        frame.Sizes.push_back(std::move(page));
    }
    for (IconSetPage& page : frame.Sizes) {
        if (hotspot && (!page.Doc.HasHotspot || type != kCursorResourceType)) {
            page.Doc.HotspotX = hotspot->first, page.Doc.HotspotY = hotspot->second;
        }
        page.Doc.HasHotspot = true;
    }
    out = AnimationOfFrames({std::move(frame)}, 0, kCursorResourceType);
    return {};
}

std::string PageDepth(const Document& doc) {
    if (doc.TrueColor) return "32-bit";
    return doc.ColorCount == 16 ? "4-bit" : "8-bit";
}

RgbaResampler ProgramResampler() {
    return [](const std::vector<Rgba8>& px, int w, int h, int nw, int nh) { return ResampleRgba(px, w, h, nw, nh); };
}

}  // namespace pq::cli
