#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <tuple>

#include "TestSupport.h"
#include "data/cache/ColumnCache.h"
#include "dialogs/DialogTestSupport.h"
#include "dialogs/SettingsDlg.h"

namespace kurvex {
namespace {

using test::Child;

TEST(SettingsDlg, ShowsTheStoredValuesAndWritesBothOnOkOnly) {
    QTemporaryDir dir;
    QSettings store(dir.filePath("kurvex.ini"), QSettings::IniFormat);
    store.setValue("Options/RMouseAction", 2);
    store.setValue("Options/RedawXOnReload", 0);
    store.setValue("Options/UnwrapPhase", 0);
    AppOptions options;  // 1 and 0 in this process
    {
        CSettingsDlg dlg(options, store);
        EXPECT_FALSE(Child<QCheckBox>(dlg, "redrawX")->isChecked());
        EXPECT_FALSE(Child<QCheckBox>(dlg, "unwrapPhase")->isChecked());
        EXPECT_TRUE(Child<QRadioButton>(dlg, "zoom")->isChecked());
        Child<QRadioButton>(dlg, "pan")->setChecked(true);
        QTest::keyClick(&dlg, Qt::Key_Escape);  // Cancel
        EXPECT_EQ(dlg.result(), QDialog::Rejected);
    }
    EXPECT_EQ(options.rightMouseAction, kRightMouseShowMenu);
    EXPECT_EQ(store.value("Options/RMouseAction").toInt(), 2);

    store.remove("Options/RedawXOnReload");  // missing: the process's value shows
    CSettingsDlg dlg(options, store);
    EXPECT_TRUE(Child<QCheckBox>(dlg, "redrawX")->isChecked());
    Child<QRadioButton>(dlg, "pan")->setChecked(true);
    dlg.accept();
    EXPECT_EQ(std::tuple(options.rightMouseAction, options.redrawXOnReload, options.unwrapPhase),
              std::tuple(kRightMousePan, 1, 0));
    QSettings reread(dir.filePath("kurvex.ini"), QSettings::IniFormat);
    EXPECT_EQ((std::vector<int>{reread.value("Options/RMouseAction").toInt(),
                                reread.value("Options/RedawXOnReload").toInt(),
                                reread.value("Options/UnwrapPhase").toInt()}),
              (std::vector<int>{1, 1, 0}));
}

TEST(SettingsDlg, CacheOptionsAndClearingTheCache) {
    QTemporaryDir dir;
    qputenv("XDG_CACHE_HOME", dir.filePath("cache").toUtf8());
    // One entry in the cache, of a small source file.
    const std::string source = dir.filePath("source.txt").toStdString();
    test::Spit(source, "t v\n0 1\n");
    CacheKey key;
    std::string error;
    ASSERT_TRUE(KeyOf(source, key, error)) << error;
    CacheWriter writer;
    const double x[2] = {0, 1};
    ASSERT_TRUE(writer.Begin(key, CacheLayout{{"t"}, {2}, {}}, 1 << 20)) << writer.Error();
    ASSERT_TRUE(writer.Append(0, 0, x, nullptr, 2) && writer.Commit()) << writer.Error();

    QSettings store(dir.filePath("kurvex.ini"), QSettings::IniFormat);
    store.setValue("Options/CacheAboveMB", 100);
    AppOptions options;
    CSettingsDlg dlg(options, store);
    EXPECT_EQ(Child<QSpinBox>(dlg, "cacheAbove")->value(), 100);
    QTest::mouseClick(Child<QPushButton>(dlg, "clearCache"), Qt::LeftButton);
    // What clearing removes is the cache's test; here the dialog runs it and says so.
    EXPECT_TRUE(Child<QLabel>(dlg, "cacheStatus")->text().startsWith("Removed 1 entry"));
    Child<QSpinBox>(dlg, "cacheAbove")->setValue(0);
    Child<QSpinBox>(dlg, "cacheLimit")->setValue(2048);
    dlg.accept();
    EXPECT_EQ(options.cacheAboveMB, 0);
    EXPECT_EQ(options.cacheLimitMB, 2048);
    EXPECT_EQ(QSettings(dir.filePath("kurvex.ini"), QSettings::IniFormat)
                  .value("Options/CacheLimitMB")
                  .toInt(),
              2048);
    qunsetenv("XDG_CACHE_HOME");
}

}  // namespace
}  // namespace kurvex
