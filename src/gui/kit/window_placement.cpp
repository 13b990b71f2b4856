#include "gui/kit/window_placement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <algorithm>
#include <cstdint>
#include <vector>

#include "core/io/atomic_write.h"

namespace pq::gui {

QPoint KeepOnScreen(const QRect& frame) {
    const QList<QScreen*> screens = QGuiApplication::screens();
    if (screens.isEmpty()) return frame.topLeft();
    for (QScreen* s : screens) {
        if (s->geometry().intersects(frame)) return frame.topLeft();
    }
    QScreen* primary = QGuiApplication::primaryScreen();
    return primary ? primary->availableGeometry().topLeft() : frame.topLeft();
}

QPoint KeepWhollyOnScreen(const QRect& frame, const QScreen* home) {
    const QList<QScreen*> screens = QGuiApplication::screens();
    if (screens.isEmpty()) return frame.topLeft();
    const QScreen* target = nullptr;
    qint64 most = 0;
    for (const QScreen* s : screens) {
        if (s->availableGeometry().contains(frame)) return frame.topLeft();
        const QRect part = s->geometry() & frame;
        const qint64 area = qint64(part.width()) * part.height();
        if (area > most) {
            most = area;
            target = s;
        }
    }
    if (!target) target = home && screens.contains(home) ? home : QGuiApplication::primaryScreen();
    if (!target) return frame.topLeft();
    const QRect avail = target->availableGeometry();
    // Right or bottom edge pulled in first, then the left or top edge, which wins when too large.
    const int x = std::max(avail.left(), std::min(frame.left(), avail.left() + avail.width() - frame.width()));
    const int y = std::max(avail.top(), std::min(frame.top(), avail.top() + avail.height() - frame.height()));
    return QPoint(x, y);
}

namespace {

constexpr std::size_t kRecordedSize = 16;
// Qt's own bytes for one window are about 70; anything far larger is not ours.
constexpr std::uint64_t kGeometryFileLimit = 4096;

void PutInt32(std::vector<std::uint8_t>& out, int v) {
    const auto u = static_cast<std::uint32_t>(v);
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(u >> (8 * i)));
}

int GetInt32(const std::vector<std::uint8_t>& in, std::size_t at) {
    std::uint32_t u = 0;
    for (int i = 0; i < 4; ++i) u |= std::uint32_t(in[at + i]) << (8 * i);
    return static_cast<int>(u);
}

}  // namespace

std::filesystem::path GeometryFileOf(const std::filesystem::path& settingsFile) {
    std::filesystem::path p = settingsFile;
    p += ".geometry";
    return p;
}

bool SaveWindowGeometry(const QWidget& window, const std::filesystem::path& settingsFile, const QRect& recorded) {
    const QByteArray qt = window.saveGeometry();
    std::vector<std::uint8_t> bytes;
    bytes.reserve(kRecordedSize + std::size_t(qt.size()));
    for (int v : {recorded.left(), recorded.top(), recorded.width(), recorded.height()}) PutInt32(bytes, v);
    bytes.insert(bytes.end(), qt.begin(), qt.end());
    pq::ReplacingWriter writer(GeometryFileOf(settingsFile), pq::Flush::Now, pq::Owner::Program);
    return writer.Write(bytes) == 0 && writer.Commit() == 0;
}

bool RestoreWindowGeometry(QWidget& window, const std::filesystem::path& settingsFile, const QRect& recorded) {
    std::vector<std::uint8_t> bytes;
    if (pq::ReadWholeFile(GeometryFileOf(settingsFile), bytes, kGeometryFileLimit, pq::Owner::Program) !=
            pq::ReadStatus::Ok ||
        bytes.size() <= kRecordedSize)
        return false;
    const QRect stored(GetInt32(bytes, 0), GetInt32(bytes, 4), GetInt32(bytes, 8), GetInt32(bytes, 12));
    if (stored.topLeft() != recorded.topLeft() || stored.size() != recorded.size()) return false;
    const QByteArray qt(reinterpret_cast<const char*>(bytes.data()) + kRecordedSize,
                        static_cast<qsizetype>(bytes.size() - kRecordedSize));
    return window.restoreGeometry(qt);
}

}  // namespace pq::gui
