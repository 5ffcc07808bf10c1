// Every tool window follows the graph window in front, and the one that
// closes hands them to the next, on the offscreen platform.
#include <gtest/gtest.h>

#include <QMdiArea>
#include <QMdiSubWindow>
#include <functional>

#include "app/ViewerFixture.h"
#include "app/tools/FigureWindow.h"
#include "app/tools/LoopMarginsWindow.h"
#include "app/tools/RunTableWindow.h"
#include "app/tools/RunsWindow.h"
#include "app/tools/ToolFollower.h"

namespace kurvex {
namespace {

class ToolFollowerTest : public test::ViewerFixture {
protected:
    // What each tool window follows.
    std::vector<COhmixGraphView*> Followed() const {
        std::vector<COhmixGraphView*> out{CRunsWindow::Instance()->Followed(),
                                          CRunTableWindow::Instance()->Followed(),
                                          CLoopMarginsWindow::Instance()->Followed()};
        for (FigureKind k : {FigureKind::kCycles, FigureKind::kEdges, FigureKind::kHarmonics})
            out.push_back(CFigureWindow::Instance(k)->Followed());
        return out;
    }
    void Activate(COhmixGraphView* view) {
        frame_->MdiArea()->setActiveSubWindow(view->Window());
        Settle();
    }
};

TEST_F(ToolFollowerTest, EveryToolWindowFollowsTheWindowInFrontAndTheNextWhenItCloses) {
    COhmixGraphView* a = Open(WriteColumns("a.txt"));
    COhmixGraphView* b = Open(WriteColumns("b.txt"));
    ASSERT_TRUE(a && b && a != b);
    CRunsWindow::Open(frame_, b);
    CRunTableWindow::Open(frame_, b);
    CLoopMarginsWindow::Open(frame_, b);
    for (FigureKind k : {FigureKind::kCycles, FigureKind::kEdges, FigureKind::kHarmonics})
        CFigureWindow::Open(k, frame_, b);
    ASSERT_EQ(ToolWindows().size(), 6u);
    const std::vector<COhmixGraphView*> onA(6, a), onB(6, b);
    EXPECT_EQ(Followed(), onB);

    Activate(a);
    EXPECT_EQ(Followed(), onA);
    Activate(b);
    EXPECT_EQ(Followed(), onB);

    // The measure window lists the cursors that moved last, in front or not.
    ASSERT_NE(CMsuFrame::Open(frame_), nullptr);
    emit a->cursorsMoved(a->Records(), 0, 1, 0);
    EXPECT_EQ(CMsuFrame::Instance()->Followed(), a);
    emit b->cursorsMoved(b->Records(), 0, 1, 0);
    EXPECT_EQ(CMsuFrame::Instance()->Followed(), b);

    // The followed window closes: the one left in front takes its place.
    b->Window()->close();
    Settle();
    ASSERT_EQ(frame_->ActiveView(), a);
    EXPECT_EQ(Followed(), onA);
}

TEST_F(ToolFollowerTest, EachSignalOfTheFollowedViewComesDueOnceAsItsChange) {
    COhmixGraphView* a = Open(WriteColumns("a.txt"));
    COhmixGraphView* b = Open(WriteColumns("b.txt"));
    ASSERT_TRUE(a && b);
    QWidget window;
    ToolFollower follow(&window, nullptr, 0);
    follow.Follow(a);
    std::vector<ViewChanges> due;
    QObject::connect(&follow, &ToolFollower::due,
                     [&due](ViewChanges what) { due.push_back(what); });
    Settle();
    ASSERT_EQ(due, std::vector<ViewChanges>{ViewChange::Followed});

    struct Case {
        const char* name;
        std::function<void(COhmixGraphView*)> emitted;
        ViewChange what;
    };
    const Case cases[] = {
        {"state", [](COhmixGraphView* v) { emit v->stateChanged(); }, ViewChange::State},
        {"cursors", [](COhmixGraphView* v) { emit v->cursorsMoved(v->Records(), 0, 1, 0); },
         ViewChange::Cursors},
        {"curves", [](COhmixGraphView* v) { emit v->curveSelection(0); }, ViewChange::Curves},
        {"values", [](COhmixGraphView* v) { emit v->measureValuesStale(v->Records()); },
         ViewChange::Values},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        due.clear();
        // Twice within one turn: one computation.
        c.emitted(a);
        c.emitted(a);
        c.emitted(b);  // not followed: not heard
        Settle();
        EXPECT_EQ(due, std::vector<ViewChanges>{c.what});
    }
}

}  // namespace
}  // namespace kurvex
