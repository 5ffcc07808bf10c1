#include <gtest/gtest.h>

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTest>
#include <tuple>

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

TEST_F(CurvePropertiesDlgTest, RefusedFormulaIsSelectedAndTold) {
    CCurvePropertiesDlg dlg(screen_);
    dlg.show();
    auto* formula = Child<QLineEdit>(dlg, "formula");
    auto* display = Child<CWideListBox>(dlg, "display");
    formula->setFocus();
    QTest::keyClicks(formula, " C>0");
    {
        test::ModalAnswer answer;
        QTest::keyClick(formula, Qt::Key_Return);  // Enter adds a typed formula
        EXPECT_EQ(answer.Text(), "Invalid entry.");
    }
    EXPECT_EQ(formula->selectedText(), ">");
    EXPECT_EQ(display->Count(), 0);
    EXPECT_TRUE(dlg.isVisible());

    formula->setText("c*2");
    QTest::keyClick(formula, Qt::Key_Return);
    ASSERT_EQ(display->Count(), 1);
    display->SelectRows({0});
    QTest::mouseClick(Child<QPushButton>(dlg, "remove"), Qt::LeftButton);
    EXPECT_EQ(display->Count(), 0);
    EXPECT_EQ(formula->text(), "c*2");  // the removed formula comes back to be mended
}

TEST_F(CurvePropertiesDlgTest, CurvesPageListsAddedCurvesAndStoresLineChoices) {
    screen_.AddCurve(CCurveEntry::ForColumn(screen_.Data(), 1));
    CCurvePropertiesDlg dlg(screen_);
    dlg.show();
    Child<CWideListBox>(dlg, "available")->SelectRows({0});  // "a"
    QTest::mouseClick(Child<QPushButton>(dlg, "add"), Qt::LeftButton);
    QTabBar* tabs = dlg.findChild<QTabBar*>();
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(1).center());
    ASSERT_EQ(dlg.CurrentPage(), 1);
    auto* curves = Child<CWideListBox>(dlg, "curves");
    ASSERT_EQ(curves->Count(), 2);

    auto* thickness = Child<QComboBox>(dlg, "thickness");
    auto* label = Child<QLineEdit>(dlg, "label");
    EXPECT_EQ(label->text(), "C");
    thickness->setCurrentText("Do Not Connect");
    QTest::keyClicks(label, "!");
    curves->setCurrentIndex(curves->model()->index(1, 0));
    EXPECT_EQ(label->text(), "a");
    thickness->setCurrentText("3");
    Child<QComboBox>(dlg, "marker")->setCurrentText("Star");
    dlg.accept();
    ASSERT_EQ(dlg.result(), QDialog::Accepted);
    const std::vector<CurveEditRecord>& r = dlg.Curves();
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(std::tuple(r[0].connect, r[0].label, r[1].connect, r[1].thickness, r[1].marker),
              std::tuple(0, std::string("C!"), 1, 3, kMarkerStar));
}

TEST_F(CurvePropertiesDlgTest, ALeftPageThatRefusesKeepsTheTab) {
    CCurvePropertiesDlg dlg(screen_);
    dlg.show();
    Child<QLineEdit>(dlg, "formula")->setText("C+");
    test::ModalAnswer answer;
    EXPECT_FALSE(dlg.ShowPage(2));  // nothing shown: Add runs and refuses the formula
    EXPECT_EQ(answer.Text(), "Invalid formula.");
    EXPECT_EQ(dlg.CurrentPage(), 0);
    dlg.accept();
    EXPECT_TRUE(dlg.isVisible());  // OK refused the same way
}

TEST_F(CurvePropertiesDlgTest, ScreenPageStoresChoicesAndIgnoresCancelledChoosers) {
    CCurvePropertiesDlg dlg(screen_);
    dlg.show();
    ASSERT_TRUE(dlg.ShowPage(2));
    const SharedDisplay before = dlg.Display();
    {
        test::ModalAnswer cancel([](QDialog& d) { d.reject(); });
        QTest::mouseClick(Child<QPushButton>(dlg, "chooseFont"), Qt::LeftButton);
        QTest::mouseClick(Child<QPushButton>(dlg, "chooseBackground"), Qt::LeftButton);
        EXPECT_EQ(cancel.Count(), 2);
    }
    EXPECT_EQ(dlg.Display(), before);
    {
        test::ModalAnswer pick([](QDialog& d) {
            if (auto* c = qobject_cast<QColorDialog*>(&d)) c->setCurrentColor(QColor(1, 2, 3));
            d.accept();
        });
        QTest::mouseClick(Child<QPushButton>(dlg, "chooseGrid"), Qt::LeftButton);
    }
    EXPECT_EQ(dlg.Display().grid, 0x030201u);  // stored at once
    QTest::keyClick(Child<QCheckBox>(dlg, "hideGrid"), Qt::Key_Space);
    Child<QCheckBox>(dlg, "hideAxisText")->setChecked(true);
    EXPECT_EQ(dlg.Display().gridShown, 0);
    EXPECT_EQ(dlg.Display().hideAxisText, 0);  // taken when the page is left
    dlg.accept();
    EXPECT_EQ(dlg.Display().hideAxisText, 1);
}

}  // namespace
}  // namespace kurvex
