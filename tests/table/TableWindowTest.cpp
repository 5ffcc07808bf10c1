#include <gtest/gtest.h>

#include <QAccessible>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QTest>

#include "app/ViewerFixture.h"
#include "graph/ViewCommands.h"
#include "table/BGridChildFrame.h"

namespace kurvex {
namespace {

class TableWindowTest : public test::ViewerFixture {
protected:
    // A graph window and its point table, the table active.
    CBGridChildFrame* OpenTable() {
        if (!Open(Write("one.txt", "Time V\n0 1\n1 4\n2 9\n"))) return nullptr;
        frame_->show();
        if (!QTest::qWaitForWindowExposed(frame_)) return nullptr;
        frame_->Execute(kCmdViewDataPoints);
        QMdiSubWindow* active = frame_->MdiArea()->activeSubWindow();
        return active ? qobject_cast<CBGridChildFrame*>(active->widget()) : nullptr;
    }
};

TEST_F(TableWindowTest, LentMenusAreWhereTheFramesBarDrawsThem) {
    CBGridChildFrame* table = OpenTable();
    ASSERT_NE(table, nullptr);
    // A reader walks the table window too, its hidden bar included.
    for (QMenuBar* inner : table->findChildren<QMenuBar*>())
        if (QAccessibleInterface* i = QAccessible::queryAccessibleInterface(inner))
            for (int k = 0; k < i->childCount(); ++k) i->child(k);
    QAccessibleInterface* bar = QAccessible::queryAccessibleInterface(frame_->menuBar());
    ASSERT_NE(bar, nullptr);
    const QRect barRect = bar->rect();
    QStringList found;
    for (int i = 0; i < bar->childCount(); ++i) {
        QAccessibleInterface* entry = bar->child(i);
        ASSERT_NE(entry, nullptr);
        const QString name = entry->text(QAccessible::Name);
        if (name != "File" && name != "Edit") continue;
        found << name;
        EXPECT_TRUE(barRect.contains(entry->rect())) << name.toStdString();
        EXPECT_FALSE(entry->rect().isEmpty()) << name.toStdString();
        EXPECT_FALSE(entry->state().invisible) << name.toStdString();
    }
    EXPECT_EQ(found, (QStringList{"File", "Edit"}));
    // The menus are still the table's.
    EXPECT_EQ(frame_->menuBar()->actions()[0]->menu(), table->Menus()[0]);
}

TEST_F(TableWindowTest, ATableWhoseDocumentClosedStillReportsAFailedSave) {
    CBGridChildFrame* table = OpenTable();
    ASSERT_NE(table, nullptr);
    frame_->Views().front()->Window()->close();
    Settle();
    ASSERT_TRUE(app_->Documents().empty());
    shown_.clear();
    EXPECT_FALSE(table->SaveTo(dir_.filePath("missing/t.txt"), TableSaveForm::Tab));
    EXPECT_EQ(shown_.size(), 1u);
}

}  // namespace
}  // namespace kurvex
