#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <string>
#include <vector>

#include "analysis/MeasureCatalogue.h"
#include "formula/FormulaTestSupport.h"

namespace kurvex {
namespace {

TEST(MeasureCatalogue, EveryIdHasOneEntryFoundByItsKey) {
    const auto all = MeasureCatalogue();
    std::set<std::string> keys, captions;
    for (std::size_t id = 0; id < all.size(); ++id) {
        const MeasureEntry& e = CatalogueEntry(static_cast<MeasureId>(id));
        EXPECT_EQ(static_cast<std::size_t>(e.id), id);
        EXPECT_TRUE(keys.insert(e.key).second) << e.key;
        EXPECT_TRUE(captions.insert(e.caption).second) << e.caption;
        ASSERT_NE(FindMeasureEntry(e.key), nullptr);
        EXPECT_EQ(FindMeasureEntry(e.key)->id, e.id);
    }
    EXPECT_EQ(FindMeasureEntry("no_such"), nullptr);
}

// A piecewise-linear curve on uneven steps, so the trapezoid rule is exact:
// its integral is 0.25 + 2.25 + 2 + 0.4375 + 1.3125 = 6.25 over [0, 5].
const std::vector<double> kX{0, 0.5, 2, 3, 3.25, 5};
const std::vector<double> kY{0, 1, 2, 2, 1.5, 0};

CycleTrace TraceOf(const std::vector<double>& x, const std::vector<double>& y,
                   const std::vector<std::uint8_t>* flags = nullptr) {
    CycleTrace t;
    t.x = x.data();
    t.y = y.data();
    t.yFlags = flags ? flags->data() : nullptr;
    t.last = static_cast<std::int32_t>(x.size()) - 1;
    return t;
}

TEST(MeasureCatalogue, FiguresOfAPiecewiseLinearCurve) {
    // y(1) = 4/3 and y(4) = 6/7 by interpolation.
    const double in14 = (4.0 / 3 + 2) / 2 + 2 + 0.4375 + (1.5 + 6.0 / 7) / 2 * 0.75;
    const std::vector<std::uint8_t> gap{1, 1, 1, 1, 0, 1};  // leaves (3.25, 1.5) out
    const struct {
        MeasureId id;
        double from, to;
        std::optional<double> x;
        bool withGap;
        double value;
        std::optional<double> at;
    } cases[] = {
        {MeasureId::Integral, -INFINITY, INFINITY, {}, false, 6.25, {}},
        {MeasureId::Avg, -INFINITY, INFINITY, {}, false, 6.5 / 6, {}},  // each sample once
        {MeasureId::Integral, 1, 4, {}, false, in14, {}},
        {MeasureId::TimeAvg, 1, 4, {}, false, in14 / 3, {}},
        {MeasureId::WindowMin, 1, 4, {}, false, 6.0 / 7, 4.0},
        {MeasureId::WindowMax, 1, 4, {}, false, 2, 2.0},
        {MeasureId::PeakToPeak, 1, 4, {}, false, 2 - 6.0 / 7, {}},
        {MeasureId::Max, -INFINITY, INFINITY, {}, false, 2, 2.0},
        {MeasureId::ValueAtX, -INFINITY, INFINITY, 1.0, false, 4.0 / 3, 1.0},
        // The neighbours' slopes at 0.5 and 2 (5/3 and 4/15) interpolated at 1.
        {MeasureId::SlopeAtX, -INFINITY, INFINITY, 1.0, false, 1.2, 1.0},
        // An invalid sample is left out of the integral, not read as a value.
        {MeasureId::Integral, -INFINITY, INFINITY, {}, true, 0.25 + 2.25 + 2 + 2, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(CatalogueEntry(c.id).key) + (c.withGap ? " with a gap" : ""));
        MeasureParams params;
        params.from = c.from;
        params.to = c.to;
        params.x = c.x;
        MeasureContext context(TraceOf(kX, kY, c.withGap ? &gap : nullptr), "v", params);
        const MeasureOutcome o = context.Measure(c.id);
        ASSERT_TRUE(o.value) << o.error;
        EXPECT_NEAR(*o.value, c.value, 1e-12);
        EXPECT_EQ(o.at, c.at);
    }
}

TEST(MeasureCatalogue, RiseTimeOfAFirstOrderStepAndDeadTimesBetweenTwoSwitches) {
    // 1 - exp(-t/RC): 10 % to 90 % of the way takes RC ln 9 = 2.197 RC.
    const double rc = 1e-3;
    std::vector<double> t = test::Ramp(20001, 1e-6), v;
    for (double s : t) v.push_back(1 - std::exp(-s / rc));
    MeasureParams levels;
    levels.low = 0;
    levels.high = 1;
    MeasureContext step(TraceOf(t, v), "v", levels);
    EXPECT_NEAR(*step.Measure(MeasureId::RiseTime).value, rc * std::log(9.0), 1e-8);
    EXPECT_FALSE(step.Measure(MeasureId::FallTime).value);

    // b turns off 0.3 before a turns on, so the two directions differ.
    auto s = test::Switches();
    for (int i = 470; i < 480; ++i) s[2][i] = 0;
    MeasureContext pair(TraceOf(s[0], s[1]), "a", {});
    EXPECT_FALSE(pair.Measure(MeasureId::DeadTimeTo).value);  // no partner yet
    MeasureContext both(TraceOf(s[0], s[1]), "a", {});
    both.SetOther(TraceOf(s[0], s[2]), "b");
    EXPECT_NEAR(*both.Measure(MeasureId::DeadTimeTo).value, 0.2, 1e-9);
    EXPECT_NEAR(*both.Measure(MeasureId::DeadTimeFrom).value, 0.3, 1e-9);
    EXPECT_EQ(both.Dead().ab.size(), 2u);
}

TEST(MeasureCatalogue, BadSamplesFailWithAReason) {
    const std::vector<double> back{0, 2, 1, 3}, y{1, 2, 3, 4};
    MeasureContext unsorted(TraceOf(back, y), "v", {});
    const MeasureOutcome o = unsorted.Measure(MeasureId::Integral);
    EXPECT_FALSE(o.value);
    EXPECT_EQ(o.error, "X does not rise, so there is no time integral");
    MeasureParams outside;
    outside.x = 9.0;
    MeasureContext far(TraceOf(kX, kY), "v", outside);
    EXPECT_EQ(far.Measure(MeasureId::ValueAtX).error, "X 9 lies outside the samples");
    const std::vector<double> ones(6, 1.0);
    MeasureContext flat(TraceOf(kX, ones), "v", {});
    EXPECT_FALSE(flat.Measure(MeasureId::Period).error.empty());
}

TEST(MeasureCatalogue, UnitsFollowFromXAndY) {
    const struct {
        MeasureUnit unit;
        const char *x, *y, *text;
    } cases[] = {
        {MeasureUnit::Y, "s", "V", "V"},         {MeasureUnit::X, "s", "V", "s"},
        {MeasureUnit::PerX, "s", "V", "Hz"},     {MeasureUnit::PerX, "m", "V", "1/m"},
        {MeasureUnit::YTimesX, "s", "V", "V·s"}, {MeasureUnit::YPerX, "s", "A", "A/s"},
        {MeasureUnit::YTimesX, "s", "", ""},     {MeasureUnit::Ratio, "s", "V", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(MeasureUnitText(c.unit, c.x, c.y), c.text);
}

}  // namespace
}  // namespace kurvex
