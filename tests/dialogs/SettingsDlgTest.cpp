#include <gtest/gtest.h>

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include "dialogs/AboutDlg.h"
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
    EXPECT_EQ(options.rightMouseAction, kRightMousePan);
    EXPECT_EQ(options.redrawXOnReload, 1);
    EXPECT_EQ(options.unwrapPhase, 0);
    QSettings reread(dir.filePath("kurvex.ini"), QSettings::IniFormat);
    EXPECT_EQ(reread.value("Options/RMouseAction").toInt(), 1);
    EXPECT_EQ(reread.value("Options/RedawXOnReload").toInt(), 1);
    EXPECT_EQ(reread.value("Options/UnwrapPhase").toInt(), 0);
}

TEST(AboutDlg, ShowsTheIconAndTheShortVersion) {
    CAboutDlg dlg;
    EXPECT_EQ(dlg.windowTitle(), "About Kurvex");
    EXPECT_EQ(dlg.findChild<QGroupBox*>()->title(), "Kurvex");
    EXPECT_FALSE(Child<QLabel>(dlg, "icon")->pixmap().isNull());  // the resource is linked in
    EXPECT_EQ(CAboutDlg::VersionText().count('.'), 1);
    EXPECT_TRUE(Child<QLabel>(dlg, "version")->text().endsWith(CAboutDlg::VersionText()));
}

}  // namespace
}  // namespace kurvex
