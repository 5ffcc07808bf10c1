#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "analysis/Fft.h"
#include "analysis/FftSizeTable.h"
#include "analysis/FftWindow.h"
#include "data/model/RefPtr.h"
#include "data/model/ResultVariable.h"

namespace kurvex {

// How the visible part of the curves over one X variable is transformed: the
// source samples, the uniform time grid, the transform length and the
// decimation step. Shared read-only by every curve's spectrum.
struct FftPlan {
    std::int32_t i0 = -1;      // first source sample
    std::int32_t i1 = -1;      // last source sample
    std::int32_t n = 0;        // transform points N
    std::int32_t step = 1;     // decimation step s
    std::int32_t samples = 0;  // grid intervals: the grid has samples + 1 points
    double start = 0.0;        // analysed range
    double end = 0.0;
    RefPtr<CResultVariable> frequency;  // M points k / (end - start), "Frequency"
    std::shared_ptr<const Fft> transform;
    FftWindow window = FftWindow::kRectangular;  // applied before each transform

    // Points of the time grid (0 when unset).
    std::int32_t GridPoints() const { return samples > 0 ? samples + 1 : 0; }
    // Grid point j, computed where it is needed: the grid may be far larger
    // than the transform.
    double GridPoint(std::int64_t j) const {
        const double delta = (end - start) / static_cast<double>(samples);
        return start + static_cast<double>(j) * delta;
    }
    // M, the points of every spectrum (0 when unset).
    std::int32_t FrequencyPoints() const { return frequency ? frequency->Capacity() : 0; }
    // Releases both variables and restores the unset values.
    void Reset() { *this = FftPlan{}; }
};

// Makes the plan for X over [start, end]; `rows` is the data set's sample
// count. Returns false, with the plan reset, when no plan can be made. The
// plan's window is kept either way.
bool MakeFftPlan(const CResultVariable& x, std::int32_t rows, double start, double end,
                 FftPlan& plan, const FftSizeTable& table = FftSizeTable::Instance());

// Interpolates (x, y) linearly at each grid point from sample i0 on; false on
// an invalid sample met while advancing or equal bracketing X.
bool ResampleLinear(std::span<const double> x, std::span<const std::uint8_t> xFlags,
                    std::span<const double> y, std::span<const std::uint8_t> yFlags,
                    std::int32_t i0, std::span<const double> grid, std::span<double> out);

// Resamples (x, y) at every point of the plan's grid in one pass, keeping only
// the points the transform takes (0, s, 2s, ..., at most N) in `kept`;
// `constant` tells whether all grid points had the same value. False as
// ResampleLinear is.
bool ResampleForPlan(std::span<const double> x, std::span<const std::uint8_t> xFlags,
                     std::span<const double> y, std::span<const std::uint8_t> yFlags,
                     const FftPlan& plan, std::vector<double>& kept, bool& constant);

// The amplitudes of a resampled curve: |Re C0|, then 2|Ck| up to M - 1, ending
// before the first non-finite one, each divided by the coherent gain of the
// plan's window; a constant gives its magnitude at 0 and zeros without a
// transform. False when cancelled.
bool AmplitudeSpectrum(std::span<const double> resampled, const FftPlan& plan,
                       std::vector<double>& amplitudes, const std::atomic<bool>* cancel = nullptr);

// A curve's spectrum under a plan.
struct SpectrumResult {
    RefPtr<CResultVariable> spectrum;  // kind 4, the source's name; empty on failure
    bool ok = false;
};

// Resamples curve y over X, transforms it and stores the amplitudes in a new
// spectrum variable named `name`. A failure or cancel gives an empty one.
SpectrumResult ComputeSpectrum(const FftPlan& plan, const CResultVariable& x,
                               const CResultVariable& y, std::int32_t rows, const std::string& name,
                               const std::atomic<bool>* cancel = nullptr);

}  // namespace kurvex
