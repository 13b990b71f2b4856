#pragma once
// The frame's document area: the MDI area holding the document windows, and the frame each
// document window gets in it.

class QMdiArea;
class QMdiSubWindow;
class QWidget;

namespace pq::gui {

// Scroll bars appear when a window reaches beyond the area (placed low, or at the right), as
// the classic MDI client area does, so every part of every window can be reached.
void SetUpDocumentArea(QMdiArea& area);

// Adds `content` to the area in a document window frame whose title-bar buttons answer the first
// click also right after a modal box (see document_area.cpp).
QMdiSubWindow* AddDocumentWindow(QMdiArea& area, QWidget* content);

}  // namespace pq::gui
