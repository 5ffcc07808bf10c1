#pragma once

#include "analysis/FrequencyDisplay.h"
#include "graph/GraphCurve.h"

namespace kurvex {

// True when `screen` shows spectra and its previous run has none for them.
bool PreviousSpectraWanted(CGraphCurve& screen);

// Computes the spectra of the previous run `screen` shows, over the range the
// screen's own spectra were taken from, as the FFT commands compute theirs;
// nothing when there is nothing to compute. False when another analysis was
// running (the previous run then shows no spectra until asked again).
bool ComputePreviousSpectra(CGraphCurve& screen, const FftSession& session = {});

}  // namespace kurvex
