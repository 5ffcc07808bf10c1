#pragma once

#include <string>

#include "data/ResultData.h"
#include "data/UserMessages.h"

namespace kurvex {

// Adds the runs of `added` (read from `path`) after those of `result`, as a
// new data set that replaces `result`: views still showing the old one keep
// it whole. A result of one run is named `name`; the runs of a result of
// several keep their names after "name: ". Refused, with a message and
// `result` unchanged, when the X variables differ in name.
bool AppendRuns(CResultDataRef& result, const CResultDataRef& added, const std::string& name,
                const std::string& path, UserMessages& messages);

}  // namespace kurvex
