#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "data/model/ResultData.h"
#include "data/platform/UserMessages.h"

namespace kurvex {

// The result file of SPICE simulators (ngspice and its kin): one or more
// plots, each a text header ("Title:", "Plotname:", "Flags:", "No. Variables:",
// "No. Points:", "Variables:" with one line per variable) followed by its
// points, either as text after "Values:" or as little-endian numbers after
// "Binary:", point after point with every variable of a point together, or
// variable after variable where "Flags:" says "fastaccess" (LTspice).
// Headers may be 8-bit or UTF-16 text; binary values may be doubles or
// single-precision floats (a double X then floats is also met). A real
// plot's X named "time" reads as its absolute value: LTspice marks points
// by a negative time. Zero bytes after a binary plot's last point (LTspice)
// and a text table after a complete plot (Xyce) are passed over, noted.

// One plot of a raw file as its header describes it.
struct RawPlot {
    std::string name;  // what "Plotname:" says
    bool complex = false;
    std::int32_t variables = 0;  // X included
    std::int64_t points = 0;
    bool stepped = false;   // "Flags:" says "stepped": a sweep stored as one long plot
    std::int32_t run = -1;  // the run (from 0) this plot was read as, -1 when not read
};

// True when `head`, the first bytes of a file, begins with a "Title:" or
// "Plotname:" line (8-bit or UTF-16 text): the file is read as a raw file.
bool LooksLikeRawFile(std::string_view head);

struct RawReadOptions {
    std::int32_t plot = 0;  // the plot to read, from 0
    // Later plots with the name, complexness and variables of plot `plot`
    // are read as further runs of it (an ngspice loop, Monte Carlo).
    bool plotsAsRuns = false;
    // Called now and then with the bytes read and the total; false cancels
    // the read, which then fails without a message.
    std::function<bool(std::int64_t done, std::int64_t total)> progress;
    // Phases of complex plots made continuous along the frequency.
    bool unwrapPhase = true;
    // Receives status lines about what was read beside the plots (zero
    // bytes after the last point, a table after a plot); may be null.
    std::vector<std::string>* notes = nullptr;
};

enum class RawReadResult {
    Read,    // `data` holds the plot
    NotRaw,  // no raw header after all: nothing was said, `why` tells the reason
    Failed,  // refused and reported; `data` is unchanged
};

// Reads one plot of the raw file at `path` into `data`: real plots as their
// variables, complex ones as "Frequency" and, for every other variable V,
// "amp(V)" in dB and "phase(V)" in degrees. `plots` receives every plot the
// file holds (as far as their headers can be read).
RawReadResult ReadRawFile(const std::string& path, CResultDataRef& data,
                          std::vector<RawPlot>& plots, UserMessages& messages,
                          const RawReadOptions& options = {}, std::string* why = nullptr);
// The same over bytes in memory; `name` names them in messages.
RawReadResult ReadRawBytes(std::string_view bytes, const std::string& name, CResultDataRef& data,
                           std::vector<RawPlot>& plots, UserMessages& messages,
                           const RawReadOptions& options = {}, std::string* why = nullptr);

// Where the values of one plot that ReadRawFile would read lie in the file.
struct RawPlotValues {
    bool binary = false;  // text values otherwise
    bool complex = false;
    bool fastAccess = false;  // variable after variable
    std::int64_t dataStart = 0;
    std::int64_t points = 0;
    std::int32_t xBytes = 8;      // 8 (double) or 4 (float)
    std::int32_t valueBytes = 8;  // of every further variable
    bool unsignedTime = false;    // X reads as its absolute value
};

// The plots ReadRawFile would read with `options`, one per run in order, and
// the variables as it names real ones, found from the headers alone: the
// values are neither read nor checked. Fails (with the reader's message) and
// says NotRaw where the reader would.
struct RawFileScan {
    std::vector<std::string> names;
    std::vector<RawPlotValues> runs;
    std::vector<RawPlot> plots;
};
RawReadResult ScanRawFile(const std::string& path, RawFileScan& scan, UserMessages& messages,
                          const RawReadOptions& options = {}, std::string* why = nullptr);

// A status line naming the plots of a file beside the one shown (`shown`
// from 0) and those read as its runs; empty when there are none.
std::string OtherPlotsNote(const std::vector<RawPlot>& plots, std::int32_t shown);

}  // namespace kurvex
