#include "core/formats/icon_container.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <utility>
#include <string>

#include "core/formats/icon_file.h"
#include "core/formats/icon_set.h"
#include "core/io/atomic_write.h"
#include "core/io/byte_io.h"

namespace pq {
namespace {

constexpr std::size_t kFileHeaderSize = 6;
constexpr std::size_t kDirEntrySize = 16;

std::string CannotWrite(const std::filesystem::path& path) { return "「" + path.string() + "」に書き込めませんでした。"; }

bool SameFile(const std::string& a, const std::filesystem::path& b) {
    if (a.empty()) return false;
    std::error_code ec;
    return std::filesystem::equivalent(std::filesystem::path(a), b, ec) && !ec;
}

// The file with image `index` replaced and every other one kept as ReadStoredIconFile and
// EncodeStoredIconFile keep it, except that entries sharing one piece of data (the same offset
// and length) still share it: it is written once, so that a directory repeating one image does
// not grow into a copy per entry.
std::vector<uint8_t> EncodeReplacingOne(std::span<const uint8_t> bytes, const IconDirectory& dir, std::size_t index,
                                        const StoredIconImage& replaced) {
    const std::size_t count = dir.Entries.size();
    std::vector<uint8_t> out;
    ByteWriter put(out);
    put.U16(uint32_t(dir.Reserved));
    put.U16(uint32_t(dir.ResourceType));
    put.U16(uint32_t(count));
    out.resize(kFileHeaderSize + kDirEntrySize * count);
    std::map<std::pair<std::size_t, std::size_t>, std::size_t> written;   // (offset, length) -> new offset
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t entry = kFileHeaderSize + i * kDirEntrySize;
        std::size_t at = out.size();
        if (i == index) {
            std::memcpy(out.data() + entry, replaced.Entry.data(), 12);
            out.insert(out.end(), replaced.Data.begin(), replaced.Data.end());
        } else {
            std::memcpy(out.data() + entry, bytes.data() + entry, 12);
            const IconDirEntry& e = dir.Entries[i];
            const std::size_t from = std::min<std::size_t>(e.ImageOffset, bytes.size());
            const std::size_t n = std::min<std::size_t>(e.BytesInRes, bytes.size() - from);
            const auto [it, fresh] = written.try_emplace({from, n}, at);
            if (fresh)
                out.insert(out.end(), bytes.begin() + std::ptrdiff_t(from), bytes.begin() + std::ptrdiff_t(from + n));
            else
                at = it->second;
        }
        for (int k = 0; k < 4; ++k) out[entry + 12 + std::size_t(k)] = uint8_t(uint32_t(at) >> (8 * k));
    }
    return out;
}

}  // namespace

FileResult ReadStoredIconFile(std::span<const uint8_t> bytes, StoredIconFile& out) {
    IconDirectory dir;
    if (FileResult r = ReadIconDirectory(bytes, dir); !r) return r;
    StoredIconFile file;
    file.Reserved = uint16_t(dir.Reserved);
    file.ResourceType = uint16_t(dir.ResourceType);
    file.Images.resize(dir.Entries.size());
    for (std::size_t i = 0; i < dir.Entries.size(); ++i) {
        StoredIconImage& image = file.Images[i];
        std::memcpy(image.Entry.data(), bytes.data() + kFileHeaderSize + i * kDirEntrySize, kDirEntrySize);
        const IconDirEntry& e = dir.Entries[i];
        if (e.ImageOffset >= bytes.size()) continue;
        const std::size_t n = std::min<std::size_t>(e.BytesInRes, bytes.size() - e.ImageOffset);
        image.Data.assign(bytes.begin() + std::ptrdiff_t(e.ImageOffset), bytes.begin() + std::ptrdiff_t(e.ImageOffset + n));
    }
    out = std::move(file);
    return FileResult::Success();
}

std::vector<uint8_t> EncodeStoredIconFile(const StoredIconFile& file) {
    std::size_t total = kFileHeaderSize + kDirEntrySize * file.Images.size();
    for (const StoredIconImage& image : file.Images) total += image.Data.size();
    std::vector<uint8_t> out;
    out.reserve(total);
    ByteWriter put(out);
    put.U16(file.Reserved);
    put.U16(file.ResourceType);
    put.U16(uint32_t(file.Images.size()));
    std::size_t offset = kFileHeaderSize + kDirEntrySize * file.Images.size();
    for (const StoredIconImage& image : file.Images) {
        put.Bytes(std::span<const uint8_t>(image.Entry.data(), 12));
        put.U32(uint32_t(offset));
        offset += image.Data.size();
    }
    for (const StoredIconImage& image : file.Images) put.Bytes(image.Data);
    return out;
}

void ClampedHotspot(const Document& doc, int& x, int& y) {
    x = std::clamp(doc.HotspotX, 0, std::max(doc.ImageWidth - 1, 0));
    y = std::clamp(doc.HotspotY, 0, std::max(doc.ImageHeight - 1, 0));
}

bool EncodeIconImage(const Document& doc, int resourceType, StoredIconImage& out) {
    int hx = 0, hy = 0;
    if (resourceType == kCursorResourceType) ClampedHotspot(doc, hx, hy);
    const std::vector<uint8_t> one = EncodeIcon(doc, resourceType, hx, hy);
    if (one.size() < kFileHeaderSize + kDirEntrySize) return false;
    std::memcpy(out.Entry.data(), one.data() + kFileHeaderSize, kDirEntrySize);
    out.Data.assign(one.begin() + std::ptrdiff_t(kFileHeaderSize + kDirEntrySize), one.end());
    return true;
}

bool WritesBackIntoOrigin(const Document& doc, const std::filesystem::path& path) {
    return doc.Origin.ResourceType != 0 && SameFile(doc.Origin.Path, path);
}

FileResult SaveIconKeepingOthers(const Document& doc, const std::filesystem::path& path, int resourceType) {
    if (!WritesBackIntoOrigin(doc, path)) {
        int hx = 0, hy = 0;
        if (resourceType == kCursorResourceType) ClampedHotspot(doc, hx, hy);
        return SaveIconFile(doc, path, resourceType, hx, hy);
    }
    std::vector<uint8_t> bytes;
    if (FileResult r = ReadFileBytes(path, bytes); !r) return r;
    IconDirectory dir;
    if (!ReadIconDirectory(bytes, dir) || doc.Origin.Index < 0 || std::size_t(doc.Origin.Index) >= dir.Entries.size())
        return FileResult::Failure(CannotWrite(path) + "\n" + kIconChangedMessage);
    // The file keeps its own kind (a cursor's image carries the hotspot, an icon's does not) and
    // the image its own: a 32-bit image stays 32-bit, a PNG image PNG, the others 4- or 8-bit.
    const std::size_t index = std::size_t(doc.Origin.Index);
    const IconPageKind kind = StoredPageKind(bytes, dir.Entries[index]);
    // The image as the file holds it; when it still shows the document its bytes stay and a
    // cursor's entry only takes the hotspot.
    StoredIconImage replaced;
    std::memcpy(replaced.Entry.data(), bytes.data() + kFileHeaderSize + index * kDirEntrySize, 12);
    {
        const IconDirEntry& e = dir.Entries[index];
        const std::size_t from = std::min<std::size_t>(e.ImageOffset, bytes.size());
        const std::size_t n = std::min<std::size_t>(e.BytesInRes, bytes.size() - from);
        replaced.Data.assign(bytes.begin() + std::ptrdiff_t(from), bytes.begin() + std::ptrdiff_t(from + n));
    }
    if (PageShowsImage(doc, kind, replaced)) {
        if (dir.ResourceType == kCursorResourceType) {
            int hx = 0, hy = 0;
            ClampedHotspot(doc, hx, hy);
            replaced.Entry[4] = uint8_t(hx), replaced.Entry[5] = uint8_t(hx >> 8);
            replaced.Entry[6] = uint8_t(hy), replaced.Entry[7] = uint8_t(hy >> 8);
        }
    } else if (!EncodeIconPage(doc, kind, dir.ResourceType, replaced)) {
        return FileResult::Failure(CannotWrite(path));
    }
    return WriteFileAtomically(path, EncodeReplacingOne(bytes, dir, index, replaced));
}

FileResult PackIconFile(std::span<const Document* const> docs, const std::filesystem::path& path, int resourceType) {
    if (docs.empty()) return FileResult::Failure(CannotWrite(path));
    StoredIconFile file;
    file.ResourceType = uint16_t(resourceType);
    file.Images.resize(docs.size());
    for (std::size_t i = 0; i < docs.size(); ++i)
        if (!EncodeIconImage(*docs[i], resourceType, file.Images[i]))
            return FileResult::Failure(CannotWrite(path) + "\n" + std::to_string(i + 1) +
                                       " 番目の画像はアイコンにできません。");
    return WriteFileAtomically(path, EncodeStoredIconFile(file));
}

}  // namespace pq
