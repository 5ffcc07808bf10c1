// The Loop Margins window on ngspice loops with closed forms, on the offscreen platform.
#include <gtest/gtest.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QListWidget>
#include <QPushButton>
#include <cmath>
#include <numbers>

#include "app/ViewerFixture.h"
#include "app/tools/LoopMarginsWindow.h"
#include "graph/ViewCommands.h"
#include "interaction/CommandTable.h"

namespace kurvex {
namespace {

constexpr double kPi = std::numbers::pi;

class LoopMarginsWindowTest : public test::ViewerFixture {
protected:
    void TearDown() override {
        delete CLoopMarginsWindow::Instance();
        ViewerFixture::TearDown();
    }
    // The number of the row that starts with `label`, in Hz, degrees or dB.
    static double Value(const CLoopMarginsWindow& w, const QString& label) {
        for (int i = 0; i < w.Rows()->count(); ++i) {
            const QString text = w.Rows()->item(i)->text();
            if (!text.startsWith(label + QStringLiteral(": "))) continue;
            QStringList parts = text.mid(label.size() + 2).split(' ');
            const double scale = parts.value(1) == QStringLiteral("kHz") ? 1e3 : 1.0;
            return parts[0].remove(QChar(0xB0)).toDouble() * scale;
        }
        ADD_FAILURE() << label.toStdString();
        return std::nan("");
    }
};

TEST_F(LoopMarginsWindowTest, NgspiceLoopsGiveTheClosedFormRowsTextAndMarks) {
    COhmixGraphView* view = Open(QStringLiteral(KURVEX_SPICE_DIR "/loop_pole.raw"));
    ASSERT_NE(view, nullptr);
    // A complex raw file opens as magnitude over phase on a log X axis, the phase by 45 degrees.
    const std::vector<CGraphCurve*> screens = view->Records();
    ASSERT_EQ(screens.size(), 2u);
    EXPECT_EQ(screens[0]->Curve(0).formula, "amp(v(out))");
    EXPECT_EQ(screens[1]->Curve(0).formula, "phase(v(out))");
    EXPECT_EQ(screens[1]->XLog(), 1);
    EXPECT_EQ(std::fmod(screens[1]->YRange().increment, 45.0), 0.0);

    view->SelectCurveFromList(CurveSelectionParam(0, 0));
    frame_->Execute(kCmdLoopMargins);
    CLoopMarginsWindow* w = CLoopMarginsWindow::Instance();
    ASSERT_NE(w, nullptr);
    w->Recompute();
    ASSERT_TRUE(w->Report().Ok()) << w->Report().error;

    // L = k / s / (1 + s / wp): |L| = 1 where (wc / wp)^2 = (sqrt(1 + 4 k^2 / wp^2) - 1) / 2.
    const double k = 1e-3 / 50e-9, wp = 1e5;
    const double wc = wp * std::sqrt((std::sqrt(1 + 4 * k * k / (wp * wp)) - 1) / 2);
    EXPECT_NEAR(Value(*w, QStringLiteral("Gain crossover")) / (wc / (2 * kPi)), 1.0, 0.005);
    EXPECT_NEAR(Value(*w, QStringLiteral("Phase margin")), 90 - std::atan(wc / wp) * 180 / kPi,
                0.25);
    // An integrator falls 3 dB in 10^(3/20) of a frequency; the pole is far above.
    EXPECT_NEAR(Value(*w, QStringLiteral("\u22123 dB bandwidth")) / (10 * std::pow(10, 0.15)), 1.0,
                0.005);
    EXPECT_NEAR(Value(*w, QStringLiteral("Peak gain")), 20 * std::log10(k / (2 * kPi * 10)), 0.1);
    EXPECT_EQ(w->Rows()->item(2)->text(), QStringLiteral("Phase crossover: none"));

    for (QPushButton* b : w->findChildren<QPushButton*>())
        if (b->accessibleName() == QStringLiteral("Copy")) b->click();
    const QString copied = QGuiApplication::clipboard()->text();
    EXPECT_TRUE(
        copied.startsWith(QStringLiteral("amp(v(out)) with phase(v(out)), 10 Hz to 1 MHz\n")))
        << copied.toStdString();
    EXPECT_TRUE(copied.contains(QStringLiteral("\nPhase crossover\tnone\n")));
    EXPECT_EQ(w->accessibleDescription(), copied);

    ASSERT_EQ(screens[0]->Marks().size(), 1u);
    EXPECT_NEAR(screens[0]->Marks()[0].x / (wc / (2 * kPi)), 1.0, 0.005);
    EXPECT_EQ(screens[0]->Marks()[0].y, 0.0);
    EXPECT_TRUE(screens[1]->Marks().empty());

    // Two poles take the phase through -180 at sqrt(p1 p2); the window follows the new view.
    COhmixGraphView* two = Open(QStringLiteral(KURVEX_SPICE_DIR "/loop_two_poles.raw"));
    ASSERT_NE(two, view);
    w->Recompute();
    EXPECT_TRUE(screens[0]->Marks().empty());
    const double p1 = 1 / (2 * kPi * 1e-5), p2 = 1 / (2 * kPi * 1e-4);
    const std::vector<CGraphCurve*> more = two->Records();
    ASSERT_EQ(more.size(), 2u);
    ASSERT_EQ(more[1]->Marks().size(), 1u);
    EXPECT_NEAR(more[1]->Marks()[0].x / std::sqrt(p1 * p2), 1.0, 0.005);
    EXPECT_EQ(more[1]->Marks()[0].y, -180.0);
    w->close();
    EXPECT_TRUE(more[0]->Marks().empty() && more[1]->Marks().empty());
}

}  // namespace
}  // namespace kurvex
