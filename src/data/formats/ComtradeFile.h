#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "data/formats/ReadOptions.h"
#include "data/model/ResultData.h"
#include "data/platform/UserMessages.h"

namespace kurvex {

// COMTRADE records (IEEE C37.111 of 1991, 1999 and 2013): a ".cfg"
// configuration with its ".dat" samples beside it, or both in one ".cff".
// A record that gives another revision year is read by the rules its layout
// shows (before 1991: by those of 1991), and a status line says so.

// True when `path` ends in ".cfg" or ".cff" (any case) and `head`, the file's
// first bytes, begins as a COMTRADE configuration does.
bool LooksLikeComtrade(std::string_view head, const std::string& path);

// Reads the record into `data`: "Time" in seconds, then the analog channels
// scaled to their units and the digital channels as 0/1. Refusals are
// reported; false then.
bool ReadComtradeFile(const std::string& path, CResultDataRef& data, UserMessages& messages,
                      const BinaryReadOptions& options = {},
                      std::vector<std::string>* notes = nullptr);

}  // namespace kurvex
