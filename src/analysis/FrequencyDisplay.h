#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "analysis/FftPlan.h"
#include "analysis/FftWorker.h"
#include "data/platform/UserMessages.h"
#include "graph/GraphCurve.h"
#include "graph/Zoom.h"

namespace kurvex {

// True when "Perform FFT" can act: the last screen shows variable 0 on X, it
// is named "Time" in any case, and the screen is in the time domain.
bool PerformFftEnabled(const std::vector<CGraphCurve*>& screens);
// True when "Display in &Time Domain" can act: the last screen shows spectra.
bool TimeDomainEnabled(const std::vector<CGraphCurve*>& screens);

// How the spectra of one screen are computed. The caller keeps the UI alive
// in `whileRunning` (a progress dialog whose Cancel calls the worker's
// CancelCurve) and is back on its own thread before any result is touched.
struct FftSession {
    FftWorker* worker = nullptr;                   // null: a worker of the switch's own
    FftProgressFn progress;                        // called on the worker thread
    std::function<void(FftWorker&)> whileRunning;  // called on the switching thread
    FftWindow window = FftWindow::kRectangular;    // the window in force
};

// What a toggle did.
enum class DomainSwitch {
    kNothing,      // the last screen does not show variable 0 or had no plan
    kToFrequency,  // the last screen shows spectra now
    kToTime,
    kBusy,  // another analysis was running; nothing changed
};

struct DomainSwitchResult {
    DomainSwitch did = DomainSwitch::kNothing;
    std::int32_t screensWithoutPlan = 0;  // stayed in the time domain
    bool invalidPoints = false;           // the warning was shown
};

// The action of both commands: pushes an undo entry on every screen, then
// moves all screens to the frequency domain over the last screen's visible X
// range, or back to the time domain, titling and fitting both axes.
DomainSwitchResult ToggleFrequencyDisplay(const std::vector<CGraphCurve*>& screens,
                                          UserMessages& messages, const FftSession& session = {});

// The Undo command with the display it restores: when the saved state was
// in the other domain, the screens switch there first (spectra, titles and
// plan follow), then the saved ranges come back. Acts only as Undo does: one
// screen with a saved state.
UndoResult UndoWithDisplay(const std::vector<CGraphCurve*>& screens, UserMessages& messages,
                           const FftSession& session = {});

// True when the samples of X reach from `start` to `end`.
bool CoversRange(const CResultVariable& x, double start, double end);

// After the data was read again: every screen showing spectra computes them
// anew from the new samples over the range analysed before, its ranges kept;
// a screen whose new data does not reach over that range goes back to the
// time domain. True when invalid points were met.
bool RefreshSpectra(const std::vector<CGraphCurve*>& screens, const FftSession& session = {});

// Computes the spectra of every screen that shows them again (after a change
// of window), over the range each analysed; ranges and plans stay. kBusy when
// another analysis runs, kNothing when no screen shows spectra. Invalid points
// met in the new extents are reported through `invalidPoints`.
DomainSwitch RecomputeSpectra(const std::vector<CGraphCurve*>& screens, const FftSession& session,
                              bool* invalidPoints = nullptr);

// The plan a screen keeps while it shows spectra (unset when it has none).
FftPlan StoredPlan(const CGraphCurve& screen);
// Releases the screen's plan variables and restores the unset values.
void ResetStoredPlan(CGraphCurve& screen);

}  // namespace kurvex
