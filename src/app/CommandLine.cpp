#include "app/CommandLine.h"

#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "KurvexVersion.h"
#include "app/RequestChannel.h"
#include "data/formats/RequestText.h"

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

namespace {

CommandLine Parse(const QStringList& arguments, const QList<QByteArray>& bytes) {
    CommandLine line;
    bool optionsEnded = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& a = arguments[i];
        if (optionsEnded || a == "-" || !a.startsWith('-')) {
            line.files.append(a);
            line.fileBytes.append(bytes[i]);
        } else if (a == "--") {
            optionsEnded = true;
        } else if (a == "-h" || a == "--help") {
            line.help = true;
        } else if (a == "--help-all") {
            line.helpAll = true;
        } else if (a == "--version") {
            line.version = true;
        } else if (a == "--runs") {
            line.runs = true;
        } else if (a == "--send" || a.startsWith("--send=")) {
            if (line.send) {
                line.error = "--send may be given only once";
                return line;
            }
            line.send = true;
            if (a != "--send") {
                line.sendText = a.mid(7);
                line.sendBytes = bytes[i].mid(7);
            } else if (i + 1 < arguments.size()) {
                line.sendText = arguments[++i];
                line.sendBytes = bytes[i];
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

}  // namespace

CommandLine ParseCommandLine(const QStringList& arguments) {
    QList<QByteArray> bytes;
    for (const QString& a : arguments) bytes.append(a.toUtf8());
    return Parse(arguments, bytes);
}

CommandLine ParseCommandLine(int argc, char** argv) {
    QStringList arguments;
    QList<QByteArray> bytes;
    for (int i = 1; i < argc; ++i) {
        bytes.append(QByteArray(argv[i]));
        arguments.append(QString::fromLocal8Bit(argv[i]));
    }
    return Parse(arguments, bytes);
}

QString UsageText() {
    return "Usage: kurvex [FILE]...\n"
           "       kurvex --runs FILE...\n"
           "       kurvex [--runs] --send TEXT\n"
           "       kurvex --help | --help-all | --version\n";
}

QString HelpText() {
    return UsageText() +
           "\n"
           "Kurvex shows the results of the Ohmix circuit simulator as curves.\n"
           "\n"
           "  FILE         a result file to open (.txt, .fra, .csv or .kfd); each file opens in\n"
           "               a window of its own. While Kurvex already runs for this user, the\n"
           "               files are handed to it and this command ends.\n"
           "  --runs       opens the files as runs of one view, drawn side by side, in a\n"
           "               window of a viewer of its own.\n"
           "  --send TEXT  asks the running Kurvex to open TEXT, or to reload it when it is\n"
           "               open already, as the simulator does. TEXT is a file name (a relative\n"
           "               one is taken from the current folder) and may be written\n"
           "               prefix<a,b,...>suffix, of which the first name counts.\n"
           "               With --runs all its names open as runs of one view.\n"
           "               Exit status 0 when the request was accepted, 1 otherwise.\n"
           "  -h, --help   shows this help.\n"
           "  --help-all   shows this help with the files and the environment Kurvex uses.\n"
           "  --version    shows the version.\n"
           "  --           ends the options: every argument after it is a file.\n"
           "\n"
           "Exit status:\n"
           "  0  done\n"
           "  1  a request that was refused or found no running Kurvex\n"
           "  2  a bad command line\n";
}

QString HelpAllText() {
    // help2man makes the sections of the man page from "Files:" and "Environment:".
    return HelpText() +
           "\n"
           "Files:\n"
           "  $XDG_CACHE_HOME/kurvex  the column cache: large results are converted into it\n"
           "                          once and read from it since (~/.cache/kurvex when\n"
           "                          XDG_CACHE_HOME is unset or not an absolute path); the\n"
           "                          socket through which a second start hands its files\n"
           "                          to the running viewer when XDG_RUNTIME_DIR is unset\n"
           "\n"
           "Environment:\n"
           "  XDG_CACHE_HOME   the column cache is the folder kurvex in it when it is an\n"
           "                   absolute path, else $HOME/.cache/kurvex\n"
           "  XDG_RUNTIME_DIR  the folder of the socket of the running viewer\n";
}

QByteArray AbsoluteRequestText(const QByteArray& text, const QByteArray& folder) {
    if (text.isEmpty() || text.startsWith('/')) return text;
    if (folder.isEmpty()) return {};
    return folder.endsWith('/') ? folder + text : folder + '/' + text;
}

QString AbsoluteRequestText(const QString& text, const QString& folder) {
    if (text.isEmpty() || text.startsWith('/')) return text;
    if (folder.isEmpty()) return {};
    return folder.endsWith('/') ? folder + text : folder + '/' + text;
}

QByteArray CurrentFolder() {
    std::error_code failed;
    const std::filesystem::path folder = std::filesystem::current_path(failed);
    return failed ? QByteArray() : QByteArray(folder.c_str());
}

int RunWithoutWindow(const CommandLine& line) {
    if (!line.error.isEmpty()) {
        std::fprintf(stderr, "kurvex: %s\n%sTry 'kurvex --help'.\n", qPrintable(line.error),
                     qPrintable(UsageText()));
        return 2;
    }
    if (line.help) {
        std::fputs(qPrintable(HelpText()), stdout);
        return 0;
    }
    if (line.helpAll) {
        std::fputs(qPrintable(HelpAllText()), stdout);
        return 0;
    }
    if (line.version) {
        std::fputs(qPrintable(VersionText()), stdout);
        return 0;
    }
    if (!line.send) return -1;
    QByteArray text = AbsoluteRequestText(line.sendBytes, CurrentFolder());
    if (line.runs && !text.isEmpty())
        text.prepend(
            QByteArray(kRunsRequestFlag.data(), static_cast<qsizetype>(kRunsRequestFlag.size())));
    if (text.isEmpty() && !line.sendBytes.isEmpty()) {
        std::fputs("kurvex: cannot tell the current folder of a relative request\n", stderr);
        return 1;
    }
    QString error;
    if (SendRequestBytes(text, &error) != 0) {
        std::fprintf(stderr, "kurvex: %s\n", qPrintable(error));
        return 1;
    }
    return 0;
}

int HandOverFiles(const QList<QByteArray>& files, const QByteArray& folder, QString* error) {
    QStringList problems;
    for (const QByteArray& file : files) {
        const QByteArray name = AbsoluteRequestText(file, folder);
        const std::vector<std::string> names = ExpandFileNamePattern(name.toStdString());
        QString why;
        if (name.isEmpty() && !file.isEmpty())
            why = "cannot tell the current folder";
        else if (names.size() != 1 || names.front() != name.toStdString())
            why = "the running Kurvex would read its name as a name pattern";
        else if (SendRequestBytes(name, &why) == 0)
            continue;
        problems.append(QString("%1: %2").arg(QString::fromLocal8Bit(file), why));
    }
    if (error) *error = problems.join('\n');
    return problems.isEmpty() ? 0 : 1;
}

QString VersionText() {
    return QString("kurvex %1\n").arg(KURVEX_VERSION_STRING);
}

}  // namespace kurvex
