#include "data/formats/UnreadFormats.h"

#include <cctype>
#include <cstdint>
#include <filesystem>

#include "data/platform/NumberText.h"

namespace kurvex {

namespace {

unsigned char Byte(std::string_view head, std::size_t at) {
    return at < head.size() ? static_cast<unsigned char>(head[at]) : 0;
}

std::uint16_t U16(std::string_view head, std::size_t at) {
    return static_cast<std::uint16_t>(Byte(head, at) | Byte(head, at + 1) << 8);
}

// The DHO800/1000 files have no magic: a 24-byte header, then blocks of six
// 16-bit words (id, type, sizes, a zero) whose content is zlib data.
bool LooksLikeRigolDho(std::string_view head) {
    if (head.size() < 40 || Byte(head, 2) != 0 || Byte(head, 3) != 0) return false;
    const std::uint16_t decompressed = U16(head, 28), compressed = U16(head, 30),
                        stored = U16(head, 32), zero = U16(head, 34);
    const unsigned cmf = Byte(head, 36), flg = Byte(head, 37);
    return zero == 0 && compressed > 0 && compressed <= decompressed && stored >= compressed &&
           cmf == 0x78 && (cmf << 8 | flg) % 31 == 0;
}

bool LooksLikeRigolWfm(std::string_view head) {
    // DS1000E/D/B, DS2000, DS4000, DS6000 begin A5 A5; DS1000CA A1 A5;
    // DS1000Z 01 FF FF FF before its A5.
    if (Byte(head, 1) == 0xA5 && (Byte(head, 0) == 0xA5 || Byte(head, 0) == 0xA1)) return true;
    if (head.substr(0, 4) == std::string_view("\x01\xFF\xFF\xFF", 4) && Byte(head, 5) == 0xA5)
        return true;
    return LooksLikeRigolDho(head);
}

// Its date, "dd-Mmm-yy  hh.mm.ss", after a 0x84 in the newer layout, then
// binary words.
bool LooksLikeAtpPl4(std::string_view head) {
    if (Byte(head, 0) == 0x84) head.remove_prefix(1);
    constexpr std::string_view kPattern = "99-AAA-99  99.99.99";
    if (head.size() < kPattern.size() + 8) return false;
    for (std::size_t i = 0; i < kPattern.size(); ++i) {
        const unsigned char c = Byte(head, i);
        const char want = kPattern[i];
        const bool ok = want == '9'   ? std::isdigit(c) || (i == 0 && c == ' ')
                        : want == 'A' ? std::isalpha(c) != 0
                                      : c == static_cast<unsigned char>(want);
        if (!ok) return false;
    }
    return head.substr(kPattern.size(), 8).find('\0') != std::string_view::npos;
}

bool LooksLikeVcd(std::string_view head) {
    std::size_t at = 0;
    while (at < head.size() && std::isspace(static_cast<unsigned char>(head[at]))) ++at;
    for (const char* keyword : {"$date", "$version", "$comment", "$timescale", "$scope", "$var"}) {
        const std::string_view k(keyword);
        if (head.substr(at, k.size()) == k &&
            (at + k.size() == head.size() ||
             std::isspace(static_cast<unsigned char>(head[at + k.size()]))))
            return true;
    }
    return false;
}

}  // namespace

const char* UnreadFormatOf(std::string_view head) {
    if (LooksLikeRigolWfm(head)) return "a Rigol oscilloscope .wfm file";
    if (LooksLikeAtpPl4(head)) return "an ATP .pl4 output file";
    if (LooksLikeVcd(head)) return "a VCD (value change dump) file";
    return nullptr;
}

bool RefuseUnreadFormat(const std::string& path, std::string_view head, UserMessages& messages) {
    const char* what = UnreadFormatOf(head);
    messages.Show(Format("%s is %s, which Kurvex does not read yet.\r\n\r\nCan not read file %s",
                         std::filesystem::path(path).filename().string().c_str(),
                         what ? what : "a file", path.c_str()),
                  MessageIcon::Stop);
    return false;
}

}  // namespace kurvex
