#pragma once

#include <string>
#include <string_view>

namespace kurvex {

// The product version as the about box shows it: "," read as ".", blanks
// dropped, cut before the second "." ("8, 0, 2, 100" shows as "8.0").
std::string ShortProductVersion(std::string_view version);

}  // namespace kurvex
