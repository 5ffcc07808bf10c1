#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

#include "controls/ColorSwatch.h"
#include "controls/ExEditCtrl.h"
#include "controls/GridEditCell.h"
#include "controls/WideListBox.h"
#include "interaction/ControlRules.h"

namespace kurvex {
namespace {

// The rules are ControlRules' tests; these check that typed and pasted keys reach them.
TEST(ExEditCtrl, TypedAndPastedTextFollowTheMask) {
    CExEditCtrl count(kEditCountMask);
    QTest::keyClicks(&count, "1a.b2-");  // refused keys never arrive
    EXPECT_EQ(count.text(), "12");
    CExEditCtrl edit(kEditNumberMask);
    edit.setText("5");
    QTest::keyClicks(&edit, "-");  // a sign rewrites the text
    EXPECT_EQ(edit.text(), "-5");
    EXPECT_DOUBLE_EQ(edit.Number(), -5.0);
    // Pasted text loses what the mask refuses; the caret stays behind it.
    edit.setText("7");
    edit.setCursorPosition(0);
    QApplication::clipboard()->setText("a 1.5k x");
    QTest::keySequence(&edit, QKeySequence::Paste);
    EXPECT_EQ(edit.text(), "1.5k7");
    EXPECT_EQ(edit.cursorPosition(), 4);
}

TEST(ColorSwatch, TextIsTheColourRedFirst) {
    CColorSwatch swatch;
    QSignalSpy clicks(&swatch, &CColorSwatch::doubleClicked);
    swatch.SetText("00ff80");
    EXPECT_EQ(swatch.Colour(), 0x80FF00u);
    QTest::mouseDClick(&swatch, Qt::LeftButton);
    EXPECT_EQ(clicks.count(), 1);

    // A word on white in place of the colour, which stays its text.
    swatch.resize(120, 30);
    const QPoint corner = swatch.contentsRect().topLeft() + QPoint(2, 2);
    EXPECT_EQ(swatch.grab().toImage().pixelColor(corner), QColor(0, 255, 128));
    swatch.SetDisplayMode(kSwatchAutomatic);
    EXPECT_EQ(swatch.accessibleDescription(), "Automatic");
    EXPECT_EQ(swatch.grab().toImage().pixelColor(corner), QColor(Qt::white));
    swatch.SetWords("None", "Auto");
    EXPECT_EQ(swatch.accessibleDescription(), "Auto");
    EXPECT_EQ(swatch.Text(), "00FF80");
}

TEST(WideListBox, ScrollRangeGrowsToTheWidestEntry) {
    CWideListBox list;
    list.resize(200, 150);
    list.SetEntries({"a", "b"}, {1, 2});
    list.show();
    QApplication::processEvents();
    EXPECT_EQ(list.horizontalScrollBar()->maximum(), 0);
    list.SelectRows({1});
    list.AddEntry(QString(1000, 'W'), 7);
    QApplication::processEvents();
    EXPECT_GT(list.horizontalScrollBar()->maximum(),
              list.fontMetrics().horizontalAdvance("W") * 900);
    EXPECT_EQ(list.SelectedRows(), QList<int>{1});
    EXPECT_EQ(list.Value(2), 7);
}

class GridEditCellTest : public ::testing::Test {
protected:
    GridEditCellTest() {
        grid_.setFocusPolicy(Qt::StrongFocus);
        grid_.resize(300, 200);
        grid_.show();
        grid_.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&grid_));
    }
    // Opens an editor on cell (2, 3) and records how it ends.
    CGridEditCell* Edit(const QString& text) {
        auto* cell = new CGridEditCell(&grid_, QRect(200, 40, 60, 20), 2, 3, text, kEditNumberMask);
        QObject::connect(cell, &CGridEditCell::editEnded,
                         [this](int r, int c, bool cancelled, const QString& t) {
                             ended_ = {r, c, cancelled ? 1 : 0};
                             text_ = t;
                         });
        QObject::connect(cell, &CGridEditCell::moveEditing, [this](int, int, int dr, int dc) {
            move_ = {dr, dc};
        });
        return cell;
    }
    QWidget grid_;
    std::vector<int> ended_;
    std::vector<int> move_;
    QString text_;
};

TEST_F(GridEditCellTest, KeysEndTheEditAndMoveIt) {
    struct Case {
        int key;
        Qt::KeyboardModifiers modifiers;
        std::vector<int> ended;
        std::vector<int> move;
    };
    const Case cases[] = {
        {Qt::Key_Tab, Qt::NoModifier, {2, 3, 0}, {0, 1}},
        {Qt::Key_Backtab, Qt::ShiftModifier, {2, 3, 0}, {0, -1}},
        {Qt::Key_PageUp, Qt::NoModifier, {2, 3, 0}, {-1, 0}},
        {Qt::Key_PageDown, Qt::NoModifier, {2, 3, 0}, {1, 0}},
        {Qt::Key_Escape, Qt::NoModifier, {2, 3, 1}, {}},
    };
    for (const Case& c : cases) {
        ended_.clear();
        move_.clear();
        CGridEditCell* cell = Edit("1.5");
        EXPECT_EQ(cell->selectedText(), "1.5");
        QTest::keyClicks(cell, "42");
        QTest::keyClick(cell, static_cast<Qt::Key>(c.key), c.modifiers);
        EXPECT_EQ(ended_, c.ended) << c.key;
        EXPECT_EQ(move_, c.move) << c.key;
        EXPECT_EQ(text_, "42");
        EXPECT_TRUE(grid_.hasFocus());
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    EXPECT_TRUE(grid_.findChildren<CGridEditCell*>().isEmpty());  // each editor went
}

TEST_F(GridEditCellTest, WidensWithItsTextButNotPastTheGrid) {
    CGridEditCell* cell = Edit("");
    EXPECT_EQ(cell->width(), 60);
    QTest::keyClicks(cell, "123456789012345678901234567890");
    EXPECT_EQ(cell->geometry().right() + 1, grid_.width());
    grid_.setFocus();  // losing the focus ends the edit
    EXPECT_EQ(ended_, (std::vector<int>{2, 3, 0}));
}

}  // namespace
}  // namespace kurvex
