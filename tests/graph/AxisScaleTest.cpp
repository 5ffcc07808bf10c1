#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "graph/AxisScale.h"

namespace kurvex {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

struct StepCase {
    double from, to;
    double step, alignedFrom, alignedTo;
};

TEST(NiceStep, EachAxisChoosesStepAndMovesEndsOntoGrid) {
    struct Case {
        Axis axis;
        StepCase c;
    };
    const Case cases[] = {
        {Axis::X, {0, 7, 2, 0, 8}},    // mantissa 7 > 6.001
        {Axis::X, {0, 1, 0.2, 0, 1}},  // mantissa 1
        {Axis::X, {0, 3.5, 0.5, 0, 3.5}},
        {Axis::X, {1.3, 9.6, 2, 0, 10}},
        {Axis::X, {0, 0.005, 0.001, 0, 0.005}},  // mantissa 5 of 10^-3
        // The first pass lands on 1.2, the second refines the step for it.
        {Axis::X, {0, 1.001, 0.25, 0, 1.25}},
        // A negative end already on the grid stays where it is.
        {Axis::X, {-10, -2, 2, -10, -2}},
        // Y has thresholds of its own.
        {Axis::Y, {0, 1.6, 0.25, 0, 1.75}},  // X would take 0.5 here
        {Axis::Y, {0, 1.2, 0.2, 0, 1.2}},
        {Axis::Y, {0, 1.5, 0.25, 0, 1.5}},  // 1.5 is not below 1.5
        {Axis::Y, {0, 7, 1, 0, 7}},         // 7 still takes 1 on Y, 2 on X
        {Axis::Y, {0, 7.5, 2, 0, 8}},
        {Axis::Y, {-0.6, -1e-5, 0.1, -0.6, 0}},  // rounding noise at zero snaps to zero
    };
    for (const Case& k : cases) {
        const StepCase& c = k.c;
        double from = c.from, to = c.to;
        SCOPED_TRACE(testing::Message()
                     << (k.axis == Axis::X ? "X " : "Y ") << c.from << " .. " << c.to);
        EXPECT_DOUBLE_EQ(k.axis == Axis::X ? NiceStepX(to, from) : NiceStepY(to, from), c.step);
        EXPECT_DOUBLE_EQ(from, c.alignedFrom);
        EXPECT_DOUBLE_EQ(to, c.alignedTo);
    }
}

TEST(NiceStep, UnusableSpanLeavesEndsAlone) {
    const double spans[][2] = {{3, 3}, {5, 1}, {kNaN, 1}, {0, kInf}, {-kInf, kInf}};
    for (const auto& s : spans) {
        double from = s[0], to = s[1];
        EXPECT_EQ(NiceStepX(to, from), 0.0);
        EXPECT_EQ(NiceStepY(to, from), 0.0);
        EXPECT_TRUE(from == s[0] || std::isnan(s[0]));
        EXPECT_TRUE(to == s[1] || std::isnan(s[1]));
    }
}

TEST(NiceStep, TinyAndHugeSpansStayFinite) {
    const double spans[][2] = {{0, 1e-300}, {1e300, 1.5e300}, {1e6, 1e6 + 1e-6}, {0, 5e-320}};
    for (const auto& s : spans) {
        double from = s[0], to = s[1];
        SCOPED_TRACE(testing::Message() << s[0] << " .. " << s[1]);
        const double step = NiceStepX(to, from);
        EXPECT_GT(step, 0.0);
        EXPECT_TRUE(std::isfinite(step) && std::isfinite(from) && std::isfinite(to));
        EXPECT_LE(from, s[0] + std::fabs(s[0]) * 1e-12);
        EXPECT_GE(to, s[1] - std::fabs(s[1]) * 1e-12);
    }
}

TEST(AlignDown, MovesDownOntoTheStep) {
    const double cases[][3] = {
        {-0.3, 0.5, -0.5},   // negative and within one step
        {1.2, 0.5, 1.0},     //
        {-1.0, 0.5, -1.0},   // already on the grid
        {0.0, 0.5, 0.0},     //
        {-0.5, 0.5, -0.5},   // exactly one step below zero
        {3.3, 0.0, 3.3},     // an unusable step keeps the value
        {3.3, kNaN, 3.3},    //
        {-3.3, kInf, -3.3},  //
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c[0] << " step " << c[1]);
        EXPECT_DOUBLE_EQ(AlignDown(c[0], c[1]), c[2]);
    }
}

TEST(AdjustDivisions, FourPassesBringDivisionsBetweenThreeAndEight) {
    struct Case {
        double span, increment, expected;
    };
    const Case cases[] = {
        {10, 0.2, 2},      // 50 divisions: times 10 gives 5
        {10, 10, 2},       // 1 division: divided by 10 (10), then doubled (5)
        {10, 4, 2},        // 2.5 divisions: halved
        {10, 3, 3},        // 3.3 divisions are fine
        {10, 1.25, 1.25},  // 8 divisions are fine
        {10, 5, 2.5},      // exactly 2 divisions pass the first pass, then halved
        {10, 0.5, 2},      // exactly 20 pass the second, then doubled twice
        {10, 1e-9, 2},     // many passes of times 10, then doubled
        {10, 1e6, 2},      // many passes of a tenth
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.span << " / " << c.increment);
        const double inc = AdjustDivisions(c.span, c.increment);
        EXPECT_NEAR(inc, c.expected, c.expected * 1e-12);
        const double n = c.span / inc;
        EXPECT_GE(n, 3.0 - 1e-9);
        EXPECT_LE(n, 8.0 + 1e-9);
    }
}

TEST(AdjustDivisions, PassesAreBoundedForExtremeIncrements) {
    // 1e-300 needs more than 100 steps of ten: the passes give up, not loop.
    const double inc = AdjustDivisions(10, 1e-300);
    const double expected = 1e-300 * std::pow(10.0, 100) * 1024;
    EXPECT_NEAR(inc, expected, expected * 1e-12);
    EXPECT_EQ(AdjustDivisions(10, 0.0), 0.0);
    EXPECT_TRUE(std::isnan(AdjustDivisions(10, kNaN)));
    EXPECT_EQ(AdjustDivisions(0.0, 1.0), 1.0);
}

TEST(IncrementFromDivisions, ManualCountsAreLimitedToOneToTwentyAutoTakesTheAxisStep) {
    const struct {
        std::int32_t divisions;
        bool autoGrid;
        Axis axis;
        double step, to;  // over 0 .. 7
    } cases[] = {
        {4, false, Axis::Y, 1.75, 7},  {0, false, Axis::Y, 7, 7}, {20, false, Axis::X, 0.35, 7},
        {50, false, Axis::Y, 0.35, 7}, {3, true, Axis::X, 2, 8},  {3, true, Axis::Y, 1, 7},
    };
    for (const auto& c : cases) {
        double from = 0, to = 7;
        EXPECT_DOUBLE_EQ(IncrementFromDivisions(from, to, c.divisions, c.autoGrid, c.axis), c.step)
            << c.divisions << (c.autoGrid ? " auto" : "");
        EXPECT_EQ(from, 0);
        EXPECT_DOUBLE_EQ(to, c.to);
    }
}

TEST(DegreeStep, PhaseAxesStepByFortyFiveTimesAPowerOfTwo) {
    const StepCase cases[] = {
        {-99, 9, 45, -135, 45},             // one pole's -90 with margins
        {-198, 18, 45, -225, 45},           // exactly 6 divisions after moving out
        {-400, 10, 90, -450, 90},           // 45 would give 10 divisions
        {-1900, 20, 360, -2160, 360},       // unwrapped over several turns
        {-50, 30, 0, -50, 30},              // under two steps: ordinary step
        {30, -90, 0, 30, -90},              // reversed
        {kNaN, 0, 0, kNaN, 0},              // not a number
        {-1e308, 1e308, 0, -1e308, 1e308},  // span overflows
    };
    for (const StepCase& c : cases) {
        double from = c.from, to = c.to;
        EXPECT_EQ(DegreeStep(from, to), c.step) << c.from << " " << c.to;
        if (std::isnan(c.alignedFrom)) continue;
        EXPECT_EQ(from, c.alignedFrom) << c.from;
        EXPECT_EQ(to, c.alignedTo) << c.to;
    }
    double from = -1e300, to = 0;  // huge but finite: still within 8 divisions
    const double step = DegreeStep(from, to);
    EXPECT_LE(-from / step, 8.0);
    EXPECT_GE(-from / step, 1.0);
}

TEST(WidenExtent, SingleValuesAreWidenedAndOrdered) {
    const double cases[][4] = {
        {0, 0, 0, 0.1},                      // all zero
        {5, 5, 4.5, 5.5},                    //
        {-5, -5, -5.5, -4.5},                // widening turns the ends round
        {1, 1 + 1e-15, 0.9, 1.1 + 1.1e-15},  // nearly equal counts as equal
        {3, 1, 1, 3},                        // reversed
    };
    for (const auto& c : cases) {
        const DataExtent e = WidenExtent({c[0], c[1]});
        EXPECT_DOUBLE_EQ(e.min, c[2]);
        EXPECT_DOUBLE_EQ(e.max, c[3]);
    }
}

TEST(Equal48, IgnoresOnlyTheLowSixteenFractionBits) {
    const struct {
        double a, b;
        bool equal;
    } cases[] = {
        {1.0, 1.0, true},     {1.0, std::nextafter(1.0, 2.0), true},
        {0.1 * 3, 0.3, true}, {1.0, 1.0 + 1e-9, false},
        {1.0, -1.0, false},
    };
    for (const auto& c : cases) EXPECT_EQ(Equal48(c.a, c.b), c.equal) << c.a << " " << c.b;
}

}  // namespace
}  // namespace kurvex
