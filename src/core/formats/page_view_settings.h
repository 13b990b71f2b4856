#pragma once
// How the pages of icon sets are shown, kept between runs in "pqpages" (11 bytes): "PQPV", the
// format version 1, the strip's height (32, 48 or 64), whether the strip is shown (0 or 1), the
// preview's background (0 transparency colours, 1 light, 2 dark, 3 the user's colour), then that
// colour's red, green and blue. Anything else (missing, shorter or longer, another tag or
// version, a value out of range) reads as the defaults.

#include <cstdint>
#include <filesystem>

namespace pq {

inline constexpr const char* kPageViewSettingsFile = "pqpages";
inline constexpr int kPageStripHeights[] = {32, 48, 64};

struct PageViewSettings {
    int StripHeight = 48;
    bool StripVisible = true;
    int PreviewBackground = 0;
    uint8_t PreviewRed = 255, PreviewGreen = 0, PreviewBlue = 255;
    friend bool operator==(const PageViewSettings&, const PageViewSettings&) = default;
};

PageViewSettings ReadPageViewSettings(const std::filesystem::path& file);
// Values out of range are written as their defaults.
bool WritePageViewSettings(const std::filesystem::path& file, const PageViewSettings& settings);

}  // namespace pq
