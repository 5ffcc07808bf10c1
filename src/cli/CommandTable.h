#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "cli/CliSupport.h"

namespace kurvex::cli {

// One fixed value an option takes.
struct OptionChoice {
    const char* value;
    const char* help;  // may be empty
};

// One option of a command.
struct OptionSpec {
    OptionSpec(std::vector<const char*> names, const char* value, const char* help,
               std::vector<OptionChoice> choices = {}, bool file = false)
        : names(std::move(names)),
          value(value),
          help(help),
          choices(std::move(choices)),
          file(file) {}

    std::vector<const char*> names;  // "-h", "--help": every spelling the parser accepts
    const char* value = nullptr;     // the value's name ("OUT"); null for a flag
    const char* help = "";           // may hold line breaks; wrapped to the help's width
    std::vector<OptionChoice> choices;
    bool file = false;  // the value is a file name (completed as one)
};

// One command of kurvex-cli, or the viewer's own command line (name empty).
struct CommandSpec {
    const char* name;
    const char* summary;                // one line for the list of commands
    std::vector<const char*> usage;     // synopsis lines after "kurvex-cli "
    std::vector<const char*> operands;  // positionals; those naming a result file end in "FILE"
    int anyPlace = -1;        // the positional taken whatever it begins with (see ParseArgs)
    const char* description;  // what the command does, before its options
    std::vector<OptionSpec> options;
    const char* notes = "";     // after the options
    const char* examples = "";  // command lines, one per line
};

// Every command, in the order the help lists them.
const std::vector<CommandSpec>& CommandTable();
// The command named `name`; null for none.
const CommandSpec* FindCommand(std::string_view name);
// The command named `name`, which the table must hold.
const CommandSpec& Command(std::string_view name);
// The viewer's options, for its help and completion.
const CommandSpec& ViewerCommand();
// The options kurvex-cli takes before any command.
const std::vector<OptionSpec>& ProgramOptions();

// How many arguments follow `option`: a word of its value's name each.
size_t ValueCount(const OptionSpec& option);

// ParseArgs with the options the table lists for `command`.
bool ParseCommandArgs(const CommandSpec& command, const std::vector<std::string>& args, Args& out,
                      std::string& error);

// Parses `argv` for `command`: -1 when the command goes on, else the status it
// ends with (the usage status after a bad command line, 0 after its --help).
int StartCommand(const CommandSpec& command, const std::vector<std::string>& argv, Args& args,
                 std::FILE* out, std::FILE* err);

// The texts of kurvex-cli --help, COMMAND --help, --help-all and --version.
std::string ProgramHelp();
std::string CommandHelp(const CommandSpec& command);
std::string HelpAll();
std::string VersionText();

// The extensions of the files Kurvex reads, from the reader table, without dots.
std::vector<std::string> ReadableExtensions();

// A bash completion script for kurvex-cli and kurvex.
std::string BashCompletion();

}  // namespace kurvex::cli
