#include <gtest/gtest.h>

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QMenu>
#include <QTemporaryDir>
#include <QTest>

#include "TestSupport.h"
#include "controls/GridEditCell.h"
#include "dialogs/ShellMessages.h"
#include "formula/FormulaTestSupport.h"
#include "table/BGridChildFrame.h"
#include "table/BGridDataBasic.h"
#include "table/BGridDataGraphPoints.h"

namespace kurvex {
namespace {

using test::MakeData;

// A view of two screens: V1 on top, V2 below, over Time.
struct View {
    View() {
        data = MakeData({"Time", "V1", "V2"}, {{0, 1, 2}, {0.5, -1, 2e-9}, {3, 4, 5}});
        for (CGraphCurve* s : {&top, &bottom}) s->SetData(data);
        top.AddCurve(CCurveEntry::ForColumn(data, 1));
        bottom.AddCurve(CCurveEntry::ForColumn(data, 2));
    }
    std::vector<const CGraphCurve*> Screens() const { return {&top, &bottom}; }
    CResultDataRef data;
    CGraphCurve top{0}, bottom{0};
};

bool WaitIdle(CBGridChildFrame& frame) {
    return QTest::qWaitFor([&] { return !frame.Busy(); }, 20000);
}

QString Clipboard() {
    return QApplication::clipboard()->text();
}

QByteArray Contents(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(unreadable)");
}

// A table whose cells run out of memory from a row on.
class FailingSource : public CBGridData_Basic {
public:
    FailingSource(int rows, int failFrom) : CBGridData_Basic(rows, 2), failFrom_(failFrom) {
        for (int r = 0; r < rows; ++r) SetCell(r, 0, std::to_string(r));
    }
    void AppendCellText(std::string& out, std::int32_t row, std::int32_t column) const override {
        if (row >= failFrom_) throw std::bad_alloc();
        CBGridData_Basic::AppendCellText(out, row, column);
    }

private:
    int failFrom_;
};

TEST(BGridChildFrame, CopiesAllRowsTheClickedRowAndTheSelection) {
    View view;
    test::RecordingMessages messages;
    CBGridChildFrame frame(view.Screens(), "run1", 1, nullptr, &messages);
    frame.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));

    frame.Action(CBGridChildFrame::kCopyAll)->trigger();
    ASSERT_TRUE(WaitIdle(frame));
    // The layout is the point table's; here, that every row and the names came.
    EXPECT_TRUE(Clipboard().startsWith("Time        \tV1")) << Clipboard().toStdString();
    EXPECT_TRUE(Clipboard().endsWith("\t5           \r\n")) << Clipboard().toStdString();
    EXPECT_EQ(frame.Grid().Selection(), (GridRange{0, 0, 3, 2}));  // the copy is selected

    // A right click on the header row, then the pop-up's "Copy Row".
    const QRect header = frame.Grid().CellRect(0, 1);
    QTest::mouseClick(frame.Grid().viewport(), Qt::RightButton, {}, header.center());
    frame.PopupMenu()->close();
    frame.Action(CBGridChildFrame::kPopupCopyRow)->trigger();
    ASSERT_TRUE(WaitIdle(frame));
    EXPECT_EQ(Clipboard(), "Time        \tV1          \tV2          \r\n");

    // A dragged selection, copied from the pop-up.
    QTest::mousePress(frame.Grid().viewport(), Qt::LeftButton, {},
                      frame.Grid().CellRect(2, 1).center());
    QTest::mouseMove(frame.Grid().viewport(), frame.Grid().CellRect(3, 2).center());
    QTest::mouseRelease(frame.Grid().viewport(), Qt::LeftButton, {},
                        frame.Grid().CellRect(3, 2).center());
    frame.Action(CBGridChildFrame::kPopupCopySelected)->trigger();
    ASSERT_TRUE(WaitIdle(frame));
    EXPECT_EQ(Clipboard(), "-1          \t4           \r\n2e-09       \t5           \r\n");
    // The menu's "Copy Row" copies the current cell's row.
    frame.Action(CBGridChildFrame::kCopyRow)->trigger();
    ASSERT_TRUE(WaitIdle(frame));
    EXPECT_EQ(Clipboard(), "2           \t2e-09       \t5           \r\n");
}

TEST(BGridChildFrame, SavesTheThreeFormsAndReportsAPlaceItCannotWrite) {
    View view;
    test::RecordingMessages messages;
    CBGridChildFrame frame(view.Screens(), "run1", 1, nullptr, &messages);
    QTemporaryDir dir;
    struct Case {
        TableSaveForm form;
        const char* name;
        QByteArray start;
    } cases[] = {
        {TableSaveForm::Tab, "t.txt", "Time\tV1\tV2\r\n0\t0.5\t3\r\n1\t-1\t4\r\n2\t2e-09\t5\r\n"},
        {TableSaveForm::Comma, "c.csv", "Time,V1,V2\r\n0,0.5,3\r\n"},
        {TableSaveForm::Table, "f.txt",
         "  Time" + QByteArray(14, ' ') + "V1" + QByteArray(16, ' ') + "V2"},
    };
    for (const Case& c : cases) {
        const QString path = dir.filePath(c.name);
        ASSERT_TRUE(frame.SaveTo(path, c.form));
        ASSERT_TRUE(WaitIdle(frame));
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_TRUE(f.readAll().startsWith(c.start)) << c.name;
    }
    EXPECT_TRUE(messages.shown.empty());

    // A folder that does not exist: the error is shown.
    EXPECT_FALSE(frame.SaveTo(dir.filePath("missing/t.txt"), TableSaveForm::Tab));
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].second, MessageIcon::Stop);
}

TEST(BGridChildFrame, AnExportThatFailsIsReportedAndLosesNothing) {
    QTemporaryDir dir;
    const QString path = dir.filePath("t.txt");
    struct Case {
        int failFrom;  // the row whose cell throws
        bool save;
        const char* message;
    } cases[] = {
        {1500, true, "Failed to save file: Not enough memory."},
        {1500, false, "Failed to copy the table: Not enough memory."},
        {1 << 30, true, nullptr},  // blocks of rows make up the whole file
    };
    for (const Case& c : cases) {
        test::RecordingMessages messages;
        CBGridChildFrame frame(std::make_unique<FailingSource>(3000, c.failFrom), "t", nullptr,
                               &messages);
        QFile old(path);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly | QIODevice::Truncate) && old.write("old") == 3);
        old.close();
        QApplication::clipboard()->setText("kept");
        ASSERT_TRUE(c.save ? frame.SaveTo(path, TableSaveForm::Comma) : frame.CopyRange({}));
        ASSERT_TRUE(WaitIdle(frame));
        if (!c.message) {
            EXPECT_TRUE(messages.shown.empty());
            const QByteArray text = Contents(path);
            EXPECT_EQ(text.count("\r\n"), 3000);
            EXPECT_TRUE(text.endsWith("\r\n2999,\r\n"));
            continue;
        }
        ASSERT_EQ(messages.shown.size(), 1u) << c.failFrom;
        EXPECT_EQ(messages.shown[0].first, c.message);
        EXPECT_EQ(Contents(path), "old");
        EXPECT_EQ(Clipboard(), "kept");
        // The window goes on: a copy that fits still works.
        EXPECT_TRUE(frame.CopyRange({0, 0, 0, 0}) && WaitIdle(frame));
        EXPECT_EQ(Clipboard(), "0           \r\n");
    }
}

TEST(BGridWnd, DraggingPastTheLastColumnKeepsTheRowUnderThePointer) {
    CBGridWnd grid;
    grid.resize(600, 20 * 11 + 40);  // wider than both columns
    grid.SetData(std::make_unique<CBGridData_Basic>(1000001, 2, 1, 80, 20));
    grid.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&grid));
    const QRect last = grid.CellRect(3, 1);
    struct Case {
        QPoint to;
        GridRange selection;
    } cases[] = {
        {{last.right() + 100, last.center().y()}, {1, 0, 3, 1}},
        {{grid.viewport()->width() - 1, grid.CellRect(2, 0).center().y()}, {1, 0, 2, 1}},
        {grid.CellRect(2, 0).center(), {1, 0, 2, 0}},
    };
    for (const Case& c : cases) {
        QTest::mousePress(grid.viewport(), Qt::LeftButton, {}, grid.CellRect(1, 0).center());
        QTest::mouseMove(grid.viewport(), c.to);
        QTest::mouseRelease(grid.viewport(), Qt::LeftButton, {}, c.to);
        EXPECT_EQ(grid.Selection(), c.selection) << c.to.x() << "," << c.to.y();
    }
}

TEST(BGridWnd, ScreenReadersSeeATableWithHeadersCellsAndTheSelection) {
    View view;
    test::RecordingMessages messages;
    CBGridChildFrame frame(view.Screens(), "run1", 1, nullptr, &messages);
    frame.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));
    CBGridWnd& grid = frame.Grid();
    QAccessibleInterface* table = QAccessible::queryAccessibleInterface(&grid);
    ASSERT_NE(table, nullptr);
    QAccessibleTableInterface* t = table->tableInterface();
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->rowCount(), 3);  // the names are the header, not a row
    EXPECT_EQ(t->columnDescription(1), "V1");

    QAccessibleInterface* cell = t->cellAt(1, 1);
    ASSERT_NE(cell, nullptr);
    EXPECT_EQ(cell->text(QAccessible::Name), "-1");
    ASSERT_NE(cell->tableCellInterface(), nullptr);
    const QList<QAccessibleInterface*> headers = cell->tableCellInterface()->columnHeaderCells();
    ASSERT_EQ(headers.size(), 1);
    EXPECT_EQ(headers[0]->text(QAccessible::Name), "V1");
    // Found again where it is drawn.
    EXPECT_EQ(table->childAt(cell->rect().center().x(), cell->rect().center().y()), cell);

    grid.SetCurrentCell(3, 2);
    ASSERT_EQ(t->selectedCells().size(), 1);
    EXPECT_EQ(t->selectedCells()[0]->text(QAccessible::Name), "5");
    EXPECT_TRUE(t->selectedCells()[0]->state().selected);
    EXPECT_FALSE(cell->state().selected);
    EXPECT_TRUE(t->selectRow(0));
    EXPECT_EQ(grid.Selection(), (GridRange{1, 0, 1, 2}));
    EXPECT_EQ(t->selectedRows(), QList<int>{0});

    // A million rows: counted, never listed whole.
    grid.SetData(std::make_unique<CBGridData_Basic>(1000001, 2, 1, 80, 20));
    EXPECT_EQ(t->rowCount(), 1000000);
    grid.SetSelection({});
    EXPECT_EQ(t->selectedCellCount(), 2000000);
    EXPECT_EQ(t->selectedColumns(), (QList<int>{0, 1}));
    EXPECT_LE(t->selectedCells().size(), 1024);
}

TEST(BGridWnd, KeysMoveTheCurrentCellInsideTheTable) {
    // A million rows: only what is in view is ever drawn.
    auto data = std::make_unique<CBGridData_Basic>(1000001, 2, 1, 80, 20);
    CBGridWnd grid;
    grid.resize(300, 20 * 11 + 40);
    grid.SetData(std::move(data));
    grid.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&grid));
    EXPECT_EQ(grid.CurrentRow(), 1);  // below the header
    const int page = grid.VisibleRows() - 1;
    ASSERT_GT(page, 0);
    struct Step {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        int row, column;
    } steps[] = {
        {Qt::Key_PageDown, {}, 1 + page, 0},
        {Qt::Key_Right, {}, 1 + page, 1},
        {Qt::Key_Right, {}, 1 + page, 1},  // stays inside
        {Qt::Key_End, Qt::ControlModifier, 1000000, 1},
        {Qt::Key_Down, {}, 1000000, 1},
        {Qt::Key_PageUp, {}, 1000000 - page, 1},
        {Qt::Key_Home, Qt::ControlModifier, 0, 0},
        {Qt::Key_Up, {}, 0, 0},
    };
    for (const Step& s : steps) {
        QTest::keyClick(&grid, s.key, s.modifiers);
        EXPECT_EQ(grid.CurrentRow(), s.row) << s.key;
        EXPECT_EQ(grid.CurrentColumn(), s.column) << s.key;
        // The current cell is in view and found again under its own centre.
        int row = -1, column = -1;
        ASSERT_TRUE(grid.CellAt(grid.CellRect(s.row, s.column).center(), row, column));
        EXPECT_EQ(std::make_pair(row, column), std::make_pair(s.row, s.column));
    }
}

TEST(BGridWnd, TheInPlaceEditorStoresNumbersAndRefusesText) {
    auto source = std::make_unique<CBGridData_Basic>(3, 2);
    CBGridData_Basic* data = source.get();
    data->SetCell(0, 0, "Time");
    data->SetCell(1, 0, "5");
    CBGridWnd grid;
    grid.resize(300, 200);
    grid.SetData(std::move(source));
    grid.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&grid));

    QTest::keyClick(&grid, Qt::Key_Return);  // editing is off
    EXPECT_EQ(grid.findChild<CGridEditCell*>(), nullptr);
    grid.SetEditing(true);
    grid.SetBusy(true);  // a copy or save reads the source: no edits meanwhile
    QTest::keyClick(&grid, Qt::Key_Return);
    EXPECT_EQ(grid.findChild<CGridEditCell*>(), nullptr);
    grid.SetBusy(false);

    struct Case {
        QString typed;
        Qt::Key end;
        std::string cell;
    } cases[] = {
        {"2.5k", Qt::Key_Return, "2500"},
        {"abc", Qt::Key_Return, "2500"},  // letters never reach the cell
        {"7", Qt::Key_Escape, "2500"},    // cancelled
    };
    for (const Case& c : cases) {
        grid.SetCurrentCell(1, 0);
        QTest::keyClick(&grid, Qt::Key_Return);
        auto* editor = grid.findChild<CGridEditCell*>();
        ASSERT_NE(editor, nullptr);
        editor->clear();
        QTest::keyClicks(editor, c.typed);
        QTest::keyClick(editor, c.end);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_EQ(data->CellText(1, 0), c.cell) << c.typed.toStdString();
    }
}

}  // namespace
}  // namespace kurvex
