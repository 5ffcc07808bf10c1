#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "analysis/Averages.h"
#include "analysis/MeasureTables.h"
#include "formula/FormulaTestSupport.h"
#include "interaction/MeasureRows.h"

namespace kurvex {
namespace {

using test::MakeData;

double Figure(CGraphCurve& g, AverageKind kind) {
    const auto r = AverageCommand({&g}, kind);
    EXPECT_TRUE(r && r->value);
    return r && r->value ? *r->value : NAN;
}

TEST(Averages, PlainMeanOverTheVisibleSamplesWhateverTheirFlags) {
    struct Case {
        const char* name;
        std::vector<double> x, y;
        std::uint8_t invalidAt;  // row flagged invalid; 255 for none
        bool logY;
        double from, to;
        double mean, meanAbs, rms;
    };
    const std::vector<double> x = {0, 1, 2, 3, 4}, y = {-1, 1, 3, 5, 7};
    const Case cases[] = {
        // An invalid sample's stored value counts.
        {"bad", {0, 1, 2, 3}, {1, -2, 100, 4}, 2, false, 0, 3, 25.75, 26.75, std::sqrt(2505.25)},
        // An uneven step is not weighted.
        {"uneven", {0, 0.1, 10}, {1, 1, 4}, 255, false, 0, 10, 2, 2, std::sqrt(6.0)},
        // Edges between samples take the outer ones.
        {"edges", x, y, 255, false, 1.5, 2.5, 3, 3, std::sqrt(35.0 / 3)},
        // A log Y axis averages decades.
        {"log Y", {0, 1, 2}, {10, 100, 1000}, 255, true, 0, 2, 2, 2, std::sqrt(14.0 / 3)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto d = MakeData({"Time", "V"}, {c.x, c.y});
        if (c.invalidAt != 255) d->Variable(1)->Flags()[c.invalidAt] = kPointInvalid;
        CGraphCurve g = test::ScreenOver(d, c.from, c.to);
        g.StoreScales(0, c.logY ? 1 : 0, 0);
        EXPECT_DOUBLE_EQ(Figure(g, AverageKind::Mean), c.mean);
        EXPECT_DOUBLE_EQ(Figure(g, AverageKind::MeanAbs), c.meanAbs);
        EXPECT_DOUBLE_EQ(Figure(g, AverageKind::Rms), c.rms);
    }
}

TEST(Averages, AWindowWithoutSamplesHasNoValue) {
    const std::vector<double> y = {1, 2};
    EXPECT_FALSE(AveragesOver(y.data(), 1, 0).has_value());
    EXPECT_FALSE(AveragesOver(y.data(), -1, 0).has_value());
    EXPECT_FALSE(AveragesOver(nullptr, 0, 0).has_value());
    EXPECT_EQ(AveragesOver(y.data(), 1, 1)->samples, 1);

    // A screen over a data set without rows: the window shows the caption and
    // the label, and says there is no value.
    const auto d = MakeData({"Time", "V"}, {{}, {}});
    CGraphCurve g = test::ScreenOver(d, 0, 1);
    g.Curve(0).colour = 0x00FF00;
    const auto r = AverageCommand({&g}, AverageKind::MeanAbs);
    ASSERT_TRUE(r.has_value());
    EXPECT_FALSE(r->value.has_value());
    MeasureWindowState w;
    w.resultLabel = r->label;
    w.resultValue = r->value;
    w.resultColour = r->colour;
    EXPECT_EQ(MeasureRows(w), (std::vector<MeasureRow>{{"V", "no value", 0x00FF00}}));
}

TEST(Averages, CommandNamesTheSelectedCurveByItsVariable) {
    const auto d = MakeData({"Time", "A", "B"}, {{0, 1}, {1, 3}, {2, 2}});
    CGraphCurve g = test::ScreenOver(d, 0, 1);
    g.Curve(1).label = "shown label";
    g.SetSelectedCurve(1);
    const auto r = AverageCommand({&g}, AverageKind::Rms);
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(r->label, "B");
    EXPECT_EQ(r->value, 2.0);
    CGraphCurve none;
    EXPECT_FALSE(AverageCommand({&none}, AverageKind::Mean).has_value());
}

}  // namespace
}  // namespace kurvex
