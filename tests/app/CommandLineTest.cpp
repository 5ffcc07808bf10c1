#include <gtest/gtest.h>

#include "app/CommandLine.h"

namespace kurvex {
namespace {

TEST(CommandLine, ParsesFilesOptionsAndRefusals) {
    struct Case {
        QStringList arguments;
        QStringList files;
        bool send, help, version;
        QString sendText;
        bool refused;
    };
    const Case cases[] = {
        {{}, {}, false, false, false, {}, false},
        {{"a.txt", "b.kfd"}, {"a.txt", "b.kfd"}, false, false, false, {}, false},
        {{"--help"}, {}, false, true, false, {}, false},
        {{"-h", "a.txt"}, {"a.txt"}, false, true, false, {}, false},
        {{"--version"}, {}, false, false, true, {}, false},
        {{"--send", "/r/run<1,2>.txt"}, {}, true, false, false, "/r/run<1,2>.txt", false},
        {{"--send=/r/x.txt"}, {}, true, false, false, "/r/x.txt", false},
        // The text after --send is taken whole, even when it looks like an option.
        {{"--send", "--help"}, {}, true, false, false, "--help", false},
        {{"--send", ""}, {}, true, false, false, "", false},
        {{"--", "-odd.txt", "--help"}, {"-odd.txt", "--help"}, false, false, false, {}, false},
        {{"-"}, {"-"}, false, false, false, {}, false},
        // Qt's own options are left to QApplication.
        {{"-platform", "offscreen", "a.txt", "-reverse"},
         {"a.txt"},
         false,
         false,
         false,
         {},
         false},
        {{"--send"}, {}, true, false, false, {}, true},
        {{"--send", "a", "--send", "b"}, {}, true, false, false, "a", true},
        {{"--send", "a", "b.txt"}, {"b.txt"}, true, false, false, "a", true},
        {{"--frobnicate"}, {}, false, false, false, {}, true},
        {{"-x", "a.txt"}, {}, false, false, false, {}, true},
        {{"a.txt", "-platform"}, {"a.txt"}, false, false, false, {}, true},
        {{"--runs", "a", "b"}, {"a", "b"}, false, false, false, {}, false},
        {{"--runs", "--send", "a"}, {}, true, false, false, "a", false},
        {{"--send", "/r/<1,2>/out.raw", "--runs"},
         {},
         true,
         false,
         false,
         "/r/<1,2>/out.raw",
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        const CommandLine line = ParseCommandLine(c.arguments);
        EXPECT_EQ(!line.error.isEmpty(), c.refused) << line.error.toStdString();
        if (c.refused) continue;
        EXPECT_EQ(line.files, c.files);
        EXPECT_EQ(line.send, c.send);
        EXPECT_EQ(line.sendText, c.sendText);
        EXPECT_EQ(line.help, c.help);
        EXPECT_EQ(line.version, c.version);
        EXPECT_EQ(line.runs, c.arguments.contains("--runs"));
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
        {"buck.txt", "/", "/buck.txt"},
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
        {{"--help"}, 0}, {{"--version"}, 0}, {{"--bogus"}, 2},
        {{"--send"}, 2}, {{"a.txt"}, -1},    {{}, -1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(RunWithoutWindow(ParseCommandLine(c.arguments)), c.status)
            << c.arguments.join(' ').toStdString();
}

}  // namespace
}  // namespace kurvex
