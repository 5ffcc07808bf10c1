#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <QTimer>
#include <tuple>

#include "TestSupport.h"
#include "dialogs/BoxMessages.h"
#include "dialogs/DialogTestSupport.h"
#include "dialogs/PageSetupDlg.h"
#include "dialogs/ShellMessages.h"
#include "dialogs/TextDlg.h"
#include "graph/AppOptions.h"

namespace kurvex {
namespace {

TEST(MessageBoxes, ShowFileTextAsItIsNeverAsMarkup) {
    // A reader's message quoting a header line of the file.
    const std::string text = "Line 1: <img src=x.png> is not a variable name";
    std::vector<std::pair<Qt::TextFormat, QString>> seen;
    test::ModalAnswer answer([&](QDialog& d) {
        auto* box = qobject_cast<QMessageBox*>(&d);
        if (box) seen.emplace_back(box->textFormat(), box->text());
        d.done(QDialog::Accepted);
    });
    BoxMessages(nullptr).Show(text, MessageIcon::Stop);
    ShellMessages::Present(text, MessageIcon::Exclamation);
    ASSERT_EQ(seen.size(), 2u);
    for (const auto& [format, shown] : seen) {
        EXPECT_EQ(format, Qt::PlainText);
        EXPECT_EQ(shown.toStdString(), text);
    }
}

TEST(PageSetupDlg, ATenInchTopMarginIsRefusedAndReset) {
    CPageSetupDlg dialog({}, {"", 0}, "run1.txt", QSizeF(8.5, 11));
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    dialog.MarginEdit(kRightMarginField)->setFocus();
    dialog.MarginEdit(kTopMarginField)->setText("10");
    dialog.accept();
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.MarginEdit(kTopMarginField)->text(), "1.00");
    EXPECT_EQ(dialog.focusWidget(), dialog.MarginEdit(kTopMarginField));

    // Together too wide: the larger field is focused and keeps its text.
    dialog.MarginEdit(kLeftMarginField)->setText("3.6");
    dialog.MarginEdit(kRightMarginField)->setText("4");
    dialog.accept();
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.MarginEdit(kRightMarginField)->text(), "4");
    EXPECT_EQ(dialog.focusWidget(), dialog.MarginEdit(kRightMarginField));
}

TEST(PageSetupDlg, OkStoresTheOptionsAndTheProfile) {
    QTemporaryDir dir;
    QSettings store(dir.filePath("k.ini"), QSettings::IniFormat);
    AppOptions options;
    std::string title = "Old";
    std::int32_t noTitle = 0;
    QTimer::singleShot(0, [] {
        auto* d = qobject_cast<CPageSetupDlg*>(QApplication::activeModalWidget());
        ASSERT_NE(d, nullptr);
        d->MarginEdit(kBottomMarginField)->setText("2");
        d->TitleEdit()->setText("Inverter");
        d->NoTitleBox()->setChecked(false);
        d->accept();
    });
    ASSERT_TRUE(EditPageSetup(nullptr, options, &store, title, noTitle, "run1", QSizeF(8.5, 11)));
    EXPECT_EQ(std::tuple(options.bottomMargin, title, noTitle),
              std::tuple(200, std::string("Inverter"), 0));
    EXPECT_EQ(std::pair(store.value("PRINTPAGESETUP/BOTTOMMARGIN").toInt(),
                        store.value("PRINTPAGESETUP/LEFTMARGIN").toInt()),
              std::pair(200, 100));
}

TEST(TextDlg, AnEmptyTextIsRefusedAndTheDialogStays) {
    CGraphText target;
    target.SetTextUtf8("old");
    test::RecordingMessages messages;
    CTextDlg dialog(target, nullptr, &messages);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    EXPECT_EQ(dialog.TextEdit()->toPlainText(), "old");
    dialog.TextEdit()->clear();
    dialog.accept();
    // What the refusal says and keeps is the templates' test; here the dialog stays on the text.
    EXPECT_EQ(messages.shown.size(), 1u);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.focusWidget(), dialog.TextEdit());
}

TEST(TextDlg, OkStoresWhatTheDialogShowsAndCancelNothing) {
    CGraphText target;
    test::RecordingMessages messages;
    {
        CTextDlg dialog(target, nullptr, &messages);
        QApplication::clipboard()->setText("Vout\nripple");
        for (QPushButton* b : dialog.findChildren<QPushButton*>())
            if (b->text() == "Paste") b->click();
        QFont font("Liberation Serif");
        font.setPixelSize(20);
        font.setBold(true);
        dialog.ChooseFont(font);
        dialog.ChooseColour(QColor(0, 128, 255));
        dialog.JustificationList()->setCurrentIndex(kJustifyLeftBottom);
        dialog.VerticalBox()->setChecked(true);
        dialog.accept();
    }
    EXPECT_EQ(std::tuple(target.TextUtf8(), target.Justification(), target.Vertical()),
              std::tuple(std::string("Vout\r\nripple"), kJustifyLeftBottom, 1));
    EXPECT_EQ(target.Colour(), 0xFF8000u);  // 0x00BBGGRR
    EXPECT_EQ(std::tuple(target.Font().faceName, target.Font().height, target.Font().weight),
              std::tuple(std::string("Liberation Serif"), -20, 700));

    const CGraphText before = target;
    CTextDlg dialog(target, nullptr, &messages);
    dialog.TextEdit()->setPlainText("changed");
    dialog.ChooseColour(Qt::red);
    dialog.reject();
    EXPECT_EQ(target.TextUtf8(), before.TextUtf8());
    EXPECT_EQ(target.Colour(), before.Colour());
}

}  // namespace
}  // namespace kurvex
