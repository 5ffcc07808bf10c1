#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "analysis/Cycles.h"
#include "analysis/MeasureTables.h"
#include "formula/FormulaTestSupport.h"

namespace kurvex {
namespace {

// A gate G of period 10 s and I = 1 + G over 0 .. 99 s.
CResultDataRef Converter() {
    return test::GateData(100, {"Time", "G", "I"});
}

struct View {
    CGraphCurve top, bottom;
    std::vector<CGraphCurve*> screens{&top, &bottom};

    explicit View(const CResultDataRef& d) : top(test::ScreenOver(d, 0, 99, 10)) {
        bottom.SetData(d);
        bottom.StoreX(DataExtent{0, 99}, AxisRange{0, 99, 10});
        CCurveEntry doubled = CCurveEntry::ForFormula("I*2");
        EXPECT_TRUE(doubled.Bind(d).ok);
        doubled.colour = 0x00FF00;
        bottom.AddCurve(doubled);
    }
    void Zoom(double from, double to) {
        for (CGraphCurve* s : screens) s->StoreX(DataExtent{0, 99}, AxisRange{from, to, 10});
    }
};

double Value(const FigureTable& t, std::size_t row, std::size_t column) {
    const auto& v = t.rows.at(row).values.at(column);
    EXPECT_TRUE(v) << t.rows[row].label << " column " << column;
    return v ? *v : NAN;
}

TEST(CycleTable, OneRowPerCurveOfEveryScreenOverTheCyclesInView) {
    View v(Converter());
    FigureTable t = CycleTable(v.screens, std::nullopt, {});
    EXPECT_EQ(t.title, "Reference G: level 5, hysteresis 1; 8 cycles, period 10, frequency 0.1");
    ASSERT_EQ(t.rows.size(), 3u);
    EXPECT_EQ(t.rows[2].colour, 0x00FF00u);
    // Columns: Avg, RMS, Min, Max, Ripple, Duty; G's trapezoids give 30 V s per 10 s cycle.
    EXPECT_DOUBLE_EQ(Value(t, 0, 0), 3.0);
    EXPECT_DOUBLE_EQ(Value(t, 0, 5), 0.3);
    EXPECT_FALSE(t.rows[1].values[5]);  // duty is the reference's alone
    const std::string text = FigureTableText(t);
    EXPECT_NE(text.find("\nI*2\t8\t"), std::string::npos) << text;

    // Zooming keeps the crossings in view; the selected curve is the reference.
    v.Zoom(25, 60);
    v.bottom.SetSelectedCurve(0);
    t = CycleTable(v.screens, std::nullopt, {});
    EXPECT_EQ(t.title.substr(0, 44), "Reference I*2: level 12, hysteresis 2; 3 cyc");
    EXPECT_DOUBLE_EQ(Value(t, 2, 5), 0.3);
}

// Cycles of unequal peaks and troughs: the extremes are the greatest peak and
// the least trough, the ripple the mean of the cycles' spans (9 and 6).
TEST(CycleTable, ExtremesComeFromTheRightCycles) {
    const CResultDataRef d =
        test::MakeData({"Time", "G"}, {{0, 1, 2, 3, 4, 5, 6}, {0, 10, 1, 6, 0, 10, 0}});
    CGraphCurve screen = test::ScreenOver(d, 0, 6);
    const FigureTable t = CycleTable({&screen}, CurvePlace{0, 0}, {});
    ASSERT_EQ(t.title.substr(0, 44), "Reference G: level 5, hysteresis 1; 2 cycles");
    EXPECT_EQ(Value(t, 0, 2), 0.0);
    EXPECT_EQ(Value(t, 0, 3), 10.0);
    EXPECT_EQ(Value(t, 0, 4), 7.5);
}

TEST(CycleTable, SaysInWordsWhyThereAreNoCycles) {
    View v(Converter());
    struct Case {
        CurvePlace reference;
        CycleRequest request;
        const char* says;  // a part of the message
    };
    const Case cases[] = {
        {{0, 0}, {12.0, std::nullopt}, "G never rises through its level 12 after being below 11.5"},
        {{0, 0}, {std::nullopt, 30.0}, "G never rises through its level 5 after being below -10"},
        {{5, 0}, {}, "No curve to measure."},
    };
    for (const Case& c : cases) {
        const FigureTable t = CycleTable(v.screens, c.reference, c.request);
        EXPECT_NE(t.message.find(c.says), std::string::npos) << t.message;
        EXPECT_TRUE(t.rows.empty());
    }
    v.Zoom(5, 15);
    const std::string once = CycleTable(v.screens, CurvePlace{0, 0}, {}).message;
    EXPECT_NE(once.find("level 5 only once"), std::string::npos) << once;
    v.top.StoreScales(0, 0, 1);
    EXPECT_NE(CycleTable(v.screens, std::nullopt, {}).message.find("spectra"), std::string::npos);
}

}  // namespace
}  // namespace kurvex
