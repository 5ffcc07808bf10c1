#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAccessible>
#include <QLabel>
#include <QSettings>
#include <QTemporaryDir>
#include <functional>
#include <map>
#include <memory>

#include "dialogs/AboutDlg.h"
#include "dialogs/CurvePropertiesDlg.h"
#include "dialogs/SetXAxisDlg.h"
#include "dialogs/SettingsDlg.h"
#include "dialogs/XAxisDlg.h"
#include "dialogs/YAxisDlg.h"
#include "formula/FormulaTestSupport.h"

namespace kurvex {
namespace {

// The mnemonic letter of a text ("&Add ->" gives 'a'), or 0.
QChar Mnemonic(const QString& text) {
    const qsizetype at = text.indexOf('&');
    return at >= 0 && at + 1 < text.size() && text[at + 1] != '&' ? text[at + 1].toLower()
                                                                  : QChar();
}

// Every control that takes the focus is named for screen readers, and no two
// controls a user sees at once answer the same mnemonic.
void CheckKeyboardAndNames(QDialog& dlg, const char* what) {
    for (QWidget* w : dlg.findChildren<QWidget*>()) {
        if (!(w->focusPolicy() & Qt::TabFocus) || w->window() != &dlg) continue;
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
        ASSERT_TRUE(a);
        EXPECT_FALSE(a->text(QAccessible::Name).isEmpty())
            << what << ": " << w->metaObject()->className() << " " << w->objectName().toStdString();
    }
    // Controls on one page (or in a plain dialog) share a parent chain up to it.
    std::map<QWidget*, std::map<QChar, QString>> seen;
    for (QWidget* w : dlg.findChildren<QWidget*>()) {
        QString text;
        if (auto* label = qobject_cast<QLabel*>(w)) text = label->text();
        if (auto* button = qobject_cast<QAbstractButton*>(w)) text = button->text();
        const QChar m = Mnemonic(text);
        if (m.isNull()) continue;
        QWidget* page = w->parentWidget();
        while (page && page->parentWidget() &&
               page->parentWidget()->objectName() != "qt_tabwidget_stackedwidget" &&
               page->parentWidget() != &dlg)
            page = page->parentWidget();
        auto [it, fresh] = seen[page].emplace(m, text);
        EXPECT_TRUE(fresh) << what << ": " << text.toStdString() << " and "
                           << it->second.toStdString();
    }
}

TEST(DialogKeyboard, ControlsAreNamedAndMnemonicsUnique) {
    CGraphCurve screen;
    screen.SetData(test::MakeData({"Time", "A"}, {{0, 1}, {2, 3}}));
    screen.AddCurve(CCurveEntry::ForColumn(screen.Data(), 1));
    QTemporaryDir dir;
    QSettings store(dir.filePath("k.ini"), QSettings::IniFormat);
    AppOptions options;
    const std::pair<const char*, std::function<std::unique_ptr<QDialog>()>> dialogs[] = {
        {"Properties", [&] { return std::make_unique<CCurvePropertiesDlg>(screen); }},
        {"X-Axis", [&] { return std::make_unique<CXAxis_2_Page>(screen); }},
        {"Y-Axis", [&] { return std::make_unique<CYAxis_2_Page>(screen); }},
        {"Set X-Axis", [&] { return std::make_unique<CSet_XAxis_2_Page>(screen); }},
        {"Settings", [&] { return std::make_unique<CSettingsDlg>(options, store); }},
        {"About", [&] { return std::make_unique<CAboutDlg>(); }},
    };
    for (const auto& [name, make] : dialogs) {
        std::unique_ptr<QDialog> dlg = make();
        CheckKeyboardAndNames(*dlg, name);
    }
}

}  // namespace
}  // namespace kurvex
