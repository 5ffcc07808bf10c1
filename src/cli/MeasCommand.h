#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace kurvex::cli {

// kurvex-cli meas: the .meas statements of a script, netlist or schematic over
// the runs of a result file.
int MeasScriptCommand(const std::vector<std::string>& args, std::FILE* out, std::FILE* err);

}  // namespace kurvex::cli
