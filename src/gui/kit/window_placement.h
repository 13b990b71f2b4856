#pragma once
// Window positions read from the settings files may come from another screen layout or another
// scale factor. All rectangles are in device-independent pixels, as QWidget and QScreen give them.

#include <QRect>

class QScreen;

namespace pq::gui {

// The top-left corner to use for a window of `frame` (outer bounds): unchanged when the frame
// touches some screen, else the top-left of the primary screen's available area.
QPoint KeepOnScreen(const QRect& frame);

// The top-left corner that puts the whole of `frame` (outer bounds) on one screen: unchanged when
// the frame lies inside some screen's available area, else the nearest position inside the
// available area of the screen holding most of it, or of `home` (then the primary screen) when it
// touches none. Along an axis where the frame is larger than that area it goes to the area's start.
QPoint KeepWhollyOnScreen(const QRect& frame, const QScreen* home);

}  // namespace pq::gui

#include <QByteArray>
#include <filesystem>

class QWidget;

namespace pq::gui {

// A window's whole geometry (Qt's saveGeometry: inner and outer bounds, state, screen) kept
// beside its small settings file, whose layout cannot grow: "<file>.geometry" holds the outer
// bounds that file recorded at the same time (four little-endian int32: left, top, width,
// height; a tool window's file records no size, so width and height are 0) and then Qt's bytes.
std::filesystem::path GeometryFileOf(const std::filesystem::path& settingsFile);
bool SaveWindowGeometry(const QWidget& window, const std::filesystem::path& settingsFile, const QRect& recorded);
// Restores the saved geometry when its file exists, records `recorded` (so the small file was
// not rewritten by another program since) and Qt accepts the bytes. False leaves the window as
// it was; the caller then applies the small file's values.
bool RestoreWindowGeometry(QWidget& window, const std::filesystem::path& settingsFile, const QRect& recorded);

}  // namespace pq::gui
