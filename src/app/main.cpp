// kurvex: the waveform viewer.
#include <QApplication>
#include <QCoreApplication>
#include <QIcon>
#include <cstdio>

#include "app/CommandLine.h"
#include "app/KurvexApp.h"
#include "app/RequestChannel.h"

int main(int argc, char** argv) {
    // Help, version and requests need no display.
    const kurvex::CommandLine line = kurvex::ParseCommandLine(argc, argv);
    if (line.send) {
        QCoreApplication core(argc, argv);
        return kurvex::RunWithoutWindow(line);
    }
    if (const int status = kurvex::RunWithoutWindow(line); status >= 0) return status;

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kurvex"));
    QApplication::setOrganizationName(QStringLiteral("QUELLON"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/kurvex.svg")));
    QGuiApplication::setDesktopFileName(QStringLiteral("io.github.kurvex.Kurvex"));

    kurvex::RequestServer server;
    QString error;
    if (!server.Listen(&error)) {
        // Runs open together in a window of their own: handed over they would open one by one.
        if (server.AnotherServes() && !line.files.isEmpty() && !line.runs) {
            // The running viewer opens them; it has another working folder.
            QString problems;
            const int status =
                kurvex::HandOverFiles(line.fileBytes, kurvex::CurrentFolder(), &problems);
            if (status != 0) std::fprintf(stderr, "kurvex: %s\n", qPrintable(problems));
            return status;
        }
        if (!server.AnotherServes())
            std::fprintf(stderr, "kurvex: requests cannot be served: %s\n", qPrintable(error));
    }

    kurvex::CKurvexApp kurvex;
    kurvex.ServeRequests(server);
    if (!kurvex.InitInstance(line.files, true, line.runs)) return 1;
    const int status = QApplication::exec();
    return kurvex.ExitInstance() == 0 ? status : 1;
}
