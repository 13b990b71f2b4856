#pragma once
// How picture decoders hand a picture over without holding it whole: row by row, top to bottom,
// either a whole row at a time into a buffer the sink gives (the JPEG decoder), or as pieces of
// rows the decoder has converted itself (bitmaps and PNG), so that a sink that reads only some
// columns, or cannot hold a whole row of a very wide picture, never sees the rest.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/raster/raster.h"

namespace pq {

// Decoders of bitmaps and PNG pictures keep at most about this many bytes of decoded pixels
// (and of file data) at a time, unless one row of the file's own data is larger.
inline constexpr std::size_t kPictureBandBytes = 4u << 20;

// Receives a decoded picture one row at a time, top to bottom. The rows handed over before a
// failure are of no use: the call that decodes reports the failure.
class PictureRowSink {
public:
    virtual ~PictureRowSink() = default;
    // The picture's size, once, before its first row.
    virtual void Start(int width, int height) = 0;
    // Asked by a decoder that can scale a picture down as it decodes (JPEG), once, with the
    // picture's full size, before Start: 2, 4 or 8 has each side divided by that (rounded up),
    // and Start and the rows then have that size; anything else (the default 1) keeps it whole.
    virtual int ScaleDenominator(int /*width*/, int /*height*/) { return 1; }

    // Whole rows (the JPEG decoder): where row y (width pixels of blue, green and red, 3 * width
    // bytes) is to be written, and when it is complete.
    virtual std::uint8_t* RowBuffer(int y) = 0;
    virtual void RowDone(int y) = 0;

    // Pieces (bitmaps, PNG), for sinks that ask for them. Asked after Start: the columns
    // [First, End) the sink reads of every row (First < End <= width) and the widest piece it
    // takes (0: any). The default, End 0, asks for whole rows through RowBuffer and RowDone.
    struct PieceLayout {
        int First = 0, End = 0;
        int MaxColumns = 0;
    };
    virtual PieceLayout Pieces() const { return {}; }
    // Pixels [x, x + n) of row y: 3 * n bytes of blue, green and red, and, for a picture that
    // can be transparent, n bytes in `clear`, 1 where the pixel is fully transparent (nullptr
    // otherwise). Each row comes as consecutive pieces from First to End, left to right.
    virtual void Piece(int /*y*/, int /*x*/, int /*n*/, const std::uint8_t* /*bgr*/, const std::uint8_t* /*clear*/) {}
};

// What a decoder uses to hand its rows to a sink in the form the sink asks for: a row is
// converted from the decoder's own data a piece at a time (`convert(x, n, bgr, clear)` fills
// pixels [x, x + n), writing `clear` only for a picture that can be transparent, and returns
// false for data that cannot be decoded), never more than `maxColumns` pixels at once.
class RowPieces {
public:
    RowPieces(PictureRowSink& sink, int width, bool transparency, std::size_t maxColumns)
        : sink_(sink), layout_(sink.Pieces()), transparency_(transparency) {
        if (layout_.End <= 0) layout_ = {0, width, 0};   // whole rows
        whole_ = sink.Pieces().End <= 0;
        layout_.First = std::clamp(layout_.First, 0, width);
        layout_.End = std::clamp(layout_.End, layout_.First, width);
        std::size_t most = std::max<std::size_t>(1, maxColumns);
        if (layout_.MaxColumns > 0) most = std::min<std::size_t>(most, std::size_t(layout_.MaxColumns));
        piece_ = int(std::min<std::size_t>(most, std::size_t(std::max(1, layout_.End - layout_.First))));
        if (!whole_) bgr_.resize(3 * std::size_t(piece_));
        clear_.resize(std::size_t(piece_));
    }

    // The columns the sink reads: only those need be decoded.
    int First() const { return layout_.First; }
    int End() const { return layout_.End; }

    template <class Convert>
    bool Row(int y, Convert&& convert) {
        if (whole_) {
            std::uint8_t* row = sink_.RowBuffer(y);
            for (int x = layout_.First; x < layout_.End; x += piece_) {
                const int n = std::min(piece_, layout_.End - x);
                if (!convert(x, n, row + 3 * std::size_t(x), clear_.data())) return false;
            }
            sink_.RowDone(y);
            return true;
        }
        for (int x = layout_.First; x < layout_.End || x == layout_.First; x += piece_) {
            const int n = std::min(piece_, layout_.End - x);
            if (n > 0 && !convert(x, n, bgr_.data(), clear_.data())) return false;
            sink_.Piece(y, x, n, bgr_.data(), transparency_ ? clear_.data() : nullptr);
            if (n <= 0) break;
        }
        return true;
    }

private:
    PictureRowSink& sink_;
    PictureRowSink::PieceLayout layout_;
    bool transparency_, whole_ = false;
    int piece_ = 1;
    std::vector<std::uint8_t> bgr_, clear_;
};

// The whole picture into a raster, each row decoded in place.
class RasterRowSink : public PictureRowSink {
public:
    explicit RasterRowSink(Raster& out) : out_(out) {}
    void Start(int width, int height) override { out_.Resize(width, height); }
    std::uint8_t* RowBuffer(int y) override { return out_.Row(y); }
    void RowDone(int) override {}

private:
    Raster& out_;
};

}  // namespace pq
