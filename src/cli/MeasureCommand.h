#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace kurvex::cli {

// kurvex-cli measure: extrema, averages and values of one curve.
int Measure(const std::vector<std::string>& args, std::FILE* out, std::FILE* err);

}  // namespace kurvex::cli
