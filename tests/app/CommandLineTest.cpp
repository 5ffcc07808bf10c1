#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "app/CommandLine.h"
#include "cli/CommandTable.h"

namespace kurvex {
namespace {

TEST(CommandLine, ParsesFilesOptionsAndRefusals) {
    struct Case {
        QStringList arguments;
        QStringList files;
        std::string flags;  // s: send, h: help, v: version, !: refused
        QString sendText;
    };
    const Case cases[] = {
        {{"a.txt", "b.kfd"}, {"a.txt", "b.kfd"}, "", ""},
        {{"-h", "a.txt"}, {"a.txt"}, "h", ""},
        {{"--version"}, {}, "v", ""},
        {{"--send", "/r/run<1,2>.txt"}, {}, "s", "/r/run<1,2>.txt"},
        {{"--send=/r/x.txt"}, {}, "s", "/r/x.txt"},
        // The text after --send is taken whole, even when it looks like an option.
        {{"--send", "--help"}, {}, "s", "--help"},
        {{"--", "-odd.txt", "--help"}, {"-odd.txt", "--help"}, "", ""},
        {{"-"}, {"-"}, "", ""},
        // Qt's own options are left to QApplication.
        {{"-platform", "offscreen", "a.txt", "-reverse"}, {"a.txt"}, "", ""},
        {{"--send"}, {}, "s!", ""},
        {{"--send", "a", "--send", "b"}, {}, "s!", "a"},
        {{"--send", "a", "b.txt"}, {"b.txt"}, "s!", "a"},
        {{"-x", "a.txt"}, {}, "!", ""},
        {{"a.txt", "-platform"}, {"a.txt"}, "!", ""},
        {{"--runs", "a", "b"}, {"a", "b"}, "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        const CommandLine line = ParseCommandLine(c.arguments);
        const auto has = [&c](char flag) { return c.flags.find(flag) != std::string::npos; };
        EXPECT_EQ(!line.error.isEmpty(), has('!')) << line.error.toStdString();
        if (has('!')) continue;
        EXPECT_EQ(line.files, c.files);
        EXPECT_EQ(
            std::tuple(line.send, line.sendText, line.help, line.version, line.runs),
            std::tuple(has('s'), c.sendText, has('h'), has('v'), c.arguments.contains("--runs")));
    }
}

TEST(CommandLine, KeepsTheBytesOfEachArgument) {
    // A Latin-1 name is no UTF-8: its bytes must reach the request check unchanged.
    char program[] = "kurvex", send[] = "--send", text[] = "/r/\xE4.txt", file[] = "b\xFF.txt";
    char* sendArgv[] = {program, send, text};
    const CommandLine sent = ParseCommandLine(3, sendArgv);
    EXPECT_EQ(sent.sendBytes, QByteArray(text));
    char* fileArgv[] = {program, file};
    const CommandLine opened = ParseCommandLine(2, fileArgv);
    EXPECT_EQ(opened.fileBytes, QList<QByteArray>{QByteArray(file)});
}

TEST(CommandLine, RequestTextsBecomeAbsolute) {
    struct Case {
        QByteArray text, folder, expected;
    };
    const Case cases[] = {
        {"/r/buck.txt", "/home/u/sim", "/r/buck.txt"},
        {"buck.txt", "/home/u/sim", "/home/u/sim/buck.txt"},
        {"out/run<1,2>.txt", "/home/u/sim/", "/home/u/sim/out/run<1,2>.txt"},
        {"buck.txt", "", ""},
        {"", "/home/u", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(AbsoluteRequestText(c.text, c.folder), c.expected) << c.text.toStdString();
        EXPECT_EQ(AbsoluteRequestText(QString(c.text), QString(c.folder)), QString(c.expected));
    }
}

TEST(CommandLine, ExitStatusWithoutAWindow) {
    struct Case {
        QStringList arguments;
        int status;
    };
    const Case cases[] = {
        {{"--help"}, 0},
        {{"--version"}, 0},
        {{"--bogus"}, 2},
        {{"a.txt"}, -1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(RunWithoutWindow(ParseCommandLine(c.arguments)), c.status)
            << c.arguments.join(' ').toStdString();
}

// The completion script offers the options kurvex-cli's table lists for the viewer.
TEST(CommandLine, TakesAndHelpsEveryOptionTheCompletionOffers) {
    for (const cli::OptionSpec& o : cli::ViewerCommand().options) {
        for (const char* name : o.names) {
            QStringList arguments = {name};
            if (o.value) arguments.append("x");
            EXPECT_TRUE(ParseCommandLine(arguments).error.isEmpty()) << name;
            EXPECT_TRUE(HelpAllText().contains(QString(name) + (o.value ? " " : ""))) << name;
        }
    }
}

}  // namespace
}  // namespace kurvex
