#pragma once
// The small binary settings files: "pqset" (26 bytes: frame bounds, transparency colours, undo
// switch, window state), the 8-byte tool-window positions "pqcpset", "pqlpset", "pqvwset", and the
// colour reduction choices "pqreduce".
// Missing files give defaults; short files give defaults for the fields they do not hold;
// senseless values are replaced by defaults.
// They live in the program's own settings folder: a symbolic link under one of their names is
// neither read nor written through; writing replaces the link by the file.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "core/document/quality_reduction.h"

namespace pq {

struct MainSettings {
    bool HasBounds = false;               // false: keep the frame's designed bounds
    int Left = 0, Top = 0, Width = 640, Height = 460;
    uint32_t TransparencyColor1 = 0xFFFFFF;   // 0x00BBGGRR
    uint32_t TransparencyColor2 = 0xC8C8C8;
    bool UndoEnabled = true;
    int WindowState = 0;                  // 0 normal, 1 minimised, 2 maximised
    friend bool operator==(const MainSettings&, const MainSettings&) = default;
};

struct WindowPosition {
    int Left = 0, Top = 0;
    friend bool operator==(const WindowPosition&, const WindowPosition&) = default;
};

inline constexpr const char* kMainSettingsFile = "pqset";
inline constexpr const char* kColorPaletteFile = "pqcpset";
inline constexpr const char* kLayerPaletteFile = "pqlpset";
inline constexpr const char* kPreviewFile = "pqvwset";

MainSettings ReadMainSettings(const std::filesystem::path& file);
bool WriteMainSettings(const std::filesystem::path& file, const MainSettings& s);
// nullopt when the file is absent or too short to hold a position.
std::optional<WindowPosition> ReadWindowPosition(const std::filesystem::path& file);
bool WriteWindowPosition(const std::filesystem::path& file, const WindowPosition& p);

// The colour reduction choices of the Options dialog: "pqreduce", 8 bytes: "PQRD", the format
// version 1, then one byte each for the quantizer (0 median cut, 1 quality), the dither (0 none,
// 1 diffusion, 2 ordered) and the alpha threshold (1..255). Anything else (missing, shorter or
// longer, another tag or version, a value out of range) reads as the defaults.
inline constexpr const char* kReductionSettingsFile = "pqreduce";
inline constexpr std::size_t kReductionSettingsSize = 8;
ReductionOptions ReadReductionSettings(const std::filesystem::path& file);
// Values out of range are written as their defaults.
bool WriteReductionSettings(const std::filesystem::path& file, const ReductionOptions& options);

// The files last opened or saved, newest first: "pqrecent", UTF-8 text, one absolute path per
// line. At most kRecentFileCount are kept; empty, relative, over-long and repeated lines are
// dropped on reading, and only the first kRecentFilesLimit bytes of the file are read.
inline constexpr const char* kRecentFilesFile = "pqrecent";
inline constexpr std::size_t kRecentFileCount = 8;
inline constexpr std::size_t kRecentFilesLimit = 64 * 1024;
std::vector<std::string> ReadRecentFiles(const std::filesystem::path& file);
bool WriteRecentFiles(const std::filesystem::path& file, const std::vector<std::string>& paths);
// Puts `path` first, removing an earlier mention and what falls beyond the count.
void AddRecentFile(std::vector<std::string>& paths, const std::string& path);

// The settings folder: `setting/` beside the executable when that folder exists or can be
// created and written; otherwise $XDG_CONFIG_HOME/pixquil/setting/ (default
// ~/.config/pixquil/setting/), created when missing.
std::filesystem::path ChooseSettingsFolder(const std::filesystem::path& executableDir);

}  // namespace pq
