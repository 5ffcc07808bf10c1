#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>
#include <set>
#include <vector>

#include "analysis/FftWindow.h"
#include "analysis/Measure.h"
#include "formula/FormulaTestSupport.h"
#include "graph/AnnotationCanvas.h"
#include "graph/AnnotationTemplates.h"
#include "graph/CurveEntry.h"
#include "interaction/AnnotationInput.h"
#include "interaction/CommandTable.h"
#include "interaction/ControlRules.h"
#include "interaction/FileFilters.h"
#include "interaction/MouseMode.h"
#include "interaction/ProductVersion.h"

namespace kurvex {
namespace {

TEST(ControlRules, TypedCharactersFollowTheMask) {
    using A = TypedChar::Action;
    struct Case {
        std::u16string text;
        int caret;
        char16_t c;
        std::uint16_t mask;
        bool readOnly;
        A action;
        std::u16string result;  // for Replace
        int caretAfter;
    };
    const Case cases[] = {
        {u"1", 1, u'0', kEditNumberMask, false, A::Insert, u"", 0},
        {u"10", 2, u'k', kEditNumberMask, false, A::Replace, u"10k", 3},
        {u"10k", 3, u'm', kEditNumberMask, false, A::Replace, u"10m", 3},  // suffix replaced
        {u"10k", 1, u'M', kEditNumberMask, false, A::Replace, u"10M", 3},
        {u"1e3x", 2, u'g', kEditNumberMask, false, A::Replace, u"1e3g", 4},
        {u"", 0, u'k', kEditNumberMask, false, A::Refuse, u"", 0},   // no digit
        {u"0", 1, u'k', kEditNumberMask, false, A::Refuse, u"", 0},  // a lone leading 0
        {u"-0", 2, u'k', kEditNumberMask, false, A::Replace, u"-0k", 3},
        {u"5", 1, u'Z', kEditNumberMask, false, A::Refuse, u"", 0},  // not a suffix
        {u"5", 1, u'-', kEditNumberMask, false, A::Replace, u"-5", 2},
        {u"-5", 2, u'+', kEditNumberMask, false, A::Replace, u"5", 1},
        {u"-5", 0, u'-', kEditNumberMask, false, A::Replace, u"-5", 0},
        {u"5", 0, u'+', kEditNumberMask, false, A::Replace, u"5", 0},
        {u"1e", 2, u'-', kEditNumberMask, false, A::Insert, u"", 0},  // the exponent's sign
        {u"5", 1, u' ', kEditNumberMask, false, A::Refuse, u"", 0},
        {u"5", 1, u'-', kEditCountMask, false, A::Refuse, u"", 0},
        {u"5", 1, u'-', kEditDigits | kEditMinus, false, A::Replace, u"-5", 2},
        {u"5", 1, u'a', kEditCountMask, false, A::Refuse, u"", 0},
        {u"5", 1, u'.', kEditCountMask, false, A::Refuse, u"", 0},
        {u"5", 1, u'.', kEditNumberMask | kEditNoDot, false, A::Refuse, u"", 0},
        {u"5", 1, u' ', kEditDigits | kEditBlanks, false, A::Insert, u"", 0},
        {u"x", 1, u'_', kEditIdentifier, false, A::Insert, u"", 0},
        {u"x", 1, u'-', kEditIdentifier, false, A::Refuse, u"", 0},
        {u"x", 1, u'$', kEditOther, false, A::Insert, u"", 0},
        {u"x", 1, u'q', kEditOther, false, A::Refuse, u"", 0},
        {u"5", 1, u'6', kEditCountMask, true, A::Refuse, u"", 0},   // read-only
        {u"5", 1, u'\b', kEditCountMask, true, A::Insert, u"", 0},  // control keys pass
    };
    for (const Case& c : cases) {
        const TypedChar t = TypeChar(c.text, c.caret, c.c, c.mask, c.readOnly);
        const std::string what = std::string(c.text.begin(), c.text.end()) + " + " +
                                 static_cast<char>(c.c) + " mask " + std::to_string(c.mask);
        EXPECT_EQ(t.action, c.action) << what;
        if (c.action != A::Replace) continue;
        EXPECT_TRUE(t.text == c.result) << what;
        EXPECT_EQ(t.caret, c.caretAfter) << what;
    }
}

TEST(ControlRules, PastedTextLosesWhatTheMaskRefusesAndKeepsTheCaretBehindIt) {
    struct Case {
        std::u16string text;
        int caret;
        std::uint16_t mask;
        std::u16string result;
        int caretAfter;
    };
    const Case cases[] = {
        {u"a 1.5k\tx", 8, kEditNumberMask, u"1.5k", 4},
        {u"1.5k", 4, kEditNumberMask | kEditNoDot, u"15k", 3},
        {u"1 2 3", 3, kEditDigits | kEditBlanks, u"1 2 3", 3},
        {u"12ab3", 2, kEditCountMask, u"123", 2},
        {u"a_b-c 9", 7, kEditIdentifier, u"a_bc9", 5},
    };
    for (const Case& c : cases) {
        const FilteredText f = FilterText(c.text, c.caret, c.mask);
        EXPECT_TRUE(f.text == c.result) << std::string(c.text.begin(), c.text.end());
        EXPECT_EQ(f.caret, c.caretAfter) << std::string(c.text.begin(), c.text.end());
    }
}

TEST(ControlRules, NumbersAreReadWithTheirSuffixes) {
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
        const char* text;
        double value;
    };
    const Case cases[] = {
        {"0k", 0.0},     {"2.5 u", 2.5e-6}, {"10k", 1e4},    {"10m", 0.01},        {"1M", 1e6},
        {"  3 G", 3e9},  {"2T", 2e12},      {"7n", 7e-9},    {"4p", 4e-12},        {"", 0.0},
        {"-", 0.0},      {"abc", 0.0},      {"5k3", 5000.0}, {"1e3k", 1e6},        {".5", 0.5},
        {"1.e2", 100.0}, {"1e", 1.0},       {"1ek", 1.0},    {"-2.5e-3", -2.5e-3}, {"+4", 4.0},
        {"1e999", inf},  {"-1e999", -inf},  {"1e-999", 0.0}, {"0.000e999", 0.0},   {"12 x", 12.0},
    };
    for (const Case& c : cases) {
        const double v = ReadSuffixedNumber(c.text);
        if (std::isinf(c.value))
            EXPECT_EQ(v, c.value) << c.text;
        else
            EXPECT_NEAR(v, c.value, std::fabs(c.value) * 1e-12) << c.text;
    }

    struct Whole {
        const char* text;
        std::int32_t value;
    };
    const Whole wholes[] = {{"  -12abc", -12},
                            {"abc", 0},
                            {"+7", 7},
                            {"35", 35},
                            {"3.9", 3},
                            {"99999999999", 2147483647},
                            {"-99999999999", -2147483647 - 1}};
    for (const Whole& w : wholes) EXPECT_EQ(ReadWholeNumber(w.text), w.value) << w.text;
}

TEST(ControlRules, SwatchShowsItsColourAsSixHexDigitsRedFirstOrAWord) {
    EXPECT_EQ(ColourText(0x0000FF), "FF0000");
    const std::optional<Rgb> c = ColourFromText("00ff80");
    ASSERT_TRUE(c);
    EXPECT_EQ(*c, 0x80FF00u);  // red 0, green 255, blue 128
    EXPECT_EQ(ColourText(*c), "00FF80");
    EXPECT_EQ(ColourFromText("ABCDEF99"), std::optional<Rgb>(0xEFCDABu));
    EXPECT_EQ(ColourFromText("12345"), std::nullopt);
    EXPECT_EQ(ColourFromText("zz0000"), std::nullopt);
    EXPECT_EQ(ColourFromText("+12345"), std::nullopt);

    EXPECT_EQ(SwatchWord(kSwatchColour, {}), std::nullopt);
    EXPECT_EQ(SwatchWord(kSwatchAutomatic, {}), "Automatic");
    EXPECT_EQ(SwatchWord(kSwatchTransparent, {"None", "Auto"}), "None");
}

TEST(ProductVersion, ShownUpToTheSecondDot) {
    const std::pair<const char*, const char*> cases[] = {
        {"8, 0, 2, 100", "8.0"}, {"0.1.0", "0.1"}, {"12", "12"}, {"", ""}, {"1.2", "1.2"}};
    for (const auto& [version, shown] : cases) EXPECT_EQ(ShortProductVersion(version), shown);
}

// Built from the reader table, the Open dialog's list stays as users know it.
TEST(FileFilters, OpenFiltersKeepTheirGroupsAndOrder) {
    EXPECT_EQ(OpenFileFilters(),
              (std::vector<std::string>{"Kurvex Files (*.kfd *.txt *.fra)",
                                        "Comma separated files (*.csv)", "SPICE raw files (*.raw)",
                                        "MATLAB files (*.mat)", "COMTRADE records (*.cfg *.cff)",
                                        "All files (*)"}));
}

TEST(FileFilters, FilterListsBecomeNameFiltersAndGiveTheirExtension) {
    EXPECT_EQ(NameFilters("Kurvex Files|*.kfd;*.txt;*.fra|All files|*.*||"),
              (std::vector<std::string>{"Kurvex Files (*.kfd *.txt *.fra)", "All files (*.*)"}));
    EXPECT_EQ(NameFilters(""), std::vector<std::string>{});

    struct Case {
        const char* path;
        const char* filter;
        const char* expected;
    };
    const Case cases[] = {
        {"/r/run", "Text files (*.txt)", "/r/run.txt"},
        {"/r/run.dat", "Text files (*.txt)", "/r/run.dat"},  // an extension of its own stays
        {"/r.d/run", "FFT files (*.fft)", "/r.d/run.fft"},   // a dot in a folder does not count
        {"/r/run", "All files (*.*)", "/r/run"},
        {"/r/", "Text files (*.txt)", "/r/"},
    };
    for (const Case& c : cases) EXPECT_EQ(WithFilterExtension(c.path, c.filter), c.expected);
}

// Leaves the shared mode as the program starts it, whatever a test did.
class MouseModeTest : public ::testing::Test {
protected:
    void TearDown() override {
        SetMouseModeHook({});
        SetMouseMode(kModePan);
    }
};

TEST_F(MouseModeTest, HookSeesEachChangeAndMayRefuseIt) {
    struct Case {
        std::int32_t from, request;
        bool refuse;
        bool result;
        std::int32_t after;
        bool hookAsked;
    };
    const Case cases[] = {
        {kModePan, kModeMeasure, false, true, kModeMeasure, true},
        {kModeMeasure, kModeZoomBox, true, false, kModeMeasure, true},
        {kModeZoomBox, kModeZoomBox, true, true, kModeZoomBox, false},  // nothing to change
        {kModePan, 8, false, false, kModePan, false},                   // no such mode
        {kModePan, -1, false, false, kModePan, false},
        {kModeLine, kModeEscape, false, true, kModeEscape, true},
    };
    for (const Case& c : cases) {
        SetMouseModeHook({});
        ASSERT_TRUE(SetMouseMode(c.from));
        std::vector<std::pair<std::int32_t, std::int32_t>> asked;
        SetMouseModeHook([&](std::int32_t o, std::int32_t n) {
            asked.emplace_back(o, n);
            return !c.refuse;
        });
        EXPECT_EQ(SetMouseMode(c.request), c.result) << c.from << " -> " << c.request;
        EXPECT_EQ(MouseMode(), c.after) << c.from << " -> " << c.request;
        if (c.hookAsked) {
            ASSERT_EQ(asked.size(), 1u);
            EXPECT_EQ(asked[0], std::make_pair(c.from, c.request));
        } else {
            EXPECT_TRUE(asked.empty()) << c.from << " -> " << c.request;
        }
    }
}

TEST_F(MouseModeTest, WindowFollowsTheSharedModeUntilToldOtherwise) {
    WindowMouseMode w;
    ASSERT_TRUE(SetMouseMode(kModeMeasure));
    EXPECT_EQ(w.Current(), kModeMeasure);
    w.useShared = false;
    EXPECT_EQ(w.Current(), kModePan);
    // On its own a window changes only its own mode, past a hook that refuses all.
    SetMouseModeHook([](std::int32_t, std::int32_t) { return false; });
    EXPECT_TRUE(w.Set(kModeZoomPoint));
    EXPECT_EQ(w.Current(), kModeZoomPoint);
    EXPECT_EQ(MouseMode(), kModeMeasure);
    w.useShared = true;
    EXPECT_FALSE(w.Set(kModeEscape));  // the shared mode asks the hook
}

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
    const Change severalRuns = with([&](C& c) { c.screens = {&sweep}; });
    const Change emptyScreen = with([&](C& c) { c.screens = {&empty}; });
    const std::vector<Case> cases = {
        {"view commands need a view", kCmdRedraw, none, false, false},
        {"document commands need a view", kCmdReload, none, false, false},
        {"frame commands do not", kCmdOpen, none, true, false},
        {"application commands do not", kCmdHelpIndex, none, true, false},
        {"arranging needs windows", kCmdTile, none, false, false},
        {"a command without its code stays off", kCmdXAxis,
         with([](C& c) { c.handled = [](int id) { return id != kCmdXAxis; }; }), false, false},
        {"mode command checked in its mode", kCmdZoomPoint, mode3, true, true},
        {"mode command unchecked in another", kCmdPan, mode3, true, false},
        {"measure is mode 5", kCmdMeasure, with([](C& c) { c.mouseMode = 5; }), true, true},
        {"undo on one screen with a saved state", kCmdUndo, base, true, false},
        {"no undo with two screens", kCmdUndo, twoScreens, false, false},
        {"delete screen needs two", kCmdDeleteScreen, base, false, false},
        {"delete screen with two and an active one", kCmdDeleteScreen, twoScreens, true, false},
        {"delete screen without an active one", kCmdDeleteScreen,
         with([&](C& c) { c.screens.push_back(&second), c.activeScreen = -1; }), false, false},
        {"axis dialogs need an active screen", kCmdYAxis, with([](C& c) { c.activeScreen = 1; }),
         false, false},
        {"add screen needs data", kCmdAddScreen, with([](C& c) { c.documentHasData = false; }),
         false, false},
        {"FFT on a Time axis", kCmdPerformFft, base, true, false},
        {"no FFT while showing spectra", kCmdPerformFft, spectra, false, false},
        {"no way back while in the time domain", kCmdTimeDomain, base, false, false},
        {"back to time from spectra", kCmdTimeDomain, spectra, true, false},
        {"choose X in the time domain", kCmdChooseXVariable, base, true, false},
        {"no choice of X for spectra", kCmdChooseXVariable, spectra, false, false},
        {"colour checked while in colour", kCmdColour, base, true, true},
        {"colour unchecked in black and white", kCmdColour,
         showing([](S& s) { s.SetDisplayFlags(kDisplayBlackWhite); }), true, false},
        {"grid checked while shown", kCmdGrid, base, true, true},
        {"grid unchecked while hidden", kCmdGrid, showing([](S& s) { s.SetGridShown(0); }), true,
         false},
        {"place text needs cursor 1 on a selected curve", kCmdPlaceText, base, false, false},
        {"place text with cursor 1 on a selected curve", kCmdPlaceText,
         showing([](S& s) { s.SetSelectedCurve(0), s.Cursor(0).shown = 1; }), true, false},
        // The line commands are checked by the line tool's style in line mode only.
        {"dotted line checked in its style", kCmdDottedLine, line(7), true, true},
        {"solid line unchecked then", kCmdLine, line(7), true, false},
        {"arrow unchecked then", kCmdArrow, line(7), true, false},
        {"dotted line unchecked out of line mode", kCmdDottedLine, line(6), true, false},
        {"right-mouse pan checked", kCmdRightPan, rightPan, true, true},
        {"right-mouse menu unchecked then", kCmdRightMenu, rightPan, true, false},
        {"cross checked in the cross style", kCmdCross,
         with([](C& c) { c.measureLineStyle = kMeasureCross; }), true, true},
        {"hidden tool bar unchecked", kCmdMeasureToolbar,
         [](C& c, S&) { c.measureBarShown = false; }, true, false},
        {"status bar checked while shown", kCmdStatusBar, none, true, true},
        {"auto reload checked while on", kCmdAutoReload, [](C& c, S&) { c.autoReload = true; },
         true, true},
        {"previous run needs a view", kCmdShowPreviousRun,
         [](C& c, S&) { c.previousRunShown = true; }, false, false},
        {"previous run checked while the view shows it", kCmdShowPreviousRun,
         with([](C& c) { c.previousRunShown = true; }), true, true},
        {"no choice of runs with one", kCmdRunsWindow, base, false, false},
        {"runs to choose among", kCmdRunsWindow, severalRuns, true, false},
        {"cycles on time curves", kCmdCycles, base, true, false},
        {"cycle average of curve 0 for want of a selection", kCmdCycleAverage, base, true, false},
        {"no cycle average of spectra", kCmdCycleAverage, spectra, false, false},
        {"no cycle average without a curve", kCmdCycleAverage, emptyScreen, false, false},
        {"no harmonics without spectra", kCmdHarmonics, base, false, false},
        {"harmonics of spectra", kCmdHarmonics, spectra, true, false},
        {"edges need a view", kCmdEdges, none, false, false},
    };
    for (const Case& k : cases) {
        OneScreenView one;
        CommandContext c;
        k.set(c, one.screen);
        const CommandState s = EvaluateCommand(*FindCommand(k.id), c);
        EXPECT_EQ(s.enabled, k.enabled) << k.what;
        EXPECT_EQ(s.checked, k.checked) << k.what;
    }
    // A result derived from another (a Nyquist window) has no file to read,
    // merge into or keep settings beside; it prints and exports as any other.
    OneScreenView one;
    CommandContext derived;
    with([](C& c) { c.documentFromFile = false; })(derived, one.screen);
    for (int id : {kCmdReload, kCmdMerge, kCmdAddRun, kCmdSaveSettings, kCmdSaveAs, kCmdPrint})
        EXPECT_EQ(EvaluateCommand(*FindCommand(id), derived).enabled,
                  id == kCmdSaveAs || id == kCmdPrint)
            << id;
    // One command per FFT window, only the one in force checked.
    for (FftWindow w : kFftWindows) {
        CommandContext c;
        base(c, one.screen);
        c.fftWindow = static_cast<int>(w);
        for (int id = kCmdFftWindowFirst; id <= kCmdFftWindowLast; ++id) {
            const CommandState s = EvaluateCommand(*FindCommand(id), c);
            EXPECT_EQ(s.checked, id - kCmdFftWindowFirst == static_cast<int>(w)) << id;
            EXPECT_TRUE(s.enabled);
        }
    }
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

using Selection = std::vector<CGraphAnnotation*>;

using Screen = test::UnitScreen;

TEST(AnnotationInput, APressChoosesEndDragMoveOrRubberBand) {
    Screen s;
    CGraphLine* line = s.Line({100, 100}, {300, 100});
    CGraphLine* other = s.Line({100, 500}, {300, 500});
    CGraphText* text = s.Text({600, 600}, "abcd");
    s.Draw();
    struct Case {
        Selection selected;
        Point press;
        AnnotationDrag drag;
    } cases[] = {
        {{line}, {102, 101}, AnnotationDrag::LineEnd},  // within 4 pixels of the first end
        {{line}, {297, 99}, AnnotationDrag::LineEnd},
        {{line}, {200, 101}, AnnotationDrag::MoveSelection},  // the body
        // Two selected: an end hit moves them all.
        {{line, other}, {102, 101}, AnnotationDrag::MoveSelection},
        {{text}, {600, 600}, AnnotationDrag::MoveSelection},
        // Only selected annotations are hit; anything else starts a band.
        {{text}, {102, 101}, AnnotationDrag::RubberBand},
        {{}, {102, 101}, AnnotationDrag::RubberBand},
        {{line}, {1200, 100}, AnnotationDrag::None},  // outside the plot
    };
    for (const Case& c : cases) {
        s.Selected() = c.selected;
        AnnotationInput input;
        EXPECT_EQ(input.PressSelect(s.model, c.press), c.drag) << c.press.x << "," << c.press.y;
        EXPECT_EQ(input.Active(), c.drag != AnnotationDrag::None);
    }
}

TEST(AnnotationInput, AnEndDragMovesOnlyACopyUntilReleased) {
    Screen s;
    CGraphLine* line = s.Line({100, 100}, {300, 100});
    s.Draw();
    s.Selected() = {line};
    AnnotationInput input;
    ASSERT_EQ(input.PressSelect(s.model, {300, 100}), AnnotationDrag::LineEnd);
    const AnnotationRepaint moved = input.Move(s.model, {400, 250});
    ASSERT_EQ(input.Feedback().size(), 1u);
    const auto& copy = static_cast<const CGraphLine&>(*input.Feedback()[0]);
    EXPECT_TRUE(copy.Dragging());
    EXPECT_EQ(copy.X2(), 400.0);
    EXPECT_EQ(copy.Y2(), 750.0);
    EXPECT_EQ(line->X2(), 300.0);  // the original waits for the release
    EXPECT_FALSE(moved.redraw);
    // The feedback's old and new places both repaint.
    EXPECT_TRUE(RectsMeet(moved.area, {299, 99, 302, 102}));
    EXPECT_TRUE(RectsMeet(moved.area, {399, 249, 402, 252}));

    const AnnotationRepaint done = input.Release(s.model, {410, 250});
    EXPECT_EQ(line->X1(), 100.0);
    EXPECT_EQ(line->Y1(), 900.0);
    EXPECT_EQ(line->X2(), 410.0);
    EXPECT_EQ(line->Y2(), 750.0);
    EXPECT_EQ(line->Flags(), 0u);
    EXPECT_TRUE(done.redraw && done.selectionAfter);
    EXPECT_FALSE(done.backToEscape);
    EXPECT_TRUE(RectsMeet(done.area, {95, 95, 100, 105}));  // the old line's handle
    EXPECT_FALSE(input.Active());
    EXPECT_TRUE(input.Feedback().empty());

    // A cancelled drag, or one released where it began, changes nothing.
    ASSERT_EQ(input.PressSelect(s.model, {100, 100}), AnnotationDrag::LineEnd);
    input.Move(s.model, {500, 500});
    EXPECT_FALSE(input.Cancel().area.Empty());
    EXPECT_EQ(line->X1(), 100.0);
    ASSERT_EQ(input.PressSelect(s.model, {100, 100}), AnnotationDrag::LineEnd);
    EXPECT_FALSE(input.Release(s.model, {100, 100}).redraw);
    EXPECT_EQ(line->X1(), 100.0);
}

TEST(AnnotationInput, MovingShiftsTheWholeSelectionOnRelease) {
    Screen s;
    CGraphLine* line = s.Line({100, 100}, {300, 100});
    CGraphText* text = s.Text({600, 600}, "abcd");
    CGraphText* left = s.Text({800, 800}, "not selected");
    s.Draw();
    s.Selected() = {line, text};
    AnnotationInput input;
    ASSERT_EQ(input.PressSelect(s.model, {200, 100}), AnnotationDrag::MoveSelection);
    input.Move(s.model, {210, 90});
    input.Move(s.model, {230, 80});
    ASSERT_EQ(input.Feedback().size(), 2u);
    EXPECT_DOUBLE_EQ(static_cast<const CGraphText&>(*input.Feedback()[1]).X(), 630.0);
    EXPECT_EQ(text->X(), 600.0);

    const AnnotationRepaint r = input.Release(s.model, {230, 80});
    EXPECT_DOUBLE_EQ(line->X1(), 130.0);
    EXPECT_DOUBLE_EQ(line->Y1(), 920.0);
    EXPECT_DOUBLE_EQ(text->X(), 630.0);
    EXPECT_DOUBLE_EQ(text->Y(), 420.0);
    EXPECT_EQ(left->X(), 800.0);
    EXPECT_TRUE(r.redraw && r.selectionAfter);
    EXPECT_EQ(s.Selected(), (Selection{line, text}));
}

TEST(AnnotationInput, ARubberBandSelectsWhatItMeetsAndASmallOneIsAClick) {
    Screen s;
    CGraphLine* line = s.Line({100, 100}, {300, 100});
    CGraphText* under = s.Text({600, 600}, "abcd");
    CGraphText* top = s.Text({603, 600}, "abcd");
    s.Draw();
    struct Case {
        Point press, release;
        Selection before, after;
    } cases[] = {
        // A click on a text selects the topmost one there.
        {{600, 600}, {602, 603}, {}, {top}},
        {{150, 102}, {150, 102}, {top}, {line}},
        // A click on empty plot area clears the selection.
        {{900, 300}, {903, 297}, {line, top}, {}},
        // Four pixels one way is a band, not a click: it reaches the line.
        {{150, 94}, {150, 98}, {}, {line}},
        {{50, 50}, {700, 700}, {}, {line, under, top}},
        {{250, 90}, {50, 110}, {}, {line}},  // dragged up and left
    };
    for (const Case& c : cases) {
        s.Selected() = c.before;
        AnnotationInput input;
        ASSERT_EQ(input.PressSelect(s.model, c.press), AnnotationDrag::RubberBand);
        input.Move(s.model, c.release);
        const AnnotationRepaint r = input.Release(s.model, c.release);
        EXPECT_EQ(s.Selected(), c.after) << c.press.x << "," << c.press.y;
        EXPECT_EQ(r.redraw, c.before != c.after);
        EXPECT_FALSE(r.selectionAfter);
        if (!c.before.empty()) {
            EXPECT_TRUE(RectsMeet(r.area, AreaOf(c.before, 0)));
        }
    }
}

TEST(AnnotationInput, DeleteAfterAClickOnEmptyAreaDoesNothing) {
    Screen s;
    CGraphLine* line = s.Line({100, 100}, {300, 100});
    CGraphText* stays = s.Text({500, 500}, "abcd");
    s.Draw();
    s.Selected() = {line};
    AnnotationInput input;
    input.PressSelect(s.model, {700, 700});
    input.Release(s.model, {700, 700});
    EXPECT_EQ(DeleteSelection(s.model, kModeEscape), AnnotationRepaint{});
    EXPECT_EQ(s.model.Annotations().size(), 2u);

    // Only mode 0 on a screen of graph kind 0 deletes.
    s.Selected() = {line};
    EXPECT_EQ(DeleteSelection(s.model, kModePan), AnnotationRepaint{});
    CGraphCurve band(kScreenBanded);
    EXPECT_EQ(DeleteSelection(band, kModeEscape), AnnotationRepaint{});
    const AnnotationRepaint r = DeleteSelection(s.model, kModeEscape);
    EXPECT_TRUE(r.redraw);
    EXPECT_EQ(r.area, (Rect{96, 96, 305, 105}));
    ASSERT_EQ(s.model.Annotations().size(), 1u);
    EXPECT_EQ(s.model.Annotations()[0].get(), stays);
    EXPECT_TRUE(s.Selected().empty());
}

TEST(AnnotationInput, PlacingATextAndDrawingALineReturnToModeZero) {
    Screen s;
    CGraphText* old = s.Text({600, 600}, "old");
    s.Draw();
    s.Selected() = {old};
    AnnotationTemplates templates;
    templates.Text().SetTextUtf8("new");
    templates.Text().SetJustification(kJustifyRight);
    const AnnotationRepaint placed = PlaceTextAt(s.model, templates.Text(), {250, 400});
    EXPECT_TRUE(placed.backToEscape && placed.redraw && placed.selectionAfter);
    EXPECT_TRUE(RectsMeet(placed.area, old->BoundingRect()));
    ASSERT_EQ(s.model.Annotations().size(), 2u);
    auto* text = static_cast<CGraphText*>(s.model.Annotations()[1].get());
    EXPECT_EQ(text->X(), 250.0);
    EXPECT_EQ(text->Y(), 600.0);
    EXPECT_EQ(text->Justification(), kJustifyRight);
    EXPECT_EQ(text->Owner(), &s.model);
    EXPECT_EQ(s.Selected(), (Selection{text}));
    templates.Text().SetTextUtf8("changed");  // a copy, not the template itself
    EXPECT_EQ(text->TextUtf8(), "new");
    EXPECT_EQ(PlaceTextAt(s.model, templates.Text(), {-5, 400}), AnnotationRepaint{});

    templates.ApplyLineCommand(kCommandArrowLine);
    AnnotationInput input;
    ASSERT_EQ(input.PressLine(s.model, templates.Line(), {100, 100}), AnnotationDrag::NewLine);
    EXPECT_EQ(s.model.Annotations().size(), 2u);  // not in the list while drawn
    input.Move(s.model, {200, 300});
    const AnnotationRepaint line = input.Release(s.model, {200, 300});
    EXPECT_TRUE(line.backToEscape && line.redraw);
    ASSERT_EQ(s.model.Annotations().size(), 3u);
    auto* drawn = static_cast<CGraphLine*>(s.model.Annotations()[2].get());
    // The arrowhead end followed the pointer; the press holds the tail.
    EXPECT_EQ(drawn->X1(), 200.0);
    EXPECT_EQ(drawn->Y1(), 700.0);
    EXPECT_EQ(drawn->X2(), 100.0);
    EXPECT_EQ(drawn->Y2(), 900.0);
    EXPECT_EQ(drawn->Arrow(), 1);
    EXPECT_EQ(drawn->Flags(), 0u);
    EXPECT_EQ(s.Selected(), (Selection{drawn}));

    // A click without a drag draws no line and the line mode stays.
    ASSERT_EQ(input.PressLine(s.model, templates.Line(), {500, 500}), AnnotationDrag::NewLine);
    const AnnotationRepaint click = input.Release(s.model, {500, 500});
    EXPECT_FALSE(click.backToEscape);
    EXPECT_FALSE(click.redraw);
    EXPECT_EQ(s.model.Annotations().size(), 3u);
    // A screen that cannot map starts nothing.
    s.model.StoreY({0, 0}, {5.0, 5.0, 0.0});
    EXPECT_EQ(input.PressLine(s.model, templates.Line(), {500, 500}), AnnotationDrag::None);
    s.model.SetPlot({});
    EXPECT_EQ(PlaceTextAt(s.model, templates.Text(), {1, 1}), AnnotationRepaint{});
}

TEST(AnnotationInput, DoubleClickFindsOnlyASelectedTextAndEditsIt) {
    Screen s;
    CGraphText* text = s.Text({600, 600}, "abcd");
    CGraphLine* line = s.Line({100, 100}, {300, 100});
    s.Draw();
    EXPECT_EQ(SelectedTextAt(s.model, {600, 600}), nullptr);  // not selected
    s.Selected() = {line, text};
    EXPECT_EQ(SelectedTextAt(s.model, {600, 600}), text);
    EXPECT_EQ(SelectedTextAt(s.model, {200, 100}), nullptr);  // a line is no text

    CGraphText edited(*text);
    edited.SetTextUtf8("longer text");
    edited.SetColour(0x0000FF);
    edited.SetAnchor(1, 1);
    const AnnotationRepaint r = ApplyTextEdit(*text, edited);
    EXPECT_EQ(text->TextUtf8(), "longer text");
    EXPECT_EQ(text->Colour(), 0x0000FFu);
    EXPECT_EQ(text->X(), 600.0);  // the anchor is not the dialog's
    EXPECT_EQ(r.area, Inflate(edited.BoundingRect(), 4));
    EXPECT_TRUE(r.redraw && r.selectionAfter);
}

TEST(AnnotationInput, EachLineCommandSetsTheToolItIsCheckedFor) {
    struct Case {
        int command;
        std::int32_t style, arrow;
    } cases[] = {
        {kCommandDottedLine, kLinePenDotted, 0},
        {kCommandArrowLine, kLinePenSolid, 1},
        {kCommandSolidLine, kLinePenSolid, 0},
    };
    AnnotationTemplates templates;
    for (const Case& c : cases) {
        ASSERT_TRUE(SetMouseMode(kModePan));
        ASSERT_TRUE(StartLineTool(templates, c.command)) << c.command;
        EXPECT_EQ(MouseMode(), kModeLine);
        EXPECT_EQ(LineStyleFlag(), c.style) << c.command;
        EXPECT_EQ(ArrowFlag(), c.arrow) << c.command;
        EXPECT_EQ(templates.Line().Pen().style, c.style);
        EXPECT_EQ(templates.Line().Arrow(), c.arrow);
        for (const Case& other : cases)
            EXPECT_EQ(templates.LineCommandChecked(other.command, MouseMode()),
                      other.command == c.command)
                << c.command << " " << other.command;
        EXPECT_FALSE(templates.LineCommandChecked(c.command, kModeEscape));
    }
    // Any other command, or a refused mode change, leaves the mode.
    ASSERT_TRUE(SetMouseMode(kModePan));
    EXPECT_FALSE(StartLineTool(templates, kCommandAddText));
    SetMouseModeHook([](std::int32_t, std::int32_t) { return false; });
    EXPECT_FALSE(StartLineTool(templates, kCommandDottedLine));
    SetMouseModeHook({});
    EXPECT_EQ(MouseMode(), kModePan);
}

}  // namespace
}  // namespace kurvex
