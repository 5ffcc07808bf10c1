#include "analysis/Harmonics.h"

#include <algorithm>
#include <cmath>

#include "data/platform/NumberText.h"

namespace kurvex {

Harmonics FindHarmonics(std::span<const double> frequency, std::span<const double> amplitude,
                        std::optional<double> fundamental, std::int32_t maxOrder) {
    Harmonics h;
    // A spectrum cut short at a non-finite amplitude has fewer amplitudes.
    const std::size_t bins = std::min(frequency.size(), amplitude.size());
    if (bins < 2) {
        h.error = "The spectrum has no frequency above 0 Hz, so it has no fundamental.";
        return h;
    }
    std::size_t b1 = 0;
    if (fundamental) {
        if (!(*fundamental > 0.0)) {
            h.error = Format("The fundamental must lie above 0 Hz; %g Hz was given.", *fundamental);
            return h;
        }
        // Bins are equally spaced: the nearest is found by rounding.
        const double step = frequency[1] - frequency[0];
        const double k = std::round((*fundamental - frequency[0]) / step);
        if (!(k >= 0.0) || k >= static_cast<double>(bins)) {
            h.error = Format("The fundamental %g Hz lies beyond the spectrum, which ends at %g Hz.",
                             *fundamental, frequency[bins - 1]);
            return h;
        }
        b1 = static_cast<std::size_t>(k);
        if (b1 == 0) {
            h.error = Format(
                "The fundamental %g Hz falls into the bin at 0 Hz; the bins are %g Hz apart.",
                *fundamental, step);
            return h;
        }
    } else {
        for (std::size_t k = 1; k < bins; ++k) {
            if (amplitude[k] > amplitude[b1] || b1 == 0) b1 = k;
        }
    }
    if (!(amplitude[b1] > 0.0)) {
        h.error = fundamental ? Format("The spectrum is 0 at the fundamental %g Hz.", frequency[b1])
                              : "The spectrum is 0 at every frequency above 0 Hz, so it has no "
                                "fundamental.";
        return h;
    }
    h.fundamentalBin = static_cast<std::int32_t>(b1);
    h.fundamental = frequency[b1];
    h.amplitude = amplitude[b1];
    double squares = 0.0;
    for (std::int32_t order = 1; order <= maxOrder; ++order) {
        const std::size_t bin = b1 * static_cast<std::size_t>(order);
        if (bin >= bins) break;
        const double a = amplitude[bin];
        h.rows.push_back({order, frequency[bin], a, 100.0 * a / h.amplitude});
        if (order >= 2) squares += a * a;
    }
    if (h.rows.size() >= 2) h.thd = 100.0 * std::sqrt(squares) / h.amplitude;
    return h;
}

Harmonics HarmonicsOfCurve(const CGraphCurve& screen, std::int32_t curve,
                           std::optional<double> fundamental) {
    Harmonics h;
    const RefPtr<CResultVariable>& f = screen.Frequency().xColumn;
    if (!screen.FreqDisplay() || !f) {
        h.error = "Harmonics are read from a spectrum: perform the FFT first.";
        return h;
    }
    if (curve < 0 || curve >= screen.CurveCount() || !screen.Curve(curve).spectrum ||
        screen.Curve(curve).spectrum->Capacity() == 0) {
        h.error = "The curve has no spectrum.";
        return h;
    }
    const CResultVariable& a = *screen.Curve(curve).spectrum;
    return FindHarmonics({f->Values(), static_cast<std::size_t>(f->Capacity())},
                         {a.Values(), static_cast<std::size_t>(a.Capacity())}, fundamental);
}

FigureTable HarmonicsTable(const Harmonics& harmonics, const std::string& name, Rgb colour) {
    FigureTable t;
    t.columns = {"Order", "Frequency", "Amplitude", "Percent"};
    if (!harmonics.Ok()) {
        t.title = name;
        t.message = harmonics.error;
        return t;
    }
    t.title = name + ": THD " +
              (harmonics.thd ? Format("%.4g %%", *harmonics.thd) : std::string("(no harmonic)")) +
              Format(", fundamental %.6g Hz", harmonics.fundamental);
    for (const HarmonicRow& r : harmonics.rows) {
        t.rows.push_back({Format("%d", r.order), colour, {r.frequency, r.amplitude, r.percent}});
    }
    return t;
}

}  // namespace kurvex
