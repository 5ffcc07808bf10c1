#include "app/RequestChannel.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QThread>
#include <QTimer>
#include <QtEndian>
#include <cerrno>
#include <cstdio>
#include <string>

#include "data/formats/RequestText.h"

namespace kurvex {

namespace {

// A connection that has not sent its whole request by then is dropped.
constexpr int kIdleMs = 10000;
// More simultaneous connections than this are closed at once: a runaway sender cannot exhaust
// the viewer's descriptors.
constexpr std::size_t kMaxConnections = 256;

QString UserId() {
    return QString::number(::getuid());
}

// The user's cache folder: $XDG_CACHE_HOME when it is an absolute path, else ~/.cache.
QString CacheFolder() {
    const QString cache = qEnvironmentVariable("XDG_CACHE_HOME");
    if (!cache.isEmpty() && QDir::isAbsolutePath(cache)) return cache;
    return QDir::homePath() + "/.cache";
}

// The folder of the socket and whether it is our own private folder in the user's cache folder
// (which we create and check) rather than $XDG_RUNTIME_DIR (which the session made private). A
// fixed name in the shared temporary folder could be taken first by another user.
QString RequestFolder(bool* ownFolder) {
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    *ownFolder = runtime.isEmpty() || !QFileInfo(runtime).isDir();
    if (!*ownFolder) return runtime;
    return CacheFolder() + "/kurvex";
}

// Checks (and with `create`, makes) the socket's folder: ours, and no one else's to enter.
bool CheckFolder(const QString& folder, bool ownFolder, bool create, QString* error) {
    const QByteArray name = QFile::encodeName(folder);
    struct stat info {};
    if (ownFolder) {
        if (::lstat(name.constData(), &info) != 0) {
            if (!create) {
                *error = QString("%1 does not exist").arg(folder);
                return false;
            }
            // The cache folder itself may not exist yet in a fresh home.
            QDir().mkpath(QFileInfo(folder).absolutePath());
            if (::mkdir(name.constData(), 0700) != 0 && errno != EEXIST) {
                *error = QString("cannot create %1: %2").arg(folder, qt_error_string(errno));
                return false;
            }
            if (::lstat(name.constData(), &info) != 0) {
                *error = QString("cannot read %1: %2").arg(folder, qt_error_string(errno));
                return false;
            }
        }
        if (!S_ISDIR(info.st_mode) || info.st_uid != ::getuid() || (info.st_mode & 077) != 0) {
            *error = QString("%1 is not a folder private to this user").arg(folder);
            return false;
        }
        return true;
    }
    if (::stat(name.constData(), &info) != 0 || !S_ISDIR(info.st_mode) ||
        info.st_uid != ::getuid()) {
        *error = QString("%1 is not a folder of this user").arg(folder);
        return false;
    }
    return true;
}

QString SocketName() {
    return "RUNKURVEXFROMDRAFTEL-" + UserId();
}

}  // namespace

QString RequestSocketPath() {
    bool ownFolder = false;
    return RequestFolder(&ownFolder) + "/" + SocketName();
}

QString CanonicalDocumentPath(const QString& path) {
    const QFileInfo info(path);
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(info.absoluteFilePath()) : canonical;
}

RequestServer::RequestServer(QObject* parent) : QObject(parent) {}

RequestServer::~RequestServer() {
    // Sockets closing with the server must not call back into this half-destroyed object.
    if (server_) {
        server_->disconnect(this);
        for (QLocalSocket* socket : server_->findChildren<QLocalSocket*>())
            socket->disconnect(this);
    }
    connections_.clear();
    queue_.clear();
    // Closing removes the socket file; the connections are the server's children. The lock goes
    // only after the socket.
    server_.reset();
    lock_.reset();
}

bool RequestServer::Listen(QString* error) {
    QString ignored;
    if (!error) error = &ignored;
    anotherServes_ = false;
    bool ownFolder = false;
    const QString folder = RequestFolder(&ownFolder);
    if (!CheckFolder(folder, ownFolder, true, error)) return false;
    path_ = folder + "/" + SocketName();

    // The lock is held as long as this server lives: while it is held, the socket is a live
    // viewer's, however long that viewer takes to answer. Only the death of its holder frees it
    // (never its age), and only then is a socket left there removed.
    auto lock = std::make_unique<QLockFile>(path_ + ".lock");
    lock->setStaleLockTime(0);
    if (!lock->tryLock(0)) {
        if (lock->error() != QLockFile::LockFailedError) {
            *error = QString("cannot lock %1.lock").arg(path_);
            return false;
        }
        // Two viewers started at once: the other may not listen yet; give it time to.
        const QDeadlineTimer deadline(10000);
        QLocalSocket probe;
        do {
            probe.connectToServer(path_);
            if (probe.waitForConnected(1000)) break;
            probe.abort();
            QThread::msleep(20);
        } while (!deadline.hasExpired());
        probe.abort();
        anotherServes_ = true;
        *error = QString("another Kurvex already serves requests at %1").arg(path_);
        return false;
    }
    // Nobody holds the lock: whatever is there was left by a viewer that crashed.
    QLocalServer::removeServer(path_);
    auto server = std::make_unique<QLocalServer>();
    server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server->listen(path_)) {
        *error = QString("cannot listen at %1: %2").arg(path_, server->errorString());
        return false;
    }
    struct stat info {};
    if (::lstat(QFile::encodeName(path_).constData(), &info) != 0 || !S_ISSOCK(info.st_mode) ||
        info.st_uid != ::getuid() || (info.st_mode & 077) != 0) {
        *error = QString("the socket %1 is open to other users").arg(path_);
        return false;  // the server's destructor removes it
    }
    server->setMaxPendingConnections(64);
    connect(server.get(), &QLocalServer::newConnection, this, &RequestServer::Accept);
    server_ = std::move(server);
    lock_ = std::move(lock);
    return true;
}

void RequestServer::Accept() {
    while (server_ && server_->hasPendingConnections()) {
        QLocalSocket* socket = server_->nextPendingConnection();
        if (connections_.size() >= kMaxConnections) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        connections_.emplace(socket, Connection{});
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { Read(socket); });
        connect(socket, &QLocalSocket::disconnected, this, [this, socket] {
            Read(socket);  // a sender that wrote its request and closed at once
            connections_.erase(socket);
            socket->deleteLater();
        });
        QTimer::singleShot(kIdleMs, socket, [this, socket] {
            const auto it = connections_.find(socket);
            if (it != connections_.end() && !it->second.done) socket->abort();
        });
        Read(socket);
    }
}

void RequestServer::Read(QLocalSocket* socket) {
    const auto it = connections_.find(socket);
    if (it == connections_.end() || it->second.done) {
        socket->readAll();  // bytes after the request are ignored
        return;
    }
    Connection& c = it->second;
    if (c.expected < 0) {
        c.buffer += socket->read(4 - c.buffer.size());
        if (c.buffer.size() < 4) return;
        const quint32 count = qFromLittleEndian<quint32>(c.buffer.constData());
        c.buffer.clear();
        if (count == 0) {
            Refuse(socket, "the request is empty");
            return;
        }
        // Refused by its announced size: nothing of it is read or kept.
        if (count > kMaxRequestBytes) {
            Refuse(
                socket,
                QString("the request is longer than %1 bytes").arg(qulonglong(kMaxRequestBytes)));
            return;
        }
        c.expected = count;
        c.buffer.reserve(count);
    }
    c.buffer += socket->read(c.expected - c.buffer.size());
    if (c.buffer.size() < c.expected) return;
    c.done = true;
    const std::string reason = RequestRefusal(c.buffer.toStdString());
    if (!reason.empty()) {
        Refuse(socket, QString::fromStdString(reason));
        return;
    }
    queue_.push_back(Pending{socket, c.buffer});
    c.buffer.clear();
    Dispatch();
}

void RequestServer::Refuse(QLocalSocket* socket, const QString& reason) {
    std::fprintf(stderr, "kurvex: refused a request: %s\n", qPrintable(reason));
    const auto it = connections_.find(socket);
    if (it != connections_.end()) it->second.done = true;
    emit refused(reason);
    Answer(socket, false);
}

void RequestServer::Answer(QLocalSocket* socket, bool accepted) {
    if (!socket || socket->state() != QLocalSocket::ConnectedState) return;
    socket->write(accepted ? &kRequestAccepted : &kRequestRefused, 1);
    socket->disconnectFromServer();  // after the answer has been written
}

void RequestServer::Dispatch() {
    // A handler may run a nested event loop (a message box); requests arriving meanwhile wait
    // in order instead of starting a second handler inside the first.
    if (dispatching_) return;
    dispatching_ = true;
    const QPointer<RequestServer> self(this);
    while (!queue_.empty()) {
        const Pending next = queue_.front();
        queue_.pop_front();
        bool accepted = false;
        emit request(QString::fromUtf8(next.payload), &accepted);
        if (!self) return;
        Answer(next.socket, accepted);
    }
    dispatching_ = false;
}

int SendRequest(const QString& text, QString* error, int timeoutMs) {
    return SendRequestBytes(text.toUtf8(), error, timeoutMs);
}

int SendRequestBytes(const QByteArray& bytes, QString* error, int timeoutMs) {
    QString ignored;
    if (!error) error = &ignored;
    const std::string reason = RequestRefusal(bytes.toStdString());
    if (!reason.empty()) {
        *error = QString("request refused: %1").arg(QString::fromStdString(reason));
        return 1;
    }
    const QDeadlineTimer deadline(timeoutMs);
    bool ownFolder = false;
    const QString folder = RequestFolder(&ownFolder);
    const QString path = folder + "/" + SocketName();
    QString unsafe;
    if (!CheckFolder(folder, ownFolder, false, &unsafe)) {
        *error = QString("no Kurvex is running for this user (%1)").arg(unsafe);
        return 1;
    }
    QLocalSocket socket;
    socket.connectToServer(path);
    if (!socket.waitForConnected(deadline.remainingTime())) {
        *error =
            QString("no Kurvex is running for this user (%1: %2)").arg(path, socket.errorString());
        return 1;
    }
    QByteArray frame(4, '\0');
    qToLittleEndian<quint32>(static_cast<quint32>(bytes.size()), frame.data());
    frame += bytes;
    socket.write(frame);
    while (socket.bytesToWrite() > 0 && socket.waitForBytesWritten(deadline.remainingTime())) {
    }
    while (socket.bytesAvailable() < 1 && socket.state() == QLocalSocket::ConnectedState &&
           socket.waitForReadyRead(deadline.remainingTime())) {
    }
    char answer = 0;
    if (!socket.getChar(&answer)) {
        *error = deadline.hasExpired()
                     ? QString("the running Kurvex did not answer within %1 ms").arg(timeoutMs)
                     : QString("the running Kurvex closed the connection without an answer");
        return 1;
    }
    if (answer != kRequestAccepted) {
        *error = "the running Kurvex refused the request";
        return 1;
    }
    return 0;
}

}  // namespace kurvex
