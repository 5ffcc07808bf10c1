#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "controls/WideListBox.h"
#include "dialogs/CurvePropertiesDlg.h"
#include "dialogs/DialogTestSupport.h"
#include "formula/FormulaTestSupport.h"

namespace kurvex {
namespace {

using test::Child;
using test::MakeData;

class CurvePropertiesDlgTest : public ::testing::Test {
protected:
    CurvePropertiesDlgTest() {
        screen_.SetData(
            MakeData({"TIME", "C", "a", "B"}, {{0, 1, 2}, {1, 2, 3}, {4, 5, 6}, {7, 8, 9}}));
    }
    CGraphCurve screen_;
};

TEST_F(CurvePropertiesDlgTest, SelectedVariablesAreAddedInListOrderWithPaletteColours) {
    CCurvePropertiesDlg dlg(screen_);
    dlg.show();
    auto* available = Child<CWideListBox>(dlg, "available");
    auto* display = Child<CWideListBox>(dlg, "display");
    ASSERT_EQ(available->Count(), 3);  // TIME is not offered
    EXPECT_EQ(available->Text(0), "a");
    available->SelectRows({0, 1, 2});
    QTest::mouseClick(Child<QPushButton>(dlg, "add"), Qt::LeftButton);
    ASSERT_EQ(display->Count(), 3);
    EXPECT_EQ(display->Text(2), "C");
    dlg.accept();
    ASSERT_EQ(dlg.result(), QDialog::Accepted);
    ASSERT_EQ(dlg.Curves().size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(dlg.Curves()[i].colour, kCurvePalette[i]);
    EXPECT_EQ(dlg.Curves()[0].source, 2);
    EXPECT_EQ(screen_.CurveCount(), 0);  // the screen waits for the caller
}

TEST_F(CurvePropertiesDlgTest, RefusedFormulaIsSelectedAndTold) {
    CCurvePropertiesDlg dlg(screen_);
    dlg.show();
    auto* formula = Child<QLineEdit>(dlg, "formula");
    auto* display = Child<CWideListBox>(dlg, "display");
    formula->setFocus();
    QTest::keyClicks(formula, " C>0");
    {
        test::MessageBoxAnswer answer;
        QTest::keyClick(formula, Qt::Key_Return);  // Enter adds a typed formula
        EXPECT_EQ(answer.Text(), "Invalid entry.");
    }
    EXPECT_EQ(formula->selectedText(), ">");
    EXPECT_EQ(display->Count(), 0);
    EXPECT_TRUE(dlg.isVisible());

    formula->setText("c*2");
    QTest::keyClick(formula, Qt::Key_Return);
    ASSERT_EQ(display->Count(), 1);
    EXPECT_TRUE(formula->text().isEmpty());
    Child<CWideListBox>(dlg, "available")->SelectRows({1});
    formula->setText("B+1");
    QTest::keyClick(formula, Qt::Key_Return);
    display->SelectRows({0, 1});
    QTest::mouseClick(Child<QPushButton>(dlg, "remove"), Qt::LeftButton);
    EXPECT_EQ(display->Count(), 0);
    EXPECT_EQ(formula->text(), "c*2");  // the topmost removed formula comes back
}

TEST_F(CurvePropertiesDlgTest, OkWithNothingShownAddsTheSelectedVariable) {
    CCurvePropertiesDlg dlg(screen_);
    Child<CWideListBox>(dlg, "available")->SelectRows({2});
    dlg.accept();
    ASSERT_EQ(dlg.Curves().size(), 1u);
    EXPECT_EQ(dlg.Curves()[0].name, "C");
}

}  // namespace
}  // namespace kurvex
