// kurvex: the waveform viewer.
#include <QApplication>
#include <QStringList>

#include "app/KurvexApp.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kurvex"));
    QApplication::setOrganizationName(QStringLiteral("QUELLON"));
    QStringList files;
    for (const QString& a : app.arguments().mid(1))
        if (!a.startsWith('-')) files << a;
    kurvex::CKurvexApp kurvex;
    if (!kurvex.InitInstance(files)) return 1;
    const int status = QApplication::exec();
    return kurvex.ExitInstance() == 0 ? status : 1;
}
