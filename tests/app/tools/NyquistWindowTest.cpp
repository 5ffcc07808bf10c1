// The Nyquist window of an ngspice loop, on the offscreen platform.
#include <gtest/gtest.h>

#include <QMdiSubWindow>
#include <QTest>
#include <cmath>

#include "app/GraphDocument.h"
#include "app/GraphWnd.h"
#include "app/ViewerFixture.h"
#include "data/model/ResultVariable.h"
#include "graph/GraphLine.h"
#include "graph/ViewCommands.h"
#include "interaction/CommandTable.h"

namespace kurvex {
namespace {

using NyquistWindowTest = test::ViewerFixture;

// Pixels per unit differ by less than one pixel over the plot.
void ExpectEqualScales(const CGraphCurve& m) {
    const PlotRect& p = m.Plot();
    ASSERT_FALSE(p.Empty());
    const double ux = (m.XRange().to - m.XRange().from) / p.Width();
    const double uy = (m.YRange().to - m.YRange().from) / p.Height();
    EXPECT_LT(std::fabs(ux - uy) * std::max(p.Width(), p.Height()), std::min(ux, uy));
}

TEST_F(NyquistWindowTest, ShowsImOverReAtEqualScalesWithMinusOneMarked) {
    COhmixGraphView* bode = Open(QStringLiteral(KURVEX_SPICE_DIR "/loop_pole.raw"));
    ASSERT_NE(bode, nullptr);
    const CResultDataRef source = bode->Document()->Core().Data();
    // The amplitude curve, the first screen's first.
    ASSERT_EQ(bode->Screen(0)->Record().Curve(0).formula.rfind("amp(", 0), 0u);
    bode->SelectCurveFromList(CurveSelectionParam(0, 0));
    frame_->Execute(kCmdNyquist);
    QCoreApplication::processEvents();

    COhmixGraphView* view = frame_->ActiveView();
    ASSERT_NE(view, bode);
    ASSERT_EQ(view->ScreenCount(), 1);
    CGraphWnd* screen = view->Screen(0);
    const CGraphCurve& m = screen->Record();
    ASSERT_EQ(m.CurveCount(), 1);
    const CResultData& d = *m.Data().Get();
    const std::int32_t n = source->RowCount();
    ASSERT_EQ(d.RowCount(), n);
    // One sample of the source as Re and Im; the transform itself is Nyquist's test.
    const std::int32_t i = n / 2;
    const double mag = std::pow(10.0, source->Variable(1)->Values()[i] / 20);
    const double phi = source->Variable(2)->Values()[i] * M_PI / 180;
    EXPECT_NEAR(d.Variable(m.XIndex())->Values()[i], mag * std::cos(phi), 1e-9 * mag);
    EXPECT_NEAR(d.Variable(m.Curve(0).columnIndex)->Values()[i], mag * std::sin(phi), 1e-9 * mag);

    ExpectEqualScales(m);
    const QRect before = screen->geometry();
    frame_->resize(frame_->width() + 300, frame_->height() / 2 + 50);
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    ASSERT_NE(screen->geometry().size(), before.size());
    ExpectEqualScales(m);
    // A zoom box of another shape than the plot's: the box stays in sight, at equal scales.
    ASSERT_TRUE(SetMouseMode(kModeZoomBox));
    const PlotRect& p = m.Plot();
    const QPoint from(p.left + p.Width() / 4, p.top + p.Height() / 4);
    const QPoint to(p.left + p.Width() / 2, p.top + p.Height() * 3 / 4);
    const double span = m.XRange().to - m.XRange().from;
    QTest::mousePress(screen, Qt::LeftButton, {}, from);
    QTest::mouseMove(screen, to);
    QTest::mouseRelease(screen, Qt::LeftButton, {}, to);
    EXPECT_LT(m.XRange().to - m.XRange().from, span);
    ExpectEqualScales(m);

    // -1 is marked by a cross of two lines; four arrows show the direction.
    int cross = 0, arrows = 0;
    for (const auto& a : m.Annotations()) {
        const auto* line = dynamic_cast<const CGraphLine*>(a.get());
        if (!line) continue;
        if (line->Arrow()) ++arrows;
        if (std::fabs((line->X1() + line->X2()) / 2 + 1) < 1e-12 &&
            std::fabs((line->Y1() + line->Y2()) / 2) < 1e-12)
            ++cross;
    }
    EXPECT_EQ(cross, 2);
    EXPECT_EQ(arrows, 4);

    // With no file behind it, Reload leaves the window as it is.
    frame_->Execute(kCmdReload);
    Settle();
    EXPECT_EQ(frame_->ActiveView(), view);
}

}  // namespace
}  // namespace kurvex
