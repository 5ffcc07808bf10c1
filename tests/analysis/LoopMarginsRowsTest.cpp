#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "analysis/LoopMarginsRows.h"
#include "formula/FormulaTestSupport.h"
#include "graph/ViewLayout.h"

namespace kurvex {
namespace {

TEST(LoopMarginsRows, FrequenciesTakeFiveDigitsAndAnEngineeringPrefix) {
    const std::pair<double, const char*> cases[] = {
        {2846.1, "2.8461 kHz"}, {10, "10 Hz"},       {0.25, "250 mHz"},
        {999.996, "1 kHz"},     {1.5e9, "1.5 GHz"},  {123456789, "123.46 MHz"},
        {0.0, "0 Hz"},          {std::nan(""), "-"},
    };
    for (const auto& [hz, text] : cases) EXPECT_EQ(FrequencyText(hz), text) << hz;
}

// Gain 20 .. -20 dB and a phase that wraps past -180 between 100 Hz and 1 kHz:
// through 0 dB at 10^2.2 Hz (phase -174), through -180 at 10^2.5 Hz (gain -6).
struct Bode {
    CResultDataRef data = test::MakeData(
        {"Frequency", "amp(v)", "phase(v)", "amp(w)"},
        {{10, 100, 1000, 10000}, {20, 4, -16, -20}, {-100, -170, 170, 150}, {1, 1, 1, 1}});
    DefaultScreens d = MakeDefaultScreens(data, CharMetrics{});
    std::vector<CGraphCurve*> screens{d.screens[0].get(), d.screens[1].get()};
};

TEST(LoopMarginsRows, RowsListsTextAndMarksOfALoop) {
    Bode b;
    const LoopMarginsReport r = LoopMarginsOf(b.screens, 0, 0, -1);
    ASSERT_TRUE(r.Ok()) << r.error;
    const std::string text = LoopMarginsText(r);
    EXPECT_EQ(text,
              "amp(v) with phase(v), 10 Hz to 10 kHz\n"
              "Gain crossover\t158.49 Hz\n"
              "Phase margin\t6.0\u00B0\n"
              "Phase crossover\t316.23 Hz\n"
              "Gain margin\t6.0 dB\n"
              "\u22123 dB bandwidth\t15.399 Hz\n"
              "Peak gain\t20.0 dB at 10 Hz\n"
              "All gain crossings\t1\n"
              "\t158.49 Hz, falling, PM 6.0\u00B0\n"
              "All phase crossings\t1\n"
              "\t316.23 Hz, falling, GM 6.0 dB\n");
    const auto marks = LoopMarginsMarks(b.screens, r);
    ASSERT_EQ(marks.size(), 2u);
    ASSERT_EQ(marks[0].size(), 1u);
    EXPECT_NEAR(marks[0][0].x, std::pow(10.0, 2.2), 1e-9);
    EXPECT_EQ(marks[0][0].y, 0.0);
    EXPECT_EQ(marks[0][0].label, "PM 6.0\u00B0");
    ASSERT_EQ(marks[1].size(), 1u);
    EXPECT_NEAR(marks[1][0].x, std::pow(10.0, 2.5), 1e-9);
    // The shown phase is wrapped: the mark sits on the level its curve reaches there.
    EXPECT_EQ(marks[1][0].y, 180.0);

    // Zoomed in past the crossings: the visible range alone is measured.
    b.screens[0]->SetXRange(std::log10(500.0), 4, 1, RangeFlags{});
    const LoopMarginsReport zoomed = LoopMarginsOf(b.screens, 0, 0, 2);
    ASSERT_TRUE(zoomed.Ok()) << zoomed.error;
    EXPECT_FALSE(zoomed.margins.gainCrossover || zoomed.margins.phaseCrossover);
    EXPECT_TRUE(LoopMarginsMarks(b.screens, zoomed)[0].empty());
}

TEST(LoopMarginsRows, RefusalsSayWhyAndMarkNothing) {
    Bode b;
    const auto unpaired =
        test::MakeData({"Frequency", "amp(a)", "phase(b)"}, {{1, 2}, {0, 0}, {0, 0}});
    const DefaultScreens u = MakeDefaultScreens(unpaired, CharMetrics{});
    struct Case {
        std::vector<CGraphCurve*> screens;
        std::int32_t screen, curve;
        std::string error;
    };
    const Case cases[] = {
        {b.screens, 0, 5, "No curve is selected."},
        {b.screens, 2, 0, "No curve is selected."},
        {{u.screens[0].get(), u.screens[1].get()},
         0,
         0,
         "No phase pairs with amp(a): choose one under Phase."},
    };
    for (const Case& c : cases) {
        const LoopMarginsReport r = LoopMarginsOf(c.screens, c.screen, c.curve, -1);
        EXPECT_EQ(r.error, c.error);
        EXPECT_TRUE(r.rows.empty());
        for (const auto& m : LoopMarginsMarks(c.screens, r)) EXPECT_TRUE(m.empty());
        EXPECT_NE(LoopMarginsText(r).find(c.error), std::string::npos);
    }
    // A curve computed by a formula names no column to pair.
    b.screens[0]->AddCurve(CCurveEntry::ForFormula("amp(v)*2"));
    EXPECT_NE(LoopMarginsOf(b.screens, 0, 2, -1).error.find("is not a column"), std::string::npos);
}

}  // namespace
}  // namespace kurvex
