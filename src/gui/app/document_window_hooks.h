#pragma once
// The one set of DocumentHooks the frame gives every document window: the rows and callbacks of
// the file commands, the operations and the area picker, composed here on top of them all.

#include "gui/document/document_hooks.h"

namespace pq::gui {

DocumentHooks DocumentWindowHooks();

}  // namespace pq::gui
