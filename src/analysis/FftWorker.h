#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "analysis/FftPlan.h"
#include "data/model/RefPtr.h"
#include "data/model/ResultVariable.h"

namespace kurvex {

// One curve to analyse: its Y samples and the spectrum's name.
struct FftCurveInput {
    RefPtr<CResultVariable> y;
    std::string name;
};

// Everything an analysis reads; the worker owns it until the analysis ends, so
// the variables outlive any data set released meanwhile.
struct FftTask {
    FftPlan plan;
    RefPtr<CResultVariable> x;
    std::int32_t rows = 0;  // the data set's sample count
    std::vector<FftCurveInput> curves;
};

// Where the worker is; reported on the worker thread.
enum class FftStage {
    kCurveStarted,   // before the curve's resampling and transform
    kCurveFinished,  // the curve's result is final
};

struct FftProgress {
    std::int32_t curve = 0;
    std::int32_t curves = 0;
    FftStage stage = FftStage::kCurveStarted;
    bool ok = false;  // with kCurveFinished: a spectrum was computed
};

using FftProgressFn = std::function<void(const FftProgress&)>;

// Computes each curve's spectrum on a thread of its own. Cancelling is
// cooperative (the transform polls a flag); a thread is never killed, so the
// destructor cancels and waits.
class FftWorker {
public:
    FftWorker() = default;
    FftWorker(const FftWorker&) = delete;
    FftWorker& operator=(const FftWorker&) = delete;
    // Cancels every curve left and waits for the thread.
    ~FftWorker();

    // Starts analysing `task`; false at once when any analysis in the program
    // is running or no thread could be started.
    bool Start(FftTask task, FftProgressFn progress = {});
    // The curve in progress ends with an empty spectrum; the next is analysed.
    void CancelCurve();
    // The curve in progress and all after it end with empty spectra.
    void CancelAll();
    // Waits for the end and takes the spectra, one per curve in order
    // (empty variables for cancelled or failed curves).
    std::vector<SpectrumResult> Wait();

    // True while an analysis anywhere in the program has not ended.
    static bool AnalysisRunning();

private:
    void Run(FftTask task, const FftProgressFn& progress);

    std::thread thread_;
    std::atomic<bool> cancelCurve_{false};
    std::atomic<bool> cancelAll_{false};
    std::vector<SpectrumResult> results_;
};

}  // namespace kurvex
