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

    // Moves the window to the stored position when the file exists (a position wholly off
    // every screen is brought back onto the primary screen).
    void ReadPosition();
    // Writes the window's present left and top.
    bool WritePosition() const;
    const std::filesystem::path& PositionFile() const { return positionFile_; }

private:
    std::filesystem::path positionFile_;
};

}  // namespace pq::gui
