#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace kurvex::cli {

// Exit statuses that scripts rely on.
enum ExitStatus : int {
    kExitOk = 0,
    kExitFailed = 1,  // the file was read or written and that failed
    kExitUsage = 2,   // bad command line or missing file
};

// Runs kurvex-cli with `args` (without the program name), writing results to
// `out` and diagnostics to `err`.
int RunCli(const std::vector<std::string>& args, std::FILE* out, std::FILE* err);

}  // namespace kurvex::cli
