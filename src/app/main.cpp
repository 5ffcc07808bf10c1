// kurvex: the waveform viewer.
#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QIcon>
#include <cstdio>
#include <cstring>

#include "app/CommandLine.h"
#include "app/KurvexApp.h"
#include "app/RequestChannel.h"

namespace {

void Print(std::FILE* stream, const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), stream);
    if (!text.endsWith('\n')) std::fputc('\n', stream);
}

// The request text of --send exactly as given: bytes that are not UTF-8 are
// refused, never turned into another name.
QByteArray SendBytes(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--") == 0) break;
        if (std::strcmp(argv[i], "--send") == 0 && i + 1 < argc) return QByteArray(argv[i + 1]);
        if (std::strncmp(argv[i], "--send=", 7) == 0) return QByteArray(argv[i] + 7);
    }
    return {};
}

}  // namespace

int main(int argc, char** argv) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    // Help, version and requests need no display.
    const kurvex::CommandLine line = kurvex::ParseCommandLine(arguments);
    if (!line.error.isEmpty()) {
        Print(stderr, QStringLiteral("kurvex: ") + line.error);
        Print(stderr, kurvex::UsageText());
        return 2;
    }
    if (line.help) {
        Print(stdout, kurvex::HelpText());
        return 0;
    }
    if (line.version) {
        Print(stdout, kurvex::VersionText());
        return 0;
    }
    if (line.send) {
        QCoreApplication core(argc, argv);
        QString error;
        const int status = kurvex::SendRequestBytes(SendBytes(argc, argv), &error);
        if (status != 0) Print(stderr, QStringLiteral("kurvex: ") + error);
        return status;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kurvex"));
    QApplication::setOrganizationName(QStringLiteral("QUELLON"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/kurvex.svg")));

    kurvex::RequestServer server;
    QString error;
    if (!server.Listen(&error)) {
        if (server.AnotherServes() && !line.files.isEmpty()) {
            // The running viewer opens them; it has another working folder.
            int status = 0;
            for (const QString& file : line.files) {
                const QString request = kurvex::AbsoluteRequestText(file, QDir::currentPath());
                if (kurvex::SendRequest(request, &error) != 0) {
                    Print(stderr, QStringLiteral("kurvex: ") + error);
                    status = 1;
                }
            }
            return status;
        }
        if (!server.AnotherServes())
            Print(stderr, QStringLiteral("kurvex: requests cannot be served: ") + error);
    }

    kurvex::CKurvexApp kurvex;
    kurvex.ServeRequests(server);
    if (!kurvex.InitInstance(line.files)) return 1;
    const int status = QApplication::exec();
    return kurvex.ExitInstance() == 0 ? status : 1;
}
