// The Run Table window on a view of three runs, on the offscreen platform.
#include <gtest/gtest.h>

#include <QClipboard>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include "app/GraphWnd.h"
#include "app/ViewerFixture.h"
#include "app/tools/RunTableWindow.h"
#include "interaction/CommandTable.h"

namespace kurvex {
namespace {

class RunTableWindowTest : public test::ViewerFixture {
protected:
    // v = slope × Time² over 0 .. 1 s on `steps` equal steps.
    QString Ramp(const QString& name, double slope, int steps) {
        return WriteColumns(name + ".txt", {"Time", "v"}, steps + 1, [=](int c, int i) {
            return c ? slope * i * i / (steps * steps) : double(i) / steps;
        });
    }
};

TEST_F(RunTableWindowTest, AvgColumnGivesOneRowPerRunAndFollowsAZoom) {
    app_->OpenRuns({Ramp("a", 1, 10), Ramp("b", 2, 20), Ramp("c", 4, 5)});
    QCoreApplication::processEvents();
    COhmixGraphView* view = frame_->ActiveView();
    ASSERT_NE(view, nullptr);
    frame_->Execute(kCmdRunTable);
    CRunTableWindow* w = CRunTableWindow::Instance();
    ASSERT_NE(w, nullptr);

    // Add Column... with the first curve and the measurement it offers first: Avg.
    test::OnModalDialog([](QDialog* d) {
        const auto boxes = d->findChildren<QComboBox*>();
        ASSERT_GE(boxes.size(), 2);
        EXPECT_EQ(boxes[1]->currentText(), QStringLiteral("Avg"));
        d->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
    });
    for (QPushButton* b : w->findChildren<QPushButton*>())
        if (b->accessibleName() == QStringLiteral("Add Column")) b->click();
    ASSERT_EQ(w->Columns().size(), 1u);

    // The mean of (i / n)² over i = 0 .. n is (2n + 1) / 6n.
    for (QPushButton* b : w->findChildren<QPushButton*>())
        if (b->accessibleName() == QStringLiteral("Copy")) b->click();
    EXPECT_EQ(QGuiApplication::clipboard()->text(),
              QStringLiteral("Run\tv: Avg\na\t0.35\nb\t0.6833333333\nc\t1.466666667\n"));

    const QString csv = dir_.filePath(QStringLiteral("table.csv"));
    EXPECT_TRUE(w->SaveCsv(csv));
    QFile saved(csv);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(saved.readAll(), QByteArray("Run,v: Avg\na,0.35\nb,0.6833333333\nc,1.466666667\n"));
    // A folder that is not there: the failure is told in a box, and nothing is left behind.
    QString told;
    test::OnModalDialog([&](QDialog* d) {
        told = static_cast<QMessageBox*>(d)->text();
        d->accept();
    });
    EXPECT_FALSE(w->SaveCsv(dir_.filePath(QStringLiteral("none/table.csv"))));
    EXPECT_TRUE(told.startsWith(QStringLiteral("The run table was not saved: ")))
        << told.toStdString();

    // The middle of the range holds the smaller squares (run b has samples at its edges).
    view->Screen(0)->ZoomIn();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return w->Rows().at(1).values.at(0).value_or(1) < 0.67; }, 5000));
}

}  // namespace
}  // namespace kurvex
