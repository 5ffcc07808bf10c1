#include "data/formats/RequestText.h"

namespace kurvex {

std::vector<std::string> ExpandFileNamePattern(const std::string& text) {
    std::vector<std::string> names;
    const std::size_t open = text.find('<');
    const std::size_t close = open == std::string::npos ? open : text.find('>', open + 1);
    if (close == std::string::npos) {
        if (!text.empty()) names.push_back(text);
        return names;
    }
    const std::string prefix = text.substr(0, open);
    const std::string suffix = text.substr(close + 1);
    std::size_t start = open + 1;
    while (start <= close) {
        std::size_t end = text.find(',', start);
        if (end == std::string::npos || end > close) end = close;
        if (end > start) names.push_back(prefix + text.substr(start, end - start) + suffix);
        start = end + 1;
    }
    return names;
}

bool IsValidUtf8(std::string_view bytes) {
    std::size_t i = 0;
    const std::size_t n = bytes.size();
    while (i < n) {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (c < 0x80) {
            ++i;
            continue;
        }
        std::size_t length;
        unsigned char low = 0x80, high = 0xBF;  // allowed range of the second byte
        if (c >= 0xC2 && c <= 0xDF) {
            length = 2;
        } else if (c >= 0xE0 && c <= 0xEF) {
            length = 3;
            if (c == 0xE0)
                low = 0xA0;  // overlong
            else if (c == 0xED)
                high = 0x9F;  // surrogates
        } else if (c >= 0xF0 && c <= 0xF4) {
            length = 4;
            if (c == 0xF0)
                low = 0x90;  // overlong
            else if (c == 0xF4)
                high = 0x8F;  // beyond U+10FFFF
        } else {
            return false;
        }
        if (n - i < length) return false;
        const unsigned char second = static_cast<unsigned char>(bytes[i + 1]);
        if (second < low || second > high) return false;
        for (std::size_t k = 2; k < length; ++k) {
            const unsigned char next = static_cast<unsigned char>(bytes[i + k]);
            if (next < 0x80 || next > 0xBF) return false;
        }
        i += length;
    }
    return true;
}

bool TakeRunsFlag(std::string& text) {
    if (text.compare(0, kRunsRequestFlag.size(), kRunsRequestFlag) != 0) return false;
    text.erase(0, kRunsRequestFlag.size());
    return true;
}

std::string RequestRefusal(const std::string& bytes) {
    if (bytes.empty()) return "the request is empty";
    if (bytes.size() > kMaxRequestBytes)
        return "the request is longer than " + std::to_string(kMaxRequestBytes) + " bytes";
    if (!IsValidUtf8(bytes)) return "the request is not valid UTF-8";
    // A C string would end at the NUL and name another file.
    if (bytes.find('\0') != std::string::npos) return "the request holds a NUL byte";
    std::string pattern = bytes;
    TakeRunsFlag(pattern);
    if (ExpandFileNamePattern(pattern).empty()) return "the request names no file";
    return {};
}

}  // namespace kurvex
