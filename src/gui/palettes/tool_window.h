#pragma once
// Base of the floating tool windows (colour palette, layer palette, preview): a tool window of
// the main frame that stays above it and keeps its screen position in an 8-byte file of the
// settings folder, read at creation and written at program end.

#include <QString>
#include <QWidget>
#include <filesystem>

namespace pq::gui {

class TToolWindow : public QWidget {
    Q_OBJECT
public:
    TToolWindow(QWidget* frame, const QString& caption, std::filesystem::path positionFile);

    // Moves the window to the stored position when the file exists (else it keeps the position
    // it has), then keeps it wholly on a screen (KeepOnScreenNow).
    void ReadPosition();
    // Writes the window's present left and top.
    bool WritePosition() const;
    const std::filesystem::path& PositionFile() const { return positionFile_; }
    // Moves the window (outer bounds) wholly onto a screen when any part of it lies off every
    // screen: onto the one holding most of it, else the main frame's screen.
    void KeepOnScreenNow();

protected:
    // The first show places the window again: only then is the size of its decoration known.
    void showEvent(QShowEvent* event) override;

private:
    std::filesystem::path positionFile_;
    bool placedOnShow_ = false;
};

}  // namespace pq::gui
