#include <gtest/gtest.h>

#include <QCheckBox>
#include <QRadioButton>
#include <QTest>

#include "controls/ExEditCtrl.h"
#include "dialogs/DialogTestSupport.h"
#include "dialogs/XAxisDlg.h"
#include "dialogs/YAxisDlg.h"
#include "formula/FormulaTestSupport.h"

namespace kurvex {
namespace {

using test::Child;
using test::MakeData;

// X = 1 .. 10, Y = 2 X; linear 1 .. 10.
CGraphCurve Screen() {
    CGraphCurve s;
    s.SetData(MakeData({"Time", "Y"}, {{1, 2, 5, 10}, {2, 4, 10, 20}}));
    s.AddCurve(CCurveEntry::ForColumn(s.Data(), 1));
    s.UpdateExtents();
    s.StoreX(s.XExtent(), AxisRange{1, 10, 2});
    s.StoreY(s.YExtent(), AxisRange{0, 20, 5});
    return s;
}

// Replaces the text of an edit as the user would: select all, type.
void Type(CExEditCtrl* edit, const char* text) {
    edit->setFocus();
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, text);
}

TEST(AxisDlg, XDialogStoresWhatIsTyped) {
    struct Case {
        const char* name;
        bool log;
        bool autoGrid;
        const char* from;
        const char* to;
        const char* divisions;
        bool changed;
        AxisRange range;
        std::int32_t storedDivisions;
        const char* fromAfter;
        const char* toAfter;
    };
    const Case cases[] = {
        {"reversed", false, true, "10", "2", "5", true, {2, 10, 2}, 5, "2", "10"},
        {"35 divisions", false, false, "1", "10", "35", true, {1, 10, 0.45}, 20, "1", "10"},
        {"log from 0", true, true, "0", "10", "5", true, {0, 1, 1}, 5, "1", "10"},
        {"as shown", false, true, "1", "10", "5", false, {1, 10, -1}, 5, "1", "10"},
    };
    for (const Case& c : cases) {
        CGraphCurve s = Screen();
        const AxisRange before = s.XRange();
        CXAxis_2_Page dlg(s);
        dlg.show();
        QTest::mouseClick(Child<QRadioButton>(dlg, c.log ? "log" : "linear"), Qt::LeftButton, {},
                          QPoint(4, 4));
        Type(Child<CExEditCtrl>(dlg, "from"), c.from);
        Type(Child<CExEditCtrl>(dlg, "to"), c.to);
        if (!c.log) {
            Child<QCheckBox>(dlg, "autoGrid")->setChecked(c.autoGrid);
            if (!c.autoGrid) Type(Child<CExEditCtrl>(dlg, "divisions"), c.divisions);
        }
        EXPECT_EQ(Child<CExEditCtrl>(dlg, "divisions")->isEnabled(), !c.log && !c.autoGrid)
            << c.name;
        QTest::keyClick(&dlg, Qt::Key_Return);  // Enter is OK
        EXPECT_EQ(dlg.result(), QDialog::Accepted) << c.name;
        EXPECT_EQ(dlg.Changed(), c.changed) << c.name;
        const double increment = c.range.increment < 0 ? before.increment : c.range.increment;
        EXPECT_EQ(s.XRange(), (AxisRange{c.range.from, c.range.to, increment})) << c.name;
        EXPECT_EQ(s.XDivisions(), c.storedDivisions) << c.name;
        EXPECT_EQ(Child<CExEditCtrl>(dlg, "from")->text(), c.fromAfter) << c.name;
        EXPECT_EQ(Child<CExEditCtrl>(dlg, "to")->text(), c.toAfter) << c.name;
    }
}

TEST(AxisDlg, UnusableNumbersKeepTheDialogOpenAndTheRecord) {
    CGraphCurve s = Screen();
    const AxisRange before = s.YRange();
    CYAxis_2_Page dlg(s);
    dlg.show();
    dlg.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dlg));
    auto* autoScale = Child<QCheckBox>(dlg, "autoScale");
    EXPECT_FALSE(Child<CExEditCtrl>(dlg, "from")->isEnabled());
    autoScale->setChecked(false);
    EXPECT_TRUE(Child<CExEditCtrl>(dlg, "from")->isEnabled());
    Type(Child<CExEditCtrl>(dlg, "to"), "1e999");
    {
        test::ModalAnswer answer;
        dlg.accept();
        EXPECT_EQ(answer.Text(), "The number is too large.");
    }
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_EQ(s.YRange(), before);
    EXPECT_EQ(s.YAutoScale(), 1);
    EXPECT_EQ(dlg.focusWidget(), Child<CExEditCtrl>(dlg, "to"));
    dlg.reject();
    EXPECT_FALSE(dlg.Changed());
}

}  // namespace
}  // namespace kurvex
