#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "data/platform/NumberText.h"

namespace kurvex {
namespace {

double Parse(const std::string& s) {
    return ParseDecimal(s.data(), s.data() + s.size());
}

TEST(NumberText, ReadsWhatStrtodReadsIncludingPlusFortranExponentsAndOutOfRange) {
    const std::pair<const char*, double> cases[] = {
        {"1.5D+02", 150.0},
        {"1.5d3", 1500.0},
        {"+2.5", 2.5},
        {"-.5", -0.5},
        {"1.E2", 100.0},
        {"1.5.3", 1.5},  // longest numeric prefix
        {"1e", 1.0},
        {"+-1", 0.0},
        {"-", 0.0},
        {"e5", 0.0},
        {"", 0.0},
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

TEST(NumberText, ExactNumberKeepsExactGTextAndLengthensTheRest) {
    const std::pair<double, const char*> cases[] = {
        {0.0, "0"},
        {-0.0, "-0"},
        {1.5, "1.5"},
        {100000, "100000"},
        {1e6, "1e+06"},
        {0.0001, "0.0001"},
        {1e-5, "1e-05"},
        {-2.5e-300, "-2.5e-300"},
        {123456789, "123456789"},  // %g gives 1.23457e+08
        {1234567, "1234567"},      // fixed while the exponent < p
        {12345678901234567e3, "1.2345678901234567e+19"},
        {0.1 + 0.2, "0.30000000000000004"},
        {20e-3 - 1e-9, "0.019999999"},              // a 1 ns step near 20 ms
        {4.9406564584124654e-324, "4.94066e-324"},  // %g already reads back
        {1.7976931348623157e308, "1.7976931348623157e+308"},
    };
    for (const auto& [v, text] : cases) EXPECT_EQ(ExactNumber(v), text) << text;
}

TEST(NumberText, ExactNumberIsTheShortestPrecisionThatReadsBack) {
    std::mt19937_64 rng(11);
    std::vector<double> values;
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

}  // namespace
}  // namespace kurvex
