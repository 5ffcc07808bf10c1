#include <gtest/gtest.h>

#include <QKeyEvent>
#include <QTest>
#include <QWheelEvent>
#include <vector>

#include "app/GraphWnd.h"
#include "formula/FormulaTestSupport.h"
#include "graph/ViewLayout.h"

namespace kurvex {
namespace {

struct Sent {
    int code;
    qint64 first, second;
};

// A shown screen of 400 x 300 pixels with two curves over X 0 .. 100, and
// what it told its view.
class ScreenTest : public ::testing::Test {
protected:
    ScreenTest() {
        QObject::connect(&screen, &CGraphWnd::notify,
                         [this](int code, int, qint64 first, qint64 second) {
                             sent.push_back({code, first, second});
                         });
        screen.resize(400, 300);
        screen.show();
    }
    void SetUp() override { Load(); }
    // A fresh model with nothing sent yet.
    void Load() {
        sent.clear();
        const CResultDataRef data =
            test::MakeData({"Time", "a", "b"},
                           {test::Ramp(101, 1.0), test::Ramp(101, 2.0), test::Ramp(101, -1.0)});
        auto record = std::make_unique<CGraphCurve>(0);
        record->SetData(data);
        record->AddCurve(CCurveEntry::ForColumn(data, 1));
        record->AddCurve(CCurveEntry::ForColumn(data, 2));
        ScaleToData(*record);
        screen.SetRecord(std::move(record));
    }
    void TearDown() override {
        SetMouseModeHook({});
        SetMouseMode(kModePan);
    }
    QPoint PlotPoint(double fx, double fy) const {
        const PlotRect& p = screen.Record().Plot();
        return QPoint(p.left + static_cast<int>(fx * p.Width()),
                      p.top + static_cast<int>(fy * p.Height()));
    }
    int Count(ScreenNotify code) const {
        int n = 0;
        for (const Sent& s : sent) n += s.code == static_cast<int>(code);
        return n;
    }
    void Wheel(int delta) {
        const QPointF at = PlotPoint(0.5, 0.5);
        QWheelEvent e(at, screen.mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(&screen, &e);
    }

    CGraphWnd screen;
    std::vector<Sent> sent;
};

TEST_F(ScreenTest, OnlyAReleasedDragLeavesAnUndoEntry) {
    enum End { Release, Escape, ReleaseElsewhere };
    struct Case {
        std::int32_t mode;
        End end;
    };
    const Case cases[] = {
        {kModePan, Release},      {kModePan, Escape},          {kModePan, ReleaseElsewhere},
        {kModeZoomBox, Release},  {kModeZoomBox, Escape},      {kModeZoomPoint, Release},
        {kModeZoomPoint, Escape}, {kModeZoomAxisEnd, Release}, {kModeZoomAxisEnd, Escape},
    };
    for (const Case& c : cases) {
        Load();
        ASSERT_TRUE(SetMouseMode(c.mode));
        const AxisRange x = screen.Record().XRange();
        const QPoint from = PlotPoint(0.6, 0.3), to = PlotPoint(0.3, 0.8);
        QTest::mousePress(&screen, Qt::LeftButton, {}, from);
        QTest::mouseMove(&screen, to);
        ASSERT_TRUE(screen.DragInProgress()) << c.mode;
        if (c.end == Release) {
            QTest::mouseRelease(&screen, Qt::LeftButton, {}, to);
        } else if (c.end == Escape) {
            QTest::keyClick(&screen, Qt::Key_Escape);
            // The release after Esc must not finish the dropped drag.
            QTest::mouseRelease(&screen, Qt::LeftButton, {}, to);
        } else {
            QMouseEvent move(QEvent::MouseMove, to, screen.mapToGlobal(to), Qt::NoButton,
                             Qt::NoButton, Qt::NoModifier);
            QApplication::sendEvent(&screen, &move);
        }
        EXPECT_FALSE(screen.DragInProgress()) << c.mode;
        const std::size_t entries = c.end == Release ? 1 : 0;
        EXPECT_EQ(screen.Record().UndoStack().size(), entries) << c.mode << " end " << c.end;
        EXPECT_EQ(Count(ScreenNotify::XRangeChanged), static_cast<int>(entries)) << c.mode;
        if (c.end != Release) {
            EXPECT_EQ(screen.Record().XRange(), x) << c.mode;
        }
    }
}

TEST_F(ScreenTest, WheelDeltasOf30AddUpToOneStep) {
    const AxisRange x = screen.Record().XRange();
    for (int i = 0; i < 3; ++i) Wheel(-30);
    EXPECT_EQ(screen.Record().XRange(), x);
    EXPECT_EQ(Count(ScreenNotify::XRangeChanged), 0);
    Wheel(-30);
    ASSERT_EQ(Count(ScreenNotify::XRangeChanged), 1);
    EXPECT_EQ(sent.back().first, 1);
    // Toward the user zooms in by 0.9 about the pointer.
    EXPECT_NEAR(screen.Record().XRange().to - screen.Record().XRange().from, 0.9 * (x.to - x.from),
                1e-9 * (x.to - x.from));
    EXPECT_EQ(screen.Record().UndoStack().size(), 1u);
}

TEST_F(ScreenTest, ButtonsPlaceTheirCursorInMeasureModeElseAskTheView) {
    ASSERT_TRUE(SetMouseMode(kModeMeasure));
    QTest::mouseClick(&screen, Qt::LeftButton, {}, PlotPoint(0.25, 0.5));
    QTest::mouseClick(&screen, Qt::RightButton, {}, PlotPoint(0.75, 0.5));
    const CGraphCurve& m = screen.Record();
    ASSERT_TRUE(m.Cursor(0).shown && m.Cursor(1).shown);
    EXPECT_LT(m.Cursor(0).x, m.Cursor(1).x);
    // Curve 0 is measured while none is selected: Y = 2 X.
    EXPECT_NEAR(m.Cursor(1).y, 2 * m.Cursor(1).x, 1e-9);
    std::vector<qint64> cursors;
    for (const Sent& s : sent)
        if (s.code == static_cast<int>(ScreenNotify::CursorMoved)) cursors.push_back(s.first);
    EXPECT_EQ(cursors, (std::vector<qint64>{0, 1}));

    ASSERT_TRUE(SetMouseMode(kModePan));
    sent.clear();
    const QPoint p = PlotPoint(0.5, 0.5);
    QTest::mouseClick(&screen, Qt::RightButton, Qt::ShiftModifier, p);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].code, static_cast<int>(ScreenNotify::RightPressed));
    EXPECT_EQ(sent[0].first, static_cast<qint64>(Qt::ShiftModifier));
    const QPoint g = screen.mapToGlobal(p);
    EXPECT_EQ(sent[0].second & 0xFFFF, g.x() & 0xFFFF);
    EXPECT_EQ((sent[0].second >> 16) & 0xFFFF, g.y() & 0xFFFF);
}

TEST_F(ScreenTest, AccessibleNameAndDescriptionFollowIndexAndCurves) {
    screen.SetIndex(2);
    EXPECT_EQ(screen.accessibleName(), QStringLiteral("Screen 3"));
    screen.Record().Curve(0).label = "V(out)";
    screen.Record().Curve(1).label = "I(L1)";
    screen.Redraw();
    EXPECT_EQ(screen.accessibleDescription(), QStringLiteral("V(out)\nI(L1)"));
    screen.Record().RemoveCurve(0);
    screen.Redraw();
    EXPECT_EQ(screen.accessibleDescription(), QStringLiteral("I(L1)"));
}

}  // namespace
}  // namespace kurvex
