#include "analysis/FftPlan.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>

namespace kurvex {
namespace {

constexpr std::int32_t kDecimateAbove = 1000000;
constexpr std::int32_t kSnapAbove = 20000;

// A valid flag on a non-finite X would let the range walk run past its end.
bool UsableX(const CResultVariable& x, std::int32_t i) {
    return x.Flags()[i] == kPointValid && std::isfinite(x.Values()[i]);
}

RefPtr<CResultVariable> NewSpectrumVariable(std::span<const double> values,
                                            const std::string& name) {
    RefPtr<CResultVariable> v(CResultVariable::Create(static_cast<std::int32_t>(values.size())));
    if (!v) return v;
    v->SetKind(kVariableSpectrum);
    v->SetName(name);
    if (values.empty()) return v;
    std::copy(values.begin(), values.end(), v->Values());
    std::fill_n(v->Flags(), values.size(), std::uint8_t{kPointValid});
    const auto [mn, mx] = std::minmax_element(values.begin(), values.end());
    v->SetExtents(*mn, *mx);
    return v;
}

// The bracket walk of both resamplers: `point(g)` gives grid point g and
// `take(g, value)` receives its value, g rising from 0 to count - 1.
template <class Point, class Take>
bool Resample(std::span<const double> x, std::span<const std::uint8_t> xFlags,
              std::span<const double> y, std::span<const std::uint8_t> yFlags, std::int32_t i0,
              std::int64_t count, Point point, Take take) {
    const auto rows =
        static_cast<std::int64_t>(std::min({x.size(), xFlags.size(), y.size(), yFlags.size()}));
    if (i0 < 0) return false;
    auto valid = [&](std::int64_t i) {
        return xFlags[i] == kPointValid && yFlags[i] == kPointValid;
    };
    std::int64_t a = i0;
    while (a < rows && !valid(a)) ++a;
    std::int64_t b = a + 1;
    while (b < rows && !valid(b)) ++b;
    if (b >= rows) return false;

    for (std::int64_t g = 0; g < count; ++g) {
        const double t = point(g);
        while (x[b] < t) {
            // The next usable sample; missing ones are stepped over.
            std::int64_t next = b + 1;
            while (next < rows && !valid(next)) {
                if (xFlags[next] == kPointInvalid || yFlags[next] == kPointInvalid) return false;
                ++next;
            }
            if (next >= rows) break;  // the last pair extrapolates
            a = b;
            b = next;
        }
        if (x[b] == x[a]) return false;
        take(g, y[a] + (t - x[a]) * (y[b] - y[a]) / (x[b] - x[a]));
    }
    return true;
}

// std::minmax_element's pairwise walk fed one value at a time, so that a NaN
// among the values decides "constant" as it did over a whole array.
class MinMaxWalk {
public:
    void Add(double v) {
        if (count_++ == 0) {
            min_ = max_ = v;
        } else if (count_ == 2) {
            if (v < min_)
                min_ = v;
            else
                max_ = v;
        } else if (!held_) {
            first_ = v;
            held_ = true;
        } else {
            const bool swapped = v < first_;
            const double lo = swapped ? v : first_, hi = swapped ? first_ : v;
            if (lo < min_) min_ = lo;
            if (!(hi < max_)) max_ = hi;
            held_ = false;
        }
    }
    bool Constant() const {
        double mn = min_, mx = max_;
        if (held_) {
            if (first_ < mn)
                mn = first_;
            else if (!(first_ < mx))
                mx = first_;
        }
        return mn == mx;
    }

private:
    std::int64_t count_ = 0;
    double min_ = 0.0, max_ = 0.0, first_ = 0.0;
    bool held_ = false;
};

// The transform of the kept points (padded here to N with zeros); a constant
// curve gives its magnitude at 0 and zeros.
bool TransformKept(std::vector<double>& input, bool constant, const FftPlan& plan,
                   std::vector<double>& amplitudes, const std::atomic<bool>* cancel) {
    amplitudes.clear();
    const std::int32_t m = plan.FrequencyPoints();
    if (input.empty() || m <= 0 || plan.n <= 0) return true;
    if (constant) {
        // A negative constant would otherwise be the one negative amplitude.
        amplitudes.assign(static_cast<std::size_t>(m), 0.0);
        amplitudes[0] = std::abs(input[0]);
        return true;
    }

    const auto n = static_cast<std::size_t>(plan.n);
    const std::size_t filled = std::min(input.size(), n);
    input.resize(n, 0.0);
    // The window spans the samples, not the zeros that pad them to N.
    double gain = ApplyFftWindow(plan.window, {input.data(), filled});
    if (!(gain > 0.0)) gain = 1.0;
    std::vector<std::complex<double>> c(n);
    std::shared_ptr<const Fft> fft = plan.transform;
    if (!fft || fft->Size() != plan.n) fft = std::make_shared<const Fft>(plan.n);
    if (!fft->ForwardReal(input, c, cancel)) return false;

    amplitudes.reserve(static_cast<std::size_t>(m));
    const double dc = std::abs(c[0].real()) / gain;
    if (!std::isfinite(dc)) return true;
    amplitudes.push_back(dc);
    for (std::size_t k = 1; k < static_cast<std::size_t>(m); ++k) {
        // hypot: squaring would overflow for amplitudes above about 1e154.
        const double a = std::hypot(2.0 * c[k].real(), 2.0 * c[k].imag()) / gain;
        if (!std::isfinite(a)) break;
        amplitudes.push_back(a);
    }
    return true;
}

}  // namespace

bool MakeFftPlan(const CResultVariable& x, std::int32_t rows, double start, double end,
                 FftPlan& plan, const FftSizeTable& table) {
    const FftWindow window = plan.window;
    plan.Reset();
    plan.window = window;
    if (x.Capacity() < rows || rows < 2) return false;
    if (!std::isfinite(start) || !std::isfinite(end) || !(start < end)) return false;

    std::int32_t i0 = -1;
    for (std::int32_t i = 0; i < rows; ++i) {
        if (x.Flags()[i] == kPointInvalid) return false;
        if (UsableX(x, i) && x.Values()[i] >= start) {
            i0 = i;
            break;
        }
    }
    if (i0 < 0) return false;
    if (x.Values()[i0] > start && i0 > 0 && UsableX(x, i0 - 1)) --i0;

    std::int64_t n = 0;
    std::int32_t i1 = -1;
    for (std::int32_t i = i0; i < rows; ++i) {
        const std::uint8_t f = x.Flags()[i];
        if (f == kPointInvalid || (f == kPointValid && !std::isfinite(x.Values()[i]))) return false;
        if (f != kPointValid) continue;
        ++n;
        i1 = i;
        if (x.Values()[i] >= end) break;
    }
    if (n < 2 || i0 >= i1 || n >= INT32_MAX) return false;

    const double delta = (end - start) / static_cast<double>(n);
    if (!(delta > 0.0)) return false;
    std::int64_t points = n + 1;
    std::int64_t step = 1;
    if (points > kDecimateAbove) {
        step = points / kDecimateAbove + 1;
        // Missing samples widen i1 - i0 beyond the grid; bounding by the grid
        // keeps N to the resampled values instead of padding with zeros.
        points = std::min<std::int64_t>(i1 - i0, n) / step + 1;
    }
    if (points > kSnapAbove) points = table.Snap(static_cast<std::int32_t>(points));
    const std::int64_t m = (points - 1) / 2 + 1;

    RefPtr<CResultVariable> freq(CResultVariable::Create(static_cast<std::int32_t>(m)));
    if (!freq) return false;
    for (std::int64_t k = 0; k < m; ++k) freq->Values()[k] = static_cast<double>(k) / (end - start);
    std::fill_n(freq->Flags(), m, std::uint8_t{kPointValid});
    freq->SetExtents(0.0, freq->Values()[m - 1]);
    freq->SetKind(kVariableSpectrum);
    freq->SetName("Frequency");

    plan.i0 = i0;
    plan.i1 = i1;
    plan.n = static_cast<std::int32_t>(points);
    plan.step = static_cast<std::int32_t>(step);
    plan.samples = static_cast<std::int32_t>(n);
    plan.start = start;
    plan.end = end;
    plan.frequency = std::move(freq);
    plan.transform = std::make_shared<const Fft>(plan.n);
    return true;
}

bool ResampleLinear(std::span<const double> x, std::span<const std::uint8_t> xFlags,
                    std::span<const double> y, std::span<const std::uint8_t> yFlags,
                    std::int32_t i0, std::span<const double> grid, std::span<double> out) {
    if (out.size() < grid.size()) return false;
    return Resample(
        x, xFlags, y, yFlags, i0, static_cast<std::int64_t>(grid.size()),
        [&](std::int64_t g) { return grid[static_cast<std::size_t>(g)]; },
        [&](std::int64_t g, double v) { out[static_cast<std::size_t>(g)] = v; });
}

bool ResampleForPlan(std::span<const double> x, std::span<const std::uint8_t> xFlags,
                     std::span<const double> y, std::span<const std::uint8_t> yFlags,
                     const FftPlan& plan, std::vector<double>& kept, bool& constant) {
    kept.clear();
    constant = false;
    const std::int64_t points = plan.GridPoints();
    const std::int64_t s = plan.step;
    if (points <= 0 || plan.n <= 0 || s <= 0) return false;
    const std::int64_t keep = std::min<std::int64_t>(plan.n, (points - 1) / s + 1);
    kept.resize(static_cast<std::size_t>(keep));
    MinMaxWalk walk;
    std::int64_t next = 0, k = 0;
    const bool ok = Resample(
        x, xFlags, y, yFlags, plan.i0, points, [&](std::int64_t g) { return plan.GridPoint(g); },
        [&](std::int64_t g, double v) {
            walk.Add(v);
            if (g == next && k < keep) {
                kept[static_cast<std::size_t>(k++)] = v;
                next += s;
            }
        });
    constant = walk.Constant();
    return ok;
}

bool AmplitudeSpectrum(std::span<const double> resampled, const FftPlan& plan,
                       std::vector<double>& amplitudes, const std::atomic<bool>* cancel) {
    amplitudes.clear();
    if (resampled.empty() || plan.n <= 0 || plan.step <= 0) return true;
    const auto [mn, mx] = std::minmax_element(resampled.begin(), resampled.end());
    const auto s = static_cast<std::size_t>(plan.step);
    std::vector<double> input;
    for (std::size_t i = 0; input.size() < static_cast<std::size_t>(plan.n) && i < resampled.size();
         i += s)
        input.push_back(resampled[i]);
    return TransformKept(input, *mn == *mx, plan, amplitudes, cancel);
}

SpectrumResult ComputeSpectrum(const FftPlan& plan, const CResultVariable& x,
                               const CResultVariable& y, std::int32_t rows, const std::string& name,
                               const std::atomic<bool>* cancel) {
    SpectrumResult result;
    std::vector<double> amplitudes;
    bool ok = plan.GridPoints() > 0 && rows <= x.Capacity() && rows <= y.Capacity() && plan.i0 >= 0;
    if (ok) {
        const auto r = static_cast<std::size_t>(rows);
        std::vector<double> kept;
        bool constant = false;
        ok = ResampleForPlan({x.Values(), r}, {x.Flags(), r}, {y.Values(), r}, {y.Flags(), r}, plan,
                             kept, constant) &&
             TransformKept(kept, constant, plan, amplitudes, cancel);
    }
    if (!ok) amplitudes.clear();
    result.spectrum = NewSpectrumVariable(amplitudes, name);
    result.ok = ok && result.spectrum;
    return result;
}

}  // namespace kurvex
