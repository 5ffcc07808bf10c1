#include <gtest/gtest.h>

#include <QAccessible>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <vector>

#include "app/tools/MeasureWindow.h"
#include "formula/FormulaTestSupport.h"
#include "interaction/MouseMode.h"

namespace kurvex {
namespace {

TEST(MeasureWindow, OneWindowPlacedAtTheFrameListsItsRowsAndLeavesMeasureModeOnClose) {
    QWidget mainFrame;
    mainFrame.setGeometry(100, 50, 900, 700);
    mainFrame.show();
    int closed = 0;
    CMsuFrame::SetClosedHook([&] { ++closed; });
    ASSERT_TRUE(SetMouseMode(kModeMeasure));

    ASSERT_EQ(CMsuFrame::Instance(), nullptr);
    CMsuFrame* w = CMsuFrame::Open(&mainFrame);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(CMsuFrame::Open(&mainFrame), w);
    EXPECT_EQ(CMsuFrame::Instance(), w);
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Measure"));
    EXPECT_TRUE(w->windowFlags() & Qt::Tool);
    EXPECT_EQ(w->size(), QSize(260, 225));
    const QRect main = mainFrame.frameGeometry(), own = w->frameGeometry();
    EXPECT_EQ(own.right(), main.right());
    EXPECT_EQ(own.bottom(), main.bottom() - 20);

    // Assistive technology meets a window named by what it shows.
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(w);
    ASSERT_NE(accessible, nullptr);
    EXPECT_EQ(accessible->role(), QAccessible::Window);
    EXPECT_EQ(accessible->text(QAccessible::Name), QStringLiteral("Measure"));
    w->ShowResult("Average Value", "a+b", 1.5, 0x0000FF);
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Average Value"));
    EXPECT_EQ(accessible->text(QAccessible::Name), QStringLiteral("Average Value"));
    EXPECT_EQ(w->accessibleDescription(), QStringLiteral("a+b\t1.5"));

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
    w->CursorUpdate({&screen}, 0.2, 0.7, 1);
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Measure"));
    EXPECT_EQ(w->accessibleDescription(), QStringLiteral("Time\t0.5\nFrequency\t2\nv\t15"));

    // An X-Y curve crossed by the cursor at every step: its values scroll into view whole.
    std::vector<double> zigzag, y;
    for (int i = 0; i < 60; ++i) zigzag.push_back(i % 2), y.push_back(1000.5 + i);
    const CResultDataRef xy = test::MakeData({"X", "y"}, {zigzag, y});
    CGraphCurve loop;
    loop.SetData(xy);
    loop.AddCurve(CCurveEntry::ForColumn(xy, 1));
    w->CursorUpdate({&loop}, 0.5, 0.0, 0);
    QCoreApplication::processEvents();
    const int width =
        QFontMetrics(w->View()->font())
            .horizontalAdvance(QString::fromStdString(w->View()->Rows().back().value));
    const auto* area = w->findChild<QScrollArea*>();
    ASSERT_TRUE(area && area->horizontalScrollBar()->isVisible() && width > 1000);
    EXPECT_LE(w->View()->Columns().valueLeft + width,
              area->horizontalScrollBar()->maximum() + area->viewport()->width());

    w->ClearValues();
    EXPECT_EQ(w->accessibleDescription(), QString());

    w->close();
    EXPECT_EQ(CMsuFrame::Instance(), nullptr);
    EXPECT_EQ(MouseMode(), kModeEscape);
    EXPECT_EQ(closed, 1);
    CMsuFrame::SetClosedHook({});
    SetMouseMode(kModePan);
}

}  // namespace
}  // namespace kurvex
