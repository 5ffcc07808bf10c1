#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QScrollArea>
#include <QScrollBar>
#include <vector>

#include "app/tools/MeasureWindow.h"
#include "formula/FormulaTestSupport.h"
#include "interaction/MouseMode.h"

namespace kurvex {
namespace {

// A measure window over a shown frame, closed again at the end.
class MeasureWindow : public ::testing::Test {
protected:
    void SetUp() override {
        mainFrame_.setGeometry(100, 50, 900, 700);
        mainFrame_.show();
        window_ = CMsuFrame::Open(&mainFrame_);
        ASSERT_NE(window_, nullptr);
    }
    void TearDown() override {
        delete CMsuFrame::Instance();
        SetMouseMode(kModePan);
    }
    QWidget mainFrame_;
    CMsuFrame* window_ = nullptr;
};

TEST_F(MeasureWindow, AResultStandsInForTheCursorRowsUntilACursorMoves) {
    window_->ShowResult("Average Value", "a+b", 1.5, 0x0000FF);
    EXPECT_EQ(window_->accessibleDescription(), QStringLiteral("a+b\t1.5"));

    // Two cursors on a time axis: the difference, its frequency, then each
    // curve's change (separator and gap rows are not read out).
    const CResultDataRef data =
        test::MakeData({"Time", "v"}, {test::Ramp(11, 0.1), test::Ramp(11, 3.0)});
    CGraphCurve screen;
    screen.SetData(data);
    screen.SetXTitle("Time");
    CCurveEntry curve = CCurveEntry::ForColumn(data, 1);
    curve.label = "v";
    screen.AddCurve(curve);
    window_->CursorUpdate({&screen}, 0.2, 0.7, 1);
    EXPECT_EQ(window_->accessibleDescription(), QStringLiteral("Time\t0.5\nFrequency\t2\nv\t15"));

    window_->ClearValues();
    EXPECT_EQ(window_->accessibleDescription(), QString());
}

TEST_F(MeasureWindow, LongValuesScrollIntoViewWhole) {
    // An X-Y curve crossed by the cursor at every step.
    std::vector<double> zigzag, y;
    for (int i = 0; i < 60; ++i) zigzag.push_back(i % 2), y.push_back(1000.5 + i);
    const CResultDataRef xy = test::MakeData({"X", "y"}, {zigzag, y});
    CGraphCurve loop;
    loop.SetData(xy);
    loop.AddCurve(CCurveEntry::ForColumn(xy, 1));
    window_->CursorUpdate({&loop}, 0.5, 0.0, 0);
    QCoreApplication::processEvents();
    const int width =
        QFontMetrics(window_->View()->font())
            .horizontalAdvance(QString::fromStdString(window_->View()->Rows().back().value));
    const auto* area = window_->findChild<QScrollArea*>();
    ASSERT_TRUE(area && area->horizontalScrollBar()->isVisible() && width > 1000);
    EXPECT_LE(window_->View()->Columns().valueLeft + width,
              area->horizontalScrollBar()->maximum() + area->viewport()->width());
}

}  // namespace
}  // namespace kurvex
