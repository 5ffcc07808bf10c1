#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "data/formats/ReadOptions.h"
#include "data/model/ResultData.h"
#include "data/platform/UserMessages.h"

namespace kurvex {

// Tektronix internal save format (".isf"): the waveform preamble's
// WFMPRE/WFMOUTPRE answer followed by the CURVE answer, a "#N" block of
// samples (or their text).

// True when `head`, the file's first bytes, begins as a waveform preamble.
bool LooksLikeTektronixIsf(std::string_view head, const std::string& path);

// Reads the waveform into `data`: X ("Time" in seconds, or "Frequency (Hz)"
// for a frequency-domain trace) and the channel scaled to its unit. Refusals
// are reported; false then.
bool ReadTektronixIsfFile(const std::string& path, CResultDataRef& data, UserMessages& messages,
                          const BinaryReadOptions& options = {},
                          std::vector<std::string>* notes = nullptr);

}  // namespace kurvex
