#include "graph/PreviousRun.h"

#include <algorithm>

#include "graph/AxisScale.h"
#include "graph/GraphCurve.h"
#include "graph/ViewLayout.h"
#include "graph/canvas/Canvas.h"

namespace kurvex {

Rgb FadedColour(Rgb colour, Rgb background) {
    const auto half = [](int c, int b) { return c + (b - c) / 2; };
    return MakeColour(half(RedOf(colour), RedOf(background)),
                      half(GreenOf(colour), GreenOf(background)),
                      half(BlueOf(colour), BlueOf(background)));
}

RefPtr<CResultVariable> ValuesAt(const CResultVariable& x, std::int32_t count,
                                 const CResultVariable& px, const CResultVariable& py,
                                 std::int32_t pcount) {
    count = std::clamp(count, 0, x.Capacity());
    pcount = std::clamp(pcount, 0, std::min(px.Capacity(), py.Capacity()));
    RefPtr<CResultVariable> out(CResultVariable::Create(std::max(count, 1)));
    if (!out) return out;
    double* v = out->Values();
    std::uint8_t* f = out->Flags();
    const double* pxv = px.Values();
    const double* pyv = py.Values();
    const std::uint8_t* pxf = px.Flags();
    const std::uint8_t* pyf = py.Flags();
    const bool sorted =
        std::is_sorted(pxv, pxv + pcount) &&
        std::all_of(pxf, pxf + pcount, [](std::uint8_t b) { return b == kPointValid; });
    for (std::int32_t r = 0; r < count; ++r) {
        f[r] = kPointMissing;
        if (!sorted) {
            if (r < pcount && pxf[r] == kPointValid) {
                v[r] = pyv[r];
                f[r] = pyf[r];
            }
            continue;
        }
        const double at = x.Values()[r];
        if (x.Flags()[r] != kPointValid || pcount < 1 || !(at >= pxv[0]) ||
            !(at <= pxv[pcount - 1]))
            continue;
        const std::int32_t j =
            static_cast<std::int32_t>(std::lower_bound(pxv, pxv + pcount, at) - pxv);
        if (pxv[j] == at) {
            v[r] = pyv[j];
            f[r] = pyf[j];
            continue;
        }
        if (pyf[j - 1] != kPointValid || pyf[j] != kPointValid) continue;
        const double t = (at - pxv[j - 1]) / (pxv[j] - pxv[j - 1]);
        v[r] = pyv[j - 1] + t * (pyv[j] - pyv[j - 1]);
        f[r] = kPointValid;
    }
    return out;
}

bool FitYToPreviousRun(const std::vector<CGraphCurve*>& screens) {
    bool changed = false;
    for (CGraphCurve* s : screens) {
        PreviousRun* run = s ? s->PreviousRunShown() : nullptr;
        CGraphCurve* shadow = run ? run->Follow(*s) : nullptr;
        if (!shadow) continue;
        const AxisRange x = s->XRange(), y = s->YRange();
        const std::optional<DataExtent> before = shadow->YExtentOver(x.from, x.to);
        if (!before || (before->min >= y.from && before->max <= y.to)) continue;
        DataExtent both = *before;
        if (const std::optional<DataExtent> now = s->YExtentOver(x.from, x.to)) {
            both.min = std::min(both.min, now->min);
            both.max = std::max(both.max, now->max);
        }
        const double margin = (both.max - both.min) * 0.1;
        double from = both.min - margin, to = both.max + margin;
        double step = s->YLog() ? 1.0 : NiceStepY(to, from);
        if (const double degrees = PhaseStep(*s, from, to); degrees > 0.0) step = degrees;
        RangeFlags flags;
        flags.setIncrement = true;
        changed |= s->SetYRange(from, to, step, flags);
    }
    return changed;
}

PreviousRun::PreviousRun(const CResultDataRef& data) : data_(data) {}

PreviousRun::~PreviousRun() = default;

std::vector<PreviousRun::CurveKey> PreviousRun::KeysOf(const CGraphCurve& screen) {
    std::vector<CurveKey> keys;
    keys.reserve(static_cast<size_t>(screen.CurveCount()));
    for (std::int32_t i = 0; i < screen.CurveCount(); ++i)
        keys.push_back({screen.Curve(i).sourceKind, screen.Curve(i).formula});
    return keys;
}

void PreviousRun::Rebuild(const CGraphCurve& screen) {
    keys_ = KeysOf(screen);
    xName_ = screen.XVariableName();
    map_.assign(keys_.size(), -1);
    spectraOf_ = {};
    shadow_ = std::make_unique<CGraphCurve>(screen.GraphKind());
    shadow_->SetData(data_);
    const std::int32_t x = data_.FindVariable(xName_.c_str());
    if (xName_.empty() || x < 0) return;
    shadow_->SetXIndex(x);
    for (std::int32_t i = 0; i < screen.CurveCount(); ++i) {
        // Only what finds its data again: the variable by name, the formula
        // computed on the previous samples.
        CCurveEntry curve;
        curve.sourceKind = screen.Curve(i).sourceKind;
        curve.formula = screen.Curve(i).formula;
        if (curve.Bind(data_).ok) map_[static_cast<size_t>(i)] = shadow_->AddCurve(curve);
    }
}

void PreviousRun::ForgetSpectra() {
    spectraOf_ = {};
    if (!shadow_) return;
    FrequencyState& f = shadow_->Frequency();
    f.xColumn = {};
    f.logXColumn = {};
    for (std::int32_t k = 0; k < shadow_->CurveCount(); ++k) {
        shadow_->Curve(k).spectrum = {};
        shadow_->Curve(k).spectrumCache.reset();
    }
}

std::int32_t PreviousRun::CurveOf(std::int32_t i) const {
    return i >= 0 && static_cast<size_t>(i) < map_.size() ? map_[static_cast<size_t>(i)] : -1;
}

CGraphCurve* PreviousRun::Follow(const CGraphCurve& screen) {
    if (!shadow_ || shadow_->GraphKind() != screen.GraphKind() || KeysOf(screen) != keys_ ||
        screen.XVariableName() != xName_)
        Rebuild(screen);
    CGraphCurve& g = *shadow_;
    if (g.CurveCount() == 0) return nullptr;

    const Rgb back = screen.BlackWhite() ? kRgbWhite : screen.Background();
    g.SetBackground(back);
    g.SetDisplayFlags(0);  // faded colours even in black and white
    g.SetMetrics(screen.Metrics());
    g.SetBottomScreen(screen.BottomScreen());
    g.SetPlot(screen.Plot());
    for (std::int32_t i = 0; i < screen.CurveCount(); ++i) {
        const std::int32_t k = CurveOf(i);
        if (k < 0) continue;
        const CCurveEntry& from = screen.Curve(i);
        CCurveEntry& to = g.Curve(k);
        to.label = from.label;
        to.colour = FadedColour(screen.BlackWhite() ? kRgbBlack : from.colour, back);
        to.thickness = from.thickness;
        to.connect = from.connect;
        // Markers would bury the dashes; a curve drawn only as markers keeps them.
        to.markerSymbol = from.connect ? kMarkerNone : from.markerSymbol;
        to.bandScale = from.bandScale;
        to.bandOffset = from.bandOffset;
    }
    // The previous generation of each run the screen shows, matched by name.
    const CResultData& now = *screen.Data().Get();
    const CResultData& before = *g.Data().Get();
    for (std::int32_t k = 0; k < before.RunCount(); ++k) {
        std::int32_t match = -1;
        for (std::int32_t j = 0; j < now.RunCount() && match < 0; ++j)
            if (now.RunName(j) == before.RunName(k)) match = j;
        g.SetRunShown(k, match >= 0 ? screen.RunShown(match) : screen.HiddenRuns().empty());
    }
    if (screen.FreqDisplay()) {
        const CResultVariable* plan = screen.Frequency().xColumn.get();
        if (!plan || spectraOf_.get() != plan || !g.Frequency().xColumn) return nullptr;
    } else if (spectraOf_) {
        ForgetSpectra();
    }
    g.StoreScales(screen.XLog(), screen.YLog(), screen.FreqDisplay());
    g.StoreX(screen.XExtent(), screen.XRange());
    g.StoreY(screen.YExtent(), screen.YRange());
    return &g;
}

std::optional<PreviousRun::SpectraJob> PreviousRun::SpectraWanted(const CGraphCurve& screen) {
    const RefPtr<CResultVariable>& plan = screen.Frequency().xColumn;
    if (!screen.FreqDisplay() || !plan) return std::nullopt;
    if (!shadow_ || KeysOf(screen) != keys_ || screen.XVariableName() != xName_) Rebuild(screen);
    if (spectraOf_.get() == plan.get() || shadow_->CurveCount() == 0) return std::nullopt;
    SpectraJob job;
    job.plan = plan;
    job.x = RefPtr<CResultVariable>(data_->Variable(shadow_->XIndex()));
    job.rows = data_->RowCount();
    job.start = screen.Frequency().fftStart;
    job.end = screen.Frequency().fftEnd;
    for (std::int32_t k = 0; k < shadow_->CurveCount(); ++k) {
        const CCurveEntry& c = shadow_->Curve(k);
        job.curves.push_back(c.sourceKind == kCurveFormula
                                 ? c.formulaResult
                                 : RefPtr<CResultVariable>(data_->Variable(c.columnIndex)));
        job.names.push_back(c.formula);
    }
    return job;
}

void PreviousRun::StoreSpectra(const SpectraJob& job, RefPtr<CResultVariable> frequency,
                               std::vector<RefPtr<CResultVariable>> spectra) {
    if (!shadow_ || spectra.size() != static_cast<size_t>(shadow_->CurveCount())) return;
    ForgetSpectra();
    // Kept even when nothing could be made, so that it is not tried again.
    spectraOf_ = job.plan;
    shadow_->Frequency().xColumn = std::move(frequency);
    for (std::int32_t k = 0; k < shadow_->CurveCount(); ++k)
        shadow_->Curve(k).spectrum = std::move(spectra[static_cast<size_t>(k)]);
}

}  // namespace kurvex
