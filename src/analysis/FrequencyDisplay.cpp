#include "analysis/FrequencyDisplay.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <utility>

#include "graph/AxisScale.h"

namespace kurvex {
namespace {

constexpr const char* kFrequencyTitle = "Frequency";
constexpr const char* kTimeTitle = "Time";

std::vector<CGraphCurve*> Live(const std::vector<CGraphCurve*>& screens) {
    std::vector<CGraphCurve*> live;
    for (CGraphCurve* s : screens)
        if (s) live.push_back(s);
    return live;
}

bool EqualIgnoringCase(const std::string& a, const std::string& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char p, char q) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        return lower(p) == lower(q);
    });
}

CResultVariable* XVariable(const CGraphCurve& screen) {
    CResultData* d = screen.Data().Get();
    const std::int32_t i = screen.XIndex();
    if (!d || i < 0 || i >= d->VariableCount()) return nullptr;
    return d->Variable(i);
}

RefPtr<CResultVariable> SourceVariable(const CGraphCurve& screen, const CCurveEntry& curve) {
    if (curve.sourceKind == kCurveFormula) return curve.formulaResult;
    CResultData* d = screen.Data().Get();
    if (!d || curve.columnIndex < 0 || curve.columnIndex >= d->VariableCount()) return {};
    return RefPtr<CResultVariable>(d->Variable(curve.columnIndex));
}

void StorePlan(CGraphCurve& screen, const FftPlan& plan) {
    FrequencyState& f = screen.Frequency();
    f.xColumn = plan.frequency;
    // The grid's sample count, not its points: those are computed when needed.
    RefPtr<CResultVariable> samples(CResultVariable::Create(1));
    if (samples) {
        samples->Values()[0] = static_cast<double>(plan.samples);
        samples->Flags()[0] = kPointValid;
    }
    f.gridSampleCount = std::move(samples);
    f.logXColumn = {};
    f.value = plan.n;
    f.state[0] = plan.step;
    f.state[1] = plan.i0;
    f.state[2] = plan.i1;
    f.fftStart = plan.start;
    f.fftEnd = plan.end;
}

// The last screen's visible X range in X's own units, within X's samples.
std::optional<std::pair<double, double>> AnalysedRange(const CGraphCurve& last) {
    const CResultVariable* x = XVariable(last);
    if (!x) return std::nullopt;
    double from = last.XRange().from, to = last.XRange().to;
    if (last.XLog()) {
        from = std::pow(10.0, from);
        to = std::pow(10.0, to);
    }
    // Written out rather than std::clamp, which a NaN extent would not satisfy.
    const auto within = [&](double v) { return std::min(std::max(v, x->Min()), x->Max()); };
    return std::make_pair(within(from), within(to));
}

// Fits both axes to the data now shown, with a tenth of Y's span as margin.
bool FitAxes(CGraphCurve& screen, std::optional<std::pair<double, double>> xRange) {
    const bool invalid = screen.UpdateExtents();
    double xFrom = screen.XExtent().min, xTo = screen.XExtent().max;
    if (xRange && !screen.XLog()) {
        xFrom = xRange->first;
        xTo = xRange->second;
    } else if (xRange && xRange->first > 0.0 && xRange->second > 0.0) {
        xFrom = std::log10(xRange->first);
        xTo = std::log10(xRange->second);
    }
    // The analysed range comes back exactly, or round trips would widen it.
    double alignedFrom = xFrom, alignedTo = xTo;
    const double xInc = screen.XLog() ? 1.0 : NiceStepX(alignedTo, alignedFrom);
    if (!xRange) {
        xFrom = alignedFrom;
        xTo = alignedTo;
    }
    double yFrom = screen.YExtent().min, yTo = screen.YExtent().max;
    const double yInc = screen.YLog() ? 1.0 : NiceStepY(yTo, yFrom);
    const double margin = (yTo - yFrom) * 0.1;
    RangeFlags flags;
    flags.setIncrement = true;
    flags.autoIncrement = false;
    screen.SetXYRange(xFrom, xTo, xInc, yFrom - margin, yTo + margin, yInc, flags);
    return invalid;
}

enum class ScreenOutcome { kSwitched, kNoPlan, kBusy };

ScreenOutcome ShowSpectra(CGraphCurve& screen, double start, double end,
                          const FftSession& session) {
    // A screen already showing spectra keeps its plan and range.
    if (!screen.FreqDisplay()) ResetStoredPlan(screen);
    FftTask task;
    task.plan = StoredPlan(screen);
    task.plan.window = session.window;
    CResultVariable* x = XVariable(screen);
    if (!x) return ScreenOutcome::kNoPlan;
    task.x = RefPtr<CResultVariable>(x);
    task.rows = screen.Data()->RowCount();
    if (!task.plan.frequency) {
        if (!MakeFftPlan(*x, task.rows, start, end, task.plan)) return ScreenOutcome::kNoPlan;
        StorePlan(screen, task.plan);
    }
    for (std::int32_t i = 0; i < screen.CurveCount(); ++i) {
        const CCurveEntry& c = screen.Curve(i);
        RefPtr<CResultVariable> y = SourceVariable(screen, c);
        std::string name = y && y->HasName() ? y->Name() : c.formula;
        task.curves.push_back({std::move(y), std::move(name)});
    }

    FftWorker own;
    FftWorker& worker = session.worker ? *session.worker : own;
    if (!worker.Start(std::move(task), session.progress)) {
        if (!screen.FreqDisplay()) ResetStoredPlan(screen);
        return ScreenOutcome::kBusy;
    }
    if (session.whileRunning) {
        try {
            session.whileRunning(worker);
        } catch (...) {
            // The worker must not outlive the task's caller unfinished.
            worker.CancelAll();
        }
    }
    std::vector<SpectrumResult> results = worker.Wait();
    for (std::int32_t i = 0; i < screen.CurveCount(); ++i) {
        const auto k = static_cast<std::size_t>(i);
        screen.Curve(i).spectrum =
            k < results.size() ? results[k].spectrum : RefPtr<CResultVariable>{};
    }
    screen.StoreScales(screen.XLog(), screen.YLog(), 1);
    screen.SetXTitle(kFrequencyTitle);
    return ScreenOutcome::kSwitched;
}

void ShowTime(CGraphCurve& screen) {
    ResetStoredPlan(screen);
    for (std::int32_t i = 0; i < screen.CurveCount(); ++i) screen.Curve(i).spectrum = {};
    screen.StoreScales(screen.XLog(), screen.YLog(), 0);
    screen.SetXTitle(kTimeTitle);
}

}  // namespace

bool CoversRange(const CResultVariable& x, double start, double end) {
    const double slack = 1e-9 * std::abs(end - start);
    return x.Min() <= start + slack && x.Max() >= end - slack;
}

bool PerformFftEnabled(const std::vector<CGraphCurve*>& screens) {
    const std::vector<CGraphCurve*> live = Live(screens);
    if (live.empty()) return false;
    const CGraphCurve& last = *live.back();
    return last.XIndex() == 0 && XVariable(last) &&
           EqualIgnoringCase(last.XVariableName(), kTimeTitle) && !last.FreqDisplay();
}

bool TimeDomainEnabled(const std::vector<CGraphCurve*>& screens) {
    const std::vector<CGraphCurve*> live = Live(screens);
    return !live.empty() && live.back()->FreqDisplay() != 0;
}

FftPlan StoredPlan(const CGraphCurve& screen) {
    const FrequencyState& f = screen.Frequency();
    FftPlan plan;
    if (!f.xColumn || !f.gridSampleCount || f.gridSampleCount->Capacity() < 1 || f.value <= 0)
        return plan;
    plan.frequency = f.xColumn;
    plan.samples = static_cast<std::int32_t>(f.gridSampleCount->Values()[0]);
    plan.n = f.value;
    plan.step = f.state[0];
    plan.i0 = f.state[1];
    plan.i1 = f.state[2];
    plan.start = f.fftStart;
    plan.end = f.fftEnd;
    return plan;
}

void ResetStoredPlan(CGraphCurve& screen) {
    FrequencyState& f = screen.Frequency();
    f.xColumn = {};
    f.gridSampleCount = {};
    f.logXColumn = {};
    f.value = 0;
    f.state[0] = 1;
    f.state[1] = -1;
    f.state[2] = -1;
}

DomainSwitchResult ToggleFrequencyDisplay(const std::vector<CGraphCurve*>& screens,
                                          UserMessages& messages, const FftSession& session) {
    DomainSwitchResult result;
    const std::vector<CGraphCurve*> live = Live(screens);
    if (live.empty() || live.back()->XIndex() != 0 || !XVariable(*live.back())) return result;
    const bool toFrequency = !live.back()->FreqDisplay();
    if (toFrequency && FftWorker::AnalysisRunning()) {
        result.did = DomainSwitch::kBusy;
        return result;
    }
    const auto range = toFrequency ? AnalysedRange(*live.back()) : std::nullopt;
    if (toFrequency && !range) return result;

    std::vector<CGraphCurve*> order{live.back()};
    order.insert(order.end(), live.begin(), live.end() - 1);
    for (CGraphCurve* s : order) s->PushUndo(kUndoZoom);

    bool invalid = false;
    for (CGraphCurve* s : order) {
        if (!toFrequency) {
            const std::pair<double, double> analysed{s->Frequency().fftStart,
                                                     s->Frequency().fftEnd};
            const bool had = s->FreqDisplay() && analysed.first < analysed.second;
            ShowTime(*s);
            invalid |= FitAxes(*s, had ? std::optional(analysed) : std::nullopt);
            continue;
        }
        const ScreenOutcome o = ShowSpectra(*s, range->first, range->second, session);
        if (o != ScreenOutcome::kSwitched) {
            // Nothing changed on this screen, so its entry would undo nothing.
            s->PopUndo();
            ++result.screensWithoutPlan;
            if (s == live.back()) {
                // The screen with the X axis decides: without its spectra the
                // view stays as it was, and so do the screens not yet tried.
                for (CGraphCurve* other : order)
                    if (other != s) other->PopUndo();
                result.did =
                    o == ScreenOutcome::kBusy ? DomainSwitch::kBusy : DomainSwitch::kNothing;
                return result;
            }
            continue;
        }
        invalid |= FitAxes(*s, std::nullopt);
    }
    result.did = toFrequency ? DomainSwitch::kToFrequency : DomainSwitch::kToTime;
    if (invalid) {
        ShowInvalidPointsWarning(messages);
        result.invalidPoints = true;
    }
    return result;
}

bool RefreshSpectra(const std::vector<CGraphCurve*>& screens, const FftSession& session) {
    const std::vector<CGraphCurve*> live = Live(screens);
    if (live.empty()) return false;
    // The order the domain switch takes: the screen with the X axis first.
    std::vector<CGraphCurve*> order{live.back()};
    order.insert(order.end(), live.begin(), live.end() - 1);
    bool invalid = false;
    for (CGraphCurve* s : order) {
        if (!s->FreqDisplay()) continue;
        const double start = s->Frequency().fftStart, end = s->Frequency().fftEnd;
        const CResultVariable* x = XVariable(*s);
        ResetStoredPlan(*s);
        if (!x || !CoversRange(*x, start, end) ||
            ShowSpectra(*s, start, end, session) != ScreenOutcome::kSwitched) {
            ShowTime(*s);
            invalid |= FitAxes(*s, std::nullopt);
            continue;
        }
        invalid |= s->UpdateExtents();
    }
    return invalid;
}

DomainSwitch RecomputeSpectra(const std::vector<CGraphCurve*>& screens, const FftSession& session,
                              bool* invalidPoints) {
    const std::vector<CGraphCurve*> live = Live(screens);
    if (live.empty() || !live.back()->FreqDisplay()) return DomainSwitch::kNothing;
    if (FftWorker::AnalysisRunning()) return DomainSwitch::kBusy;
    // The order of a switch, so that a progress dialog names the same curves.
    std::vector<CGraphCurve*> order{live.back()};
    order.insert(order.end(), live.begin(), live.end() - 1);
    bool invalid = false;
    for (CGraphCurve* s : order) {
        if (!s->FreqDisplay() || !StoredPlan(*s).frequency) continue;
        const ScreenOutcome o =
            ShowSpectra(*s, s->Frequency().fftStart, s->Frequency().fftEnd, session);
        if (o == ScreenOutcome::kBusy) return DomainSwitch::kBusy;
        invalid |= s->UpdateExtents();
    }
    if (invalidPoints) *invalidPoints = invalid;
    return DomainSwitch::kToFrequency;
}

UndoResult UndoWithDisplay(const std::vector<CGraphCurve*>& screens, UserMessages& messages,
                           const FftSession& session) {
    if (!UndoEnabled(screens)) return {};
    CGraphCurve& screen = *screens[0];
    if (screen.UndoStack().back()->freqDisplay != screen.FreqDisplay()) {
        const DomainSwitchResult r = ToggleFrequencyDisplay(screens, messages, session);
        if (r.did != DomainSwitch::kToFrequency && r.did != DomainSwitch::kToTime) return {};
        // The switch saved the state it left; undo goes past it to the one asked for.
        screen.PopUndo();
    }
    return Undo(screens);
}

}  // namespace kurvex
