#pragma once
// A 24-bit picture with direct row access. Rows run top to bottom, each pixel is three bytes
// blue, green, red, and every row is padded to a multiple of 4 bytes, so a GUI can wrap the
// memory (QImage::Format_BGR888 with stride()) without copying.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace pq {

// A colour as red, green, blue. ToColorRef/FromColorRef convert to the one-number form
// 0x00BBGGRR (red in the low byte) used in settings files and colour dialogs.
struct Rgb {
    uint8_t r = 0, g = 0, b = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};
constexpr uint32_t ToColorRef(Rgb c) { return uint32_t(c.r) | (uint32_t(c.g) << 8) | (uint32_t(c.b) << 16); }
constexpr Rgb FromColorRef(uint32_t v) { return Rgb{uint8_t(v & 0xFF), uint8_t((v >> 8) & 0xFF), uint8_t((v >> 16) & 0xFF)}; }

// A truecolour pixel: straight (not premultiplied) red, green, blue and alpha; alpha 0 is
// fully transparent, 255 opaque.
struct Rgba8 {
    uint8_t r = 0, g = 0, b = 0, a = 0;
    friend bool operator==(const Rgba8&, const Rgba8&) = default;
};

constexpr Rgb kBlack{0, 0, 0};
constexpr Rgb kWhite{255, 255, 255};

// Rectangles are two corners: left and top inclusive, right and bottom exclusive.
struct Rect {
    int left = 0, top = 0, right = 0, bottom = 0;
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    bool Empty() const { return right <= left || bottom <= top; }
    friend bool operator==(const Rect&, const Rect&) = default;
};

class Raster {
public:
    Raster() = default;
    Raster(int width, int height);

    // Resizing keeps no content: the new pixels are black.
    void Resize(int width, int height);
    int Width() const { return width_; }
    int Height() const { return height_; }
    int Stride() const { return stride_; }
    bool Empty() const { return width_ == 0 || height_ == 0; }

    // No bounds checks here: use Pixel/SetPixel when a position may lie outside.
    uint8_t* Row(int y) { return data_.data() + std::size_t(y) * stride_; }
    const uint8_t* Row(int y) const { return data_.data() + std::size_t(y) * stride_; }
    uint8_t* Data() { return data_.data(); }
    const uint8_t* Data() const { return data_.data(); }

    bool Contains(int x, int y) const { return x >= 0 && y >= 0 && x < width_ && y < height_; }
    // Checked access: reading outside gives black, writing outside does nothing.
    Rgb Pixel(int x, int y) const;
    void SetPixel(int x, int y, Rgb c);
    // Unchecked access for inner loops.
    Rgb PixelUnchecked(int x, int y) const {
        const uint8_t* p = Row(y) + 3 * x;
        return Rgb{p[2], p[1], p[0]};
    }
    void SetPixelUnchecked(int x, int y, Rgb c) {
        uint8_t* p = Row(y) + 3 * x;
        p[0] = c.b; p[1] = c.g; p[2] = c.r;
    }

    void Fill(Rgb c);

    friend bool operator==(const Raster& a, const Raster& b);

private:
    int width_ = 0, height_ = 0, stride_ = 0;
    std::vector<uint8_t> data_;
};

}  // namespace pq
