#pragma once

#include <QString>
#include <QStringList>

namespace kurvex {

// What the program's arguments ask for.
struct CommandLine {
    QStringList files;  // result files to open, as given
    QString sendText;   // the request text of --send
    bool send = false;
    bool help = false;
    bool version = false;
    QString error;  // set when the arguments are refused; the rest is then meaningless
};

// Parses the arguments after the program name. Qt's own options (-platform NAME, -style NAME,
// -reverse, ...) are passed over: QApplication reads them itself.
CommandLine ParseCommandLine(const QStringList& arguments);

// A request text as the running viewer needs it: a relative name is taken from `folder` (the
// sender's working folder, which the viewer does not share); patterns stay as they are.
QString AbsoluteRequestText(const QString& text, const QString& folder);

// The short usage lines shown after a refused command line.
QString UsageText();
// The text of kurvex --help.
QString HelpText();
// The text of kurvex --version.
QString VersionText();

}  // namespace kurvex
