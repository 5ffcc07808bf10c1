#include "cli/CommandTable.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <map>
#include <set>
#include <string>

#include "KurvexVersion.h"
#include "cli/ExitStatus.h"
#include "data/formats/ReaderTable.h"

namespace kurvex::cli {

namespace {

constexpr size_t kWidth = 79;

const OptionSpec kHelp{{"-h", "--help"}, nullptr, "print this help"};

OptionSpec Plot(const char* help) {
    return {{"--plot"}, "N", help};
}

OptionSpec Run(const char* help) {
    return {{"--run"}, "K", help};
}

// The options that join runs of other files and line them up, after a
// command's own (`own`, its help last); those it names already (measure's
// --level) it keeps, their help telling what else they do.
std::vector<OptionSpec> WithRunOptions(std::vector<OptionSpec> own) {
    static const std::vector<OptionSpec> runOptions = {
        {{"--add-run"},
         "FILE",
         "FILE (any format read) joins the result as its next run(s); its X must be named "
         "alike, or both be time or both frequency; repeat for more",
         {},
         true},
        {{"--map"}, "K FROM TO", "run K's (from 1) variable FROM shows as TO"},
        {{"--shift"}, "K DX", "run K's X is shifted by DX (the shifts of one run add up)"},
        {{"--scale"},
         "K NAME FACTOR",
         "run K's variable NAME (as it shows after --map) is multiplied by FACTOR (a probe "
         "factor; the factors of one variable multiply)"},
        {{"--align"},
         "K",
         "run K is shifted, on top of its --shift, so that its first --edge crossing of --level "
         "by --on at or after --after falls on the same crossing of run 1; repeat for more runs"},
        {{"--on"}, "NAME", "with --align: the variable, as the runs show it"},
        {{"--level"}, "L", "with --align: the level crossed"},
        {{"--edge"},
         "EDGE",
         "with --align: the direction of the crossing:",
         {{"rise", "rising (the default)"}, {"fall", "falling"}}},
        {{"--after"}, "X", "with --align: the crossing's earliest X (default: from the start)"},
    };
    const OptionSpec help = own.back();
    own.pop_back();
    for (const OptionSpec& o : runOptions) {
        const bool taken = std::any_of(own.begin(), own.end(), [&](const OptionSpec& mine) {
            return std::string(mine.names.front()) == o.names.front();
        });
        if (!taken) own.push_back(o);
    }
    own.push_back(help);
    return own;
}

// `usage` and the synopsis of the run options.
std::vector<const char*> WithRunUsage(std::vector<const char*> usage) {
    usage.push_back("    [--add-run FILE]... [--map K FROM TO]... [--shift K DX]...");
    usage.push_back(
        "    [--scale K NAME FACTOR]... [--align K]... [--on NAME --level L "
        "[--edge rise|fall] [--after X]]");
    return usage;
}

OptionSpec Output(const char* help) {
    return {{"-o"}, "OUT", help, {}, true};
}

const std::vector<OptionChoice>& WriteFormats() {
    static const std::vector<OptionChoice> formats = {
        {"txt", "fixed-width columns (the default for .txt and .fra)"},
        {"tsv", "tab-separated (the default for .tsv)"},
        {"csv", "comma-separated (the default for .csv)"},
        {"kfd",
         "Kurvex block container (the default for .kfd); the display settings a .kfd input "
         "carries go along"},
        {"kfd7", "Kurvex data-and-settings file"},
        {"mat",
         "compressed MATLAB level-5 file (the default for .mat): one column vector per variable "
         "under a valid MATLAB name, the original names in the cell array kurvex_names, invalid "
         "points as NaN"},
    };
    return formats;
}

const char kRunsNote[] =
    "Run 'kurvex-cli COMMAND --help' for a command's options. '--' ends the\n"
    "options of every command.\n"
    "A result may hold several runs of its variables (an LTspice .step sweep, the\n"
    "like plots of an ngspice loop). measure, fft, eval, convert and render work on\n"
    "run 1 unless --run K (from 1) names another; --runs takes every run. They and\n"
    "meas also take --add-run FILE to join another file's runs (a capture beside a\n"
    "simulation) and the options that line runs up.\n";

// After the options of every command that takes --runs.
const char kRunOptionsNote[] =
    "--add-run joins the runs of other files (a capture beside a simulation) to the\n"
    "result read; then --map, --shift, --scale and --align line their runs up, in\n"
    "that order whatever their order on the line, before --run or --runs picks\n"
    "runs and before any formula is built. A run or a variable they name that does\n"
    "not exist ends the command with status 2. An added file that cannot be read,\n"
    "or whose X is of another kind, ends it with status 1 (2 when it is missing).\n";

const char kExitStatus[] =
    "  0  done\n"
    "  1  a file could not be read or written, a name was not found, a formula was\n"
    "     rejected, no spectrum could be made or nothing could be measured (no whole\n"
    "     cycle, no fundamental)\n"
    "  2  a bad command line or a missing file\n";

// Files and environment variables, each with what it does.
const std::vector<std::pair<const char*, const char*>> kFiles = {
    {"$XDG_CACHE_HOME/kurvex",
     "the column cache: large results are converted into it once and read from it since; "
     "least recently used entries make room for new ones. ~/.cache/kurvex when XDG_CACHE_HOME "
     "is unset or not an absolute path. kurvex-cli cache lists and clears it."},
};

const std::vector<std::pair<const char*, const char*>> kEnvironment = {
    {"XDG_CACHE_HOME",
     "the column cache is the folder kurvex in it when it is an absolute path, else "
     "$HOME/.cache/kurvex"},
    {"KURVEX_CACHE_ABOVE_MB",
     "result files larger than this many megabytes (MiB) are read through the column cache; "
     "0 never; 512 when unset or not a whole number from 0 to 1073741824"},
};

std::vector<CommandSpec> MakeTable() {
    std::vector<CommandSpec> table;
    table.push_back(
        {"info",
         "rows, variables, their extents and the runs",
         {"kurvex-cli info FILE [--json] [--plot N]"},
         {"FILE"},
         -1,
         "Reads a result file and prints its row count, whether X is equally spaced,\n"
         "whether any point was missing or invalid, and each variable's name, minimum\n"
         "and maximum over its valid points, and its unit when the file gives one. For\n"
         "a SPICE raw file it also lists the file's plots (analyses). What the reader\n"
         "noted or skipped in the file (MAT, COMTRADE) follows as lines \"note: ...\"\n"
         "(JSON: \"notes\"). Rows and variables are those of run 1; a file of several\n"
         "runs lists them as \"runs: N\" and a line \"  K NAME: R rows\" each. JSON\n"
         "always gives \"runs\": [{\"name\", \"rows\"}] (one entry for one run; its\n"
         "name may be empty).\n",
         {{{"--json"}, nullptr, "print one JSON object instead of text"},
          Plot("read plot N of a SPICE raw file (from 1) alone; without it the later plots like "
               "the first (same name and variables) are its runs"),
          kHelp},
         "",
         "kurvex-cli info --json buck.raw"});
    table.push_back(
        {"convert",
         "write a result file as text, .kfd or .mat",
         WithRunUsage({"kurvex-cli convert IN -o OUT [--format txt|tsv|csv|kfd|kfd7|mat] "
                       "[--plot N]",
                       "                   [--run K|--runs]"}),
         {"IN"},
         -1,
         "Reads a result file of any format and writes all its variables and rows.\n",
         WithRunOptions(
             {Plot("read plot N of a SPICE raw file (from 1) alone"),
              Run("write run K (from 1; default 1)"),
              {{"--runs"},
               nullptr,
               "write every run, run K into OUT with \"-K\" before its extension (out.csv: "
               "out-1.csv, out-2.csv, ...)"},
              Output("output file; '-' writes text to standard output"),
              {{"--format"}, "FORMAT", "the format written:", WriteFormats()},
              kHelp}),
         kRunOptionsNote,
         "kurvex-cli convert sweep.raw -o sweep.csv --runs"});
    table.push_back(
        {"eval",
         "X and a formula over the variables, as CSV",
         WithRunUsage({"kurvex-cli eval FILE FORMULA [-o OUT] [--run K|--runs]"}),
         {"FILE", "FORMULA"},
         1,
         "Reads a result file, computes FORMULA over its variables for every row and\n"
         "writes X and the result as comma-separated text; samples that are not finite\n"
         "numbers are written as NAN. A rejected formula prints 'error at P: MESSAGE'\n"
         "(P counts characters of the trimmed formula from 0) and exits with status 1.\n"
         "The argument after FILE is the formula even when it starts with '-'\n"
         "(eval FILE -V); '--' ends the options.\n",
         WithRunOptions(
             {Output("output file; '-' or no -o writes to standard output"),
              Run("evaluate run K (from 1; default 1)"),
              {{"--runs"},
               nullptr,
               "every run, one after the other, under one header: each line begins with its run "
               "number (column \"run\"); a run of fewer than two rows is left out with a line on "
               "standard error"},
              kHelp}),
         kRunOptionsNote,
         "kurvex-cli eval buck.txt 'V(out)*I(L1)' -o power.csv\n"
         "kurvex-cli eval sim.raw 'V(out)-V(out)@2' --add-run capture.isf --map 2 CH1 'V(out)' "
         "--scale 2 'V(out)' 0.1 --align 2 --on 'V(out)' --level 0 --edge rise"});
    table.push_back(
        {"merge",
         "B's variables merged into A by X",
         {"kurvex-cli merge A B -o OUT [--suffix S] [--format txt|tsv|csv|kfd|kfd7|mat]"},
         {"A", "B"},
         -1,
         "Merges the variables of B into A: one row for every X of either file, the\n"
         "other file's variables interpolated there and flagged missing. A variable of\n"
         "B named like one of A is renamed NAME_(S), S being B's file title unless\n"
         "--suffix gives it. The X variables must have the same name (any case).\n"
         "Formats and their defaults are those of convert.\n",
         {Output("output file; '-' writes text to standard output"),
          {{"--suffix"}, "S", "the suffix of B's variables named like one of A"},
          {{"--format"}, "FORMAT", "the format written, as for convert", WriteFormats()},
          kHelp},
         "",
         "kurvex-cli merge a.txt b.txt -o both.kfd"});
    table.push_back(
        {"fft",
         "amplitude spectra as .fft, .txt or .csv; harmonics and THD of one variable",
         WithRunUsage(
             {"kurvex-cli fft FILE [--var NAME]... [--window W] [--from X0 --to X1] -o OUT",
              "kurvex-cli fft FILE --var NAME --thd [--fundamental F] [--window W]",
              "               [--from X0 --to X1] [-o OUT] [--json]",
              "either form also takes [--run K | --runs]"}),
         {"FILE"},
         -1,
         "Amplitude spectra of the named variables (all after X when none is named)\n"
         "over [X0, X1] (all of X by default), resampled onto a uniform grid as the\n"
         "viewer's frequency display does. OUT's extension picks the format: .fft\n"
         "(fixed-width with a header the reader skips), .txt (tab-separated) or .csv;\n"
         "each has the order column from 1 and the frequency column first.\n",
         WithRunOptions(
             {{{"--var"}, "NAME", "a variable to transform; repeat for more"},
              {{"--window"},
               "W",
               "applied before the transform; amplitudes are corrected for the window's coherent "
               "gain:",
               {{"rect", "none (the default)"},
                {"hann", "Hann"},
                {"hamming", "Hamming"},
                {"blackman-harris", "Blackman-Harris"},
                {"flattop", "flat top"}}},
              {{"--from"}, "X0", "the X range's start, with --to"},
              {{"--to"}, "X1", "the X range's end, with --from"},
              Output("the spectra (.fft, .txt or .csv)"),
              {{"--thd"},
               nullptr,
               "the harmonics of the one variable: the fundamental is the strongest bin above 0 Hz "
               "(or the bin nearest F), orders 1 to 50 with frequency, amplitude and percent of "
               "the "
               "fundamental, and THD in percent"},
              {{"--fundamental"}, "F", "with --thd: the fundamental is the bin nearest F"},
              {{"--json"},
               nullptr,
               "with --thd: {fundamental, amplitude, thd, harmonics: [{order, frequency, "
               "amplitude, "
               "percent}]}, null where there is no value"},
              Run("the spectra of run K (from 1; default 1)"),
              {{"--runs"},
               nullptr,
               "every run: spectra into OUT with \"-K\" before its extension, --thd answers as "
               "measure --runs prints them"},
              kHelp}),
         kRunOptionsNote,
         "kurvex-cli fft buck.txt --var 'V(out)' --window hann -o out.fft\n"
         "kurvex-cli fft buck.txt --var 'I(L1)' --thd --json"});
    table.push_back(
        {"measure",
         "extrema, averages and values of a curve; per-cycle figures, edge and dead times, "
         "loop margins",
         WithRunUsage(
             {"kurvex-cli measure FILE NAME [--from X0 --to X1] [--at X]... [--json]",
              "kurvex-cli measure FILE NAME --cycles [--ref REF] [--level L] [--hysteresis H]",
              "                   [--from X0 --to X1] [--json]",
              "kurvex-cli measure FILE NAME --edges [--low L] [--high H] [--from X0 --to X1] "
              "[--json]",
              "kurvex-cli measure FILE A --dead B [--low L] [--high H] [--from X0 --to X1] "
              "[--json]",
              "kurvex-cli measure FILE AMP --margins [--phase PHASE] [--from X0 --to X1] [--json]",
              "kurvex-cli measure FILE NAME --figure KEY... [--with B] [--at X] [--level L]",
              "                   [--hysteresis H] [--low L] [--high H] [--from X0 --to X1] "
              "[--json]",
              "each form also takes [--run K | --runs]"}),
         {"FILE", "NAME"},
         1,
         "Measures the curve NAME (a variable, any letter case, or a formula) over the\n"
         "range [X0, X1] of X (all of X by default): its maximum and minimum (sample\n"
         "index, x, y), average, average of |y|, RMS and the number of samples. Each\n"
         "--at X adds the curve's values where the X variable passes X.\n"
         "\n"
         "--cycles measures NAME per cycle of REF (NAME itself by default): a cycle runs\n"
         "from one rising crossing of REF through L (the midpoint of its extremes) to the\n"
         "next, each after REF was below L - H/2 (H: a tenth of its span). Average and\n"
         "RMS are time integrals; duty is REF's time at or above L. Fewer than two\n"
         "crossings: exit status 1.\n"
         "--edges lists the rise and fall times of NAME between 10 % and 90 % of the\n"
         "span from L to H (its extremes by default), each at its 50 % crossing.\n"
         "--dead B gives the dead times from each fall of A to B's rise and from each\n"
         "fall of B to A's rise, negative where they overlap.\n"
         "--margins reads AMP (dB) and PHASE (degrees; by default the phase column that\n"
         "pairs with AMP, \"phase(V)\" for \"amp(V)\") as a loop gain over X as the\n"
         "frequency (Hz): gain crossover, phase margin, phase crossover, gain margin,\n"
         "-3 dB bandwidth, peak, and every crossing of 0 dB and of -180 degrees. X not\n"
         "increasing or no phase column: exit status 1.\n"
         "--figure KEY gives one figure of the catalogue of measurements (the Run\n"
         "Table's list; kurvex.catalogue() in Python names them all): avg, avg_abs,\n"
         "rms, min, max, time_avg, time_rms, integral, window_min, window_max, pp,\n"
         "value_at and slope_at (at --at X), period, frequency, duty, ripple,\n"
         "cycle_avg, cycle_rms, cycle_min and cycle_max (over the cycles of B, or of\n"
         "NAME itself), rise_time, fall_time, rises, falls, dead_time_to and\n"
         "dead_time_from (with B), and gain_crossover, phase_margin, phase_crossover,\n"
         "gain_margin, bandwidth_3db and peak_gain (NAME the gain, B the phase). A\n"
         "figure that cannot be made says why on its line and the others still come.\n",
         WithRunOptions(
             {{{"--from"}, "X0", "the X range's start, with --to"},
              {{"--to"}, "X1", "the X range's end, with --from"},
              {{"--at"}, "X", "the curve's value where X passes X; repeat for more"},
              {{"--cycles"}, nullptr, "per-cycle figures"},
              {{"--ref"}, "REF", "with --cycles: the curve whose crossings make the cycles"},
              {{"--level"},
               "L",
               "with --cycles: the crossing level; with --align also the level of the alignment"},
              {{"--hysteresis"}, "H", "with --cycles: the hysteresis around L (not negative)"},
              {{"--edges"}, nullptr, "rise and fall times"},
              {{"--dead"}, "B", "the dead times between A and B"},
              {{"--low"}, "L", "with --edges or --dead: the low level of the span"},
              {{"--high"}, "H", "with --edges or --dead: the high level of the span"},
              {{"--margins"}, nullptr, "gain and phase margins of a loop gain"},
              {{"--phase"}, "PHASE", "with --margins: the phase curve"},
              {{"--figure"}, "KEY", "a figure of the catalogue; repeat for more"},
              {{"--with"}, "B", "with --figure: the second curve (reference, partner or phase)"},
              {{"--json"},
               nullptr,
               "print one object; null where there is no value. Plain: max, min ({index, x, y}), "
               "avg, avg_abs, rms, samples and at (a list of lists). --cycles: cycles, period, "
               "frequency, duty, avg, rms, min, max, ripple and per_cycle [{start, end, avg, rms, "
               "min, max}]. --edges: rise and fall [{at, time}], rise_mean, fall_mean. --dead: "
               "dead_ab and dead_ba [{at, time}], dead_ab_mean, dead_ba_mean. --margins: "
               "gain_crossover, phase_margin, phase_crossover, gain_margin, bandwidth_3db, peak "
               "{frequency, gain} and crossings {gain [...], phase [...]}. --figure: one object "
               "per "
               "KEY with value, at where it applies, or error."},
              Run("measure run K of the file (from 1; default 1)"),
              {{"--runs"},
               nullptr,
               "measure every run: JSON {\"runs\": [{\"run\": K, \"name\": NAME, ...the keys "
               "above...}]}, text each run's answer under a line \"run K: NAME\""},
              kHelp}),
         kRunOptionsNote,
         "kurvex-cli measure buck.txt 'V(out)' --from 1m --to 2m --json\n"
         "kurvex-cli measure buck.txt 'I(L1)' --cycles --ref 'V(sw)'"});
    table.push_back(
        {"meas",
         "the .meas statements of a script, netlist or schematic over a result",
         WithRunUsage({"kurvex-cli meas FILE SCRIPT [--run K|--runs] [--json|--csv] [-o OUT]"}),
         {"FILE", "SCRIPT"},
         -1,
         "Runs the SPICE measurement statements (.meas/.measure, as ngspice and LTspice\n"
         "write them) of SCRIPT over the result FILE. SCRIPT is a file of statements, a\n"
         "netlist (.cir, .net, .sp, .spi, .ckt, or one by its content: its .meas lines and\n"
         "the meas commands of its .control block) or an LTspice schematic (.asc: its\n"
         "directives). It must be UTF-8 (or UTF-16) text of at most 4 MB.\n"
         "Text prints a line per statement: \"NAME = VALUE\" with \" at= X\" where the\n"
         "statement found its value at an X (MIN, MAX, FIND, WHEN, DERIV) and\n"
         "\" targ= X trig= X\" for TRIG/TARG, or \"NAME: failed: REASON\"; values as\n"
         "printf's %e. With --runs each statement gets a block \"Measurement: NAME\", a\n"
         "tab-separated header \"run name value\" (and \"at\", or \"trig targ\") and a\n"
         "line per run.\n"
         "A statement Kurvex does not measure is named on standard error as\n"
         "\"SCRIPT:LINE: NAME: not supported: REASON\"; the others still run. A\n"
         "statement that fails in a run fails in that run only: the exit status stays 0.\n"
         "A syntax error prints \"SCRIPT:LINE:COLUMN: MESSAGE\", measures nothing and\n"
         "exits with status 1.\n",
         WithRunOptions(
             {Run("measure run K of the file (from 1; default 1)"),
              {{"--runs"}, nullptr, "measure every run"},
              {{"--json"},
               nullptr,
               "print {\"runs\": [{\"run\": K, \"name\": NAME, \"measures\": {NAME: {\"value\", "
               "\"at\", \"trig\", \"targ\" or \"error\"}}}]}, only the keys that apply"},
              {{"--csv"},
               nullptr,
               "one row per run: run, name and a column per statement (its value; empty where it "
               "failed)"},
              Output("output file; '-' or no -o writes to standard output"),
              kHelp}),
         kRunOptionsNote,
         "kurvex-cli meas buck.raw buck.cir\n"
         "kurvex-cli meas sweep.raw checks.meas --runs --csv -o checks.csv"});
    table.push_back(
        {"render",
         "draw the curves as PNG, SVG or PDF",
         WithRunUsage({"kurvex-cli render FILE -o OUT [--size WxH] [--screen NAMES]... [--from X0 "
                       "--to X1] [--ylog] [--fft] [--run K | --runs]"}),
         {"FILE"},
         -1,
         "Draws the curves of a result file as the viewer shows them, into a PNG, SVG or\n"
         "PDF picture chosen by OUT's extension.\n",
         WithRunOptions(
             {Output("the picture (.png, .svg or .pdf)"),
              {{"--size"}, "WxH", "its size in pixels (default 1600x900)"},
              {{"--screen"},
               "NAMES",
               "one screen with the comma-separated variables (names in any case) or formulas as "
               "its curves; repeat for more screens. Without it: the layout saved in a .kfd FILE "
               "or "
               "in the .ini file beside FILE, else amplitude over phase for a frequency response, "
               "the one curve of a two-column file, else one screen per variable after X (at most "
               "eight)"},
              {{"--from"}, "X0", "the X range's start, with --to (default: all the data)"},
              {{"--to"}, "X1", "the X range's end, with --from"},
              {{"--ylog"}, nullptr, "logarithmic Y axes"},
              {{"--fft"},
               nullptr,
               "the amplitude spectra of the X range shown (frequency display)"},
              Run("draw run K of the file (from 1; default 1)"),
              {{"--runs"}, nullptr, "draw every run of the file, named in the legend"},
              kHelp}),
         kRunOptionsNote,
         "kurvex-cli render buck.txt -o buck.png --screen 'V(out)' --screen 'I(L1)'"});
    table.push_back(
        {"cache",
         "the column cache of large results",
         {"kurvex-cli cache --list|--clear [--json]"},
         {},
         -1,
         "Large results are opened through a cache of their columns in\n"
         "$XDG_CACHE_HOME/kurvex (~/.cache/kurvex), least recently used entries\n"
         "making room for new ones.\n",
         {{{"--list"}, nullptr, "one line per entry: source file, size in MB and last use"},
          {{"--clear"},
           nullptr,
           "remove every entry not being written right now; says how many and how "
           "much"},
          {{"--json"}, nullptr, "print one JSON object instead of text"},
          kHelp},
         "",
         "kurvex-cli cache --list"});
    table.push_back(
        {"completion",
         "a bash completion script for kurvex-cli and kurvex",
         {"kurvex-cli completion bash"},
         {"SHELL"},
         -1,
         "Prints a bash script that completes the commands and options of kurvex-cli and\n"
         "kurvex, the fixed values of options, and the names of the files Kurvex reads.\n"
         "Source it, or install it as bash-completion's completions/kurvex-cli with a\n"
         "link named kurvex beside it.\n",
         {kHelp},
         "",
         "source <(kurvex-cli completion bash)"});
    return table;
}

// `text` wrapped to kWidth, its first line after `lead` (padded to `indent`
// when shorter) and the others indented by `indent`. A line break in `text`
// starts a new line.
std::string Wrapped(const std::string& lead, size_t indent, const std::string& text) {
    std::string out = lead;
    if (out.size() + 2 > indent) {
        out += "\n";
        out += std::string(indent, ' ');
    } else {
        out += std::string(indent - out.size(), ' ');
    }
    size_t column = indent;
    bool lineEmpty = true;
    for (size_t at = 0; at <= text.size();) {
        size_t end = text.find_first_of(" \n", at);
        if (end == std::string::npos) end = text.size();
        const std::string word = text.substr(at, end - at);
        if (!word.empty()) {
            if (!lineEmpty && column + 1 + word.size() > kWidth) {
                out += "\n" + std::string(indent, ' ');
                column = indent;
                lineEmpty = true;
            }
            if (!lineEmpty) {
                out += ' ';
                ++column;
            }
            out += word;
            column += word.size();
            lineEmpty = false;
        }
        if (end < text.size() && text[end] == '\n') {
            out += "\n" + std::string(indent, ' ');
            column = indent;
            lineEmpty = true;
        }
        at = end + 1;
    }
    return out + "\n";
}

// Tags and their texts, the texts in one column.
std::string Entries(const std::vector<std::pair<const char*, const char*>>& entries) {
    size_t indent = 0;
    for (const auto& [tag, text] : entries) indent = std::max(indent, std::string(tag).size() + 4);
    std::string out;
    for (const auto& [tag, text] : entries) out += Wrapped(std::string("  ") + tag, indent, text);
    return out;
}

std::string OptionLead(const OptionSpec& o) {
    std::string lead = "  ";
    for (size_t i = 0; i < o.names.size(); ++i) lead += (i ? ", " : "") + std::string(o.names[i]);
    if (o.value) lead += std::string(" ") + o.value;
    return lead;
}

std::string OptionLines(const std::vector<OptionSpec>& options) {
    size_t indent = 0;
    for (const OptionSpec& o : options) indent = std::max(indent, OptionLead(o).size() + 2);
    indent = std::min<size_t>(indent, 20);
    std::string out;
    for (const OptionSpec& o : options) {
        std::string help = o.help;
        for (const OptionChoice& c : o.choices)
            help += std::string("\n  ") + c.value + (*c.help ? std::string(": ") + c.help : "");
        out += Wrapped(OptionLead(o), indent, help);
    }
    return out;
}

std::string UsageLines(const std::vector<const char*>& usage) {
    std::string out;
    for (size_t i = 0; i < usage.size(); ++i)
        out += std::string(i ? "       " : "Usage: ") + usage[i] + "\n";
    return out;
}

std::string Indented(const char* text, const char* by) {
    std::string out;
    for (const char* at = text; *at;) {
        const char* end = at;
        while (*end && *end != '\n') ++end;
        out += by + std::string(at, end) + "\n";
        at = *end ? end + 1 : end;
    }
    return out;
}

// The list of commands and the program's own options: the body of --help.
std::string Overview() {
    std::string out = "\nBatch work on Kurvex result files.\n\nCommands:\n";
    size_t indent = 0;
    for (const CommandSpec& c : CommandTable())
        indent = std::max(indent, std::string(c.name).size() + 4);
    for (const CommandSpec& c : CommandTable())
        out += Wrapped(std::string("  ") + c.name, indent, c.summary);
    return out + "\nOptions:\n" + OptionLines(ProgramOptions()) + "\n" + kRunsNote;
}

const std::vector<const char*> kProgramUsage = {"kurvex-cli COMMAND [OPTIONS]",
                                                "kurvex-cli --help | --help-all | --version"};

// The program's synopsis, its second form as help2man continues one.
std::string ProgramUsage() {
    return std::string("Usage: ") + kProgramUsage[0] + "\n  or:  " + kProgramUsage[1] + "\n";
}

}  // namespace

const std::vector<CommandSpec>& CommandTable() {
    static const std::vector<CommandSpec> table = MakeTable();
    return table;
}

const CommandSpec* FindCommand(std::string_view name) {
    for (const CommandSpec& c : CommandTable())
        if (name == c.name) return &c;
    return nullptr;
}

const CommandSpec& Command(std::string_view name) {
    const CommandSpec* command = FindCommand(name);
    if (!command) std::abort();
    return *command;
}

const std::vector<OptionSpec>& ProgramOptions() {
    static const std::vector<OptionSpec> options = {
        {{"-h", "--help"}, nullptr, "print the commands and this list"},
        {{"--help-all"},
         nullptr,
         "print the help of every command, the files, the environment and the exit status"},
        {{"--version"}, nullptr, "print the version"},
    };
    return options;
}

const CommandSpec& ViewerCommand() {
    // Kept in step with src/app/CommandLine.cpp by its test.
    static const CommandSpec viewer{
        "",
        "the waveform viewer",
        {"kurvex [FILE]..."},
        {"FILE"},
        -1,
        "",
        {{{"--runs"}, nullptr, "open the files as runs of one view"},
         {{"--send"}, "TEXT", "ask the running Kurvex to open or reload TEXT", {}, true},
         {{"-h", "--help"}, nullptr, "show the help"},
         {{"--help-all"}, nullptr, "show the help with files, environment and exit status"},
         {{"--version"}, nullptr, "show the version"}},
        "",
        "",
    };
    return viewer;
}

size_t ValueCount(const OptionSpec& option) {
    if (!option.value) return 0;
    const std::string value = option.value;
    return 1 + static_cast<size_t>(std::count(value.begin(), value.end(), ' '));
}

bool ParseCommandArgs(const CommandSpec& command, const std::vector<std::string>& args, Args& out,
                      std::string& error) {
    std::set<std::string> flags, values;
    std::map<std::string, size_t> counts;
    for (const OptionSpec& o : command.options) {
        for (const char* name : o.names) {
            (o.value ? values : flags).insert(name);
            if (ValueCount(o) > 1) counts[name] = ValueCount(o);
        }
    }
    return ParseArgs(args, flags, values, out, error, command.anyPlace, counts);
}

int StartCommand(const CommandSpec& command, const std::vector<std::string>& argv, Args& args,
                 std::FILE* out, std::FILE* err) {
    std::string error;
    if (!ParseCommandArgs(command, argv, args, error)) return Usage(err, error);
    if (args.flags.count("--help") || args.flags.count("-h")) {
        std::fputs(CommandHelp(command).c_str(), out);
        return kExitOk;
    }
    return -1;
}

std::string ProgramHelp() {
    return ProgramUsage() + Overview() + "\nExit status:\n" + kExitStatus;
}

std::string CommandHelp(const CommandSpec& command) {
    std::string out = UsageLines(command.usage) + "\n" + command.description + "\n" +
                      OptionLines(command.options);
    if (*command.notes) out += std::string("\n") + command.notes;
    return out;
}

std::string HelpAll() {
    // help2man reads this: "Usage:" makes the synopsis, "Options:", "Files:",
    // "Environment:" and "Examples:" sections, "NAME:" lines before indented
    // ones sub-sections.
    std::string out = ProgramUsage() + Overview();
    for (const CommandSpec& c : CommandTable()) {
        out += std::string("\nkurvex-cli ") + c.name + ":\n";
        out += Indented(UsageLines(c.usage).c_str(), "  ");
        out += "\n" + std::string(c.description) + "\n" + OptionLines(c.options);
        if (*c.notes) out += std::string("\n") + c.notes;
    }
    out += std::string("\nExit status:\n") + kExitStatus;
    out += "\nFiles:\n" + Entries(kFiles);
    out += "\nEnvironment:\n" + Entries(kEnvironment);
    out += "\nExamples:\n";
    for (const CommandSpec& c : CommandTable()) out += Indented(c.examples, "  $ ");
    return out;
}

std::string VersionText() {
    return std::string("kurvex-cli ") + KURVEX_VERSION_STRING + "\n";
}

std::vector<std::string> ReadableExtensions() {
    std::vector<std::string> out;
    for (const ReaderRow& row : ReaderTable())
        for (const ReaderExtension& e : row.extensions)
            if (std::find(out.begin(), out.end(), e.extension) == out.end())
                out.push_back(e.extension);
    return out;
}

}  // namespace kurvex::cli
