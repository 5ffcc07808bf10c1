#pragma once

#include <cstdio>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "data/formats/RawFile.h"
#include "data/model/ResultData.h"
#include "data/platform/IOBuffer.h"
#include "data/platform/UserMessages.h"

namespace kurvex::cli {

// A command line split into positionals, flags and options with values.
struct Args {
    std::vector<std::string> positional;
    std::map<std::string, std::string> values;              // the last value of each option
    std::map<std::string, std::vector<std::string>> lists;  // every value, in order
    std::set<std::string> flags;
};

// Splits args into positionals, flags and options with a value ("-o X",
// "--format X" or "--format=X"); "--" ends the options. The positional numbered
// `anyPlace` (a formula or a curve name; -1 when the command has none) is taken
// whatever it begins with: an argument in that place is an option only when it
// is one of the command's and a later argument can still fill the place, so
// "eval FILE -o OUT X" names an output while "eval FILE -h" evaluates "-h".
// An option of `valueCounts` takes that many values, each into `lists` (not
// `values`), and never the "=" form.
// False with `error` set on anything unknown.
bool ParseArgs(const std::vector<std::string>& args, const std::set<std::string>& flagNames,
               const std::set<std::string>& valueNames, Args& out, std::string& error,
               int anyPlace = -1, const std::map<std::string, size_t>& valueCounts = {});

// Messages of the core go to standard error, one per line.
class StderrMessages : public UserMessages {
public:
    explicit StderrMessages(std::FILE* err) : err_(err) {}
    void Show(const std::string& text, MessageIcon) override;
    int Count() const { return count_; }

private:
    std::FILE* err_;
    int count_ = 0;
};

// A finite number written in full; false for anything else.
bool ParseNumber(const std::string& text, double& value);

// The --from/--to pair of `args`: absent (hasRange false), or both numbers.
// 0, or the usage status after reporting what is wrong.
int ParseRange(Args& args, std::FILE* err, bool& hasRange, double& from, double& to);

// A JSON string of name bytes: decoded to UTF-8 text as the windows show it,
// quotes, backslashes and control characters escaped.
std::string JsonString(std::string_view bytes);

// A JSON number that reads back exactly; null for a value that is not finite.
std::string JsonNumber(double v);

// Reports a bad command line; returns the usage exit status.
int Usage(std::FILE* err, const std::string& what);
// 0 when `path` exists, else the usage status after saying so on `err`: a
// missing file ends a command as a bad command line does.
int RequireFile(const std::string& path, std::FILE* err);

// Reads the result file `path` (any format; the display settings a binary
// file carries go into `settings` when given; plot `plot` (from 0) of a SPICE
// raw file, or with its runs when none is asked for (-1); its plots go into
// `plots` when given), reporting every failure on `err`; 0 when read, else the
// exit status to end with.
int Load(const std::string& path, CResultDataRef& data, std::FILE* err,
         CIOBuffer* settings = nullptr, std::int32_t plot = -1,
         std::vector<RawPlot>* plots = nullptr, std::vector<std::string>* notes = nullptr);

// Files larger than this go through the column cache: 512 MB, or
// $KURVEX_CACHE_ABOVE_MB megabytes (0: never).
std::uint64_t CacheAboveBytes();

// The runs a command works on: one (--run K, from 1; the first by default)
// or all of them (--runs).
struct RunChoice {
    std::int32_t run = 0;  // from 0
    bool all = false;
};

// Reads --run K and --runs; 0 or the usage status.
int ParseRunChoice(Args& args, std::FILE* err, RunChoice& choice);

// One run of a loaded result as a data set of its own.
struct SelectedRun {
    std::int32_t number = 1;  // from 1
    std::string name;
    CResultDataRef data;
};

// The runs `choice` names in `data` (run 1 is `data` itself); 0, the usage
// status for a run past the last of `path`, or failure when out of memory.
int SelectRuns(const CResultDataRef& data, const RunChoice& choice, const std::string& path,
               std::FILE* err, std::vector<SelectedRun>& runs);

// What `work` prints on a stream, and its exit status.
int Captured(const std::function<int(std::FILE*)>& work, std::string& text);

// Prints one object of `work` per run: a single run as `work` prints it;
// several as {"runs": [{"run": K, "name": NAME, ...}]} in JSON, else each
// under a line "run K: NAME". The first failing run ends it with its status.
int PrintPerRun(const std::vector<SelectedRun>& runs, bool all, bool json, std::FILE* out,
                const std::function<int(const SelectedRun&, std::FILE*)>& work);

// `path` with "-K" before the extension of its file name (out.csv: out-2.csv).
std::string RunFileName(const std::string& path, std::int32_t number);

// Runs `write` on standard output for "-", else on a file that replaces
// `target` only when complete; the exit status.
int WriteOutput(const std::string& target, std::FILE* out, std::FILE* err,
                const std::function<bool(std::FILE*)>& write);

}  // namespace kurvex::cli
