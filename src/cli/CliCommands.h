#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace kurvex::cli {

// Exit statuses that scripts rely on.
enum ExitStatus : int {
    kExitOk = 0,
    kExitFailed = 1,  // reading, writing or a formula failed (the reason on stderr)
    kExitUsage = 2,   // bad command line or missing file
};

// Runs kurvex-cli with `args` (without the program name), writing results to
// `out` and diagnostics to `err`.
int RunCli(const std::vector<std::string>& args, std::FILE* out, std::FILE* err);

}  // namespace kurvex::cli
