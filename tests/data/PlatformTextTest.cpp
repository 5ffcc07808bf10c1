#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "data/formats/RequestText.h"
#include "data/platform/NameText.h"
#include "data/platform/NumberText.h"

namespace kurvex {
namespace {

double Parse(const std::string& s) {
    return ParseDecimal(s.data(), s.data() + s.size());
}

TEST(NumberText, ReadsWhatStrtodReadsIncludingPlusFortranExponentsAndOutOfRange) {
    const std::pair<const char*, double> cases[] = {
        {"1.5d3", 1500.0},
        {"+2.5", 2.5},
        {"-.5", -0.5},
        {"1.E2", 100.0},
        {"1.5.3", 1.5},  // longest numeric prefix
        {"1e", 1.0},
        {"+-1", 0.0},
        {"e5", 0.0},
        {"1.234567890123456789E-05", std::strtod("1.234567890123456789E-05", nullptr)},
        {"1e-400", 0.0},
        {"1e400", HUGE_VAL},
        {"-1D400", -HUGE_VAL},
        {"4.9e-324", std::strtod("4.9e-324", nullptr)},  // denormal, not an error
    };
    for (const auto& [text, want] : cases) EXPECT_EQ(Parse(text), want) << text;
    // Long tokens are read in full.
    EXPECT_DOUBLE_EQ(Parse("0." + std::string(300, '0') + "1d301"), 1.0);
}

TEST(NumberText, FastPathAgreesWithStrtodBitForBit) {
    std::mt19937_64 rng(7);
    const char* shapes[] = {"%.9E", "%.17g", "%.3f", "%g", "%.15e", "%.0f"};
    int fast = 0;
    for (int i = 0; i < 200000; ++i) {
        const double mag = std::pow(10.0, static_cast<double>(rng() % 60) - 30);
        const double x = (static_cast<double>(rng() % 2000001) - 1000000.0) / 1000000.0 * mag;
        char text[64];
        std::snprintf(text, sizeof text, shapes[i % 6], x);
        const char* end = text + std::strlen(text);
        double v = 0;
        const char* stop = nullptr;
        if (ParseSimpleDecimal(text, end, v, stop)) {
            ++fast;
            ASSERT_EQ(stop, end) << text;
            const double want = std::strtod(text, nullptr);
            ASSERT_EQ(std::memcmp(&v, &want, sizeof v), 0) << text;
        }
    }
    EXPECT_GT(fast, 100000);  // the common shapes do take the fast path

    // Shapes it must leave to the full conversion.
    for (const char* text :
         {"1e", "+.", "12345678901234567890", "1e-30", "9007199254740993", "."}) {
        double v = 0;
        const char* stop = nullptr;
        const char* end = text + std::strlen(text);
        EXPECT_FALSE(ParseSimpleDecimal(text, end, v, stop) && stop == end) << text;
    }
    double v = 0;
    const char* stop = nullptr;
    const char* d = "-2.5D-3 ";
    ASSERT_TRUE(ParseSimpleDecimal(d, d + 8, v, stop));
    EXPECT_EQ(v, -2.5e-3);
    EXPECT_EQ(stop, d + 7);
}

// The definition, spelled out slowly: the first "%.{p}g", p = 6 .. 17, that
// strtod reads back as v.
std::string ShortestBySearch(double v) {
    char text[40];
    for (int p = 6; p <= 17; ++p) {
        std::snprintf(text, sizeof text, "%.*g", p, v);
        if (std::strtod(text, nullptr) == v) break;
    }
    return text;
}

TEST(NumberText, ExactNumberIsTheShortestPrecisionThatReadsBack) {
    std::mt19937_64 rng(11);
    // Zeros of both signs, %g's own text where it reads back (1e+06, 0.0001, the
    // smallest denormal), and where it does not: 123456789, a 1 ns step near
    // 20 ms, 0.1 + 0.2, the largest double.
    std::vector<double> values = {0.0,  -0.0,      1.5,       1e5,     1e6,       1e-4,
                                  1e-5, 0.1 + 0.2, 123456789, 1234567, -2.5e-300, 20e-3 - 1e-9};
    for (double v : {12345678901234567e3, 4.9406564584124654e-324, 1.7976931348623157e308})
        values.push_back(v);
    for (int i = 0; i < 50000; ++i) {
        const std::uint64_t bits = rng();
        double v;
        std::memcpy(&v, &bits, sizeof v);
        if (std::isfinite(v)) values.push_back(v);
    }
    for (int k = 0; k < 25000; ++k) {
        values.push_back(k * 1e-9);  // simulator time steps
        values.push_back(k * 0.1);
        values.push_back(std::ldexp(1.0, k % 2098 - 1074));  // powers of two, denormals too
        values.push_back(std::pow(10.0, k % 620 - 320) * (1 + k % 7));
    }
    for (double v : values) {
        const std::string text = ExactNumber(v);
        ASSERT_EQ(text, ShortestBySearch(v)) << std::hexfloat << v;
        ASSERT_EQ(Parse(text), v) << text;  // and our own reader agrees
    }
}

TEST(NumberText, FormatGrowsForLongOutput) {
    EXPECT_EQ(Format("%.2f|%s|%d", 1.25, "a", 7), "1.25|a|7");
    EXPECT_EQ(Format("%s", std::string(1000, 'x').c_str()), std::string(1000, 'x'));
}

// Octal escapes below where a hex one would run into the letters after it.
TEST(NameText, DecodesUtf8AsItIsAndAnythingElseAsWindows1252) {
    struct Case {
        std::string bytes, text;
    };
    const Case cases[] = {
        {"", ""},
        {"tab\there\x01", "tab\there\x01"},      // control characters stay
        {"\303\234berlast", "\303\234berlast"},  // UTF-8 Ü
        {"\xE2\x82\xAC\xF0\x9F\x94\x8C", "\xE2\x82\xAC\xF0\x9F\x94\x8C"},  // € and a 4-byte one
        {"\334berlast", "\303\234berlast"},                                // Windows-1252 Ü
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
        {"Time", "TIME", true},          {"Time", "Tim", false},
        {"\3341", "\303\2341", true},     // Windows-1252 against UTF-8
        {"\303\234", "\303\274", false},  // Ü and ü: only ASCII letters fold
        {"v\265", "V\302\265", true},    {"\x81", "\x8D", true},  // both U+FFFD
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SameName(c.a, c.b), c.same) << c.a << " / " << c.b;
        EXPECT_EQ(SameName(c.b, c.a), c.same) << c.b << " / " << c.a;
    }
}

TEST(RequestText, ExpandsNamePatterns) {
    struct Case {
        std::string text;
        std::vector<std::string> names;
    };
    const Case cases[] = {
        {"/r/buck.txt", {"/r/buck.txt"}},
        {"/r/run<1,2>.txt", {"/r/run1.txt", "/r/run2.txt"}},
        {"/r/x<,1,,2,>.kfd", {"/r/x1.kfd", "/r/x2.kfd"}},
        {"/r/x<>.kfd", {}},
        {"", {}},
        // Without a ">" after the "<" the text is one plain name.
        {"/r/a<1,2.txt", {"/r/a<1,2.txt"}},
        {"/r/a>1<2.txt", {"/r/a>1<2.txt"}},
        // The first ">" after the "<" closes the list.
        {"p<1,2>s>t", {"p1s>t", "p2s>t"}},
        {"/d/Ü<ä,ö>", {"/d/Üä", "/d/Üö"}},
    };
    for (const Case& c : cases) EXPECT_EQ(ExpandFileNamePattern(c.text), c.names) << c.text;
}

TEST(RequestText, RefusesBadRequestsWithoutTruncating) {
    struct Case {
        std::string bytes;
        bool accepted;
    };
    const std::string longest(kMaxRequestBytes, 'a');
    const Case cases[] = {
        {"/tmp/buck.txt", true},
        {"/tmp/\xC3\xA4\xE2\x82\xAC\xF0\x9F\x98\x80.txt", true},  // ä € and an emoji
        {longest, true},
        {"", false},
        {longest + "a", false},
        {std::string("/tmp/a\0b.txt", 12), false},
        {"/tmp/x<>.txt", false},
        {"/tmp/\xE4.txt", false},          // Latin-1 ä
        {"/tmp/\xC0\xAF", false},          // overlong "/"
        {"/tmp/\xE0\x80\xAF", false},      // overlong "/" in three bytes
        {"/tmp/\xED\xA0\x80", false},      // a surrogate
        {"/tmp/\xF4\x90\x80\x80", false},  // beyond U+10FFFF
        {"/tmp/\xF0\x9F\x98", false},      // cut short at the end
        {"/tmp/\xE2\x82"
         "a",
         false},  // cut short before a plain byte
        {"/tmp/\xFF\xFE", false},
        {"--runs\n/tmp/<1,2>/out.raw", true},
        {"--runs\n", false},
        {"--runs\n/tmp/x<>.txt", false},
    };
    for (const Case& c : cases) {
        const std::string reason = RequestRefusal(c.bytes);
        EXPECT_EQ(reason.empty(), c.accepted) << c.bytes.size() << " bytes: " << reason;
    }
    std::string runs = "--runs\n/a<1,2>";
    EXPECT_TRUE(TakeRunsFlag(runs));
    EXPECT_EQ(runs, "/a<1,2>");
    std::string name = "/--runs\n";  // only a leading flag counts
    EXPECT_FALSE(TakeRunsFlag(name));
}

}  // namespace
}  // namespace kurvex
