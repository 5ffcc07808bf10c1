#include "analysis/FftWorker.h"

#include <exception>
#include <memory>
#include <system_error>
#include <utility>

namespace kurvex {
namespace {

// One analysis at a time in the whole program.
std::atomic<bool> gAnalysisRunning{false};

void Report(const FftProgressFn& progress, const FftProgress& p) {
    if (progress) progress(p);
}

SpectrumResult EmptySpectrum(const std::string& name) {
    SpectrumResult r;
    try {
        r.spectrum = RefPtr<CResultVariable>(CResultVariable::Create(0));
        if (r.spectrum) {
            r.spectrum->SetKind(kVariableSpectrum);
            r.spectrum->SetName(name);
        }
    } catch (...) {
        r.spectrum = {};
    }
    return r;
}

}  // namespace

FftWorker::~FftWorker() {
    CancelAll();
    if (thread_.joinable()) thread_.join();
}

bool FftWorker::AnalysisRunning() {
    return gAnalysisRunning.load(std::memory_order_acquire);
}

bool FftWorker::Start(FftTask task, FftProgressFn progress) {
    bool expected = false;
    if (!gAnalysisRunning.compare_exchange_strong(expected, true, std::memory_order_acq_rel))
        return false;
    // The previous analysis of this worker has ended (the flag was free).
    if (thread_.joinable()) thread_.join();
    results_.clear();
    cancelCurve_.store(false);
    cancelAll_.store(false);
    try {
        thread_ = std::thread([this, t = std::move(task), p = std::move(progress)]() mutable {
            Run(std::move(t), p);
        });
    } catch (const std::system_error&) {
        gAnalysisRunning.store(false, std::memory_order_release);
        return false;
    }
    return true;
}

void FftWorker::CancelCurve() {
    cancelCurve_.store(true, std::memory_order_relaxed);
}

void FftWorker::CancelAll() {
    cancelAll_.store(true, std::memory_order_relaxed);
    cancelCurve_.store(true, std::memory_order_relaxed);
}

std::vector<SpectrumResult> FftWorker::Wait() {
    if (thread_.joinable()) thread_.join();
    return std::move(results_);
}

void FftWorker::Run(FftTask task, const FftProgressFn& progress) {
    const auto count = static_cast<std::int32_t>(task.curves.size());
    std::vector<SpectrumResult> results;
    try {
        results.reserve(task.curves.size());
        // One twiddle table for all curves instead of one per curve.
        if (!task.plan.transform && task.plan.n > 0)
            task.plan.transform = std::make_shared<const Fft>(task.plan.n);
    } catch (...) {
    }
    for (std::int32_t i = 0; i < count; ++i) {
        const FftCurveInput& curve = task.curves[static_cast<std::size_t>(i)];
        SpectrumResult r;
        try {
            if (!cancelAll_.load(std::memory_order_relaxed))
                cancelCurve_.store(false, std::memory_order_relaxed);
            Report(progress, {i, count, FftStage::kCurveStarted, false});
            if (task.x && curve.y)
                r = ComputeSpectrum(task.plan, *task.x, *curve.y, task.rows, curve.name,
                                    &cancelCurve_);
            // A constant curve runs no transform and so never polls the flag.
            if (cancelCurve_.load(std::memory_order_relaxed)) r.ok = false;
        } catch (...) {
            r.ok = false;
        }
        if (!r.ok) r = EmptySpectrum(curve.name);
        const bool ok = r.ok;
        try {
            results.push_back(std::move(r));
        } catch (...) {
            // Without room for the result the rest cannot be delivered either.
            break;
        }
        try {
            Report(progress, {i, count, FftStage::kCurveFinished, ok});
        } catch (...) {
        }
    }
    while (results.size() < task.curves.size()) {
        try {
            results.push_back(EmptySpectrum(task.curves[results.size()].name));
        } catch (...) {
            break;
        }
    }
    results_ = std::move(results);
    // The variables are released before another analysis may start.
    task = FftTask{};
    gAnalysisRunning.store(false, std::memory_order_release);
}

}  // namespace kurvex
