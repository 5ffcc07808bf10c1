#include <gtest/gtest.h>

#include "formula/FormulaTestSupport.h"
#include "graph/Reload.h"

namespace kurvex {
namespace {

using test::MakeData;

TEST(Reload, CurvesFindTheirVariablesByNameOrGo) {
    const auto old = MakeData({"Time", "A", "B"}, {{0, 1, 2}, {1, 2, 3}, {4, 5, 6}});
    CGraphCurve top, bottom;
    for (CGraphCurve* s : {&top, &bottom}) s->SetData(old);
    top.AddCurve(CCurveEntry::ForColumn(old, 1));
    top.AddCurve(CCurveEntry::ForColumn(old, 2));
    CCurveEntry formula = CCurveEntry::ForFormula("A*2");
    ASSERT_TRUE(formula.Bind(old).ok);
    bottom.AddCurve(formula);
    CCurveEntry gone = CCurveEntry::ForFormula("B+1");
    ASSERT_TRUE(gone.Bind(old).ok);
    bottom.AddCurve(gone);

    // B is gone and A moved to another column.
    const auto fresh = MakeData({"Time", "C", "A"}, {{0, 1, 2, 3}, {0, 0, 0, 0}, {10, 20, 30, 40}});
    const RebindResult r = RebindView({&top, &bottom}, fresh);
    EXPECT_FALSE(r.closeView);
    ASSERT_EQ(top.CurveCount(), 1);
    EXPECT_EQ(top.Curve(0).formula, "A");
    EXPECT_EQ(top.Curve(0).columnIndex, 2);
    ASSERT_EQ(bottom.CurveCount(), 1);
    EXPECT_EQ(bottom.Curve(0).formula, "A*2");
    EXPECT_EQ(bottom.Curve(0).formulaResult->Values()[3], 80.0);  // rebuilt over the new rows
    EXPECT_EQ(top.Data().Get(), fresh.Get());
    EXPECT_DOUBLE_EQ(bottom.YExtent().max, 80.0 * 1.0);
    EXPECT_EQ(top.BusyCount(), 0);
}

TEST(Reload, AViewWhoseXVariableIsGoneClosesUntouched) {
    const auto old = MakeData({"Time", "A"}, {{0, 1}, {1, 2}});
    CGraphCurve screen = test::ScreenOver(old, 0, 1);
    const auto fresh = MakeData({"Freq", "A"}, {{0, 1}, {1, 2}});
    const RebindResult r = RebindView({&screen}, fresh);
    EXPECT_TRUE(r.closeView);
    EXPECT_EQ(screen.Data().Get(), old.Get());
    EXPECT_EQ(screen.CurveCount(), 1);

    // The X variable found at another index: the screens follow it.
    const auto moved = MakeData({"A", "Time"}, {{1, 2}, {0, 1}});
    EXPECT_FALSE(RebindView({&screen}, moved).closeView);
    EXPECT_EQ(screen.XIndex(), 1);
    EXPECT_EQ(screen.XVariableName(), "Time");
}

TEST(Reload, RequestsForOneFileWaitingTogetherAreReadOnce) {
    struct Case {
        std::vector<std::string> asked;
        std::vector<std::string> waiting;
    };
    const Case cases[] = {
        {{"/a", "/a", "/a"}, {"/a"}},
        {{"/a", "/b", "/a"}, {"/b", "/a"}},
        {{"/a", "/A"}, {"/a", "/A"}},  // another letter case is another file
    };
    for (const Case& c : cases) {
        std::vector<std::string> waiting;
        for (const std::string& name : c.asked) QueueRequest(waiting, name);
        EXPECT_EQ(waiting, c.waiting) << c.asked.size();
    }
}

}  // namespace
}  // namespace kurvex
