// The viewer end to end on the offscreen platform: the frame, its commands,
// the graph view and what they show.
#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QProgressDialog>
#include <QPushButton>
#include <QTest>
#include <QTextEdit>
#include <QToolBar>
#include <QWidgetAction>
#include <clocale>
#include <cmath>

#include "analysis/FftWorker.h"
#include "app/GraphDocument.h"
#include "app/GraphWnd.h"
#include "app/RequestChannel.h"
#include "app/ViewerFixture.h"
#include "controls/WideListBox.h"
#include "data/formats/RequestText.h"
#include "graph/StoredOptions.h"
#include "interaction/CommandTable.h"

namespace kurvex {
namespace {

using test::OnModalDialog;

class ViewerTest : public test::ViewerFixture {
protected:
    // Six curves whose spectra take a moment each: 19,997 points, a prime,
    // leave the transform no short cut.
    QString WriteSlowFftFile() {
        QString ini =
            "[Main]\nNumScreen=1\nXAxis=Time\nXFrom=0\nXTo=0.019995\n[Screen0]\n"
            "CurveCount=6\nYFrom=-1\nYTo=1\n";
        for (int c = 0; c < 6; ++c)
            ini += QStringLiteral("Curve_%1_Formula=%2\n").arg(c).arg(QChar('A' + c));
        Write("fft.ini", ini);
        return WriteColumns("fft.txt", {"Time", "A", "B", "C", "D", "E", "F"}, 19996,
                            [](int c, int r) { return c ? std::sin(r * 0.01 * c) : r * 1e-6; });
    }

    // The measure window's rows as "label\tvalue" lines.
    static QStringList MeasureRows() {
        CMsuFrame* m = CMsuFrame::Instance();
        return m ? m->accessibleDescription().split('\n') : QStringList();
    }
};

TEST_F(ViewerTest, UndoFollowsTheScreensSavedStates) {
    COhmixGraphView* view = Open(WriteColumns("one.txt"));
    ASSERT_NE(view, nullptr);
    const AxisRange before = view->Screen(0)->Record().XRange();
    frame_->Actions().Action(kCmdZoomIn)->trigger();
    QTest::keyClick(frame_, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(view->Screen(0)->Record().XRange(), before);
    EXPECT_FALSE(Enabled(kCmdUndo));
}

TEST_F(ViewerTest, OnlyAViewOpensAPointTable) {
    COhmixGraphView* view = Open(WriteColumns("one.txt"));
    ASSERT_NE(view, nullptr);
    frame_->Execute(kCmdViewDataPoints);
    frame_->Execute(kCmdViewDataPoints);  // refused: a table window is active
    EXPECT_EQ(frame_->MdiArea()->subWindowList().size(), 2);
}

TEST_F(ViewerTest, EveryToolBarButtonHasAnIconAndANameForScreenReaders) {
    for (QToolBar* bar : {frame_->StandardBar(), frame_->MeasureBar()}) {
        for (QAction* a : bar->actions()) {
            if (a->isSeparator()) continue;
            QWidget* button = bar->widgetForAction(a);
            ASSERT_NE(button, nullptr);
            EXPECT_FALSE(button->accessibleName().isEmpty()) << a->data().toInt();
            // A control on the bar, such as the curve list, shows itself.
            if (!qobject_cast<QWidgetAction*>(a)) {
                EXPECT_FALSE(a->icon().isNull()) << a->data().toInt();
            }
        }
    }
}

TEST_F(ViewerTest, SavedLayoutBuildsTheScreensAndDeletingTheTopOneKeepsTheRest) {
    const QString file = WriteColumns("three.txt", {"Time", "V1", "I1", "P"}, 20,
                                      [](int c, int r) { return c * 10 + r; });
    Write("three.ini",
          "[Main]\nNumScreen=3\nXAxis=Time\n[Screen0]\nCurveCount=1\nCurve_0_Formula=V1\n"
          "[Screen1]\nCurveCount=1\nCurve_0_Formula=I1\n[Screen2]\nCurveCount=1\n"
          "Curve_0_Formula=P\n");
    COhmixGraphView* view = Open(file);
    ASSERT_NE(view, nullptr);
    ASSERT_EQ(view->ScreenCount(), 3);

    // Deleting the top screen makes the former second one active.
    frame_->Execute(kCmdDeleteScreen);
    ASSERT_EQ(view->ScreenCount(), 2);
    EXPECT_EQ(view->ActiveScreen(), 0);
    EXPECT_EQ(view->Screen(0)->Record().Curve(0).formula, "I1");
    EXPECT_TRUE(view->Screen(1)->Record().BottomScreen());
}

TEST_F(ViewerTest, CurveListFollowsTheActiveView) {
    const QString two = WriteColumns("two.txt", {"Time", "V1", "I1"}, 20);
    Write("two.ini",
          "[Main]\nNumScreen=2\n[Screen0]\nCurveCount=1\nCurve_0_Formula=V1\n[Screen1]\n"
          "CurveCount=1\nCurve_0_Formula=I1\n");
    COhmixGraphView* view = Open(two);
    ASSERT_NE(view, nullptr);
    QComboBox* list = frame_->CurveList();
    ASSERT_EQ(list->count(), 2);  // how entries are named is the view commands' test

    // Choosing an entry selects that screen and curve.
    list->setCurrentIndex(1);
    emit list->activated(1);
    EXPECT_EQ(view->ActiveScreen(), 1);
    EXPECT_EQ(view->Screen(1)->Record().SelectedCurve(), 0);

    // A second window lists its own curve, bare; closing another window leaves it.
    COhmixGraphView* other =
        Open(WriteColumns("single.txt", {"Time", "Vout"}, 20, [](int c, int r) { return c * r; }));
    ASSERT_EQ(list->count(), 1);
    view->Window()->close();
    Settle();
    EXPECT_EQ(list->count(), 1);
    EXPECT_EQ(frame_->CurveListView(), other);
    other->Window()->close();
    Settle();
    EXPECT_EQ(list->count(), 0);
}

TEST_F(ViewerTest, MeasureWindowListsTheCursorValues) {
    // V = row², so Max lands on the last row.
    const QString file =
        WriteColumns("m.txt", {"Time", "V"}, 11, [](int c, int r) { return c ? r * r : r * 0.1; });
    COhmixGraphView* view = Open(file);
    ASSERT_NE(view, nullptr);
    frame_->Execute(kCmdMax);
    ASSERT_NE(CMsuFrame::Instance(), nullptr);
    EXPECT_EQ(MouseMode(), kModeMeasure);
    EXPECT_EQ(MeasureRows(), (QStringList{"Time\t1", "V\t100"}));

    frame_->Execute(kCmdPreviousPoint);
    EXPECT_EQ(MeasureRows(), (QStringList{"Time\t0.9", "V\t81"}));

    // Avg shows one result under its caption.
    frame_->Execute(kCmdAverage);
    EXPECT_EQ(MeasureRows(), (QStringList{"V\t35"}));  // (0 + 1 + ... + 100) / 11
}

TEST_F(ViewerTest, MeasureStyleAndClosingTheWindowReachEveryView) {
    std::vector<COhmixGraphView*> views;
    for (const char* name : {"s1.txt", "s2.txt"}) {
        views.push_back(
            Open(WriteColumns(name, {"Time", "V"}, 11, [](int c, int r) { return c ? r : r; })));
        ASSERT_NE(views.back(), nullptr);
        frame_->Execute(kCmdMax);
        ASSERT_TRUE(views.back()->Screen(0)->Record().Cursor(0).shown);
    }
    // The cross is drawn in every window at once, not only in the active one.
    frame_->Execute(kCmdCross);
    for (COhmixGraphView* v : views) EXPECT_TRUE(v->Screen(0)->Record().Cursor(0).horizontalLine);

    // Closing the measure window leaves measure mode, and the cursors go with it.
    CMsuFrame::Instance()->close();
    EXPECT_NE(MouseMode(), kModeMeasure);
    for (COhmixGraphView* v : views) EXPECT_FALSE(v->Screen(0)->Record().Cursor(0).shown);
}

TEST_F(ViewerTest, ReloadOrUndoDuringADragIsNotUndoneByItsRelease) {
    const QString file =
        WriteColumns("d.txt", {"Time", "V"}, 11, [](int c, int r) { return c ? r : r * 0.1; });
    COhmixGraphView* view = Open(file);
    ASSERT_NE(view, nullptr);
    CGraphWnd* screen = view->Screen(0);
    screen->repaint();
    const PlotRect plot = screen->Record().Plot();
    const QPoint mid(plot.left + plot.Width() / 2, plot.top + plot.Height() / 2);
    auto drag = [&](const std::function<void()>& meanwhile) {
        QTest::mousePress(screen, Qt::LeftButton, {}, mid);
        QTest::mouseMove(screen, mid + QPoint(30, 20));
        meanwhile();
        QTest::mouseRelease(screen, Qt::LeftButton, {}, mid + QPoint(40, 20));
    };

    // A reload during a pan: the release must not bring the old data back.
    drag([&] {
        WriteColumns("d.txt", {"Time", "V"}, 30, [](int c, int r) { return c ? r : r * 0.1; });
        frame_->Execute(kCmdReload);
    });
    EXPECT_EQ(screen->Record().Data()->RowCount(), 30);

    // An undo during a pan stays undone.
    frame_->Execute(kCmdZoomIn);
    const std::size_t entries = screen->Record().UndoStack().size();
    AxisRange undone;
    drag([&] {
        frame_->Execute(kCmdUndo);
        undone = screen->Record().XRange();
    });
    EXPECT_EQ(screen->Record().XRange(), undone);
    EXPECT_EQ(screen->Record().UndoStack().size(), entries - 1);
}

TEST_F(ViewerTest, FftCancelStopsOnlyTheCurveInProgress) {
    COhmixGraphView* view = Open(WriteSlowFftFile());
    ASSERT_NE(view, nullptr);
    ASSERT_EQ(view->Screen(0)->Record().CurveCount(), 6);
    OnModalDialog([](QDialog* dialog) {
        auto* d = qobject_cast<QProgressDialog*>(dialog);
        ASSERT_NE(d, nullptr);
        d->findChild<QPushButton*>()->click();
    });
    frame_->Execute(kCmdPerformFft);
    const CGraphCurve& r = view->Screen(0)->Record();
    EXPECT_EQ(r.FreqDisplay(), 1);
    int empty = 0;
    for (int i = 0; i < r.CurveCount(); ++i) {
        ASSERT_TRUE(r.Curve(i).spectrum);
        const std::int32_t points = r.Curve(i).spectrum->Capacity();
        EXPECT_TRUE(points == 0 || points == 9999) << i;
        empty += points == 0 ? 1 : 0;
    }
    EXPECT_EQ(empty, 1);

    // Undo goes back across the switch.
    frame_->Execute(kCmdUndo);
    EXPECT_EQ(view->Screen(0)->Record().FreqDisplay(), 0);
}

TEST_F(ViewerTest, ClosingAWindowDuringItsFftCancelsAndWaits) {
    const QString file = WriteSlowFftFile();
    COhmixGraphView* view = Open(file);
    ASSERT_NE(view, nullptr);
    QMdiSubWindow* window = view->Window();
    OnModalDialog([window](QDialog*) { window->close(); });
    frame_->Execute(kCmdPerformFft);
    Settle();
    EXPECT_FALSE(FftWorker::AnalysisRunning());
    EXPECT_TRUE(frame_->MdiArea()->subWindowList().isEmpty());
    EXPECT_TRUE(app_->Documents().empty());
}

TEST_F(ViewerTest, ReloadClosesViewsThatLostTheirFileOrTheirX) {
    COhmixGraphView* view = Open(WriteColumns("r.txt", {"Time", "V1"}, 10));
    ASSERT_NE(view, nullptr);

    // Another document whose file vanished closes; this one stays as it was.
    COhmixGraphView* other = Open(WriteColumns("gone.txt", {"Time", "V"}, 5));
    ASSERT_NE(other, view);
    QFile::remove(dir_.filePath("gone.txt"));
    frame_->Execute(kCmdReload);
    Settle();
    ASSERT_EQ(frame_->MdiArea()->subWindowList().size(), 1);
    EXPECT_EQ(frame_->ActiveView(), view);
    EXPECT_EQ(view->Screen(0)->Record().Data()->RowCount(), 10);

    // The X variable gone: the window closes with its document.
    WriteColumns("r.txt", {"Step", "V1"}, 30);
    frame_->Execute(kCmdReload);
    Settle();
    EXPECT_TRUE(frame_->MdiArea()->subWindowList().isEmpty());
    EXPECT_TRUE(app_->Documents().empty());
}

TEST_F(ViewerTest, AReloadReachesEveryWindowLeftAfterAnotherOfTheDocumentClosed) {
    const QString file = WriteColumns("w.txt", {"Time", "V"}, 10);
    COhmixGraphView* first = Open(file);
    ASSERT_NE(first, nullptr);
    frame_->Execute(kCmdNewWindow);
    COhmixGraphView* middle = frame_->ActiveView();
    frame_->Execute(kCmdNewWindow);
    COhmixGraphView* last = frame_->ActiveView();
    ASSERT_EQ(first->Document()->Views().size(), 3u);

    middle->Window()->close();
    Settle();
    ASSERT_EQ(first->Document()->Views().size(), 2u);

    WriteColumns("w.txt", {"Time", "V"}, 30);
    frame_->Execute(kCmdReload);
    Settle();
    EXPECT_EQ(first->Screen(0)->Record().Data()->RowCount(), 30);
    EXPECT_EQ(last->Screen(0)->Record().Data()->RowCount(), 30);
}

TEST_F(ViewerTest, FilesOpenOneWindowEachAndBadOnesLeaveTheOthers) {
    const QString a = WriteColumns("a.txt", {"Time", "V"}, 5);
    const QString bad = Write("bad.txt", QStringLiteral("no numbers here\nat all\n"));
    const QString b = WriteColumns("b.txt", {"Time", "I"}, 5, [](int c, int r) { return c * r; });

    // As a file manager drops them on the frame.
    frame_->OpenDroppedFiles(
        {QUrl::fromLocalFile(a), QUrl::fromLocalFile(bad), QUrl::fromLocalFile(b)});
    EXPECT_EQ(frame_->MdiArea()->subWindowList().size(), 2);
    EXPECT_FALSE(shown_.empty());  // the reader said why bad.kfd was refused

    // The same file again activates its window instead of opening a copy.
    app_->OpenFile(a);
    EXPECT_EQ(app_->Documents().size(), 2u);
    EXPECT_EQ(frame_->ActiveView()->Document()->Path(), QFileInfo(a).canonicalFilePath());
    EXPECT_EQ(app_->RecentFiles().front(), QFileInfo(b).canonicalFilePath());
}

TEST_F(ViewerTest, OptionsAndToolBarsOutliveTheProgram) {
    frame_->Execute(kCmdMeasureToolbar);
    ProgramTemplates().Text().SetJustification(2);
    ASSERT_TRUE(frame_->close());
    app_->ExitInstance();
    ProgramTemplates().Text().SetJustification(0);
    Restart();
    EXPECT_FALSE(frame_->MeasureBar()->isVisible());
    EXPECT_EQ(ProgramTemplates().Text().Justification(), 2);

    // The simulator's help path is read (when it wins is the stored options' test).
    const QString help = Write("help.html", "<html></html>");
    QSettings("QUELLON", "OHMIX").setValue("Advanced Options/HelpPath", help);
    Restart();
    EXPECT_EQ(app_->HelpPath(), help);
    ProgramTemplates().Text().SetJustification(0);
}

TEST_F(ViewerTest, ScreenCommandsWorkThroughTheirDialogs) {
    const QString file = WriteColumns("d.txt", {"Time", "V1", "I1", "Step"}, 20,
                                      [](int c, int r) { return c == 3 ? 40 - r : c + r; });
    Write("d.ini", "[Main]\nNumScreen=1\n[Screen0]\nCurveCount=1\nCurve_0_Formula=V1\n");
    COhmixGraphView* view = Open(file);
    ASSERT_NE(view, nullptr);

    // A cancelled Add Screen leaves the view as it was.
    OnModalDialog([](QDialog* d) { d->reject(); });
    frame_->Execute(kCmdAddScreen);
    EXPECT_EQ(view->ScreenCount(), 1);

    // Picking I1, first in the list, makes a second screen (OK adds what is picked).
    OnModalDialog([](QDialog* d) {
        d->findChild<CWideListBox*>("available")->SelectRows({0});
        d->accept();
    });
    frame_->Execute(kCmdAddScreen);
    ASSERT_EQ(view->ScreenCount(), 2);
    EXPECT_EQ(view->ActiveScreen(), 1);
    ASSERT_EQ(view->Screen(1)->Record().CurveCount(), 1);
    EXPECT_EQ(view->Screen(1)->Record().Curve(0).formula, "I1");

    // Another X variable on the active screen: every screen follows it.
    OnModalDialog([](QDialog* d) {
        auto* list = d->findChild<QComboBox*>("xVariable");
        ASSERT_NE(list, nullptr);
        list->setCurrentIndex(3);
        d->accept();
    });
    frame_->Execute(kCmdChooseXVariable);
    for (int i = 0; i < 2; ++i) EXPECT_EQ(view->Screen(i)->Record().XIndex(), 3) << i;
}

TEST_F(ViewerTest, LabelCommandsPickTheirToolAndPlaceOnTheScreen) {
    COhmixGraphView* view =
        Open(WriteColumns("l.txt", {"Time", "V"}, 30, [](int c, int r) { return c ? 2 * r : r; }));
    ASSERT_NE(view, nullptr);
    ASSERT_TRUE(Enabled(kCmdArrow));
    frame_->Actions().Action(kCmdArrow)->trigger();
    EXPECT_EQ(MouseMode(), kModeLine);
    EXPECT_EQ(ProgramTemplates().Line().Arrow(), 1);

    // The Text button runs the dialog, empty whatever the last text was; only its OK starts
    // the text mode.
    ProgramTemplates().Text().SetTextUtf8("last one");
    QAction* text = frame_->Actions().Action(kCmdText);
    OnModalDialog([](QDialog* d) { d->reject(); });
    text->trigger();
    EXPECT_EQ(MouseMode(), kModeLine);
    OnModalDialog([](QDialog* d) {
        EXPECT_EQ(d->findChild<QTextEdit*>()->toPlainText(), "");
        d->findChild<QTextEdit*>()->setPlainText("peak");
        d->accept();
    });
    text->trigger();
    EXPECT_EQ(MouseMode(), kModeText);
    QCoreApplication::processEvents();
    EXPECT_TRUE(Checked(kCmdText));
    EXPECT_EQ(ProgramTemplates().Text().TextUtf8(), "peak");
}

TEST_F(ViewerTest, MergeShowsTheMergedVariablesInEveryScreen) {
    const QString a = WriteColumns("a.txt", {"Time", "V"}, 5);
    const QString b = WriteColumns("b.txt", {"Time", "V"}, 5, [](int c, int r) { return c * r; });
    COhmixGraphView* view = Open(a);
    ASSERT_NE(view, nullptr);

    // A refused merge (why is the document's test) says so and offers nothing; a merge offers
    // the merged variables in the curve dialog.
    bool offered = false;
    OnModalDialog([&offered](QDialog* d) {
        offered = true;
        d->reject();
    });
    EXPECT_FALSE(view->Document()->Merge(WriteColumns("f.txt", {"Freq", "V"}, 5), frame_));
    EXPECT_FALSE(shown_.empty());
    ASSERT_FALSE(offered);
    EXPECT_TRUE(view->Document()->Merge(b, frame_));
    EXPECT_TRUE(offered);
    EXPECT_EQ(view->Screen(0)->Record().Data()->VariableCount(), 3);
}

TEST_F(ViewerTest, RequestsReloadOpenDocumentsByTheirExactPathAndOpenOthers) {
    const QString a = WriteColumns("a.txt");
    WriteColumns("A.txt", {"Time", "V"}, 11, [](int c, int r) { return c * r; });
    const QString link = dir_.filePath("link.txt");
    ASSERT_TRUE(QFile::link(a, link));

    QString refusal;
    // A pattern names a.txt and b.txt: only the first counts.
    EXPECT_TRUE(app_->HandleRequest(dir_.filePath("<a,b>.txt"), &refusal));
    ASSERT_EQ(app_->Documents().size(), 1u);
    COhmixGraphView* view = frame_->ActiveView();
    ASSERT_NE(view, nullptr);

    // The same file by another name of it: reloaded, not opened again.
    WriteColumns("a.txt", {"Time", "V"}, 21);
    EXPECT_TRUE(app_->HandleRequest(link, &refusal)) << refusal.toStdString();
    EXPECT_EQ(view->Screen(0)->Record().Data()->RowCount(), 21);

    // Refused: nothing there.
    EXPECT_FALSE(app_->HandleRequest(dir_.filePath("missing.txt"), &refusal));
    EXPECT_TRUE(refusal.contains("missing.txt"));
    EXPECT_EQ(app_->Documents().size(), 1u);

    // With the runs flag every name of the pattern is a run of one view (A.txt is another file
    // than a.txt); asked again, it reloads.
    const QString flag = QString::fromLatin1(kRunsRequestFlag.data(), kRunsRequestFlag.size());
    const QString runs = flag + dir_.filePath("<a,A,link>.txt");
    EXPECT_TRUE(app_->HandleRequest(runs, &refusal)) << refusal.toStdString();
    ASSERT_EQ(app_->Documents().size(), 2u);
    EXPECT_EQ(frame_->ActiveView()->Screen(0)->Record().Data()->RunCount(), 3);
    EXPECT_TRUE(app_->HandleRequest(runs, &refusal)) << refusal.toStdString();
    EXPECT_EQ(app_->Documents().size(), 2u);
}

TEST_F(ViewerTest, RequestsWaitWhileADialogIsOpen) {
    const QString a = WriteColumns("a.txt");
    const QString b = WriteColumns("b.txt");
    QDialog* dialog = new QDialog(frame_);
    bool taken = true;
    QTimer::singleShot(0, dialog, [&] {
        // A reload here could close the window a dialog belongs to: the requests wait, and
        // those for one file are read once.
        for (int i = 0; i < 50; ++i) taken = app_->HandleRequest(i == 25 ? b : a) && taken;
        EXPECT_TRUE(app_->Documents().empty());
        EXPECT_EQ(app_->QueuedRequests(),
                  (QStringList{CanonicalDocumentPath(b), CanonicalDocumentPath(a)}));
        dialog->reject();
    });
    dialog->exec();
    EXPECT_TRUE(taken);
    EXPECT_TRUE(QTest::qWaitFor([this] { return app_->Documents().size() == 2; }, 2000));
    delete dialog;
}

TEST_F(ViewerTest, SavedSettingsReadBackUnderACommaLocale) {
    const std::string before = std::setlocale(LC_ALL, nullptr);
    ASSERT_NE(std::setlocale(LC_ALL, "de_DE.UTF-8"), nullptr)
        << "de_DE.UTF-8 is not generated: run scripts/setup";
    // A new viewer under the user's comma locale, as QApplication leaves it: only the numbers
    // are pinned, the other categories stay the user's.
    Restart();
    EXPECT_EQ(std::string(std::setlocale(LC_CTYPE, nullptr)), "de_DE.UTF-8");

    const QString file = WriteColumns("de.txt", {"Time", "V"}, 11,
                                      [](int c, int r) { return c ? 0.5 + r * 0.25 : r * 0.1; });
    COhmixGraphView* view = Open(file);
    ASSERT_NE(view, nullptr);
    frame_->Execute(kCmdZoomIn);
    const AxisRange zoomed = view->Screen(0)->Record().XRange();
    frame_->Execute(kCmdSaveSettings);
    view->Window()->close();
    Settle();

    COhmixGraphView* again = Open(file);
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again->SetupSourceUsed(), SetupSource::SettingsFile);
    EXPECT_NEAR(again->Screen(0)->Record().XRange().from, zoomed.from, 1e-5);
    EXPECT_DOUBLE_EQ(again->Document()->Core().Data()->Variable(1)->Values()[3], 1.25);
    std::setlocale(LC_ALL, before.c_str());
}

}  // namespace
}  // namespace kurvex
