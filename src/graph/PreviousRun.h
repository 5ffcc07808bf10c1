#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "data/model/RefPtr.h"
#include "data/model/ResultData.h"
#include "graph/canvas/GraphTypes.h"

namespace kurvex {

class CGraphCurve;

// The colour of a previous run's curve: `colour` taken halfway towards the
// screen's background.
Rgb FadedColour(Rgb colour, Rgb background);

// The samples (px, py; the first `pcount`) of a previous run at each of the
// first `count` X values of `x`, interpolated linearly: where X lies beyond
// the previous X, or between samples not both valid, the point is missing.
// An unsorted previous X is taken row by row instead. Null when out of memory.
RefPtr<CResultVariable> ValuesAt(const CResultVariable& x, std::int32_t count,
                                 const CResultVariable& px, const CResultVariable& py,
                                 std::int32_t pcount);

// After a reload fitted the screens to the new data: widens the Y range of
// each screen whose previous run, over the visible X, reaches beyond it, so
// that both runs show (a tenth of margin, no undo entry of its own). True when
// a screen changed.
bool FitYToPreviousRun(const std::vector<CGraphCurve*>& screens);

// The run before the last reload as one screen shows it: a shadow of the
// screen's model over the previous data set, whose curves are the screen's
// curves found again there by name (formulas computed on it), with the
// screen's ranges and scales. The renderer draws it under the screen's
// curves; the measure window and the point table read it. Used on the
// interface thread only; spectra are computed elsewhere and stored here.
class PreviousRun {
public:
    explicit PreviousRun(const CResultDataRef& data);
    ~PreviousRun();
    PreviousRun(const PreviousRun&) = delete;
    PreviousRun& operator=(const PreviousRun&) = delete;

    const CResultDataRef& Data() const { return data_; }

    // Brings the shadow in line with `screen` and returns it; null when the
    // previous run shows nothing there (no X variable of that name, none of
    // the curves, or spectra not computed yet).
    CGraphCurve* Follow(const CGraphCurve& screen);
    // The shadow's curve for the screen's curve `i` as last followed, or -1.
    std::int32_t CurveOf(std::int32_t i) const;

    // What computing the shadow's spectra needs: the previous run's X, its
    // rows, the analysed range and the samples of each curve.
    struct SpectraJob {
        RefPtr<CResultVariable> plan;  // the screen's spectrum X they are made for
        RefPtr<CResultVariable> x;
        std::int32_t rows = 0;
        double start = 0.0;
        double end = 0.0;
        std::vector<RefPtr<CResultVariable>> curves;  // in the shadow's order
        std::vector<std::string> names;
    };
    // The job when `screen` shows spectra and the shadow has none for them.
    std::optional<SpectraJob> SpectraWanted(const CGraphCurve& screen);
    // Takes the spectra computed for `job` (one per curve, empty where none
    // could be made) over the frequencies `frequency`.
    void StoreSpectra(const SpectraJob& job, RefPtr<CResultVariable> frequency,
                      std::vector<RefPtr<CResultVariable>> spectra);
    // Lets the spectra go: the screen's were made anew (another FFT window).
    void ForgetSpectra();

private:
    struct CurveKey {
        std::int32_t kind = 0;
        std::string source;
        bool operator==(const CurveKey&) const = default;
    };
    static std::vector<CurveKey> KeysOf(const CGraphCurve& screen);
    void Rebuild(const CGraphCurve& screen);

    CResultDataRef data_;
    std::unique_ptr<CGraphCurve> shadow_;
    std::vector<CurveKey> keys_;
    std::string xName_;
    std::vector<std::int32_t> map_;      // screen curve -> shadow curve or -1
    RefPtr<CResultVariable> spectraOf_;  // the screen's spectrum X the shadow's spectra fit
};

}  // namespace kurvex
