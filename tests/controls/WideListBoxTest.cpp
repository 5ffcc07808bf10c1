#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QScrollBar>

#include "controls/WideListBox.h"

namespace kurvex {
namespace {

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
    EXPECT_GT(list.horizontalScrollBar()->maximum(), 1000);
    EXPECT_EQ(list.SelectedRows(), QList<int>{1});
    EXPECT_EQ(list.Value(2), 7);
}

}  // namespace
}  // namespace kurvex
