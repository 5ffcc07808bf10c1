#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace kurvex::cli {

// kurvex-cli render: draws a result file's curves into a PNG, SVG or PDF.
int Render(const std::vector<std::string>& args, std::FILE* out, std::FILE* err);

}  // namespace kurvex::cli
