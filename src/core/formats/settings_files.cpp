#include "core/formats/settings_files.h"

#include <fcntl.h>
#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <span>
#include <string>
#include <system_error>
#include <vector>

#include "core/io/atomic_write.h"
#include "core/io/byte_io.h"

namespace fs = std::filesystem;

namespace pq {
namespace {

constexpr std::size_t kMainSettingsSize = 26;
constexpr std::size_t kWindowPositionSize = 8;

// At most `limit` bytes of the file; empty when it is absent, unreadable or not a regular file.
std::vector<uint8_t> ReadPrefix(const fs::path& file, std::size_t limit) {
    std::vector<uint8_t> bytes;
    if (ReadFilePrefix(file, limit, bytes, Owner::Program) != ReadStatus::Ok) bytes.clear();
    return bytes;
}

int32_t I32At(const std::vector<uint8_t>& b, std::size_t at) { return LoadI32(b.data() + at); }

// True when a file can be created in the folder (permission bits alone do not tell, e.g.
// for root or on a read-only mount).
bool CanWriteIn(const fs::path& folder) {
    std::string probe = (folder / ".pqprobe-XXXXXX").string();
    int fd = ::mkostemp(probe.data(), O_CLOEXEC);
    if (fd < 0) return false;
    ::close(fd);
    ::unlink(probe.c_str());
    return true;
}

fs::path ConfigHome() {
    // Only an absolute XDG_CONFIG_HOME counts; a relative one is to be ignored.
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && xdg[0] == '/') return fs::path(xdg);
    const char* home = std::getenv("HOME");
    if (!home || !home[0]) {
        if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) home = pw->pw_dir;
    }
    return fs::path(home && home[0] ? home : "/tmp") / ".config";
}

}  // namespace

MainSettings ReadMainSettings(const fs::path& file) {
    MainSettings s;
    const std::vector<uint8_t> b = ReadPrefix(file, kMainSettingsSize);
    // Fields are read in order; whatever the file is too short to hold keeps its default.
    if (b.size() >= 4) {
        s.HasBounds = true;
        s.Left = I32At(b, 0);
    }
    if (b.size() >= 8) s.Top = I32At(b, 4);
    if (b.size() >= 12) s.Width = I32At(b, 8);
    if (b.size() >= 16) s.Height = I32At(b, 12);
    if (b.size() >= 20) s.TransparencyColor1 = uint32_t(I32At(b, 16));
    if (b.size() >= 24) s.TransparencyColor2 = uint32_t(I32At(b, 20));
    if (b.size() >= 25) s.UndoEnabled = b[24] != 0;
    if (b.size() >= 26) s.WindowState = b[25];

    const MainSettings defaults;
    if (s.Width <= 0) s.Width = defaults.Width;
    if (s.Height <= 0) s.Height = defaults.Height;
    if (s.WindowState < 0 || s.WindowState > 2) s.WindowState = defaults.WindowState;
    return s;
}

bool WriteMainSettings(const fs::path& file, const MainSettings& s) {
    std::vector<uint8_t> b;
    b.reserve(kMainSettingsSize);
    ByteWriter put(b);
    put.I32(s.Left);
    put.I32(s.Top);
    put.I32(s.Width);
    put.I32(s.Height);
    put.U32(s.TransparencyColor1);
    put.U32(s.TransparencyColor2);
    put.U8(s.UndoEnabled ? 1 : 0);
    put.U8(uint8_t(s.WindowState >= 0 && s.WindowState <= 2 ? s.WindowState : 0));
    return WriteFileAtomically(file, b, Flush::Now, Owner::Program).Ok;
}

std::optional<WindowPosition> ReadWindowPosition(const fs::path& file) {
    const std::vector<uint8_t> b = ReadPrefix(file, kWindowPositionSize);
    if (b.size() < kWindowPositionSize) return std::nullopt;
    return WindowPosition{I32At(b, 0), I32At(b, 4)};
}

bool WriteWindowPosition(const fs::path& file, const WindowPosition& p) {
    std::vector<uint8_t> b;
    b.reserve(kWindowPositionSize);
    ByteWriter put(b);
    put.I32(p.Left);
    put.I32(p.Top);
    return WriteFileAtomically(file, b, Flush::Now, Owner::Program).Ok;
}

namespace {
constexpr uint8_t kReductionTag[4] = {'P', 'Q', 'R', 'D'};
constexpr uint8_t kReductionVersion = 1;
}  // namespace

ReductionOptions ReadReductionSettings(const fs::path& file) {
    // One byte more than the format holds, so a longer file is told from a whole one.
    const std::vector<uint8_t> b = ReadPrefix(file, kReductionSettingsSize + 1);
    const ReductionOptions defaults;
    if (b.size() != kReductionSettingsSize || !std::equal(kReductionTag, kReductionTag + 4, b.begin()) ||
        b[4] != kReductionVersion || b[5] > 1 || b[6] > 2 || b[7] == 0)
        return defaults;
    ReductionOptions o;
    o.quantizer = b[5] == 1 ? Quantizer::Quality : Quantizer::MedianCut;
    o.dither = b[6] == 1 ? Dither::Diffusion : b[6] == 2 ? Dither::Ordered : Dither::None;
    o.alphaThreshold = b[7];
    return o;
}

bool WriteReductionSettings(const fs::path& file, const ReductionOptions& options) {
    const uint8_t quantizer = options.quantizer == Quantizer::Quality ? 1 : 0;
    const uint8_t dither = options.dither == Dither::Diffusion ? 1 : options.dither == Dither::Ordered ? 2 : 0;
    const int t = options.alphaThreshold;
    const uint8_t threshold = uint8_t(t >= 1 && t <= 255 ? t : kDefaultAlphaThreshold);
    const std::vector<uint8_t> b = {kReductionTag[0], kReductionTag[1], kReductionTag[2], kReductionTag[3],
                                    kReductionVersion, quantizer, dither, threshold};
    return WriteFileAtomically(file, b, Flush::Now, Owner::Program).Ok;
}

std::vector<std::string> ReadRecentFiles(const fs::path& file) {
    std::vector<uint8_t> bytes;
    std::vector<std::string> paths;
    if (ReadFilePrefix(file, kRecentFilesLimit, bytes, Owner::Program) != ReadStatus::Ok) return paths;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= bytes.size() && paths.size() < kRecentFileCount; ++i) {
        if (i < bytes.size() && bytes[i] != '\n') continue;
        std::string line(bytes.begin() + long(start), bytes.begin() + long(i));
        start = i + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        // A path is absolute, of sensible length and free of control characters.
        const bool sound = !line.empty() && line[0] == '/' && line.size() <= 4096 &&
                           std::none_of(line.begin(), line.end(), [](char c) { return uint8_t(c) < 0x20; });
        if (sound && std::find(paths.begin(), paths.end(), line) == paths.end()) paths.push_back(line);
    }
    return paths;
}

bool WriteRecentFiles(const fs::path& file, const std::vector<std::string>& paths) {
    std::string text;
    for (std::size_t i = 0; i < paths.size() && i < kRecentFileCount; ++i) text += paths[i] + "\n";
    return WriteFileAtomically(file, std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()), Flush::Now,
                               Owner::Program)
        .Ok;
}

void AddRecentFile(std::vector<std::string>& paths, const std::string& path) {
    paths.erase(std::remove(paths.begin(), paths.end(), path), paths.end());
    paths.insert(paths.begin(), path);
    if (paths.size() > kRecentFileCount) paths.resize(kRecentFileCount);
}

fs::path ChooseSettingsFolder(const fs::path& executableDir) {
    std::error_code ec;
    const fs::path beside = executableDir / "setting";
    if (!executableDir.empty() && (fs::is_directory(beside, ec) || fs::create_directory(beside, ec)) &&
        CanWriteIn(beside))
        return beside;
    const fs::path fallback = ConfigHome() / "pixquil" / "setting";
    fs::create_directories(fallback, ec);
    return fallback;
}

}  // namespace pq
