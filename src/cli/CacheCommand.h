#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace kurvex::cli {

// kurvex-cli cache: lists or clears the column cache of large results.
int Cache(const std::vector<std::string>& args, std::FILE* out, std::FILE* err);

}  // namespace kurvex::cli
