#include "analysis/PreviousSpectra.h"

#include "analysis/FftPlan.h"
#include "analysis/FftWorker.h"
#include "graph/PreviousRun.h"

namespace kurvex {

bool PreviousSpectraWanted(CGraphCurve& screen) {
    PreviousRun* run = screen.PreviousRunShown();
    return run && run->SpectraWanted(screen).has_value();
}

bool ComputePreviousSpectra(CGraphCurve& screen, const FftSession& session) {
    PreviousRun* run = screen.PreviousRunShown();
    const auto job = run ? run->SpectraWanted(screen) : std::nullopt;
    if (!job) return true;
    const std::vector<RefPtr<CResultVariable>> none(job->curves.size());
    FftTask task;
    task.plan.window = session.window;
    task.x = job->x;
    task.rows = job->rows;
    // The previous run may not reach over the whole range: then it shows none.
    if (!job->x || !CoversRange(*job->x, job->start, job->end) ||
        !MakeFftPlan(*job->x, job->rows, job->start, job->end, task.plan)) {
        run->StoreSpectra(*job, {}, none);
        return true;
    }
    const RefPtr<CResultVariable> frequency = task.plan.frequency;
    for (size_t k = 0; k < job->curves.size(); ++k)
        task.curves.push_back({job->curves[k], job->names[k]});

    FftWorker own;
    FftWorker& worker = session.worker ? *session.worker : own;
    if (!worker.Start(std::move(task), session.progress)) return false;
    if (session.whileRunning) {
        try {
            session.whileRunning(worker);
        } catch (...) {
            worker.CancelAll();
        }
    }
    std::vector<SpectrumResult> results = worker.Wait();
    std::vector<RefPtr<CResultVariable>> spectra = none;
    for (size_t k = 0; k < spectra.size() && k < results.size(); ++k)
        spectra[k] = results[k].spectrum;
    // The screen may have been changed meanwhile; the run takes only what fits.
    run->StoreSpectra(*job, frequency, std::move(spectra));
    return true;
}

}  // namespace kurvex
