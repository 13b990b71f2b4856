#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/raster/drawing.h"

namespace pq {
namespace {

constexpr Rgb kRed{255, 0, 0};
constexpr Rgb kBlue{0, 0, 255};

using Grid = std::vector<std::string>;

// '#' black, '.' white, 'o' anything else.
Grid ToGrid(const Raster& r) {
    Grid g;
    for (int y = 0; y < r.Height(); ++y) {
        std::string row;
        for (int x = 0; x < r.Width(); ++x) {
            const Rgb c = r.PixelUnchecked(x, y);
            row += c == kBlack ? '#' : c == kWhite ? '.' : 'o';
        }
        g.push_back(row);
    }
    return g;
}

Raster White(int w, int h) {
    Raster r(w, h);
    r.Fill(kWhite);
    return r;
}

Grid Ellipse(int w, int h, int pen, bool filled, Rgb brush = kBlack) {
    Raster r = White(w, h);
    DrawEllipse(r, 0, 0, w, h, pen, kBlack, filled, brush);
    return ToGrid(r);
}

bool In(const Grid& g, int x, int y) {
    return y >= 0 && y < int(g.size()) && x >= 0 && x < int(g[0].size()) && g[y][x] != '.';
}

// Pixels of the shape with a 4-neighbour outside it.
Grid Border(const Grid& g) {
    Grid b = g;
    for (int y = 0; y < int(g.size()); ++y)
        for (int x = 0; x < int(g[0].size()); ++x)
            if (In(g, x, y))
                b[y][x] = (In(g, x - 1, y) && In(g, x + 1, y) && In(g, x, y - 1) && In(g, x, y + 1)) ? '.' : '#';
    return b;
}

// ---- fill, line, frame -------------------------------------------------------------------------

TEST(FillRect, ExcludesRightAndBottomAcceptsReversedCornersAndClips) {
    Raster r = White(7, 7);
    FillRect(r, 2, 2, 5, 5, kBlack);
    Raster reversed = White(7, 7);
    FillRect(reversed, 5, 5, 2, 2, kBlack);
    EXPECT_EQ(ToGrid(r), (Grid{".......", ".......", "..###..", "..###..", "..###..", ".......", "......."}));
    EXPECT_EQ(reversed, r);

    Raster c = White(4, 3);
    FillRect(c, -5, -5, 2, 1, kBlack);
    FillRect(c, 3, 2, 100, 100, kBlack);
    EXPECT_EQ(ToGrid(c), (Grid{"##..", "....", "...#"}));
}

TEST(DrawLine, IncludesBothEndsInEitherDirection) {
    Raster a = White(5, 3);
    DrawLine(a, 0, 0, 4, 2, kBlack);
    EXPECT_EQ(ToGrid(a), (Grid{"##...", "..#..", "...##"}));
    Raster b = White(5, 3);
    DrawLine(b, 4, 0, 4, 2, kBlack);
    DrawLine(b, 2, 1, 2, 1, kBlack);  // a single point
    EXPECT_EQ(ToGrid(b), (Grid{"....#", "..#.#", "....#"}));
    Raster c = White(4, 4);
    DrawLine(c, 3, 3, 0, 0, kBlack);
    EXPECT_EQ(ToGrid(c), (Grid{"#...", ".#..", "..#.", "...#"}));
}

TEST(DrawLine, SamePixelsInBothDirections) {
    for (int x1 = 0; x1 < 7; ++x1)
        for (int y1 = 0; y1 < 7; ++y1)
            for (int x2 = 0; x2 < 7; ++x2)
                for (int y2 = 0; y2 < 7; ++y2) {
                    Raster a = White(7, 7), b = White(7, 7);
                    DrawLine(a, x1, y1, x2, y2, kBlack);
                    DrawLine(b, x2, y2, x1, y1, kBlack);
                    ASSERT_EQ(ToGrid(a), ToGrid(b)) << x1 << "," << y1 << " " << x2 << "," << y2;
                }
}

TEST(DrawLine, ClippedLineMatchesTheSameLineOnALargerRaster) {
    // Draw on a raster offset by (20, 20) and compare the window with the clipped result.
    const int lines[][4] = {{-7, -3, 12, 9}, {15, -4, -6, 8}, {-9, 4, 20, 5}, {3, -10, 6, 30}, {-30, -1, -2, 3}};
    for (const auto& l : lines) {
        Raster big = White(50, 50);
        DrawLine(big, l[0] + 20, l[1] + 20, l[2] + 20, l[3] + 20, kBlack);
        Raster window = White(10, 10);
        CopyRect(window, 0, 0, big, 20, 20, 10, 10);
        Raster clipped = White(10, 10);
        DrawLine(clipped, l[0], l[1], l[2], l[3], kBlack);
        EXPECT_EQ(ToGrid(clipped), ToGrid(window)) << l[0] << "," << l[1] << " " << l[2] << "," << l[3];
    }
    // Extreme coordinates are clipped arithmetically, not walked pixel by pixel.
    Raster r = White(4, 4);
    DrawLine(r, -2000000000, 1, 2000000000, 1, kBlack);
    EXPECT_EQ(ToGrid(r), (Grid{"....", "####", "....", "...."}));
}

TEST(FrameRect, LiesOnTheBorderPixelsInside) {
    Raster r = White(6, 6);
    FrameRect(r, 0, 0, 4, 4, kBlack);
    EXPECT_EQ(ToGrid(r), (Grid{"####..", "#..#..", "#..#..", "####..", "......", "......"}));

    // The pattern is aligned to the raster origin: pixel (x, y) takes pattern[y & 7][x & 7].
    Pattern8 checker{};
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) checker[y][x] = ((x + y) & 1) == 0;
    Raster p = White(6, 5);
    p.Fill(kBlue);
    FrameRectPattern(p, 5, 4, 1, 0, checker, kBlack, kWhite);  // reversed corners
    EXPECT_EQ(ToGrid(p), (Grid{"o.#.#o", "o#oo.o", "o.oo#o", "o#.#.o", "oooooo"}));

    Raster clipped = White(3, 3);
    FrameRectPattern(clipped, -1, -1, 9, 2, checker, kBlack, kWhite);
    EXPECT_EQ(ToGrid(clipped), (Grid{"...", ".#.", "..."}));
}

// ---- ellipses ------------------------------------------------------------------------------------

TEST(Ellipse, SmallFilledFootprints) {
    EXPECT_EQ(Ellipse(1, 1, 1, true), (Grid{"#"}));
    EXPECT_EQ(Ellipse(2, 2, 1, true), (Grid{"##", "##"}));
    EXPECT_EQ(Ellipse(3, 3, 1, true), (Grid{".#.", "###", ".#."}));
    EXPECT_EQ(Ellipse(4, 4, 1, true), (Grid{".##.", "####", "####", ".##."}));
    EXPECT_EQ(Ellipse(5, 5, 1, true), (Grid{".###.", "#####", "#####", "#####", ".###."}));
    EXPECT_EQ(Ellipse(8, 8, 1, true), (Grid{"..####..", ".######.", "########", "########", "########",
                                            "########", ".######.", "..####.."}));
}

TEST(Ellipse, PenAndBrushColoursAndHollowOutlines) {
    Raster r = White(5, 5);
    DrawEllipse(r, 0, 0, 5, 5, 1, kBlack, true, kRed);
    EXPECT_EQ(ToGrid(r), (Grid{".###.", "#ooo#", "#ooo#", "#ooo#", ".###."}));
    EXPECT_EQ(r.Pixel(2, 2), kRed);
    EXPECT_EQ(Ellipse(5, 5, 1, false), (Grid{".###.", "#...#", "#...#", "#...#", ".###."}));
    EXPECT_EQ(Ellipse(4, 4, 1, false), (Grid{".##.", "#..#", "#..#", ".##."}));
    EXPECT_EQ(Ellipse(3, 3, 1, false), (Grid{".#.", "#.#", ".#."}));
    EXPECT_EQ(Ellipse(7, 7, 2, false), (Grid{"..###..", ".#####.", "##...##", "##...##", "##...##", ".#####.",
                                             "..###.."}));
    // Thin boxes still touch all four sides.
    EXPECT_EQ(Ellipse(10, 3, 1, true), (Grid{"..######..", "##########", "..######.."}));
    EXPECT_EQ(Ellipse(1, 4, 1, false), (Grid{"#", "#", "#", "#"}));
}

TEST(Ellipse, SymmetricAndGapFreeForAllSmallBoxes) {
    for (int w = 1; w <= 12; ++w) {
        for (int h = 1; h <= 12; ++h) {
            const Grid filled = Ellipse(w, h, 1, true);
            // The hollow pen-1 outline is exactly the border of the filled shape: no gaps.
            EXPECT_EQ(Ellipse(w, h, 1, false), Border(filled)) << w << "x" << h;
            for (int pen = 1; pen <= 4; ++pen) {
                for (bool fill : {false, true}) {
                    const Grid g = Ellipse(w, h, pen, fill, kRed);
                    for (int y = 0; y < h; ++y)
                        for (int x = 0; x < w; ++x) {
                            ASSERT_EQ(g[y][x], g[y][w - 1 - x]) << w << "x" << h << " pen " << pen << " at " << x << "," << y;
                            ASSERT_EQ(g[y][x], g[h - 1 - y][x]) << w << "x" << h << " pen " << pen << " at " << x << "," << y;
                        }
                    // A filled shape covers the same pixels whatever the pen width.
                    if (fill) {
                        for (int y = 0; y < h; ++y)
                            for (int x = 0; x < w; ++x) ASSERT_EQ(g[y][x] != '.', filled[y][x] != '.');
                    }
                }
            }
            // Touches every side of the box, and from 3 x 3 up leaves the corners out.
            bool top = false, left = false;
            for (int x = 0; x < w; ++x) top |= filled[0][x] == '#';
            for (int y = 0; y < h; ++y) left |= filled[y][0] == '#';
            EXPECT_TRUE(top && left) << w << "x" << h;
            if (w >= 3 && h >= 3) {
                EXPECT_EQ(filled[0][0], '.') << w << "x" << h;
            }
        }
    }
}

TEST(Ellipse, WidePenRingIsThePixelsWithinPenStepsOfTheOutside) {
    for (int pen = 2; pen <= 4; ++pen) {
        const Grid filled = Ellipse(12, 9, 1, true);
        Grid ring = filled, rest = filled;
        for (int k = 0; k < pen; ++k) {
            const Grid b = Border(rest);
            for (int y = 0; y < 9; ++y)
                for (int x = 0; x < 12; ++x)
                    if (b[y][x] == '#') rest[y][x] = '.';
        }
        for (int y = 0; y < 9; ++y)
            for (int x = 0; x < 12; ++x) ring[y][x] = (filled[y][x] == '#' && rest[y][x] == '.') ? '#' : '.';
        EXPECT_EQ(Ellipse(12, 9, pen, false), ring) << "pen " << pen;
    }
    // A pen wider than half the box fills it.
    EXPECT_EQ(Ellipse(4, 4, 3, false), Ellipse(4, 4, 1, true));
}

TEST(Ellipse, ReversedCornersAndClippingGiveTheSamePixels) {
    Raster a = White(9, 7), b = White(9, 7);
    DrawEllipse(a, 1, 1, 8, 6, 2, kBlack, true, kRed);
    DrawEllipse(b, 8, 6, 1, 1, 2, kBlack, true, kRed);
    EXPECT_EQ(a, b);

    // A box hanging off every side equals the window of the same ellipse on a larger raster.
    Raster big = White(60, 60);
    DrawEllipse(big, 20 - 6, 20 - 4, 20 + 13, 20 + 11, 3, kBlack, true, kRed);
    Raster window = White(10, 10);
    CopyRect(window, 0, 0, big, 20, 20, 10, 10);
    Raster clipped = White(10, 10);
    DrawEllipse(clipped, -6, -4, 13, 11, 3, kBlack, true, kRed);
    EXPECT_EQ(ToGrid(clipped), ToGrid(window));

    // Far off the raster or empty boxes draw nothing.
    Raster none = White(4, 4);
    DrawEllipse(none, -50, -50, -10, -10, 1, kBlack, true, kBlack);
    DrawEllipse(none, 1, 1, 1, 3, 1, kBlack, true, kBlack);
    // A huge hollow ellipse around the raster leaves it alone; filled, it covers it.
    DrawEllipse(none, 100000000, -100000000, -100000000, 100000000, 3, kBlack, false, kBlack);
    EXPECT_EQ(ToGrid(none), (Grid{"....", "....", "....", "...."}));
    DrawEllipse(none, 100000000, -100000000, -100000000, 100000000, 3, kBlack, true, kRed);
    EXPECT_EQ(ToGrid(none), (Grid{"oooo", "oooo", "oooo", "oooo"}));
}

// ---- rectangles ----------------------------------------------------------------------------------

TEST(Rectangle, PenInsideTheBoxBrushInsideThePen) {
    Raster r = White(7, 6);
    DrawRectangle(r, 6, 5, 0, 0, 2, kBlack, true, kRed);
    EXPECT_EQ(ToGrid(r), (Grid{"######.", "######.", "##oo##.", "######.", "######.", "......."}));
    Raster h = White(5, 5);
    DrawRectangle(h, 0, 0, 4, 4, 1, kBlack, false, kRed);
    EXPECT_EQ(ToGrid(h), (Grid{"####.", "#..#.", "#..#.", "####.", "....."}));
    Raster edge = White(4, 4);
    DrawRectangle(edge, -2, -2, 3, 3, 1, kBlack, false, kBlack);  // only right and bottom sides show
    EXPECT_EQ(ToGrid(edge), (Grid{"..#.", "..#.", "###.", "...."}));
}

// ---- flood fill ----------------------------------------------------------------------------------

TEST(FloodFillSurface, FillsTheFourConnectedRegionOnly) {
    Raster r = White(6, 5);
    const Grid walls{"..#...", "..#...", "###...", "...#..", "....#."};
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 6; ++x)
            if (walls[y][x] == '#') r.SetPixel(x, y, kBlack);
    FloodFillSurface(r, 0, 0, kWhite, kRed);
    EXPECT_EQ(ToGrid(r), (Grid{"oo#...", "oo#...", "###...", "...#..", "....#."}));
    // Diagonal contacts do not connect: the corner below the diagonal wall stays white.
    FloodFillSurface(r, 5, 0, kWhite, kBlue);
    EXPECT_EQ(ToGrid(r), (Grid{"oo#ooo", "oo#ooo", "###ooo", "...#oo", "....#o"}));
    EXPECT_EQ(r.Pixel(5, 4), kBlue);
    EXPECT_EQ(r.Pixel(0, 0), kRed);

    // Start outside or on another colour: nothing.
    const Raster before = r;
    FloodFillSurface(r, -1, 0, kRed, kWhite);
    FloodFillSurface(r, 2, 0, kWhite, kRed);
    EXPECT_EQ(r, before);
}

TEST(FloodFillSurface, LargeWindingRegionNeedsNoDeepRecursion) {
    // A 4096 x 4096 comb: every other column is a wall open alternately at the top and the
    // bottom, so the region is one long serpentine.
    const int n = 4096;
    Raster r = White(n, n);
    for (int x = 1; x < n; x += 2) {
        const int gap = (x / 2) % 2 == 0 ? n - 1 : 0;
        for (int y = 0; y < n; ++y)
            if (y != gap) r.SetPixelUnchecked(x, y, kBlack);
    }
    FloodFillSurface(r, 0, 0, kWhite, kRed);
    EXPECT_EQ(r.Pixel(n - 2, n - 1), kRed);
    EXPECT_EQ(r.Pixel(n - 2, 0), kRed);
    long whiteLeft = 0;
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) whiteLeft += r.PixelUnchecked(x, y) == kWhite;
    EXPECT_EQ(whiteLeft, 0);
}

// ---- copies --------------------------------------------------------------------------------------

TEST(CopyRect, CopyOrAndClippedOnBothRasters) {
    Raster src(3, 2), dst(4, 3);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) src.SetPixel(x, y, Rgb{uint8_t(0x10 * (x + 1)), uint8_t(y), 0x0F});
    dst.Fill(Rgb{0x33, 0xF0, 0xF0});
    CopyRect(dst, 2, 2, src, 0, 0, 3, 2, RasterOp::Copy);  // only (2..3, 2) lands
    EXPECT_EQ(dst.Pixel(2, 2), (Rgb{0x10, 0, 0x0F}));
    EXPECT_EQ(dst.Pixel(3, 2), (Rgb{0x20, 0, 0x0F}));
    EXPECT_EQ(dst.Pixel(1, 2), (Rgb{0x33, 0xF0, 0xF0}));

    Raster o = dst;
    CopyRect(o, 0, 0, src, -1, 1, 3, 1, RasterOp::Or);  // source column -1 is skipped
    EXPECT_EQ(o.Pixel(0, 0), (Rgb{0x33, 0xF0, 0xF0}));
    EXPECT_EQ(o.Pixel(1, 0), (Rgb{0x33 | 0x10, 0xF1, 0xFF}));
    EXPECT_EQ(o.Pixel(2, 0), (Rgb{0x33 | 0x20, 0xF1, 0xFF}));
    Raster a = dst;
    CopyRect(a, 0, 0, src, 0, 1, 2, 1, RasterOp::And);
    EXPECT_EQ(a.Pixel(0, 0), (Rgb{0x33 & 0x10, 0xF0 & 1, 0xF0 & 0x0F}));
    EXPECT_EQ(a.Pixel(2, 0), (Rgb{0x33, 0xF0, 0xF0}));

    // Overlapping copy inside one raster reads the original pixels.
    Raster line(5, 1);
    for (int x = 0; x < 5; ++x) line.SetPixel(x, 0, Rgb{uint8_t(x), 0, 0});
    CopyRect(line, 1, 0, line, 0, 0, 4, 1);
    for (int x = 0; x < 5; ++x) EXPECT_EQ(line.Pixel(x, 0).r, x == 0 ? 0 : x - 1);
}

TEST(StretchCopy, NearestPixelUpAndDown) {
    Raster src(2, 2);
    src.SetPixel(0, 0, kRed);
    src.SetPixel(1, 0, kWhite);
    src.SetPixel(0, 1, kBlue);
    src.SetPixel(1, 1, kBlack);
    Raster up(4, 4);
    StretchCopy(up, Rect{0, 0, 4, 4}, src, Rect{0, 0, 2, 2});
    EXPECT_EQ(ToGrid(up), (Grid{"oo..", "oo..", "oo##", "oo##"}));
    EXPECT_EQ(up.Pixel(1, 1), kRed);
    EXPECT_EQ(up.Pixel(0, 3), kBlue);

    // 6 -> 3 takes the source pixel under each destination centre: columns 1, 3, 5.
    Raster row(6, 1);
    for (int x = 0; x < 6; ++x) row.SetPixel(x, 0, Rgb{uint8_t(x), 0, 0});
    Raster down(5, 1);
    down.Fill(kWhite);
    StretchCopy(down, Rect{-1, 0, 2, 1}, row, Rect{0, 0, 6, 1});  // first column off the raster
    EXPECT_EQ(down.Pixel(0, 0).r, 3);
    EXPECT_EQ(down.Pixel(1, 0).r, 5);
    EXPECT_EQ(down.Pixel(2, 0), kWhite);
}

}  // namespace
}  // namespace pq
