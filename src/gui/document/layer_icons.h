#pragma once
// The nine 16 x 16 pictures of the layer palette, drawn in code and shared with the document's
// Layer menu: 0 new, 1 delete, 2 up, 3 down, 4 hidden-layer mark, 5 visible-layer mark,
// 6 merge all, 7 merge down, 8 rename.

#include <QPixmap>

namespace pq::gui {

enum LayerIconIndex {
    kLayerIconNew = 0,
    kLayerIconDelete = 1,
    kLayerIconUp = 2,
    kLayerIconDown = 3,
    kLayerIconHidden = 4,
    kLayerIconVisible = 5,
    kLayerIconMergeAll = 6,
    kLayerIconMergeDown = 7,
    kLayerIconRename = 8,
};

QPixmap LayerIcon(int index);

}  // namespace pq::gui
