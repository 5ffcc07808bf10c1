#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "data/formats/ReadOptions.h"
#include "data/model/ResultData.h"
#include "data/platform/UserMessages.h"

namespace kurvex {

// LeCroy binary waveforms (".trc"): a WAVEDESC descriptor, optionally after
// an IEEE 488.2 "#N" block header, then its trigger times and samples.

// True when `head`, the file's first bytes, holds a LeCroy WAVEDESC
// descriptor near its start.
bool LooksLikeLecroyTrc(std::string_view head, const std::string& path);

// Reads the capture into `data`: "Time" in seconds and the channel in its
// unit; a sequence capture as one run per segment, each timed from its own
// trigger. Refusals are reported; false then.
bool ReadLecroyTrcFile(const std::string& path, CResultDataRef& data, UserMessages& messages,
                       const BinaryReadOptions& options = {},
                       std::vector<std::string>* notes = nullptr);

}  // namespace kurvex
