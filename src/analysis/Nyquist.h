#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "data/model/ResultData.h"
#include "graph/GraphCurve.h"

namespace kurvex {

// The columns of a Nyquist result, in this order.
inline constexpr const char* kNyquistFrequency = "frequency";
inline constexpr const char* kNyquistRe = "Re";
inline constexpr const char* kNyquistIm = "Im";
inline constexpr const char* kNyquistGain = "gain";
inline constexpr const char* kNyquistPhase = "phase";
inline constexpr std::int32_t kNyquistColumns = 5;

// The real and imaginary parts of a response given as gain (dB) and phase
// (degrees): |H| = 10^(dB/20), Re = |H| cos phi, Im = |H| sin phi. A sample
// is valid when both inputs are valid and the result is finite.
struct ComplexColumns {
    std::vector<double> re;
    std::vector<double> im;
    std::vector<std::uint8_t> flags;
};
ComplexColumns ComplexFromBode(std::span<const double> gainDb,
                               std::span<const std::uint8_t> gainFlags,
                               std::span<const double> degrees,
                               std::span<const std::uint8_t> phaseFlags);

// The amplitude and phase columns of a pair, whichever of the two `column`
// is; none when `column` pairs with nothing.
struct BodePair {
    std::int32_t amp = -1;
    std::int32_t phase = -1;
};
std::optional<BodePair> BodePairOf(std::span<const std::string> names, std::int32_t column);

// What a Nyquist window is made from: the selected curve of `screens` when it
// shows a column of an amplitude/phase pair (outside the spectrum display).
struct NyquistSource {
    CResultDataRef data;
    BodePair pair;
    std::string ampName;
};
std::optional<NyquistSource> NyquistSourceOf(const std::vector<CGraphCurve*>& screens);

// The result a Nyquist window shows, from run 1 of `data`: frequency (its
// first column), Re, Im, gain and phase. False with `error` set when the
// columns are missing or there are no rows.
bool MakeNyquistResult(const CResultData& data, const BodePair& pair, CResultDataRef& out,
                       std::string& error);

// Axis ranges that show [xMin, xMax] x [yMin, yMax] whole, centred, with one
// unit as long on X as on Y over a plot of `width` x `height` pixels; the
// data extent gets `margin` (a share of its larger span) on every side. An
// empty or non-finite extent is taken as the point it holds, or the origin,
// with span 1.
struct EqualRanges {
    AxisRange x;
    AxisRange y;
};
EqualRanges EqualScaleRanges(double xMin, double xMax, double yMin, double yMax, int width,
                             int height, double margin = 0.05);

// The same ranges widened (never narrowed) on one axis so that a plot of
// `width` x `height` shows equal scales: used after a zoom, which keeps what
// the user chose visible.
EqualRanges EqualizeRanges(const AxisRange& x, const AxisRange& y, int width, int height);

// What a Nyquist window shows first: the unit circle and every valid point
// of gain at most `gainLimit` (linear), so that -1 keeps a readable size
// where the loop's gain is huge at low frequencies (an integrator); the
// whole curve where no point lies farther out. `near` flags the points
// inside as valid, the others invalid, for the arrows to be placed among.
struct NyquistView {
    double xMin = -1.0, xMax = 1.0, yMin = -1.0, yMax = 1.0;
    std::vector<std::uint8_t> near;
};
NyquistView FirstNyquistView(std::span<const double> re, std::span<const double> im,
                             std::span<const std::uint8_t> flags, double gainLimit);

// Where direction arrows go on a curve: `count` places spaced evenly along
// its length (at (k + 0.5) / count of it), each with the unit direction of
// the segment it lies on, towards the later samples. Segments stop at
// invalid samples; none for a curve without length.
struct ArrowPlace {
    double x = 0.0;
    double y = 0.0;
    double dx = 0.0;
    double dy = 0.0;
};
std::vector<ArrowPlace> ArrowPlaces(std::span<const double> x, std::span<const double> y,
                                    std::span<const std::uint8_t> flags, int count);

}  // namespace kurvex
