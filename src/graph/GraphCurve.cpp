#include "graph/GraphCurve.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

#include "data/cache/CachedResult.h"
#include "data/model/Runs.h"
#include "graph/RunColumns.h"

namespace kurvex {

void ShowInvalidPointsWarning(UserMessages& messages) {
    messages.Show(kInvalidPointsWarning, MessageIcon::Exclamation);
}

CGraphCurve::CGraphCurve(std::int32_t graphKind) : logColumns_(graphKind), graphKind_(graphKind) {}

CGraphCurve::CGraphCurve(const CGraphCurve& other)
    : logColumns_(other.logColumns_), graphKind_(other.graphKind_) {
    CopyFrom(other);
}

CGraphCurve& CGraphCurve::operator=(const CGraphCurve& other) {
    if (this != &other) CopyFrom(other);
    return *this;
}

CGraphCurve::~CGraphCurve() = default;

void CGraphCurve::CopyFrom(const CGraphCurve& o) {
    bottomScreen_ = o.bottomScreen_;
    selectedCurve_ = o.selectedCurve_;
    cursors_[0] = o.cursors_[0];
    cursors_[1] = o.cursors_[1];
    background_ = o.background_;
    foreground_ = o.foreground_;
    gridColour_ = o.gridColour_;
    plot_ = o.plot_;
    gridShown_ = o.gridShown_;
    hideAxisText_ = o.hideAxisText_;
    reserved_ = o.reserved_;
    displayFlags_ = o.displayFlags_;
    logColumns_ = o.logColumns_;
    data_ = o.data_;
    metrics_ = o.metrics_;
    font_ = o.font_;
    xAutoGrid_ = o.xAutoGrid_;
    xDivisions_ = o.xDivisions_;
    yAutoScale_ = o.yAutoScale_;
    yAutoGrid_ = o.yAutoGrid_;
    yDivisions_ = o.yDivisions_;
    xExtent_ = o.xExtent_;
    xRange_ = o.xRange_;
    yExtent_ = o.yExtent_;
    yRange_ = o.yRange_;
    xLog_ = o.xLog_;
    yLog_ = o.yLog_;
    freqDisplay_ = o.freqDisplay_;
    freq_ = o.freq_;
    std::vector<std::unique_ptr<CCurveEntry>> curves;
    curves.reserve(o.curves_.size());
    for (const auto& c : o.curves_) curves.push_back(std::make_unique<CCurveEntry>(*c));
    curves_ = std::move(curves);
    xTitle_ = o.xTitle_;
    xIndex_ = o.xIndex_;
    graphKind_ = o.graphKind_;
    busy_ = o.busy_;
    previous_ = o.previous_;
    hiddenRuns_ = o.hiddenRuns_;
    measuredRun_ = o.measuredRun_;
    companions_ = o.companions_;
    cursorAlong_ = o.cursorAlong_;
}

UndoEntry CGraphCurve::CurrentState() const {
    UndoEntry e;
    e.xFrom = xRange_.from;
    e.xTo = xRange_.to;
    e.xIncrement = xRange_.increment;
    e.yFrom = yRange_.from;
    e.yTo = yRange_.to;
    e.yIncrement = yRange_.increment;
    e.xLog = xLog_;
    e.yLog = yLog_;
    e.freqDisplay = freqDisplay_;
    return e;
}

bool CGraphCurve::PushUndo(UndoKind kind) {
    const bool runKind = lastUndoKind_ == kUndoHScroll || lastUndoKind_ == kUndoVScroll ||
                         lastUndoKind_ == kUndoWheel;
    if (runKind && lastUndoKind_ == kind) return false;
    undo_.push_back(std::make_unique<UndoEntry>(CurrentState()));
    lastUndoKind_ = kind;
    return true;
}

std::unique_ptr<UndoEntry> CGraphCurve::PopUndo() {
    if (undo_.empty()) return nullptr;
    std::unique_ptr<UndoEntry> e = std::move(undo_.back());
    undo_.pop_back();
    return e;
}

bool CGraphCurve::RestoreRanges(const UndoEntry& e) {
    bool invalid = false;
    freqDisplay_ = e.freqDisplay;
    if (e.xLog != xLog_) invalid |= SetXScale(e.xLog);
    if (e.yLog != yLog_) invalid |= SetYScale(e.yLog);
    xRange_ = {e.xFrom, e.xTo, e.xIncrement};
    yRange_ = {e.yFrom, e.yTo, e.yIncrement};
    return invalid;
}

CGraphAnnotation* CGraphCurve::AddAnnotation(std::unique_ptr<CGraphAnnotation> a) {
    if (!a) return nullptr;
    annotations_.push_back(std::move(a));
    return annotations_.back().get();
}

void CGraphCurve::RemoveAnnotation(std::size_t index) {
    if (index >= annotations_.size()) return;
    CGraphAnnotation* gone = annotations_[index].get();
    std::erase(selection_, gone);
    annotations_.erase(annotations_.begin() + static_cast<std::ptrdiff_t>(index));
}

void CGraphCurve::ClearAnnotations() {
    selection_.clear();
    annotations_.clear();
}

void CGraphCurve::SetData(const CResultDataRef& data) {
    if (data_.Get() == data.Get()) return;
    data_ = data;
}

void CGraphCurve::SetFont(const GraphFont& font, const TextMeasure* measure) {
    font_ = font;
    if (font_.faceName.size() > GraphFont::kFaceNameMax)
        font_.faceName.resize(GraphFont::kFaceNameMax);
    if (!measure) return;
    const TextSize size = measure->Measure(font_, "0123456789");
    metrics_ = CharMetrics{size.width, size.height};
}

void CGraphCurve::StoreX(const DataExtent& extent, const AxisRange& range) {
    xExtent_ = extent;
    xRange_ = range;
}

void CGraphCurve::StoreY(const DataExtent& extent, const AxisRange& range) {
    yExtent_ = extent;
    yRange_ = range;
}

void CGraphCurve::StoreScales(std::int32_t xLog, std::int32_t yLog, std::int32_t freqDisplay) {
    xLog_ = xLog ? 1 : 0;
    yLog_ = yLog ? 1 : 0;
    freqDisplay_ = freqDisplay ? 1 : 0;
}

namespace {

// Widens `e` by the valid span of `v` in the axis's scale; a log axis takes
// only the positive part.
void TakeSpan(const CResultVariable& v, bool log, DataExtent& e) {
    double mn = v.Min(), mx = v.Max();
    if (!std::isfinite(mn) || !std::isfinite(mx)) return;
    if (log) {
        if (!(mx > 0.0)) return;
        mn = std::log10(mn > 0.0 ? mn : mx);
        mx = std::log10(mx);
    }
    e.min = std::min(e.min, mn);
    e.max = std::max(e.max, mx);
}

}  // namespace

bool CGraphCurve::SetXScale(std::int32_t log) {
    xLog_ = log ? 1 : 0;
    xExtent_ = DataExtent{};
    bool invalid = false;
    if (SampleCount() < 1) return invalid;
    const RefPtr<CResultVariable> x = XColumn(&invalid);
    if (!x) return invalid;
    DataExtent e{x->Min(), x->Max()};
    // Every shown run counts, so that none is cut off at first sight.
    for (std::int32_t k = 1; k < data_->RunCount(); ++k) {
        const CResultData* run = data_->Run(k);
        if (RunShown(k) && run->RowCount() > 0 && run->VariableCount() > 0)
            TakeSpan(*run->Variable(0), xLog_ != 0, e);
    }
    xExtent_ = WidenExtent(e);
    return invalid;
}

bool CGraphCurve::SetYScale(std::int32_t log) {
    yLog_ = log ? 1 : 0;
    yExtent_ = DataExtent{};
    bool invalid = false;
    if (curves_.empty() || SampleCount() < 1) return invalid;
    DataExtent e;
    bool first = true;
    for (const auto& c : curves_) {
        const RefPtr<CResultVariable> y = YColumn(*c, &invalid);
        // A curve without data of its own counts as 0.
        const double mn = y ? y->Min() : 0.0;
        const double mx = y ? y->Max() : 0.0;
        e.min = first ? mn : std::min(e.min, mn);
        e.max = first ? mx : std::max(e.max, mx);
        first = false;
        if (c->sourceKind == kCurveFormula) {
            for (size_t k = 0; k < c->runResults.size(); ++k) {
                const RefPtr<CResultVariable>& r = c->runResults[k];
                if (r && RunShown(static_cast<std::int32_t>(k + 1))) TakeSpan(*r, yLog_ != 0, e);
            }
            continue;
        }
        if (c->sourceKind != kCurveColumn || c->columnIndex < 0 ||
            c->columnIndex >= data_->VariableCount())
            continue;
        const std::string& name = data_->Variable(c->columnIndex)->Name();
        for (std::int32_t k = 1; k < data_->RunCount(); ++k) {
            const CResultData* run = data_->Run(k);
            const std::int32_t v = RunVariable(*run, name);
            if (RunShown(k) && v >= 0 && run->RowCount() > 0)
                TakeSpan(*run->Variable(v), yLog_ != 0, e);
        }
    }
    yExtent_ = WidenExtent(e);
    return invalid;
}

bool CGraphCurve::UpdateExtents() {
    const bool x = SetXScale(xLog_);
    const bool y = SetYScale(yLog_);
    return x || y;
}

bool CGraphCurve::SetRange(Axis axis, double from, double to, double increment,
                           const RangeFlags& flags) {
    if (!std::isfinite(from) || !std::isfinite(to)) return false;
    if (from > to) std::swap(from, to);
    if (Equal48(from, to)) {
        if (from != 0.0) {
            from *= 0.9;
            to *= 1.1;
        } else {
            from = -0.9;
            to = 0.1;
        }
        // Widening a negative value turns the ends round.
        if (from > to) std::swap(from, to);
        increment = (to - from) * 0.2;
    }
    // A span too small or too large for a double has no usable grid.
    if (!(to > from) || !std::isfinite(to - from)) return false;

    const DataExtent& extent = axis == Axis::X ? xExtent_ : yExtent_;
    const double pixels = axis == Axis::X ? plot_.Width() : plot_.Height();
    if (std::fabs(pixels / (to - from) * (extent.max - extent.min)) >= kZoomLimitPixels)
        return false;

    if (flags.clamp) {
        if (from < extent.min) from = extent.min;
        if (to > extent.max) to = extent.max;
        // A range wholly outside the data has nothing left to show.
        if (!(to > from)) return false;
    }

    if (flags.pushUndo) PushUndo(flags.undoKind);
    AxisRange& range = axis == Axis::X ? xRange_ : yRange_;
    range.from = from;
    range.to = to;
    if (flags.setIncrement && increment > 0.0 && std::isfinite(increment))
        range.increment = increment;

    if (!flags.autoIncrement) {
        if (axis == Axis::X || range.increment > 0.0) return true;
    }
    if (!(range.increment > 0.0) || !std::isfinite(range.increment)) {
        const double step =
            axis == Axis::X ? NiceStepX(range.to, range.from) : NiceStepY(range.to, range.from);
        range.increment = step > 0.0 ? step : (range.to - range.from) * 0.2;
    }
    range.increment = AdjustDivisions(range.to - range.from, range.increment);
    return true;
}

bool CGraphCurve::SetXRange(double from, double to, double increment, const RangeFlags& flags) {
    return SetRange(Axis::X, from, to, increment, flags);
}

bool CGraphCurve::SetYRange(double from, double to, double increment, const RangeFlags& flags) {
    return SetRange(Axis::Y, from, to, increment, flags);
}

bool CGraphCurve::SetXYRange(double xFrom, double xTo, double xIncrement, double yFrom, double yTo,
                             double yIncrement, const RangeFlags& flags) {
    const UndoKind kindBefore = lastUndoKind_;
    const bool pushed = flags.pushUndo && PushUndo(flags.undoKind);
    RangeFlags each = flags;
    each.pushUndo = false;
    const bool x = SetXRange(xFrom, xTo, xIncrement, each);
    const bool y = SetYRange(yFrom, yTo, yIncrement, each);
    if (!x && !y && pushed) {
        // A refused change leaves no trace on the undo stack.
        if (std::unique_ptr<UndoEntry> e = PopUndo()) RestoreRanges(*e);
        lastUndoKind_ = kindBefore;
    }
    return x || y;
}

double CGraphCurve::IncrementFor(Axis axis, double& from, double& to) const {
    const bool x = axis == Axis::X;
    return IncrementFromDivisions(from, to, x ? xDivisions_ : yDivisions_,
                                  (x ? xAutoGrid_ : yAutoGrid_) != 0, axis);
}

bool CGraphCurve::EnsureLogColumns() {
    bool invalid = false;
    if (xLog_) XColumn(&invalid);
    if (yLog_) {
        for (const auto& c : curves_) YColumn(*c, &invalid);
    }
    return invalid;
}

RefPtr<CResultVariable> CGraphCurve::XColumn(bool* invalidFound) {
    if (freqDisplay_ && freq_.xColumn) {
        if (!xLog_) return freq_.xColumn;
        // On a log axis the 0 Hz point has no place: it is a gap, not an
        // invalid point worth a warning.
        if (!freq_.logXColumn) {
            bool zeroHz = false;
            freq_.logXColumn = BuildLogColumn(*freq_.xColumn, freq_.xColumn->Capacity(), zeroHz);
        }
        return freq_.logXColumn;
    }
    if (xIndex_ < 0 || xIndex_ >= data_->VariableCount()) return {};
    if (!xLog_) return RefPtr<CResultVariable>(data_->Variable(xIndex_));
    bool invalid = false;
    RefPtr<CResultVariable> col = logColumns_.Column(data_, xIndex_, invalid);
    if (invalid && invalidFound) *invalidFound = true;
    return col;
}

RefPtr<CResultVariable> CGraphCurve::YColumn(CCurveEntry& curve, bool* invalidFound) {
    if (freqDisplay_ && curve.spectrum) {
        if (!yLog_) return curve.spectrum;
        auto& cache = curve.spectrumCache;
        if (!cache || cache->of != curve.spectrum.get()) {
            cache = std::make_shared<SpectrumCache>();
            cache->of = curve.spectrum.get();
            cache->log =
                BuildLogColumn(*curve.spectrum, curve.spectrum->Capacity(), cache->invalid);
        }
        if (cache->invalid && invalidFound) *invalidFound = true;
        return cache->log;
    }
    bool invalid = false;
    RefPtr<CResultVariable> col;
    if (curve.sourceKind == kCurveColumn) {
        const std::int32_t i = curve.columnIndex;
        if (i < 0 || i >= data_->VariableCount()) return {};
        if (!yLog_) return RefPtr<CResultVariable>(data_->Variable(i));
        col = logColumns_.Column(data_, i, invalid);
    } else if (curve.sourceKind == kCurveFormula && curve.formulaResult) {
        if (!yLog_) return curve.formulaResult;
        const CResultVariable& result = *curve.formulaResult;
        if (!curve.formulaLog) {
            curve.formulaLog = BuildLogColumn(result, result.Capacity(), invalid);
        } else {
            const CResultVariable& log = *curve.formulaLog;
            invalid = log.Capacity() > 0 &&
                      std::memchr(log.Flags(), kPointInvalid, static_cast<size_t>(log.Capacity()));
        }
        col = curve.formulaLog;
    }
    if (invalid && invalidFound) *invalidFound = true;
    return col;
}

std::shared_ptr<const ColumnSummary> CGraphCurve::YSummary(const CCurveEntry& curve) const {
    if ((freqDisplay_ && curve.spectrum) || curve.sourceKind != kCurveColumn) return nullptr;
    const std::int32_t i = curve.columnIndex;
    if (i < 0 || i >= data_->VariableCount()) return nullptr;
    return yLog_ ? logColumns_.Summary(data_, i) : data_.Summary(i);
}

std::int32_t CGraphCurve::SampleCount() const {
    if (freqDisplay_ && freq_.xColumn) return freq_.xColumn->Capacity();
    return data_->RowCount();
}

IndexWindow CGraphCurve::VisibleIndexWindow(double from, double to) {
    const RefPtr<CResultVariable> x = XColumn();
    if (!x) return {};
    const std::int32_t n = std::min(SampleCount(), x->Capacity());
    if (n < 1) return {};
    IndexWindow w{0, n - 1};
    if (xIndex_ == 0 && data_->UniformX() && !xLog_ && !freqDisplay_) {
        // Only X's ends are read: a cached X asks for their pages alone.
        const std::int32_t ends[] = {0, n - 1};
        PrefetchColumnEnds(x->Values(), ends, false);
        w.first = data_.LocateBefore(0, from, true, 0, n - 1).value_or(0);
        w.last = data_.LocateAfter(0, to, true, 0, n - 1).value_or(n - 1);
        return w;
    }
    return WindowOfColumn(*x, n, XIsSortedColumn(), from, to);
}

IndexWindow WindowOfColumn(const CResultVariable& x, std::int32_t n, bool sorted, double from,
                           double to) {
    if (n < 1) return {};
    IndexWindow w{0, n - 1};
    const double* v = x.Values();
    const std::uint8_t* f = x.Flags();
    if (sorted) {
        // A sorted column is bisected: the window costs the same at any zoom.
        // A cached one through its pyramid, reading a few pages, not a fault's
        // megabytes at each step.
        const auto ends = CachedPartitionPoints(
            v, 0, n, 2, [&](std::int32_t k, double s) { return k == 0 ? s < from : s <= to; });
        const std::int32_t lo =
            ends ? (*ends)[0] : static_cast<std::int32_t>(std::lower_bound(v, v + n, from) - v);
        const std::int32_t hi =
            (ends ? (*ends)[1] : static_cast<std::int32_t>(std::upper_bound(v, v + n, to) - v)) - 1;
        if (lo < n) w.first = lo == 0 ? 0 : lo - 1;
        if (hi >= 0) w.last = hi == n - 1 ? n - 1 : hi + 1;
        return w;
    }
    for (std::int32_t i = 0; i < n; ++i) {
        if (f[i] == kPointValid && v[i] >= from) {
            w.first = i == 0 ? 0 : i - 1;
            break;
        }
    }
    for (std::int32_t i = n - 1; i >= 0; --i) {
        if (f[i] == kPointValid && v[i] <= to) {
            w.last = i == n - 1 ? n - 1 : i + 1;
            break;
        }
    }
    return w;
}

bool CGraphCurve::XIsSortedColumn() const {
    return !xLog_ && !freqDisplay_ && data_.IsSorted(xIndex_);
}

std::optional<DataExtent> CGraphCurve::YExtentOver(double from, double to) {
    if (from > to) std::swap(from, to);
    std::optional<DataExtent> e;
    for (std::int32_t k = 0; k < DrawnRunCount(); ++k) {
        if (!RunShown(k)) continue;
        const RefPtr<CResultVariable> x = RunXColumn(k);
        if (!x) continue;
        const IndexWindow w = RunIndexWindow(k, from, to);
        if (w.Empty()) continue;
        const double* xv = x->Values();
        const std::uint8_t* xf = x->Flags();
        for (const auto& c : curves_) {
            const RefPtr<CResultVariable> y = RunYColumn(k, *c);
            if (!y) continue;
            const std::int32_t last = std::min({w.last, y->Capacity() - 1, x->Capacity() - 1});
            const double* yv = y->Values();
            const std::uint8_t* yf = y->Flags();
            for (std::int32_t i = w.first; i <= last; ++i) {
                // The window reaches one sample past each end; only what lies
                // inside the interval counts.
                if (xf[i] != kPointValid || yf[i] != kPointValid) continue;
                if (!(xv[i] >= from && xv[i] <= to)) continue;
                if (!e) {
                    e = DataExtent{yv[i], yv[i]};
                } else {
                    e->min = std::min(e->min, yv[i]);
                    e->max = std::max(e->max, yv[i]);
                }
            }
        }
    }
    return e;
}

std::int32_t CGraphCurve::AddCurve(const CCurveEntry& curve) {
    curves_.push_back(std::make_unique<CCurveEntry>(curve));
    return CurveCount() - 1;
}

void CGraphCurve::RemoveCurve(std::int32_t i) {
    if (i < 0 || i >= CurveCount()) return;
    curves_.erase(curves_.begin() + i);
    if (selectedCurve_ >= CurveCount()) selectedCurve_ = -1;
}

void CGraphCurve::ClearCurves() {
    curves_.clear();
    selectedCurve_ = -1;
}

void CGraphCurve::ClearForLoad() {
    ClearCurves();
    ClearAnnotations();
    cursors_[0] = MeasureCursor{};
    cursors_[1] = MeasureCursor{};
    selectedCurve_ = -1;
}

std::string CGraphCurve::XVariableName() const {
    if (xIndex_ < 0 || xIndex_ >= data_->VariableCount()) return {};
    return data_->Variable(xIndex_)->Name();
}

void CGraphCurve::SetRunShown(std::int32_t k, bool shown) {
    if (k < 0) return;
    const auto i = static_cast<size_t>(k);
    if (i >= hiddenRuns_.size()) {
        if (shown) return;
        hiddenRuns_.resize(i + 1, false);
    }
    hiddenRuns_[i] = !shown;
    // All shown again: back to the empty choice that follows new runs too.
    if (std::find(hiddenRuns_.begin(), hiddenRuns_.end(), true) == hiddenRuns_.end())
        hiddenRuns_.clear();
}

std::int32_t CGraphCurve::DrawnRunCount() const {
    return freqDisplay_ ? 1 : data_->RunCount();
}

RefPtr<CResultVariable> CGraphCurve::RunXColumn(std::int32_t k) {
    if (k == 0) return XColumn();
    if (freqDisplay_) return {};
    CResultData* run = data_->Run(k);
    const std::string name = XVariableName();
    if (!run || name.empty()) return {};
    const std::int32_t i = RunVariable(*run, name);
    if (i < 0) return {};
    if (!xLog_) return RefPtr<CResultVariable>(run->Variable(i));
    bool invalid = false;
    return RunLogColumn(*run, i, invalid);
}

namespace {

// The variable of `run` that column curve `curve` shows, or -1.
std::int32_t RunColumnOf(const CResultData& data, const CResultData& run,
                         const CCurveEntry& curve) {
    if (curve.sourceKind != kCurveColumn || curve.columnIndex < 0 ||
        curve.columnIndex >= data.VariableCount())
        return -1;
    return RunVariable(run, data.Variable(curve.columnIndex)->Name());
}

}  // namespace

RefPtr<CResultVariable> CGraphCurve::RunYColumn(std::int32_t k, CCurveEntry& curve) {
    if (k == 0) return YColumn(curve);
    CResultData* run = data_->Run(k);
    if (!run || freqDisplay_) return {};
    if (curve.sourceKind == kCurveFormula) {
        const auto at = static_cast<size_t>(k - 1);
        if (at >= curve.runResults.size() || !curve.runResults[at]) return {};
        const RefPtr<CResultVariable>& result = curve.runResults[at];
        if (!yLog_) return result;
        if (curve.runLogs.size() != curve.runResults.size())
            curve.runLogs.resize(curve.runResults.size());
        RefPtr<CResultVariable>& log = curve.runLogs[at];
        bool invalid = false;
        if (!log) log = BuildLogColumn(*result, result->Capacity(), invalid);
        return log;
    }
    const std::int32_t i = RunColumnOf(*data_.Get(), *run, curve);
    if (i < 0) return {};
    if (!yLog_) return RefPtr<CResultVariable>(run->Variable(i));
    bool invalid = false;
    return RunLogColumn(*run, i, invalid);
}

std::shared_ptr<const ColumnSummary> CGraphCurve::RunYSummary(std::int32_t k,
                                                              const CCurveEntry& curve) {
    if (k == 0) return YSummary(curve);
    CResultData* run = data_->Run(k);
    if (!run || freqDisplay_) return nullptr;
    const std::int32_t i = RunColumnOf(*data_.Get(), *run, curve);
    if (i < 0) return nullptr;
    return yLog_ ? RunLogSummary(*run, i) : RunColumnSummary(*run, i);
}

bool CGraphCurve::RunXIsSorted(std::int32_t k) {
    if (k == 0) return XIsSortedColumn();
    CResultData* run = data_->Run(k);
    if (!run || xLog_ || freqDisplay_) return false;
    return RunColumnSorted(*run, RunVariable(*run, XVariableName()));
}

IndexWindow CGraphCurve::RunIndexWindow(std::int32_t k, double from, double to) {
    if (k == 0) return VisibleIndexWindow(from, to);
    const RefPtr<CResultVariable> x = RunXColumn(k);
    const CResultData* run = data_->Run(k);
    if (!x || !run) return {};
    return WindowOfColumn(*x, std::min(run->RowCount(), x->Capacity()), RunXIsSorted(k), from, to);
}

}  // namespace kurvex
