#pragma once
// The rectangular selection and its floating content. Making a selection lifts the pixels under
// it out of the current layer into the floating planes (a whole copy of the layer, addressed in
// lifted-from coordinates); tools then work on the floating copy, the move tool offsets it, and
// dropping writes its painted pixels back into the current layer at the rectangle's present
// position. Only floating pixels inside the rectangle count.
//
// Invariant kept by every function here: while HasSelection is set, the rectangle is not empty
// and the floating planes were lifted from the current layer.

#include "core/document/document.h"
#include "core/document/edit_result.h"

namespace pq {

// ---- engines: change the selection state only, record nothing -------------------------------

// Sets the rectangle from two corners in either order, then ClipSelection.
void SetSelection(Document& doc, int x1, int y1, int x2, int y2);
// Raises SelLeft/SelTop to 0 and lowers SelRight/SelBottom to the canvas size.
void ClipSelection(Document& doc);
// Only while HasSelection: copies the current layer into fresh floating planes with offset 0,
// then makes the layer transparent inside the rectangle (the hole the content was taken from).
void LiftSelection(Document& doc);
// Only while HasSelection: clips the rectangle, then writes every painted floating pixel shown
// inside it into the current layer. Transparent floating pixels leave the layer unchanged; in a
// truecolour document each floating pixel is blended over the layer pixel (BlendOver).
// HasSelection is not changed; callers clear it or lift again.
void DropSelection(Document& doc);
// The document as the canvas shows it, for everything that writes it out (files, exports): a
// copy with the floating pixels inside the rectangle put down over the current layer and no
// selection. Without a selection the copy equals the document.
Document DocumentAsShown(const Document& doc);

// ---- select tool -----------------------------------------------------------------------------

// Press (any button but the right one): the floating content is committed, no selection.
void BeginSelectDrag(Document& doc);
// Release: the band from cell (x1, y1) to cell (x2, y2) (image pixels, the far column and row
// excluded) becomes the selection and is lifted. A band of zero width or height, or one lying
// wholly off the canvas, leaves no selection. Records "選択ツール" in every case.
EditResult EndSelectDrag(Document& doc, int x1, int y1, int x2, int y2);

// ---- move tool -------------------------------------------------------------------------------

// Press: without a selection the whole canvas is selected and the whole current layer lifted.
void BeginMoveDrag(Document& doc);
// Drag: offsets the floating content and the rectangle together, without clipping (the
// rectangle may leave the canvas). Returns whether anything moved (redraw then).
bool MoveFloating(Document& doc, int ddx, int ddy);
// Release: records "移動ツール". The content keeps floating.
EditResult EndMoveDrag(Document& doc);

// ---- Select menu, Edit > Clear ---------------------------------------------------------------

// "すべて選択": commits any floating content, selects the whole canvas and lifts it.
EditResult SelectAll(Document& doc);
// "選択範囲クリア": commits the floating content and ends the selection. Records also when
// there was no selection.
EditResult Deselect(Document& doc);
// "選択範囲拡大": commits, then selects one pixel more on every side (not past the border) and
// lifts again with offset 0. Nothing without a selection.
EditResult GrowSelection(Document& doc);
// "選択範囲縮小": commits (the one-pixel ring stays in the layer), selects one pixel less on
// every side and lifts again. Nothing without a selection or when the on-canvas part of the
// rectangle is 2 pixels or less wide or high.
EditResult ShrinkSelection(Document& doc);
// What Edit > Clear and Cut remove: with a selection the floating content is discarded and the
// selection ends; without one every pixel of the current layer becomes transparent.
void ClearTarget(Document& doc);
// Edit > Clear ("クリア"): with a selection the floating content is discarded (the lifted area
// stays transparent) and the selection ends; without one the current layer becomes transparent.
EditResult ClearContent(Document& doc);
// "選択範囲からレイヤを作成": a new top layer "選択範囲からのレイヤ" receives the floating
// pixels shown on the canvas; the selection ends without dropping, so the source layer keeps
// its hole. Nothing without a selection.
EditResult LayerFromSelection(Document& doc);

// The name the layer made from a selection gets.
inline constexpr const char* kLayerFromSelectionName = "選択範囲からのレイヤ";

}  // namespace pq
