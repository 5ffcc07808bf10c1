#include "interaction/AxisDialogRules.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
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

// Long: the fields are checked and stored in the dialog's order, which the
// messages follow; split, the order would be harder to see.
AxisStoreResult StoreAxisFields(CGraphCurve& record, Axis axis, const AxisFields& shown,
                                const AxisFields& chosen) {
    AxisStoreResult result;
    // Auto-scale fits Y again each time; anything else left as shown is kept.
    const bool refit = axis == Axis::Y && chosen.autoScale;
    if (chosen == shown && !refit) return result;

    CGraphCurve work = record;  // nothing reaches the record unless all of it works
    AxisAccess a{work, axis};
    const AxisRange old = a.Range();
    const bool wasLog = a.Log();
    const bool scaleChanged = chosen.log != wasLog;

    if (refit) {
        work.SetYAutoScale(1);
        if (scaleChanged) result.invalidPoints = a.SetScale(chosen.log);
        const AxisRange& x = work.XRange();
        const std::optional<DataExtent> e = work.YExtentOver(x.from, x.to);
        if (!FitY(work, e ? *e : work.YExtent())) {
            result.outcome = AxisStoreResult::Refused;
            result.refusedField = 2;
            result.message = kAxisRangeRefused;
            result.invalidPoints = false;
            return result;
        }
        record = work;
        result.outcome = AxisStoreResult::Changed;
        return result;
    }

    // Numbers first: an unusable one changes nothing.
    double from = EndValue(chosen.from, shown.from, old.from, wasLog);
    double to = EndValue(chosen.to, shown.to, old.to, wasLog);
    for (int field = 0; field < 2; ++field) {
        if (std::isfinite(field == 0 ? from : to)) continue;
        result.outcome = AxisStoreResult::Refused;
        result.refusedField = field;
        result.message = kAxisNumberTooLarge;
        return result;
    }
    const std::int32_t n = ReadWholeNumber(chosen.divisions);

    if (axis == Axis::Y) work.SetYAutoScale(0);
    if (!chosen.log) a.SetAutoGrid(chosen.autoGrid);
    if (scaleChanged) result.invalidPoints = a.SetScale(chosen.log);

    double step = 1.0;  // a decade: log axes take their ticks from the decades
    bool rewrite = false;
    if (to < from) {
        std::swap(from, to);
        rewrite = true;
    }
    if (chosen.log) {
        // The ends the axis has now, in its log scale; after a switch from
        // linear, a positive old end converts and any other is the data's.
        const double curFrom = !scaleChanged    ? old.from
                               : old.from > 0.0 ? std::log10(old.from)
                                                : a.Extent().min;
        const double curTo = !scaleChanged  ? old.to
                             : old.to > 0.0 ? std::log10(old.to)
                                            : a.Extent().max;
        const bool sameFrom = !rewrite && wasLog && chosen.from == shown.from;
        const bool sameTo = !rewrite && wasLog && chosen.to == shown.to;
        if (sameFrom) {
            from = old.from;
        } else if (from > 0.0) {
            from = std::log10(from);
        } else {
            from = curFrom;
            rewrite = true;
        }
        if (sameTo) {
            to = old.to;
        } else if (to > 0.0) {
            to = std::log10(to);
        } else {
            to = curTo;
            rewrite = true;
        }
        if (rewrite) {
            result.from = Lg(std::pow(10.0, from));
            result.to = Lg(std::pow(10.0, to));
        }
    } else {
        if (rewrite) {
            result.from = Lg(from);
            result.to = Lg(to);
        }
        double f = from, t = to;  // the automatic step; the ends stay as typed
        step = axis == Axis::X ? NiceStepX(t, f) : NiceStepY(t, f);
        if (!chosen.autoGrid && n != 0) {
            const std::int32_t clamped = std::clamp<std::int32_t>(n, 1, 20);
            a.SetDivisions(clamped);
            step = (to - from) / clamped;
        }
        if (!(step > 0.0)) step = (to - from) * 0.2;
    }
    result.rewrite = rewrite;

    const bool sameRange = from == old.from && to == old.to;
    const bool sameGrid = chosen.autoGrid == shown.autoGrid && chosen.divisions == shown.divisions;
    if (!scaleChanged && sameRange && (chosen.log || step == old.increment || sameGrid)) {
        // Only a flag the grid does not show may have moved: keep it.
        record = work;
        result.outcome = AxisStoreResult::Unchanged;
        return result;
    }

    bool ok = false;
    if (axis == Axis::X) {
        const std::optional<DataExtent> y =
            work.SampleCount() > 0 ? work.YExtentOver(from, to) : std::nullopt;
        ok = a.SetRange(from, to, step) && (!y || FitY(work, *y));
    } else {
        ok = a.SetRange(from, to, step);
    }
    if (!ok) {
        result = AxisStoreResult{};
        result.outcome = AxisStoreResult::Refused;
        result.refusedField = 2;
        result.message = kAxisRangeRefused;
        return result;
    }
    record = work;
    result.outcome = AxisStoreResult::Changed;
    return result;
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
