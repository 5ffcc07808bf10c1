#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>
#include <deque>
#include <memory>
#include <unordered_map>

class QLocalServer;
class QLockFile;
class QLocalSocket;

namespace kurvex {

// The open and reload requests of the simulator (and of `kurvex --send`, or of a second `kurvex
// FILE`) reach the running viewer through a per-user local socket. A request is one frame: a
// 32-bit little-endian byte count and that many bytes of UTF-8 text; the viewer answers with one
// byte, kRequestAccepted or kRequestRefused, and closes the connection.
inline constexpr char kRequestAccepted = 'A';
inline constexpr char kRequestRefused = 'R';

// The socket's path: "RUNKURVEXFROMDRAFTEL-<uid>" in $XDG_RUNTIME_DIR, or where that is unset in
// the folder "kurvex" of the user's cache folder ($XDG_CACHE_HOME, by default ~/.cache), made
// with mode 0700 and refused unless it is the user's own and private.
QString RequestSocketPath();

// The name under which a document is matched against a request: the canonical absolute path
// (symbolic links resolved), or the cleaned absolute path of a file that does not exist. Names
// are compared exactly: Linux file systems tell "a.txt" from "A.txt".
QString CanonicalDocumentPath(const QString& path);

// The running viewer's end of the channel: per-user, owner-only, guarded by a lock file held for
// the server's whole life, so that two viewers started at once end as one server and one client
// and only a socket left by a crash is ever removed.
// Connections are served on the interface thread without ever blocking it.
class RequestServer : public QObject {
    Q_OBJECT
public:
    explicit RequestServer(QObject* parent = nullptr);
    ~RequestServer() override;

    // Starts serving; false when another viewer already serves (AnotherServes()) or the socket
    // cannot be made safely (*error says why).
    bool Listen(QString* error);
    // True after a Listen that found another viewer serving this user.
    bool AnotherServes() const { return anotherServes_; }
    // The path listened on (empty before Listen).
    QString Path() const { return path_; }

signals:
    // A well-formed request. The handler sets *accepted; the reply goes back to the sender.
    // Requests that arrive while a handler runs (a modal dialog of it) wait for it to return.
    void request(const QString& text, bool* accepted);
    // A request refused before reaching the handler (also written to standard error).
    void refused(const QString& reason);

private:
    struct Connection {
        QByteArray buffer;
        qint64 expected = -1;  // payload bytes once the count has arrived
        bool done = false;
    };
    struct Pending {
        QPointer<QLocalSocket> socket;
        QByteArray payload;
    };

    void Accept();
    void Read(QLocalSocket* socket);
    void Answer(QLocalSocket* socket, bool accepted);
    void Refuse(QLocalSocket* socket, const QString& reason);
    void Dispatch();

    std::unique_ptr<QLocalServer> server_;
    std::unique_ptr<QLockFile> lock_;
    std::unordered_map<QLocalSocket*, Connection> connections_;
    std::deque<Pending> queue_;
    bool dispatching_ = false;
    bool anotherServes_ = false;
    QString path_;
};

// Delivers one request to the running viewer: 0 when it answered that it accepted the request,
// 1 (with *error) when none runs, it refused, or it did not answer within timeoutMs. The text is
// checked first: a request the viewer would refuse is never sent.
int SendRequest(const QString& text, QString* error, int timeoutMs = 5000);
// SendRequest for the exact bytes of a request (as the command line gave them, which need not be
// UTF-8: such a request is refused, never turned into another name).
int SendRequestBytes(const QByteArray& bytes, QString* error, int timeoutMs = 5000);

}  // namespace kurvex
