#include <gtest/gtest.h>

#include <map>
#include <set>

#include "analysis/FftWindow.h"
#include "analysis/Measure.h"
#include "formula/FormulaTestSupport.h"
#include "graph/CurveEntry.h"
#include "interaction/CommandTable.h"

namespace kurvex {
namespace {

using test::MakeData;

// Every id a menu or tool bar names, with how often each menu names it.
std::map<int, int> MenuIds(const std::vector<MenuItem>& menu) {
    std::map<int, int> ids;
    for (const MenuItem& item : menu)
        if (item.kind == MenuItemKind::Command) ++ids[item.id];
    return ids;
}

TEST(CommandTable, EveryPlaceNamesAKnownCommandAndEveryCommandHasItsPlace) {
    std::set<int> seen;
    for (const CommandInfo& c : Commands()) EXPECT_TRUE(seen.insert(c.id).second) << c.id;

    const std::map<int, int> graph = MenuIds(GraphMenu());
    for (const auto& [id, count] : graph) {
        ASSERT_NE(FindCommand(id), nullptr) << id;
        EXPECT_EQ(count, 1) << id;
    }
    for (const auto& [id, count] : MenuIds(FrameMenu())) {
        ASSERT_NE(FindCommand(id), nullptr) << id;
        EXPECT_TRUE(graph.count(id)) << id << " is in the empty frame's menu only";
    }
    for (const auto& [id, count] : MenuIds(ScreenPopupMenu())) ASSERT_NE(FindCommand(id), nullptr);

    // A command has a menu label exactly when the graph window's menu lists it,
    // and a button exactly when its tool bar lists it.
    for (const CommandInfo& c : Commands()) {
        EXPECT_EQ(c.label != nullptr, graph.count(c.id) == 1) << c.id;
        for (CommandBar bar : {CommandBar::Standard, CommandBar::Measure}) {
            const auto& buttons = ToolBarButtons(bar);
            const bool listed = std::find(buttons.begin(), buttons.end(), c.id) != buttons.end();
            EXPECT_EQ(listed, c.bar == bar) << c.id;
            if (listed) {
                EXPECT_FALSE(std::string(c.toolTip).empty()) << c.id;
            }
        }
        EXPECT_FALSE(CommandName(c).empty()) << c.id;
    }
    EXPECT_EQ(ToolBarButtons(CommandBar::Standard).size(), 29u);
    EXPECT_EQ(ToolBarButtons(CommandBar::Measure).front(), kCmdCurveList);

    // Submenus close as often as they open.
    for (const auto* menu : {&FrameMenu(), &GraphMenu()}) {
        int depth = 0;
        for (const MenuItem& item : *menu) {
            depth += item.kind == MenuItemKind::Submenu ? 1 : 0;
            depth -= item.kind == MenuItemKind::EndSubmenu ? 1 : 0;
            EXPECT_GE(depth, 0);
        }
        EXPECT_EQ(depth, 0);
    }
}

TEST(CommandTable, NamesDropMnemonicsAndShortcutText) {
    EXPECT_EQ(CommandName(*FindCommand(kCmdOpen)), "Open...");
    EXPECT_EQ(CommandName(*FindCommand(kCmdAverageAbs)), "Avg(|x|)");
    EXPECT_EQ(CommandName(*FindCommand(kCmdZoomIn)), "Zoom In");  // button only: its tip
    EXPECT_EQ(RecentFileLabel(0, "/data/R&D/a.txt"), "&1 /data/R&&D/a.txt");
}

// A view of one screen over Time, V with cursor 1 on a selected curve and one
// saved zoom.
struct OneScreenView {
    CResultDataRef data = MakeData({"Time", "V"}, {{0, 1, 2, 3}, {1, 2, 3, 4}});
    CGraphCurve screen{0};

    OneScreenView() {
        screen.SetData(data);
        screen.AddCurve(CCurveEntry::ForColumn(data, 1));
        screen.UpdateExtents();
        screen.SetXRange(0, 3, 0, RangeFlags{});
        screen.SetYRange(0, 5, 0, RangeFlags{});
        screen.PushUndo(kUndoZoom);
    }
};

TEST(CommandTable, RulesFollowTheProgramState) {
    OneScreenView one;
    CGraphCurve second(0);
    second.SetData(one.data);

    using Change = std::function<void(CommandContext&)>;
    struct Case {
        const char* what;
        int id;
        Change set;
        bool enabled;
        bool checked;
    };
    const auto base = [&](CommandContext& c) {
        c.viewActive = true;
        c.childWindows = true;
        c.screens = {&one.screen};
        c.activeScreen = 0;
        c.documentHasData = true;
    };
    const Change none = [](CommandContext&) {};
    const auto with = [&](Change change) {  // the base state, then `change`
        return [&base, change](CommandContext& c) {
            base(c);
            change(c);
        };
    };
    const Change mode3 = with([](CommandContext& c) { c.mouseMode = 3; });
    const Change twoScreens = with([&](CommandContext& c) { c.screens.push_back(&second); });
    const Change rightPan = with([](CommandContext& c) { c.rightMouseAction = 1; });
    CResultDataRef runs = MakeData({"t", "v"}, {{0, 1}, {0, 1}});
    const CResultDataRef run2 = MakeData({"t", "v"}, {{0, 1}, {1, 2}});
    runs->AddRun(run2.Get(), "b");
    CGraphCurve sweep(0);
    sweep.SetData(runs);
    const Change severalRuns = with([&](CommandContext& c) { c.screens = {&sweep}; });
    const std::vector<Case> cases = {
        {"view commands need a view", kCmdRedraw, none, false, false},
        {"document commands need a view", kCmdReload, none, false, false},
        {"frame commands do not", kCmdOpen, none, true, false},
        {"application commands do not", kCmdHelpIndex, none, true, false},
        {"arranging needs windows", kCmdTile, none, false, false},
        {"a command without its code stays off", kCmdXAxis,
         with([](CommandContext& c) { c.handled = [](int id) { return id != kCmdXAxis; }; }), false,
         false},
        {"mode command checked in its mode", kCmdZoomPoint, mode3, true, true},
        {"mode command unchecked in another", kCmdPan, mode3, true, false},
        {"measure is mode 5", kCmdMeasure, with([](CommandContext& c) { c.mouseMode = 5; }), true,
         true},
        {"undo on one screen with a saved state", kCmdUndo, base, true, false},
        {"no undo with two screens", kCmdUndo, twoScreens, false, false},
        {"delete screen needs two", kCmdDeleteScreen, base, false, false},
        {"delete screen with two and an active one", kCmdDeleteScreen, twoScreens, true, false},
        {"delete screen without an active one", kCmdDeleteScreen, with([&](CommandContext& c) {
             twoScreens(c);
             c.activeScreen = -1;
         }),
         false, false},
        {"axis dialogs need an active screen", kCmdYAxis,
         with([](CommandContext& c) { c.activeScreen = 1; }), false, false},
        {"add screen needs data", kCmdAddScreen,
         with([](CommandContext& c) { c.documentHasData = false; }), false, false},
        {"FFT on a Time axis", kCmdPerformFft, base, true, false},
        {"no way back while in the time domain", kCmdTimeDomain, base, false, false},
        {"choose X in the time domain", kCmdChooseXVariable, base, true, false},
        {"colour checked while in colour", kCmdColour, base, true, true},
        {"grid checked while shown", kCmdGrid, base, true, true},
        {"place text needs cursor 1 on a selected curve", kCmdPlaceText, base, false, false},
        {"right-mouse pan checked", kCmdRightPan, rightPan, true, true},
        {"right-mouse menu unchecked then", kCmdRightMenu, rightPan, true, false},
        {"cross checked in the cross style", kCmdCross,
         with([](CommandContext& c) { c.measureLineStyle = kMeasureCross; }), true, true},
        {"hidden tool bar unchecked", kCmdMeasureToolbar,
         [](CommandContext& c) { c.measureBarShown = false; }, true, false},
        {"status bar checked while shown", kCmdStatusBar, none, true, true},
        {"auto reload checked while on", kCmdAutoReload,
         [](CommandContext& c) { c.autoReload = true; }, true, true},
        {"previous run needs a view", kCmdShowPreviousRun,
         [](CommandContext& c) { c.previousRunShown = true; }, false, false},
        {"previous run checked while the view shows it", kCmdShowPreviousRun,
         with([](CommandContext& c) { c.previousRunShown = true; }), true, true},
        {"no choice of runs with one", kCmdRunsWindow, base, false, false},
        {"runs to choose among", kCmdRunsWindow, severalRuns, true, false},
    };
    for (const Case& k : cases) {
        CommandContext c;
        k.set(c);
        const CommandState s = EvaluateCommand(*FindCommand(k.id), c);
        EXPECT_EQ(s.enabled, k.enabled) << k.what;
        EXPECT_EQ(s.checked, k.checked) << k.what;
    }
    // A result derived from another (a Nyquist window) has no file to read,
    // merge into or keep settings beside; it prints and exports as any other.
    CommandContext derived;
    with([](CommandContext& c) { c.documentFromFile = false; })(derived);
    for (int id : {kCmdReload, kCmdMerge, kCmdAddRun, kCmdSaveSettings, kCmdSaveAs, kCmdPrint})
        EXPECT_EQ(EvaluateCommand(*FindCommand(id), derived).enabled,
                  id == kCmdSaveAs || id == kCmdPrint)
            << id;
}

TEST(CommandTable, StateChangesMoveTheRulesAlong) {
    OneScreenView one;
    CommandContext c;
    c.viewActive = true;
    c.screens = {&one.screen};
    c.activeScreen = 0;
    const auto state = [&](int id) { return EvaluateCommand(*FindCommand(id), c); };

    one.screen.SetDisplayFlags(kDisplayBlackWhite);
    one.screen.SetGridShown(0);
    EXPECT_FALSE(state(kCmdColour).checked);
    EXPECT_FALSE(state(kCmdGrid).checked);

    one.screen.SetSelectedCurve(0);
    one.screen.Cursor(0).shown = 1;
    EXPECT_TRUE(state(kCmdPlaceText).enabled);

    one.screen.StoreScales(0, 0, 1);  // showing spectra
    EXPECT_FALSE(state(kCmdPerformFft).enabled);
    EXPECT_TRUE(state(kCmdTimeDomain).enabled);
    EXPECT_FALSE(state(kCmdChooseXVariable).enabled);

    // The line commands are checked by the line tool's style in line mode only.
    c.lineStyleFlag = 2;
    c.mouseMode = 7;
    EXPECT_TRUE(state(kCmdDottedLine).checked);
    EXPECT_FALSE(state(kCmdLine).checked);
    EXPECT_FALSE(state(kCmdArrow).checked);
    c.mouseMode = 6;
    EXPECT_FALSE(state(kCmdDottedLine).checked);
}

TEST(CommandTable, PowerCommandsFollowTheViewAndTheWindowInForce) {
    OneScreenView one;
    CommandContext c;
    c.viewActive = true;
    c.screens = {&one.screen};
    const auto state = [&](int id) { return EvaluateCommand(*FindCommand(id), c); };

    // One command per window, in the windows' order, only the one in force checked.
    for (FftWindow w : kFftWindows) {
        c.fftWindow = static_cast<int>(w);
        for (int id = kCmdFftWindowFirst; id <= kCmdFftWindowLast; ++id) {
            EXPECT_EQ(FindCommand(id)->ruleArgument, id - kCmdFftWindowFirst);
            EXPECT_EQ(state(id).checked, id - kCmdFftWindowFirst == static_cast<int>(w)) << id;
            EXPECT_TRUE(state(id).enabled);
        }
    }
    EXPECT_TRUE(state(kCmdCycles).enabled);
    EXPECT_TRUE(state(kCmdCycleAverage).enabled);  // curve 0 stands in for the selection
    EXPECT_FALSE(state(kCmdHarmonics).enabled);    // no spectra yet

    one.screen.StoreScales(0, 0, 1);  // showing spectra
    EXPECT_FALSE(state(kCmdCycleAverage).enabled);
    EXPECT_TRUE(state(kCmdHarmonics).enabled);

    CGraphCurve empty(0);
    c.screens = {&empty};
    EXPECT_FALSE(state(kCmdCycleAverage).enabled);
    c.viewActive = false;
    EXPECT_FALSE(state(kCmdEdges).enabled);
}

TEST(CommandTable, NyquistNeedsASelectedCurveOfAnAmplitudePhasePair) {
    const CResultDataRef data =
        MakeData({"frequency", "amp(V)", "phase(V)", "v(x)"}, {{1, 2}, {0, -1}, {0, -9}, {1, 1}});
    CGraphCurve screen(0);
    screen.SetData(data);
    for (std::int32_t column = 1; column <= 3; ++column)
        screen.AddCurve(CCurveEntry::ForColumn(data, column));
    CommandContext c;
    c.viewActive = true;
    c.screens = {&screen};
    // Selected curve, spectrum display, enabled.
    const struct {
        std::int32_t selected, freq;
        bool enabled;
    } cases[] = {{-1, 0, false}, {0, 0, true}, {1, 0, true}, {2, 0, false}, {0, 1, false}};
    for (const auto& t : cases) {
        screen.SetSelectedCurve(t.selected);
        screen.StoreScales(0, 0, t.freq);
        EXPECT_EQ(EvaluateCommand(*FindCommand(kCmdNyquist), c).enabled, t.enabled) << t.selected;
    }
}

}  // namespace
}  // namespace kurvex
