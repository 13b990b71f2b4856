#include "support/icon_set_file.h"

#include <gtest/gtest.h>

#include "core/formats/icon_container.h"
#include "core/formats/icon_set.h"

namespace pq::test {

namespace {
constexpr int kSides[5] = {16, 24, 32, 48, 256};
constexpr int kColors[5] = {16, 256, 256, 256, 256};
constexpr IconPageKind kKinds[5] = {IconPageKind::Palette, IconPageKind::Palette, IconPageKind::TrueColor,
                                    IconPageKind::Palette, IconPageKind::Png};
}  // namespace

Document FiveImagePage(int index) {
    const int side = kSides[index], colors = kColors[index];
    Document d;
    InitBlankDocument(d, side, side, colors, 10);
    for (int i = 16; i < colors; ++i) d.Palette[std::size_t(i)] = MakeEntry({uint8_t(i), uint8_t(255 - i), uint8_t(i * 7)});
    Layer& l = d.LayerAt(0);
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x) {
            const std::size_t at = std::size_t(x + side * y);
            l.Indices[at] = uint8_t((x * 5 + y * (index + 3)) % colors);
            // Unpainted: a band that is not symmetric, so a flip shows.
            l.Mask[at] = (x + 2 * y + index) % 7 != 0 && x > side / 5;
        }
    d.HotspotX = side / 3;
    d.HotspotY = side / 3;
    return d;
}

std::vector<uint8_t> FiveImageIcon(int resourceType) {
    StoredIconFile file;
    file.ResourceType = uint16_t(resourceType);
    for (int i = 0; i < 5; ++i) {
        StoredIconImage image;
        EXPECT_TRUE(EncodeIconPage(FiveImagePage(i), kKinds[i], resourceType, image)) << i;
        // Three bytes after each image that no encoder writes: an image written anew instead
        // of kept as read shows.
        image.Data.insert(image.Data.end(), {0xA5, uint8_t(i), 0x5A});
        const uint32_t size = uint32_t(image.Data.size());
        for (int b = 0; b < 4; ++b) image.Entry[std::size_t(8 + b)] = uint8_t(size >> (8 * b));
        file.Images.push_back(std::move(image));
    }
    return EncodeStoredIconFile(file);
}

}  // namespace pq::test
