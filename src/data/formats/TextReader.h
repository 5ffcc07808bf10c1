#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "data/formats/TextReadOptions.h"
#include "data/model/ResultData.h"
#include "data/platform/ByteSource.h"
#include "data/platform/UserMessages.h"

namespace kurvex {

// Reads a text result file into `data` and its variable names into `names`.
// True when at least one row was read. Bad files are reported through
// `messages`; a failure after the data set was initialised leaves it partly
// filled for the caller to discard.
bool ReadTextResult(const std::string& path, CResultDataRef& data, std::vector<std::string>& names,
                    UserMessages& messages, const TextReadOptions& options = {});
bool ReadTextResult(ByteSource& source, CResultDataRef& data, std::vector<std::string>& names,
                    UserMessages& messages, const TextReadOptions& options = {});

// Reads the header part of a text result (comments, then the names or a
// first data line that numbers them) through `lines`, up to its first data
// line, which `line` then holds as line `lineNo` of the file. False when the
// file is refused (said through `messages`) or holds no data line (nothing
// said unless the source failed).
bool ReadTextHeader(ByteSource& source, LineReader& lines, std::vector<std::string>& names,
                    std::string_view& line, long long& lineNo, UserMessages& messages);

// True when the line holds nothing but spaces and tabs.
bool IsBlankLine(std::string_view line);
// The next token after `cursor` (separators are runs of spaces, tabs and
// commas); false at the end of the line.
bool NextToken(std::string_view line, size_t& cursor, std::string_view& token);

}  // namespace kurvex
