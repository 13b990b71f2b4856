// The canvas under the mouse: press, move and release for each of the fifteen tools, and the
// screen overlays (rubber bands, brush outline, selection outline).
#include <QPainter>
#include <algorithm>
#include <optional>

#include "core/document/random.h"
#include "core/document/selection.h"
#include "core/document/render.h"
#include "core/document/strokes.h"
#include "gui/kit/frame_services.h"
#include "gui/kit/prompt.h"
#include "gui/document/canvas.h"
#include "gui/document/image_form.h"
#include "gui/document/text_dialog.h"
#include "gui/document/hotspot_mark.h"

namespace pq::gui {

namespace {
bool IsBandTool(int tool) { return tool >= kToolLine && tool <= kToolFillEllipse; }
}  // namespace

void TImageForm::SetStrokeColorByButton(Qt::MouseButton button) {
    StrokeState& st = frame_->Stroke();
    if (button == Qt::LeftButton) {
        st.StrokeColor = uint8_t(doc_.DrawColor);
        st.StrokeRgba = doc_.DrawRgba;
    } else if (button == Qt::RightButton) {
        st.StrokeColor = uint8_t(doc_.AuxColor);
        st.StrokeRgba = doc_.AuxRgba;
    }
    // Any other button keeps the colour of the previous stroke.
}

pq::StrokeContext TImageForm::StrokeCtx(int brushSize) const {
    const StrokeState& st = frame_->Stroke();
    return pq::StrokeContext{brushSize, st.StrokeColor, st.StrokeRgba};
}

void TImageForm::pbIconImageMouseDown(Qt::MouseButton button, Qt::KeyboardModifiers mods, QPoint pos) {
    if (!doc_.Ready) return;
    StrokeState& st = frame_->Stroke();
    const int z = doc_.Zoom;
    const int x = pos.x() / z, y = pos.y() / z;
    const int size = frame_->BrushSize();
    brushOutline_.reset();
    Present();
    const int tool = frame_->CurrentTool();
    switch (tool) {
    case kToolZoom:
        if (button == Qt::LeftButton) frame_->ZoomIn();
        else if (button == Qt::RightButton) frame_->ZoomOut();
        return;
    case kToolSelect: SelectToolPress(button, pos); return;
    case kToolMove: MoveToolPress(button, x, y); return;
    case kToolSpoit:
        st.Stroking = true;
        st.PickButton = button;
        PickColor(button, x, y);
        return;
    case kToolBrush:
    case kToolEraser:
    case kToolAir: {
        st.Stroking = true;
        st.LastX = x;
        st.LastY = y;
        SetStrokeColorByButton(button);
        StopOutlineTimer();
        const pq::StrokeContext ctx = StrokeCtx(size);
        pq::Rect touched;
        if (tool == kToolBrush) {
            touched = pq::StampLine(doc_, ctx, x, y, x, y, false);
        } else if (tool == kToolAir) {
            touched = pq::Spray(doc_, ctx, x, y, size, 1, pq::SharedRandom());
        } else {
            st.Eraser = (mods & Qt::ControlModifier) ? EraserMode::Spray
                        : (mods & Qt::ShiftModifier) ? EraserMode::Fill
                                                     : EraserMode::Rub;
            if (st.Eraser == EraserMode::Rub) touched = pq::StampLine(doc_, ctx, x, y, x, y, true);
            else if (st.Eraser == EraserMode::Spray) touched = pq::Spray(doc_, ctx, x, y, size, 0, pq::SharedRandom());
            else touched = pq::FloodFillAt(doc_, ctx, x, y, 0);
        }
        // The canvas was repainted whole just above.
        Recompose(touched);
        return;
    }
    case kToolCloneBrush: ClonePress(button, x, y); return;
    case kToolText: TextToolPress(button, x, y); return;
    case kToolFill: {
        SetStrokeColorByButton(button);
        pq::FloodFillAt(doc_, StrokeCtx(size), x, y, 1);
        CommitEdit("塗りつぶしツール");
        return;
    }
    default:
        if (IsBandTool(tool)) {
            SetStrokeColorByButton(button);
            StopOutlineTimer();
            st.Stroking = true;
            auto snap = [z](int v) { return z * (v / z) + (z - 1) / 2; };
            st.LastX = st.BandEndX = snap(pos.x());
            st.LastY = st.BandEndY = snap(pos.y());
            band_ = tool == kToolLine ? BandKind::Line
                    : (tool == kToolRect || tool == kToolFillRect) ? BandKind::Rect
                                                                   : BandKind::Ellipse;
            bandStart_ = QPoint(st.LastX, st.LastY);
            bandEnd_ = bandStart_;
            canvas_->update();
        }
        return;
    }
}

void TImageForm::pbIconImageMouseMove(Qt::KeyboardModifiers mods, QPoint pos) {
    if (!doc_.Ready) return;
    StrokeState& st = frame_->Stroke();
    const int z = doc_.Zoom;
    const int x = pos.x() / z, y = pos.y() / z;
    frame_->SetStatusText(QString("（%1,%2）").arg(x).arg(y));
    const int tool = frame_->CurrentTool();
    UpdateBrushOutline(pos, mods);
    if (!st.Stroking) return;
    const int size = frame_->BrushSize();
    const pq::StrokeContext ctx = StrokeCtx(size);
    pq::Rect touched;
    switch (tool) {
    case kToolSelect: SelectToolMove(pos); return;
    case kToolMove: MoveToolMove(x, y); return;
    case kToolSpoit: PickColor(st.PickButton, x, y); return;
    case kToolBrush: touched = pq::StampLine(doc_, ctx, st.LastX, st.LastY, x, y, false); break;
    case kToolEraser:
        if (st.Eraser == EraserMode::Rub) touched = pq::StampLine(doc_, ctx, st.LastX, st.LastY, x, y, true);
        else if (st.Eraser == EraserMode::Spray) touched = pq::Spray(doc_, ctx, st.LastX, st.LastY, size, 0, pq::SharedRandom());
        else return;  // a fill-out stroke does nothing more while dragging
        break;
    case kToolAir: touched = pq::Spray(doc_, ctx, st.LastX, st.LastY, size, 1, pq::SharedRandom()); break;
    case kToolCloneBrush:
        if (doc_.CloneState != 2) return;
        touched = pq::CloneStroke(doc_, ctx, st.LastX, st.LastY, x, y);
        break;
    default:
        if (IsBandTool(tool)) {
            st.BandEndX = z * (pos.x() / z) + (z - 1) / 2;
            st.BandEndY = z * (pos.y() / z) + (z - 1) / 2;
            bandEnd_ = QPoint(st.BandEndX, st.BandEndY);
            canvas_->update();
        }
        return;
    }
    Redraw(touched);
    // The repaint took the brush outline away: it follows the stroke.
    UpdateBrushOutline(pos, mods);
    st.LastX = x;
    st.LastY = y;
}

void TImageForm::pbIconImageMouseUp(Qt::MouseButton button) {
    StrokeState& st = frame_->Stroke();
    if (!st.Stroking || !doc_.Ready) return;
    const int tool = frame_->CurrentTool();
    const int z = doc_.Zoom;
    const pq::StrokeContext ctx = StrokeCtx(frame_->BrushSize());
    switch (tool) {
    case kToolSelect: SelectToolRelease(button); return;
    case kToolMove: MoveToolRelease(); return;
    case kToolSpoit:
        st.Stroking = false;
        return;
    case kToolBrush:
    case kToolEraser:
    case kToolAir:
    case kToolCloneBrush:
        st.Stroking = false;
        CommitEdit(ToolInfoOf(tool).StepName);
        return;
    case kToolLine:
        st.Stroking = false;
        band_ = BandKind::None;
        pq::StampLine(doc_, ctx, st.LastX / z, st.LastY / z, st.BandEndX / z, st.BandEndY / z, false);
        CommitEdit("直線ツール");
        return;
    default:
        if (IsBandTool(tool)) FinishBand();
        return;
    }
}

void TImageForm::FinishBand() {
    StrokeState& st = frame_->Stroke();
    const int tool = frame_->CurrentTool();
    const int z = doc_.Zoom;
    st.Stroking = false;
    band_ = BandKind::None;
    // Dragged right or down, the end cell belongs to the shape from zoom 4 up; at zoom 2 and 1
    // the added zoom - 1 does not reach the next cell.
    if (st.LastX < st.BandEndX) st.BandEndX += z - 1;
    if (st.LastY < st.BandEndY) st.BandEndY += z - 1;
    st.LastX /= z;
    st.LastY /= z;
    st.BandEndX /= z;
    st.BandEndY /= z;
    const pq::StrokeContext ctx = StrokeCtx(frame_->BrushSize());
    const bool filled = tool == kToolFillRect || tool == kToolFillEllipse;
    if (tool == kToolRect || tool == kToolFillRect)
        pq::DrawRectShape(doc_, ctx, st.LastX, st.LastY, st.BandEndX, st.BandEndY, filled);
    else
        pq::DrawEllipseShape(doc_, ctx, st.LastX, st.LastY, st.BandEndX, st.BandEndY, filled);
    CommitEdit(ToolInfoOf(tool).StepName);
}

void TImageForm::PickColor(Qt::MouseButton button, int x, int y) {
    if (doc_.TrueColor) {
        // The pixel's RGBA, alpha included; a transparent pixel picks nothing.
        if (const std::optional<pq::Rgba8> picked = pq::PickTargetRgba(doc_, x, y)) {
            if (button == Qt::LeftButton) doc_.DrawRgba = *picked;
            else if (button == Qt::RightButton) doc_.AuxRgba = *picked;
        }
        frame_->RefreshColorPalette();
        return;
    }
    const uint8_t* indices = nullptr;
    const uint8_t* mask = nullptr;
    std::size_t offset = 0;
    if (doc_.HasSelection) {
        const int sx = x - doc_.FloatDX, sy = y - doc_.FloatDY;
        if (!doc_.OnCanvas(sx, sy)) return;
        indices = doc_.FloatIndices.data();
        mask = doc_.FloatMask.data();
        offset = std::size_t(sx) + std::size_t(sy) * std::size_t(doc_.ImageWidth);
    } else {
        if (!doc_.OnCanvas(x, y)) return;
        indices = doc_.Current().Indices.data();
        mask = doc_.Current().Mask.data();
        offset = std::size_t(x) + std::size_t(y) * std::size_t(doc_.ImageWidth);
    }
    if (mask[offset] != 0) {
        if (button == Qt::LeftButton) doc_.DrawColor = indices[offset];
        else if (button == Qt::RightButton) doc_.AuxColor = indices[offset];
    }
    frame_->RefreshColorPalette();
}

void TImageForm::ClonePress(Qt::MouseButton button, int x, int y) {
    StrokeState& st = frame_->Stroke();
    if (button == Qt::RightButton) {
        doc_.CloneSourceX = x;
        doc_.CloneSourceY = y;
        doc_.CloneLayer = doc_.CurrentLayer();
        doc_.CloneState = 1;
        return;
    }
    if (button != Qt::LeftButton) return;
    if (doc_.CloneState == 0) {
        frame_->GetPrompt().Message(this, "クローンブラシツール", "クローンブラシを使う前に右クリックで始点を決めてください。",
                                    PromptIcon::Warning, PromptButtons::Ok);
        return;
    }
    if (doc_.CloneState == 1) {
        doc_.CloneAnchorX = x;
        doc_.CloneAnchorY = y;
        doc_.CloneState = 2;
    }
    st.Stroking = true;
    st.LastX = x;
    st.LastY = y;
    StopOutlineTimer();
    Redraw(pq::CloneStroke(doc_, StrokeCtx(frame_->BrushSize()), x, y, x, y));
}

void TImageForm::TextToolPress(Qt::MouseButton button, int x, int y) {
    TfrmText* dialog = frame_->TextDialog();
    if (!dialog || !frame_->GetPrompt().RunDialog(*dialog)) return;
    SetStrokeColorByButton(button);
    const pq::StrokeContext ctx = StrokeCtx(frame_->BrushSize());
    pq::DrawTextAt(doc_, ctx, x, y, dialog->Text().toStdString(), dialog->Font(), frame_->TextDrawer());
    // Recorded also for an empty text, which draws nothing.
    CommitEdit("テキストツール");
}

QRect TImageForm::BrushOutlineBox(QPoint pos, int size) const {
    const int z = doc_.Zoom;
    const int s = z * size;
    const int vx = z * (pos.x() / z), vy = z * (pos.y() / z);
    const int h = s / 2;
    // The box's right and bottom ends are exclusive: it covers exactly the cells of the footprint.
    const int lead = size % 2 == 0 ? 0 : z - z / 2;
    const int trail = size % 2 == 0 ? 0 : z / 2;
    const QPoint from(vx - h + lead, vy - h + lead);
    const QPoint to(vx - h + s + trail, vy - h + s + trail);
    return QRect(from, QSize(to.x() - from.x(), to.y() - from.y()));
}

void TImageForm::UpdateBrushOutline(QPoint pos, Qt::KeyboardModifiers mods) {
    const int tool = frame_->CurrentTool();
    const int size = frame_->BrushSize();
    const bool brushLike = tool == kToolBrush || tool == kToolAir || tool == kToolCloneBrush ||
                           (tool == kToolEraser && !(mods & Qt::ShiftModifier));
    const std::optional<QRect> before = brushOutline_;
    if (brushLike && size > 1) brushOutline_ = BrushOutlineBox(pos, size);
    else brushOutline_.reset();
    if (before != brushOutline_) {
        if (before) canvas_->update(before->adjusted(-2, -2, 2, 2));
        if (brushOutline_) canvas_->update(brushOutline_->adjusted(-2, -2, 2, 2));
    }
}

void TImageForm::PointerLeftCanvas() {
    frame_->SetStatusText(QString());
    if (brushOutline_) {
        canvas_->update(brushOutline_->adjusted(-2, -2, 2, 2));
        brushOutline_.reset();
    }
}

void TImageForm::DrawOverlays(QPainter& painter) {
    // Bands and the brush outline use an inverting pen, so they stay visible on any colour.
    painter.save();
    painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    painter.setPen(QPen(Qt::white, 1));
    painter.setBrush(Qt::NoBrush);
    // Shape bands span the pixels from the smaller band point up to, not including, the larger
    // one; a one-pixel pen around QRect(x, y, w, h) touches x .. x + w.
    const int bl = std::min(bandStart_.x(), bandEnd_.x()), br = std::max(bandStart_.x(), bandEnd_.x());
    const int bt = std::min(bandStart_.y(), bandEnd_.y()), bb = std::max(bandStart_.y(), bandEnd_.y());
    const QRect band(bl, bt, br - bl - 1, bb - bt - 1);
    const bool bandShown = br > bl && bb > bt;
    switch (band_) {
    case BandKind::None: break;
    case BandKind::Line: painter.drawLine(bandStart_, bandEnd_); break;
    case BandKind::Rect:
        if (bandShown) painter.drawRect(band);
        break;
    case BandKind::Ellipse:
        if (bandShown) painter.drawEllipse(band);
        break;
    case BandKind::Polyline: {
        const QPoint pts[5] = {bandStart_, QPoint(bandStart_.x(), bandEnd_.y()), bandEnd_,
                               QPoint(bandEnd_.x(), bandStart_.y()), bandStart_};
        painter.drawPolyline(pts, 5);
        break;
    }
    }
    // A one-pixel pen around QRect(x, y, w, h) touches x .. x + w, so the box is narrowed by one.
    if (brushOutline_ && brushOutline_->width() > 1) painter.drawEllipse(brushOutline_->adjusted(0, 0, -1, -1));
    painter.restore();
    DrawHotspotMark(painter, doc_);

    if (outlineShown_ && doc_.HasSelection && frame_->SelectionOutlineVisible()) {
        const pq::Pattern8 pattern = pq::OutlinePattern(outlineFrame_);
        QImage tile(8, 8, QImage::Format_RGB32);
        for (int py = 0; py < 8; ++py)
            for (int px = 0; px < 8; ++px) tile.setPixel(px, py, pattern[py][px] ? 0xFF000000u : 0xFFFFFFFFu);
        const QBrush brush(tile);
        painter.setBrushOrigin(0, 0);
        const int z = doc_.Zoom;
        const int l = doc_.SelLeft * z, t = doc_.SelTop * z, r = doc_.SelRight * z, b = doc_.SelBottom * z;
        if (r > l && b > t) {
            painter.fillRect(l, t, r - l, 1, brush);
            painter.fillRect(l, b - 1, r - l, 1, brush);
            painter.fillRect(l, t, 1, b - t, brush);
            painter.fillRect(r - 1, t, 1, b - t, brush);
        }
    }
}

// ---- select and move tools -------------------------------------------------------------------------

void TImageForm::SelectToolPress(Qt::MouseButton button, QPoint pos) {
    if (button == Qt::RightButton) return;
    // The band's corners snap to the top-left corner of the cell under the pointer.
    const int z = doc_.Zoom;
    pq::BeginSelectDrag(doc_);
    frame_->Stroke().Stroking = true;
    bandStart_ = bandEnd_ = QPoint(z * (pos.x() / z), z * (pos.y() / z));
    band_ = BandKind::Polyline;
    Redraw();
}

void TImageForm::SelectToolMove(QPoint pos) {
    const int z = doc_.Zoom;
    bandEnd_ = QPoint(z * (pos.x() / z), z * (pos.y() / z));
    canvas_->update();
}

void TImageForm::SelectToolRelease(Qt::MouseButton button) {
    if (button == Qt::RightButton) return;
    const int z = doc_.Zoom;
    frame_->Stroke().Stroking = false;
    band_ = BandKind::None;
    const pq::EditResult result =
        pq::EndSelectDrag(doc_, bandStart_.x() / z, bandStart_.y() / z, bandEnd_.x() / z, bandEnd_.y() / z);
    bandStart_ = bandEnd_ = QPoint();
    ApplyEdit(result);
}

void TImageForm::MoveToolPress(Qt::MouseButton button, int x, int y) {
    if (button == Qt::RightButton) return;
    StrokeState& st = frame_->Stroke();
    st.Stroking = true;
    // Lifting the whole picture changes what the layer and the floating planes hold.
    if (!doc_.HasSelection) wholePending_ = true;
    pq::BeginMoveDrag(doc_);
    st.LastX = x;
    st.LastY = y;
    StopOutlineTimer();
}

void TImageForm::MoveToolMove(int x, int y) {
    StrokeState& st = frame_->Stroke();
    // The floating content shows only inside the selection rectangle: what changes lies in the
    // rectangle before and after the move.
    const pq::Rect before = doc_.Selection();
    const bool moved = pq::MoveFloating(doc_, x - st.LastX, y - st.LastY);
    st.LastX = x;
    st.LastY = y;
    if (moved) Redraw(pq::UnionRect(before, doc_.Selection()));
}

void TImageForm::MoveToolRelease() {
    ApplyEdit(pq::EndMoveDrag(doc_));
    frame_->Stroke().Stroking = false;
}

}  // namespace pq::gui
