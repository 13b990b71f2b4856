#include "core/document/document.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

namespace pq {

int ZoomListIndex(int zoom) {
    for (std::size_t i = 0; i < kZoomFactors.size(); ++i)
        if (kZoomFactors[i] == zoom) return int(i);
    return -1;
}

void Document::SetCurrentLayer(int index) {
    if (layers_.empty()) {
        current_ = -1;
        return;
    }
    current_ = std::clamp(index, 0, LayerCount() - 1);
}

void Document::AppendLayer() {
    layers_.push_back(MakeBlankLayerFor(*this, "レイヤ" + std::to_string(layers_.size() + 1)));
    current_ = LayerCount() - 1;
}

void Document::RemoveLayer(int index) {
    if (LayerCount() <= 1 || index < 0 || index >= LayerCount()) return;
    layers_.erase(layers_.begin() + index);
    current_ = index < LayerCount() ? index : index - 1;
}

void Document::StepLayer(bool down) {
    if (LayerCount() <= 1 || current_ < 0) return;
    if (!down) {
        if (current_ >= LayerCount() - 1) return;
        std::swap(layers_[current_], layers_[current_ + 1]);
        ++current_;
    } else {
        if (current_ <= 0) return;
        std::swap(layers_[current_], layers_[current_ - 1]);
        --current_;
    }
}

void Document::MoveLayer(int from, int to) {
    if (LayerCount() <= 1 || from == to) return;
    if (from < 0 || from >= LayerCount() || to < 0 || to >= LayerCount()) return;
    current_ = from;
    if (to < from)
        for (int i = 0; i < from - to; ++i) StepLayer(true);
    else
        for (int i = 0; i < to - from; ++i) StepLayer(false);
}

void Document::ReplaceLayers(std::vector<Layer> layers, int current) {
    if (layers.empty()) throw std::invalid_argument("a document needs at least one layer");
    layers_ = std::move(layers);
    SetCurrentLayer(current);
}

bool Document::InsertLayer(int index, Layer layer) {
    if (TrueColor != !layer.Pixels.empty()) return false;
    index = std::clamp(index, 0, LayerCount());
    layers_.insert(layers_.begin() + index, std::move(layer));
    current_ = index;
    return true;
}

Layer MakeBlankLayer(int width, int height, std::string name) {
    Layer l;
    l.Visible = 1;
    l.Indices.assign(std::size_t(width) * std::size_t(height), 0);
    l.Mask.assign(std::size_t(width) * std::size_t(height), 0);
    l.Name = std::move(name);
    return l;
}

Layer MakeBlankTrueColorLayer(int width, int height, std::string name) {
    Layer l;
    l.Visible = 1;
    l.Pixels.assign(std::size_t(width) * std::size_t(height), Rgba8{});
    l.Name = std::move(name);
    return l;
}

Layer MakeBlankLayerFor(const Document& doc, std::string name) {
    const int w = std::max(doc.ImageWidth, 0), h = std::max(doc.ImageHeight, 0);
    return doc.TrueColor ? MakeBlankTrueColorLayer(w, h, std::move(name)) : MakeBlankLayer(w, h, std::move(name));
}

bool LayerFits(const Document& doc, const Layer& layer) {
    const std::size_t n = std::size_t(std::max(doc.PixelCount(), 0));
    if (doc.TrueColor) return layer.Pixels.size() == n;
    return layer.Indices.size() == n && layer.Mask.size() == n;
}

bool FloatFits(const Document& doc) {
    const std::size_t n = std::size_t(std::max(doc.PixelCount(), 0));
    if (doc.TrueColor) return doc.FloatPixels.size() == n;
    return doc.FloatIndices.size() == n && doc.FloatMask.size() == n;
}

void SetDefaultPalette(Document& doc) {
    static constexpr uint8_t kTable[16][3] = {
        {0, 0, 0},     {128, 128, 128}, {128, 0, 0}, {128, 128, 0}, {0, 128, 0},   {0, 128, 128},
        {0, 0, 128},   {128, 0, 128},   {255, 255, 255}, {192, 192, 192}, {255, 0, 0}, {255, 255, 0},
        {0, 255, 0},   {0, 255, 255},   {0, 0, 255}, {255, 0, 255},
    };
    doc.Palette.fill(PaletteEntry{});
    for (int i = 0; i < 16; ++i) doc.Palette[i] = MakeEntry(Rgb{kTable[i][0], kTable[i][1], kTable[i][2]});
}

int InitBlankDocument(Document& doc, int width, int height, int colors, int selectedZoom) {
    int zoom = ZoomListIndex(selectedZoom) >= 0 ? selectedZoom : 20;
    if (width > 16 && height > 16 && zoom > 10) zoom = 10;
    doc.Zoom = zoom;
    doc.ColorCount = colors;
    doc.TrueColor = false;
    doc.FloatPixels.clear();
    doc.DrawColor = 0;
    doc.AuxColor = 8;
    doc.ImageWidth = width;
    doc.ImageHeight = height;
    std::vector<Layer> layers;
    layers.push_back(MakeBlankLayer(width, height, "レイヤ1"));
    doc.ReplaceLayers(std::move(layers), 0);
    doc.StrokeBitmap.Resize(width, height);
    doc.StrokeBitmap.Fill(kWhite);
    SetDefaultPalette(doc);
    doc.HasSelection = false;
    doc.SelLeft = doc.SelTop = doc.SelRight = doc.SelBottom = 0;
    doc.FloatDX = doc.FloatDY = 0;
    doc.SelectionSpare = 0;
    doc.FloatIndices.assign(std::size_t(width) * std::size_t(height), 0);
    doc.FloatMask.assign(std::size_t(width) * std::size_t(height), 0);
    doc.CloneLayer = doc.CloneSourceX = doc.CloneSourceY = doc.CloneAnchorX = doc.CloneAnchorY = 0;
    doc.CloneState = 0;
    doc.HistoryPosition = doc.RedoCount = doc.SnapshotCount = 0;
    doc.Ready = true;
    return zoom;
}

int InitBlankTrueColorDocument(Document& doc, int width, int height, int selectedZoom) {
    const int zoom = InitBlankDocument(doc, width, height, 256, selectedZoom);
    doc.TrueColor = true;
    const std::size_t count = std::size_t(width) * std::size_t(height);
    std::vector<Layer> layers;
    layers.push_back(MakeBlankTrueColorLayer(width, height, "レイヤ1"));
    doc.ReplaceLayers(std::move(layers), 0);
    doc.FloatIndices.clear();
    doc.FloatMask.clear();
    doc.FloatPixels.assign(count, Rgba8{});
    doc.DrawRgba = Rgba8{0, 0, 0, 255};
    doc.AuxRgba = Rgba8{255, 255, 255, 255};
    return zoom;
}

EditTarget GetEditTarget(Document& doc) {
    EditTarget t;
    t.Width = doc.ImageWidth;
    t.Height = doc.ImageHeight;
    if (doc.HasSelection) {
        if (doc.TrueColor) {
            t.Pixels = doc.FloatPixels.data();
        } else {
            t.Indices = doc.FloatIndices.data();
            t.Mask = doc.FloatMask.data();
        }
        t.dx = doc.FloatDX;
        t.dy = doc.FloatDY;
    } else {
        Layer& l = doc.Current();
        if (doc.TrueColor) {
            t.Pixels = l.Pixels.data();
        } else {
            t.Indices = l.Indices.data();
            t.Mask = l.Mask.data();
        }
    }
    return t;
}

}  // namespace pq
