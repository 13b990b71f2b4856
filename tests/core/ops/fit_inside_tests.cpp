// Where a whole picture lands in a frame keeping its proportions: the limited side fills the
// frame, the other is rounded to the nearest pixel (halves up, 1 at least) and centred with an
// odd pixel left over on the right or bottom.
#include <gtest/gtest.h>

#include "core/ops/resample.h"

namespace pq {
namespace {

struct Fit {
    int pictureWidth, pictureHeight, width, height;
    Rect expected;
};

TEST(FitInside, FittedSideIsRoundedAndCentred) {
    const Fit cases[] = {
        // 21 x 12 into 20 x 10: as tall as the frame, 21 * 10 / 12 = 17.5 wide -> 18, 1 left over each side.
        {21, 12, 20, 10, {1, 0, 19, 10}},
        // Turned: 12 x 21 into 10 x 20: as wide, 21 * 10 / 12 = 17.5 tall -> 18.
        {12, 21, 10, 20, {0, 1, 10, 19}},
        // 21 x 12 into 43 x 24: exactly 42 wide, the odd column left over goes to the right.
        {21, 12, 43, 24, {0, 0, 42, 24}},
        {12, 21, 24, 43, {0, 0, 24, 42}},
        // 17.33 rounds down: 26 x 15 into 30 x 10 is 26 * 10 / 15 = 17.33 wide -> 17, 13 left over.
        {26, 15, 30, 10, {6, 0, 23, 10}},
        // 17.67 rounds up: 53 x 30 into 20 x 10 is 17.67 wide -> 18.
        {53, 30, 20, 10, {1, 0, 19, 10}},
        // A thin picture keeps one pixel: 100 x 3 into 16 x 16 would be 0.48 tall.
        {100, 3, 16, 16, {0, 7, 16, 8}},
        {3, 100, 16, 16, {7, 0, 8, 16}},
        // Same proportions: the whole frame.
        {64, 32, 32, 16, {0, 0, 32, 16}},
        {1, 1, 7, 7, {0, 0, 7, 7}},
    };
    for (const Fit& c : cases) {
        SCOPED_TRACE(std::to_string(c.pictureWidth) + "x" + std::to_string(c.pictureHeight) + " into " +
                     std::to_string(c.width) + "x" + std::to_string(c.height));
        const Rect r = FitInside(c.pictureWidth, c.pictureHeight, c.width, c.height);
        EXPECT_EQ(r.left, c.expected.left);
        EXPECT_EQ(r.top, c.expected.top);
        EXPECT_EQ(r.right, c.expected.right);
        EXPECT_EQ(r.bottom, c.expected.bottom);
    }
}

TEST(FitInside, SidesOfZeroOrLessGiveAnEmptyRect) {
    for (const Fit& c : {Fit{0, 5, 10, 10, {}}, Fit{5, 0, 10, 10, {}}, Fit{5, 5, 0, 10, {}}, Fit{5, 5, 10, -1, {}}}) {
        const Rect r = FitInside(c.pictureWidth, c.pictureHeight, c.width, c.height);
        EXPECT_EQ(r.right - r.left, 0);
        EXPECT_EQ(r.bottom - r.top, 0);
    }
}

TEST(FitInside, HugePicturesDoNotOverflow) {
    // 65536 x 3 into 256 x 256: the products exceed 32 bits on the way.
    const Rect r = FitInside(65536, 3, 256, 256);
    EXPECT_EQ(r.right - r.left, 256);
    EXPECT_EQ(r.bottom - r.top, 1);
    const Rect t = FitInside(1 << 30, (1 << 30) - 1, 255, 256);
    EXPECT_EQ(t.right - t.left, 255);
    EXPECT_EQ(t.bottom - t.top, 255);
}

}  // namespace
}  // namespace pq
