#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "cli/ExitStatus.h"

namespace kurvex::cli {

// Runs kurvex-cli with `args` (without the program name), writing results to
// `out` and diagnostics to `err`.
int RunCli(const std::vector<std::string>& args, std::FILE* out, std::FILE* err);

}  // namespace kurvex::cli
