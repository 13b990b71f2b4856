#pragma once
// Cut, copy and paste of a document window through the system clipboard. Copy and cut put the
// selected pixels (or the whole current layer) on the clipboard as a true-colour picture; cut
// changes the document only after the picture arrived there. A truecolour document's picture
// goes there with its alpha, as "image/png" beside the ordinary image; paste prefers that PNG and
// keeps its alpha in a truecolour document. Paste lets the user pick the part
// of the clipboard picture to take (through the frame's DocumentHooks::PickPasteArea) and turns it
// into a new top layer.

#include <vector>

#include "core/raster/raster.h"
#include "gui/kit/command_table.h"

namespace pq::gui {

class FrameServices;
class TImageForm;

void meCopyClick(FrameServices& frame, TImageForm& form);
void meCutClick(FrameServices& frame, TImageForm& form);
void mePasteClick(FrameServices& frame, TImageForm& form);

// The Edit menu's 切り取り / コピー / 貼り付け; 貼り付け is enabled exactly when the clipboard offers
// a picture.
CommandTable ClipboardCommands();

// The part of a straight-RGBA picture (pictureWidth x pictureHeight) under the area picker's
// frame, at width x height: what lies off the picture is transparent; a frame of that very size
// is taken at 1:1, any other is averaged by ResampleRgba (premultiplied, so transparent pixels
// lend no colour). No frame yet (all zero) takes the top-left corner at 1:1; a frame of no width
// or height gives all transparent pixels. Empty for an output side below 1 or pixels that do
// not match the picture's size.
std::vector<pq::Rgba8> FramedRgbaArea(const std::vector<pq::Rgba8>& pixels, int pictureWidth, int pictureHeight,
                                      const pq::Rect& frame, int width, int height);

}  // namespace pq::gui
