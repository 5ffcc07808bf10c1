#include "app/CommandLine.h"

#include <QDir>

#include "KurvexVersion.h"

namespace kurvex {

namespace {

// Qt's options that take a value in the next argument, and those that stand alone.
bool IsQtOptionWithValue(const QString& a) {
    static const QStringList names = {"-platform",
                                      "-platformpluginpath",
                                      "-platformtheme",
                                      "-plugin",
                                      "-qwindowgeometry",
                                      "-qwindowtitle",
                                      "-qwindowicon",
                                      "-style",
                                      "-stylesheet",
                                      "-display",
                                      "-geometry",
                                      "-session",
                                      "-name"};
    return names.contains(a);
}

bool IsQtFlag(const QString& a) {
    static const QStringList names = {"-reverse", "-widgetcount", "-nograb", "-dograb", "-sync"};
    return names.contains(a) || a.startsWith("-qmljsdebugger=") || a.startsWith("-style=") ||
           a.startsWith("-stylesheet=");
}

}  // namespace

CommandLine ParseCommandLine(const QStringList& arguments) {
    CommandLine line;
    bool optionsEnded = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& a = arguments[i];
        if (optionsEnded || a == "-" || !a.startsWith('-')) {
            line.files.append(a);
        } else if (a == "--") {
            optionsEnded = true;
        } else if (a == "-h" || a == "--help") {
            line.help = true;
        } else if (a == "--version") {
            line.version = true;
        } else if (a == "--send" || a.startsWith("--send=")) {
            if (line.send) {
                line.error = "--send may be given only once";
                return line;
            }
            line.send = true;
            if (a != "--send") {
                line.sendText = a.mid(7);
            } else if (i + 1 < arguments.size()) {
                line.sendText = arguments[++i];
            } else {
                line.error = "--send needs a request text";
                return line;
            }
        } else if (IsQtOptionWithValue(a)) {
            if (i + 1 >= arguments.size()) {
                line.error = QString("%1 needs a value").arg(a);
                return line;
            }
            ++i;
        } else if (!IsQtFlag(a)) {
            line.error = QString("unknown option '%1'").arg(a);
            return line;
        }
    }
    if (line.send && !line.files.isEmpty())
        line.error = "--send cannot be combined with files to open";
    return line;
}

QString UsageText() {
    return "Usage: kurvex [FILE]...\n"
           "       kurvex --send TEXT\n"
           "       kurvex --help | --version\n";
}

QString HelpText() {
    return UsageText() +
           "\n"
           "Kurvex shows the results of the Ohmix circuit simulator as curves.\n"
           "\n"
           "  FILE         a result file to open (.txt, .fra, .csv or .kfd); each file opens in\n"
           "               a window of its own. While Kurvex already runs for this user, the\n"
           "               files are handed to it and this command ends.\n"
           "  --send TEXT  asks the running Kurvex to open TEXT, or to reload it when it is\n"
           "               open already, as the simulator does. TEXT is a file name (a relative\n"
           "               one is taken from the current folder) and may be written\n"
           "               prefix<a,b,...>suffix, of which the first name counts.\n"
           "               Exit status 0 when the request was accepted, 1 otherwise.\n"
           "  -h, --help   shows this help.\n"
           "  --version    shows the version.\n"
           "  --           ends the options: every argument after it is a file.\n"
           "\n"
           "Exit status: 0 done, 1 a request that was refused or found no running Kurvex,\n"
           "2 a bad command line.\n";
}

QString AbsoluteRequestText(const QString& text, const QString& folder) {
    if (text.isEmpty() || text.startsWith('/')) return text;
    return QDir(folder).absoluteFilePath(text);
}

QString VersionText() {
    return QString("kurvex %1\n").arg(KURVEX_VERSION_STRING);
}

}  // namespace kurvex
