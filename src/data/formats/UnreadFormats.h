#pragma once

#include <string>
#include <string_view>

#include "data/platform/UserMessages.h"

namespace kurvex {

// Files of formats Kurvex recognises but does not read yet (Rigol ".wfm",
// ATP ".pl4", VCD), told by their content so that they are refused by name
// rather than failing as text.

// What the file whose first bytes are `head` is ("a Rigol oscilloscope .wfm
// file"), or null for none of these formats.
const char* UnreadFormatOf(std::string_view head);

// Refuses the file at `path`, naming its format; false.
bool RefuseUnreadFormat(const std::string& path, std::string_view head, UserMessages& messages);

}  // namespace kurvex
