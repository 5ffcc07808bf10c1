#include "cli/CompletionCommand.h"

#include "cli/CliSupport.h"
#include "cli/CommandTable.h"
#include "cli/ExitStatus.h"

namespace kurvex::cli {

namespace {

// The words of `options`' names, blank-separated; with `valuesOnly` those
// taking one value.
std::string Names(const std::vector<OptionSpec>& options, bool valuesOnly = false) {
    std::string out;
    for (const OptionSpec& o : options)
        for (const char* name : o.names)
            if (!valuesOnly || ValueCount(o) == 1)
                out += (out.empty() ? "" : " ") + std::string(name);
    return out;
}

// "NAME:N" for each option taking N > 1 values, blank-separated.
std::string Counted(const std::vector<OptionSpec>& options) {
    std::string out;
    for (const OptionSpec& o : options)
        for (const char* name : o.names)
            if (ValueCount(o) > 1)
                out += (out.empty() ? "" : " ") + std::string(name) + ":" +
                       std::to_string(ValueCount(o));
    return out;
}

// The case arms of one command: its words, and what follows each of its
// options that takes a value. `key` is the command's name in the arms.
void AddCommand(const std::string& key, const CommandSpec& c, std::string& words,
                std::string& values) {
    std::string operands;
    if (key == "completion") operands = " words='bash'";
    const int files = key.empty() ? -1 : static_cast<int>(c.operands.size() - (c.anyPlace >= 0));
    words +=
        "        '" + key + "') opts='" + Names(c.options) + "'; vals='" + Names(c.options, true) +
        "';" + (Counted(c.options).empty() ? "" : " multi='" + Counted(c.options) + "';") +
        " nfiles=" + std::to_string(key == "completion" ? 0 : files) + ";" + operands + " ;;\n";
    for (const OptionSpec& o : c.options) {
        if (ValueCount(o) != 1) continue;
        std::string arm;
        for (const char* name : o.names) arm += (arm.empty() ? "" : "|") + key + ":" + name;
        if (o.file) {
            values += "        " + arm + ") __kurvex_files any; return ;;\n";
        } else if (!o.choices.empty()) {
            std::string list;
            for (const OptionChoice& choice : o.choices)
                list += (list.empty() ? "" : " ") + std::string(choice.value);
            values += "        " + arm + ") COMPREPLY=($(compgen -W '" + list +
                      "' -- \"$cur\")); return ;;\n";
        }
    }
}

}  // namespace

std::string BashCompletion() {
    std::string extensions;
    for (const std::string& e : ReadableExtensions())
        extensions += (extensions.empty() ? "" : "|") + e;
    std::string commands;
    for (const CommandSpec& c : CommandTable())
        commands += (commands.empty() ? "" : " ") + std::string(c.name);

    std::string words, values;
    words += "        '') opts='" + Names(ProgramOptions()) + "'; words='" + commands + "' ;;\n";
    for (const CommandSpec& c : CommandTable()) AddCommand(c.name, c, words, values);
    std::string viewerWords, viewerValues;
    AddCommand("", ViewerCommand(), viewerWords, viewerValues);

    return "# bash completion for kurvex-cli and kurvex, made by kurvex-cli completion bash\n"
           "\n"
           "# Files into COMPREPLY: those Kurvex reads (\"in\"), else any.\n"
           "__kurvex_files() {\n"
           "    local IFS=$'\\n' f\n"
           "    COMPREPLY=()\n"
           "    compopt -o filenames 2>/dev/null\n"
           "    for f in $(compgen -f -- \"$cur\"); do\n"
           "        if [[ -d $f || $1 != in || ${f,,} == *.@(" +
           extensions +
           ") ]]; then\n"
           "            COMPREPLY+=(\"$f\")\n"
           "        fi\n"
           "    done\n"
           "}\n"
           "\n"
           "# The rest of a command line from word `first` on, given opts (its options),\n"
           "# vals (those taking a value), multi (NAME:N for those taking N values),\n"
           "# nfiles (its leading result files; -1 any number) and words (its fixed\n"
           "# operands).\n"
           "__kurvex_operands() {\n"
           "    local i n=0 m w\n"
           "    for ((i = $1; i < COMP_CWORD; i++)); do\n"
           "        case ${COMP_WORDS[i]} in\n"
           "            --) ;;\n"
           "            -*) w=${COMP_WORDS[i]}\n"
           "                [[ \" $vals \" == *\" $w \"* ]] && ((i++))\n"
           "                for m in $multi; do [[ ${m%:*} == \"$w\" ]] && ((i += ${m##*:})); "
           "done\n"
           "                # Within an option's values: nothing to offer.\n"
           "                if ((i >= COMP_CWORD)); then COMPREPLY=(); return; fi ;;\n"
           "            *) ((n++)) ;;\n"
           "        esac\n"
           "    done\n"
           "    if [[ \" $vals \" == *\" $prev \"* ]]; then\n"
           "        COMPREPLY=()\n"
           "    elif [[ $cur == -* ]]; then\n"
           "        COMPREPLY=($(compgen -W \"$opts\" -- \"$cur\"))\n"
           "    elif [[ -n $words && $n -eq 0 ]]; then\n"
           "        COMPREPLY=($(compgen -W \"$words\" -- \"$cur\"))\n"
           "    elif ((nfiles < 0 || n < nfiles)); then\n"
           "        __kurvex_files in\n"
           "    else\n"
           "        COMPREPLY=()\n"
           "    fi\n"
           "}\n"
           "\n"
           "_kurvex_cli() {\n"
           "    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}\n"
           "    local cmd='' at=1 i opts='' vals='' multi='' nfiles=0 words=''\n"
           "    for ((i = 1; i < COMP_CWORD; i++)); do\n"
           "        if [[ ${COMP_WORDS[i]} != -* ]]; then\n"
           "            cmd=${COMP_WORDS[i]} at=$((i + 1))\n"
           "            break\n"
           "        fi\n"
           "    done\n"
           "    case $cmd in\n" +
           words +
           "        *) COMPREPLY=(); return ;;\n"
           "    esac\n"
           "    case $cmd:$prev in\n" +
           values +
           "    esac\n"
           "    __kurvex_operands $at\n"
           "}\n"
           "\n"
           "_kurvex() {\n"
           "    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}\n"
           "    local cmd='' opts='' vals='' multi='' nfiles=0 words=''\n"
           "    case $cmd in\n" +
           viewerWords +
           "    esac\n"
           "    case $cmd:$prev in\n" +
           viewerValues +
           "    esac\n"
           "    __kurvex_operands 1\n"
           "}\n"
           "\n"
           "complete -F _kurvex_cli kurvex-cli\n"
           "complete -F _kurvex kurvex\n";
}

int Completion(const std::vector<std::string>& argv, std::FILE* out, std::FILE* err) {
    const CommandSpec& command = *FindCommand("completion");
    Args args;
    if (const int status = StartCommand(command, argv, args, out, err); status >= 0) return status;
    if (args.positional.size() != 1) return Usage(err, "completion needs a SHELL: bash");
    if (args.positional[0] != "bash") return Usage(err, "no completion for " + args.positional[0]);
    std::fputs(BashCompletion().c_str(), out);
    return kExitOk;
}

}  // namespace kurvex::cli
