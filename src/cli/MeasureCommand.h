#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "cli/Report.h"
#include "data/model/ResultData.h"

namespace kurvex::cli {

// kurvex-cli measure: extrema, averages and values of one curve. With
// `loaded` the data set is that one and FILE only names it in messages, so a
// result already in memory (the Python module's) is not read again.
int Measure(const std::vector<std::string>& args, std::FILE* out, std::FILE* err,
            const CResultDataRef* loaded = nullptr);

// The same measurement as the tree its --json form prints, for the Python
// module: 0, or the exit status after saying on `err` why not.
int MeasureReport(const std::vector<std::string>& args, std::FILE* err,
                  const CResultDataRef* loaded, Report& report);

}  // namespace kurvex::cli
