#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "data/formats/ReadOptions.h"
#include "data/model/ResultData.h"
#include "data/platform/UserMessages.h"

namespace kurvex {

// Oscilloscope captures in Keysight's (formerly Agilent's) binary data
// format, the "AG" .bin files of InfiniiVision and Infiniium scopes, and
// Rigol's "RG01" files, which share its layout.

// True when `head`, a file's first bytes, begins as such a file does ("AG" or
// "RG", a two-digit version, then a plausible waveform count).
bool LooksLikeKeysightBin(std::string_view head, const std::string& path);

// Reads every waveform of the file into `data`: X from the first waveform's
// origin and increment, then one variable per buffer (float buffers in their
// unit, an 8-bit digital buffer as its byte). Refusals are reported; false then.
bool ReadKeysightBinFile(const std::string& path, CResultDataRef& data, UserMessages& messages,
                         const BinaryReadOptions& options = {},
                         std::vector<std::string>* notes = nullptr);

}  // namespace kurvex
