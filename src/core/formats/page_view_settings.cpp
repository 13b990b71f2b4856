#include "core/formats/page_view_settings.h"

#include <algorithm>
#include <vector>

#include "core/io/atomic_write.h"

namespace pq {
namespace {

constexpr uint8_t kTag[4] = {'P', 'Q', 'P', 'V'};
constexpr uint8_t kVersion = 1;
constexpr std::size_t kSize = 11;

bool KnownHeight(int h) { return std::find(std::begin(kPageStripHeights), std::end(kPageStripHeights), h) != std::end(kPageStripHeights); }

}  // namespace

PageViewSettings ReadPageViewSettings(const std::filesystem::path& file) {
    const PageViewSettings defaults;
    std::vector<uint8_t> b;
    // One byte more than the format holds, so a longer file is told from a whole one.
    if (ReadFilePrefix(file, kSize + 1, b, Owner::Program) != ReadStatus::Ok) return defaults;
    if (b.size() != kSize || !std::equal(kTag, kTag + 4, b.begin()) || b[4] != kVersion || !KnownHeight(b[5]) ||
        b[6] > 1 || b[7] > 3)
        return defaults;
    PageViewSettings s;
    s.StripHeight = b[5];
    s.StripVisible = b[6] == 1;
    s.PreviewBackground = b[7];
    s.PreviewRed = b[8];
    s.PreviewGreen = b[9];
    s.PreviewBlue = b[10];
    return s;
}

bool WritePageViewSettings(const std::filesystem::path& file, const PageViewSettings& s) {
    const PageViewSettings defaults;
    const uint8_t height = uint8_t(KnownHeight(s.StripHeight) ? s.StripHeight : defaults.StripHeight);
    const uint8_t background = uint8_t(s.PreviewBackground >= 0 && s.PreviewBackground <= 3 ? s.PreviewBackground : 0);
    const std::vector<uint8_t> b = {kTag[0], kTag[1], kTag[2], kTag[3], kVersion, height, uint8_t(s.StripVisible ? 1 : 0),
                                    background, s.PreviewRed, s.PreviewGreen, s.PreviewBlue};
    return WriteFileAtomically(file, b, Flush::Now, Owner::Program).Ok;
}

}  // namespace pq
