#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>

#include "cli/CliTestSupport.h"
#include "cli/CommandTable.h"

namespace kurvex::cli {
namespace {

using clitest::Cli;
using clitest::Has;

// The option names that lead the option lines of a help text: an indented line
// starting with '-', its names before two blanks.
std::set<std::string> HelpedOptions(const std::string& help) {
    std::set<std::string> names;
    std::istringstream lines(help);
    for (std::string line; std::getline(lines, line);) {
        const size_t first = line.find_first_not_of(' ');
        if (first == 0 || first == std::string::npos || line[first] != '-') continue;
        std::istringstream words(line.substr(first, line.find("  ", first) - first));
        for (std::string word; words >> word;) {
            if (word.back() == ',') word.pop_back();
            if (word[0] == '-') names.insert(word);
        }
    }
    return names;
}

// The text of `help` from the line `heading` to the next blank-led heading.
std::string Section(const std::string& help, const std::string& heading) {
    const size_t at = help.find("\n" + heading + "\n");
    if (at == std::string::npos) return "";
    const size_t end = help.find("\nkurvex-cli ", at + 1);
    return help.substr(at, end == std::string::npos ? std::string::npos : end - at);
}

// The completion script's line that begins with `lead`.
std::string ScriptLine(const std::string& script, const std::string& lead) {
    const size_t at = script.find("\n        " + lead);
    return at == std::string::npos ? "" : script.substr(at + 1, script.find('\n', at + 1) - at);
}

TEST(CommandTable, EveryOptionIsHelpedAndCompletedAndNoOtherIsTaken) {
    const std::string all = Cli({"--help-all"}).out;
    const std::string script = Cli({"completion", "bash"}).out;
    std::set<std::string> everyName = {"--no-such-option"};
    for (const CommandSpec& c : CommandTable())
        for (const OptionSpec& o : c.options) everyName.insert(o.names.begin(), o.names.end());
    const std::string absent = (test::ProcessDir() / "absent.txt").string();

    for (const CommandSpec& c : CommandTable()) {
        SCOPED_TRACE(c.name);
        const clitest::CliRun help = Cli({c.name, "--help"});
        EXPECT_EQ(help.status, 0);
        const std::set<std::string> helped = HelpedOptions(help.out);
        const std::set<std::string> inAll =
            HelpedOptions(Section(all, std::string("kurvex-cli ") + c.name + ":"));
        const std::string line = ScriptLine(script, std::string("'") + c.name + "') opts='");
        const size_t opts = line.find("opts='") + 6;
        const std::string words = " " + line.substr(opts, line.find('\'', opts) - opts) + " ";
        EXPECT_TRUE(Has(ScriptLine(script, "'') opts="), c.name));
        std::set<std::string> own;
        for (const OptionSpec& o : c.options) {
            for (const char* name : o.names) {
                SCOPED_TRACE(name);
                own.insert(name);
                EXPECT_TRUE(helped.count(name));
                EXPECT_TRUE(inAll.count(name));
                EXPECT_TRUE(Has(words, " " + std::string(name) + " "));
                for (const OptionChoice& choice : o.choices)
                    EXPECT_TRUE(
                        Has(ScriptLine(script, std::string(c.name) + ":" + name), choice.value));
                // Taken: whatever goes wrong next, not the option. A missing file
                // stops every command before it writes anything.
                std::vector<std::string> args = {c.name, name};
                if (o.value) args.push_back("1");
                args.push_back(absent);
                EXPECT_EQ(Cli(args).err.find("unknown option"), std::string::npos);
            }
        }
        for (const std::string& name : everyName) {
            if (own.count(name)) continue;
            const clitest::CliRun r = Cli({c.name, name, "1", absent});
            if (r.err.find("needs a build with the Qt shell") != std::string::npos) continue;
            EXPECT_EQ(r.status, kExitUsage) << name;
            EXPECT_TRUE(Has(r.err, "unknown option " + name));
        }
    }
}

}  // namespace
}  // namespace kurvex::cli
