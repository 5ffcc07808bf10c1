#include <gtest/gtest.h>

#include <functional>
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
        }
    }

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

TEST(CommandTable, RecentFileAmpersandsAreNotMnemonics) {
    EXPECT_EQ(RecentFileLabel(0, "/data/R&D/a.txt"), "&1 /data/R&&D/a.txt");
}

// A view of one screen showing V over Time.
struct OneScreenView {
    CResultDataRef data = MakeData({"Time", "V"}, {{0, 1, 2, 3}, {1, 2, 3, 4}});
    CGraphCurve screen{0};

    OneScreenView() {
        screen.SetData(data);
        screen.AddCurve(CCurveEntry::ForColumn(data, 1));
        screen.UpdateExtents();
        screen.SetXRange(0, 3, 0, RangeFlags{});
        screen.SetYRange(0, 5, 0, RangeFlags{});
    }
};

TEST(CommandTable, RulesFollowTheProgramState) {
    CResultDataRef runs = MakeData({"t", "v"}, {{0, 1}, {0, 1}});
    const CResultDataRef run2 = MakeData({"t", "v"}, {{0, 1}, {1, 2}});
    runs->AddRun(run2.Get(), "b");
    CGraphCurve second(0), sweep(0), empty(0);
    sweep.SetData(runs);

    // Each case starts from a fresh screen; `set` changes the context and the screen.
    using C = CommandContext;
    using S = CGraphCurve;
    using Change = std::function<void(C&, S&)>;
    struct Case {
        const char* what;
        int id;
        Change set;
        bool enabled;
        bool checked;
    };
    const auto base = [](C& c, S& screen) {
        c.viewActive = true;
        c.childWindows = true;
        c.screens = {&screen};
        c.activeScreen = 0;
        c.documentHasData = true;
    };
    const Change none = [](CommandContext&, S&) {};
    const auto with = [&](std::function<void(C&)> change) {  // the base, then this
        return [base, change](C& c, S& screen) {
            base(c, screen);
            change(c);
        };
    };
    const auto showing = [&](std::function<void(S&)> change) {  // a changed screen
        return [base, change](C& c, S& screen) {
            base(c, screen);
            change(screen);
        };
    };
    const auto line = [&](std::int32_t mode) {
        return with([mode](C& c) { c.lineStyleFlag = 2, c.mouseMode = mode; });
    };
    const Change mode3 = with([](C& c) { c.mouseMode = 3; });
    const Change twoScreens = with([&](C& c) { c.screens.push_back(&second); });
    const Change rightPan = with([](C& c) { c.rightMouseAction = 1; });
    const Change spectra = showing([](S& s) { s.StoreScales(0, 0, 1); });
    const Change derived = with([](C& c) { c.documentFromFile = false; });
    const Change hann = with([](C& c) { c.fftWindow = static_cast<int>(FftWindow::kHann); });
    const Change severalRuns = with([&](C& c) { c.screens = {&sweep}; });
    const Change emptyScreen = with([&](C& c) { c.screens = {&empty}; });
    const std::vector<Case> cases = {
        {"view commands need a view", kCmdRedraw, none, false, false},
        {"document commands need a view", kCmdReload, none, false, false},
        {"frame commands do not", kCmdOpen, none, true, false},
        {"arranging needs windows", kCmdTile, none, false, false},
        {"a command without its code stays off", kCmdXAxis,
         with([](C& c) { c.handled = [](int id) { return id != kCmdXAxis; }; }), false, false},
        {"mode command checked in its mode", kCmdZoomPoint, mode3, true, true},
        {"mode command unchecked in another", kCmdPan, mode3, true, false},
        {"delete screen needs two", kCmdDeleteScreen, base, false, false},
        {"delete screen with two and an active one", kCmdDeleteScreen, twoScreens, true, false},
        {"delete screen without an active one", kCmdDeleteScreen,
         with([&](C& c) { c.screens.push_back(&second), c.activeScreen = -1; }), false, false},
        {"axis dialogs need an active screen", kCmdYAxis, with([](C& c) { c.activeScreen = 1; }),
         false, false},
        {"add screen needs data", kCmdAddScreen, with([](C& c) { c.documentHasData = false; }),
         false, false},
        {"no FFT while showing spectra", kCmdPerformFft, spectra, false, false},
        {"no way back while in the time domain", kCmdTimeDomain, base, false, false},
        {"no choice of X for spectra", kCmdChooseXVariable, spectra, false, false},
        {"colour checked while in colour", kCmdColour, base, true, true},
        {"colour unchecked in black and white", kCmdColour,
         showing([](S& s) { s.SetDisplayFlags(kDisplayBlackWhite); }), true, false},
        {"grid checked while shown", kCmdGrid, base, true, true},
        {"grid unchecked while hidden", kCmdGrid, showing([](S& s) { s.SetGridShown(0); }), true,
         false},
        {"place text needs cursor 1 on a selected curve", kCmdPlaceText, base, false, false},
        // The line commands are checked by the line tool's style in line mode only.
        {"dotted line checked in its style", kCmdDottedLine, line(7), true, true},
        {"solid line unchecked then", kCmdLine, line(7), true, false},
        {"dotted line unchecked out of line mode", kCmdDottedLine, line(6), true, false},
        {"right-mouse pan checked", kCmdRightPan, rightPan, true, true},
        {"cross checked in the cross style", kCmdCross,
         with([](C& c) { c.measureLineStyle = kMeasureCross; }), true, true},
        {"hidden tool bar unchecked", kCmdMeasureToolbar,
         [](C& c, S&) { c.measureBarShown = false; }, true, false},
        {"status bar checked while shown", kCmdStatusBar, none, true, true},
        {"auto reload checked while on", kCmdAutoReload, [](C& c, S&) { c.autoReload = true; },
         true, true},
        {"previous run checked while the view shows it", kCmdShowPreviousRun,
         with([](C& c) { c.previousRunShown = true; }), true, true},
        {"no choice of runs with one", kCmdRunsWindow, base, false, false},
        {"runs to choose among", kCmdRunsWindow, severalRuns, true, false},
        {"cycle average of curve 0 for want of a selection", kCmdCycleAverage, base, true, false},
        {"no cycle average of spectra", kCmdCycleAverage, spectra, false, false},
        {"no cycle average without a curve", kCmdCycleAverage, emptyScreen, false, false},
        // A result derived from another (a Nyquist window) has no file to read again;
        // it prints as any other.
        {"no reload of a derived result", kCmdReload, derived, false, false},
        {"a derived result prints", kCmdPrint, derived, true, false},
        {"the FFT window in force checked", kCmdFftWindowFirst + 1, hann, true, true},
    };
    for (const Case& k : cases) {
        OneScreenView one;
        CommandContext c;
        k.set(c, one.screen);
        const CommandState s = EvaluateCommand(*FindCommand(k.id), c);
        EXPECT_EQ(s.enabled, k.enabled) << k.what;
        EXPECT_EQ(s.checked, k.checked) << k.what;
    }
}

TEST(CommandTable, NyquistNeedsASelectedCurveOfAnAmplitudePhasePair) {
    const CResultDataRef data =
        MakeData({"frequency", "amp(V)", "phase(V)", "v(x)"}, {{1, 2}, {0, -1}, {0, -9}, {1, 1}});
    CGraphCurve screen = test::ScreenOver(data, 1, 2);
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
