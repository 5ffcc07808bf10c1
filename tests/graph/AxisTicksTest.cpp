#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "graph/AxisTicks.h"

namespace kurvex {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

void ExpectValues(const std::vector<double>& got, const std::vector<double>& want) {
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i)
        EXPECT_NEAR(got[i], want[i], std::fabs(want[i]) * 1e-12);
}

TEST(TickLabel, ValueInTheAxisScaleWithPrefix) {
    struct Case {
        double value, span;
        const char* text;
    };
    const Case cases[] = {
        {1500, 2000, "1.50K"},        {0.002, 0.005, "2.00m"}, {1.5, 5, "1.50"},
        {2.5e-7, 1e-6, "0.25u"},      {3e-9, 5e-9, "3.00n"},   {3e12, 5e12, "3.00E+12"},
        {-4e-12, 1e-11, "-4.00E-12"},                      // exponent -11 rounds down to -12
        {10000, 50000, "10.00K"},                          // exponent 4 rounds down to 3
        {100000, 500000, "0.10M"},                         // exponent 5 rounds up to 6
        {2e9, 4e9, "2.00G"},          {25, 100, "25.00"},  // exponent 2 needs no prefix
        {0.25, 0.5, "0.25"},                               // nor does -1
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.value << " on span " << c.span);
        EXPECT_EQ(TickLabel(c.value, EngineeringPrefix(c.span)), c.text);
    }
}

TEST(EngineeringPrefix, SpansWithoutExponentTextGetNoPrefix) {
    for (double span : {kInf, -kInf, kNaN, 0.0, 1.0, -999.0}) {
        const AxisPrefix p = EngineeringPrefix(span);
        EXPECT_EQ(p.factor, 1.0);
        EXPECT_EQ(p.prefix, "");
    }
    EXPECT_EQ(EngineeringPrefix(-2000).prefix, "K");
    EXPECT_DOUBLE_EQ(EngineeringPrefix(-2000).factor, 1e-3);
    EXPECT_EQ(EngineeringPrefix(5e-13).prefix, "E-12");
    EXPECT_EQ(EngineeringPrefix(2e15).prefix, "E+15");
}

TEST(FormatTickValue, ThreeDecimalsLessOneTrailingZero) {
    const std::pair<double, const char*> cases[] = {
        {0.0, "0.0"},         {-0.0, "0.0"},    {kNaN, "0.0"},    {12.5, "12.50"},
        {1.125, "1.125"},     {-0.25, "-0.25"}, {0.001, "0.001"}, {0.0005, "5.00e-04"},
        {-2e-5, "-2.00e-05"}, {100, "100.00"},  {kInf, "inf"},
    };
    for (const auto& [value, text] : cases) EXPECT_EQ(FormatTickValue(value), text) << value;
}

TEST(LinearTicks, MultiplesOfTheIncrementWithinTheRange) {
    ExpectValues(LinearTicks(0, 10, 2), {0, 2, 4, 6, 8, 10});
    ExpectValues(LinearTicks(-3, 7, 2), {-2, 0, 2, 4, 6});
    ExpectValues(LinearTicks(1.5, 9.5, 2), {2, 4, 6, 8});
    ExpectValues(LinearTicks(-10, 0, 5), {-10, -5, 0});
    // 3 x 0.1 lies just above 0.3 and still counts as the last tick.
    ExpectValues(LinearTicks(0.1, 0.3, 0.1), {0.1, 0.2, 0.3});
}

TEST(LinearTicks, UnusableInputGivesNoTicks) {
    EXPECT_TRUE(LinearTicks(0, 10, kNaN).empty());
    EXPECT_TRUE(LinearTicks(kNaN, 10, 1).empty());
    EXPECT_TRUE(LinearTicks(10, 0, 1).empty());
    EXPECT_TRUE(LinearTicks(0, 1e9, 1).empty());  // more than kMaxTicks
    ExpectValues(LinearTicks(5, 5, 1), {5});
}

TEST(LogTicks, DecadesStepAndLabelByTheWidthOfTheRange) {
    struct Case {
        double from, to;
        std::vector<double> grid, labelled;
    };
    const Case cases[] = {
        // Wide ranges label every second decade, very wide ones step by ten.
        {1, 1e8, {1, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8}, {1, 1e2, 1e4, 1e6, 1e8}},
        {1, 1e30, {1, 1e10, 1e20, 1e30}, {1, 1e10, 1e20, 1e30}},
        // Few decades get nine lines a decade; below three the fives are labelled too.
        {1,
         100,
         {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 20, 30, 40, 50, 60, 70, 80, 90, 100},
         {1, 5, 10, 50, 100}},
        // Partial decades keep only values in range; less than a decade is linear.
        {2, 50, {2, 3, 4, 5, 6, 7, 8, 9, 10, 20, 30, 40, 50}, {5, 10, 50}},
        {2, 8, {2, 3, 4, 5, 6, 7, 8}, {2, 3, 4, 5, 6, 7, 8}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.from << " .. " << c.to);
        const LogTickLists t = LogTicks(c.from, c.to);
        ExpectValues(t.grid, c.grid);
        ExpectValues(t.labelled, c.labelled);
    }
    // Three decades: still nine lines a decade, the fives no longer labelled.
    const LogTickLists wide = LogTicks(1, 1000);
    EXPECT_EQ(wide.grid.size(), 28u);
    ExpectValues(wide.labelled, {1, 10, 100, 1000});
}

TEST(LogTicks, ANarrowRangeStaysWithinItself) {
    const LogTickLists narrow = LogTicks(1.05, 1.06);
    ASSERT_FALSE(narrow.grid.empty());
    EXPECT_LE(narrow.grid.size(), 12u);
    EXPECT_GE(narrow.grid.front(), 1.05);
    EXPECT_LE(narrow.grid.back(), 1.06);
}

TEST(LogTicks, NonPositiveOrReversedRangesGiveNothing) {
    const double ranges[][2] = {{0, 10}, {-1, 10}, {10, 1}, {5, 5}, {1, kInf}, {kNaN, 10}};
    for (const auto& r : ranges) EXPECT_TRUE(LogTicks(r[0], r[1]).grid.empty()) << r[0];
    // The widest range doubles can hold stays small.
    EXPECT_LE(LogTicks(1e-300, 1e300).grid.size(), 8u);
}

TEST(XUnit, TimeAndFrequencyVariablesHaveUnits) {
    const std::pair<const char*, const char*> cases[] = {
        {"Time", "s"},      {"time", "s"},  {"TIME", "s"}, {"Times", ""}, {"Frequency", "Hz"},
        {"FREQ(Hz)", "Hz"}, {"freq", "Hz"}, {"Fre", ""},   {"V1", ""},    {"", ""},
    };
    for (const auto& [name, unit] : cases) EXPECT_EQ(XUnit(name), unit) << name;
}

}  // namespace
}  // namespace kurvex
