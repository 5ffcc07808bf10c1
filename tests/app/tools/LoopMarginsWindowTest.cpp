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

// The margins' numbers against their closed forms are LoopMargins' business; here the window
// shows them, copies them, marks them on the screens and follows the view in front.
TEST_F(LoopMarginsWindowTest, RowsCopyAndMarksFollowTheViewInFront) {
    COhmixGraphView* view = Open(QStringLiteral(KURVEX_SPICE_DIR "/loop_pole.raw"));
    ASSERT_NE(view, nullptr);
    const std::vector<CGraphCurve*> screens = view->Records();
    ASSERT_EQ(screens.size(), 2u);
    view->SelectCurveFromList(CurveSelectionParam(0, 0));
    frame_->Execute(kCmdLoopMargins);
    CLoopMarginsWindow* w = CLoopMarginsWindow::Instance();
    ASSERT_NE(w, nullptr);
    w->Recompute();
    ASSERT_TRUE(w->Report().Ok()) << w->Report().error;

    // L = k / s / (1 + s / wp): |L| = 1 where (wc / wp)^2 = (sqrt(1 + 4 k^2 / wp^2) - 1) / 2.
    const double k = 1e-3 / 50e-9, wp = 1e5;
    const double fc = wp * std::sqrt((std::sqrt(1 + 4 * k * k / (wp * wp)) - 1) / 2) / (2 * kPi);
    EXPECT_NEAR(Value(*w, QStringLiteral("Gain crossover")) / fc, 1.0, 0.005);

    for (QPushButton* b : w->findChildren<QPushButton*>())
        if (b->accessibleName() == QStringLiteral("Copy")) b->click();
    const QString copied = QGuiApplication::clipboard()->text();
    EXPECT_TRUE(
        copied.startsWith(QStringLiteral("amp(v(out)) with phase(v(out)), 10 Hz to 1 MHz\n")))
        << copied.toStdString();
    EXPECT_TRUE(copied.contains(QStringLiteral("\nPhase crossover\tnone\n")));

    ASSERT_EQ(screens[0]->Marks().size(), 1u);
    EXPECT_NEAR(screens[0]->Marks()[0].x / fc, 1.0, 0.005);
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
