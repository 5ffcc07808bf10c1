#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "data/platform/IOBuffer.h"
#include "graph/DisplaySettingsFile.h"
#include "graph/GraphCurve.h"

namespace kurvex {

// The curve-list parameter that stands for "no curve selected".
inline constexpr std::int32_t kNoCurveSelection = 65535;

// The curve-list parameter of curve `curve` on screen `screen`.
constexpr std::int32_t CurveSelectionParam(std::int32_t screen, std::int32_t curve) {
    return (curve << 8) + screen;
}
// The screen and curve a curve-list parameter names.
constexpr std::int32_t ScreenOfParam(std::int32_t param) {
    return param & 0xFF;
}
constexpr std::int32_t CurveOfParam(std::int32_t param) {
    return param >> 8;
}

// One entry of the Measure tool bar's curve list.
struct CurveListEntry {
    std::string text;   // the label, or "%i -> %s" with the screen number when there are several
    std::int32_t data;  // CurveSelectionParam(screen, curve)

    bool operator==(const CurveListEntry&) const = default;
};

// The curve list of a view, screen by screen, curve by curve.
std::vector<CurveListEntry> CurveListEntries(const std::vector<const CGraphCurve*>& screens);
// The entry whose data is `param`, or -1.
int CurveListIndex(const std::vector<CurveListEntry>& entries, std::int32_t param);
// What a view reports after its curves changed: the first screen with a
// selected curve and that curve, 0 when none has one.
std::int32_t FirstSelectionParam(const std::vector<const CGraphCurve*>& screens);

// Gives every screen the view's layout numbers and every screen but `source`
// the X variable, scales and X range of `source`; true when recomputing an
// extent met invalid points.
bool SyncXAxis(const std::vector<CGraphCurve*>& screens, std::size_t source,
               const CharMetrics& metrics);

// The screen that becomes active when the active one of `count` is deleted,
// counted after the deletion: the one above it, or the new first one.
std::int32_t ActiveAfterDelete(std::int32_t active);

// The colour and grid commands: every screen takes the flipped setting of the
// last screen. False without screens.
bool ToggleBlackWhite(const std::vector<CGraphCurve*>& screens);
bool ToggleGrid(const std::vector<CGraphCurve*>& screens);

// A screen added below `bottom` takes its colours, font, grid and text
// switches, scales, frequency flag, X range and X variable; Y stays default.
void CopySharedDisplay(const CGraphCurve& bottom, CGraphCurve& added);

// Fits the Y axis of a screen to its curves over the visible X range, a
// tenth of the span as margin; true on invalid points.
bool FitYToCurves(CGraphCurve& screen);

// Makes variable `index` the screen's X variable (titled by its name): data
// extents anew, X over the data, Y over the curves with a tenth as margin.
// True when invalid points were met.
bool ApplyXVariable(CGraphCurve& screen, std::int32_t index);

// Where a view's first screens came from.
enum class SetupSource {
    None,               // no data or no variables: the window stays empty
    SavedStream,        // the display settings a binary file carried
    SettingsFile,       // the ".ini" file beside the result
    FrequencyResponse,  // amplitude over phase on a log X axis
    OneCurve,           // the only variable after X
    ChooseCurves,       // one empty screen: the user picks its curves
};

// The screens a view starts with, and what remains to be done.
struct FirstSetup {
    std::vector<std::unique_ptr<CGraphCurve>> screens;
    SetupSource source = SetupSource::None;
    bool invalidPoints = false;
};

// The first set-up of a view: the settings a binary file brought (`saved`),
// else the settings file at `settingsPath`, else the default layout. Every
// screen gets the basis's metrics and an X title; only the last is the bottom one.
FirstSetup BuildFirstScreens(CIOBuffer& saved, const std::string& settingsPath,
                             const ScreenBasis& basis);

}  // namespace kurvex
