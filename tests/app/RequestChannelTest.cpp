#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QLockFile>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QtEndian>
#include <atomic>
#include <cstring>
#include <functional>
#include <latch>
#include <memory>
#include <set>
#include <thread>
#include <vector>

#include "app/CommandLine.h"
#include "app/RequestChannel.h"

namespace kurvex {
namespace {

// Sets an environment variable, or unsets it given none, for one scope.
struct EnvGuard {
    EnvGuard(const char* n, const QByteArray* value)
        : name(n), had(qEnvironmentVariableIsSet(n)), old(qgetenv(n)) {
        value ? qputenv(n, *value) : qunsetenv(n);
    }
    ~EnvGuard() { had ? qputenv(name, old) : qunsetenv(name); }
    const char* name;
    bool had;
    QByteArray old;
};

// Every test gets a runtime folder of its own: the machine's viewers are never disturbed.
class RequestChannel : public ::testing::Test {
protected:
    RequestChannel() : runtimeValue_(QFile::encodeName(runtime_.path())) {}
    QTemporaryDir runtime_;
    QByteArray runtimeValue_;
    EnvGuard env_{"XDG_RUNTIME_DIR", &runtimeValue_};
};

// Runs `work` on a thread of its own while this thread's event loop serves the viewer's end;
// false when it did not finish in time.
bool RunBeside(std::function<void()> work, int timeoutMs = 60000) {
    std::unique_ptr<QThread> thread(QThread::create(std::move(work)));
    QEventLoop loop;
    QObject::connect(thread.get(), &QThread::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    thread->start();
    loop.exec();
    const bool finished = thread->isFinished();
    thread->wait();
    return finished;
}

::testing::AssertionResult Listens(RequestServer& server) {
    QString error;
    if (server.Listen(&error)) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << error.toStdString();
}

QByteArray Frame(const QByteArray& text) {
    QByteArray frame(4, '\0');
    qToLittleEndian<quint32>(static_cast<quint32>(text.size()), frame.data());
    return frame + text;
}

// Sends `chunks` over a raw connection, pausing between them, and returns the answer byte
// ('\0' when the viewer closed without one, or at once when hangUp closes first).
char RawExchange(const QList<QByteArray>& chunks, bool hangUp) {
    QLocalSocket socket;
    socket.connectToServer(RequestSocketPath());
    if (!socket.waitForConnected(5000)) return '?';
    for (const QByteArray& chunk : chunks) {
        socket.write(chunk);
        socket.waitForBytesWritten(5000);
        QThread::msleep(2);
    }
    if (hangUp) {
        socket.abort();
        return '\0';
    }
    while (socket.bytesAvailable() < 1 && socket.state() == QLocalSocket::ConnectedState &&
           socket.waitForReadyRead(5000)) {
    }
    char answer = '\0';
    socket.getChar(&answer);
    return answer;
}

TEST_F(RequestChannel, BurstOfRequestsIsAllAnswered) {
    RequestServer server;
    ASSERT_TRUE(Listens(server));
    std::set<QString> seen;
    // The viewer refuses every tenth request; the senders must hear so.
    QObject::connect(&server, &RequestServer::request, [&](const QString& text, bool* accepted) {
        seen.insert(text);
        *accepted = !text.endsWith("0.txt");
    });
    constexpr int kThreads = 4, kEach = 250;
    std::atomic<int> answeredRight{0};
    // Several senders at once, each sending its requests one after another.
    ASSERT_TRUE(RunBeside([&] {
        std::vector<std::thread> senders;
        for (int t = 0; t < kThreads; ++t)
            senders.emplace_back([t, &answeredRight] {
                for (int i = 0; i < kEach; ++i) {
                    const int n = t * kEach + i;
                    QString why;
                    const int status = SendRequest(QString("/r/burst-%1.txt").arg(n), &why, 20000);
                    answeredRight += status == (n % 10 == 0 ? 1 : 0) ? 1 : 0;
                }
            });
        for (std::thread& s : senders) s.join();
    }));
    EXPECT_EQ(answeredRight.load(), kThreads * kEach);
    EXPECT_EQ(seen.size(), std::size_t(kThreads * kEach));
}

TEST_F(RequestChannel, BadRequestsAreRefusedOnBothSides) {
    RequestServer server;
    ASSERT_TRUE(Listens(server));
    std::vector<QString> handled;
    int refusals = 0;
    QObject::connect(&server, &RequestServer::request, [&](const QString& text, bool* accepted) {
        handled.push_back(text);
        *accepted = true;
    });
    QObject::connect(&server, &RequestServer::refused, [&](const QString&) { ++refusals; });

    const QByteArray good = "/r/\xC3\xA4.txt";
    const QByteArray longest(4096, 'a');
    const QByteArray frame = Frame(good);
    QList<QByteArray> bytes;  // the same request, one byte per write
    for (char c : frame) bytes.append(QByteArray(1, c));
    struct Case {
        const char* what;
        QList<QByteArray> chunks;
        bool hangUp;
        char answer;
    };
    const Case cases[] = {
        {"whole", {frame}, false, kRequestAccepted},
        {"one byte at a time", bytes, false, kRequestAccepted},
        {"4096 bytes", {Frame(longest)}, false, kRequestAccepted},
        {"trailing bytes ignored", {frame + "junk"}, false, kRequestAccepted},
        // Which texts are refused is the request text's test; here one, and the framing.
        {"empty", {Frame("")}, false, kRequestRefused},
        {"4097 bytes", {Frame(longest + "a")}, false, kRequestRefused},
        {"garbage, a count of 542 MB", {"GET / HTTP/1.0\r\n\r\n"}, false, kRequestRefused},
        {"hangs up in the count", {frame.left(2)}, true, '\0'},
        {"hangs up in the text", {frame.left(7)}, true, '\0'},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        char answer = '?';
        ASSERT_TRUE(RunBeside([&] { answer = RawExchange(c.chunks, c.hangUp); }));
        EXPECT_EQ(answer, c.answer);
    }
    // Only the well-formed requests reached the viewer, whole.
    EXPECT_EQ(handled, (std::vector<QString>{QString::fromUtf8(good), QString::fromUtf8(good),
                                             QString(longest), QString::fromUtf8(good)}));
    EXPECT_EQ(refusals, 3);

    // The sender refuses them too, before connecting, and says why.
    QString why;
    int status = -1;
    ASSERT_TRUE(RunBeside([&] { status = SendRequestBytes("/r/\xE4.txt", &why); }));
    EXPECT_EQ(status, 1);
    EXPECT_TRUE(why.contains("UTF-8")) << why.toStdString();
    EXPECT_EQ(refusals, 3);
}

TEST_F(RequestChannel, SocketIsOpenToItsOwnerOnly) {
    auto ownerOnly = [](const QString& path) {
        struct stat info {};
        return ::lstat(QFile::encodeName(path).constData(), &info) == 0 &&
               info.st_uid == ::getuid() && (info.st_mode & 077) == 0;
    };
    {
        RequestServer server;
        ASSERT_TRUE(Listens(server));
        EXPECT_EQ(QFileInfo(server.Path()).absolutePath(), QDir(runtime_.path()).absolutePath());
        EXPECT_TRUE(ownerOnly(server.Path()));
    }
    // Without a session runtime folder, a private folder of the user's cache folder holds it
    // (~/.cache unless XDG_CACHE_HOME names another), never a name in the shared /tmp.
    QTemporaryDir temp;
    const QByteArray home = QFile::encodeName(temp.path()), relative = "cache";
    const QByteArray cache = home + "/elsewhere";
    EnvGuard noRuntime("XDG_RUNTIME_DIR", nullptr);
    EnvGuard homeGuard("HOME", &home);
    QString folder;
    for (const QByteArray* value : {&relative, &cache}) {
        EnvGuard cacheGuard("XDG_CACHE_HOME", value);
        folder = temp.path() + (value == &cache ? "/elsewhere/kurvex" : "/.cache/kurvex");
        RequestServer server;
        ASSERT_TRUE(Listens(server));
        EXPECT_EQ(QFileInfo(server.Path()).absolutePath(), folder);
        EXPECT_TRUE(ownerOnly(folder));
        EXPECT_TRUE(ownerOnly(server.Path()));
    }
    EnvGuard cacheGuard("XDG_CACHE_HOME", &cache);
    // A folder that others may enter (made by someone else to catch the requests) is refused.
    ASSERT_EQ(::chmod(QFile::encodeName(folder).constData(), 0777), 0);
    RequestServer server;
    QString error;
    EXPECT_FALSE(server.Listen(&error));
    EXPECT_FALSE(server.AnotherServes());
    EXPECT_TRUE(error.contains("private")) << error.toStdString();
    QString why;
    EXPECT_EQ(SendRequest("/r/a.txt", &why), 1);
}

TEST_F(RequestChannel, StaleSocketOfACrashedViewerIsReplaced) {
    const QByteArray path = QFile::encodeName(RequestSocketPath());
    // A socket nobody listens on any more, as a crash leaves it.
    int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.constData(), std::size_t(path.size()) + 1);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::close(fd);
    RequestServer server;
    QString error;
    ASSERT_TRUE(server.Listen(&error)) << error.toStdString();
    QObject::connect(&server, &RequestServer::request,
                     [](const QString&, bool* accepted) { *accepted = true; });
    int status = -1;
    ASSERT_TRUE(RunBeside([&] { status = SendRequest("/r/a.txt", &error); }));
    EXPECT_EQ(status, 0) << error.toStdString();
}

TEST_F(RequestChannel, LockIsHeldWhileTheServerLives) {
    QLockFile other(RequestSocketPath() + ".lock");
    {
        RequestServer server;
        ASSERT_TRUE(Listens(server));
        // However busy this viewer is, no other may take the lock and remove its socket.
        EXPECT_FALSE(other.tryLock(0));
    }
    EXPECT_TRUE(other.tryLock(0));
}

TEST_F(RequestChannel, TwoViewersStartingTogetherEndAsServerAndClient) {
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE(round);
        std::latch listened(2);
        std::atomic<int> servers{0}, clients{0};
        auto viewer = [&] {
            RequestServer server;
            QString error;
            if (server.Listen(&error))
                ++servers;
            else if (server.AnotherServes())
                ++clients;
            listened.arrive_and_wait();  // both decided while the winner still listens
        };
        std::unique_ptr<QThread> a(QThread::create(viewer)), b(QThread::create(viewer));
        a->start();
        b->start();
        ASSERT_TRUE(a->wait(30000));
        ASSERT_TRUE(b->wait(30000));
        EXPECT_EQ(servers.load(), 1);
        EXPECT_EQ(clients.load(), 1);
    }
}

TEST_F(RequestChannel, SenderSaysWhenNoViewerAnswers) {
    QString why;
    EXPECT_EQ(SendRequest("/r/a.txt", &why, 1000), 1);
    EXPECT_TRUE(why.contains("no Kurvex is running")) << why.toStdString();

    // The viewer quits while it handles the request: no answer, and no crash on either side.
    auto server = std::make_unique<RequestServer>();
    ASSERT_TRUE(server->Listen(&why)) << why.toStdString();
    QObject::connect(server.get(), &RequestServer::request,
                     [&server](const QString&, bool*) { server.reset(); });
    int status = -1;
    ASSERT_TRUE(RunBeside([&] { status = SendRequest("/r/a.txt", &why, 5000); }));
    EXPECT_EQ(status, 1);
    EXPECT_TRUE(why.contains("without an answer")) << why.toStdString();
}

TEST_F(RequestChannel, SecondViewerHandsOverItsFilesAsAbsoluteNames) {
    RequestServer server;
    ASSERT_TRUE(Listens(server));
    std::vector<QString> handled;
    QObject::connect(&server, &RequestServer::request, [&](const QString& text, bool* accepted) {
        handled.push_back(text);
        *accepted = !text.contains("refuse");
    });
    int status = -1;
    QString error;
    const QList<QByteArray> files = {"buck.txt", "/abs/b.kfd", "run<1>.txt", "sub/refuse.txt"};
    ASSERT_TRUE(RunBeside([&] { status = HandOverFiles(files, "/home/u/sim", &error); }));
    EXPECT_EQ(status, 1);
    EXPECT_EQ(handled, (std::vector<QString>{"/home/u/sim/buck.txt", "/abs/b.kfd",
                                             "/home/u/sim/sub/refuse.txt"}));
    // One line for each file that did not get through.
    EXPECT_EQ(error.count('\n'), 1) << error.toStdString();
    EXPECT_TRUE(error.contains("run<1>.txt") && error.contains("refuse.txt"));

    // kurvex --send takes a relative name from the sender's folder too.
    handled.clear();
    CommandLine send = ParseCommandLine(QStringList{"--send", "rel<1,2>.txt"});
    ASSERT_TRUE(RunBeside([&] { status = RunWithoutWindow(send); }));
    EXPECT_EQ(status, 0);
    EXPECT_EQ(handled, std::vector<QString>{QDir::currentPath() + "/rel<1,2>.txt"});
    send = ParseCommandLine(QStringList{"--send", "/r/refuse.txt"});
    ASSERT_TRUE(RunBeside([&] { status = RunWithoutWindow(send); }));
    EXPECT_EQ(status, 1);
}

// Another name of the file by a link is the viewer's test.
TEST(CanonicalDocumentPath, MatchesTheSameFileExactly) {
    QTemporaryDir dir;
    const QString real = dir.filePath("a.txt");
    QFile(real).open(QIODevice::WriteOnly);
    QDir(dir.path()).mkdir("sub");
    const QString canonical = QFileInfo(real).canonicalFilePath();
    struct Case {
        QString path;
        QString expected;
    };
    const Case cases[] = {
        {dir.filePath("sub/../a.txt"), canonical},
        {dir.filePath("sub/../gone.txt"), QDir::cleanPath(dir.filePath("gone.txt"))},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CanonicalDocumentPath(c.path), c.expected) << c.path.toStdString();
}

}  // namespace
}  // namespace kurvex
