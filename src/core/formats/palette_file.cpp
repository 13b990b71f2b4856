#include "core/formats/palette_file.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <string_view>

#include "core/io/atomic_write.h"
#include "core/io/byte_io.h"

namespace pq {
namespace {

constexpr uint8_t kUtf8Bom[3] = {0xEF, 0xBB, 0xBF};
constexpr std::size_t kRiffCountOffset = 22;
constexpr std::size_t kRiffEntriesOffset = 24;

bool StartsWith(std::span<const uint8_t> bytes, std::string_view prefix) {
    return bytes.size() >= prefix.size() && std::memcmp(bytes.data(), prefix.data(), prefix.size()) == 0;
}

std::span<const uint8_t> WithoutBom(std::span<const uint8_t> bytes) {
    if (bytes.size() >= 3 && std::memcmp(bytes.data(), kUtf8Bom, 3) == 0) return bytes.subspan(3);
    return bytes;
}

bool HasActExtension(const std::filesystem::path& fileName) {
    std::string ext = fileName.extension().string();
    if (ext.size() < 4) return false;
    for (char& ch : ext) ch = char(std::tolower(static_cast<unsigned char>(ch)));
    return ext.compare(0, 4, ".act") == 0;
}

// The text's lines without their LF or CR LF ends.
std::vector<std::string_view> Lines(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
    return lines;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Decimal numbers separated by spaces or tabs; false for anything else or a value above `max`.
bool ParseNumbers(std::string_view line, std::vector<long>& out, long max) {
    out.clear();
    std::size_t i = 0;
    while (true) {
        while (i < line.size() && IsBlank(line[i])) ++i;
        if (i == line.size()) return true;
        if (line[i] < '0' || line[i] > '9') return false;
        long v = 0;
        while (i < line.size() && line[i] >= '0' && line[i] <= '9') {
            v = v * 10 + (line[i] - '0');
            if (v > max) return false;
            ++i;
        }
        if (i < line.size() && !IsBlank(line[i])) return false;
        out.push_back(v);
    }
}

// Parses JASC-PAL text. `count` is the stated count; entries 0 .. min(count, colorCount)-1
// get their red, green and blue.
bool ParseJasc(std::span<const uint8_t> bytes, int colorCount, PaletteTable& palette, int& count) {
    bytes = WithoutBom(bytes);
    std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    std::vector<std::string_view> lines = Lines(text);
    std::vector<long> numbers;
    if (lines.size() < 3 || lines[0].substr(0, 8) != "JASC-PAL") return false;
    if (!ParseNumbers(lines[2], numbers, 1 << 24) || numbers.size() != 1) return false;
    count = int(numbers[0]);
    const int wanted = std::min(count, colorCount);
    if (lines.size() < 3 + std::size_t(wanted)) return false;
    for (int i = 0; i < wanted; ++i) {
        if (!ParseNumbers(lines[3 + std::size_t(i)], numbers, 255) || numbers.size() != 3) return false;
        PaletteEntry& e = palette[std::size_t(i)];
        e.red = uint8_t(numbers[0]);
        e.green = uint8_t(numbers[1]);
        e.blue = uint8_t(numbers[2]);
    }
    return true;
}

}  // namespace

PaletteKind DetectPaletteKind(std::span<const uint8_t> bytes, const std::filesystem::path& fileName) {
    if (StartsWith(bytes, "pqp")) return PaletteKind::Pqp;
    if (StartsWith(WithoutBom(bytes), "JASC-PAL")) return PaletteKind::Jasc;
    if (StartsWith(bytes, "RIFF")) return PaletteKind::Riff;
    if (HasActExtension(fileName)) return PaletteKind::Act;
    return PaletteKind::Unknown;
}

PaletteFileInfo DescribePaletteFile(std::span<const uint8_t> bytes, const std::filesystem::path& fileName) {
    PaletteFileInfo info;
    PaletteTable scratch{};
    int count = 0;
    info.Kind = DetectPaletteKind(bytes, fileName);
    switch (info.Kind) {
    case PaletteKind::Pqp:
        if (bytes.size() >= 7) count = LoadI32(bytes.data() + 3);
        break;
    case PaletteKind::Jasc:
        if (!ParseJasc(bytes, 0, scratch, count)) count = 0;
        break;
    case PaletteKind::Riff:
        if (bytes.size() >= kRiffEntriesOffset) count = LoadU16(bytes.data() + kRiffCountOffset);
        break;
    case PaletteKind::Act:
        count = int(std::min<std::size_t>(bytes.size() / 3, 256));
        break;
    case PaletteKind::Unknown:
        break;
    }
    info.StoredCount = count;
    return info;
}

FileResult LoadPaletteBytes(std::span<const uint8_t> bytes, const std::filesystem::path& fileName, int colorCount,
                            PaletteTable& palette) {
    const FileResult malformed = FileResult::Failure(kPaletteFileError);
    colorCount = std::clamp(colorCount, 0, 256);
    PaletteTable result = palette;
    int count = 0;
    switch (DetectPaletteKind(bytes, fileName)) {
    case PaletteKind::Unknown:
        return FileResult::Failure("");
    case PaletteKind::Pqp: {
        if (bytes.size() < 7) return malformed;
        count = LoadI32(bytes.data() + 3);
        if (count < 0) return malformed;
        const std::size_t n = std::min(count, 256);
        if ((bytes.size() - 7) / 4 < n) return malformed;
        for (std::size_t i = 0; i < n; ++i) {
            const uint8_t* p = bytes.data() + 7 + 4 * i;
            result[i] = PaletteEntry{p[0], p[1], p[2], p[3]};
        }
        break;
    }
    case PaletteKind::Jasc:
        if (!ParseJasc(bytes, colorCount, result, count)) return malformed;
        break;
    case PaletteKind::Riff: {
        if (bytes.size() < kRiffEntriesOffset || std::memcmp(bytes.data() + 8, "PAL ", 4) != 0) return malformed;
        count = LoadU16(bytes.data() + kRiffCountOffset);
        const std::size_t n = std::min(count, 256);
        if ((bytes.size() - kRiffEntriesOffset) / 4 < n) return malformed;
        for (std::size_t i = 0; i < n; ++i) {
            const uint8_t* p = bytes.data() + kRiffEntriesOffset + 4 * i;
            result[i] = PaletteEntry{p[2], p[1], p[0], p[3]};
        }
        break;
    }
    case PaletteKind::Act: {
        count = int(std::min<std::size_t>(bytes.size() / 3, 256));
        for (std::size_t i = 0; i < std::size_t(count); ++i) {
            const uint8_t* p = bytes.data() + 3 * i;
            result[i].red = p[0];
            result[i].green = p[1];
            result[i].blue = p[2];
        }
        break;
    }
    }
    if (count <= 16 && colorCount == 256)
        for (std::size_t i = 16; i < 256; ++i) result[i].red = result[i].green = result[i].blue = 0;
    palette = result;
    return FileResult::Success();
}

FileResult LoadPaletteFile(const std::filesystem::path& path, Document& doc) {
    std::vector<uint8_t> bytes;
    if (FileResult r = ReadPaletteFileBytes(path, bytes); !r) return r;
    return LoadPaletteBytes(bytes, path.filename(), doc.ColorCount, doc.Palette);
}

FileResult ReadPaletteFileBytes(const std::filesystem::path& path, std::vector<uint8_t>& bytes) {
    return ReadFileBytes(path, bytes, kMaxPaletteFileBytes, kPaletteFileError);
}

std::vector<uint8_t> EncodePalette(const Document& doc, PaletteFormat format) {
    const int count = std::clamp(doc.ColorCount, 0, 256);
    std::vector<uint8_t> out;
    if (format == PaletteFormat::Pqp) {
        out = {'p', 'q', 'p'};
        ByteWriter put(out);
        put.I32(count);
        for (int i = 0; i < count; ++i) {
            const PaletteEntry& e = doc.Palette[std::size_t(i)];
            put.Bytes(std::array<uint8_t, 4>{e.blue, e.green, e.red, e.reserved});
        }
        return out;
    }
    std::string text = "JASC-PAL\r\n0100\r\n" + std::to_string(count) + "\r\n";
    for (int i = 0; i < count; ++i) {
        const PaletteEntry& e = doc.Palette[std::size_t(i)];
        text += std::to_string(e.red) + " " + std::to_string(e.green) + " " + std::to_string(e.blue) + "\r\n";
    }
    out.assign(text.begin(), text.end());
    return out;
}

FileResult SavePalette(const Document& doc, const std::filesystem::path& path, PaletteFormat format) {
    return WriteFileAtomically(path, EncodePalette(doc, format));
}

}  // namespace pq
