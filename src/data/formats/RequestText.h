#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace kurvex {

// The longest request text the viewer accepts, in bytes.
inline constexpr std::size_t kMaxRequestBytes = 4096;

// The file names of a request: "prefix<a,b>suffix" gives prefix + a + suffix and
// prefix + b + suffix (empty alternatives are skipped); any other text is its own one name.
std::vector<std::string> ExpandFileNamePattern(const std::string& text);

// A request starting with this line opens every name of its pattern as runs of one view. Senders
// make names absolute, so no file request starts with it.
inline constexpr std::string_view kRunsRequestFlag = "--runs\n";
// Removes the runs flag from the front of `text`; true when it was there.
bool TakeRunsFlag(std::string& text);

// Empty when the request text is acceptable, else the reason: empty, longer than
// kMaxRequestBytes, not UTF-8, holding a NUL byte, or naming no file (after a runs flag).
std::string RequestRefusal(const std::string& bytes);

// True when the bytes are well-formed UTF-8 (no overlong forms, surrogates or values
// beyond U+10FFFF).
bool IsValidUtf8(std::string_view bytes);

}  // namespace kurvex
