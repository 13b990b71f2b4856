#pragma once
// The fast import's averaging: a picture the decoder scaled down by d (each reduced pixel the
// mean of a d x d block of the full picture, fewer at the right and bottom edges) averaged over
// the cells of a frame given in the full picture's coordinates, each reduced pixel weighted by
// the area of its block that lies in the cell. Point samples one reduced pixel apart would
// weigh a cell's edge blocks wrongly by up to half a block each side, which on detailed
// photographs put the fast import several levels from the exact one.

#include <cstdint>
#include <vector>

#include "core/raster/raster.h"

namespace pq {

class ReducedBoxAverager {
public:
    // The frame (left, top, right, bottom) of a fullWidth x fullHeight picture, reduced by `d`
    // into ceil(fullWidth / d) x ceil(fullHeight / d), averaged into `target` (already white;
    // it must outlive the averager). Cells with no part on the picture stay white.
    ReducedBoxAverager(int fullWidth, int fullHeight, int d, double left, double top, double right, double bottom,
                       Raster& target);

    // Reduced row y (3 bytes a pixel, in the target's channel order) goes in; the target rows
    // it completes are written.
    void AddRow(int y, const std::uint8_t* row);

private:
    struct Weight {
        int index;
        double weight;
    };
    // The reduced pixels along one axis that cell k overlaps, with the length of the overlap.
    static std::vector<std::vector<Weight>> Cells(int full, int d, double start, double end, int count);

    Raster& target_;
    std::vector<std::vector<Weight>> columns_;      // per target column: reduced columns
    std::vector<std::vector<Weight>> byRow_;         // per reduced row: target rows and weights
    std::vector<int> lastRow_;                       // per target row: its last reduced row, -1 none
    std::vector<double> columnTotal_, rowTotal_;
    std::vector<double> sums_;                       // per target pixel and channel
};

// The same for a reduced picture held whole, e.g. the area picker's block means.
void AverageReducedPicture(const Raster& reduced, int fullWidth, int fullHeight, int d, double left, double top,
                           double right, double bottom, Raster& target);

}  // namespace pq
