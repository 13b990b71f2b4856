#include "gui/app/instance_link.h"

#include <QByteArray>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <memory>
#include <thread>

namespace pq::gui {

namespace {

// Lines of the exchange: "open BASE64\n" per file, "end\n"; the editor answers "ok\n". Base64
// keeps every byte a file name may hold (a line break included) out of the framing.
constexpr int kWaitMs = 5000;

// `path` as a folder of this user only: made 0700 when missing, tightened when ours but open to
// others; false for a link, a non-folder, or a folder of another user.
bool PrivateFolder(const QByteArray& path) {
    if (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST) return false;
    struct stat st {};
    if (::lstat(path.constData(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid()) return false;
    if ((st.st_mode & 077) != 0 && ::chmod(path.constData(), 0700) != 0) return false;
    return true;
}

// The runtime folder when it is a folder of this user, as the desktop specification requires.
QByteArray RuntimeBase() {
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    struct stat st {};
    if (runtime.startsWith('/') && ::lstat(runtime.constData(), &st) == 0 && S_ISDIR(st.st_mode) &&
        st.st_uid == ::getuid())
        return runtime + "/pixquil";
    return "/tmp/pixquil-" + QByteArray::number(qulonglong(::getuid()));
}

std::uint64_t NameDigest(const std::string& text) {
    std::uint64_t h = 1469598103934665603ull;
    for (unsigned char c : text) h = (h ^ c) * 1099511628211ull;
    return h;
}

// Serialises the test for a running editor and the start of listening between starts of the
// same folder, so two starting together never both listen. Released when it goes.
class StartLock {
public:
    explicit StartLock(const QByteArray& path) {
        fd_ = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd_ < 0) return;
        for (int tries = 0; tries < 100; ++tries) {
            if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) {
                locked_ = true;
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
    ~StartLock() {
        if (fd_ >= 0) ::close(fd_);
    }
    bool Locked() const { return locked_; }

private:
    int fd_ = -1;
    bool locked_ = false;
};

bool PeerIsThisUser(const QLocalSocket& socket) {
    struct ucred cred {};
    socklen_t len = sizeof cred;
    return ::getsockopt(int(socket.socketDescriptor()), SOL_SOCKET, SO_PEERCRED, &cred, &len) == 0 &&
           cred.uid == ::getuid();
}

}  // namespace

InstanceLink::InstanceLink(QObject* parent) : QObject(parent) {}

InstanceLink::~InstanceLink() { Close(); }

QString InstanceLink::SocketPath(const std::filesystem::path& settingsFolder) {
    const QByteArray base = RuntimeBase();
    if (!PrivateFolder(base)) return {};
    std::error_code ec;
    std::filesystem::path folder = std::filesystem::weakly_canonical(std::filesystem::absolute(settingsFolder, ec), ec);
    if (ec) folder = settingsFolder;
    return QString::fromLocal8Bit(base) + "/" + QString::number(qulonglong(NameDigest(folder.string())), 16) + ".sock";
}

InstanceLink::Outcome InstanceLink::Claim(const std::filesystem::path& settingsFolder, const QStringList& files) {
    const QString path = SocketPath(settingsFolder);
    if (path.isEmpty()) return Outcome::Alone;
    const StartLock lock(QFile::encodeName(path.chopped(5) + ".lock"));
    if (!lock.Locked()) return Outcome::Alone;

    QLocalSocket socket;
    socket.connectToServer(path);
    if (socket.waitForConnected(kWaitMs)) {
        QByteArray request;
        for (const QString& file : files) request += "open " + file.toUtf8().toBase64() + "\n";
        request += "end\n";
        socket.write(request);
        socket.flush();
        QByteArray answer;
        while (!answer.contains('\n') && socket.waitForReadyRead(kWaitMs)) answer += socket.readAll();
        socket.abort();
        // An editor that accepts but does not answer is stuck: this start runs on its own and
        // leaves the socket to it.
        return answer.startsWith("ok\n") ? Outcome::HandedOver : Outcome::Alone;
    }
    // Nobody listens: a socket left by an editor that was killed, or none yet.
    QLocalServer::removeServer(path);
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_->listen(path)) {
        delete server_;
        server_ = nullptr;
        return Outcome::Alone;
    }
    ::chmod(QFile::encodeName(path).constData(), 0600);
    connect(server_, &QLocalServer::newConnection, this, &InstanceLink::Accept);
    return Outcome::Listening;
}

void InstanceLink::Accept() {
    while (QLocalSocket* socket = server_ ? server_->nextPendingConnection() : nullptr) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        if (!PeerIsThisUser(*socket)) {
            socket->abort();
            continue;
        }
        auto buffer = std::make_shared<QByteArray>();
        connect(socket, &QLocalSocket::readyRead, this, [this, socket, buffer] {
            *buffer += socket->readAll();
            // A request is small; one that grows without end is not one of ours.
            if (buffer->size() > 16 * 1024 * 1024) {
                socket->abort();
                return;
            }
            if (!buffer->endsWith("end\n") || !(buffer->size() == 4 || buffer->contains("\nend\n"))) return;
            QStringList files;
            for (const QByteArray& line : buffer->split('\n'))
                if (line.startsWith("open ")) files << QString::fromUtf8(QByteArray::fromBase64(line.mid(5)));
            buffer->clear();
            socket->write("ok\n");
            socket->flush();
            socket->disconnectFromServer();
            emit Received(files);
        });
    }
}

void InstanceLink::Close() {
    if (!server_) return;
    server_->close();
    delete server_;
    server_ = nullptr;
}

}  // namespace pq::gui
