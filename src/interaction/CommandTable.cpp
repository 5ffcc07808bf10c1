#include "interaction/CommandTable.h"

#include <cstdio>
#include <unordered_map>

#include "analysis/Cycles.h"
#include "analysis/FftWindow.h"
#include "analysis/FrequencyDisplay.h"
#include "analysis/Measure.h"
#include "analysis/Nyquist.h"
#include "graph/AppOptions.h"
#include "graph/GraphLine.h"
#include "graph/Zoom.h"
#include "interaction/MouseMode.h"

namespace kurvex {

namespace {

using O = CommandOwner;
using B = CommandBar;
using R = CommandRule;

// The arrow flag of the line tool: a head at the first point, or none.
constexpr std::int32_t kNoArrowHead = 0;
constexpr std::int32_t kArrowHead = 1;

CommandInfo Entry(int id, const char* label, const char* prompt, const char* toolTip,
                  CommandBar bar, CommandOwner owner, CommandRule rule = CommandRule::Always,
                  int argument = 0, std::vector<const char*> shortcuts = {}) {
    CommandInfo c;
    c.id = id;
    c.label = label;
    c.prompt = prompt;
    c.toolTip = toolTip;
    c.bar = bar;
    c.owner = owner;
    c.rule = rule;
    c.ruleArgument = argument;
    c.shortcuts = std::move(shortcuts);
    return c;
}

CommandInfo ByControl(CommandInfo c) {
    c.byControl = true;
    return c;
}

// Long by nature: one row per command, the whole table in one place.
std::vector<CommandInfo> BuildCommands() {
    return {
        // File
        Entry(kCmdOpen, "&Open...\tCtrl+O", "Open an existing document", "Open", B::Standard,
              O::Frame, R::Always, 0, {"Ctrl+O"}),
        Entry(kCmdMerge, "Merge...", "Load a File and Merge the content with existing curves", "",
              B::None, O::Document, R::FromFile),
        Entry(kCmdOpenAsRuns, "Open as Runs...",
              "Open several result files as runs of one view, drawn side by side", "", B::None,
              O::Frame),
        Entry(kCmdAddRun, "Add Run...", "Add a result file as a further run of this view", "",
              B::None, O::Document, R::FromFile),
        Entry(kCmdRunsWindow, "R&uns", "Choose which runs are drawn and which one is measured",
              "Runs", B::Measure, O::View, R::SeveralRuns),
        Entry(kCmdReload, "Re-Load Data", "Re-load data and update screen", "Re-Load Data",
              B::Standard, O::Document, R::FromFile),
        Entry(kCmdAutoReload, "Auto Reload", "Re-load the data whenever the result file changes",
              "", B::None, O::Application, R::AutoReload),
        Entry(kCmdSaveSettings, "Save Settings...",
              "Save the current display settings to a file with the \".ini\" extension", "",
              B::None, O::View, R::FromFile),
        Entry(kCmdSaveAs, "Save As...\tCtrl+S", "Save Data in Text or Binary Format", "", B::None,
              O::View, R::Always, 0, {"Ctrl+S"}),
        Entry(kCmdPrint, "&Print...\tCtrl+P", "Print the active document", "Print", B::Standard,
              O::View, R::Always, 0, {"Ctrl+P"}),
        Entry(kCmdPrintSetup, "P&rint Setup...", "Change the printer and printing options", "",
              B::None, O::Application),
        Entry(kCmdPrintPageSetup, "Print Page Setup...",
              "Change the printing page margin and title options", "", B::None, O::Document),
        Entry(kCmdPrintPreview, "Print Pre&view", "Display full pages", "", B::None, O::View),
        Entry(kCmdExit, "E&xit", "Quit the application; prompts to save documents", "", B::None,
              O::Application),
        // Edit
        Entry(kCmdUndo, "Undo", "Undo Move and Zoom Operations. (Single Screen View Only)", "Undo",
              B::Standard, O::View, R::Undo, 0, {"Ctrl+Z", "Alt+Backspace"}),
        Entry(kCmdCopyMetafile, "Metafile format", "Copy the screen to clipboard", "", B::None,
              O::View),
        Entry(kCmdCopyBitmap, "Bitmap", "Copy the screen to clipboard", "Copy to Clipboard",
              B::Standard, O::View, R::Always, 0, {"Ctrl+C", "Ctrl+Ins"}),
        Entry(kCmdViewDataPoints, "View Data Points", "Get values of all points in the graph", "",
              B::None, O::View),
        // Axis
        Entry(kCmdXAxis, "X Axis...", "Customize the X-Axis", "X Axis", B::Standard, O::View,
              R::ActiveScreen),
        Entry(kCmdYAxis, "Y Axis...", "Customize the Y-Axis", "Y Axis", B::Standard, O::View,
              R::ActiveScreen),
        Entry(kCmdChooseXVariable, "Choose X-Axis Variable",
              "Choose a Variable to be the X-Axis . (Default Time)", "", B::None, O::View,
              R::ChooseXVariable),
        // Screen
        Entry(kCmdAddDeleteCurves, "Add/Delete Curves...",
              "Add or Delete Curves to selected Screen.", "Add/Delete Curves", B::Standard, O::View,
              R::ActiveScreen),
        Entry(kCmdAddScreen, "Add Screen", "Add one Screen", "Add Screen", B::Standard, O::View,
              R::AddScreen),
        Entry(kCmdDeleteScreen, "Delete Screen", "Delete selected Screen.", "", B::None, O::View,
              R::DeleteScreen),
        // Measure
        Entry(kCmdMeasure, "&Measure", "Show values of X and Y at the selected curve", "Measure",
              B::Standard, O::View, R::MouseMode, kModeMeasure),
        Entry(kCmdMax, "&Max", "Find global maximum value", "Max", B::Measure, O::View),
        Entry(kCmdMin, "M&in", "Find global minimum value", "Min", B::Measure, O::View),
        Entry(kCmdNextMax, "Next M&ax", "Find next maximum value", "Next Max", B::Measure, O::View),
        Entry(kCmdNextMin, "Next Mi&n", "Find next minimum value", "Next Min", B::Measure, O::View),
        Entry(kCmdAverage, "&Avg", "Calculate average value", "Average", B::Measure, O::View),
        Entry(kCmdAverageAbs, "Avg(|&x|)", "Calculate average of absolute value", " Average of |x|",
              B::Measure, O::View),
        Entry(kCmdRms, "&RMS", "Calculate RMS value", "RMS", B::Measure, O::View),
        Entry(kCmdCycles, "&Cycles",
              "Show the figures of every curve per cycle of a reference over the visible range",
              "Cycles", B::Measure, O::View),
        Entry(kCmdEdges, "&Edges",
              "Show the rise and fall times of every curve and dead times over the visible range",
              "Edges", B::Measure, O::View),
        Entry(kCmdCycleAverage, "Cycle A&verage...",
              "Add the average over each cycle of a reference of the selected curve as a curve", "",
              B::None, O::View, R::CycleAverage),
        Entry(kCmdRunTable, "Run &Table",
              "Show measurements of every shown run side by side, one row per run", "Run Table",
              B::Measure, O::View),
        Entry(kCmdMeasureScript, "Measurement &Script...",
              "Measure every shown run with .meas statements, again after every reload", "",
              B::None, O::View),
        Entry(kCmdLoopMargins, "&Loop Margins",
              "Show the gain and phase margins of the selected amplitude over the visible range",
              "Loop Margins", B::Measure, O::View),
        // Analysis
        Entry(kCmdPerformFft, "Perform FFT", "Perform FFT analysis", "FFT", B::Standard, O::View,
              R::PerformFft),
        Entry(kCmdTimeDomain, "Display in &Time Domain", "Return to time domain", "Time",
              B::Standard, O::View, R::TimeDomain),
        Entry(kCmdFftWindowFirst, "&Rectangular", "Transform the samples as they are", "", B::None,
              O::View, R::FftWindow, static_cast<int>(FftWindow::kRectangular)),
        Entry(kCmdFftWindowFirst + 1, "&Hann", "Apply the Hann window before the transform", "",
              B::None, O::View, R::FftWindow, static_cast<int>(FftWindow::kHann)),
        Entry(kCmdFftWindowFirst + 2, "Ha&mming", "Apply the Hamming window before the transform",
              "", B::None, O::View, R::FftWindow, static_cast<int>(FftWindow::kHamming)),
        Entry(kCmdFftWindowFirst + 3, "&Blackman-Harris",
              "Apply the Blackman-Harris window before the transform", "", B::None, O::View,
              R::FftWindow, static_cast<int>(FftWindow::kBlackmanHarris)),
        Entry(kCmdFftWindowFirst + 4, "&Flat-top",
              "Apply the flat-top window before the transform: true amplitudes between bins", "",
              B::None, O::View, R::FftWindow, static_cast<int>(FftWindow::kFlatTop)),
        Entry(kCmdHarmonics, "&Harmonics...",
              "Show the harmonics and the THD of the selected curve's spectrum", "", B::None,
              O::View, R::TimeDomain),
        Entry(kCmdNyquist, "&Nyquist",
              "Show the selected amplitude and phase as a Nyquist curve in a new window", "",
              B::None, O::View, R::BodePair),
        Entry(kCmdCompareRuns, "&Compare Runs...",
              "Add the difference of the selected curve between a run and the reference run as a "
              "curve",
              "", B::None, O::View, R::CompareRuns),
        // View
        Entry(kCmdZoomBox, "Zoom", "Zoom an area by dragging the left mouse button", "Zoom Box",
              B::Standard, O::View, R::MouseMode, kModeZoomBox),
        Entry(kCmdRedraw, "Re-draw", "Re-draw the screen", "Re-draw", B::Standard, O::View),
        Entry(kCmdEscape, "Escape", "Escape from other modes", "Escape", B::Standard, O::View,
              R::MouseMode, kModeEscape),
        Entry(kCmdShowPreviousRun, "Show Previous Run",
              "Draw the run before the last reload under the curves", "", B::None, O::View,
              R::PreviousRun),
        Entry(kCmdStandardToolbar, "Standard &Toolbar", "Show or hide the Toolbar", "", B::None,
              O::Frame, R::BarShown),
        Entry(kCmdMeasureToolbar, "&Measure Toolbar", "Show or hide the Measure Toolbar", "",
              B::None, O::Frame, R::BarShown),
        Entry(kCmdStatusBar, "&Status Bar", "Show or hide the Status Bar", "", B::None, O::Frame,
              R::BarShown),
        // Options
        Entry(kCmdSettings, "Settings...", "Change general options", "", B::None, O::Application),
        Entry(kCmdColour, "Color", "Switch between Color and Black & White", "", B::None, O::View,
              R::Colour),
        Entry(kCmdGrid, "Grid", "Show or hide Grid", "", B::None, O::View, R::Grid),
        // Label
        Entry(kCmdText, "Text", "Add Text to screen", "Text", B::Standard, O::View, R::MouseMode,
              kModeText),
        Entry(kCmdLine, "&Line", "Draw a solid Line on screen", "", B::None, O::View, R::LineMode),
        Entry(kCmdDottedLine, "&Dotted Line", "Draw a dotted Line on screen", "", B::None, O::View,
              R::LineMode),
        Entry(kCmdArrow, "&Arrow", "Draw a Line with arrow on screen", "", B::None, O::View,
              R::LineMode),
        // Window
        Entry(kCmdNewWindow, "&New Window", "Open another window for the active document", "",
              B::None, O::View),
        Entry(kCmdCascade, "&Cascade", "Arrange windows so they overlap", "", B::None, O::Frame,
              R::ChildWindows),
        Entry(kCmdTile, "&Tile", "Arrange windows as non-overlapping tiles", "", B::None, O::Frame,
              R::ChildWindows),
        Entry(kCmdArrangeIcons, "&Arrange Icons", "Arrange icons at the bottom of the window", "",
              B::None, O::Frame, R::ChildWindows),
        // Help
        Entry(kCmdHelpIndex, "&Index...", "", "", B::None, O::Application, R::Always, 0, {"F1"}),
        Entry(kCmdAbout, "&About...", "Display program information, version number and copyright",
              "", B::None, O::Application),
        // Tool bars only
        Entry(kCmdZoomIn, nullptr, "Zoom in", "Zoom In", B::Standard, O::View),
        Entry(kCmdZoomOut, nullptr, "Zoom out", "Zoom Out", B::Standard, O::View),
        Entry(kCmdZoomPoint, nullptr, "Zoom in or out by dragging the mouse", "Zoom", B::Standard,
              O::View, R::MouseMode, kModeZoomPoint),
        Entry(kCmdZoomAxisEnd, nullptr, "Zoom in or out by dragging the mouse", "Zoom", B::Standard,
              O::View, R::MouseMode, kModeZoomAxisEnd),
        Entry(kCmdPan, nullptr, "Scroll the graph by dragging the mouse", "Pan", B::Standard,
              O::View, R::MouseMode, kModePan),
        Entry(kCmdPlaceText, nullptr, "Place a text  [ X, Y ]  at the selected curve",
              "Place Text  [X , Y]", B::Standard, O::View, R::PlaceText),
        ByControl(
            Entry(kCmdCurveList, nullptr, "Select Curve", "Select Curve", B::Measure, O::Frame)),
        Entry(kCmdCross, nullptr, "Show both vertical and horizontal measure lines", "Cross",
              B::Measure, O::View, R::MeasureLineStyle, kMeasureCross),
        Entry(kCmdVerticalBar, nullptr, "Show only vertical measure line", "Vertical Bar",
              B::Measure, O::View, R::MeasureLineStyle, kMeasureVerticalBar),
        Entry(kCmdNextPoint, nullptr, "go to next Point", "Next Point", B::Measure, O::View),
        Entry(kCmdPreviousPoint, nullptr, "Go to previous point", "Previous Point", B::Measure,
              O::View),
        // No menu and no button
        Entry(kCmdSaveBinary, nullptr, "Save Data and Settings in Binary Format",
              "Save Data and Settings", B::None, O::View),
        Entry(kCmdRightPan, nullptr, "Clicking right mouse button on a graph activates Pan action",
              "Right Mouse Pan", B::None, O::View, R::RightMouseAction, kRightMousePan),
        Entry(kCmdRightZoom, nullptr, "Clicking right mouse button on a graph activate Zoom action",
              "Right Mouse Zoom", B::None, O::View, R::RightMouseAction, kRightMouseZoom),
        Entry(kCmdRightMenu, nullptr, "Clicking right mouse button on a graph activates Menu",
              "Right Mouse Menu", B::None, O::View, R::RightMouseAction, kRightMouseShowMenu),
        Entry(kCmdNextPane, nullptr, "Switch to the next window pane", "Next Pane", B::None,
              O::View, R::Always, 0, {"F6"}),
        Entry(kCmdPreviousPane, nullptr, "Switch back to the previous window pane", "Previous Pane",
              B::None, O::View, R::Always, 0, {"Shift+F6"}),
    };
}

using K = MenuItemKind;

MenuItem Cmd(int id, const char* text = nullptr) {
    return {K::Command, id, text};
}
MenuItem Sub(const char* text) {
    return {K::Submenu, 0, text};
}
MenuItem End() {
    return {K::EndSubmenu, 0, nullptr};
}
MenuItem Sep() {
    return {K::Separator, 0, nullptr};
}

std::vector<MenuItem> ViewMenuItems() {
    return {Cmd(kCmdStandardToolbar), Cmd(kCmdMeasureToolbar), Cmd(kCmdStatusBar)};
}

}  // namespace

const std::vector<CommandInfo>& Commands() {
    static const std::vector<CommandInfo> table = BuildCommands();
    return table;
}

const CommandInfo* FindCommand(int id) {
    static const std::unordered_map<int, const CommandInfo*> index = [] {
        std::unordered_map<int, const CommandInfo*> m;
        for (const CommandInfo& cmd : Commands()) m.emplace(cmd.id, &cmd);
        return m;
    }();
    const auto it = index.find(id);
    return it == index.end() ? nullptr : it->second;
}

std::string CommandName(const CommandInfo& cmd) {
    if (!cmd.label) return cmd.toolTip;
    std::string name;
    for (const char* p = cmd.label; *p && *p != '\t'; ++p) {
        if (*p == '&' && p[1] != '&') continue;
        if (*p == '&') ++p;
        name += *p;
    }
    return name;
}

bool IsCheckable(const CommandInfo& cmd) {
    switch (cmd.rule) {
        case R::MouseMode:
        case R::LineMode:
        case R::RightMouseAction:
        case R::MeasureLineStyle:
        case R::BarShown:
        case R::FftWindow:
        case R::Colour:
        case R::Grid:
        case R::AutoReload:
        case R::PreviousRun:
            return true;
        default:
            return false;
    }
}

const std::vector<MenuItem>& FrameMenu() {
    static const std::vector<MenuItem> menu = [] {
        std::vector<MenuItem> m = {Sub("&File"),
                                   Cmd(kCmdOpen),
                                   Cmd(kCmdOpenAsRuns),
                                   Cmd(kCmdPrintSetup),
                                   Sep(),
                                   {K::RecentFiles},
                                   Sep(),
                                   Cmd(kCmdExit),
                                   End(),
                                   Sub("&View")};
        for (const MenuItem& item : ViewMenuItems()) m.push_back(item);
        m.insert(m.end(), {End(), Sub("&Options"), Cmd(kCmdSettings), End(), Sub("&Help"),
                           Cmd(kCmdHelpIndex), Sep(), Cmd(kCmdAbout), End()});
        return m;
    }();
    return menu;
}

const std::vector<MenuItem>& GraphMenu() {
    static const std::vector<MenuItem> menu = [] {
        std::vector<MenuItem> m = {Sub("&File"),
                                   Cmd(kCmdOpen),
                                   Cmd(kCmdOpenAsRuns),
                                   Cmd(kCmdMerge),
                                   Cmd(kCmdAddRun),
                                   Cmd(kCmdReload),
                                   Cmd(kCmdAutoReload),
                                   Sep(),
                                   Cmd(kCmdSaveSettings),
                                   Cmd(kCmdSaveAs),
                                   Sep(),
                                   Cmd(kCmdPrint),
                                   Cmd(kCmdPrintSetup),
                                   Cmd(kCmdPrintPageSetup),
                                   Cmd(kCmdPrintPreview),
                                   Sep(),
                                   {K::RecentFiles},
                                   Sep(),
                                   Cmd(kCmdExit),
                                   End(),
                                   Sub("Edit"),
                                   Cmd(kCmdUndo),
                                   Sep(),
                                   Sub("Copy to Clipboard"),
                                   Cmd(kCmdCopyMetafile),
                                   Cmd(kCmdCopyBitmap),
                                   End(),
                                   Cmd(kCmdViewDataPoints),
                                   End(),
                                   Sub("Axis"),
                                   Cmd(kCmdXAxis),
                                   Cmd(kCmdYAxis),
                                   Sep(),
                                   Cmd(kCmdChooseXVariable),
                                   End(),
                                   Sub("Screen"),
                                   Cmd(kCmdAddDeleteCurves),
                                   Sep(),
                                   Cmd(kCmdAddScreen),
                                   Cmd(kCmdDeleteScreen),
                                   End(),
                                   Sub("&Measure"),
                                   Cmd(kCmdMeasure),
                                   Sep(),
                                   Cmd(kCmdMax),
                                   Cmd(kCmdMin),
                                   Cmd(kCmdNextMax),
                                   Cmd(kCmdNextMin),
                                   Sep(),
                                   Cmd(kCmdAverage),
                                   Cmd(kCmdAverageAbs),
                                   Cmd(kCmdRms),
                                   Sep(),
                                   Cmd(kCmdCycles),
                                   Cmd(kCmdEdges),
                                   Cmd(kCmdCycleAverage),
                                   Cmd(kCmdRunTable),
                                   Cmd(kCmdMeasureScript),
                                   Cmd(kCmdLoopMargins),
                                   End(),
                                   Sub("Analysis"),
                                   Cmd(kCmdPerformFft),
                                   Cmd(kCmdTimeDomain),
                                   Sep(),
                                   Sub("FFT &Window"),
                                   Cmd(kCmdFftWindowFirst),
                                   Cmd(kCmdFftWindowFirst + 1),
                                   Cmd(kCmdFftWindowFirst + 2),
                                   Cmd(kCmdFftWindowFirst + 3),
                                   Cmd(kCmdFftWindowFirst + 4),
                                   End(),
                                   Cmd(kCmdHarmonics),
                                   Cmd(kCmdNyquist),
                                   Sep(),
                                   Cmd(kCmdCompareRuns),
                                   End(),
                                   Sub("&View"),
                                   Cmd(kCmdZoomBox),
                                   Cmd(kCmdRedraw),
                                   Cmd(kCmdEscape),
                                   Cmd(kCmdShowPreviousRun),
                                   Cmd(kCmdRunsWindow),
                                   Sep()};
        for (const MenuItem& item : ViewMenuItems()) m.push_back(item);
        m.insert(m.end(), {End(),
                           Sub("&Options"),
                           Cmd(kCmdSettings),
                           Sep(),
                           Cmd(kCmdColour),
                           Cmd(kCmdGrid),
                           End(),
                           Sub("&Label"),
                           Cmd(kCmdText),
                           Cmd(kCmdLine),
                           Cmd(kCmdDottedLine),
                           Cmd(kCmdArrow),
                           End(),
                           Sub("&Window"),
                           Cmd(kCmdNewWindow),
                           Cmd(kCmdCascade),
                           Cmd(kCmdTile),
                           Cmd(kCmdArrangeIcons),
                           Sep(),
                           {K::WindowList},
                           End(),
                           Sub("&Help"),
                           Cmd(kCmdHelpIndex),
                           Sep(),
                           Cmd(kCmdAbout),
                           End()});
        return m;
    }();
    return menu;
}

const std::vector<MenuItem>& ScreenPopupMenu() {
    static const std::vector<MenuItem> menu = {
        Cmd(kCmdUndo),           Sep(),         Cmd(kCmdCopyBitmap, "Copy to Clipboard"),
        Cmd(kCmdViewDataPoints), Sep(),         Cmd(kCmdAddDeleteCurves),
        Cmd(kCmdXAxis),          Cmd(kCmdYAxis)};
    return menu;
}

const std::vector<int>& ToolBarButtons(CommandBar bar) {
    static const std::vector<int> none;
    static const std::vector<int> standard = {kCmdOpen,
                                              kCmdPrint,
                                              kCmdCopyBitmap,
                                              kCmdUndo,
                                              0,
                                              kCmdReload,
                                              kCmdRedraw,
                                              kCmdEscape,
                                              0,
                                              kCmdXAxis,
                                              kCmdYAxis,
                                              0,
                                              kCmdAddDeleteCurves,
                                              kCmdAddScreen,
                                              0,
                                              kCmdZoomBox,
                                              kCmdZoomIn,
                                              kCmdZoomOut,
                                              kCmdZoomPoint,
                                              kCmdZoomAxisEnd,
                                              kCmdPan,
                                              0,
                                              kCmdMeasure,
                                              kCmdPlaceText,
                                              0,
                                              kCmdPerformFft,
                                              kCmdTimeDomain,
                                              0,
                                              kCmdText};
    static const std::vector<int> measure = {kCmdCurveList,
                                             kCmdCross,
                                             kCmdVerticalBar,
                                             0,
                                             kCmdMax,
                                             kCmdNextMax,
                                             kCmdMin,
                                             kCmdNextMin,
                                             0,
                                             kCmdAverage,
                                             kCmdRms,
                                             kCmdAverageAbs,
                                             0,
                                             kCmdNextPoint,
                                             kCmdPreviousPoint,
                                             0,
                                             kCmdCycles,
                                             kCmdEdges,
                                             kCmdRunsWindow,
                                             kCmdRunTable,
                                             kCmdLoopMargins};
    switch (bar) {
        case CommandBar::Standard:
            return standard;
        case CommandBar::Measure:
            return measure;
        default:
            return none;
    }
}

std::string RecentFileLabel(int index, const std::string& path) {
    char prefix[16];
    std::snprintf(prefix, sizeof prefix, "&%d ", index + 1);
    std::string escaped;  // a "&" in the path is a letter, not a mnemonic
    for (char c : path) {
        if (c == '&') escaped += '&';
        escaped += c;
    }
    return prefix + escaped;
}

namespace {

// A choice of runs means something only where there are several.
bool SeveralRuns(const std::vector<CGraphCurve*>& screens) {
    return !screens.empty() && screens.back()->Data().Get() &&
           screens.back()->Data()->RunCount() > 1;
}

}  // namespace

CommandState EvaluateCommand(const CommandInfo& cmd, const CommandContext& c) {
    CommandState s;
    if (c.handled && !c.handled(cmd.id)) return s;
    const bool needsView = cmd.owner == O::View || cmd.owner == O::Document;
    if (needsView && !c.viewActive) return s;
    const auto& screens = c.screens;
    const bool active =
        c.activeScreen >= 0 && c.activeScreen < static_cast<std::int32_t>(screens.size());
    s.enabled = true;
    switch (cmd.rule) {
        case R::Always:
            break;
        case R::MouseMode:
            s.checked = c.mouseMode == cmd.ruleArgument;
            break;
        case R::LineMode: {
            const std::int32_t style = cmd.id == kCmdDottedLine ? kLinePenDotted : kLinePenSolid;
            const std::int32_t arrow = cmd.id == kCmdArrow ? kArrowHead : kNoArrowHead;
            s.checked =
                c.mouseMode == kModeLine && c.lineStyleFlag == style && c.arrowFlag == arrow;
            break;
        }
        case R::RightMouseAction:
            s.checked = c.rightMouseAction == cmd.ruleArgument;
            break;
        case R::MeasureLineStyle:
            s.checked = c.measureLineStyle == cmd.ruleArgument;
            break;
        case R::BarShown:
            s.checked = cmd.id == kCmdStandardToolbar  ? c.standardBarShown
                        : cmd.id == kCmdMeasureToolbar ? c.measureBarShown
                                                       : c.statusBarShown;
            break;
        case R::Undo:
            s.enabled = UndoEnabled(screens);
            break;
        case R::Colour:
            s.enabled = !screens.empty();
            s.checked = s.enabled && !screens.back()->BlackWhite();
            break;
        case R::Grid:
            s.enabled = !screens.empty();
            s.checked = s.enabled && screens.back()->GridShown() != 0;
            break;
        case R::PerformFft:
            s.enabled = PerformFftEnabled(screens);
            break;
        case R::TimeDomain:
            s.enabled = TimeDomainEnabled(screens);
            break;
        case R::PlaceText:
            s.enabled = PlaceCursorTextEnabled(screens);
            break;
        case R::ChooseXVariable:
            s.enabled = active && !screens[static_cast<size_t>(c.activeScreen)]->FreqDisplay();
            break;
        case R::ActiveScreen:
            s.enabled = active;
            break;
        case R::DeleteScreen:
            s.enabled = active && screens.size() >= 2;
            break;
        case R::AddScreen:
            s.enabled = c.documentHasData;
            break;
        case R::FromFile:
            s.enabled = c.documentFromFile;
            break;
        case R::ChildWindows:
            s.enabled = c.childWindows;
            break;
        case R::AutoReload:
            s.checked = c.autoReload;
            break;
        case R::PreviousRun:
            s.checked = c.previousRunShown;
            break;
        case R::CycleAverage: {
            const auto place = DefaultReference(screens);
            s.enabled = place && !screens[static_cast<size_t>(place->screen)]->FreqDisplay();
            break;
        }
        case R::CompareRuns: {
            const auto place = DefaultReference(screens);
            s.enabled = place && SeveralRuns(screens) &&
                        !screens[static_cast<size_t>(place->screen)]->FreqDisplay();
            break;
        }
        case R::FftWindow:
            s.checked = c.fftWindow == cmd.ruleArgument;
            break;
        case R::SeveralRuns:
            s.enabled = SeveralRuns(screens);
            break;
        case R::BodePair:
            s.enabled = NyquistSourceOf(screens).has_value();
            break;
    }
    return s;
}

}  // namespace kurvex
