#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "graph/GraphCurve.h"

namespace kurvex {

// Every command of the viewer, with the numbers its menus, tool bars and
// saved tool-bar layouts know it by.
enum CommandId : int {
    kCmdCurveList = 1146,
    kCmdZoomBox = 32772,
    kCmdPan = 32773,
    kCmdZoomIn = 32774,
    kCmdZoomOut = 32775,
    kCmdZoomPoint = 32778,
    kCmdMeasure = 32781,
    kCmdReload = 32785,
    kCmdCopyBitmap = 32787,
    kCmdPerformFft = 32788,
    kCmdText = 32790,
    kCmdEscape = 32791,
    kCmdPlaceText = 32792,
    kCmdLine = 32793,
    kCmdDottedLine = 32794,
    kCmdArrow = 32795,
    kCmdMeasureToolbar = 32796,
    kCmdMerge = 32797,
    kCmdUndo = 32798,
    kCmdNextPoint = 32799,
    kCmdPreviousPoint = 32800,
    kCmdSaveSettings = 32801,
    kCmdSaveBinary = 32802,
    kCmdZoomAxisEnd = 32803,
    kCmdXAxis = 32804,
    kCmdYAxis = 32805,
    kCmdChooseXVariable = 32806,
    kCmdAddDeleteCurves = 32807,
    kCmdAddScreen = 32808,
    kCmdDeleteScreen = 32809,
    kCmdRedraw = 32810,
    kCmdTimeDomain = 32811,
    kCmdAverage = 32813,
    kCmdAverageAbs = 32814,
    kCmdRms = 32815,
    kCmdMax = 32816,
    kCmdMin = 32817,
    kCmdNextMax = 32818,
    kCmdNextMin = 32819,
    kCmdSaveAs = 32823,
    kCmdPrintPageSetup = 32824,
    kCmdColour = 32825,
    kCmdGrid = 32826,
    kCmdSettings = 32827,
    kCmdVerticalBar = 32828,
    kCmdCross = 32829,
    kCmdViewDataPoints = 32830,
    kCmdRightPan = 32836,
    kCmdRightZoom = 32837,
    kCmdRightMenu = 32838,
    kCmdCopyMetafile = 32839,
    kCmdOpen = 57601,
    kCmdPrintSetup = 57606,
    kCmdPrint = 57607,
    kCmdPrintPreview = 57609,
    kCmdRecentFile1 = 57616,  // the recent files are 57616 .. 57619
    kCmdNewWindow = 57648,
    kCmdArrangeIcons = 57649,
    kCmdCascade = 57650,
    kCmdTile = 57651,
    kCmdAbout = 57664,
    kCmdExit = 57665,
    kCmdHelpIndex = 57666,
    kCmdNextPane = 57680,
    kCmdPreviousPane = 57681,
    kCmdStandardToolbar = 59392,
    kCmdStatusBar = 59393,
    // Following the simulator's runs.
    kCmdAutoReload = 33000,
    kCmdShowPreviousRun = 33001,
    // Runs side by side: several files in one view.
    kCmdOpenAsRuns = 33002,
    kCmdAddRun = 33003,
    kCmdRunsWindow = 33004,
    kCmdRunTable = 33005,
    kCmdMeasureScript = 33006,
    // Power measurements: the tool windows, the cycle average and the FFT windows.
    kCmdCycles = 34000,
    kCmdEdges = 34001,
    kCmdCycleAverage = 34002,
    kCmdHarmonics = 34003,
    kCmdCompareRuns = 34004,
    kCmdFftWindowFirst = 34010,  // one command per FFT window, in the windows' order
    kCmdFftWindowLast = 34014,
    // Loop-gain views.
    kCmdNyquist = 34101,
    // Loop gain: the stability margins of a frequency response.
    kCmdLoopMargins = 34100,
};

// How many recent files the File menu lists.
inline constexpr int kRecentFileCount = 4;

// Who answers a command; a view or document command needs an active graph
// window.
enum class CommandOwner { Application, Frame, Document, View };

// The tool bar that carries a button for the command.
enum class CommandBar { None, Standard, Measure };

// How a command's enable and check state follow the program's state.
enum class CommandRule {
    Always,
    MouseMode,         // checked while the mouse mode is the argument
    LineMode,          // checked while the line mode draws this command's style
    RightMouseAction,  // checked while the right-mouse action is the argument
    MeasureLineStyle,  // checked while the measure-line style is the argument
    BarShown,          // checked while the bar of the command is shown
    Undo,              // one screen with a saved state
    Colour,            // screens exist; checked while they are drawn in colour
    Grid,              // screens exist; checked while the grid is shown
    PerformFft,        // the last screen shows "Time" in the time domain
    TimeDomain,        // the last screen shows spectra
    PlaceText,         // a selected curve with cursor 1 shown
    ChooseXVariable,   // an active screen not showing spectra
    ActiveScreen,      // an active screen
    DeleteScreen,      // an active screen and at least two
    AddScreen,         // the document has data
    ChildWindows,      // any document window is open
    AutoReload,        // checked while documents follow their files
    PreviousRun,       // checked while the view shows the previous run
    CycleAverage,      // a curve to average, shown in the time domain
    FftWindow,         // checked while the FFT window is the argument
    SeveralRuns,       // the view's result holds more than one run
    BodePair,          // the selected curve is one of an amplitude/phase pair
    FromFile,          // the active document was read from a file (not derived, as a Nyquist)
    CompareRuns,       // a curve of a time-domain screen in a view of several runs
};

// One command: where it appears, what it says and when it can run.
struct CommandInfo {
    int id = 0;
    const char* label = nullptr;  // the menu text ("&Open...\tCtrl+O"); null without a menu
    const char* prompt = "";      // the status-bar text
    const char* toolTip = "";     // the tool-bar button's tip
    CommandBar bar = CommandBar::None;
    CommandOwner owner = CommandOwner::View;
    CommandRule rule = CommandRule::Always;
    int ruleArgument = 0;
    std::vector<const char*> shortcuts;  // key sequences in portable text ("Ctrl+O")
    bool byControl = false;  // answered by a control of its own (the curve list), no handler
};

// The whole table, in menu order.
const std::vector<CommandInfo>& Commands();
// The command with `id`, or null.
const CommandInfo* FindCommand(int id);
// The command's name for people and screen readers: the label without "&"
// and without its shortcut text, or the tool tip of a button-only command.
std::string CommandName(const CommandInfo& cmd);
// True when the command shows a check mark or a pressed button.
bool IsCheckable(const CommandInfo& cmd);

// One line of a menu.
enum class MenuItemKind {
    Command,  // `id`, shown with `text` or else the command's label
    Separator,
    Submenu,  // opens a submenu titled `text`; its items follow up to EndSubmenu
    EndSubmenu,
    RecentFiles,  // the recent-file list (nothing while it is empty)
    WindowList,   // the open document windows
};

struct MenuItem {
    MenuItemKind kind = MenuItemKind::Command;
    int id = 0;
    const char* text = nullptr;
};

// The menu of the empty main frame.
const std::vector<MenuItem>& FrameMenu();
// The menu of a graph window.
const std::vector<MenuItem>& GraphMenu();
// The right-click menu of a screen.
const std::vector<MenuItem>& ScreenPopupMenu();
// The buttons of a tool bar, left to right; 0 is a separator.
const std::vector<int>& ToolBarButtons(CommandBar bar);
// The recent-file entry's text: "&1 path" and so on.
std::string RecentFileLabel(int index, const std::string& path);

// What the enable and check rules look at.
struct CommandContext {
    bool viewActive = false;            // the active document window shows a graph view
    bool childWindows = false;          // any document window is open
    std::vector<CGraphCurve*> screens;  // the active view's screens, top first
    std::int32_t activeScreen = -1;     // index into screens, -1 for none
    bool documentHasData = false;       // the active document holds variables
    bool documentFromFile = true;       // ... and was read from files, not derived from another
    std::int32_t mouseMode = 0;
    std::int32_t rightMouseAction = 0;
    std::int32_t measureLineStyle = 0;
    std::int32_t lineStyleFlag = 0;  // what the line mode draws: 0 solid, 2 dotted
    std::int32_t arrowFlag = 0;      //   and 1 with an arrow head
    bool standardBarShown = true;
    bool measureBarShown = true;
    bool statusBarShown = true;
    bool autoReload = false;        // documents follow their files
    bool previousRunShown = false;  // the active view shows the previous run
    std::int32_t fftWindow = 0;     // the window the transforms apply
    // Whether the program can carry the command out; commands whose code is
    // not there stay disabled rather than do nothing. Null: all can.
    std::function<bool(int id)> handled;
};

struct CommandState {
    bool enabled = false;
    bool checked = false;
};

// The state of a command under `context`.
CommandState EvaluateCommand(const CommandInfo& cmd, const CommandContext& context);

}  // namespace kurvex
