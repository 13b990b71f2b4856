#pragma once
// Small files the file-command tests make: a 24-bit picture of a known pattern as .bmp, and an
// icon file holding several images (joined from one-image icons the core writes).

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <vector>

#include "core/document/document.h"
#include "core/formats/icon_file.h"
#include "core/raster/raster.h"

namespace pq::test {

inline void WriteBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

inline std::vector<uint8_t> ReadBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// Every pixel a different colour along each axis, so a misplaced area shows.
inline Raster PatternPicture(int width, int height) {
    Raster r(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            r.SetPixelUnchecked(x, y, Rgb{uint8_t(x * 2), uint8_t(y * 3), uint8_t((x * 7 + y * 5) & 0xFF)});
    return r;
}

inline void PutLE(std::vector<uint8_t>& b, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) b.push_back(uint8_t(v >> (8 * i)));
}

// A 24-bit bottom-up Windows bitmap of the picture.
inline std::vector<uint8_t> BitmapBytes(const Raster& picture) {
    const int w = picture.Width(), h = picture.Height();
    const int rowBytes = (3 * w + 3) / 4 * 4;
    std::vector<uint8_t> b;
    b.push_back('B');
    b.push_back('M');
    PutLE(b, uint32_t(54 + rowBytes * h), 4);
    PutLE(b, 0, 4);
    PutLE(b, 54, 4);
    PutLE(b, 40, 4);
    PutLE(b, uint32_t(w), 4);
    PutLE(b, uint32_t(h), 4);
    PutLE(b, 1, 2);
    PutLE(b, 24, 2);
    for (int i = 0; i < 6; ++i) PutLE(b, 0, 4);
    for (int y = h - 1; y >= 0; --y) {
        const std::size_t start = b.size();
        for (int x = 0; x < w; ++x) {
            const Rgb c = picture.PixelUnchecked(x, y);
            b.push_back(c.b);
            b.push_back(c.g);
            b.push_back(c.r);
        }
        b.resize(start + std::size_t(rowBytes), 0);
    }
    return b;
}

// One icon file holding the images of several one-image icon files, in order.
inline std::vector<uint8_t> JoinIcons(const std::vector<std::vector<uint8_t>>& singles) {
    std::vector<uint8_t> out;
    PutLE(out, 0, 2);
    PutLE(out, 1, 2);
    PutLE(out, uint32_t(singles.size()), 2);
    uint32_t offset = uint32_t(6 + 16 * singles.size());
    std::vector<uint8_t> images;
    for (const auto& one : singles) {
        std::vector<uint8_t> entry(one.begin() + 6, one.begin() + 22);
        const uint32_t size = uint32_t(one.size() - 22);
        for (int i = 0; i < 4; ++i) entry[12 + i] = uint8_t(offset >> (8 * i));
        out.insert(out.end(), entry.begin(), entry.end());
        images.insert(images.end(), one.begin() + 22, one.end());
        offset += size;
    }
    out.insert(out.end(), images.begin(), images.end());
    return out;
}

// A one-image icon of a blank document of that size and colour count with pixel (x, x) painted
// in index (x % colors) on the diagonal.
inline std::vector<uint8_t> DiagonalIcon(int side, int colors) {
    Document doc;
    InitBlankDocument(doc, side, side, colors, 10);
    for (int x = 0; x < side; ++x) {
        doc.LayerAt(0).Indices[std::size_t(x + x * side)] = uint8_t(x % colors);
        doc.LayerAt(0).Mask[std::size_t(x + x * side)] = 1;
    }
    return EncodeIcon(doc, kIconResourceType, 0, 0);
}

}  // namespace pq::test
