#include "interaction/AxisDialogRules.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>
#include <utility>

#include "interaction/ControlRules.h"

namespace kurvex {

namespace {

std::string Lg(double v) {
    char text[64];
    std::snprintf(text, sizeof text, "%lg", v);
    return text;
}

std::string Int(std::int32_t v) {
    char text[16];
    std::snprintf(text, sizeof text, "%i", v);
    return text;
}

// Axis settings of one axis, read and written alike for X and Y.
struct AxisAccess {
    CGraphCurve& r;
    Axis axis;

    bool X() const { return axis == Axis::X; }
    bool Log() const { return (X() ? r.XLog() : r.YLog()) != 0; }
    const AxisRange& Range() const { return X() ? r.XRange() : r.YRange(); }
    const DataExtent& Extent() const { return X() ? r.XExtent() : r.YExtent(); }
    bool SetScale(bool log) { return X() ? r.SetXScale(log) : r.SetYScale(log); }
    void SetAutoGrid(bool on) { X() ? r.SetXAutoGrid(on) : r.SetYAutoGrid(on); }
    void SetDivisions(std::int32_t n) { X() ? r.SetXDivisions(n) : r.SetYDivisions(n); }
    bool SetRange(double from, double to, double increment) {
        RangeFlags flags;
        flags.setIncrement = true;
        flags.autoIncrement = false;
        return X() ? r.SetXRange(from, to, increment, flags)
                   : r.SetYRange(from, to, increment, flags);
    }
};

// The Y range fitted to `e` with 10 % margins and the screen's Y grid.
bool FitY(CGraphCurve& r, DataExtent e) {
    const double m = (e.max - e.min) * 0.1;
    double from = e.min - m, to = e.max + m;
    const double inc = r.YLog() ? 1.0 : r.IncrementFor(Axis::Y, from, to);
    RangeFlags flags;
    flags.setIncrement = true;
    flags.autoIncrement = false;
    return r.SetYRange(from, to, inc, flags);
}

// A range end as typed, or the record's exact value when the text is the
// one the dialog showed (so that "%lg" rounding never moves an end).
double EndValue(const std::string& typed, const std::string& shown, double stored, bool log) {
    if (typed == shown) return log ? std::pow(10.0, stored) : stored;
    return ReadSuffixedNumber(typed);
}

AxisStoreResult Refusal(int field, const char* message) {
    AxisStoreResult result;
    result.outcome = AxisStoreResult::Refused;
    result.refusedField = field;
    result.message = message;
    return result;
}

// One store of the axis dialog, made on a copy of the record so that nothing
// reaches the record unless all of it works.
class AxisStore {
public:
    AxisStore(const CGraphCurve& record, Axis axis, const AxisFields& shown,
              const AxisFields& chosen)
        : axis_(axis),
          shown_(shown),
          chosen_(chosen),
          work_(record),
          a_{work_, axis},
          old_(a_.Range()),
          wasLog_(a_.Log()),
          scaleChanged_(chosen.log != wasLog_) {}
    AxisStore(const AxisStore&) = delete;
    AxisStore& operator=(const AxisStore&) = delete;

    // Y auto-scale: Y fitted again to the data of the X range shown.
    AxisStoreResult Refit(CGraphCurve& record) {
        work_.SetYAutoScale(1);
        if (scaleChanged_) result_.invalidPoints = a_.SetScale(chosen_.log);
        const AxisRange& x = work_.XRange();
        const std::optional<DataExtent> e = work_.YExtentOver(x.from, x.to);
        if (!FitY(work_, e ? *e : work_.YExtent())) return Refusal(2, kAxisRangeRefused);
        record = work_;
        result_.outcome = AxisStoreResult::Changed;
        return result_;
    }

    // The typed numbers; set, with the refusal, when one cannot be used.
    std::optional<AxisStoreResult> ReadNumbers() {
        from_ = EndValue(chosen_.from, shown_.from, old_.from, wasLog_);
        to_ = EndValue(chosen_.to, shown_.to, old_.to, wasLog_);
        for (int field = 0; field < 2; ++field) {
            if (!std::isfinite(field == 0 ? from_ : to_))
                return Refusal(field, kAxisNumberTooLarge);
        }
        divisions_ = ReadWholeNumber(chosen_.divisions);
        return std::nullopt;
    }

    // The flags, then the ends and the step in the new scale.
    void TakeScaleAndEnds() {
        if (axis_ == Axis::Y) work_.SetYAutoScale(0);
        if (!chosen_.log) a_.SetAutoGrid(chosen_.autoGrid);
        if (scaleChanged_) result_.invalidPoints = a_.SetScale(chosen_.log);
        if (to_ < from_) {
            std::swap(from_, to_);
            rewrite_ = true;
        }
        if (chosen_.log)
            TakeLogEnds();
        else
            TakeLinearEnds();
        result_.rewrite = rewrite_;
    }

    // Puts the range on the work copy and the copy into the record.
    AxisStoreResult Store(CGraphCurve& record) {
        const bool sameRange = from_ == old_.from && to_ == old_.to;
        const bool sameGrid =
            chosen_.autoGrid == shown_.autoGrid && chosen_.divisions == shown_.divisions;
        if (!scaleChanged_ && sameRange && (chosen_.log || step_ == old_.increment || sameGrid)) {
            // Only a flag the grid does not show may have moved: keep it.
            record = work_;
            result_.outcome = AxisStoreResult::Unchanged;
            return result_;
        }
        bool ok = false;
        if (axis_ == Axis::X) {
            const std::optional<DataExtent> y =
                work_.SampleCount() > 0 ? work_.YExtentOver(from_, to_) : std::nullopt;
            ok = a_.SetRange(from_, to_, step_) && (!y || FitY(work_, *y));
        } else {
            ok = a_.SetRange(from_, to_, step_);
        }
        if (!ok) return Refusal(2, kAxisRangeRefused);
        record = work_;
        result_.outcome = AxisStoreResult::Changed;
        return result_;
    }

private:
    // The ends in the log scale: those left as shown keep the record's
    // values, and one that is not positive keeps the axis's current end.
    void TakeLogEnds() {
        // The ends the axis has now, in its log scale; after a switch from
        // linear, a positive old end converts and any other is the data's.
        const double curFrom = !scaleChanged_    ? old_.from
                               : old_.from > 0.0 ? std::log10(old_.from)
                                                 : a_.Extent().min;
        const double curTo = !scaleChanged_  ? old_.to
                             : old_.to > 0.0 ? std::log10(old_.to)
                                             : a_.Extent().max;
        const bool sameFrom = !rewrite_ && wasLog_ && chosen_.from == shown_.from;
        const bool sameTo = !rewrite_ && wasLog_ && chosen_.to == shown_.to;
        if (sameFrom) {
            from_ = old_.from;
        } else if (from_ > 0.0) {
            from_ = std::log10(from_);
        } else {
            from_ = curFrom;
            rewrite_ = true;
        }
        if (sameTo) {
            to_ = old_.to;
        } else if (to_ > 0.0) {
            to_ = std::log10(to_);
        } else {
            to_ = curTo;
            rewrite_ = true;
        }
        if (rewrite_) {
            result_.from = Lg(std::pow(10.0, from_));
            result_.to = Lg(std::pow(10.0, to_));
        }
    }

    // The ends as typed, with the automatic step or the divisions asked for.
    void TakeLinearEnds() {
        if (rewrite_) {
            result_.from = Lg(from_);
            result_.to = Lg(to_);
        }
        double f = from_, t = to_;  // the automatic step; the ends stay as typed
        step_ = axis_ == Axis::X ? NiceStepX(t, f) : NiceStepY(t, f);
        if (!chosen_.autoGrid && divisions_ != 0) {
            const std::int32_t clamped = std::clamp<std::int32_t>(divisions_, 1, 20);
            a_.SetDivisions(clamped);
            step_ = (to_ - from_) / clamped;
        }
        if (!(step_ > 0.0)) step_ = (to_ - from_) * 0.2;
    }

    Axis axis_;
    const AxisFields& shown_;
    const AxisFields& chosen_;
    CGraphCurve work_;
    AxisAccess a_;
    const AxisRange old_;
    const bool wasLog_;
    const bool scaleChanged_;
    double from_ = 0.0, to_ = 0.0;
    double step_ = 1.0;  // a decade: log axes take their ticks from the decades
    bool rewrite_ = false;
    std::int32_t divisions_ = 0;
    AxisStoreResult result_;
};

}  // namespace

AxisFields AxisFieldsOf(const CGraphCurve& record, Axis axis) {
    const bool x = axis == Axis::X;
    AxisFields f;
    f.log = (x ? record.XLog() : record.YLog()) != 0;
    f.autoGrid = (x ? record.XAutoGrid() : record.YAutoGrid()) != 0;
    f.autoScale = !x && record.YAutoScale() != 0;
    const AxisRange& range = x ? record.XRange() : record.YRange();
    f.from = Lg(f.log ? std::pow(10.0, range.from) : range.from);
    f.to = Lg(f.log ? std::pow(10.0, range.to) : range.to);
    f.divisions = Int(x ? record.XDivisions() : record.YDivisions());
    return f;
}

AxisEnables AxisEnablesFor(bool log, bool autoGrid, bool autoScale) {
    AxisEnables e;
    e.range = !autoScale;
    e.autoGrid = !autoScale && !log;
    e.divisions = e.autoGrid && !autoGrid;
    return e;
}

AxisStoreResult StoreAxisFields(CGraphCurve& record, Axis axis, const AxisFields& shown,
                                const AxisFields& chosen) {
    // Auto-scale fits Y again each time; anything else left as shown is kept.
    const bool refit = axis == Axis::Y && chosen.autoScale;
    if (chosen == shown && !refit) return AxisStoreResult{};
    AxisStore store(record, axis, shown, chosen);
    if (refit) return store.Refit(record);
    // Numbers first: an unusable one changes nothing.
    if (const std::optional<AxisStoreResult> refused = store.ReadNumbers()) return *refused;
    store.TakeScaleAndEnds();
    return store.Store(record);
}

XVariableChoices XVariableChoicesOf(const CGraphCurve& record) {
    XVariableChoices c;
    c.selected = record.XIndex();
    if (record.FreqDisplay()) {
        c.enabled = false;
        return c;
    }
    const CResultData& data = *record.Data().Get();
    c.names.reserve(static_cast<std::size_t>(data.VariableCount()));
    for (std::int32_t i = 0; i < data.VariableCount(); ++i)
        c.names.push_back(data.Variable(i)->Name());
    return c;
}

}  // namespace kurvex
