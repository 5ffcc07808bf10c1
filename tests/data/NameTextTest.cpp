#include <gtest/gtest.h>

#include <string>

#include "data/platform/NameText.h"

namespace kurvex {
namespace {

// Octal escapes below where a hex one would run into the letters after it.
TEST(NameText, DecodesUtf8AsItIsAndAnythingElseAsWindows1252) {
    struct Case {
        std::string bytes, text;
    };
    const Case cases[] = {
        {"V(out)", "V(out)"},
        {"", ""},
        {"tab\there\x01", "tab\there\x01"},      // control characters stay
        {"\303\234berlast", "\303\234berlast"},  // UTF-8 Ü
        {"\xE2\x82\xAC\xF0\x9F\x94\x8C", "\xE2\x82\xAC\xF0\x9F\x94\x8C"},  // € and a 4-byte one
        {"\334berlast", "\303\234berlast"},                                // Windows-1252 Ü
        {"I\265A", "I\302\265A"},                                          // µ
        {"\x80\x9F\xFF", "\xE2\x82\xAC\xC5\xB8\xC3\xBF"},                  // €, Ÿ, ÿ
        {"\x81\x8D\x8F\x90\x9D",  // unassigned: U+FFFD each
         "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
        {"\xC3", "\xC3\x83"},                              // a lead byte cut short
        {"\xC0\xAF", "\xC3\x80\xC2\xAF"},                  // overlong "/"
        {"\xED\xA0\x80", "\xC3\xAD\xC2\xA0\xE2\x82\xAC"},  // a surrogate
        {"\xF4\x90\x80\x80", "\xC3\xB4\xEF\xBF\xBD\xE2\x82\xAC\xE2\x82\xAC"},  // past U+10FFFF
        {"a\377b\303\234", "a\303\277b\303\203\305\223"},  // one bad byte: all of it 1252
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DisplayName(c.bytes), c.text) << c.bytes;
        EXPECT_EQ(IsUtf8(c.bytes), c.bytes == c.text) << c.bytes;
    }
}

TEST(NameText, EveryByteAndPairDecodesToValidUtf8) {
    for (int a = 0; a < 256; ++a) {
        for (int b = 0; b < 256; ++b) {
            const std::string s = {static_cast<char>(a), static_cast<char>(b)};
            ASSERT_TRUE(IsUtf8(DisplayName(s))) << a << ' ' << b;
        }
    }
}

TEST(NameText, NamesMatchOnTheirTextIgnoringAsciiCase) {
    struct Case {
        std::string a, b;
        bool same;
    };
    const Case cases[] = {
        {"Time", "TIME", true},
        {"Time", "Tim", false},
        {"\3341", "\303\2341", true},  // Windows-1252 against UTF-8
        {"\3341", "\3341", true},
        {"\3741", "\3341", false},  // ü and Ü: only ASCII letters fold
        {"\303\234", "\303\274", false},
        {"v\265", "V\302\265", true},
        {"\x81", "\x8D", true},  // both U+FFFD
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SameName(c.a, c.b), c.same) << c.a << " / " << c.b;
        EXPECT_EQ(SameName(c.b, c.a), c.same) << c.b << " / " << c.a;
    }
}

}  // namespace
}  // namespace kurvex
