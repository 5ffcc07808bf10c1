#pragma once

#include <cstdio>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "data/IOBuffer.h"
#include "data/RawFile.h"
#include "data/ResultData.h"
#include "data/UserMessages.h"

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
// False with `error` set on anything unknown.
bool ParseArgs(const std::vector<std::string>& args, const std::set<std::string>& flagNames,
               const std::set<std::string>& valueNames, Args& out, std::string& error,
               int anyPlace = -1);

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

// Reads the result file `path` (any format; the display settings a binary
// file carries go into `settings` when given; plot `plot` of a SPICE raw file,
// whose plots go into `plots` when given), reporting every failure on `err`;
// 0 when read, else the exit status to end with.
int Load(const std::string& path, CResultDataRef& data, std::FILE* err,
         CIOBuffer* settings = nullptr, std::int32_t plot = 0,
         std::vector<RawPlot>* plots = nullptr, std::vector<std::string>* notes = nullptr);

// Runs `write` on standard output for "-", else on a file that replaces
// `target` only when complete; the exit status.
int WriteOutput(const std::string& target, std::FILE* out, std::FILE* err,
                const std::function<bool(std::FILE*)>& write);

}  // namespace kurvex::cli
