#pragma once
// The document model: a stack of same-sized layers (palette index plane + painted mask plane),
// one shared palette of 16 or 256 colours, a rectangular selection whose content floats above
// the current layer, clone-brush state and the undo counters. Plain data; the few functions
// that change the shape of the layer array keep LayerCount and CurrentLayer in step with it.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "core/raster/raster.h"

namespace pq {

// ImageWidth x ImageHeight bytes, row-major from the top-left pixel: (x, y) is at x + y * width.
using Plane = std::vector<uint8_t>;
// The same layout with one straight-alpha RGBA pixel per position (truecolour documents).
using RgbaPlane = std::vector<Rgba8>;

struct Layer {
    uint8_t Visible = 1;   // non-zero: takes part in the composite
    Plane Indices;         // palette index per pixel, meaningful only where Mask is non-zero
    Plane Mask;            // non-zero = painted, 0 = transparent
    std::string Name;      // UTF-8; duplicates allowed
    // Truecolour documents only: the layer's pixels (PixelCount entries); Indices and Mask are
    // then empty. Empty in a 16/256-colour document.
    RgbaPlane Pixels;
    friend bool operator==(const Layer&, const Layer&) = default;
};

// Palette entry in file order: blue, green, red, reserved (always 0).
struct PaletteEntry {
    uint8_t blue = 0, green = 0, red = 0, reserved = 0;
    friend bool operator==(const PaletteEntry&, const PaletteEntry&) = default;
};
using PaletteTable = std::array<PaletteEntry, 256>;

inline Rgb EntryColor(const PaletteEntry& e) { return Rgb{e.red, e.green, e.blue}; }
inline PaletteEntry MakeEntry(Rgb c) { return PaletteEntry{c.b, c.g, c.r, 0}; }

// The zoom factors in the order of the zoom list ("20倍" first, "1倍" last).
inline constexpr std::array<int, 11> kZoomFactors = {20, 18, 16, 14, 12, 10, 8, 6, 4, 2, 1};
// Index of a factor in kZoomFactors, or -1.
int ZoomListIndex(int zoom);

// An image's place in an icon or cursor file: the file as it was opened, the image's number in
// its directory and the file's resource type (1 icon, 2 cursor; 0 when not from such a file).
struct IconOrigin {
    std::string Path;
    int Index = 0;
    int ResourceType = 0;
};

// A step shown on the canvas whose snapshot could not be written yet (the disk was full): its
// name and snapshot bytes, kept until the history can take them.
struct PendingStep {
    std::string Name;
    std::vector<uint8_t> Bytes;
};

// What the undo history on disk has not caught up with yet (core/document/history.h).
struct HistoryJournal {
    std::vector<PendingStep> Pending;   // oldest first; written before any later step
    bool NoteBehind = false;            // the recovery note on disk is older than the counters
    bool SpaceWarned = false;           // this window was told that free space runs low
    int Merged = 0;                     // kept steps merged into later ones to bound memory
};

class Document {
public:
    // ---- layer array: index 0 is the bottom layer --------------------------------------
    int LayerCount() const { return int(layers_.size()); }
    // -1 only while the document is not set up (no layers).
    int CurrentLayer() const { return current_; }
    // Clamped into 0 .. LayerCount-1.
    void SetCurrentLayer(int index);
    const std::vector<Layer>& Layers() const { return layers_; }
    Layer& LayerAt(int i) { return layers_.at(std::size_t(i)); }
    const Layer& LayerAt(int i) const { return layers_.at(std::size_t(i)); }
    Layer& Current() { return LayerAt(current_); }
    const Layer& Current() const { return LayerAt(current_); }

    // The only operations that change the shape of the layer array. None records an undo
    // step or redraws; the caller does both.
    // Adds a blank visible layer named "レイヤ" + new count on top and makes it current: zero
    // planes, or transparent Pixels in a truecolour document.
    void AppendLayer();
    // Removes a layer (nothing when only one is left or index is out of range). The layer
    // that slid into its place, or the new top one, becomes current.
    void RemoveLayer(int index);
    // Swaps the current layer with its neighbour above (down = false) or below; the moved
    // layer stays current. Nothing at the ends or with a single layer.
    void StepLayer(bool down);
    // Moves layer `from` to index `to` by repeated StepLayer; the moved layer ends current.
    void MoveLayer(int from, int to);
    // Replaces the whole array (file readers, undo restore, layer commands that rebuild it).
    // layers must not be empty; current is clamped into range.
    void ReplaceLayers(std::vector<Layer> layers, int current);
    // Inserts a layer at index (0 .. LayerCount) and makes it current. A layer of the other
    // colour mode is refused (nothing changes, false): its planes would be read as empty.
    bool InsertLayer(int index, Layer layer);

    // ---- the rest of the model ----------------------------------------------------------
    int Zoom = 20;
    int ImageWidth = 0, ImageHeight = 0;
    int ColorCount = 16;
    // A truecolour (32-bit) document: every layer holds RGBA Pixels instead of Indices/Mask,
    // the floating selection is FloatPixels, and the tools paint DrawRgba/AuxRgba. ColorCount
    // then stays 256: Palette is a table of swatches kept with the document, not a colour map.
    bool TrueColor = false;
    Rgba8 DrawRgba{0, 0, 0, 255};
    Rgba8 AuxRgba{255, 255, 255, 255};
    int DrawColor = 0;
    int AuxColor = 8;
    int HistoryPosition = 0;
    int RedoCount = 0;
    int SnapshotCount = 0;
    HistoryJournal Journal;
    bool HasSelection = false;
    bool Ready = false;
    bool Modified = false;

    // Scratch stencil of the stroke engines: shapes are drawn in black on white.
    Raster StrokeBitmap;

    PaletteTable Palette{};

    int SelLeft = 0, SelTop = 0, SelRight = 0, SelBottom = 0;
    int FloatDX = 0, FloatDY = 0;
    uint8_t SelectionSpare = 0;
    Plane FloatIndices, FloatMask;
    RgbaPlane FloatPixels;   // truecolour documents: the floating selection's pixels

    int CloneLayer = 0;
    int CloneSourceX = 0, CloneSourceY = 0;
    int CloneAnchorX = 0, CloneAnchorY = 0;
    int CloneState = 0;

    // Where a document opened from an icon or cursor file came from, so that writing it back
    // into that file replaces only its own image (core/formats/icon_container.h).
    IconOrigin Origin;
    // The cursor hotspot in image pixels, written into cursor files. HasHotspot: the document
    // came from a cursor or was given a hotspot, so the canvas marks it. Not part of undo.
    int HotspotX = 0, HotspotY = 0;
    bool HasHotspot = false;

    int PixelCount() const { return ImageWidth * ImageHeight; }
    bool OnCanvas(int x, int y) const { return x >= 0 && y >= 0 && x < ImageWidth && y < ImageHeight; }
    Rgb ColorOf(int index) const { return EntryColor(Palette[std::size_t(index & 0xFF)]); }
    Rect Selection() const { return Rect{SelLeft, SelTop, SelRight, SelBottom}; }

private:
    std::vector<Layer> layers_;
    int current_ = -1;
};

// A layer of the given size: both planes zero, visible, named.
Layer MakeBlankLayer(int width, int height, std::string name);
// A truecolour layer of the given size: every pixel transparent (Rgba8{}), visible, named.
Layer MakeBlankTrueColorLayer(int width, int height, std::string name);
// A blank layer of the document's size and colour mode.
Layer MakeBlankLayerFor(const Document& doc, std::string name);

// Clears all 1024 palette bytes and writes the default 16-colour table into entries 0-15.
void SetDefaultPalette(Document& doc);

// Sets the document up as a blank picture: one layer "レイヤ1", default palette, no selection,
// counters 0, Ready. The zoom rule: `selectedZoom` is the factor chosen in the zoom list; a
// picture wider and taller than 16 pixels never opens above 10x. Returns the zoom chosen (also
// stored in Zoom), which the zoom list should then show.
int InitBlankDocument(Document& doc, int width, int height, int colors, int selectedZoom);

// The same for a truecolour document: one transparent layer "レイヤ1" of RGBA Pixels, an empty
// floating selection of FloatPixels, the default palette as swatches, ColorCount 256, drawing
// colour opaque black and auxiliary colour opaque white.
int InitBlankTrueColorDocument(Document& doc, int width, int height, int selectedZoom);

// True when the layer holds the planes of the document's colour mode at the canvas size:
// Pixels in a truecolour document, Indices and Mask otherwise.
bool LayerFits(const Document& doc, const Layer& layer);
// The same for the floating planes (FloatPixels, or FloatIndices and FloatMask).
bool FloatFits(const Document& doc);

// Where tools write: the floating planes with their offset while a selection exists,
// otherwise the current layer. Canvas pixel (x, y) is plane position (x - dx, y - dy).
// A truecolour document fills Pixels and leaves Indices and Mask null; the others the reverse.
struct EditTarget {
    uint8_t* Indices = nullptr;
    uint8_t* Mask = nullptr;
    Rgba8* Pixels = nullptr;
    int dx = 0, dy = 0;
    int Width = 0, Height = 0;
    // True when canvas pixel (x, y) maps inside the planes.
    bool Covers(int x, int y) const {
        return x - dx >= 0 && y - dy >= 0 && x - dx < Width && y - dy < Height;
    }
    std::size_t Offset(int x, int y) const { return std::size_t(x - dx) + std::size_t(y - dy) * Width; }
};
EditTarget GetEditTarget(Document& doc);

}  // namespace pq
