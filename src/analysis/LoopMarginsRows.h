#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "analysis/LoopMargins.h"
#include "graph/GraphCurve.h"

namespace kurvex {

// One line of the loop margins: what, and its value as text.
struct LoopMarginsRow {
    std::string label;
    std::string value;
};

// The margins of one amplitude curve over the visible range, as rows.
struct LoopMarginsReport {
    std::string title;  // the curves and the range measured
    std::string error;  // why nothing was measured; empty when the rows hold
    std::vector<LoopMarginsRow> rows;
    std::vector<std::string> gainCrossings;
    std::vector<std::string> phaseCrossings;
    LoopMargins margins;
    std::int32_t screen = -1;       // the screen of the amplitude curve
    std::int32_t ampColumn = -1;    // data columns measured
    std::int32_t phaseColumn = -1;  // -1 when none was found

    bool Ok() const { return error.empty(); }
};

// A frequency in Hz with five significant digits and the engineering prefix
// that keeps it at or above 1: "3.1235 kHz", "10 Hz", "250 mHz".
std::string FrequencyText(double hz);

// The columns of `screen`'s data whose names start with "phase(", the
// candidates for a phase to pair with.
std::vector<std::int32_t> PhaseColumns(const CGraphCurve& screen);

// The margins of curve `curve` of screen `screen` (an amplitude in dB) with
// the phase column `phaseColumn`, or the one PhaseColumnFor pairs with it
// when that is -1; over the screen's visible X range, on the first run.
LoopMarginsReport LoopMarginsOf(const std::vector<CGraphCurve*>& screens, std::int32_t screen,
                                std::int32_t curve, std::int32_t phaseColumn);

// The report as text: the title, a tab between label and value, then each
// crossing on a line of its own after its list's heading.
std::string LoopMarginsText(const LoopMarginsReport& report);

// The marks of each screen (one list per screen): the gain crossover at 0 dB
// where the amplitude is shown, the phase crossover at its -180 + k 360
// level where the phase is shown.
std::vector<std::vector<ScreenMark>> LoopMarginsMarks(const std::vector<CGraphCurve*>& screens,
                                                      const LoopMarginsReport& report);

}  // namespace kurvex
