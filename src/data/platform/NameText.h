#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kurvex {

// The text of a name, title or label held as bytes in a file: valid UTF-8
// stays as it is, any other byte string is read as Windows-1252 (its five
// unassigned bytes become U+FFFD). Always valid UTF-8.
std::string DisplayName(std::string_view bytes);

// True when `bytes` is well-formed UTF-8 (no overlong forms, no surrogates,
// nothing past U+10FFFF).
bool IsUtf8(std::string_view bytes);

// True when two names read as the same text, ignoring the case of ASCII letters
// (a UTF-8 name and its Windows-1252 spelling are the same name).
bool SameName(std::string_view a, std::string_view b);

// Appends the UTF-8 bytes of code point `cp` (at most U+10FFFF) to `out`.
void AppendUtf8(std::string& out, std::uint32_t cp);

// The file name without its folder and its last extension ("" for a folder).
std::string FileTitle(const std::string& path);

}  // namespace kurvex
