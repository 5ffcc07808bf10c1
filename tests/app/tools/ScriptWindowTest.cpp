// The Measurement Script window on the offscreen platform: a script is measured,
// measured again when the result is rewritten, and kept with the settings.
#include <gtest/gtest.h>

#include <QPlainTextEdit>
#include <QTableWidget>
#include <QTest>

#include "app/GraphDocument.h"
#include "app/GraphView.h"
#include "app/ScriptRunner.h"
#include "app/ViewerFixture.h"
#include "app/tools/ScriptWindow.h"
#include "interaction/CommandTable.h"

namespace kurvex {
namespace {

class ScriptWindowTest : public test::ViewerFixture {
protected:
    // V = k·Time over Time = 0 .. 4.
    QString Result(double k) {
        return WriteColumns("run.txt", {"Time", "V"}, 5,
                            [k](int c, int r) { return c ? k * r : r; });
    }
    static QString Cell(CScriptWindow* w, int row, int column) {
        const QTableWidgetItem* item = w->Table()->item(row, column);
        return item ? item->text() : QString();
    }
};

TEST_F(ScriptWindowTest, MeasuresAgainAfterAReloadAndKeepsTheScriptWithTheSettings) {
    COhmixGraphView* view = Open(Result(1));
    ASSERT_NE(view, nullptr);
    frame_->Execute(kCmdMeasureScript);
    CScriptWindow* w = CScriptWindow::Instance();
    ASSERT_NE(w, nullptr);
    ASSERT_EQ(w->Followed(), view);

    w->Editor()->setPlainText(QStringLiteral(".meas top MAX V\n.meas t9 WHEN V=9\n"));
    w->Run();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Cell(w, 0, 1) == QStringLiteral("4"); }, 5000));
    // No crossing of 9: the cell says so.
    EXPECT_EQ(Cell(w, 0, 2), QStringLiteral("failed"));

    // The simulator writes a new result: measured again without a click.
    Result(3);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Cell(w, 0, 1) == QStringLiteral("12"); }, 5000));
    EXPECT_EQ(w->CopyText(), QStringLiteral("Run\ttop\tt9\nRun 1\t12\t3\n"));

    // Saved (in what form is the settings file's test) and opened again, the view measures
    // its script at once.
    frame_->Execute(kCmdSaveSettings);
    delete w;
    view->Document()->CloseAllViews();
    Settle();
    COhmixGraphView* again = Open(dir_.filePath(QStringLiteral("run.txt")));
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again->Scripts()->Text(), ".meas top MAX V\n.meas t9 WHEN V=9");
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return !again->Scripts()->Running() && !again->Scripts()->Results().rows.empty(); },
        5000));
    EXPECT_EQ(again->Scripts()->Results().rows[0].cells[0].value, 12.0);
}

}  // namespace
}  // namespace kurvex
