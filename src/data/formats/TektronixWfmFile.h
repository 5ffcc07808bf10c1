#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "data/formats/ReadOptions.h"
#include "data/model/ResultData.h"
#include "data/platform/UserMessages.h"

namespace kurvex {

// Tektronix reference waveforms (".wfm", versions WFM#001 to WFM#003): a
// static file header, the waveform header with its explicit (vertical) and
// implicit (time) dimensions, per-frame update specifications and curve
// descriptions, then the curve buffer.

// True when `head`, the file's first bytes, begins with the byte-order word
// and the ":WFM#" version of a Tektronix waveform.
bool LooksLikeTektronixWfm(std::string_view head, const std::string& path);

// Reads the waveform into `data`: "Time" in seconds and the channel in its
// unit, or one 0/1 variable per bit of a digital record; a FastFrame record as
// one run per frame, each timed from its own trigger. Refusals are reported;
// false then.
bool ReadTektronixWfmFile(const std::string& path, CResultDataRef& data, UserMessages& messages,
                          const BinaryReadOptions& options = {},
                          std::vector<std::string>* notes = nullptr);

}  // namespace kurvex
