#include "core/formats/program_icons.h"

#include <png.h>

#include <algorithm>
#include <array>
#include <memory>
#include <optional>

#include "core/document/color_reduction.h"
#include "core/document/quality_reduction.h"
#include "core/formats/png_file.h"
#include "core/io/atomic_write.h"
#include "core/io/byte_io.h"

namespace pq {

namespace {

constexpr std::uint32_t kRtCursor = 1;
constexpr std::uint32_t kRtIcon = 3;
constexpr std::uint32_t kRtGroupCursor = 12;
constexpr std::uint32_t kRtGroupIcon = 14;
// A group written as a file holds at most this many bytes of images.
constexpr std::uint64_t kMaxGroupFileBytes = 64u << 20;
constexpr int kMaxIconSide = 1024;
constexpr int kIconSize = 32;

// What one file may ask for. Real programs have a few hundred icon groups at most and a
// handful of images per group; an image of 1024 x 1024 pixels at 32 bits takes 8 MB.
constexpr std::size_t kMaxIconGroups = 4096;
constexpr std::size_t kMaxGroupImages = 256;
constexpr std::uint32_t kMaxImageBytes = 16u << 20;
// Decoding (for extraction) may cover this many pixels plus some per byte of the file, so that
// groups that all point to large images cost what the file holds, not what its tables repeat.
constexpr std::uint64_t kDecodeAllowancePixels = 32u << 20;
constexpr std::uint64_t kDecodePixelsPerByte = 16;

// ---- PE sections and the resource tree ---------------------------------------------------

struct Section {
    std::uint32_t va = 0, virtualSize = 0, rawOffset = 0, rawSize = 0;
};

struct PeFile {
    std::uint64_t fileSize = 0;
    std::vector<Section> sections;

    // File offset of `size` bytes at `rva`, when they lie in one section's stored data.
    std::optional<std::uint64_t> Offset(std::uint32_t rva, std::uint32_t size) const {
        for (const Section& s : sections) {
            if (rva < s.va) continue;
            const std::uint64_t rel = std::uint64_t(rva) - s.va;
            if (rel + size > s.rawSize) continue;   // resources live in the stored data
            const std::uint64_t off = std::uint64_t(s.rawOffset) + rel;
            if (off > fileSize || size > fileSize - off) return std::nullopt;
            return off;
        }
        return std::nullopt;
    }
    // Bytes from `rva` to the end of its section's stored data (0 when outside every section).
    std::uint64_t Room(std::uint32_t rva) const {
        for (const Section& s : sections) {
            if (rva < s.va || rva - s.va >= s.rawSize) continue;
            const std::uint64_t off = std::uint64_t(s.rawOffset) + (rva - s.va);
            if (off >= fileSize) return 0;
            return std::min<std::uint64_t>(s.rawSize - (rva - s.va), fileSize - off);
        }
        return 0;
    }
};

struct DirEntry {
    bool named = false;
    std::uint32_t id = 0;        // the number, or the name's offset when named
    bool subdirectory = false;
    std::uint32_t target = 0;    // offset from the start of the resource tree
};

}  // namespace

// The resource tree, read piece by piece: every offset is relative to its start and checked
// against its room.
struct ProgramIcons::Tree {
    const ProgramIcons& src;
    std::uint64_t base = 0, room = 0;

    bool Has(std::uint32_t rel, std::uint64_t n) const { return rel <= room && n <= room - rel; }
    bool Read(std::uint32_t rel, std::size_t n, std::vector<std::uint8_t>& out) const {
        return Has(rel, n) && src.Read(base + rel, n, out);
    }

    std::vector<DirEntry> Directory(std::uint32_t rel) const {
        std::vector<DirEntry> out;
        std::vector<std::uint8_t> b;
        if (!Read(rel, 16, b)) return out;
        const std::size_t n = std::size_t(LoadU16(b.data() + 12)) + LoadU16(b.data() + 14);
        if (!Has(rel, 16 + 8 * std::uint64_t(n)) || !Read(rel + 16, 8 * n, b)) return out;
        out.reserve(n);
        for (std::size_t i = 0; i < n; ++i) {
            const std::uint32_t name = LoadU32(b.data() + 8 * i), data = LoadU32(b.data() + 8 * i + 4);
            out.push_back(DirEntry{(name & 0x80000000u) != 0, name & 0x7FFFFFFFu, (data & 0x80000000u) != 0,
                                   data & 0x7FFFFFFFu});
        }
        return out;
    }

    // A name is a 16-bit length and that many UTF-16 units; non-ASCII units become '?'.
    std::string Name(const DirEntry& e) const {
        if (!e.named) return std::to_string(e.id);
        std::vector<std::uint8_t> b;
        if (!Read(e.id, 2, b)) return "?";
        const std::size_t len = LoadU16(b.data());
        if (!Read(e.id + 2, 2 * len, b)) return "?";
        std::string s;
        for (std::size_t i = 0; i < len; ++i) {
            const std::uint16_t c = LoadU16(b.data() + 2 * i);
            s += (c >= 0x20 && c < 0x7F) ? char(c) : '?';
        }
        return s;
    }

    // The data of a name entry: its first language's leaf. Returns its RVA and size.
    bool FirstLeaf(const DirEntry& nameEntry, std::uint32_t& rva, std::uint32_t& size) const {
        if (!nameEntry.subdirectory) return false;
        const std::vector<DirEntry> langs = Directory(nameEntry.target);
        std::vector<std::uint8_t> b;
        if (langs.empty() || langs[0].subdirectory || !Read(langs[0].target, 16, b)) return false;
        rva = LoadU32(b.data());
        size = LoadU32(b.data() + 4);
        return true;
    }
};

namespace {

// Finds the sections and the resource directory. False for anything that is not a well-formed
// PE32 or PE32+ header or has no resources; `why` receives what is wrong (left None for a
// well-formed program without resources). Section data running past the end of the file is
// noted in `why` but does not stop the reading: what lies inside the file is still used.
template <class ReadFn>
bool ParsePe(const ReadFn& read, std::uint64_t fileSize, PeFile& pe, std::uint32_t& resourceRva, ProgramProblem& why) {
    using Kind = ProgramProblem::Kind;
    auto truncated = [&](std::uint64_t needed, std::string part) {
        why = ProgramProblem{Kind::Truncated, fileSize, needed, "", 0, std::move(part)};
        return false;
    };
    auto damaged = [&](std::string field, std::uint64_t value, std::uint64_t at) {
        why = ProgramProblem{Kind::DamagedField, at, 0, std::move(field), value, ""};
        return false;
    };
    pe.fileSize = fileSize;
    std::vector<std::uint8_t> b;
    if (fileSize < 2 || !read(0, 2, b) || b[0] != 'M' || b[1] != 'Z') {
        why = ProgramProblem{Kind::NotPe};
        return false;
    }
    if (fileSize < 64 || !read(0, 64, b)) return truncated(64, "the MZ header");
    const std::uint32_t peOff = LoadU32(b.data() + 0x3C);
    // A place far beyond any DOS stub is a damaged field; a near one past the end, a cut file.
    constexpr std::uint32_t kFarestStub = 1u << 16;
    if (std::uint64_t(peOff) + 24 > fileSize) {
        if (peOff >= kFarestStub || peOff < 64) return damaged("e_lfanew", peOff, 0x3C);
        return truncated(std::uint64_t(peOff) + 24, "the PE header");
    }
    if (!read(peOff, 24, b)) return truncated(std::uint64_t(peOff) + 24, "the PE header");
    if (LoadU32(b.data()) != 0x00004550) {   // "PE\0\0"
        why = ProgramProblem{Kind::NoPeSignature, peOff};
        return false;
    }
    const std::uint16_t sectionCount = LoadU16(b.data() + 6);
    const std::uint16_t optSize = LoadU16(b.data() + 20);
    const std::uint64_t opt = std::uint64_t(peOff) + 24;
    if (optSize < 2) return damaged("SizeOfOptionalHeader", optSize, std::uint64_t(peOff) + 20);
    if (opt + optSize > fileSize || !read(opt, optSize, b)) return truncated(opt + optSize, "the optional header");
    const std::uint16_t magic = LoadU16(b.data());
    std::size_t countAt, dirsAt;
    if (magic == 0x10B) { countAt = 92; dirsAt = 96; }          // PE32
    else if (magic == 0x20B) { countAt = 108; dirsAt = 112; }   // PE32+
    else return damaged("Magic", magic, opt);
    if (optSize < dirsAt + 3 * 8) {
        // Too short for the resource directory entry: a program without resources, unless it
        // claims to have that entry.
        if (optSize >= countAt + 4 && LoadU32(b.data() + countAt) >= 3)
            return damaged("SizeOfOptionalHeader", optSize, std::uint64_t(peOff) + 20);
        return false;
    }
    if (LoadU32(b.data() + countAt) < 3) return false;
    resourceRva = LoadU32(b.data() + dirsAt + 2 * 8);
    const std::uint64_t tableAt = opt + optSize, tableEnd = tableAt + std::uint64_t(sectionCount) * 40;
    if (tableEnd > fileSize || !read(tableAt, std::size_t(sectionCount) * 40, b))
        return truncated(tableEnd, "the section table");
    for (int i = 0; i < sectionCount; ++i) {
        const std::uint8_t* s = b.data() + std::size_t(i) * 40;
        pe.sections.push_back(Section{LoadU32(s + 12), LoadU32(s + 8), LoadU32(s + 20), LoadU32(s + 16)});
        const std::uint64_t end = std::uint64_t(LoadU32(s + 20)) + LoadU32(s + 16);
        if (LoadU32(s + 16) > 0 && end > fileSize && why.What == Kind::None) {
            std::string name;
            for (int k = 0; k < 8 && s[k]; ++k) name += (s[k] >= 0x20 && s[k] < 0x7F) ? char(s[k]) : '?';
            why = ProgramProblem{Kind::Truncated, fileSize, end, "", 0, "section " + name};
        }
    }
    if (resourceRva == 0) return false;
    if (!pe.Offset(resourceRva, 16) && why.What == Kind::None)
        return damaged("the resource directory's RVA", resourceRva, opt + dirsAt + 16);
    return true;
}

// ---- icon images -------------------------------------------------------------------------

bool IsPng(std::span<const std::uint8_t> d) {
    static constexpr std::uint8_t kSig[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    return d.size() >= 8 && std::equal(kSig, kSig + 8, d.begin());
}

struct DibLayout {
    int width = 0, height = 0, bits = 0;
    std::size_t paletteAt = 0, paletteCount = 0;
    std::size_t xorAt = 0, xorStride = 0;
    std::size_t andAt = 0, andStride = 0;
    bool hasMask = false;
};

// The layout of a DIB image whose data is `size` bytes long, from its first 40 bytes `head`.
bool ParseDib(std::span<const std::uint8_t> head, std::uint64_t size, DibLayout& l) {
    if (head.size() < 40 || size < 40) return false;
    const std::uint32_t hs = LoadU32(head.data());
    if (hs < 40 || hs > size) return false;
    const std::int32_t w = LoadI32(head.data() + 4), h2 = LoadI32(head.data() + 8);
    const int bits = LoadU16(head.data() + 14);
    const std::uint32_t compression = LoadU32(head.data() + 16), used = LoadU32(head.data() + 32);
    if (w <= 0 || w > kMaxIconSide || h2 < 2 || h2 / 2 > kMaxIconSide) return false;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) return false;
    if (compression != 0) return false;
    l.width = w;
    l.height = h2 / 2;   // the colour rows, then as many rows of AND mask
    l.bits = bits;
    l.paletteAt = hs;
    l.paletteCount = bits <= 8 ? (used != 0 ? used : (1u << bits)) : 0;
    if (l.paletteCount > 256) return false;
    l.xorAt = hs + 4 * l.paletteCount;
    l.xorStride = (std::size_t(w) * bits + 31) / 32 * 4;
    l.andAt = l.xorAt + l.xorStride * l.height;
    l.andStride = (std::size_t(w) + 31) / 32 * 4;
    auto has = [size](std::uint64_t off, std::uint64_t n) { return off <= size && n <= size - off; };
    if (!has(l.xorAt, l.xorStride * l.height)) return false;
    l.hasMask = has(l.andAt, l.andStride * l.height);
    return l.hasMask || bits == 32;   // a 32-bit image may rely on its alpha alone
}

bool PngSize(std::span<const std::uint8_t> d, int& w, int& h) {
    if (d.size() < 24) return false;
    const std::uint32_t pw = LoadU32BE(d.data() + 16), ph = LoadU32BE(d.data() + 20);
    if (pw == 0 || ph == 0 || pw > kMaxIconSide || ph > kMaxIconSide) return false;
    w = int(pw);
    h = int(ph);
    return true;
}

// What an image of `size` bytes is, from its first bytes `head` (40 of them when it has them).
IconImageInfo Describe(std::span<const std::uint8_t> head, std::uint64_t size) {
    IconImageInfo info;
    if (size > kMaxImageBytes) return info;
    if (IsPng(head)) {
        info.Png = true;
        info.BitsPerPixel = 32;
        info.Decodable = PngSize(head, info.Width, info.Height);
        return info;
    }
    DibLayout l;
    if (ParseDib(head, size, l)) {
        info.Width = l.width;
        info.Height = l.height;
        info.BitsPerPixel = l.bits;
        info.Decodable = true;
    }
    return info;
}

// A decoded image: the colour shown at each pixel (images with alpha composed over white) and
// its opacity 0..255.
struct Decoded {
    int w = 0, h = 0;
    std::vector<Rgb> color;
    std::vector<std::uint8_t> opacity;
};

Rgb OverWhite(Rgb c, unsigned a) {
    auto mix = [a](unsigned v) { return std::uint8_t((v * a + 255 * (255 - a) + 127) / 255); };
    return Rgb{mix(c.r), mix(c.g), mix(c.b)};
}

bool DecodePng(std::span<const std::uint8_t> d, Decoded& out) {
    // Decoded by the shared PNG reader, which keeps the samples as stored.
    std::vector<std::uint8_t> rgba;
    int width = 0, height = 0;
    if (!DecodePngRgba(d, kMaxIconSide, width, height, rgba)) return false;
    out.w = width;
    out.h = height;
    out.color.resize(std::size_t(out.w) * out.h);
    out.opacity.resize(out.color.size());
    for (std::size_t i = 0; i < out.color.size(); ++i) {
        const std::uint8_t* p = rgba.data() + 4 * i;
        out.color[i] = OverWhite(Rgb{p[0], p[1], p[2]}, p[3]);
        out.opacity[i] = p[3];
    }
    return true;
}

bool DecodeDib(std::span<const std::uint8_t> d, Decoded& out) {
    DibLayout l;
    if (!ParseDib(d, d.size(), l)) return false;
    ByteView b{d};
    const int w = l.width, h = l.height;
    out.w = w;
    out.h = h;
    out.color.assign(std::size_t(w) * h, Rgb{});
    out.opacity.assign(out.color.size(), 255);
    bool alpha = false;
    std::vector<std::uint8_t> alphas(l.bits == 32 ? out.color.size() : 0);
    for (int r = 0; r < h; ++r) {
        const int y = h - 1 - r;   // rows are stored bottom-up
        const std::uint8_t* src = d.data() + l.xorAt + l.xorStride * r;
        Rgb* dst = out.color.data() + std::size_t(y) * w;
        for (int x = 0; x < w; ++x) {
            if (l.bits <= 8) {
                const int perByte = 8 / l.bits;
                const unsigned index = (src[x / perByte] >> (8 - l.bits * (x % perByte + 1))) & ((1u << l.bits) - 1);
                // An index past the colour table shows black.
                if (index < l.paletteCount) {
                    const std::size_t e = l.paletteAt + 4 * index;
                    dst[x] = Rgb{d[e + 2], d[e + 1], d[e]};
                }
            } else if (l.bits == 16) {
                const unsigned v = b.U16(l.xorAt + l.xorStride * r + 2 * x);
                auto five = [](unsigned c) { return std::uint8_t((c * 255 + 15) / 31); };
                dst[x] = Rgb{five((v >> 10) & 31), five((v >> 5) & 31), five(v & 31)};
            } else {
                const std::uint8_t* p = src + (l.bits / 8) * x;
                dst[x] = Rgb{p[2], p[1], p[0]};
                if (l.bits == 32) {
                    alphas[std::size_t(y) * w + x] = p[3];
                    alpha |= p[3] != 0;
                }
            }
        }
    }
    if (alpha) {
        for (std::size_t i = 0; i < out.color.size(); ++i) {
            out.color[i] = OverWhite(out.color[i], alphas[i]);
            out.opacity[i] = alphas[i];
        }
    } else if (l.hasMask) {
        for (int r = 0; r < h; ++r) {
            const std::uint8_t* src = d.data() + l.andAt + l.andStride * r;
            for (int x = 0; x < w; ++x)
                if ((src[x / 8] >> (7 - x % 8)) & 1) out.opacity[std::size_t(h - 1 - r) * w + x] = 0;
        }
    }
    return true;
}

bool Decode(std::span<const std::uint8_t> d, Decoded& out) {
    if (d.size() > kMaxImageBytes) return false;
    return IsPng(d) ? DecodePng(d, out) : DecodeDib(d, out);
}

// Box average when shrinking, nearest pixel when enlarging (each axis on its own).
Decoded Scale(const Decoded& s, int w, int h) {
    if (s.w == w && s.h == h) return s;
    Decoded out;
    out.w = w;
    out.h = h;
    out.color.resize(std::size_t(w) * h);
    out.opacity.resize(out.color.size());
    for (int y = 0; y < h; ++y) {
        const int y0 = y * s.h / h, y1 = std::max(y0 + 1, (y + 1) * s.h / h);
        for (int x = 0; x < w; ++x) {
            const int x0 = x * s.w / w, x1 = std::max(x0 + 1, (x + 1) * s.w / w);
            unsigned r = 0, g = 0, bl = 0, a = 0, n = 0;
            for (int sy = y0; sy < y1; ++sy)
                for (int sx = x0; sx < x1; ++sx) {
                    const std::size_t i = std::size_t(sy) * s.w + sx;
                    r += s.color[i].r; g += s.color[i].g; bl += s.color[i].b; a += s.opacity[i];
                    ++n;
                }
            const std::size_t o = std::size_t(y) * w + x;
            out.color[o] = Rgb{std::uint8_t((r + n / 2) / n), std::uint8_t((g + n / 2) / n), std::uint8_t((bl + n / 2) / n)};
            out.opacity[o] = std::uint8_t((a + n / 2) / n);
        }
    }
    return out;
}

IconPicture ToPicture(const Decoded& d) {
    IconPicture p;
    p.Color = Raster(d.w, d.h);
    p.Mask = Raster(d.w, d.h);
    for (int y = 0; y < d.h; ++y)
        for (int x = 0; x < d.w; ++x) {
            const std::size_t i = std::size_t(y) * d.w + x;
            p.Color.SetPixelUnchecked(x, y, d.color[i]);
            p.Mask.SetPixelUnchecked(x, y, d.opacity[i] >= 128 ? kBlack : kWhite);
        }
    return p;
}

}  // namespace

bool ProgramIcons::Read(std::uint64_t offset, std::size_t n, std::vector<std::uint8_t>& out) const {
    if (file_) return file_->ReadAt(offset, n, out);
    out.clear();
    if (offset > bytes_.size() || n > bytes_.size() - offset) return false;
    out.assign(bytes_.begin() + std::ptrdiff_t(offset), bytes_.begin() + std::ptrdiff_t(offset + n));
    return true;
}

std::uint64_t ProgramIcons::Size() const { return file_ ? file_->Size() : bytes_.size(); }

bool ProgramIcons::ReadTables() {
    auto read = [this](std::uint64_t off, std::size_t n, std::vector<std::uint8_t>& out) { return Read(off, n, out); };
    PeFile pe;
    std::uint32_t resourceRva = 0;
    if (!ParsePe(read, Size(), pe, resourceRva, problem_)) return true;
    const std::optional<std::uint64_t> base = pe.Offset(resourceRva, 16);
    if (!base) return true;
    const Tree tree{*this, *base, pe.Room(resourceRva)};

    const std::vector<DirEntry> types = tree.Directory(0);
    std::vector<DirEntry> groupNames, cursorGroupNames;
    // The images of one resource type, each its first language's data.
    auto readImages = [&](const DirEntry& t, std::vector<Entry>& out) {
        for (const DirEntry& n : tree.Directory(t.target)) {
            std::uint32_t rva = 0, size = 0;
            if (n.named || n.id > 0xFFFF || !tree.FirstLeaf(n, rva, size)) continue;
            const std::optional<std::uint64_t> off = pe.Offset(rva, size);
            if (off && size > 0) out.push_back(Entry{int(n.id), *off, size});
        }
        std::stable_sort(out.begin(), out.end(), [](const Entry& a, const Entry& b) { return a.id < b.id; });
    };
    bool cursorsRead = false;
    for (const DirEntry& t : types) {
        if (t.named || !t.subdirectory) continue;
        if (t.id == kRtIcon && icons_.empty()) {
            readImages(t, icons_);
        } else if (t.id == kRtCursor && !cursorsRead) {
            readImages(t, cursors_);
            cursorsRead = true;
        } else if (t.id == kRtGroupIcon && groupNames.empty()) {
            groupNames = tree.Directory(t.target);
        } else if (t.id == kRtGroupCursor && cursorGroupNames.empty()) {
            cursorGroupNames = tree.Directory(t.target);
        }
    }
    if (groupNames.size() > kMaxIconGroups || cursorGroupNames.size() > kMaxIconGroups) return false;
    // Every group counts, even one whose data is missing: such an index simply yields no icon.
    auto readGroups = [&](const std::vector<DirEntry>& names, std::vector<Group>& out) {
        for (const DirEntry& n : names) {
            Group g;
            g.name = tree.Name(n);
            std::uint32_t rva = 0, size = 0;
            if (tree.FirstLeaf(n, rva, size))
                if (const std::optional<std::uint64_t> off = pe.Offset(rva, size)) {
                    g.offset = *off;
                    g.size = size;
                }
            out.push_back(std::move(g));
        }
    };
    readGroups(groupNames, groups_);
    readGroups(cursorGroupNames, cursorGroups_);
    described_.assign(icons_.size(), std::nullopt);
    return true;
}

ProgramIcons ProgramIcons::FromBytes(std::vector<std::uint8_t> bytes) {
    ProgramIcons out;
    out.bytes_ = std::move(bytes);
    if (!out.ReadTables()) return ProgramIcons();
    return out;
}

FileResult ProgramIcons::Load(const std::filesystem::path& path, ProgramIcons& out) {
    auto file = std::make_shared<RegularFile>();
    if (file->Open(path) != ReadStatus::Ok) return FileResult::Failure(kProgramFileOpenMessage);
    ProgramIcons icons;
    icons.file_ = std::move(file);
    if (!icons.ReadTables()) return FileResult::Failure(kProgramFileOpenMessage);
    out = std::move(icons);
    return FileResult::Success();
}

std::vector<ProgramIcons::Entry> ProgramIcons::Entries(int index) const {
    if (index < 0 || index >= Count()) return {};
    return GroupEntries(groups_[std::size_t(index)], 1, icons_, nullptr);
}

std::vector<ProgramIcons::Entry> ProgramIcons::GroupEntries(const Group& g, int type, const std::vector<Entry>& images,
                                                             std::vector<std::uint8_t>* directory) const {
    std::vector<Entry> out;
    std::vector<std::uint8_t> b;
    if (g.size < 6 || !Read(g.offset, 6, b) || LoadU16(b.data()) != 0 || LoadU16(b.data() + 2) != type) return out;
    const std::size_t count = LoadU16(b.data() + 4);
    // A group of more images than any icon has is broken: it yields none.
    if (count > kMaxGroupImages || 6 + 14 * count > g.size || !Read(g.offset + 6, 14 * count, b)) return out;
    for (std::size_t i = 0; i < count; ++i) {
        const int id = LoadU16(b.data() + 14 * i + 12);
        auto it = std::lower_bound(images.begin(), images.end(), id, [](const Entry& e, int v) { return e.id < v; });
        out.push_back(it != images.end() && it->id == id ? *it : Entry{id, 0, 0});
    }
    if (directory) *directory = std::move(b);
    return out;
}

namespace {

// Width and height an image's own data states (a DIB's header, a PNG's IHDR); false when it
// states none.
bool StatedSize(std::span<const std::uint8_t> d, int& w, int& h) {
    if (IsPng(d)) {
        if (d.size() < 24) return false;
        w = int(std::min<std::uint32_t>(LoadU32BE(d.data() + 16), 0x7FFFFFFF));
        h = int(std::min<std::uint32_t>(LoadU32BE(d.data() + 20), 0x7FFFFFFF));
        return true;
    }
    if (d.size() < 16) return false;
    w = LoadI32(d.data() + 4);
    h = LoadI32(d.data() + 8) / 2;
    return w > 0 && h > 0;
}

}  // namespace

bool ProgramIcons::GroupFile(GroupKind kind, int index, std::vector<std::uint8_t>& out) const {
    out.clear();
    const bool cursor = kind == GroupKind::Cursor;
    const std::vector<Group>& groups = cursor ? cursorGroups_ : groups_;
    if (index < 0 || std::size_t(index) >= groups.size()) return false;
    std::vector<std::uint8_t> directory;
    const std::vector<Entry> entries =
        GroupEntries(groups[std::size_t(index)], cursor ? 2 : 1, cursor ? cursors_ : icons_, &directory);
    if (entries.empty()) return false;
    std::uint64_t total = 0;
    for (const Entry& e : entries) {
        if (e.size == 0 || e.size > kMaxImageBytes) return false;   // an image the program lacks
        total += e.size;
    }
    if (total > kMaxGroupFileBytes) return false;
    std::vector<std::vector<std::uint8_t>> data(entries.size());
    std::vector<std::array<std::uint8_t, 12>> head(entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (!Read(entries[i].offset, entries[i].size, data[i])) return false;
        const std::uint8_t* g = directory.data() + 14 * i;
        std::array<std::uint8_t, 12>& h = head[i];
        std::copy(g, g + 8, h.begin());
        if (cursor) {
            // A cursor resource starts with its hotspot; the file's entry holds it instead, and
            // the entry's size bytes state the width and height of the image itself.
            if (data[i].size() < 4) return false;
            const std::uint16_t hx = LoadU16(data[i].data()), hy = LoadU16(data[i].data() + 2);
            data[i].erase(data[i].begin(), data[i].begin() + 4);
            int w = LoadU16(g), hgt = LoadU16(g + 2) / 2;
            StatedSize(data[i], w, hgt);
            const int bits = data[i].size() >= 16 && !IsPng(data[i]) ? LoadU16(data[i].data() + 14) : 32;
            h[0] = std::uint8_t(w >= 1 && w < 256 ? w : 0);
            h[1] = std::uint8_t(hgt >= 1 && hgt < 256 ? hgt : 0);
            h[2] = std::uint8_t(bits >= 1 && bits < 8 ? 1u << bits : 0);
            h[3] = 0;
            h[4] = std::uint8_t(hx), h[5] = std::uint8_t(hx >> 8);
            h[6] = std::uint8_t(hy), h[7] = std::uint8_t(hy >> 8);
        }
        const std::uint32_t n = std::uint32_t(data[i].size());
        for (int k = 0; k < 4; ++k) h[std::size_t(8 + k)] = std::uint8_t(n >> (8 * k));
    }
    // Header, directory with each image's offset, then the images in directory order.
    std::vector<std::uint8_t> file;
    file.reserve(6 + 16 * entries.size() + total);
    auto u16 = [&file](unsigned v) { file.push_back(std::uint8_t(v)), file.push_back(std::uint8_t(v >> 8)); };
    u16(0);
    u16(cursor ? 2 : 1);
    u16(unsigned(entries.size()));
    std::uint32_t offset = std::uint32_t(6 + 16 * entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        file.insert(file.end(), head[i].begin(), head[i].end());
        for (int k = 0; k < 4; ++k) file.push_back(std::uint8_t(offset >> (8 * k)));
        offset += std::uint32_t(data[i].size());
    }
    for (const std::vector<std::uint8_t>& d : data) file.insert(file.end(), d.begin(), d.end());
    out = std::move(file);
    return true;
}

std::vector<std::uint8_t> ProgramIcons::ImageBytes(int index, int image) const {
    std::vector<std::uint8_t> out;
    const std::vector<Entry> entries = Entries(index);
    if (image < 0 || image >= int(entries.size())) return out;
    const Entry& e = entries[std::size_t(image)];
    if (e.size > kMaxImageBytes || !Read(e.offset, e.size, out)) out.clear();
    return out;
}

std::vector<IconImageInfo> ProgramIcons::Images(int index) const {
    std::vector<IconImageInfo> out;
    for (const Entry& e : Entries(index)) {
        IconImageInfo info;
        // Each RT_ICON resource is described once, however many groups list it.
        auto it = std::lower_bound(icons_.begin(), icons_.end(), e.id, [](const Entry& a, int v) { return a.id < v; });
        const std::size_t k = std::size_t(it - icons_.begin());
        if (e.size > 0 && k < described_.size() && described_[k]) {
            info = *described_[k];
        } else if (e.size > 0) {
            std::vector<std::uint8_t> head;
            Read(e.offset, std::min<std::size_t>(e.size, 40), head);
            info = Describe(head, e.size);
            if (k < described_.size()) described_[k] = info;
        }
        info.ResourceId = e.id;
        out.push_back(info);
    }
    return out;
}

namespace {

// Rank: an exact 32 x 32 image; then the smallest larger one (shrinking keeps detail); then
// the largest smaller one. Among equal sizes the deepest; among equals the first. Images
// marked in `skip` are passed over.
int ChooseAmong(const std::vector<IconImageInfo>& images, const std::vector<bool>& skip) {
    auto rank = [](const IconImageInfo& i) -> long {
        const int side = std::max(i.Width, i.Height);
        if (i.Width == kIconSize && i.Height == kIconSize) return 0;
        if (side > kIconSize) return side;
        return 100000 - side;
    };
    int best = -1;
    for (int i = 0; i < int(images.size()); ++i) {
        const IconImageInfo& c = images[std::size_t(i)];
        if (!c.Decodable || skip[std::size_t(i)]) continue;
        if (best < 0) {
            best = i;
            continue;
        }
        const IconImageInfo& b = images[std::size_t(best)];
        const long rc = rank(c), rb = rank(b);
        if (rc < rb || (rc == rb && c.BitsPerPixel > b.BitsPerPixel)) best = i;
    }
    return best;
}

}  // namespace

int ProgramIcons::ChooseImage(int index) const {
    const std::vector<IconImageInfo> images = Images(index);
    return ChooseAmong(images, std::vector<bool>(images.size(), false));
}

bool ProgramIcons::Extract(int index, IconPicture& out) const {
    out = IconPicture();
    const std::vector<IconImageInfo> images = Images(index);
    std::vector<bool> skip(images.size(), false);
    // A chosen image whose data then fails to decode (damaged PNG data) gives way to the next,
    // a few times at most.
    const std::uint64_t budget = kDecodeAllowancePixels + kDecodePixelsPerByte * Size();
    for (int attempt = 0; attempt < 4; ++attempt) {
        const int chosen = ChooseAmong(images, skip);
        if (chosen < 0) return false;
        const IconImageInfo& info = images[std::size_t(chosen)];
        decodedPixels_ += std::uint64_t(info.Width) * std::uint64_t(info.Height);
        if (decodedPixels_ > budget) return false;
        Decoded d;
        if (Decode(ImageBytes(index, chosen), d)) {
            out = ToPicture(Scale(d, kIconSize, kIconSize));
            return true;
        }
        skip[std::size_t(chosen)] = true;
    }
    return false;
}

bool DecodeIconImage(std::span<const std::uint8_t> data, IconPicture& out) {
    Decoded d;
    if (!Decode(data, d)) return false;
    out = ToPicture(d);
    return true;
}

void IconFromPictures(Document& doc, const IconPicture& icon, int selectedZoom, const ReductionOptions& options) {
    InitBlankDocument(doc, kIconSize, kIconSize, 256, selectedZoom);
    // The reduction reads the picture at the document's size: bring any other size to it.
    Raster color = icon.Color;
    if (color.Width() != kIconSize || color.Height() != kIconSize) {
        color = Raster(kIconSize, kIconSize);
        color.Fill(kWhite);
        for (int y = 0; y < kIconSize; ++y)
            for (int x = 0; x < kIconSize; ++x)
                if (icon.Color.Contains(x, y)) color.SetPixelUnchecked(x, y, icon.Color.PixelUnchecked(x, y));
    }
    const int k = ReduceColors(doc, 256, 0, &color, options);
    if (k < 16) doc.ColorCount = 16;
    Layer& layer = doc.LayerAt(0);
    for (int y = 0; y < kIconSize; ++y)
        for (int x = 0; x < kIconSize; ++x)
            layer.Mask[std::size_t(x) + std::size_t(y) * kIconSize] =
                icon.Mask.Contains(x, y) && icon.Mask.PixelUnchecked(x, y) == kBlack ? 1 : 0;
}

}  // namespace pq
