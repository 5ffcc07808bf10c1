#include "interaction/ProductVersion.h"

namespace kurvex {

std::string ShortProductVersion(std::string_view version) {
    std::string out;
    int dots = 0;
    for (char c : version) {
        if (c == ' ' || c == '\t') continue;
        if (c == ',') c = '.';
        if (c == '.' && ++dots == 2) break;
        out.push_back(c);
    }
    return out;
}

}  // namespace kurvex
