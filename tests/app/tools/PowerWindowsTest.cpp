// The power measurements in the viewer: the Cycles and Harmonics windows, the
// FFT window choice and the cycle average, on the offscreen platform.
#include <gtest/gtest.h>

#include <QClipboard>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <cmath>
#include <numbers>

#include "analysis/FftWindow.h"
#include "app/GraphWnd.h"
#include "app/ViewerFixture.h"
#include "app/tools/FigureWindow.h"
#include "interaction/CommandTable.h"

namespace kurvex {
namespace {

constexpr double kPi = std::numbers::pi;

class PowerWindowsTest : public test::ViewerFixture {
protected:
    // A result of Time and one curve f(t) over `rows` samples `dt` apart:
    // the view opens showing that curve.
    COhmixGraphView* OpenCurve(const QString& name, int rows, double dt,
                               const std::function<double(double)>& f) {
        return Open(WriteColumns(name + ".txt", {"Time", name}, rows,
                                 [&](int c, int r) { return c ? f(r * dt) : r * dt; }));
    }

    // Runs `id` and waits for the window of `kind` to show a fresh result.
    static CFigureWindow* Run(CMainFrame* frame, int id, FigureKind kind) {
        frame->Execute(id);
        CFigureWindow* w = CFigureWindow::Instance(kind);
        if (w) WaitForResult(w);
        return w;
    }
    static bool WaitForResult(CFigureWindow* w) {
        bool shown = false;
        const auto c = QObject::connect(w, &CFigureWindow::resultShown, [&] { shown = true; });
        const bool ok = QTest::qWaitFor([&] { return shown; }, 5000);
        QObject::disconnect(c);
        return ok;
    }
    static double Cell(const FigureTable& t, std::size_t row, std::size_t column) {
        const auto& v = t.rows.at(row).values.at(column);
        return v ? *v : NAN;
    }
};

// 1 kHz, duty 0.3, amplitude 5, sampled every 10 us over 10 ms.
double Pwm(double t) {
    const double phase = t * 1000.0 - std::floor(t * 1000.0 + 1e-9);
    return phase < 0.3 - 1e-9 ? 5.0 : 0.0;
}

TEST_F(PowerWindowsTest, CyclesRowsFollowAZoomAndADragBeforeItsRelease) {
    COhmixGraphView* view = OpenCurve("P", 1001, 1e-5, Pwm);
    ASSERT_NE(view, nullptr);
    CFigureWindow* w = Run(frame_, kCmdCycles, FigureKind::kCycles);
    ASSERT_NE(w, nullptr);
    const auto check = [&](const char* when) {
        const FigureTable& t = w->Result().table;
        ASSERT_EQ(t.rows.size(), 1u) << when << ": " << t.message;
        EXPECT_NEAR(Cell(t, 0, 0), 1.5, 1e-9) << when;  // Avg = duty x amplitude
        // What a screen reader reads: one line per row, cells after tabs.
        const QString rows = w->accessibleDescription();
        EXPECT_TRUE(rows.startsWith(QStringLiteral("P\t1.5\t2.73"))) << rows.toStdString();
    };
    check("whole run");
    EXPECT_NE(w->Result().table.title.find("; 9 cycles"), std::string::npos);

    CGraphWnd* screen = view->Screen(0);
    screen->ZoomIn();
    ASSERT_TRUE(WaitForResult(w));
    const std::string zoomed = w->Result().table.title;

    // A zoom about a point follows the pointer; the table follows the drag
    // while the screen still holds its old range.
    frame_->Execute(kCmdZoomPoint);
    const PlotRect plot = screen->Record().Plot();
    const QPoint press((plot.left + plot.right) / 2, (plot.top + plot.bottom) / 2);
    const AxisRange before = screen->Record().XRange();
    QTest::mousePress(screen, Qt::LeftButton, {}, press);
    QTest::mouseMove(screen, press + QPoint(plot.Width() / 4, -plot.Height() / 4));
    ASSERT_TRUE(WaitForResult(w));
    EXPECT_TRUE(screen->DragInProgress());
    EXPECT_EQ(screen->Record().XRange(), before);
    check("dragged");
    EXPECT_NE(w->Result().table.title, zoomed);
    QTest::mouseRelease(screen, Qt::LeftButton, {},
                        press + QPoint(plot.Width() / 4, -plot.Height() / 4));
    EXPECT_NE(screen->Record().XRange(), before);

    // The window outlives the graph window it followed.
    view->CloseWindow();
    ASSERT_TRUE(WaitForResult(w));
    EXPECT_EQ(w->Result().table.message, "No graph window is open.");
    EXPECT_TRUE(w->Result().table.rows.empty());
}

TEST_F(PowerWindowsTest, HarmonicsOfASineWithThirdAndFifthUnderTheChosenWindow) {
    // 10 Hz with 30 % of a third and 10 % of a fifth, a whole number of periods.
    COhmixGraphView* view = OpenCurve("I", 10001, 1e-4, [](double t) {
        return std::sin(2 * kPi * 10 * t) + 0.3 * std::sin(2 * kPi * 30 * t) +
               0.1 * std::sin(2 * kPi * 50 * t);
    });
    ASSERT_NE(view, nullptr);
    frame_->Execute(kCmdPerformFft);
    CFigureWindow* w = Run(frame_, kCmdHarmonics, FigureKind::kHarmonics);
    ASSERT_NE(w, nullptr);
    // The figures under each window are the library's tests; here the window shows them.
    const auto check = [&] {
        const FigureTable& t = w->Result().table;
        EXPECT_NEAR(Cell(t, 0, 0), 10.0, 1e-9) << t.message;  // the fundamental's frequency
        EXPECT_NE(t.title.find("THD 31.6"), std::string::npos) << t.title;
    };
    check();
    const CResultVariable* rectangular = view->Screen(0)->Record().Curve(0).spectrum.get();

    // Another window: kept in the options, and the spectra on show are computed anew with it.
    frame_->Execute(kCmdFftWindowFirst + static_cast<int>(FftWindow::kFlatTop));
    EXPECT_EQ(Options().fftWindow, static_cast<int>(FftWindow::kFlatTop));
    EXPECT_NE(view->Screen(0)->Record().Curve(0).spectrum.get(), rectangular);
    ASSERT_TRUE(WaitForResult(w));
    check();

    // Copy puts the whole table on the clipboard as tab-separated text.
    auto* copy = w->findChild<QPushButton*>();
    ASSERT_NE(copy, nullptr);
    QTest::mouseClick(copy, Qt::LeftButton);
    const QString text = QGuiApplication::clipboard()->text();
    EXPECT_EQ(text, w->CopyText());
    EXPECT_TRUE(text.contains(QRegularExpression(QStringLiteral("\n3\t30\t0\\.(2999|3000)"))))
        << text.toStdString();
    // So does Ctrl+C in the window, rather than the frame's copy of the graph.
    QGuiApplication::clipboard()->clear();
    QTest::keyClick(w->TableView(), Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), w->CopyText());
}

TEST_F(PowerWindowsTest, CycleAverageAddsAFormulaOverTheChosenReference) {
    COhmixGraphView* view = OpenCurve("P", 1001, 1e-5, Pwm);
    ASSERT_NE(view, nullptr);
    // The dialog offers the curve itself as its reference; OK takes it.
    test::OnModalDialog([](QDialog* d) { d->accept(); });
    frame_->Execute(kCmdCycleAverage);
    const CGraphCurve& r = view->Screen(0)->Record();
    ASSERT_EQ(r.CurveCount(), 2);
    const CCurveEntry& average = r.Curve(1);
    EXPECT_EQ(average.formula, "CYCAVG(P,P)");
    EXPECT_TRUE(average.formulaResult);  // its values are the formula's test
    // The same average again adds nothing.
    test::OnModalDialog([](QDialog* d) { d->accept(); });
    frame_->Execute(kCmdCycleAverage);
    EXPECT_EQ(r.CurveCount(), 2);
}

}  // namespace
}  // namespace kurvex
