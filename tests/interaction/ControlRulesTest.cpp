#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "interaction/ControlRules.h"
#include "interaction/ProductVersion.h"

namespace kurvex {
namespace {

TEST(ControlRules, TypedCharactersFollowTheMask) {
    using A = TypedChar::Action;
    struct Case {
        std::u16string text;
        int caret;
        char16_t c;
        std::uint16_t mask;
        bool readOnly;
        A action;
        std::u16string result;  // for Replace
        int caretAfter;
    };
    const Case cases[] = {
        {u"1", 1, u'0', kEditNumberMask, false, A::Insert, u"", 0},
        {u"10", 2, u'k', kEditNumberMask, false, A::Replace, u"10k", 3},
        {u"10k", 3, u'm', kEditNumberMask, false, A::Replace, u"10m", 3},  // suffix replaced
        {u"1e3x", 2, u'g', kEditNumberMask, false, A::Replace, u"1e3g", 4},
        {u"", 0, u'k', kEditNumberMask, false, A::Refuse, u"", 0},   // no digit
        {u"0", 1, u'k', kEditNumberMask, false, A::Refuse, u"", 0},  // a lone leading 0
        {u"-0", 2, u'k', kEditNumberMask, false, A::Replace, u"-0k", 3},
        {u"5", 1, u'Z', kEditNumberMask, false, A::Refuse, u"", 0},  // not a suffix
        {u"5", 1, u'-', kEditNumberMask, false, A::Replace, u"-5", 2},
        {u"-5", 2, u'+', kEditNumberMask, false, A::Replace, u"5", 1},
        {u"-5", 0, u'-', kEditNumberMask, false, A::Replace, u"-5", 0},
        {u"5", 0, u'+', kEditNumberMask, false, A::Replace, u"5", 0},
        {u"1e", 2, u'-', kEditNumberMask, false, A::Insert, u"", 0},  // the exponent's sign
        {u"5", 1, u'-', kEditCountMask, false, A::Refuse, u"", 0},
        {u"5", 1, u'-', kEditDigits | kEditMinus, false, A::Replace, u"-5", 2},
        {u"5", 1, u'.', kEditCountMask, false, A::Refuse, u"", 0},
        {u"5", 1, u' ', kEditDigits | kEditBlanks, false, A::Insert, u"", 0},
        {u"x", 1, u'_', kEditIdentifier, false, A::Insert, u"", 0},
        {u"x", 1, u'$', kEditOther, false, A::Insert, u"", 0},
        {u"x", 1, u'q', kEditOther, false, A::Refuse, u"", 0},
        {u"5", 1, u'6', kEditCountMask, true, A::Refuse, u"", 0},   // read-only
        {u"5", 1, u'\b', kEditCountMask, true, A::Insert, u"", 0},  // control keys pass
    };
    for (const Case& c : cases) {
        const TypedChar t = TypeChar(c.text, c.caret, c.c, c.mask, c.readOnly);
        const std::string what = std::string(c.text.begin(), c.text.end()) + " + " +
                                 static_cast<char>(c.c) + " mask " + std::to_string(c.mask);
        EXPECT_EQ(t.action, c.action) << what;
        if (c.action != A::Replace) continue;
        EXPECT_TRUE(t.text == c.result) << what;
        EXPECT_EQ(t.caret, c.caretAfter) << what;
    }
}

TEST(ControlRules, PastedTextLosesWhatTheMaskRefusesAndKeepsTheCaretBehindIt) {
    struct Case {
        std::u16string text;
        int caret;
        std::uint16_t mask;
        std::u16string result;
        int caretAfter;
    };
    const Case cases[] = {
        {u"a 1.5k\tx", 8, kEditNumberMask, u"1.5k", 4},
        {u"1.5k", 4, kEditNumberMask | kEditNoDot, u"15k", 3},
        {u"1 2 3", 3, kEditDigits | kEditBlanks, u"1 2 3", 3},
        {u"12ab3", 2, kEditCountMask, u"123", 2},
        {u"a_b-c 9", 7, kEditIdentifier, u"a_bc9", 5},
    };
    for (const Case& c : cases) {
        const FilteredText f = FilterText(c.text, c.caret, c.mask);
        EXPECT_TRUE(f.text == c.result) << std::string(c.text.begin(), c.text.end());
        EXPECT_EQ(f.caret, c.caretAfter) << std::string(c.text.begin(), c.text.end());
    }
}

TEST(ControlRules, NumbersAreReadWithTheirSuffixes) {
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
        const char* text;
        double value;
    };
    const Case cases[] = {
        {"2.5 u", 2.5e-6}, {"10m", 0.01},   {"1M", 1e6},          {"  3 G", 3e9},
        {"2T", 2e12},      {"7n", 7e-9},    {"4p", 4e-12},        {"abc", 0.0},
        {"5k3", 5000.0},   {"1e3k", 1e6},   {".5", 0.5},          {"1.e2", 100.0},
        {"1e", 1.0},       {"1ek", 1.0},    {"-2.5e-3", -2.5e-3}, {"+4", 4.0},
        {"1e999", inf},    {"1e-999", 0.0}, {"0.000e999", 0.0},   {"12 x", 12.0},
    };
    for (const Case& c : cases) {
        const double v = ReadSuffixedNumber(c.text);
        if (std::isinf(c.value))
            EXPECT_EQ(v, c.value) << c.text;
        else
            EXPECT_NEAR(v, c.value, std::fabs(c.value) * 1e-12) << c.text;
    }

    struct Whole {
        const char* text;
        std::int32_t value;
    };
    const Whole wholes[] = {{"  -12abc", -12},
                            {"+7", 7},
                            {"3.9", 3},
                            {"99999999999", 2147483647},
                            {"-99999999999", -2147483647 - 1}};
    for (const Whole& w : wholes) EXPECT_EQ(ReadWholeNumber(w.text), w.value) << w.text;
}

TEST(ControlRules, SwatchShowsItsColourAsSixHexDigitsRedFirstOrAWord) {
    EXPECT_EQ(ColourText(0x0000FF), "FF0000");
    const std::optional<Rgb> c = ColourFromText("00ff80");
    ASSERT_TRUE(c);
    EXPECT_EQ(*c, 0x80FF00u);  // red 0, green 255, blue 128
    EXPECT_EQ(ColourFromText("ABCDEF99"), std::optional<Rgb>(0xEFCDABu));
    EXPECT_EQ(ColourFromText("12345"), std::nullopt);
    EXPECT_EQ(ColourFromText("zz0000"), std::nullopt);
    EXPECT_EQ(ColourFromText("+12345"), std::nullopt);

    EXPECT_EQ(SwatchWord(kSwatchColour, {}), std::nullopt);
    EXPECT_EQ(SwatchWord(kSwatchAutomatic, {}), "Automatic");
    EXPECT_EQ(SwatchWord(kSwatchTransparent, {"None", "Auto"}), "None");
}

TEST(ProductVersion, ShownUpToTheSecondDot) {
    const std::pair<const char*, const char*> cases[] = {
        {"8, 0, 2, 100", "8.0"}, {"0.1.0", "0.1"}, {"12", "12"}, {"", ""}, {"1.2", "1.2"}};
    for (const auto& [version, shown] : cases) EXPECT_EQ(ShortProductVersion(version), shown);
}

}  // namespace
}  // namespace kurvex
