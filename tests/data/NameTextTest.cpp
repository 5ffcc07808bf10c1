#include <gtest/gtest.h>

#include <string>

#include "data/NameText.h"

namespace kurvex {
namespace {

TEST(NameText, DecodesUtf8AsItIsAndAnythingElseAsWindows1252) {
    struct Case {
        std::string bytes, text;
    };
    const Case cases[] = {
        {"V(out)", "V(out)"},
        {"", ""},
        {"tab\there\x01", "tab\there\x01"},  // control characters stay
        {"\xC3\x9C"
         "berlast",
         "\xC3\x9C"
         "berlast"},                                                       // UTF-8 Ü
        {"\xE2\x82\xAC\xF0\x9F\x94\x8C", "\xE2\x82\xAC\xF0\x9F\x94\x8C"},  // € and a 4-byte one
        {"\xDC"
         "berlast",
         "\xC3\x9C"
         "berlast"},  // Windows-1252 Ü
        {"I\xB5"
         "A",
         "I\xC2\xB5"
         "A"},                                             // µ
        {"\x80\x9F\xFF", "\xE2\x82\xAC\xC5\xB8\xC3\xBF"},  // €, Ÿ, ÿ
        {"\x81\x8D\x8F\x90\x9D",                           // unassigned: U+FFFD each
         "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
        {"\xC3", "\xC3\x83"},                              // a lead byte cut short
        {"\xC0\xAF", "\xC3\x80\xC2\xAF"},                  // overlong "/"
        {"\xED\xA0\x80", "\xC3\xAD\xC2\xA0\xE2\x82\xAC"},  // a surrogate
        {"\xF4\x90\x80\x80", "\xC3\xB4\xEF\xBF\xBD\xE2\x82\xAC\xE2\x82\xAC"},  // past U+10FFFF
        {"a\xFF"
         "b\xC3\x9C",
         "a\xC3\xBF"
         "b\xC3\x83\xC5\x93"},  // one bad byte: all 1252
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DisplayName(c.bytes), c.text) << c.bytes;
        EXPECT_TRUE(IsUtf8(DisplayName(c.bytes))) << c.bytes;
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
        {"\xDC"
         "1",
         "\xC3\x9C"
         "1",
         true},  // Windows-1252 against UTF-8
        {"\xDC"
         "1",
         "\xDC"
         "1",
         true},
        {"\xFC"
         "1",
         "\xDC"
         "1",
         false},  // ü and Ü: only ASCII folds
        {"\xC3\x9C", "\xC3\xBC", false},
        {"\xC3\x9C", "\xC3\x9C", true},
        {"v\xB5", "V\xC2\xB5", true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SameName(c.a, c.b), c.same) << c.a << " / " << c.b;
        EXPECT_EQ(SameName(c.b, c.a), c.same) << c.b << " / " << c.a;
    }
}

}  // namespace
}  // namespace kurvex
