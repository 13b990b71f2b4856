#pragma once
// A JPEG decoder that reads only each block's DC coefficient, for pictures wanted at 1/8 of
// their size: one pixel per 8 x 8 block, the block's mean. The luma's AC coefficients are
// walked over without being computed, which makes it several times faster than a full entropy
// decode.
// It takes baseline files only (sequential Huffman, 8 bits, grey or YCbCr in one interleaved
// scan, chroma sampled 1 x 1 against luma 1 or 2 each way); anything else, and any file whose
// data is not consistent, comes back NotHandled, for the full decoder to read with its own
// checks and messages.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "core/formats/picture_rows.h"

namespace pq {

enum class JpegDcOutcome { Decoded, NotHandled };

// The picture at 1/8 of each side (rounded up, as libjpeg's 1/8 scale) handed to `sink` by
// Start, RowBuffer and RowDone (ScaleDenominator is not asked). The sink is called only once
// the whole entropy-coded data has been read and found consistent, up to the end-of-image
// marker; NotHandled leaves it untouched. Per pixel: DC * q0 / 8 + 128 (libjpeg's 1 x 1
// inverse DCT), chroma repeated over the luma blocks it covers, then libjpeg's fixed-point
// YCbCr to RGB. Chroma at half resolution both ways (4:2:0) is decoded in full instead and
// reduced to 2 x 2 pixels per block by libjpeg's 2 x 2 inverse DCT, as libjpeg's 1/8 scale
// does. The result equals libjpeg's 1/8 on every file the decoder takes.
JpegDcOutcome DecodeJpegDcRows(std::span<const std::uint8_t> file, PictureRowSink& sink);

// Reads n bytes of the file at `offset` into `out` (room for n); false when it cannot.
using JpegDcPieceReader = std::function<bool(std::uint64_t offset, std::size_t n, std::uint8_t* out)>;

// The same from a file of `size` bytes read a piece at a time, so that the whole file is never
// held at once.
JpegDcOutcome DecodeJpegDcRows(std::uint64_t size, const JpegDcPieceReader& read, PictureRowSink& sink);

}  // namespace pq
