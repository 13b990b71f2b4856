#pragma once
// Importing an icon-sized area of a picture (.bmp, .jpg, .jpeg, .png): loading the picture, the
// geometry and preview of the area picker (without any drawing on screen), resampling the
// picked area to the output size, and building the document from the preview.

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <vector>

#include "core/document/document.h"
#include "core/document/quality_reduction.h"
#include "core/formats/jpeg_reader.h"
#include "core/formats/reduced_box.h"
#include "core/io/file_result.h"
#include "core/raster/raster.h"

namespace pq {

enum class PictureKind { None, Bitmap, Jpeg, Png };

// By extension, ignoring case: ".bmp" Bitmap; ".jpg", ".jpeg" Jpeg; ".png" Png; anything else None.
PictureKind PictureKindOf(const std::filesystem::path& path);

// Loads the whole picture at full size with the bitmap reader, the JPEG decoder or the PNG
// reader (colours over white). `transparent`, when given, becomes the picture's fully
// transparent pixels (1 each, PNG only) or empty for pictures without transparency. On failure
// the picture is empty and the message is the reader's.
FileResult LoadPicture(const std::filesystem::path& path, PictureKind kind, Raster& picture,
                       Plane* transparent = nullptr);

// A picture with alpha of its own (straight RGBA, width x height from the top) as the import
// shows it: each colour composed over white, rounded as a PNG picture's are, and `transparent`
// 1 where alpha is 0. Left empty when the pixels do not match the size.
void PictureOverWhite(const std::vector<Rgba8>& pixels, int width, int height, Raster& picture, Plane& transparent);

// Fills `target` (already white, w x h) from the rectangle (left, top, right, bottom) of
// `source`. The rectangle is divided into w x h cells; each target pixel is the integer average
// of bilinear samples taken one source pixel apart from the cell's top-left corner (one sample
// when the cell is smaller than a pixel). Samples whose four neighbours are not all on the
// picture are skipped; a pixel without samples stays white. Nothing changes when left or top
// lies at or beyond the picture's width or height.
void ResampleArea(const Raster& source, int left, int top, int right, int bottom, Raster& target);

// ResampleArea of a picture handed over row by row (whole rows: the JPEG decoder; pieces: the
// bitmap and PNG readers): the same bytes, holding only the band of rows one target row reads
// (about the frame's height over the target's, plus one), and of each row only the columns the
// frame's samples read, each target row made as soon as its last row is in. With `unpainted`
// (w x h bytes, set to 0 at first) it also makes what the area picker's PreviewUnpainted makes
// for the same frame from the pieces' transparency.
//
// `reduced` (the fast import) lets a JPEG decoder scale the picture down by ReducedScale of the
// frame and the target, and averages the frame over that smaller picture by area instead
// (ReducedBoxAverager): close to the exact result, not the same bytes.
class AreaResampler : public PictureRowSink {
public:
    // `target` (already white, w x h) and `unpainted` must outlive the resampler.
    AreaResampler(int left, int top, int right, int bottom, Raster& target, Plane* unpainted = nullptr,
                  bool reduced = false);
    ~AreaResampler() override;
    int ScaleDenominator(int width, int height) override;
    void Start(int width, int height) override;
    std::uint8_t* RowBuffer(int y) override;
    void RowDone(int y) override;
    PieceLayout Pieces() const override;
    void Piece(int y, int x, int n, const std::uint8_t* bgr, const std::uint8_t* clear) override;

    class Sampler;

private:
    void Finish(int y);

    int left_, top_, right_, bottom_;
    Raster& target_;
    Plane* unpainted_;
    bool reduced_;
    int scale_ = 1;
    int width_ = 0;
    std::unique_ptr<Sampler> sampler_;
    // A picture the decoder scaled down is averaged by area instead (see ReducedBoxAverager).
    int fullWidth_ = 0, fullHeight_ = 0;
    std::unique_ptr<ReducedBoxAverager> box_;
    std::vector<std::uint8_t> idle_;   // whole rows as the JPEG decoder writes them
    std::uint8_t* pieceRow_ = nullptr;
};

// The fast import's scale: the largest of 8, 4 and 2 by which a frame of frameWidth x frameHeight
// picture pixels can be divided and still be at least twice the target's width x height on each
// side, else 1 (the picture decoded whole).
int ReducedScale(int frameWidth, int frameHeight, int width, int height);

// LoadPicture of a JPEG followed by ResampleArea, without the picture ever held whole; with
// `reduced`, the fast import (see AreaResampler).
FileResult ResampleJpegFileArea(const std::filesystem::path& path, int left, int top, int right, int bottom,
                                Raster& target, bool reduced = false);

// The picture file of any kind handed row by row to `sink` by its reader (LoadBitmapFileRows,
// LoadJpegFileRows, LoadPngFileRows), with that reader's checks and messages.
FileResult ReadPictureFileRows(const std::filesystem::path& path, PictureKind kind, PictureRowSink& sink);

// LoadPicture followed by the area picker's frame (left, top, right, bottom) resampled into
// `target` (already white) and, with `unpainted`, its PreviewUnpainted, without the picture
// ever held whole.
FileResult ResamplePictureFileArea(const std::filesystem::path& path, PictureKind kind, int left, int top, int right,
                                   int bottom, Raster& target, Plane* unpainted = nullptr, bool reduced = false);

// The area picker of the import (and of paste): a frame over the picture, drawn by clicking
// (a frame of exactly the output size at 1:1) or dragging (any size, kept square while Square
// is set), moved by dragging from inside it, or set to the whole picture. The preview is the
// picture the import takes on OK. Coordinates are picture pixels and may lie off the picture.
class AreaPicker {
public:
    // `picture` (and `transparent`, when given: 1 for each fully transparent picture pixel) must
    // outlive the picker. The preview starts at previewWidth x previewHeight, white, with the
    // picture's top-left corner copied in at 1:1.
    explicit AreaPicker(const Raster& picture, int previewWidth = 16, int previewHeight = 16,
                        const Plane* transparent = nullptr);

    // The output size changed (16, 32 or 48): the preview takes the new size, keeping its old
    // content in the top-left corner (new room white), and is not redrawn.
    void SetOutputSize(int width, int height);

    // Mouse press, move (only acts while dragging) and release on the picture.
    void Press(int x, int y);
    void Move(int x, int y);
    void Release();
    // "全体を使う": clears Square and makes the frame the whole picture (scaled to the output
    // size without keeping its proportions).
    void UseWholePicture();

    bool Square = true;   // "正方形"
    // "高速": "全体を使う" makes its preview from the picture averaged down by ReducedScale first
    // (blocks of that many pixels a side), close to the exact preview at a fraction of the cost.
    // Off at first; frames drawn by hand are always exact.
    bool Fast = false;

    const Rect& FrameRect() const { return frame_; }
    bool Dragging() const { return dragging_; }
    bool MovingFrame() const { return moving_; }
    // The rubber band while dragging, corners ordered.
    Rect Band() const;
    // What the size labels show while dragging: "幅：" / "高さ：" and these numbers.
    int BandWidth() const { return std::abs(cornerX_ - anchorX_); }
    int BandHeight() const { return std::abs(cornerY_ - anchorY_); }
    // True when (x, y) lies inside the committed frame (where the move cursor shows).
    bool InsideFrame(int x, int y) const;

    const Raster& Preview() const { return preview_; }
    // For a picture with transparency: 1 for each preview pixel that stays unpainted, made
    // alongside the preview. At 1:1 a pixel is unpainted where the picture is transparent;
    // resampled, where more than half of the samples that make it are (a sample counts as the
    // picture pixel it lies nearest to, the first of two at equal distance). All 0 otherwise.
    const Plane& PreviewUnpainted() const { return previewClear_; }

private:
    void UpdatePreview();
    void LivePreview();

    const Raster& picture_;
    const Plane* transparent_;
    Raster preview_;
    Plane previewClear_;
    Rect frame_;
    bool dragging_ = false, moving_ = false;
    int anchorX_ = 0, anchorY_ = 0, cornerX_ = 0, cornerY_ = 0, lastX_ = 0, lastY_ = 0;
};

// The import's steps after OK: a blank document of the preview's size and `colorCount` (16 or
// 256) colours at the selected zoom, the preview reduced to that many colours into its one
// layer (every pixel painted), DrawColor 0 and AuxColor 8. With `unpainted` (the picker's
// PreviewUnpainted) holding any 1, those pixels stay unpainted and only the colours of the
// others are reduced (ReducePaintedPicture). `options` chooses the palette builder and the dither
// (quality_reduction.h); the defaults give the plain median cut.
void ImportPictureDocument(Document& doc, const Raster& preview, int colorCount, int selectedZoom,
                           const Plane* unpainted = nullptr, const ReductionOptions& options = ReductionOptions{});

}  // namespace pq
