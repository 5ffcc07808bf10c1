#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace kurvex {

// What the program's arguments ask for.
struct CommandLine {
    QStringList files;            // result files to open, as given
    QList<QByteArray> fileBytes;  // the same, byte for byte as the command line held them
    QString sendText;             // the request text of --send
    QByteArray sendBytes;         // the same, byte for byte (it need not be UTF-8)
    bool send = false;
    bool runs = false;  // the files open as runs of one view
    bool help = false;
    bool helpAll = false;  // the help with files, environment and exit status, for a man page
    bool version = false;
    QString error;  // set when the arguments are refused; the rest is then meaningless
};

// Parses the arguments after the program name. Qt's own options (-platform NAME, -style NAME,
// -reverse, ...) are passed over: QApplication reads them itself.
CommandLine ParseCommandLine(const QStringList& arguments);
// The same for main's arguments (argv[0] is the program), keeping each argument's bytes.
CommandLine ParseCommandLine(int argc, char** argv);

// A request text as the running viewer needs it: a relative name is taken from `folder` (the
// sender's working folder, which the viewer does not share); patterns stay as they are. Empty
// for a relative name when the folder is unknown (empty).
QByteArray AbsoluteRequestText(const QByteArray& text, const QByteArray& folder);
// The same for a name already read as text.
QString AbsoluteRequestText(const QString& text, const QString& folder);
// The working folder, byte for byte (empty when it cannot be told).
QByteArray CurrentFolder();

// Hands the files of a second `kurvex FILE...` to the running viewer, each as an absolute name
// taken from `folder`; 0 when it accepted every one, else 1 with one line per failure in *error.
// A name that the viewer would read as a pattern ("a<1>.txt") is not handed over.
int HandOverFiles(const QList<QByteArray>& files, const QByteArray& folder, QString* error);

// The start-up steps that need no display: --help, --help-all and --version print and give 0; a refused
// command line gives its reason and the usage on standard error and 2; --send delivers its
// request and gives 0 when the running viewer accepted it, else 1 with the reason on standard
// error. -1 when the viewer itself is to start.
int RunWithoutWindow(const CommandLine& line);

// The short usage lines shown after a refused command line.
QString UsageText();
// The text of kurvex --help.
QString HelpText();
// The text of kurvex --help-all.
QString HelpAllText();
// The text of kurvex --version.
QString VersionText();

}  // namespace kurvex
