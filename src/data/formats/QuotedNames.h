#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kurvex {

// Splits the name line of a text result into its names. Names are separated
// by runs of spaces, tabs and commas; a name that begins with a double quote
// runs to the closing quote and may hold blanks and commas (a doubled quote
// stands for one). False for a quote that is not closed or is followed by
// more than a separator; `names` then holds the names before it.
bool SplitNameLine(std::string_view line, std::vector<std::string>& names);

// `name` as a delimited writer puts it in its header: in double quotes, inner
// quotes doubled, when it holds a comma or a quote (the reader would split or
// strip it otherwise); as it is else.
std::string DelimitedName(const std::string& name);

// `name` in double quotes, inner quotes doubled.
std::string QuotedName(const std::string& name);

// True when a header line of these names would read as the first line of
// numbers (names like "1", "2e3"): a writer then quotes them.
bool NamesReadAsNumbers(const std::vector<std::string>& names);

}  // namespace kurvex
