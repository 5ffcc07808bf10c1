// The Runs tool window over a whole viewer: which runs of a sweep are shown
// and measured, on every screen, kept by name over a reload.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QListWidget>
#include <complex>

#include "app/GraphDocument.h"
#include "app/GraphWnd.h"
#include "app/ViewerFixture.h"
#include "app/tools/RunsWindow.h"
#include "data/LtspiceRawWriter.h"
#include "graph/DisplaySettingsFile.h"
#include "interaction/CommandTable.h"

namespace kurvex {
namespace {

using RunsWindowTest = test::ViewerFixture;

TEST_F(RunsWindowTest, HidesARunOnEveryScreenAndKeepsItByNameOverAReload) {
    // An LTspice sweep of a and b over the steps r=..., named by its log.
    const auto writeSweep = [this](const std::vector<int>& steps) {
        QString log;
        for (int s : steps) log += QStringLiteral(".step r=%1\n").arg(s);
        Write("sweep.log", log);
        const test::LtspiceLayout layout{
            {"time", "a", "b"}, std::int64_t(steps.size()) * 3, false, true, false, true};
        return WriteBytes("sweep.raw",
                          QByteArray::fromStdString(
                              test::LtspiceRaw(layout, [&steps](std::int64_t v, std::int64_t p) {
                                  const int s = steps[size_t(p / 3)], t = int(p % 3);
                                  return std::complex<double>(v == 0 ? t : v == 1 ? s + t : -s);
                              })));
    };
    ASSERT_NE(Open(WriteColumns("one.txt", {"Time", "V"}, 5)), nullptr);
    EXPECT_FALSE(Enabled(kCmdRunsWindow));  // nothing to choose among
    Write("sweep.ini",
          "[Main]\nNumScreen=2\n[Screen0]\nCurveCount=1\nCurve_0_Formula=a\n"
          "[Screen1]\nCurveCount=1\nCurve_0_Formula=b\n");
    COhmixGraphView* view = Open(writeSweep({1, 2, 3}));
    ASSERT_NE(view, nullptr);
    ASSERT_EQ(view->ScreenCount(), 2);
    ASSERT_TRUE(Enabled(kCmdRunsWindow));
    frame_->Execute(kCmdRunsWindow);
    CRunsWindow* w = CRunsWindow::Instance();
    ASSERT_NE(w, nullptr);
    ASSERT_NE(w->RunItem(1), nullptr);
    const auto shown = [view](int screen) {
        const CGraphCurve& r = view->Screen(screen)->Record();
        std::vector<bool> out;
        for (int k = 0; k < r.Data()->RunCount(); ++k) out.push_back(r.RunShown(k));
        return out;
    };
    w->RunItem(1)->setCheckState(Qt::Unchecked);
    EXPECT_EQ(shown(0), (std::vector<bool>{true, false, true}));
    EXPECT_EQ(shown(1), shown(0));
    w->MeasuredBox()->setCurrentIndex(w->MeasuredBox()->findText("r=3"));
    EXPECT_EQ(view->Screen(1)->Record().MeasuredRun(), 2);

    // A step added in front: the same runs, found by name, stay hidden and measured.
    writeSweep({0, 1, 2, 3});
    frame_->Execute(kCmdReload);
    Settle();
    EXPECT_EQ(shown(0), (std::vector<bool>{true, true, false, true}));
    EXPECT_EQ(view->Screen(0)->Record().MeasuredRun(), 3);
    ASSERT_NE(w->RunItem(2), nullptr);
    EXPECT_EQ(w->RunItem(2)->text(), "r=2");
    EXPECT_EQ(w->RunItem(2)->checkState(), Qt::Unchecked);
}

// A second source lined up on the first: shifted, scaled and mapped as drawn,
// kept by name, compared as a curve; the files stay as they were.
TEST_F(RunsWindowTest, ARunLinedUpIsDrawnAsSetAndComparedWithTheReference) {
    const QString sim = Write("sim.txt", "time V(out)\n0 0\n1 1\n2 2\n3 3\n");
    const QString cap = Write("cap.txt", "Time CH1\n0 10\n1 20\n2 30\n3 40\n");
    Write("sim.ini", "[Main]\nNumScreen=1\n[Screen0]\nCurveCount=1\nCurve_0_Formula=V(out)\n");
    ASSERT_NE(app_->OpenRuns({sim, cap}), nullptr);
    Settle();
    COhmixGraphView* view = frame_->ActiveView();
    ASSERT_NE(view, nullptr);
    RunChoice choice = view->Runs();
    RunAdjust probe;
    probe.shift = 1;
    probe.SetMap("CH1", "V(out)");
    probe.SetScale("V(out)", 0.1);
    SetAdjustment(choice, "cap", probe);
    view->SetRunChoice(choice);
    CGraphCurve& screen = view->Screen(0)->Record();
    const RefPtr<CResultVariable> y = screen.RunYColumn(1, screen.Curve(0));
    ASSERT_TRUE(y);
    EXPECT_DOUBLE_EQ(y->Values()[3], 4.0);
    EXPECT_EQ(view->Document()->Core().Data()->Run(1)->Variable(1)->Values()[3], 40.0);

    frame_->Execute(kCmdCompareRuns);
    ASSERT_EQ(screen.CurveCount(), 2);
    EXPECT_EQ(screen.Curve(1).formula, "V(out)@2-V(out)@1");
    frame_->Execute(kCmdSaveSettings);
    EXPECT_EQ(LoadRunChoice(dir_.filePath("sim.ini").toStdString()).adjusted, choice.adjusted);
}

}  // namespace
}  // namespace kurvex
