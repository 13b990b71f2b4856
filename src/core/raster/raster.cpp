#include "core/raster/raster.h"

#include <sys/mman.h>

#include <cstdint>
#include <cstring>

namespace pq {

Raster::Raster(int width, int height) { Resize(width, height); }

namespace {

// Pictures of this many bytes and more (a decoded photograph) get memory the kernel may back
// with huge pages: touching tens of megabytes page by page otherwise costs more than decoding.
constexpr std::size_t kLargePictureBytes = 8u << 20;

void AdviseHugePages(uint8_t* data, std::size_t size) {
#ifdef MADV_HUGEPAGE
    const std::uintptr_t page = 4096;
    const std::uintptr_t begin = (reinterpret_cast<std::uintptr_t>(data) + page - 1) & ~(page - 1);
    const std::uintptr_t end = reinterpret_cast<std::uintptr_t>(data) + size;
    if (end > begin) ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
    (void)data;
    (void)size;
#endif
}

}  // namespace

void Raster::Resize(int width, int height) {
    if (width < 0) width = 0;
    if (height < 0) height = 0;
    width_ = width;
    height_ = height;
    stride_ = (width * 3 + 3) & ~3;
    const std::size_t size = std::size_t(stride_) * std::size_t(height);
    if (size >= kLargePictureBytes && size != data_.size()) {
        // Fresh memory, advised before it is first touched.
        std::vector<uint8_t>().swap(data_);
        data_.reserve(size);
        AdviseHugePages(data_.data(), size);
    }
    data_.assign(size, 0);
}

Rgb Raster::Pixel(int x, int y) const { return Contains(x, y) ? PixelUnchecked(x, y) : kBlack; }

void Raster::SetPixel(int x, int y, Rgb c) {
    if (Contains(x, y)) SetPixelUnchecked(x, y, c);
}

void Raster::Fill(Rgb c) {
    if (Empty()) return;
    uint8_t* first = Row(0);
    for (int x = 0; x < width_; ++x) {
        first[3 * x] = c.b;
        first[3 * x + 1] = c.g;
        first[3 * x + 2] = c.r;
    }
    for (int y = 1; y < height_; ++y) std::memcpy(Row(y), first, std::size_t(width_) * 3);
}

bool operator==(const Raster& a, const Raster& b) {
    if (a.width_ != b.width_ || a.height_ != b.height_) return false;
    for (int y = 0; y < a.height_; ++y)
        if (std::memcmp(a.Row(y), b.Row(y), std::size_t(a.width_) * 3) != 0) return false;
    return true;
}

}  // namespace pq
