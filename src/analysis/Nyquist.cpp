#include "analysis/Nyquist.h"

#include <algorithm>
#include <cmath>
#include <mutex>

#include "analysis/LoopMargins.h"
#include "data/model/ResultVariable.h"

namespace kurvex {

namespace {

constexpr double kDegree = 3.14159265358979323846 / 180.0;

bool Valid(std::span<const std::uint8_t> flags, std::size_t i) {
    return i < flags.size() && flags[i] == kPointValid;
}

std::vector<std::string> NamesOf(const CResultData& data) {
    std::vector<std::string> names;
    for (std::int32_t i = 0; i < data.VariableCount(); ++i)
        names.push_back(data.Variable(i)->Name());
    return names;
}

// A span that is empty or not finite is shown as one unit round its centre.
void Normalise(double& lo, double& hi) {
    if (!std::isfinite(lo) || !std::isfinite(hi) || lo > hi) lo = hi = 0.0;
    if (hi - lo > 0.0) return;
    const double c = lo;
    lo = c - 0.5;
    hi = c + 0.5;
}

}  // namespace

ComplexColumns ComplexFromBode(std::span<const double> gainDb,
                               std::span<const std::uint8_t> gainFlags,
                               std::span<const double> degrees,
                               std::span<const std::uint8_t> phaseFlags) {
    const std::size_t n = std::min(gainDb.size(), degrees.size());
    ComplexColumns out;
    out.re.assign(n, 0.0);
    out.im.assign(n, 0.0);
    out.flags.assign(n, kPointInvalid);
    for (std::size_t i = 0; i < n; ++i) {
        if (!Valid(gainFlags, i) || !Valid(phaseFlags, i)) continue;
        const double mag = std::pow(10.0, gainDb[i] / 20.0);
        const double phi = degrees[i] * kDegree;
        const double re = mag * std::cos(phi);
        const double im = mag * std::sin(phi);
        if (!std::isfinite(re) || !std::isfinite(im)) continue;
        out.re[i] = re;
        out.im[i] = im;
        out.flags[i] = kPointValid;
    }
    return out;
}

std::optional<BodePair> BodePairOf(std::span<const std::string> names, std::int32_t column) {
    const std::int32_t phase = PhaseColumnFor(names, column);
    if (phase >= 0) return BodePair{column, phase};
    // A phase column: its amplitude is usually just before it.
    const auto n = static_cast<std::int32_t>(names.size());
    if (column < 0 || column >= n) return std::nullopt;
    if (column > 0 && PhaseColumnFor(names, column - 1) == column)
        return BodePair{column - 1, column};
    for (std::int32_t i = 0; i < n; ++i) {
        if (i != column && PhaseColumnFor(names, i) == column) return BodePair{i, column};
    }
    return std::nullopt;
}

std::optional<NyquistSource> NyquistSourceOf(const std::vector<CGraphCurve*>& screens) {
    for (const CGraphCurve* s : screens) {
        const std::int32_t c = s ? s->SelectedCurve() : -1;
        if (c < 0 || c >= s->CurveCount()) continue;
        // The first selection found is the one the user means.
        const CCurveEntry& curve = s->Curve(c);
        const CResultData* data = s->Data().Get();
        if (s->FreqDisplay() || curve.sourceKind != kCurveColumn || !data) return std::nullopt;
        const std::vector<std::string> names = NamesOf(*data);
        const auto pair = BodePairOf(names, curve.columnIndex);
        if (!pair) return std::nullopt;
        return NyquistSource{s->Data(), *pair, names[static_cast<std::size_t>(pair->amp)]};
    }
    return std::nullopt;
}

bool MakeNyquistResult(const CResultData& data, const BodePair& pair, CResultDataRef& out,
                       std::string& error) {
    const std::int32_t vars = data.VariableCount();
    if (vars < 2 || pair.amp <= 0 || pair.phase <= 0 || pair.amp >= vars || pair.phase >= vars) {
        error = "The curve has no amplitude and phase pair.";
        return false;
    }
    const std::int32_t n = data.RowCount();
    if (n < 1) {
        error = "The curve has no samples.";
        return false;
    }
    const auto column = [&](std::int32_t v) {
        return std::span<const double>(data.Variable(v)->Values(), static_cast<std::size_t>(n));
    };
    const auto flags = [&](std::int32_t v) {
        return std::span<const std::uint8_t>(data.Variable(v)->Flags(),
                                             static_cast<std::size_t>(n));
    };
    const ComplexColumns c =
        ComplexFromBode(column(pair.amp), flags(pair.amp), column(pair.phase), flags(pair.phase));
    if (!out.Initialise(kDataSetPlain, kNyquistColumns, n, 100)) {
        error = "There is not enough memory for the Nyquist curve.";
        return false;
    }
    CResultData& d = *out.Get();
    std::lock_guard<std::recursive_mutex> hold(d.Lock());
    const char* names[kNyquistColumns] = {kNyquistFrequency, kNyquistRe, kNyquistIm, kNyquistGain,
                                          kNyquistPhase};
    const std::int32_t from[kNyquistColumns] = {0, -1, -1, pair.amp, pair.phase};
    bool bad = false;
    for (std::int32_t v = 0; v < kNyquistColumns; ++v) {
        d.SetVariableName(v, names[v]);
        CResultVariable& target = *d.Variable(v);
        const double* values = from[v] >= 0 ? column(from[v]).data()
                               : v == 1     ? c.re.data()
                                            : c.im.data();
        const std::uint8_t* f = from[v] >= 0 ? flags(from[v]).data() : c.flags.data();
        std::copy(values, values + n, target.Values());
        std::copy(f, f + n, target.Flags());
        if (from[v] >= 0) target.SetUnit(data.Variable(from[v])->Unit());
        bad = bad || std::any_of(f, f + n, [](std::uint8_t x) { return x != kPointValid; });
    }
    d.SetRowCountLocked(n);
    d.SetBadPoints(bad);
    d.UpdateExtents();
    return true;
}

EqualRanges EqualScaleRanges(double xMin, double xMax, double yMin, double yMax, int width,
                             int height, double margin) {
    Normalise(xMin, xMax);
    Normalise(yMin, yMax);
    const double pad = std::max(xMax - xMin, yMax - yMin) * std::max(margin, 0.0);
    xMin -= pad;
    xMax += pad;
    yMin -= pad;
    yMax += pad;
    const double w = std::max(width, 1);
    const double h = std::max(height, 1);
    const double unit = std::max((xMax - xMin) / w, (yMax - yMin) / h);
    const double cx = (xMin + xMax) / 2;
    const double cy = (yMin + yMax) / 2;
    EqualRanges r;
    r.x.from = cx - unit * w / 2;
    r.x.to = cx + unit * w / 2;
    r.y.from = cy - unit * h / 2;
    r.y.to = cy + unit * h / 2;
    return r;
}

EqualRanges EqualizeRanges(const AxisRange& x, const AxisRange& y, int width, int height) {
    return EqualScaleRanges(x.from, x.to, y.from, y.to, width, height, 0.0);
}

NyquistView FirstNyquistView(std::span<const double> re, std::span<const double> im,
                             std::span<const std::uint8_t> flags, double gainLimit) {
    const std::size_t n = std::min({re.size(), im.size(), flags.size()});
    NyquistView v;
    v.near.assign(n, kPointInvalid);
    for (std::size_t i = 0; i < n; ++i) {
        if (flags[i] != kPointValid || !(std::hypot(re[i], im[i]) <= gainLimit)) continue;
        v.near[i] = kPointValid;
        v.xMin = std::min(v.xMin, re[i]);
        v.xMax = std::max(v.xMax, re[i]);
        v.yMin = std::min(v.yMin, im[i]);
        v.yMax = std::max(v.yMax, im[i]);
    }
    return v;
}

std::vector<ArrowPlace> ArrowPlaces(std::span<const double> x, std::span<const double> y,
                                    std::span<const std::uint8_t> flags, int count) {
    const std::size_t n = std::min({x.size(), y.size(), flags.size()});
    const auto usable = [&](std::size_t i) {
        return flags[i] == kPointValid && std::isfinite(x[i]) && std::isfinite(y[i]);
    };
    const auto length = [&](std::size_t i) { return std::hypot(x[i] - x[i - 1], y[i] - y[i - 1]); };
    double total = 0.0;
    for (std::size_t i = 1; i < n; ++i)
        if (usable(i) && usable(i - 1)) total += length(i);
    std::vector<ArrowPlace> out;
    if (count <= 0 || !(total > 0.0) || !std::isfinite(total)) return out;
    double walked = 0.0;
    int k = 0;
    for (std::size_t i = 1; i < n && k < count; ++i) {
        if (!usable(i) || !usable(i - 1)) continue;
        const double len = length(i);
        if (!(len > 0.0)) continue;
        // Every place that falls on this segment.
        while (k < count) {
            const double at = (k + 0.5) / count * total;
            if (at > walked + len) break;
            const double t = (at - walked) / len;
            const double dx = (x[i] - x[i - 1]) / len;
            const double dy = (y[i] - y[i - 1]) / len;
            out.push_back({x[i - 1] + t * len * dx, y[i - 1] + t * len * dy, dx, dy});
            ++k;
        }
        walked += len;
    }
    return out;
}

}  // namespace kurvex
