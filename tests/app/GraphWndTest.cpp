#include <gtest/gtest.h>

#include <QApplication>
#include <QPointer>
#include <QScrollBar>
#include <QTest>
#include <QTextEdit>
#include <QTimer>
#include <QWheelEvent>
#include <vector>

#include "app/GraphWnd.h"
#include "app/ViewerFixture.h"
#include "dialogs/TextDlg.h"
#include "formula/FormulaTestSupport.h"
#include "graph/StoredOptions.h"
#include "graph/ViewLayout.h"

namespace kurvex {
namespace {

// The notices a screen sends, one signal each, recorded in the order sent.
enum class Notice { LeftPressed, DoubleClicked, RightPressed, RangeChanged, CursorMoved };

struct Sent {
    Notice notice;
    int first;  // legend curve or -1, xChanged, cursor, or 65535 for a curve selected alone
    Qt::KeyboardModifiers modifiers;
    QPoint global;
};

// A shown screen of 400 x 300 pixels with two curves over X 0 .. 100, and
// what it told its view.
class ScreenTest : public ::testing::Test {
protected:
    ScreenTest() {
        QObject::connect(&screen, &CGraphWnd::legendPressed,
                         [this](int, int curve) { Add(Notice::LeftPressed, curve); });
        QObject::connect(&screen, &CGraphWnd::leftPressed,
                         [this](int) { Add(Notice::LeftPressed, -1); });
        QObject::connect(&screen, &CGraphWnd::doubleClicked,
                         [this](int) { Add(Notice::DoubleClicked); });
        QObject::connect(&screen, &CGraphWnd::rightPressed,
                         [this](int, Qt::KeyboardModifiers modifiers, QPoint global) {
                             Add(Notice::RightPressed, 0, modifiers, global);
                         });
        QObject::connect(&screen, &CGraphWnd::rangeChanged,
                         [this](int, bool xChanged) { Add(Notice::RangeChanged, xChanged); });
        QObject::connect(&screen, &CGraphWnd::cursorMoved,
                         [this](int, int which) { Add(Notice::CursorMoved, which); });
        QObject::connect(&screen, &CGraphWnd::selectedCurveChanged,
                         [this](int) { Add(Notice::CursorMoved, 65535); });
        screen.resize(400, 300);
        screen.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&screen));
    }
    void SetUp() override { Load(); }
    void Add(Notice notice, int first = 0, Qt::KeyboardModifiers modifiers = {},
             QPoint global = {}) {
        sent.push_back({notice, first, modifiers, global});
    }
    // A fresh model with nothing sent yet.
    void Load() {
        sent.clear();
        const CResultDataRef data =
            test::MakeData({"Time", "a", "b"},
                           {test::Ramp(101, 1.0), test::Ramp(101, 2.0), test::Ramp(101, -1.0)});
        auto record = std::make_unique<CGraphCurve>(0);
        record->SetData(data);
        record->AddCurve(CCurveEntry::ForColumn(data, 1));
        record->AddCurve(CCurveEntry::ForColumn(data, 2));
        ScaleToData(*record);
        screen.SetRecord(std::move(record));
    }
    void TearDown() override {
        SetMouseModeHook({});
        SetMouseMode(kModePan);
    }
    QPoint PlotPoint(double fx, double fy) const {
        const PlotRect& p = screen.Record().Plot();
        return QPoint(p.left + static_cast<int>(fx * p.Width()),
                      p.top + static_cast<int>(fy * p.Height()));
    }
    int Count(Notice notice) const { return static_cast<int>(Firsts(notice).size()); }
    // The first arguments of what was sent as `notice`, in order.
    std::vector<int> Firsts(Notice notice) const {
        std::vector<int> firsts;
        for (const Sent& s : sent)
            if (s.notice == notice) firsts.push_back(s.first);
        return firsts;
    }
    // A left-button drag from `from` to `to`, released there.
    void Drag(QPoint from, QPoint to) {
        QTest::mousePress(&screen, Qt::LeftButton, {}, from);
        QTest::mouseMove(&screen, to);
        QTest::mouseRelease(&screen, Qt::LeftButton, {}, to);
    }
    // A text of the program's template placed by a click at `at` on `w`.
    void PlaceText(const char* text, QPoint at, CGraphWnd& w) {
        ProgramTemplates().Text().SetTextUtf8(text);
        ASSERT_TRUE(SetMouseMode(kModeText));
        QTest::mouseClick(&w, Qt::LeftButton, {}, at);
    }
    void Wheel(int delta) {
        const QPointF at = PlotPoint(0.5, 0.5);
        QWheelEvent e(at, screen.mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(&screen, &e);
    }

    CGraphWnd screen;
    std::vector<Sent> sent;
};

TEST_F(ScreenTest, OnlyAReleasedDragLeavesAnUndoEntry) {
    enum End { Release, Escape, ReleaseElsewhere };
    struct Case {
        std::int32_t mode;
        End end;
    };
    // Each mode's drag is the drag's own test; here the widget's three ways to end one.
    const Case cases[] = {
        {kModePan, Release}, {kModeZoomBox, Escape}, {kModePan, ReleaseElsewhere}};
    for (const Case& c : cases) {
        Load();
        ASSERT_TRUE(SetMouseMode(c.mode));
        const AxisRange x = screen.Record().XRange();
        const QPoint from = PlotPoint(0.6, 0.3), to = PlotPoint(0.3, 0.8);
        QTest::mousePress(&screen, Qt::LeftButton, {}, from);
        QTest::mouseMove(&screen, to);
        ASSERT_TRUE(screen.DragInProgress()) << c.mode;
        if (c.end == Release) {
            QTest::mouseRelease(&screen, Qt::LeftButton, {}, to);
        } else if (c.end == Escape) {
            QTest::keyClick(&screen, Qt::Key_Escape);
            // The release after Esc must not finish the dropped drag.
            QTest::mouseRelease(&screen, Qt::LeftButton, {}, to);
        } else {
            QMouseEvent move(QEvent::MouseMove, to, screen.mapToGlobal(to), Qt::NoButton,
                             Qt::NoButton, Qt::NoModifier);
            QApplication::sendEvent(&screen, &move);
        }
        EXPECT_FALSE(screen.DragInProgress()) << c.mode;
        const std::size_t entries = c.end == Release ? 1 : 0;
        EXPECT_EQ(screen.Record().UndoStack().size(), entries) << c.mode << " end " << c.end;
        EXPECT_EQ(Count(Notice::RangeChanged), static_cast<int>(entries)) << c.mode;
        if (c.end != Release) {
            EXPECT_EQ(screen.Record().XRange(), x) << c.mode;
        }
    }
}

// How deltas add up is the accumulator's test; here fine deltas reach it.
TEST_F(ScreenTest, WheelDeltasOf30AddUpToOneStep) {
    const AxisRange x = screen.Record().XRange();
    for (int i = 0; i < 4; ++i) Wheel(-30);
    ASSERT_EQ(Count(Notice::RangeChanged), 1);
    EXPECT_EQ(sent.back().first, 1);
    // Toward the user zooms in by 0.9 about the pointer.
    EXPECT_NEAR(screen.Record().XRange().to - screen.Record().XRange().from, 0.9 * (x.to - x.from),
                1e-9 * (x.to - x.from));
    EXPECT_EQ(screen.Record().UndoStack().size(), 1u);
}

TEST_F(ScreenTest, ScrollBarsMoveTheRangeTheWayTheyPoint) {
    // Show the middle of the data so that every bar can move both ways.
    RangeFlags keep;
    keep.setIncrement = true;
    keep.autoIncrement = false;
    screen.Record().SetXRange(40, 60, 5, keep);
    screen.Record().SetYRange(60, 120, 20, keep);
    screen.UpdateScrollBars();
    QScrollBar* h = nullptr;
    QScrollBar* v = nullptr;
    for (QScrollBar* b : screen.findChildren<QScrollBar*>())
        (b->orientation() == Qt::Horizontal ? h : v) = b;
    ASSERT_TRUE(h && v);
    struct Case {
        bool horizontal;
        QAbstractSlider::SliderAction action;
        double from;  // of the range the bar moves
        int first;
    };
    const Case cases[] = {
        {true, QAbstractSlider::SliderSingleStepAdd, 45, 1},
        // The top of the vertical bar shows the top of the data.
        {false, QAbstractSlider::SliderSingleStepSub, 80, 0},
        {false, QAbstractSlider::SliderToMinimum, 140, 0},  // 140 .. 200: the data's top
    };
    for (const Case& c : cases) {
        sent.clear();
        (c.horizontal ? h : v)->triggerAction(c.action);
        const AxisRange r = c.horizontal ? screen.Record().XRange() : screen.Record().YRange();
        EXPECT_DOUBLE_EQ(r.from, c.from) << c.horizontal << " " << c.action;
        EXPECT_EQ(Firsts(Notice::RangeChanged), std::vector<int>{c.first});
    }
}

TEST_F(ScreenTest, ButtonsPlaceTheirCursorInMeasureModeElseAskTheView) {
    ASSERT_TRUE(SetMouseMode(kModeMeasure));
    QTest::mouseClick(&screen, Qt::LeftButton, {}, PlotPoint(0.25, 0.5));
    QTest::mouseClick(&screen, Qt::RightButton, {}, PlotPoint(0.75, 0.5));
    const CGraphCurve& m = screen.Record();
    ASSERT_TRUE(m.Cursor(0).shown && m.Cursor(1).shown);
    EXPECT_LT(m.Cursor(0).x, m.Cursor(1).x);
    // Curve 0 is measured, and selected, while none was: Y = 2 X.
    EXPECT_EQ(m.SelectedCurve(), 0);
    EXPECT_NEAR(m.Cursor(1).y, 2 * m.Cursor(1).x, 1e-9);
    EXPECT_EQ(Firsts(Notice::CursorMoved), (std::vector<int>{0, 1}));

    // A click on the second curve's label measures that curve from now on.
    screen.repaint();
    const PlotRect label = screen.Record().LegendRects().at(1);
    sent.clear();
    QTest::mouseClick(&screen, Qt::LeftButton, {}, QPoint(label.left + 1, label.top + 1));
    EXPECT_EQ(m.SelectedCurve(), 1);
    EXPECT_NEAR(m.Cursor(1).y, -m.Cursor(1).x, 1e-9);
    EXPECT_EQ(Firsts(Notice::CursorMoved), (std::vector<int>{0, 1}));

    // Else the view is asked, with the modifiers and the point on a desktop wider than 16 bits,
    // or left of the primary display.
    ASSERT_TRUE(SetMouseMode(kModePan));
    sent.clear();
    const QPoint far(40000, -33000);
    QMouseEvent press(QEvent::MouseButtonPress, PlotPoint(0.5, 0.5), far, Qt::RightButton,
                      Qt::RightButton, Qt::ShiftModifier);
    QApplication::sendEvent(&screen, &press);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].notice, Notice::RightPressed);
    EXPECT_EQ(sent[0].modifiers, Qt::ShiftModifier);
    EXPECT_EQ(sent[0].global, far);

    // A screen told to keep a mode of its own measures while the program pans.
    screen.SetOwnMode(kModeMeasure);
    screen.SetUseSharedMode(false);
    sent.clear();
    QTest::mouseClick(&screen, Qt::RightButton, {}, PlotPoint(0.5, 0.5));
    EXPECT_EQ(Firsts(Notice::CursorMoved), (std::vector<int>{1}));
    EXPECT_EQ(Count(Notice::RightPressed), 0);
}

TEST_F(ScreenTest, ScreensWithNothingToMapIgnoreTheMouse) {
    // No data at all, and a screen too small to leave any plot.
    for (QSize size : {QSize(400, 300), QSize(60, 40)}) {
        sent.clear();
        if (size.width() == 400)
            screen.SetRecord(nullptr);
        else
            Load();
        screen.resize(size);
        screen.repaint();
        for (std::int32_t mode = kModeEscape; mode <= kModeLine; ++mode) {
            ASSERT_TRUE(SetMouseMode(mode));
            for (Qt::MouseButton b : {Qt::LeftButton, Qt::RightButton}) {
                QTest::mousePress(&screen, b, {}, QPoint(size.width() / 2, size.height() / 2));
                QTest::mouseMove(&screen, QPoint(1, 1));
                QTest::mouseRelease(&screen, b, {}, QPoint(1, 1));
            }
            QTest::mouseDClick(&screen, Qt::LeftButton, {}, QPoint(5, 5));
            EXPECT_FALSE(screen.DragInProgress());
        }
        Wheel(-120);
        if (size.width() == 400) screen.ZoomIn();  // nothing to zoom without data
        screen.BeginRightPan(QPoint(size.width() / 2, size.height() / 2));
        EXPECT_FALSE(screen.BeginRightZoom(QPoint(size.width() / 2, size.height() / 2)));
        EXPECT_FALSE(screen.DragInProgress());
        EXPECT_TRUE(screen.Record().UndoStack().empty()) << size.width();
        EXPECT_EQ(Count(Notice::RangeChanged), 0) << size.width();
        EXPECT_EQ(Count(Notice::CursorMoved), 0) << size.width();
    }
    screen.resize(400, 300);
}

TEST_F(ScreenTest, AccessibleNameAndDescriptionFollowIndexAndCurves) {
    screen.SetIndex(2);
    EXPECT_EQ(screen.accessibleName(), QStringLiteral("Screen 3"));
    screen.Record().Curve(0).label = "V(out)";
    screen.Record().Curve(1).label = "I(L1)";
    screen.Redraw();
    EXPECT_EQ(screen.accessibleDescription(), QStringLiteral("V(out)\nI(L1)"));
    screen.Record().RemoveCurve(0);
    screen.Record().Curve(0).label = "I\xB5";  // Windows-1252 from an old file
    screen.Redraw();
    EXPECT_EQ(screen.accessibleDescription(), QStringLiteral("I\u00B5"));
}

TEST_F(ScreenTest, AnnotationsLandOnThePressedPixelsWhateverTheRanges) {
    enum State { Fitted, LogY, ZoomLimit };
    for (State state : {Fitted, LogY, ZoomLimit}) {
        Load();
        CGraphCurve& m = screen.Record();
        if (state == LogY) {
            m.SetYScale(1);  // the zero and the negative curve are gaps
            ScaleToData(m);
        }
        if (state == ZoomLimit) {
            int steps = 0;
            while (steps < 2000 && ZoomByFactor(m, kZoomInFactor)) ++steps;
            ASSERT_LT(steps, 2000);
        }
        screen.UpdateScrollBars();
        screen.repaint();

        ProgramTemplates().Text().SetJustification(kJustifyCenter);
        const QPoint at = PlotPoint(0.3, 0.4);
        PlaceText("T", at, screen);

        ASSERT_TRUE(StartLineTool(ProgramTemplates(), kCommandSolidLine));
        const QPoint from = PlotPoint(0.6, 0.2), to = PlotPoint(0.8, 0.7);
        QTest::mousePress(&screen, Qt::LeftButton, {}, from);
        QTest::mouseMove(&screen, PlotPoint(0.7, 0.5));
        QTest::mouseMove(&screen, to);
        QTest::mouseRelease(&screen, Qt::LeftButton, {}, to);
        EXPECT_EQ(MouseMode(), kModeEscape) << state;
        screen.repaint();

        ASSERT_EQ(m.Annotations().size(), 2u) << state;
        const Rect box = m.Annotations()[0]->BoundingRect();
        ASSERT_FALSE(box.Empty()) << state;
        EXPECT_NEAR((box.left + box.right) / 2.0, at.x(), 1.0) << state;
        EXPECT_NEAR((box.top + box.bottom) / 2.0, at.y(), 1.0) << state;
        const auto& line = static_cast<const CGraphLine&>(*m.Annotations()[1]);
        // The end that followed the pointer is the first (the arrowhead's).
        EXPECT_NEAR(line.PixelFirst().x, to.x(), 1) << state;
        EXPECT_NEAR(line.PixelFirst().y, to.y(), 1) << state;
        EXPECT_NEAR(line.PixelSecond().x, from.x(), 1) << state;
        EXPECT_NEAR(line.PixelSecond().y, from.y(), 1) << state;
        EXPECT_EQ(m.AnnotationSelection(),
                  (std::vector<CGraphAnnotation*>{m.Annotations()[1].get()}));
    }
}

TEST_F(ScreenTest, MoveReshapeAndDeleteWithMouseAndKeys) {
    CGraphCurve& m = screen.Record();
    const QPoint textAt = PlotPoint(0.25, 0.25);
    PlaceText("label", textAt, screen);
    ASSERT_TRUE(StartLineTool(ProgramTemplates(), kCommandDottedLine));
    const QPoint a = PlotPoint(0.5, 0.6), b = PlotPoint(0.8, 0.6);
    Drag(a, b);
    ASSERT_EQ(m.Annotations().size(), 2u);
    CGraphAnnotation* text = m.Annotations()[0].get();
    auto* line = static_cast<CGraphLine*>(m.Annotations()[1].get());
    screen.repaint();
    ASSERT_EQ(MouseMode(), kModeEscape);
    using Selection = std::vector<CGraphAnnotation*>;

    // A band over the text selects it; a drag of it moves it.
    Drag(textAt - QPoint(30, 20), textAt);
    ASSERT_EQ(m.AnnotationSelection(), Selection{text});
    Drag(textAt, textAt + QPoint(40, 30));
    screen.repaint();
    const Rect moved = text->BoundingRect();
    EXPECT_NEAR((moved.left + moved.right) / 2.0, textAt.x() + 40, 1.0);

    // Esc drops a move: the text stays.
    QTest::mousePress(&screen, Qt::LeftButton, {}, textAt + QPoint(40, 30));
    QTest::mouseMove(&screen, textAt);
    QTest::keyClick(&screen, Qt::Key_Escape);
    QTest::mouseRelease(&screen, Qt::LeftButton, {}, textAt);
    screen.repaint();
    EXPECT_EQ(text->BoundingRect(), moved);

    QTest::keyClick(&screen, Qt::Key_Delete);
    ASSERT_EQ(m.Annotations().size(), 1u);
    EXPECT_EQ(m.Annotations()[0].get(), line);
    EXPECT_TRUE(m.AnnotationSelection().empty());
}

TEST_F(ScreenTest, DoubleClickOnATextEditsItInsteadOfAskingTheView) {
    CGraphCurve& m = screen.Record();
    const QPoint at = PlotPoint(0.5, 0.5);
    PlaceText("old", at, screen);
    screen.repaint();
    ASSERT_EQ(m.Annotations().size(), 1u);
    const auto& text = static_cast<const CGraphText&>(*m.Annotations()[0]);
    // What Cancel keeps is the dialog's test.
    QTimer::singleShot(0, [] {
        auto* dialog = qobject_cast<CTextDlg*>(QApplication::activeModalWidget());
        if (!dialog) return;  // the text below stays old
        dialog->TextEdit()->setPlainText("new text");
        dialog->accept();
    });
    QTest::mouseDClick(&screen, Qt::LeftButton, {}, at);
    EXPECT_EQ(text.TextUtf8(), "new text");
    EXPECT_EQ(Count(Notice::DoubleClicked), 0);
}

TEST_F(ScreenTest, AScreenClosedUnderItsTextDialogIsLeftAlone) {
    auto* other = new CGraphWnd;
    other->resize(400, 300);
    other->SetRecord(std::make_unique<CGraphCurve>(screen.Record()));
    other->show();
    const QPoint at = PlotPoint(0.5, 0.5);
    PlaceText("text", at, *other);
    other->repaint();
    const QPointer<CGraphWnd> watch(other);
    bool opened = false;
    QTimer::singleShot(0, [&] {
        opened = qobject_cast<CTextDlg*>(QApplication::activeModalWidget()) != nullptr;
        other->deleteLater();  // as a closing window does, from the dialog's loop
    });
    QMouseEvent dclick(QEvent::MouseButtonDblClick, at, other->mapToGlobal(at), Qt::LeftButton,
                       Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(other, &dclick);
    EXPECT_TRUE(opened);
    EXPECT_TRUE(watch.isNull());
}

using ScreenViewTest = test::ViewerFixture;

TEST_F(ScreenViewTest, EachNoticeOfAScreenReachesTheView) {
    Write("two.ini",
          "[Main]\nNumScreen=2\n[Screen0]\nCurveCount=2\nCurve_0_Formula=V1\n"
          "Curve_0_Label=V1\nCurve_1_Formula=I1\nCurve_1_Label=I1\n[Screen1]\nCurveCount=1\n"
          "Curve_0_Formula=I1\nCurve_0_Label=I1\n");
    COhmixGraphView* view = Open(WriteColumns("two.txt", {"Time", "V1", "I1"}, 20,
                                              [](int c, int r) { return c == 2 ? -r : r + c; }));
    ASSERT_NE(view, nullptr);
    ASSERT_EQ(view->ScreenCount(), 2);
    std::vector<int> selections;
    QObject::connect(view, &COhmixGraphView::curveSelection,
                     [&](int param) { selections.push_back(param); });
    CGraphWnd* top = view->Screen(0);
    CGraphWnd* bottom = view->Screen(1);
    top->repaint();
    bottom->repaint();
    const auto mid = [](const CGraphWnd* s) {
        const PlotRect& p = s->Record().Plot();
        return QPoint((p.left + p.right) / 2, (p.top + p.bottom) / 2);
    };

    QTest::mouseClick(bottom, Qt::LeftButton, {}, mid(bottom));
    EXPECT_EQ(view->ActiveScreen(), 1);
    // A legend label activates too; with no cursor shown only the selection is told.
    const PlotRect label = top->Record().LegendRects().at(1);
    QTest::mouseClick(top, Qt::LeftButton, {}, QPoint(label.left + 1, label.top + 1));
    EXPECT_EQ(view->ActiveScreen(), 0);
    EXPECT_EQ(selections, (std::vector<int>{CurveSelectionParam(0, 1)}));

    Options().rightMouseAction = kRightMousePan;
    QTest::mousePress(bottom, Qt::RightButton, {}, mid(bottom));
    EXPECT_EQ(view->ActiveScreen(), 1);
    EXPECT_TRUE(bottom->DragInProgress());
    QTest::mouseRelease(bottom, Qt::RightButton, {}, mid(bottom));

    // A double click on nothing offers the curves.
    SetMouseMode(kModeEscape);
    bool offered = false;
    test::OnModalDialog([&](QDialog* d) {
        offered = true;
        d->reject();
    });
    QTest::mouseDClick(top, Qt::LeftButton, {}, mid(top));
    EXPECT_TRUE(offered);
    EXPECT_EQ(view->ActiveScreen(), 0);
}

}  // namespace
}  // namespace kurvex
