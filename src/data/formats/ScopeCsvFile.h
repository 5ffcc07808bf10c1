#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "data/formats/ReadOptions.h"
#include "data/model/ResultData.h"
#include "data/platform/UserMessages.h"

namespace kurvex {

// The CSV exports of oscilloscopes, told apart from other CSV files by their
// heading rows:
// - Tektronix: a preamble of "key,value" rows ("Model,...", "Record Length,...")
//   up to a "TIME,CH1,..." heading;
// - Keysight: a row of names and one of units ("x-axis,1,2" / "second,Volt,Volt");
// - Rigol: "X,CH1,...,Start,Increment" / "Sequence,Volt,...,start,increment"
//   over a column of sample numbers, or "X,CH1" / "Second,Volt" over times.

// True when `head`, the file's first bytes, opens with such heading rows.
bool LooksLikeScopeCsv(std::string_view head, const std::string& path);

// Reads the capture into `data`: X ("Time" in seconds where the file says so)
// and the channels named as the file names them, with their units. Refusals
// are reported; false then.
bool ReadScopeCsvFile(const std::string& path, CResultDataRef& data, UserMessages& messages,
                      const BinaryReadOptions& options = {},
                      std::vector<std::string>* notes = nullptr);

}  // namespace kurvex
