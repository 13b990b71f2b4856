#pragma once
// One editor per user and settings folder. The first start listens on a local socket in the
// user's runtime folder ($XDG_RUNTIME_DIR/pixquil/, or /tmp/pixquil-UID/ without one; the
// folder 0700, the socket 0600, peers of another user refused); a later start with the same
// settings folder hands its files to it and ends. The socket is named after the settings
// folder, so two settings folders (or two users) never meet. A socket left by an editor that
// was killed answers no connection: it is removed and the new start listens in its place.

#include <QObject>
#include <QStringList>
#include <filesystem>

class QLocalServer;

namespace pq::gui {

class InstanceLink : public QObject {
    Q_OBJECT
public:
    explicit InstanceLink(QObject* parent = nullptr);
    ~InstanceLink() override;

    // The socket for this user and settings folder; empty when no private folder can be had
    // (the runtime folder is not the user's, or a link or another user's folder is in the way).
    static QString SocketPath(const std::filesystem::path& settingsFolder);

    enum class Outcome {
        Listening,    // this is the editor of the folder now
        HandedOver,   // a running editor took the files: this start should end
        Alone,        // neither (no private folder, or the running editor does not answer)
    };
    // `files` are absolute paths; none only raises the running editor's window.
    Outcome Claim(const std::filesystem::path& settingsFolder, const QStringList& files);
    // Stops listening and removes the socket.
    void Close();

signals:
    // Another start's files, in its order (empty: it only wants the window shown).
    void Received(const QStringList& files);

private:
    void Accept();
    QLocalServer* server_ = nullptr;
};

}  // namespace pq::gui
