// The simulation loop in the window: result files rewritten by a simulator
// are followed, and the run before the last reload can be drawn beside it.
#include <gtest/gtest.h>

#include <QAction>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QStatusBar>
#include <QTest>
#include <cstdio>

#include "app/DocumentWatch.h"
#include "app/GraphDocument.h"
#include "app/GraphWnd.h"
#include "app/ViewerFixture.h"
#include "graph/PreviousRun.h"
#include "interaction/CommandTable.h"

namespace kurvex {
namespace {

class SimulationLoopTest : public test::ViewerFixture {
protected:
    // A result of Time and further columns over `rows` rows; column c holds c * k * row.
    static QByteArray Result(int rows, double k, const char* names = "Time V") {
        const int columns = static_cast<int>(QByteArray(names).split(' ').size());
        QByteArray text = QByteArray(names) + '\n';
        for (int r = 0; r < rows; ++r) {
            text += QByteArray::number(r);
            for (int c = 1; c < columns; ++c) text += ' ' + QByteArray::number(c * k * r);
            text += '\n';
        }
        return text;
    }
    // Written elsewhere, then renamed over `name`, as simulators replace results.
    void RenameOver(const QString& name, const QByteArray& bytes) {
        const QString scratch = WriteBytes(name + ".part", bytes);
        ASSERT_EQ(std::rename(scratch.toLocal8Bit().constData(),
                              dir_.filePath(name).toLocal8Bit().constData()),
                  0);
    }
    static std::int32_t Rows(const COhmixGraphView* v) {
        return v->Screen(0)->Record().Data()->RowCount();
    }
    QString Status() const { return frame_->statusBar()->currentMessage(); }
};

TEST_F(SimulationLoopTest, RewrittenInPlaceOrRenamedOverTheResultIsReloadedWithTheScreensKept) {
    const QString file = Write("run.txt", Result(11, 1.0, "Time V I"));
    Write("run.ini",
          "[Main]\nNumScreen=2\n[Screen0]\nCurveCount=1\nCurve_0_Formula=V\n"
          "[Screen1]\nCurveCount=1\nCurve_0_Formula=I\n");
    COhmixGraphView* view = Open(file);
    ASSERT_NE(view, nullptr);
    ASSERT_EQ(view->ScreenCount(), 2);
    frame_->Execute(kCmdZoomIn);
    const AxisRange zoomed = view->Screen(1)->Record().XRange();
    Options().redrawXOnReload = 0;

    Write("run.txt", Result(21, 2.0, "Time V I"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return Rows(view) == 21; }, 5000));
    EXPECT_EQ(view->ScreenCount(), 2);
    EXPECT_EQ(view->Screen(1)->Record().XRange(), zoomed);  // as the option says
    EXPECT_EQ(Status(), "run.txt re-loaded.");

    Options().redrawXOnReload = 1;
    RenameOver("run.txt", Result(31, 3.0, "Time V I"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return Rows(view) == 31; }, 5000));
    EXPECT_DOUBLE_EQ(view->Screen(1)->Record().XRange().to, 30.0);
    // Followed still after the rename: the next rewrite is seen too.
    Write("run.txt", Result(41, 3.0, "Time V I"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return Rows(view) == 41; }, 5000));
    EXPECT_TRUE(shown_.empty());
}

TEST_F(SimulationLoopTest, AHalfWrittenFileIsRetriedQuietlyAndOtherChangesKeepTheWindow) {
    const QString file = Write("half.txt", Result(5, 1.0));
    COhmixGraphView* view = Open(file);
    ASSERT_NE(view, nullptr);
    CGraphDocument* doc = view->Document();
    doc->Watch()->SetTiming({50, 200, 2000, 10});

    // The simulator has written half a line: read, refused, tried again.
    Write("half.txt", Result(5, 1.0) + "5");
    ASSERT_TRUE(QTest::qWaitFor([&] { return Status().contains("could not be read yet"); }, 5000));
    EXPECT_TRUE(shown_.empty()) << shown_.front();
    EXPECT_EQ(Rows(view), 5);
    Write("half.txt", Result(9, 1.0));
    ASSERT_TRUE(QTest::qWaitFor([&] { return Rows(view) == 9; }, 5000));

    // Other variables: the window stays while it keeps its X variable.
    Write("half.txt", Result(9, 1.0, "Step V"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return Status().contains("variable Time"); }, 5000));
    EXPECT_EQ(frame_->MdiArea()->subWindowList().size(), 1);
    EXPECT_EQ(Rows(view), 9);

    // Held off while a Properties dialog is open, read once it has closed.
    view->Document()->Core().propertyDialogOpen = true;
    Write("half.txt", Result(10, 1.0));
    QTest::qWait(400);
    EXPECT_EQ(Rows(view), 9);
    view->Document()->Core().propertyDialogOpen = false;
    ASSERT_TRUE(QTest::qWaitFor([&] { return Rows(view) == 10; }, 5000));

    // Auto Reload off: a new file is left alone until it is switched on again.
    frame_->Execute(kCmdAutoReload);
    EXPECT_EQ(QSettings("QUELLON", "Kurvex").value("Options/AutoReload").toString(), "0");
    Write("half.txt", Result(12, 1.0));
    QTest::qWait(300);
    EXPECT_EQ(Rows(view), 10);
    frame_->Execute(kCmdAutoReload);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Rows(view) == 12; }, 5000));
}

TEST_F(SimulationLoopTest, ThePreviousRunIsShownAnalysedAndReleased) {
    const QString file = Write("prev.txt", Result(11, 1.0));
    COhmixGraphView* view = Open(file);
    ASSERT_NE(view, nullptr);
    frame_->Execute(kCmdShowPreviousRun);
    EXPECT_TRUE(frame_->Actions().Action(kCmdShowPreviousRun)->isChecked());
    const CResultDataRef first = view->Document()->Core().Data();

    Write("prev.txt", Result(11, 0.5));
    frame_->Execute(kCmdReload);
    CGraphWnd* screen = view->Screen(0);
    ASSERT_NE(screen->Record().PreviousRunShown(), nullptr);
    EXPECT_EQ(screen->Record().PreviousRunShown()->Data().Get(), first.Get());

    // Spectra: the previous run's are made too (over which range is its own test); read again,
    // the new run's.
    frame_->Execute(kCmdPerformFft);
    ASSERT_EQ(screen->Record().FreqDisplay(), 1);
    CGraphCurve* shadow = screen->Record().PreviousRunShown()->Follow(screen->Record());
    ASSERT_NE(shadow, nullptr);
    // Another FFT window: the previous run's spectra are made under it too.
    const double bin1 = shadow->Curve(0).spectrum->Values()[1];
    frame_->Execute(kCmdFftWindowFirst + 1);
    shadow = screen->Record().PreviousRunShown()->Follow(screen->Record());
    ASSERT_NE(shadow, nullptr);
    EXPECT_NE(shadow->Curve(0).spectrum->Values()[1], bin1);
    const double dc = screen->Record().Curve(0).spectrum->Values()[0];
    ASSERT_GT(dc, 0.0);
    Write("prev.txt", Result(11, 0.25));
    frame_->Execute(kCmdReload);
    EXPECT_EQ(screen->Record().FreqDisplay(), 1);
    ASSERT_TRUE(screen->Record().Curve(0).spectrum);
    EXPECT_NEAR(screen->Record().Curve(0).spectrum->Values()[0], dc / 2, 1e-9 * dc);

    // Switched off, the screens let it go.
    frame_->Execute(kCmdShowPreviousRun);
    EXPECT_EQ(screen->Record().PreviousRunShown(), nullptr);
}

}  // namespace
}  // namespace kurvex
